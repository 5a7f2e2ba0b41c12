"""End-to-end tests of the interactive chamber: the real program with the
shipped chamber under Xvfb, its GL calls recorded by apitrace, driven with
xdotool. Usage: scene_test.py NAME (one test per run)."""

import math
import os
import re
import subprocess

from harness import (Session, build_dir, chamber_files, expect, frame_calls, gl_calls, numbered_calls,
                     overlay_frames, pixels, reference_glyphs, run_test, swap_calls,
                     trace_command)

NUMBER = r"-?\d+(?:\.\d+)?(?:e[+-]\d+)?"
VEC = r"vec3f<(%s), (%s), (%s)>" % (NUMBER, NUMBER, NUMBER)
OVERLAY = [
    r"Debug Data",
    r"Active Debug: \(0, 0, 0\)",
    r"FPS: %s" % NUMBER,
    r"Camera Position: %s" % VEC,
    r"Camera Angle: %s" % VEC,
    r"Containers: (\d+ )*",
    r"Volume \[0\]",
    r"Position (%s), (%s), (%s)" % (NUMBER, NUMBER, NUMBER),
]
GLYPH_SLOTS = 268  # the test font's glyph count



def traced_session():
    """The program with the shipped chamber under apitrace, once its ball has
    fallen onto the floor of the first room (as the trace shows)."""
    s = Session(files=chamber_files(), start=False)
    s.trace = os.path.join(s.dir, ".trace")
    s.start(trace_command(s.trace))
    s.wait_for_count("Core_MainLoop", 1, timeout=60)
    s.wid = s.window()
    s.wait_for_frame(lambda f: len(f) == len(OVERLAY) and resting(f), what="the ball on the floor")
    return s


def resting(frame):
    x, y, z = position(frame)
    return abs(y - 0.02) < 0.001


def quit_and_read_frames(s):
    s.hold(["Escape"], lambda: not s.running(), timeout=60, what="the program to end")
    expect(s.wait_exit(60) == 0, "exit code 0")
    return [f for f in overlay_frames(s.trace) if f]


def position(frame):
    return tuple(float(v) for v in re.fullmatch(OVERLAY[-1], frame[-1]).groups())


def camera_angles(frame):
    return tuple(float(v) for v in re.fullmatch(OVERLAY[4], frame[4]).groups())


def check_overlay(frame):
    expect(len(frame) == len(OVERLAY), "overlay lines %r" % frame)
    for line, pattern in zip(frame, OVERLAY):
        expect(re.fullmatch(pattern, line), "overlay line %r does not match %r" % (line, pattern))


def test_overlay_lines():
    with traced_session() as s:
        frames = quit_and_read_frames(s)
        expect(len(frames) > 5, "frames recorded")
        for frame in frames[1:]:
            check_overlay(frame)
        # The ball starts at (0, 0.5, 0) in the first room and falls.
        x, y, z = position(frames[0])
        expect(x == 0 and z == 0 and 0.45 < y <= 0.5, "first position %r" % (frame[-1],))
        expect(frames[-1][5] == "Containers: 0 ", "in room 0: %r" % frames[-1][5])


def test_push_and_look():
    with traced_session() as s:
        # Up for over a second: along the level forward direction, -z.
        s.hold_for(["Up"], 1.5)
        # Ten pixels right: the target yaw drops by 4 degrees, and the
        # camera follows it there.
        s.xdotool("mousemove", "--window", s.wid, "330", "240")
        s.wait_for_frame(lambda f: len(f) == len(OVERLAY) and camera_angles(f)[1] == -4,
                         what="the camera turned")
        frames = quit_and_read_frames(s)
        positions = [position(f) for f in frames[1:]]
        expect(min(z for x, y, z in positions) < -0.5, "moved forward along -z: %r" % (positions[-1],))
        # Until it reaches the draft (a gravity zone from z = -1 on), the
        # ball keeps to its line.
        for x, y, z in positions:
            if z > -0.9:
                expect(abs(x) < 0.01, "stayed on its line: %r" % ((x, y, z),))
        pitch, yaw, roll = camera_angles(frames[-1])
        expect((pitch, yaw, roll) == (0, -4, 0), "camera angle %r" % frames[-1][4])


def test_gl_state():
    with traced_session() as s:
        quit_and_read_frames(s)
        calls = "\n".join(gl_calls(s.trace, "glLightfv|glMaterialf|glMultMatrixd|glOrtho|glViewport"))
    for expected in [
            "glLightfv(light = GL_LIGHT0, pname = GL_AMBIENT, params = {0.028, 0.029, 0.028, 0})",
            "glLightfv(light = GL_LIGHT0, pname = GL_DIFFUSE, params = {1, 1, 1, 0})",
            "glLightfv(light = GL_LIGHT0, pname = GL_SPECULAR, params = {0.9, 0.7, 0.5, 0})",
            "glLightfv(light = GL_LIGHT0, pname = GL_POSITION, params = {3, 3, 3, 0})",
            "glMaterialf(face = GL_FRONT, pname = GL_SHININESS, param = 75)",
            "glViewport(x = 0, y = 0, width = 640, height = 480)",
            "glViewport(x = 0, y = 0, width = 639, height = 479)",
            "glOrtho(left = 0, right = 639, bottom = 479, top = 0, zNear = -1, zFar = 1)"]:
        expect(expected in calls, "missing %s" % expected)
    # gluPerspective(45, 640/480, 0.01, 100) as the matrix it multiplies by.
    f = 1 / math.tan(math.radians(22.5))
    near, far = 0.01, 100.0
    wanted = [f / (640 / 480), 0, 0, 0, 0, f, 0, 0, 0, 0, (far + near) / (near - far), -1,
              0, 0, 2 * far * near / (near - far), 0]
    found = False
    for line in calls.splitlines():
        if line.startswith("glMultMatrixd"):
            values = [float(v) for v in re.findall(NUMBER, line.split("{", 1)[1])]
            found = found or all(abs(a - b) < 1e-6 for a, b in zip(values, wanted))
    expect(found, "no perspective matrix for 45 degrees, 0.01 to 100")


def test_glyph_lists():
    """Every glyph's list: its texture, one quad with the corners in the
    fixed order (counter-clockwise on screen, so culling keeps it), then the
    advance; the textures are powers of two."""
    with traced_session() as s:
        quit_and_read_frames(s)
        calls = gl_calls(s.trace, "glNewList|glEndList|glBindTexture|glBegin|glEnd|glTexCoord2f|"
                                  "glVertex2f|glTranslatef|glTexImage2D")
    sizes = [tuple(int(v) for v in re.search(r"width = (\d+), height = (\d+)", c).groups())
             for c in calls if c.startswith("glTexImage2D")]
    expect(len(sizes) == GLYPH_SLOTS, "one texture per slot of Vera's 268: %d" % len(sizes))
    for w, h in sizes:
        expect(w & (w - 1) == 0 and h & (h - 1) == 0, "texture %dx%d" % (w, h))
    lists, current = [], None
    for c in calls:
        if c.startswith("glNewList"):
            current = []
        elif c.startswith("glEndList"):
            lists.append(current)
            current = None
        elif current is not None:
            current.append(c)
    glyphs = [l for l in lists if any(c.startswith("glBegin(mode = GL_QUADS)") for c in l)]
    expect(len(glyphs) == GLYPH_SLOTS, "one list per slot: %d" % len(glyphs))
    for body in glyphs:
        names = [c.split("(", 1)[0] for c in body]
        expect(names == ["glBindTexture", "glBegin", "glTexCoord2f", "glVertex2f", "glTexCoord2f",
                         "glVertex2f", "glTexCoord2f", "glVertex2f", "glTexCoord2f", "glVertex2f",
                         "glEnd", "glTranslatef"], "list %r" % body)
        def args(call):
            return tuple(float(v) for v in re.findall(NUMBER, call.split("(", 1)[1]))
        tex = [args(c) for c in body if c.startswith("glTexCoord2f")]
        expect(tex == [(0, 1), (0, 0), (1, 0), (1, 1)], "texture corners %r" % tex)
        (x0, y0), (x1, y1), (x2, y2), (x3, y3) = [args(c) for c in body if c.startswith("glVertex2f")]
        # (left, -top), (left, h - top), (left + w, h - top), (left + w, -top)
        expect(x0 == x1 and x2 == x3 and y0 == y3 and y1 == y2, "corners %r" % body)
        w, h = x2 - x0, y1 - y0
        expect(w >= 1 and h >= 1 and w.is_integer() and h.is_integer()
               and int(w) & (int(w) - 1) == 0 and int(h) & (int(h) - 1) == 0, "quad %r" % body)
        advance = args(body[-1])
        expect(advance[1:] == (0, 0) and advance[0] >= 0, "advance %r" % body[-1])
    # Slot by slot against FreeType's own glyphs: the quad at the bitmap's
    # bearing, as large as its texture, then the advance in whole pixels.
    reference = reference_glyphs()
    expect(len(reference) == GLYPH_SLOTS, "FreeType's slots: %d" % len(reference))
    numbers = [int(re.search(r"list = (\d+)", c).group(1)) for c in calls
               if c.startswith("glNewList")]
    quad_lists = [n for n, body in zip(numbers, lists)
                  if any(c.startswith("glBegin(mode = GL_QUADS)") for c in body)]
    expect(quad_lists == list(range(quad_lists[0], quad_lists[0] + GLYPH_SLOTS)),
           "consecutive lists, one per slot")
    for code, (body, glyph) in enumerate(zip(glyphs, reference)):
        vertices = [args(c) for c in body if c.startswith("glVertex2f")]
        x0, y0 = vertices[0]
        x2, y2 = vertices[2]
        expect((x0, y0) == (glyph.left, -glyph.top), "slot %d quad at %r, FreeType bitmap at %r"
               % (code, (x0, y0), (glyph.left, -glyph.top)))
        expect((x2 - x0, y2 - y0) == (texture_side(glyph.width), texture_side(glyph.rows)),
               "slot %d quad size" % code)
        expect(args(body[-1])[0] == glyph.advance / 64, "slot %d advance %r, FreeType's %d/64"
               % (code, body[-1], glyph.advance))


def texture_side(size):
    side = 1
    while side < size:
        side *= 2
    return side


def test_glyph_textures():
    """The textures of asymmetric glyphs, texel row by texel row: white, the
    alpha FreeType's coverage, the bitmap's top row last (the texture is
    stored upside down, its first row drawn at the glyph's bottom)."""
    with traced_session() as s:
        quit_and_read_frames(s)
        frames = frame_calls(s.trace, "glTexImage2D")
    uploads = [c for frame in frames for c in frame]
    expect(len(uploads) == GLYPH_SLOTS, "one texture per slot: %d" % len(uploads))
    reference = reference_glyphs()
    for char in "L7":
        call, texels = uploads[ord(char)]
        width, height = (int(v) for v in re.search(r"width = (\d+), height = (\d+)", call).groups())
        glyph = reference[ord(char)]
        expect(glyph.rows > 4 and glyph.width > 2, "%r has a bitmap" % char)
        expect(len(texels) == 4 * width * height, "%r: %d bytes" % (char, len(texels)))
        for m in range(height):
            r = height - 1 - m  # the bitmap row this texel row holds
            row = texels[4 * width * m:4 * width * (m + 1)]
            expected = bytearray(4 * width)
            if r < glyph.rows:
                for c, alpha in enumerate(glyph.row(r)):
                    expected[4 * c:4 * c + 4] = bytes((255, 255, 255, alpha))
            expect(row == bytes(expected), "%r texel row %d (bitmap row %d):\n  %s\n  expected %s"
                   % (char, m, r, row.hex(), bytes(expected).hex()))


def test_overlay_placement():
    """Each overlay line drawn at its place in the panel: the panel's centre
    from the window size and the number of lines, its half width from the
    widest line (FreeType's advances in whole pixels), a 20-pixel pitch."""
    reference = reference_glyphs()
    max_top = max(g.top for g in reference)
    with traced_session() as s:
        quit_and_read_frames(s)
        frames = frame_calls(s.trace, "glTranslatef|glCallLists", last=5)
    expect(len(frames) == 5, "frames read")

    def translation(call):
        expect(call.startswith("glTranslatef"), "a translation, not %r" % call)
        return tuple(float(v) for v in re.findall(NUMBER, call.split("(", 1)[1]))

    for frame in frames:
        printed = [i for i, (call, _) in enumerate(frame) if call.startswith("glCallLists")]
        lines = [frame[i][1] for i in printed]
        expect(len(lines) == len(OVERLAY), "overlay lines %r" % lines)
        widths = [sum(reference[b].advance // 64 for b in line if b < len(reference))
                  for line in lines]
        half_width = max(widths) * 0.5 + 10
        half_height = len(lines) * 10 + 10
        expect(translation(frame[printed[0] - 3][0]) == (320, 480 - 100 - half_height, 0),
               "panel centre %r, half height %s" % (frame[printed[0] - 3][0], half_height))
        for i, at in enumerate(printed):
            expect(translation(frame[at - 2][0]) == (10 - half_width, 10 - half_height + 20 * i, 0),
                   "line %d %r at %r; half width %s" % (i, lines[i], frame[at - 2][0], half_width))
            expect(translation(frame[at - 1][0]) == (0, max_top, 0),
                   "line %d baseline: %r" % (i, frame[at - 1][0]))


def test_screenshot():
    with Session(files=chamber_files()) as s:
        s.wait_for_count("Core_MainLoop", 1, timeout=60)
        s.window()
        shot = s.path("shot.png")

        def take():
            subprocess.run(["import", "-window", "root", shot], env=s.env, check=True, timeout=60)
            return pixels(shot)

        def covered(shot_pixels):
            width, height, raw = shot_pixels
            window = [raw[3 * (y * width + x):3 * (y * width + x) + 3]
                      for y in range(0, 480, 4) for x in range(0, 640, 4)]
            return sum(1 for p in window if p != b"\0\0\0"), len(window)

        # Screenshots until the chamber has been drawn over the window.
        def drawn_shot():
            shot_pixels = take()
            drawn, total = covered(shot_pixels)
            return shot_pixels if drawn > 0.9 * total else None

        width, height, raw = s.wait_until(drawn_shot, timeout=60, what="the chamber drawn",
                                          interval=0.2)

        def pixel(x, y):
            i = 3 * (y * width + x)
            return raw[i], raw[i + 1], raw[i + 2]

        # Eight lines: halfHeight 90, so the panel's top edge lies at
        # (480 - 100) - 180 = 200 and its bottom edge at 380, centred across.
        def white(p):
            # The lines are smoothed: half-covered pixels blend white with
            # the scene, but stay far lighter and greyer than any wall.
            return min(p) > 150
        for row in (200, 380):
            xs = [x for x in range(640) if any(white(pixel(x, y)) for y in (row - 1, row, row + 1))]
            expect(xs, "a bracket on row %d" % row)
            left, right = min(xs), max(xs)
            expect(abs((left + right) / 2 - 320) <= 2, "brackets centred: %d..%d" % (left, right))
            # Only the 20-pixel arms are drawn along the edge, not a full line.
            expect(not white(pixel(320, row)), "no line between the brackets on row %d" % row)
            for x in (left, right):
                arm = [y for y in range(200, 381) if any(white(pixel(xx, y)) for xx in (x - 1, x, x + 1))]
                expect(len(arm) >= 36, "vertical arms at x=%d: %d pixels" % (x, len(arm)))
        s.hold(["Escape"], lambda: not s.running(), what="the program to end")


def test_reset():
    with traced_session() as s:
        s.hold_for(["Up"], 1.5)
        s.hold(["F11"], lambda: "Core_Reset" in s.lines(), what="the reset")
        s.wait_for_count("Core_MainLoop", 2, timeout=60)
        s.window()
        # The reset builds the glyph textures again: frames after the second
        # set are the restarted chamber's.
        def frames_after_reset():
            try:
                textures = [n for n, _ in numbered_calls(s.trace, "glTexImage2D")]
                if len(textures) <= GLYPH_SLOTS:
                    return 0
                return sum(1 for n in swap_calls(s.trace) if n > textures[GLYPH_SLOTS])
            except subprocess.CalledProcessError:
                return 0  # a chunk half-written: read again
        s.wait_until(lambda: frames_after_reset() >= 5, timeout=60,
                     what="frames after the reset", interval=0.3)
        frames = quit_and_read_frames(s)
    moved = [f for f in frames if position(f)[2] < -0.2]
    expect(moved, "the ball moved before the reset")
    after = frames[frames.index(moved[-1]) + 1:]
    expect(after, "frames after the reset")
    for frame in after:
        check_overlay(frame)  # exactly one "Volume [" line
    x, y, z = position(after[0])
    expect(x == 0 and z == 0 and 0.45 < y <= 0.5, "back at the start: %r" % after[0][-1])


def chamber_lists(trace):
    """The calls inside every compiled display list that draws triangles (the
    chamber's), in the order compiled."""
    lists, current = [], None
    pattern = "glNewList|glEndList|glBegin|glEnd|glColor3f|glNormal3f|glVertex3f"
    for line in gl_calls(trace, pattern):
        if line.startswith("glNewList"):
            current = []
        elif line.startswith("glEndList"):
            if any("GL_TRIANGLES" in c for c in current):
                lists.append(current)
            current = None
        elif current is not None:
            current.append(line)
    return lists


def test_reset_draws_the_rebuilt_chamber():
    """The chamber rebuilt with chamber-build while the program runs: F11
    draws the new model, in its colour, and Alt+Enter after it keeps it."""
    with traced_session() as s:
        with open(s.path("small.txt"), "w") as f:
            f.write("room small\n  gravity 0 -1 0\n  colour 1 0 0\n"
                    "  box -2 0 -2  2 3 2\nend\n")
        build = subprocess.run([os.path.join(build_dir(), "tools", "chamber-build",
                                             "chamber-build"), "small.txt", "."],
                               cwd=s.dir, timeout=60, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT)
        expect(build.returncode == 0, "chamber-build: %s" % build.stdout.decode())
        s.hold(["F11"], lambda: "Core_Reset" in s.lines(), what="the reset")
        s.wait_for_count("Core_MainLoop", 2, timeout=60)
        s.hold(["Alt_L", "Return"], lambda: "Core_Initialize_WindowFullscreenSwap" in s.lines(),
               what="the full-screen swap")
        s.wait_for_count("Sandbox_LoadTextures", 3, timeout=60)
        s.window()
        quit_and_read_frames(s)
        lists = chamber_lists(s.trace)
    expect(len(lists) == 3, "three chamber lists compiled: %d" % len(lists))
    shipped, reset, rebuilt = lists
    for drawn, when in ((reset, "after the reset"), (rebuilt, "after the window's rebuild")):
        vertices = {c for c in drawn if c.startswith("glVertex3f")}
        corners = {"glVertex3f(x = %d, y = %d, z = %d)" % (x, y, z)
                   for x in (-2, 2) for y in (0, 3) for z in (-2, 2)}
        expect(vertices == corners, "the box's corners %s: %r" % (when, sorted(vertices)))
        colours = {c for c in drawn if c.startswith("glColor3f")} - {
            "glColor3f(red = 1, green = 1, blue = 1)"}
        expect(colours == {"glColor3f(red = 1, green = 0, blue = 0)"},
               "red %s: %r" % (when, colours))
    expect(len([c for c in shipped if c.startswith("glVertex3f")]) > 36, "the shipped chamber first")


def test_model_drawing():
    """The chamber list: diffuse colours, light-emitting materials left out,
    an unknown material keeping the colour in force, bad triangles skipped."""
    obj = (b"mtllib room.mtl\n"
           b"v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\n"
           b"usemtl red\nf 1//1 2//1 3//1\n"
           b"usemtl lamp\nf 1 2 3\nf 3 2 1\n"
           b"usemtl nosuch\nf 1 3 2\n"
           b"usemtl red\nf 1 2 9\n")
    mtl = (b"newmtl red\nKd 1 0 0\n"
           b"newmtl lamp\nKd 1 1 1\nKe 0.5 0 0\n")
    files = chamber_files()
    for name in ("chamber.obj", "chamber.mtl"):
        files.pop(name)
    files.update({"room.obj": obj, "room.mtl": mtl})
    s = Session(files=files, start=False)
    with s:
        s.trace = os.path.join(s.dir, ".trace")
        s.start(trace_command(s.trace))
        s.wait_for_count("Core_MainLoop", 1, timeout=60)
        s.window()
        quit_and_read_frames(s)
        calls = gl_calls(s.trace, "glNewList|glEndList|glBegin|glEnd|glColor3f|glNormal3f|glVertex3f")
    # The chamber's list is the one that draws triangles.
    chamber, current = None, None
    for line in calls:
        if line.startswith("glNewList"):
            current = []
        elif line.startswith("glEndList"):
            if any("GL_TRIANGLES" in c for c in current):
                chamber = current
            current = None
        elif current is not None:
            current.append(line)
    expect(chamber is not None, "no chamber list compiled")
    colours = [c for c in chamber if c.startswith("glColor3f")]
    # White to start, red, then the lamp's diffuse white: set when the
    # material changes, even though its triangles are not drawn. The unknown
    # material keeps it.
    expect(colours == ["glColor3f(red = 1, green = 1, blue = 1)",
                       "glColor3f(red = 1, green = 0, blue = 0)",
                       "glColor3f(red = 1, green = 1, blue = 1)"], "colours %r" % colours)
    vertices = [c for c in chamber if c.startswith("glVertex3f")]
    # The red triangle and the one of the unknown material; the lamp's two
    # and the one naming vertex 9 are not drawn.
    expect(vertices == ["glVertex3f(x = 0, y = 0, z = 0)", "glVertex3f(x = 1, y = 0, z = 0)",
                        "glVertex3f(x = 0, y = 1, z = 0)", "glVertex3f(x = 0, y = 0, z = 0)",
                        "glVertex3f(x = 0, y = 1, z = 0)", "glVertex3f(x = 1, y = 0, z = 0)"],
           "vertices %r" % vertices)
    normals = [c for c in chamber if c.startswith("glNormal3f")]
    expect(normals[:3] == ["glNormal3f(nx = 0, ny = 0, nz = 1)"] * 3, "normals %r" % normals)


if __name__ == "__main__":
    run_test("scene_test.py", globals())
