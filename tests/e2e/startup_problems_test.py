"""End-to-end tests of what the program says about the files it reads at
start-up: a missing or damaged container file, a missing font, an OBJ file
with face lines it cannot read whole, and a replay option that names a
directory or comes twice. Usage: startup_problems_test.py NAME."""

import os
import subprocess
import tempfile
import shutil

from harness import (Session, chamber_files, expect, expect_equal, frame_calls, program, run_test,
                     trace_command)


def quit_and_exit(s):
    s.hold(["Escape"], lambda: not s.running(), timeout=60, what="the program to end")
    expect_equal(s.wait_exit(60), 0, "exit code")


def test_missing_container_file_on_stderr_and_screen():
    files = chamber_files()
    del files["0.ctr"]
    notice = "cannot open container file '0.ctr': No such file or directory"
    s = Session(files=files, start=False)
    with s:
        s.trace = os.path.join(s.dir, ".trace")
        s.start(trace_command(s.trace))
        s.wait_for_count("Core_MainLoop", 1, timeout=60)
        s.window()
        s.wait_for_frame(lambda f: notice in f, what="the notice on screen")
        # The notice sits in the bottom-left corner, below the debug panel,
        # whose bottom edge is 100 pixels above the window's (480 high).
        calls = frame_calls(s.trace, "glTranslatef|glCallLists", last=1)[-1]
        index = next(i for i, (_, blob) in enumerate(calls) if blob and blob.decode("latin-1") == notice)
        expect(calls[index - 2][0].startswith("glTranslatef(x = 10, y = 450, z = 0)"),
               "drawn at (10, 450): %r" % (calls[index - 2][0],))
        quit_and_exit(s)
        lines = s.lines()
        expect_equal([l for l in lines if l.startswith("chamber:")], ["chamber: " + notice],
                     "the one line on stderr")


def test_damaged_files_each_get_one_line():
    files = chamber_files()
    del files["vera.ttf"]
    files["0.ctr"] = files["0.ctr"][:200]
    files["chamber.obj"] = (files["chamber.obj"].decode() +
                            "f 1  2  3  4\nf 1 2 3 4 5 6\n").encode()
    obj_lines = files["chamber.obj"].decode().count("\n")
    with Session(files=files) as s:
        s.wait_for_count("Core_MainLoop", 1, timeout=60)
        s.window()
        quit_and_exit(s)
        out = s.output()
        for line in ("chamber: cannot open font file 'vera.ttf': No such file or directory: "
                     "no text will show",
                     "chamber: container file '0.ctr' is damaged: it ends after 0 whole rooms of "
                     "the 8 it lists",
                     "chamber.obj: 2 face lines not fully read (first at line %d: two blanks in a "
                     "row)" % (obj_lines - 1)):
            expect_equal(out.count(line + "\n"), 1, "times %r is printed; output:\n%s" % (line, out))


def test_replay_of_a_directory_or_twice():
    cwd = tempfile.mkdtemp(prefix="chamber-cli-")
    try:
        os.mkdir(os.path.join(cwd, "adir"))
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        for arguments, says in (
                (["--replay", "adir"], "chamber: cannot read options file 'adir': Is a directory\n"),
                (["--replay", "a.txt", "--replay", "b.txt"],
                 "chamber: option '--replay' given twice ('a.txt' and 'b.txt'): a window plays one "
                 "replay\n")):
            done = subprocess.run([program()] + arguments, cwd=cwd, env=env, timeout=30,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            expect_equal(done.returncode, 2, "exit code of %r" % arguments)
            expect_equal(done.stdout, b"", "stdout of %r" % arguments)
            expect(done.stderr.decode().startswith(says), "stderr of %r: %r" % (arguments, done.stderr))
    finally:
        shutil.rmtree(cwd, ignore_errors=True)


if __name__ == "__main__":
    run_test("startup_problems_test.py", globals())
