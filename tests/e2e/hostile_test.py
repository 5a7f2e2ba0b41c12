"""The real program in hostile working directories: missing, empty and
damaged files, a read-only directory, thousands of entries. In each the
program must open its window, run frames and end with exit code 0 on ESC,
without a sanitizer report. Usage: hostile_test.py NAME."""

import os
import random
import re
import signal
import subprocess
import time

from harness import Session, chamber_files, expect, program, run_test

SANITIZER_ERRORS = ("ERROR: AddressSanitizer", "runtime error:",
                    "SUMMARY: UndefinedBehaviorSanitizer")
SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))



def noise(size, seed):
    rng = random.Random(seed)
    return bytes(rng.randrange(256) for _ in range(size))


def mapped_end(binary, cache={}):
    """Where the binary's loaded segments end: no code of its own lies at a
    larger offset."""
    if binary not in cache:
        out = subprocess.run(["readelf", "-lW", binary], check=True,
                             stdout=subprocess.PIPE).stdout.decode()
        cache[binary] = max(int(f[2], 16) + int(f[5], 16)
                            for f in (line.split() for line in out.splitlines())
                            if f and f[0] == "LOAD")
    return cache[binary]


def own_frame(frame):
    """Whether a stack frame lies in the program's own code: symbolized to a
    file of its sources, or, unsymbolized, inside one of its binaries. A
    frame naming a binary of ours at an offset past its end belongs to a
    graphics driver unloaded before the report (the address space was
    reused), which many window rebuilds in one session are bound to meet;
    no suppression can name such a frame."""
    if re.search(r" in .* %s/[^ ]+:\d+" % re.escape(SOURCE_DIR), frame):
        return True
    module = re.search(r"\((%s/[^+)]+)\+0x([0-9a-f]+)\)" % re.escape(SOURCE_DIR), frame)
    return bool(module) and int(module.group(2), 16) < mapped_end(module.group(1))


def own_leaks(output):
    """The leak records whose allocation stack passes through the program's
    own code. Leaks inside the system's graphics, windowing and font
    libraries are theirs to fix."""
    records = re.split(r"\n(?=(?:Direct|Indirect) leak of )", output)
    return [r.split("\n\n")[0] for r in records[1:]
            if any(own_frame(line) for line in r.split("\n\n")[0].splitlines())]


def check_clean(s):
    out = s.output()
    for mark in SANITIZER_ERRORS:
        expect(mark not in out, "sanitizer report:\n" + out[-6000:])
    leaks = own_leaks(out)
    expect(not leaks, "leaks in the program's own code:\n" + "\n\n".join(leaks)[:6000])


def run_and_quit(s, frames_seconds=1.0):
    """Waits for the window and its first drawn frame, lets frames run for
    frames_seconds under the hostile input, then quits with ESC."""
    s.wait_for_count("Core_MainLoop", 1, timeout=90)
    wid = s.window(timeout=60)
    s.wait_until(lambda: s.shows_drawing(wid), timeout=90, what="a drawn frame", interval=0.2)
    time.sleep(frames_seconds)  # part of the input: how long the frames run
    expect(s.running(), "still running after its first frames")
    s.hold(["Escape"], lambda: not s.running(), timeout=60, what="the program to end")
    code = s.wait_exit(60)
    check_clean(s)
    expect(code == 0, "exit code %s; output:\n%s" % (code, s.output()[-3000:]))


def with_chamber(**changes):
    files = chamber_files()
    for name, content in changes.items():
        name = name.replace("__", ".")
        if content is None:
            files.pop(name, None)
        else:
            files[name] = content
    return files


def truncated_mid_face(data):
    # The first room's header (4 + 16 bytes), then most of its first face.
    return data[:4 + 16 + 24 + 12 + 5]


CASES = {
    "empty_directory": lambda: {},
    "font_missing": lambda: with_chamber(vera__ttf=None),
    "font_empty": lambda: with_chamber(vera__ttf=b""),
    "font_not_a_font": lambda: with_chamber(vera__ttf=noise(50000, 1)),
    "containers_empty": lambda: with_chamber(**{"0__ctr": b""}),
    "containers_truncated": lambda: with_chamber(
        **{"0__ctr": truncated_mid_face(chamber_files()["0.ctr"])}),
    "containers_random": lambda: with_chamber(**{"0__ctr": noise(4096, 2)}),
    "obj_random": lambda: with_chamber(chamber__obj=noise(100000, 3)),
    "obj_long_line": lambda: with_chamber(
        chamber__obj=b"v 0 0 0\nv 1 0 0\nv 0 1 0\n# " + b"x" * 5000 + b"\nf 1 2 3\n"),
    "obj_out_of_range": lambda: with_chamber(
        chamber__obj=b"v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\n"
                     b"f 1 2 99\nf -5 2 3\nf 1//7 2//-3 3//1\nf 4000000000 1 2\nf 1 2 3\n"),
    "mtl_missing": lambda: with_chamber(chamber__mtl=None),
    "config_random": lambda: with_chamber(config__dat=noise(64, 4)),
}


def run_case(name):
    with Session(files=CASES[name]()) as s:
        run_and_quit(s)


def test_read_only_directory():
    """Settings and log cannot be written: the program runs, and the files
    that were there stay byte for byte as they were."""
    files = with_chamber(config__dat=b"640\n480\n32\n65537\n",
                         messages__txt=b"an earlier log\n")
    with Session(files=files, start=False) as s:
        before = {name: s.read(name) for name in os.listdir(s.dir)}
        s.start_read_only()
        s.wait_for_count("Core_MainLoop", 1, timeout=90)
        s.hold(["F9"], lambda: "Exporting Message Buffer" in s.lines(), what="the export")
        s.hold(["Alt_L", "Return"],
               lambda: "Core_Initialize_WindowFullscreenSwap" in s.lines(), what="the swap")
        s.wait_for_count("Sandbox_LoadTextures", 2, timeout=60)
        run_and_quit(s)
        after = {name: s.read(name) for name in os.listdir(s.dir)}
        expect(after == before, "the directory changed: %r" % sorted(after))


def test_ten_thousand_files():
    files = chamber_files()
    with Session(files=files, start=False) as s:
        for i in range(10000):
            open(os.path.join(s.dir, "entry%05d.dat" % i), "wb").close()
        s.start()
        run_and_quit(s)


def test_kill_while_saving():
    """SIGKILL at random moments while the settings are saved (Alt+Enter
    saves twice): config.dat is always the old or the new complete file.
    Every write() is slowed down by strace, so that a file replaced in place
    would be caught half-written."""
    complete = {"640\n480\n32\n65537\n", "640\n480\n32\n65538\n",
                "1024\n768\n32\n65537\n", "1024\n768\n32\n65538\n"}
    slowed = ["strace", "-f", "-o", "/dev/null", "-e", "trace=write",
              "-e", "inject=write:delay_enter=30000", program()]
    rng = random.Random(5)
    with Session(files=chamber_files(), start=False) as s:
        for round_ in range(20):
            s.start(slowed)
            s.wait_for_count("Core_MainLoop", 1, timeout=90)
            wid = s.window()
            s.xdotool("windowfocus", "--sync", wid, "keydown", "Alt_L", "keydown", "Return")
            time.sleep(rng.uniform(0.0, 0.5))
            os.killpg(s.proc.pid, signal.SIGKILL)
            s.proc.wait()
            s.xdotool("keyup", "Return", "keyup", "Alt_L")
            s.out.close()
            config = s.read("config.dat")
            expect(config in complete, "round %d: config.dat is %r" % (round_, config))


def test_session():
    """A whole session: frames with keys held, F9, Alt+Enter twice, F11, ESC."""
    with Session(files=chamber_files()) as s:
        s.wait_for_count("Core_MainLoop", 1, timeout=90)
        s.window(timeout=60)
        s.hold_for(["Up", "Left", "f", "e"], 2.0)
        s.xdotool("mousemove", "--window", s.window(), "400", "300")
        s.hold(["F9"], lambda: "Exporting Message Buffer" in s.lines(), what="the export")
        # Keys are released as soon as the rebuild or reset begins, so that
        # they cannot repeat into the new window.
        for count in (1, 2):
            s.hold(["Alt_L", "Return"],
                   lambda: s.lines().count("Core_Initialize_WindowFullscreenSwap") >= count,
                   timeout=60, what="a full-screen swap")
            s.wait_for_count("Sandbox_LoadTextures", count + 1, timeout=60)
            s.window(timeout=60)
        s.hold(["F11"], lambda: "Core_Reset" in s.lines(), timeout=60, what="the reset")
        s.wait_for_count("Core_MainLoop", 2, timeout=60)
        run_and_quit(s)


# Every key of the program but ESC, as xdotool names them: the chamber's own,
# the instruments', the rewind keys and F8. Alt+Enter rebuilds the window and
# F11 restarts everything, so they come up less often.
RANDOM_KEYS = (["q", "f", "s", "e", "d", "r", "w", "Up", "Down", "Left", "Right", "Control_L",
                "Shift_L", "F9"]
               + ["p", "o", "bracketleft", "bracketright", "b", "F1", "F2", "F3", "F4", "F12"] * 2
               + ["comma", "period", "F8"] * 2)
RARE_KEYS = [["F11"], ["Alt_L", "Return"]]


def test_random_keys(seconds=180):
    """Three minutes of random keys, chords and pointer moves, every
    instrument switched on and off many times; then ESC."""
    rng = random.Random(9)
    with Session(files=chamber_files()) as s:
        s.wait_for_count("Core_MainLoop", 1, timeout=90)
        s.window(timeout=60)
        deadline = time.time() + seconds
        pressed = 0
        while time.time() < deadline:
            roll = rng.random()
            try:
                if roll < 0.15:
                    wid = s.window(timeout=60)
                    s.xdotool("mousemove", "--window", wid, str(rng.randrange(640)),
                              str(rng.randrange(480)))
                    continue
                if roll < 0.17:
                    keys = rng.choice(RARE_KEYS)
                else:
                    keys = list(dict.fromkeys(rng.sample(RANDOM_KEYS, rng.choice([1, 1, 1, 2, 3]))))
                s.hold_for(keys, rng.uniform(0.02, 0.3))
            except subprocess.CalledProcessError:
                # F11 and Alt+Enter replace the window: one found a moment
                # before may be gone when xdotool reaches it.
                pass
            pressed += 1
            expect(s.running(), "still running after %d presses" % pressed)
        for _ in range(10):
            try:
                s.window(timeout=60)
                break
            except subprocess.CalledProcessError:
                time.sleep(0.5)
        s.hold(["Escape"], lambda: not s.running(), timeout=60, what="the program to end")
        code = s.wait_exit(60)
        check_clean(s)
        expect(code == 0, "exit code %s; output:\n%s" % (code, s.output()[-3000:]))


if __name__ == "__main__":
    run_test("hostile_test.py", globals(),
             {name: (lambda n: lambda: run_case(n))(name) for name in CASES})
