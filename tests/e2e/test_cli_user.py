"""vorlcli against vorlsim: connection, login, the -user group and the closing reminder."""

import json
import os
import select
import shutil
import tempfile
import time
import unittest

from test_cli_usage import QUESTION, usage
from vorltest import (DEFAULT_PASSWORD, EMULATOR, REMINDER, VORLCLI, CardConnection, Sim,
                      SimTestCase, run_cli)


class LoginTest(SimTestCase):
    def test_address_and_user_alone_connect_then_show_the_usage_without_a_password(self):
        for args in ([self.sim.address, "admin"], [self.sim.address]):
            with self.subTest(args=args):
                r = run_cli("-nw", *args, stdin=DEFAULT_PASSWORD + "\n")
                self.assertEqual((r.code, r.out), (1, "Connecting..Connected\n" + usage()), r)

    def test_password_from_a_pipe_with_any_line_end(self):
        for line_end in ("\n", "\r\n", "\r", ""):
            with self.subTest(line_end=repr(line_end)):
                r = self.cli("-user", "-listAllUser", password=DEFAULT_PASSWORD + line_end)
                self.assertEqual(r.out, self.login_prefix() + "User 1: admin \n" + REMINDER, r)
                self.assertEqual(r.code, 0)

    def test_any_first_character_and_case_select_network_mode(self):
        r = run_cli("/NW", self.sim.address, "admin", "-USER", "-LISTALLUSER",
                    stdin=DEFAULT_PASSWORD + "\n")
        self.assertEqual((r.code, r.out), (0, self.login_prefix() + "User 1: admin \n" + REMINDER))

    def test_refused_login_ends_with_the_card_status(self):
        for user, password in (("admin", "vorlAdmin"), ("nobody", DEFAULT_PASSWORD), ("admin", "")):
            with self.subTest(user=user, password=password):
                r = self.cli("-user", "-listall", user=user, password=password)
                self.assertEqual(r.out, "Connecting..Connected\nPlease Enter Password : " +
                                 "*" * len(password) + "\nInvalid Username/Password!\n")
                self.assertEqual(r.code, 1, r)

    def test_password_too_long_for_the_login_is_refused_before_sending(self):
        password = "p" * 32
        r = self.cli("-user", "-listall", password=password)
        self.assertEqual(r.out, "Connecting..Connected\nPlease Enter Password : " + "*" * 32 +
                         "\n" + usage())
        self.assertEqual(r.code, 8)

    def test_backspace_edits_the_typed_password(self):
        r = self.cli("-user", "-listAllUser", password="vorlaX\b\x7f" + "admin")
        self.assertEqual(r.code, 0, r)
        self.assertIn("Login Successful !\n", r.out)

    def test_invalid_group_words_ask_for_the_usage(self):
        for words, answer, extra in ((["-nosuch"], "", ""), (["user", "-listall"], "", ""),
                                     (["-user", "-bogus"], "y\n", usage())):
            with self.subTest(words=words):
                r = self.cli(*words, stdin=answer)
                self.assertEqual((r.code, r.out), (8, self.login_prefix() + QUESTION + extra))


class UserGroupTest(SimTestCase):
    def run_ok(self, *words, expect="", code=0):
        r = self.cli("-user", *words)
        self.assertEqual(r.out, self.login_prefix() + expect + REMINDER, r)
        self.assertEqual(r.code, code, r)

    def test_lists_of_the_default_account(self):
        self.run_ok("-listall", expect="User 1: admin Password: vorladmin \n")
        self.run_ok("-LISTALL", expect="User 1: admin Password: vorladmin \n")
        self.run_ok("-listAllUser", expect="User 1: admin \n")
        self.run_ok("-getSnmp", expect="No SNMP user found in the system !\n")

    def test_add_and_delete_accounts(self):
        name30 = "N" * 30
        self.run_ok("-add", name30, "pass_w-8")
        self.run_ok("-Add", "bob", "password1")
        self.run_ok("-listAll", expect="User 1: admin Password: vorladmin \nUser 2: %s Password: "
                    "pass_w-8 \nUser 3: bob Password: password1 \n" % name30)
        self.run_ok("-add", "bob", "password2", expect="Add user failed, Already exists\n",
                    code=15)
        self.run_ok("-del", name30)
        self.run_ok("-DEL", "ghost", expect="Remove user failed, Resource not exist\n", code=16)
        self.run_ok("-listAllUser", expect="User 1: admin \nUser 2: bob \n")
        # The new account can log in.
        r = self.cli("-user", "-listAllUser", user="bob", password="password1")
        self.assertEqual(r.code, 0, r)

    def test_texts_that_fill_their_fields_are_printed_whole_and_no_further(self):
        # Only another client can store them: vorlcli itself refuses names over 30 characters.
        name, password = "N" * 32, "P" * 32
        with CardConnection(self.sim.address) as card:
            self.assertEqual(card.login(), 0)
            self.assertEqual(card.transact(0x0500, (name + password).encode())[0], 0)
            snmp = name + "MD5".ljust(32, "\0") + "NONE".ljust(32, "\0") + password
            self.assertEqual(card.transact(0x0506, snmp.encode())[0], 0)
        self.run_ok("-listAll", expect="User 1: admin Password: vorladmin \n"
                    "User 2: %s Password: %s \n" % (name, password))
        self.run_ok("-listAllUser", expect="User 1: admin \nUser 2: %s \n" % name)
        self.run_ok("-getSnmp", expect="SNMP users in the system:\nUser 1: %s Password: %s "
                    "Auth Protocol: MD5 Priv Protocol: NONE\n" % (name, password))

    def test_own_checks_refuse_with_26(self):
        name31 = "n" * 31
        cases = (
            (["-add", name31, "password"], "Username cannot be more than 30 characters long\n"),
            (["-add", "bob", "p" * 31], "Password cannot be more than 30 characters long\n"),
            (["-add", "bob.smith", "password"], "Username contains invalid characters\n"),
            (["-add", "bob@host", "password"], "Username contains invalid characters\n"),
            (["-add", "bob", "passwor"], "Password needs to be a minimum of 8 characters\n"),
            (["-add", "bob", "pass.word"], "Password contains invalid characters\n"),
            (["-del", name31], "Username cannot be more than 30 characters long\n"),
            (["-add", "snmp", "p" * 31, "MD5", "DES"],
             "Password cannot be more than 30 characters long\n"),
            (["-add", "sn.mp", "pw", "MD5", "DES"], "Username contains invalid characters\n"),
            (["-add", "snmp", "p w", "MD5", "DES"], "Password contains invalid characters\n"),
        )
        for words, message in cases:
            with self.subTest(words=words):
                self.run_ok(*words, expect=message, code=26)
        self.run_ok("-listAll", expect="User 1: admin Password: vorladmin \n")
        self.run_ok("-getSnmp", expect="No SNMP user found in the system !\n")

    def test_snmp_users(self):
        # Any sub-command but -del adds an SNMP user in the seven-word form; no minimum length.
        self.run_ok("-add", "mon-1", "short", "MD5", "DES")
        self.run_ok("-xyz", "mon_2", "secret2", "SHA", "NONE")
        self.run_ok("-getsnmp", expect="SNMP users in the system:\n"
                    "User 1: mon-1 Password: short Auth Protocol: MD5 Priv Protocol: DES\n"
                    "User 2: mon_2 Password: secret2 Auth Protocol: SHA Priv Protocol: NONE\n")

    def test_snmp_words_that_are_invalid(self):
        cases = ((["-add", "mon", "pw", "md5", "DES"], "Invalid Auth Protocol:md5\nValid input:MD5/SHA"),
                 (["-add", "mon", "pw", "SHA", "Des"], "Invalid Priv Protocol:Des\nValid input:DES/NONE"),
                 (["-del", "mon", "pw", "MD5", "DES"], ""),
                 (["-add", "mon", "pw", "MD5"], ""),
                 (["-listall", "extra"], ""))
        for words, message in cases:
            with self.subTest(words=words):
                r = self.cli("-user", *words)
                self.assertEqual((r.code, r.out), (8, self.login_prefix() + message + QUESTION))
        self.run_ok("-getSnmp", expect="No SNMP user found in the system !\n")


class CardFailureTest(unittest.TestCase):
    """Failures the card reports, or the connection suffers, still end with the reminder."""

    def run_against(self, option, *words):
        with Sim(option) as sim:
            r = run_cli("-nw", sim.address, "admin", "-user", *words,
                        stdin=DEFAULT_PASSWORD + "\n")
        prefix = "Connecting..Connected\nPlease Enter Password : *********\nLogin Successful !\n"
        self.assertTrue(r.out.startswith(prefix), r)
        return r.code, r.out[len(prefix):]

    def test_statuses_and_transport_failures(self):
        cases = (
            ("--force-status=0x0503:5", ["-listAllUser"], 5, ""),
            ("--force-status=0x0502:30", ["-listAll"], 30, ""),
            ("--force-status=0x0507:5", ["-getSnmp"], 5, "Error in getting SNMP users' infomation\n"),
            ("--bad-checksum=0x0507", ["-getSnmp"], 33,
             "Error in getting SNMP users' infomation\n"),
            ("--half-reply=0x0500", ["-add", "bob", "password1"], 33,
             "Add user failed, Error during connect \n"),
            ("--force-status=0x0506:18", ["-add", "m", "pw", "MD5", "DES"], 18,
             "Add SNMP user failed, Insufficient space\n"),
        )
        for option, words, code, out in cases:
            with self.subTest(option=option):
                self.assertEqual(self.run_against(option, *words), (code, out + REMINDER))

    def test_a_refused_challenge_fails_the_login(self):
        with Sim("--force-status=0x0001:3") as sim:
            r = run_cli("-nw", sim.address, "admin", "-user", "-listall",
                        stdin=DEFAULT_PASSWORD + "\n")
        self.assertEqual(r.code, 1, r)
        self.assertTrue(r.out.endswith("Invalid Username/Password!\n"), r)

    def test_status_that_would_wrap_to_success_exits_non_zero(self):
        code, out = self.run_against("--force-status=0x0503:256", "-listAllUser")
        self.assertEqual((code, out), (255, REMINDER))
        with Sim("--force-status=0x0002:512") as sim:
            r = run_cli("-nw", sim.address, "admin", "-user", "-listall",
                        stdin=DEFAULT_PASSWORD + "\n")
        self.assertEqual(r.code, 255, r)
        self.assertTrue(r.out.endswith("Invalid Username/Password!\n"), r)


class PasswordChangeTest(unittest.TestCase):
    """-user -passwd against a card that drops the connection or refuses at one step: afterwards
    the card holds the account with its old or its new password, the caller still logs in, no
    backup account is left behind, and the output says what happened."""

    NEW = "changed-Pw-9"
    PREFIX = "Connecting..Connected\nPlease Enter Password : *********\nLogin Successful !\n"

    def setUp(self):
        # The accounts are set up on a card without faults; the faulty card starts from its
        # state, so that --fault-on counts the change's own requests from 1.
        self.state = tempfile.mkdtemp(prefix="vorlsim-passwd-")
        self.addCleanup(shutil.rmtree, self.state, True)
        with Sim(state_dir=self.state) as sim:
            r = run_cli("-nw", sim.address, "admin", "-user", "-add", "bob", "bob-old-pw",
                        stdin=DEFAULT_PASSWORD + "\n")
            self.assertEqual(r.code, 0, r)

    def accounts(self, sim, password=DEFAULT_PASSWORD):
        """{name: password} as the card lists them, read as admin."""
        r = run_cli("--json", "-nw", sim.address, "admin", "-user", "-listAll",
                    env={"VORL_PASSWORD": password})
        self.assertEqual(r.code, 0, r)
        users = json.loads(r.out)["data"]["users"]
        return {u["name"]: u["password"] for u in users}

    def change(self, sim, name):
        """-user -passwd NAME - with the new password on standard input, as automation sends
        it; the password shows nowhere in the output."""
        r = run_cli("-nw", sim.address, "admin", "-user", "-passwd", name, "-",
                    stdin=DEFAULT_PASSWORD + "\n" + self.NEW + "\n")
        self.assertNotIn(self.NEW, r.out + r.err)
        prompt = self.PREFIX + "New password for %s : %s\n" % (name, "*" * len(self.NEW))
        self.assertTrue(r.out.startswith(prompt), r)
        r.out = r.out[len(prompt):]
        return r

    def test_another_account_at_each_step(self):
        restored = ("Change password failed, %s; the old account was put back: bob has its old "
                    "password\n")
        cases = (
            (["--half-reply=0x0501", "--fault-on=0x0501:1"], 33,
             restored % "deleting the account failed (the connection was lost)", "bob-old-pw"),
            (["--force-status=0x0500:18", "--fault-on=0x0500:1"], 18,
             restored % "adding the account with its new password failed (Insufficient space)",
             "bob-old-pw"),
            (["--half-reply=0x0500", "--fault-on=0x0500:1"], 0,
             "Password changed for user bob (checked again after the connection dropped)\n",
             self.NEW),
        )
        for options, code, message, password in cases:
            with self.subTest(options=options), Sim(*options, state_dir=self.state) as sim:
                r = self.change(sim, "bob")
                self.assertEqual((r.code, r.out), (code, message + REMINDER), r)
                self.assertEqual(self.accounts(sim), {"admin": DEFAULT_PASSWORD, "bob": password})

    def test_the_login_account_at_each_step(self):
        restored = ("Change password failed, %s; the old account was put back: admin has its old "
                    "password\n")
        cases = (
            (["--half-reply=0x0501", "--fault-on=0x0501:1"], 33,
             restored % "deleting the account failed (the connection was lost)", DEFAULT_PASSWORD),
            # The first add is the backup account's, the second the new admin's.
            (["--force-status=0x0500:18", "--fault-on=0x0500:2"], 18,
             restored % "adding the account with its new password failed (Insufficient space)",
             DEFAULT_PASSWORD),
            (["--half-reply=0x0500", "--fault-on=0x0500:2"], 0,
             "Password changed for user admin (checked again after the connection dropped)\n",
             self.NEW),
        )
        for options, code, message, password in cases:
            with self.subTest(options=options), Sim(*options, state_dir=self.state) as sim:
                r = self.change(sim, "admin")
                self.assertEqual((r.code, r.out), (code, message + REMINDER), r)
                # No backup account is left, and admin logs in with the password it holds.
                self.assertEqual(self.accounts(sim, password),
                                 {"admin": password, "bob": "bob-old-pw"})

    def test_a_script_goes_on_over_the_connection_that_proved_the_new_password(self):
        script = os.path.join(self.state, "change.scr")
        with open(script, "w") as f:
            f.write("-user -passwd admin -\n-user -listAllUser\n")
        with Sim(state_dir=self.state) as sim:
            r = run_cli("-nw", sim.address, "admin", "-script", script, stdin=self.NEW + "\n",
                        env={"VORL_PASSWORD": DEFAULT_PASSWORD})
            self.assertEqual(r.code, 0, r)
            self.assertNotIn(self.NEW, r.out + r.err)
            self.assertIn("Password changed for user admin\n", r.out)
            self.assertIn("User 1: bob \nUser 2: admin \n", r.out)
            self.assertEqual(self.accounts(sim, self.NEW), {"admin": self.NEW, "bob": "bob-old-pw"})

    def test_a_full_table_refuses_the_login_account_before_anything_changes(self):
        with Sim(state_dir=self.state) as sim:
            script = "".join("-user -add user%02d password%02d\n" % (n, n) for n in range(14))
            r = run_cli("-nw", sim.address, "admin", "-script", "/dev/stdin", stdin=script,
                        env={"VORL_PASSWORD": DEFAULT_PASSWORD})
            self.assertEqual(r.code, 0, r)
            before = self.accounts(sim)
            self.assertEqual(len(before), 16)
            r = self.change(sim, "admin")
            self.assertEqual((r.code, r.out), (18, "Change password failed, the card holds 16 "
                             "accounts, so there is no room for the backup account that keeps "
                             "your login during the change; delete an account first; nothing "
                             "was changed\n" + REMINDER), r)
            self.assertEqual(self.accounts(sim), before)
            # Another account needs no room.
            self.assertEqual(self.change(sim, "bob").code, 0)

    def test_words_checks_and_unknown_accounts(self):
        with Sim(state_dir=self.state) as sim:
            cli = lambda *w: run_cli("-nw", sim.address, "admin", "-user", "-passwd", *w,
                                     stdin=DEFAULT_PASSWORD + "\n")
            r = cli("bob", "short")
            self.assertEqual((r.code, r.out), (26, self.PREFIX +
                             "Password needs to be a minimum of 8 characters\n" + REMINDER))
            r = cli("ghost", "password1")
            self.assertEqual((r.code, r.out), (16, self.PREFIX + "Change password failed, there "
                             "is no account ghost; nothing was changed\n" + REMINDER))
            r = cli("bob", "bob-old-pw")
            self.assertEqual((r.code, r.out), (0, self.PREFIX +
                             "User bob already has this password\n" + REMINDER))
            r = cli("bob", self.NEW)
            self.assertEqual((r.code, r.out), (0, self.PREFIX +
                             "Password changed for user bob\n" + REMINDER))


@unittest.skipIf(EMULATOR or os.name != "posix", "needs a POSIX terminal")
class TerminalTest(SimTestCase):
    """The password typed on a real terminal: no echo but "*", Enter sends CR alone."""

    def read_until_exit(self, fd, pid, keys):
        """Answers each (prompt, keys, wait_for_no_echo) when the prompt has appeared."""
        import termios
        out = b""
        for prompt, typed, wait_for_no_echo in keys:
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline:
                if select.select([fd], [], [], 0.05)[0]:
                    out += os.read(fd, 4096)
                ready = out.endswith(prompt)
                if ready and wait_for_no_echo:
                    # Keys typed before the program turns echo off would echo: type like a
                    # person, once it waits for the first key.
                    ready = not termios.tcgetattr(fd)[3] & termios.ECHO
                if ready:
                    break
            os.write(fd, typed)
        while True:
            try:
                data = os.read(fd, 4096)
            except OSError:
                break
            if not data:
                break
            out += data
        _, status = os.waitpid(pid, 0)
        return os.waitstatus_to_exitcode(status), out.decode("latin-1")

    def test_password_is_not_echoed_and_backspace_edits_it(self):
        import pty
        pid, fd = pty.fork()
        if pid == 0:
            os.execv(VORLCLI, [VORLCLI, "-nw", self.sim.address, "admin", "-user", "-bogus"])
        try:
            code, out = self.read_until_exit(fd, pid, [
                (b"Password : ", b"vorlX\x7f" + b"admin\r", True),
                (b"(y/n)?", b"n\r", False)])
        finally:
            os.close(fd)
        self.assertEqual(out, "Connecting..Connected\r\nPlease Enter Password : *****\b \b*****"
                         "\r\nLogin Successful !\r\n" + QUESTION.replace("\n", "\r\n")[:-2] +
                         "n\r\n\r\n")
        self.assertEqual(code, 8)


if __name__ == "__main__":
    unittest.main()
