#!/usr/bin/python3
"""vorl_redfish's benchmark: reports figures, asserts nothing. Run it from a release build:

    cmake --preset release
    cmake --build --preset release --target vorlsim vorl_redfish redfish_direct
    nice -n 19 bench/redfish_bench.py build/release [--cards 100] [--seconds 10]

With N simulated cards (one vorlsim --cards N), everything on loopback:
1. start-up: from exec to the first answered GET of the service root, and resident memory then
   (no card has been contacted), after every card has been read once (N card sessions open) and
   after those sessions were closed as idle;
2. requests per second for a resource served from the cache (a sensor) over kept-alive HTTPS
   connections (wrk), and the same per second of the service's own CPU time: what one core
   serves, whatever else the machine runs;
3. the median latency of a GET that needs the card (a card's EthernetInterface: one card
   exchange, over one kept-alive connection) against the same exchange made directly through
   the library (redfish_direct): over a session kept open, and as a tool without the service
   makes it (connect, log in, ask, close); and against a GET of the cached resource (what HTTPS
   and the service cost without the card). Alternating rounds; medians, because on a shared
   machine a few requests wait milliseconds for a core and would make a mean meaningless.
"""

import argparse
import http.client
import json
import os
import re
import shutil
import ssl
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
from redfishtest import bcrypt, free_port  # noqa: E402
from vorltest import end_process, wait_for_port  # noqa: E402

BASE = "127.%d.%d" % ((os.getpid() >> 8) & 0x7F | 0x80, os.getpid() & 0xFF)
PASSWORD = "Bench-Pass-1"
ROUNDS = 3
TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def rss_mb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


class Client:
    """One kept-alive HTTPS connection to the service."""

    def __init__(self, address, port, token=None):
        context = ssl.create_default_context()
        context.check_hostname = False
        context.verify_mode = ssl.CERT_NONE
        self.connection = http.client.HTTPSConnection(address, port, context=context,
                                                      timeout=30)
        self.token = token

    def request(self, method, path, body=None):
        headers = {"Content-Type": "application/json"}
        if self.token:
            headers["X-Auth-Token"] = self.token
        self.connection.request(method, path, body=json.dumps(body) if body else None,
                                headers=headers)
        answer = self.connection.getresponse()
        return answer.status, answer.getheader("X-Auth-Token"), answer.read()


def wrk(url, token, connections, seconds):
    """wrk's output for `url` with the session token."""
    done = subprocess.run(["wrk", "-t", "1", "-c", str(connections), "-d", "%ds" % seconds,
                           "--latency", "-H", "X-Auth-Token: " + token, url],
                          capture_output=True, text=True, timeout=seconds + 60)
    return done.stdout


def median_latency(output):
    return microseconds(re.search(r"\s50%\s+(\S+)", output).group(1))


def microseconds(text):
    number, unit = re.match(r"([\d.]+)(us|ms|s)", text).groups()
    return float(number) * {"us": 1, "ms": 1e3, "s": 1e6}[unit]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--cards", type=int, default=100)
    parser.add_argument("--seconds", type=int, default=10)
    args = parser.parse_args()
    vorlsim = os.path.join(args.build, "cardsim", "vorlsim")
    service = os.path.join(args.build, "redfish", "vorl_redfish")
    direct = os.path.join(args.build, "bench", "redfish_direct")
    work = tempfile.mkdtemp(prefix="redfish-bench-")
    addresses = ["%s.%d" % (BASE, i + 1) for i in range(args.cards)]
    processes = []
    try:
        sim = subprocess.Popen([vorlsim, "--listen", addresses[0], "--cards", str(args.cards),
                                "--devlink-port=0", "--state-dir", os.path.join(work, "fleet")],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        processes.append(sim)
        for address in addresses:
            assert wait_for_port(address, 6577, 60), address
        with open(os.path.join(work, "card.pw"), "w") as f:
            f.write("vorladmin\n")
        lines = ["state_dir: " + os.path.join(work, "state"), "cache_time: 1h", "cards:"]
        for i, address in enumerate(addresses, 1):
            lines += ["  - id: c%d" % i, "    address: " + address, "    user: admin",
                      "    password_file: card.pw"]
        lines += ["accounts:", "  - name: bench", '    password_hash: "%s"' % bcrypt(PASSWORD),
                  "    role: Administrator",
                  # The request figures alone: no event-log poll contacting every card.
                  "events:", "  poll_interval: 0"]
        config = os.path.join(work, "vorl_redfish.yml")
        with open(config, "w") as f:
            f.write("\n".join(lines) + "\n")
        address = BASE + ".250"
        port = free_port(address)
        # The first start makes the self-signed certificate; the figures are of a later start.
        for attempt in range(2):
            started = time.monotonic()
            process = subprocess.Popen([service, "--config.file=" + config,
                                        "--web.listen-address=%s:%d" % (address, port)],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            while True:
                try:
                    status, _, _ = Client(address, port).request("GET", "/redfish/v1/")
                    if status == 200:
                        break
                except OSError:
                    time.sleep(0.002)
            startup = time.monotonic() - started
            if attempt == 0:
                end_process(process)
        processes.append(process)
        rss_start = rss_mb(process.pid)

        status, token, _ = Client(address, port).request(
            "POST", "/redfish/v1/SessionService/Sessions",
            {"UserName": "bench", "Password": PASSWORD})
        assert status == 201, status
        client = Client(address, port, token)
        for i in range(1, args.cards + 1):
            status, _, body = client.request("GET", "/redfish/v1/Managers/c%d" % i)
            assert status == 200, body
        rss_sessions = rss_mb(process.pid)

        sensor = "https://%s:%d/redfish/v1/Chassis/c1/Sensors/Voltages_CPU_Core" % (address, port)
        assert client.request("GET", sensor.split(str(port), 1)[1])[0] == 200
        used = cpu_seconds(process.pid)
        cached = wrk(sensor, token, 16, args.seconds)
        used = cpu_seconds(process.pid) - used
        rate = float(re.search(r"Requests/sec:\s+([\d.]+)", cached).group(1))
        per_core = rate * args.seconds / used if used > 0 else float("nan")

        interface = "https://%s:%d/redfish/v1/Managers/c2/EthernetInterfaces/1" % (address, port)
        alone, through, made, fresh = [], [], [], []
        for _ in range(ROUNDS):
            alone.append(median_latency(wrk(sensor, token, 1, max(3, args.seconds // 2))))
            through.append(median_latency(wrk(interface, token, 1, max(3, args.seconds // 2))))
            words = subprocess.run([direct, addresses[2], "3000"], capture_output=True,
                                   text=True, check=True).stdout.split()
            made.append(float(words[1]))
            fresh.append(float(words[3]))
        ratios = [t / m for t, m in zip(through, made)]
        fresh_ratios = [t / f for t, f in zip(through, fresh)]

        process.send_signal(15)
        process.wait(timeout=30)
        print("cards                                   %d" % args.cards)
        print("start-up to the first service root      %.3f s" % startup)
        print("resident memory at start                %.1f MB" % rss_start)
        print("resident memory, %3d card sessions open  %.1f MB" % (args.cards, rss_sessions))
        print("cached sensor over kept-alive HTTPS     %.0f requests/s (16 connections), %.0f per "
              "second of the service's CPU" % (rate, per_core))
        print("cached GET, median latency              %s us" % ", ".join("%.0f" % t for t in alone))
        print("GET that needs the card, median latency %s us" %
              ", ".join("%.0f" % t for t in through))
        print("the exchange directly, session kept     %s us" % ", ".join("%.0f" % t for t in made))
        print("the exchange directly, fresh session    %s us" % ", ".join("%.0f" % t for t in fresh))
        print("GET / direct with a kept session        %s (median %.2f)" % (
            ", ".join("%.2f" % r for r in ratios), statistics.median(ratios)))
        print("GET / direct with a fresh session       %s (median %.2f)" % (
            ", ".join("%.2f" % r for r in fresh_ratios), statistics.median(fresh_ratios)))
        print("what the card adds to a GET             %.0f us (median card GET less median "
              "cached GET)" % (statistics.median(through) - statistics.median(alone)))
    finally:
        for process in processes:
            end_process(process)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
