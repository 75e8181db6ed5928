"""Drives programs on a test desktop from outside: the accessibility tree (AT-SPI) to find, read and press
controls, xdotool for real pointer and key input where no accessible action exists, and screenshots."""

import os
import re
import time

from desktop import wait_until

# The bindings connect to the buses of the environment they first see, so they are imported only once
# the desktop's DISPLAY and DBUS_SESSION_BUS_ADDRESS are in this process's environment.
pyatspi = None
Atspi = None


def _bind(env):
    global pyatspi, Atspi
    for key in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "HOME"):
        if key in env:
            os.environ[key] = env[key]
        else:
            os.environ.pop(key, None)  # a Wayland-only desktop has no X display
    os.environ.pop("AT_SPI_BUS_ADDRESS", None)
    if pyatspi is None:
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi as atspi_module
        import pyatspi as pyatspi_module
        pyatspi = pyatspi_module
        Atspi = atspi_module
        # A busy application answers late; the default of 800 ms would drop its answers.
        Atspi.set_timeout(10000, 20000)


def _matches(value, wanted):
    if wanted is None:
        return True
    if callable(wanted):
        return bool(wanted(value))
    if isinstance(wanted, re.Pattern):
        return bool(wanted.fullmatch(value or ""))
    return value == wanted


def button_text(wanted):
    """A button's name as written, or with a mnemonic in brackets, e.g. "예(Y)" for "예"."""
    pattern = re.compile(re.escape(wanted) + r"(\(&?[A-Za-z]\))?")
    return lambda name: bool(pattern.fullmatch((name or "").replace("&", "")))


class Driver:
    def __init__(self, desktop):
        self.desktop = desktop
        _bind(desktop.env)

    # -- finding ---------------------------------------------------------------------------------------

    def applications(self):
        desk = pyatspi.Registry.getDesktop(0)
        apps = []
        for i in range(desk.childCount):
            try:
                app = desk.getChildAtIndex(i)
            except Exception:
                continue
            if app is not None:
                apps.append(app)
        return apps

    def application(self, pid=None, name=None, timeout=20):
        """The accessible application of process `pid` (or by name), once it has registered."""
        def look():
            for app in self.applications():
                try:
                    if pid is not None and app.get_process_id() == pid:
                        return app
                    if name is not None and app.name == name:
                        return app
                except Exception:
                    continue
            return None
        app = wait_until(look, timeout, f"the application {pid or name} on the accessibility bus", 0.1)
        # A GTK application gets a direct connection whose first reply fills libatspi's cache; handled
        # with no cache, it asks for states from within its own dispatch and waits forever. Two reads
        # with the cache on: the first takes the connection's address, the second its first reply.
        for _ in range(2):
            try:
                app.childCount
            except Exception:
                pass
        try:
            Atspi.Accessible.set_cache_mask(app, Atspi.Cache.NONE)
        except Exception:
            pass
        return app

    def walk(self, root, max_depth=40):
        """Every accessible below `root`, breadth first, skipping the ones that vanish while we look."""
        queue = [(root, 0)]
        while queue:
            node, depth = queue.pop(0)
            yield node
            if depth >= max_depth:
                continue
            try:
                count = node.childCount
            except Exception:
                continue
            for i in range(count):
                try:
                    child = node.getChildAtIndex(i)
                except Exception:
                    continue
                if child is not None:
                    queue.append((child, depth + 1))

    def find_all(self, root, role=None, name=None, showing=None, max_depth=40):
        found = []
        for node in self.walk(root, max_depth):
            try:
                if role is not None and node.getRoleName() != role:
                    continue
                if not _matches(node.name, name):
                    continue
                if showing is not None and node.getState().contains(pyatspi.STATE_SHOWING) != showing:
                    continue
            except Exception:
                continue
            found.append(node)
        return found

    def find(self, root, role=None, name=None, timeout=10, showing=None):
        """The first accessible below `root` with that role and name, waited for up to `timeout` s."""
        return wait_until(lambda: next(iter(self.find_all(root, role, name, showing)), None), timeout,
                          f"a {role or 'control'} named {name!r}")

    def gone(self, root, role=None, name=None, timeout=10):
        wait_until(lambda: not self.find_all(root, role, name, showing=True), timeout,
                   f"the {role or 'control'} named {name!r} to go away")

    def closed(self, window, timeout=10):
        """Waits until a window is no longer shown (or no longer exists)."""
        def gone():
            try:
                state = window.getState()
                return state.contains(pyatspi.STATE_DEFUNCT) or not state.contains(pyatspi.STATE_SHOWING)
            except Exception:
                return True
        wait_until(gone, timeout, f"the window {window.name!r} to close")

    def top_levels(self, app):
        try:
            return [app.getChildAtIndex(i) for i in range(app.childCount)]
        except Exception:
            return []

    def window(self, app, name, role=None, timeout=10):
        """A showing top-level window of the application, by title."""
        def look():
            for w in self.top_levels(app):
                try:
                    if w is not None and _matches(w.name, name) and (role is None or w.getRoleName() == role) \
                            and w.getState().contains(pyatspi.STATE_SHOWING):
                        return w
                except Exception:
                    continue
            return None
        return wait_until(look, timeout, f"a window named {name!r}")

    def message_box(self, app, timeout=15):
        """The showing "Cloffa" message box and its text."""
        box = self.window(app, "Cloffa", timeout=timeout)
        return box, self.box_text(box)

    def box_text(self, box):
        texts = []
        for node in self.find_all(box, role="label"):
            text = self.text(node)
            if text:
                texts.append(text)
        return "\n".join(texts)

    # -- reading ---------------------------------------------------------------------------------------

    def text(self, node):
        try:
            t = node.queryText()
            return t.getText(0, t.characterCount)
        except Exception:
            return node.name or ""

    def value(self, node):
        """What a named value shows: its text where it offers one, otherwise its description."""
        try:
            t = node.queryText()
            return t.getText(0, t.characterCount)
        except NotImplementedError:
            return node.description or ""

    def checked(self, node):
        return node.getState().contains(pyatspi.STATE_CHECKED)

    def focused(self, node):
        return node.getState().contains(pyatspi.STATE_FOCUSED)

    def enabled(self, node):
        return node.getState().contains(pyatspi.STATE_ENABLED)

    def rows(self, table):
        """The rows of a list or table, each as the texts of its cells."""
        try:
            t = table.queryTable()
        except NotImplementedError:
            t = None
        if t is not None:
            result = []
            for r in range(t.nRows):
                row = []
                for c in range(t.nColumns):
                    cell = t.getAccessibleAt(r, c)
                    row.append(self.text(cell) if cell is not None else "")
                result.append(row)
            return result
        return [[self.text(n)] for n in self.find_all(table, role="list item")]

    def cell(self, table, row, column=0):
        return table.queryTable().getAccessibleAt(row, column)

    def reveal(self, table, row, column=0):
        """Scrolls the table with the mouse wheel until the cell is in view; returns the cell."""
        tx, ty, tw, th = self.extents(table)
        last = None
        for _ in range(40):
            cell = self.cell(table, row, column)
            x, y, w, h = self.extents(cell)
            inside = w > 0 and h > 0 and y >= ty + h and y + h <= ty + th
            # At the end of the scroll range the last row may sit on the frame: its middle is enough.
            if inside or (y == last and ty + h <= y + h // 2 <= ty + th):
                return cell
            last = y
            self.click(at=(tx + tw // 2, ty + th // 2), button=5 if y + h > ty + th else 4)
        raise TimeoutError(f"row {row} did not scroll into view")

    def row_of(self, table, name, column=0):
        for i, row in enumerate(self.rows(table)):
            if row and row[column] == name:
                return i
        return -1

    def extents(self, node):
        """Screen rectangle (x, y, w, h) of an accessible, in the screen's pixels."""
        e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        # Qt reports device-independent pixels: under QT_SCALE_FACTOR they are not the screen's.
        f = float(self.desktop.scale or 1)
        return round(e.x * f), round(e.y * f), round(e.width * f), round(e.height * f)

    def centre(self, node):
        x, y, w, h = self.extents(node)
        return x + w // 2, y + h // 2

    # -- acting ----------------------------------------------------------------------------------------

    def press(self, node):
        """Presses a control through its accessible action, as a screen reader user does."""
        action = node.queryAction()
        for i in range(action.nActions):
            if action.getName(i) in ("Press", "press", "click", "Toggle", "toggle"):
                action.doAction(i)
                return
        action.doAction(0)

    def xdo(self, *args, timeout=15):
        result = self.desktop.run(["xdotool", *map(str, args)], timeout=timeout)
        if result.returncode != 0:
            raise RuntimeError(f"xdotool {' '.join(map(str, args))}: {result.stderr.strip()}")
        return result.stdout

    def click(self, node=None, at=None, button=1, modifiers=None, double=False):
        """A real click at the centre of an accessible (or at a screen point)."""
        x, y = at if at else self.centre(node)
        self.xdo("mousemove", x, y)
        time.sleep(0.15)  # a press that comes with the pointer's arrival is taken as part of it
        if modifiers:
            self.xdo("keydown", modifiers)
            time.sleep(0.05)
        try:
            self.xdo("click", "--repeat", 2 if double else 1, "--delay", 80, button)
        finally:
            if modifiers:
                self.xdo("keyup", modifiers)

    def key(self, *keys):
        """Real key presses into the focused window, e.g. key("Return"), key("ctrl+a")."""
        self.xdo("key", "--delay", 40, *keys)

    def type(self, text):
        """Real typing into the focused control."""
        self.xdo("type", "--delay", 15, "--", text, timeout=60)

    def set_text(self, node, text):
        """Replaces the text of an editable field: focus it, select all, type the new text."""
        node.queryComponent().grabFocus()
        wait_until(lambda: self.focused(node), 5, "the field to take the focus")
        self.key("ctrl+a", "BackSpace")
        if all(ord(c) < 128 for c in text):
            self.type(text)
        else:
            # xdotool cannot type every Korean letter on a plain keymap; the field takes it as a paste would.
            node.queryEditableText().setTextContents(text)
        wait_until(lambda: self.text(node) == text, 5, f"the field to read {text!r}")

    def drag(self, start, end, steps=12, hold=0.3, release_wait=0.3):
        """A real drag with the left button from one screen point to another, moved in steps."""
        sx, sy = start
        ex, ey = end
        self.xdo("mousemove", sx, sy)
        time.sleep(0.6)  # longer than a double-click's interval, should the start point just have been clicked
        self.xdo("mousedown", 1)
        time.sleep(hold)
        for i in range(1, steps + 1):
            self.xdo("mousemove", sx + (ex - sx) * i // steps, sy + (ey - sy) * i // steps)
            time.sleep(0.05)
        # A drop target answers the last positions before it accepts the drop.
        for dx in (1, -1, 0):
            self.xdo("mousemove", ex + dx, ey)
            time.sleep(0.1)
        time.sleep(release_wait)
        self.xdo("mouseup", 1)

    # -- X windows -------------------------------------------------------------------------------------

    def x_window_of(self, pid, title=None, timeout=10):
        """The visible X window of process `pid`, optionally with that title."""
        def look():
            argv = ["xdotool", "search", "--all", "--onlyvisible", "--pid", str(pid)]
            if title:
                argv += ["--name", "^" + re.escape(title) + "$"]
            out = self.desktop.run(argv).stdout.split()
            return int(out[0]) if out else None
        return wait_until(look, timeout, f"an X window of process {pid} titled {title!r}")

    def shot(self, name, window=None):
        """A screenshot kept with the test's artefacts; returns its path."""
        path = os.path.join(self.desktop.run_dir, "shots", name + ".png")
        return self.desktop.screenshot(path, window)
