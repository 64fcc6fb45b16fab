#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: vorl_power
short_description: Power the server on or off, reset or power-cycle it through its VORL card
version_added: 1.0.0
description:
  - Asks the card to act on the power of the server it sits in (C(vorlcli -HostCtrl)).
  - The card cannot report whether the server is on, so every state here is an action that is
    sent on every run and always reports C(changed). Guard the task with C(when) where a play
    runs repeatedly. In check mode nothing is sent and the task reports C(changed).
  - A card that refuses the action (for example a reset while the server is off) fails the
    task.
extends_documentation_fragment:
  - vorl.card.connection
options:
  state:
    description:
      - C(on) powers the server up, C(off) powers it down, C(reset) resets it, C(cycle) powers
        it down and up again. C(reset) and C(cycle) need the server on.
    type: str
    choices: ['on', 'off', reset, cycle]
    required: true
author:
  - VORL host suite developers
'''

EXAMPLES = r'''
- name: Power-cycle the hung servers
  vorl.card.vorl_power:
    card: "{{ card }}"
    state: cycle
  delegate_to: localhost
  when: server_hung | default(false)
'''

RETURN = r'''
power:
  description: The action asked and whether the card performed it.
  returned: always
  type: dict
  contains:
    action:
      description: C(power_up), C(power_down), C(reset) or C(power_cycle).
      type: str
      sample: power_cycle
    performed:
      description: Whether the card performed it (false in check mode).
      type: bool
      sample: true
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vorl.card.plugins.module_utils.vorlcli import (
    VorlCli, connection_argument_spec)

ACTIONS = {"on": ("PowerUp", "power_up"), "off": ("PowerDown", "power_down"),
           "reset": ("Reset", "reset"), "cycle": ("PowerCycle", "power_cycle")}


def main():
    options = connection_argument_spec(changes_card=False)
    options.update(state=dict(type="str", choices=list(ACTIONS), required=True))
    module = AnsibleModule(argument_spec=options, supports_check_mode=True)
    cli = VorlCli(module)
    word, action = ACTIONS[module.params["state"]]
    if module.check_mode:
        module.exit_json(changed=True, power=dict(action=action, performed=False))
    document = cli.run(["-HostCtrl", word], allow_failure=True)
    data = document.get("data") or {}
    if not document.get("ok") or not data.get("performed"):
        # vorlcli keeps exit status 0 for a refused action; "ok" tells.
        status = data.get("card_status", data.get("local_status", document.get("status")))
        module.fail_json(msg="the card did not perform %s: %s"
                             % (action, document.get("message")),
                         status=status, command=document.get("command"))
    module.exit_json(changed=True, power=dict(action=action, performed=True))


if __name__ == "__main__":
    main()
