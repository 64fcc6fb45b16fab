#!/usr/bin/python3
"""vorl_redfish's event latency: reports figures, asserts nothing. From a release build:

    cmake --preset release
    cmake --build --preset release --target vorlsim vorl_redfish
    nice -n 19 bench/redfish_events_bench.py build/release [--entries 20] [--poll 1s]

One simulated card, one subscriber (an HTTP server on 127.0.0.1), everything on loopback: an
entry is written into the card's event log (straight through the card protocol) at a random
moment of the poll cycle, and the time until its event reaches the subscriber is measured. The
goal is at most the poll interval plus 100 ms.
"""

import argparse
import os
import random
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--entries", type=int, default=20)
    parser.add_argument("--poll", default="1s", help="poll_interval (e.g. 1s, 500ms)")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    os.environ["VORLSIM"] = os.path.join(build, "cardsim", "vorlsim")
    os.environ["VORL_REDFISH"] = os.path.join(build, "redfish", "vorl_redfish")
    from redfishtest import Fleet, Redfish
    from test_redfish_events import SUBSCRIPTIONS, Subscriber, add_entry

    poll = float(args.poll[:-2]) / 1000 if args.poll.endswith("ms") else float(args.poll[:-1])
    subscriber = Subscriber()
    latencies = []
    settings = "card_timeout: 3s\nevents:\n  poll_interval: %s\n" % args.poll
    with Fleet(1) as fleet, Redfish([("c1", fleet.addresses[0])], accounts=("root",),
                                    settings=settings) as service:
        answer = service.session().post(service.url + SUBSCRIPTIONS,
                                        json={"Destination": subscriber.url}, timeout=30)
        answer.raise_for_status()
        time.sleep(2 * poll)  # the first poll has taken the log as it was
        for number in range(args.entries):
            time.sleep(random.uniform(0, poll))
            written = time.monotonic()
            add_entry(fleet.addresses[0], 0x0100 + (number & 0xFF))
            subscriber.events.get(timeout=poll + 30)
            latencies.append(time.monotonic() - written)
    subscriber.close()
    latencies.sort()
    print("event latency, entry written to event received, %d entries, poll_interval %s:"
          % (len(latencies), args.poll))
    print("  min %.0f ms, median %.0f ms, 90th %.0f ms, max %.0f ms (goal: at most %.0f ms)"
          % (latencies[0] * 1000, statistics.median(latencies) * 1000,
             latencies[int(len(latencies) * 0.9) - 1] * 1000, latencies[-1] * 1000,
             (poll + 0.1) * 1000))


if __name__ == "__main__":
    main()
