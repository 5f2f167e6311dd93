"""Runs the Varnak executable and compares what it printed with what a case expects.

Shared by the end-to-end and robustness tests: each run is bounded in time, its peak memory
is taken from the kernel, and its output is matched line by line.
"""

import os
import re
import resource
import signal
import subprocess
import tempfile
import threading
import time
from dataclasses import dataclass
from typing import Callable, List, Optional, Sequence, Union

# A run that is still going after this many seconds is taken for a hang and killed.
RUN_TIMEOUT_SECONDS = 60

# The four-vertex ring of the examples, without its comments: lines 1 to 3 are the counts,
# 4 to 7 the edges, 8 to 10 the SRLGs. SRLG 1 = {edge 1}, SRLG 2 = {edges 2, 3},
# SRLG 3 = {edge 3}; edge 4 is in no SRLG. A one-member list ends in "," (member 0 joins
# nothing).
RING = (
    "VNUM:4\nENUM:4\nSRLGNUM:3\n"
    "E:1:1,2\nE:2:2,3\nE:3:3,4\nE:4:1,4\n"
    "SRLG:1:1,\nSRLG:2:2,3\nSRLG:3:3,\n"
)
RING_WITH_COMMENT = "# Ring of four vertices 1-2-3-4-1 with three SRLGs.\n" + RING

# The arguments of every ring run: ten samples of seed 1, whose orders are (3,1,2),
# (2,3,1), (1,2,3), (3,1,2), (1,2,3), (2,1,3), (2,1,3), (3,2,1), (1,2,3), (1,2,3).
RING_ARGS = ["--N", "10", "--seed", "1"]


class _Time:
    """Stands for the elapsed-seconds line, the only one that differs between runs."""

    def __repr__(self):
        return "<elapsed seconds>"


TIME = _Time()
_SECONDS = re.compile(rb"[0-9]+(\.[0-9]+)?(e[-+][0-9]+)?")

# With these orders the ring is never connected after one SRLG; after two it is unless
# they are 1 and 3 (vertex 3 waits for edge 3, which needs SRLG 2): 8 of 10 samples.
RING_REPORT = ["Spectra:", "0,0.8,1", "BIMSpectra:", "0,0.6,1", "0,0.8,1", "0,0.2,1",
               "time_seconds:", TIME]
ZERO_REPORT = ["Spectra:", "0,0,0", "BIMSpectra:", "0,0,0", "0,0,0", "0,0,0",
               "time_seconds:", TIME]
RING_XML = (
    '<?xml version="1.0" encoding="utf-8"?>\n<VARNAK version="1.0"><SRLGNUM>3</SRLGNUM>'
    "<time_seconds>{time}</time_seconds><spectras><spectra>0.000000,0.800000,1.000000</spectra>"
    '<bimspectra id="1">0.000000,0.600000,1.000000</bimspectra>'
    '<bimspectra id="2">0.000000,0.800000,1.000000</bimspectra>'
    '<bimspectra id="3">0.000000,0.200000,1.000000</bimspectra></spectras></VARNAK>'
)

NO_VNUM = ["Instance file: no VNUM line; expected a line such as VNUM:4", "Error loading file"]
NO_VNUM_CARRIAGE_RETURNS = [
    "Instance file: no VNUM line; expected a line such as VNUM:4 (the file ends its lines with "
    "carriage returns only; end them with line feeds)", "Error loading file"]
NO_VNUM_BYTE_ORDER_MARK = [
    "Instance file: no VNUM line; expected a line such as VNUM:4 (the file begins with a "
    "byte-order mark, which hides the keyword of line 1)", "Error loading file"]
CANNOT_OPEN = ["Error in openening file "]

# An expected line: exact text, TIME, or a function that returns a complaint or None.
Expected = Union[str, bytes, _Time, Callable[[bytes], Optional[str]]]


def physical_memory_bytes() -> int:
    return os.sysconf("SC_PHYS_PAGES") * os.sysconf("SC_PAGE_SIZE")


def describe_bytes(size: float) -> str:
    """A size as Varnak's messages write it: "512 bytes", "1.5 GiB"."""
    units = ["bytes", "KiB", "MiB", "GiB", "TiB", "PiB"]
    unit = 0
    while size >= 1024 and unit + 1 < len(units):
        size /= 1024
        unit += 1
    return "%.0f bytes" % size if unit == 0 else "%.1f %s" % (size, units[unit])


def parse_size(text: str) -> float:
    number, unit = text.split(" ")
    units = ["bytes", "KiB", "MiB", "GiB", "TiB", "PiB"]
    return float(number) * 1024 ** units.index(unit)


def memory_refusal(head: str, middle: str, at_least: float) -> Callable[[bytes], Optional[str]]:
    """A line "<head> need(s) <size> <middle>, more than the <machine> of this machine":
    the size must be at least `at_least` bytes and more than this machine has, and the
    machine's size must be this machine's physical memory."""
    machine = physical_memory_bytes()
    pattern = re.compile(
        re.escape(head) + r" needs? ([0-9.]+ [A-Za-z]+) " + re.escape(middle) +
        r", more than the ([0-9.]+ [A-Za-z]+) of this machine")

    def check(line: bytes) -> Optional[str]:
        match = pattern.fullmatch(line.decode("utf-8", "replace"))
        if not match:
            return "expected %r ... needs <size> %r ..." % (head, middle)
        needed = parse_size(match.group(1))
        if needed < at_least * 0.95 or needed <= machine:
            return "the size named, %s, is not above both %s and this machine's %s" % (
                match.group(1), describe_bytes(at_least), describe_bytes(machine))
        if match.group(2) != describe_bytes(machine):
            return "the machine's memory is %s, not %s" % (describe_bytes(machine), match.group(2))
        return None

    return check


@dataclass
class Run:
    exit_code: Optional[int]  # None when the run was killed for taking too long
    stdout: bytes
    stderr: bytes
    seconds: float
    peak_rss_mib: float


def run_varnak(command: Sequence[str], timeout: float = RUN_TIMEOUT_SECONDS,
               preexec_fn=None, cwd=None, through_pipes: bool = False) -> Run:
    """Runs the command, kills it after `timeout` seconds and reports its peak resident
    memory as the kernel measured it. Its output goes to files (no pipe can fill up), or
    with `through_pipes` to pipes drained as it runs: a file-size limit on the run then
    bounds only the files the command writes itself."""
    with tempfile.TemporaryFile() as out_file, tempfile.TemporaryFile() as err_file:
        start = time.monotonic()
        target = subprocess.PIPE if through_pipes else None
        process = subprocess.Popen(list(command), stdin=subprocess.DEVNULL,
                                   stdout=target or out_file, stderr=target or err_file,
                                   preexec_fn=preexec_fn, cwd=cwd)
        finished = {}
        drained = {}

        def reap():
            _, status, usage = os.wait4(process.pid, 0)
            finished["status"] = status
            finished["usage"] = usage

        def drain(name, stream):
            drained[name] = stream.read()

        threads = [threading.Thread(target=reap)]
        if through_pipes:
            threads += [threading.Thread(target=drain, args=("out", process.stdout)),
                        threading.Thread(target=drain, args=("err", process.stderr))]
        for thread in threads:
            thread.start()
        threads[0].join(timeout)
        timed_out = threads[0].is_alive()
        if timed_out:
            process.kill()
        for thread in threads:
            thread.join()
        seconds = time.monotonic() - start
        status = finished["status"]
        process.returncode = os.waitstatus_to_exitcode(status)  # reaped here, not by Popen
        if through_pipes:
            process.stdout.close()
            process.stderr.close()
            stdout, stderr = drained["out"], drained["err"]
        else:
            out_file.seek(0)
            err_file.seek(0)
            stdout, stderr = out_file.read(), err_file.read()
        return Run(exit_code=None if timed_out else process.returncode, stdout=stdout,
                   stderr=stderr, seconds=seconds,
                   peak_rss_mib=finished["usage"].ru_maxrss / 1024.0)


def compare_lines(stdout: bytes, expected: List[Expected]) -> List[str]:
    """Complaints about `stdout` against the expected lines; none when it matches."""
    complaints = []
    if stdout and not stdout.endswith(b"\n"):
        complaints.append("the output does not end with a line feed")
    lines = stdout.split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    for number, want in enumerate(expected, 1):
        if number > len(lines):
            complaints.append("line %d missing; expected %r" % (number, want))
            continue
        got = lines[number - 1]
        if want is TIME:
            if not _SECONDS.fullmatch(got):
                complaints.append("line %d: %r is no number of seconds" % (number, got[:200]))
        elif callable(want):
            complaint = want(got)
            if complaint:
                complaints.append("line %d: %r: %s" % (number, got[:300], complaint))
        else:
            want_bytes = want if isinstance(want, bytes) else want.encode("utf-8")
            if got != want_bytes:
                complaints.append("line %d: got %r, expected %r" % (number, got[:300], want_bytes))
    for number in range(len(expected) + 1, len(lines) + 1):
        complaints.append("unexpected line %d: %r" % (number, lines[number - 1][:300]))
    return complaints


def check_run(run: Run, exit_code: int, expected: List[Expected],
              max_rss_mib: Optional[float] = None) -> List[str]:
    """Complaints about a finished run: exit code, output lines, silence on standard error
    (where sanitizer reports go), bounded time and, when given, bounded memory."""
    if run.exit_code is None:
        return ["killed after %.0f s: a hang" % run.seconds]
    complaints = []
    if run.exit_code != exit_code:
        complaints.append("exit code %d, expected %d" % (run.exit_code, exit_code))
    complaints += compare_lines(run.stdout, expected)
    if run.stderr:
        complaints.append("standard error is not empty: %r" % run.stderr[:2000])
    if max_rss_mib is not None and run.peak_rss_mib > max_rss_mib:
        complaints.append("peak memory %.0f MiB, above the %.0f MiB allowed" %
                          (run.peak_rss_mib, max_rss_mib))
    return complaints


def xml_complaints(xml: bytes, expected_template: str, console_seconds: bytes) -> List[str]:
    """Complaints about an XML result file against a template whose {time} stands for the
    elapsed seconds; that time must be the one the console showed, with more digits."""
    match = re.search(rb"<time_seconds>([^<]*)</time_seconds>", xml)
    if not match:
        return ["no time_seconds element in %r" % xml[:300]]
    seconds = match.group(1).decode("ascii", "replace")
    complaints = []
    if xml.decode("utf-8", "replace") != expected_template.format(time=seconds):
        complaints.append("XML file differs: %r" % xml[:600])
    try:
        if ("%g" % float(seconds)).encode() != console_seconds:
            complaints.append("XML time %s is not the console's %r" % (seconds, console_seconds))
    except ValueError:
        complaints.append("XML time %r is no number" % seconds)
    return complaints


MOST_COMPLAINTS_SHOWN = 8


def shorten(text: str, limit: int = 400) -> str:
    return text if len(text) <= limit else text[:limit] + "..."


class Table:
    """Counts the cases of one table and prints one line per case and a closing count."""

    def __init__(self, title: str):
        self.title = title
        self.passed = 0
        self.failed = 0
        self.skipped = 0

    def record(self, name: str, complaints: List[str], seconds: float = 0.0):
        if complaints:
            self.failed += 1
            print("FAIL %s (%.2f s)" % (name, seconds))
            for complaint in complaints[:MOST_COMPLAINTS_SHOWN]:
                print("     " + shorten(complaint))
            if len(complaints) > MOST_COMPLAINTS_SHOWN:
                print("     ... and %d more" % (len(complaints) - MOST_COMPLAINTS_SHOWN))
        else:
            self.passed += 1
            print("ok   %s (%.2f s)" % (name, seconds))

    def skip(self, name: str, reason: str):
        self.skipped += 1
        print("skip %s: %s" % (name, reason))

    def finish(self) -> int:
        print("%s: %d passed, %d failed, %d skipped" %
              (self.title, self.passed, self.failed, self.skipped))
        return 1 if self.failed or not self.passed else 0


def ignore_file_size_signal():
    """For a child that runs under a file-size limit: a write past the limit then fails
    with EFBIG instead of ending the process with SIGXFSZ."""
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)


def limit_file_size(limit_bytes: int):
    def apply():
        ignore_file_size_signal()
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit_bytes, limit_bytes))
    return apply
