#!/usr/bin/env python3
"""Soak: many documents of random sizes, sent at a random pace to the running program.

The program, its servers and its window are those of the end-to-end tests (e2e/harness.py).
Sizes are 16 bytes to 4 MiB, spread evenly over their orders of magnitude (so most are
small, as printed documents are), a few of them empty and three of 32 MiB; the pauses between
documents are random with the mean that spreads the count over the duration. Afterwards:
every non-empty document printed exactly once with its bytes (an empty one has nothing to
print: it must have left the server, not be kept, and leave no temporary file), no other
job printed, the program's open descriptors and resident memory at the end within a small
margin of their values after the first hundred documents, and nothing left in its TMPDIR.
The run is seeded; the seed is printed and --seed repeats it.

Runs only with CORVANE_SOAK=1 in the environment (`make soak`); otherwise it reports itself
skipped, so that the normal test run passes over it.
"""
import argparse
import hashlib
import math
import os
import pwd
import random
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from collections import Counter

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import harness as e2e  # noqa: E402

SKIPPED = 77
BIG = 32 << 20
MAX_SIZE = 4 << 20
MIN_SIZE = 16  # beyond the first line that names the document: every one is unique
FD_MARGIN = 2
RSS_MARGIN_KIB = 8 << 10  # or a tenth, whichever is larger


def plan(rng, count):
    """Sizes of the documents, in sending order."""
    big = set(rng.sample(range(count), 3))
    sizes = []
    for i in range(count):
        if i in big:
            sizes.append(BIG)
        elif rng.random() < 0.03:
            sizes.append(0)
        else:
            sizes.append(int(math.exp(rng.uniform(math.log(MIN_SIZE), math.log(MAX_SIZE)))))
    return sizes


def document(rng, index, size):
    name = "soak-%04d.bin" % index
    if size == 0:
        return name, b""
    head = (name + "\n").encode()
    return name, head + rng.randbytes(size - len(head))


def usage(pid):
    """Open descriptors and resident memory (KiB) of a process."""
    fds = len(os.listdir("/proc/%d/fd" % pid))
    with open("/proc/%d/status" % pid) as f:
        rss = next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))
    return fds, rss


class Soak:
    def __init__(self, args, base):
        self.args = args
        self.services = e2e.Services(base, "2.4.0\n")
        self.program = e2e.Program(base, self.services)
        self.unprinted = os.path.join(base, "data", "corvane-print-spooler", "unprinted")
        self.program.env["XDG_DATA_HOME"] = os.path.join(base, "data")
        self.sent = {}  # name -> (size, digest)
        self.printed = Counter()  # digest -> times
        self.jobs = []  # (name in its first line, size) of each printed job
        self.job_digests = []
        self.lock = threading.Lock()
        self.sender = e2e.load_script(args.send_document, "send_document")

    def collect(self):
        """Takes the printed jobs out of the capture folder (the disk stays small)."""
        folder = self.services.captured_dir
        for name in os.listdir(folder):
            if name.startswith("job-"):
                path = os.path.join(folder, name)
                with open(path, "rb") as f:
                    data = f.read()
                digest = hashlib.sha256(data).hexdigest()
                self.printed[digest] += 1
                self.jobs.append((data[:13].decode(errors="replace"), len(data)))
                self.job_digests.append(digest)
                os.remove(path)

    def idle(self):
        """Everything sent so far has left the server, the outbox, the TMPDIR and the print
        queue."""
        self.collect()
        return (not self.services.on_server() and not os.listdir(self.program.tmpdir)
                and not self.program.outbox_files()
                and self.services.queue_empty())

    def send_all(self, rng, sizes):
        account = pwd.getpwnam(self.services.sshd["user"])
        mean_pause = self.args.duration / len(sizes)
        first = None
        started = time.monotonic()
        for index, size in enumerate(sizes):
            if index == 100:
                first = self.settle("the first hundred documents")
            name, data = document(rng, index, size)
            self.sent[name] = (size, hashlib.sha256(data).hexdigest())
            self.sender.send(data, name, self.services.pickup, account, 1, 0)
            time.sleep(rng.expovariate(1 / mean_pause))
        sending = time.monotonic() - started
        last = self.settle("all documents")
        return first, last, sending

    def settle(self, what):
        e2e.wait_for(what + " to be printed", self.idle, timeout=self.args.settle_bound,
                     interval=0.5)
        return usage(self.program.process.pid)

    def run(self, seed):
        rng = random.Random(seed)
        sizes = plan(rng, self.args.count)
        self.services.start()
        self.program.start()
        e2e.connect(self.services, self.program)
        started = time.monotonic()
        first, last, sending = self.send_all(rng, sizes)
        total = time.monotonic() - started

        problems = []
        # A message box open now means something failed (and the window cannot close while
        # it is open): say what it tells, then answer it.
        for dialog in self.program.dialogs():
            problems.append("a message box was open at the end: %r" % e2e.read_text(dialog))
            self.program.answer_dialog(dialog, "Return")
        self.program.close()
        try:
            code = self.program.process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            # Its own words and its threads' stacks say where the exit stands.
            sys.stderr.write(self.program.log()[-4000:] + "\n" + stacks(self.program))
            raise AssertionError("the program did not end within 60 s of its window's closing")
        if problems:
            sys.stderr.write("the program's log ends with:\n" + self.program.log()[-4000:])
        left = os.listdir(self.program.tmpdir) + self.program.outbox_files()
        kept = os.listdir(self.unprinted) if os.path.isdir(self.unprinted) else []
        self.collect()

        documents = {digest: size for size, digest in self.sent.values() if size}
        times = Counter(self.printed[digest] for digest in documents)
        once, twice, missing = times[1], sum(n for t, n in times.items() if t > 1), times[0]
        sizes_by_name = {name: size for name, (size, _) in self.sent.items()}
        odd = ["%s: %d bytes printed of %s" % (name, size, sizes_by_name.get(name.strip()))
               for (name, size), digest in zip(self.jobs, self.job_digests)
               if digest not in documents]
        empty = len(self.sent) - len(documents)
        if twice or missing or odd:
            problems.append("%d printed twice or more, %d not printed, %d jobs that match no "
                            "document %s" % (twice, missing, len(odd), odd[:20]))
        if kept or left:
            problems.append("kept %s, left in TMPDIR or the outbox %s" % (kept, left))
        if code != 0:
            problems.append("the program ended with %s" % code)
        if last[0] > first[0] + FD_MARGIN:
            problems.append("open descriptors grew from %d to %d" % (first[0], last[0]))
        if last[1] > first[1] + max(RSS_MARGIN_KIB, first[1] // 10):
            problems.append("resident memory grew from %d to %d KiB" % (first[1], last[1]))

        print("seed %d: %d documents (%d empty, %d of 32 MiB), %.1f MiB, sent over %.0f s, "
              "all printed after %.0f s" % (
                  seed, len(sizes), empty, sizes.count(BIG),
                  sum(sizes) / (1 << 20), sending, total))
        print("printed once %d, twice or more %d, not printed %d, jobs matching no document "
              "%d, empty documents taken %d, kept %d, left in TMPDIR or the outbox %d" % (
                  once, twice, missing, len(odd), empty, len(kept), len(left)))
        print("open descriptors after 100: %d, at the end: %d" % (first[0], last[0]))
        print("resident memory after 100: %d KiB, at the end: %d KiB" % (first[1], last[1]))
        return problems


def stacks(program):
    """What each of the program's threads is doing, from gdb where it is installed, else
    the kernel's view of each thread."""
    pid = program.process.pid
    try:
        return subprocess.run(["gdb", "-p", str(pid), "-batch", "-ex", "thread apply all bt"],
                              capture_output=True, text=True, timeout=120).stdout
    except (OSError, subprocess.TimeoutExpired):
        pass
    lines = []
    for task in sorted(os.listdir("/proc/%d/task" % pid)):
        with open("/proc/%d/task/%s/comm" % (pid, task)) as comm, \
                open("/proc/%d/task/%s/wchan" % (pid, task)) as wchan:
            lines.append("thread %s %s: %s" % (task, comm.read().strip(), wchan.read()))
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser()
    for option in ("--program", "--wm-close", "--fixtures", "--send-document", "--artifacts"):
        parser.add_argument(option, required=True)
    parser.add_argument("--sftp-port", type=int, required=True)
    parser.add_argument("--web-port", type=int, required=True)
    parser.add_argument("--count", type=int, default=1000)
    parser.add_argument("--duration", type=float, default=300.0)
    parser.add_argument("--settle-bound", type=float, default=900.0)
    parser.add_argument("--seed", type=int)
    args = e2e.CONFIG = parser.parse_args()
    if os.environ.get("CORVANE_SOAK") != "1":
        print("skipped: the soak runs with `make soak` (CORVANE_SOAK=1)")
        sys.exit(SKIPPED)
    if not os.environ.get("DISPLAY") or os.getuid() != 0:
        sys.exit("needs root and an X display: run through tools/run-tests.sh")
    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1 << 32)
    print("seed %d" % seed, flush=True)

    base = tempfile.mkdtemp(prefix="corvane-soak-", dir="/tmp")
    os.chmod(base, 0o755)  # the test account's home lives below
    soak = Soak(args, base)
    try:
        problems = soak.run(seed)
    finally:
        soak.program.stop()
        soak.services.stop()
        shutil.rmtree(base, ignore_errors=True)
    if problems:
        sys.exit("soak failed (seed %d): %s" % (seed, "; ".join(problems)))


if __name__ == "__main__":
    main()
