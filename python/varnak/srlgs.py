"""SRLG generators: each takes a Topology and returns a list of (members, description),
members a sorted tuple of 1-based link numbers.

The Zoo and SNDlib record no conduits or shared risks, so every generator is a modelling
assumption: a link's own risk, a node's (all its links), ducts leaving a city in nearly
the same direction, regional failures (disks of radius r km), or a mapping from a CSV file.
"""

import csv
import math
import os

from .instance import VarnakError, printable, quoted
from .topology import (EARTH_RADIUS_KM, bounded_lines, distance_km, open_bounded,
                       refuse_out_of_memory)

KM_PER_DEGREE = math.pi * EARTH_RADIUS_KM / 180.0


def one_per_link(topology):
    """SRLG k holds link k alone."""
    return [((number,), "link alone") for number in range(1, len(topology.links) + 1)]


def one_per_node(topology):
    """One SRLG per node with links: all its links (the node's failure)."""
    groups = []
    for v, node in enumerate(topology.nodes):
        members = tuple(number for number, (a, b) in enumerate(topology.links, start=1)
                        if v in (a, b))
        if members:
            groups.append((members, f"node {node.label}"))
    return groups


def initial_bearing(start, end):
    """Initial great-circle bearing from start to end, in degrees [0, 360)."""
    lat1, lon1 = map(math.radians, start)
    lat2, lon2 = map(math.radians, end)
    dlon = lon2 - lon1
    y = math.sin(dlon) * math.cos(lat2)
    x = (math.cos(lat1) * math.sin(lat2)
         - math.sin(lat1) * math.cos(lat2) * math.cos(dlon))
    return math.degrees(math.atan2(y, x)) % 360.0


def ducts(topology, sector=20.0):
    """Duct SRLGs: links that leave a city through the same conduit.

    At every node with coordinates each link gets the initial great-circle bearing towards
    its other end; every maximal set of two or more links whose bearings fit in a sector
    of `sector` degrees is one duct. Links meeting at a Zoo hyperedge junction node form a
    duct too. A set found twice (a parallel pair seen from both ends) is one SRLG, described
    by all the places where it was found. Ducts come in node order, and within a node in
    the order of their sorted member lists.
    """
    nodes, links = topology.nodes, topology.links
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
        # One candidate window per link: the links within `sector` degrees clockwise of
        # it. Keep the windows not contained in another one.
        windows = {tuple(sorted(n for bearing, n in leaving
                                if (bearing - start) % 360.0 <= sector))
                   for start, _ in leaving}
        for window in sorted(windows):
            if len(window) >= 2 and not any(set(window) < set(w) for w in windows):
                add(window, "near " + node.label)
    return [(members, "duct " + " and ".join(places)) for members, places in found.items()]


def _unit_vector(point):
    lat, lon = map(math.radians, point)
    return (math.cos(lat) * math.cos(lon), math.cos(lat) * math.sin(lon), math.sin(lat))


def _cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def _dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def distance_to_link_km(point, start, end):
    """Distance from `point` to the great-circle arc from `start` to `end` (the shorter
    one), all (latitude, longitude): the arc's nearest point when it lies between the ends,
    else the nearer end."""
    p, a, b = _unit_vector(point), _unit_vector(start), _unit_vector(end)
    normal = _cross(a, b)
    length = math.sqrt(_dot(normal, normal))
    if length > 1e-15:
        normal = tuple(c / length for c in normal)
        # The foot of the perpendicular lies on the arc when it is on the inner side of
        # both ends' planes through the normal.
        foot = tuple(pc - _dot(p, normal) * nc for pc, nc in zip(p, normal))
        if _dot(_cross(a, foot), normal) >= 0 and _dot(_cross(foot, b), normal) >= 0:
            sine = max(-1.0, min(1.0, _dot(p, normal)))
            return EARTH_RADIUS_KM * abs(math.asin(sine))
    return min(distance_km(point, start), distance_km(point, end))


def links_within(topology, centre, radius_km):
    """The links (1-based) that come within `radius_km` of `centre`. A link with an end
    without coordinates has no course to measure, so no disk reaches it."""
    members = []
    for number, (a, b) in enumerate(topology.links, start=1):
        start, end = topology.nodes[a].coords, topology.nodes[b].coords
        if start is not None and end is not None and \
                distance_to_link_km(centre, start, end) <= radius_km:
            members.append(number)
    return tuple(members)


def _check_radius(radius_km):
    if not radius_km > 0:
        raise ValueError(f"radius is {radius_km}; expected a radius in km above 0")


def disks_around_nodes(topology, radius_km):
    """One SRLG per node with coordinates: the links within radius_km of it (a regional
    failure centred there). The same set from several nodes is one SRLG."""
    _check_radius(radius_km)
    found = {}
    for node in topology.nodes:
        if node.coords is None:
            continue
        members = links_within(topology, node.coords, radius_km)
        if members:
            found.setdefault(members, []).append(node.label)
    return [(members, f"disk of {radius_km:g} km around " + ", ".join(labels))
            for members, labels in found.items()]


# Each centre measures its distance to every link, some microseconds each: a million
# centres on a network of a hundred links take minutes.
MAX_GRID_CENTRES = 1_000_000


def _refuse_grid(centres, radius_km, spacing):
    raise ValueError(f"a grid of {centres} centres {spacing:g} km apart for disks of "
                     f"{radius_km:g} km is more than {MAX_GRID_CENTRES}; expected a larger "
                     "spacing (--grid-spacing KM)")


def disks_on_grid(topology, radius_km, spacing_km=None):
    """Regional failures centred on a grid that covers the nodes: rows `spacing_km` apart
    (default: the radius) from south to north, and centres along each row spacing_km apart
    from west to east. Each centre gives the links within radius_km; a set contained in
    another centre's set is left out, as every failure that hits it is part of a larger one."""
    _check_radius(radius_km)
    spacing = radius_km if spacing_km is None else spacing_km
    if not spacing > 0:
        raise ValueError(f"spacing is {spacing}; expected a distance in km above 0")
    placed = [node.coords for node in topology.nodes if node.coords is not None]
    if not placed:
        return []
    margin = radius_km / KM_PER_DEGREE
    south = max(-90.0, min(lat for lat, _ in placed) - margin)
    north = min(90.0, max(lat for lat, _ in placed) + margin)
    west = min(lon for _, lon in placed)
    east = max(lon for _, lon in placed)
    row_count = int(math.floor((north - south) * KM_PER_DEGREE / spacing)) + 1
    if row_count > MAX_GRID_CENTRES:
        _refuse_grid(f"at least {row_count}", radius_km, spacing)
    rows = []   # (latitude, kilometres per degree of longitude, margin, columns)
    for row in range(row_count):
        lat = south + row * spacing / KM_PER_DEGREE
        across = KM_PER_DEGREE * max(math.cos(math.radians(lat)), 1e-6)
        row_margin = min(radius_km / across, 180.0)
        columns = int(math.floor((east - west + 2 * row_margin) * across / spacing)) + 1
        rows.append((lat, across, row_margin, columns))
    centres = sum(columns for *_, columns in rows)
    if centres > MAX_GRID_CENTRES:
        _refuse_grid(centres, radius_km, spacing)
    found = {}
    for lat, across, row_margin, columns in rows:
        for column in range(columns):
            lon = west - row_margin + column * spacing / across
            members = links_within(topology, (lat, lon), radius_km)
            if members:
                found.setdefault(members, (lat, lon))
    sets = list(found)
    return [(members, f"disk of {radius_km:g} km at ({found[members][0]:.3f}, "
                      f"{found[members][1]:.3f})")
            for members in sets if not any(set(members) < set(other) for other in sets)]


def from_csv(topology, path):
    """SRLGs from a CSV file with a header line and the columns "srlg" and either "link"
    (a 1-based link number) or "source" and "target" (node labels; every link between the
    two). Rows of one srlg value make one SRLG; SRLGs come in the order first met."""
    try:
        return _from_csv(topology, path)
    except MemoryError:
        pass
    # Refused once the exception and the frames that hold the rows read are let go.
    refuse_out_of_memory(path)


def _from_csv(topology, path):
    labels = {}
    for v, node in enumerate(topology.nodes):
        labels.setdefault(node.label, v)
    links_between = {}
    for number, link in enumerate(topology.links, start=1):
        links_between.setdefault(frozenset(link), []).append(number)
    shown = printable(path)
    groups = {}
    reader = None
    try:
        # Bytes that are not UTF-8 become U+FFFD, as in the LGF reader: a label holding one
        # then names no node, and is refused with its line.
        with open_bounded(path, newline="", encoding="utf-8-sig", errors="replace") as file:
            reader = csv.DictReader(bounded_lines(file, path))
            columns = reader.fieldnames or []
            if "srlg" not in columns or not ("link" in columns or
                                             {"source", "target"} <= set(columns)):
                raise VarnakError(f"{shown} line 1: the header is {quoted(','.join(columns))}; "
                                  "expected srlg with link, or srlg with source and target",
                                  os.fspath(path), 1)
            for row in reader:
                line = reader.line_num
                members = groups.setdefault(row["srlg"], [])
                if "link" in columns:
                    text = (row["link"] or "").strip()
                    # ASCII digits only: isdigit() alone also takes "²", which int() refuses,
                    # and int() refuses more than 4300 digits, far more than a link number has.
                    if not (text.isascii() and text.isdigit() and len(text) <= 18) or \
                            not 1 <= int(text) <= len(topology.links):
                        raise VarnakError(f"{shown} line {line}: link {quoted(text)} is not a "
                                          f"link number from 1 to {len(topology.links)}",
                                          os.fspath(path), line)
                    members.append(int(text))
                    continue
                ends = []
                for column in ("source", "target"):
                    label = (row[column] or "").strip()
                    if label not in labels:
                        raise VarnakError(f"{shown} line {line}: {column} {quoted(label)} is "
                                          "not the label of a node", os.fspath(path), line)
                    ends.append(labels[label])
                between = links_between.get(frozenset(ends))
                if not between:
                    raise VarnakError(f"{shown} line {line}: no link joins "
                                      f"{quoted(row['source'])} and {quoted(row['target'])}",
                                      os.fspath(path), line)
                members.extend(between)
    except csv.Error as error:
        # line_num counts the lines read whole; the fault lies in the one after them.
        line = reader.line_num + 1 if reader is not None else 0
        raise VarnakError(f"{shown} line {line}: {printable(str(error))}; expected CSV rows",
                          os.fspath(path), line) from None
    except OSError as error:
        raise VarnakError(f"cannot open {shown}: {error.strerror}", os.fspath(path)) from None
    return [(tuple(sorted(set(members))), f"SRLG {srlg} of {path}")
            for srlg, members in groups.items()]
