"""The sweep of docs/python.md (the ball's restitution): on one machine
with run_many, and as chamber-sim runs under GNU parallel, give the same
lines."""
import pathlib
import subprocess
import sys

from conftest import CHAMBER_SIM, CTR

EXAMPLES = pathlib.Path(__file__).parents[2] / "docs" / "examples"
sys.path.insert(0, str(EXAMPLES))
import sweep  # noqa: E402


def test_gnu_parallel_sweep_gives_the_lines_of_run_many(tmp_path):
    tasks, steps = 12, 300
    done = subprocess.run([str(EXAMPLES / "sweep_parallel.sh"), str(CHAMBER_SIM), str(CTR),
                           str(tasks), str(steps)], capture_output=True, text=True, cwd=tmp_path,
                          timeout=300)
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    assert lines == sweep.sweep(str(CTR), tasks, steps)
    # The values reach the runs: every restitution from 0.015 on ends the
    # ball elsewhere (0 and 0.015 end it in the same place).
    ends = [line.split(",")[2] for line in lines]
    assert len(set(ends[1:])) == tasks - 1
