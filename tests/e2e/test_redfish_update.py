"""Firmware updates through vorl_redfish's UpdateService against vorlsim cards: a multipart push
to a fleet in module mode followed as Tasks to the cards' flash and FirmwareInventory; images
refused before anything reaches a card; one update per card at a time; a card lost mid-flash;
SimpleUpdate over HTTP and file://; the roles."""

import concurrent.futures
import functools
import http.server
import json
import os
import shutil
import socket
import ssl
import struct
import subprocess
import tempfile
import threading
import time
import unittest

from redfish_crawl import SchemaStore, check_document
from redfishtest import VORL_REDFISH, Fleet, Redfish
from test_redfish_events import Subscriber
from vorltest import VORLSIM, Sim

SCHEMAS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "redfish_schemas")
BLOCK = 65536
PUSH = "/redfish/v1/UpdateService/update-multipart"
SIMPLE = "/redfish/v1/UpdateService/Actions/UpdateService.SimpleUpdate"
SECTIONS = {"DIAG": (b"$$DIAG$$", 1, 2), "OS": (b"$$$OS$$$", 3, 28), "WEB": (b"$$WEBP$$", 31, 12),
            "CONFIG": (b"$$CONF$$", 47, 4)}


def default_image():
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "default.ima")
        subprocess.run([VORLSIM, "--write-image=" + path], check=True, stdout=subprocess.DEVNULL)
        with open(path, "rb") as f:
            return f.read()


def with_field(image, module, offset, form, value):
    """The image with a field of a module's header changed (its checksum kept valid)."""
    data = bytearray(image)
    at = SECTIONS[module][1] * BLOCK
    struct.pack_into(form, data, at + offset, value)
    data[at + 45] = (sum(data[at:at + 48]) - data[at + 45]) % 100
    return bytes(data)


def with_versions(image, **versions):
    for module, version in versions.items():
        image = with_field(image, module, 34, ">H", version)
    return image


def version_text(version):
    return "%d.%d.%d" % (version >> 12, (version >> 8) & 15, version & 255)


def blocks(data):
    return [data[i * BLOCK:(i + 1) * BLOCK] for i in range(64)]


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


@unittest.skipUnless(VORL_REDFISH, "vorl_redfish is not built")
class UpdateTestCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.default = default_image()

    def start_service(self, cards, settings="card_timeout: 3s\n"):
        self.service = Redfish(cards, settings=settings).start()
        self.addCleanup(self.service.__exit__)
        self.sessions = {}
        self.http = self.session("root")

    def session(self, user):
        if user not in self.sessions:
            self.sessions[user] = self.service.session(user)
            self.addCleanup(self.sessions[user].close)
        return self.sessions[user]

    def url(self, path):
        return self.service.url + path

    def push(self, image, targets, user="root", name="new.ima", parameters=None):
        body = {"Targets": ["/redfish/v1/Managers/" + t for t in targets]}
        body.update(parameters or {})
        files = {"UpdateParameters": (None, json.dumps(body), "application/json"),
                 "UpdateFile": (name, image, "application/octet-stream")}
        return self.session(user).post(self.url(PUSH), files=files, timeout=60)

    def wait_ended(self, task_uri, seconds=90):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            task = self.http.get(self.url(task_uri), timeout=30).json()
            if task["TaskState"] not in ("New", "Running"):
                return task
            time.sleep(0.2)
        self.fail("task %s did not end: %s" % (task_uri, task))

    def started(self, answer):
        self.assertEqual(answer.status_code, 202, answer.text)
        return [t["@odata.id"] for t in answer.json()["Oem"]["Vorl"]["Tasks"]]

    def message_ids(self, task):
        return [m["MessageId"] for m in task["Messages"]]

    def serve_folder(self, folder, tls=False):
        """An HTTP server of `folder` on the service's loopback address (HTTPS with a
        self-signed certificate when `tls`); its base URL."""
        handler = functools.partial(QuietHandler, directory=folder)
        server = http.server.ThreadingHTTPServer((self.service.address, 0), handler)
        if tls:
            key, cert = os.path.join(folder, "key.pem"), os.path.join(folder, "cert.pem")
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days",
                            "1", "-subj", "/CN=" + self.service.address, "-keyout", key,
                            "-out", cert], check=True, capture_output=True)
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(cert, key)
            server.socket = context.wrap_socket(server.socket, server_side=True)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        return "%s://%s:%d/" % (("https" if tls else "http",) + server.server_address)

    def image_folder(self, **images):
        folder = tempfile.mkdtemp(prefix="vorl-images-")
        self.addCleanup(shutil.rmtree, folder, True)
        for name, data in images.items():
            with open(os.path.join(folder, name + ".ima"), "wb") as f:
                f.write(data)
        return folder

    def inventory_version(self, card, module):
        answer = self.http.get(self.url("/redfish/v1/UpdateService/FirmwareInventory/%s.%s" %
                                        (card, module)), timeout=30)
        self.assertEqual(answer.status_code, 200, answer.text)
        return answer.json()["Version"]


class FleetUpdateTest(UpdateTestCase):
    def setUp(self):
        self.fleet = Fleet(3).start()
        self.addCleanup(self.fleet.__exit__)
        self.ids = ["c%d" % i for i in range(3)]
        self.start_service(list(zip(self.ids, self.fleet.addresses)))

    def flash(self, address):
        path = self.fleet.card_file(address, "flash.bin")
        if not os.path.exists(path):
            return self.default
        with open(path, "rb") as f:
            return f.read()

    def task_events(self, subscriber, tasks):
        """Each task's TaskEvent messages as the subscriber received them, once its last one came."""
        def received():
            per_task = {uri: [] for uri in tasks}
            for body in list(subscriber.received):
                for record in body["Events"]:
                    per_task[record["OriginOfCondition"]["@odata.id"]].append(
                        (record["MessageId"].split(".")[-1], record["MessageArgs"]))
            return per_task
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            per_task = received()
            if all(events and events[-1][0] == "TaskCompletedOK" for events in per_task.values()):
                time.sleep(0.5)  # nothing may follow the end
                return received()
            time.sleep(0.1)
        self.fail("the tasks' ends did not reach the subscriber: %s" % received())

    def test_module_push_to_three_cards_writes_only_the_changed_modules(self):
        subscriber = Subscriber()
        self.addCleanup(subscriber.close)
        answer = self.http.post(self.url("/redfish/v1/EventService/Subscriptions"), timeout=30,
                                json={"Destination": subscriber.url, "Protocol": "Redfish",
                                      "RegistryPrefixes": ["TaskEvent"]})
        self.assertEqual(answer.status_code, 201, answer.text)
        image = with_versions(self.default, OS=0x2207, WEB=0x1305)
        answer = self.push(image, self.ids)
        tasks = self.started(answer)
        self.assertEqual(len(tasks), 3)
        self.assertEqual(answer.headers["Location"],
                         "/redfish/v1/TaskService/TaskMonitors/" + tasks[0].split("/")[-1])
        for uri in tasks:
            task = self.wait_ended(uri)
            self.assertEqual((task["TaskState"], task["TaskStatus"], task["PercentComplete"]),
                             ("Completed", "OK", 100), task)
            self.assertIn("StartTime", task)
            self.assertIn("EndTime", task)
            ids = self.message_ids(task)
            self.assertEqual(ids[0], "TaskEvent.1.0.TaskStarted")
            self.assertIn("Update.1.3.UpdateSuccessful", ids)
            self.assertEqual(ids[-1], "TaskEvent.1.0.TaskCompletedOK")
            vorl = task["Oem"]["Vorl"]
            self.assertEqual(vorl["ModulesWritten"], ["OS", "WEB"])
            self.assertEqual(vorl["BlocksWritten"], 28 + 12)
        # A subscriber hears each task start, progress and end, once each and in order.
        for uri, events in self.task_events(subscriber, tasks).items():
            keys = [key for key, _ in events]
            self.assertEqual((keys[0], keys[-1]), ("TaskStarted", "TaskCompletedOK"), events)
            self.assertEqual(keys.count("TaskStarted") + keys.count("TaskCompletedOK"), 2, events)
            percents = [int(args[1]) for key, args in events if key == "TaskProgressChanged"]
            self.assertEqual(percents, sorted(set(percents)), events)
        for card, address in zip(self.ids, self.fleet.addresses):
            # The card holds the new blocks; the blocks of other modules are untouched.
            self.assertEqual(blocks(self.flash(address)), blocks(image))
            self.assertEqual(self.inventory_version(card, "OS"), version_text(0x2207))
            self.assertEqual(self.inventory_version(card, "WEB"), version_text(0x1305))

        # The same image again: nothing differs, nothing is written.
        before = [os.stat(self.fleet.card_file(a, "flash.bin")).st_mtime_ns
                  for a in self.fleet.addresses]
        for uri in self.started(self.push(image, self.ids)):
            task = self.wait_ended(uri)
            self.assertEqual(task["TaskState"], "Completed", task)
            self.assertIn("Update.1.3.UpdateNotApplicable", self.message_ids(task))
            self.assertEqual(task["Oem"]["Vorl"]["BlocksWritten"], 0)
        self.assertEqual(before, [os.stat(self.fleet.card_file(a, "flash.bin")).st_mtime_ns
                                  for a in self.fleet.addresses])

        collection = self.http.get(self.url("/redfish/v1/TaskService/Tasks"), timeout=30).json()
        self.assertEqual(collection["Members@odata.count"], 6)
        # The tasks and the UpdateService follow their DMTF schemas.
        store = SchemaStore(SCHEMAS)
        for uri in tasks + ["/redfish/v1/UpdateService"]:
            check_document(store, uri, self.http.get(self.url(uri), timeout=30).json())

    def test_bad_requests_are_refused_before_anything_reaches_a_card(self):
        damaged = bytearray(self.default)
        damaged[SECTIONS["DIAG"][1] * BLOCK + 100] ^= 0xFF  # DIAG's data fail their CRC
        misfit = with_field(self.default, "CONFIG", 16, ">I", 5 * BLOCK)
        cases = [
            (bytes(damaged), self.ids[:1], "root", 400, "DIAG"),
            (misfit, self.ids, "root", 400, "CONFIG module does not fit"),
            (self.default[:-1], self.ids[:1], "root", 400, "4194303 bytes"),
            (self.default, ["nosuchcard"], "root", 400, "PropertyValueNotInList"),
            (self.default, [], "root", 400, "PropertyMissing"),
            (self.default, self.ids[:1], "viewer", 403, "InsufficientPrivilege"),
        ]
        for image, targets, user, status, text in cases:
            answer = self.push(image, targets, user=user)
            self.assertEqual(answer.status_code, status, answer.text)
            self.assertIn(text, answer.text)
        answer = self.push(self.default, self.ids[:1],
                           parameters={"@Redfish.OperationApplyTime": "OnReset"})
        self.assertEqual(answer.status_code, 400, answer.text)
        # A stranger's upload is not even taken in: the service holds none of its megabytes (the
        # answer is 413, or the connection closed under a client still sending).
        import requests
        stranger = self.service.session(None)
        self.addCleanup(stranger.close)
        try:
            status = stranger.post(self.url(PUSH), auth=("nobody", "x"), timeout=30,
                                   files={"UpdateFile": ("x.ima", self.default)}).status_code
        except requests.exceptions.ConnectionError:
            status = 413
        self.assertEqual(status, 413)
        bad_form = self.http.post(self.url(PUSH), data=b"--x\r\nno headers", timeout=30,
                                  headers={"Content-Type": "multipart/form-data; boundary=x"})
        self.assertEqual(bad_form.status_code, 400, bad_form.text)
        # Nothing was started and no card was written; a ReadOnly account still reads tasks.
        tasks = self.session("viewer").get(self.url("/redfish/v1/TaskService/Tasks"), timeout=30)
        self.assertEqual(tasks.status_code, 200)
        self.assertEqual(tasks.json()["Members@odata.count"], 0)
        for address in self.fleet.addresses:
            self.assertEqual(self.flash(address), self.default)


class OneUpdatePerCardTest(UpdateTestCase):
    def test_a_card_being_updated_refuses_a_second_update_and_blocks_no_other(self):
        # Slow block writes keep the first update running while the others are asked.
        fleet = Fleet(2, "--reply-delay=0x0601:40").start()
        self.addCleanup(fleet.__exit__)
        self.start_service([("a", fleet.addresses[0]), ("b", fleet.addresses[1])])
        image = with_versions(self.default, OS=0x2301)
        first = self.started(self.push(image, ["a"], parameters={
            "Oem": {"Vorl": {"FlashMode": "Complete", "KeepConfiguration": True}}}))
        second = self.push(image, ["a", "b"])
        self.assertEqual(second.status_code, 409, second.text)
        self.assertIn("Base.1.22.ResourceInUse", second.text)
        other = self.started(self.push(image, ["b"]))
        # PercentComplete follows the blocks written.
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            running = self.http.get(self.url(first[0]), timeout=30).json()
            if running["PercentComplete"] > 0:
                break
            time.sleep(0.05)
        self.assertEqual(running["TaskState"], "Running", running)
        self.assertTrue(0 < running["PercentComplete"] < 100, running)
        for uri in first + other:
            task = self.wait_ended(uri)
            self.assertEqual(task["TaskState"], "Completed", task)
        self.assertEqual(self.wait_ended(first[0])["Oem"]["Vorl"]["BlocksWritten"], 63)
        self.assertEqual(self.inventory_version("a", "OS"), version_text(0x2301))


class CardLostMidFlashTest(UpdateTestCase):
    def test_card_lost_mid_flash_ends_the_task_in_exception_and_can_be_flashed_again(self):
        sim = Sim("--flash-vanish-after=20", "--devlink-port=0").start()
        self.addCleanup(sim.__exit__)
        self.start_service([("lost", sim.address)])
        image = with_versions(self.default, OS=0x2402)
        complete = {"Oem": {"Vorl": {"FlashMode": "Complete"}}}
        task = self.wait_ended(self.started(self.push(image, ["lost"], parameters=complete))[0])
        self.assertEqual((task["TaskState"], task["TaskStatus"]), ("Exception", "Critical"), task)
        self.assertLess(task["PercentComplete"], 100)
        self.assertIn("Update.1.3.ApplyFailed", self.message_ids(task))
        self.assertEqual(self.message_ids(task)[-1], "TaskEvent.1.0.TaskAborted")
        vorl = task["Oem"]["Vorl"]
        # Blocks 1 to 19 were acknowledged; the card went with block 20 unanswered.
        self.assertEqual((vorl["BlocksWritten"], vorl["BlocksToWrite"], vorl["FailedBlock"]),
                         (19, 63, 20))
        self.assertFalse(vorl["CardReset"])
        self.assertIn("lost", vorl["Fault"])

        # The card back: a complete flash recovers it, as vorlcli -flash -update would.
        sim.stop()
        sim.options = ["--devlink-port=0"]
        sim.start()
        time.sleep(2.5)  # the service leaves a card that failed alone for a moment
        task = self.wait_ended(self.started(self.push(image, ["lost"], parameters=complete))[0])
        self.assertEqual(task["TaskState"], "Completed", task)
        self.assertEqual(self.inventory_version("lost", "OS"), version_text(0x2402))


class SimpleUpdateTest(UpdateTestCase):
    def test_simple_update_over_http_and_from_the_allowed_folder(self):
        sim = Sim("--devlink-port=0").start()
        self.addCleanup(sim.__exit__)
        folder = self.image_folder(web=with_versions(self.default, WEB=0x1402))
        os.symlink("/etc/passwd", os.path.join(folder, "escape.ima"))
        self.start_service([("s", sim.address)], settings="card_timeout: 3s\nupdate_file_dir: %s\n"
                           "update_download_timeout: 2s\n" % folder)
        base = self.serve_folder(folder)
        # A server whose certificate nobody vouches for, and one that never answers.
        tls_base = self.serve_folder(folder, tls=True)
        silent = socket.socket()
        silent.bind((self.service.address, 0))
        silent.listen()
        self.addCleanup(silent.close)

        def update(uri, **extra):
            body = {"ImageURI": uri, "Targets": ["/redfish/v1/Managers/s"]}
            body.update(extra)
            return self.http.post(self.url(SIMPLE), json=body, timeout=60)

        refused = [(base + "missing.ima", "404"), ("file:///etc/passwd", "not inside"),
                   ("file://" + folder + "/escape.ima", "not inside"),
                   ("ftp://example/x.ima", "http://"),
                   (tls_base + "web.ima", "TLS handshake failed"),
                   ("http://%s:%d/web.ima" % silent.getsockname(), "did not end within 2 s")]
        for uri, text in refused:
            answer = update(uri)
            self.assertEqual(answer.status_code, 400, answer.text)
            self.assertIn(text, answer.json()["error"]["message"])
        # Two downloads at once hold request workers; a third is told to come back.
        silent_uri = "http://%s:%d/web.ima" % silent.getsockname()
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            slow = [pool.submit(lambda: self.service.session("root").post(
                self.url(SIMPLE), timeout=30,
                json={"ImageURI": silent_uri, "Targets": ["/redfish/v1/Managers/s"]}))
                for _ in range(2)]
            time.sleep(0.5)
            third = update(base + "web.ima")
            self.assertEqual(third.status_code, 503, third.text)
            self.assertEqual(third.headers["Retry-After"], "5")
            for future in slow:
                self.assertEqual(future.result().status_code, 400)
        viewer = self.session("viewer").post(self.url(SIMPLE), timeout=30, json={
            "ImageURI": base + "web.ima", "Targets": ["/redfish/v1/Managers/s"]})
        self.assertEqual(viewer.status_code, 403, viewer.text)
        task = self.wait_ended(self.started(update(base + "web.ima"))[0])
        self.assertEqual(task["TaskState"], "Completed", task)
        self.assertEqual(task["Oem"]["Vorl"]["ModulesWritten"], ["WEB"])
        self.assertEqual(self.inventory_version("s", "WEB"), version_text(0x1402))
        task = self.wait_ended(self.started(update(folder + "/web.ima",
                                                   TransferProtocol="FILE"))[0])
        self.assertIn("Update.1.3.UpdateNotApplicable", self.message_ids(task))



@unittest.skipUnless(VORL_REDFISH and shutil.which("redfishtool"), "redfishtool missing")
class RedfishtoolUpdateTest(UpdateTestCase):
    def test_simple_update_followed_to_its_end(self):
        sim = Sim("--devlink-port=0").start()
        self.addCleanup(sim.__exit__)
        self.start_service([("rt", sim.address)])
        base = self.serve_folder(self.image_folder(os=with_versions(self.default, OS=0x2503)))
        body = {"ImageURI": base + "os.ima", "Targets": ["/redfish/v1/Managers/rt"]}
        # redfishtool follows the task monitor of the 202 until the task has ended.
        done = subprocess.run(
            ["redfishtool", "-r", self.service.baseuri, "-u", "op", "-p", "Operator-Pass-2",
             "-S", "Always", "-T", "30", "raw", "POST", SIMPLE, "-d", json.dumps(body)],
            capture_output=True, text=True, timeout=120)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        task = json.loads(done.stdout)
        self.assertEqual(task["TaskState"], "Completed", task)
        self.assertEqual(task["Oem"]["Vorl"]["ModulesWritten"], ["OS"])
        done = subprocess.run(
            ["redfishtool", "-r", self.service.baseuri, "-u", "viewer", "-p", "Viewer-Pass-3",
             "-S", "Always", "raw", "GET", "/redfish/v1/UpdateService/FirmwareInventory/rt.OS"],
            capture_output=True, text=True, timeout=60)
        self.assertEqual(json.loads(done.stdout)["Version"], version_text(0x2503), done.stderr)


def have_redfish_modules():
    if not shutil.which("ansible-playbook"):
        return False
    return subprocess.run(["ansible-doc", "-t", "module", "community.general.redfish_command"],
                          capture_output=True).returncode == 0


@unittest.skipUnless(VORL_REDFISH and have_redfish_modules(), "Ansible's redfish modules missing")
class AnsibleUpdateTest(UpdateTestCase):
    def test_simple_update_status_and_inventory(self):
        sim = Sim("--devlink-port=0").start()
        self.addCleanup(sim.__exit__)
        self.start_service([("an", sim.address)])
        base = self.serve_folder(self.image_folder(update=with_versions(self.default, OS=0x2604)))
        login = {"baseuri": self.service.baseuri, "username": "root",
                 "password": "Root-Pass-1", "timeout": 30}
        tasks = [
            {"name": "update", "register": "update", "community.general.redfish_command": dict(
                login, category="Update", command=["SimpleUpdate"],
                update_image_uri=base + "update.ima", update_protocol="HTTP",
                update_targets=["/redfish/v1/Managers/an"])},
            {"name": "status", "register": "status", "until":
                "status.redfish_facts.update_status.status not in ['New', 'Running']",
             "retries": 60, "delay": 1, "community.general.redfish_info": dict(
                 login, category="Update", command=["GetUpdateStatus"],
                 update_handle="{{ update.return_values.update_status.handle }}")},
            {"name": "inventory", "community.general.redfish_info": dict(
                login, category="Update", command=["GetFirmwareInventory"])},
        ]
        work = tempfile.mkdtemp(prefix="vorl-ansible-")
        self.addCleanup(shutil.rmtree, work, True)
        path = os.path.join(work, "update.yml")
        with open(path, "w") as f:
            json.dump([{"hosts": "localhost", "gather_facts": False, "tasks": tasks}], f)
        env = dict(os.environ, ANSIBLE_STDOUT_CALLBACK="ansible.posix.json",
                   ANSIBLE_LOCALHOST_WARNING="false", ANSIBLE_INVENTORY_UNPARSED_WARNING="false",
                   ANSIBLE_PYTHON_INTERPRETER="/usr/bin/python3")
        done = subprocess.run(["ansible-playbook", "-i", "localhost,", "-c", "local", path],
                              capture_output=True, text=True, env=env, timeout=600)
        report = json.loads(done.stdout[done.stdout.index("{"):])
        results = {t["task"]["name"]: t["hosts"]["localhost"]
                   for t in report["plays"][0]["tasks"]}
        for name, result in results.items():
            self.assertFalse(result.get("failed"), "%s: %s" % (name, result))
        self.assertTrue(results["update"]["changed"])
        status = results["status"]["redfish_facts"]["update_status"]
        self.assertEqual(status["status"], "Completed", status)
        firmware = results["inventory"]["redfish_facts"]["firmware"]["entries"]
        self.assertIn({"Id": "an.OS", "Version": version_text(0x2604)},
                      [{"Id": e["Id"], "Version": e["Version"]} for e in firmware])


if __name__ == "__main__":
    unittest.main()
