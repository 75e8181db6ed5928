"""Another program's window that lets files be dragged from it, as a file manager does:

    drag_source.py TITLE PATH...

It shows one area; pressing there and moving away drags the paths as a URI list (copy only). It prints
"ready" once shown and "dropped <action>" when a drag ends.
"""

import sys
from urllib.parse import quote

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, Gtk  # noqa: E402


def main():
    title, paths = sys.argv[1], sys.argv[2:]
    uris = ["file://" + quote(p) for p in paths]
    window = Gtk.Window(title=title)
    window.set_default_size(220, 120)
    area = Gtk.EventBox()
    area.add(Gtk.Label(label="\n".join(p.rsplit("/", 1)[-1] for p in paths)))
    area.drag_source_set(Gdk.ModifierType.BUTTON1_MASK, [], Gdk.DragAction.COPY)
    area.drag_source_add_uri_targets()

    def data_get(_widget, _context, data, _info, _time):
        data.set_uris(uris)

    def drag_end(_widget, context):
        print("dropped", context.get_selected_action(), flush=True)

    area.connect("drag-data-get", data_get)
    area.connect("drag-end", drag_end)
    window.add(area)
    window.connect("destroy", Gtk.main_quit)
    window.connect("map-event", lambda *_: print("ready", flush=True))
    window.show_all()
    Gtk.main()


if __name__ == "__main__":
    main()
