"""vorlsim as a process: login over raw packets, state across restarts, options, faults."""

import hashlib
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import unittest

from vorltest import (DEVLINK_PORT, VORLSIM, CardConnection, Sim, devlink_statistics,
                      fresh_address, fresh_addresses, request_header, text_fields)


def user_record(name, password):
    return name.encode().ljust(32, b"\0") + password.encode().ljust(32, b"\0")


class LoginTest(unittest.TestCase):
    def setUp(self):
        self.sim = Sim().start()
        self.addCleanup(self.sim.stop)
        self.addCleanup(shutil.rmtree, self.sim.state_dir, True)
        self.card = CardConnection(self.sim.address)
        self.addCleanup(self.card.close)

    def test_commands_before_login_are_refused(self):
        self.assertEqual(self.card.transact(0x0503), (2, b""))
        self.assertEqual(self.card.transact(0x0500, user_record("mallory", "password1"))[0], 2)
        self.assertEqual(self.card.login(), 0)
        # The refused add was not carried out.
        self.assertEqual(text_fields(self.card.transact(0x0503)[1], 32), ["admin"])

    def test_each_challenge_is_fresh(self):
        challenges = set()
        for _ in range(4):
            status, challenge = self.card.transact(0x0001)
            self.assertEqual((status, len(challenge)), (0, 8))
            challenges.add(challenge)
        self.assertEqual(len(challenges), 4)

    def test_login_checks_name_and_digest(self):
        self.assertEqual(self.card.login(password="wrongpass"), 1)
        self.assertEqual(self.card.transact(0x0503)[0], 2)
        self.assertEqual(self.card.login(user="nobody"), 1)
        self.assertEqual(self.card.login(user="ADMIN"), 1)
        self.assertEqual(self.card.login(), 0)
        self.assertEqual(self.card.transact(0x0503)[0], 0)

    def test_login_without_challenge_or_with_a_used_one_fails(self):
        record = b"admin".ljust(32, b"\0") + hashlib.md5(b"vorladmin").digest() + bytes(24)
        self.assertEqual(self.card.transact(0x0002, record)[0], 1)
        status, challenge = self.card.transact(0x0001)
        good = b"admin".ljust(32, b"\0") + hashlib.md5(b"vorladmin" + challenge).digest() + \
            bytes(24)
        self.assertEqual(self.card.transact(0x0002, good)[0], 0)
        # Replaying the same digest: the challenge was used up.
        self.assertEqual(self.card.transact(0x0002, good)[0], 1)

    def test_login_is_per_connection(self):
        self.assertEqual(self.card.login(), 0)
        with CardConnection(self.sim.address) as other:
            self.assertEqual(other.transact(0x0503)[0], 2)

    def test_new_account_can_log_in(self):
        self.assertEqual(self.card.login(), 0)
        self.assertEqual(self.card.transact(0x0500, user_record("operator_1", "s3cret-pw"))[0], 0)
        with CardConnection(self.sim.address) as other:
            self.assertEqual(other.login("operator_1", "s3cret-pw"), 0)

    def test_bad_request_checksum_gets_34_and_connection_goes_on(self):
        self.card.send(0x0001, checksum_ok=False)
        status, payload, header = self.card.receive()
        self.assertEqual((status, payload), (34, b""))
        self.assertEqual(header[20:22], b"\x01\x00")
        self.assertEqual(self.card.login(), 0)

    def test_oversized_request_closes_the_connection(self):
        self.card.sock.sendall(request_header(0x0500, 66529))
        self.assertEqual(self.card.sock.recv(1), b"")

    def test_stray_bytes_before_a_request_are_skipped(self):
        self.card.sock.sendall(b"ZOR U\xaaZ junk")
        self.assertEqual(self.card.login(), 0)


class ProcessTest(unittest.TestCase):
    def test_state_dir_survives_a_restart_of_the_process(self):
        state = tempfile.mkdtemp(prefix="vorlsim-state-")
        self.addCleanup(shutil.rmtree, state, True)
        with Sim(state_dir=state) as sim:
            with CardConnection(sim.address) as card:
                self.assertEqual(card.login(), 0)
                self.assertEqual(card.transact(0x0500, user_record("keeper", "password8"))[0], 0)
                self.assertEqual(card.transact(0x0501, user_record("admin", "fillerpwd"))[0], 0)
        self.assertEqual(sim.process.returncode, 0)
        with Sim(state_dir=state) as sim:
            with CardConnection(sim.address) as card:
                self.assertEqual(card.login("admin", "vorladmin"), 1)
                self.assertEqual(card.login("keeper", "password8"), 0)
                self.assertEqual(text_fields(card.transact(0x0503)[1], 32), ["keeper"])

    def test_reset_closes_every_connection_and_keeps_or_drops_state(self):
        with Sim() as sim:
            with CardConnection(sim.address) as card, CardConnection(sim.address) as idle:
                self.assertEqual(card.login(), 0)
                self.assertEqual(card.transact(0x0500, user_record("keeper", "password8"))[0], 0)
                self.assertEqual(card.transact(0x0900), (0, b""))
                self.assertEqual(card.sock.recv(1), b"")
                self.assertEqual(idle.sock.recv(1), b"")
            with CardConnection(sim.address) as card:
                self.assertEqual(card.login("keeper", "password8"), 0)
                self.assertEqual(card.transact(0x0901), (0, b""))
                self.assertEqual(card.sock.recv(1), b"")
            with CardConnection(sim.address) as card:
                self.assertEqual(card.login("keeper", "password8"), 1)
                self.assertEqual(card.login(), 0)
                self.assertEqual(text_fields(card.transact(0x0503)[1], 32), ["admin"])
            with Sim(state_dir=sim.state_dir) as again:
                with CardConnection(again.address) as card:
                    self.assertEqual(card.login("keeper", "password8"), 1)

    def test_without_state_dir_state_is_in_memory(self):
        address = fresh_address()
        process = subprocess.Popen([VORLSIM, "--listen", address, "--port=6577"],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   cwd=tempfile.gettempdir())
        try:
            # Other parts of the card (the device link) may announce themselves too.
            expected = ("vorlsim: listening on %s:6577\n" % address).encode()
            for _ in range(10):
                line = process.stdout.readline()
                if line == expected or not line:
                    break
            self.assertEqual(line, expected)
            with CardConnection(address) as card:
                self.assertEqual(card.login(), 0)
        finally:
            process.send_signal(signal.SIGINT)
            self.assertEqual(process.wait(timeout=10), 0)
            process.stdout.close()
            process.stderr.close()

    def test_unknown_option_exits_2(self):
        done = subprocess.run([VORLSIM, "--listen", fresh_address(), "--frobnicate=3"],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=30)
        self.assertEqual(done.returncode, 2)
        self.assertIn(b"vorlsim: unknown option --frobnicate", done.stderr)
        self.assertNotIn(b"listening", done.stdout)

    def test_bad_values_exit_2(self):
        for args in (["--port", "70000"], ["--listen", "localhost"], ["--port"],
                     ["--no-reply=0x1FFFF"], ["--force-status=0x0503"], ["stray"]):
            done = subprocess.run([VORLSIM] + args, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, timeout=30)
            self.assertEqual(done.returncode, 2, args)

    def test_help(self):
        done = subprocess.run([VORLSIM, "--help"], stdout=subprocess.PIPE, timeout=30)
        self.assertEqual(done.returncode, 0)
        self.assertIn(b"admin / vorladmin", done.stdout)


class FaultTest(unittest.TestCase):
    def start(self, *options):
        sim = Sim(*options).start()
        self.addCleanup(sim.stop)
        self.addCleanup(shutil.rmtree, sim.state_dir, True)
        card = CardConnection(sim.address, timeout=5)
        self.addCleanup(card.close)
        return card

    def test_stray_bytes_come_before_every_response(self):
        card = self.start("--stray-bytes=40")
        self.assertEqual(card.login(), 0)
        self.assertEqual(card.skipped, 40)
        self.assertEqual(text_fields(card.transact(0x0503)[1], 32), ["admin"])
        self.assertEqual(card.skipped, 40)

    def test_bad_checksum_only_for_its_code(self):
        card = self.start("--bad-checksum=0x0503")
        self.assertEqual(card.login(), 0)
        card.send(0x0503)
        status, payload, header = card.receive()
        self.assertNotEqual(sum(header) & 0xFF, 0)
        self.assertEqual(payload[:5], b"admin")
        card.send(0x0502)
        self.assertEqual(sum(card.receive()[2]) & 0xFF, 0)

    def test_no_reply_keeps_the_connection(self):
        card = self.start("--no-reply=1283,0x0502")  # 1283 = 0x0503
        self.assertEqual(card.login(), 0)
        for command in (0x0503, 0x0502):
            card.send(command)
            card.sock.settimeout(0.5)
            with self.assertRaises(socket.timeout):
                card.sock.recv(1)
        card.sock.settimeout(5)
        self.assertEqual(card.transact(0x0507), (0, b""))

    def test_half_reply_then_close(self):
        card = self.start("--half-reply=0x0502")
        self.assertEqual(card.login(), 0)
        card.send(0x0502)
        received = b""
        while True:
            chunk = card.sock.recv(4096)
            if not chunk:
                break
            received += chunk
        self.assertEqual(len(received), (32 + 64) // 2)

    def test_forced_status_does_not_execute(self):
        card = self.start("--force-status=0x0500:18,0x0501:0")
        self.assertEqual(card.login(), 0)
        self.assertEqual(card.transact(0x0500, user_record("ghost", "password8")), (18, b""))
        self.assertEqual(card.transact(0x0501, user_record("admin", "fillerpwd")), (0, b""))
        self.assertEqual(text_fields(card.transact(0x0503)[1], 32), ["admin"])

    def test_forced_login_success_does_not_log_in(self):
        card = self.start("--force-status=2:0")
        self.assertEqual(card.login(password="wrongpass"), 0)
        self.assertEqual(card.transact(0x0503), (2, b""))


if __name__ == "__main__":
    unittest.main()


class ManyCardsTest(unittest.TestCase):
    """--cards N: one process, N cards on consecutive addresses, each with its own state."""

    def start(self, addresses, state_dir):
        process = subprocess.Popen([VORLSIM, "--listen", addresses[0], "--cards", str(len(addresses)),
                                    "--state-dir", state_dir], stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        self.addCleanup(lambda: (process.poll() is None and process.kill(), process.wait()))
        lines = [process.stdout.readline().decode().strip() for _ in range(2 * len(addresses))]
        for address in addresses:
            self.assertIn("vorlsim: listening on %s:6577" % address, lines)
            self.assertIn("vorlsim: device link on %s:%d" % (address, DEVLINK_PORT), lines)
        return process

    def test_each_address_is_a_card_of_its_own_across_restarts(self):
        addresses = fresh_addresses(3)
        state_dir = tempfile.mkdtemp(prefix="vorlsim-cards-")
        self.addCleanup(shutil.rmtree, state_dir, True)
        process = self.start(addresses, state_dir)
        with CardConnection(addresses[1]) as card:
            self.assertEqual(card.login(), 0)
            self.assertEqual(card.transact(0x0500, user_record("second", "password2"))[0], 0)
        with CardConnection(addresses[1]) as card:
            self.assertEqual(card.login("second", "password2"), 0)
        with CardConnection(addresses[2]) as card:
            self.assertEqual(card.login("second", "password2"), 1)
        # Statistics are per card: logins on the second card only.
        self.assertEqual([devlink_statistics(a)["logins"] for a in addresses], [0, 2, 0])
        process.send_signal(signal.SIGTERM)
        self.assertEqual(process.wait(timeout=10), 0)
        self.assertEqual(sorted(os.listdir(state_dir)), sorted(addresses))
        self.start(addresses, state_dir)
        with CardConnection(addresses[1]) as card:
            self.assertEqual(card.login("second", "password2"), 0)
        with CardConnection(addresses[0]) as card:
            self.assertEqual(card.login(), 0)
            self.assertEqual(text_fields(card.transact(0x0503)[1], 32), ["admin"])

    def test_bad_counts_and_a_shared_device_link_address_exit_2(self):
        for words in (["--cards", "0"], ["--cards", "1025"], ["--cards", "x"],
                      ["--listen", "255.255.255.254", "--cards", "3"],
                      ["--cards", "2", "--devlink-listen=127.0.0.1"]):
            done = subprocess.run([VORLSIM] + words, capture_output=True, timeout=10)
            self.assertEqual(done.returncode, 2, words)
            self.assertTrue(done.stderr.startswith(b"vorlsim: "), done.stderr)
