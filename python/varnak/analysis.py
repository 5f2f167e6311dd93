"""estimate, exact, reliability and cuts: the C++ library's results as NumPy arrays.

Each result object holds its values under the key names of varnak-tools' JSON reports
(varnak/names.py): result.spectrum, result.bim_spectra, result.wilson_low, result.N, ...,
also reachable as result["spectrum"].
"""

import secrets
import time

import numpy as np

from . import native
from . import names
from .instance import Instance, VarnakError

DEFAULT_GRID_POINTS = 11


class Result:
    """Values by their JSON key names, as attributes and as items."""

    command = None
    # The name of the file the result was read from (read_result), for the reports made
    # from it; None for a result computed here.
    file_name = None

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
                          if not isinstance(v, (np.ndarray, Result, list)))
        return f"{type(self).__name__}({shown})"


class EstimateResult(Result):
    """Monte Carlo spectra from their counts, with 95% Wilson intervals per entry and the 95%
    DKW band: the keys of varnak-tools estimate's JSON report."""

    command = names.ESTIMATE_COMMAND


class ExactResult(Result):
    """Exact spectra as shares of connected SRLG subsets: the keys of varnak-tools exact's
    JSON report."""

    command = names.EXACT_COMMAND


class SpectraResult(Result):
    """Spectra read from a Varnak XML result file: six decimals and no counts, so the figures
    made from them have no intervals."""

    command = None


class ReliabilityResult(Result):
    """R(p) at the p values (`reliability`), and when asked the SRLGs ranked by Birnbaum
    importance (`importance`): the keys of varnak-tools reliability's JSON report."""

    command = names.RELIABILITY_COMMAND


class ReliabilityCurve(Result):
    """The points of R(p) as columns: p, R, R_low, R_high, unreliability (1 - R(p), summed on
    its own). The interval columns are None for spectra without counts."""


class ImportanceRanking(Result):
    """At p: R, R_low, R_high and unreliability, and every SRLG most important first as the
    columns rank, srlg, importance, importance_low, importance_high, resolved, R_up, R_down.
    The interval and resolved columns are None for spectra without counts."""


class CutsResult(Result):
    """The minimal SRLG cut sets of at most max_size SRLGs: `cut_sets`, a list of
    {"srlgs": [...], "cut_off": [...]}, and `count_by_size` (entry d for sets of d SRLGs)."""

    command = names.CUTS_COMMAND


def _check_range(value, what, low, high, expected):
    if isinstance(value, bool) or not isinstance(value, (int, np.integer)):
        raise ValueError(f"{what} is {value!r}; expected {expected}")
    if not low <= value <= high:
        raise ValueError(f"{what} is {value}; expected {expected}")
    return int(value)


def _default_threads():
    return native.module().machine_cores()


def _as_instance(instance):
    return instance if isinstance(instance, Instance) else Instance.read(instance)


def _shown(instance):
    return native.module().printable(instance.path) if instance.path else instance.name


def _run_fields(command, method, srlg_count, free_edges_connect, elapsed_seconds,
                instance=None, results_file=None, sampled=None, terminals=None):
    """The keys every report starts with, in its order; `sampled` is (N, seed, seed_drawn,
    threads) for sampled spectra; `terminals` the terminal ids, None or empty for every
    vertex."""
    n, seed, seed_drawn, threads = sampled if sampled else (None, None, None, None)
    return {
        names.COMMAND: command,
        names.INSTANCE: instance,
        names.METHOD: method,
        names.RESULTS_FILE: results_file,
        names.SRLG_COUNT: srlg_count,
        names.SAMPLE_SIZE: n,
        names.SEED: seed,
        names.SEED_DRAWN: seed_drawn,
        names.THREADS: threads,
        names.TERMINALS: (np.array(terminals, dtype=np.int32) if terminals is not None
                          and len(terminals) else None),
        names.FREE_EDGES_CONNECT: bool(free_edges_connect),
        names.ELAPSED_SECONDS: elapsed_seconds,
        names.CONFIDENCE_LEVEL: native.module().CONFIDENCE_LEVEL,
    }


def _sampled(result):
    return tuple(result[key] for key in (names.SAMPLE_SIZE, names.SEED, names.SEED_DRAWN,
                                         names.THREADS))


def estimate_result(connected, connected_with, n, seed, seed_drawn, threads, free_edges_connect,
                    instance=None, elapsed_seconds=None, terminals=None):
    """An EstimateResult made from an estimate's counts, every value as varnak-tools makes
    it: count / N, Wilson intervals from the counts, and the band around the values."""
    spectra = native.module().spectra_of_counts(connected, connected_with, n, free_edges_connect)
    figures = native.module().estimate_figures(spectra)
    values = _run_fields(names.ESTIMATE_COMMAND, names.METHOD_ESTIMATE, spectra.srlg_count,
                         free_edges_connect, elapsed_seconds, instance=instance,
                         sampled=(n, seed, seed_drawn, threads), terminals=terminals)
    values.update({
        names.BAND_HALF_WIDTH: figures["band_half_width"],
        names.SPECTRUM: figures["spectrum"],
        names.CONNECTED: np.asarray(connected),
        names.WILSON_LOW: figures["wilson_low"],
        names.WILSON_HIGH: figures["wilson_high"],
        names.BAND_LOW: figures["band_low"],
        names.BAND_HIGH: figures["band_high"],
        names.BIM_SPECTRA: figures["bim_spectra"],
        names.CONNECTED_WITH: np.asarray(connected_with),
    })
    return EstimateResult(values)


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


def _pairwise_values(run):
    """Pairwise shares and their exact pair sums, when the run counted them."""
    if names.PAIRWISE not in run:
        return {}
    return {key: run[key] for key in names.PAIRWISE_KEYS if key in run}


def estimate(instance, n, seed=None, threads=None, terminals=None, pairwise=False):
    """Estimates the spectrum and BIM spectra from n samples, as Varnak and varnak-tools
    estimate do: the same seed gives the same counts, whatever the thread count, and every
    value is the count over n, as in varnak-tools' reports.

    instance: an Instance or the path of an instance file. Without a seed one is drawn
    and reported (seed_drawn). threads defaults to the machine's cores, as in varnak-tools.
    terminals: vertex ids that must lie in one piece for the network to count as
    connected (default: every vertex). pairwise: also the expected share of terminal
    pairs connected for each k (pairwise, with 95% Wilson intervals pairwise_low and
    pairwise_high). The run releases the interpreter; Ctrl-C stops it and raises
    KeyboardInterrupt.
    """
    instance = _as_instance(instance)
    terminals = _terminals(instance, terminals)
    n = _check_range(n, "n", 1, 2147483647, "a sample size from 1 to 2147483647")
    most = native.module().MAX_THREADS
    threads = _default_threads() if threads is None else _check_range(
        threads, "threads", 1, most, f"a count from 1 to {most}")
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
    module = native.module()
    result = estimate_result(run["connected"], run["connected_with"], n, seed, seed_drawn,
                             threads,
                             module.free_edges_connect_terminals(instance._native, terminals),
                             instance=instance.name, elapsed_seconds=run["elapsed_seconds"],
                             terminals=terminals)
    if pairwise:
        values = result._values
        values[names.PAIRWISE] = run["pairwise"]
        values[names.PAIRWISE_LOW], values[names.PAIRWISE_HIGH] = \
            module.wilson_intervals(run["pairwise"], n)
        values[names.PAIRWISE_NONE_UP] = module.free_pairs_share(instance._native, terminals)
        values[names.TERMINAL_PAIRS] = run["terminal_pairs"]
        values[names.CONNECTED_PAIRS] = run["connected_pairs"]
    return result


def _memory_budget(max_memory):
    """Bytes from an int or from text as varnak-tools --max-memory takes it ("512M", "1.5G");
    None for the default, half of this machine's memory (or of the
    address-space limit, if one is set)."""
    if max_memory is None:
        return 0
    if isinstance(max_memory, str):
        return native.module().memory_size(max_memory)
    return _check_range(max_memory, "max_memory", 1, 2**64 - 1,
                        "a size in bytes, or text such as \"512M\" or \"1.5G\"")


def exact(instance, method="auto", max_memory=None, terminals=None, pairwise=False):
    """The exact spectrum and BIM spectra with the counts they are made of, as varnak-tools
    exact finds them: by enumerating the SRLG subsets (method="subsets", up to 30 SRLGs), by
    the decision diagram over the SRLGs (method="diagram", any number of SRLGs while its
    tables fit in max_memory), or by the first up to 16 SRLGs and the second above
    (method="auto"). exact_method says which ran. The counts are exact Python ints, in NumPy
    arrays of objects, as they outgrow 64 bits. terminals and pairwise as for estimate;
    terminals take either method, pairwise the subset enumeration (method="diagram" is
    refused with it), and pairwise shares are exact up to 24 SRLGs, with their pair sums as Python ints (connected_pairs). Refusals
    raise VarnakError with varnak-tools' message."""
    instance = _as_instance(instance)
    terminals = _terminals(instance, terminals)
    budget = _memory_budget(max_memory)
    try:
        run = native.module().exact(instance._native, method, budget, terminals, bool(pairwise))
    except RuntimeError as error:
        raise VarnakError(f"{_shown(instance)}: {error}", instance.path) from None
    values = _run_fields(names.EXACT_COMMAND, names.METHOD_EXACT, instance.srlg_count,
                         run["free_edges_connect"], run["elapsed_seconds"],
                         instance=instance.name, terminals=terminals)
    values.update(_exact_fields(run))
    for key in (names.SPECTRUM, names.CONNECTED, names.SUBSETS, names.BIM_SPECTRA,
                names.CONNECTED_WITH):
        values[key] = run[key]
    values.update(_pairwise_values(run))
    return ExactResult(values)


def _exact_fields(values):
    """exact_method and the diagram's size, None where they do not apply."""
    return {key: values[key] if key in values else None for key in names.EXACT_KEYS}


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


def _spectra_of_result(result, free_connected):
    """The C++ spectra of a result, and the run fields a reliability report names for it."""
    module = native.module()
    if isinstance(result, EstimateResult):
        free = result[names.FREE_EDGES_CONNECT]
        spectra = module.spectra_of_counts(result.connected, result.connected_with, result.N,
                                           free)
        return spectra, dict(method=names.METHOD_ESTIMATE, free=free, instance=result.instance,
                             sampled=_sampled(result), connected=np.asarray(result.connected))
    if isinstance(result, ExactResult):
        free = result[names.FREE_EDGES_CONNECT]
        spectra = module.spectra_of_values(result.spectrum, result.bim_spectra, free, True)
        return spectra, dict(method=names.METHOD_EXACT, free=free, instance=result.instance,
                             exact=_exact_fields(result))
    if not isinstance(result, SpectraResult):
        raise ValueError(f"a {type(result).__name__} holds no spectra")
    free = bool(free_connected)
    spectrum = np.asarray(result.spectrum, dtype=float)
    # With y_0 = 1 every subset connects, so the file's first entry must say 1 too.
    if free and spectrum.size and spectrum[0] < 1.0 - 1e-6:
        raise VarnakError(f"free_connected is true, but spectrum value 1 is {spectrum[0]}; a "
                          "network connected with no SRLG up is connected at every k")
    spectra = module.spectra_of_values(spectrum, result.bim_spectra, free, False)
    return spectra, dict(method=names.METHOD_XML, free=free, instance=None)


def reliability(source, p=None, grid=None, rank_at=None, n=None, seed=None, threads=None,
                free_connected=None, tail_exact=None, method="auto", max_memory=None,
                terminals=None, pairwise=False):
    """R(p), the probability that the network is connected when every SRLG is up
    independently with probability p, with its 95% interval, and with rank_at the SRLGs
    ranked by Birnbaum importance there (all of them, most important first; ties keep the
    lower id first), each with its 95% interval and whether its rank is resolved: the
    figures of varnak-tools reliability, to the last bit.

    source: an EstimateResult, ExactResult or SpectraResult (read_result), or an Instance
    or instance path, whose spectra are then exact, or estimated when n is given (with
    seed and threads as for estimate). R(p) is given at the p values or on a grid of
    evenly spaced points from 0 to 1 (11 unless grid says otherwise). Estimated figures take
    their intervals from the sample counts; spectra from an XML file have none (the
    interval and resolved columns are None), and free_connected says for them whether the
    edges in no SRLG connect the network alone. tail_exact=D, with an instance and n, counts
    the failures of up to D SRLGs exactly, as varnak-tools reliability --tail-exact D, and
    tail_exact=True as many as take a fraction of a second, as --tail-exact alone. method
    and max_memory choose how exact spectra of an instance are found, as for exact.

    terminals and pairwise go with an instance, as for estimate and exact; with pairwise
    the result also holds pairwise, the expected share of terminal pairs connected at
    each p. Spectra that hold pairwise shares give it by themselves.
    """
    started = time.monotonic()
    p_values = _p_values(p, grid)
    if rank_at is not None and not 0.0 <= rank_at <= 1.0:
        raise ValueError(f"rank_at is {rank_at!r}; expected a number from 0 to 1")
    module = native.module()
    tail = None
    results_file = None
    if isinstance(source, Result):
        if terminals is not None or pairwise:
            raise ValueError("terminals and pairwise go with an instance; these spectra "
                             "were computed with their own")
        if (n, seed, tail_exact, max_memory) != (None,) * 4 or method != "auto":
            raise ValueError("n, seed, tail_exact, method and max_memory go with an instance; "
                             "a result holds its spectra")
        if free_connected is not None and not isinstance(source, SpectraResult):
            raise ValueError("free_connected goes with spectra from an XML file only; "
                             "these spectra tell it by themselves")
        spectra, run = _spectra_of_result(source, free_connected)
        results_file = source.file_name
    else:
        if free_connected is not None:
            raise ValueError("free_connected goes with spectra from an XML file only; an "
                             "instance tells it by itself")
        instance = _as_instance(source)
        if n is not None and (method != "auto" or max_memory is not None):
            raise ValueError("method and max_memory go with exact spectra: leave out n")
        if tail_exact is not None:
            if n is None:
                raise ValueError("tail_exact goes with n: it refines an estimate")
            depth = (module.quick_tail_depth(instance.srlg_count) if tail_exact is True
                     else _check_range(tail_exact, "tail_exact", 1, 1000000,
                                       "True or a number of failed SRLGs from 1 up"))
            try:
                tail = module.failure_shares(instance._native, depth)
            except RuntimeError as error:
                raise VarnakError(f"{_shown(instance)}: {error}", instance.path) from None
        result = (exact(instance, method, max_memory, terminals, pairwise) if n is None
                  else estimate(instance, n, seed, threads, terminals, pairwise))
        source = result
        spectra, run = _spectra_of_result(result, None)
    values = _run_fields(names.RELIABILITY_COMMAND, run["method"], spectra.srlg_count,
                         run["free"], None, instance=run["instance"],
                         results_file=results_file, sampled=run.get("sampled"),
                         terminals=source[names.TERMINALS] if names.TERMINALS in source else None)
    values.update(run.get("exact", _exact_fields({})))
    values[names.SRLG_PROBABILITIES] = None
    values[names.REL_ERROR] = None
    values[names.STOP_REASON] = None
    values[names.EXACT_TAIL_DEPTH] = None if tail is None else tail.depth
    values[names.CONNECTED] = run.get("connected")
    known = spectra.has_intervals
    values[names.RELIABILITY] = ReliabilityCurve(
        _without_unknown(module.reliability_points(spectra, p_values, tail), known))
    if names.PAIRWISE in source and source[names.PAIRWISE] is not None:
        values[names.PAIRWISE] = module.pairwise_curve(
            source[names.PAIRWISE_NONE_UP], source[names.PAIRWISE], p_values)
    if rank_at is not None:
        ranking = _without_unknown(module.reliability_points(spectra, [rank_at], tail), known)
        ranking = {key: value if value is None else value[0] for key, value in ranking.items()}
        columns = _without_unknown(module.importance_ranking(spectra, rank_at), known)
        ranking[names.RANK] = np.arange(1, spectra.srlg_count + 1)
        for key in (names.SRLG, names.IMPORTANCE, names.IMPORTANCE_LOW, names.IMPORTANCE_HIGH,
                    names.RESOLVED, names.R_UP, names.R_DOWN):
            ranking[key] = columns[key]
        values[names.IMPORTANCE] = ImportanceRanking(ranking)
    values[names.ELAPSED_SECONDS] = time.monotonic() - started
    return ReliabilityResult(values)


# Columns that spectra without counts cannot give: null in varnak-tools' JSON.
_INTERVAL_KEYS = (names.R_LOW, names.R_HIGH, names.IMPORTANCE_LOW, names.IMPORTANCE_HIGH,
                  names.RESOLVED)


def _without_unknown(columns, known):
    return {key: None if key in _INTERVAL_KEYS and not known else value
            for key, value in columns.items()}


def cuts(instance, max_size, terminals=None):
    """Every minimal SRLG cut set of at most max_size SRLGs, as varnak-tools cuts finds them:
    a set whose failure, every other SRLG up, disconnects the network while no smaller part
    of it does. Each set comes with the vertices it cuts off from the rest (the largest piece
    left), and count_by_size counts the sets of each size d, from d = 0. A network that is
    not connected with every SRLG up, and a max_size whose sets are too many to check, raise
    VarnakError with varnak-tools' message.

    terminals: vertex ids, as for estimate; the sets then separate those vertices, each with
    the terminals it cuts off from the piece that holds most of them."""
    instance = _as_instance(instance)
    max_size = _check_range(max_size, "max_size", 1, 2147483647,
                            "a number of SRLGs from 1 up")
    terminals = _terminals(instance, terminals)
    module = native.module()
    try:
        run = module.minimal_cut_sets(instance._native, max_size, terminals)
    except RuntimeError as error:
        raise VarnakError(f"{_shown(instance)}: {error}", instance.path) from None
    values = _run_fields(names.CUTS_COMMAND, names.METHOD_EXACT, instance.srlg_count,
                         module.free_edges_connect_terminals(instance._native, terminals),
                         run["elapsed_seconds"], instance=instance.name, terminals=terminals)
    values[names.MAX_SIZE] = run["max_size"]
    values[names.SETS_CHECKED] = run["sets_checked"]
    values[names.COUNT_BY_SIZE] = run["count_by_size"]
    values[names.CUT_SETS] = [{names.SRLGS: srlgs, names.CUT_OFF: cut_off}
                              for srlgs, cut_off in run["cut_sets"]]
    return CutsResult(values)
