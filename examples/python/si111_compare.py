#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-3-Clause
"""Simulates examples/si-111 with the Python module tem, scores it against the experimental image
(Velmorant's r and the Pearson correlation) and plots both side by side into a PNG.

    PYTHONPATH=build/python /usr/bin/python3 examples/python/si111_compare.py [output.png]
"""
import pathlib
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt

import tem

here = pathlib.Path(__file__).resolve().parent
example = here.parent / "si-111"
output = sys.argv[1] if len(sys.argv) > 1 else "si111_python.png"

inp = tem.read_input(str(example))  # VelmorantDS.dat: silicon near [111], 200 kV, 1500 A
sim = tem.Simulation(inp)  # every hardware thread
experiment = tem.read_experimental_image(inp.experiment_path)

rows = []
for thickness in (1500.0, 1700.0):
    pattern = sim.run(method=2, thickness_angstrom=thickness)
    r = tem.correlation_r(pattern.intensities, experiment)
    pearson = tem.pearson(pattern.intensities, experiment)
    rows.append((pattern, r, pearson))
    print("thickness %6.0f A: r = %.7f, Pearson = %.4f" % (thickness, r, pearson))

fig, axes = plt.subplots(1, 3, figsize=(12, 4.3))
for ax, (pattern, r, pearson) in zip(axes, rows):
    ax.imshow(pattern.intensities, cmap="gray")
    ax.set_title("simulated, %.0f A thick\nr = %.4f, Pearson = %.4f" % (pattern.thickness_angstrom, r, pearson))
axes[2].imshow(experiment, cmap="gray", vmin=0, vmax=255)
axes[2].set_title("experiment (synthetic, 1700 A, noise)")
for ax in axes:
    ax.set_xticks([])
    ax.set_yticks([])
fig.suptitle("Si near [111], 200 kV, %d beams, method 2 (up: sample +x, left: sample +y)" % inp.beam_count)
fig.tight_layout(rect=(0, 0, 1, 0.92))
fig.savefig(output, dpi=80)
print("picture:", output)
