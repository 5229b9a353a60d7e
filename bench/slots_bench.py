"""Reload-schedule accuracy of the real binary: five slots at five periods, the window hidden to
the notification area, against a loopback server that timestamps every request.

Prints, per slot: the requests seen against the ideal count, and the median and 99th percentile
of |gap - period| between consecutive requests. Usage: slots_bench.py BINARY [SECONDS]
"""
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import desktop  # noqa: E402

PERIODS_MS = [500, 700, 1000, 1300, 3000]


def percentile(values, q):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(q * (len(ordered) - 1))))]


def main():
    binary = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 60.0
    with desktop.Server() as server, desktop.Tool(binary) as tool:
        wid = tool.window()
        for k, period in enumerate(PERIODS_MS):
            if k:
                desktop.next_page(wid)
            desktop.start_slot(wid, server.url(f"/slot{k + 1}"), str(period))
        desktop.run("xdotool", "key", "alt+e")
        desktop.wait_for(lambda: not tool.shown(), 10, what="the window to hide")
        # The measurement starts once every slot runs and the window is hidden.
        begin = time.monotonic()
        end = begin + seconds
        time.sleep(seconds)
        print(f"five slots, window hidden, {seconds:.0f} s")
        print("slot  period  requests  ideal  median|gap-period|  p99|gap-period|")
        for k, period in enumerate(PERIODS_MS):
            hits = [t for t in server.hits(f"/slot{k + 1}") if begin <= t <= end]
            ideal = int(seconds * 1000 // period)
            errors = [abs((b - a) * 1000 - period) for a, b in zip(hits, hits[1:])]
            median = statistics.median(errors) if errors else float("nan")
            p99 = percentile(errors, 0.99) if errors else float("nan")
            print(f"{k + 1:>4}  {period:>6}  {len(hits):>8}  {ideal:>5}  {median:>16.1f} ms"
                  f"  {p99:>13.1f} ms")
        desktop.run("xdotool", "key", "alt+e")
        desktop.wait_for(tool.shown, 10, what="the window to show")
        desktop.run("wmctrl", "-c", desktop.TITLE)
        tool.wait_exit(30)


if __name__ == "__main__":
    main()
