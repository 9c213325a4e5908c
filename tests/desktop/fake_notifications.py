#!/usr/bin/env python3
"""A stand-in for the desktop's notification service
(org.freedesktop.Notifications) on the session bus, for the tests: it shows
nothing, and writes every call it gets to a log, one JSON object a line, with
the caller's process ID. It also logs the bus's connections as they come
("connected", with the process ID) and go ("gone"): once every connection of
a process has gone, all it sent here is in the log.

    fake_notifications.py --log FILE [--capabilities body,body-markup,...]

It prints "ready" once it owns its name.
"""

import argparse
import json
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

from fake_portal import plain

NAME = "org.freedesktop.Notifications"
PATH = "/org/freedesktop/Notifications"
BUS = ("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus")


class Notifications(dbus.service.Object):
    def __init__(self, bus, args):
        super().__init__(bus, PATH)
        self.bus = bus
        self.capabilities = [c for c in args.capabilities.split(",") if c]
        self.log = open(args.log, "a", buffering=1)
        self.last_id = 0
        bus.add_signal_receiver(self.owner_changed, "NameOwnerChanged", BUS[2], BUS[0], BUS[1])

    def note(self, entry, **fields):
        self.log.write(json.dumps(dict(entry=entry, at=round(time.monotonic(), 3), **plain(fields))) + "\n")

    def pid_of(self, name):
        try:
            return int(self.bus.call_blocking(*BUS, "GetConnectionUnixProcessID", "s", (name,)))
        except dbus.exceptions.DBusException:
            return None  # gone already

    def owner_changed(self, name, old, new):
        if not name.startswith(":"):
            return
        if new:
            self.note("connected", name=name, pid=self.pid_of(name))
        else:
            self.note("gone", name=name)

    @dbus.service.method(NAME, out_signature="as", sender_keyword="sender")
    def GetCapabilities(self, sender):
        self.note("GetCapabilities", pid=self.pid_of(sender))
        return dbus.Array(self.capabilities, signature="s")

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u", sender_keyword="sender")
    def Notify(self, app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout, sender):
        self.last_id += 1
        self.note("Notify", pid=self.pid_of(sender), app_name=app_name, replaces_id=replaces_id,
                  app_icon=app_icon, summary=summary, body=body, actions=actions, hints=hints,
                  expire_timeout=expire_timeout)
        return dbus.UInt32(self.last_id)

    @dbus.service.method(NAME, in_signature="u")
    def CloseNotification(self, notification):
        self.note("CloseNotification", id=notification)

    @dbus.service.method(NAME, out_signature="ssss")
    def GetServerInformation(self):
        return "kelvo-test", "Kelvo", "1", "1.2"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--log", required=True)
    parser.add_argument("--capabilities", default="body,body-markup")
    args = parser.parse_args()
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    service = Notifications(bus, args)
    name = dbus.service.BusName(NAME, bus, do_not_queue=True)
    print("ready", flush=True)
    GLib.MainLoop().run()
    del name, service


if __name__ == "__main__":
    main()
