"""vorl_exporter attacked on loopback as a hostile or careless network would: 1,000 connections
that never send a byte, 50 clients that send their request head (or, with TLS, their
ClientHello) a byte a second, and 200 probes of one silent card at once. Meanwhile a probe of a
healthy card and /-/healthy are answered within 1 s, every attacker's connection is closed by
its deadline, and the exporter's threads and memory stay bounded (read from /proc)."""

import os
import resource
import selectors
import shutil
import socket
import ssl
import subprocess
import time
import unittest

from exportertest import CONFIG, VORL_EXPORTER, Exporter, samples, value
from vorltest import Sim

IDLE = 1000
TRICKLERS = 50
SILENT_PROBES = 200
HEADER_TIMEOUT = 2.0  # --web.header-timeout, and the wait for a new connection's first byte
SLACK = 1.5  # what a loaded CI machine may add to a deadline
SILENT_MODULE = CONFIG + """  silent:
    user: admin
    password: vorladmin
    timeout: 3s
"""


def raise_file_limit():
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft < hard:
        resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    return resource.getrlimit(resource.RLIMIT_NOFILE)[0]


def proc_status(pid):
    """(threads, resident kB) of a process."""
    fields = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            key, _, rest = line.partition(":")
            fields[key] = rest.split()
    return int(fields["Threads"][0]), int(fields["VmRSS"][0])


def client_hello():
    """The bytes of a TLS ClientHello, as a real client would send them."""
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
    handshake = context.wrap_bio(incoming, outgoing)
    try:
        handshake.do_handshake()
    except ssl.SSLWantReadError:
        pass
    return outgoing.read()


class Attack:
    """Attacker connections and when the exporter closed each of them."""

    def __init__(self, address, port):
        self.address, self.port = address, port
        self.selector = selectors.DefaultSelector()
        self.opened = {}  # socket -> (kind, the time its deadline began)
        self.closed = {}  # socket -> seconds from its deadline's start to the close
        self.pending = {}  # trickler -> bytes still to send, a byte a second

    def connect(self, wrap=None):
        sock = socket.create_connection((self.address, self.port), timeout=10)
        if wrap:
            sock = wrap(sock)
        sock.setblocking(False)
        return sock

    def idle(self, count):
        for _ in range(count):
            sock = self.connect()
            self.opened[sock] = ("idle", time.monotonic())
            self.selector.register(sock, selectors.EVENT_READ)

    def trickle(self, kind, data, wrap=None):
        sock = self.connect(wrap)
        self.pending[sock] = data
        self.opened[sock] = (kind, None)
        self.selector.register(sock, selectors.EVENT_READ)

    def tick(self):
        """Sends every live trickler its next byte; their deadline starts at their first."""
        for sock, data in list(self.pending.items()):
            if sock in self.closed or not data:
                continue
            try:
                sock.send(data[:1])
            except (BlockingIOError, ssl.SSLWantWriteError):
                continue
            except OSError:
                continue  # closed: the selector reports it
            self.pending[sock] = data[1:]
            kind, started = self.opened[sock]
            if started is None:
                self.opened[sock] = (kind, time.monotonic())

    def watch(self, seconds):
        """Notes the closes seen within `seconds`, trickling on."""
        until = time.monotonic() + seconds
        next_tick = time.monotonic()
        while time.monotonic() < until and len(self.closed) < len(self.opened):
            if time.monotonic() >= next_tick:
                self.tick()
                next_tick += 1.0
            for key, _ in self.selector.select(timeout=0.1):
                sock = key.fileobj
                try:
                    data = sock.recv(4096)
                except (BlockingIOError, ssl.SSLWantReadError):
                    continue
                except OSError:
                    data = b""
                if data:
                    continue  # an answer to a trickler would be a failure; seen below
                kind, started = self.opened[sock]
                self.closed[sock] = time.monotonic() - (started or time.monotonic())
                self.selector.unregister(sock)

    def late(self, bound):
        """Connections not closed within `bound` seconds of their deadline's start."""
        return sorted((kind, "open" if sock not in self.closed else round(self.closed[sock], 2))
                      for sock, (kind, _) in self.opened.items()
                      if sock not in self.closed or self.closed[sock] > bound)

    def close(self):
        for sock in self.opened:
            sock.close()
        self.selector.close()


@unittest.skipUnless(VORL_EXPORTER and shutil.which("openssl"), "vorl_exporter or openssl missing")
class AttackTest(unittest.TestCase):
    def setUp(self):
        if raise_file_limit() < IDLE + TRICKLERS + SILENT_PROBES + 200:
            self.skipTest("too few file descriptors for the attack")
        self.card = Sim().start()
        self.addCleanup(self.card.stop)

    def exporter(self, tls=False):
        exporter = Exporter(SILENT_MODULE, extra=["--web.header-timeout=%gs" % HEADER_TIMEOUT,
                                                  "--web.handshake-timeout=%gs" % HEADER_TIMEOUT])
        if tls:
            subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                            "ec_paramgen_curve:P-256", "-nodes", "-days", "2", "-subj",
                            "/CN=vorl-test", "-keyout", os.path.join(exporter.dir, "key.pem"),
                            "-out", os.path.join(exporter.dir, "cert.pem")],
                           check=True, capture_output=True, timeout=60)
            web = os.path.join(exporter.dir, "web.yml")
            with open(web, "w") as f:
                f.write("tls_server_config:\n  cert_file: cert.pem\n  key_file: key.pem\n")
            exporter.extra.append("--web.config.file=" + web)
        exporter.start()
        self.addCleanup(exporter.stop)
        return exporter

    def timed_get(self, exporter, path, tls):
        """(status, body, seconds) of one request on a new connection."""
        import http.client
        started = time.monotonic()
        if tls:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
            context.check_hostname = False
            context.verify_mode = ssl.CERT_NONE
            connection = http.client.HTTPSConnection(exporter.address, exporter.port,
                                                     timeout=30, context=context)
        else:
            connection = http.client.HTTPConnection(exporter.address, exporter.port, timeout=30)
        try:
            connection.request("GET", path)
            answer = connection.getresponse()
            body = answer.read().decode()
            return answer.status, body, time.monotonic() - started
        finally:
            connection.close()

    def check_served_meanwhile(self, exporter, tls):
        status, body, seconds = self.timed_get(exporter, "/probe?target=" + self.card.address,
                                               tls)
        self.assertEqual(status, 200)
        self.assertEqual(value(samples(body), "vorl_up", collector="health"), 1)
        self.assertLess(seconds, 1.0, "a healthy card's probe while attacked")
        status, body, seconds = self.timed_get(exporter, "/-/healthy", tls)
        self.assertEqual((status, body), (200, "Healthy\n"))
        self.assertLess(seconds, 1.0, "/-/healthy while attacked")

    def check_bounded(self, exporter, baseline_kb):
        threads, rss_kb = proc_status(exporter.process.pid)
        # IO threads, the main and control threads, the probe pool's deadline thread and a
        # few probe workers: nothing per connection.
        self.assertLessEqual(threads, 16)
        # Far below what a thread or a 16 KB buffer per connection would take (the debug
        # build's sanitizers included).
        self.assertLess(rss_kb - baseline_kb, 40 * 1024, "kB more with the attackers")

    def test_plain_idle_trickling_and_200_probes_of_a_silent_card(self):
        exporter = self.exporter()
        baseline_kb = proc_status(exporter.process.pid)[1]
        silent = Sim("--no-reply=0x0001").start()  # never answers the login challenge
        self.addCleanup(silent.stop)
        attack = Attack(exporter.address, exporter.port)
        self.addCleanup(attack.close)
        attack.idle(IDLE)
        for i in range(TRICKLERS):
            attack.trickle("trickle", b"GET /-/healthy HTTP/1.1\r\nHost: x\r\n\r\n")
        attack.tick()
        probes = []
        for _ in range(SILENT_PROBES):
            sock = socket.create_connection((exporter.address, exporter.port), timeout=30)
            sock.sendall(("GET /probe?target=%s&module=silent HTTP/1.1\r\nHost: x\r\n"
                          "Connection: close\r\n\r\n" % silent.address).encode())
            probes.append(sock)
        self.addCleanup(lambda: [s.close() for s in probes])

        self.check_served_meanwhile(exporter, tls=False)
        # The silent card holds one session however many ask for it.
        status, body, _ = self.timed_get(exporter, "/metrics", tls=False)
        self.assertLessEqual(value(samples(body), "vorl_exporter_sessions_in_use"), 1)
        self.check_bounded(exporter, baseline_kb)

        attack.watch(HEADER_TIMEOUT + SLACK + 2)
        self.assertEqual(attack.late(HEADER_TIMEOUT + SLACK), [])
        # Closed by the exporter's deadlines, not by the attackers.
        status, body, _ = self.timed_get(exporter, "/metrics", tls=False)
        self.assertGreaterEqual(value(samples(body), "vorl_exporter_http_connections_closed_total",
                                      reason="deadline"), IDLE + TRICKLERS)
        # Every probe of the silent card is answered, down, by its module's timeout.
        for sock in probes:
            answer = b""
            while True:
                data = sock.recv(65536)
                if not data:
                    break
                answer += data
            self.assertTrue(answer.startswith(b"HTTP/1.1 200 "), answer[:100])
            self.assertIn(b'vorl_up{collector="health"} 0', answer)

    def test_tls_idle_and_clients_trickling_a_client_hello_or_a_head(self):
        exporter = self.exporter(tls=True)
        baseline_kb = proc_status(exporter.process.pid)[1]
        attack = Attack(exporter.address, exporter.port)
        self.addCleanup(attack.close)
        attack.idle(IDLE)
        hello = client_hello()
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
        context.check_hostname = False
        context.verify_mode = ssl.CERT_NONE
        for i in range(TRICKLERS):
            if i % 2:
                attack.trickle("client hello", hello)
            else:  # a finished handshake, then the head a byte (a TLS record) a second
                attack.trickle("tls head", b"GET /-/healthy HTTP/1.1\r\nHost: x\r\n\r\n",
                               wrap=context.wrap_socket)
        attack.tick()
        self.check_served_meanwhile(exporter, tls=True)
        self.check_bounded(exporter, baseline_kb)
        attack.watch(HEADER_TIMEOUT + SLACK + 2)
        self.assertEqual(attack.late(HEADER_TIMEOUT + SLACK), [])
        status, body, _ = self.timed_get(exporter, "/metrics", tls=True)
        self.assertGreaterEqual(value(samples(body), "vorl_exporter_http_connections_closed_total",
                                      reason="deadline"), IDLE + TRICKLERS)


if __name__ == "__main__":
    unittest.main()
