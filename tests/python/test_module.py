# What the module adds to the lab's simulation: views, Python's lock and Ctrl-C, state files.
import gc
import os
import signal
import subprocess
import sys
import threading
import time

import numpy as np
import pytest

import brownian


def test_views_follow_the_state_without_copies_and_keep_it_alive():
    sim = brownian.Simulation(mode="unbounded", seed=3)
    views = [sim.x, sim.y, sim.vx, sim.vy]
    sim.run(50)
    for view, name in zip(views, ("x", "y", "vx", "vy")):
        assert view.dtype == np.float32 and not view.flags.writeable
        assert np.array_equal(view, getattr(sim, name)), name
    with pytest.raises(ValueError):
        views[0][0] = 1
    saved = [v.copy() for v in views]
    del sim
    gc.collect()
    brownian.Simulation(num_side=20, size=50).run(10)  # would reuse freed memory
    assert all(np.array_equal(v, s) for v, s in zip(views, saved))


def test_from_state_continues_the_run():
    sim = brownian.Simulation(num_side=20, size=100, seed=5)
    sim.run(100)
    copy = brownian.Simulation.from_state(sim.state(), num_side=20, size=100, threads=1)
    sim.run(200)
    copy.run(200)
    assert copy.state() == sim.state()


def test_bad_arguments_change_nothing(tmp_path):
    sim = brownian.Simulation()
    before = sim.state()
    for call in (lambda: sim.run(-1), lambda: sim.frame_png(tmp_path / "f.png", dpi=23),
                 lambda: brownian.SpeedHistogram(sim).bins(0),
                 lambda: brownian.Simulation(threads=257)):
        with pytest.raises(ValueError, match="expected a whole number from"):
            call()
    assert sim.state() == before and sim.tick == 0 and not list(tmp_path.iterdir())


def test_ctrl_c_stops_after_a_whole_tick_while_other_threads_run():
    sim = brownian.Simulation(num_side=20, size=100)
    busy = []

    def interrupt():
        deadline = time.monotonic() + 5
        while "running" not in repr(sim) and time.monotonic() < deadline:
            time.sleep(0.01)
        with pytest.raises(RuntimeError, match="running") as raised:
            sim.run(1)
        busy.append(raised)
        os.kill(os.getpid(), signal.SIGINT)

    helper = threading.Thread(target=interrupt)
    helper.start()
    with pytest.raises(KeyboardInterrupt):
        sim.run(10**6)
    helper.join()
    assert busy and 0 < sim.tick < 10**6 and sim.sub_steps == 3 * sim.tick
    straight = brownian.Simulation(num_side=20, size=100)
    straight.run(sim.tick)
    assert straight.state() == sim.state()


def test_example_draws_its_figure(tmp_path):
    pytest.importorskip("matplotlib")
    example = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "crowding.py")
    done = subprocess.run([sys.executable, example, "--sizes", "100,200", "--seeds", "2",
                           "--ticks", "1500", "--out", tmp_path / "d.png"], capture_output=True)
    assert done.returncode == 0, done.stderr
    assert (tmp_path / "d.png").read_bytes().startswith(b"\x89PNG")
