"""The settings dialog of configuration mode, driven from outside: what it shows, what OK saves
and what everything else leaves alone, the opacity box's rules, the fade, and a second
configuration started while it is open.

Set QM_DOCS_SCREENSHOTS=1 to also write docs/settings-dialog.png from the screenshot taken here.
"""

import unittest

import dialog_helpers as dh
import wine_helpers as wh

# The settings dialog's template, control by control in its order: id, class, text (None where
# the program fills it in), the style bits that give the control's kind, and its rect in dialog
# units (x, y, width, height).
BUTTON_KIND, STATIC_KIND = 0xF, 0x1F
BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_AUTOCHECKBOX, BS_GROUPBOX = 0x0, 0x1, 0x3, 0x7
SS_LEFT, SS_OWNERDRAW = 0x0, 0xD
ES_AUTOHSCROLL = 0x80
TEMPLATE_SIZE = (319, 185)
TEMPLATE = [
    (dh.IDOK, "Button", "OK", BUTTON_KIND, BS_DEFPUSHBUTTON, (264, 6, 50, 16)),
    (dh.IDCANCEL, "Button", "キャンセル", BUTTON_KIND, BS_PUSHBUTTON, (264, 24, 50, 16)),
    (dh.IDC_HELP_BUTTON, "Button", "ヘルプ(&H)", BUTTON_KIND, BS_PUSHBUTTON, (264, 42, 50, 16)),
    (dh.IDC_INCLUDE_SUBFOLDER, "Button", "サブフォルダも含む", BUTTON_KIND, BS_AUTOCHECKBOX,
     (12, 60, 132, 10)),
    (dh.IDC_FOLDER, "Static", None, STATIC_KIND, SS_LEFT, (12, 24, 234, 30)),
    (dh.IDC_BROWSE, "Button", "変更...", BUTTON_KIND, BS_PUSHBUTTON, (210, 60, 36, 14)),
    (-1, "Button", "イメージフォルダ", BUTTON_KIND, BS_GROUPBOX, (6, 12, 246, 66)),
    (-1, "Button", "イメージの表示設定", BUTTON_KIND, BS_GROUPBOX, (6, 84, 246, 30)),
    (dh.IDC_SHOW_RANDOM, "Button", "画像の表示順はランダム", BUTTON_KIND, BS_AUTOCHECKBOX,
     (12, 96, 132, 10)),
    (dh.IDC_ABOUT, "Button", "バージョン情報", BUTTON_KIND, BS_PUSHBUTTON, (264, 60, 50, 16)),
    (dh.IDC_CHECK_UPDATE, "Button", "更新情報", BUTTON_KIND, BS_PUSHBUTTON, (264, 78, 50, 16)),
    (-1, "Button", "背景", BUTTON_KIND, BS_GROUPBOX, (6, 120, 246, 54)),
    (dh.IDC_OPACITY, "Edit", None, ES_AUTOHSCROLL, ES_AUTOHSCROLL, (42, 132, 24, 14)),
    (-1, "Static", "透明度：", STATIC_KIND, SS_LEFT, (12, 135, 25, 8)),
    (-1, "Static", "色：", STATIC_KIND, SS_LEFT, (12, 155, 11, 8)),
    (-1, "Static", "(0で完全に透明、255で完全に不透明", STATIC_KIND, SS_LEFT, (72, 135, 105, 8)),
    (dh.IDC_COLOR, "Button", "変更...", BUTTON_KIND, BS_PUSHBUTTON, (96, 152, 36, 14)),
    (dh.IDC_COLOR_SWATCH, "Static", "", STATIC_KIND, SS_OWNERDRAW, (42, 150, 48, 18)),
]

# A second process's run, start to end, when it finds the first one: well under this.
PROMPT_MS = 5000


def setUpModule():
    dh.driver_path()


class SettingsTestCase(unittest.TestCase):
    def setUp(self):
        wh.reg_delete_tree(wh.SETTINGS_ROOT)
        self.program = wh.fresh_copy()
        self.key = wh.settings_key(self.program.name)
        # Out of the way of every dialog: the pointer's place decides some of Wine's messages.
        dh.move_pointer(1100, 900)

    def store(self, values):
        wh.write_settings(self.program.name, values)

    def open(self, actions=()) -> dh.ConfigRun:
        run = dh.ConfigRun(self.program, actions=actions)
        self.addCleanup(run.stop)
        return run

    def assertEndedByItself(self, run: dh.ConfigRun):
        result = run.wait_for_end()
        self.assertEqual(result["exit-code"], "0", result.describe())
        return result

    def assertFadedOut(self, run: dh.ConfigRun):
        """In, to where it turned, and out again by steps of ten before it went."""
        self.assertIsNone(dh.round_trip_mismatch(run.changes()))
        self.assertTrue(any(line.startswith("gone: ") for line in run.lines()),
                        "the dialog was not seen to go")

    def assertStored(self, expected, what):
        self.assertEqual(dh.stored_settings(self.program.name), dh.as_stored(expected), what)


class OpeningTest(SettingsTestCase):
    def test_it_shows_every_control_and_the_stored_values(self):
        stored = {"ImageFolderPath": "C:\\写真\\2026 夏の旅", "BGAlpha": 123,
                  "IncludeSubFolder": 0, "ImageShowRandom": 1, "BGColor": 0x00C08020}
        self.store(stored)
        run = self.open()
        dialog = run.opaque_dialog()

        self.assertEqual(dialog.text, dh.SETTINGS_TITLE)
        self.assertEqual(dialog.class_name, dh.DIALOG_CLASS)
        self.assertEqual(dialog.owner, 0, "the settings dialog has an owner")
        self.assertTrue(dialog.enabled)
        for bit, name in [(dh.WS_CAPTION, "WS_CAPTION"), (dh.WS_SYSMENU, "WS_SYSMENU"),
                          (dh.DS_MODALFRAME, "DS_MODALFRAME")]:
            self.assertTrue(dialog.style & bit, f"no {name} in {dialog.style:08x}")
        for bit, name in [(dh.WS_MINIMIZEBOX, "WS_MINIMIZEBOX"),
                          (dh.WS_MAXIMIZEBOX, "WS_MAXIMIZEBOX")]:
            self.assertFalse(dialog.style & bit, f"{name} in {dialog.style:08x}")
        self.assertTrue(dialog.exstyle & dh.WS_EX_APPWINDOW, f"{dialog.exstyle:08x}")
        self.assertTrue(dialog.exstyle & dh.WS_EX_LAYERED, f"{dialog.exstyle:08x}")
        self.assertEqual(dialog.layered, wh.Layered(0, 255, wh.LWA_ALPHA))

        _, found = dh.controls(dialog.hwnd)
        self.assertEqual([(c.id, c.class_name) for c in found],
                         [(t[0], t[1]) for t in TEMPLATE], "the controls and their order")
        units = dh.base_units(dialog, TEMPLATE_SIZE)
        for (control_id, _, label, mask, kind, rect), each in zip(TEMPLATE, found):
            with self.subTest(control=control_id, label=label):
                self.assertTrue(each.visible and each.enabled, each)
                if label is not None:
                    self.assertEqual(each.text, label)
                self.assertEqual(each.style & mask, kind, f"style {each.style:08x}")
                expected = dh.template_rect(dialog, units, rect)
                self.assertTrue(all(abs(a - b) <= 1 for a, b in zip(each.rect, expected)),
                                f"at {each.rect}, the template puts it at {expected}")
        by_id = {c.id: c for c in found}
        self.assertTrue(by_id[dh.IDC_FOLDER].exstyle & dh.WS_EX_CLIENTEDGE)

        # The values loaded from the registry.
        self.assertEqual(by_id[dh.IDC_FOLDER].text, stored["ImageFolderPath"])
        self.assertEqual(by_id[dh.IDC_OPACITY].text, "123")
        self.assertEqual(by_id[dh.IDC_INCLUDE_SUBFOLDER].check, 0)
        self.assertEqual(by_id[dh.IDC_SHOW_RANDOM].check, 1)

        dh.settle_screen()
        path = dh.save_window_shot(dialog, "settings-dialog.png", for_docs=True)
        shot = dh.read_png(path)
        self.assertEqual((shot.width, shot.height),
                         (dialog.rect[2] - dialog.rect[0], dialog.rect[3] - dialog.rect[1]))
        # The swatch is filled with the veil's colour, 0x00BBGGRR.
        left, top, right, bottom = by_id[dh.IDC_COLOR_SWATCH].rect
        x0, y0 = dialog.rect[0], dialog.rect[1]
        swatch = {shot.pixel(x - x0, y - y0)
                  for y in range(top + 1, bottom - 1) for x in range(left + 1, right - 1)}
        self.assertEqual(swatch, {(0x20, 0x80, 0xC0)}, "the swatch's colours")
        # The rest of the dialog is drawn, not left black.
        face = shot.pixel(5, (dialog.client[3] - y0) - 5)
        self.assertGreater(sum(face), 3 * 150, f"the dialog's face is {face}")

        dh.click(dialog.hwnd, dh.IDCANCEL)
        self.assertEndedByItself(run)
        self.assertStored(stored, "Cancel changed the stored values")

    def test_with_nothing_stored_it_shows_and_saves_the_defaults(self):
        run = self.open()
        dialog = run.opaque_dialog()
        by_id = {c.id: c for c in dh.controls(dialog.hwnd)[1]}
        folder = dh.my_pictures()
        self.assertEqual(by_id[dh.IDC_FOLDER].text.lower(), folder.lower())
        self.assertEqual(by_id[dh.IDC_OPACITY].text, "100")
        self.assertEqual(by_id[dh.IDC_INCLUDE_SUBFOLDER].check, 1)
        self.assertEqual(by_id[dh.IDC_SHOW_RANDOM].check, 1)
        self.assertEqual(dh.stored_settings(self.program.name), {},
                         "opening the dialog wrote values")

        dh.click(dialog.hwnd, dh.IDOK)
        self.assertEndedByItself(run)
        saved = dh.stored_settings(self.program.name)
        self.assertEqual(sorted(saved), sorted(dh.SETTING_NAMES))
        expected = dict(dh.NUMERIC_DEFAULTS, ImageFolderPath=by_id[dh.IDC_FOLDER].text)
        self.assertEqual(saved, dh.as_stored(expected))


class SavingTest(SettingsTestCase):
    STORED = {"BGColor": 0x00123456, "BGAlpha": 200, "FGColorKey": 0x00ABCDEF,
              "ImageMaxHeight": 70, "ImageMaxWidth": 40, "TimerInterval": 250,
              "ImageFolderPath": "D:\\Bilder\\Sommer", "IncludeSubFolder": 1, "BGCountFade": 12,
              "ImageCountHide": 13, "ImageCountAppear": 14, "ImageCountShow": 15,
              "ImageCountDisappear": 16, "ImageMaxAlpha": 201, "ImageShowRandom": 0}

    def test_ok_writes_all_fifteen_values(self):
        self.store(self.STORED)
        run = self.open()
        dialog = run.opaque_dialog()
        dh.click(dialog.hwnd, dh.IDC_INCLUDE_SUBFOLDER)
        dh.click(dialog.hwnd, dh.IDC_SHOW_RANDOM)
        dh.set_text(dialog.hwnd, dh.IDC_OPACITY, "77")
        wh.wait_until(lambda: [dh.control(dialog.hwnd, i).check
                               for i in (dh.IDC_INCLUDE_SUBFOLDER, dh.IDC_SHOW_RANDOM)] == [0, 1],
                      10, what="the clicks to change the check boxes")
        self.assertStored(self.STORED, "values were written before OK")

        dh.click(dialog.hwnd, dh.IDOK)
        self.assertEndedByItself(run)
        self.assertFadedOut(run)
        expected = dict(self.STORED, IncludeSubFolder=0, ImageShowRandom=1, BGAlpha=77)
        self.assertStored(expected, "what OK saved")

    def test_check_boxes_stored_out_of_range_show_clear_and_save_0(self):
        self.store({"IncludeSubFolder": 5, "ImageShowRandom": -1})
        run = self.open()
        dialog = run.opaque_dialog()
        for control_id in (dh.IDC_INCLUDE_SUBFOLDER, dh.IDC_SHOW_RANDOM):
            self.assertEqual(dh.control(dialog.hwnd, control_id).check, 0, control_id)
        dh.click(dialog.hwnd, dh.IDOK)
        self.assertEndedByItself(run)
        saved = dh.stored_settings(self.program.name)
        self.assertEqual(len(saved), 15, sorted(saved))
        self.assertEqual(saved["IncludeSubFolder"], dh.dword(0))
        self.assertEqual(saved["ImageShowRandom"], dh.dword(0))


class LeavingWithoutSavingTest(SettingsTestCase):
    STORED = {"BGAlpha": 50, "IncludeSubFolder": 0, "ImageFolderPath": "C:\\Photos"}

    def leave(self, how):
        run = self.open()
        # While it fades in: leaving then turns the fade back, and writes nothing all the same.
        dialog = run.dialog()
        # Changes in the dialog that saving would write.
        dh.set_text(dialog.hwnd, dh.IDC_OPACITY, "200")
        dh.click(dialog.hwnd, dh.IDC_INCLUDE_SUBFOLDER)
        wh.wait_until(lambda: dh.control(dialog.hwnd, dh.IDC_INCLUDE_SUBFOLDER).check == 1, 10,
                      what="the check box to change")
        how(dialog)
        self.assertEndedByItself(run)
        self.assertFadedOut(run)
        self.assertStored(self.STORED, "the stored values changed")

    def test_cancel_escape_and_the_close_box_write_nothing(self):
        def cancel(dialog):
            dh.click(dialog.hwnd, dh.IDCANCEL)

        def escape(dialog):
            dh.give_x_focus(dialog)
            dh.key("Escape")

        def close_box(dialog):
            dh.post(dialog.hwnd, dh.WM_SYSCOMMAND, dh.SC_CLOSE)

        def close_message(dialog):
            dh.post(dialog.hwnd, dh.WM_CLOSE)

        for how in (cancel, escape, close_box, close_message):
            with self.subTest(how=how.__name__):
                wh.reg_delete_tree(wh.SETTINGS_ROOT)
                self.store(self.STORED)
                self.leave(how)

    def test_cancel_during_the_fade_out_of_ok_writes_nothing(self):
        self.store(self.STORED)
        # OK once the dialog is opaque, Cancel when its fade-out has come down to 150.
        run = self.open(actions=[("+255", dh.IDOK), ("-150", dh.IDCANCEL)])
        self.assertEndedByItself(run)
        self.assertEqual(len(run.actions()), 2, run.lines())
        # The second press changes the outcome, not the fade: it goes on down from where it was.
        self.assertIsNone(dh.fade_mismatch(run.changes(), dh.FADE_IN + dh.fade_out_from(255)))
        self.assertStored(self.STORED, "the stored values changed")

    def test_ok_during_the_fade_out_of_cancel_saves(self):
        self.store(self.STORED)
        run = self.open(actions=[("+255", dh.IDCANCEL), ("-150", dh.IDOK)])
        self.assertEndedByItself(run)
        self.assertEqual(len(run.actions()), 2, run.lines())
        self.assertIsNone(dh.fade_mismatch(run.changes(), dh.FADE_IN + dh.fade_out_from(255)))
        saved = dh.stored_settings(self.program.name)
        self.assertEqual(sorted(saved), sorted(dh.SETTING_NAMES))
        self.assertEqual(saved["BGAlpha"], dh.dword(50))


class OpacityBoxTest(SettingsTestCase):
    def refuse(self, run, dialog, typed, message, look_at_icon=False):
        """Types into the opacity box, presses OK and checks the refusal, up to the box's OK."""
        dh.set_text(dialog.hwnd, dh.IDC_OPACITY, typed)
        dh.click(dialog.hwnd, dh.IDOK)
        box = dh.message_box(run.pid)
        self.assertEqual((box.caption, box.text), (dh.MESSAGE_CAPTION, message), box.describe())
        self.assertEqual(box.owner, dialog.hwnd, box.describe())
        self.assertFalse(box.owner_enabled, "the dialog stays usable under its message box")
        self.assertEqual([b.text for b in box.buttons], ["OK"], box.describe())
        if look_at_icon:
            dh.settle_screen()
            kind, far = dh.icon_kind(wh.screenshot(), box.icon_rect)
            self.assertEqual(kind, "exclamation", f"{far} pixels differ even from the nearest")
            self.assertLess(far, 10, f"the icon is like the {kind} icon only roughly")
        dh.press_ok(box)

        def focused():
            f = dh.focus(dialog.hwnd)
            return f if f.focus_id == dh.IDC_OPACITY and f.selection is not None else None
        f = wh.wait_until(focused, 10, what="the focus to come back to the opacity box")
        self.assertEqual(f.focus_text, typed)
        self.assertEqual(f.selection, (0, len(typed)), "the text is not selected whole")
        # Still open and opaque: no fade-out began.
        after = dh.describe(dialog.hwnd)
        self.assertTrue(after.visible and after.enabled, after)
        self.assertEqual(after.alpha, 255)

    def test_refused_values_keep_the_dialog_open_and_trailing_text_is_ignored(self):
        run = self.open()
        dialog = run.opaque_dialog()
        self.refuse(run, dialog, "", dh.MESSAGE_INTEGER, look_at_icon=True)
        self.refuse(run, dialog, "abc", dh.MESSAGE_INTEGER)
        self.refuse(run, dialog, "-1", dh.MESSAGE_RANGE)
        self.refuse(run, dialog, "300", dh.MESSAGE_RANGE)
        self.assertIsNone(dh.fade_mismatch(run.changes(), dh.FADE_IN),
                          "a refusal started the fade-out")
        self.assertEqual(dh.stored_settings(self.program.name), {}, "a refusal wrote values")

        dh.set_text(dialog.hwnd, dh.IDC_OPACITY, "12abc")
        dh.click(dialog.hwnd, dh.IDOK)
        self.assertEndedByItself(run)
        self.assertEqual(dh.message_boxes(run.pid), [])
        self.assertEqual(dh.stored_settings(self.program.name)["BGAlpha"], dh.dword(12))

    def test_leading_blanks_are_skipped(self):
        run = self.open()
        dialog = run.opaque_dialog()
        dh.set_text(dialog.hwnd, dh.IDC_OPACITY, "  7")
        dh.click(dialog.hwnd, dh.IDOK)
        self.assertEndedByItself(run)
        self.assertEqual(dh.stored_settings(self.program.name)["BGAlpha"], dh.dword(7))

    def test_a_stored_value_out_of_range_is_shown_and_refused_until_corrected(self):
        self.store({"BGAlpha": 300})
        run = self.open()
        dialog = run.opaque_dialog()
        self.assertEqual(dh.text(dialog.hwnd, dh.IDC_OPACITY), "300")
        dh.click(dialog.hwnd, dh.IDOK)
        box = dh.message_box(run.pid)
        self.assertEqual(box.text, dh.MESSAGE_RANGE)
        dh.press_ok(box)
        self.assertStored({"BGAlpha": 300}, "a refusal wrote values")
        # The bottom of the range is accepted; the top is in the next test.
        dh.set_text(dialog.hwnd, dh.IDC_OPACITY, "0")
        dh.click(dialog.hwnd, dh.IDOK)
        self.assertEndedByItself(run)
        self.assertEqual(dh.stored_settings(self.program.name)["BGAlpha"], dh.dword(0))

    def test_the_top_of_the_range_is_accepted(self):
        run = self.open()
        dialog = run.dialog()
        dh.set_text(dialog.hwnd, dh.IDC_OPACITY, "255")
        dh.click(dialog.hwnd, dh.IDOK)
        self.assertEndedByItself(run)
        self.assertEqual(dh.stored_settings(self.program.name)["BGAlpha"], dh.dword(255))


class FadeTest(SettingsTestCase):
    # The last 0 lives from the dialog's hiding to its destruction, some milliseconds; a run on
    # which the sampler was kept from looking then is repeated.
    ATTEMPTS = 3

    def test_it_fades_in_in_26_steps_and_out_to_0_before_it_ends(self):
        expected = dh.FADE_IN + dh.fade_out_from(255)
        for attempt in range(self.ATTEMPTS):
            run = self.open(actions=[("+255", dh.IDOK)])
            self.assertEndedByItself(run)
            changes = run.changes()
            self.assertIsNone(dh.fade_mismatch(changes, expected), run.lines())
            if dh.fade_mismatch(changes, expected, final_zero_seen=True) is None:
                break
        else:
            self.fail(f"the last 0 was not seen in {self.ATTEMPTS} runs:\n" +
                      "\n".join(run.lines()))
        self.assertEqual(len(dh.FADE_IN), 26)
        # Invisible until the first value: shown without layered attributes, which draws nothing.
        self.assertIsNone(changes[0].alpha)
        first = next(c for c in changes if c.alpha is not None)
        shown = next(c for c in changes if c.visible)
        self.assertLessEqual(shown.t, first.t)
        self.assertEqual(first.alpha, 10)

        # A step every 50 ms or so: the first sample of each value, one after the other.
        steps = [c.t for c in changes if c.alpha is not None and c.visible]
        gaps = sorted(b - a for a, b in zip(steps, steps[1:]))
        median = gaps[len(gaps) // 2]
        # Never quicker than the timer; slower only as far as a loaded machine delays it.
        self.assertTrue(40 <= median <= 120, f"the median step took {median:.1f} ms")
        last_in = next(c for c in changes if c.alpha == 255)
        self.assertGreater(last_in.t - first.t, 25 * 35, "the fade-in was too quick")

        # 0 is set while the dialog still exists: after it is hidden, before it is gone.
        zero = next(c for c in changes if c.alpha == 0)
        self.assertFalse(zero.visible)
        gone = [line for line in run.lines() if line.startswith("gone: ")]
        self.assertEqual(len(gone), 1, run.lines())
        self.assertGreaterEqual(float(wh.parse_fields(gone[0][6:])["t"]), zero.t)

    def test_ok_during_the_fade_in_turns_back_from_where_it_was(self):
        run = self.open(actions=[("+100", dh.IDOK)])
        self.assertEndedByItself(run)
        values = dh.alphas(run.changes())
        peak = max(values)
        # The click comes when 100 is seen, and a tick may already be on its way; a sample that
        # comes late sees a later value first.
        self.assertTrue(100 <= peak <= 150, values)
        self.assertIsNone(dh.round_trip_mismatch(run.changes()))
        self.assertEqual(len(dh.stored_settings(self.program.name)), 15, "OK did not save")


class SecondConfigurationTest(SettingsTestCase):
    def test_a_second_one_brings_the_dialog_forward_and_saves_nothing(self):
        stored = {"BGAlpha": 42}
        self.store(stored)
        run = self.open()
        dialog = run.opaque_dialog()
        for args in [("/c",), ()]:
            with self.subTest(args=args):
                result = dh.second(self.program.windows_path, *args)
                self.assertEqual(result["foreground-before"], result["bystander"],
                                 result.describe())
                self.assertEqual(result["exited"], "yes", result.describe())
                self.assertEqual(result["exit-code"], "0", result.describe())
                self.assertLess(int(result["elapsed-ms"]), PROMPT_MS, result.describe())
                self.assertEqual(int(result["foreground-after"]), dialog.hwnd,
                                 result.describe())
                self.assertTrue(run.alive(), "the first one ended")
                after = dh.describe(dialog.hwnd)
                self.assertTrue(after.visible and after.enabled and after.alpha == 255, after)
                self.assertStored(stored, "the second one wrote values")
        dh.click(dialog.hwnd, dh.IDCANCEL)
        self.assertEndedByItself(run)
        self.assertStored(stored, "the stored values changed")


if __name__ == "__main__":
    unittest.main()
