"""Desktop notices for whoever started kelvo from a menu or at login, where
nobody reads standard error: on a headless Mutter, with the tests' own
notification service (fake_notifications.py) and stand-in portal
(fake_portal.py) on the desktop's session bus, kelvo that types into X11
programs only (the portal says no), that cannot keep the permission it was
given (its folder is in the way) or that cannot type at all (no X display)
shows one notice, which says what is wrong, the step to take and the user
guide's page, and closes by itself; what it says on standard error stays as
it was. With standard error a terminal it shows none; with no notification
service it goes on typing, or ends, as before.

Run through scripts/wayland-desktop --compositor mutter with KELVO_BUILD set
(ctest does both).
"""

import html
import os
import re
import shutil
import subprocess
import unittest
import uuid

import kelvo_desktop as kd

kd.skip_unless_tools("mutter", "xdotool", session="WAYLAND_DISPLAY",
                     harness="scripts/wayland-desktop --compositor mutter")
try:
    import dbus
except ImportError:
    kd.skip("not installed: python3-dbus (scripts/install-deps test installs it)")

HERE = os.path.dirname(os.path.abspath(__file__))
FAKE_PORTAL = os.path.join(HERE, "fake_portal.py")
KELVO = os.path.join(kd.build_dir(), "kelvo")
APP_ID = "org.kelvo.Kelvo"
SEE = "See \u201cTroubleshooting\u201d in Kelvo's user guide: "
REFUSED = "X11 programs only (the permission to control the desktop was refused)"

desktop = kd.ModuleDesktop()
setUpModule, tearDownModule = desktop.open, desktop.close


def page(anchor):
    """The installed guide's page about anchor, as a pattern."""
    return r"file:///\S*/doc/kelvo/html/troubleshooting\.html#" + re.escape(anchor)


def escaped(text):
    """text as Qt escapes it for markup."""
    return html.escape(text, quote=False).replace('"', "&quot;")


class Notices(unittest.TestCase):
    def portal(self, *args):
        """The stand-in portal, answering as args say, until the test ends
        or it goes itself."""
        proc = desktop.start(["/usr/bin/python3", FAKE_PORTAL, "--log", desktop.path("portal.log"), *args],
                             stdout=subprocess.PIPE, text=True)
        self.addCleanup(desktop.stop, proc)
        self.assertEqual(proc.stdout.readline().strip(), "ready")
        return proc

    def service(self, capabilities="body,body-markup"):
        service = kd.NotificationService(desktop, capabilities)
        self.addCleanup(desktop.stop, service.proc)
        return service

    def env(self, **more):
        env = dict(os.environ, **more)
        env.pop("QT_QPA_PLATFORM", None)  # kelvo picks XWayland itself
        return env

    def one_notice(self, service, pid):
        """The one notice process pid showed, once it has said all it will."""
        kd.wait_until(lambda: service.all_gone(pid), what="kelvo's connections to the bus to go")
        notices = service.notices(pid)
        self.assertEqual(len(notices), 1, notices)
        notice = notices[0]
        # Kelvo's own, never waiting for anyone, going by itself.
        self.assertEqual((notice["app_name"], notice["app_icon"], notice["replaces_id"], notice["actions"]),
                         ("Kelvo", APP_ID, 0, []))
        self.assertEqual(notice["hints"], {"desktop-entry": APP_ID, "urgency": 1})
        self.assertGreater(notice["expire_timeout"], 0)
        return notice

    def test_typing_into_x11_programs_only_is_told_with_the_step_and_a_link_to_the_page(self):
        service = self.service("body,body-markup,body-hyperlinks")
        # the portal's answer: (how it is made, what kelvo says, the notice's first line)
        answers = {
            "refused": (["--answer", "refused"], REFUSED, re.escape("The permission to control the desktop was refused.")),
            # granted, then gone at the session's first key event
            "lost": (["--vanish-after", "1"], "from now on keystrokes reach X11 programs only",
                     r"The desktop portal (?:went away|\(xdg-desktop-portal\) is not running)\."),
        }
        for answer, (args, said, first) in answers.items():
            with self.subTest(answer):
                portal = self.portal(*args)
                kelvo = desktop.kelvo(self.env())
                self.addCleanup(kelvo.stop)
                kd.wait_until(lambda: said in kelvo.stderr(), what="kelvo to say %r" % said)
                kd.wait_until(lambda: service.notices(kelvo.proc.pid), what="a notice")
                kelvo.stop()
                desktop.stop(portal)  # its name is free for the next
                notice = self.one_notice(service, kelvo.proc.pid)
                self.assertEqual(notice["summary"], "Kelvo types into X11 programs only")
                self.assertRegex(notice["body"], r"\A" + first + re.escape(
                    "\nTo type into every program, quit Kelvo, start it again and allow it when the desktop asks.\n"
                    + escaped(SEE)) + r'<a href="(%s)">\1</a>\Z' % page("x11-programs-only"))

    def test_a_permission_that_cannot_be_kept_is_told_once_in_escaped_markup(self):
        service = self.service()
        self.portal("--version", "2")  # grants, and hands back a token to keep
        home, dirs = kd.private_dirs(runtime=False)
        self.addCleanup(shutil.rmtree, home, True)
        # Where the token's folder would go, a file; a name that markup
        # would misread.
        state = os.path.join(home, "state <&> kept")
        os.mkdir(state)
        blocker = os.path.join(state, "kelvo")
        open(blocker, "w").close()
        kelvo = desktop.kelvo(self.env(**dict(dirs, XDG_STATE_HOME=state)))
        self.addCleanup(kelvo.stop)
        kd.wait_until(lambda: "cannot be remembered" in kelvo.stderr(), what="kelvo to say it cannot remember")
        # The unusable token said first asks again, and the user can answer:
        # no notice of its own.
        self.assertIn("could not be used (it cannot be read (Not a directory))", kelvo.stderr())
        kd.wait_until(lambda: service.notices(kelvo.proc.pid), what="a notice")
        kelvo.stop()
        notice = self.one_notice(service, kelvo.proc.pid)
        self.assertEqual(notice["summary"], "Kelvo cannot remember the desktop's permission")
        self.assertNotIn("<&>", notice["body"])
        self.assertRegex(html.unescape(notice["body"]), r"\A" + re.escape(
            "No file can be made in %s (Not a directory).\n"
            "Make sure you can write to the folder %s; until then the desktop asks for the permission at every "
            "start.\n%s" % (blocker, blocker, SEE)) + page("permission-not-remembered") + r"\Z")

    def test_no_way_to_type_ends_kelvo_as_before_with_a_notice_where_a_service_listens(self):
        env = {k: v for k, v in self.env().items() if k not in ("DISPLAY", "XAUTHORITY")}
        for listening in (True, False):
            with self.subTest(service=listening):
                service = self.service("body") if listening else None
                err = desktop.path("ended-%s.err" % uuid.uuid4().hex[:8])
                kelvo = kd.start_with_stderr(desktop, [KELVO], err, env)
                self.assertEqual(kelvo.wait(kd.TIMEOUT), 2)
                with open(err, encoding="utf-8") as f:
                    said = f.read()
                self.assertRegex(said, r'\Akelvo: the Wayland compositor "[^"]+" lacks .*, and there is no X '
                                       r'display to go through instead \(DISPLAY is not set\)\n\Z')
                if not listening:
                    continue
                # It waited for the service before it ended.
                (notice,) = service.notices(kelvo.pid)
                self.assertEqual(notice["summary"], "Kelvo cannot type on this desktop")
                clause = said[len("kelvo: "):-1]
                self.assertRegex(notice["body"], r"\A" + re.escape(
                    clause[0].upper() + clause[1:] + ".\n"
                    "Start Kelvo on one of the desktops the user guide names, or in a session with XWayland.\n"
                    + SEE) + page("cannot-type") + r"\Z")

    def test_none_while_standard_error_is_a_terminal(self):
        service = self.service()
        self.portal("--answer", "refused")
        kelvo = desktop.kelvo(self.env(), terminal=True)
        self.addCleanup(kelvo.stop)
        kd.wait_until(lambda: REFUSED in kelvo.stderr(), what="kelvo to say %r" % REFUSED)
        kelvo.stop()
        kd.wait_until(lambda: service.all_gone(kelvo.proc.pid), what="kelvo's connections to the bus to go")
        self.assertEqual(service.calls_from(kelvo.proc.pid), [])

        err = desktop.path("ended-on-a-terminal.err")
        ended = kd.start_with_stderr(desktop, [KELVO], err, {k: v for k, v in self.env().items() if k != "DISPLAY"},
                                     terminal=True)
        self.assertEqual(ended.wait(kd.TIMEOUT), 2)
        self.assertEqual(service.calls_from(ended.pid), [])

    def test_without_a_notification_service_kelvo_goes_on_typing(self):
        bus = dbus.SessionBus()
        if "org.freedesktop.Notifications" in bus.list_activatable_names():
            self.skipTest("this bus starts a notification service of the machine's own")
        self.portal("--answer", "refused")
        os.environ["QT_QPA_PLATFORM"] = "xcb"
        try:
            field = desktop.text_client("qt")
        finally:
            del os.environ["QT_QPA_PLATFORM"]
        kelvo = desktop.kelvo(self.env())
        self.addCleanup(kelvo.stop)
        kd.wait_until(lambda: REFUSED in kelvo.stderr(), what="kelvo to say %r" % REFUSED)
        kelvo.rest_on(kd.KEY_H, None, until=lambda: field.text())
        self.assertRegex(field.text(), r"^h+$")
        kelvo.proc.terminate()
        self.assertEqual(kelvo.wait(), 0, kelvo.stderr())
        # Said once, as ever, and not a word about the missing service.
        self.assertEqual(kelvo.stderr().count(REFUSED), 1, kelvo.stderr())
        self.assertNotRegex(kelvo.stderr(), re.compile("notif|d-?bus", re.I))


if __name__ == "__main__":
    unittest.main(verbosity=2)
