"""A notification service as far as the session bus sees it: owns org.freedesktop.Notifications,
answers Notify (writing each one as a JSON line to the file named on the command line),
GetCapabilities and GetServerInformation. With a second file it is the task bar too: every
com.canonical.Unity.LauncherEntry Update signal goes there as a JSON line. Prints "ready" once the name
is owned.

    notification_service.py RECORD [TASK-BAR-RECORD]
"""

import json
import sys

from gi.repository import Gio, GLib

NAME = "org.freedesktop.Notifications"
PATH = "/org/freedesktop/Notifications"
INTERFACE = f"""
<node>
  <interface name="{NAME}">
    <method name="Notify">
      <arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
      <arg type="a{{sv}}" direction="in"/><arg type="i" direction="in"/><arg type="u" direction="out"/>
    </method>
    <method name="GetCapabilities"><arg type="as" direction="out"/></method>
    <method name="GetServerInformation">
      <arg type="s" direction="out"/><arg type="s" direction="out"/><arg type="s" direction="out"/>
      <arg type="s" direction="out"/>
    </method>
  </interface>
</node>"""


def main(argv):
    if len(argv) not in (2, 3):
        sys.exit(__doc__)
    record = argv[1]
    task_bar = argv[2] if len(argv) == 3 else None
    loop = GLib.MainLoop()
    node = Gio.DBusNodeInfo.new_for_xml(INTERFACE)
    count = [0]

    def on_call(_connection, _sender, _path, _interface, method, parameters, invocation):
        if method == "Notify":
            app, replaces, icon, summary, body, actions, hints, timeout = parameters.unpack()
            count[0] += 1
            with open(record, "a", encoding="utf-8") as f:
                f.write(json.dumps({"app": app, "replaces": replaces, "icon": icon, "summary": summary,
                                    "body": body, "actions": actions, "timeout": timeout,
                                    "desktop_entry": hints.get("desktop-entry", "")}, ensure_ascii=False) + "\n")
            invocation.return_value(GLib.Variant("(u)", (count[0],)))
        elif method == "GetCapabilities":
            invocation.return_value(GLib.Variant("(as)", (["body", "body-markup"],)))
        else:
            invocation.return_value(GLib.Variant("(ssss)", ("stand-in", "quorvane tests", "1", "1.2")))

    def on_update(_connection, _sender, path, _interface, _signal, parameters):
        app, properties = parameters.unpack()
        with open(task_bar, "a", encoding="utf-8") as f:
            f.write(json.dumps({"path": path, "app": app, **properties}) + "\n")

    def on_bus(connection, _name):
        connection.register_object(PATH, node.interfaces[0], on_call, None, None)
        if task_bar:
            connection.signal_subscribe(None, "com.canonical.Unity.LauncherEntry", "Update", None, None,
                                        Gio.DBusSignalFlags.NONE, on_update)

    def on_name(_connection, _name):
        print("ready", flush=True)

    Gio.bus_own_name(Gio.BusType.SESSION, NAME, Gio.BusNameOwnerFlags.NONE, on_bus, on_name,
                     lambda *_: loop.quit())
    loop.run()


if __name__ == "__main__":
    main(sys.argv)
