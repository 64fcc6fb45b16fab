"""The Ansible collection vorl.card as administrators run it: built and installed with
ansible-galaxy, its fleet playbook run with ansible-playbook (forks 10) against ten cards of one
vorlsim, the cards read back with vorlcli --json. A second run changes nothing; a --check run
against fresh cards changes nothing on them; a stopped card and a refused login fail their own
hosts only. vorlcli runs through a shim that records its command lines, so that the test sees
that no password was ever on one."""

import json
import os
import re
import shutil
import stat
import subprocess
import tempfile
import unittest

import yaml

from test_cli_flash import default_image, with_os_version
from vorltest import DEFAULT_PASSWORD, VORLCLI, VORLSIM, Sim, end_process, fresh_addresses, \
    run_cli, wait_for_port

HERE = os.path.dirname(os.path.abspath(__file__))
COLLECTION = os.path.join(HERE, "..", "..", "ansible", "ansible_collections", "vorl", "card")
PLAYBOOK = os.path.join(COLLECTION, "tests", "playbooks", "fleet.yml")
CARDS = 10
OPERATOR_PASSWORD = "operator-Pw1"
SNMP_PASSWORD = "snmp-Pw-22"
NEW_OS_VERSION = 0x2105
FIRMWARE_CARDS = ("card01", "card02")  # card02 takes the complete flash
POWER_CARDS = ("card03",)
# What the test reads back from each card (IMAGE: the playbook's firmware image).
READ_BACK = (["-user", "-listAll"], ["-user", "-getSnmp"], ["-net", "-GetConfig"],
             ["-HB", "-GetHB"], ["-GetServerInfo"], ["-Gen", "-GetName"],
             ["-Gen", "-GetSmtpCfg"], ["-ASRCfg", "-get"], ["-sel", "-listAll"],
             ["-flash", "-compare", "IMAGE"])


def mac_of(n):
    return "02:00:00:a5:00:%02x" % n


RESULT = re.compile(r"^(ok|changed|fatal|skipping): \[([^\]]+)\](?:: FAILED!)? => (\{.*\})$")
RECAP = re.compile(r"^(\S+)\s+: ok=(\d+)\s+changed=(\d+)\s+unreachable=(\d+)\s+failed=(\d+)")
TASK = re.compile(r"^(?:TASK|RUNNING HANDLER) \[(.*)\] \**$")


def parse_output(text):
    """ansible-playbook -v's output (one-line JSON results): the recap as
    {host: {changed, unreachable, failures}} and the results as {task name: {host: result}}."""
    recap, results, task = {}, {}, None
    for line in text.splitlines():
        match = TASK.match(line)
        if match:
            task = match.group(1)
            continue
        match = RESULT.match(line)
        if match and task:
            results.setdefault(task, {})[match.group(2)] = json.loads(match.group(3))
            continue
        match = RECAP.match(line)
        if match:
            recap[match.group(1)] = dict(changed=int(match.group(3)),
                                         unreachable=int(match.group(4)),
                                         failures=int(match.group(5)))
    return recap, results


class Fleet:
    """Ten cards served by one vorlsim, each with a state directory of its own."""

    def __init__(self, root):
        self.addresses = fresh_addresses(CARDS)
        self.state_dir = tempfile.mkdtemp(prefix="fleet-", dir=root)
        self.process = subprocess.Popen(
            [VORLSIM, "--listen", self.addresses[0], "--cards", str(CARDS), "--devlink-port=0",
             "--state-dir", self.state_dir], stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for address in self.addresses:
            if not wait_for_port(address, 6577):
                self.stop()
                raise RuntimeError("vorlsim did not serve " + address)

    def stop(self):
        end_process(self.process)


class AnsibleFleetTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="vorl-ansible-")
        cls.collections = os.path.join(cls.root, "collections")
        built = subprocess.run(["ansible-galaxy", "collection", "build", COLLECTION,
                                "--output-path", cls.root], capture_output=True, text=True)
        assert built.returncode == 0, built.stdout + built.stderr
        tarball = os.path.join(cls.root, "vorl-card-1.0.0.tar.gz")
        installed = subprocess.run(["ansible-galaxy", "collection", "install", "--offline",
                                    tarball, "-p", cls.collections],
                                   capture_output=True, text=True)
        assert installed.returncode == 0, installed.stdout + installed.stderr
        cls.argv_log = os.path.join(cls.root, "vorlcli-argv.log")
        cls.shim = os.path.join(cls.root, "vorlcli-shim")
        with open(cls.shim, "w") as shim:
            shim.write('#!/bin/sh\nprintf "%%s\\n" "$*" >> "%s"\nexec "%s" "$@"\n'
                       % (cls.argv_log, os.path.abspath(VORLCLI)))
        os.chmod(cls.shim, stat.S_IRWXU)
        cls.image = os.path.join(cls.root, "newer.ima")
        with open(cls.image, "wb") as f:
            f.write(with_os_version(default_image(os.path.join(cls.root, "default.ima")),
                                    NEW_OS_VERSION))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def inventory(self, fleet, extra_hosts=None):
        hosts = {}
        for n, address in enumerate(fleet.addresses, 1):
            hosts["card%02d" % n] = {"card": address, "card_mac": mac_of(n)}
        hosts["card02"]["vorl_firmware_mode"] = "complete"
        hosts.update(extra_hosts or {})
        inventory = {"all": {
            "vars": {"ansible_python_interpreter": "/usr/bin/python3", "vorlcli": self.shim,
                     "vorl_admin_password": DEFAULT_PASSWORD,
                     "vorl_operator_password": OPERATOR_PASSWORD,
                     "vorl_snmp_password": SNMP_PASSWORD, "vorl_image": self.image},
            "children": {
                "cards": {"hosts": hosts},
                "firmware_cards": {"hosts": {h: None for h in FIRMWARE_CARDS}},
                "power_cards": {"hosts": {h: None for h in POWER_CARDS}}}}}
        path = tempfile.mktemp(suffix=".yml", dir=self.root)
        with open(path, "w") as f:
            yaml.safe_dump(inventory, f)
        return path

    def play(self, inventory, *options):
        """Runs the fleet playbook; returns the recap's counts per host, the results per task
        name and host, and the finished process."""
        env = dict(os.environ, ANSIBLE_FORKS="10", ANSIBLE_COLLECTIONS_PATH=self.collections,
                   ANSIBLE_CALLBACK_RESULT_FORMAT="json", ANSIBLE_CALLBACK_FORMAT_PRETTY="False",
                   ANSIBLE_LOCAL_TEMP=os.path.join(self.root, "tmp"),
                   ANSIBLE_REMOTE_TEMP=os.path.join(self.root, "tmp"),
                   ANSIBLE_RETRY_FILES_ENABLED="False", ANSIBLE_NOCOLOR="1",
                   ANSIBLE_PIPELINING="True")
        env.pop("VORL_PASSWORD", None)
        done = subprocess.run(["ansible-playbook", "-v", "-i", inventory, PLAYBOOK] +
                              list(options), capture_output=True, text=True, env=env,
                              timeout=600)
        recap, results = parse_output(done.stdout)
        self.assertTrue(recap, done.stdout[-4000:] + done.stderr[-4000:])
        return recap, results, done

    def read_card(self, address):
        """The card's state as vorlcli --json reads it, in one session: {command: data}."""
        script = os.path.join(self.root, "read-%s.scr" % address)
        with open(script, "w") as f:
            f.write("".join(" ".join(words) + "\n" for words in READ_BACK).replace(
                "IMAGE", self.image))
        result = run_cli("--json", "-nw", address, "admin", "-script", script,
                         env={"VORL_PASSWORD": DEFAULT_PASSWORD})
        documents = [json.loads(line) for line in result.out.splitlines()]
        self.assertEqual(len(documents), len(READ_BACK), result)
        self.assertTrue(all(d["ok"] for d in documents), result)
        return {" ".join(words): d["data"] for words, d in zip(READ_BACK, documents)}

    def assertCardIsAsAsked(self, host, address, n):
        card = self.read_card(address)
        self.assertIn(("operator", OPERATOR_PASSWORD),
                      [(u["name"], u["password"]) for u in card["-user -listAll"]["users"]])
        self.assertEqual([(u["name"], u["auth_protocol"], u["priv_protocol"])
                          for u in card["-user -getSnmp"]["snmp_users"]],
                         [("monitor", "sha", "des")])
        network = card["-net -GetConfig"]
        self.assertEqual((network["method"], network["address"], network["netmask"],
                          network["gateway"], network["mac_address"]),
                         ("static", address, "255.0.0.0", "127.0.0.254", mac_of(n)))
        self.assertEqual(card["-HB -GetHB"]["interval_seconds"], 300)
        server = card["-GetServerInfo"]
        self.assertEqual((server["name"], server["location"], server["os"]),
                         (host, "rack 12", "Debian 12"))
        self.assertEqual(card["-Gen -GetName"]["name"], host)
        self.assertEqual([(s["address"], s["mail_address"])
                          for s in card["-Gen -GetSmtpCfg"]["smtp_servers"]],
                         [("127.0.0.25", "vorl-alerts@example.com"), ("", "")])
        asr = card["-ASRCfg -get"]
        self.assertEqual((asr["state"], asr["method"], asr["delay_seconds"]),
                         ("enabled", "power_cycle", 600))
        os_module = next(m for m in card["-flash -compare IMAGE"]["modules"]
                         if m["name"] == "os")
        self.assertEqual(os_module["differs"], host not in FIRMWARE_CARDS, host)
        powered = [e for e in card["-sel -listAll"]["records"]
                   if e["module"] == 3 and e["event"] == 4]
        self.assertEqual(len(powered), 1 if host in POWER_CARDS else 0, host)

    def test_check_run_first_run_and_second_run_over_a_fleet(self):
        fleet = Fleet(self.root)
        self.addCleanup(fleet.stop)
        stopped = Sim().start()
        stopped.stop()
        hosts = ["card%02d" % n for n in range(1, CARDS + 1)]

        # --check against fresh cards changes nothing on them; a dead card and a refused
        # login fail their own hosts only.
        inventory = self.inventory(fleet, {
            "stopped": {"card": stopped.address, "card_mac": mac_of(99)},
            "refused": {"card": fleet.addresses[0], "card_mac": mac_of(1),
                        "vorl_admin_password": "not-the-password"}})
        fresh = [self.read_card(address) for address in fleet.addresses]
        stats, results, done = self.play(inventory, "--check", "-e", "vorl_power_action=cycle")
        self.assertEqual(sorted(h for h, c in stats.items() if c["failures"]),
                         ["refused", "stopped"], done.stdout[-4000:])
        for host in hosts:
            self.assertEqual(stats[host]["unreachable"], 0, host)
            self.assertGreater(stats[host]["changed"], 0, host)
        info = results["Facts before"]
        self.assertEqual((info["stopped"]["stage"], info["refused"]["stage"]),
                         ("connect", "login"))
        self.assertEqual(info["refused"]["msg"], "Invalid Username/Password!")
        self.assertEqual(results["Power action"]["card03"]["power"]["performed"], False)
        self.assertEqual([self.read_card(address) for address in fleet.addresses], fresh)

        # The first run brings every card where the playbook asks.
        inventory = self.inventory(fleet)
        stats, results, done = self.play(inventory, "-e", "vorl_power_action=cycle")
        self.assertEqual(sorted(stats), hosts)
        for host, counts in stats.items():
            self.assertEqual((counts["failures"], counts["unreachable"]), (0, 0),
                             done.stdout[-4000:])
        firmware = results["Firmware where the card differs from the image"]
        for host in FIRMWARE_CARDS:
            self.assertEqual((firmware[host]["versions_before"]["os"],
                              firmware[host]["versions_after"]["os"]), ("1.2.3", "2.1.5"))
        self.assertEqual(firmware["card01"]["flashed"], ["os"])
        for n, address in enumerate(fleet.addresses, 1):
            self.assertCardIsAsAsked("card%02d" % n, address, n)

        # The second run finds nothing to do.
        stats, results, done = self.play(inventory)
        for host, counts in stats.items():
            self.assertEqual((counts["changed"], counts["failures"]), (0, 0),
                             host + "\n" + done.stdout[-4000:])
        self.assertNoPasswordOnACommandLine(done.stdout + done.stderr)

    @staticmethod
    def task_results(results, name):
        if name not in results:
            raise AssertionError("no task " + name)
        return results[name]

    def assertNoPasswordOnACommandLine(self, output):
        with open(self.argv_log) as log:
            lines = log.read()
        self.assertIn("-user -listAll", lines)
        text = output
        for secret in (OPERATOR_PASSWORD, SNMP_PASSWORD, DEFAULT_PASSWORD):
            self.assertNotIn(secret, lines)
            self.assertNotIn(secret, text)


if __name__ == "__main__":
    unittest.main()
