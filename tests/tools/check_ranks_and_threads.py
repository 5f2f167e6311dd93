#!/usr/bin/env python3
"""Checks that `varnak-tools estimate` writes the XML file Varnak writes, but for the
elapsed time, whatever the thread count and the number of MPI ranks; that a job whose
rank fails, is killed, or reads another network than rank 0, ends with a message, a non-zero
exit and no result file; that a seed drawn by rank 0 is reported and repeats the run; and
that a report mpirun could lose is refused or, when its file cannot be written, fails.

Usage: check_ranks_and_threads.py VARNAK VARNAK_TOOLS MAKE_RING_INSTANCE [--no-mpi]
"""

import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

TIME = re.compile(r"<time_seconds>[^<]*</time_seconds>")
TIMEOUT = 120

# Open MPI refuses to run as root unless told twice that it may.
MPI_ENV = dict(os.environ, OMPI_ALLOW_RUN_AS_ROOT="1", OMPI_ALLOW_RUN_AS_ROOT_CONFIRM="1",
               OMPI_MCA_rmaps_base_oversubscribe="1")

ONE_SRLG = "VNUM:3\nENUM:3\nSRLGNUM:1\nE:1:1,2\nE:2:2,3\nE:3:1,3\nSRLG:1:1,2\n"
TWO_SRLGS = "VNUM:3\nENUM:3\nSRLGNUM:2\nE:1:1,2\nE:2:2,3\nE:3:1,3\nSRLG:1:1,\nSRLG:2:2,3\n"

failures = []


def masked(path):
    return TIME.sub("<time_seconds/>", pathlib.Path(path).read_text())


def run(command, env=None):
    return subprocess.run(command, capture_output=True, text=True, timeout=TIMEOUT, env=env)


def expect_same(label, expected, path):
    if not pathlib.Path(path).exists():
        failures.append("%s: no result file" % label)
    elif masked(path) != expected:
        failures.append("%s: the XML file differs from Varnak's" % label)


def main():
    args = sys.argv[1:]
    with_mpi = "--no-mpi" not in args
    args = [a for a in args if a != "--no-mpi"]
    if len(args) != 3:
        sys.exit(__doc__)
    varnak, tools, make_ring = args
    if with_mpi and shutil.which("mpirun") is None:
        sys.exit("FAILED: varnak-tools is built with MPI but mpirun is not installed")
    folder = pathlib.Path(tempfile.mkdtemp())
    try:
        instances = {"one SRLG": folder / "one.txt", "two SRLGs": folder / "two.txt",
                     "400 SRLGs": folder / "ring400.txt"}
        instances["one SRLG"].write_text(ONE_SRLG)
        instances["two SRLGs"].write_text(TWO_SRLGS)
        ring = subprocess.run([sys.executable, make_ring, "--vertices", "120", "--edges", "240",
                               "--srlgs", "400", "--seed", "3"], check=True,
                              capture_output=True, text=True).stdout
        instances["400 SRLGs"].write_text(ring)
        # Samples: fewer than the threads of a wave; and, with 400 SRLGs (about 10,000
        # samples a block), several blocks of which the last is short.
        cases = [("one SRLG", 5), ("two SRLGs", 2), ("two SRLGs", 999), ("400 SRLGs", 3),
                 ("400 SRLGs", 23457)]
        for name, samples in cases:
            instance = str(instances[name])
            common = ["--graph", instance, "--N", str(samples), "--seed", "11"]
            expected_path = folder / "varnak.xml"
            done = run([varnak, *common, "--outpath", str(expected_path)])
            if done.returncode != 0:
                failures.append("Varnak on %s: %s" % (name, done.stderr))
                continue
            expected = masked(expected_path)
            for threads in (1, 2, 3, 8):
                out = folder / "threads.xml"
                done = run([tools, "estimate", *common, "--threads", str(threads),
                            "--outpath", str(out)])
                label = "%s, N = %d, %d threads" % (name, samples, threads)
                if done.returncode != 0:
                    failures.append("%s: exit %d: %s" % (label, done.returncode, done.stderr))
                else:
                    expect_same(label, expected, out)
            if not with_mpi:
                continue
            for ranks, threads in ((1, 1), (2, 1), (3, 1), (3, 2)):
                out = folder / "ranks.xml"
                done = run(["mpirun", "-np", str(ranks), tools, "estimate", *common,
                            "--threads", str(threads), "--outpath", str(out),
                            "--report", str(folder / "report.txt")], env=MPI_ENV)
                label = "%s, N = %d, %d ranks of %d threads" % (name, samples, ranks, threads)
                if done.returncode != 0:
                    failures.append("%s: exit %d: %s" % (label, done.returncode, done.stderr))
                else:
                    expect_same(label, expected, out)
                out.unlink(missing_ok=True)
        if with_mpi:
            check_failing_ranks(tools, folder, str(instances["400 SRLGs"]))
    finally:
        shutil.rmtree(folder)
    if failures:
        print("\n".join(failures))
        sys.exit("FAILED: %d checks" % len(failures))
    print("OK")


def leftovers(folder):
    return sorted(p.name for p in folder.iterdir() if p.name.startswith(("out", ".out")))


def check_failing_ranks(tools, folder, instance):
    out = folder / "out.xml"
    report = folder / "out.txt"
    # A file that only one rank's machine lacks.
    done = run(["mpirun", "-np", "1", tools, "estimate", "--graph", instance, "--N", "500",
                "--seed", "1", "--threads", "1", "--outpath", str(out), "--report", str(report),
                ":", "-np", "1", tools, "estimate", "--graph", str(folder / "absent.txt"),
                "--N", "500", "--seed", "1", "--threads", "1", "--outpath", str(out),
                "--report", str(report)],
               env=MPI_ENV)
    if done.returncode == 0 or "rank 1" not in done.stderr or "absent.txt" not in done.stderr:
        failures.append("a rank without its file: exit %d, message %r"
                        % (done.returncode, done.stderr))
    if leftovers(folder):
        failures.append("a rank without its file left %s" % leftovers(folder))

    # Each rank reads net.txt in a folder of its own, as when machines hold different copies
    # of one path: with the same SRLG count or another, the job must refuse, not mix.
    other_srlg = ONE_SRLG.replace("SRLG:1:1,2", "SRLG:1:2,3")
    for label, second in (("the same SRLG count", other_srlg), ("another SRLG count", TWO_SRLGS)):
        for rank, contents in enumerate((ONE_SRLG, second)):
            (folder / ("rank%d" % rank)).mkdir(exist_ok=True)
            (folder / ("rank%d" % rank) / "net.txt").write_text(contents)
        common = ["estimate", "--graph", "net.txt", "--N", "500", "--seed", "1", "--threads", "1",
                  "--outpath", str(out), "--report", str(report)]
        done = run(["mpirun", "-np", "1", "-wdir", str(folder / "rank0"), tools, *common, ":",
                    "-np", "1", "-wdir", str(folder / "rank1"), tools, *common], env=MPI_ENV)
        if done.returncode != 1 or "rank 1 read another network" not in done.stderr:
            failures.append("ranks that read different files (%s): exit %d, message %r"
                            % (label, done.returncode, done.stderr))
        if leftovers(folder):
            failures.append("ranks that read different files left %s" % leftovers(folder))

    # Rank 1 killed while the job runs.
    killer = folder / "kill_rank_1.sh"
    killer.write_text('#!/bin/sh\nif [ "$OMPI_COMM_WORLD_RANK" = 1 ]; then\n'
                      '  (sleep 1; kill -9 $$) &\nfi\nexec "$@"\n')
    killer.chmod(0o755)
    done = run(["mpirun", "-np", "2", str(killer), tools, "estimate", "--graph", instance,
                "--N", "2000000000", "--seed", "1", "--threads", "1", "--outpath", str(out),
                "--report", str(report)], env=MPI_ENV)
    if done.returncode == 0 or not done.stderr.strip():
        failures.append("a killed rank: exit %d, message %r" % (done.returncode, done.stderr))
    if leftovers(folder):
        failures.append("a killed rank left %s" % leftovers(folder))

    # Without a seed, rank 0 draws one, reports it, and it repeats the run.
    done = run(["mpirun", "-np", "2", tools, "estimate", "--graph", instance, "--N", "300",
                "--threads", "1", "--outpath", str(out), "--format", "json",
                "--report", str(report)], env=MPI_ENV)
    seed = re.search(r'"seed":\s*(\d+)', report.read_text() if report.exists() else "")
    if done.returncode != 0 or seed is None:
        failures.append("a drawn seed: exit %d, output %r" % (done.returncode, done.stderr))
        return
    again = folder / "again.xml"
    run([tools, "estimate", "--graph", instance, "--N", "300", "--seed", seed.group(1),
         "--threads", "1", "--outpath", str(again)])
    if not again.exists() or masked(again) != masked(out):
        failures.append("the seed rank 0 drew and reported does not repeat the run")
    out.unlink(missing_ok=True)
    report.unlink(missing_ok=True)
    check_lost_reports(tools, instance, folder)


def check_lost_reports(tools, instance, folder):
    """mpirun passes the ranks' standard output on and exits 0 whether or not it arrived, so
    a report must go to a file that rank 0 writes and checks itself."""
    common = ["estimate", "--graph", instance, "--N", "300", "--seed", "1", "--threads", "1"]
    cases = [
        # (ranks, extra options, stdout, exit code, what standard error must hold)
        (1, [], subprocess.DEVNULL, 2, "under mpirun give --report FILE"),
        (2, [], open(os.devnull, "w"), 2, "under mpirun give --report FILE"),
        (1, ["--report", "/dev/full"], subprocess.PIPE, 1,
         "Error writing output file /dev/full: No space left on device"),
        (2, ["--report", str(folder / "absent" / "report.txt")], subprocess.PIPE, 1,
         "absent/report.txt: No such file or directory"),
    ]
    for ranks, extra, stdout, code, message in cases:
        label = "%d rank(s) with %s" % (ranks, extra or "no --report")
        done = subprocess.run(["mpirun", "-np", str(ranks), tools, *common, *extra],
                              stdout=stdout, stderr=subprocess.PIPE, text=True,
                              timeout=TIMEOUT, env=MPI_ENV)
        if done.returncode != code or message not in done.stderr:
            failures.append("a report lost under mpirun, %s: exit %d, message %r"
                            % (label, done.returncode, done.stderr))
        if done.stdout:
            failures.append("%s: the report went to standard output" % label)


if __name__ == "__main__":
    main()
