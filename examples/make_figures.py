#!/usr/bin/env python3
"""Makes the figures of the README's Python session, in examples/figures/.

Abilene (examples/abilene.graphml) with one SRLG per link and a regional failure of
radius 300 km around each city: estimated with 100,000 samples and seed 1, and exact.

    python3 examples/make_figures.py      # with the varnak package installed
"""

import pathlib

import varnak
from varnak import plots
from varnak.convert import convert

EXAMPLES = pathlib.Path(__file__).resolve().parent
FIGURES = EXAMPLES / "figures"


def main():
    instance = convert(EXAMPLES / "abilene.graphml", "link,disk", radius_km=300)
    estimate = varnak.estimate(instance, 100000, seed=1, threads=2)
    exact = varnak.exact(instance)
    FIGURES.mkdir(exist_ok=True)
    plots.save(plots.overview(estimate), FIGURES / "abilene_disks_estimate.png")
    plots.save(plots.overview(exact), FIGURES / "abilene_disks_exact.png")
    plots.save(plots.reliability_curve(estimate), FIGURES / "abilene_disks_reliability.svg")
    largest_gap = abs(estimate.spectrum - exact.spectrum).max()
    print(f"{instance.srlg_count} SRLGs; largest gap between estimate and exact spectrum "
          f"{largest_gap:.4f}, band half-width {estimate.band_half_width:.4f}")


if __name__ == "__main__":
    main()
