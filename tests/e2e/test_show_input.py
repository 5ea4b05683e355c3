"""What ends the show and what does not: real input through the X server (xdotool) and, where
the X server cannot produce it, messages posted to the show's windows."""

import subprocess
import time
import unittest

import wine_helpers as wh

# Where the pointer rests when a show starts: the first position its windows see.
REST = (400, 300)

# How long a show is watched to see that an input did not end it. Input reaches the program
# within a few ticks; this is many of them, and bounded.
NOT_ENDED_S = 1.5


def setUpModule():
    wh.session()


class ShowInputTestCase(unittest.TestCase):
    def setUp(self):
        wh.reg_delete_tree(wh.SETTINGS_ROOT)
        self.program = wh.fresh_copy()
        self.folder, folder_windows = wh.fresh_folder()
        # No photos: nothing to decode, and input reaches the windows all the same.
        wh.write_settings(self.program.name, {
            "ImageFolderPath": folder_windows, "TimerInterval": 50, "BGCountFade": 5,
            "ImageCountHide": 5, "ImageCountAppear": 5, "ImageCountShow": 5,
            "ImageCountDisappear": 5})
        wh.xdotool("mousemove", str(REST[0]), str(REST[1]))

    def start_show(self, focus: str = "veil") -> tuple[wh.RunningShow, list[wh.WindowInfo]]:
        """A running show that has handled its first messages.

        Nothing here gives the show's unmanaged windows the X focus, as a window manager would:
        keys would go wherever an earlier test left it, and Wine would have no focus to lose.
        With `focus` "veil" the veil, Wine's active window of the two, gets it; with "root" the
        root window keeps it, as at the session's start, and input goes to the window under
        the pointer.
        """
        wh.xdotool("windowfocus", "--sync", str(wh.x_root_window()))
        show = wh.RunningShow(self.program.windows_path, "/s")
        self.addCleanup(show.stop)
        windows = show.wait_for_windows()
        # The veil's fade ends after five ticks; timer messages come after all posted and input
        # messages, so by then the moves that greet new windows have been handled.
        veil = windows[1]
        show.wait_for_alpha(veil.hwnd, lambda a: a == 100, what="the veil's fade")
        if focus == "veil":
            self.assertNotEqual(veil.xid, 0, "no X window known for the veil")
            wh.xdotool("windowfocus", "--sync", str(veil.xid))
        return show, windows

    def assertStillRunning(self, show: wh.RunningShow, what: str):
        time.sleep(NOT_ENDED_S)  # time for the input to act, were it going to
        if not show.alive():
            self.fail(f"{what} ended the show:\n{show.end(5).describe()}")
        self.assertEqual(len(show.windows()), 2, f"{what} closed a window")

    def assertEnds(self, show: wh.RunningShow, what: str):
        result = wh.wait_for_end(show)
        self.assertEqual(result["exited"], "yes", f"{what}:\n{result.describe()}")
        self.assertEqual(result["exit-code"], "0", f"{what}:\n{result.describe()}")

    def post_to_both(self, windows, message, wparam=0, lparam=0):
        for window in windows:
            wh.post_message(window.hwnd, message, wparam, lparam)


class PointerTest(ShowInputTestCase):
    def test_the_first_position_does_not_end_it_and_a_real_move_does(self):
        show, windows = self.start_show(focus="root")
        self.assertEqual(wh.pointer_position(), REST)
        # The windows are at (0, 0): client and screen coordinates agree.
        self.post_to_both(windows, wh.WM_MOUSEMOVE, 0, wh.make_lparam(*REST))
        self.assertStillRunning(show, "a move to the first position")
        wh.xdotool("mousemove_relative", "--", "1", "0")
        self.assertEnds(show, "a move of one pixel")

    def test_a_posted_move_one_pixel_away_ends_it(self):
        show, windows = self.start_show(focus="root")
        # Whether or not the photo window has seen the pointer yet, the first of these is at
        # its first position and the second one pixel away.
        photo = windows[0]
        wh.post_message(photo.hwnd, wh.WM_MOUSEMOVE, 0, wh.make_lparam(*REST))
        wh.post_message(photo.hwnd, wh.WM_MOUSEMOVE, 0, wh.make_lparam(REST[0], REST[1] + 1))
        self.assertEnds(show, "a posted move one pixel down")


class KeyboardTest(ShowInputTestCase):
    def test_a_key_ends_it(self):
        for key in ("a", "Shift_L", "Escape"):
            with self.subTest(key=key):
                show, _ = self.start_show()
                wh.xdotool("key", key)
                self.assertEnds(show, f"the key {key}")

    def test_system_keys_and_alt_f4_do_not_end_it(self):
        show, windows = self.start_show()
        for keys in ("alt", "F10", "alt+F4", "alt+a"):
            wh.xdotool("key", keys)
        self.assertStillRunning(show, "Alt, F10, Alt+F4 or Alt+A")
        # A close request by message is refused too.
        self.post_to_both(windows, wh.WM_SYSCOMMAND, wh.SC_CLOSE)
        self.assertStillRunning(show, "a posted SC_CLOSE")
        # Still listening: an ordinary key ends it.
        wh.xdotool("key", "a")
        self.assertEnds(show, "the key a after the system keys")


class MouseButtonTest(ShowInputTestCase):
    # These leave the X focus on the root window. Given the focus, as a window manager would
    # give it, Wine confines the pointer to the full-screen window and looks for the window
    # under it itself, which finds the photo window: a click then goes where it goes over a
    # photo, the case of test_a_button_over_a_photo_ends_it.

    def test_a_button_ends_it(self):
        # Without photos the photo window is all key colour; the pointer is over the veil.
        for button in ("1", "2", "3"):
            with self.subTest(button=button):
                show, _ = self.start_show(focus="root")
                wh.xdotool("click", button)
                self.assertEnds(show, f"button {button}")

    def test_a_button_over_a_photo_ends_it(self):
        # A photo fitted to the whole screen: the pointer is over it wherever it rests.
        screen = wh.screen_size()
        wh.convert("-size", f"{screen[0]}x{screen[1]}", "gradient:rgb(200,220,40)-rgb(30,120,30)",
                   str(self.folder / "whole-screen.jpg"))
        wh.write_settings(self.program.name, {"ImageMaxWidth": 100, "ImageMaxHeight": 100,
                                              "ImageCountShow": 1000})
        show, windows = self.start_show(focus="root")
        show.wait_for_alpha(windows[0].hwnd, lambda a: a == 255, what="the photo")
        wh.xdotool("click", "1")
        self.assertEnds(show, "button 1 over a photo")

    def test_the_wheel_button_releases_and_a_screen_saver_request_do_not_end_it(self):
        show, windows = self.start_show(focus="root")
        for button in ("4", "5"):  # the wheel, a step each way
            wh.xdotool("click", button)
        self.assertStillRunning(show, "the wheel")
        # The X server drops a release without its press: these come as messages.
        at = wh.make_lparam(*REST)
        for message in (wh.WM_LBUTTONUP, wh.WM_RBUTTONUP, wh.WM_MBUTTONUP):
            self.post_to_both(windows, message, 0, at)
        self.post_to_both(windows, wh.WM_SYSCOMMAND, wh.SC_SCREENSAVE)
        self.assertStillRunning(show, "button releases or SC_SCREENSAVE")
        self.assertEqual(wh.pointer_position(), REST)
        wh.post_message(windows[0].hwnd, wh.WM_LBUTTONDOWN, 0, at)
        self.assertEnds(show, "a posted WM_LBUTTONDOWN")


class FocusTest(ShowInputTestCase):
    def test_another_x_window_taking_the_focus_ends_it(self):
        title = f"qm-bystander-{time.monotonic_ns()}"
        bystander = subprocess.Popen(
            ["xmessage", "-title", title, "-geometry", "+20+20", "a bystander"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        self.addCleanup(lambda: (bystander.kill(), bystander.wait()))
        found = subprocess.run(["xdotool", "search", "--sync", "--name", f"^{title}$"],
                               stdin=subprocess.DEVNULL, capture_output=True, text=True,
                               timeout=30, check=True)
        xid = found.stdout.split()[0]

        show, _ = self.start_show()
        self.assertStillRunning(show, "the bystander's presence or the X focus on the veil")
        wh.xdotool("windowfocus", "--sync", xid)
        self.assertEnds(show, "the focus going to another X window")


if __name__ == "__main__":
    unittest.main()
