#!/usr/bin/env python3
"""Faults around the files of a run, through the real Varnak executable.

Each case prepares the file system (a missing directory, a directory where the output
file should be, a full or read-only file system, a file-size limit, an instance file that
cannot be read), runs Varnak on the four-vertex ring with ten samples of seed 1, and checks
that the report and the exit code tell the truth and that a result file that existed before
is neither lost nor truncated, and that no stray file is left behind.

Cases that need what this machine does not allow (mounting a file system, or a user that
file permissions bind) are skipped.

    run_output_faults.py <path of the Varnak executable>
"""

import os
import shutil
import subprocess
import sys
import tempfile
from dataclasses import dataclass, field
from typing import Callable, List, Optional

# The helper module, shared with the end-to-end tests, is imported from the source tree,
# which is to stay clean.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

from varnak_runs import (CANNOT_OPEN, RING, RING_ARGS, RING_REPORT, RING_XML, Expected,
                         Table, check_run, limit_file_size, memory_refusal, run_varnak,
                         xml_complaints)

# What a result file holds before the run; a failed write must leave exactly this.
PRECIOUS = b"<?xml version=\"1.0\"?>\n<earlier>results of an earlier run</earlier>\n"

# 120 SRLGs that each list the one edge of a two-vertex network: the network is up only
# once all 120 are, so every row ends in 1 and is 0 before. The XML file takes about 130 kB.
BIG_SRLG_COUNT = 120
BIG = "VNUM:2\nENUM:1\nSRLGNUM:%d\nE:1:1,2\n" % BIG_SRLG_COUNT + "".join(
    "SRLG:%d:1,\n" % srlg for srlg in range(1, BIG_SRLG_COUNT + 1))
BIG_ROW = ",".join(["0"] * (BIG_SRLG_COUNT - 1) + ["1"])
BIG_REPORT = ["Spectra:", BIG_ROW, "BIMSpectra:"] + [BIG_ROW] * BIG_SRLG_COUNT + [
    "time_seconds:", RING_REPORT[-1]]


# Between the console report and the XML file of that instance.
FILE_SIZE_LIMIT = 64 * 1024
assert len("\n".join(BIG_REPORT[:-1])) + 64 < FILE_SIZE_LIMIT < BIG_SRLG_COUNT ** 2 * 9


class Skip(Exception):
    """The machine does not allow what the case needs."""


@dataclass
class Place:
    """The scratch directory of one case and what the case made in it."""
    root: str
    mounts: List[str] = field(default_factory=list)

    def path(self, *parts: str) -> str:
        return os.path.join(self.root, *parts)

    def write(self, name: str, content: bytes) -> str:
        path = self.path(name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as file:
            file.write(content)
        return path

    def mount_tmpfs(self, name: str, size: str) -> str:
        directory = self.path(name)
        os.makedirs(directory)
        done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs", directory],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if done.returncode != 0:
            raise Skip("cannot mount a tmpfs here")
        self.mounts.append(directory)
        return directory

    def remount_read_only(self, directory: str):
        done = subprocess.run(["mount", "-o", "remount,ro", directory],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if done.returncode != 0:
            raise Skip("cannot remount the tmpfs read-only")

    def release(self):
        for directory in reversed(self.mounts):
            subprocess.run(["umount", directory], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        # A case may have taken the write permission from a directory; give it back first.
        for directory, _, _ in os.walk(self.root):
            os.chmod(directory, 0o700)
        shutil.rmtree(self.root, ignore_errors=True)


@dataclass
class Setup:
    """What a case's preparation hands to the run and to the checks after it."""
    graph: str
    outpath: Optional[str]
    exit_code: int
    lines: List[Expected]
    preexec_fn: Optional[Callable[[], None]] = None
    xml: Optional[str] = None  # the file at outpath must then be this document
    unchanged: Optional[str] = None  # a file that must still hold PRECIOUS
    watched: Optional[str] = None  # a directory whose entries must not change
    absent: Optional[str] = None  # a path that must still not exist


def write_error(path: str, reason: str) -> str:
    return "Error writing output file %s: %s" % (path, reason)


def fresh_file(place: Place) -> Setup:
    graph = place.write("in/ring.txt", RING.encode())
    out = place.path("out", "result.xml")
    os.makedirs(place.path("out"))
    return Setup(graph, out, 0, RING_REPORT, xml=RING_XML, watched=None)


def replaced_file(place: Place) -> Setup:
    graph = place.write("in/ring.txt", RING.encode())
    out = place.write("out/result.xml", PRECIOUS * 100)  # longer than the new document
    return Setup(graph, out, 0, RING_REPORT, xml=RING_XML)


def missing_directory(place: Place) -> Setup:
    graph = place.write("in/ring.txt", RING.encode())
    out = place.path("missing", "result.xml")
    return Setup(graph, out, 1, RING_REPORT + [write_error(out, "No such file or directory")],
                 absent=place.path("missing"))


def directory_as_output(place: Place) -> Setup:
    graph = place.write("in/ring.txt", RING.encode())
    out = place.path("out")
    os.makedirs(out)
    return Setup(graph, out, 1, RING_REPORT + [write_error(out, "Is a directory")], watched=out)


def full_device(place: Place) -> Setup:
    if not os.path.exists("/dev/full"):
        raise Skip("no /dev/full")
    graph = place.write("in/ring.txt", RING.encode())
    return Setup(graph, "/dev/full", 1,
                 RING_REPORT + [write_error("/dev/full", "No space left on device")])


def full_file_system(place: Place) -> Setup:
    directory = place.mount_tmpfs("small", "64k")
    graph = place.write("in/big.txt", BIG.encode())
    out = os.path.join(directory, "result.xml")
    with open(out, "wb") as file:
        file.write(PRECIOUS)
    return Setup(graph, out, 1, BIG_REPORT + [write_error(out, "No space left on device")],
                 unchanged=out, watched=directory)


def read_only_file_system(place: Place) -> Setup:
    directory = place.mount_tmpfs("frozen", "1m")
    out = os.path.join(directory, "result.xml")
    with open(out, "wb") as file:
        file.write(PRECIOUS)
    place.remount_read_only(directory)
    graph = place.write("in/ring.txt", RING.encode())
    return Setup(graph, out, 1, RING_REPORT + [write_error(out, "Read-only file system")],
                 unchanged=out, watched=directory)


def file_size_limit(place: Place) -> Setup:
    graph = place.write("in/big.txt", BIG.encode())
    out = place.write("out/result.xml", PRECIOUS)
    # The limit holds for the captured console output too, which takes about 30 kB.
    return Setup(graph, out, 1, BIG_REPORT + [write_error(out, "File too large")],
                 preexec_fn=limit_file_size(FILE_SIZE_LIMIT), unchanged=out,
                 watched=place.path("out"))


def needs_permissions(place: Place):
    if os.geteuid() == 0:
        raise Skip("root reads and writes whatever the permissions say")


def read_only_result_file(place: Place) -> Setup:
    needs_permissions(place)
    graph = place.write("in/ring.txt", RING.encode())
    out = place.write("out/result.xml", PRECIOUS)
    os.chmod(out, 0o444)
    return Setup(graph, out, 1, RING_REPORT + [write_error(out, "Permission denied")],
                 unchanged=out, watched=place.path("out"))


def unwritable_directory(place: Place) -> Setup:
    needs_permissions(place)
    graph = place.write("in/ring.txt", RING.encode())
    out = place.write("out/result.xml", PRECIOUS)
    os.chmod(place.path("out"), 0o555)
    return Setup(graph, out, 1, RING_REPORT + [write_error(out, "Permission denied")],
                 unchanged=out, watched=place.path("out"))


def unreadable_instance(place: Place) -> Setup:
    needs_permissions(place)
    graph = place.write("in/ring.txt", RING.encode())
    os.chmod(graph, 0)
    out = place.write("out/result.xml", PRECIOUS)
    return Setup(graph, out, 1, CANNOT_OPEN, unchanged=out, watched=place.path("out"))


def missing_instance(place: Place) -> Setup:
    out = place.write("out/result.xml", PRECIOUS)
    return Setup(place.path("in", "nothing.txt"), out, 1, CANNOT_OPEN, unchanged=out,
                 watched=place.path("out"))


def directory_as_instance(place: Place) -> Setup:
    os.makedirs(place.path("in"))
    out = place.write("out/result.xml", PRECIOUS)
    return Setup(place.path("in"), out, 1, CANNOT_OPEN, unchanged=out,
                 watched=place.path("out"))


def refused_instance(place: Place) -> Setup:
    graph = place.write("in/ring.txt", RING.replace("SRLGNUM:3", "SRLGNUM:0").encode())
    out = place.write("out/result.xml", PRECIOUS)
    return Setup(graph, out, 1,
                 ["Instance file line 3: SRLGNUM 0 leaves no SRLG to estimate; expected a "
                  "count of 1 or more", "Error loading file"],
                 unchanged=out, watched=place.path("out"))


def too_many_srlgs_for_memory(place: Place) -> Setup:
    count = 2147483647
    graph = place.write("in/ring.txt", RING.replace("SRLGNUM:3", "SRLGNUM:%d" % count).encode())
    out = place.write("out/result.xml", PRECIOUS)
    return Setup(graph, out, 1,
                 [memory_refusal("Not enough memory: %d SRLGs" % count,
                                 "for the result tables", 4.0 * count ** 2)],
                 unchanged=out, watched=place.path("out"))


CASES = [
    ("a new result file in an existing directory", fresh_file),
    ("an existing result file, longer than the new one, is replaced whole", replaced_file),
    ("output directory missing: report in full, then the error; nothing created",
     missing_directory),
    ("output path is a directory: report in full, then the error", directory_as_output),
    ("output to /dev/full", full_device),
    ("a full 64 KiB tmpfs: the earlier result file stays whole", full_file_system),
    ("a read-only file system: the earlier result file stays whole", read_only_file_system),
    ("a 64 KiB file-size limit: the earlier result file stays whole", file_size_limit),
    ("a read-only result file stays whole", read_only_result_file),
    ("a result file in a directory without write permission stays whole",
     unwritable_directory),
    ("an unreadable instance file (mode 000)", unreadable_instance),
    ("a missing instance file", missing_instance),
    ("a directory as the instance file", directory_as_instance),
    ("a refused instance leaves the earlier result file whole", refused_instance),
    ("a memory refusal leaves the earlier result file whole", too_many_srlgs_for_memory),
]


def listing(directory: str) -> List[str]:
    return sorted(os.listdir(directory))


def run_case(varnak: str, setup: Setup):
    before = listing(setup.watched) if setup.watched else None
    command = [varnak, "--graph", setup.graph] + RING_ARGS
    if setup.outpath is not None:
        command += ["--outpath", setup.outpath]
    run = run_varnak(command, preexec_fn=setup.preexec_fn)
    complaints = check_run(run, setup.exit_code, setup.lines)
    if setup.xml is not None:
        if not os.path.isfile(setup.outpath):
            complaints.append("no result file at %s" % setup.outpath)
        else:
            with open(setup.outpath, "rb") as file:
                xml = file.read()
            complaints += xml_complaints(xml, setup.xml, run.stdout.split(b"\n")[-2])
            # Only the result file may have appeared beside it: no temporary file is left.
            leftovers = [name for name in listing(os.path.dirname(setup.outpath))
                         if name != os.path.basename(setup.outpath)]
            if leftovers:
                complaints.append("files left beside the result: %s" % leftovers)
    if setup.unchanged is not None:
        with open(setup.unchanged, "rb") as file:
            content = file.read()
        if content != PRECIOUS:
            complaints.append("the earlier result file now holds %r" % content[:200])
    if setup.watched is not None and listing(setup.watched) != before:
        complaints.append("%s changed from %s to %s" % (setup.watched, before,
                                                        listing(setup.watched)))
    if setup.absent is not None and os.path.lexists(setup.absent):
        complaints.append("%s was created" % setup.absent)
    return complaints, run.seconds


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    varnak = os.path.abspath(sys.argv[1])
    table = Table("output_faults")
    for name, prepare in CASES:
        place = Place(tempfile.mkdtemp(prefix="varnak-faults-"))
        try:
            try:
                setup = prepare(place)
            except Skip as reason:
                table.skip(name, str(reason))
                continue
            complaints, seconds = run_case(varnak, setup)
            table.record(name, complaints, seconds)
        finally:
            place.release()
    return table.finish()


if __name__ == "__main__":
    sys.exit(main())
