"""vorlcli.exe --json under Wine against a native vorlsim: -flash -compare and -flash -modules give
the native build's documents through the Windows file and console paths."""

import unittest

import test_cli_json_flash as native
from test_cli_flash import BLOCK, with_os_version
from test_win_cli_flash import windows_path
from vorltest import EMULATOR, VORLCLI


class WindowsFlashDocumentsTest(native.FlashDocumentsTest):
    def setUp(self):
        if not EMULATOR or not VORLCLI.endswith(".exe"):
            self.skipTest("runs the Windows build under Wine")
        super().setUp()

    # The native scenarios pass host paths; these pass the Wine drive's.
    test_card_mode_and_comparison_as_whole_documents = None
    test_module_flash_writes_only_the_modules_that_differ = None
    test_update_unattended_and_declined = None

    def test_compare_then_flash_the_module_that_differs(self):
        image = with_os_version(self.default, 0x2105)
        path = windows_path(self.write("os.ima", image))
        words = ["-flash", "-compare", path]
        r, doc = self.json_cli(*words)
        self.assertEqual(doc, self.envelope("vorl.flash.compare/1", words, {
            "file": path, "modules": native.module_rows(OS="2.1.5"),
            "complete_flash_required": False, "config_retainable": True}))

        r, doc = self.json_cli("-flash", "-modules", path, options=("--yes",))
        self.assertEqual((doc["changed"], doc["data"]["flashed"], doc["data"]["reset"]),
                         (True, ["os"], "config_defaults"), r)
        self.assertIn("Flashing OS ... Block 28 of 28 \r", r.err)
        os_range = slice(native.OS_BLOCKS[0] * BLOCK, (native.OS_BLOCKS[-1] + 1) * BLOCK)
        self.assertEqual(self.card_flash()[os_range], image[os_range])
        self.assertEqual(self.section_version(b"$$$OS$$$"), 0x2105)


if __name__ == "__main__":
    unittest.main()
