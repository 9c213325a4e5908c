"""The permission to type, remembered: kelvo on a headless Mutter talks to the
real desktop portal front end (xdg-desktop-portal, with its permission
store) on a private session bus, whose remote-desktop back end is the tests'
own (portal_backend.py: it plays the user from a file, logs whether a user
would have been asked, and hands the keysyms on to Mutter). Where the portal
can remember (version 2 of its remote desktop), the first start asks, the
next ones type at once from the token kelvo kept, a grant revoked in the
permission store asks again, and a refusal or an unusable token file is
handled without harm; where it cannot (version 1), every start asks and
kelvo keeps no file. kelvo-sendkeys never asks and never touches the file.

Run through scripts/wayland-desktop --compositor mutter with KELVO_BUILD set
(ctest does both).
"""

import json
import os
import re
import shutil
import stat
import subprocess
import time
import unittest
import uuid

import kelvo_desktop as kd

kd.skip_unless_tools("mutter", "xdotool", "dbus-daemon", session="WAYLAND_DISPLAY",
                     harness="scripts/wayland-desktop --compositor mutter")
FRONT_END = "/usr/libexec/xdg-desktop-portal"
PERMISSION_STORE = "/usr/libexec/xdg-permission-store"
_absent = [p for p in (FRONT_END, PERMISSION_STORE) if not os.access(p, os.X_OK)]
if _absent:
    kd.skip("not installed: %s (the xdg-desktop-portal package; scripts/install-deps test installs it)"
            % ", ".join(_absent))
try:
    import dbus
except ImportError:
    kd.skip("not installed: python3-dbus (scripts/install-deps test installs it)")

BACKEND = os.path.join(os.path.dirname(os.path.abspath(__file__)), "portal_backend.py")
BACKEND_NAME = "org.kelvo.Test.RemoteDesktopBackend"
APP_ID = "org.kelvo.Kelvo"
TABLE = "remote-desktop"  # the permission store's table for these grants
GRANTED = "every program through the desktop portal"
UNUSABLE = "could not be used"
# The token as portals hand it out: a UUID up to 1.20, then 22 letters,
# digits and _.
TOKEN_LINES = re.compile(r"\Aapp-id=org\.kelvo\.Kelvo\nrestore-token="
                         r"([0-9a-f]{8}(?:-[0-9a-f]{4}){3}-[0-9a-f]{12}|[A-Za-z0-9_]{22})\n\Z")

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path={root}/bus</listen>
  <servicedir>{root}/services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


def write(path, text, mode=None):
    os.makedirs(os.path.dirname(path), mode=0o700, exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    if mode is not None:
        os.chmod(path, mode)


class PortalSession:
    """A private session bus on which only the portal's front end and its
    permission store can be started (by activation, so they inherit the bus's
    HOME and data folders, all in a folder of the test), with the tests' back
    end started first and named by a .portal file, found by 1.17 and later
    through portals.conf and by 1.16 through UseIn and XDG_CURRENT_DESKTOP."""

    def __init__(self, processes):
        self.processes = processes
        self.root = processes.path("portal")
        home = os.path.join(self.root, "home")
        data = os.path.join(home, ".local", "share")
        for name, program in (("org.freedesktop.portal.Desktop", FRONT_END),
                              ("org.freedesktop.impl.portal.PermissionStore", PERMISSION_STORE)):
            write(os.path.join(self.root, "services", name + ".service"),
                  "[D-BUS Service]\nName=%s\nExec=%s\n" % (name, program))
        write(os.path.join(self.root, "portals", "kelvo-test.portal"),
              "[portal]\nDBusName=%s\nInterfaces=org.freedesktop.impl.portal.RemoteDesktop;\nUseIn=kelvo-test\n"
              % BACKEND_NAME)
        write(os.path.join(self.root, "portals", "portals.conf"),
              "[preferred]\norg.freedesktop.impl.portal.RemoteDesktop=kelvo-test\n")
        # Registering as org.kelvo.Kelvo takes an entry the front end finds
        # (GLib's lookup also wants its program to exist).
        write(os.path.join(data, "applications", APP_ID + ".desktop"),
              "[Desktop Entry]\nType=Application\nName=Kelvo\nExec=%s\n" % os.path.join(kd.build_dir(), "kelvo"))
        write(os.path.join(self.root, "bus.conf"), BUS_CONFIG.format(root=self.root))
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS")}
        env.update(HOME=home, XDG_DATA_HOME=data, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                   XDG_CACHE_HOME=os.path.join(home, ".cache"), XDG_CURRENT_DESKTOP="kelvo-test",
                   XDG_DESKTOP_PORTAL_DIR=os.path.join(self.root, "portals"))
        self.bus_log = os.path.join(self.root, "bus.log")
        with open(self.bus_log, "wb") as log:  # the activated services write here too
            self.daemon = processes.start(["dbus-daemon", "--config-file", os.path.join(self.root, "bus.conf"),
                                           "--nofork", "--nopidfile"], env=env, stdout=log, stderr=log)
        socket = os.path.join(self.root, "bus")
        kd.wait_until(lambda: os.path.exists(socket) or self.daemon.poll() is not None,
                      what="the private session bus")
        if self.daemon.poll() is not None:
            raise RuntimeError("the private bus did not start: " + self.details())
        self.address = "unix:path=" + socket

        self.log = os.path.join(self.root, "backend.log")
        self.answer_file = os.path.join(self.root, "answer")
        self.backend = processes.start(
            ["/usr/bin/python3", BACKEND, "--name", BACKEND_NAME, "--log", self.log,
             "--answer-file", self.answer_file, "--mutter-bus", os.environ["DBUS_SESSION_BUS_ADDRESS"]],
            env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS=self.address), stdout=subprocess.PIPE, text=True)
        if self.backend.stdout.readline().strip() != "ready":
            raise RuntimeError("the back end did not start: " + self.details())

        self.bus = dbus.bus.BusConnection(self.address)
        portal = self.bus.get_object("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop")
        props = dbus.Interface(portal, dbus.PROPERTIES_IFACE)
        try:
            self.version = int(props.Get("org.freedesktop.portal.RemoteDesktop", "version"))
            devices = int(props.Get("org.freedesktop.portal.RemoteDesktop", "AvailableDeviceTypes"))
        except dbus.exceptions.DBusException as e:
            raise RuntimeError("the portal did not answer (%s): %s" % (e, self.details()))
        if devices != 1:
            raise RuntimeError("the portal offers devices %d, not the back end's keyboard: %s"
                               % (devices, self.details()))
        self.store = dbus.Interface(
            self.bus.get_object("org.freedesktop.impl.portal.PermissionStore",
                                "/org/freedesktop/impl/portal/PermissionStore"),
            "org.freedesktop.impl.portal.PermissionStore")

    def details(self):
        """The bus's and the back end's logs, for a failure message."""
        parts = []
        for path in (self.bus_log, getattr(self, "log", "")):
            if os.path.exists(path):
                with open(path, encoding="utf-8", errors="replace") as f:
                    parts.append("---- %s ----\n%s" % (os.path.basename(path), f.read()))
        return "\n".join(parts)

    def close(self):
        self.bus.close()

    def answer(self, text):
        """What the user answers the next time a dialog is shown."""
        write(self.answer_file, text)

    def calls(self, since=0):
        """The back end's log from line since on: a list of dicts."""
        with open(self.log, encoding="utf-8") as f:
            return [json.loads(line) for line in f.readlines()[since:]]

    def granted_to(self, token):
        """The application IDs the permission store holds token's grant for."""
        try:
            permissions, _ = self.store.Lookup(TABLE, token)
        except dbus.exceptions.DBusException:
            return []  # no such grant
        return sorted(str(app) for app in permissions)


desktop = kd.ModuleDesktop()
portal = None


def setUpModule():
    global portal
    desktop.open()
    try:
        portal = PortalSession(desktop)
    except BaseException:
        tearDownModule()
        raise


def tearDownModule():
    if portal is not None:
        portal.close()
    desktop.close()


class Case(unittest.TestCase):
    needs_memory = None  # True: cases for a portal that remembers; False: one that cannot

    def setUp(self):
        if self.needs_memory is not None and self.needs_memory != (portal.version >= 2):
            self.skipTest("for a portal of version %s; this one is version %d"
                          % ("2 or later" if self.needs_memory else "1", portal.version))
        portal.answer("granted")
        # An empty home of its own: the token file is all kelvo may add.
        self.home, self.home_env = kd.private_dirs(runtime=False)
        self.addCleanup(shutil.rmtree, self.home, True)
        self.state = self.home_env["XDG_STATE_HOME"]
        self.token_file = os.path.join(self.state, "kelvo", "remote-desktop-token")
        self.field = None

    def open_field(self):
        """A native Wayland client of its own (a key held by one case would
        type on in it), focused by Mutter when it maps."""
        if self.field is not None:
            desktop.stop(self.field)
        self.field_file = desktop.path("field-%s.txt" % uuid.uuid4().hex[:8])
        self.field = desktop.start([os.path.join(kd.build_dir(), "kelvo-text-field"), "native", self.field_file],
                                   env=dict(os.environ, QT_QPA_PLATFORM="wayland"),
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(desktop.stop, self.field)
        kd.wait_until(lambda: os.path.exists(self.field_file), what="the Wayland text field")
        time.sleep(0.3)  # mapped and focused after it first writes its file

    def field_text(self):
        with open(self.field_file, encoding="utf-8") as f:
            return f.read()

    def env(self):
        env = dict(os.environ, KELVO_TRACE="1", DBUS_SESSION_BUS_ADDRESS=portal.address, **self.home_env)
        env.pop("QT_QPA_PLATFORM", None)  # kelvo picks XWayland itself
        return env

    def start(self, expect=GRANTED):
        """Starts kelvo and waits until it says expect; returns it, with the
        back end's calls since its start in kelvo.calls (a function)."""
        mark = len(portal.calls())
        kelvo = desktop.kelvo(self.env())
        self.addCleanup(kelvo.stop)
        try:
            kd.wait_until(lambda: expect in kelvo.stderr() or kelvo.proc.poll() is not None,
                          what="kelvo to say %r" % expect)
        except TimeoutError:
            self.fail("kelvo did not say %r: %s\n%s" % (expect, kelvo.stderr(), portal.details()))
        self.assertIsNone(kelvo.proc.poll(), "kelvo ended: " + kelvo.stderr())
        kelvo.calls = lambda: portal.calls(mark)
        return kelvo

    def dialogs(self, kelvo):
        """The Start calls of kelvo's run: each a dict with dialog, persist_mode, app_id."""
        return [c for c in kelvo.calls() if c["method"] == "Start"]

    def assert_types(self, kelvo):
        """A dwell on H adds h (and nothing else) to the Wayland field."""
        field_text = self.field_text
        before = field_text()
        try:
            kelvo.rest_on(kd.KEY_H, None, until=lambda: len(field_text()) > len(before))
        except TimeoutError:
            self.fail("no keystroke arrived (field %r); kelvo: %s\n%s"
                      % (field_text(), kelvo.stderr(), portal.details()))
        landed, later = kd.landed_and_later(field_text)
        self.assertRegex(later[len(before):], r"^h+$", "the field held %r before" % before)
        self.assertEqual(landed, later, "typing went on after the pointer left; keysyms: %s"
                         % [(c["keysym"], c["state"]) for c in kelvo.calls() if "keysym" in c])

    def read_token(self):
        """The token the file holds, after checking its form and modes."""
        self.assertEqual(stat.S_IMODE(os.stat(self.token_file).st_mode), 0o600)
        self.assertEqual(stat.S_IMODE(os.stat(os.path.dirname(self.token_file)).st_mode), 0o700)
        with open(self.token_file, encoding="utf-8") as f:
            text = f.read()
        m = TOKEN_LINES.match(text)
        self.assertTrue(m, "the token file holds %r" % text)
        return m.group(1)

    def file_token(self):
        """The token in the file, or None while it holds none (or cannot be read)."""
        try:
            with open(self.token_file, encoding="utf-8") as f:
                m = TOKEN_LINES.match(f.read())
        except (OSError, UnicodeDecodeError):
            return None
        return m and m.group(1)

    def assert_kept(self):
        """Waits until the token file holds a grant the permission store
        keeps for kelvo's application ID, and returns its token."""
        try:
            token = kd.wait_until(lambda: portal.granted_to(self.file_token() or "") == [APP_ID]
                                  and self.file_token(), what="the token of kelvo's grant in its file")
        except TimeoutError:
            self.fail("the token file holds %r; the store: %s"
                      % (self.token_contents(), {t: portal.granted_to(t) for t in portal.store.List(TABLE)}))
        self.assertEqual(self.read_token(), token)
        return token

    def token_contents(self):
        try:
            with open(self.token_file, "rb") as f:
                return f.read(200)
        except OSError as e:
            return e

    def files_under_state(self):
        return [os.path.join(d, f) for d, _, files in os.walk(self.state) for f in files]

    def assert_only_the_token_file_written(self):
        made = [f for f in kd.files_under(self.home) if f not in kd.HOME_FOLDERS.values()]
        self.assertEqual(made, ["state/kelvo", "state/kelvo/remote-desktop-token"])


class Remembering(Case):
    needs_memory = True

    def test_asked_once_then_typing_at_once_until_revoked(self):
        self.open_field()
        first = self.start()
        (start,) = self.dialogs(first)
        self.assertEqual((start["dialog"], start["persist_mode"], start["app_id"]), (True, 2, APP_ID))
        self.assert_types(first)
        token = self.assert_kept()
        first.stop()

        again = self.start()
        self.assertEqual([s["dialog"] for s in self.dialogs(again)], [False], "a remembered grant asked again")
        self.assert_types(again)
        renewed = self.assert_kept()
        if renewed != token:
            self.assertEqual(portal.granted_to(token), [], "the used token was left in the store")
        again.stop()

        # Revoked, as a settings panel does: the token leads nowhere and
        # the user is asked; the new grant replaces it in the file.
        portal.store.Delete(TABLE, renewed)
        revoked = self.start()
        self.assertEqual([s["dialog"] for s in self.dialogs(revoked)], [True])
        self.assert_types(revoked)
        self.assertNotEqual(self.assert_kept(), renewed)
        self.assert_only_the_token_file_written()

    def test_refusal_is_said_and_keeps_nothing(self):
        portal.answer("refused")
        kelvo = self.start(expect="the permission to control the desktop was refused")
        self.assertIn("X11 programs only", kelvo.stderr())
        self.assertEqual([s["dialog"] for s in self.dialogs(kelvo)], [True])
        time.sleep(0.5)  # a file written after the answer would be there by now
        self.assertEqual(self.files_under_state(), [])
        self.assertIsNone(kelvo.proc.poll(), kelvo.stderr())

    def test_unusable_token_file_asks_again_and_is_replaced(self):
        other = str(uuid.uuid4())
        # name: (what is in the file's place, whether kelvo can tell it is unusable)
        cases = {
            "torn": ("app-id=org.kelvo.Kelvo\nrestore-token=5f0c1d2e-", True),
            "empty": ("", True),
            "oversized": ("app-id=org.kelvo.Kelvo\nrestore-token=%s\n%s" % (other, "#" * 1000000), True),
            "foreign": ('{"token": "%s"}\n' % other, True),
            "someone else's token": ("app-id=org.kelvo.Kelvo\nrestore-token=%s\n" % other, False),
            "another app's": ("app-id=org.example.Other\nrestore-token=%s\n" % other, True),
            "a folder": (None, True),
        }
        for name, (content, tellable) in cases.items():
            with self.subTest(name):
                self.setUp()
                self.open_field()
                if content is None:
                    os.makedirs(self.token_file)
                else:
                    write(self.token_file, content, 0o600)
                kelvo = self.start()
                self.assertEqual([s["dialog"] for s in self.dialogs(kelvo)], [True], kelvo.stderr())
                self.assert_types(kelvo)
                if tellable:
                    lines = [l for l in kelvo.stderr().splitlines() if UNUSABLE in l]
                    self.assertEqual(len(lines), 1, kelvo.stderr())
                if content is not None:  # replaced by the new grant's
                    self.assert_kept()
                self.assertIsNone(kelvo.proc.poll(), kelvo.stderr())
                kelvo.stop()


class NotRemembering(Case):
    needs_memory = False

    def test_every_start_asks_and_no_file_is_kept(self):
        self.open_field()
        for run in range(2):
            kelvo = self.start()
            self.assertEqual([(s["dialog"], s["persist_mode"]) for s in self.dialogs(kelvo)], [(True, None)])
            if run == 0:
                self.assert_types(kelvo)
            kelvo.stop()
        self.assertEqual(self.files_under_state(), [])


class SendKeys(Case):
    def test_kelvo_sendkeys_asks_nothing_and_leaves_the_file(self):
        content = b"app-id=org.kelvo.Kelvo\nrestore-token=%s\n" % str(uuid.uuid4()).encode()
        write(self.token_file, content.decode(), 0o600)
        mark = len(portal.calls())
        done = kd.run([os.path.join(kd.build_dir(), "kelvo-sendkeys"), "x"], env=self.env(), check=False)
        self.assertEqual(done.returncode, 0, done.stderr)
        # (an earlier case's session may still be closing meanwhile)
        self.assertEqual([c for c in portal.calls(mark) if c["method"] != "Close"], [],
                         "kelvo-sendkeys called the portal")
        with open(self.token_file, "rb") as f:
            self.assertEqual(f.read(), content)
        self.assertEqual(self.files_under_state(), [self.token_file])


if __name__ == "__main__":
    unittest.main(verbosity=2)
