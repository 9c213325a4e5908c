"""The finished keyboard on a desktop: what its keys look like on the screen,
that its background never shows, and that resting once on every key in turn
types every key, once (twice at most on a busy machine), in order. (That
the background takes no clicks is test_keyboard's.)"""

import itertools
import os
import statistics
import time
import unittest

import kelvo_desktop as kd

# Just over one dwell period: one keystroke, whichever way the tick falls.
ONE_TICK = 0.3

desktop = kd.ModuleDesktop()
setUpModule, tearDownModule = desktop.open, desktop.close


class Screen:
    """One screenshot of the whole screen, by kelvo-screenshot, as a PPM."""

    def __init__(self, path):
        kd.run([os.path.join(kd.build_dir(), "kelvo-screenshot"), path])
        self.width, self.height, self.pixels = kd.read_ppm(path)

    def pixel(self, x, y):
        at = 3 * (y * self.width + x)
        return tuple(self.pixels[at:at + 3])

    def median(self, left, top, width, height):
        """The median colour, channel by channel, of a rectangle: the face's
        own colour, whatever its caption or icon adds."""
        pixels = [self.pixel(x, y) for y in range(top, top + height) for x in range(left, left + width)]
        return tuple(int(statistics.median(p[c] for p in pixels)) for c in range(3))


class Looks(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.events = desktop.key_events()
        desktop.focus(cls.events.window)
        cls.kelvo = desktop.kelvo()

    @classmethod
    def tearDownClass(cls):
        cls.kelvo.stop()

    def setUp(self):
        self.kelvo.leave()
        self.events.skip()

    def shot(self):
        return Screen(desktop.path("screen.ppm"))

    def face(self, screen, control):
        """The median colour of a key or control, less a pixel at each edge."""
        l, t, w, h = kd.KEY_RECTS[control] if isinstance(control, int) else kd.CONTROL_RECTS[control]
        x, y = self.kelvo.screen_point(l, t)
        return screen.median(x + 1, y + 1, w - 2, h - 2)

    def rest_until_typed(self, key):
        """Rests on key until it has typed, then moves away."""
        before = len(self.events.events())
        self.kelvo.move_onto(key)
        kd.wait_until(lambda: kd.presses(self.events.events()[before:]), what="a keystroke from key %d" % key)
        self.kelvo.leave()
        time.sleep(0.05)

    def toggle_latch(self, key, plain, attempts=5):
        """Rests one tick on a latch key, which types nothing of its own, until
        its face is tinted if it was plain or plain if it was tinted; a tick
        falling either side of the rest only costs another try."""
        latched = self.face(self.shot(), key) != plain
        for _ in range(attempts):
            self.kelvo.move_onto(key)
            time.sleep(ONE_TICK)
            self.kelvo.leave()
            time.sleep(0.1)
            face = self.face(self.shot(), key)
            if (face != plain) != latched:
                return face
        self.fail("key %d kept its face after %d tries" % (key, attempts))

    def test_faces_show_their_colours_and_the_background_never_shows(self):
        screen = self.shot()
        info = self.kelvo.info()
        inside = [screen.pixel(x, y) for y in range(info["y"], info["y"] + info["height"])
                  for x in range(info["x"], info["x"] + info["width"])]
        self.assertFalse(any(kd.greenish(p) for p in inside), "the green background shows")

        def check(control, test, what):
            rgb = self.face(screen, control)
            self.assertTrue(test(*rgb), "%s is %r, not %s" % (control, rgb, what))
        for letter in (0, 7, 16, 25):
            check(letter, lambda r, g, b: b > 170 and b > r + 60 and b > g + 40, "dark blue")
        for arrow in (54, 55, 56, 57):
            check(arrow, lambda r, g, b: max(r, g, b) - min(r, g, b) < 30 and 60 < g < 230, "grey")
        check(27, lambda r, g, b: r > 170 and g < 140 and b < 110, "orange-red")   # Del
        check(28, lambda r, g, b: r > 170 and g > 130 and b < 110, "golden")       # Enter
        normal = self.face(screen, 0)

        # Over: the letter turns light blue while the pointer is on it.
        self.kelvo.move_onto(0)
        over = kd.wait_until(lambda: (lambda rgb: rgb if rgb != normal else None)(self.face(self.shot(), 0)),
                             what="key A's face to change under the pointer")
        self.kelvo.leave()
        r, g, b = over
        self.assertTrue(b > 200 and r > normal[0] + 30 and g > normal[1] + 30, "Over is %r" % (over,))

    def test_a_latched_shift_is_tinted_until_released(self):
        plain = self.face(self.shot(), kd.KEY_SHIFT)
        self.assertEqual(plain, self.face(self.shot(), kd.KEY_SHIFT + 1), "Shift looks like Ctrl")
        latched = self.toggle_latch(kd.KEY_SHIFT, plain)
        self.assertGreater(max(abs(a - b) for a, b in zip(latched, plain)), 40, (latched, plain))
        self.assertEqual(self.toggle_latch(kd.KEY_SHIFT, plain), plain)

    def test_resting_once_on_each_key_types_each_once_in_order(self):
        expected = [chr(ord("a") + i) for i in range(26)] + [
            "space", "Delete", "Return", "period", "quotedbl", "slash", "at", "colon", "comma",
            "ampersand", "asterisk", "equal", "plus", "minus", "7", "8", "9", "4", "5", "6", "1", "2",
            "3", "0", "period", "Up", "Right", "Left", "Down", "ISO_Left_Tab", "Tab", "BackSpace",
            "Escape"]
        # Shift, Ctrl and Alt type nothing of their own: they latch (above,
        # and test_keyboard's capitals).
        for key in range(62):
            if key not in (29, 30, 31):
                self.rest_until_typed(key)
        names = [e.name for e in kd.presses(self.events.collect())]
        # On a busy machine the next tick may come before the pointer has
        # gone: a key then types twice, never more.
        runs = [list(run) for _, run in itertools.groupby(names)]
        self.assertEqual([run[0] for run in runs], expected)
        self.assertLessEqual(max(len(run) for run in runs), 2, names)


if __name__ == "__main__":
    unittest.main()
