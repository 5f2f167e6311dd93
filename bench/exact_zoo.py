#!/usr/bin/env python3
"""Exact spectra of Internet Topology Zoo networks by the decision diagram, one table row each.

Usage:
    python3 bench/exact_zoo.py VARNAK_TOOLS ZOO_DIRECTORY [--timeout SECONDS] [--max-memory SIZE]

Every *.graphml file of ZOO_DIRECTORY is converted with scripts/zoo_to_instance.py (one SRLG
per link, ducts at its default sector) and given to `varnak-tools exact --format json`, one
process at a time. For each network the table shows its links and SRLGs, the frontier width
and the most SRLGs a state remembered, the diagram's nodes, the elapsed time and the peak
resident memory of the process (from wait4), or why it did not finish. The Internet Topology
Zoo (http://www.topology-zoo.org/) is licensed CC BY 4.0.
"""

import argparse
import json
import os
import signal
import subprocess
import sys
import tempfile
import time

REPOSITORY = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CONVERTER = os.path.join(REPOSITORY, "scripts", "zoo_to_instance.py")


def count_lines(path, keyword):
    with open(path) as file:
        return sum(1 for line in file if line.startswith(keyword))


def srlg_count(path):
    with open(path) as file:
        for line in file:
            if line.startswith("SRLGNUM:"):
                return int(line.split(":")[1])
    return 0


def run_exact(tools, instance, timeout, max_memory):
    """Returns (JSON result or None, seconds, peak MB, exit status or 'timeout')."""
    command = [tools, "exact", "--graph", instance, "--format", "json", "--method", "diagram"]
    if max_memory:
        command += ["--max-memory", max_memory]
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        start = time.monotonic()
        process = subprocess.Popen(command, stdout=out, stderr=err)
        status = None
        while True:
            pid, wait_status, usage = os.wait4(process.pid, os.WNOHANG)
            if pid != 0:
                status = os.waitstatus_to_exitcode(wait_status)
                break
            if time.monotonic() - start > timeout:
                process.send_signal(signal.SIGKILL)
                _, _, usage = os.wait4(process.pid, 0)
                status = "timeout"
                break
            time.sleep(0.02)
        seconds = time.monotonic() - start
        peak_mb = usage.ru_maxrss / 1024.0
        out.seek(0)
        err.seek(0)
        result = json.loads(out.read()) if status == 0 else None
        message = err.read().decode(errors="replace").strip()
        return result, seconds, peak_mb, status, message


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("tools", help="the varnak-tools executable")
    parser.add_argument("zoo", help="a directory of Topology Zoo GraphML files")
    parser.add_argument("--timeout", type=float, default=600.0, help="seconds per network")
    parser.add_argument("--max-memory", help="passed on to varnak-tools exact")
    args = parser.parse_args()

    names = sorted(name for name in os.listdir(args.zoo) if name.endswith(".graphml"))
    print("| network | links | SRLGs | frontier width | SRLGs remembered | diagram nodes "
          "| time (s) | peak memory (MB) |")
    print("|---|---|---|---|---|---|---|---|")
    with tempfile.TemporaryDirectory() as scratch:
        rows = []
        for name in names:
            network = name[: -len(".graphml")]
            instance = os.path.join(scratch, network + ".txt")
            converted = subprocess.run(
                [sys.executable, CONVERTER, os.path.join(args.zoo, name), "-o", instance],
                capture_output=True, text=True)
            if converted.returncode != 0:
                reason = converted.stderr.strip().splitlines()[-1] if converted.stderr else ""
                rows.append((network, None, reason))
                continue
            links = count_lines(instance, "E:")
            rows.append((network, links, instance))
        # Smallest first, so that the table grows as the networks do.
        rows.sort(key=lambda row: (row[1] is None, row[1] or 0, row[0]))
        for network, links, instance in rows:
            if links is None:
                print(f"| {network} | | | | | | | not converted: {instance.split(': ', 2)[-1]} |")
                continue
            srlgs = srlg_count(instance)
            result, seconds, peak_mb, status, message = run_exact(
                args.tools, instance, args.timeout, args.max_memory)
            if result is not None:
                print(f"| {network} | {links} | {result['srlg_count']} "
                      f"| {result.get('frontier_width', '')} | {result.get('remembered_srlgs', '')} "
                      f"| {result.get('diagram_nodes', '')} | {seconds:.2f} | {peak_mb:.0f} |")
            elif status == "timeout":
                print(f"| {network} | {links} | {srlgs} | | | | > {args.timeout:.0f} "
                      f"| {peak_mb:.0f} (stopped) |")
            else:
                print(f"| {network} | {links} | {srlgs} | | | | {seconds:.2f} "
                      f"| {peak_mb:.0f} (exit {status}: {message[-160:]}) |")
            sys.stdout.flush()


if __name__ == "__main__":
    main()
