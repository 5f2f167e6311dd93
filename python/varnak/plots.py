"""Figures of results with matplotlib, without a display (each figure draws on its own Agg
canvas, whatever backend pyplot would use).

Each function takes a result (estimate, exact, read_result) or the path of a result file
and returns a matplotlib Figure; `save(figure, path)` writes PNG or SVG by the name.
"""

import numpy as np
from matplotlib.backends.backend_agg import FigureCanvasAgg
from matplotlib.figure import Figure

from . import names
from .analysis import Result, reliability
from .instance import printable
from .results import read_result

PLOT_KINDS = ("all", "spectrum", "reliability", "importance", "bim")
# Unavailabilities of an SRLG, 1 - p, from a millionth to certain failure.
DEFAULT_UNAVAILABILITIES = np.logspace(-6, 0, 121)


def _result(source):
    return source if isinstance(source, Result) else read_result(source)


def _free_connected(result, free_connected):
    """free_connected is for spectra from an XML file; every other result tells it."""
    return free_connected if result[names.METHOD] == names.METHOD_XML else None


def _figure(ax, size=(6.4, 4.2)):
    if ax is not None:
        return ax.figure, ax
    figure = Figure(figsize=size, layout="constrained")
    FigureCanvasAgg(figure)
    return figure, figure.add_subplot()


def _drawn(text):
    """`text` as matplotlib is to draw it: control characters escaped, as no font has a
    glyph for them, and "$" escaped, as a pair of them would start mathematics in which a
    name such as "$\\x$" cannot be drawn at all."""
    return printable(text).replace("$", r"\$")


def _title(result, what):
    name = _drawn(result[names.INSTANCE] or result[names.RESULTS_FILE] or "")
    if result[names.METHOD] == names.METHOD_ESTIMATE:
        return f"{what}: {name}, N = {result.N}, seed {result.seed}"
    if result[names.METHOD] == names.METHOD_EXACT:
        return f"{what}: {name}, exact"
    return f"{what}: {name}"


def spectrum(source, ax=None):
    """The spectrum against k, the number of SRLGs up; an estimate also shows each entry's
    95% Wilson interval and the 95% band that holds for all k at once."""
    result = _result(source)
    figure, ax = _figure(ax)
    values = np.asarray(result.spectrum)
    k = np.arange(1, values.size + 1)
    if names.BAND_LOW in result:
        ax.fill_between(k, result.band_low, result.band_high, step="mid", alpha=0.2,
                        color="tab:blue", label="95% band, all k at once")
        # Rounding can leave a bound a hair on the wrong side of a value of 0 or 1.
        errors = np.clip([values - result.wilson_low, result.wilson_high - values], 0, None)
        ax.errorbar(k, values, yerr=errors,
                    fmt="none", ecolor="tab:blue", capsize=2, label="95% Wilson interval")
    ax.plot(k, values, "o-", color="tab:blue", markersize=3, label="spectrum")
    ax.set_xlabel("k, SRLGs up")
    ax.set_ylabel("P(connected | k random SRLGs up)")
    ax.set_ylim(-0.02, 1.02)
    ax.set_title(_title(result, "Spectrum"), fontsize="medium")
    ax.legend(loc="upper left", fontsize="small")
    return figure


def reliability_curve(source, ax=None, unavailabilities=None, free_connected=None):
    """1 - R(p) against 1 - p, both on log scales, so that availabilities near 1 show:
    a network whose unavailability falls as (1-p)^2 has its cut sets of two SRLGs. An
    estimate also shows the 95% interval of R(p)."""
    result = _result(source)
    figure, ax = _figure(ax)
    q = DEFAULT_UNAVAILABILITIES if unavailabilities is None else np.asarray(unavailabilities)
    curve = reliability(result, p=1.0 - q, free_connected=_free_connected(result, free_connected))
    points = curve.reliability
    if points.R_low is not None and result[names.METHOD] != names.METHOD_EXACT:
        ax.fill_between(q, 1.0 - points.R_high, 1.0 - points.R_low, alpha=0.2, color="tab:red",
                        label="95% interval")
    ax.plot(q, points.unreliability, color="tab:red", label="1 - R(p)")
    ax.set_xscale("log")
    ax.set_yscale("log")
    ax.set_xlabel("1 - p, unavailability of each SRLG")
    ax.set_ylabel("1 - R(p), network unavailability")
    ax.set_title(_title(result, "Reliability"), fontsize="medium")
    ax.grid(True, which="major", alpha=0.3)
    ax.legend(loc="lower right", fontsize="small")
    return figure


def importance(source, p=0.99, top=15, ax=None, free_connected=None):
    """The `top` SRLGs by Birnbaum importance at p, most important on top; an estimate also
    shows each importance's 95% interval, and names the SRLGs whose rank it resolves."""
    result = _result(source)
    figure, ax = _figure(ax)
    ranking = reliability(result, p=[p], rank_at=p,
                          free_connected=_free_connected(result, free_connected)).importance
    shown = slice(0, top if top else None)
    values = ranking.importance[shown]
    positions = np.arange(values.size)
    if ranking.importance_low is not None and result[names.METHOD] != names.METHOD_EXACT:
        errors = [values - ranking.importance_low[shown], ranking.importance_high[shown] - values]
        ax.barh(positions, values, xerr=np.clip(errors, 0, None), color="tab:green",
                capsize=2, label="95% interval")
    else:
        ax.barh(positions, values, color="tab:green")
    resolved = ranking.resolved
    marks = ["" if resolved is None or result[names.METHOD] == names.METHOD_EXACT
             or not resolved[i] else " *" for i in range(values.size)]
    ax.set_yticks(positions, [f"SRLG {s}{mark}" for s, mark in zip(ranking.srlg[shown], marks)])
    ax.invert_yaxis()
    label = f"Birnbaum importance at p = {p:g}: R(p | up) - R(p | down)"
    if any(marks):
        label += "\n* rank resolved: its interval is apart from every other SRLG's"
    ax.set_xlabel(label)
    ax.set_title(_title(result, "Importance"), fontsize="medium")
    return figure


def bim_heatmap(source, ax=None):
    """The BIM spectra as a heat map: one row per SRLG, one column per k."""
    result = _result(source)
    figure, ax = _figure(ax)
    table = np.asarray(result.bim_spectra)
    size = table.shape[0]
    image = ax.imshow(table, aspect="auto", origin="upper", cmap="viridis", vmin=0.0,
                      vmax=1.0, interpolation="nearest",
                      extent=(0.5, size + 0.5, size + 0.5, 0.5))
    figure.colorbar(image, ax=ax, label="P(connected and SRLG s up | k up)")
    ax.set_xlabel("k, SRLGs up")
    ax.set_ylabel("SRLG s")
    ax.set_title(_title(result, "BIM spectra"), fontsize="medium")
    return figure


def overview(source, p=0.99, top=15, free_connected=None):
    """All four figures on one page."""
    result = _result(source)
    figure = Figure(figsize=(12.8, 8.4), layout="constrained")
    FigureCanvasAgg(figure)
    axes = figure.subplots(2, 2)
    spectrum(result, axes[0][0])
    reliability_curve(result, axes[0][1], free_connected=free_connected)
    importance(result, p, top, axes[1][0], free_connected=free_connected)
    bim_heatmap(result, axes[1][1])
    return figure


def save(figure, path):
    """Writes the figure; the format follows the name (.png or .svg)."""
    if not str(path).lower().endswith((".png", ".svg")):
        raise ValueError(f"output \"{path}\" does not end in .png or .svg")
    figure.savefig(path)


def add_arguments(parser):
    parser.add_argument("result", help="a Varnak XML result file, a varnak-tools estimate "
                                       "report (JSON or CSV) or an exact JSON report")
    parser.add_argument("-o", "--output", required=True, help="figure file, .png or .svg")
    parser.add_argument("--kind", choices=PLOT_KINDS, default="all",
                        help="which figure (default all four on one page)")
    parser.add_argument("--p", type=float, default=0.99,
                        help="availability of each SRLG for the importance ranking "
                             "(default 0.99)")
    parser.add_argument("--top", type=int, default=15,
                        help="SRLGs in the importance ranking, 0 for all (default 15)")
    parser.add_argument("--free-connected", action="store_true",
                        help="for an XML file: the edges in no SRLG connect the network alone")


def run(args):
    if not 0.0 <= args.p <= 1.0:
        raise ValueError(f"--p is {args.p}; expected a number from 0 to 1")
    if args.top < 0:
        raise ValueError(f"--top is {args.top}; expected 0 (all) or more")
    if not args.output.lower().endswith((".png", ".svg")):
        raise ValueError(f"output \"{args.output}\" does not end in .png or .svg")
    result = read_result(args.result)
    free = True if args.free_connected else None
    if args.kind == "all":
        figure = overview(result, args.p, args.top, free)
    elif args.kind == "spectrum":
        figure = spectrum(result)
    elif args.kind == "reliability":
        figure = reliability_curve(result, free_connected=free)
    elif args.kind == "importance":
        figure = importance(result, args.p, args.top, free_connected=free)
    else:
        figure = bim_heatmap(result)
    save(figure, args.output)
