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
    written by deleting and adding it again. The module leaves that to vorlcli's safe change
    (C(vorlcli -user -passwd)), which reads the account first and puts it back when the card
    refuses the add or the connection drops, failing the task with both steps named. For the
    account the module logs in with, it adds a backup account with the old password first
    (with 16 accounts on the card there is no room for it, and the task fails before anything
    changes), proves the new password with a fresh login and then removes the backup; the rest
    of the module's run (I(save)) logs in with the new password, and so must later tasks.
  - Account passwords reach vorlcli on its standard input, never on its command line. Names and
    passwords are checked first, so the card is never asked for something it would refuse.
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
attributes:
  diff_mode:
    description: Shows the account before and after; passwords only as C(********).
    support: full
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
account:
  description:
    - After a failed password change, what the card holds for the account, C(old), C(new),
      C(missing), C(other) or C(unknown); C(changed) says whether the password did change.
  returned: when a password change failed
  type: str
  sample: old
backup_account:
  description:
    - A backup account with the old password that a failed change of the module's own login
      account could not remove; delete it once the new login works.
  returned: when a password change failed and left one
  type: str
  sample: vorl-backup-1
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


# What the documents call things: read here only.
def read_logins(cli):
    """The login accounts, {name: password}."""
    return dict((u["name"], u.get("password")) for u in cli.data(["-user", "-listAll"])["users"])


def protocol(entry, key):
    """An SNMP user's protocol as the card names it (MD5, SHA, DES, NONE)."""
    return (entry.get(key + "_as_received") or entry[key]).upper()


def read_snmp_users(cli):
    """The SNMP users, {name: {auth, priv, password}}."""
    users = cli.data(["-user", "-getSnmp"])["snmp_users"]
    return dict((u["name"], dict(auth=protocol(u, "auth_protocol"),
                                 priv=protocol(u, "priv_protocol"), password=u.get("password")))
                for u in users)


SET = "********"


def shown(name, kind, present, password=SET, **more):
    """The account as --diff shows it: never its password."""
    view = dict(name=name, kind=kind, present=present)
    if present:
        view["password"] = password
        view.update(more)
    return view


def change_password(module, cli, name, password):
    """vorlcli's safe change, the new password on its standard input. A failure names the
    steps and says what the card holds; `changed` says whether the password did change."""
    document = cli.run(["-user", "-passwd", name, "-"], answers=password + "\n",
                       secrets=(password,), allow_failure=True)
    data = document.get("data") or {}
    changed = bool(data.get("password_changed"))
    logs_in_with_it = not cli.host_interface and module.params["user"] == name
    if changed and logs_in_with_it:
        cli.use_password(password)
    if not document.get("ok"):
        extra = dict(changed=changed, account=data.get("account"))
        if data.get("backup_account"):
            extra["backup_account"] = data["backup_account"]
        cli.fail(document, secrets=(password,), **extra)


def login_account(module, cli, name, password):
    accounts = read_logins(cli)
    present = name in accounts
    params = module.params
    before = shown(name, "login", present)
    after = before
    if params["state"] == "absent":
        after = shown(name, "login", False)
        if present and not module.check_mode:
            cli.run(["-user", "-del", name])
    elif not present:
        if password is None:
            module.fail_json(msg="account_password is needed to add %s" % name)
        after = shown(name, "login", True, SET + " (new)")
        if not module.check_mode:
            cli.run_script([["-user", "-add", name, password]], secrets=(password,))
    elif params["update_password"] == "always" and password is not None \
            and accounts[name] != password:
        after = shown(name, "login", True, SET + " (changed)")
        if not module.check_mode:
            change_password(module, cli, name, password)
    user = dict(name=name, kind="login", present=after["present"])
    return after != before, user, dict(before=before, after=after)


def snmp_user(module, cli, name, password):
    params = module.params
    if params["state"] == "absent":
        module.fail_json(msg="the card cannot remove an SNMP user")
    wanted = params["snmp"]
    current = read_snmp_users(cli).get(name)
    user = dict(name=name, kind="snmp", present=True, auth_protocol=wanted["auth"],
                priv_protocol=wanted["priv"])
    if current is None:
        if password is None:
            module.fail_json(msg="account_password is needed to add %s" % name)
        if not module.check_mode:
            cli.run_script([["-user", "-add", name, password, wanted["auth"], wanted["priv"]]],
                           secrets=(password,))
        after = shown(name, "snmp", True, SET + " (new)", auth_protocol=wanted["auth"],
                      priv_protocol=wanted["priv"])
        return True, user, dict(before=shown(name, "snmp", False), after=after)
    differs = current["auth"] != wanted["auth"] or current["priv"] != wanted["priv"] or \
        (params["update_password"] == "always" and password is not None and
         current["password"] != password)
    if differs:
        module.fail_json(msg="the SNMP user %s differs from what was asked, and the card "
                             "cannot change an SNMP user" % name)
    view = shown(name, "snmp", True, auth_protocol=current["auth"],
                 priv_protocol=current["priv"])
    return False, user, dict(before=view, after=view)


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
        changed, user, diff = snmp_user(module, cli, name, password)
    else:
        changed, user, diff = login_account(module, cli, name, password)
    cli.finish(changed, diff=diff, user=user)


if __name__ == "__main__":
    main()
