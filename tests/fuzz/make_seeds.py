#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora into tests/fuzz/corpus/<target>/: valid packets, answers
captured from a running vorlsim (sensor stream, alert recipient, exchanges over the network and
over the device link), the first three blocks of the default image, and the inputs of faults that
were mended.

    VORLSIM=build/debug/cardsim/vorlsim tests/fuzz/make_seeds.py

The seeds are committed; run this again only when a format changes."""

import hashlib
import os
import pathlib
import socket
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "e2e"))
import vorltest  # noqa: E402
from vorltest import CardConnection, HostSim, SIGNATURE, request_header  # noqa: E402

CORPUS = HERE / "corpus"
SELECT_KEY = b"RECIPIENT_SELECT"


def seed(target, name, data):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def response(command, status=0, payload=b""):
    header = bytearray(32)
    header[0:8] = SIGNATURE
    header[9], header[10], header[26] = 0x04, 0x20, 0x01
    struct.pack_into("<IHH", header, 12, len(payload), 0, 0)
    struct.pack_into("<HH", header, 20, command, status)
    header[11] = (-sum(header)) & 0xFF
    return bytes(header) + payload


def chunk_record(path, index, data, state=6):
    return (path.encode().ljust(80, b"\0") +
            struct.pack(">HIHI", index, len(data), state, zlib.crc32(data)) + data)


def network_seed(name, stream, commands):
    """The card's stream, then (read from the end) the count and the command codes."""
    tail = b"".join(struct.pack("<H", code) for code in reversed(commands))
    seed("fuzz_network_stream", name, stream + tail + bytes([len(commands) - 1]))


def network_seeds():
    names = response(0x0503, 0, b"admin".ljust(32, b"\0"))
    network_seed("answer", names, [0x0503])
    network_seed("stray-then-answer", b"Z.ZOR U\xaa.\0" + names, [0x0503])
    # Mended faults: silence after the signature, a payload announced and cut, a late answer in
    # front of the real one.
    network_seed("signature-then-silence", SIGNATURE, [0x0503])
    network_seed("payload-cut", names[:40], [0x0503])
    network_seed("stale-answer-first", response(0x0701, 26) + names, [0x0503])


def captured_exchanges(sim):
    """What vorlsim sends for a login, a listing and a flash block, each as one stream."""
    def capture(name, exchanges):
        with CardConnection(sim.address) as card:
            stream = b""
            for command, payload in exchanges:
                card.send(command, payload)
                _, data, header = card.receive()
                stream += header + data
                if command == 0x0001:
                    digest = hashlib.md5(vorltest.DEFAULT_PASSWORD.encode() + data[:8]).digest()
                    login = vorltest.DEFAULT_USER.encode().ljust(32, b"\0") + digest + bytes(24)
                    exchanges[1] = (0x0002, login)
        network_seed(name, stream, [command for command, _ in exchanges])

    capture("login", [(0x0001, b""), (0x0002, b"")])
    capture("listing", [(0x0001, b""), (0x0002, b""), (0x0503, b"")])
    capture("flash-block", [(0x0001, b""), (0x0002, b""), (0x0608, b""),
                            (0x0602, struct.pack(">IIH", 3, 0, 0))])


def text_seeds():
    for name, text in (("mac", "02:00:4B:38:00:01"), ("mac-lower", "00:2a:3b:4c:5d:1d"),
                       ("address", "10.10.1.10"), ("modem", "57600"), ("asr", "Enable")):
        seed("fuzz_mac_text", name, text.encode())
    for name, line in (("list", "-user -listall"), ("static", "-net -SetStatic 10.0.0.5 255.0.0.0 10.0.0.1"),
                       ("sel", "-sel -list"), ("hb", "-hb -sethb 300"), ("time", "-gen -settime 2004/02/29 10:00:00"),
                       ("health", "-health")):
        seed("fuzz_cli_words", name, line.encode() + b"\\x" + bytes(64))
    script = ("-net -SetStatic 10.0.0.5 255.0.0.0 10.0.0.1\n-user -listall\n-net -GetMAC\n"
              "-user -add bob password1\r\n\n-user -listAllUser\n")
    seed("fuzz_cli_script", "late-refusal-script", script.encode() + b"\\x" + bytes(64))


def request_seeds():
    login = request_header(0x0001, 0)
    bad = bytearray(request_header(0x0500, 64))
    bad[11] ^= 1
    seed("fuzz_sim_request_reader", "requests", login + bytes(bad) + bytes(64) + request_header(0x0503, 0))
    seed("fuzz_sim_request_reader", "false-start", b"ZOR U\xaa" + request_header(0x0503, 3) + b"abc")
    # Mended fault: one chunk far into a file used to make vorlsim grow by 16 MiB.
    chunk = chunk_record("big", 255, b"\x5a" * 65536)
    seed("fuzz_sim_request_reader", "file-chunk-255", request_header(0x060B, len(chunk)) + chunk)
    # Card groups: the payload first, then (from the end) the length, link and command.
    seed("fuzz_sim_card_groups", "file-chunk-255",
         chunk + struct.pack(">I", len(chunk)) + b"\x00\x00" + struct.pack("<H", 0x060B)[::-1])
    seed("fuzz_sim_card_groups", "list-users", b"\x00\x00\x00\x00\x00\x05\x03")


def image_seed(vorlsim):
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "default.ima")
        subprocess.run([vorlsim, "--write-image=" + path], check=True, stdout=subprocess.DEVNULL)
        image = pathlib.Path(path).read_bytes()
    seed("fuzz_firmware_image", "three-blocks", image[:3 * 65536])
    seed("fuzz_firmware_image", "one-header", image[:48])


def captured_seeds():
    with HostSim() as sim:
        with CardConnection(sim.address) as card:
            card.login()
            card.send(0x0202)
            _, stream, _ = card.receive()
            seed("fuzz_sensor_stream", "factory", stream)
            select = SELECT_KEY.ljust(256, b"\0") + b"1".ljust(256, b"\0")
            status, pairs = card.transact(0x040F, select + bytes(6152 - len(select)))
            seed("fuzz_alert_recipient", "recipient-1", pairs)
        capture_link_session(sim, "listing", 0x0503)
        capture_link_session(sim, "multi-block-sensors", 0x0202)
        captured_exchanges(sim)


def capture_link_session(sim, name, command):
    """A probe and one message-layer exchange of `command`, as the drive sees it: the link's
    answers as one stream, then (read from the end) the count and each request's opcode,
    transfer size and direction."""
    answers, requests = b"", []
    with socket.create_connection((sim.address, vorltest.DEVLINK_PORT), timeout=10) as s:
        def request(direction, cdb, size, data=b""):
            head = bytes([ord("P"), 0, direction, len(cdb)]) + cdb.ljust(16, b"\0") + \
                struct.pack("<II", size, 120)
            s.sendall(head + data)
            answer = recv(s, 12)
            answer += recv(s, struct.unpack_from("<I", answer, 8)[0])
            requests.append(bytes([direction]) + struct.pack("<I", size)[:3] + cdb[:1])
            return answer

        def block(opcode, selector, data=b""):
            cdb = bytes([opcode, 0]) + struct.pack(">I", selector) + b"\0\0\x01\0"
            return request(0 if data else 1, cdb, 512, data)

        s.sendall(bytes([ord("O"), ord("E")]) + bytes(26))
        recv(s, 12)
        answers += request(1, b"\xee", 10)
        message = request_header(command, 0)
        control = bytearray(512)
        control[0:16] = b"$K8-CONFIG-HOST$"
        struct.pack_into("<I", control, 20, len(message))
        control[510:512] = b"\x55\xaa"
        answers += block(0xE2, 1, bytes(control))
        answers += block(0xE2, 2, message.ljust(512, b"\0"))
        for _ in range(16):  # the busy phase, then the answer's block
            reply = block(0xE3, 1)
            answers += reply
            if not struct.unpack_from("<H", reply, 12 + 18)[0] & 0x8000:
                break
        length = struct.unpack_from("<I", reply, 12 + 24)[0]
        for _ in range((length + 511) // 512):
            answers += block(0xE3, 2)
    tail = b"".join(reversed(requests))
    seed("fuzz_host_device_link", name, answers + tail + bytes([len(requests) - 1]))


def state_seeds(vorlsim):
    """The files a vorlsim writes into its state directory, one seed each."""
    names = ["users.dat", "network.conf", "general.conf", "event_log.conf", "advanced.conf",
             "files.bin"]
    with tempfile.TemporaryDirectory() as state:
        sim = vorltest.Sim(state_dir=state)
        with sim:
            with CardConnection(sim.address) as card:
                card.login()
                card.transact(0x0500, b"bob".ljust(32, b"\0") + b"password1".ljust(32, b"\0"))
                card.transact(0x0A01, struct.pack(">i", 300))
                card.transact(0x060B, chunk_record("notes.txt", 0, b"a note", 5))
        for index, name in enumerate(names):
            path = pathlib.Path(state) / name
            if path.exists() and b"\\" not in path.read_bytes():
                seed("fuzz_sim_state_files", name, path.read_bytes() + b"\\x" + bytes([index]))


def recv(s, n):
    data = b""
    while len(data) < n:
        chunk = s.recv(n - len(data))
        if not chunk:
            raise ConnectionError("link closed")
        data += chunk
    return data


def main():
    vorlsim = os.environ.get("VORLSIM", "build/debug/cardsim/vorlsim")
    vorltest.VORLSIM = vorlsim
    network_seeds()
    text_seeds()
    request_seeds()
    image_seed(vorlsim)
    captured_seeds()
    # Answers read from the end of the input: flag bytes 0 (a plain answer) and lengths.
    seed("fuzz_card_answers", "plain-answers", bytes(range(64)) * 8 + bytes(64))
    seed("fuzz_sim_device_link", "probe-and-block", bytes([0xEE]) + bytes(600) + b"\x01\x0e\x01")
    state_seeds(os.environ.get("VORLSIM", "build/debug/cardsim/vorlsim"))
    # The host message layer: a card that stays busy (every block read answers bit 15).
    busy = bytearray(512)
    busy[19] = 0x80
    seed("fuzz_host_message_layer", "stuck-busy", (b"\x00" + bytes(busy)) * 40)
    # An update as curl and python-requests send it, and a quoted boundary without headers.
    seed("fuzz_redfish_multipart", "push",
         b"multipart/form-data; boundary=XyZ\n--XyZ\r\n"
         b"Content-Disposition: form-data; name=\"UpdateParameters\"\r\n"
         b"Content-Type: application/json\r\n\r\n{\"Targets\":[\"/redfish/v1/Managers/a\"]}\r\n"
         b"--XyZ\r\nContent-Disposition: form-data; name=\"UpdateFile\"; filename=\"new.ima\""
         b"\r\nContent-Type: application/octet-stream\r\n\r\nIMAGEBYTES\r\n--XyZ--\r\n")
    seed("fuzz_redfish_multipart", "quoted",
         b'multipart/form-data; boundary="a;b"\npreamble\r\n--a;b\r\n\r\nno headers\r\n'
         b"--a;b--")


if __name__ == "__main__":
    main()
