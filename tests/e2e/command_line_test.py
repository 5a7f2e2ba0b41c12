"""End-to-end tests of the program's command line: help, version, bad
command lines, running in another directory, and the line a window that
cannot open leaves on stderr. Usage: command_line_test.py NAME."""

import os
import subprocess
import tempfile
import shutil

from harness import Session, chamber_files, expect, expect_equal, program, run_test

USAGE = ("usage: chamber [DIRECTORY] [--replay FILE]\n"
         "       chamber --help | --version\n")


def run_without_display(arguments, cwd):
    """Runs the program with no X server to open a window on; a command line
    that is acted on before start-up must not need one."""
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    return subprocess.run([program()] + arguments, cwd=cwd, env=env, timeout=30,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def test_help_and_version():
    cwd = tempfile.mkdtemp(prefix="chamber-cli-")
    try:
        for flag in ("--help", "-h"):
            done = run_without_display([flag], cwd)
            out = done.stdout.decode()
            expect_equal(done.returncode, 0, "exit code of " + flag)
            expect(out.startswith(USAGE), "%s starts with the usage:\n%s" % (flag, out))
            for row in ("ESC", "F9", "F11", "Alt + Enter", "Up / Down / Left / Right", "mouse"):
                expect(row in out, "%s lists the key %r" % (flag, row))
            expect_equal(done.stderr, b"", "stderr of " + flag)
        done = run_without_display(["--version"], cwd)
        expect_equal(done.returncode, 0, "exit code of --version")
        version = done.stdout.decode()
        expect(version.startswith("chamber ") and version.count("\n") == 1
               and version.split()[1].count(".") == 2, "version line: %r" % version)
        expect_equal(os.listdir(cwd), [], "nothing written")
    finally:
        shutil.rmtree(cwd, ignore_errors=True)


def test_bad_command_lines():
    cwd = tempfile.mkdtemp(prefix="chamber-cli-")
    try:
        with open(os.path.join(cwd, "a-file"), "w") as f:
            f.write("not a directory")
        cases = [
            (["--fullscreen"], "chamber: unknown option '--fullscreen'"),
            (["no-such-dir"], "chamber: directory 'no-such-dir' does not exist"),
            (["a-file"], "chamber: 'a-file' is not a directory"),
            ([".", "."], "chamber: more than one directory given ('.' and '.')"),
            (["--replay"], "chamber: option '--replay' needs a file name"),
        ]
        for arguments, line in cases:
            done = run_without_display(arguments, cwd)
            expect_equal(done.returncode, 2, "exit code of %r" % arguments)
            expect_equal(done.stderr.decode(), line + "\n" + USAGE, "stderr of %r" % arguments)
            # Not even the first label: the program never started.
            expect_equal(done.stdout, b"", "stdout of %r" % arguments)
        expect_equal(sorted(os.listdir(cwd)), ["a-file"], "nothing written")
    finally:
        shutil.rmtree(cwd, ignore_errors=True)


def test_directory():
    # Started from an empty directory with the chamber in a subdirectory:
    # everything is read from and written to the subdirectory.
    with Session(start=False) as s:
        chamber = s.path("chamber")
        os.mkdir(chamber)
        for name, content in chamber_files().items():
            with open(os.path.join(chamber, name), "wb") as f:
                f.write(content)
        s.start([program(), "chamber"])
        s.wait_for_count("Core_MainLoop", 1)
        messages = os.path.join(chamber, "messages.txt")

        def exported():
            # Written whole once it ends with the last start-up label.
            try:
                with open(messages) as f:
                    return f.read().endswith("Core_MainLoop\n")
            except OSError:
                return False
        s.hold(["F9"], exported, what="messages.txt in the chamber directory")
        s.hold(["Escape"], lambda: not s.running(), what="the program to end")
        expect_equal(s.wait_exit(), 0, "exit code")
        expect_equal(sorted(os.listdir(s.dir)), [".stdout", "chamber"],
                     "nothing written where it was started")
        expect_equal(sorted(os.listdir(chamber)),
                     ["0.ctr", "chamber.mtl", "chamber.obj", "config.dat", "messages.txt",
                      "vera.ttf"], "files of the chamber directory")
        with open(os.path.join(chamber, "config.dat")) as f:
            expect_equal(f.read(), "640\n480\n32\n65537\n", "config.dat")


def test_window_that_cannot_open():
    # (settings, the line's size and mode)
    cases = [
        ("100000\n100000\n32\n65537\n", "100000 x 100000, windowed, 32-bit colour"),
        ("640\n480\n16\n7\n", "640 x 480, mode 7, 16-bit colour"),
        ("20000\n480\n32\n65538\n", "20000 x 480, full-screen, 32-bit colour"),
    ]
    for settings, asked in cases:
        with Session(files={"config.dat": settings}, start=False) as s:
            done = subprocess.run([program()], cwd=s.dir, env=s.env, timeout=60,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            expect_equal(done.returncode, 0, "exit code for %r" % settings)
            lines = done.stderr.decode().splitlines()
            ours = [l for l in lines if "config.dat" in l]
            expect_equal(ours, ["chamber: the window asked for (%s) did not open; size and "
                                "mode come from config.dat, or the defaults when it is missing "
                                "or invalid" % asked], "stderr for %r" % settings)
            expect("Core_Shutdown" in done.stdout.decode().splitlines(),
                   "the normal shutdown for %r" % settings)
            expect_equal(s.read("config.dat"), settings, "config.dat untouched")


if __name__ == "__main__":
    run_test("command_line_test.py", globals())
