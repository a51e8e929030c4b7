#!/usr/bin/env python3
"""The pickup's speed beside OpenSSH's sftp, measured in one run (make bench; root only).

  run_bench.py --agent PATH [--out CSV] [--runs N] [--idle-seconds S]

Starts a private sshd on loopback (tests/fixtures/sshd_fixture.py) and a delay proxy
(tests/fixtures/link_proxy.py), then measures, interleaved and as medians of N runs:
  * copy throughput of a 64 MiB file: the real worker (bench/pickup_agent.cpp) against
    OpenSSH's sftp (batch get, password through sshpass), at D = 0 (straight to sshd) and
    D = 10 ms each way (through the proxy), plus `sftp -B 16384 -R 64` at D = 10 ms.
    Login is taken out on both sides: the worker is timed from its "Downloading" to its
    hand-over (copy, local close and removal on the server); sftp as the time of a batch
    with the get less the time of the same login with an empty batch, run beside it;
  * latency from the moment a 100 KiB file stops growing to its hand-over;
  * a burst of 30 files of 100 KiB: from the last one placed to the last hand-over;
  * a backlog of 200 documents of 50 KiB renamed in one after another, end to end: from the
    first rename to the last job spooled by `lp` to a private CUPS scheduler
    (tests/fixtures/cupsd_fixture.sh), the documents printed as the program prints them (one
    `lp` at a time, in the order handed over, the next started when the previous ended, the
    worker copying meanwhile), against one OpenSSH sftp batch of 200 gets (login included)
    plus 200 `lp` calls one after another;
  * idle CPU of one connected agent and of its server-side processes, over long windows,
    and of 20 agents connected at once (how many idle agents one server core carries);
  * the agent's resident memory, idle and at its peak while copying 64 MiB;
  * with --lister: the server's CPU per idle agent, 20 agents, beside 20 plain sessions
    listing the folder every 100 ms (bench/listing_client.cpp), in the same windows.
  * a link that goes silent (the proxy stopped with SIGSTOP): the time a stop takes to end
    a connected worker, and the time the worker takes to notice by itself.
Prints a table and writes it as CSV (and as a Markdown table beside it). Never fails on a
figure: times are reported, not judged.
"""
import argparse
import csv
import os
import queue
import random
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
FIXTURE = os.path.join(ROOT, "tests", "fixtures", "sshd_fixture.py")
CUPS_FIXTURE = os.path.join(ROOT, "tests", "fixtures", "cupsd_fixture.sh")
sys.path.insert(0, os.path.dirname(FIXTURE))
import sshd_fixture  # noqa: E402  (session processes of the server)
from link_proxy import LinkProxy  # noqa: E402  (the delay proxy)

MIB = 1024 * 1024
BIG = 64 * MIB
SMALL = 100 * 1024
BURST = 30
BACKLOG = 200
BACKLOG_SIZE = 50 * 1024
DELAY_MS = 10
CLK_TCK = os.sysconf("SC_CLK_TCK")


def median(values):
    return statistics.median(values) if values else float("nan")


def spread(values, fmt="%.2f"):
    return (fmt + "–" + fmt) % (min(values), max(values)) if values else ""


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def cpu_ticks(pids):
    """utime + stime of the processes (all their threads), in clock ticks."""
    total = 0
    for pid in pids:
        try:
            with open("/proc/%d/stat" % pid) as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
            total += int(fields[11]) + int(fields[12])
        except OSError:
            pass
    return total


def memory_kib(pid, key):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return 0


class Server:
    def __init__(self, base):
        self.base = base
        out = subprocess.run([sys.executable, FIXTURE, "start", base], check=True,
                             capture_output=True, text=True).stdout
        self.state = dict(line.split("=", 1) for line in out.split() if "=" in line)
        self.port = int(self.state["port"])
        self.user = self.state["user"]
        self.password = self.state["password"]
        self.home = self.state["home"]
        self.pickup = self.state["pickup"]
        self.known_hosts = os.path.join(base, "known_hosts")
        self.sftp_known_hosts = os.path.join(base, "sftp_known_hosts")

    def session_pids(self):
        return sshd_fixture.session_pids(sshd_fixture.load(self.base))

    def stop(self):
        subprocess.run([sys.executable, FIXTURE, "stop", self.base])


class Agent:
    """bench/pickup_agent.cpp: real workers, events stamped on the monotonic clock."""

    def __init__(self, path, server, port, workers=1, tmpdir=None, extra=()):
        env = dict(os.environ)
        if tmpdir:
            # The worker's copies go to the outbox under XDG_STATE_HOME.
            env["TMPDIR"] = tmpdir
            env["XDG_STATE_HOME"] = tmpdir
        self.process = subprocess.Popen(
            [path, "127.0.0.1", str(port), server.user, server.password, server.known_hosts,
             str(workers), *extra], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
            env=env)
        self.pid = self.process.pid
        self.events = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            stamp, kind, *rest = line.rstrip("\n").split(" ", 2)
            self.events.put((float(stamp), kind, rest[0] if rest else ""))
        self.events.put((0.0, "EOF", ""))

    def wait(self, kind, text=None, timeout=300):
        end = time.monotonic() + timeout
        while True:
            left = end - time.monotonic()
            if left <= 0:
                raise SystemExit("no %s %s from the agent in time" % (kind, text or ""))
            try:
                stamp, got, rest = self.events.get(timeout=left)
            except queue.Empty:
                continue
            if got == "EOF" or got == "ERROR":
                raise SystemExit("the agent ended or failed: %s %s" % (got, rest))
            if got == kind and (text is None or rest == text):
                return stamp, rest

    def stop(self):
        try:
            self.process.stdin.write("stop\n")
            self.process.stdin.flush()
            self.process.wait(timeout=60)
        except (OSError, subprocess.TimeoutExpired):
            self.process.kill()
            self.process.wait()


def finished(path):
    """The copy and its record leave the outbox, as after a print job."""
    os.remove(path)
    try:
        os.remove(path[:-len(".copy")] + ".rec")
    except FileNotFoundError:
        pass


def mark_given(path):
    """The copy's record moves to "given" before its print program starts, as the program
    does: the stage's bytes at the start of the record, overwritten in place."""
    with open(path[:-len(".copy")] + ".rec", "r+b") as record:
        record.seek(len("stage="))
        record.write(b"given  ")


def take_print(agent):
    """Waits for one hand-over; removes the local copy as the print job would."""
    stamp, rest = agent.wait("PRINT")
    finished(rest.split(" ", 1)[0])
    return stamp


class Bench:
    def __init__(self, args, base):
        self.args = args
        self.base = base
        self.server = Server(os.path.join(base, "sshd"))
        self.proxy = LinkProxy(0, self.server.port, DELAY_MS)
        self.downloads = os.path.join(base, "downloads")
        os.makedirs(self.downloads)
        info = os.stat(self.server.pickup)
        self.uid, self.gid = info.st_uid, info.st_gid
        self.source = os.path.join(self.server.home, "source")
        os.makedirs(self.source)
        os.chown(self.source, self.uid, self.gid)
        self.big = self.make_file(os.path.join(self.source, "big.bin"), BIG)
        self.small = self.make_file(os.path.join(self.source, "small.bin"), SMALL)
        self.rows = []
        self.placed = 0

    def make_file(self, path, size):
        with open(path, "wb") as out:
            out.write(os.urandom(size))
        os.chown(path, self.uid, self.gid)
        return path

    def port(self, delay):
        return self.server.port if delay == 0 else self.proxy.port

    def agent(self, delay, workers=1):
        return Agent(self.args.agent, self.server, self.port(delay), workers, self.downloads)

    def place(self, source, name=None):
        """Links a finished file into the pickup directory at once (it never grows)."""
        self.placed += 1
        target = os.path.join(self.server.pickup, name or "doc-%d.bin" % self.placed)
        os.link(source, target)
        return target

    # ---- throughput ----------------------------------------------------------------

    def worker_copy(self, delay):
        agent = self.agent(delay)
        try:
            agent.wait("CONNECTED")
            idle_rss = memory_kib(agent.pid, "VmRSS")
            self.place(self.big)
            start, _ = agent.wait("STATUS", "Downloading")
            end = take_print(agent)
            peak = memory_kib(agent.pid, "VmHWM")
        finally:
            agent.stop()
        return end - start, idle_rss, peak

    def sftp(self, delay, batch_lines, options=()):
        batch = os.path.join(self.base, "batch")
        with open(batch, "w") as out:
            out.write("\n".join(batch_lines) + "\n")
        command = ["sshpass", "-p", self.server.password, "sftp", "-q", "-F", "/dev/null",
                   "-o", "BatchMode=no", "-o", "StrictHostKeyChecking=no",
                   "-o", "UserKnownHostsFile=" + self.server.sftp_known_hosts,
                   "-o", "GlobalKnownHostsFile=/dev/null", "-P", str(self.port(delay)),
                   *options, "-b", batch, "%s@127.0.0.1" % self.server.user]
        start = time.monotonic()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
        return time.monotonic() - start

    def sftp_copy(self, delay, remote_files, options=()):
        """Time of the gets alone: a batch with them less the same login with none."""
        local = os.path.join(self.base, "sftp-copy")
        os.makedirs(local, exist_ok=True)
        gets = ["get %s %s/" % (name, local) for name in remote_files]
        login = self.sftp(delay, ["pwd"], options)
        total = self.sftp(delay, gets, options)
        shutil.rmtree(local)
        return max(total - login, 1e-6), total

    def throughput(self):
        variants = [("worker", 0), ("sftp", 0), ("worker", DELAY_MS), ("sftp", DELAY_MS),
                    ("sftp -B 16384 -R 64", DELAY_MS)]
        times = {variant: [] for variant in variants}
        with_login = {variant: [] for variant in variants}
        idle, peaks = [], []
        for _ in range(self.args.runs):
            order = list(variants)
            random.shuffle(order)
            for variant in order:
                kind, delay = variant
                if kind == "worker":
                    seconds, idle_rss, peak = self.worker_copy(delay)
                    times[variant].append(seconds)
                    if delay == 0:
                        idle.append(idle_rss)
                        peaks.append(peak)
                else:
                    options = ("-B", "16384", "-R", "64") if kind != "sftp" else ()
                    seconds, total = self.sftp_copy(delay, ["source/big.bin"], options)
                    times[variant].append(seconds)
                    with_login[variant].append(total)
        rate = {v: [BIG / MIB / s for s in times[v]] for v in variants}
        for delay in (0, DELAY_MS):
            worker = median(rate[("worker", delay)])
            for reference in ("sftp", "sftp -B 16384 -R 64"):
                if (reference, delay) not in rate:
                    continue
                ref = median(rate[(reference, delay)])
                self.row("copy 64 MiB, D=%d ms (MiB/s, login out)" % delay, worker,
                         "OpenSSH " + reference, ref, worker / ref,
                         spread(rate[("worker", delay)], "%.0f"),
                         spread(rate[(reference, delay)], "%.0f"))
            self.note("OpenSSH sftp 64 MiB with its login, D=%d ms: %.2f s (median)"
                      % (delay, median(with_login[("sftp", delay)])))
        growth = [(p - i) / 1024 for p, i in zip(peaks, idle)]
        self.row("agent RSS idle (MiB)", median(idle) / 1024, "", None, None,
                 spread([i / 1024 for i in idle]), "")
        self.row("agent RSS peak while copying 64 MiB (MiB)", median(peaks) / 1024,
                 "", None, None, spread([p / 1024 for p in peaks]), "")
        self.row("agent RSS growth while copying 64 MiB (MiB)", median(growth), "", None,
                 None, spread(growth), "")

    # ---- latency and burst -----------------------------------------------------------

    def latency(self):
        agent = self.agent(0)
        results = []
        try:
            agent.wait("CONNECTED")
            for _ in range(self.args.latency_runs):
                time.sleep(random.uniform(0.2, 0.5))
                path = os.path.join(self.server.pickup, "letter-%d.pdf" % len(results))
                data = os.urandom(SMALL)
                # Written in pieces, as an upload grows; it stops growing at the close.
                with open(path, "wb") as out:
                    for offset in range(0, SMALL, 10 * 1024):
                        out.write(data[offset:offset + 10 * 1024])
                        out.flush()
                rested = time.monotonic()
                results.append(take_print(agent) - rested)
        finally:
            agent.stop()
        reference = [1.0 + self.sftp_copy(0, ["source/small.bin"])[0] for _ in range(3)]
        self.row("latency 100 KiB: at rest -> hand-over (s)", median(results),
                 "1 s rule + OpenSSH get", median(reference), median(results) / median(reference),
                 spread(results), spread(reference))

    def burst(self):
        staging = os.path.join(self.server.home, "staging")
        os.makedirs(staging, exist_ok=True)
        agent = self.agent(0)
        results = []
        try:
            agent.wait("CONNECTED")
            for run in range(self.args.runs):
                names = []
                for index in range(BURST):
                    name = "burst-%d-%d.pdf" % (run, index)
                    with open(os.path.join(staging, name), "wb") as out:
                        out.write(os.urandom(SMALL))
                    names.append(name)
                for name in names:
                    os.rename(os.path.join(staging, name), os.path.join(self.server.pickup, name))
                placed = time.monotonic()
                last = max(take_print(agent) for _ in names)
                results.append(last - placed)
                time.sleep(0.5)
        finally:
            agent.stop()
        files = []
        for index in range(BURST):
            name = "source/burst-%d.bin" % index
            shutil.copy(self.small, os.path.join(self.server.home, name))
            files.append(name)
        reference = [1.0 + self.sftp_copy(0, files)[0] for _ in range(3)]
        self.row("burst of 30 x 100 KiB: last placed -> last hand-over (s)", median(results),
                 "1 s rule + OpenSSH gets", median(reference), median(results) / median(reference),
                 spread(results), spread(reference))

    # ---- backlog, end to end ---------------------------------------------------------

    def backlog(self):
        cups_dir = os.path.join(self.base, "cups")
        out = subprocess.run(["sh", CUPS_FIXTURE, "start", cups_dir, "--default", "bench",
                              "bench"], check=True, capture_output=True, text=True).stdout
        cups = dict(line.split("=", 1) for line in out.split() if "=" in line)
        env = dict(os.environ, CUPS_SERVER=cups["socket"])

        def lp(path, title):
            subprocess.run(["lp", "-d", "bench", "-t", title, "--", path], env=env, check=True,
                           stdout=subprocess.DEVNULL)

        staging = os.path.join(self.server.home, "backlog")
        os.makedirs(staging, exist_ok=True)
        os.chown(staging, self.uid, self.gid)
        names = ["backlog-%03d.pdf" % i for i in range(BACKLOG)]
        for name in names:
            self.make_file(os.path.join(staging, name), BACKLOG_SIZE)
        results, reference = [], []
        try:
            for run in range(self.args.runs):
                # The program: its worker, and its print side's rule (one lp at a time, in
                # the order handed over, the next when the previous ended).
                agent = self.agent(0)
                try:
                    agent.wait("CONNECTED")
                    start = time.monotonic()
                    for name in names:
                        os.link(os.path.join(staging, name),
                                os.path.join(self.server.pickup, "%d-%s" % (run, name)))
                    for _ in names:
                        _, rest = agent.wait("PRINT")
                        path = rest.split(" ", 1)[0]
                        mark_given(path)
                        lp(path, rest.split(" ", 1)[1])
                        finished(path)
                    results.append(time.monotonic() - start)
                finally:
                    agent.stop()
                # The reference: one sftp batch of the gets, then the lp calls in turn.
                local = os.path.join(self.base, "backlog-ref")
                os.makedirs(local)
                start = time.monotonic()
                self.sftp(0, ["get backlog/%s %s/" % (name, local) for name in names])
                for name in names:
                    lp(os.path.join(local, name), name)
                reference.append(time.monotonic() - start)
                shutil.rmtree(local)
        finally:
            subprocess.run(["sh", CUPS_FIXTURE, "stop", cups_dir])
        self.row("backlog 200 x 50 KiB renamed in: first rename -> last job spooled (s)",
                 median(results), "OpenSSH sftp batch (login in) + 200 lp in turn",
                 median(reference), median(results) / median(reference), spread(results),
                 spread(reference))

    # ---- idle cost -------------------------------------------------------------------

    def idle_windows(self, agent, windows, seconds, workers):
        agent_pct, server_pct = [], []
        for _ in range(windows):
            servers = self.server.session_pids()
            start = time.monotonic()
            agent_start = cpu_ticks([agent.pid])
            server_start = cpu_ticks(servers)
            time.sleep(seconds)
            elapsed = time.monotonic() - start
            agent_pct.append(100.0 * (cpu_ticks([agent.pid]) - agent_start) / CLK_TCK
                             / elapsed / workers)
            server_pct.append(100.0 * (cpu_ticks(servers) - server_start) / CLK_TCK
                              / elapsed / workers)
        return agent_pct, server_pct

    def idle(self):
        agent = self.agent(0)
        try:
            agent.wait("CONNECTED")
            time.sleep(1)
            agent_pct, server_pct = self.idle_windows(agent, self.args.idle_windows,
                                                      self.args.idle_seconds, 1)
        finally:
            agent.stop()
        self.row("idle CPU, one agent (%% of a core; %d x %d s)"
                 % (self.args.idle_windows, self.args.idle_seconds), median(agent_pct),
                 "its server-side processes", median(server_pct), None,
                 spread(agent_pct), spread(server_pct))
        workers = self.args.many
        agent = self.agent(0, workers)
        try:
            for _ in range(workers):
                agent.wait("CONNECTED")
            time.sleep(1)
            agent_pct, server_pct = self.idle_windows(agent, 2, self.args.idle_seconds, workers)
        finally:
            agent.stop()
        per_agent = median(server_pct)
        self.row("idle CPU per worker, %d connected at once (%% of a core)" % workers,
                 median(agent_pct), "server-side per worker", per_agent, None,
                 spread(agent_pct), spread(server_pct))
        self.row("idle agents one server core carries (from %d at once)" % workers,
                 100.0 / per_agent if per_agent > 0 else float("inf"), "", None, None, "", "")

    # ---- the server's cost of idle agents ---------------------------------------------

    def idle_server(self):
        """Server CPU per idle agent, N at once, beside N plain sessions listing the folder
        every 100 ms (the agent's poll before it asked for the folder's time first) and N
        that only ask for the folder's attributes every 100 ms (the least a poll can cost).
        The three sets are connected together and measured over the same windows."""
        workers = self.args.many
        sets = {}  # name -> (client, its session pids)

        def connect(name, launch, settle):
            before = set(self.server.session_pids())
            client = launch()
            sets[name] = (client, set())
            for _ in range(workers):
                client.wait("CONNECTED")
            time.sleep(settle)
            sets[name][1].update(set(self.server.session_pids()) - before)

        try:
            for name, extra in (("listing", ()), ("stat", ("stat",))):
                connect(name, lambda: Agent(self.args.lister, self.server, self.server.port,
                                            workers, extra=extra), 1)
            # Past the listings that follow the first sight of the folder's time.
            connect("agent", lambda: self.agent(0, workers), 3)
            costs = {name: [] for name in sets}
            for _ in range(self.args.server_windows):
                start = time.monotonic()
                ticks = {name: cpu_ticks(pids) for name, (_, pids) in sets.items()}
                time.sleep(self.args.idle_seconds)
                scale = 100.0 / CLK_TCK / (time.monotonic() - start) / workers
                for name, (_, pids) in sets.items():
                    costs[name].append((cpu_ticks(pids) - ticks[name]) * scale)
        finally:
            for client, _ in sets.values():
                client.stop()
        listing = median(costs["listing"])
        for name, metric in (
                ("agent", "server CPU per idle agent, %d agents (%% of a core; %d x %d s)"
                 % (workers, self.args.server_windows, self.args.idle_seconds)),
                ("stat", "server CPU per plain session asking only for the folder's time "
                 "every 100 ms (% of a core)")):
            value = median(costs[name])
            self.row(metric, value, "plain client listing every 100 ms", listing,
                     value / listing if listing > 0 else None, spread(costs[name], "%.3f"),
                     spread(costs["listing"], "%.3f"))
        self.note("server CPU per idle agent: the sshd processes serving %d agents, %d plain "
                  "sessions that list the folder every 100 ms and %d that only ask for its "
                  "attributes every 100 ms (bench/listing_client.cpp; one request a poll, the "
                  "floor for any poll), all connected at once and counted over the same "
                  "windows" % (workers, workers, workers))

    # ---- the proxy itself ------------------------------------------------------------

    def proxy_check(self):
        """Bulk TCP through the D = 10 ms proxy, so a slow copy is not the proxy's doing."""
        size = 256 * MIB
        sink = socket.socket()
        sink.bind(("127.0.0.1", 0))
        sink.listen(1)
        sink_port = sink.getsockname()[1]
        proxy = LinkProxy(0, sink_port, DELAY_MS)
        done = {}

        def receive():
            connection, _ = sink.accept()
            got = 0
            while got < size:
                chunk = connection.recv(1 << 20)
                if not chunk:
                    break
                got += len(chunk)
            done["end"] = time.monotonic()
            connection.close()

        receiver = threading.Thread(target=receive)
        receiver.start()
        block = b"\0" * MIB
        with socket.create_connection(("127.0.0.1", proxy.port)) as sender:
            start = time.monotonic()
            for _ in range(size // MIB):
                sender.sendall(block)
            receiver.join()
        proxy.stop()
        sink.close()
        rate = size / MIB / (done["end"] - start)
        self.row("delay proxy alone, D=10 ms, one stream (MiB/s)", rate, "", None, None, "", "")

    # ---- output ----------------------------------------------------------------------

    # ---- a link that goes silent -----------------------------------------------------

    def silent_link(self):
        """A connected, idle worker whose link goes silent (the proxy process stopped): how
        soon a stop ends it, and how soon it notices by itself (its bound on every wait)."""
        figures = {}
        for case in ("stop", "notice"):
            proxy = LinkProxy(0, self.server.port)
            agent = self.agent_on(proxy.port)
            try:
                agent.wait("CONNECTED")
                time.sleep(1)
                proxy.freeze()
                frozen = time.monotonic()
                if case == "stop":
                    time.sleep(2)
                    asked = time.monotonic()
                    agent.process.stdin.write("stop\n")
                    agent.process.stdin.flush()
                    figures[case] = agent.wait("FINISHED", timeout=120)[0] - asked
                else:
                    stamp, kind, _ = agent.events.get(timeout=120)
                    while kind not in ("ERROR", "FINISHED", "EOF"):
                        stamp, kind, _ = agent.events.get(timeout=120)
                    figures[case] = stamp - frozen if kind == "ERROR" else float("inf")
            finally:
                agent.stop()
                proxy.close()
        self.row("stop on a silent link: worker ended after (s)", figures["stop"], "", None,
                 None, "", "")
        self.row("silent link noticed by the worker after (s)", figures["notice"], "", None,
                 None, "", "")

    def agent_on(self, port):
        return Agent(self.args.agent, self.server, port, 1, self.downloads)

    def row(self, metric, value, reference_name, reference, ratio, value_spread,
            reference_spread):
        self.rows.append({"metric": metric, "agent": value, "reference": reference_name,
                          "reference value": reference, "ratio": ratio,
                          "agent spread": value_spread, "reference spread": reference_spread})

    def note(self, text):
        self.rows.append({"metric": text})


def fmt(value):
    if value is None or value == "":
        return ""
    if isinstance(value, str):
        return value
    return "%.3g" % value if abs(value) < 100 else "%.0f" % value


def report(rows, out, header):
    columns = ["metric", "agent", "agent spread", "reference", "reference value",
               "reference spread", "ratio"]
    with open(out, "w", newline="") as handle:
        writer = csv.DictWriter(handle, fieldnames=columns)
        writer.writeheader()
        for row in rows:
            writer.writerow({key: fmt(row.get(key)) for key in columns})
    lines = [header, "", "| " + " | ".join(columns) + " |",
             "|" + "---|" * len(columns)]
    notes = []
    for row in rows:
        if len(row) == 1:
            notes.append("- " + row["metric"])
            continue
        lines.append("| " + " | ".join(fmt(row.get(key)) for key in columns) + " |")
    text = "\n".join(lines + [""] + notes) + "\n"
    with open(os.path.splitext(out)[0] + ".md", "w") as handle:
        handle.write(text)
    print(text)


def machine():
    with open("/proc/cpuinfo") as info:
        model = next((line.split(":", 1)[1].strip() for line in info
                      if line.startswith("model name")), "unknown CPU")
    return "%s, %d cores, %s" % (model, os.cpu_count(), os.uname().release)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--agent", required=True)
    parser.add_argument("--out", default="bench-results.csv")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--latency-runs", type=int, default=9)
    parser.add_argument("--idle-windows", type=int, default=6)
    parser.add_argument("--idle-seconds", type=float, default=10.0)
    parser.add_argument("--many", type=int, default=20)
    parser.add_argument("--lister", help="bench/listing_client.cpp: the server-cost reference")
    parser.add_argument("--server-windows", type=int, default=4)
    parser.add_argument("--only", default="",
                        help="comma-separated sets to run (throughput, latency, burst, backlog, "
                             "idle, server, silent); all when empty")
    args = parser.parse_args()
    if os.geteuid() != 0:
        raise SystemExit("run as root: the benchmark makes a test account for its sshd")
    for tool in ("sshpass", "sftp"):
        if shutil.which(tool) is None:
            raise SystemExit("%s is missing (make bench-deps)" % tool)
    copy_path = subprocess.run([args.agent, "--copy-path"], check=True, capture_output=True,
                               text=True).stdout.strip()
    print(copy_path, flush=True)
    load_before = os.getloadavg()
    started = time.monotonic()
    base = tempfile.mkdtemp(prefix="corvane-bench-")
    os.chmod(base, 0o755)
    bench = None
    try:
        bench = Bench(args, base)
        wanted = set(filter(None, args.only.split(",")))
        sets = [("throughput", bench.throughput), ("latency", bench.latency),
                ("burst", bench.burst), ("backlog", bench.backlog), ("idle", bench.idle),
                ("server", bench.idle_server if args.lister else None),
                ("silent", bench.silent_link)]
        if not wanted or "throughput" in wanted:
            bench.proxy_check()
        for name, measure in sets:
            if measure is not None and (not wanted or name in wanted):
                measure()
    finally:
        if bench is not None:
            bench.proxy.stop()
            bench.server.stop()
        shutil.rmtree(base, ignore_errors=True)
    load_after = os.getloadavg()
    header = ("Pickup benchmark, %s UTC, %s; load average %.1f before, %.1f after; "
              "medians of %d runs (latency %d), run took %.0f s"
              % (time.strftime("%Y-%m-%d %H:%M", time.gmtime()), machine(), load_before[0],
                 load_after[0], args.runs, args.latency_runs, time.monotonic() - started))
    bench.note(copy_path)
    bench.note("agent = the real pickup worker (bench/pickup_agent.cpp); D = added delay each "
               "way (D=0: straight to sshd on loopback, D=10: through "
               "tests/fixtures/link_proxy.py)")
    bench.note("copy times exclude login on both sides: worker from \"Downloading\" to "
               "hand-over (includes removal on the server); sftp = batch with get minus "
               "an empty batch with the same login")
    report(bench.rows, args.out, header)


if __name__ == "__main__":
    main()
