"""SRLG generators on a hand-checked geometry: three nodes on the equator, a degree of
longitude (111.19 km) apart, and a long link from A to C that passes over B.

    A (0, 0) --1-- B (0, 1) --2-- C (0, 2)
    A ------------3-------------- C
"""

import math

import pytest

from varnak import VarnakError
from varnak import srlgs
from varnak.topology import Node, Topology, distance_km

KM_PER_DEGREE = math.pi * 6371.0 / 180.0   # 111.19 km


@pytest.fixture
def line():
    nodes = [Node("A", (0.0, 0.0)), Node("B", (0.0, 1.0)), Node("C", (0.0, 2.0))]
    return Topology("line", nodes, [(0, 1), (1, 2), (0, 2)])


def members(groups):
    return [group for group, _ in groups]


def test_one_per_link_and_one_per_node(line):
    assert members(srlgs.one_per_link(line)) == [(1,), (2,), (3,)]
    assert members(srlgs.one_per_node(line)) == [(1, 3), (1, 2), (2, 3)]


def test_ducts_join_links_that_leave_a_node_in_one_direction(line):
    # From A links 1 and 3 both head east; from C links 2 and 3 both head west; from B
    # they leave in opposite directions.
    ducts = srlgs.ducts(line, sector=20)
    assert ducts == [((1, 3), "duct near A"), ((2, 3), "duct near C")]


def test_ducts_at_a_hyperedge_junction_and_without_coordinates():
    nodes = [Node("A"), Node("B"), Node("junction 3", (5.0, 5.0), is_junction=True)]
    topology = Topology("star", nodes, [(0, 2), (1, 2)])
    assert srlgs.ducts(topology) == [((1, 2), "duct at junction 3")]


@pytest.mark.parametrize("point, start, end, expected_km", [
    ((0.5, 0.5), (0, 0), (0, 1), 0.5 * KM_PER_DEGREE),   # over the middle of the link
    ((0.0, 3.0), (0, 0), (0, 1), 2.0 * KM_PER_DEGREE),   # beyond an end: the end's distance
    ((0.0, 0.5), (0, 0), (0, 1), 0.0),                   # on the link
    ((1.0, 0.0), (0, 0), (0, 0), KM_PER_DEGREE),         # a link of no length
])
def test_distance_to_a_link(point, start, end, expected_km):
    assert srlgs.distance_to_link_km(point, start, end) == pytest.approx(expected_km, rel=1e-9,
                                                                          abs=1e-6)


@pytest.mark.parametrize("radius, expected", [
    # 50 km reaches only the links that end at or pass over a node.
    (50, [((1, 3), "disk of 50 km around A"), ((1, 2, 3), "disk of 50 km around B"),
          ((2, 3), "disk of 50 km around C")]),
    # 120 km also reaches the link beyond the neighbour, 111.19 km away: one set for all.
    (120, [((1, 2, 3), "disk of 120 km around A, B, C")]),
])
def test_disks_around_nodes(line, radius, expected):
    assert srlgs.disks_around_nodes(line, radius) == expected


@pytest.mark.parametrize("radius, expected", [
    (60, [(1,), (2,)]),      # no disk reaches both links
    (200, [(1, 2)]),         # centres between them, 167 km from each, reach both
])
def test_disks_on_a_grid(radius, expected):
    # Two parallel links three degrees (333.6 km) apart, north and south:
    #   C (3, 0) --2-- D (3, 1)
    #   A (0, 0) --1-- B (0, 1)
    nodes = [Node("A", (0.0, 0.0)), Node("B", (0.0, 1.0)), Node("C", (3.0, 0.0)),
             Node("D", (3.0, 1.0))]
    topology = Topology("parallel", nodes, [(0, 1), (2, 3)])
    assert members(srlgs.disks_on_grid(topology, radius_km=radius)) == expected


@pytest.mark.parametrize("spacing, message", [
    # 10,001 rows of some 32,000 centres each: refused once the rows are counted.
    (0.01, rf"a grid of \d+ centres 0.01 km apart for disks of 50 km is more than "
           rf"{srlgs.MAX_GRID_CENTRES};"),
    # More rows alone than the bound: refused before each row is measured.
    (1e-9, rf"a grid of at least \d+ centres 1e-09 km apart for disks of 50 km is more than "
           rf"{srlgs.MAX_GRID_CENTRES};"),
])
def test_grid_of_too_many_centres_is_refused_with_its_count(line, spacing, message):
    with pytest.raises(ValueError, match=message):
        srlgs.disks_on_grid(line, radius_km=50, spacing_km=spacing)


def test_radius_must_be_positive(line):
    with pytest.raises(ValueError, match="radius is 0"):
        srlgs.disks_around_nodes(line, 0)


@pytest.mark.parametrize("text, expected", [
    ("srlg,link\nx,1\ny,3\nx,2\n", [(1, 2), (3,)]),
    ("srlg,source,target\nbridge,A,B\nbridge,C,A\n", [(1, 3)]),
    ("\ufeffsrlg,link\nx,2\n", [(2,)]),  # a byte-order mark, as some editors write
])
def test_from_csv(line, tmp_path, text, expected):
    path = tmp_path / "srlgs.csv"
    path.write_text(text)
    assert members(srlgs.from_csv(line, path)) == expected


@pytest.mark.parametrize("text, message", [
    ("group,link\nx,1\n", "line 1: the header is \"group,link\""),
    ("srlg,link\nx,1\nx,4\n", "line 3: link \"4\" is not a link number from 1 to 3"),
    ("srlg,source,target\nx,A,Q\n", "line 2: target \"Q\" is not the label of a node"),
])
def test_from_csv_refuses_with_line_and_value(line, tmp_path, text, message):
    path = tmp_path / "srlgs.csv"
    path.write_text(text)
    with pytest.raises(VarnakError, match=message):
        srlgs.from_csv(line, path)


def test_distance_km_is_the_great_circle_distance():
    assert distance_km((0, 0), (0, 1)) == pytest.approx(KM_PER_DEGREE)
    assert distance_km((90, 0), (-90, 0)) == pytest.approx(math.pi * 6371.0)
