"""Runs the tool under Xvfb: slot 1 reloads a loopback page every second for a few seconds."""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import desktop  # noqa: E402

binary, out = sys.argv[1], sys.argv[2]
page = b"<html><body style='font:24px sans-serif'><h1>Pelorin demo</h1>reloaded by slot 1</body></html>"
with desktop.Server({"/demo": (200, page, "text/html")}) as server, desktop.Tool(binary) as tool:
    wid = tool.window()
    clicked = desktop.start_slot(wid, server.url("/demo"), "1000")
    time.sleep(6)
    shot = desktop.screenshot(os.path.join(out, "demo.png"))
    seen = len(server.hits("/demo"))
    print(f"slot 1 reloaded {server.url('/demo')} {seen} times in "
          f"{time.monotonic() - clicked:.1f} s at an interval of 1000 ms")
    print(f"screenshot: {shot}")
    desktop.run("wmctrl", "-c", desktop.TITLE)
    print(f"the tool ended with exit code {tool.wait_exit(30)}")
