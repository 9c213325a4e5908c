"""The keyboard on a headless KWin, allowed KWin's fake input by the entry
the build folder holds, copied where the user guide says: its layer-shell
window at the corner, dwell typing into a native Wayland Qt field (which
keeps the focus: the keys reach it), the Shift latch, a level-3 character on
the German layout, shortcuts on a Cyrillic layout, the settings dialog
over the keys, a character the layout lacks typed by KWin (from Plasma
6.5) or refused whole with its reason, nothing held after SIGTERM or the exit button; and a kelvo that
no entry names saying how to get one; and none of it writing into
kelvo's home.

Run through scripts/wayland-desktop --compositor kwin with KELVO_BUILD set
(ctest does both). No screenshots: KWin offers other programs no way to
take one here, so places are checked by what typing lands where.
"""

import os
import re
import shutil
import signal
import subprocess
import time
import unittest

import dbus
import dbus.lowlevel

import kelvo_desktop as kd
import wayland_desktop as wd

kd.skip_unless_tools("kwin_wayland", wd.service_cache_tool(), "dbus-send", session="WAYLAND_DISPLAY",
                     harness="scripts/wayland-desktop --compositor kwin")

OUTPUT = (1920, 1080)  # scripts/wayland-desktop's output; KWin has no panel here
BUILD_FOLDER_ENTRY = "org.kelvo.Kelvo.BuildFolder.desktop"


def applications():
    return os.path.join(os.environ["XDG_DATA_HOME"], "applications")


def allow_fake_input(*programs):
    """Desktop entries of the tests' own naming programs, so that KWin
    gives them fake input, and the service cache KWin reads rebuilt."""
    for path in programs:
        with open(os.path.join(applications(), "kelvo-test-%s.desktop" % os.path.basename(path)), "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=%s\nExec=%s\nNoDisplay=true\n"
                    "X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n" % (os.path.basename(path), path))
    kd.run([wd.service_cache_tool()], check=False)


def set_layouts(layouts):
    """KWin's keyboard layouts, as Plasma's settings write them, taken in
    once KWin lists them (it answers for its layouts only while it has
    more than one)."""
    with open(os.path.join(os.environ["XDG_CONFIG_HOME"], "kxkbrc"), "w") as f:
        f.write("[Layout]\nLayoutList=%s\nUse=true\n" % layouts)
    # Up to Plasma 6.6 KWin rereads the file when told so; from 6.7 it
    # follows KConfig's own word that the file changed, as the settings
    # send it.
    kd.run(["dbus-send", "--session", "--type=signal", "/Layouts", "org.kde.keyboard.reloadConfig"])
    changed = dbus.lowlevel.SignalMessage("/kxkbrc", "org.kde.kconfig.notify", "ConfigChanged")
    changed.append(dbus.Dictionary({"Layout": [dbus.ByteArray(b"LayoutList"), dbus.ByteArray(b"Use")]},
                                   signature="saay"))
    bus = dbus.SessionBus()
    bus.send_message(changed)
    bus.flush()

    def listed():
        r = kd.run(["dbus-send", "--session", "--print-reply", "--dest=org.kde.keyboard", "/Layouts",
                    "org.kde.KeyboardLayouts.getLayoutsList"], check=False)
        if r.returncode != 0:
            return "," not in layouts  # KWin 5 answers only for several
        # Each layout is its short name, its variant and its long name.
        return re.findall(r'string "([^"]*)"', r.stdout)[0::3] == layouts.split(",")
    kd.wait_until(listed, what="KWin to take the layouts %s" % layouts)


def kwin_types_keysyms():
    """True for a KWin whose fake input types key symbols itself (version 6,
    Plasma 6.5 and later)."""
    installed = kd.run(["dpkg-query", "-W", "-f", "${Version}", "kwin-wayland"], check=False).stdout
    version = re.match(r"(?:\d+:)?(\d+)\.(\d+)", installed)
    return bool(version) and (int(version.group(1)), int(version.group(2))) >= (6, 5)


class KwinDesktop(wd.WaylandDesktop):
    """The headless KWin: the pointer through fake input once KWin knows the
    tests' entries, the output without panels."""

    def __init__(self):
        kd.Processes.__init__(self)
        os.makedirs(applications(), exist_ok=True)
        os.makedirs(os.environ["XDG_CONFIG_HOME"], exist_ok=True)
        shutil.copy(os.path.join(kd.build_dir(), BUILD_FOLDER_ENTRY), applications())
        allow_fake_input(*(os.path.join(kd.build_dir(), p) for p in ("kelvo-wayland-input", "kelvo-sendkeys")))

        def pointer():
            try:
                p = wd.Pointer(self)
                p.command("move", 0, 0)
                return p
            except (RuntimeError, BrokenPipeError):
                return None
        self.pointer = kd.wait_until(pointer, what="KWin to give the tests' pointer fake input")

    def usable_area(self):
        return (0, 0) + OUTPUT


class KwinKelvo(wd.Kelvo):
    """kelvo on KWin: up once a rest on H types h into the field."""

    field = None

    def corner_clear(self):
        return True  # no screenshots on KWin; the keyboard before ended with its process

    def ready(self):
        if self.proc.poll() is not None:
            raise RuntimeError("kelvo exited with status %d: %s" % (self.proc.returncode, self.stderr()))
        # A key that appears under a resting pointer waits for it to move.
        self.desktop.pointer.at = None
        self.desktop.pointer.move(*self.centre_of(kd.KEY_H))
        return self.field.received().endswith("h") or None


desktop = kd.ModuleDesktop(KwinDesktop)
home = kd.UntouchedHome()
setUpModule, tearDownModule = home.around(desktop)


class KwinCase(unittest.TestCase):
    field = None

    def setUp(self):
        if KwinCase.field is None:
            KwinCase.field = KwinKelvo.field = wd.TextField(desktop)
        self.kelvo = self.start_kelvo()

    def start_kelvo(self):
        kelvo = KwinKelvo(desktop, dict(os.environ, KELVO_TRACE="1", **home.env))
        self.addCleanup(kelvo.stop)
        kelvo.leave()
        self.assertStops("typing went on after the pointer left H")
        self.field.take("")
        return kelvo

    def assertStops(self, what):
        landed, later = kd.landed_and_later(self.field.received)
        self.assertEqual(later, landed, what)


class Keyboard(KwinCase):
    def test_sits_at_the_corner_and_types_into_the_focused_field_by_dwell(self):
        self.assertEqual(self.kelvo.origin, (OUTPUT[0] - 264, OUTPUT[1] - 298))
        self.assertNotIn("XWayland", self.kelvo.stderr())
        self.kelvo.rest_on(kd.KEY_H, None, until=lambda: len(self.field.received()) >= 4)
        self.assertStops("typing went on after the pointer left")
        self.assertRegex(self.field.take(""), "^h{4,6}$", "resting on H until four had come")
        # Just left of the keyboard, level with H, lies the desktop.
        x, y = self.kelvo.centre_of(kd.KEY_H)
        desktop.pointer.move(self.kelvo.origin[0] - 6, y)
        self.assertStops("a rest beside the keyboard typed")
        self.assertEqual(self.field.take(""), "")

    def test_the_settings_dialog_lies_over_the_keys_until_ok_hides_it(self):
        left, top, _, _ = kd.CONTROL_RECTS["cmdKelvo"]
        x, y = self.kelvo.screen_point(left + 10, top + 5)
        desktop.pointer.click(x, y, button=3)
        # Nothing here says when the dialog is up: it is given a moment. Its
        # bottom-right corner is at the pointer, so it covers H.
        time.sleep(1.5)
        self.kelvo.rest_on(kd.KEY_H, 1.0)
        self.assertEqual(self.field.take(""), "", "H under the dialog typed")
        desktop.pointer.click(x - 625 + 530, y - 319 + 243)  # Ok
        desktop.pointer.move(*self.kelvo.centre_of(kd.KEY_H))
        kd.wait_until(lambda: self.field.received(), what="H to type once Ok hid the dialog")
        self.kelvo.leave()
        self.assertStops("typing went on after the pointer left")
        self.assertRegex(self.field.take(""), "^h+$")

    def test_shift_latches_and_a_level_three_character_comes_out_on_the_german_layout(self):
        self.kelvo.latch(kd.KEY_SHIFT)
        self.kelvo.press(kd.KEY_A, self.field)
        self.kelvo.latch(kd.KEY_SHIFT, on=False)
        self.kelvo.press(kd.KEY_A, self.field)
        self.assertRegex(self.field.collect(), kd.once_or_twice("Aa"))
        self.kelvo.stop()
        set_layouts("de,us")
        self.addCleanup(set_layouts, "us")
        german = self.start_kelvo()
        for key in (35, 25, 24):  # @ (AltGr+Q there), z and y (swapped there)
            german.press(key, self.field)
        self.assertRegex(self.field.collect(), kd.once_or_twice("@zy"))
        self.assertNotIn("could not be typed", german.stderr())

    def test_with_a_cyrillic_layout_in_use_shortcuts_go_on_the_keys_in_their_us_places(self):
        set_layouts("us,ru")
        self.addCleanup(set_layouts, "us")
        kd.run(["dbus-send", "--session", "--print-reply", "--dest=org.kde.keyboard", "/Layouts",
                "org.kde.KeyboardLayouts.setLayout", "uint32:1"])
        self.addCleanup(kd.run, ["dbus-send", "--session", "--print-reply", "--dest=org.kde.keyboard",
                                 "/Layouts", "org.kde.KeyboardLayouts.setLayout", "uint32:0"], check=False)
        send = os.path.join(kd.build_dir(), "kelvo-sendkeys")
        kd.run([send, "\u0436\u0436"])
        self.assertEqual(self.field.take("жж"), "жж")
        # Select all (everything the field got so far), then a letter that
        # replaces it.
        kd.run([send, "^a\u0434"])
        self.field.wait_for("д")
        self.field.skip()

    def test_a_character_the_layout_lacks_is_typed_by_kwin_or_refused_whole_with_its_reason(self):
        done = subprocess.run([os.path.join(kd.build_dir(), "kelvo-sendkeys"), "a\u0436"],
                              capture_output=True, text=True, timeout=kd.TIMEOUT)
        if kwin_types_keysyms():
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertEqual(self.field.take("a\u0436"), "a\u0436")
            return
        self.assertNotEqual(done.returncode, 0)
        self.assertIn("U+0436 is not on the keyboard layout in use", done.stderr)
        self.assertIn("KDE's fake input", done.stderr)
        self.assertStops("a half of the refused string arrived")
        self.assertEqual(self.field.take(""), "")


class Ending(KwinCase):
    def test_sigterm_and_the_exit_button_leave_no_key_held(self):
        self.kelvo.latch(kd.KEY_SHIFT)
        desktop.pointer.move(*self.kelvo.centre_of(kd.KEY_H))
        kd.wait_until(lambda: len(self.field.received()) >= 2, what="H typing")
        self.kelvo.proc.send_signal(signal.SIGTERM)
        self.assertEqual(self.kelvo.wait(), 0, self.kelvo.stderr())
        self.assertStops("keys went on coming after SIGTERM")
        self.assertRegex(self.field.take(""), "^H+$")
        self.assertEqual(wd.held_in_trace(self.kelvo.stderr()), [], self.kelvo.stderr())

        again = self.start_kelvo()
        again.click("cmdExit")
        self.assertEqual(again.wait(), 0, again.stderr())
        self.assertEqual(wd.held_in_trace(again.stderr()), [])
        # Shift went up with it: a plain letter comes out plain.
        done = subprocess.run([os.path.join(kd.build_dir(), "kelvo-sendkeys"), "b"], timeout=kd.TIMEOUT)
        self.assertEqual(done.returncode, 0)
        self.assertEqual(self.field.take("b"), "b")

    def test_a_kelvo_no_entry_names_says_how_to_be_allowed(self):
        unnamed = desktop.path("kelvo-unnamed")
        shutil.copy(os.path.join(kd.build_dir(), "kelvo"), unnamed)
        done = subprocess.run([unnamed], capture_output=True, text=True, timeout=kd.TIMEOUT)
        self.assertEqual(done.returncode, 2, done.stderr)
        self.assertIn("fake input (org_kde_kwin_fake_input)", done.stderr)
        self.assertIn(BUILD_FOLDER_ENTRY, done.stderr)
        self.assertIn(wd.service_cache_tool(), done.stderr, "the step this Plasma needs")
        self.assertIn("DISPLAY is not set", done.stderr)


if __name__ == "__main__":
    unittest.main()
