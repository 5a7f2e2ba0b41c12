"""Speed of the Python module against chamber-sim, for BENCHMARKS.md.

    PYTHONPATH=build/python /usr/bin/python3 bench/python/measure.py build

The machine is shared: every figure is the least of several repetitions.
"""
import os
import subprocess
import sys
import time

import numpy as np

import chamber

BUILD = sys.argv[1] if len(sys.argv) > 1 else "build"
CTR = os.path.join(BUILD, "data", "0.ctr")
SIM = os.path.join(BUILD, "tools", "chamber-sim", "chamber-sim")
REPEAT = int(os.environ.get("REPEAT", "15"))


def least(function, repeat=REPEAT):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        function()
        best = min(best, time.perf_counter() - start)
    return best


def balls(count):
    """Balls on a grid over the hall's floor, as (position, velocity, step)."""
    side = int(np.ceil(np.sqrt(count)))
    return [((-1.8 + 3.6 * (i % side) / side, 0.3, -1.8 + 3.6 * (i // side) / side), (0, 0, 0), 1)
            for i in range(count)]


def world_with(extra):
    world = chamber.World(CTR)
    for position, velocity, _ in extra:
        world.add_ball(position, velocity)
    return world


def sim_args(steps, extra):
    args = [SIM, "--ctr", CTR, "--steps", str(steps), "--every", str(max(steps, 1))]
    for position, velocity, step in extra:
        args += ["--body", ",".join("%.9g" % v for v in position + velocity) + "@%d" % step]
    return args


def sim_median(steps, extra):
    """chamber-sim's own --stats median of one step, least of the runs."""
    best = float("inf")
    for _ in range(max(REPEAT // 3, 1)):
        err = subprocess.run(sim_args(steps, extra) + ["--stats"], check=True, text=True,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE).stderr
        line = next(l for l in err.splitlines() if l.startswith("stats: step median"))
        best = min(best, float(line.split()[3]) * 1e-6)
    return best


SETTLE = 200  # steps until the balls rest on the floor


def step_cost(extra, sim_steps, chunk):
    """chamber-sim's step as its --stats median (each step timed alone, so
    a step the busy machine interrupts does not move it; it includes two
    clock readings, some 25 ns), and the module's: world.step(chunk) with
    chunks of about 3 ms, which the machine rarely interrupts, least and
    median per step over many chunks."""
    world = world_with(extra)
    world.step(SETTLE)
    times = []
    for _ in range(REPEAT * 4):
        start = time.perf_counter()
        world.step(chunk)
        times.append((time.perf_counter() - start) / chunk)
    return sim_median(SETTLE + sim_steps, extra), min(times), float(np.median(times))


def main():
    print("| Bodies | chamber-sim --stats median | world.step(N) per step, least | median "
          "| least against chamber-sim |")
    print("|---:|---:|---:|---:|---:|")
    for extra, sim_steps, chunk in (([], 100000, 10000), (balls(63), 10000, 100)):
        sim, least_time, median = step_cost(extra, sim_steps, chunk)
        print("| %d | %.3f µs | %.3f µs (N = %d) | %.3f µs | %+.1f %% |" % (
            1 + len(extra), sim * 1e6, least_time * 1e6, chunk, median * 1e6,
            100 * (least_time - sim) / sim))

    world = chamber.World(CTR)
    world.step(200)  # resting
    n = 10000
    one_call = least(lambda: world.step(n))
    loop = least(lambda: [world.step(1) for _ in range(n)])
    print("\nstep(1) in a Python loop: %.3f µs per call, step(%d): %.3f µs per step: "
          "%.3f µs added per call" % (loop / n * 1e6, n, one_call / n * 1e6, (loop - one_call) / n * 1e6))

    small, large = world_with([]), world_with(balls(9999))
    for w in (small, large):
        w.step(1)
    view_small = least(lambda: small.positions, 2000)
    view_large = least(lambda: large.positions, 2000)
    copy_large = least(lambda: np.array(large.positions), 2000)
    assert np.shares_memory(large.positions, large.positions)
    print("\npositions of 1 body: %.2f µs; of 10,000 bodies: %.2f µs (a view; the same bodies "
          "copied with np.array: %.1f µs)" % (view_small * 1e6, view_large * 1e6, copy_large * 1e6))

    worlds = [world_with(balls(i % 8)) for i in range(64)]
    steps = 2000
    for threads in (1, 2):
        best_wall, cpu = float("inf"), 0.0
        for _ in range(5):
            t0, c0 = time.perf_counter(), time.process_time()
            chamber.run_many(worlds, steps, threads=threads)
            wall, used = time.perf_counter() - t0, time.process_time() - c0
            if wall < best_wall:
                best_wall, cpu = wall, used
        print("\nrun_many, 64 worlds of 1 to 8 balls, %d steps each, %d thread(s): %.3f s "
              "(least of 5), %.3f s of processor time in it" % (steps, threads, best_wall, cpu))
    print("load average while measuring: %.1f on %d cores" % (os.getloadavg()[0], os.cpu_count()))


if __name__ == "__main__":
    main()
