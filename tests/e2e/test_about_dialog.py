"""The About box of the settings dialog: how it opens (its button, the system menu), its fade,
its controls, and the link to the maker's site: blue, underlined, the hand cursor over it alone,
and a click that opens exactly its text.

Set QM_DOCS_SCREENSHOTS=1 to also write docs/about-dialog.png from the screenshot taken here.
"""

import time
import unittest

import dialog_helpers as dh
import wine_helpers as wh

LINK = "http://www.brindlewick.example/"
MENU_TEXT = "バージョン情報　Quillmere(&A)..."
IDS_ABOUT_MENU = 101

SS_LEFT, SS_ICON, SS_NOPREFIX, SS_NOTIFY = 0x0, 0x3, 0x80, 0x100
BS_DEFPUSHBUTTON = 0x1
TEMPLATE_SIZE = (235, 65)
# id, class, text (None: not looked at), style bits that must be set, rect in dialog units.
TEMPLATE = [
    (-1, "Static", None, SS_ICON, (12, 18, 20, 20)),
    (-1, "Static", "Quillmere　1.1.0", SS_NOPREFIX, (42, 12, 121, 8)),
    (-1, "Static", "Copyright (C) 2026 Brindlewick\nAll rights reserved.", SS_LEFT,
     (42, 24, 154, 16)),
    (dh.IDOK, "Button", "OK", BS_DEFPUSHBUTTON, (178, 7, 50, 16)),
    (-1, "Static", "And more...", SS_LEFT, (54, 48, 36, 8)),
    (dh.IDC_ABOUT_LINK, "Static", LINK, SS_NOTIFY, (90, 48, 138, 8)),
]
# The font of the template's FONT statement.
FONT = ("MS UI Gothic", 9)

# The link cursor of the program's resources: 32 x 32, hot spot at the index fingertip.
HAND_SIZE = (32, 32)
HAND_HOT_SPOT = (5, 1)

# What counts as the link's blue, and as its underline, in a screenshot.
BLUE = (0, 0, 255)


def setUpModule():
    dh.driver_path()


def is_blue(pixel) -> bool:
    r, g, b = pixel
    return b >= 160 and r <= 110 and g <= 110 and b - max(r, g) >= 100


def open_settings(test) -> tuple[dh.ConfigRun, dh.Window]:
    wh.reg_delete_tree(wh.SETTINGS_ROOT)
    program = wh.fresh_copy()
    run = dh.ConfigRun(program)
    test.addCleanup(run.stop)
    return run, run.opaque_dialog()


def wait_opaque(hwnd: int) -> dh.Window:
    return wh.wait_until(lambda: (lambda w: w if w.alpha == 255 else None)(dh.describe(hwnd)),
                         20, interval=0.05, what="the About box's fade-in")


class OpenAboutTestCase(unittest.TestCase):
    """One About box, opened from its button and left open for all tests of the class."""

    @classmethod
    def setUpClass(cls):
        dh.move_pointer(1100, 900)
        wh.reg_delete_tree(wh.SETTINGS_ROOT)
        cls.program = wh.fresh_copy()
        cls.config = dh.ConfigRun(cls.program)
        try:
            cls.settings = cls.config.opaque_dialog()
            dh.click(cls.settings.hwnd, dh.IDC_ABOUT)
            cls.about = wait_opaque(dh.find_window(cls.config.pid, dh.ABOUT_TITLE).hwnd)
            _, found = dh.controls(cls.about.hwnd)
            cls.controls = found
            cls.link = next(c for c in found if c.id == dh.IDC_ABOUT_LINK)
        except BaseException:
            cls.config.stop()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.config.stop()

    def setUp(self):
        if not self.config.alive() or not dh.exists(self.about.hwnd):
            self.fail("the About box is no longer open")


class AboutBoxTest(OpenAboutTestCase):
    def test_it_is_owned_by_the_settings_dialog_and_shows_its_template(self):
        about = dh.describe(self.about.hwnd)
        self.assertEqual(about.text, dh.ABOUT_TITLE)
        self.assertEqual(about.class_name, dh.DIALOG_CLASS)
        self.assertEqual(about.owner, self.settings.hwnd)
        self.assertFalse(about.exstyle & dh.WS_EX_APPWINDOW)
        self.assertTrue(about.exstyle & dh.WS_EX_LAYERED)
        self.assertEqual(about.layered, wh.Layered(0, 255, wh.LWA_ALPHA))
        self.assertFalse(dh.describe(self.settings.hwnd).enabled,
                         "the settings dialog stays usable under the About box")

        self.assertEqual([(c.id, c.class_name) for c in self.controls],
                         [(t[0], t[1]) for t in TEMPLATE])
        units = dh.base_units(about, TEMPLATE_SIZE)
        for (control_id, _, label, bits, rect), each in zip(TEMPLATE, self.controls):
            with self.subTest(control=control_id, label=label):
                self.assertTrue(each.visible, each)
                if label is not None:
                    self.assertEqual(each.text, label)
                self.assertEqual(each.style & bits, bits, f"style {each.style:08x}")
                expected = dh.template_rect(about, units, rect)
                # An icon control takes the icon's size; only its place is the template's.
                compared = 2 if bits == SS_ICON else 4
                self.assertTrue(all(abs(a - b) <= 1 for a, b in
                                    zip(each.rect[:compared], expected[:compared])),
                                f"at {each.rect}, the template puts it at {expected}")

    def test_the_link_is_blue_and_underlined(self):
        dh.move_pointer(1100, 900)
        dh.settle_screen()
        path = dh.save_window_shot(self.about, "about-dialog.png", for_docs=True)
        shot = dh.read_png(path)
        x0, y0 = self.about.rect[0], self.about.rect[1]

        def pixels(rect):
            left, top, right, bottom = rect
            return {(x, y): shot.pixel(x - x0, y - y0)
                    for y in range(top, bottom) for x in range(left, right)}

        link = pixels(self.link.rect)
        blue = [xy for xy, p in link.items() if is_blue(p)]
        self.assertGreater(len(blue), 40, "hardly any blue in the link")
        self.assertIn(BLUE, set(link.values()), "no pixel of the link is pure blue")
        # The underline: one row whose pure blue runs under the whole of the blue text.
        left = min(x for x, _ in blue)
        right = max(x for x, _ in blue)
        rows = {}
        for (x, y), p in link.items():
            if p == BLUE:
                rows[y] = rows.get(y, 0) + 1
        underline = max(rows.values())
        self.assertGreaterEqual(underline, 0.9 * (right - left + 1),
                                f"no underline row: the longest blue row has {underline} of "
                                f"{right - left + 1} pixels")
        # The other texts are not blue.
        for each in self.controls:
            if each.id != dh.IDC_ABOUT_LINK and each.class_name == "Static" and each.text:
                with self.subTest(text=each.text):
                    self.assertFalse(any(is_blue(p) for p in pixels(each.rect).values()))

    def test_the_whole_address_is_visible(self):
        # A static breaks its text at word ends: a link narrower than its address would show
        # "http://" alone, the rest cut off below.
        size = dh.text_size(*FONT, self.link.rect[2] - self.link.rect[0], LINK)
        self.assertLessEqual(size.line_width, self.link.rect[2] - self.link.rect[0],
                             f"the address needs {size.line_width} pixels")
        self.assertLessEqual(size.wrapped_height, self.link.rect[3] - self.link.rect[1])

    def test_the_hand_cursor_shows_over_the_link_alone(self):
        hand = dh.XCursor(HAND_SIZE[0], HAND_SIZE[1], HAND_HOT_SPOT, "")
        left, top, right, bottom = self.link.rect
        middle = (top + bottom) // 2
        on_link = [(left + 8, middle), (right - 4, middle)]
        more = next(c for c in self.controls if c.text == "And more...")
        ok = next(c for c in self.controls if c.id == dh.IDOK)
        elsewhere = [more.centre, ok.centre, (self.about.client[0] + 150, middle + 8),
                     (left + 8, top - 6)]

        def shape_at(point, want_hand):
            dh.move_pointer(*point)

            def settled():
                shape = dh.x_cursor()
                is_hand = (shape.width, shape.height, shape.hot) == (hand.width, hand.height,
                                                                     hand.hot)
                return shape if is_hand == want_hand else None
            try:
                shape = wh.wait_until(settled, 5, interval=0.05,
                                      what=f"the cursor at {point} to be "
                                      f"{'the hand' if want_hand else 'another'}")
            except AssertionError:
                raise AssertionError(f"at {point} the pointer is {dh.x_cursor()}, "
                                     f"{'not ' if want_hand else ''}the hand")
            return shape, dh.cursor()

        handles = set()
        for point in on_link + [on_link[0]]:
            with self.subTest(over_link=point):
                _, info = shape_at(point, True)
                self.assertEqual(info.position, point)
                self.assertEqual(info.under_id, dh.IDC_ABOUT_LINK)
                self.assertEqual(info.under_pid, self.config.pid)
                handles.add(info.handle)
        self.assertEqual(len(handles), 1, f"different cursors over the link: {handles}")
        for point in elsewhere:
            with self.subTest(elsewhere=point):
                shape, info = shape_at(point, False)
                self.assertNotIn(info.handle, handles)
                self.assertNotEqual(shape.hot, HAND_HOT_SPOT)
        # And back: the hand again.
        shape_at(on_link[1], True)
        dh.move_pointer(1100, 900)

    def test_a_click_on_the_link_opens_exactly_its_text(self):
        self.assertEqual(self.link.text, LINK)
        with dh.BrowserStandIn() as browser:
            left, top, right, bottom = self.link.rect
            dh.move_pointer(left + 8, (top + bottom) // 2)
            wh.xdotool("click", "1")
            self.assertEqual(browser.wait_for_address(), [LINK])
        dh.move_pointer(1100, 900)
        after = dh.describe(self.about.hwnd)
        self.assertTrue(after.visible and after.alpha == 255, "the click closed the About box")


class OpeningAndClosingTest(unittest.TestCase):
    def setUp(self):
        dh.move_pointer(1100, 900)

    def open_about(self, run, settings, opener, actions=()):
        trace = dh.Trace(run.pid, dh.ABOUT_TITLE, actions=actions)
        self.addCleanup(trace.__exit__)
        opener(settings)
        about = dh.find_window(run.pid, dh.ABOUT_TITLE)
        self.assertEqual(about.owner, settings.hwnd)
        return trace, about

    def assertClosedBack(self, run, settings, trace, about):
        dh.wait_gone(about.hwnd)
        trace.finish(15)
        self.assertIsNone(dh.round_trip_mismatch(trace.changes()))
        after = wh.wait_until(lambda: (lambda w: w if w.enabled else None)(
            dh.describe(settings.hwnd)), 10, what="the settings dialog to be enabled again")
        self.assertTrue(after.visible and after.alpha == 255, after)
        self.assertTrue(run.alive(), "closing the About box ended the program")

    def test_its_button_opens_it_and_both_fades_run_like_the_settings_dialog(self):
        run, settings = open_settings(self)

        def by_button(dialog):
            dh.click(dialog.hwnd, dh.IDC_ABOUT)

        with self.subTest("opaque, then OK"):
            trace, about = self.open_about(run, settings, by_button, [("+255", dh.IDOK)])
            self.assertFalse(dh.describe(settings.hwnd).enabled)
            self.assertClosedBack(run, settings, trace, about)
            self.assertIsNone(dh.fade_mismatch(trace.changes(),
                                               dh.FADE_IN + dh.fade_out_from(255)))
        with self.subTest("OK during the fade-in"):
            trace, about = self.open_about(run, settings, by_button, [("+100", dh.IDOK)])
            self.assertClosedBack(run, settings, trace, about)
            values = dh.alphas(trace.changes())
            peak = max(values)
            self.assertTrue(100 <= peak <= 150, values)

        dh.click(settings.hwnd, dh.IDCANCEL)
        self.assertEqual(run.wait_for_end()["exit-code"], "0")

    def test_the_system_menu_opens_it(self):
        run, settings = open_settings(self)
        self.assertEqual(dh.resource_string(run.program.windows_path, IDS_ABOUT_MENU), MENU_TEXT)

        def command(wparam):
            def opener(dialog):
                dh.post(dialog.hwnd, dh.WM_SYSCOMMAND, wparam)
            return opener

        def through_the_menu(dialog):
            # Alt+Space opens the system menu; its last item is the one the program adds.
            dh.give_x_focus(dialog)
            dh.key("alt+space")
            menu = wh.wait_until(lambda: next((w for w in dh.windows(run.pid)
                                               if w.class_name == "#32768"), None), 10,
                                 what="the system menu to open")
            dh.settle_screen()
            dh.save_window_shot(menu, "system-menu.png")
            dh.key("Up")
            dh.key("Return")

        def close_with_escape(about):
            dh.give_x_focus(about)
            dh.key("Escape")

        def close_box(about):
            dh.post(about.hwnd, dh.WM_SYSCOMMAND, dh.SC_CLOSE)

        def close_message(about):
            dh.post(about.hwnd, dh.WM_CLOSE)

        # The command's low four bits are the system's own and are ignored.
        for name, opener, closer in [("command 16", command(dh.ABOUT_COMMAND), close_with_escape),
                                     ("command 21", command(dh.ABOUT_COMMAND + 5), close_box),
                                     ("the menu", through_the_menu, close_message)]:
            with self.subTest(name):
                trace, about = self.open_about(run, settings, opener)
                wait_opaque(about.hwnd)
                closer(about)
                self.assertClosedBack(run, settings, trace, about)

        # Commands next to it open nothing. They are followed by the About command itself: had
        # one of them opened an About box, another would follow once the first is closed.
        for wparam in (dh.ABOUT_COMMAND - 1, dh.ABOUT_COMMAND + 16):
            dh.post(settings.hwnd, dh.WM_SYSCOMMAND, wparam)
        dh.post(settings.hwnd, dh.WM_SYSCOMMAND, dh.ABOUT_COMMAND)
        about = dh.find_window(run.pid, dh.ABOUT_TITLE)
        dh.command(about.hwnd, dh.IDOK)
        dh.wait_gone(about.hwnd)
        time.sleep(1.0)
        self.assertIsNone(dh.window_titled(run.pid, dh.ABOUT_TITLE),
                          f"command {dh.ABOUT_COMMAND - 1} or {dh.ABOUT_COMMAND + 16} opened an "
                          "About box")

        dh.click(settings.hwnd, dh.IDCANCEL)
        self.assertEqual(run.wait_for_end()["exit-code"], "0")
        self.assertEqual(dh.stored_settings(run.program.name), {})


if __name__ == "__main__":
    unittest.main()
