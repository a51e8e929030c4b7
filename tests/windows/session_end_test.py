#!/usr/bin/env python3
"""The end of the desktop session under Wine (run by tools/windows/wine-tests.sh, which
provides WINEPREFIX, DISPLAY and the wineserver):

  session_end_test.py --program EXE --probe window_probe.exe --standin standin.exe
                      --fixtures DIR --sftp-port N

The program, built for a loopback SSH server on port N (sshd, started here with a private
CUPS scheduler whose queue Wine lists), runs from a working folder of its own with the
stand-in as its print program. Logged in through its window, it gets a document, and
`wineboot --end-session` ends the session (WM_QUERYENDSESSION, WM_ENDSESSION): once while
the document is being copied, once while the print program holds it. Each time the program
must end by itself, say why in its log and lose nothing: a document caught mid-copy is
still whole on the server and no partial copy is left; one held by the print program is
waits in the outbox and is printed again after a new start and Connect. Every process and
server started here is stopped by its PID.
"""
import argparse
import os
import pwd
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import waiting  # noqa: E402

TITLE = "Corvane Print Spooler 2.4.0"
CONFIG = argparse.Namespace()


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def key_values(text):
    return dict(line.split("=", 1) for line in text.splitlines() if "=" in line)


def wait_for(what, condition, seconds=90, interval=0.2):
    return waiting.wait_for(what, condition, timeout=seconds, interval=interval)


def wine_outbox_folder():
    """The Unix path of the program's outbox in the prefix, where it makes its copies."""
    out = subprocess.run(["wine", "cmd.exe", "/c", "echo %LOCALAPPDATA%"], capture_output=True,
                         text=True, check=True).stdout.strip()
    base = subprocess.run(["winepath", "-u", out], capture_output=True, text=True,
                          check=True).stdout.strip()
    return os.path.join(base, "Corvane Print Spooler", "Outbox")


def copies_in(folder):
    try:
        return [name for name in os.listdir(folder) if name.endswith(".copy")]
    except FileNotFoundError:
        return []


def processes_running(marker):
    """PIDs of the processes whose command line holds `marker`."""
    found = []
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                if marker.encode() in f.read():
                    found.append(int(entry))
        except (OSError, ValueError):
            pass
    return found


class SessionEnd(unittest.TestCase):
    # One server for both cases: the program remembers its host key from the first.
    @classmethod
    def setUpClass(cls):
        cls.server_folder = tempfile.mkdtemp(prefix="corvane-session-end-sshd-")
        os.chmod(cls.server_folder, 0o755)  # the test account's home lies below
        cls.sshd_script = os.path.join(CONFIG.fixtures, "sshd_fixture.py")
        cls.sshd = key_values(subprocess.run(
            [sys.executable, cls.sshd_script, "start", cls.server_folder, "--port",
             str(CONFIG.sftp_port)], check=True, capture_output=True, text=True).stdout)

    @classmethod
    def tearDownClass(cls):
        subprocess.run([sys.executable, cls.sshd_script, "stop", cls.server_folder])
        shutil.rmtree(cls.server_folder, ignore_errors=True)

    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="corvane-session-end-")
        self.stops = []
        self.program = None
        cups = os.path.join(self.scratch, "cups")
        cups_script = os.path.join(CONFIG.fixtures, "cupsd_fixture.sh")
        out = subprocess.run(["sh", cups_script, "start", cups, "--default", "Office_Laser",
                              "Office_Laser"], check=True, capture_output=True, text=True).stdout
        self.stops.append(lambda: subprocess.run(["sh", cups_script, "stop", cups]))

        # The working folder: the program, its pictures, the stand-in as its print program.
        self.work = os.path.join(self.scratch, "corvane work")
        shutil.copytree(os.path.dirname(os.path.abspath(CONFIG.program)), self.work)
        shutil.copy(CONFIG.standin, os.path.join(self.work, "sumatraPDF.exe"))
        self.records = os.path.join(self.scratch, "records")
        os.mkdir(self.records)
        self.log = os.path.join(self.scratch, "program.log")
        self.env = dict(os.environ, CUPS_SERVER=key_values(out)["socket"],
                        CORVANE_STANDIN_RECORDS=windows_path(self.records),
                        CORVANE_STANDIN_HOLD=windows_path(os.path.join(self.scratch, "held")),
                        CORVANE_PRINT_SPOOLER_LOG=windows_path(self.log))
        for name in ("PRINTER", "LPDEST"):
            self.env.pop(name, None)
        self.outbox = wine_outbox_folder()
        shutil.rmtree(self.outbox, ignore_errors=True)

    def tearDown(self):
        # The program and a print program still holding on, by their PIDs: the scratch
        # folder's name is in their command lines in its Unix or Windows form alike.
        for pid in processes_running(os.path.basename(self.scratch)):
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        if self.program is not None and self.program.poll() is None:
            self.program.kill()
            self.program.wait()
        for stop in reversed(self.stops):
            stop()
        shutil.rmtree(self.scratch, ignore_errors=True)

    def probe(self, *args):
        result = subprocess.run(["wine", CONFIG.probe, TITLE] + list(args), capture_output=True,
                                text=True, env=self.env)
        return result.stdout if result.returncode == 0 else None

    def start_and_connect(self):
        self.program = subprocess.Popen(["wine", os.path.join(self.work, os.path.basename(
            CONFIG.program))], cwd=self.work, env=self.env, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        wait_for("the program's window", lambda: self.probe("--texts"))
        # The printer list may fill in late (Wine's spooler starts anew after a session's
        # end), and Connect needs a printer chosen: a pause, not a bound.
        time.sleep(5)
        wait_for("the log-in", lambda: self.probe("--log-in", self.sshd["user"],
                                                  self.sshd["password"]) is not None)
        wait_for("the window to show the connection",
                 lambda: "Disconnect" in (self.probe("--texts") or ""), seconds=120)

    def place(self, name, data=None, size=0):
        """A document in the pickup folder, owned by the account; `size` makes it sparse."""
        path = os.path.join(self.sshd["pickup"], name)
        staging = os.path.join(self.sshd["pickup"], "..", name + ".part")
        with open(staging, "wb") as f:
            if data is not None:
                f.write(data)
            if size:
                f.truncate(size)
        account = pwd.getpwnam(self.sshd["user"])
        os.chown(staging, account.pw_uid, account.pw_gid)
        os.rename(staging, path)
        return path

    def end_session(self):
        ended = subprocess.run(["wineboot", "--end-session"], env=self.env,
                               capture_output=True, text=True, timeout=300)
        print("wineboot --end-session: exit status %d" % ended.returncode)
        wait_for("the program to end by itself", lambda: self.program.poll() is not None)
        with open(self.log, errors="replace") as f:
            log = f.read()
        print(log)
        self.assertIn("exit: the desktop session is ending", log)

    def test_mid_copy_the_document_stays_on_the_server(self):
        self.start_and_connect()
        size = 1 << 30  # sparse: quick to make, seconds to copy
        path = self.place("large.pdf", b"large.pdf\n", size)
        before = os.stat(path)

        def copying():
            for name in copies_in(self.outbox):
                try:
                    if os.path.getsize(os.path.join(self.outbox, name)) > 0:
                        return True
                except OSError:
                    pass
            return False
        wait_for("a copy in progress", copying, interval=0.05)
        self.end_session()
        after = os.stat(path)
        self.assertEqual((after.st_size, after.st_mtime), (before.st_size, before.st_mtime))
        self.assertEqual(copies_in(self.outbox), [], "a partial copy was left")

    def test_at_the_print_program_it_prints_after_the_next_connect(self):
        self.start_and_connect()
        first_line = "held-document-%d" % os.getpid()
        self.place("held.pdf", first_line.encode() + b"\n" + os.urandom(32 << 10))

        def printed():
            found = 0
            for name in os.listdir(self.records):
                if name.endswith(".txt"):
                    with open(os.path.join(self.records, name), encoding="utf-8") as f:
                        found += key_values(f.read()).get("firstLine") == first_line
            return found
        wait_for("the print program holding the document", printed)
        self.end_session()
        self.assertFalse(os.path.exists(os.path.join(self.sshd["pickup"], "held.pdf")))
        self.assertEqual(len(copies_in(self.outbox)), 1, "the document is not in the outbox")
        # The print program never finished: the next run prints the document again.
        self.start_and_connect()
        wait_for("the document printed after the new Connect", lambda: printed() >= 2)


def main():
    parser = argparse.ArgumentParser()
    for option in ("--program", "--probe", "--standin", "--fixtures"):
        parser.add_argument(option, required=True)
    parser.add_argument("--sftp-port", type=int, required=True)
    args, rest = parser.parse_known_args()
    vars(CONFIG).update(vars(args))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
