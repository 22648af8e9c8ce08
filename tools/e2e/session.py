"""One run of the real installer under Wine against the local services, driven as a
user would: clicks on the window's known layout with xdotool, real message boxes
answered with the keyboard, screenshots of the screen.

Used by tools/demo and by the end-to-end tests (tests/e2e). Every process a session
starts (virtual display, servers, the installer) is stopped by its own id.
"""
import fcntl
import glob
import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PROGRAM = "VanteloSetupLocal.exe"
PRODUCT = "Pexar.exe"
WINDOW_SIZE = (650, 360)
XDOTOOL_SECONDS = 30
# Window-relative points of the skin's controls (product/skin/*.xml: a 650 x 360
# window with a 1-pixel inset).
POINTS = {
    "agree": (30, 330),
    "install": (325, 238),
    "start": (325, 238),
    "close": (629, 17),
    "minimize": (589, 17),
    "hide": (573, 310),
    "fold": (600, 330),
}
ENGINE = "vantelo-download.tmp"


class SessionError(Exception):
    pass


class Session:
    def __init__(self, build, out, pad=64 << 20, rate=2 << 20, setup_ms=4000, env=None, log=print,
                 own_display=False, right_to_left=False, screen="1280x1024", variants=("signed",)):
        self.build = os.path.abspath(build)
        self.out = os.path.abspath(out)
        self.pad = pad
        self.rate = rate
        self.variants = list(variants)
        self.setup_ms = setup_ms
        self.extra_env = dict(env or {})
        # The right-to-left skin mirrors the window: each point is clicked mirrored.
        self.right_to_left = right_to_left
        # The window's scale (the prefix's DPI / 96): its size and points grow with it.
        self.scale = 1.0
        # The size of a display the session starts itself.
        self.screen = screen
        self.log = log
        self.prefix = os.environ.get("WINEPREFIX", os.path.join(ROOT, "build", "wineprefix"))
        self.state = os.path.join(self.out, "servers")
        self.processes = []
        # A display of its own keeps other programs' windows from under the clicks.
        self.display = "" if own_display else os.environ.get("DISPLAY", "")
        self.installer = None
        self.shots = []
        self.window = None
        drive = os.path.join(self.prefix, "drive_c")
        programs = os.path.join(drive, "Program Files (x86)")
        if not os.path.isdir(programs):
            programs = os.path.join(drive, "Program Files")
        self.programs = programs
        self.work = os.path.join(programs, "vantelo_down", "VanteloSetupLocal")
        self.product = os.path.join(programs, "Vantelo", "Vantelo Pexar")

    # ---- processes ---------------------------------------------------------------

    def spawn(self, args, output, env=None):
        with open(output, "ab") as sink:
            process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=sink, stderr=subprocess.STDOUT,
                                       env=env, start_new_session=True)
        self.processes.append(process)
        return process

    def start(self):
        os.makedirs(self.out, exist_ok=True)
        for old in glob.glob(os.path.join(self.out, "[0-9][0-9]-*.png")):  # this kind of run's own shots
            os.remove(old)
        if not self.display:
            self.start_display()
        self.lock_ports()
        self.start_servers()

    def lock_ports(self):
        # The local installer's addresses name fixed ports, so two sessions on one
        # machine (two checkouts testing at once) take turns instead of colliding,
        # unless this one has a network of its own (tools/e2e/isolated).
        if os.environ.get("VANTELO_E2E_ISOLATED") == "1":
            return
        self.port_lock = open(os.path.join(tempfile.gettempdir(), "vantelo-e2e-ports.lock"), "w")
        try:
            fcntl.flock(self.port_lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            self.log("waiting for another session to free the local servers' ports")
            fcntl.flock(self.port_lock, fcntl.LOCK_EX)

    def start_display(self):
        read, write = os.pipe()
        with open(os.path.join(self.out, "xvfb.out"), "ab") as sink:
            process = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", self.screen + "x24",
                                        "-nolisten", "tcp"], pass_fds=(write,), stdin=subprocess.DEVNULL,
                                       stdout=sink, stderr=subprocess.STDOUT, start_new_session=True)
        os.close(write)
        self.processes.append(process)
        number = b""
        with os.fdopen(read, "rb") as f:
            number = f.readline().strip()
        if not number:
            raise SessionError("Xvfb did not start")
        self.display = ":" + number.decode()
        self.log("virtual display %s (Xvfb pid %d)" % (self.display, process.pid))

    def start_servers(self):
        if os.path.isdir(self.state):
            shutil.rmtree(self.state)
        os.makedirs(self.state)
        ca = os.path.join(ROOT, "build", "ca")
        process = self.spawn(["python3", os.path.join(ROOT, "tools", "e2e", "servers.py"), "--state", self.state,
                              "--installer", os.path.join(self.build, "tools", "sample-product", "SampleSetup.exe"),
                              "--codesign", os.path.join(ROOT, "build", "codesign"), "--variants", ",".join(self.variants),
                              "--pad", str(self.pad), "--rate", str(self.rate),
                              "--cert", os.path.join(ca, "server.pem"), "--key", os.path.join(ca, "server.key")],
                             os.path.join(self.out, "servers.out"))
        self.wait_for(lambda: os.path.exists(os.path.join(self.state, "ready")) or process.poll() is not None, 120,
                      "the local servers")
        if process.poll() is not None:
            raise SessionError("the local servers did not start: see %s" % os.path.join(self.out, "servers.out"))
        self.log("servers: https://localhost:48443 (download, collector), http://127.0.0.1:48080 "
                 "(redirect, pages), pid %d" % process.pid)

    def wine_env(self):
        env = dict(os.environ)
        env.update({"DISPLAY": self.display, "WINEPREFIX": self.prefix, "WINEDEBUG": "-all",
                    "WINEDLLOVERRIDES": "mscoree,mshtml=", "VANTELO_SAMPLE_SETUP_MS": str(self.setup_ms)})
        env.update(self.extra_env)
        return env

    def run_wine(self, program, output_name, env=None):
        return self.spawn([os.path.join(ROOT, "tools", "wine-run"), program],
                          os.path.join(self.out, output_name), env or self.wine_env())

    def launch(self, env=None, exe=None):
        """Starts the installer (by default the build's; EXE: a copy elsewhere)."""
        exe = exe or os.path.join(self.build, "src", "Window", "VanteloSetupLocal.exe")
        self.log_offset = self.log_size()
        self.installer = self.run_wine(exe, "installer.out", env)
        self.window = self.wait_for(self.main_window, 90, "the installer window")
        self.log("installer started (pid %d), window %s" % (self.installer.pid, self.window))
        time.sleep(1.0)  # the first paint
        return self.installer

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                try:
                    os.kill(process.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
        for process in reversed(self.processes):
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                os.kill(process.pid, signal.SIGKILL)
                process.wait()
        self.processes = []
        if getattr(self, "port_lock", None):
            self.port_lock.close()
            self.port_lock = None

    # ---- the screen ----------------------------------------------------------------

    def xdotool(self, *args, check=True):
        # Bounded: a display that stops answering (seen once while a Wine process was
        # dying) must fail the case, not hang the run until ctest's time-out.
        try:
            result = subprocess.run(["xdotool"] + list(args), capture_output=True, text=True,
                                    env=dict(os.environ, DISPLAY=self.display), timeout=XDOTOOL_SECONDS)
        except subprocess.TimeoutExpired:
            raise SessionError("xdotool %s: no answer from the display within %d s"
                               % (" ".join(args), XDOTOOL_SECONDS))
        if check and result.returncode != 0 and "search" not in args[0]:
            raise SessionError("xdotool %s: %s" % (" ".join(args), result.stderr.strip()))
        return result.stdout

    def windows(self, program):
        """Visible windows of PROGRAM (its file name): Wine names their X class after it."""
        found = []
        pattern = "^%s$" % re.escape(program.lower())
        for window in self.xdotool("search", "--onlyvisible", "--class", pattern, check=False).split():
            geometry = self.xdotool("getwindowgeometry", "--shell", window, check=False)
            values = dict(line.split("=", 1) for line in geometry.split() if "=" in line)
            if "WIDTH" in values:
                found.append((window, int(values["X"]), int(values["Y"]), int(values["WIDTH"]),
                              int(values["HEIGHT"])))
        return found

    def scaled(self, length):
        """A length of the skin at the window's scale, rounded as the window rounds it."""
        return int(length * self.scale + 0.5)

    def main_window(self):
        for window, _, _, width, _ in self.windows(PROGRAM):
            if width == self.scaled(WINDOW_SIZE[0]):
                return window
        return None

    def message_box(self):
        """The installer's message box on screen, or None."""
        for window, _, _, width, _ in self.windows(PROGRAM):
            if width != self.scaled(WINDOW_SIZE[0]):
                return window
        return None

    def product_windows(self):
        return [w[0] for w in self.windows(PRODUCT)]

    def click(self, point):
        x, y = POINTS[point]
        if self.right_to_left:
            x = WINDOW_SIZE[0] - x
        x, y = self.scaled(x), self.scaled(y)
        self.xdotool("mousemove", "--window", self.window, str(x), str(y))
        time.sleep(0.2)
        self.xdotool("click", "1")
        time.sleep(0.4)

    def key(self, key):
        """Presses KEY in the installer's window (alt+F4 closes it on every page)."""
        self.xdotool("windowactivate", "--sync", self.window, check=False)
        self.xdotool("windowfocus", "--sync", self.window, check=False)
        self.xdotool("key", key)

    def answer(self, key, timeout=60):
        """Waits for a message box and presses KEY in it (Return, Escape or a button's letter);
        answers the monotonic time of the key press."""
        box = self.wait_for(self.message_box, timeout, "a message box")
        time.sleep(0.5)
        # Real key presses (XTEST) into the focused box: Wine drops synthetic events
        # sent to a window that does not have the focus. Without a window manager the
        # focus request is now and then not honoured on a loaded machine and the key
        # goes to the window behind: the box is focused and the key pressed again.
        for attempt in range(3):
            self.xdotool("windowactivate", "--sync", box, check=False)
            self.xdotool("windowfocus", "--sync", box, check=False)
            pressed = time.monotonic()
            self.xdotool("key", key)
            try:
                self.wait_for(lambda: self.message_box() != box, 5 if attempt < 2 else 15,
                              "the message box to close")
                break
            except SessionError:
                if attempt == 2:
                    raise
        time.sleep(0.3)
        return pressed

    def screenshot(self, name):
        path = os.path.join(self.out, "%02d-%s.png" % (len(self.shots) + 1, name))
        subprocess.run(["import", "-display", self.display, "-window", "root", path], check=True,
                       capture_output=True, timeout=60)
        self.shots.append(path)
        return path

    # ---- display density and screen readers -------------------------------------------

    def set_dpi(self, dpi):
        """The prefix's display density (LogPixels) for the programs started from now on."""
        subprocess.run([os.path.join(ROOT, "tools", "wine-run"), "reg", "add", r"HKCU\Control Panel\Desktop", "/v",
                        "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"], env=self.wine_env(),
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True,
                       timeout=120)
        self.scale = dpi / 96.0

    def accessibility(self, commands, name):
        """Runs the accessibility client against the installer window (another process, as
        a screen reader is) and keeps its report as NAME in the output folder."""
        client = os.path.join(self.build, "tools", "accessibility-client", "accessibility-client.exe")
        path = os.path.join(self.out, name)
        result = subprocess.run([os.path.join(ROOT, "tools", "wine-run"), client, "--out",
                                 "Z:" + path.replace("/", "\\")] + list(commands), env=self.wine_env(),
                                stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        if result.returncode != 0:
            raise SessionError("the accessibility client failed (%d): %s" % (result.returncode, path))
        with open(path, encoding="utf-8") as report:
            return report.read()

    # ---- what the installer left ----------------------------------------------------

    def log_path(self):
        return os.path.join(self.work, "Log", "vantelo_down.log")

    def log_size(self):
        try:
            return os.path.getsize(self.log_path())
        except OSError:
            return 0

    def log_text(self):
        try:
            with open(self.log_path(), "rb") as f:
                f.seek(self.log_offset)
                return f.read().decode("utf-8", "replace")
        except OSError:
            return ""

    def log_time(self, line_text):
        """Seconds since the epoch of the first log line of this run holding LINE_TEXT."""
        for line in self.log_text().splitlines():
            if line_text in line:
                match = re.match(r"\s*(\d+-\d+-\d+ \d+:\d+:\d+),(\d+)", line)
                if match:
                    return time.mktime(time.strptime(match.group(1), "%Y-%m-%d %H:%M:%S")) + \
                        int(match.group(2)) / 1000.0
        return None

    def wait_log(self, line_text, timeout):
        return self.wait_for(lambda: self.log_time(line_text), timeout, "the log line %r" % line_text)

    def requests(self):
        records = []
        try:
            with open(os.path.join(self.state, "requests.log")) as f:
                for line in f:
                    records.append(json.loads(line))
        except FileNotFoundError:
            pass
        return records

    def events(self):
        records = []
        for path in sorted(glob.glob(os.path.join(self.state, "events", "*.json"))):
            with open(path) as f:
                records.append(json.load(f))
        return records

    def served_installer(self):
        with open(os.path.join(self.state, "installer.json")) as f:
            return json.load(f)

    def clean_product(self):
        for folder in (self.product, os.path.dirname(self.product)):
            if os.path.isdir(folder) and folder.endswith("Vantelo Pexar"):
                shutil.rmtree(folder)

    # ---- helpers ---------------------------------------------------------------------

    def wait_for(self, probe, timeout, what, needs_installer=True):
        deadline = time.monotonic() + timeout
        while True:
            value = probe()
            if value:
                return value
            if needs_installer and self.installer is not None and self.installer.poll() is not None:
                # A closed installer answers no more probes.
                value = probe()
                if value:
                    return value
                raise SessionError("the installer ended (code %s) while waiting for %s"
                                   % (self.exit_code(), what))
            if time.monotonic() > deadline:
                raise SessionError("timed out after %d s waiting for %s" % (timeout, what))
            time.sleep(0.2)

    def terminate(self):
        """Ends the installer (a test that leaves it on screen on purpose)."""
        os.kill(self.installer.pid, signal.SIGTERM)
        self.installer.wait(10)

    def exit_code(self):
        code = self.installer.poll() if self.installer else None
        # Wine reports the Windows exit code modulo 256.
        return None if code is None else (code - 256 if code > 127 else code)

    def wait_exit(self, timeout=30):
        self.wait_for(lambda: self.installer.poll() is not None, timeout, "the installer to exit", False)
        return self.exit_code()
