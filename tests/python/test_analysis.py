"""The Python results against the executables' for the same input and seed, to the last bit.

varnak-tools' JSON carries 17 significant digits, which give back the very doubles, so
every comparison here is exact equality.
"""

import json
import math
import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import varnak
from varnak.analysis import Result
from conftest import EXAMPLES, TOOLS_DATA

ABILENE = EXAMPLES / "abilene.txt"
RING4 = EXAMPLES / "ring4.txt"
GEANT = EXAMPLES / "geant2012.txt"
GRID = TOOLS_DATA / "grid2x3.txt"


def tools_json(varnak_tools, *args):
    return json.loads(varnak_tools(*args, "--format", "json").stdout)


def assert_same_column(column, values):
    """A Python column against a JSON list: None where JSON has only nulls, else the same
    values to the last bit."""
    if column is None:
        assert all(value is None for value in values)
        return
    column = np.asarray(column)
    expected = np.array(values, dtype=column.dtype)
    assert column.shape == expected.shape
    # JSON's null is a NaN among doubles: the p of a curve with no one p.
    assert np.array_equal(column, expected, equal_nan=column.dtype.kind == "f")


def assert_same_report(result, report):
    """Every key of varnak-tools' JSON report, in its order, with the same value; the
    elapsed time alone differs. Points and rankings are columns in Python."""
    expected_keys = list(report)
    assert list(result.keys()) == expected_keys
    for key, expected in report.items():
        value = result[key]
        if key == "elapsed_seconds":
            continue
        if key == "pairwise" and isinstance(expected[0], dict):
            # reliability's shares by p: a column in Python.
            assert_same_column(value, [point["share"] for point in expected])
        elif key == "reliability":
            for point_key in expected[0]:
                assert_same_column(value[point_key], [point[point_key] for point in expected])
        elif key == "importance":
            for point_key, point_value in expected.items():
                if point_key != "ranking":
                    assert value[point_key] == point_value or (
                        point_value is None and math.isnan(value[point_key])), point_key
            for rank_key in expected["ranking"][0]:
                assert_same_column(value[rank_key],
                                   [entry[rank_key] for entry in expected["ranking"]])
        elif isinstance(value, np.ndarray):
            assert_same_column(value, expected)
        else:
            assert value == expected, key


@pytest.mark.parametrize("path, n, seed, threads", [
    (RING4, 1000, 3, 1),
    (ABILENE, 20000, 1, 2),
    (GEANT, 3000, 7, 1),
    (GRID, 777, 2147483647, 3),
])
def test_estimate_equals_varnak_tools(varnak_tools, path, n, seed, threads):
    result = varnak.estimate(varnak.Instance.read(path), n, seed=seed, threads=threads)
    report = tools_json(varnak_tools, "estimate", "--graph", path, "--N", n, "--seed", seed,
                        "--threads", threads)
    assert_same_report(result, report)


@pytest.mark.parametrize("report_format", ["json", "csv"])
def test_estimate_report_read_back_equals_the_run(varnak_tools, tmp_path, report_format):
    path = tmp_path / f"grid.{report_format}"
    path.write_text(varnak_tools("estimate", "--graph", GRID, "--N", 3000, "--seed", 9,
                                 "--threads", 2, "--format", report_format).stdout)
    from_file = varnak.read_result(path)
    report = tools_json(varnak_tools, "estimate", "--graph", GRID, "--N", 3000, "--seed", 9,
                        "--threads", 2)
    assert_same_report(from_file, report)


@pytest.mark.parametrize("path, arguments", [
    (ABILENE, ["--method", "subsets"]),
    (GRID, ["--method", "diagram"]),
    (RING4, ["--terminals", "3,1", "--pairwise"]),
])
def test_exact_report_read_back_equals_the_run(varnak_tools, tmp_path, path, arguments):
    report = tools_json(varnak_tools, "exact", "--graph", path, *arguments)
    written = tmp_path / "exact.json"
    written.write_text(json.dumps(report))
    assert_same_report(varnak.read_result(written), report)


def test_estimate_writes_what_varnak_writes(varnak_program, tmp_path):
    xml = tmp_path / "abilene.xml"
    subprocess.run([varnak_program, "--graph", ABILENE, "--N", "5000", "--seed", "11",
                    "--outpath", xml], check=True, capture_output=True)
    from_file = varnak.read_result(xml)
    result = varnak.estimate(ABILENE, 5000, seed=11)
    # Varnak's file holds sums of 1/N to six decimals; count / N agrees with them to
    # within the file's rounding.
    assert np.abs(result.spectrum - from_file.spectrum).max() <= 5e-7 + 1e-12
    assert np.abs(result.bim_spectra - from_file.bim_spectra).max() <= 5e-7 + 1e-12


def test_drawn_seed_is_reported_and_repeats_the_run():
    first = varnak.estimate(RING4, 500)
    assert first.seed_drawn and 1 <= first.seed <= 2147483647
    again = varnak.estimate(RING4, 500, seed=first.seed)
    assert np.array_equal(first.connected_with, again.connected_with)


@pytest.mark.parametrize("command, run", [
    ("estimate", lambda: varnak.estimate(RING4, 10, seed=1)),
    ("reliability", lambda: varnak.reliability(RING4, p=[0.5], n=10, seed=1)),
])
def test_threads_default_to_the_machine_cores_as_in_varnak_tools(varnak_tools, command, run):
    report = tools_json(varnak_tools, command, "--graph", RING4, "--N", 10, "--seed", 1)
    assert run().threads == report["threads"]


@pytest.mark.parametrize("path, method", [
    (RING4, "auto"), (ABILENE, "subsets"), (ABILENE, "diagram"), (GRID, "auto"), (GEANT, "auto"),
])
def test_exact_equals_varnak_tools(varnak_tools, path, method):
    report = tools_json(varnak_tools, "exact", "--graph", path, "--method", method)
    assert_same_report(varnak.exact(path, method=method), report)


def test_exact_counts_beyond_64_bits_are_python_ints():
    # 72 SRLGs: C(72, 36) is about 4.4e20.
    result = varnak.exact(GEANT)
    assert result.exact_method == "diagram"
    assert result.subsets[35] == math.comb(72, 36)
    assert result.connected[-1] == 1 and result.connected_with[0][-1] == 1


@pytest.mark.parametrize("arguments, tools_arguments", [
    ({"method": "subsets"}, ["--method", "subsets"]),
    ({"max_memory": "1K"}, ["--max-memory", "1K"]),
    ({"max_memory": 1024, "method": "diagram"}, ["--max-memory", 1024, "--method", "diagram"]),
])
def test_exact_refuses_as_varnak_tools_does(varnak_tools, arguments, tools_arguments):
    with pytest.raises(varnak.VarnakError) as raised:
        varnak.exact(GEANT, **arguments)
    failed = varnak_tools("exact", "--graph", GEANT, *tools_arguments, check=False)
    assert failed.returncode == 1
    assert failed.stderr == f"varnak-tools exact: {raised.value}\n"


def write_estimate(varnak_tools, folder, report_format):
    path = folder / f"grid.{report_format}"
    path.write_text(varnak_tools("estimate", "--graph", GRID, "--N", 4000, "--seed", 5,
                                 "--threads", 2, "--format", report_format).stdout)
    return path


def write_exact(varnak_tools, folder, *arguments):
    path = folder / "exact.json"
    path.write_text(varnak_tools("exact", *arguments, "--format", "json").stdout)
    return path


def write_xml(varnak_program, folder):
    path = folder / "ring4.xml"
    subprocess.run([varnak_program, "--graph", RING4, "--N", "1000", "--seed", "2",
                    "--outpath", path], check=True, capture_output=True)
    return path


# How each source is given to varnak.reliability and to varnak-tools reliability; the same
# p values and ranking p go to both.
RELIABILITY_CASES = {
    "exact": (lambda folder, tools, program: (ABILENE, {}),
              lambda path: ["--graph", path, "--exact"]),
    "exact_diagram": (lambda folder, tools, program: (GRID, {"method": "diagram"}),
                      lambda path: ["--graph", path, "--exact", "--method", "diagram"]),
    "estimated": (lambda folder, tools, program: (GRID, {"n": 4000, "seed": 5, "threads": 2}),
                  lambda path: ["--graph", path, "--N", 4000, "--seed", 5, "--threads", 2]),
    "tail_exact": (lambda folder, tools, program: (GRID, {"n": 2000, "seed": 3, "threads": 1,
                                                          "tail_exact": 2}),
                   lambda path: ["--graph", path, "--N", 2000, "--seed", 3, "--threads", 1,
                                 "--tail-exact", 2]),
    "tail_exact_auto": (lambda folder, tools, program: (GEANT, {"n": 500, "seed": 4,
                                                               "threads": 1,
                                                               "tail_exact": True}),
                        lambda path: ["--graph", path, "--N", 500, "--seed", 4, "--threads", 1,
                                      "--tail-exact"]),
    "estimate_json": (lambda folder, tools, program: (
        varnak.read_result(write_estimate(tools, folder, "json")), {}),
        lambda path: ["--results", path]),
    "estimate_csv": (lambda folder, tools, program: (
        varnak.read_result(write_estimate(tools, folder, "csv")), {}),
        lambda path: ["--results", path]),
    "xml": (lambda folder, tools, program: (varnak.read_result(write_xml(program, folder)), {}),
            lambda path: ["--xml", path]),
    "exact_report": (lambda folder, tools, program: (varnak.read_result(
        write_exact(tools, folder, "--graph", GRID, "--method", "diagram")), {}),
        lambda path: ["--results", path]),
    "exact_report_pairwise": (lambda folder, tools, program: (varnak.read_result(
        write_exact(tools, folder, "--graph", ABILENE, "--terminals", "1,4,9", "--pairwise")), {}),
        lambda path: ["--results", path]),
}


@pytest.mark.parametrize("case", sorted(RELIABILITY_CASES))
@pytest.mark.parametrize("p, rank_at", [([0.3, 0.9, 0.99], 0.9), ([0.5], None)])
def test_reliability_equals_varnak_tools(varnak_tools, varnak_program, tmp_path, case, p,
                                         rank_at):
    make_source, tools_source = RELIABILITY_CASES[case]
    source, arguments = make_source(tmp_path, varnak_tools, varnak_program)
    result = varnak.reliability(source, p=p, rank_at=rank_at, **arguments)
    path = tmp_path / source.file_name if isinstance(source, Result) \
        else source
    ranking = ["--rank-at", rank_at, "--top", 0] if rank_at is not None else []
    report = tools_json(varnak_tools, "reliability", *tools_source(path), "--p",
                        ",".join(map(str, p)), *ranking)
    assert_same_report(result, report)


def test_a_resolved_rank_has_an_interval_apart_from_every_other():
    ranking = varnak.reliability(ABILENE, p=[0.9], rank_at=0.9, n=20000, seed=1).importance
    low, high = ranking.importance_low, ranking.importance_high
    assert np.all((low <= ranking.importance) & (ranking.importance <= high))
    assert ranking.resolved.any() and not ranking.resolved.all()
    for i in np.flatnonzero(ranking.resolved):
        others = np.arange(low.size) != i
        assert np.all((high[others] < low[i]) | (low[others] > high[i]))


@pytest.mark.parametrize("path, max_size", [(RING4, 3), (ABILENE, 2), (GRID, 3), (GEANT, 2)])
def test_cuts_equal_varnak_tools(varnak_tools, path, max_size):
    report = tools_json(varnak_tools, "cuts", "--graph", path, "--max-size", max_size)
    assert_same_report(varnak.cuts(path, max_size), report)


DISCONNECTED = "VNUM:3\nENUM:1\nSRLGNUM:1\nE:1:1,2\nSRLG:1:1,\n"


@pytest.mark.parametrize("text, max_size", [(DISCONNECTED, 1), (None, 8)])
def test_cuts_refuses_as_varnak_tools_does(varnak_tools, tmp_path, text, max_size):
    path = GEANT if text is None else tmp_path / "net.txt"
    if text is not None:
        path.write_text(text)
    with pytest.raises(varnak.VarnakError) as raised:
        varnak.cuts(path, max_size)
    failed = varnak_tools("cuts", "--graph", path, "--max-size", max_size, check=False)
    assert failed.returncode == 1
    assert failed.stderr == f"varnak-tools cuts: {raised.value}\n"


BAD_ESTIMATE_REPORTS = [
    ("no_counts", '{"command": "estimate", "srlg_count": 1, "N": 2}'),
    ("count_above_n", '{"command": "estimate", "srlg_count": 1, "N": 2, "connected": [3],\n'
                      ' "connected_with": [[3]]}'),
    ("csv_of_exact", "# command: exact\nseries,srlg,k,value,connected,subsets\n"),
]


@pytest.mark.parametrize("name, text", BAD_ESTIMATE_REPORTS,
                         ids=[case[0] for case in BAD_ESTIMATE_REPORTS])
def test_estimate_report_refused_as_varnak_tools_refuses_it(varnak_tools, tmp_path, name, text):
    path = tmp_path / f"{name}.txt"
    path.write_text(text)
    with pytest.raises(varnak.VarnakError) as raised:
        varnak.read_result(path)
    failed = varnak_tools("reliability", "--results", path, check=False)
    assert failed.returncode == 1
    assert failed.stderr == f"varnak-tools reliability: {raised.value}\n"


BAD_INSTANCES = [
    ("end_vertex", "VNUM:2\nENUM:1\nSRLGNUM:1\nE:1:1,5\nSRLG:1:1,\n"),
    ("not_int32", "VNUM:2\nENUM:99999999999\nSRLGNUM:1\nE:1:1,2\nSRLG:1:1,\n"),
    ("no_srlgnum", "VNUM:2\nENUM:1\nE:1:1,2\nSRLG:1:1,\n"),
    ("srlg_without_list", "VNUM:2\nENUM:1\nSRLGNUM:1\nE:1:1,2\nSRLG:1\n"),
]


@pytest.mark.parametrize("name, text", BAD_INSTANCES, ids=[case[0] for case in BAD_INSTANCES])
def test_refused_instance_raises_the_message_of_varnak_tools(varnak_tools, tmp_path, name, text):
    path = tmp_path / f"{name}.txt"
    path.write_text(text)
    with pytest.raises(varnak.VarnakError) as raised:
        varnak.Instance.read(path)
    failed = varnak_tools("exact", "--graph", path, check=False)
    assert failed.returncode == 1
    assert failed.stderr == f"varnak-tools exact: {raised.value}\n"
    assert raised.value.path == str(path)


@pytest.mark.parametrize("make_path", [lambda folder: folder / "absent.txt",
                                       lambda folder: folder])
def test_unopenable_instance_raises_the_message_of_varnak_tools(varnak_tools, tmp_path,
                                                                make_path):
    path = make_path(tmp_path)
    with pytest.raises(varnak.VarnakError) as raised:
        varnak.estimate(str(path), 10, seed=1)
    failed = varnak_tools("estimate", "--graph", path, "--N", 10, "--seed", 1, check=False)
    assert failed.stderr == f"varnak-tools estimate: {raised.value}\n"


def _with(result, key, value):
    """A result of the same kind whose `key` holds `value`."""
    return type(result)({**{name: result[name] for name in result.keys()}, key: value})


# A yes or no given as anything else: "maybe" is true to Python, and must not pass as True.
@pytest.mark.parametrize("call, message", [
    (lambda: varnak.reliability(RING4, free_connected="maybe"),
     "free_connected is 'maybe'; expected True or False"),
    (lambda: varnak.reliability(_with(varnak.exact(RING4), "free_edges_connect", "maybe"), p=0.5),
     "free_edges_connect is 'maybe'; expected True or False"),
    (lambda: varnak.reliability(_with(varnak.estimate(RING4, 10, seed=1), "free_edges_connect",
                                      [True]), p=0.5),
     r"free_edges_connect is \[True\]; expected True or False"),
    (lambda: varnak.estimate(RING4, 10, pairwise="no"), "pairwise is 'no'; expected True or False"),
    (lambda: varnak.exact(RING4, pairwise=1), "pairwise is 1; expected True or False"),
])
def test_a_yes_or_no_must_be_a_boolean(call, message):
    with pytest.raises(ValueError, match=message):
        call()


@pytest.mark.parametrize("arguments, message", [
    ({"n": 0}, "n is 0; expected a sample size from 1 to 2147483647"),
    ({"n": 10, "seed": 0}, "seed is 0; expected a seed from 1 to 2147483647"),
    ({"n": 10, "threads": 0}, "threads is 0; expected a count from 1 to 1024"),
    ({"n": 2.5}, "n is 2.5; expected a whole number"),
])
def test_estimate_refuses_bad_arguments(arguments, message):
    with pytest.raises(ValueError, match=message.replace("(", r"\(")):
        varnak.estimate(RING4, **arguments)


@pytest.mark.parametrize("arguments, message", [
    ({"method": "fast"}, 'method is "fast"; expected auto, subsets or diagram'),
    ({"max_memory": "lots"}, 'max_memory is "lots"; expected a size in bytes'),
    ({"max_memory": 0}, 'max_memory is "0"; expected a size in bytes'),
])
def test_exact_refuses_bad_arguments(arguments, message):
    with pytest.raises(ValueError, match=message):
        varnak.exact(RING4, **arguments)


@pytest.mark.parametrize("threads", [1, 2])
def test_ctrl_c_stops_a_long_estimate_and_other_threads_run_meanwhile(threads):
    # The timer thread can only send SIGINT if the estimate has let go of the interpreter.
    script = textwrap.dedent(f"""
        import os, signal, threading, varnak
        instance = varnak.Instance.read({str(GEANT)!r})
        threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT)).start()
        try:
            varnak.estimate(instance, 2000000000, seed=1, threads={threads})
        except KeyboardInterrupt:
            print("interrupted")
    """)
    finished = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                              timeout=120, env=os.environ)
    assert finished.stdout == "interrupted\n", finished.stderr
