"""make demo on a virtual desktop: it types "hello world" by resting on the
keys, and the picture it writes shows that text in the terminal it typed
into.

Run through scripts/virtual-desktop with KELVO_BUILD set (ctest does both).
"""

import os
import subprocess
import tempfile
import unittest

import kelvo_desktop as kd

kd.skip_unless_tools("xterm", "xdotool", "xwininfo")


class Demo(unittest.TestCase):
    def test_it_types_hello_world_and_its_picture_shows_it(self):
        with tempfile.TemporaryDirectory() as build:
            for program in ("kelvo", "kelvo-screenshot"):
                os.symlink(os.path.join(kd.build_dir(), program), os.path.join(build, program))
            done = subprocess.run([os.path.join(kd.source_dir(), "scripts", "demo"), "--on-desktop", build],
                                  capture_output=True, text=True, timeout=120)
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
            self.assertIn('typed: "hello world"', done.stdout)
            _, _, rows = kd.read_png(os.path.join(build, "demo.png"))
        # The terminal's first line, dark letters on white, where the demo
        # puts it (40, 40 and a 24 pt face): letters across some 200 pixels,
        # and a line below it left blank.
        dark = lambda row, left, right: [x for x in range(left, right) if sum(rows[row][x]) < 200]
        lines = [dark(y, 40, 700) for y in range(60, 110)]
        inked = [xs for xs in lines if xs]
        self.assertTrue(inked, "no text in the terminal's first line")
        self.assertGreater(max(max(xs) - min(xs) for xs in inked), 200, "the text is too short")
        self.assertEqual([x for y in range(150, 200) for x in dark(y, 60, 700)], [], "more than one line")


if __name__ == "__main__":
    unittest.main(verbosity=2)
