"""vorl_redfish when cards fail: a dead card, a silent one, a refusing one and one that drops the
service's session. Each gets the right status and error body at once or within the card timeout,
never a hang, and the healthy card answers all the while."""

import concurrent.futures
import json
import shutil
import tempfile
import time
import unittest

from redfishtest import VORL_REDFISH, Redfish
from vorltest import DEFAULT_PASSWORD, HostSim, Sim, devlink_statistics, fresh_address, run_cli

CARD_TIMEOUT = 2.0


def message_ids(answer):
    return [m["MessageId"] for m in answer.json()["error"]["@Message.ExtendedInfo"]]


@unittest.skipUnless(VORL_REDFISH, "vorl_redfish is not built")
class CardFaultsTest(unittest.TestCase):
    def setUp(self):
        self.healthy = Sim().start()
        self.silent = Sim("--no-reply=0x0001").start()  # takes connections, never answers
        self.refusing = Sim("--force-status=0x0A01:5,0x0300:5").start()
        self.dropping = Sim().start()
        self.dead = fresh_address()  # nothing listens there
        for sim in (self.healthy, self.silent, self.refusing, self.dropping):
            self.addCleanup(sim.__exit__)
        self.service = Redfish([("healthy", self.healthy.address), ("silent", self.silent.address),
                                ("refusing", self.refusing.address),
                                ("dropping", self.dropping.address), ("dead", self.dead)],
                               settings="card_timeout: %ds\n" % CARD_TIMEOUT).start()
        self.addCleanup(self.service.__exit__)
        self.http = self.service.session("root")

    def get(self, path):
        started = time.monotonic()
        answer = self.http.get(self.service.url + path, timeout=30)
        return answer, time.monotonic() - started

    def assertUnavailable(self, answer):
        self.assertEqual(answer.status_code, 503, answer.text)
        self.assertGreaterEqual(int(answer.headers["Retry-After"]), 1)
        self.assertIn("Base.1.22.ServiceTemporarilyUnavailable", message_ids(answer))

    def test_dead_and_silent_cards_answer_503_in_time_while_others_answer(self):
        answer, seconds = self.get("/redfish/v1/Managers/dead")
        self.assertUnavailable(answer)
        self.assertLess(seconds, 1.5)

        with concurrent.futures.ThreadPoolExecutor(4) as pool:
            silent = pool.submit(self.get, "/redfish/v1/Systems/silent")
            time.sleep(0.2)
            healthy = [pool.submit(self.get, "/redfish/v1/Managers/healthy") for _ in range(3)]
            for future in healthy:
                answer, seconds = future.result()
                self.assertEqual(answer.status_code, 200, answer.text)
                self.assertLess(seconds, CARD_TIMEOUT)  # not held up by the silent card
            answer, seconds = silent.result()
        self.assertUnavailable(answer)
        self.assertLess(seconds, CARD_TIMEOUT + 1.5)
        # Known down now: answered at once until its Retry-After.
        answer, seconds = self.get("/redfish/v1/Chassis/silent")
        self.assertUnavailable(answer)
        self.assertLess(seconds, 0.5)
        # Collections need no card: a dead member is still listed.
        members = self.get("/redfish/v1/Managers")[0].json()["Members"]
        self.assertEqual(len(members), 5)

    def test_a_refusal_carries_the_cards_status_text(self):
        patch = self.http.patch(self.service.url + "/redfish/v1/Managers/refusing",
                                json={"Oem": {"Vorl": {"HeartbeatIntervalSeconds": 300}}},
                                timeout=30)
        self.assertEqual(patch.status_code, 403, patch.text)
        self.assertEqual(message_ids(patch), ["Base.1.22.UndeterminedFault"])
        self.assertIn("Permission denied", patch.json()["error"]["message"])
        reset = self.http.post(
            self.service.url + "/redfish/v1/Systems/refusing/Actions/ComputerSystem.Reset",
            json={"ResetType": "ForceRestart"}, timeout=30)
        self.assertEqual(reset.status_code, 403, reset.text)
        # Reads of the same card still work.
        self.assertEqual(self.get("/redfish/v1/Managers/refusing")[0].status_code, 200)

    def test_a_card_that_drops_the_session_is_logged_in_to_again(self):
        self.assertEqual(self.get("/redfish/v1/Managers/dropping")[0].status_code, 200)
        self.assertEqual(self.get("/redfish/v1/Chassis/dropping")[0].status_code, 200)
        self.assertEqual(devlink_statistics(self.dropping.address)["logins"], 1)
        # The card restarts: the service's connection is gone.
        address, state = self.dropping.address, self.dropping.state_dir
        self.dropping.stop()
        again = Sim(state_dir=state)
        again.address = address
        again.start()
        self.addCleanup(again.stop)
        answer, _ = self.get("/redfish/v1/Managers/dropping")
        self.assertEqual(answer.status_code, 200, answer.text)
        self.assertEqual(devlink_statistics(address)["logins"], 1)


@unittest.skipUnless(VORL_REDFISH, "vorl_redfish is not built")
class LocalCardTest(unittest.TestCase):
    def test_the_local_card_is_read_over_the_host_interface_without_a_login(self):
        with HostSim() as sim:
            service = Redfish([], extra=["--local-card"])
            service.env = sim.hostifc_env()
            with service:
                answer = service.get("/redfish/v1/Managers/local")
                self.assertEqual(answer.status_code, 200, answer.text)
                self.assertTrue(answer.json()["FirmwareVersion"])
                sensors = service.get("/redfish/v1/Chassis/local/Sensors").json()
                self.assertGreater(sensors["Members@odata.count"], 5)
            statistics = sim.devlink_statistics()
            self.assertGreater(statistics["exchanges"], 0)
            self.assertEqual(statistics["logins"], 0)


@unittest.skipUnless(VORL_REDFISH, "vorl_redfish is not built")
class PasswordChangeTest(unittest.TestCase):
    """A card account's password changed through the service on a card that drops the
    connection or refuses at one step: the error names the step and what the card holds, and
    the account is never lost."""

    def setUp(self):
        # bob is made on a card without faults; the faulty card starts from its state, so that
        # --fault-on counts the change's own requests from 1.
        self.state = tempfile.mkdtemp(prefix="vorlsim-redfish-passwd-")
        self.addCleanup(shutil.rmtree, self.state, True)
        with Sim(state_dir=self.state) as sim:
            r = run_cli("-nw", sim.address, "admin", "-user", "-add", "bob", "bob-old-pw",
                        stdin=DEFAULT_PASSWORD + "\n")
            self.assertEqual(r.code, 0, r)

    def test_each_step_keeps_the_account(self):
        cases = (
            # The connection drops on the delete: the old account is all the card holds.
            (["--half-reply=0x0501", "--fault-on=0x0501:1"], 503, "bob-old-pw",
             "deleting the account failed (the connection was lost)"),
            # The card refuses the add: the old account is put back.
            (["--force-status=0x0500:18", "--fault-on=0x0500:1"], 500, "bob-old-pw",
             "adding the account with its new password failed (Insufficient space)"),
            (["--half-reply=0x0500", "--fault-on=0x0500:1"], 200, "bob-new-Pw-9", None),
        )
        for options, status, held, step in cases:
            with self.subTest(options=options), Sim(*options, state_dir=self.state) as sim:
                with Redfish([("c1", sim.address)]) as service:
                    answer = service.session("root").patch(
                        service.url + "/redfish/v1/Managers/c1/RemoteAccountService/Accounts/bob",
                        json={"Password": "bob-new-Pw-9"}, timeout=60)
                    if step is None:
                        self.assertEqual(answer.status_code, 200, answer.text)
                    else:
                        self.assertEqual(answer.status_code, status, answer.text)
                        first = answer.json()["error"]["@Message.ExtendedInfo"][0]["Message"]
                        self.assertIn("card c1: " + step, first)
                        self.assertIn("bob has its old password", first)
                r = run_cli("--json", "-nw", sim.address, "admin", "-user", "-listAll",
                            env={"VORL_PASSWORD": DEFAULT_PASSWORD})
                users = {u["name"]: u["password"] for u in json.loads(r.out)["data"]["users"]}
                self.assertEqual(users, {"admin": DEFAULT_PASSWORD, "bob": held})


if __name__ == "__main__":
    unittest.main()
