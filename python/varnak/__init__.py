"""Varnak from Python: network instances, spectra and BIM spectra, reliability and plots.

    import varnak
    instance = varnak.Instance.read("examples/abilene.txt")
    result = varnak.estimate(instance, 100000, seed=1)
    result.spectrum, result.connected, result.wilson_low, result.band_high
    varnak.reliability(result, grid=101, rank_at=0.99).importance.resolved
    varnak.cuts(instance, 2).cut_sets

Results carry the keys of varnak-tools' JSON reports (varnak.names) with the same values.

Importers are in varnak.topology, SRLG generators in varnak.srlgs, conversion in
varnak.convert, plots in varnak.plots and result files in varnak.results;
`python3 -m varnak --help` lists the command line.
"""

import importlib

# Loaded on first use, so that converting topologies needs neither NumPy nor the C++ module.
_EXPORTS = {
    "Instance": "instance", "VarnakError": "instance",
    "CutsResult": "analysis", "EstimateResult": "analysis", "ExactResult": "analysis",
    "ImportanceRanking": "analysis", "ReliabilityCurve": "analysis",
    "ReliabilityResult": "analysis", "SpectraResult": "analysis", "cuts": "analysis",
    "estimate": "analysis", "exact": "analysis", "reliability": "analysis",
    "read_result": "results", "read_topology": "topology",
}

__all__ = sorted(_EXPORTS)


def __getattr__(name):
    if name not in _EXPORTS:
        raise AttributeError(f"module 'varnak' has no attribute {name!r}")
    module = importlib.import_module(f".{_EXPORTS[name]}", __name__)
    value = getattr(module, name)
    globals()[name] = value
    return value
