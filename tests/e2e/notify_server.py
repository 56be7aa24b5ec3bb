"""A small desktop notification server for the tests: owns org.freedesktop.Notifications on
the session bus and writes each Notify call as one JSON line to the file it is given."""
import json
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"


class Server(dbus.service.Object):
    def __init__(self, bus, log):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.log = log
        self.last_id = 0

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        if replaces == 0:
            self.last_id += 1
        nid = replaces or self.last_id
        record = {"app": str(app), "replaces": int(replaces), "icon": str(icon),
                  "summary": str(summary), "body": str(body), "timeout": int(timeout),
                  "desktop_entry": str(hints.get("desktop-entry", "")), "id": int(nid)}
        with open(self.log, "a", encoding="utf-8") as f:
            f.write(json.dumps(record) + "\n")
        return dbus.UInt32(nid)

    @dbus.service.method(NAME, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["body"]

    @dbus.service.method(NAME, in_signature="u", out_signature="")
    def CloseNotification(self, nid):
        pass

    @dbus.service.method(NAME, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("velodra-test", "velodra", "1", "1.2")


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    server = Server(bus, sys.argv[1])
    name = dbus.service.BusName(NAME, bus, do_not_queue=True)  # the name goes with this object
    print("ready", flush=True)
    GLib.MainLoop().run()
    del server, name


if __name__ == "__main__":
    main()
