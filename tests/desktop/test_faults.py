"""Faults the keyboard must survive: the window manager and the panel killed
and started again, the X server killed, the sound server killed during a
beep, and SIGTERM while keys are being typed with Shift latched.

Run through scripts/virtual-desktop with KELVO_BUILD set (ctest does both).
The window manager and panel killed here are the ones that script started
for this test (found among its children); the X server killed is a second
one started here.
"""

import os
import re
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import kelvo_desktop as kd
import pulse

kd.skip_unless_tools("xev", "xdotool", "xprop", "xwininfo", "Xvfb", "openbox", "tint2")

ONE_TICK = 0.3  # resting this long types a key once, whatever the arrival costs

desktop = kd.ModuleDesktop()
setUpModule, tearDownModule = desktop.open, desktop.close


# The desktop's parts started again here, by name, once the originals are killed.
restarted = {}


def desktop_part(name):
    """The pid and command line of the desktop's process called name
    (openbox, tint2): the one restarted here, else the virtual desktop's own,
    a child of the script that started this test."""
    if name in restarted and restarted[name].poll() is None:
        return restarted[name].pid, restarted[name].args
    parent = os.getppid()
    with open("/proc/%d/task/%d/children" % (parent, parent)) as f:
        for pid in map(int, f.read().split()):
            try:
                with open("/proc/%d/cmdline" % pid, "rb") as c:
                    args = [a.decode() for a in c.read().split(b"\0") if a]
            except OSError:
                continue
            if args and os.path.basename(args[0]) == name:
                return pid, args
    raise unittest.SkipTest("no %s started by the virtual desktop (run through "
                            "scripts/virtual-desktop)" % name)


def kill_and_wait(pid):
    """Kills pid (not our child, so it lingers as a zombie) and waits until it is dead."""
    def dead():
        try:
            with open("/proc/%d/stat" % pid) as f:
                return f.read().rsplit(")", 1)[1].split()[0] == "Z"
        except OSError:
            return True
    os.kill(pid, signal.SIGKILL)
    kd.wait_until(dead, what="process %d to die" % pid)


def wm_check_window():
    m = re.search(r"window id # (0x[0-9a-f]+)", kd.xprop(None, "_NET_SUPPORTING_WM_CHECK"))
    return int(m.group(1), 16) if m else None


def key_presses(xev):
    return kd.presses(xev.events())


class Restarts(unittest.TestCase):
    def test_window_manager_restarted_keeps_the_keyboard_on_top_shaped_and_unfocusable(self):
        kelvo = desktop.kelvo()
        self.addCleanup(kelvo.stop)
        pid, args = desktop_part("openbox")
        kill_and_wait(pid)
        # The dead manager's check window went with it; the new one's may get the same id.
        kd.wait_until(lambda: not kd.window_info(wm_check_window()), what="the manager to be gone")
        wm = restarted["openbox"] = desktop.start(args, stdout=subprocess.DEVNULL,
                                                  stderr=subprocess.DEVNULL)
        kd.wait_until(lambda: wm.poll() is None and kd.window_info(wm_check_window()),
                      what="the restarted window manager to announce itself")
        kd.wait_until(lambda: "_NET_WM_STATE_ABOVE" in kd.xprop(kelvo.window, "_NET_WM_STATE"),
                      what="the keyboard to be kept above by the new window manager")
        self.assertIn("Client accepts input or input focus: False", kd.xprop(kelvo.window, "WM_HINTS"))

        # A client opened and raised over the whole keyboard afterwards.
        info = kelvo.info()
        over = desktop.key_events("over", events=("keyboard", "button"),
                                  geometry="320x360+%d+%d" % (info["x"] - 30, info["y"] - 30))
        self.addCleanup(desktop.stop, over.proc)
        desktop.focus(over.window)
        kd.run(["xdotool", "windowraise", str(over.window)])
        over.skip()
        # On top: resting on a key types it into the client below, which keeps the focus.
        kelvo.rest_on(kd.KEY_H, 3 * ONE_TICK)
        typed = [e.name for e in kd.presses(over.collect())]
        self.assertIn("h", typed, "the key under the pointer did not type: the keyboard is not on top")
        self.assertEqual(desktop.focused_window(), over.window, "the keyboard took the focus")
        # Shaped: a click on the background between keys reaches the client.
        before = over.output().count("ButtonPress event")
        kd.click(*kelvo.screen_point(10, 10))
        kd.wait_until(lambda: over.output().count("ButtonPress event") > before,
                      what="a click between keys to reach the client below")

    def restart_panel(self, kelvo):
        """Kills the panel and starts it again; returns kelvo's icon in it."""
        kd.wait_until(kelvo.tray_icons, what="kelvo's tray icon")
        pid, args = desktop_part("tint2")
        kill_and_wait(pid)
        kd.wait_until(lambda: not kelvo.tray_icons(), what="the icon to go with the panel")
        restarted["tint2"] = desktop.start(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return kd.wait_until(kelvo.tray_icons, what="kelvo's icon in the restarted panel")[0]

    def test_panel_restarted_gets_the_tray_icon_back(self):
        kelvo = desktop.kelvo()
        self.addCleanup(kelvo.stop)
        icon = self.restart_panel(kelvo)
        self.assertEqual((icon["width"], icon["height"]), (22, 22))
        self.assertIsNone(kelvo.proc.poll(), "kelvo ended when the panel went")

    # Qt puts a new icon window into the new panel: its releases must be
    # caught too.
    def test_the_icon_in_a_restarted_panel_restores_the_keyboard(self):
        kelvo = desktop.kelvo()
        self.addCleanup(kelvo.stop)
        icon = self.restart_panel(kelvo)
        kelvo.click("cmdMinimize")
        kd.wait_until(lambda: kelvo.info()["map_state"] != "IsViewable", what="the keyboard to hide")
        kd.click(icon["x"] + 11, icon["y"] + 11)
        kd.wait_until(lambda: kelvo.info()["map_state"] == "IsViewable", 5,
                      what="the new tray icon to bring the keyboard back")


class LostServers(unittest.TestCase):
    def test_x_server_killed_ends_kelvo_promptly_with_a_message_and_a_failure_status(self):
        # Idle, Qt's connection sees the loss first; resting on a key, our own.
        for resting in (False, True):
            with self.subTest(resting_on_a_key=resting):
                status, took, err = self.kill_x_server_under_kelvo(resting)
                self.assertGreater(status, 0, "kelvo ended by signal %d (a crash) or with success; "
                                   "stderr: %s" % (-status, err))
                self.assertLess(took, 5, "kelvo took %.1f s to end" % took)
                self.assertRegex(err, re.compile(r"X11 connection|X server|display", re.I))

    def second_x_server(self):
        """A bare X server of the test's own, (process, display). One that
        gives no display number in time is given up for a second one, once;
        what each wrote is kept for the failure."""
        logs = []
        for _ in range(2):
            log_path = desktop.path("second-x-%d.log" % time.monotonic_ns())
            logs.append(log_path)
            with tempfile.TemporaryFile() as number, open(log_path, "wb") as log:
                server = subprocess.Popen(["Xvfb", "-displayfd", str(number.fileno()), "-screen", "0",
                                           "800x600x24", "-nolisten", "tcp", "-noreset"], pass_fds=(number.fileno(),),
                                          stdout=subprocess.DEVNULL, stderr=log, start_new_session=True)
                self.addCleanup(lambda server=server: server.poll() is None and (server.kill(), server.wait()))

                def reported():
                    number.seek(0)
                    text = number.read().decode().strip()
                    return (text.isdigit() and text) or (server.poll() is not None and "ended")
                try:
                    text = kd.wait_until(reported, what="the second X server's display number")
                except TimeoutError:
                    text = None
                if text and text != "ended":
                    return server, ":" + text
                if server.poll() is None:
                    server.kill()
                server.wait()
        written = []
        for path in logs:
            with open(path, errors="replace") as f:
                written.append(f.read().strip() or "(nothing)")
        self.fail("no second X server gave its display number within %d s, twice; they wrote: %s"
                  % (kd.TIMEOUT, " | ".join(written)))

    def kill_x_server_under_kelvo(self, resting):
        server, display = self.second_x_server()
        env = dict(os.environ, DISPLAY=display)
        err_path = desktop.path("lost-x-%d.err" % time.monotonic_ns())
        with open(err_path, "wb") as err:
            kelvo = desktop.start([os.path.join(kd.build_dir(), "kelvo")], env=env,
                                  stdout=subprocess.DEVNULL, stderr=err)
        self.addCleanup(desktop.stop, kelvo)
        search = ["xdotool", "search", "--onlyvisible", "--name", "^Kelvo$"]
        def shown():
            if kelvo.poll() is not None:
                with open(err_path, encoding="utf-8", errors="replace") as f:
                    self.fail("kelvo ended with %d before its window showed: %s" % (kelvo.returncode, f.read()))
            return kd.run(search, env=env, check=False).stdout.split()
        try:
            window = kd.wait_until(shown, what="kelvo's window on the second X server")[0]
        except TimeoutError:
            with open(err_path, encoding="utf-8", errors="replace") as f:
                self.fail("no window of kelvo's shows on the second X server (its windows named Kelvo, "
                          "shown or not: %r); stderr: %s"
                          % (kd.run(search[:2] + search[3:], env=env, check=False).stdout.split(), f.read()))
        if resting:
            x, y = (int(v) for v in re.findall(r"(?:X|Y):\s*(-?\d+)", kd.run(
                ["xwininfo", "-id", window], env=env).stdout)[:2])
            l, t, w, h = kd.KEY_RECTS[kd.KEY_H]
            kd.run(["xdotool", "mousemove", str(x + l + w // 2), str(y + t + h // 2)], env=env)
            time.sleep(ONE_TICK)
        self.assertIsNone(kelvo.poll(), "kelvo ended before its X server was killed")
        server.kill()
        start = time.monotonic()
        try:
            status = kelvo.wait(10)
        except subprocess.TimeoutExpired:
            self.fail("kelvo still runs 10 s after its X server was killed")
        took = time.monotonic() - start
        server.wait()
        with open(err_path, encoding="utf-8", errors="replace") as f:
            return status, took, f.read()

    def test_sound_server_killed_during_beeps_leaves_typing_going_and_beeps_come_back(self):
        missing = pulse.pulseaudio_missing()
        if missing:
            self.skipTest("%s is not installed (scripts/install-deps installs it)" % missing)
        server = pulse.PulseServer().start()
        self.addCleanup(server.stop)
        xev = desktop.key_events("beeps")
        self.addCleanup(desktop.stop, xev.proc)
        desktop.focus(xev.window)
        kelvo = desktop.kelvo(server.client_env())
        self.addCleanup(kelvo.stop)
        xev.skip()
        with server.record() as rec:
            kelvo.move_onto(kd.KEY_H)
            rec.wait_for_sound()
            server.signal(signal.SIGKILL)
        # Typing goes on without waiting on the dead server: a tick every 200 ms.
        count = len(key_presses(xev))
        kd.wait_until(lambda: len(key_presses(xev)) >= count + 5, 5,
                      what="H to go on typing after the sound server died")
        kd.wait_until(lambda: "sound output lost" in kelvo.stderr(),
                      what=lambda: "a message that sound output was lost (stderr: %r)" % kelvo.stderr())
        self.assertIsNone(kelvo.proc.poll())
        # A server that comes back is used again after the retry delay.
        server.restart()
        with server.record() as rec:
            rec.wait_for_sound(timeout=20)
            count = len(key_presses(xev))
            kd.wait_until(lambda: len(key_presses(xev)) >= count + 2, 5, what="H still typing")
        kelvo.leave()
        self.assertEqual({e.name for e in kd.presses(xev.collect())}, {"h"})


class Signals(unittest.TestCase):
    def test_sigterm_while_typing_with_shift_latched_leaves_nothing_held(self):
        xev = desktop.key_events("sigterm")
        self.addCleanup(desktop.stop, xev.proc)
        desktop.focus(xev.window)
        # The signal lands at a different point of the dwell cycle each round.
        for delay in (0.05, 0.13, 0.21, 0.29):
            with self.subTest(delay=delay):
                kelvo = desktop.kelvo()
                self.addCleanup(kelvo.stop)
                xev.skip()
                self.latch_shift(kelvo, xev)
                kelvo.move_onto(kd.KEY_A)
                kd.wait_until(lambda: len(key_presses(xev)) >= 2, what="A to type")
                time.sleep(delay)
                kelvo.proc.send_signal(signal.SIGTERM)
                self.assertEqual(kelvo.wait(), 0, kelvo.stderr())
                desktop.move_pointer(10, 10)
                kd.wait_until(desktop.keyboard.is_idle, what="no key or modifier held (%s)"
                              % desktop.keyboard.describe())
                self.assertEqual({e.name for e in kd.presses(xev.collect())}, {"A"},
                                 "typing with Shift latched")

    @staticmethod
    def latch_shift(kelvo, xev, attempts=5):
        """Rests one tick on Shift, then on A, until A comes as a capital."""
        for _ in range(attempts):
            kelvo.rest_on(kd.KEY_SHIFT, ONE_TICK)
            kelvo.rest_on(kd.KEY_A, ONE_TICK)
            names = [e.name for e in kd.presses(xev.collect())]
            if names and set(names) == {"A"}:
                return
        raise AssertionError("Shift did not latch in %d tries" % attempts)


if __name__ == "__main__":
    if not os.access(os.path.join(kd.build_dir(), "kelvo"), os.X_OK):
        print("test_faults: %s/kelvo is missing: build the project first" % kd.build_dir())
        sys.exit(1)
    unittest.main(verbosity=2)
