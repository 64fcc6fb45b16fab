# -*- coding: utf-8 -*-
"""The one bridge between the vorl.card modules and a card: runs `vorlcli --json` as a
process (an argument list, never a shell), hands it the password through its environment
only, reads the one JSON document it prints and turns a refusal into the task's failure."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import os
import subprocess

from ansible.module_utils.basic import env_fallback

MASK = "***"
# What separates the words of a vorlcli script line.
SCRIPT_SEPARATORS = frozenset(" \t,;!")
# vorlcli reads a script line in pieces of 254 characters (a longer line would run as two
# commands) and takes at most 24 words from it.
SCRIPT_LINE_CHARS = 254
SCRIPT_LINE_WORDS = 24
# How long vorlcli waits for one answer of the card before it gives up (status 33).
CARD_ANSWER_SECONDS = 60
# vorlcli's status for a failure below the card's answer: no connection, or a lost one.
CONNECTION_STATUS = 33
# What a failure shows of vorlcli's standard error (its console texts): the last lines.
STDERR_TAIL_CHARS = 2000


def connection_argument_spec(changes_card=True):
    """The options every module takes to reach its card (and `save` for modules that change it)."""
    options = dict(
        card=dict(type="str"),
        user=dict(type="str", fallback=(env_fallback, ["VORL_USER"])),
        password=dict(type="str", no_log=True, fallback=(env_fallback, ["VORL_PASSWORD"])),
        host_interface=dict(type="bool", default=False),
        vorlcli_path=dict(type="path", default="vorlcli"),
        timeout=dict(type="int", default=120),
    )
    if changes_card:
        options["save"] = dict(type="bool", default=False)
    return options


class VorlCli:
    """One card, reached by running vorlcli once per command."""

    def __init__(self, module, run=subprocess.run):
        self.module = module
        self._run = run
        params = module.params
        self.host_interface = params["host_interface"]
        self.timeout = params["timeout"]
        if self.timeout is None or self.timeout < 1:
            module.fail_json(msg="timeout must be at least 1 second")
        if not self.host_interface:
            missing = [name for name in ("card", "user", "password") if not params.get(name)]
            if missing:
                module.fail_json(msg="missing %s: a card over the network needs card, user and "
                                     "password (or VORL_USER / VORL_PASSWORD), otherwise set "
                                     "host_interface: true" % ", ".join(missing))

    def argv(self, words, assume_yes=False):
        """The whole command line: no password on it, ever."""
        params = self.module.params
        line = [params["vorlcli_path"], "--json"]
        if assume_yes:
            line.append("--yes")
        if self.host_interface:
            line.append("-cd")
        else:
            line += ["-nw", params["card"], params["user"]]
        return line + [str(word) for word in words]

    def environment(self):
        env = dict(os.environ)
        env.pop("VORL_PASSWORD", None)
        if not self.host_interface:
            env["VORL_PASSWORD"] = self.module.params["password"]
        return env

    def run(self, words, answers="", assume_yes=False, secrets=(), allow_failure=False):
        """Runs one command (or a script read from `answers` when words name -script) and returns
        its documents: one dict, or a list for script mode. Fails the task on a refusal unless
        `allow_failure`; `secrets` are masked wherever the words are reported."""
        documents = self._documents(words, answers, assume_yes, secrets)
        if not allow_failure:
            for document in documents:
                if not document.get("ok"):
                    self.fail(document, secrets)
        return documents if "-script" in words else documents[0]

    def run_script(self, commands, secrets=()):
        """Runs commands in one vorlcli session, read from its standard input as a script, so
        that words such as a new account's password never stand on a command line (which
        other users of the machine can read). Refuses, before anything runs, a line vorlcli
        would not read as one command. Fails the task on the first refused line."""
        for words in commands:
            for word in words:
                if not word or SCRIPT_SEPARATORS.intersection(word) or "\n" in word \
                        or "\r" in word:
                    self.module.fail_json(msg="a script word cannot be empty or hold blanks, "
                                              "commas, semicolons or exclamation marks",
                                          command=self.masked(words, secrets))
            line = " ".join(words)
            if len(line) > SCRIPT_LINE_CHARS or len(words) > SCRIPT_LINE_WORDS:
                self.module.fail_json(msg="a vorlcli script line holds at most %d characters "
                                          "and %d words; this one has %d and %d"
                                          % (SCRIPT_LINE_CHARS, SCRIPT_LINE_WORDS, len(line),
                                             len(words)),
                                      command=self.masked(words, secrets))
        lines = "".join(" ".join(words) + "\n" for words in commands)
        return self.run(["-script", "/dev/stdin"], answers=lines, secrets=secrets)

    def data(self, words, **kw):
        """The data of a command that must succeed and must carry data."""
        document = self.run(words, **kw)
        if document.get("data") is None:
            self.module.fail_json(msg="vorlcli gave no data for %s: it is older than this "
                                      "collection" % " ".join(words),
                                  command=self.masked(words, kw.get("secrets", ())))
        return document["data"]

    def masked(self, words, secrets):
        return [MASK if word in secrets else word for word in words]

    def use_password(self, password):
        """Later runs log in with `password` (this run changed the login account's)."""
        self.module.params["password"] = password

    def probe(self):
        """Reaches the card and logs in with a read that changes nothing, so that check mode
        fails where the real run would (a wrong password, a dead card)."""
        self.run(["-HB", "-GetHB"])

    def where(self):
        """The card as the messages name it."""
        if self.host_interface:
            return "the card's host interface on %s" % os.uname()[1]
        return "card %s" % self.module.params["card"]

    def failure(self, stage, status, what):
        """msg for a failure at `stage`: the card, what went wrong, and what to look at."""
        hints = {
            "connect": "check that the card is on and that %s answers on TCP port 6577 from "
                       "this controller" % self.module.params.get("card")
            if not self.host_interface else "check that vorlcli -cd finds the card's drive "
                                            "on this server",
            "login": "check user and password (the user option or VORL_USER, the password "
                     "option or VORL_PASSWORD)",
            "words": "vorlcli refused the command words: is it older than this collection?",
            "timeout": "raise the timeout option for slow operations (a complete flash), or "
                       "look at the card",
        }
        if stage == "command" and status == CONNECTION_STATUS:
            hint = ("the card stopped answering or dropped the connection during the command "
                    "(vorlcli waits %d s for each answer); it may be restarting or overloaded"
                    % CARD_ANSWER_SECONDS)
        elif stage == "command":
            hint = "the card refused the command"
        else:
            hint = hints.get(stage, "")
        return "%s, stage %s: %s. Hint: %s" % (self.where(), stage, what, hint)

    def fail(self, document, secrets=(), **extra):
        stage = document.get("stage") or "command"
        status = document.get("status")
        command = self.masked(document.get("command") or [], secrets)
        details = dict(status=status, command=command, stage=stage,
                       card=None if self.host_interface else self.module.params["card"])
        if "line" in document:
            details["line"] = document["line"]
        details.update(extra)
        data = document.get("data") if isinstance(document.get("data"), dict) else {}
        what = (data.get("failure") or document.get("message") or "vorlcli failed").strip()
        if stage == "command":
            what = "%s (%s, status %s)" % (what, " ".join(command), status)
        self.module.fail_json(msg=self.failure(stage, status, what), **details)

    def _documents(self, words, answers, assume_yes, secrets):
        line = self.argv(words, assume_yes)
        shown = self.masked(line[1:], secrets)
        try:
            done = self._run(line, input=answers.encode(), stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, env=self.environment(),
                             timeout=self.timeout)
        except subprocess.TimeoutExpired:
            self.module.fail_json(
                msg=self.failure("timeout", None, "vorlcli did not finish within %d seconds"
                                 % self.timeout),
                stage="timeout", command=shown, card=self.module.params.get("card"))
        except OSError as error:
            self.module.fail_json(msg="cannot run %s: %s" % (line[0], error), stage="start",
                                  command=shown)
        documents = []
        for text in done.stdout.decode("utf-8", "replace").splitlines():
            if text.strip():
                try:
                    documents.append(json.loads(text))
                except ValueError:
                    documents = []
                    break
        if not documents or not all(isinstance(d, dict) for d in documents):
            self.module.fail_json(msg="vorlcli gave no JSON document (exit status %d)"
                                      % done.returncode, stage="output", command=shown,
                                  stderr=self._tail(done.stderr, secrets))
        return documents

    def _tail(self, stream, secrets):
        text = stream.decode("utf-8", "replace")[-STDERR_TAIL_CHARS:]
        for secret in secrets:
            if secret:
                text = text.replace(secret, MASK)
        return text

    def finish(self, changed, diff=None, **result):
        """Ends the module: makes the configuration permanent first when asked and something
        changed (never in check mode). `diff` ({before, after}, secrets masked) is returned
        when Ansible runs with --diff."""
        module = self.module
        result["saved"] = False
        if changed and module.params.get("save") and not module.check_mode:
            self.save_config()
            result["saved"] = True
        if diff is not None and getattr(module, "_diff", False):
            result["diff"] = diff
        module.exit_json(changed=changed, **result)

    def save_config(self):
        self.run(["-flash", "-saveconfig"])
