"""vorlcli.exe -cd under Wine: through the simulated backend against the native vorlsim, and
with the real Win32 backend in a Wine prefix of its own that has a CD-ROM drive D: (which is
not the card, so its probe is refused and no card is found)."""

import os
import shutil
import subprocess
import tempfile
import unittest

import vorltest
from vorltest import HostSim, REMINDER, run_cli

CONNECTED = "Connecting..Connected\n"
CONNECT_FAILED = "Connecting..Error during connect \n"


def debug_line(text):
    """A trace line as Wine's +debugstr channel shows it (newlines escaped)."""
    return 'OutputDebugStringA "[K8HOSTIFC]: %s"' % text.replace("\n", "\\n")


@unittest.skipUnless(vorltest.EMULATOR, "Windows build only")
class SimulatedBackendUnderWine(unittest.TestCase):
    def setUp(self):
        self.sim = HostSim().start()

    def tearDown(self):
        self.sim.stop()
        shutil.rmtree(self.sim.state_dir, ignore_errors=True)

    def test_user_commands_through_the_device_link(self):
        env = self.sim.hostifc_env()
        env["WINEDEBUG"] = "-all,+debugstr"
        r = run_cli("-cd", "-user", "-listall", env=env)
        self.assertEqual(r.code, 0, r)
        self.assertEqual(r.out, CONNECTED + "User 1: admin Password: vorladmin \n" + REMINDER)
        self.assertIn(debug_line("FindK8 CDROM DRIVE - Success\n\n"), r.err)
        self.assertIn(debug_line("Connect Success\n\n"), r.err)

        r = run_cli("-cd", "-user", "-add", "winuser", "secret12", env=self.sim.hostifc_env())
        self.assertEqual(r.code, 0, r)
        r = run_cli("-cd", "-user", "-listall", env=self.sim.hostifc_env())
        self.assertIn("User 2: winuser", r.out, r)
        self.assertEqual(self.sim.devlink_statistics()["interleaved"], 0)


@unittest.skipUnless(vorltest.EMULATOR, "Windows build only")
class Win32BackendUnderWine(unittest.TestCase):
    """The real discovery path: QueryDosDeviceA, CreateFileA, DeviceIoControl."""

    @classmethod
    def setUpClass(cls):
        cls.prefix = tempfile.mkdtemp(prefix="vorl-wine-cdrom-")
        cls.cd_dir = tempfile.mkdtemp(prefix="vorl-wine-cd-")
        cls.env = dict(os.environ)
        cls.env.update({"WINEPREFIX": cls.prefix, "WINEDEBUG": "-all",
                        "WINEDLLOVERRIDES": "mscoree,mshtml=", "VORL_HOSTIFC": ""})
        wine = vorltest.EMULATOR
        cls.wineserver = os.path.join(os.path.dirname(wine), "wineserver")
        subprocess.run([wine, "reg", "add", r"HKLM\Software\Wine\Drives", "/v", "d:", "/t",
                        "REG_SZ", "/d", "cdrom", "/f"], env=cls.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        os.symlink(cls.cd_dir, os.path.join(cls.prefix, "dosdevices", "d:"))
        # The drive table is read when the wineserver starts.
        subprocess.run([cls.wineserver, "-k"], env=cls.env, timeout=60)
        subprocess.run([cls.wineserver, "-w"], env=cls.env, timeout=60)

    @classmethod
    def tearDownClass(cls):
        subprocess.run([cls.wineserver, "-k"], env=cls.env, timeout=60)
        shutil.rmtree(cls.prefix, ignore_errors=True)
        shutil.rmtree(cls.cd_dir, ignore_errors=True)

    def run_cli(self, debug):
        env = dict(self.env)
        env["WINEDEBUG"] = debug
        return run_cli("-cd", "-user", "-listall", env=env, timeout=120)

    def test_no_card_on_a_machine_with_a_plain_cdrom_drive(self):
        r = self.run_cli("-all,+debugstr")
        self.assertEqual((r.code, r.out), (33, CONNECT_FAILED), r)
        self.assertIn(debug_line("problem finding K8 CDROM DRIVE\n\n"), r.err)
        self.assertIn(debug_line("in host windows disconnect\n\n"), r.err)
        self.assertIn(debug_line("host win destructor\n\n"), r.err)
        # The refused probe of the plain drive leaves no trace line.
        self.assertNotIn("DevieIoControl", r.err)
        self.assertNotIn("FindK8", r.err)

    def test_the_drive_is_opened_and_probed(self):
        r = self.run_cli("-all,+file")
        self.assertEqual(r.code, 33, r)
        self.assertIn('CreateFileW L"\\\\\\\\.\\\\D:" GENERIC_READ GENERIC_WRITE '
                      'FILE_SHARE_READ FILE_SHARE_WRITE', r.err)
        self.assertIn("DeviceIoControl (", r.err)
        self.assertIn(",4d014,", r.err)
        # The hard disk C: is never opened.
        self.assertNotIn('CreateFileW L"\\\\\\\\.\\\\C:"', r.err)

    def test_the_platform_refuses_the_probe_with_error_50(self):
        tests = os.path.join(os.environ.get("VORL_WINDOWS_BIN", ""), "tests",
                             "vorl_unit_tests.exe")
        if not os.path.exists(tests):
            self.skipTest("unit test program not built")
        env = dict(self.env)
        env["VORL_TEST_CDROM_DRIVE"] = "D:"
        done = subprocess.run([vorltest.EMULATOR, tests,
                               "--gtest_filter=SystemDeviceTest.*"], env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
        out = done.stdout.decode(errors="replace")
        self.assertEqual(done.returncode, 0, out)
        self.assertIn("[  PASSED  ] 1 test", out)
        self.assertNotIn("SKIPPED", out)


if __name__ == "__main__":
    unittest.main()
