"""vorlcli's command line: usage pages, the mode word, exit statuses before and at connect."""

import os
import unittest

from vorltest import VORLCLI, Sim, run_cli

USAGE_LINES = [
    ('_______________________\n', False),
    ('\nvorlcli version 1.6.4.3\n', False),
    ('_______________________\n', False),
    ('\n\n', False),
    (' Usage   : {program} -[nw IP username] [cd] <arguments> \n', False),
    (' -----\n', False),
    ('\n Example : {program} -nw 10.10.1.10 username  -sel -listall to connect on network\n', False),
    (' -------   {program} -cd -sel -listall to connect via host interface\n', False),
    ('\n', False),
    (' Logging in\n', False),
    (' -----------\n', False),
    (" Host '-cd' based access does not require you to login\n\n", False),
    (" Network access '-nw' requires a login. Password cannot be specified on the command line.\n", False),
    (' You will be prompted for the password.\n', False),
    (' Scripting option will prompt for password only once at the beginning\n', False),
    ('\n      ---------------------Press Enter to see Command Details----------------\n', False),
    ('\nScript mode Commands:\n', False),
    ('-----------------------------\n', False),
    ('Script file format is any of the other argument formats mentioned below\n', False),
    ('For e.g : vorlcli -script myscr.scr\n', False),
    ('     -script ScriptFile\n', False),
    ('      myscr.scr can contain the fllowing lines if you want to get all users\n', False),
    ('      and then get network config\n', False),
    ('     -user -listall\n', False),
    ('     -net -getconfig\n', False),
    ('\nUser Manger Commands \n', False),
    ('-----------------------------\n', False),
    ('     -user -add username password\n', False),
    ('     -user -del username \n', False),
    ('     -user -add username password auth\tpvt\n', False),
    ('     -user -listAllUser\n', False),
    ('     -user -listAll\n', False),
    ('     -user -getSnmp\n', False),
    ('\nSystem Event Log (SEL) Commands \n', False),
    ('-----------------------------\n', False),
    ('     -sel -add moduleNum eventId severity (F-Fatal, W-Warning, I-Information)\n', True),
    ('     -sel -del recordNum\n', True),
    ('     -sel -listAll\n', False),
    ('     -sel -listAllEx\n', False),
    ('     -sel -selInfo \n', False),
    ('     -sel -clear \n', False),
    ('     -sel -setPolicy <ROLLOVER | STOP> \n', False),
    ('     -sel -getPolicy \n', False),
    ('\n      ---------------------Press Enter to see more----------------\n', False),
    ('\nPlatform Event Filtering (PEF) commands \n', False),
    ('-----------------------------\n', False),
    ('     -pef -ARInfoSet index name mailId SNMPDest PPPID NotifyMethod NotifyMedium\n', False),
    ('      PPPPass AlertType\n', False),
    ('           NotifyMethod can be "Mail" or "SNMP" and NotifyMedium can be\n', False),
    ('           "Lan" or "PPP" and AlertType can be All,Disable or Critical.\n', False),
    ('     -pef -ARInfoGet index \n', False),
    ('\nFirmware flasher commands \n', False),
    ('-----------------------------\n', False),
    ('     -flash -read filename \n', False),
    ('     -flash -update [-boot] filename \n', False),
    ('     -flash -saveconfig \n', False),
    ('     -flash -saveSDK \n', False),
    ('     -flash -getconfig filename\n', False),
    ('     -flash -putconfig filename\n', False),
    ('     -flash -compareboot filename\n', False),
    ('\nFile Upload/Download commands \n', True),
    ('-----------------------------\n', True),
    ('     -file -upload src-filename dst-filename \n', True),
    ('     -file -download src-filename dst-filename \n ', True),
    ('     -file -uploadServerInfo filename \n', True),
    ('        All the filenames are in full path. \n', True),
    ('\nHost HeartBeat commands \n', False),
    ('-----------------------\n', False),
    ('     -HB -GetHB\n', False),
    ('     -HB -SetHB <Heartbeat Time Interval (Seconds)> - <Between 6 and 2147483646>\n', False),
    ('\n      ---------------------Press Enter to see more----------------\n', False),
    ('\nNetwork configuration commands \n', False),
    ('-----------------------------\n', False),
    ('     -Net -GetMac \n', False),
    ('     -Net -SetMac <MAC Address> - <Ex: 00:2a:3b:4c:5d:1d> \n', False),
    ('     -Net -GetConfig \n', False),
    ('     -Net -SetDHCP \n', False),
    ('     -Net -SetSTATIC  IP Netmask Gateway\n', False),
    ('\nGeneral purpose commands \n', False),
    ('-----------------------------\n', False),
    ('     -Gen -Reset -SaveConfig|-NoConfig (Reset VORL card)\n', False),
    ('\t\t -SaveConfig (Save Configuration)\n', False),
    ("\t\t -NoConfig (Don't save Configuration)\n", False),
    ('     -Gen -fwInfo (Get Firmware Info)\n', False),
    ('     -Gen -GetName\n', False),
    ('     -Gen -GetSmtpCfg\n', False),
    ('     -Gen -SetSmtpCfg server1-IP MailId1 server2-IP MailId2 \n', False),
    ('     -Gen -GetTime\n', False),
    ('\nSDK commands\n', False),
    ('-----------------------\n', False),
    ('    -SDK -uploadSDK <sdkfile.dat>\n', False),
    ('    -SDK -deleteSDK\n', False),
    ('    -SDK -rereadSDK\n', False),
    ('    -SDK -readsensors\n', False),
    ('\n      ---------------------Press Enter to see more----------------\n', False),
    ('\nServer Information Configuration commands\n', False),
    ('-----------------------------------------\n', False),
    ('    -Getserverinfo\n', False),
    ('    -Setserverinfo -ServerName <Name> -ServerLocn <Location> -ServerOS <OS> -ServerDesc <Description>\n', False),
    ('\n      ---------------------Press Enter to see more----------------\n', False),
    ('\nAdvanced Configuration commands\n', False),
    ('-----------------------\n', False),
    ('    -ModemCfg -get <dev> ..dev can be ttyS2 or ttyS3 (case sensitive)\n', False),
    ('                           if dev is omitted both ports are shown\n', False),
    ('    -ModemCfg -set <dev> <-s baud> <-i initString> <-p phoneNumber>\n', False),
    ('    -PPPCfg -get\n', False),
    ('    -PPPCfg -set ServerIP ClientIP \n', False),
    ('    -ASRCfg -Get\n', False),
    ('    -ASRCfg -Set ENABLED|DISABLED POWERCYCLE|RESET  Delay\n', False),
    ('                 Minimum ASR Delay is 240 Seconds\n', False),
    ('                 DISABLED does not require extra arguments\n', False),
    ('    -GetI2CCfg  \n', False),
    ('    -SetI2CCfg new_slave_addr format : 0x22\n', False),
    ('    -GetIpmiCfg  \n', False),
    ('    -SetIpmiCfg BMC BMC_addr IPMI_Power_Control IPMI_Sensors Log_IPMI_Events\n', False),
    ('\t\tExample: -SetIpmiCfg yes 0x20 yes yes yes\n', False),
    ('\nServer Remote Control commands\n', False),
    ('-------------------------------\n', False),
    ('    -HostCtrl <PowerUp | PowerDown | PowerCycle | Reset> \n', False),
    ('\nCard Health Status commands\n', False),
    ('----------------------------\n', False),
    ('    -GetCardHealth \n', False),
]


PROGRAM = os.path.basename(VORLCLI)


def usage(detailed=False):
    text = "".join(line for line, detailed_only in USAGE_LINES if detailed or not detailed_only)
    return text.replace("{program}", PROGRAM)


QUESTION = "\nSome arguments are invalid.Do you want usage help (y/n)?\n"
CONNECT_FAILED = "Connecting..Error during connect \n"


class UsageTest(unittest.TestCase):
    def check(self, result, code, out):
        self.assertEqual((result.code, result.out), (code, out), result)

    def test_no_arguments_give_the_short_usage(self):
        self.check(run_cli(), 8, usage())

    def test_lower_case_h_as_second_character_gives_the_detailed_usage(self):
        for word in ("-h", "-help", "/h", "xhnw"):
            with self.subTest(word=word):
                self.check(run_cli(word, "more", "words"), 8, usage(detailed=True))

    def test_pages_pause_for_one_character_each(self):
        # Five pauses: the rest of the input is not consumed, nothing hangs.
        self.check(run_cli(stdin="\n\n\n\n\n\n\n"), 8, usage())

    def test_unknown_mode_word_asks_whether_to_show_the_usage(self):
        for word, answer, out in (("-H", "", QUESTION),
                                  ("-xyz", "n\n", QUESTION),
                                  ("-nwx", "yes\n", QUESTION + usage()),
                                  ("-", "\n\n  Y", QUESTION + usage()),
                                  ("", "y\n", QUESTION + usage())):
            with self.subTest(word=word, answer=answer):
                self.check(run_cli(word, "127.0.0.1", "admin", stdin=answer), 8, out)

    def test_network_mode_needs_an_address(self):
        for args in (["-nw"], ["-nw", "-user"], ["/NW", "-127.0.0.1", "admin", "-user", "-listall"]):
            with self.subTest(args=args):
                self.check(run_cli(*args), 8, usage())

    def test_texts_too_long_for_their_fields_are_refused_before_connecting(self):
        address31 = "127.254." + "0" * 20 + ".77"  # 127.254.0.77: nothing listens there
        self.assertEqual(len(address31), 31)
        self.check(run_cli("-nw", address31 + "1", "admin", "-user", "-listall"), 8, usage())
        self.check(run_cli("-nw", "127.0.0.1", "u" * 32, "-user", "-listall"), 8, usage())
        # 31 characters fit; this address still names no card.
        self.check(run_cli("-nw", address31, "admin", "-user", "-listall"), 33,
                   CONNECT_FAILED)

    def test_host_interface_mode_reports_the_failed_connect(self):
        # No card drive on this machine (and no simulated device link chosen).
        env = {"VORL_HOSTIFC": "none"}
        self.check(run_cli("-cd", env=env), 33, CONNECT_FAILED)
        self.check(run_cli("/CD", "-user", "-listall", env=env), 33, CONNECT_FAILED)

    def test_a_card_that_does_not_answer_fails_the_connect(self):
        with Sim() as sim:
            address = sim.address
        self.check(run_cli("-nw", address, "admin", "-user", "-listall"), 33, CONNECT_FAILED)


if __name__ == "__main__":
    unittest.main()
