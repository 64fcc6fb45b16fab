"""vorlcli -cd against vorlsim's simulated host-interface device link: no login."""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

from test_cli_script import processed
from test_cli_usage import QUESTION, usage
from vorltest import (EMULATOR, REMINDER, VORLCLI, HostSim, Sim, end_process, json_documents,
                      run_cli)

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


class AccessLockTest(unittest.TestCase):
    """Another program keeps the host interface's machine-wide mutex: a vorlcli whose exchange
    waits on a card that stays busy. Runs after it give up once the wait limit has passed (the
    card's 60 s, shortened for the test through VORL_TEST_WAIT_LIMIT_MS), end with 33 and say
    that the lock is held; a script runs no further line."""

    def setUp(self):
        self.sim = HostSim("--stuck-busy=1").start()
        self.addCleanup(shutil.rmtree, self.sim.state_dir, ignore_errors=True)
        self.addCleanup(self.sim.stop)
        self.folder = tempfile.mkdtemp(prefix="vorl-lock-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)
        self.env = self.sim.hostifc_env(self.folder)
        holder_env = dict(os.environ, VORL_TEST_WAIT_LIMIT_MS="30000", **self.env)
        self.holder = subprocess.Popen(([EMULATOR] if EMULATOR else []) +
                                       [VORLCLI, "-cd", "-gen", "-GetName"],
                                       env=holder_env, stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(end_process, self.holder)
        # The holder polls a card that stays busy, the mutex held, once it has sent its request.
        deadline = time.monotonic() + 60
        while self.sim.devlink_statistics()["scsi-commands"] < 50:
            self.assertLess(time.monotonic(), deadline, "the holder never reached the card")
            time.sleep(0.05)
        self.env["VORL_TEST_WAIT_LIMIT_MS"] = "1500"

    def test_a_run_gives_up_with_33_and_says_the_lock_is_held(self):
        r = run_cli("-cd", "-user", "-listAllUser", env=self.env)
        self.assertEqual((r.code, r.out), (33, "Connecting..Connected\n" + REMINDER), r)
        self.assertIn("vorlcli: the host interface is locked by another program "
                      "(K8_HD_ACCESS_MUTEX was not free", r.err)

        path = os.path.join(self.folder, "two.scr")
        with open(path, "w") as f:
            f.write("-user -listAllUser\n-user -add bob password1\n")
        r = run_cli("-cd", "-script", path, env=self.env)
        self.assertEqual((r.code, r.out), (33, "Connecting..Connected\n" +
                         processed("-user -listAllUser\n", "") + REMINDER), r)
        r = run_cli("--json", "-cd", "-script", path, env=self.env)
        [doc] = json_documents(r)
        self.assertEqual((r.code, doc["status"], doc["ok"], doc["line"]), (33, 33, False, 1), r)
        self.assertIn("K8_HD_ACCESS_MUTEX", doc["message"])
        # Once the holder is done, the card is there for everyone.
        end_process(self.holder)
        del self.env["VORL_TEST_WAIT_LIMIT_MS"]
        r = run_cli("-cd", "-user", "-listAllUser", env=self.env,
                    json_twin="a twin card would keep its first exchange busy")
        self.assertEqual((r.code, r.out),
                         (0, "Connecting..Connected\nUser 1: admin \n" + REMINDER), r)


if __name__ == "__main__":
    unittest.main()
