"""End-to-end tests of where the instruments draw at the window sizes users
start with, and of the view from outside (F7): the real program under Xvfb,
its GL calls recorded by apitrace. The drawn text's boxes come from the trace
(each line's position) and FreeType's own glyph metrics, so the tests see
what a user sees. Usage: layout_test.py NAME."""

import os
import re
import subprocess
import time

from harness import (Session, chamber_files, expect, expect_equal, frame_calls, overlay_frames,
                     program, reference_glyphs, run_test, trace_command)

NUMBER = r"-?\d+(?:\.\d+)?(?:e[+-]\d+)?"
PLOT_LABELS = ["Ball speed (units/step)", "Contacts per step", "Gravity turn (degrees/step)",
               "Step time (ms)"]
# Each key of the help, as F1 writes it.
HELP_KEYS = ["Esc:", "Mouse:", "Up / Down / Left / Right:", "F / S:", "E / D:", "R / W:",
             "Left Ctrl, Left Shift:", "Q:", "P:", "O:", "[ / ]:", ", / .:", "T:", "B:", "F1:", "F2:",
             "F3:", "F4:", "F7:", "PageUp / PageDown, Wheel:", "F8:", "F9:", "F11:", "F12:",
             "Alt + Enter:"]


def numbers(call):
    return [float(v) for v in re.findall(r"= (%s)" % NUMBER, call)]


class Overlay:
    """What one frame draws in the overlay projection: the debug panel's
    rectangle (its brackets) and lines, and every other text line's and
    primitive's box, all in window pixels."""

    def __init__(self, calls, glyphs):
        self.window = None
        self.panel = None
        self.panel_lines = []
        self.texts = []       # (text, box) outside the panel
        self.shapes = []      # (mode, box) outside the panel
        in_2d, stack, offset = False, [], (0.0, 0.0)
        projection = False
        panel_state, panel_depth = "before", 0  # before, in or after the panel's matrix
        mode, points = None, []
        for call, blob in calls:
            name = call.split("(", 1)[0]
            if name == "glMatrixMode":
                projection = "GL_PROJECTION" in call
                continue
            if name == "glOrtho":
                left, right, bottom, top = numbers(call)[:4]
                self.window = (left, top, right + 1, bottom + 1)
                in_2d, stack, offset = True, [], (0.0, 0.0)
                continue
            if not in_2d or projection:
                continue
            inside = panel_state == "in"
            if name == "glPushMatrix":
                stack.append(offset)
                if panel_state == "before":
                    panel_state, panel_depth = "in", len(stack)
            elif name == "glPopMatrix":
                if not stack:  # the end of the overlay's projection
                    in_2d = False
                    continue
                offset = stack.pop()
                if panel_state == "in" and len(stack) < panel_depth:
                    panel_state = "after"
            elif name == "glLoadIdentity":
                offset = (0.0, 0.0)
            elif name == "glTranslatef":
                x, y = numbers(call)[:2]
                offset = (offset[0] + x, offset[1] + y)
            elif name == "glBegin":
                mode, points = call.split("mode = ", 1)[1].rstrip(")"), []
            elif name == "glVertex2f":
                x, y = numbers(call)[:2]
                points.append((offset[0] + x, offset[1] + y))
            elif name == "glEnd":
                box = bounds(points)
                if self.panel is None and mode == "GL_LINES" and inside:
                    self.panel = box
                elif not inside and points:
                    self.shapes.append((mode, box))
            elif name == "glCallLists":
                text = blob.decode("latin-1")
                if inside:
                    self.panel_lines.append(text)
                else:
                    self.texts.append((text, ink(text, offset, glyphs)))
        expect(self.window and self.panel, "a frame with the overlay and its panel")

    def text(self):
        return [t for t, _ in self.texts]

    def boxes(self):
        return [(t, b) for t, b in self.texts if b] + [(m, b) for m, b in self.shapes]


def bounds(points):
    if not points:
        return None
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    return (min(xs), min(ys), max(xs), max(ys))


def ink(text, origin, glyphs):
    """The box of the pixels a line's glyphs cover: origin is the pen's start
    on the baseline."""
    pen, (x, baseline) = 0.0, origin
    box = None
    for c in text.encode("latin-1"):
        g = glyphs[c]
        if g.width and g.rows:
            glyph_box = (x + pen + g.left, baseline - g.top, x + pen + g.left + g.width,
                         baseline - g.top + g.rows)
            box = glyph_box if box is None else (min(box[0], glyph_box[0]), min(box[1], glyph_box[1]),
                                                  max(box[2], glyph_box[2]), max(box[3], glyph_box[3]))
        pen += g.advance / 64.0
    return box


def overlap(a, b):
    return a[0] < b[2] and b[0] < a[2] and a[1] < b[3] and b[1] < a[3]


def check_clear_of_panel(overlay, what):
    """Nothing but the panel's own lines on the panel, nothing outside the window."""
    left, top, right, bottom = overlay.window
    for name, box in overlay.boxes():
        expect(not overlap(box, overlay.panel),
               "%s: %r at %r overlaps the debug panel at %r" % (what, name, box, overlay.panel))
        expect(box[0] >= left and box[1] >= top and box[2] <= right and box[3] <= bottom,
               "%s: %r at %r leaves the %r window" % (what, name, box, overlay.window))


def config(width, height):
    return "%d\n%d\n32\n65537\n" % (width, height)


def traced(width, height):
    files = chamber_files()
    files["config.dat"] = config(width, height)
    s = Session(files=files, start=False, screen="1280x1024x24")
    s.trace = os.path.join(s.dir, ".trace")
    s.start(trace_command(s.trace))
    s.wait_for_count("Core_MainLoop", 1, timeout=60)
    s.window()
    time.sleep(0.5)
    return s


def tap(s, key):
    s.hold_for([key], 0.25)


def quit_program(s):
    s.hold(["Escape"], lambda: not s.running(), timeout=60, what="the program to end")
    expect(s.wait_exit(60) == 0, "exit code 0")


def overlays(s, glyphs, last=None):
    calls = frame_calls(s.trace, "glMatrixMode|glOrtho|glPushMatrix|glPopMatrix|glLoadIdentity|"
                                 "glTranslatef|glBegin|glEnd|glVertex2f|glCallLists", last)
    return [Overlay(frame, glyphs) for frame in calls if frame]


def check_apart(overlay, what):
    """The instruments keep clear of one another too."""
    boxes = [(t, b) for t, b in overlay.texts if b]
    # A plot draws its axes, then its curve within them: one box for both.
    strips = [b for m, b in overlay.shapes if m == "GL_LINE_STRIP"]
    for axes, curve in zip(strips[0::2], strips[1::2]):
        boxes.append(("plot", (min(axes[0], curve[0]), min(axes[1], curve[1]),
                               max(axes[2], curve[2]), max(axes[3], curve[3]))))
    for i, (a, box_a) in enumerate(boxes):
        for b, box_b in boxes[i + 1:]:
            expect(not overlap(box_a, box_b), "%s: %r at %r overlaps %r at %r"
                   % (what, a, box_a, b, box_b))


def instruments_at(width, height):
    """Paused, in slow motion, with the plots, then with the help as well:
    every instrument that writes in the overlay."""
    glyphs = reference_glyphs()
    with traced(width, height) as s:
        for key in ("p", "bracketleft", "F4"):
            tap(s, key)
        s.wait_for_frame(lambda f: "Step rate 1/2 (32 ms per step)" in f and PLOT_LABELS[-1] in f,
                         what="the status lines and the plots")
        plots = overlays(s, glyphs, last=1)[-1]
        tap(s, "F1")
        s.wait_for_frame(lambda f: "Keys" in f, what="the help")
        helped = overlays(s, glyphs, last=1)[-1]
        quit_program(s)
    what = "%dx%d" % (width, height)
    for overlay in (plots, helped):
        expect(abs(overlay.window[2] - width) <= 1 and abs(overlay.window[3] - height) <= 1,
               "%s: the window drawn is %r" % (what, overlay.window))
        check_clear_of_panel(overlay, what)
        check_apart(overlay, what)
        text = "\n".join(overlay.text())
        for wanted in ["PAUSED", "Step rate 1/2 (32 ms per step)"]:
            expect(wanted in text, "%s: %r drawn in:\n%s" % (what, wanted, text))
    text = "\n".join(plots.text())
    for wanted in PLOT_LABELS:
        expect(wanted in text, "%s: %r drawn in:\n%s" % (what, wanted, text))
    charts = [b for m, b in plots.shapes if m == "GL_LINE_STRIP"]
    expect(len(charts) == 2 * len(PLOT_LABELS), "%s: axes and a curve per plot: %r" % (what, charts))
    text = "\n".join(helped.text())
    for wanted in ["Keys"] + HELP_KEYS:
        expect(wanted in text, "%s: %r drawn in:\n%s" % (what, wanted, text))
    expect("more lines" not in text, "%s: the whole help fits:\n%s" % (what, text))
    return helped


def test_instruments_at_640x480():
    helped = instruments_at(640, 480)
    # `chamber --help` lists the same keys with the same words, and no others.
    out = subprocess.run([program(), "--help"], stdout=subprocess.PIPE, timeout=30,
                         check=True).stdout.decode()
    expect("--help, -h" in out, "--help names -h:\n%s" % out)
    rows = out.split("per press):\n", 1)[1].splitlines()
    shown = " ".join(helped.text()).lower()
    for row in rows:
        keys, action = row[2:28].strip(), row[29:]
        expect(("%s: %s" % (keys, action)).lower() in shown, "F1 shows %r:\n%s" % (row, shown))
    for key in HELP_KEYS:
        expect(key.lower()[:-1] in out.lower(), "--help lists %r:\n%s" % (key, out))


def test_instruments_at_1024x768():
    helped = instruments_at(1024, 768)
    # With room enough, the help leaves the plots where they are.
    text = "\n".join(helped.text())
    expect(all(label in text for label in PLOT_LABELS), "plots beside the help:\n%s" % text)


def test_many_balls():
    """Twelve shot balls: the panel keeps its title in the window and lists at
    most eight of them, then how many more there are; the help and the plots
    still keep clear of it."""
    glyphs = reference_glyphs()
    for width, height, listed in ((1024, 768, 8), (640, 480, 4)):
        with traced(width, height) as s:
            tap(s, "p")  # the balls stay where they are shot
            for _ in range(12):
                tap(s, "b")
            # A slow frame may miss a press: more until at least twelve are out.
            def twelve(frame):
                more = [l for l in frame if l.startswith("... and ")]
                return more and int(more[0].split()[2]) >= 12 - listed
            for _ in range(6):
                try:
                    s.wait_for_frame(twelve, timeout=8, what="twelve balls")
                    break
                except AssertionError:
                    tap(s, "b")
            tap(s, "F4")
            tap(s, "F1")
            time.sleep(0.5)
            quit_program(s)
            overlay = overlays(s, glyphs, last=1)[-1]
        what = "%dx%d" % (width, height)
        lines = overlay.panel_lines
        expect_equal(lines[:3], ["Debug Data", lines[1], lines[2]], what + ": the panel's first lines")
        expect(lines[1].startswith("Active Debug") and lines[2].startswith("FPS"),
               "%s: %r" % (what, lines))
        volumes = [l for l in lines if l.startswith("Volume [")]
        expect_equal(volumes, ["Volume [%d]" % i for i in range(listed + 1)], what + ": balls listed")
        more = re.fullmatch(r"\.\.\. and (\d+) more balls", lines[-1])
        expect(more and int(more.group(1)) >= 12 - listed, "%s: the last line %r" % (what, lines[-1]))
        expect(overlay.panel[1] >= 0, "%s: the panel's top %r in the window" % (what, overlay.panel))
        check_clear_of_panel(overlay, what)


def test_ball_limit_notice():
    """B beyond 64 balls shoots nothing and says so on screen, outside the panel."""
    with traced(640, 480) as s:
        tap(s, "p")
        # Presses until 64 balls are out (a slow frame may miss a short one).
        full = "... and 60 more balls"
        for _ in range(12):
            for _ in range(8):
                s.xdotool("keydown", "b")
                time.sleep(0.1)
                s.xdotool("keyup", "b")
                time.sleep(0.1)
            try:
                s.wait_for_frame(lambda f: full in f, timeout=3, what="64 balls")
                break
            except AssertionError:
                pass
        s.wait_for_frame(lambda f: full in f, what="64 balls")
        tap(s, "b")
        time.sleep(0.5)
        quit_program(s)
        frames = [f for f in overlay_frames(s.trace) if f]
    notice = "No ball shot: 64 balls is the most"
    expect(any(notice in f for f in frames), "the notice on screen: %r" % frames[-1])
    last = frames[-1]
    expect("... and %d more balls" % (64 - 4) in last, "64 balls: %r" % last[-4:])
    before = [f for f in frames if "... and 59 more balls" in f]
    expect(before and all(notice not in f for f in before), "no notice before the limit")


def modelview_frames(trace):
    """Per frame, the calls that set up the scene's view."""
    return [[c for c, _ in f] for f in
            frame_calls(trace, "glLoadIdentity|glPushMatrix|glRotatef|glTranslatef|glMultMatrixf|"
                               "glOrtho|glScalef|glCallList|glColor3f")]


def test_outside_view():
    """F7: the eye steps back from the ball and the ball is drawn; PageDown
    and the wheel move the eye; F7 again gives the ball's own view back."""
    with traced(640, 480) as s:
        tap(s, "p")  # a still scene
        time.sleep(0.5)
        tap(s, "F7")
        time.sleep(0.6)
        s.hold_for(["Next"], 0.6)   # PageDown: farther
        time.sleep(0.3)
        s.xdotool("click", "4")       # the wheel away: nearer
        time.sleep(0.6)
        tap(s, "F7")
        time.sleep(0.6)
        quit_program(s)
        frames = modelview_frames(s.trace)

    def eye_step(frame):
        # The view's first call after the scene's two pushes.
        i = frame.index("glPushMatrix()")
        first = frame[i + 2]
        return numbers(first)[2] if first.startswith("glTranslatef") else None

    frames = [f for f in frames if f.count("glPushMatrix()") >= 2 and "glOrtho" in "".join(f)]
    steps = [eye_step(f) for f in frames]
    runs = []
    for v in steps:
        if not runs or runs[-1][0] != v:
            runs.append([v, 0])
        runs[-1][1] += 1
    expect(runs[0][0] is None and runs[-1][0] is None, "the ball's own view first and last: %r" % runs)
    outside = [v for v in steps if v is not None]
    expect(outside and outside[0] == -0.25, "the eye 0.25 units behind the ball: %r" % runs[:3])
    expect(min(outside) < -0.3, "PageDown moves the eye away: %r" % runs)
    farthest = min(outside)
    after = outside[outside.index(farthest):]
    expect(any(abs(v / farthest - 1 / 1.2) < 1e-3 for v in after),
           "a wheel notch moves it 1.2 times nearer: %r" % runs)
    # From outside the ball is drawn: a sphere at its position in its own colour.
    drawn = [f for f in frames if "glColor3f(red = 0.3, green = 0.8, blue = 1)" in f]
    expect(len(drawn) > 5, "the ball drawn from outside in %d frames" % len(drawn))
    # F7 again: the scene is drawn as before F7, call for call (paused, so
    # the ball has not moved).
    def scene(frame):
        return frame[:[i for i, c in enumerate(frame) if c.startswith("glOrtho")][0]]

    before = steps.index(outside[0]) - 1
    expect_equal(scene(frames[-2]), scene(frames[before]), "the scene after F7 twice")


if __name__ == "__main__":
    run_test("layout_test.py", globals())
