#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: vorl_card_info
short_description: Facts about a VORL card
version_added: 1.0.0
description:
  - Reads the card's accounts (without passwords), network settings, server information,
    firmware version, heartbeat interval, event log summary and health, and returns them as
    C(card). Changes nothing.
  - I(gather) picks the parts to read; each part costs one vorlcli run (the accounts two).
extends_documentation_fragment:
  - vorl.card.connection
options:
  gather:
    description: The parts of C(card) to read.
    type: list
    elements: str
    choices: [users, network, server_info, firmware, heartbeat, event_log, health]
    default: [users, network, server_info, firmware, heartbeat, event_log, health]
attributes:
  diff_mode:
    description: Changes nothing, so there is nothing to show.
    support: none
author:
  - VORL host suite developers
'''

EXAMPLES = r'''
- name: What the card holds
  vorl.card.vorl_card_info:
    card: "{{ card }}"
  delegate_to: localhost
  register: info

- name: Cards whose event log is nearly full
  ansible.builtin.debug:
    msg: "{{ inventory_hostname }}: {{ info.card.event_log.free_space_bytes }} bytes free"
  when: info.card.event_log.free_space_bytes < 1024
'''

RETURN = r'''
card:
  description: The parts read, by name.
  returned: always
  type: dict
  contains:
    users:
      description: Login accounts (C(kind=login)) and SNMP users (C(kind=snmp), with their
        protocols). Never passwords.
      type: list
      elements: dict
      returned: with C(users)
      sample: [{name: admin, kind: login}, {name: monitor, kind: snmp, auth_protocol: sha,
               priv_protocol: des}]
    network:
      description: C(method), C(address), C(netmask), C(gateway), C(broadcast),
        C(mac_address), C(interface) and C(up).
      type: dict
      returned: with C(network)
    server_info:
      description: C(name), C(location), C(os), C(description).
      type: dict
      returned: with C(server_info)
    firmware:
      description: C(firmware_version) and C(build_date) as the card reports them.
      type: dict
      returned: with C(firmware)
    heartbeat_interval:
      description: Seconds between the heartbeats the card expects.
      type: int
      returned: with C(heartbeat)
    event_log:
      description: C(record_count), C(free_space_bytes), C(last_addition), C(last_deletion),
        C(version), C(operations_supported).
      type: dict
      returned: with C(event_log)
    health:
      description: The card's voltages, C(name), C(volts) and C(status) (C(normal) when all is
        well) each.
      type: list
      elements: dict
      returned: with C(health)
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vorl.card.plugins.module_utils.vorlcli import (
    VorlCli, connection_argument_spec)


def users(cli):
    logins = cli.data(["-user", "-listAllUser"])["users"]
    snmp = cli.data(["-user", "-getSnmp"])["snmp_users"]
    return [dict(name=u["name"], kind="login") for u in logins] + \
        [dict(name=u["name"], kind="snmp", auth_protocol=u["auth_protocol"],
              priv_protocol=u["priv_protocol"]) for u in snmp]


def server_info(cli):
    data = cli.data(["-GetServerInfo"])
    if not data.get("available"):
        cli.module.fail_json(msg="the card did not give its server information")
    return dict((key, data[key]) for key in ("name", "location", "os", "description"))


def health(cli):
    return [dict((key, e[key]) for key in ("name", "volts", "status"))
            for e in cli.data(["-GetCardHealth"])["entries"]]


PARTS = {
    "users": users,
    "network": lambda cli: cli.data(["-net", "-GetConfig"]),
    "server_info": server_info,
    "firmware": lambda cli: cli.data(["-Gen", "-fwInfo"]),
    "heartbeat": lambda cli: cli.data(["-HB", "-GetHB"])["interval_seconds"],
    "event_log": lambda cli: cli.data(["-sel", "-selInfo"]),
    "health": health,
}
KEYS = {"heartbeat": "heartbeat_interval"}


def main():
    options = connection_argument_spec(changes_card=False)
    options.update(gather=dict(type="list", elements="str", choices=list(PARTS),
                            default=list(PARTS)))
    module = AnsibleModule(argument_spec=options, supports_check_mode=True)
    cli = VorlCli(module)
    card = {}
    for part in module.params["gather"]:
        card[KEYS.get(part, part)] = PARTS[part](cli)
    module.exit_json(changed=False, card=card)


if __name__ == "__main__":
    main()
