"""vorlcli --json, --yes and the unattended password: every document is checked against the
schema files, its status against the exit status ("ok" only with 0), and standard output holds
documents alone (every text goes to standard error)."""

import os
import shutil
import tempfile
import unittest

from test_cli_usage import QUESTION, usage
from vorltest import (DEFAULT_PASSWORD, REMINDER, HostSim, Sim, SimTestCase, fresh_address,
                      json_documents, run_cli)

TOOL = {"name": "vorlcli", "version": "1.6.4.3"}


class JsonTestCase(SimTestCase):
    def target(self, user="admin"):
        return {"interface": "network", "host": self.sim.address, "user": user}

    def json_cli(self, *words, env=None, prefix=False, **kw):
        """One --json run that must give exactly one document agreeing with its exit status.
        With `prefix`, words[0] is an option put before the mode word."""
        options, words = (words[:1], words[1:]) if prefix else ((), words)
        r = run_cli("--json", *options, "-nw", self.sim.address, "admin", *words,
                    stdin=kw.pop("password", DEFAULT_PASSWORD) + "\n" + kw.pop("stdin", ""),
                    env=env, **kw)
        documents = json_documents(r)
        self.assertEqual(len(documents), 1, r)
        document = documents[0]
        self.assertEqual((document["status"], document["ok"] and r.code != 0), (r.code, False), r)
        return r, document


class UserDocumentsTest(JsonTestCase):
    def test_user_group_as_documents_with_texts_on_standard_error(self):
        r, doc = self.json_cli("-user", "-listAllUser")
        self.assertEqual(doc, {
            "schema": "vorl.user.listalluser/1", "tool": TOOL, "target": self.target(),
            "command": ["-user", "-listAllUser"], "ok": True, "status": 0,
            "message": "Operation Success", "data": {"users": [{"index": 1, "name": "admin"}]}})
        self.assertTrue(r.err.endswith(self.login_prefix() + REMINDER), r)  # Wine may add a line

        r, doc = self.json_cli("-user", "-add", "operator1", "secret-pass")
        self.assertNotIn("secret-pass", r.out)
        self.assertEqual(doc["command"], ["-user", "-add", "operator1", "***"])
        self.assertEqual((doc["changed"], doc["data"]), (True, {"name": "operator1"}))

        r, doc = self.json_cli("-user", "-listAll")
        self.assertEqual(doc["data"], {"users": [
            {"index": 1, "name": "admin", "password": DEFAULT_PASSWORD},
            {"index": 2, "name": "operator1", "password": "secret-pass"}]})

        r, doc = self.json_cli("-user", "-add", "operator1", "short")
        self.assertEqual((r.code, doc["message"], doc["data"], doc["changed"]),
                         (26, "Password needs to be a minimum of 8 characters", None, False))
        self.assertNotIn("Password needs", r.err)

        r, doc = self.json_cli("-user", "-del", "nobody")
        self.assertEqual((doc["ok"], doc["changed"]), (False, False))
        self.assertNotIn("Remove user failed", r.out + r.err)  # the document says it instead
        self.assertNotEqual(doc["message"], "Operation Success")

        r, doc = self.json_cli("-user", "-add", "trap1", "pass-word", "SHA", "DES")
        self.assertEqual(doc["data"], {"name": "trap1", "auth_protocol": "sha",
                                       "priv_protocol": "des"})
        r, doc = self.json_cli("-user", "-getSnmp")
        self.assertEqual(doc["data"], {"snmp_users": [
            {"index": 1, "name": "trap1", "password": "pass-word", "auth_protocol": "sha",
             "auth_protocol_as_received": "SHA", "priv_protocol": "des",
             "priv_protocol_as_received": "DES"}]})

    def test_a_group_with_data_keeps_its_closing_lines_on_standard_error(self):
        r, doc = self.json_cli("-gen", "-getName")
        self.assertEqual((doc["schema"], doc["data"], doc["ok"]),
                         ("vorl.gen.getname/1", {"name": "VORL"}, True))
        self.assertTrue(r.err.endswith(REMINDER), r)


class SettingsDocumentsTest(JsonTestCase):
    def test_network_and_heartbeat_settings_as_data(self):
        r, doc = self.json_cli("-net", "-GetConfig")
        self.assertEqual(doc["data"], {
            "up": True, "method": "static", "method_as_received": "STATIC", "interface": "eth0",
            "mac_address": "02:00:4b:38:00:01", "mac_address_as_received": "02:00:4B:38:00:01",
            "address": "10.10.1.10", "broadcast": "10.10.1.255", "netmask": "255.255.255.0",
            "gateway": "10.10.1.1"})
        r, doc = self.json_cli("-net", "-GetMAC")
        self.assertEqual(doc["data"]["mac_address"], "02:00:4b:38:00:01")
        r, doc = self.json_cli("-net", "-SetMAC", "00:2a:3b:4c:5d:1d", stdin="n\n")
        self.assertEqual((r.code, doc["ok"], doc["message"], doc["changed"], doc["data"]),
                         (0, False, "Command cancelled by user", False, {"confirmed": False}))

        r, doc = self.json_cli("-HB", "-SetHB", "100")
        self.assertEqual((doc["changed"], doc["data"]),
                         (True, {"interval_seconds": 240, "requested_seconds": 100}))
        r, doc = self.json_cli("-HB", "-GetHB")
        self.assertEqual(doc, {
            "schema": "vorl.hb.gethb/1", "tool": TOOL, "target": self.target(),
            "command": ["-HB", "-GetHB"], "ok": True, "status": 0,
            "message": "Operation Success", "data": {"interval_seconds": 240}})


    def test_server_information_and_card_health_as_data(self):
        r, doc = self.json_cli("-setServerInfo", "-ServerName", "web1", "-ServerLocn", "rack4",
                               "-ServerOS", "linux")
        self.assertEqual((doc["schema"], doc["changed"]), ("vorl.setserverinfo/1", True))
        r, doc = self.json_cli("-GetServerInfo")
        self.assertEqual(doc["data"], {"name": "web1", "location": "rack4", "os": "linux",
                                       "description": "", "available": True})
        r, doc = self.json_cli("-HostCtrl", "PowerCycle")
        self.assertEqual((doc["schema"], doc["changed"], doc["data"]),
                         ("vorl.hostctrl.powercycle/1", True,
                          {"action": "power_cycle", "performed": True}))
        r, doc = self.json_cli("-GetCardHealth")
        self.assertEqual(doc["data"]["entries"][:2], [
            {"index": 1, "name": "VCC 3.3V", "volts": 3.296, "status": "normal",
             "status_as_received": "Normal"},
            {"index": 2, "name": "VCC 5V", "volts": 5.012, "status": "normal",
             "status_as_received": "Normal"}])


class FailureEnvelopeTest(JsonTestCase):
    def expect_stop(self, r, doc, stage, status, message):
        self.assertEqual((r.code, doc["stage"], doc["status"], doc["message"], doc["schema"]),
                         (status, stage, status, message, "vorl.run/1"), r)
        self.assertNotIn("data", doc)

    def test_each_stage_before_the_command_gives_its_envelope(self):
        r, doc = self.json_cli("-user", "-nosuch")
        self.expect_stop(r, doc, "words", 8, "Some arguments are invalid.")
        self.assertTrue(r.err.endswith(self.login_prefix() + QUESTION), r)

        r, doc = self.json_cli("-user", "-listAll", password="wrong-password")
        self.expect_stop(r, doc, "login", 1, "Invalid Username/Password!")
        self.assertNotIn("wrong-password", r.out + r.err)

        r = run_cli("--json", "-nw", fresh_address(), "admin", "-user", "-listAll",
                    stdin=DEFAULT_PASSWORD + "\n")
        [doc] = json_documents(r)
        self.expect_stop(r, doc, "connect", 33, "Error during connect")

    def test_malformed_answers_end_in_one_whole_document(self):
        for fault in ("--half-reply=0x0503", "--bad-checksum=0x0503"):
            with self.subTest(fault=fault), Sim(fault) as sim:
                r = run_cli("--json", "-nw", sim.address, "admin", "-user", "-listAllUser",
                            stdin=DEFAULT_PASSWORD + "\n")
                [doc] = json_documents(r)
                self.assertEqual((doc["ok"], doc["status"]), (False, r.code), r)
                self.assertNotEqual(r.code, 0)
                self.assertEqual(doc["data"], {"users": []})


# One command of every group, with the command code its first card request carries.
EVERY_GROUP = [
    ("-user -listAllUser", 0x0503), ("-sel -selInfo", 0x0400), ("-pef -ARInfoGet 1", 0x040F),
    ("-cardMode -get", 0x0608), ("-net -GetMAC", 0x0800), ("-gen -getName", 0x0907),
    ("-HB -GetHB", 0x0A00), ("-SDK -readsensors", 0x0202), ("-ModemCfg -get", 0x0C02),
    ("-PppCfg -get", 0x0C00), ("-ASRCfg -get", 0x0C06), ("-GetServerInfo", 0x0905),
    ("-setServerInfo -ServerName web1 -ServerLocn rack4 -ServerOS linux", 0x0904),
    ("-GetCardHealth", 0x0100),
    ("-GetI2CCfg", 0x0C08), ("-SetI2CCfg 0x22", 0x0C09), ("-GetIpmiCfg", 0x0C0A),
    ("-SetIpmiCfg yes 0x20 yes yes yes", 0x0C0B), ("-HostCtrl PowerUp", 0x0300)]


class EveryGroupTest(JsonTestCase):
    def test_a_script_of_every_group_gives_one_document_per_line(self):
        fd, path = tempfile.mkstemp(prefix="vorl-script-")
        self.addCleanup(os.unlink, path)
        with os.fdopen(fd, "w") as f:
            f.write("".join(words + "\n" for words, _ in EVERY_GROUP))
        r = run_cli("--json", "-nw", self.sim.address, "admin", "-script", path,
                    stdin=DEFAULT_PASSWORD + "\n")
        docs = json_documents(r)
        self.assertEqual([(d["command"], d["line"], d["status"]) for d in docs],
                         [(words.split(), n, 0) for n, (words, _) in enumerate(EVERY_GROUP, 1)],
                         r)
        self.assertEqual(r.code, 0, r)

    def test_malformed_answers_give_one_whole_document_in_every_group(self):
        codes = ",".join("0x%04X" % code for _, code in EVERY_GROUP)
        for fault in ("--half-reply=" + codes, "--bad-checksum=" + codes):
            with Sim(fault) as sim:
                for words, _ in EVERY_GROUP:
                    with self.subTest(fault=fault[:14], words=words):
                        r = run_cli("--json", "-nw", sim.address, "admin", *words.split(),
                                    stdin=DEFAULT_PASSWORD + "\n")
                        [doc] = json_documents(r)
                        # Also the commands that end with 0 when the card fails them.
                        self.assertEqual((doc["status"], doc["ok"]), (r.code, False), r)
                        self.assertEqual(doc["command"], words.split())


class HostInterfaceDocumentTest(unittest.TestCase):
    def test_host_interface_document_names_no_host_or_user(self):
        with HostSim() as sim:
            r = run_cli("--json", "-cd", "-HB", "-GetHB", env=sim.hostifc_env(sim.state_dir))
            [doc] = json_documents(r)
        self.assertEqual(doc, {
            "schema": "vorl.hb.gethb/1", "tool": TOOL, "target": {"interface": "host"},
            "command": ["-HB", "-GetHB"], "ok": True, "status": 0,
            "message": "Operation Success", "data": {"interval_seconds": 240}}, r)
        self.assertEqual(r.code, 0)


class UnattendedTest(JsonTestCase):
    def password_file(self, mode, text=DEFAULT_PASSWORD + "\n"):
        fd, path = tempfile.mkstemp(prefix="vorl-pw-")
        self.addCleanup(os.unlink, path)
        with os.fdopen(fd, "w") as f:
            f.write(text)
        os.chmod(path, mode)
        return path

    def test_password_from_environment_or_private_file_without_a_prompt(self):
        r, doc = self.json_cli("-user", "-listAllUser", password="",
                               env={"VORL_PASSWORD": DEFAULT_PASSWORD})
        self.assertEqual((r.code, r.err.count("Password")), (0, 0), r)
        path = self.password_file(0o600)
        r = run_cli("--password-file", path, "-nw", self.sim.address, "admin", "-user",
                    "-listAllUser")
        self.assertEqual((r.code, r.out), (0, "Connecting..Connected\nLogin Successful !\n"
                                              "User 1: admin \n" + REMINDER), r)

    def test_password_file_that_others_may_read_is_refused_before_connecting(self):
        path = self.password_file(0o644)
        r = run_cli("--json", "--password-file", path, "-nw", self.sim.address, "admin",
                    "-user", "-listAll")
        [doc] = json_documents(r)
        self.assertEqual((r.code, doc["stage"], r.err.count("Connecting")), (5, "login", 0), r)
        self.assertIn("chmod 600", r.err)

    def test_a_password_file_is_checked_as_opened_and_each_refusal_says_why(self):
        folder = tempfile.mkdtemp(prefix="vorl-pw-")
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        fifo = os.path.join(folder, "fifo")
        os.mkfifo(fifo, 0o600)
        cases = [(fifo, 14, "is not a regular file"), (folder, 14, "cannot open password file"),
                 (os.path.join(folder, "missing"), 14, "cannot open password file"),
                 (self.password_file(0o600, ""), 26, "holds no password: its first line is empty"),
                 (self.password_file(0o600, "\n" + DEFAULT_PASSWORD), 26, "first line is empty"),
                 (self.password_file(0o600, "x" * 32 + "\n"), 26, "longer than 31 characters")]
        for path, status, why in cases:
            with self.subTest(why=why, path=path):
                # A FIFO with no writer is refused at once, not waited on.
                r = run_cli("--password-file", path, "-nw", self.sim.address, "admin", "-user",
                            "-listAllUser", timeout=20)
                self.assertEqual((r.code, r.out), (status, ""), r)
                self.assertIn(why, r.err)
                self.assertTrue(r.err.startswith("vorlcli: "), r)
        # Exactly 31 characters is a password like any other (a wrong one here).
        r = run_cli("--password-file", self.password_file(0o600, "p" * 31 + "\r\n"), "-nw",
                    self.sim.address, "admin", "-user", "-listAllUser")
        self.assertEqual((r.code, r.out.count("Invalid Username/Password!")), (1, 1), r)

    def test_yes_answers_questions_and_changes_nothing_elsewhere(self):
        r = self.cli("-user", "-listAllUser")
        r_yes = run_cli("--yes", "-nw", self.sim.address, "admin", "-user", "-listAllUser",
                        stdin=DEFAULT_PASSWORD + "\n")
        self.assertEqual((r_yes.code, r_yes.out), (r.code, r.out))
        r = run_cli("--yes", "-nw", self.sim.address, "admin", "-user", "-nosuch",
                    stdin=DEFAULT_PASSWORD + "\n")
        self.assertEqual((r.code, r.out), (8, self.login_prefix() + QUESTION + usage()))
        plain = self.json_cli("-HB", "-GetHB")[1]
        self.assertEqual(self.json_cli("--yes", "-HB", "-GetHB", prefix=True)[1], plain)


class ScriptLinesTest(JsonTestCase):
    def test_one_document_per_line_and_the_stopping_line_numbered(self):
        fd, path = tempfile.mkstemp(prefix="vorl-script-")
        self.addCleanup(os.unlink, path)
        with os.fdopen(fd, "w") as f:
            f.write("-user -listAllUser\n-gen -getName\n-user -nosuch\n-user -listAll\n")
        r = run_cli("--json", "-nw", self.sim.address, "admin", "-script", path,
                    stdin=DEFAULT_PASSWORD + "\n")
        docs = json_documents(r)
        self.assertEqual(r.code, 8)
        self.assertEqual([(d["schema"], d["status"], d.get("line"), d.get("stage"))
                          for d in docs],
                         [("vorl.user.listalluser/1", 0, 1, None), ("vorl.gen.getname/1", 0, 2, None),
                          ("vorl.run/1", 8, 3, "words")])
        self.assertEqual(docs[2]["command"], ["-user", "-nosuch"])

    def test_a_script_that_runs_nothing_says_so(self):
        for text in ("", "\n-user -listAll\n"):
            with self.subTest(script=text):
                fd, path = tempfile.mkstemp(prefix="vorl-script-")
                self.addCleanup(os.unlink, path)
                with os.fdopen(fd, "w") as f:
                    f.write(text)
                r = run_cli("--json", "-nw", self.sim.address, "admin", "-script", path,
                            stdin=DEFAULT_PASSWORD + "\n")
                self.assertEqual(json_documents(r), [{
                    "schema": "vorl.script/1", "tool": TOOL, "target": self.target(),
                    "command": ["-script", path], "ok": True, "status": 0,
                    "message": "Operation Success", "data": {"file": path, "lines_run": 0}}])
                self.assertEqual(r.code, 0, r)


if __name__ == "__main__":
    unittest.main()
