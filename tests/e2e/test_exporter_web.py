"""vorl_exporter's web side as an operator meets it: /-/reload with or without a body, /-/ready,
the log's formats and levels, a bind error that names its reason, SIGTERM while the start is held
up by a file, authentication that compares the whole password, and web configurations that
would fail open refused at start."""

import base64
import json
import os
import signal
import socket
import subprocess
import time
import unittest
import urllib.request

from exportertest import CONFIG, VORL_EXPORTER, Exporter
from vorltest import Sim

# htpasswd -nbB -C 4 prom s3cret
HASH = "$2y$04$WnRJX4MNlpXDHDsIlcyEj.6d.BcEeQOagtEXuUkM1DiAFFlj/6zQu"


def web_config(exporter, text):
    path = os.path.join(exporter.dir, "web.yml")
    with open(path, "w") as f:
        f.write(text)
    return "--web.config.file=" + path


def run_exporter(exporter, *extra):
    """(exit status, output) of an exporter that is expected to end by itself."""
    done = subprocess.run([VORL_EXPORTER, "--config.file=" + exporter.config_path,
                           "--web.listen-address=%s:%d" % (exporter.address, exporter.port)] +
                          list(extra), capture_output=True, timeout=30)
    return done.returncode, (done.stdout + done.stderr).decode()


@unittest.skipUnless(VORL_EXPORTER, "vorl_exporter is not built")
class WebTest(unittest.TestCase):
    def test_reload_without_a_body_ready_and_a_json_debug_log(self):
        quick = CONFIG.replace("5s", "1s") + "    collectors: [health]\n"
        with Sim("--no-reply=0x0100") as card, \
                Exporter(quick, extra=["--log.format=json", "--log.level=debug"]) as exporter:
            self.assertEqual(exporter.get("/-/ready"), (200, "Ready\n"))
            exporter.probe(card.address)  # health never answers
            exporter.write_config(CONFIG + "  second:\n    user: admin\n    password: x\n")
            request = urllib.request.Request(exporter.url + "/-/reload", method="POST")
            with urllib.request.urlopen(request, timeout=30) as answer:  # no body at all
                self.assertEqual(answer.status, 200)
            self.assertIn("second", exporter.get("/")[1])
            self.assertEqual(exporter.get("/-/reload", method="PUT")[0], 200)
            lines = [json.loads(line) for line in exporter.output().splitlines()]
            self.assertEqual([l["msg"] for l in lines if l["level"] == "info"][:3],
                             ["listening", "configuration reloaded", "configuration reloaded"])
            failed = [l for l in lines if l["msg"] == "probe failed"]
            self.assertEqual(len(failed), 1, lines)
            self.assertEqual((failed[0]["level"], failed[0]["target"], failed[0]["module"],
                              failed[0]["collector"]),
                             ("debug", card.address + ":6577", "default", "health"))
            self.assertIn("0x0100", failed[0]["reason"])
            self.assertTrue(all(l["ts"].endswith("Z") for l in lines))

    def test_bind_error_names_its_reason(self):
        exporter = Exporter()
        holder = socket.socket()
        holder.bind((exporter.address, exporter.port))
        holder.listen(1)
        self.addCleanup(holder.close)
        status, output = run_exporter(exporter)
        self.assertEqual(status, 1)
        self.assertIn('level=error msg="cannot start" reason="cannot listen on %s:%d: address '
                      'in use"' % (exporter.address, exporter.port), output)

    def test_sigterm_ends_a_start_held_up_by_a_file(self):
        exporter = Exporter()
        fifo = os.path.join(exporter.dir, "cert.pem")
        os.mkfifo(fifo)  # reading the certificate waits for a writer that never comes
        process = subprocess.Popen(
            [VORL_EXPORTER, "--config.file=" + exporter.config_path,
             web_config(exporter, "tls_server_config:\n  cert_file: cert.pem\n"
                                  "  key_file: cert.pem\n")],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(process.kill)
        # Until it waits in the FIFO's open: the kernel names that wait "wait_for_partner".
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline and process.poll() is None:
            with open("/proc/%d/wchan" % process.pid) as f:
                if f.read() == "wait_for_partner":
                    break
            time.sleep(0.01)
        self.assertIsNone(process.poll())
        process.send_signal(signal.SIGTERM)
        self.assertEqual(process.wait(timeout=10), 0)

    def test_the_whole_password_and_nothing_that_fails_open(self):
        exporter = Exporter()
        exporter.extra = [web_config(exporter, "basic_auth_users:\n  prom: '%s'\n" % HASH)]

        def status(credentials, scheme="Basic"):
            token = base64.b64encode(credentials).decode()
            return exporter.get("/-/healthy",
                                headers={"Authorization": scheme + " " + token})[0]

        with exporter:
            self.assertEqual(status(b"prom:s3cret"), 200)
            self.assertEqual(status(b"prom:s3cret", "bAsIc"), 200)
            self.assertEqual(status(b"prom:s3cret\0anything"), 401)
            self.assertEqual(status(b"prom:s3cre"), 401)
            self.assertEqual(status(b"nobody:s3cret"), 401)
            self.assertEqual(exporter.get("/metrics")[0], 401)
        for text, reason in (("basic_auth_users:\n", ":1: basic_auth_users needs at least one user"),
                             ("basic_auth_users: {}\n", ":1: basic_auth_users needs at least one"),
                             ("basic_auth_users:\n  prom: '$2'\n",
                              ":2: the password hash of prom is not a bcrypt hash"),
                             ("basic_auth_users:\n  prom: '%s'\n" % HASH.replace("$04$", "$03$"),
                              ":2: the password hash of prom has no bcrypt cost from 04 to 31")):
            code, output = run_exporter(exporter, web_config(exporter, text))
            self.assertEqual(code, 1, text)
            self.assertIn("web.yml" + reason, output)


if __name__ == "__main__":
    unittest.main()
