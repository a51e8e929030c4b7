#!/usr/bin/env python3
"""The program at 96, 144 and 192 DPI under Wine (run by tools/windows/wine-tests.sh, which
provides WINEPREFIX, DISPLAY and the wineserver):

  scales_test.py --program corvane-print-spooler.exe --probe window_probe.exe --artifacts DIR

For each scale the display's DPI is set in the prefix (HKCU\\Control Panel\\Desktop
LogPixels), the program is started beside its pictures, and window_probe.exe reads the
window as Windows sees it: the outer size must be the layout's 500 x 339 times the scale
(rounded as the program rounds), and the Connect button and the status line at their
layout places times the scale, to within 2 px. The client area must hold the scaled
layout; its size is compared with that of 96 DPI times the scale and printed, not
asserted to 2 px: Wine draws the window frame's borders
unscaled (3 px at every DPI), so its client area is 3-7 px larger than that.
DIR/scale-<dpi>.png keeps each window. The prefix is put back to 96 DPI at the end.
"""
import argparse
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import window_layout  # noqa: E402

TITLE = "Corvane Print Spooler 2.4.0"
CONFIG = argparse.Namespace()


def wine(*args):
    return subprocess.run(["wine"] + list(args), capture_output=True, text=True, timeout=120)


def set_dpi(dpi):
    # On a busy machine Wine's reg has been seen to fail without a word right after the
    # installer's test: it is tried again.
    for attempt in range(3):
        done = wine("reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t",
                    "REG_DWORD", "/d", str(dpi), "/f")
        if done.returncode == 0:
            break
        time.sleep(2)
    else:
        raise RuntimeError("reg add: exit status %d: %s%s" % (done.returncode, done.stdout,
                                                             done.stderr))
    # Each program reads it when it starts: no restart of the wineserver is needed.


def probe():
    try:
        done = subprocess.run(["wine", CONFIG.probe, TITLE], capture_output=True, text=True,
                              timeout=30)
    except subprocess.TimeoutExpired:
        return None
    if done.returncode != 0:
        return None
    values = dict(item.split("=", 1) for item in done.stdout.split())
    return {key: tuple(int(v) for v in value.split(",")) for key, value in values.items()}


def scaled(length, dpi):
    # As the program's FromDIP rounds: half away from zero.
    return (length * dpi + 48) // 96


class DisplayScales(unittest.TestCase):
    measured = {}

    @classmethod
    def tearDownClass(cls):
        set_dpi(96)

    def run_at(self, dpi):
        set_dpi(dpi)
        folder = os.path.dirname(os.path.abspath(CONFIG.program))
        program = subprocess.Popen(["wine", CONFIG.program], cwd=folder,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            end = time.monotonic() + 90
            found = probe()
            while found is None and time.monotonic() < end:
                time.sleep(0.5)
                found = probe()
            self.assertIsNotNone(found, "no window %r at %d DPI" % (TITLE, dpi))
            time.sleep(2)  # let it paint before the picture is taken
            x, y = found["at"]
            width, height = found["window"]
            os.makedirs(CONFIG.artifacts, exist_ok=True)
            shot = os.path.join(CONFIG.artifacts, "scale-%d.png" % dpi)
            subprocess.run(["import", "-window", "root", "-crop",
                            "%dx%d+%d+%d" % (width, height, max(x, 0), max(y, 0)), "+repage",
                            shot], check=True)
            print("%d DPI: %s -> %s" % (dpi, " ".join(
                "%s=%s" % (k, ",".join(map(str, v))) for k, v in found.items()), shot))
            return found
        finally:
            program.terminate()
            program.wait(timeout=60)
            # The next scale must not find this window.
            wine("taskkill", "/im", os.path.basename(CONFIG.program), "/f")
            end = time.monotonic() + 30
            while probe() is not None and time.monotonic() < end:
                time.sleep(0.5)

    def test_each_scale_is_the_96_dpi_layout_times_the_scale(self):
        places = window_layout.places()
        base = self.run_at(96)
        for dpi in (96, 144, 192):
            found = base if dpi == 96 else self.run_at(dpi)
            with self.subTest(dpi=dpi):
                frame = places["Frame"]
                self.assertEqual(found["window"], (scaled(frame[2], dpi), scaled(frame[3], dpi)))
                print("%d DPI: client %s, 96 DPI client times the scale %s" % (
                    dpi, found["client"], tuple(v * dpi / 96 for v in base["client"])))
                fixed = [p for p in places.values() if p[2] > 0 and p is not frame]
                right = max(x + w for x, _, w, _ in fixed) * dpi / 96
                bottom = max(y + h for _, y, _, h in fixed) * dpi / 96
                self.assertGreaterEqual(found["client"][0], right, "controls clipped")
                self.assertGreaterEqual(found["client"][1], bottom, "controls clipped")
                for key, expected in (
                        ("connect", tuple(v * dpi / 96 for v in places["ConnectButton"][:2])),
                        ("status", tuple(v * dpi / 96 for v in places["Status"][:2]))):
                    for got, want in zip(found[key], expected):
                        self.assertLessEqual(abs(got - want), 2, "%s at %d DPI: %s, expected %s"
                                             % (key, dpi, found[key], expected))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--artifacts", required=True)
    args, rest = parser.parse_known_args()
    CONFIG.program = os.path.abspath(args.program)
    CONFIG.probe = os.path.abspath(args.probe)
    CONFIG.artifacts = args.artifacts
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
