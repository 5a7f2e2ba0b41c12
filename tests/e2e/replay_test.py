"""End-to-end tests of rewind and replay: a session saved with F8 is
reproduced byte for byte by chamber-sim and played back in the window; a bad
replay file is refused before any window opens."""

import os
import struct
import subprocess
import time

from harness import (Session, build_dir, chamber_files, expect, expect_equal, overlay_frames,
                     program, run_test, trace_command)


def chamber_sim():
    return os.path.join(build_dir(), "tools", "chamber-sim", "chamber-sim")


def tap(s, key):
    """Presses a key (xdotool name) long enough for a few frames to see it."""
    s.window()
    s.xdotool("keydown", key)
    time.sleep(0.2)
    s.xdotool("keyup", key)
    time.sleep(0.1)


def as_float(text):
    """A CSV number as the single-precision value it stands for."""
    return struct.unpack("f", struct.pack("f", float(text)))[0]


def record_session(s):
    """Keys held in turns, the pointer moved, two balls shot, one rewind
    resumed, then F8; returns the base name the program saved under."""
    s.wait_for_count("Sandbox_Initialize", 1)
    s.window()
    s.hold_for(["Up"], 1.0)
    s.xdotool("mousemove_relative", "--", "40", "0")
    s.hold_for(["Up", "Left"], 0.8)
    tap(s, "b")
    s.hold_for(["Right"], 0.8)
    tap(s, "b")
    s.hold_for(["Up"], 0.5)
    tap(s, "p")
    s.xdotool("keydown", "Shift_L")
    tap(s, "comma")
    tap(s, "comma")
    s.xdotool("keyup", "Shift_L")
    tap(s, "period")
    tap(s, "p")
    s.xdotool("mousemove_relative", "--", "-25", "10")
    s.hold_for(["Down"], 0.8)
    tap(s, "p")
    tap(s, "F8")
    line = s.wait_until(lambda: [l for l in s.lines() if l.startswith("Replay saved: ")],
                        what="the replay saved")[0]
    expect_equal(line, "Replay saved: replay-0001.txt and replay-0001.csv", "console line")
    return "replay-0001"


def test_session_reproduced_and_played_back():
    with Session(chamber_files()) as s:
        base = record_session(s)
        s.hold(["Escape"], lambda: not s.running(), what="the program to end")
        expect_equal(s.wait_exit(), 0, "exit code")
        options = s.read(base + ".txt")
        csv = s.read(base + ".csv")
        expect(options.count("--body ") == 2, "two shot balls in\n" + options)
        expect(options.count("--push ") >= 4, "pushes in\n" + options)
        steps = int([l for l in options.splitlines() if l.startswith("--steps ")][0].split()[1])
        rows = csv.splitlines()
        expect(len(rows) > steps, "rows for every step")

        # chamber-sim on the saved options prints the saved CSV, byte for byte.
        sim = subprocess.run([chamber_sim(), "--args", base + ".txt"], cwd=s.dir, timeout=60,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        expect_equal(sim.returncode, 0, "chamber-sim exit code (%s)" % sim.stderr.decode())
        expect(sim.stdout.decode("latin-1") == csv, "chamber-sim printed the saved CSV")

        # Played back in the window it ends paused on the CSV's last row.
        trace = os.path.join(s.dir, "replay.trace")
        s.start(trace_command(trace) + ["--replay", base + ".txt"])
        s.wait_until(lambda: "Replay ended at step %d" % steps in s.lines(), timeout=90,
                     what="the end of the replay")
        tap(s, "Up")  # the arrow keys do nothing in playback
        tap(s, "b")
        time.sleep(0.5)
        s.hold(["Escape"], lambda: not s.running(), timeout=60, what="the playback to end")
        expect_equal(s.wait_exit(30), 0, "exit code of the playback")
        last = overlay_frames(trace)[-1]
        ball = [r.split(",") for r in rows[1:] if r.startswith("%d,0," % steps)][0]
        x, y, z = (as_float(v) for v in ball[2:5])
        position = "Position %g, %g, %g" % (x, y, z)
        expect_equal(last[last.index("Volume [0]") + 1], position, "the ball's last position")
        expect("Volume [2]" in last and "Volume [3]" not in last, "the two balls, no more")
        expect("PAUSED" in last, "paused at the end: %r" % last)
        expect("Step %d of %d (replay)" % (steps, steps) in last, "the step line: %r" % last)


def rows_until(csv, step):
    """The CSV's header and its rows of the steps up to step."""
    lines = csv.splitlines(True)
    return lines[:1] + [l for l in lines[1:] if int(l.split(",", 1)[0]) <= step]


def play(s, text, steps, command=None):
    """Plays the replay file of text in the session until it ends at steps."""
    with open(s.path("played.txt"), "w") as f:
        f.write(text)
    s.start((command or [program()]) + ["--replay", "played.txt"])
    s.wait_until(lambda: "Replay ended at step %d" % steps in s.lines(), timeout=90,
                 what="the end of the replay")


def save_and_check(s, played):
    """F8 while paused, then the saved session checked against chamber-sim:
    byte for byte, and the played file's rows up to the take-over first.
    Returns the saved options' text and the step taken over at."""
    tap(s, "F8")
    s.wait_until(lambda: "Replay saved: replay-0001.txt and replay-0001.csv" in s.lines(),
                 what="the replay saved")
    taken = [l for l in s.lines() if l.startswith("Replay taken over at step ")]
    expect_equal(len(taken), 1, "take-over lines")
    step = int(taken[0].split()[-1])
    s.hold(["Escape"], lambda: not s.running(), timeout=60, what="the program to end")
    expect_equal(s.wait_exit(30), 0, "exit code")
    options, csv = s.read("replay-0001.txt"), s.read("replay-0001.csv")
    sim = subprocess.run([chamber_sim(), "--args", "replay-0001.txt"], cwd=s.dir, timeout=60,
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    expect_equal(sim.returncode, 0, "chamber-sim exit code (%s)" % sim.stderr.decode())
    expect(sim.stdout.decode("latin-1") == csv, "chamber-sim printed the saved CSV")
    original = subprocess.run([chamber_sim(), "--args", played], cwd=s.dir, timeout=60,
                              check=True, stdout=subprocess.PIPE).stdout.decode("latin-1")
    expect(rows_until(csv, step) == rows_until(original, step),
           "the replay's steps up to %d come first" % step)
    return options, step


def saved_steps(options):
    return int([l for l in options.splitlines() if l.startswith("--steps ")][0].split()[1])


def test_end_of_replay_goes_on_live():
    played = ("--ctr 0.ctr\n--steps 60\n--push 0,0,-0.052@1:40\n"
              "--body 0.1,0.3,-0.2,0,0,0@20\n")
    with Session(chamber_files(), start=False) as s:
        trace = os.path.join(s.dir, "replay.trace")
        play(s, played, 60, trace_command(trace))
        # P goes on live: the arrow keys push and B shoots again.
        tap(s, "p")
        s.hold_for(["Left"], 0.6)
        tap(s, "b")
        time.sleep(0.3)
        tap(s, "p")
        time.sleep(0.5)
        options, step = save_and_check(s, "played.txt")
        last = overlay_frames(trace)[-1]
    expect_equal(step, 60, "taken over at the end")
    expect(saved_steps(options) > 60, "live steps saved:\n" + options)
    expect_equal(options.count("--body "), 2, "the file's ball and the shot one")
    live = [l for l in options.splitlines()
            if l.startswith("--push ") and int(l.split("@")[1].split(":")[1]) > 60]
    expect(live, "pushes after the end:\n" + options)
    steps_lines = [l for l in last if l.startswith("Step ")]
    expect_equal(steps_lines, ["Step %d" % saved_steps(options)], "the step line, live")
    expect("Volume [2]" in last, "the shot ball: %r" % last)


def test_take_over_at_a_rewound_step():
    played = ("--ctr 0.ctr\n--steps 90\n--push 0,0,-0.052@1:90\n"
              "--body 0.1,0.3,-0.2,0,0,0@70\n")
    with Session(chamber_files(), start=False) as s:
        play(s, played, 90)
        s.xdotool("keydown", "Shift_L")
        for _ in range(4):
            tap(s, "comma")
        s.xdotool("keyup", "Shift_L")
        tap(s, "t")
        s.wait_until(lambda: "Replay taken over at step 50" in s.lines(), what="the take-over")
        tap(s, "p")
        s.hold_for(["Right"], 0.5)
        tap(s, "p")
        options, step = save_and_check(s, "played.txt")
    expect_equal(step, 50, "taken over at the step in view")
    expect(saved_steps(options) > 50, "live steps saved:\n" + options)
    # The file's push after step 50 and its ball at step 70 are dropped.
    expect("--body " not in options, "no ball:\n" + options)
    expect("--push 0,0,-0.0520000011@1:50\n" in options, "the file's push up to 50:\n" + options)


def test_bad_replay_refused_before_any_window():
    files = chamber_files()
    files["bad.txt"] = "--steps 10\n# a comment\n--push 1,0,0@5:2\n"
    files["nochamber.txt"] = "--ctr gone.ctr\n--steps 3\n"
    with Session(files, start=False) as s:
        for name, says in (("bad.txt", "chamber: bad.txt:3: bad value '1,0,0@5:2' for --push"),
                           ("nochamber.txt", "chamber: nochamber.txt:1: cannot open container "
                                             "file 'gone.ctr'"),
                           ("missing.txt", "chamber: cannot open options file 'missing.txt'")):
            run = subprocess.run([program(), "--replay", name], cwd=s.dir, env=s.env, timeout=30,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            expect_equal(run.returncode, 2, "exit code for " + name)
            expect_equal(run.stdout, b"", "standard output for " + name)
            err = run.stderr.decode()
            expect(err.startswith(says) and err.count("\n") == 1, "the message: %r" % err)


if __name__ == "__main__":
    run_test("replay_test.py", globals())
