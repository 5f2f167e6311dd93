#!/usr/bin/env python3
"""Runs the XML benchmarks once (with repetitions) and prints, for each SRLG count, the time
Varnak takes to write its XML result file and the time varnak-tools takes to read the same
file back, and their ratio. Reading must take no longer than writing: the script exits with
1 when it does for any size. Medians of the repetitions, wall-clock time.

    bench/xml_read_write_ratio.py [path/to/varnak_xml_bench] [--repetitions 5]
"""
import argparse
import json
import subprocess
import sys

MOST_READ_PER_WRITE = 1.0


def run(bench, repetitions):
    output = subprocess.run(
        [bench, "--benchmark_format=json", "--benchmark_repetitions=%d" % repetitions,
         "--benchmark_report_aggregates_only=true", "--benchmark_min_time=0.5"],
        check=True, capture_output=True, text=True).stdout
    times = {}
    sizes = {}
    for entry in json.loads(output)["benchmarks"]:
        if entry.get("aggregate_name") != "median":
            continue
        family, srlgs = entry["run_name"].replace("/real_time", "").split("/srlgs:")
        times[(family, int(srlgs))] = entry["real_time"]  # milliseconds
        sizes[int(srlgs)] = entry["file_bytes"]
    return times, sizes


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bench", nargs="?", default="build/bench/bench/varnak_xml_bench")
    parser.add_argument("--repetitions", type=int, default=5)
    args = parser.parse_args()
    times, sizes = run(args.bench, args.repetitions)

    all_met = True
    print("| SRLGs | file bytes | write (ms) | read (ms) | read / write | target |")
    print("|---|---|---|---|---|---|")
    for srlgs in sorted(sizes):
        write = times[("BM_XmlWrite", srlgs)]
        read = times[("BM_XmlRead", srlgs)]
        met = read <= MOST_READ_PER_WRITE * write
        all_met &= met
        print("| %d | {:,} | %.2f | %.2f | %.2f | at most %.1f %s |".format(int(sizes[srlgs])) % (
            srlgs, write, read, read / write, MOST_READ_PER_WRITE, "met" if met else "MISSED"))
    print("all targets met" if all_met else "some targets missed")
    return 0 if all_met else 1


if __name__ == "__main__":
    sys.exit(main())
