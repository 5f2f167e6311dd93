#!/usr/bin/env python3
"""Strict check of Varnak instance files, such as those in examples/.

Usage: python3 scripts/check_instance.py FILE...
       python3 scripts/check_instance.py --help

Stricter than the tool's own lenient reader, so that a shipped file means
exactly what it says. A file passes when:
  * every line is empty, a comment (first character "#"), or one of
    "VNUM:n", "ENUM:n", "SRLGNUM:n", "E:id:u,v", "SRLG:id:m1,m2,..." with plain
    decimal numbers and no white space;
  * VNUM, ENUM and SRLGNUM occur once each, ENUM before every SRLG line;
  * every edge id 1..ENUM has exactly one E line, and its two ends lie in 1..VNUM;
  * every SRLG id 1..SRLGNUM has exactly one SRLG line; its list holds at least
    one "," (without one, older readers of the format drop the members), and
    every member lies in 1..ENUM, except for an empty last item (a trailing
    ","), which the reader reads as member 0, an edge id that joins nothing;
  * the graph is connected when all edges are up.
Prints one summary line per file, or the problems found under it; a file that
cannot be read, or is not UTF-8 text, fails with one line that says so. Exits
with 1 if any file fails.
"""

import re
import sys

NUMBER = re.compile(r"[0-9]+")


def check(path):
    """Return (list of problems, summary text) for one instance file."""
    problems = []
    counts = {}                 # "VNUM"/"ENUM"/"SRLGNUM" -> value
    edges, srlgs = {}, {}       # id -> (u, v); id -> list of members

    def number(text, where):
        if not NUMBER.fullmatch(text):
            problems.append(f"{where}: '{text}' is not a plain number")
            return None
        return int(text)

    with open(path, encoding="utf-8", newline="") as f:
        lines = f.read().split("\n")
    if lines and lines[-1] == "":
        lines.pop()             # the line feed that ends the last line

    for line_number, line in enumerate(lines, start=1):
        where = f"line {line_number}"
        if line == "" or line.startswith("#"):
            continue
        fields = line.split(":")
        keyword = fields[0]
        if keyword in ("VNUM", "ENUM", "SRLGNUM") and len(fields) == 2:
            if keyword in counts:
                problems.append(f"{where}: second {keyword} line")
            if keyword == "ENUM" and srlgs:
                problems.append(f"{where}: ENUM after an SRLG line")
            counts[keyword] = number(fields[1], where)
        elif keyword == "E" and len(fields) == 3:
            ends = fields[2].split(",")
            edge_id = number(fields[1], where)
            if edge_id is None:
                pass
            elif len(ends) != 2:
                problems.append(f"{where}: an edge needs exactly two ends")
            elif edge_id in edges:
                problems.append(f"{where}: second line for edge {edge_id}")
            else:
                edges[edge_id] = (number(ends[0], where), number(ends[1], where))
        elif keyword == "SRLG" and len(fields) == 3:
            srlg_id = number(fields[1], where)
            items = fields[2].split(",")
            if len(items) < 2:
                problems.append(f"{where}: member list without ',' (members would be dropped)")
            if items[-1] == "" and len(items) > 1:
                items.pop()     # trailing comma: the harmless member 0
            if srlg_id is None:
                pass
            elif srlg_id in srlgs:
                problems.append(f"{where}: second line for SRLG {srlg_id}")
            else:
                srlgs[srlg_id] = [number(item, where) for item in items]
        else:
            problems.append(f"{where}: not a valid instance line: {line!r}")

    for keyword in ("VNUM", "ENUM", "SRLGNUM"):
        if counts.get(keyword) is None:
            problems.append(f"no valid {keyword} line")
    if any(counts.get(keyword) is None for keyword in ("VNUM", "ENUM", "SRLGNUM")):
        return problems, ""
    vertex_count, edge_count, srlg_count = counts["VNUM"], counts["ENUM"], counts["SRLGNUM"]

    if sorted(edges) != list(range(1, edge_count + 1)):
        problems.append(f"edge ids are not exactly 1..{edge_count}")
    for edge_id, ends in sorted(edges.items()):
        if any(end is None or not 1 <= end <= vertex_count for end in ends):
            problems.append(f"edge {edge_id}: end outside 1..{vertex_count}")
    if sorted(srlgs) != list(range(1, srlg_count + 1)):
        problems.append(f"SRLG ids are not exactly 1..{srlg_count}")
    for srlg_id, members in sorted(srlgs.items()):
        if any(m is None or not 1 <= m <= edge_count for m in members):
            problems.append(f"SRLG {srlg_id}: member outside 1..{edge_count}")

    # Connectivity with every edge up (union-find over the vertices 1..VNUM).
    parent = list(range(vertex_count + 1))

    def find(x):
        while parent[x] != x:
            parent[x] = parent[parent[x]]
            x = parent[x]
        return x

    for u, v in edges.values():
        if u is not None and v is not None and 1 <= u <= vertex_count and 1 <= v <= vertex_count:
            parent[find(u)] = find(v)
    components = len({find(x) for x in range(1, vertex_count + 1)})
    if components != 1:
        problems.append(f"not connected with all edges up ({components} components)")

    in_srlg = {m for members in srlgs.values() for m in members}
    free = [e for e in sorted(edges) if e not in in_srlg]
    shared = sorted(len(members) for members in srlgs.values() if len(members) > 1)
    summary = (f"VNUM {vertex_count}, ENUM {edge_count}, SRLGNUM {srlg_count} "
               f"({srlg_count - len(shared)} with one edge, {len(shared)} with more"
               + (f", sizes {shared[0]}..{shared[-1]})" if shared else ")")
               + (f", edges in no SRLG: {free}" if free else "")
               + ", connected")
    return problems, "" if problems else summary


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__.split("\n\n")[1])
    if any(argument in ("-h", "--help") for argument in sys.argv[1:]):
        print(__doc__.strip())
        sys.exit(0)
    failed = False
    for path in sys.argv[1:]:
        try:
            problems, summary = check(path)
        except OSError as error:
            failed = True
            print(f"{path}: FAIL: cannot be read: {error.strerror or error}")
            continue
        except UnicodeDecodeError as error:
            failed = True
            print(f"{path}: FAIL: not UTF-8 text (byte {error.start} cannot be decoded)")
            continue
        if problems:
            failed = True
            print(f"{path}: FAIL")
            for problem in problems:
                print(f"  {problem}")
        else:
            print(f"{path}: ok: {summary}")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
