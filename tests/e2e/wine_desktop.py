"""Windowed programs of the Windows build under Wine, for end-to-end tests: an Xvfb display of
their own, window_driver.exe (presses buttons and reads controls in another program's windows)
and a private Wine prefix (so that windows of two tests running at once never meet)."""

import os
import queue
import re
import shutil
import subprocess
import threading
import time

from vorltest import EMULATOR, end_process

BIN = os.environ.get("VORL_WINDOWS_BIN", "")
DRIVER = os.path.join(BIN, "tests", "window_driver.exe")
SHOTS = os.path.join(BIN, "screenshots")

WAIT_MS = "30000"


_ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\"}


def _unescape(field):
    r"""A field of window_driver's answer, where \\, \n, \r and \t stand for themselves."""
    return re.sub(r"\\(.)", lambda m: _ESCAPES.get(m.group(1), m.group(0)), field)


class Desktop:
    """An Xvfb display of its own (the first free number) for the Wine programs."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    self.stop()
                    raise RuntimeError("Xvfb did not start")
                number += chunk
        self.display = ":" + number.decode().strip()

    def shot(self, name, driver=None, window=None):
        """A PNG of the whole screen, once `window` (if given) has painted."""
        if window:
            driver.call("settle", window)
            time.sleep(0.3)
        os.makedirs(SHOTS, exist_ok=True)
        subprocess.run(["import", "-display", self.display, "-window", "root",
                        os.path.join(SHOTS, name + ".png")], timeout=60, check=True)

    def stop(self):
        end_process(self.process)


class Driver:
    """window_driver.exe: one command line in, one answer line out."""

    def __init__(self, env):
        self.process = subprocess.Popen([EMULATOR, DRIVER], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=None,
                                        env=env)
        self.answers = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.answers.put(line.decode("latin-1").rstrip("\r\n"))
        self.answers.put(None)

    def call(self, *fields, timeout=60):
        self.process.stdin.write(("\t".join(str(f) for f in fields) + "\n").encode("latin-1"))
        self.process.stdin.flush()
        answer = self.answers.get(timeout=timeout)
        if answer is None:
            raise RuntimeError("window_driver ended")
        parts = answer.split("\t")
        if parts[0] != "ok":
            raise AssertionError("%s: %s" % (" ".join(str(f) for f in fields), answer))
        return [_unescape(p) for p in parts[1:]]

    def text(self, window, control):
        return self.call("text", window, control)[0]

    def until(self, probe, what, seconds=30):
        """Polls probe() until it returns something true."""
        deadline = time.monotonic() + seconds
        while True:
            value = probe()
            if value:
                return value
            if time.monotonic() > deadline:
                raise AssertionError("timed out waiting for %s (last: %r)" % (what, value))
            time.sleep(0.2)

    def message(self):
        """The message box that is up: (title, text)."""
        title, text = self.call("message", WAIT_MS)
        return [title, text]

    def stop(self):
        self.process.stdin.close()  # the driver ends at the end of its input
        end_process(self.process)


# Program files Wine only reads: these may stay hard links into the build's prefix.
READ_ONLY_SUFFIXES = (".dll", ".exe", ".drv", ".sys", ".ocx", ".cpl", ".acm", ".ax", ".tlb",
                      ".nls", ".msstyles", ".ttf", ".fon")


def private_prefix(directory):
    """A Wine prefix for this test alone: the build's prefix with its program files hard-linked
    and every other file copied (Wine may rewrite those), or a new prefix when the build has
    none yet."""
    shared = os.environ.get("WINEPREFIX", "")
    if not shared or not os.path.exists(os.path.join(shared, "system.reg")):
        return directory
    if subprocess.run(["cp", "-al", shared, directory], stdout=subprocess.DEVNULL,
                      stderr=subprocess.DEVNULL).returncode != 0:
        shutil.rmtree(directory, ignore_errors=True)
        subprocess.run(["cp", "-a", shared, directory], check=True)
        return directory
    for folder, _, files in os.walk(directory):
        for name in files:
            path = os.path.join(folder, name)
            if os.path.islink(path) or name.lower().endswith(READ_ONLY_SUFFIXES):
                continue
            shutil.copyfile(path, path + ".own")
            shutil.copymode(path, path + ".own")
            os.replace(path + ".own", path)
    return directory
