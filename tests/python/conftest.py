"""Shared helpers of the Python module's tests: the build's chamber and
chamber-sim, and chamber-sim's CSV written from the module's rows."""
import os
import pathlib
import random
import subprocess

import pytest

BUILD = pathlib.Path(os.environ.get("CHAMBER_BUILD", pathlib.Path(__file__).parents[2] / "build"))
CTR = BUILD / "data" / "0.ctr"
# The shipped chamber's description, which the build turns into CTR.
DESCRIPTION = pathlib.Path(__file__).parents[2] / "data" / "chamber.txt"
CHAMBER_SIM = BUILD / "tools" / "chamber-sim" / "chamber-sim"
CHAMBER_BUILD = BUILD / "tools" / "chamber-build" / "chamber-build"


@pytest.fixture
def ctr():
    return str(CTR)


def chamber_sim(args, cwd=None):
    """chamber-sim's CSV for the arguments; fails the test on a non-zero exit."""
    done = subprocess.run([str(CHAMBER_SIM), *args], capture_output=True, text=True, cwd=cwd,
                          timeout=120)
    assert done.returncode == 0, done.stderr
    return done.stdout


def chamber_sim_error(args, cwd=None):
    """chamber-sim's one-line message (without "chamber-sim: ") for bad arguments."""
    done = subprocess.run([str(CHAMBER_SIM), *args], capture_output=True, text=True, cwd=cwd,
                          timeout=60)
    assert done.returncode == 2, done.stdout
    line = done.stderr.splitlines()[0]
    assert line.startswith("chamber-sim: ")
    return line[len("chamber-sim: "):]


def csv_text(rows, rooms):
    """The rows as chamber-sim prints them (%.9g of every float)."""
    out = ["step,body,x,y,z,vx,vy,vz,gx,gy,gz,containers\n"]
    for row, row_rooms in zip(rows.tolist(), rooms):
        out.append("%d,%d," % row[:2] + ",".join("%.9g" % v for v in row[2:]) + "," +
                   " ".join(str(k) for k in row_rooms) + "\n")
    return "".join(out)


def g9(values):
    return ",".join("%.9g" % v for v in values)


def random_session(seed, steps=400):
    """Random start, velocity, pushes and bodies near the ball's start, as
    (options for chamber-sim, keyword arguments for simulate)."""
    rng = random.Random(seed)

    def vector(scale, centre=(0, 0, 0)):
        # Floats that %.9g writes exactly, so both sides get the same bits.
        return tuple(float("%.9g" % (c + rng.uniform(-scale, scale))) for c in centre)

    start = vector(0.3, (0, 0.5, 0))
    velocity = vector(0.02)
    pushes, bodies = [], []
    for _ in range(rng.randrange(0, 6)):
        force = vector(0.05)
        if rng.random() < 0.3:
            pushes.append((force, None, None))
        else:
            first = rng.randrange(1, steps + 1)
            pushes.append((force, first, rng.randrange(first, steps + 1)))
    for _ in range(rng.randrange(0, 6)):
        bodies.append((vector(0.3, (0, 0.4, 0)), vector(0.02), rng.randrange(1, steps + 1)))
    args = ["--steps", str(steps), "--start", g9(start), "--velocity", g9(velocity)]
    for force, first, last in pushes:
        args += ["--push", g9(force) + ("" if first is None else "@%d:%d" % (first, last))]
    for position, v, step in bodies:
        args += ["--body", g9(position + v) + "@%d" % step]
    kwargs = dict(steps=steps, start=start, velocity=velocity, pushes=pushes, bodies=bodies)
    return args, kwargs
