"""Result files: Varnak's XML result file and varnak-tools' estimate and exact JSON reports."""

import json
import os

import numpy as np

from . import native
from . import names
from .analysis import EstimateResult, ExactResult, SpectraResult
from .instance import VarnakError

# JSON keys whose values become NumPy arrays, with their element types.
_ARRAY_KEYS = {
    names.SPECTRUM: float, names.WILSON_LOW: float, names.WILSON_HIGH: float,
    names.BAND_LOW: float, names.BAND_HIGH: float, names.BIM_SPECTRA: float,
    names.CONNECTED_SUBSETS: np.uint64, names.SUBSETS: np.uint64,
    names.CONNECTED_SUBSETS_WITH: np.uint64,
    names.PAIRWISE: float, names.PAIRWISE_LOW: float, names.PAIRWISE_HIGH: float,
    names.TERMINALS: np.int32,
}
_REQUIRED_KEYS = {
    names.ESTIMATE_COMMAND: (names.SPECTRUM, names.BIM_SPECTRA, names.WILSON_LOW,
                             names.WILSON_HIGH, names.BAND_LOW, names.BAND_HIGH,
                             names.SAMPLE_SIZE),
    names.EXACT_COMMAND: (names.SPECTRUM, names.BIM_SPECTRA, names.FREE_EDGES_CONNECT),
}


def _first_character(path):
    with open(path, "rb") as file:
        start = file.read(4096).lstrip(b"\xef\xbb\xbf \t\r\n")
    return start[:1]


def _read_json(path, shown):
    try:
        with open(path, encoding="utf-8") as file:
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
    if command not in _REQUIRED_KEYS:
        raise VarnakError(f"{shown}: \"{names.COMMAND}\" is {json.dumps(command)}; expected "
                          "\"estimate\" or \"exact\"", path)
    for key in _REQUIRED_KEYS[command]:
        if key not in report:
            raise VarnakError(f"{shown}: no \"{key}\" in this {command} report", path)
    values = {}
    for key, value in report.items():
        if key in _ARRAY_KEYS and value is not None:
            try:
                value = np.array(value, dtype=_ARRAY_KEYS[key])
            except (TypeError, ValueError):
                raise VarnakError(f"{shown}: \"{key}\" is not an array of numbers",
                                  path) from None
        values[key] = value
    size = values[names.SPECTRUM].size
    if values[names.SPECTRUM].ndim != 1 or values[names.BIM_SPECTRA].shape != (size, size):
        raise VarnakError(f"{shown}: \"{names.BIM_SPECTRA}\" is not {size} rows of {size} "
                          f"values, one row per \"{names.SPECTRUM}\" entry", path)
    return (EstimateResult if command == names.ESTIMATE_COMMAND else ExactResult)(values)


def read_result(path):
    """An XML result file (Varnak, varnak-tools estimate --outpath) as a SpectraResult, or a
    varnak-tools estimate or exact JSON report as an EstimateResult or ExactResult. Refusals
    raise VarnakError naming the file, the line and the value."""
    path = os.fspath(path)
    shown = native.module().printable(path)
    try:
        first = _first_character(path)
    except OSError as error:
        raise VarnakError(f"cannot open result file {shown}: {error.strerror}", path) from None
    if first == b"{":
        return _read_json(path, shown)
    try:
        spectrum, bim_spectra = native.module().read_xml_results(path)
    except RuntimeError as error:
        raise VarnakError(str(error), path) from None
    return SpectraResult({
        names.INSTANCE: os.path.basename(path),
        names.SRLG_COUNT: int(spectrum.size),
        names.SPECTRUM: spectrum,
        names.BIM_SPECTRA: bim_spectra,
    })
