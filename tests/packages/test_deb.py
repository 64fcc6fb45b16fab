"""The Linux package: installs into a scratch root, its vorlcli talks to its vorlsim, it ships
the heartbeat service (program, systemd unit, maintainer scripts that enable and start it), its
dependencies are the real ones, and the manual pages render without a warning."""

import glob
import json
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
        for library in ("libssl", "zlib1g", "libc6", "libstdc++6", "libsystemd0",
                        "libyaml-cpp"):
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

    def test_ships_the_heartbeat_service(self):
        program = self.path("sbin", "vorlpulse")
        self.assertTrue(os.access(program, os.X_OK), program)
        run = subprocess.run([program, "-v"], capture_output=True, text=True, timeout=30)
        self.assertTrue(run.stdout.startswith("VORL Server Heartbeat Service Version 1.0\n"), run)
        with open(self.path("lib", "systemd", "system", "vorlpulse.service")) as f:
            unit = f.read()
        for line in ("Type=notify", "ExecStart=/usr/sbin/vorlpulse", "SupplementaryGroups=cdrom",
                     "DeviceAllow=char-sg rw", "WantedBy=multi-user.target"):
            self.assertIn(line + "\n", unit)
        control = tempfile.mkdtemp(prefix="vorl-deb-control-")
        self.addCleanup(shutil.rmtree, control, ignore_errors=True)
        subprocess.run(["dpkg-deb", "-e", self.deb, control], check=True)
        for script in ("postinst", "prerm", "postrm"):
            path = os.path.join(control, script)
            self.assertTrue(os.access(path, os.X_OK), script)
            self.assertEqual(subprocess.run(["sh", "-n", path]).returncode, 0, script)
        with open(os.path.join(control, "postinst")) as f:
            postinst = f.read()
        self.assertIn("deb-systemd-helper enable", postinst)
        self.assertIn('systemctl --no-block "$action" "$UNIT"', postinst)

    def test_manual_pages_render_without_warnings(self):
        for section, page in (("man1", "vorlcli.1"), ("man1", "vorlsim.1"),
                              ("man1", "vorl_exporter.1"), ("man8", "vorlpulse.8"),
                              ("man8", "vorl_redfish.8")):
            with self.subTest(page=page):
                source = self.path("share", "man", section, page)
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
                     "ProtectHome=yes", "PrivateTmp=yes", "--config.file=/etc/vorl/",
                     "CapabilityBoundingSet=\n", "SystemCallFilter=@system-service\n",
                     "MemoryMax="):
            self.assertIn(line, unit)
        self.assertTrue(os.path.exists(self.path("share", "doc", "vorl", "examples",
                                                 "vorl_exporter.yml")))
        # The alert rules and the dashboard, as installed: the rules' own tests pass there.
        rules = self.path("share", "vorl", "prometheus")
        if shutil.which("promtool"):
            done = subprocess.run(["promtool", "test", "rules", "vorl_alerts_test.yml"],
                                  cwd=rules, capture_output=True, text=True, timeout=120)
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        with open(self.path("share", "vorl", "grafana", "vorl_dashboard.json")) as f:
            self.assertEqual(json.load(f)["uid"], "vorl-cards")

    def test_ships_the_redfish_service_with_its_unit_and_example(self):
        run = subprocess.run([self.path("bin", "vorl_redfish"), "--help"], capture_output=True,
                             text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertIn("--config.file", run.stdout)
        with open(self.path("lib", "systemd", "system", "vorl_redfish.service")) as f:
            unit = f.read()
        for line in ("DynamicUser=yes", "StateDirectory=vorl_redfish", "NoNewPrivileges=yes",
                     "ProtectSystem=strict", "ProtectHome=yes", "PrivateTmp=yes",
                     "CapabilityBoundingSet=CAP_NET_BIND_SERVICE",
                     "--config.file=/etc/vorl/vorl_redfish.yml"):
            self.assertIn(line, unit)
        example = self.path("share", "doc", "vorl", "examples", "vorl_redfish.yml")
        with open(example) as f:
            self.assertIn("password_file:", f.read())

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
