"""The keyboard program on a virtual desktop: dwell typing into a terminal and
xev with the real pointer, the Shift latch, the beep, the window's place and
hints, clicks through the gaps between keys, minimising to the tray and back,
exit, dragging, a desktop without a tray, and displays it cannot use.

Run through scripts/virtual-desktop with KELVO_BUILD set (ctest does both).
Two groups run on nested desktops of their own (no tray; no XTest): this
same file, told which through KELVO_NESTED.
"""

import json
import os
import re
import subprocess
import sys
import time
import unittest

import kelvo_desktop as kd
import pulse

kd.skip_unless_tools("xterm", "xev", "xdotool", "xprop", "xwininfo", "Xvfb", "tint2")

VIRTUAL_DESKTOP = os.path.join(kd.source_dir(), "scripts", "virtual-desktop")
TINT2_CONFIG = "/etc/xdg/tint2/tint2rc"
desktop = kd.ModuleDesktop()
setUpModule, tearDownModule = desktop.open, desktop.close


class KeyboardCase(unittest.TestCase):
    """Each case has a kelvo of its own, stopped afterwards."""

    def start_kelvo(self, env=None):
        kelvo = desktop.kelvo(env)
        self.addCleanup(kelvo.stop)
        return kelvo


class DwellTyping(KeyboardCase):
    @classmethod
    def setUpClass(cls):
        cls.terminal = desktop.cat_terminal()

    def setUp(self):
        desktop.focus(self.terminal.window)
        self.kelvo = self.start_kelvo(dict(os.environ, KELVO_TRACE="1"))
        self.terminal.skip()

    def test_resting_on_a_key_types_it_every_tick_until_the_pointer_leaves(self):
        self.kelvo.rest_on(kd.KEY_H, 1.1)
        kd.wait_until(lambda: len(self.terminal.received()) >= 4, what="at least 4 h's")
        # Once the pointer is off the keyboard (and what was on its way has
        # landed), nothing more comes.
        landed, later = kd.landed_and_later(self.terminal.received, in_flight=0.2)
        self.assertEqual(later, landed, "typing went on after the pointer left")
        typed = self.terminal.collect().encode()
        self.assertRegex(typed, rb"^h{4,6}$", "1.1 s on H typed %r" % typed)
        self.assertEqual(desktop.focused_window(), self.terminal.window,
                         "the keyboard took the focus from the terminal")

    def test_a_menu_opening_over_the_key_stops_the_typing(self):
        # What counts is what the X server sees: a window in front of the key
        # takes the pointer off it though the pointer never moved.
        x, y = self.kelvo.centre_of(kd.KEY_H)
        desktop.move_pointer(x, y)
        kd.wait_until(lambda: len(self.terminal.received()) >= 1, what="H to type")
        geometry = "120x120+%d+%d" % (x - 60, y - 60)
        menu = desktop.start(["xmessage", "-geometry", geometry, "-xrm", "*overrideRedirect: true",
                              "menu"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(desktop.stop, menu)
        kd.wait_until(lambda: " %s " % geometry in kd.run(["xwininfo", "-root", "-children"]).stdout,
                      what="an override-redirect window over H")
        landed, later = kd.landed_and_later(self.terminal.received)
        self.assertEqual(later, landed, "H went on typing under the menu")
        # The menu goes and the key is there again under a pointer that never
        # moved: no rest was made, nothing is typed until the pointer moves.
        desktop.stop(menu)
        kd.wait_until(lambda: " %s " % geometry not in kd.run(["xwininfo", "-root", "-children"]).stdout,
                      what="the window over H to go")
        time.sleep(0.8)
        self.assertEqual(self.terminal.received(), landed, "H typed on its own once uncovered")
        desktop.move_pointer(x + 2, y + 1)
        kd.wait_until(lambda: len(self.terminal.received()) > len(landed),
                      what="H to type once the pointer moved")
        self.kelvo.leave()

    def test_a_key_that_opens_under_a_resting_pointer_waits_for_it_to_move(self):
        self.kelvo.stop()
        # Where H will be when the keyboard opens at the work area's corner.
        x, y, w, h = kd.work_area()
        l, t, kw, kh = kd.KEY_RECTS[kd.KEY_H]
        under = (x + w - kd.KEYBOARD_SIZE[0] + l + kw // 2, y + h - kd.KEYBOARD_SIZE[1] + t + kh // 2)
        desktop.move_pointer(*under)
        self.kelvo = self.start_kelvo()
        self.assertEqual(self.kelvo.centre_of(kd.KEY_H), under)
        time.sleep(1.0)
        self.assertEqual(self.terminal.received(), b"", "H typed under a pointer that never moved")
        desktop.move_pointer(under[0] + 2, under[1])
        kd.wait_until(lambda: self.terminal.received(), what="H to type once the pointer moved")
        self.kelvo.leave()

    def test_shift_latch_gives_capitals_until_typed_again_and_leaves_nothing_held(self):
        # Typing Shift sends nothing, and the latch is a toggle, not a
        # one-shot: every letter is a capital until Shift is typed again.
        self.kelvo.latch(kd.KEY_SHIFT)
        self.kelvo.press(kd.KEY_A, self.terminal)
        self.kelvo.press(kd.KEY_A, self.terminal)
        self.kelvo.latch(kd.KEY_SHIFT, on=False)
        self.kelvo.press(kd.KEY_A, self.terminal)
        self.assertRegex(self.terminal.collect(), kd.once_or_twice("AAa"))
        kd.wait_until(desktop.keyboard.is_idle, what="no modifier or key left held (%s)"
                      % desktop.keyboard.describe())
        self.assertEqual(desktop.focused_window(), self.terminal.window)


class ArrowsAndBeeps(KeyboardCase):
    def test_arrow_key_sends_left_without_a_beep_and_a_letter_beeps(self):
        xev = desktop.key_events()
        self.addCleanup(desktop.stop, xev.proc)
        desktop.focus(xev.window)
        missing = pulse.pulseaudio_missing()
        if missing:
            print("\n  sound part skipped: %s is not installed (scripts/install-deps installs it)"
                  % missing, file=sys.stderr)
            server = None
        else:
            server = pulse.PulseServer().start()
            self.addCleanup(server.stop)
        kelvo = self.start_kelvo(server.client_env() if server else None)
        xev.skip()

        if server:
            with server.record() as letter:
                kelvo.move_onto(kd.KEY_H)
                letter.wait_for_sound()
                kelvo.leave()
                letter.wait_for_more(0.3)
            tones = pulse.loud_segments(letter.samples, letter.rate)
            self.assertTrue(tones)
            a, b = tones[0]
            hz = 4000 - 30 * kd.KEY_H
            found = pulse.dominant_frequency(letter.samples[a:b], letter.rate)
            self.assertAlmostEqual(found, hz, delta=hz * 0.03,
                                   msg="beep of H at %.0f Hz, wanted %d" % (found, hz))
            xev.collect()

        arrow = server.record().start() if server else None
        try:
            kelvo.rest_on(kd.KEY_LEFT, 0.7)
            events = xev.collect()
            if arrow:
                arrow.wait_for_more(0.3)
        finally:
            if arrow:
                arrow.stop()
        names = [e.name for e in kd.presses(events)]
        self.assertTrue(names, "0.7 s on the Left arrow sent nothing to xev")
        self.assertEqual(set(names), {"Left"}, "the Left arrow key sent %r" % names)
        if arrow:
            loud = pulse.loud_segments(arrow.samples, arrow.rate)
            self.assertEqual(loud, [], "the arrow key beeped: loud stretches at %s s"
                             % [round(s / arrow.rate, 3) for s, _ in loud])


class KeyboardWindow(KeyboardCase):
    @classmethod
    def setUpClass(cls):
        cls.terminal = desktop.cat_terminal("focus")

    def setUp(self):
        desktop.focus(self.terminal.window)
        self.kelvo = self.start_kelvo()

    def test_window_sits_above_the_panel_on_top_unfocusable_and_translucent(self):
        x, y, w, h = kd.work_area()
        info = self.kelvo.info()
        self.assertEqual((info["width"], info["height"]), kd.KEYBOARD_SIZE)
        self.assertEqual((info["x"], info["y"]), (x + w - 264, y + h - 298),
                         "bottom-right corner at the work area's %s" % ((x, y, w, h),))
        props = kd.xprop(self.kelvo.window, "_NET_WM_STATE", "WM_HINTS", "_NET_WM_WINDOW_OPACITY")
        self.assertIn("_NET_WM_STATE_ABOVE", props)
        self.assertIn("Client accepts input or input focus: False", props)
        self.assertRegex(props, r"_NET_WM_WINDOW_OPACITY\(CARDINAL\) = 3873892070\b")

    def test_click_between_keys_reaches_the_window_below(self):
        gap = (10, 10)
        self.assertIsNone(kd.control_at(*gap))
        info = self.kelvo.info()
        # An xev window under the whole keyboard, which stays on top of it.
        below = desktop.key_events("below", events=("button",),
                                   geometry="300x300+%d+%d" % (info["x"] - 20, info["y"] - 20))
        self.addCleanup(desktop.stop, below.proc)
        kd.click(*self.kelvo.screen_point(*gap))
        kd.wait_until(lambda: "ButtonPress event" in below.output(),
                      what="the click to reach the window below")
        # The keyboard's own key still takes the pointer: a click there is not passed on.
        before = below.output().count("ButtonPress event")
        kd.click(*self.kelvo.centre_of(kd.KEY_H))
        kd.click(*self.kelvo.screen_point(*gap))
        kd.wait_until(lambda: below.output().count("ButtonPress event") > before,
                      what="the second click between keys")
        self.assertEqual(below.output().count("ButtonPress event"), before + 1,
                         "a click on key H went through to the window below")

    def test_minimise_hides_and_the_tray_icon_restores(self):
        icon = kd.wait_until(self.kelvo.tray_icons, what="kelvo's tray icon")[0]
        self.assertEqual((icon["width"], icon["height"]), (22, 22))
        place = self.kelvo.info()
        self.kelvo.click("cmdMinimize")
        # Hidden (withdrawn), not only minimised: the window manager has
        # seen it go and no longer lists it as iconic.
        kd.wait_until(lambda: self.kelvo.info()["map_state"] == "IsUnMapped"
                      and "window state" not in kd.xprop(self.kelvo.window, "WM_STATE"),
                      what="the keyboard to be unmapped and its WM_STATE gone")
        kd.click(icon["x"] + 11, icon["y"] + 11)
        kd.wait_until(lambda: self.kelvo.info()["map_state"] == "IsViewable",
                      what="the tray icon to bring the keyboard back")
        back = self.kelvo.info()
        self.assertEqual((back["x"], back["y"]), (place["x"], place["y"]))
        self.assertEqual(desktop.focused_window(), self.terminal.window)

    def test_a_click_pressed_and_released_at_once_counts_too(self):
        # Tools, touch screens and quick fingers give a press and release that
        # arrive together; the click must not be lost between them.
        self.kelvo.click("cmdMinimize", hold=0)
        kd.wait_until(lambda: self.kelvo.info()["map_state"] != "IsViewable",
                      what="a quick click on the minimise button to hide the keyboard")

    def test_exit_ends_with_success_and_removes_the_tray_icon(self):
        kd.wait_until(self.kelvo.tray_icons, what="kelvo's tray icon")
        self.kelvo.click("cmdExit")
        self.assertEqual(self.kelvo.wait(), 0, self.kelvo.stderr())
        self.assertEqual(self.kelvo.tray_icons(), [])

    def test_a_close_from_the_window_manager_ends_it_too(self):
        # Hiding the only window that can end the program would leave it
        # running out of reach.
        kd.wait_until(self.kelvo.tray_icons, what="kelvo's tray icon")
        desktop.keyboard.close_window(self.kelvo.window)
        self.assertEqual(self.kelvo.wait(), 0, self.kelvo.stderr())
        self.assertEqual(self.kelvo.tray_icons(), [])

    def test_dragging_the_logo_moves_the_window(self):
        self.kelvo.drag_logo(self)
        self.assertEqual(desktop.focused_window(), self.terminal.window)

    def test_right_press_on_the_logo_opens_settings_with_its_corner_at_the_pointer(self):
        l, t, _, _ = kd.CONTROL_RECTS["cmdKelvo"]
        x, y = self.kelvo.screen_point(l + 10, t + 5)
        kd.click(x, y, button=3)
        title = " Kelvo -  v2.0"
        dialog = kd.wait_until(lambda: kd.windows_titled(title, self.kelvo.proc.pid),
                               what="the settings window")[0]["id"]

        def corner():
            info = kd.window_info(dialog)
            extents = re.findall(r"\d+", kd.xprop(dialog, "_NET_FRAME_EXTENTS"))
            left, right, top, bottom = map(int, extents) if len(extents) == 4 else (0, 0, 0, 0)
            return info["x"] + info["width"] + right, info["y"] + info["height"] + bottom
        kd.wait_until(lambda: corner() == (x, y),
                      what="the settings window's bottom-right corner at the pointer %s, not %s"
                      % ((x, y), corner()))


class WindowManagerCore(KeyboardCase):
    """What the keyboard must be under any window manager (KELVO_WM): run
    on this desktop's openbox, and nested under the others."""

    @classmethod
    def setUpClass(cls):
        cls.terminal = desktop.cat_terminal("wm")

    def setUp(self):
        desktop.focus(self.terminal.window)
        self.kelvo = self.start_kelvo()
        self.terminal.skip()
        # Some managers place it elsewhere first; it moves itself back.
        self.corner_placed()

    def corner_placed(self):
        """Waits until the keyboard's frame (no frame but at most a border
        of a pixel), border and all, lies within the usable area with its
        bottom-right corner at the area's; returns the frame."""
        x, y, w, h = kd.usable_area()

        def placed():
            f = kd.frame_of(self.kelvo.window)
            near = lambda a, b: abs(a - b) <= 2
            right, bottom = f["x"] + f["width"] + 2 * f["border"], f["y"] + f["height"] + 2 * f["border"]
            return f if (near(f["width"], kd.KEYBOARD_SIZE[0]) and near(f["height"], kd.KEYBOARD_SIZE[1])
                         and x <= f["x"] and y <= f["y"] and right <= x + w and bottom <= y + h
                         and near(right, x + w) and near(bottom, y + h)) else None
        try:
            return kd.wait_until(placed, 5)
        except TimeoutError:
            self.fail("frame %s, not undecorated at the corner of the usable area %s; kelvo said: %s"
                      % (kd.frame_of(self.kelvo.window), (x, y, w, h), self.kelvo.stderr()))

    def test_sits_undecorated_at_the_corner_of_the_usable_area_and_in_the_taskbar(self):
        state = lambda: kd.xprop(self.kelvo.window, "_NET_WM_STATE")
        self.assertIn("_NET_WM_STATE_ABOVE", state())
        self.assertNotIn("SKIP_TASKBAR", state())
        # A manager may mark a window it did not focus as wanting attention
        # (a taskbar entry flashing); kelvo takes the mark off again.
        kd.wait_until(lambda: "DEMANDS_ATTENTION" not in state(), 5,
                      what=lambda: "the manager's attention mark to go: %s" % state())
        self.assertIn(hex(self.kelvo.window), kd.xprop(None, "_NET_CLIENT_LIST"))

    def test_types_into_a_focused_window_under_it_without_taking_the_focus(self):
        # The terminal over the keyboard's place and focused, as a window the
        # user works in: the keyboard stays above it and types into it.
        info = self.kelvo.info()
        kd.run(["xdotool", "windowmove", str(self.terminal.window), str(info["x"] - 100), str(info["y"] - 50)])
        desktop.focus(self.terminal.window)
        self.kelvo.rest_on(kd.KEY_H, 1.1)
        self.assertRegex(self.terminal.collect(), "^h{4,6}$")
        self.assertEqual(desktop.focused_window(), self.terminal.window)
        self.assertNotIn(hex(self.kelvo.window), kd.xprop(None, "_NET_ACTIVE_WINDOW"))

    def test_is_on_every_workspace(self):
        if os.environ.get("KELVO_WM") == "i3":
            switch = lambda n: ["i3-msg", "workspace", str(n + 1)]
            current = lambda: json.loads(kd.run(["i3-msg", "-t", "get_workspaces"]).stdout)[-1]["focused"] \
                and int(next(w["num"] for w in json.loads(kd.run(["i3-msg", "-t", "get_workspaces"]).stdout)
                             if w["focused"])) - 1
        else:
            switch = lambda n: ["xdotool", "set_desktop", str(n)]
            current = lambda: int(kd.run(["xdotool", "get_desktop"]).stdout)
            desktops = lambda: int(kd.run(["xdotool", "get_num_desktops"]).stdout)
            if desktops() < 2:
                kd.run(["xdotool", "set_num_desktops", "2"])
                kd.wait_until(lambda: desktops() >= 2, what="a second workspace")
        kd.run(switch(1))
        try:
            kd.wait_until(lambda: current() == 1, what="the other workspace")
            time.sleep(0.2)
            self.assertEqual(self.kelvo.info()["map_state"], "IsViewable")
            # Where the manager hides the others' windows, they went.
            self.assertTrue(kd.window_info(self.terminal.window)["map_state"] != "IsViewable"
                            or "4294967295" in kd.xprop(self.kelvo.window, "_NET_WM_DESKTOP"))
        finally:
            kd.run(switch(0))

    def test_drag_then_minimise_and_back_from_the_tray_where_it_was(self):
        self.kelvo.drag_logo(self)
        place = kd.frame_of(self.kelvo.window)
        icon = kd.wait_until(self.kelvo.tray_icons, what="kelvo's tray icon")[0]
        self.kelvo.click("cmdMinimize")
        kd.wait_until(lambda: self.kelvo.info()["map_state"] != "IsViewable", what="the keyboard to hide")
        kd.click(icon["x"] + icon["width"] // 2, icon["y"] + icon["height"] // 2)
        kd.wait_until(lambda: self.kelvo.info()["map_state"] == "IsViewable",
                      what="the tray icon to bring the keyboard back")
        time.sleep(0.5)  # a manager's own placement has been put right by now
        back = kd.frame_of(self.kelvo.window)
        self.assertEqual((back["x"], back["y"]), (place["x"], place["y"]))
        self.assertEqual(desktop.focused_window(), self.terminal.window)

    def test_a_manager_that_maps_it_seconds_late_still_leaves_it_at_the_corner(self):
        # As on a slow machine: the manager takes the window over long after
        # the keyboard was shown, and places it its own way then.
        self.kelvo.stop()
        with kd.manager_stopped(3):
            self.kelvo = self.start_kelvo()
        self.corner_placed()

    def test_exit_ends_it(self):
        self.kelvo.click("cmdExit")
        self.assertEqual(self.kelvo.wait(), 0, self.kelvo.stderr())


class WindowManagers(unittest.TestCase):
    """The core above under other window managers, each on a desktop of its own."""


for _manager in ("xfwm4", "i3", "awesome", "kwin_x11", "fluxbox", "icewm", "metacity"):
    setattr(WindowManagers, "test_" + _manager,
            lambda self, manager=_manager: nested("WindowManagerCore", "--wm", manager))


def nested(name, *options):
    """Runs this file's group name on a virtual desktop of its own; fails
    with its output if it fails."""
    env = dict(os.environ, KELVO_NESTED=name)
    for _ in range(2):
        done = subprocess.run([VIRTUAL_DESKTOP, *options, "--", sys.executable, os.path.abspath(__file__)],
                              env=env, capture_output=True, text=True, timeout=120)
        # 125: the desktop itself could not be set up (a window manager that
        # did not come up, say), which is tried once more; the tests' own
        # failures are not.
        if done.returncode != 125:
            break
    if done.returncode != 0:
        raise AssertionError("nested desktop %s %s: status %d\n%s%s"
                             % (name, " ".join(options), done.returncode, done.stdout, done.stderr))
    for line in done.stderr.splitlines():
        if " ... " in line:
            print("\n  nested: " + line, end=" ", file=sys.stderr)


class AwkwardDesktops(unittest.TestCase):
    def test_without_a_tray_minimise_only_minimises_and_a_later_tray_gets_the_icon(self):
        nested("NoTray", "--no-panel")

    def test_without_a_window_manager_the_logo_still_drags(self):
        nested("NoWindowManager", "--no-wm")

    def test_display_without_xtest_gives_a_message_box_and_a_notice_then_failure(self):
        nested("NoXTest", "--no-wm", "--xvfb-args", "-extension XTEST")

    def test_no_display_or_an_unreachable_one_fails_with_a_message(self):
        free = next(n for n in range(4000, 5000) if not os.path.exists("/tmp/.X11-unix/X%d" % n))
        for display in (None, "", ":%d" % free):
            env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
            if display is not None:
                env["DISPLAY"] = display
            with self.subTest(DISPLAY=display):
                done = subprocess.run([os.path.join(kd.build_dir(), "kelvo")], env=env,
                                      stdin=subprocess.DEVNULL, capture_output=True, text=True,
                                      timeout=20)
                self.assertEqual(done.returncode, 2, done.stderr)
                self.assertRegex(done.stderr, re.compile("display", re.I))


class NoTray(KeyboardCase):
    """Nested: openbox without a panel, so no tray."""

    def test_minimise_iconifies_and_a_tray_started_later_gets_the_icon(self):
        kelvo = self.start_kelvo()
        kelvo.click("cmdMinimize")
        kd.wait_until(lambda: "Iconic" in kd.xprop(kelvo.window, "WM_STATE"),
                      what="WM_STATE Iconic (%s)" % kd.xprop(kelvo.window, "WM_STATE").strip())
        self.assertNotEqual(kelvo.info()["map_state"], "IsViewable")
        kd.run(["xdotool", "windowmap", str(kelvo.window)])
        kd.wait_until(lambda: kelvo.info()["map_state"] == "IsViewable",
                      what="the minimised keyboard to come back when mapped")
        panel = desktop.start(["tint2", "-c", TINT2_CONFIG],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(desktop.stop, panel)
        kd.wait_until(kelvo.tray_icons, what="kelvo's icon in a tray started after it")


class NoWindowManager(KeyboardCase):
    """Nested: no window manager to move the window for us."""

    def test_dragging_moves_the_window_all_the_same(self):
        self.start_kelvo().drag_logo(self)


class NoXTest(unittest.TestCase):
    """Nested: a display without the XTest extension."""

    def test_message_box_and_a_notice_then_failure_once_it_is_closed(self):
        # A session bus of its own, with the tests' notification service.
        bus = desktop.start(["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address"],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.addCleanup(desktop.stop, bus)
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus.stdout.readline().strip())
        service = kd.NotificationService(desktop, "body", env)
        self.addCleanup(desktop.stop, service.proc)
        kelvo = desktop.start([os.path.join(kd.build_dir(), "kelvo")], env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        self.addCleanup(desktop.stop, kelvo)

        def message_box():
            if kelvo.poll() is not None:
                self.fail("kelvo ended with status %d before a message: %s"
                          % (kelvo.returncode, kelvo.stderr.read()))
            boxes = [w for w in kd.windows_titled("Kelvo", kelvo.pid)
                     if (w["width"], w["height"]) != kd.KEYBOARD_SIZE]
            return boxes and boxes[0]["id"]
        box = kd.wait_until(message_box, what="a message box titled Kelvo")
        # The notice went before the box showed.
        (notice,) = service.notices(kelvo.pid)
        self.assertEqual(notice["summary"], "Kelvo cannot type on this desktop")
        self.assertRegex(notice["body"], r'\ADisplay ":\d+" has no XTest extension: keystrokes cannot be sent\.\n'
                                         r"Start the X server with its XTest and XKB extensions, .*\n"
                                         r"See .* file:///\S+/troubleshooting\.html#cannot-type\Z")
        desktop.keyboard.close_window(box)
        self.assertEqual(kelvo.wait(kd.TIMEOUT), 2, "status once the message box is closed")


def load_tests(loader, tests, pattern):
    nested_group = os.environ.get("KELVO_NESTED")
    groups = [globals()[nested_group]] if nested_group else \
        [DwellTyping, ArrowsAndBeeps, KeyboardWindow, WindowManagerCore, AwkwardDesktops, WindowManagers]
    return unittest.TestSuite(loader.loadTestsFromTestCase(g) for g in groups)


if __name__ == "__main__":
    if not os.access(os.path.join(kd.build_dir(), "kelvo"), os.X_OK):
        print("test_keyboard: %s/kelvo is missing: build the project first" % kd.build_dir())
        sys.exit(1)
    unittest.main(verbosity=2)
