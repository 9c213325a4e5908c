"""What kelvo keeps to itself. While it types, beeps and ends on SIGTERM it
creates and writes no file on disk (but the sound library's key, see
PULSE_KEY), connects to nothing but the X server and the sound server, opens
no network socket and starts no other program, all as strace sees it; it
names no typed key on its output unless KELVO_TRACE=1 asks; and it types as
a user without privileges, from a program file without setuid, setgid or
capabilities.

Run through scripts/virtual-desktop with KELVO_BUILD set (ctest does both).
"""

import glob
import os
import re
import shutil
import signal
import stat
import sys
import tempfile
import unittest
import uuid

import kelvo_desktop as kd
import pulse

kd.skip_unless_tools("xev", "xdotool", "xprop", "xwininfo", "strace", "setpriv")

KEY_Q, KEY_Z = 16, 25
NOBODY = 65534

# Places that hold no file on disk: devices (shared memory among them),
# the kernel's views of processes and devices.
NOT_ON_DISK = ("/dev/", "/proc/", "/sys/")

# libpulse creates the key a sound client shows its server, relative to
# XDG_CONFIG_HOME, when the key file does not exist yet: 256 random bytes.
PULSE_KEY = os.path.join("pulse", "cookie")

# The calls that create, change or remove a name on disk, with the calls that
# reach other programs. Every process and thread gets a file of its own
# (-ff), so no call is split across lines; -yy names each descriptor's file
# or socket, -s keeps long paths whole.
TRACED = ("open,openat,openat2,creat,mkdir,mkdirat,mknod,mknodat,rename,renameat,renameat2,"
          "unlink,unlinkat,rmdir,link,linkat,symlink,symlinkat,truncate,chmod,fchmodat,"
          "chown,lchown,fchownat,utimensat,utimes,execve,execveat,socket,connect,bind")
CALL = re.compile(r"^(\w+)\((.*)\)\s+=\s+(-?\d+|\?)(.*)$")
WRITING = re.compile(r"\bO_(WRONLY|RDWR|CREAT|TRUNC)\b")
PATH_CHANGES = {"mkdir", "mkdirat", "mknod", "mknodat", "rename", "renameat", "renameat2",
                "unlink", "unlinkat", "rmdir", "link", "linkat", "symlink", "symlinkat",
                "truncate", "chmod", "fchmodat", "chown", "lchown", "fchownat", "utimensat",
                "utimes"}

desktop = kd.ModuleDesktop()
setUpModule, tearDownModule = desktop.open, desktop.close


class WrappedKelvo(kd.Kelvo):
    """kelvo started through another program (strace, setpriv); pid is
    kelvo's own, and its standard output and error go to one file."""

    def __init__(self, wrapper, env):
        self.desktop = desktop
        self.path = os.path.join(kd.build_dir(), "kelvo")
        self.stderr_path = desktop.path("kelvo-%s.out" % uuid.uuid4().hex[:8])
        with open(self.stderr_path, "wb") as out:
            self.proc = desktop.start(wrapper + [self.path], env=env, stdout=out, stderr=out)
        self.pid = kd.wait_until(self._kelvo_pid, what="kelvo to start")

        def keyboard():
            return next((w["id"] for w in kd.windows_titled("Kelvo", self.pid)
                         if (w["width"], w["height"]) == kd.KEYBOARD_SIZE), None)
        self.window = kd.wait_until(keyboard, what="kelvo's keyboard window (output: %r)"
                                    % self._output_so_far())

    def _output_so_far(self):
        return self.stderr() if os.path.exists(self.stderr_path) else ""

    def _kelvo_pid(self):
        if self.proc.poll() is not None:
            raise RuntimeError("%s ended with status %d: %s"
                               % (self.proc.args[0], self.proc.returncode, self.stderr()))
        # setpriv becomes kelvo; strace starts it as its child.
        with open("/proc/%d/task/%d/children" % (self.proc.pid, self.proc.pid)) as f:
            for pid in [self.proc.pid] + [int(p) for p in f.read().split()]:
                try:
                    if os.readlink("/proc/%d/exe" % pid) == os.path.realpath(self.path):
                        return pid
                except OSError:
                    pass
        return None

    def type_keys(self, xev, keys):
        """Rests on each key until xev has its keystroke (a busy machine may
        take longer than a tick; a late move off may let it come twice);
        returns the keysyms xev received, each key once."""
        xev.skip()
        for key in keys:
            before = len(kd.presses(xev.events()))
            self.rest_on(key, None, until=lambda: len(kd.presses(xev.events())) > before)
        names = [e.name for e in kd.presses(xev.collect())]
        return [name for i, name in enumerate(names) if i == 0 or name != names[i - 1]]

    def end(self):
        """SIGTERM to kelvo; returns its exit status (strace passes it on)."""
        os.kill(self.pid, signal.SIGTERM)
        return self.wait()


def kelvo_env(base, dirs, **more):
    """base without any other XDG folder or D-Bus address, with dirs and more."""
    env = {k: v for k, v in base.items()
           if not k.startswith("XDG_") and k not in ("DBUS_SESSION_BUS_ADDRESS", "KELVO_TRACE")}
    env.update(dirs)
    env.update(more)
    return env


def quoted_strings(args):
    return re.findall(r'"((?:[^"\\]|\\.)*)"', args)


def on_disk(path):
    return not path.startswith(NOT_ON_DISK)


def findings(trace_dir, program, allowed_paths, allowed_sockets):
    """What the strace files in trace_dir show kelvo doing beyond what it
    may: names created or changed on disk (but allowed_paths), sockets that
    are not local, connections to any socket not in allowed_sockets, and
    programs started other than program itself, once. Returns one line per
    finding."""
    found = []
    execs = 0
    for name in sorted(glob.glob(os.path.join(trace_dir, "trace.*"))):
        with open(name, encoding="utf-8", errors="replace") as f:
            for line in f:
                m = CALL.match(line.strip())
                if not m:
                    continue
                call, args, result, rest = m.groups()
                ok = result != "?" and int(result) >= 0
                if call in ("open", "openat", "openat2", "creat") and ok:
                    # The result names the file opened, however the path was given.
                    opened = re.match(r"<(.*)>", rest.strip())
                    path = opened.group(1) if opened else quoted_strings(args)[0]
                    if (call == "creat" or WRITING.search(args)) and on_disk(path) \
                            and path not in allowed_paths:
                        found.append(line.strip())
                elif call in PATH_CHANGES and ok:
                    if any(on_disk(p) and p not in allowed_paths for p in quoted_strings(args)):
                        found.append(line.strip())
                elif call == "bind":
                    # A socket bound to a path makes a file; an abstract one does not.
                    if re.search(r'sun_path="[^@]', args):
                        found.append(line.strip())
                elif call == "socket":
                    if not args.startswith("AF_UNIX"):
                        found.append("a network socket: " + line.strip())
                elif call == "connect":
                    target = re.search(r'sun_path=@?"([^"]*)"', args)
                    if "AF_UNIX" not in args or not target or target.group(1) not in allowed_sockets:
                        found.append("a connection: " + line.strip())
                elif call in ("execve", "execveat"):
                    execs += 1
                    if execs > 1 or quoted_strings(args)[:1] != [program]:
                        found.append("another program: " + line.strip())
    return found


class KeptToItself(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        missing = pulse.pulseaudio_missing()
        if missing:
            raise unittest.SkipTest("%s is not installed (scripts/install-deps installs it)" % missing)
        cls.server = pulse.PulseServer().start()
        cls.xev = desktop.key_events("privacy")
        display = re.fullmatch(r":(\d+)(\.\d+)?", os.environ["DISPLAY"])
        cls.x_socket = "/tmp/.X11-unix/X%s" % display.group(1)

    @classmethod
    def tearDownClass(cls):
        desktop.stop(cls.xev.proc)
        cls.server.stop()

    def setUp(self):
        desktop.focus(self.xev.window)

    def start(self, wrapper, env):
        kelvo = WrappedKelvo(wrapper, env)
        self.addCleanup(desktop.stop, kelvo.proc)
        return kelvo

    def traced_session(self, dirs, **more):
        """kelvo under strace: types q and z with a beep, ends on SIGTERM.
        Returns (findings, output), the findings allowing the sound key."""
        trace_dir = tempfile.mkdtemp(prefix="kelvo-strace-")
        self.addCleanup(shutil.rmtree, trace_dir, True)
        wrapper = ["strace", "-f", "-ff", "-qq", "-yy", "-s", "4096", "-o",
                   os.path.join(trace_dir, "trace"), "-e", "trace=" + TRACED, "--"]
        kelvo = self.start(wrapper, kelvo_env(self.server.client_env(), dirs, **more))
        with self.server.record() as rec:
            self.assertEqual(kelvo.type_keys(self.xev, [KEY_Q, KEY_Z]), ["q", "z"])
            rec.wait_for_sound()
        self.assertEqual(kelvo.end(), 0, kelvo.stderr())
        key = os.path.join(dirs["XDG_CONFIG_HOME"], PULSE_KEY)
        allowed_paths = {key, os.path.dirname(key)}
        allowed_sockets = {self.x_socket, self.server.socket}
        return findings(trace_dir, kelvo.path, allowed_paths, allowed_sockets), kelvo.stderr()

    def test_typing_beeping_and_ending_write_nothing_and_reach_only_the_desktop(self):
        top, dirs = kd.private_dirs()
        self.addCleanup(shutil.rmtree, top, True)
        found, _ = self.traced_session(dirs)
        if found:
            self.fail("kelvo did more than it may, in empty folders:\n" + "\n".join(found))
        # The sound library's key is all that is left behind.
        key = os.path.join(os.path.basename(dirs["XDG_CONFIG_HOME"]), PULSE_KEY)
        self.assertEqual(kd.files_under(top), sorted(
            [os.path.basename(d) for d in dirs.values()] + [os.path.dirname(key), key]))
        # Once the key exists, as it does where a sound server runs, nothing
        # at all is written; tracing keystrokes adds nothing but output.
        left = kd.files_under(top)
        found, output = self.traced_session(dirs, KELVO_TRACE="1")
        self.assertIn('"q"', output, "KELVO_TRACE=1 traced nothing")
        if found:
            self.fail("kelvo did more than it may, with the sound key in place:\n"
                      + "\n".join(found))
        self.assertEqual(kd.files_under(top), left)

    def test_typed_keys_appear_in_the_output_only_when_traced(self):
        top, dirs = kd.private_dirs()
        self.addCleanup(shutil.rmtree, top, True)
        outputs = {}
        for trace in ("0", "1"):
            kelvo = self.start([], kelvo_env(self.server.client_env(), dirs, KELVO_TRACE=trace))
            self.assertEqual(kelvo.type_keys(self.xev, [KEY_Q, KEY_Z]), ["q", "z"])
            self.assertEqual(kelvo.end(), 0, kelvo.stderr())
            outputs[trace] = kelvo.stderr()
        # A trace line names a key by its string ("q") and as keycode:keysym (24:q).
        named = re.compile(r'"[qz]"|\d+:[qz]\b|kelvo: sent ')
        self.assertEqual(named.findall(outputs["0"]), [],
                         "typed keys named without KELVO_TRACE: %r" % outputs["0"])
        self.assertEqual(sorted(set(re.findall(r'"([qz])"', outputs["1"]))), ["q", "z"],
                         "KELVO_TRACE=1 did not name the typed keys: %r" % outputs["1"])
        self.assertRegex(outputs["1"], r"\d+:q\b")


class NoPrivileges(unittest.TestCase):
    def test_the_program_file_grants_nothing(self):
        path = os.path.join(kd.build_dir(), "kelvo")
        mode = os.stat(path).st_mode
        self.assertFalse(mode & (stat.S_ISUID | stat.S_ISGID), "kelvo is setuid or setgid")
        try:
            capabilities = os.getxattr(path, "security.capability")
        except OSError:
            capabilities = None  # no such attribute: no file capabilities
        self.assertIsNone(capabilities, "kelvo carries file capabilities")

    def test_types_as_a_user_without_privileges(self):
        xev = desktop.key_events("nobody")
        self.addCleanup(desktop.stop, xev.proc)
        desktop.focus(xev.window)
        top, dirs = kd.private_dirs(owner=NOBODY)
        self.addCleanup(shutil.rmtree, top, True)
        wrapper = ["setpriv", "--reuid", str(NOBODY), "--regid", str(NOBODY), "--clear-groups",
                   "--inh-caps=-all", "--"]
        env = kelvo_env(os.environ, dirs)
        env.pop("PULSE_SERVER", None)  # no sound server of its own: beeps are silent
        kelvo = WrappedKelvo(wrapper, env)
        self.addCleanup(desktop.stop, kelvo.proc)
        with open("/proc/%d/status" % kelvo.pid) as f:
            status = dict(line.split(":", 1) for line in f.read().splitlines() if ":" in line)
        self.assertEqual(status["Uid"].split(), [str(NOBODY)] * 4)
        self.assertEqual(status["Gid"].split(), [str(NOBODY)] * 4)
        self.assertEqual(status["Groups"].split(), [])
        self.assertEqual(int(status["CapEff"], 16), 0, "kelvo runs with capabilities")
        self.assertEqual(kelvo.type_keys(xev, [KEY_Q, KEY_Z]), ["q", "z"])
        self.assertEqual(kelvo.end(), 0, kelvo.stderr())


if __name__ == "__main__":
    if not os.access(os.path.join(kd.build_dir(), "kelvo"), os.X_OK):
        print("test_privacy: %s/kelvo is missing: build the project first" % kd.build_dir())
        sys.exit(1)
    unittest.main(verbosity=2)
