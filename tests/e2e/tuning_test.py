"""End-to-end test of the physics settings in the real program: "physics.txt"
at start-up, the settings panel's keys and F6, a change of the file while the
program runs, and a tuned session saved with F8 that chamber-sim reproduces
byte for byte."""

import os
import subprocess
import time

from harness import (Session, build_dir, chamber_files, expect, expect_equal, overlay_frames,
                     run_test, trace_command)


def chamber_sim():
    return os.path.join(build_dir(), "tools", "chamber-sim", "chamber-sim")


def tap(s, key):
    """Presses a key (xdotool name) long enough for a few frames to see it."""
    s.window()
    s.xdotool("keydown", key)
    time.sleep(0.2)
    s.xdotool("keyup", key)
    time.sleep(0.1)


def wait_line(s, line, timeout=30):
    s.wait_until(lambda: line in s.lines(), timeout, repr(line))


def test_panel_file_and_replay():
    files = chamber_files()
    files["physics.txt"] = "# bouncier\nrestitution 0.5\n"
    with Session(files, start=False) as s:
        trace = os.path.join(s.dir, "tuning.trace")
        s.start(trace_command(trace))
        wait_line(s, "physics.txt: restitution 0.5 (was 0.175)")
        s.wait_for_count("Sandbox_Initialize", 1)
        time.sleep(1.0)

        # The panel: gravity up by 10 %, saved with F6.
        tap(s, "F5")
        tap(s, "equal")
        tap(s, "F6")
        wait_line(s, "physics.txt written")
        s.wait_for_file("physics.txt", "# Physics settings of the chamber: NAME VALUE, one a "
                        "line.\ngravity 0.022\nrestitution 0.5\n")
        tap(s, "F5")
        s.hold_for(["Up"], 0.5)

        # Rewritten while the program runs (by rename, as editors save).
        temporary = s.path("physics.txt.new")
        with open(temporary, "w") as f:
            f.write("restitution 0.3\n")
        os.rename(temporary, s.path("physics.txt"))
        wait_line(s, "physics.txt: gravity 0.02 (was 0.022)")
        wait_line(s, "physics.txt: restitution 0.3 (was 0.5)")
        s.hold_for(["Left"], 0.5)

        tap(s, "p")
        tap(s, "F8")
        wait_line(s, "Replay saved: replay-0001.txt and replay-0001.csv")
        time.sleep(1.0)
        s.hold(["Escape"], lambda: not s.running(), timeout=60, what="the program to end")
        expect_equal(s.wait_exit(30), 0, "exit code")

        options = s.read("replay-0001.txt")
        expect("--set restitution=0.5\n" in options, "the start's setting in\n" + options)
        expect("--set gravity=0.0219999999@" in options, "the panel's change in\n" + options)
        expect("--set restitution=0.300000012@" in options, "the file's change in\n" + options)
        sim = subprocess.run([chamber_sim(), "--args", "replay-0001.txt"], cwd=s.dir, timeout=60,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        expect_equal(sim.returncode, 0, "chamber-sim exit code (%s)" % sim.stderr.decode())
        expect(sim.stdout.decode("latin-1") == s.read("replay-0001.csv"),
               "chamber-sim printed the saved CSV")

        frames = overlay_frames(trace)
        expect(any("> gravity 0.022 *" in f for f in frames), "the panel with gravity raised")
        expect(any("  restitution 0.5 *" in f for f in frames), "the panel marks the file's value")
        last = frames[-1]
        expect("Physics: restitution 0.3" in last, "the tuned line, panel hidden: %r" % last)
        expect("Debug Data" in last, "the debug panel keeps its lines: %r" % last)


if __name__ == "__main__":
    run_test(__file__, globals())
