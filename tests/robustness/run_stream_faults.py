#!/usr/bin/env python3
"""Faults of the streams around a run, through the real executables: standard output that
cannot take what is written to it (a full device, closed, a pipe whose reader has gone, a
file-size limit), for Varnak and every varnak-tools command, standard error that cannot take
a message, the result file being standard output itself, a file-size limit with the
signal left at its default, a signal while the result file is written, an instance that
never ends a line, and a line of millions of fields.

    run_stream_faults.py <path of the Varnak executable> <path of varnak-tools>
"""

import os
import resource
import signal
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass
from typing import List, Optional

# The helper module, shared with the end-to-end tests, is imported from the source tree,
# which is to stay clean.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

from varnak_runs import RING, RING_ARGS, RING_REPORT, RING_XML, run_varnak

RING_XML_TEXT = RING_XML.format(time="0.001")

# What a result file holds before a run; a run that fails or is ended must leave exactly this.
PRECIOUS = b"<?xml version=\"1.0\"?>\n<earlier>results of an earlier run</earlier>\n"


def many_srlgs(count: int) -> str:
    """A two-vertex network whose one edge is in each of `count` SRLGs: the report has
    `count` rows of `count` values, the XML file about 9 * count**2 bytes."""
    return "VNUM:2\nENUM:1\nSRLGNUM:%d\nE:1:1,2\n" % count + "".join(
        "SRLG:%d:1,\n" % srlg for srlg in range(1, count + 1))


# Its XML file (9 MB) takes long enough to write for a run to be caught in the middle.
LARGE = many_srlgs(1000)

RING_RUN = ["--graph", "{ring}", *RING_ARGS]

failures = []
checked = 0


def check(name, condition, detail=""):
    global checked
    checked += 1
    print(("ok   " if condition else "FAIL ") + name + ("" if condition else ": " + detail))
    if not condition:
        failures.append(name)


def describe_status(code: Optional[int]) -> str:
    if code is None:
        return "still running"
    if code < 0:
        return "killed by %s" % signal.Signals(-code).name
    return "exit %d" % code


# ---------------------------------------------------------------------------------------
# Standard output that cannot take the results: the run must say so on standard error
# and end with exit code 1, not 0 and not killed by SIGPIPE or SIGXFSZ.

# Its report (180 kB) is more than a pipe holds and its CSV more than the file-size limit.
WIDE = many_srlgs(300)
FILE_SIZE_LIMIT = 8192
REPORT_LOST = "Error writing the report to standard output\n"

FULL = "a full device"
CLOSED = "closed"
READER_GONE = "a pipe whose reader has gone"
READER_LEAVES = "a pipe whose reader leaves after one byte"
SMALL_FILE = "a file under a %d-byte size limit" % FILE_SIZE_LIMIT


@dataclass
class OutputCase:
    program: str  # "Varnak" or "varnak-tools"
    args: List[str]  # "{ring}", "{wide}" and "{dir}" are replaced
    sink: str
    stderr: str  # all of standard error; "{dir}" is replaced


WIDE_RUN = ["--graph", "{wide}", *RING_ARGS]
MISSING_XML = "{dir}/missing/result.xml"
TOOLS_RESULTS_LOST = "varnak-tools %s: error writing the results to standard output\n"

OUTPUT_CASES = [
    OutputCase("Varnak", RING_RUN, FULL, REPORT_LOST),
    OutputCase("Varnak", RING_RUN, CLOSED, REPORT_LOST),
    OutputCase("Varnak", RING_RUN, READER_GONE, REPORT_LOST),
    OutputCase("Varnak", WIDE_RUN, READER_LEAVES, REPORT_LOST),
    OutputCase("Varnak", WIDE_RUN, SMALL_FILE, REPORT_LOST),
    # The line about the result file went to the same lost output: it is given again.
    OutputCase("Varnak", RING_RUN + ["--outpath", MISSING_XML], FULL,
               "Error writing output file %s: No such file or directory\n" % MISSING_XML +
               REPORT_LOST),
    OutputCase("Varnak", ["--help"], FULL, REPORT_LOST),
    OutputCase("varnak-tools", ["exact", "--graph", "{ring}"], FULL, TOOLS_RESULTS_LOST % "exact"),
    OutputCase("varnak-tools", ["exact", "--graph", "{ring}"], CLOSED,
               TOOLS_RESULTS_LOST % "exact"),
    OutputCase("varnak-tools", ["reliability", "--graph", "{ring}", "--exact"], READER_GONE,
               TOOLS_RESULTS_LOST % "reliability"),
    OutputCase("varnak-tools", ["estimate", *WIDE_RUN, "--format", "csv"], READER_LEAVES,
               TOOLS_RESULTS_LOST % "estimate"),
    OutputCase("varnak-tools", ["estimate", *WIDE_RUN, "--format", "csv"], SMALL_FILE,
               TOOLS_RESULTS_LOST % "estimate"),
    OutputCase("varnak-tools", ["estimate", *RING_RUN, "--outpath", MISSING_XML], FULL,
               "varnak-tools estimate: Error writing output file %s: No such file or directory\n"
               % MISSING_XML + TOOLS_RESULTS_LOST % "estimate"),
    # --report takes the report off standard output: the file's own fault is the one named.
    OutputCase("varnak-tools", ["cuts", "--graph", "{ring}", "--max-size", "2", "--report",
                                "/dev/full"], FULL,
               "varnak-tools cuts: Error writing output file /dev/full: No space left on device\n"),
    OutputCase("varnak-tools", ["estimate", *RING_RUN, "--report", "{dir}/missing/report.txt"],
               CLOSED, "varnak-tools estimate: Error writing output file {dir}/missing/report.txt:"
               " No such file or directory\n"),
    OutputCase("varnak-tools", ["estimate", *WIDE_RUN, "--format", "csv", "--report",
                                "{dir}/report.csv"], SMALL_FILE,
               "varnak-tools estimate: Error writing output file {dir}/report.csv: File too large\n"),
    OutputCase("varnak-tools", ["--help"], FULL,
               "varnak-tools: error writing the help to standard output\n"),
    OutputCase("varnak-tools", ["exact", "--help"], CLOSED,
               "varnak-tools exact: error writing the help to standard output\n"),
]


# Every command of varnak-tools into every broken standard output: a small run for the
# sinks that refuse the first byte, one with more output than a pipe (64 kB) or the
# file-size limit takes for the others. exact's output (21 SRLGs: 9 kB, quick) is below a pipe's
# size, so it is tried with the file-size limit only.
TOOLS_COMMANDS = [
    (["estimate", *RING_RUN, "--format", "json"], ["estimate", *WIDE_RUN, "--format", "csv"]),
    (["exact", "--graph", "{ring}"], ["exact", "--graph", "{exact_wide}", "--format", "csv"]),
    (["reliability", "--graph", "{ring}", "--exact"],
     ["reliability", "--graph", "{ring}", "--exact", "--grid", "5000"]),
    (["reliability", "--graph", "{ring}", "--N", "10", "--format", "csv"],
     ["reliability", "--graph", "{wide}", "--N", "10", "--grid", "5000"]),
    (["reliability", "--xml", "{ring_xml}", "--format", "json"],
     ["reliability", "--xml", "{ring_xml}", "--grid", "5000", "--format", "csv"]),
]
OUTPUT_CASES += [
    OutputCase("varnak-tools", small if sink in (FULL, CLOSED, READER_GONE) else large, sink,
               TOOLS_RESULTS_LOST % small[0])
    for small, large in TOOLS_COMMANDS
    for sink in (FULL, CLOSED, READER_GONE, READER_LEAVES, SMALL_FILE)
    if not (sink == READER_LEAVES and small[0] == "exact")
]


def run_into_sink(command: List[str], sink: str, directory: str):
    """Runs the command with standard output going to `sink`; returns its exit status as
    subprocess gives it (negative: killed by that signal) and its standard error. Signals
    are left at their defaults, as a shell leaves them."""
    if sink == FULL:
        with open("/dev/full", "w") as full:
            done = subprocess.run(command, stdout=full, stderr=subprocess.PIPE, timeout=120)
        return done.returncode, done.stderr
    if sink == CLOSED:
        done = subprocess.run(command, stderr=subprocess.PIPE, timeout=120,
                              preexec_fn=lambda: os.close(1))
        return done.returncode, done.stderr
    if sink == SMALL_FILE:
        def small_files():
            resource.setrlimit(resource.RLIMIT_FSIZE, (FILE_SIZE_LIMIT, FILE_SIZE_LIMIT))

        with open(os.path.join(directory, "output.txt"), "w") as out:
            done = subprocess.run(command, stdout=out, stderr=subprocess.PIPE, timeout=120,
                                  preexec_fn=small_files)
        os.remove(os.path.join(directory, "output.txt"))
        return done.returncode, done.stderr
    if sink == READER_GONE:
        read_end, write_end = os.pipe()
        os.close(read_end)
        try:
            done = subprocess.run(command, stdout=write_end, stderr=subprocess.PIPE, timeout=120)
        finally:
            os.close(write_end)
        return done.returncode, done.stderr
    assert sink == READER_LEAVES
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    process.stdout.read(1)
    process.stdout.close()
    stderr = process.stderr.read()
    return process.wait(timeout=120), stderr


def output_cases(programs, files, directory):
    for case in OUTPUT_CASES:
        args = [arg.format(dir=directory, **files) for arg in case.args]
        code, stderr = run_into_sink([programs[case.program], *args], case.sink, directory)
        expected = case.stderr.format(dir=directory).encode()
        check("%s %s, standard output %s: exit 1 and a message" %
              (case.program, " ".join(case.args), case.sink),
              code == 1 and stderr == expected,
              "%s, stderr %r, expected %r" % (describe_status(code), stderr, expected))


# ---------------------------------------------------------------------------------------
# Standard error that cannot take a message: a refusal still ends with exit code 1 (not
# killed by SIGPIPE), and a run that needs no message still gives its results and 0.

def run_with_broken_errors(command: List[str], sink: str):
    """Runs the command with standard error going to `sink` (a full device, closed, or a
    pipe without a reader); returns its exit status and standard output."""
    if sink == FULL:
        with open("/dev/full", "w") as full:
            done = subprocess.run(command, stdout=subprocess.PIPE, stderr=full, timeout=120)
        return done.returncode, done.stdout
    if sink == CLOSED:
        done = subprocess.run(command, stdout=subprocess.PIPE, timeout=120,
                              preexec_fn=lambda: os.close(2))
        return done.returncode, done.stdout
    assert sink == READER_GONE
    read_end, write_end = os.pipe()
    os.close(read_end)
    try:
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=write_end, timeout=120)
    finally:
        os.close(write_end)
    return done.returncode, done.stdout


def error_stream_cases(programs, files, directory):
    missing = os.path.join(directory, "missing.txt")
    runs = [(small[0] + " refused", [arg.replace("{ring}", missing) for arg in small], 1)
            for small, _ in TOOLS_COMMANDS if "{ring}" in small]
    runs += [(small[0] + " with results", small, 0) for small, _ in TOOLS_COMMANDS]
    for name, args, expected_code in runs:
        command = [programs["varnak-tools"], *[arg.format(**files) for arg in args]]
        for sink in (FULL, CLOSED, READER_GONE):
            code, stdout = run_with_broken_errors(command, sink)
            results_given = bool(stdout) == (expected_code == 0)
            check("varnak-tools %s, standard error %s: exit %d" % (name, sink, expected_code),
                  code == expected_code and results_given,
                  "%s, standard output %r" % (describe_status(code), stdout[:200]))


# ---------------------------------------------------------------------------------------
# A signal that ends the run while the result file is written: the process still ends
# killed by that signal, the earlier file is intact and no temporary file stays behind.

@dataclass
class SignalCase:
    program: str
    args: List[str]  # the result file's path follows
    signal_number: int


LARGE_RUN = ["--graph", "{large}", "--N", "1", "--seed", "1", "--outpath"]
SIGNAL_CASES = [
    SignalCase("Varnak", LARGE_RUN, signal.SIGTERM),
    SignalCase("Varnak", LARGE_RUN, signal.SIGINT),
    SignalCase("varnak-tools", ["estimate", *LARGE_RUN], signal.SIGTERM),
    SignalCase("varnak-tools", ["estimate", *LARGE_RUN], signal.SIGINT),
]

# A run whose temporary file is renamed before the poll sees it is tried again.
CATCH_ATTEMPTS = 5


def temporary_files(directory: str) -> List[str]:
    return [name for name in os.listdir(directory) if name.startswith(".varnak-")]


def signal_while_writing(command: List[str], directory: str, signal_number: int):
    """Runs the command until its temporary file appears, stops it, and when the file is
    still there sends the signal and lets it go on. Returns the exit status (negative:
    killed by that signal), or None when the file was gone before the stop."""
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 120
    while not temporary_files(directory) and process.poll() is None:
        if time.monotonic() > deadline:
            process.kill()
            process.wait()
            return None
    if process.returncode is not None:
        return None
    os.kill(process.pid, signal.SIGSTOP)
    _, status = os.waitpid(process.pid, os.WUNTRACED)
    if not os.WIFSTOPPED(status):  # it ended before the stop reached it
        process.returncode = os.waitstatus_to_exitcode(status)
        return None
    caught = bool(temporary_files(directory))
    if caught:
        os.kill(process.pid, signal_number)
    os.kill(process.pid, signal.SIGCONT)
    code = process.wait(timeout=120)
    return code if caught else None


def signal_cases(programs, files, directory):
    for case in SIGNAL_CASES:
        command_name = " ".join([case.program] + case.args[:1 if case.args[0][0] != "-" else 0])
        name = "%s ended by %s while it writes the result file" % (
            command_name, signal.Signals(case.signal_number).name)
        place = tempfile.mkdtemp(dir=directory)
        result = os.path.join(place, "result.xml")
        command = [programs[case.program], *[arg.format(**files) for arg in case.args], result]
        code = None
        for _ in range(CATCH_ATTEMPTS):
            with open(result, "wb") as file:
                file.write(PRECIOUS)
            code = signal_while_writing(command, place, case.signal_number)
            if code is not None:
                break
        if code is None:
            check(name, False, "the temporary file was never caught before its rename")
            continue
        with open(result, "rb") as file:
            kept = file.read()
        check(name, code == -case.signal_number and kept == PRECIOUS and
              os.listdir(place) == ["result.xml"],
              "%s, result file %r, files %r" % (describe_status(code), kept[:80],
                                                sorted(os.listdir(place))))


# ---------------------------------------------------------------------------------------
# A file-size limit with SIGXFSZ at its default: the executables ignore the signal
# themselves, so that the write fails, is reported after the whole report, and leaves the
# directory as it was.

def file_size_limit_cases(programs, files, directory):
    place = tempfile.mkdtemp(dir=directory)
    result = os.path.join(place, "result.xml")
    failure = "Error writing output file %s: File too large" % result

    def small_files():
        resource.setrlimit(resource.RLIMIT_FSIZE, (100, 100))

    for program, args, report_check, stderr in [
        ("Varnak", RING_RUN, lambda lines: lines[:-2] == RING_REPORT[:-1] and
         lines[-1] == failure, b""),
        ("varnak-tools", ["estimate", *RING_RUN], lambda lines: lines[0].startswith("Instance:"),
         ("varnak-tools estimate: %s\n" % failure).encode()),
    ]:
        command = [programs[program], *[arg.format(**files) for arg in args], "--outpath", result]
        run = subprocess.run(command, preexec_fn=small_files, capture_output=True, timeout=60)
        lines = run.stdout.decode().splitlines()
        check("%s under a file-size limit reports the failed file, not a killed process" % program,
              run.returncode == 1 and report_check(lines) and run.stderr == stderr and
              os.listdir(place) == [],
              "%s, output %r, stderr %r, files %r" % (describe_status(run.returncode), lines[-3:],
                                                     run.stderr, os.listdir(place)))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    programs = {"Varnak": os.path.abspath(sys.argv[1]),
                "varnak-tools": os.path.abspath(sys.argv[2])}
    with tempfile.TemporaryDirectory() as directory:
        files = {}
        for name, text in [("ring", RING), ("wide", WIDE), ("large", LARGE),
                           ("exact_wide", many_srlgs(21)), ("ring_xml", RING_XML_TEXT)]:
            files[name] = os.path.join(directory, name + ".txt")
            with open(files[name], "w") as file:
                file.write(text)
        varnak = programs["Varnak"]
        command = [varnak, "--graph", files["ring"], *RING_ARGS]

        output_cases(programs, files, directory)
        error_stream_cases(programs, files, directory)
        signal_cases(programs, files, directory)
        file_size_limit_cases(programs, files, directory)

        captured = os.path.join(directory, "captured.txt")
        with open(captured, "w") as out:
            run = subprocess.run(command + ["--outpath", "/dev/stdout"], stdout=out,
                                 stderr=subprocess.PIPE, timeout=60)
        with open(captured, "rb") as file:
            text = file.read().decode()
        report = text[text.index("</VARNAK>") + len("</VARNAK>"):] if "</VARNAK>" in text else ""
        check("--outpath /dev/stdout into a file keeps the document and then the report",
              run.returncode == 0 and text.startswith("<?xml") and
              report.splitlines()[:-1] == RING_REPORT[:-1],
              "exit %d, file %r" % (run.returncode, text[:300]))

        run = run_varnak([varnak, "--graph", "/dev/zero", *RING_ARGS], timeout=120)
        check("an instance without line feeds is refused at its first line",
              run.exit_code == 1 and run.stdout == b"Instance file line 1: the line is longer "
              b"than 256.0 MiB; expected keyword lines such as E:1:1,2\nError loading file\n",
              "exit %r, output %r" % (run.exit_code, run.stdout[:200]))

        colons = os.path.join(directory, "colons.txt")
        with open(colons, "w") as file:
            file.write(RING + "X" + ":" * (50 << 20) + "\n")
        run = run_varnak([varnak, "--graph", colons, *RING_ARGS], timeout=120)
        check("a line of 50 million fields costs little more than the line",
              run.exit_code == 0 and run.peak_rss_mib < 400,
              "exit %r, peak %.0f MiB" % (run.exit_code, run.peak_rss_mib))
        os.remove(colons)

    print("%d passed, %d failed" % (checked - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
