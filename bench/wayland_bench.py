"""The Wayland benchmarks, on a headless sway (bench/run starts it): one send
with wait through the virtual keyboard (bench_send), and the keyboard's
dwell timing and CPU, with a foot terminal running cat as the focused client.

The pointer goes through kelvo-wayland-input; a move counts as done once the
compositor has processed it, which is when the keyboard's surface is told.
Each keystroke is timed as it comes out of cat into a pipe read here, so
the terminal's own delay is in the figures (a millisecond or so). Figures
are printed, never judged; the exit status is 1 only for a broken set-up.
  wayland_bench.py BUILD-DIR [--short]
"""

import os
import statistics
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "desktop"))
import kelvo_desktop as kd  # noqa: E402
import wayland_desktop as wd  # noqa: E402

TARGET_MS = 200.0


class Arrivals:
    """The times, on the monotonic clock, at which each byte came out of cat."""

    def __init__(self, path):
        self.times = []
        self._lock = threading.Lock()
        self._fd = os.open(path, os.O_RDONLY)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        while True:
            data = os.read(self._fd, 4096)
            if not data:
                return
            now = time.monotonic()
            with self._lock:
                self.times.extend([now] * len(data))

    def count(self):
        with self._lock:
            return len(self.times)

    def since(self, index):
        with self._lock:
            return self.times[index:]


def cpu_ticks(pid):
    """utime + stime of pid, in clock ticks."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def p95_error(values):
    errors = sorted(abs(v - TARGET_MS) for v in values)
    return errors[min(len(errors) - 1, int(0.95 * len(errors)))] if errors else float("nan")


def main():
    short = "--short" in sys.argv[2:]
    os.environ.setdefault("KELVO_BUILD", os.path.abspath(sys.argv[1]))
    build = kd.build_dir()
    with wd.WaylandDesktop() as desktop:
        fifo = desktop.path("typed")
        os.mkfifo(fifo)
        app_id = "kelvo-bench-cat"
        desktop.start(["foot", "--app-id", app_id, "sh", "-c", 'stty raw -echo && exec cat > "$1"', "sh", fifo],
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        arrivals = Arrivals(fifo)
        kd.wait_until(lambda: desktop.focused_app() == app_id, what="the terminal to have the focus")

        subprocess.run([os.path.join(build, "bench", "bench_send"), "200" if short else "1000"], check=False)

        # A private runtime folder would leave kelvo silent; this desktop has
        # no sound server anyway, so a beep never weighs on the timing.
        kelvo = desktop.kelvo()
        pointer = desktop.pointer
        key = kelvo.centre_of(kd.KEY_H)
        away = (max(0, kelvo.origin[0] - 300), kelvo.origin[1] + 10)
        pointer.move(*away)

        first, periods, after_leaving = [], [], 0
        rests = 3 if short else 20
        for rest in range(rests):
            start = arrivals.count()
            pointer.move(key[0] + rest % 2, key[1])
            arrived = time.monotonic()
            kd.wait_until(lambda: arrivals.count() >= start + 11, timeout=10, what="11 keystrokes")
            pointer.move(*away)
            left = time.monotonic()
            time.sleep(TARGET_MS * 1.5 / 1000)
            times = arrivals.since(start)
            typed = [t for t in times if t <= left]
            after_leaving += len(times) - len(typed)
            first.append((typed[0] - arrived) * 1000)
            periods += [(b - a) * 1000 for a, b in zip(typed, typed[1:])]

        ticks = os.sysconf("SC_CLK_TCK")
        idle_s, busy_s = (2, 11) if short else (30, 30)
        before, started = cpu_ticks(kelvo.proc.pid), time.monotonic()
        time.sleep(idle_s)
        idle = cpu_ticks(kelvo.proc.pid) - before
        idle_share = 100.0 * idle / ((time.monotonic() - started) * ticks)
        pointer.move(*key)
        before, started = cpu_ticks(kelvo.proc.pid), time.monotonic()
        time.sleep(busy_s)
        busy = cpu_ticks(kelvo.proc.pid) - before
        busy_share = 100.0 * busy / ((time.monotonic() - started) * ticks)
        pointer.move(*away)

        print("wayland dwell, first keystroke after arriving on a key, %d rests: median %.0f ms, "
              "p95 |error| %.0f ms, max %.0f ms (target %.0f ms)"
              % (len(first), statistics.median(first), p95_error(first), max(first), TARGET_MS))
        print("wayland dwell, repeat period, %d repeats: median %.0f ms, p95 |error| %.0f ms, max %.0f ms "
              "(target %.0f ms)" % (len(periods), statistics.median(periods), p95_error(periods), max(periods),
                                    TARGET_MS))
        print("wayland dwell, keystrokes after the pointer had left the key: %d in %d rests (target 0)"
              % (after_leaving, rests))
        print("wayland CPU idle, pointer away from the keyboard, %d s: %d ticks of 1/%d s, %.2f %% of one core "
              "(target 0 ticks)" % (idle_s, idle, ticks, idle_share))
        print("wayland CPU resting on a key, typing every period, %d s: %d ticks of 1/%d s, %.2f %% of one core "
              "(target at most 1 %%)" % (busy_s, busy, ticks, busy_share))
        print("wayland memory, resident while typing: %d KiB" % resident_kib(kelvo.proc.pid))
        kelvo.stop()


def resident_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


if __name__ == "__main__":
    main()
