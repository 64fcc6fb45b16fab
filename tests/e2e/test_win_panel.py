"""vorlpanel.exe under Wine on a virtual display, against a native vorlsim: connection dialog,
every page (each filling its tab), adding a user, changing the password of the account the
panel is logged in with, setting the server information, the host
interface, a refused login, the Exit question and the Enter key in every dialog. A small MinGW program (window_driver.exe) presses the buttons and
reads the controls; screenshots of every window land in build/windows/screenshots/."""

import os
import shutil
import subprocess
import unittest

from vorltest import (DEFAULT_PASSWORD, DEFAULT_USER, EMULATOR, CardConnection, HostSim, Sim,
                      text_fields)
from wine_desktop import BIN, DRIVER, WAIT_MS, Desktop, Driver

PANEL = os.path.join(BIN, "config", "vorlpanel.exe")

CONNECT = "Choose Connection Type"
MAIN = "VORL Config Application Dialog"
CAPTION = "VORLConfigApp"  # the program's message boxes
ABOUT = "AboutVORL ConfigApp "

# Control identifiers (config/panel_ids.h).
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7
CONNECT_OK, EXIT = 1007, 1014
VK_RETURN, VK_ESCAPE = 0x0D, 0x1B
HOST_CHOICE, NETWORK_CHOICE, CARD_IP, LOGIN_NAME, LOGIN_PASSWORD, CONNECT_STATUS = range(1001, 1007)
PAGE_TABS, ABOUT_VERSION = 1010, 1012
USER_LIST, USER_NAME, NEW_PASSWORD, CONFIRM_PASSWORD, ADD_USER = 1020, 1021, 1023, 1024, 1028
CURRENT_PASSWORD, MODIFY_USER = 1022, 1030
NET_ADDRESS, CURRENT_MAC = 1043, 1060
NEW_METHOD, NEW_ENTRIES, NET_APPLY = 1046, (1047, 1048, 1049), 1050
SERVER_FIELDS, SERVER_APPLY = (1070, 1071, 1072, 1073), 1074
MAX_BORDER = 4  # pixels of the tab control's own frame around its pages


class WindowsPanelTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not EMULATOR or not os.path.exists(PANEL) or not os.path.exists(DRIVER):
            raise unittest.SkipTest("runs the Windows build under Wine")
        if not all(shutil.which(tool) for tool in ("Xvfb", "import", "xdotool")):
            raise unittest.SkipTest("needs Xvfb, ImageMagick and xdotool")
        cls.desktop = Desktop()
        cls.addClassCleanup(cls.desktop.stop)  # also when the rest of the set-up fails
        cls.env = dict(os.environ, DISPLAY=cls.desktop.display, LC_ALL="C.UTF-8")
        # Without a window manager Wine waits for one each time a window closes; unmanaged
        # windows close at once.
        subprocess.run([EMULATOR, "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed",
                        "/d", "N", "/f"], env=cls.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=120, check=True)
        cls.driver = Driver(cls.env)
        cls.addClassCleanup(cls.driver.stop)

    def start_panel(self, extra_env=None):
        env = dict(self.env, **(extra_env or {}))
        self.panel = subprocess.Popen([EMULATOR, PANEL], env=env, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
        self.addCleanup(self.stop_panel)
        self.driver.call("wait", CONNECT, WAIT_MS)

    def stop_panel(self):
        if self.panel.poll() is None:
            self.panel.kill()
            self.panel.wait()

    def wait_for_exit(self):
        try:
            return self.panel.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.fail("vorlpanel.exe did not end")

    def start_sim(self, sim):
        sim.start()
        self.addCleanup(shutil.rmtree, sim.state_dir, ignore_errors=True)
        self.addCleanup(sim.stop)
        return sim

    def shot(self, name, window):
        self.desktop.shot(name, self.driver, window)

    def connect_over_network(self, address, user, password, shot=None, enter_in=None):
        """Fills the network fields, then presses Ok, or Enter in field `enter_in`."""
        d = self.driver
        d.call("click", CONNECT, NETWORK_CHOICE)
        d.until(lambda: d.call("enabled", CONNECT, CARD_IP)[0] == "1", "the network fields")
        self.assertEqual(d.call("limit", CONNECT, LOGIN_NAME), ["30"])
        self.assertEqual(d.call("limit", CONNECT, LOGIN_PASSWORD), ["30"])
        d.call("ipaddr", CONNECT, CARD_IP, address)
        d.call("settext", CONNECT, LOGIN_NAME, user)
        d.call("settext", CONNECT, LOGIN_PASSWORD, password)
        if shot:
            self.shot(shot, CONNECT)
        if enter_in:
            d.call("key", CONNECT, enter_in, VK_RETURN)
        else:
            d.call("click", CONNECT, CONNECT_OK)

    def assert_page_fills_its_tab(self):
        """The page showing reaches the tab control's border: no band of another colour."""
        right, bottom = (int(gap) for gap in self.driver.call("pagegap", MAIN, PAGE_TABS))
        self.assertLessEqual(max(right, bottom), MAX_BORDER,
                             "the page stops %d px short on the right, %d below" % (right, bottom))

    def wait_for_users(self, expected, what):
        lines = []

        def probe():
            lines[:] = self.driver.call("list", MAIN, USER_LIST)
            return lines == expected

        try:
            self.driver.until(probe, what)
        except AssertionError:
            self.fail("%s: the list shows %r" % (what, lines))

    def answer(self, button, title=CAPTION):
        self.driver.call("click", title, button)
        self.driver.call("gone", title, WAIT_MS)

    def test_network_connection_pages_and_changes(self):
        sim = self.start_sim(Sim())
        d = self.driver
        self.start_panel()
        self.shot("01-connection-dialog", CONNECT)
        self.assertEqual(d.text(CONNECT, HOST_CHOICE), "I am on the server which has a VORL plugged in")
        self.assertEqual(d.call("enabled", CONNECT, LOGIN_NAME), ["0"])
        self.connect_over_network(sim.address, DEFAULT_USER, DEFAULT_PASSWORD,
                                  shot="02-connection-network", enter_in=LOGIN_PASSWORD)
        d.call("wait", MAIN, WAIT_MS)
        self.wait_for_users(["admin"], "the user list")
        self.assert_page_fills_its_tab()
        self.shot("03-tab-user-manager", MAIN)

        # Each page reads the card when it is first shown: (tab, a control, what it shows).
        for tab, control, shown, name in ((1, NET_ADDRESS, "10.10.1.10", "network-configuration"),
                                          (2, None, None, "firmware-flash"),
                                          (3, CURRENT_MAC, "02:00:4B:38:00:01", "advanced")):
            d.call("tab", MAIN, PAGE_TABS, tab)
            if control:
                d.until(lambda: d.text(MAIN, control), "the %s page" % name)
                self.assertEqual(d.text(MAIN, control), shown)
            self.assert_page_fills_its_tab()
            self.shot("%02d-tab-%s" % (tab + 3, name), MAIN)

        # Server information: typed in, applied, on the card.
        d.call("tab", MAIN, PAGE_TABS, 4)
        texts = ("panel-server", "Rack 7, row B", "Windows Server", "set from vorlpanel.exe")
        for control, text in zip(SERVER_FIELDS, texts):
            d.call("settext", MAIN, control, text)
        self.assert_page_fills_its_tab()
        self.shot("07-tab-server-information", MAIN)
        d.call("click", MAIN, SERVER_APPLY)
        self.assertEqual(d.message(), [CAPTION, "Server Information has been set successfully!!\n"])
        self.shot("08-server-information-set", CAPTION)
        self.answer(IDOK)
        with CardConnection(sim.address) as card:
            self.assertEqual(card.login(), 0)
            status, data = card.transact(0x0905)
            self.assertEqual(status, 0)
            self.assertEqual([text_fields(data[0:96], 32), text_fields(data[96:152], 56)],
                             [list(texts[:3]), [texts[3]]])

        # A user added through the user dialog: in the list and on the card.
        d.call("tab", MAIN, PAGE_TABS, 0)
        d.call("click", MAIN, ADD_USER)
        d.call("wait", "Dialog", WAIT_MS)
        d.call("settext", "Dialog", USER_NAME, "paneluser")
        d.call("settext", "Dialog", NEW_PASSWORD, "password1")
        d.call("settext", "Dialog", CONFIRM_PASSWORD, "password1")
        self.shot("09-user-dialog", "Dialog")
        d.call("key", "Dialog", CONFIRM_PASSWORD, VK_RETURN)  # Enter presses OK
        d.call("gone", "Dialog", WAIT_MS)
        self.wait_for_users(["admin", "paneluser"], "the new user in the list")
        with CardConnection(sim.address) as card:
            self.assertEqual(card.login("paneluser", "password1"), 0)

        # Modify of the account the panel is logged in with: a backup account keeps a login
        # working until a fresh connection has proved the new password; the page goes on over
        # that connection, and no backup account is left.
        d.call("select", MAIN, USER_LIST, 0)
        d.call("settle", MAIN)
        d.call("settext", MAIN, CURRENT_PASSWORD, DEFAULT_PASSWORD)
        d.call("settext", MAIN, NEW_PASSWORD, "panel-Pw-2")
        d.call("settext", MAIN, CONFIRM_PASSWORD, "panel-Pw-2")
        d.call("click", MAIN, MODIFY_USER)
        self.wait_for_users(["paneluser", "admin"], "the list after Modify")
        with CardConnection(sim.address) as card:
            self.assertEqual(card.login("admin", "panel-Pw-2"), 0)
            status, data = card.transact(0x0503)
            self.assertEqual((status, text_fields(data, 32)), (0, ["paneluser", "admin"]))

        d.call("syscommand", MAIN, 16)
        d.call("wait", ABOUT, WAIT_MS)
        self.assertEqual(d.text(ABOUT, ABOUT_VERSION), "VORLConfigApp 1.5.16.0")
        self.shot("10-about-box", ABOUT)
        self.answer(IDOK, ABOUT)

        # Enter presses Exit, also once the Network Configuration page has disabled its address
        # fields.
        d.call("key", MAIN, USER_LIST, VK_RETURN)
        self.assertEqual(d.message(), [CAPTION, "Are you sure you want to quit the application?"])
        self.shot("11-exit-question", CAPTION)
        self.answer(IDNO)
        d.call("wait", MAIN, WAIT_MS)
        d.call("click", MAIN, EXIT)
        self.assertEqual(d.message()[1], "Are you sure you want to quit the application?")
        d.call("click", CAPTION, IDYES)
        self.assertEqual(self.wait_for_exit(), 0)

    def test_a_static_address_set_over_the_network_closes_the_program(self):
        sim = self.start_sim(Sim())
        d = self.driver
        self.start_panel()
        self.connect_over_network(sim.address, DEFAULT_USER, DEFAULT_PASSWORD, enter_in=LOGIN_NAME)
        d.call("wait", MAIN, WAIT_MS)
        d.call("tab", MAIN, PAGE_TABS, 1)
        d.until(lambda: d.text(MAIN, NET_ADDRESS), "the network configuration")
        d.call("select", MAIN, NEW_METHOD, 1)  # STATIC
        d.until(lambda: d.call("enabled", MAIN, NEW_ENTRIES[0])[0] == "1", "the address entries")
        # Texts for the simulated card to store; nothing is sent to these addresses.
        addresses = ("127.0.0.77", "255.0.0.0", "127.0.0.1")
        for control, address in zip(NEW_ENTRIES, addresses):
            d.call("ipaddr", MAIN, control, address)
        d.call("click", MAIN, NET_APPLY)
        self.assertEqual(d.message()[1],
                         "You are currently connected to the VORL via the network and you are "
                         "chaging the network parameters.The application will close once the "
                         "changes are applied and you will have to reconnect.Are you sure?")
        self.shot("15-network-change-question", CAPTION)
        d.call("click", CAPTION, IDYES)
        self.assertEqual(self.wait_for_exit(), 0)
        with CardConnection(sim.address) as card:
            self.assertEqual(card.login(), 0)
            status, data = card.transact(0x0700)
            fields = text_fields(data, 32)
            self.assertEqual((status, fields[0], fields[3], fields[5], fields[6]),
                             (0, "STATIC") + addresses)

    def test_wrong_password_gives_a_fresh_dialog(self):
        sim = self.start_sim(Sim())
        d = self.driver
        self.start_panel()
        self.connect_over_network(sim.address, DEFAULT_USER, "not-the-password", enter_in=CARD_IP)
        self.assertEqual(d.message(), [CAPTION, "Invalid Username or Password !"])
        self.shot("12-invalid-login", CAPTION)
        self.answer(IDOK)
        d.call("wait", CONNECT, WAIT_MS)
        self.assertEqual(d.call("enabled", CONNECT, CARD_IP), ["0"])  # a fresh dialog
        self.assertEqual(d.text(CONNECT, CONNECT_STATUS), "")
        d.call("click", CONNECT, IDCANCEL)
        self.assertEqual(self.wait_for_exit(), 0)

    def test_host_interface_cd_notice_and_closing_keys(self):
        sim = self.start_sim(HostSim())
        d = self.driver
        self.start_panel(sim.hostifc_env())
        # A real Enter key on the fresh dialog, whose host choice has the focus, presses Ok.
        window = subprocess.run(["xdotool", "search", "--name", "^%s$" % CONNECT], env=self.env,
                                capture_output=True, text=True, timeout=60).stdout.split()
        self.assertEqual(len(window), 1, window)
        subprocess.run(["xdotool", "windowfocus", "--sync", window[0]], env=self.env, timeout=60,
                       check=True)
        subprocess.run(["xdotool", "key", "Return"], env=self.env, timeout=60, check=True)
        d.call("wait", MAIN, WAIT_MS)
        self.wait_for_users(["admin"], "the user list over the host interface")
        self.shot("13-host-interface-user-manager", MAIN)

        d.call("mediaarrival", MAIN, 1 << 4)
        title, text = d.message()
        self.assertEqual(title, "CD Redirection Has Been Started")
        self.assertTrue(text.startswith("CD Redirection has been started on the card \n"), text)
        self.shot("14-cd-redirection-notice", title)
        self.answer(IDOK, title)

        # Enter asks like Exit; Escape and the title bar's close button end without a question.
        d.call("key", MAIN, USER_LIST, VK_RETURN)
        self.assertEqual(d.message(), [CAPTION, "Are you sure you want to quit the application?"])
        self.answer(IDNO)
        d.call("key", MAIN, USER_LIST, VK_ESCAPE)
        self.assertEqual(self.wait_for_exit(), 0)

        self.start_panel(sim.hostifc_env())
        d.call("key", CONNECT, HOST_CHOICE, VK_RETURN)  # as a posted key message too
        d.call("wait", MAIN, WAIT_MS)
        d.call("close", MAIN)
        self.assertEqual(self.wait_for_exit(), 0)


if __name__ == "__main__":
    unittest.main()
