#!/usr/bin/env python3
"""The Windows installer under Wine (run by tools/windows/wine-tests.sh, which provides
WINEPREFIX, DISPLAY and the wineserver):

  msi_test.py --msi corvane-print-spooler-X.msi --artifacts DIR

`msiexec /i ... /qn` installs the program, its picture and its icon (and nothing else) in
Program Files\\Corvane Print Spooler with a Start-menu shortcut that starts it there; the
installed program, started in that folder, shows its window with the picture and its tray
icon (DIR/installed-program.png keeps the screen); `msiexec /x ... /qn` leaves nothing of it.
Add/Remove Programs shows the icon, the publisher, the version and the help link. With
--msi-optional (the same release carrying the stand-ins as print program and mapping
script) and AUTOSTART=1 the extra files and an all-users Startup shortcut come and go with
the package; --msi-next, a newer release, replaces this one in place. The notices file is
installed with the program and names every library linked into it. The newer release's
program (--signed-program, as packaged) and package carry Authenticode signatures that
`osslsigncode verify` accepts against the test's certificate (--signing-cert).
"""
import argparse
import glob
import os
import struct
import subprocess
import sys
import time
import unittest

TITLE = "Corvane Print Spooler"
INSTALLED = ["PrintBackgroundImage.bmp", "PrintBackgroundImage_1_5x.bmp",
             "PrintBackgroundImage_2x.bmp", "THIRD-PARTY-NOTICES.txt",
             "corvane-print-spooler.exe", "corvane48.ico"]
# Every library linked into the program, named in the notices beside it.
NOTICED = ["wxWidgets", "PCRE2", "nanosvg", "libssh", "Mbed TLS", "libcurl", "MinGW-w64",
           "winpthreads", "libstdc++", "GCC RUNTIME LIBRARY EXCEPTION",
           "GNU LESSER GENERAL PUBLIC LICENSE", "Apache License"]
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
CONFIG = argparse.Namespace()


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(*args, **kwargs):
    return subprocess.run(["wine"] + list(args), capture_output=True, text=True, **kwargs)


def windows_named(name):
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % name],
                           capture_output=True, text=True).stdout.split()
    return [int(w) for w in found]


def geometry(window):
    out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", str(window)],
                         capture_output=True, text=True, check=True).stdout
    values = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def rgb(image_args):
    """Width, height and the raw RGB bytes of an image through ImageMagick."""
    size = subprocess.run(["convert"] + image_args + ["-format", "%w %h", "info:"],
                          capture_output=True, text=True, check=True).stdout.split()
    data = subprocess.run(["convert"] + image_args + ["-depth", "8", "rgb:-"],
                          capture_output=True, check=True).stdout
    return int(size[0]), int(size[1]), data


def shortcut_working_folder(path):
    """The working folder stored in a Windows shortcut (.lnk): the string after the optional
    target ID list, link info, name and relative path."""
    with open(path, "rb") as f:
        data = f.read()
    flags = struct.unpack_from("<I", data, 0x14)[0]
    pos = 0x4C
    if flags & 0x1:  # HasLinkTargetIDList
        pos += 2 + struct.unpack_from("<H", data, pos)[0]
    if flags & 0x2:  # HasLinkInfo
        pos += struct.unpack_from("<I", data, pos)[0]
    unicode = flags & 0x80
    for bit in (0x4, 0x8, 0x10):  # HasName, HasRelativePath, HasWorkingDir
        if not flags & bit:
            continue
        count = struct.unpack_from("<H", data, pos)[0]
        pos += 2
        size = count * 2 if unicode else count
        text = data[pos:pos + size].decode("utf-16-le" if unicode else "latin-1")
        pos += size
        if bit == 0x10:
            return text.rstrip("\x00")
    return None


def products():
    """{key: {value name: data}} of the Add/Remove Programs entries named like the program."""
    out = wine("reg", "query", UNINSTALL_KEY, "/s").stdout
    entries, key = {}, None
    for line in out.splitlines():
        if line.startswith("HKEY_"):
            key = line.strip()
            entries[key] = {}
        elif key and line.startswith("    ") and len(line.split(None, 2)) == 3:
            name, _, data = line.split(None, 2)
            entries[key][name] = data.strip()
    return {k: v for k, v in entries.items() if v.get("DisplayName") == TITLE}


def file_version(path):
    """The file version in a program's version information, dotted."""
    with open(path, "rb") as f:
        data = f.read()
    at = data.index(struct.pack("<I", 0xFEEF04BD))
    ms, ls = struct.unpack_from("<2I", data, at + 8)
    return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def wait_for(predicate, seconds=60):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        result = predicate()
        if result:
            return result
        time.sleep(0.25)
    return predicate()


class Installer(unittest.TestCase):
    def setUp(self):
        prefix = os.environ["WINEPREFIX"]
        self.folder = os.path.join(prefix, "drive_c", "Program Files", TITLE)
        self.prefix = prefix
        self.program = None
        self.installed = []

    def tearDown(self):
        if self.program is not None and self.program.poll() is None:
            self.program.terminate()
            self.program.wait(timeout=60)
        # A failed test must not leave its package to the next one.
        for msi in reversed(self.installed):
            wine("msiexec", "/x", windows_path(msi), "/qn", timeout=300)

    def shortcuts(self):
        """The program's Start-menu folders, all users' and this user's (Wine's installer
        puts a per-machine package's shortcuts into the user's)."""
        menus = [os.path.join(self.prefix, "drive_c", "ProgramData"),
                 os.path.join(self.prefix, "drive_c", "users", "*", "AppData", "Roaming")]
        return [folder for menu in menus for folder in glob.glob(os.path.join(
            menu, "Microsoft", "Windows", "Start Menu", "Programs", TITLE))]

    def startup_shortcuts(self):
        """The program's shortcuts in the Startup folders, all users' and this user's."""
        menus = [os.path.join(self.prefix, "drive_c", "ProgramData"),
                 os.path.join(self.prefix, "drive_c", "users", "*", "AppData", "Roaming")]
        # Wine's folder is "StartUp".
        return [link for menu in menus for link in glob.glob(os.path.join(
            menu, "Microsoft", "Windows", "Start Menu", "Programs", "St[aA]rt[uU]p",
            TITLE + ".lnk"))]

    def msiexec(self, action, msi, *args):
        if action == "/i":
            self.installed.append(msi)
        done = wine("msiexec", action, windows_path(msi), *args, timeout=300)
        self.assertEqual(done.returncode, 0, done.stderr)
        if action == "/x":
            self.installed.remove(msi)

    def assert_nothing_left(self):
        left = os.listdir(self.folder) if os.path.exists(self.folder) else []
        self.assertEqual(left, [], "left in the install folder")
        self.assertEqual(self.shortcuts(), [], "the Start-menu folder is left")
        self.assertEqual(self.startup_shortcuts(), [], "the Startup shortcut is left")
        self.assertEqual(products(), {}, "still in Add/Remove Programs")

    def picture_shown(self, window):
        """Where in `window` the installed picture is drawn unscaled, or None: rows of the
        picture found byte for byte in a screenshot, all at one offset."""
        x, y, width, height = geometry(window)
        _, _, screen = rgb(["x:root", "-crop", "%dx%d+%d+%d" % (width, height, x, y)])
        pw, ph, picture = rgb([os.path.join(self.folder, "PrintBackgroundImage.bmp")])
        # Rows through the printer drawn at the right of the picture, clear of the form's
        # controls and of Wine's tray window: where the first is found, every other one
        # must be found at the same offset.
        left, strip, rows = pw - 130, 96, range(130, min(216, ph), 10)

        def picture_row(row):
            start = (row * pw + left) * 3
            return picture[start:start + strip * 3]

        def screen_row(ox, oy, row):
            if not (0 <= oy + row < height and 0 <= ox + left and ox + left + strip <= width):
                return None
            start = ((oy + row) * width + ox + left) * 3
            return screen[start:start + strip * 3]

        at = screen.find(picture_row(rows[0]))
        while at >= 0:
            if at % 3 == 0:
                ox, oy = at // 3 % width - left, at // 3 // width - rows[0]
                if all(screen_row(ox, oy, row) == picture_row(row) for row in rows):
                    return ox, oy
            at = screen.find(picture_row(rows[0]), at + 1)
        return None

    def test_install_start_uninstall(self):
        self.assertFalse(os.path.exists(self.folder), "installed before the test")
        self.assertEqual(self.shortcuts(), [], "a shortcut before the test")

        self.msiexec("/i", CONFIG.msi, "/qn")
        self.assertEqual(sorted(os.listdir(self.folder)), INSTALLED)
        with open(os.path.join(self.folder, "THIRD-PARTY-NOTICES.txt")) as f:
            notices = f.read()
        for name in NOTICED:
            self.assertIn(name, notices)
        self.assertNotIn("@", notices.split("\n", 1)[0], "an unconfigured placeholder")
        menus = self.shortcuts()
        self.assertEqual(len(menus), 1, menus)
        self.assertEqual(os.listdir(menus[0]), [TITLE + ".lnk"])
        working = shortcut_working_folder(os.path.join(menus[0], TITLE + ".lnk"))
        self.assertEqual(working.rstrip("\\"), "C:\\Program Files\\" + TITLE)
        print("installed: %s; shortcut %s starts in %s" % (
            ", ".join(sorted(os.listdir(self.folder))), menus[0], working))
        self.assertEqual(self.startup_shortcuts(), [], "autostart without AUTOSTART=1")
        entries = products()
        self.assertEqual(len(entries), 1, entries)
        entry = list(entries.values())[0]
        print("Add/Remove Programs: %s" % entry)
        self.assertEqual(entry.get("Publisher"), "Corvane")
        self.assertEqual(entry.get("DisplayVersion"), CONFIG.version)
        self.assertEqual(entry.get("HelpLink"), CONFIG.help_link)
        # Wine's installer writes no DisplayIcon: the package names its icon for
        # Add/Remove Programs, and Windows shows it from there.
        properties = subprocess.run(["msiinfo", "export", CONFIG.msi, "Property"],
                                    capture_output=True, text=True, check=True).stdout
        self.assertIn("ARPPRODUCTICON\tCorvaneIcon", properties)

        # Started as the shortcut starts it: in its own folder.
        self.program = subprocess.Popen(
            ["wine", "C:\\Program Files\\%s\\corvane-print-spooler.exe" % TITLE],
            cwd=self.folder, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # The title carries the version: "Corvane Print Spooler 2.4.0".
        windows = wait_for(lambda: windows_named(TITLE + " [0-9.]+"))
        self.assertTrue(windows, "no window titled %r" % TITLE)
        trays = wait_for(lambda: windows_named("Wine System Tray"))
        self.assertTrue(trays, "no tray icon: Wine shows no system tray window")
        offset = wait_for(lambda: self.picture_shown(windows[0]), 30)
        os.makedirs(CONFIG.artifacts, exist_ok=True)
        shot = os.path.join(CONFIG.artifacts, "installed-program.png")
        subprocess.run(["import", "-window", "root", shot], check=True)
        print("screenshot: %s" % shot)
        self.assertIsNotNone(offset, "the picture is not drawn in the window")
        print("picture drawn at %s in the window" % (offset,))
        # The tray shows an icon: its cell is not one plain colour.
        _, _, tray = rgb(["x:%d" % trays[0], "-crop", "16x16+2+2"])
        colours = {tray[i:i + 3] for i in range(0, len(tray), 3)}
        self.assertGreater(len(colours), 2, "the tray window shows no icon")

        # Started again in the same session, it shows no window of its own and ends (the
        # bound only stops a hang).
        second = subprocess.run(
            ["wine", "C:\\Program Files\\%s\\corvane-print-spooler.exe" % TITLE],
            cwd=self.folder, capture_output=True, timeout=120)
        self.assertEqual(second.returncode, 0, second.stderr[-2000:])
        self.assertEqual(len(windows_named(TITLE + " [0-9.]+")), 1)
        self.assertIsNone(self.program.poll())
        print("a second start ended at once, the first copy still running")

        self.program.terminate()
        self.program.wait(timeout=60)
        self.program = None

        self.msiexec("/x", CONFIG.msi, "/qn")
        self.assert_nothing_left()
        print("uninstalled: the install folder is %s" %
              ("gone" if not os.path.exists(self.folder) else "empty"))

    def test_optional_contents_and_autostart(self):
        self.msiexec("/i", CONFIG.msi_optional, "/qn", "AUTOSTART=1")
        self.assertEqual(sorted(os.listdir(self.folder)),
                         sorted(INSTALLED + ["scripts", "sumatraPDF.exe"]))
        self.assertEqual(os.listdir(os.path.join(self.folder, "scripts")), ["mapwebdav.vbs"])
        links = self.startup_shortcuts()
        self.assertEqual(len(links), 1, links)
        working = shortcut_working_folder(links[0])
        self.assertEqual(working.rstrip("\\"), "C:\\Program Files\\" + TITLE)
        print("optional contents: %s, scripts\\%s; autostart %s starts in %s" % (
            ", ".join(sorted(os.listdir(self.folder))),
            os.listdir(os.path.join(self.folder, "scripts"))[0], links[0], working))
        self.msiexec("/x", CONFIG.msi_optional, "/qn")
        self.assert_nothing_left()

    def test_upgrade_replaces_the_older_release(self):
        self.msiexec("/i", CONFIG.msi, "/qn")
        program = os.path.join(self.folder, "corvane-print-spooler.exe")
        before = file_version(program)
        self.msiexec("/i", CONFIG.msi_next, "/qn")
        self.installed.remove(CONFIG.msi)  # replaced by the newer one
        entries = products()
        print("upgrade: %s -> %s; installed list: %s" % (
            before, file_version(program),
            [(e.get("DisplayName"), e.get("DisplayVersion")) for e in entries.values()]))
        self.assertEqual(before, CONFIG.version + ".0")
        self.assertEqual(len(entries), 1, entries)
        self.assertEqual(list(entries.values())[0].get("DisplayVersion"), CONFIG.next_version)
        self.assertEqual(file_version(program), CONFIG.next_version + ".0")
        self.assertEqual(sorted(os.listdir(self.folder)), INSTALLED)
        self.msiexec("/x", CONFIG.msi_next, "/qn")
        self.assert_nothing_left()
        print("upgrade uninstalled: nothing left")

    def test_signed_program_and_package(self):
        # The newer release was built with the test's certificate; this one without any,
        # unless the build was given one.
        files = [(CONFIG.signed_program, True), (CONFIG.msi_next, True)]
        if CONFIG.unsigned:
            files.append((CONFIG.msi, False))
        for path, signed in files:
            done = subprocess.run(["osslsigncode", "verify", "-CAfile", CONFIG.signing_cert,
                                   "-in", path], capture_output=True, text=True, timeout=120)
            result = [line for line in done.stdout.splitlines()
                      if line.startswith(("Signature verification", "Message digest algorithm"))]
            print("osslsigncode verify %s: exit %d, %s" % (
                os.path.basename(path), done.returncode, "; ".join(result) or "no signature"))
            if signed:
                self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
                self.assertIn("Signature verification: ok", done.stdout)
                self.assertRegex(done.stdout, r"Message digest algorithm *: SHA256")
            else:
                self.assertNotEqual(done.returncode, 0, done.stdout)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--msi", required=True)
    parser.add_argument("--msi-optional", required=True)
    parser.add_argument("--msi-next", required=True)
    parser.add_argument("--next-version", required=True)
    parser.add_argument("--help-link", required=True)
    parser.add_argument("--artifacts", required=True)
    parser.add_argument("--signed-program", required=True)
    parser.add_argument("--signing-cert", required=True)
    parser.add_argument("--unsigned", action="store_true", help="--msi has no signature")
    args, rest = parser.parse_known_args()
    CONFIG.msi = os.path.abspath(args.msi)
    CONFIG.msi_optional = os.path.abspath(args.msi_optional)
    CONFIG.msi_next = os.path.abspath(args.msi_next)
    CONFIG.next_version = args.next_version
    CONFIG.help_link = args.help_link
    # The release is in the package's name: corvane-print-spooler-X.Y.Z.msi.
    CONFIG.version = os.path.basename(args.msi)[len("corvane-print-spooler-"):-len(".msi")]
    CONFIG.artifacts = args.artifacts
    CONFIG.signed_program = os.path.abspath(args.signed_program)
    CONFIG.signing_cert = os.path.abspath(args.signing_cert)
    CONFIG.unsigned = args.unsigned
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
