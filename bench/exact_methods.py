#!/usr/bin/env python3
"""Subset enumeration against the decision diagram, side by side, on generated networks.

Usage:
    python3 bench/exact_methods.py VARNAK_TOOLS [--repeat R]

For S = 8..28 SRLGs it writes ring networks (scripts/make_ring_instance.py: S vertices,
1.5 S edges, S SRLGs as ducts), runs `varnak-tools exact --method subsets` and
`--method diagram` on each (median of R runs, elapsed time as the tool reports it, so that
process start-up is left out) and prints both times and their ratio. It is where `exact
--method auto` takes its threshold from.
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile

REPOSITORY = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GENERATOR = os.path.join(REPOSITORY, "scripts", "make_ring_instance.py")


def seconds(tools, instance, method, repeat):
    times = []
    for _ in range(repeat):
        out = subprocess.run([tools, "exact", "--graph", instance, "--method", method,
                              "--format", "json"], capture_output=True, text=True, check=True)
        times.append(json.loads(out.stdout)["elapsed_seconds"])
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("tools", help="the varnak-tools executable")
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    print("| SRLGs | vertices | edges | subsets (ms) | diagram (ms) | subsets / diagram |")
    print("|---|---|---|---|---|---|")
    with tempfile.TemporaryDirectory() as scratch:
        for srlgs in range(8, 29, 2):
            vertices, edges = srlgs, srlgs * 3 // 2
            instance = os.path.join(scratch, f"ring{srlgs}.txt")
            with open(instance, "w") as file:
                subprocess.run([sys.executable, GENERATOR, "--vertices", str(vertices),
                                "--edges", str(edges), "--srlgs", str(srlgs)],
                               stdout=file, check=True)
            by_subsets = seconds(args.tools, instance, "subsets", args.repeat)
            by_diagram = seconds(args.tools, instance, "diagram", args.repeat)
            print(f"| {srlgs} | {vertices} | {edges} | {by_subsets * 1e3:.2f} "
                  f"| {by_diagram * 1e3:.2f} | {by_subsets / by_diagram:.2f} |")
            sys.stdout.flush()


if __name__ == "__main__":
    main()
