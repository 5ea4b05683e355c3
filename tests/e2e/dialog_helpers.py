"""Plumbing for the end-to-end tests of the configuration dialogs.

The dialogs are reached from outside through qmdialogs (tests/e2e/driver/dialog_driver.cpp),
whose path ctest passes in QM_DIALOG_DRIVER; the registry through qmdriver (wine_helpers); the
screen through ImageMagick and the X server. Everything else a test needs of the Wine session
comes from wine_helpers.
"""

from __future__ import annotations

import ctypes
import dataclasses
import os
import pathlib
import pwd
import shutil
import stat
import subprocess
import sys
import tempfile
import time
from typing import Iterable, Optional, Sequence

import wine_helpers as wh

# --- What the program shows ---------------------------------------------------------------------

SETTINGS_TITLE = "Quillmere"
ABOUT_TITLE = "バージョン情報 Quillmere"
UPDATE_TITLE = "更新確認"
# Message boxes carry the program's name.
MESSAGE_CAPTION = "Tessaly"
DIALOG_CLASS = "#32770"

IDOK = 1
IDCANCEL = 2

# The settings dialog's controls.
IDC_HELP_BUTTON = 57670
IDC_INCLUDE_SUBFOLDER = 1002
IDC_SHOW_RANDOM = 1003
IDC_FOLDER = 1008
IDC_BROWSE = 1009
IDC_ABOUT = 1010
IDC_CHECK_UPDATE = 1011
IDC_COLOR = 1015
IDC_OPACITY = 1019
IDC_COLOR_SWATCH = 1020
# The About box's link, and the update check's text and web site button.
IDC_ABOUT_LINK = 1011
IDC_UPDATE_TEXT = 1013
IDC_OPEN_WEBSITE = 1014

# The system-menu command that opens the About box.
ABOUT_COMMAND = 16

WM_CLOSE = 0x0010
WM_COMMAND = 0x0111
SC_CLOSE = wh.SC_CLOSE
WM_SYSCOMMAND = wh.WM_SYSCOMMAND

WS_EX_DLGMODALFRAME = 0x00000001
WS_EX_CLIENTEDGE = 0x00000200
WS_EX_APPWINDOW = 0x00040000
WS_EX_LAYERED = 0x00080000
WS_CAPTION = 0x00C00000
WS_SYSMENU = 0x00080000
WS_MINIMIZEBOX = 0x00020000
WS_MAXIMIZEBOX = 0x00010000
WS_DISABLED = 0x08000000
DS_MODALFRAME = 0x80

MESSAGE_INTEGER = "Please enter an integer."
MESSAGE_RANGE = "Please enter an integer between 0 and 255."

# The fifteen settings and the values the program starts from when none is stored (the folder is
# My Pictures, which depends on the prefix).
SETTING_NAMES = ("BGColor", "BGAlpha", "FGColorKey", "ImageMaxHeight", "ImageMaxWidth",
                 "TimerInterval", "ImageFolderPath", "IncludeSubFolder", "BGCountFade",
                 "ImageCountHide", "ImageCountAppear", "ImageCountShow", "ImageCountDisappear",
                 "ImageMaxAlpha", "ImageShowRandom")
NUMERIC_DEFAULTS = {
    "BGColor": 0, "BGAlpha": 100, "FGColorKey": 254, "ImageMaxHeight": 80, "ImageMaxWidth": 50,
    "TimerInterval": 100, "IncludeSubFolder": 1, "BGCountFade": 30, "ImageCountHide": 30,
    "ImageCountAppear": 30, "ImageCountShow": 30, "ImageCountDisappear": 30,
    "ImageMaxAlpha": 255, "ImageShowRandom": 1,
}

# Both fades: 10 more or less every tick; the way in ends at 255.
FADE_STEP = 10
FADE_IN = list(range(10, 251, 10)) + [255]


def fade_out_from(alpha: int) -> list[int]:
    """The values a fade-out sets, from `alpha` down to 0."""
    return list(range(alpha - FADE_STEP, 0, -FADE_STEP)) + [0]


# --- The driver ---------------------------------------------------------------------------------

def driver_path() -> pathlib.Path:
    wh.session()
    value = os.environ.get("QM_DIALOG_DRIVER")
    if not value:
        raise wh.SessionMissing("QM_DIALOG_DRIVER not set: ctest sets it; by hand, point it at "
                                "the qmdialogs.exe the Windows build made")
    path = pathlib.Path(value)
    if not path.is_file():
        raise wh.SessionMissing(f"QM_DIALOG_DRIVER={path} does not exist: build the windows "
                                "preset first")
    return path


def dd(*args: str, timeout: float = wh.WINE_CALL_MARGIN_S, check: bool = True) -> wh.DriverResult:
    """Runs qmdialogs; with `check`, any exit code but 0 fails the test with its output."""
    result = wh.run_wine([os.fspath(driver_path()), *args], timeout=timeout)
    lines = [line for line in result.stdout.split("\n") if line]
    outcome = wh.DriverResult(list(args), result.returncode, lines, result.stderr)
    if outcome.returncode == 2:
        raise AssertionError(f"qmdialogs usage error for {list(args)}:\n{outcome.describe()}")
    if check and outcome.returncode != 0:
        raise AssertionError(f"qmdialogs {' '.join(args)} failed:\n{outcome.describe()}")
    return outcome


def unescape(text: str) -> str:
    """Undoes the driver's escapes: \\\\ \\r \\n \\t \\uXXXX."""
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c != "\\" or i + 1 >= len(text):
            out.append(c)
            i += 1
            continue
        n = text[i + 1]
        if n == "u":
            out.append(chr(int(text[i + 2:i + 6], 16)))
            i += 6
            continue
        out.append({"\\": "\\", "r": "\r", "n": "\n", "t": "\t"}.get(n, "\\" + n))
        i += 2
    return "".join(out)


def _split_text(line: str) -> tuple[dict[str, str], Optional[str]]:
    """The name=value words of a described window, and its text, which comes last."""
    head, sep, text = line.partition(" text=")
    return wh.parse_fields(head), (unescape(text) if sep else None)


def _layered(fields: dict[str, str]) -> Optional[wh.Layered]:
    if fields.get("layered") != "yes":
        return None
    return wh.Layered(int(fields["key"], 16), int(fields["alpha"]), int(fields["flags"]))


@dataclasses.dataclass(frozen=True)
class Window:
    hwnd: int
    pid: int
    class_name: str
    xid: int
    rect: tuple[int, int, int, int]  # screen coordinates, right and bottom exclusive
    client: tuple[int, int, int, int]  # the client area in screen coordinates
    style: int
    exstyle: int
    visible: bool
    enabled: bool
    owner: int
    layered: Optional[wh.Layered]
    text: str

    @classmethod
    def parse(cls, line: str) -> "Window":
        fields, text = _split_text(line)
        return cls(hwnd=int(fields["hwnd"]), pid=int(fields["pid"]), class_name=fields["class"],
                   xid=int(fields["xid"]), rect=wh.parse_rect(fields["rect"]),
                   client=wh.parse_rect(fields["client"]), style=int(fields["style"], 16),
                   exstyle=int(fields["exstyle"], 16), visible=fields["visible"] == "yes",
                   enabled=fields["enabled"] == "yes", owner=int(fields["owner"]),
                   layered=_layered(fields), text=text or "")

    @property
    def alpha(self) -> Optional[int]:
        return self.layered.alpha if self.layered else None


@dataclasses.dataclass(frozen=True)
class Control:
    hwnd: int
    id: int
    class_name: str
    style: int
    exstyle: int
    visible: bool
    enabled: bool
    rect: tuple[int, int, int, int]
    check: Optional[int]  # buttons only
    text: Optional[str]

    @classmethod
    def parse(cls, line: str) -> "Control":
        fields, text = _split_text(line)
        check = fields.get("check")
        return cls(hwnd=int(fields["hwnd"]), id=int(fields["id"]), class_name=fields["class"],
                   style=int(fields["style"], 16), exstyle=int(fields["exstyle"], 16),
                   visible=fields["visible"] == "yes", enabled=fields["enabled"] == "yes",
                   rect=wh.parse_rect(fields["rect"]),
                   check=int(check) if check and check != "unknown" else None, text=text)

    @property
    def centre(self) -> tuple[int, int]:
        left, top, right, bottom = self.rect
        return (left + right) // 2, (top + bottom) // 2


def find_window(pid: int, title: str, timeout: float = 30.0) -> Window:
    """Waits for a visible top-level window of the process with exactly this title."""
    result = dd("find", str(pid), title, str(int(timeout * 1000)),
                timeout=timeout + wh.WINE_CALL_MARGIN_S, check=False)
    if result.returncode != 0:
        raise AssertionError(f"no window {title!r} of process {pid} within {timeout:.0f} s:\n"
                             f"{result.describe()}\nits windows:\n"
                             + "\n".join(str(w) for w in windows(pid)))
    return Window.parse(result["window"])


def windows(pid: int, visible_only: bool = True) -> list[Window]:
    found = [Window.parse(line) for line in dd("windows", str(pid)).all("window")]
    return [w for w in found if w.visible or not visible_only]


def window_titled(pid: int, title: str) -> Optional[Window]:
    for window in windows(pid):
        if window.text == title:
            return window
    return None


def wait_gone(hwnd: int, timeout: float = 15.0) -> None:
    result = dd("wait-gone", str(hwnd), str(int(timeout * 1000)),
                timeout=timeout + wh.WINE_CALL_MARGIN_S, check=False)
    if result.returncode != 0:
        raise AssertionError(f"window {hwnd} still there after {timeout:.0f} s")


def exists(hwnd: int) -> bool:
    return wh.driver("window-exists", str(hwnd))["window"] == "yes"


def controls(hwnd: int) -> tuple[Window, list[Control]]:
    """The window itself and its child controls, in the order of its template."""
    result = dd("controls", str(hwnd))
    return (Window.parse(result["window"]),
            [Control.parse(line) for line in result.all("control")])


def control(hwnd: int, control_id: int) -> Control:
    for each in controls(hwnd)[1]:
        if each.id == control_id:
            return each
    raise AssertionError(f"window {hwnd} has no control {control_id}")


def describe(hwnd: int) -> Window:
    return controls(hwnd)[0]


def text(hwnd: int, control_id: int) -> str:
    return unescape(dd("text", str(hwnd), str(control_id))["text"])


def set_text(hwnd: int, control_id: int, value: str) -> None:
    result = dd("set-text", str(hwnd), str(control_id), value)
    shown = unescape(result["text"])
    if shown != value:
        raise AssertionError(f"control {control_id} took {value!r} as {shown!r}")


def click(hwnd: int, control_id: int) -> None:
    """BM_CLICK, posted: the button presses itself and tells its dialog, as a mouse click would."""
    dd("click", str(hwnd), str(control_id))


def command(hwnd: int, control_id: int) -> None:
    """The WM_COMMAND a click on the control sends, posted to the window."""
    dd("command", str(hwnd), str(control_id))


def post(hwnd: int, message: int, wparam: int = 0, lparam: int = 0) -> None:
    dd("post", str(hwnd), str(message), str(wparam), str(lparam))


@dataclasses.dataclass(frozen=True)
class Focus:
    active: int
    focus: int
    focus_id: Optional[int]
    selection: Optional[tuple[int, int]]
    focus_text: Optional[str]


def focus(hwnd: int) -> Focus:
    facts = dd("focus", str(hwnd)).facts()
    selection = None
    if "selection-start" in facts:
        selection = (int(facts["selection-start"]), int(facts["selection-end"]))
    return Focus(int(facts["active"]), int(facts["focus"]),
                 int(facts["focus-id"]) if "focus-id" in facts else None, selection,
                 unescape(facts["focus-text"]) if "focus-text" in facts else None)


# --- Message boxes ------------------------------------------------------------------------------

@dataclasses.dataclass(frozen=True)
class MessageBox:
    window: Window
    caption: str
    text: str
    owner: int
    owner_title: Optional[str]
    owner_enabled: Optional[bool]
    icon_rect: tuple[int, int, int, int]
    icon_visible: bool
    buttons: list[Control]

    @property
    def hwnd(self) -> int:
        return self.window.hwnd

    def describe(self) -> str:
        return (f"message box {self.caption!r}: {self.text!r} (owner {self.owner_title!r}, "
                f"buttons {[b.text for b in self.buttons]})")


def message_box(pid: int, timeout: float = 20.0) -> MessageBox:
    """Waits for an enabled message box of the process whose text and buttons are in place: a
    box found while it is still being made has neither yet."""
    deadline = time.monotonic() + timeout
    while True:
        box = _message_box_once(pid, max(deadline - time.monotonic(), 1.0))
        complete = (box.text not in (None, "unknown") and box.buttons
                    and all(b.text is not None for b in box.buttons))
        if complete or time.monotonic() >= deadline:
            return box
        time.sleep(0.1)


def _message_box_once(pid: int, timeout: float) -> MessageBox:
    result = dd("message-box", str(pid), str(int(timeout * 1000)),
                timeout=timeout + wh.WINE_CALL_MARGIN_S, check=False)
    if result.returncode != 0:
        raise AssertionError(f"no message box of process {pid} within {timeout:.1f} s; its "
                             "windows:\n" + "\n".join(str(w) for w in windows(pid)))
    facts = result.facts()
    return MessageBox(window=Window.parse(facts["message-box"]),
                      caption=unescape(facts["caption"]), text=unescape(facts["text"]),
                      owner=int(facts["owner"]),
                      owner_title=unescape(facts["owner-title"]) if "owner-title" in facts
                      else None,
                      owner_enabled=facts["owner-enabled"] == "yes" if "owner-enabled" in facts
                      else None,
                      icon_rect=wh.parse_rect(facts["icon-rect"]),
                      icon_visible=facts["icon-visible"] == "yes",
                      buttons=[Control.parse(line) for line in result.all("button")])


def message_boxes(pid: int) -> list[Window]:
    """The message boxes the process shows right now."""
    result = dd("message-box", str(pid), "0", check=False)
    return [Window.parse(result["message-box"])] if result.returncode == 0 else []


def press_ok(box: MessageBox, timeout: float = 10.0) -> None:
    command(box.hwnd, IDOK)
    wait_gone(box.hwnd, timeout)


ICON_KINDS = ("stop", "exclamation", "information", "question")


def icon_kind(shot: wh.Picture, rect: tuple[int, int, int, int]) -> tuple[str, int]:
    """Which of the system's message box icons the screenshot shows in `rect`, and how many of
    its pixels differ from that icon drawn here on the same background."""
    left, top, right, bottom = rect
    background = shot.pixel(left, top)  # the icons' corners are transparent
    colour = "".join(f"{c:02x}" for c in background)
    best: Optional[tuple[str, int]] = None
    for kind in ICON_KINDS:
        result = dd("icon-pixels", kind, colour)
        width, height = (int(v) for v in result["size"].split("x"))
        pixels = bytes.fromhex(result["pixels"])
        far = 0
        for y in range(min(height, bottom - top)):
            for x in range(min(width, right - left)):
                got = shot.pixel(left + x, top + y)
                at = (y * width + x) * 3
                if any(abs(g - w) > 8 for g, w in zip(got, pixels[at:at + 3])):
                    far += 1
        if best is None or far < best[1]:
            best = (kind, far)
    assert best is not None
    return best


# --- Cursor -------------------------------------------------------------------------------------

@dataclasses.dataclass(frozen=True)
class CursorInfo:
    handle: int
    position: tuple[int, int]
    under_id: Optional[int]
    under_pid: Optional[int]
    under_class: Optional[str]
    icon_info: str  # hot spot and size, or why they could not be read


def cursor() -> CursorInfo:
    facts = dd("cursor").facts()
    x, y = (int(v) for v in facts["position"].split(","))
    return CursorInfo(int(facts["cursor"]), (x, y),
                      int(facts["under-id"]) if "under-id" in facts else None,
                      int(facts["under-pid"]) if "under-pid" in facts else None,
                      facts.get("under-class"), facts["icon-info"])


@dataclasses.dataclass(frozen=True)
class XCursor:
    width: int
    height: int
    hot: tuple[int, int]
    name: str


class _XFixesCursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort),
                ("height", ctypes.c_ushort), ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


def x_cursor() -> XCursor:
    """The pointer's shape as the X server shows it (XFixes): what the user sees.

    Another process's cursor handle tells nothing of its shape here (GetIconInfo refuses it), so
    the shape is read where Wine puts it.
    """
    x11 = ctypes.CDLL("libX11.so.6")
    xfixes = ctypes.CDLL("libXfixes.so.3")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XFree.argtypes = [ctypes.c_void_p]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(_XFixesCursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    if not display:
        raise AssertionError("cannot open the X display")
    try:
        image = xfixes.XFixesGetCursorImage(display)
        if not image:
            raise AssertionError("XFixesGetCursorImage failed")
        try:
            c = image.contents
            return XCursor(c.width, c.height, (c.xhot, c.yhot),
                           (c.name or b"").decode("latin-1"))
        finally:
            x11.XFree(ctypes.cast(image, ctypes.c_void_p))
    finally:
        x11.XCloseDisplay(display)


def move_pointer(x: int, y: int) -> None:
    wh.xdotool("mousemove", str(x), str(y))


def give_x_focus(window: Window) -> None:
    """Without a window manager nothing gives an unmanaged window the X focus, which real keys
    need; this does."""
    if window.xid == 0:
        raise AssertionError(f"no X window known for {window.text!r}")
    wh.xdotool("windowfocus", "--sync", str(window.xid))


def key(*keys: str) -> None:
    wh.xdotool("key", *keys)


# --- The program in configuration mode ----------------------------------------------------------

class Background:
    """qmdialogs running while the test goes on; its output is read from a file as it grows.

    The driver appends to the file through a descriptor of its own (O_APPEND), and the test reads
    it through another: sharing one, a read's seek could move where the next line is written.
    """

    def __init__(self, *args: str):
        self.args = list(args)
        self._folder = pathlib.Path(tempfile.mkdtemp(prefix="qm-dialogs-"))
        self._out_path = self._folder / "stdout"
        self._err_path = self._folder / "stderr"
        flags = os.O_WRONLY | os.O_CREAT | os.O_APPEND
        out = os.open(self._out_path, flags, 0o600)
        err = os.open(self._err_path, flags, 0o600)
        try:
            self._process = subprocess.Popen(["wine", os.fspath(driver_path()), *args],
                                             stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                             start_new_session=True)
        finally:
            os.close(out)
            os.close(err)
        self._result: Optional[wh.DriverResult] = None

    def _read(self, path: pathlib.Path) -> str:
        with open(path, "rb") as stream:
            return stream.read().decode("utf-8", "replace").replace("\r\n", "\n")

    def lines(self) -> list[str]:
        if self._result is not None:
            return list(self._result.lines)
        # A last line without its newline is still being written.
        return [line for line in self._read(self._out_path).split("\n")[:-1] if line]

    def fact(self, name: str) -> Optional[str]:
        for line in self.lines():
            key_name, sep, value = line.partition(": ")
            if sep and key_name == name:
                return value
        return None

    def all(self, name: str) -> list[str]:
        return [line.partition(": ")[2] for line in self.lines()
                if line.partition(": ")[0] == name and ": " in line]

    def running(self) -> bool:
        return self._result is None and self._process.poll() is None

    def wait_for_fact(self, name: str, timeout: float = 30.0) -> str:
        def found():
            value = self.fact(name)
            if value is None and not self.running():
                value = self.fact(name)
                if value is None:
                    raise AssertionError(f"qmdialogs {' '.join(self.args)} ended without "
                                         f"{name!r}:\n{self.finish(1).describe()}")
            return value
        return wh.wait_until(found, timeout, interval=0.02, what=f"qmdialogs to print {name!r}")

    def finish(self, timeout: float) -> wh.DriverResult:
        if self._result is None:
            try:
                returncode = self._process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                raise AssertionError(f"qmdialogs {' '.join(self.args)} did not end within "
                                     f"{timeout:.0f} s")
            self._result = wh.DriverResult(self.args, returncode, self.lines(),
                                           self._read(self._err_path))
            shutil.rmtree(self._folder, ignore_errors=True)
        return self._result

    def kill(self) -> None:
        if self._result is None and self._process.poll() is None:
            self._process.kill()
            self._process.wait()
        if self._result is None:
            self.finish(wh.WINE_CALL_MARGIN_S)


@dataclasses.dataclass(frozen=True)
class Change:
    """One change of a traced window: when it was seen, and the sample before."""
    t: float
    prev: float
    visible: bool
    alpha: Optional[int]  # None while the window has no layered attributes


def _changes(lines: Iterable[str]) -> list[Change]:
    out = []
    for line in lines:
        name, _, rest = line.partition(": ")
        if name == "change":
            fields = wh.parse_fields(rest)
            out.append(Change(float(fields["t"]), float(fields["prev"]),
                              fields["visible"] == "yes",
                              int(fields["alpha"]) if fields["layered"] == "yes" else None))
    return out


# A value the sampler did not see is excused only where it was away at least this long: the
# change after the value came this much after the sample before that change.
EXCUSING_GAP_MS = 20.0


def fade_mismatch(changes: Sequence[Change], expected: Sequence[int],
                  final_zero_seen: bool = False) -> Optional[str]:
    """Why the traced opacities are not `expected`, or None when they are.

    A value missing from the trace is excused where the sampler was away long enough for it to
    come and go unseen. The last 0 of a fade-out lives only from the dialog's hiding to its
    destruction, some milliseconds; unless `final_zero_seen` is asked for, it may go unseen.
    """
    seen: list[Change] = []
    for change in changes:
        if change.alpha is not None and (not seen or seen[-1].alpha != change.alpha):
            seen.append(change)
    at = 0
    for step, want in enumerate(expected):
        if at < len(seen) and seen[at].alpha == want:
            at += 1
            continue
        if step == len(expected) - 1 and want == 0 and not final_zero_seen:
            continue
        if at < len(seen) and seen[at].t - seen[at].prev >= EXCUSING_GAP_MS:
            continue
        return (f"{want} (step {step + 1} of {len(expected)}) was not seen, and no pause of the "
                f"sampler explains it; seen: {[c.alpha for c in seen]}")
    if at < len(seen):
        return f"values after the expected ones: {[c.alpha for c in seen[at:]]}"
    return None


def round_trip_mismatch(changes: Sequence[Change], final_zero_seen: bool = False
                        ) -> Optional[str]:
    """fade_mismatch for a fade in to wherever it turned (the highest value seen) and out."""
    values = alphas(changes)
    if not values:
        return "no opacity was seen"
    peak = max(values)
    if peak not in FADE_IN:
        return f"the fade turned at {peak}, no value of the fade-in: {values}"
    return fade_mismatch(changes, FADE_IN[:FADE_IN.index(peak) + 1] + fade_out_from(peak),
                         final_zero_seen)


def alphas(changes: Sequence[Change]) -> list[int]:
    """The opacities in the order they were set, each once."""
    out: list[int] = []
    for change in changes:
        if change.alpha is not None and (not out or out[-1] != change.alpha):
            out.append(change.alpha)
    return out


def _trace_args(title: str, duration_ms: int, interval_ms: int,
                actions: Sequence[tuple[str, int]]) -> list[str]:
    args = [title, str(duration_ms), str(interval_ms)]
    for when, control_id in actions:
        args += ["at", when, str(control_id)]
    return args


class Trace:
    """The opacity of one dialog of a running process, sampled every few milliseconds from before
    it opens until it is gone. `actions` are ("+N" or "-N", control id) pairs: the control is
    clicked once the opacity has risen to N (or fallen to N), in the order given."""

    def __init__(self, pid: int, title: str, duration_ms: int = 60000, interval_ms: int = 2,
                 actions: Sequence[tuple[str, int]] = ()):
        self._driver = Background("trace", str(pid), *_trace_args(title, duration_ms,
                                                                   interval_ms, actions))
        self._timeout_s = duration_ms / 1000 + wh.WINE_CALL_MARGIN_S
        # Looking by then: what opens the dialog may follow.
        self._driver.wait_for_fact("trace-clock-unix-ms", wh.WINE_CALL_MARGIN_S)

    def __enter__(self) -> "Trace":
        return self

    def __exit__(self, *exc) -> None:
        self._driver.kill()

    def changes(self) -> list[Change]:
        return _changes(self._driver.lines())

    def actions(self) -> list[str]:
        return self._driver.all("action")

    def gone(self) -> bool:
        return self._driver.fact("gone") is not None

    def finish(self, timeout: Optional[float] = None) -> wh.DriverResult:
        return self._driver.finish(self._timeout_s if timeout is None else timeout)

    def lines(self) -> list[str]:
        return self._driver.lines()


class ConfigRun:
    """The program started in configuration mode by qmdialogs, which traces the settings dialog's
    opacity from the start and reports the program's end. A context manager, so that a failing
    test does not leave it running."""

    def __init__(self, program: wh.ProgramCopy, *args: str, timeout_ms: int = 90000,
                 actions: Sequence[tuple[str, int]] = ()):
        if not args:
            args = ("/c",)
        self.program = program
        self._driver = Background("start", str(timeout_ms), "trace",
                                  *_trace_args(SETTINGS_TITLE, timeout_ms, 2, actions),
                                  "--", program.windows_path, *args)
        self._timeout_s = timeout_ms / 1000 + wh.WINE_CALL_MARGIN_S
        self.pid = int(self._driver.wait_for_fact("pid", wh.WINE_CALL_MARGIN_S))

    def __enter__(self) -> "ConfigRun":
        return self

    def __exit__(self, *exc) -> None:
        self.stop()

    def alive(self) -> bool:
        return self._driver.running() and self._driver.fact("exited") is None

    def dialog(self, timeout: float = 30.0) -> Window:
        """The settings dialog, once it is visible."""
        return find_window(self.pid, SETTINGS_TITLE, timeout)

    def opaque_dialog(self, timeout: float = 30.0) -> Window:
        """The settings dialog once its fade-in has ended."""
        def ready():
            if not self.alive():
                raise AssertionError(f"the program ended before its dialog was opaque:\n"
                                     f"{self.end(5).describe()}")
            return any(c.alpha == 255 for c in self.changes())
        wh.wait_until(ready, timeout, interval=0.02, what="the settings dialog's fade-in")
        return self.dialog(timeout)

    def changes(self) -> list[Change]:
        return _changes(self._driver.lines())

    def actions(self) -> list[str]:
        return self._driver.all("action")

    def lines(self) -> list[str]:
        return self._driver.lines()

    def end(self, timeout: Optional[float] = None) -> wh.DriverResult:
        """Waits for the program's end; the result has exited, exit-code and elapsed-ms."""
        return self._driver.finish(self._timeout_s if timeout is None else timeout)

    def wait_for_end(self, timeout: float = 20.0) -> wh.DriverResult:
        wh.wait_until(lambda: not self.alive(), timeout, what="the program to end")
        result = self.end(wh.WINE_CALL_MARGIN_S)
        if result.facts().get("exited") != "yes":
            raise AssertionError(f"the program did not end by itself:\n{result.describe()}")
        return result

    def stop(self) -> None:
        if self._driver.running():
            dd("end-process", str(self.pid), check=False)
        try:
            self._driver.finish(wh.WINE_CALL_MARGIN_S)
        except AssertionError:
            self._driver.kill()


def second(program: str, *args: str, timeout_ms: int = 20000) -> wh.DriverResult:
    """Runs the program to its end while a window of the driver's own is in front."""
    return dd("second", str(timeout_ms), "--", program, *args,
              timeout=timeout_ms / 1000 + wh.WINE_CALL_MARGIN_S)


# --- Registry -----------------------------------------------------------------------------------

def stored_settings(program_name: str) -> dict[str, wh.RegValue]:
    key = wh.reg_list(wh.settings_key(program_name))
    return key.values if key.present else {}


def dword(value: int) -> wh.RegValue:
    return wh.RegValue("REG_DWORD", (value & 0xFFFFFFFF).to_bytes(4, "little"))


def reg_text(value: str) -> wh.RegValue:
    return wh.RegValue("REG_SZ", wh.reg_sz(value))


def as_stored(values: dict[str, int | str]) -> dict[str, wh.RegValue]:
    """How the program stores the values: numbers as REG_DWORD, the folder as REG_SZ."""
    return {name: reg_text(v) if isinstance(v, str) else dword(v) for name, v in values.items()}


def my_pictures() -> str:
    """The Windows path of the prefix's My Pictures folder (the program's default folder)."""
    user = pwd.getpwuid(os.getuid()).pw_name
    return wh.windows_path(wh.session().prefix / "drive_c" / "users" / user / "Pictures")


def delete_value(subkey: str, name: str) -> None:
    dd("reg-delete-value", subkey, name)


# --- Texts --------------------------------------------------------------------------------------

def wininet_text(code: int) -> Optional[str]:
    """The network library's own description of an error code, None when it has none."""
    result = dd("wininet-text", str(code))
    return unescape(result["text"]) if result["found"] == "yes" else None


def system_text(code: int) -> Optional[str]:
    """The system's own description of an error code, None when it has none."""
    result = dd("system-text", str(code))
    return unescape(result["text"]) if result["found"] == "yes" else None


def resource_string(module: str, string_id: int) -> Optional[str]:
    result = dd("string", module, str(string_id))
    return unescape(result["text"]) if result["found"] == "yes" else None


@dataclasses.dataclass(frozen=True)
class TextSize:
    line_width: int
    line_height: int
    wrapped_height: int


def text_size(face: str, points: int, width: int, value: str) -> TextSize:
    facts = dd("text-size", face, str(points), str(width), value).facts()
    return TextSize(int(facts["line-width"]), int(facts["line-height"]),
                    int(facts["wrapped-height"]))


# --- Layout -------------------------------------------------------------------------------------

def mul_div(a: int, b: int, c: int) -> int:
    """MulDiv: a * b / c rounded half away from zero, as the dialog manager scales."""
    product = a * b
    return (product + c // 2) // c if product >= 0 else -((-product + c // 2) // c)


def base_units(window: Window, template_size: tuple[int, int]) -> tuple[int, int]:
    """The dialog's base units as its client size shows them (dialog units to pixels)."""
    left, top, right, bottom = window.client
    return (round((right - left) * 4 / template_size[0]),
            round((bottom - top) * 8 / template_size[1]))


def template_rect(window: Window, units: tuple[int, int],
                  rect: tuple[int, int, int, int]) -> tuple[int, int, int, int]:
    """A control's rect of the template (x, y, width, height in dialog units) on the screen."""
    x, y, w, h = rect
    bx, by = units
    left = window.client[0] + mul_div(x, bx, 4)
    top = window.client[1] + mul_div(y, by, 8)
    return left, top, left + mul_div(w, bx, 4), top + mul_div(h, by, 8)


# --- Screenshots --------------------------------------------------------------------------------

def crop(shot: wh.Picture, rect: tuple[int, int, int, int]) -> wh.Picture:
    left, top, right, bottom = rect
    left, top = max(left, 0), max(top, 0)
    right, bottom = min(right, shot.width), min(bottom, shot.height)
    rows = [shot.row(y)[left * 3:right * 3] for y in range(top, bottom)]
    return wh.Picture(right - left, bottom - top, b"".join(rows))


_artefacts: Optional[pathlib.Path] = None


def artefact_dir() -> pathlib.Path:
    """Where the tests leave their screenshots: QM_E2E_ARTEFACTS when set, otherwise a folder
    of their own outside the prefix (which goes at the end of the session)."""
    global _artefacts
    if _artefacts is None:
        chosen = os.environ.get("QM_E2E_ARTEFACTS")
        if chosen:
            _artefacts = pathlib.Path(chosen)
            _artefacts.mkdir(parents=True, exist_ok=True)
        else:
            _artefacts = pathlib.Path(tempfile.mkdtemp(prefix="quillmere-dialogs-"))
    return _artefacts


def docs_dir() -> pathlib.Path:
    return pathlib.Path(__file__).resolve().parents[2] / "docs"


def save_window_shot(window: Window, file_name: str, for_docs: bool = False) -> pathlib.Path:
    """Screenshots the screen and keeps the window's rectangle of it as a PNG among the artefacts;
    `for_docs` and QM_DOCS_SCREENSHOTS=1 in the environment put the same picture in docs/.

    The crop is ImageMagick's own, from a full screenshot, so the file is what the screen
    showed."""
    folder = artefact_dir()
    full = folder / f"screen-{file_name}"
    subprocess.run([wh.IMAGEMAGICK_IMPORT, "-window", "root", os.fspath(full)],
                   stdin=subprocess.DEVNULL, capture_output=True, timeout=wh.WINE_CALL_MARGIN_S,
                   check=True)
    left, top, right, bottom = window.rect
    target = folder / file_name
    subprocess.run([wh.IMAGEMAGICK_CONVERT, os.fspath(full), "-crop",
                    f"{right - left}x{bottom - top}+{left}+{top}", "+repage", "-strip",
                    os.fspath(target)],
                   stdin=subprocess.DEVNULL, capture_output=True, timeout=wh.WINE_CALL_MARGIN_S,
                   check=True)
    full.unlink()
    print(f"\nscreenshot: {target}", file=sys.stderr)
    if for_docs and os.environ.get("QM_DOCS_SCREENSHOTS") == "1":
        docs = docs_dir()
        docs.mkdir(exist_ok=True)
        shutil.copyfile(target, docs / file_name)
        print(f"screenshot for the documentation: {docs / file_name}", file=sys.stderr)
    return target


def read_png(path: pathlib.Path) -> wh.Picture:
    result = subprocess.run([wh.IMAGEMAGICK_CONVERT, os.fspath(path), "-depth", "8", "ppm:-"],
                            stdin=subprocess.DEVNULL, capture_output=True,
                            timeout=wh.WINE_CALL_MARGIN_S, check=True)
    return wh.parse_ppm(result.stdout)


def settle_screen() -> None:
    """Time for the compositor to draw what the windows last painted."""
    time.sleep(0.3)


# --- A stand-in browser -------------------------------------------------------------------------

class BrowserStandIn:
    """Wine's shell opens an http: address with winebrowser, which starts the first program of
    the list in HKCU\\Software\\Wine\\WineBrowser "Browsers" with the address. Here that is a
    script that notes what it was given and ends. A context manager: the list is put back."""

    KEY = "Software\\Wine\\WineBrowser"
    VALUE = "Browsers"

    def __enter__(self) -> "BrowserStandIn":
        self._folder = pathlib.Path(tempfile.mkdtemp(prefix="qm-browser-"))
        self.log = self._folder / "opened.log"
        script = self._folder / "browser.sh"
        script.write_text('#!/bin/sh\nfor arg in "$@"; do printf \'%s\\n\' "$arg"; done'
                          f' >> "{self.log}"\n', encoding="utf-8")
        script.chmod(script.stat().st_mode | stat.S_IXUSR)
        key = wh.reg_list(self.KEY)
        self._before = key.values.get(self.VALUE) if key.present else None
        wh.reg_set(self.KEY, self.VALUE, "REG_SZ", wh.reg_sz(os.fspath(script)))
        return self

    def __exit__(self, *exc) -> None:
        if self._before is None:
            delete_value(self.KEY, self.VALUE)
        else:
            wh.reg_set(self.KEY, self.VALUE, self._before.type, self._before.data)
        shutil.rmtree(self._folder, ignore_errors=True)

    def opened(self) -> list[str]:
        if not self.log.exists():
            return []
        return [line for line in self.log.read_text(encoding="utf-8").split("\n") if line]

    def wait_for_address(self, timeout: float = 20.0) -> list[str]:
        return wh.wait_until(self.opened, timeout, what="the stand-in browser to be started")
