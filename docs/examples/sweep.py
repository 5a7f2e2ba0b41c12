"""A sweep of one setting over many values on one machine: the ball
launched east from its start at speeds 0, 0.0005, 0.001, ... units per
step, every value a world of its own, all stepped at once by
chamber.run_many on every core. Prints one line per value:
task,value,x,y,z (where the ball is after the last step), the lines
sweep_parallel.sh prints for the same tasks.

    PYTHONPATH=build/python /usr/bin/python3 docs/examples/sweep.py build/run/0.ctr 64 600
"""
import sys

import chamber


def value(task):
    """The value of a task number: the same text the shell scripts make."""
    return float("%.9g" % (task * 0.0005))


def sweep(ctr, tasks, steps):
    worlds = [chamber.World(ctr, velocity=(value(t), 0, 0)) for t in range(tasks)]
    chamber.run_many(worlds, steps)
    return ["%d,%.9g,%s" % (t, value(t), ",".join("%.9g" % c for c in w.positions[0].tolist()))
            for t, w in enumerate(worlds)]


if __name__ == "__main__":
    ctr, tasks, steps = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    print("\n".join(sweep(ctr, tasks, steps)))
