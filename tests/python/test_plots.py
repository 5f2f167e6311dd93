"""Figures from an XML result file, an estimate's JSON and CSV and exact JSON, as PNG and SVG."""

import subprocess
import sys
import warnings
from collections import namedtuple

import pytest

import varnak
from varnak import plots
from varnak.__main__ import main
from conftest import EXAMPLES

ABILENE = EXAMPLES / "abilene.txt"
RING4 = EXAMPLES / "ring4.txt"


@pytest.fixture(scope="module")
def result_files(tmp_path_factory, varnak_tools, varnak_program):
    folder = tmp_path_factory.mktemp("results")
    files = {"xml": folder / "abilene.xml", "estimate": folder / "estimate.json",
             "estimate_csv": folder / "estimate.csv", "exact": folder / "exact.json"}
    subprocess.run([varnak_program, "--graph", ABILENE, "--N", "2000", "--seed", "3",
                    "--outpath", files["xml"]], check=True, capture_output=True)
    files["estimate"].write_text(varnak_tools("estimate", "--graph", ABILENE, "--N", 2000,
                                              "--seed", 3, "--format", "json").stdout)
    files["estimate_csv"].write_text(varnak_tools("estimate", "--graph", ABILENE, "--N", 2000,
                                                  "--seed", 3, "--format", "csv").stdout)
    files["exact"].write_text(varnak_tools("exact", "--graph", ABILENE, "--format",
                                           "json").stdout)
    return files


def is_png(path):
    return path.read_bytes().startswith(b"\x89PNG\r\n\x1a\n")


def is_svg(path):
    return b"<svg" in path.read_bytes()[:2000]


@pytest.mark.parametrize("source", ["xml", "estimate", "estimate_csv", "exact"])
@pytest.mark.parametrize("suffix, check", [(".png", is_png), (".svg", is_svg)])
def test_plot_command_draws_every_result_kind(result_files, tmp_path, source, suffix, check):
    output = tmp_path / f"figure{suffix}"
    assert main(["plot", str(result_files[source]), "-o", str(output)]) == 0
    assert check(output)


@pytest.mark.parametrize("draw", [plots.spectrum, plots.reliability_curve, plots.importance,
                                  plots.bim_heatmap])
def test_each_figure_from_a_result_object(tmp_path, draw):
    figure = draw(varnak.estimate(ABILENE, 2000, seed=3))
    output = tmp_path / "figure.png"
    plots.save(figure, output)
    assert is_png(output)


def test_a_name_with_control_characters_and_dollars_is_drawn_escaped(tmp_path):
    # ESC has no glyph in any font; "$\\x$" would be mathematics that cannot be drawn.
    instance = varnak.Instance(2, [(1, 2)], [[1]], name="net$\\x$\x1b[2J")
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        figure = plots.overview(varnak.exact(instance))
        plots.save(figure, tmp_path / "figure.png")
    titles = [ax.get_title() for ax in figure.axes if ax.get_title()]
    assert len(titles) == 4
    assert all("net\\$\\x\\$\\x1b[2J, exact" in title for title in titles), titles


@pytest.mark.parametrize("arguments, message", [
    (["-o", "figure.pdf"], "does not end in .png or .svg"),
    (["-o", "figure.png", "--p", "2"], "--p is 2.0; expected a number from 0 to 1"),
])
def test_plot_command_refuses(result_files, capsys, arguments, message):
    assert main(["plot", str(result_files["exact"]), *arguments]) == 1
    assert message in capsys.readouterr().err


# Reports that no run writes, each made from one that exact or estimate wrote for the ring
# (lines as they write them), and the refusal every door gives: where it stands and why.
Broken = namedtuple("Broken", "name make line message")
NESTED = "[" * 5000 + "]" * 5000


def _changed(command, old, new):
    def make(reports):
        assert old in reports[command]
        return reports[command].replace(old, new, 1)
    return make


BROKEN_REPORTS = [
    Broken("spectrum_not_shares", _changed("exact", "[0, 0.66666666666666663, 1]", "[5, -1, NaN]"),
           19, 'value 1 of "spectrum" is "5"; expected a share from 0 to 1'),
    Broken("spectrum_not_its_counts", _changed("exact", "0.66666666666666663", "0.6667"), 19,
           'value 2 of "spectrum" is "0.6667"; expected 0.66666666666666663, "connected" / '
           '"subsets" = 2 / 3'),
    Broken("bim_row_below_zero", _changed("exact", "[0, 0.33333333333333331, 1]",
                                          "[0, -0.99, 1]"),
           23, 'value 2 of row 1 of "bim_spectra" is "-0.99"; expected a share from 0 to 1'),
    Broken("two_values_for_three_srlgs",
           _changed("exact", "[0, 0.66666666666666663, 1]", "[0.66666666666666663, 1]"), 0,
           'srlg_count is 3, but "spectrum" holds 2 values'),
    Broken("free_edges_connect_maybe",
           _changed("exact", '"free_edges_connect": false', '"free_edges_connect": "maybe"'), 12,
           '"free_edges_connect" is the string "maybe"; expected true or false'),
    Broken("nested_where_a_value_is_due",
           _changed("exact", "[0, 0.66666666666666663, 1]", NESTED), 19,
           'value 1 of "spectrum" is "' + "[" * 20 + '"; expected a number'),
    Broken("nested_under_a_key_of_its_own",
           _changed("exact", '"confidence_level"', f'"x": {NESTED},\n  "confidence_level"'), 14,
           'the value of "x" is not JSON (or is nested more than 64 deep)'),
    Broken("cut_short", lambda reports: reports["exact"][:reports["exact"].index("0.666")], 19,
           'value 2 of "spectrum" is nothing (the report ends); expected a number'),
    Broken("another_command", _changed("exact", '"command": "exact"', '"command": "cuts"'), 2,
           '"command" is the string "cuts"; expected "estimate" or "exact"'),
    Broken("estimate_n_in_a_string", _changed("estimate", '"N": 100,', '"N": "100",'), 7,
           '"N" is the string "100"; expected a whole number from 1 to 2147483647'),
    Broken("estimate_without_srlg_count", lambda reports: '{"command": "estimate"}', 0,
           'no "srlg_count"'),
]


@pytest.fixture(scope="module")
def ring_reports(varnak_tools):
    return {"exact": varnak_tools("exact", "--graph", RING4, "--format", "json").stdout,
            "estimate": varnak_tools("estimate", "--graph", RING4, "--N", 100, "--seed", 4,
                                     "--format", "json").stdout}


@pytest.mark.parametrize("case", BROKEN_REPORTS, ids=lambda case: case.name)
def test_reports_no_run_writes_are_refused_by_every_door(varnak_tools, ring_reports, tmp_path,
                                                         capsys, case):
    """read_result, python3 -m varnak plot and varnak-tools reliability --results read
    reports with one reader: each refuses with the same one line, naming the file, the line
    and the value as written."""
    path = tmp_path / "report.json"
    path.write_text(case.make(ring_reports))
    with pytest.raises(varnak.VarnakError) as raised:
        varnak.read_result(path)
    message = str(raised.value)
    where = f"{path} line {case.line}: " if case.line else f"{path}: "
    assert message.startswith(where + case.message), message
    assert (raised.value.path, raised.value.line) == (str(path), case.line)

    figure = tmp_path / "figure.png"
    assert main(["plot", str(path), "-o", str(figure)]) == 1
    assert capsys.readouterr().err == f"varnak plot: {message}\n"
    assert not figure.exists()

    tools = varnak_tools("reliability", "--results", path, "--p", 0.5, check=False)
    assert (tools.returncode, tools.stderr) == (1, f"varnak-tools reliability: {message}\n")


@pytest.mark.parametrize("case", [case for case in BROKEN_REPORTS
                                  if case.name in ("spectrum_not_shares",
                                                   "nested_under_a_key_of_its_own")],
                         ids=lambda case: case.name)
def test_plot_command_ends_on_one_line_for_an_impossible_report(ring_reports, tmp_path, case):
    """As a person runs it: exit code 1 and one line, not a traceback or a figure."""
    path = tmp_path / "report.json"
    path.write_text(case.make(ring_reports))
    process = subprocess.run([sys.executable, "-m", "varnak", "plot", str(path), "-o",
                              str(tmp_path / "figure.png")], capture_output=True, text=True)
    assert process.returncode == 1
    assert process.stderr.count("\n") == 1 and process.stderr.startswith("varnak plot: ")
    assert case.message in process.stderr


def test_an_xml_file_that_varnak_does_not_write_is_refused(tmp_path):
    path = tmp_path / "result.xml"
    path.write_text("<VARNAK><SRLGNUM>x</SRLGNUM></VARNAK>")
    with pytest.raises(varnak.VarnakError, match="line 1"):
        varnak.read_result(path)
