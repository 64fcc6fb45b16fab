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
  - A failure's C(msg) names the card (its address, or the host interface), the C(stage) where
    it stopped (C(connect), C(login), C(words), C(command) or C(timeout)), what went wrong and a
    hint where to look. The result also carries C(status) (vorlcli's exit status), C(stage),
    C(card) and C(command), the words with secrets masked. A card that stops answering in the
    middle of a command fails after 60 seconds (vorlcli's wait for each answer) at stage
    C(command), status 33; I(timeout) bounds the whole vorlcli run.
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
