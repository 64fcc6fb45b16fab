"""vorlcli -cd against vorlsim through the simulated device backend (VORL_HOSTIFC)."""

import os
import shutil
import subprocess
import tempfile
import unittest

import vorltest
from vorltest import HostSim, REMINDER, run_cli

CONNECTED = "Connecting..Connected\n"
CONNECT_FAILED = "Connecting..Error during connect \n"


class HostInterfaceCli(unittest.TestCase):
    sim_options = ()

    def setUp(self):
        self.mutex_dir = tempfile.mkdtemp(prefix="vorl-mutex-")
        self.sim = HostSim(*self.sim_options).start()

    def tearDown(self):
        self.sim.stop()
        shutil.rmtree(self.sim.state_dir, ignore_errors=True)
        shutil.rmtree(self.mutex_dir, ignore_errors=True)

    def cd(self, *words, env=None, **kw):
        full = self.sim.hostifc_env(self.mutex_dir)
        full.update(env or {})
        return run_cli("-cd", *words, env=full, **kw)


class UserCommands(HostInterfaceCli):
    def test_list_add_and_delete_without_login(self):
        r = self.cd("-user", "-listall")
        self.assertEqual(r.code, 0, r)
        self.assertEqual(r.out, CONNECTED + "User 1: admin Password: vorladmin \n" + REMINDER)

        r = self.cd("-user", "-add", "operator", "secret12")
        self.assertEqual(r.code, 0, r)
        # The card's state is one: the network side sees the account the host interface made.
        r = run_cli("-nw", self.sim.address, "admin", "-user", "-listall", stdin="vorladmin\n")
        self.assertIn("operator", r.out, r)
        r = self.cd("-user", "-listall")
        self.assertIn("User 2: operator", r.out, r)

    def test_debug_lines_stay_off_standard_output(self):
        r = self.cd("-user", "-listall", env={"VORL_DEBUG": "stderr"})
        self.assertEqual(r.code, 0, r)
        self.assertNotIn("K8HOSTIFC", r.out)
        self.assertIn("[K8HOSTIFC]: FindK8 CDROM DRIVE - Success\n", r.err)
        self.assertIn("[K8HOSTIFC]: Connect Success\n", r.err)
        stats = self.sim.devlink_statistics()
        self.assertEqual(stats["open D:"], 1)  # the plain CD-ROM drive was probed
        self.assertNotIn("open C:", stats)      # the hard disk never


class NoCard(unittest.TestCase):
    def test_without_a_card_the_connect_fails_with_33(self):
        # Nothing listens on this device link; and on Linux the default backend has no drives.
        for env in ({"VORL_HOSTIFC": "sim:127.0.0.1:1"}, {"VORL_HOSTIFC": ""},
                    {"VORL_HOSTIFC": "sim:nonsense"}):
            r = run_cli("-cd", "-user", "-listall", env=env)
            self.assertEqual((r.code, r.out), (33, CONNECT_FAILED), (env, r))


class NoCardDrive(HostInterfaceCli):
    sim_options = ("--no-card-drive",)

    def test_drives_without_the_card_give_33(self):
        r = self.cd("-user", "-listall", env={"VORL_DEBUG": "stderr"})
        self.assertEqual((r.code, r.out), (33, CONNECT_FAILED), r)
        self.assertIn("problem finding K8 CDROM DRIVE", r.err)


class RefusedTwice(HostInterfaceCli):
    sim_options = ("--refuse-passthrough=2",)

    def test_two_refusals_are_retried_and_the_command_succeeds(self):
        r = self.cd("-user", "-listall", env={"VORL_DEBUG": "stderr"})
        self.assertEqual(r.code, 0, r)
        self.assertIn("User 1: admin", r.out)
        self.assertEqual(r.err.count("dump of CDB Follows"), 2, r.err)
        self.assertNotIn("even after 3 retries", r.err)


class BadScsiStatus(HostInterfaceCli):
    sim_options = ("--scsi-status=2",)

    def test_every_command_failing_ends_with_33_after_four_attempts(self):
        r = self.cd("-user", "-listall", env={"VORL_DEBUG": "stderr"}, timeout=120)
        self.assertEqual(r.code, 33, r)
        self.assertEqual(r.err.count("SendScsiCommand failure even after 3 retries in WriteCD!!"),
                         1, r.err)


class TwoProcesses(HostInterfaceCli):
    sim_options = ("--busy-polls=2",)
    LINES = 150

    def test_exchanges_of_two_processes_never_interleave(self):
        script = os.path.join(self.mutex_dir, "script.txt")
        with open(script, "w") as f:
            f.write("-user -listall\n" * self.LINES)
        env = dict(os.environ)
        env.update(self.sim.hostifc_env(self.mutex_dir))
        command = ([vorltest.EMULATOR] if vorltest.EMULATOR else []) + \
            [vorltest.VORLCLI, "-cd", "-script", script]
        runs = [subprocess.Popen(command, env=env, stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE) for _ in range(2)]
        for run in runs:
            out, err = run.communicate(timeout=600)
            self.assertEqual(run.returncode, 0, err.decode(errors="replace"))
            self.assertEqual(out.decode().count("User 1: admin"), self.LINES)
        stats = self.sim.devlink_statistics()
        self.assertEqual(stats["interleaved"], 0, stats)
        self.assertEqual(stats["exchanges"], 2 * self.LINES, stats)


if __name__ == "__main__":
    unittest.main()
