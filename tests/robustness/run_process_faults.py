#!/usr/bin/env python3
"""Faults that end or starve a process, through the real executables.

- SIGKILL at random moments while Varnak and `varnak-tools estimate --outpath` write their
  result file: afterwards the path holds the earlier file or the whole new one, never a
  mix (a killed process cannot remove its temporary file, which the rename never reached).
- A low address-space limit (RLIMIT_AS) for every command, on inputs whose tables need
  more than the limit but less than the machine: a one-line refusal on standard error or
  standard output, exit code 1, no crash and no result file. An estimate whose result
  tables exceed the limit is refused before it allocates them, with a line that names the
  need and the limit.
- A decision diagram above its --max-memory budget, for every command that builds one:
  one line naming the budget, exit code 1, and a peak memory near the budget.

    run_process_faults.py <path of Varnak> <path of varnak-tools>
"""

import os
import random
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass
from typing import List

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

from varnak_runs import Table, describe_bytes, run_varnak

MAKE_RING = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts",
                         "make_ring_instance.py")

PRECIOUS = b"<?xml version=\"1.0\"?>\n<earlier>results of an earlier run</earlier>\n"
KILL_TRIALS = 200
# A fixed seed: the same kill moments on every run, so a failure can be repeated.
KILL_SEED = 16
# Among the trials, the share whose kill must land while the temporary file exists, or the
# table would not have tested the write at all.
LEAST_SHARE_IN_WRITE = 0.05
TIME = re.compile(rb"<time_seconds>[^<]*</time_seconds>")


def many_srlgs(count: int) -> str:
    """Two vertices, one edge, in each of `count` SRLGs: rows of `count` values, an XML
    file of about 9 * count**2 bytes."""
    return "VNUM:2\nENUM:1\nSRLGNUM:%d\nE:1:1,2\n" % count + "".join(
        "SRLG:%d:1,\n" % srlg for srlg in range(1, count + 1))


# Its XML file, 370 kB, takes some milliseconds to write, in a run of a few tens.
KILL_INSTANCE = many_srlgs(200)
CALIBRATION_RUNS = 3


def temporary_files(directory: str) -> List[str]:
    return sorted(name for name in os.listdir(directory) if name.startswith(".varnak-"))


def without_time(xml: bytes) -> bytes:
    return TIME.sub(b"<time_seconds/>", xml)


def run_and_time(command: List[str], result: str):
    """One whole run, left alone: the XML file it writes and how long it took."""
    start = time.monotonic()
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    ended = time.monotonic() - start
    with open(result, "rb") as file:
        return file.read(), ended


def kill_table(table: Table, programs, directory: str):
    instance = os.path.join(directory, "many.txt")
    with open(instance, "w") as file:
        file.write(KILL_INSTANCE)
    runs = [("Varnak", [programs["Varnak"]]),
            ("varnak-tools estimate", [programs["varnak-tools"], "estimate", "--threads", "1"])]
    chooser = random.Random(KILL_SEED)
    for name, start in runs:
        place = tempfile.mkdtemp(dir=directory)
        result = os.path.join(place, "result.xml")
        command = start + ["--graph", instance, "--N", "1", "--seed", "1", "--outpath", result]
        # The middle of a few runs, since the first one reads everything from disk.
        timings = sorted((run_and_time(command, result) for _ in range(CALIBRATION_RUNS)),
                         key=lambda timing: timing[1])
        whole, ended = timings[len(timings) // 2]
        expected = without_time(whole)
        # The kill moments scatter around an aim that follows the write: a kill before it
        # moves the aim later, one after the rename moves it earlier. So a machine whose
        # runs are slower or quicker than the calibration, as a loaded CI machine's are,
        # still lands its kills in the write.
        aim = 0.7 * ended
        step = 0.02 * ended
        scatter = 0.04 * ended
        counts = {"earlier file": 0, "new file": 0, "in the write": 0}
        complaints = []
        started = time.monotonic()
        for trial in range(KILL_TRIALS // len(runs)):
            with open(result, "wb") as file:
                file.write(PRECIOUS)
            for stray in temporary_files(place):
                os.remove(os.path.join(place, stray))
            delay = max(0.0, aim + chooser.uniform(-scatter, scatter))
            process = subprocess.Popen(command, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
            time.sleep(delay)
            process.send_signal(signal.SIGKILL)
            process.wait()
            in_write = bool(temporary_files(place))
            if in_write:
                counts["in the write"] += 1
            with open(result, "rb") as file:
                kept = file.read()
            if kept == PRECIOUS:
                counts["earlier file"] += 1
                if not in_write:
                    aim = min(aim + step, 1.5 * ended)
            elif without_time(kept) == expected:
                counts["new file"] += 1
                aim = max(aim - step, 0.0)
            else:
                complaints.append("trial %d, killed after %.4f s: the file holds %d bytes, "
                                  "neither the earlier file nor the whole new one: %r..."
                                  % (trial, delay, len(kept), kept[:120]))
        trials = KILL_TRIALS // len(runs)
        if counts["in the write"] < LEAST_SHARE_IN_WRITE * trials:
            complaints.append("only %d of %d kills landed while the file was written "
                              "(a run takes %.4f s)" % (counts["in the write"], trials, ended))
        table.record("%s killed by SIGKILL at %d random moments around the write (%s)" %
                     (name, trials, ", ".join("%s %d" % item for item in counts.items())),
                     complaints, time.monotonic() - started)


# ---------------------------------------------------------------------------------------
# A low address-space limit.

# Every command runs the ring in far less.
LIMIT_MIB = 96


@dataclass
class MemoryCase:
    name: str
    args: List[str]  # "{many}", "{xml}", "{long}", "{grid}", "{ring}" and "{out}" are replaced
    message: str  # a regular expression for the one line of refusal


def big_xml(count: int) -> str:
    row = ",".join(["0.000000"] * (count - 1) + ["1.000000"])
    return ('<?xml version="1.0" encoding="utf-8"?>\n<VARNAK version="1.0"><SRLGNUM>%d'
            "</SRLGNUM><time_seconds>1</time_seconds><spectras><spectra>%s</spectra>%s"
            "</spectras></VARNAK>\n" % (count, row, "".join(
                '<bimspectra id="%d">%s</bimspectra>' % (s, row) for s in range(1, count + 1))))


# 6000 SRLGs: result counts of 137 MiB, above the limit and below any machine's memory.
# 3600 rows of 3600 doubles read from XML: 99 MiB. A path of a million edges: an edge
# table of about 140 MiB.
MEMORY_SRLGS = 6000
XML_SRLGS = 3600
LONG_EDGES = 1000000
# A generated ring of 30000 SRLGs: counts of 3.4 GiB, far above the limit, from a file of
# about a MiB.
RING_SRLGS = 30000


def tables_above_limit(command: str, file: str, srlgs: int) -> str:
    """The refusal of an estimate whose result tables need more than the limit, found
    before they are made: a line that names the need and the limit."""
    return (r"varnak-tools %s: .*%s: %d SRLGs( on \d+ threads)? need [0-9.]+ [A-Za-z]+ for the "
            r"result tables( and the threads' orders)?, more than the address-space limit of %s" %
            (command, re.escape(file), srlgs, re.escape(describe_bytes(LIMIT_MIB * 1024 * 1024))))


def memory_cases() -> List[MemoryCase]:
    no_memory = r".*(memory|Memory).*"
    return [
        MemoryCase("Varnak, result tables above the limit",
                   ["Varnak", "--graph", "{many}", "--N", "1", "--seed", "1",
                    "--outpath", "{out}"], no_memory),
        MemoryCase("varnak-tools estimate, result tables above the limit",
                   ["varnak-tools", "estimate", "--graph", "{many}", "--N", "1", "--seed",
                    "1", "--threads", "2", "--outpath", "{out}"],
                   tables_above_limit("estimate", "many.txt", MEMORY_SRLGS)),
        MemoryCase("varnak-tools reliability --N, result tables above the limit",
                   ["varnak-tools", "reliability", "--graph", "{many}", "--N", "1",
                    "--seed", "1"], tables_above_limit("reliability", "many.txt", MEMORY_SRLGS)),
        MemoryCase("varnak-tools reliability --xml, rows above the limit",
                   ["varnak-tools", "reliability", "--xml", "{xml}"], no_memory),
        MemoryCase("varnak-tools exact, an edge table above the limit",
                   ["varnak-tools", "exact", "--graph", "{long}"], no_memory),
        MemoryCase("Varnak, an edge table above the limit",
                   ["Varnak", "--graph", "{long}", "--N", "1"], no_memory),
        MemoryCase("varnak-tools reliability --exact, an edge table above the limit",
                   ["varnak-tools", "reliability", "--graph", "{long}", "--exact"], no_memory),
        MemoryCase("varnak-tools cuts, an edge table above the limit",
                   ["varnak-tools", "cuts", "--graph", "{long}", "--max-size", "1"], no_memory),
        MemoryCase("varnak-tools estimate, a 30000-SRLG ring's tables above the limit",
                   ["varnak-tools", "estimate", "--graph", "{ring}", "--N", "1", "--seed", "1",
                    "--threads", "1", "--outpath", "{out}"],
                   tables_above_limit("estimate", "ring.txt", RING_SRLGS)),
        MemoryCase("varnak-tools estimate --terminals, an edge table above the limit",
                   ["varnak-tools", "estimate", "--graph", "{long}", "--N", "1", "--seed", "1",
                    "--terminals", "1,2"], no_memory),
        # The diagram's default budget is half the limit, so it ends with the budget's
        # message instead of an allocation that fails half-way.
        MemoryCase("varnak-tools exact, a decision diagram above the limit",
                   ["varnak-tools", "exact", "--graph", "{grid}"], DIAGRAM_REFUSAL),
    ]


def grid_with_a_srlg_per_link(side: int) -> str:
    """A side x side grid, each link its own SRLG: a frontier of `side` vertices, whose
    decision diagram needs tens of MiB from side 12."""
    links = []
    for row in range(side):
        for column in range(side):
            vertex = row * side + column + 1
            if column + 1 < side:
                links.append((vertex, vertex + 1))
            if row + 1 < side:
                links.append((vertex, vertex + side))
    return ("VNUM:%d\nENUM:%d\nSRLGNUM:%d\n" % (side * side, len(links), len(links)) +
            "".join("E:%d:%d,%d\n" % (i, a, b) for i, (a, b) in enumerate(links, 1)) +
            "".join("SRLG:%d:%d\n" % (i, i) for i in range(1, len(links) + 1)))


DIAGRAM_SIDE = 12
DIAGRAM_REFUSAL = (r"varnak-tools \w+: .*grid\.txt: .*(outgrew|needs more than) the memory "
                   r"budget of .*; use estimate for this network, or give more memory with "
                   r"--max-memory")


@dataclass
class BudgetCase:
    name: str
    args: List[str]  # after varnak-tools; "{grid}" and "{p}" replaced


def budget_cases() -> List[BudgetCase]:
    return [BudgetCase("exact --method diagram", ["exact", "--graph", "{grid}", "--method",
                                                   "diagram"]),
            BudgetCase("exact --format json", ["exact", "--graph", "{grid}", "--format", "json"]),
            BudgetCase("reliability --exact", ["reliability", "--graph", "{grid}", "--exact"]),
            BudgetCase("reliability --exact --srlg-p",
                       ["reliability", "--graph", "{grid}", "--exact", "--srlg-p", "{p}"])]


def budget_table(table: Table, programs, directory: str):
    """A budget the diagram must exceed: one line that names it on standard error, exit
    code 1, nothing on standard output, and the process never far above the budget."""
    budget_mib = 16
    grid = os.path.join(directory, "grid.txt")
    text = grid_with_a_srlg_per_link(DIAGRAM_SIDE)
    with open(grid, "w") as file:
        file.write(text)
    links = text.count("\nE:")
    p_file = os.path.join(directory, "grid.p")
    with open(p_file, "w") as file:
        file.write("".join("%d,0.99\n" % i for i in range(1, links + 1)))
    for case in budget_cases():
        args = [arg.format(grid=grid, p=p_file) for arg in case.args]
        run = run_varnak([programs["varnak-tools"]] + args + ["--max-memory",
                                                              "%dM" % budget_mib])
        complaints = []
        if run.exit_code != 1:
            complaints.append("exit code %r, expected 1" % run.exit_code)
        if run.stdout:
            complaints.append("results printed: %r" % run.stdout[:200])
        said = run.stderr.decode("utf-8", "replace")
        if not re.fullmatch(DIAGRAM_REFUSAL + r"\n", said):
            complaints.append("not one line naming the budget: %r" % said[:600])
        # A sanitizer's shadow memory comes on top of what the budget counts.
        if not sanitized(programs["varnak-tools"]) and run.peak_rss_mib > budget_mib + 48:
            complaints.append("peak memory %.0f MiB for a budget of %d MiB" %
                              (run.peak_rss_mib, budget_mib))
        table.record("varnak-tools " + case.name + ", a diagram above --max-memory %dM" %
                     budget_mib, complaints, run.seconds)


def sanitized(program: str) -> bool:
    """AddressSanitizer reserves terabytes of address space, so it cannot run under a
    limit on it."""
    with open(program, "rb") as file:
        return b"__asan_init" in file.read()


def memory_table(table: Table, programs, directory: str):
    if any(sanitized(program) for program in programs.values()):
        table.skip("every command under RLIMIT_AS", "a sanitizer build cannot run under it")
        return
    files = {"many": os.path.join(directory, "many.txt"),
             "xml": os.path.join(directory, "big.xml"),
             "long": os.path.join(directory, "long.txt"),
             "grid": os.path.join(directory, "grid.txt"),
             "ring": os.path.join(directory, "ring.txt")}
    with open(files["many"], "w") as file:
        file.write(many_srlgs(MEMORY_SRLGS))
    with open(files["xml"], "w") as file:
        file.write(big_xml(XML_SRLGS))
    with open(files["long"], "w") as file:
        file.write("VNUM:%d\nENUM:%d\nSRLGNUM:1\n" % (LONG_EDGES + 1, LONG_EDGES))
        file.write("".join("E:%d:%d,%d\n" % (e, e, e + 1) for e in range(1, LONG_EDGES + 1)))
        file.write("SRLG:1:1,\n")
    with open(files["grid"], "w") as file:
        file.write(grid_with_a_srlg_per_link(DIAGRAM_SIDE))
    with open(files["ring"], "w") as file:
        subprocess.run([sys.executable, MAKE_RING, "--vertices", str(RING_SRLGS), "--edges",
                        str(RING_SRLGS + RING_SRLGS // 5), "--srlgs", str(RING_SRLGS)],
                       stdout=file, check=True)
    limit = LIMIT_MIB * 1024 * 1024

    def low_limit():
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))

    for case in memory_cases():
        out = os.path.join(directory, "result.xml")
        with open(out, "wb") as file:
            file.write(PRECIOUS)
        args = [arg.format(out=out, **files) for arg in case.args]
        command = [programs[args[0]]] + args[1:]
        run = run_varnak(command, preexec_fn=low_limit)
        complaints = []
        if run.exit_code is None:
            complaints.append("killed after %.0f s: a hang" % run.seconds)
        elif run.exit_code != 1:
            complaints.append("exit code %d, expected 1" % run.exit_code)
        said = (run.stdout + run.stderr).decode("utf-8", "replace")
        lines = [line for line in said.split("\n") if line]
        if not any(re.fullmatch(case.message, line) for line in lines):
            complaints.append("no line says memory ran short: %r" % said[:600])
        with open(out, "rb") as file:
            if file.read() != PRECIOUS:
                complaints.append("the earlier result file was changed")
        stray = [name for name in os.listdir(directory) if name.startswith(".varnak-")]
        if stray:
            complaints.append("temporary files left: %r" % stray)
        table.record(case.name + " under RLIMIT_AS of %d MiB" % LIMIT_MIB, complaints,
                     run.seconds)


def main() -> int:
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    programs = {"Varnak": sys.argv[1], "varnak-tools": sys.argv[2]}
    table = Table("process_faults")
    directory = tempfile.mkdtemp(prefix="varnak-process-faults-")
    try:
        # First, while this process is small: a child's peak memory counts its parent's
        # at the fork, and the tables below build files of a hundred MiB.
        budget_table(table, programs, directory)
        kill_table(table, programs, directory)
        memory_table(table, programs, directory)
    finally:
        shutil.rmtree(directory, ignore_errors=True)
    return table.finish()


if __name__ == "__main__":
    sys.exit(main())
