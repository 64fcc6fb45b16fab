#!/usr/bin/python3
"""Firmware updates through vorl_redfish: reports figures, asserts nothing. From a release build:

    cmake --preset release
    cmake --build --preset release --target vorlsim vorlcli vorl_redfish
    nice -n 19 bench/redfish_update_bench.py build/release [--rounds 3] [--cards 10]

Everything on loopback, simulated cards (vorlsim):
1. one card, a complete flash of 63 blocks (the whole image but the boot block, as
   `vorlcli -flash -update` writes it): the time of `vorlcli -flash -update` from exec to exit,
   against a multipart push through the service (Oem.Vorl.FlashMode Complete) from the POST to
   the task's end as a client polling the task monitor every 50 ms sees it;
2. N cards at once: one push naming them all (parallel_updates N) until the last task has ended,
   against the same push to one card. Medians of the rounds.
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))


def image_with_os_version(vorlsim, version):
    import struct
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "default.ima")
        subprocess.run([vorlsim, "--write-image=" + path], check=True, stdout=subprocess.DEVNULL)
        with open(path, "rb") as f:
            data = bytearray(f.read())
    at = 3 * 65536
    struct.pack_into(">H", data, at + 34, version)
    data[at + 45] = (sum(data[at:at + 48]) - data[at + 45]) % 100
    return bytes(data)


def vorlcli_flash(vorlcli, address, path):
    started = time.monotonic()
    done = subprocess.run([vorlcli, "-nw", address, "admin", "-flash", "-update", path],
                          input="vorladmin\ny\ny\n", capture_output=True, text=True, timeout=600)
    seconds = time.monotonic() - started
    if done.returncode != 0:
        raise RuntimeError("vorlcli: " + done.stdout + done.stderr)
    return seconds


def push_and_wait(service, http, image, cards):
    body = {"Targets": ["/redfish/v1/Managers/" + c for c in cards],
            "Oem": {"Vorl": {"FlashMode": "Complete"}}}
    files = {"UpdateParameters": (None, json.dumps(body), "application/json"),
             "UpdateFile": ("bench.ima", image, "application/octet-stream")}
    started = time.monotonic()
    answer = http.post(service.url + "/redfish/v1/UpdateService/update-multipart", files=files,
                       timeout=120)
    if answer.status_code != 202:
        raise RuntimeError("push: %d %s" % (answer.status_code, answer.text))
    monitors = ["/redfish/v1/TaskService/TaskMonitors/" + t["@odata.id"].rsplit("/", 1)[1]
                for t in answer.json()["Oem"]["Vorl"]["Tasks"]]
    for monitor in monitors:
        while True:
            reply = http.get(service.url + monitor, timeout=60)
            if reply.status_code != 202:
                break
            time.sleep(0.05)
        if reply.json()["TaskState"] != "Completed":
            raise RuntimeError("task: " + reply.text)
    return time.monotonic() - started


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--cards", type=int, default=10)
    args = parser.parse_args()
    os.environ["VORLSIM"] = os.path.abspath(os.path.join(args.build, "cardsim", "vorlsim"))
    os.environ["VORL_REDFISH"] = os.path.abspath(os.path.join(args.build, "redfish",
                                                              "vorl_redfish"))
    vorlcli = os.path.abspath(os.path.join(args.build, "cli", "vorlcli"))
    from redfishtest import Fleet, Redfish  # after the environment names the programs

    images = [image_with_os_version(os.environ["VORLSIM"], 0x2100 + n) for n in range(2)]
    work = tempfile.mkdtemp(prefix="vorl-update-bench-")
    paths = []
    for n, image in enumerate(images):
        paths.append(os.path.join(work, "bench%d.ima" % n))
        with open(paths[-1], "wb") as f:
            f.write(image)

    fleet = Fleet(args.cards).start()
    ids = ["b%d" % i for i in range(args.cards)]
    service = Redfish(list(zip(ids, fleet.addresses)),
                      settings="card_timeout: 10s\nparallel_updates: %d\n" % args.cards).start()
    http = service.session("root")
    cli, one, many = [], [], []
    try:
        for round_ in range(args.rounds):
            # Alternate the images so that every flash writes a version the card lacks.
            cli.append(vorlcli_flash(vorlcli, fleet.addresses[0], paths[round_ % 2]))
            one.append(push_and_wait(service, http, images[(round_ + 1) % 2], ids[:1]))
            many.append(push_and_wait(service, http, images[round_ % 2], ids))
    finally:
        service.__exit__()
        fleet.__exit__()

    def show(name, values):
        print("%-58s median %.2f s  (%s)" % (name, statistics.median(values),
                                             ", ".join("%.2f" % v for v in values)))

    show("vorlcli -flash -update, 63 blocks", cli)
    show("push through the service to 1 card, to Completed", one)
    show("push through the service to %d cards, to the last Completed" % args.cards, many)
    print("service / vorlcli: %.2fx (goal at most 1.1x)" %
          (statistics.median(one) / statistics.median(cli)))
    print("%d cards / 1 card: %.2fx (goal at most 1.5x)" %
          (args.cards, statistics.median(many) / statistics.median(one)))


if __name__ == "__main__":
    main()
