#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: vorl_firmware
short_description: Flash a firmware image onto a VORL card when its modules differ
version_added: 1.0.0
description:
  - Compares the card's module versions with those of a firmware image (C(.ima))
    (C(vorlcli -flash -compare)) and flashes only when they differ. The card restarts after a
    flash; the module then reads the versions again and fails if the card still differs.
  - C(mode=module) writes only the modules whose version differs (C(vorlcli -flash -modules)),
    as the configuration program's module flash does; the card saves its configuration first
    and then restarts with its configuration defaults, so run firmware tasks before the tasks
    that configure the card. When the image lays its modules out differently from the card,
    only a complete flash can bring it there; the task then fails and nothing is written.
  - C(mode=complete) writes the whole image but the boot block (C(vorlcli -flash -update)), and
    the card restarts with its configuration kept or with factory settings (I(retain_config)).
  - In check mode only the comparison runs; the result tells what would be flashed.
  - A flash must not be interrupted. Give I(timeout) room for it (a complete flash writes 63
    blocks of 64 KiB).
extends_documentation_fragment:
  - vorl.card.connection
options:
  image:
    description:
      - The firmware image file, on the host that runs the module (the controller for cards
        over the network). Its name must contain C(.ima).
    type: path
    required: true
  mode:
    description: C(module) writes the differing modules; C(complete) the whole image.
    type: str
    choices: [module, complete]
    default: module
  retain_config:
    description:
      - With C(mode=complete), whether the card keeps its configuration (true) or restarts
        with factory settings (false). A module flash always restarts with the defaults.
    type: bool
    default: true
  settle_seconds:
    description:
      - After a flash, how long to keep trying to reach the restarted card before the task
        fails.
    type: int
    default: 60
attributes:
  diff_mode:
    description: Shows the card's module versions before and after.
    support: full
author:
  - VORL host suite developers
'''

EXAMPLES = r'''
- name: Firmware 2.5 where the card differs
  vorl.card.vorl_firmware:
    card: "{{ card }}"
    image: files/vorl-2.5.0.ima
    timeout: 900
  delegate_to: localhost
  throttle: 5
'''

RETURN = r'''
versions_before:
  description: The card's module versions before the run, by module name (null when the card
    has no such module).
  returned: always
  type: dict
  sample: {os: 2.4.1, web: 2.4.1, fpga: 1.0.3, diag: 1.0.0, config: 1.0.0, sdk: 1.0.0}
versions_after:
  description: The card's module versions after the run (the same as before when nothing was
    flashed or in check mode).
  returned: always
  type: dict
image_versions:
  description: The image's module versions, by module name.
  returned: always
  type: dict
flashed:
  description: The modules written (in check mode, those that would be).
  returned: always
  type: list
  elements: str
  sample: [os, web]
reset:
  description: How the card restarted after the flash, C(config_retained) or
    C(config_defaults); null when nothing was flashed.
  returned: always
  type: str
'''

import os
import time

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vorl.card.plugins.module_utils.vorlcli import (
    VorlCli, connection_argument_spec)

RETRY_PAUSE_SECONDS = 2


def finish(module, changed, **result):
    """Ends the module; with --diff, the card's module versions before and after (in check
    mode, as they would be)."""
    if module._diff:
        after = dict(result["versions_before"])
        if module.check_mode:
            after.update((name, result["image_versions"][name]) for name in result["flashed"])
        else:
            after = result["versions_after"]
        result["diff"] = dict(before=dict(versions=result["versions_before"]),
                              after=dict(versions=after))
    module.exit_json(changed=changed, **result)


def versions(comparison, key):
    return dict((m["name"], m[key]) for m in comparison["modules"])


def compare_after_restart(module, cli, image):
    """The comparison once the restarted card answers again, within settle_seconds."""
    deadline = time.monotonic() + module.params["settle_seconds"]
    words = ["-flash", "-compare", image]
    while True:
        document = cli.run(words, allow_failure=True)
        if document.get("ok") and document.get("data") is not None:
            return document["data"]
        if document.get("stage") not in ("connect", "login") or time.monotonic() > deadline:
            cli.fail(document)
        time.sleep(RETRY_PAUSE_SECONDS)


def flash(module, cli, image, comparison):
    """Writes the image as the mode asks; returns the modules written and how the card
    restarted."""
    if module.params["mode"] == "module":
        # Its one question is whether to go ahead.
        result = cli.data(["-flash", "-modules", image], assume_yes=True)
        flashed = result.get("flashed", [])
    else:
        # The update's two questions: go ahead, and keep the configuration or not.
        answers = "y\n" + ("y\n" if module.params["retain_config"] else "n\n")
        result = cli.data(["-flash", "-update", image], answers=answers)
        flashed = [m["name"] for m in comparison["modules"]]
    if result.get("cancelled"):
        module.fail_json(msg="the firmware flash was cancelled")
    return flashed, result.get("reset")


def main():
    options = connection_argument_spec(changes_card=False)
    options.update(
        image=dict(type="path", required=True),
        mode=dict(type="str", choices=["module", "complete"], default="module"),
        retain_config=dict(type="bool", default=True),
        settle_seconds=dict(type="int", default=60),
    )
    module = AnsibleModule(argument_spec=options, supports_check_mode=True)
    image = module.params["image"]
    if not os.path.isfile(image):
        module.fail_json(msg="no image file %s on %s" % (image, os.uname()[1]))
    cli = VorlCli(module)
    before = cli.data(["-flash", "-compare", image])
    differing = [m["name"] for m in before["modules"] if m["differs"]]
    result = dict(versions_before=versions(before, "card_version"),
                  versions_after=versions(before, "card_version"),
                  image_versions=versions(before, "file_version"), flashed=[], reset=None)
    complete = module.params["mode"] == "complete"
    if not differing and not (complete and before["complete_flash_required"]):
        finish(module, False, **result)
    if not complete and before["complete_flash_required"]:
        module.fail_json(msg="the image lays out its modules differently from the card: only "
                             "mode=complete can flash it", **result)
    if module.check_mode:
        result["flashed"] = [m["name"] for m in before["modules"]] if complete else differing
        finish(module, True, **result)

    result["flashed"], result["reset"] = flash(module, cli, image, before)
    after = compare_after_restart(module, cli, image)
    result["versions_after"] = versions(after, "card_version")
    still = [m["name"] for m in after["modules"] if m["differs"]]
    if still:
        module.fail_json(msg="after flashing, the card's %s still differ from the image"
                             % ", ".join(still), **result)
    finish(module, True, **result)


if __name__ == "__main__":
    main()
