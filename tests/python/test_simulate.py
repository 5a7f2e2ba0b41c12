"""chamber.simulate against chamber-sim itself: the same options give the
same text, digit for digit, and the same errors."""
import shutil

import pytest

import chamber
from conftest import CTR, chamber_sim, chamber_sim_error, csv_text, random_session


@pytest.mark.parametrize("seed", range(6))
def test_random_sessions_match_chamber_sim(seed, ctr):
    args, kwargs = random_session(seed)
    rows, rooms = chamber.simulate(ctr=ctr, **kwargs)
    assert csv_text(rows, rooms) == chamber_sim(["--ctr", ctr, *args])


def test_defaults_and_every_match_chamber_sim(tmp_path, monkeypatch):
    shutil.copy(CTR, tmp_path / "0.ctr")
    monkeypatch.chdir(tmp_path)  # "0.ctr" in the working directory, as chamber-sim reads it
    rows, rooms = chamber.simulate(every=7)
    assert csv_text(rows, rooms) == chamber_sim(["--every", "7"], cwd=tmp_path)
    assert rows["step"][-1] == 600 and rows.dtype.names[:3] == ("step", "body", "x")


def test_options_file_with_keywords_after_it(tmp_path, ctr):
    """args= is read first, the keywords apply on top, as options after
    --args do on chamber-sim's command line."""
    args, _ = random_session(11, steps=200)
    options = tmp_path / "replay-0001.txt"
    options.write_text("# a saved session\n--ctr %s\n" % ctr +
                       "".join("%s %s\n" % pair for pair in zip(args[::2], args[1::2])))
    rows, rooms = chamber.simulate(args=options, steps=150, pushes=[((0, 0, 0.01), 3, 9)])
    expected = chamber_sim(["--args", str(options), "--steps", "150", "--push", "0,0,0.01@3:9"])
    assert csv_text(rows, rooms) == expected


def test_damaged_file_warns_and_runs_as_chamber_sim_does(tmp_path, ctr):
    damaged = tmp_path / "damaged.ctr"
    damaged.write_bytes(CTR.read_bytes()[:-7])
    with pytest.warns(RuntimeWarning, match="is damaged"):
        rows, rooms = chamber.simulate(ctr=damaged, steps=50)
    assert csv_text(rows, rooms) == chamber_sim(["--ctr", str(damaged), "--steps", "50"])


# Keyword arguments and the chamber-sim arguments that must fail the same way.
BAD_OPTIONS = [
    (dict(steps=-1), ["--steps", "-1"]),
    (dict(steps=10 ** 10), ["--steps", str(10 ** 10)]),
    (dict(start=(0, float("nan"), 0)), ["--start", "0,nan,0"]),
    (dict(velocity=(1e39, 0, 0)), ["--velocity", "inf,0,0"]),
    (dict(pushes=[((0, 0, 1), 5, 2)]), ["--push", "0,0,1@5:2"]),
    (dict(pushes=[((0, 0, 1), 0, 2)]), ["--push", "0,0,1@0:2"]),
    (dict(bodies=[((0, 0.5, 0), (0, 0, 0), 0)]), ["--body", "0,0.5,0,0,0,0@0"]),
    (dict(steps=10, bodies=[((0, 0.5, 0), (0, 0, 0), 11)]),
     ["--steps", "10", "--body", "0,0.5,0,0,0,0@11"]),
    (dict(every=0), ["--every", "0"]),
]


@pytest.mark.parametrize("kwargs,args", BAD_OPTIONS)
def test_bad_options_give_chamber_sims_message(kwargs, args, ctr):
    with pytest.raises(ValueError) as error:
        chamber.simulate(ctr=ctr, **kwargs)
    assert str(error.value) == chamber_sim_error(["--ctr", ctr, *args])


@pytest.mark.parametrize("text,line", [
    ("--steps 10\n--bogus 1\n", 2),
    ("--steps 10\n--push 1,2\n", 2),
    ("--args other.txt\n", 1),
    ("--steps\n", 1),
])
def test_bad_options_file_names_the_line(tmp_path, text, line):
    options = tmp_path / "bad.txt"
    options.write_text(text)
    with pytest.raises(ValueError, match="^%s:%d: " % (options, line)) as error:
        chamber.simulate(args=options)
    assert str(error.value) == chamber_sim_error(["--args", str(options)])


def test_missing_files_and_wrong_types(tmp_path, ctr):
    with pytest.raises(FileNotFoundError, match="cannot open container file"):
        chamber.simulate(ctr=tmp_path / "none.ctr")
    with pytest.raises(FileNotFoundError, match="cannot open options file"):
        chamber.simulate(args=tmp_path / "none.txt")
    named = tmp_path / "names-missing.txt"
    named.write_text("--ctr %s\n" % (tmp_path / "gone.ctr"))
    with pytest.raises(FileNotFoundError, match="^.*names-missing.txt:1: cannot open"):
        chamber.simulate(args=named)
    with pytest.raises(IsADirectoryError):
        chamber.simulate(ctr=tmp_path)
    for kwargs in [dict(steps="10"), dict(steps=2.5), dict(pushes=[((0, 0, 0), 1.0, 2)])]:
        with pytest.raises(TypeError):
            chamber.simulate(ctr=ctr, **kwargs)
    for kwargs in [dict(start=(0, 1)), dict(start="abc"), dict(pushes=[((0, 0, 0), 1, None)]),
                   dict(pushes=[(0, 0, 0)]), dict(bodies=[((0, 0, 0),)])]:
        with pytest.raises(ValueError):
            chamber.simulate(ctr=ctr, **kwargs)
