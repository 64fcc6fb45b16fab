"""Helpers for vorl_redfish's end-to-end tests: a fleet of simulated cards in one vorlsim, the
service started on a loopback address of its own with a written configuration, and an HTTPS
client that does not check the service's self-signed certificate (as the real clients are told
to)."""

import os
import shutil
import socket
import subprocess
import tempfile
import time
import warnings

from vorltest import (DEFAULT_PASSWORD, VORLSIM, LoggedProcess, end_process, fresh_address,
                      fresh_addresses, wait_for_port)

VORL_REDFISH = os.environ.get("VORL_REDFISH", "")

# The service's certificate is self-signed and the clients are told not to check it; a CA bundle
# named in the environment would make python-requests check it all the same.
for _name in ("REQUESTS_CA_BUNDLE", "CURL_CA_BUNDLE"):
    os.environ.pop(_name, None)

# The service's own logins in the tests: name -> (password, role).
ACCOUNTS = {
    "root": ("Root-Pass-1", "Administrator"),
    "op": ("Operator-Pass-2", "Operator"),
    "viewer": ("Viewer-Pass-3", "ReadOnly"),
}


def bcrypt(password):
    """A bcrypt hash of `password` (cost 10), made by htpasswd as an administrator would."""
    line = subprocess.run(["htpasswd", "-nbBC", "10", "", password], check=True,
                          capture_output=True, text=True).stdout
    return line.strip().lstrip(":")


_hashes = {}


def account_hash(name):
    if name not in _hashes:
        _hashes[name] = bcrypt(ACCOUNTS[name][0])
    return _hashes[name]


def free_port(address):
    with socket.socket() as s:
        s.bind((address, 0))
        return s.getsockname()[1]


class Fleet(LoggedProcess):
    """`count` cards served by one vorlsim on consecutive loopback addresses, each with a state
    directory of its own (DIR/ADDRESS/). Extra vorlsim options apply to every card."""

    def __init__(self, count, *options):
        self.addresses = fresh_addresses(count)
        self.state_dir = tempfile.mkdtemp(prefix="vorl-fleet-")
        self.options = list(options)
        self.log = tempfile.TemporaryFile()
        self.process = None

    def start(self):
        self.process = subprocess.Popen(
            [VORLSIM, "--listen", self.addresses[0], "--cards", str(len(self.addresses)),
             "--devlink-port=0", "--state-dir", self.state_dir] + self.options,
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT)
        for address in self.addresses:
            if not wait_for_port(address, 6577):
                self.stop()
                raise RuntimeError("vorlsim did not serve %s: %s" % (address, self.output()))
        return self

    def card_file(self, address, name):
        """A state file of one card (users.dat, event_log.conf, ...)."""
        return os.path.join(self.state_dir, address, name)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
        shutil.rmtree(self.state_dir, ignore_errors=True)


class Redfish(LoggedProcess):
    """A running vorl_redfish. `cards` is a list of (id, address); every card is logged in to as
    admin with vorlsim's default password, kept in a password file."""

    def __init__(self, cards, accounts=tuple(ACCOUNTS), settings="card_timeout: 3s\n",
                 extra=()):
        self.dir = tempfile.mkdtemp(prefix="vorl-redfish-")
        self.state_dir = os.path.join(self.dir, "state")
        self.config_path = os.path.join(self.dir, "vorl_redfish.yml")
        with open(os.path.join(self.dir, "card.pw"), "w") as f:
            f.write(DEFAULT_PASSWORD + "\n")
        lines = ["state_dir: " + self.state_dir, "cards:"]
        for card_id, address in cards:
            lines += ["  - id: " + card_id, "    address: " + address, "    user: admin",
                      "    password_file: card.pw"]
        lines.append("accounts:")
        for name in accounts:
            lines += ["  - name: " + name, '    password_hash: "%s"' % account_hash(name),
                      "    role: " + ACCOUNTS[name][1]]
        with open(self.config_path, "w") as f:
            f.write("\n".join(lines) + "\n" + settings)
        self.address = fresh_address()
        self.port = free_port(self.address)
        self.extra = list(extra)
        self.env = {}  # added to the service's environment
        self.log = tempfile.TemporaryFile()
        self.process = None

    @property
    def baseuri(self):
        return "%s:%d" % (self.address, self.port)

    @property
    def url(self):
        return "https://" + self.baseuri

    def start(self):
        self.process = subprocess.Popen(
            [VORL_REDFISH, "--config.file=" + self.config_path,
             "--web.listen-address=" + self.baseuri] + self.extra,
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT,
            env=dict(os.environ, **self.env))
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError("vorl_redfish ended: " + self.output())
            try:
                with socket.create_connection((self.address, self.port), timeout=0.5):
                    return self
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("vorl_redfish did not start: " + self.output())

    def session(self, user="root"):
        """A requests session that logs in with Basic authentication as `user` (None: no
        login)."""
        import requests
        import urllib3
        warnings.simplefilter("ignore", urllib3.exceptions.InsecureRequestWarning)
        session = requests.Session()
        session.verify = False
        if user:
            session.auth = (user, ACCOUNTS[user][0])
        return session

    def get(self, path, user="root", **kw):
        return self.session(user).get(self.url + path, timeout=30, **kw)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)


def card_users(fleet, address):
    """The login names of one card, read from its users.dat as vorlsim keeps it."""
    import struct
    with open(fleet.card_file(address, "users.dat"), "rb") as f:
        data = f.read()
    assert data[:8] == b"VORLUSR1", data[:8]
    count = struct.unpack_from("<I", data, 8)[0] if len(data) >= 16 else 0
    return count, data
