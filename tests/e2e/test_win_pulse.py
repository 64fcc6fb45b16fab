"""vorlpulse.exe as a real service under Wine's service manager: installed with -i, started with
net start, beating against a native vorlsim through the simulated device link, stopped with
net stop and removed with -u.

The service runs in a Wine prefix of its own: its card setting goes into the system environment,
which Wine's service manager reads only when it starts, so the test restarts the wineserver,
and that must not disturb the other tests' prefix. Whatever happens, the service, the
environment value, the wineserver and the prefix are removed again."""

import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

import vorltest
from vorltest import HostSim

SERVICE = "VORL Server Heartbeat Service"
SERVICE_KEY = "HKLM\\System\\CurrentControlSet\\Services\\" + SERVICE
SYSTEM_ENVIRONMENT = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment"
BEAT_LINE = re.compile(r"vorlsim: heartbeat 0x(E[567]) at (\d+) ms")
INTERVAL_SECONDS = 2
STEP_TIMEOUT = 120


def windows_program(name):
    return os.path.join(os.environ.get("VORL_WINDOWS_BIN", ""), "heartbeat", name)


@unittest.skipUnless(vorltest.EMULATOR, "Windows build only")
class ServiceUnderWine(unittest.TestCase):
    def setUp(self):
        self.program = windows_program("vorlpulse.exe")
        self.assertTrue(os.path.exists(self.program), self.program + " is not built")
        self.wine = vorltest.EMULATOR
        self.wineserver = os.path.join(os.path.dirname(self.wine), "wineserver")

        self.sim = HostSim("--heartbeat-interval=%d" % INTERVAL_SECONDS)
        self.sim.start()
        self.addCleanup(shutil.rmtree, self.sim.state_dir, True)
        self.addCleanup(self.sim.stop)
        self.card = "sim:%s:%d" % (self.sim.address, vorltest.DEVLINK_PORT)

        self.prefix = tempfile.mkdtemp(prefix="vorl-wine-pulse-")
        self.addCleanup(shutil.rmtree, self.prefix, True)
        # The card setting is deliberately not in the environment of the Wine programs: the
        # service must find it the way Windows gives a service its configuration.
        self.env = {k: v for k, v in os.environ.items() if k != "VORL_HOSTIFC"}
        self.env.update({"WINEPREFIX": self.prefix, "WINEDEBUG": "-all",
                         "WINEDLLOVERRIDES": "mscoree,mshtml=", "LC_ALL": "C.UTF-8"})
        self.addCleanup(self.stop_wine)

        self.quiet(self.wine, "wineboot", "-i")
        self.quiet(self.wineserver, "-w")
        # Cleanups run last first: the service goes before its environment value.
        self.addCleanup(self.quiet, self.wine, "reg", "delete", SYSTEM_ENVIRONMENT, "/v",
                        "VORL_HOSTIFC", "/f", check=False)
        self.quiet(self.wine, "reg", "add", SYSTEM_ENVIRONMENT, "/v", "VORL_HOSTIFC", "/t",
                   "REG_SZ", "/d", self.card, "/f")
        self.addCleanup(self.remove_service)
        # Written out, and read by the service manager the next wineserver starts.
        self.quiet(self.wineserver, "-w")
        # A persistent wineserver keeps the service alive; it must be the first Wine program.
        self.quiet(self.wineserver, "-p")
        # Wine's background programs keep the streams of the program that starts them.
        self.quiet(self.wine, "cmd", "/c", "exit")

    def quiet(self, *command, check=True):
        done = subprocess.run(command, env=self.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=STEP_TIMEOUT)
        if check:
            self.assertEqual(done.returncode, 0, " ".join(command))
        return done.returncode

    def run_wine(self, *command, extra_env=None):
        env = dict(self.env)
        env.update(extra_env or {})
        done = subprocess.run((self.wine,) + command, env=env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=STEP_TIMEOUT)
        out = done.stdout.decode("latin-1").replace("\r\n", "\n")
        return vorltest.Result(done.returncode, out, done.stderr.decode("latin-1"))

    def pulse(self, option):
        # The installer's own setting: -i passes it on as the service's Environment value.
        return self.run_wine(self.program, option, extra_env={"VORL_HOSTIFC": self.card})

    def remove_service(self):
        self.run_wine("net", "stop", SERVICE)
        self.run_wine("sc", "delete", SERVICE)

    def stop_wine(self):
        subprocess.run([self.wineserver, "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=STEP_TIMEOUT)

    def beats(self):
        return [(code, int(ms)) for code, ms in BEAT_LINE.findall(self.sim.output())]

    def wait_for(self, done, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if done(self.beats()):
                return True
            time.sleep(0.1)
        return False

    def test_install_start_beat_stop_remove(self):
        r = self.pulse("-v")
        self.assertEqual((r.code, r.out),
                         (0, SERVICE + " Version 1.0\nThe service is not installed\n"), r)

        r = self.pulse("-i")
        self.assertEqual((r.code, r.out), (0, SERVICE + " installed\n"), r)
        r = self.pulse("-I")
        self.assertEqual((r.code, r.out), (0, SERVICE + " is already installed\n"), r)
        r = self.pulse("-V")
        self.assertEqual(r.out, SERVICE + " Version 1.0\nThe service is currently installed\n")
        # The program path is quoted; the installer's card setting is the service's own.
        r = self.run_wine("reg", "query", SERVICE_KEY)
        self.assertRegex(r.out, r'ImagePath\s+REG_\w+\s+"[A-Z]:\\[^"]*\\vorlpulse\.exe"\n', r)
        self.assertRegex(r.out, r"Environment\s+REG_MULTI_SZ\s+VORL_HOSTIFC=" +
                         re.escape(self.card), r)

        r = self.run_wine("net", "start", SERVICE)
        self.assertEqual(r.code, 0, r)
        self.assertTrue(self.wait_for(lambda b: [c for c, _ in b].count("E6") >= 2, 60),
                        self.sim.output())
        beats = self.beats()
        self.assertEqual(beats[0][0], "E5", beats)
        polls = [ms for code, ms in beats if code == "E6"]
        # The card asked for a beat every two seconds: the second one waited them out.
        self.assertGreaterEqual(polls[1] - polls[0], INTERVAL_SECONDS * 1000 - 100, beats)
        self.assertLess(polls[1] - polls[0], INTERVAL_SECONDS * 1000 + 10000, beats)
        r = self.run_wine("sc", "query", SERVICE)
        self.assertIn("RUNNING", r.out, r)

        r = self.run_wine("net", "stop", SERVICE)
        self.assertEqual(r.code, 0, r)
        self.assertTrue(self.wait_for(lambda b: "E7" in [c for c, _ in b], 30),
                        self.sim.output())
        r = self.run_wine("sc", "query", SERVICE)
        self.assertIn("STOPPED", r.out, r)

        r = self.pulse("-u")
        self.assertEqual(r.code, 0, r)
        self.assertRegex(r.out, "^" + re.escape(SERVICE + " removed. (You must delete the file (") +
                         r"[A-Z]:\\[^)]*\\vorlpulse\.exe\) yourself\.\)\n$")
        r = self.pulse("-v")
        self.assertEqual(r.out, SERVICE + " Version 1.0\nThe service is not installed\n")
        r = self.pulse("-u")
        self.assertEqual(r.out, SERVICE + " is not installed\n")


if __name__ == "__main__":
    unittest.main()
