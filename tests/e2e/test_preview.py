"""The preview (Tessaly.scr /p <hwnd>): a child window inside a window of another process, which
only the end of that window ends.

Under Wine a child window of another process does not show its drawing on the screen, so these
tests look at its structure and its lifetime."""

import pathlib
import tempfile
import time
import unittest

import wine_helpers as wh

# How long the preview is watched to see that input does not end it: many ticks, and bounded.
NOT_ENDED_S = 1.5

# "At once": a preview with no window to live in ends in a fraction of this.
PROMPT_MS = 5000

VK_A = 0x41


def setUpModule():
    wh.session()


class PreviewTest(unittest.TestCase):
    def setUp(self):
        wh.reg_delete_tree(wh.SETTINGS_ROOT)
        self.program = wh.fresh_copy()
        folder, folder_windows = wh.fresh_folder()
        wh.convert("-size", "320x240", "gradient:rgb(200,220,40)-rgb(30,120,30)",
                   str(folder / "a.jpg"))
        wh.write_settings(self.program.name, {
            "ImageFolderPath": folder_windows, "TimerInterval": 50, "BGCountFade": 3,
            "ImageCountHide": 3, "ImageCountAppear": 3, "ImageCountShow": 3,
            "ImageCountDisappear": 3})
        self.work = pathlib.Path(tempfile.mkdtemp(prefix="preview-", dir=wh.scratch_dir()))

    def host(self, kind: str, width: int, height: int):
        """The program previewing in a window of the driver's; the window goes when the test
        asks for it, or after a minute."""
        stop_file = self.work / f"stop-{kind}"
        host = wh.BackgroundDriver("parent", kind, str(width), str(height), "60000",
                                   wh.windows_path(stop_file), "--", self.program.windows_path,
                                   "/p", "{parent}")

        def clean_up():
            stop_file.touch()
            try:
                host.finish(wh.WINE_CALL_MARGIN_S + 15)
            except AssertionError:
                host.kill()
        self.addCleanup(clean_up)
        return host, stop_file

    def check_preview(self, kind: str, width: int, height: int):
        host, stop_file = self.host(kind, width, height)

        def visible_child():
            if not host.running():
                self.fail(f"the host ended early:\n{host.finish(30).describe()}")
            return next((text for text in reversed(host.all("child"))
                         if wh.parse_fields(text).get("visible") == "yes"), None)
        child_text = wh.wait_until(visible_child, timeout=30, what="a visible child window")
        window_rect = wh.parse_rect(host.fact("parent-window-rect"))
        client_rect = wh.parse_rect(host.fact("parent-client-rect"))
        pid = int(host.fact("pid"))
        window_size = (window_rect[2] - window_rect[0], window_rect[3] - window_rect[1])
        client_size = (client_rect[2] - client_rect[0], client_rect[3] - client_rect[1])
        self.assertEqual(window_size, (width, height))
        if kind == "frame":
            self.assertNotEqual(client_size, window_size, "the host has no frame")
        else:
            self.assertEqual(client_size, window_size)

        child = wh.parse_fields(child_text)
        self.assertEqual(child["pid"], str(pid), child_text)
        self.assertEqual(child["class"], wh.SAVER_CLASS, child_text)
        self.assertEqual(int(child["style"], 16), 0x56000000, child_text)
        self.assertEqual(int(child["exstyle"], 16), 0, child_text)
        # As large as the host's window rectangle, frame and all, from the client's corner.
        self.assertEqual(wh.parse_rect(child["rect"]), (0, 0, *window_size), child_text)
        self.assertEqual(child.get("layered"), "none", "the preview is layered")
        self.assertEqual(wh.top_level_windows(pid), [], "the preview opened a top-level window")

        # The cycle runs a while; input ends only a show.
        time.sleep(NOT_ENDED_S)  # a few of the preview's ticks, were it to end by itself
        hwnd = int(child["hwnd"])
        wh.post_message(hwnd, wh.WM_KEYDOWN, VK_A, 1)
        wh.post_message(hwnd, wh.WM_LBUTTONDOWN, 0, wh.make_lparam(10, 10))
        wh.post_message(hwnd, wh.WM_MOUSEMOVE, 0, wh.make_lparam(10, 10))
        wh.post_message(hwnd, wh.WM_MOUSEMOVE, 0, wh.make_lparam(50, 60))
        time.sleep(NOT_ENDED_S)  # time for the input to act, were it going to
        if host.fact("destroy-reason") is not None:
            self.fail(f"the preview ended before its host:\n{host.finish(30).describe()}")
        self.assertEqual(wh.driver("window-exists", str(hwnd))["window"], "yes")
        self.assertEqual({wh.parse_fields(text)["hwnd"] for text in host.all("child")},
                         {child["hwnd"]}, "the preview made more child windows")
        self.assertEqual(host.all("child")[-1], child_text, "the preview window changed")

        stop_file.touch()
        result = host.finish(wh.WINE_CALL_MARGIN_S + 15)
        self.assertEqual(result["destroy-reason"], "stop-file", result.describe())
        self.assertEqual(result["alive-before-destroy"], "yes", result.describe())
        self.assertEqual(result["exited"], "yes", f"the preview outlived its host:\n"
                         f"{result.describe()}")
        self.assertEqual(result["exit-code"], "0", result.describe())

    def test_in_a_framed_window(self):
        self.check_preview("frame", 320, 240)

    def test_in_a_window_without_a_frame(self):
        self.check_preview("plain", 152, 112)

    def test_without_a_window_to_live_in_it_ends_at_once(self):
        # 0, and a handle whose slot and generation no window has.
        not_a_window = 0x7FEDFFF0
        self.assertEqual(wh.driver("window-exists", str(not_a_window))["window"], "no")
        for handle in ("0", str(not_a_window)):
            with self.subTest(handle=handle):
                result = wh.run_program(self.program.windows_path, "/p", handle)
                self.assertEqual(result["exited"], "yes", result.describe())
                self.assertEqual(result["exit-code"], "0", result.describe())
                self.assertLess(int(result["elapsed-ms"]), PROMPT_MS, result.describe())
                self.assertEqual(result["windows-seen"], "0", result.describe())


if __name__ == "__main__":
    unittest.main()
