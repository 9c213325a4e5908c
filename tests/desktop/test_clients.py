"""Real applications typed into: a GTK entry, a Qt line edit and a web
browser's text area each receive the characters of every key, act on select
all and copy on the us layout and on one without Latin letters, and take what
is typed by resting on the keys.

Run through scripts/virtual-desktop with KELVO_BUILD set (ctest does both).
"""

import os
import re
import unittest

import kelvo_desktop as kd

kd.skip_unless_tools("xdotool", "xclip", "chromium", "setxkbmap", "/usr/bin/python3")

SENDKEYS = os.path.join(kd.build_dir(), "kelvo-sendkeys")
# What every key of the keyboard types, in its key-string form and as text.
EVERY_KEY = "abcdefghijklmnopqrstuvwxyz .\"/@:,&*={+}-7894561230."
EVERY_KEY_TEXT = EVERY_KEY.replace("{+}", "+")

desktop = kd.ModuleDesktop()
setUpModule, tearDownModule = desktop.open, desktop.close


def sendkeys(keys):
    kd.run([SENDKEYS, keys])


def clipboard():
    r = kd.run(["xclip", "-selection", "clipboard", "-o"], check=False)
    return r.stdout if r.returncode == 0 else None


class TextClientCase:
    """The cases, run once per client by the classes below."""

    kind = None

    @classmethod
    def setUpClass(cls):
        cls.client = desktop.text_client(cls.kind)

    def setUp(self):
        desktop.set_layout("us")
        desktop.focus(self.client.window)
        sendkeys("^a{BACKSPACE}")
        self.client.wait_for("")

    def test_the_characters_of_every_key_arrive(self):
        sendkeys(EVERY_KEY)
        self.client.wait_for(EVERY_KEY_TEXT)

    def test_select_all_and_copy_act_on_us_and_on_a_layout_without_latin_letters(self):
        for layout in ("us", "ru"):
            with self.subTest(layout=layout):
                desktop.set_layout("us")
                sendkeys("^a{BACKSPACE}copy " + layout)
                self.client.wait_for("copy " + layout)
                desktop.set_layout(layout)
                sendkeys("^a^c")
                kd.wait_until(lambda: clipboard() == "copy " + layout,
                              what="%r copied on %s (the clipboard holds %r)"
                              % ("copy " + layout, layout, clipboard()))

    def test_resting_on_keys_types_them(self):
        kelvo = desktop.kelvo(dict(os.environ, KELVO_TRACE="1"))
        self.addCleanup(kelvo.stop)
        for key, typed in ((kd.KEY_H, "h+"), (8, "h+i+")):  # H, then I
            kelvo.move_onto(key)
            try:
                kd.wait_until(lambda: re.fullmatch(typed, self.client.text()))
            except TimeoutError:
                self.fail("no %r from resting on key %d: the field holds %r, the focus is on %d "
                          "(the field is %d), kelvo says %r"
                          % (typed, key, self.client.text(), desktop.focused_window(),
                             self.client.window, kelvo.stderr()))
            kelvo.leave()
        self.assertEqual(desktop.focused_window(), self.client.window)


class Gtk(TextClientCase, unittest.TestCase):
    kind = "gtk"


class Qt(TextClientCase, unittest.TestCase):
    kind = "qt"


class Browser(TextClientCase, unittest.TestCase):
    kind = "browser"


if __name__ == "__main__":
    unittest.main(verbosity=2)
