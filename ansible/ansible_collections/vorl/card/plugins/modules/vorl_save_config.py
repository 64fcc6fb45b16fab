#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: vorl_save_config
short_description: Make a VORL card's present configuration permanent
version_added: 1.0.0
description:
  - Saves the card's configuration (C(vorlcli -flash -saveconfig)) so that it survives a
    restart of the card. Until then changes made by the other modules, or by anyone, last only
    until the card restarts.
  - The card cannot tell whether its configuration differs from the saved one, so the module
    always saves and reports C(changed). Use it as a handler notified by the tasks that
    changed something, or give those tasks I(save=true).
  - In check mode the module logs in and reads the card (so a wrong password or a dead card
    fails as the real run would), saves nothing and reports C(changed).
extends_documentation_fragment:
  - vorl.card.connection
attributes:
  diff_mode:
    description: Shows the configuration going from the card's memory to its flash.
    support: full
author:
  - VORL host suite developers
'''

EXAMPLES = r'''
# In a play: tasks notify the handler when they changed the card.
- name: Save the card's configuration
  vorl.card.vorl_save_config:
    card: "{{ card }}"
  delegate_to: localhost
'''

RETURN = r'''
saved:
  description: Whether the configuration was saved (false in check mode).
  returned: always
  type: bool
  sample: true
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vorl.card.plugins.module_utils.vorlcli import (
    VorlCli, connection_argument_spec)


def main():
    module = AnsibleModule(argument_spec=connection_argument_spec(changes_card=False),
                           supports_check_mode=True)
    cli = VorlCli(module)
    if module.check_mode:
        cli.probe()
    else:
        cli.save_config()
    result = dict(changed=True, saved=not module.check_mode)
    if module._diff:
        result["diff"] = dict(before=dict(configuration="in the card's memory only"),
                              after=dict(configuration="saved"))
    module.exit_json(**result)


if __name__ == "__main__":
    main()
