"""vorlcli script mode against vorlsim: one login, one command per line."""

import json
import os
import shutil
import tempfile
import unittest

from test_cli_usage import QUESTION
from vorltest import REMINDER, SimTestCase, run_cli

BANNER = "****************************************************\n"


def processed(line, output):
    """What one accepted script line prints."""
    return BANNER + "Processing script line : %s\n" % line + BANNER + output + BANNER + "\n\n"


def refused(line):
    return BANNER + "Processing script line : %s\n" % line + BANNER + \
        "Error processing Command Script line : %s\n" % line


class ScriptTest(SimTestCase):
    def setUp(self):
        super().setUp()
        self.dir = tempfile.mkdtemp(prefix="vorlcli-script-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)
        super().tearDown()

    def script(self, content, keyword="-script"):
        path = os.path.join(self.dir, "lines.scr")
        with open(path, "wb") as f:
            f.write(content.encode("latin-1"))
        return self.cli(keyword, path)

    def users(self):
        r = self.cli("-user", "-listAllUser")
        return r.out[len(self.login_prefix()):-len(REMINDER)]

    def test_lines_run_on_one_login_with_any_delimiters(self):
        lines = ["-user -add bob password1\n", " ,;! -USER;;-add!carl,,password2 \n",
                 "-user -listAllUser"]
        r = self.script("".join(lines), keyword="/SCRIPT")
        self.assertEqual(r.out, self.login_prefix() + processed(lines[0], "") +
                         processed(lines[1], "") +
                         processed(lines[2], "User 1: admin \nUser 2: bob \nUser 3: carl \n") +
                         REMINDER, r)
        self.assertEqual(r.code, 0)
        self.assertEqual(r.out.count("Please Enter Password"), 1)

    def test_an_empty_line_ends_the_script(self):
        for empty in ("\n", "\r\n"):
            with self.subTest(empty=repr(empty)):
                r = self.script("-user -listAllUser\n" + empty + "-user -add bob password1\n")
                self.assertEqual((r.code, r.out), (0, self.login_prefix() +
                                 processed("-user -listAllUser\n", "User 1: admin \n") +
                                 REMINDER))
        self.assertEqual(self.users(), "User 1: admin \n")

    def test_the_result_is_the_last_lines_status(self):
        r = self.script("-user -add bob password1\n-user -add bob password1\n")
        self.assertEqual(r.code, 15, r)
        self.assertTrue(r.out.endswith(processed("-user -add bob password1\n",
                                                 "Add user failed, Already exists\n") + REMINDER))
        r = self.script("")
        self.assertEqual((r.code, r.out), (0, self.login_prefix() + REMINDER))

    def test_invalid_lines_end_the_program_with_8_and_no_reminder(self):
        cases = ("-user -bogus\n", " ,; !\n", "-user" + " -x" * 24 + "\n", "user -listall\n")
        for bad in cases:
            with self.subTest(bad=bad):
                r = self.script("-user -listAllUser\n" + bad + "-user -add bob password1\n")
                self.assertEqual(r.out, self.login_prefix() +
                                 processed("-user -listAllUser\n", "User 1: admin \n") +
                                 refused(bad), r)
                self.assertEqual(r.code, 8)
        self.assertEqual(self.users(), "User 1: admin \n")

    def test_a_line_of_exactly_254_characters_does_not_end_the_script(self):
        long_line = "-user -listAllUser".ljust(254)
        r = self.script(long_line + "\n-user -getSnmp\n")
        self.assertEqual(r.out, self.login_prefix() +
                         processed(long_line, "User 1: admin \n") +
                         processed("-user -getSnmp\n", "No SNMP user found in the system !\n") +
                         REMINDER, r)
        self.assertEqual(r.code, 0)

    def test_a_longer_line_is_refused_whole_and_ends_the_program_with_8(self):
        # Read in pieces it would run as two commands: here the second would add an account.
        first = "-user -listAllUser".ljust(254)
        r = self.script("-user -getSnmp\n" + first + " -user -add bob password1\n"
                        "-user -add eve password2\n")
        self.assertEqual(r.out, self.login_prefix() +
                         processed("-user -getSnmp\n", "No SNMP user found in the system !\n") +
                         "Error processing Command Script line : %s...\n"
                         "A script line holds at most 254 characters.\n" % first, r)
        self.assertEqual(r.code, 8)
        self.assertEqual(self.users(), "User 1: admin \n")
        # The document of the refused line quotes it without the password it holds.
        path = os.path.join(self.dir, "secret.scr")
        with open(path, "w") as f:
            f.write("-user -getSnmp\n" + "-user -add bob password1".ljust(260) + "x\n")
        r = run_cli("--json", "-nw", self.sim.address, "admin", "-script", path,
                    stdin="vorladmin\n")
        docs = [json.loads(line) for line in r.out.splitlines()]
        self.assertEqual([(d["status"], d["ok"], d.get("line"), d.get("stage")) for d in docs],
                         [(0, True, 1, None), (8, False, 2, "words")], r)
        self.assertIn("-user -add bob ***", docs[1]["message"])
        self.assertNotIn("password1", r.out)

    def test_a_script_that_cannot_be_read(self):
        missing = os.path.join(self.dir, "missing.scr")
        for args, name in (([missing], missing), ([], ""), ([self.dir], self.dir)):
            with self.subTest(args=args):
                r = self.cli("-script", *args)
                self.assertEqual((r.code, r.out), (8, self.login_prefix() +
                                 "canot open '%s':No such  file\n" % name + QUESTION), r)

    def test_host_interface_scripts_need_the_card_first(self):
        path = os.path.join(self.dir, "cd.scr")
        with open(path, "w") as f:
            f.write("-user -listall\n")
        r = run_cli("-cd", "-script", path, env={"VORL_HOSTIFC": "none"})
        self.assertEqual((r.code, r.out), (33, "Connecting..Error during connect \n"))


if __name__ == "__main__":
    unittest.main()
