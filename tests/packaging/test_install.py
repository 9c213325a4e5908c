"""`cmake --install` of the build into a throwaway prefix: exactly the files a
desktop needs (no test or development tool), each where the desktop looks for
it, each valid to its own checker, and all naming the project's version.

Run by ctest with KELVO_BUILD, KELVO_APP_ID, KELVO_VERSION and
KELVO_DESKTOP_ENTRIES set.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import installed
import kelvo_desktop as kd

TOOLS = ("desktop-file-validate", "appstreamcli", "man")
kd.skip_unless_tools(*TOOLS, session=None)

APP_ID = os.environ["KELVO_APP_ID"]
VERSION = os.environ["KELVO_VERSION"]


class Install(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="kelvo-install-")
        subprocess.run(["cmake", "--install", os.environ["KELVO_BUILD"],
                        "--prefix", os.path.join(cls.root, "usr")],
                       check=True, stdout=subprocess.DEVNULL, timeout=120)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def test_installs_exactly_what_a_desktop_needs(self):
        self.assertEqual(installed.files_under(os.path.join(self.root, "usr")),
                         installed.expected_files(APP_ID))

    def test_every_file_is_where_the_desktop_looks_and_valid(self):
        self.assertEqual(installed.check_tree(self.root, APP_ID, VERSION, os.path.join(self.root, "usr")), [])

    def test_every_desktop_entry_the_build_makes_validates(self):
        # Entries added with kelvo_desktop_entry() beside the two above.
        entries = os.environ["KELVO_DESKTOP_ENTRIES"].split(":")
        self.assertGreaterEqual(len(entries), 2)
        problems = []
        for entry in entries:
            problems += installed.check_entry(os.path.join(self.root, "usr", entry), APP_ID,
                                              os.path.join(self.root, "usr"))
        self.assertEqual(problems, [])


if __name__ == "__main__":
    unittest.main()
