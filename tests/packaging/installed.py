"""What an installed Kelvo must hold, and where a desktop looks for it: the
menu finds the entry in share/applications, the icon theme finds the icon in
the hicolor folders its index names at the sizes they stand for, AppStream
finds the metadata and through it the entry, man finds the page. Checked on a
folder tree, a `cmake --install` prefix or a Debian root alike.

Each check returns a list of problems, empty when all is well, so a test
reports every fault at once.
"""

import configparser
import gzip
import os
import re
import shlex
import struct
import subprocess
import xml.etree.ElementTree as ET

# Where the icon theme's index comes from when the tree has none of its own
# (a Debian root without hicolor-icon-theme): the machine's.
HOST_THEME_INDEX = "/usr/share/icons/hicolor/index.theme"

ICON_SIZES = (48, 64, 128, 256)

# The user guide's pages, its stylesheet and the pictures it shows.
GUIDE_FILES = tuple(page + ".html" for page in (
    "index", "x11", "sway", "kde", "gnome", "windows", "bigger-keys", "login", "permission", "privacy",
    "troubleshooting")) + ("kelvo.css", "keyboard.png", "scale.png", "dwell-timing.png")


def expected_files(app_id):
    """Every file an install puts under its prefix, relative to it."""
    share = "share/"
    icons = [share + "icons/hicolor/%dx%d/apps/%s.png" % (s, s, app_id) for s in ICON_SIZES]
    return sorted([
        "bin/kelvo",
        share + "applications/%s.desktop" % app_id,
        share + "kelvo/autostart/%s.desktop" % app_id,
        share + "metainfo/%s.metainfo.xml" % app_id,
        share + "icons/hicolor/scalable/apps/%s.svg" % app_id,
        share + "man/man1/kelvo.1.gz",
        share + "doc/kelvo/copyright",
        share + "doc/kelvo/changelog.gz",
    ] + icons + [share + "doc/kelvo/html/" + name for name in GUIDE_FILES])


def files_under(prefix):
    """The files (not folders) below prefix, relative to it, sorted."""
    found = []
    for folder, _, names in os.walk(prefix):
        found += [os.path.relpath(os.path.join(folder, n), prefix) for n in names]
    return sorted(found)


def run(args):
    """Runs a checker; returns (status, its standard output and error together)."""
    r = subprocess.run(args, capture_output=True, text=True, timeout=120)
    return r.returncode, (r.stdout + r.stderr).strip()


def desktop_entry(path):
    """The [Desktop Entry] group of a desktop file as a dict."""
    parser = configparser.ConfigParser(interpolation=None, strict=False)
    parser.optionxform = str
    parser.read(path, encoding="utf-8")
    return dict(parser["Desktop Entry"])


def exec_argv(entry):
    """The command line of a desktop entry's Exec key, field codes dropped."""
    return [a for a in shlex.split(entry["Exec"]) if not re.fullmatch(r"%[fFuUdDnNickvm]", a)]


def check_entry(path, app_id, prefix):
    """An entry that validates, shows the application's icon and starts the
    installed program."""
    problems = []
    status, out = run(["desktop-file-validate", path])
    # Hints are advice on optional keys; anything else is a fault.
    faults = [line for line in out.splitlines() if " hint: " not in line]
    if status != 0 or faults:
        problems.append("desktop-file-validate %s: %s" % (path, "\n".join(faults) or status))
    entry = desktop_entry(path)
    if entry.get("Icon") != app_id:
        problems.append("%s: Icon is %r, not the application ID %r" % (path, entry.get("Icon"), app_id))
    program = exec_argv(entry)[0]
    if os.path.basename(program) != "kelvo" or \
            not os.access(os.path.join(prefix, "bin", "kelvo"), os.X_OK):
        problems.append("%s: Exec starts %r, not the installed kelvo" % (path, program))
    return problems


def theme_directories(index_path):
    """The hicolor index's folders: {folder: (Size, Type)}."""
    parser = configparser.ConfigParser(interpolation=None, strict=False)
    parser.optionxform = str
    parser.read(index_path, encoding="utf-8")
    folders = parser["Icon Theme"]["Directories"].split(",")
    return {f: (int(parser[f]["Size"]), parser[f].get("Type", "Threshold"))
            for f in folders if f in parser}


def png_size(path):
    """(width, height) from a PNG's header, or None if it is no PNG."""
    with open(path, "rb") as f:
        head = f.read(24)
    if not head.startswith(b"\x89PNG\r\n\x1a\n"):
        return None
    return struct.unpack(">II", head[16:24])


def check_icons(share, app_id):
    """The icon at every size in a folder the theme's index names for it,
    and the SVG among the scalable ones."""
    problems = []
    theme = os.path.join(share, "icons", "hicolor")
    index = os.path.join(theme, "index.theme")
    folders = theme_directories(index if os.path.exists(index) else HOST_THEME_INDEX)
    for size in ICON_SIZES:
        folder = "%dx%d/apps" % (size, size)
        path = os.path.join(theme, folder, app_id + ".png")
        if folders.get(folder, (None,))[0] != size:
            problems.append("the icon theme has no %d-pixel folder %s" % (size, folder))
        elif not os.path.exists(path):
            problems.append("no %d-pixel icon at %s" % (size, path))
        elif png_size(path) != (size, size):
            problems.append("%s is %s, not a %d-pixel PNG" % (path, png_size(path), size))
    svg = os.path.join(theme, "scalable/apps", app_id + ".svg")
    if folders.get("scalable/apps", (0, ""))[1] != "Scalable":
        problems.append("the icon theme has no scalable application folder")
    elif not os.path.exists(svg):
        problems.append("no scalable icon at %s" % svg)
    else:
        root = ET.parse(svg).getroot()
        if root.tag != "{http://www.w3.org/2000/svg}svg" or not root.get("viewBox"):
            problems.append("%s is no SVG with a view box" % svg)
    return problems


def release_versions(root, share, app_id):
    """The version each installed file names as the release's, by file: the
    metadata, the manual page, the changelog (None where it names none)."""
    versions = {}
    meta = ET.parse(os.path.join(share, "metainfo", app_id + ".metainfo.xml")).getroot()
    release = meta.find("releases/release")
    versions["metainfo"] = release.get("version") if release is not None else None
    with gzip.open(os.path.join(share, "man/man1/kelvo.1.gz"), "rt", encoding="utf-8") as f:
        m = re.search(r'^\.TH KELVO 1 "[^"]*" "Kelvo ([^"]+)"', f.read(), re.M)
    versions["manual page"] = m and m.group(1)
    with gzip.open(os.path.join(share, "doc/kelvo/changelog.gz"), "rt", encoding="utf-8") as f:
        m = re.match(r"kelvo \(([^)]+)\)", f.readline())
    versions["changelog"] = m and m.group(1)
    return versions


def check_tree(root, app_id, version, prefix="/usr"):
    """Everything above on the tree at root, installed with the prefix /usr
    below it; version is the one every file must name; prefix is the one the
    installed files name (the root's own /usr, or the folder cmake --install
    was given)."""
    base = os.path.join(root, "usr")
    share = os.path.join(base, "share")
    problems = []
    for entry in ("applications/%s.desktop" % app_id, "kelvo/autostart/%s.desktop" % app_id):
        problems += check_entry(os.path.join(share, entry), app_id, base)
    # KWin gives fake input to the program the menu entry names by its full
    # path: where it was installed.
    menu = desktop_entry(os.path.join(share, "applications/%s.desktop" % app_id))
    program = exec_argv(menu)[0]
    if program != prefix + "/bin/kelvo" or menu.get("TryExec") != program or \
            "org_kde_kwin_fake_input" not in menu.get("X-KDE-Wayland-Interfaces", "").split(","):
        problems.append("the menu entry does not give the installed kelvo KDE's fake input: Exec=%r, "
                        "X-KDE-Wayland-Interfaces=%r" % (menu.get("Exec"), menu.get("X-KDE-Wayland-Interfaces")))
    problems += check_icons(share, app_id)

    meta = os.path.join(share, "metainfo", app_id + ".metainfo.xml")
    status, out = run(["appstreamcli", "validate", "--no-net", "--explain", meta])
    if status != 0:
        problems.append("appstreamcli validate: " + out)
    launchable = ET.parse(meta).getroot().find("launchable")
    if launchable is None or launchable.text != app_id + ".desktop":
        problems.append("the metadata launches %r, not %s.desktop"
                        % (None if launchable is None else launchable.text, app_id))
    # The tree as AppStream reads it (root/usr/share): the metadata and the
    # entry it names.
    status, out = run(["appstreamcli", "validate-tree", "--no-net", "--explain", root])
    if status != 0:
        problems.append("appstreamcli validate-tree: " + out)

    # groff's warnings, as lintian asks for them; the typeset page is dropped.
    page = os.path.join(share, "man/man1/kelvo.1.gz")
    r = subprocess.run(["man", "--warnings", "-l", "-Tutf8", "-Z", page], stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE, text=True, timeout=60)
    if r.returncode != 0 or r.stderr.strip():
        problems.append("man --warnings on %s: %s" % (page, r.stderr.strip()))

    for where, named in release_versions(root, share, app_id).items():
        if named != version:
            problems.append("the %s names version %r, not %r" % (where, named, version))
    return problems
