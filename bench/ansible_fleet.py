#!/usr/bin/python3
"""Times the collection vorl.card over a fleet: bench/ansible_fleet.yml (users, network,
settings) with ansible-playbook against CARDS simulated cards (one vorlsim), forks FORKS, twice:
the first run changes every card, the second finds nothing to do. Reports each run's wall time
and the share of the workers' time spent inside vorlcli, measured by a shell shim (given as
vorlcli_path) that logs each vorlcli run's wall time; the rest is Ansible's own work (forking
workers, shipping and starting each module's Python). Asserts nothing.
    bench/ansible_fleet.py [BUILD_DIR] [CARDS] [FORKS]     (default build/release, 50, 10)"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SHIM = """#!/bin/sh
start=$(date +%%s%%N)
"%s" "$@"
status=$?
echo $(( $(date +%%s%%N) - start )) >> "%s"
exit $status
"""


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                            os.path.join(ROOT, "build", "release"))
    cards = int(sys.argv[2]) if len(sys.argv) > 2 else 50
    forks = int(sys.argv[3]) if len(sys.argv) > 3 else 10
    work = tempfile.mkdtemp(prefix="vorl-fleet-bench-")
    first = "127.%d.%d.1" % (os.getpid() >> 8 & 0xFF, os.getpid() & 0xFF)
    prefix = first.rsplit(".", 1)[0]
    sim = subprocess.Popen([os.path.join(build, "cardsim", "vorlsim"), "--listen", first,
                            "--cards", str(cards), "--devlink-port=0", "--state-dir",
                            os.path.join(work, "state")], stdout=subprocess.DEVNULL)
    try:
        time.sleep(1)
        log = os.path.join(work, "vorlcli-ns.log")
        shim = os.path.join(work, "vorlcli")
        with open(shim, "w") as f:
            f.write(SHIM % (os.path.join(build, "cli", "vorlcli"), log))
        os.chmod(shim, 0o700)
        with open(os.path.join(work, "inventory.ini"), "w") as f:
            f.write("[cards]\n")
            for n in range(1, cards + 1):
                f.write("card%03d card=%s.%d\n" % (n, prefix, n))
            f.write("[all:vars]\nansible_python_interpreter=/usr/bin/python3\nvorlcli=%s\n"
                    % shim)
        env = dict(os.environ, ANSIBLE_FORKS=str(forks), ANSIBLE_NOCOLOR="1",
                   ANSIBLE_COLLECTIONS_PATH=os.path.join(ROOT, "ansible"),
                   ANSIBLE_LOCAL_TEMP=os.path.join(work, "tmp"))
        print("%d cards, forks %d, vorlcli from %s" % (cards, forks, build))
        for run in ("first run (changes)", "second run (no change)"):
            if os.path.exists(log):
                os.remove(log)
            start = time.monotonic()
            done = subprocess.run(["ansible-playbook", "-i", os.path.join(work, "inventory.ini"),
                                   os.path.join(ROOT, "bench", "ansible_fleet.yml")],
                                  capture_output=True, text=True, env=env)
            wall = time.monotonic() - start
            recap = re.findall(r"changed=(\d+)\s+unreachable=(\d+)\s+failed=(\d+)", done.stdout)
            with open(log) as f:
                runs = [int(line) for line in f if line.strip()]
            inside = sum(runs) / 1e9
            print("%-24s wall %6.1f s  changed %4d  failed %d  vorlcli runs %4d  "
                  "mean %5.1f ms  inside vorlcli %5.1f %% of %d workers' time"
                  % (run, wall, sum(int(c) for c, _, _ in recap),
                     sum(int(u) + int(f) for _, u, f in recap), len(runs),
                     1000 * inside / max(len(runs), 1), 100 * inside / (wall * forks), forks))
    finally:
        sim.terminate()
        sim.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
