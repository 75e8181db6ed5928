"""A private desktop for one acceptance test.

Xvfb on a free display, openbox, a session bus and the accessibility bus of their own, a fresh HOME with
its XDG folders, the local Cloffa service on a free port with its own CA, the toolbar stand-in serving a
session, and the installed program started through the stand-in's launcher. Everything started here is
stopped by pid, newest first, however the test ends.
"""

import atexit
import ctypes
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

USER = "acceptance"
SESSION_KEY = "acceptance-session-key"


class SetupError(Exception):
    pass


class Unavailable(Exception):
    """What a journey needs cannot run here (e.g. no compositor): the journey is skipped, not failed."""


_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1


def _end_with_parent():
    """In a child before exec: should the test process be killed outright (a harness time-out), the
    kernel sends this child SIGTERM, so nothing outlives it even then."""
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGTERM)


def wait_until(condition, timeout, what, interval=0.05):
    """Polls `condition` until it returns something true or `timeout` seconds pass; returns its value."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise TimeoutError(f"waited {timeout:g} s for {what} (last seen: {value!r})")
        time.sleep(interval)


def _children():
    """Parent pid of every process, from /proc."""
    parents = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat", "rb") as f:
                stat = f.read()
        except OSError:
            continue
        rest = stat[stat.rfind(b")") + 2:].split()
        if len(rest) > 1:
            parents[int(entry)] = int(rest[1])
    return parents


def descendants(pid):
    """Every process below `pid`, deepest first."""
    parents = _children()
    found = []
    frontier = [pid]
    while frontier:
        nxt = [p for p, parent in parents.items() if parent in frontier and p not in found]
        found.extend(nxt)
        frontier = nxt
    return list(reversed(found))


def alive(pid):
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            stat = f.read()
    except OSError:
        return False
    return stat[stat.rfind(b")") + 2:][:1] != b"Z"


def stop_pid(pid, grace=3.0):
    """SIGTERM, then SIGKILL after `grace` seconds."""
    for sig, wait in ((signal.SIGTERM, grace), (signal.SIGKILL, 2.0)):
        if not alive(pid):
            return
        try:
            os.kill(pid, sig)
        except ProcessLookupError:
            return
        deadline = time.monotonic() + wait
        while alive(pid) and time.monotonic() < deadline:
            time.sleep(0.05)


class Programs:
    """Where the programs are: `bin` holds the client under its names, beside the two stand-ins."""

    def __init__(self, bin_dir, tavirun, service):
        self.bin, self.tavirun, self.service = bin_dir, tavirun, service

    @classmethod
    def installed(cls, prefix):
        standins = os.path.join(prefix, "libexec", "quorvane-standins")
        return cls(os.path.join(prefix, "bin"), os.path.join(standins, "tavirun"),
                   os.path.join(standins, "cloffa-service"))


# The file managers of the desktops users have: how each opens a window of a folder, what its window's
# title is, how the session bus starts it to answer org.freedesktop.FileManager1 (None: it offers none),
# and whether an item drawn selected by its name alone is dragged by its icon above the name.
FILE_MANAGERS = {
    "pcmanfm": (["pcmanfm", "{folder}"], "^{name}$", None, True),
    "thunar": (["thunar", "{folder}"], "^{name} - ", ["thunar", "--daemon"], True),
    "nautilus": (["nautilus", "--new-window", "{folder}"], "^{name}$", ["nautilus", "--gapplication-service"], True),
    "nemo": (["nemo", "--no-desktop", "{folder}"], "^{name}$", ["nemo", "--no-default-window", "--no-desktop"], True),
    "caja": (["caja", "--no-desktop", "{folder}"], "^{name}$", ["caja", "--no-default-window", "--no-desktop"], True),
    "dolphin": (["dolphin", "--new-window", "{folder}"], "^{name} .+Dolphin$", ["dolphin", "--daemon"], True),
}
# Settings kept in memory: the desktop has no settings service, and nothing is written outside its home.
FILE_MANAGER_ENV = {"GSETTINGS_BACKEND": "memory", "GIO_USE_VFS": "local", "GTK_USE_PORTAL": "0"}


def file_manager_installed(kind):
    return shutil.which(FILE_MANAGERS[kind][0][0]) is not None


class Desktop:
    """One test's desktop. `run_dir` receives the home, the store, the logs and the artefacts."""

    def __init__(self, programs, run_dir, scale=None, width=1280, height=1024, user=USER, session_key=SESSION_KEY,
                 compositor=None, env=None):
        """`compositor`: None for Xvfb with openbox; "weston-xwayland" or "weston" for Weston's headless
        backend, with or without XWayland. `env` is added to the desktop's environment."""
        if isinstance(programs, str):
            programs = Programs.installed(programs)
        self.programs = programs
        self.user = user
        self.session_key = session_key
        self.run_dir = run_dir
        self.scale = scale
        self.size = (width, height)
        self.compositor = compositor
        self.display = None
        self.wayland_display = None
        self.procs = []  # (Popen, name), stopped in reverse order
        self.client = None
        self.launcher = None
        self.launcher_is_client = False
        self.service = None
        self.service_url = None
        self.ca_file = None
        self.stopped = False
        self.bin = programs.bin
        self.tavirun = programs.tavirun
        if os.path.exists(run_dir):
            shutil.rmtree(run_dir)
        self.home = os.path.join(run_dir, "home")
        self.logs = os.path.join(run_dir, "logs")
        self.store = os.path.join(run_dir, "store")
        for d in (self.home, self.logs):
            os.makedirs(d)
        self.env = self._base_env()
        if env:
            self.env.update(env)
        atexit.register(self.stop)

    # -- environment ----------------------------------------------------------------------------------

    def _base_env(self):
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("XDG_", "DBUS_", "CLOFFA_", "QT_", "AT_SPI", "GTK_", "WAYLAND"))}
        home = self.home
        # Short, as sockets are made in it (a socket's path has at most 107 bytes); removed at the end.
        runtime = tempfile.mkdtemp(prefix="quorvane-acceptance-")
        self.runtime = runtime
        tools = os.path.join(self.run_dir, "tools")
        os.makedirs(tools)
        env.update({
            "HOME": home,
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
            "XDG_STATE_HOME": os.path.join(home, ".local", "state"),
            "XDG_CACHE_HOME": os.path.join(home, ".cache"),
            "XDG_RUNTIME_DIR": runtime,
            "LANG": "C.UTF-8",
            "LC_ALL": "C.UTF-8",
            "NO_AT_BRIDGE": "0",
            "QT_ACCESSIBILITY": "1",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_QPA_PLATFORM": "xcb",
            # A recording xdg-open comes first; the real one still runs after it.
            "PATH": tools + os.pathsep + env.get("PATH", "/usr/bin:/bin"),
        })
        if self.scale:
            env["QT_SCALE_FACTOR"] = str(self.scale)
        for key in ("XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"):
            os.makedirs(env[key], exist_ok=True)
        self.open_requests = os.path.join(self.logs, "xdg-open.requests")
        with open(os.path.join(tools, "xdg-open"), "w") as f:
            f.write("#!/bin/sh\n"
                    f"printf '%s\\n' \"$*\" >> '{self.open_requests}'\n"
                    "exit 0\n")
        os.chmod(os.path.join(tools, "xdg-open"), 0o755)
        return env

    def make_user_folders(self, names=("Desktop", "Documents", "Downloads")):
        """The XDG user folders a desktop session would have, with the user-dirs file naming them."""
        paths = {}
        for name in names:
            paths[name] = os.path.join(self.home, name)
            os.makedirs(paths[name], exist_ok=True)
        keys = {"Desktop": "DESKTOP", "Documents": "DOCUMENTS", "Downloads": "DOWNLOAD"}
        with open(os.path.join(self.env["XDG_CONFIG_HOME"], "user-dirs.dirs"), "w") as f:
            for name in names:
                if name in keys:
                    f.write(f'XDG_{keys[name]}_DIR="$HOME/{name}"\n')
        return paths

    # -- processes ------------------------------------------------------------------------------------

    def spawn(self, name, argv, env=None, stdin=None, stdout=None):
        log = open(os.path.join(self.logs, name + ".log"), "ab")
        proc = subprocess.Popen(argv, env=env or self.env, stdin=stdin if stdin else subprocess.DEVNULL,
                                stdout=stdout if stdout else log, stderr=log, cwd=self.run_dir,
                                preexec_fn=_end_with_parent)
        log.close()
        self.procs.append((proc, name))
        return proc

    def log_text(self, name):
        try:
            with open(os.path.join(self.logs, name + ".log"), encoding="utf-8", errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def start(self, service=True, session=True, service_args=(), serve_args=()):
        if self.compositor:
            self._start_weston(xwayland=self.compositor == "weston-xwayland")
            self._start_buses()
        else:
            self._start_x()
            self._start_buses()
            self.spawn("openbox", ["openbox", "--sm-disable"])
            wait_until(self._wm_running, 10, "openbox")
        if service:
            self.start_service(*service_args)
        if session:
            self.start_session(*serve_args)
        return self

    def _start_x(self):
        read_fd, write_fd = os.pipe()
        log = open(os.path.join(self.logs, "Xvfb.log"), "ab")
        w, h = self.size
        proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{w}x{h}x24",
                                 "-nolisten", "tcp", "-noreset"],
                                pass_fds=(write_fd,), stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                preexec_fn=_end_with_parent)
        log.close()
        os.close(write_fd)
        self.procs.append((proc, "Xvfb"))
        number = b""
        deadline = time.monotonic() + 15
        os.set_blocking(read_fd, False)
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            try:
                chunk = os.read(read_fd, 16)
                if not chunk:
                    break
                number += chunk
            except BlockingIOError:
                time.sleep(0.05)
        os.close(read_fd)
        if not number.strip().isdigit():
            raise SetupError("Xvfb did not start: " + self.log_text("Xvfb"))
        self.display = ":" + number.strip().decode()
        self.env["DISPLAY"] = self.display

    def end_display(self):
        """Ends the X server as a session's end does, before any signal reaches the programs on it."""
        for proc, name in self.procs:
            if name == "Xvfb":
                stop_pid(proc.pid)

    def _start_weston(self, xwayland):
        """Weston's headless backend on a socket in the desktop's own runtime folder. The program decides
        its platform by itself here, so the X11 choice of the Xvfb desktops is taken back."""
        if not shutil.which("weston"):
            raise Unavailable("weston is not installed")
        if xwayland and not shutil.which("Xwayland"):
            raise Unavailable("Xwayland is not installed")
        self.env.pop("QT_QPA_PLATFORM", None)
        self.env.pop("DISPLAY", None)
        self.env["XDG_SESSION_TYPE"] = "wayland"
        socket_name = "wayland-quorvane"
        w, h = self.size
        argv = ["weston", "--backend=headless-backend.so", f"--socket={socket_name}", f"--width={w}",
                f"--height={h}", "--idle-time=0", "--no-config"]
        if xwayland:
            argv.append("--xwayland")
        if self.scale:
            argv.append(f"--scale={int(self.scale)}")
        proc = self.spawn("weston", argv)
        socket_path = os.path.join(self.env["XDG_RUNTIME_DIR"], socket_name)

        def up():
            if proc.poll() is not None:
                raise Unavailable(f"weston ended with {proc.returncode}: " + self.log_text("weston")[-2000:])
            if not os.path.exists(socket_path):
                return None
            if not xwayland:
                return True
            found = re.search(r"xserver listening on display (:\d+)", self.log_text("weston"))
            return found.group(1) if found else None
        try:
            ready = wait_until(up, 15, "weston's socket")
        except TimeoutError as e:
            raise Unavailable(f"weston did not come up ({e}): " + self.log_text("weston")[-2000:])
        self.wayland_display = socket_name
        self.env["WAYLAND_DISPLAY"] = socket_name
        if xwayland:
            self.display = ready
            self.env["DISPLAY"] = ready
            # XWayland starts on the first X client; this one also proves it can start here.
            probe = self.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], timeout=20)
            if "window id" not in probe.stdout:
                raise Unavailable(f"XWayland on {ready} did not answer: {probe.stderr.strip()} "
                                  + self.log_text("weston")[-2000:])

    def _write_bus_config(self):
        """The session bus's own configuration: the session bus's usual policy, but services come only
        from the desktop's own folder, never from what else is installed on the machine."""
        self.bus_services = os.path.join(self.run_dir, "bus-services")
        os.makedirs(self.bus_services)
        path = os.path.join(self.run_dir, "session-bus.conf")
        with open(path, "w") as f:
            f.write(f"""<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <keep_umask/>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <servicedir>{self.bus_services}</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
  <limit name="service_start_timeout">30000</limit>
</busconfig>
""")
        return path

    def offer_service(self, name, argv, env=None):
        """Makes `name` startable on demand by the session bus, as a desktop's service file would: the
        bus runs `argv` (with `env` added to the desktop's environment) on the first call to it."""
        wrapper = os.path.join(self.run_dir, "tools", f"service-{name}")
        exports = "".join(f"export {k}='{v}'\n" for k, v in {**self.env, **(env or {})}.items()
                          if "'" not in v)
        with open(wrapper, "w") as f:
            f.write("#!/bin/sh\n" + exports + f"cd '{self.run_dir}'\n"
                    + "exec " + " ".join(f"'{a}'" for a in argv)
                    + f" >> '{os.path.join(self.logs, 'service-' + name + '.log')}' 2>&1\n")
        os.chmod(wrapper, 0o755)
        with open(os.path.join(self.bus_services, name + ".service"), "w") as f:
            f.write(f"[D-BUS Service]\nName={name}\nExec={wrapper}\n")
        subprocess.run(["dbus-send", "--session", "--dest=org.freedesktop.DBus", "--print-reply",
                        "/org/freedesktop/DBus", "org.freedesktop.DBus.ReloadConfig"],
                       env=self.env, check=True, stdout=subprocess.DEVNULL, timeout=10)

    def start_file_manager(self, kind, folder, at=(600, 100), size=(500, 400)):
        """A window of `folder` in the file manager `kind` (a key of FILE_MANAGERS), moved to `at` and
        sized; returns its X window. A file manager not installed here skips the journey."""
        argv, _title, _service, _by_icon = FILE_MANAGERS[kind]
        if not file_manager_installed(kind):
            raise Unavailable(f"{kind} is not installed")
        env = dict(self.env)
        env.update(FILE_MANAGER_ENV)
        self.spawn(f"{kind}-window", [a.format(folder=folder) for a in argv], env=env)
        window = str(wait_until(lambda: self.file_manager_windows(kind, folder), 20, f"{kind}'s window of {folder}")[0])
        self.run(["xdotool", "windowmove", "--sync", window, str(at[0]), str(at[1])])
        self.run(["xdotool", "windowsize", "--sync", window, str(size[0]), str(size[1])])
        return int(window)

    def window_pixels(self, window):
        """(width, height, RGB bytes) of an X window's content."""
        raw = subprocess.run(["import", "-display", self.display, "-window", str(window), "-depth", "8", "ppm:-"],
                             env=self.env, capture_output=True, timeout=30).stdout
        fields = raw.split(maxsplit=4)  # P6, width, height, maximum, pixels
        if len(fields) < 5 or fields[0] != b"P6":
            raise SetupError(f"no picture of window {window}")
        return int(fields[1]), int(fields[2]), fields[4]

    def item_point(self, kind, window, timeout=15):
        """The screen point of the item that the file manager's `window` shows (its folder holds one file),
        found as the part of the window that changes when everything in it is selected (Ctrl+A): file
        managers draw their items differently, and few name them on the accessibility bus."""
        self.run(["xdotool", "windowactivate", "--sync", str(window)])
        out = self.run(["xdotool", "getwindowgeometry", "--shell", str(window)]).stdout
        geo = {k: int(v) for k, v in (line.split("=") for line in out.split())}
        # The keys go to the view: a click on its empty lower right corner.
        self.run(["xdotool", "mousemove", str(geo["X"] + geo["WIDTH"] - 60), str(geo["Y"] + geo["HEIGHT"] - 90),
                  "click", "1"])
        # The window as drawn before: three pictures alike, a little apart (a file manager draws its view in
        # steps, and again once it has the focus).
        last = []

        def settled():
            last.append(self.window_pixels(window))
            return last[-1] if len(last) >= 3 and last[-1] == last[-2] == last[-3] else None
        width, height, before = wait_until(settled, timeout, "the file manager's window to be drawn", interval=0.3)

        def groups(values):
            """Sorted values in runs whose neighbours are at most 12 pixels apart."""
            runs = []
            for v in sorted(values):
                if runs and v - runs[-1][-1] <= 12:
                    runs[-1].append(v)
                else:
                    runs.append([v])
            return runs

        def changed():
            w, h, now = self.window_pixels(window)
            if (w, h) != (width, height):
                raise SetupError("the file manager's window changed its size")
            line = w * 3
            points = [(x, y) for y in range(h) if now[y * line:(y + 1) * line] != before[y * line:(y + 1) * line]
                      for x in range(w) if now[y * line + x * 3:y * line + x * 3 + 3]
                      != before[y * line + x * 3:y * line + x * 3 + 3]]
            # The top-most change is the item (its icon, or only its name, drawn selected): what else changes
            # is a status bar telling what is selected, below the items.
            band = next((b for b in groups({y for _x, y in points}) if b[-1] - b[0] >= 10), None)
            if band:
                xs = groups({x for x, y in points if band[0] <= y <= band[-1]})[0]
                if band[-1] - band[0] < 30 and FILE_MANAGERS[kind][3]:
                    return (xs[0] + xs[-1]) // 2, band[0] - 20  # only the name: its icon is right above it
                return (xs[0] + xs[-1]) // 2, (band[0] + band[-1]) // 2
            return None
        self.run(["xdotool", "key", "ctrl+a"])  # real keys: toolkits ignore keys sent to a window
        x, y = wait_until(changed, timeout, "the item drawn selected in the file manager's window", interval=0.3)
        print(f"the item is at {x},{y} in the window of {width}x{height}")
        return geo["X"] + x, geo["Y"] + y

    def offer_file_manager(self, kind):
        """Makes `kind` the file manager the session bus starts for org.freedesktop.FileManager1, as its
        package's service file does on a desktop. False for one that offers no such service."""
        _argv, _title, service, _by_icon = FILE_MANAGERS[kind]
        if not file_manager_installed(kind):
            raise Unavailable(f"{kind} is not installed")
        if service is None:
            return False
        self.offer_service("org.freedesktop.FileManager1", [shutil.which(service[0]), *service[1:]],
                           env=FILE_MANAGER_ENV)
        return True

    def file_manager_windows(self, kind, folder):
        """The visible windows `kind` shows of `folder`."""
        pattern = FILE_MANAGERS[kind][1].format(name=re.escape(os.path.basename(folder.rstrip("/"))))
        found = self.run(["xdotool", "search", "--onlyvisible", "--name", pattern]).stdout.split()
        if not found:
            # A title xdotool's search cannot read (not in its character set): its windows by class, their
            # titles read one by one.
            found = [w for w in self.run(["xdotool", "search", "--onlyvisible", "--class", kind]).stdout.split()
                     if re.search(pattern, self.run(["xdotool", "getwindowname", w]).stdout.rstrip("\n"))]
        return [int(w) for w in found]

    def activatable(self):
        out = subprocess.run(["dbus-send", "--session", "--dest=org.freedesktop.DBus", "--print-reply",
                              "/org/freedesktop/DBus", "org.freedesktop.DBus.ListActivatableNames"],
                             env=self.env, capture_output=True, text=True, timeout=10)
        return sorted(re.findall(r'string "([^"]+)"', out.stdout))

    def _start_buses(self):
        proc = self.spawn("dbus-session", ["dbus-daemon", "--config-file=" + self._write_bus_config(), "--nofork",
                                           "--nopidfile", "--print-address=1"], stdout=subprocess.PIPE)
        address = proc.stdout.readline().decode().strip()
        proc.stdout.close()
        if not address:
            raise SetupError("the session bus did not start")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        self.spawn("at-spi-bus-launcher", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        wait_until(lambda: self._bus_has("org.a11y.Bus"), 10, "the accessibility bus")
        # What a screen reader does on start: tell every toolkit that accessibility is wanted.
        subprocess.run(["dbus-send", "--session", "--dest=org.a11y.Bus", "--print-reply", "/org/a11y/bus",
                        "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status", "string:IsEnabled",
                        "variant:boolean:true"], env=self.env, check=True, stdout=subprocess.DEVNULL, timeout=10)

    def _bus_has(self, name):
        out = subprocess.run(["dbus-send", "--session", "--dest=org.freedesktop.DBus", "--print-reply",
                              "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", f"string:{name}"],
                             env=self.env, capture_output=True, text=True, timeout=10)
        return "boolean true" in out.stdout

    def _wm_running(self):
        out = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env, capture_output=True,
                             text=True, timeout=10)
        return "window id" in out.stdout

    def start_service(self, *extra, quota=None, sample=False, store=None):
        argv = [self.programs.service, "--store", store or self.store, "--port", "0",
                "--user", self.user, "--session-key", self.session_key, "--control"]
        if quota is not None:
            argv += ["--quota", str(quota)]
        if sample:
            argv.append("--sample")
        argv += list(extra)
        self.service = self.spawn("cloffa-service", argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        line = self.service.stdout.readline().decode().strip()
        if not line.startswith("ready "):
            raise SetupError("the local service did not start: " + self.log_text("cloffa-service"))
        url, ca = line.split(" ", 2)[1:]
        self.service_url = url
        self.ca_file = ca[len("ca="):]
        self.env.update({"CLOFFA_SERVICE_URL": url, "CLOFFA_TRANSFER_URL": url, "CLOFFA_CA_FILE": self.ca_file})
        self.service_commands = []

    def service_command(self, line):
        """Sends one control line to the local service and waits for its "ok"."""
        self.service.stdin.write((line + "\n").encode())
        self.service.stdin.flush()
        answer = self.service.stdout.readline().decode().strip()
        if answer != "ok" and not answer.startswith("ok "):
            raise SetupError(f"the local service refused {line!r}: {answer!r}")
        return answer[3:]

    def stored_names(self):
        names = self.service_command("list")
        return names.split("\t") if names else []

    def stored_bytes(self, name):
        with open(self.service_command("path " + name), "rb") as f:
            return f.read()

    def add_stored(self, name, data):
        """Puts a file into the store as if uploaded earlier."""
        source = os.path.join(self.run_dir, "seed.bin")
        with open(source, "wb") as f:
            f.write(data)
        self.service_command(f"add {name}\t{source}")
        os.remove(source)

    def stop_service(self):
        if self.service:
            stop_pid(self.service.pid)
            self.service = None

    def use_service(self, url, transfer_url=None, ca_file=None):
        """Another compatible service instead of the local one."""
        self.service_url = url
        self.env.update({"CLOFFA_SERVICE_URL": url, "CLOFFA_TRANSFER_URL": transfer_url or url})
        if ca_file:
            self.env["CLOFFA_CA_FILE"] = ca_file

    def start_session(self, *extra, user=None):
        proc = self.spawn("tavirun-serve", [self.tavirun, "serve", "--user", user or self.user,
                                            "--session-key", self.session_key,
                                            *extra], stdout=subprocess.PIPE)
        line = proc.stdout.readline().decode().strip()
        if line != "serving":
            raise SetupError("the toolbar stand-in did not serve: " + self.log_text("tavirun-serve"))

    def launch(self, name="Quorvane.exe", user=None, left=120, top=80, extra_env=None, token=None):
        """Starts the installed program the way the toolbar does. Returns the launcher's process."""
        program = os.path.join(self.bin, name)
        env = dict(self.env)
        if extra_env:
            env.update(extra_env)
        if token is None:
            argv = [self.tavirun, "launch", "--user", user or self.user, "--left", str(left), "--top", str(top),
                    "--", program]
        else:
            argv = [program, "/start", token, str(left), str(top)]
        proc = self.spawn("client", argv, env=env)
        self.launcher = proc
        self.launcher_is_client = token is not None
        return proc

    def client_pid(self):
        """The program's own process: the launcher's child, or the launcher when started directly."""
        if not self.launcher or not alive(self.launcher.pid):
            return None
        if self.launcher_is_client:
            return self.launcher.pid
        kids = [p for p, parent in _children().items() if parent == self.launcher.pid and alive(p)]
        return kids[0] if kids else None

    def logout(self):
        return subprocess.run([self.tavirun, "logout"], env=self.env, capture_output=True, timeout=15).returncode

    def token(self, user):
        out = subprocess.run([self.tavirun, "token", user], env=self.env, capture_output=True, text=True,
                             timeout=15, check=True)
        return out.stdout.strip()

    def wait_launcher_end(self, timeout):
        """Waits for the program (through its launcher) to end; returns its exit status."""
        try:
            return self.launcher.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise TimeoutError(f"the program did not end within {timeout} s")

    # -- the X side -----------------------------------------------------------------------------------

    def run(self, argv, timeout=15, **kw):
        return subprocess.run(argv, env=self.env, capture_output=True, text=True, timeout=timeout, **kw)

    def windows_named(self, title):
        out = self.run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"])
        return [int(w) for w in out.stdout.split()]

    def net_wm_state(self, window):
        out = self.run(["xprop", "-id", str(window), "_NET_WM_STATE"])
        return out.stdout.strip()

    def screenshot(self, path, window=None):
        """A PNG of the whole screen or of one X window."""
        if not self.display:
            return None  # no X server to read pixels from
        os.makedirs(os.path.dirname(path), exist_ok=True)
        argv = ["import", "-display", self.display, "-window", str(window) if window else "root", path]
        result = self.run(argv, timeout=30)
        return path if result.returncode == 0 and os.path.exists(path) else None

    def program_log(self):
        return os.path.join(self.env["XDG_STATE_HOME"], "quorvane", "quorvane.log")

    # -- ending ---------------------------------------------------------------------------------------

    def stop(self):
        if self.stopped:
            return
        self.stopped = True
        for proc, _name in reversed(self.procs):
            for pid in descendants(proc.pid):
                stop_pid(pid)
            stop_pid(proc.pid)
            try:
                proc.wait(timeout=2)
            except subprocess.TimeoutExpired:
                pass
            for stream in (proc.stdin, proc.stdout):
                if stream:
                    try:
                        stream.close()
                    except OSError:
                        pass
        self.procs = []
        shutil.rmtree(self.runtime, ignore_errors=True)


def from_environment(test_name, **kw):
    """The desktop for `test_name`, with the install prefix and the output folder ctest hands over."""
    prefix = os.environ.get("QUORVANE_ACCEPTANCE_PREFIX")
    out = os.environ.get("QUORVANE_ACCEPTANCE_OUT")
    if not prefix or not out:
        sys.exit("QUORVANE_ACCEPTANCE_PREFIX and QUORVANE_ACCEPTANCE_OUT are set by ctest")
    return Desktop(prefix, os.path.join(out, test_name), **kw)
