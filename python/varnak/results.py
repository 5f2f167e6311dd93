"""Result files: Varnak's XML result file, varnak-tools' estimate reports (JSON or CSV) and
exact JSON reports."""

import os

from . import native
from . import names
from .analysis import SpectraResult, estimate_result, exact_result
from .instance import VarnakError, printable


def _first_character(path):
    with open(path, "rb") as file:
        start = file.read(4096).lstrip(b"\xef\xbb\xbf \t\r\n")
    return start[:1]


def _read_report(path):
    """An estimate's JSON or CSV report or an exact JSON report, read and checked by
    varnak-tools' own reader. An estimate's values are made again from its counts, the same
    doubles as the report's; an exact report's are the ones it holds, once checked against
    its counts."""
    # As bytes: a path that is not UTF-8 reaches the reader as the file system names it.
    report = native.module().read_spectra_report(os.fsencode(path))
    if report[names.COMMAND] == names.EXACT_COMMAND:
        result = exact_result(report)
    else:
        pairwise = names.PAIRWISE in report
        result = estimate_result(
            report[names.CONNECTED], report[names.CONNECTED_WITH], report[names.SAMPLE_SIZE],
            report[names.SEED], report[names.SEED_DRAWN], report[names.THREADS],
            report[names.FREE_EDGES_CONNECT], instance=report[names.INSTANCE],
            elapsed_seconds=report[names.ELAPSED_SECONDS], terminals=report[names.TERMINALS],
            connected_pairs=report[names.CONNECTED_PAIRS] if pairwise else None,
            terminal_pairs=report[names.TERMINAL_PAIRS] if pairwise else None,
            pairwise_none_up=report[names.PAIRWISE_NONE_UP] if pairwise else None,
            critical=report.get(names.CRITICAL))
    result.file_name = os.path.basename(path)
    return result


def read_result(path):
    """An XML result file (Varnak, varnak-tools estimate --outpath) as a SpectraResult, a
    varnak-tools estimate JSON or CSV report as an EstimateResult, or an exact JSON report
    as an ExactResult. Reports are checked as varnak-tools reliability --results checks them,
    and an estimate's values are made again from its counts. Refusals raise VarnakError
    naming the file, the line and the value."""
    path = os.fspath(path)
    shown = printable(path)
    try:
        first = _first_character(path)
    except OSError as error:
        raise VarnakError(f"cannot open result file {shown}: {error.strerror}", path) from None
    if first in (b"{", b"#"):
        return _read_report(path)
    try:
        spectrum, bim_spectra = native.module().read_xml_results(os.fsencode(path))
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
