"""vorlcli -flash, -cardMode and -file against vorlsim: output byte for byte, exit status, and
what the card's flash (flash.bin in its state directory) and file store hold afterwards."""

import os
import shutil
import struct
import subprocess
import tempfile
import unittest

from vorltest import REMINDER, VORLSIM, CardConnection, Sim, SimTestCase, run_cli

BLOCK = 65536
QUESTION = "\nSome arguments are invalid.Do you want usage help (y/n)?\n"
UPDATE_PROMPT = ("\nFirmware upgrade is a crucial operation.This operation should not be "
                 "interrupted.\n The VORL will also be reset after this command is completed."
                 "Are you Sure (y/n)?\n")
RETAIN_PROMPT = "Do you want to retain the current configuration after upgrade (y/n)?\n"
OS_BLOCK = 3
DEVICE_LINK_PORT = 6578
CONFIG_BLOCKS = range(47, 51)


def default_image(path):
    subprocess.run([VORLSIM, "--write-image=" + path], check=True, stdout=subprocess.DEVNULL)
    with open(path, "rb") as f:
        return f.read()


def with_os_version(image, version):
    """The image with another OS version in its header (checksum kept valid)."""
    data = bytearray(image)
    at = OS_BLOCK * BLOCK
    struct.pack_into(">H", data, at + 34, version)
    data[at + 45] = (sum(data[at:at + 48]) - data[at + 45]) % 100
    return bytes(data)


class FlashTestCase(SimTestCase):
    def setUp(self):
        super().setUp()
        self.work = tempfile.mkdtemp(prefix="vorl-flash-")
        self.default = default_image(self.path("default.ima"))

    def tearDown(self):
        super().tearDown()
        shutil.rmtree(self.work, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.work, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def card_flash(self):
        """The card's flash as kept in its state directory (the default image until written)."""
        path = os.path.join(self.sim.state_dir, "flash.bin")
        return self.read(path) if os.path.exists(path) else self.default

    def expect(self, words, out, code=0, stdin=""):
        r = self.cli(*words, stdin=stdin)
        tail = QUESTION if code == 8 else REMINDER
        # run_cli folds CR LF to LF; a progress line's "\r" before a "\n" folds the same way.
        expected = (self.login_prefix() + out + tail).replace("\r\n", "\n")
        self.assertEqual(r.out, expected, r)
        self.assertEqual(r.code, code, r)
        return r

    def section_version(self, signature):
        with CardConnection(self.sim.address) as card:
            self.assertEqual(card.login(), 0)
            status, info = card.transact(0x0605, signature + bytes(18))
            self.assertEqual(status, 0)
            return struct.unpack_from(">H", info, 24)[0]

    @staticmethod
    def update_lines(path, retained, boot="SKIPPED"):
        return (UPDATE_PROMPT + RETAIN_PROMPT +
                "Firmware Image File : \t\t\t[ %s ]\n" % path +
                "Validating Image File :\t\t\t[ OK ]\n"
                "Opening Image File : \t\t\t[ OK ]\n"
                "Getting MAC address : \t\t\t[ OK ]\n"
                "Boot Block Flash : \t\t\t[ %s ]\n" % boot +
                "".join("Flashing ... Block %d of 64 \r" % n for n in range(1, 64)) +
                "Flashing :       \t\t\t[ OK ]\n"
                "Saving MAC Address : \t\t\t[ OK ]\n"
                "Resetting VORL (Config %s):\t\t\t[ OK ]\n" %
                ("Retained" if retained else "Defaults"))


class UpdateTest(FlashTestCase):
    def test_update_keeping_the_configuration_boots_the_new_firmware(self):
        self.assertEqual(self.cli("-HB", "-SetHB", "600").code, 0)
        hb = self.cli("-HB", "-GetHB").out
        newer = with_os_version(self.default, 0x2105)
        path = self.write("newer.ima", newer)
        self.expect(["-flash", "-update", path], self.update_lines(path, True), stdin="y\ny\n")
        flash = self.card_flash()
        self.assertEqual(flash[BLOCK:], newer[BLOCK:])
        self.assertEqual(self.section_version(b"$$$OS$$$"), 0x2105)
        self.assertEqual(self.cli("-HB", "-GetHB").out, hb)
        self.expect(["-Net", "-GetMac"], "MAC Address is : 02:00:4B:38:00:01 \n")

    def test_update_with_defaults_and_boot_block(self):
        default_hb = self.cli("-HB", "-GetHB").out
        self.assertEqual(self.cli("-HB", "-SetHB", "600").code, 0)
        image = bytearray(with_os_version(self.default, 0x2105))
        image[100] ^= 0xFF  # the boot block carries no header the tools check
        path = self.write("boot.ima", bytes(image))
        self.expect(["-cardMode", "-update", "-BOOT", path],
                    self.update_lines(path, False, boot="OK"), stdin="yes\nno\n")
        self.assertEqual(self.card_flash(), bytes(image))
        self.assertEqual(self.cli("-HB", "-GetHB").out, default_hb)

    def test_cancelled_update_changes_nothing(self):
        path = self.write("newer.ima", with_os_version(self.default, 0x2105))
        self.expect(["-file", "-update", path], UPDATE_PROMPT + "\nCommand cancelled by user\n",
                    stdin="n\n")
        self.assertEqual(self.card_flash(), self.default)
        self.assertEqual(self.section_version(b"$$$OS$$$"), 0x1203)

    def test_invalid_image_is_refused_before_anything_is_sent(self):
        broken = bytearray(self.default)
        broken[OS_BLOCK * BLOCK + 5000] ^= 1
        path = self.write("broken.ima", bytes(broken))
        self.expect(["-flash", "-update", path],
                    UPDATE_PROMPT + RETAIN_PROMPT +
                    "Firmware Image File : \t\t\t[ %s ]\n" % path +
                    "Validating Image File :\t\t\t[ FAILED ]\n"
                    "The Image file you specified is not in the correct format or is corrupted."
                    "Please specify a valid image file!\n", code=8, stdin="y\ny\nn\n")
        self.assertEqual(self.card_flash(), self.default)

    def test_usage_errors(self):
        for words in (["-flash", "-update"], ["-flash", "-update", "-full", "x.ima"],
                      ["-flash", "update", "x.ima"], ["-flash", "-update", "a", "b", "c"]):
            with self.subTest(words=words):
                self.expect(words, "", code=8, stdin="n\n")


class FailingBlockTest(FlashTestCase):
    sim_options = ("--flash-fail-block=10",)

    def test_failed_block_stops_the_update_without_mac_or_reset(self):
        path = self.write("newer.ima", with_os_version(self.default, 0x2105))
        out = (UPDATE_PROMPT + RETAIN_PROMPT +
               "Firmware Image File : \t\t\t[ %s ]\n" % path +
               "Validating Image File :\t\t\t[ OK ]\n"
               "Opening Image File : \t\t\t[ OK ]\n"
               "Getting MAC address : \t\t\t[ OK ]\n"
               "Boot Block Flash : \t\t\t[ SKIPPED ]\n" +
               "".join("Flashing ... Block %d of 64 \r" % n for n in range(1, 11)) +
               "\nError during flashing\t\t\t\t\n")
        self.expect(["-flash", "-update", path], out, code=21, stdin="y\ny\n")
        self.assertEqual(self.section_version(b"$$$OS$$$"), 0x1203)  # never reset


class VanishingCardTest(FlashTestCase):
    sim_options = ("--flash-vanish-after=20",)

    def test_card_gone_mid_flash_ends_with_the_connect_error(self):
        path = self.write("newer.ima", with_os_version(self.default, 0x2105))
        r = self.cli("-flash", "-update", path, stdin="y\ny\n")
        self.assertEqual(r.code, 33, r)
        self.assertTrue(r.out.endswith("Flashing ... Block 20 of 64 \nError during flashing"
                                       "\t\t\t\t\n" + REMINDER), r)
        flash = self.read(os.path.join(self.sim.state_dir, "flash.bin"))
        self.assertEqual(flash[OS_BLOCK * BLOCK:OS_BLOCK * BLOCK + 48],
                         with_os_version(self.default, 0x2105)[OS_BLOCK * BLOCK:][:48])


class UnreadableMacTest(FlashTestCase):
    sim_options = ("--force-status=0x0800:5",)

    def test_mac_that_could_not_be_read_is_not_written_back(self):
        path = self.write("newer.ima", with_os_version(self.default, 0x2105))
        out = (UPDATE_PROMPT + RETAIN_PROMPT +
               "Firmware Image File : \t\t\t[ %s ]\n" % path +
               "Validating Image File :\t\t\t[ OK ]\n"
               "Opening Image File : \t\t\t[ OK ]\n"
               "Getting MAC address : \t\t\t[ FAILED ]\n"
               "\nUnable to retreive existing MAC address from card. Flashing may cause MAC "
               "address loss.\n"
               "Boot Block Flash : \t\t\t[ SKIPPED ]\n" +
               "".join("Flashing ... Block %d of 64 \r" % n for n in range(1, 64)) +
               "Flashing :       \t\t\t[ OK ]\n"
               "Saving MAC Address : \t\t\t[ SKIPPED ]\n"
               "Resetting VORL (Config Retained):\t\t\t[ OK ]\n")
        self.expect(["-flash", "-update", path], out, stdin="y\ny\n")
        self.assertEqual(self.section_version(b"$$$OS$$$"), 0x2105)


class UnreadableBootBlockTest(FlashTestCase):
    sim_options = ("--force-status=0x0602:21",)

    def test_compare_boot_reports_the_failed_read(self):
        self.expect(["-flash", "-CompareBoot", self.path("default.ima")],
                    "Error: Error during I/O\n", code=21)


class ReadBackTest(FlashTestCase):
    def test_read_back_then_compare_boot(self):
        path = self.path("back.ima")
        self.expect(["-flash", "-read", path],
                    "Reading from Flash ... \n" +
                    "".join("Reading Block... %d of 64 \r" % n for n in range(64)) +
                    "Reading Block... 64. Done \nFirmware stored in file %s. \n" % path)
        self.assertEqual(self.read(path), self.default)

        self.expect(["-flash", "-CompareBoot", path],
                    "Match : The boot block in the image file you selected is the same as the "
                    "boot block on the VORL\n")
        other = bytearray(self.default)
        other[7] ^= 1
        self.expect(["-flash", "-compareboot", self.write("other.ima", bytes(other))],
                    "Different : The boot block in the image file you selected differs from the "
                    "boot block currently on the VORL\n", code=1)
        self.expect(["-flash", "-CompareBoot", self.write("short.ima", self.default[:100])],
                    "Unable to read from image file !\n", code=8, stdin="n\n")

    def test_whole_image_upload_and_download(self):
        newer = with_os_version(self.default, 0x2105)
        self.expect(["-flash", "-upload", self.write("newer.ima", newer)], "")
        self.assertEqual(self.card_flash(), newer)
        target = self.write("target.ima", self.default)
        self.expect(["-flash", "-download", target], "")
        self.assertEqual(self.read(target), newer)
        junk = self.write("junk.ima", b"not an image")
        self.expect(["-flash", "-download", junk], "", code=28)
        self.assertEqual(self.read(junk), b"not an image")

    def test_card_mode_and_saving(self):
        self.expect(["-flash", "-SaveConfig"], "")
        self.expect(["-file", "-saveSDK"], "")
        self.expect(["-flash", "-get"], "Card is in Normal Mode\n")
        self.expect(["-flash", "-Flash"], "")
        self.expect(["-cardMode", "-get"], "Card is being flashed, back-off!\n")


class ConfigSectionTest(FlashTestCase):
    def test_get_and_put_config(self):
        saved = self.path("config.bin")
        self.expect(["-flash", "-GetConfig", saved], "")
        section = self.read(saved)
        self.assertEqual(section, self.default[47 * BLOCK:51 * BLOCK])

        changed = bytearray(section)
        changed[2 * BLOCK + 9] ^= 0xFF
        self.expect(["-flash", "-PutConfig", self.write("changed.bin", bytes(changed))],
                    "".join("Flashing the config section block %d of 4\r" % n
                            for n in range(1, 5)) +
                    "\nConfig section put back successfully. Restart the card...\n")
        self.assertEqual(self.card_flash()[47 * BLOCK:51 * BLOCK], bytes(changed))

    def test_put_config_refuses_other_sizes_and_short_files(self):
        resized = bytearray(self.default[47 * BLOCK:51 * BLOCK])
        struct.pack_into(">I", resized, 16, 5 * BLOCK)
        self.expect(["-flash", "-PutConfig", self.write("resized.bin", bytes(resized))],
                    "Config section size mismatch ! Can not put back the config section.\n",
                    code=8, stdin="n\n")
        self.expect(["-flash", "-PutConfig", self.write("short.bin", self.default[47 * BLOCK:][:BLOCK])],
                    "Unable to get config info from file ! Aborting\n", code=8, stdin="n\n")
        self.expect(["-flash", "-PutConfig", self.path("missing.bin")],
                    "Unable to open config file %s\n" % self.path("missing.bin"),
                    code=8, stdin="n\n")
        self.assertEqual(self.card_flash(), self.default)


class FileTransferTest(FlashTestCase):
    def test_upload_download_round_trip(self):
        for size in (0, 1, BLOCK, BLOCK + 1, 200000):
            with self.subTest(size=size):
                data = bytes((i * 7 + size) & 0xFF for i in range(size))
                src = self.write("src.bin", data)
                self.expect(["-file", "-upload", src, "data/test.bin"], "")
                if size == 0:
                    continue  # nothing is sent for an empty file
                out = self.path("out.bin")
                self.expect(["-file", "-download", "data/test.bin", out], "")
                self.assertEqual(self.read(out), data)

    def test_transfer_errors(self):
        self.expect(["-file", "-upload", self.path("missing"), "x"],
                    "Error:  Unable to open file\n", code=14)
        self.expect(["-file", "-download", "no/such/file", self.path("out.bin")],
                    "Error while get number of Records, General error\n", code=30)
        self.expect(["-file", "-download", "p" * 80, self.path("never.bin")],
                    "Error while get number of Records, Out of Range\n", code=26)
        self.assertFalse(os.path.exists(self.path("never.bin")))

    def test_upload_server_info_name_rules(self):
        os.makedirs(self.path("cfg"))
        good = self.write(os.path.join("cfg", "serverInfo.conf"), b"ServerName=test\n")
        self.expect(["-file", "-uploadServerInfo", good], "")
        out = self.path("back.conf")
        self.expect(["-file", "-download", "k8config/serverInfo.conf", out], "")
        self.assertEqual(self.read(out), b"ServerName=test\n")
        for name in ("serverInfo.conf.old", "ServerInfo.conf", "serverInfo.confserverInfo.conf"):
            with self.subTest(name=name):
                self.expect(["-file", "-uploadServerInfo", self.write(name, b"x")],
                            "Filename should be serverInfo.conf \n", code=8, stdin="n\n")



class HostInterfaceFlashTest(unittest.TestCase):
    """The same procedures through the card's host interface (no login)."""

    def setUp(self):
        self.sim = Sim(wait_ports=(6577, DEVICE_LINK_PORT))
        self.sim.options.append("--devlink-listen=" + self.sim.address)
        self.sim.start()
        self.env = {"VORL_HOSTIFC": "sim:%s:%d" % (self.sim.address, DEVICE_LINK_PORT)}
        self.work = tempfile.mkdtemp(prefix="vorl-flash-cd-")

    def tearDown(self):
        self.sim.stop()
        shutil.rmtree(self.sim.state_dir, ignore_errors=True)
        shutil.rmtree(self.work, ignore_errors=True)

    def test_update_then_read_back_over_the_host_interface(self):
        default = default_image(os.path.join(self.work, "default.ima"))
        newer = with_os_version(default, 0x2105)
        path = os.path.join(self.work, "newer.ima")
        with open(path, "wb") as f:
            f.write(newer)
        r = run_cli("-cd", "-flash", "-update", path, stdin="y\ny\n", env=self.env)
        self.assertEqual(r.code, 0, r)
        self.assertTrue(r.out.endswith("Resetting VORL (Config Retained):\t\t\t[ OK ]\n" +
                                       REMINDER), r)
        back = os.path.join(self.work, "back.ima")
        r = run_cli("-cd", "-flash", "-read", back, env=self.env)
        self.assertEqual(r.code, 0, r)
        with open(back, "rb") as f:
            self.assertEqual(f.read(), newer)

if __name__ == "__main__":
    unittest.main()
