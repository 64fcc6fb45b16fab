"""vorlcli -cd against vorlsim's simulated host-interface device link: no login."""

import os
import shutil
import tempfile
import unittest

from test_cli_script import processed
from test_cli_usage import QUESTION, usage
from vorltest import REMINDER, Sim, run_cli

DEVICE_LINK_PORT = 6578


class HostModeTest(unittest.TestCase):
    def setUp(self):
        self.sim = Sim(wait_ports=(6577, DEVICE_LINK_PORT))
        self.sim.options.append("--devlink-listen=" + self.sim.address)
        self.sim.start()
        self.env = {"VORL_HOSTIFC": "sim:%s:%d" % (self.sim.address, DEVICE_LINK_PORT)}

    def tearDown(self):
        self.sim.stop()
        shutil.rmtree(self.sim.state_dir, ignore_errors=True)

    def cd(self, *words, stdin=""):
        return run_cli("-cd", *words, stdin=stdin, env=self.env)

    def test_mode_word_alone_connects_then_shows_the_usage(self):
        r = self.cd(stdin="vorladmin\n")
        self.assertEqual((r.code, r.out), (1, "Connecting..Connected\n" + usage()), r)

    def test_commands_run_without_a_password(self):
        r = self.cd("-user", "-add", "bob", "password1")
        self.assertEqual((r.code, r.out), (0, "Connecting..Connected\n" + REMINDER), r)
        r = run_cli("/CD", "-USER", "-listAllUser", env=self.env)
        self.assertEqual((r.code, r.out),
                         (0, "Connecting..Connected\nUser 1: admin \nUser 2: bob \n" + REMINDER))
        r = self.cd("-user", "-nosuch")
        self.assertEqual((r.code, r.out), (8, "Connecting..Connected\n" + QUESTION))

    def test_script_lines_run_on_the_host_interface(self):
        folder = tempfile.mkdtemp(prefix="vorlcli-cd-")
        try:
            path = os.path.join(folder, "cd.scr")
            with open(path, "w") as f:
                f.write("-user -listAllUser\n")
            r = self.cd("-Script", path)
        finally:
            shutil.rmtree(folder, ignore_errors=True)
        self.assertEqual((r.code, r.out), (0, "Connecting..Connected\n" +
                         processed("-user -listAllUser\n", "User 1: admin \n") + REMINDER), r)


if __name__ == "__main__":
    unittest.main()
