#!/usr/bin/env python3
"""Runs one command line and checks its exit code and what it printed where.

Usage: run_case.py --exit CODE [--stdout REGEX] [--stderr REGEX] [--quiet-stdout]
                   [--quiet-stderr] [--golden FILE] -- COMMAND [ARGS...]

With --golden, the whole standard output must equal FILE, the elapsed time masked
("0.123 s" becomes "<seconds> s").
"""

import argparse
import difflib
import re
import subprocess
import sys


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--exit", type=int, required=True)
    parser.add_argument("--stdout", help="must match somewhere in standard output")
    parser.add_argument("--stderr", help="must match somewhere in standard error")
    parser.add_argument("--quiet-stdout", action="store_true", help="standard output empty")
    parser.add_argument("--quiet-stderr", action="store_true", help="standard error empty")
    parser.add_argument("--golden", help="file that standard output must equal")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    options = parser.parse_args()
    command = options.command[1:] if options.command[:1] == ["--"] else options.command
    completed = subprocess.run(command, capture_output=True, text=True, check=False)

    problems = []
    if completed.returncode != options.exit:
        problems.append(f"exit code {completed.returncode}, expected {options.exit}")
    for name, pattern, quiet, text in (
            ("standard output", options.stdout, options.quiet_stdout, completed.stdout),
            ("standard error", options.stderr, options.quiet_stderr, completed.stderr)):
        if pattern is not None and re.search(pattern, text) is None:
            problems.append(f"{name} does not match {pattern!r}")
        if quiet and text:
            problems.append(f"{name} is not empty")
    if options.golden is not None:
        with open(options.golden, encoding="utf-8") as golden_file:
            expected = golden_file.read()
        actual = re.sub(r"\b\d+\.\d+ s\b", "<seconds> s", completed.stdout)
        if actual != expected:
            problems.append(f"standard output differs from {options.golden}:\n" + "".join(
                difflib.unified_diff(expected.splitlines(True), actual.splitlines(True),
                                     "golden", "actual")))
    if problems:
        print("$ " + " ".join(command))
        print("--- standard output ---\n" + completed.stdout)
        print("--- standard error ---\n" + completed.stderr)
        for problem in problems:
            print("FAILED: " + problem)
        sys.exit(1)
    print("OK")


if __name__ == "__main__":
    main()
