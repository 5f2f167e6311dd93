#!/usr/bin/env python3
"""End-to-end cases for the Varnak executable.

Usage: run_varnak_cases.py VARNAK DATA_DIR [--group NAME ...]
       run_varnak_cases.py --list-groups

Every case runs the real executable in a fresh temporary directory (its working
directory) and checks the whole standard output, the exit code, that nothing reaches
standard error, and the whole directory tree afterwards: files written byte for byte,
files that must stay untouched, and no stray file left behind. The elapsed time is the
only thing masked, on the console and in the XML result file; the two must be the same
double. Python 3 standard library only.
"""

from __future__ import annotations

import argparse
import dataclasses
import difflib
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile
from typing import Callable, Optional, Union

# The helper module, shared with the robustness tables, is imported from the source tree,
# which is to stay clean.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

from varnak_runs import limit_file_size, run_varnak  # noqa: E402

TIME = "<time>"  # stands for the elapsed seconds in expected texts
TIMEOUT_SECONDS = 300  # guards against a hang only; nothing is timed
IS_ROOT = hasattr(os, "geteuid") and os.geteuid() == 0

# ---------------------------------------------------------------------------------------
# Expected texts


def report(spectrum: str, *bim_rows: str) -> str:
    """The console report of a complete run, the time masked."""
    return "\n".join(["Spectra:", spectrum, "BIMSpectra:", *bim_rows, "time_seconds:", TIME]) + "\n"


def xml_document(srlg_count: int, spectrum: str, bim_rows: list[str]) -> str:
    """The XML result file, the time masked."""
    rows = "".join(f'<bimspectra id="{i}">{row}</bimspectra>' for i, row in enumerate(bim_rows, 1))
    return ('<?xml version="1.0" encoding="utf-8"?>\n'
            f'<VARNAK version="1.0"><SRLGNUM>{srlg_count}</SRLGNUM>'
            f"<time_seconds>{TIME}</time_seconds>"
            f"<spectras><spectra>{spectrum}</spectra>{rows}</spectras></VARNAK>")


OPTIONS_LINES = [
    "",
    "******************************************************************** ",
    "* Varnak package for Shared Risk Reliability and Sensitivity       * ",
    "* Spectra estimation                                               * ",
    "* Varnak developers                                                * ",
    "* Documentation: README.md of the Varnak sources                   *",
    "********************************************************************",
    "Allowed options:",
    "  --help                produce help message",
    "  --graph arg           input graph instance file",
    "  --N arg               sample size",
    "  --seed arg            random number generator seed (default is none)",
    "  --outpath arg         output file (optional)",
    "",
]
USAGE_LINE = (" (Usage example: Varnak --graph <path to grpah> --N <sample size> --seed <seed> "
              "--outpath <outpath for external output analysis>)")
HELP = "\n".join(OPTIONS_LINES + [USAGE_LINE]) + "\n"
REJECTED = "\n".join(OPTIONS_LINES) + "\n"  # the options description, no usage line

SEED_MESSAGE = "The seed should be positive integer.\n"
N_MESSAGE = "The sample size should be positive integer.\n"
NO_N_MESSAGE = "No input sample size was specified\n"
NO_GRAPH_MESSAGE = "No input graph was specified\n"
CANNOT_OPEN = "Error in openening file \n"

# The worked ring: four vertices, SRLG 1 = {1}, SRLG 2 = {2, 3}, SRLG 3 = {3}.
RING_REPORT = report("0,0.8,1", "0,0.6,1", "0,0.8,1", "0,0.2,1")
RING_XML = ('<?xml version="1.0" encoding="utf-8"?>\n'
            '<VARNAK version="1.0"><SRLGNUM>3</SRLGNUM><time_seconds><time></time_seconds>'
            "<spectras><spectra>0.000000,0.800000,1.000000</spectra>"
            '<bimspectra id="1">0.000000,0.600000,1.000000</bimspectra>'
            '<bimspectra id="2">0.000000,0.800000,1.000000</bimspectra>'
            '<bimspectra id="3">0.000000,0.200000,1.000000</bimspectra>'
            "</spectras></VARNAK>")
RING_CRLF = (b"VNUM:4\r\nENUM:4\r\nSRLGNUM:3\r\nE:1:1,2\r\nE:2:2,3\r\nE:3:3,4\r\nE:4:1,4\r\n"
             b"SRLG:1:1,\r\nSRLG:2:2,3\r\nSRLG:3:3,\r\n")
RING = ["--graph", "{data}/ring4.txt"]

SIZE = r"[0-9]+(\.[0-9])? (bytes|KiB|MiB|GiB|TiB|PiB)"


def path_instance(n: int) -> str:
    """A path of n edges, each its own SRLG: connected only once all n SRLGs are up, so
    every estimate is exact, whatever the seed. Even ids are written without a comma."""
    lines = [f"VNUM:{n + 1}", f"ENUM:{n}", f"SRLGNUM:{n}"]
    lines += [f"E:{i}:{i},{i + 1}" for i in range(1, n + 1)]
    lines += [f"SRLG:{i}:{i}" + ("" if i % 2 == 0 else ",") for i in range(1, n + 1)]
    return "\n".join(lines) + "\n"


def path_row(n: int, fixed: bool) -> str:
    zero, one = ("0.000000", "1.000000") if fixed else ("0", "1")
    return ",".join([zero] * (n - 1) + [one])


# ---------------------------------------------------------------------------------------
# File tree entries: what a case puts in its directory before the run, and what must be
# there after it.


@dataclasses.dataclass(frozen=True)
class File:
    content: Union[str, bytes]
    mode: Optional[int] = None  # checked after the run only when given

    def data(self) -> bytes:
        return self.content.encode() if isinstance(self.content, str) else self.content


@dataclasses.dataclass(frozen=True)
class Xml:
    """A result file: compared byte for byte with the time masked."""
    text: str
    mode: Optional[int] = None


@dataclasses.dataclass(frozen=True)
class Dir:
    mode: Optional[int] = None


@dataclasses.dataclass(frozen=True)
class Link:
    target: str


Entry = Union[File, Xml, Dir, Link]


@dataclasses.dataclass
class Case:
    group: str
    name: str
    args: list[str]
    exit_code: int
    stdout: Union[str, re.Pattern]  # the whole output ("{tmp}" and "{data}" replaced)
    before: dict[str, Entry] = dataclasses.field(default_factory=dict)
    written: dict[str, Entry] = dataclasses.field(default_factory=dict)  # changes by the run
    skip_as_root: bool = False  # permissions do not stop root
    file_size_limit: Optional[int] = None  # RLIMIT_FSIZE for the run, in bytes


# ---------------------------------------------------------------------------------------
# The cases

CASES: list[Case] = []


def add(*cases: Case) -> None:
    CASES.extend(cases)


# The complete run, and the same ring written in other ways.
add(
    Case("complete_run", "ring, N 10, seed 1, outpath: eight lines and the XML rows",
         [*RING, "--N", "10", "--seed", "1", "--outpath", "out.xml"], 0, RING_REPORT,
         written={"out.xml": Xml(RING_XML)}),
    Case("complete_run", "absolute outpath in a subdirectory",
         [*RING, "--N", "10", "--seed", "1", "--outpath", "{tmp}/results/out.xml"], 0,
         RING_REPORT, before={"results": Dir()}, written={"results/out.xml": Xml(RING_XML)}),
    Case("complete_run", "without outpath no file is written",
         [*RING, "--N", "10", "--seed", "1"], 0, RING_REPORT),
    Case("complete_run", "one-member SRLGs written without a comma",
         ["--graph", "{data}/ring4_single_members.txt", "--N", "10", "--seed", "1",
          "--outpath", "out.xml"], 0, RING_REPORT, written={"out.xml": Xml(RING_XML)}),
    Case("complete_run", "instance file with CRLF line ends",
         ["--graph", "ring.txt", "--N", "10", "--seed", "1"], 0, RING_REPORT,
         before={"ring.txt": File(RING_CRLF)}),
    Case("complete_run", "options written with '=' and a prefix of a long name",
         ["--gr={data}/ring4.txt", "--N=10", "--seed=1", "--out=out.xml"], 0, RING_REPORT,
         written={"out.xml": Xml(RING_XML)}),
    Case("complete_run", "options in another order",
         ["--outpath", "out.xml", "--seed", "1", "--N", "10", *RING], 0, RING_REPORT,
         written={"out.xml": Xml(RING_XML)}),
)

# n + 5 lines for n SRLGs, n numbers on each row; one SRLG gives one number, no comma.
# The path instances give exact results for every seed, also for none and for 0.
for n, seed in [(1, ["--seed", "5"]), (2, ["--seed", "0"]), (5, []), (18, ["--seed", "3"]),
                (40, [])]:
    add(Case("report_shape", f"{n} SRLG(s) on a path, seed {seed[1] if seed else 'none'}",
             ["--graph", "path.txt", "--N", "25", *seed, "--outpath", "out.xml"], 0,
             report(path_row(n, False), *[path_row(n, False)] * n),
             before={"path.txt": File(path_instance(n))},
             written={"out.xml": Xml(xml_document(n, path_row(n, True),
                                                  [path_row(n, True)] * n))}))
add(
    Case("report_shape", "one SRLG that never connects the graph",
         ["--graph", "g.txt", "--N", "4", "--seed", "2", "--outpath", "out.xml"], 0,
         report("0", "0"), before={"g.txt": File("VNUM:3\nENUM:1\nSRLGNUM:1\nE:1:1,2\nSRLG:1:1,\n")},
         written={"out.xml": Xml(xml_document(1, "0.000000", ["0.000000"]))}),
    Case("report_shape", "one SRLG, an edge in no SRLG is up from the start",
         ["--graph", "g.txt", "--N", "1", "--seed", "9"], 0, report("1", "1"),
         before={"g.txt": File("VNUM:3\nENUM:2\nSRLGNUM:1\nE:1:1,2\nE:2:2,3\nSRLG:1:1\n")}),
)

# The command line: help, rejected command lines and the checks, in their order.
for name, args, output in [
    ("no arguments", [], HELP),
    ("--help", ["--help"], HELP),
    ("--help with a failing check", ["--help", "--seed", "-3"], HELP),
    ("--help with a complete run", ["--help", *RING, "--N", "10", "--outpath", "out.xml"], HELP),
    ("only a word that is no option", ["ring4.txt"], REJECTED),
    ("a stray word: --outpath forgotten", [*RING, "--N", "10", "out.xml"], REJECTED),
    ("single-dash -N", ["-N", "100"], REJECTED),
    ("--N abc", ["--N", "abc"], REJECTED),
    ("--N abc with --help", ["--N", "abc", "--help"], REJECTED),
    ("--N with a fraction", [*RING, "--N", "2.5"], REJECTED),
    ("--N beyond 32 bits", [*RING, "--N", "2147483648"], REJECTED),
    ("--N given twice", [*RING, "--N", "100", "--N", "200"], REJECTED),
    ("--seed without its value", [*RING, "--N", "100", "--seed"], REJECTED),
    ("an undeclared option", [*RING, "--N", "100", "--threads", "2"], REJECTED),
    ("negative seed", [*RING, "--N", "10", "--seed", "-1", "--outpath", "out.xml"], SEED_MESSAGE),
    ("negative seed is checked first", ["--N", "0", "--seed", "-5"], SEED_MESSAGE),
    ("missing N", [*RING, "--outpath", "out.xml"], NO_N_MESSAGE),
    ("missing N is checked before graph", ["--seed", "4"], NO_N_MESSAGE),
    ("N 0", [*RING, "--N", "0", "--outpath", "out.xml"], N_MESSAGE),
    ("N -10", [*RING, "--N", "-10"], N_MESSAGE),
    ("N 0 is checked before graph", ["--N", "0"], N_MESSAGE),
    ("missing graph", ["--N", "100", "--outpath", "out.xml"], NO_GRAPH_MESSAGE),
]:
    add(Case("command_line", name, args, 1, output))

# Instance files that cannot be opened, and files the reader refuses. No case writes a
# result file, and an existing one stays as it was.
OLD_RESULTS = "<old results that must survive>\n" * 3
add(
    Case("instance_file", "missing instance file",
         ["--graph", "{tmp}/missing.txt", "--N", "10", "--outpath", "out.xml"], 1, CANNOT_OPEN),
    Case("instance_file", "instance path is a directory",
         ["--graph", "{tmp}", "--N", "10", "--outpath", "out.xml"], 1, CANNOT_OPEN),
    Case("instance_file", "missing instance file keeps an existing result file",
         ["--graph", "missing.txt", "--N", "10", "--outpath", "out.xml"], 1, CANNOT_OPEN,
         before={"out.xml": File(OLD_RESULTS)}),
    Case("instance_file", "refused instance keeps an existing result file",
         ["--graph", "g.txt", "--N", "10", "--outpath", "out.xml"], 1,
         "Instance file line 3: SRLGNUM 0 leaves no SRLG to estimate; expected a count of 1 "
         "or more\nError loading file\n",
         before={"g.txt": File("VNUM:2\nENUM:1\nSRLGNUM:0\nE:1:1,2\n"),
                 "out.xml": File(OLD_RESULTS)}),
)
for name, instance, refusal in [
    ("empty file", "", "Instance file: no VNUM line; expected a line such as VNUM:4"),
    ("missing VNUM", "ENUM:1\nSRLGNUM:1\nE:1:1,2\nSRLG:1:1\n",
     "Instance file: no VNUM line; expected a line such as VNUM:4"),
    ("missing ENUM", "VNUM:2\nSRLGNUM:1\nE:1:1,2\nSRLG:1:1\n",
     "Instance file: no ENUM line; expected a line such as ENUM:4"),
    ("missing SRLGNUM", "# comment\nVNUM:2\nENUM:1\nE:1:1,2\nSRLG:1:1\n",
     "Instance file: no SRLGNUM line; expected a line such as SRLGNUM:3"),
    ("negative VNUM", "VNUM:-3\nENUM:1\nSRLGNUM:1\nSRLG:1:1\n",
     "Instance file line 1: VNUM -3 is negative; expected a count of 0 or more"),
    ("negative ENUM", "VNUM:2\nENUM:-5\nSRLGNUM:1\nE:1:1,2\nSRLG:1:1\n",
     "Instance file line 2: ENUM -5 is negative; expected a count of 0 or more"),
    ("negative SRLGNUM", "VNUM:2\nENUM:1\nSRLGNUM:-1\nE:1:1,2\nSRLG:1:1\n",
     "Instance file line 3: SRLGNUM -1 is negative; expected a count of 0 or more"),
    ("SRLGNUM 0", "VNUM:2\nENUM:1\nSRLGNUM:0\nE:1:1,2\n",
     "Instance file line 3: SRLGNUM 0 leaves no SRLG to estimate; expected a count of 1 or more"),
    ("the last count line is the one checked", "VNUM:2\nENUM:1\nSRLGNUM:1\nE:1:1,2\nSRLGNUM:0\n",
     "Instance file line 5: SRLGNUM 0 leaves no SRLG to estimate; expected a count of 1 or more"),
    ("E line without ends", "VNUM:2\nENUM:1\nSRLGNUM:1\nE:1\nSRLG:1:1\n",
     'Instance file line 4: E line "E:1" has no end vertices; expected a line such as E:1:1,2'),
    ("E line without a comma", "VNUM:2\nENUM:1\nSRLGNUM:1\nE:1:12\nSRLG:1:1\n",
     'Instance file line 4: E line "E:1:12" has no "," between its end vertices; expected a '
     "line such as E:1:1,2"),
    ("SRLG line without members", "VNUM:2\nENUM:1\nSRLGNUM:1\nE:1:1,2\nSRLG:1\n",
     'Instance file line 5: SRLG line "SRLG:1" has no member list; expected a line such as '
     "SRLG:1:1,2"),
    ("end vertex above VNUM", "VNUM:2\nENUM:1\nSRLGNUM:1\nE:1:1,3\nSRLG:1:1\n",
     "Instance file line 4: end vertex 3 of edge 1 is outside 1..2"),
    ("end vertex 0", "VNUM:2\nENUM:2\nSRLGNUM:1\nE:1:1,2\nE:2:0,2\nSRLG:1:1\n",
     "Instance file line 5: end vertex 0 of edge 2 is outside 1..2"),
    ("SRLGNUM beyond 32 bits", "VNUM:2\nENUM:1\nSRLGNUM:3000000000\nE:1:1,2\nSRLG:1:1\n",
     'Instance file line 3: SRLGNUM "3000000000" is not a 32-bit signed integer; expected a '
     "number from -2147483648 to 2147483647"),
    ("SRLG member beyond 32 bits", "VNUM:2\nENUM:1\nSRLGNUM:1\nE:1:1,2\nSRLG:1:1,1e10\n",
     'Instance file line 5: SRLG member "1e10" is not a 32-bit signed integer; expected a '
     "number from -2147483648 to 2147483647"),
]:
    add(Case("instance_file", f"refused: {name}",
             ["--graph", "g.txt", "--N", "10", "--seed", "1", "--outpath", "out.xml"], 1,
             f"{refusal}\nError loading file\n", before={"g.txt": File(instance)}))

# The XML result file: replaced whole on success; when it cannot be written the full
# report comes first, then one line, exit 1, and whatever was at the path survives.
RUN_TO = [*RING, "--N", "10", "--seed", "1", "--outpath"]
LONG_NAME = "r" * 246 + ".xml"  # 250 characters, within the usual 255-byte limit
add(
    Case("xml_output", "an existing longer file is replaced whole, its mode kept",
         [*RUN_TO, "out.xml"], 0, RING_REPORT,
         before={"out.xml": File("x" * 5000, mode=0o640)},
         written={"out.xml": Xml(RING_XML, mode=0o640)}),
    Case("xml_output", "a symbolic link stays a link; its target is replaced",
         [*RUN_TO, "link.xml"], 0, RING_REPORT,
         before={"real.xml": File(OLD_RESULTS), "link.xml": Link("real.xml")},
         written={"real.xml": Xml(RING_XML)}),
    Case("xml_output", "a dangling symbolic link: the file it names is created",
         [*RUN_TO, "link.xml"], 0, RING_REPORT,
         before={"link.xml": Link("real.xml")}, written={"real.xml": Xml(RING_XML)}),
    Case("xml_output", "a file name of 250 characters",
         [*RUN_TO, LONG_NAME], 0, RING_REPORT, written={LONG_NAME: Xml(RING_XML)}),
    Case("xml_output", "missing directory",
         [*RUN_TO, "{tmp}/missing/out.xml"], 1,
         RING_REPORT + "Error writing output file {tmp}/missing/out.xml: No such file or directory\n"),
    Case("xml_output", "outpath is a directory, which keeps its content",
         [*RUN_TO, "out.xml"], 1,
         RING_REPORT + "Error writing output file out.xml: Is a directory\n",
         before={"out.xml": Dir(), "out.xml/inside.txt": File(OLD_RESULTS)}),
    Case("xml_output", "full device",
         [*RUN_TO, "/dev/full"], 1,
         RING_REPORT + "Error writing output file /dev/full: No space left on device\n"),
    Case("xml_output", "empty outpath",
         [*RUN_TO, ""], 1, RING_REPORT + "Error writing output file : No such file or directory\n"),
    Case("xml_output", "a write that fails part way keeps the existing file whole",
         [*RUN_TO, "out.xml"], 1, RING_REPORT + "Error writing output file out.xml: File too large\n",
         before={"out.xml": File(OLD_RESULTS)}, file_size_limit=100),
    Case("xml_output", "a new file that fails part way leaves nothing behind",
         [*RUN_TO, "{tmp}/out.xml"], 1,
         RING_REPORT + "Error writing output file {tmp}/out.xml: File too large\n",
         file_size_limit=100),
    Case("xml_output", "read-only directory keeps the existing file",
         [*RUN_TO, "ro/out.xml"], 1,
         RING_REPORT + "Error writing output file ro/out.xml: Permission denied\n",
         before={"ro/out.xml": File(OLD_RESULTS), "ro": Dir(mode=0o555)}, skip_as_root=True),
    Case("xml_output", "read-only existing file is kept",
         [*RUN_TO, "out.xml"], 1,
         RING_REPORT + "Error writing output file out.xml: Permission denied\n",
         before={"out.xml": File(OLD_RESULTS, mode=0o444)}, skip_as_root=True),
)

# Result tables too large for the machine are refused before anything is estimated.
add(
    Case("memory", "huge SRLGNUM",
         ["--graph", "{data}/huge_srlgnum.txt", "--N", "10", "--seed", "1"], 1,
         re.compile(f"Not enough memory: 2000000000 SRLGs need {SIZE} for the result tables, "
                    f"more than the {SIZE} of this machine\n")),
    Case("memory", "huge SRLGNUM with outpath keeps an existing result file",
         ["--graph", "{data}/huge_srlgnum.txt", "--N", "10", "--outpath", "out.xml"], 1,
         re.compile(f"Not enough memory: 2000000000 SRLGs need {SIZE} for the result tables, "
                    f"more than the {SIZE} of this machine\n"),
         before={"out.xml": File(OLD_RESULTS)}),
)

# ---------------------------------------------------------------------------------------
# Running one case


@dataclasses.dataclass
class Run:
    tmp: str  # the directory the run had; removed by now
    exit_code: Optional[int]  # None when the run was killed for taking too long
    stdout: str
    stderr: str
    tree: dict[str, tuple]


def substitute(text: str, tmp: str, data: str) -> str:
    return text.replace("{tmp}", tmp).replace("{data}", data)


def make_tree(root: str, entries: dict[str, Entry]) -> None:
    for path in sorted(entries, key=lambda p: p.count("/")):
        full = os.path.join(root, path)
        entry = entries[path]
        if isinstance(entry, Dir):
            os.makedirs(full, exist_ok=True)
        elif isinstance(entry, Link):
            os.symlink(entry.target, full)
        else:
            with open(full, "wb") as f:
                f.write(entry.data())
    # Modes last, deepest first, so that a read-only directory is filled before it closes.
    for path in sorted(entries, key=lambda p: -p.count("/")):
        entry = entries[path]
        if isinstance(entry, (File, Dir)) and entry.mode is not None:
            os.chmod(os.path.join(root, path), entry.mode)


def snapshot(root: str) -> dict[str, tuple]:
    """Every entry under root: ('dir', mode), ('link', target) or ('file', mode, bytes)."""
    tree: dict[str, tuple] = {}
    for directory, dirs, files in os.walk(root):
        for name in dirs + files:
            full = os.path.join(directory, name)
            path = os.path.relpath(full, root)
            info = os.lstat(full)
            if stat.S_ISLNK(info.st_mode):
                tree[path] = ("link", os.readlink(full))
            elif stat.S_ISDIR(info.st_mode):
                tree[path] = ("dir", stat.S_IMODE(info.st_mode))
            else:
                with open(full, "rb") as f:
                    tree[path] = ("file", stat.S_IMODE(info.st_mode), f.read())
    return tree


def release(root: str) -> None:
    for directory, dirs, _ in os.walk(root):
        for name in dirs:
            full = os.path.join(directory, name)
            if not os.path.islink(full):
                os.chmod(full, 0o700)
    shutil.rmtree(root)


def execute(varnak: str, data: str, args: list[str], before: dict[str, Entry],
            file_size_limit: Optional[int] = None) -> Run:
    tmp = tempfile.mkdtemp(prefix="varnak-e2e-")
    try:
        make_tree(tmp, before)
        done = run_varnak([varnak, *(substitute(a, tmp, data) for a in args)],
                          timeout=TIMEOUT_SECONDS, cwd=tmp, through_pipes=True,
                          preexec_fn=(limit_file_size(file_size_limit)
                                      if file_size_limit is not None else None))
        return Run(tmp, done.exit_code, done.stdout.decode("utf-8", "backslashreplace"),
                   done.stderr.decode("utf-8", "backslashreplace"), snapshot(tmp))
    finally:
        release(tmp)


# ---------------------------------------------------------------------------------------
# Checking


def mask_console(text: str) -> tuple[str, Optional[str]]:
    """Masks the line after "time_seconds:"; returns the masked text and the time text."""
    lines = text.split("\n")
    for i in range(len(lines) - 1):
        if lines[i] == "time_seconds:":
            time_text = lines[i + 1]
            lines[i + 1] = TIME
            return "\n".join(lines), time_text
    return text, None


XML_TIME = re.compile(r"<time_seconds>([^<]*)</time_seconds>")


def mask_xml(text: str) -> tuple[str, Optional[str]]:
    match = XML_TIME.search(text)
    if match is None:
        return text, None
    return text[:match.start(1)] + TIME + text[match.end(1):], match.group(1)


def diff(expected: str, actual: str) -> str:
    return "\n".join(difflib.unified_diff(expected.splitlines(), actual.splitlines(),
                                          "expected", "actual", lineterm=""))


def check_console_time(time_text: str) -> list[str]:
    """The console writes the seconds as %g does: six significant digits."""
    try:
        value = float(time_text)
    except ValueError:
        return [f"console time {time_text!r} is no number"]
    if value < 0 or time_text != "%g" % value:
        return [f"console time {time_text!r} is not a %g form of a time of 0 or more"]
    return []


def check_xml_time(xml_time: str, console_time: Optional[str]) -> list[str]:
    """The file writes the same double with 17 significant digits."""
    try:
        value = float(xml_time)
    except ValueError:
        return [f"XML time {xml_time!r} is no number"]
    problems = []
    if value < 0 or xml_time != "%.17g" % value:
        problems.append(f"XML time {xml_time!r} is not a %.17g form of a time of 0 or more")
    if console_time is None:
        problems.append("the console shows no time beside the XML file's")
    elif float(console_time) != float("%.6g" % value) or console_time != "%g" % value:
        problems.append(f"console time {console_time} and XML time {xml_time} differ")
    return problems


def expected_tree(case: Case) -> dict[str, Entry]:
    expected = dict(case.before)
    expected.update(case.written)
    return expected


def compare_tree(expected: dict[str, Entry], actual: dict[str, tuple],
                 console_time: Optional[str]) -> list[str]:
    problems = []
    for path in sorted(set(actual) - set(expected)):
        problems.append(f"unexpected {actual[path][0]} {path!r} left in the directory")
    for path in sorted(expected):
        entry = expected[path]
        found = actual.get(path)
        if found is None:
            problems.append(f"{path!r} is missing")
            continue
        if isinstance(entry, Link):
            if found != ("link", entry.target):
                problems.append(f"{path!r} should be a link to {entry.target!r}, is {found[:2]}")
            continue
        if isinstance(entry, Dir):
            if found[0] != "dir" or (entry.mode is not None and found[1] != entry.mode):
                problems.append(f"{path!r} should be a directory, is {found[:2]}")
            continue
        if found[0] != "file":
            problems.append(f"{path!r} should be a file, is {found[:2]}")
            continue
        _, mode, content = found
        if entry.mode is not None and mode != entry.mode:
            problems.append(f"{path!r} has mode {mode:o}, expected {entry.mode:o}")
        if isinstance(entry, File):
            if content != entry.data():
                problems.append(f"{path!r} changed: {content[:120]!r}")
            continue
        text = content.decode("utf-8", "backslashreplace")
        masked, xml_time = mask_xml(text)
        if masked != entry.text:
            problems.append(f"{path!r} differs from the expected XML:\n{diff(entry.text, masked)}")
        if xml_time is not None:
            problems += check_xml_time(xml_time, console_time)
    return problems


def check_case(case: Case, run: Run, data: str) -> list[str]:
    problems = []
    if run.exit_code != case.exit_code:
        problems.append(f"exit code {run.exit_code}, expected {case.exit_code}")
    if run.stderr:
        problems.append(f"standard error is not empty: {run.stderr!r}")
    masked, console_time = mask_console(run.stdout)
    if isinstance(case.stdout, re.Pattern):
        if case.stdout.fullmatch(run.stdout) is None:
            problems.append(f"output {run.stdout!r} does not match {case.stdout.pattern!r}")
    else:
        expected = substitute(case.stdout, run.tmp, data)
        if masked != expected:
            problems.append(f"console output differs:\n{diff(expected, masked)}")
    if console_time is not None:
        problems += check_console_time(console_time)
    problems += compare_tree(expected_tree(case), run.tree, console_time)
    return problems


# ---------------------------------------------------------------------------------------
# Properties across runs: reproducibility, and the exact structure of the ring's estimates.

# The ring's results hold for every sample of orders: nothing is connected at position 0
# and everything at position 2; at position 1 the ring is connected exactly when SRLG 2 is
# one of the two up (with SRLG 1 or with SRLG 3), so SRLG 2's row equals the spectrum and
# the rows of SRLGs 1 and 3 add up to it. Every estimate is k additions of 1/N.
RING_SAMPLES = [
    ("seed 0", ["--N", "1000", "--seed", "0"]),
    ("no seed", ["--N", "1000"]),
    ("no seed, N 7, outpath", ["--N", "7", "--outpath", "out.xml"]),
    ("seed 7, N 3, outpath", ["--N", "3", "--seed", "7", "--outpath", "out.xml"]),
    ("seed 42, N 99991", ["--N", "99991", "--seed", "42"]),
]

# Runs that must give the same report (and file), or a different one.
SEED_PAIRS = [
    ("same seed twice", ["--N", "1000", "--seed", "42", "--outpath", "out.xml"],
     ["--N", "1000", "--seed", "42", "--outpath", "out.xml"], True),
    ("same seed, with and without outpath", ["--N", "500", "--seed", "2147483647"],
     ["--N", "500", "--seed", "2147483647", "--outpath", "out.xml"], True),
    ("seeds 42 and 43 differ", ["--N", "1000", "--seed", "42"],
     ["--N", "1000", "--seed", "43"], False),
]


def repeated_sum(k: int, n: int) -> float:
    total = 0.0
    for _ in range(k):
        total += 1.0 / n
    return total


def ring_counts(texts: list[list[str]], n: int, form: str) -> tuple[list[list[int]], list[str]]:
    counts, problems = [], []
    for row in texts:
        row_counts = []
        for text in row:
            k = round(float(text) * n)
            if not 0 <= k <= n or text != form % repeated_sum(k, n):
                problems.append(f"{text!r} is not {form} of a count of 1/{n} additions")
            row_counts.append(k)
        counts.append(row_counts)
    return counts, problems


def check_ring_counts(counts: list[list[int]], n: int) -> list[str]:
    spectrum, first, second, third = counts
    problems = []
    if any(len(row) != 3 for row in counts):
        return [f"rows {counts} do not hold three values each"]
    for label, row in zip(["spectrum", "SRLG 1", "SRLG 2", "SRLG 3"], counts):
        if row[0] != 0 or row[2] != n:
            problems.append(f"{label} row {row} should start at 0 and end at {n}")
    if second[1] != spectrum[1] or first[1] + third[1] != spectrum[1]:
        problems.append(f"position 1 counts {[r[1] for r in counts]} break the ring's structure")
    return problems


def sample_ring(varnak: str, data: str, args: list[str]) -> tuple[Run, list[str]]:
    run = execute(varnak, data, [*RING, *args], {})
    problems = []
    if run.exit_code != 0 or run.stderr:
        problems.append(f"exit code {run.exit_code}, standard error {run.stderr!r}")
    lines = run.stdout.split("\n")
    if (len(lines) != 9 or lines[0] != "Spectra:" or lines[2] != "BIMSpectra:"
            or lines[6] != "time_seconds:" or lines[8] != ""):
        return run, problems + [f"not a report of three SRLGs:\n{run.stdout}"]
    problems += check_console_time(lines[7])
    n = int(args[args.index("--N") + 1])
    console_rows = [line.split(",") for line in lines[1:2] + lines[3:6]]
    counts, found = ring_counts(console_rows, n, "%g")
    problems += found + check_ring_counts(counts, n)
    if "--outpath" in args:
        file = run.tree.get("out.xml")
        if file is None or file[0] != "file":
            return run, problems + ["no result file"]
        text = file[2].decode()
        masked, xml_time = mask_xml(text)
        xml_rows = re.findall(r"<(?:spectra|bimspectra id=\"\d\")>([^<]*)<", masked)
        xml_counts, found = ring_counts([row.split(",") for row in xml_rows], n, "%f")
        problems += found
        if xml_counts != counts:
            problems.append(f"XML counts {xml_counts} differ from the console's {counts}")
        if masked != xml_document(3, xml_rows[0], xml_rows[1:]):
            problems.append(f"result file is not the expected document:\n{text}")
        problems += check_xml_time(xml_time or "", lines[7])
    return run, problems


def masked_results(run: Run) -> tuple[str, Optional[str]]:
    xml = run.tree.get("out.xml")
    return mask_console(run.stdout)[0], mask_xml(xml[2].decode())[0] if xml else None


# ---------------------------------------------------------------------------------------


def property_checks() -> list[tuple[str, str, Callable[[str, str], list[str]]]]:
    checks = []
    for name, args in RING_SAMPLES:
        checks.append(("seeds", f"ring estimates, {name}",
                       lambda varnak, data, args=args: sample_ring(varnak, data, args)[1]))

    def pair(varnak: str, data: str, first: list[str], second: list[str], same: bool) -> list[str]:
        run_a, problems_a = sample_ring(varnak, data, first)
        run_b, problems_b = sample_ring(varnak, data, second)
        problems = problems_a + problems_b
        console_a, xml_a = masked_results(run_a)
        console_b, xml_b = masked_results(run_b)
        if same and console_a != console_b:
            problems.append(f"reports differ:\n{diff(console_a, console_b)}")
        if same and xml_a is not None and xml_b is not None and xml_a != xml_b:
            problems.append(f"result files differ:\n{diff(xml_a, xml_b)}")
        if not same and console_a == console_b:
            problems.append(f"reports are the same:\n{console_a}")
        return problems

    for name, first, second, same in SEED_PAIRS:
        checks.append(("seeds", name, lambda varnak, data, f=first, s=second, same=same:
                       pair(varnak, data, f, s, same)))
    return checks


def all_groups() -> list[str]:
    groups = [case.group for case in CASES] + [group for group, _, _ in property_checks()]
    return list(dict.fromkeys(groups))


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("varnak", nargs="?", help="the Varnak executable")
    parser.add_argument("data", nargs="?", help="the directory of the fixture instance files")
    parser.add_argument("--group", action="append", help="run only this group (repeatable)")
    parser.add_argument("--list-groups", action="store_true", help="print the group names")
    options = parser.parse_args()
    if options.list_groups:
        print(";".join(all_groups()))
        return 0
    if options.varnak is None or options.data is None:
        parser.error("VARNAK and DATA_DIR are required")
    varnak = os.path.abspath(options.varnak)
    data = os.path.abspath(options.data)
    groups = options.group or all_groups()
    unknown = set(groups) - set(all_groups())
    if unknown:
        parser.error(f"unknown group(s): {', '.join(sorted(unknown))}")

    failures = ran = 0
    for case in (c for c in CASES if c.group in groups):
        label = f"[{case.group}] {case.name}"
        if case.skip_as_root and IS_ROOT:
            print(f"SKIP  {label}: root may write anyway")
            continue
        run = execute(varnak, data, case.args, case.before, case.file_size_limit)
        problems = check_case(case, run, data)
        ran += 1
        if problems:
            failures += 1
            print(f"FAIL  {label}: {' '.join(case.args)}")
            for problem in problems:
                print("      " + problem.replace("\n", "\n      "))
            print("      --- output ---\n" + run.stdout)
        else:
            print(f"ok    {label}")
    for group, name, check in property_checks():
        if group not in groups:
            continue
        ran += 1
        problems = check(varnak, data)
        if problems:
            failures += 1
            print(f"FAIL  [{group}] {name}")
            for problem in problems:
                print("      " + problem.replace("\n", "\n      "))
        else:
            print(f"ok    [{group}] {name}")
    print(f"{ran} case(s) run, {failures} failed")
    return 1 if failures or ran == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
