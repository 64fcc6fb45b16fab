"""vorlcli.exe under Wine against a native vorlsim: the event log, sensor and health output of
the Windows build (its C runtime's local time and number formatting)."""

import unittest

from test_cli_advanced import DASHES, FACTORY_SENSORS
from vorltest import EMULATOR, REMINDER, VORLCLI, SimTestCase

EPOCH = "Thu Jan  1 00:00:00 1970\n"


class WindowsSelTest(SimTestCase):
    def setUp(self):
        if not EMULATOR or not VORLCLI.endswith(".exe"):
            self.skipTest("runs the Windows build under Wine")
        super().setUp()

    def body(self, *words, tz="UTC0", code=0):
        r = self.cli(*words, env={"TZ": tz})
        self.assertEqual(r.code, code, r)
        self.assertTrue(r.out.startswith(self.login_prefix()) and r.out.endswith(REMINDER), r)
        return r.out[len(self.login_prefix()):-len(REMINDER)]

    def test_log_times_in_the_chosen_zone(self):
        info = self.body("-sel", "-selInfo")
        self.assertIn("SEL Version         : 1.5\nNumber of Records   : 0 \n", info)
        self.assertIn("Last Additon        : " + EPOCH, info)
        # West of Greenwich the epoch is a local time before 1970, which this C runtime may
        # refuse: then the raw seconds are shown.
        west = self.body("-sel", "-selInfo", tz="EST5")
        self.assertTrue("Last Additon        : Wed Dec 31 19:00:00 1969\n" in west or
                        "Last Additon        : 0 (invalid time)\n" in west, west)

    def test_records_sensors_and_health(self):
        self.body("-sel", "-add", "3", "7", "W")
        self.body("-HostCtrl", "PowerDown")
        listing = self.body("-sel", "-listAllEx")
        self.assertIn("Number of Record : 2 \n", listing)
        self.assertIn("Event Id      : 307 \nModule Number : 3 \nEvent Number  : 7 \n"
                      "Event Severity: WARNING\n", listing)
        self.assertIn("Event String is: Server powered down by host request\n", listing)
        self.assertEqual(self.body("-SDK", "-readsensors"),
                         "Sensor data retrieved, displaying...\n" + FACTORY_SENSORS)
        health = self.body("-GetCardHealth")
        self.assertTrue(health.startswith(DASHES + "             VORL card Health\n"), health)
        self.assertIn("VCC 3.3V                         3.296    Volts      Normal\n", health)
        self.assertIn("Battery 3V                       3.05     Volts      Normal\n", health)


if __name__ == "__main__":
    unittest.main()
