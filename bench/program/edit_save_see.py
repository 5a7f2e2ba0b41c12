"""Times the edit-save-see loop: from saving a chamber description to the
first frame of the new chamber in the window, with `chamber-build --watch`
building into the program's directory. Beside it, the loop it replaces:
running chamber-build by hand and starting the program again, up to its
first frame of the chamber (no human time counted in either).

usage: python3 bench/program/edit_save_see.py [BUILD_DIR] [ROUNDS]   (default: build 12)

The description is the shipped one (data/chamber.txt), saved in place in
turns with and without one more room far away, so every save changes all
three outputs. Each save comes at a random moment between 0.6 and 1.4 s
after the previous reload, so the saves fall anywhere between the watchers'
looks at the disk.

The first frame of the new chamber is the first buffer swap (timed inside
the program by bench/program/frame_timer.c) after the console shows
"Reloaded 0.ctr: ..."; the console is read every 5 ms, so the figure may
include up to one frame and 5 ms more than the true one, never less."""

import os
import random
import signal
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..", "..")
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
ARGS = sys.argv[1:]
os.environ["CHAMBER_BUILD_DIR"] = os.path.abspath(ARGS[0] if ARGS else "build")
ROUNDS = int(ARGS[1]) if len(ARGS) > 1 else 12

from harness import Session, chamber_files, program  # noqa: E402

BUILD = os.environ["CHAMBER_BUILD_DIR"]
TIMER = os.path.join(BUILD, "bench", "program", "libchamber_frame_timer.so")
BUILDER = os.path.join(BUILD, "tools", "chamber-build", "chamber-build")
EXTRA_ROOM = "\nroom far\n  gravity 0 -1 0\n  box 100 0 100  102 2 102\nend\n"


def swaps(log):
    with open(log) as f:
        return [float(t) for _, t, _ in (line.split() for line in f)]


def wait_for(condition, timeout=30, interval=0.005):
    deadline = time.time() + timeout
    while time.time() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(interval)
    raise RuntimeError("timed out")


def builds(path):
    with open(path, "rb") as f:
        return f.read().count(b"chamber-build: ")


def live_loop(shipped):
    times, built = [], []
    with Session(files={"vera.ttf": chamber_files()["vera.ttf"]}, start=False) as s:
        desc = os.path.join(s.dir, "..", os.path.basename(s.dir) + "-chamber.txt")
        with open(desc, "w") as f:
            f.write(shipped)
        built_log = open(desc + ".log", "wb")
        build = subprocess.Popen([BUILDER, "--watch", desc, s.dir], stdout=built_log,
                                 stderr=subprocess.STDOUT, start_new_session=True)
        try:
            wait_for(lambda: os.path.exists(os.path.join(s.dir, "0.ctr")))
            log = os.path.join(s.dir, ".frames")
            s.env.update(LD_PRELOAD=TIMER, CHAMBER_FRAME_LOG=log)
            s.start()
            s.wait_for_count("Core_MainLoop", 1, timeout=60)
            for round in range(ROUNDS):
                time.sleep(random.uniform(0.6, 1.4))
                before = sum(1 for l in s.lines() if l.startswith("Reloaded "))
                builds_before = builds(desc + ".log")
                saved = time.time()
                with open(desc, "w") as f:  # in place, as many editors save
                    f.write(shipped + (EXTRA_ROOM if round % 2 == 0 else ""))
                wait_for(lambda: builds(desc + ".log") > builds_before)
                built.append(time.time() - saved)
                wait_for(lambda: sum(1 for l in s.lines() if l.startswith("Reloaded ")) > before)
                seen = time.time()
                first = wait_for(lambda: [t for t in swaps(log) if t > seen])[0]
                times.append(first - saved)
            s.hold(["Escape"], lambda: not s.running(), what="the end")
        finally:
            build.send_signal(signal.SIGINT)
            build.wait(20)
            built_log.close()
            os.remove(desc + ".log")
            os.remove(desc)
    return times, built


def restart_loop(shipped, runs):
    """chamber-build by hand, then the program started again: from the
    build's start to the program's second swap (its first frame of the
    chamber)."""
    times = []
    with Session(files={"vera.ttf": chamber_files()["vera.ttf"]}, start=False) as s:
        desc = os.path.join(s.dir, "chamber.txt")
        with open(desc, "w") as f:
            f.write(shipped)
        for _ in range(runs):
            log = os.path.join(s.dir, ".frames")
            env = dict(s.env, LD_PRELOAD=TIMER, CHAMBER_FRAME_LOG=log, CHAMBER_EXIT_AFTER_SWAPS="2")
            began = time.time()
            subprocess.run([BUILDER, desc, s.dir], check=True, stdout=subprocess.DEVNULL,
                           timeout=60)
            subprocess.run([program()], cwd=s.dir, env=env, stdout=subprocess.DEVNULL, timeout=60)
            times.append(swaps(log)[1] - began)
    return times


def describe(name, times):
    ms = sorted(1000 * t for t in times)
    print("%-40s median %6.0f ms   min %6.0f   max %6.0f   (%d runs)"
          % (name, statistics.median(ms), ms[0], ms[-1], len(ms)))


def main():
    with open(os.path.join(ROOT, "data", "chamber.txt")) as f:
        shipped = f.read()
    times, built = live_loop(shipped)
    describe("save -> chamber-build's line", built)
    describe("save -> first frame of the new chamber", times)
    describe("chamber-build + restart -> first frame", restart_loop(shipped, ROUNDS))


if __name__ == "__main__":
    main()
