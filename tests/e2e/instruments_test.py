"""End-to-end tests of the testbed instruments: the real program with the
shipped chamber under Xvfb, its GL calls recorded by apitrace, driven with
xdotool. Usage: instruments_test.py NAME (one test per run)."""

import os
import re
import struct
import subprocess
import time

from harness import (Session, build_dir, chamber_files, expect, gl_calls, overlay_frames,
                     pixels, run_test, trace_command)

NUMBER = r"-?\d+(?:\.\d+)?(?:e[+-]\d+)?"
POSITION = re.compile(r"Position (%s), (%s), (%s)" % (NUMBER, NUMBER, NUMBER))


def traced_session(seconds_before=1.0):
    s = Session(files=chamber_files(), start=False)
    s.trace = os.path.join(s.dir, ".trace")
    s.start(trace_command(s.trace))
    s.wait_for_count("Core_MainLoop", 1, timeout=60)
    s.wid = s.window()
    time.sleep(seconds_before)
    return s


def quit_program(s):
    s.hold(["Escape"], lambda: not s.running(), timeout=60, what="the program to end")
    expect(s.wait_exit(60) == 0, "exit code 0")


def tap(s, key):
    """Presses and releases a key, held long enough for a frame to see it."""
    s.hold_for([key], 0.25)


def ball_position(frame):
    """The "Position " line of the ball (entry 0) in the debug panel."""
    for i, line in enumerate(frame):
        if line == "Volume [0]":
            return tuple(float(v) for v in POSITION.fullmatch(frame[i + 1]).groups())
    raise AssertionError("no ball in %r" % frame)


def runs(values):
    """Consecutive runs of equal values: [(value, length), ...]."""
    out = []
    for v in values:
        if out and out[-1][0] == v:
            out[-1][1] += 1
        else:
            out.append([v, 1])
    return out


def test_pause_and_step():
    with traced_session() as s:
        s.xdotool("keydown", "Up")
        try:
            tap(s, "p")
            time.sleep(1.2)
            for _ in range(3):
                tap(s, "o")
                time.sleep(0.4)
        finally:
            s.xdotool("keyup", "Up")
        quit_program(s)
        frames = [f for f in overlay_frames(s.trace) if f]
    paused = [f for f in frames if "PAUSED" in f]
    expect(paused, "a PAUSED line outside the panel")
    # The panel keeps its own lines: PAUSED is drawn after it.
    expect(all(f.index("PAUSED") > f.index("Volume [0]") for f in paused), "PAUSED after the panel")
    position_runs = runs([ball_position(f) for f in paused])
    # Still while paused, then one change per O press, each with Up's push.
    expect(len(position_runs) == 4, "positions while paused: %r" % position_runs)
    expect(position_runs[0][1] >= 10, "a second of paused frames: %r" % position_runs)
    zs = [p[2] for p, _ in position_runs]
    expect(zs[0] > zs[1] > zs[2] > zs[3], "each step pushed forward (-z): %r" % zs)


def containers(path):
    """The rooms of a container file: a list of (gravity, faces), each face
    (flags, [vertex, ...])."""
    with open(path, "rb") as f:
        data = f.read()
    offset = 0

    def take(fmt):
        nonlocal offset
        values = struct.unpack_from("<" + fmt, data, offset)
        offset += struct.calcsize("<" + fmt)
        return values

    rooms = []
    for _ in range(take("I")[0]):
        gravity = take("3f")
        faces = []
        for _ in range(take("I")[0]):
            take("4f")
            count, flags = take("2I")
            faces.append((flags, [take("3f") for _ in range(count)]))
        rooms.append((gravity, faces))
    return rooms


def rounded(v):
    return tuple(round(c, 4) for c in v)


def line_segments_per_frame(trace):
    """The GL_LINES segments of every frame drawn with glVertex3f."""
    frames, current, in_lines, pending = [], set(), False, []
    for call in gl_calls(trace, "glBegin|glEnd|glVertex3f|glXSwapBuffers"):
        if call.startswith("glXSwapBuffers"):
            frames.append(current)
            current = set()
        elif call.startswith("glBegin"):
            in_lines = "GL_LINES" in call
            pending = []
        elif call.startswith("glEnd"):
            in_lines = False
        elif in_lines and call.startswith("glVertex3f"):
            pending.append(rounded(float(v) for v in re.findall(NUMBER, call.split("(", 1)[1])))
            if len(pending) == 2:
                current.add(frozenset(pending))
                pending = []
    return frames


def screenshot(s, number):
    name = "screenshot-%04d.png" % number
    s.hold(["F12"], lambda: ("Screenshot saved: " + name) in s.lines(), what=name)
    return s.path(name)


def test_rooms():
    with traced_session() as s:
        tap(s, "p")  # a still scene, so only the drawing differs
        without = pixels(screenshot(s, 1))
        tap(s, "F2")
        time.sleep(0.3)
        with_rooms = pixels(screenshot(s, 2))
        quit_program(s)
        frames = line_segments_per_frame(s.trace)
    edges = set()
    for _, faces in containers(os.path.join(build_dir(), "data", "0.ctr")):
        for flags, vertices in faces:
            if flags == 1:
                continue
            for a, b in zip(vertices, vertices[1:] + vertices[:1]):
                edges.add(frozenset((rounded(a), rounded(b))))
    expect(len(edges) > 20, "the shipped chamber has solid faces: %d edges" % len(edges))
    drawn = max(frames, key=len)
    missing = edges - drawn
    expect(not missing, "%d of %d solid edges not drawn, e.g. %r"
           % (len(missing), len(edges), sorted(missing, key=sorted)[:3]))
    # Outside the debug panel (eight lines: x 140..500, y 195..385 with a
    # margin), where no text changes between the two shots.
    (w, h, a), (w2, h2, b) = without, with_rooms
    expect((w, h) == (w2, h2) == (640, 480), "screenshot sizes %r %r" % ((w, h), (w2, h2)))
    changed = 0
    for y in range(h):
        for x in range(w):
            if 140 <= x <= 500 and 195 <= y <= 385:
                continue
            i = 3 * (y * w + x)
            changed += a[i:i + 3] != b[i:i + 3]
    expect(changed > 300, "the outlines change the picture: %d pixels" % changed)


def test_shot_ball():
    with traced_session() as s:
        tap(s, "b")
        time.sleep(1.0)
        quit_program(s)
        frames = [f for f in overlay_frames(s.trace) if f]
    shot = [f for f in frames if "Volume [1]" in f]
    expect(len(shot) > 10, "a second ball listed in %d frames" % len(shot))
    expect(all("Volume [2]" not in f for f in frames), "one press, one ball")
    positions = []
    for f in shot:
        i = f.index("Volume [1]")
        positions.append(POSITION.fullmatch(f[i + 1]).groups())
    expect(len(runs(positions)) > 5, "the shot ball moves: %r" % positions[:8])


def test_screenshot_file():
    with Session(files=chamber_files()) as s:
        s.wait_for_count("Core_MainLoop", 1, timeout=60)
        wid = s.window()
        time.sleep(1.0)
        width, height, raw = pixels(screenshot(s, 1))
        expect((width, height) == s.geometry(wid), "the window's size: %dx%d" % (width, height))
        colours = {raw[i:i + 3] for i in range(0, len(raw), 3 * 97)}
        expect(len(colours) > 10, "not all one colour: %d colours" % len(colours))
        expect(not [n for n in os.listdir(s.dir) if n.endswith(".tmp")], "no temporary file left")
        quit_program(s)


def test_screenshot_read_only_directory():
    with Session(files=chamber_files(), start=False) as s:
        before = sorted(os.listdir(s.dir))
        s.start_read_only()
        s.wait_for_count("Core_MainLoop", 1, timeout=60)
        s.hold(["F12"], lambda: any(l.startswith("Screenshot not saved") for l in s.lines()),
               what="the failure line")
        expect("Screenshot not saved: cannot write screenshot-0001.png" in s.lines(),
               "one line naming the file: %r" % s.lines()[-3:])
        time.sleep(0.5)
        expect(s.running(), "the program runs on")
        expect(sorted(os.listdir(s.dir)) == before, "no file left: %r" % os.listdir(s.dir))
        quit_program(s)


HELP_KEYS = ["Mouse", "Up / Down / Left / Right", "F / S", "E / D", "R / W", "Left Ctrl",
             "Left Shift", "Q:", "P:", "O:", "[ / ]", "T:", "B:", "F1:", "F2:", "F3:", "F4:",
             "F9:", "F11:", "F12:", "Alt + Enter", "Esc"]


def test_help():
    with traced_session() as s:
        tap(s, "F1")
        time.sleep(0.5)
        quit_program(s)
        frames = [f for f in overlay_frames(s.trace) if f]
    helped = [f for f in frames if "Keys" in f]
    expect(helped, "a frame with the help")
    text = "\n".join(helped[-1])
    for key in HELP_KEYS:
        expect(key in text, "the help names %r:\n%s" % (key, text))


def test_remapped_layout():
    """With the keys that type p and q swapped, P is the key that types p."""
    with Session(files=chamber_files(), start=False) as s:
        s.trace = os.path.join(s.dir, ".trace")
        # On Xvfb's US keyboard keycode 24 types q and 33 types p.
        subprocess.run(["xmodmap", "-e", "keycode 24 = p P", "-e", "keycode 33 = q Q"],
                       env=s.env, check=True, timeout=20)
        s.start(trace_command(s.trace))
        s.wait_for_count("Core_MainLoop", 1, timeout=60)
        s.window()
        time.sleep(0.5)
        # xdotool sends the key that types p now: the one at the US q.
        tap(s, "p")
        time.sleep(0.3)
        quit_program(s)
        frames = [f for f in overlay_frames(s.trace) if f]
    expect(any("PAUSED" in f for f in frames), "the key that types p paused the physics")


if __name__ == "__main__":
    run_test("instruments_test.py", globals())
