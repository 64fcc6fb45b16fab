"""A real Prometheus server (Debian's) scrapes four simulated cards through vorl_exporter with
the standard multi-target relabelling: a card that answers, one that stops mid-test, one that
never answers its login challenge and one whose sensor names are not UTF-8 and repeat.
Prometheus's own HTTP API must then show vorl_up 1/1/0/1, then 1/0/0/1, a voltage and a sensor
value equal to what vorlsim holds, and the odd card's two same-named sensors as two series."""

import json
import os
import shutil
import subprocess
import tempfile
import time
import unittest
import urllib.parse
import urllib.request

from exportertest import VORL_EXPORTER, Exporter, free_port, odd_card, scrape_config
from vorltest import Sim, end_process, fresh_address

PROMETHEUS = shutil.which("prometheus")

@unittest.skipUnless(VORL_EXPORTER and PROMETHEUS, "vorl_exporter or prometheus missing")
class PrometheusTest(unittest.TestCase):
    def setUp(self):
        self.good = Sim().start()
        self.addCleanup(self.good.stop)
        self.stopping = Sim().start()
        self.addCleanup(self.stopping.stop)
        self.silent = Sim("--no-reply=0x0001").start()
        self.addCleanup(self.silent.stop)
        self.odd = odd_card(self).start()
        self.addCleanup(self.odd.stop)
        self.exporter = Exporter().start()
        self.addCleanup(self.exporter.stop)
        self.dir = tempfile.mkdtemp(prefix="vorl-prometheus-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        config = os.path.join(self.dir, "prometheus.yml")
        with open(config, "w") as f:
            f.write(scrape_config([s.address for s in (self.good, self.stopping, self.silent,
                                                       self.odd)],
                                  "%s:%d" % (self.exporter.address, self.exporter.port),
                                  "1s", "1s"))
        self.address = fresh_address()
        self.port = free_port(self.address)
        self.log = tempfile.TemporaryFile()
        self.addCleanup(self.log.close)
        self.prometheus = subprocess.Popen(
            [PROMETHEUS, "--config.file=" + config,
             "--web.listen-address=%s:%d" % (self.address, self.port),
             "--storage.tsdb.path=" + os.path.join(self.dir, "data")],
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT)
        self.addCleanup(end_process, self.prometheus)

    def query(self, expression):
        """{instance: value} of an instant query."""
        url = "http://%s:%d/api/v1/query?query=%s" % (self.address, self.port,
                                                        urllib.parse.quote(expression))
        try:
            with urllib.request.urlopen(url, timeout=10) as answer:
                data = json.load(answer)
        except OSError:
            return {}
        return {r["metric"].get("instance"): float(r["value"][1])
                for r in data["data"]["result"]}

    def wait_for(self, expression, expected, seconds=60):
        deadline = time.monotonic() + seconds
        found = None
        while time.monotonic() < deadline:
            found = self.query(expression)
            if found == expected:
                return
            time.sleep(0.5)
        self.log.seek(0)
        self.fail("%s: %r, not %r\n%s" % (expression, found, expected,
                                           self.log.read().decode(errors="replace")[-2000:]))

    def test_three_cards_one_stopped_one_silent(self):
        up = 'vorl_up{collector="health"}'
        self.wait_for(up, {self.good.address: 1, self.stopping.address: 1,
                           self.silent.address: 0, self.odd.address: 1})
        self.wait_for('vorl_voltage_volts{name="VCC 5V"}',
                      {self.good.address: 5.012, self.stopping.address: 5.012,
                       self.odd.address: 5.012})
        self.wait_for('vorl_fan_speed_rpm{sensor="Fan 1"}',
                      {self.good.address: 5400, self.stopping.address: 5400,
                       self.odd.address: 5400})
        # The odd card's page was taken whole: both sensors named CPU, told apart by index.
        self.wait_for('count by (instance) (vorl_temperature_celsius{sensor="CPU"})',
                      {self.good.address: 1, self.stopping.address: 1, self.odd.address: 2})
        # Every scrape finished within its timeout and was valid, the silent and odd cards' too.
        self.wait_for('up{job="vorl"}', {self.good.address: 1, self.stopping.address: 1,
                                         self.silent.address: 1, self.odd.address: 1})
        self.stopping.stop()
        self.wait_for(up, {self.good.address: 1, self.stopping.address: 0,
                           self.silent.address: 0, self.odd.address: 1})
        self.assertEqual(self.query('up{job="vorl"}'), {
            self.good.address: 1, self.stopping.address: 1, self.silent.address: 1,
            self.odd.address: 1})


if __name__ == "__main__":
    unittest.main()
