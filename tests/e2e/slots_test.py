"""Two refresh slots of the real binary, started with the mouse and keyboard as a user does,
reload their pages at their own intervals; the loopback server counts the reloads."""
import sys
import time
import unittest

import desktop

BINARY, OUT = sys.argv[1], sys.argv[2]


class Slots(unittest.TestCase):
    def test_two_slots_reload_at_their_own_intervals(self):
        with desktop.Server() as server, desktop.Tool(BINARY) as tool:
            wid = tool.window()
            one = desktop.start_slot(wid, server.url("/one"), "1000")
            desktop.next_page(wid)
            two = desktop.start_slot(wid, server.url("/two"), "700")
            time.sleep(5)
            desktop.screenshot(f"{OUT}/slots.png")
            end = time.monotonic()
            hits_one, hits_two = server.hits("/one"), server.hits("/two")
            # One load per period, the first one period after the click.
            self.assertAlmostEqual(len(hits_one), int((end - one) / 1.0), delta=1)
            self.assertAlmostEqual(len(hits_two), int((end - two) / 0.7), delta=1)
            self.assertGreaterEqual(hits_one[0] - one, 0.9)
            self.assertGreaterEqual(hits_two[0] - two, 0.6)
            desktop.run("wmctrl", "-c", desktop.TITLE)
            self.assertEqual(tool.wait_exit(30), 0)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
