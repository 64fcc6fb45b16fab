#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: vorl_network
short_description: Network settings and MAC address of a VORL card
version_added: 1.0.0
description:
  - Sets the card's network configuration (DHCP, or a static address, netmask and gateway) and
    its MAC address, writing only what differs from the card's present settings.
  - The card takes a new static address at once, so its answer to that command never arrives;
    vorlcli waits about a second for a refusal and then counts the change as made. A refusal
    fails the task with the card's message. Later tasks must reach the card at its new address.
  - A new MAC address makes the card restart (vorlcli waits 3 seconds for it); it is written
    before the address settings.
  - With I(save=true) the configuration is saved through I(card); after a change to another
    address (or to DHCP) over the network, save it at the card's new address instead.
extends_documentation_fragment:
  - vorl.card.connection
  - vorl.card.connection.SAVE
options:
  method:
    description:
      - C(dhcp) or C(static). Without it the address settings are left as they are, and
        I(address), I(netmask) and I(gateway) are an error.
    type: str
    choices: [dhcp, static]
  address:
    description:
      - The static IPv4 address (dotted decimal). Required with I(method=static), an error
        without it.
    type: str
  netmask:
    description:
      - The netmask, dotted decimal with its one bits first (C(255.255.255.0), not
        C(255.0.255.0)). Required with I(method=static).
    type: str
  gateway:
    description: The gateway. Required with I(method=static).
    type: str
  mac_address:
    description:
      - The card's MAC address, six pairs of hexadecimal digits separated by C(:), in any case.
    type: str
attributes:
  diff_mode:
    description: Shows the network settings before and after.
    support: full
author:
  - VORL host suite developers
'''

EXAMPLES = r'''
- name: Static address for the card
  vorl.card.vorl_network:
    card: "{{ card }}"
    method: static
    address: "{{ card }}"
    netmask: 255.255.255.0
    gateway: 192.0.2.1
    save: true
  delegate_to: localhost

- name: The MAC address from the inventory
  vorl.card.vorl_network:
    card: "{{ card }}"
    mac_address: "{{ card_mac }}"
  delegate_to: localhost
'''

RETURN = r'''
network:
  description:
    - The network settings as read before the run, with what this run wrote (or would write,
      in check mode) in their place.
  returned: always
  type: dict
  contains:
    method:
      description: C(dhcp) or C(static).
      type: str
    address:
      description: The card's address.
      type: str
    netmask:
      description: The netmask.
      type: str
    gateway:
      description: The gateway.
      type: str
    mac_address:
      description: The MAC address, lower case.
      type: str
  sample:
    method: static
    address: 192.0.2.10
    netmask: 255.255.255.0
    gateway: 192.0.2.1
    mac_address: 00:2a:3b:4c:5d:1d
written:
  description: What was sent to the card, C(address) and/or C(mac_address).
  returned: always
  type: list
  elements: str
saved:
  description: Whether the configuration was made permanent (I(save=true) and a change).
  returned: always
  type: bool
'''

import re

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vorl.card.plugins.module_utils.vorlcli import (
    VorlCli, connection_argument_spec)

MAC = re.compile(r"^[0-9a-fA-F]{2}(:[0-9a-fA-F]{2}){5}$")
KEYS = ("method", "address", "netmask", "gateway", "mac_address")


def valid_ipv4(text):
    parts = text.split(".")
    return len(parts) == 4 and all(p.isdigit() and len(p) <= 3 and int(p) <= 255 for p in parts)


def valid_netmask(text):
    """One bits first, then zero bits, and at least one of them set."""
    value = 0
    for part in text.split("."):
        value = value << 8 | int(part)
    inverted = ~value & 0xFFFFFFFF
    return value != 0 and inverted & (inverted + 1) == 0


def check_options(module):
    """Everything the card would refuse or silently ignore, before it is contacted."""
    params = module.params
    for key in ("address", "netmask", "gateway"):
        if params[key] is not None and not valid_ipv4(params[key]):
            module.fail_json(msg="%s is not a dotted-decimal IPv4 address: %s"
                                 % (key, params[key]))
        if params[key] is not None and params["method"] != "static":
            module.fail_json(msg="%s is only for method: static (without a method the address "
                                 "settings are left as they are)" % key)
    if params["netmask"] is not None and not valid_netmask(params["netmask"]):
        module.fail_json(msg="netmask must have its one bits first, like 255.255.255.0: %s"
                             % params["netmask"])
    if params["mac_address"] is not None and not MAC.match(params["mac_address"]):
        module.fail_json(msg="mac_address must be six pairs of hexadecimal digits separated "
                             "by ':': %s" % params["mac_address"])


def read_network(cli):
    """The card's settings under this module's names (the one place that reads the document's
    fields)."""
    data = cli.data(["-net", "-GetConfig"])
    return dict((key, data.get(key)) for key in KEYS)


def address_words(params, current):
    """The command that brings the address settings where asked, or None."""
    if params["method"] == "dhcp" and current["method"] != "dhcp":
        return ["-net", "-SetDHCP"]
    if params["method"] == "static":
        wanted = (params["address"], params["netmask"], params["gateway"])
        if current["method"] != "static" or wanted != (
                current["address"], current["netmask"], current["gateway"]):
            return ["-net", "-SetStatic"] + list(wanted)
    return None


def main():
    options = connection_argument_spec()
    options.update(
        method=dict(type="str", choices=["dhcp", "static"]),
        address=dict(type="str"),
        netmask=dict(type="str"),
        gateway=dict(type="str"),
        mac_address=dict(type="str"),
    )
    module = AnsibleModule(argument_spec=options, supports_check_mode=True,
                           required_if=[("method", "static", ("address", "netmask",
                                                              "gateway"))])
    check_options(module)
    params = module.params
    cli = VorlCli(module)
    current = read_network(cli)
    network = dict(current)
    written = []

    mac = params["mac_address"]
    if mac is not None and mac.lower() != current["mac_address"]:
        written.append("mac_address")
        network["mac_address"] = mac.lower()
        if not module.check_mode:
            # The card asks before it takes a MAC address, then restarts: first, so that the
            # restart cannot lose an address written before it.
            cli.run(["-net", "-SetMAC", mac.lower()], assume_yes=True)

    words = address_words(params, current)
    if words:
        written.append("address")
        network["method"] = params["method"]
        if params["method"] == "static":
            network.update(address=params["address"], netmask=params["netmask"],
                           gateway=params["gateway"])
        if not module.check_mode:
            cli.run(words)

    cli.finish(bool(written), diff=dict(before=current, after=network), network=network,
               written=written)


if __name__ == "__main__":
    main()
