"""End-to-end tests of the application frame: the real program under Xvfb,
driven with xdotool. Usage: frame_test.py NAME (one test per run)."""

import os
import subprocess

from harness import Session, expect, expect_equal, run_test

# Every label the program records in its message log. Other console lines
# (progress lines of loaders, "Exporting Message Buffer", "Sandbox_Shutdown")
# never reach the log.
LABELS = {
    "Core_Initialize", "Core_Initialize_Fonts", "Core_MainLoop", "Core_Reset", "Core_Shutdown",
    "Core_Unload", "Menu_Initialize", "Menu_LoadTextures", "Menu_Shutdown", "Menu_Unload",
    "Sandbox_Unload", "Core_Initialize_LoadConfig", "Core_Initialize_SaveConfig",
    "Core_Initialize_WindowFullscreenSwap", "Core_Initialize_WindowResizeCallback",
    "Sandbox_Initialize", "Sandbox_LoadTextures",
}

START_UP = ["Core_Initialize", "Core_Initialize_LoadConfig",
            "Core_Initialize_WindowResizeCallback", "Core_Initialize_SaveConfig",
            "Core_Initialize_Fonts", "Menu_Initialize", "Menu_LoadTextures",
            "Sandbox_Initialize", "Sandbox_LoadTextures", "Core_MainLoop"]
SHUT_DOWN = ["Core_Shutdown", "Core_Unload", "Menu_Shutdown", "Menu_Unload"]
REBUILD = ["Core_Initialize_WindowFullscreenSwap", "Core_Initialize_SaveConfig", "Core_Unload",
           "Menu_Unload", "Sandbox_Unload", "Core_Initialize_LoadConfig",
           "Core_Initialize_WindowResizeCallback", "Core_Initialize_SaveConfig",
           "Core_Initialize_Fonts", "Menu_LoadTextures", "Sandbox_LoadTextures"]


SWAP = "Core_Initialize_WindowFullscreenSwap"


def labels(session):
    return [line for line in session.lines() if line in LABELS]




def override_redirect(session, wid):
    """Whether the window bypasses window management, as a full-screen window
    does where no window manager runs."""
    out = subprocess.run(["xwininfo", "-id", wid], env=session.env, check=True, timeout=20,
                         stdout=subprocess.PIPE).stdout.decode()
    return "Override Redirect State: yes" in out


def test_startup():
    with Session() as s:
        s.wait_for_count("Core_MainLoop", 1)
        expect_equal(labels(s), START_UP, "start-up labels")
        expect_equal(s.read("config.dat"), "640\n480\n32\n65537\n", "config.dat")
        wid = s.window()
        expect_equal(s.geometry(wid), (640, 480), "window size")
        expect(s.running(), "the program keeps running")


def test_f9_export():
    with Session() as s:
        s.wait_for_count("Core_MainLoop", 1)
        s.hold(["F9"], lambda: "Exporting Message Buffer" in s.lines(), what="the export")
        # The line comes before the file is written: wait for the file.
        s.wait_for_file("messages.txt", "".join(l + "\n" for l in START_UP))
        expect_equal(labels(s), START_UP, "labels logged so far")
        expect("Exporting Message Buffer\n" not in s.read("messages.txt"),
               "the export line stays on the console")


def test_f9_cannot_write():
    """F9 held for many frames with a directory where messages.txt goes:
    one line on stderr per press, with the system's reason."""
    with Session(start=False) as s:
        os.mkdir(s.path("messages.txt"))
        s.start()
        s.wait_for_count("Core_MainLoop", 1)
        for presses in (1, 2):
            s.hold_for(["F9"], 0.5)
            s.wait_until(lambda: s.lines().count(CANNOT_WRITE) == presses,
                         what="%d failure lines" % presses)
        expect(s.lines().count("Exporting Message Buffer") > 2, "an export in every frame held")
        expect_equal(s.lines().count(CANNOT_WRITE), 2, "failure lines")
        expect(os.path.isdir(s.path("messages.txt")), "the directory stays")


CANNOT_WRITE = "chamber: cannot write messages.txt: Is a directory"


def test_alt_enter():
    with Session() as s:
        s.wait_for_count("Core_MainLoop", 1)
        # Each toggle is released as soon as the rebuild begins, so that it
        # cannot repeat into the new window.
        s.hold(["Alt_L", "Return"], lambda: SWAP in labels(s), what="the full-screen swap")
        s.wait_for_count("Sandbox_LoadTextures", 2)
        s.wait_until(lambda: s.read("config.dat").endswith("65538\n"), what="config.dat mode")
        wid = s.window()
        s.wait_until(lambda: s.geometry(wid) == (1024, 768), what="a full-screen window")
        expect(override_redirect(s, wid), "the full-screen window is not managed")
        first = labels(s)
        expect_equal(first[len(START_UP):len(START_UP) + len(REBUILD)], REBUILD, "rebuild labels")

        s.hold(["Alt_R", "Return"], lambda: labels(s).count(SWAP) >= 2, what="the windowed swap")
        s.wait_for_count("Sandbox_LoadTextures", 3)
        s.wait_until(lambda: s.read("config.dat").endswith("65537\n"), what="config.dat mode")
        wid = s.window()
        expect(not override_redirect(s, wid), "back to an ordinary window")
        expect(s.running(), "the program keeps running")


def test_f11_reset():
    with Session() as s:
        s.wait_for_count("Core_MainLoop", 1)
        # Released as soon as the reset begins: a key still held when the new
        # window comes up repeats into it, and resets again.
        s.hold(["F11"], lambda: "Core_Reset" in labels(s), what="the reset")
        s.wait_for_count("Core_MainLoop", 2)
        # The new window comes up and takes the focus.
        s.window()
        expect(s.running(), "the program keeps running after a reset")
        expect_equal(labels(s), START_UP + ["Core_Reset"] + SHUT_DOWN + START_UP,
                     "labels of a reset")
        expect("Sandbox_Shutdown" in s.lines(), "the shutdown's console line")


def test_escape():
    with Session() as s:
        s.wait_for_count("Core_MainLoop", 1)
        s.hold(["Escape"], lambda: not s.running(), what="the program to end")
        expect_equal(s.wait_exit(), 0, "exit code")
        expect_equal(labels(s), START_UP + SHUT_DOWN, "labels")
        expect_equal(s.lines()[-1], "Sandbox_Shutdown", "last console line")


def test_close_window():
    with Session() as s:
        s.wait_for_count("Core_MainLoop", 1)
        s.request_close(s.window())
        expect_equal(s.wait_exit(), 0, "exit code")
        expect_equal(labels(s), START_UP + SHUT_DOWN, "labels")


def test_mode_that_cannot_open():
    settings = "640\n480\n32\n7\n"
    with Session(files={"config.dat": settings}) as s:
        expect_equal(s.wait_exit(), 0, "exit code")
        expect("Core_Initialize_WindowResizeCallback" not in labels(s), "no window opened")
        expect_equal(labels(s)[-len(SHUT_DOWN):], SHUT_DOWN, "shutdown labels")
        expect_equal(s.read("config.dat"), settings, "config.dat untouched")


def test_no_display():
    # No X server at all: no window opens, and the program ends after its
    # first frame through the normal path.
    with Session(start=False) as s:
        del s.env["DISPLAY"]
        s.start()
        expect_equal(s.wait_exit(), 0, "exit code")
        expect_equal(labels(s)[-len(SHUT_DOWN):], SHUT_DOWN, "shutdown labels")
        expect(not os.path.exists(s.path("config.dat")), "no settings saved without a window")
        # After about a second of tries, one line says what failed.
        reasons = [l for l in s.lines() if l.startswith("chamber: ")]
        expect_equal(len(reasons), 1, "lines saying why no window opened")
        expect(reasons[0].startswith("chamber: cannot initialise the window library: ")
               and "display" in reasons[0].lower(), "the window library's own error text: %r" % reasons[0])


def test_resets_while_clients_come_and_go():
    # Other X clients connecting and disconnecting at the moment of a reset
    # can make the display refuse the program's new connection for a moment;
    # no number of resets may end the program.
    with Session(files={"config.dat": "1024\n768\n32\n65537\n"}) as s:
        s.wait_for_count("Core_MainLoop", 1)
        churn = subprocess.Popen(
            ["sh", "-c", "for i in 1 2; do (while :; do xdotool getmouselocation >/dev/null 2>&1; done) & done; wait"],
            env=s.env, start_new_session=True)
        try:
            for reset in range(1, 31):
                started = labels(s).count("Core_MainLoop")
                s.hold(["F11"], lambda: labels(s).count("Core_MainLoop") > started,
                       timeout=30, what="restart %d" % reset)
                expect(s.running(), "the program keeps running after reset %d" % reset)
                s.wait_for_count("Core_Initialize_SaveConfig", started + 1)
        finally:
            os.killpg(churn.pid, 9)
            churn.wait()
        expect(not any(l.startswith("chamber: ") for l in s.lines()), "no failure reported")
        s.hold(["Escape"], lambda: not s.running(), what="the program to end")
        expect_equal(s.wait_exit(), 0, "exit code")


def test_hostile_settings():
    # (settings file, window size expected, or None when no window may open)
    cases = [
        (b"\x7fELF\x02\x01garbage\xff\xfe", (640, 480)),
        (b"0\n0\n32\n65537\n", (640, 480)),     # both sides derived
        (b"800\n0\n32\n65537\n", (800, 600)),   # height derived at 4:3
        (b"-1\n480\n32\n65537\n", None),        # wraps to 4294967295
        (b"100000\n100000\n32\n65537\n", None),
        (b"640\n480\n16\n", None),              # mode 0
    ]
    for settings, size in cases:
        with Session(files={"config.dat": settings}) as s:
            if size is None:
                expect_equal(s.wait_exit(), 0, "exit code for %r" % settings)
                continue
            s.wait_for_count("Core_MainLoop", 1)
            expect_equal(s.geometry(s.window()), size, "window for %r" % settings)
            s.hold(["Escape"], lambda: not s.running(), what="the program to end")
            expect_equal(s.wait_exit(), 0, "exit code for %r" % settings)


if __name__ == "__main__":
    run_test("frame_test.py", globals())
