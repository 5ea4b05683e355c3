"""The show (Tessaly.scr /s) seen from outside: its two windows, their fades, and what the
screen shows while a photo is up."""

import pathlib
import subprocess
import tempfile
import unittest
from typing import Optional, Sequence

import wine_helpers as wh

# A distinctive veil colour (red, green, blue), far from the photos' colours and the key.
VEIL_RGB = (16, 48, 160)
KEY_RGB = (254, 0, 0)

# The largest difference in a channel still taken for the same colour: the compositor rounds
# its blend on its own.
TOLERANCE = 3


def setUpModule():
    wh.session()


def colorref(rgb: Sequence[int]) -> int:
    return rgb[0] | rgb[1] << 8 | rgb[2] << 16


def distinct_alphas(changes: list[wh.TraceChange], hwnd: int) -> list[wh.TraceChange]:
    """One window's changes of opacity, each a new alpha (a change of key or flags alone is
    dropped)."""
    out: list[wh.TraceChange] = []
    for change in changes:
        if change.hwnd != hwnd or change.layered is None:
            continue
        if out and out[-1].layered.alpha == change.layered.alpha:
            continue
        out.append(change)
    return out


class ShowTestCase(unittest.TestCase):
    def setUp(self):
        wh.reg_delete_tree(wh.SETTINGS_ROOT)
        self.program = wh.fresh_copy()
        self.folder, self.folder_windows = wh.fresh_folder()

    def configure(self, **values):
        wh.write_settings(self.program.name, {"ImageFolderPath": self.folder_windows, **values})

    def start(self, **options) -> wh.RunningShow:
        show = wh.RunningShow(self.program.windows_path, "/s", **options)
        self.addCleanup(show.stop)
        return show

    def assertFollows(self, seen: list[wh.TraceChange], expected: list[int], tick_ms: float,
                      what: str):
        """`seen` is `expected` in order, or a prefix of it. A value may be missing only where
        the sampling had a gap long enough to lose it: a value lasts about a tick."""
        alphas = [change.layered.alpha for change in seen]
        report = f"{what}: seen {alphas}\nexpected {expected}"
        at = 0
        for change in seen:
            alpha = change.layered.alpha
            try:
                found = expected.index(alpha, at)
            except ValueError:
                self.fail(f"{report}\n{alpha} at t={change.t} ms is not next in the fade")
            missed = found - at
            if missed:
                gap = change.t - change.prev
                self.assertGreaterEqual(
                    gap, missed * tick_ms * 0.5,
                    f"{report}\n{expected[at:found]} missing before t={change.t} ms, though "
                    f"the samples around them were only {gap} ms apart")
            at = found + 1


class WindowsAndFadesTest(ShowTestCase):
    TICK_MS = 50
    BG_COUNT_FADE = 30
    BG_ALPHA = 100
    HIDE, APPEAR, SHOW, DISAPPEAR = 10, 10, 5, 10

    def test_two_windows_whose_opacity_follows_the_phases(self):
        for name in ("a.jpg", "b.jpg"):
            wh.convert("-size", "320x240", "gradient:rgb(200,220,40)-rgb(30,120,30)",
                       str(self.folder / name))
        self.configure(TimerInterval=self.TICK_MS, BGCountFade=self.BG_COUNT_FADE,
                       BGAlpha=self.BG_ALPHA, ImageCountHide=self.HIDE,
                       ImageCountAppear=self.APPEAR, ImageCountShow=self.SHOW,
                       ImageCountDisappear=self.DISAPPEAR)
        # The trace samples every 2 ms from the program's start until it ends.
        show = self.start(trace=(120000, 2), timeout_ms=150000)
        windows = show.wait_for_windows()

        # Two popups over the whole screen, layered tool windows but not topmost ones.
        screen = wh.screen_size()
        self.assertEqual(len(windows), 2, windows)
        for window in windows:
            self.assertEqual(window.style, 0x96000000, window)
            self.assertEqual(window.exstyle, 0x00080080, window)
            self.assertEqual(window.rect, (0, 0, *screen), window)
            self.assertTrue(window.visible, window)
        # Topmost first: the photo window lies above the veil. Which is which shows below in
        # their layered attributes.
        photo, veil = windows
        self.assertLess(photo.z, veil.z)

        # Until the second photo has begun to appear: the wait, one whole cycle, and then some.
        def second_rise():
            alphas = [c.layered.alpha for c in distinct_alphas(show.trace(), photo.hwnd)]
            rises = [a for a, b in zip(alphas, alphas[1:]) if a == 0 and b > 0]
            return len(rises) >= 2
        wh.wait_until(second_rise, timeout=60, interval=0.2, what="the second photo to appear")
        self.assertEqual([w.layered.alpha for w in show.windows() if w.hwnd == veil.hwnd],
                         [self.BG_ALPHA], "the veil did not keep its opacity")
        show.stop()
        trace = show.trace()

        first_seen = {}
        for change in trace:
            first_seen.setdefault(change.hwnd, change.t)
        self.assertLessEqual(first_seen[veil.hwnd], first_seen[photo.hwnd],
                             "the veil, the lower window, was not created first")

        # The veil: only its opacity changes, tick n giving n * BGAlpha / BGCountFade.
        veil_changes = [c for c in trace if c.hwnd == veil.hwnd and c.layered is not None]
        for change in veil_changes:
            self.assertEqual(change.layered.key, 0, change)
            if change.layered.alpha:
                self.assertEqual(change.layered.flags, wh.LWA_ALPHA, change)
        veil_fade = distinct_alphas(trace, veil.hwnd)
        expected_veil = [0] + [(n * self.BG_ALPHA // self.BG_COUNT_FADE) & 0xFF
                               for n in range(1, self.BG_COUNT_FADE + 1)]
        self.assertFollows(veil_fade, expected_veil, self.TICK_MS, "the veil's fade")
        self.assertEqual(veil_fade[-1].layered.alpha, self.BG_ALPHA,
                         [c.layered.alpha for c in veil_fade])
        # The ticks as they came here: the veil's first to its last step.
        first_step = veil_fade[1]
        tick = (veil_fade[-1].t - first_step.t) / (self.BG_COUNT_FADE - 1)
        self.assertGreater(tick, self.TICK_MS * 0.8, "the veil's ticks came too fast")

        # The photo window: the key and both flags once it has painted, then the phases.
        photo_changes = [c for c in trace if c.hwnd == photo.hwnd and c.layered is not None]
        keyed = [c for c in photo_changes if c.layered.key != 0]
        self.assertTrue(keyed, "the photo window never set its key")
        first_keyed = photo_changes.index(keyed[0])
        for change in photo_changes[first_keyed:]:
            self.assertEqual(change.layered.key, colorref(KEY_RGB), change)
            self.assertEqual(change.layered.flags, wh.LWA_COLORKEY | wh.LWA_ALPHA, change)
        for change in photo_changes:
            self.assertIn(change.layered.flags, (0, wh.LWA_COLORKEY | wh.LWA_ALPHA), change)
            if change.layered.alpha:
                self.assertIn(change, photo_changes[first_keyed:])

        appear = [count * 255 // self.APPEAR for count in range(1, self.APPEAR + 1)]
        disappear = [255 - count * 255 // self.DISAPPEAR
                     for count in range(1, self.DISAPPEAR + 1)]
        expected_photo = [0] + appear + disappear + appear + disappear
        photo_fade = distinct_alphas(trace, photo.hwnd)
        self.assertFollows(photo_fade, expected_photo, self.TICK_MS, "the photo window's fade")
        alphas = [c.layered.alpha for c in photo_fade]

        def ticks_between(a: wh.TraceChange, b: wh.TraceChange) -> float:
            return (b.t - a.t) / tick

        def assertLasted(a: wh.TraceChange, b: wh.TraceChange, ticks: int, what: str):
            # Never shorter; longer only as far as a loaded machine delays timer messages.
            lasted = ticks_between(a, b)
            self.assertTrue(ticks - 2 <= lasted <= ticks * 1.5 + 2,
                            f"{what} lasted {lasted:.1f} ticks of {tick:.1f} ms, not {ticks}")

        # Alpha 0 through the wait: the veil's fade and one pause. The photo's timer starts a
        # little after the veil's, which only lengthens this.
        rise = photo_fade[1]
        self.assertGreaterEqual(rise.t, veil_fade[-1].t, "a photo rose before the veil's end")
        assertLasted(first_step, rise, self.BG_COUNT_FADE + self.HIDE + 1, "the wait")
        # Full opacity from the last step of appear through show to the first of disappear.
        full = photo_fade[alphas.index(255)]
        falling = photo_fade[alphas.index(255) + 1]
        assertLasted(full, falling, self.SHOW + 3, "full opacity")
        # Alpha 0 from the last step of disappear through the pause to the next appear.
        gone = photo_fade[alphas.index(0, alphas.index(255))]
        again = photo_fade[alphas.index(0, alphas.index(255)) + 1]
        assertLasted(gone, again, self.HIDE + 3, "the pause")
        self.assertGreater(again.layered.alpha, 0)


class PhotoOnScreenTest(ShowTestCase):
    """Screenshots while one photo holds at full opacity: its place, its size, the veil around
    it and the holes its key-coloured pixels leave."""

    BG_ALPHA = 100

    def setUp(self):
        super().setUp()
        self.screen = wh.screen_size()
        self.work = pathlib.Path(tempfile.mkdtemp(prefix="work-", dir=wh.scratch_dir()))

    def show_photo(self) -> tuple[wh.Picture, wh.Picture, wh.Box]:
        """Shows the folder's one photo; returns the screenshot, the veil as it must look with
        no photo, and the box where the screenshot differs from that."""
        self.configure(TimerInterval=50, BGCountFade=5, BGAlpha=self.BG_ALPHA,
                       BGColor=colorref(VEIL_RGB), ImageCountHide=3, ImageCountAppear=3,
                       ImageCountShow=5000, ImageCountDisappear=3)
        # The screen with nothing on it: what the veil is blended over.
        background = wh.screenshot()
        self.assertEqual((background.width, background.height), self.screen)
        self.background = background
        veil_only = wh.veil_over(background, VEIL_RGB, self.BG_ALPHA)

        show = self.start()
        photo, veil = show.wait_for_windows()
        show.wait_for_alpha(veil.hwnd, lambda a: a == self.BG_ALPHA, what="the veil's fade")
        show.wait_for_alpha(photo.hwnd, lambda a: a == 255, what="the photo at full opacity")

        # The compositor catches up on its own time: wait for two equal screenshots.
        shots: list[wh.Picture] = []

        def settled():
            shots.append(wh.screenshot())
            return len(shots) >= 2 and shots[-1] == shots[-2]
        wh.wait_until(settled, timeout=20, interval=0.1, what="the screen to settle")
        self.assertTrue(show.alive())
        shot = shots[-1]
        box = wh.differing_box(shot, veil_only, TOLERANCE)
        if box is None:
            self.fail(f"no photo on the screen: {self.keep(shot, 'no-photo')}")
        return shot, veil_only, box

    def keep(self, picture: wh.Picture, name: str) -> str:
        path = wh.kept_dir() / f"{self.id().rpartition('.')[2]}-{name}.png"
        picture.save_png(path)
        return f"screenshot kept at {path}"

    def reference(self, source: pathlib.Path, size: tuple[int, int]) -> wh.Picture:
        """The photo scaled by ImageMagick: what the screen should show, give or take the
        scaling filter."""
        result = subprocess.run(
            [wh.IMAGEMAGICK_CONVERT, str(source), "-auto-orient", "-resize",
             f"{size[0]}x{size[1]}!", "-depth", "8", "ppm:-"],
            stdin=subprocess.DEVNULL, capture_output=True, timeout=60, check=True)
        return wh.parse_ppm(result.stdout)

    def assertSize(self, box: wh.Box, size: tuple[int, int], shot: wh.Picture):
        if abs(box.width - size[0]) > 1 or abs(box.height - size[1]) > 1:
            self.fail(f"the photo shows at {box}, {box.width}x{box.height} and not "
                      f"{size[0]}x{size[1]}; {self.keep(shot, 'size')}")
        self.assertTrue(0 <= box.left and box.right <= self.screen[0] and 0 <= box.top
                        and box.bottom <= self.screen[1], box)

    def assertLooksLike(self, shot: wh.Picture, box: wh.Box, reference: wh.Picture,
                        skip: Optional[wh.Box] = None, tolerance: int = 16):
        """A grid of points inside the photo matches the reference, except in `skip` (in the
        photo's own coordinates) and near the edges, where scaling filters differ most."""
        wrong = []
        for gy in range(1, 16):
            for gx in range(1, 16):
                x, y = reference.width * gx // 16, reference.height * gy // 16
                if skip and skip.left - 4 <= x < skip.right + 4 and \
                        skip.top - 4 <= y < skip.bottom + 4:
                    continue
                want = reference.pixel(x, y)
                got = shot.pixel(box.left + x, box.top + y)
                if any(abs(a - b) > tolerance for a, b in zip(want, got)):
                    wrong.append(((x, y), want, got))
        if wrong:
            self.fail(f"points unlike the photo (where, photo, screen): {wrong}; "
                      f"{self.keep(shot, 'content')}")

    def assertVeilIn(self, shot: wh.Picture, veil_only: wh.Picture, area: wh.Box, what: str):
        wrong = wh.mismatches(shot, veil_only, area, TOLERANCE)
        if wrong:
            self.fail(f"{what} does not show the veil at {wrong} of {area.width * area.height} "
                      f"pixels; {self.keep(shot, 'hole')}")

    def test_a_photo_is_fitted_with_the_veil_around_it_and_holes_where_the_key_is(self):
        # 800x600 fits 640x480 on a 1280x1024 screen. The block of the key colour lies on the
        # 8-pixel grid of the JPEG's blocks and is stored without chroma subsampling, so that it
        # decodes to exactly that colour.
        path = self.folder / "keyed.jpg"
        block = wh.Box(200, 160, 440, 360)
        wh.convert("-size", "800x600", "gradient:rgb(200,220,40)-rgb(30,120,30)",
                   "-fill", "rgb(%d,%d,%d)" % KEY_RGB, "-draw",
                   f"rectangle {block.left},{block.top} {block.right - 1},{block.bottom - 1}",
                   "-quality", "100", "-sampling-factor", "4:4:4", str(path))
        decoded = self.reference(path, (800, 600))
        self.assertEqual(decoded.pixel(320, 260), KEY_RGB, "the test photo's block is not "
                         "exactly the key colour")

        shot, veil_only, box = self.show_photo()
        size = wh.fitted_size((800, 600), self.screen)
        if self.screen == (1280, 1024):  # the share allowed is 640x819 there
            self.assertEqual(size, (640, 480))
        self.assertSize(box, size, shot)

        # Around the photo the veil is blended over the screen: differing_box found nothing
        # else. One point for the record, a corner of the screen away from the photo: neither
        # the veil's colour nor the background's.
        x = 2 if box.left > self.screen[0] - box.right else self.screen[0] - 3
        y = 2 if box.top > self.screen[1] - box.bottom else self.screen[1] - 3
        corner = shot.pixel(x, y)
        self.assertTrue(all(abs(a - b) <= TOLERANCE
                            for a, b in zip(corner, veil_only.pixel(x, y))), corner)
        self.assertNotEqual(corner, VEIL_RGB)
        self.assertNotEqual(corner, self.background.pixel(x, y))

        scale_x, scale_y = box.width / 800, box.height / 600
        hole = wh.Box(box.left + round(block.left * scale_x) + 3,
                      box.top + round(block.top * scale_y) + 3,
                      box.left + round(block.right * scale_x) - 3,
                      box.top + round(block.bottom * scale_y) - 3)
        self.assertVeilIn(shot, veil_only, hole, "the key-coloured block")
        middle = shot.pixel((hole.left + hole.right) // 2, (hole.top + hole.bottom) // 2)
        self.assertNotEqual(middle, KEY_RGB)

        skip = wh.Box(round(block.left * scale_x), round(block.top * scale_y),
                      round(block.right * scale_x), round(block.bottom * scale_y))
        self.assertLooksLike(shot, box, self.reference(path, (box.width, box.height)), skip)

    def test_a_png_named_jpg_shows_with_its_transparent_part_open(self):
        # 400x300 grows to 640x480; its transparent middle leaves the key colour, so the veil.
        path = self.folder / "really-a.png.jpg"
        clear = wh.Box(100, 75, 300, 225)
        wh.convert("-size", "400x300", "gradient:rgb(220,230,60)-rgb(30,120,30)",
                   "(", "-size", "400x300", "xc:white", "-fill", "black", "-draw",
                   f"rectangle {clear.left},{clear.top} {clear.right - 1},{clear.bottom - 1}",
                   ")", "-alpha", "off", "-compose", "copy_opacity", "-composite",
                   f"png32:{path}")
        self.assertEqual(path.read_bytes()[:8], b"\x89PNG\r\n\x1a\n")

        shot, veil_only, box = self.show_photo()
        size = wh.fitted_size((400, 300), self.screen)
        self.assertSize(box, size, shot)
        scale_x, scale_y = box.width / 400, box.height / 300
        opening = wh.Box(box.left + round(clear.left * scale_x) + 3,
                         box.top + round(clear.top * scale_y) + 3,
                         box.left + round(clear.right * scale_x) - 3,
                         box.top + round(clear.bottom * scale_y) - 3)
        self.assertVeilIn(shot, veil_only, opening, "the transparent part")
        skip = wh.Box(round(clear.left * scale_x), round(clear.top * scale_y),
                      round(clear.right * scale_x), round(clear.bottom * scale_y))
        opaque = self.reference(path, (box.width, box.height))
        self.assertLooksLike(shot, box, opaque, skip)

    def test_an_exif_rotated_jpeg_shows_upright(self):
        # Upright the photo is portrait 600x800 with a light band at its top and a cyan mark at
        # its top left; it is stored turned a quarter anticlockwise, as 800x600, with
        # orientation 6 (turn clockwise to view).
        upright = self.work / "upright.png"
        wh.convert("-size", "600x800", "gradient:rgb(60,200,40)-rgb(20,90,20)",
                   "-fill", "rgb(230,230,230)", "-draw", "rectangle 0,0 599,199",
                   "-fill", "rgb(0,200,200)", "-draw", "rectangle 0,0 149,149", str(upright))
        stored = self.work / "stored.jpg"
        wh.convert(str(upright), "-rotate", "-90", "-strip", "-quality", "95", str(stored))
        path = self.folder / "turned.jpg"
        path.write_bytes(wh.with_orientation(stored.read_bytes(), 6))
        identify = subprocess.run([wh.IMAGEMAGICK_IDENTIFY, "-format", "%[orientation] %wx%h",
                                   str(path)], capture_output=True, text=True, timeout=60)
        self.assertEqual(identify.stdout.strip(), "RightTop 800x600",
                         "the test photo's orientation tag is not read back")

        shot, veil_only, box = self.show_photo()
        size = wh.fitted_size((600, 800), self.screen)
        if self.screen == (1280, 1024):
            self.assertEqual(size, (614, 819))
        self.assertSize(box, size, shot)
        self.assertLooksLike(shot, box, self.reference(upright, (box.width, box.height)))


if __name__ == "__main__":
    unittest.main()
