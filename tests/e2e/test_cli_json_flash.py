"""vorlcli --json for the flash group against vorlsim: whole documents for -flash -get and
-flash -compare, -flash -modules end to end (only the modules that differ reach the card's
flash), and -flash -update unattended and declined. Every document is checked against the
schema files; standard output holds documents alone."""

import struct
import unittest
import zlib

from test_cli_flash import BLOCK, FlashTestCase, with_os_version
from vorltest import DEFAULT_PASSWORD, json_documents, run_cli

TOOL = {"name": "vorlcli", "version": "1.6.4.3"}
DIAG_BLOCKS = range(1, 3)
OS_BLOCKS = range(3, 31)
CONFIG_BLOCK = 47
CARD_VERSIONS = {"OS": "1.2.3", "DIAG": "1.2.3", "WEB": "1.2.3", "FPGA": "1.1.2",
                 "CONFIG": "1.2.3", "SDK": "1.2.1"}


def seal(data, block):
    """Makes the module header at `block` valid again: the CRC-32 of its data and its checksum."""
    at = block * BLOCK
    length = struct.unpack_from(">I", data, at + 20)[0]
    struct.pack_into(">I", data, at + 28, zlib.crc32(bytes(data[at + 48:at + 48 + length])))
    data[at + 45] = (sum(data[at:at + 48]) - data[at + 45]) % 100


def with_header_field(image, block, offset, fmt, value):
    data = bytearray(image)
    struct.pack_into(fmt, data, block * BLOCK + offset, value)
    seal(data, block)
    return bytes(data)


def module_rows(**file_versions):
    """The expected comparison rows: every module matches, versions as on the card unless given."""
    rows = []
    for index, name in enumerate(("OS", "DIAG", "WEB", "FPGA", "CONFIG", "SDK"), 1):
        card = CARD_VERSIONS[name]
        version = file_versions.get(name, card)
        differs = version != card
        rows.append({"index": index, "name": name.lower(), "card_version": card,
                     "file_version": version,
                     "allocation": "matches", "differs": differs,
                     "newer_in_file": differs and version > card})
    return rows


class FlashDocumentsTest(FlashTestCase):
    def json_cli(self, *words, stdin="", options=()):
        """One --json run: exactly one valid document, agreeing with the exit status."""
        r = run_cli(*options, "--json", "-nw", self.sim.address, "admin", *words,
                    stdin=DEFAULT_PASSWORD + "\n" + stdin)
        documents = json_documents(r)
        self.assertEqual(len(documents), 1, r)
        doc = documents[0]
        self.assertEqual((doc["status"], doc["ok"] and r.code != 0), (r.code, False), r)
        return r, doc

    def envelope(self, schema, words, data, **extra):
        doc = {"schema": schema, "tool": TOOL,
               "target": {"interface": "network", "host": self.sim.address, "user": "admin"},
               "command": list(words), "ok": True, "status": 0, "message": "Operation Success"}
        doc.update(extra)
        doc["data"] = data
        return doc

    def test_card_mode_and_comparison_as_whole_documents(self):
        words = ["-cardMode", "-get"]
        r, doc = self.json_cli(*words)
        self.assertEqual(doc, self.envelope("vorl.flash.get/1", words, {
            "available": True, "mode": "normal", "mode_code": 0}))

        image = with_os_version(self.default, 0x2105)
        image = with_header_field(image, DIAG_BLOCKS[0], 34, ">H", 0x1100)
        path = self.write("mixed.ima", image)
        words = ["-file", "-compare", path]
        r, doc = self.json_cli(*words)
        self.assertEqual(doc, self.envelope("vorl.flash.compare/1", words, {
            "file": path, "modules": module_rows(OS="2.1.5", DIAG="1.1.0"),
            "complete_flash_required": False, "config_retainable": True}))
        self.assertIn("Validating Image File :\t\t\t[ OK ]\n", r.err)

        text = self.cli("-flash", "-compare", path)
        self.assertEqual(text.code, 0, text)
        note = "Matches            %s in the image file\n"
        self.assertIn("OS       1.2.3       2.1.5       " + note % "newer" +
                      "DIAG     1.2.3       1.1.0       " + note % "older" +
                      "WEB      1.2.3       1.2.3       Matches\n", text.out)
        self.assertIn("Modules that differ : OS DIAG\n", text.out)

        broken = bytearray(self.default)
        broken[OS_BLOCKS[0] * BLOCK + 5000] ^= 1
        r, doc = self.json_cli("-flash", "-compare", self.write("broken.ima", bytes(broken)),
                               stdin="n\n")
        self.assertEqual((r.code, doc["stage"]), (8, "words"))
        self.assertTrue(doc["message"].startswith("The Image file you specified is not"), doc)

    def test_module_flash_writes_only_the_modules_that_differ(self):
        image = bytearray(with_os_version(self.default, 0x2105))
        # Same versions as the card: these blocks must never reach the card's flash.
        image[DIAG_BLOCKS[-1] * BLOCK + BLOCK - 1] ^= 0xFF
        seal(image, DIAG_BLOCKS[0])
        image[100] ^= 0xFF
        path = self.write("os.ima", bytes(image))

        r, doc = self.json_cli("-flash", "-modules", path, options=("--yes",))
        self.assertEqual((doc["schema"], doc["changed"]), ("vorl.flash.modules/1", True), r)
        data = doc["data"]
        self.assertEqual(data["modules"], module_rows(OS="2.1.5"))
        self.assertEqual({k: data[k] for k in ("flashed", "cancelled", "blocks_written",
                                               "mac_address_restored", "reset")},
                         {"flashed": ["os"], "cancelled": False, "blocks_written": len(OS_BLOCKS),
                          "mac_address_restored": True, "reset": "config_defaults"})
        self.assertIn("Flashing OS ... Block 28 of 28 \r", r.err)
        self.assertIn("Saving Configuration : \t\t\t[ OK ]\n", r.err)
        flash = self.card_flash()
        os_range = slice(OS_BLOCKS[0] * BLOCK, (OS_BLOCKS[-1] + 1) * BLOCK)
        self.assertEqual(flash[os_range], image[os_range])
        self.assertEqual(flash[:OS_BLOCKS[0] * BLOCK], self.default[:OS_BLOCKS[0] * BLOCK])
        self.assertEqual(flash[os_range.stop:], self.default[os_range.stop:])
        self.assertEqual(self.section_version(b"$$$OS$$$"), 0x2105)
        # The card runs the OS module it was given, and its firmware information says so.
        r, doc = self.json_cli("-gen", "-fwInfo")
        self.assertEqual(doc["data"]["firmware_version"], "2.1.5", r)

        # Run again: nothing differs, nothing is asked or written.
        r, doc = self.json_cli("-flash", "-modules", path)
        self.assertEqual((doc["changed"], doc["data"]["flashed"], r.err.count("Are you Sure")),
                         (False, [], 0), r)
        self.assertEqual(self.card_flash(), flash)

        # CONFIG allocated another size: refused before anything is sent.
        misfit = with_header_field(with_os_version(self.default, 0x2106), CONFIG_BLOCK, 16,
                                   ">I", 5 * BLOCK)
        r, doc = self.json_cli("-flash", "-modules", self.write("misfit.ima", misfit),
                               options=("--yes",))
        self.assertEqual((r.code, doc["changed"], doc["data"]["flashed"]), (28, False, []), r)
        self.assertEqual(doc["message"], "A complete flash is required : -flash -modules wrote "
                                         "nothing.")
        data = doc["data"]
        self.assertEqual((data["complete_flash_required"], data["config_retainable"],
                          data["modules"][4]["allocation"]), (True, False, "space_mismatch"))
        self.assertEqual(self.card_flash(), flash)

    def test_update_unattended_and_declined(self):
        newer = with_os_version(self.default, 0x2105)
        path = self.write("newer.ima", newer)
        r, doc = self.json_cli("-flash", "-update", path, stdin="n\n")
        self.assertEqual((doc["changed"], doc["data"]["cancelled"], doc["data"]["blocks_written"]),
                         (False, True, 0), r)
        self.assertEqual((r.code, doc["ok"], doc["message"]),
                         (0, False, "Command cancelled by user"))
        self.assertEqual(self.card_flash(), self.default)

        words = ["-flash", "-update", path]
        r, doc = self.json_cli(*words, options=("--yes",))
        self.assertEqual(doc, self.envelope("vorl.flash.update/1", words, {
            "file": path, "boot_block": False, "retain_config": True, "cancelled": False,
            "blocks_written": 63, "mac_address_restored": True, "reset": "config_retained"},
            changed=True))
        self.assertIn("Flashing ... Block 63 of 64 \r", r.err)
        self.assertIn("Are you Sure (y/n)?\n", r.err)
        self.assertEqual(self.card_flash()[BLOCK:], newer[BLOCK:])


if __name__ == "__main__":
    unittest.main()
