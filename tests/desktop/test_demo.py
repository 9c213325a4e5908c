"""make demo on a virtual desktop: it types "hello world" by resting on the
keys, and the picture it writes shows that text in the terminal it typed
into.

Run through scripts/virtual-desktop with KELVO_BUILD set (ctest does both).
"""

import os
import struct
import subprocess
import tempfile
import unittest
import zlib

import kelvo_desktop as kd

kd.skip_unless_tools("xterm", "xdotool", "xwininfo")


def read_png(path):
    """(width, height, rows of (r, g, b) pixels) of an 8-bit RGB or RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    at, idat = 8, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and colour in (2, 6), "not 8-bit RGB(A)"
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    step = 3 if colour == 2 else 4
    raw, stride, rows, previous = zlib.decompress(idat), width * step, [], bytearray(width * step)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a = line[x - step] if x >= step else 0
            b, c = previous[x], previous[x - step] if x >= step else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x:x + 3]) for x in range(0, stride, step)])
        previous = line
    return width, height, rows


class Demo(unittest.TestCase):
    def test_it_types_hello_world_and_its_picture_shows_it(self):
        with tempfile.TemporaryDirectory() as build:
            for program in ("kelvo", "kelvo-screenshot"):
                os.symlink(os.path.join(kd.build_dir(), program), os.path.join(build, program))
            done = subprocess.run([os.path.join(kd.source_dir(), "scripts", "demo"), "--on-desktop", build],
                                  capture_output=True, text=True, timeout=120)
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
            self.assertIn('typed: "hello world"', done.stdout)
            _, _, rows = read_png(os.path.join(build, "demo.png"))
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
