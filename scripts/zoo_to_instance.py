#!/usr/bin/env python3
"""Convert an Internet Topology Zoo GraphML file into a Varnak instance file.

Usage:
    python3 scripts/zoo_to_instance.py NETWORK.graphml [--sector DEGREES] [-o OUT.txt]

The Internet Topology Zoo (S. Knight, H. X. Nguyen, N. Falkner, R. Bowden,
M. Roughan, IEEE JSAC 29(9):1765-1775, 2011; http://www.topology-zoo.org/) is
licensed CC BY 4.0; the output starts with comment lines that credit it.

Graph
  * Vertices are the GraphML nodes, numbered 1..V in the order of the file.
  * Edges are the GraphML links, numbered 1..E in the order of the file.
    Self-loops are dropped (and counted in a comment); parallel links stay
    separate edges. Each edge is written as "E:k:source,target".
  * The graph must be connected with every link up; otherwise the script
    stops with an error and writes nothing.

SRLGs
  * Own risk: SRLG k (k = 1..E) holds link k alone. It is written "SRLG:k:k,":
    a member list needs at least one ",", so the single member gets a trailing
    comma (which the reader turns into a harmless extra member 0, an edge id
    that joins nothing).
  * Duct SRLGs (numbered E+1, E+2, ...) model links that leave a city through
    the same conduit. Zoo links are straight lines between their end points,
    so the rule works on directions only:
      - At every node with coordinates, take the initial great-circle bearing
        (from Latitude/Longitude) of each link towards its other end.
      - Every maximal set of two or more of these links whose bearings fit in a
        sector of --sector degrees (default 20) is one duct near that node.
        "Maximal" means no other link at the node fits the same sector, so two
        duct groups at one node may overlap.
      - Parallel links have equal bearings and therefore always share a duct.
      - Links meeting at a Zoo "hyperedge" junction node (one drawn cable that
        branches) form one duct SRLG as well.
      - A set found more than once (e.g. a parallel pair, seen from both ends)
        becomes one SRLG.
    Duct SRLGs are numbered by node order, and within a node by their sorted
    member lists, so the output is deterministic.
  * Nodes without coordinates: their links cannot be given a direction, so
    they join no duct SRLG by the sector rule (they keep their own-risk SRLG).
    The same goes for a link whose two ends have identical coordinates.
"""

import argparse
import math
import sys
import xml.etree.ElementTree as ET

GRAPHML = "{http://graphml.graphdrawing.org/xmlns}"
ZOO_CITATION = ('S. Knight, H. X. Nguyen, N. Falkner, R. Bowden, M. Roughan, '
                '"The Internet Topology Zoo", IEEE JSAC 29(9):1765-1775, 2011; '
                'http://www.topology-zoo.org/')


class Node:
    def __init__(self, label, coords, is_junction):
        self.label = label          # city name, or "node <vertex number>"
        self.coords = coords        # (latitude, longitude) in degrees, or None
        self.is_junction = is_junction


def read_zoo(path):
    """Return (network name, nodes, links, number of dropped self-loops).

    links is a list of (u, v) pairs of 0-based node indices, in file order.
    """
    root = ET.parse(path).getroot()
    # Attribute ids (d0, d1, ...) differ from file to file: map them to names.
    key_names = {key.get("id"): key.get("attr.name")
                 for key in root.iter(GRAPHML + "key")}

    def attributes(element):
        return {key_names.get(data.get("key")): (data.text or "").strip()
                for data in element.findall(GRAPHML + "data")}

    graph = root.find(GRAPHML + "graph")
    graph_attributes = attributes(graph)
    name = graph_attributes.get("Network") or graph_attributes.get("label") or path

    nodes, index_of = [], {}
    for element in graph.findall(GRAPHML + "node"):
        a = attributes(element)
        try:
            coords = (float(a["Latitude"]), float(a["Longitude"]))
        except (KeyError, ValueError):
            coords = None
        is_junction = a.get("hyperedge") == "1"
        label = " ".join(a.get("label", "").split())
        if label in ("", "None"):   # junction nodes carry the label "None"
            label = ("junction " if is_junction else "node ") + str(len(nodes) + 1)
        index_of[element.get("id")] = len(nodes)
        nodes.append(Node(label, coords, is_junction))

    links, self_loops = [], 0
    for element in graph.findall(GRAPHML + "edge"):
        u, v = index_of[element.get("source")], index_of[element.get("target")]
        if u == v:
            self_loops += 1
        else:
            links.append((u, v))
    return name, nodes, links, self_loops


def initial_bearing(start, end):
    """Initial great-circle bearing from start to end, in degrees [0, 360)."""
    lat1, lon1 = map(math.radians, start)
    lat2, lon2 = map(math.radians, end)
    dlon = lon2 - lon1
    y = math.sin(dlon) * math.cos(lat2)
    x = (math.cos(lat1) * math.sin(lat2)
         - math.sin(lat1) * math.cos(lat2) * math.cos(dlon))
    return math.degrees(math.atan2(y, x)) % 360.0


def duct_groups(nodes, links, sector):
    """Return the duct SRLGs as a list of (members, places).

    members is a sorted tuple of 1-based link numbers; places describes where
    the shared stretch is (e.g. "near Chicago"), one entry per finding.
    """
    found = {}   # members -> places, in the order found

    def add(members, place):
        found.setdefault(members, [])
        if place not in found[members]:
            found[members].append(place)

    for v, node in enumerate(nodes):
        incident = [(number, b if a == v else a)
                    for number, (a, b) in enumerate(links, start=1) if v in (a, b)]
        if node.is_junction and len(incident) >= 2:
            add(tuple(sorted(number for number, _ in incident)), "at " + node.label)
        if node.coords is None:
            continue
        leaving = [(initial_bearing(node.coords, nodes[w].coords), number)
                   for number, w in incident
                   if nodes[w].coords is not None and nodes[w].coords != node.coords]
        # One candidate window per link: the links within `sector` degrees
        # clockwise of it. Keep the windows not contained in another one.
        windows = {tuple(sorted(n for bearing, n in leaving
                                if (bearing - start) % 360.0 <= sector))
                   for start, _ in leaving}
        for window in sorted(windows):
            if len(window) >= 2 and not any(set(window) < set(w) for w in windows):
                add(window, "near " + node.label)
    return list(found.items())


def is_connected(vertex_count, links):
    parent = list(range(vertex_count))

    def find(x):
        while parent[x] != x:
            parent[x] = parent[parent[x]]
            x = parent[x]
        return x

    for a, b in links:
        parent[find(a)] = find(b)
    return len({find(x) for x in range(vertex_count)}) <= 1


def write_instance(out, source_file, name, nodes, links, self_loops, ducts, sector):
    V, E = len(nodes), len(links)
    print(f"# Derived from the Internet Topology Zoo, {name} ({source_file}), CC BY 4.0.", file=out)
    print(f"# {ZOO_CITATION}", file=out)
    print(f"# Converted by scripts/zoo_to_instance.py --sector {sector:g}: vertices "
          f"1..{V} in node order, edges 1..{E} in link order"
          + (f", {self_loops} self-loop(s) dropped." if self_loops else "."), file=out)
    no_coords = [str(i) for i, node in enumerate(nodes, start=1) if node.coords is None]
    if no_coords:
        print(f"# Vertices without coordinates (in no sector duct): {', '.join(no_coords)}.",
              file=out)
    print("# Vertices: " + ", ".join(f"{i} {node.label}"
                                     for i, node in enumerate(nodes, start=1)), file=out)
    print(f"# SRLG k (k = 1..{E}): link k alone, written with a trailing comma.", file=out)
    for k, (members, places) in enumerate(ducts, start=E + 1):
        ends = "; ".join(f"{m} {nodes[links[m - 1][0]].label}-{nodes[links[m - 1][1]].label}"
                         for m in members)
        print(f"# SRLG {k}: duct {' and '.join(places)}: links {ends}", file=out)

    print(f"VNUM:{V}", file=out)
    print(f"ENUM:{E}", file=out)
    print(f"SRLGNUM:{E + len(ducts)}", file=out)
    for number, (a, b) in enumerate(links, start=1):
        print(f"E:{number}:{a + 1},{b + 1}", file=out)
    for number in range(1, E + 1):
        print(f"SRLG:{number}:{number},", file=out)
    for k, (members, _) in enumerate(ducts, start=E + 1):
        print(f"SRLG:{k}:{','.join(map(str, members))}", file=out)


def main():
    parser = argparse.ArgumentParser(
        description="Convert an Internet Topology Zoo GraphML file to a Varnak instance file.")
    parser.add_argument("graphml", help="Zoo GraphML file, e.g. Abilene.graphml")
    parser.add_argument("--sector", type=float, default=20.0,
                        help="width in degrees of the sector in which links leaving a "
                             "node share a duct (default 20)")
    parser.add_argument("-o", "--output", help="instance file to write (default: stdout)")
    args = parser.parse_args()

    name, nodes, links, self_loops = read_zoo(args.graphml)
    if not links or not is_connected(len(nodes), links):
        sys.exit(f"error: {args.graphml}: the graph is not connected with all links up")
    ducts = duct_groups(nodes, links, args.sector)
    source_file = args.graphml.replace("\\", "/").rsplit("/", 1)[-1]

    if args.output:
        with open(args.output, "w", encoding="utf-8", newline="\n") as out:
            write_instance(out, source_file, name, nodes, links, self_loops, ducts, args.sector)
    else:
        write_instance(sys.stdout, source_file, name, nodes, links, self_loops, ducts, args.sector)


if __name__ == "__main__":
    main()
