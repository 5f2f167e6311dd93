"""Figures from an XML result file, an estimate's JSON and CSV and exact JSON, as PNG and SVG."""

import subprocess
import warnings

import pytest

import varnak
from varnak import plots
from varnak.__main__ import main
from conftest import EXAMPLES

ABILENE = EXAMPLES / "abilene.txt"


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


@pytest.mark.parametrize("text, message", [
    ('{"command": "estimate", "spectrum": [1]}', 'no "srlg_count"'),
    ('{"command": "exact", "spectrum": [1]}', 'no "bim_spectra" in this exact report'),
    ('{"command": "reliability"}', '"command" is "reliability"; expected "estimate" or '
                                   '"exact"'),
    ('{"command": "exact",\n "spectrum": [1,', "line 2: Expecting value"),
    ("<VARNAK><SRLGNUM>x</SRLGNUM></VARNAK>", "line 1"),
])
def test_malformed_result_files_are_refused(tmp_path, text, message):
    path = tmp_path / "result.json"
    path.write_text(text)
    with pytest.raises(varnak.VarnakError, match=message):
        varnak.read_result(path)
