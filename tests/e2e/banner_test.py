"""The bottom strip on the real binary: right clicks on the banner open the tool's own menu, and
the footer line is drawn on its light blue ground with links that no mouse-over underlines.

Each run happens in a private network and mount namespace (unshare) whose loopback interface is
up and whose /etc/hosts maps the software site to 127.0.0.1, where a small HTTP server on port 80
serves the banner page: a page all in one colour, so the strip shows when it has loaded. The X
display is reached through its filesystem socket, which the namespace shares.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import desktop

BINARY, OUT = sys.argv[1], sys.argv[2]

CLIENT_HEIGHT = desktop.CLIENT_HEIGHT
BANNER = desktop.BANNER  # the strip's cut-out, in client coordinates
FOOTER = (15, 473, 616, 20)
# Points of the footer's two links (the contact and the brand), in the footer's coordinates;
# the click test proves that both lie on a link.
CONTACT_LINK = (75, 10)
BRAND_LINK = (303, 10)
BANNER_COLOUR = "20b040"
GROUND = "aad5f4"


SOFT_HOST = desktop.build_setting(OUT, "PELORIN_SOFT_HOST", "soft.pelorin.example")

BANNER_PAGE = (f"<html><body style='margin:0;background:#{BANNER_COLOUR}'>"
               "<div style='width:2000px;height:2000px'></div></body></html>")

SERVER = r'''
import http.server, os, sys
root, page = sys.argv[1], sys.argv[2].encode()
class H(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(os.path.join(root, "requests.log"), "a") as log:
            log.write(self.path + "\n")
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(page)))
        self.end_headers()
        self.wfile.write(page)
    def log_message(self, *args):
        pass
httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 80), H)
open(os.path.join(root, "ready"), "w").close()
httpd.serve_forever()
'''

RUN = r'''#!/bin/sh
set -e
ip link set lo up
mount --bind "$ROOT/hosts" /etc/hosts
"$PYTHON" "$ROOT/serve.py" "$ROOT" "$PAGE" >"$ROOT/server.err" 2>&1 &
i=0
while [ ! -e "$ROOT/ready" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i+1)); done
exec "$BINARY"
'''


class Namespace:
    """A fresh directory with the server, the start script and the namespace's hosts file."""

    def __init__(self):
        self.root = os.path.realpath(tempfile.mkdtemp(prefix="pelorin-banner-"))
        for name, text, mode in (("serve.py", SERVER, 0o644), ("run.sh", RUN, 0o755),
                                 ("hosts", f"127.0.0.1 localhost {SOFT_HOST}\n", 0o644),
                                 ("browser", f'#!/bin/sh\nprintf "%s\\n" "$@" >> '
                                             f'"{self.root}/browser.log"\n', 0o755)):
            path = os.path.join(self.root, name)
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
            os.chmod(path, mode)

    def start(self):
        env = dict(ROOT=self.root, PYTHON=sys.executable, PAGE=BANNER_PAGE,
                   BINARY=os.path.abspath(BINARY), BROWSER=os.path.join(self.root, "browser"))
        # unshare and the shell exec in turn, so the tool keeps the process id started here.
        return desktop.Tool("unshare", args=("--net", "--mount", "--", "/bin/sh",
                                             os.path.join(self.root, "run.sh")), cwd="/", env=env)

    def _lines(self, name):
        try:
            with open(os.path.join(self.root, name)) as f:
                return f.read().split()
        except FileNotFoundError:
            return []

    def requests(self):
        return self._lines("requests.log")

    def opened(self):
        """The addresses the stand-in browser was asked to open."""
        return self._lines("browser.log")

    def stop(self, tool):
        # The server lives in the tool's process group and outlives it; end it too.
        try:
            os.killpg(tool.proc.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        shutil.rmtree(self.root, ignore_errors=True)


def screen_point(wid, rect, dx=None, dy=None):
    """Root coordinates of a point of a client-area rectangle (its centre by default)."""
    x0, y0, _, height = desktop.geometry(wid)
    menu_bar = height - CLIENT_HEIGHT
    x, y, w, h = rect
    return (x0 + x + (w // 2 if dx is None else dx),
            y0 + menu_bar + y + (h // 2 if dy is None else dy))


def footer_crop(wid, shot, name):
    """The footer's 616 × 20 pixels of a screenshot, as a file of their own."""
    fx, fy = screen_point(wid, FOOTER, 0, 0)
    path = os.path.join(OUT, "banner", name)
    desktop.run("convert", shot, "-crop", f"616x20+{fx}+{fy}", "+repage", path)
    return path


def differing_pixels(a, b):
    r = subprocess.run(["compare", "-metric", "AE", a, b, "null:"], capture_output=True, text=True)
    return int(float(r.stderr.strip().split()[0]))


def popups(pid):
    """Mapped windows of the process other than the main window, with their geometry."""
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                         capture_output=True, text=True).stdout
    found = {}
    for wid in map(int, out.split()):
        if desktop.run("xdotool", "getwindowname", str(wid), check=False).strip() == desktop.TITLE:
            continue
        try:
            found[wid] = desktop.geometry(wid)
        except (subprocess.CalledProcessError, KeyError):
            pass
    return found


class Banner(unittest.TestCase):
    def setUp(self):
        self.ns = Namespace()
        self.tool = self.ns.start()
        self.addCleanup(self.ns.stop, self.tool)
        self.addCleanup(self.tool.__exit__, None, None, None)
        self.wid = self.tool.window(60)
        # Loaded: the strip shows the page's colour (its about-to-navigate event came first).
        bx, by = screen_point(self.wid, BANNER)
        desktop.wait_for(lambda: desktop.pixel(desktop.screenshot(os.path.join(OUT, "banner",
                                                                               "wait.png")),
                                               bx, by) == BANNER_COLOUR,
                         60, step=0.5, what="the banner page in the strip")
        self.assertIn("/QTVAR/1.htm", self.ns.requests())
        time.sleep(1)

    def right_click_banner(self, dx, dy):
        x, y = screen_point(self.wid, BANNER, dx, dy)
        before = set(popups(self.tool.proc.pid))
        desktop.run("xdotool", "mousemove", str(x), str(y))
        time.sleep(0.3)
        desktop.run("xdotool", "click", "3")
        new = desktop.wait_for(
            lambda: {w: g for w, g in popups(self.tool.proc.pid).items() if w not in before},
            10, what="a popup menu")
        return (x, y), new

    def test_a_right_click_on_the_banner_opens_our_menu_and_hide_hides(self):
        (x, y), new = self.right_click_banner(200, 30)
        shot = desktop.screenshot(os.path.join(OUT, "banner", "menu.png"))
        time.sleep(0.5)
        self.assertEqual(len(new), 1, f"one popup, ours only: {new}")
        (menu, (mx, my, mw, mh)), = new.items()
        self.assertEqual((mx, my), (x, y), "the menu's top-left corner at the cursor")
        # Four items of one line each: the browser's own menu is longer.
        self.assertLess(mh, 4 * 40)
        self.assertGreater(mh, 4 * 14)
        self.assertEqual(set(popups(self.tool.proc.pid)), {menu}, "no second menu came")
        # The first item, 隐藏窗口, hides the window.
        desktop.run("xdotool", "mousemove", str(mx + mw // 2), str(my + mh // 8))
        time.sleep(0.3)
        desktop.run("xdotool", "click", "1")
        desktop.wait_for(lambda: not self.tool.shown(), 10, what="the window to be hidden")
        self.assertIsNone(self.tool.proc.poll())
        state = desktop.run("xwininfo", "-id", str(self.wid), check=False)
        self.assertIn("IsUnMapped", state)
        self.assertTrue(os.path.getsize(shot) > 0)

    def test_quit_from_the_banner_menu_ends_the_run_with_zero(self):
        _, new = self.right_click_banner(500, 10)
        (_, (mx, my, mw, mh)), = new.items()
        desktop.run("xdotool", "mousemove", str(mx + mw // 2), str(my + mh * 5 // 8))
        time.sleep(0.3)
        desktop.run("xdotool", "click", "1")
        self.assertEqual(self.tool.wait_exit(30), 0)

    def test_the_footer_is_one_line_on_light_blue_and_the_mouse_underlines_no_link(self):
        away = desktop.screenshot(os.path.join(OUT, "banner", "footer.png"))
        fx, fy = screen_point(self.wid, FOOTER, 0, 0)
        # The ground at the right end and along the bottom row, where no text is.
        for dx, dy in ((610, 10), (2, 19), (300, 19), (610, 1)):
            self.assertEqual(desktop.pixel(away, fx + dx, fy + dy), GROUND, (dx, dy))
        # The mouse over the first link: nothing changes, no underline comes.
        desktop.run("xdotool", "mousemove", str(fx + CONTACT_LINK[0]), str(fy + CONTACT_LINK[1]))
        time.sleep(0.8)
        over = desktop.screenshot(os.path.join(OUT, "banner", "footer_hover.png"))
        self.assertEqual(differing_pixels(footer_crop(self.wid, away, "footer_crop.png"),
                                          footer_crop(self.wid, over, "footer_hover_crop.png")),
                         0, "the mouse-over changes nothing")

    def test_a_left_click_on_a_footer_link_opens_the_homepage_and_leaves_the_window(self):
        before = desktop.geometry(self.wid)
        shot = desktop.screenshot(os.path.join(OUT, "banner", "before_click.png"))
        fx, fy = screen_point(self.wid, FOOTER, 0, 0)
        for dx, dy in (CONTACT_LINK, BRAND_LINK):
            desktop.run("xdotool", "mousemove", str(fx + dx), str(fy + dy))
            time.sleep(0.3)
            desktop.run("xdotool", "click", "1")
        opened = desktop.wait_for(lambda: len(self.ns.opened()) >= 2 and self.ns.opened(), 20,
                                  what="the user's browser to be asked twice")
        self.assertEqual(opened, [f"http://{SOFT_HOST}/?soft"] * 2)
        self.assertTrue(self.tool.shown())
        self.assertEqual(desktop.geometry(self.wid), before)
        self.assertEqual(popups(self.tool.proc.pid), {})
        # The footer looks as before, once the mouse has left it.
        desktop.run("xdotool", "mousemove", "5", "5")
        time.sleep(0.5)
        after = desktop.screenshot(os.path.join(OUT, "banner", "after_click.png"))
        self.assertEqual(differing_pixels(footer_crop(self.wid, shot, "before_click_crop.png"),
                                          footer_crop(self.wid, after, "after_click_crop.png")),
                         0)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
