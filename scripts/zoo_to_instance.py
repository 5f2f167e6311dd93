#!/usr/bin/env python3
"""Convert an Internet Topology Zoo GraphML file into a Varnak instance file.

Usage:
    python3 scripts/zoo_to_instance.py NETWORK.graphml [--sector DEGREES] [-o OUT.txt]

SRLGs: one per link, then sector ducts (see examples/README.md). The conversion lives in
the Python package (python/varnak); `python3 -m varnak convert` offers more importers and
SRLG generators. This script runs from the sources without building anything.
"""

import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "python"))

from varnak.convert import zoo_to_instance_main  # noqa: E402

if __name__ == "__main__":
    sys.exit(zoo_to_instance_main())
