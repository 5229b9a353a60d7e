"""The start-up update check on the real binary.

Each run happens in a private network and mount namespace (unshare) whose loopback interface is
up and whose /etc/hosts maps the update server and the software site to 127.0.0.1, where a small
HTTP server on port 80 publishes the manifest in GBK. The binary is copied into a fresh directory
next to a stand-in updater data/update.exe that records its argument vector, and $BROWSER names
a stand-in browser that records the addresses it is asked to open. The X display is reached
through its filesystem socket, which the namespace shares.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import desktop

BINARY, OUT = sys.argv[1], sys.argv[2]


UPDATE_HOST = desktop.build_setting(OUT, "PELORIN_UPDATE_HOST", "update.pelorin.example")
SOFT_HOST = desktop.build_setting(OUT, "PELORIN_SOFT_HOST", "soft.pelorin.example")
HOMEPAGE = f"http://{SOFT_HOST}/?soft"
UA = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)"


def manifest(version, notes="", address="", title="", name=""):
    text = ('<?xml version="1.0" encoding="gb2312"?>\r\n<最新版本>\r\n'
            f'  <版本信息 版本号="{version}" 升级说明="{notes}" 下载地址="{address}" '
            f'文件标题="{title}" 文件名="{name}"/>\r\n</最新版本>\r\n')
    return text.encode("gbk")


# Serves the manifest file as it is and a small page for every other path; logs each request's
# path and user agent; writes "ready" once it listens.
SERVER = r'''
import http.server, os, sys
root = sys.argv[1]
class H(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(os.path.join(root, "requests.log"), "a") as log:
            log.write(self.path + "\t" + self.headers.get("User-Agent", "") + "\n")
        if self.path == "/QTVAR/data.xml":
            with open(os.path.join(root, "data.xml"), "rb") as f:
                body = f.read()
        else:
            body = b"<html><body>page</body></html>"
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
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
if [ -n "$SERVE" ]; then
  "$PYTHON" "$ROOT/serve.py" "$ROOT" >"$ROOT/server.err" 2>&1 &
  i=0
  while [ ! -e "$ROOT/ready" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i+1)); done
fi
exec "$ROOT/pelorin"
'''

UPDATER = r'''#!/bin/sh
here=$(dirname "$0")/..
printf '%s\0' "$0" "$@" > "$here/argv.part"
mv "$here/argv.part" "$here/argv"
'''


class Namespace:
    """A fresh directory with the binary, the stand-ins and the namespace's hosts file."""

    def __init__(self, data=None, stand_ins=True):
        self.root = os.path.realpath(tempfile.mkdtemp(prefix="pelorin-update-"))
        target = os.path.join(self.root, "pelorin")
        try:
            os.link(BINARY, target)
        except OSError:
            shutil.copy2(BINARY, target)
        os.makedirs(os.path.join(self.root, "data"))
        if stand_ins:
            self._write("data/update.exe", UPDATER, 0o755)
            self._write("browser",
                        f'#!/bin/sh\nprintf "%s\\n" "$@" >> "{self.root}/browser.log"\n', 0o755)
        self._write("serve.py", SERVER)
        self._write("run.sh", RUN, 0o755)
        self._write("hosts", f"127.0.0.1 localhost {UPDATE_HOST} {SOFT_HOST}\n")
        self.serve = data is not None
        if self.serve:
            with open(os.path.join(self.root, "data.xml"), "wb") as f:
                f.write(data)

    def _write(self, name, text, mode=0o644):
        path = os.path.join(self.root, name)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        os.chmod(path, mode)

    def path(self, name):
        return os.path.join(self.root, name)

    def read(self, name, mode="r"):
        try:
            with open(self.path(name), mode) as f:
                return f.read()
        except FileNotFoundError:
            return None

    def start(self):
        env = dict(ROOT=self.root, PYTHON=sys.executable, SERVE="1" if self.serve else "",
                   BROWSER=self.path("browser"))
        # unshare and the shell exec in turn, so the tool keeps the process id started here.
        return desktop.Tool("unshare", args=("--net", "--mount", "--", "/bin/sh",
                                             self.path("run.sh")), cwd="/", env=env)

    def stop(self, tool):
        # The server lives in the tool's process group and outlives it; end it too.
        try:
            os.killpg(tool.proc.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        shutil.rmtree(self.root, ignore_errors=True)


class Watch:
    """Polls the desktop in the background: was the tool's main window ever mapped?"""

    def __init__(self, tool):
        self.tool, self.mapped, self._stop = tool, False, False
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _run(self):
        while not self._stop and self.tool.proc.poll() is None:
            if self.tool.shown():
                self.mapped = True
            time.sleep(0.1)

    def stop(self):
        self._stop = True
        self._thread.join()


class UpdateCheck(unittest.TestCase):
    def setUp(self):
        # Environment variables that would steer the fetch or the browser elsewhere; the tool
        # inherits this process's environment.
        for k in ("http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY", "DEFAULT_BROWSER",
                  "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION"):
            os.environ.pop(k, None)

    def test_a_newer_version_shows_the_notes_opens_the_homepage_and_hands_over(self):
        ns = Namespace(manifest("1.4", notes="修复了错误#HHF<b>更快</b>",
                                address="http://dl.example/p.zip?a=1&amp;b=$(id)",
                                title="Pelorin 1.4", name="Kes;trel|mark.exe"))
        with ns.start() as tool:
            try:
                watch = Watch(tool)
                desktop.wait_for(lambda: desktop.message_boxes(), 90, what="the update box")
                desktop.screenshot(os.path.join(OUT, "update-box.png"))
                # The box comes first: no homepage, no updater yet, and no main window.
                self.assertIsNone(ns.read("browser.log"))
                self.assertIsNone(ns.read("argv"))
                self.assertIsNone(tool.proc.poll())
                requests = ns.read("requests.log").splitlines()
                self.assertIn(f"/QTVAR/data.xml\t{UA}", requests)
                self.assertEqual(len([r for r in requests if r.startswith("/QTVAR/data.xml")]),
                                 1)
                desktop.answer_box()
                self.assertEqual(tool.wait_exit(30), 0)
                watch.stop()
                self.assertFalse(watch.mapped, "the main window was shown")
                argv = desktop.wait_for(lambda: ns.read("argv", "rb"), 10, what="the updater")
                self.assertEqual(argv.split(b"\0")[:-1], [
                    ns.path("data/update.exe").encode(), b"qoruuser_platform",
                    b"http://dl.example/p.zip?a=1&b=$(id)", b"Pelorin", b"1.4", b"run",
                    b"Kestrelmark.exe", b"Kes;trel|mark.exe", "修复了错误#HHF<b>更快</b>".encode("gbk")])
                log = desktop.wait_for(lambda: ns.read("browser.log"), 10, what="the homepage")
                self.assertEqual(log, HOMEPAGE + "\n")
            finally:
                ns.stop(tool)

    def test_without_a_browser_or_an_updater_the_hand_over_still_ends_the_tool(self):
        ns = Namespace(manifest("2", notes="n", address="d", title="t", name="f"),
                       stand_ins=False)
        with ns.start() as tool:
            try:
                watch = Watch(tool)
                desktop.wait_for(lambda: desktop.message_boxes(), 90, what="the update box")
                desktop.answer_box()
                self.assertEqual(tool.wait_exit(30), 0)
                watch.stop()
                self.assertFalse(watch.mapped, "the main window was shown")
                self.assertEqual(desktop.message_boxes(), [], "a failure was reported")
            finally:
                ns.stop(tool)

    def assert_starts_as_usual(self, ns, fetched):
        with ns.start() as tool:
            try:
                wid = tool.window(90)
                self.assertTrue(wid)
                self.assertEqual(desktop.message_boxes(), [])
                self.assertIsNone(ns.read("argv"))
                self.assertIsNone(ns.read("browser.log"))
                if fetched:
                    self.assertIn(f"/QTVAR/data.xml\t{UA}", ns.read("requests.log").splitlines())
                desktop.run("wmctrl", "-c", desktop.TITLE)
                self.assertEqual(tool.wait_exit(30), 0)
            finally:
                ns.stop(tool)

    def test_an_older_version_starts_as_usual(self):
        self.assert_starts_as_usual(Namespace(manifest("1.29", notes="n", address="d", title="t",
                                                       name="f")), fetched=True)

    def test_garbage_starts_as_usual(self):
        self.assert_starts_as_usual(Namespace(b"<html>\xff\xfe not a manifest"), fetched=True)

    def test_no_server_starts_as_usual(self):
        self.assert_starts_as_usual(Namespace(None), fetched=False)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
