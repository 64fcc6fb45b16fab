"""vorlcli.exe under Wine against a native vorlsim: the Windows console, Winsock and CNG paths
of a real run (password from a pipe, login digest, listing, refusals, text-mode output)."""

import os
import shutil
import subprocess
import tempfile
import unittest

from test_cli_usage import CONNECT_FAILED, usage
from vorltest import (DEFAULT_PASSWORD, EMULATOR, REMINDER, VORLCLI, Sim, SimTestCase,
                      fresh_address, run_cli, wait_for_port)

BANNER = "****************************************************\n"


def processed(line, output):
    return BANNER + "Processing script line : %s\n" % line + BANNER + output + BANNER + "\n\n"


class WindowsCliTest(SimTestCase):
    def setUp(self):
        if not EMULATOR or not VORLCLI.endswith(".exe"):
            self.skipTest("runs the Windows build under Wine")
        super().setUp()

    def test_login_and_listing_with_either_line_end(self):
        for line_end in ("\n", "\r\n"):
            with self.subTest(line_end=repr(line_end)):
                r = self.cli("-user", "-listall", password=DEFAULT_PASSWORD + line_end)
                self.assertEqual(r.out, self.login_prefix() +
                                 "User 1: admin Password: vorladmin \n" + REMINDER, r)
                self.assertEqual(r.code, 0, r)

    def test_console_output_is_text_mode(self):
        command = [EMULATOR, VORLCLI, "-nw", self.sim.address, "admin", "-user", "-listAllUser"]
        raw = subprocess.run(command, input=(DEFAULT_PASSWORD + "\n").encode(),
                             stdout=subprocess.PIPE, timeout=60).stdout
        self.assertIn(b"User 1: admin \r\n", raw)
        self.assertEqual(raw.count(b"\n"), raw.count(b"\r\n"), raw)

    def test_changes_reach_the_card_and_a_new_account_logs_in(self):
        r = self.cli("-user", "-add", "bob", "password1")
        self.assertEqual((r.code, r.out), (0, self.login_prefix() + REMINDER), r)
        r = self.cli("-user", "-listAllUser", user="bob", password="password1")
        self.assertEqual(r.out, "Connecting..Connected\nPlease Enter Password : *********\n"
                         "Login Successful !\nUser 1: admin \nUser 2: bob \n" + REMINDER, r)
        r = self.cli("-user", "-add", "bad.name", "password1")
        self.assertEqual((r.code, r.out), (26, self.login_prefix() +
                         "Username contains invalid characters\n" + REMINDER), r)

    def test_refused_login_and_unreachable_cards(self):
        r = self.cli("-user", "-listall", password="vorlAdmin")
        self.assertEqual((r.code, r.out), (1, "Connecting..Connected\nPlease Enter Password : " +
                         "*" * 9 + "\nInvalid Username/Password!\n"), r)
        # Nothing listens there; a host name is never resolved.
        for address in (fresh_address(), "localhost"):
            with self.subTest(address=address):
                r = run_cli("-nw", address, "admin", "-user", "-listall",
                            stdin=DEFAULT_PASSWORD + "\n")
                self.assertEqual((r.code, r.out), (33, CONNECT_FAILED), r)

    def test_script_with_windows_line_ends_stops_at_its_empty_line(self):
        directory = tempfile.mkdtemp(prefix="vorlcli-win-")
        self.addCleanup(shutil.rmtree, directory, ignore_errors=True)
        path = os.path.join(directory, "users.scr")
        with open(path, "wb") as f:
            f.write(b"-user,-listAllUser\r\n-user -getSnmp\r\n\r\n-user -add eve password1\r\n")
        r = self.cli("-script", path)
        self.assertEqual(r.out, self.login_prefix() +
                         processed("-user,-listAllUser\n", "User 1: admin \n") +
                         processed("-user -getSnmp\n", "No SNMP user found in the system !\n") +
                         REMINDER, r)
        self.assertEqual(r.code, 0, r)

    def test_usage_without_a_terminal(self):
        r = run_cli()
        self.assertEqual((r.code, r.out), (8, usage()), r)


class WindowsSim(Sim):
    """vorlsim.exe under Wine: the Winsock listener of the Windows build."""

    def start(self):
        program = os.path.join(os.environ.get("VORL_WINDOWS_BIN", ""), "cardsim", "vorlsim.exe")
        args = [EMULATOR, program, "--listen", self.address, "--port", str(self.port),
                "--state-dir", self.state_dir] + self.options
        self.log = tempfile.TemporaryFile()
        self.process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=self.log,
                                        stderr=subprocess.STDOUT)
        if not wait_for_port(self.address, self.port, seconds=60):
            self.stop()
            raise RuntimeError("vorlsim.exe did not start: " + self.output())
        return self


class WindowsSimTest(unittest.TestCase):
    def setUp(self):
        if not EMULATOR or not os.environ.get("VORL_WINDOWS_BIN"):
            self.skipTest("runs the Windows build under Wine")

    def test_windows_card_serves_and_keeps_its_accounts_across_a_restart(self):
        state = tempfile.mkdtemp(prefix="vorlsim-win-")
        self.addCleanup(shutil.rmtree, state, ignore_errors=True)
        with WindowsSim(state_dir=state) as sim:
            r = run_cli("-nw", sim.address, "admin", "-user", "-add", "winuser", "password1",
                        stdin=DEFAULT_PASSWORD + "\n")
            self.assertEqual(r.code, 0, r)
            r = run_cli("-nw", sim.address, "admin", "-user", "-listall", stdin="wrong\n")
            self.assertEqual(r.code, 1, r)
        with WindowsSim(state_dir=state) as sim:
            r = run_cli("-nw", sim.address, "winuser", "-user", "-listAllUser",
                        stdin="password1\n")
            self.assertEqual(r.out, "Connecting..Connected\nPlease Enter Password : *********\n"
                             "Login Successful !\nUser 1: admin \nUser 2: winuser \n" + REMINDER,
                             r)


if __name__ == "__main__":
    unittest.main()
