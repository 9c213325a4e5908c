"""kelvo.exe and kelvo-sendkeys.exe, built with a static Qt for Windows, under
Wine on the virtual desktop: the keyboard window's place, dwell typing into
the tests' own key log window, which keeps the focus, the Shift latch, the
key-string sender, and the exit button."""

import re
import time
import unittest

import kelvo_desktop as kd
import wine

# One dwell tick and a little: a rest this long types a key once.
ONE_TICK = 0.3

desktop = kd.ModuleDesktop()
keylog = kelvo = None


def setUpModule():
    global keylog, kelvo
    desktop.open()
    icons = len(wine.tray_icons())
    kelvo = kd.Kelvo(desktop, env=wine.environment(), timeout=90,
                     command=["wine", wine.program("kelvo.exe", build="qt")])
    # Wine docks the tray icon through a window of its own, which it then
    # activates (Windows does not): the key log window starts after it, so
    # that it has the focus from then on.
    kd.wait_until(lambda: len(wine.tray_icons()) == icons + 1, what="kelvo's icon in the tray")
    keylog = wine.KeyLog(desktop)


def tearDownModule():
    desktop.close()


def rest_on(key, seconds):
    """Rests the pointer on key for seconds as a hand does: it arrives, and
    moves on a pixel a moment later. (xdotool's pointer jumps; under Wine the
    leave of the key before can then be reported after the arrival at this
    one, and a pointer that never moves again would seem not to be there.)"""
    x, y = kelvo.centre_of(key)
    desktop.move_pointer(x, y)
    time.sleep(0.05)
    desktop.move_pointer(x + 1, y)
    time.sleep(seconds - 0.05)
    kelvo.leave()


def foreground():
    """The foreground window's title and [class], as Windows sees it."""
    return wine.run([wine.program("kelvo-backend-check.exe"), "foreground"]).stdout.strip()


class Keyboard(unittest.TestCase):
    def setUp(self):
        desktop.focus(keylog.window)
        keylog.mark()

    def tearDown(self):
        # The keyboard never takes the focus from the window typed into.
        self.assertEqual(foreground(), "foreground: %s [KelvoKeyLog]" % wine.KeyLog.TITLE)
        self.assertTrue(keylog.kept_the_focus(), "the key log window was deactivated")

    def test_window_sits_at_the_bottom_right_of_the_work_area(self):
        x, y, w, h = kd.work_area()
        info = kelvo.info()
        self.assertEqual((info["x"] + info["width"], info["y"] + info["height"]), (x + w, y + h))

    def test_resting_on_h_types_it_about_five_times(self):
        rest_on(kd.KEY_H, 1.1)
        kd.wait_until(lambda: len(keylog.text()) >= 4, what="at least 4 h's")
        time.sleep(0.5)  # what was on its way lands
        self.assertRegex(keylog.text(), "^h{4,6}$")

    def toggle_shift_until(self, capital, attempts=5):
        """Rests one tick on Shift, then one on A, until A comes as capital
        or not; a tick falling either side of a rest only costs another try."""
        for _ in range(attempts):
            keylog.mark()
            rest_on(kd.KEY_SHIFT, ONE_TICK)
            rest_on(kd.KEY_A, ONE_TICK)
            time.sleep(0.2)
            if re.fullmatch("A+" if capital else "a+", keylog.text()):
                return
        self.fail("no %s after %d tries" % ("capital" if capital else "small letter", attempts))

    def test_shift_latched_gives_a_capital_until_typed_again(self):
        self.toggle_shift_until(capital=True)
        self.toggle_shift_until(capital=False)


class SendKeys(unittest.TestCase):
    def setUp(self):
        desktop.focus(keylog.window)
        keylog.mark()

    def sendkeys(self, keys):
        return wine.run([wine.program("kelvo-sendkeys.exe", build="qt"), keys], check=False)

    def test_key_strings_with_modifiers_reach_the_focused_window(self):
        for keys in ("+a", "^a", "a{ENTER}"):
            self.assertEqual(self.sendkeys(keys).returncode, 0, keys)
        self.assertEqual(keylog.wait_for_text("A\x01a\r"), "A\x01a\r")
        self.assertEqual([vk for vk, _ in keylog.key_downs()], [0x10, 0x41, 0x11, 0x41, 0x41, 0x0D])

    def test_a_malformed_string_types_nothing_and_says_where(self):
        result = self.sendkeys("ab{NOPE}c")
        self.assertEqual(result.returncode, 2)
        self.assertIn("refused at position 4", result.stderr)
        self.assertEqual(self.sendkeys("z").returncode, 0)
        self.assertEqual(keylog.wait_for_text("z"), "z")


class ZLast(unittest.TestCase):
    """Last, as they move the window and end the program."""

    def test_dragging_the_logo_moves_the_window(self):
        desktop.focus(keylog.window)
        kelvo.drag_logo(self)
        self.assertTrue(keylog.kept_the_focus(), "dragging the keyboard activated it")

    def test_exit_button_ends_it_with_success(self):
        desktop.focus(keylog.window)
        kelvo.click("cmdExit")
        self.assertEqual(kelvo.wait(30), 0)
        kd.wait_until(lambda: not kd.windows_titled("Kelvo"), what="kelvo's windows to go")
        self.assertTrue(keylog.kept_the_focus(), "clicking the keyboard activated it")


if __name__ == "__main__":
    unittest.main()
