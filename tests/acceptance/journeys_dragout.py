"""Dragging a stored file out of the list into a real file manager: a folder window, the desktop."""

import os
import time

from desktop import wait_until
from journeys_download import leftovers, select_rows, wait_file

MARKER = "cloffa_drop_target.tmp"


def _file_manager(j, folder=None):
    """pcmanfm managing the desktop (icons of ~/Desktop), and a window of `folder` at the right."""
    j.d.spawn("pcmanfm", ["pcmanfm", "--desktop"])
    wait_until(lambda: j.d.run(["xdotool", "search", "--class", "pcmanfm"]).stdout.split(), 10, "pcmanfm")
    if folder is None:
        return None
    j.d.spawn("pcmanfm-window", ["pcmanfm", folder])
    name = os.path.basename(folder)
    window = wait_until(lambda: j.d.windows_named(name), 10, f"pcmanfm's window of {name}")[0]
    j.d.run(["xdotool", "windowmove", "--sync", str(window), "600", "100"])
    j.d.run(["xdotool", "windowsize", "--sync", str(window), "500", "400"])
    return window


def _markers(j):
    """Markers anywhere in the test's home (the program keeps its own under the XDG data folder)."""
    found = []
    for base, _dirs, files in os.walk(j.d.home):
        found.extend(os.path.join(base, f) for f in files if f == MARKER)
    return found


def _drag_out(j, name, data, to, folder):
    j.d.add_stored(name, data)
    j.start_program()
    table = j.wait_ready()
    select_rows(j, [name])
    j.ui.drag(j.ui.centre(j.ui.cell(table, j.ui.row_of(table, name))), to)
    path = os.path.join(folder, name)
    try:
        wait_file(path, data, timeout=30)
    finally:
        j.ui.shot("after-drop")
    # The file manager has nothing to complain about (watched for a second), and no marker is left anywhere.
    watch_until = time.monotonic() + 1.0
    while time.monotonic() < watch_until:
        complaints = [w for w in ("Error", "Finished") if j.d.windows_named(w)]
        assert not complaints, f"the file manager reported trouble ({complaints})"
    assert not _markers(j), _markers(j)
    assert not leftovers(folder)
    assert sorted(os.listdir(folder)) == [name], os.listdir(folder)


def into_folder_window(j):
    """Dropped on a pcmanfm window showing a folder: the file lands in that folder."""
    j.start_desktop()
    j.d.make_user_folders()
    folder = os.path.join(j.d.home, "꺼낸 파일")
    os.makedirs(folder)
    _file_manager(j, folder)
    _drag_out(j, "꺼낼 파일.bin", os.urandom(200000), (850, 350), folder)


def onto_desktop(j):
    """Dropped on the desktop pcmanfm draws: the file lands in the desktop folder."""
    j.start_desktop()
    folders = j.d.make_user_folders()
    _file_manager(j)
    data = "바탕 화면에 놓을 파일\n".encode() * 1000
    _drag_out(j, "바탕화면으로.txt", data, (800, 700), folders["Desktop"])
