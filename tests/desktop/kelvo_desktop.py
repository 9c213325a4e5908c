"""Helpers for the desktop tests: client windows that report what they receive,
focus and keyboard-layout control, the X server's keyboard state, and clean-up.

The tests run on a virtual desktop (scripts/virtual-desktop), with DISPLAY set.
Everything here waits on something observable (a file growing, an event line,
a property) with a time limit; nothing relies on a fixed sleep alone.
Standard library only: the X server is asked through xdotool, setxkbmap and
libX11 via ctypes.
"""

import contextlib
import ctypes
import ctypes.util
import json
import os
import pty
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import uuid
import zlib

# Exit status that ctest reports as a skipped test.
SKIP_STATUS = 77

# Default time limit, in seconds, for anything the tests wait on.
TIMEOUT = 15.0


def skip(reason):
    """Exits with the skip status, saying why; a failure where every test
    must run (KELVO_NO_SKIPS=1, as make test sets it), so that a run never
    passes over what it did not try."""
    if os.environ.get("KELVO_NO_SKIPS") == "1":
        print("failed: would have skipped (KELVO_NO_SKIPS=1): " + reason, file=sys.stderr)
        sys.exit(1)
    print("skipped: " + reason, file=sys.stderr)
    sys.exit(SKIP_STATUS)


def skip_unless_tools(*tools, session="DISPLAY", harness="scripts/virtual-desktop"):
    """Skips (see skip), saying which, when a tool is not installed or the
    desktop's variable (DISPLAY, or WAYLAND_DISPLAY; None for none) is not set."""
    missing = [t for t in tools if shutil.which(t) is None]
    if missing:
        skip("not installed: " + ", ".join(missing) + " (scripts/install-deps test installs them)")
    if session and not os.environ.get(session):
        skip("no %s; run through %s" % (session, harness))


def build_dir():
    """The build directory holding kelvo and its tools (KELVO_BUILD)."""
    path = os.environ.get("KELVO_BUILD")
    if not path:
        raise RuntimeError("KELVO_BUILD is not set: ctest sets it to the build directory")
    return path


def source_dir():
    """The repository's top folder (KELVO_SOURCE, else two levels above this file)."""
    return os.environ.get("KELVO_SOURCE") or os.path.dirname(
        os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def wait_until(predicate, timeout=TIMEOUT, interval=0.02, what="condition"):
    """Polls predicate until it returns a true value, which is returned;
    raises TimeoutError naming what was awaited when time runs out (what
    may be a function, asked then, to say how things stood at the end)."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise TimeoutError("timed out after %.1fs waiting for %s" % (timeout, what() if callable(what) else what))
        time.sleep(interval)


def once_or_twice(text):
    """A pattern for text typed by Kelvo.press, each character of it once or
    twice, and nothing else."""
    return "^" + "".join("(?:%s){1,2}" % re.escape(c) for c in text) + "$"


def landed_and_later(received, in_flight=0.3, later=0.6):
    """What received() returns once a keystroke already on its way has had
    in_flight seconds to land, and again later seconds after that: the two
    are equal when typing has stopped."""
    time.sleep(in_flight)
    landed = received()
    time.sleep(later)
    return landed, received()


def run(args, timeout=TIMEOUT, env=None, check=True):
    """Runs a short command and returns its CompletedProcess (text output)."""
    result = subprocess.run(args, capture_output=True, text=True, timeout=timeout, env=env)
    if check and result.returncode != 0:
        raise RuntimeError("%s failed with status %d: %s"
                           % (" ".join(args), result.returncode, result.stderr.strip()))
    return result


def run_x(args, window=None, check=True):
    """run() for an X tool that walks the window tree: another client's
    window that goes while it walks (a manager's frame, a tray slot) fails
    it with BadWindow on that window, so it is asked again; a BadWindow on
    window itself stands."""
    for _ in range(10):
        result = run(args, check=False)
        gone = re.search(r"BadWindow.*?Resource id in failed request:\s*0x([0-9a-f]+)", result.stderr, re.S)
        if result.returncode == 0 or not gone or int(gone.group(1), 16) == window:
            break
        time.sleep(0.05)
    if check and result.returncode != 0:
        raise RuntimeError("%s failed with status %d: %s"
                           % (" ".join(args), result.returncode, result.stderr.strip()))
    return result


# --- the X server's own view of the keyboard --------------------------------

class _XkbState(ctypes.Structure):
    _fields_ = [
        ("group", ctypes.c_ubyte), ("locked_group", ctypes.c_ubyte),
        ("base_group", ctypes.c_ushort), ("latched_group", ctypes.c_ushort),
        ("mods", ctypes.c_ubyte), ("base_mods", ctypes.c_ubyte),
        ("latched_mods", ctypes.c_ubyte), ("locked_mods", ctypes.c_ubyte),
        ("compat_state", ctypes.c_ubyte), ("grab_mods", ctypes.c_ubyte),
        ("compat_grab_mods", ctypes.c_ubyte), ("lookup_mods", ctypes.c_ubyte),
        ("compat_lookup_mods", ctypes.c_ubyte), ("ptr_buttons", ctypes.c_ushort),
    ]


# Core modifier bits, as in X.h and xev's "state" field.
SHIFT, LOCK, CONTROL, MOD1, MOD2, MOD3, MOD4, MOD5 = (1 << i for i in range(8))
MODIFIER_NAMES = ["Shift", "Lock", "Control", "Mod1", "Mod2", "Mod3", "Mod4", "Mod5"]


def modifier_names(mask):
    """The names of the core modifier bits set in mask, e.g. ['Shift', 'Mod5']."""
    return [name for bit, name in enumerate(MODIFIER_NAMES) if mask & (1 << bit)]


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("message", _ClientMessage), ("pad", ctypes.c_long * 24)]


class KeyboardState:
    """A connection of our own to the X server to read the keyboard's state
    (and to ask a window to close, as a window manager's close button does)."""

    def __init__(self, display=None):
        path = ctypes.util.find_library("X11") or "libX11.so.6"
        x = ctypes.CDLL(path)
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XQueryKeymap.argtypes = [ctypes.c_void_p, ctypes.c_char * 32]
        x.XQueryPointer.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + \
            [ctypes.POINTER(ctypes.c_ulong)] * 2 + [ctypes.POINTER(ctypes.c_int)] * 4 + \
            [ctypes.POINTER(ctypes.c_uint)]
        x.XkbGetState.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.POINTER(_XkbState)]
        x.XkbKeycodeToKeysym.restype = ctypes.c_ulong
        x.XkbKeycodeToKeysym.argtypes = [ctypes.c_void_p, ctypes.c_ubyte, ctypes.c_int, ctypes.c_int]
        x.XKeysymToString.restype = ctypes.c_char_p
        x.XKeysymToString.argtypes = [ctypes.c_ulong]
        x.XStringToKeysym.restype = ctypes.c_ulong
        x.XStringToKeysym.argtypes = [ctypes.c_char_p]
        x.XKeysymToKeycode.restype = ctypes.c_ubyte
        x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x.XDisplayKeycodes.argtypes = [ctypes.c_void_p] + [ctypes.POINTER(ctypes.c_int)] * 2
        x.XGetKeyboardMapping.restype = ctypes.POINTER(ctypes.c_ulong)
        x.XGetKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_ubyte, ctypes.c_int,
                                          ctypes.POINTER(ctypes.c_int)]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XkbLockGroup.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_uint]
        x.XFlush.argtypes = [ctypes.c_void_p]
        x.XInternAtom.restype = ctypes.c_ulong
        x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                 ctypes.POINTER(_XEvent)]
        self._x = x
        name = display.encode() if display else None
        self._display = x.XOpenDisplay(name)
        if not self._display:
            raise RuntimeError("cannot open display %r" % (display or os.environ.get("DISPLAY")))

    def close(self):
        """Closes the connection."""
        if self._display:
            self._x.XCloseDisplay(self._display)
            self._display = None

    def pointer_mask(self):
        """The core modifier and button mask the server reports right now."""
        root, child = ctypes.c_ulong(), ctypes.c_ulong()
        ints = [ctypes.c_int() for _ in range(4)]
        mask = ctypes.c_uint()
        self._x.XQueryPointer(self._display, self._x.XDefaultRootWindow(self._display),
                              ctypes.byref(root), ctypes.byref(child),
                              *[ctypes.byref(i) for i in ints], ctypes.byref(mask))
        return mask.value

    def lock_group(self, group, timeout=TIMEOUT):
        """Locks the keyboard to layout group (0 is the first) and waits until it is active."""
        self._x.XkbLockGroup(self._display, 0x100, group)  # XkbUseCoreKbd
        self._x.XFlush(self._display)
        wait_until(lambda: self.xkb_state()["group"] == group, timeout,
                   what="keyboard group %d" % group)

    def xkb_state(self):
        """The XKB state: a dict of group, locked_group, mods, base_mods,
        latched_mods and locked_mods."""
        state = _XkbState()
        self._x.XkbGetState(self._display, 0x100, ctypes.byref(state))  # XkbUseCoreKbd
        return {f: getattr(state, f) for f in
                ("group", "locked_group", "mods", "base_mods", "latched_mods", "locked_mods")}

    def held_keys(self):
        """The keycodes the server considers pressed, with their first keysym's name."""
        keys = (ctypes.c_char * 32)()
        self._x.XQueryKeymap(self._display, keys)
        held = []
        for i, byte in enumerate(bytes(keys)):
            for bit in range(8):
                if byte & (1 << bit):
                    code = i * 8 + bit
                    held.append((code, self.keysym_name(code)))
        return held

    def mapping(self):
        """The core keyboard mapping, asked of the server afresh: a dict from
        keycode to its tuple of keysym values."""
        low, high = ctypes.c_int(), ctypes.c_int()
        self._x.XDisplayKeycodes(self._display, ctypes.byref(low), ctypes.byref(high))
        count = high.value - low.value + 1
        per = ctypes.c_int()
        syms = self._x.XGetKeyboardMapping(self._display, low.value, count, ctypes.byref(per))
        try:
            return {low.value + i: tuple(syms[i * per.value + j] for j in range(per.value))
                    for i in range(count)}
        finally:
            self._x.XFree(syms)

    def keysym_name(self, keycode, group=0, level=0):
        """The keysym name at keycode in this connection's copy of the keymap
        (which may lag behind changes), or None."""
        sym = self._x.XkbKeycodeToKeysym(self._display, keycode, group, level)
        name = self._x.XKeysymToString(sym) if sym else None
        return name.decode() if name else None

    def keycode_of(self, keysym_name):
        """A keycode that carries the named keysym, or 0."""
        sym = self._x.XStringToKeysym(keysym_name.encode())
        return self._x.XKeysymToKeycode(self._display, sym) if sym else 0

    def describe(self):
        """A one-line summary of modifiers, group and held keys, for failure messages."""
        s = self.xkb_state()
        return ("mask %s, xkb mods %s (latched %s, locked %s), group %d, held keys %s"
                % (modifier_names(self.pointer_mask() & 0xff), modifier_names(s["mods"]),
                   modifier_names(s["latched_mods"]), modifier_names(s["locked_mods"]),
                   s["group"], self.held_keys()))

    def close_window(self, window):
        """Sends window the WM_DELETE_WINDOW request a window manager's close
        button sends (works without a window manager and without XTest)."""
        x, d = self._x, self._display
        event = _XEvent()
        event.message.type = 33  # ClientMessage
        event.message.window = window
        event.message.message_type = x.XInternAtom(d, b"WM_PROTOCOLS", 0)
        event.message.format = 32
        event.message.data[0] = x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
        x.XSendEvent(d, window, 0, 0, ctypes.byref(event))
        x.XFlush(d)

    def is_idle(self):
        """True when no key is held, no modifier is set (held, latched or
        locked) and the first group is active."""
        s = self.xkb_state()
        return (not self.held_keys() and self.pointer_mask() & 0xff == 0
                and s["mods"] == 0 and s["latched_mods"] == 0 and s["locked_mods"] == 0
                and s["group"] == 0)


def read_ppm(path):
    """A binary PPM file's (width, height, RGB bytes)."""
    with open(path, "rb") as f:
        data = f.read()
    # P6 <width> <height> <maxval>, one whitespace, then RGB bytes.
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        start = at
        while not data[at:at + 1].isspace():
            at += 1
        fields.append(data[start:at])
    if fields[0] != b"P6" or fields[3] != b"255":
        raise ValueError("%s is not an 8-bit binary PPM: %r" % (path, fields))
    return int(fields[1]), int(fields[2]), data[at + 1:]


def read_png(source):
    """(width, height, rows of (r, g, b) pixels) of an 8-bit RGB or RGBA PNG:
    a file's path, or its bytes."""
    if isinstance(source, bytes):
        data = source
    else:
        with open(source, "rb") as f:
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


def greenish(rgb):
    """True for the keyboard's green background, however translucent."""
    r, g, b = rgb
    return g > 200 and r < 60 and b < 60


# --- processes and windows ----------------------------------------------------

class Processes:
    """Starts programs and stops them all again, with a temporary folder of
    their own.

    Use as a context manager, or call close(); the folder goes too."""

    def __init__(self):
        self.tmp = tempfile.mkdtemp(prefix="kelvo-desktop-")
        self._procs = []

    def start(self, args, **kwargs):
        """Starts a program in its own process group and remembers it for close()."""
        kwargs.setdefault("stdin", subprocess.DEVNULL)
        proc = subprocess.Popen(args, start_new_session=True, **kwargs)
        self._procs.append(proc)
        return proc

    def stop(self, proc, timeout=5.0):
        """Stops one started program (and its process group)."""
        if proc.poll() is None:
            try:
                os.killpg(proc.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            try:
                proc.wait(timeout)
            except subprocess.TimeoutExpired:
                try:
                    os.killpg(proc.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                proc.wait()
        for pipe in (proc.stdin, proc.stdout, proc.stderr):
            if pipe:
                try:
                    pipe.close()
                except OSError:
                    pass  # what it was given to read is lost with it
        if proc in self._procs:
            self._procs.remove(proc)

    def close(self):
        """Stops every program started here, newest first, and removes the folder."""
        for proc in reversed(list(self._procs)):
            self.stop(proc)
        shutil.rmtree(self.tmp, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def path(self, name):
        """A file name inside the temporary folder."""
        return os.path.join(self.tmp, name)


class Desktop(Processes):
    """Starts client programs on the current X display and stops them all
    again; asks the X server about windows, focus and the keyboard."""

    def __init__(self):
        super().__init__()
        self.keyboard = KeyboardState()

    def close(self):
        """Stops every program started here and closes the X connection."""
        super().close()
        self.keyboard.close()

    # --- windows

    def find_window(self, title, proc=None, timeout=TIMEOUT):
        """Waits for a visible window titled exactly title; returns its id."""
        def found():
            if proc is not None and proc.poll() is not None:
                raise RuntimeError("%s exited with status %d before its window appeared"
                                   % (proc.args[0], proc.returncode))
            r = run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % re.escape(title)],
                    check=False)
            ids = r.stdout.split()
            return int(ids[0]) if ids else None
        return wait_until(found, timeout, what="a window titled %r" % title)

    def focused_window(self):
        """The id of the window holding the keyboard focus (its client window), or 0."""
        r = run(["xdotool", "getwindowfocus"], check=False)
        return int(r.stdout.strip()) if r.returncode == 0 and r.stdout.strip() else 0

    def focus(self, window, timeout=TIMEOUT):
        """Gives window the keyboard focus and waits until the server says it has it."""
        if self.focused_window() == window:
            return
        # Activation goes through the window manager, which also raises the
        # window; without one, set the focus directly.
        if run(["xprop", "-root", "_NET_ACTIVE_WINDOW"], check=False).stdout.count("window id"):
            run(["xdotool", "windowactivate", str(window)], check=False)
        else:
            run(["xdotool", "windowfocus", str(window)], check=False)

        def has_focus():
            return self.focused_window() == window
        try:
            wait_until(has_focus, timeout / 2, what="focus")
        except TimeoutError:
            # A request can be lost while the manager is busy mapping a window: ask once more.
            run(["xdotool", "windowactivate", str(window)], check=False)
            run(["xdotool", "windowfocus", str(window)], check=False)
            wait_until(has_focus, timeout / 2,
                       what="window %d to get the focus (focused: %d)"
                       % (window, self.focused_window()))

    def move_pointer(self, x, y, window=None):
        """Moves the pointer to x, y on the screen, or inside window when given."""
        args = ["xdotool", "mousemove"]
        if window is not None:
            args += ["--window", str(window)]
        elif pointer() == (x, y):
            return  # --sync would wait for a motion that never comes
        run(args + ["--sync", str(x), str(y)])

    # --- keyboard layout

    def set_layout(self, layout, variant=None, timeout=TIMEOUT):
        """Switches the keyboard layout (setxkbmap) and waits until it is in force."""
        args = ["setxkbmap", "-layout", layout]
        args += ["-variant", variant or ""]
        args += ["-option", ""]  # clear options so no earlier choice lingers
        run(args)

        def active():
            q = run(["setxkbmap", "-query"]).stdout
            m = re.search(r"^layout:\s*(\S+)", q, re.M)
            return m and m.group(1) == layout
        wait_until(active, timeout, what="keyboard layout %r" % layout)

    # --- clients

    def cat_terminal(self, name="cat"):
        """An xterm running cat in raw mode: see CatTerminal."""
        return CatTerminal(self, name)

    def key_events(self, name="xev", events=("keyboard",), geometry="300x200+900+40"):
        """An xev window reporting its key events (and any other xev event
        classes named in events) at geometry: see KeyEventWindow."""
        return KeyEventWindow(self, name, events, geometry)

    def text_client(self, kind, name=None):
        """A GTK entry, a Qt line edit or a browser's text area (kind "gtk",
        "qt" or "browser"), focused: see TextClient."""
        return TextClient(self, kind, name or kind)

    # --- the keyboard program

    def kelvo(self, env=None, timeout=TIMEOUT, command=None, scale=1, terminal=False):
        """Starts kelvo (or command) and waits for its keyboard window: see Kelvo."""
        return Kelvo(self, env, timeout, command, scale, terminal)


# Where a program keeps what it writes for its user.
HOME_FOLDERS = {"HOME": "home", "XDG_CONFIG_HOME": "config", "XDG_CACHE_HOME": "cache",
                "XDG_DATA_HOME": "data", "XDG_STATE_HOME": "state"}


def private_dirs(owner=None, runtime=True):
    """An empty home and empty XDG folders (with XDG_RUNTIME_DIR when
    runtime) in a fresh temporary folder: (that folder, the environment
    entries that point at them)."""
    top = tempfile.mkdtemp(prefix="kelvo-home-")
    dirs = dict(HOME_FOLDERS, **({"XDG_RUNTIME_DIR": "run"} if runtime else {}))
    env = {}
    for name, sub in dirs.items():
        env[name] = os.path.join(top, sub)
        os.mkdir(env[name], 0o700)
    if owner is not None:
        for path in [top] + list(env.values()):
            os.chown(path, owner, owner)
    return top, env


def files_under(top):
    """Every file and folder under top, relative to it."""
    found = []
    for root, subdirs, files in os.walk(top):
        found += [os.path.relpath(os.path.join(root, n), top) for n in subdirs + files]
    return sorted(found)


class UntouchedHome:
    """An empty home and XDG folders for every kelvo a test module starts
    (env), looked into when the module ends: on this desktop kelvo writes
    nothing there.

        home = kd.UntouchedHome()
        setUpModule, tearDownModule = home.around(desktop)
        ... kelvo's environment gets home.env ...

    close() (so tearDownModule) raises AssertionError naming what was written.
    """

    def __init__(self):
        self.top, self.env = None, {}

    def open(self):
        self.top, self.env = private_dirs(runtime=False)

    def close(self):
        if self.top is None:
            return
        written = [f for f in files_under(self.top) if f not in HOME_FOLDERS.values()]
        shutil.rmtree(self.top, True)
        self.top = None
        if written:
            raise AssertionError("kelvo wrote into its home and data folders: %s" % ", ".join(written))

    def around(self, desktop):
        """setUpModule and tearDownModule for a module's desktop (a
        ModuleDesktop) with this home."""
        def up():
            self.open()
            desktop.open()

        def down():
            try:
                desktop.close()
            finally:
                self.close()
        return up, down


class ModuleDesktop:
    """One Desktop (or what `make` makes) for every test of a module,
    standing in for it:

        desktop = kd.ModuleDesktop()
        setUpModule, tearDownModule = desktop.open, desktop.close
    """

    def __init__(self, make=None):
        self._desktop = None
        self._make = make or Desktop

    def open(self):
        self._desktop = self._make()

    def close(self):
        if self._desktop is not None:
            self._desktop.close()
            self._desktop = None

    def __getattr__(self, name):
        if self._desktop is None:
            raise RuntimeError("the module's desktop is not open (setUpModule opens it)")
        return getattr(self._desktop, name)


class CatTerminal:
    """An xterm whose terminal is raw and echo-less, with cat copying every byte
    it receives into a file at once: what was typed, exactly."""

    def __init__(self, desktop, name):
        self.desktop = desktop
        self.file = desktop.path(name + ".out")
        self.title = "kelvo-%s-%s" % (name, uuid.uuid4().hex[:8])
        self._mark = 0
        # The shell creates the file only after stty has run, so its existence
        # says the terminal is raw and cat is about to read.
        self.proc = self.start_terminal(["sh", "-c", 'stty raw -echo && exec cat > "$1"', "sh", self.file],
                                        dict(os.environ, LC_ALL="C.UTF-8"))
        wait_until(lambda: os.path.exists(self.file), what="cat to start in the terminal")

    def start_terminal(self, command, env):
        """Starts the terminal running command and waits for its window."""
        proc = self.desktop.start(
            ["xterm", "-u8", "-T", self.title, "-n", self.title, "-geometry", "80x12+40+40",
             "-xrm", "XTerm*allowTitleOps: false", "-e", *command],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.window = self.desktop.find_window(self.title, proc)
        return proc

    def received(self):
        """Everything received since the last take(), as bytes."""
        with open(self.file, "rb") as f:
            f.seek(self._mark)
            return f.read()

    def take(self, expected, timeout=TIMEOUT):
        """Waits until what arrived since the last take() is as long as expected
        (bytes, or text in UTF-8) or time runs out, then returns it decoded
        (undecodable bytes escaped) and starts a new take."""
        if isinstance(expected, str):
            expected = expected.encode()
        try:
            wait_until(lambda: len(self.received()) >= len(expected), timeout,
                       what="%d bytes in the terminal" % len(expected))
        except TimeoutError:
            pass
        data = self.received()
        self._mark += len(data)
        return data.decode("utf-8", errors="backslashreplace")

    def take_until(self, sentinel, timeout=TIMEOUT):
        """Waits until sentinel arrives, then returns what came before it (text)
        and starts a new take after it; raises TimeoutError if it never comes."""
        sentinel = sentinel.encode() if isinstance(sentinel, str) else sentinel
        wait_until(lambda: sentinel in self.received(), timeout,
                   what="%r in the terminal (got %r)" % (sentinel, self.received()))
        data = self.received()
        end = data.index(sentinel)
        self._mark += end + len(sentinel)
        return data[:end].decode("utf-8", errors="backslashreplace")

    def collect(self, timeout=TIMEOUT):
        """Types an Escape after whatever was sent (with xdotool, a separate XTest
        client) and returns what arrived before it: all of it, and only it."""
        run(["xdotool", "key", "Escape"])
        return self.take_until(b"\x1b", timeout)

    def skip(self):
        """Forgets what has arrived so far."""
        self._mark += len(self.received())


class TextClient:
    """A window with one text field that tells what it holds: a GTK entry
    and a Qt line edit write their text to a file, a browser page puts it in
    its window's title (tests/clients)."""

    BROWSER_FLAGS = ["--no-sandbox", "--no-first-run", "--no-default-browser-check",
                     "--disable-gpu", "--disable-background-networking", "--disable-component-update",
                     "--disable-sync", "--password-store=basic", "--disable-dev-shm-usage"]

    def __init__(self, desktop, kind, name):
        self.desktop, self.kind = desktop, kind
        self.title = "kelvo-%s-%s" % (name, uuid.uuid4().hex[:8])
        self.file = desktop.path(self.title + ".txt")
        clients = os.path.join(source_dir(), "tests", "clients")
        if kind == "gtk":
            # Debian's own python, which has the GTK bindings.
            args = ["/usr/bin/python3", os.path.join(clients, "gtk_entry.py"), self.title, self.file]
        elif kind == "qt":
            args = [os.path.join(build_dir(), "kelvo-text-field"), self.title, self.file]
        elif kind == "browser":
            args = ["chromium", "--user-data-dir=" + desktop.path(self.title + ".profile"),
                    "--window-position=40,320", "--window-size=500,300", *self.BROWSER_FLAGS,
                    "--app=file://%s#%s" % (os.path.join(clients, "page.html"), self.title)]
        else:
            raise ValueError("no text client of kind %r" % kind)
        self.proc = desktop.start(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def shown():
            if self.proc.poll() is not None:
                raise RuntimeError("%s ended with status %d" % (args[0], self.proc.returncode))
            r = run(["xdotool", "search", "--onlyvisible", "--name", "^%s" % re.escape(self.title)],
                    check=False)
            ids = r.stdout.split()
            return int(ids[-1]) if ids and self.text() is not None else None
        self.window = wait_until(shown, 60, what="the %s client's window" % kind)
        desktop.focus(self.window)

    def text(self):
        """What the field holds now; None before it has said."""
        if self.kind == "browser":
            r = run(["xdotool", "search", "--name", "^%s:" % re.escape(self.title), "getwindowname"],
                    check=False)
            name = r.stdout.splitlines()[0] if r.stdout else ""
            return json.loads(name[len(self.title) + 1:]) if name.startswith(self.title + ":") else None
        try:
            with open(self.file, encoding="utf-8") as f:
                return f.read()
        except FileNotFoundError:
            return None

    def wait_for(self, expected, timeout=TIMEOUT):
        """Waits until the field holds exactly expected; returns it, or raises
        naming what it holds."""
        try:
            return wait_until(lambda: self.text() == expected, timeout,
                              what="%r in the %s client" % (expected, self.kind)) and expected
        except TimeoutError as err:
            raise AssertionError("%s; it holds %r" % (err, self.text())) from None


class KeyEvent:
    """One KeyPress or KeyRelease event as xev printed it."""

    def __init__(self, kind, state, keycode, keysym, name, synthetic):
        self.kind = kind            # "KeyPress" or "KeyRelease"
        self.state = state          # modifier and button mask before the event
        self.keycode = keycode      # X keycode
        self.keysym = keysym        # keysym value
        self.name = name            # keysym name, e.g. "a", "Return", "ISO_Left_Tab"
        self.synthetic = synthetic  # True for events sent with XSendEvent

    @property
    def press(self):
        """True for a KeyPress."""
        return self.kind == "KeyPress"

    def __repr__(self):
        return "%s(%s, state=%s)" % ("+" if self.press else "-", self.name,
                                     "|".join(modifier_names(self.state)) or "0")


_EVENT_RE = re.compile(
    r"^(KeyPress|KeyRelease) event, serial \d+, synthetic (YES|NO),.*?"
    r"state 0x([0-9a-f]+), keycode (\d+) \(keysym 0x([0-9a-f]+), ([^)]*)\)", re.S | re.M)


class KeyEventWindow:
    """xev's window, with its key events parsed as they arrive."""

    def __init__(self, desktop, name, events=("keyboard",), geometry="300x200+900+40"):
        self.desktop = desktop
        self.title = "kelvo-%s-%s" % (name, uuid.uuid4().hex[:8])
        self._text = ""
        self._events = []
        self._parsed_to = 0
        self._lock = threading.Lock()
        self._mark = 0
        args = ["xev", "-name", self.title, "-geometry", geometry]
        for kind in events:
            args += ["-event", kind]
        if shutil.which("stdbuf"):
            # xev buffers its output when it goes to a pipe.
            args = ["stdbuf", "-oL"] + args
        self.proc = desktop.start(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                  text=True, errors="replace")
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        self.window = desktop.find_window(self.title, self.proc)

    def _read(self):
        try:
            for line in self.proc.stdout:
                with self._lock:
                    self._text += line
        except (ValueError, OSError):
            pass  # the pipe was closed when xev was stopped

    @staticmethod
    def _parse(block):
        m = _EVENT_RE.search(block)
        if not m:
            return None
        return KeyEvent(m.group(1), int(m.group(3), 16), int(m.group(4)),
                        int(m.group(5), 16), m.group(6).strip(), m.group(2) == "YES")

    def events(self):
        """Every key event since the last take()."""
        # xev starts each event with a blank line, so the text before the last
        # blank line holds finished events, parsed once; the reader adds whole
        # lines and an event's fields sit on its first three, so the block
        # still being written is read afresh each time.
        with self._lock:
            text = self._text
        end = text.rfind("\n\n")
        if end > self._parsed_to:
            for block in text[self._parsed_to:end].split("\n\n"):
                event = self._parse(block)
                if event:
                    self._events.append(event)
            self._parsed_to = end
        events = list(self._events)
        last = self._parse(text[self._parsed_to:])
        if last:
            events.append(last)
        return events[self._mark:]

    def take_until(self, keysym_name, timeout=TIMEOUT):
        """Waits for the release of keysym_name, then returns the events before
        its press (the sentinel's own events are dropped) and starts a new take.
        The release is matched by keycode: on some layouts it reports another
        keysym, once the level's modifier is let go first."""
        def sentinel():
            evs = self.events()
            press = next((i for i, e in enumerate(evs) if e.name == keysym_name and e.press), None)
            if press is None:
                return None
            release = next((i for i in range(press + 1, len(evs))
                            if not evs[i].press and evs[i].keycode == evs[press].keycode), None)
            return None if release is None else (press, release)
        try:
            press, release = wait_until(sentinel, timeout, what="%s in xev" % keysym_name)
        except TimeoutError as err:
            raise TimeoutError("%s; events so far: %r" % (err, self.events())) from None
        evs = self.events()
        self._mark += release + 1
        return evs[:press]

    def collect(self, timeout=TIMEOUT):
        """Presses the keypad's divide key after whatever was sent (with xdotool,
        a separate XTest client) and returns the events before it."""
        run(["xdotool", "key", "KP_Divide"])
        return self.take_until("KP_Divide", timeout)

    def skip(self):
        """Forgets the events so far."""
        self._mark += len(self.events())

    def output(self):
        """All that xev has printed so far (every event class it reports)."""
        with self._lock:
            return self._text


def presses(events):
    """The KeyPress events among events, ignoring modifier keys themselves."""
    modifiers = re.compile(r"^(Shift|Control|Alt|Meta|Super|Hyper|ISO_Level\d|Mode_switch)")
    return [e for e in events if e.press and not modifiers.match(e.name)]


class NotificationService:
    """The tests' own notification service (fake_notifications.py) on the
    session bus that env (or the environment) names, and what it logged.
    Stop it with processes.stop(service.proc)."""

    def __init__(self, processes, capabilities="body,body-markup", env=None):
        self.log = processes.path("notifications-%s.log" % uuid.uuid4().hex[:8])
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fake_notifications.py")
        errors = processes.path("notifications-%s.err" % uuid.uuid4().hex[:8])
        with open(errors, "wb") as err:
            self.proc = processes.start(["/usr/bin/python3", script, "--log", self.log, "--capabilities",
                                         capabilities], env=env, stdout=subprocess.PIPE, stderr=err, text=True)
        if self.proc.stdout.readline().strip() != "ready":
            processes.stop(self.proc)
            with open(errors, encoding="utf-8", errors="replace") as f:
                raise RuntimeError("the notification service did not start (scripts/install-deps test installs "
                                   "python3-dbus): " + f.read())

    def entries(self):
        with open(self.log, encoding="utf-8") as f:
            return [json.loads(line) for line in f]

    def calls_from(self, pid):
        """The calls process pid made of the service."""
        return [e for e in self.entries() if e["entry"] not in ("connected", "gone") and e.get("pid") == pid]

    def notices(self, pid):
        """The Notify calls of process pid."""
        return [e for e in self.calls_from(pid) if e["entry"] == "Notify"]

    def all_gone(self, pid):
        """True once process pid connected to the bus and every connection
        of its has gone: then all it sent here is in the log."""
        entries = self.entries()
        names = {e["name"] for e in entries if e["entry"] == "connected" and e["pid"] == pid}
        return bool(names) and names <= {e["name"] for e in entries if e["entry"] == "gone"}


# --- windows as the X server sees them ----------------------------------------

def window_info(window):
    """What xwininfo says of window: a dict of id, name, x, y (absolute, the
    outer corner of its border), width, height (within the border), border
    and map_state ("IsViewable", "IsUnMapped", "IsUnviewable"); None once the
    window is gone."""
    r = run_x(["xwininfo", "-id", str(window)], window, check=False)
    if r.returncode != 0:
        return None
    name = re.search(r'^xwininfo: Window id: \S+ (?:"(.*)"|\(has no name\))$', r.stdout, re.M)
    fields = dict(re.findall(r"^\s*(Absolute upper-left [XY]|Width|Height|Border width|Map State):\s*(\S+)",
                             r.stdout, re.M))
    return {"id": window, "name": name.group(1) if name else None,
            "x": int(fields["Absolute upper-left X"]), "y": int(fields["Absolute upper-left Y"]),
            "width": int(fields["Width"]), "height": int(fields["Height"]),
            "border": int(fields["Border width"]), "map_state": fields["Map State"]}


def windows_titled(title, pid=None):
    """window_info of every viewable window titled exactly title (xdotool's
    search ignores case and sees unmapped windows), of process pid if given."""
    r = run(["xdotool", "search", "--name", "^%s$" % re.escape(title)], check=False)
    found = []
    for window in map(int, r.stdout.split()):
        info = window_info(window)
        if info and info["name"] == title and info["map_state"] == "IsViewable" \
                and (pid is None or window_pid(window) == pid):
            found.append(info)
    return found


def window_pid(window):
    """The _NET_WM_PID of window, or None."""
    m = re.search(r"= (\d+)", run(["xprop", "-id", str(window), "_NET_WM_PID"], check=False).stdout)
    return int(m.group(1)) if m else None


def xprop(window, *properties):
    """xprop's text for the given properties of window (the root window for None)."""
    target = ["-root"] if window is None else ["-id", str(window)]
    return run(["xprop"] + target + list(properties)).stdout


def work_area():
    """The first desktop's work area (x, y, width, height) from _NET_WORKAREA."""
    m = re.search(r"= (\d+), (\d+), (\d+), (\d+)", xprop(None, "_NET_WORKAREA"))
    if not m:
        raise RuntimeError("the window manager publishes no _NET_WORKAREA")
    return tuple(int(v) for v in m.groups())


def tray_icons(pid=None):
    """window_info of the windows of process pid embedded in a system tray
    (tint2's, or a window manager's own): its small windows that are not
    top-level windows; for pid None, those of any process in tint2's tray
    (found through `xwininfo -root -tree`)."""
    # A window that goes while xwininfo walks the tree fails the walk; the
    # callers poll, so that counts as nothing found this time.
    walk = run(["xwininfo", "-root", "-tree"], check=False)
    if walk.returncode != 0:
        return []
    icons, panel_depth = [], None
    for line in walk.stdout.splitlines():
        m = re.match(r'^(\s*)(0x[0-9a-f]+) (?:"([^"]*)"|\(has no name\)).*\)\s+(\d+)x(\d+)\+', line)
        if not m:
            continue
        depth = len(m.group(1))
        if panel_depth is not None and depth <= panel_depth:
            panel_depth = None
        if m.group(3) == "tint2":
            panel_depth = depth
            continue
        # The root's children are indented by 5 spaces; an icon lies deeper,
        # inside the tray, and is no bigger than a tray's slot.
        if depth <= 5 or int(m.group(4)) > 64 or int(m.group(5)) > 64:
            continue
        window = int(m.group(2), 16)
        if (pid is None and panel_depth is not None) or (pid is not None and window_pid(window) == pid):
            info = window_info(window)
            if info and info["map_state"] == "IsViewable":
                icons.append(info)
    return icons


def usable_area():
    """The part of the screen a window manager leaves to windows (x, y,
    width, height): its _NET_WORKAREA, or where it publishes none, the
    screen less the strips that docks reserve (_NET_WM_STRUT_PARTIAL)."""
    try:
        return work_area()
    except RuntimeError:
        pass
    root = window_info(int(re.search(r"Window id: (0x[0-9a-f]+)",
                                     run(["xwininfo", "-root"]).stdout).group(1), 16))
    left, top, right, bottom = 0, 0, root["width"], root["height"]
    tree = run(["xwininfo", "-root", "-tree"]).stdout
    # The root's children, and theirs for a dock a manager put in a frame.
    for window in re.findall(r"^(?: {5}| {8})(0x[0-9a-f]+) ", tree, re.M):
        m = re.search(r"= ((?:\d+, ){11}\d+)", run(["xprop", "-id", window, "_NET_WM_STRUT_PARTIAL"],
                                                    check=False).stdout)
        if m:
            strut = [int(v) for v in m.group(1).split(", ")]
            left, right = max(left, strut[0]), min(right, root["width"] - strut[1])
            top, bottom = max(top, strut[2]), min(bottom, root["height"] - strut[3])
    return left, top, right - left, bottom - top


@contextlib.contextmanager
def manager_stopped(seconds):
    """The window manager (KELVO_WM_PID, with what it started) stopped for
    seconds from entering, as one too busy to answer; it runs again then,
    whatever the body is waiting for, and before the body's end is passed."""
    def tree(pid):
        children = run(["pgrep", "-P", str(pid)], check=False).stdout.split()
        return [pid] + [p for child in children for p in tree(int(child))]
    stopped = tree(int(os.environ["KELVO_WM_PID"]))
    for pid in stopped:
        os.kill(pid, signal.SIGSTOP)
    resume = threading.Timer(seconds, lambda: [os.kill(pid, signal.SIGCONT) for pid in stopped])
    resume.start()
    try:
        yield
    finally:
        resume.join()


def frame_of(window):
    """window_info of the top-level window that holds window: a window
    manager's frame around it, or window itself."""
    while True:
        m = re.search(r"Parent window id: (0x[0-9a-f]+)( \(the root window\))?",
                      run(["xwininfo", "-children", "-id", str(window)]).stdout)
        if not m or m.group(2):
            return window_info(window)
        window = int(m.group(1), 16)


def pointer():
    """Where the pointer is on the screen, (x, y)."""
    m = re.search(r"x:(-?\d+) y:(-?\d+)", run_x(["xdotool", "getmouselocation"]).stdout)
    return int(m.group(1)), int(m.group(2))


def click(x, y, button=1, hold=0.1):
    """Moves the pointer to x, y on the screen and clicks button there,
    holding it down for hold seconds as a hand does (0: pressed and released
    at once, as tools and fast fingers do)."""
    args = ["xdotool"]
    if pointer() != (x, y):  # --sync would wait for a motion that never comes
        args += ["mousemove", "--sync", str(x), str(y)]
    if hold:
        args += ["mousedown", str(button), "sleep", str(hold), "mouseup", str(button)]
    else:
        args += ["click", str(button)]
    run(args)


# --- the keyboard program -------------------------------------------------------

def _stored_places():
    """Every button's rectangle (left, top, width, height) in pixels relative
    to the keyboard window, and its caption, by name, from the keyboard's
    stored layout (twips, 15 to the pixel)."""
    places, captions, name = {}, {}, None
    with open(os.path.join(source_dir(), "keyboard", "frmKelvo.layout"), encoding="utf-8") as f:
        for line in f:
            words = line.split()
            caption = re.match(r'\s+caption = "((?:[^"\\]|\\.)*)"', line)
            if line.startswith("button "):
                name = words[1]
                places[name] = {}
            elif not line.startswith((" ", "\t")):
                name = None
            elif name and len(words) == 2 and words[0] in ("left", "top", "width", "height"):
                places[name][words[0]] = int(words[1]) // 15
            elif name and caption:
                captions[name] = re.sub(r"\\(.)", r"\1", caption.group(1))
    return ({name: (p["left"], p["top"], p["width"], p["height"]) for name, p in places.items()}, captions)


_PLACES, _CAPTIONS = _stored_places()

# Each key's rectangle (left, top, width, height) in pixels relative to the
# keyboard window, by key index.
KEY_RECTS = [_PLACES["cmdButton(%d)" % index] for index in range(62)]

# The character each key types as text, by key index ("a" for A, " " for
# Space, "&" for the && key); None for the keys that type a named key or latch.
KEY_CHARACTERS = [
    None if c in ("", "Del", "Enter", "Shift", "Ctrl", "Alt", "Esc")
    else " " if c == "Space" else c.replace("&&", "&").lower()
    for c in (_CAPTIONS.get("cmdButton(%d)" % index, "") for index in range(62))]

# The other controls' rectangles, in pixels like KEY_RECTS.
CONTROL_RECTS = {name: _PLACES[name] for name in ("cmdKelvo", "cmdMinimize", "cmdExit")}

# Key indexes the tests name.
KEY_A, KEY_H, KEY_SHIFT, KEY_LEFT = 0, 7, 29, 56

KEYBOARD_SIZE = (264, 298)


def control_at(x, y):
    """The key index or control name whose rectangle holds window pixel x, y, or None."""
    named = list(enumerate(KEY_RECTS)) + list(CONTROL_RECTS.items())
    return next((name for name, (l, t, w, h) in named if l <= x < l + w and t <= y < t + h), None)


def start_with_stderr(processes, args, path, env=None, terminal=False):
    """Starts args (see Processes.start) with its standard error going to
    the file path, by way of a terminal of its own when terminal."""
    if not terminal:
        with open(path, "wb") as err:
            return processes.start(args, env=env, stdout=subprocess.DEVNULL, stderr=err)
    master, slave = pty.openpty()
    try:
        proc = processes.start(args, env=env, stdout=subprocess.DEVNULL, stderr=slave)
    finally:
        os.close(slave)

    def copy():
        with open(path, "ab", buffering=0) as err, os.fdopen(master, "rb", buffering=0) as tty:
            try:
                for chunk in iter(lambda: tty.read(4096), b""):
                    err.write(chunk)
            except OSError:
                pass  # EIO: the program and its terminal are gone
    open(path, "wb").close()
    threading.Thread(target=copy, daemon=True).start()
    return proc


class Kelvo:
    """The keyboard program, started on the current display, and its window."""

    scale = 1  # the screen's pixels to the keyboard's own (see __init__)

    def __init__(self, desktop, env=None, timeout=TIMEOUT, command=None, scale=1, terminal=False):
        """command: the program and its arguments when it is not the built
        kelvo (kelvo.exe under Wine, say); its window is then known by its
        title and size alone, as its process may not be the one started.
        scale: the screen's pixels to the keyboard's own (2 under
        QT_SCALE_FACTOR=2): its window is that much larger, and a place on
        it given in the keyboard's pixels is that much further in.
        terminal: its standard error is a terminal, as when started from a
        shell (what it writes there is read all the same)."""
        self.desktop = desktop
        self.scale = scale
        size = tuple(round(n * scale) for n in KEYBOARD_SIZE)
        self.path = command[0] if command else os.path.join(build_dir(), "kelvo")
        if not command and not os.access(self.path, os.X_OK):
            raise RuntimeError("%s is missing: build the project first" % self.path)
        self.stderr_path = desktop.path("kelvo-%s.err" % uuid.uuid4().hex[:8])
        self.proc = start_with_stderr(desktop, command or [self.path], self.stderr_path, env, terminal)

        def keyboard():
            if self.proc.poll() is not None:
                raise RuntimeError("kelvo exited with status %d before its window appeared: %s"
                                   % (self.proc.returncode, self.stderr()))
            return next((w["id"] for w in windows_titled("Kelvo", None if command else self.proc.pid)
                         if (w["width"], w["height"]) == size), None)
        self.window = wait_until(keyboard, timeout, what="kelvo's keyboard window")

    def stderr(self):
        """What kelvo has written to its standard error so far."""
        with open(self.stderr_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def info(self):
        """window_info of the keyboard window; raises, saying how kelvo
        fares, once the window is gone."""
        info = window_info(self.window)
        if info is None:
            status = self.proc.poll()
            raise RuntimeError("kelvo's keyboard window %d is gone (%s); kelvo %s; its other windows %s; "
                               "stderr: %s"
                               % (self.window, run(["xwininfo", "-id", str(self.window)], check=False).stderr.strip(),
                                  "runs" if status is None else "ended with %d" % status,
                                  windows_titled("Kelvo", self.proc.pid), self.stderr()))
        return info

    def screen_point(self, x, y):
        """Screen coordinates of pixel x, y of the keyboard window, where it is now."""
        info = self.info()
        return info["x"] + int(x * self.scale), info["y"] + int(y * self.scale)

    def centre_of(self, control):
        """Screen coordinates of the centre of a key (by index) or a control (by name)."""
        l, t, w, h = KEY_RECTS[control] if isinstance(control, int) else CONTROL_RECTS[control]
        return self.screen_point(l + w // 2, t + h // 2)

    def move_onto(self, control):
        """Moves the pointer onto the centre of a key or control as a hand
        does, by way of a point beside it: a pointer that only appears where
        it rested before (warped back to the very point) is no move to kelvo."""
        x, y = self.centre_of(control)
        self.desktop.move_pointer(x + 2, y + 1)
        self.desktop.move_pointer(x, y)

    def rest_on(self, key, seconds, until=None):
        """Moves the pointer onto the centre of key, leaves it there for seconds
        (the dwell being measured), or until until() holds where given (a
        busy machine may delay the first keystroke), and moves it off the
        keyboard again."""
        self.move_onto(key)
        if until:
            wait_until(until, what="a keystroke from the key the pointer rests on")
        else:
            time.sleep(seconds)
        self.leave()

    def press(self, key, client):
        """Rests on key until its keystroke reaches client (more than it had),
        then moves off: on a busy machine the first tick can come later than
        any fixed rest. Once, or where the move off came late, twice (see
        once_or_twice)."""
        received = client if callable(client) else client.received
        before = len(received())
        self.rest_on(key, None, until=lambda: len(received()) > before)

    def sent(self, keys):
        """How many times kelvo has sent the key string keys, as KELVO_TRACE=1's
        lines say: what a client should have received, however many ticks a
        rest took."""
        return self.stderr().count('kelvo: sent "%s" = ' % keys)

    def latch(self, key, on=True):
        """Rests on a modifier key until its latch turns on (or off), as
        KELVO_TRACE=1's lines say, and again should a late move off have let
        it turn back."""
        line = re.compile(r"^kelvo: \S+ latch (on|off)$", re.M)
        states = lambda: line.findall(self.stderr())
        for _ in range(5):
            before = len(states())
            self.rest_on(key, None, until=lambda: len(states()) > before)
            # Where the move off lost the race with the next tick, that tick
            # is in the trace by now.
            last = []
            wait_until(lambda: last.append(len(states())) or last[-3:] == [last[-1]] * 3 and len(last) >= 3,
                       interval=0.1, what="the latch to stay put")
            if states()[-1] == ("on" if on else "off"):
                return
        raise AssertionError("the latch did not stay %s: %s" % ("on" if on else "off", states()))

    def leave(self):
        """Moves the pointer well away from the keyboard window."""
        info = self.info()
        self.desktop.move_pointer(max(0, info["x"] - 300), info["y"] + 10)

    def click(self, control, hold=0.1):
        """Left-clicks the centre of a key or control (hold as for click())."""
        click(*self.centre_of(control), hold=hold)

    def drag_logo(self, case):
        """Drags the logo button by (-100, -50) and checks, with case's
        assertions, that the window followed."""
        start = self.info()
        x, y = self.centre_of("cmdKelvo")
        self.desktop.move_pointer(x, y)
        run(["xdotool", "mousedown", "1"])
        try:
            # As a hand moves, after the window manager has had time to take
            # the move over: it follows only what the pointer does after that.
            time.sleep(0.3)
            for step in range(1, 11):
                self.desktop.move_pointer(x - 10 * step, y - 5 * step)
                time.sleep(0.05)
            moved = lambda: (abs(self.info()["x"] - (start["x"] - 100)) <= 3
                             and abs(self.info()["y"] - (start["y"] - 50)) <= 3)
            # A busy manager may take the move over only after the last step,
            # and moves the window at the pointer's next motion: the hand
            # trembles at the end by a pixel.
            tremble = [0]

            def followed():
                tremble[0] ^= 1
                self.desktop.move_pointer(x - 100 + tremble[0], y - 50)
                return moved()
            wait_until(followed, interval=0.1, what="the window to follow the drag")
        finally:
            run(["xdotool", "mouseup", "1"])
        # Where the window manager leaves it once the button is up.
        last = []

        def settled():
            time.sleep(0.1)
            last.append((self.info()["x"], self.info()["y"]))
            return len(last) > 2 and last[-1] == last[-2] == last[-3]
        wait_until(settled, what="the window to settle after the drag")
        case.assertTrue(moved(), "window at %s after the drag from %s" % (self.info(), start))

    def tray_icons(self):
        """kelvo's icons in the panel's system tray."""
        return tray_icons(self.proc.pid)

    def wait(self, timeout=TIMEOUT):
        """Waits for kelvo to end; returns its exit status."""
        return self.proc.wait(timeout)

    def stop(self):
        """Ends kelvo (SIGTERM) if it still runs."""
        self.desktop.stop(self.proc)
