#!/usr/bin/python3
"""What stands in for `ansible-test sanity`, which installs its requirements with pip and so
cannot run offline: every module's documentation renders with ansible-doc and its EXAMPLES
are YAML, every Python file compiles, yamllint passes the YAML files (strict), and the README's
example inventory and playbook pass ansible-playbook --syntax-check."""

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


def check_readme_example(env, problems):
    with open(os.path.join(COLLECTION, "README.md")) as f:
        blocks = re.findall(r"```yaml\n(.*?)```", f.read(), re.S)
    if len(blocks) != 2:
        problems.append("README: expected an inventory and a playbook, found %d" % len(blocks))
        return
    with tempfile.TemporaryDirectory() as folder:
        paths = [os.path.join(folder, name) for name in ("inventory.yml", "vorl.yml")]
        for path, block in zip(paths, blocks):
            with open(path, "w") as f:
                f.write(block)
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
