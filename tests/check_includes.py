#!/usr/bin/env python3
"""Checks that every folder includes only the folders its library is allowed to depend on.

The libraries form layers: platform and wire at the bottom, the host-interface library and the
card command library side by side above them (neither may include the other, so the tray program
and the service link the host interface alone), session above both, the programs on top.
Test, fuzz and benchmark sources may include anything except across that middle line.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent

ALLOWED = {
    "platform": {"platform"},
    "wire": {"wire"},
    "hostifc": {"hostifc", "wire", "platform"},
    "protocol": {"protocol", "wire", "platform"},
    "firmware": {"firmware", "protocol", "wire", "platform"},
    "session": {"session", "protocol", "hostifc", "wire", "platform"},
    "cli": {"cli", "cardread", "session", "protocol", "firmware", "wire", "platform"},
    "config": {"config", "session", "protocol", "firmware", "wire", "platform"},
    "mouse": {"mouse", "hostifc", "wire", "platform"},
    "heartbeat": {"heartbeat", "hostifc", "wire", "platform"},
    "cardsim": {"cardsim", "protocol", "firmware", "wire", "platform"},
    "cardread": {"cardread", "protocol", "firmware", "wire", "platform"},
    "web": {"web"},
    "exporter": {"exporter", "web", "cardread", "session", "protocol", "firmware", "wire",
                 "platform"},
    "redfish": {"redfish", "web", "cardread", "session", "hostifc", "protocol", "firmware", "wire",
                "platform"},
}
# Never, not even from a test: the card command library and the host-interface library stay apart.
FORBIDDEN_ALWAYS = {"protocol": {"hostifc"}, "firmware": {"hostifc"}, "hostifc": {"protocol", "firmware"}}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/')


def is_test_source(path: pathlib.Path) -> bool:
    return re.search(r"_(test|fuzz|bench)\.cpp$", path.name) is not None


def main() -> int:
    problems = []
    for folder, allowed in ALLOWED.items():
        for path in sorted((ROOT / folder).glob("*")):
            if path.suffix not in (".h", ".cpp", ".rc"):
                continue
            for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                target = match.group(1)
                where = f"{path.relative_to(ROOT)}:{number}"
                if target in FORBIDDEN_ALWAYS.get(folder, set()):
                    problems.append(f"{where}: {folder}/ must never include {target}/")
                elif target not in allowed and not is_test_source(path):
                    problems.append(f"{where}: {folder}/ may not include {target}/")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
