#!/usr/bin/env python3
"""Runs one Windows test program under Wine with the servers it needs on this machine.

  wine_run.py --fixtures DIR --standin EXE [--sshd] [--http]
              [--cups Q1,Q2 --cups-default Q] -- PROGRAM.exe [arguments...]

The servers listen on loopback only; each is started here and stopped by its PID when the
program has ended. What the program needs to reach them comes in CORVANE_* environment
variables, folders as Windows paths (Wine's Z: drive is the root of this machine):
  --sshd   CORVANE_SSHD_PORT/_USER/_PASSWORD/_HOME/_PICKUP and CORVANE_OTHER_HOST_KEY (an
           ed25519 key the server does not have), from tests/fixtures/sshd_fixture.py;
           --sshd-password PW [--sshd-password-encoding CODEC] give the account that
           password, in CODEC's bytes (CORVANE_SSHD_PASSWORD_ENCODING, utf-8 by default)
  --proxy  (with --sshd) CORVANE_PROXY_PORT, tests/fixtures/link_proxy.py in front of sshd,
           and CORVANE_PROXY_FREEZE: a file the program creates to have the link frozen
           (the proxy process stopped); it is removed once the link is frozen
  --http   CORVANE_HTTP_URL, from tests/fixtures/http_server.py (plain HTTP)
  --https  two HTTPS servers of that script, each with its own self-signed certificate:
           CORVANE_HTTPS_URL and CORVANE_HTTPS_CA (the first's URL and certificate, which the
           test trusts), CORVANE_HTTPS_NAME_URL (the first under a name its certificate
           does not carry) and CORVANE_HTTPS_OTHER_URL (the second, whose certificate
           nobody trusts)
  --cups   CUPS_SERVER (Wine's spooler asks that scheduler), CORVANE_CUPS_QUEUES and
           CORVANE_CUPS_DEFAULT, from tests/fixtures/cupsd_fixture.sh
--lang L runs the program (not the servers) in the Linux locale L, from which Wine takes the
ANSI code page.
Always: CORVANE_STANDIN (the stand-in program) and CORVANE_RECORDER_SCRIPT (a mapping
script that records how it was run). WINEPREFIX, DISPLAY and the wineserver
come from tools/windows/wine-tests.sh. Exits with the program's exit status.
"""
import argparse
import os
import signal
import subprocess
import sys
import tempfile
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures"))
from link_proxy import LinkProxy  # noqa: E402


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def key_values(text):
    return dict(line.split("=", 1) for line in text.splitlines() if "=" in line)


class Servers:
    """The servers started for one run; stop() ends each by its PID."""

    def __init__(self, fixtures):
        self.fixtures = fixtures
        self.scratch = tempfile.mkdtemp(prefix="corvane-wine-run-")
        # The test account's home lies below: the account must be able to reach it.
        os.chmod(self.scratch, 0o755)
        self.stops = []

    def sshd(self, env, password=None, encoding=None):
        base = os.path.join(self.scratch, "sshd")
        os.mkdir(base)
        script = os.path.join(self.fixtures, "sshd_fixture.py")
        options = ["--password", password] if password else []
        options += ["--password-encoding", encoding] if encoding else []
        out = subprocess.run([sys.executable, script, "start", base] + options, check=True,
                             capture_output=True, text=True, encoding="utf-8").stdout
        self.stops.append(lambda: subprocess.run([sys.executable, script, "stop", base]))
        values = key_values(out)
        other = os.path.join(self.scratch, "other_ed25519")
        subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", other], check=True)
        with open(other + ".pub") as f:
            env["CORVANE_OTHER_HOST_KEY"] = " ".join(f.read().split()[:2])
        env["CORVANE_SSHD_PORT"] = values["port"]
        env["CORVANE_SSHD_USER"] = values["user"]
        env["CORVANE_SSHD_PASSWORD"] = values["password"]
        env["CORVANE_SSHD_PASSWORD_ENCODING"] = encoding or "utf-8"
        env["CORVANE_SSHD_HOME"] = windows_path(values["home"])
        env["CORVANE_SSHD_PICKUP"] = windows_path(values["pickup"])
        return int(values["port"])

    def proxy(self, env, sshd_port):
        proxy = LinkProxy(0, sshd_port)
        request = os.path.join(self.scratch, "freeze-request")
        done = threading.Event()

        def freeze_on_request():
            while not done.wait(0.05):
                if os.path.exists(request):
                    proxy.freeze()
                    os.remove(request)

        watcher = threading.Thread(target=freeze_on_request)
        watcher.start()

        def stop():
            done.set()
            watcher.join()
            proxy.close()

        self.stops.append(stop)
        env["CORVANE_PROXY_PORT"] = str(proxy.port)
        env["CORVANE_PROXY_FREEZE"] = windows_path(request)

    def http(self, env, name="http", tls=False):
        base = os.path.join(self.scratch, name)
        os.mkdir(base)
        server = subprocess.Popen([sys.executable, os.path.join(self.fixtures, "http_server.py"),
                                   base] + (["--tls"] if tls else []),
                                  stdout=subprocess.PIPE, text=True)

        def stop():
            server.send_signal(signal.SIGTERM)
            try:
                server.wait(timeout=30)
            except subprocess.TimeoutExpired:
                server.kill()
                server.wait()

        self.stops.append(stop)
        values = {}
        for line in server.stdout:
            line = line.strip()
            if line == "ready":
                break
            values.update(key_values(line))
        if "url" not in values:
            raise RuntimeError("the web server did not start")
        if not tls:
            env["CORVANE_HTTP_URL"] = values["url"]
        return base, values

    def https(self, env):
        base, values = self.http(env, "https", tls=True)
        env["CORVANE_HTTPS_URL"] = values["url"]
        env["CORVANE_HTTPS_NAME_URL"] = "https://localhost:%s" % values["port"]
        env["CORVANE_HTTPS_CA"] = windows_path(os.path.join(base, "cert.pem"))
        _, other = self.http(env, "https-other", tls=True)
        env["CORVANE_HTTPS_OTHER_URL"] = other["url"]

    def cups(self, env, queues, default):
        base = os.path.join(self.scratch, "cups")
        script = os.path.join(self.fixtures, "cupsd_fixture.sh")
        args = ["sh", script, "start", base]
        if default:
            args += ["--default", default]
        out = subprocess.run(args + queues, check=True, capture_output=True, text=True).stdout
        self.stops.append(lambda: subprocess.run(["sh", script, "stop", base]))
        env["CUPS_SERVER"] = key_values(out)["socket"]
        env["CORVANE_CUPS_QUEUES"] = ",".join(queues)
        env["CORVANE_CUPS_DEFAULT"] = default or ""
        # Only the private scheduler decides the default.
        for name in ("PRINTER", "LPDEST"):
            env.pop(name, None)

    def stop(self):
        for stop in reversed(self.stops):
            try:
                stop()
            except Exception as error:  # stop the others all the same
                print("stopping a server failed: %s" % error, file=sys.stderr)
        subprocess.run(["rm", "-rf", self.scratch])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--standin", required=True)
    parser.add_argument("--sshd", action="store_true")
    parser.add_argument("--lang")
    parser.add_argument("--sshd-password")
    parser.add_argument("--sshd-password-encoding")
    parser.add_argument("--proxy", action="store_true")
    parser.add_argument("--http", action="store_true")
    parser.add_argument("--https", action="store_true")
    parser.add_argument("--cups")
    parser.add_argument("--cups-default")
    parser.add_argument("program", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    program = [a for a in args.program if a != "--"]
    if not program:
        parser.error("no program")

    # A test timeout ends this driver with SIGTERM: the servers are stopped all the same.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    env = dict(os.environ)
    env["CORVANE_STANDIN"] = windows_path(args.standin)
    env["CORVANE_RECORDER_SCRIPT"] = windows_path(
        os.path.join(os.path.dirname(os.path.abspath(__file__)), "mapwebdav_recorder.vbs"))
    env.setdefault("WINEDEBUG", "-all")
    servers = Servers(args.fixtures)
    try:
        if args.sshd:
            sshd_port = servers.sshd(env, args.sshd_password, args.sshd_password_encoding)
            if args.proxy:
                servers.proxy(env, sshd_port)
        if args.http:
            servers.http(env)
        if args.https:
            servers.https(env)
        if args.cups:
            servers.cups(env, args.cups.split(","), args.cups_default)
        if args.lang:
            # The program's locale only: the servers' tools read their own output in English.
            env.update(LANG=args.lang, LC_ALL=args.lang)
        return subprocess.run(["wine"] + program, env=env).returncode
    finally:
        servers.stop()


if __name__ == "__main__":
    sys.exit(main())
