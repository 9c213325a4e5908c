"""Helpers for the desktop tests on a Wayland desktop (scripts/wayland-desktop):
the compositor's own view through sway's IPC, screenshots with grim, the
pointer and a user's keyboard through kelvo-wayland-input, foot running cat
as the focused client, and kelvo with its layer-shell window.

Waiting, processes and the keyboard's layout come from kelvo_desktop; this
adds what differs on Wayland, where no client can ask where another's window
is or where the pointer is.
"""

import json
import os
import re
import shutil
import socket
import struct
import subprocess
import threading
import time
import uuid

import kelvo_desktop as kd

TOOLS = ("sway", "swaymsg", "grim", "foot")


def skip_unless_tools(*tools):
    """Exits with the skip status unless the tools are installed and a
    Wayland desktop is there."""
    kd.skip_unless_tools(*(TOOLS + tools), session="WAYLAND_DISPLAY", harness="scripts/wayland-desktop")


def service_cache_tool():
    """The program that has KDE reread its application entries: Plasma 6's
    where it is installed, else Plasma 5's."""
    return "kbuildsycoca6" if shutil.which("kbuildsycoca6") else "kbuildsycoca5"


def swaymsg(*args):
    """What sway answers to swaymsg with args, parsed from JSON."""
    return json.loads(kd.run(["swaymsg", "--raw", *args]).stdout or "null")


def held_in_trace(trace):
    """The keycodes that KELVO_TRACE=1 lines show pressed and never released."""
    held = []
    for sign, code in re.findall(r" ([+-])(\d+):", trace):
        if sign == "+":
            held.append(code)
        elif code in held:
            held.remove(code)
    return held


class Screen:
    """One screenshot of the output (or of a rectangle of it), by grim."""

    def __init__(self, path, rect=None):
        args = ["grim", "-t", "ppm"]
        if rect:
            args += ["-g", "%d,%d %dx%d" % rect]
        kd.run(args + [path])
        self.left, self.top = (rect[0], rect[1]) if rect else (0, 0)
        self.width, self.height, self.pixels = kd.read_ppm(path)

    def pixel(self, x, y):
        """The colour at x, y on the output."""
        at = 3 * ((y - self.top) * self.width + (x - self.left))
        return tuple(self.pixels[at:at + 3])

    def rect(self, left, top, width, height):
        """Every colour of a rectangle of the output, row by row."""
        return [self.pixel(x, y) for y in range(top, top + height) for x in range(left, left + width)]


class Pointer:
    """The seat's pointer, the tests' covering window and the user's
    keyboard, through one kelvo-wayland-input kept for the whole module."""

    def __init__(self, processes):
        path = os.path.join(kd.build_dir(), "kelvo-wayland-input")
        self.proc = processes.start([path], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.at = None

    def command(self, *words):
        """Sends one command and waits until the compositor has carried it out."""
        self.proc.stdin.write(" ".join(str(w) for w in words) + "\n")
        self.proc.stdin.flush()
        reply = self.proc.stdout.readline().strip()
        if reply != "ok":
            raise RuntimeError("kelvo-wayland-input %s: %s" % (" ".join(map(str, words)), reply or "no answer"))

    def move(self, x, y):
        """Moves the pointer to x, y on the output, the last pixel of the way
        as a motion of its own: a hand's pointer always moves on a little
        after it has entered a window, and a toolkit may wait for that."""
        approach = x - 1 if x > 0 else x + 1
        if self.at != (approach, y):
            self.command("move", approach, y)
        self.command("move", x, y)
        self.at = (x, y)

    def press(self, button=1):
        self.command("down", button)

    def release(self, button=1):
        self.command("up", button)

    def click(self, x, y, button=1, hold=0.1):
        """Moves to x, y and clicks button there, held for hold seconds."""
        self.move(x, y)
        self.press(button)
        time.sleep(hold)
        self.release(button)


class WaylandDesktop(kd.Processes):
    """Clients on the current Wayland desktop, its pointer, and what sway
    says of them."""

    def __init__(self):
        super().__init__()
        self.pointer = Pointer(self)

    def shot(self, rect=None):
        """A screenshot of the output, or of rect (x, y, width, height)."""
        return Screen(self.path("screen-%s.ppm" % uuid.uuid4().hex[:8]), rect)

    def usable_area(self):
        """The output less the panels' zones, (x, y, width, height): the
        focused workspace's rectangle."""
        workspace = next(w for w in swaymsg("-t", "get_workspaces") if w["focused"])
        r = workspace["rect"]
        return r["x"], r["y"], r["width"], r["height"]

    @staticmethod
    def _window(test):
        """The first node of sway's tree that passes test, or None."""
        def walk(node):
            if test(node):
                return node
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                found = walk(child)
                if found:
                    return found
            return None
        return walk(swaymsg("-t", "get_tree"))

    def focused_app(self):
        """The app id of the window holding the keyboard focus, or None."""
        node = self._window(lambda n: n.get("focused"))
        return node.get("app_id") if node else None

    def window_rect(self, app_id):
        """Where sway has laid out the window of app_id: (x, y, width, height)."""
        node = self._window(lambda n: n.get("app_id") == app_id)
        r = node["rect"] if node else {}
        return tuple(r.get(k) for k in ("x", "y", "width", "height"))

    def has_tray_host(self):
        """True while a status-notifier host (swaybar's tray) is on the session bus."""
        r = kd.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                    "/org/freedesktop/DBus", "org.freedesktop.DBus.ListNames"], check=False)
        return "org.kde.StatusNotifierWatcher" in r.stdout

    def cat_terminal(self, name="cat"):
        """A foot terminal, focused, running cat in raw mode: see CatTerminal."""
        return CatTerminal(self, name)

    def kelvo(self, env=None, timeout=kd.TIMEOUT):
        """Starts kelvo and waits for its keyboard: see Kelvo."""
        return Kelvo(self, env, timeout)


class CatTerminal(kd.CatTerminal):
    """foot with its terminal raw and echo-less and cat copying every byte it
    receives into a file at once; the window, focused, has the app id
    self.title."""

    def start_terminal(self, command, env):
        proc = self.desktop.start(["foot", "--app-id", self.title, *command],
                                  env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        kd.wait_until(lambda: self.desktop.focused_app() == self.title, what="foot to have the focus")
        return proc

    def collect(self, timeout=kd.TIMEOUT):
        """What arrived, once nothing more has come for a moment."""
        last, since = None, time.monotonic()
        deadline = since + timeout
        while time.monotonic() < deadline:
            now = self.received()
            if now != last:
                last, since = now, time.monotonic()
            elif time.monotonic() - since > 0.5:
                break
            time.sleep(0.05)
        return self.take(b"")


class TextField(kd.TextClient):
    """kelvo-text-field as a native Wayland client: its text from the file
    it writes, its keys counted from where the last take() left off."""

    def __init__(self, desktop, name="field"):
        self.desktop, self.kind = desktop, "qt"
        self.title = "kelvo-%s-%s" % (name, uuid.uuid4().hex[:8])
        self.file = desktop.path(self.title + ".txt")
        self._mark = 0
        self.proc = desktop.start([os.path.join(kd.build_dir(), "kelvo-text-field"), self.title, self.file],
                                  env=dict(os.environ, QT_QPA_PLATFORM="wayland"),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        kd.wait_until(lambda: self.text() is not None, what="the text field to start")

    def received(self):
        return (self.text() or "")[self._mark:]

    def take(self, expected, timeout=kd.TIMEOUT):
        """Waits until what arrived since the last take() is as long as
        expected or time runs out; returns it and starts a new take."""
        try:
            kd.wait_until(lambda: len(self.received()) >= len(expected), timeout,
                          what="%d characters in the field" % len(expected))
        except TimeoutError:
            pass
        got = self.received()
        self._mark += len(got)
        return got

    collect = CatTerminal.collect

    def skip(self):
        """Starts a new take after whatever the field holds now."""
        self._mark = len(self.text() or "")


class Kelvo(kd.Kelvo):
    """kelvo on the Wayland desktop. Its window cannot be asked where it is:
    it starts at the usable area's bottom-right corner, and moves only by
    the drags made here (self.origin follows them)."""

    def __init__(self, desktop, env=None, timeout=kd.TIMEOUT):
        self.desktop = desktop
        self.path = os.path.join(kd.build_dir(), "kelvo")
        if not os.access(self.path, os.X_OK):
            raise RuntimeError("%s is missing: build the project first" % self.path)
        self.stderr_path = desktop.path("kelvo-%s.err" % uuid.uuid4().hex[:8])
        x, y, w, h = desktop.usable_area()
        self.origin = (x + w - kd.KEYBOARD_SIZE[0], y + h - kd.KEYBOARD_SIZE[1])
        kd.wait_until(self.corner_clear, timeout, what="the keyboard before this one to leave the corner")
        # The case before may have left the pointer where this keyboard opens
        # (on its exit button, say). A compositor may tell a surface that
        # maps under the pointer that the pointer entered it, which Wayland
        # cannot tell from a move onto it: the button would be pointed at.
        self.leave()
        with open(self.stderr_path, "wb") as err:
            self.proc = desktop.start([self.path], env=env, stdout=subprocess.DEVNULL, stderr=err)
        kd.wait_until(self.ready, timeout, what=lambda: "kelvo's keyboard at the corner (stderr: %r)" % self.stderr())

    def ready(self):
        """True once the keyboard is up at its corner."""
        return self.shows()

    def shows(self):
        """True once the exit button's red face shows where it belongs; raises
        once kelvo has ended."""
        if self.proc.poll() is not None:
            raise RuntimeError("kelvo exited with status %d: %s" % (self.proc.returncode, self.stderr()))
        return self.face_shows()

    def corner_clear(self):
        """True while no keyboard shows where this one is to appear. The
        compositor may show a keyboard that has just ended a moment longer,
        under the next one, which it would pass for."""
        return not self.face_shows()

    def face_shows(self):
        """True while an exit button's red face shows where this keyboard's belongs."""
        left, top, _, height = kd.CONTROL_RECTS["cmdExit"]
        x, y = self.screen_point(left + 3, top + height // 2)
        r, g, b = self.desktop.shot((x, y, 1, 1)).pixel(x, y)
        return r > 150 and g < 100 and b < 100

    def screen_point(self, x, y):
        return self.origin[0] + x, self.origin[1] + y

    def rest_on(self, key, seconds, until=None):
        self.desktop.pointer.move(*self.centre_of(key))
        if until:
            kd.wait_until(until, what="a keystroke from the key the pointer rests on")
        else:
            time.sleep(seconds)
        self.leave()

    def leave(self):
        """Moves the pointer well away from the keyboard."""
        self.desktop.pointer.move(max(0, self.origin[0] - 300), self.origin[1] + 10)

    def click(self, control, hold=0.1):
        self.desktop.pointer.click(*self.centre_of(control), hold=hold)

    def drag(self, control, dx, dy, steps=10):
        """Presses the left button on a control, moves by dx, dy in steps and
        lets go; the window is expected to have moved with the pointer."""
        x, y = self.centre_of(control)
        pointer = self.desktop.pointer
        pointer.move(x, y)
        pointer.press()
        for i in range(1, steps + 1):
            pointer.move(x + dx * i // steps, y + dy * i // steps)
            time.sleep(0.02)
        pointer.release()
        self.origin = (self.origin[0] + dx, self.origin[1] + dy)


class FakeCompositor:
    """A Wayland socket that answers as a compositor offering only the given
    globals, enough for a client to list them (get_registry and sync), and
    then nothing: what kelvo meets on a compositor lacking its protocols."""

    def __init__(self, folder, globals_=(("wl_compositor", 4), ("wl_shm", 1), ("wl_seat", 7),
                                         ("wl_output", 3), ("xdg_wm_base", 2))):
        self.path = os.path.join(folder, "fake-wayland-%s" % uuid.uuid4().hex[:8])
        self.globals = list(globals_)
        self._server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self._server.bind(self.path)
        self._server.listen(4)
        self._thread = threading.Thread(target=self._serve, daemon=True)
        self._thread.start()

    def close(self):
        self._server.close()
        try:
            os.unlink(self.path)
        except FileNotFoundError:
            pass

    def _serve(self):
        while True:
            try:
                client, _ = self._server.accept()
            except OSError:
                return
            threading.Thread(target=self._talk, args=(client,), daemon=True).start()

    @staticmethod
    def _event(target, opcode, payload):
        return struct.pack("<II", target, (8 + len(payload)) << 16 | opcode) + payload

    @staticmethod
    def _string(text):
        data = text.encode() + b"\0"
        return struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)

    def _talk(self, client):
        buffer = b""
        with client:
            while True:
                try:
                    data = client.recv(4096)
                except OSError:
                    return
                if not data:
                    return
                buffer += data
                while len(buffer) >= 8:
                    target, word = struct.unpack("<II", buffer[:8])
                    size, opcode = word >> 16, word & 0xffff
                    if len(buffer) < size:
                        break
                    args, buffer = buffer[8:size], buffer[size:]
                    if target != 1:
                        continue  # requests to anything but wl_display go unanswered
                    new_id = struct.unpack("<I", args[:4])[0]
                    if opcode == 1:  # get_registry: every global at once
                        reply = b"".join(self._event(new_id, 0, struct.pack("<I", n + 1) + self._string(name)
                                                     + struct.pack("<I", version))
                                         for n, (name, version) in enumerate(self.globals))
                    else:  # sync: done, and the callback's id is free again
                        reply = self._event(new_id, 0, struct.pack("<I", 1)) \
                            + self._event(1, 1, struct.pack("<I", new_id))
                    client.sendall(reply)
