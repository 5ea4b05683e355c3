"""Shared plumbing for the end-to-end tests of Tessaly.scr under Wine.

The tests run inside tests/e2e/wine_session.sh, which provides DISPLAY and a throw-away
WINEPREFIX; ctest passes the built program and driver in QM_SCR and QM_DRIVER. Everything here
reaches the program from outside: through qmdriver (tests/e2e/driver/qmdriver.cpp), the registry
and the files of the prefix.
"""

from __future__ import annotations

import dataclasses
import os
import pathlib
import shutil
import subprocess
import tempfile
import time
from typing import Callable, Optional, Sequence, TypeVar

# Where every copy of the program keeps its settings: <root>\<program name>\Setting.
SETTINGS_ROOT = "software\\Brindlewick"

# Time allowed for one Wine call on top of any timeout the driver enforces itself; a slow CI
# machine starts a Wine process in well under a second, so this only catches a hang.
WINE_CALL_MARGIN_S = 60.0


class SessionMissing(RuntimeError):
    """The tests were started outside the Wine session they need."""


@dataclasses.dataclass(frozen=True)
class Session:
    prefix: pathlib.Path
    scr: pathlib.Path
    driver: pathlib.Path


_session: Optional[Session] = None


def session() -> Session:
    """The session's prefix and the built files; raises SessionMissing with how to fix it."""
    global _session
    if _session is not None:
        return _session
    how = ("run the tests through the Wine session, e.g. "
           "`bash tests/e2e/wine_session.sh ctest --preset windows`")
    missing = [name for name in ("WINEPREFIX", "DISPLAY") if not os.environ.get(name)]
    if missing:
        raise SessionMissing(f"{' and '.join(missing)} not set: {how}")
    prefix = pathlib.Path(os.environ["WINEPREFIX"])
    if not (prefix / "drive_c").is_dir():
        raise SessionMissing(f"WINEPREFIX={prefix} is not a booted Wine prefix: {how}")
    files = {}
    for name in ("QM_SCR", "QM_DRIVER"):
        value = os.environ.get(name)
        if not value:
            raise SessionMissing(f"{name} not set: ctest sets it; by hand, point it at the "
                                 "file the Windows build made")
        path = pathlib.Path(value)
        if not path.is_file():
            raise SessionMissing(f"{name}={path} does not exist: build the windows preset first")
        files[name] = path
    _session = Session(prefix=prefix, scr=files["QM_SCR"], driver=files["QM_DRIVER"])
    return _session


# --- Polling ----------------------------------------------------------------------------------

T = TypeVar("T")


def wait_until(condition: Callable[[], T], timeout: float = 30.0, interval: float = 0.05,
               what: str = "the condition") -> T:
    """Polls until `condition` returns something true and returns it; fails after `timeout` s."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() >= deadline:
            raise AssertionError(f"timed out after {timeout:.1f} s waiting for {what}")
        time.sleep(interval)


# --- Running Wine programs ----------------------------------------------------------------------

@dataclasses.dataclass
class WineResult:
    returncode: int
    stdout: str
    stderr: str


def run_wine(args: Sequence[str], timeout: float) -> WineResult:
    """Runs `wine ARGS...` to its end and returns what it printed.

    Output goes through files, not pipes: Wine's helper processes (explorer.exe, services) can
    inherit a pipe and keep it open long after the program ended.
    """
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen(["wine", *args], stdin=subprocess.DEVNULL, stdout=out,
                                   stderr=err, start_new_session=True)
        try:
            returncode = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            raise AssertionError(f"wine {' '.join(args)} did not end within {timeout:.0f} s")
        out.seek(0)
        err.seek(0)
        return WineResult(returncode,
                          out.read().decode("utf-8", "replace").replace("\r\n", "\n"),
                          err.read().decode("utf-8", "replace").replace("\r\n", "\n"))


def windows_path(unix_path: os.PathLike | str) -> str:
    """The Windows form of a path of this machine (C:\\... inside the prefix, Z:\\... outside)."""
    result = subprocess.run(["winepath", "-w", os.fspath(unix_path)], stdin=subprocess.DEVNULL,
                            capture_output=True, text=True, timeout=WINE_CALL_MARGIN_S, check=True)
    return result.stdout.strip()


def unix_path(win_path: str) -> pathlib.Path:
    result = subprocess.run(["winepath", "-u", win_path], stdin=subprocess.DEVNULL,
                            capture_output=True, text=True, timeout=WINE_CALL_MARGIN_S, check=True)
    return pathlib.Path(result.stdout.strip())


# --- The driver ---------------------------------------------------------------------------------

@dataclasses.dataclass
class DriverResult:
    args: list[str]
    returncode: int
    lines: list[str]
    stderr: str

    def facts(self) -> dict[str, str]:
        """The "name: value" lines; a name given twice keeps its first value."""
        out: dict[str, str] = {}
        for line in self.lines:
            name, sep, value = line.partition(": ")
            if sep and name not in out:
                out[name] = value
        return out

    def all(self, name: str) -> list[str]:
        return [line.partition(": ")[2] for line in self.lines
                if line.partition(": ")[0] == name and ": " in line]

    def __getitem__(self, name: str) -> str:
        facts = self.facts()
        if name not in facts:
            raise AssertionError(f"qmdriver {' '.join(self.args)} printed no {name!r}:\n"
                                 f"{self.describe()}")
        return facts[name]

    def describe(self) -> str:
        return ("\n".join(self.lines) + f"\n(exit code {self.returncode})"
                + (f"\nstderr:\n{self.stderr}" if self.stderr.strip() else ""))


def driver(*args: str, timeout: float = WINE_CALL_MARGIN_S, check: bool = True) -> DriverResult:
    """Runs qmdriver; with `check`, any exit code but 0 fails the test with the driver's output."""
    result = run_wine([os.fspath(session().driver), *args], timeout=timeout)
    lines = [line for line in result.stdout.split("\n") if line]
    outcome = DriverResult(list(args), result.returncode, lines, result.stderr)
    if outcome.returncode == 2:
        raise AssertionError(f"qmdriver usage error for {list(args)}:\n{outcome.describe()}")
    if check and outcome.returncode != 0:
        raise AssertionError(f"qmdriver {' '.join(args)} failed:\n{outcome.describe()}")
    return outcome


@dataclasses.dataclass(frozen=True)
class RegValue:
    type: str
    data: bytes


@dataclasses.dataclass(frozen=True)
class RegKey:
    present: bool
    values: dict[str, RegValue]


def reg_list(subkey: str) -> RegKey:
    result = driver("reg-list", subkey)
    if not result.lines or not result.lines[0].startswith("key: "):
        raise AssertionError(f"unexpected reg-list output:\n{result.describe()}")
    values = {}
    for line in result.lines[1:]:
        # The name may hold "=" and ":"; the type and hex after the last "=" hold neither.
        name, _, typed = line.rpartition("=")
        type_name, _, hex_data = typed.partition(":")
        values[name] = RegValue(type_name, bytes.fromhex(hex_data))
    return RegKey(result.lines[0] == "key: present", values)


def reg_subkeys(subkey: str) -> Optional[list[str]]:
    """The names of the key's direct subkeys, or None when the key does not exist."""
    result = driver("reg-subkeys", subkey)
    if result["key"] == "absent":
        return None
    return result.all("subkey")


# Longer data goes through a file: a Windows command line holds at most 32,767 characters.
_LONGEST_HEX_ARGUMENT = 8192


def reg_set(subkey: str, name: str, type_name: str, data: bytes) -> None:
    if not data:
        driver("reg-set", subkey, name, type_name, "-")
        return
    hex_data = data.hex()
    if len(hex_data) <= _LONGEST_HEX_ARGUMENT:
        driver("reg-set", subkey, name, type_name, hex_data)
        return
    with tempfile.NamedTemporaryFile("w", suffix=".hex", dir=scratch_dir(), delete=False) as f:
        f.write(hex_data)
    try:
        driver("reg-set", subkey, name, type_name, "@" + windows_path(f.name))
    finally:
        os.unlink(f.name)


def reg_delete_tree(subkey: str) -> None:
    driver("reg-delete-tree", subkey)


def settings_key(program_name: str) -> str:
    return f"{SETTINGS_ROOT}\\{program_name}\\Setting"


def reg_sz(text: str, terminated: bool = True) -> bytes:
    """A string as the registry stores it: UTF-16LE, with its NUL unless told otherwise."""
    return (text + ("\0" if terminated else "")).encode("utf-16-le")


# --- Copies of the program ----------------------------------------------------------------------

def scratch_dir() -> pathlib.Path:
    """A folder for the tests' files inside the prefix, so that it has a C:\\ path."""
    path = session().prefix / "drive_c" / "quillmere-e2e"
    path.mkdir(exist_ok=True)
    return path


@dataclasses.dataclass(frozen=True)
class ProgramCopy:
    unix_path: pathlib.Path
    windows_path: str

    @property
    def name(self) -> str:
        """The program name it derives from its own file: no folder, no extension."""
        return self.unix_path.stem


def fresh_copy(file_name: str = "Tessaly.scr") -> ProgramCopy:
    """Copies the built program into a folder of its own under the name given."""
    folder = pathlib.Path(tempfile.mkdtemp(prefix="run-", dir=scratch_dir()))
    target = folder / file_name
    shutil.copyfile(session().scr, target)
    return ProgramCopy(target, windows_path(target))


def run_program(program: str, *args: str, timeout_ms: int = 20000) -> DriverResult:
    """Runs a Windows program through qmdriver's `run`; a timeout shows as exited: no."""
    return driver("run", str(timeout_ms), "--", program, *args,
                  timeout=timeout_ms / 1000 + WINE_CALL_MARGIN_S, check=False)


def stand_in(mutex: str, title: str, program: str, *args: str,
             timeout_ms: int = 20000) -> DriverResult:
    """Runs a program while qmdriver plays a first instance holding `mutex` and a window."""
    return driver("stand-in", mutex, title, str(timeout_ms), "--", program, *args,
                  timeout=timeout_ms / 1000 + WINE_CALL_MARGIN_S, check=False)


def write_settings(program_name: str, values: dict[str, int | str]) -> None:
    """Stores show settings as the program reads them: numbers as REG_DWORD, text as REG_SZ."""
    key = settings_key(program_name)
    for name, value in values.items():
        if isinstance(value, str):
            reg_set(key, name, "REG_SZ", reg_sz(value))
        else:
            reg_set(key, name, "REG_DWORD", (value & 0xFFFFFFFF).to_bytes(4, "little"))


# --- Windows and messages -----------------------------------------------------------------------

# The class of every window the show and the preview open.
SAVER_CLASS = "Quillmere:3"

WM_KEYDOWN = 0x0100
WM_SYSCOMMAND = 0x0112
WM_MOUSEMOVE = 0x0200
WM_LBUTTONDOWN = 0x0201
WM_LBUTTONUP = 0x0202
WM_RBUTTONDOWN = 0x0204
WM_RBUTTONUP = 0x0205
WM_MBUTTONDOWN = 0x0207
WM_MBUTTONUP = 0x0208
SC_CLOSE = 0xF060
SC_SCREENSAVE = 0xF140
LWA_COLORKEY = 1
LWA_ALPHA = 2


def make_lparam(x: int, y: int) -> int:
    return (y & 0xFFFF) << 16 | (x & 0xFFFF)


@dataclasses.dataclass(frozen=True)
class Layered:
    """What GetLayeredWindowAttributes reports for a window."""
    key: int
    alpha: int
    flags: int


def parse_fields(text: str) -> dict[str, str]:
    """The name=value words of one driver line."""
    out = {}
    for word in text.split(" "):
        name, sep, value = word.partition("=")
        if sep:
            out[name] = value
    return out


def _layered(fields: dict[str, str]) -> Optional[Layered]:
    if fields.get("layered") == "none":
        return None
    return Layered(int(fields["key"], 16), int(fields["alpha"]), int(fields["flags"]))


def parse_rect(text: str) -> tuple[int, int, int, int]:
    left, top, right, bottom = (int(part) for part in text.split(","))
    return left, top, right, bottom


@dataclasses.dataclass(frozen=True)
class WindowInfo:
    hwnd: int
    pid: int
    z: int  # place among all top-level windows, 0 for the topmost
    xid: int  # the X window behind it, 0 when unknown
    rect: tuple[int, int, int, int]  # left, top, right, bottom
    style: int
    exstyle: int
    visible: bool
    layered: Optional[Layered]  # None while the window has no layered attributes

    @classmethod
    def parse(cls, text: str) -> "WindowInfo":
        fields = parse_fields(text)
        return cls(hwnd=int(fields["hwnd"]), pid=int(fields["pid"]), z=int(fields["z"]),
                   xid=int(fields["xid"]), rect=parse_rect(fields["rect"]),
                   style=int(fields["style"], 16), exstyle=int(fields["exstyle"], 16),
                   visible=fields["visible"] == "yes", layered=_layered(fields))


def top_level_windows(pid: Optional[int] = None,
                      class_name: str = SAVER_CLASS) -> list[WindowInfo]:
    """The top-level windows of a class (of one process), topmost first."""
    args = ["windows", class_name] + ([str(pid)] if pid is not None else [])
    return [WindowInfo.parse(text) for text in driver(*args).all("window")]


def post_message(hwnd: int, message: int, wparam: int = 0, lparam: int = 0) -> None:
    driver("post", str(hwnd), str(message), str(wparam), str(lparam))


def xdotool(*args: str) -> None:
    """Real input through the X server, to the window under the pointer or with the focus."""
    subprocess.run(["xdotool", *args], stdin=subprocess.DEVNULL, capture_output=True,
                   timeout=WINE_CALL_MARGIN_S, check=True)


def x_root_window() -> int:
    result = subprocess.run(["xwininfo", "-root"], stdin=subprocess.DEVNULL, capture_output=True,
                            text=True, timeout=WINE_CALL_MARGIN_S, check=True)
    for line in result.stdout.splitlines():
        if "Window id:" in line:
            return int(line.split("Window id:")[1].split()[0], 16)
    raise AssertionError("xwininfo printed no root window id")


def pointer_position() -> tuple[int, int]:
    result = subprocess.run(["xdotool", "getmouselocation", "--shell"], stdin=subprocess.DEVNULL,
                            capture_output=True, text=True, timeout=WINE_CALL_MARGIN_S,
                            check=True)
    values = dict(line.split("=", 1) for line in result.stdout.split() if "=" in line)
    return int(values["X"]), int(values["Y"])


# --- Driver runs in the background ----------------------------------------------------------------

class BackgroundDriver:
    """qmdriver running while the test goes on; its output is read as it is written.

    The output goes to a file, for the reason run_wine gives.
    """

    def __init__(self, *args: str):
        self.args = list(args)
        self._out = tempfile.TemporaryFile()
        self._err = tempfile.TemporaryFile()
        self._process = subprocess.Popen(["wine", os.fspath(session().driver), *args],
                                         stdin=subprocess.DEVNULL, stdout=self._out,
                                         stderr=self._err, start_new_session=True)
        self._result: Optional[DriverResult] = None

    def _read(self, stream) -> str:
        stream.seek(0)
        return stream.read().decode("utf-8", "replace").replace("\r\n", "\n")

    def lines(self) -> list[str]:
        if self._result is not None:
            return list(self._result.lines)
        # A last line without its newline is still being written.
        return [line for line in self._read(self._out).split("\n")[:-1] if line]

    def fact(self, name: str) -> Optional[str]:
        for line in self.lines():
            key, sep, value = line.partition(": ")
            if sep and key == name:
                return value
        return None

    def all(self, name: str) -> list[str]:
        """The values of every "name: value" line so far."""
        return [line.partition(": ")[2] for line in self.lines()
                if line.partition(": ")[0] == name and ": " in line]

    def wait_for_fact(self, name: str, timeout: float = 30.0) -> str:
        def found():
            value = self.fact(name)
            if value is None and not self.running():
                value = self.fact(name)
                if value is None:
                    raise AssertionError(f"qmdriver {' '.join(self.args)} ended without "
                                         f"{name!r}:\n{self.finish(1).describe()}")
            return value
        return wait_until(found, timeout, what=f"qmdriver to print {name!r}")

    def running(self) -> bool:
        return self._result is None and self._process.poll() is None

    def finish(self, timeout: float) -> DriverResult:
        """Waits for the driver's end and returns all it printed."""
        if self._result is None:
            try:
                returncode = self._process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                raise AssertionError(f"qmdriver {' '.join(self.args)} did not end within "
                                     f"{timeout:.0f} s")
            self._result = DriverResult(self.args, returncode, self.lines(),
                                        self._read(self._err))
            self._out.close()
            self._err.close()
        return self._result

    def kill(self) -> None:
        """Ends the driver itself (only the driver: a program it started keeps running)."""
        if self._result is None and self._process.poll() is None:
            self._process.kill()
            self._process.wait()


@dataclasses.dataclass(frozen=True)
class TraceChange:
    t: int  # ms since the program started, of the sample that saw the change
    prev: int  # ms of the sample before it: a value held for less than t - prev may be missed
    hwnd: int
    layered: Optional[Layered]


class RunningShow:
    """A program run started by `qmdriver start`: it ends by itself, by the test, or at the
    driver's timeout (then reported as exited: no). Use it as a context manager, so that a
    failing test does not leave it running."""

    def __init__(self, program: str, *args: str, timeout_ms: int = 60000,
                 trace: Optional[tuple[int, int]] = None):
        options = ["trace", str(trace[0]), str(trace[1]), SAVER_CLASS] if trace else []
        self._driver = BackgroundDriver("start", str(timeout_ms), *options, "--", program,
                                        *args)
        self._timeout_s = timeout_ms / 1000 + WINE_CALL_MARGIN_S
        self.pid = int(self._driver.wait_for_fact("pid", WINE_CALL_MARGIN_S))

    def __enter__(self) -> "RunningShow":
        return self

    def __exit__(self, *exc) -> None:
        self.stop()

    def alive(self) -> bool:
        """Whether the program still runs (the driver ends as soon as the program does)."""
        return self._driver.running() and self._driver.fact("exited") is None

    def windows(self) -> list[WindowInfo]:
        return top_level_windows(self.pid)

    def wait_for_windows(self, count: int = 2, timeout: float = 30.0) -> list[WindowInfo]:
        """Waits for `count` visible windows of the show's class; returns them topmost first."""
        def ready():
            if not self.alive():
                raise AssertionError(f"the program ended before it opened its windows:\n"
                                     f"{self.end().describe()}")
            found = self.windows()
            return found if len(found) >= count and all(w.visible for w in found) else None
        return wait_until(ready, timeout, what=f"{count} visible show windows")

    def wait_for_alpha(self, hwnd: int, condition: Callable[[int], bool], timeout: float = 30.0,
                       what: str = "an alpha") -> WindowInfo:
        def check():
            if not self.alive():
                raise AssertionError(f"the program ended while waiting for {what}:\n"
                                     f"{self.end().describe()}")
            for window in self.windows():
                if window.hwnd == hwnd and window.layered and condition(window.layered.alpha):
                    return window
            return None
        return wait_until(check, timeout, interval=0.02, what=what)

    def end(self, timeout: Optional[float] = None) -> DriverResult:
        """Waits for the program's end; the result has exited, exit-code and elapsed-ms."""
        return self._driver.finish(self._timeout_s if timeout is None else timeout)

    def trace(self) -> list[TraceChange]:
        """The layered attributes traced from the start (the driver must be asked to trace)."""
        out = []
        for line in self._driver.lines():
            name, _, text = line.partition(": ")
            if name == "change":
                fields = parse_fields(text)
                out.append(TraceChange(int(fields["t"]), int(fields["prev"]),
                                       int(fields["hwnd"]), _layered(fields)))
        return out

    def trace_clock_unix_ms(self) -> int:
        """Where the trace's times start, in Unix milliseconds (time.time() * 1000)."""
        return int(self._driver.wait_for_fact("trace-clock-unix-ms", WINE_CALL_MARGIN_S))

    def lines(self) -> list[str]:
        return self._driver.lines()

    def stop(self) -> None:
        """Ends the program if it still runs, and the driver with it."""
        if self._driver.running():
            driver("end-process", str(self.pid), check=False)
        try:
            self._driver.finish(WINE_CALL_MARGIN_S)
        except AssertionError:
            self._driver.kill()


def wait_for_end(show: RunningShow, timeout: float = 15.0) -> DriverResult:
    """The show's end once something ended it: it must not run on until the driver's timeout."""
    wait_until(lambda: not show.alive(), timeout, what="the program to end")
    return show.end()


# --- Screenshots -------------------------------------------------------------------------------

# The real ImageMagick: another `convert` may come first on PATH.
IMAGEMAGICK_CONVERT = "/usr/bin/convert"
IMAGEMAGICK_IMPORT = "/usr/bin/import"
IMAGEMAGICK_IDENTIFY = "/usr/bin/identify"

Colour = tuple[int, int, int]


@dataclasses.dataclass(frozen=True)
class Box:
    left: int
    top: int
    right: int  # exclusive
    bottom: int  # exclusive

    @property
    def width(self) -> int:
        return self.right - self.left

    @property
    def height(self) -> int:
        return self.bottom - self.top


@dataclasses.dataclass(frozen=True)
class Picture:
    """RGB pixels, 3 bytes each, rows top down."""
    width: int
    height: int
    data: bytes

    def pixel(self, x: int, y: int) -> Colour:
        at = (y * self.width + x) * 3
        return self.data[at], self.data[at + 1], self.data[at + 2]

    def row(self, y: int) -> bytes:
        return self.data[y * self.width * 3:(y + 1) * self.width * 3]

    def save_png(self, path: os.PathLike | str) -> None:
        subprocess.run([IMAGEMAGICK_CONVERT, "-size", f"{self.width}x{self.height}", "-depth",
                        "8", "rgb:-", os.fspath(path)], input=self.data,
                       capture_output=True, timeout=WINE_CALL_MARGIN_S, check=True)


_kept: Optional[pathlib.Path] = None


def kept_dir() -> pathlib.Path:
    """A folder for what a failing test leaves to look at: outside the prefix, which goes at
    the end of the session."""
    global _kept
    if _kept is None:
        _kept = pathlib.Path(tempfile.mkdtemp(prefix="quillmere-e2e-kept-"))
    return _kept


def parse_ppm(data: bytes) -> Picture:
    # P6, then width, height and the largest value, separated by white space or comments.
    fields: list[bytes] = []
    at = 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at) + 1
            continue
        start = at
        while not data[at:at + 1].isspace():
            at += 1
        fields.append(data[start:at])
    if fields[0] != b"P6" or fields[3] != b"255":
        raise AssertionError(f"not an 8-bit PPM: {fields!r}")
    width, height = int(fields[1]), int(fields[2])
    pixels = data[at + 1:at + 1 + width * height * 3]
    if len(pixels) != width * height * 3:
        raise AssertionError("the PPM is shorter than its size says")
    return Picture(width, height, pixels)


def screenshot() -> Picture:
    """The screen as the compositor shows it (the root window)."""
    result = subprocess.run([IMAGEMAGICK_IMPORT, "-window", "root", "-depth", "8", "ppm:-"],
                            stdin=subprocess.DEVNULL, capture_output=True,
                            timeout=WINE_CALL_MARGIN_S, check=True)
    return parse_ppm(result.stdout)


def blend(over: Colour, under: Colour, alpha: int) -> Colour:
    """`over` drawn at alpha/255 on `under`, as the compositor does it (rounded)."""
    return tuple((o * alpha + u * (255 - alpha) + 127) // 255
                 for o, u in zip(over, under))  # type: ignore[return-value]


def veil_over(background: Picture, colour: Colour, alpha: int) -> Picture:
    """What a veil of `colour` at `alpha` over `background` looks like."""
    rows: dict[bytes, bytes] = {}
    out = bytearray()
    for y in range(background.height):
        row = background.row(y)
        if row not in rows:
            converted = bytearray()
            cache: dict[bytes, bytes] = {}
            for x in range(0, len(row), 3):
                px = row[x:x + 3]
                if px not in cache:
                    cache[px] = bytes(blend(colour, tuple(px), alpha))  # type: ignore[arg-type]
                converted += cache[px]
            rows[row] = bytes(converted)
        out += rows[row]
    return Picture(background.width, background.height, bytes(out))


def _close(a: bytes, b: bytes, tolerance: int) -> bool:
    return a == b or all(abs(x - y) <= tolerance for x, y in zip(a, b))


def _first_far(row: bytes, want: bytes, tolerance: int) -> Optional[int]:
    """The first pixel of a row farther than `tolerance` from `want`, or None.

    Runs of equal bytes are skipped by comparing slices, which keeps a row of veil fast; once a
    pixel differs only within the tolerance, the rest is looked at pixel by pixel.
    """
    width = len(row) // 3
    x = 0
    while x < width:
        if row[3 * x:] == want[3 * x:]:
            return None
        low, high = x, width - 1
        while low < high:  # the first pixel from x on that is not exactly equal
            middle = (low + high) // 2
            if row[3 * x:3 * (middle + 1)] == want[3 * x:3 * (middle + 1)]:
                low = middle + 1
            else:
                high = middle
        if not _close(row[3 * low:3 * low + 3], want[3 * low:3 * low + 3], tolerance):
            return low
        for x in range(low + 1, width):
            if not _close(row[3 * x:3 * x + 3], want[3 * x:3 * x + 3], tolerance):
                return x
        return None
    return None


def _reversed_pixels(row: bytes) -> bytes:
    return b"".join(row[at:at + 3] for at in range(len(row) - 3, -1, -3))


def differing_box(shot: Picture, expected: Picture, tolerance: int = 3) -> Optional[Box]:
    """The bounding box of the pixels farther than `tolerance` from `expected` in a channel."""
    left, right, top, bottom = shot.width, -1, -1, -1
    for y in range(shot.height):
        row, want = shot.row(y), expected.row(y)
        if row == want:
            continue
        first = _first_far(row, want, tolerance)
        if first is None:
            continue
        last = shot.width - 1 - _first_far(_reversed_pixels(row), _reversed_pixels(want),
                                           tolerance)
        left, right = min(left, first), max(right, last)
        if top < 0:
            top = y
        bottom = y
    if top < 0:
        return None
    return Box(left, top, right + 1, bottom + 1)


def mismatches(shot: Picture, expected: Picture, box: Box, tolerance: int = 3) -> int:
    """How many pixels inside `box` are farther than `tolerance` from `expected`."""
    count = 0
    for y in range(box.top, box.bottom):
        row, want = shot.row(y), expected.row(y)
        for x in range(box.left, box.right):
            if not _close(row[3 * x:3 * x + 3], want[3 * x:3 * x + 3], tolerance):
                count += 1
    return count


# --- Photos ------------------------------------------------------------------------------------

def convert(*args: str) -> None:
    """ImageMagick's convert, for the photos the tests show."""
    result = subprocess.run([IMAGEMAGICK_CONVERT, *args], stdin=subprocess.DEVNULL,
                            capture_output=True, text=True, timeout=WINE_CALL_MARGIN_S)
    if result.returncode != 0:
        raise AssertionError(f"convert {' '.join(args)} failed:\n{result.stderr}")


def with_orientation(jpeg: bytes, orientation: int) -> bytes:
    """The JPEG with an EXIF segment whose IFD0 holds only the orientation tag (0x0112)."""
    if jpeg[:2] != b"\xff\xd8":
        raise ValueError("not a JPEG")
    tiff = (b"II*\x00" + (8).to_bytes(4, "little")  # little-endian, IFD0 right after
            + (1).to_bytes(2, "little")  # one entry: tag, type SHORT, count 1, value
            + (0x0112).to_bytes(2, "little") + (3).to_bytes(2, "little")
            + (1).to_bytes(4, "little") + orientation.to_bytes(2, "little") + b"\x00\x00"
            + (0).to_bytes(4, "little"))  # no further IFD
    payload = b"Exif\x00\x00" + tiff
    segment = b"\xff\xe1" + (len(payload) + 2).to_bytes(2, "big") + payload
    return jpeg[:2] + segment + jpeg[2:]


def jpeg_header_claiming(width: int, height: int, junk: int = 4096) -> bytes:
    """A JPEG start whose baseline frame header claims the size given, then junk."""
    frame = (bytes([8]) + height.to_bytes(2, "big") + width.to_bytes(2, "big") + bytes([3])
             + bytes([1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1]))
    quant = bytes([0]) + bytes(range(1, 65))
    out = (b"\xff\xd8"
           + b"\xff\xdb" + (len(quant) + 2).to_bytes(2, "big") + quant
           + b"\xff\xc0" + (len(frame) + 2).to_bytes(2, "big") + frame)
    return out + bytes((i * 37 + 11) % 256 for i in range(junk))


def fitted_size(photo: tuple[int, int], screen: tuple[int, int], max_width_percent: int = 50,
                max_height_percent: int = 80) -> tuple[int, int]:
    """The size a photo is shown at: fitted into the allowed share of the screen in one
    direction, keeping its aspect ratio (integer arithmetic, truncated)."""
    max_w = screen[0] * max_width_percent // 100
    max_h = screen[1] * max_height_percent // 100
    s = photo[1] * max_w // photo[0]
    if s < max_h:
        return max_w, s
    return max_h * photo[0] // photo[1], max_h


def fresh_folder(prefix: str = "photos-") -> tuple[pathlib.Path, str]:
    """An empty folder for a test's photos: its path here and the Windows one."""
    folder = pathlib.Path(tempfile.mkdtemp(prefix=prefix, dir=scratch_dir()))
    return folder, windows_path(folder)


def screen_size() -> tuple[int, int]:
    """The X screen's size, which Wine reports as the Windows screen."""
    result = subprocess.run(["xdpyinfo"], stdin=subprocess.DEVNULL, capture_output=True,
                            text=True, timeout=WINE_CALL_MARGIN_S, check=True)
    for line in result.stdout.splitlines():
        words = line.split()
        if words[:1] == ["dimensions:"]:
            width, height = words[1].split("x")
            return int(width), int(height)
    raise AssertionError("xdpyinfo printed no dimensions")
