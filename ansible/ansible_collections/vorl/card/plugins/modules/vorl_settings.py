#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: vorl_settings
short_description: Heartbeat, mail servers, server information, name and ASR of a VORL card
version_added: 1.0.0
description:
  - Brings the card's general settings where asked. Each group of settings given is read, and
    written only when it differs; groups not given are left alone.
  - Within I(server_info) and I(asr), keys not given keep the card's present values.
  - Every value is checked against what the card can store before the card is contacted; a
    value too long for its field fails the task naming the field.
extends_documentation_fragment:
  - vorl.card.connection
  - vorl.card.connection.SAVE
options:
  heartbeat_interval:
    description:
      - Seconds between the heartbeats the card expects from the server, 240 or more.
    type: int
  card_name:
    description: The card's name, at most 32 letters, digits, C(*), C(-) or C(_).
    type: str
  smtp_servers:
    description:
      - The card's two mail servers, in order. A server not listed is written empty.
    type: list
    elements: dict
    suboptions:
      server:
        description: The mail server's address (at most 15 characters).
        type: str
        required: true
      mail_id:
        description: The mail identity the card sends as (at most 255 characters).
        type: str
        required: true
  server_info:
    description: What the card shows about the server it sits in.
    type: dict
    suboptions:
      name:
        description: The server's name (at most 32 characters).
        type: str
      location:
        description: Where it stands (at most 32 characters).
        type: str
      os:
        description: Its operating system (at most 32 characters).
        type: str
      description:
        description: A description (at most 56 characters).
        type: str
  asr:
    description: Automatic server restart when the heartbeat stops.
    type: dict
    suboptions:
      state:
        description: Whether the card restarts the server.
        type: str
        choices: [enabled, disabled]
      method:
        description: How.
        type: str
        choices: [power_cycle, reset]
      delay_seconds:
        description: Seconds without a heartbeat before it does, 240 to 65535.
        type: int
attributes:
  diff_mode:
    description: Shows the groups of settings given, before and after.
    support: full
author:
  - VORL host suite developers
'''

EXAMPLES = r'''
- name: Fleet-wide settings
  vorl.card.vorl_settings:
    card: "{{ card }}"
    heartbeat_interval: 300
    smtp_servers:
      - server: 192.0.2.25
        mail_id: vorl@example.com
    server_info:
      name: "{{ inventory_hostname }}"
      location: rack 12
    asr:
      state: enabled
      method: power_cycle
      delay_seconds: 600
    save: true
  delegate_to: localhost
'''

RETURN = r'''
settings:
  description:
    - The settings of the groups given, as they are on the card after the run (in check mode,
      as they would be).
  returned: always
  type: dict
  sample:
    heartbeat_interval: 300
    card_name: rack12-web1
    smtp_servers:
      - {server: 192.0.2.25, mail_id: vorl@example.com}
      - {server: "", mail_id: ""}
    server_info: {name: web1, location: rack 12, os: "", description: ""}
    asr: {state: enabled, method: power_cycle, delay_seconds: 600}
written:
  description: The groups of settings that were written (or would be, in check mode).
  returned: always
  type: list
  elements: str
  sample: [heartbeat_interval, asr]
saved:
  description: Whether the configuration was made permanent (I(save=true) and a change).
  returned: always
  type: bool
'''

import re

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vorl.card.plugins.module_utils.vorlcli import (
    VorlCli, connection_argument_spec)

CARD_NAME = re.compile(r"^[A-Za-z0-9*_-]{0,32}$")
SERVER_INFO_WORDS = (("name", "-ServerName"), ("location", "-ServerLocn"), ("os", "-ServerOS"),
                     ("description", "-ServerDesc"))
ASR_STATE_WORDS = {"enabled": "ENABLED", "disabled": "DISABLED"}
ASR_METHOD_WORDS = {"power_cycle": "POWERCYCLE", "reset": "RESET"}


def merged(wanted, current):
    return dict((key, current[key] if wanted.get(key) is None else wanted[key])
                for key in current)


def read_heartbeat(cli):
    return cli.data(["-HB", "-GetHB"])["interval_seconds"]


def read_card_name(cli):
    return cli.data(["-Gen", "-GetName"])["name"]


def read_smtp_servers(cli):
    listed = cli.data(["-Gen", "-GetSmtpCfg"])["smtp_servers"]
    return [dict(server=s["address"], mail_id=s["mail_address"]) for s in listed]


def read_server_info(cli):
    data = cli.data(["-GetServerInfo"])
    if not data.get("available"):
        cli.module.fail_json(msg="the card did not give its server information")
    return dict((key, data[key]) for key, _ in SERVER_INFO_WORDS)


def read_asr(cli):
    data = cli.data(["-ASRCfg", "-get"])
    return dict((key, data[key]) for key in ("state", "method", "delay_seconds"))


def smtp_words(target):
    words = ["-Gen", "-SetSmtpCfg"]
    for entry in target:
        words += [entry["server"], entry["mail_id"]]
    return words


def server_info_words(target):
    words = ["-setServerInfo"]
    for key, word in SERVER_INFO_WORDS:
        words += [word, target[key]]
    return words


def asr_words(target):
    return ["-ASRCfg", "-set", ASR_STATE_WORDS[target["state"]],
            ASR_METHOD_WORDS[target["method"]], str(target["delay_seconds"])]


def target_value(key, wanted, current):
    """What the card should hold: lists padded, dictionaries completed from the card."""
    if key == "smtp_servers":
        return [dict(server=e["server"], mail_id=e["mail_id"]) for e in wanted] + \
            [dict(server="", mail_id="")] * (2 - len(wanted))
    if key in ("server_info", "asr"):
        return merged(wanted, current)
    return wanted


# Each group of settings: how to read it from the card, and the words that write it.
GROUPS = (
    ("heartbeat_interval", read_heartbeat, lambda target: ["-HB", "-SetHB", str(target)]),
    ("card_name", read_card_name, lambda target: ["-Gen", "-SetName", target]),
    ("smtp_servers", read_smtp_servers, smtp_words),
    ("server_info", read_server_info, server_info_words),
    ("asr", read_asr, asr_words),
)


# The card's fields: the longest text each keeps (its width less the terminator, or the whole
# width where the card keeps a text that fills it).
SMTP_LIMITS = (("server", 15), ("mail_id", 255))
SERVER_INFO_LIMITS = (("name", 32), ("location", 32), ("os", 32), ("description", 56))
MAX_HEARTBEAT = 2147483647


def check_lengths(module, what, entry, limits):
    for key, longest in limits:
        value = entry.get(key)
        if value is not None and len(value) > longest:
            module.fail_json(msg="%s.%s is %d characters long; the card keeps at most %d"
                                 % (what, key, len(value), longest))


def check_options(module):
    params = module.params
    interval = params["heartbeat_interval"]
    if interval is not None and not 240 <= interval <= MAX_HEARTBEAT:
        module.fail_json(msg="heartbeat_interval must be 240 to %d seconds" % MAX_HEARTBEAT)
    for n, entry in enumerate(params["smtp_servers"] or [], 1):
        check_lengths(module, "smtp_servers[%d]" % n, entry, SMTP_LIMITS)
    if params["server_info"] is not None:
        check_lengths(module, "server_info", params["server_info"], SERVER_INFO_LIMITS)
    if params["card_name"] is not None and not CARD_NAME.match(params["card_name"]):
        module.fail_json(msg="card_name must be at most 32 letters, digits, *, - or _")
    if params["smtp_servers"] is not None and len(params["smtp_servers"]) > 2:
        module.fail_json(msg="the card has two mail servers; %d were given"
                             % len(params["smtp_servers"]))
    delay = (params["asr"] or {}).get("delay_seconds")
    if delay is not None and not 240 <= delay <= 65535:
        module.fail_json(msg="asr.delay_seconds must be 240 to 65535")


def main():
    options = connection_argument_spec()
    options.update(
        heartbeat_interval=dict(type="int"),
        card_name=dict(type="str"),
        smtp_servers=dict(type="list", elements="dict", options=dict(
            server=dict(type="str", required=True),
            mail_id=dict(type="str", required=True))),
        server_info=dict(type="dict", options=dict(
            name=dict(type="str"), location=dict(type="str"), os=dict(type="str"),
            description=dict(type="str"))),
        asr=dict(type="dict", options=dict(
            state=dict(type="str", choices=["enabled", "disabled"]),
            method=dict(type="str", choices=["power_cycle", "reset"]),
            delay_seconds=dict(type="int"))),
    )
    module = AnsibleModule(argument_spec=options, supports_check_mode=True)
    check_options(module)
    cli = VorlCli(module)
    settings = {}
    before = {}
    written = []
    for key, read, words in GROUPS:
        wanted = module.params[key]
        if wanted is None:
            continue
        before[key] = read(cli)
        settings[key] = target_value(key, wanted, before[key])
        if settings[key] != before[key]:
            written.append(key)
            if not module.check_mode:
                cli.run(words(settings[key]))
    cli.finish(bool(written), diff=dict(before=before, after=settings), settings=settings,
               written=written)


if __name__ == "__main__":
    main()
