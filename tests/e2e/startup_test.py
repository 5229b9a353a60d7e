"""The real binary starts, shows its window centred with the exact title, and a window manager's
close request ends it with exit code 0."""
import os
import sys
import unittest

import desktop

BINARY, OUT = sys.argv[1], sys.argv[2]


class Startup(unittest.TestCase):
    def test_window_is_centred_and_closing_ends_with_zero(self):
        with desktop.Tool(BINARY) as tool:
            wid = tool.window()
            x, y, w, h = desktop.geometry(wid)
            left, right, top, bottom = desktop.frame_extents(wid)
            sw, sh = desktop.screen_size()
            self.assertEqual(w, 639, "the client area is 639 pixels wide")
            # Centred as the outer size 645 × 540 gives it (the frame's corner at that point).
            self.assertAlmostEqual(x - left, (sw - 645) // 2, delta=2)
            self.assertAlmostEqual(y - top, (sh - 540) // 2, delta=2)
            actions = desktop.run("xprop", "-id", str(wid), "_NET_WM_ALLOWED_ACTIONS")
            self.assertIn("_NET_WM_ACTION_MINIMIZE", actions)
            self.assertIn("_NET_WM_ACTION_CLOSE", actions)
            self.assertNotIn("MAXIMIZE", actions)
            self.assertNotIn("_NET_WM_ACTION_RESIZE", actions)
            shot = desktop.screenshot(os.path.join(OUT, "startup.png"))
            # The hint label's red text and page 1's red outline are drawn where the layout says.
            menu_bar = h - desktop.CLIENT_HEIGHT
            self.assertEqual(desktop.pixel(shot, x + 1, y + menu_bar + 23 + 100), "ff0000")
            desktop.run("wmctrl", "-c", desktop.TITLE)
            self.assertEqual(tool.wait_exit(30), 0)

    def test_without_a_display_it_says_so_and_fails(self):
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        import subprocess
        r = subprocess.run([BINARY], env=env, capture_output=True, text=True, timeout=30)
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("no X display", r.stderr)
        self.assertEqual(len(r.stderr.strip().splitlines()), 1)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
