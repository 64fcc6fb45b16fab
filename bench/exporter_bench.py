#!/usr/bin/python3
"""vorl_exporter's benchmark: reports figures, asserts nothing. Run it from a release build:

    cmake --preset release && cmake --build --preset release --target vorlsim vorl_exporter exporter_direct
    nice -n 19 bench/exporter_bench.py build/release [--fleet-seconds 330] [--cards 200]

1. One card, every collector, probed over one kept-alive connection as Prometheus does: probe
   latency through the exporter (median, 99th percentile) and the exporter's CPU per probe
   beside the CPU of the same card exchanges made directly through the library
   (exporter_direct), measured in alternating rounds.
2. Idle connections: the probe latency and the exporter's resident memory without and with
   2,000 idle kept-alive connections held open (plain HTTP, then TLS).
3. A fleet: Debian's Prometheus scrapes N simulated cards (one vorlsim --cards N) through the
   exporter every 15 s: failed scrapes, the exporter's CPU in % of one core, and its resident
   memory over the run. Everything runs on loopback addresses.
"""

import argparse
import http.client
import json
import os
import resource
import shutil
import socket
import ssl
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
from exportertest import free_port, scrape_config  # noqa: E402
from vorltest import end_process, wait_for_port  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")
BASE = "127.%d.%d" % ((os.getpid() >> 8) & 0x7F | 0x80, os.getpid() & 0xFF)
ROUNDS = 5
CONFIG = "modules:\n  default:\n    user: admin\n    password: vorladmin\n    timeout: 10s\n"


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


def start(args, address=None, port=None, log=None):
    process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=log or subprocess.DEVNULL,
                               stderr=subprocess.STDOUT)
    if address and not wait_for_port(address, port, 30):
        end_process(process)
        raise RuntimeError("did not start: " + " ".join(args))
    return process


def exporter(build, workdir, address, extra=()):
    config = os.path.join(workdir, "exporter.yml")
    with open(config, "w") as f:
        f.write(CONFIG)
    port = free_port(address)
    process = start([os.path.join(build, "exporter", "vorl_exporter"), "--config.file=" + config,
                     "--web.listen-address=%s:%d" % (address, port)] + list(extra),
                    address, port)
    return process, "http://%s:%d" % (address, port)


def get(url):
    with urllib.request.urlopen(url, timeout=30) as answer:
        return answer.read().decode()


def single_card(build, workdir, probes):
    card = BASE + ".1"
    sim = start([os.path.join(build, "cardsim", "vorlsim"), "--listen", card,
                 "--devlink-port=0"], card, 6577)
    process, url = exporter(build, workdir, BASE + ".250")
    try:
        # A client that keeps its connection alive, as Prometheus does.
        host, port = url.split("//")[1].rsplit(":", 1)
        connection = http.client.HTTPConnection(host, int(port), timeout=30)

        def probe():
            connection.request("GET", "/probe?target=" + card,
                               headers={"X-Prometheus-Scrape-Timeout-Seconds": "10"})
            return connection.getresponse().read().decode()

        for _ in range(20):
            probe()
        # The machine is shared: the exporter's and the direct exchanges' CPU are measured in
        # turns, ROUNDS times, so that both see the same conditions.
        latencies = []
        exporter_cpu = direct_cpu = 0.0
        per_round = max(1, probes // ROUNDS)
        for _ in range(ROUNDS):
            cpu_before = cpu_seconds(process.pid)
            for _ in range(per_round):
                started = time.perf_counter()
                body = probe()
                latencies.append(time.perf_counter() - started)
                assert 'vorl_up{collector="health"} 1' in body
            exporter_cpu += cpu_seconds(process.pid) - cpu_before
            direct = subprocess.run([os.path.join(build, "bench", "exporter_direct"), card,
                                     str(per_round)], capture_output=True, text=True, check=True)
            direct_cpu += float(direct.stdout.split()[1]) * per_round / 1000
        connection.close()
        probes = per_round * ROUNDS
        exporter_cpu = exporter_cpu / probes * 1000
        direct_cpu = direct_cpu / probes * 1000
    finally:
        end_process(process)
        end_process(sim)
    latencies.sort()
    return {"probes": probes,
            "latency_median_ms": statistics.median(latencies) * 1000,
            "latency_p99_ms": latencies[int(len(latencies) * 0.99) - 1] * 1000,
            "exporter_cpu_per_probe_ms": exporter_cpu,
            "direct_cpu_per_probe_ms": direct_cpu,
            "ratio": exporter_cpu / direct_cpu if direct_cpu else float("inf")}


def probe_latencies(host, port, card, count):
    """Probe latencies in ms over one kept-alive connection."""
    connection = http.client.HTTPConnection(host, port, timeout=30)
    latencies = []
    for _ in range(count):
        started = time.perf_counter()
        connection.request("GET", "/probe?target=" + card)
        body = connection.getresponse().read().decode()
        latencies.append((time.perf_counter() - started) * 1000)
        assert 'vorl_up{collector="health"} 1' in body
    connection.close()
    latencies.sort()
    return latencies


def hold_idle(host, port, count, context=None):
    """`count` connections that made one request each and stay open (kept alive)."""
    held = []
    for _ in range(count):
        sock = socket.create_connection((host, port), timeout=30)
        if context:
            sock = context.wrap_socket(sock)
        sock.sendall(b"GET /-/healthy HTTP/1.1\r\nHost: x\r\n\r\n")
        answer = b""
        while not answer.endswith(b"Healthy\n"):
            data = sock.recv(4096)
            assert data, "an idle connection was closed"
            answer += data
        held.append(sock)
    return held


def idle_connections(build, workdir, probes, idle):
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    card = BASE + ".1"
    sim = start([os.path.join(build, "cardsim", "vorlsim"), "--listen", card,
                 "--devlink-port=0"], card, 6577)
    keep = ["--web.idle-timeout=30m", "--web.max-connections=%d" % (idle + 100)]
    results = {"idle_connections": idle}
    try:
        process, url = exporter(build, workdir, BASE + ".250", keep)
        host, port = url.split("//")[1].rsplit(":", 1)
        try:
            probe_latencies(host, int(port), card, 20)
            results["rss_mb_before"] = rss_mb(process.pid)
            before = probe_latencies(host, int(port), card, probes)
            held = hold_idle(host, int(port), idle)
            results["rss_mb_with_idle_plain"] = rss_mb(process.pid)
            after = probe_latencies(host, int(port), card, probes)
            results["rss_mb_with_idle_plain_after_probes"] = rss_mb(process.pid)
            for sock in held:
                sock.close()
        finally:
            end_process(process)
        for name, figures in (("without", before), ("with", after)):
            results["latency_median_ms_%s_idle" % name] = statistics.median(figures)
            results["latency_p99_ms_%s_idle" % name] = figures[int(len(figures) * 0.99) - 1]

        # The same exporter with TLS: what an idle TLS connection costs.
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                        "ec_paramgen_curve:P-256", "-nodes", "-days", "2", "-subj", "/CN=bench",
                        "-keyout", os.path.join(workdir, "key.pem"), "-out",
                        os.path.join(workdir, "cert.pem")], check=True, capture_output=True)
        web = os.path.join(workdir, "web.yml")
        with open(web, "w") as f:
            f.write("tls_server_config:\n  cert_file: cert.pem\n  key_file: key.pem\n")
        process, url = exporter(build, workdir, BASE + ".249", keep + ["--web.config.file=" + web])
        host, port = url.split("//")[1].rsplit(":", 1)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
        context.check_hostname = False
        context.verify_mode = ssl.CERT_NONE
        try:
            hold_idle(host, int(port), 20, context)
            results["rss_mb_tls_before"] = rss_mb(process.pid)
            held = hold_idle(host, int(port), idle, context)
            results["rss_mb_with_idle_tls"] = rss_mb(process.pid)
            for sock in held:
                sock.close()
        finally:
            end_process(process)
    finally:
        end_process(sim)
    return results


def fleet(build, workdir, cards, seconds):
    first = BASE + ".1"
    sim = start([os.path.join(build, "cardsim", "vorlsim"), "--listen", first, "--cards",
                 str(cards), "--devlink-port=0"], BASE + ".%d" % cards, 6577)
    process, url = exporter(build, workdir, BASE + ".250")
    address = BASE + ".251"
    port = free_port(address)
    config = os.path.join(workdir, "prometheus.yml")
    with open(config, "w") as f:
        f.write(scrape_config(["%s.%d" % (BASE, i) for i in range(1, cards + 1)],
                              url.split("//")[1], "15s", "10s"))
    prometheus = start([shutil.which("prometheus"), "--config.file=" + config,
                        "--web.listen-address=%s:%d" % (address, port),
                        "--storage.tsdb.path=" + os.path.join(workdir, "data")], address, port)
    try:
        time.sleep(20)  # the first round of scrapes
        rss = []
        cpu_before, wall_before = cpu_seconds(process.pid), time.monotonic()
        while time.monotonic() - wall_before < seconds:
            rss.append(rss_mb(process.pid))
            # Progress on standard error: a long run that is cut short still tells something.
            elapsed = time.monotonic() - wall_before
            print("fleet %5.0f s: rss %.1f MB, cpu %.2f %% of a core so far" % (
                elapsed, rss[-1], (cpu_seconds(process.pid) - cpu_before) / max(elapsed, 1) * 100),
                file=sys.stderr, flush=True)
            time.sleep(15)
        cpu = (cpu_seconds(process.pid) - cpu_before) / (time.monotonic() - wall_before)
        window = "%ds" % seconds

        at = time.time()  # every query at one instant, so that the counts agree

        def query(expression):
            answer = json.loads(get("http://%s:%d/api/v1/query?query=%s&time=%.3f" % (
                address, port, urllib.parse.quote(expression), at)))
            result = answer["data"]["result"]
            return float(result[0]["value"][1]) if result else 0.0

        scrapes = query('sum(count_over_time(up{job="vorl"}[%s]))' % window)
        failed = scrapes - query('sum(sum_over_time(up{job="vorl"}[%s]))' % window)
        probes_down = query('sum(count_over_time(vorl_up[%s])) - sum(sum_over_time(vorl_up[%s]))'
                            % (window, window))
    finally:
        end_process(prometheus)
        end_process(process)
        end_process(sim)
    return {"cards": cards, "seconds": seconds, "scrapes": scrapes, "failed_scrapes": failed,
            "collector_results_down": probes_down, "exporter_cpu_percent_of_one_core": cpu * 100,
            "rss_mb_first": rss[0], "rss_mb_max": max(rss), "rss_mb_last": rss[-1]}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build", help="a release build directory")
    parser.add_argument("--probes", type=int, default=2000)
    parser.add_argument("--cards", type=int, default=200)
    parser.add_argument("--fleet-seconds", type=int, default=330)
    parser.add_argument("--idle", type=int, default=2000)
    args = parser.parse_args()
    workdir = tempfile.mkdtemp(prefix="vorl-exporter-bench-")
    try:
        print(json.dumps(single_card(args.build, workdir, args.probes), indent=2), flush=True)
        if args.idle > 0:
            print(json.dumps(idle_connections(args.build, workdir, args.probes // 2, args.idle),
                             indent=2), flush=True)
        if args.fleet_seconds > 0:
            print(json.dumps(fleet(args.build, workdir, args.cards, args.fleet_seconds),
                             indent=2), flush=True)
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    main()
