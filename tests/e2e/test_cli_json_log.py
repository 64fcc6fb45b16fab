"""vorlcli --json for the event log (-sel), alert recipients (-pef), general settings (-gen) and
the sensor description (-SDK): whole documents built from vorlsim's known state, every document
checked against the schema files, its status against the exit status ("ok" only with 0),
standard output holding the document alone; and a card that answers badly still gives one whole
document."""

import datetime
import os
import tempfile
import time
import unittest

from vorltest import (DEFAULT_PASSWORD, REMINDER, HostSim, Sim, SimTestCase, json_documents,
                      run_cli)

TOOL = {"name": "vorlcli", "version": "1.6.4.3"}
EPOCH = "1970-01-01T00:00:00Z"
EMPTY_RECIPIENT = {
    "name": "", "mail_address": "", "snmp_destination": "", "ppp_login": "",
    "notification_method": None, "notification_method_as_received": "",
    "alert_level": "disabled", "alert_level_as_received": "Disable Alerts"}


READING_FAILED = -2 ** 31  # what the card sends for a sensor it could not read


def sensor(index, name, reading, unit, code, per_unit=1):
    """A sensor as -SDK -readsensors gives it: its value in `unit`, the card's reading counting
    1/`per_unit` of it."""
    return {"index": index, "name": name,
            "value": None if reading is None else reading / per_unit, "unit": unit,
            "reading_as_received": READING_FAILED if reading is None else reading,
            "unit_code": code, "access_failed": reading is None}


FACTORY_SENSORS = [
    {"index": 1, "name": "Voltages", "sensors": [
        sensor(1, "CPU Core", 1250, "volts", 4, 1000), sensor(2, "+3.3V", 3312, "volts", 4, 1000),
        sensor(3, "+12V", 12048, "volts", 4, 1000)]},
    {"index": 2, "name": "Temperatures", "sensors": [
        sensor(1, "CPU", 47000, "celsius", 1, 1000),
        sensor(2, "Chassis intake", None, "celsius", 1)]},
    {"index": 3, "name": "Fans", "sensors": [
        sensor(1, "Fan 1", 5400, "rpm", 18), sensor(2, "Fan 2", 5250, "rpm", 18)]}]


def utc_text(seconds):
    return datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc).strftime(
        "%Y-%m-%dT%H:%M:%SZ")


def single_document(test, r):
    """The one document of a run; its status is the exit status, "ok" never true with another
    than 0."""
    documents = json_documents(r)
    test.assertEqual(len(documents), 1, r)
    document = documents[0]
    test.assertEqual((document["status"], document["ok"] and r.code != 0), (r.code, False), r)
    return document


def shown_words(words):
    """The command words as a document shows them: the PPP password of -ARInfoSet masked."""
    return [("***" if i == 9 and words[1] == "-ARInfoSet" else w) for i, w in enumerate(words)]


class LogDocumentsCase(SimTestCase):
    def json_cli(self, *words, stdin="", options=()):
        # Dates typed for -SetTime are local time: the runs use UTC.
        r = run_cli("--json", *options, "-nw", self.sim.address, "admin", *words,
                    stdin=DEFAULT_PASSWORD + "\n" + stdin, env={"TZ": "UTC0"})
        return r, single_document(self, r)

    def document(self, words, data, changed=None, status=0, message="Operation Success",
                 ok=None):
        """The whole document expected for `words` run over the network."""
        expected = {"schema": "vorl.%s.%s/1" % (words[0][1:].lower(), words[1][1:].lower()),
                    "tool": TOOL,
                    "target": {"interface": "network", "host": self.sim.address, "user": "admin"},
                    "command": shown_words(words), "ok": status == 0 if ok is None else ok,
                    "status": status, "message": message}
        if changed is not None:
            expected["changed"] = changed
        expected["data"] = data
        return expected

    def expect(self, words, data, changed=None, status=0, message="Operation Success", stdin="",
               ok=None):
        r, doc = self.json_cli(*words, stdin=stdin)
        self.assertEqual(doc, self.document(words, data, changed, status, message, ok), r)
        return r, doc

    def card_times(self, record, earliest, latest):
        """Checks a record's time against the run's clock and masks it."""
        seconds = record.pop("epoch_seconds")
        self.assertTrue(earliest <= seconds <= latest, (seconds, earliest, latest))
        self.assertEqual(record.pop("time"), utc_text(seconds))


class EventLogDocumentsTest(LogDocumentsCase):
    def test_event_log_and_alert_recipients_as_data(self):
        self.expect(["-sel", "-selInfo"], {
            "version": "1.5", "record_count": 0, "free_space_bytes": 3072,
            "last_addition": EPOCH, "last_addition_epoch_seconds": 0,
            "last_deletion": EPOCH, "last_deletion_epoch_seconds": 0,
            "operations_supported": ["delete", "allocation_info"]})
        earliest = int(time.time()) - 2
        self.expect(["-sel", "-add", "3", "7", "W"], {
            "event_id": 0x0307, "module": 3, "event": 7, "severity": "warning",
            "severity_code": 8}, changed=True)
        self.expect(["-sel", "-add", "4", "1", "F"], {
            "event_id": 0x0401, "module": 4, "event": 1, "severity": "fatal",
            "severity_code": 32}, changed=True)
        latest = int(time.time()) + 2

        r, doc = self.json_cli("-sel", "-listAllEx")
        for record in doc["data"]["records"]:
            self.card_times(record, earliest, latest)
        self.assertEqual(doc, self.document(["-sel", "-listAllEx"], {
            "record_count": 2, "failed_reads": [], "records": [
                {"index": 1, "id": 1, "event_id": 0x0307, "module": 3, "event": 7,
                 "severity": "warning", "severity_code": 8, "event_data": [0] * 32,
                 "description": "Host event: module 3, event 7, warning"},
                {"index": 2, "id": 2, "event_id": 0x0401, "module": 4, "event": 1,
                 "severity": "fatal", "severity_code": 32, "event_data": [0] * 32,
                 "description": "Host event: module 4, event 1, fatal"}]}))
        self.assertEqual(r.err.count("Record Number"), 0, r)  # the texts are not printed at all

        r, doc = self.json_cli("-sel", "-selInfo")
        self.assertEqual(doc["data"]["record_count"], 2)
        self.assertEqual(doc["data"]["free_space_bytes"], 3072 - 2 * 48)
        self.card_times({"time": doc["data"]["last_addition"],
                         "epoch_seconds": doc["data"]["last_addition_epoch_seconds"]},
                        earliest, latest)

        self.expect(["-sel", "-setPolicy", "STOP"], {"policy": "stop", "policy_code": 2},
                    changed=True)
        self.expect(["-sel", "-getPolicy"], {"policy": "stop", "policy_code": 2})
        # A word the tool does not know is refused before anything is sent.
        self.expect(["-sel", "-setPolicy", "later"], {}, changed=False, status=1,
                    message="Unknown SEL policy !!!")
        self.expect(["-sel", "-getPolicy"], {"policy": "stop", "policy_code": 2})
        self.expect(["-sel", "-del", "9"], {"id": 9}, changed=False, status=16,
                    message="Resource not exist")
        self.expect(["-sel", "-del", "1"], {"id": 1}, changed=True)
        self.expect(["-sel", "-clear"], {"deleted_records": 1}, changed=True)

        self.expect(["-pef", "-ARInfoGet", "3"], dict(EMPTY_RECIPIENT, index=3))
        recipient = {
            "index": 2, "name": "ops", "mail_address": "ops@example.org",
            "snmp_destination": "", "ppp_login": "",
            "notification_method": "mail_via_lan",
            "notification_method_as_received": "Mail via LAN",
            "alert_level": "critical", "alert_level_as_received": "Critical Only"}
        self.expect(["-pef", "-ARInfoSet", "2", "ops", "ops@example.org", "x", "x", "Mail", "lan",
                     "x", "Critical"], recipient, changed=True)
        self.expect(["-pef", "-ARInfoGet", "2"], recipient)
        # A PPP password is in no document, neither the one sent nor the one the card keeps;
        # the console still shows it.
        ppp = dict(recipient, index=4, notification_method="snmp_via_ppp",
                   notification_method_as_received="SNMP via PPP", snmp_destination="10.0.0.9",
                   mail_address="", ppp_login="dialer")
        r, doc = self.expect(["-pef", "-ARInfoSet", "4", "ops", "x", "10.0.0.9", "dialer", "SNMP",
                              "PPP", "Ppp-Secret-1", "Critical"], ppp, changed=True)
        r, doc = self.expect(["-pef", "-ARInfoGet", "4"], ppp)
        self.assertNotIn("Ppp-Secret-1", r.out)
        self.assertIn("PPP Password        : Ppp-Secret-1 \n", self.cli("-pef", "-ARInfoGet", "4").out)
    def test_refused_words_end_in_a_words_envelope_with_the_tools_message(self):
        for words, message in (
                (["-pef", "-ARInfoGet", "9"], "Alert Receipients ID range is 1 to 8. Given = 9"),
                (["-pef", "-ARInfoSet", "1", "admin", "ab", "x", "y", "Mail", "lan", "z", "All"],
                 "Vaild Mail Id required !"),
                (["-pef", "-pefInfo"], "Some arguments are invalid."),
                (["-sel", "-listAll", "extra"], "Some arguments are invalid.")):
            with self.subTest(words=words):
                r, doc = self.json_cli(*words)
                self.assertEqual((r.code, doc["stage"], doc["message"], doc["command"]),
                                 (8, "words", message, shown_words(words)), r)
                self.assertNotIn("data", doc)


class GeneralDocumentsTest(LogDocumentsCase):
    def test_general_settings_as_data(self):
        self.expect(["-gen", "-fwInfo"], {
            "firmware_version": "2.4.1", "build_date": "Mon Dec 7 09:00:00 UTC 2026",
            "firmware_version_as_received": "2.4.1\n",
            "build_date_as_received": "Mon Dec 7 09:00:00 UTC 2026\n"})
        self.expect(["-gen", "-GetName"], {"name": "VORL"})
        self.expect(["-gen", "-SetName", "rack4-card_1"], {"name": "rack4-card_1"}, changed=True)
        self.expect(["-gen", "-GetName"], {"name": "rack4-card_1"})
        self.expect(["-gen", "-SetName", "a.b"], {}, changed=False, ok=False,
                    message="Invalid card name! Maximum allowed card name legth is 32 and should "
                            "not contain any special sharacters")

        servers = {"smtp_servers": [
            {"index": 1, "address": "10.0.0.25", "mail_address": "ops@example.com"},
            {"index": 2, "address": "10.0.0.26", "mail_address": "backup@example.com"}]}
        self.expect(["-gen", "-GetSmtpCfg"], {"smtp_servers": [
            {"index": 1, "address": "", "mail_address": ""},
            {"index": 2, "address": "", "mail_address": ""}]})
        self.expect(["-gen", "-SetSmtpCfg", "10.0.0.25", "ops@example.com", "10.0.0.26",
                     "backup@example.com"], servers, changed=True)
        self.expect(["-gen", "-GetSmtpCfg"], servers)
        # A field too long for the card is refused before anything is sent; the data names none
        # of the values the card does not have.
        self.expect(["-gen", "-SetSmtpCfg", "100.100.100.1000", "a", "10.0.0.1", "b"], {},
                    changed=False, status=26, message="Out of Range")
        self.expect(["-gen", "-GetSmtpCfg"], servers)

        r, doc = self.json_cli("-gen", "-GetTime")
        self.card_times(doc["data"], int(time.time()) - 5, int(time.time()) + 5)
        self.expect(["-gen", "-SetTime", "070412302030.45"], {
            "time": "2030-07-04T12:30:45Z", "epoch_seconds": 1909398645, "force": False},
            changed=True)
        self.expect(["-gen", "-SetTime", "022912002004.00"], {}, changed=False, status=26,
                    message="Out of Range")
        r, doc = self.json_cli("-gen", "-GetTime")
        self.assertTrue(doc["data"]["time"].startswith("2030-07-04T12:3"), doc)

    def test_reset_declined_changes_nothing_and_yes_resets(self):
        r, doc = self.expect(["-gen", "-Reset", "-SaveConfig"],
                             {"configuration": "retained", "confirmed": False}, changed=False,
                             stdin="n\n", ok=False, message="Command cancelled by user")
        self.assertIn("Are you sure you want to reset the VORL(y/n)?", r.err)
        r, doc = self.json_cli("-gen", "-Reset", "/NOCONFIG", options=["--yes"])
        self.assertEqual(doc, self.document(
            ["-gen", "-Reset", "/NOCONFIG"], {"configuration": "defaults", "confirmed": True},
            changed=True))
        self.assertTrue(r.err.endswith(REMINDER), r)

    def test_over_the_host_interface(self):
        with HostSim() as sim:
            r = run_cli("--json", "-cd", "-gen", "-GetName", env=sim.hostifc_env())
            doc = single_document(self, r)
            self.assertEqual((doc["target"], doc["command"], doc["data"]),
                             ({"interface": "host"}, ["-gen", "-GetName"], {"name": "VORL"}))


class SensorDocumentsTest(LogDocumentsCase):
    def test_sensor_description_lifecycle_as_data(self):
        self.expect(["-SDK", "-readsensors"], {"sdk_found": True, "groups": FACTORY_SENSORS})
        self.expect(["-SDK", "-deleteSDK"], {"performed": True}, changed=True)
        # The card answers with no description at all: vorlcli's own 30, not the card's.
        self.expect(["-SDK", "-readsensors"], {"sdk_found": False, "local_status": 30}, ok=False,
                    message="General error")
        self.expect(["-SDK", "-rereadSDK"], {"performed": True}, changed=True)

        fd, path = tempfile.mkstemp(prefix="vorl-sdk-")
        self.addCleanup(os.unlink, path)
        with os.fdopen(fd, "w") as f:
            f.write("VORL-SDK 1\ngroup Power supplies\nsensor PSU 1 output;230;4\n"
                    "sensor PSU 2;failed;6\n")
        self.expect(["-SDK", "-uploadSDK", path], {"performed": True, "file": path},
                    changed=True)
        self.expect(["-SDK", "-readsensors"], {"sdk_found": True, "groups": [
            {"index": 1, "name": "Power supplies", "sensors": [
                sensor(1, "PSU 1 output", 230, "volts", 4, 1000),
                sensor(2, "PSU 2", None, "watts", 6)]}]})
        # A file that cannot be read keeps exit status 0, as the console tool always has; the
        # status is vorlcli's own.
        self.expect(["-SDK", "-uploadSDK", path + ".missing"],
                    {"performed": False, "local_status": 14, "file": path + ".missing"},
                    changed=False, ok=False, message="Unable to open file")


class MalformedAnswersTest(unittest.TestCase):
    """A card whose answer breaks off or fails its checksum: one whole document, never part of
    one, and the failure in ok and status."""

    def run_json(self, sim, *words):
        r = run_cli("--json", "-nw", sim.address, "admin", *words, stdin=DEFAULT_PASSWORD + "\n")
        return r, single_document(self, r)

    def test_each_group_gives_a_whole_document(self):
        with Sim("--half-reply=0x0401,0x0903,0x0202", "--bad-checksum=0x040F") as sim:
            self.assertEqual(self.run_json(sim, "-sel", "-add", "1", "2", "I")[0].code, 0)
            r, doc = self.run_json(sim, "-sel", "-listAll")
            self.assertEqual((r.code, doc["message"], doc["data"]),
                             (33, "Error during connect ",
                              {"record_count": 1, "records": [],
                               "failed_reads": [{"index": 1, "status": 33}]}), r)
            r, doc = self.run_json(sim, "-gen", "-fwInfo")
            self.assertEqual((r.code, doc["data"]), (33, {}), r)
            r, doc = self.run_json(sim, "-pef", "-ARInfoGet", "1")
            self.assertEqual((r.code, doc["data"]), (33, {"index": 1}), r)
            r, doc = self.run_json(sim, "-SDK", "-readsensors")
            self.assertEqual((r.code, doc["ok"], doc["data"]),
                             (0, False, {"sdk_found": False, "local_status": 33}))


if __name__ == "__main__":
    unittest.main()
