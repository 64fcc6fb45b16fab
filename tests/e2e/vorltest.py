"""Helpers for end-to-end tests: start vorlsim on a loopback address of its own, run vorlcli
as a process with standard input, compare its output byte for byte (CR LF folded to LF).

Every native vorlcli run a scenario makes through run_cli also has a JSON twin: the same words
with --json, made first against a copy of the card (same options, same state), whose documents
are checked (see run_cli)."""

import hashlib
import inspect
import itertools
import json
import os
import re
import shutil
import socket
import stat
import subprocess
import tempfile
import time
import unittest

VORLCLI = os.environ.get("VORLCLI", "vorlcli")
VORLSIM = os.environ.get("VORLSIM", "vorlsim")
# Set for the Windows build: vorlcli.exe runs under this emulator (Wine).
EMULATOR = os.environ.get("VORL_EMULATOR", "")

_counter = itertools.count(1)


def fresh_address():
    """A loopback address no other test process uses: 127.<pid>.<n>."""
    pid = os.getpid()
    n = next(_counter)
    return "127.%d.%d.%d" % ((pid >> 8) & 0xFF, pid & 0xFF, n % 250 + 1)


def fresh_addresses(count):
    """`count` consecutive loopback addresses of this process (vorlsim --cards serves them)."""
    while True:
        first = [fresh_address() for _ in range(count)]
        if len({a.rsplit(".", 1)[0] for a in first}) == 1 and \
                int(first[-1].rsplit(".", 1)[1]) - int(first[0].rsplit(".", 1)[1]) == count - 1:
            return first


# The running vorlsims by address, so that a vorlcli run can find the card its words name.
_running_sims = {}
# Fault options that count down as requests come: a card started later is not in the same state.
_COUNTED_FAULTS = ("--refuse-passthrough", "--stuck-busy", "--mouse-packets", "--fault-on")


_digests = {}  # (path, size, modification time) -> digest of the content


def _state_fingerprint(directory):
    """Names and content digests of a state directory's files: two cards whose directories have
    the same fingerprint are in the same state (the card saves every change at once)."""
    found = []
    for folder, _, names in os.walk(directory):
        for name in names:
            path = os.path.join(folder, name)
            try:
                status = os.stat(path)
                key = (path, status.st_size, status.st_mtime_ns)
                if key not in _digests:
                    with open(path, "rb") as f:
                        _digests[key] = hashlib.sha1(f.read()).digest()
            except FileNotFoundError:
                continue
            found.append((os.path.relpath(path, directory), _digests[key]))
    return sorted(found)


def end_process(process, seconds=10):
    """Terminates a process that is still running, and kills it if it does not end in time."""
    if process and process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def wait_for_port(address, port, seconds=15.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            with socket.create_connection((address, port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.02)
    return False


class LoggedProcess:
    """A program run by a test, its standard output and error kept in `self.log`."""

    process = None
    log = None

    def output(self):
        self.log.seek(0)
        return self.log.read().decode(errors="replace")

    def stop(self):
        end_process(self.process)

    def __del__(self):
        if self.log is not None:
            self.log.close()


class Sim(LoggedProcess):
    """A running vorlsim. Use as a context manager; extra options are passed on unchanged."""

    def __init__(self, *options, state_dir=None, port=6577, wait_ports=(6577,)):
        self.address = fresh_address()
        self.port = port
        self.own_state = state_dir is None
        self.state_dir = state_dir or tempfile.mkdtemp(prefix="vorlsim-")
        self.options = list(options)
        self.wait_ports = wait_ports
        self.process = None

    def start(self):
        args = [VORLSIM, "--listen", self.address, "--port", str(self.port),
                "--state-dir", self.state_dir] + self.options
        self.log = tempfile.TemporaryFile()
        self.process = subprocess.Popen(args, stdin=subprocess.DEVNULL,
                                        stdout=self.log, stderr=subprocess.STDOUT)
        for port in self.wait_ports:
            if not wait_for_port(self.address, port):
                self.stop()
                raise RuntimeError("vorlsim did not start: " + self.output())
        _running_sims[self.address] = self
        self.twinned = {}  # words, input and environment of twin runs -> the state they saw
        return self

    def stop(self):
        if _running_sims.get(self.address) is self:
            del _running_sims[self.address]
        self._drop_twin()
        super().stop()

    # A twin card: started on demand from a copy of this card's state directory, and kept for
    # the next twin run while both cards are in the same state (a run that changes the card
    # mostly changes both alike).
    _twin = None

    def twin_card(self):
        """A running card with this card's options and state, on an address of its own; None
        for a fleet (--cards), whose state directory is laid out per address."""
        if any(o.startswith("--cards") for o in self.options):
            return None
        if self._twin and self._twin.process.poll() is None and \
                not any(o.startswith(_COUNTED_FAULTS) for o in self.options) and \
                _state_fingerprint(self.state_dir) == _state_fingerprint(self._twin.state_dir):
            return self._twin
        self._drop_twin()
        copy = tempfile.mkdtemp(prefix="vorlsim-twin-")
        shutil.copytree(self.state_dir, copy, dirs_exist_ok=True)  # keeps the files' times
        twin = Sim(state_dir=copy, port=self.port, wait_ports=self.wait_ports)
        twin.own_state = True
        twin.options = [o[:-len(self.address)] + twin.address
                        if o.endswith("=" + self.address) else o for o in self.options]
        self._twin = twin
        return twin.start()

    def _drop_twin(self):
        twin, self._twin = self._twin, None
        if twin:
            twin.process.kill()  # a copy: nothing of it is kept
            twin.process.wait()
            twin.__exit__()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
        if self.own_state:
            shutil.rmtree(self.state_dir, ignore_errors=True)


class Result:
    def __init__(self, code, out, err):
        self.code = code
        self.out = out
        self.err = err

    def __repr__(self):
        return "exit %d\n--- stdout ---\n%s\n--- stderr ---\n%s" % (self.code, self.out, self.err)


def run_cli(*args, stdin="", timeout=60, env=None, json_twin=None):
    """Runs vorlcli with `args` and `stdin`; returns Result with CR LF folded to LF.

    A native run is preceded by its JSON twin (see _run_json_twin) unless `json_twin` names the
    reason to leave it out, the words already hold --json, or VORL_JSON_TWINS is 0."""
    args = [str(a) for a in args]
    full_env = dict(os.environ)
    if env:
        full_env.update(env)
    twin = None
    if json_twin is None and not EMULATOR and "--json" not in args and \
            full_env.get("VORL_JSON_TWINS", "1") != "0":
        twin = _run_json_twin(args, stdin, timeout, full_env)
    command = ([EMULATOR] if EMULATOR else []) + [VORLCLI] + args
    done = subprocess.run(command, input=stdin.encode(), stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=timeout, env=full_env)
    out = done.stdout.decode("latin-1").replace("\r\n", "\n")
    err = done.stderr.decode("latin-1").replace("\r\n", "\n")
    _record(command, stdin, done)
    result = Result(done.returncode, out, err)
    if twin:
        twin.check(result)
    return result


def _record(command, stdin, done):
    """With VORL_E2E_RECORD set, appends a text-mode run (words, input, exit status and both
    streams, raw) to that file, so that scripts/compare-e2e-outputs.sh can set two builds side by
    side. --json runs are left out: their documents are checked where they are made."""
    path = os.environ.get("VORL_E2E_RECORD")
    if not path or "--json" in command:
        return
    entry = {"test": os.environ.get("PYTEST_CURRENT_TEST") or _current_test(),
             "args": [str(a) for a in command[1 + (1 if EMULATOR else 0):]],
             "stdin": stdin, "exit": done.returncode,
             "stdout": done.stdout.decode("latin-1"), "stderr": done.stderr.decode("latin-1")}
    with open(path, "a") as log:
        log.write(json.dumps(entry) + "\n")


def _current_test():
    """The id of the unittest test method that is running (found on the call stack)."""
    frame = inspect.currentframe()
    while frame:
        case = frame.f_locals.get("self")
        if isinstance(case, unittest.TestCase):
            return case.id()
        frame = frame.f_back
    return "?"


REMINDER = ("\n___________________________________________________________________________________\n"
            "Remember to run vorlcli with -flash -saveconfig to make changes permanent\n"
            "___________________________________________________________________________________\n")

DEFAULT_USER = "admin"
DEFAULT_PASSWORD = "vorladmin"


class SimTestCase(unittest.TestCase):
    """A test case with one fresh vorlsim per test."""

    sim_options = ()

    def setUp(self):
        self.sim = Sim(*self.sim_options).start()

    def tearDown(self):
        self.sim.stop()
        shutil.rmtree(self.sim.state_dir, ignore_errors=True)

    def cli(self, *words, password=DEFAULT_PASSWORD, stdin="", user=DEFAULT_USER, **kw):
        """vorlcli -nw <sim> <user> words..., answering the password prompt."""
        return run_cli("-nw", self.sim.address, user, *words,
                       stdin=password + "\n" + stdin, **kw)

    def login_prefix(self):
        return "Connecting..Connected\nPlease Enter Password : " + "*" * len(DEFAULT_PASSWORD) + \
               "\nLogin Successful !\n"


# ---- a raw card-protocol client, for tests that look at packets rather than vorlcli ----

import struct

SIGNATURE = b"ZOR U\xaa\x5a\xa5"


def request_header(command, payload_length, checksum_ok=True):
    """The 32-byte header of a request (a wrong checksum when checksum_ok is False)."""
    header = bytearray(32)
    header[0:8] = SIGNATURE
    header[9] = 0x04
    header[10] = 0x20
    header[26] = 0x01
    struct.pack_into("<I", header, 12, payload_length)
    struct.pack_into("<H", header, 20, command)
    header[11] = (-sum(header)) & 0xFF
    if not checksum_ok:
        header[11] = (header[11] + 1) & 0xFF
    return bytes(header)


class CardConnection:
    """One TCP connection to a vorlsim, speaking raw packets. Responses are found the way the
    tools find them: a mismatching byte restarts the signature search at the next byte."""

    def __init__(self, address, port=6577, timeout=10.0):
        self.sock = socket.create_connection((address, port), timeout=timeout)
        self.skipped = 0  # bytes before the last response's signature

    def close(self):
        self.sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def _recv_exact(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise EOFError("card closed the connection")
            data += chunk
        return data

    def send(self, command, payload=b"", checksum_ok=True):
        self.sock.sendall(request_header(command, len(payload), checksum_ok) + payload)

    def receive(self):
        """Returns (status, payload, header) of the next response."""
        matched = 0
        self.skipped = 0
        while matched < 8:
            byte = self._recv_exact(1)[0]
            if byte == SIGNATURE[matched]:
                matched += 1
            else:
                self.skipped += matched + 1
                matched = 0
        header = SIGNATURE + self._recv_exact(24)
        length = struct.unpack_from("<I", header, 12)[0]
        status = struct.unpack_from("<H", header, 22)[0]
        return status, self._recv_exact(length), header

    def transact(self, command, payload=b""):
        """Sends one request; returns (status, payload) of its response."""
        self.send(command, payload)
        status, data, _ = self.receive()
        return status, data

    def login(self, user=DEFAULT_USER, password=DEFAULT_PASSWORD):
        status, challenge = self.transact(0x0001)
        if status != 0:
            return status
        digest = hashlib.md5(password.encode() + challenge[:8]).digest()
        record = user.encode().ljust(32, b"\0")[:32] + digest + bytes(24)
        return self.transact(0x0002, record)[0]


def text_fields(data, width):
    """Splits `data` into fixed-width text fields (each up to its NUL)."""
    return [data[i:i + width].split(b"\0")[0].decode("latin-1")
            for i in range(0, len(data) - width + 1, width)]


# ---- host interface (device link) ----

DEVLINK_PORT = 6578


class HostSim(Sim):
    """A vorlsim whose device link listens on the sim's own loopback address too."""

    def __init__(self, *options, **kw):
        super().__init__(*options, wait_ports=(6577, DEVLINK_PORT), **kw)
        self.options.append("--devlink-listen=" + self.address)

    def hostifc_env(self, mutex_dir=None):
        """Environment that points vorlcli -cd at this sim's device link."""
        env = {"VORL_HOSTIFC": "sim:%s:%d" % (self.address, DEVLINK_PORT)}
        if mutex_dir:
            env["VORL_MUTEX_DIR"] = mutex_dir
        return env

    def devlink_statistics(self):
        return devlink_statistics(self.address)

    def queue_mouse(self, text):
        """Queues pointer packets "KIND:BUTTONS:X:Y,..." on the device link (request 'M').
        Returns (taken, packets waiting)."""
        data = text.encode()
        with socket.create_connection((self.address, DEVLINK_PORT), timeout=10) as s:
            s.sendall(b"M" + bytes(19) + struct.pack("<II", len(data), 0) + data)
            head = _recv_exactly(s, 12)
        return head[0] == 0, struct.unpack_from("<I", head, 4)[0]


def sg_tree(root, link, *nodes):
    """Builds sysfs and /dev below `root` for the SCSI generic test double, one node per
    (number, SCSI type, kind); kind is a drive letter of vorlsim's device link (E the card,
    D a plain CD-ROM drive, C the hard disk), "E unit-attention", or "denied". Returns the
    environment that puts the programs' SG_IO backend in front of it and of `link` (a HostSim)."""
    os.makedirs(os.path.join(root, "sys/class/scsi_generic"))
    os.makedirs(os.path.join(root, "dev"))
    for number, scsi_type, kind in nodes:
        device = os.path.join(root, "sys/class/scsi_generic/sg%d/device" % number)
        os.makedirs(device)
        with open(os.path.join(device, "type"), "w") as f:
            f.write("%d\n" % scsi_type)
        with open(os.path.join(root, "dev/sg%d" % number), "w") as f:
            f.write(kind + "\n")
    return {"VORL_HOSTIFC": "", "VORL_SG_ROOT": root,
            "VORL_SG_LINK": "sim:%s:%d" % (link.address, DEVLINK_PORT)}


def devlink_statistics(address):
    """A card's device-link counters as a dict (exchanges, interleaved, heartbeat-*, logins,
    ...)."""
    with socket.create_connection((address, DEVLINK_PORT), timeout=10) as s:
        s.sendall(b"S" + bytes(27))
        head = _recv_exactly(s, 12)
        length = int.from_bytes(head[8:12], "little")
        text = _recv_exactly(s, length).decode()
    stats = {}
    for line in text.splitlines():
        key, _, value = line.rpartition(" ")
        stats[key] = int(value)
    return stats


def _recv_exactly(sock, count):
    data = b""
    while len(data) < count:
        chunk = sock.recv(count - len(data))
        if not chunk:
            raise ConnectionError("device link closed")
        data += chunk
    return data


# ---- vorlcli --json: documents on standard output, checked against the schema files ----

SCHEMA_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "schema")
_schemas = {}


def _schema_store():
    if not _schemas:
        for name in os.listdir(SCHEMA_DIR):
            if name.endswith(".schema.json"):
                with open(os.path.join(SCHEMA_DIR, name)) as f:
                    schema = json.load(f)
                _schemas[schema["$id"]] = schema
    return _schemas


def validate_document(document):
    """Checks one --json document against its group's schema (the envelope's alone for a group
    that has none) and returns it."""
    import jsonschema
    store = _schema_store()
    base = "https://vorl.invalid/schema/"
    group = document["schema"][len("vorl."):].split("/")[0].split(".")[0]
    schema = store.get(base + group + ".schema.json", store[base + "envelope.schema.json"])
    resolver = jsonschema.RefResolver(base_uri=schema["$id"], referrer=schema, store=store)
    jsonschema.Draft202012Validator(schema, resolver=resolver).validate(document)
    return document


def json_documents(result):
    """The documents of a --json run (one per line of standard output), each validated. Standard
    output must hold nothing else."""
    assert result.out.endswith("\n"), "no whole document on standard output: %r" % result
    documents = [validate_document(json.loads(line)) for line in result.out[:-1].split("\n")]
    return documents


# ---- JSON twins ----

# Commands whose data holds passwords: that is what they are asked for.
_PASSWORD_LISTINGS = ("vorl.user.listall/1", "vorl.user.getsnmp/1")


def _password_keys(value, path=""):
    """The paths of texts named like a password anywhere in `value`."""
    found = []
    if isinstance(value, dict):
        for key, member in value.items():
            if "password" in key and isinstance(member, str):
                found.append(path + "/" + key)
            found += _password_keys(member, path + "/" + key)
    elif isinstance(value, list):
        for n, item in enumerate(value):
            found += _password_keys(item, "%s/%d" % (path, n))
    return found


class JsonTwin:
    """The --json run made before a text run with the same words, input and environment, against
    a copy of the card: the card the scenario talks to never sees it. `check` holds it against
    the text run: exit statuses equal, standard output documents alone (one per command, one per
    line that ran in script mode), each valid against its schema, `ok` true only with status 0
    and false with any other, and no password in any document: neither one the run typed (the
    login's, a new account's, a PPP password, also on a script's lines) nor a member that holds
    one (a PPP password the card keeps), -user -listAll and -user -getSnmp's data excepted."""

    def __init__(self, words, result, secrets, script):
        self.words = words
        self.result = result
        self.script = script
        self.secrets = [s for s in secrets if len(s) >= 3]

    def fail(self, what, text=None):
        raise AssertionError("JSON twin of %s: %s\n%r%s" % (
            self.words, what, self.result, "\ntext run: %r" % text if text else ""))

    def check(self, text):
        r = self.result
        if r.code != text.code:
            self.fail("exit status %d, text mode %d" % (r.code, text.code), text)
        try:
            documents = json_documents(r)
        except Exception as error:  # a parse or schema error, named with the run
            self.fail("%s: %s" % (type(error).__name__, error))
        if not documents or (not self.script and len(documents) != 1):
            self.fail("%d documents" % len(documents))
        for document in documents:
            if document["ok"] and document["status"] != 0:
                self.fail("ok with status %d" % document["status"])
            shown = dict(document)
            if document["schema"] in _PASSWORD_LISTINGS:
                shown.pop("data", None)
            for secret in self.secrets:
                if json.dumps(secret)[1:-1] in json.dumps(shown):
                    self.fail("a password is in a document")
            if _password_keys(shown):
                self.fail("a document holds %s" % ", ".join(_password_keys(shown)))
        if min(documents[-1]["status"], 255) != r.code:
            self.fail("the last document's status is not the exit status")


def _command_words(args):
    """(mode word index, options before it) of vorlcli's arguments."""
    options = {}
    i = 0
    while i < len(args) and args[i] in ("--yes", "--password-file"):
        if args[i] == "--password-file" and i + 1 < len(args):
            options["password_file"] = args[i + 1]
            i += 1
        i += 1
    return i, options


def _mode(args, mode):
    """"nw", "cd" or another word: the mode word without its leading character."""
    return args[mode][1:].lower() if mode < len(args) else ""


def _secrets(args, mode, options, stdin, env):
    """The login password a run gives and the password words it names."""
    secrets = []
    words = args[mode + 3:]
    if _mode(args, mode) == "nw":
        if env.get("VORL_PASSWORD"):
            secrets.append(env["VORL_PASSWORD"])
        elif "password_file" in options:
            try:
                # Only a regular file: a FIFO would wait for a writer (vorlcli refuses it).
                if stat.S_ISREG(os.stat(options["password_file"]).st_mode):
                    with open(options["password_file"], errors="replace") as f:
                        secrets.append(f.readline().rstrip("\r\n"))
            except OSError:
                pass
        else:
            secrets.append(stdin.split("\n", 1)[0])
    else:
        words = args[mode + 1:]
    lines = [words]
    if len(words) >= 2 and words[0][1:].lower() == "script":
        lines = _script_lines(words[1])
    for line in lines:
        secrets += _typed_passwords(line)
    if len(words) >= 4 and words[0].lower() == "-user" and words[1].lower() == "-passwd" and \
            words[3] == "-":
        # The new password is the next line of standard input, after a typed login password.
        lines = stdin.split("\n")
        typed = _mode(args, mode) == "nw" and not env.get("VORL_PASSWORD") and \
            "password_file" not in options
        secrets += lines[1:2] if typed else lines[:1]
    return secrets


def _typed_passwords(words):
    """The passwords among one command's words: a new account's, an alert recipient's PPP
    password."""
    lowered = [w.lower() for w in words]
    if len(words) >= 4 and lowered[0] == "-user" and lowered[1] == "-add":
        return [words[3]]
    if len(words) >= 4 and lowered[0] == "-user" and lowered[1] == "-passwd" and words[3] != "-":
        return [words[3]]
    if len(words) == 11 and lowered[0] == "-pef" and lowered[1] == "-arinfoset":
        return [words[9]]
    return []


def _script_lines(path):
    """The words of each line of a script file (none when it cannot be read)."""
    try:
        with open(path, "rb") as f:
            text = f.read().decode("latin-1")
    except OSError:
        return []
    return [[w for w in re.split(r"[ ,;!\r\n]+", line) if w] for line in text.split("\n")]


def _peer_address(args, mode, env):
    """(address, port) of the card a run names: -nw ADDRESS, or the device link of -cd."""
    if _mode(args, mode) == "nw" and mode + 1 < len(args):
        return args[mode + 1], 6577
    if _mode(args, mode) == "cd":
        link = env.get("VORL_HOSTIFC") or env.get("VORL_SG_LINK") or ""
        host, _, port = link[4:].rpartition(":")
        if link.startswith("sim:") and port.isdigit():
            return host, int(port)
    return None, None


def _listening(address, port):
    try:
        with socket.create_connection((address, port), timeout=1):
            return True
    except OSError:
        return False


def _run_json_twin(args, stdin, timeout, env):
    """Makes the JSON twin of a run: against a twin card when the run names a vorlsim of this
    process, against the same address when nothing listens there (a dead peer), the same words
    when the run names no card. Any other peer cannot be copied: the caller must say why the run
    has no twin."""
    mode, options = _command_words(args)
    address, port = _peer_address(args, mode, env)
    twin_args, twin_env = list(args), dict(env)
    sim = _running_sims.get(address)
    if sim:
        # The same words and input on a card in the same state were checked already.
        key = (tuple(args[:mode + 1] + args[mode + 2:]), stdin,
               tuple(sorted((k, v) for k, v in env.items() if os.environ.get(k) != v)))
        state = _state_fingerprint(sim.state_dir)
        if sim.twinned.get(key) == state:
            return None
        card = sim.twin_card()
        if card is None:
            raise AssertionError("run_cli: a fleet cannot be copied for the JSON twin; pass "
                                 "json_twin='why' to run without one")
        if port == 6577:
            twin_args[mode + 1] = card.address
        else:
            link = "sim:%s:%d" % (card.address, port)
            for key in ("VORL_HOSTIFC", "VORL_SG_LINK"):
                if twin_env.get(key, "").startswith("sim:"):
                    twin_env[key] = link
    elif address and _listening(address, port):
        raise AssertionError("run_cli: %s:%d is no vorlsim of this test, so the JSON twin cannot "
                             "run on a copy of it; pass json_twin='why' to run without one"
                             % (address, port))
    done = subprocess.run([VORLCLI, "--json"] + twin_args, input=stdin.encode(),
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout,
                          env=twin_env)
    result = Result(done.returncode, done.stdout.decode("utf-8", errors="replace"),
                    done.stderr.decode("latin-1"))
    words = args[mode + (3 if _mode(args, mode) == "nw" else 1):]
    script = bool(words) and words[0][1:].lower() == "script"
    if sim:
        sim.twinned[key] = state
    return JsonTwin(args[mode:], result, _secrets(args, mode, options, stdin, env), script)
