"""chamber.World: stepping, pushes and added balls bit for bit as chamber-sim
runs them; arrays that view the world in place; state, pickles and copies;
every error a script can cause."""
import copy
import gc
import pickle
import random
import subprocess
import threading

import numpy as np
import pytest

import chamber
from conftest import CHAMBER_BUILD, CTR, DESCRIPTION, chamber_sim, random_session


def world_csv(world, step):
    """The world's rows after a step, as chamber-sim prints them."""
    out = []
    for i, (p, v, g) in enumerate(zip(world.positions.tolist(), world.velocities.tolist(),
                                      world.gravity.tolist())):
        out.append("%d,%d,%s,%s\n" % (step, i, ",".join("%.9g" % x for x in p + v + g),
                                      " ".join(map(str, world.rooms(i)))))
    return "".join(out)


def play(world, kwargs):
    """A session of simulate()'s keywords played through push and add_ball,
    as chamber-sim's schedule feeds it: before each step the bodies that join
    (by step, then in the order given), then the pushes in the order given."""
    bodies = sorted(kwargs["bodies"], key=lambda body: body[2])
    out = ["step,body,x,y,z,vx,vy,vz,gx,gy,gz,containers\n"]
    for step in range(1, kwargs["steps"] + 1):
        while bodies and bodies[0][2] == step:
            position, velocity, _ = bodies.pop(0)
            world.add_ball(position, velocity)
        for force, first, last in kwargs["pushes"]:
            if first is None or first <= step <= last:
                world.push(force)
        world.step()
        out.append(world_csv(world, step))
    return "".join(out)


@pytest.mark.parametrize("seed", range(4))
def test_pushes_and_added_balls_match_chamber_sim(seed, ctr):
    args, kwargs = random_session(100 + seed, steps=300)
    world = chamber.World(ctr, start=kwargs["start"], velocity=kwargs["velocity"])
    assert play(world, kwargs) == chamber_sim(["--ctr", ctr, *args])
    assert world.steps == 300 and len(world) == 1 + len(kwargs["bodies"])


def test_description_builds_the_rooms_chamber_build_writes(tmp_path):
    text = DESCRIPTION.read_text()
    subprocess.run([str(CHAMBER_BUILD), str(DESCRIPTION), str(tmp_path)], check=True,
                   capture_output=True, timeout=60)
    from_text = chamber.World.from_description(text, start=(0.1, 0.4, 0))
    from_file = chamber.World(tmp_path / "0.ctr", start=(0.1, 0.4, 0))
    from_text.step(500)
    from_file.step(500)
    assert from_text.state() == from_file.state()


def test_bad_description_gives_chamber_builds_messages():
    with pytest.raises(ValueError, match=r"^description:\d+: error: "):
        chamber.World.from_description("room\n  face 0 0 0  1 0 0\n")


def test_arrays_view_the_world_without_copying(ctr):
    world = chamber.World(ctr)
    positions, velocities, gravity = world.positions, world.velocities, world.gravity
    for array in (positions, velocities, gravity):
        assert array.dtype == np.float32 and array.shape == (1, 3) and array.base is world
    assert world.positions.ctypes.data == positions.ctypes.data
    world.step(80)
    # The same arrays show the stepped world.
    assert positions[0, 1] < 0.5 and np.array_equal(positions, world.positions)
    assert velocities[0, 1] == world.velocities[0, 1] != 0
    with pytest.raises(ValueError, match="read-only"):
        gravity[0, 0] = 1


def test_arrays_taken_before_balls_are_added_stay_valid(ctr):
    world = chamber.World(ctr)
    before = world.positions
    for i in range(2000):  # far beyond the first page of bodies
        world.add_ball((0.001 * (i % 50) - 0.025, 0.3 + 0.001 * (i // 50), 0))
    world.step(3)
    # The old view still shows the ball, live; the new one every body.
    assert before.shape == (1, 3) and np.array_equal(before[0], world.positions[0])
    assert world.positions.shape == (2001, 3) and np.isfinite(world.positions).all()
    # Views of bodies a restore drops read memory the world still holds
    # (AddressSanitizer would see a read of freed memory).
    every = world.positions
    s = world.state()
    world.restore(chamber.World(ctr).state())  # back to one body
    assert len(world) == 1 and before.shape == (1, 3) and every.shape == (2001, 3)
    assert np.isfinite(every.sum())
    world.restore(s)
    assert len(world) == 2001 and np.array_equal(every, world.positions)


def test_an_array_keeps_its_world_alive(ctr):
    world = chamber.World(ctr)
    world.step(10)
    positions = world.positions
    expected = positions.copy()
    del world
    gc.collect()
    chamber.World(ctr).step(10)  # reuse freed memory if there was any
    assert np.array_equal(positions, expected)


def test_writing_positions_and_velocities_moves_the_bodies(ctr):
    written = chamber.World(ctr)
    written.positions[0] = (0.2, 0.3, -0.1)
    written.velocities[0] = (0.01, 0, 0)
    made = chamber.World(ctr, start=(0.2, 0.3, -0.1), velocity=(0.01, 0, 0))
    written.step(200)
    made.step(200)
    assert written.state() == made.state()


@pytest.mark.parametrize("array,value", [("positions", np.nan), ("velocities", np.inf),
                                          ("positions", -np.inf)])
def test_non_finite_bodies_are_refused_before_a_step(ctr, array, value):
    world = chamber.World(ctr)
    world.add_ball((0, 0.3, 0))
    getattr(world, array)[1, 2] = value
    before = world.state()
    with pytest.raises(ValueError, match="body 1 .*not finite"):
        world.step()
    with pytest.raises(ValueError, match="world 0: body 1"):
        chamber.run_many([world], 5)
    assert world.state() == before


def test_contacts_of_the_last_step(ctr):
    world = chamber.World(ctr, start=(0, 0.05, 0))
    world.add_ball((0.039, 0.05, 0))  # touching the ball: radius 0.02 each
    world.step()
    contacts = world.contacts
    assert contacts.dtype.names == ("point", "correction", "body", "other", "other_is_room")
    pairs = contacts[~contacts["other_is_room"]]
    assert len(pairs) >= 1 and set(pairs["body"]) | set(pairs["other"]) == {0, 1}
    world.step(100)  # both rest on the floor of the hall
    rooms = world.contacts[world.contacts["other_is_room"]]
    assert len(rooms) >= 2
    for contact in rooms:
        assert contact["other"] in world.rooms(int(contact["body"]))
    assert world.contacts["point"].dtype == np.float32


def test_state_restores_bit_for_bit(ctr):
    world = chamber.World(ctr, velocity=(0.01, 0, 0.004))
    world.step(150)
    world.add_ball((0, 0.3, 0.1), (0, 0, -0.01))
    world.push((0.02, 0, 0))
    saved = world.state()
    contacts = world.contacts
    world.step(200)
    after = world.state()
    world.add_ball((0, 0.3, 0))
    world.restore(saved)
    assert world.state() == saved and world.steps == 150 and len(world) == 2
    assert world.contacts.tobytes() == contacts.tobytes()
    world.step(200)
    assert world.state() == after
    # Into another world of the same rooms, made otherwise.
    other = chamber.World(ctr, start=(0.3, 0.2, 0))
    other.restore(saved)
    other.step(200)
    assert other.state() == after


def test_broken_states_are_refused_whole(ctr, tmp_path):
    world = chamber.World(ctr)
    world.step(100)
    world.add_ball((0, 0.3, 0))
    world.step(5)
    saved = world.state()
    for end in range(len(saved)):
        with pytest.raises(ValueError, match="not a state of this world"):
            world.restore(saved[:end])
    with pytest.raises(ValueError, match="bytes left over"):
        world.restore(saved + b"\0")
    # Every byte changed in turn: a count, an index or the rooms' mark is
    # refused; a number changed is a state like any other. Nothing crashes,
    # and a refused state leaves the world as it was.
    rng = random.Random(1)
    for _ in range(3000):
        damaged = bytearray(saved)
        damaged[rng.randrange(len(saved))] ^= 1 << rng.randrange(8)
        try:
            world.restore(bytes(damaged))
        except ValueError:
            assert world.state() == saved
        else:
            world.step(2)
        world.restore(saved)
    other_rooms = chamber.World.from_description(
        DESCRIPTION.read_text().replace("gravity 1 0 0", "gravity 1 0 0.5", 1))
    with pytest.raises(ValueError, match="other rooms"):
        other_rooms.restore(saved)


@pytest.mark.parametrize("duplicate", [
    lambda w: pickle.loads(pickle.dumps(w)),
    lambda w: pickle.loads(pickle.dumps(w, protocol=0)),
    copy.copy,
    copy.deepcopy,
])
def test_pickles_and_copies_go_on_as_the_world_does(ctr, duplicate):
    world = chamber.World(ctr, velocity=(0.005, 0, 0))
    world.step(120)
    world.add_ball((0, 0.3, 0))
    world.step(1)
    twin = duplicate(world)
    assert twin.state() == world.state() and twin.positions.ctypes.data != world.positions.ctypes.data
    world.step(300)
    twin.step(300)
    assert twin.state() == world.state()


def test_pickle_of_a_world_from_a_description(ctr):
    text = DESCRIPTION.read_text()
    world = chamber.World.from_description(text)
    world.step(50)
    twin = pickle.loads(pickle.dumps(world))
    world.step(50)
    twin.step(50)
    assert twin.state() == world.state()


def worlds_for_threads(ctr, count):
    rng = random.Random(5)
    worlds = []
    for i in range(count):
        world = chamber.World(ctr, start=(rng.uniform(-0.3, 0.3), 0.5, rng.uniform(-0.3, 0.3)),
                              velocity=(rng.uniform(-0.02, 0.02), 0, rng.uniform(-0.02, 0.02)))
        for _ in range(i % 4):
            world.add_ball((rng.uniform(-0.3, 0.3), 0.3, rng.uniform(-0.3, 0.3)))
        worlds.append(world)
    return worlds


@pytest.mark.parametrize("threads", [None, 1, 2, 3, 64])
def test_run_many_gives_the_bits_of_stepping_one_after_another(ctr, threads):
    one_by_one = worlds_for_threads(ctr, 12)
    at_once = worlds_for_threads(ctr, 12)
    for world in one_by_one:
        world.step(250)
    chamber.run_many(at_once, 250, threads=threads)
    assert [w.state() for w in at_once] == [w.state() for w in one_by_one]


def test_run_many_steps_a_world_listed_twice_twice(ctr):
    world, reference = chamber.World(ctr), chamber.World(ctr)
    chamber.run_many([world, world, world], 40, threads=3)
    reference.step(120)
    assert world.state() == reference.state()
    chamber.run_many([], 10)


def test_threads_of_python_on_one_world_never_crash_it(ctr):
    """Steps from two threads and balls added from a third: each call has
    the world to itself, so the world ends as if they took turns."""
    world = chamber.World(ctr)
    views = []

    def stepper():
        for _ in range(200):
            world.step(5)

    def adder():
        for i in range(100):
            world.add_ball((0.003 * i - 0.15, 0.4, 0))
            views.append(world.positions)
            world.contacts, world.rooms(0)

    threads = [threading.Thread(target=f) for f in (stepper, stepper, adder)]
    for t in threads:
        t.start()
    chamber.run_many([world] * 4, 10, threads=2)
    for t in threads:
        t.join()
    assert world.steps == 2040 and len(world) == 101
    assert all(np.isfinite(v).all() for v in views)


def test_errors_are_python_exceptions(ctr, tmp_path):
    damaged = tmp_path / "damaged.ctr"
    damaged.write_bytes(CTR.read_bytes()[:-7])
    cases = [
        (FileNotFoundError, "cannot open container file", lambda: chamber.World(tmp_path / "x.ctr")),
        (IsADirectoryError, "cannot read container file", lambda: chamber.World(tmp_path)),
        (ValueError, "is damaged", lambda: chamber.World(damaged)),
        (ValueError, "must be finite", lambda: chamber.World(ctr, start=(0, np.nan, 0))),
        (ValueError, "must be finite", lambda: chamber.World(ctr).add_ball((0, 1e39, 0))),
        (ValueError, "must be finite", lambda: chamber.World(ctr).push((np.inf, 0, 0))),
        (ValueError, "three numbers", lambda: chamber.World(ctr).push((1, 2))),
        (ValueError, "three numbers", lambda: chamber.World(ctr, velocity="xyz")),
        (ValueError, "", lambda: chamber.World(ctr).push((1, "a", 2))),
        (ValueError, "0 or more", lambda: chamber.World(ctr).step(-1)),
        (TypeError, "", lambda: chamber.World(ctr).step(1.5)),
        (IndexError, "out of range", lambda: chamber.World(ctr).rooms(1)),
        (IndexError, "out of range", lambda: chamber.World(ctr).rooms(-2)),
        (ValueError, "not a state", lambda: chamber.World(ctr).restore(b"junk")),
        (TypeError, "", lambda: chamber.World(ctr).restore("text")),
        (TypeError, "", lambda: chamber.run_many([chamber.World(ctr), "a world"], 1)),
        (ValueError, "threads", lambda: chamber.run_many([chamber.World(ctr)], 1, threads=0)),
        (ValueError, "0 or more", lambda: chamber.run_many([chamber.World(ctr)], -1)),
        (TypeError, "never made", lambda: chamber.World.__new__(chamber.World).step()),
        (TypeError, "never made", lambda: chamber.World.__new__(chamber.World).positions),
        (TypeError, "expected a chamber.World", lambda: chamber.World.state(3)),
        (ValueError, "not a state", lambda: chamber.World._from_pickle(CTR.read_bytes(), "x", b"junk")),
    ]
    for kind, message, call in cases:
        with pytest.raises(kind, match=message):
            call()
    assert chamber.World(ctr).rooms(-1) == ()
