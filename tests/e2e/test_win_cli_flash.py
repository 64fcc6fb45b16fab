"""vorlcli.exe under Wine against a native vorlsim: a firmware update, a read-back and a file
round trip through the Windows file and console paths."""

import os
import shutil
import tempfile
import unittest

from test_cli_flash import BLOCK, default_image, with_os_version
from vorltest import EMULATOR, REMINDER, VORLCLI, SimTestCase


def windows_path(path):
    """The Wine drive Z: path of a host path."""
    return "Z:" + path.replace("/", "\\")


class WindowsFlashTest(SimTestCase):
    def setUp(self):
        if not EMULATOR or not VORLCLI.endswith(".exe"):
            self.skipTest("runs the Windows build under Wine")
        super().setUp()
        self.work = tempfile.mkdtemp(prefix="vorl-winflash-")

    def tearDown(self):
        super().tearDown()
        shutil.rmtree(self.work, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.work, name)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def test_update_then_read_back(self):
        newer = with_os_version(default_image(self.path("default.ima")), 0x2105)
        with open(self.path("newer.ima"), "wb") as f:
            f.write(newer)
        r = self.cli("-flash", "-update", windows_path(self.path("newer.ima")), stdin="y\ny\n")
        self.assertEqual(r.code, 0, r)
        self.assertTrue(r.out.endswith("Saving MAC Address : \t\t\t[ OK ]\n"
                                       "Resetting VORL (Config Retained):\t\t\t[ OK ]\n" +
                                       REMINDER), r)
        self.assertIn("Flashing ... Block 63 of 64 \r", r.out)

        r = self.cli("-flash", "-read", windows_path(self.path("back.ima")))
        self.assertEqual(r.code, 0, r)
        self.assertEqual(self.read("back.ima"), newer)

    def test_file_round_trip(self):
        data = bytes((i * 11) & 0xFF for i in range(BLOCK + 300))
        with open(self.path("src.bin"), "wb") as f:
            f.write(data)
        r = self.cli("-file", "-upload", windows_path(self.path("src.bin")), "data/win.bin")
        self.assertEqual((r.code, r.out), (0, self.login_prefix() + REMINDER), r)
        r = self.cli("-file", "-download", "data/win.bin", windows_path(self.path("out.bin")))
        self.assertEqual((r.code, r.out), (0, self.login_prefix() + REMINDER), r)
        self.assertEqual(self.read("out.bin"), data)


if __name__ == "__main__":
    unittest.main()
