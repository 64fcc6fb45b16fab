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
    runs repeatedly. In check mode the module logs in and reads the card (so a wrong password
    or a dead card fails as the real run would), sends no action and reports C(changed).
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
attributes:
  diff_mode:
    description: Shows the action to be sent (the card cannot report the power state).
    support: full
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

def diff_result(module, diff):
    return dict(diff=diff) if module._diff else {}


ACTIONS = {"on": ("PowerUp", "power_up"), "off": ("PowerDown", "power_down"),
           "reset": ("Reset", "reset"), "cycle": ("PowerCycle", "power_cycle")}


def main():
    options = connection_argument_spec(changes_card=False)
    options.update(state=dict(type="str", choices=list(ACTIONS), required=True))
    module = AnsibleModule(argument_spec=options, supports_check_mode=True)
    cli = VorlCli(module)
    word, action = ACTIONS[module.params["state"]]
    diff = dict(before=dict(action=None), after=dict(action=action))
    if module.check_mode:
        cli.probe()
        module.exit_json(changed=True, power=dict(action=action, performed=False),
                         **diff_result(module, diff))
    # vorlcli keeps exit status 0 for a refused action; its "ok" is false then, and run() fails
    # the task naming the card and the card's answer.
    document = cli.run(["-HostCtrl", word])
    if not (document.get("data") or {}).get("performed"):
        cli.fail(document)
    module.exit_json(changed=True, power=dict(action=action, performed=True),
                     **diff_result(module, diff))


if __name__ == "__main__":
    main()
