"""The Windows installer under Wine: a silent install puts the programs into Program Files,
registers and starts the heartbeat service, adds the Start-menu shortcut, the log-on entry and
the PATH entry; a repair or a second install changes nothing; an upgrade replaces the older
version; uninstall removes all of it."""

import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

PACKAGES = os.environ.get("VORL_PACKAGES", os.path.join(os.path.dirname(__file__), "..", "..",
                                                        "build", "packages"))
WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver64"
SERVICE = "VORL Server Heartbeat Service"
PROGRAMS = ("vorlcli.exe", "vorlpanel.exe", "vorlpoint.exe", "vorlpulse.exe")
RUN_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"
ENVIRONMENT_KEY = r"HKLM\System\CurrentControlSet\Control\Session Manager\Environment"


def the_msi():
    found = glob.glob(os.path.join(PACKAGES, "vorl-*-x64.msi"))
    if len(found) != 1:
        raise unittest.SkipTest("needs exactly one .msi in %s (scripts/package.sh)" % PACKAGES)
    return found[0]


class MsiUnderWineTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.exists(WINE):
            raise unittest.SkipTest("needs Wine")
        cls.msi = the_msi()
        cls.prefix = tempfile.mkdtemp(prefix="vorl-msi-")
        cls.env = dict(os.environ, WINEPREFIX=cls.prefix, WINEDEBUG="-all",
                       WINEDLLOVERRIDES="mscoree,mshtml=")
        cls.env.pop("VORL_HOSTIFC", None)
        # The server first and persistent, so that the started service lives (see wine.md).
        subprocess.run([WINESERVER, "-p"], env=cls.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        subprocess.run([WINE, "wineboot", "-i"], env=cls.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        subprocess.run([WINE, "cmd", "/c", "exit"], env=cls.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        cls.installed = os.path.join(cls.prefix, "drive_c", "Program Files", "VORL")

    @classmethod
    def tearDownClass(cls):
        subprocess.run([WINESERVER, "-k"], env=cls.env, stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-w"], env=cls.env, stderr=subprocess.DEVNULL)
        shutil.rmtree(cls.prefix, ignore_errors=True)

    def wine(self, *args, timeout=180, stdin=""):
        return subprocess.run([WINE, *args], env=self.env, input=stdin, capture_output=True,
                              text=True, errors="replace", timeout=timeout)

    def msiexec(self, *args, msi=None):
        run = self.wine("msiexec", *args, msi or self.msi, "/qn")
        self.assertEqual(run.returncode, 0, "msiexec %s: %s" % (" ".join(args), run.stderr))

    def service_state(self):
        """The service's STATE line from sc query, or None when it is not installed."""
        run = self.wine("sc", "query", SERVICE)
        match = re.search(r"STATE\s*:\s*\d+\s+(\w+)", run.stdout)
        return match.group(1) if match else None

    def registry(self, key, value):
        run = self.wine("reg", "query", key, "/v", value)
        return run.stdout if run.returncode == 0 else None

    def shortcuts(self):
        drive = os.path.join(self.prefix, "drive_c")
        return glob.glob(os.path.join(drive, "**", "Start Menu", "Programs", "VORL", "*.lnk"),
                         recursive=True)

    def state(self):
        files = sorted(os.listdir(self.installed)) if os.path.isdir(self.installed) else []
        return (files, self.service_state() is not None, self.registry(RUN_KEY, "VORL Mouse Redirection"),
                self.registry(ENVIRONMENT_KEY, "PATH"), self.shortcuts())

    def test_install_repair_upgrade_uninstall(self):
        self.msiexec("/i")
        files, _, run_entry, path, shortcuts = self.state()
        self.assertEqual(files, sorted(PROGRAMS))
        self.assertIsNotNone(self.service_state(), "service not registered")
        self.assertIn("vorlpoint.exe", run_entry or "")
        self.assertIn(r"C:\Program Files\VORL", path or "")
        self.assertEqual([os.path.basename(s) for s in shortcuts], ["VORL Configuration.lnk"])

        vorlcli = os.path.join(self.installed, "vorlcli.exe")
        usage = self.wine(vorlcli, "-h", stdin="\n" * 8)
        self.assertEqual(usage.returncode, 8)
        self.assertIn("vorlcli version 1.6.4.3", usage.stdout)
        report = self.wine(os.path.join(self.installed, "vorlpulse.exe"), "-v")
        self.assertIn("installed", report.stdout.lower())
        self.assertNotIn("not installed", report.stdout.lower())

        installed_state = self.state()
        self.msiexec("/i")   # installing again: nothing changes
        self.assertEqual(self.state(), installed_state)
        self.msiexec("/fa")  # repair: nothing changes
        self.assertEqual(self.state(), installed_state)

        self.msiexec("/x")
        files, service, run_entry, path, shortcuts = self.state()
        self.assertEqual(files, [])
        self.assertFalse(service, "service still registered")
        self.assertIsNone(run_entry)
        self.assertNotIn(r"C:\Program Files\VORL", path or "")
        self.assertEqual(shortcuts, [])

    def test_simulator_is_an_optional_feature(self):
        self.msiexec("/i", "ADDLOCAL=ALL")
        self.assertIn("vorlsim.exe", os.listdir(self.installed))
        self.msiexec("/x")
        self.assertFalse(os.path.isdir(self.installed) and os.listdir(self.installed))


if __name__ == "__main__":
    unittest.main()
