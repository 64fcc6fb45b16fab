#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: vorl_user
short_description: Login accounts and SNMP users of a VORL card
version_added: 1.0.0
description:
  - Makes sure a login account or an SNMP user exists on the card, with the password and
    protocols asked, or that a login account does not.
  - The card has no command that changes an account, so a new password for a login account is
    written by deleting and adding it again in one vorlcli session (also for the account the
    module logs in with). Account passwords reach vorlcli as a script on its standard input,
    never on its command line. Names and passwords are checked first, so a delete is never followed
    by an add the card would refuse.
  - The card cannot change or remove an SNMP user once added; asking for that fails the task
    and leaves the user as it is.
extends_documentation_fragment:
  - vorl.card.connection
  - vorl.card.connection.SAVE
options:
  name:
    description:
      - The account's name, at most 30 letters, digits, C(-) or C(_). Names are case-sensitive.
    type: str
    required: true
  account_password:
    description:
      - The account's password, at most 30 letters, digits, C(-) or C(_); a login account's at
        least 8. Required to add an account.
    type: str
  snmp:
    description:
      - Makes the account an SNMP user with these protocols. Without it the account is a login
        account.
    type: dict
    suboptions:
      auth:
        description: Authentication protocol.
        type: str
        choices: [MD5, SHA]
        default: MD5
      priv:
        description: Privacy protocol.
        type: str
        choices: [DES, NONE]
        default: NONE
  state:
    description:
      - C(present) adds the account when it is missing; C(absent) deletes a login account.
    type: str
    choices: [present, absent]
    default: present
  update_password:
    description:
      - C(always) compares the card's password with I(account_password) and writes it when it
        differs; C(on_create) sets it only when the account is added.
    type: str
    choices: [always, on_create]
    default: always
author:
  - VORL host suite developers
'''

EXAMPLES = r'''
- name: The operators' account, with the password from the vault
  vorl.card.vorl_user:
    card: "{{ card }}"
    user: admin
    password: "{{ vorl_admin_password }}"
    name: operator
    account_password: "{{ vorl_operator_password }}"
  delegate_to: localhost

- name: An SNMP user for the monitoring system
  vorl.card.vorl_user:
    card: "{{ card }}"
    name: monitor
    account_password: "{{ vorl_snmp_password }}"
    snmp:
      auth: SHA
      priv: DES
  delegate_to: localhost

- name: No account for the contractor, saved at once
  vorl.card.vorl_user:
    card: "{{ card }}"
    name: contractor
    state: absent
    save: true
  delegate_to: localhost
'''

RETURN = r'''
user:
  description: The account as it is now on the card (never its password).
  returned: always
  type: dict
  contains:
    name:
      description: The account's name.
      type: str
      sample: operator
    kind:
      description: C(login) or C(snmp).
      type: str
      sample: login
    present:
      description: Whether the account exists.
      type: bool
      sample: true
    auth_protocol:
      description: The SNMP user's authentication protocol.
      type: str
      returned: for SNMP users
      sample: SHA
    priv_protocol:
      description: The SNMP user's privacy protocol.
      type: str
      returned: for SNMP users
      sample: DES
saved:
  description: Whether the configuration was made permanent (I(save=true) and a change).
  returned: always
  type: bool
'''

import re

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vorl.card.plugins.module_utils.vorlcli import (
    VorlCli, connection_argument_spec)

ACCOUNT_TEXT = re.compile(r"^[A-Za-z0-9_-]*$")


def check_texts(module, name, password, snmp):
    """The card's own limits, checked before anything is sent."""
    if len(name) > 30 or not ACCOUNT_TEXT.match(name) or not name:
        module.fail_json(msg="name must be 1 to 30 letters, digits, - or _")
    if password is None:
        return
    shortest = 0 if snmp else 8
    if not shortest <= len(password) <= 30 or not ACCOUNT_TEXT.match(password):
        module.fail_json(msg="account_password must be %d to 30 letters, digits, - or _"
                             % max(shortest, 1))


def login_account(module, cli, name, password):
    users = cli.data(["-user", "-listAll"])["users"]
    current = next((u for u in users if u["name"] == name), None)
    params = module.params
    script = []
    if params["state"] == "absent":
        if current:
            script.append(["-user", "-del", name])
    elif current is None:
        if password is None:
            module.fail_json(msg="account_password is needed to add %s" % name)
        script.append(["-user", "-add", name, password])
    elif params["update_password"] == "always" and password is not None \
            and current.get("password") != password:
        script += [["-user", "-del", name], ["-user", "-add", name, password]]
    if script and not module.check_mode:
        # One session: the account may be the one this run logged in with.
        cli.run_script(script, secrets=(password,))
    present = params["state"] == "present"
    return bool(script), dict(name=name, kind="login", present=present)


def snmp_user(module, cli, name, password):
    params = module.params
    if params["state"] == "absent":
        module.fail_json(msg="the card cannot remove an SNMP user")
    wanted = params["snmp"]
    users = cli.data(["-user", "-getSnmp"])["snmp_users"]
    current = next((u for u in users if u["name"] == name), None)
    user = dict(name=name, kind="snmp", present=True, auth_protocol=wanted["auth"],
                priv_protocol=wanted["priv"])
    if current is None:
        if password is None:
            module.fail_json(msg="account_password is needed to add %s" % name)
        if not module.check_mode:
            cli.run_script([["-user", "-add", name, password, wanted["auth"], wanted["priv"]]],
                           secrets=(password,))
        return True, user
    differs = current["auth_protocol"] != wanted["auth"].lower() or \
        current["priv_protocol"] != wanted["priv"].lower() or \
        (params["update_password"] == "always" and password is not None and
         current["password"] != password)
    if differs:
        module.fail_json(msg="the SNMP user %s differs from what was asked, and the card "
                             "cannot change an SNMP user" % name)
    return False, user


def main():
    options = connection_argument_spec()
    options.update(
        name=dict(type="str", required=True),
        account_password=dict(type="str", no_log=True),
        snmp=dict(type="dict", options=dict(
            auth=dict(type="str", choices=["MD5", "SHA"], default="MD5"),
            priv=dict(type="str", choices=["DES", "NONE"], default="NONE"))),
        state=dict(type="str", choices=["present", "absent"], default="present"),
        update_password=dict(type="str", choices=["always", "on_create"], default="always",
                             no_log=False),
    )
    module = AnsibleModule(argument_spec=options, supports_check_mode=True)
    cli = VorlCli(module)
    name = module.params["name"]
    password = module.params["account_password"]
    snmp = module.params["snmp"] is not None
    check_texts(module, name, password, snmp)
    if snmp:
        changed, user = snmp_user(module, cli, name, password)
    else:
        changed, user = login_account(module, cli, name, password)
    cli.finish(changed, user=user)


if __name__ == "__main__":
    main()
