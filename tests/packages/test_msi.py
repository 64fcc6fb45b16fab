"""The Windows installer under Wine: a silent install puts the programs into Program Files,
registers and starts the heartbeat service, adds the Start-menu shortcut, the log-on entry and
the PATH entry; a re-run or a repair changes nothing; a newer version replaces the older one;
uninstall removes all of it."""

import glob
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
PACKAGES = os.environ.get("VORL_PACKAGES", os.path.join(HERE, "..", "..", "build", "packages"))
# The windows build the installer was made from: the upgrade test builds a newer one from it.
WINDOWS_BIN = os.environ.get("VORL_WINDOWS_BIN", os.path.join(HERE, "..", "..", "build", "windows"))
BUILD_MSI = os.path.join(HERE, "..", "..", "packaging", "windows", "build-msi.sh")
WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver64"
SERVICE = "VORL Server Heartbeat Service"
PROGRAMS = ("vorlcli.exe", "vorlpanel.exe", "vorlpoint.exe", "vorlpulse.exe")
RUN_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
ENVIRONMENT_KEY = r"HKLM\System\CurrentControlSet\Control\Session Manager\Environment"
INSTALL_DIR = r"C:\Program Files\VORL"


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
        cls.version = re.search(r"vorl-([0-9.]+)-x64\.msi$", cls.msi).group(1)
        cls.prefix = tempfile.mkdtemp(prefix="vorl-msi-")
        cls.env = dict(os.environ, WINEPREFIX=cls.prefix, WINEDEBUG="-all",
                       WINEDLLOVERRIDES="mscoree,mshtml=")
        cls.env.pop("VORL_HOSTIFC", None)
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL)
        # Create the prefix and let its first server end: a persistent server started before
        # the prefix exists ends up with two service managers that disagree about which
        # services exist. Then one persistent server, so that the started service lives.
        subprocess.run([WINE, "wineboot", "-i"], env=cls.env, timeout=300, **quiet)
        subprocess.run([WINESERVER, "-w"], env=cls.env, timeout=120, **quiet)
        subprocess.run([WINESERVER, "-p"], env=cls.env, **quiet)
        subprocess.run([WINE, "cmd", "/c", "exit"], env=cls.env, timeout=120, **quiet)
        cls.installed = os.path.join(cls.prefix, "drive_c", "Program Files", "VORL")

    @classmethod
    def tearDownClass(cls):
        subprocess.run([WINESERVER, "-k"], env=cls.env, stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-w"], env=cls.env, stderr=subprocess.DEVNULL)
        shutil.rmtree(cls.prefix, ignore_errors=True)

    def wine(self, *args, timeout=180, stdin=""):
        return subprocess.run([WINE, *args], env=self.env, input=stdin, capture_output=True,
                              text=True, errors="replace", timeout=timeout)

    def msiexec(self, option, *properties, msi=None):
        run = self.wine("msiexec", option, msi or self.msi, *properties, "/qn")
        self.assertEqual(run.returncode, 0, "msiexec %s %s failed" % (option, " ".join(properties)))

    def uninstall_at_the_end(self):
        def uninstall():
            if self.service_state() == "RUNNING":
                self.stop_service()
            self.wine("msiexec", "/x", self.msi, "/qn")
        self.addCleanup(uninstall)

    def service_state(self):
        """The service's state from sc query (RUNNING, STOPPED, ...), or None when it is not
        installed."""
        match = re.search(r"STATE\s*:\s*\d+\s+(\w+)", self.wine("sc", "query", SERVICE).stdout)
        return match.group(1) if match else None

    def stop_service(self):
        # Wine's installer sends the stop without waiting for the service to reach STOPPED
        # (Windows waits), and then fails to start a service that is still stopping. So the
        # service is stopped before each later installer run, and started again by that run.
        self.wine("net", "stop", SERVICE)
        self.wait_for_service("STOPPED")

    def wait_for_service(self, wanted, seconds=30):
        deadline = time.monotonic() + seconds
        while self.service_state() != wanted and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertEqual(self.service_state(), wanted)

    def registry(self, key, value):
        run = self.wine("reg", "query", key, "/v", value)
        return run.stdout if run.returncode == 0 else None

    def products(self):
        """DisplayVersion of every installed product named "VORL host suite"."""
        listing = self.wine("reg", "query", UNINSTALL_KEY, "/s").stdout
        versions = []
        for block in re.split(r"\r?\n(?=HKEY_)", listing):
            if re.search(r"DisplayName\s+REG_SZ\s+VORL host suite\s*$", block, re.M):
                versions.append(re.search(r"DisplayVersion\s+REG_SZ\s+(\S+)", block).group(1))
        return versions

    def shortcuts(self):
        # Wine puts a per-machine shortcut into the installing user's Start menu; Windows puts
        # it into every user's. Either place counts.
        drive = os.path.join(self.prefix, "drive_c")
        return sorted(os.path.basename(p) for p in glob.glob(
            os.path.join(drive, "**", "Start Menu", "Programs", "VORL", "*.lnk"), recursive=True))

    def state(self):
        files = sorted(os.listdir(self.installed)) if os.path.isdir(self.installed) else []
        path = self.registry(ENVIRONMENT_KEY, "PATH") or ""
        return {"files": files, "service": self.service_state(), "products": self.products(),
                "log-on": self.registry(RUN_KEY, "VORL Mouse Redirection"),
                "PATH entries": path.count(INSTALL_DIR), "shortcuts": self.shortcuts()}

    def test_install_rerun_repair_upgrade_uninstall(self):
        self.uninstall_at_the_end()
        self.msiexec("/i")
        installed = self.state()
        # The programs, and the JSON Schema of vorlcli's documents in a folder of its own.
        self.assertEqual(installed["files"], sorted(PROGRAMS + ("schema",)))
        self.assertIn("envelope.schema.json", os.listdir(os.path.join(self.installed, "schema")))
        self.assertEqual(installed["service"], "RUNNING")
        self.assertEqual(installed["products"], [self.version])
        self.assertIn('"%s\\vorlpoint.exe"' % INSTALL_DIR, installed["log-on"] or "")
        self.assertEqual(installed["PATH entries"], 1)
        self.assertEqual(installed["shortcuts"], ["VORL Configuration.lnk"])

        usage = self.wine(os.path.join(self.installed, "vorlcli.exe"), "-h", stdin="\n" * 8)
        self.assertEqual(usage.returncode, 8)
        self.assertIn("vorlcli version 1.6.4.3", usage.stdout)
        report = self.wine(os.path.join(self.installed, "vorlpulse.exe"), "-v").stdout
        self.assertIn("installed", report)
        self.assertNotIn("not installed", report)

        # A second install, then a repair of every file, key and shortcut (Wine's msiexec
        # knows "/fa" only for products it has cached, so the repair names the package):
        # nothing changes.
        for again in ((), ("REINSTALL=ALL", "REINSTALLMODE=vomus")):
            with self.subTest(run=again or "install again"):
                self.stop_service()
                self.msiexec("/i", *again)
                self.assertEqual(self.state(), installed)

        newer = self.newer_installer()
        self.stop_service()
        self.msiexec("/i", msi=newer)
        upgraded = self.state()
        self.assertEqual(upgraded["products"], [newer_version(self.version)])
        self.assertEqual({k: v for k, v in upgraded.items() if k != "products"},
                         {k: v for k, v in installed.items() if k != "products"})

        self.stop_service()
        self.msiexec("/x", msi=newer)
        removed = self.state()
        self.assertEqual(removed["files"], [])
        self.assertIsNone(removed["service"], "service still registered")
        self.assertEqual(removed["products"], [])
        self.assertIsNone(removed["log-on"])
        self.assertEqual(removed["PATH entries"], 0)
        self.assertEqual(removed["shortcuts"], [])

    def test_simulator_is_an_optional_feature(self):
        self.uninstall_at_the_end()
        self.msiexec("/i", "ADDLOCAL=ALL")
        self.assertIn("vorlsim.exe", os.listdir(self.installed))
        self.stop_service()
        self.msiexec("/x")
        self.assertFalse(os.path.isdir(self.installed) and os.listdir(self.installed))

    def newer_installer(self):
        if not os.path.isfile(os.path.join(WINDOWS_BIN, "heartbeat", "vorlpulse.exe")):
            self.skipTest("the upgrade needs the windows build (VORL_WINDOWS_BIN)")
        work = tempfile.mkdtemp(prefix="vorl-msi-next-")
        self.addCleanup(shutil.rmtree, work, True)
        target = os.path.join(work, "vorl-next-x64.msi")
        subprocess.run([BUILD_MSI, WINDOWS_BIN, newer_version(self.version), target], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return target


def newer_version(version):
    """The version after `version` as Windows Installer compares them (first three fields)."""
    parts = [int(p) for p in version.split(".")] + [0] * 4
    return "%d.%d.%d.0" % (parts[0], parts[1], parts[2] + 1)


if __name__ == "__main__":
    unittest.main()
