"""Long-run figures of the real binary: memory over many reloads, memory per view, idle CPU and
start-up time. Each sub-command prints its figures; none of them passes or fails.

  robustness_bench.py BINARY soak [MINUTES] [--leak]   five slots at 200 ms, window hidden
  robustness_bench.py BINARY views [RUNS]              tree PSS as one slot view after another loads
  robustness_bench.py BINARY idle [RUNS] [SECONDS]     CPU with every slot stopped, shown and hidden
  robustness_bench.py BINARY startup [RUNS]            exec to the shown window, three update hosts
  robustness_bench.py ASAN_BINARY leaks                the ways out under LeakSanitizer

Memory is the PSS of the whole process tree (the tool and every browser helper), from
/proc/PID/smaps_rollup; CPU is utime + stime of the tree from /proc/PID/stat.
"""
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import desktop  # noqa: E402

SLOTS = 5

# ---- the pages ----------------------------------------------------------------------------------

# A page with a style sheet, two scripts and three images, all from the loopback server; its
# inline script builds some of the document, as real pages do.
SOAK_PAGE = b"""<!doctype html><html><head><title>soak</title>
<link rel="stylesheet" href="/soak/style.css"><script src="/soak/app.js"></script>
</head><body><h1>soak</h1><img src="/soak/a.png"><img src="/soak/b.png"><img src="/soak/c.png">
<ul id="list"></ul><script src="/soak/list.js"></script></body></html>"""
STYLE = b"body{font:14px sans-serif;background:#eef} li:nth-child(odd){color:#336} img{width:32px}"
APP_JS = b"var started = Date.now(); document.title = 'soak ' + started;"
LIST_JS = b"""var list = document.getElementById('list');
for (var i = 0; i < 200; i++) { var li = document.createElement('li');
  li.textContent = 'item ' + i + ' ' + Math.random(); list.appendChild(li); }"""
# A 1 x 1 PNG, one colour per image.
PNG = bytes.fromhex("89504e470d0a1a0a0000000d4948445200000001000000010802000000907753de0000000c"
                    "4944415408d763f8cfc0f01f0005000201e2d7e1b80000000049454e44ae426082")

# Leaks on purpose: every load appends 16 KiB to window.name, which the tab keeps from one
# same-site navigation to the next, so the renderer holds more with every reload.
LEAK_PAGE = b"""<!doctype html><html><body><script>
window.name = window.name + new Array(16385).join('x');
document.body.textContent = 'held ' + window.name.length;
</script></body></html>"""


def pages(leak):
    main = LEAK_PAGE if leak else SOAK_PAGE
    table = {f"/slot{k}": (200, main, "text/html") for k in range(1, SLOTS + 1)}
    table.update({
        "/soak/style.css": (200, STYLE, "text/css"),
        "/soak/app.js": (200, APP_JS, "application/javascript"),
        "/soak/list.js": (200, LIST_JS, "application/javascript"),
        "/soak/a.png": (200, PNG, "image/png"),
        "/soak/b.png": (200, PNG, "image/png"),
        "/soak/c.png": (200, PNG, "image/png"),
    })
    return table


def median(values):
    return statistics.median(values) if values else float("nan")


def slope(xs, ys):
    """Least-squares slope of ys over xs."""
    mx, my = statistics.fmean(xs), statistics.fmean(ys)
    sxx = sum((x - mx) ** 2 for x in xs)
    return sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / sxx if sxx else float("nan")


def start_slots(wid, server, count, period, box_timeout=15):
    for k in range(count):
        if k:
            desktop.next_page(wid)
        desktop.type_into(wid, desktop.PAGE_ADDRESS, server.url(f"/slot{k + 1}"))
        desktop.type_into(wid, desktop.PAGE_INTERVAL, str(period))
        desktop.click_control(wid, desktop.PAGE_START)
        desktop.answer_box(timeout=box_timeout)


def hide(tool):
    desktop.run("xdotool", "key", "alt+e")
    desktop.wait_for(lambda: not tool.shown(), 10, what="the window to hide")


def close(tool):
    if not tool.shown():
        desktop.run("xdotool", "key", "alt+e")
        desktop.wait_for(tool.shown, 10, what="the window to show")
    desktop.run("wmctrl", "-c", desktop.TITLE)
    return tool.wait_exit(60)


# ---- soak ---------------------------------------------------------------------------------------

def soak(binary, minutes=30.0, leak=False, sample_s=10.0, warmup_s=120.0):
    warmup_s = min(warmup_s, minutes * 60 / 4)
    with desktop.Server(pages(leak)) as server, desktop.Tool(binary) as tool:
        pid = tool.proc.pid
        wid = tool.window()
        start_slots(wid, server, SLOTS, 200)
        hide(tool)
        begin = time.monotonic()
        end = begin + minutes * 60
        samples = []  # (seconds since begin, mean reloads per slot so far, tree PSS KiB)
        own = []  # the tool's own process alone, KiB
        while time.monotonic() < end:
            now = time.monotonic()
            reloads = statistics.fmean(len(server.hits(f"/slot{k}")) for k in range(1, SLOTS + 1))
            samples.append((now - begin, reloads, desktop.tree_pss_kib(pid)))
            own.append(desktop.pss_kib(pid))
            time.sleep(max(0.0, sample_s - (time.monotonic() - now)))
        counts = [len(server.hits(f"/slot{k}")) for k in range(1, SLOTS + 1)]
        code = close(tool)
    steady = [s for s in samples if s[0] >= warmup_s]
    growth = slope([s[1] for s in steady], [s[2] for s in steady]) * 1000 / 1024
    kind = "page that leaks on purpose" if leak else "page with scripts, styles and images"
    print(f"soak: five slots at 200 ms, window hidden, {minutes:g} min, {kind}")
    print(f"  reloads per slot: {counts}")
    print(f"  tree PSS: {samples[0][2] / 1024:.1f} MiB at the start, "
          f"{steady[0][2] / 1024:.1f} MiB after {warmup_s:.0f} s warm-up, "
          f"{samples[-1][2] / 1024:.1f} MiB at the end ({len(samples)} samples)")
    print(f"  fitted growth after warm-up: {growth:.3f} MiB per 1000 reloads per slot")
    steady_own = own[len(samples) - len(steady):]
    own_growth = slope([s[1] for s in steady], steady_own) * 1000 / 1024
    print(f"  of which the tool's own process (browser side): {own_growth:.3f} MiB per 1000 "
          f"reloads per slot ({own[0] / 1024:.1f} -> {own[-1] / 1024:.1f} MiB)")
    print("  samples (s, reloads per slot, MiB): " +
          " ".join(f"{t:.0f}/{r:.0f}/{m / 1024:.1f}" for t, r, m in samples))
    print(f"  exit code {code}")
    return growth


# ---- memory per view ----------------------------------------------------------------------------

# Chromium's process models as QTWEBENGINE_CHROMIUM_FLAGS: the default (a renderer per view,
# as each view is a browsing instance of its own), one renderer per site, at most one renderer.
MODELS = {
    "default": "",
    "process-per-site": "--process-per-site",
    "renderer-process-limit=1": "--renderer-process-limit=1",
}


def views_once(binary, flags):
    env = {"QTWEBENGINE_CHROMIUM_FLAGS": flags} if flags else {}
    with desktop.Server(pages(False)) as server, desktop.Tool(binary, env=env) as tool:
        pid = tool.proc.pid
        wid = tool.window()
        time.sleep(5)
        sizes = [desktop.tree_pss_kib(pid)]
        renderer_counts = [len(desktop.renderers(pid))]
        for k in range(SLOTS):
            if k:
                desktop.next_page(wid)
            desktop.start_slot(wid, server.url(f"/slot{k + 1}"), "1000")
            time.sleep(6)
            sizes.append(desktop.tree_pss_kib(pid))
            renderer_counts.append(len(desktop.renderers(pid)))
        close(tool)
    return sizes, renderer_counts


def views(binary, runs=3):
    print(f"memory per view: tree PSS as the five slot views load one after another "
          f"({runs} runs, medians)")
    print("  model                      at start  +1 view  +5 views  per view  renderers")
    for name, flags in MODELS.items():
        results = [views_once(binary, flags) for _ in range(runs)]
        at = [median([r[0][k] for r in results]) / 1024 for k in range(SLOTS + 1)]
        per_view = (at[SLOTS] - at[0]) / SLOTS
        renderers = results[-1][1]
        print(f"  {name:<25}  {at[0]:6.1f}   {at[1] - at[0]:+6.1f}   {at[SLOTS] - at[0]:+7.1f}"
              f"   {per_view:6.1f}   {renderers[0]} -> {renderers[-1]}   (MiB)")


# ---- idle CPU -----------------------------------------------------------------------------------

def idle_once(binary, seconds):
    with desktop.Tool(binary) as tool:
        pid = tool.proc.pid
        tool.window()
        time.sleep(10)  # the two first pages load and settle
        shown_0 = desktop.tree_cpu_seconds(pid)
        time.sleep(seconds)
        shown = desktop.tree_cpu_seconds(pid) - shown_0
        hide(tool)
        time.sleep(3)
        hidden_0 = desktop.tree_cpu_seconds(pid)
        time.sleep(seconds)
        hidden = desktop.tree_cpu_seconds(pid) - hidden_0
        close(tool)
    return shown / seconds * 100, hidden / seconds * 100


def idle(binary, runs=3, seconds=60.0):
    results = [idle_once(binary, seconds) for _ in range(runs)]
    print(f"idle: every slot stopped, CPU of the process tree over {seconds:g} s "
          f"({runs} runs, median [min, max])")
    for i, state in enumerate(("shown", "hidden")):
        values = [r[i] for r in results]
        print(f"  window {state:<6}: {median(values):.2f} % of one core "
              f"[{min(values):.2f}, {max(values):.2f}]")


# ---- start-up -----------------------------------------------------------------------------------

def cache_value(binary, name, default):
    cache = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(binary))),
                         "CMakeCache.txt")
    try:
        with open(cache, encoding="utf-8") as f:
            for line in f:
                m = re.match(rf"{name}:STRING=(.*)$", line.strip())
                if m:
                    return m.group(1)
    except OSError:
        pass
    return default


def manifest(version):
    return ('<?xml version="1.0" encoding="gb2312"?>\r\n<最新版本>\r\n  <版本信息 版本号="'
            f'{version}" 升级说明="n" 下载地址="d" 文件标题="t" 文件名="f"/>\r\n</最新版本>\r\n'
            ).encode("gbk")


MANIFEST = manifest("1.2")

SERVER = r'''
import http.server, os, sys
root = sys.argv[1]
class H(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = open(os.path.join(root, "data.xml"), "rb").read()
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

# Inside a private network and mount namespace: the update host resolves through a private
# hosts file to loopback (answering or refusing) or to an address routed into a tun device that
# no one reads, so every packet to it vanishes without an answer.
RUN = r'''#!/bin/sh
set -e
ip link set lo up
mount --bind "$ROOT/hosts" /etc/hosts
if [ "$MODE" = answering ]; then
  "$PYTHON" "$ROOT/serve.py" "$ROOT" >"$ROOT/server.err" 2>&1 &
  while [ ! -e "$ROOT/ready" ]; do sleep 0.05; done
fi
if [ "$MODE" = dropped ]; then
  ip tuntap add dev void mode tun
  ip link set void up
  ip route add 10.254.254.254/32 dev void
fi
echo go > "$ROOT/go"
exec "$ROOT/pelorin"
'''

STARTUP_MODES = ("answering", "refused", "dropped")


class Namespace:
    """A fresh directory with a copy of the binary, run in a private network and mount
    namespace whose update host answers, refuses or drops."""

    def __init__(self, binary, mode, data=MANIFEST, env=None):
        self.root = os.path.realpath(tempfile.mkdtemp(prefix="pelorin-bench-"))
        shutil.copy2(binary, os.path.join(self.root, "pelorin"))
        os.makedirs(os.path.join(self.root, "data"))
        host = cache_value(binary, "PELORIN_UPDATE_HOST", "update.pelorin.example")
        soft = cache_value(binary, "PELORIN_SOFT_HOST", "soft.pelorin.example")
        address = "10.254.254.254" if mode == "dropped" else "127.0.0.1"
        # A stand-in updater and browser for a hand-over.
        for name, text in (("serve.py", SERVER), ("run.sh", RUN), ("data/update.exe", "#!/bin/sh\n"),
                           ("browser", "#!/bin/sh\n"),
                           ("hosts", f"127.0.0.1 localhost {soft}\n{address} {host}\n")):
            path = os.path.join(self.root, name)
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
            os.chmod(path, 0o755)
        with open(os.path.join(self.root, "data.xml"), "wb") as f:
            f.write(data)
        self.env = dict(env or {}, ROOT=self.root, PYTHON=sys.executable, MODE=mode,
                        BROWSER=os.path.join(self.root, "browser"))

    def start(self):
        return desktop.Tool("unshare", args=("--net", "--mount", "--", "/bin/sh",
                                             os.path.join(self.root, "run.sh")), cwd="/",
                            env=self.env)

    def ready(self):
        return os.path.exists(os.path.join(self.root, "go"))

    def end(self, tool):
        # The loopback server lives in the tool's process group and outlives it.
        try:
            os.killpg(tool.proc.pid, 15)
        except ProcessLookupError:
            pass
        shutil.rmtree(self.root, ignore_errors=True)


def startup_once(binary, mode):
    ns = Namespace(binary, mode)
    with ns.start() as tool:
        try:
            # The clock starts when the namespace is ready and the shell execs the tool.
            desktop.wait_for(ns.ready, 30, step=0.005, what="the namespace")
            exec_at = time.monotonic()
            desktop.wait_for(tool.shown, 180, step=0.02, what="the shown window")
            shown = time.monotonic() - exec_at
            desktop.run("wmctrl", "-c", desktop.TITLE)
            tool.wait_exit(60)
            return shown
        finally:
            ns.end(tool)


def startup(binary, runs=5):
    print("start-up: exec to the shown window (median [min, max] of the runs)")
    for mode in STARTUP_MODES:
        # A dropped connection waits out the fetch's connect bound; one run says enough.
        n = 1 if mode == "dropped" else runs
        times = [startup_once(binary, mode) for _ in range(n)]
        print(f"  update host {mode:<9}: {median(times):7.2f} s "
              f"[{min(times):.2f}, {max(times):.2f}]  ({n} run{'s' if n > 1 else ''})")


# ---- leaks on the ways out ----------------------------------------------------------------------

def leak_reports(log_dir):
    """(own, foreign) leak reports of LeakSanitizer logs. A leak is the tool's own when the first
    frame above the allocator lies in the tool's sources; otherwise the toolkit or the browser
    allocated it, and it is theirs."""
    own, foreign = [], []
    for name in os.listdir(log_dir):
        with open(os.path.join(log_dir, name), errors="replace") as f:
            text = f.read()
        for block in re.split(r"\n(?=(?:Direct|Indirect) leak of )", text):
            if not re.match(r"(?:Direct|Indirect) leak of ", block):
                continue
            frames = [line for line in block.splitlines() if re.match(r"\s+#\d+ ", line)]
            first = next((f for f in frames
                          if not re.search(r"libasan|asan_|operator new|malloc|calloc|realloc",
                                           f)), "")
            (own if "/src/" in first and "/usr/" not in first else foreign).append(
                block.splitlines()[0] + " " + first.strip())
    return own, foreign


def leaks(binary):
    log_dir = tempfile.mkdtemp(prefix="pelorin-lsan-")
    # The browser engine deletes some of its objects through a base of another size at the end
    # of the run; that is its own affair and must not stop the leak check.
    options = (f"detect_leaks=1:exitcode=0:new_delete_type_mismatch=0:"
               f"log_path={log_dir}/lsan")
    ways = {}

    def way(name, run):
        before = set(os.listdir(log_dir))
        code = run()
        logs = [n for n in set(os.listdir(log_dir)) - before]
        ways[name] = (code, logs)

    def quit_hidden():
        with desktop.Server(pages(False)) as server, \
                desktop.Tool(binary, env={"ASAN_OPTIONS": options}) as tool:
            wid = tool.window(180)
            time.sleep(10)  # an instrumented build takes its time to settle
            start_slots(wid, server, 2, 200, box_timeout=180)
            hide(tool)
            icon = desktop.wait_for(lambda: desktop.tray_icon_of(tool.proc.pid), 30,
                                    what="the icon")
            time.sleep(3)
            desktop.click_window_at(icon, 4, 4, button=3)
            time.sleep(3)
            desktop.run("xdotool", "key", "Down", "Down", "Down", "Return")
            return tool.wait_exit(300)

    def close_button():
        with desktop.Server(pages(False)) as server, \
                desktop.Tool(binary, env={"ASAN_OPTIONS": options}) as tool:
            wid = tool.window(180)
            time.sleep(10)  # an instrumented build takes its time to settle
            start_slots(wid, server, 2, 200, box_timeout=180)
            time.sleep(3)
            desktop.run("wmctrl", "-c", desktop.TITLE)
            return tool.wait_exit(300)

    def hand_over():
        ns = Namespace(binary, "answering", data=manifest("9.9"),
                       env={"ASAN_OPTIONS": options})
        with ns.start() as tool:
            try:
                desktop.answer_box(timeout=180)
                return tool.wait_exit(300)
            finally:
                ns.end(tool)

    way("menu quit, window hidden, slots running", quit_hidden)
    way("close button, slots running", close_button)
    way("update hand-over (exit program)", hand_over)
    print("leaks at the end of the run, LeakSanitizer (ASan build)")
    own, foreign = leak_reports(log_dir)
    for name, (code, logs) in ways.items():
        print(f"  {name}: exit code {code}, {len(logs)} report file(s)")
    print(f"  the tool's own: {len(own)} leak report(s)")
    for line in own:
        print(f"    {line}")
    print(f"  the toolkit's and the browser's: {len(foreign)} leak report(s); first frames:")
    firsts = {}
    for line in foreign:
        lib = re.search(r"\(([^()+]*/)?([^/()+]+)\+0x", line)
        key = lib.group(2) if lib else line.split(" in ", 1)[-1][:60]
        firsts[key] = firsts.get(key, 0) + 1
    for key, n in sorted(firsts.items(), key=lambda kv: -kv[1]):
        print(f"    {n:>4}  {key}")
    print(f"  logs: {log_dir}")


def main():
    binary, command, args = sys.argv[1], sys.argv[2], sys.argv[3:]
    if command == "soak":
        leak = "--leak" in args
        numbers = [float(a) for a in args if a != "--leak"]
        soak(binary, *(numbers[:1]), leak=leak)
    elif command == "views":
        views(binary, *(int(a) for a in args[:1]))
    elif command == "idle":
        idle(binary, *(int(a) for a in args[:1]), *(float(a) for a in args[1:2]))
    elif command == "startup":
        startup(binary, *(int(a) for a in args[:1]))
    elif command == "leaks":
        leaks(binary)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
