#!/usr/bin/env python3
"""A remote-desktop back end for the real desktop portal (xdg-desktop-portal),
for the tests: it owns a name of its own on the session bus that the portal
runs on and implements org.freedesktop.impl.portal.RemoteDesktop, as GNOME's
or KDE's back end does, with the user played by a file: each Start reads the
answer ("granted" or "refused", granted when the file is missing) afresh, so
one back end serves many cases. Every call goes to a log, one JSON object a
line, Start with "dialog": whether a user would have been asked (false only
when the portal handed back what an earlier grant remembered). Granted
keysyms go on to Mutter's own remote-desktop API on another bus, the
desktop's, so they reach the focused client as GNOME's back end sends them.

    portal_backend.py --name BUSNAME --log FILE --answer-file FILE
                      [--mutter-bus ADDRESS] [--version N]

It prints "ready" once it owns its name.
"""

import argparse
import json
import os
import sys
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

from fake_portal import plain

PATH = "/org/freedesktop/portal/desktop"
IFACE = "org.freedesktop.impl.portal.RemoteDesktop"
SESSION_IFACE = "org.freedesktop.impl.portal.Session"
KEYBOARD = 1  # the devices bit for a keyboard
ANSWERS = {"granted": 0, "refused": 1}
# What a grant leaves the portal to remember: the back end's own tag, a
# version and data only it reads back, as the portal's restore_data (suv).
RESTORE_TAG = "kelvo-test-backend"


def get_property(values, interface, asked, prop):
    """Properties.Get of read-only values (name to value) of interface."""
    if asked == interface and prop in values:
        return values[prop]
    raise dbus.exceptions.DBusException("no property %s.%s" % (asked, prop),
                                        name="org.freedesktop.DBus.Error.InvalidArgs")


def all_properties(values, interface, asked):
    """Properties.GetAll, which the portal's GDBus proxies ask first."""
    return dbus.Dictionary(values if asked == interface else {}, signature="sv")


class Session(dbus.service.Object):
    """One remote-desktop session, at the path the portal chose for it."""

    def __init__(self, backend, path):
        dbus.service.Object.__init__(self, backend.bus, path)
        self.backend = backend
        self.path = path
        self.restoring = False  # the portal handed back an earlier grant's data
        self.persist_mode = None  # as SelectDevices gave it; None when not given
        self.mutter = None
        self.held = set()  # keysyms pressed and not yet released
        self.properties = {"version": dbus.UInt32(1)}

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, prop):
        return get_property(self.properties, SESSION_IFACE, interface, prop)

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return all_properties(self.properties, SESSION_IFACE, interface)

    def end(self):
        if self.mutter is not None:
            try:
                # Mutter keeps a key of a device that goes while holding it
                # down for the seat, and so from every later session: one
                # case's fault would spill into the next.
                for keysym in self.held:
                    self.mutter.NotifyKeyboardKeysym(dbus.UInt32(keysym), False)
                self.mutter.Stop()
            except dbus.exceptions.DBusException:
                pass  # Mutter ended it already
            self.mutter = None
        self.backend.sessions.pop(self.path, None)
        self.remove_from_connection()

    @dbus.service.method(SESSION_IFACE)
    def Close(self):
        self.backend.note("Close", session=self.path)
        self.end()

    @dbus.service.signal(SESSION_IFACE, signature="a{sv}")
    def Closed(self, details):
        pass


class Backend(dbus.service.Object):
    def __init__(self, bus, args):
        dbus.service.Object.__init__(self, bus, PATH)
        self.bus = bus
        self.args = args
        self.log = open(args.log, "a", buffering=1)
        self.mutter_bus = dbus.bus.BusConnection(args.mutter_bus) if args.mutter_bus else None
        self.sessions = {}
        self.properties = {"AvailableDeviceTypes": dbus.UInt32(KEYBOARD),
                           "version": dbus.UInt32(args.version)}

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, prop):
        return get_property(self.properties, IFACE, interface, prop)

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return all_properties(self.properties, IFACE, interface)

    def note(self, method, **fields):
        self.log.write(json.dumps({"method": method, "at": round(time.monotonic(), 3), **plain(fields)}) + "\n")

    def answer(self):
        try:
            with open(self.args.answer_file, encoding="utf-8") as f:
                text = f.read().strip()
        except FileNotFoundError:
            return "granted"
        if text not in ANSWERS:
            raise dbus.exceptions.DBusException("the answer file says %r, not granted or refused" % text,
                                                name="org.freedesktop.DBus.Error.Failed")
        return text

    def session(self, path):
        if path not in self.sessions:
            raise dbus.exceptions.DBusException("no session %s" % path,
                                                name="org.freedesktop.DBus.Error.InvalidArgs")
        return self.sessions[path]

    @dbus.service.method(IFACE, in_signature="oosa{sv}", out_signature="ua{sv}")
    def CreateSession(self, handle, session_path, app_id, options):
        self.note("CreateSession", session=session_path, app_id=app_id, options=options)
        self.sessions[session_path] = Session(self, session_path)
        return dbus.UInt32(0), dbus.Dictionary({}, signature="sv")

    @dbus.service.method(IFACE, in_signature="oosa{sv}", out_signature="ua{sv}")
    def SelectDevices(self, handle, session_path, app_id, options):
        session = self.session(session_path)
        data = options.get("restore_data")
        session.restoring = data is not None and len(data) == 3 and str(data[0]) == RESTORE_TAG
        session.persist_mode = int(options["persist_mode"]) if "persist_mode" in options else None
        self.note("SelectDevices", session=session_path, app_id=app_id,
                  types=options.get("types"), persist_mode=session.persist_mode,
                  restore_data=data)
        return dbus.UInt32(0), dbus.Dictionary({}, signature="sv")

    @dbus.service.method(IFACE, in_signature="oossa{sv}", out_signature="ua{sv}")
    def Start(self, handle, session_path, app_id, parent_window, options):
        session = self.session(session_path)
        # A restored grant is given again without asking, as GNOME's does.
        answer = "granted" if session.restoring else self.answer()
        self.note("Start", session=session_path, app_id=app_id, dialog=not session.restoring,
                  answer=answer, persist_mode=session.persist_mode)
        if answer != "granted":
            return dbus.UInt32(ANSWERS[answer]), dbus.Dictionary({}, signature="sv")
        if self.mutter_bus is not None:
            rd = self.mutter_bus.get_object("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop")
            path = rd.CreateSession(dbus_interface="org.gnome.Mutter.RemoteDesktop")
            session.mutter = dbus.Interface(self.mutter_bus.get_object("org.gnome.Mutter.RemoteDesktop", path),
                                            "org.gnome.Mutter.RemoteDesktop.Session")
            session.mutter.Start()
        results = {"devices": dbus.UInt32(KEYBOARD)}
        if session.persist_mode:
            results["persist_mode"] = dbus.UInt32(session.persist_mode)
            results["restore_data"] = dbus.Struct(
                (RESTORE_TAG, dbus.UInt32(1), dbus.UInt32(KEYBOARD, variant_level=1)), signature="suv")
        return dbus.UInt32(0), dbus.Dictionary(results, signature="sv")

    @dbus.service.method(IFACE, in_signature="oa{sv}iu")
    def NotifyKeyboardKeysym(self, session_path, options, keysym, state):
        self.note("NotifyKeyboardKeysym", session=session_path, keysym=keysym, state=state)
        session = self.session(session_path)
        if session.mutter is not None:
            session.mutter.NotifyKeyboardKeysym(dbus.UInt32(keysym), bool(state))
            (session.held.add if state else session.held.discard)(keysym)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--name", required=True, help="the bus name the .portal file gives")
    parser.add_argument("--log", required=True)
    parser.add_argument("--answer-file", required=True)
    parser.add_argument("--mutter-bus", help="the address of the bus Mutter is on")
    parser.add_argument("--version", type=int, default=2, help="the back end interface's version")
    args = parser.parse_args()
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    backend = Backend(bus, args)
    try:
        name = dbus.service.BusName(args.name, bus, do_not_queue=True)
    except dbus.exceptions.NameExistsException:
        sys.exit("portal_backend: %s is taken on this bus" % args.name)
    print("ready", flush=True)
    GLib.MainLoop().run()
    del name, backend


if __name__ == "__main__":
    main()
