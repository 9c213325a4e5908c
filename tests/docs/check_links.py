"""The documentation links only to what exists.

    python3 tests/docs/check_links.py SOURCE_DIR BUILT_GUIDE_DIR

- Every link and picture in README.md and the Markdown pages under docs/
  leads to a file of the source tree, and a link to a page's anchor
  (page.md#heading) to a heading of that page.
- The user guide's pages (docs/guide) link only to each other and to
  pictures, since only they are installed.
- The built guide's HTML pages link only inside their folder, to pages,
  anchors, pictures and the stylesheet that are there.
- Every guide page and anchor that Kelvo's code names (a notification that
  points to troubleshooting.html#cannot-type, say) is there.

External addresses (https:, mailto:) are not followed: the tests run
without a network. Each fault names the page and the link.
"""

import glob
import html.parser
import importlib.machinery
import importlib.util
import os
import re
import sys
import tempfile
import unittest
import urllib.parse

CODE = ["keyboard/*.cpp", "settings/*.cpp", "button/*.cpp", "platform/**/*.cpp", "tools/*.cpp"]
PICTURES = (".png", ".svg", ".gif", ".jpg")


def load_builder(source):
    """scripts/build-guide as a module: its renderer gives the anchors."""
    path = os.path.join(source, "scripts", "build-guide")
    loader = importlib.machinery.SourceFileLoader("build_guide", path)
    found = importlib.util.spec_from_loader("build_guide", loader)
    module = importlib.util.module_from_spec(found)
    loader.exec_module(module)
    return module


class _Page(html.parser.HTMLParser):
    """An HTML page's anchors and links (href and src, with the tag)."""

    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.anchors, self.links = set(), []
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if attrs.get("id"):
            self.anchors.add(attrs["id"])
        if tag == "a" and attrs.get("name"):
            self.anchors.add(attrs["name"])
        for key in ("href", "src"):
            if attrs.get(key) is not None:
                self.links.append((tag, attrs[key]))


class Checker:
    def __init__(self, source, builder):
        self.source = os.path.abspath(source)
        self.builder = builder
        self._rendered = {}

    def page(self, path):
        """The rendered Markdown page at path (anchors, links), kept."""
        if path not in self._rendered:
            with open(path, encoding="utf-8") as f:
                body, _ = self.builder.render(f.read())
            self._rendered[path] = _Page(body)
        return self._rendered[path]

    def markdown_problems(self):
        problems = []
        guide = os.path.join(self.source, "docs", "guide")
        pages = [os.path.join(self.source, "README.md")] + sorted(
            glob.glob(os.path.join(self.source, "docs", "**", "*.md"), recursive=True))
        for path in pages:
            name = os.path.relpath(path, self.source)
            in_guide = os.path.dirname(path) == guide
            for tag, link in self.page(path).links:
                if self.builder.is_external(link):
                    continue
                target, _, anchor = urllib.parse.unquote(link).partition("#")
                resolved = os.path.normpath(os.path.join(os.path.dirname(path), target)) if target else path
                fault = None
                if not resolved.startswith(self.source + os.sep):
                    fault = "leads out of the source tree"
                elif not os.path.exists(resolved):
                    fault = "leads to no file"
                elif tag == "img" and not resolved.endswith(PICTURES):
                    fault = "shows a file that is no picture"
                elif in_guide and not (tag == "img" or (os.path.dirname(resolved) == guide
                                                        and resolved.endswith(".md"))):
                    fault = "leads out of the user guide, which is installed alone"
                elif anchor and not resolved.endswith(".md"):
                    fault = "names an anchor in a file that is no page"
                elif anchor and anchor not in self.page(resolved).anchors:
                    fault = "names no heading of %s" % os.path.relpath(resolved, self.source)
                if fault:
                    problems.append("%s: the link %s %s" % (name, link, fault))
        return problems

    def built_problems(self, built):
        problems = []
        built = os.path.abspath(built)
        pages = sorted(glob.glob(os.path.join(built, "*.html")))
        if not pages:
            return ["%s holds no pages: the guide is built by the kelvo_guide target" % built]
        anchors = {}
        for path in pages:
            with open(path, encoding="utf-8") as f:
                anchors[path] = _Page(f.read())
        for path, page in anchors.items():
            for tag, link in page.links:
                if self.builder.is_external(link):
                    continue
                target, _, anchor = urllib.parse.unquote(link).partition("#")
                resolved = os.path.normpath(os.path.join(built, target)) if target else path
                fault = None
                if os.path.dirname(resolved) != built:
                    fault = "leads out of the guide's folder"
                elif not os.path.isfile(resolved):
                    fault = "leads to no file"
                elif anchor and anchor not in getattr(anchors.get(resolved), "anchors", ()):
                    fault = "names no anchor of %s" % os.path.basename(resolved)
                if fault:
                    problems.append("%s: the link %s %s" % (os.path.basename(path), link, fault))
        return problems

    def code_problems(self):
        """The guide pages and anchors the program's code names."""
        problems = []
        guide = os.path.join(self.source, "docs", "guide")
        named = re.compile(r"\b([a-z0-9-]+)\.html(?:#([A-Za-z0-9_-]+))?")
        for pattern in CODE:
            for path in sorted(glob.glob(os.path.join(self.source, pattern), recursive=True)):
                with open(path, encoding="utf-8") as f:
                    text = f.read()
                for m in named.finditer(text):
                    page = os.path.join(guide, m.group(1) + ".md")
                    where = "%s:%d" % (os.path.relpath(path, self.source), text.count("\n", 0, m.start()) + 1)
                    if not os.path.isfile(page):
                        problems.append("%s: names %s, which is no page of the user guide" % (where, m.group(0)))
                    elif m.group(2) and m.group(2) not in self.page(page).anchors:
                        problems.append("%s: names %s, which is no heading of docs/guide/%s.md"
                                        % (where, m.group(0), m.group(1)))
        return problems


class Links(unittest.TestCase):
    def test_the_documentation_links_only_to_what_exists(self):
        checker = Checker(SOURCE, load_builder(SOURCE))
        problems = checker.markdown_problems() + checker.built_problems(BUILT) + checker.code_problems()
        self.assertEqual(problems, [], "\n".join(problems))

    def test_a_broken_link_names_its_page_and_the_link(self):
        with tempfile.TemporaryDirectory() as tree:
            os.makedirs(os.path.join(tree, "docs", "guide"))
            os.makedirs(os.path.join(tree, "docs", "dev"))
            os.makedirs(os.path.join(tree, "platform"))
            os.makedirs(os.path.join(tree, "built"))
            files = {
                "README.md": "# R\n\n[guide](docs/guide/index.md) [code](platform/Note.cpp)\n",
                "docs/guide/index.md": "# Start\n\n## Cannot type\n\n[ok](#cannot-type) [gone](gone.md) "
                                       "[dev](../dev/notes.md) [bad](index.md#no-such)\n\n![k](../missing.png)\n",
                "docs/dev/notes.md": "# Notes\n\n[ok](../guide/index.md#cannot-type) [x](../guide/index.md#nope)\n",
                "platform/Note.cpp": 'say("see index.html#cannot-type or index.html#gone or other.html");\n',
                "built/index.html": '<h1 id="top">x</h1><a href="#top">t</a><a href="x.html">x</a>'
                                    '<img src="../keyboard.png"><a href="index.html#none">n</a>',
            }
            for name, text in files.items():
                with open(os.path.join(tree, name), "w") as f:
                    f.write(text)
            checker = Checker(tree, load_builder(SOURCE))
            self.assertEqual(checker.markdown_problems(), [
                "docs/dev/notes.md: the link ../guide/index.md#nope names no heading of docs/guide/index.md",
                "docs/guide/index.md: the link gone.md leads to no file",
                "docs/guide/index.md: the link ../dev/notes.md leads out of the user guide, which is installed alone",
                "docs/guide/index.md: the link index.md#no-such names no heading of docs/guide/index.md",
                "docs/guide/index.md: the link ../missing.png leads to no file",
            ])
            self.assertEqual(checker.built_problems(os.path.join(tree, "built")), [
                "index.html: the link x.html leads to no file",
                "index.html: the link ../keyboard.png leads out of the guide's folder",
                "index.html: the link index.html#none names no anchor of index.html",
            ])
            self.assertEqual(checker.code_problems(), [
                "platform/Note.cpp:1: names index.html#gone, which is no heading of docs/guide/index.md",
                "platform/Note.cpp:1: names other.html, which is no page of the user guide",
            ])


if __name__ == "__main__":
    if len(sys.argv) < 3:
        print("usage: check_links.py SOURCE_DIR BUILT_GUIDE_DIR", file=sys.stderr)
        sys.exit(2)
    BUILT = sys.argv.pop(2)
    SOURCE = sys.argv.pop(1)
    unittest.main()
