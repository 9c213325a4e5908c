"""The keyboard on a headless sway whose output is scaled by 2: it sits at
its place above the bar, twice the size in the output's pixels; none of its
background shows; resting on H types h; and its picture is drawn at the
output's pixels: against the keyboard at scale 1 enlarged smoothly to the
same size, its edges are steeper and no blockier (as test_scale's on X11).

Run through scripts/wayland-desktop with KELVO_BUILD set (ctest does both).
"""

import os
import unittest

import kelvo_desktop as kd
import picture_measures as pm
import wayland_desktop as wd

wd.skip_unless_tools()

desktop = kd.ModuleDesktop(wd.WaylandDesktop)
setUpModule, tearDownModule = desktop.open, desktop.close


def picture(kelvo, scale):
    """The keyboard's rectangle of the output, at its pixels: (width,
    height, RGB bytes)."""
    x, y = kelvo.origin
    path = desktop.path("keyboard.ppm")
    kd.run(["grim", "-t", "ppm", "-s", str(scale), "-g", "%d,%d %dx%d" % (x, y, *kd.KEYBOARD_SIZE), path])
    return kd.read_ppm(path)


class Scaled(unittest.TestCase):
    def test_at_output_scale_2_it_is_twice_the_size_and_drawn_at_the_outputs_pixels(self):
        terminal = desktop.cat_terminal()
        one = desktop.kelvo()
        w1, h1, rgb1 = picture(one, 1)
        one.stop()

        wd.swaymsg("output", "*", "scale", "2")
        self.addCleanup(wd.swaymsg, "output", "*", "scale", "1")
        kd.wait_until(lambda: desktop.usable_area()[2] < 1920 * 3 // 4, what="the output to take scale 2")
        two = desktop.kelvo()
        self.addCleanup(two.stop)
        ax, ay, aw, ah = desktop.usable_area()
        self.assertEqual(two.origin, (ax + aw - kd.KEYBOARD_SIZE[0], ay + ah - kd.KEYBOARD_SIZE[1]))
        w2, h2, rgb2 = picture(two, 2)
        self.assertEqual((w2, h2), (2 * w1, 2 * h1))
        pixels = [tuple(rgb2[i:i + 3]) for i in range(0, len(rgb2), 3)]
        self.assertFalse(any(kd.greenish(p) for p in pixels), "the green background shows")
        # Its top key, Q, shows at its place in the output's pixels too: the
        # keyboard spans them all.
        left, top, width, height = kd.KEY_RECTS[16]
        r, g, b = pixels[2 * (top + height // 2) * w2 + 2 * (left + 3)]
        self.assertTrue(b > 150 and b > r + 50, "Q is %r" % ((r, g, b),))

        smooth = pm.edge_measures(pm.enlarged_smoothly(pm.luminance(w1, h1, rgb1)))
        native = pm.edge_measures(pm.luminance(w2, h2, rgb2))
        self.assertGreater(native[0], 1.5 * smooth[0], "sharpness: at 2 %r, 1 enlarged %r" % (native, smooth))
        self.assertGreater(native[1], smooth[1] / 3, "spread: at 2 %r, 1 enlarged %r" % (native, smooth))

        two.rest_on(kd.KEY_H, 0.3)
        kd.wait_until(lambda: terminal.received(), what="a keystroke from H")
        self.assertRegex(terminal.collect(), "^h{1,2}$")


if __name__ == "__main__":
    unittest.main()
