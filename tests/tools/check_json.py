#!/usr/bin/env python3
"""Runs varnak-tools with --format json, text and csv on one instance and checks that the
JSON parses and holds the same numbers as the other two: the text to its six decimals,
the CSV exactly.

Usage: check_json.py VARNAK_TOOLS INSTANCE
"""

import json
import re
import subprocess
import sys

TEXT_TOLERANCE = 5.1e-7  # half a unit of the sixth decimal, and a hair for rounding
NUMBER = re.compile(r"-?\d+(?:\.\d+)?(?:e[-+]?\d+)?")

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def run(tool, args, output_format):
    completed = subprocess.run([tool, *args, "--format", output_format], capture_output=True,
                               text=True, check=False)
    if completed.returncode != 0:
        sys.exit(f"{' '.join(args)} --format {output_format} exited with "
                 f"{completed.returncode}: {completed.stderr}")
    return completed.stdout


def numbers(line):
    return [float(match) for match in NUMBER.findall(line)]


def text_table(text, header_start):
    """The number rows of the table whose header line starts with `header_start`."""
    lines = text.splitlines()
    start = next(i for i, line in enumerate(lines) if line.lstrip().startswith(header_start))
    rows = []
    for line in lines[start + 1:]:
        if not line.strip():
            break
        rows.append(numbers(line))
    return rows


def csv_rows(text):
    """The table's rows as dicts, and the `# key: value` lines before it as a dict."""
    lines = text.splitlines()
    facts = dict(line[2:].split(": ", 1) for line in lines if line.startswith("# "))
    lines = [line for line in lines if not line.startswith("#")]
    header = lines[0].split(",")
    return [dict(zip(header, line.split(","))) for line in lines[1:]], facts


def check_facts(name, data, facts):
    """The run's facts are the same in the JSON and in the CSV's comment lines."""
    for key, value in facts.items():
        if key in ("confidence_level", "connected", "count_by_size"):
            continue
        expected = data[key]
        shown = str(expected).lower() if isinstance(expected, bool) else str(expected)
        check(shown == value, f"{name}: # {key}: {value} in CSV, {expected!r} in JSON")
    for key in ("command", "instance", "method", "results_file", "srlg_count", "N", "seed",
                "seed_drawn", "threads", "free_edges_connect", "elapsed_seconds"):
        check(key in data, f"{name}: no {key} in JSON")


def close(name, json_value, text_value):
    check(abs(json_value - text_value) <= TEXT_TOLERANCE,
          f"{name}: JSON {json_value!r}, text {text_value!r}")


def same(name, json_value, csv_value):
    check(json_value == float(csv_value), f"{name}: JSON {json_value!r}, CSV {csv_value!r}")


def check_bim(name, json_rows, text):
    rows = text_table(text, "srlg")
    check(len(rows) == len(json_rows), f"{name}: {len(rows)} BIM rows in text")
    for srlg, (row, json_row) in enumerate(zip(rows, json_rows), start=1):
        check(row[0] == srlg, f"{name}: text BIM row {srlg} is labelled {row[0]}")
        for k, (value, json_value) in enumerate(zip(row[1:], json_row), start=1):
            close(f"{name} BIM ({srlg}, {k})", json_value, value)


def check_estimate(tool, instance):
    args = ["estimate", "--graph", instance, "--N", "3000", "--seed", "5", "--threads", "2"]
    data = json.loads(run(tool, args, "json"))
    text = run(tool, args, "text")
    rows, facts = csv_rows(run(tool, args, "csv"))
    check_facts("estimate", data, facts)
    check(data["N"] == 3000 and data["seed"] == 5 and data["threads"] == 2,
          "estimate: N, seed or threads wrong in JSON")
    check(data["instance"] == instance.rsplit("/", 1)[-1], "estimate: instance name")
    check(data["elapsed_seconds"] >= 0, "estimate: elapsed time")
    table = text_table(text, "k")
    check(len(table) == len(data["spectrum"]) == data["srlg_count"], "estimate: row counts")
    for j, row in enumerate(table):
        k, value, connected, wilson_low, wilson_high, band_low, band_high = row
        close(f"estimate spectrum {k}", data["spectrum"][j], value)
        check(data["connected"][j] == connected, f"estimate connected {k}")
        check(data["spectrum"][j] == connected / 3000, f"estimate spectrum {k} is not count / N")
        check(wilson_low <= value <= wilson_high, f"estimate Wilson {k} leaves out its value")
        close(f"estimate Wilson low {k}", data["wilson_low"][j], wilson_low)
        close(f"estimate Wilson high {k}", data["wilson_high"][j], wilson_high)
        close(f"estimate band low {k}", data["band_low"][j], band_low)
        close(f"estimate band high {k}", data["band_high"][j], band_high)
    check_bim("estimate", data["bim_spectra"], text)
    for row in rows:
        j = int(row["k"]) - 1
        if row["series"] == "spectrum":
            same(f"estimate CSV spectrum {j + 1}", data["spectrum"][j], row["value"])
            same(f"estimate CSV Wilson low {j + 1}", data["wilson_low"][j], row["wilson_low"])
            same(f"estimate CSV band high {j + 1}", data["band_high"][j], row["band_high"])
        elif row["series"] == "critical":
            check(data["critical"][int(row["srlg"]) - 1][j] == int(row["connected"]) > 0,
                  f"estimate CSV critical count {row['srlg']} {j + 1}")
        else:
            same(f"estimate CSV BIM {row['srlg']} {j + 1}",
                 data["bim_spectra"][int(row["srlg"]) - 1][j], row["value"])
            check(data["connected_with"][int(row["srlg"]) - 1][j] == int(row["connected"]),
                  f"estimate CSV BIM count {row['srlg']} {j + 1}")
    # The critical counts only where they are not 0, and they add up to the samples that
    # connect with every SRLG up.
    critical_rows = [row for row in rows if row["series"] == "critical"]
    check(len(critical_rows) == sum(count > 0 for row in data["critical"] for count in row),
          "estimate: CSV critical rows")
    check(sum(map(sum, data["critical"])) == data["connected"][-1], "estimate: critical counts")
    check(len(rows) - len(critical_rows) == data["srlg_count"] * (data["srlg_count"] + 1),
          "estimate: CSV rows")


def check_exact(tool, instance):
    args = ["exact", "--graph", instance]
    data = json.loads(run(tool, args, "json"))
    text = run(tool, args, "text")
    rows, facts = csv_rows(run(tool, args, "csv"))
    check_facts("exact", data, facts)
    check(data["method"] == "exact", f"exact: method {data['method']!r} in JSON")
    check(facts.get("exact_method") == data["exact_method"] in ("subsets", "diagram", "none"),
          f"exact: exact_method {data['exact_method']!r} in JSON, "
          f"{facts.get('exact_method')!r} in CSV")
    by_diagram = data["exact_method"] == "diagram"
    for key in ("frontier_width", "remembered_srlgs", "diagram_nodes"):
        check((data[key] is not None) == by_diagram and (key in facts) == by_diagram,
              f"exact: {key} {data[key]!r} with exact_method {data['exact_method']!r}")
    second_line = text.splitlines()[1]
    check(second_line.startswith("Exact, by a decision diagram over the SRLGs (frontier width "
                                 f"{data['frontier_width']}, {data['remembered_srlgs']} SRLGs "
                                 f"remembered, {data['diagram_nodes']} nodes)") if by_diagram
          else second_line.startswith("Exact, by enumerating SRLG subsets"),
          f"exact: text names the method as {second_line!r}")
    table = text_table(text, "k")
    check(len(table) == len(data["spectrum"]) == data["srlg_count"], "exact: row counts")
    for j, (k, value, connected, subsets) in enumerate(table):
        close(f"exact spectrum {k}", data["spectrum"][j], value)
        check(data["connected"][j] == connected, f"exact connected subsets {k}")
        check(data["subsets"][j] == subsets, f"exact subsets {k}")
        check(data["spectrum"][j] == data["connected"][j] / data["subsets"][j],
              f"exact spectrum {k} is not connected / subsets")
    check_bim("exact", data["bim_spectra"], text)
    for row in rows:
        j = int(row["k"]) - 1
        if row["series"] == "spectrum":
            same(f"exact CSV spectrum {j + 1}", data["spectrum"][j], row["value"])
        else:
            s = int(row["srlg"]) - 1
            same(f"exact CSV BIM {s + 1} {j + 1}", data["bim_spectra"][s][j], row["value"])
            check(data["connected_with"][s][j] == int(row["connected"]),
                  f"exact CSV connected subsets with {s + 1} at {j + 1}")


def check_reliability(tool, instance):
    args = ["reliability", "--graph", instance, "--N", "4000", "--seed", "3", "--grid", "6",
            "--rank-at", "0.7", "--top", "0"]
    data = json.loads(run(tool, args, "json"))
    text = run(tool, args, "text")
    rows, facts = csv_rows(run(tool, args, "csv"))
    check_facts("reliability", data, facts)
    check(facts["connected"].split(" ") == [str(count) for count in data["connected"]],
          "reliability: counts differ between CSV and JSON")
    curve = text_table(text, "p")
    check(len(curve) == len(data["reliability"]) == 6, "reliability: curve length")
    for (p, value, low, high, unreliability), point in zip(curve, data["reliability"]):
        close(f"reliability p {p}", point["p"], p)
        close(f"reliability R({p})", point["R"], value)
        close(f"reliability R({p}) low", point["R_low"], low)
        close(f"reliability R({p}) high", point["R_high"], high)
        check(point["R_low"] <= point["R"] <= point["R_high"], f"R({p}) outside its interval")
        check(abs(point["unreliability"] - unreliability) <= 1e-6 * max(1, unreliability),
              f"1 - R({p})")
    ranking = text_table(text, "rank")
    entries = data["importance"]["ranking"]
    check(len(ranking) == len(entries) == data["srlg_count"], "reliability: ranking length")
    for (rank, srlg, importance, low, high, up, down), entry in zip(ranking, entries):
        check(entry["rank"] == rank and entry["srlg"] == srlg, f"ranking place {rank}")
        close(f"importance of {srlg}", entry["importance"], importance)
        close(f"importance low of {srlg}", entry["importance_low"], low)
        close(f"importance high of {srlg}", entry["importance_high"], high)
        close(f"R up of {srlg}", entry["R_up"], up)
        close(f"R down of {srlg}", entry["R_down"], down)
    resolved = [line.split()[-1] for line in text.splitlines()[-len(entries):]]
    check(resolved == ["yes" if entry["resolved"] else "no" for entry in entries],
          "reliability: resolved differs between text and JSON")
    points = [row for row in rows if row["series"] == "reliability"]
    for row, point in zip(points, data["reliability"]):
        same(f"reliability CSV R({row['p']})", point["R"], row["value"])
        same(f"reliability CSV R({row['p']}) low", point["R_low"], row["low"])
    ranked = [row for row in rows if row["series"] == "importance"]
    for row, entry in zip(ranked, entries):
        same(f"reliability CSV importance {row['srlg']}", entry["importance"], row["value"])
        same(f"reliability CSV importance high {row['srlg']}", entry["importance_high"],
             row["high"])
        check(row["resolved"] == ("true" if entry["resolved"] else "false"),
              f"reliability CSV resolved {row['srlg']}")
    check(len(points) == 6 and len(ranked) == len(entries), "reliability: CSV rows")


def check_cuts(tool, instance):
    args = ["cuts", "--graph", instance, "--max-size", "2"]
    data = json.loads(run(tool, args, "json"))
    text = run(tool, args, "text")
    rows, facts = csv_rows(run(tool, args, "csv"))
    check_facts("cuts", data, facts)
    sets = [(entry["srlgs"], entry["cut_off"]) for entry in data["cut_sets"]]
    from_csv = [([int(i) for i in row["srlgs"].split()], [int(v) for v in row["cut_off"].split()])
                for row in rows]
    check(sets == from_csv, "cuts: the sets differ between CSV and JSON")
    listed = [line.split("|") for line in text.splitlines() if "|" in line][1:]
    from_text = [([int(i) for i in left.split()[1:]], [int(v) for v in right.split()])
                 for left, right in listed]
    check(sets == from_text, "cuts: the sets differ between text and JSON")
    by_size = [sum(1 for srlgs, _ in sets if len(srlgs) == size)
               for size in range(len(data["count_by_size"]))]
    check(by_size == data["count_by_size"], "cuts: count_by_size does not count the sets")
    check(facts["count_by_size"].split() == [str(n) for n in data["count_by_size"][1:]],
          "cuts: count_by_size differs between CSV and JSON")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    tool, instance = sys.argv[1:]
    check_estimate(tool, instance)
    check_exact(tool, instance)
    check_reliability(tool, instance)
    check_cuts(tool, instance)
    for failure in failures:
        print(failure)
    print(f"{'FAILED' if failures else 'OK'}: {len(failures)} differences")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
