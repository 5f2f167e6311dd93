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
from conftest import EXAMPLES, TOOLS_DATA

ABILENE = EXAMPLES / "abilene.txt"
RING4 = EXAMPLES / "ring4.txt"
GEANT = EXAMPLES / "geant2012.txt"
GRID = TOOLS_DATA / "grid2x3.txt"


def tools_json(varnak_tools, *args):
    return json.loads(varnak_tools(*args, "--format", "json").stdout)


def assert_same(python_values, tools_values):
    expected = np.array(tools_values, dtype=float)
    assert python_values.shape == expected.shape
    assert np.array_equal(python_values, expected)


@pytest.mark.parametrize("path, n, seed, threads", [
    (RING4, 1000, 3, 1),
    (ABILENE, 20000, 1, 2),
    (GEANT, 3000, 7, 1),
    (GRID, 777, 2147483647, 3),
])
def test_estimate_equals_varnak_tools(varnak_tools, path, n, seed, threads):
    result = varnak.estimate(varnak.Instance.read(path), n, seed=seed, threads=threads)
    report = tools_json(varnak_tools, "estimate", "--graph", path, "--N", n, "--seed", seed)
    for key in ("spectrum", "wilson_low", "wilson_high", "band_low", "band_high",
                "bim_spectra"):
        assert_same(result[key], report[key])
    for key in ("srlg_count", "N", "seed", "band_half_width", "confidence_level"):
        assert result[key] == report[key]
    assert result.instance == report["instance"] and result.seed_drawn is False
    # The counts are what the doubles were made from.
    assert np.array_equal(result.connected, np.rint(result.spectrum * n))
    assert np.array_equal(result.connected_with, np.rint(result.bim_spectra * n))


def test_estimate_writes_what_varnak_writes(varnak_program, tmp_path):
    xml = tmp_path / "abilene.xml"
    subprocess.run([varnak_program, "--graph", ABILENE, "--N", "5000", "--seed", "11",
                    "--outpath", xml], check=True, capture_output=True)
    from_file = varnak.read_result(xml)
    result = varnak.estimate(ABILENE, 5000, seed=11)
    # The file keeps six decimals of the same doubles.
    assert [f"{v:.6f}" for v in result.spectrum] == [f"{v:.6f}" for v in from_file.spectrum]
    assert np.array_equal(np.round(result.bim_spectra, 6), np.round(from_file.bim_spectra, 6))


def test_drawn_seed_is_reported_and_repeats_the_run():
    first = varnak.estimate(RING4, 500)
    assert first.seed_drawn and 1 <= first.seed <= 2147483647
    again = varnak.estimate(RING4, 500, seed=first.seed)
    assert np.array_equal(first.bim_spectra, again.bim_spectra)


@pytest.mark.parametrize("path", [RING4, ABILENE, GRID])
def test_exact_equals_varnak_tools(varnak_tools, path):
    result = varnak.exact(path)
    report = tools_json(varnak_tools, "exact", "--graph", path)
    for key in ("spectrum", "bim_spectra"):
        assert_same(result[key], report[key])
    for key in ("connected_subsets", "subsets", "connected_subsets_with"):
        assert result[key].tolist() == report[key]
    assert result.free_edges_connect == report["free_edges_connect"]


def check_reliability(result, report):
    assert_same(result.p, [point["p"] for point in report["reliability"]])
    assert_same(result.reliability, [point["R"] for point in report["reliability"]])
    ranking = report["importance"]["ranking"]
    importance = result.importance
    assert importance.R == report["importance"]["R"]
    assert importance.srlg.tolist() == [entry["srlg"] for entry in ranking]
    assert importance.rank.tolist() == [entry["rank"] for entry in ranking]
    for key in ("importance", "R_up", "R_down"):
        assert_same(importance[key], [entry[key] for entry in ranking])


def test_reliability_from_exact_spectra_equals_varnak_tools(varnak_tools):
    result = varnak.reliability(ABILENE, grid=7, rank_at=0.9)
    report = tools_json(varnak_tools, "reliability", "--graph", ABILENE, "--exact",
                        "--grid", 7, "--rank-at", 0.9, "--top", 0)
    check_reliability(result, report)


def test_reliability_from_an_estimate_equals_varnak_tools(varnak_tools):
    result = varnak.reliability(GRID, p=[0.5, 0.99], rank_at=0.99, n=4000, seed=5, threads=2)
    report = tools_json(varnak_tools, "reliability", "--graph", GRID, "--N", 4000, "--seed", 5,
                        "--p", "0.5,0.99", "--rank-at", 0.99, "--top", 0)
    check_reliability(result, report)
    # R(p) over the band's bounds encloses R(p).
    assert np.all(result.reliability_low <= result.reliability)
    assert np.all(result.reliability <= result.reliability_high)


def test_reliability_from_an_xml_file_equals_varnak_tools(varnak_tools, varnak_program,
                                                          tmp_path):
    xml = tmp_path / "ring4.xml"
    subprocess.run([varnak_program, "--graph", RING4, "--N", "1000", "--seed", "2",
                    "--outpath", xml], check=True, capture_output=True)
    result = varnak.reliability(varnak.read_result(xml), p=[0.3, 0.9], rank_at=0.9)
    report = tools_json(varnak_tools, "reliability", "--xml", xml, "--p", "0.3,0.9",
                        "--rank-at", 0.9, "--top", 0)
    check_reliability(result, report)


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


def test_exact_takes_too_many_srlgs_to_enumerate_as_varnak_tools_does(varnak_tools):
    # 72 SRLGs, beyond enumeration: both build the decision diagram, and the counts, beyond
    # 64 bits, come as exact Python ints.
    result = varnak.exact(GEANT)
    report = tools_json(varnak_tools, "exact", "--graph", GEANT)
    assert report["exact_method"] == "diagram"
    assert result.subsets.tolist() == report["subsets"]
    assert result.subsets[35] == math.comb(72, 36)
    assert result.connected_subsets.tolist() == report["connected"]
    assert result.connected_subsets_with.tolist() == report["connected_with"]
    assert_same(result.spectrum, report["spectrum"])


@pytest.mark.parametrize("arguments, message", [
    ({"n": 0}, "n is 0; expected a sample size from 1 to 2147483647"),
    ({"n": 10, "seed": 0}, "seed is 0; expected a seed from 1 to 2147483647"),
    ({"n": 10, "threads": 0}, "threads is 0; expected a count from 1 to 1024"),
    ({"n": 2.5}, "n is 2.5; expected a sample size"),
])
def test_estimate_refuses_bad_arguments(arguments, message):
    with pytest.raises(ValueError, match=message.replace("(", r"\(")):
        varnak.estimate(RING4, **arguments)


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
