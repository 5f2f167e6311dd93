#!/usr/bin/env python3
"""Runs a command and compares its whole standard output with a golden file, the elapsed
time masked ("0.123 s" becomes "<seconds> s").

Usage: check_golden.py GOLDEN_FILE -- COMMAND [ARGS...]
"""

import difflib
import re
import subprocess
import sys

SECONDS = re.compile(r"\b\d+\.\d+ s\b")


def main():
    if len(sys.argv) < 4 or sys.argv[2] != "--":
        sys.exit(__doc__)
    golden_path, command = sys.argv[1], sys.argv[3:]
    completed = subprocess.run(command, capture_output=True, text=True, check=False)
    actual = SECONDS.sub("<seconds> s", completed.stdout)
    with open(golden_path, encoding="utf-8") as golden_file:
        expected = golden_file.read()
    problems = []
    if completed.returncode != 0:
        problems.append(f"exit code {completed.returncode}; standard error:\n{completed.stderr}")
    if actual != expected:
        problems.append("standard output differs from " + golden_path + ":\n" + "".join(
            difflib.unified_diff(expected.splitlines(True), actual.splitlines(True),
                                 "golden", "actual")))
    if problems:
        print("$ " + " ".join(command))
        for problem in problems:
            print("FAILED: " + problem)
        sys.exit(1)
    print("OK")


if __name__ == "__main__":
    main()
