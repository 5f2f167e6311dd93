#!/usr/bin/env python3
"""Hostile instance and result files through the real Varnak and varnak-tools executables.

Every case makes its file at run time in a temporary directory, runs Varnak on it with ten
samples of seed 1, and states the outcome: the exit code and either the exact lines of a
refusal or the exact report of a correct run. Each run must end within the time limit, say
nothing on standard error and, where a case bounds it, stay within its memory.

The varnak-tools cases give instance files to each command and XML files to
`reliability --xml`: each states the exit code and the one line of refusal on standard
error, or that results came out, and bounds the run's time and peak memory.

    run_hostile_inputs.py <path of the Varnak executable> [<path of varnak-tools>]
"""

import hashlib
import math
import os
import shutil
import sys
import tempfile
from dataclasses import dataclass, field
from typing import Callable, List, Optional, Tuple

# The helper module, shared with the end-to-end tests, is imported from the source tree,
# which is to stay clean.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

from varnak_runs import (NO_VNUM, NO_VNUM_BYTE_ORDER_MARK, NO_VNUM_CARRIAGE_RETURNS, RING, RING_ARGS, RING_REPORT, RING_WITH_COMMENT, RING_XML,
                         TIME, ZERO_REPORT, Expected, Table, check_run, memory_refusal,
                         physical_memory_bytes, run_varnak, xml_complaints)

MB = 1024 * 1024
# A run that must not allocate anything large stays below this (sanitizer builds included).
SMALL_RUN_MIB = 256
# One that holds a 50 MB line, and no more than a few copies of it.
LINE_RUN_MIB = 512


def garbage(size: int, without: bytes = b"") -> bytes:
    """`size` bytes of every value, the same on every machine, minus the bytes `without`."""
    out = bytearray()
    counter = 0
    while len(out) < size:
        block = hashlib.sha256(b"varnak garbage %d" % counter).digest()
        out += bytes(b for b in block if b not in without)
        counter += 1
    return bytes(out[:size])


def ring_plus(*lines: str) -> bytes:
    """The ring and more lines after it, from line 11 on."""
    return (RING + "".join(line + "\n" for line in lines)).encode()


def ring_with(old: str, new: str) -> bytes:
    assert old in RING
    return RING.replace(old, new, 1).encode()


def not_32_bit(line: int, what: str, text: str) -> str:
    return ('Instance file line %d: %s "%s" is not a 32-bit signed integer; expected a number '
            "from -2147483648 to 2147483647" % (line, what, text))


def refused(line: str) -> List[Expected]:
    return [line, "Error loading file"]


@dataclass
class Case:
    name: str
    instance: Callable[[], bytes]  # made only when the case runs
    exit_code: int
    lines: List[Expected]
    xml: Optional[str] = None  # when set, the run also writes the XML file, which must match
    max_rss_mib: Optional[float] = None
    args: List[str] = field(default_factory=lambda: list(RING_ARGS))


def cases() -> List[Case]:
    memory = physical_memory_bytes()
    # An SRLG count whose counts alone, n * n of 4 bytes, exceed this machine by a tenth, so
    # that the sizes in the message differ at their one decimal.
    too_many_srlgs = math.isqrt(memory * 11 // 40) + 1
    return [
        Case("the ring with LF line ends, the reference of the cases below",
             lambda: RING_WITH_COMMENT.encode(), 0, RING_REPORT, xml=RING_XML),
        Case("CRLF line ends: the same report and XML file as with LF",
             lambda: RING_WITH_COMMENT.replace("\n", "\r\n").encode(), 0, RING_REPORT,
             xml=RING_XML),
        Case("CR-only line ends: one line, which starts with '#', so no count line is read",
             lambda: RING_WITH_COMMENT.replace("\n", "\r").encode(), 1,
             NO_VNUM_CARRIAGE_RETURNS),
        Case("a byte-order mark before the comment line: the comment is still ignored",
             lambda: b"\xef\xbb\xbf" + RING_WITH_COMMENT.encode(), 0, RING_REPORT),
        Case("a byte-order mark before VNUM: that line is no VNUM line",
             lambda: b"\xef\xbb\xbf" + RING.encode(), 1, NO_VNUM_BYTE_ORDER_MARK),
        Case("a NUL byte at the end of every line: numbers end before it",
             lambda: RING.replace("\n", "\0\n").encode(), 0, RING_REPORT),
        Case("a NUL byte inside the VNUM keyword",
             lambda: ring_with("VNUM:4", "VN\0UM:4"), 1, NO_VNUM),
        Case("1 MiB of NUL bytes", lambda: b"\0" * MB, 1, NO_VNUM),
        Case("1 MiB of binary garbage", lambda: garbage(MB), 1, NO_VNUM),
        Case("binary garbage lines (every byte but ':') before and after the ring",
             lambda: garbage(MB, without=b":") + b"\n" + RING.encode() + garbage(MB, b":"),
             0, RING_REPORT),
        Case("a 50 MB comment line before the ring",
             lambda: b"#" + b"x" * (50 * MB) + b"\n" + RING.encode(), 0, RING_REPORT),
        Case("a 50 MB line that is no keyword line",
             lambda: ring_plus("XYZ:" + "y" * (50 * MB)), 0, RING_REPORT),
        Case("50 MB of spaces after the VNUM number",
             lambda: ring_with("VNUM:4", "VNUM:4" + " " * (50 * MB)), 0, RING_REPORT),
        Case("a 50 MB number: refused, and the message quotes only its start",
             lambda: ring_with("VNUM:4", "VNUM:" + "9" * (50 * MB)), 1,
             refused(not_32_bit(1, "VNUM", "9" * 60 + "..."))),
        Case("a line of five million ':' (five million empty fields)",
             lambda: ring_plus("X" + ":" * (5 * MB)), 0, RING_REPORT),
        Case("a member list of a million entries, all edge 1",
             lambda: ring_with("SRLG:1:1,", "SRLG:1:" + "1," * 1000000), 0, RING_REPORT),
        Case("a member list of a million distinct edges that have no E line",
             lambda: ring_with("SRLG:1:1,", "SRLG:1:1," +
                               ",".join(str(edge) for edge in range(5, 1000005))),
             0, RING_REPORT),
        Case("200,000 repeated SRLG lines: the last list counts, once",
             lambda: (RING + "SRLG:1:1,\n" * 200000).encode(), 0, RING_REPORT),
        Case("200,000 SRLG lines with ids beyond SRLGNUM and no members",
             lambda: (RING + "".join("SRLG:%d:\n" % srlg for srlg in range(4, 200004)))
             .encode(), 0, RING_REPORT),
        # SRLG 1 now also brings up edges 2^31-1 = (1,3) and -2^31 = (2,4), which with the
        # free edge 4 connect everything: UP from position 0 whenever SRLG 1 is first (4 of
        # the 10 orders), and from position 1 always.
        # Ten samples, all connected from position 0: ten additions of 0.1 print as 1.
        Case("a path of 200,000 vertices whose edges all lie in the one SRLG",
             lambda: ("VNUM:200000\nENUM:199999\nSRLGNUM:1\n" +
                      "".join("E:%d:%d,%d\n" % (v, v, v + 1) for v in range(1, 200000)) +
                      "SRLG:1:" + ",".join(str(e) for e in range(1, 200000)) + "\n").encode(),
             0, ["Spectra:", "1", "BIMSpectra:", "1", "time_seconds:", TIME]),
        Case("edge ids 2^31-1 and -2^31 as members of SRLG 1",
             lambda: ring_plus("E:2147483647:1,3", "E:-2147483648:2,4",
                               "SRLG:1:1,2147483647,-2147483648"),
             0, ["Spectra:", "0.4,1,1", "BIMSpectra:", "0.4,0.8,1", "0,0.8,1", "0,0.4,1",
                 "time_seconds:", TIME]),
        # SRLG 2^31-1 never comes up, so neither do edges 1 and 2: vertex 2 stays cut off.
        Case("SRLG id 2^31-1 naming edges 1 and 2",
             lambda: ring_plus("SRLG:2147483647:1,2"), 0, ZERO_REPORT),
        # Edge 4 is no longer free and never comes up: the path 1-2-3-4 needs all SRLGs.
        Case("SRLG id -2^31 naming the free edge 4",
             lambda: ring_plus("SRLG:-2147483648:4"), 0,
             ["Spectra:", "0,0,1", "BIMSpectra:", "0,0,1", "0,0,1", "0,0,1",
              "time_seconds:", TIME]),
        Case("end vertex -2^31",
             lambda: ring_plus("E:5:-2147483648,1"), 1,
             refused("Instance file line 11: end vertex -2147483648 of edge 5 is outside 1..4")),
        Case("end vertex 2^31-1",
             lambda: ring_plus("E:5:1,2147483647"), 1,
             refused("Instance file line 11: end vertex 2147483647 of edge 5 is outside 1..4")),
        Case("edge id 2^31", lambda: ring_plus("E:2147483648:1,2"), 1,
             refused(not_32_bit(11, "edge id", "2147483648"))),
        Case("member -2^31-1", lambda: ring_plus("SRLG:1:1,-2147483649"), 1,
             refused(not_32_bit(11, "SRLG member", "-2147483649"))),
        Case("member nan", lambda: ring_plus("SRLG:1:1,nan"), 1,
             refused(not_32_bit(11, "SRLG member", "nan"))),
        Case("SRLG id inf", lambda: ring_plus("SRLG:inf:1,"), 1,
             refused(not_32_bit(11, "SRLG id", "inf"))),
        Case("member 1e400", lambda: ring_plus("SRLG:1:1e400,"), 1,
             refused(not_32_bit(11, "SRLG member", "1e400"))),
        Case("VNUM 2^31-1 with four edges: never connected, all zero, nothing allocated",
             lambda: ring_with("VNUM:4", "VNUM:2147483647"), 0, ZERO_REPORT,
             max_rss_mib=SMALL_RUN_MIB),
        Case("VNUM 2^31", lambda: ring_with("VNUM:4", "VNUM:2147483648"), 1,
             refused(not_32_bit(1, "VNUM", "2147483648"))),
        Case("ENUM 2^31-1 with four edges: the ring's own results, tables sized by the ids used",
             lambda: ring_with("ENUM:4", "ENUM:2147483647"), 0, RING_REPORT,
             max_rss_mib=SMALL_RUN_MIB),
        Case("ENUM -2^31", lambda: ring_with("ENUM:4", "ENUM:-2147483648"), 1,
             refused("Instance file line 2: ENUM -2147483648 is negative; expected a count of 0 "
                     "or more")),
        Case("SRLGNUM 2^31-1: refused before the result tables are allocated",
             lambda: ring_with("SRLGNUM:3", "SRLGNUM:2147483647"), 1,
             [memory_refusal("Not enough memory: 2147483647 SRLGs", "for the result tables",
                             4.0 * 2147483647 ** 2)],
             max_rss_mib=SMALL_RUN_MIB),
        Case("SRLGNUM %d, whose result tables alone exceed this machine's memory" %
             too_many_srlgs,
             lambda: ring_with("SRLGNUM:3", "SRLGNUM:%d" % too_many_srlgs), 1,
             [memory_refusal("Not enough memory: %d SRLGs" % too_many_srlgs,
                             "for the result tables", 4.0 * too_many_srlgs ** 2)],
             max_rss_mib=SMALL_RUN_MIB),
        Case("SRLGNUM 0", lambda: ring_with("SRLGNUM:3", "SRLGNUM:0"), 1,
             refused("Instance file line 3: SRLGNUM 0 leaves no SRLG to estimate; expected a "
                     "count of 1 or more")),
        Case("an empty file", lambda: b"", 1, NO_VNUM),
    ]


def run_case(varnak: str, directory: str, case: Case) -> Tuple[List[str], float]:
    instance_path = os.path.join(directory, "instance.txt")
    with open(instance_path, "wb") as file:
        file.write(case.instance())
    command = [varnak, "--graph", instance_path] + case.args
    xml_path = os.path.join(directory, "result.xml")
    if case.xml is not None:
        command += ["--outpath", xml_path]
    try:
        run = run_varnak(command)
        complaints = check_run(run, case.exit_code, case.lines, case.max_rss_mib)
        if case.xml is not None and not complaints:
            with open(xml_path, "rb") as file:
                xml = file.read()
            seconds_line = run.stdout.split(b"\n")[-2]
            complaints += xml_complaints(xml, case.xml, seconds_line)
        return complaints, run.seconds
    finally:
        for path in (instance_path, xml_path):
            if os.path.exists(path):
                os.remove(path)


# ---------------------------------------------------------------------------------------
# varnak-tools: every command on hostile instance files, and reliability on hostile XML.

# Every tools case ends within this, the ones that read 50 MB included (sanitizers too).
TOOLS_SECONDS = 30


@dataclass
class ToolsCase:
    name: str
    args: List[str]  # "{file}" is replaced by the file's path, "{ring}" by the ring's
    content: Callable[[], bytes]
    exit_code: int
    message: Optional[str]  # how the one line on standard error begins, "{file}" replaced;
                            # None: results and no message
    max_rss_mib: float = SMALL_RUN_MIB


def ring_xml(old: str = "", new: str = "") -> bytes:
    xml = RING_XML.format(time="0.001")
    assert old in xml
    return xml.replace(old, new, 1).encode()


def ring_of_srlgs(count: int) -> bytes:
    """A ring of `count` vertices whose every edge is an SRLG of its own."""
    lines = ["VNUM:%d" % count, "ENUM:%d" % count, "SRLGNUM:%d" % count]
    lines += ["E:%d:%d,%d" % (i, i, i % count + 1) for i in range(1, count + 1)]
    lines += ["SRLG:%d:%d" % (i, i) for i in range(1, count + 1)]
    return ("\n".join(lines) + "\n").encode()


def tools_cases() -> List[ToolsCase]:
    commands = [["estimate", "--N", "10", "--seed", "1", "--threads", "2"], ["exact"],
                ["reliability", "--exact"], ["reliability", "--N", "10", "--seed", "1"],
                ["cuts", "--max-size", "2"]]
    huge_srlgnum = {"estimate": "2147483647 SRLGs on 2 threads need 65536.0 PiB",
                    "exact": "2147483647 SRLGs need",
                    "reliability --exact": "2147483647 SRLGs need",
                    "reliability --N": "2147483647 SRLGs",
                    "cuts": "the sets of at most 2 of the 2147483647 SRLGs number"}
    made = []
    for command in commands:
        name = " ".join(command[:2 if command[0] == "reliability" else 1])
        args = [command[0], "--graph", "{file}"] + command[1:]
        tool = "varnak-tools " + command[0] + ": "
        made += [
            ToolsCase(name + ": the ring", args, lambda: RING.encode(), 0, None),
            ToolsCase(name + ": 1 MiB of binary garbage", args, lambda: garbage(MB), 1,
                      tool + "{file}: no VNUM line; expected a line such as VNUM:4"),
            ToolsCase(name + ": a 50 MB number, quoted only by its start", args,
                      lambda: ring_with("VNUM:4", "VNUM:" + "9" * (50 * MB)), 1,
                      tool + "{file} line 1: " + not_32_bit(1, "VNUM", "9" * 60 + "...")
                      .split(": ", 1)[1], max_rss_mib=LINE_RUN_MIB),
            ToolsCase(name + ": VNUM 2^31-1, nothing allocated per vertex", args,
                      lambda: ring_with("VNUM:4", "VNUM:2147483647"),
                      *((1, tool + "{file}: the network is not connected even with every SRLG "
                         "up") if name == "cuts" else (0, None))),
            ToolsCase(name + ": ENUM 2^31-1, tables sized by the ids used", args,
                      lambda: ring_with("ENUM:4", "ENUM:2147483647"), 0, None),
        ]
        # Before the mend, reliability built a table per SRLG before any check: a crash at
        # 2^31-1; exact allocated for minutes before it failed.
        if name in huge_srlgnum:
            made.append(ToolsCase(name + ": SRLGNUM 2^31-1, refused before any table per SRLG",
                                  args, lambda: ring_with("SRLGNUM:3", "SRLGNUM:2147483647"),
                                  1, tool + "{file}: " + huge_srlgnum[name]))
    # Before the mend, every thread's buffers were sized for a full block and written in
    # huge pages: 2 MB a thread however few its samples, 2.1 GB for these 1024 threads. Now
    # about 75 MB; the bound leaves room for AddressSanitizer's own memory of each thread
    # (about 0.9 MB), which a sanitized build adds.
    made.append(ToolsCase("estimate: 1024 threads for 1000 samples of 72 SRLGs",
                          ["estimate", "--graph", "{file}", "--N", "1000", "--seed", "1",
                           "--threads", "1024"], lambda: ring_of_srlgs(72), 0, None,
                          max_rss_mib=1536))
    xml_args = ["reliability", "--xml", "{file}", "--rank-at", "0.9"]
    xml_tool = "varnak-tools reliability: {file} line "
    made += [
        ToolsCase("reliability --xml: the ring's results", xml_args, lambda: ring_xml(), 0,
                  None),
        ToolsCase("reliability --xml: 1 MiB of binary garbage", xml_args,
                  lambda: garbage(MB), 1,
                  xml_tool + "1: expected the root element <VARNAK>"),
        ToolsCase("reliability --xml: 50 MB of white space before the root", xml_args,
                  lambda: b" " * (50 * MB) + ring_xml(), 1, xml_tool + "1: "),
        ToolsCase("reliability --xml: a 50 MB comment before SRLGNUM", xml_args,
                  lambda: ring_xml("<SRLGNUM>", "<!--" + "x" * (50 * MB) + "--><SRLGNUM>"),
                  1, xml_tool + "2: "),
        ToolsCase("reliability --xml: a 50 MB spectrum row", xml_args,
                  lambda: ring_xml("<spectra>", "<spectra>" + "0" * (50 * MB)), 1,
                  xml_tool + "2: "),
        ToolsCase("reliability --xml: a million nested elements", xml_args,
                  lambda: ring_xml("<spectras>", "<spectras>" + "<a>" * MB), 1,
                  xml_tool + "2: unexpected element <a>"),
        ToolsCase("reliability --xml: an entity declaration", xml_args,
                  lambda: b'<!DOCTYPE VARNAK [<!ENTITY a "aaaaaaaaaa">]>' + ring_xml(), 1,
                  xml_tool + "1: "),
        ToolsCase("reliability --xml: SRLGNUM 2^31-1, refused before any row", xml_args,
                  lambda: ring_xml("<SRLGNUM>3<", "<SRLGNUM>2147483647<"), 1,
                  xml_tool + "2: <SRLGNUM> 2147483647 needs"),
        ToolsCase("reliability --xml: a NUL byte inside a value", xml_args,
                  lambda: ring_xml("0.800000,1.000000</spectra>",
                                   "0.8\0garbage,1.000000</spectra>"), 1,
                  xml_tool + "2: "),
        ToolsCase("reliability --xml: a value just above 1", xml_args,
                  lambda: ring_xml("0.800000,1.000000</spectra>",
                                   "0.800000,1.0000001</spectra>"), 1, xml_tool + "2: "),
    ]
    report_args = ["reliability", "--results", "{file}", "--rank-at", "0.9"]
    report_tool = "varnak-tools reliability: {file}"
    made += [
        ToolsCase("reliability --results: 1 MiB of binary garbage", report_args,
                  lambda: garbage(MB), 1, report_tool),
        ToolsCase("reliability --results: 50 MB of white space", report_args,
                  lambda: b" " * (50 * MB), 1, report_tool),
        ToolsCase("reliability --results: a 50 MB JSON string", report_args,
                  lambda: b'{"command": "' + b"x" * (50 * MB) + b'"}', 1, report_tool),
        ToolsCase("reliability --results: a million nested arrays", report_args,
                  lambda: b'{"srlg_count": 3, "x": ' + b"[" * MB, 1, report_tool),
        ToolsCase("reliability --results: srlg_count 2^31-1", report_args,
                  lambda: b'{"srlg_count": 2147483647}', 1, report_tool),
        ToolsCase("reliability --results: a CSV line of five million commas", report_args,
                  lambda: b"# srlg_count: 3\n" + b"," * (5 * MB) + b"\n", 1, report_tool),
    ]
    # A probability for each SRLG of the ring, after --srlg-p; the ring is read first.
    p_args = ["reliability", "--graph", "{ring}", "--exact", "--srlg-p", "{file}"]
    p_tool = "varnak-tools reliability: {file}"
    made += [
        ToolsCase("reliability --srlg-p: a probability for each SRLG", p_args,
                  lambda: b"id,p\n1,0.9\n2,0.5\n3,0.99\n", 0, None),
        ToolsCase("reliability --srlg-p: 1 MiB of binary garbage", p_args, lambda: garbage(MB),
                  1, p_tool),
        ToolsCase("reliability --srlg-p: a 50 MB line", p_args,
                  lambda: b"1," + b"0" * (50 * MB) + b"\n", 1, p_tool,
                  max_rss_mib=LINE_RUN_MIB),
        # Before the mend, a line was read whole: /dev/zero filled memory.
        ToolsCase("reliability --srlg-p: /dev/zero, refused at its first line",
                  p_args[:-1] + ["/dev/zero"], lambda: b"", 1,
                  "varnak-tools reliability: /dev/zero line 1: the line is longer than 64 KiB"),
        ToolsCase("reliability --srlg-p: a million lines for SRLG 1", p_args,
                  lambda: b"1,0.5\n" * MB, 1, p_tool),
    ]
    # A terminal file, after --terminals @; the ring is read first.
    t_args = ["estimate", "--graph", "{ring}", "--N", "10", "--seed", "1", "--terminals",
              "@{file}"]
    t_tool = "varnak-tools estimate: {file} line "
    made += [
        ToolsCase("estimate --terminals @FILE: two terminals", t_args, lambda: b"1\n3\n", 0,
                  None),
        ToolsCase("estimate --terminals @FILE: 1 MiB of binary garbage", t_args,
                  lambda: garbage(MB), 1, t_tool),
        ToolsCase("estimate --terminals @FILE: a 50 MB line", t_args,
                  lambda: b"1" * (50 * MB) + b"\n", 1,
                  t_tool + "1: the line is longer than 256 bytes"),
        ToolsCase("estimate --terminals @FILE: /dev/zero, refused at its first line",
                  t_args[:-1] + ["@/dev/zero"], lambda: b"", 1,
                  "varnak-tools estimate: /dev/zero line 1: the line is longer than 256 bytes"),
        ToolsCase("estimate --terminals @FILE: a million lines", t_args,
                  lambda: b"1\n2\n" * (MB // 2), 1, t_tool + "3: terminal 1 is given twice"),
        ToolsCase("estimate --terminals @FILE: id 2^31", t_args, lambda: b"1\n2147483648\n", 1,
                  t_tool + "2: terminal 2147483648 is outside 1..4"),
    ]
    return made


def run_tools_case(tools: str, directory: str, case: ToolsCase) -> Tuple[List[str], float]:
    path = os.path.join(directory, "input")
    ring = os.path.join(directory, "ring.txt")
    with open(path, "wb") as file:
        file.write(case.content())
    with open(ring, "w") as file:
        file.write(RING)
    try:
        run = run_varnak([tools] + [arg.format(file=path, ring=ring) for arg in case.args],
                         timeout=TOOLS_SECONDS)
    finally:
        os.remove(path)
        os.remove(ring)
    if run.exit_code is None:
        return ["killed after %.0f s: a hang" % run.seconds], run.seconds
    complaints = []
    if run.exit_code != case.exit_code:
        complaints.append("exit code %d, expected %d" % (run.exit_code, case.exit_code))
    if case.message is None:
        if run.stderr or not run.stdout:
            complaints.append("expected results and no message; got %r on standard error" %
                              run.stderr[:400])
    else:
        expected = case.message.format(file=path)
        lines = run.stderr.decode("utf-8", "replace").split("\n")
        if len(lines) != 2 or lines[1] or not lines[0].startswith(expected):
            complaints.append("standard error %r; expected one line that begins %r" %
                              (run.stderr[:400], expected))
        if run.stdout:
            complaints.append("a refused run printed results: %r" % run.stdout[:200])
    if run.peak_rss_mib > case.max_rss_mib:
        complaints.append("peak memory %.0f MiB, above the %.0f MiB allowed" %
                          (run.peak_rss_mib, case.max_rss_mib))
    return complaints, run.seconds


def main() -> int:
    if len(sys.argv) not in (2, 3):
        print(__doc__)
        return 2
    varnak = sys.argv[1]
    table = Table("hostile_inputs")
    directory = tempfile.mkdtemp(prefix="varnak-hostile-")
    try:
        for case in cases():
            complaints, seconds = run_case(varnak, directory, case)
            table.record(case.name, complaints, seconds)
        if len(sys.argv) == 3:
            for case in tools_cases():
                complaints, seconds = run_tools_case(sys.argv[2], directory, case)
                table.record("varnak-tools " + case.name, complaints, seconds)
    finally:
        shutil.rmtree(directory, ignore_errors=True)
    return table.finish()


if __name__ == "__main__":
    sys.exit(main())
