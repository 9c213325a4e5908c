"""The soak (soak.py) for one minute, as CI runs it: a random pointer tour
over the keyboard, every keystroke kelvo sent received by xev exactly once
and in order, no growth in memory, nothing held at the end. `make soak`
runs the same for ten minutes.

It needs a window manager that binds no keys, so it runs on a desktop of its
own inside the one ctest gives it.
"""

import os
import subprocess
import sys
import unittest

import kelvo_desktop as kd

kd.skip_unless_tools("xev", "xdotool", "xprop", "xwininfo", "Xvfb", "openbox")

HERE = os.path.dirname(os.path.abspath(__file__))
SECONDS = 60


class Soak(unittest.TestCase):
    def test_a_minute_of_random_pointer_tour_loses_no_keystroke(self):
        done = subprocess.run(
            [os.path.join(kd.source_dir(), "scripts", "virtual-desktop"), "--no-wm-keys", "--",
             sys.executable, os.path.join(HERE, "soak.py"), "--seconds", str(SECONDS)],
            capture_output=True, text=True, timeout=SECONDS + 240)
        print("\n" + done.stdout.strip(), file=sys.stderr)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)
