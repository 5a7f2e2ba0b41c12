"""End-to-end tests of the installed program: `cmake --install` into a
temporary prefix, and the Debian package made by cpack, each running its
shipped chamber under Xvfb, with its documents, manual pages and (for the
package) what lintian says. Usage: install_test.py NAME."""

import gzip
import os
import re
import shutil
import subprocess
import tempfile

from harness import (Session, build_dir, expect, expect_equal, overlay_frames, run_test)

CHAMBER_DIR = os.path.join("share", "chamber", "chamber")
PROGRAMS = ("chamber", "chamber-build", "chamber-sim")
INSTALLED = sorted([
    "bin/chamber", "bin/chamber-build", "bin/chamber-sim",
    "share/chamber/chamber/0.ctr", "share/chamber/chamber/chamber.mtl",
    "share/chamber/chamber/chamber.obj", "share/chamber/chamber/vera.ttf",
    "share/doc/chamber/README.md", "share/doc/chamber/docs/chamber-format.md",
    "share/doc/chamber/docs/chamber-sim.md", "share/doc/chamber/docs/screenshot.png",
    "share/doc/chamber/docs/screenshot-instruments.png",
    "share/doc/chamber/docs/screenshot-outside.png", "share/doc/chamber/docs/python-shots.png",
    "share/doc/chamber/docs/python.md", "share/doc/chamber/data/chamber.txt",
    "share/doc/chamber/copyright", "share/doc/chamber/changelog.gz",
    "share/man/man1/chamber.1.gz", "share/man/man1/chamber-build.1.gz",
    "share/man/man1/chamber-sim.1.gz",
])
MAINTAINER = "Vantrel Chamber Developers <chamber-dev@vantrel.org>"
SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def project_version():
    with open(os.path.join(build_dir(), "CMakeCache.txt")) as f:
        return re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.*)$", f.read(), re.M).group(1)


# The Python module, when the build has it: in Debian's own place under /usr,
# in python3.X's under any other prefix (where Debian's python3 looks under
# /usr/local).
MODULES = sorted(f for f in os.listdir(os.path.join(build_dir(), "python"))
                 if f.startswith("chamber.") and f.endswith(".so")) \
    if os.path.isdir(os.path.join(build_dir(), "python")) else []
PYTHON_VERSION = subprocess.run(
    ["/usr/bin/python3", "-c", "import sys; print('%d.%d' % sys.version_info[:2])"],
    check=True, stdout=subprocess.PIPE, text=True).stdout.strip() if MODULES else ""


def installed(python_dir):
    return sorted(INSTALLED + [os.path.join(python_dir, m) for m in MODULES])


def import_installed(prefix, python_dir):
    """The installed module, imported by Debian's python3 from the installed
    tree alone, steps the installed chamber as the installed chamber-sim does."""
    if not MODULES:
        return
    script = ("import chamber, sys; rows, _ = chamber.simulate(ctr=sys.argv[1], steps=40); "
              "print('%.9g' % rows['y'][-1])")
    env = dict(os.environ, PYTHONPATH=os.path.join(prefix, python_dir))
    done = subprocess.run(["/usr/bin/python3", "-c", script, os.path.join(prefix, CHAMBER_DIR, "0.ctr")],
                          env=env, cwd=prefix, check=True, timeout=60, stdout=subprocess.PIPE, text=True)
    sim = subprocess.run([os.path.join(prefix, "bin", "chamber-sim"), "--ctr",
                          os.path.join(prefix, CHAMBER_DIR, "0.ctr"), "--steps", "40"],
                         check=True, timeout=60, stdout=subprocess.PIPE, text=True).stdout
    expect_equal(done.stdout.strip(), sim.splitlines()[-1].split(",")[3], "the installed module's run")


def files_under(root):
    return sorted(os.path.relpath(os.path.join(d, f), root)
                  for d, _, names in os.walk(root) for f in names)


def check_documents(prefix, version):
    """The documents beside the programs: every picture the README shows and
    the shipped chamber's description, as in the source; the copyright file
    with the font's licence; the changelog of this version; and a manual page
    per program made from its --help."""
    doc = os.path.join(prefix, "share", "doc", "chamber")
    with open(os.path.join(SOURCE, "README.md")) as f:
        pictures = re.findall(r"!\[[^\]]*\]\(([^)\s]+)\)", f.read())
    expect(len(pictures) >= 2, "the README's pictures: %r" % pictures)
    for name in pictures + ["data/chamber.txt"]:
        with open(os.path.join(SOURCE, name), "rb") as a:
            installed = os.path.join(doc, name)
            expect(os.path.isfile(installed), "%s is installed beside the README" % name)
            with open(installed, "rb") as b:
                expect(a.read() == b.read(), "the installed %s is the source's" % name)
    with open(os.path.join(doc, "copyright")) as f:
        copyright = f.read()
    for line in ("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/",
                 "License: Bitstream", "Bitstream Vera is a trademark of Bitstream, Inc."):
        expect(line in copyright, "the copyright file has %r" % line)
    with gzip.open(os.path.join(doc, "changelog.gz"), "rt") as f:
        changelog = f.read()
    expect(changelog.startswith("chamber (%s) " % version), "changelog: " + changelog)
    expect(" -- %s  " % MAINTAINER in changelog, "changelog's maintainer: " + changelog)
    for name in PROGRAMS:
        with gzip.open(os.path.join(prefix, "share", "man", "man1", name + ".1.gz"), "rt") as f:
            page = f.read()
        expect(re.search(r"^\.SH NAME\n%s \\- \S" % re.escape(name), page, re.M),
               "%s.1 names the program: %s" % (name, page[:300]))
        usage = subprocess.run([os.path.join(prefix, "bin", name), "--help"], timeout=30,
                               stdout=subprocess.PIPE).stdout.decode()
        options = set(re.findall(r"--[a-z][a-z-]*", usage))
        expect(len(options) >= 2, "%s --help: %s" % (name, usage))
        for option in sorted(options):
            expect(option.replace("-", "\\-") in page, "%s.1 has %s" % (name, option))


def run_installed(prefix):
    """Starts PREFIX/bin/chamber on PREFIX's shipped chamber from an empty
    directory, under apitrace; checks that it loads the chamber and draws its
    panel, and that the tools run."""
    chamber = os.path.join(prefix, CHAMBER_DIR)
    built = os.path.join(build_dir(), "data", "0.ctr")
    with open(built, "rb") as a, open(os.path.join(chamber, "0.ctr"), "rb") as b:
        expect(a.read() == b.read(), "the installed 0.ctr is the built one")
    with Session(start=False) as s:
        trace = os.path.join(tempfile.mkdtemp(prefix="chamber-trace-"), "trace")
        try:
            s.start(["apitrace", "trace", "-o", trace, os.path.join(prefix, "bin", "chamber"),
                     chamber])
            s.wait_for_count("Core_MainLoop", 1, timeout=60)
            for line in ("Loading OBJ File 'chamber.obj'", "Loading MTL File 'chamber.mtl'"):
                expect(line in s.lines(), "console line %r" % line)
            s.wait_until(lambda: os.path.exists(os.path.join(chamber, "config.dat")),
                         what="config.dat in the installed chamber")
            s.hold(["Escape"], lambda: not s.running(), timeout=60, what="the program to end")
            expect_equal(s.wait_exit(60), 0, "exit code")
            frames = [f for f in overlay_frames(trace) if f]
            expect(frames and frames[-1][0] == "Debug Data", "the panel is drawn with the font")
            expect_equal(frames[-1][5], "Containers: 0 ", "the ball in the shipped chamber's hall")
            expect_equal(sorted(os.listdir(s.dir)), [".stdout"], "nothing written elsewhere")
        finally:
            shutil.rmtree(os.path.dirname(trace), ignore_errors=True)
    for tool in ("chamber-sim", "chamber-build"):
        done = subprocess.run([os.path.join(prefix, "bin", tool), "--help"], timeout=30,
                              stdout=subprocess.PIPE)
        expect_equal(done.returncode, 0, tool + " --help")
    done = subprocess.run([os.path.join(prefix, "bin", "chamber-sim"), "--steps", "3"],
                          cwd=chamber, timeout=30, stdout=subprocess.PIPE)
    expect_equal(len(done.stdout.decode().splitlines()), 4, "chamber-sim on the installed chamber")


def test_installed_tree():
    prefix = tempfile.mkdtemp(prefix="chamber-prefix-")
    try:
        subprocess.run([os.environ.get("CHAMBER_CMAKE", "cmake"), "--install", build_dir(),
                        "--prefix", prefix], check=True, timeout=120, stdout=subprocess.DEVNULL)
        python_dir = "lib/python%s/dist-packages" % PYTHON_VERSION
        expect_equal(files_under(prefix), installed(python_dir), "installed files")
        check_documents(prefix, project_version())
        import_installed(prefix, python_dir)
        run_installed(prefix)
    finally:
        shutil.rmtree(prefix, ignore_errors=True)


def test_debian_package():
    work = tempfile.mkdtemp(prefix="chamber-deb-")
    try:
        subprocess.run([os.environ.get("CHAMBER_CPACK", "cpack"), "-G", "DEB", "--config",
                        os.path.join(build_dir(), "CPackConfig.cmake"), "-B", work],
                       check=True, timeout=300, stdout=subprocess.DEVNULL)
        packages = [f for f in os.listdir(work) if f.endswith(".deb")]
        expect_equal(len(packages), 1, "one package in %r" % os.listdir(work))
        deb = os.path.join(work, packages[0])
        fields = subprocess.run(["dpkg-deb", "--field", deb, "Package", "Depends", "Maintainer"],
                                check=True, timeout=60, stdout=subprocess.PIPE).stdout.decode()
        expect("Package: chamber" in fields, fields)
        expect("Maintainer: %s\n" % MAINTAINER in fields, fields)
        # The libraries the programs link, as packages; libglfw3 brings in
        # libgl1 and through it Mesa's drivers.
        for package in ("libglfw3", "libfreetype6", "libglu1-mesa", "libstdc++6"):
            expect(package in fields, "Depends names %s: %s" % (package, fields))
        root = os.path.join(work, "root")
        subprocess.run(["dpkg-deb", "-x", deb, root], check=True, timeout=60)
        python_dir = "lib/python3/dist-packages"
        expect_equal(files_under(os.path.join(root, "usr")), installed(python_dir),
                     "packaged files")
        import_installed(os.path.join(root, "usr"), python_dir)
        check_documents(os.path.join(root, "usr"), project_version())
        # Debian's checks: warnings may stay, errors may not.
        lint = subprocess.run(["lintian", "--fail-on", "error", "--tag-display-limit", "0", deb],
                              timeout=300, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        report = lint.stdout.decode()
        errors = [line for line in report.splitlines() if line.startswith("E: ")]
        expect(lint.returncode == 0 and not errors, "lintian reports errors:\n" + report)
        run_installed(os.path.join(root, "usr"))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    run_test("install_test.py", globals())
