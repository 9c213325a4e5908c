"""kelvo-sendkeys on a real X server: what a terminal and xev receive, on the
us and de keyboard layouts, and how refused strings and missing display
features are reported.

Run through scripts/virtual-desktop with KELVO_BUILD set (ctest does both).
"""

import os
import re
import signal
import subprocess
import unittest

import kelvo_desktop as kd

kd.skip_unless_tools("xterm", "xev", "xdotool", "setxkbmap", "xprop", "Xvfb")

SENDKEYS = os.path.join(kd.build_dir(), "kelvo-sendkeys")
VIRTUAL_DESKTOP = os.path.join(kd.source_dir(), "scripts", "virtual-desktop")

from sendkeys_cases import MANY_DISTINCT, OFF_THE_LAYOUT, ON_THE_KEYS, SENTENCE, SIGNS

# Named keys and the keysym xev reports for each. PRTSC is left out: the
# window manager takes Print for itself.
NAMED_KEYS = [
    ("{ENTER}", "Return"), ("~", "Return"), ("{enter}", "Return"),
    ("{TAB}", "Tab"), ("{BACKSPACE}", "BackSpace"), ("{BS}", "BackSpace"),
    ("{BKSP}", "BackSpace"), ("{DEL}", "Delete"), ("{DELETE}", "Delete"),
    ("{ESC}", "Escape"), ("{UP}", "Up"), ("{DOWN}", "Down"), ("{LEFT}", "Left"),
    ("{RIGHT}", "Right"), ("{HOME}", "Home"), ("{END}", "End"), ("{PGUP}", "Prior"),
    ("{PGDN}", "Next"), ("{INSERT}", "Insert"), ("{INS}", "Insert"), ("{HELP}", "Help"),
    ("{BREAK}", "Break"), ("{F1}", "F1"), ("{F12}", "F12"), ("{F13}", "F13"),
    ("{F16}", "F16"), ("{CAPSLOCK}", "Caps_Lock"), ("{CAPSLOCK}", "Caps_Lock"),
    ("{NUMLOCK}", "Num_Lock"), ("{NUMLOCK}", "Num_Lock"),
    ("{SCROLLLOCK}", "Scroll_Lock"), ("{SCROLLLOCK}", "Scroll_Lock"),
    ("{TAB 3}", "Tab"), (None, "Tab"), (None, "Tab"),
]

desktop = terminal = xev = None


def setUpModule():
    global desktop, terminal, xev
    if not os.access(SENDKEYS, os.X_OK):
        raise RuntimeError("%s is missing: build the project first" % SENDKEYS)
    desktop = kd.Desktop()
    try:
        terminal = desktop.cat_terminal()
        xev = desktop.key_events()
    except BaseException:
        desktop.close()
        raise


def tearDownModule():
    try:
        desktop.set_layout("us")
    finally:
        desktop.close()


def sendkeys(*args, env=None, timeout=60):
    """Runs kelvo-sendkeys with args; returns the CompletedProcess."""
    return subprocess.run([SENDKEYS, *args], capture_output=True, text=True,
                          env=env, timeout=timeout)


class DesktopCase(unittest.TestCase):
    maxDiff = None

    def send(self, keys, *options):
        result = sendkeys(*options, keys)
        self.assertEqual(result.returncode, 0,
                         "kelvo-sendkeys %r failed: %s" % (keys, result.stderr.strip()))
        return result

    def typed_in_terminal(self, keys, *options):
        """What the terminal receives from keys (bytes decoded as UTF-8)."""
        desktop.focus(terminal.window)
        terminal.skip()
        self.send(keys, *options)
        return terminal.collect()

    def events_in_xev(self, keys):
        """The key presses xev sees from keys, modifier keys themselves left out."""
        desktop.focus(xev.window)
        xev.skip()
        self.send(keys)
        return kd.presses(xev.collect())

    def assertKeyboardIdle(self):
        try:
            kd.wait_until(desktop.keyboard.is_idle, timeout=5, what="an idle keyboard")
        except TimeoutError:
            self.fail("keys or modifiers left held: " + desktop.keyboard.describe())


class Typing:
    """The typing cases, run once per keyboard layout by the classes below."""

    layout = None

    @classmethod
    def setUpClass(cls):
        desktop.set_layout(cls.layout)

    def tearDown(self):
        self.assertKeyboardIdle()

    def test_characters_on_the_keys_type_themselves(self):
        for keys, expected in (ON_THE_KEYS, SENTENCE, SIGNS):
            with self.subTest(keys=keys):
                self.assertEqual(self.typed_in_terminal(keys), expected)

    def test_shift_applies_to_the_next_key_or_group(self):
        self.assertEqual(self.typed_in_terminal("+ab+(cd)e+1"), "AbCDe!")

    def test_enter_tab_and_counts(self):
        self.assertEqual(self.typed_in_terminal("a~b{ENTER 2}{TAB}{x 3}{( 2}"),
                         "a\rb\r\r\txxx((")

    def test_characters_off_the_layout_arrive_exactly(self):
        before = desktop.keyboard.mapping()
        for keys in (OFF_THE_LAYOUT, MANY_DISTINCT, MANY_DISTINCT[::-1] + OFF_THE_LAYOUT):
            with self.subTest(keys=keys):
                self.assertEqual(self.typed_in_terminal(keys), keys)
        after = desktop.keyboard.mapping()
        changed = {code: (syms, after.get(code))
                   for code, syms in before.items() if after.get(code) != syms}
        self.assertEqual(changed, {}, "the keyboard mapping was not put back")

    def test_caps_lock_changes_nothing_that_is_typed(self):
        # Letters on the layout, a level-three one, and off-layout letters
        # with capitals: each must come out as asked, not as Caps Lock shows it.
        keys = "aB1@\u00e9\u00c9\u0142\u0141\u20ac\u0436"
        kd.run(["xdotool", "key", "Caps_Lock"])
        try:
            kd.wait_until(lambda: desktop.keyboard.xkb_state()["locked_mods"] & 2,
                          what="Caps Lock on")
            self.assertEqual(self.typed_in_terminal(keys), keys)
        finally:
            kd.run(["xdotool", "key", "Caps_Lock"])
            kd.wait_until(lambda: not desktop.keyboard.xkb_state()["locked_mods"] & 2,
                          what="Caps Lock off")

    def test_no_wait_types_too(self):
        desktop.focus(terminal.window)
        terminal.skip()
        self.send("n@w", "--no-wait")
        self.assertEqual(terminal.take("n@w"), "n@w")

    def test_named_keys_reach_the_client(self):
        keys = "".join(k for k, _ in NAMED_KEYS if k)
        names = [e.name for e in self.events_in_xev(keys)]
        self.assertEqual(names, [name for _, name in NAMED_KEYS])
        # The lock keys went down twice each, so every lock is off again.
        self.assertEqual(desktop.keyboard.xkb_state()["locked_mods"], 0)

    def test_modifiers_reach_the_client(self):
        cases = [
            ("+a", ["A"], kd.SHIFT),
            ("^a", ["a"], kd.CONTROL),
            ("%a", ["a"], kd.MOD1),
            ("+{TAB}", ["Tab|ISO_Left_Tab"], kd.SHIFT),
            ("^+{END}", ["End"], kd.CONTROL | kd.SHIFT),
            ("^(ab)", ["a", "b"], kd.CONTROL),
            ("%+(xy)", ["X", "Y"], kd.MOD1 | kd.SHIFT),
        ]
        for keys, names, mods in cases:
            with self.subTest(keys=keys):
                events = self.events_in_xev(keys)
                self.assertEqual(len(events), len(names), events)
                for event, name in zip(events, names):
                    self.assertRegex(event.name, "^(%s)$" % name, events)
                    self.assertEqual(event.state & 0xff & ~kd.MOD2, mods, events)
                    self.assertFalse(event.synthetic)
                # A following plain key carries no modifier.
                plain = self.events_in_xev("q")
                self.assertEqual([(e.name, e.state & 0xff) for e in plain], [("q", 0)])

    def test_nothing_stays_held_afterwards(self):
        # Every modifier, a level-three character on de, and an off-layout one.
        self.events_in_xev("+a^b%c+^%{F5}@{{}€é")
        self.assertKeyboardIdle()
        self.assertEqual(self.typed_in_terminal("a"), "a")


class TypingOnUs(Typing, DesktopCase):
    layout = "us"


class TypingOnDe(Typing, DesktopCase):
    layout = "de"


class GroupsAndLevels(DesktopCase):
    """Characters come from the layout group in force and from every level."""

    def tearDown(self):
        desktop.keyboard.lock_group(0)
        desktop.set_layout("us")
        self.assertKeyboardIdle()

    def test_the_active_group_is_used(self):
        # With us,de and the de group locked, z and y swap keys and @ needs
        # AltGr; a sender that reads the first group types "yz" and worse.
        desktop.set_layout("us,de")
        desktop.keyboard.lock_group(1)
        keys = "zy@\"/:&*=+-".replace("+", "{+}")
        self.assertEqual(self.typed_in_terminal(keys), "zy@\"/:&*=+-")

    def test_level_three_and_level_five_characters_come_from_layout_keys(self):
        # On de neo, { is level 3, the Greek alpha level 4, the for-all sign
        # level 7 (level three and level five together). Each must come from
        # the key that carries it, not from a spare keycode.
        desktop.set_layout("de", "neo")
        before = desktop.keyboard.mapping()
        events = self.events_in_xev("{{}\u03b1\u2200")
        self.assertEqual([e.name for e in events], ["braceleft", "Greek_alpha", "U2200"])
        for event in events:
            self.assertIn(event.keysym, before[event.keycode], event)


    def test_shortcuts_on_a_layout_without_latin_letters_use_the_us_key_places(self):
        # As from a hardware keyboard on ru: Ctrl+C is the key where C sits
        # on a US keyboard, carrying its Cyrillic letter, Control held; the
        # letter typed alone is still the letter itself.
        places = {c: desktop.keyboard.keycode_of(c) for c in "ca1"}
        desktop.set_layout("ru")
        before = desktop.keyboard.mapping()
        events = self.events_in_xev("^c%a^+1")
        self.assertEqual([(e.keycode, e.state & 0xff & ~kd.MOD2) for e in events],
                         [(places["c"], kd.CONTROL), (places["a"], kd.MOD1),
                          (places["1"], kd.CONTROL | kd.SHIFT)], events)
        # The keys lent their Latin letters are given back.
        self.assertEqual(desktop.keyboard.mapping(), before)
        plain = self.events_in_xev("c")
        self.assertEqual([e.name for e in plain], ["c"])
        self.assertNotEqual(plain[0].keycode, places["c"])


class Refusals(DesktopCase):
    """Strings and situations where nothing can be typed."""

    @classmethod
    def setUpClass(cls):
        desktop.set_layout("us")

    def test_malformed_string_types_nothing_and_says_where(self):
        # The accepted positions: the offending sign, or the start of the
        # construct it spoils.
        cases = [
            ("ab{NOPE}", {3, 4}, "NOPE"),
            ("+", {1, 2}, None),
            ("xy^%", {3, 4, 5}, None),
            ("(a", {1, 3}, None),
            ("a)", {2}, None),
            ("hello world{", {12, 13}, None),
            ("x{F17}y", {2, 3}, "F17"),
            ("{ENTER x}", {7, 8}, None),
        ]
        desktop.focus(terminal.window)
        terminal.skip()
        for keys, positions, named in cases:
            with self.subTest(keys=keys):
                result = sendkeys(keys)
                self.assertEqual(result.returncode, 2, result.stderr)
                match = re.search(r"position (\d+)", result.stderr)
                self.assertTrue(match, "no position in: " + result.stderr)
                self.assertIn(int(match.group(1)), positions, result.stderr)
                if named:
                    self.assertIn(named, result.stderr)
                self.assertEqual(terminal.collect(), "", "something was typed")

    def test_no_key_string(self):
        result = sendkeys()
        self.assertEqual(result.returncode, 2)
        self.assertIn("usage", result.stderr.lower())

    def test_missing_display(self):
        env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        result = sendkeys("a", env=env)
        self.assertEqual(result.returncode, 2, result.stderr)
        self.assertIn("display", result.stderr.lower())

        dead = next(n for n in range(700, 800)
                    if not os.path.exists("/tmp/.X11-unix/X%d" % n)
                    and not os.path.exists("/tmp/.X%d-lock" % n))
        result = sendkeys("a", env=dict(env, DISPLAY=":%d" % dead))
        self.assertEqual(result.returncode, 2, result.stderr)
        self.assertIn(":%d" % dead, result.stderr)

    def test_display_without_xtest(self):
        result = subprocess.run(
            [VIRTUAL_DESKTOP, "--no-wm", "--size", "640x480", "--xvfb-args", "-extension XTEST",
             "--", SENDKEYS, "a"], capture_output=True, text=True, timeout=120)
        self.assertEqual(result.returncode, 2, result.stderr)
        self.assertIn("xtest", result.stderr.lower())


class Interruption(DesktopCase):
    """A signal in the middle of a long send ends it with every key let go."""

    @classmethod
    def setUpClass(cls):
        desktop.set_layout("us")

    def test_sigint_and_sigterm_leave_nothing_held(self):
        keys = "+(" + "{a 1000}" * 90 + ")"
        for sig in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal=sig.name):
                desktop.focus(terminal.window)
                terminal.skip()
                # A shell's background job inherits SIGINT ignored; a person's
                # Ctrl+C reaches a program that has it at its default.
                proc = subprocess.Popen([SENDKEYS, keys], stderr=subprocess.PIPE, text=True,
                                        preexec_fn=lambda: signal.signal(sig, signal.SIG_DFL))
                try:
                    kd.wait_until(lambda: terminal.received(), what="typing to start")
                finally:
                    proc.send_signal(sig)
                    _, err = proc.communicate(timeout=60)
                self.assertEqual(proc.returncode, -sig, err)
                typed = terminal.collect(timeout=60)
                self.assertLess(len(typed), 90000, "the send was not cut short")
                self.assertEqual(set(typed), {"A"}, "a key went out without its Shift")
                self.assertKeyboardIdle()
                self.assertEqual(self.typed_in_terminal("a"), "a")


if __name__ == "__main__":
    unittest.main(verbosity=2)
