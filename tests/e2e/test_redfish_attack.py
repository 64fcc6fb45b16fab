"""vorl_redfish attacked on loopback: connections that never send, clients that send their TLS
ClientHello or their request head a byte a second, and a flood of requests for a card that never
answers. Meanwhile ServiceRoot and a healthy card's Manager are answered within 1 s, every
attacker is closed by its deadline, and the service keeps to a few threads (read from /proc)."""

import os
import socket
import ssl
import time
import unittest

from redfishtest import ACCOUNTS, VORL_REDFISH, Fleet, Redfish
from test_exporter_attack import Attack, client_hello, proc_status, raise_file_limit
from vorltest import Sim

IDLE = 500
TRICKLERS = 30
SILENT_REQUESTS = 100
HEADER_TIMEOUT = 2.0
SLACK = 1.5


@unittest.skipUnless(VORL_REDFISH, "vorl_redfish is not built")
class RedfishAttackTest(unittest.TestCase):
    def test_idle_trickling_and_a_silent_card_leave_the_service_serving(self):
        if raise_file_limit() < IDLE + TRICKLERS + SILENT_REQUESTS + 200:
            self.skipTest("too few file descriptors for the attack")
        fleet = Fleet(1).start()
        self.addCleanup(fleet.stop)
        silent = Sim("--no-reply=0x0001").start()  # never answers the login challenge
        self.addCleanup(silent.stop)
        service = Redfish([("good", fleet.addresses[0]), ("silent", silent.address)],
                          settings="card_timeout: 3s\n",
                          extra=["--web.header-timeout=%gs" % HEADER_TIMEOUT,
                                 "--web.handshake-timeout=%gs" % HEADER_TIMEOUT]).start()
        self.addCleanup(service.stop)
        self.assertEqual(service.get("/redfish/v1/Managers/good").status_code, 200)

        attack = Attack(service.address, service.port)
        self.addCleanup(attack.close)
        attack.idle(IDLE)
        hello = client_hello()
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
        context.check_hostname = False
        context.verify_mode = ssl.CERT_NONE
        for i in range(TRICKLERS):
            if i % 2:
                attack.trickle("client hello", hello)
            else:  # a finished handshake, then the head a byte a second
                attack.trickle("tls head", b"GET /redfish/v1 HTTP/1.1\r\nHost: x\r\n\r\n",
                               wrap=context.wrap_socket)
        attack.tick()
        floods = []
        password = ACCOUNTS["root"][0]
        import base64
        credentials = base64.b64encode(("root:" + password).encode()).decode()
        for _ in range(SILENT_REQUESTS):
            sock = context.wrap_socket(
                socket.create_connection((service.address, service.port), timeout=30))
            sock.sendall(("GET /redfish/v1/Managers/silent HTTP/1.1\r\nHost: x\r\n"
                          "Authorization: Basic %s\r\nConnection: close\r\n\r\n"
                          % credentials).encode())
            floods.append(sock)
        self.addCleanup(lambda: [s.close() for s in floods])

        for path, user in (("/redfish/v1", None), ("/redfish/v1/Managers/good", "root")):
            started = time.monotonic()
            answer = service.get(path, user=user)
            self.assertEqual(answer.status_code, 200, answer.text)
            self.assertLess(time.monotonic() - started, 1.0, path + " while attacked")
        threads, _ = proc_status(service.process.pid)
        # The IO thread, the main thread and the bounded pool of workers: nothing per client.
        self.assertLessEqual(threads, 24)

        attack.watch(HEADER_TIMEOUT + SLACK + 2)
        self.assertEqual(attack.late(HEADER_TIMEOUT + SLACK), [])
        # Every request for the silent card is answered: 503 with Retry-After, by the card's
        # deadline or at once once too many wait for it.
        statuses = set()
        for sock in floods:
            answer = b""
            while True:
                data = sock.recv(65536)
                if not data:
                    break
                answer += data
            statuses.add(answer[:12])
            self.assertIn(b"Retry-After", answer)
        self.assertEqual(statuses, {b"HTTP/1.1 503"})


if __name__ == "__main__":
    unittest.main()
