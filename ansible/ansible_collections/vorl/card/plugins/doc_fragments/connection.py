# -*- coding: utf-8 -*-
"""How every vorl.card module reaches its card."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type


class ModuleDocFragment(object):

    DOCUMENTATION = r'''
options:
  card:
    description:
      - The card's IP address (TCP port 6577). Required unless I(host_interface=true).
    type: str
  user:
    description:
      - The card account to log in with.
      - Taken from the environment variable C(VORL_USER) when not given.
    type: str
  password:
    description:
      - The password of I(user). It reaches vorlcli only through its environment
        (C(VORL_PASSWORD)), never its command line, and is never returned or logged.
      - Taken from the environment variable C(VORL_PASSWORD) when not given.
    type: str
  host_interface:
    description:
      - Talk to the card in the managed server itself through its USB host interface
        (C(vorlcli -cd)), without a login. The module then runs on that server, not on the
        controller, and needs the rights vorlcli needs there.
    type: bool
    default: false
  vorlcli_path:
    description:
      - The vorlcli program to run (a name looked up on C(PATH), or a path).
    type: path
    default: vorlcli
  timeout:
    description:
      - Seconds one vorlcli run may take before it is stopped and the task fails, so that a
        card that stops answering fails its host, not the play. A complete flash takes longer
        than the default on slow links.
    type: int
    default: 120
notes:
  - Modules of this collection run where vorlcli runs. For cards over the network that is the
    controller (C(delegate_to=localhost) or C(connection=local)); I(card) names the card.
  - A failure carries the card's message as C(msg) and C(status) (vorlcli's exit status),
    C(stage) (C(connect), C(login), C(words), C(timeout)) when it stopped before the command,
    and C(command), the words with secrets masked.
requirements:
  - vorlcli 1.6.4.3 or later (with C(--json)) on the host that runs the module.
attributes:
  check_mode:
    description: Reads the card and reports what would change; sends nothing that changes it.
    support: full
'''

    SAVE = r'''
options:
  save:
    description:
      - When the module changed the card, make the card's configuration permanent at the end
        (C(vorlcli -flash -saveconfig)), as M(vorl.card.vorl_save_config) does. Without it
        the card keeps the change until it restarts.
    type: bool
    default: false
'''
