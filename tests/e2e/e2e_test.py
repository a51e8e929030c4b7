#!/usr/bin/env python3
"""End-to-end tests: the program itself, used through its window like a person would.

Each test starts from nothing: its own servers and a fresh run of the program in a private
home folder (harness.py), all stopped by PID and removed afterwards.

Usage: e2e_test.py --program EXE --wm-close EXE --fixtures DIR --send-document SCRIPT
                   --sftp-port N --web-port N --artifacts DIR [unittest arguments]
"""
import argparse
import contextlib
import functools
import os
import pwd
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.dont_write_bytecode = True  # nothing written into the source tree
import harness  # noqa: E402
from harness import (VERSION_PATH, Program, Services, connect, read_text,  # noqa: E402
                     screenshot, stacked_top_down, start_second_copy, visible_windows,
                     wait_for, window_property, xdotool)


def reporting_failure(test):
    """The test, showing the program's state if it fails (while the program still runs)."""
    @functools.wraps(test)
    def run(self):
        with self.failure_reported():
            test(self)
    return run


class EndToEndTest(unittest.TestCase):
    release = "2.4.0\n"
    password = None  # the test account's password; a random one when None
    program_env = {}  # set for the program on top of the test's own environment

    def __init_subclass__(cls, **kwargs):
        # Every test of a subclass reports the state it failed in.
        super().__init_subclass__(**kwargs)
        for name, test in list(vars(cls).items()):
            if name.startswith("test") and callable(test):
                setattr(cls, name, reporting_failure(test))

    def setUp(self):
        base = os.path.realpath(tempfile.gettempdir())
        real_home = os.path.realpath(pwd.getpwuid(os.getuid()).pw_dir)
        if base == real_home or base.startswith(real_home + os.sep):
            base = "/tmp"  # the home folder is hidden from the program
        self.base = tempfile.mkdtemp(prefix="corvane-e2e-", dir=base)
        os.chmod(self.base, 0o755)  # the test account's home lives below
        os.makedirs(harness.CONFIG.artifacts, exist_ok=True)
        self.services = Services(self.base, self.release, password=self.password)
        self.addCleanup(shutil.rmtree, self.base, ignore_errors=True)
        self.addCleanup(self.services.stop)
        for port in (harness.CONFIG.sftp_port, harness.CONFIG.web_port):
            with socket.socket() as s:
                if s.connect_ex(("127.0.0.1", port)) == 0:
                    self.fail("port %d is taken: reconfigure with other CORVANE_E2E_*_PORT "
                              "values" % port)
        self.services.start()
        self.program = Program(self.base, self.services)
        self.program.env.update(self.program_env)
        self.addCleanup(self.program.stop)
        with self.failure_reported():
            self.program.start()

    @contextlib.contextmanager
    def failure_reported(self):
        try:
            yield
        except unittest.SkipTest:
            raise
        except Exception:
            self.report_failure()
            raise

    def report_failure(self):
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
        return os.path.join(harness.CONFIG.artifacts, "%s-%s" % (self._testMethodName, name))

    def connect(self):
        connect(self.services, self.program)

    def assert_no_dialog(self):
        self.assertEqual([], self.program.dialogs())

    def assert_known_hosts_private(self):
        """The server's key went to the throwaway home, not the real one."""
        entry = "[127.0.0.1]:%d " % harness.CONFIG.sftp_port
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
        screenshot(self.program.window, os.path.join(harness.CONFIG.artifacts, "connected-window.png"))
        self.assert_known_hosts_private()

        path, data = self.random_document("report.pdf", 300 * 1024)
        self.services.send([path], writes=5, pause=0.2)

        jobs = wait_for("the document to be printed", self.services.captured)
        self.assertEqual(1, len(jobs))
        self.assertEqual(data, list(jobs.values())[0])
        wait_for("the document to leave the server", lambda: not self.services.on_server())
        wait_for("the copy to leave the outbox",
                 lambda: not self.program.outbox_files() and not os.listdir(self.program.tmpdir))
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
        wait_for("the copies to leave the outbox",
                 lambda: not self.program.outbox_files() and not os.listdir(self.program.tmpdir))
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


class PasswordBeyondAsciiTest(EndToEndTest):
    """A password with an umlaut, a sharp s and a euro sign, typed into the window, in a UTF-8
    locale and in the plain C locale: it reaches the server as UTF-8 either way."""
    password = "Gr\u00fc\u00dfe-\u20ac2026"

    def setUp(self):
        locale = "C" if self._testMethodName.endswith("c_locale") else "C.UTF-8"
        self.program_env = {"LANG": locale, "LC_ALL": locale}
        super().setUp()

    def check_login(self):
        user = self.services.sshd["user"]
        # xdotool's typing of characters beyond ASCII reaches the field: seen in the ID
        # field, which a screen reader may read (the password field hides its text).
        self.program.fill(harness.ACCOUNT_FIELD, self.password)
        typed = wait_for("the typed text in the ID field", lambda: [
            n.text for n in harness.accessibility_tree(self.program.window)
            if n.role == "text" and n.text])
        self.assertEqual([self.password], typed)

        self.connect()
        self.assertIn("Accepted password for %s" % user, self.services.sshd_log())
        self.assertNotIn("Failed password", self.services.sshd_log())
        self.assert_no_dialog()

    def test_typed_in_a_utf8_locale(self):
        self.check_login()

    def test_typed_in_the_c_locale(self):
        self.check_login()


class ScreenReaderTest(EndToEndTest):
    def test_fields_are_named_and_tied_to_their_labels(self):
        tree = harness.accessibility_tree(self.program.window)
        shown = "\n".join(str(node) for node in tree)
        print("\nThe window as AT-SPI shows it:\n" + shown, flush=True)
        with open(self.artifact("accessibility-tree.txt"), "w") as f:
            f.write(shown + "\n")

        def field(role):
            found = [node for node in tree if node.role == role]
            self.assertEqual(1, len(found), "one %s in\n%s" % (role, shown))
            return found[0]

        def label(name):
            found = [node for node in tree if node.role == "label" and node.name == name]
            self.assertEqual(1, len(found), "one label %r in\n%s" % (name, shown))
            return found[0]

        def named_and_tied(node, name):
            return (node.name, node.relations.get("labelled-by"),
                    label(name).relations.get("label-for"))

        self.assertEqual(("Corvane ID", ["Corvane ID"], ["Corvane ID"]),
                         named_and_tied(field("text"), "Corvane ID"))
        self.assertEqual(("Password", ["Password"], ["Password"]),
                         named_and_tied(field("password text"), "Password"))
        self.assertEqual(("Printer", ["Printer"], ["Printer"]),
                         named_and_tied(field("combo box"), "Printer"))
        status = field("status bar")
        self.assertEqual(("Not Connected", "polite", {}),
                         (status.name, status.attributes.get("live"), status.relations))

        # The live region follows the connection.
        self.connect()
        wait_for("the status line to say so", lambda: [
            n for n in harness.accessibility_tree(self.program.window)
            if n.role == "status bar" and n.name == "Connected"
            and n.attributes.get("live") == "polite"])


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


class CommandLineTest(unittest.TestCase):
    """The options, answered before the toolkit starts: no display, no servers needed."""

    def run_program(self, *args, display=False):
        env = {k: v for k, v in os.environ.items()
               if display or k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        # The bound only stops a program that opened its window after all.
        return subprocess.run([harness.CONFIG.program] + list(args), env=env, cwd="/",
                              capture_output=True, text=True, timeout=60)

    def test_version_and_help_without_a_display(self):
        cases = [
            # args, exit code, stdout, what stderr holds
            (["--version"], 0, "Corvane Print Spooler 2.4.0\n", None),
            (["--help"], 0, None, None),
            (["--verbose"], 2, "", "unknown option '--verbose'"),
            (["--version", "--help"], 2, "", "unknown option '--help'"),
            (["document.pdf"], 2, "", "unknown option 'document.pdf'"),
            (["-" + "x" * 500], 2, "", "unknown option '-xxx"),
        ]
        for args, code, out, err in cases:
            with self.subTest(args=args[0][:20]):
                done = self.run_program(*args)
                self.assertEqual(code, done.returncode, done.stderr)
                if out is not None:
                    self.assertEqual(out, done.stdout)
                if err is None:
                    self.assertEqual("", done.stderr)
                else:
                    self.assertIn(err, done.stderr)
                    self.assertEqual(1, len(done.stderr.splitlines()), done.stderr)
                    self.assertLess(len(done.stderr), 200)
        help_text = self.run_program("--help").stdout
        for word in ("Usage: corvane-print-spooler", "--help", "--version",
                     "CORVANE_PRINT_SPOOLER_LOG", "CUPS_SERVER"):
            self.assertIn(word, help_text)
        print(help_text)
        # With a display too, both end by themselves: no window waits for a user.
        for option in ("--version", "--help"):
            self.assertEqual(0, self.run_program(option, display=True).returncode)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--wm-close", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--send-document", required=True)
    parser.add_argument("--sftp-port", type=int, required=True)
    parser.add_argument("--web-port", type=int, required=True)
    parser.add_argument("--artifacts", required=True)
    harness.CONFIG, rest = parser.parse_known_args()
    if not os.environ.get("DISPLAY"):
        sys.exit("no DISPLAY: run through tools/run-tests.sh, which starts Xvfb")
    if os.getuid() != 0:
        sys.exit("needs root: it creates a test account and mounts over the home folder")
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
