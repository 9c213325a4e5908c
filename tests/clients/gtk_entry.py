"""A GTK text entry for the desktop tests: a window titled argv[1] whose
entry writes its whole text to the file argv[2] (UTF-8) at every change.
Run by Debian's own python3, which has the GTK bindings."""

import os
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gtk  # noqa: E402


def main():
    title, path = sys.argv[1], sys.argv[2]
    window = Gtk.Window(title=title)
    window.set_default_size(400, 60)
    window.move(40, 320)
    entry = Gtk.Entry()
    window.add(entry)

    def changed(widget):
        # Replaced whole, so a reader never sees half a text.
        with open(path + ".new", "w", encoding="utf-8") as f:
            f.write(widget.get_text())
        os.replace(path + ".new", path)
    entry.connect("changed", changed)
    changed(entry)
    window.connect("destroy", Gtk.main_quit)
    window.show_all()
    Gtk.main()


if __name__ == "__main__":
    main()
