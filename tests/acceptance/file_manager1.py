"""A file manager as far as the session bus sees it: owns org.freedesktop.FileManager1, answers its
three requests, and writes each one as a JSON line to the file named on the command line. Prints
"ready" once the name is owned. With --start-delay it first takes that long to start, as a file manager
the bus starts on demand may; "starting" is recorded at once.

    file_manager1.py RECORD [--start-delay SECONDS]
"""

import json
import sys
import time

from gi.repository import Gio, GLib

NAME = "org.freedesktop.FileManager1"
PATH = "/org/freedesktop/FileManager1"
INTERFACE = f"""
<node>
  <interface name="{NAME}">
    <method name="ShowFolders"><arg type="as" name="URIs" direction="in"/><arg type="s" name="StartupId" direction="in"/></method>
    <method name="ShowItems"><arg type="as" name="URIs" direction="in"/><arg type="s" name="StartupId" direction="in"/></method>
    <method name="ShowItemProperties"><arg type="as" name="URIs" direction="in"/><arg type="s" name="StartupId" direction="in"/></method>
  </interface>
</node>"""


def main(argv):
    if len(argv) not in (2, 4) or (len(argv) == 4 and argv[2] != "--start-delay"):
        sys.exit(__doc__)
    record = argv[1]
    if len(argv) == 4:
        with open(record, "a", encoding="utf-8") as f:
            f.write(json.dumps({"method": "starting", "at": time.monotonic()}) + "\n")
        time.sleep(float(argv[3]))
    loop = GLib.MainLoop()
    node = Gio.DBusNodeInfo.new_for_xml(INTERFACE)

    def on_call(_connection, _sender, _path, _interface, method, parameters, invocation):
        uris, startup_id = parameters.unpack()
        with open(record, "a", encoding="utf-8") as f:
            f.write(json.dumps({"method": method, "uris": uris, "startup_id": startup_id, "at": time.monotonic()})
                    + "\n")
        invocation.return_value(None)

    def on_bus(connection, _name):
        connection.register_object(PATH, node.interfaces[0], on_call, None, None)

    def on_name(_connection, _name):
        print("ready", flush=True)

    Gio.bus_own_name(Gio.BusType.SESSION, NAME, Gio.BusNameOwnerFlags.NONE, on_bus, on_name,
                     lambda *_: loop.quit())
    loop.run()


if __name__ == "__main__":
    main(sys.argv)
