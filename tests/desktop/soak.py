"""Reliability under load: a bounded random pointer tour over the keyboard.

    scripts/virtual-desktop --no-wm-keys -- python3 tests/desktop/soak.py --seconds 600

The pointer wanders over kelvo's keys, the green background between them and
a margin around the window, fast and slow, resting long enough to type and
passing on, and sweeps across the Shift, Ctrl and Alt latches. xev holds the
keyboard focus. kelvo runs with KELVO_TRACE=1, so it writes every key event
it sends; at the end that list must equal the key events xev received,
exactly and in order. Resident memory may grow by at most 1 MB after the
warm-up, no key or modifier may be held in the X server at the end, and
kelvo must run throughout. Exit status 0 when all holds, 1 otherwise.

The window manager must bind no keys (--no-wm-keys): latched Ctrl and Alt
make combinations it would otherwise take for itself.
"""

import argparse
import ctypes
import ctypes.util
import os
import random
import re
import shutil
import subprocess
import sys
import threading
import time
import uuid

import kelvo_desktop as kd
import pulse

MARGIN = 30               # pixels around the window the tour may use
RSS_GROWTH_LIMIT_KB = 1024
TRACE_RE = re.compile(r'^kelvo: sent "((?:[^"\\]|\\.)*)" =((?: [+-]\d+:\S+)+)( \(failed: .*\))?$')
EVENT_RE = re.compile(r"state 0x[0-9a-f]+, keycode (\d+) \(keysym 0x[0-9a-f]+, ([^)]*)\)")


class Pointer:
    """Moves the pointer through XTest on a connection of its own: quicker
    than a tool per move, so fast sweeps are really fast."""

    def __init__(self):
        x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                              ctypes.c_int, ctypes.c_ulong]
        self._x11, self._xtst = x11, xtst
        self._display = x11.XOpenDisplay(None)
        if not self._display:
            raise RuntimeError("cannot open display %r" % os.environ.get("DISPLAY"))
        self.position = None

    def move(self, x, y):
        self._xtst.XTestFakeMotionEvent(self._display, -1, int(x), int(y), 0)
        self._x11.XSync(self._display, 0)
        self.position = (int(x), int(y))

    def glide(self, x, y, step, pause):
        """Moves in steps of about step pixels with pause seconds between them."""
        x0, y0 = self.position or (x, y)
        count = max(1, int(max(abs(x - x0), abs(y - y0)) / max(step, 1)))
        for i in range(1, count + 1):
            self.move(x0 + (x - x0) * i / count, y0 + (y - y0) * i / count)
            time.sleep(pause)

    def close(self):
        self._x11.XCloseDisplay(self._display)


class KeyEvents:
    """xev's key events as (sign, keycode, keysym name), "+" for a press;
    read as they come, keeping only what the comparison needs."""

    def __init__(self, desktop):
        self.title = "kelvo-soak-%s" % uuid.uuid4().hex[:8]
        args = ["xev", "-name", self.title, "-geometry", "300x200+900+40", "-event", "keyboard"]
        if shutil.which("stdbuf"):
            args = ["stdbuf", "-oL"] + args  # xev buffers its output into a pipe
        self.proc = desktop.start(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                  text=True, errors="replace")
        self.events = []
        self._lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()
        self.window = desktop.find_window(self.title, self.proc)

    def _read(self):
        kind = None
        try:
            for line in self.proc.stdout:
                if line.startswith("KeyPress event"):
                    kind = "+"
                elif line.startswith("KeyRelease event"):
                    kind = "-"
                elif kind:
                    m = EVENT_RE.search(line)
                    if m:
                        with self._lock:
                            self.events.append((kind, int(m.group(1)), m.group(2).strip()))
                        kind = None
        except (ValueError, OSError):
            pass

    def snapshot(self):
        with self._lock:
            return list(self.events)


def read_trace(path):
    """kelvo's trace: (events, failures, other lines) from its standard error,
    events as (sign, keycode, keysym name)."""
    events, failures, other = [], [], []
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            m = TRACE_RE.match(line)
            if not m:
                if line.startswith("kelvo: sent"):
                    failures.append("unreadable trace line: " + line)
                elif line:
                    other.append(line)
                continue
            for token in m.group(2).split():
                code, name = token[1:].split(":", 1)
                events.append((token[0], int(code), name))
            if m.group(3):
                failures.append(line)
    return events, failures, other


def rss_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        return int(re.search(r"^VmRSS:\s+(\d+) kB", f.read(), re.M).group(1))


class Tour:
    """Picks where the pointer goes next and how."""

    def __init__(self, rng, origin):
        self.rng = rng
        self.ox, self.oy = origin
        self.deck = []
        self.visited = set()
        w, h = kd.KEYBOARD_SIZE
        # Pixels of the green background: in the window, on no control.
        self.gaps = [(x, y) for x in range(0, w, 3) for y in range(0, h, 3)
                     if kd.control_at(x, y) is None]

    def key_point(self, index, inset=2):
        l, t, w, h = kd.KEY_RECTS[index]
        return (self.ox + self.rng.randint(l + inset, l + w - 1 - inset),
                self.oy + self.rng.randint(t + inset, t + h - 1 - inset))

    def next_key(self):
        # Every key in turn, shuffled, so a run of any length covers them all.
        if not self.deck:
            self.deck = list(range(len(kd.KEY_RECTS)))
            self.rng.shuffle(self.deck)
        index = self.deck.pop()
        self.visited.add(index)
        return index

    def target(self):
        """(x, y, what) of the next place to go."""
        r = self.rng.random()
        if r < 0.55:
            index = self.next_key()
            return self.key_point(index) + ("key %d" % index,)
        if r < 0.7:
            index = self.rng.choice([kd.KEY_SHIFT, kd.KEY_SHIFT + 1, kd.KEY_SHIFT + 2])
            self.visited.add(index)
            return self.key_point(index) + ("modifier %d" % index,)
        if r < 0.85:
            x, y = self.rng.choice(self.gaps)
            return self.ox + x, self.oy + y, "background"
        w, h = kd.KEYBOARD_SIZE
        while True:
            x = self.rng.randint(-MARGIN, w + MARGIN - 1)
            y = self.rng.randint(-MARGIN, h + MARGIN - 1)
            if not (0 <= x < w and 0 <= y < h):
                return self.ox + x, self.oy + y, "off"

    def rest(self):
        """How long to stay: mostly passing by, sometimes long enough to type."""
        return self.rng.choice([0, 0, 0, 0.02, 0.05, 0.1, 0.19, 0.21, 0.3, 0.45, 0.8])

    def modifier_sweep(self, pointer, step, pause):
        """Crosses the Shift, Ctrl and Alt keys along their row, either way."""
        row = [kd.KEY_RECTS[i] for i in (kd.KEY_SHIFT, kd.KEY_SHIFT + 1, kd.KEY_SHIFT + 2)]
        y = self.oy + self.rng.randint(max(r[1] for r in row) + 2, min(r[1] + r[3] for r in row) - 3)
        left, right = self.ox + row[0][0] - 10, self.ox + row[-1][0] + row[-1][2] + 10
        if self.rng.random() < 0.5:
            left, right = right, left
        pointer.move(left, y)
        pointer.glide(right, y, step, pause)


def soak(seconds, seed, warmup):
    desktop = kd.Desktop()
    server = None
    pointer = None
    problems = []
    try:
        if pulse.pulseaudio_missing():
            print("soak: no PulseAudio (%s missing): beeps stay silent" % pulse.pulseaudio_missing())
            env = dict(os.environ)
        else:
            server = pulse.PulseServer().start()
            env = server.client_env()
        env["KELVO_TRACE"] = "1"
        xev = KeyEvents(desktop)
        desktop.focus(xev.window)
        kelvo = desktop.kelvo(env)
        info = kelvo.info()
        pointer = Pointer()
        rng = random.Random(seed)
        tour = Tour(rng, (info["x"], info["y"]))

        start = time.monotonic()
        rss_start = None
        moves = 0
        while time.monotonic() - start < seconds:
            if kelvo.proc.poll() is not None:
                problems.append("kelvo ended with status %d during the tour" % kelvo.proc.returncode)
                break
            if rss_start is None and time.monotonic() - start >= warmup:
                rss_start = rss_kb(kelvo.proc.pid)
            fast = rng.random() < 0.65
            step, pause = (rng.randint(20, 80), 0.002) if fast else (rng.randint(3, 8), 0.008)
            if rng.random() < 0.1:
                tour.modifier_sweep(pointer, step, pause)
            else:
                x, y, _ = tour.target()
                if fast and rng.random() < 0.5:
                    pointer.move(x, y)
                else:
                    pointer.glide(x, y, step, pause)
            moves += 1
            time.sleep(tour.rest())
        duration = time.monotonic() - start

        # Off the keyboard, whatever was sent lands; then nothing more may come.
        pointer.move(info["x"] - 200, info["y"] - 100)
        alive = kelvo.proc.poll() is None
        if not alive and not problems:
            problems.append("kelvo ended with status %d" % kelvo.proc.returncode)

        def settled():
            sent, _, _ = read_trace(kelvo.stderr_path)
            return len(xev.snapshot()) >= len(sent)
        try:
            kd.wait_until(settled, 30, what="xev to receive every key event kelvo sent")
        except TimeoutError as err:
            problems.append(str(err))
        time.sleep(0.5)
        sent, failures, other = read_trace(kelvo.stderr_path)
        received = xev.snapshot()
        rss_end = rss_kb(kelvo.proc.pid) if alive else None

        problems += ["a send failed: " + f for f in failures]
        problems += ["kelvo said: " + line for line in other
                     if "could not be typed" in line or "rror" in line]
        if [e[:2] for e in sent] != [e[:2] for e in received]:
            at = next((i for i, (a, b) in enumerate(zip(sent, received)) if a[:2] != b[:2]),
                      min(len(sent), len(received)))
            problems.append("kelvo sent %d key events, xev received %d; first difference at %d: "
                            "sent %s, received %s" % (len(sent), len(received), at,
                                                      sent[at:at + 6], received[at:at + 6]))
        if not desktop.keyboard.is_idle():
            problems.append("keys or modifiers held at the end: " + desktop.keyboard.describe())
        if desktop.focused_window() != xev.window:
            problems.append("xev lost the keyboard focus")
        if rss_start is not None and rss_end is not None and rss_end - rss_start > RSS_GROWTH_LIMIT_KB:
            problems.append("resident memory grew by %d kB after the warm-up (limit %d kB)"
                            % (rss_end - rss_start, RSS_GROWTH_LIMIT_KB))
        unvisited = sorted(set(range(len(kd.KEY_RECTS))) - tour.visited)

        presses = sum(1 for e in sent if e[0] == "+")
        print("soak: seed %d, %.0f s, %d moves, keys visited %d/%d%s"
              % (seed, duration, moves, len(tour.visited), len(kd.KEY_RECTS),
                 " (not %s)" % unvisited if unvisited else ""))
        print("soak: %d key presses sent, %d key events sent, %d received"
              % (presses, len(sent), len(received)))
        print("soak: resident memory %s kB after %.0f s warm-up, %s kB at the end"
              % (rss_start, warmup, rss_end))
        if alive:
            kelvo.stop()
            if kelvo.proc.returncode != 0:
                problems.append("kelvo ended with status %d on SIGTERM" % kelvo.proc.returncode)
    finally:
        if pointer:
            pointer.close()
        desktop.close()
        if server:
            server.stop()
    for problem in problems:
        print("soak: FAILED: " + problem)
    return not problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=float, default=600, help="length of the tour")
    parser.add_argument("--seed", type=int, default=None, help="random seed (default: the time)")
    parser.add_argument("--warmup", type=float, default=None,
                        help="seconds before the memory baseline (default: a quarter, at most 60)")
    args = parser.parse_args()
    if args.seconds <= 0:
        parser.error("--seconds must be positive")
    kd.skip_unless_tools("xev", "xdotool", "xprop", "xwininfo")
    seed = args.seed if args.seed is not None else int(time.time())
    warmup = args.warmup if args.warmup is not None else min(60.0, args.seconds / 4)
    sys.exit(0 if soak(args.seconds, seed, warmup) else 1)


if __name__ == "__main__":
    main()
