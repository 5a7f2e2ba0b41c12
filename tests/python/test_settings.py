"""The physics settings from Python: World.set and World.settings,
simulate(settings=), and replays with --set and --ctr-sha256 lines, bit for
bit as chamber-sim runs them; bad names and values; settings in states and
pickles."""
import hashlib
import pickle
import random

import numpy as np
import pytest

import chamber
from conftest import chamber_sim, chamber_sim_error, csv_text, random_session
from test_world import world_csv

# The floats in force, each exactly as a Python float.
DEFAULTS = dict(gravity=0.02, integration=0.5, tangential=0.9, restitution=0.175,
                overcorrection=1.1, spin=10.0, damping=0.01, passes=4, mass=10.0, radius=0.02)
DEFAULTS = {name: value if name == "passes" else float(np.float32(value))
            for name, value in DEFAULTS.items()}
# Ranges the random sessions draw from: wide enough to change every step,
# narrow enough that the ball still rolls through the rooms.
RANGES = dict(gravity=(0.005, 0.04), integration=(0.3, 0.8), tangential=(0.5, 1.0),
              restitution=(0.0, 1.0), overcorrection=(1.0, 1.5), spin=(0.0, 30.0),
              damping=(0.0, 0.05), passes=(1, 8), mass=(1.0, 50.0), radius=(0.01, 0.05))


def f32(value):
    return float(np.float32(value))


def random_settings(rng, steps):
    """(name, value, step) with values given as Python numbers (doubles,
    which both sides must take as the nearest float), and the same as --set
    arguments."""
    settings, args = [], []
    for k in range(rng.randrange(1, 7)):
        # The first changes a ball's size or mass early, before most of the
        # balls that join.
        name = rng.choice(["mass", "radius"] if k == 0 else sorted(RANGES))
        low, high = RANGES[name]
        value = rng.randint(low, high) if name == "passes" else rng.uniform(low, high)
        step = rng.randrange(1, (steps // 4 if k == 0 else steps) + 1)
        settings.append((name, value, step))
        text = str(value) if name == "passes" else "%.9g" % f32(value)
        args += ["--set", "%s=%s@%d" % (name, text, step)]
    return settings, args


def session(seed, steps=300):
    args, kwargs = random_session(500 + seed, steps=steps)
    settings, set_args = random_settings(random.Random(seed), steps)
    return args + set_args, kwargs, settings


@pytest.mark.parametrize("seed", range(4))
def test_simulate_with_settings_matches_chamber_sim(seed, ctr):
    args, kwargs, settings = session(seed)
    rows, rooms = chamber.simulate(ctr=ctr, settings=settings, **kwargs)
    assert csv_text(rows, rooms) == chamber_sim(["--ctr", ctr, *args])


@pytest.mark.parametrize("seed", range(4))
def test_world_set_mid_run_matches_chamber_sim(seed, ctr):
    """Played as chamber-sim's schedule feeds a step: the settings of that
    step (by step, then as given), the balls that join (made with the mass
    and radius then in force), the pushes."""
    args, kwargs, settings = session(seed)
    world = chamber.World(ctr, start=kwargs["start"], velocity=kwargs["velocity"])
    settings = sorted(settings, key=lambda s: s[2])
    bodies = sorted(kwargs["bodies"], key=lambda body: body[2])
    out = ["step,body,x,y,z,vx,vy,vz,gx,gy,gz,containers\n"]
    for step in range(1, kwargs["steps"] + 1):
        while settings and settings[0][2] == step:
            name, value, _ = settings.pop(0)
            world.set(name, value)
        while bodies and bodies[0][2] == step:
            position, velocity, _ = bodies.pop(0)
            world.add_ball(position, velocity)
        for force, first, last in kwargs["pushes"]:
            if first is None or first <= step <= last:
                world.push(force)
        world.step()
        out.append(world_csv(world, step))
    assert "".join(out) == chamber_sim(["--ctr", ctr, *args])


def test_settings_in_force(ctr):
    world = chamber.World(ctr)
    assert world.settings == DEFAULTS
    assert list(world.settings) == list(DEFAULTS)  # the table's order
    world.set("restitution", 0.3)       # a double: the nearest float
    world.set("spin", "12.5")           # text, as --set reads it
    world.set("passes", 7)
    world.set("mass", 3)                # an int for a float setting
    settings = world.settings
    assert settings["restitution"] == f32(0.3) and settings["spin"] == 12.5
    assert settings["passes"] == 7 and type(settings["passes"]) is int
    assert settings["mass"] == 3.0
    settings["damping"] = 0.5  # a copy: the world is not changed through it
    assert world.settings["damping"] == DEFAULTS["damping"]


def test_mass_and_radius_go_to_every_ball_and_to_balls_added_later(ctr):
    """Two balls fall side by side on the floor; after the radius changes,
    the old ball and one added then rest at the new height, level with each
    other, and the first ball's contacts move with it."""
    world = chamber.World(ctr, start=(0, 0.3, 0))
    world.add_ball((0.1, 0.3, 0))
    world.step(300)
    resting = world.positions[:, 1].copy()
    world.set("radius", 0.04)
    third = world.add_ball((-0.1, 0.3, 0))
    world.step(300)
    heights = world.positions[:, 1]
    assert np.allclose(heights, resting[0] + 0.02, atol=2e-3)
    assert third == 2 and np.allclose(heights[2], heights[0], atol=1e-4)


BAD_SETTINGS = [
    ("bounce", 0.5),
    ("Restitution", 0.5),
    ("restitution", 1.5),
    ("restitution", "half"),
    ("restitution", ""),
    ("restitution", float("nan")),
    ("mass", float("inf")),
    ("mass", 0),
    ("radius", -0.01),
    ("radius", 10 ** 400),
    ("passes", 0),
    ("passes", 65),
    ("passes", 4.5),
    ("passes", "four"),
]


def set_text(name, value):
    if isinstance(value, str):
        return value
    if isinstance(value, int) and (name == "passes" or abs(value) > 1e300):
        return str(value)
    return "%.17g" % value if name == "passes" else "%.9g" % f32(value)


@pytest.mark.parametrize("name,value", BAD_SETTINGS)
def test_bad_settings_give_chamber_sims_message(name, value, ctr):
    expected = chamber_sim_error(["--ctr", ctr, "--steps", "1",
                                  "--set", "%s=%s" % (name, set_text(name, value))])
    assert expected.startswith("--set: ")
    world = chamber.World(ctr)
    with pytest.raises(ValueError) as error:
        world.set(name, value)
    assert str(error.value) == expected[len("--set: "):]
    assert world.settings == DEFAULTS
    with pytest.raises(ValueError) as error:
        chamber.simulate(ctr=ctr, steps=1, settings=[(name, value)])
    assert str(error.value) == expected


@pytest.mark.parametrize("settings", [
    [("restitution", None)],
    [("restitution",)],
    ["restitution=0.5"],
    [(1, 0.5)],
    [("restitution", 0.5, 2, 3)],
])
def test_malformed_setting_entries_are_refused(settings, ctr):
    with pytest.raises(ValueError):
        chamber.simulate(ctr=ctr, steps=1, settings=settings)


def test_bad_setting_step_gives_chamber_sims_message(ctr):
    expected = chamber_sim_error(["--ctr", ctr, "--set", "spin=2@0"])
    with pytest.raises(ValueError) as error:
        chamber.simulate(ctr=ctr, settings=[("spin", 2, 0)])
    assert str(error.value) == expected


def test_settings_travel_with_states_and_pickles(ctr):
    world = chamber.World(ctr, velocity=(0.01, 0, 0))
    world.step(50)
    before = world.state()
    world.set("restitution", 0.8)
    world.set("passes", 2)
    world.set("mass", 4.0)
    world.add_ball((0, 0.3, 0.1))
    saved, settings = world.state(), world.settings
    world.step(100)
    after = world.state()

    fresh = chamber.World(ctr)
    fresh.restore(saved)
    assert fresh.settings == settings
    fresh.step(100)
    assert fresh.state() == after

    world.restore(before)  # back to the defaults in force then
    assert world.settings == DEFAULTS
    world.restore(saved)
    copy = pickle.loads(pickle.dumps(world))
    assert copy.settings == settings
    copy.step(100)
    assert copy.state() == after


def test_states_with_settings_out_of_range_are_refused(ctr):
    world = chamber.World(ctr)
    world.set("restitution", 0.5)
    saved = world.state()
    # After the mark, the rooms' hash and count and the step count, the
    # settings in table order: restitution is the fourth.
    at = 8 + 8 + 4 + 8 + 3 * 4
    assert saved[at:at + 4] == np.float32(0.5).tobytes()
    for bad in (1.5, float("nan"), float("inf"), -0.25):
        damaged = saved[:at] + np.float32(bad).tobytes() + saved[at + 4:]
        with pytest.raises(ValueError, match="not a state of this world: setting out of range"):
            world.restore(damaged)
        assert world.state() == saved


def options_file(path, ctr, sha256):
    path.write_text("# a saved session\n--ctr %s\n--ctr-sha256 %s\n--steps 120\n"
                    "--set restitution=0.6@20\n--set radius=0.03@40\n"
                    "--body 0,0.4,0.1,0,0,0@60\n" % (ctr, sha256))
    return path


def test_replay_with_settings_and_container_hash_runs_as_chamber_sim(tmp_path, ctr):
    sha256 = hashlib.sha256(open(ctr, "rb").read()).hexdigest()
    options = options_file(tmp_path / "replay-0001.txt", ctr, sha256)
    rows, rooms = chamber.simulate(args=options)
    assert csv_text(rows, rooms) == chamber_sim(["--args", str(options)])


def test_replay_on_another_container_file_is_refused(tmp_path, ctr):
    options = options_file(tmp_path / "replay-0001.txt", ctr, "0" * 64)
    expected = chamber_sim_error(["--args", str(options)])
    assert "another container file" in expected
    with pytest.raises(ValueError) as error:
        chamber.simulate(args=options)
    assert str(error.value) == expected
