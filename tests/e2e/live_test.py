"""End-to-end tests of live authoring: the program follows its chamber's
files while it runs, chamber-build --watch rebuilds on every save, and a
replay names the container file it was recorded on."""

import hashlib
import os
import shutil
import signal
import struct
import subprocess
import tempfile
import time

from harness import (Failure, Session, build_dir, chamber_files, expect, expect_equal, program,
                     run_test, trace_command)


def tool(name):
    return os.path.join(build_dir(), "tools", name, name)


def description(rooms):
    """A chamber of boxes in a row along +x; the ball's start (0, 0.5, 0)
    lies in the last one, so the "Containers: " line shows which file the
    rooms came from."""
    text = ""
    for k in range(rooms):
        x = 10 * (rooms - 1 - k)
        text += ("room r%d\n  gravity 0 -1 0\n  colour 0.%d 0.5 0.5\n"
                 "  box %d 0 -2  %d 3 2\nend\n" % (k, k + 1, x - 2, x + 2))
    return text


def built(rooms):
    """The three files chamber-build writes for description(rooms)."""
    work = tempfile.mkdtemp(prefix="chamber-live-")
    try:
        with open(os.path.join(work, "d.txt"), "w") as f:
            f.write(description(rooms))
        subprocess.run([tool("chamber-build"), "d.txt", "out"], cwd=work, check=True, timeout=60,
                       stdout=subprocess.DEVNULL)
        files = {}
        for name in ("0.ctr", "chamber.obj", "chamber.mtl"):
            with open(os.path.join(work, "out", name), "rb") as f:
                files[name] = f.read()
        return files
    finally:
        shutil.rmtree(work, ignore_errors=True)


def replace(s, name, content):
    """Replaces a file of the session's directory as editors and exporters
    do: a new file renamed over the old one."""
    temporary = s.path("." + name + ".new")
    with open(temporary, "wb") as f:
        f.write(content)
    os.rename(temporary, s.path(name))


def reload_lines(s):
    return [l for l in s.lines() if l.startswith(("Reloaded ", "Not reloaded: "))]


def traced(files):
    s = Session(files, start=False)
    s.trace = os.path.join(s.dir, ".trace")
    s.start(trace_command(s.trace))
    s.wait_for_count("Core_MainLoop", 1, timeout=60)
    s.window()
    return s


def tap(s, key):
    s.window()
    s.xdotool("keydown", key)
    time.sleep(0.2)
    s.xdotool("keyup", key)
    time.sleep(0.1)


def quit(s):
    s.hold(["Escape"], lambda: not s.running(), timeout=60, what="the program to end")
    expect_equal(s.wait_exit(60), 0, "exit code")


def test_container_replaced_and_rewritten_in_place():
    with traced(chamber_files()) as s:
        s.wait_for_frame(lambda f: "Containers: 0 " in f, what="the ball in the shipped hall")
        replace(s, "0.ctr", built(3)["0.ctr"])
        s.wait_for_count("Reloaded 0.ctr: 3 rooms", 1)
        s.wait_for_frame(lambda f: "Containers: 2 " in f, what="the ball in room 2 of 3")

        # Rewritten in place, slowly, in pieces: never read before it is whole.
        two = built(2)["0.ctr"]
        with open(s.path("0.ctr"), "r+b") as f:
            f.truncate(0)
            for start in range(0, len(two), 64):
                f.write(two[start:start + 64])
                f.flush()
                time.sleep(0.03)
        s.wait_for_count("Reloaded 0.ctr: 2 rooms", 1)
        s.wait_for_frame(lambda f: "Containers: 1 " in f, what="the ball in room 1 of 2")
        expect_equal(reload_lines(s), ["Reloaded 0.ctr: 3 rooms", "Reloaded 0.ctr: 2 rooms"],
                     "reloads, none of a half-written file")
        quit(s)


def test_unusable_files_keep_the_chamber():
    files = chamber_files()
    with traced(files) as s:
        s.wait_for_frame(lambda f: "Containers: 0 " in f, what="the ball in the shipped hall")
        problem = "Not reloaded: 0.ctr ends inside a record; the chamber stays as it was"
        # Cut inside the second room's record.
        replace(s, "0.ctr", files["0.ctr"][:len(files["0.ctr"]) // 2 + 3])
        s.wait_for_count(problem, 1)
        s.wait_for_frame(lambda f: problem in f and "Containers: 0 " in f,
                         what="the message on screen, the old rooms in use")

        replace(s, "0.ctr", files["0.ctr"])
        back = "Reloaded 0.ctr: %d rooms" % struct.unpack("<I", files["0.ctr"][:4])
        s.wait_for_count(back, 1)
        s.wait_for_frame(lambda f: problem not in f, what="the message gone")

        no_triangles = "Not reloaded: chamber.obj holds no triangles; the chamber stays as it was"
        replace(s, "chamber.obj", b"mtllib chamber.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\n")
        s.wait_for_count(no_triangles, 1)
        s.wait_for_frame(lambda f: no_triangles in f, what="the OBJ's message on screen")
        expect(s.running(), "still running")
        expect_equal(reload_lines(s), [problem, back, no_triangles],
                     "console lines of the reloads")
        quit(s)


def test_chamber_build_watch():
    work = tempfile.mkdtemp(prefix="chamber-live-")
    log_path = os.path.join(work, "log")
    desc = os.path.join(work, "room.txt")
    out = os.path.join(work, "out")
    with open(desc, "w") as f:
        f.write(description(1))
    log = open(log_path, "wb")
    proc = subprocess.Popen([tool("chamber-build"), "--watch", desc, out], stdout=log,
                            stderr=subprocess.STDOUT, start_new_session=True)

    def output():
        with open(log_path) as f:
            return f.read()

    def wait_for(text, timeout=20):
        deadline = time.time() + timeout
        while text not in output():
            if time.time() > deadline or proc.poll() is not None:
                raise Failure("no %r in:\n%s" % (text, output()))
            time.sleep(0.05)

    def outputs():
        return {name: open(os.path.join(out, name), "rb").read() for name in os.listdir(out)}

    try:
        wait_for("chamber-build: watching")
        expect("chamber-build: 1 room," in output(), "the first build: " + output())
        with open(desc, "w") as f:  # rewritten in place, as many editors save
            f.write(description(2))
        wait_for("chamber-build: 2 rooms")
        good = outputs()
        expect_equal(sorted(good), ["0.ctr", "chamber.mtl", "chamber.obj"],
                     "the outputs, no temporary file left")
        expect_equal(good, built(2), "the outputs of the edited description")

        with open(desc, "w") as f:
            f.write("room broken\n  gravity 0 -1\nend\n")
        wait_for(desc + ":2: error:")
        time.sleep(1)
        expect_equal(outputs(), good, "the outputs after a wrong description")

        proc.send_signal(signal.SIGINT)
        expect_equal(proc.wait(20), 0, "exit code after Ctrl+C")
    finally:
        if proc.poll() is None:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
        log.close()
        shutil.rmtree(work, ignore_errors=True)


def test_edit_save_see():
    """chamber-build --watch into the program's directory: a saved
    description reaches the window."""
    files = {"vera.ttf": chamber_files()["vera.ttf"]}
    with Session(files, start=False) as s:
        work = tempfile.mkdtemp(prefix="chamber-live-")
        s.extra_dirs.append(work)
        desc = os.path.join(work, "chamber.txt")
        with open(desc, "w") as f:
            f.write(description(1))
        log = open(os.path.join(os.path.dirname(desc), "log"), "wb")
        build = subprocess.Popen([tool("chamber-build"), "--watch", desc, s.dir], stdout=log,
                                 stderr=subprocess.STDOUT, start_new_session=True)
        try:
            s.wait_until(lambda: os.path.exists(s.path("0.ctr")), what="the first build")
            s.start()
            s.wait_for_count("Core_MainLoop", 1, timeout=60)
            with open(desc, "w") as f:
                f.write(description(3))
            s.wait_until(lambda: any("0.ctr: 3 rooms" in l for l in reload_lines(s)),
                         what="the new chamber in the window")
            expect(not [l for l in reload_lines(s) if l.startswith("Not")],
                   "every reload usable: %r" % reload_lines(s))
            quit(s)
        finally:
            build.send_signal(signal.SIGINT)
            try:
                build.wait(20)
            except subprocess.TimeoutExpired:
                os.killpg(build.pid, signal.SIGKILL)
                build.wait()
            log.close()


def test_replay_after_reload_names_its_container():
    files = chamber_files()
    with Session(files) as s:
        s.wait_for_count("Core_MainLoop", 1, timeout=60)
        three = built(3)["0.ctr"]
        replace(s, "0.ctr", three)
        s.wait_for_count("Reloaded 0.ctr: 3 rooms", 1)
        s.hold_for(["Up"], 0.6)
        tap(s, "F8")
        s.wait_for_count("Replay saved: replay-0001.txt and replay-0001.csv", 1)
        quit(s)
        options = s.read("replay-0001.txt")
        expect("--ctr-sha256 %s\n" % hashlib.sha256(three).hexdigest() in options,
               "the container's SHA-256 in\n" + options)

        def sim(*args):
            return subprocess.run([tool("chamber-sim"), "--args", "replay-0001.txt"] + list(args),
                                  cwd=s.dir, timeout=60, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE)

        run = sim()
        expect_equal(run.returncode, 0, "chamber-sim exit code (%s)" % run.stderr.decode())
        expect(run.stdout.decode("latin-1") == s.read("replay-0001.csv"),
               "chamber-sim reproduces the session on the reloaded rooms")
        rows = s.read("replay-0001.csv").count("\n") - 1
        run = sim("--compare", "replay-0001.csv")
        expect_equal((run.returncode, run.stdout.decode()),
                     (0, "chamber-sim: all %d rows identical to replay-0001.csv\n" % rows),
                     "--compare on the saved trajectory")

        # One bit off in the second row's vy: named by step, body and column.
        lines = s.read("replay-0001.csv").split("\n")
        fields = lines[2].split(",")
        fields[6] = "%.9g" % (float(fields[6]) * (1 + 2 ** -20))
        lines[2] = ",".join(fields)
        with open(s.path("changed.csv"), "w") as f:
            f.write("\n".join(lines))
        run = sim("--compare", "changed.csv")
        expect_equal(run.returncode, 1, "--compare exit code on a difference")
        err = run.stderr.decode()
        expect(err.startswith("chamber-sim: changed.csv:3: step 2, body 0, column vy: the run "
                              "gives '") and err.count("\n") == 1, "the difference: %r" % err)

        # On the container file it was not recorded on: refused, by both.
        replace(s, "0.ctr", files["0.ctr"])
        says = "replay-0001.txt:5: the replay was recorded on another container file than '0.ctr'"
        run = sim()
        expect_equal(run.returncode, 2, "chamber-sim exit code on another container file")
        expect(run.stderr.decode().startswith("chamber-sim: " + says) and
               run.stdout == b"", "chamber-sim's refusal: %r" % run.stderr)
        run = subprocess.run([program(), "--replay", "replay-0001.txt"], cwd=s.dir, env=s.env,
                             timeout=30, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        expect_equal(run.returncode, 2, "chamber --replay exit code on another container file")
        err = run.stderr.decode()
        expect(err.startswith("chamber: " + says) and err.count("\n") == 1,
               "the program's refusal: %r" % err)


if __name__ == "__main__":
    run_test("live_test.py", globals())
