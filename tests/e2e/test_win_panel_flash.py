"""vorlpanel.exe's Firmware Flash page under Wine on a virtual display, against a native vorlsim:
an image written by `vorlsim --write-image` is picked in the real file-open dialog (typed with
xdotool), compared with the card and flashed in module mode and in complete mode while the
progress runs; the final message, the reset with factory settings (0x0901) reaching the card,
and the program closing. A broken image and a failing block leave the program usable.
Screenshots land in build/windows/screenshots/."""

import os
import shutil
import struct
import subprocess
import tempfile
import time
import unittest

from test_cli_flash import BLOCK, default_image
from vorltest import DEFAULT_PASSWORD, DEFAULT_USER, EMULATOR, CardConnection, Sim
from wine_desktop import BIN, DRIVER, WAIT_MS, Desktop, Driver, private_prefix

PANEL = os.path.join(BIN, "config", "vorlpanel.exe")

CONNECT = "Choose Connection Type"
MAIN = "VORL Config Application Dialog"
CAPTION = "VORLConfigApp"
IDOK, IDYES, IDNO = 1, 6, 7
CONNECT_OK, EXIT = 1007, 1014
NETWORK_CHOICE, CARD_IP, LOGIN_NAME, LOGIN_PASSWORD = 1002, 1003, 1004, 1005
PAGE_TABS, FLASH_TAB, ADVANCED_TAB, CURRENT_MAC = 1010, 2, 3, 1060
(IMAGE_PATH, BROWSE, MODULE_LIST, COMPLETE_FLASH, BOOT_BLOCK, RETAIN_CONFIG, FLASH_STATUS,
 FLASH_PROGRESS, START_FLASH) = range(1080, 1089)

FILE_NAME = 0x47C  # the file name box of Wine's file-open dialog

FLASH_QUESTION = ("Are you sure you want to flash? Once flash is complete the card will be reset. "
                  "You should not quit the application during flashing")
CONFIG_QUESTION = ("Flashing the config section will result in loss of existing card "
                   "configuration.Are you sure?")
DONE = "Firmware upgrade is complete. The Card will be reset and the application will close"
FLASH_ERROR = "Error during flash operation..Please retry after resetting card"

# The default image's layout: first block and block count of each module.
SECTIONS = {"OS": (3, 28), "CONFIG": (47, 4)}
CARD_ROWS = ["-|OS|1.2.3", "-|DIAG|1.2.3", "-|WEB|1.2.3", "-|FPGA|1.1.2", "-|CONFIG|1.2.3",
             "-|SDK|1.2.1"]
# A block write this late under Wine leaves time to watch the progress.
SLOW_BLOCKS = "--reply-delay=0x0601:80"


def with_version(image, module, version):
    """The image with another version in a module's header (its checksum kept valid)."""
    data = bytearray(image)
    at = SECTIONS[module][0] * BLOCK
    struct.pack_into(">H", data, at + 34, version)
    data[at + 45] = (sum(data[at:at + 48]) - data[at + 45]) % 100
    return bytes(data)


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


class Card:
    """The simulated card, seen through its own protocol."""

    def __init__(self, address):
        self.address = address

    def _call(self, command, payload=b""):
        with CardConnection(self.address) as card:
            if card.login() != 0:
                raise AssertionError("cannot log in to the card")
            return card.transact(command, payload)

    def name(self):
        status, data = self._call(0x0907)
        return data.split(b"\0")[0].decode() if status == 0 else None

    def set_name(self, name):
        assert self._call(0x0906, name.encode().ljust(256, b"\0"))[0] == 0

    def mode(self):
        """0 normal; 2 blocks written since the card last started."""
        status, data = self._call(0x0608)
        return data[0] if status == 0 else None

    def blocks(self, first, count):
        out = b""
        with CardConnection(self.address) as card:
            assert card.login() == 0
            for block in range(first, first + count):
                status, data = card.transact(0x0602, struct.pack(">IIH", block, 0, 0))
                assert status == 0, "block %d: status %d" % (block, status)
                out += data[10:10 + BLOCK]
        return out

    def version(self, signature):
        status, data = self._call(0x0605, signature.ljust(26, b"\0"))
        return struct.unpack_from(">H", data, 24)[0] if status == 0 else None


class WindowsFlashPageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not EMULATOR or not os.path.exists(PANEL) or not os.path.exists(DRIVER):
            raise unittest.SkipTest("runs the Windows build under Wine")
        for tool in ("Xvfb", "import", "xdotool"):
            if shutil.which(tool) is None:
                raise unittest.SkipTest("needs " + tool)
        cls.work = tempfile.mkdtemp(prefix="vorlpanel-flash-", dir=BIN or None)
        cls.addClassCleanup(shutil.rmtree, cls.work, True)
        cls.desktop = Desktop()
        cls.addClassCleanup(cls.desktop.stop)
        # A prefix and a wineserver of its own: no other test's windows carry the same titles.
        prefix = private_prefix(os.path.join(cls.work, "prefix"))
        cls.env = dict(os.environ, DISPLAY=cls.desktop.display, LC_ALL="C.UTF-8",
                       WINEPREFIX=prefix)
        wineserver = os.path.join(os.path.dirname(EMULATOR), "wineserver")
        cls.addClassCleanup(subprocess.run, [wineserver, "-k"], env=cls.env, timeout=60,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        quiet = dict(env=cls.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL, timeout=180)
        subprocess.run([wineserver, "-p"], **quiet)
        # Wine's background services start here, detached from any test's pipes.
        subprocess.run([EMULATOR, "cmd", "/c", "exit"], **quiet)
        # Without a window manager Wine waits for one whenever a window closes.
        subprocess.run([EMULATOR, "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v",
                        "Managed", "/d", "N", "/f"], check=True, **quiet)
        cls.driver = Driver(cls.env)
        cls.addClassCleanup(cls.driver.stop)
        cls.default = default_image(os.path.join(cls.work, "default.ima"))

    # ---- steps ----

    def image(self, name, data):
        path = os.path.join(self.work, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def start(self, *sim_options):
        """A fresh card named "flash-test" (a reset with factory settings names it "VORL"
        again) and vorlpanel on its Firmware Flash page."""
        sim = Sim(*sim_options).start()
        self.addCleanup(shutil.rmtree, sim.state_dir, ignore_errors=True)
        self.addCleanup(sim.stop)
        card = Card(sim.address)
        card.set_name("flash-test")
        self.panel = subprocess.Popen([EMULATOR, PANEL], env=self.env, stdin=subprocess.DEVNULL,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(self.stop_panel)
        d = self.driver
        # The first program in a fresh prefix may take a while on a busy machine.
        d.call("wait", CONNECT, "150000", timeout=180)
        d.call("click", CONNECT, NETWORK_CHOICE)
        d.until(lambda: d.call("enabled", CONNECT, CARD_IP)[0] == "1", "the network fields")
        d.call("ipaddr", CONNECT, CARD_IP, sim.address)
        d.call("settext", CONNECT, LOGIN_NAME, DEFAULT_USER)
        d.call("settext", CONNECT, LOGIN_PASSWORD, DEFAULT_PASSWORD)
        d.call("click", CONNECT, CONNECT_OK)
        d.call("wait", MAIN, WAIT_MS)
        d.call("tab", MAIN, PAGE_TABS, FLASH_TAB)
        d.until(lambda: self.rows(3) == CARD_ROWS, "the card's modules")
        return card

    def stop_panel(self):
        if self.panel.poll() is None:
            self.panel.kill()
            self.panel.wait()

    def rows(self, columns=5):
        """The module list: check mark and the first `columns` - 1 cells of each row."""
        return ["|".join(row.split("|")[:columns]) for row in
                self.driver.call("rows", MAIN, MODULE_LIST)]

    def shot(self, name, window=MAIN):
        self.desktop.shot(name, self.driver, window)

    def xdotool(self, *args):
        done = subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env, timeout=60,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        return done.stdout.decode().split()

    def browse(self, path, shot=None):
        """"&Browse", then the path typed into Wine's file-open dialog and Return."""
        d = self.driver
        d.call("click", MAIN, BROWSE)
        d.call("wait", "Open", WAIT_MS)
        windows = d.until(lambda: self.xdotool("search", "--name", "^Open$"), "the X window")
        self.xdotool("windowfocus", "--sync", windows[0])
        self.xdotool("type", "--delay", "20", windows_path(path))
        # xdotool returns once X has the keys; Wine may still be typing them.
        d.until(lambda: d.text("Open", FILE_NAME) == windows_path(path), "the typed path")
        if shot:
            self.shot(shot, "Open")
        self.xdotool("key", "Return")
        d.call("gone", "Open", WAIT_MS)

    def answer(self, button):
        self.driver.call("click", CAPTION, button)
        self.driver.call("gone", CAPTION, WAIT_MS)

    def expect_message(self, text, shot=None):
        self.assertEqual(self.driver.message(), [CAPTION, text])
        if shot:
            self.shot(shot, CAPTION)

    def status(self):
        return self.driver.text(MAIN, FLASH_STATUS)

    def watch_flash(self, prefix, top, shot):
        """Waits for a block text, checks the windows are disabled meanwhile, and takes a
        picture once a third of the blocks are written."""
        d = self.driver
        d.until(lambda: self.status().startswith(prefix), "the flash under way", seconds=60)
        self.assertEqual(d.call("windowenabled", MAIN), ["0"])
        self.assertEqual(d.call("progress", MAIN, FLASH_PROGRESS)[1], str(top))
        d.until(lambda: int(d.call("progress", MAIN, FLASH_PROGRESS)[0]) >= top // 3,
                "a third of the blocks", seconds=60)
        self.desktop.shot(shot)

    def finish(self, card, top, shot):
        """The final message, the reset with factory settings, the program closing."""
        self.expect_message(DONE, shot)
        self.assertEqual(self.status(), "100% Complete")
        self.assertEqual(self.driver.call("progress", MAIN, FLASH_PROGRESS), [str(top), str(top)])
        self.assertEqual(card.mode(), 2)  # flashed, not restarted yet
        self.driver.call("click", CAPTION, IDOK)
        try:
            self.assertEqual(self.panel.wait(timeout=60), 0)
        except subprocess.TimeoutExpired:
            self.fail("vorlpanel.exe did not close after the flash")
        self.assertEqual(card.mode(), 0)
        self.assertEqual(card.name(), "VORL")

    # ---- tests ----

    def test_module_flash_asks_for_config_then_resets_the_card_and_closes(self):
        card = self.start(SLOW_BLOCKS)
        self.shot("20-flash-page")
        newer = with_version(with_version(self.default, "OS", 0x1300), "CONFIG", 0x1300)
        path = self.image("newer.ima", newer)
        self.browse(path, shot="21-file-open-dialog")
        # The CONFIG row comes up checked: the page asks first; No leaves it unchecked.
        self.expect_message(CONFIG_QUESTION, "22-config-question")
        self.answer(IDNO)
        self.driver.until(lambda: self.rows()[0].endswith("Matches"), "the comparison")
        self.assertEqual(self.rows(), ["x|OS|1.2.3|1.3.0|Matches", "-|DIAG|1.2.3|1.2.3|Matches",
                                       "-|WEB|1.2.3|1.2.3|Matches", "-|FPGA|1.1.2|1.1.2|Matches",
                                       "-|CONFIG|1.2.3|1.3.0|Matches",
                                       "-|SDK|1.2.1|1.2.1|Matches"])
        self.assertEqual(self.driver.text(MAIN, IMAGE_PATH), windows_path(path))
        self.assertEqual(self.driver.call("enabled", MAIN, MODULE_LIST), ["1"])
        self.shot("23-image-compared")

        self.driver.call("click", MAIN, START_FLASH)
        self.expect_message(FLASH_QUESTION, "24-flash-question")
        self.answer(IDYES)
        self.watch_flash("Flashing Module OS Block ", 28, "25-module-flash-progress")
        self.finish(card, 28, "26-module-flash-done")

        first, count = SECTIONS["OS"]
        self.assertEqual(card.blocks(first, count), newer[first * BLOCK:(first + count) * BLOCK])
        first, count = SECTIONS["CONFIG"]
        self.assertEqual(card.blocks(first, count),
                         self.default[first * BLOCK:(first + count) * BLOCK])
        self.assertEqual(card.version(b"$$$OS$$$"), 0x1300)  # the card runs the new OS

    def test_complete_flash_with_boot_block_keeps_the_configuration(self):
        card = self.start(SLOW_BLOCKS)
        # Every block but the configuration's comes from the image, the boot block too.
        image = bytearray(with_version(self.default, "CONFIG", 0x1300))
        image[1000] ^= 0xFF  # the boot block, which validation does not look at
        image = bytes(image)
        self.browse(self.image("complete.ima", image))
        self.expect_message(CONFIG_QUESTION)
        self.answer(IDYES)
        d = self.driver
        d.until(lambda: self.rows()[4].startswith("x|CONFIG"), "the CONFIG row checked")
        d.call("click", MAIN, COMPLETE_FLASH)
        d.until(lambda: d.call("enabled", MAIN, BOOT_BLOCK)[0] == "1", "complete flash mode")
        self.assertEqual(d.call("enabled", MAIN, MODULE_LIST), ["0"])
        d.call("click", MAIN, BOOT_BLOCK)
        d.call("click", MAIN, RETAIN_CONFIG)
        self.shot("27-complete-flash-mode")
        d.call("click", MAIN, START_FLASH)
        self.expect_message(FLASH_QUESTION)
        self.answer(IDYES)
        self.watch_flash("Flashing Block ", 64, "28-complete-flash-progress")
        self.finish(card, 64, "29-complete-flash-done")

        flashed = card.blocks(0, 64)
        config = slice(47 * BLOCK, 51 * BLOCK)
        self.assertEqual(flashed[:config.start], image[:config.start])
        self.assertEqual(flashed[config.stop:], image[config.stop:])
        self.assertEqual(flashed[config], self.default[config])  # put back after the flash
        self.assertEqual(card.version(b"$$CONF$$"), 0x1203)

    def test_a_broken_image_and_a_failing_block_leave_the_program_usable(self):
        card = self.start("--flash-fail-block=10")
        broken = bytearray(self.default)
        broken[20 * BLOCK + 5] ^= 0xFF  # a byte of the OS module: its CRC-32 no longer matches
        self.browse(self.image("broken.ima", bytes(broken)))
        self.expect_message("Image file validation failed", "30-validation-failed")
        self.answer(IDOK)
        self.assertEqual(self.driver.text(MAIN, IMAGE_PATH), "")
        self.driver.call("click", MAIN, START_FLASH)
        self.expect_message("Please select a valid image file to flash")
        self.answer(IDOK)

        self.browse(self.image("newer-os.ima", with_version(self.default, "OS", 0x1300)))
        self.driver.until(lambda: self.rows()[0].startswith("x|OS"), "the OS row checked")
        self.driver.call("click", MAIN, START_FLASH)
        self.expect_message(FLASH_QUESTION)
        self.answer(IDYES)
        # Block 10 fails: the worker says so and ends; no reset, the windows come back.
        self.expect_message(FLASH_ERROR, "31-flash-failed")
        self.answer(IDOK)
        d = self.driver
        d.until(lambda: d.call("windowenabled", MAIN) == ["1"], "the main window enabled again")
        self.assertEqual(d.call("enabled", MAIN, START_FLASH), ["1"])
        self.assertEqual(self.status(), "Flashing Module OS Block 8 of 28. (Total Blocks 28)")
        self.assertEqual(card.mode(), 2)
        self.assertEqual(card.name(), "flash-test")
        self.shot("32-after-failed-flash")

        # Still a working program: another page reads the card, Exit asks and quits.
        d.call("tab", MAIN, PAGE_TABS, ADVANCED_TAB)
        d.until(lambda: d.text(MAIN, CURRENT_MAC), "the Advanced page")
        d.call("click", MAIN, EXIT)
        self.expect_message("Are you sure you want to quit the application?")
        d.call("click", CAPTION, IDYES)
        self.assertEqual(self.panel.wait(timeout=60), 0)
        self.assertEqual(card.name(), "flash-test")


if __name__ == "__main__":
    unittest.main()
