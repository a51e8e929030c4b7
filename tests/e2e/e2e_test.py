#!/usr/bin/env python3
"""End-to-end tests: the program itself, used through its window like a person would.

Each test starts from nothing: an OpenSSH server with a fresh test account (sshd_fixture.py),
a private CUPS scheduler whose default queue captures every job (cupsd_fixture.sh) and a
web server with the release-number text (http_server.py), all on loopback and on the ports
compiled into this build of the program. The program runs under the X display in $DISPLAY
(tools/run-tests.sh starts Xvfb); xdotool types into it and clicks, tesseract reads its
dialogs, `import` takes screenshots. Everything is stopped by PID and removed afterwards.

The program is run as it is, but never with the real home folder: the SSH library finds
~/.ssh through the password database (not $HOME) and writes the server's key into
known_hosts there. So the program runs in a private mount namespace (unshare -m) in which
an empty temporary folder is mounted over the home folder of the account running the
tests; nothing it writes under ~ reaches the real one. (Mounting over /etc/passwd instead
is not robust: any useradd elsewhere replaces that file, which silently undoes the mount.)
The program is copied into the test's own folder first, so it stays reachable even when
the build tree lives inside that home folder.

Usage: e2e_test.py --program EXE --wm-close EXE --fixtures DIR --send-document SCRIPT
                   --sftp-port N --web-port N --artifacts DIR [unittest arguments]
"""
import argparse
import importlib.machinery
import importlib.util
import os
import pwd
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

CONFIG = None

VERSION_PATH = "/downloads/corvane-print-spooler-version.txt"
# Where the login form's controls are, relative to the window (the window's fixed layout).
ACCOUNT_FIELD = (239, 146)
PASSWORD_FIELD = (239, 172)
CONNECT_BUTTON = (188, 246)
QUEUE = "e2e"


def wait_for(what, condition, timeout=30.0, interval=0.1):
    """Polls until condition() is truthy and returns its value; fails after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(interval)


def load_script(path, name):
    """A Python script (with or without .py) loaded as a module, for its functions."""
    loader = importlib.machinery.SourceFileLoader(name, path)
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader(name, loader))
    loader.exec_module(module)
    return module


def key_values(text):
    return dict(line.split("=", 1) for line in text.splitlines() if "=" in line)


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    return True


def xdotool(*args):
    return subprocess.run(["xdotool"] + [str(a) for a in args], check=True,
                          capture_output=True, text=True).stdout


def window_property(window, name):
    out = subprocess.run(["xprop", "-id", str(window), name], capture_output=True,
                         text=True).stdout
    return out.split("=", 1)[1].strip() if "=" in out else ""


def visible_windows(pid):
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                            capture_output=True, text=True)
    return [int(w) for w in result.stdout.split()]


def screenshot(window, path):
    subprocess.run(["import", "-window", str(window), path], check=True,
                   stderr=subprocess.DEVNULL)


def read_text(window):
    """The text a person reads in a window, through OCR of an enlarged grey screenshot."""
    with tempfile.TemporaryDirectory() as tmp:
        image = os.path.join(tmp, "w.png")
        subprocess.run(["import", "-window", str(window), "-resize", "300%",
                        "-colorspace", "Gray", image], check=True, stderr=subprocess.DEVNULL)
        text = subprocess.run(["tesseract", image, "-"], capture_output=True,
                              text=True).stdout
    return " ".join(text.split())


class Services:
    """The servers of one test, each started by its fixture script in a folder of its own."""

    def __init__(self, base, release, sshd_port=None):
        self.base = base
        self.release = release
        # The compiled-in port unless something else (a proxy) takes that one.
        self.sshd_port = sshd_port or CONFIG.sftp_port
        self.sshd = None
        self.cups = None
        self.web_pid = None
        self.web_dir = os.path.join(base, "web")

    def start(self):
        fixtures = CONFIG.fixtures
        out = subprocess.run(
            [sys.executable, os.path.join(fixtures, "sshd_fixture.py"), "start",
             os.path.join(self.base, "sshd"), "--port", str(self.sshd_port)],
            check=True, capture_output=True, text=True).stdout
        self.sshd = key_values(out)
        out = subprocess.run(
            ["sh", os.path.join(fixtures, "cupsd_fixture.sh"), "start",
             os.path.join(self.base, "cups"), "--default", QUEUE, QUEUE],
            check=True, capture_output=True, text=True).stdout
        self.cups = key_values(out)
        os.makedirs(self.web_dir)
        web = subprocess.Popen(
            [sys.executable, os.path.join(fixtures, "http_server.py"), self.web_dir,
             "--port", str(CONFIG.web_port), "--version", self.release],
            stdout=subprocess.PIPE, text=True)
        self.web_pid = web.pid
        lines = []
        for line in web.stdout:
            lines.append(line.strip())
            if line.strip() == "ready":
                break
        web.stdout.close()
        if "ready" not in lines:
            web.wait()
            self.web_pid = None
            raise AssertionError("the web server did not start on port %d" % CONFIG.web_port)

    def stop(self):
        if self.web_pid is not None:
            os.kill(self.web_pid, signal.SIGTERM)
            os.waitpid(self.web_pid, 0)
            self.web_pid = None
        fixtures = CONFIG.fixtures
        subprocess.run(["sh", os.path.join(fixtures, "cupsd_fixture.sh"), "stop",
                        os.path.join(self.base, "cups")])
        subprocess.run([sys.executable, os.path.join(fixtures, "sshd_fixture.py"), "stop",
                        os.path.join(self.base, "sshd")])

    @property
    def pickup(self):
        return self.sshd["pickup"]

    @property
    def captured_dir(self):
        return os.path.join(self.cups["capture"], QUEUE)

    def captured(self):
        """Printed jobs, by CUPS job number: {id: bytes}."""
        jobs = {}
        for name in os.listdir(self.captured_dir):
            match = re.fullmatch(r"job-(\d+)\.bin", name)
            if match:
                with open(os.path.join(self.captured_dir, name), "rb") as f:
                    jobs[int(match.group(1))] = f.read()
        return jobs

    def on_server(self):
        return sorted(os.listdir(self.pickup))

    def queue_empty(self):
        """No job waits in the print queue (or the scheduler is gone, and the queue with it)."""
        env = dict(os.environ, CUPS_SERVER=self.cups["socket"])
        listing = subprocess.run(["lpstat", "-o", QUEUE], env=env, capture_output=True,
                                 text=True).stdout
        return listing.strip() == "" or not alive(int(self.cups["pid"]))

    def sshd_log(self):
        with open(self.sshd["log"], errors="replace") as f:
            return f.read()

    def sftp_sessions(self):
        return self.sshd_log().count("subsystem 'sftp' for %s " % self.sshd["user"])

    def web_requests(self):
        try:
            with open(os.path.join(self.web_dir, "requests.log")) as f:
                return f.read().split()
        except FileNotFoundError:
            return []

    def send(self, paths, writes=1, pause=0.0):
        subprocess.run([sys.executable, CONFIG.send_document, "--pickup", self.pickup,
                        "--owner", self.sshd["user"], "--writes", str(writes),
                        "--pause", str(pause)] + paths,
                       check=True, stdout=subprocess.DEVNULL)


class Program:
    """The program under test, in its own mount namespace with a throwaway home folder."""

    def __init__(self, base, services):
        self.base = base
        self.services = services
        self.home = os.path.join(base, "home")
        self.tmpdir = os.path.join(base, "tmp")
        self.rundir = os.path.join(base, "run")  # its session's runtime folder
        self.log_path = os.path.join(base, "program.log")
        self.process = None
        self.window = None
        self.env = {}  # set for the program on top of the test's own environment

    def start(self):
        program_dir = os.path.join(self.base, "program")
        shutil.copytree(os.path.dirname(CONFIG.program), program_dir, dirs_exist_ok=True)
        for path in (self.home, self.tmpdir, self.rundir):
            os.makedirs(path, mode=0o700, exist_ok=True)
        real_home = pwd.getpwuid(os.getuid()).pw_dir
        env = dict(os.environ)
        env.update(TMPDIR=self.tmpdir, CUPS_SERVER=self.services.cups["socket"],
                   NO_AT_BRIDGE="1", XDG_RUNTIME_DIR=self.rundir)
        env.update(self.env)
        with open(self.log_path, "w") as log:
            self.process = subprocess.Popen(
                ["unshare", "-m", "--propagation", "private", "sh", "-c",
                 'mount --bind "$1" "$2" && shift 2 && exec "$@"', "sh", self.home, real_home,
                 os.path.join(program_dir, os.path.basename(CONFIG.program))],
                env=env, cwd=self.base, stdout=log, stderr=subprocess.STDOUT)
        self.window = wait_for("the main window", self.main_window_of_running_program)

    def main_window_of_running_program(self):
        if not self.running():
            raise AssertionError("the program ended before its window showed:\n" + self.log())
        return self.main_window()

    def main_window(self):
        for window in visible_windows(self.process.pid):
            if window_property(window, "_NET_WM_NAME").strip('"').startswith(
                    "Corvane Print Spooler"):
                return window
        return None

    def dialogs(self):
        return [w for w in visible_windows(self.process.pid)
                if "_NET_WM_WINDOW_TYPE_DIALOG" in window_property(w, "_NET_WM_WINDOW_TYPE")]

    def running(self):
        return self.process.poll() is None

    def click(self, position):
        xdotool("mousemove", "--window", self.window, position[0], position[1], "click", 1)

    def fill(self, position, text):
        self.click(position)
        xdotool("key", "ctrl+a", "BackSpace")
        if text:
            xdotool("type", "--delay", 15, text)

    def log_in(self, account, password):
        xdotool("windowfocus", "--sync", self.window)
        self.fill(ACCOUNT_FIELD, account)
        xdotool("key", "Tab")
        xdotool("key", "ctrl+a", "BackSpace")
        xdotool("type", "--delay", 15, password)
        self.click(CONNECT_BUTTON)

    def answer_dialog(self, dialog, key):
        xdotool("windowfocus", "--sync", dialog)
        xdotool("key", key)
        wait_for("the dialog to close", lambda: dialog not in visible_windows(self.process.pid))

    def close(self):
        """Asks the window to close, as its close box does."""
        subprocess.run([CONFIG.wm_close, str(self.window)], check=True)

    def stop(self):
        if self.process is None:
            return
        if self.running():
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def log(self):
        with open(self.log_path, errors="replace") as f:
            return f.read()


def start_second_copy(program, log_path):
    """The program started once more in the running copy's session (its home, runtime folder
    and display), as a second click in the menu does; returns the process."""
    real_home = pwd.getpwuid(os.getuid()).pw_dir
    env = dict(os.environ, TMPDIR=program.tmpdir, CUPS_SERVER=program.services.cups["socket"],
               NO_AT_BRIDGE="1", XDG_RUNTIME_DIR=program.rundir)
    env.update(program.env)
    executable = os.path.join(program.base, "program", os.path.basename(CONFIG.program))
    with open(log_path, "w") as log:
        return subprocess.Popen(
            ["unshare", "-m", "--propagation", "private", "sh", "-c",
             'mount --bind "$1" "$2" && shift 2 && exec "$@"', "sh", program.home, real_home,
             executable], env=env, cwd=program.base, stdout=log, stderr=subprocess.STDOUT)


def stacked_top_down():
    """The display's top-level windows, the topmost first."""
    out = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True,
                         text=True).stdout
    return [int(m.group(1), 16) for m in re.finditer(r"^\s+(0x[0-9a-f]+) ", out, re.M)]


def connect(services, program):
    """Logs in with the test account and waits until the window says so."""
    before = services.sftp_sessions()
    program.log_in(services.sshd["user"], services.sshd["password"])
    wait_for("an SFTP session of the program", lambda: services.sftp_sessions() > before)
    wait_for("the window to show the connection",
             lambda: "Disconnect" in read_text(program.window), interval=0.5)


class EndToEndTest(unittest.TestCase):
    release = "2.4.0\n"

    def setUp(self):
        base = os.path.realpath(tempfile.gettempdir())
        real_home = os.path.realpath(pwd.getpwuid(os.getuid()).pw_dir)
        if base == real_home or base.startswith(real_home + os.sep):
            base = "/tmp"  # the home folder is hidden from the program
        self.base = tempfile.mkdtemp(prefix="corvane-e2e-", dir=base)
        os.chmod(self.base, 0o755)  # the test account's home lives below
        os.makedirs(CONFIG.artifacts, exist_ok=True)
        self.services = Services(self.base, self.release)
        self.addCleanup(shutil.rmtree, self.base, ignore_errors=True)
        self.addCleanup(self.services.stop)
        for port in (CONFIG.sftp_port, CONFIG.web_port):
            with socket.socket() as s:
                if s.connect_ex(("127.0.0.1", port)) == 0:
                    self.fail("port %d is taken: reconfigure with other CORVANE_E2E_*_PORT "
                              "values" % port)
        self.services.start()
        self.program = Program(self.base, self.services)
        self.addCleanup(self.program.stop)
        self.addCleanup(self.report_failure)
        self.program.start()

    def report_failure(self):
        if self._outcome.success:
            return
        if self.program.process is not None and self.program.running():
            try:
                subprocess.run(["import", "-window", "root", self.artifact("failure.png")],
                               stderr=subprocess.DEVNULL, timeout=30)
            except subprocess.TimeoutExpired:
                pass
        sys.stderr.write("--- program output ---\n%s\n" % self.program.log())
        try:
            sys.stderr.write("--- sshd log (end) ---\n%s\n" % self.services.sshd_log()[-3000:])
        except (OSError, TypeError):
            pass

    def artifact(self, name):
        return os.path.join(CONFIG.artifacts, "%s-%s" % (self._testMethodName, name))

    def connect(self):
        connect(self.services, self.program)

    def assert_no_dialog(self):
        self.assertEqual([], self.program.dialogs())

    def assert_known_hosts_private(self):
        """The server's key went to the throwaway home, not the real one."""
        entry = "[127.0.0.1]:%d " % CONFIG.sftp_port
        with open(os.path.join(self.program.home, ".ssh", "known_hosts")) as f:
            self.assertIn(entry, f.read())

    def random_document(self, name, size):
        path = os.path.join(self.base, "outbox", name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(name.encode() + b"\n" + os.urandom(size))
        with open(path, "rb") as f:
            return path, f.read()


class PrintingTest(EndToEndTest):
    def test_one_document_is_printed(self):
        self.connect()
        screenshot(self.program.window, os.path.join(CONFIG.artifacts, "connected-window.png"))
        self.assert_known_hosts_private()

        path, data = self.random_document("report.pdf", 300 * 1024)
        self.services.send([path], writes=5, pause=0.2)

        jobs = wait_for("the document to be printed", self.services.captured)
        self.assertEqual(1, len(jobs))
        self.assertEqual(data, list(jobs.values())[0])
        wait_for("the document to leave the server", lambda: not self.services.on_server())
        wait_for("the temporary copy to be removed",
                 lambda: not os.listdir(self.program.tmpdir))
        self.assertTrue(self.program.running())
        self.assert_no_dialog()

    def test_twenty_documents_each_printed_once(self):
        self.connect()
        sent = {}
        paths = []
        for i in range(20):
            path, data = self.random_document("doc-%02d.pdf" % i, 20 * 1024 + 997 * i)
            paths.append(path)
            sent[os.path.basename(path)] = data
        self.services.send(paths)

        wait_for("twenty printed jobs", lambda: len(self.services.captured()) >= 20,
                 timeout=120, interval=0.5)
        wait_for("the pickup folder to empty", lambda: not self.services.on_server())
        wait_for("the temporary copies to be removed",
                 lambda: not os.listdir(self.program.tmpdir))
        wait_for("the print queue to empty", self.services.queue_empty)
        printed = sorted(self.services.captured().values())
        self.assertEqual(sorted(sent.values()), printed)
        self.assertTrue(self.program.running())


class LoginTest(EndToEndTest):
    def test_wrong_password_then_right_password(self):
        user = self.services.sshd["user"]
        self.program.log_in(user, "not-" + self.services.sshd["password"])
        dialog = wait_for("the error message", self.program.dialogs)[0]
        text = read_text(dialog)
        screenshot(dialog, self.artifact("message.png"))
        self.assertIn("User name or password incorrect", text)
        self.assertIn("Failed password for %s" % user, self.services.sshd_log())
        self.program.answer_dialog(dialog, "Return")

        self.assertTrue(self.program.running())
        self.assertIn("Not Connected", read_text(self.program.window))
        self.assert_no_dialog()

        self.connect()
        self.assertIn("Accepted password for %s" % user, self.services.sshd_log())
        path, data = self.random_document("after-retry.pdf", 4096)
        self.services.send([path])
        jobs = wait_for("the document to be printed", self.services.captured)
        self.assertEqual([data], list(jobs.values()))


class UpdateTest(EndToEndTest):
    def setUp(self):
        # The web server offers a newer release, or the running one.
        newer = self._testMethodName == "test_newer_release_is_offered"
        self.release = "2.4.1\n" if newer else "2.4.0\n"
        super().setUp()

    def test_newer_release_is_offered(self):
        dialog = wait_for("the update question", self.program.dialogs)[0]
        screenshot(dialog, self.artifact("question.png"))
        self.assertEqual('"Update Available"', window_property(dialog, "_NET_WM_NAME"))
        self.assertIn("An update is available. Download now?", read_text(dialog))
        # Escape declines: no browser, and the program carries on.
        self.program.answer_dialog(dialog, "Escape")
        self.assertTrue(self.program.running())
        self.assertNotIn("/download-business/", self.services.web_requests())
        self.assertEqual(1, self.services.web_requests().count(VERSION_PATH))

    def test_current_release_asks_nothing(self):
        wait_for("the release check", lambda: VERSION_PATH in self.services.web_requests())
        # The question, if any, would follow the answer at once; give it ample time.
        time.sleep(3)
        self.assert_no_dialog()
        self.assertTrue(self.program.running())


class ExitTest(EndToEndTest):
    def test_close_while_connected(self):
        self.connect()
        # One document is complete on the server when the window closes, another is
        # still arriving; neither may be lost, whatever the exit is doing at the time.
        whole, whole_data = self.random_document("whole.pdf", 64 * 1024)
        growing, growing_data = self.random_document("growing.pdf", 64 * 1024)
        self.services.send([whole])
        sender = threading.Thread(
            target=self.services.send, args=([growing],), kwargs=dict(writes=10, pause=0.3))
        sender.start()
        try:
            wait_for("the second document to start arriving",
                     lambda: "growing.pdf" in self.services.on_server(), interval=0.02)
            self.program.close()
            # The program's own wait for its worker is 5 s; this bound only stops a hang.
            code = self.program.process.wait(timeout=60)
        finally:
            sender.join()
        self.assertEqual(0, code)

        printed = list(self.services.captured().values())
        for name, data in (("whole.pdf", whole_data), ("growing.pdf", growing_data)):
            on_server = name in self.services.on_server()
            was_printed = data in printed
            self.assertTrue(on_server != was_printed,
                            "%s: printed %s, on the server %s" % (name, was_printed, on_server))
            if on_server:
                with open(os.path.join(self.services.pickup, name), "rb") as f:
                    self.assertEqual(data, f.read())
        self.assertEqual(len(printed), len(set(printed)))
        self.assertEqual([], [p for p in printed if p not in (whole_data, growing_data)])


class SingleInstanceTest(EndToEndTest):
    def test_second_start_brings_the_first_window_forward(self):
        # Another window covers the program's and has the keyboard.
        title = "cover-%d" % os.getpid()
        cover = subprocess.Popen(["xmessage", "-title", title, "-geometry", "700x500+0+0",
                                  "cover"])
        self.addCleanup(lambda: (cover.kill(), cover.wait()))
        cover_window = int(wait_for("the covering window", lambda: subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--name", title], capture_output=True,
            text=True).stdout.split())[0])
        xdotool("windowfocus", "--sync", cover_window)
        self.assertLess(stacked_top_down().index(cover_window),
                        stacked_top_down().index(self.program.window))

        second = start_second_copy(self.program, os.path.join(self.base, "second.log"))
        self.addCleanup(lambda: second.poll() is None and (second.kill(), second.wait()))
        seen = set()

        def ended():
            seen.update(visible_windows(second.pid))
            return second.poll() is not None
        wait_for("the second copy to end", ended)
        self.assertEqual(0, second.returncode)
        self.assertEqual(set(), seen)

        stack = stacked_top_down()
        self.assertLess(stack.index(self.program.window), stack.index(cover_window))
        wait_for("the first window to have the keyboard",
                 lambda: int(xdotool("getwindowfocus")) == self.program.window)
        self.assertTrue(self.program.running())
        self.assertEqual(self.program.window, self.program.main_window())


def main():
    global CONFIG
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--wm-close", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--send-document", required=True)
    parser.add_argument("--sftp-port", type=int, required=True)
    parser.add_argument("--web-port", type=int, required=True)
    parser.add_argument("--artifacts", required=True)
    CONFIG, rest = parser.parse_known_args()
    if not os.environ.get("DISPLAY"):
        sys.exit("no DISPLAY: run through tools/run-tests.sh, which starts Xvfb")
    if os.getuid() != 0:
        sys.exit("needs root: it creates a test account and mounts over the home folder")
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
