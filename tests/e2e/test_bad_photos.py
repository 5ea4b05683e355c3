"""Photos that cannot be shown leave their turn of the cycle blank, and the show goes on."""

import random
import time
import unittest

import wine_helpers as wh

VEIL_RGB = (16, 48, 160)
TICK_MS = 40
HIDE, APPEAR, SHOW, DISAPPEAR = 8, 2, 12, 2

# Full opacity lasts from the last step of appear through show to the first of disappear.
FULL_TICKS = SHOW + 3

# A screenshot counts for a turn when taken this long after full opacity began: the
# compositor follows on its own time.
SETTLE_MS = 60


def setUpModule():
    wh.session()


def colorref(rgb):
    return rgb[0] | rgb[1] << 8 | rgb[2] << 16


class BadPhotosTest(unittest.TestCase):
    def setUp(self):
        wh.reg_delete_tree(wh.SETTINGS_ROOT)
        self.program = wh.fresh_copy()
        self.folder, folder_windows = wh.fresh_folder()
        wh.write_settings(self.program.name, {
            "ImageFolderPath": folder_windows, "ImageShowRandom": 0, "TimerInterval": TICK_MS,
            "BGCountFade": 3, "BGAlpha": 255, "BGColor": colorref(VEIL_RGB),
            "ImageCountHide": HIDE, "ImageCountAppear": APPEAR, "ImageCountShow": SHOW,
            "ImageCountDisappear": DISAPPEAR})

    def make_photos(self) -> int:
        """The folder's entries, in the order the show takes them; returns how many."""
        whole = self.folder / "whole.tmp"  # not a photo name: out of the catalogue
        wh.convert("-size", "640x480", "plasma:", "-quality", "90", f"jpeg:{whole}")
        data = whole.read_bytes()
        whole.unlink()
        (self.folder / "1-truncated.jpg").write_bytes(data[:len(data) // 2])
        (self.folder / "2-empty.jpg").write_bytes(b"")
        (self.folder / "3-folder.jpg").mkdir()
        (self.folder / "4-huge.jpg").write_bytes(wh.jpeg_header_claiming(65000, 65000))
        (self.folder / "5-noise.jpg").write_bytes(random.Random(5).randbytes(20000))
        wh.convert("-size", "800x600", "gradient:rgb(200,220,40)-rgb(30,120,30)",
                   str(self.folder / "6-good.jpg"))
        return 6

    def test_bad_photos_leave_blank_turns_and_the_good_one_still_shows(self):
        entries = self.make_photos()
        good_size = wh.fitted_size((800, 600), wh.screen_size())
        veil_only = wh.veil_over(wh.screenshot(), VEIL_RGB, 255)

        show = wh.RunningShow(self.program.windows_path, "/s", trace=(150000, 5),
                              timeout_ms=180000)
        self.addCleanup(show.stop)
        photo, veil = show.wait_for_windows()
        clock0 = show.trace_clock_unix_ms()
        show.wait_for_alpha(veil.hwnd, lambda a: a == 255, what="the veil's fade")

        def full_opacity_runs():
            """The photo window's turns: when each run of full opacity was surely on, from the
            sample that saw it begin to the last sample before it ended."""
            changes = [c for c in show.trace() if c.hwnd == photo.hwnd and c.layered]
            runs = []
            for change, after in zip(changes, changes[1:]):
                if change.layered.alpha == 255 and after.layered.alpha != 255:
                    runs.append((change.t, after.prev))
            return runs

        # Screenshots one after another; each is later matched with the turn it fell in.
        shots = []  # (from, to) in the trace's ms, and the box where the photo shows
        present_turns = set()
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline:
            begun = time.time() * 1000 - clock0
            shot = wh.screenshot()
            ended = time.time() * 1000 - clock0
            shots.append((begun, ended, wh.differing_box(shot, veil_only)))
            runs = full_opacity_runs()
            present_turns = {turn for turn, (start, end) in enumerate(runs)
                             for begun, ended, box in shots
                             if box and start + SETTLE_MS <= begun and ended <= end}
            if len(present_turns) >= 2:
                break
        self.assertTrue(show.alive(), "the show ended")
        self.assertGreaterEqual(len(present_turns), 2,
                                f"the good photo showed in turns {sorted(present_turns)} of "
                                f"{len(full_opacity_runs())}")

        runs = full_opacity_runs()
        # Two runs taken for one would be more than twice as long: the count of turns holds.
        for start, end in runs:
            self.assertLess(end - start, FULL_TICKS * TICK_MS * 2,
                            f"a run of full opacity lasted {end - start} ms: the trace lost "
                            "track of the turns")
        turns = {}  # turn -> whether a photo showed, for every screenshot inside one
        for begun, ended, box in shots:
            for turn, (start, end) in enumerate(runs):
                if start + SETTLE_MS <= begun and ended <= end:
                    turns.setdefault(turn, set()).add(box is not None)
                    if box is not None:
                        self.assertTrue(abs(box.width - good_size[0]) <= 1 and
                                        abs(box.height - good_size[1]) <= 1,
                                        f"something at {box} is not the good photo")
        good_turns = sorted(turn for turn, seen in turns.items() if True in seen)
        blank_turns = sorted(turn for turn, seen in turns.items() if seen == {False})
        report = (f"{len(runs)} turns; the photo showed in {good_turns}, none in "
                  f"{blank_turns}")
        # In order, one turn in `entries` is the good photo's; all others show nothing.
        self.assertEqual({turn % entries for turn in good_turns}, {good_turns[0] % entries},
                         report)
        self.assertTrue(all(turn % entries != good_turns[0] % entries for turn in blank_turns),
                        report)
        self.assertGreaterEqual(len(blank_turns), entries - 1, report)
        self.assertTrue(all(seen in ({True}, {False}) for seen in turns.values()), report)

        # Still listening after all that.
        wh.post_message(photo.hwnd, wh.WM_KEYDOWN, 0x41, 1)
        result = wh.wait_for_end(show)
        self.assertEqual(result["exited"], "yes", result.describe())
        self.assertEqual(result["exit-code"], "0", result.describe())


if __name__ == "__main__":
    unittest.main()
