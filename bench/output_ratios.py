#!/usr/bin/env python3
"""Times, side by side in one run, Varnak printing its results and a plain program printing
as many numbers, for growing SRLG counts. For each S it generates a ring network
(scripts/make_ring_instance.py --vertices 6000 --edges 12000 --srlgs S), runs the Release
Varnak with --N 1 --outpath (the console report to a file) and bench/plain_format, which
formats the same count of numbers (S*S + S, in the console's and the XML file's formats)
with std::to_chars and writes them to two files. It prints for each S: the numbers printed
(twice each, once per format), both wall times (median of the repetitions), their ratio,
Varnak's peak memory, and Varnak's time per printed number, which stays flat when the
output grows linearly with what is printed.

    bench/output_ratios.py [--build build/release] [--srlgs 1000 2000 4000 8000]
                           [--repetitions 3] [--scratch /tmp]

Needs a Release build with the benchmarks: cmake -S . -B build/release
-DCMAKE_BUILD_TYPE=Release -DVARNAK_BUILD_TESTS=OFF -DVARNAK_BUILD_BENCHMARKS=ON. The 8000
case writes about 600 MB of scratch files, removed at the end.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MOST_VARNAK_PER_PLAIN = 1.5


def timed_run(command, stdout_path):
    """Wall seconds and peak resident memory in bytes of one run of `command`."""
    with open(stdout_path, "wb") as stdout:
        start = time.monotonic()
        process = subprocess.Popen(command, stdout=stdout, stderr=subprocess.PIPE)
        _, status, usage = os.wait4(process.pid, 0)
        seconds = time.monotonic() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    error = process.stderr.read().decode(errors="replace")
    process.stderr.close()
    if process.returncode != 0:
        sys.exit("%s failed with %d: %s" % (command[0], process.returncode, error))
    return seconds, usage.ru_maxrss * 1024  # ru_maxrss is in KiB on Linux


def median_run(command, stdout_path, repetitions):
    runs = [timed_run(command, stdout_path) for _ in range(repetitions)]
    return statistics.median(seconds for seconds, _ in runs), max(peak for _, peak in runs)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(SOURCE, "build", "release"))
    parser.add_argument("--srlgs", type=int, nargs="+", default=[1000, 2000, 4000, 8000])
    parser.add_argument("--repetitions", type=int, default=3)
    parser.add_argument("--scratch", default=tempfile.gettempdir())
    args = parser.parse_args()
    varnak = os.path.join(args.build, "Varnak")
    plain = os.path.join(args.build, "bench", "varnak_plain_format")
    for program in (varnak, plain):
        if not os.access(program, os.X_OK):
            sys.exit("%s is missing: build with -DVARNAK_BUILD_BENCHMARKS=ON" % program)

    print("| SRLGs | printed values | Varnak (s) | plain (s) | Varnak / plain | target "
          "| Varnak peak memory (MB) | Varnak ns per printed value |")
    print("|---|---|---|---|---|---|---|---|")
    all_met = True
    with tempfile.TemporaryDirectory(dir=args.scratch, prefix="varnak-output-ratios-") as scratch:
        instance = os.path.join(scratch, "ring.txt")
        console = os.path.join(scratch, "console.txt")
        xml = os.path.join(scratch, "r.xml")
        for srlgs in args.srlgs:
            with open(instance, "w") as out:
                subprocess.run([sys.executable, os.path.join(SOURCE, "scripts",
                                                             "make_ring_instance.py"),
                                "--vertices", "6000", "--edges", "12000", "--srlgs", str(srlgs)],
                               stdout=out, check=True)
            varnak_seconds, varnak_peak = median_run(
                [varnak, "--graph", instance, "--N", "1", "--seed", "1", "--outpath", xml],
                console, args.repetitions)
            plain_seconds, _ = median_run([plain, str(srlgs), console, xml], os.devnull,
                                          args.repetitions)
            values = srlgs * srlgs + srlgs
            ratio = varnak_seconds / plain_seconds
            met = ratio <= MOST_VARNAK_PER_PLAIN
            all_met &= met
            print("| %d | {:,} | %.2f | %.2f | %.2f | at most %.1f %s | %.0f | %.1f |".format(
                values) % (srlgs, varnak_seconds, plain_seconds, ratio, MOST_VARNAK_PER_PLAIN,
                           "met" if met else "MISSED", varnak_peak / 1e6,
                           varnak_seconds / (2 * values) * 1e9))
            sys.stdout.flush()
    print("all targets met" if all_met else "some targets missed")
    return 0 if all_met else 1


if __name__ == "__main__":
    sys.exit(main())
