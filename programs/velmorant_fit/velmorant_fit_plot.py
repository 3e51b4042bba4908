#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-3-Clause
"""Pictures of a velmorant_fit run: score.png and comparison.png, drawn with matplotlib.

Usage: velmorant_fit_plot.py FOLDER [SCORE]   (SCORE: pearson, the default, or r)

Reads FOLDER/points.csv (every evaluated point; lines starting with "#",
the first line saying what made the file, are skipped) and FOLDER/comparison.f32
(the experimental image and the best simulation, 512 x 512 float32 each, top
row first, as the images are seen) and writes:
  score.png       the score against the varied parameter (one parameter), a
                  map over the grid (two parameters), or the score of every
                  evaluation in turn (more);
  comparison.png  experiment | best simulation | difference, the images
                  standardised to mean 0 and standard deviation 1 first, so
                  the difference shows what the Pearson score sees (on its
                  own colour scale, to the 99.5th percentile of its size).
"""
import csv
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

PARAMETERS = [("thickness_A", "thickness (Å)"), ("voltage_kV", "voltage (kV)"),
              ("phi1_deg", "φ1 (°)"), ("Phi_deg", "Φ (°)"), ("phi2_deg", "φ2 (°)")]


def read_points(folder):
    with open(os.path.join(folder, "points.csv"), newline="") as f:
        rows = list(csv.DictReader(line for line in f if not line.startswith("#")))
    for row in rows:
        for key in row:
            if key != "stage":
                row[key] = float(row[key])
    return rows


def made_by(folder):
    """The Software text of the pictures: the fit's own provenance line of points.csv."""
    with open(os.path.join(folder, "points.csv")) as f:
        first = f.readline().strip()
    return first[2:] if first.startswith("# ") else "velmorant_fit"


def varied(rows):
    return [(key, label) for key, label in PARAMETERS if len({row[key] for row in rows}) > 1]


def score_picture(rows, folder, score):
    params = varied(rows)
    grid = [row for row in rows if row["stage"] == "grid"]
    other = [row for row in rows if row["stage"] != "grid"]
    fig, ax = plt.subplots(figsize=(7, 5), dpi=110)
    if len(params) == 1:
        key, label = params[0]
        ax.plot([r[key] for r in grid], [r[score] for r in grid], "o-", label="grid")
        if other:
            ax.plot([r[key] for r in other], [r[score] for r in other], "x", color="C3", label="refinement")
        ax.set_xlabel(label)
        ax.set_ylabel(score)
        ax.legend()
    elif len(params) == 2:
        (kx, lx), (ky, ly) = params
        xs = sorted({r[kx] for r in grid})
        ys = sorted({r[ky] for r in grid})
        z = np.full((len(ys), len(xs)), np.nan)
        for r in grid:
            if r[kx] in xs and r[ky] in ys:
                z[ys.index(r[ky]), xs.index(r[kx])] = r[score]
        mesh = ax.pcolormesh(xs, ys, z, shading="nearest", cmap="viridis")
        fig.colorbar(mesh, ax=ax, label=score)
        if other:
            ax.plot([r[kx] for r in other], [r[ky] for r in other], "w.-", lw=0.8, ms=4, label="refinement")
            ax.legend()
        ax.set_xlabel(lx)
        ax.set_ylabel(ly)
    else:
        ax.plot(range(1, len(rows) + 1), [r[score] for r in rows], ".-")
        ax.set_xlabel("evaluation")
        ax.set_ylabel(score)
    best = max(rows, key=lambda r: r[score])
    ax.set_title("best %s %.4f at %s" % (score, best[score], ", ".join(
        "%s %g" % (label, best[key]) for key, label in params)), fontsize=9)
    fig.tight_layout()
    fig.savefig(os.path.join(folder, "score.png"), metadata={"Software": made_by(folder)})
    plt.close(fig)


def comparison_picture(folder):
    data = np.fromfile(os.path.join(folder, "comparison.f32"), dtype="<f4").reshape(2, 512, 512)

    def standard(a):
        s = a.std()
        return (a - a.mean()) / (s if s > 0 else 1.0)

    experiment, simulation = standard(data[0]), standard(data[1])
    difference = experiment - simulation
    fig, axes = plt.subplots(1, 3, figsize=(13, 4.6), dpi=100)
    # The difference on its own scale: most of it is noise far below 3.
    limit = max(1e-6, float(np.percentile(np.abs(difference), 99.5)))
    for ax, image, title, cmap, vmin, vmax in (
            (axes[0], experiment, "experiment", "gray", -3, 3),
            (axes[1], simulation, "best simulation", "gray", -3, 3),
            (axes[2], difference, "difference", "RdBu_r", -limit, limit)):
        shown = ax.imshow(image, cmap=cmap, vmin=vmin, vmax=vmax)
        ax.set_title(title)
        ax.set_xticks([])
        ax.set_yticks([])
        bar = fig.colorbar(shown, ax=ax, fraction=0.046, pad=0.04)
        bar.set_label("standardised intensity (z-score)" if title != "difference"
                      else "experiment - simulation (z-scores)")
    fig.tight_layout()
    fig.savefig(os.path.join(folder, "comparison.png"), metadata={"Software": made_by(folder)})
    plt.close(fig)


def main():
    if len(sys.argv) not in (2, 3) or (len(sys.argv) == 3 and sys.argv[2] not in ("pearson", "r")):
        sys.exit(__doc__)
    folder = sys.argv[1]
    rows = read_points(folder)
    score_picture(rows, folder, sys.argv[2] if len(sys.argv) == 3 else "pearson")
    comparison_picture(folder)


if __name__ == "__main__":
    main()
