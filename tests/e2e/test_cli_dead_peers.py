"""vorlcli against cards that go silent, stay busy, answer late or are fed too much: every wait
ends, a late answer never reaches the next command, and vorlsim's memory stays bounded.
The one-minute wait limit is shortened for these tests with VORL_TEST_WAIT_LIMIT_MS."""

import os
import shutil
import socket
import struct
import subprocess
import time
import unittest
import zlib

import vorltest
from test_cli_cd import HostInterfaceCli
from vorltest import (DEVLINK_PORT, REMINDER, CardConnection, HostSim, Sim, SimTestCase,
                      run_cli)

LIMIT_MS = 1500
SHORT_LIMIT = {"VORL_TEST_WAIT_LIMIT_MS": str(LIMIT_MS)}
CONNECTED = "Connecting..Connected\n"
BANNER = "****************************************************\n"
CHANGED = ("The IP address of VORL card has been changed to 10.0.0.5.\n"
           "Please use the new IP to connect to the card.\n")
REFUSED = "Error while setting network configuration ! \n"
SET_STATIC = ["-Net", "-SetStatic", "10.0.0.5", "255.0.0.0", "10.0.0.1"]


def processed(line, output):
    return BANNER + "Processing script line : %s\n" % line + BANNER + output + BANNER + "\n\n"


class Timed:
    def __enter__(self):
        self.start = time.monotonic()
        return self

    def __exit__(self, *exc):
        self.seconds = time.monotonic() - self.start


class ScriptMixin:
    def run_script(self, lines, env=None, **kw):
        path = os.path.join(self.sim.state_dir, "lines.scr")
        with open(path, "w") as f:
            f.write("".join(lines))
        return self.cli("-script", path, env=env, **kw)


class SilentCard(ScriptMixin, SimTestCase):
    sim_options = ("--no-reply=0x0502",)

    def test_a_silent_card_ends_the_command_with_33_at_the_wait_limit(self):
        with Timed() as t:
            r = self.cli("-user", "-listall", env=SHORT_LIMIT)
        self.assertEqual((r.code, r.out), (33, self.login_prefix() + REMINDER), r)
        self.assertGreaterEqual(t.seconds, LIMIT_MS / 1000 - 0.1)
        self.assertLess(t.seconds, LIMIT_MS / 1000 + 8)

    def test_a_script_goes_on_as_after_a_lost_connection(self):
        lines = ["-user -listall\n", "-user -listAllUser\n"]
        with Timed() as t:
            r = self.run_script(lines, env=SHORT_LIMIT,
                                json_twin="timed: a twin would count in the time measured")
        # The second line fails at once: the connection was given up, not waited on again.
        self.assertEqual(r.out, self.login_prefix() + processed(lines[0], "") +
                         processed(lines[1], "") + REMINDER, r)
        self.assertEqual(r.code, 33, r)
        self.assertLess(t.seconds, 2 * LIMIT_MS / 1000)


class StalledAnswers(unittest.TestCase):
    def test_an_answer_that_stops_after_the_signature_or_in_the_payload(self):
        for sent in (8, 20, 40):
            with self.subTest(bytes=sent), Sim("--stall-reply=0x0502:%d" % sent) as sim:
                with Timed() as t:
                    r = run_cli("-nw", sim.address, "admin", "-user", "-listall",
                                stdin="vorladmin\n", env=SHORT_LIMIT)
                self.assertEqual(r.code, 33, r)
                self.assertTrue(r.out.endswith("Login Successful !\n" + REMINDER), r)
                self.assertLess(t.seconds, LIMIT_MS / 1000 + 8)


class SetStaticOverTheNetwork(ScriptMixin, SimTestCase):
    def test_no_answer_is_still_a_changed_address_after_about_a_second(self):
        with Timed() as t:
            r = self.cli(*SET_STATIC)
        self.assertEqual((r.code, r.out), (0, self.login_prefix() + CHANGED + REMINDER), r)
        self.assertGreaterEqual(t.seconds, 0.9)


class RefusedAtOnce(SimTestCase):
    sim_options = ("--force-status=0x0701:26",)

    def test_a_refusal_is_reported_every_time(self):
        for run in range(5):
            r = self.cli(*SET_STATIC)
            self.assertEqual((r.code, r.out), (26, self.login_prefix() + REFUSED + REMINDER),
                             (run, r))


class RefusedAfterAWhile(SimTestCase):
    sim_options = ("--force-status=0x0701:26", "--reply-delay=0x0701:200")

    def test_a_refusal_after_200_ms_is_reported(self):
        r = self.cli(*SET_STATIC)
        self.assertEqual((r.code, r.out), (26, self.login_prefix() + REFUSED + REMINDER), r)


class LateRefusal(ScriptMixin, SimTestCase):
    # The refusal comes after vorlcli stopped waiting for it; the next commands must not take it
    # for their own answer.
    sim_options = ("--force-status=0x0701:26", "--reply-delay=0x0701:1800")

    def test_the_next_lines_of_a_script_get_their_own_answers(self):
        lines = ["-net -SetStatic 10.0.0.5 255.0.0.0 10.0.0.1\n", "-user -listall\n",
                 "-net -GetMAC\n"]
        r = self.run_script(lines)
        self.assertEqual(r.out, self.login_prefix() + processed(lines[0], CHANGED) +
                         processed(lines[1], "User 1: admin Password: vorladmin \n") +
                         processed(lines[2], "MAC Address is : 02:00:4B:38:00:01 \n") +
                         REMINDER, r)
        self.assertEqual(r.code, 0, r)


class HostInterfaceCase(HostInterfaceCli):
    def env(self):
        env = dict(os.environ)
        env.update(self.sim.hostifc_env(self.mutex_dir))
        env.update(SHORT_LIMIT)
        return env


class StuckBusyCard(HostInterfaceCase):
    sim_options = ("--stuck-busy",)

    def test_the_exchange_ends_with_33_and_frees_the_drive(self):
        for run in range(2):  # the second run gets the drive: the first one released it
            with Timed() as t:
                r = run_cli("-cd", "-user", "-listall", env=self.env())
            self.assertEqual((r.code, r.out), (33, CONNECTED + REMINDER), (run, r))
            self.assertGreaterEqual(t.seconds, LIMIT_MS / 1000 - 0.1)
            self.assertLess(t.seconds, LIMIT_MS / 1000 + 8)


class TwoProcessesOneStuckCard(HostInterfaceCase):
    # The first exchange the card gets stays busy for ever; later ones are answered.
    sim_options = ("--stuck-busy=1",)

    def test_the_second_process_gets_the_drive_after_the_first_gives_up(self):
        command = ([vorltest.EMULATOR] if vorltest.EMULATOR else []) + \
            [vorltest.VORLCLI, "-cd", "-user", "-listall"]
        runs = []
        for _ in range(2):
            runs.append(subprocess.Popen(command, env=self.env(), stdout=subprocess.PIPE,
                                         stderr=subprocess.PIPE))
            time.sleep(0.5)
        results = []
        for run in runs:
            out, err = run.communicate(timeout=60)
            results.append((run.returncode, out.decode().replace("\r\n", "\n"),
                            time.monotonic()))
        # Whichever process reached the card first waited for the limit and gave up; the other
        # waited for the drive, then got its answer.
        first, second = sorted(results, key=lambda result: result[2])
        self.assertEqual(first[:2], (33, CONNECTED + REMINDER), results)
        self.assertEqual(second[:2], (0, CONNECTED + "User 1: admin Password: vorladmin \n" +
                                      REMINDER), results)
        # The stuck exchange is dropped when its host goes away, or taken over by the other
        # host's block if that comes first; never interleaved.
        stats = self.sim.devlink_statistics()
        self.assertEqual((stats["interleaved"], stats["exchanges"]), (0, 1), stats)
        self.assertLessEqual(stats["abandoned"], 1, stats)


def chunk_record(path, index, data=b"\x5a" * 65536, state=6):
    head = path.encode().ljust(80, b"\0") + struct.pack(">HIHI", index, len(data), state,
                                                         zlib.crc32(data))
    return head + data


def resident_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


class BoundedSimulator(SimTestCase):
    def test_file_writes_beyond_the_store_are_refused_and_memory_stays_bounded(self):
        before = resident_kib(self.sim.process.pid)
        with CardConnection(self.sim.address) as card:
            self.assertEqual(card.login(), 0)
            statuses = [card.transact(0x060B, chunk_record("f%d" % i, 255))[0]
                        for i in range(40)]
            self.assertEqual(statuses, [18] * 40)
            # What fits is still taken.
            self.assertEqual(card.transact(0x060B, chunk_record("small", 3))[0], 0)
        grown = resident_kib(self.sim.process.pid) - before
        self.assertLess(grown, 64 * 1024, "vorlsim grew by %d KiB" % grown)

    def test_a_finished_device_link_connection_is_closed_at_once(self):
        sim = HostSim().start()
        try:
            with socket.create_connection((sim.address, DEVLINK_PORT), timeout=5) as s:
                s.sendall(b"X" + bytes(27))  # not a request: the link ends the connection
                s.settimeout(5)
                self.assertEqual(s.recv(1), b"")
        finally:
            sim.stop()
            shutil.rmtree(sim.state_dir, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
