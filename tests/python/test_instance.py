"""varnak.Instance from NetworkX and written back: the same network gives the same doubles.

Ring of examples/ring4.txt:
    1 ---e1--- 2      SRLG 1 = {e1}
    |          |      SRLG 2 = {e2, e3}
    e4         e2     SRLG 3 = {e3}
    |          |      e4 is in no SRLG: up from the start
    4 ---e3--- 3
"""

import networkx as nx
import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import varnak
from conftest import EXAMPLES
from varnak.instance import printable

RING4 = EXAMPLES / "ring4.txt"


def same_estimate(a, b):
    first = varnak.estimate(a, 2000, seed=9, threads=1)
    second = varnak.estimate(b, 2000, seed=9, threads=1)
    return (np.array_equal(first.spectrum, second.spectrum)
            and np.array_equal(first.bim_spectra, second.bim_spectra))


def ring_graph():
    graph = nx.Graph()
    graph.add_edge("a", "b", srlgs=[1])
    graph.add_edge("b", "c", srlgs=[2])
    graph.add_edge("c", "d", srlgs=[2, 3])
    graph.add_edge("a", "d", srlgs=[])
    return graph


@pytest.mark.parametrize("build", [
    lambda: varnak.Instance.from_networkx(ring_graph(), attribute="srlgs"),
    lambda: varnak.Instance.from_networkx(
        ring_graph(), srlgs={1: [("a", "b")], 2: [("b", "c"), ("d", "c")], 3: [("c", "d")]}),
    lambda: varnak.Instance.from_networkx(varnak.Instance.read(RING4).to_networkx(),
                                          attribute="srlgs"),
])
def test_networkx_graphs_give_the_doubles_of_the_file(build):
    instance = build()
    assert (instance.vertex_count, instance.edge_count, instance.srlg_count) == (4, 4, 3)
    assert same_estimate(instance, varnak.Instance.read(RING4))
    assert varnak.exact(instance).spectrum.tolist() == pytest.approx([0, 2 / 3, 1])


def test_multigraph_keeps_parallel_edges_apart():
    graph = nx.MultiGraph()
    graph.add_edge(1, 2, key="x", srlg="north")
    graph.add_edge(1, 2, key="y", srlg="south")
    instance = varnak.Instance.from_networkx(graph, attribute="srlg")
    assert instance.edges == {1: (1, 2), 2: (1, 2)}
    assert instance.srlgs == {1: [1], 2: [2]}
    assert instance.srlg_labels == {1: "north", 2: "south"}
    # Either link connects the two vertices: one SRLG up is enough.
    assert varnak.exact(instance).spectrum.tolist() == [1.0, 1.0]


@pytest.mark.parametrize("graph_type, edges", [
    (nx.DiGraph, [("a", "b"), ("b", "a")]),
    (nx.MultiDiGraph, [("a", "b", 0), ("b", "a", 0)]),
])
def test_a_directed_graph_gives_each_direction_its_own_srlg(graph_type, edges):
    """a->b and b->a are two links: each SRLG names its own, neither is left in no SRLG."""
    graph = graph_type()
    graph.add_edge("a", "b")
    graph.add_edge("b", "a")
    instance = varnak.Instance.from_networkx(graph, srlgs={1: [edges[0]], 2: [edges[1]]})
    assert instance.srlgs == {1: [1], 2: [2]}


@pytest.mark.parametrize("arguments, message", [
    ({"srlgs": {1: [("a", "z")]}}, "SRLG 1 lists ('a', 'z'), which is not an edge"),
    ({"attribute": "srlgs", "free_edges": False}, "edge ('a', 'd') is in no SRLG"),
    ({}, "give either srlgs"),
])
def test_from_networkx_refuses(arguments, message):
    with pytest.raises((varnak.VarnakError, ValueError), match=message.replace("(", r"\(")
                       .replace(")", r"\)")):
        varnak.Instance.from_networkx(ring_graph(), **arguments)


@pytest.mark.parametrize("arguments, message", [
    ((3, [(1, 4)], [[1]]), "end vertex 4 of edge 1 is outside 1..3"),
    ((3, [(1, 2)], []), "SRLGNUM 0 leaves no SRLG to estimate"),
    ((2**31, [(1, 2)], [[1]]), "VNUM 2147483648 is not a 32-bit signed integer"),
    ((True, [(1, 1)], [[1]]), "VNUM True is not an integer"),
])
def test_instance_refuses_what_the_reader_refuses(arguments, message):
    with pytest.raises(varnak.VarnakError, match=message):
        varnak.Instance(*arguments)


def test_written_instance_reads_back_the_same(tmp_path):
    original = varnak.Instance.read(RING4)
    path = tmp_path / "ring4.txt"
    original.write(path)
    again = varnak.Instance.read(path)
    assert again.edges == original.edges and again.srlgs == original.srlgs
    assert [line for line in path.read_text().splitlines()] == [
        line for line in RING4.read_text().splitlines() if not line.startswith("#")]
    assert same_estimate(original, again)


def test_a_path_with_a_nul_byte_names_no_file():
    """The system would read the name up to the NUL byte, another file than the one named."""
    with pytest.raises(varnak.VarnakError, match="its name holds a NUL byte"):
        varnak.Instance.read(str(RING4) + "\0x")


# Bytes where UTF-8 is easy to get wrong: controls of both kinds, a line separator, a
# surrogate, a code point past U+10FFFF, an overlong form and a sequence cut short.
TRICKY_BYTES = [b"\x1b", b"\x00", b"\x7f", b"\t", b"\xc2\x9b", b"\xc2\x85", b"\xc2\xa0",
                b"\xe2\x80\xa8", b"\xed\xa0\x80", b"\xf4\x90\x80\x80", b"\xc0\x80", b"\xe2\x82",
                b"\xff", "é".encode(), "\U0001f600".encode(), b"a", b"\\"]


@settings(max_examples=300, deadline=None, database=None, derandomize=True)
@given(data=st.binary(max_size=40) | st.lists(st.sampled_from(TRICKY_BYTES), max_size=12)
       .map(b"".join))
def test_printable_escapes_as_the_cpp_code_does(data):
    """The converter escapes names in pure Python, so that it runs without the C++ module;
    its text must be the C++ printable()'s to the byte, which Python sees decoded as a
    path is, bytes that are not UTF-8 kept as surrogates."""
    shown = printable(data.decode("utf-8", "surrogateescape"))
    assert shown == varnak.native.module().printable(data)
    assert printable(shown) == shown
