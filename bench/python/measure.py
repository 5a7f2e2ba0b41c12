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


def sim_seconds(steps, extra):
    args = sim_args(steps, extra)
    return least(lambda: subprocess.run(args, check=True, stdout=subprocess.DEVNULL))


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


def step_cost(extra, sim_steps):
    # chamber-sim's step: a long run less a run of the first steps (start-up,
    # loading, the fall), per step; long enough that the start-up's noise
    # is small beside it.
    sim = (sim_seconds(SETTLE + sim_steps, extra) - sim_seconds(SETTLE, extra)) / sim_steps
    world = world_with(extra)
    world.step(SETTLE)
    module = least(lambda: world.step(10000)) / 10000
    return sim, sim_median(SETTLE + sim_steps, extra), module


def main():
    print("| Bodies | chamber-sim, per step | its --stats median | world.step(10000), per step "
          "| difference |")
    print("|---:|---:|---:|---:|---:|")
    for extra, sim_steps in (([], 400000), (balls(63), 40000)):
        sim, median, module = step_cost(extra, sim_steps)
        print("| %d | %.3f µs | %.3f µs | %.3f µs | %+.1f %% |" % (
            1 + len(extra), sim * 1e6, median * 1e6, module * 1e6, 100 * (module - sim) / sim))

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
    one = least(lambda: chamber.run_many(worlds, steps, threads=1), 5)
    two = least(lambda: chamber.run_many(worlds, steps, threads=2), 5)
    print("\nrun_many, 64 worlds of 1 to 8 balls, %d steps each: 1 thread %.3f s, 2 threads "
          "%.3f s: %.2f times as fast" % (steps, one, two, one / two))


if __name__ == "__main__":
    main()
