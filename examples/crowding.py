"""How diffusion slows as the discs crowd together: 400 particles on the torus, a few sizes and
seeds, the measured diffusion coefficient against the packing fraction beside the Enskog line.

    PYTHONPATH=build/release/python python3 examples/crowding.py --out crowding.png

(once installed, plain `python3 examples/crowding.py`). Paste the body into a notebook as it is.
"""
import argparse

import numpy as np

import brownian

parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
parser.add_argument("--sizes", default="60,100,140,180,220,260", help="particle sizes, twips")
parser.add_argument("--seeds", type=int, default=4, help="runs per size")
parser.add_argument("--ticks", type=int, default=5000)
parser.add_argument("--out", default="crowding.png", help="the figure (PNG)")
args = parser.parse_args()

NUM_SIDE = 20  # 400 particles
rows = []  # packing fraction, D, kT, size
for size in map(int, args.sizes.split(",")):
    for seed in range(1, args.seeds + 1):
        sim = brownian.Simulation(mode="unbounded", num_side=NUM_SIDE, size=size, seed=seed)
        msd = brownian.MsdRecorder(sim)
        n, thermal = sim.particles, []
        for _ in range(args.ticks // 100):
            sim.run(100)
            # kT/m: the kinetic energy relative to the centre of mass per free pair of degrees
            # of freedom (the total momentum is fixed on the torus).
            px, py = sim.momentum
            thermal.append((sim.kinetic_energy - (px * px + py * py) / (2 * n)) / (n - 1))
        fit = msd.fit_diffusion()
        if fit:
            rows.append((sim.packing_fraction, fit.D, np.mean(thermal), size))
        print(f"size {size:4d} seed {seed}: packing {sim.packing_fraction:.3f}, "
              f"D = {fit.D:.1f} twips²/sub-step" if fit else f"size {size} seed {seed}: no fit")

eta, d, kT, size = map(np.array, zip(*rows))
groups = sorted(set(eta))
mean = [d[eta == e].mean() for e in groups]
err = [d[eta == e].std(ddof=1) / np.sqrt((eta == e).sum()) if (eta == e).sum() > 1 else 0
       for e in groups]

# The Enskog line at the runs' mean kT, the size following the packing fraction at N fixed.
line = np.linspace(min(groups) * 0.8, max(groups) * 1.05, 100)
line_size = size[0] * np.sqrt(line / eta[0])
enskog = brownian.enskog_diffusion(line, kT.mean(), line_size)

try:
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
except ImportError:
    for e, m in zip(groups, mean):
        print(f"{e:.3f} {m:.2f}")
    raise SystemExit("matplotlib is not installed: the figure is left out")

fig, ax = plt.subplots(figsize=(6, 4), dpi=80)
ax.errorbar(groups, mean, yerr=err, fmt="o", capsize=3, label=f"measured ({args.seeds} seeds)")
ax.plot(line, enskog, label="Enskog, hard discs")
ax.set_xlabel("packing fraction")
ax.set_ylabel("D (twips² per sub-step)")
ax.set_yscale("log")
ax.set_title(f"{n} particles on the torus, {args.ticks} ticks")
ax.legend()
fig.tight_layout()
fig.savefig(args.out)
print("wrote", args.out)
