"""What operators paste into their monitoring: the alert rules pass promtool's checks and their
unit tests, the Grafana dashboard has the structure Grafana needs (rows of panels that do not
overlap, each query valid PromQL), and every vorl_ metric the rules and the dashboard ask for
is one the exporter really gives for a card."""

import json
import os
import re
import shutil
import subprocess
import tempfile
import unittest

from exportertest import VORL_EXPORTER, Exporter, samples
from vorltest import Sim

MONITORING = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "packaging",
                          "monitoring")
RULES = os.path.join(MONITORING, "vorl_alerts.yml")
DASHBOARD = os.path.join(MONITORING, "vorl_dashboard.json")
PROMTOOL = shutil.which("promtool")
ROWS = ["Reachability", "Voltages", "Temperatures", "Fans", "Event log", "Firmware"]
# The dashboard's variables as a query would see them once Grafana filled them in.
VARIABLES = {"$job": "vorl", "$instance": ".*", "${datasource}": "prometheus"}


def dashboard():
    with open(DASHBOARD) as f:
        return json.load(f)


def dashboard_queries():
    """(panel title, PromQL expression with the variables filled in) of every panel."""
    found = []
    for panel in dashboard()["panels"]:
        for target in panel.get("targets", []):
            expr = target["expr"]
            for name, value in VARIABLES.items():
                expr = expr.replace(name, value)
            found.append((panel["title"], expr))
    return found


def rule_expressions():
    with open(RULES) as f:
        text = f.read()
    # The rules' expr: values, one line or folded (">-") over the indented lines after it.
    found, lines = [], text.splitlines()
    for i, line in enumerate(lines):
        match = re.match(r"^(\s*)expr:\s*(.*)$", line)
        if not match:
            continue
        if match.group(2) not in (">-", ">", "|"):
            found.append(match.group(2))
            continue
        body = []
        for following in lines[i + 1:]:
            if len(following) - len(following.lstrip()) <= len(match.group(1)):
                break
            body.append(following.strip())
        found.append(" ".join(body))
    return found


def vorl_metric_names(expressions):
    return {name for expr in expressions for name in re.findall(r"\bvorl_[a-z_]+\b", expr)}


@unittest.skipUnless(PROMTOOL, "promtool missing")
class AlertRulesTest(unittest.TestCase):
    def test_rules_check_and_their_unit_tests_pass(self):
        for words in (["check", "rules", RULES], ["test", "rules", "vorl_alerts_test.yml"]):
            done = subprocess.run([PROMTOOL] + words, capture_output=True, text=True,
                                  timeout=120, cwd=MONITORING)
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        with open(RULES) as f:
            alerts = re.findall(r"^\s*- alert: (\w+)$", f.read(), re.MULTILINE)
        with open(os.path.join(MONITORING, "vorl_alerts_test.yml")) as f:
            tested = set(re.findall(r"alertname: (\w+)", f.read()))
        for name in ("VorlCardDown", "VorlVoltageNotNormal", "VorlSensorReadingFailed",
                     "VorlEventLogNearlyFull", "VorlClockDrift", "VorlFirmwareMixedVersions"):
            self.assertIn(name, alerts)
        self.assertEqual(set(alerts) - tested, set(), "alerts without a unit test")


class DashboardTest(unittest.TestCase):
    def test_rows_of_panels_that_grafana_can_lay_out(self):
        board = dashboard()
        self.assertEqual(board["uid"], "vorl-cards")
        self.assertIsInstance(board["schemaVersion"], int)
        self.assertEqual([v["name"] for v in board["templating"]["list"]],
                         ["datasource", "job", "instance"])
        panels = board["panels"]
        ids = [p["id"] for p in panels]
        self.assertEqual(len(ids), len(set(ids)), "panel ids repeat")
        self.assertEqual([p["title"] for p in panels if p["type"] == "row"], ROWS)
        cells = set()
        row_y = None
        for panel in panels:
            box = panel["gridPos"]
            for key in ("x", "y", "w", "h"):
                self.assertIsInstance(box[key], int, panel["title"])
            self.assertTrue(box["x"] >= 0 and box["w"] > 0 and box["x"] + box["w"] <= 24 and
                            box["h"] > 0, panel["title"])
            # No two panels share a grid cell.
            for x in range(box["x"], box["x"] + box["w"]):
                for y in range(box["y"], box["y"] + box["h"]):
                    self.assertNotIn((x, y), cells, panel["title"])
                    cells.add((x, y))
            if panel["type"] == "row":
                self.assertGreater(box["y"], -1 if row_y is None else row_y)
                self.assertEqual((box["w"], box["h"]), (24, 1))
                row_y = box["y"]
                continue
            # A panel sits below its row: the panels are listed row by row, top to bottom.
            self.assertIsNotNone(row_y, panel["title"])
            self.assertGreater(box["y"], row_y, panel["title"])
            self.assertEqual(panel["datasource"]["uid"], "${datasource}", panel["title"])
            self.assertIn(panel["type"], ("stat", "timeseries", "table", "bargauge"))
            refs = [t["refId"] for t in panel["targets"]]
            self.assertTrue(refs and len(refs) == len(set(refs)), panel["title"])
        # Every row holds at least one panel.
        row_positions = [p["gridPos"]["y"] for p in panels if p["type"] == "row"]
        for top, bottom in zip(row_positions, row_positions[1:] + [10 ** 6]):
            self.assertTrue(any(top < p["gridPos"]["y"] < bottom for p in panels
                                if p["type"] != "row"), "an empty row at %d" % top)

    @unittest.skipUnless(PROMTOOL, "promtool missing")
    def test_every_query_is_valid_promql(self):
        # promtool parses each query as a recording rule's expression.
        directory = tempfile.mkdtemp(prefix="vorl-dashboard-")
        self.addCleanup(shutil.rmtree, directory, True)
        rules = os.path.join(directory, "queries.yml")
        with open(rules, "w") as f:
            f.write("groups:\n  - name: dashboard\n    rules:\n")
            for number, (title, expr) in enumerate(dashboard_queries()):
                f.write("      - record: dashboard_query_%d\n        expr: %s\n" %
                        (number, json.dumps(expr)))
        done = subprocess.run([PROMTOOL, "check", "rules", rules], capture_output=True,
                              text=True, timeout=60)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertGreaterEqual(len(dashboard_queries()), 20)


@unittest.skipUnless(VORL_EXPORTER, "vorl_exporter is not built")
class MetricNamesTest(unittest.TestCase):
    def test_rules_and_dashboard_ask_only_for_metrics_the_exporter_gives(self):
        with Sim() as sim, Exporter() as exporter:
            given = {name for name, _ in samples(exporter.probe(sim.address))}
        asked = vorl_metric_names([expr for _, expr in dashboard_queries()] +
                                  rule_expressions())
        self.assertGreaterEqual(len(asked), 12)
        self.assertEqual(asked - given, set())


if __name__ == "__main__":
    unittest.main()
