#!/usr/bin/env python3
"""Runs the estimator benchmarks once (with repetitions) and prints, per generated
instance, the per-sample speed-up of the fast estimator over the reference, its time
relative to drawing the same orders alone, and the speed-up of two threads over one,
beside the targets. Medians of the repetitions; samples per second from Google Benchmark.

    bench/bench_ratios.py [path/to/varnak_bench] [--repetitions 5]
"""
import argparse
import json
import subprocess
import sys

SHAPES = ["small (20, 30, 15)", "medium (100, 200, 100)", "large (300, 600, 400)",
          "dense (300, 1500, 400)"]
SPEED_UP_TARGETS = [6, 20, 40, 60]
LARGE = 2
MAX_TIMES_ORDERS_ON_LARGE = 2.5
TWO_THREAD_TARGET_ON_LARGE = 1.6


def run(bench, repetitions):
    output = subprocess.run(
        [bench, "--benchmark_format=json", "--benchmark_repetitions=%d" % repetitions,
         "--benchmark_report_aggregates_only=true", "--benchmark_min_time=0.5"],
        check=True, capture_output=True, text=True).stdout
    rates = {}
    for entry in json.loads(output)["benchmarks"]:
        if entry.get("aggregate_name") != "median":
            continue
        name = entry["run_name"].replace("/real_time", "")
        family, shape = name.rsplit("/", 1)
        rates[(family, int(shape))] = entry["items_per_second"]
    return rates


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bench", nargs="?", default="build/bench/bench/varnak_bench")
    parser.add_argument("--repetitions", type=int, default=5)
    args = parser.parse_args()
    rates = run(args.bench, args.repetitions)

    def rate(family, shape):
        return rates[("BM_" + family, shape)]

    all_met = True
    print("| instance (vertices, edges, SRLGs) | reference samples/s | fast samples/s "
          "| speed-up | target |")
    print("|---|---|---|---|---|")
    for shape, name in enumerate(SHAPES):
        speed_up = rate("Fast", shape) / rate("Reference", shape)
        met = speed_up >= SPEED_UP_TARGETS[shape]
        all_met &= met
        print("| %s | %.0f | %.0f | %.1fx | %dx %s |" % (
            name, rate("Reference", shape), rate("Fast", shape), speed_up,
            SPEED_UP_TARGETS[shape], "met" if met else "MISSED"))
    print()
    plain = rate("OrdersAlone", LARGE) / rate("Fast", LARGE)
    sampler = rate("OrdersAloneFast", LARGE) / rate("Fast", LARGE)
    two = rate("FastTwoThreads", LARGE) / rate("Fast", LARGE)
    all_met &= plain <= MAX_TIMES_ORDERS_ON_LARGE and two >= TWO_THREAD_TARGET_ON_LARGE
    print("large: fast estimator takes %.2fx the time of drawing the orders alone with "
          "SrlgOrder::reshuffle (target at most %.1fx), %.2fx with the estimator's own "
          "OrderSampler" % (plain, MAX_TIMES_ORDERS_ON_LARGE, sampler))
    print("large: two threads run %.2fx as fast as one (target at least %.1fx)" % (
        two, TWO_THREAD_TARGET_ON_LARGE))
    print("all targets met" if all_met else "some targets missed")
    return 0 if all_met else 1


if __name__ == "__main__":
    sys.exit(main())
