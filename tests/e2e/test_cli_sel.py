"""vorlcli -sel and -pef against vorlsim, over the network and over the host interface: output
byte for byte, exit status and what the card holds afterwards. TZ is set for every run."""

import calendar
import re
import shutil
import time
import unittest

from vorltest import DEFAULT_PASSWORD, REMINDER, Sim, run_cli

QUESTION = "\nSome arguments are invalid.Do you want usage help (y/n)?\n"
UTC = {"TZ": "UTC0"}
DEVICE_LINK_PORT = 6578
EPOCH = "Thu Jan  1 00:00:00 1970\n"
TIME_LINE = re.compile(r"Time          : (\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4})\n")


def start_sim(*options, state_dir=None):
    """A started vorlsim that serves its device link on its own address too."""
    sim = Sim(*options, state_dir=state_dir, wait_ports=(6577, DEVICE_LINK_PORT))
    sim.options.append("--devlink-listen=" + sim.address)
    return sim.start()


class CardCase(unittest.TestCase):
    """One fresh vorlsim per test, with its device link; subclasses pick the transport."""

    over_network = True

    def setUp(self):
        self.started = int(time.time()) - 2
        self.sim = start_sim()

    def restart_with(self, *options):
        """The same card (its state directory) started again with `options`."""
        self.sim.stop()
        self.sim = start_sim(*options, state_dir=self.sim.state_dir)

    def tearDown(self):
        self.sim.stop()
        shutil.rmtree(self.sim.state_dir, ignore_errors=True)

    def prefix(self):
        if not self.over_network:
            return "Connecting..Connected\n"
        return ("Connecting..Connected\nPlease Enter Password : " + "*" * len(DEFAULT_PASSWORD) +
                "\nLogin Successful !\n")

    def run_words(self, *words, env=UTC):
        if self.over_network:
            return run_cli("-nw", self.sim.address, "admin", *words,
                           stdin=DEFAULT_PASSWORD + "\n", env=env)
        full = dict(env)
        full["VORL_HOSTIFC"] = "sim:%s:%d" % (self.sim.address, DEVICE_LINK_PORT)
        return run_cli("-cd", *words, env=full)

    def expect(self, words, out, code=0, env=UTC):
        """Runs `words`; the output between the login lines and the closing lines is `out`."""
        r = self.run_words(*words, env=env)
        tail = QUESTION if code == 8 else REMINDER
        self.assertEqual(r.out, self.prefix() + out + tail, r)
        self.assertEqual(r.code, code, r)
        return r

    def body(self, *words, code=0, env=UTC):
        r = self.run_words(*words, env=env)
        self.assertEqual(r.code, code, r)
        self.assertTrue(r.out.startswith(self.prefix()) and r.out.endswith(REMINDER), r)
        return r.out[len(self.prefix()):-len(REMINDER)]


def record_text(number, event_id, severity_line, data_lines, description=None):
    """A listed record with its time line replaced by "<time>"."""
    text = ("\nRecord Number : %u \nTime          : <time>\nEvent Id      : %x \n"
            "Module Number : %u \nEvent Number  : %d \n%sEvent Data is  : \n"
            % (number, event_id, event_id >> 8, event_id & 0xFF, severity_line))
    text += "".join(data_lines)
    if description is not None:
        text += "Event String is: %s\n" % description
    return text + "\n"


ZERO_DATA = ["0x00 " * 8 + "  " + "\0" * 8 + "\n"] * 4


class SelCommands:
    def add(self, module, event, severity):
        self.expect(["-sel", "-add", module, event, severity], "")

    def listing(self, *words):
        """The listing with each time line checked against the clock and replaced."""
        out = self.body("-sel", *words)
        after = int(time.time()) + 2
        for stamp in TIME_LINE.findall(out):
            seconds = calendar.timegm(time.strptime(stamp, "%a %b %d %H:%M:%S %Y"))
            self.assertTrue(self.started <= seconds <= after, stamp)
        return TIME_LINE.sub("Time          : <time>\n", out)

    def test_added_records_are_listed_in_order(self):
        self.add("3", "7", "W")
        self.add("3", "7", "x")
        self.add("1", "2", "I")
        self.add("4", "300", "F")
        expected = ("Number of Record : 4 \n" +
                    record_text(1, 0x0307, "Event Severity: WARNING\n", ZERO_DATA) +
                    record_text(2, 0x0307, "Event Severity: INFORMATION\n", ZERO_DATA) +
                    record_text(3, 0x0102, "Event Severity: RETURN TO OK\n", ZERO_DATA) +
                    record_text(4, 0x052C, "Event Severity: FATAL\n", ZERO_DATA))
        self.assertEqual(self.listing("-listAll"), expected)
        self.assertEqual(self.listing("-listall"), expected)
        self.assertEqual(
            self.listing("-LISTALLEX"),
            "Number of Record : 4 \n" +
            record_text(1, 0x0307, "Event Severity: WARNING\n", ZERO_DATA,
                        "Host event: module 3, event 7, warning") +
            record_text(2, 0x0307, "Event Severity: INFORMATION\n", ZERO_DATA,
                        "Host event: module 3, event 7, information") +
            record_text(3, 0x0102, "Event Severity: RETURN TO OK\n", ZERO_DATA,
                        "Host event: module 1, event 2, return to OK") +
            record_text(4, 0x052C, "Event Severity: FATAL\n", ZERO_DATA,
                        "Host event: module 5, event 44, fatal"))

    def test_empty_log_and_invalid_words(self):
        self.expect(["-sel", "-listAll"], "Number of Record : 0 \n")
        self.expect(["-sel", "-listAll", "more"], "", code=8)
        self.expect(["-sel", "listAll"], "", code=8)
        self.expect(["-sel", "-add", "1", "2"], "", code=8)
        self.expect(["-sel", "-postEvent", "a", "b", "c"], "")

    def test_info_clear_and_delete(self):
        self.expect(["-sel", "-selInfo"],
                    "SEL Version         : 1.5\nNumber of Records   : 0 \n"
                    "Free Space          : 3072 (Bytes) \n"
                    "Last Additon        : " + EPOCH + "Last Deletion       : " + EPOCH +
                    "Operation Supported : SEL_DEL_SUPPORT \n"
                    "Operation Supported : SEL_ALLOC_INFO_SUPPORT \n")
        for event in ("1", "2", "3"):
            self.add("9", event, "W")
        self.expect(["-sel", "-del", "2"], "")
        self.expect(["-sel", "-del", "3"], "Del SEL Record Failed, Resource not exist\n", code=16)
        for bad in ("0", "65536", "two"):
            self.expect(["-sel", "-del", bad], "", code=8)
        listing = self.listing("-listAll")
        self.assertIn("Record Number : 2 \nTime          : <time>\nEvent Id      : 903 \n", listing)
        info = self.body("-sel", "-selInfo")
        self.assertIn("Number of Records   : 2 \nFree Space          : 2976 (Bytes) \n", info)
        self.assertNotIn("Last Deletion       : " + EPOCH, info)
        self.expect(["-sel", "-clear"], "2 Record(s) Deleted.\n")
        self.expect(["-sel", "-listAll"], "Number of Record : 0 \n")

    def test_policy(self):
        self.expect(["-sel", "-getPolicy"], "SEL Fill policy : SEL_POLICY_ROLLOVER\n")
        self.expect(["-sel", "-setPolicy", "stop"], "Policy: 2\nSet SEL Fill policy Success\n")
        self.expect(["-sel", "-getPolicy"], "SEL Fill policy : SEL_POLICY_STOP\n")
        self.expect(["-sel", "-setPolicy", "often"], "Unknown SEL policy !!!\n", code=1)
        self.expect(["-sel", "-setPolicy", "Rollover"], "Policy: 1\nSet SEL Fill policy Success\n")

    def test_alert_recipients(self):
        self.expect(["-pef", "-ARInfoSet", "4", "ops", "ops@example.org", "127.0.0.9", "dial",
                     "SNMP", "ppp", "secret", "critical"],
                    "Alert Receipient    : 4 \nName                : ops \n"
                    "Email-Id            : ops@example.org \nSNMP Destination    : 127.0.0.9 \n"
                    "PPP Login name      : dial \nPPP Password        : secret \n"
                    "Notification Method : SNMP via PPP \nAlert Level         : Critical Only \n")
        self.expect(["-pef", "-ARInfoGet", "4"],
                    "Alert Receipient    : 4 \nName                : ops \n"
                    "Email-Id            : ops@example.org \nSNMP Destination    : 127.0.0.9 \n"
                    "PPP Login name      : dial \nPPP Password        : secret \n"
                    "Notification Method : SNMP via PPP \nAlert Level         : Critical Only \n")
        self.expect(["-pef", "-ARInfoGet", "259"],
                    "Alert Receipients ID range is 1 to 8. Given = 259 \n", code=8)
        self.expect(["-pef", "-ARInfoSet", "1", "admin", "ab", "x", "y", "Mail", "lan", "z",
                     "All"], "Vaild Mail Id required !", code=8)
        self.expect(["-pef", "-ARInfoSet", "1", "n" * 32, "a@b", "x", "y", "Mail", "lan", "z",
                     "All"], "", code=8)
        self.expect(["-pef", "-ARInfoSet", "2", "ops", "x", "x", "x", "Mail", "none", "x",
                     "Disable"],
                    "Alert Receipient    : 2 \nName                : ops \n"
                    "Email-Id            :  \nSNMP Destination    :  \nPPP Login name      :  \n"
                    "PPP Password        :  \nNotification Method :  \n"
                    "Alert Level         : Disable Alerts \n")


class SelOverNetwork(SelCommands, CardCase):
    def test_full_log_under_the_stop_policy(self):
        self.restart_with("--sel-capacity=2")
        self.expect(["-sel", "-setPolicy", "STOP"], "Policy: 2\nSet SEL Fill policy Success\n")
        self.add("1", "1", "W")
        self.add("1", "2", "W")
        self.expect(["-sel", "-add", "1", "3", "W"],
                    "Add SEL Record Failed, Insufficient space\n", code=18)


class SelOverHostInterface(SelCommands, CardCase):
    over_network = False


class SelCardFailures(CardCase):
    """Fault options of vorlsim make the card fail part of a listing."""

    def fill(self, count):
        for event in range(count):
            self.expect(["-sel", "-add", "2", str(event), "I"], "")

    def test_a_failing_record_is_reported_and_the_listing_goes_on(self):
        self.fill(2)
        self.restart_with("--force-status=0x0401:16")
        self.expect(["-sel", "-listAll"],
                    "Number of Record : 2 \n" +
                    "Error while retreiving Records, Resource not exist\n" * 2, code=16)

    def test_a_lost_card_ends_the_listing(self):
        self.fill(3)
        self.restart_with("--half-reply=0x0401")
        self.expect(["-sel", "-listAll"],
                    "Number of Record : 3 \nError while retreiving Records, Error during connect \n",
                    code=33)

    def test_a_policy_line_is_printed_before_the_card_answers(self):
        self.restart_with("--force-status=0x0407:3")
        self.expect(["-sel", "-setPolicy", "stop"],
                    "Policy: 2\nSet SEL policy failed, System is busy\n", code=3)


del SelCommands  # run only through the two transports

if __name__ == "__main__":
    unittest.main()
