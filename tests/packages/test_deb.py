"""The Linux package: installs into a scratch root, its vorlcli talks to its vorlsim, its
dependencies are the real ones, and both manual pages render without a warning."""

import glob
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e"))
from vorltest import fresh_address, wait_for_port  # noqa: E402

PACKAGES = os.environ.get("VORL_PACKAGES", os.path.join(os.path.dirname(__file__), "..", "..",
                                                        "build", "packages"))


def the_deb():
    found = glob.glob(os.path.join(PACKAGES, "vorl_*_amd64.deb"))
    if len(found) != 1:
        raise unittest.SkipTest("needs exactly one .deb in %s (scripts/package.sh)" % PACKAGES)
    return found[0]


class DebPackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.deb = the_deb()
        cls.root = tempfile.mkdtemp(prefix="vorl-deb-")
        subprocess.run(["dpkg", "-x", cls.deb, cls.root], check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.root, "usr", *parts)

    def test_depends_on_the_libraries_it_links(self):
        depends = subprocess.run(["dpkg-deb", "-f", self.deb, "Depends"], check=True,
                                 capture_output=True, text=True).stdout
        for library in ("libssl", "zlib1g", "libc6", "libstdc++6"):
            self.assertIn(library, depends)

    def test_installed_vorlcli_talks_to_installed_vorlsim(self):
        address = fresh_address()
        state = tempfile.mkdtemp(prefix="vorl-deb-state-")
        sim = subprocess.Popen([self.path("bin", "vorlsim"), "--listen", address,
                                "--state-dir", state], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        try:
            self.assertTrue(wait_for_port(address, 6577), "vorlsim did not start")
            run = subprocess.run([self.path("bin", "vorlcli"), "-nw", address, "admin", "-user",
                                  "-listall"], input="vorladmin\n", capture_output=True,
                                 text=True, timeout=60)
            self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
            self.assertIn("User 1: admin Password: vorladmin \n", run.stdout)
        finally:
            sim.terminate()
            sim.wait(timeout=10)
            shutil.rmtree(state, ignore_errors=True)

    def test_manual_pages_render_without_warnings(self):
        for page in ("vorlcli.1", "vorlsim.1", "vorl_exporter.1"):
            with self.subTest(page=page):
                source = self.path("share", "man", "man1", page)
                groff = subprocess.run(["groff", "-ww", "-man", "-Tutf8", source],
                                       capture_output=True, text=True)
                self.assertEqual(groff.returncode, 0)
                self.assertEqual(groff.stderr, "")
                man = subprocess.run(["man", "-l", source], capture_output=True, text=True,
                                     env=dict(os.environ, MANPAGER="cat", MANWIDTH="80"))
                self.assertEqual(man.returncode, 0, man.stderr)
                self.assertIn("EXIT STATUS", man.stdout)
                self.assertIn("ENVIRONMENT", man.stdout)

    def test_ships_the_exporter_with_its_unit_and_example(self):
        run = subprocess.run([self.path("bin", "vorl_exporter"), "--help"], capture_output=True,
                             text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertIn("--config.file", run.stdout)
        with open(self.path("lib", "systemd", "system", "vorl_exporter.service")) as f:
            unit = f.read()
        for line in ("DynamicUser=yes", "NoNewPrivileges=yes", "ProtectSystem=strict",
                     "ProtectHome=yes", "PrivateTmp=yes", "--config.file=/etc/vorl/"):
            self.assertIn(line, unit)
        self.assertTrue(os.path.exists(self.path("share", "doc", "vorl", "examples",
                                                 "vorl_exporter.yml")))

    def test_vorlcli_page_names_every_group_and_variable(self):
        text = subprocess.run(["man", "-l", self.path("share", "man", "man1", "vorlcli.1")],
                              capture_output=True, text=True,
                              env=dict(os.environ, MANPAGER="cat", MANWIDTH="200")).stdout
        for word in ("-user", "-Net", "-Gen", "-HB", "-flash", "-file", "-sel", "-pef", "-SDK",
                     "-ModemCfg", "-PppCfg", "-ASRCfg", "-HostCtrl", "-script", "VORL_HOSTIFC",
                     "VORL_DEBUG", "VORL_MUTEX_DIR"):
            self.assertIn(word, text)


if __name__ == "__main__":
    unittest.main()
