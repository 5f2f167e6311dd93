"""One table of cases per command, run through both front ends: varnak-tools and the Python
package call the same runs, so they refuse the same requests in the same words (Python
naming each option by its keyword: --max-N is max_n) with the same kind of refusal (a
usage error, exit 2, is a ValueError; a failure, exit 1, a VarnakError), and give the same
numbers to the last bit.
"""

import json
import os
import re
from collections import namedtuple

import numpy as np
import pytest

import varnak
from conftest import EXAMPLES, TOOLS_DATA
from test_analysis import assert_same_report

RING4 = EXAMPLES / "ring4.txt"
ABILENE = EXAMPLES / "abilene.txt"
GEANT = EXAMPLES / "geant2012.txt"
GRID = TOOLS_DATA / "grid2x3.txt"
GRID_HALF = TOOLS_DATA / "grid2x3_half.txt"
ABSENT = TOOLS_DATA / "absent.txt"

# args: varnak-tools' command line; call: the same request from Python, given the folder
# of the test's files.
Case = namedtuple("Case", "name args call")


def keyword_spelling(message):
    """A command-line message as Python words it: each --option by its keyword."""
    return re.sub(r"--([A-Za-z][A-Za-z-]*)",
                  lambda match: match.group(1).lower().replace("-", "_"), message)


def tools_refusal(varnak_tools, args):
    """varnak-tools' exit code and the message of its first line of standard error."""
    process = varnak_tools(*args, check=False)
    first_line = process.stderr.splitlines()[0]
    prefix = f"varnak-tools {args[0]}: "
    assert first_line.startswith(prefix), process.stderr
    return process.returncode, first_line[len(prefix):]


def write_report(varnak_tools, folder, name, change):
    """An estimate's JSON report of ring4, changed by `change` (a function of its dict)."""
    report = json.loads(varnak_tools("estimate", "--graph", RING4, "--N", 100, "--seed", 4,
                                     "--threads", 1, "--format", "json").stdout)
    change(report)
    path = folder / name
    path.write_text(json.dumps(report))
    return path


def falling(report):
    report["connected"][2] = report["connected"][1] - 1


REFUSALS = [
    # estimate
    Case("estimate_n_zero", ["estimate", "--graph", RING4, "--N", 0],
         lambda folder: varnak.estimate(RING4, 0)),
    Case("estimate_seed_zero", ["estimate", "--graph", RING4, "--N", 10, "--seed", 0],
         lambda folder: varnak.estimate(RING4, 10, seed=0)),
    Case("estimate_threads_zero", ["estimate", "--graph", RING4, "--N", 10, "--threads", 0],
         lambda folder: varnak.estimate(RING4, 10, threads=0)),
    Case("estimate_terminal_outside",
         ["estimate", "--graph", RING4, "--N", 10, "--terminals", "1,5"],
         lambda folder: varnak.estimate(RING4, 10, terminals=[1, 5])),
    # exact
    Case("exact_unknown_method", ["exact", "--graph", GRID, "--method", "fast"],
         lambda folder: varnak.exact(GRID, method="fast")),
    Case("exact_memory_not_a_size", ["exact", "--graph", GRID, "--max-memory", "lots"],
         lambda folder: varnak.exact(GRID, max_memory="lots")),
    Case("exact_subsets_too_many_srlgs", ["exact", "--graph", GEANT, "--method", "subsets"],
         lambda folder: varnak.exact(GEANT, method="subsets")),
    Case("exact_pairwise_by_diagram",
         ["exact", "--graph", RING4, "--method", "diagram", "--pairwise"],
         lambda folder: varnak.exact(RING4, method="diagram", pairwise=True)),
    # reliability
    Case("reliability_p_and_grid",
         ["reliability", "--graph", GRID, "--exact", "--p", 0.5, "--grid", 3],
         lambda folder: varnak.reliability(GRID, p=0.5, grid=3)),
    Case("reliability_p_above_one", ["reliability", "--graph", GRID, "--exact", "--p", 2],
         lambda folder: varnak.reliability(GRID, p=2)),
    Case("reliability_grid_of_one", ["reliability", "--graph", GRID, "--exact", "--grid", 1],
         lambda folder: varnak.reliability(GRID, grid=1)),
    Case("reliability_rank_at_above_one",
         ["reliability", "--graph", GRID, "--exact", "--rank-at", 1.5],
         lambda folder: varnak.reliability(GRID, rank_at=1.5)),
    Case("reliability_top_below_zero",
         ["reliability", "--graph", GRID, "--exact", "--rank-at", 0.5, "--top", -1],
         lambda folder: varnak.reliability(GRID, rank_at=0.5, top=-1)),
    Case("reliability_tail_with_terminals",
         ["reliability", "--graph", RING4, "--N", 10, "--tail-exact", "--terminals", "1,3"],
         lambda folder: varnak.reliability(RING4, n=10, tail_exact=True, terminals=[1, 3])),
    Case("reliability_rel_error_without_max_n",
         ["reliability", "--graph", RING4, "--N", 10, "--p", 0.9, "--rel-error", 0.1],
         lambda folder: varnak.reliability(RING4, n=10, p=0.9, rel_error=0.1)),
    Case("reliability_max_n_without_rel_error",
         ["reliability", "--graph", RING4, "--N", 10, "--max-N", 100],
         lambda folder: varnak.reliability(RING4, n=10, max_n=100)),
    Case("reliability_rel_error_above_one",
         ["reliability", "--graph", RING4, "--N", 10, "--p", 0.9, "--rel-error", 2,
          "--max-N", 100],
         lambda folder: varnak.reliability(RING4, n=10, p=0.9, rel_error=2, max_n=100)),
    Case("reliability_max_n_below_n",
         ["reliability", "--graph", RING4, "--N", 100, "--p", 0.9, "--rel-error", 0.1,
          "--max-N", 10],
         lambda folder: varnak.reliability(RING4, n=100, p=0.9, rel_error=0.1, max_n=10)),
    Case("reliability_rel_error_without_its_p",
         ["reliability", "--graph", RING4, "--N", 10, "--rel-error", 0.1, "--max-N", 100],
         lambda folder: varnak.reliability(RING4, n=10, rel_error=0.1, max_n=100)),
    Case("reliability_method_with_n",
         ["reliability", "--graph", RING4, "--N", 10, "--method", "diagram"],
         lambda folder: varnak.reliability(RING4, n=10, method="diagram")),
    Case("reliability_srlg_p_with_p",
         ["reliability", "--graph", GRID, "--exact", "--srlg-p", GRID_HALF, "--p", 0.5],
         lambda folder: varnak.reliability(GRID, srlg_p=GRID_HALF, p=0.5)),
    Case("reliability_srlg_p_with_pairwise",
         ["reliability", "--graph", GRID, "--exact", "--srlg-p", GRID_HALF, "--pairwise"],
         lambda folder: varnak.reliability(GRID, srlg_p=GRID_HALF, pairwise=True)),
    Case("reliability_srlg_p_file_missing",
         ["reliability", "--graph", GRID, "--exact", "--srlg-p", ABSENT],
         lambda folder: varnak.reliability(GRID, srlg_p=ABSENT)),
    Case("reliability_missing_instance", ["reliability", "--graph", ABSENT, "--exact"],
         lambda folder: varnak.reliability(ABSENT)),
    # cuts
    Case("cuts_max_size_zero", ["cuts", "--graph", RING4, "--max-size", 0],
         lambda folder: varnak.cuts(RING4, 0)),
    Case("cuts_terminal_twice", ["cuts", "--graph", RING4, "--max-size", 1,
                                 "--terminals", "2,3,2"],
         lambda folder: varnak.cuts(RING4, 1, terminals=[2, 3, 2])),
]


@pytest.mark.parametrize("case", REFUSALS, ids=lambda case: case.name)
def test_both_front_ends_refuse_alike(varnak_tools, tmp_path, case):
    code, message = tools_refusal(varnak_tools, case.args)
    expected_error = ValueError if code == 2 else varnak.VarnakError
    assert code in (1, 2)
    with pytest.raises(expected_error) as raised:
        case.call(tmp_path)
    assert str(raised.value) == keyword_spelling(message)


def test_counts_no_run_can_give_are_refused_by_every_road(varnak_tools, tmp_path):
    """A report whose spectrum falls: varnak-tools refuses it, and so do reading it from
    Python and making a result from its counts, with the same reason."""
    path = write_report(varnak_tools, tmp_path, "falling.json", falling)
    code, message = tools_refusal(varnak_tools, ["reliability", "--results", path, "--p", 0.5])
    assert code == 1
    assert "connected count 3 is" in message
    assert "no less than the one before" in message
    with pytest.raises(varnak.VarnakError) as raised:
        varnak.reliability(varnak.read_result(path), p=0.5)
    assert str(raised.value) == message
    report = json.loads(path.read_text())
    with pytest.raises(ValueError) as raised:
        varnak.analysis.estimate_result(report["connected"], report["connected_with"],
                                        report["N"], report["seed"], False, 1, False)
    assert message.endswith(str(raised.value))


SAME_RESULTS = [
    Case("estimate", ["estimate", "--graph", RING4, "--N", 1000, "--seed", 3, "--threads", 1],
         lambda folder: varnak.estimate(RING4, 1000, seed=3, threads=1)),
    Case("estimate_pairwise",
         ["estimate", "--graph", ABILENE, "--N", 2000, "--seed", 5, "--threads", 2,
          "--terminals", "1,4,9", "--pairwise"],
         lambda folder: varnak.estimate(ABILENE, 2000, seed=5, threads=2, terminals=[1, 4, 9],
                                        pairwise=True)),
    Case("exact_by_diagram", ["exact", "--graph", GRID, "--method", "diagram"],
         lambda folder: varnak.exact(GRID, method="diagram")),
    Case("reliability_exact_ranked",
         ["reliability", "--graph", ABILENE, "--exact", "--p", "0.9,0.99", "--rank-at", 0.99,
          "--top", 0],
         lambda folder: varnak.reliability(ABILENE, p=[0.9, 0.99], rank_at=0.99)),
    Case("reliability_to_a_relative_error",
         ["reliability", "--graph", ABILENE, "--N", 1000, "--seed", 2, "--threads", 1,
          "--p", 0.9, "--rel-error", 0.01, "--max-N", 8000],
         lambda folder: varnak.reliability(ABILENE, n=1000, seed=2, threads=1, p=0.9,
                                           rel_error=0.01, max_n=8000)),
    Case("reliability_each_srlg_its_own_p",
         ["reliability", "--graph", GRID, "--exact", "--srlg-p", GRID_HALF, "--top", 0],
         lambda folder: varnak.reliability(GRID, srlg_p=GRID_HALF)),
    Case("reliability_of_a_report",
         ["reliability", "--results", "{report}", "--grid", 5, "--rank-at", 0.9, "--top", 0],
         lambda folder: varnak.reliability(varnak.read_result(folder / "report.json"), grid=5,
                                           rank_at=0.9)),
    Case("cuts", ["cuts", "--graph", ABILENE, "--max-size", 2],
         lambda folder: varnak.cuts(ABILENE, 2)),
]


@pytest.mark.parametrize("case", SAME_RESULTS, ids=lambda case: case.name)
def test_both_front_ends_give_the_same_results(varnak_tools, tmp_path, case):
    report_path = write_report(varnak_tools, tmp_path, "report.json", lambda report: None)
    args = [str(report_path) if arg == "{report}" else arg for arg in case.args]
    report = json.loads(varnak_tools(*args, "--format", "json").stdout)
    result = case.call(tmp_path)
    if case.name == "reliability_of_a_report":
        # Python names the file it read; its results are the report's own.
        assert result.results_file == report["results_file"]
    assert_same_report(result, report)


def test_an_estimate_writes_the_same_result_file(varnak_tools, tmp_path):
    varnak_tools("estimate", "--graph", RING4, "--N", 500, "--seed", 8, "--threads", 1,
                 "--outpath", tmp_path / "tools.xml")
    varnak.estimate(RING4, 500, seed=8, threads=1, outpath=tmp_path / "python.xml")

    def without_time(path):
        return re.sub(r"<time_seconds>[^<]*</time_seconds>", "", path.read_text())
    assert without_time(tmp_path / "python.xml") == without_time(tmp_path / "tools.xml")


def test_an_unwritable_result_file_loses_no_results(varnak_tools, tmp_path):
    """Both doors show the results before saying that the file could not be written."""
    outpath = tmp_path / "absent" / "result.xml"
    process = varnak_tools("estimate", "--graph", RING4, "--N", 100, "--seed", 1,
                           "--format", "json", "--outpath", outpath, check=False)
    assert process.returncode == 1
    shown = json.loads(process.stdout)
    with pytest.raises(varnak.VarnakError) as raised:
        varnak.estimate(RING4, 100, seed=1, outpath=outpath)
    assert f"varnak-tools estimate: {raised.value}" == process.stderr.strip()
    assert np.array_equal(raised.value.result.connected, shown["connected"])


@pytest.mark.parametrize("report_format, repeat", [
    ("json", lambda text: text.replace('"N": 100,', '"N": 100, "N": 200,', 1)),
    ("csv", lambda text: text.replace("# N: 100\n", "# N: 100\n# N: 200\n", 1)),
])
def test_a_repeated_key_is_refused_by_both(varnak_tools, tmp_path, report_format, repeat):
    """The last of two values must not win unseen: both doors refuse the report, naming the
    key and its line."""
    text = varnak_tools("estimate", "--graph", RING4, "--N", 100, "--seed", 4, "--threads", 1,
                        "--format", report_format).stdout
    path = tmp_path / f"twice.{report_format}"
    path.write_text(repeat(text))
    assert path.read_text() != text
    code, message = tools_refusal(varnak_tools, ["reliability", "--results", path, "--p", 0.5])
    assert code == 1
    assert "is given twice" in message
    with pytest.raises(varnak.VarnakError) as raised:
        varnak.read_result(path)
    assert str(raised.value) == message


def test_a_report_after_a_byte_order_mark_reads_as_without(varnak_tools, tmp_path):
    """The mark says only that the file is UTF-8: a JSON report after one is still JSON."""
    text = varnak_tools("estimate", "--graph", RING4, "--N", 100, "--seed", 4, "--threads", 1,
                        "--format", "json").stdout
    plain, marked = tmp_path / "plain.json", tmp_path / "marked.json"
    plain.write_text(text)
    marked.write_bytes(b"\xef\xbb\xbf" + text.encode())
    reports = [varnak_tools("reliability", "--results", path, "--p", 0.5, "--format", "csv")
               for path in (plain, marked)]
    assert reports[1].stdout.replace("marked.json", "plain.json") == reports[0].stdout
    assert varnak.read_result(marked).connected.tolist() == json.loads(text)["connected"]


def _grid_of_links(side):
    """A side x side grid with an SRLG per link: minutes by the decision diagram."""
    node = {(row, column): row * side + column + 1 for row in range(side) for column in range(side)}
    edges = [(node[row, column], node[row, column + 1])
             for row in range(side) for column in range(side - 1)]
    edges += [(node[row, column], node[row + 1, column])
              for row in range(side - 1) for column in range(side)]
    return varnak.Instance(side * side, edges, [[edge] for edge in range(1, len(edges) + 1)])


def _path_of_triple_links(length):
    """A path whose every hop is three links, each its own SRLG: 30 SRLGs take the subset
    search about ten seconds here, as almost every subset stays connectable."""
    edges = [(hop, hop + 1) for hop in range(1, length + 1) for _ in range(3)]
    return varnak.Instance(length + 1, edges, [[edge] for edge in range(1, len(edges) + 1)])


@pytest.mark.parametrize("make, options, seconds", [
    # Between two levels or passes of the diagram.
    (lambda: _grid_of_links(12), {"method": "diagram", "max_memory": "4G"}, 60),
    # Every 65536 nodes of the subset search.
    (lambda: _path_of_triple_links(10), {"method": "subsets"}, 3),
], ids=["diagram", "subsets"])
def test_ctrl_c_ends_a_long_exact_run_soon(make, options, seconds):
    """Ctrl-C half a second in raises KeyboardInterrupt within the count, not at its end."""
    import _thread
    import threading
    import time

    instance = make()
    timer = threading.Timer(0.5, _thread.interrupt_main)
    started = time.monotonic()
    timer.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            varnak.exact(instance, **options)
    finally:
        timer.cancel()
    assert time.monotonic() - started < seconds


def test_a_result_file_named_by_bytes_that_are_not_utf8(varnak_tools, tmp_path):
    """A name that is not UTF-8 reaches the reader as the file system names it, and is shown
    escaped in a refusal: no TypeError or UnicodeError from the way down."""
    text = varnak_tools("estimate", "--graph", RING4, "--N", 100, "--seed", 4, "--threads", 1,
                        "--format", "json").stdout
    good = os.fsdecode(os.fsencode(str(tmp_path)) + b"/report\xff.json")
    bad = os.fsdecode(os.fsencode(str(tmp_path)) + b"/broken\xfe.json")
    with open(good, "w") as file:
        file.write(text)
    with open(bad, "w") as file:
        file.write("{\"command\": \"estimate\"}")
    assert varnak.read_result(good).connected.tolist() == json.loads(text)["connected"]
    with pytest.raises(varnak.VarnakError) as refusal:
        varnak.read_result(bad)
    assert "broken\\xfe.json" in str(refusal.value)
