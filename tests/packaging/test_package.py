"""The Debian package as a person meets it: lintian finds no fault in it; it
installs with apt-get into a fresh root of a Debian release (debootstrap,
minbase), bringing what it depends on; there its files are where the desktop
looks for them; its menu entry's command, run inside the root on this virtual desktop,
opens the keyboard, which types into a client by dwell; and a purge leaves
none of its files behind.

Run as root through scripts/virtual-desktop (make package-check does both):

    python3 tests/packaging/test_package.py build/kelvo_VERSION_ARCH.deb 13

The fresh root is scripts/debian-root's, kept as a tarball in
${XDG_CACHE_HOME:-~/.cache}/kelvo/ beside the packages apt fetched into it;
every run unpacks a throwaway copy. Inside it,
kelvo reaches this desktop's X server through its abstract socket, which the
root shares with the machine.
"""

import fcntl
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import installed
import kelvo_desktop as kd

kd.skip_unless_tools("debootstrap", "unshare", "chroot", "lintian", "dpkg-deb", "xterm", "xdotool",
                     "desktop-file-validate", "appstreamcli")
if os.geteuid() != 0:
    kd.skip("making and entering a Debian root needs root")
if len(sys.argv) != 3 or not sys.argv[1].endswith(".deb") or not sys.argv[2].isdigit():
    print("usage: test_package.py PACKAGE.deb RELEASE (a Debian release's number, as 14)",
          file=sys.stderr)
    sys.exit(2)
RELEASE = sys.argv.pop()
PACKAGE = os.path.abspath(sys.argv.pop())

CACHE = os.path.join(os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"), "kelvo")
ROOT_PATH = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
TIMINGS = []


def timed(what, action):
    """Runs action(), noting how long it took under what."""
    start = time.monotonic()
    try:
        return action()
    finally:
        TIMINGS.append((what, time.monotonic() - start))


def in_root(root, args, env=()):
    """The command that runs args inside root with a clean environment (plus
    env's NAME=VALUE pairs), with /proc and the kept package archives mounted
    in a mount namespace of its own, so nothing stays mounted afterwards. It
    ends by exec'ing args, so the process it starts is the program itself."""
    script = ('mount -t proc proc "$1/proc" && mount --bind "$2" "$1/var/cache/apt/archives" '
              '&& root=$1 && shift 2 && exec chroot "$root" "$@"')
    return (["unshare", "--mount", "--propagation", "private", "--", "sh", "-c", script, "sh",
             root, ARCHIVES, "/usr/bin/env", "-i", "PATH=" + ROOT_PATH, "HOME=/root",
             "LANG=C.UTF-8", "DEBIAN_FRONTEND=noninteractive"] + list(env) + list(args))


def run_in_root(root, args, timeout=600, check=True):
    """Runs args inside root; returns its CompletedProcess (text output)."""
    r = subprocess.run(in_root(root, args), capture_output=True, text=True, timeout=timeout)
    if check and r.returncode != 0:
        raise RuntimeError("in the root, %s failed with status %d:\n%s%s"
                           % (" ".join(args), r.returncode, r.stdout[-3000:], r.stderr[-3000:]))
    return r


def fresh_root():
    """A throwaway copy of the release's fresh root, which scripts/debian-root
    makes first where there is none."""
    made = timed("the root's tarball", lambda: kd.run(
        [os.path.join(kd.source_dir(), "scripts", "debian-root"), "--tarball", RELEASE], timeout=1800))
    tarball = made.stdout.strip().splitlines()[-1]
    global ARCHIVES
    ARCHIVES = os.path.join(os.path.dirname(tarball), "apt-archives-" + RELEASE)
    os.makedirs(os.path.join(ARCHIVES, "partial"), exist_ok=True)
    root = tempfile.mkdtemp(prefix="kelvo-root-")
    timed("unpack the root", lambda: subprocess.run(["tar", "-C", root, "-xzf", tarball], check=True,
                                                    timeout=600))
    shutil.copy("/etc/resolv.conf", os.path.join(root, "etc/resolv.conf"))
    # A root thrown away afterwards need not survive a crash: dpkg skips
    # its syncs, which is most of the time an install takes.
    with open(os.path.join(root, "etc/dpkg/dpkg.cfg.d/kelvo-test-unsafe-io"), "w") as f:
        f.write("force-unsafe-io\n")
    return root


def tree(root):
    """Every path inside root, relative to it and starting with /."""
    paths = {"/"}
    for folder, dirs, names in os.walk(root):
        for name in dirs + names:
            paths.add("/" + os.path.relpath(os.path.join(folder, name), root))
    return paths


def setUpModule():
    global ROOT, BEFORE
    os.makedirs(CACHE, exist_ok=True)
    with open(os.path.join(CACHE, "lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)  # one run at a time makes and fills the cache
        ROOT = fresh_root()
        try:
            BEFORE = tree(ROOT)
            install_package()
        except BaseException:
            shutil.rmtree(ROOT, ignore_errors=True)
            raise
    DESKTOP.open()


def install_package():
    """apt-get install of the package file into the root, as a person does."""
    shutil.copy(PACKAGE, os.path.join(ROOT, "tmp/kelvo.deb"))
    install = ["apt-get", "install", "-y", "-q", "--no-install-recommends", "/tmp/kelvo.deb"]
    # Another root of this release may be installing into the kept packages
    # (scripts/debian-root takes the same lock).
    with open(os.path.join(CACHE, "lock-apt-" + RELEASE), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        try:
            timed("apt-get install the package", lambda: run_in_root(ROOT, install))
        except RuntimeError:
            # The kept lists may name versions the mirror no longer has.
            timed("apt-get update in the root", lambda: run_in_root(ROOT, ["apt-get", "update", "-q"]))
            timed("apt-get install the package", lambda: run_in_root(ROOT, install))
        run_in_root(ROOT, ["apt-get", "autoclean", "-q"])  # drops kept packages the lists no longer name
    os.remove(os.path.join(ROOT, "tmp/kelvo.deb"))


def tearDownModule():
    DESKTOP.close()
    shutil.rmtree(ROOT, ignore_errors=True)
    for what, seconds in TIMINGS:
        print("package test: %s: %.1f s" % (what, seconds), file=sys.stderr)


DESKTOP = kd.ModuleDesktop()


def package_field(name):
    return kd.run(["dpkg-deb", "-f", PACKAGE, name]).stdout.strip()


class Package(unittest.TestCase):
    """In order: the package itself, then the root it was installed into, the
    keyboard started there, and last the purge."""

    def test_0_it_binds_to_no_one_build_of_qt(self):
        # A private Qt symbol ties the package to the Qt it was built with:
        # Debian 12's is not Debian 13's, and apt would refuse it there.
        unpacked = tempfile.mkdtemp(prefix="kelvo-deb-")
        self.addCleanup(shutil.rmtree, unpacked, True)
        kd.run(["dpkg-deb", "-x", PACKAGE, unpacked])
        symbols = kd.run(["objdump", "-T", os.path.join(unpacked, "usr/bin/kelvo")]).stdout
        self.assertIn("Qt_6", symbols)
        self.assertNotIn("PRIVATE_API", symbols)
        self.assertNotIn("private-abi", package_field("Depends"))

    def test_1_lintian_finds_no_error_and_no_warning(self):
        r = timed("lintian", lambda: kd.run(["lintian", "--tag-display-limit", "0", PACKAGE],
                                            timeout=600, check=False))
        tags = [line for line in r.stdout.splitlines() if line[:2] in ("E:", "W:")]
        self.assertEqual(tags, [], "lintian:\n" + r.stdout)
        self.assertEqual(r.returncode, 0, r.stderr)

    def test_2_installs_its_files_where_the_desktop_looks(self):
        listed = run_in_root(ROOT, ["dpkg-query", "-L", "kelvo"]).stdout.split()
        files = sorted(p[len("/usr/"):] for p in listed if not os.path.isdir(ROOT + p))
        app_id = os.path.basename(next(p for p in files if p.startswith("share/metainfo/")))
        app_id = app_id[:-len(".metainfo.xml")]
        self.assertEqual(files, installed.expected_files(app_id))
        self.assertEqual(installed.check_tree(ROOT, app_id, package_field("Version")), [])
        # The fonts the stored layout names, which no library dependency brings.
        for font in ("fonts-liberation", "fonts-dejavu-core"):
            status = run_in_root(ROOT, ["dpkg-query", "-W", "-f", "${db:Status-Status}", font]).stdout
            self.assertEqual(status, "installed", font)

    def test_3_its_menu_entry_starts_the_keyboard_which_types(self):
        entries = glob.glob(os.path.join(ROOT, "usr/share/applications/*.desktop"))
        self.assertEqual(len(entries), 1, entries)
        command = installed.exec_argv(installed.desktop_entry(entries[0]))
        os.makedirs(os.path.join(ROOT, "run/kelvo"), mode=0o700, exist_ok=True)
        env = ["DISPLAY=" + os.environ["DISPLAY"], "XDG_RUNTIME_DIR=/run/kelvo"]
        terminal = DESKTOP.cat_terminal()
        self.addCleanup(DESKTOP.stop, terminal.proc)
        DESKTOP.focus(terminal.window)
        kelvo = timed("start the keyboard from its menu entry",
                      lambda: DESKTOP.kelvo(command=in_root(ROOT, command, env), timeout=30))
        self.addCleanup(kelvo.stop)
        DESKTOP.move_pointer(*kelvo.centre_of(kd.KEY_H))
        try:
            kd.wait_until(lambda: terminal.received(), what="H to be typed (kelvo: %s)" % kelvo.stderr())
        finally:
            kelvo.leave()
        typed = terminal.collect()
        self.assertRegex(typed, r"^h+$")
        kelvo.stop()
        self.assertEqual(kelvo.proc.returncode, 0, "kelvo ended on SIGTERM: " + kelvo.stderr())

    def test_4_a_purge_leaves_none_of_its_files(self):
        listed = [os.path.normpath(p)
                  for p in run_in_root(ROOT, ["dpkg-query", "-L", "kelvo"]).stdout.split()]
        timed("apt-get remove --purge", lambda: run_in_root(
            ROOT, ["apt-get", "remove", "--purge", "-y", "-q", "kelvo"]))
        status = run_in_root(ROOT, ["dpkg-query", "-W", "-f", "${db:Status-Status}", "kelvo"],
                             check=False).stdout
        self.assertIn(status, ("", "not-installed"))
        # Folders it shared with the root or with the packages it brought stay.
        left = [p for p in listed if os.path.lexists(ROOT + p)
                and not (os.path.isdir(ROOT + p) and (p in BEFORE or run_in_root(
                    ROOT, ["dpkg-query", "-S", p], check=False).returncode == 0))]
        self.assertEqual(left, [])
        named = [p for p in tree(ROOT) - BEFORE if "kelvo" in p.lower()
                 and not p.startswith(("/run/kelvo", "/tmp/"))]
        self.assertEqual(named, [], "files named after kelvo outlive the purge")


if __name__ == "__main__":
    unittest.main()
