"""How Tessaly.scr starts: the request its arguments make, its registry key and its mutex."""

import unittest

import wine_helpers as wh

# "At once": a request that opens nothing ends in a fraction of this even on a slow machine.
PROMPT_MS = 5000

# Long enough for a show to load its settings and open its windows.
SHOW_SURVIVAL_MS = 3000

# The window title a running configuration shows, searched without regard to case.
FIRST_INSTANCE_TITLE = "Quillmere"


def setUpModule():
    wh.session()


class LaunchTestCase(unittest.TestCase):
    def setUp(self):
        # Every copy keeps its settings under this root; each test starts from none.
        wh.reg_delete_tree(wh.SETTINGS_ROOT)

    def assertEndedPromptly(self, result, exit_code=0):
        self.assertEqual(result["exited"], "yes", result.describe())
        self.assertEqual(result["exit-code"], str(exit_code), result.describe())
        self.assertLess(int(result["elapsed-ms"]), PROMPT_MS, result.describe())

    def assertEmptySettingsKey(self, program_name):
        key = wh.reg_list(wh.settings_key(program_name))
        self.assertTrue(key.present, f"{wh.settings_key(program_name)} was not created")
        self.assertEqual(key.values, {}, "a start that saves nothing wrote values")


class UnrecognisedRequestTest(LaunchTestCase):
    def test_ends_at_once_without_a_window(self):
        program = wh.fresh_copy()
        for arg in ["/a", "//s", "x", ""]:
            with self.subTest(arg=arg):
                wh.reg_delete_tree(wh.SETTINGS_ROOT)
                result = wh.run_program(program.windows_path, arg)
                self.assertEndedPromptly(result)
                self.assertEqual(result["windows-seen"], "0", result.describe())
                # The settings are loaded whatever the request, which opens the key chain.
                self.assertEmptySettingsKey(program.name)

    def test_does_not_act_as_a_second_configuration(self):
        # Were /a taken for a configuration, it would find the first instance and bring its
        # window forward.
        program = wh.fresh_copy()
        result = wh.stand_in(program.name, FIRST_INSTANCE_TITLE, program.windows_path, "/a")
        self.assertEndedPromptly(result)
        self.assertEqual(result["foreground-is-title-window"], "no", result.describe())


class PreviewTest(LaunchTestCase):
    def test_preview_without_its_window_handle_ends_cleanly(self):
        program = wh.fresh_copy()
        result = wh.run_program(program.windows_path, "/p")
        self.assertEndedPromptly(result)
        self.assertEmptySettingsKey(program.name)


class SecondConfigurationTest(LaunchTestCase):
    def test_brings_the_running_configuration_forward(self):
        program = wh.fresh_copy()
        self.assertEqual(program.name, "Tessaly")
        for args in [("/c",), (), ("-C",), ("c",), ("/c:1234",)]:
            with self.subTest(args=args):
                result = wh.stand_in("Tessaly", FIRST_INSTANCE_TITLE, program.windows_path,
                                     *args)
                self.assertEqual(result["foreground-before-is-bystander"], "yes",
                                 result.describe())
                self.assertEndedPromptly(result)
                self.assertEqual(result["foreground-is-title-window"], "yes",
                                 result.describe())

    def test_finds_the_window_title_without_regard_to_case(self):
        program = wh.fresh_copy()
        result = wh.stand_in("Tessaly", "QUILLMERE", program.windows_path, "/c")
        self.assertEndedPromptly(result)
        self.assertEqual(result["foreground-is-title-window"], "yes", result.describe())

    def test_another_programs_mutex_does_not_hold_it_back(self):
        # Not the first instance: it goes on to run its own settings dialog, which stays open
        # until the stand-in gives up waiting and ends it.
        program = wh.fresh_copy()
        result = wh.stand_in("Other", "Unrelated", program.windows_path, "/c", timeout_ms=6000)
        self.assertEqual(result["exited"], "no", result.describe())


class ProgramNameTest(LaunchTestCase):
    def test_a_renamed_copy_uses_its_own_key(self):
        program = wh.fresh_copy("Quillmere Photos.scr")
        result = wh.run_program(program.windows_path, "/a")
        self.assertEndedPromptly(result)
        self.assertEmptySettingsKey("Quillmere Photos")
        self.assertEqual(wh.reg_subkeys(wh.SETTINGS_ROOT), ["Quillmere Photos"])

    def test_a_copy_started_by_its_short_path_uses_its_long_name(self):
        program = wh.fresh_copy("Quillmere Photos.scr")
        paths = wh.driver("short-path", program.windows_path)
        short_path = paths["short-path"]
        if short_path.lower() == program.windows_path.lower():
            self.skipTest(f"Wine gave no distinct short name for {program.windows_path}")
        short_name = short_path.rpartition("\\")[2]
        self.assertNotEqual(short_name.lower(), "quillmere photos.scr")

        # Wine reports the long module path even to a program started by its short one, so
        # here this checks the outcome more than the conversion behind it.
        result = wh.run_program(short_path, "/a")
        self.assertEndedPromptly(result)
        self.assertEmptySettingsKey("Quillmere Photos")
        self.assertEqual(wh.reg_subkeys(wh.SETTINGS_ROOT), ["Quillmere Photos"],
                         f"started as {short_path}")


class StoredValuesOfWrongTypesTest(LaunchTestCase):
    def test_a_start_neither_fails_nor_rewrites_them(self):
        program = wh.fresh_copy()
        key = wh.settings_key(program.name)
        stored = {
            "BGAlpha": ("REG_SZ", wh.reg_sz("128")),
            "TimerInterval": ("REG_QWORD", (5000).to_bytes(8, "little")),
            # Longer than any path, and with no NUL to end it.
            "ImageFolderPath": ("REG_SZ", wh.reg_sz("Q" * 40000, terminated=False)),
            "BGColor": ("REG_BINARY", bytes([0x12, 0x34, 0x56])),
            "ImageCountShow": ("REG_DWORD", b""),
            "IncludeSubFolder": ("REG_MULTI_SZ", wh.reg_sz("1") + b"\0\0"),
            "ImageMaxHeight": ("REG_DWORD_BIG_ENDIAN", bytes([0, 0, 1, 0])),
            "ImageShowRandom": ("4660", bytes([1, 0, 0, 0])),
            "ImageMaxAlpha": ("REG_EXPAND_SZ", wh.reg_sz("%ALPHA%")),
        }
        for name, (type_name, data) in stored.items():
            wh.reg_set(key, name, type_name, data)
        before = wh.reg_list(key)
        self.assertEqual(len(before.values), len(stored))
        self.assertEqual(len(before.values["ImageFolderPath"].data), 80000)

        with self.subTest(args=("/a",)):
            result = wh.run_program(program.windows_path, "/a")
            self.assertEndedPromptly(result)
            self.assertEqual(wh.reg_list(key), before, "the stored values changed")

        with self.subTest(args=("/s",)):
            # A show runs until input ends it: here it only has to come through the load
            # alive, so it may still be running when the driver ends it.
            result = wh.run_program(program.windows_path, "/s", timeout_ms=SHOW_SURVIVAL_MS)
            if result["exited"] == "yes":
                self.assertEqual(result["exit-code"], "0", result.describe())
            self.assertEqual(wh.reg_list(key), before, "the stored values changed")


if __name__ == "__main__":
    unittest.main()
