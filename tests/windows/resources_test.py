#!/usr/bin/env python3
"""The resources built into the Windows program, read back from the .exe with wrestool
(icoutils):

  resources_test.py --exe corvane-print-spooler.exe --version 2.4.0

The first icon group (what Explorer and shortcuts show) holds 16 to 256 px images, the
version information names the release and the maker, and the manifest asks for themed
controls, no elevation, Windows 10/11 and per-monitor DPI awareness.
"""
import argparse
import struct
import subprocess
import sys
import unittest

CONFIG = argparse.Namespace()
ICON_SIZES = [16, 20, 24, 32, 40, 48, 64, 256]


def wrestool(*args):
    return subprocess.run(["wrestool"] + list(args) + [CONFIG.exe], capture_output=True,
                          check=True).stdout


def fixed_file_info(data):
    """(file version, product version) of a VS_VERSIONINFO block, as dotted strings."""
    at = data.index(struct.pack("<I", 0xFEEF04BD))
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", data, at + 8)

    def dotted(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    return dotted(file_ms, file_ls), dotted(product_ms, product_ls)


def version_string(data, name):
    """A StringFileInfo value: the UTF-16 text after its key."""
    key = (name + "\0").encode("utf-16-le")
    at = data.index(key) + len(key)
    at += (4 - at % 4) % 4  # values start on a 32-bit boundary
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le")


class ProgramResources(unittest.TestCase):
    def test_listing_has_icon_version_and_manifest_in_order(self):
        listing = wrestool("-l").decode()
        print(listing)
        groups = [line for line in listing.splitlines() if "--type=14" in line]
        self.assertTrue(groups, "no icon group")
        self.assertIn("--name='APPICON'", groups[0], "the program's icon is not the first")
        self.assertIn("--type=16", listing)
        self.assertIn("--type=24", listing)

    def test_first_icon_group_has_every_size(self):
        group = wrestool("-x", "--raw", "-t14", "-n", "APPICON")
        count = struct.unpack_from("<H", group, 4)[0]
        sizes = sorted(group[6 + 14 * i] or 256 for i in range(count))
        self.assertEqual(sizes, ICON_SIZES)

    def test_version_information_names_the_release(self):
        data = wrestool("-x", "--raw", "-t16")
        full = CONFIG.version + ".0"
        self.assertEqual(fixed_file_info(data), (full, full))
        expected = {"FileVersion": full, "ProductVersion": full, "CompanyName": "Corvane",
                    "ProductName": "Corvane Print Spooler",
                    "OriginalFilename": "corvane-print-spooler.exe"}
        for name, value in expected.items():
            self.assertEqual(version_string(data, name), value, name)
        for name in ("FileDescription", "LegalCopyright"):
            self.assertTrue(version_string(data, name), name)

    def test_manifest_asks_for_themes_dpi_awareness_and_no_elevation(self):
        manifest = wrestool("-x", "--raw", "-t24").decode("utf-8")
        for needle in ('name="Microsoft.Windows.Common-Controls" version="6.0.0.0"',
                       'level="asInvoker"', "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
                       ">PerMonitorV2</dpiAwareness>", ">True/PM</dpiAware>"):
            self.assertIn(needle, manifest)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--version", required=True)
    args, rest = parser.parse_known_args()
    CONFIG.exe = args.exe
    CONFIG.version = args.version
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
