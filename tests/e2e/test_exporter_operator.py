"""vorl_exporter as its operators meet it: target addresses read strictly and the connect made
to exactly the checked address (strace), a card whose texts are not UTF-8 and whose sensors
share a name still gives a valid page, the probe debug page and the failure reasons,
process_* metrics, password files that are not plain files refused at start without waiting,
and --config.check."""

import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
import urllib.parse

from exportertest import (CONFIG, VORL_EXPORTER, Exporter, odd_card, promtool_check, samples,
                          value)
from vorltest import DEFAULT_PASSWORD, Sim, fresh_address, run_cli

STRACE = shutil.which("strace")

def run_exporter(*words, timeout=30):
    return subprocess.run([VORL_EXPORTER] + list(words), capture_output=True, text=True,
                          timeout=timeout)


@unittest.skipUnless(VORL_EXPORTER, "vorl_exporter is not built")
class AddressTest(unittest.TestCase):
    @unittest.skipUnless(STRACE, "strace missing")
    def test_tricky_forms_refused_and_the_connect_goes_to_the_checked_address(self):
        with Sim() as sim:
            prefix, last = sim.address.rsplit(".", 1)
            trace = os.path.join(tempfile.mkdtemp(prefix="vorl-strace-"), "connects")
            self.addCleanup(shutil.rmtree, os.path.dirname(trace), True)
            exporter = Exporter(CONFIG + "allowed_targets: [%s]\n" % sim.address,
                                wrapper=["strace", "-f", "-qq", "-e", "trace=connect", "-o",
                                         trace],
                                # LeakSanitizer cannot run under a tracer.
                                env={"ASAN_OPTIONS": "detect_leaks=0"})
            exporter.start()
            try:
                forms = {
                    # Read as octal by inet_aton: 0<last> is another card.
                    "%s.0%s" % (prefix, last): "has a leading zero",
                    "127.1": "not the four of A.B.C.D",
                    "2130706433": "a single number",
                    "0x7f000001": "hexadecimal forms are not accepted",
                    "[::ffff:%s]" % sim.address: "IPv6 and bracketed forms",
                    " " + sim.address: "a blank",
                    "admin@" + sim.address: "'@'",
                    sim.address + "/32": "'/'",
                    "card.example": "host names are not accepted",
                }
                for form, reason in forms.items():
                    status, body = exporter.get("/probe?target=" + urllib.parse.quote(form))
                    self.assertEqual(status, 400, form)
                    self.assertIn(reason, body, form)
                # Allowed address, other port: refused before any connect.
                self.assertEqual(exporter.get("/probe?target=%s:6578" % sim.address)[0], 403)
                found = samples(exporter.probe(sim.address))
                self.assertEqual(value(found, "vorl_up", collector="health"), 1)
            finally:
                # strace leaves its command running when it is ended itself: end the exporter.
                child = subprocess.run(["pgrep", "-P", str(exporter.process.pid)],
                                       capture_output=True, text=True).stdout.split()
                for pid in child:
                    os.kill(int(pid), signal.SIGTERM)
                exporter.process.wait(timeout=30)
            with open(trace) as f:
                connects = re.findall(r'inet_addr\("([0-9.]+)"\)', f.read())
            self.assertEqual(set(connects) - {exporter.address}, {sim.address})


@unittest.skipUnless(VORL_EXPORTER, "vorl_exporter is not built")
class OddTextsTest(unittest.TestCase):
    def test_texts_that_are_not_utf8_and_sensors_of_one_name_give_a_valid_page(self):
        with odd_card(self) as sim, Exporter() as exporter:
            text = exporter.probe(sim.address)  # decoded as UTF-8, strictly
            self.assertEqual(promtool_check(text), (0, ""))
            found = samples(text)
            self.assertEqual(value(found, "vorl_up", collector="sensors"), 1)
            group = r"Temp\\xE9ratures"  # as the page escapes the backslash of \xE9
            self.assertEqual(value(found, "vorl_temperature_celsius", group=group, sensor="CPU",
                                   index="1"), 41)
            self.assertEqual(value(found, "vorl_temperature_celsius", group=group, sensor="CPU",
                                   index="2"), 43)
            self.assertEqual(value(found, "vorl_temperature_celsius", group=group,
                                   sensor=r"Bay\\x01\\xC3"), 39.5)
            self.assertEqual(value(found, "vorl_fan_speed_rpm", group="Fans \u2014 front",
                                   sensor="Fan 1"), 5400)
            self.assertEqual(value(found, "vorl_sensor_reading_ok", group=group, sensor="CPU",
                                   index="2"), 1)


@unittest.skipUnless(VORL_EXPORTER, "vorl_exporter is not built")
class DebugPageTest(unittest.TestCase):
    def test_exchanges_and_reasons_with_the_credentials_masked(self):
        with Sim() as sim, Sim("--force-status=0x0002:1") as refusing, \
                Exporter(CONFIG + "allowed_targets: [127.0.0.0/8]\n") as exporter:
            status, page = exporter.get("/probe?target=%s&debug=true" % sim.address)
            self.assertEqual(status, 200)
            self.assertIn("Result: every collector read the card\n", page)
            self.assertRegex(page, r"connect to %s:6577: connected in [0-9.]+ ms\n" %
                             re.escape(sim.address))
            for line in (r"0x0001 login challenge: sent 32 bytes, status 0, received \d+ bytes",
                         r"0x0002 login \(user and digest masked\): sent \d+ bytes, status 0",
                         r"0x0100 card health: sent 32 bytes, status 0",
                         r"0x0A00 heartbeat interval: sent 32 bytes, status 0"):
                self.assertRegex(page, line)
            self.assertIn('vorl_up{collector="heartbeat"} 1', page)
            self.assertIn("  user: <masked>\n  password: <masked>\n", page)
            self.assertNotIn("admin", page)
            self.assertNotIn(DEFAULT_PASSWORD, page)

            # The reasons a probe fails, in the page (and in the reading the server logs).
            dead = fresh_address()
            for target, result in (
                    (refusing.address, "Result: failed at login: refused: status 1 ("),
                    (dead, "Result: failed at connect: connection refused\n")):
                page = exporter.get("/probe?target=%s&debug=true" % target)[1]
                self.assertIn(result, page)
            self.assertIn("connect to %s:6577: failed: connection refused" % dead, page)
            self.assertIn('vorl_up{collector="health"} 0', page)


@unittest.skipUnless(VORL_EXPORTER, "vorl_exporter is not built")
class ProcessMetricsTest(unittest.TestCase):
    def test_process_metrics_as_client_libraries_name_them(self):
        with Exporter() as exporter:
            started = time.time()
            status, text = exporter.get("/metrics")
            self.assertEqual(status, 200)
            self.assertEqual(promtool_check(text), (0, ""))
            found = samples(text)
            self.assertIn("# TYPE process_cpu_seconds_total counter", text)
            self.assertGreater(value(found, "process_cpu_seconds_total"), 0)
            self.assertLess(abs(value(found, "process_start_time_seconds") - started), 120)
            self.assertGreater(value(found, "process_resident_memory_bytes"), 1e6)
            self.assertGreater(value(found, "process_virtual_memory_bytes"),
                               value(found, "process_resident_memory_bytes"))
            with open("/proc/%d/limits" % exporter.process.pid) as f:
                soft = re.search(r"^Max open files\s+(\d+)", f.read(), re.MULTILINE).group(1)
            self.assertEqual(value(found, "process_max_fds"), int(soft))
            opened = len(os.listdir("/proc/%d/fd" % exporter.process.pid))
            self.assertLess(abs(value(found, "process_open_fds") - opened), 3)


@unittest.skipUnless(VORL_EXPORTER, "vorl_exporter is not built")
class PasswordFileTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vorl-password-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.config = os.path.join(self.dir, "vorl_exporter.yml")
        with open(self.config, "w") as f:
            f.write("modules:\n  default:\n    user: admin\n    password_file: card-password\n")
        self.password = os.path.join(self.dir, "card-password")

    def test_only_a_regular_non_empty_file_is_taken_and_nothing_waits(self):
        os.mkfifo(self.password)  # nobody writes to it
        done = run_exporter("--config.file=" + self.config, "--web.listen-address=127.0.0.1:1")
        self.assertEqual(done.returncode, 1)
        self.assertEqual(done.stderr, "vorl_exporter: %s:4: cannot read password_file %s: is a "
                         "FIFO, not a regular file\n" % (self.config, self.password))
        os.remove(self.password)

        # Readable by others: its first line taken, with a warning at start.
        with open(self.password, "w") as f:
            f.write(DEFAULT_PASSWORD + "\nnot part of it\n")
        os.chmod(self.password, 0o644)
        config = "modules:\n  default:\n    user: admin\n    password_file: %s\n" % self.password
        with Sim() as sim, Exporter(config) as exporter:
            self.assertEqual(value(samples(exporter.probe(sim.address)), "vorl_up",
                                   collector="health"), 1)
            self.assertIn('level=warn msg="%s:4: password_file %s is readable by every '
                          'user (mode 0644)' % (exporter.config_path, self.password),
                          exporter.output())
        done = run_exporter("--config.check", "--config.file=" + self.config)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout, "Checking %s\n SUCCESS: %s is a valid vorl_exporter "
                         "configuration\n" % (self.config, self.config))
        self.assertEqual(done.stderr, "  WARNING: %s:4: password_file %s is readable by every "
                         "user (mode 0644); make it 0600 or 0400, owned by the user the service "
                         "runs as\n" % (self.config, self.password))
        os.chmod(self.password, 0o600)
        self.assertEqual(run_exporter("--config.check", "--config.file=" + self.config).stderr,
                         "")

    def test_config_check_names_file_and_line_and_checks_the_web_configuration(self):
        with open(self.config, "w") as f:
            f.write(CONFIG + "    user: root\n")
        done = run_exporter("--config.check", "--config.file=" + self.config)
        self.assertEqual((done.returncode, done.stderr), (1, "  FAILED: %s:6: key 'user' appears "
                                                          "twice in module default\n" %
                                                          self.config))
        with open(self.config, "w") as f:
            f.write(CONFIG)
        web = os.path.join(self.dir, "web.yml")
        with open(web, "w") as f:
            f.write("tls_server_config:\n  cert_file: c.pem\n")
        done = run_exporter("--config.check", "--config.file=" + self.config,
                            "--web.config.file=" + web)
        self.assertEqual(done.returncode, 1)
        self.assertIn(" SUCCESS: %s" % self.config, done.stdout)
        self.assertIn("Checking %s\n" % web, done.stdout)
        self.assertIn("  FAILED: %s:2: tls_server_config needs cert_file and key_file" % web,
                      done.stderr)


if __name__ == "__main__":
    unittest.main()
