"""vorl_exporter against vorlsim: every collector's values equal the card's (as vorlcli shows
them), promtool finds nothing to complain about, credentials stay out of every output, bad
configurations, allowed targets, one session for concurrent probes of one card, TLS and basic
authentication with curl."""

import concurrent.futures
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

from exportertest import (CONFIG, VORL_EXPORTER, Exporter, promtool_check, samples, value)
from vorltest import DEFAULT_PASSWORD, Sim, devlink_statistics, run_cli

SECRET = "Xq7-secret-Pw"


def cli_body(sim, *words):
    return run_cli("-nw", sim.address, "admin", *words, stdin=DEFAULT_PASSWORD + "\n").out


@unittest.skipUnless(VORL_EXPORTER, "vorl_exporter is not built")
class CollectorsTest(unittest.TestCase):
    def setUp(self):
        self.sim = Sim().start()
        self.addCleanup(self.sim.stop)
        self.exporter = Exporter().start()
        self.addCleanup(self.exporter.stop)

    def test_every_collector_reports_the_cards_values(self):
        text = self.exporter.probe(self.sim.address)
        self.assertEqual(promtool_check(text), (0, ""))
        found = samples(text)
        for collector in ("health", "sensors", "sel", "firmware", "network", "clock",
                          "heartbeat"):
            self.assertEqual(value(found, "vorl_up", collector=collector), 1, collector)
        health = cli_body(self.sim, "-GetCardHealth")
        rows = re.findall(r"^(\S.*?)\s+([\d.]+)\s+Volts\s+(\w+)$", health, re.M)
        self.assertEqual(len(rows), 6, health)
        for name, volts, status in rows:
            self.assertAlmostEqual(value(found, "vorl_voltage_volts", name=name), float(volts))
            self.assertEqual(value(found, "vorl_voltage_normal", name=name), 1)
        sensors = cli_body(self.sim, "-SDK", "-readsensors")
        group = None
        checked = 0
        for line in sensors.splitlines()[1:]:
            if line and not line.startswith(" "):
                group = line
                continue
            match = re.match(r"^    (.+?):\s+(access failed|(-?\d+) (.+))$", line)
            if not match:
                continue
            ok = value(found, "vorl_sensor_reading_ok", group=group, sensor=match.group(1))
            if match.group(2) == "access failed":
                self.assertEqual(ok, 0)
                self.assertFalse([k for k in found if k[0] == "vorl_sensor_value" and
                                  ("sensor", match.group(1)) in k[1]])
            else:
                raw, unit = int(match.group(3)), match.group(4)
                base = {"milli Volts": ("volts", raw / 1000), "RPM": ("rpm", raw),
                        "milli Degrees C": ("celsius", raw / 1000)}[unit]
                self.assertEqual(ok, 1)
                self.assertAlmostEqual(value(found, "vorl_sensor_value", group=group,
                                             sensor=match.group(1), unit=base[0]), base[1])
            checked += 1
        self.assertGreaterEqual(checked, 5)
        net = dict(re.findall(r"^(.+?)\s*: (.*)$", cli_body(self.sim, "-net", "-getconfig"), re.M))
        self.assertEqual(value(found, "vorl_network_info", address=net["IP Address"],
                               mac=net["MAC Address"], method=net["Configuration method"]), 1)
        self.assertEqual(value(found, "vorl_firmware_info", module="firmware", version="2.4.1"), 1)
        seconds = re.search(r"is (\d+) seconds", cli_body(self.sim, "-HB", "-GetHB")).group(1)
        self.assertEqual(value(found, "vorl_heartbeat_interval_seconds"), int(seconds))
        self.assertLess(abs(value(found, "vorl_clock_offset_seconds")), 2)
        self.assertEqual(value(found, "vorl_sel_free_bytes"), 64 * 48)
        self.assertEqual(value(found, "vorl_sel_entries"), 0)

    def test_a_module_runs_only_its_collectors_and_a_silent_command_costs_only_its_own(self):
        self.exporter.stop()
        config = CONFIG + """  quick:
    user: admin
    password: vorladmin
    timeout: 2s
    collectors: [health, heartbeat]
"""
        with Sim("--no-reply=0x0A00") as silent, Exporter(config) as exporter:
            started = time.monotonic()
            found = samples(exporter.probe(silent.address, "quick"))
            self.assertLess(time.monotonic() - started, 2.5)
            self.assertEqual({dict(k[1])["collector"]: v for k, v in found.items()
                              if k[0] == "vorl_up"}, {"health": 1, "heartbeat": 0})
            self.assertIsNone(value(found, "vorl_heartbeat_interval_seconds"))


@unittest.skipUnless(VORL_EXPORTER, "vorl_exporter is not built")
class ConfigurationTest(unittest.TestCase):
    def test_bad_file_at_start_names_file_line_and_reason(self):
        exporter = Exporter(CONFIG + "    colectors: [health]\n")
        self.addCleanup(shutil.rmtree, exporter.dir, True)
        done = subprocess.run([VORL_EXPORTER, "--config.file=" + exporter.config_path],
                              capture_output=True, timeout=30)
        self.assertEqual(done.returncode, 1)
        self.assertEqual(done.stderr.decode(), "vorl_exporter: %s:6: unknown key 'colectors' in "
                         "module default\n" % exporter.config_path)
        for text, line, reason in (
                ("modules:\n  default:\n    user: admin\n", 2, "module default needs a password"),
                (CONFIG + "    collectors: [health, voltages]\n", 6, "unknown collector"),
                (CONFIG.replace("5s", "soon"), 5, "timeout 'soon'"),
                (CONFIG + "allowed_targets: [300.1.1.1]\n", 6, "'300.1.1.1' is not an IPv4 address"),
                ("modules: [\n", 2, "")):
            exporter.write_config(text)
            done = subprocess.run([VORL_EXPORTER, "--config.file=" + exporter.config_path],
                                  capture_output=True, timeout=30)
            self.assertEqual(done.returncode, 1, text)
            self.assertIn("%s:%d: %s" % (exporter.config_path, line, reason),
                          done.stderr.decode())

    def test_failed_reload_keeps_the_old_configuration_and_sighup_reloads(self):
        with Sim() as sim, Exporter(CONFIG + "allowed_targets: [%s]\n" % sim.address) as exporter:
            exporter.write_config("modules: {}\n")
            status, body = exporter.get("/-/reload", method="POST")
            self.assertEqual(status, 500)
            self.assertIn("the previous configuration stays", body)
            self.assertEqual(exporter.get("/-/reload")[0], 405)
            self.assertEqual(value(samples(exporter.probe(sim.address)), "vorl_up",
                                   collector="health"), 1)
            self.assertEqual(value(samples(exporter.get("/metrics")[1]),
                                   "vorl_exporter_config_last_reload_successful"), 0)
            # A target outside allowed_targets is refused, and nothing is sent to it.
            self.assertEqual(exporter.get("/probe?target=127.0.0.1")[0], 403)
            password_file = os.path.join(exporter.dir, "password")
            with open(password_file, "w") as f:
                f.write("vorladmin\n")
            exporter.write_config(CONFIG + """  second:
    user: admin
    password_file: password
allowed_targets: [127.0.0.0/8]
""")
            exporter.process.send_signal(signal.SIGHUP)
            deadline = time.monotonic() + 10
            while "second" not in exporter.get("/")[1] and time.monotonic() < deadline:
                time.sleep(0.05)
            self.assertIn("second", exporter.get("/")[1])
            self.assertEqual(value(samples(exporter.probe(sim.address, "second")), "vorl_up",
                                   collector="sel"), 1)
            self.assertEqual(exporter.get("/probe?target=127.0.0.1&module=nosuch")[0], 400)
            self.assertEqual(exporter.get("/probe?target=card.example")[0], 400)
            self.assertIn("reload failed", exporter.output())

    def test_credentials_appear_in_no_page_log_or_metric(self):
        with Sim() as sim:
            self.assertEqual(run_cli("-nw", sim.address, "admin", "-user", "-add", "ops", SECRET,
                                     stdin=DEFAULT_PASSWORD + "\n").code, 0)
            config = CONFIG + "  other:\n    user: ops\n    password: %s\n" % SECRET
            with Exporter(config) as exporter:
                pages = [exporter.get(p)[1] for p in ("/", "/metrics", "/-/healthy")]
                pages.append(exporter.probe(sim.address, "other"))
                pages.append(exporter.probe(sim.address))
                pages.append(exporter.get("/probe?target=%s&module=other&password=x" %
                                          sim.address)[1])
                exporter.write_config("modules:\n  x:\n    user: a\n    password: %s\n"
                                      "    bad: 1\n" % SECRET)
                pages.append(exporter.get("/-/reload", method="POST")[1])
                exporter.stop()
                pages.append(exporter.output())
            for page in pages:
                self.assertNotIn(SECRET, page)
                self.assertNotIn("vorladmin", page)


@unittest.skipUnless(VORL_EXPORTER, "vorl_exporter is not built")
class SharingTest(unittest.TestCase):
    def test_concurrent_probes_of_one_card_share_one_session(self):
        # Health answers after 1 s: the four probes overlap for sure.
        sim = Sim("--reply-delay=0x0100:1000", wait_ports=(6577, 6578))
        with sim, Exporter() as exporter:
            with concurrent.futures.ThreadPoolExecutor(4) as pool:
                bodies = list(pool.map(lambda _: exporter.probe(sim.address), range(4)))
            for body in bodies:
                self.assertEqual(value(samples(body), "vorl_up", collector="health"), 1)
            self.assertEqual(devlink_statistics(sim.address)["logins"], 1)
            exporter.probe(sim.address)
            self.assertEqual(devlink_statistics(sim.address)["logins"], 2)


@unittest.skipUnless(VORL_EXPORTER and shutil.which("curl") and shutil.which("htpasswd"),
                     "vorl_exporter, curl or htpasswd missing")
class WebConfigTest(unittest.TestCase):
    def test_basic_auth_with_curl_and_tls_refused_with_its_reason(self):
        exporter = Exporter()
        line = subprocess.run(["htpasswd", "-nbB", "prom", "scrape-Pw1"], check=True,
                              capture_output=True, timeout=60).stdout.decode().strip()
        web = os.path.join(exporter.dir, "web.yml")
        with open(web, "w") as f:
            f.write("basic_auth_users:\n  %s: '%s'\n" % tuple(line.split(":", 1)))
        exporter.extra = ["--web.config.file=" + web]
        with Sim() as sim, exporter:
            url = "http://%s:%d/probe?target=%s" % (exporter.address, exporter.port, sim.address)

            def curl(*words):
                return subprocess.run(["curl", "-s", "-o", "/dev/null", "-w", "%{http_code}"] +
                                      list(words), capture_output=True, timeout=60).stdout.decode()

            self.assertEqual(curl("-u", "prom:scrape-Pw1", url), "200")
            self.assertEqual(curl("-u", "prom:wrong", url), "401")
            self.assertEqual(curl("-u", "other:scrape-Pw1", url), "401")
            self.assertEqual(curl(url), "401")
            self.assertEqual(curl(url.replace("/probe", "/metrics")), "401")
            self.assertNotIn("scrape-Pw1", exporter.output())
        with open(web, "w") as f:
            f.write("tls_server_config:\n  cert_file: c.pem\n  key_file: k.pem\n")
        done = subprocess.run([VORL_EXPORTER, "--config.file=" + exporter.config_path,
                               "--web.config.file=" + web], capture_output=True, timeout=30)
        self.assertEqual(done.returncode, 1)
        self.assertIn(web + ":1: TLS is not available", done.stderr.decode())

if __name__ == "__main__":
    unittest.main()
