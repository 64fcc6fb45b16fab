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
NEW_PASSWORD = "changed-Pw-77"
SNMP_PASSWORD = "snmp-Pw-22"
NEW_OS_VERSION = 0x2105
FIRMWARE_CARDS = ("card01", "card02")  # card02 takes the complete flash
POWER_CARDS = ("card03",)
# What the test reads back from each card (IMAGE: the playbook's firmware image).
READ_BACK = (["-user", "-listAll"], ["-user", "-getSnmp"], ["-net", "-GetConfig"],
             ["-HB", "-GetHB"], ["-GetServerInfo"], ["-Gen", "-GetName"],
             ["-Gen", "-GetSmtpCfg"], ["-ASRCfg", "-get"], ["-sel", "-listAll"],
             ["-flash", "-compare", "IMAGE"])


# Password changes against faulty cards, checks made before any card is contacted, and check
# mode of the modules that only act.
_CONNECTION = {"card": "{{ card }}", "user": "admin",
               "password": "{{ vorl_password | default('%s') }}" % DEFAULT_PASSWORD,
               "vorlcli_path": "{{ vorlcli }}", "timeout": 60}
FAULT_PLAYBOOK = [
    {"name": "Password changes", "hosts": "passwords", "gather_facts": False,
     "connection": "local", "module_defaults": {"group/vorl.card.vorl": _CONNECTION},
     "tasks": [{"name": "New password", "vorl.card.vorl_user": {
         "name": "{{ target }}", "account_password": NEW_PASSWORD, "save": True},
         "ignore_errors": True}]},
    {"name": "Refused before the card is contacted", "hosts": "validation",
     "gather_facts": False, "connection": "local",
     "module_defaults": {"group/vorl.card.vorl": _CONNECTION},
     "tasks": [
         {"name": "Address without a method", "ignore_errors": True,
          "vorl.card.vorl_network": {"address": "192.0.2.10"}},
         {"name": "Netmask with a hole", "ignore_errors": True,
          "vorl.card.vorl_network": {"method": "static", "address": "192.0.2.10",
                                     "netmask": "255.0.255.0", "gateway": "192.0.2.1"}},
         {"name": "Mail server too long", "ignore_errors": True,
          "vorl.card.vorl_settings": {"smtp_servers": [
              {"server": "192.168.100.1000", "mail_id": "a@example.com"}]}},
         {"name": "Server name too long", "ignore_errors": True,
          "vorl.card.vorl_settings": {"server_info": {"name": "n" * 40}}}]},
    {"name": "Check mode reaches the card", "hosts": "probes", "gather_facts": False,
     "connection": "local", "check_mode": True,
     "module_defaults": {"group/vorl.card.vorl": _CONNECTION},
     "tasks": [
         {"name": "Power in check mode", "ignore_errors": True,
          "vorl.card.vorl_power": {"state": "cycle"}},
         {"name": "Save in check mode", "ignore_errors": True,
          "vorl.card.vorl_save_config": {}}]},
]


def mac_of(n):
    return "02:00:00:a5:00:%02x" % n


# The collection README's example files (a YAML block after a line naming its file) and its
# shell blocks.
README_FILE = re.compile(r"\(`([^`]+\.yml)`[^)\n]*\)[^\n]*:\n\n```yaml\n(.*?)```", re.S)
README_SH = re.compile(r"```sh\n(.*?)```", re.S)
RESULT = re.compile(r"^(ok|changed|fatal|skipping): \[([^\]]+)\](?:: FAILED!)? => (\{.*\})$")
RECAP = re.compile(r"^(\S+)\s+: ok=(\d+)\s+changed=(\d+)\s+unreachable=(\d+)\s+failed=(\d+)")
TASK = re.compile(r"^(?:TASK|RUNNING HANDLER) \[(.*)\] \**$")


def parse_output(text):
    """ansible-playbook -v's output (one-line JSON results): the recap as
    {host: {changed, unreachable, failures}} and the results as {task name: {host: result}}.
    With --diff, the diff Ansible prints just before a result is that result's "diff_text"."""
    recap, results, task, pending = {}, {}, None, []
    for line in text.splitlines():
        match = TASK.match(line)
        if match:
            task, pending = match.group(1), []
            continue
        match = RESULT.match(line)
        if match and task:
            result = json.loads(match.group(3))
            result["outcome"] = match.group(1)  # ok, changed, fatal or skipping
            starts = [n for n, text in enumerate(pending) if text.startswith("--- before")]
            if starts:
                result["diff_text"] = "\n".join(pending[starts[0]:])
            results.setdefault(task, {})[match.group(2)] = result
            pending = []
            continue
        pending.append(line)
        match = RECAP.match(line)
        if match:
            recap[match.group(1)] = dict(changed=int(match.group(3)),
                                         unreachable=int(match.group(4)),
                                         failures=int(match.group(5)))
    return recap, results


class Fleet:
    """Ten cards (or `cards`) served by one vorlsim, each with a state directory of its own."""

    def __init__(self, root, cards=CARDS):
        self.addresses = fresh_addresses(cards)
        self.state_dir = tempfile.mkdtemp(prefix="fleet-", dir=root)
        self.process = subprocess.Popen(
            [VORLSIM, "--listen", self.addresses[0], "--cards", str(cards), "--devlink-port=0",
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

    def ansible_env(self):
        env = dict(os.environ, ANSIBLE_FORKS="10", ANSIBLE_COLLECTIONS_PATH=self.collections,
                   ANSIBLE_CALLBACK_RESULT_FORMAT="json", ANSIBLE_CALLBACK_FORMAT_PRETTY="False",
                   ANSIBLE_LOCAL_TEMP=os.path.join(self.root, "tmp"),
                   ANSIBLE_REMOTE_TEMP=os.path.join(self.root, "tmp"),
                   ANSIBLE_RETRY_FILES_ENABLED="False", ANSIBLE_NOCOLOR="1",
                   ANSIBLE_PIPELINING="True")
        env.pop("VORL_PASSWORD", None)
        return env

    def play(self, inventory, *options, playbook=PLAYBOOK, env=None):
        """Runs the fleet playbook (or `playbook`, with `env` added to the environment); returns
        the recap's counts per host, the results per task name and host, and the finished
        process."""
        env = dict(self.ansible_env(), **(env or {}))
        done = subprocess.run(["ansible-playbook", "-v", "-i", inventory, playbook] +
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
        stats, results, done = self.play(inventory, "--check", "--diff", "-e",
                                         "vorl_power_action=cycle")
        self.assertEqual(sorted(h for h, c in stats.items() if c["failures"]),
                         ["refused", "stopped"], done.stdout[-4000:])
        for host in hosts:
            self.assertEqual(stats[host]["unreachable"], 0, host)
            self.assertGreater(stats[host]["changed"], 0, host)
        info = results["Facts before"]
        self.assertEqual((info["stopped"]["stage"], info["refused"]["stage"]),
                         ("connect", "login"))
        self.assertTrue(info["refused"]["msg"].startswith(
            "card %s, stage login: Invalid Username/Password!. Hint: check user and password"
            % fleet.addresses[0]), info["refused"]["msg"])
        self.assertTrue(info["stopped"]["msg"].startswith(
            "card %s, stage connect: " % stopped.address), info["stopped"]["msg"])
        self.assertEqual(results["Power action"]["card03"]["power"]["performed"], False)
        self.assertEqual([self.read_card(address) for address in fleet.addresses], fresh)
        self.assertDiffs(results, fleet.addresses[0])
        self.assertNoSecretIn(done.stdout + done.stderr)

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

    def test_password_changes_that_fail_halfway_lose_no_account(self):
        """vorl_user against cards that drop the connection or refuse at one step of the
        change, for another account (bob) and for the account the module logs in with
        (admin); then the checks made before any card is contacted, and check mode of
        vorl_power and vorl_save_config against a wrong password and a dead card."""
        # The first 0x0500 of a change of admin adds the backup account, the second admin.
        faults = {
            "bob_drop_after_delete": ("bob", ["--half-reply=0x0501", "--fault-on=0x0501:1"]),
            "bob_add_refused": ("bob", ["--force-status=0x0500:18", "--fault-on=0x0500:1"]),
            "bob_drop_after_add": ("bob", ["--half-reply=0x0500", "--fault-on=0x0500:1"]),
            "admin_drop_after_delete": ("admin", ["--half-reply=0x0501", "--fault-on=0x0501:1"]),
            "admin_add_refused": ("admin", ["--force-status=0x0500:18", "--fault-on=0x0500:2"]),
            "admin_drop_after_add": ("admin", ["--half-reply=0x0500", "--fault-on=0x0500:2"]),
        }
        state = tempfile.mkdtemp(prefix="bob-", dir=self.root)
        with Sim(state_dir=state) as sim:
            r = run_cli("-nw", sim.address, "admin", "-user", "-add", "bob", "bob-old-pw",
                        stdin=DEFAULT_PASSWORD + "\n")
            self.assertEqual(r.code, 0, r)
        cards = {}
        for host, (_, options) in faults.items():
            copy = tempfile.mkdtemp(prefix=host, dir=self.root)
            shutil.copytree(state, copy, dirs_exist_ok=True)
            cards[host] = Sim(*options, state_dir=copy).start()
            self.addCleanup(cards[host].stop)
        dead = Sim().start()
        dead.stop()
        # Answers the login, never the read of the heartbeat interval (vorlcli's one-minute
        # wait for an answer is shortened for this run).
        silent = Sim("--no-reply=0x0A00").start()
        self.addCleanup(silent.stop)
        hosts = dict((host, {"card": cards[host].address, "target": target})
                     for host, (target, _) in faults.items())
        inventory = self.write_yaml({"all": {
            "vars": {"ansible_python_interpreter": "/usr/bin/python3", "vorlcli": self.shim},
            "children": {
                "passwords": {"hosts": hosts},
                "validation": {"hosts": {"unchecked": {"card": dead.address}}},
                "probes": {"hosts": {
                    "wrong_password": {"card": cards["bob_add_refused"].address,
                                       "vorl_password": "not-the-password"},
                    "dead_card": {"card": dead.address},
                    "silent_card": {"card": silent.address}}}}}})
        playbook = self.write_yaml(FAULT_PLAYBOOK)
        stats, results, done = self.play(inventory, playbook=playbook,
                                         env={"VORL_TEST_WAIT_LIMIT_MS": "2000"})
        self.assertNoSecretIn(done.stdout + done.stderr)

        change = results["New password"]
        restored = "the old account was put back: %s has its old password"
        for host, (target, _) in faults.items():
            result = change[host]
            if host.endswith("drop_after_add"):
                self.assertEqual((result["outcome"], result["changed"]), ("changed", True), host)
                self.assertTrue(result["saved"], host)  # as admin, with the new password
            else:
                self.assertEqual((result["outcome"], result["changed"], result["stage"],
                                  result["account"]), ("fatal", False, "command", "old"), host)
                self.assertIn("card %s, stage command: " % cards[host].address, result["msg"])
                self.assertIn(restored % target, result["msg"])
            new = host.endswith("drop_after_add")
            password = NEW_PASSWORD if new and target == "admin" else DEFAULT_PASSWORD
            users = self.accounts(cards[host].address, password)
            expected = {"admin": DEFAULT_PASSWORD, "bob": "bob-old-pw"}
            expected[target] = NEW_PASSWORD if new else expected[target]
            self.assertEqual(users, expected, host)  # and no backup account left

        refusals = dict((task, results[task]["unchecked"]["msg"]) for task in (
            "Address without a method", "Netmask with a hole", "Mail server too long",
            "Server name too long"))
        self.assertEqual(refusals, {
            "Address without a method": "address is only for method: static (without a method "
                                        "the address settings are left as they are)",
            "Netmask with a hole": "netmask must have its one bits first, like 255.255.255.0: "
                                   "255.0.255.0",
            "Mail server too long": "smtp_servers[1].server is 16 characters long; the card "
                                    "keeps at most 15",
            "Server name too long": "server_info.name is 40 characters long; the card keeps at "
                                    "most 32"})
        for task in ("Power in check mode", "Save in check mode"):
            probed = results[task]
            self.assertEqual([probed[host]["stage"] for host in ("wrong_password", "dead_card",
                                                                  "silent_card")],
                             ["login", "connect", "command"], task)
            self.assertIn("card %s, stage connect" % dead.address, probed["dead_card"]["msg"])
            self.assertEqual(probed["silent_card"]["status"], 33)
            self.assertIn("card %s, stage command: " % silent.address,
                          probed["silent_card"]["msg"])
            self.assertIn("the card stopped answering or dropped the connection during the "
                          "command", probed["silent_card"]["msg"])

    def test_the_readme_example_as_printed_with_vault_and_with_the_environment(self):
        """The collection README's inventory, playbook and secrets files, taken from the README
        (only the card addresses changed to simulated cards), run with the README's own
        ansible-playbook command lines: the Vault route first, then the environment route,
        which then finds nothing to change."""
        with open(os.path.join(COLLECTION, "README.md")) as f:
            readme = f.read()
        files = dict(README_FILE.findall(readme))
        commands = [line.split("#")[0].strip() for block in README_SH.findall(readme)
                    for line in block.splitlines() if line.startswith("ansible-playbook")]
        inventory = yaml.safe_load(files["inventory.yml"])
        hosts = inventory["all"]["children"]["cards"]["hosts"]
        fleet = Fleet(self.root, len(hosts))
        self.addCleanup(fleet.stop)
        text = files["inventory.yml"]
        for host, address in zip(hosts.values(), fleet.addresses):
            text = text.replace("card: %s," % host["card"], "card: %s," % address)
        secrets = {"the-admin-password": DEFAULT_PASSWORD,
                   "the-operator-password": OPERATOR_PASSWORD,
                   "the-snmp-password": SNMP_PASSWORD}
        home = tempfile.mkdtemp(prefix="home-", dir=self.root)
        bin_dir = os.path.join(home, "bin")
        os.makedirs(bin_dir)
        shutil.copy(self.shim, os.path.join(bin_dir, "vorlcli"))
        env = dict(self.ansible_env(), HOME=home, PATH=bin_dir + os.pathsep + os.environ["PATH"],
                   ANSIBLE_PYTHON_INTERPRETER="/usr/bin/python3")

        def project(route):
            """A fresh folder as the README lays it out, with the route's secrets file."""
            folder = tempfile.mkdtemp(prefix=route, dir=home)
            os.makedirs(os.path.join(folder, "group_vars", "all"))
            os.makedirs(os.path.join(folder, "files"))
            shutil.copy(self.image, os.path.join(folder, "files", "vorl-2.5.0.ima"))
            for name, content in (("inventory.yml", text), ("vorl.yml", files["vorl.yml"])):
                with open(os.path.join(folder, name), "w") as f:
                    f.write(content)
            return folder

        def run(folder, command, extra_env):
            done = subprocess.run(["bash", "-c", command], cwd=folder, capture_output=True,
                                  text=True, env=dict(env, **extra_env), timeout=900)
            self.assertNoSecretIn(done.stdout + done.stderr)
            recap = parse_output(done.stdout)[0]
            self.assertEqual(sorted(recap), sorted(hosts), done.stdout[-3000:] + done.stderr)
            for host, counts in recap.items():
                self.assertEqual((counts["failures"], counts["unreachable"]), (0, 0),
                                 done.stdout[-4000:])
            return recap

        # Ansible Vault: the README's secrets file, encrypted, and its unattended command.
        vault = project("vault-")
        vault_file = os.path.join(vault, "group_vars", "all", "vault.yml")
        content = files["group_vars/all/vault.yml"]
        for placeholder, secret in secrets.items():
            content = content.replace(placeholder, secret)
        with open(vault_file, "w") as f:
            f.write(content)
        with open(os.path.join(home, ".vorl-vault-pass"), "w") as f:
            f.write("vault-secret-1\n")
        encrypted = subprocess.run(["ansible-vault", "encrypt", "--vault-password-file",
                                    os.path.join(home, ".vorl-vault-pass"), vault_file],
                                   capture_output=True, text=True, env=env)
        self.assertEqual(encrypted.returncode, 0, encrypted.stderr)
        command = next(c for c in commands if "--vault-password-file" in c)
        recap = run(vault, command, {})
        self.assertTrue(all(counts["changed"] > 0 for counts in recap.values()), recap)
        for host, address in zip(hosts, fleet.addresses):
            card = self.read_card(address)
            self.assertIn(("operator", OPERATOR_PASSWORD),
                          [(u["name"], u["password"]) for u in card["-user -listAll"]["users"]])
            self.assertEqual(card["-HB -GetHB"]["interval_seconds"], 300)
            self.assertEqual(card["-Gen -GetName"]["name"], host)

        # The environment: the README's env.yml, the variables it names, its real-run command.
        plain = project("env-")
        with open(os.path.join(plain, "group_vars", "all", "env.yml"), "w") as f:
            f.write(files["group_vars/all/env.yml"])
        command = next(c for c in commands if c.endswith("-f 20") and "vault" not in c)
        recap = run(plain, command, {"VORL_PASSWORD": DEFAULT_PASSWORD,
                                     "VORL_OPERATOR_PASSWORD": OPERATOR_PASSWORD,
                                     "VORL_SNMP_PASSWORD": SNMP_PASSWORD})
        self.assertEqual([counts["changed"] for counts in recap.values()], [0] * len(hosts))

    def accounts(self, address, password):
        r = run_cli("--json", "-nw", address, "admin", "-user", "-listAll",
                    env={"VORL_PASSWORD": password})
        self.assertEqual(r.code, 0, r)
        return dict((u["name"], u["password"]) for u in json.loads(r.out)["data"]["users"])

    def write_yaml(self, content):
        path = tempfile.mktemp(suffix=".yml", dir=self.root)
        with open(path, "w") as f:
            yaml.safe_dump(content, f, sort_keys=False)
        return path

    def assertDiffs(self, results, address):
        """What --check --diff showed for card01: what would change, and no password."""
        def lines(task, sign):
            text = results[task]["card01"].get("diff_text", "")
            self.assertTrue(text, "no diff for " + task)
            return [line[1:].strip().rstrip(",") for line in text.splitlines()
                    if line.startswith(sign) and not line.startswith(sign * 3)]
        self.assertIn('"present": false', lines("Operator account", "-"))
        self.assertIn('"password": "******** (new)"', lines("Operator account", "+"))
        self.assertIn('"address": "%s"' % address,
                      lines("Static address and MAC address", "+"))
        self.assertIn('"mac_address": "%s"' % mac_of(1),
                      lines("Static address and MAC address", "+"))
        self.assertIn('"heartbeat_interval": 240', lines("General settings", "-"))
        self.assertIn('"heartbeat_interval": 300', lines("General settings", "+"))
        self.assertIn('"action": "power_cycle"', results["Power action"]["card03"]["diff_text"])
        # Unchanged settings are context, not changes.
        self.assertNotIn('"heartbeat_interval": 300', lines("General settings", "-"))

    def assertNoSecretIn(self, text):
        for secret in (OPERATOR_PASSWORD, SNMP_PASSWORD, DEFAULT_PASSWORD, NEW_PASSWORD):
            self.assertNotIn(secret, text)

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
