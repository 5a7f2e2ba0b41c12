"""A sweep of one setting over many values on one machine: the ball's
restitution 0, 0.015, 0.03, ... (task N: 0.015 N), the ball launched the same
way every time, every value a world of its own, all stepped at once by
chamber.run_many on every core. Prints one line per value:
task,value,x,y,z (where the ball is after the last step), the lines
sweep_parallel.sh prints for the same tasks.

    PYTHONPATH=build/python /usr/bin/python3 docs/examples/sweep.py build/run/0.ctr 64 600
"""
import sys

import chamber


# Every run starts the ball so: east and a little south, units per step.
VELOCITY = (0.01, 0, 0.004)


def value(task):
    """The value of a task number: the same text the shell scripts make,
    given as text so that it is read exactly as chamber-sim's --set reads it."""
    return "%.9g" % (task * 0.015)


def world(ctr, task):
    w = chamber.World(ctr, velocity=VELOCITY)
    w.set("restitution", value(task))
    return w


def sweep(ctr, tasks, steps):
    worlds = [world(ctr, t) for t in range(tasks)]
    chamber.run_many(worlds, steps)
    return ["%d,%s,%s" % (t, value(t), ",".join("%.9g" % c for c in w.positions[0].tolist()))
            for t, w in enumerate(worlds)]


if __name__ == "__main__":
    ctr, tasks, steps = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    print("\n".join(sweep(ctr, tasks, steps)))
