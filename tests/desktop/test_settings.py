"""The settings dialog of the real program on a virtual desktop: its beep
switch silences the keystrokes that follow, its OK button hides it while the
keyboard goes on typing, and its close box takes it away.

Run through scripts/virtual-desktop with KELVO_BUILD set (ctest does both).
"""

import sys
import time
import unittest

import kelvo_desktop as kd
import pulse

kd.skip_unless_tools("xev", "xdotool", "xprop", "xwininfo")

TITLE = " Kelvo -  v2.0"
# Centres of the dialog's controls within its client area, in pixels.
BEEP_SWITCH = (480 + 52, 170 + 13)
OK_BUTTON = (491 + 39, 228 + 15)

desktop = kd.ModuleDesktop()
setUpModule, tearDownModule = desktop.open, desktop.close


class SettingsDialog(unittest.TestCase):
    def setUp(self):
        self.xev = desktop.key_events()
        self.addCleanup(desktop.stop, self.xev.proc)
        desktop.focus(self.xev.window)

    def start_kelvo(self, env=None):
        kelvo = desktop.kelvo(env)
        self.addCleanup(kelvo.stop)
        return kelvo

    def open_dialog(self, kelvo):
        """Right-presses the logo and returns the dialog's window once shown."""
        l, t, w, h = kd.CONTROL_RECTS["cmdKelvo"]
        kd.click(*kelvo.screen_point(l + w // 2, t + h // 2), button=3)
        return kd.wait_until(lambda: kd.windows_titled(TITLE, kelvo.proc.pid),
                             what="the settings dialog")[0]["id"]

    def click_in(self, dialog, point):
        info = kd.window_info(dialog)
        kd.click(info["x"] + point[0], info["y"] + point[1])

    def type_h(self, kelvo, count=2):
        """Rests on H until xev has received count h's, then leaves."""
        desktop.focus(self.xev.window)
        # A rest starts with a move onto the key.
        kelvo.leave()
        kelvo.move_onto(kd.KEY_H)
        try:
            kd.wait_until(lambda: sum(e.name == "h" for e in kd.presses(self.xev.events())) >= count,
                          what="%d h's in xev (got %r)" % (count, self.xev.events()))
        finally:
            kelvo.leave()
        self.xev.collect()

    def test_unchecking_beep_silences_the_keystrokes_that_follow(self):
        missing = pulse.pulseaudio_missing()
        if missing:
            self.skipTest("%s is not installed (scripts/install-deps installs it)" % missing)
        server = pulse.PulseServer().start()
        self.addCleanup(server.stop)
        kelvo = self.start_kelvo(server.client_env())
        self.xev.skip()

        # The beep is on at start: a keystroke is heard.
        with server.record() as before:
            self.type_h(kelvo, 1)
            before.wait_for_sound()

        dialog = self.open_dialog(kelvo)
        self.click_in(dialog, BEEP_SWITCH)
        # The close box: once the dialog is gone, the click before it has
        # been handled too.
        desktop.keyboard.close_window(dialog)
        kd.wait_until(lambda: kd.window_info(dialog) is None, what="the dialog to be destroyed")

        with server.record() as after:
            self.type_h(kelvo, 2)
            after.wait_for_more(0.3)
        tones = pulse.loud_segments(after.samples, after.rate)
        self.assertEqual(tones, [], "keystrokes still beep after the switch was turned off")

    def test_ok_hides_the_dialog_and_the_keyboard_keeps_typing(self):
        kelvo = self.start_kelvo()
        self.xev.skip()
        dialog = self.open_dialog(kelvo)
        # On top, and neither resizable nor maximisable.
        self.assertIn("_NET_WM_STATE_ABOVE", kd.xprop(dialog, "_NET_WM_STATE"))
        actions = kd.xprop(dialog, "_NET_WM_ALLOWED_ACTIONS")
        self.assertIn("_NET_WM_ACTION_CLOSE", actions)
        self.assertNotIn("_NET_WM_ACTION_RESIZE", actions)
        self.assertNotIn("_NET_WM_ACTION_MAXIMIZE", actions)
        # OK over key H: once it hides the dialog, H lies under a pointer
        # that has not moved, and types nothing until it does.
        h = kelvo.centre_of(kd.KEY_H)

        def ok():
            info = kd.window_info(dialog)
            return info["x"] + OK_BUTTON[0], info["y"] + OK_BUTTON[1]

        wanted = [h[0] - OK_BUTTON[0], h[1] - OK_BUTTON[1]]
        request = list(wanted)

        def moved():
            # Asked for by its client's corner, placed by its frame's: until there.
            if ok() != h:
                info = kd.window_info(dialog)
                request[0] += wanted[0] - info["x"]
                request[1] += wanted[1] - info["y"]
                kd.run(["xdotool", "windowmove", str(dialog), str(request[0]), str(request[1])])
                time.sleep(0.1)
            return ok() == h
        kd.wait_until(moved, what="OK over key H (at %s, H at %s)" % (ok(), h))
        self.click_in(dialog, OK_BUTTON)
        # Hidden, not destroyed: the window is still there, unmapped.
        kd.wait_until(lambda: (kd.window_info(dialog) or {}).get("map_state") == "IsUnMapped",
                      what="OK to hide the dialog (now %s)" % kd.window_info(dialog))
        time.sleep(0.8)
        self.assertEqual(kd.presses(self.xev.events()), [], "the key under OK typed on its own")

        self.type_h(kelvo, 2)
        self.assertEqual(kd.window_info(dialog)["map_state"], "IsUnMapped")

        # The next right press shows the same dialog again.
        self.assertEqual(self.open_dialog(kelvo), dialog)


if __name__ == "__main__":
    unittest.main(verbosity=2)
