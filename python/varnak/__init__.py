"""Varnak from Python: network instances, spectra and BIM spectra, reliability and plots.

    import varnak
    instance = varnak.Instance.read("examples/abilene.txt")
    result = varnak.estimate(instance, 100000, seed=1)
    result.spectrum, result.bim_spectra, result.wilson_low, result.band_high
    varnak.reliability(varnak.exact(instance), grid=101, rank_at=0.99)

Importers and SRLG generators are in varnak.topology and varnak.srlgs, plots in
varnak.plots, result files in varnak.results; `python3 -m varnak --help` lists the
command line.
"""

from .instance import Instance, VarnakError
from .analysis import (EstimateResult, ExactResult, ImportanceRanking, ReliabilityResult,
                       SpectraResult, cuts, estimate, exact, reliability)
from .results import read_result

__all__ = ["Instance", "VarnakError", "EstimateResult", "ExactResult", "ImportanceRanking",
           "ReliabilityResult", "SpectraResult", "cuts", "estimate", "exact", "reliability",
           "read_result"]
