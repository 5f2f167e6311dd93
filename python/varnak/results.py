"""Result files: Varnak's XML result file, varnak-tools' estimate reports (JSON or CSV) and
exact JSON reports."""

import json
import os

import numpy as np

from . import native
from . import names
from .analysis import ExactResult, SpectraResult, estimate_result
from .instance import VarnakError

# The exact report's keys whose values become NumPy arrays, with their element types: the
# counts stay Python ints of any length, as exact returns them.
_ARRAY_KEYS = {
    names.SPECTRUM: float, names.BIM_SPECTRA: float,
    names.CONNECTED: object, names.SUBSETS: object, names.CONNECTED_WITH: object,
    names.PAIRWISE: float, names.PAIRWISE_LOW: float, names.PAIRWISE_HIGH: float,
    names.TERMINALS: np.int32,
}
_EXACT_KEYS = (names.SPECTRUM, names.BIM_SPECTRA, names.FREE_EDGES_CONNECT)


def _first_character(path):
    with open(path, "rb") as file:
        start = file.read(4096).lstrip(b"\xef\xbb\xbf \t\r\n")
    return start[:1]


def _read_estimate(path, elapsed_seconds=None):
    """An estimate's JSON or CSV report, read and checked by varnak-tools' own reader, and
    every value made again from its counts: the same doubles as the report's. The reader
    keeps the counts and the run's facts; the run's time, which only JSON holds, is given."""
    try:
        report = native.module().read_estimate_results(path)
    except RuntimeError as error:
        raise VarnakError(str(error), path) from None
    pairwise = names.PAIRWISE in report
    result = estimate_result(
        report[names.CONNECTED], report[names.CONNECTED_WITH], report[names.SAMPLE_SIZE],
        report[names.SEED], report[names.SEED_DRAWN], report[names.THREADS],
        report[names.FREE_EDGES_CONNECT], instance=report[names.INSTANCE],
        elapsed_seconds=elapsed_seconds, terminals=report[names.TERMINALS],
        connected_pairs=report[names.CONNECTED_PAIRS] if pairwise else None,
        terminal_pairs=report[names.TERMINAL_PAIRS] if pairwise else None,
        pairwise_none_up=report[names.PAIRWISE_NONE_UP] if pairwise else None)
    result.file_name = os.path.basename(path)
    return result


def _read_json(path, shown):
    try:
        # utf-8-sig: a byte-order mark says only that the report is UTF-8.
        with open(path, encoding="utf-8-sig") as file:
            report = json.load(file)
    except json.JSONDecodeError as error:
        raise VarnakError(f"{shown} line {error.lineno}: {error.msg}; expected a varnak-tools "
                          "JSON report", path, error.lineno) from None
    except UnicodeDecodeError as error:
        raise VarnakError(f"{shown}: byte {error.start} is not UTF-8; expected a varnak-tools "
                          "JSON report", path) from None
    if not isinstance(report, dict):
        raise VarnakError(f"{shown}: the document is not an object; expected a varnak-tools "
                          "JSON report", path)
    command = report.get(names.COMMAND)
    if command == names.ESTIMATE_COMMAND:
        return _read_estimate(path, report.get(names.ELAPSED_SECONDS))
    if command != names.EXACT_COMMAND:
        raise VarnakError(f"{shown}: \"{names.COMMAND}\" is {json.dumps(command)}; expected "
                          "\"estimate\" or \"exact\"", path)
    for key in _EXACT_KEYS:
        if key not in report:
            raise VarnakError(f"{shown}: no \"{key}\" in this {command} report", path)
    values = {}
    for key, value in report.items():
        if key in _ARRAY_KEYS and value is not None:
            try:
                value = np.array(value, dtype=_ARRAY_KEYS[key])
                if value.dtype == object and not all(isinstance(count, int)
                                                     for count in value.flat):
                    raise ValueError(key)
            except (TypeError, ValueError, OverflowError):
                raise VarnakError(f"{shown}: \"{key}\" is not an array of numbers",
                                  path) from None
        values[key] = value
    size = values[names.SPECTRUM].size
    if values[names.SPECTRUM].ndim != 1 or values[names.BIM_SPECTRA].shape != (size, size):
        raise VarnakError(f"{shown}: \"{names.BIM_SPECTRA}\" is not {size} rows of {size} "
                          f"values, one row per \"{names.SPECTRUM}\" entry", path)
    result = ExactResult(values)
    result.file_name = os.path.basename(path)
    return result


def read_result(path):
    """An XML result file (Varnak, varnak-tools estimate --outpath) as a SpectraResult, a
    varnak-tools estimate JSON or CSV report as an EstimateResult, or an exact JSON report
    as an ExactResult. An estimate's report is checked as varnak-tools reliability --results
    checks it, and its values are made again from its counts. Refusals raise VarnakError
    naming the file, the line and the value."""
    path = os.fspath(path)
    shown = native.module().printable(path)
    try:
        first = _first_character(path)
    except OSError as error:
        raise VarnakError(f"cannot open result file {shown}: {error.strerror}", path) from None
    if first == b"{":
        return _read_json(path, shown)
    if first == b"#":
        return _read_estimate(path)
    try:
        spectrum, bim_spectra = native.module().read_xml_results(path)
    except RuntimeError as error:
        raise VarnakError(str(error), path) from None
    result = SpectraResult({
        names.INSTANCE: None,
        names.METHOD: names.METHOD_XML,
        names.RESULTS_FILE: os.path.basename(path),
        names.SRLG_COUNT: int(spectrum.size),
        names.SPECTRUM: spectrum,
        names.BIM_SPECTRA: bim_spectra,
    })
    result.file_name = os.path.basename(path)
    return result
