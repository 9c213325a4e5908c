"""Windows programs under Wine on the virtual desktop, for the Windows tests.

One Wine prefix (a fresh Windows installation, about 12 s to make) serves
every test module of a run: it is made in a temporary folder on first use
and removed, with every Wine process of it, when the run ends. The built
programs come from KELVO_WIN_CORE_BUILD (the backends and their test
programs, built without Qt) and KELVO_WIN_BUILD (kelvo.exe and the installer).
"""

import atexit
import os
import re
import shutil
import subprocess
import tempfile

import kelvo_desktop as kd

_prefix = None


def _skip_without_wine():
    kd.skip_unless_tools("wine", "wineserver", "xdotool")


def environment(sound=True):
    """The environment a Windows program runs in: the run's prefix, no Mono or
    Gecko prompts, Wine's own debug output off, and a home whose ALSA
    configuration gives one null sound device (sound) or none at all."""
    prefix = _make_prefix()
    env = dict(os.environ)
    env.update(WINEPREFIX=os.path.join(prefix, "wine"), WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d",
               WINEDEBUG="-all", HOME=os.path.join(prefix, "home-sound" if sound else "home-silent"))
    return env


def _make_prefix():
    global _prefix
    if _prefix is None:
        _skip_without_wine()
        _prefix = tempfile.mkdtemp(prefix="kelvo-wine-")
        atexit.register(_remove_prefix)
        for home in ("home-sound", "home-silent"):
            os.makedirs(os.path.join(_prefix, home))
        # Null output: it takes samples at any pace and plays none.
        with open(os.path.join(_prefix, "home-sound", ".asoundrc"), "w") as f:
            f.write("pcm.!default { type null }\n")
        env = environment()
        kd.run(["wineboot", "--init"], timeout=180, env=env)
        kd.run(["wineserver", "--wait"], timeout=120, env=env)
    return _prefix


def _remove_prefix():
    if _prefix and os.path.isdir(_prefix):
        subprocess.run(["wineserver", "--kill"], env=environment(), capture_output=True, timeout=60)
        shutil.rmtree(_prefix, ignore_errors=True)


def windows_path(path):
    """path, a Linux path, as Windows programs under Wine name it (drive Z: is /)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def drive_c(*parts):
    """A Linux path inside the prefix's drive C:."""
    return os.path.join(_make_prefix(), "wine", "drive_c", *parts)


def program(name, build="core"):
    """A built Windows program: from the build without Qt ("core") or with it ("qt")."""
    variable = "KELVO_WIN_CORE_BUILD" if build == "core" else "KELVO_WIN_BUILD"
    folder = os.environ.get(variable)
    if not folder:
        raise RuntimeError("%s is not set: make windows-test sets it" % variable)
    path = os.path.join(folder, name)
    if not os.path.isfile(path):
        raise RuntimeError("%s is missing: make windows builds it" % path)
    return path


def run(args, sound=True, timeout=60, check=True):
    """Runs a Windows program (its path first) to its end; CompletedProcess, text output."""
    return kd.run(["wine"] + list(args), timeout=timeout, env=environment(sound), check=check)


def start(desktop, args, sound=True, **kwargs):
    """Starts a Windows program on the desktop; its Popen (stopped with the desktop)."""
    return desktop.start(["wine"] + list(args), env=environment(sound), **kwargs)


def end_all():
    """Ends every Windows program of the prefix at once, as a crash would."""
    subprocess.run(["wineserver", "--kill"], env=environment(), capture_output=True, timeout=60)


def tray_icons():
    """The Windows programs' icons in the panel's tray: Wine's explorer.exe
    embeds one window there for each."""
    return [icon for icon in kd.tray_icons()
            if '"explorer.exe"' in kd.xprop(icon["id"], "WM_CLASS")]


class KeyLog:
    """The tests' own Windows window ("kelvo keylog"), which writes every
    keyboard message it receives to a file; started with the keyboard focus."""

    TITLE = "kelvo keylog"

    def __init__(self, desktop, geometry=(60, 60, 400, 300)):
        self.desktop = desktop
        self.path = desktop.path("keylog-%d.txt" % id(self))
        self.proc = start(desktop, [program("kelvo-keylog.exe"), windows_path(self.path)]
                          + [str(v) for v in geometry], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL)
        self.window = desktop.find_window(self.TITLE, timeout=60)
        desktop.focus(self.window)
        kd.wait_until(lambda: "active 1" in self.lines(), what="the key log window to be active")
        self.mark()

    def lines(self):
        """Every line logged so far."""
        try:
            with open(self.path, encoding="ascii") as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def mark(self):
        """Forgets what was logged so far: later reads start here."""
        self._start = len(self.lines())

    def new_lines(self):
        """The lines logged since the last mark()."""
        return self.lines()[self._start:]

    def text(self):
        """The characters (WM_CHAR and WM_SYSCHAR) since the last mark(), UTF-16 halves joined."""
        units = b"".join(int(m.group(1), 16).to_bytes(2, "little") for m in
                         (re.match(r"(?:sys)?char U\+([0-9A-F]{4})$", line) for line in self.new_lines())
                         if m)
        return units.decode("utf-16-le", errors="replace")

    def key_downs(self):
        """(virtual key, extended) of each key press since the last mark()."""
        return [(int(m.group(1), 16), int(m.group(2))) for m in
                (re.match(r"(?:sys)?key down vk=0x([0-9a-f]+) scan=0x[0-9a-f]+ ext=(\d)$", line)
                 for line in self.new_lines()) if m]

    def wait_for_text(self, expected, timeout=kd.TIMEOUT):
        """Waits until the characters since the mark end with expected; returns them all."""
        kd.wait_until(lambda: self.text().endswith(expected), timeout,
                      what="%r in the key log (it has %r)" % (expected, self.text()))
        return self.text()

    def kept_the_focus(self):
        """True when the window has not been deactivated since it started."""
        return "active 0" not in self.lines()
