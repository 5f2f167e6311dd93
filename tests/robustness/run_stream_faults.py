#!/usr/bin/env python3
"""Faults of the streams around a run, through the real Varnak executable: a report that
cannot be written, the result file being standard output itself, a file-size limit with
the signal left at its default, an instance that never ends a line, and a line of
millions of fields.

    run_stream_faults.py <path of the Varnak executable>
"""

import os
import resource
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True

from varnak_runs import RING, RING_ARGS, RING_REPORT, run_varnak

failures = []


def check(name, condition, detail=""):
    print(("ok   " if condition else "FAIL ") + name + ("" if condition else ": " + detail))
    if not condition:
        failures.append(name)


def main():
    varnak = sys.argv[1]
    with tempfile.TemporaryDirectory() as directory:
        ring = os.path.join(directory, "ring.txt")
        with open(ring, "w") as file:
            file.write(RING)
        command = [varnak, "--graph", ring, *RING_ARGS]

        with open("/dev/full", "w") as full:
            run = subprocess.run(command, stdout=full, stderr=subprocess.PIPE, timeout=60)
        check("a report to a full device ends with exit code 1 and says so",
              run.returncode == 1 and
              run.stderr == b"Error writing the report to standard output\n",
              "exit %d, stderr %r" % (run.returncode, run.stderr))

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

        result = os.path.join(directory, "result.xml")

        def small_files():
            resource.setrlimit(resource.RLIMIT_FSIZE, (100, 100))  # SIGXFSZ left as it is

        run = subprocess.run(command + ["--outpath", result], preexec_fn=small_files,
                             capture_output=True, timeout=60)
        lines = run.stdout.decode().splitlines()
        check("a file-size limit is reported after the whole report, not a killed process",
              run.returncode == 1 and lines[:-2] == RING_REPORT[:-1] and
              lines[-1] == "Error writing output file %s: File too large" % result and
              sorted(os.listdir(directory)) == ["captured.txt", "ring.txt"],
              "exit %d, output %r, files %r" % (run.returncode, lines, os.listdir(directory)))

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

    print("%d passed, %d failed" % (5 - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
