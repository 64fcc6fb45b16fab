"""Helpers for the exporter's end-to-end tests: start vorl_exporter with a written configuration
on a loopback address of its own, fetch its pages, read an exposition."""

import os
import re
import shutil
import socket
import subprocess
import tempfile
import time
import urllib.error
import urllib.request

from vorltest import LoggedProcess, Sim, fresh_address

VORL_EXPORTER = os.environ.get("VORL_EXPORTER", "")

CONFIG = """modules:
  default:
    user: admin
    password: vorladmin
    timeout: 5s
"""


def scrape_config(targets, exporter, interval, timeout):
    """A Prometheus configuration that scrapes `targets` (card addresses) through the exporter
    at `exporter` (HOST:PORT), with the standard multi-target relabelling."""
    return """global:
  scrape_interval: %s
  scrape_timeout: %s
scrape_configs:
  - job_name: vorl
    metrics_path: /probe
    params:
      module: [default]
    static_configs:
      - targets: [%s]
    relabel_configs:
      - source_labels: [__address__]
        target_label: __param_target
      - source_labels: [__param_target]
        target_label: instance
      - target_label: __address__
        replacement: %s
""" % (interval, timeout, ", ".join(targets), exporter)


def free_port(address):
    with socket.socket() as s:
        s.bind((address, 0))
        return s.getsockname()[1]


class Exporter(LoggedProcess):
    """A running vorl_exporter; `config` is the text of its configuration file, `wrapper` a
    command that runs it (strace, for example)."""

    def __init__(self, config=CONFIG, extra=(), env=None, wrapper=()):
        self.dir = tempfile.mkdtemp(prefix="vorl-exporter-")
        self.config_path = os.path.join(self.dir, "vorl_exporter.yml")
        self.write_config(config)
        self.address = fresh_address()
        self.port = free_port(self.address)
        self.extra = list(extra)
        self.wrapper = list(wrapper)
        self.env = dict(os.environ, **(env or {}))
        self.log = tempfile.TemporaryFile()
        self.process = None

    def write_config(self, text):
        with open(self.config_path, "w") as f:
            f.write(text)

    def start(self, scheme="http"):
        self.process = subprocess.Popen(
            self.wrapper + [VORL_EXPORTER, "--config.file=" + self.config_path,
             "--web.listen-address=%s:%d" % (self.address, self.port)] + self.extra,
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT, env=self.env)
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError("vorl_exporter ended: " + self.output())
            try:
                with socket.create_connection((self.address, self.port), timeout=0.5):
                    return self
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("vorl_exporter did not start: " + self.output())

    @property
    def url(self):
        return "http://%s:%d" % (self.address, self.port)

    def get(self, path, method="GET", headers=None):
        """(status, body text) of one request."""
        request = urllib.request.Request(self.url + path, method=method, headers=headers or {})
        try:
            with urllib.request.urlopen(request, timeout=30) as answer:
                return answer.status, answer.read().decode()
        except urllib.error.HTTPError as error:
            return error.code, error.read().decode()

    def probe(self, target, module=None, headers=None):
        path = "/probe?target=" + target + ("&module=" + module if module else "")
        status, body = self.get(path, headers=headers)
        if status != 200:
            raise AssertionError("probe answered %d: %s" % (status, body))
        return body

    def __del__(self):
        super().__del__()
        shutil.rmtree(getattr(self, "dir", ""), ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

# Latin-1 names, a control character, a broken UTF-8 sequence and two sensors of one name.
ODD_DESCRIPTION = (b"VORL-SDK 1\n"
                   b"group Temp\xe9ratures\n"
                   b"sensor CPU;41000;1\n"
                   b"sensor CPU;43000;1\n"
                   b"sensor Bay\x01\xc3;39500;1\n"
                   b"group Fans \xe2\x80\x94 front\n"
                   b"sensor Fan 1;5400;18\n")


def odd_card(test):
    """A simulated card (not started) with ODD_DESCRIPTION as its sensors; `test` cleans up."""
    directory = tempfile.mkdtemp(prefix="vorl-odd-")
    test.addCleanup(shutil.rmtree, directory, True)
    path = os.path.join(directory, "sdk.txt")
    with open(path, "wb") as f:
        f.write(ODD_DESCRIPTION)
    return Sim("--sensor-description=" + path)


SAMPLE = re.compile(r'^([a-zA-Z_:][a-zA-Z0-9_:]*)(?:\{(.*)\})? (\S+)$')
LABEL = re.compile(r'(\w+)="((?:[^"\\]|\\.)*)"')


def samples(text):
    """{(name, frozenset of (label, value)): value} of an exposition."""
    found = {}
    for line in text.splitlines():
        if not line or line.startswith("#"):
            continue
        match = SAMPLE.match(line)
        assert match, "not a sample line: " + line
        labels = frozenset(LABEL.findall(match.group(2) or ""))
        found[(match.group(1), labels)] = float(match.group(3))
    return found


def value(found, metric, /, **labels):
    return found.get((metric, frozenset(labels.items())))


def promtool_check(text):
    """promtool check metrics: (exit status, its complaints)."""
    done = subprocess.run(["promtool", "check", "metrics"], input=text.encode(),
                          capture_output=True, timeout=60)
    return done.returncode, (done.stdout + done.stderr).decode()
