# The module against brownian-lab run: the same settings and seed give the same bits.
import csv
import pathlib

import numpy as np
import pytest

import brownian


def columns(path):
    rows = list(csv.reader(open(path)))
    return {name: np.array([r[i] for r in rows[1:]], dtype=float) for i, name in enumerate(rows[0])}


@pytest.mark.parametrize("mode", ["bounded", "unbounded"])
@pytest.mark.parametrize("num_side,size,ticks", [(5, 400, 3000), (64, 40, 300)])
def test_run_matches_the_lab(tmp_path, run_lab, mode, num_side, size, ticks):
    settings = dict(mode=mode, num_side=num_side, size=size, speed=3, seed=7)
    run = tmp_path / "sweep" / "run-1"
    run.mkdir(parents=True)
    pictures = num_side == 5
    args = ["run", "--ticks", ticks, "--state-out", run / "state.csv", "--msd-out", run / "msd.csv",
            "--speeds-out", run / "speeds.csv", "--stats-out", run / "stats.csv",
            "--trace-out", run / "trace.csv", "--manifest", run / "run.toml"]
    args += ["--frame-png", run / "frame.png", "--path-png", run / "path.png"] if pictures else []
    for key, value in settings.items():
        args += ["--" + key.replace("_", "-"), value]
    assert run_lab(*args) == (0, "")
    assert run_lab("merge", tmp_path / "sweep") == (0, "")

    sim = brownian.Simulation(**settings, threads=1 if num_side == 5 else None)
    msd, speeds = brownian.MsdRecorder(sim), brownian.SpeedHistogram(sim)
    sim.run(ticks // 3)
    sim.run(ticks - ticks // 3)

    assert sim.state() == (run / "state.csv").read_text()
    state = columns(run / "state.csv")
    for name in ("x", "y", "vx", "vy"):
        assert np.array_equal(getattr(sim, name), state[name].astype(np.float32)), name
    assert (sim.tick, sim.sub_steps) == (ticks, 3 * ticks)
    stats, trace = columns(run / "stats.csv"), columns(run / "trace.csv")
    assert sim.kinetic_energy == stats["kinetic_energy"][-1]
    assert sim.momentum == (stats["momentum_x"][-1], stats["momentum_y"][-1])
    ux, uy = sim.unwrapped()
    assert (ux[sim.locus], uy[sim.locus]) == (trace["ux"][-1], trace["uy"][-1])

    lab_msd = columns(run / "msd.csv")
    assert np.array_equal(msd.lags, lab_msd["lag"]) and np.array_equal(msd.msd, lab_msd["msd"])
    summary = next(csv.DictReader(open(tmp_path / "sweep" / "summary.csv")))
    fit = msd.fit_diffusion()
    assert (fit.D if fit else None) == (float(summary["D_mean"]) if summary["D_mean"] else None)
    assert brownian.fit_diffusion(lab_msd["lag"].astype(int), lab_msd["msd"]) == fit
    n, (e, px, py) = sim.particles, (stats[k] for k in ("kinetic_energy", "momentum_x", "momentum_y"))
    kT = np.mean((e - (px * px + py * py) / (2 * n)) / (n - 1) if mode == "unbounded" else e / n)
    enskog = brownian.enskog_diffusion(sim.packing_fraction, kT, size)
    assert enskog == pytest.approx(float(summary["D_enskog"]), rel=1e-12)
    bins, lab_bins = speeds.bins(), columns(run / "speeds.csv")
    for name, lab_name in [("low", "speed_low"), ("high", "speed_high"), ("count", "count"),
                           ("expected", "expected")]:
        assert np.array_equal(getattr(bins, name), lab_bins[lab_name]), name
    cdf = [brownian.expected_speed_cdf(v, n, speeds.mean_sum_squares, mode == "unbounded")
           for v in (bins.low, bins.high)]
    assert np.allclose(speeds.samples * n * (cdf[1] - cdf[0]), bins.expected, rtol=1e-9)
    if pictures:
        sim.frame_png(tmp_path / "frame.png")
        sim.path_png(tmp_path / "path.png")
        for name in ("frame.png", "path.png"):
            assert (tmp_path / name).read_bytes() == (run / name).read_bytes(), name


@pytest.mark.parametrize("settings,state,ticks,error", [
    (dict(num_side=100), None, 0, brownian.SimulationFault),
    (dict(mode="unbounded", num_side=1), "i,x,y,vx,vy\n0,3e38,2500,3e38,0\n", 5,
     brownian.SimulationFault),
    (dict(num_side=2), "i,x,y,vx,vy\n0,1,2,3,4\n1,1,2,3,4\n2,1,two,3,4\n", 0, ValueError),
    (dict(num_side=0), None, 0, ValueError),
    (dict(size=40000), None, 0, ValueError),
    (dict(speed=-1), None, 0, ValueError),
    (dict(mode="torus"), None, 0, ValueError),
    (dict(num_side=4, locus=16), None, 0, ValueError),
    (dict(seed=2**64), None, 0, ValueError),
])
def test_faults_and_bad_settings_as_the_lab_words_them(tmp_path, run_lab, settings, state, ticks,
                                                       error):
    args = ["run", "--ticks", ticks]
    for key, value in settings.items():
        args.append(f"--{key.replace('_', '-')}={value}")
    if state:
        (tmp_path / "in.csv").write_text(state)
        args += ["--state-in", tmp_path / "in.csv"]
    status, message = run_lab(*args)
    assert status == (3 if error is brownian.SimulationFault else 2)
    for option in ("mode", "num_side", "size", "speed", "locus", "seed"):
        message = message.replace("--" + option.replace("_", "-"), option)
    with pytest.raises(error) as raised:
        if state:
            sim = brownian.Simulation.from_state(tmp_path / "in.csv", **settings)
        else:
            sim = brownian.Simulation(**settings)
        sim.run(ticks)
    assert str(raised.value) == message
    if ticks:  # a simulation stopped by a fault runs no further
        with pytest.raises(brownian.SimulationFault):
            sim.run(1)
        assert sim.tick < ticks
