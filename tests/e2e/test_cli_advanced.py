"""vorlcli -SDK, -GetCardHealth, server information, modem, PPP, ASR, I2C, IPMI and power
control against vorlsim over both transports: output byte for byte, exit status, and what the
card holds afterwards."""

import os
import unittest

from test_cli_sel import CardCase

FACTORY_SENSORS = (
    "Voltages\n"
    "    CPU Core:" + " " * 32 + "1250 milli Volts\n"
    "    +3.3V:" + " " * 35 + "3312 milli Volts\n"
    "    +12V:" + " " * 36 + "12048 milli Volts\n"
    "Temperatures\n"
    "    CPU:" + " " * 37 + "47000 milli Degrees C\n"
    "    Chassis intake:" + " " * 26 + "access failed\n"
    "Fans\n"
    "    Fan 1:" + " " * 35 + "5400 RPM\n"
    "    Fan 2:" + " " * 35 + "5250 RPM\n")
DASHES = "-" * 56 + "\n"
IPMI_LINES = ("Host system has BMC                          : %s\n"
              "Host System BMC I2C Address                  : 0x%s\n"
              "Use IPMI to Control System Power             : %s\n"
              "Use BMC's SDRs for Sensor Information        : %s\n"
              "VORL Maintains Private System Health Event Log : %s\n")


class AdvancedCommands:
    def test_sensor_description_lifecycle(self):
        self.expect(["-SDK", "-readsensors"],
                    "Sensor data retrieved, displaying...\n" + FACTORY_SENSORS)
        self.expect(["-SDK", "-deleteSDK"], "SDK deleted\n")
        self.expect(["-SDK", "-readsensors"], "Cannot read sensors - no SDK found\n")
        self.expect(["-SDK", "-rereadSDK"], "VODA restarted, rereading SDK\n")
        self.expect(["-SDK", "-readsensors"], "Cannot read sensors - no SDK found\n")

        path = os.path.join(self.sim.state_dir, "host-sdk.dat")
        with open(path, "w") as f:
            f.write("VORL-SDK 1\ngroup Power supplies\nsensor PSU 1 output;230;4\n"
                    "sensor " + "L" * 32 + ";7;7\n")
        self.expect(["-SDK", "-uploadSDK", path], "Upload successful\n")
        self.expect(["-sdk", "-READSENSORS"],
                    "Sensor data retrieved, displaying...\nPower supplies\n"
                    "    PSU 1 output:" + " " * 28 + "230 milli Volts\n"
                    "    " + "L" * 32 + ":" + " " * 8 + "7 Unrecognized\n")
        self.expect(["-SDK", "-uploadSDK", path + ".missing"], "Error uploading SDK\n")
        self.expect(["-SDK", "-uploadSDK"], "Please supply an SDK file to upload\n", code=8)
        self.expect(["-SDK", "-frob"], "Unknown command\n", code=8)

    def test_card_health(self):
        rows = "".join("%-32s %-8.4g Volts      Normal\n" % (name, mv * 0.001) for name, mv in
                       (("VCC 3.3V", 3296), ("VCC 5V", 5012), ("VCC 1.8V", 1801),
                        ("VCC 2.5V", 2493), ("VCC 1.2V", 1198), ("Battery 3V", 3050)))
        self.expect(["-GetCardHealth"],
                    DASHES + "             VORL card Health\n" + DASHES +
                    "Parameter                       Reading           Status\n" + DASHES +
                    rows + DASHES)

    def test_server_information(self):
        self.expect(["-setServerInfo", "-ServerName", "web 1", "-ServerOS", "Linux", "x"],
                    "Server Information set successfully\n")
        self.expect(["-GetServerInfo"],
                    "Server Name: web 1\nServer Location: \nServer OS: Linux\n"
                    "Server Description: \n")
        self.expect(["-setServerInfo", "-ServerName", "web", "-ServerOS", "Linux"], "", code=8)
        self.expect(["-setServerInfo", "-ServerLocn", "r" * 33, "-ServerOS", "Linux", "x"],
                    "Set Server Information Failed, Out of Range\n", code=26)
        self.expect(["-GetServerInfo"],
                    "Server Name: web 1\nServer Location: \nServer OS: Linux\n"
                    "Server Description: \n")

    def test_modem_ports(self):
        self.expect(["-ModemCfg", "-set", "ttyS3", "-i", "AT&F", "-anyflag", "5551234"], "")
        self.expect(["-ModemCfg", "-set", "ttyS2", "-s", "19200"], "")
        self.expect(["-ModemCfg", "-get"],
                    "Serial Port : ttyS2\nSpeed       : 19200\nInit String : ATZ\n"
                    "Phone Number: \n"
                    "Serial Port : ttyS3\nSpeed       : 9600\nInit String : AT&F\n"
                    "Phone Number: 5551234\n")
        self.expect(["-ModemCfg", "-get", "ttyS4"], "Error when getting Modem configuration!\n",
                    code=20)
        self.expect(["-ModemCfg", "-set", "TTYS2", "-s", "9600"],
                    "Device can be ttyS2 or ttyS3\n", code=8)
        self.expect(["-ModemCfg", "-set", "ttyS2", "-s", "14400"],
                    "Invalid baud rate. Baud rate can only be 9600,19200,38400 or 57600!!\n",
                    code=8)

    def test_ppp_addresses(self):
        self.expect(["-PppCfg", "-get"], "PPP Server IP Configuration\n"
                    "Server IP : 192.168.100.1 \nClient IP : 192.168.100.2 \n")
        self.expect(["-PPPCfg", "-set", "10.9.0.1", "10.9.0.2"], "")
        self.expect(["-PppCfg", "-get"], "PPP Server IP Configuration\n"
                    "Server IP : 10.9.0.1 \nClient IP : 10.9.0.2 \n")
        self.expect(["-PppCfg", "-set", "10.9.0.1", "10.9.0.256"], "Invalid IP address !\n",
                    code=8)

    def test_automatic_server_restart(self):
        self.expect(["-ASRCfg", "-get"], "ASR Configuration : \nASR_STATE = DISABLED\n"
                    "ASR_METHOD = RESET\nASR_DELAY=240\n")
        self.expect(["-ASRCfg", "-set", "ENABLED", "POWERCYCLE", "600"],
                    "asr->asr_status: 1 asr->asr_method: 1 asr->asr_delay: 600\n")
        self.expect(["-ASRCfg", "-Get"], "ASR Configuration : \nASR_STATE = ENABLED\n"
                    "ASR_METHOD = POWER_CYCLE\nASR_DELAY=600\n")
        self.expect(["-ASRCfg", "-set", "ENABLED", "RESET", "10"],
                    "Defaulting ASR delay to 240 seconds\n"
                    "asr->asr_status: 1 asr->asr_method: 2 asr->asr_delay: 240\n")
        self.expect(["-ASRCfg", "-set", "ENABLED", "RESET", "70000"], "", code=8)
        self.expect(["-ASRCfg", "-set", "DISABLED"], "")
        self.expect(["-ASRCfg", "-get"], "ASR Configuration : \nASR_STATE = DISABLED\n"
                    "ASR_METHOD = RESET\nASR_DELAY=240\n")

    def test_bus_addresses_and_ipmi(self):
        self.expect(["-GetI2CCfg"], "Current VORL I2C Slave Address: 0x10\n")
        self.expect(["-SetI2CCfg", "0x22"], "")
        self.expect(["-GetI2CCfg"], "Current VORL I2C Slave Address: 0x22\n")
        self.expect(["-SetI2CCfg", "35"], "")
        self.expect(["-GetI2CCfg"], "Current VORL I2C Slave Address: 0x23\n")
        self.expect(["-SetI2CCfg", "0x123"], "", code=8)
        self.expect(["-SetIpmiCfg", "yes", "0x80", "yes", "no", "YES"], "")
        self.expect(["-GetIpmiCfg"], IPMI_LINES % ("YES", "80", "YES", "NO", "YES"))
        self.expect(["-SetIpmiCfg", "no", "256", "no", "no", "no"], "", code=8)

    def test_power_control_is_logged(self):
        self.expect(["-HostCtrl", "powercycle"], "")
        self.expect(["-HostCtrl", "PowerDown"], "")
        self.expect(["-HostCtrl", "Reset"], "Unable to perform Remote Power management\n")
        self.expect(["-HostCtrl", "PowerUp"], "")
        self.expect(["-HostCtrl", "off"], "", code=8)
        listing = self.body("-sel", "-listAllEx")
        self.assertIn("Number of Record : 3 \n", listing)
        for event, text in ((4, "Server power cycled by host request"),
                            (2, "Server powered down by host request"),
                            (3, "Server powered up by host request")):
            self.assertIn("Event Id      : 30%d \n" % event, listing)
            self.assertIn("Event String is: %s\n" % text, listing)


class AdvancedOverNetwork(AdvancedCommands, CardCase):
    def test_state_survives_a_restart(self):
        self.expect(["-HostCtrl", "PowerDown"], "")
        self.expect(["-SetI2CCfg", "0x30"], "")
        self.restart_with()
        self.expect(["-GetI2CCfg"], "Current VORL I2C Slave Address: 0x30\n")
        with open(os.path.join(self.sim.state_dir, "advanced.conf")) as f:
            self.assertIn("power_on=0\n", f.read())

    def test_card_failures(self):
        self.restart_with("--force-status=0x0100:3,0x0C0A:3")
        self.expect(["-GetCardHealth"], "", code=8)
        self.expect(["-GetIpmiCfg"], "Unable to get IPMI configuration information\n")


class AdvancedOverHostInterface(AdvancedCommands, CardCase):
    over_network = False


del AdvancedCommands  # run only through the two transports

if __name__ == "__main__":
    unittest.main()
