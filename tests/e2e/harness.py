"""Drives the real program under Xvfb for end-to-end tests.

Each Session has its own X server, its own temporary working directory and a
hard deadline; closing it kills everything it started and removes the
directory.
"""

import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

TITLE = "Vantrel Test Chamber - By - Kolm"


def build_dir():
    return os.environ.get("CHAMBER_BUILD_DIR") or os.path.join(
        os.path.dirname(__file__), "..", "..", "build")


def program():
    return os.environ.get("CHAMBER_PROGRAM") or os.path.join(build_dir(), "core", "chamber")


VERA = "/usr/share/fonts/truetype/ttf-bitstream-vera/Vera.ttf"


def chamber_files():
    """The working directory the program ships with: the font and the
    shipped chamber built into build/data."""
    files = {}
    with open(os.environ.get("CHAMBER_TEST_FONT", VERA), "rb") as f:
        files["vera.ttf"] = f.read()
    for name in ("0.ctr", "chamber.obj", "chamber.mtl"):
        with open(os.path.join(build_dir(), "data", name), "rb") as f:
            files[name] = f.read()
    return files


class Failure(AssertionError):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


def expect_equal(actual, expected, what):
    if actual != expected:
        raise Failure("%s:\n  expected %r\n  actual   %r" % (what, expected, actual))


def run_test(script, namespace, extra=None):
    """Runs the one test named on the command line: a function test_NAME of
    the script's namespace, or an entry of extra (name -> function)."""
    tests = {name[len("test_"):]: fn for name, fn in namespace.items() if name.startswith("test_")}
    tests.update(extra or {})
    if len(sys.argv) != 2 or sys.argv[1] not in tests:
        print("usage: %s {%s}" % (script, "|".join(sorted(tests))))
        sys.exit(2)
    tests[sys.argv[1]]()
    print("passed: " + sys.argv[1])


class Session:
    def __init__(self, files=None, screen="1024x768x24", env=None, start=True):
        self.dir = tempfile.mkdtemp(prefix="chamber-e2e-")
        for name, content in (files or {}).items():
            mode = "wb" if isinstance(content, bytes) else "w"
            with open(os.path.join(self.dir, name), mode) as f:
                f.write(content)
        self.xvfb = None
        self.proc = None
        self.extra_dirs = []  # removed by close(), beside self.dir
        self.env = dict(os.environ)
        self.env.update(env or {})
        self._start_x(screen)
        if start:
            self.start()

    # --- processes -----------------------------------------------------------

    def _start_x(self, screen):
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", screen, "-nolisten", "tcp",
             "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        os.close(write_end)
        number = b""
        deadline = time.time() + 20
        while not number.endswith(b"\n"):
            if time.time() > deadline:
                raise Failure("Xvfb did not start")
            chunk = os.read(read_end, 16)
            if not chunk:
                raise Failure("Xvfb exited")
            number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()
        self.env["DISPLAY"] = self.display

    def start(self, command=None):
        self.stdout_path = os.path.join(self.dir, ".stdout")
        self.out = open(self.stdout_path, "wb")
        self.proc = subprocess.Popen(command or [program()], cwd=self.dir, env=self.env,
                                     stdout=self.out, stderr=subprocess.STDOUT,
                                     start_new_session=True)

    def start_read_only(self):
        """Makes the working directory and its files read-only and starts the
        program there, its console in a file outside the directory. Root
        ignores permissions, so as root the program runs as nobody, from a
        copy it can read."""
        command = [program()]
        if os.geteuid() == 0:
            bindir = tempfile.mkdtemp(prefix="chamber-bin-")
            self.extra_dirs.append(bindir)
            os.chmod(bindir, 0o755)
            shutil.copy(program(), bindir)
            command = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                       os.path.join(bindir, os.path.basename(program()))]
            self.env["HOME"] = "/nonexistent"
        for name in os.listdir(self.dir):
            os.chmod(os.path.join(self.dir, name), 0o444)
        os.chmod(self.dir, 0o555)
        outdir = tempfile.mkdtemp(prefix="chamber-out-")
        self.extra_dirs.append(outdir)
        self.stdout_path = os.path.join(outdir, "out")
        self.out = open(self.stdout_path, "wb")
        self.proc = subprocess.Popen(command, cwd=self.dir, env=self.env, stdout=self.out,
                                     stderr=subprocess.STDOUT, start_new_session=True)

    def close(self):
        for p in (self.proc, self.xvfb):
            if p and p.poll() is None:
                try:
                    os.killpg(p.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                p.wait()
        if self.proc:
            self.out.close()
        os.chmod(self.dir, 0o755)  # start_read_only may have locked it
        shutil.rmtree(self.dir, ignore_errors=True)
        for d in self.extra_dirs:
            shutil.rmtree(d, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # --- observing -----------------------------------------------------------

    def output(self):
        with open(self.stdout_path, "rb") as f:
            return f.read().decode("latin-1")

    def lines(self):
        return self.output().splitlines()

    def path(self, name):
        return os.path.join(self.dir, name)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read().decode("latin-1")

    def wait_until(self, condition, timeout=20, what="condition", interval=0.05):
        deadline = time.time() + timeout
        while time.time() < deadline:
            value = condition()
            if value:
                return value
            if self.proc and self.proc.poll() is not None and not condition():
                raise Failure("program exited (code %s) while waiting for %s; output:\n%s"
                              % (self.proc.returncode, what, self.output()[-3000:]))
            time.sleep(interval)
        raise Failure("timed out waiting for %s; output:\n%s" % (what, self.output()[-3000:]))

    def wait_for_file(self, name, content, timeout=20):
        """Waits until the file name holds exactly content (text)."""
        def holds():
            try:
                return self.read(name) == content
            except OSError:
                return False
        return self.wait_until(holds, timeout, "%s to hold %r" % (name, content))

    def wait_for_frame(self, condition, timeout=60, what="a traced frame"):
        """Waits until the last frame written to the session's trace satisfies
        condition (called with the frame's overlay lines). apitrace writes
        its file in chunks, so the last frame there may lag the screen by a
        second or two."""
        def last_ok():
            try:
                frames = overlay_frames(self.trace, last=1)
            except subprocess.CalledProcessError:
                return False  # a chunk half-written: read again
            return bool(frames) and bool(frames[-1]) and condition(frames[-1])
        return self.wait_until(last_ok, timeout, what, interval=0.3)

    def wait_for_count(self, line, count, timeout=20):
        return self.wait_until(lambda: self.lines().count(line) >= count, timeout,
                               "%d x %r" % (count, line))

    def wait_exit(self, timeout=20):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure("program still running after %ss; output:\n%s"
                          % (timeout, self.output()[-3000:]))

    def running(self):
        return self.proc.poll() is None

    # --- driving -------------------------------------------------------------

    def xdotool(self, *args):
        return subprocess.run(["xdotool"] + list(args), env=self.env, check=True, timeout=20,
                              stdout=subprocess.PIPE).stdout.decode()

    def window(self, timeout=20):
        """The program's window id, once it is mapped and has the focus."""
        def find():
            try:
                ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", TITLE],
                                     env=self.env, timeout=20, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL).stdout.split()
            except subprocess.TimeoutExpired:
                return None
            return ids[-1].decode() if ids else None
        # A reset or a mode switch can replace the window between finding and
        # focusing it: then look again.
        deadline = time.time() + timeout
        while True:
            wid = self.wait_until(find, max(1, deadline - time.time()), "the window")
            try:
                self.xdotool("windowfocus", "--sync", wid)
                return wid
            except (subprocess.CalledProcessError, subprocess.TimeoutExpired):
                if time.time() > deadline:
                    raise
                time.sleep(0.05)

    def shows_drawing(self, wid):
        """Whether the window shows anything but black: a frame has been
        drawn into it (the overlay's brackets are drawn even without a font
        or a chamber)."""
        fd, shot = tempfile.mkstemp(prefix="chamber-shot-", suffix=".png")
        os.close(fd)
        try:
            subprocess.run(["import", "-window", wid, shot], env=self.env, check=True,
                           timeout=60, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            raw = subprocess.run(["convert", shot, "-depth", "8", "rgb:-"], check=True,
                                 timeout=60, stdout=subprocess.PIPE).stdout
            return any(raw)
        except subprocess.SubprocessError:
            return False  # the window went away meanwhile: nothing seen
        finally:
            os.remove(shot)

    def geometry(self, wid):
        out = self.xdotool("getwindowgeometry", "--shell", wid)
        values = dict(line.split("=", 1) for line in out.split())
        return int(values["WIDTH"]), int(values["HEIGHT"])

    def hold(self, keys, until, timeout=20, what="the key's effect"):
        """Holds keys (xdotool names) down until until() is true, then releases them."""
        self.window()
        for k in keys:
            self.xdotool("keydown", k)
        try:
            self.wait_until(until, timeout, what)
        finally:
            for k in reversed(keys):
                try:
                    self.xdotool("keyup", k)
                except (subprocess.SubprocessError, OSError):
                    pass

    def hold_for(self, keys, seconds):
        """Holds keys (xdotool names) down for a number of seconds."""
        deadline = time.time() + seconds
        self.hold(keys, lambda: time.time() >= deadline, timeout=seconds + 20,
                  what="%s held for %ss" % ("+".join(keys), seconds))

    def request_close(self, wid):
        """Asks the window to close, as a window manager's close button does."""
        send_wm_delete(self.display, int(wid))


def pixels(path):
    """Width, height and the RGB bytes of an image, through ImageMagick."""
    size = subprocess.run(["identify", "-format", "%w %h", path], check=True,
                          stdout=subprocess.PIPE).stdout.decode().split()
    raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], check=True,
                         stdout=subprocess.PIPE).stdout
    return int(size[0]), int(size[1]), raw


def trace_command(trace_path):
    """The program run under apitrace, recording every GL call into trace_path."""
    return ["apitrace", "trace", "-o", trace_path, program()]


def swap_calls(trace_path):
    """The call numbers of the frame ends (glXSwapBuffers) of a trace, which
    may still be being written."""
    return [n for n, _ in numbered_calls(trace_path, "glXSwapBuffers")]


def numbered_calls(trace_path, pattern):
    """(call number, dumped text) of every call whose name matches pattern."""
    dump = subprocess.run(["apitrace", "dump", "--grep=" + pattern, trace_path],
                          check=True, timeout=300, stdout=subprocess.PIPE).stdout.decode()
    calls = []
    for line in dump.splitlines():
        number, _, text = line.partition(" ")
        if number.isdigit():
            calls.append((int(number), text))
    return calls


def frame_calls(trace_path, pattern, last=None):
    """The calls matching pattern, frame by frame: a list of frames, each a
    list of (text of the call, content of its blob or None). With last, only
    the last that many complete frames."""
    calls = "*"
    if last is not None:
        swaps = swap_calls(trace_path)
        if not swaps:
            return []
        first = swaps[-last - 1] + 1 if len(swaps) > last else 0
        calls = "%d-%d" % (first, swaps[-1])
    blobs = tempfile.mkdtemp(prefix="chamber-blobs-")
    try:
        dump = subprocess.run(
            ["apitrace", "dump", "--call-nos=no", "--blobs", "--calls=" + calls,
             "--grep=%s|glXSwapBuffers" % pattern, trace_path],
            cwd=blobs, check=True, timeout=300, stdout=subprocess.PIPE).stdout.decode()
        frames, current = [], []
        for line in dump.splitlines():
            if not line.strip():
                continue
            if line.startswith("glXSwapBuffers"):
                frames.append(current)
                current = []
                continue
            blob = None
            if 'blob("' in line:
                name = line.split('blob("', 1)[1].split('"', 1)[0]
                with open(os.path.join(blobs, name), "rb") as f:
                    blob = f.read()
            current.append((line, blob))
        return frames
    finally:
        shutil.rmtree(blobs, ignore_errors=True)


def overlay_frames(trace_path, last=None):
    """The overlay text of every frame of a trace (or of the last that many):
    a list of frames, each the list of lines printed (one glCallLists per
    line), in order."""
    return [[blob.decode("latin-1") for _, blob in frame]
            for frame in frame_calls(trace_path, "glCallLists", last)]


def gl_calls(trace_path, pattern):
    """The dumped text of every call whose name matches pattern."""
    dump = subprocess.run(["apitrace", "dump", "--call-nos=no", "--grep=" + pattern, trace_path],
                          check=True, timeout=300, stdout=subprocess.PIPE).stdout.decode()
    return [line for line in dump.splitlines() if line.strip()]


class ReferenceGlyph:
    """FreeType's own metrics and bitmap of one character code."""

    def __init__(self, line):
        fields = line.split()
        self.advance, self.left, self.top, self.width, self.rows = (int(v) for v in fields[:5])
        self.coverage = b"" if fields[5] == "-" else bytes.fromhex(fields[5])

    def row(self, r):
        return self.coverage[r * self.width:(r + 1) * self.width]


def reference_glyphs(size=10):
    """FreeType's glyphs of the test font at size points, by character code,
    from the glyph_reference tool built with the tests."""
    tool = os.environ.get("CHAMBER_GLYPH_REFERENCE") or os.path.join(
        build_dir(), "tests", "e2e", "glyph_reference")
    out = subprocess.run([tool, os.environ.get("CHAMBER_TEST_FONT", VERA), str(size)],
                         check=True, timeout=60, stdout=subprocess.PIPE).stdout.decode()
    return [ReferenceGlyph(line) for line in out.splitlines()]


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class _Event(ctypes.Union):
    _fields_ = [("client", _ClientMessage), ("pad", ctypes.c_long * 24)]


def send_wm_delete(display_name, window):
    """Sends WM_DELETE_WINDOW to a window through Xlib."""
    x = ctypes.CDLL("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                             ctypes.POINTER(_Event)]
    x.XFlush.argtypes = [ctypes.c_void_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    dpy = x.XOpenDisplay(display_name.encode())
    if not dpy:
        raise Failure("cannot open display " + display_name)
    event = _Event()
    event.client.type = 33  # ClientMessage
    event.client.window = window
    event.client.message_type = x.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
    event.client.format = 32
    event.client.data[0] = x.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
    event.client.data[1] = 0  # CurrentTime
    x.XSendEvent(dpy, window, 0, 0, ctypes.byref(event))
    x.XFlush(dpy)
    x.XCloseDisplay(dpy)
