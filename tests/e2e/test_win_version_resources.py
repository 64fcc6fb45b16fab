"""Every Windows program carries a VERSIONINFO resource with its own version, read back from
the built .exe files the way Explorer's properties and inventory tools read them."""

import os
import struct
import unittest

BIN = os.environ.get("VORL_WINDOWS_BIN", "")

# program: (path in the build folder, FileVersion text, the four numbers of the fixed record)
EXPECTED = {
    "vorlcli": ("cli/vorlcli.exe", "1.6.4.3", (1, 6, 4, 3)),
    "vorlsim": ("cardsim/vorlsim.exe", "1.6.4.3", (1, 6, 4, 3)),
    "vorlpanel": ("config/vorlpanel.exe", "1.5.16.0", (1, 5, 16, 0)),
    "vorlpoint": ("mouse/vorlpoint.exe", "1.5.11.0", (1, 5, 11, 0)),
    "vorlpulse": ("heartbeat/vorlpulse.exe", "1.0", (1, 0, 0, 0)),
}

FIXED_SIGNATURE = 0xFEEF04BD


def version_resource(path):
    """(fixed file version numbers, product version numbers, {string name: value}) of the
    VERSIONINFO resource in a PE file: found through the resource directory, not by search."""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe:pe + 4] == b"PE\0\0", "not a PE file"
    sections = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    table = optional + optional_size

    def offset_of(rva):
        for i in range(sections):
            entry = table + 40 * i
            size, address, _, raw = struct.unpack_from("<IIII", data, entry + 8)
            if address <= rva < address + max(size, 1):
                return rva - address + raw
        raise AssertionError("address %#x is in no section" % rva)

    base = offset_of(resource_rva)

    def entries(directory):
        named, numbered = struct.unpack_from("<HH", data, directory + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, directory + 16 + 8 * i)
            yield name, target

    def first_leaf(target):
        while target & 0x80000000:
            target = next(entries(base + (target & 0x7FFFFFFF)))[1]
        rva, size = struct.unpack_from("<II", data, base + target)
        return data[offset_of(rva):offset_of(rva) + size]

    versions = [t for n, t in entries(base) if n == 16]  # RT_VERSION
    assert versions, "no VERSIONINFO resource"
    block = first_leaf(versions[0])
    fixed = block.find(struct.pack("<I", FIXED_SIGNATURE))
    _, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", block, fixed)
    numbers = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    texts = {}
    for name in ("FileVersion", "ProductVersion", "ProductName", "FileDescription",
                 "OriginalFilename", "CompanyName"):
        key = (name + "\0").encode("utf-16-le")
        at = block.find(key)
        if at < 0:
            continue
        at += len(key)
        at += (4 - at % 4) % 4  # values start on a 32-bit boundary
        end = at
        while block[end:end + 2] != b"\0\0":
            end += 2
        texts[name] = block[at:end].decode("utf-16-le")
    return numbers(file_ms, file_ls), numbers(product_ms, product_ls), texts


class VersionResourceTest(unittest.TestCase):
    def setUp(self):
        if not BIN:
            self.skipTest("needs the Windows build (VORL_WINDOWS_BIN)")

    def test_each_program_carries_its_own_version(self):
        for program, (path, text, numbers) in EXPECTED.items():
            with self.subTest(program=program):
                file_numbers, product_numbers, texts = version_resource(os.path.join(BIN, path))
                self.assertEqual(file_numbers, numbers)
                self.assertEqual(product_numbers, numbers)
                self.assertEqual(texts.get("FileVersion"), text)
                self.assertEqual(texts.get("ProductVersion"), text)
                self.assertEqual(texts.get("OriginalFilename"), program + ".exe")
                self.assertEqual(texts.get("ProductName"), "VORL host suite")
                self.assertTrue(texts.get("FileDescription"))


if __name__ == "__main__":
    unittest.main()
