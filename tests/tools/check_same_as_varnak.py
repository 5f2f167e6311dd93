#!/usr/bin/env python3
"""Runs Varnak and `varnak-tools estimate` with the same instance, sample size and seed,
varnak-tools on several threads, and checks that both XML result files are the same but
for the elapsed time.

Usage: check_same_as_varnak.py VARNAK VARNAK_TOOLS INSTANCE
"""

import pathlib
import re
import subprocess
import sys
import tempfile

TIME = re.compile(r"<time_seconds>[^<]*</time_seconds>")


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    varnak, tools, instance = sys.argv[1:]
    with tempfile.TemporaryDirectory() as folder:
        from_varnak = pathlib.Path(folder, "varnak.xml")
        from_tools = pathlib.Path(folder, "tools.xml")
        common = ["--graph", instance, "--N", "5000", "--seed", "11"]
        subprocess.run([varnak, *common, "--outpath", str(from_varnak)], check=True,
                       capture_output=True)
        subprocess.run([tools, "estimate", *common, "--threads", "3", "--outpath",
                        str(from_tools)], check=True, capture_output=True)
        expected = TIME.sub("<time_seconds/>", from_varnak.read_text())
        actual = TIME.sub("<time_seconds/>", from_tools.read_text())
    if "<spectra>" not in expected:
        sys.exit("FAILED: Varnak's file holds no spectrum")
    if actual != expected:
        print("--- Varnak ---\n" + expected + "\n--- varnak-tools ---\n" + actual)
        sys.exit("FAILED: the XML result files differ")
    print("OK")


if __name__ == "__main__":
    main()
