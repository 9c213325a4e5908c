"""The keyboard on a headless sway whose output is scaled by 2: it sits at
its place above the bar, twice the size in the output's pixels; none of its
background shows; resting on H types h; and its picture is drawn at the
output's pixels: against the keyboard at scale 1 enlarged smoothly to the
same size, its edges are steeper and no blockier (as test_scale's on X11).
Where sway and Qt speak the fractional-scale protocol (sway 1.8, Qt 6.5 and
later), at output scale 1.5 too: its place, 1.5 times the size, no
background, H typing h.

Run through scripts/wayland-desktop with KELVO_BUILD set (ctest does both).
"""

import os
import re
import subprocess
import unittest

import kelvo_desktop as kd
import picture_measures as pm
import wayland_desktop as wd

wd.skip_unless_tools()

desktop = kd.ModuleDesktop(wd.WaylandDesktop)
setUpModule, tearDownModule = desktop.open, desktop.close


def version(text):
    return tuple(int(n) for n in re.findall(r"\d+", text)[:2])


def fractional_scales():
    """Whether this sway and this Qt draw a surface at a fractional scale."""
    qt = subprocess.run(["dpkg-query", "-W", "-f", "${Version}", "libqt6gui6"],
                        capture_output=True, text=True).stdout
    return version(wd.swaymsg("-t", "get_version")["human_readable"]) >= (1, 8) and version(qt) >= (6, 5)


def picture(kelvo, scale):
    """The keyboard's rectangle of the output, at its pixels: (width,
    height, RGB bytes)."""
    x, y = kelvo.origin
    path = desktop.path("keyboard.ppm")
    kd.run(["grim", "-t", "ppm", "-s", str(scale), "-g", "%d,%d %dx%d" % (x, y, *kd.KEYBOARD_SIZE), path])
    return kd.read_ppm(path)


class Scaled(unittest.TestCase):
    def test_at_output_scales_2_and_1_5_it_is_bigger_and_drawn_at_the_outputs_pixels(self):
        terminal = desktop.cat_terminal()
        one = desktop.kelvo()
        w1, h1, rgb1 = picture(one, 1)
        one.stop()

        self.addCleanup(wd.swaymsg, "output", "*", "scale", "1")
        self.addCleanup(desktop.pointer.command, "layout", 0, 0)
        width = desktop.usable_area()[2]
        for scale in (2, 1.5) if fractional_scales() else (2,):
            with self.subTest(scale=scale):
                wd.swaymsg("output", "*", "scale", str(scale))
                kd.wait_until(lambda: abs(desktop.usable_area()[2] - width / scale) <= 1,
                              what="the output to take scale %s" % scale)
                rect = wd.swaymsg("-t", "get_outputs")[0]["rect"]
                desktop.pointer.command("layout", rect["width"], rect["height"])
                scaled = desktop.kelvo()
                try:
                    self.check_scaled(scaled, scale, terminal, (w1, h1, rgb1))
                finally:
                    scaled.stop()

    def check_scaled(self, kelvo, scale, terminal, at_one):
        w1, h1, rgb1 = at_one
        ax, ay, aw, ah = desktop.usable_area()
        self.assertEqual(kelvo.origin, (ax + aw - kd.KEYBOARD_SIZE[0], ay + ah - kd.KEYBOARD_SIZE[1]))
        w, h, rgb = picture(kelvo, scale)
        self.assertEqual((w, h), (round(scale * w1), round(scale * h1)))
        pixels = [tuple(rgb[i:i + 3]) for i in range(0, len(rgb), 3)]
        self.assertFalse(any(kd.greenish(p) for p in pixels), "the green background shows")
        # Its top key, Q, shows at its place in the output's pixels too: the
        # keyboard spans them all.
        left, top, width, height = kd.KEY_RECTS[16]
        r, g, b = pixels[int(scale * (top + height // 2)) * w + int(scale * (left + 3))]
        self.assertTrue(b > 150 and b > r + 50, "Q is %r" % ((r, g, b),))

        if scale == 2:
            smooth = pm.edge_measures(pm.enlarged_smoothly(pm.luminance(w1, h1, rgb1)))
            native = pm.edge_measures(pm.luminance(w, h, rgb))
            self.assertGreater(native[0], 1.5 * smooth[0], "sharpness: at 2 %r, 1 enlarged %r" % (native, smooth))
            self.assertGreater(native[1], smooth[1] / 3, "spread: at 2 %r, 1 enlarged %r" % (native, smooth))

        kelvo.rest_on(kd.KEY_H, None, until=terminal.received)
        self.assertRegex(terminal.collect(), "^h{1,3}$")


if __name__ == "__main__":
    unittest.main()
