"""terminals= and pairwise= against varnak-tools --terminals and --pairwise, to the last bit."""

import json

import numpy as np
import pytest

import varnak
from conftest import EXAMPLES

ABILENE = EXAMPLES / "abilene.txt"
RING4 = EXAMPLES / "ring4.txt"
# New York, Seattle and Houston, as in the worked example of tools/README.md.
CITIES = [1, 4, 9]


def tools_json(varnak_tools, *args):
    return json.loads(varnak_tools(*args, "--format", "json").stdout)


def test_estimate_equals_varnak_tools(varnak_tools):
    result = varnak.estimate(ABILENE, 3000, seed=4, threads=2, terminals=CITIES, pairwise=True)
    report = tools_json(varnak_tools, "estimate", "--graph", ABILENE, "--N", 3000, "--seed", 4,
                        "--terminals", "1,4,9", "--pairwise")
    for key in ("pairwise", "pairwise_low", "pairwise_high"):
        assert np.array_equal(result[key], np.array(report[key], dtype=float)), key
    assert result.connected.tolist() == report["connected"]
    assert result.connected_pairs == report["connected_pairs"]
    assert result.terminals.tolist() == report["terminals"] == CITIES
    assert result.pairwise_none_up == report["pairwise_none_up"] == 0.0
    # Connected terminals have every pair joined.
    assert np.all(result.pairwise >= result.spectrum)


@pytest.mark.parametrize("form", ["json", "csv"])
def test_reliability_from_a_report_has_its_pairwise_curve(varnak_tools, tmp_path, form):
    report = tmp_path / f"estimate.{form}"
    report.write_text(varnak_tools("estimate", "--graph", ABILENE, "--N", 1000, "--seed", 2,
                                   "--terminals", "1,4,9", "--pairwise", "--format", form).stdout)
    read = varnak.read_result(report)
    assert read.connected_pairs == varnak.estimate(ABILENE, 1000, seed=2, terminals=CITIES,
                                                   pairwise=True).connected_pairs
    from_file = varnak.reliability(read, p=[0.7])
    direct = varnak.reliability(ABILENE, p=[0.7], n=1000, seed=2, terminals=CITIES,
                                pairwise=True)
    assert from_file.pairwise.tolist() == direct.pairwise.tolist()
    assert from_file.terminals.tolist() == CITIES


def test_exact_equals_varnak_tools(varnak_tools):
    result = varnak.exact(RING4, terminals=[3, 1], pairwise=True)
    report = tools_json(varnak_tools, "exact", "--graph", RING4, "--terminals", "3,1",
                        "--pairwise")
    assert np.array_equal(result.pairwise, np.array(report["pairwise"], dtype=float))
    assert result.connected_pairs == report["connected_pairs"] == [0, 2, 1]
    assert result.terminal_pairs == report["terminal_pairs"] == 1
    assert result.spectrum.tolist() == report["spectrum"]


@pytest.mark.parametrize("n", [None, 2000])
def test_reliability_equals_varnak_tools(varnak_tools, n):
    sampling = {} if n is None else {"n": n, "seed": 3, "threads": 1}
    result = varnak.reliability(ABILENE, p=[0.5, 0.9], terminals=CITIES, pairwise=True,
                                **sampling)
    source = ["--exact"] if n is None else ["--N", n, "--seed", 3, "--threads", 1]
    report = tools_json(varnak_tools, "reliability", "--graph", ABILENE, *source, "--p",
                        "0.5,0.9", "--terminals", "1,4,9", "--pairwise")
    assert np.array_equal(result.pairwise, [point["share"] for point in report["pairwise"]])
    # Connected terminals have all their pairs joined.
    assert np.all(result.pairwise >= np.array([point["R"] for point in report["reliability"]]))


def test_every_vertex_a_terminal_gives_todays_results():
    everyone = list(range(1, 12))
    today = varnak.estimate(ABILENE, 2000, seed=9, threads=2)
    result = varnak.estimate(ABILENE, 2000, seed=9, threads=2, terminals=everyone, pairwise=True)
    assert np.array_equal(result.spectrum, today.spectrum)
    assert np.array_equal(result.bim_spectra, today.bim_spectra)
    assert np.array_equal(varnak.exact(ABILENE, terminals=everyone).spectrum,
                          varnak.exact(ABILENE).spectrum)


@pytest.mark.parametrize("terminals, message", [
    ([1, 12], "terminal 12 is outside 1..11; expected a vertex id of the instance"),
    ([2, 3, 2], "terminal 2 is given twice; expected each vertex at most once"),
    ([4], "1 terminal given; expected at least two vertex ids"),
    ([1, "New York"], "terminal 'New York' is not a vertex id; expected a whole number from "
                      "1..11"),
])
def test_refuses_what_names_no_terminal_set(terminals, message):
    for run in (lambda: varnak.estimate(ABILENE, 10, seed=1, terminals=terminals),
                lambda: varnak.exact(ABILENE, terminals=terminals),
                lambda: varnak.reliability(ABILENE, terminals=terminals)):
        with pytest.raises(ValueError, match=message.replace(".", r"\.")):
            run()


def test_spectra_of_a_result_keep_their_own_terminals():
    with pytest.raises(ValueError, match="terminals and pairwise go with an instance"):
        varnak.reliability(varnak.exact(RING4), terminals=[1, 2])


def test_worked_example_of_the_tools_readme(tmp_path, monkeypatch, capsys):
    """The table of tools/README.md's Abilene example, from the exact spectra."""
    import re
    from varnak.__main__ import main
    from conftest import REPOSITORY
    monkeypatch.chdir(tmp_path)
    assert main(["convert", str(EXAMPLES / "abilene.graphml"), "--srlgs", "link,disk",
                 "--radius", "300", "-o", "abilene-disks.txt"]) == 0
    capsys.readouterr()
    readme = (REPOSITORY / "tools" / "README.md").read_text()
    rows = re.findall(r"^\| (0\.\d\d) \| (0\.\d+) \| (0\.\d+) \| (0\.\d+) \| (0\.\d+) \|$",
                      readme, re.M)
    assert len(rows) == 4
    p_values = [float(row[0]) for row in rows]
    every_city = varnak.reliability("abilene-disks.txt", p=p_values, pairwise=True)
    three = varnak.reliability("abilene-disks.txt", p=p_values, terminals=CITIES, pairwise=True)
    shown = [[every_city.reliability.R[i], three.reliability.R[i], every_city.pairwise[i],
              three.pairwise[i]] for i in range(len(rows))]
    assert [[f"{value:.3f}" for value in row] for row in shown] == [list(row[1:]) for row in rows]


def test_cuts_between_terminals_equal_varnak_tools(varnak_tools):
    result = varnak.cuts(ABILENE, 2, terminals=CITIES)
    report = tools_json(varnak_tools, "cuts", "--graph", ABILENE, "--max-size", 2,
                        "--terminals", "1,4,9")
    assert result.terminals.tolist() == report["terminals"] == CITIES
    assert result.free_edges_connect == report["free_edges_connect"]
    assert result.count_by_size.tolist() == report["count_by_size"]
    assert [(cut["srlgs"], cut["cut_off"]) for cut in result.cut_sets] == \
        [(cut["srlgs"], cut["cut_off"]) for cut in report["cut_sets"]]
    # Separating three cities takes no fewer failures than cutting off any vertex.
    every_vertex = varnak.cuts(ABILENE, 2)
    assert result.count_by_size.sum() <= every_vertex.count_by_size.sum()


def test_exact_terminal_spectra_are_the_same_by_either_method():
    by_subsets = varnak.exact(RING4, method="subsets", terminals=[1, 3])
    by_diagram = varnak.exact(RING4, method="diagram", terminals=[1, 3])
    assert by_diagram.exact_method == "diagram"
    assert by_subsets.connected.tolist() == by_diagram.connected.tolist()
    assert by_subsets.connected_with.tolist() == by_diagram.connected_with.tolist()
    with pytest.raises(varnak.VarnakError, match="pairwise connectivity needs the subset"):
        varnak.exact(RING4, method="diagram", terminals=[1, 3], pairwise=True)
