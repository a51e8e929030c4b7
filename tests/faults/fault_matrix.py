#!/usr/bin/env python3
"""The fault matrix: one row per fault, each counting where every document sent ended up.

A row runs the real program as the end-to-end tests do (e2e/harness.py: its servers, its
window, its private home), with the program's SSH port served by a loopback proxy in front
of sshd (../fixtures/link_proxy.py, a process of its own), so that a row can slow the copy
down, cut the connection or freeze the link. The row
sends several documents, injects its fault, waits until things settle, closes the window
and counts each document in exactly one place: printed once (bytes equal in the CUPS
capture), printed twice or more, still whole on the server, kept as unprinted
($XDG_DATA_HOME/corvane-print-spooler/unprinted/), waiting whole in the outbox for the next
Connect ($XDG_STATE_HOME/corvane-print-spooler/outbox/), or else lost. Also counted: printed
jobs that match no document (garbled), files left in the program's TMPDIR and partial copies
left in its outbox after it ended (temp), waits that ran past their bound (hung), and an exit
other than 0 or a sanitizer report (crashed).

Usage: fault_matrix.py (the e2e_test.py options) --table FILE [--only SUBSTRING]
"""
import argparse
import os
import pwd
import random
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import harness as e2e  # noqa: E402
from harness import wait_for  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures"))
from link_proxy import LinkProxy  # noqa: E402

COLUMNS = ("sent", "once", "twice", "server", "kept", "outbox", "lost", "garbled", "temp",
           "hung", "crashed")
MUST_BE_ZERO = ("twice", "lost", "garbled", "temp", "hung", "crashed")
SANITIZER_REPORTS = ("ERROR: AddressSanitizer", "runtime error:", "WARNING: ThreadSanitizer")
ARGS = None
NOTES = []  # figures a row measured, printed beside the table
PROBLEMS = []  # what a row found wrong beyond its counts


class Hung(Exception):
    pass


class Run:
    """One row: its servers, proxy and program, and the documents it sent."""

    def __init__(self):
        self.base = tempfile.mkdtemp(prefix="corvane-faults-", dir="/tmp")
        os.chmod(self.base, 0o755)  # the test account's home lives below
        self.docs = {}  # name -> bytes
        self.stays = set()  # documents that may stay on the server
        self.must_print = set()
        self.withdrawn = set()  # removed by the test: counted only if printed
        self.mounts = []
        self.hung = 0
        self.services = e2e.Services(self.base, "2.4.0\n", sshd_port=free_port())
        self.program = e2e.Program(self.base, self.services)
        self.unprinted = os.path.join(self.base, "data", "corvane-print-spooler", "unprinted")
        self.program.env["XDG_DATA_HOME"] = os.path.join(self.base, "data")
        self.proxy = None
        self.server = "sshd"  # or "proftpd": the proxy then leads to a ProFTPD (mod_sftp)
        self.proftpd_dir = os.path.join(self.base, "proftpd")
        self.others = []  # further copies of the program, other workstations of the account
        self.swap_replies = False

    def start(self):
        self.services.start()
        if self.swap_replies:
            # Before the program connects: its sessions get the SFTP server that answers
            # reads in swapped pairs.
            subprocess.run([sys.executable, os.path.join(ARGS.fixtures, "sshd_fixture.py"),
                            "restart", os.path.join(self.base, "sshd"), "--swap-replies"],
                           check=True, stdout=subprocess.DEVNULL)
        target = self.services.sshd_port
        if self.server == "proftpd":
            out = subprocess.run(
                [sys.executable, os.path.join(ARGS.fixtures, "proftpd_fixture.py"), "start",
                 self.proftpd_dir, "--user", self.services.sshd["user"]],
                check=True, capture_output=True, text=True).stdout
            target = int(e2e.key_values(out)["port"])
        self.proxy = LinkProxy(ARGS.sftp_port, target)
        self.start_program()
        if self.server == "proftpd":
            # e2e.connect counts sshd's sessions; this server is not sshd.
            self.program.log_in(self.services.sshd["user"], self.services.sshd["password"])
            self.wait("the window to show the connection",
                      lambda: "Disconnect" in e2e.read_text(self.program.window), interval=0.5)
        else:
            e2e.connect(self.services, self.program)

    def start_program(self):
        try:
            self.program.start()
        except AssertionError as error:
            # Seen rarely on a loaded machine: the X server refused the connection. That is
            # no fault of the program; a second start tells.
            if "Unable to initialize GTK+" not in str(error):
                raise
            sys.stderr.write("started again: %s\n" % error)
            self.program.start()

    def add_program(self, name):
        """Another copy of the program, as on another workstation: a home, data and runtime
        folder of its own; logged in to the same account."""
        base = os.path.join(self.base, name)
        os.makedirs(base)
        other = e2e.Program(base, self.services)
        for variable, folder in (("XDG_DATA_HOME", "data"), ("XDG_RUNTIME_DIR", "run")):
            os.makedirs(os.path.join(base, folder), mode=0o700)
            other.env[variable] = os.path.join(base, folder)
        self.others.append(other)
        other.start()
        e2e.connect(self.services, other)
        return other

    def stop(self):
        for program in [self.program] + self.others:
            program.stop()
        if self.proxy:
            self.proxy.close()
        if self.server == "proftpd":
            subprocess.run([sys.executable, os.path.join(ARGS.fixtures, "proftpd_fixture.py"),
                            "stop", self.proftpd_dir])
        self.services.stop()
        for path in self.mounts:
            subprocess.run(["umount", "-l", path])
        shutil.rmtree(self.base, ignore_errors=True)

    def mount_outbox(self, *options):
        """A small file system of its own as the program's outbox."""
        os.makedirs(self.program.outbox, mode=0o700)
        subprocess.run(["mount", "-t", "tmpfs", "-o", ",".join(options), "tmpfs",
                        self.program.outbox], check=True)
        self.mounts.append(self.program.outbox)

    def send(self, count, size, prefix="doc", stays=False, must_print=False, **how):
        """Sends `count` new documents of `size` bytes in one go; returns their names."""
        names, paths = [], []
        for i in range(count):
            name = "%s-%d-%03d.pdf" % (prefix, len(self.docs), i)
            data = name.encode() + b"\n" + os.urandom(size)
            self.docs[name] = data
            path = os.path.join(self.base, "outbox", name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
            names.append(name)
            paths.append(path)
        if stays:
            self.stays.update(names)
        if must_print:
            self.must_print.update(names)
        self.services.send(paths, **how)
        return names

    def wait(self, what, condition, timeout=60.0, interval=0.05):
        try:
            return wait_for(what, condition, timeout=timeout, interval=interval)
        except AssertionError as error:
            raise Hung(str(error))

    def wait_copying(self):
        """Until a copy has started arriving in the program's outbox."""
        def copying():
            for name in self.program.outbox_files():
                try:
                    if (name.endswith(".copy") and
                            os.path.getsize(os.path.join(self.program.outbox, name)) > 0):
                        return True
                except OSError:
                    pass  # gone meanwhile
            return False
        self.wait("a copy in progress", copying, interval=0.01)

    def sshd_state(self):
        return sshd_fixture().load(os.path.join(self.base, "sshd"))

    def printed(self):
        return list(self.services.captured().values())

    def settled(self):
        printed = self.printed()
        on_server = set(self.services.on_server())
        return (all(self.docs[n] in printed for n in self.must_print)
                and all(n not in on_server for n in self.docs if n not in self.stays)
                and not os.listdir(self.program.tmpdir) and not self.program.outbox_files()
                and self.services.queue_empty())

    def finish(self, bound):
        """Settles, answers any message, closes the window and waits for the exit."""
        if self.program.running():
            self.wait("the documents to settle", self.settled, timeout=bound, interval=0.5)
            self.wait("the messages to be answered", self.answer_messages, interval=0.5)
            self.program.close()
        for other in self.others:
            if other.running():
                other.close()
        for program in [self.program] + self.others:
            try:
                program.process.wait(timeout=60)
            except subprocess.TimeoutExpired:
                raise Hung("the program to exit")

    def answer_messages(self):
        """Presses Return in every message box, innermost first; true once none is left."""
        for dialog in reversed(self.program.dialogs()):
            for args in (["windowfocus", "--sync", str(dialog)], ["key", "Return"]):
                subprocess.run(["xdotool"] + args, capture_output=True)
        return not self.program.dialogs()

    def count(self):
        row = dict.fromkeys(COLUMNS, 0)
        printed = self.printed()
        kept = read_all(self.unprinted)
        for other in self.others:
            kept.update({"%s/%s" % (other.base, name): data for name, data in read_all(
                os.path.join(other.env["XDG_DATA_HOME"], "corvane-print-spooler",
                             "unprinted")).items()})
        on_server = read_all(self.services.pickup)
        outbox = {}
        for program in [self.program] + self.others:
            outbox.update({"%s/%s" % (program.base, name): data
                           for name, data in read_all(program.outbox).items()
                           if name.endswith(".copy") and name[:-5] + ".rec" in
                           program.outbox_files()})
        for name, data in self.docs.items():
            times = printed.count(data)
            if name in self.withdrawn and not times:
                continue
            row["sent"] += 1
            if times:
                row["once" if times == 1 else "twice"] += 1
            elif on_server.get(name) == data:
                row["server"] += 1
            elif data in kept.values():
                row["kept"] += 1
            elif data in outbox.values():
                row["outbox"] += 1
            else:
                row["lost"] += 1
        row["garbled"] = sum(1 for job in printed if job not in self.docs.values())
        row["hung"] = self.hung
        for program in [self.program] + self.others:
            row["temp"] += len(program.left_behind())
            code = program.process.returncode
            log = program.log()
            row["crashed"] += int(code != 0 or any(r in log for r in SANITIZER_REPORTS))
            if code != 0:
                sys.stderr.write("program ended with %s\n--- its output ---\n%s\n" % (code, log))
        return row


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def read_all(folder):
    found = {}
    if os.path.isdir(folder):
        for name in os.listdir(folder):
            path = os.path.join(folder, name)
            if os.path.isfile(path) and not os.path.islink(path):
                with open(path, "rb") as f:
                    found[name] = f.read()
    return found


def sshd_fixture():
    return e2e.load_script(os.path.join(ARGS.fixtures, "sshd_fixture.py"), "sshd_fixture")


def owned_entry(run, name, make):
    """An entry in the pickup folder made by `make(path)`, owned by the account."""
    path = os.path.join(run.services.pickup, name)
    make(path)
    account = pwd.getpwnam(run.sshd_state()["user"])
    os.lchown(path, account.pw_uid, account.pw_gid)


def stand_in_path(run, lp):
    """A PATH with /usr/bin's programs but `lp` replaced by the given script, or left out."""
    folder = os.path.join(run.base, "bin")
    os.makedirs(folder)
    for name in os.listdir("/usr/bin"):
        if name != "lp":
            os.symlink(os.path.join("/usr/bin", name), os.path.join(folder, name))
    if lp:
        with open(os.path.join(folder, "lp"), "w") as f:
            f.write(lp)
        os.chmod(os.path.join(folder, "lp"), 0o755)
    run.program.env["PATH"] = folder


# The faults. Each gets a started run (connected) and injects its fault around the sending.

def mid_copy(fault):
    def row(run):
        run.proxy.rate = 4 << 20  # a copy then takes seconds: time to hit it mid-way
        run.send(4, 6 << 20, stays=True)
        run.wait_copying()
        fault(run)
    return row


def signal_all(pids, *signals):
    for pid in pids:
        for number in signals:
            try:
                os.kill(pid, number)
            except ProcessLookupError:
                pass


def kill_sshd(run):
    state = run.sshd_state()
    signal_all([state["pid"]] + sshd_fixture().session_pids(state), signal.SIGKILL)


def freeze_then_exit(run):
    frozen = sshd_fixture().user_session_pids(run.sshd_state())
    signal_all(frozen, signal.SIGSTOP)
    run.program.close()
    try:
        run.wait("the program to exit", lambda: not run.program.running())
    finally:
        signal_all(frozen, signal.SIGKILL, signal.SIGCONT)  # the server is gone for good


def temp_full(run):
    run.send(1, 3 << 20, prefix="too-big", stays=True)
    # The copy that cannot fit is tried again after 1, 2, 4... seconds, not on every poll:
    # in 10 s that is 4 copies (5 at most when the counting starts late).
    copies = count_copies(run, 10)
    NOTES.append("outbox full: %d copies of the file that does not fit in 10 s" % copies)
    if copies > 5:
        PROBLEMS.append("outbox full: %d copies in 10 s, expected at most 5" % copies)
    run.send(3, 20 << 10, must_print=True)


def count_copies(run, seconds):
    """The local copies the program starts in `seconds` from the first one (each has a name
    of its own, and lives at least as long as its failing write)."""
    def copies():
        return [n for n in run.program.outbox_files() if n.endswith(".copy")]
    seen = set()
    run.wait("a first copy", copies, interval=0.002)
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        seen.update(copies())
        time.sleep(0.002)
    return len(seen)


def status_shows(run, text):
    return text in e2e.read_text(run.program.window)


def seconds_until_shown(run, text, since):
    """Seconds from `since` until the window shows `text`, read through its accessibility
    tree: an upper bound, taken when the read has answered."""
    def shown():
        return text in e2e.read_text(run.program.window) and time.monotonic() - since
    return run.wait("the window to show " + text, shown, timeout=120, interval=0.05)


def silent_link_noticed(run, what):
    """Waits for the lost connection's message; returns the seconds it took to come."""
    frozen = time.monotonic()
    dialogs = run.wait("the silent link to be noticed (%s)" % what, run.program.dialogs,
                       timeout=120, interval=0.2)
    noticed = time.monotonic() - frozen
    # A box just opened may not be drawn yet.
    try:
        run.wait("the message to be readable",
                 lambda: "PRINTER connection failed" in e2e.read_text(dialogs[0]), timeout=20)
    except Hung:
        PROBLEMS.append("%s: the message reads %r" % (what, e2e.read_text(dialogs[0])))
    run.wait("the messages to be answered", run.answer_messages, interval=0.5)
    seconds_until_shown(run, "Not Connected", frozen)
    return noticed


def reconnect(run):
    run.proxy.thaw()
    e2e.connect(run.services, run.program)


def frozen_idle(run):
    # The link works, then goes silent while the program waits for documents.
    run.send(2, 16 << 10, must_print=True)
    run.wait("the first documents printed", run.settled, timeout=120)
    run.proxy.freeze()
    run.send(1, 16 << 10, must_print=True)  # arrives while nobody can see it
    noticed = silent_link_noticed(run, "frozen while idle")
    reconnect(run)
    run.wait("the documents sent meanwhile printed", run.settled, timeout=120)
    # Silent again; this time the user disconnects.
    run.proxy.freeze()
    time.sleep(2)
    clicked = time.monotonic()
    run.program.click(e2e.CONNECT_BUTTON)
    disconnected = seconds_until_shown(run, "Not Connected", clicked)
    NOTES.append("link frozen while idle: noticed after %.1f s; Disconnect on a silent link "
                 "shown done within %.1f s (window read through its accessibility tree)" % (noticed, disconnected))
    reconnect(run)
    run.send(2, 16 << 10, must_print=True)


def frozen_mid_copy(run):
    run.proxy.rate = 4 << 20  # a copy then takes seconds: time to freeze it mid-way
    names = run.send(4, 6 << 20, must_print=True)
    run.wait_copying()
    run.proxy.freeze()
    noticed = silent_link_noticed(run, "frozen mid-copy")
    on_server, printed = read_all(run.services.pickup), run.printed()
    if any(on_server.get(name) != run.docs[name] and run.docs[name] not in printed
           for name in names):
        PROBLEMS.append("frozen mid-copy: a document left the server before it was printed")
    NOTES.append("link frozen mid-copy: noticed after %.1f s" % noticed)
    run.proxy.thaw()
    run.proxy.rate = 0
    reconnect(run)


def removed_during_rest(run):
    # The program holds the file open while it waits for the upload to rest; it is removed
    # by someone else just then (between listing and open is too short a moment to hit).
    # Taking it or not are both right; it counts as sent only if it was printed.
    victim = run.send(1, 64 << 10, prefix="removed")[0]
    path = os.path.join(run.services.pickup, victim)
    state = run.sshd_state()

    def opened():
        for pid in sshd_fixture().user_session_pids(state):
            try:
                fds = os.listdir("/proc/%d/fd" % pid)
                if any(os.readlink("/proc/%d/fd/%s" % (pid, fd)) == path for fd in fds):
                    return True
            except OSError:
                pass
        return False
    run.wait("the program to open " + victim, opened, interval=0.01)
    os.remove(path)
    run.withdrawn.add(victim)
    run.send(3, 16 << 10, must_print=True)


def unreadable(run):
    """A document the account may not read, unreadable from the moment it exists."""
    name = "unreadable.pdf"
    run.docs[name] = os.urandom(8 << 10)
    run.stays.add(name)

    def make(path):
        fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0)
        os.write(fd, run.docs[name])
        os.close(fd)
    owned_entry(run, name, make)


def beside(make):
    """Documents sent beside an odd entry in the pickup folder."""
    def row(run):
        make(run)
        run.send(3, 16 << 10, must_print=True)
    return row


def stop_cups(run):
    run.send(2, 16 << 10, must_print=True)
    run.wait("the first documents printed", run.settled, timeout=120)
    pid = int(run.services.cups["pid"])
    os.kill(pid, signal.SIGTERM)
    run.wait("the scheduler to stop", lambda: not e2e.alive(pid))
    run.send(3, 16 << 10)


def burst(run):
    run.send(200, 4 << 10, must_print=True)


def arriving_while(end):
    def row(run):
        arriving = threading.Event()

        def sender():
            for i in range(8):
                run.send(1, 32 << 10, stays=True, writes=3, pause=0.2)
                if i == 2:
                    arriving.set()
        thread = threading.Thread(target=sender)
        thread.start()
        try:
            run.wait("documents arriving, one of them printed",
                     lambda: arriving.is_set() and run.printed())
            end(run)
        finally:
            thread.join()
        run.wait("the pickup worker to end",
                 lambda: not sshd_fixture().user_session_pids(run.sshd_state()))
    return row


def out_of_order(run):
    # Sizes around one request and around a full pipeline, with the answers swapped.
    run.send(3, 16 << 10, must_print=True)
    run.send(2, 4 << 20, must_print=True)
    run.wait("the documents to print", run.settled)
    if not open(run.sshd_state()["swapped"]).read():
        raise AssertionError("the server swapped no replies")


def second_copy(run):
    """The program started again on the same desktop while the first copy is connected; a
    login window it shows is used to log in too, as a user who sees one would."""
    second = e2e.start_second_copy(run.program, os.path.join(run.base, "second.log"))
    other = e2e.Program(run.base, run.services)
    other.process = second
    try:
        other.window = run.wait("the second copy to end or show a window",
                                lambda: other.main_window() or second.poll() is not None)
        if other.running():
            e2e.connect(run.services, other)
        run.send(20, 16 << 10, must_print=True)
        run.wait("the documents to settle", run.settled, timeout=120, interval=0.5)
    finally:
        other.stop()


def disconnect(run):
    run.program.click(e2e.CONNECT_BUTTON)


def two_workstations(run):
    run.add_program("second-workstation")
    run.send(200, 4 << 10, must_print=True)


def write_owned(run, name, pieces):
    """Writes a new file of the account into the pickup folder: (bytes, pause after) pieces."""
    account = pwd.getpwnam(run.sshd_state()["user"])
    fd = os.open(os.path.join(run.services.pickup, name), os.O_WRONLY | os.O_CREAT | os.O_EXCL,
                 0o644)
    try:
        os.fchown(fd, account.pw_uid, account.pw_gid)
        for data, pause in pieces:
            os.write(fd, data)
            time.sleep(pause)
    finally:
        os.close(fd)


def document(run, prefix, size, pdf=False, marker=True):
    name = "%s-%d.pdf" % (prefix, len(run.docs))
    body = name.encode() + b"\n" + os.urandom(size)
    data = b"%PDF-1.4\n" + body + (b"\n%%EOF\n" if marker else b"\n") if pdf else body
    run.docs[name] = data
    run.must_print.add(name)
    return name, data


def empty_then_growing(run):
    name, data = document(run, "late-start", 64 << 10)
    write_owned(run, name, [(b"", 2.0), (data, 0)])
    run.send(3, 16 << 10, must_print=True)


def pdf_pausing(run):
    # The measured case: a pause of 2 s after the first 160 KiB of a 300 KiB PDF.
    name, data = document(run, "paused", 300 << 10, pdf=True)
    write_owned(run, name, [(data[:160 << 10], 2.0), (data[160 << 10:], 0)])
    run.send(3, 16 << 10, must_print=True)


def pdf_without_marker(run):
    started = time.monotonic()
    name, data = document(run, "unended", 100 << 10, pdf=True, marker=False)
    write_owned(run, name, [(data, 0)])
    # Beside it an empty file that stays empty: removed after a while, never printed.
    empty = "empty-%d.pdf" % len(run.docs)
    run.docs[empty] = b""
    run.withdrawn.add(empty)
    write_owned(run, empty, [])
    run.send(3, 16 << 10, must_print=True)
    run.wait("the PDF without its end marker printed", lambda: data in run.printed(), timeout=90,
             interval=0.2)
    sys.stderr.write("PDF without marker printed after %.1f s\n" % (time.monotonic() - started))
    run.wait("the empty file removed", lambda: empty not in run.services.on_server(),
             timeout=90, interval=0.2)
    sys.stderr.write("empty file removed after %.1f s\n" % (time.monotonic() - started))


def replaced_during_copy(run):
    run.proxy.rate = 4 << 20  # the copy takes about 1.5 s
    name = run.send(1, 6 << 20, prefix="replaced")[0]
    first = name + " (first version)"
    run.docs[first] = run.docs.pop(name)
    run.withdrawn.add(first)  # counted only if printed: the second version replaced it
    run.wait_copying()
    second = name.encode() + b" second version\n" + os.urandom(5 << 20)
    staging = os.path.join(run.base, "outbox", name + ".second")
    with open(staging, "wb") as f:
        f.write(second)
    account = pwd.getpwnam(run.sshd_state()["user"])
    os.chown(staging, account.pw_uid, account.pw_gid)
    os.rename(staging, os.path.join(run.services.pickup, name))
    run.docs[name] = second
    run.must_print.add(name)
    run.send(2, 16 << 10, must_print=True)


def server_restarts(run):
    # Nightly maintenance: the server restarts under a connected program.
    run.send(2, 16 << 10, must_print=True)
    run.wait("the first documents printed", run.settled, timeout=120)
    server_restarts_now(run)
    run.send(2, 16 << 10, must_print=True)


def server_restarts_in_backlog(run):
    # The restart comes while a backlog is taken in groups that share one flush of the
    # outbox: copies made but not yet removed on the server must go, and every document
    # prints once after the next Connect.
    run.send(40, 256 << 10, must_print=True)
    run.wait("copies secured in the outbox",
             lambda: sum(name.endswith(".rec") for name in run.program.outbox_files()) >= 3,
             interval=0.01)
    server_restarts_now(run)


def server_restarts_now(run):
    subprocess.run([sys.executable, os.path.join(ARGS.fixtures, "sshd_fixture.py"), "restart",
                    os.path.join(run.base, "sshd")], check=True, stdout=subprocess.DEVNULL)
    silent_link_noticed(run, "server restarted")
    e2e.connect(run.services, run.program)


# A print program that fails on documents named "fails-..." (its notice then stays open) and
# holds the first "slow-..." one until it is killed; everything else goes to the real lp.
SESSION_END_LP = """#!/bin/sh
for file; do :; done
mark="${TMPDIR%/}/../lp-holding"
case "$(head -c 6 "$file")" in
    fails-) exit 1 ;;
    slow-*) [ -e "$mark" ] || { : >"$mark"; sleep 600; } ;;
esac
exec /usr/bin/lp "$@"
"""


def sigterm_tree(run):
    """As a session manager ends a session: SIGTERM to the program and all it started."""
    signal_all(process_tree(run.program.process.pid), signal.SIGTERM)


def x_connection_closed(run):
    subprocess.run(["xkill", "-id", str(run.program.window)], check=True, capture_output=True)


def session_end(where, end):
    """The session ends under the program while a message box is open: it must end by
    itself, and a new start and Connect must find everything it left unfinished."""
    def row(run):
        run.send(1, 8 << 10, prefix="fails")  # its failure's notice stays open
        run.wait("the print failure's message", run.program.dialogs, interval=0.2)
        names = where(run)
        ended = time.monotonic()
        end(run)
        run.wait("the program to end by itself", lambda: not run.program.running())
        NOTES.append("%s: ended %.1f s after the session's end, exit status %s" % (
            end.__name__, time.monotonic() - ended, run.program.process.returncode))
        if run.program.process.returncode != 0:
            PROBLEMS.append("%s: exit status %s" % (end.__name__,
                                                   run.program.process.returncode))
        if "exit: " not in run.program.log():
            PROBLEMS.append("%s: the log does not say why the program ended" % end.__name__)
        run.proxy.rate = 0
        run.stays.difference_update(names)
        run.start_program()
        e2e.connect(run.services, run.program)
    return row


def copying(run):
    run.proxy.rate = 4 << 20  # a copy then takes seconds: time to end the session mid-way
    names = run.send(2, 6 << 20, stays=True)
    run.wait_copying()
    run.must_print.update(names)
    return names


def at_print_program(run):
    names = run.send(1, 8 << 10, prefix="slow", must_print=True)
    run.wait("the print program holding the document",
             lambda: os.path.exists(os.path.join(run.base, "lp-holding")), interval=0.1)
    return names


def transfer_sizes(run):
    # Around the 16 KiB request, around the requests in flight (4 MiB), 64 MiB, a burst of
    # 30 and a file growing while the program holds it open.
    for size in (16383, 16384, 16385, (4 << 20) - 1, 4 << 20, (4 << 20) + 1, 64 << 20):
        run.send(1, size, must_print=True)
    run.send(1, 256 << 10, prefix="growing", must_print=True, writes=8, pause=0.3)
    run.send(30, 16 << 10, prefix="burst", must_print=True)


def process_tree(pid):
    """`pid` and all its descendants, parents first."""
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as f:
                    parent = int(f.read().rsplit(")", 1)[1].split()[1])
            except (OSError, IndexError, ValueError):
                continue
            children.setdefault(parent, []).append(int(entry))
    tree, todo = [], [pid]
    while todo:
        current = todo.pop(0)
        tree.append(current)
        todo.extend(children.get(current, []))
    return tree


def stopped_or_gone(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] in "TtZX"
    except (OSError, IndexError):
        return True


def kill_tree(run):
    """The program and what it started, killed at once, as by a power cut: stopped first so
    that none of them moves on while the others die."""
    # A child forked between the listing and the stop would be missed: stop until the
    # listing stops growing.
    tree, stopped = process_tree(run.program.process.pid), []
    while tree != stopped:
        signal_all(tree, signal.SIGSTOP)
        run.wait("the program's processes stopped", lambda: all(map(stopped_or_gone, tree)),
                 timeout=10, interval=0.005)
        stopped, tree = tree, process_tree(run.program.process.pid)
    signal_all(tree, signal.SIGKILL)
    run.program.process.wait()


def start_again(run):
    """A new start and Connect after a kill; the message about an earlier run's documents is
    answered when it comes."""
    run.program.start()
    e2e.connect(run.services, run.program)


def place_owned(run, name, data):
    """Places a whole document in the pickup folder at once (renamed in)."""
    staging = os.path.join(run.services.sshd["home"], ".staging-" + name)
    with open(staging, "wb") as f:
        f.write(data)
    account = pwd.getpwnam(run.sshd_state()["user"])
    os.chown(staging, account.pw_uid, account.pw_gid)
    path = os.path.join(run.services.pickup, name)
    os.rename(staging, path)
    return path


def new_document(run, name, size):
    data = name.encode() + b"\n" + os.urandom(size)
    run.docs[name] = data
    run.must_print.add(name)
    return data


def kill_loop(run):
    # A stream of 100 small documents, 5 at a time; after each 5, at a random moment, the
    # whole program is killed, then started again and connected: 20 kills.
    chooser = random.Random(os.environ.get("CORVANE_KILL_SEED", "kill-loop"))
    for kill in range(20):
        for i in range(5):
            name = "stream-%03d.pdf" % (kill * 5 + i)
            place_owned(run, name, new_document(run, name, 2 << 10))
            time.sleep(0.03)
        time.sleep(chooser.uniform(0.0, 0.5))
        kill_tree(run)
        start_again(run)


def killed_while_printing(run):
    # A print program that takes a while to start (a PDF printer on a large document): the
    # program is killed while it holds the document, before the print system has it.
    name = "slow-print.pdf"
    place_owned(run, name, new_document(run, name, 16 << 10))

    def given():
        for entry in run.program.outbox_files():
            if entry.endswith(".rec"):
                with open(os.path.join(run.program.outbox, entry)) as f:
                    if "stage=given" in f.read():
                        return True
        return False
    run.wait("the document at the print program", given, interval=0.02)
    kill_tree(run)
    if run.docs[name] in run.printed():
        PROBLEMS.append("killed while printing: printed before the kill; the row proves nothing")
    start_again(run)
    run.wait("the earlier run's message", run.program.dialogs, interval=0.2)
    text = e2e.read_text(run.program.dialogs()[0])
    if "1 document from an earlier run was printed: " + name not in text:
        PROBLEMS.append("killed while printing: the message reads %r" % text)


def printed_order(run):
    """The documents in the order the print system received their jobs."""
    jobs = run.services.captured()
    by_data = {data: name for name, data in run.docs.items()}
    return [by_data.get(jobs[job], "?") for job in sorted(jobs)]


def in_order(what, expected):
    def row(run):
        order = expected(run)
        run.wait("the documents printed", run.settled, timeout=120, interval=0.2)
        printed = printed_order(run)
        if printed != order:
            def numbers(names):
                return " ".join(n.split(".")[0].split("-")[-1] for n in names)
            PROBLEMS.append("%s: printed in the order %s, expected %s" % (
                what, numbers(printed), numbers(order)))
    return row


def spaced_batch(run):
    names = ["spaced-%02d.pdf" % i for i in range(1, 21)]
    for name in names:
        place_owned(run, name, new_document(run, name, 8 << 10))
        time.sleep(0.06)
    return names


def batch_at_once(run):
    names = ["batch-%02d.pdf" % i for i in range(30)]
    random.Random(30).shuffle(names)
    mtimes = {}
    for name in names:
        mtimes[name] = int(os.stat(place_owned(run, name, new_document(run, name, 8 << 10)))
                           .st_mtime)
    return sorted(names, key=lambda name: (mtimes[name], name))


ROWS = [
    ("whole sshd killed mid-copy", dict(fault=mid_copy(kill_sshd))),
    ("connection cut mid-copy (proxy)", dict(fault=mid_copy(lambda run: run.proxy.cut()))),
    ("server frozen (SIGSTOP) mid-copy, then exit", dict(fault=mid_copy(freeze_then_exit))),
    ("outbox's disk full (1 MiB tmpfs)", dict(fault=temp_full, tmpfs=True)),
    ("link frozen (proxy SIGSTOP) while idle", dict(fault=frozen_idle, bound=180)),
    ("link frozen (proxy SIGSTOP) mid-copy", dict(fault=frozen_mid_copy, bound=180)),
    ("file removed on the server during the rest wait", dict(fault=removed_during_rest)),
    ("dangling symlink", dict(fault=beside(lambda run: owned_entry(
        run, "dangling.pdf", lambda p: os.symlink("/nonexistent.pdf", p))))),
    ("file without read permission", dict(fault=beside(unreadable))),
    ("print program missing", dict(fault=lambda run: run.send(3, 16 << 10), lp="")),
    ("print program exits non-zero", dict(fault=lambda run: run.send(3, 16 << 10),
                                          lp="#!/bin/sh\nexit 1\n")),
    ("CUPS scheduler stopped while documents arrive", dict(fault=stop_cups)),
    ("200 files in one burst", dict(fault=burst, bound=900)),
    ("files arriving while the user disconnects", dict(fault=arriving_while(disconnect))),
    ("files arriving while the program exits",
     dict(fault=arriving_while(lambda run: run.program.close()))),
    ("two agents on one account, separate home folders (200 documents)",
     dict(fault=two_workstations, bound=900)),
    ("empty file that starts growing after 2 s", dict(fault=empty_then_growing)),
    ("PDF that pauses 2 s mid-upload", dict(fault=pdf_pausing)),
    ("PDF that never gets its end marker, beside an empty file",
     dict(fault=pdf_without_marker)),
    ("document replaced under the same name during its copy",
     dict(fault=replaced_during_copy)),
    ("ProFTPD mod_sftp: transfer sizes, 64 MiB, burst of 30, growing file",
     dict(fault=transfer_sizes, server="proftpd", bound=300)),
    ("replies out of order", dict(fault=out_of_order, swap_replies=True)),
    ("two copies of the program on one desktop", dict(fault=second_copy)),
    ("killed (whole process tree) 20 times in a stream of 100", dict(fault=kill_loop, bound=300)),
    ("killed while a slow print program holds a document",
     dict(fault=killed_while_printing, lp="#!/bin/sh\nsleep 3\nexec /usr/bin/lp \"$@\"\n")),
    ("batch of 20 placed 60 ms apart, in order",
     dict(fault=in_order("batch of 20", spaced_batch))),
    ("batch of 30 placed at once, in order of time then name",
     dict(fault=in_order("batch of 30", batch_at_once))),
    ("server restarts while connected", dict(fault=server_restarts)),
    ("server restarts while a backlog of 40 is taken", dict(fault=server_restarts_in_backlog)),
    ("session end: SIGTERM with a message box open, mid-copy",
     dict(fault=session_end(copying, sigterm_tree), lp=SESSION_END_LP)),
    ("session end: SIGTERM with a message box open, document at the print program",
     dict(fault=session_end(at_print_program, sigterm_tree), lp=SESSION_END_LP)),
    ("session end: X connection closed with a message box open, mid-copy",
     dict(fault=session_end(copying, x_connection_closed), lp=SESSION_END_LP)),
]


def run_counted(fault_row):
    run = Run()
    run.server = fault_row.get("server", "sshd")
    try:
        if fault_row.get("tmpfs"):
            run.mount_outbox("size=1m", "mode=0700")
        if "lp" in fault_row:
            stand_in_path(run, fault_row["lp"])
        run.swap_replies = fault_row.get("swap_replies", False)
        try:
            run.start()
            fault_row["fault"](run)
        except (Hung, AssertionError) as error:
            sys.stderr.write("hung: %s\n" % error)
            run.hung += 1
        try:
            run.finish(fault_row.get("bound", 120))
        except (Hung, AssertionError) as error:
            sys.stderr.write("hung: %s\n" % error)
            run.hung += 1
            run.program.stop()
        return run.count(), "counted"
    finally:
        run.stop()


def table(rows):
    width = max(len(name) for name, _, _ in rows)
    lines = ["%-*s %s  %s" % (width, "fault", " ".join("%7s" % c for c in COLUMNS), "how")]
    for name, row, how in rows:
        lines.append("%-*s %s  %s" % (width, name, " ".join("%7d" % row[c] for c in COLUMNS),
                                      how))
    return "\n".join(lines) + "\n"


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("--program", "--wm-close", "--fixtures", "--send-document", "--artifacts",
                   "--table"):
        parser.add_argument(option, required=True)
    parser.add_argument("--sftp-port", type=int, required=True)
    parser.add_argument("--web-port", type=int, required=True)
    parser.add_argument("--only", default="")
    ARGS = e2e.CONFIG = parser.parse_args()
    if not os.environ.get("DISPLAY") or os.getuid() != 0:
        sys.exit("needs root and an X display: run through tools/run-tests.sh")

    rows = []
    for name, fault_row in ROWS:
        if ARGS.only not in name:
            continue
        started = time.monotonic()
        row, how = run_counted(fault_row)
        rows.append((name, row, how))
        sys.stderr.write("--- %s: %.0f s\n" % (name, time.monotonic() - started))
    text = table(rows) + "".join("%s\n" % note for note in NOTES)
    with open(ARGS.table, "w") as f:
        f.write(text)
    print(text)
    bad = [name for name, row, _ in rows if any(row[c] for c in MUST_BE_ZERO)] + PROBLEMS
    if bad:
        sys.exit("faults with a document printed twice, lost, garbled, a temporary file "
                 "left, a hang or a crash: " + "; ".join(bad))


if __name__ == "__main__":
    main()
