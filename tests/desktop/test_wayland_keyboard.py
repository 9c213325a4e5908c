"""The keyboard on a headless sway: its layer-shell window's place above the
bar, nothing of its background showing or taking the pointer, the focus left
with the terminal typed into, dwell typing, the Shift latch, the German
layout, a window over the resting key, the settings dialog, minimising (to
swaybar's tray, and to the logo where there is no tray), and ending without
a key left held; and all of it writing nothing into kelvo's home.

Run through scripts/wayland-desktop with KELVO_BUILD set (ctest does both).
The group without a tray runs on a desktop of its own without the bar: this
same file, told so through KELVO_NESTED.
"""

import os
import signal
import subprocess
import sys
import unittest

import kelvo_desktop as kd
import wayland_desktop as wd

wd.skip_unless_tools()

WAYLAND_DESKTOP = os.path.join(kd.source_dir(), "scripts", "wayland-desktop")

desktop = kd.ModuleDesktop(wd.WaylandDesktop)
home = kd.UntouchedHome()
setUpModule, tearDownModule = home.around(desktop)


class WaylandCase(unittest.TestCase):
    """Each case has a kelvo of its own, stopped afterwards, typing into one
    foot terminal of the module."""

    terminal = None

    @classmethod
    def setUpClass(cls):
        if WaylandCase.terminal is None:
            WaylandCase.terminal = desktop.cat_terminal()

    def setUp(self):
        self.assertEqual(desktop.focused_app(), self.terminal.title)
        self.kelvo = self.start_kelvo()
        self.terminal.take(b"")

    def start_kelvo(self, env=None):
        kelvo = desktop.kelvo(dict(os.environ, KELVO_TRACE="1", **home.env, **(env or {})))
        self.addCleanup(kelvo.stop)
        return kelvo

    def assertFocusKept(self, when):
        self.assertEqual(desktop.focused_app(), self.terminal.title, "the terminal lost the focus " + when)

    def assertStops(self, what):
        """Nothing more arrives once what has landed: typing has stopped."""
        landed, later = kd.landed_and_later(self.terminal.received)
        self.assertEqual(later, landed, what)


class Window(WaylandCase):
    def test_sits_at_the_corner_above_the_bar_and_no_background_shows(self):
        ax, ay, aw, ah = desktop.usable_area()
        self.assertLess(ah, 1080, "the bar reserves no edge")
        ox, oy = self.kelvo.origin
        self.assertEqual((ox + 264, oy + 298), (ax + aw, ay + ah))
        shot = desktop.shot()
        # Just below the keyboard lies the bar, not more keyboard.
        left, top, width, height = kd.CONTROL_RECTS["cmdExit"]
        self.assertNotEqual(shot.pixel(ox + left + 3, oy + top + height // 2),
                            shot.pixel(ox + left + 3, oy + 298 + 5))
        inside = shot.rect(ox, oy, 264, 298)
        self.assertFalse(any(kd.greenish(p) for p in inside), "the green background shows")
        # Drawn at 230/255: the exit button's white cross shows the dark
        # terminal through it.
        cross = shot.pixel(ox + left + kd.CONTROL_RECTS["cmdExit"][2] // 2, oy + top + height // 2)
        self.assertTrue(all(215 <= c <= 240 for c in cross), "the white cross is %r" % (cross,))
        # A gap between the keys shows the terminal beneath, as far off the
        # keyboard does.
        gap = (10, 10)
        self.assertIsNone(kd.control_at(*gap))
        self.assertEqual(shot.pixel(ox + gap[0], oy + gap[1]), shot.pixel(ox - 50, oy + gap[1]))
        self.assertFocusKept("when kelvo started")

    def test_a_face_drawn_again_is_as_translucent_as_the_first_time(self):
        # The first face drawn after the keyboard's first frame goes into a
        # buffer Qt has just made, over a copy of that frame: it must not
        # show through itself, twice as opaque.
        left, top, _, height = kd.CONTROL_RECTS["cmdExit"]
        x, y = self.kelvo.screen_point(left + 4, top + height // 2)  # clear of the pointer's picture
        face = lambda: desktop.shot((x, y, 1, 1)).pixel(x, y)
        normal = face()
        seen = []
        for _ in range(2):
            desktop.pointer.move(*self.kelvo.centre_of("cmdExit"))
            kd.wait_until(lambda: face() != normal, what="the exit button's face under the pointer")
            seen.append(face())
            self.kelvo.leave()
            kd.wait_until(lambda: face() == normal, what="the exit button's face with the pointer gone")
        self.assertEqual(seen[0], seen[1], "the face under the pointer the first time and the second")

    def test_a_pointer_over_a_gap_reaches_the_window_beneath_and_one_on_a_key_does_not(self):
        # sway's focus follows the pointer: a terminal beside ours, under the
        # keyboard, takes the focus once the pointer is over it.
        beside = desktop.cat_terminal("beside")
        # Once it has gone, ours has the whole workspace again before the
        # next test looks at what lies under the keyboard.
        self.addCleanup(kd.wait_until, lambda: desktop.window_rect(self.terminal.title) == desktop.usable_area(),
                        what="the terminal to fill the workspace again")
        self.addCleanup(desktop.stop, beside.proc)
        # The keyboard is now over the new, right-hand terminal. Until sway
        # has laid the two out (it tells the new one's focus before), a move
        # to the left one may not count as going from one to the other.
        self.kelvo.leave()

        def crossed_to_the_left():
            self.kelvo.leave()
            desktop.pointer.move(10, 10)
            return desktop.focused_app() == self.terminal.title
        kd.wait_until(crossed_to_the_left, interval=0.1, what="the pointer on the left terminal to focus it")
        desktop.pointer.move(*self.kelvo.centre_of(kd.KEY_H))
        self.assertEqual(self.terminal.take("h"), "h")
        self.assertFocusKept("while the pointer rested on a key over another window")
        desktop.pointer.move(*self.kelvo.screen_point(10, 10))
        kd.wait_until(lambda: desktop.focused_app() == beside.title,
                      what="the pointer in a gap to reach the window beneath")
        self.assertStops("typing went on with the pointer in a gap")
        desktop.pointer.move(10, 10)
        kd.wait_until(lambda: desktop.focused_app() == self.terminal.title, what="the focus back")

    def test_the_logo_drags_the_window_without_taking_the_focus(self):
        self.kelvo.drag("cmdKelvo", -400, -200)
        kd.wait_until(self.kelvo.shows, what="the keyboard where the drag put it")
        self.assertFocusKept("after the drag")
        self.kelvo.press(kd.KEY_H, self.terminal)
        self.assertRegex(self.terminal.collect(), kd.once_or_twice("h"))

    def test_the_settings_dialog_opens_above_with_its_corner_at_the_pointer_and_takes_clicks(self):
        left, top, _, _ = kd.CONTROL_RECTS["cmdKelvo"]
        x, y = self.kelvo.screen_point(left + 10, top + 5)
        desktop.pointer.click(x, y, button=3)
        dialog = (x - 625, y - 319)  # its size: 9375 x 4785 twips
        # Beside the corner lies the dialog's white, over the keyboard's keys.
        white = lambda px: min(px) > 235
        kd.wait_until(lambda: white(desktop.shot().pixel(x - 3, y - 3)), what="the dialog at the pointer")
        self.assertFalse(white(desktop.shot().pixel(x + 3, y + 3)), "the dialog reaches past the pointer")
        box = (dialog[0] + 480 + 6, dialog[1] + 170 + 13)  # chkBeep at 7200, 2550 twips
        checked = desktop.shot((box[0] - 4, box[1] - 4, 9, 9)).pixels
        desktop.pointer.click(dialog[0] + 532, dialog[1] + 183)
        kd.wait_until(lambda: desktop.shot((box[0] - 4, box[1] - 4, 9, 9)).pixels != checked,
                      what="the check box to change")
        desktop.pointer.click(dialog[0] + 530, dialog[1] + 243)  # Ok
        kd.wait_until(lambda: not white(desktop.shot().pixel(x - 3, y - 3)), what="Ok to hide the dialog")
        self.assertFocusKept("after the dialog")


class Typing(WaylandCase):
    def test_resting_on_a_key_types_it_every_tick_and_leaving_stops_it(self):
        self.kelvo.rest_on(kd.KEY_H, None, until=lambda: len(self.terminal.received()) >= 4)
        self.assertStops("typing went on after the pointer left")
        typed = self.terminal.take(b"")
        self.assertRegex(typed, "^h{4,6}$", "resting on H until four had come")
        self.assertFocusKept("while typing")

    def test_the_very_first_keystroke_arrives(self):
        # A virtual keyboard is what gives this seat its keyboard at all:
        # the terminal starts listening only then.
        self.kelvo.press(kd.KEY_A, self.terminal)
        self.assertEqual(self.terminal.collect(), "a" * self.kelvo.sent("a"), "a keystroke was lost")

    def test_shift_latched_gives_capitals_and_shortcuts_go_as_a_hardware_keyboard_sends_them(self):
        self.kelvo.latch(kd.KEY_SHIFT)
        self.kelvo.press(kd.KEY_A, self.terminal)
        self.kelvo.latch(kd.KEY_SHIFT, on=False)
        self.kelvo.press(kd.KEY_A, self.terminal)
        self.assertRegex(self.terminal.collect(), kd.once_or_twice("Aa"))
        self.kelvo.latch(30)  # Ctrl
        self.kelvo.press(2, self.terminal)  # C
        self.kelvo.latch(30, on=False)
        self.assertRegex(self.terminal.collect(), kd.once_or_twice("\x03"), "Ctrl latched, then C")

    def test_a_window_opened_over_the_resting_key_stops_the_typing(self):
        x, y = self.kelvo.centre_of(kd.KEY_H)
        desktop.pointer.move(x, y)
        self.terminal.take("h")
        desktop.pointer.command("cover", x - 50, y - 50, 100, 100)
        self.addCleanup(desktop.pointer.command, "uncover")
        self.assertStops("H went on typing under the window over it")

    def test_on_the_german_layout_every_key_types_its_character(self):
        desktop.pointer.command("keyboard", "de")
        self.addCleanup(desktop.pointer.command, "keyboard", "none")
        # (The Shift the user's keyboard taps to become the seat's types nothing.)
        expected = ""
        for index, character in enumerate(kd.KEY_CHARACTERS):
            if character:
                self.kelvo.press(index, self.terminal)
                expected += character
        typed = self.terminal.take(expected)
        self.assertRegex(typed, kd.once_or_twice(expected))
        self.assertNotIn("kelvo: a key could not be typed", self.kelvo.stderr())


class Ending(WaylandCase):
    def test_exit_and_sigterm_while_typing_leave_no_key_held(self):
        self.kelvo.latch(kd.KEY_SHIFT)
        desktop.pointer.move(*self.kelvo.centre_of(kd.KEY_H))
        kd.wait_until(lambda: len(self.terminal.received()) >= 2, what="H typing")
        self.kelvo.proc.send_signal(signal.SIGTERM)
        self.assertEqual(self.kelvo.wait(), 0, self.kelvo.stderr())
        # A key left down would repeat in the terminal.
        self.assertStops("keys went on coming after SIGTERM")
        self.assertRegex(self.terminal.take(b""), "^H+$")
        self.assertEqual(wd.held_in_trace(self.kelvo.stderr()), [], self.kelvo.stderr())

        again = self.start_kelvo()
        again.click("cmdExit")
        self.assertEqual(again.wait(), 0, again.stderr())
        self.assertEqual(wd.held_in_trace(again.stderr()), [])

    def test_minimise_hides_into_the_tray_and_its_icon_brings_the_keyboard_back_in_place(self):
        kd.wait_until(desktop.has_tray_host, what="swaybar's tray")
        self.kelvo.drag("cmdKelvo", -300, -100)
        kd.wait_until(self.kelvo.shows, what="the keyboard where the drag put it")
        self.kelvo.click("cmdMinimize")
        kd.wait_until(lambda: not self.kelvo.shows(), what="the keyboard to hide")
        # The tray's one icon sits at the bar's right end.
        width, height = desktop.shot().width, desktop.shot().height
        desktop.pointer.click(width - 14, height - 15)
        kd.wait_until(self.kelvo.shows, what="the tray icon to bring the keyboard back where it was")
        self.assertFocusKept("after the keyboard came back")
        self.kelvo.press(kd.KEY_H, self.terminal)
        self.assertRegex(self.terminal.collect(), kd.once_or_twice("h"))


class NoTray(WaylandCase):
    """Runs nested, on a desktop without the bar and so without a tray."""

    def test_minimise_leaves_the_logo_alone_and_resting_on_it_or_a_click_brings_the_keys_back(self):
        self.assertFalse(desktop.has_tray_host())
        for restore in ("rest", "click"):
            self.kelvo.click("cmdMinimize")
            kd.wait_until(lambda: not self.kelvo.shows(), what="the keys to hide")
            logo = self.kelvo.centre_of("cmdKelvo")
            self.assertNotEqual(desktop.shot().pixel(*logo), desktop.shot().pixel(logo[0], logo[1] - 80),
                                "the logo went with the keys")
            if restore == "rest":
                desktop.pointer.move(*logo)
                kd.wait_until(self.kelvo.shows, what="a rest on the logo to bring the keys back")
            else:
                self.kelvo.click("cmdKelvo")
                kd.wait_until(self.kelvo.shows, what="a click on the logo to bring the keys back")
            self.kelvo.leave()
        self.kelvo.press(kd.KEY_H, self.terminal)
        self.assertRegex(self.terminal.collect(), kd.once_or_twice("h"))


class AwkwardDesktops(unittest.TestCase):
    def test_without_a_tray_the_logo_is_the_way_back(self):
        env = dict(os.environ, KELVO_NESTED="NoTray")
        done = subprocess.run([WAYLAND_DESKTOP, "--no-bar", "--", sys.executable, os.path.abspath(__file__)],
                              env=env, capture_output=True, text=True, timeout=120)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)


def load_tests(loader, tests, pattern):
    """The nested group alone when nested, else everything but it."""
    nested = os.environ.get("KELVO_NESTED")
    chosen = [NoTray] if nested == "NoTray" else [Window, Typing, Ending, AwkwardDesktops]
    return unittest.TestSuite(loader.loadTestsFromTestCase(c) for c in chosen)


if __name__ == "__main__":
    unittest.main()
