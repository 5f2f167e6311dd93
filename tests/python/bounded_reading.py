"""The importers run in a worker process, one file at a time, each under a deadline and a
bound on the memory it may add, so that a reader that is quadratic in time or in memory on
some input fails its test instead of running for hours or taking the machine's memory.

The worker is this file run as a script; it reads requests, one JSON line each, on its
standard input and answers each with one JSON line on its standard output.
"""

import json
import re
import resource
import select
import subprocess
import sys
import traceback

# The readers by name; "csv" reads SRLGs against the network of the fixture files
# (A -1- B -2- C and A -3- C), "csv-ring" against a ring of RING_NODES nodes n0, n1, ...
KINDS = ("graphml", "gml", "sndlib", "sndlib-xml", "lgf", "csv", "csv-ring")
RING_NODES = 3000
OUT_OF_MEMORY = "more than the memory there is to read it in"
# What a terminal takes for a command (C0, DEL, C1), and surrogates, which stand for bytes
# that are not UTF-8 and cannot be written as UTF-8 at all.
NOT_PRINTABLE = re.compile("[\x00-\x1f\x7f-\x9f\ud800-\udfff]")


class BoundedReader:
    """Reads files through the worker; a worker that misses a deadline is killed and the
    next read starts another."""

    def __init__(self):
        self.process = None

    def read(self, kind, path, seconds, memory_bytes):
        """The outcome of reading `path`: a dict whose "outcome" is "value", "refusal" (with
        "message", "path" and "line"), "error" (an exception other than VarnakError, with
        its "traceback"), "timeout" (not done within `seconds`) or "died"."""
        if self.process is None:
            self.process = subprocess.Popen([sys.executable, __file__], stdin=subprocess.PIPE,
                                            stdout=subprocess.PIPE, text=True)
        self.process.stdin.write(json.dumps([kind, str(path), memory_bytes]) + "\n")
        self.process.stdin.flush()
        if not select.select([self.process.stdout], [], [], seconds)[0]:
            self.close()
            return {"outcome": "timeout"}
        answer = self.process.stdout.readline()
        if not answer:
            status = self.process.wait()
            self.process = None
            return {"outcome": "died", "status": status}
        return json.loads(answer)

    def close(self):
        if self.process is not None:
            self.process.kill()
            self.process.wait()
            self.process.stdin.close()
            self.process.stdout.close()
            self.process = None


def _address_space_in_use():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmSize:"):
                return int(line.split()[1]) * 1024
    raise RuntimeError("no VmSize in /proc/self/status")


def _serve():
    from varnak import VarnakError, srlgs
    from varnak.convert import build_srlgs, instance_comments
    from varnak.topology import READERS, Node, Topology

    line = Topology("line", [Node("A"), Node("B"), Node("C")], [(0, 1), (1, 2), (0, 2)])
    ring = Topology("ring", [Node(f"n{i}") for i in range(RING_NODES)],
                    [(i, (i + 1) % RING_NODES) for i in range(RING_NODES)])
    _, hard = resource.getrlimit(resource.RLIMIT_AS)
    for request in sys.stdin:
        kind, path, memory_bytes = json.loads(request)
        # The bound counts from what the worker holds already, which earlier reads may
        # have left higher; it is lifted again before the answer is made.
        resource.setrlimit(resource.RLIMIT_AS, (_address_space_in_use() + memory_bytes, hard))
        try:
            if kind in ("csv", "csv-ring"):
                srlgs.from_csv(line if kind == "csv" else ring, path)
                answer = {"outcome": "value"}
            else:
                topology = READERS[kind](path)
                # The comments convert writes for it: every name from the file is in them.
                comments = instance_comments(
                    topology, build_srlgs(topology, ["node", "file"]), kind, "fuzzing")
                answer = {"outcome": "value",
                          "comments_printable": not any(map(NOT_PRINTABLE.search, comments))}
        except VarnakError as error:
            answer = {"outcome": "refusal", "message": str(error), "path": error.path,
                      "line": error.line}
        except BaseException:
            resource.setrlimit(resource.RLIMIT_AS, (hard, hard))  # room for the traceback
            answer = {"outcome": "error", "traceback": traceback.format_exc()}
        finally:
            resource.setrlimit(resource.RLIMIT_AS, (hard, hard))
        sys.stdout.write(json.dumps(answer) + "\n")
        sys.stdout.flush()


if __name__ == "__main__":
    _serve()
