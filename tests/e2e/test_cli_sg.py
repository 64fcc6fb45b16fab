"""vorlcli -cd on Linux through the SG_IO backend: sysfs discovery of the SCSI generic CD-ROM
nodes, the probe, the message layer and the machine-wide lock, run against vorlsim. The ioctl
sits behind a test double (VORL_SG_ROOT, VORL_SG_LINK) that reads a sysfs tree built here and
decodes every sg_io_hdr onto vorlsim's device link."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import vorltest
from vorltest import EMULATOR, REMINDER, HostSim, run_cli, sg_tree

CONNECTED = "Connecting..Connected\n"
CONNECT_FAILED = "Connecting..Error during connect \n"
DENIED = "cannot open /dev/sg%d: Permission denied (the card's drive needs group cdrom or root)\n"
CARD, PLAIN, DISK = "E", "D", "C"
CD_ROM, HARD_DISK = 5, 0


@unittest.skipIf(EMULATOR or not sys.platform.startswith("linux"), "the SG_IO backend is Linux's")
class SgPath(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="vorl-sg-")
        self.sim = HostSim().start()

    def tearDown(self):
        self.sim.stop()
        shutil.rmtree(self.sim.state_dir, ignore_errors=True)
        shutil.rmtree(self.work, ignore_errors=True)

    def tree(self, *nodes):
        root = os.path.join(self.work, "root%d" % len(os.listdir(self.work)))
        env = sg_tree(root, self.sim, *nodes)
        env["VORL_MUTEX_DIR"] = self.work
        return env

    def counted(self, env, *words):
        """Runs vorlcli -cd; returns the result and what vorlsim's counters moved by."""
        before = self.sim.devlink_statistics()
        r = run_cli("-cd", *words, env=env)
        after = self.sim.devlink_statistics()
        return r, {k: after[k] - before.get(k, 0) for k in after if after[k] != before.get(k, 0)}

    def test_discovery(self):
        listing = CONNECTED + "User 1: admin Password: vorladmin \n" + REMINDER
        cases = [
            ("no CD-ROM", [(0, HARD_DISK, DISK)], CONNECT_FAILED, 33, {}),
            ("a hard disk and a CD-ROM", [(0, HARD_DISK, DISK), (1, CD_ROM, CARD)],
             listing, 0, {"open E:": 2}),
            ("two CD-ROMs, the second answers", [(3, CD_ROM, PLAIN), (10, CD_ROM, CARD)],
             listing, 0, {"open D:": 1, "open E:": 2}),
            # Kernel order is numeric: sg2 before sg10, whatever the folder's order.
            ("kernel order", [(10, CD_ROM, PLAIN), (2, CD_ROM, CARD)],
             listing, 0, {"open E:": 2}),
            ("a unit attention first", [(1, CD_ROM, CARD + " unit-attention")],
             listing, 0, {"open E:": 2}),
        ]
        for name, nodes, out, code, opens in cases:
            with self.subTest(name):
                r, moved = self.counted(self.tree(*nodes), "-user", "-listall")
                self.assertEqual((r.code, r.out, r.err), (code, out, ""), r)
                self.assertEqual({k: v for k, v in moved.items() if k.startswith("open ")},
                                 opens, moved)

    def test_a_node_that_cannot_be_opened_is_named_and_the_run_ends_with_33(self):
        r = run_cli("-cd", "-user", "-listall",
                    env=self.tree((0, HARD_DISK, DISK), (2, CD_ROM, "denied")))
        self.assertEqual((r.code, r.out, r.err), (33, CONNECT_FAILED, DENIED % 2), r)
        # A denied node that is not the card says nothing when the card is found.
        r = run_cli("-cd", "-user", "-listall",
                    env=self.tree((2, CD_ROM, "denied"), (3, CD_ROM, CARD)))
        self.assertEqual((r.code, r.err), (0, ""), r)

    def test_same_outputs_and_scsi_commands_as_the_simulated_device_backend(self):
        sim_env = self.sim.hostifc_env(self.work)
        sg_env = self.tree((0, HARD_DISK, DISK), (1, CD_ROM, PLAIN), (2, CD_ROM, CARD))
        image = os.path.join(self.work, "card.ima")
        r = run_cli("-cd", "-flash", "-read", image, env=sim_env)
        self.assertEqual(r.code, 0, r)
        # The card's state is one: what the SG path adds, the other path lists.
        r = run_cli("-cd", "-user", "-add", "sgtest", "secret12", env=sg_env)
        self.assertEqual((r.code, r.out), (0, CONNECTED + REMINDER), r)
        self.assertIn("User 2: sgtest", run_cli("-cd", "-user", "-listall", env=sim_env).out)
        for words in (["-user", "-listall"], ["-flash", "-SaveConfig"],
                      ["-flash", "-CompareBoot", image]):
            with self.subTest(words):
                want, want_moved = self.counted(sim_env, *words)
                got, got_moved = self.counted(sg_env, *words)
                self.assertEqual((got.code, got.out), (want.code, want.out), got)
                self.assertEqual(got_moved, want_moved)
        # One probe, then per exchange: block, data, four block reads (three busy), the answer,
        # the closing block read: 8 for a header-only exchange, 136 with a 64 KiB block back.
        for words, per_exchange in ((["-flash", "-SaveConfig"], 8),
                                    (["-flash", "-CompareBoot", image], 136)):
            _, moved = self.counted(sg_env, *words)
            self.assertEqual((moved["exchanges"], moved["scsi-commands"]),
                             (1, 1 + per_exchange), moved)


    def test_two_processes_on_the_sg_path_never_interleave(self):
        lines = 100
        script = os.path.join(self.work, "script.txt")
        with open(script, "w") as f:
            f.write("-user -listall\n" * lines)
        env = dict(os.environ)
        env.update(self.tree((0, CD_ROM, CARD)))
        runs = [subprocess.Popen([vorltest.VORLCLI, "-cd", "-script", script], env=env,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                for _ in range(2)]
        for run in runs:
            out, err = run.communicate(timeout=300)
            self.assertEqual(run.returncode, 0, err.decode(errors="replace"))
            self.assertEqual(out.decode().count("User 1: admin"), lines)
        stats = self.sim.devlink_statistics()
        self.assertEqual((stats["interleaved"], stats["exchanges"]), (0, 2 * lines), stats)


if __name__ == "__main__":
    unittest.main()
