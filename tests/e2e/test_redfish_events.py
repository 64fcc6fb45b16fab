"""vorl_redfish's events end to end: a subscriber (a small HTTP server on 127.0.0.1) subscribed
with sushy (redfishtool reads the subscription) and `curl -N` on the Server-Sent Event stream
(one of them filtered) see, exactly once and in order,
a new entry in a card's event log, a change made through the service, a test event, and the
card stopped and started; a restart of the service repeats nothing and keeps the subscription;
a subscriber that keeps failing is suspended (Status says so) and can be resumed, one that asked
for it is removed. ReadOnly may
read the event service but not subscribe.

Task events come from the update service through the same publish(); when it lands, a finished
task's TaskEvent.1.0.TaskCompleted belongs in the sequence checked here."""

import json
import os
import queue
import shutil
import subprocess
import threading
import time
import unittest
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from redfish_crawl import SchemaStore, check_document
from redfishtest import ACCOUNTS, VORL_REDFISH, Fleet, Redfish
from vorltest import CardConnection

SETTINGS = ("card_timeout: 2s\nevents:\n  poll_interval: 300ms\n"
            "  delivery_retry_attempts: 2\n  delivery_retry_interval: 200ms\n")
SUBSCRIPTIONS = "/redfish/v1/EventService/Subscriptions"
SCHEMAS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "redfish_schemas")


def have_sushy():
    try:
        import sushy  # noqa: F401
        return True
    except ImportError:
        return False


class Subscriber:
    """Receives events on 127.0.0.1; answers `status` (200 until told otherwise)."""

    def __init__(self):
        self.events = queue.Queue()
        self.received = []  # every event body, whole
        self.status = 200
        self.posts = 0
        outer = self

        class Handler(BaseHTTPRequestHandler):
            def do_POST(self):
                body = self.rfile.read(int(self.headers["Content-Length"]))
                outer.posts += 1
                if outer.status == 200:
                    outer.events.put(json.loads(body))
                    outer.received.append(json.loads(body))
                self.send_response(outer.status)
                self.send_header("Content-Length", "0")
                self.end_headers()

            def log_message(self, *args):
                pass

        self.server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = "http://127.0.0.1:%d/events" % self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


class Stream:
    """`curl -N` on the event stream; every `data:` line parsed."""

    def __init__(self, service, query=""):
        self.events = queue.Queue()
        self.process = subprocess.Popen(
            ["curl", "-sS", "-N", "-k", "-u", "root:" + ACCOUNTS["root"][0],
             service.url + "/redfish/v1/EventService/SSE" + query], stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            if line.startswith(b"data: "):
                self.events.put(json.loads(line[6:]))

    def close(self):
        self.process.terminate()
        self.process.wait(10)


def message_ids(source, count, seconds=30):
    """The next `count` events of `source` as (MessageId, origin) pairs."""
    out = []
    deadline = time.monotonic() + seconds
    while len(out) < count:
        event = source.get(timeout=max(0.1, deadline - time.monotonic()))
        for record in event["Events"]:
            out.append((record["MessageId"], record.get("OriginOfCondition", {}).get("@odata.id")))
    return out


def add_entry(address, event):
    """One record in the card's event log, straight through the card protocol."""
    with CardConnection(address) as card:
        assert card.login() == 0
        entry = bytearray(48)
        entry[10:12] = event.to_bytes(2, "big")
        entry[12] = 8  # warning
        assert card.transact(0x0402, bytes(entry))[0] == 0


def wait_for(condition, seconds=30):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError("timed out")
        time.sleep(0.1)


@unittest.skipUnless(VORL_REDFISH and have_sushy(), "vorl_redfish or python3-sushy missing")
class EventsTest(unittest.TestCase):
    def test_subscriber_and_stream_see_every_event_once_in_order(self):
        subscriber = Subscriber()
        self.addCleanup(subscriber.close)
        with Fleet(1) as fleet:
            add_entry(fleet.addresses[0], 0x0101)  # there before the service: never sent
            with Redfish([("c1", fleet.addresses[0])], settings=SETTINGS) as rf:
                self.check_events(rf, fleet, subscriber)

    def check_events(self, rf, fleet, subscriber):
        import sushy
        from sushy import auth
        root = sushy.Sushy(rf.url, auth=auth.BasicAuth("root", ACCOUNTS["root"][0]),
                           verify=False)
        events = root.get_event_service()
        self.assertEqual(events.delivery_retry_attempts, 2)
        created = events.subscriptions.create(
            {"Destination": subscriber.url, "Context": "fleet-1", "Protocol": "Redfish"})
        self.assertEqual(created.context, "fleet-1")
        if shutil.which("redfishtool"):  # reads it (it has no subscribe command)
            done = subprocess.run(
                ["redfishtool", "-r", rf.baseuri, "-u", "viewer", "-p", ACCOUNTS["viewer"][0],
                 "-S", "Always", "raw", "GET", SUBSCRIPTIONS + "/" + created.identity],
                capture_output=True, text=True, timeout=120)
            self.assertEqual(json.loads(done.stdout)["Destination"], subscriber.url, done.stderr)
        # ReadOnly reads but does not subscribe; an Operator subscribes and removes its own.
        viewer, op = rf.session("viewer"), rf.session("op")
        self.assertEqual(viewer.get(rf.url + SUBSCRIPTIONS).status_code, 200)
        body = {"Destination": subscriber.url}
        self.assertEqual(viewer.post(rf.url + SUBSCRIPTIONS, json=body).status_code, 403)
        self.assertEqual(viewer.get(rf.url + "/redfish/v1/EventService/SSE").status_code, 403)
        answer = op.post(rf.url + SUBSCRIPTIONS, json=body)
        self.assertEqual(answer.status_code, 201, answer.text)
        self.assertEqual(viewer.delete(rf.url + answer.headers["Location"]).status_code, 403)
        self.assertEqual(op.delete(rf.url + answer.headers["Location"]).status_code, 204)
        bad = rf.session().post(rf.url + SUBSCRIPTIONS, json={"Destination": "ftp://x/"})
        self.assertEqual(bad.status_code, 400)

        stream = Stream(rf)
        self.addCleanup(stream.close)
        logs = Stream(rf, "?$filter=ResourceType%20eq%20'LogEntry'%20or%20MessageId%20eq%20"
                          "'ResourceEvent.1.4.TestMessage'")
        self.addCleanup(logs.close)
        bad = rf.get("/redfish/v1/EventService/SSE?$filter=Severity%20gt%201")
        self.assertEqual(bad.status_code, 400)
        wait_for(lambda: os.path.exists(os.path.join(rf.state_dir, "event_log_cursors.json")))
        time.sleep(0.5)  # the stream is open before the first event
        manager = "/redfish/v1/Managers/c1"
        entries = manager + "/LogServices/EventLog/Entries"
        count = rf.get(entries).json()["Members@odata.count"]
        add_entry(fleet.addresses[0], 0x0102)
        wait_for(lambda: not subscriber.events.empty())
        rf.session().patch(rf.url + "/redfish/v1/SessionService",
                           json={"SessionTimeout": 600}).raise_for_status()
        events.submit_test_event("1", "2026-01-01T00:00:00Z", "Alert", "hello", [],
                                 "ResourceEvent.1.4.TestMessage", manager, "OK")
        fleet.stop()
        wait_for(lambda: subscriber.events.qsize() >= 4)
        fleet.start()
        expected = [
            ("ResourceEvent.1.4.ResourceCreated", "%s/%d" % (entries, count + 1)),
            ("ResourceEvent.1.4.ResourceChanged", "/redfish/v1/SessionService"),
            ("ResourceEvent.1.4.TestMessage", manager),
            ("ResourceEvent.1.4.ResourceStatusChangedCritical", manager),
            ("ResourceEvent.1.4.ResourceStatusChangedOK", manager),
        ]
        self.assertEqual(message_ids(subscriber.events, 5, 60), expected)
        self.assertEqual(message_ids(stream.events, 5), expected)
        self.assertEqual(message_ids(logs.events, 2), [expected[0], expected[2]])
        # What was sent and the subscription follow the DMTF schemas.
        store = SchemaStore(SCHEMAS)
        for event in subscriber.received:
            self.assertEqual(event["Context"], "fleet-1")
            store.validate(event, "Event.v1_13_0.json", "Event")
        self.assertEqual(subscriber.received[0]["Events"][0]["MessageSeverity"], "Warning")
        path = SUBSCRIPTIONS + "/" + created.identity
        check_document(store, path, rf.get(path).json())

        # A restart repeats nothing and keeps the subscription and the log's place.
        rf.stop()
        rf.start()
        time.sleep(1.5)
        self.assertTrue(subscriber.events.empty())
        add_entry(fleet.addresses[0], 0x0103)
        self.assertEqual(message_ids(subscriber.events, 1)[0][1],
                         "%s/%d" % (entries, count + 2))
        time.sleep(1)
        self.assertTrue(subscriber.events.empty())

        # A subscriber that keeps failing is suspended after its retries, then resumed.
        subscriber.status = 500
        posts = subscriber.posts
        # One that nobody listens to and asks to be removed after its retries.
        dead = rf.session().post(rf.url + SUBSCRIPTIONS, json={
            "Destination": "http://127.0.0.1:9/", "DeliveryRetryPolicy": "TerminateAfterRetries"})
        self.assertEqual(dead.status_code, 201, dead.text)
        events.submit_test_event("2", "2026-01-01T00:00:00Z", "Alert", "again", [],
                                 "ResourceEvent.1.4.TestMessage", manager, "OK")
        wait_for(lambda: rf.get(path).json()["Status"]["State"] == "Disabled")
        self.assertEqual(subscriber.posts - posts, 1 + 2)  # the first try and two retries
        wait_for(lambda: rf.get(dead.headers["Location"]).status_code == 404)
        subscriber.status = 200
        action = rf.url + path + "/Actions/EventDestination.ResumeSubscription"
        self.assertEqual(rf.session().post(action, json={}).status_code, 204)
        self.assertEqual(rf.get(path).json()["Status"]["State"], "Enabled")
        events.submit_test_event("3", "2026-01-01T00:00:00Z", "Alert", "back", [],
                                 "ResourceEvent.1.4.TestMessage", manager, "OK")
        self.assertEqual(message_ids(subscriber.events, 1)[0][0],
                         "ResourceEvent.1.4.TestMessage")
        rf.stop()
        self.assertEqual(rf.process.returncode, 0)
        self.assertNotIn("Sanitizer", rf.output())


if __name__ == "__main__":
    unittest.main()
