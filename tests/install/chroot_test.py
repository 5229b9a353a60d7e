"""The Debian package installs on a clean Debian 12 and the tool starts there.

Usage: chroot_test.py DEBDIR WORKDIR   (DEBDIR holds the one pelorin_*.deb to install)

A minimal bookworm root is bootstrapped from the Debian mirror apt uses on this machine, once, and
kept as WORKDIR/chroot-base.tar; every run unpacks it afresh, so `apt-get install ./pelorin_*.deb`
always meets a system that has never seen the tool or its dependencies. Downloaded packages are
kept in WORKDIR/apt-archives between runs. The tool then runs inside the root on the display of
this test (DISPLAY), as an ordinary user: its window must appear with the class the desktop entry
names, and a window manager's close request must end it with exit code 0.

Needs root. Runs itself in a private mount namespace, so no mount outlives the test.
"""
import glob
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import unittest

DEB_DIR, WORK = (os.path.abspath(a) for a in sys.argv[1:3])
BASE_TAR = os.path.join(WORK, "chroot-base.tar")
ROOT = os.path.join(WORK, "chroot-run")
ARCHIVES = os.path.join(WORK, "apt-archives")
LISTS = os.path.join(WORK, "apt-lists")
SUITE = "bookworm"
TITLE = "(Pelorin)批量刷任意网站流量工具 V1.3"


def log(msg):
    print(f"[{time.strftime('%H:%M:%S')}] {msg}", flush=True)


def run(*args, **kw):
    return subprocess.run(args, check=True, text=True, **kw)


def debian_sources():
    """The Debian archive entries of this machine's apt sources as (uri, suites, components)."""
    entries = []
    for path in glob.glob("/etc/apt/sources.list.d/*.sources"):
        with open(path) as f:
            text = f.read()
        for stanza in re.split(r"\n\s*\n", text):
            fields = {}
            for line in stanza.splitlines():
                m = re.match(r"([A-Za-z-]+):\s*(.*)", line)
                if m:
                    fields[m.group(1).lower()] = m.group(2).split()
            if "deb" in fields.get("types", []) and fields.get("enabled", ["yes"])[0] != "no":
                entries += [(u, fields.get("suites", []), fields.get("components", ["main"]))
                            for u in fields.get("uris", [])]
    for path in ["/etc/apt/sources.list", *glob.glob("/etc/apt/sources.list.d/*.list")]:
        if not os.path.exists(path):
            continue
        with open(path) as f:
            lines = f.read().splitlines()
        for line in lines:
            line = re.sub(r"\[[^]]*\]", "", line.split("#")[0]).split()
            if len(line) >= 3 and line[0] == "deb":
                entries.append((line[1], [line[2]], line[3:] or ["main"]))
    return [(u, [s for s in suites if s.startswith(SUITE)], comps)
            for u, suites, comps in entries
            if any(s.startswith(SUITE) for s in suites) and "/debian" in u]


def main_mirror(sources):
    for uri, suites, _ in sources:
        if SUITE in suites:
            return uri
    return "http://deb.debian.org/debian"


def no_mounts_under(path):
    with open("/proc/self/mounts") as f:
        return not any(line.split()[1].startswith(path + "/") or line.split()[1] == path
                       for line in f)


def remove_tree(path):
    if os.path.lexists(path):
        assert no_mounts_under(path), f"{path} still has mounts; not removing it"
        run("rm", "-rf", "--one-file-system", path)


def bootstrap(mirror):
    """The cached minimal root, made by debootstrap on the first run."""
    if os.path.exists(BASE_TAR):
        log(f"using the cached root {BASE_TAR}")
        return
    tmp = BASE_TAR + ".d"
    remove_tree(tmp)
    log(f"debootstrap --variant=minbase {SUITE} from {mirror} (first run; several minutes)")
    started = time.monotonic()
    r = subprocess.run(["debootstrap", "--variant=minbase", SUITE, tmp, mirror],
                       text=True, capture_output=True)
    if r.returncode != 0:
        tail = "\n".join((r.stdout + r.stderr).splitlines()[-15:])
        debootstrap_log = os.path.join(tmp, "debootstrap", "debootstrap.log")
        if os.path.exists(debootstrap_log):
            with open(debootstrap_log) as f:
                tail += "\n" + "".join(f.readlines()[-15:])
        raise SystemExit(f"FAIL: cannot bootstrap Debian {SUITE} from {mirror} (is the Debian "
                         f"archive reachable?):\n{tail}")
    run("tar", "--numeric-owner", "-C", tmp, "-cf", BASE_TAR + ".tmp", ".")
    os.rename(BASE_TAR + ".tmp", BASE_TAR)
    # Mounts debootstrap left behind (proc, sys) end with this namespace; remove_tree waits.
    subprocess.run(["umount", "-R", os.path.join(tmp, "proc")], capture_output=True)
    subprocess.run(["umount", "-R", os.path.join(tmp, "sys")], capture_output=True)
    remove_tree(tmp)
    log(f"bootstrapped and cached in {time.monotonic() - started:.0f} s")


def in_root(*args, check=True, **kw):
    return subprocess.run(["chroot", ROOT, *args], check=check, text=True, **kw)


def prepare_root(sources):
    remove_tree(ROOT)
    os.makedirs(ROOT)
    run("tar", "--numeric-owner", "-C", ROOT, "-xf", BASE_TAR)
    with open(os.path.join(ROOT, "etc/apt/sources.list"), "w") as f:
        for uri, suites, comps in sources:
            f.write(f"deb {uri} {' '.join(suites)} {' '.join(comps)}\n")
    shutil.copy("/etc/resolv.conf", os.path.join(ROOT, "etc/resolv.conf"))
    for d in (ARCHIVES, LISTS):
        os.makedirs(os.path.join(d, "partial"), exist_ok=True)
    mounts = [
        ("--bind", "/dev", "dev"),
        ("-t", "tmpfs", "shm", "dev/shm"),
        ("-t", "proc", "proc", "proc"),
        ("--bind", "/tmp/.X11-unix", "tmp/.X11-unix"),
        ("--bind", ARCHIVES, "var/cache/apt/archives"),
        ("--bind", LISTS, "var/lib/apt/lists"),
    ]
    for *opts, target in mounts:
        os.makedirs(os.path.join(ROOT, target), exist_ok=True)
        run("mount", *opts, os.path.join(ROOT, target))


class CleanDebian(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.environ.get("DISPLAY"):
            raise SystemExit("FAIL: DISPLAY is not set; run this test on an X desktop")
        sources = debian_sources()
        if not sources:
            sources = [(main_mirror([]), [SUITE], ["main"])]
        bootstrap(main_mirror(sources))
        prepare_root(sources)

    def test_package_installs_and_the_tool_runs(self):
        debs = glob.glob(os.path.join(DEB_DIR, "pelorin_*.deb"))
        self.assertEqual(len(debs), 1, f"expected one pelorin_*.deb in {DEB_DIR}: {debs}")
        shutil.copy(debs[0], os.path.join(ROOT, "tmp"))
        deb = "/tmp/" + os.path.basename(debs[0])
        env = dict(os.environ, DEBIAN_FRONTEND="noninteractive", LC_ALL="C.UTF-8")
        log("apt-get update")
        r = in_root("apt-get", "update", "-q", "--error-on=any", check=False, env=env, capture_output=True)
        self.assertEqual(r.returncode, 0,
                         f"FAIL: apt-get update cannot reach the Debian archive:\n{r.stdout}{r.stderr}")
        # Without recommends: what Depends names must be enough to run.
        log(f"apt-get install {deb}")
        started = time.monotonic()
        r = in_root("apt-get", "install", "-y", "-q", "--no-install-recommends", deb, check=False,
                    env=env, capture_output=True)
        self.assertEqual(r.returncode, 0, f"apt-get install failed:\n{r.stdout[-4000:]}{r.stderr}")
        log(f"installed in {time.monotonic() - started:.0f} s")

        with open(os.path.join(ROOT, "usr/share/applications/pelorin.desktop")) as f:
            entry = f.read()
        wm_class = re.search(r"^StartupWMClass=(.*)$", entry, re.M).group(1)
        for size in (16, 32, 48, 64, 128):
            self.assertTrue(os.path.exists(os.path.join(
                ROOT, f"usr/share/icons/hicolor/{size}x{size}/apps/pelorin.png")))

        in_root("useradd", "--create-home", "user")
        # A chroot may not create user namespaces, which Chromium's sandbox needs; a desktop
        # session outside a chroot keeps it.
        user_env = {"DISPLAY": os.environ["DISPLAY"], "HOME": "/home/user", "USER": "user",
                    "PATH": "/usr/bin:/bin", "LANG": "C.UTF-8", "QTWEBENGINE_DISABLE_SANDBOX": "1"}
        stderr = open(os.path.join(WORK, "chroot-pelorin.log"), "w+")
        proc = subprocess.Popen([shutil.which("chroot"), "--userspec=user:user", ROOT, "pelorin"], env=user_env,
                                stdout=subprocess.DEVNULL, stderr=stderr, start_new_session=True)
        try:
            wid = self.wait_for_window(proc)
            if wid is None:
                self.stop(proc)
            self.assertIsNotNone(wid, f"no window of pelorin appeared; its stderr:\n"
                                      f"{self.output(stderr)}")
            props = subprocess.run(["xprop", "-id", wid, "WM_CLASS", "_NET_WM_NAME"],
                                   capture_output=True, text=True).stdout
            self.assertIn(f'WM_CLASS(STRING) = "pelorin", "{wm_class}"', props)
            self.assertIn(TITLE, props)
            run("wmctrl", "-i", "-c", wid)
            code = proc.wait(timeout=30)
            self.assertEqual(code, 0, f"exit code {code}; stderr:\n{self.output(stderr)}")
        finally:
            self.stop(proc)
            stderr.close()

    @staticmethod
    def wait_for_window(proc, timeout=90):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and proc.poll() is None:
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "Pelorin"],
                                   capture_output=True, text=True).stdout.split()
            for wid in found:
                pid = subprocess.run(["xdotool", "getwindowpid", wid], capture_output=True,
                                     text=True).stdout.strip()
                if pid == str(proc.pid):
                    return wid
            time.sleep(0.5)
        return None

    @staticmethod
    def stop(proc):
        if proc.poll() is None:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()

    @staticmethod
    def output(f):
        f.flush()
        f.seek(0)
        return f.read()[-4000:]


if __name__ == "__main__":
    if os.geteuid() != 0:
        raise SystemExit("FAIL: this test bootstraps and enters a chroot and needs root")
    if os.environ.get("PELORIN_CHROOT_NS") != "1":
        # Again, in a private mount namespace: the bind mounts end with the test.
        os.environ["PELORIN_CHROOT_NS"] = "1"
        os.execvp("unshare", ["unshare", "--mount", "--propagation", "private",
                              sys.executable, *sys.argv])
    unittest.main(argv=[sys.argv[0]], verbosity=2)
