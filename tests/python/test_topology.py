"""Importers on small fixture files, one network written in every format.

    A (0, 0) --1-- B (0, 1) --2-- C (0, 2)      coordinates (latitude, longitude)
    A --3-- C
"""

import pytest

from varnak import VarnakError, srlgs
from varnak.topology import (LONGEST_LINE, MAX_FILE_BYTES, Node, Topology, read_lgf,
                             read_sndlib_native, read_sndlib_xml, read_topology, read_zoo_gml,
                             read_zoo_graphml)

GRAPHML_HEAD = """<?xml version="1.0" encoding="utf-8"?>
<graphml xmlns="http://graphml.graphdrawing.org/xmlns">
  <key attr.name="Network" attr.type="string" for="graph" id="d0" />
  <key attr.name="Latitude" attr.type="double" for="node" id="d1" />
  <key attr.name="Longitude" attr.type="double" for="node" id="d2" />
  <key attr.name="label" attr.type="string" for="node" id="d3" />
  <key attr.name="hyperedge" attr.type="int" for="node" id="d4" />
  <graph edgedefault="undirected">
    <data key="d0">Line</data>
"""


def graphml(nodes, edges):
    return (GRAPHML_HEAD + "".join(f"    {node}\n" for node in nodes)
            + "".join(f'    <edge source="{a}" target="{b}" />\n' for a, b in edges)
            + "  </graph>\n</graphml>\n")


def zoo_node(node_id, label, latitude=None, longitude=None, hyperedge=False):
    data = f'<data key="d3">{label}</data>'
    if latitude is not None:
        data += f'<data key="d1">{latitude}</data><data key="d2">{longitude}</data>'
    if hyperedge:
        data += '<data key="d4">1</data>'
    return f'<node id="{node_id}">{data}</node>'


LINE_GRAPHML = graphml([zoo_node(0, "A", 0, 0), zoo_node(1, "B", 0, 1), zoo_node(2, "C", 0, 2)],
                       [(0, 1), (1, 2), (0, 2), (2, 2)])

LINE_GML = """graph [
  Network "Line"
  node [ id 0 label "A" Latitude 0 Longitude 0 ]
  node [ id 1 label "B" Latitude 0 Longitude 1 ]
  node [ id 2 label "C" Latitude 0 Longitude 2 ]
  edge [ source 0 target 1 ]
  edge [ source 1 target 2 ]
  edge [ source 0 target 2 ]
  edge [ source 2 target 2 ]
]
"""

LINE_SNDLIB = """?SNDlib native format; type: network; version: 1.0
# network Line

NODES (
  A ( 0.00 0.00 )
  B ( 1.00 0.00 )
  C ( 2.00 0.00 )
)

LINKS (
  L1 ( A B ) 0.00 0.00 0.00 0.00 ( 40.00 3290.00 )
  L2 ( B C ) 0.00 0.00 0.00 0.00 ( 40.00 3290.00 )
  L3 ( A C ) 0.00 0.00 0.00 0.00 ( )
  L4 ( C C ) 0.00 0.00 0.00 0.00 ( )
)

DEMANDS (
  D1 ( A C ) 1 1.00 UNLIMITED
)
"""

LINE_SNDLIB_XML = """<?xml version="1.0" encoding="ISO-8859-1"?>
<network xmlns="http://sndlib.zib.de/network" version="1.0">
 <networkStructure>
  <nodes coordinatesType="geographical">
   <node id="A"><coordinates><x>0.00</x><y>0.00</y></coordinates></node>
   <node id="B"><coordinates><x>1.00</x><y>0.00</y></coordinates></node>
   <node id="C"><coordinates><x>2.00</x><y>0.00</y></coordinates></node>
  </nodes>
  <links>
   <link id="L1"><source>A</source><target>B</target></link>
   <link id="L2"><source>B</source><target>C</target></link>
   <link id="L3"><source>A</source><target>C</target></link>
   <link id="L4"><source>C</source><target>C</target></link>
  </links>
 </networkStructure>
</network>
"""

LINE_LGF = """# A regional SRLG set
@nodes
label   latitude  longitude
A       0         0
B       0         1
C       0         2
@edges
                label  srlgs
A       B       e1     "r1"
B       C       e2     "r1 r2"
A       C       e3     ""
C       C       e4     ""
@srlgs
e1 e3
e2
@attributes
caption "Line"
"""

FORMATS = [
    ("line.graphml", LINE_GRAPHML, read_zoo_graphml),
    ("line.gml", LINE_GML, read_zoo_gml),
    ("line.txt", LINE_SNDLIB, read_sndlib_native),
    ("line.xml", LINE_SNDLIB_XML, read_sndlib_xml),
    ("line.lgf", LINE_LGF, read_lgf),
]


@pytest.mark.parametrize("name, text, reader", FORMATS, ids=[f[0] for f in FORMATS])
@pytest.mark.parametrize("start", [b"", b"\xef\xbb\xbf"], ids=["", "byte-order mark"])
def test_every_format_reads_the_same_network(tmp_path, name, text, reader, start):
    path = tmp_path / name
    path.write_bytes(start + text.encode("utf-8"))
    for topology in (reader(path), read_topology(path)):
        assert [node.label for node in topology.nodes] == ["A", "B", "C"]
        assert [node.coords for node in topology.nodes] == [(0, 0), (0, 1), (0, 2)]
        assert topology.links == [(0, 1), (1, 2), (0, 2)]
        assert topology.self_loops == 1
        assert topology.is_connected()


def test_sndlib_positions_off_the_globe_are_no_coordinates(tmp_path):
    path = tmp_path / "drawn.txt"
    path.write_text(LINE_SNDLIB.replace("C ( 2.00 0.00 )", "C ( 200.00 350.00 )"))
    topology = read_sndlib_native(path)
    assert [node.coords for node in topology.nodes] == [None, None, None]
    assert topology.notes == ["node positions are not longitude and latitude: no node has "
                              "coordinates"]


def test_lgf_srlgs_come_from_the_section_and_the_edge_column(tmp_path):
    path = tmp_path / "line.lgf"
    path.write_text(LINE_LGF)
    assert [members for members, _ in read_lgf(path).srlgs] == [(1, 3), (2,), (1, 2), (2,)]


def test_zoo_graphml_without_coordinates_and_with_a_hyperedge_node(tmp_path):
    # A and B have no coordinates; J is a junction where one cable branches to A, B and C.
    path = tmp_path / "junction.graphml"
    path.write_text(graphml([zoo_node(0, "A"), zoo_node(1, "B"), zoo_node(2, "C", 1, 1),
                             zoo_node(3, "None", 2, 2, hyperedge=True)],
                            [(0, 3), (1, 3), (2, 3)]))
    topology = read_zoo_graphml(path)
    assert [node.coords for node in topology.nodes] == [None, None, (1, 1), (2, 2)]
    assert [node.is_junction for node in topology.nodes] == [False, False, False, True]
    assert topology.nodes[3].label == "junction 4"


def test_largest_component_and_isolated_nodes(tmp_path):
    #  A - B - C    D - E    F (isolated)
    path = tmp_path / "parts.graphml"
    path.write_text(graphml([zoo_node(i, label) for i, label in enumerate("ABCDEF")],
                            [(0, 1), (3, 4), (1, 2)]))
    topology = read_zoo_graphml(path)
    assert not topology.is_connected()
    largest = topology.largest_component()
    assert [node.label for node in largest.nodes] == ["A", "B", "C"]
    assert largest.links == [(0, 1), (1, 2)]
    without = topology.without_isolated_nodes()
    assert [node.label for node in without.nodes] == ["A", "B", "C", "D", "E"]
    assert without.links == topology.links


MALFORMED = [
    ("bad.graphml", '<graphml>\n<graph>\n<node id="0">\n</graph>\n',
     r"bad.graphml line 4: mismatched tag"),
    ("bad.graphml", graphml([zoo_node(0, "A")], [(0, 9)]),
     r"bad.graphml line 11: edge end \"9\" is not the id of a node"),
    ("bad.graphml", graphml([zoo_node(0, "A", "north", 0)], []),
     r"bad.graphml line 10: Latitude \"north\" is not a number"),
    ("bad.graphml", graphml([zoo_node(0, "A", 91, 0)], []),
     r"bad.graphml line 10: Latitude 91 is outside -90..90"),
    ("bad.graphml", graphml([zoo_node(0, "A", "1e999", 0)], []),
     r"bad.graphml line 10: Latitude \"1e999\" is not a finite number"),
    ("bad.graphml", LINE_GRAPHML.replace('encoding="utf-8"', 'encoding="utf-7"'),
     r"bad.graphml line 1: the encoding that the XML declaration names cannot be read"),
    ("bad.gml", 'graph [\n node [ id 0 label "A" ]\n', r"bad.gml line 1: this \"\[\" is never closed"),
    ("bad.gml", 'graph [\n node [ id 0 ]\n edge [ source 0 target 5 ]\n]\n',
     r"bad.gml line 3: edge end \"5\" is not the id of a node"),
    ("bad.gml", 'graph [\n [ id 0 ]\n]\n', r"bad.gml line 2: \"\[\" has no key"),
    ("bad.txt", "NODES (\n  A ( 0.0 )\n)\nLINKS (\n)\n",
     r"bad.txt line 2: node line \"A \( 0.0 \)\" is not \"name \( x y \)\""),
    ("bad.txt", "NODES (\n  A ( 0 0 )\n)\nLINKS (\n  L1 ( A Z ) 0 0 0 0 ( )\n)\n",
     r"bad.txt line 5: edge end \"Z\" is not the id of a node"),
    ("bad.txt", "NODES (\n  A ( 0 0 )\n", r"bad.txt line 2: section NODES is never closed"),
    ("bad.txt", "NODES (\n  A ( 0 0 )\0\n)\n", r"bad.txt line 2: a NUL byte"),
    ("bad.xml", LINE_SNDLIB_XML.replace("<target>C</target></link>\n   <link id=\"L4\">",
                                        "</link>\n   <link id=\"L4\">"),
     r"bad.xml line 12: <link> needs <source> and <target>"),
    ("bad.lgf", LINE_LGF.replace("e1 e3", "e1 e9"),
     r"bad.lgf line 14: SRLG member \"e9\" is not an edge label"),
    ("bad.lgf", LINE_LGF.replace("A       C       e3", "A       X       e3"),
     r"bad.lgf line 11: end node \"X\" is not a node label"),
    # An SRLG naming e1 would name either edge.
    ("bad.lgf", LINE_LGF.replace("B       C       e2", "B       C       e1"),
     r"bad.lgf line 10: edge label \"e1\" is given twice, first at line 9"),
    ("bad.lgf", LINE_LGF.replace("e1 e3", "e1 e4"),
     r"bad.lgf line 14: SRLG member \"e4\" is the self-loop of line 12, which is dropped"),
    ("bad.lgf", LINE_LGF.replace("@srlgs", "@"), r"bad.lgf line 13: \"@\" names no section"),
    ("bad.lgf", LINE_LGF.replace('"r1 r2"', '"r1 r2'),
     r'bad.lgf line 10: a quoted value is not closed in "B +C +e2 +"r1 r2"$'),
    ("bad.lgf", LINE_LGF.replace("latitude", "lat").replace("longitude", "lon")
     .replace("B       0         1", "B       nan       1"),
     r"bad.lgf line 5: lat \"nan\" is not a finite number"),
    # Form feeds and U+2028 end lines for str.splitlines(), not for an editor.
    ("bad.lgf", LINE_LGF.replace("regional SRLG", "regional\fSRLG\u2028").replace("e1 e3",
                                                                                   "e1 e9"),
     r"bad.lgf line 14: SRLG member \"e9\" is not an edge label"),
]


@pytest.mark.parametrize("name, text, message", MALFORMED)
def test_malformed_files_are_refused_with_file_line_and_value(tmp_path, name, text, message):
    path = tmp_path / name
    path.write_text(text)
    kind = {"bad.txt": "sndlib", "bad.xml": "sndlib-xml"}.get(name)
    with pytest.raises(VarnakError, match=message) as raised:
        read_topology(path, kind)
    assert raised.value.path == str(path) and raised.value.line > 0


def test_long_character_data_is_read_whole(tmp_path):
    # 400,000 "&amp;" make 2 MB that expat hands over in one piece per entity.
    path = tmp_path / "amp.graphml"
    path.write_text(graphml([zoo_node(0, "&amp;" * 400_000)], []))
    assert read_zoo_graphml(path).nodes[0].label == "&" * 400_000


def billion_laughs():
    """1.3 KB whose nested entities would expand to 10^9 "lol"s."""
    entities = ['<!ENTITY lol "lol">'] + [
        f'<!ENTITY lol{level} "{("&lol%s;" % (level - 1 if level > 1 else "")) * 10}">'
        for level in range(1, 10)]
    return ('<?xml version="1.0"?>\n<!DOCTYPE network [\n' + "\n".join(entities)
            + '\n]>\n<network>&lol9;</network>\n')


def write(name, text):
    def make(tmp_path):
        path = tmp_path / name
        path.write_text(text)
        return path
    return make


def sparse(name, size):
    """A file of `size` bytes that takes no room on the disk."""
    def make(tmp_path):
        path = tmp_path / name
        with open(path, "wb") as file:
            file.truncate(size)
        return path
    return make


def endless(tmp_path):
    return "/dev/zero"


def with_nul_byte(tmp_path):
    return str(tmp_path / "line.gml") + "\0.csv"


def with_format(kind):
    return lambda path: read_topology(path, kind)


def read_csv(path):
    return srlgs.from_csv(Topology("one", [Node("A")], []), path)


SIZE = f"the file is larger than {MAX_FILE_BYTES} bytes"
LONG_LINE = f"line 1: line longer than {LONGEST_LINE} characters"
NUL = "line 1: a NUL byte; expected the text of a network file"

HOSTILE = [
    ("billion laughs", write("laughs.xml", billion_laughs()), with_format("sndlib-xml"),
     r"laughs.xml line 2: <!DOCTYPE network> is not accepted"),
    ("10 MB attribute", write("wide.graphml", '<graphml a="' + "x" * 10_000_000 + '"/>'),
     with_format("graphml"), r"wide.graphml line 1: <graphml> holds no <graph>"),
    ("large graphml", sparse("huge.graphml", MAX_FILE_BYTES + 1), with_format("graphml"),
     SIZE),
    ("large gml", sparse("huge.gml", MAX_FILE_BYTES + 1), with_format("gml"), SIZE),
    ("large csv", sparse("huge.csv", MAX_FILE_BYTES + 1), read_csv, SIZE),
    ("long sndlib line", write("long.txt", "NODES (\n" + "A" * (LONGEST_LINE + 1) + "\n"),
     with_format("sndlib"), f"long.txt line 2: line longer than {LONGEST_LINE} characters"),
    ("/dev/zero graphml", endless, with_format("graphml"), SIZE),
    ("/dev/zero sndlib-xml", endless, with_format("sndlib-xml"), SIZE),
    ("/dev/zero gml", endless, with_format("gml"), NUL),
    ("/dev/zero sndlib", endless, with_format("sndlib"), NUL),
    ("/dev/zero lgf", endless, with_format("lgf"), NUL),
    ("/dev/zero csv", endless, read_csv, LONG_LINE),
    # The system would open the name up to the NUL byte: another file than the one named.
    ("NUL byte in the name", with_nul_byte, with_format("gml"), "its name holds a NUL byte"),
    ("NUL byte in the csv name", with_nul_byte, read_csv, "its name holds a NUL byte"),
    ("NUL byte in a name to guess by", with_nul_byte, read_topology,
     "its name holds a NUL byte"),
]


@pytest.mark.parametrize("make, read, message", [case[1:] for case in HOSTILE],
                         ids=[case[0] for case in HOSTILE])
def test_hostile_files_are_refused_at_once(tmp_path, make, read, message):
    path = make(tmp_path)
    with pytest.raises(VarnakError, match=message) as raised:
        read(path)
    assert raised.value.path == str(path)
