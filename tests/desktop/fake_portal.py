#!/usr/bin/env python3
"""A stand-in for the desktop portal's RemoteDesktop interface on the session
bus, for the tests: it answers as the user told it to (--answer), writes
every call it gets to a log (one JSON object a line), and with --mutter hands
the keysyms on to Mutter's own remote-desktop API on the same bus, so they
reach the focused client as the real portal's would. With --version 2 it
hands out a restore token from Start when asked to remember (persist_mode),
as xdg-desktop-portal 1.17 and later do; --registry says how it answers a
program that says who it is.

    fake_portal.py --log FILE [--answer granted|refused|failed] [--devices N]
                   [--mutter] [--vanish-after N] [--version N]
                   [--registry absent|accept|refuse] [--no-token]

It prints "ready" once it owns its name.
"""

import argparse
import base64
import json
import os
import time
import uuid

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.portal.Desktop"
PATH = "/org/freedesktop/portal/desktop"
IFACE = "org.freedesktop.portal.RemoteDesktop"
REGISTRY = "org.freedesktop.host.portal.Registry"
ANSWERS = {"granted": 0, "refused": 1, "failed": 2}


def plain(value):
    """A D-Bus value as JSON can hold it."""
    if value is None:
        return None
    if isinstance(value, dict):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, (dbus.Boolean, bool)):
        return bool(value)
    if isinstance(value, (int, dbus.Int32, dbus.UInt32)):
        return int(value)
    return str(value)


def sender_part(unique_name):
    return unique_name[1:].replace(".", "_")


class Portal(dbus.service.Object):
    def __init__(self, bus, args):
        super().__init__(bus, PATH)
        self.bus = bus
        self.args = args
        self.log = open(args.log, "a", buffering=1)
        self.mutter = None
        self.keysyms = 0
        self.persist = 0

    def note(self, method, **fields):
        self.log.write(json.dumps({"method": method, "at": round(time.monotonic(), 3), **plain(fields)}) + "\n")

    def respond(self, sender, token, code, results):
        """Answers the request on the path the caller predicted, after the
        call has returned, as the real portal does."""
        path = "/org/freedesktop/portal/desktop/request/%s/%s" % (sender_part(sender), token)

        def emit():
            message = dbus.lowlevel.SignalMessage(path, "org.freedesktop.portal.Request", "Response")
            message.set_destination(sender)
            message.append(dbus.UInt32(code), dbus.Dictionary(results, signature="sv"), signature="ua{sv}")
            self.bus.send_message(message)
            return False
        GLib.timeout_add(20, emit)
        return dbus.ObjectPath(path)

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, prop):
        properties = self.GetAll(interface)
        if prop not in properties:
            raise dbus.exceptions.DBusException("no such property", name="org.freedesktop.DBus.Error.InvalidArgs")
        return properties[prop]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        if interface != IFACE:
            raise dbus.exceptions.DBusException("no such interface", name="org.freedesktop.DBus.Error.InvalidArgs")
        return {"AvailableDeviceTypes": dbus.UInt32(self.args.devices), "version": dbus.UInt32(self.args.version)}

    @dbus.service.method(REGISTRY, in_signature="sa{sv}")
    def Register(self, app_id, options):
        self.note("Register", app_id=app_id)
        if self.args.registry == "absent":
            raise dbus.exceptions.DBusException("no registry", name="org.freedesktop.DBus.Error.UnknownMethod")
        if self.args.registry == "refuse":
            raise dbus.exceptions.DBusException("App info not found", name="org.freedesktop.portal.Error.Failed")

    @dbus.service.method(IFACE, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender):
        self.note("CreateSession", options=options)
        session = "/org/freedesktop/portal/desktop/session/%s/%s" % (
            sender_part(sender), options["session_handle_token"])
        return self.respond(sender, options["handle_token"], 0, {"session_handle": session})

    @dbus.service.method(IFACE, in_signature="oa{sv}", out_signature="o", sender_keyword="sender")
    def SelectDevices(self, session, options, sender):
        self.note("SelectDevices", session=session, options=options)
        self.persist = int(options.get("persist_mode", 0)) if self.args.version >= 2 else 0
        return self.respond(sender, options["handle_token"], 0, {})

    @dbus.service.method(IFACE, in_signature="osa{sv}", out_signature="o", sender_keyword="sender")
    def Start(self, session, parent, options, sender):
        self.note("Start", session=session, parent=parent, options=options)
        code = ANSWERS[self.args.answer]
        if code == 0 and self.args.mutter:
            rd = self.bus.get_object("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop")
            path = rd.CreateSession(dbus_interface="org.gnome.Mutter.RemoteDesktop")
            self.mutter = dbus.Interface(self.bus.get_object("org.gnome.Mutter.RemoteDesktop", path),
                                         "org.gnome.Mutter.RemoteDesktop.Session")
            self.mutter.Start()
        results = {"devices": dbus.UInt32(1)} if code == 0 else {}
        if code == 0 and self.args.version >= 2 and self.persist and not self.args.no_token:
            # In the form portals hand out from 1.22 (the real one of
            # older releases gives UUIDs).
            results["restore_token"] = base64.b64encode(uuid.uuid4().bytes).decode().rstrip("=") \
                .replace("+", "_").replace("/", "_")
            self.note("Token", token=results["restore_token"])
        return self.respond(sender, options["handle_token"], code, results)

    @dbus.service.method(IFACE, in_signature="oa{sv}iu")
    def NotifyKeyboardKeysym(self, session, options, keysym, state):
        self.note("NotifyKeyboardKeysym", session=session, keysym=keysym, state=state)
        if self.mutter:
            self.mutter.NotifyKeyboardKeysym(dbus.UInt32(keysym), bool(state))
        self.keysyms += 1
        if self.args.vanish_after and self.keysyms >= self.args.vanish_after:
            self.log.close()
            os._exit(0)  # at once, as a crashed portal goes


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--log", required=True)
    parser.add_argument("--answer", choices=sorted(ANSWERS), default="granted")
    parser.add_argument("--devices", type=int, default=7)
    parser.add_argument("--mutter", action="store_true")
    parser.add_argument("--vanish-after", type=int, default=0)
    parser.add_argument("--version", type=int, default=1)
    parser.add_argument("--registry", choices=("absent", "accept", "refuse"), default="absent")
    parser.add_argument("--no-token", action="store_true", help="grant without remembering (as a user may choose)")
    args = parser.parse_args()
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    portal = Portal(bus, args)
    name = dbus.service.BusName(NAME, bus, do_not_queue=True)
    print("ready", flush=True)
    GLib.MainLoop().run()
    del name, portal


if __name__ == "__main__":
    main()
