"""vorl_redfish with the Redfish clients administrators use, from Debian's packages, against a
fleet of three simulated cards; each client works on a card of its own and the cards' state is
checked afterwards from the card's side (its login, its state files, its event log).

- redfishtool: lists and reads Systems, Managers and Chassis, resets a system, reads the event
  log, changes the password of a card's account and of one of the service's own accounts.
- sushy (OpenStack Ironic's library): logs in with a session, reads and changes the system's
  power, reads the manager and the chassis, logs out.
- Ansible's community.general modules: redfish_info (inventory, system, manager, chassis, logs,
  accounts), redfish_command (power, users, clear logs) and redfish_config (the card's DHCP, the
  session timeout); a --check run changes nothing, a second run of the same play changes
  nothing."""

import json
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from redfishtest import ACCOUNTS, VORL_REDFISH, Fleet, Redfish
from vorltest import CardConnection

HAVE_CLIENTS = bool(VORL_REDFISH)


def have_sushy():
    try:
        import sushy  # noqa: F401
        return True
    except ImportError:
        return False


def have_redfish_modules():
    """community.general's Redfish modules (Debian's ansible package) where ansible-doc sees
    them."""
    if not shutil.which("ansible-doc"):
        return False
    return subprocess.run(["ansible-doc", "-t", "module", "community.general.redfish_info"],
                          capture_output=True).returncode == 0


def setUpModule():
    global FLEET, SERVICE
    if not HAVE_CLIENTS:
        return
    FLEET = Fleet(3).start()
    SERVICE = Redfish([("c%d" % i, a) for i, a in enumerate(FLEET.addresses, 1)])
    SERVICE.start()


def tearDownModule():
    if HAVE_CLIENTS:
        SERVICE.__exit__()
        FLEET.__exit__()


def card_settings(address, name):
    """One of vorlsim's state files of a card, as key=value pairs (none before the card first
    saved that group)."""
    try:
        with open(FLEET.card_file(address, name)) as f:
            return dict(line.strip().split("=", 1) for line in f if "=" in line)
    except FileNotFoundError:
        return {}


def card_accepts(address, user, password):
    with CardConnection(address) as card:
        return card.login(user, password) == 0


def log_entries(card):
    answer = SERVICE.get("/redfish/v1/Managers/%s/LogServices/EventLog/Entries" % card)
    assert answer.status_code == 200, answer.text
    return answer.json()["Members"]


@unittest.skipUnless(HAVE_CLIENTS and shutil.which("redfishtool"),
                     "vorl_redfish or redfishtool missing")
class RedfishtoolTest(unittest.TestCase):
    def redfishtool(self, *words, user="root", password=None):
        done = subprocess.run(
            ["redfishtool", "-r", SERVICE.baseuri, "-u", user, "-p",
             password or ACCOUNTS[user][0], "-S", "Always", "-T", "30"] + list(words),
            capture_output=True, text=True, timeout=120)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        return json.loads(done.stdout) if done.stdout.strip() else None

    def test_lists_reads_resets_and_changes_passwords(self):
        address = FLEET.addresses[0]
        for collection in ("Systems", "Managers", "Chassis"):
            members = self.redfishtool(collection)["Members"]
            self.assertEqual([m["@odata.id"] for m in members],
                             ["/redfish/v1/%s/c%d" % (collection, i) for i in (1, 2, 3)])
            self.assertEqual(self.redfishtool(collection, "-I", "c1")["Id"], "c1")
        manager = self.redfishtool("Managers", "-I", "c1")
        self.assertTrue(manager["FirmwareVersion"])

        self.redfishtool("Systems", "-I", "c1", "reset", "ForceOff")
        self.assertEqual(card_settings(address, "advanced.conf")["power_on"], "0")
        self.assertEqual(self.redfishtool("Systems", "-I", "c1", "-P", "PowerState"),
                         {"PowerState": "Off"})
        log = self.redfishtool("Managers", "-I", "c1", "Logs", "-i", "EventLog", "-E")
        self.assertEqual([e["Message"] for e in log["Members"]],
                         ["Server powered down by host request"])

        # A card's account: created, then its password changed, as the card's login shows.
        accounts = "/redfish/v1/Managers/c1/RemoteAccountService/Accounts"
        self.redfishtool("raw", "POST", accounts, "-d",
                         '{"UserName": "carol", "Password": "Carol-Pass1"}')
        self.redfishtool("raw", "PATCH", accounts + "/carol", "-d", '{"Password": "Carol-Pass2"}')
        self.assertTrue(card_accepts(address, "carol", "Carol-Pass2"))
        self.assertFalse(card_accepts(address, "carol", "Carol-Pass1"))
        # The account the service logs in with is left alone.
        refused = subprocess.run(
            ["redfishtool", "-r", SERVICE.baseuri, "-u", "root", "-p", ACCOUNTS["root"][0],
             "-S", "Always", "raw", "DELETE", accounts + "/admin"], capture_output=True, text=True)
        self.assertNotEqual(refused.returncode, 0)
        self.assertTrue(card_accepts(address, "admin", "vorladmin"))

        # One of the service's own accounts.
        self.redfishtool("AccountService", "adduser", "dave", "Dave-Pass-1", "Operator")
        self.redfishtool("AccountService", "setpassword", "dave", "Dave-Pass-2")
        self.assertEqual(SERVICE.session(None).get(
            SERVICE.url + "/redfish/v1/Systems", auth=("dave", "Dave-Pass-2")).status_code, 200)
        self.assertEqual(SERVICE.session(None).get(
            SERVICE.url + "/redfish/v1/Systems", auth=("dave", "Dave-Pass-1")).status_code, 401)


@unittest.skipUnless(HAVE_CLIENTS and have_sushy(), "vorl_redfish or python3-sushy missing")
class SushyTest(unittest.TestCase):
    def test_session_power_manager_and_chassis(self):
        import sushy
        from sushy import auth
        address = FLEET.addresses[1]
        with auth.SessionAuth(username="op", password=ACCOUNTS["op"][0]) as session:
            root = sushy.Sushy(SERVICE.url, auth=session, verify=False)
            self.assertEqual(len(root.get_session_service().sessions.members_identities), 1)
            system = root.get_system("/redfish/v1/Systems/c2")
            self.assertIsNone(system.power_state)  # the card's log tells nothing yet
            self.assertIn(sushy.RESET_FORCE_OFF, system.get_allowed_reset_system_values())
            system.reset_system(sushy.RESET_FORCE_OFF)
            system.refresh()
            self.assertEqual(system.power_state, sushy.POWER_STATE_OFF)
            self.assertEqual(card_settings(address, "advanced.conf")["power_on"], "0")
            system.reset_system(sushy.RESET_ON)
            system.refresh()
            self.assertEqual(system.power_state, sushy.POWER_STATE_ON)
            self.assertEqual(card_settings(address, "advanced.conf")["power_on"], "1")

            manager = root.get_manager("/redfish/v1/Managers/c2")
            self.assertEqual(manager.manager_type, sushy.MANAGER_TYPE_BMC)
            self.assertTrue(manager.firmware_version)
            chassis = root.get_chassis("/redfish/v1/Chassis/c2")
            self.assertEqual(chassis.power_state, sushy.POWER_STATE_ON)
            self.assertEqual(system.managers[0].identity, "c2")
        # Leaving the session logs out.
        viewer = SERVICE.get("/redfish/v1/SessionService/Sessions", user="viewer").json()
        self.assertEqual(viewer["Members@odata.count"], 0)


@unittest.skipUnless(HAVE_CLIENTS and have_redfish_modules(),
                     "vorl_redfish or Ansible's community.general missing")
class AnsibleTest(unittest.TestCase):
    """Plays on card c3 and on the service's accounts, run with the json callback."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vorl-redfish-ansible-")
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)

    def play(self, name, tasks, *options):
        """Runs one play of `tasks` against the service; returns {task name: result}."""
        defaults = {"baseuri": SERVICE.baseuri, "username": "root",
                    "password": ACCOUNTS["root"][0], "timeout": 30}
        play = [{"hosts": "localhost", "gather_facts": False,
                 "module_defaults": {"community.general.redfish_" + m: defaults
                                     for m in ("info", "command", "config")},
                 "tasks": tasks}]
        path = os.path.join(self.dir, name + ".yml")
        with open(path, "w") as f:
            json.dump(play, f)  # JSON is YAML
        env = dict(os.environ, ANSIBLE_STDOUT_CALLBACK="ansible.posix.json",
                   ANSIBLE_LOCALHOST_WARNING="false", ANSIBLE_INVENTORY_UNPARSED_WARNING="false",
                   ANSIBLE_PYTHON_INTERPRETER="/usr/bin/python3")
        done = subprocess.run(["ansible-playbook", "-i", "localhost,", "-c", "local", path] +
                              list(options), capture_output=True, text=True, env=env,
                              timeout=600)
        report = json.loads(done.stdout[done.stdout.index("{"):])
        results = {task["task"]["name"]: task["hosts"]["localhost"]
                   for task in report["plays"][0]["tasks"]}
        for name_, result in results.items():
            self.assertFalse(result.get("failed"), "%s: %s" % (name_, result))
        return results

    CONVERGE = [
        {"name": "power off", "community.general.redfish_command": {
            "category": "Systems", "command": ["PowerForceOff"], "resource_id": "c3"}},
        {"name": "add user", "community.general.redfish_command": {
            "category": "Accounts", "command": ["AddUser"], "account_username": "deploy",
            "account_password": "Deploy-Pass-1", "account_roleid": "Operator"}},
        {"name": "delete user", "community.general.redfish_command": {
            "category": "Accounts", "command": ["DeleteUser"], "account_username": "olduser"}},
        {"name": "dhcp", "community.general.redfish_config": {
            "category": "Manager", "command": ["SetManagerNic"], "resource_id": "c3",
            "nic_addr": "MAC", "nic_config": {"DHCPv4": {"DHCPEnabled": True}}}},
        {"name": "session timeout", "community.general.redfish_config": {
            "category": "Sessions", "command": ["SetSessionService"],
            "sessions_config": {"SessionTimeout": 600}}},
    ]
    INFO = [
        {"name": "inventory", "community.general.redfish_info": {
            "category": "Update", "command": ["GetFirmwareInventory"]}},
        {"name": "system", "community.general.redfish_info": {
            "category": "Systems", "command": ["GetSystemInventory"]}},
        {"name": "manager", "community.general.redfish_info": {
            "category": "Manager", "command": ["GetManagerInventory", "GetLogs"]}},
        {"name": "chassis", "community.general.redfish_info": {
            "category": "Chassis", "command": ["GetChassisInventory"]}},
        {"name": "accounts", "community.general.redfish_info": {
            "category": "Accounts", "command": ["ListUsers"]}},
    ]

    def test_info_commands_config_check_mode_and_a_second_run(self):
        address = FLEET.addresses[2]
        http = SERVICE.session("root")
        # The card's interface is found by its MAC address, which DHCP leaves as it is.
        mac = http.get(SERVICE.url + "/redfish/v1/Managers/c3/EthernetInterfaces/1").json()[
            "MACAddress"]
        converge = json.loads(json.dumps(self.CONVERGE).replace('"MAC"', json.dumps(mac)))
        created = http.post(SERVICE.url + "/redfish/v1/AccountService/Accounts", json={
            "UserName": "olduser", "Password": "Old-User-Pass1", "RoleId": "ReadOnly"})
        self.assertEqual(created.status_code, 201, created.text)

        facts = self.play("info", self.INFO)
        firmware = facts["inventory"]["redfish_facts"]["firmware"]["entries"]
        self.assertEqual(len([e for e in firmware if e["Id"].startswith("c3.")]), 6)
        systems = dict((e[0]["system_uri"], e[1]) for e in
                       facts["system"]["redfish_facts"]["system"]["entries"])
        self.assertEqual(systems["/redfish/v1/Systems/c3"]["Id"], "c3")
        self.assertIn("log", facts["manager"]["redfish_facts"])
        self.assertEqual(len(facts["chassis"]["redfish_facts"]["chassis"]["entries"]), 3)
        users = [u["UserName"] for u in facts["accounts"]["redfish_facts"]["user"]["entries"]]
        self.assertEqual(sorted(users), sorted(list(ACCOUNTS) + ["olduser"] +
                                               (["dave"] if "dave" in users else [])))

        # --check: the info modules run, the changing ones are skipped, nothing changes.
        checked = self.play("check", self.INFO + converge, "--check")
        self.assertTrue(all(checked[t["name"]].get("skipped") for t in converge))
        self.assertNotEqual(card_settings(address, "advanced.conf").get("power_on"), "0")
        self.assertNotEqual(card_settings(address, "network.conf").get("method"), "dhcp")

        first = self.play("converge", converge)
        self.assertTrue(all(first[t["name"]]["changed"] for t in converge), first)
        self.assertEqual(card_settings(address, "advanced.conf")["power_on"], "0")
        self.assertEqual(card_settings(address, "network.conf")["method"], "dhcp")
        users = [m["@odata.id"].rsplit("/", 1)[1] for m in
                 http.get(SERVICE.url + "/redfish/v1/AccountService/Accounts").json()["Members"]]
        self.assertIn("deploy", users)
        self.assertNotIn("olduser", users)
        self.assertEqual(http.get(SERVICE.url + "/redfish/v1/SessionService").json()
                         ["SessionTimeout"], 600)
        second = self.play("converge-again", converge)
        self.assertEqual([t for t, r in second.items() if r["changed"]], [])

        actions = self.play("actions", [
            {"name": "password", "community.general.redfish_command": {
                "category": "Accounts", "command": ["UpdateUserPassword"],
                "account_username": "deploy", "account_password": "Deploy-Pass-2"}},
            {"name": "power on", "community.general.redfish_command": {
                "category": "Systems", "command": ["PowerOn"], "resource_id": "c3"}},
            {"name": "clear logs", "community.general.redfish_command": {
                "category": "Manager", "command": ["ClearLogs"], "resource_id": "c3"}},
        ])
        self.assertTrue(actions["password"]["changed"])
        self.assertEqual(SERVICE.session(None).get(
            SERVICE.url + "/redfish/v1/Systems", auth=("deploy", "Deploy-Pass-2")).status_code,
            200)
        self.assertEqual(card_settings(address, "advanced.conf")["power_on"], "1")
        self.assertEqual(log_entries("c3"), [])
        self.assertFalse([k for k in card_settings(address, "event_log.conf")
                          if k.startswith("record.")])


if __name__ == "__main__":
    unittest.main()
