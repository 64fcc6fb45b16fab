"""vorlcli -Net, -Gen and -HB against vorlsim: output byte for byte, exit status, and what the
card holds afterwards. Every run sets TZ so that dates do not depend on the machine."""

import re
import shutil
import tempfile
import unittest

import vorltest
from vorltest import REMINDER, SimTestCase, run_cli

QUESTION = "\nSome arguments are invalid.Do you want usage help (y/n)?\n"
UTC = {"TZ": "UTC0"}
# Central European time, with daylight saving from the last Sunday of March.
CET = {"TZ": "CET-1CEST,M3.5.0,M10.5.0/3"}
MAC_PROMPT = "This operation will reset the VORL card after completion.Are you Sure (y/n)?\n"
RESET_PROMPT = "Are you sure you want to reset the VORL(y/n)?\n"
CANCELLED = "\nCommand cancelled by user\n"
ROLL_BACK = ("You may be rolling back the time on the card. This involves a reset of the \n"
             "card to ensure proper functionality. To rollback the time use FORCE option.")


class SettingsTestCase(SimTestCase):
    def run_cli_words(self, *words, stdin="", env=UTC):
        return self.cli(*words, stdin=stdin, env=env)

    def expect(self, words, out, code=0, stdin="", env=UTC):
        r = self.run_cli_words(*words, stdin=stdin, env=env)
        tail = QUESTION if code == 8 else REMINDER
        self.assertEqual(r.out, self.login_prefix() + out + tail, r)
        self.assertEqual(r.code, code, r)
        return r

    def body(self, *words, env=UTC):
        """The output of a command that must succeed, without the login and reminder lines."""
        r = self.run_cli_words(*words, env=env)
        self.assertEqual(r.code, 0, r)
        self.assertTrue(r.out.startswith(self.login_prefix()) and r.out.endswith(REMINDER), r)
        return r.out[len(self.login_prefix()):-len(REMINDER)]


class NetGroupTest(SettingsTestCase):
    def config(self, method, ip, broadcast, netmask, gateway, mac="02:00:4B:38:00:01"):
        return ("Current Network Configuration : \n"
                "Configuration method: %s\nInterface Name      : eth0\n"
                "MAC Address         : %s\nIP Address          : %s\n"
                "Broadcast           : %s\nNetmask             : %s\n"
                "Gateway             : %s\n" % (method, mac, ip, broadcast, netmask, gateway))

    def test_get_config_shows_every_field(self):
        self.expect(["-Net", "-GetConfig"],
                    self.config("STATIC", "10.10.1.10", "10.10.1.255", "255.255.255.0",
                                "10.10.1.1"))

    def test_static_address_over_the_network_reports_the_new_address(self):
        self.expect(["-net", "-setstatic", "10.0.0.5", "255.0.0.0", "10.0.0.1"],
                    "The IP address of VORL card has been changed to 10.0.0.5.\n"
                    "Please use the new IP to connect to the card.\n")
        self.assertEqual(self.body("-net", "-getconfig"),
                         self.config("STATIC", "10.0.0.5", "10.255.255.255", "255.0.0.0",
                                     "10.0.0.1"))

    def test_bad_addresses_are_refused_before_sending(self):
        long_ip = "10.0.0.1" + "0" * 30
        for ip, mask, gateway in (("10.0.0.300", "255.0.0.0", "10.0.0.1"),
                                  ("10.0.0.5", "255.0.0", "10.0.0.1"),
                                  ("10.0.0.5", "255.0.0.0", long_ip)):
            with self.subTest(ip=ip, mask=mask, gateway=gateway):
                self.expect(["-Net", "-SetStatic", ip, mask, gateway],
                            "Wrong IP address : IP: %s Netmask: %s Gateway: %s\n" %
                            (ip, mask, gateway), code=8)
        self.assertIn("IP Address          : 10.10.1.10\n", self.body("-net", "-getconfig"))

    def test_dhcp_changes_the_configuration(self):
        self.expect(["-Net", "-SetDHCP"], "Network configuration changed successfully !\n")
        self.assertEqual(self.body("-net", "-getconfig"),
                         self.config("DHCP", "192.168.0.100", "192.168.0.255", "255.255.255.0",
                                     "192.168.0.1"))

    def test_set_mac_asks_first_and_checks_the_text_after_the_answer(self):
        self.expect(["-Net", "-SetMAC", "00:2a:3b:4c:5d:1d"], MAC_PROMPT + CANCELLED, stdin="n\n")
        self.expect(["-Net", "-GetMAC"], "MAC Address is : 02:00:4B:38:00:01 \n")

        self.expect(["-Net", "-SetMAC", "00-2a-3b-4c-5d-1d"],
                    MAC_PROMPT + "Invalid MAC address: 00-2a-3b-4c-5d-1d \n", code=8,
                    stdin="y\n")

        self.expect(["-Net", "-SetMAC", "00:2a:3b:4c:5d:1d"],
                    MAC_PROMPT + "MAC address set successfully! \nCard has been reset! \n",
                    stdin="yes\n")
        self.expect(["-Net", "-GetMAC"], "MAC Address is : 00:2A:3B:4C:5D:1D \n")

    def test_wrong_word_counts_are_invalid(self):
        for words in (["-Net", "-GetMAC", "x"], ["-Net", "-SetStatic", "10.0.0.5"],
                      ["-Net", "GetConfig"], ["-Net", "-SetMAC"], ["-Net"]):
            with self.subTest(words=words):
                self.expect(words, "", code=8)


class InterfaceDownTest(SettingsTestCase):
    sim_options = ("--interface-down",)

    def test_get_config_says_the_interface_is_not_up(self):
        self.expect(["-Net", "-GetConfig"], "Network interface is not up.\n")


class HeartbeatTest(SettingsTestCase):
    DEFAULTING = "Defaulting HB interval to minimum of 240 seconds\n"
    SET = "Heartbeat interval is set successfully!\n"

    def test_intervals_below_the_minimum_send_240(self):
        for word in ("100", "abc", "-5"):
            with self.subTest(word=word):
                self.expect(["-HB", "-SetHB", "600"], self.SET)
                self.expect(["-HB", "-SetHB", word], self.DEFAULTING + self.SET)
                self.expect(["-HB", "-GetHB"], "Heartbeat interval is 240 seconds\n")
        self.expect(["-HB", "-SetHB", "600"], self.SET)
        self.expect(["-hb", "-sethb", "240"], self.SET)
        self.expect(["-HB", "-GetHB"], "Heartbeat interval is 240 seconds\n")

    def test_numbers_beyond_32_bits_are_invalid(self):
        self.expect(["-HB", "-SetHB", "4294967536"], "", code=8)
        self.expect(["-HB", "-SetHB", "2147483647"], self.SET)
        self.expect(["-HB", "-GetHB"], "Heartbeat interval is 2147483647 seconds\n")


class GenGroupTest(SettingsTestCase):
    def test_card_name_of_32_characters_is_sent_and_33_refused(self):
        name = "Ab" * 16
        self.expect(["-Gen", "-SetName", name], "")
        self.expect(["-Gen", "-GetName"], "VORL Name : " + name)
        self.expect(["-Gen", "-SetName", name + "c"],
                    "Invalid card name!\nMaximum allowed card name legth is 32 and should not "
                    "contain any special sharacters\n")
        self.expect(["-Gen", "-SetName", "a.b"],
                    "Invalid card name!\nMaximum allowed card name legth is 32 and should not "
                    "contain any special sharacters\n")
        self.expect(["-Gen", "-GetName"], "VORL Name : " + name)

    def test_reset_keeps_or_drops_the_configuration(self):
        self.expect(["-HB", "-SetHB", "600"], "Heartbeat interval is set successfully!\n")
        self.expect(["-Gen", "-Reset", "-saveconfig"], RESET_PROMPT + CANCELLED, stdin="n\n")
        self.expect(["-Gen", "-Reset", "-saveconfig"],
                    RESET_PROMPT + "The VORL has been reset successfully !\n", stdin="y\n")
        self.expect(["-HB", "-GetHB"], "Heartbeat interval is 600 seconds\n")
        self.expect(["-Gen", "-Reset", "/NOCONFIG"],
                    RESET_PROMPT + "The VORL has been reset successfully !\n", stdin="Y\n")
        self.expect(["-HB", "-GetHB"], "Heartbeat interval is 240 seconds\n")

    def test_reset_with_an_unknown_word_asks_nothing(self):
        self.expect(["-Gen", "-Reset", "-Save"], "Invalid arguments...\n", code=8)

    def test_mail_servers_round_trip_and_overlong_fields_send_nothing(self):
        self.expect(["-Gen", "-SetSmtpCfg", "10.0.0.25", "ops@example.com", "10.0.0.26",
                     "backup@example.com"], "")
        expected = ("SMTP Server 1 : 10.0.0.25\nMail Id 1     : ops@example.com\n"
                    "SMTP Server 2 : 10.0.0.26\nMail Id 2     : backup@example.com\n")
        self.expect(["-Gen", "-GetSmtpCfg"], expected)
        for words in (["100.100.100.1000", "a", "10.0.0.1", "b"],
                      ["10.0.0.1", "m" * 256, "10.0.0.2", "b"]):
            with self.subTest(words=words):
                self.expect(["-Gen", "-SetSmtpCfg"] + words, "Error when setting SMTP Config!\n",
                            code=26)
        self.expect(["-Gen", "-GetSmtpCfg"], expected)
        # The longest texts that leave their fields a terminator.
        self.expect(["-Gen", "-SetSmtpCfg", "100.100.100.100", "m" * 255, "", "x"], "")
        self.assertIn("SMTP Server 1 : 100.100.100.100\nMail Id 1     : " + "m" * 255 + "\n",
                      self.body("-Gen", "-GetSmtpCfg"))

    def test_firmware_information_is_printed_as_the_card_sends_it(self):
        out = self.body("-Gen", "-fwInfo")
        self.assertRegex(out, r"^Firmware Version: [^\n]+\nFirmware Build Date: [^\n]+\n$")


class ClockTest(SettingsTestCase):
    INVALID = "Invalid date!\n"

    def card_time(self, env=UTC):
        out = self.body("-Gen", "-GetTime", env=env)
        match = re.fullmatch(r"Time          : (\w\w\w \w\w\w [ \d]\d \d\d:\d\d:\d\d \d{4})\n", out)
        self.assertTrue(match, out)
        return match.group(1)

    def test_impossible_dates_are_refused(self):
        for word in ("131512002004.00", "010012002004.00", "022912002003.00", "010100002040.00",
                     "0101000020"):
            with self.subTest(word=word):
                self.expect(["-Gen", "-SetTime", word], self.INVALID, code=8)
                self.expect(["-Gen", "-SetTime", word, "Force"], self.INVALID)

    def test_roll_back_needs_force_and_restarts_the_card(self):
        self.expect(["-Gen", "-SetTime", "022912002004.00"], ROLL_BACK, code=26)
        self.assertNotIn("2004", self.card_time())
        self.expect(["-Gen", "-SetTime", "022912002004.00", "force"], "Card has been reset.\n")
        self.assertRegex(self.card_time(), r"^Sun Feb 29 12:00:0\d 2004$")
        # A second word other than Force is invalid, and nothing is sent.
        self.expect(["-Gen", "-SetTime", "030112002004.00", "now"], "", code=8)
        self.assertRegex(self.card_time(), r"^Sun Feb 29 12:00:\d\d 2004$")

    def test_later_time_is_set_silently(self):
        self.expect(["-Gen", "-SetTime", "070412302030.45"], "")
        self.assertRegex(self.card_time(), r"^Thu Jul  4 12:(30:4[5-9]|30:5\d|31:\d\d) 2030$")

    def test_daylight_saving_zone_converts_with_the_flag_set(self):
        # In a zone that has daylight saving the date is taken as summer time even in winter.
        self.expect(["-Gen", "-SetTime", "010112002030.00"], "", env=CET)
        self.assertRegex(self.card_time(), r"^Tue Jan  1 10:0[01]:\d\d 2030$")
        self.assertRegex(self.card_time(env=CET), r"^Tue Jan  1 11:0[01]:\d\d 2030$")
        self.expect(["-Gen", "-SetTime", "070112002031.00"], "", env=CET)
        self.assertRegex(self.card_time(), r"^Tue Jul  1 10:0[01]:\d\d 2031$")


class HostInterfaceTest(unittest.TestCase):
    """The same commands through the host interface (-cd): no login, and the card's answers
    always arrive."""

    def setUp(self):
        self.mutex_dir = tempfile.mkdtemp(prefix="vorl-mutex-")
        self.sim = vorltest.HostSim().start()

    def tearDown(self):
        self.sim.stop()
        shutil.rmtree(self.sim.state_dir, ignore_errors=True)
        shutil.rmtree(self.mutex_dir, ignore_errors=True)

    def expect(self, words, out, code=0, stdin=""):
        env = dict(UTC)
        env.update(self.sim.hostifc_env(self.mutex_dir))
        r = run_cli("-cd", *words, stdin=stdin, env=env)
        tail = QUESTION if code == 8 else REMINDER
        self.assertEqual(r.out, "Connecting..Connected\n" + out + tail, r)
        self.assertEqual(r.code, code, r)

    def test_static_address_is_answered_and_a_refusal_reported(self):
        self.expect(["-Net", "-SetStatic", "10.0.0.5", "255.0.0.0", "10.0.0.1"],
                    "Network Configuration changed successfully! \n")
        # Text after the fourth number passes vorlcli's check; the card refuses it.
        self.expect(["-Net", "-SetStatic", "10.0.0.6x", "255.0.0.0", "10.0.0.1"],
                    "Error while setting network configuration ! \n", code=28)
        self.expect(["-Net", "-SetDHCP"], "Network configuration changed successfully !\n")

    def test_mac_reset_heartbeat_and_clock(self):
        self.expect(["-Net", "-SetMAC", "00:2a:3b:4c:5d:1d"],
                    MAC_PROMPT + "MAC address set successfully! \nCard has been reset! \n",
                    stdin="y\n")
        self.expect(["-Net", "-GetMAC"], "MAC Address is : 00:2A:3B:4C:5D:1D \n")
        self.expect(["-HB", "-SetHB", "100"], HeartbeatTest.DEFAULTING + HeartbeatTest.SET)
        self.expect(["-Gen", "-SetTime", "022912002004.00"], ROLL_BACK, code=26)
        self.expect(["-Gen", "-SetTime", "022912002004.00", "Force"], "Card has been reset.\n")
        self.expect(["-Gen", "-Reset", "-NoConfig"],
                    RESET_PROMPT + "The VORL has been reset successfully !\n", stdin="y\n")
        # Defaults are restored, but the MAC address belongs to the board.
        self.expect(["-HB", "-GetHB"], "Heartbeat interval is 240 seconds\n")
        self.expect(["-Net", "-GetMAC"], "MAC Address is : 00:2A:3B:4C:5D:1D \n")


if __name__ == "__main__":
    unittest.main()
