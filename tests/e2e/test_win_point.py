"""vorlpoint.exe under Wine on a virtual X display of 1024x768, against a native vorlsim whose
device link queues pointer packets while it runs: the X pointer follows the packets, the tray
icon sits in Wine's tray window, its right-click menu opens the about box and ends the program,
and a second start ends at once. Screenshots go to build/windows/screenshots/.

The test runs Wine in a prefix of its own (a hard-linked copy of the build's prefix) with a
wineserver of its own, so that Wine's desktop process is bound to this test's X display and to
no other test's."""

import os
import re
import select
import shutil
import subprocess
import tempfile
import time
import unittest

import vorltest
from vorltest import HostSim
from wine_desktop import private_prefix

WINDOWS_BIN = os.environ.get("VORL_WINDOWS_BIN", "")
VORLPOINT = os.path.join(WINDOWS_BIN, "mouse", "vorlpoint.exe")
SCREENSHOTS = os.path.join(WINDOWS_BIN, "screenshots")
SCREEN = (1024, 768)
# A fresh machine with two busy cores: Wine's first start in a prefix takes a while.
START_SECONDS = 180
STEP_SECONDS = 60


def wait_for(what, seconds, pause=0.2):
    """Calls what() until it returns something true; returns that, or None after `seconds`."""
    deadline = time.monotonic() + seconds
    while True:
        result = what()
        if result:
            return result
        if time.monotonic() > deadline:
            return None
        time.sleep(pause)


class VirtualDisplay:
    """Xvfb on a free display number (-displayfd), without resets between clients."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.log = tempfile.TemporaryFile()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % SCREEN,
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=self.log,
            stderr=subprocess.STDOUT)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 60
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], 1.0)
            if ready:
                chunk = os.read(read_end, 16)
                if not chunk:
                    break
                number += chunk
        os.close(read_end)
        if not number.strip().isdigit():
            self.stop()
            raise RuntimeError("Xvfb did not start: " + self.output())
        self.name = ":" + number.strip().decode()

    def output(self):
        self.log.seek(0)
        return self.log.read().decode(errors="replace")

    def stop(self):
        vorltest.end_process(self.process)
        self.log.close()


@unittest.skipUnless(vorltest.EMULATOR, "Windows build only")
class TrayProgramUnderWine(unittest.TestCase):
    """One vorlpoint.exe for the whole class: the steps depend on each other (the pointer, then
    the menu, then Exit), so they run as one test in that order."""

    def setUp(self):
        self.assertTrue(os.path.exists(VORLPOINT), VORLPOINT + " is not built")
        os.makedirs(SCREENSHOTS, exist_ok=True)
        self.work = tempfile.mkdtemp(prefix="vorlpoint-", dir=WINDOWS_BIN or None)
        self.addCleanup(shutil.rmtree, self.work, True)
        self.prefix = private_prefix(os.path.join(self.work, "prefix"))
        self.display = VirtualDisplay()
        self.addCleanup(self.display.stop)
        self.sim = HostSim().start()
        self.addCleanup(shutil.rmtree, self.sim.state_dir, True)
        self.addCleanup(self.sim.stop)
        self.env = dict(os.environ)
        self.env.update({"DISPLAY": self.display.name, "WINEPREFIX": self.prefix,
                         "WINEDEBUG": "-all,+debugstr", "WINEDLLOVERRIDES": "mscoree,mshtml=",
                         "LC_ALL": "C.UTF-8"})
        self.env.update(self.sim.hostifc_env())
        wine = vorltest.EMULATOR
        self.wineserver = os.path.join(os.path.dirname(wine), "wineserver")
        self.programs = []
        # Cleanups run last-in first-out: the programs go before the display and the card.
        self.addCleanup(self.stop_wine)

    def stop_wine(self):
        for program, log in self.programs:
            if program.poll() is None:
                program.kill()
                program.wait()
            log.close()
        subprocess.run([self.wineserver, "-k"], env=self.env, timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def start_vorlpoint(self):
        log = tempfile.TemporaryFile()
        program = subprocess.Popen([vorltest.EMULATOR, VORLPOINT], env=self.env,
                                   stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        self.programs.append((program, log))
        return program

    def debug_output(self, index=0):
        log = self.programs[index][1]
        log.seek(0)
        return log.read().decode(errors="replace")

    def xdotool(self, *args):
        done = subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env, timeout=60,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        return done.stdout.decode().strip() if done.returncode == 0 else ""

    def pointer(self):
        match = re.search(r"x:(\d+) y:(\d+)", self.xdotool("getmouselocation"))
        return (int(match.group(1)), int(match.group(2))) if match else None

    def geometry(self, window):
        text = self.xdotool("getwindowgeometry", "--shell", window)
        values = dict(line.split("=", 1) for line in text.splitlines() if "=" in line)
        return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def screenshot(self, name):
        path = os.path.join(SCREENSHOTS, name)
        subprocess.run(["import", "-display", self.display.name, "-window", "root", path],
                       env=self.env, timeout=60, check=True)
        return path

    def first_window(self, *search):
        return self.xdotool("search", *search).split("\n")[0]

    def move_by_card(self, text, expected, tolerance=0):
        """Queues pointer packets; waits for the X pointer to reach `expected` (give or take
        `tolerance` pixels: Wine's own rounding of the absolute range to pixels)."""
        self.assertEqual(self.sim.queue_mouse(text)[0], True, text)

        def there():
            at = self.pointer()
            return at is not None and all(abs(a - e) <= tolerance for a, e in zip(at, expected))

        reached = wait_for(there, STEP_SECONDS)
        self.assertTrue(reached, "%s: pointer at %s, not %s\n%s" % (
            text, self.pointer(), expected, self.debug_output()))

    def open_tray_menu(self, tray):
        x, y, _, height = self.geometry(tray)
        self.xdotool("mousemove", x + height // 2, y + height // 2, "click", "3")
        menu = wait_for(lambda: self.first_window("--onlyvisible", "--classname", "vorlpoint"),
                        STEP_SECONDS)
        self.assertTrue(menu, "no tray menu after a right-click on the icon")
        return self.geometry(menu)

    def test_pointer_follows_the_card_and_the_tray_menu_works(self):
        first = self.start_vorlpoint()
        tray = wait_for(lambda: self.first_window("--name", "^Wine System Tray$"), START_SECONDS)
        self.assertTrue(tray, "no tray icon\n" + self.debug_output())
        self.screenshot("vorlpoint_tray.png")

        # Wine moves the X pointer only when the position it last knew changes: every packet
        # goes somewhere else than the one before it. The first leaves the centre, where the
        # X pointer starts.
        self.xdotool("mousemove", 10, 10)
        self.move_by_card("1:0:100:100", (100, 100), tolerance=1)
        self.move_by_card("1:0:512:384", (512, 384))
        self.move_by_card("1:0:1024:768", (SCREEN[0] - 1, SCREEN[1] - 1))
        # A pause packet holds the next one back for five seconds.
        queued = time.monotonic()
        self.move_by_card("2:0:0:0,1:0:256:192", (256, 192), tolerance=1)
        self.assertGreaterEqual(time.monotonic() - queued, 5.0)
        # Beyond the card's screen: the bottom-right corner, not a wrapped position.
        self.move_by_card("1:0:4096:3072", (SCREEN[0] - 1, SCREEN[1] - 1))
        self.assertIn("Connect Success", self.debug_output())
        self.assertEqual(self.sim.devlink_statistics()["interleaved"], 0)

        # A second start ends at once; the first one runs on.
        second = self.start_vorlpoint()
        self.assertEqual(second.wait(timeout=STEP_SECONDS), 0)
        self.assertIsNone(first.poll())

        # Right-click on the icon: the menu at the cursor, its first item opens the about box.
        x, y, width, height = self.open_tray_menu(tray)
        self.screenshot("vorlpoint_tray_menu.png")
        self.assertGreater(height, 30)  # two items and a separator
        self.xdotool("mousemove", x + width // 3, y + 10, "click", "1")
        about = wait_for(lambda: self.first_window("--name", "^About Cursift$"), STEP_SECONDS)
        self.assertTrue(about, "no about box")
        self.screenshot("vorlpoint_about.png")
        self.xdotool("windowfocus", "--sync", about)
        self.xdotool("key", "Return")
        self.assertTrue(wait_for(lambda: not self.xdotool("search", "--name", "^About Cursift$"),
                                 STEP_SECONDS), "the about box did not close")
        self.assertIsNone(first.poll())

        # Its last item, Exit, ends the program.
        x, y, width, height = self.open_tray_menu(tray)
        self.xdotool("mousemove", x + width // 3, y + height - 10, "click", "1")
        self.assertEqual(first.wait(timeout=STEP_SECONDS), 0)


if __name__ == "__main__":
    unittest.main()
