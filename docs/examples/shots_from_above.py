"""Balls shot across the shipped chamber, seen from above and from the side.

Sixteen worlds, each with the ball shot from the middle of the hall in its
own direction at 0.035 units per step, stepped together with
chamber.run_many; their tracks are drawn from above (x, z) and from the
south (x, y). The balls shot towards the -z wall are caught by the draft
that runs along it and blown east, until they fall onto the east wing's far
wall, where "down" is +x.

    PYTHONPATH=build/python /usr/bin/python3 docs/examples/shots_from_above.py \\
        build/run/0.ctr docs/python-shots.png
"""
import math
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import chamber  # noqa: E402

STEPS = 1200
SHOTS = 16
SPEED = 0.035  # units per step


def main(ctr, out):
    worlds = []
    for k in range(SHOTS):
        angle = 2 * math.pi * k / SHOTS
        velocity = (SPEED * math.cos(angle), 0.004, SPEED * math.sin(angle))
        worlds.append(chamber.World(ctr, start=(0, 0.5, 0), velocity=velocity))
    # Each world's ball, one row per step: the arrays view the worlds, so
    # a copy is taken after every step.
    tracks = np.empty((STEPS + 1, SHOTS, 3), np.float32)
    tracks[0] = [w.positions[0] for w in worlds]
    for step in range(1, STEPS + 1):
        chamber.run_many(worlds, 1)
        tracks[step] = [w.positions[0] for w in worlds]

    colours = plt.cm.twilight(np.linspace(0, 1, SHOTS, endpoint=False))
    fig, (top, side) = plt.subplots(1, 2, figsize=(12, 4.2), gridspec_kw={"width_ratios": [1, 1]})
    for room, (x0, x1), name in [("hall", (-2, 2), "hall"), ("east", (2, 6), "east wing (+x)"),
                                 ("west", (-6, -2), "west hall")]:
        top.add_patch(plt.Rectangle((x0, -2), x1 - x0, 4, fill=False, lw=1, ec="0.6", ls="--"))
        top.text((x0 + x1) / 2, 2.15, name, ha="center", va="bottom", color="0.4", fontsize=9)
    for k in range(SHOTS):
        top.plot(tracks[:, k, 0], tracks[:, k, 2], color=colours[k], lw=1.6)
        top.plot(tracks[-1, k, 0], tracks[-1, k, 2], "o", color=colours[k], ms=4)
        side.plot(tracks[:, k, 0], tracks[:, k, 1], color=colours[k], lw=1.2)
        side.plot(tracks[-1, k, 0], tracks[-1, k, 1], "o", color=colours[k], ms=4)
    top.plot(0, 0, "k*", ms=10, label="start (0, 0.5, 0)")
    top.set(xlabel="x", ylabel="z", title="Sixteen shots seen from above", aspect="equal",
            xlim=(-6.3, 6.3), ylim=(2.8, -2.8))
    top.legend(loc="lower left", fontsize=8)
    for x0, x1 in [(-6, -2), (-2, 2), (2, 6)]:
        side.add_patch(plt.Rectangle((x0, 0), x1 - x0, 3, fill=False, lw=1, ec="0.6", ls="--"))
    side.set(xlabel="x", ylabel="y", title="The same seen from the south", aspect="equal",
             xlim=(-6.3, 6.3), ylim=(-0.2, 3.2))
    side.grid(alpha=0.3)
    fig.tight_layout()
    fig.savefig(out, dpi=90)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "0.ctr",
         sys.argv[2] if len(sys.argv) > 2 else "shots.png")
