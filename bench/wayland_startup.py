"""Start-up on the Wayland desktop this runs on (bench/run starts sway and
KWin in turn): from fork and exec to the first buffer a program attaches to
a surface of its own, for kelvo and for a bare Qt window of the keyboard's
size on Qt's Wayland platform (drawn in memory, as kelvo is), 10 rounds
after a warm-up round.

The moment is read from the program's own protocol log (WAYLAND_DEBUG=1,
whose times are the wall clock's microseconds cut to 32 bits, shown as
milliseconds); the log costs both programs alike. On KWin, kelvo is given fake input by the build folder's desktop
entry first, as the user guide tells. KWin reads through the executable of a
program it gives fake input before it answers each of its connections: the
build's own kelvo, with its debugging information, takes it far longer than
an installed one, so a copy stripped as a package strips it is timed too.
With --scale 2 (sway only) the output is scaled by 2 first. Figures are
printed, never judged.
  wayland_startup.py BUILD-DIR [--scale N] [--short]
"""

import datetime
import os
import re
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "desktop"))
import kelvo_desktop as kd  # noqa: E402
import wayland_desktop as wd  # noqa: E402

# libwayland 1.23 (Debian 13) writes the queue's name after the time and
# "#" for "@" in object names; 1.24 (Debian 14) the time as the local time
# of day (hours:minutes:seconds.microseconds), not milliseconds.microseconds.
ATTACH = re.compile(r"^\[\s*(?:(\d+):(\d+):(\d+)\.(\d+)|(\d+)\.(\d+))\]\s+(?:\{[^}]*\}\s+)?"
                    r"-> wl_surface[@#]\d+\.attach\(wl_buffer[@#]\d+", re.M)


def first_attach_ms(args, env):
    """Milliseconds from exec to the first buffer attached, then the
    program is ended."""
    log = os.path.join(os.environ.get("KELVO_DESKTOP_DIR", "/tmp"), "startup-%d.log" % os.getpid())
    with open(log, "w") as err:
        started = time.time()
        proc = subprocess.Popen(args, env=dict(env, WAYLAND_DEBUG="1"), stdout=subprocess.DEVNULL, stderr=err)
        try:
            def attached():
                with open(log, errors="replace") as f:
                    found = ATTACH.search(f.read())
                if proc.poll() is not None and not found:
                    raise RuntimeError("%s ended with status %d before showing" % (args[0], proc.returncode))
                return found
            found = kd.wait_until(attached, 20, what="%s to show a window" % args[0])
        finally:
            proc.terminate()
            proc.wait(5)
    os.unlink(log)
    if found.group(1):
        hours, minutes, seconds, micro = (int(found.group(n)) for n in range(1, 5))
        logged = hours * 3600 + minutes * 60 + seconds + micro / 1e6
        day = datetime.datetime.fromtimestamp(started)
        since_midnight = started - day.replace(hour=0, minute=0, second=0, microsecond=0).timestamp()
        return ((logged - since_midnight) % 86400) * 1000.0
    logged_us = int(found.group(5)) * 1000 + int(found.group(6))
    return ((logged_us - int(started * 1e6)) % 2 ** 32) / 1000.0


def main():
    build = sys.argv[1]
    rounds = 2 if "--short" in sys.argv else 10
    compositor = "KWin" if os.environ.get("WAYLAND_DISPLAY") == "kelvo-kwin" else "sway"
    scale = sys.argv[sys.argv.index("--scale") + 1] if "--scale" in sys.argv else None
    if scale:
        kd.run(["swaymsg", "output", "*", "scale", scale])
        compositor += " at scale " + scale
    env = dict(os.environ, HOME=os.environ.get("KELVO_DESKTOP_DIR", os.environ["HOME"]))
    programs = [("kelvo", [os.path.join(build, "kelvo")], env)]
    if compositor == "KWin":
        applications = os.path.join(os.environ["XDG_DATA_HOME"], "applications")
        os.makedirs(applications, exist_ok=True)
        shutil.copy(os.path.join(build, "org.kelvo.Kelvo.BuildFolder.desktop"), applications)
        if shutil.which("strip"):
            stripped = os.path.join(os.environ.get("KELVO_DESKTOP_DIR", "/tmp"), "stripped", "kelvo")
            os.makedirs(os.path.dirname(stripped), exist_ok=True)
            kd.run(["strip", "-o", stripped, os.path.join(build, "kelvo")])
            with open(os.path.join(applications, "kelvo-stripped.desktop"), "w") as entry:
                entry.write("[Desktop Entry]\nType=Application\nName=kelvo, stripped\nExec=%s\nNoDisplay=true\n"
                            "X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n" % stripped)
            programs.append(("kelvo, stripped", [stripped], env))
        kd.run([wd.service_cache_tool()], check=False)
        time.sleep(1)  # KWin rereads its service cache when told it changed
    programs += [
        ("bare Qt window", [os.path.join(build, "bench", "bench_bare_window")],
         dict(env, QT_QPA_PLATFORM="wayland", QT_WAYLAND_CLIENT_BUFFER_INTEGRATION="none"))]
    print("start-up on %s, to the first buffer shown (median of %d rounds, range):" % (compositor, rounds))
    for name, args, program_env in programs:
        first_attach_ms(args, program_env)  # warm-up
        times = [first_attach_ms(args, program_env) for _ in range(rounds)]
        print("  %-16s %6.0f ms (%.0f to %.0f)" % (name, statistics.median(times), min(times), max(times)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
