"""Alt+E and the notification-area icon on the real binary: the hotkey hides and shows the window
(also with Num Lock or Caps Lock on; a minimised one comes back minimised), a second copy neither
dies nor takes the key, a left click on the icon shows the window, and "退出程序" from the icon's
menu ends the tool with exit code 0."""
import ctypes
import os
import subprocess
import sys
import time
import unittest

import desktop

BINARY, OUT = sys.argv[1], sys.argv[2]


def mapped(wid):
    out = subprocess.run(["xwininfo", "-id", str(wid)], capture_output=True, text=True).stdout
    return "Map State: IsViewable" in out


def exists(wid):
    return subprocess.run(["xwininfo", "-id", str(wid)], capture_output=True).returncode == 0


def wm_state(wid):
    """The window manager's state of a window: 'Normal', 'Iconic', or None once withdrawn."""
    out = desktop.run("xprop", "-id", str(wid), "WM_STATE", check=False)
    return out.split("window state:")[1].split()[0] if "window state:" in out else None


def alt_e():
    desktop.run("xdotool", "key", "alt+e")


LOCK_MASKS = {"Caps Lock": 1 << 1, "Num Lock": 1 << 4}  # the X modifiers Lock and Mod2


def lock_on(name):
    """Whether 'Num Lock' or 'Caps Lock' is on: the server's modifier state, from XQueryPointer."""
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    ulong, c_int = ctypes.c_ulong, ctypes.c_int
    x11.XQueryPointer.argtypes = [ctypes.c_void_p, ulong] + [ctypes.POINTER(ulong)] * 2 + \
        [ctypes.POINTER(c_int)] * 4 + [ctypes.POINTER(ctypes.c_uint)]
    display = x11.XOpenDisplay(None)
    if not display:
        raise AssertionError("cannot open the X display")
    try:
        root, child = ulong(), ulong()
        xs = [c_int() for _ in range(4)]
        mask = ctypes.c_uint()
        x11.XQueryPointer(display, x11.XDefaultRootWindow(display), ctypes.byref(root),
                          ctypes.byref(child), *[ctypes.byref(v) for v in xs], ctypes.byref(mask))
        return bool(mask.value & LOCK_MASKS[name])
    finally:
        x11.XCloseDisplay(display)


def windows_of(pid):
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                         capture_output=True, text=True).stdout
    return [int(w) for w in out.split()]


def trayer_window():
    out = subprocess.run(["xdotool", "search", "--class", "trayer"], capture_output=True,
                         text=True).stdout
    ids = [int(w) for w in out.split()]
    if not ids:
        raise AssertionError("no trayer window: run under scripts/with-desktop")
    return ids


def tray_icon(tool):
    """The tool's icon window: a mapped window of its process inside trayer's area."""
    tx, ty, tw, th = max((desktop.geometry(w) for w in trayer_window()), key=lambda g: g[2] * g[3])
    for wid in windows_of(tool.proc.pid):
        x, y, w, h = desktop.geometry(wid)
        if w <= th and h <= th and tx <= x < tx + tw and ty <= y < ty + th:
            return wid
    return None


def menu_of(tool, main, icon):
    """An open popup of the tool: a mapped window of its process that is neither."""
    others = [w for w in windows_of(tool.proc.pid) if w not in (main, icon)]
    return others[0] if others else None


class Hotkey(unittest.TestCase):
    def test_alt_e_hides_and_shows_keeping_the_place(self):
        with desktop.Tool(BINARY) as tool:
            wid = tool.window()
            before = desktop.geometry(wid)
            alt_e()
            desktop.wait_for(lambda: not mapped(wid), 10, what="the window to be unmapped")
            desktop.wait_for(lambda: tray_icon(tool), 10, what="the icon in the notification area")
            alt_e()
            desktop.wait_for(lambda: mapped(wid), 10, what="the window to come back")
            self.assertEqual(desktop.geometry(wid), before, "same size and place")
            self.assertIsNone(tool.proc.poll())

    def test_a_minimised_window_counts_as_shown_and_comes_back_minimised(self):
        with desktop.Tool(BINARY) as tool:
            wid = tool.window()
            desktop.run("xdotool", "windowminimize", str(wid))
            desktop.wait_for(lambda: wm_state(wid) == "Iconic", 10, what="minimised")
            alt_e()
            desktop.wait_for(lambda: wm_state(wid) is None, 10, what="hidden (withdrawn)")
            desktop.wait_for(lambda: tray_icon(tool), 10, what="the icon")
            alt_e()
            desktop.wait_for(lambda: wm_state(wid) == "Iconic", 10, what="back, still minimised")
            self.assertFalse(mapped(wid), "only its task bar entry is back, not the window")

    def test_alt_e_works_with_num_lock_and_caps_lock_on(self):
        with desktop.Tool(BINARY) as tool:
            wid = tool.window()
            for lock, key in (("Num Lock", "Num_Lock"), ("Caps Lock", "Caps_Lock")):
                with self.subTest(lock=lock):
                    self.assertFalse(lock_on(lock))
                    desktop.run("xdotool", "key", key)
                    desktop.wait_for(lambda: lock_on(lock), 5, what=f"{lock} on")
                    try:
                        alt_e()
                        desktop.wait_for(lambda: not mapped(wid), 10, what="hidden")
                        alt_e()
                        desktop.wait_for(lambda: mapped(wid), 10, what="shown")
                    finally:
                        desktop.run("xdotool", "key", key)
                        desktop.wait_for(lambda: not lock_on(lock), 5, what=f"{lock} off")

    def test_a_second_copy_neither_dies_nor_takes_the_key(self):
        with desktop.Tool(BINARY) as first:
            first_wid = first.window()
            with desktop.Tool(BINARY) as second:
                second_wid = second.window()
                self.assertNotEqual(first_wid, second_wid)
                time.sleep(1)  # the second copy's failed grab has come back by now
                for _ in range(2):
                    alt_e()
                    desktop.wait_for(lambda: not mapped(first_wid), 10, what="first hidden")
                    self.assertTrue(mapped(second_wid), "the second copy does not hear Alt+E")
                    alt_e()
                    desktop.wait_for(lambda: mapped(first_wid), 10, what="first shown")
                    self.assertTrue(mapped(second_wid))
                self.assertIsNone(second.proc.poll(), "the X error of its grab did not end it")
                self.assertIsNone(first.proc.poll())
                # The second copy is whole: its window closes in order.
                desktop.run("wmctrl", "-i", "-c", hex(second_wid))
                self.assertEqual(second.wait_exit(30), 0, second.stderr)
            alt_e()
            desktop.wait_for(lambda: not mapped(first_wid), 10, what="first hidden at the end")


class TrayIcon(unittest.TestCase):
    def test_left_click_shows_and_the_menus_quit_ends_with_zero(self):
        with desktop.Tool(BINARY) as tool:
            wid = tool.window()
            self.assertIsNone(tray_icon(tool), "no icon before the first hide")
            alt_e()
            desktop.wait_for(lambda: not mapped(wid), 10, what="hidden")
            icon = desktop.wait_for(lambda: tray_icon(tool), 10, what="the icon")
            desktop.screenshot(os.path.join(OUT, "tray_icon.png"))

            desktop.click_window_at(icon, 4, 4, button=1)
            desktop.wait_for(lambda: mapped(wid), 10, what="a left click to show the window")

            desktop.click_window_at(icon, 4, 4, button=3)
            menu = desktop.wait_for(lambda: menu_of(tool, wid, icon), 10, what="the main menu")
            desktop.screenshot(os.path.join(OUT, "tray_menu.png"))
            # The third item, 退出程序, by the keyboard the open menu holds.
            time.sleep(0.3)
            desktop.run("xdotool", "key", "Down", "Down", "Down", "Return")
            self.assertEqual(tool.wait_exit(30), 0, tool.stderr)
            self.assertFalse(exists(icon), "the icon went with the tool")
            self.assertFalse(exists(menu))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
