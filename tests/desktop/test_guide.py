"""The user guide as `cmake --install` installs it, in headless Chromium:
every page loads without a console error, every link between its pages leads
to a page and an anchor that are there, every picture decodes, no page is
wider than a phone's window or a desktop's, and the first page's screenshot
at both sizes shows the keyboard's picture and text large and dark enough to
read.

Chromium is driven over its DevTools pipe (--remote-debugging-pipe: JSON
messages ended by a NUL byte on file descriptors 3 and 4), so nothing beyond
the browser is needed. The network is never used: the pages are files.
"""

import base64
import fcntl
import json
import os
import select
import subprocess
import time
import unittest
import urllib.parse
import urllib.request

import kelvo_desktop as kd

kd.skip_unless_tools("chromium", "cmake", session=None)

PHONE = (390, 844)
DESKTOP = (1280, 800)
# Chromium reaches no network and shows nothing of its own.
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--no-default-browser-check", "--disable-background-networking", "--disable-component-update",
         "--disable-sync", "--disable-dev-shm-usage", "--password-store=basic", "--hide-scrollbars",
         "--force-color-profile=srgb", "--remote-debugging-pipe"]

# What the page tells of itself once loaded: its links, anchors, pictures
# (each decoded first), width, and the first paragraph's look and place.
DESCRIBE = """(async () => {
  const pictures = await Promise.all([...document.images].map(async (image) => {
    try { await image.decode(); } catch (e) {}
    const r = image.getBoundingClientRect();
    return {src: image.getAttribute("src"), url: image.src, width: image.naturalWidth,
            height: image.naturalHeight, box: [r.left, r.top, r.width, r.height]};
  }));
  const text = [...document.querySelectorAll("main p")].find((p) => !p.querySelector("img"));
  const style = getComputedStyle(text);
  const r = text.getBoundingClientRect();
  const background = getComputedStyle(document.body).backgroundColor;
  return {
    links: [...document.querySelectorAll("a[href]")].map((a) => a.href),
    anchors: [...document.querySelectorAll("[id]")].map((e) => e.id),
    pictures: pictures,
    scrollWidth: document.documentElement.scrollWidth,
    clientWidth: document.documentElement.clientWidth,
    text: {size: parseFloat(style.fontSize), color: style.color, background: background,
           box: [r.left, r.top, r.width, r.height]},
  };
})()"""


def luminance(rgb):
    """WCAG's relative luminance of an (r, g, b) colour of 0 to 255."""
    def channel(c):
        c /= 255
        return c / 12.92 if c <= 0.03928 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (channel(c) for c in rgb)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def css_colour(text):
    """(r, g, b) of a computed colour, rgb(...) or rgba(...)."""
    return tuple(int(float(v)) for v in text[text.index("(") + 1:text.index(")")].split(",")[:3])


class DevTools:
    """One headless Chromium and one page in it, over the DevTools pipe."""

    def __init__(self, processes, profile):
        to_browser, self._to = os.pipe()
        self._from, from_browser = os.pipe()

        def onto_3_and_4():
            # Above 4 first, so that neither lands on the other's number.
            high = [fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10) for fd in (to_browser, from_browser)]
            os.dup2(high[0], 3)
            os.dup2(high[1], 4)
        self.proc = processes.start(["chromium", *FLAGS, "--user-data-dir=" + profile, "about:blank"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                    close_fds=False, preexec_fn=onto_3_and_4)
        os.close(to_browser)
        os.close(from_browser)
        self._buffer, self._next, self.events = b"", 0, []
        target = self.call("Target.createTarget", url="about:blank")["targetId"]
        self.session = self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        for domain in ("Page", "Runtime", "Log"):
            self.call(domain + ".enable", session=True)

    def close(self):
        for fd in (self._to, self._from):
            os.close(fd)

    def _message(self, deadline):
        while b"\0" not in self._buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self._from], [], [], left)[0]:
                raise TimeoutError("Chromium said nothing in time")
            chunk = os.read(self._from, 1 << 16)
            if not chunk:
                raise RuntimeError("Chromium ended (status %s)" % self.proc.poll())
            self._buffer += chunk
        message, _, self._buffer = self._buffer.partition(b"\0")
        return json.loads(message)

    def call(self, method, session=False, **params):
        """Sends a command and returns its result; events that come first
        are kept in events."""
        self._next += 1
        request = {"id": self._next, "method": method, "params": params}
        if session:
            request["sessionId"] = self.session
        os.write(self._to, json.dumps(request).encode() + b"\0")
        deadline = time.monotonic() + 60
        while True:
            message = self._message(deadline)
            if message.get("id") == self._next:
                if "error" in message:
                    raise RuntimeError("%s: %s" % (method, message["error"]))
                return message["result"]
            if "method" in message:
                self.events.append(message)

    def wait_for(self, method):
        deadline = time.monotonic() + 60
        while not any(e["method"] == method for e in self.events):
            message = self._message(deadline)
            if "method" in message:
                self.events.append(message)

    def errors(self):
        """The console's errors and the uncaught exceptions since the last call."""
        found = []
        for e in self.events:
            p = e.get("params", {})
            if e["method"] == "Log.entryAdded" and p["entry"]["level"] == "error":
                found.append("%s (%s)" % (p["entry"]["text"], p["entry"].get("url", "")))
            elif e["method"] == "Runtime.consoleAPICalled" and p["type"] in ("error", "assert"):
                found.append(" ".join(str(a.get("value", a.get("description"))) for a in p["args"]))
            elif e["method"] == "Runtime.exceptionThrown":
                found.append(p["exceptionDetails"].get("exception", {}).get("description", "an exception"))
        self.events = []
        return found

    def open(self, url, size):
        """Loads url in a window of size (width, height); what it tells of itself."""
        width, height = size
        self.call("Emulation.setDeviceMetricsOverride", session=True, width=width, height=height,
                  deviceScaleFactor=1, mobile=width < 600)
        self.events = [e for e in self.events if e["method"] != "Page.loadEventFired"]
        self.call("Page.navigate", session=True, url=url)
        self.wait_for("Page.loadEventFired")
        return self.call("Runtime.evaluate", session=True, expression=DESCRIBE, awaitPromise=True,
                         returnByValue=True)["result"]["value"]

    def screenshot(self):
        data = self.call("Page.captureScreenshot", session=True, format="png")["data"]
        return kd.read_png(base64.b64decode(data))


class Guide(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.processes = kd.Processes()
        prefix = cls.processes.path("usr")
        subprocess.run(["cmake", "--install", kd.build_dir(), "--prefix", prefix],
                       check=True, stdout=subprocess.DEVNULL, timeout=120)
        cls.guide = os.path.join(prefix, "share", "doc", "kelvo", "html")
        os.makedirs(cls.processes.path("profile"))
        cls.browser = DevTools(cls.processes, cls.processes.path("profile"))

    @classmethod
    def tearDownClass(cls):
        cls.browser.close()
        cls.processes.close()

    def url(self, name):
        return urllib.parse.urljoin("file:", urllib.request.pathname2url(os.path.join(self.guide, name)))

    def test_every_page_loads_clean_links_within_the_guide_and_fits_both_windows(self):
        pages = sorted(n for n in os.listdir(self.guide) if n.endswith(".html"))
        self.assertIn("index.html", pages)
        seen, problems = {}, []
        for name in pages:
            for size in (PHONE, DESKTOP):
                page = self.browser.open(self.url(name), size)
                where = "%s at %dx%d" % (name, *size)
                problems += ["%s: console: %s" % (where, e) for e in self.browser.errors()]
                if page["scrollWidth"] > page["clientWidth"]:
                    problems.append("%s: %d pixels wide in a window of %d"
                                    % (where, page["scrollWidth"], page["clientWidth"]))
                problems += ["%s: the picture %s does not decode" % (where, p["src"])
                             for p in page["pictures"] if not (p["width"] and p["height"])]
            seen[name] = page
        for name, page in seen.items():
            for link in page["links"]:
                target = urllib.parse.urlsplit(link)
                if target.scheme != "file":
                    continue
                path = urllib.request.url2pathname(target.path)
                if os.path.dirname(path) != self.guide or not os.path.isfile(path):
                    problems.append("%s: the link %s leads to no page of the guide" % (name, link))
                elif target.fragment and target.fragment not in seen.get(os.path.basename(path), {}).get(
                        "anchors", ()):
                    problems.append("%s: the link %s names no anchor there" % (name, link))
        self.assertGreater(sum(len(p["links"]) for p in seen.values()), len(pages))
        self.assertEqual(problems, [], "\n".join(problems))

    def test_the_first_page_shows_the_keyboard_and_readable_text_on_a_phone_and_a_desktop(self):
        width, height, keyboard = kd.read_png(os.path.join(self.guide, "keyboard.png"))
        for size in (PHONE, DESKTOP):
            page = self.browser.open(self.url("index.html"), size)
            _, _, shot = self.browser.screenshot()
            where = "index.html at %dx%d" % size

            # The keyboard's picture, whole and at its own size, inside the window.
            picture = next(p for p in page["pictures"] if p["src"].endswith("keyboard.png"))
            left, top, shown_width, shown_height = (round(v) for v in picture["box"])
            self.assertEqual((shown_width, shown_height), (width, height), where)
            self.assertTrue(left >= 0 and top >= 0 and left + width <= size[0] and top + height <= size[1],
                            "%s: the picture lies at %s" % (where, picture["box"]))
            difference = [abs(a - b) for y in range(0, height, 3) for x in range(0, width, 3)
                          for a, b in zip(shot[top + y][left + x], keyboard[y][x])]
            self.assertLess(sum(difference) / len(difference), 6,
                            "%s: the screenshot does not show the keyboard's picture" % where)

            # The first paragraph: large enough, dark on light (or light on
            # dark), within the window, and drawn.
            text = page["text"]
            self.assertGreaterEqual(text["size"], 16, where)
            lighter, darker = sorted((luminance(css_colour(text["color"])),
                                      luminance(css_colour(text["background"]))), reverse=True)
            self.assertGreaterEqual((lighter + 0.05) / (darker + 0.05), 7, "%s: contrast" % where)
            left, top, box_width, box_height = (round(v) for v in text["box"])
            self.assertTrue(left >= 8 and left + box_width <= size[0] - 8 and box_height >= 3 * text["size"],
                            "%s: the first paragraph lies at %s" % (where, text["box"]))
            background = css_colour(text["background"])
            inked = [sum(abs(a - b) for a, b in zip(shot[y][x], background)) > 200
                     for y in range(top, min(top + box_height, size[1]), 2) for x in range(left, left + box_width, 2)]
            self.assertTrue(0.03 < sum(inked) / len(inked) < 0.5,
                            "%s: the first paragraph's box is %.0f %% ink" % (where, 100 * sum(inked) / len(inked)))


if __name__ == "__main__":
    unittest.main()
