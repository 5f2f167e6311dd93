"""python3 -m varnak convert|plot: topology files to instance files, results to figures."""

import argparse
import os
import shlex
import sys

from .instance import VarnakError, printable


def main(argv=None):
    argv = sys.argv[1:] if argv is None else argv
    parser = argparse.ArgumentParser(
        prog="python3 -m varnak",
        description="Varnak's Python tools: convert topologies into instance files with "
                    "SRLGs, and plot results.")
    commands = parser.add_subparsers(dest="command", required=True)
    from . import convert, plots
    convert_parser = commands.add_parser(
        "convert", help="a topology file (Zoo GraphML/GML, SNDlib, LGF) to an instance file",
        description="Reads a topology and writes a Varnak instance file whose SRLGs come from "
                    "the generators named by --srlgs.")
    convert.add_arguments(convert_parser)
    plot_parser = commands.add_parser(
        "plot", help="a result (Varnak XML, varnak-tools estimate or exact JSON) to a figure",
        description="Draws one figure of a result file into a PNG or SVG file.")
    plots.add_arguments(plot_parser)
    args = parser.parse_args(argv)
    try:
        if args.command == "convert":
            convert.run(args, " ".join(shlex.quote(a) for a in argv[1:]))
        else:
            plots.run(args)
    except (VarnakError, ValueError) as error:
        # Printable again: a message that quotes an argument, or a library's, may hold
        # control characters still; escaping twice leaves a message as it is.
        print(f"varnak {args.command}: {printable(str(error))}", file=sys.stderr)
        return 1
    except OSError as error:
        where = error.filename or "standard output"
        print(f"varnak {args.command}: {printable(where)}: {error.strerror}", file=sys.stderr)
        if where == "standard output":
            # The interpreter flushes standard output once more on its way out; with the
            # stream lost that would only repeat the failure.
            os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
