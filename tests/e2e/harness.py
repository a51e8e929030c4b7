"""The end-to-end harness: the program itself and its servers, used as a person would.

The end-to-end tests (e2e_test.py), the fault matrix (../faults/fault_matrix.py) and the
soak (../soak/soak.py) drive the program through this module; each sets CONFIG to its
parsed command line (--program, --wm-close, --fixtures, --send-document, --sftp-port,
--web-port, --artifacts) first.

Services starts an OpenSSH server with a fresh test account (sshd_fixture.py), a private
CUPS scheduler whose default queue captures every job (cupsd_fixture.sh) and a web server
with the release-number text (http_server.py), all on loopback and on the ports compiled
into this build of the program. The program runs under the X display in $DISPLAY
(tools/run-tests.sh starts Xvfb); xdotool types into it and clicks, the accessibility tree
(AT-SPI, on a private bus) gives the texts its windows show, `import` takes screenshots.
Everything is stopped by PID and removed afterwards.

The program is run as it is, but never with the real home folder: the SSH library finds
~/.ssh through the password database (not $HOME) and writes the server's key into
known_hosts there. So the program runs in a private mount namespace (unshare -m) in which
an empty temporary folder is mounted over the home folder of the account running the
tests; nothing it writes under ~ reaches the real one. (Mounting over /etc/passwd instead
is not robust: any useradd elsewhere replaces that file, which silently undoes the mount.)
The program is copied into the test's own folder first, so it stays reachable even when
the build tree lives inside that home folder.
"""
import atexit
import importlib.machinery
import importlib.util
import os
import pwd
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import warnings

CONFIG = None

VERSION_PATH = "/downloads/corvane-print-spooler-version.txt"
# Where the login form's controls are, relative to the window: the layout the window is
# built from.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import window_layout  # noqa: E402
from waiting import wait_for  # noqa: E402,F401

ACCOUNT_FIELD = window_layout.centre("UserId")
PASSWORD_FIELD = window_layout.centre("Password")
CONNECT_BUTTON = window_layout.centre("ConnectButton")
QUEUE = "e2e"


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
    """The text a person reads in a window: the names of its showing widgets, as the program's
    toolkit reports them on the accessibility bus (its labels, buttons and message texts)."""
    atspi = accessibility().atspi
    pid = int(window_property(window, "_NET_WM_PID"))
    geometry = key_values(xdotool("getwindowgeometry", "--shell", window))
    place = tuple(int(geometry[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def names():
        try:
            return window_names(atspi, pid, place)
        except accessibility().errors:
            return None  # the program busy past the library's timeout, or gone: ask again

    # A window just shown may not be on the bus yet.
    return " ".join(wait_for("window %s on the accessibility bus" % window, names, timeout=10))


def window_names(atspi, pid, place):
    """The names of the showing widgets in the window at `place` of the program `pid`, or
    None while it is not on the bus."""
    top = window_accessible(atspi, pid, place)
    return None if top is None else list(showing_names(atspi, top)) or [""]


def window_accessible(atspi, pid, place):
    """The accessible object of the window at `place` of the program `pid`, read afresh, or
    None while it is not on the bus."""
    desktop = atspi.get_desktop(0)
    for app in (desktop.get_child_at_index(i) for i in range(desktop.get_child_count())):
        if app is None or app.get_process_id() != pid:
            continue
        # The library keeps what it read before, and the toolkit only announces changes
        # to those who listen for them: read afresh.
        app.clear_cache()
        for top in (app.get_child_at_index(i) for i in range(app.get_child_count())):
            extents = top.get_extents(atspi.CoordType.SCREEN)
            if (extents.x, extents.y, extents.width, extents.height) == place:
                return top
    return None


class Node:
    """One showing widget as a screen reader sees it: role, name, the names its relations
    point to ({"labelled-by": ["Password"]}), its attributes and the text it holds."""

    def __init__(self, atspi, accessible, depth):
        self.depth = depth
        self.role = accessible.get_role_name()
        self.name = accessible.get_name()
        self.relations = {}
        for relation in accessible.get_relation_set() or []:
            kind = relation.get_relation_type().value_nick
            self.relations[kind] = [relation.get_target(i).get_name()
                                    for i in range(relation.get_n_targets())]
        self.attributes = dict(accessible.get_attributes() or {})
        self.text = None
        text = accessible.get_text_iface()
        if text is not None:
            self.text = text.get_text(0, text.get_character_count())

    def __str__(self):
        line = "%s%s %r" % ("  " * self.depth, self.role, self.name)
        for kind, targets in sorted(self.relations.items()):
            line += " %s=%r" % (kind, targets)
        shown = {k: v for k, v in self.attributes.items() if k != "toolkit"}
        if shown:
            line += " " + " ".join("%s:%s" % item for item in sorted(shown.items()))
        return line


def accessibility_tree(window):
    """The showing widgets of a window, depth first, as the accessibility bus gives them."""
    atspi = accessibility().atspi
    pid = int(window_property(window, "_NET_WM_PID"))
    geometry = key_values(xdotool("getwindowgeometry", "--shell", window))
    place = tuple(int(geometry[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def nodes(accessible, depth):
        yield Node(atspi, accessible, depth)
        for child in (accessible.get_child_at_index(i)
                      for i in range(accessible.get_child_count())):
            if child is not None and child.get_state_set().contains(atspi.StateType.SHOWING):
                yield from nodes(child, depth + 1)

    def read():
        try:
            top = window_accessible(atspi, pid, place)
            return None if top is None else list(nodes(top, 0))
        except accessibility().errors:
            return None

    return wait_for("window %s on the accessibility bus" % window, read, timeout=10)


def showing_names(atspi, accessible):
    """The names of the showing widgets below `accessible`, in the toolkit's order."""
    for child in (accessible.get_child_at_index(i) for i in range(accessible.get_child_count())):
        if child is None or not child.get_state_set().contains(atspi.StateType.SHOWING):
            continue
        if child.get_name():
            yield child.get_name()
        yield from showing_names(atspi, child)


class AccessibilityBus:
    """A private accessibility bus and its registry, for the rest of this process.

    The program's toolkit (GTK, through its AT-SPI bridge) puts its windows and widgets on the
    bus named by AT_SPI_BUS_ADDRESS; the registry lists the programs on it. The bus activates
    nothing by itself: both processes are started here and stopped by PID at exit. The
    address goes into this process's environment, which the program inherits, before the
    accessibility library is loaded, since that library connects once per process."""

    REGISTRY = "/usr/libexec/at-spi2-registryd"
    CONFIG = """<busconfig>
  <type>accessibility</type>
  <listen>unix:dir=%s</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
  </policy>
</busconfig>
"""

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="corvane-a11y-", dir="/tmp")
        self.bus = None
        self.registry = None
        self.atspi = None
        self.errors = None
        config = os.path.join(self.folder, "bus.conf")
        with open(config, "w") as f:
            f.write(self.CONFIG % self.folder)
        log = os.path.join(self.folder, "registry.log")
        try:
            with open(os.path.join(self.folder, "bus.log"), "w") as errors:
                self.bus = subprocess.Popen(
                    ["dbus-daemon", "--nofork", "--config-file=" + config, "--print-address=1"],
                    stdout=subprocess.PIPE, stderr=errors, text=True)
            address = self.bus.stdout.readline().strip()
            self.bus.stdout.close()
            if not address:
                raise AssertionError("the accessibility bus did not start")
            os.environ["AT_SPI_BUS_ADDRESS"] = address
            with open(log, "w") as out:
                self.registry = subprocess.Popen([self.REGISTRY], stdout=out,
                                                 stderr=subprocess.STDOUT)
            wait_for("the accessibility registry", lambda: self.registered(log))
            with warnings.catch_warnings():
                warnings.simplefilter("ignore", ImportWarning)  # GObject's own importer
                import gi
                gi.require_version("Atspi", "2.0")
                from gi.repository import Atspi, GLib
            self.atspi = Atspi
            self.errors = GLib.Error
            # A loaded machine can keep the program from answering within the short default.
            Atspi.set_timeout(5000, 15000)
        except BaseException:
            self.stop()
            raise

    def registered(self, log):
        with open(log, errors="replace") as f:
            text = f.read()
        if self.registry.poll() is not None:
            raise AssertionError("the accessibility registry ended:\n" + text)
        return "well-known name" in text  # printed once it holds its name on the bus

    def stop(self):
        for process in (self.registry, self.bus):
            if process is not None and process.poll() is None:
                process.terminate()
                process.wait()
        self.registry = self.bus = None
        shutil.rmtree(self.folder, ignore_errors=True)


_accessibility = None


def accessibility():
    """The accessibility bus of this process, started on first use."""
    global _accessibility
    if _accessibility is None:
        _accessibility = AccessibilityBus()
        atexit.register(_accessibility.stop)
    return _accessibility


class Services:
    """The servers of one test, each started by its fixture script in a folder of its own."""

    def __init__(self, base, release, sshd_port=None, password=None):
        self.base = base
        self.release = release
        self.password = password  # the test account's; a random one when None
        # The compiled-in port unless something else (a proxy) takes that one.
        self.sshd_port = sshd_port or CONFIG.sftp_port
        self.sshd = None
        self.cups = None
        self.web_pid = None
        self.web_dir = os.path.join(base, "web")

    def start(self):
        fixtures = CONFIG.fixtures
        password = ["--password", self.password] if self.password else []
        out = subprocess.run(
            [sys.executable, os.path.join(fixtures, "sshd_fixture.py"), "start",
             os.path.join(self.base, "sshd"), "--port", str(self.sshd_port)] + password,
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
        # Where its toolkit opens the socket that readers of its widgets connect to: the
        # default, under the home folder, is hidden from the tests by the mount.
        self.runtime_dir = os.path.join(base, "run")
        self.tmpdir = os.path.join(base, "tmp")
        # Its outbox, where the copies of documents taken off the server wait for printing.
        self.state_home = os.path.join(base, "state")
        self.outbox = os.path.join(self.state_home, "corvane-print-spooler", "outbox")
        self.log_path = os.path.join(base, "program.log")
        self.process = None
        self.window = None
        self.env = {}  # set for the program on top of the test's own environment

    def start(self):
        self.process = self.launch(self.log_path)
        self.window = wait_for("the main window", self.main_window_of_running_program)

    def launch(self, log_path):
        """Starts the program in this copy's session (its home, runtime folder and display)
        and returns the process; a second launch is a second click in the menu."""
        program_dir = os.path.join(self.base, "program")
        executable = os.path.join(program_dir, os.path.basename(CONFIG.program))
        if not os.path.exists(executable):
            shutil.copytree(os.path.dirname(CONFIG.program), program_dir, dirs_exist_ok=True)
        for path in (self.home, self.tmpdir, self.runtime_dir):
            os.makedirs(path, mode=0o700, exist_ok=True)
        real_home = pwd.getpwuid(os.getuid()).pw_dir
        accessibility()  # its address is in the environment from here on
        env = dict(os.environ)
        env.update(TMPDIR=self.tmpdir, CUPS_SERVER=self.services.cups["socket"],
                   XDG_RUNTIME_DIR=self.runtime_dir, XDG_STATE_HOME=self.state_home)
        env.pop("NO_AT_BRIDGE", None)  # set for the other test programs: this one is read
        env.update(self.env)
        with open(log_path, "w") as log:
            return subprocess.Popen(
                ["unshare", "-m", "--propagation", "private", "sh", "-c",
                 'mount --bind "$1" "$2" && shift 2 && exec "$@"', "sh", self.home, real_home,
                 executable],
                env=env, cwd=self.base, stdout=log, stderr=subprocess.STDOUT)

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

    def outbox_files(self):
        """The names in the program's outbox: copies ("<id>.copy") and their records."""
        try:
            return sorted(os.listdir(self.outbox))
        except FileNotFoundError:
            return []

    def left_behind(self):
        """What the program left in its temporary folder, and in its outbox what no record
        explains: partial copies and unfinished records."""
        names = self.outbox_files()
        partial = [n for n in names if n.endswith(".new") or (
            n.endswith(".copy") and n[:-len(".copy")] + ".rec" not in names)]
        return os.listdir(self.tmpdir) + partial


def start_second_copy(program, log_path):
    """The program started once more in the running copy's session, as a second click in the
    menu does; returns the process."""
    return program.launch(log_path)


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

