"""vorl_redfish against the DMTF's JSON Schemas: a crawler walks every link from the service root
of a two-card fleet (log entries, accounts and SNMP users on the cards, a sensor that fails to
read) and validates every answer against the schema of its @odata.type; $metadata names every
namespace served; error bodies follow the Redfish error schema. The schemas are the DMTF's,
copied beside this test (redfish_schemas/, BSD licence)."""

import os
import unittest
import xml.etree.ElementTree as ElementTree

from redfish_crawl import SchemaStore, check_document, crawl, schema_of
from redfishtest import VORL_REDFISH, Fleet, Redfish
from vorltest import CardConnection

SCHEMAS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "redfish_schemas")
# Set to the DMTF bundle's json-schema folder to list the schema files the crawl needs.
SCHEMA_SOURCE = os.environ.get("VORL_REDFISH_SCHEMA_SOURCE", SCHEMAS)


def add_records(address):
    """An SNMP user and two event log records on a card, straight through the card protocol."""
    with CardConnection(address) as card:
        assert card.login() == 0
        record = b"trapper".ljust(32, b"\0") + b"SHA".ljust(32, b"\0") + \
            b"DES".ljust(32, b"\0") + b"trap-pass1".ljust(32, b"\0")
        assert card.transact(0x0506, record)[0] == 0
        for event, severity in ((0x0507, 8), (0x0201, 16)):
            entry = bytearray(48)
            entry[10:12] = event.to_bytes(2, "big")
            entry[12] = severity
            assert card.transact(0x0402, bytes(entry))[0] == 0


@unittest.skipUnless(VORL_REDFISH, "vorl_redfish is not built")
class SchemaCrawlTest(unittest.TestCase):
    def test_every_resource_follows_its_dmtf_schema(self):
        with Fleet(2) as fleet:
            for address in fleet.addresses:
                add_records(address)
            cards = [("c%d" % i, a) for i, a in enumerate(fleet.addresses, 1)]
            with Redfish(cards) as service:
                http = service.session("root")

                def get(path):
                    answer = http.get(service.url + path, timeout=30)
                    return answer.status_code, answer.json()

                # A session of its own, so that a Session resource is there to be checked.
                login = http.post(service.url + "/redfish/v1/SessionService/Sessions",
                                  json={"UserName": "viewer", "Password": "Viewer-Pass-3"},
                                  timeout=30)
                self.assertEqual(login.status_code, 201, login.text)
                store = SchemaStore(SCHEMA_SOURCE)
                seen = crawl(get, store)
                types = {t.split(".")[0] for t in seen.values()}
                for expected in ("#ServiceRoot", "#Manager", "#ComputerSystem", "#Chassis",
                                 "#Sensor", "#Thermal", "#Power", "#LogService",
                                 "#ManagerAccount", "#SoftwareInventory", "#EthernetInterface",
                                 "#ManagerNetworkProtocol", "#Role", "#SessionService",
                                 "#UpdateService", "#AccountService", "#Session"):
                    self.assertIn(expected, types)
                # The log's entries are given whole in their collection and one by one.
                status, entry = get("/redfish/v1/Managers/c1/LogServices/EventLog/Entries/2")
                self.assertEqual(status, 200)
                check_document(store, entry["@odata.id"], entry)
                self.assertEqual(entry["Severity"], "Critical")

                # $metadata refers to the namespace of every type served.
                metadata = http.get(service.url + "/redfish/v1/$metadata", timeout=30)
                self.assertEqual(metadata.headers["Content-Type"].split(";")[0],
                                 "application/xml")
                included = {e.get("Namespace") for e in ElementTree.fromstring(
                    metadata.content).iter("{http://docs.oasis-open.org/odata/ns/edmx}Include")}
                for odata_type in set(seen.values()):
                    self.assertIn(odata_type[1:].rpartition(".")[0], included, odata_type)
                # /redfish/v1/odata lists what the root links to.
                odata = http.get(service.url + "/redfish/v1/odata", timeout=30).json()
                root = get("/redfish/v1/")[1]
                for service_entry in odata["value"]:
                    self.assertIn(service_entry["url"].rstrip("/"),
                                  [l.rstrip("/") for l in _root_links(root)])

                # Errors are Redfish error bodies whose messages follow Message's schema.
                for method, path, body, code in (
                        ("GET", "/redfish/v1/Managers/nothing", None, 404),
                        ("DELETE", "/redfish/v1/Systems/c1", None, 405),
                        ("PATCH", "/redfish/v1/Managers/c1", {"Bogus": 1}, 400),
                        ("POST", "/redfish/v1/Systems/c1/Actions/ComputerSystem.Reset",
                         {"ResetType": "Nmi"}, 400)):
                    answer = http.request(method, service.url + path, json=body, timeout=30)
                    self.assertEqual(answer.status_code, code, answer.text)
                    store.validate(answer.json(), "redfish-error.v1_0_2.json", "RedfishError")
                    for message in answer.json()["error"]["@Message.ExtendedInfo"]:
                        store.validate(message, *schema_of(message["@odata.type"]))
                if SCHEMA_SOURCE != SCHEMAS:
                    print("schema files used:", " ".join(sorted(store.used)))


def _root_links(root):
    links = ["/redfish/v1/"]
    for value in root.values():
        if isinstance(value, dict) and "@odata.id" in value:
            links.append(value["@odata.id"])
    links += [v["@odata.id"] for v in root.get("Links", {}).values()]
    return links


if __name__ == "__main__":
    unittest.main()
