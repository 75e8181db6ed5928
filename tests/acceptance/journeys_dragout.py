"""Dragging a stored file out of the list into real file managers: folder windows (pcmanfm, Thunar,
GNOME Files, Caja, Nemo), the desktop, another mounted file system, a deep folder, two drags at once."""

import atexit
import os
import re
import shutil
import subprocess
import tempfile
import time

from desktop import Unavailable, wait_until
from journeys_download import leftovers, select_rows, wait_file

MARKER = "cloffa_drop_target.tmp"

# How each file manager opens a window of one folder, beside what the journey's desktop already runs.
_WINDOW_ARGV = {
    "pcmanfm": ["pcmanfm", "--new-win"],
    "thunar": ["thunar"],
    "nautilus": ["nautilus", "--new-window"],
    "caja": ["caja", "--no-desktop"],
    "nemo": ["nemo"],
    "dolphin": ["dolphin", "--new-window"],
}
# Some toolkits would otherwise look for a GPU the virtual display does not have.
_ENV = {"GSK_RENDERER": "cairo", "GDK_BACKEND": "x11", "NO_AT_BRIDGE": "1", "QT_QPA_PLATFORM": "xcb"}


def _file_manager(j, folder=None, manager="pcmanfm", at=(600, 100)):
    """pcmanfm managing the desktop (icons of ~/Desktop) for the pcmanfm journeys, and a window of
    `folder` shown by `manager`, moved to `at`; returns that window."""
    if manager == "pcmanfm" and not getattr(j, "pcmanfm_desktop", False):
        j.pcmanfm_desktop = True
        j.d.spawn("pcmanfm", ["pcmanfm", "--desktop"])
        wait_until(lambda: j.d.run(["xdotool", "search", "--class", "pcmanfm"]).stdout.split(), 10, "pcmanfm")
    if folder is None:
        return None
    if not shutil.which(_WINDOW_ARGV[manager][0]):
        raise Unavailable(f"{manager} is not installed")
    env = dict(j.d.env)
    env.update(_ENV)
    if manager == "dolphin":
        # Its workers talk over sockets in the runtime folder, whose path must stay short.
        runtime = tempfile.mkdtemp(prefix="qv-rt-")
        atexit.register(shutil.rmtree, runtime, True)
        env["XDG_RUNTIME_DIR"] = runtime
    j.d.spawn(f"{manager}-window-{os.path.basename(folder)}", _WINDOW_ARGV[manager] + [folder], env=env)
    name = os.path.basename(folder)

    def shown():
        out = j.d.run(["xdotool", "search", "--onlyvisible", "--name", "^" + re.escape(name) + "( |$)"])
        return [int(w) for w in out.stdout.split()]
    window = wait_until(shown, 20, f"{manager}'s window of {name}")[-1]
    j.d.run(["xdotool", "windowmove", "--sync", str(window), str(at[0]), str(at[1])])
    j.d.run(["xdotool", "windowsize", "--sync", str(window), "500", "400"])
    time.sleep(0.5)  # the window has drawn its folder and can take drops
    return window


def _markers(j, *extra, offered=True):
    """Markers anywhere in the test's home and `extra` folders. The program keeps the marker it offers
    under the XDG data folder while a drag is watched, and removes it afterwards; `offered=False` leaves
    those out (a drag still waited for)."""
    own = os.path.join(j.d.env["XDG_DATA_HOME"], "")
    found = []
    for top in (j.d.home, *extra):
        for base, _dirs, files in os.walk(top):
            found.extend(os.path.join(base, f) for f in files
                         if f == MARKER and (offered or not os.path.join(base, "").startswith(own)))
    return found


def _start(j, stored):
    for name, data in stored:
        j.d.add_stored(name, data)
    j.start_program()
    return j.wait_ready()


def _drag(j, table, name, to):
    select_rows(j, [name])
    j.ui.drag(j.ui.centre(j.ui.cell(table, j.ui.row_of(table, name))), to)


def _arrived(j, name, data, folder, extra=(), offered=True):
    path = os.path.join(folder, name)
    try:
        wait_file(path, data, timeout=30)
    finally:
        j.ui.shot("after-drop")
    # The file manager has nothing to complain about (watched for a second), and no marker is left anywhere.
    watch_until = time.monotonic() + 1.0
    while time.monotonic() < watch_until:
        complaints = [w for w in ("Error", "Finished", "오류") if j.d.windows_named(w)]
        assert not complaints, f"the file manager reported trouble ({complaints})"
    wait_until(lambda: not _markers(j, *extra, offered=offered), 5, "no marker left")
    assert not leftovers(folder)
    assert sorted(os.listdir(folder)) == [name], os.listdir(folder)


def _drag_out(j, name, data, to, folder, extra=()):
    table = _start(j, [(name, data)])
    _drag(j, table, name, to)
    _arrived(j, name, data, folder, extra)


def _into(j, manager, name):
    j.start_desktop()
    j.d.make_user_folders()
    folder = os.path.join(j.d.home, "꺼낸 파일")
    os.makedirs(folder)
    _file_manager(j, folder, manager)
    _drag_out(j, name, os.urandom(200000), (850, 350), folder)


def into_folder_window(j):
    """Dropped on a pcmanfm window showing a folder: the file lands in that folder."""
    _into(j, "pcmanfm", "꺼낼 파일.bin")


def into_thunar(j):
    """Dropped on a Thunar window."""
    _into(j, "thunar", "썬더로.bin")


def into_gnome_files(j):
    """Dropped on a GNOME Files window: GTK 4 asks for the dragged files in its own way, and gets them."""
    _into(j, "nautilus", "그놈 파일로.bin")


def into_caja(j):
    """Dropped on a Caja window."""
    _into(j, "caja", "카야로.bin")


def into_nemo(j):
    """Dropped on a Nemo window."""
    _into(j, "nemo", "네모로.bin")


def into_dolphin(j):
    """Dropped on a Dolphin window, which asks Move, Copy or Link: the user reads the menu for 7 s
    before choosing "Copy Here", and the file still arrives."""
    j.start_desktop()
    j.d.make_user_folders()
    folder = os.path.join(j.d.home, "꺼낸 파일")
    os.makedirs(folder)
    window = _file_manager(j, folder, "dolphin")
    name, data = "돌핀으로.bin", os.urandom(200000)
    table = _start(j, [(name, data)])
    before = set(j.d.run(["xdotool", "search", "--onlyvisible", "--class", "dolphin"]).stdout.split())
    _drag(j, table, name, (1000, 380))  # the folder view, right of the places panel

    def menu():
        now = set(j.d.run(["xdotool", "search", "--onlyvisible", "--class", "dolphin"]).stdout.split())
        return now - before - {str(window)}
    wait_until(menu, 10, "Dolphin's Move/Copy/Link menu")
    j.ui.shot("dolphin-asks")
    time.sleep(7)  # the user reads the menu
    j.ui.key("c")  # "&Copy Here"
    _arrived(j, name, data, folder)


def onto_desktop(j):
    """Dropped on the desktop pcmanfm draws: the file lands in the desktop folder."""
    j.start_desktop()
    folders = j.d.make_user_folders()
    _file_manager(j)
    data = "바탕 화면에 놓을 파일\n".encode() * 1000
    _drag_out(j, "바탕화면으로.txt", data, (800, 700), folders["Desktop"])


def _onto_drawn_desktop(j, argv, name):
    """A file manager drawing the desktop (icons of ~/Desktop) on its own."""
    if not shutil.which(argv[0]):
        raise Unavailable(f"{argv[0]} is not installed")
    j.start_desktop()
    folders = j.d.make_user_folders()
    env = dict(j.d.env)
    env.update(_ENV)
    if argv[0] == "nemo-desktop" and os.geteuid() == 0:
        # Nemo's own switch for a root session, in a settings file of the journey's home.
        env["GSETTINGS_BACKEND"] = "keyfile"
        subprocess.run(["gsettings", "set", "org.nemo.preferences", "treat-root-as-normal", "true"], env=env,
                       check=True, capture_output=True, timeout=15)
    proc = j.d.spawn(argv[0] + "-desktop", argv, env=env)

    def drawn():
        if proc.poll() is not None:  # nemo-desktop, for one, refuses to run as root
            raise Unavailable(f"{argv[0]} ended: " + j.d.log_text(argv[0] + "-desktop").strip()[-300:])
        out = j.d.run(["xdotool", "search", "--onlyvisible", "--class", argv[0].split("-")[0]])
        return out.stdout.split()
    wait_until(drawn, 20, f"the desktop {argv[0]} draws")
    time.sleep(1.0)  # its icons are laid out and it takes drops
    _drag_out(j, name, "바탕 화면\n".encode() * 2000, (800, 700), folders["Desktop"])


def onto_caja_desktop(j):
    """Dropped on the desktop Caja draws."""
    _onto_drawn_desktop(j, ["caja", "--force-desktop", "--no-default-window"], "카야 바탕화면.txt")


def onto_nemo_desktop(j):
    """Dropped on the desktop Nemo draws."""
    _onto_drawn_desktop(j, ["nemo-desktop"], "네모 바탕화면.txt")


def into_deep_folder(j):
    """A folder five levels down the documents folder."""
    j.start_desktop()
    folders = j.d.make_user_folders()
    folder = os.path.join(folders["Documents"], "회사", "2026", "12월", "회의록")
    os.makedirs(folder)
    _file_manager(j, folder)
    _drag_out(j, "회의록 12월.txt", "회의록\n".encode() * 500, (850, 350), folder)


def into_other_file_system(j):
    """A folder on a file system of its own outside the home, as a USB stick under /media is: a tmpfs
    mounted for this journey (needs the right to mount; skipped otherwise)."""
    if os.geteuid() != 0 or not shutil.which("mount"):
        raise Unavailable("mounting a file system for the journey needs root")
    stick = os.path.join(j.d.run_dir, "media", "USB 메모리")
    os.makedirs(stick)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16m,mode=0777", "quorvane-journey", stick],
                      capture_output=True, timeout=15).returncode != 0:
        raise Unavailable("tmpfs could not be mounted here")
    try:
        j.start_desktop()
        j.d.make_user_folders()
        folder = os.path.join(stick, "사진")
        os.makedirs(folder)
        _file_manager(j, folder)
        _drag_out(j, "메모리로.bin", os.urandom(150000), (850, 350), folder, extra=(stick,))
    finally:
        j.d.stop()  # nothing may hold the mount
        subprocess.run(["umount", "-l", stick], capture_output=True, timeout=15)


def _asking_target(j, title, folder, seconds, at):
    """A window that accepts a drop at once and copies the files `seconds` later, as a file manager
    asking Move, Copy or Link does while the user reads its menu."""
    here = os.path.dirname(os.path.abspath(__file__))
    proc = j.d.spawn("asking-target", ["/usr/bin/python3", os.path.join(here, "asking_target.py"), title, folder,
                                       str(seconds)], stdout=subprocess.PIPE)
    if proc.stdout.readline().decode().strip() != "ready":
        raise AssertionError("the asking window did not start: " + j.d.log_text("asking-target"))
    window = wait_until(lambda: j.d.windows_named(title), 10, "the asking window")[0]
    j.d.run(["xdotool", "windowmove", "--sync", str(window), str(at[0]), str(at[1])])
    j.d.run(["xdotool", "windowsize", "--sync", str(window), "400", "300"])
    return proc


def two_drags_overlapping(j):
    """The first drop goes to a window that copies only after 15 s (longer than the watch once lasted);
    a second drag into a pcmanfm window starts while the first is still waited for. Both files arrive,
    each in its own folder, and no marker is left."""
    j.start_desktop()
    j.d.make_user_folders()
    first = os.path.join(j.d.home, "첫째 폴더")
    second = os.path.join(j.d.home, "둘째 폴더")
    os.makedirs(first)
    os.makedirs(second)
    _asking_target(j, "묻는 창", first, 15, at=(560, 60))
    _file_manager(j, second, at=(560, 560))
    a, b = os.urandom(120000), os.urandom(90000)
    table = _start(j, [("첫째.bin", a), ("둘째.bin", b)])
    _drag(j, table, "첫째.bin", (760, 210))
    asked_at = time.monotonic()
    _drag(j, table, "둘째.bin", (800, 800))
    _arrived(j, "둘째.bin", b, second, offered=False)
    took = time.monotonic() - asked_at
    assert took < 15, f"the second file took {took:.1f} s: it should have come before the first copy"
    wait_file(os.path.join(first, "첫째.bin"), a, timeout=20)
    wait_until(lambda: not _markers(j), 5, "no marker left")
    assert sorted(os.listdir(first)) == ["첫째.bin"], os.listdir(first)
