# -*- coding: utf-8 -*-
"""The vorlcli wrapper with a recorded process runner: the command line it builds, where the
password goes, and how vorlcli's documents and failures become the task's result."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import os
import subprocess
import sys

import pytest

sys.path.insert(0, os.path.abspath(os.path.join(os.path.dirname(__file__), *[".."] * 5)))

from ansible_collections.vorl.card.plugins.module_utils.vorlcli import (  # noqa: E402
    VorlCli, connection_argument_spec)

PASSWORD = "s3cret-Pw"


class Ended(Exception):
    def __init__(self, failed, result):
        Exception.__init__(self, result.get("msg"))
        self.failed = failed
        self.result = result


class FakeModule:
    def __init__(self, check_mode=False, **params):
        self.params = dict(card="127.0.0.9", user="admin", password=PASSWORD,
                           host_interface=False, vorlcli_path="/opt/vorl/vorlcli", timeout=30,
                           save=False)
        self.params.update(params)
        self.check_mode = check_mode

    def fail_json(self, **result):
        raise Ended(True, result)

    def exit_json(self, **result):
        raise Ended(False, result)


def envelope(ok=True, status=0, message="Operation Success", **extra):
    document = dict(schema="vorl.hb.gethb/1", ok=ok, status=status, message=message,
                    command=["-HB", "-GetHB"], data={"interval_seconds": 240})
    document.update(extra)
    return json.dumps(document) + "\n"


class Runner:
    """Answers each run with the next of `outputs` (text, or an exception to raise)."""

    def __init__(self, *outputs):
        self.outputs = list(outputs)
        self.calls = []

    def __call__(self, argv, **kw):
        self.calls.append(dict(argv=argv, **kw))
        output = self.outputs.pop(0)
        if isinstance(output, Exception):
            raise output
        return subprocess.CompletedProcess(argv, 0, output.encode(), b"Connecting..Connected\n")


def ended(call):
    with pytest.raises(Ended) as caught:
        call()
    return caught.value


def test_network_words_and_the_password_only_in_the_environment(monkeypatch):
    monkeypatch.setenv("VORL_PASSWORD", "from-the-controller")
    runner = Runner(envelope())
    data = VorlCli(FakeModule(), run=runner).data(["-HB", "-GetHB"])
    assert data == {"interval_seconds": 240}
    call = runner.calls[0]
    assert call["argv"] == ["/opt/vorl/vorlcli", "--json", "-nw", "127.0.0.9", "admin",
                            "-HB", "-GetHB"]
    assert PASSWORD not in " ".join(call["argv"])
    assert call["env"]["VORL_PASSWORD"] == PASSWORD
    assert call["input"] == b"" and call["timeout"] == 30


def test_host_interface_has_no_login_and_passes_no_password(monkeypatch):
    monkeypatch.setenv("VORL_PASSWORD", "stale")
    runner = Runner(envelope())
    VorlCli(FakeModule(host_interface=True, card=None, user=None, password=None),
            run=runner).run(["-net", "-SetMAC", "00:2a:3b:4c:5d:1d"], assume_yes=True)
    call = runner.calls[0]
    assert call["argv"] == ["/opt/vorl/vorlcli", "--json", "--yes", "-cd", "-net", "-SetMAC",
                            "00:2a:3b:4c:5d:1d"]
    assert "VORL_PASSWORD" not in call["env"]


def test_missing_credentials_fail_before_anything_runs():
    failure = ended(lambda: VorlCli(FakeModule(password=None), run=Runner()))
    assert failure.failed and "password" in failure.result["msg"]


def test_refusals_become_failures_with_the_cards_status_and_masked_words():
    refusal = envelope(ok=False, status=15, message="User already exists ",
                       command=["-user", "-add", "bob", PASSWORD])
    cli = VorlCli(FakeModule(), run=Runner(refusal))
    failure = ended(lambda: cli.run(["-user", "-add", "bob", PASSWORD], secrets=(PASSWORD,)))
    assert failure.failed
    assert failure.result == dict(
        msg="card 127.0.0.9, stage command: User already exists (-user -add bob ***, status 15)."
            " Hint: the card refused the command",
        status=15, stage="command", card="127.0.0.9", command=["-user", "-add", "bob", "***"])

    login = envelope(ok=False, status=1, message="Invalid Username/Password!", stage="login",
                     schema="vorl.run/1")
    failure = ended(lambda: VorlCli(FakeModule(), run=Runner(login)).run(["-HB", "-GetHB"]))
    assert failure.result["stage"] == "login" and failure.result["status"] == 1
    assert failure.result["msg"].startswith("card 127.0.0.9, stage login: Invalid Username/"
                                            "Password!. Hint: check user and password")

    # A refusal the caller handles itself comes back as the document.
    cli = VorlCli(FakeModule(), run=Runner(login))
    assert cli.run(["-HB", "-GetHB"], allow_failure=True)["stage"] == "login"


def test_script_documents_come_back_in_order_and_a_failed_line_fails_the_task():
    lines = envelope() + envelope(ok=False, status=16, message="Resource does not exist",
                                  line=2, command=["-user", "-del", "nobody"])
    cli = VorlCli(FakeModule(), run=Runner(lines))
    failure = ended(lambda: cli.run(["-script", "/dev/stdin"], answers="-HB -GetHB\n"))
    assert failure.result["line"] == 2 and failure.result["status"] == 16

    cli = VorlCli(FakeModule(), run=Runner(envelope() + envelope()))
    assert len(cli.run(["-script", "/dev/stdin"], answers="a\nb\n")) == 2


def test_a_script_keeps_its_words_off_the_command_line_and_refuses_separators():
    runner = Runner(envelope() + envelope())
    cli = VorlCli(FakeModule(), run=runner)
    cli.run_script([["-user", "-del", "bob"], ["-user", "-add", "bob", PASSWORD]],
                   secrets=(PASSWORD,))
    call = runner.calls[0]
    assert call["argv"][-2:] == ["-script", "/dev/stdin"]
    assert PASSWORD not in " ".join(call["argv"])
    assert call["input"] == ("-user -del bob\n-user -add bob %s\n" % PASSWORD).encode()

    for word in ("two words", "a;b", "", "x,y", "a\rb"):
        failure = ended(lambda: VorlCli(FakeModule(), run=Runner()).run_script(
            [["-user", "-add", "bob", word]], secrets=(word,)))
        assert failure.failed and failure.result["command"][-1] == "***"

    # vorlcli would read a longer line as two commands, or refuse more words: nothing runs.
    fits = ["-gen", "-setsmtpcfg", "a" * 237]  # 254 characters with its two blanks
    runner = Runner(envelope())
    VorlCli(FakeModule(), run=runner).run_script([fits])
    assert len(runner.calls) == 1
    for words in (fits[:2] + ["a" * 238], ["-x"] + ["w"] * 24):
        runner = Runner()
        failure = ended(lambda: VorlCli(FakeModule(), run=runner).run_script([words]))
        assert failure.failed and "at most 254 characters and 24 words" in failure.result["msg"]
        assert runner.calls == []


def test_failures_name_the_card_the_stage_and_a_hint():
    dead = envelope(ok=False, status=33, message="Error during connect", stage="connect",
                    schema="vorl.run/1")
    failure = ended(lambda: VorlCli(FakeModule(), run=Runner(dead)).run(["-HB", "-GetHB"]))
    assert failure.result["msg"] == (
        "card 127.0.0.9, stage connect: Error during connect. Hint: check that the card is on "
        "and that 127.0.0.9 answers on TCP port 6577 from this controller")
    # A card that stops answering after the login: vorlcli gives up on the answer.
    silent = envelope(ok=False, status=33, message="Error during connect ")
    failure = ended(lambda: VorlCli(FakeModule(), run=Runner(silent)).run(["-HB", "-GetHB"]))
    assert failure.result["stage"] == "command" and failure.result["card"] == "127.0.0.9"
    assert "stopped answering or dropped the connection during the command" in \
        failure.result["msg"]
    # A failure that explains itself (the safe password change) is shown as it says.
    change = envelope(ok=False, status=18, message="Insufficient space",
                      data={"failure": "adding the account failed (Insufficient space); the old "
                                       "account was put back: bob has its old password"})
    failure = ended(lambda: VorlCli(FakeModule(), run=Runner(change)).run(["-HB", "-GetHB"]))
    assert "stage command: adding the account failed" in failure.result["msg"]


def test_a_hung_card_a_missing_program_and_garbage_fail_the_host():
    hung = subprocess.TimeoutExpired(["vorlcli"], 30)
    failure = ended(lambda: VorlCli(FakeModule(), run=Runner(hung)).run(["-HB", "-GetHB"]))
    assert failure.result["stage"] == "timeout" and "30 seconds" in failure.result["msg"]
    assert failure.result["msg"].startswith("card 127.0.0.9, stage timeout")

    missing = FileNotFoundError(2, "No such file or directory")
    failure = ended(lambda: VorlCli(FakeModule(), run=Runner(missing)).run(["-HB", "-GetHB"]))
    assert failure.result["stage"] == "start"

    class Garbage(Runner):
        def __call__(self, argv, **kw):
            return subprocess.CompletedProcess(argv, 8, b'{"schema": "vorl.hb',
                                               ("line : -user -add x %s" % PASSWORD).encode())

    cli = VorlCli(FakeModule(), run=Garbage())
    failure = ended(lambda: cli.run(["-user", "-add", "x", PASSWORD], secrets=(PASSWORD,)))
    assert failure.result["stage"] == "output"
    assert PASSWORD not in json.dumps(failure.result)


def test_a_diff_only_when_ansible_asks_and_later_runs_use_a_changed_password():
    diff = dict(before={"password": "********"}, after={"password": "******** (changed)"})
    for asked in (True, False):
        module = FakeModule()
        module._diff = asked
        result = ended(lambda: VorlCli(module, run=Runner()).finish(True, diff=diff)).result
        assert ("diff" in result) is asked
    runner = Runner(envelope(), envelope())
    cli = VorlCli(FakeModule(), run=runner)
    cli.use_password("new-Pw-123")
    cli.probe()
    assert runner.calls[0]["argv"][-2:] == ["-HB", "-GetHB"]
    assert runner.calls[0]["env"]["VORL_PASSWORD"] == "new-Pw-123"


@pytest.mark.parametrize("changed,check_mode,saves", [
    (True, False, True), (False, False, False), (True, True, False)])
def test_save_runs_only_after_a_real_change(changed, check_mode, saves):
    runner = Runner(envelope(schema="vorl.flash.saveconfig/1", changed=True, data={}))
    cli = VorlCli(FakeModule(check_mode=check_mode, save=True), run=runner)
    result = ended(lambda: cli.finish(changed, user={"name": "bob"})).result
    assert result["saved"] is saves and result["changed"] is changed
    assert [c["argv"][-2:] for c in runner.calls] == ([["-flash", "-saveconfig"]] if saves else [])


def test_every_module_declares_the_password_secret():
    options = connection_argument_spec()
    assert options["password"]["no_log"] is True and "save" in options
    assert "save" not in connection_argument_spec(changes_card=False)
