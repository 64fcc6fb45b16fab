"""vorlcli --json for -ModemCfg, -PppCfg, -ASRCfg, -GetI2CCfg, -SetI2CCfg, -GetIpmiCfg and
-SetIpmiCfg against vorlsim: whole documents built from the card's known state, set-then-get
round trips over both transports, card refusals, and refused words as one whole envelope. Every
document is validated against the schema files and its status against the exit status; "ok" is
true only when the card did what was asked."""

import shutil
import unittest

from vorltest import DEFAULT_PASSWORD, HostSim, json_documents, run_cli

TOOL = {"name": "vorlcli", "version": "1.6.4.3"}
SUCCESS = "Operation Success"
INVALID = "Some arguments are invalid."
QUESTION = "\nSome arguments are invalid.Do you want usage help (y/n)?\n"


class JsonCase(unittest.TestCase):
    sim_options = ()

    def setUp(self):
        self.sim = HostSim(*self.sim_options).start()

    def tearDown(self):
        self.sim.stop()
        shutil.rmtree(self.sim.state_dir, ignore_errors=True)

    def run_json(self, *words, host=False):
        """One --json run (-cd when `host`): exactly one valid document on standard output,
        agreeing with the exit status (never "ok" with another status than 0) and naming the
        words typed."""
        if host:
            r = run_cli("--json", "-cd", *words, env=self.sim.hostifc_env())
        else:
            r = run_cli("--json", "-nw", self.sim.address, "admin", *words,
                        stdin=DEFAULT_PASSWORD + "\n")
        documents = json_documents(r)
        self.assertEqual(len(documents), 1, r)
        [doc] = documents
        self.assertEqual((doc["status"], doc["ok"] and r.code != 0, doc["command"]),
                         (r.code, False, list(words)), r)
        return r, doc

    def expect(self, words, schema, data, status=0, message=SUCCESS, changed=None, host=False,
               ok=None):
        """Runs `words` and compares its document whole."""
        r, doc = self.run_json(*words, host=host)
        target = {"interface": "host"} if host else \
            {"interface": "network", "host": self.sim.address, "user": "admin"}
        expected = {"schema": schema, "tool": TOOL, "target": target, "command": list(words),
                    "ok": status == 0 if ok is None else ok, "status": status, "message": message,
                    "data": data}
        if changed is not None:
            expected["changed"] = changed
        self.assertEqual(doc, expected, r)
        return r

    def expect_refused(self, words, message=INVALID):
        """Words the tool refuses before sending anything: the words envelope alone on standard
        output, exit status 8, and the card left as it was."""
        r, doc = self.run_json(*words)
        self.assertEqual(doc, {
            "schema": "vorl.run/1", "tool": TOOL,
            "target": {"interface": "network", "host": self.sim.address, "user": "admin"},
            "command": list(words), "ok": False, "status": 8, "message": message,
            "stage": "words"}, r)
        # The question goes to standard error; the tool's own refusal only to the document.
        self.assertTrue(r.err.endswith(QUESTION), r)
        if message != INVALID:
            self.assertNotIn(message, r.err, r)


ASR_DEFAULT = {"state": "disabled", "state_code": 2, "method": "reset", "method_code": 2,
               "delay_seconds": 240}


class AsrDocumentsTest(JsonCase):
    def test_settings_round_trip_as_the_collection_reads_them(self):
        get = ("-ASRCfg", "-get")
        self.expect(get, "vorl.asrcfg.get/1", ASR_DEFAULT)
        r = self.expect(("-ASRCfg", "-set", "ENABLED", "POWERCYCLE", "600"), "vorl.asrcfg.set/1",
                        {"state": "enabled", "state_code": 1, "method": "power_cycle",
                         "method_code": 1, "delay_seconds": 600, "requested_delay_seconds": 600},
                        changed=True)
        self.assertNotIn("asr->", r.out + r.err)  # the echo is a text rendering of the data
        self.expect(("-ASRCfg", "-Get"), "vorl.asrcfg.get/1",
                    {"state": "enabled", "state_code": 1, "method": "power_cycle",
                     "method_code": 1, "delay_seconds": 600}, host=True)

        # Below the minimum the card gets 240 seconds; the document says what was asked.
        self.expect(("-asrcfg", "-SET", "enabled", "reset", "10"), "vorl.asrcfg.set/1",
                    {"state": "enabled", "state_code": 1, "method": "reset", "method_code": 2,
                     "delay_seconds": 240, "requested_delay_seconds": 10},
                    changed=True, host=True)
        self.expect(get, "vorl.asrcfg.get/1",
                    {"state": "enabled", "state_code": 1, "method": "reset", "method_code": 2,
                     "delay_seconds": 240})

        self.expect_refused(("-ASRCfg", "-set", "ENABLED", "BOGUS", "300"))
        self.expect_refused(("-ASRCfg", "-set", "ENABLED", "RESET", "70000"))
        self.expect_refused(("-ASRCfg", "-set", "ENABLED"), "ASR method was not given !")
        # Forms the console tool has always accepted without doing anything.
        self.expect(("-ASRCfg", "-frob"), "vorl.asrcfg.frob/1", {"performed": False},
                    changed=False, ok=False,
                    message="The words name no ASR command: nothing was done")
        self.expect(("-ASRCfg", "-set", "DISABLED"), "vorl.asrcfg.set/1", ASR_DEFAULT,
                    changed=True)
        self.expect(get, "vorl.asrcfg.get/1", ASR_DEFAULT)


class ModemAndPppDocumentsTest(JsonCase):
    def port(self, name, speed, init, phone=""):
        return {"port": name, "available": True, "speed_baud": int(speed) if speed else None,
                "speed_as_received": speed, "init_string": init, "phone_number": phone}

    def test_ports_and_addresses_round_trip(self):
        self.expect(("-ModemCfg", "-get"), "vorl.modemcfg.get/1",
                    {"ports": [self.port("ttyS2", "57600", "ATZ"),
                               self.port("ttyS3", "9600", "ATZ")]})
        self.expect(("-ModemCfg", "-set", "ttyS3", "-s", "38400", "-i", "AT&F", "-p", "5551234"),
                    "vorl.modemcfg.set/1", {"port": "ttyS3", "speed_baud": 38400,
                                            "init_string": "AT&F", "phone_number": "5551234"},
                    changed=True)
        # A write of one field: the card keeps the others.
        self.expect(("-ModemCfg", "-set", "ttyS3", "-p", "777"), "vorl.modemcfg.set/1",
                    {"port": "ttyS3", "phone_number": "777"}, changed=True, host=True)
        self.expect(("-ModemCfg", "-get", "ttyS3"), "vorl.modemcfg.get/1",
                    {"ports": [self.port("ttyS3", "38400", "AT&F", "777")]}, host=True)
        self.expect(("-ModemCfg", "-get", "ttyS4"), "vorl.modemcfg.get/1",
                    {"ports": [{"port": "ttyS4", "available": False, "card_status": 20}]},
                    status=20, message="No such device")
        self.expect_refused(("-ModemCfg", "-set", "ttyS2", "-s", "14400"),
                            "Invalid baud rate. Baud rate can only be 9600,19200,38400 or 57600!!")
        self.expect_refused(("-ModemCfg", "-set", "TTYS2", "-s", "9600"),
                            "Device can be ttyS2 or ttyS3")

        addresses = {"server_address": "192.168.100.1", "client_address": "192.168.100.2"}
        self.expect(("-PppCfg", "-get"), "vorl.pppcfg.get/1", addresses)
        self.expect(("-PPPCfg", "-set", "10.9.0.1", "10.9.0.2"), "vorl.pppcfg.set/1",
                    {"server_address": "10.9.0.1", "client_address": "10.9.0.2", "performed": True},
                    changed=True)
        self.expect(("-PppCfg", "-get"), "vorl.pppcfg.get/1",
                    {"server_address": "10.9.0.1", "client_address": "10.9.0.2"}, host=True)
        self.expect_refused(("-PppCfg", "-set", "10.9.0.1", "10.9.0.256"), "Invalid IP address !")


IPMI_DEFAULT = {"has_bmc": False, "bmc_i2c_address": 0x20, "ipmi_power_control": False,
                "bmc_sdrs_for_sensors": False, "private_event_log": False}


class BusAndIpmiDocumentsTest(JsonCase):
    def test_addresses_and_flags_round_trip(self):
        self.expect(("-GetI2CCfg",), "vorl.geti2ccfg/1",
                    {"available": True, "slave_address": 0x10})
        self.expect(("-SetI2CCfg", "0x22"), "vorl.seti2ccfg/1",
                    {"slave_address": 0x22, "performed": True}, changed=True)
        self.expect(("-GetI2CCfg",), "vorl.geti2ccfg/1",
                    {"available": True, "slave_address": 0x22}, host=True)
        self.expect_refused(("-SetI2CCfg", "0x123"))

        self.expect(("-GetIpmiCfg",), "vorl.getipmicfg/1", dict(IPMI_DEFAULT, available=True))
        flags = {"has_bmc": True, "bmc_i2c_address": 0x80, "ipmi_power_control": True,
                 "bmc_sdrs_for_sensors": False, "private_event_log": True}
        self.expect(("-SetIpmiCfg", "yes", "0x80", "yes", "no", "YES"), "vorl.setipmicfg/1",
                    dict(flags, performed=True), changed=True, host=True)
        self.expect(("-getipmicfg",), "vorl.getipmicfg/1", dict(flags, available=True))
        self.expect_refused(("-SetIpmiCfg", "no", "256", "no", "no", "no"))


class CardRefusalsTest(JsonCase):
    """A card that refuses every read and write of these groups, the power actions and the
    sensor description (status 3; vorlsim forces statuses over the network only)."""

    sim_options = ("--force-status=0x0C00:3,0x0C01:3,0x0C02:3,0x0C03:3,0x0C06:3,0x0C07:3,"
                   "0x0C08:3,0x0C09:3,0x0C0A:3,0x0C0B:3,0x0300:3,0x0200:3,0x0201:3,0x0202:3",)

    def test_refusals_in_the_data_or_the_status(self):
        r, doc = self.run_json("-ASRCfg", "-get")
        self.assertEqual((doc["status"], doc["data"]), (3, {}))
        # A refused write names none of the values the card did not take.
        r, doc = self.run_json("-ASRCfg", "-set", "ENABLED", "RESET", "300")
        self.assertEqual((doc["ok"], doc["changed"], doc["data"]), (False, False, {}))
        text = run_cli("-nw", self.sim.address, "admin", "-ASRCfg", "-set", "ENABLED", "RESET",
                       "300", stdin=DEFAULT_PASSWORD + "\n")
        self.assertIn("asr->asr_delay: 300", text.out)  # the console still shows what was sent
        r, doc = self.run_json("-PppCfg", "-get")
        self.assertEqual((doc["status"], doc["data"]), (3, {}))
        r, doc = self.run_json("-ModemCfg", "-set", "ttyS2", "-s", "9600")
        self.assertEqual((doc["status"], doc["changed"], doc["data"]), (3, False, {"port": "ttyS2"}))
        # These have always ended with 0 when the card refuses: "ok" is false, the exit status
        # stays 0, the data says it did not happen and names the card's status.
        refused = {"performed": False, "card_status": 3}
        busy = "System is busy"
        for words, data in ((("-PppCfg", "-set", "10.0.0.1", "10.0.0.2"), refused),
                            (("-SetI2CCfg", "0x30"), refused),
                            (("-SetIpmiCfg", "no", "0x20", "no", "no", "no"), refused),
                            (("-HostCtrl", "PowerCycle"), dict(refused, action="power_cycle")),
                            (("-SDK", "-deleteSDK"), refused),
                            (("-SDK", "-rereadSDK"), refused),
                            (("-GetI2CCfg",), {"available": False, "card_status": 3}),
                            (("-GetIpmiCfg",), {"available": False, "card_status": 3}),
                            (("-SDK", "-readsensors"), {"sdk_found": False, "card_status": 3})):
            with self.subTest(words=words):
                r, doc = self.run_json(*words)
                self.assertEqual((r.code, doc["status"], doc["ok"], doc["message"], doc["data"]),
                                 (0, 0, False, busy, data), r)
                self.assertEqual(doc.get("changed", False), False)
        # ttyS2 unreadable has always ended the command as invalid words.
        r, doc = self.run_json("-ModemCfg", "-get")
        self.assertEqual((doc["stage"], doc["message"]),
                         ("words", "Error when getting Modem configuration!"))


if __name__ == "__main__":
    unittest.main()
