#!/usr/bin/env python3
"""Prints, side by side from one run, how the estimate scales on this machine: two threads
against one (wall and CPU time) on the generated `large` and `dense` instances, the share
of a run in which one thread works alone with the Amdahl speed-up it allows at 64 threads,
and two MPI ranks of one thread against one rank, beside the targets: the time rank 0
reports for the run, and the whole `mpirun` with its start-up. Medians of the repetitions,
which take every case in turn. Before and after, one thread on each of the first two cores
in turn, which tells whether the host has slowed one of them.

    bench/scaling_ratios.py [build/bench/bench/varnak_bench] [build/bench/varnak-tools]
                            [--repetitions 5] [--rank-samples 1000000]
"""
import argparse
import json
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

SHAPES = {2: "large (300, 600, 400)", 3: "dense (300, 1500, 400)"}
TWO_THREADS_TARGET = 1.85
CPU_TARGET = 1.1
SERIAL_TARGET = 0.02
TWO_RANKS_TARGET = 1.85
MPI_ENV = dict(os.environ, OMPI_ALLOW_RUN_AS_ROOT="1", OMPI_ALLOW_RUN_AS_ROOT_CONFIRM="1")
ROOT = pathlib.Path(__file__).resolve().parent.parent


def thread_runs(bench, repetitions):
    # One repetition of every case at a time, so that a slow spell of the machine falls on
    # one thread and two threads alike rather than on one of them.
    runs = {}
    for _ in range(repetitions):
        output = subprocess.run(
            [bench, "--benchmark_filter=BM_SharedOut", "--benchmark_format=json",
             "--benchmark_min_time=1"],
            check=True, capture_output=True, text=True).stdout
        for entry in json.loads(output)["benchmarks"]:
            shape, threads = (int(x) for x in entry["run_name"].split("/")[1:3])
            runs.setdefault((shape, threads), []).append(entry)
    return {key: {"wall": statistics.median(e["real_time"] for e in entries),
                  "cpu": statistics.median(e["cpu_time"] for e in entries),
                  "serial": statistics.median(e["serial_share"] for e in entries)}
            for key, entries in runs.items()}


def core_times(bench):
    """One thread of `large` on each of the first two cores in turn, ms: on a virtual
    machine whose host is busy, one core can run a third slower than the other, and then
    no two threads or ranks reach twice one."""
    times = []
    for cpu in sorted(os.sched_getaffinity(0))[:2]:
        output = subprocess.run(
            ["taskset", "-c", str(cpu), bench, "--benchmark_filter=BM_SharedOut/2/1/",
             "--benchmark_format=json", "--benchmark_min_time=1"],
            check=True, capture_output=True, text=True).stdout
        times.append((cpu, json.loads(output)["benchmarks"][0]["real_time"]))
    return times


def print_core_times(when, times):
    text = ", ".join("core %d %.0f ms" % entry for entry in times)
    if len(times) < 2:
        print("One thread %s: %s." % (when, text))
        return
    spread = max(t for _, t in times) / min(t for _, t in times)
    print("One thread on each core %s: %s (%s)." % (
        when, text, "even" if spread <= 1.05 else
        "the host is busy: the slower core takes %.0f%% longer" % (100 * (spread - 1))))


def amdahl(serial, threads):
    return 1.0 / (serial + (1.0 - serial) / threads)


def run_ranks(tools, instance, ranks, samples, results):
    """Seconds of the whole mpirun (start-up included) and those rank 0 reports for the run
    itself (reading the instance, sampling, reducing)."""
    start = time.perf_counter()
    # On one machine the ranks talk through shared memory; without probing for fast
    # networks first, Open MPI starts 0.2 s sooner.
    subprocess.run(["mpirun", "--mca", "pml", "ob1", "-np", str(ranks), tools, "estimate",
                    "--graph", instance, "--N", str(samples), "--seed", "1", "--threads", "1",
                    "--format", "csv", "--outpath", str(results)],
                   check=True, stdout=subprocess.DEVNULL, env=MPI_ENV)
    wall = time.perf_counter() - start
    text = results.read_text()
    return wall, float(text.split("<time_seconds>")[1].split("</time_seconds>")[0])


def rank_runs(tools, instance, samples, repetitions, folder):
    """Medians of one rank's and two ranks' runs, taken in turn: (wall, run) for each."""
    results = pathlib.Path(folder, "ranks.xml")
    times = {1: [], 2: []}
    for _ in range(repetitions):
        for ranks in (1, 2):
            times[ranks].append(run_ranks(tools, instance, ranks, samples, results))
    return {ranks: (statistics.median(t[0] for t in runs), statistics.median(t[1] for t in runs))
            for ranks, runs in times.items()}


def mark(met):
    return "met" if met else "MISSED"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bench", nargs="?", default="build/bench/bench/varnak_bench")
    parser.add_argument("tools", nargs="?", default="build/bench/varnak-tools")
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--rank-samples", type=int, default=1000000,
                        help="samples of each MPI run")
    args = parser.parse_args()

    can_pin = shutil.which("taskset") is not None
    if can_pin:
        print_core_times("before", core_times(args.bench))
        print()
    runs = thread_runs(args.bench, args.repetitions)
    print("| instance (vertices, edges, SRLGs) | 1 thread ms | 2 threads ms | speed-up "
          "| CPU 2 / CPU 1 | serial share | Amdahl at 64 threads |")
    print("|---|---|---|---|---|---|---|")
    for shape, name in SHAPES.items():
        one = runs[(shape, 1)]
        two = runs[(shape, 2)]
        speed_up = one["wall"] / two["wall"]
        cpu = two["cpu"] / one["cpu"]
        # As a share of the one-thread run, the work that more threads cannot shorten.
        serial = two["serial"] * two["wall"] / one["wall"]
        print("| %s | %.0f | %.0f | %.2fx (%s, target %.2fx) | %.3f (%s, target %.1f) "
              "| %.2f%% (%s, target %.0f%%) | %.1fx |" % (
                  name, one["wall"], two["wall"], speed_up,
                  mark(speed_up >= TWO_THREADS_TARGET), TWO_THREADS_TARGET, cpu,
                  mark(cpu <= CPU_TARGET), CPU_TARGET, 100 * serial,
                  mark(serial <= SERIAL_TARGET), 100 * SERIAL_TARGET, amdahl(serial, 64)))

    if shutil.which("mpirun") is None:
        print("\nmpirun is not installed: no MPI figures.")
    else:
        rank_table(args)
    if can_pin:
        print()
        print_core_times("after", core_times(args.bench))


def rank_table(args):
    print()
    print("| instance (vertices, edges, SRLGs) | 1 rank s | 2 ranks s | speed-up "
          "| with mpirun's start: 1 rank s | 2 ranks s | speed-up |")
    print("|---|---|---|---|---|---|---|")
    with tempfile.TemporaryDirectory() as folder:
        for name, edges in (("ring (300, 600, 400)", 600), ("ring (300, 1500, 400)", 1500)):
            instance = pathlib.Path(folder, "ring%d.txt" % edges)
            instance.write_text(subprocess.run(
                [sys.executable, str(ROOT / "scripts" / "make_ring_instance.py"), "--vertices",
                 "300", "--edges", str(edges), "--srlgs", "400"],
                check=True, capture_output=True, text=True).stdout)
            runs = rank_runs(args.tools, str(instance), args.rank_samples, args.repetitions,
                             folder)
            (one_wall, one), (two_wall, two) = runs[1], runs[2]
            print("| %s, N = %d | %.2f | %.2f | %.2fx (%s, target %.2fx) | %.2f | %.2f | %.2fx |"
                  % (name, args.rank_samples, one, two, one / two,
                     mark(one / two >= TWO_RANKS_TARGET), TWO_RANKS_TARGET, one_wall, two_wall,
                     one_wall / two_wall))


if __name__ == "__main__":
    main()
