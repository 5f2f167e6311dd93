"""estimate, exact, reliability and cuts: the C++ library's results as NumPy arrays.

Each result object holds its values under the key names of varnak-tools' JSON reports
(varnak/names.py): result.spectrum, result.bim_spectra, result.wilson_low, result.N, ...,
also reachable as result["spectrum"].
"""

import os
import secrets

import numpy as np

from . import native
from . import names
from .instance import Instance, VarnakError

MAX_THREADS = 1024
DEFAULT_GRID_POINTS = 11


class Result:
    """Values by their JSON key names, as attributes and as items."""

    command = None

    def __init__(self, values):
        self._values = dict(values)

    def __getattr__(self, name):
        try:
            return self.__dict__["_values"][name]
        except KeyError:
            raise AttributeError(name) from None

    def __getitem__(self, name):
        return self._values[name]

    def __contains__(self, name):
        return name in self._values

    def keys(self):
        return self._values.keys()

    def __repr__(self):
        shown = ", ".join(f"{k}={v!r}" for k, v in self._values.items()
                          if not isinstance(v, (np.ndarray, Result)))
        return f"{type(self).__name__}({shown})"


class EstimateResult(Result):
    """Monte Carlo spectra with 95% Wilson intervals per entry and the 95% DKW band."""

    command = names.ESTIMATE_COMMAND


class ExactResult(Result):
    """Exact spectra as shares of connected SRLG subsets."""

    command = names.EXACT_COMMAND


class SpectraResult(Result):
    """Spectra read from a Varnak XML result file (six decimals)."""

    command = "xml"


class ReliabilityResult(Result):
    """R(p) at the p values, and when asked the SRLGs ranked by Birnbaum importance."""

    command = names.RELIABILITY_COMMAND


class ImportanceRanking(Result):
    """At p (where R(p) is R): rank, srlg, importance, R_up, R_down, most important first."""


def _check_range(value, what, low, high, expected):
    if isinstance(value, bool) or not isinstance(value, (int, np.integer)):
        raise ValueError(f"{what} is {value!r}; expected {expected}")
    if not low <= value <= high:
        raise ValueError(f"{what} is {value}; expected {expected}")
    return int(value)


def _default_threads():
    try:
        return min(len(os.sched_getaffinity(0)), MAX_THREADS)
    except AttributeError:
        return min(os.cpu_count() or 1, MAX_THREADS)


def _as_instance(instance):
    return instance if isinstance(instance, Instance) else Instance.read(instance)


def _shown(instance):
    return native.module().printable(instance.path) if instance.path else instance.name


def _terminals(instance, terminals):
    """The terminal ids checked as varnak-tools --terminals checks them; [] for None."""
    if terminals is None:
        return []
    ids = []
    for terminal in terminals:
        if isinstance(terminal, bool) or not isinstance(terminal, (int, np.integer)):
            raise ValueError(f"terminal {terminal!r} is not a vertex id; expected a whole "
                             f"number from 1..{instance.vertex_count}")
        ids.append(int(terminal))
    return native.module().check_terminals(instance._native, ids)


def estimate(instance, n, seed=None, threads=None, terminals=None, pairwise=False):
    """Estimates the spectrum and BIM spectra from n samples, as Varnak and varnak-tools
    estimate do: the same seed gives the same doubles, whatever the thread count.

    instance: an Instance or the path of an instance file. Without a seed one is drawn
    and reported (seed_drawn). threads defaults to the processors this process may use.
    terminals: vertex ids that must lie in one piece for the network to count as
    connected (default: every vertex). pairwise: also the expected share of terminal
    pairs connected for each k (pairwise, with 95% Wilson intervals pairwise_low and
    pairwise_high). The run releases the interpreter; Ctrl-C stops it and raises
    KeyboardInterrupt.
    """
    instance = _as_instance(instance)
    terminals = _terminals(instance, terminals)
    n = _check_range(n, "n", 1, 2147483647, "a sample size from 1 to 2147483647")
    threads = _default_threads() if threads is None else _check_range(
        threads, "threads", 1, MAX_THREADS, f"a count from 1 to {MAX_THREADS}")
    seed_drawn = seed is None
    if seed_drawn:
        seed = 1 + secrets.randbelow(2147483647)
    seed = _check_range(seed, "seed", 1, 2147483647,
                        "a seed from 1 to 2147483647 (leave it out to draw one)")
    try:
        run = native.module().estimate(instance._native, n, seed, threads, terminals,
                                       bool(pairwise))
    except RuntimeError as error:
        raise VarnakError(f"{_shown(instance)}: {error}", instance.path) from None
    spectrum = run["spectrum"]
    wilson_low, wilson_high = native.module().wilson_intervals(spectrum, n)
    half_width = native.module().dkw_half_width(n)
    band_low, band_high = native.module().band(spectrum, half_width)
    values = _pairwise_values(instance, terminals, run)
    if pairwise:
        values[names.PAIRWISE_LOW], values[names.PAIRWISE_HIGH] = \
            native.module().wilson_intervals(run["pairwise"], n)
    return EstimateResult({
        names.INSTANCE: instance.name,
        names.SRLG_COUNT: instance.srlg_count,
        names.SAMPLE_SIZE: n,
        names.SEED: seed,
        names.SEED_DRAWN: seed_drawn,
        names.THREADS: threads,
        names.ELAPSED_SECONDS: run["elapsed_seconds"],
        names.CONFIDENCE_LEVEL: native.module().CONFIDENCE_LEVEL,
        names.BAND_HALF_WIDTH: half_width,
        names.SPECTRUM: spectrum,
        names.WILSON_LOW: wilson_low,
        names.WILSON_HIGH: wilson_high,
        names.BAND_LOW: band_low,
        names.BAND_HIGH: band_high,
        names.BIM_SPECTRA: run["bim_spectra"],
        names.FREE_EDGES_CONNECT: native.module().free_edges_connect_terminals(
            instance._native, terminals),
        names.CONNECTED: run["connected"],
        names.CONNECTED_WITH: run["connected_with"],
        **values,
    })


def _pairwise_values(instance, terminals, run):
    """The terminals, and with pairwise results their shares and exact pair sums."""
    values = {names.TERMINALS: np.array(terminals, dtype=np.int32)} if terminals else {}
    if "pairwise" in run:
        values[names.PAIRWISE] = run["pairwise"]
        values[names.PAIRWISE_NONE_UP] = run.get(
            "pairwise_none_up", native.module().free_pairs_share(instance._native, terminals))
        values[names.TERMINAL_PAIRS] = run["terminal_pairs"]
        values[names.CONNECTED_PAIRS] = run["connected_pairs"]
    return values


def exact(instance, terminals=None, pairwise=False):
    """The exact spectrum and BIM spectra by enumerating SRLG subsets (up to 30 SRLGs);
    more SRLGs raise VarnakError with varnak-tools' message. terminals and pairwise as for
    estimate; pairwise shares are exact up to 24 SRLGs, with their pair sums as Python
    integers (connected_pairs)."""
    instance = _as_instance(instance)
    terminals = _terminals(instance, terminals)
    try:
        run = native.module().exact(instance._native, terminals, bool(pairwise))
    except RuntimeError as error:
        raise VarnakError(f"{_shown(instance)}: {error}", instance.path) from None
    return ExactResult({
        names.INSTANCE: instance.name,
        names.SRLG_COUNT: instance.srlg_count,
        names.ELAPSED_SECONDS: run["elapsed_seconds"],
        names.FREE_EDGES_CONNECT: run["free_edges_connect"],
        names.SPECTRUM: run["spectrum"],
        names.CONNECTED_SUBSETS: run["connected_subsets"],
        names.SUBSETS: run["subsets"],
        names.BIM_SPECTRA: run["bim_spectra"],
        names.CONNECTED_SUBSETS_WITH: run["connected_subsets_with"],
        **_pairwise_values(instance, terminals, run),
    })


def _p_values(p, grid):
    if p is not None and grid is not None:
        raise ValueError("give p or grid, not both")
    if p is not None:
        values = np.atleast_1d(np.asarray(p, dtype=float))
        bad = values[~((values >= 0.0) & (values <= 1.0))]
        if bad.size:
            raise ValueError(f"p value {bad[0]!r} is not a probability; expected a number "
                             "from 0 to 1")
        return values
    points = DEFAULT_GRID_POINTS if grid is None else _check_range(
        grid, "grid", 2, 1000000, "a number of points from 2 to 1000000")
    return np.array([i / (points - 1) for i in range(points)])


def reliability(source, p=None, grid=None, rank_at=None, n=None, seed=None, threads=None,
                free_connected=None, terminals=None, pairwise=False):
    """R(p), the probability that the network is connected when every SRLG is up
    independently with probability p, and with rank_at the SRLGs ranked by Birnbaum
    importance there (all of them, most important first; ties keep the lower id first).

    source: an EstimateResult, ExactResult or SpectraResult (read_result), or an Instance
    or instance path, whose spectra are then exact, or estimated when n is given (with
    seed and threads as for estimate). R(p) is given at the p values or on a grid of
    evenly spaced points from 0 to 1 (11 unless grid says otherwise). For an estimate,
    reliability_low and reliability_high are R(p) over the 95% band's bounds: the band
    holds for every k at once and R(p) grows with each entry, so they bound R(p) with 95%
    confidence too.

    terminals and pairwise go with an instance, as for estimate and exact; with pairwise
    the result also holds pairwise, the expected share of terminal pairs connected at
    each p. Spectra that hold pairwise shares give it by themselves.
    """
    p_values = _p_values(p, grid)
    if rank_at is not None and not 0.0 <= rank_at <= 1.0:
        raise ValueError(f"rank_at is {rank_at!r}; expected a number from 0 to 1")
    values = {}
    if isinstance(source, Result):
        if terminals is not None or pairwise:
            raise ValueError("terminals and pairwise go with an instance; these spectra "
                             "were computed with their own")
        spectra = source
        values[names.SOURCE] = source[names.INSTANCE] if names.INSTANCE in source else None
        values[names.SOURCE_KIND] = {EstimateResult: "estimate", ExactResult: "exact",
                                     SpectraResult: "xml"}[type(source)]
        free = (spectra[names.FREE_EDGES_CONNECT] if names.FREE_EDGES_CONNECT in spectra
                else bool(free_connected))
    else:
        instance = _as_instance(source)
        if n is None:
            spectra = exact(instance, terminals, pairwise)
            values[names.SOURCE_KIND] = "exact"
        else:
            spectra = estimate(instance, n, seed, threads, terminals, pairwise)
            values[names.SOURCE_KIND] = "estimate"
            values.update({names.SAMPLE_SIZE: spectra.N, names.SEED: spectra.seed,
                           names.THREADS: spectra.threads})
        values[names.SOURCE] = instance.name
        free = spectra[names.FREE_EDGES_CONNECT]
    if free_connected is not None and names.FREE_EDGES_CONNECT in spectra \
            and bool(free_connected) != free:
        raise ValueError("free_connected goes with spectra from an XML file only; "
                         "these spectra tell it by themselves")
    spectrum = np.asarray(spectra.spectrum, dtype=float)
    bim = np.asarray(spectra.bim_spectra, dtype=float)
    if free and spectrum.size and spectrum[0] < 1.0 - 1e-6:
        raise VarnakError(f"free_connected is true, but spectrum value 1 is {spectrum[0]}; a "
                          "network connected with no SRLG up is connected at every k")
    values[names.SRLG_COUNT] = int(spectrum.size)
    values[names.FREE_EDGES_CONNECT] = free
    values[names.P] = p_values
    values[names.RELIABILITY] = native.module().reliability_curve(spectrum, bim, free, p_values)
    if names.TERMINALS in spectra:
        values[names.TERMINALS] = spectra[names.TERMINALS]
    if names.PAIRWISE in spectra:
        values[names.PAIRWISE] = native.module().pairwise_curve(
            spectra[names.PAIRWISE_NONE_UP], spectra[names.PAIRWISE], p_values)
    if names.BAND_LOW in spectra:
        for key, bound in ((names.RELIABILITY_LOW, spectra.band_low),
                           (names.RELIABILITY_HIGH, spectra.band_high)):
            values[key] = native.module().reliability_curve(
                _exact_at_all_up(bound, spectrum), bim, free, p_values)
    if rank_at is not None:
        srlg, importance, up, down = native.module().importance_ranking(spectrum, bim, free, rank_at)
        ranking = {
            names.P: rank_at,
            names.R: float(native.module().reliability_curve(spectrum, bim, free, [rank_at])[0]),
            names.RANK: np.arange(1, srlg.size + 1),
            names.SRLG: srlg,
            names.IMPORTANCE: importance,
            names.R_UP: up,
            names.R_DOWN: down,
        }
        if names.SAMPLE_SIZE in spectra:
            low, high = _importance_interval(spectrum, bim, free, rank_at, spectra.N)
            ranking[names.IMPORTANCE_LOW] = low[srlg - 1]
            ranking[names.IMPORTANCE_HIGH] = high[srlg - 1]
        values[names.IMPORTANCE] = ImportanceRanking(ranking)
    return ReliabilityResult(values)


def _exact_at_all_up(bound, spectrum):
    """The bound with its last entry, all SRLGs up, set to the estimate: every sample has
    the same outcome there, so that entry is exact, and near p = 1 it is most of R(p)."""
    bound = np.array(bound, dtype=float)
    bound[-1] = spectrum[-1]
    return bound


def _importance_interval(spectrum, bim, free, p, n):
    """A 95% interval for each SRLG's importance from an estimate of n samples, by SRLG id.

    Row s of the BIM spectra is the distribution function of the position by which the
    network is connected and s is up, so, like the spectrum, it lies within the DKW band
    of half-width e everywhere at once; with alpha/2 for each of the two bands both hold
    at once with 95%. R(p | s up) grows with z_s and R(p | s down) with y - z_s, which
    then lies within 2e, so the importance is least with z_s - e and y + e, and most with
    z_s + e and y - e. The entries with all SRLGs up are exact and are not widened.
    """
    width = native.module().dkw_half_width(n, 0.025)
    bounds = []
    for sign in (-1.0, 1.0):
        shifted_bim = bim + sign * width
        shifted_bim[:, -1] = bim[:, -1]
        srlg, importance, _, _ = native.module().importance_ranking(
            _exact_at_all_up(spectrum - sign * width, spectrum), shifted_bim, free, p)
        by_id = np.empty(srlg.size)
        by_id[srlg - 1] = importance
        bounds.append(by_id)
    return bounds[0], bounds[1]


def cuts(*args, **kwargs):
    """The SRLG cut sets of a network: not in this build of the C++ library yet."""
    raise NotImplementedError("cuts needs the C++ cut set search, which this build of "
                              "Varnak does not have yet")
