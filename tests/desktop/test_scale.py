"""The keyboard on an X11 desktop scaled up: under QT_SCALE_FACTOR=2, and
with the desktop's Xft.dpi at 144. It sits at its place, bottom right of the
work area, that much larger; none of its background shows; resting on H
types h; and at 2 its picture is drawn at the screen's pixels: against the
keyboard at 1 enlarged smoothly to the same size, its edges are steeper and
no blockier (see picture_measures.edge_measures).

Run through scripts/virtual-desktop with KELVO_BUILD set (ctest does both).
"""

import os
import unittest

import kelvo_desktop as kd
import picture_measures as pm

kd.skip_unless_tools("xterm", "xdotool", "xprop", "xwininfo", "Xvfb", "tint2")

desktop = kd.ModuleDesktop()
setUpModule, tearDownModule = desktop.open, desktop.close


class Scaled(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.terminal = desktop.cat_terminal()

    def setUp(self):
        desktop.focus(self.terminal.window)
        self.terminal.skip()

    def start(self, env=None, scale=1):
        kelvo = desktop.kelvo(dict(os.environ, **(env or {})), scale=scale)
        self.addCleanup(kelvo.stop)
        return kelvo

    def picture(self, kelvo):
        """The keyboard window's pixels: (width, height, RGB bytes)."""
        info = kelvo.info()
        path = desktop.path("keyboard.ppm")
        kd.run([os.path.join(kd.build_dir(), "kelvo-screenshot"), path,
                str(info["x"]), str(info["y"]), str(info["width"]), str(info["height"])])
        return kd.read_ppm(path)

    def check_place_background_and_typing(self, kelvo, scale):
        """At the work area's bottom-right corner, scale times the size, no
        green, and a rest on H types h."""
        ax, ay, aw, ah = kd.work_area()
        width, height = (round(n * scale) for n in kd.KEYBOARD_SIZE)
        info = kelvo.info()
        self.assertEqual((info["x"], info["y"], info["width"], info["height"]),
                         (ax + aw - width, ay + ah - height, width, height))
        w, h, rgb = self.picture(kelvo)
        self.assertFalse(any(kd.greenish(tuple(rgb[i:i + 3])) for i in range(0, len(rgb), 3)),
                         "the green background shows")
        kelvo.move_onto(kd.KEY_H)
        kd.wait_until(lambda: self.terminal.received(), what="a keystroke from H")
        kelvo.leave()
        typed = self.terminal.collect()
        self.assertRegex(typed, "^h{1,3}$")
        return w, h, rgb

    def test_at_twice_the_scale_it_is_twice_the_size_and_drawn_at_the_screens_pixels(self):
        one = self.start()
        w1, h1, rgb1 = self.picture(one)
        one.stop()
        two = self.start({"QT_SCALE_FACTOR": "2"}, scale=2)
        w2, h2, rgb2 = self.check_place_background_and_typing(two, 2)
        self.assertEqual((w2, h2), (2 * w1, 2 * h1))
        smooth = pm.edge_measures(pm.enlarged_smoothly(pm.luminance(w1, h1, rgb1)))
        native = pm.edge_measures(pm.luminance(w2, h2, rgb2))
        # Steeper edges than the smooth enlargement, and changes inside the
        # aligned pixel pairs at least a third as often, against those
        # between pairs, as there (each pixel drawn twice would give none).
        self.assertGreater(native[0], 1.5 * smooth[0], "sharpness: at 2 %r, 1 enlarged %r" % (native, smooth))
        self.assertGreater(native[1], smooth[1] / 3, "spread: at 2 %r, 1 enlarged %r" % (native, smooth))

    def test_with_the_desktops_dpi_at_144_it_is_half_as_large_again(self):
        resources = kd.xprop(None, "RESOURCE_MANAGER")
        kd.run(["xprop", "-root", "-f", "RESOURCE_MANAGER", "8s", "-set", "RESOURCE_MANAGER", "Xft.dpi:\t144\n"])
        self.addCleanup(kd.run, ["xprop", "-root", "-remove", "RESOURCE_MANAGER"])
        self.assertNotIn("Xft.dpi", resources, "the desktop had a dpi of its own")
        self.check_place_background_and_typing(self.start(scale=1.5), 1.5)


if __name__ == "__main__":
    unittest.main()
