"""Every message Kelvo prints to a user is listed in the user guide's
troubleshooting page.

    python3 tests/docs/check_messages.py SOURCE_DIR

The messages are taken from the code: every string literal of two words or
more in the files that print to a user (standard error, message boxes, the
debugger's output on Windows), adjacent literals joined as the compiler joins
them, cut at its placeholders (%1, %s) and line breaks. Each piece of two
words or more must appear in docs/guide/troubleshooting.md as it is (spaces
and line breaks there count as one space). The literals that are no message
are listed below with the reason.
"""

import glob
import os
import re
import sys
import tempfile
import unittest

PAGE = "docs/guide/troubleshooting.md"
PRINTING = ["keyboard/*.cpp", "keyboard/*.h", "settings/*.cpp", "settings/*.h", "button/*.cpp",
            "button/*.h", "platform/**/*.cpp", "platform/**/*.h", "tools/kelvo-sendkeys.cpp"]
# Files none of whose texts is a message of its own.
SKIPPED = {
    "platform/fake": "the tests' recording stand-ins",
    "keyboard/StoredLayout.cpp": "the stored layout reader's details, which only an edited layout shows, after "
                                 "\"the keyboard's layout is wrong:\" (listed, with where the details are explained)",
    "button/PropertyBag.cpp": "a stored value's details, which only an edited layout shows, as above",
    "button/ZorvicClickProperties.cpp": "the button's property names and descriptions, shown nowhere",
}
# Texts in the printing files that are no message.
NOT_MESSAGES = {
    "Failed to load client buffer integration": "Qt's own message, which Kelvo matches to leave it out",
    "Available client buffer integrations": "Qt's own message, as above",
    "to type the keys you rest the mouse pointer on": "the reason handed to KWin along with the request for fake input",
    "Keystroke beep": "the name of the sound stream, which a sound mixer shows",
    "every named key needs a canonical name": "a check made when compiling",
    "the keyboard window has no such control": "a detail of the layout's message, as for StoredLayout.cpp",
    "%1 is %2's tab index too": "a detail of the layout's message, as for StoredLayout.cpp",
    "the keyboard window's control is missing": "a detail of the layout's message, as for StoredLayout.cpp",
}

ESCAPES = {"n": "\n", "t": "\t", '"': '"', "'": "'", "\\": "\\", "0": ""}
PLACEHOLDER = re.compile(r"%(?:\d+|[-+ #0]*\d*(?:\.\d+)?[a-zA-Z])|\n")
TWO_WORDS = re.compile(r"[A-Za-z]{2,}[,:;.)]? [-(\[\"']*[a-z]{2,}")


def literals(text):
    """The string literals of C++ source text, adjacent ones joined, with the
    line each starts on: [(line, text)]. Comments, character literals and
    preprocessor lines (#include "...") are passed over."""
    token = re.compile(r'//[^\n]*|/\*.*?\*/|^[ \t]*#[^\n]*|\'(?:\\.|[^\\\'\n])*\'|"((?:\\.|[^\\"\n])*)"|\s+|.',
                       re.S | re.M)
    found, joining = [], False
    for m in token.finditer(text):
        piece = m.group(0)
        if m.group(1) is not None:
            value = re.sub(r"\\(u[0-9a-fA-F]{4}|.)",
                           lambda e: chr(int(e.group(1)[1:], 16)) if len(e.group(1)) == 5
                           else ESCAPES.get(e.group(1), e.group(1)), m.group(1))
            if joining:
                found[-1] = (found[-1][0], found[-1][1] + value)
            else:
                found.append((text.count("\n", 0, m.start()) + 1, value))
            joining = True
        elif not piece.isspace() and not piece.startswith(("//", "/*")):
            joining = False
    return found


def pieces(message):
    """The parts of a message between its placeholders that a reader finds
    in the page: those of two words or more, without the quotes and signs
    around them."""
    parts = (p.strip(" \t\"'();:,.") for p in PLACEHOLDER.split(message))
    return [p for p in parts if TWO_WORDS.search(p)]


def messages(source):
    """[(file:line, message)] for every message text in the printing files."""
    found = []
    for pattern in PRINTING:
        for path in sorted(glob.glob(os.path.join(source, pattern), recursive=True)):
            name = os.path.relpath(path, source)
            if any(name == s or name.startswith(s + "/") for s in SKIPPED):
                continue
            with open(path, encoding="utf-8") as f:
                for line, text in literals(f.read()):
                    if TWO_WORDS.search(text) and text not in NOT_MESSAGES:
                        found.append(("%s:%d" % (name, line), text))
    return found


def missing(source, page=PAGE):
    """The messages some piece of which the page does not quote, each as
    "file:line: piece (from the message ...)"."""
    with open(os.path.join(source, page), encoding="utf-8") as f:
        listed = " ".join(f.read().split())
    problems = []
    for where, text in messages(source):
        for piece in pieces(text):
            if " ".join(piece.split()) not in listed:
                problems.append("%s: %r is not in %s (from the message %r)" % (where, piece, page, text))
    return problems


class Messages(unittest.TestCase):
    def test_every_message_the_code_prints_is_in_troubleshooting(self):
        found = messages(SOURCE)
        # The extraction itself: it finds the messages of each place that prints.
        for known in ("keyboard/main.cpp", "platform/Platform.cpp", "platform/x11/X11KeySender.cpp",
                      "platform/portal/RestoreTokenFile.cpp", "platform/pulse/PulseTone.cpp",
                      "platform/win/WaveOutTone.cpp", "tools/kelvo-sendkeys.cpp"):
            self.assertTrue(any(where.startswith(known + ":") for where, _ in found), known)
        problems = missing(SOURCE)
        self.assertEqual(problems, [], "\n".join(problems))

    def test_a_message_the_page_lacks_is_named_with_its_place(self):
        with tempfile.TemporaryDirectory() as tree:
            os.makedirs(os.path.join(tree, "platform"))
            os.makedirs(os.path.join(tree, "docs/guide"))
            with open(os.path.join(tree, "platform/Sound.cpp"), "w") as f:
                f.write('#include "x y.h"\n// "a comment about it"\n'
                        'report(QStringLiteral("the sound card \\"%1\\" is gone; "\n'
                        '                      "beeps are silent").arg(name));\n'
                        'say("no sound server here");\n')
            with open(os.path.join(tree, PAGE), "w") as f:
                f.write("# Troubleshooting\n\n`kelvo: the sound card \"NAME\" is gone;\nbeeps are silent`\n")
            self.assertEqual(missing(tree), ["platform/Sound.cpp:5: 'no sound server here' is not in %s "
                                             "(from the message 'no sound server here')" % PAGE])


if __name__ == "__main__":
    if len(sys.argv) < 2:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        sys.exit(2)
    SOURCE = sys.argv.pop(1)
    unittest.main()
