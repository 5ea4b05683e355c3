"""The update check of the settings dialog, against a real HTTP server on the loopback that the
prefix's Internet settings name as the proxy: the one request it makes, what each kind of reply
shows, the failures it reports and the time it may take, and the button to the product page.
"""

from __future__ import annotations

import dataclasses
import socket
import struct
import threading
import time
import unittest
import urllib.parse
from typing import Callable, Optional

import dialog_helpers as dh
import wine_helpers as wh

INTERNET_SETTINGS = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"

HOST = "www.brindlewick.example"
# Through a proxy the request line holds the whole address, with the port.
REQUEST_TARGET = f"http://{HOST}:80/bin/checkupdate.cgi?software=lumeroll&version=110"
USER_AGENT = "Lumeroll-1.1.0"
PRODUCT_PAGE = f"http://{HOST}/html/software/tessaly/"

# What the status area shows before a reply replaces it, and for any status but 200.
TEMPLATE_TEXT = "更新確認中、エラーが発生しました。\n更新確認は完了しませんでした。"
STATUS_ERROR_TEXT = ("エラー\r\nインターネットに接続できないか、サーバーのエラーで、"
                     "更新情報が確認できませんでした。")
# A failure without a description of its own is reported with the generic text.
GENERIC_FAILURE = "Internal application error."

ERROR_INTERNET_TIMEOUT = 12002
ERROR_INTERNET_CANNOT_CONNECT = 12029
ERROR_INTERNET_CONNECTION_ABORTED = 12030
ERROR_INTERNET_CONNECTION_RESET = 12031
WSAECONNRESET = 10054

# The program's bounds: each step of the exchange, and the whole of it.
STEP_TIMEOUT_S = 15
TOTAL_TIMEOUT_S = 30
BODY_LIMIT = 1 << 20

# The longest the server lives, and the longest it keeps one connection.
SERVER_LIFETIME_S = 280
CONNECTION_LIMIT_S = 60

# Time for a reply the program does not wait for: the dialog is there in far less.
PROMPT_S = 8.0


# --- The server ---------------------------------------------------------------------------------

@dataclasses.dataclass
class Request:
    method: str
    target: str
    version: str
    headers: dict[str, str]  # names in lower case
    at: float  # time.monotonic() when the request was read
    notes: list[str] = dataclasses.field(default_factory=list)
    client_closed_after: Optional[float] = None  # seconds from the request
    body_sent: int = 0


Reply = Callable[[socket.socket, Request], None]


def head(status: int, reason: str, length: Optional[int], extra: str = "") -> bytes:
    lines = [f"HTTP/1.1 {status} {reason}", "Content-Type: text/plain", "Connection: close"]
    if length is not None:
        lines.append(f"Content-Length: {length}")
    return ("\r\n".join(lines) + "\r\n" + extra + "\r\n").encode("ascii")


def send_counted(conn: socket.socket, request: Request, data: bytes) -> bool:
    """Sends what it can; False once the client has gone."""
    try:
        conn.sendall(data)
        request.body_sent += len(data)
        return True
    except OSError as error:
        request.notes.append(f"send failed: {error!r}")
        return False


def wait_for_close(conn: socket.socket, request: Request, limit: float) -> None:
    """Keeps the connection open until the client closes it, or for `limit` seconds."""
    end = time.monotonic() + limit
    while time.monotonic() < end:
        conn.settimeout(max(0.05, min(0.5, end - time.monotonic())))
        try:
            if conn.recv(4096) == b"":
                request.client_closed_after = time.monotonic() - request.at
                return
        except socket.timeout:
            continue
        except OSError:
            request.client_closed_after = time.monotonic() - request.at
            return
    request.notes.append(f"held for {limit:.0f} s")


def reply(status: int, body: bytes, reason: str = "OK", length: Optional[int] = -1) -> Reply:
    """A whole reply; `length` None sends no Content-Length (the body ends with the connection)."""
    def answer(conn, request):
        announced = len(body) if length == -1 else length
        conn.sendall(head(status, reason, announced))
        send_counted(conn, request, body)
    return answer


def partial(status: int, length: int, sent: bytes, then: str, reason: str = "OK",
            hold_s: float = 20.0) -> Reply:
    """Headers announcing `length`, `sent` of the body, then: "close" (cleanly), "reset" or
    "hold" (open until the client goes)."""
    def answer(conn, request):
        conn.sendall(head(status, reason, length))
        send_counted(conn, request, sent)
        if then == "reset":
            time.sleep(0.2)  # so that the body's start is read first
            conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        elif then == "hold":
            wait_for_close(conn, request, hold_s)
    return answer


def drip(length: int, every_s: float = 1.0) -> Reply:
    """A body announced whole that comes one byte at a time."""
    def answer(conn, request):
        conn.sendall(head(200, "OK", length))
        end = time.monotonic() + CONNECTION_LIMIT_S
        for _ in range(length):
            if not send_counted(conn, request, b"x"):
                request.client_closed_after = time.monotonic() - request.at
                return
            conn.settimeout(every_s)
            try:
                if conn.recv(4096) == b"":
                    request.client_closed_after = time.monotonic() - request.at
                    return
            except socket.timeout:
                pass
            except OSError:
                request.client_closed_after = time.monotonic() - request.at
                return
            if time.monotonic() > end:
                return
    return answer


def silence(hold_s: float = 25.0) -> Reply:
    """No reply at all: the request is read, and nothing comes back."""
    def answer(conn, request):
        wait_for_close(conn, request, hold_s)
    return answer


def flood(size: int) -> Reply:
    """A body of `size` bytes, sent as fast as the client takes it."""
    def answer(conn, request):
        conn.sendall(head(200, "OK", size))
        chunk = b"0123456789abcdef" * 4096
        while request.body_sent < size:
            if not send_counted(conn, request, chunk[:size - request.body_sent]):
                request.client_closed_after = time.monotonic() - request.at
                return
    return answer


class UpdateServer:
    """HTTP on 127.0.0.1 at a port of its own: it notes each request and answers it with the
    reply set for it. It stops when told, and by itself after SERVER_LIFETIME_S."""

    def __init__(self):
        self._socket = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._socket.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._socket.bind(("127.0.0.1", 0))
        self._socket.listen(8)
        self._socket.settimeout(0.2)
        self.port = self._socket.getsockname()[1]
        self._lock = threading.Lock()
        self._requests: list[Request] = []
        self._reply: Reply = reply(500, b"", "No reply set")
        self._stopping = threading.Event()
        self._deadline = time.monotonic() + SERVER_LIFETIME_S
        self._thread = threading.Thread(target=self._serve, name="update-server", daemon=True)
        self._thread.start()

    def expect(self, answer: Reply) -> None:
        with self._lock:
            self._reply = answer
            self._requests = []

    def requests(self) -> list[Request]:
        with self._lock:
            return list(self._requests)

    def wait_for_request(self, timeout: float = 30.0) -> Request:
        return wh.wait_until(lambda: (self.requests() or [None])[0], timeout,
                             what="a request to reach the server")

    def stop(self) -> None:
        self._stopping.set()
        self._thread.join(5)

    def _serve(self) -> None:
        try:
            while not self._stopping.is_set() and time.monotonic() < self._deadline:
                try:
                    conn, _ = self._socket.accept()
                except socket.timeout:
                    continue
                threading.Thread(target=self._handle, args=(conn,), daemon=True).start()
        finally:
            self._socket.close()

    def _handle(self, conn: socket.socket) -> None:
        with conn:
            conn.settimeout(CONNECTION_LIMIT_S)
            data = b""
            try:
                while b"\r\n\r\n" not in data and len(data) < 65536:
                    got = conn.recv(4096)
                    if not got:
                        return
                    data += got
            except OSError:
                return
            lines = data.split(b"\r\n\r\n", 1)[0].decode("latin-1").split("\r\n")
            method, target, version = (lines[0].split(" ") + ["", "", ""])[:3]
            headers = {}
            for line in lines[1:]:
                name, _, value = line.partition(":")
                headers[name.strip().lower()] = value.strip()
            request = Request(method, target, version, headers, time.monotonic())
            with self._lock:
                self._requests.append(request)
                answer = self._reply
            try:
                answer(conn, request)
            except OSError as error:
                request.notes.append(f"reply failed: {error!r}")


# --- The tests ----------------------------------------------------------------------------------

_server: Optional[UpdateServer] = None
_program: Optional[wh.ProgramCopy] = None


def set_proxy(port: int) -> None:
    wh.reg_set(INTERNET_SETTINGS, "ProxyEnable", "REG_DWORD", (1).to_bytes(4, "little"))
    wh.reg_set(INTERNET_SETTINGS, "ProxyServer", "REG_SZ", wh.reg_sz(f"127.0.0.1:{port}"))


def setUpModule():
    global _server, _program
    dh.driver_path()
    before = wh.reg_list(INTERNET_SETTINGS)

    def restore():
        for name in ("ProxyEnable", "ProxyServer"):
            value = before.values.get(name) if before.present else None
            if value is None:
                dh.delete_value(INTERNET_SETTINGS, name)
            else:
                wh.reg_set(INTERNET_SETTINGS, name, value.type, value.data)
    unittest.addModuleCleanup(restore)
    _server = UpdateServer()
    unittest.addModuleCleanup(_server.stop)
    set_proxy(_server.port)
    _program = wh.fresh_copy()


def closed_port() -> int:
    """A loopback port that nothing listens on."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class UpdateCheckTestCase(unittest.TestCase):
    def setUp(self):
        assert _server is not None and _program is not None
        self.server = _server
        wh.reg_delete_tree(wh.SETTINGS_ROOT)
        dh.move_pointer(1100, 900)

    def start_check(self, answer: Reply) -> tuple[dh.ConfigRun, dh.Window]:
        """Opens the settings dialog and presses its update button."""
        self.server.expect(answer)
        run = dh.ConfigRun(_program)
        self.addCleanup(run.stop)
        settings = run.dialog()
        dh.click(settings.hwnd, dh.IDC_CHECK_UPDATE)
        return run, settings

    def update_dialog(self, run: dh.ConfigRun, settings: dh.Window,
                      timeout: float = PROMPT_S) -> dh.Window:
        window = dh.find_window(run.pid, dh.UPDATE_TITLE, timeout)
        self.assertEqual(window.owner, settings.hwnd)
        return window

    def shown(self, answer: Reply) -> tuple[str, dh.ConfigRun, dh.Window, dh.Window]:
        """The status text for a reply that must not fail: the dialog opens without a box."""
        started = time.monotonic()
        run, settings = self.start_check(answer)
        window = self.update_dialog(run, settings)
        self.assertLess(time.monotonic() - started, PROMPT_S + 5)
        self.assertEqual(dh.message_boxes(run.pid), [])
        self.assertEqual(len(self.server.requests()), 1, "not exactly one request")
        self.assertFalse(dh.describe(settings.hwnd).enabled,
                         "the settings dialog stays usable under the update check")
        return dh.text(window.hwnd, dh.IDC_UPDATE_TEXT), run, settings, window

    def failure(self, answer: Reply, timeout: float = PROMPT_S) -> tuple[dh.MessageBox,
                                                                       dh.ConfigRun, dh.Window]:
        """The message box of a failed check, checked as far as every failure's is alike."""
        run, settings = self.start_check(answer)
        box = dh.message_box(run.pid, timeout)
        self.assertEqual(box.caption, dh.MESSAGE_CAPTION, box.describe())
        self.assertEqual([b.text for b in box.buttons], ["OK"], box.describe())
        self.assertNotEqual(box.owner, 0, "the box has no owner")
        self.assertFalse(box.owner_enabled, "the box's owner stays usable")
        self.assertIsNone(dh.window_titled(run.pid, dh.UPDATE_TITLE),
                          "the dialog opened before its failure was reported")
        return box, run, settings

    def assertOpensWithTemplateText(self, box, run, settings):
        """After the failure's box, the dialog opens with the text of its template."""
        dh.press_ok(box)
        window = self.update_dialog(run, settings)
        self.assertEqual(dh.text(window.hwnd, dh.IDC_UPDATE_TEXT), TEMPLATE_TEXT)
        return window


class RequestAndReplyTest(UpdateCheckTestCase):
    BODY = ("最新版は 1.2.0 です。\r\n新しい機能: 写真の並べ替え、ﾌｪｰﾄﾞの調整\r\n\r\n"
            "ダウンロードはウエブサイトから。")

    def test_one_get_through_the_proxy_and_the_body_shown_intact(self):
        text, run, settings, window = self.shown(reply(200, self.BODY.encode("cp932")))
        self.assertEqual(text, self.BODY)
        request = self.server.requests()[0]
        self.assertEqual((request.method, request.target), ("GET", REQUEST_TARGET))
        self.assertTrue(request.version.startswith("HTTP/1."), request.version)
        address = urllib.parse.urlsplit(request.target)
        self.assertEqual((address.hostname, address.port, address.path, address.query),
                         (HOST, 80, "/bin/checkupdate.cgi", "software=lumeroll&version=110"))
        self.assertEqual(request.headers.get("host", "").removesuffix(":80"), HOST)
        self.assertEqual(request.headers.get("user-agent"), USER_AGENT)
        self.assertEqual(window.text, dh.UPDATE_TITLE)
        _, found = dh.controls(window.hwnd)
        self.assertEqual([(c.id, c.class_name, c.text if c.id != dh.IDC_UPDATE_TEXT else None)
                          for c in found],
                         [(dh.IDOK, "Button", "閉じる"), (dh.IDC_UPDATE_TEXT, "Static", None),
                          (dh.IDC_OPEN_WEBSITE, "Button", "ウエブサイトを開く")])

    def test_bodies_are_shown_as_they_came(self):
        lines = []
        while len("".join(lines).encode("cp932")) < 2048 - 40:
            lines.append(f"{len(lines):03d} 更新情報のテスト行です。\r\n")
        exact = "".join(lines)
        exact += "." * (2048 - len(exact.encode("cp932")))
        # A double-byte character whose two bytes lie on both sides of the 1024th byte.
        split = "a" * 1023 + "漢字" + "z" * 99
        cases = [
            ("empty", b"", ""),
            ("exactly 2048 bytes", exact.encode("cp932"), exact),
            ("a character across the 1024th byte", split.encode("cp932"), split),
        ]
        self.assertEqual(len(cases[1][1]), 2048)
        self.assertEqual(split.encode("cp932")[1023:1025], "漢".encode("cp932"))
        for name, body, expected in cases:
            with self.subTest(name):
                text, run, _, _ = self.shown(reply(200, body))
                self.assertEqual(text, expected)
                run.stop()
        with self.subTest("no Content-Length: the body ends with the connection"):
            text, run, _, _ = self.shown(reply(200, self.BODY.encode("cp932"), length=None))
            self.assertEqual(text, self.BODY)

    def test_other_statuses_show_the_error_text_without_reading_the_body(self):
        cases = [
            # A body that never comes whole: reading it would wait for the time-out.
            ("404", partial(404, 500, b"<html>not found", "hold", reason="Not Found",
                            hold_s=STEP_TIMEOUT_S + 5)),
            ("500", reply(500, "サーバーエラー".encode("cp932"), reason="Internal Server Error")),
            ("204", reply(204, b"", reason="No Content", length=None)),
        ]
        for name, answer in cases:
            with self.subTest(name):
                text, run, _, _ = self.shown(answer)
                self.assertEqual(text, STATUS_ERROR_TEXT)
                request = self.server.requests()[0]
                if name == "404":
                    # The program let the connection go without waiting for the body.
                    wh.wait_until(lambda: request.client_closed_after is not None, PROMPT_S,
                                  what="the program to close the connection")
                    self.assertLess(request.client_closed_after, PROMPT_S)
                run.stop()


class FailureTest(UpdateCheckTestCase):
    def assertFailsWith(self, box: dh.MessageBox, code: int):
        described = dh.wininet_text(code)
        self.assertEqual(box.text, described if described is not None else GENERIC_FAILURE,
                         f"error {code}: {box.describe()}")

    def test_a_refused_connection_is_reported_then_the_dialog_opens(self):
        set_proxy(closed_port())
        self.addCleanup(set_proxy, self.server.port)
        box, run, settings = self.failure(reply(200, b"unused"))
        self.assertIsNotNone(dh.wininet_text(ERROR_INTERNET_CANNOT_CONNECT))
        self.assertFailsWith(box, ERROR_INTERNET_CANNOT_CONNECT)
        self.assertEqual(self.server.requests(), [])
        dh.settle_screen()
        kind, far = dh.icon_kind(wh.screenshot(), box.icon_rect)
        self.assertEqual(kind, "stop", f"{far} pixels differ even from the nearest")
        self.assertLess(far, 10)
        window = self.assertOpensWithTemplateText(box, run, settings)
        # Closing it goes back to the settings dialog.
        dh.click(window.hwnd, dh.IDOK)
        dh.wait_gone(window.hwnd)
        after = dh.describe(settings.hwnd)
        self.assertTrue(after.visible and after.enabled, after)
        self.assertTrue(run.alive())

    def test_the_settings_dialog_stays_disabled_under_the_dialog_after_a_failure(self):
        # The failure's message box belongs to the update check being initialised: were it
        # owned by the settings dialog, ending it would enable that again under the modal
        # update check, and clicks would reach it.
        set_proxy(closed_port())
        self.addCleanup(set_proxy, self.server.port)
        box, run, settings = self.failure(reply(200, b"unused"))
        self.assertOpensWithTemplateText(box, run, settings)
        self.assertFalse(dh.describe(settings.hwnd).enabled,
                         "the settings dialog is enabled under the open update check")

    def test_a_body_cut_short_is_a_lost_connection(self):
        # A clean close before the announced length reads like a normal end; the program tells
        # the two apart by the length.
        box, run, settings = self.failure(partial(200, 1000, b"x" * 300, "close"))
        self.assertFailsWith(box, ERROR_INTERNET_CONNECTION_ABORTED)
        self.assertOpensWithTemplateText(box, run, settings)

    def test_a_reset_connection_is_reported_with_the_error_the_network_gives(self):
        box, run, settings = self.failure(partial(200, 1000, b"x" * 300, "reset"))
        # Wine's WinINet passes a reset on as the socket's own error; were it its 12031, which
        # it has no text for, the program would fall back on its generic text.
        self.assertIn(box.text, {dh.system_text(WSAECONNRESET),
                                 dh.wininet_text(ERROR_INTERNET_CONNECTION_RESET)
                                 or GENERIC_FAILURE}, box.describe())
        self.assertOpensWithTemplateText(box, run, settings)

    def test_a_body_over_one_mebibyte_is_refused_like_a_lost_connection(self):
        size = 5 << 20
        started = time.monotonic()
        box, run, settings = self.failure(flood(size), timeout=30)
        # Closing the reply, Wine's WinINet still reads what the server sends without a pause
        # (here, over the loopback, all of it), but the program keeps none of it.
        self.assertLess(time.monotonic() - started, 20, "the refusal took long")
        self.assertIsNotNone(dh.wininet_text(ERROR_INTERNET_CONNECTION_ABORTED))
        self.assertFailsWith(box, ERROR_INTERNET_CONNECTION_ABORTED)
        self.assertEqual(len(self.server.requests()), 1)
        self.assertTrue(run.alive())
        self.assertOpensWithTemplateText(box, run, settings)

    def test_a_server_that_drips_is_given_up_at_the_deadline(self):
        # One byte a second never lets a read wait for the step time-out: only the deadline of
        # the whole exchange ends it.
        box, run, settings = self.failure(drip(TOTAL_TIMEOUT_S * 3),
                                          timeout=TOTAL_TIMEOUT_S + 20)
        found = time.monotonic()
        request = self.server.requests()[0]
        waited = found - request.at
        self.assertGreater(waited, TOTAL_TIMEOUT_S - 5, "given up before the deadline")
        self.assertLess(waited, TOTAL_TIMEOUT_S + 10, "given up long after the deadline")
        self.assertGreater(request.body_sent, STEP_TIMEOUT_S, "the drip did not get going")
        self.assertIsNotNone(dh.wininet_text(ERROR_INTERNET_TIMEOUT))
        self.assertFailsWith(box, ERROR_INTERNET_TIMEOUT)
        self.assertOpensWithTemplateText(box, run, settings)

    def test_a_silent_server_is_given_up_after_the_step_time_out(self):
        # Wine's WinINet takes the send and receive time-outs on the request handle only; set
        # anywhere else, the wait for a reply's head would have no bound of the program's own.
        box, run, settings = self.failure(silence(STEP_TIMEOUT_S + 15),
                                          timeout=STEP_TIMEOUT_S + 4)
        waited = time.monotonic() - self.server.requests()[0].at
        self.assertGreater(waited, STEP_TIMEOUT_S - 3, "given up before the time-out")
        # Wine reports a request's receive time-out as a connection ended by the server.
        texts = {dh.wininet_text(code) for code in (ERROR_INTERNET_TIMEOUT,
                                                      ERROR_INTERNET_CONNECTION_ABORTED)}
        self.assertIn(box.text, texts, box.describe())
        self.assertOpensWithTemplateText(box, run, settings)


class DialogTest(UpdateCheckTestCase):
    def test_the_web_site_button_opens_the_product_page_and_the_dialog_stays(self):
        with dh.BrowserStandIn() as browser:
            _, run, settings, window = self.shown(reply(200, b"1.2.0"))
            dh.click(window.hwnd, dh.IDC_OPEN_WEBSITE)
            self.assertEqual(browser.wait_for_address(), [PRODUCT_PAGE])
        time.sleep(0.5)
        after = dh.describe(window.hwnd)
        self.assertTrue(after.visible and after.alpha == 255, after)
        self.assertEqual(len(self.server.requests()), 1, "the button checked again")

    def test_it_fades_in_and_its_button_fades_it_out_back_to_the_settings(self):
        self.server.expect(reply(200, b"1.2.0"))
        run = dh.ConfigRun(_program)
        self.addCleanup(run.stop)
        settings = run.dialog()
        with dh.Trace(run.pid, dh.UPDATE_TITLE, actions=[("+255", dh.IDOK)]) as trace:
            dh.click(settings.hwnd, dh.IDC_CHECK_UPDATE)
            window = self.update_dialog(run, settings)
            dh.wait_gone(window.hwnd)
            trace.finish(15)
            self.assertIsNone(dh.fade_mismatch(trace.changes(),
                                               dh.FADE_IN + dh.fade_out_from(255)))
        after = wh.wait_until(lambda: (lambda w: w if w.enabled else None)(
            dh.describe(settings.hwnd)), 10, what="the settings dialog to be enabled again")
        self.assertTrue(after.visible)
        self.assertTrue(run.alive())


if __name__ == "__main__":
    unittest.main()
