"""Another program's window that takes dropped files the way a file manager that first asks the user
(Move, Copy or Link?) does: it accepts the drop at once and copies the files only later.

    asking_target.py TITLE FOLDER SECONDS

Prints "ready" once shown and "copied <name>" for each file copied into FOLDER, SECONDS after its drop.
"""

import os
import shutil
import sys
from urllib.parse import unquote, urlparse

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402


def main():
    title, folder, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
    window = Gtk.Window(title=title)
    window.set_default_size(300, 200)
    area = Gtk.EventBox()
    area.add(Gtk.Label(label="여기에 놓으세요"))
    area.drag_dest_set(Gtk.DestDefaults.ALL, [], Gdk.DragAction.COPY)
    area.drag_dest_add_uri_targets()

    def copy(paths):
        for path in paths:
            shutil.copy(path, os.path.join(folder, os.path.basename(path)))
            print("copied", os.path.basename(path), flush=True)
        return False

    def received(_widget, _context, _x, _y, data, _info, _time):
        paths = [unquote(urlparse(u).path) for u in data.get_uris() if u.startswith("file://")]
        GLib.timeout_add(int(seconds * 1000), copy, paths)

    area.connect("drag-data-received", received)
    window.add(area)
    window.connect("destroy", Gtk.main_quit)
    window.connect("map-event", lambda *_: print("ready", flush=True))
    window.show_all()
    Gtk.main()


if __name__ == "__main__":
    main()
