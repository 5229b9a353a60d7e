"""Drives the real pelorin binary on the X desktop that scripts/with-desktop provides.

The tool is observed as a user would meet it: its window through the window manager (xdotool,
xwininfo, wmctrl), its requests through a loopback HTTP server, its looks through screenshots.
"""
import http.server
import os
import signal
import subprocess
import threading
import time

TITLE = "(Pelorin)批量刷任意网站流量工具 V1.3"


def run(*args, check=True):
    return subprocess.run(args, check=check, capture_output=True, text=True).stdout


def wait_for(predicate, timeout, step=0.1, what="condition"):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    raise AssertionError(f"timed out after {timeout}s waiting for {what}")


def visible_windows(name):
    """Ids of mapped windows whose title is exactly `name`."""
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^" + _regex(name) + "$"],
                         capture_output=True, text=True).stdout
    return [int(w) for w in out.split()]


def _regex(text):
    return "".join("\\" + c if c in ".^$*+?()[]{}|\\" else c for c in text)


def geometry(wid):
    """(x, y, width, height) of a window's client area in root coordinates."""
    info = run("xwininfo", "-id", str(wid))
    fields = {}
    for line in info.splitlines():
        if ":" in line:
            k, _, v = line.strip().partition(":")
            fields[k.strip()] = v.strip()
    return (int(fields["Absolute upper-left X"]), int(fields["Absolute upper-left Y"]),
            int(fields["Width"]), int(fields["Height"]))


def frame_extents(wid):
    """(left, right, top, bottom) of the window manager's frame."""
    out = run("xprop", "-id", str(wid), "_NET_FRAME_EXTENTS", check=False)
    if "=" not in out:
        return (0, 0, 0, 0)
    return tuple(int(v) for v in out.split("=")[1].split(","))


def screen_size():
    for line in run("xdpyinfo").splitlines():
        if "dimensions:" in line:
            w, h = line.split()[1].split("x")
            return int(w), int(h)
    raise AssertionError("no screen size")


def screenshot(path):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    run("import", "-window", "root", path)
    return path


def pixel(path, x, y):
    """The colour of one pixel of a screenshot, as 'rrggbb'."""
    out = run("convert", path, "-crop", f"1x1+{x}+{y}", "-depth", "8", "txt:-")
    return out.strip().split("#")[-1][:6].lower()


class Tool:
    """One run of the tool. Use as a context manager; the process is killed if still running."""

    def __init__(self, binary, env=None, cwd=None, args=()):
        full_env = dict(os.environ)
        full_env.update(env or {})
        self.proc = subprocess.Popen([binary, *args], env=full_env, cwd=cwd,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                     start_new_session=True)
        self._stderr = []
        self._reader = threading.Thread(target=self._drain, daemon=True)
        self._reader.start()

    def _drain(self):
        for line in self.proc.stderr:
            self._stderr.append(line.decode(errors="replace"))

    @property
    def stderr(self):
        return "".join(self._stderr)

    def window(self, timeout=30):
        return wait_for(lambda: self._own_window(), timeout, what="the main window")[0]

    def _own_window(self):
        wins = []
        for wid in visible_windows(TITLE):
            pid = run("xdotool", "getwindowpid", str(wid), check=False).strip()
            if pid == str(self.proc.pid):
                wins.append(wid)
        return wins

    def shown(self):
        return bool(self._own_window())

    def wait_exit(self, timeout=30):
        return self.proc.wait(timeout=timeout)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGKILL)
            self.proc.wait()
        self._reader.join(timeout=5)
        self.proc.stderr.close()
        return False


def click_window_at(wid, x, y, button=1):
    """A click at (x, y) of a window's client area."""
    run("xdotool", "mousemove", "--window", str(wid), str(x), str(y))
    time.sleep(0.2)
    run("xdotool", "click", str(button))


def message_boxes(caption="信息："):
    return visible_windows(caption)


def answer_box(caption="信息：", timeout=15):
    """Waits for a message box and closes it as a user does: Return on its OK button."""
    wid = wait_for(lambda: message_boxes(caption), timeout, what=f"a box '{caption}'")[0]
    run("xdotool", "windowactivate", "--sync", str(wid), check=False)
    run("xdotool", "windowfocus", "--sync", str(wid), check=False)
    run("xdotool", "key", "Return")
    wait_for(lambda: wid not in message_boxes(caption), 10, what="the box to close")
    return wid


class Server:
    """A loopback HTTP server that serves fixed pages and records every request's path and time."""

    def __init__(self, pages=None, port=0):
        self.pages = pages or {}
        self.requests = []
        self.lock = threading.Lock()
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                with outer.lock:
                    outer.requests.append((time.monotonic(), self.path, dict(self.headers)))
                status, body, ctype = outer.pages.get(self.path.split("?")[0],
                                                      (200, b"<html><body>ok</body></html>",
                                                       "text/html"))
                if callable(body):
                    body(self)
                    return
                self.send_response(status)
                self.send_header("Content-Type", ctype)
                self.send_header("Content-Length", str(len(body)))
                self.send_header("Cache-Control", "no-store")
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
        self.httpd.daemon_threads = True
        self.port = self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def url(self, path="/"):
        return f"http://127.0.0.1:{self.port}{path}"

    def hits(self, path):
        with self.lock:
            return [t for t, p, _ in self.requests if p == path]

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False


# ---- the main window's controls, as a user reaches them ----------------------------------------

CLIENT_HEIGHT = 494  # the client area below the menu bar
# Client-area rectangles (x, y, w, h) of one page's controls: the tab control lies at (1, 0) and
# its page container at (0, 23) inside it.
PAGE_ADDRESS = (1 + 58, 23 + 2, 315, 20)
PAGE_INTERVAL = (1 + 438, 23 + 2, 65, 20)
PAGE_START = (1 + 505, 23 + 2, 65, 20)
PAGE_STOP = (1 + 571, 23 + 2, 65, 20)
TAB_BAR = (1, 0, 330, 22)
BANNER = (0, 411, 639, 62)


def client_point(wid, rect, dx=None, dy=None):
    """Window coordinates of a point of a client-area rectangle (its centre by default)."""
    _, _, _, height = geometry(wid)
    menu_bar = height - CLIENT_HEIGHT
    x, y, w, h = rect
    return x + (w // 2 if dx is None else dx), menu_bar + y + (h // 2 if dy is None else dy)


def click_control(wid, rect, button=1):
    x, y = client_point(wid, rect)
    click_window_at(wid, x, y, button)


def type_into(wid, rect, text):
    """Clicks into an edit box, selects all of it and types `text` over it."""
    click_control(wid, rect)
    run("xdotool", "key", "--clearmodifiers", "ctrl+a")
    if text:
        run("xdotool", "type", "--delay", "5", text)
    else:
        run("xdotool", "key", "BackSpace")


def next_page(wid):
    """The next tab page: the mouse wheel over the tab row."""
    x, y = client_point(wid, TAB_BAR)
    run("xdotool", "mousemove", "--window", str(wid), str(x), str(y))
    time.sleep(0.2)
    run("xdotool", "click", "5")
    time.sleep(0.3)


def start_slot(wid, address, interval):
    """Types an address and an interval into the shown page, presses start and answers the box.
    Returns the monotonic time of the click."""
    type_into(wid, PAGE_ADDRESS, address)
    type_into(wid, PAGE_INTERVAL, interval)
    clicked = time.monotonic()
    click_control(wid, PAGE_START)
    answer_box()
    return clicked


# ---- the process tree: the tool and its browser helper processes ------------------------------

def _children_map():
    children = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/stat") as f:
                # The command name may hold blanks and parentheses; the fields after it do not.
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        children.setdefault(int(fields[1]), []).append(int(name))
    return children


def process_tree(pid):
    """`pid` and all of its descendants that are alive now."""
    children, tree, todo = _children_map(), [], [pid]
    while todo:
        p = todo.pop()
        tree.append(p)
        todo.extend(children.get(p, []))
    return tree


def command_line(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return [a.decode(errors="replace") for a in f.read().split(b"\0") if a]
    except OSError:
        return []


def renderers(pid):
    """Process ids of the page renderers under `pid`: the helpers that the browser's zygote (a
    child of the tool) forks. A fork keeps the zygote's command line, so the parent tells them
    apart."""
    children = _children_map()
    zygotes = [z for z in children.get(pid, []) if "--type=zygote" in command_line(z)]
    return {r for z in zygotes for r in children.get(z, [])}


def pss_kib(pid):
    """Proportional set size of one process in KiB (0 once it is gone)."""
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            for line in f:
                if line.startswith("Pss:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def tree_pss_kib(pid):
    """PSS of the whole tree in KiB: shared pages are split between the processes that map them,
    so the sum counts every page once."""
    return sum(pss_kib(p) for p in process_tree(pid))


def cpu_seconds(pid):
    """utime + stime of one process in seconds (0 once it is gone)."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except OSError:
        return 0.0
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def tree_cpu_seconds(pid):
    return sum(cpu_seconds(p) for p in process_tree(pid))


def top_level_windows():
    """Ids of every mapped top-level window on the desktop (the window manager's client list)."""
    out = run("xprop", "-root", "_NET_CLIENT_LIST", check=False)
    if "#" not in out:
        return []
    return [int(w, 16) for w in out.split("#", 1)[1].replace(",", " ").split()]


def paste_into(wid, rect, text):
    """Puts `text` on the X clipboard and pastes it over the edit box's content with ctrl+v: the
    way in for texts far too long to type."""
    clip = subprocess.Popen(["xclip", "-selection", "clipboard", "-loops", "1", "-quiet"],
                            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    clip.stdin.write(text.encode())
    clip.stdin.close()
    click_control(wid, rect)
    run("xdotool", "key", "--clearmodifiers", "ctrl+a")
    run("xdotool", "key", "--clearmodifiers", "ctrl+v")
    try:
        clip.wait(timeout=120)
    except subprocess.TimeoutExpired:
        clip.kill()
        clip.wait()


def copy_out(wid, rect):
    """The text of an edit box, as ctrl+a ctrl+c puts it on the X clipboard."""
    click_control(wid, rect)
    run("xdotool", "key", "--clearmodifiers", "ctrl+a")
    run("xdotool", "key", "--clearmodifiers", "ctrl+c")
    time.sleep(0.5)
    return subprocess.run(["xclip", "-selection", "clipboard", "-o"], capture_output=True,
                          timeout=60).stdout.decode(errors="replace")


def tray_icon_of(pid):
    """The tool's icon window: a mapped window of process `pid` inside trayer's area."""
    out = run("xdotool", "search", "--class", "trayer", check=False)
    areas = [geometry(int(w)) for w in out.split()]
    if not areas:
        raise AssertionError("no trayer window: run under scripts/with-desktop")
    tx, ty, tw, th = max(areas, key=lambda g: g[2] * g[3])
    out = run("xdotool", "search", "--onlyvisible", "--pid", str(pid), check=False)
    for wid in (int(w) for w in out.split()):
        x, y, w, h = geometry(wid)
        if w <= th and h <= th and tx <= x < tx + tw and ty <= y < ty + th:
            return wid
    return None


def build_setting(out_dir, name, default):
    """A value chosen at build time (a host, say), from the CMake cache of the build tree whose
    output folder `out_dir` is."""
    cache = os.path.join(os.path.dirname(os.path.abspath(out_dir)), "CMakeCache.txt")
    try:
        with open(cache, encoding="utf-8") as f:
            for line in f:
                key, _, value = line.strip().partition("=")
                if key.split(":")[0] == name:
                    return value
    except OSError:
        pass
    return default
