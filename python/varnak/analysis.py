"""estimate, exact, reliability and cuts: the C++ library's results as NumPy arrays.

Each result object holds its values under the key names of varnak-tools' JSON reports
(varnak/names.py): result.spectrum, result.bim_spectra, result.wilson_low, result.N, ...,
also reachable as result["spectrum"].
"""

import os

import numpy as np

from . import native
from . import names
from .instance import Instance, VarnakError


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
    """Monte Carlo spectra from their counts, with 95% Clopper-Pearson intervals per entry
    (wilson_low, wilson_high) and the 95% DKW band: the keys of varnak-tools estimate's JSON
    report."""

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
    columns rank, srlg, importance, importance_low, importance_high, resolved, tie_group,
    R_up, R_down. The interval and resolved columns are None for spectra without counts;
    tie_group, of exact figures, is the rank of the first of SRLGs whose importances are
    equal, None for an SRLG that ties with none."""


class CutsResult(Result):
    """The minimal SRLG cut sets of at most max_size SRLGs: `cut_sets`, a list of
    {"srlgs": [...], "cut_off": [...]}, and `count_by_size` (entry d for sets of d SRLGs)."""

    command = names.CUTS_COMMAND


def _whole(value, name):
    """A whole number as the run takes it, or None; the run checks its range."""
    if value is None:
        return None
    if isinstance(value, bool) or not isinstance(value, (int, np.integer)):
        raise ValueError(f"{name} is {value!r}; expected a whole number")
    value = int(value)
    if not -2**63 <= value < 2**63:
        raise ValueError(f"{name} is {value}; expected a whole number of at most 64 bits")
    return value


def _flag(value, name):
    """A yes or no as the run takes it: True or False (NumPy's too), and nothing that merely
    has a truth value, as "maybe" does."""
    if isinstance(value, (bool, np.bool_)):
        return bool(value)
    raise ValueError(f"{name} is {value!r}; expected True or False")


def _number_text(value, name):
    """A number as the command line would give it, for the run to read; None stays None."""
    if value is None:
        return None
    if isinstance(value, bool):
        raise ValueError(f"{name} is {value!r}; expected a number from 0 to 1")
    if isinstance(value, (int, np.integer)):
        return str(int(value))
    try:
        return repr(float(value))
    except (TypeError, ValueError):
        raise ValueError(f"{name} is {value!r}; expected a number from 0 to 1") from None


def _as_instance(instance):
    return instance if isinstance(instance, Instance) else Instance.read(instance)


def _source_of(instance):
    """The instance as a run takes it: the native instance, its path and its name."""
    return dict(instance=instance._native, path=instance.path or "", name=instance.name or "")


def _terminal_ids(instance, terminals):
    """The terminal ids as whole numbers; the run checks them against the instance."""
    if terminals is None:
        return None
    ids = []
    for terminal in terminals:
        if isinstance(terminal, bool) or not isinstance(terminal, (int, np.integer)):
            raise ValueError(f"terminal {terminal!r} is not a vertex id; expected a whole "
                             f"number from 1..{instance.vertex_count}")
        ids.append(_whole(terminal, "terminal"))
    return ids


def _run_fields(command, run):
    """The keys every report starts with, in its order, from a run's values."""
    terminals = run[names.TERMINALS]
    return {
        names.COMMAND: command,
        names.INSTANCE: run[names.INSTANCE],
        names.METHOD: run[names.METHOD],
        names.RESULTS_FILE: run[names.RESULTS_FILE],
        names.SRLG_COUNT: run[names.SRLG_COUNT],
        names.SAMPLE_SIZE: run[names.SAMPLE_SIZE],
        names.SEED: run[names.SEED],
        names.SEED_DRAWN: run[names.SEED_DRAWN],
        names.THREADS: run[names.THREADS],
        names.TERMINALS: np.array(terminals, dtype=np.int32) if len(terminals) else None,
        names.FREE_EDGES_CONNECT: bool(run[names.FREE_EDGES_CONNECT]),
        names.ELAPSED_SECONDS: run[names.ELAPSED_SECONDS],
        names.CONFIDENCE_LEVEL: native.module().CONFIDENCE_LEVEL,
    }


def _exact_fields(values):
    """exact_method and the diagram's size, None where they do not apply."""
    return {key: values[key] if key in values else None for key in names.EXACT_KEYS}


def _list(values):
    return [] if values is None else [int(value) for value in values]


def _held_estimate(connected, connected_with, n, seed, seed_drawn, threads, free_edges_connect,
                   instance=None, results_file=None, terminals=None, connected_pairs=None,
                   terminal_pairs=0, pairwise_none_up=0.0, critical=None):
    return native.module().held_estimate(
        connected, connected_with, _whole(n, "N"), _whole(seed, "seed") or 0,
        _flag(seed_drawn, "seed_drawn"), _whole(threads, "threads") or 1,
        _flag(free_edges_connect, "free_edges_connect"),
        instance or "", results_file or "", _list(terminals),
        [str(int(count)) for count in connected_pairs] if connected_pairs is not None else [],
        int(terminal_pairs or 0), float(pairwise_none_up or 0.0), critical)


def estimate_result(connected, connected_with, n, seed, seed_drawn, threads, free_edges_connect,
                    instance=None, elapsed_seconds=None, terminals=None, connected_pairs=None,
                    terminal_pairs=None, pairwise_none_up=None, critical=None):
    """An EstimateResult made from an estimate's counts, every value as varnak-tools makes
    it: count / N, Clopper-Pearson intervals from the counts, and the band around the values.
    Counts that no run can give (a spectrum that falls, a BIM count above its spectrum count,
    ...) raise ValueError with the message varnak-tools gives for them in a report.
    `critical`, by SRLG and position the samples that SRLG connected, gives unbiased
    importance."""
    held = _held_estimate(connected, connected_with, n, seed, seed_drawn, threads,
                          free_edges_connect, instance=instance, terminals=terminals,
                          connected_pairs=connected_pairs, terminal_pairs=terminal_pairs,
                          pairwise_none_up=pairwise_none_up, critical=critical)
    figures = native.module().estimate_figures(held)
    values = _run_fields(names.ESTIMATE_COMMAND, {
        names.INSTANCE: instance, names.METHOD: names.METHOD_ESTIMATE, names.RESULTS_FILE: None,
        names.SRLG_COUNT: len(np.asarray(connected)), names.SAMPLE_SIZE: n, names.SEED: seed,
        names.SEED_DRAWN: seed_drawn, names.THREADS: threads, names.TERMINALS: _list(terminals),
        names.FREE_EDGES_CONNECT: free_edges_connect, names.ELAPSED_SECONDS: elapsed_seconds})
    values.update({
        names.BAND_HALF_WIDTH: figures[names.BAND_HALF_WIDTH],
        names.SPECTRUM: figures[names.SPECTRUM],
        names.CONNECTED: np.asarray(connected),
        names.WILSON_LOW: figures[names.WILSON_LOW],
        names.WILSON_HIGH: figures[names.WILSON_HIGH],
        names.BAND_LOW: figures[names.BAND_LOW],
        names.BAND_HIGH: figures[names.BAND_HIGH],
        names.BIM_SPECTRA: figures[names.BIM_SPECTRA],
        names.CONNECTED_WITH: np.asarray(connected_with),
    })
    if critical is not None:
        values[names.CRITICAL] = np.asarray(critical)
    if connected_pairs is not None:
        values[names.PAIRWISE] = figures[names.PAIRWISE]
        values[names.PAIRWISE_LOW] = figures[names.PAIRWISE_LOW]
        values[names.PAIRWISE_HIGH] = figures[names.PAIRWISE_HIGH]
        values[names.PAIRWISE_NONE_UP] = pairwise_none_up
        values[names.TERMINAL_PAIRS] = terminal_pairs
        values[names.CONNECTED_PAIRS] = list(connected_pairs)
    return EstimateResult(values)


def estimate(instance, n, seed=None, threads=None, terminals=None, pairwise=False, outpath=None):
    """Estimates the spectrum and BIM spectra from n samples, as Varnak and varnak-tools
    estimate do: the same seed gives the same counts, whatever the thread count, and every
    value is the count over n, as in varnak-tools' reports.

    instance: an Instance or the path of an instance file. Without a seed one is drawn
    and reported (seed_drawn). threads defaults to the machine's cores, as in varnak-tools.
    terminals: vertex ids that must lie in one piece for the network to count as
    connected (default: every vertex). pairwise: also the expected share of terminal
    pairs connected for each k (pairwise, with 95% Clopper-Pearson intervals pairwise_low and
    pairwise_high). outpath: also write Varnak's XML result file there; when it cannot be
    written, VarnakError says why and carries the result as its `result`. The run
    releases the interpreter; Ctrl-C stops it and raises KeyboardInterrupt. Refusals are
    varnak-tools': ValueError for arguments it would refuse as a usage error, VarnakError
    for an input that lets the run down.
    """
    instance = _as_instance(instance)
    run = native.module().estimate(
        **_source_of(instance), n=_whole(n, "n"), seed=_whole(seed, "seed"),
        threads=_whole(threads, "threads"), terminals=_terminal_ids(instance, terminals),
        pairwise=_flag(pairwise, "pairwise"),
        outpath=None if outpath is None else os.fspath(outpath))
    pairs = run.get(names.CONNECTED_PAIRS)
    result = estimate_result(
        run[names.CONNECTED], run[names.CONNECTED_WITH], run[names.SAMPLE_SIZE],
        run[names.SEED], run[names.SEED_DRAWN], run[names.THREADS],
        run[names.FREE_EDGES_CONNECT], instance=run[names.INSTANCE],
        elapsed_seconds=run[names.ELAPSED_SECONDS], terminals=run[names.TERMINALS],
        connected_pairs=pairs, terminal_pairs=run.get(names.TERMINAL_PAIRS),
        pairwise_none_up=run.get(names.PAIRWISE_NONE_UP), critical=run.get(names.CRITICAL))
    if run["unwritten"] is not None:
        error = VarnakError(run["unwritten"], os.fspath(outpath))
        error.result = result
        raise error
    return result


def _memory_text(max_memory):
    """max_memory as --max-memory takes it: text ("512M", "1.5G") or a number of bytes."""
    if max_memory is None or isinstance(max_memory, str):
        return max_memory
    return str(_whole(max_memory, "max_memory"))


def _method(method):
    """None for the default, so that only a method asked for is a method given."""
    return None if method in (None, "auto") else method


def exact(instance, method="auto", max_memory=None, terminals=None, pairwise=False):
    """The exact spectrum and BIM spectra with the counts they are made of, as varnak-tools
    exact finds them: by enumerating the SRLG subsets (method="subsets", up to 30 SRLGs), by
    the decision diagram over the SRLGs (method="diagram", any number of SRLGs while its
    tables fit in max_memory), or by the first up to 16 SRLGs and the second above
    (method="auto"). exact_method says which ran. The counts are exact Python ints, in NumPy
    arrays of objects, as they outgrow 64 bits. terminals and pairwise as for estimate;
    terminals take either method, pairwise the subset enumeration (method="diagram" is
    refused with it), and pairwise shares are exact up to 24 SRLGs, with their pair sums as
    Python ints (connected_pairs). Refusals are varnak-tools', as for estimate."""
    instance = _as_instance(instance)
    return exact_result(native.module().exact(
        **_source_of(instance), method=_method(method), max_memory=_memory_text(max_memory),
        terminals=_terminal_ids(instance, terminals), pairwise=_flag(pairwise, "pairwise")))


def exact_result(run):
    """An ExactResult from the module's values of an exact run or of an exact report."""
    values = _run_fields(names.EXACT_COMMAND, run)
    values.update(_exact_fields(run))
    for key in (names.SPECTRUM, names.CONNECTED, names.SUBSETS, names.BIM_SPECTRA,
                names.CONNECTED_WITH):
        values[key] = run[key]
    values.update({key: run[key] for key in names.PAIRWISE_KEYS if key in run})
    return ExactResult(values)


def _subset_counts(result):
    """An exact result's subset counts as decimal digits, which carry Python's whole numbers
    of any size: R(p) and importance made from them are correctly rounded."""
    if names.CONNECTED not in result or names.CONNECTED_WITH not in result:
        return {}
    return {"connected": [str(int(count)) for count in np.asarray(result[names.CONNECTED]).flat],
            "connected_with": [[str(int(count)) for count in row]
                               for row in np.asarray(result[names.CONNECTED_WITH])]}


def _held(result):
    """The spectra of a result, held for a reliability run."""
    module = native.module()
    terminals = result[names.TERMINALS] if names.TERMINALS in result else None
    if isinstance(result, EstimateResult):
        return _held_estimate(
            result.connected, result.connected_with, result.N, result.seed, result.seed_drawn,
            result.threads, result.free_edges_connect, instance=result.instance,
            results_file=result.file_name, terminals=terminals,
            connected_pairs=result[names.CONNECTED_PAIRS] if names.CONNECTED_PAIRS in result
            else None,
            terminal_pairs=result[names.TERMINAL_PAIRS] if names.TERMINAL_PAIRS in result else 0,
            pairwise_none_up=result[names.PAIRWISE_NONE_UP] if names.PAIRWISE_NONE_UP in result
            else 0.0,
            critical=result[names.CRITICAL] if names.CRITICAL in result else None)
    if isinstance(result, (ExactResult, SpectraResult)):
        is_exact = isinstance(result, ExactResult)
        pairwise = result[names.PAIRWISE] if names.PAIRWISE in result else None
        return module.held_values(
            names.METHOD_EXACT if is_exact else names.METHOD_XML,
            np.asarray(result.spectrum, dtype=float), result.bim_spectra,
            _flag(result[names.FREE_EDGES_CONNECT], names.FREE_EDGES_CONNECT) if is_exact
            else False,
            (result.instance or "") if is_exact else "", result.file_name or "",
            _list(terminals),
            None if pairwise is None else [float(share) for share in pairwise],
            float(result[names.PAIRWISE_NONE_UP]) if names.PAIRWISE_NONE_UP in result
            and result[names.PAIRWISE_NONE_UP] is not None else 0.0,
            (result[names.EXACT_METHOD] or "") if names.EXACT_METHOD in result else "",
            # The decision diagram's size, under the keyword names of its report keys.
            **{key: (result[key] or 0) if key in result else 0 for key in names.EXACT_KEYS[1:]},
            **_subset_counts(result) if is_exact else {})
    raise ValueError(f"a {type(result).__name__} holds no spectra")


# Columns that spectra without counts cannot give: null in varnak-tools' JSON.
_INTERVAL_KEYS = (names.R_LOW, names.R_HIGH, names.IMPORTANCE_LOW, names.IMPORTANCE_HIGH,
                  names.RESOLVED)


def _without_unknown(columns, known):
    return {key: None if key in _INTERVAL_KEYS and not known else value
            for key, value in columns.items()}


def reliability(source, p=None, grid=None, rank_at=None, n=None, seed=None, threads=None,
                free_connected=None, tail_exact=None, method="auto", max_memory=None,
                terminals=None, pairwise=False, top=0, srlg_p=None, rel_error=None,
                max_n=None):
    """R(p), the probability that the network is connected when every SRLG is up
    independently with probability p, with its 95% interval, and with rank_at the SRLGs
    ranked by Birnbaum importance there (the first `top`, 0 for all, most important first;
    ties keep the lower id first), each with its 95% interval and whether its rank is
    resolved: the figures of varnak-tools reliability, to the last bit, and its refusals.

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
    rel_error with max_n doubles n until the 95% half-width of 1 - R(p) is at most that
    share of it (p being rank_at, or the one p), or the top ranks are resolved
    (stop_reason says which), as --rel-error and --max-N. srlg_p, with an instance, is a
    file of "id,p" lines giving each SRLG its own probability: R and every importance are
    then exact, from the decision diagram, as --srlg-p.

    terminals and pairwise go with an instance, as for estimate and exact; with pairwise
    the result also holds pairwise, the expected share of terminal pairs connected at
    each p. Spectra that hold pairwise shares give it by themselves.
    """
    arguments = dict(instance=None, held=None, path="", name="", file_kind="", exact=False)
    if isinstance(source, Result):
        arguments["held"] = _held(source)
    else:
        instance = _as_instance(source)
        arguments.update(_source_of(instance))
        arguments["exact"] = n is None
        terminals = _terminal_ids(instance, terminals)
    if p is not None:
        p = [_number_text(value, "p value") for value in np.atleast_1d(np.asarray(p)).tolist()]
    if isinstance(tail_exact, bool):
        tail_exact = "auto" if tail_exact else None
    elif tail_exact is not None:
        tail_exact = str(_whole(tail_exact, "tail_exact"))
    run = native.module().reliability(
        **arguments, n=_whole(n, "n"), seed=_whole(seed, "seed"),
        threads=_whole(threads, "threads"),
        free_connected=None if free_connected is None
        else ("yes" if _flag(free_connected, "free_connected") else "no"),
        method=_method(method), max_memory=_memory_text(max_memory),
        terminals=None if terminals is None else list(terminals),
        pairwise=_flag(pairwise, "pairwise"),
        p=p, grid=_whole(grid, "grid"), rank_at=_number_text(rank_at, "rank_at"),
        top=_whole(top, "top"), tail_exact=tail_exact,
        rel_error=None if rel_error is None else float(rel_error), max_n=_whole(max_n, "max_n"),
        srlg_p=None if srlg_p is None else os.fspath(srlg_p))
    values = _run_fields(names.RELIABILITY_COMMAND, run)
    values.update(_exact_fields(run))
    for key in (names.SRLG_PROBABILITIES, names.REL_ERROR, names.STOP_REASON,
                names.EXACT_TAIL_DEPTH, names.CONNECTED):
        values[key] = run[key]
    known = run["has_intervals"]
    values[names.RELIABILITY] = ReliabilityCurve(_without_unknown(run[names.RELIABILITY], known))
    if names.PAIRWISE in run:
        values[names.PAIRWISE] = run[names.PAIRWISE]
    if names.IMPORTANCE in run:
        ranking = _without_unknown(run[names.IMPORTANCE], known)
        for key in (names.P, names.R, names.R_LOW, names.R_HIGH, names.UNRELIABILITY):
            ranking[key] = ranking[key] if ranking[key] is None else ranking[key][0]
        values[names.IMPORTANCE] = ImportanceRanking(ranking)
    return ReliabilityResult(values)


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
    run = native.module().cuts(**_source_of(instance), max_size=_whole(max_size, "max_size"),
                               terminals=_terminal_ids(instance, terminals))
    values = _run_fields(names.CUTS_COMMAND, run)
    for key in (names.MAX_SIZE, names.SETS_CHECKED, names.COUNT_BY_SIZE, names.CUT_SETS):
        values[key] = run[key]
    return CutsResult(values)
