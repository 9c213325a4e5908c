"""The keyboard on a headless Mutter: its window through XWayland (placed at
the work area's corner, above, never focused) typing by XTest into an X11
client while no desktop portal answers; and, with the tests' stand-in portal
handing keysyms on to Mutter's own remote-desktop API, the very first dwell
keystroke and a Shift-latched capital arriving in a native Wayland client,
while kelvo-sendkeys keeps to XTest without asking.

Run through scripts/wayland-desktop --compositor mutter with KELVO_BUILD set
(ctest does both); the pointer moves by XTest on Mutter's XWayland.
"""

import os
import re
import subprocess
import sys
import time
import unittest

import kelvo_desktop as kd

kd.skip_unless_tools("mutter", "xdotool", "xprop", session="WAYLAND_DISPLAY",
                     harness="scripts/wayland-desktop --compositor mutter")

FAKE_PORTAL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fake_portal.py")

desktop = kd.ModuleDesktop()
setUpModule, tearDownModule = desktop.open, desktop.close


def kelvo_env():
    env = dict(os.environ, KELVO_TRACE="1")
    env.pop("QT_QPA_PLATFORM", None)  # kelvo picks XWayland itself
    return env


class ThroughXWayland(unittest.TestCase):
    def test_window_placed_above_unfocused_and_typing_into_an_x11_client(self):
        os.environ["QT_QPA_PLATFORM"] = "xcb"
        try:
            field = desktop.text_client("qt")
        finally:
            del os.environ["QT_QPA_PLATFORM"]
        kelvo = desktop.kelvo(kelvo_env())
        self.addCleanup(kelvo.stop)
        x, y, w, h = kd.work_area()
        info = kelvo.info()
        self.assertEqual((info["x"], info["y"]), (x + w - 264, y + h - 298),
                         "bottom-right corner at the work area's %s" % ((x, y, w, h),))
        self.assertIn("_NET_WM_STATE_ABOVE", kd.xprop(kelvo.window, "_NET_WM_STATE"))
        self.assertEqual(desktop.focused_window(), field.window, "kelvo took the focus when shown")

        kelvo.rest_on(kd.KEY_H, None, until=lambda: len(field.text() or "") >= 4)
        kd.wait_until(lambda: field.text() == "h" * kelvo.sent("h"), what="every h kelvo sent")
        self.assertRegex(field.text(), r"^h{4,6}$")
        self.assertEqual(desktop.focused_window(), field.window, "kelvo took the focus while typing")
        # No portal with a remote desktop on this bus (the machine's own may
        # be started, with no back end for it): said once, in words, and
        # XTest goes on.
        lines = [l for l in kelvo.stderr().splitlines() if "Wayland" in l]
        self.assertEqual(len(lines), 1, kelvo.stderr())
        self.assertRegex(lines[0], r"X11 programs only \(the desktop portal "
                                   r"(\(xdg-desktop-portal\) is not running|offers no remote desktop)\)$")


class ThroughThePortal(unittest.TestCase):
    def setUp(self):
        self.log = desktop.path("portal-%s.log" % self._testMethodName)
        self.portal = desktop.start(["/usr/bin/python3", FAKE_PORTAL, "--log", self.log, "--mutter"],
                                    stdout=subprocess.PIPE, text=True)
        self.assertEqual(self.portal.stdout.readline().strip(), "ready")
        self.addCleanup(desktop.stop, self.portal)
        # A native Wayland client, focused by Mutter when it maps.
        self.text_file = desktop.path("wayland-field.txt")
        field = desktop.start([os.path.join(kd.build_dir(), "kelvo-text-field"), "native", self.text_file],
                              env=dict(os.environ, QT_QPA_PLATFORM="wayland"),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(desktop.stop, field)
        kd.wait_until(lambda: os.path.exists(self.text_file), what="the Wayland text field")
        time.sleep(0.3)  # mapped and focused after it first writes its file
        self.kelvo = desktop.kelvo(kelvo_env())
        self.addCleanup(self.kelvo.stop)
        kd.wait_until(lambda: "every program through the desktop portal" in self.kelvo.stderr(),
                      what="the portal's answer")

    def text(self):
        with open(self.text_file, encoding="utf-8") as f:
            return f.read()

    def test_first_keystroke_and_a_capital_reach_a_wayland_client(self):
        try:
            self.kelvo.press(kd.KEY_H, self.text)
        except TimeoutError:
            with open(self.log, encoding="utf-8") as log:
                self.fail("the first keystroke did not arrive (holds %r); kelvo: %s\nportal: %s"
                          % (self.text(), self.kelvo.stderr(), log.read()))
        kd.wait_until(lambda: self.text() == "h" * self.kelvo.sent("h"),
                      what="every h kelvo sent (holds %r)" % self.text())
        self.kelvo.latch(kd.KEY_SHIFT)
        self.kelvo.press(kd.KEY_H, self.text)
        kd.wait_until(lambda: self.text() == "h" * self.kelvo.sent("h") + "H" * self.kelvo.sent("+h"),
                      what="a capital (holds %r)" % self.text())
        self.assertIn("+65505:Shift_L +104:h -104:h -65505:Shift_L", self.kelvo.stderr())

    def test_kelvo_sendkeys_never_asks_the_portal(self):
        done = kd.run([os.path.join(kd.build_dir(), "kelvo-sendkeys"), "x"], check=False)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("X11 programs only", done.stderr)
        with open(self.log, encoding="utf-8") as log:
            self.assertEqual(log.read().count("CreateSession"), 1, "kelvo-sendkeys asked the portal")


class AtScaleTwo(unittest.TestCase):
    def test_the_keyboard_is_drawn_for_the_pixels_x11_programs_see(self):
        done = subprocess.run([os.path.join(kd.source_dir(), "scripts", "wayland-desktop"), "--compositor",
                               "mutter", "--size", "2560x1440", "--", sys.executable, os.path.abspath(__file__)],
                              env=dict(os.environ, KELVO_NESTED="Scaled"), capture_output=True, text=True,
                              timeout=180)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)


class Scaled(unittest.TestCase):
    """Runs nested, on a Mutter whose one monitor is made to scale 2."""

    def test_at_the_corner_at_twice_the_size_where_x11_programs_see_real_pixels(self):
        import dbus
        config = dbus.Interface(dbus.SessionBus().get_object("org.gnome.Mutter.DisplayConfig",
                                                             "/org/gnome/Mutter/DisplayConfig"),
                                "org.gnome.Mutter.DisplayConfig")
        serial, monitors, _, _ = config.GetCurrentState()
        connector, mode = monitors[0][0][0], monitors[0][1][0][0]
        config.ApplyMonitorsConfig(serial, 1, [(0, 0, 2.0, dbus.UInt32(0), True, [(connector, mode, {})])], {})
        kd.wait_until(lambda: [l[2] for l in config.GetCurrentState()[2]] == [2.0], what="Mutter at scale 2")
        # Where X11 programs see the monitor's real pixels (XWayland's native
        # scaling, Mutter 50's default, or a physical layout), GNOME's
        # settings daemon tells them the scale through Xft.dpi, which this
        # desktop has no daemon for: the test tells them.
        width = int(re.search(r"dimensions:\s+(\d+)x", kd.run(["xdpyinfo"]).stdout).group(1))
        scale = width * 2 // 2560
        if scale == 2:
            kd.run(["xprop", "-root", "-format", "RESOURCE_MANAGER", "8s", "-set", "RESOURCE_MANAGER",
                    "Xft.dpi:\t192\n"])
        with kd.Desktop() as here:
            os.environ["QT_QPA_PLATFORM"] = "xcb"
            try:
                field = here.text_client("qt")
            finally:
                del os.environ["QT_QPA_PLATFORM"]
            kelvo = here.kelvo(kelvo_env(), scale=scale)
            x, y, w, h = kd.work_area()
            info = kelvo.info()
            self.assertEqual((info["x"] + info["width"], info["y"] + info["height"]), (x + w, y + h),
                             "at the work area's corner %s" % ((x, y, w, h),))
            self.assertEqual((info["width"], info["height"]), (264 * scale, 298 * scale))
            kelvo.press(kd.KEY_H, lambda: field.text() or "")
            kd.wait_until(lambda: field.text() == "h" * kelvo.sent("h"), what="every h kelvo sent")
            self.assertEqual(here.focused_window(), field.window, "kelvo took the focus")


def load_tests(loader, tests, pattern):
    """The nested group alone when nested, else the others."""
    if os.environ.get("KELVO_NESTED") == "Scaled":
        return loader.loadTestsFromTestCase(Scaled)
    return unittest.TestSuite(loader.loadTestsFromTestCase(c) for c in (ThroughXWayland, ThroughThePortal,
                                                                        AtScaleTwo))


if __name__ == "__main__":
    unittest.main(verbosity=2)
