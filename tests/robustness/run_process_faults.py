#!/usr/bin/env python3
"""Faults that end or starve a process, through the real executables.

- SIGKILL at random moments while Varnak and `varnak-tools estimate --outpath` write their
  result file: afterwards the path holds the earlier file or the whole new one, never a
  mix (a killed process cannot remove its temporary file, which the rename never reached).
- A low address-space limit (RLIMIT_AS) for every command, on inputs whose tables need
  more than the limit but less than the machine: a one-line refusal on standard error or
  standard output, exit code 1, no crash and no result file.

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
from typing import List, Optional

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

from varnak_runs import Table, run_varnak

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
        counts = {"earlier file": 0, "new file": 0, "in the write": 0}
        complaints = []
        started = time.monotonic()
        for trial in range(KILL_TRIALS // len(runs)):
            with open(result, "wb") as file:
                file.write(PRECIOUS)
            for stray in temporary_files(place):
                os.remove(os.path.join(place, stray))
            # Moments over the later part of a run, where the write is, and a little after.
            delay = chooser.uniform(ended * 0.45, ended * 1.05)
            process = subprocess.Popen(command, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
            time.sleep(delay)
            process.send_signal(signal.SIGKILL)
            process.wait()
            if temporary_files(place):
                counts["in the write"] += 1
            with open(result, "rb") as file:
                kept = file.read()
            if kept == PRECIOUS:
                counts["earlier file"] += 1
            elif without_time(kept) == expected:
                counts["new file"] += 1
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
    args: List[str]  # "{many}", "{xml}", "{long}" and "{out}" are replaced
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


def memory_cases() -> List[MemoryCase]:
    no_memory = r".*(memory|Memory).*"
    return [
        MemoryCase("Varnak, result tables above the limit",
                   ["Varnak", "--graph", "{many}", "--N", "1", "--seed", "1",
                    "--outpath", "{out}"], no_memory),
        MemoryCase("varnak-tools estimate, result tables above the limit",
                   ["varnak-tools", "estimate", "--graph", "{many}", "--N", "1", "--seed",
                    "1", "--threads", "2", "--outpath", "{out}"], no_memory),
        MemoryCase("varnak-tools reliability --N, result tables above the limit",
                   ["varnak-tools", "reliability", "--graph", "{many}", "--N", "1",
                    "--seed", "1"], no_memory),
        MemoryCase("varnak-tools reliability --xml, rows above the limit",
                   ["varnak-tools", "reliability", "--xml", "{xml}"], no_memory),
        MemoryCase("varnak-tools exact, an edge table above the limit",
                   ["varnak-tools", "exact", "--graph", "{long}"], no_memory),
        MemoryCase("Varnak, an edge table above the limit",
                   ["Varnak", "--graph", "{long}", "--N", "1"], no_memory),
        MemoryCase("varnak-tools reliability --exact, an edge table above the limit",
                   ["varnak-tools", "reliability", "--graph", "{long}", "--exact"], no_memory),
    ]


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
             "long": os.path.join(directory, "long.txt")}
    with open(files["many"], "w") as file:
        file.write(many_srlgs(MEMORY_SRLGS))
    with open(files["xml"], "w") as file:
        file.write(big_xml(XML_SRLGS))
    with open(files["long"], "w") as file:
        file.write("VNUM:%d\nENUM:%d\nSRLGNUM:1\n" % (LONG_EDGES + 1, LONG_EDGES))
        file.write("".join("E:%d:%d,%d\n" % (e, e, e + 1) for e in range(1, LONG_EDGES + 1)))
        file.write("SRLG:1:1,\n")
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
        kill_table(table, programs, directory)
        memory_table(table, programs, directory)
    finally:
        shutil.rmtree(directory, ignore_errors=True)
    return table.finish()


if __name__ == "__main__":
    sys.exit(main())
