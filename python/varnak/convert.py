"""Topology file + SRLG generators -> Varnak instance file (python3 -m varnak convert)."""

import argparse
import sys

from . import srlgs as generators
from .instance import VarnakError, printable, quoted
from .topology import READERS, ZOO_CITATION, read_topology

SRLG_KINDS = ("link", "node", "duct", "disk", "grid", "csv", "file")
DEFAULT_KINDS = "link,duct"
ZOO_FORMATS = ("graphml", "gml")
FORMAT_NAMES = {"graphml": "Topology Zoo GraphML", "gml": "Topology Zoo GML",
                "sndlib": "SNDlib native", "sndlib-xml": "SNDlib XML",
                "lgf": "LEMON graph format"}


def parse_kinds(text):
    kinds = [kind.strip() for kind in text.split(",") if kind.strip()]
    for kind in kinds:
        if kind not in SRLG_KINDS:
            raise ValueError(f"SRLG kind {quoted(kind)} is unknown; expected some of "
                             f"{', '.join(SRLG_KINDS)}")
    if not kinds:
        raise ValueError("no SRLG kind given; expected some of " + ", ".join(SRLG_KINDS))
    return kinds


def build_srlgs(topology, kinds, sector=20.0, radius_km=None, spacing_km=None, csv_path=None):
    """The SRLGs of each kind in turn, as (kind, members, description): numbered 1, 2, ...
    in this order. "file" is the SRLGs that the topology file lists itself (LGF)."""
    groups = []
    for kind in kinds:
        if kind == "link":
            made = generators.one_per_link(topology)
        elif kind == "node":
            made = generators.one_per_node(topology)
        elif kind == "duct":
            made = generators.ducts(topology, sector)
        elif kind in ("disk", "grid"):
            if radius_km is None:
                raise ValueError(f"SRLG kind {kind} needs a radius (--radius KM)")
            made = (generators.disks_around_nodes(topology, radius_km) if kind == "disk"
                    else generators.disks_on_grid(topology, radius_km, spacing_km))
        elif kind == "csv":
            if csv_path is None:
                raise ValueError("SRLG kind csv needs a file (--csv FILE)")
            made = generators.from_csv(topology, csv_path)
        else:
            made = topology.srlgs
        groups.extend((kind, tuple(members), description) for members, description in made)
    return groups


def instance_comments(topology, groups, kind_of_file, converted_by):
    """Comment lines that credit the source and name every vertex and SRLG, printable: the
    names come from the file, and a comment must not move the cursor of a terminal that
    shows the instance."""
    nodes, links = topology.nodes, topology.links
    vertex_count, edge_count = len(nodes), len(links)
    lines = []
    if kind_of_file in ZOO_FORMATS:
        lines.append(f"Derived from the Internet Topology Zoo, {topology.name} "
                     f"({topology.source}), CC BY 4.0.")
        lines.append(ZOO_CITATION)
    else:
        lines.append(f"Converted from {topology.source} ({FORMAT_NAMES[kind_of_file]}).")
    lines.append(f"Converted by {converted_by}: vertices 1..{vertex_count} in node order, "
                 f"edges 1..{edge_count} in link order"
                 + (f", {topology.self_loops} self-loop(s) dropped." if topology.self_loops
                    else "."))
    lines.extend(f"{note}." for note in topology.notes)
    without = [str(i) for i, node in enumerate(nodes, start=1) if node.coords is None]
    if without:
        lines.append(f"Vertices without coordinates (in no sector duct): {', '.join(without)}.")
    lines.append("Vertices: " + ", ".join(f"{i} {node.label}"
                                          for i, node in enumerate(nodes, start=1)))
    number = 1
    index = 0
    while index < len(groups):
        kind = groups[index][0]
        if kind == "link":
            last = number + edge_count - 1
            if number == 1:
                lines.append(f"SRLG k (k = 1..{edge_count}): link k alone, written with a "
                             "trailing comma.")
            else:
                lines.append(f"SRLG k (k = {number}..{last}): link k - {number - 1} alone, "
                             "written with a trailing comma.")
            number, index = last + 1, index + edge_count
            continue
        _, members, description = groups[index]
        ends = "; ".join(f"{m} {nodes[links[m - 1][0]].label}-{nodes[links[m - 1][1]].label}"
                         for m in members)
        lines.append(f"SRLG {number}: {description}: links {ends}")
        number, index = number + 1, index + 1
    return [printable(line) for line in lines]


def convert(path, kinds=DEFAULT_KINDS, file_format=None, sector=20.0, radius_km=None,
            spacing_km=None, csv_path=None, largest_component=False, drop_isolated=False,
            converted_by="python3 -m varnak convert"):
    """Reads a topology file and returns the Instance, its SRLGs made by `kinds` (a comma
    list of link, node, duct, disk, grid, csv, file). The graph must be connected with
    every link up; largest_component keeps its largest part, drop_isolated drops nodes
    without links."""
    if isinstance(kinds, str):
        kinds = parse_kinds(kinds)
    file_format = file_format or None
    topology = read_topology(path, file_format)
    kind_of_file = file_format or _guessed(path)
    if drop_isolated:
        topology = topology.without_isolated_nodes()
    if largest_component:
        topology = topology.largest_component()
    if not topology.links or not topology.is_connected():
        parts = len(topology.components())
        raise VarnakError(f"{printable(path)}: the graph is not connected with all links up "
                          f"({parts} components); keep its largest with --largest-component",
                          str(path))
    groups = build_srlgs(topology, kinds, sector, radius_km, spacing_km, csv_path)
    if not groups:
        raise VarnakError(f"{printable(path)}: the SRLG kinds {','.join(kinds)} give no SRLG",
                          str(path))
    comments = instance_comments(topology, groups, kind_of_file, converted_by)
    return topology.to_instance([(members, d) for _, members, d in groups], comments)


def _guessed(path):
    from .topology import guess_format
    return guess_format(path)


def add_arguments(parser):
    parser.add_argument("input", help="topology file: Zoo GraphML or GML, SNDlib native or "
                                      "XML, or LGF")
    parser.add_argument("--format", choices=sorted(READERS), default=None,
                        help="the input's format (default: from its name or first bytes)")
    parser.add_argument("--srlgs", default=DEFAULT_KINDS,
                        help="comma list of SRLG kinds, numbered in this order: link (one per "
                             "link), node (all links at a node), duct (links leaving a node "
                             "within --sector degrees), disk (links within --radius km of a "
                             "node), grid (disks on a grid --grid-spacing km apart), csv "
                             "(from --csv), file (listed by the input, LGF) "
                             f"(default {DEFAULT_KINDS})")
    parser.add_argument("--sector", type=float, default=20.0,
                        help="duct sector width in degrees (default 20)")
    parser.add_argument("--radius", type=float, help="disk radius in km for disk and grid")
    parser.add_argument("--grid-spacing", type=float,
                        help="distance in km between grid centres (default: the radius)")
    parser.add_argument("--csv", help="CSV file of SRLGs: columns srlg and link, or srlg, "
                                      "source and target")
    parser.add_argument("--largest-component", action="store_true",
                        help="keep the largest connected part of a disconnected graph")
    parser.add_argument("--drop-isolated", action="store_true",
                        help="drop nodes without links")
    parser.add_argument("-o", "--output", help="instance file to write (default: standard "
                                               "output)")


def write_text(text, output):
    """Writes to the file, or to standard output; a write that fails is reported."""
    if output:
        try:
            with open(output, "w", encoding="utf-8", newline="\n") as out:
                out.write(text)
        except OSError as error:
            # A failed flush at close names no file.
            raise OSError(error.errno, error.strerror, output) from None
    else:
        sys.stdout.write(text)
        sys.stdout.flush()


def run(args, argv_text):
    instance = convert(args.input, args.srlgs, args.format, args.sector, args.radius,
                       args.grid_spacing, args.csv, args.largest_component,
                       args.drop_isolated, converted_by=f"python3 -m varnak convert {argv_text}")
    write_text(instance.to_text(), args.output)
    print(f"{instance.vertex_count} vertices, {instance.edge_count} edges, "
          f"{instance.srlg_count} SRLGs"
          + (f" written to {printable(args.output)}" if args.output else ""),
          file=sys.stderr)


def zoo_to_instance_main(argv=None):
    """The command line of scripts/zoo_to_instance.py: one Zoo GraphML file, SRLGs one per
    link plus sector ducts, output as that script always wrote it."""
    parser = argparse.ArgumentParser(
        description="Convert an Internet Topology Zoo GraphML file to a Varnak instance file.")
    parser.add_argument("graphml", help="Zoo GraphML file, e.g. Abilene.graphml")
    parser.add_argument("--sector", type=float, default=20.0,
                        help="width in degrees of the sector in which links leaving a "
                             "node share a duct (default 20)")
    parser.add_argument("-o", "--output", help="instance file to write (default: stdout)")
    args = parser.parse_args(argv)
    try:
        topology = read_topology(args.graphml, "graphml")
        if not topology.links or not topology.is_connected():
            sys.exit(f"error: {printable(args.graphml)}: the graph is not connected with all "
                     "links up")
        groups = build_srlgs(topology, ["link", "duct"], args.sector)
        comments = instance_comments(
            topology, groups, "graphml",
            f"scripts/zoo_to_instance.py --sector {args.sector:g}")
        instance = topology.to_instance([(m, d) for _, m, d in groups], comments)
        write_text(instance.to_text(), args.output)
    except (VarnakError, ValueError) as error:
        sys.exit(f"error: {printable(str(error))}")
    except OSError as error:
        sys.exit(f"error: {printable(args.output or 'standard output')}: {error.strerror}")
    return 0

