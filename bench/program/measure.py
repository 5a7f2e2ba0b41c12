"""Measures the real program under Xvfb and llvmpipe with the shipped
chamber: start-up time, frame cost, and resident memory.

usage: python3 bench/program/measure.py [BUILD_DIR] [--instruments]   (default: build)

With --instruments it measures only the frame cost: every instrument off;
F2 (rooms, the ball's highlighted), F3 (contacts) and F4 (plots) on; 64 shot
balls; and both together, taking turns in one run.

Start-up: from just before exec to the return of the second buffer swap
(the first is the cleared frame the size callback presents; the second is
the first frame of the main loop, which shows the chamber), median of 15
runs. Frame cost: the time between two swaps minus the time slept in
between, i.e. one frame's update, render and swap, over about 5 seconds of
frames. Memory: VmRSS after start-up and after 20 Alt+Enter rebuilds."""

import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "e2e"))
ARGS = [a for a in sys.argv[1:] if not a.startswith("--")]
os.environ["CHAMBER_BUILD_DIR"] = os.path.abspath(ARGS[0] if ARGS else "build")

from harness import Session, chamber_files, program  # noqa: E402

BUILD = os.environ["CHAMBER_BUILD_DIR"]
TIMER = os.path.join(BUILD, "bench", "program", "libchamber_frame_timer.so")


def swaps(log):
    with open(log) as f:
        return [(float(t), float(slept)) for _, t, slept in (line.split() for line in f)]


def startup(runs=15):
    times = []
    with Session(files=chamber_files(), start=False) as s:
        for _ in range(runs):
            log = os.path.join(s.dir, ".frames")
            env = dict(s.env, LD_PRELOAD=TIMER, CHAMBER_FRAME_LOG=log, CHAMBER_EXIT_AFTER_SWAPS="2")
            began = time.time()
            subprocess.run([program()], cwd=s.dir, env=env, stdout=subprocess.DEVNULL, timeout=60)
            times.append(swaps(log)[1][0] - began)
    return times


DRAWINGS = ["F2", "F2", "F3", "F4"]  # rooms with the ball's highlighted, contacts, plots
SHOTS = ["b"] * 64


def press(s, keys):
    """Presses each key in turn; returns the time the last one went up."""
    for key in keys:
        s.hold_for([key], 0.04)
        time.sleep(0.04)
    return time.time()


def frames(seconds=5.0, keys=()):
    with Session(files=chamber_files(), start=False) as s:
        log = os.path.join(s.dir, ".frames")
        s.env.update(LD_PRELOAD=TIMER, CHAMBER_FRAME_LOG=log)
        s.start()
        s.wait_for_count("Core_MainLoop", 1, timeout=60)
        s.window()
        keys_done = press(s, keys)
        time.sleep(seconds)
        s.hold(["Escape"], lambda: not s.running(), what="the end")
        record = swaps(log)
    # Skip the first second, when shaders are compiled on first use, and the
    # frames in which the keys were being pressed.
    start = max(record[0][0] + 1.0, keys_done + 0.2)
    costs = [t1 - t0 - slept for (t0, _), (t1, slept) in zip(record, record[1:]) if t0 > start]
    return costs


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def memory(rebuilds=20):
    with Session(files=chamber_files()) as s:
        s.wait_for_count("Core_MainLoop", 1, timeout=60)
        s.window()
        time.sleep(1.0)
        before = rss_kib(s.proc.pid)
        for i in range(rebuilds):
            s.hold(["Alt_L", "Return"],
                   lambda: s.lines().count("Sandbox_LoadTextures") >= i + 2, what="a rebuild")
            s.window()
        time.sleep(1.0)
        after = rss_kib(s.proc.pid)
        s.hold(["Escape"], lambda: not s.running(), what="the end")
    return before, after


def describe(costs):
    costs = sorted(costs)
    return "median %.3f ms, 90th percentile %.3f ms over %d frames" % (
        1000 * statistics.median(costs), 1000 * costs[int(0.9 * len(costs))], len(costs))


def compare_instruments(rounds=3):
    """The three set-ups take turns, so that the load of a shared machine
    falls on all of them alike."""
    setups = [("instruments off", []), ("F2 F3 F4 on", DRAWINGS),
              ("64 shot balls", SHOTS), ("F2 F3 F4 on and 64 shot balls", DRAWINGS + SHOTS)]
    costs = {name: [] for name, _ in setups}
    for _ in range(rounds):
        for name, keys in setups:
            costs[name] += frames(keys=keys)
    off = statistics.median(costs["instruments off"])
    for name, _ in setups:
        print("frame cost, %s: %s; %.2f x off" % (name, describe(costs[name]),
                                                  statistics.median(costs[name]) / off))


def main():
    if "--instruments" in sys.argv[1:]:
        compare_instruments()
        return
    times = startup()
    print("start-up: median %.1f ms, min %.1f ms, max %.1f ms over %d runs" % (
        1000 * statistics.median(times), 1000 * min(times), 1000 * max(times), len(times)))
    costs = frames()
    costs.sort()
    print("frame cost: median %.3f ms, 90th percentile %.3f ms over %d frames" % (
        1000 * statistics.median(costs), 1000 * costs[int(0.9 * len(costs))], len(costs)))
    before, after = memory()
    print("resident: %.1f MiB after start-up, %.1f MiB after 20 rebuilds (+%.1f MiB)" % (
        before / 1024, after / 1024, (after - before) / 1024))


if __name__ == "__main__":
    main()
