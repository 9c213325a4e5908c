"""Wayland desktops kelvo cannot use as they are: a compositor without the
layer shell and the virtual keyboard (then kelvo says so in one line, and
goes through XWayland where there is an X display, or ends), and a
compositor that goes away under it (kelvo ends with a message and a
non-zero status, not by a signal).

Run through scripts/wayland-desktop with KELVO_BUILD set (ctest does both).
The compositor killed is one of a nested desktop, and the X display is a
nested virtual desktop's: this same file, told which through KELVO_NESTED.
"""

import os
import re
import signal
import subprocess
import sys
import unittest

import kelvo_desktop as kd
import wayland_desktop as wd

NESTED = os.environ.get("KELVO_NESTED")
if NESTED == "XWayland":
    kd.skip_unless_tools("xdotool", "xwininfo", "xprop")
else:
    wd.skip_unless_tools()

KELVO = os.path.join(kd.build_dir(), "kelvo")
HARNESS = {"XWayland": "virtual-desktop", "Killed": "wayland-desktop", "OutputGone": "wayland-desktop"}
LACKS = ("the layer shell (zwlr_layer_shell_v1) and the virtual keyboard "
         "(zwp_virtual_keyboard_manager_v1)")


def nested(case, name, *options):
    """Runs this file's group name on a desktop of its own; fails with its
    output if it fails."""
    script = os.path.join(kd.source_dir(), "scripts", HARNESS[name])
    done = subprocess.run([script, *options, "--", sys.executable, os.path.abspath(__file__)],
                          env=dict(os.environ, KELVO_NESTED=name), capture_output=True, text=True,
                          timeout=120)
    case.assertEqual(done.returncode, 0, done.stdout + done.stderr)
    skipped = re.search(r"\.\.\. skipped '(.*)'", done.stderr)
    if skipped:
        case.skipTest(skipped.group(1))


class Faults(unittest.TestCase):
    def test_a_compositor_lacking_the_protocols_and_no_x_display_end_kelvo_with_the_reason(self):
        with kd.Processes() as processes:
            fake = wd.FakeCompositor(processes.tmp)
            env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
            done = subprocess.run([KELVO], env=dict(env, WAYLAND_DISPLAY=fake.path),
                                  capture_output=True, text=True, timeout=30)
            fake.close()
        self.assertEqual(done.returncode, 2, done.stderr)
        self.assertEqual(done.stderr.count("\n"), 1, done.stderr)
        self.assertIn(LACKS, done.stderr)
        self.assertIn("no X display", done.stderr)

    def test_a_compositor_lacking_the_protocols_leaves_kelvo_to_xwayland(self):
        nested(self, "XWayland", "--no-wm-keys")

    def test_the_compositor_going_away_ends_kelvo_with_a_message(self):
        nested(self, "Killed", "--no-bar")

    def test_the_output_going_away_puts_the_keyboard_on_the_one_left(self):
        nested(self, "OutputGone", "--no-bar")


class XWayland(unittest.TestCase):
    """On an X display, with WAYLAND_DISPLAY naming a compositor that lacks
    what kelvo needs: the X11 way, said once."""

    def test_kelvo_runs_on_x11_and_says_once_what_it_cannot_reach(self):
        with kd.Desktop() as desktop:
            fake = wd.FakeCompositor(desktop.tmp)
            kelvo = desktop.kelvo(dict(os.environ, WAYLAND_DISPLAY=fake.path))
            terminal = desktop.cat_terminal()
            desktop.focus(terminal.window)
            kelvo.rest_on(kd.KEY_H, None, until=terminal.received)
            self.assertRegex(terminal.collect(), "^h{1,3}$")
            lines = [l for l in kelvo.stderr().splitlines() if "Wayland" in l]
            self.assertEqual(len(lines), 1, kelvo.stderr())
            self.assertIn(LACKS, lines[0])
            self.assertIn("X11 programs only", lines[0])
            kelvo.stop()
            fake.close()


class Killed(unittest.TestCase):
    """The compositor of this nested desktop is killed under kelvo."""

    def test_kelvo_ends_with_a_message_and_status_1(self):
        with wd.WaylandDesktop() as desktop:
            terminal = desktop.cat_terminal()
            kelvo = desktop.kelvo()
            kelvo.rest_on(kd.KEY_H, None, until=terminal.received)
            terminal.take("h")
            # This desktop's sway, by the pid in its socket's name.
            sway = int(os.environ["SWAYSOCK"].rsplit(".", 2)[-2])
            os.kill(sway, signal.SIGKILL)
            status = kelvo.wait()
            self.assertEqual(status, 1, "kelvo ended with %d: %s" % (status, kelvo.stderr()))
            self.assertIn("lost the connection to the Wayland compositor", kelvo.stderr())


class OutputGone(unittest.TestCase):
    """This nested desktop's one output is taken away under kelvo, once a
    second has come."""

    def test_the_keyboard_comes_back_at_the_corner_of_the_other_output_and_types(self):
        with wd.WaylandDesktop() as desktop:
            terminal = desktop.cat_terminal()
            kelvo = desktop.kelvo()
            kd.run(["swaymsg", "create_output"])
            gone = kd.run(["swaymsg", "output", "HEADLESS-1", "unplug"], check=False)
            if "Invalid output subcommand" in gone.stdout + gone.stderr:
                self.skipTest("this sway has no output unplug to take an output away with (sway 1.7 has none)")
            self.assertEqual(gone.returncode, 0, gone.stdout + gone.stderr)
            kd.wait_until(lambda: [o["name"] for o in wd.swaymsg("-t", "get_outputs")] == ["HEADLESS-2"],
                          what="HEADLESS-1 to go")
            x, y, w, h = desktop.usable_area()
            kelvo.origin = (x + w - kd.KEYBOARD_SIZE[0], y + h - kd.KEYBOARD_SIZE[1])
            kd.wait_until(kelvo.shows, what="the keyboard at the corner of the output left")
            kd.wait_until(lambda: desktop.focused_app() == terminal.title, what="the terminal focused again")
            kelvo.rest_on(kd.KEY_H, None, until=terminal.received)
            self.assertRegex(terminal.collect(), "^h{1,3}$")
            self.assertIsNone(kelvo.proc.poll(), kelvo.stderr())


def load_tests(loader, tests, pattern):
    """The nested group alone when nested, else the outer one."""
    chosen = {"XWayland": XWayland, "Killed": Killed, "OutputGone": OutputGone}.get(NESTED, Faults)
    return loader.loadTestsFromTestCase(chosen)


if __name__ == "__main__":
    unittest.main(verbosity=2)
