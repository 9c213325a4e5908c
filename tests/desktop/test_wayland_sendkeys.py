"""kelvo-sendkeys on a headless sway, through its virtual keyboard: the first
key on a seat that had no keyboard, the keys' characters on the us and de
layouts as the user's keyboard switches between them, characters neither
layout has, shortcuts as a hardware keyboard sends them, a string that
cannot be typed refused whole, a compositor without the protocols, and a
signal in the middle of a long send.

Run through scripts/wayland-desktop with KELVO_BUILD set (ctest does both).
"""

import os
import signal
import subprocess
import unittest

import kelvo_desktop as kd
import wayland_desktop as wd
from sendkeys_cases import MANY_DISTINCT, OFF_THE_LAYOUT, ON_THE_KEYS, SENTENCE, SIGNS

wd.skip_unless_tools()

SENDKEYS = os.path.join(kd.build_dir(), "kelvo-sendkeys")

desktop = kd.ModuleDesktop(wd.WaylandDesktop)
terminal = None


def setUpModule():
    global terminal
    desktop.open()
    terminal = desktop.cat_terminal()


def tearDownModule():
    desktop.close()


def sendkeys(keys, env=None):
    """Runs kelvo-sendkeys with keys, tracing; returns the CompletedProcess."""
    env = dict(env if env is not None else os.environ, KELVO_TRACE="1")
    return subprocess.run([SENDKEYS, keys], capture_output=True, text=True, env=env, timeout=60)


class Sendkeys(unittest.TestCase):
    maxDiff = None

    def typed(self, keys):
        """What the terminal receives from keys, which must be sent with
        every key let go again."""
        terminal.take(b"")
        result = sendkeys(keys)
        self.assertEqual(result.returncode, 0, "%r: %s" % (keys, result.stderr))
        self.assertEqual(wd.held_in_trace(result.stderr), [], result.stderr)
        return terminal.collect()

    def test_the_first_key_on_a_seat_without_a_keyboard_arrives(self):
        # Each run brings the seat its only keyboard, which the terminal
        # starts listening to only then.
        for key in "xyz":
            self.assertEqual(self.typed(key), key)

    def test_the_keys_characters_follow_the_users_layout(self):
        self.addCleanup(desktop.pointer.command, "keyboard", "none")
        for layout in ("de", "us", "de"):
            desktop.pointer.command("keyboard", layout)
            for keys, expected in (ON_THE_KEYS, SENTENCE, SIGNS):
                with self.subTest(layout=layout, keys=keys):
                    self.assertEqual(self.typed(keys), expected)

    def test_characters_the_layout_lacks_arrive_exactly(self):
        for keys in (OFF_THE_LAYOUT, MANY_DISTINCT, "é", "жЖ"):
            with self.subTest(keys=keys):
                self.assertEqual(self.typed(keys), keys)

    def test_shortcuts_reach_the_terminal_as_from_a_hardware_keyboard(self):
        for keys, expected in (("^c", "\x03"), ("%{TAB}", "\x1b\t"), ("+{TAB}", "\x1b[Z"),
                               ("+ab+(cd)e+1", "AbCDe!"), ("^(ab)", "\x01\x02")):
            with self.subTest(keys=keys):
                self.assertEqual(self.typed(keys), expected)

    def test_a_string_that_cannot_be_typed_is_refused_whole(self):
        # More characters the layout lacks than it has free keys for.
        keys = "abc" + "".join(chr(0x4e00 + i) for i in range(600))
        terminal.take(b"")
        result = sendkeys(keys)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("spare keys", result.stderr)
        self.assertEqual(terminal.collect(), "", "part of the string was typed")
        # A malformed one, likewise, with where it goes wrong.
        result = sendkeys("ab{NOPE}")
        self.assertEqual(result.returncode, 2, result.stderr)
        self.assertIn("position", result.stderr)
        self.assertEqual(terminal.collect(), "")

    def test_a_compositor_without_the_protocols_is_named_with_what_it_lacks(self):
        fake = wd.FakeCompositor(desktop.tmp)
        self.addCleanup(fake.close)
        env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        result = sendkeys("a", env=dict(env, WAYLAND_DISPLAY=fake.path))
        self.assertEqual(result.returncode, 2, result.stderr)
        self.assertIn("zwp_virtual_keyboard_manager_v1", result.stderr)
        self.assertIn("DISPLAY is not set", result.stderr)
        self.assertEqual(len(result.stderr.strip().splitlines()), 1, result.stderr)

    def test_a_signal_mid_send_leaves_nothing_held(self):
        keys = "+(" + "{a 1000}" * 90 + ")"
        for sig in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal=sig.name):
                terminal.take(b"")
                proc = subprocess.Popen([SENDKEYS, keys], stderr=subprocess.PIPE, text=True,
                                        env=dict(os.environ, KELVO_TRACE="1"),
                                        preexec_fn=lambda: signal.signal(sig, signal.SIG_DFL))
                try:
                    kd.wait_until(terminal.received, what="typing to start")
                finally:
                    proc.send_signal(sig)
                    _, err = proc.communicate(timeout=60)
                self.assertEqual(proc.returncode, -sig, err[-300:])
                typed = terminal.collect(timeout=60)
                self.assertLess(len(typed), 90000, "the send was not cut short")
                self.assertEqual(set(typed), {"A"}, "a key went out without its Shift")
                self.assertEqual(wd.held_in_trace(err), [], err[-300:])
                self.assertEqual(self.typed("a"), "a")


if __name__ == "__main__":
    unittest.main(verbosity=2)
