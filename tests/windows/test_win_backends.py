"""The Windows backends, built without Qt, under Wine: keystrokes into the
tests' own key log window, the window under the pointer, the tone."""

import re
import subprocess
import unittest

import kelvo_desktop as kd
import wine

CHECK = "kelvo-backend-check.exe"
VK_SHIFT, VK_CONTROL, VK_MENU, VK_PACKET = 0x10, 0x11, 0x12, 0xE7

# Every character printed on the keyboard's keys, then the capitals.
ON_THE_KEYS = 'abcdefghijklmnopqrstuvwxyz0123456789."/@:,&*=+- '
CAPITALS = "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
# Not on a US layout: typed as themselves, the emoji as two UTF-16 halves.
OFF_THE_LAYOUT = "é€жλ😀ñ"

# The named keys, with the virtual key and extended flag a real keyboard gives.
NAMED = [("TAB", 0x09, 0), ("ENTER", 0x0D, 0), ("ESC", 0x1B, 0), ("BACKSPACE", 0x08, 0),
         ("DEL", 0x2E, 1), ("INSERT", 0x2D, 1), ("HOME", 0x24, 1), ("END", 0x23, 1),
         ("PGUP", 0x21, 1), ("PGDN", 0x22, 1), ("LEFT", 0x25, 1), ("UP", 0x26, 1),
         ("RIGHT", 0x27, 1), ("DOWN", 0x28, 1), ("F1", 0x70, 0), ("F12", 0x7B, 0)]

desktop = kd.ModuleDesktop()
keylog = None


def setUpModule():
    global keylog
    desktop.open()
    keylog = wine.KeyLog(desktop)


def tearDownModule():
    desktop.close()


def check(*args, sound=True):
    return wine.run([wine.program(CHECK)] + list(args), sound=sound)


class Keystrokes(unittest.TestCase):
    def setUp(self):
        desktop.focus(keylog.window)
        keylog.mark()

    def tearDown(self):
        # Whatever a send did, no key may be left down.
        self.assertEqual(check("held").stdout.strip(), "held: none")

    def send(self, *args):
        self.assertEqual(check(*args).stdout.strip(), "sent")

    def test_the_keys_characters_and_capitals_come_from_the_layout(self):
        self.send("type", ON_THE_KEYS + CAPITALS)
        self.assertEqual(keylog.wait_for_text(ON_THE_KEYS + CAPITALS), ON_THE_KEYS + CAPITALS)
        downs = [vk for vk, _ in keylog.key_downs()]
        self.assertNotIn(VK_PACKET, downs)
        # Each capital's key goes down with Shift held: A to Z are 0x41 to 0x5A.
        for letter in CAPITALS:
            at = len(downs) - 1 - downs[::-1].index(ord(letter))
            self.assertEqual(downs[at - 1], VK_SHIFT, "no Shift before %s" % letter)

    def test_characters_off_the_layout_arrive_as_themselves(self):
        self.send("type", OFF_THE_LAYOUT)
        self.assertEqual(keylog.wait_for_text(OFF_THE_LAYOUT), OFF_THE_LAYOUT)
        self.assertEqual({vk for vk, _ in keylog.key_downs()}, {VK_PACKET})

    def test_named_keys_are_virtual_keys_extended_where_a_keyboard_has_them(self):
        self.send("named", *[name for name, _, _ in NAMED])
        expected = [(vk, ext) for _, vk, ext in NAMED]
        kd.wait_until(lambda: keylog.key_downs() == expected, what="the named keys, in order "
                      "(got %s)" % keylog.key_downs())

    def test_modifiers_are_held_around_their_key(self):
        self.send("type", "--shift", "a")
        self.send("type", "--ctrl", "a")
        self.send("type", "--alt", "x")
        self.assertEqual(keylog.wait_for_text("A\x01x"), "A\x01x")
        self.assertEqual([vk for vk, _ in keylog.key_downs()],
                         [VK_SHIFT, 0x41, VK_CONTROL, 0x41, VK_MENU, 0x58])
        self.assertIn("syschar U+0078", keylog.new_lines())


class PointerProbe(unittest.TestCase):
    def test_only_the_targets_own_pixels_count_with_another_window_in_front(self):
        # The target's right half lies under a window in front of it.
        x, y, w, h = 500, 400, 400, 200
        proc = wine.start(desktop, [wine.program(CHECK), "probe", str(x), str(y), str(w), str(h)],
                          stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        try:
            self.assertEqual(proc.stdout.readline().strip(), "ready")
            desktop.find_window("probe cover", timeout=30)

            def ask(px, py):
                desktop.move_pointer(px, py)
                proc.stdin.write("ask\n")
                proc.stdin.flush()
                return proc.stdout.readline().strip()
            self.assertEqual(ask(x + 50, y + 50), "inside %d %d" % (x + 50, y + 50))
            self.assertEqual(ask(x + w - 50, y + 50), "outside")
            self.assertEqual(ask(x - 50, y + 50), "outside")
            self.assertEqual(ask(x + 10, y + h - 10), "inside %d %d" % (x + 10, y + h - 10))
        finally:
            proc.stdin.close()
            desktop.stop(proc)


class Tone(unittest.TestCase):
    def play(self, sound):
        # Two tones asked for at once: they are queued and played in turn.
        result = check("tone", "440", "300", "880", "200", sound=sound)
        returned = float(re.search(r"beep returned after ([\d.]+) ms", result.stdout).group(1))
        samples = int(re.search(r"done after [\d.]+ ms: (\d+) samples played", result.stdout).group(1))
        ours = [line for line in result.stderr.splitlines() if line.startswith("kelvo-backend-check:")]
        return returned, samples, ours

    def test_plays_its_whole_length_on_a_device_without_blocking_the_caller(self):
        returned, samples, ours = self.play(sound=True)
        # beep() only queues: it returns long before a 200 ms tone could end.
        self.assertLess(returned, 100)
        self.assertEqual(samples, 48000 * (300 + 200) // 1000)
        self.assertEqual(ours, [])

    def test_without_a_device_it_is_silent_and_says_so_once(self):
        returned, samples, ours = self.play(sound=False)
        self.assertLess(returned, 100)
        self.assertEqual(samples, 0)
        self.assertEqual(len(ours), 1, ours)
        self.assertIn("no sound output device", ours[0])


if __name__ == "__main__":
    unittest.main()
