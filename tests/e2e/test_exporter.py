"""vorl_exporter against vorlsim: every collector's values equal the card's (as vorlcli --json
gives them), promtool finds nothing to complain about, credentials stay out of every output, bad
configurations, allowed targets, one session for concurrent probes of one card, a card that
never accepts the connection, TLS and basic authentication with curl."""

import concurrent.futures
import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest

from exportertest import (CONFIG, VORL_EXPORTER, Exporter, promtool_check, samples, value)
from vorltest import (DEFAULT_PASSWORD, HostSim, Sim, devlink_statistics, fresh_address,
                      run_cli)

SECRET = "Xq7-secret-Pw"


def cli_data(sim, *words):
    """The "data" of vorlcli's JSON document for one command."""
    done = run_cli("--json", "-nw", sim.address, "admin", *words,
                   env={"VORL_PASSWORD": DEFAULT_PASSWORD})
    document = json.loads(done.out)
    assert document["ok"], done
    return document["data"]


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
        health = cli_data(self.sim, "-GetCardHealth")["entries"]
        self.assertEqual(len(health), 6, health)
        for entry in health:
            self.assertEqual(value(found, "vorl_voltage_volts", name=entry["name"]),
                             entry["volts"])
            self.assertEqual(value(found, "vorl_voltage_normal", name=entry["name"]),
                             1 if entry["status"] == "normal" else 0)
        checked = 0
        for group in cli_data(self.sim, "-SDK", "-readsensors")["groups"]:
            for sensor in group["sensors"]:
                labels = {"group": group["name"], "sensor": sensor["name"]}
                ok = value(found, "vorl_sensor_reading_ok", **labels)
                if sensor["access_failed"]:
                    self.assertEqual(ok, 0)
                    self.assertFalse([k for k in found if k[0] != "vorl_sensor_reading_ok" and
                                      ("sensor", sensor["name"]) in k[1]])
                else:
                    # One metric per kind of reading, in its base unit.
                    metric = {"volts": "vorl_sensor_voltage_volts", "rpm": "vorl_fan_speed_rpm",
                              "celsius": "vorl_temperature_celsius"}[sensor["unit"]]
                    self.assertEqual(ok, 1)
                    self.assertAlmostEqual(value(found, metric, **labels), sensor["value"])
                checked += 1
        self.assertGreaterEqual(checked, 5)
        net = cli_data(self.sim, "-net", "-GetConfig")
        self.assertEqual(value(found, "vorl_network_info", address=net["address"],
                               mac=net["mac_address_as_received"],
                               method=net["method_as_received"]), 1)
        firmware = cli_data(self.sim, "-gen", "-fwInfo")["firmware_version"]
        self.assertEqual(value(found, "vorl_firmware_info", module="firmware", version=firmware), 1)
        self.assertEqual(value(found, "vorl_heartbeat_interval_seconds"),
                         cli_data(self.sim, "-HB", "-GetHB")["interval_seconds"])
        card_clock = cli_data(self.sim, "-gen", "-GetTime")["epoch_seconds"] - time.time()
        self.assertLess(abs(value(found, "vorl_clock_offset_seconds") - card_clock), 2)
        sel = cli_data(self.sim, "-sel", "-selInfo")
        self.assertEqual(value(found, "vorl_sel_free_bytes"), sel["free_space_bytes"])
        self.assertEqual(value(found, "vorl_sel_entries"), sel["record_count"])

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
class LocalCardTest(unittest.TestCase):
    def test_metrics_carries_the_local_card_read_over_the_host_interface(self):
        with HostSim() as sim, Exporter(extra=["--local-card"], env=sim.hostifc_env()) as exporter:
            before = sim.devlink_statistics()["exchanges"]
            status, text = exporter.get("/metrics")
            self.assertEqual(status, 200)
            self.assertEqual(promtool_check(text), (0, ""))
            local = samples(text)
            self.assertGreater(sim.devlink_statistics()["exchanges"], before)
            self.assertEqual(sim.devlink_statistics()["logins"], 0)  # no login on the host side
            self.assertIsNotNone(value(local, "vorl_exporter_sessions_in_use"))
            # The same card over the network gives the same values.
            remote = samples(exporter.probe(sim.address))
            for collector in ("health", "sensors", "sel", "firmware", "network", "clock",
                              "heartbeat"):
                self.assertEqual(value(local, "vorl_up", collector=collector), 1, collector)
            for (name, labels), number in remote.items():
                if name not in ("vorl_scrape_duration_seconds", "vorl_clock_offset_seconds"):
                    self.assertEqual(local.get((name, labels)), number, (name, labels))
            self.assertEqual(value(local, "vorl_voltage_volts", name="VCC 5V"), 5.012)

            # Without the card (its device link gone) /metrics still answers, the card down.
            sim.stop()
            local = samples(exporter.get("/metrics")[1])
            self.assertEqual(value(local, "vorl_up", collector="health"), 0)


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


@unittest.skipUnless(VORL_EXPORTER, "vorl_exporter is not built")
class DeadCardTest(unittest.TestCase):
    def test_a_card_that_never_accepts_the_connection_is_down_by_the_deadline(self):
        # A listener whose accept queue is full: the kernel drops the next SYN, as a card that
        # hangs before accepting. Nothing must wait past the module's timeout for it.
        address = fresh_address()
        listener = socket.socket()
        listener.bind((address, 0))
        listener.listen(0)
        port = listener.getsockname()[1]
        queued = []
        for _ in range(3):
            client = socket.socket()
            client.setblocking(False)
            client.connect_ex((address, port))
            queued.append(client)
        self.addCleanup(lambda: [s.close() for s in queued + [listener]])
        config = CONFIG.replace("5s", "1s") + "allowed_targets: ['%s:*']\n" % address
        with Exporter(config) as exporter:
            started = time.monotonic()
            found = samples(exporter.probe("%s:%d" % (address, port)))
            self.assertLess(time.monotonic() - started, 2.5)
            self.assertEqual(value(found, "vorl_up", collector="health"), 0)
            self.assertEqual(value(samples(exporter.get("/metrics")[1]),
                                   "vorl_exporter_sessions_in_use"), 0)


def curl(*words):
    """The HTTP status curl got ("000": no HTTP answer at all)."""
    return subprocess.run(["curl", "-s", "-o", "/dev/null", "-w", "%{http_code}"] + list(words),
                          capture_output=True, timeout=60).stdout.decode()


@unittest.skipUnless(VORL_EXPORTER and shutil.which("curl") and shutil.which("htpasswd") and
                     shutil.which("openssl"), "vorl_exporter, curl, htpasswd or openssl missing")
class WebConfigTest(unittest.TestCase):
    def web_config(self, exporter, text):
        web = os.path.join(exporter.dir, "web.yml")
        with open(web, "w") as f:
            f.write(text)
        exporter.extra = ["--web.config.file=" + web]
        return web

    def certificate(self, exporter):
        """A self-signed certificate for the exporter's address (cert.pem, key.pem)."""
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=vorl-test", "-addext", "subjectAltName=IP:" +
                        exporter.address, "-keyout", os.path.join(exporter.dir, "key.pem"),
                        "-out", os.path.join(exporter.dir, "cert.pem")],
                       check=True, capture_output=True, timeout=60)
        return os.path.join(exporter.dir, "cert.pem")

    def test_tls_with_and_without_basic_auth(self):
        line = subprocess.run(["htpasswd", "-nbB", "prom", "scrape-Pw1"], check=True,
                              capture_output=True, timeout=60).stdout.decode().strip()
        tls = "tls_server_config:\n  cert_file: cert.pem\n  key_file: key.pem\n"
        exporter = Exporter()
        ca = self.certificate(exporter)
        self.web_config(exporter, tls + "basic_auth_users:\n  %s: '%s'\n" %
                        tuple(line.split(":", 1)))
        with Sim() as sim, exporter:
            url = "https://%s:%d/probe?target=%s" % (exporter.address, exporter.port, sim.address)
            self.assertEqual(curl("--cacert", ca, "-u", "prom:scrape-Pw1", url), "200")
            self.assertEqual(curl("--cacert", ca, "-u", "prom:wrong", url), "401")
            self.assertEqual(curl("--cacert", ca, "-u", "other:scrape-Pw1", url), "401")
            self.assertEqual(curl("--cacert", ca, url), "401")
            self.assertEqual(curl("--cacert", ca, url.replace("/probe", "/metrics")), "401")
            # Plain HTTP to the TLS port gets no HTTP answer, and nothing is probed for it.
            self.assertEqual(curl("-u", "prom:scrape-Pw1", url.replace("https:", "http:")), "000")
            self.assertIn('msg=listening address=%s:%d scheme="https, basic auth"' %
                          (exporter.address, exporter.port), exporter.output())
            self.assertNotIn("scrape-Pw1", exporter.output())

        exporter = Exporter()
        ca = self.certificate(exporter)
        self.web_config(exporter, tls)
        with Sim() as sim, exporter:
            url = "https://%s:%d/probe?target=%s" % (exporter.address, exporter.port, sim.address)
            # A client that opens a connection and never starts its handshake holds one thread
            # for a bounded time and delays nobody else.
            stalled = socket.create_connection((exporter.address, exporter.port))
            self.addCleanup(stalled.close)
            started = time.monotonic()
            self.assertEqual(curl("--cacert", ca, url), "200")
            self.assertLess(time.monotonic() - started, 3)
            stalled.settimeout(30)
            self.assertEqual(stalled.recv(16), b"")  # the server gave up on it

    def test_basic_auth_over_http_and_web_configurations_refused_at_start(self):
        line = subprocess.run(["htpasswd", "-nbB", "prom", "scrape-Pw1"], check=True,
                              capture_output=True, timeout=60).stdout.decode().strip()
        exporter = Exporter()
        web = self.web_config(exporter, "basic_auth_users:\n  %s: '%s'\n" %
                              tuple(line.split(":", 1)))
        with Sim() as sim, exporter:
            url = "http://%s:%d/probe?target=%s" % (exporter.address, exporter.port, sim.address)
            self.assertEqual(curl("-u", "prom:scrape-Pw1", url), "200")
            self.assertEqual(curl("-u", "prom:wrong", url), "401")
        self.certificate(exporter)
        for text, reason in (
                ("tls_server_config:\n  cert_file: cert.pem\n",
                 web + ":2: tls_server_config needs cert_file and key_file"),
                ("tls_server_config:\n  cert_file: key.pem\n  key_file: key.pem\n",
                 "cannot use the certificate " + os.path.join(exporter.dir, "key.pem")),
                ("tls_server_config:\n  cert_file: cert.pem\n  key_file: cert.pem\n",
                 "cannot use the key " + os.path.join(exporter.dir, "cert.pem")),
                ("tls_server_config:\n  cert_file: cert.pem\n  key_file: key.pem\n"
                 "  client_ca_file: ca.pem\n", web + ":4: tls_server_config: 'client_ca_file' "
                 "is not supported")):
            self.web_config(exporter, text)
            done = subprocess.run([VORL_EXPORTER, "--config.file=" + exporter.config_path,
                                   "--web.listen-address=%s:%d" % (exporter.address,
                                                                   exporter.port),
                                   "--web.config.file=" + web], capture_output=True, timeout=30)
            self.assertEqual(done.returncode, 1, text)
            self.assertIn(reason, done.stderr.decode())


if __name__ == "__main__":
    unittest.main()
