#!/usr/bin/python3
"""What stands in for `ansible-test sanity`, which installs its requirements with pip and so
cannot run offline: every module's documentation renders with ansible-doc and its EXAMPLES
are YAML, every Python file compiles, yamllint passes the YAML files (strict), the README's
example inventory and playbook pass ansible-playbook --syntax-check, and both of its routes for
the secrets (Vault, environment) define every variable the playbook needs."""

import glob
import json
import os
import py_compile
import re
import subprocess
import sys
import tempfile

import yaml

COLLECTION = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
COLLECTIONS_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(COLLECTION)))


def check_module(path, env, problems):
    name = "vorl.card." + os.path.splitext(os.path.basename(path))[0]
    done = subprocess.run(["ansible-doc", "--json", name], capture_output=True, text=True,
                          env=env)
    if done.returncode != 0 or "WARNING" in done.stderr:
        problems.append("%s: ansible-doc: %s" % (name, done.stderr.strip()))
        return
    doc = json.loads(done.stdout)[name]
    if not doc.get("return") or not doc["doc"].get("attributes"):
        problems.append("%s: RETURN or attributes missing" % name)
    try:
        yaml.safe_load(doc["examples"])
    except yaml.YAMLError as error:
        problems.append("%s: EXAMPLES are not YAML: %s" % (name, error))
    if doc["doc"]["options"].get("password", {}).get("type") != "str":
        problems.append("%s: no password option" % name)


# A README block of YAML follows a line naming its file: "Inventory (`inventory.yml`):".
README_FILE = re.compile(r"\(`([^`]+\.yml)`[^)\n]*\)[^\n]*:\n\n```yaml\n(.*?)```", re.S)
# Variables Ansible itself gives every host.
MAGIC_VARIABLES = {"inventory_hostname", "groups", "hostvars", "group_names"}


def readme_files():
    """{file name: content} of the README's example files."""
    with open(os.path.join(COLLECTION, "README.md")) as f:
        return dict(README_FILE.findall(f.read()))


def inventory_variables(inventory):
    names = set()

    def walk(group):
        names.update((group or {}).get("vars") or {})
        for host in ((group or {}).get("hosts") or {}).values():
            names.update(host or {})
        for child in ((group or {}).get("children") or {}).values():
            walk(child)
    walk(inventory["all"])
    return names


def check_readme_example(env, problems):
    files = readme_files()
    wanted = ("inventory.yml", "vorl.yml", "group_vars/all/vault.yml", "group_vars/all/env.yml")
    if sorted(files) != sorted(wanted):
        problems.append("README: expected the example files %s, found %s" % (wanted, sorted(files)))
        return
    # Every variable the playbook uses comes from the inventory, from Ansible, has a default,
    # or is one of the secrets that both routes (Vault and environment) define.
    used = set(re.findall(r"\{\{\s*\(?\s*(\w+)", files["vorl.yml"]))
    defaulted = set(re.findall(r"(\w+)\s*\|\s*default\(", files["vorl.yml"]))
    secrets = used - inventory_variables(yaml.safe_load(files["inventory.yml"])) - \
        MAGIC_VARIABLES - defaulted
    for route in ("group_vars/all/vault.yml", "group_vars/all/env.yml"):
        defined = set(yaml.safe_load(files[route]))
        if defined != secrets:
            problems.append("README: %s defines %s, the playbook needs %s"
                            % (route, sorted(defined), sorted(secrets)))
    with tempfile.TemporaryDirectory() as folder:
        paths = [os.path.join(folder, name) for name in ("inventory.yml", "vorl.yml")]
        for path in paths:
            with open(path, "w") as f:
                f.write(files[os.path.basename(path)])
        done = subprocess.run(["ansible-playbook", "--syntax-check", "-i"] + paths,
                              capture_output=True, text=True, env=env)
        if done.returncode != 0:
            problems.append("README example: " + done.stdout + done.stderr)


def main():
    problems = []
    env = dict(os.environ, ANSIBLE_COLLECTIONS_PATH=COLLECTIONS_ROOT, ANSIBLE_NOCOLOR="1")
    for path in sorted(glob.glob(os.path.join(COLLECTION, "plugins", "modules", "*.py"))):
        check_module(path, env, problems)
    with tempfile.TemporaryDirectory() as cache:
        for path in glob.glob(os.path.join(COLLECTION, "**", "*.py"), recursive=True):
            try:
                py_compile.compile(path, cfile=os.path.join(cache, "x.pyc"), doraise=True)
            except py_compile.PyCompileError as error:
                problems.append(str(error))
    check_readme_example(env, problems)
    lint = subprocess.run(["yamllint", "--strict", "."], cwd=COLLECTION, capture_output=True,
                          text=True)
    if lint.returncode != 0:
        problems.append("yamllint:\n" + lint.stdout + lint.stderr)
    for problem in problems:
        print(problem)
    print("%d problem(s)" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
