"""Topologies read from public data sets, before SRLGs are added.

Readers: Internet Topology Zoo GraphML and GML, SNDlib native and XML, and LEMON's LGF
with SRLG sections. Each returns a Topology: nodes with optional coordinates, links in
file order, and the SRLGs the file lists itself (LGF only). Every refusal raises
VarnakError naming the file, the line and the value at fault.
"""

import functools
import math
import os
import re
import xml.parsers.expat

from .instance import Instance, VarnakError, printable, quoted

ZOO_CITATION = ('S. Knight, H. X. Nguyen, N. Falkner, R. Bowden, M. Roughan, '
                '"The Internet Topology Zoo", IEEE JSAC 29(9):1765-1775, 2011; '
                'http://www.topology-zoo.org/')
EARTH_RADIUS_KM = 6371.0


class Node:
    def __init__(self, label, coords=None, is_junction=False):
        self.label = label            # a name for comments and plots
        self.coords = coords          # (latitude, longitude) in degrees, or None
        self.is_junction = is_junction  # a Zoo "hyperedge" node: where one cable branches

    def __repr__(self):
        return f"Node({self.label!r}, {self.coords!r})"


class Topology:
    """nodes: list of Node; links: list of (u, v) 0-based node indices, in file order;
    srlgs: list of (members, description) given by the file, members 1-based link numbers."""

    def __init__(self, name, nodes, links, source=None, self_loops=0, srlgs=(), notes=()):
        self.name = name
        self.nodes = list(nodes)
        self.links = list(links)
        self.source = source
        self.self_loops = self_loops
        self.srlgs = list(srlgs)
        self.notes = list(notes)

    def components(self):
        """The node sets joined by links, largest first (ties: the one with the first node)."""
        parent = list(range(len(self.nodes)))

        def find(x):
            while parent[x] != x:
                parent[x] = parent[parent[x]]
                x = parent[x]
            return x

        for a, b in self.links:
            parent[find(a)] = find(b)
        groups = {}
        for v in range(len(self.nodes)):
            groups.setdefault(find(v), []).append(v)
        return sorted(groups.values(), key=lambda group: (-len(group), group[0]))

    def is_connected(self):
        return len(self.nodes) > 0 and len(self.components()) == 1

    def restricted(self, kept_nodes, note):
        """The topology on `kept_nodes` alone: links between them keep their order, and the
        file's SRLGs keep their members that remain (those left empty are dropped)."""
        kept = sorted(kept_nodes)
        new_index = {old: new for new, old in enumerate(kept)}
        new_link = {}
        links = []
        for number, (a, b) in enumerate(self.links, start=1):
            if a in new_index and b in new_index:
                links.append((new_index[a], new_index[b]))
                new_link[number] = len(links)
        srlgs = []
        for members, description in self.srlgs:
            remaining = tuple(new_link[m] for m in members if m in new_link)
            if remaining:
                srlgs.append((remaining, description))
        return Topology(self.name, [self.nodes[v] for v in kept], links, self.source,
                        self.self_loops, srlgs, self.notes + [note])

    def largest_component(self):
        """The largest connected part; a note tells how many nodes were left out."""
        parts = self.components()
        if len(parts) <= 1:
            return self
        left_out = len(self.nodes) - len(parts[0])
        return self.restricted(parts[0], f"largest component kept: {left_out} node(s) in "
                                         f"{len(parts) - 1} other component(s) left out")

    def without_isolated_nodes(self):
        linked = {v for link in self.links for v in link}
        if len(linked) == len(self.nodes):
            return self
        return self.restricted(linked, f"{len(self.nodes) - len(linked)} isolated node(s) "
                                       "dropped")

    def to_instance(self, srlgs, comments=()):
        """An Instance with vertices 1..V in node order, edges 1..E in link order, and
        SRLGs 1..S from `srlgs`, a list of (members, description) with 1-based link
        numbers. Links in no SRLG are free edges, up from the start."""
        numbered = [list(members) for members, _ in srlgs]
        return Instance(len(self.nodes), [(a + 1, b + 1) for a, b in self.links], numbered,
                        edge_count=len(self.links), srlg_count=len(numbered),
                        comments=comments, vertex_labels=[n.label for n in self.nodes],
                        name=self.source)

    def to_networkx(self):
        """A MultiGraph on nodes 0..V-1 (attributes label, latitude, longitude); edge keys
        are the 1-based link numbers."""
        import networkx as nx
        graph = nx.MultiGraph(name=self.name)
        for v, node in enumerate(self.nodes):
            attributes = {"label": node.label}
            if node.coords:
                attributes["latitude"], attributes["longitude"] = node.coords
            graph.add_node(v, **attributes)
        for number, (a, b) in enumerate(self.links, start=1):
            graph.add_edge(a, b, key=number)
        return graph


def distance_km(a, b):
    """Great-circle distance between two (latitude, longitude) points, by the haversine."""
    lat1, lon1, lat2, lon2 = map(math.radians, (*a, *b))
    h = (math.sin((lat2 - lat1) / 2) ** 2
         + math.cos(lat1) * math.cos(lat2) * math.sin((lon2 - lon1) / 2) ** 2)
    return 2 * EARTH_RADIUS_KM * math.asin(min(1.0, math.sqrt(h)))


def _refuse(path, line, message):
    """Raises the refusal; `message` has its values made printable already (quoted())."""
    shown = printable(path)
    where = f"{shown} line {line}" if line else shown
    raise VarnakError(f"{where}: {message}", os.fspath(path), line or 0)


# Network files are small (the Topology Zoo's largest is under 2 MB); these bounds end a
# device, an endless file or a mistaken path within a second instead of reading until
# memory runs out.
MAX_FILE_BYTES = 64 * 1024 * 1024
LONGEST_LINE = 1024 * 1024


def _refuse_size(path):
    _refuse(path, 0, f"the file is larger than {MAX_FILE_BYTES} bytes; expected a network "
                     f"file of at most {MAX_FILE_BYTES} bytes")


def _refuse_io(path, doing, error):
    raise VarnakError(f"cannot {doing} {printable(path)}: {error.strerror}",
                      os.fspath(path)) from None


def open_bounded(path, **options):
    """`path` opened for reading, refused at once when it is a regular file larger than
    MAX_FILE_BYTES (a device or a pipe tells no size: its readers count what they read)."""
    try:
        file = open(path, **options)
    except OSError as error:
        _refuse_io(path, "open", error)
    except ValueError:
        # The system would open the name up to the NUL byte, another file than the one named.
        raise VarnakError(f"cannot open {printable(path)}: its name holds a NUL byte",
                          os.fspath(path)) from None
    if os.fstat(file.fileno()).st_size > MAX_FILE_BYTES:
        file.close()
        _refuse_size(path)
    return file


def refuse_out_of_memory(path):
    """Raises the refusal of a file that took all the memory there is to read."""
    raise VarnakError(f"{printable(path)}: more than the memory there is to read it in; "
                      "expected a smaller network file", os.fspath(path))


def _out_of_memory_refused(reader):
    """`reader` with a MemoryError made a refusal of the file. A file within MAX_FILE_BYTES
    can still hold more nodes than memory: under a limit on memory the reader then refuses
    it as it refuses any other file."""
    @functools.wraps(reader)
    def read(path):
        try:
            return reader(path)
        except MemoryError:
            pass
        # Refused only here, once the exception is let go, and with it the frames that hold
        # what the reader made: inside the except clause they still take the memory.
        refuse_out_of_memory(path)
    return read


def _read_bounded_bytes(path):
    """All of the file's bytes, refused beyond MAX_FILE_BYTES. Read a megabyte at a time:
    read(MAX_FILE_BYTES + 1) would take that much memory for a file of a few bytes."""
    blocks, total = [], 0
    with open_bounded(path, mode="rb") as file:
        while total <= MAX_FILE_BYTES:
            try:
                block = file.read(LONGEST_LINE)
            except OSError as error:
                _refuse_io(path, "read", error)
            if not block:
                break
            blocks.append(block)
            total += len(block)
    if total > MAX_FILE_BYTES:
        _refuse_size(path)
    return b"".join(blocks)


def _refuse_long_line(path, number):
    _refuse(path, number, f"line longer than {LONGEST_LINE} characters; expected the lines "
                          "of a network file")


def bounded_lines(file, path):
    """The lines of an open text file, each with its end, refused at the first longer than
    LONGEST_LINE characters or once more than MAX_FILE_BYTES characters are read."""
    total, number = 0, 0
    while True:
        try:
            # Room for the longest line and a two-character end ("\r\n" with newline="").
            line = file.readline(LONGEST_LINE + 2)
        except OSError as error:
            _refuse_io(path, "read", error)
        if not line:
            return
        number += 1
        if len(line.rstrip("\r\n")) > LONGEST_LINE:
            _refuse_long_line(path, number)
        total += len(line)
        if total > MAX_FILE_BYTES:
            _refuse_size(path)
        yield line


def _read_bounded_text(path):
    """The file's text, its line ends made "\n" and bytes that are not UTF-8 made U+FFFD,
    a byte-order mark left out. Refused at a NUL byte, which no network text holds (the file
    is binary, or a device), at the first line longer than LONGEST_LINE characters and
    beyond MAX_FILE_BYTES characters.

    Read in blocks, not lines: an endless stream of empty lines then costs a few copies of
    MAX_FILE_BYTES, not an object per line."""
    blocks, total = [], 0
    number, open_length = 1, 0  # the line the next block starts in, and its length so far
    with open_bounded(path, encoding="utf-8-sig", errors="replace") as file:
        while True:
            try:
                # No longer than LONGEST_LINE: a line too long then always runs over from
                # the blocks before, so only the first line of each block is measured.
                block = file.read(LONGEST_LINE)
            except OSError as error:
                _refuse_io(path, "read", error)
            if not block:
                break
            total += len(block)
            if total > MAX_FILE_BYTES:
                _refuse_size(path)
            nul = block.find("\0")
            if nul >= 0:
                _refuse(path, number + block.count("\n", 0, nul),
                        "a NUL byte; expected the text of a network file")
            first_end = block.find("\n")
            if open_length + (len(block) if first_end < 0 else first_end) > LONGEST_LINE:
                _refuse_long_line(path, number)
            if first_end < 0:
                open_length += len(block)
            else:
                number += block.count("\n")
                open_length = len(block) - block.rfind("\n") - 1
            blocks.append(block)
    return "".join(blocks)


def _numbered_lines(text):
    """(number, line) for each line of `text`, split at "\n" alone, so that the numbers are
    the ones an editor shows (str.splitlines() also splits at form feeds and U+2028). One
    at a time: a file of millions of empty lines is never held as a list of them."""
    start, number = 0, 1
    while start < len(text):
        end = text.find("\n", start)
        if end < 0:
            end = len(text)
        yield number, text[start:end]
        start, number = end + 1, number + 1


def _coordinate(text, path, line, what, limit):
    try:
        value = float(text)
    except (TypeError, ValueError):
        _refuse(path, line, f"{what} {quoted(text)} is not a number")
    if not math.isfinite(value):
        _refuse(path, line, f"{what} {quoted(text)} is not a finite number")
    if not -limit <= value <= limit:
        _refuse(path, line, f"{what} {value:g} is outside -{limit}..{limit}")
    return value


# --- XML, with the line of every element the reader looks at ---------------------------

class _Element:
    __slots__ = ("tag", "attributes", "line", "children", "text")

    def __init__(self, tag, attributes, line):
        self.tag = tag
        self.attributes = attributes
        self.line = line
        self.children = []
        self.text = ""

    def find_all(self, tag):
        return [child for child in self.children if child.tag == tag]

    def find(self, tag):
        found = self.find_all(tag)
        return found[0] if found else None


def _local_name(tag):
    return tag.rsplit("}", 1)[-1].rsplit(" ", 1)[-1]  # namespace left out


def _read_xml(path, wanted):
    """The root element, whatever its tag, with the elements that `wanted` names below it:
    a dict from the tag of a child to what is wanted below that child, in turn. Every other
    element is passed over with all it holds, so that a file of millions of elements that
    no reader looks at costs no memory for them."""
    data = _read_bounded_bytes(path)
    parser = xml.parsers.expat.ParserCreate(namespace_separator=" ")
    document = _Element("document", {}, 0)
    stack = [(document, None)]  # the open elements kept, each with what is wanted below it
    texts = [[]]  # the text pieces of each open element kept, joined once at its end
    passed_over = 0  # how deep inside an element passed over the parser is

    def start(tag, attributes):
        nonlocal passed_over
        parent, below = stack[-1]
        name = _local_name(tag)
        if passed_over or (parent is not document and name not in below):
            passed_over += 1
            return
        element = _Element(name, attributes, parser.CurrentLineNumber)
        parent.children.append(element)
        stack.append((element, wanted if parent is document else below[name]))
        texts.append([])

    def end(tag):
        nonlocal passed_over
        if passed_over:
            passed_over -= 1
            return
        stack.pop()[0].text = "".join(texts.pop())

    def text(data):
        if not passed_over:
            texts[-1].append(data)

    def doctype(name, system_id, public_id, has_internal_subset):
        # Network files need no document type; its entities could expand a small file
        # into gigabytes of text (the "billion laughs").
        _refuse(path, parser.CurrentLineNumber, f"<!DOCTYPE {printable(name)}> is not "
                                                "accepted; expected XML without a document "
                                                "type")

    parser.StartElementHandler = start
    parser.EndElementHandler = end
    parser.CharacterDataHandler = text
    parser.StartDoctypeDeclHandler = doctype
    try:
        parser.Parse(data, True)
    except xml.parsers.expat.ExpatError as error:
        _refuse(path, error.lineno, f"{xml.parsers.expat.ErrorString(error.code)}; expected "
                                    "well-formed XML")
    except (LookupError, ValueError) as error:
        # An encoding that expat does not know is looked up among Python's codecs, which
        # refuse a name they do not know, a codec of bytes to bytes and every multi-byte one.
        _refuse(path, parser.CurrentLineNumber, "the encoding that the XML declaration names "
                                                f"cannot be read: {printable(str(error))}; "
                                                "expected UTF-8, UTF-16 or a one-byte encoding")
    return document.children[0]


def _check_root(root, path, expected):
    if root.tag != expected:
        _refuse(path, root.line, f"the root element is <{printable(root.tag)}>; expected "
                                 f"<{expected}>")


# --- Internet Topology Zoo ---------------------------------------------------------------

def _zoo_node(attributes, index, path, line):
    coords = None
    if "Latitude" in attributes and "Longitude" in attributes:
        coords = (_coordinate(attributes["Latitude"], path, line, "Latitude", 90),
                  _coordinate(attributes["Longitude"], path, line, "Longitude", 180))
    is_junction = str(attributes.get("hyperedge", "")).strip() == "1"
    label = " ".join(str(attributes.get("label", "")).split())
    if label in ("", "None"):  # junction nodes carry the label "None"
        label = ("junction " if is_junction else "node ") + str(index + 1)
    return Node(label, coords, is_junction)


def _zoo_topology(path, name, nodes, index_of, edge_ends):
    links, self_loops = [], 0
    for source, target, line in edge_ends:
        ends = []
        for end, which in ((source, "source"), (target, "target")):
            if end is None:
                _refuse(path, line, f"the edge has no {which}")
            if end not in index_of:
                _refuse(path, line, f"edge end {quoted(end)} is not the id of a node")
            ends.append(index_of[end])
        if ends[0] == ends[1]:
            self_loops += 1
        else:
            links.append(tuple(ends))
    return Topology(name, nodes, links, os.path.basename(path), self_loops)


@_out_of_memory_refused
def read_zoo_graphml(path):
    """A Topology Zoo GraphML file: nodes and links in file order, self-loops dropped
    (counted in self_loops), coordinates from Latitude and Longitude when both are there."""
    root = _read_xml(path, {"key": {},
                            "graph": {"data": {}, "node": {"data": {}}, "edge": {}}})
    _check_root(root, path, "graphml")
    key_names = {key.attributes.get("id"): key.attributes.get("attr.name")
                 for key in root.find_all("key")}

    def attributes(element):
        return {key_names.get(data.attributes.get("key")): data.text.strip()
                for data in element.find_all("data")}

    graph = root.find("graph")
    if graph is None:
        _refuse(path, root.line, "<graphml> holds no <graph>")
    graph_attributes = attributes(graph)
    name = graph_attributes.get("Network") or graph_attributes.get("label") or \
        os.path.basename(path)
    nodes, index_of = [], {}
    for element in graph.find_all("node"):
        node_id = element.attributes.get("id")
        if node_id is None:
            _refuse(path, element.line, "<node> has no id")
        if node_id in index_of:
            _refuse(path, element.line, f"node id {quoted(node_id)} is given twice")
        index_of[node_id] = len(nodes)
        nodes.append(_zoo_node(attributes(element), len(nodes), path, element.line))
    edge_ends = [(e.attributes.get("source"), e.attributes.get("target"), e.line)
                 for e in graph.find_all("edge")]
    return _zoo_topology(path, name, nodes, index_of, edge_ends)


# Every character starts one of these, so the tokens follow one another without a gap;
# a quote alone is a string that is never closed.
_GML_TOKEN = re.compile(r'\s+|#[^\n]*|"[^"]*"|\[|\]|[^\s\[\]"]+|"')


def _gml_tokens(path):
    line = 1
    for match in _GML_TOKEN.finditer(_read_bounded_text(path)):
        token = match.group()
        if token == '"':
            _refuse(path, line, "a string is not closed; expected a closing \"")
        if not token[0].isspace() and token[0] != "#":
            yield token, line
        line += token.count("\n")


def _gml_list(tokens, path):
    """The file's key-value pairs, (key, value, line), a value being text or a list of
    pairs. Lists are kept on a list of their own, not on Python's stack, which a file of
    thousands of nested lists would overflow."""
    top = items = []
    open_lists = []  # (pairs of the list around, key, line of the key, line of its "[")
    key = None
    for token, line in tokens:
        if key is None:
            if token == "]":
                if not open_lists:
                    _refuse(path, line, "\"]\" closes nothing")
                around, key_of_list, key_line, _ = open_lists.pop()
                around.append((key_of_list, items, key_line))
                items = around
            elif token == "[":
                _refuse(path, line, "\"[\" has no key; expected key [ ... ]")
            else:
                key, key_line = token, line
        elif token == "[":
            open_lists.append((items, key, key_line, line))
            items, key = [], None
        elif token == "]":
            _refuse(path, line, f"key {quoted(key)} has no value before \"]\"")
        else:
            items.append((key, token[1:-1] if token.startswith('"') else token, key_line))
            key = None
    if key is not None:
        _refuse(path, key_line, f"key {quoted(key)} has no value")
    if open_lists:
        _refuse(path, open_lists[-1][3], "this \"[\" is never closed")
    return top


@_out_of_memory_refused
def read_zoo_gml(path):
    """A Topology Zoo GML file, read as read_zoo_graphml reads GraphML."""
    top = _gml_list(_gml_tokens(path), path)
    graphs = [(value, line) for key, value, line in top if key == "graph"]
    if not graphs:
        _refuse(path, 0, "no \"graph [\" list; expected a GML graph")
    graph, graph_line = graphs[0]
    graph_attributes = {key: value for key, value, _ in graph if isinstance(value, str)}
    name = graph_attributes.get("Network") or graph_attributes.get("label") or \
        os.path.basename(path)
    nodes, index_of, edge_ends = [], {}, []
    for key, value, line in graph:
        if key not in ("node", "edge"):
            continue
        if isinstance(value, str):
            _refuse(path, line, f"{key} {quoted(value)} is not a list; expected {key} [ ... ]")
        attributes = {k: v for k, v, _ in value if isinstance(v, str)}
        if key == "node":
            if "id" not in attributes:
                _refuse(path, line, "node has no id")
            if attributes["id"] in index_of:
                _refuse(path, line, f"node id {quoted(attributes['id'])} is given twice")
            index_of[attributes["id"]] = len(nodes)
            nodes.append(_zoo_node(attributes, len(nodes), path, line))
        else:
            edge_ends.append((attributes.get("source"), attributes.get("target"), line))
    return _zoo_topology(path, name, nodes, index_of, edge_ends)


# --- SNDlib ------------------------------------------------------------------------------

# Names hold no parenthesis: with \S+ in their place a line of parentheses backtracks
# through every way of splitting it, and a line of a megabyte never ends.
_SNDLIB_NODE = re.compile(r"([^\s()]+)\s*\(\s*([^\s()]+)\s+([^\s()]+)\s*\)")
_SNDLIB_LINK = re.compile(r"([^\s()]+)\s*\(\s*([^\s()]+)\s+([^\s()]+)\s*\)")


@_out_of_memory_refused
def read_sndlib_native(path):
    """An SNDlib network in the native text format: the NODES section ("name ( x y )",
    x the longitude and y the latitude) and the LINKS section ("id ( source target ) ...");
    the other sections are passed over."""
    name = os.path.splitext(os.path.basename(path))[0]
    section, number = None, 0
    nodes, index_of, link_ends = [], {}, []
    seen_sections = set()
    for number, text in _numbered_lines(_read_bounded_text(path)):
        stripped = text.split("#", 1)[0].strip()
        if not stripped or stripped.startswith("?"):
            continue
        if section is None:
            head = re.match(r"^([A-Z_]+)\s*\($", stripped)
            if head is None:
                _refuse(path, number, f"{quoted(stripped)} is not a section head; expected a "
                                      "line such as NODES (")
            section = head.group(1)
            seen_sections.add(section)
            continue
        if stripped == ")":
            section = None
            continue
        if section == "NODES":
            match = _SNDLIB_NODE.fullmatch(stripped)
            if match is None:
                _refuse(path, number, f"node line {quoted(stripped)} is not \"name ( x y )\"")
            label, x, y = match.groups()
            if label in index_of:
                _refuse(path, number, f"node {quoted(label)} is given twice")
            coords = (_coordinate(y, path, number, "y", math.inf),
                      _coordinate(x, path, number, "x", math.inf))
            index_of[label] = len(nodes)
            nodes.append(Node(label, coords))
        elif section == "LINKS":
            match = _SNDLIB_LINK.match(stripped)
            if match is None:
                _refuse(path, number, f"link line {quoted(stripped)} is not \"id ( source "
                                      "target ) ...\"")
            link_ends.append((match.group(2), match.group(3), number))
    if section is not None:
        _refuse(path, number, f"section {section} is never closed; expected \")\"")
    for needed in ("NODES", "LINKS"):
        if needed not in seen_sections:
            _refuse(path, 0, f"no {needed} section; expected a line such as {needed} (")
    topology = _zoo_topology(path, name, nodes, index_of, link_ends)
    # Some networks give drawing positions rather than longitude and latitude; the format
    # does not say which, so positions that cannot be on the globe are taken as such.
    if not all(abs(lat) <= 90 and abs(lon) <= 180 for lat, lon in
               (node.coords for node in topology.nodes)):
        for node in topology.nodes:
            node.coords = None
        topology.notes.append("node positions are not longitude and latitude: no node has "
                              "coordinates")
    return topology


@_out_of_memory_refused
def read_sndlib_xml(path):
    """An SNDlib network in XML: <networkStructure> with <nodes> and <links>. Coordinates
    count as latitude and longitude only when <nodes coordinatesType="geographical">."""
    root = _read_xml(path, {"networkStructure": {
        "nodes": {"node": {"coordinates": {"x": {}, "y": {}}}},
        "links": {"link": {"source": {}, "target": {}}}}})
    _check_root(root, path, "network")
    structure = root.find("networkStructure")
    if structure is None:
        _refuse(path, root.line, "<network> holds no <networkStructure>")
    nodes_element = structure.find("nodes")
    links_element = structure.find("links")
    if nodes_element is None or links_element is None:
        _refuse(path, structure.line, "<networkStructure> needs <nodes> and <links>")
    geographical = nodes_element.attributes.get("coordinatesType", "geographical") == \
        "geographical"
    nodes, index_of = [], {}
    for element in nodes_element.find_all("node"):
        label = element.attributes.get("id")
        if label is None:
            _refuse(path, element.line, "<node> has no id")
        if label in index_of:
            _refuse(path, element.line, f"node id {quoted(label)} is given twice")
        coords = None
        place = element.find("coordinates")
        if geographical and place is not None:
            x, y = place.find("x"), place.find("y")
            if x is None or y is None:
                _refuse(path, place.line, "<coordinates> needs <x> and <y>")
            coords = (_coordinate(y.text.strip(), path, y.line, "latitude (y)", 90),
                      _coordinate(x.text.strip(), path, x.line, "longitude (x)", 180))
        index_of[label] = len(nodes)
        nodes.append(Node(label, coords))
    link_ends = []
    for element in links_element.find_all("link"):
        source, target = element.find("source"), element.find("target")
        if source is None or target is None:
            _refuse(path, element.line, "<link> needs <source> and <target>")
        link_ends.append((source.text.strip(), target.text.strip(), element.line))
    name = os.path.splitext(os.path.basename(path))[0]
    return _zoo_topology(path, name, nodes, index_of, link_ends)


# --- LEMON Graph Format ------------------------------------------------------------------

_LGF_SPACE = re.compile(r"\s*")
_LGF_WORD = re.compile(r'[^\s"]+')
_LGF_QUOTED_RUN = re.compile(r'[^"\\]*')


def _lgf_fields(text, path, line):
    """The values of a line: words, and quoted values in which \" stands for a quote.

    Each expression repeats a single character class: one that repeats a group per
    character, as "(?:[^"\\]|\\.)*" does, keeps some 60 bytes per character to backtrack
    with, and a quoted value of a megabyte would cost 60 MB."""
    fields = []
    position = _LGF_SPACE.match(text).end()
    while position < len(text):
        if text[position] != '"':
            end = _LGF_WORD.match(text, position).end()
            fields.append(text[position:end])
        else:
            end = position + 1
            while True:
                end = _LGF_QUOTED_RUN.match(text, end).end()
                if end < len(text) and text[end] == '"':
                    break
                if end + 1 >= len(text):  # the line ends, or ends in a backslash
                    _refuse(path, line, "a quoted value is not closed in "
                                        f"{quoted(text.strip())}")
                end += 2  # a backslash and the character it escapes
            end += 1
            fields.append(text[position + 1:end - 1].replace('\\"', '"'))
        position = _LGF_SPACE.match(text, end).end()
    return fields


def _lgf_coords(row, path, line):
    for latitude_key, longitude_key in (("latitude", "longitude"), ("lat", "lon")):
        if latitude_key in row and longitude_key in row:
            return (_coordinate(row[latitude_key], path, line, latitude_key, 90),
                    _coordinate(row[longitude_key], path, line, longitude_key, 180))
    for key in ("coords", "coordinates"):
        if key in row:
            point = re.fullmatch(r"\(\s*([^,\s]+)\s*,\s*([^,\s]+)\s*\)", row[key])
            if point is None:
                _refuse(path, line, f"{key} {quoted(row[key])} is not a point; expected "
                                    "(x,y)")
            return (_coordinate(point.group(2), path, line, f"{key} y (latitude)", 90),
                    _coordinate(point.group(1), path, line, f"{key} x (longitude)", 180))
    return None


@_out_of_memory_refused
def read_lgf(path):
    """A LEMON Graph Format file with SRLGs.

    @nodes and @edges (or @arcs) are LEMON tables: a line of column names, then one row per
    node or edge; an edge row starts with its two end nodes' labels. Nodes are named by
    their "label" column; coordinates come from "latitude" and "longitude" columns or a
    "coords" point "(longitude,latitude)". Edges are named by their "label" column, or
    else by their row number counted from 0.

    SRLGs come from an @srlgs (or @srlg) section, one SRLG per line listing the labels of
    its edges, and from an "srlgs" column of @edges holding the SRLG ids of each edge
    (several in one quoted value, separated by spaces or commas). Other sections are
    passed over.
    """
    nodes, index_of = [], {}
    links, link_of_label = [], {}  # the links, and the link number of each edge label
    line_of_edge_label = {}  # every edge row's label, self-loops' too, and the row's line
    srlg_rows = []          # (edge labels, line)
    srlgs_by_id = {}        # id from the edges' "srlgs" column -> link numbers
    self_loops = 0
    section, columns = None, None
    name = os.path.splitext(os.path.basename(path))[0]
    for number, text in _numbered_lines(_read_bounded_text(path)):
        stripped = text.strip()
        if not stripped or stripped.startswith("#"):
            continue
        if stripped.startswith("@"):
            head = stripped[1:].split()
            if not head:
                _refuse(path, number, "\"@\" names no section; expected a line such as "
                                      "@nodes")
            section = head[0].lower()
            columns = None
            continue
        fields = _lgf_fields(stripped, path, number)
        if section in ("nodes", "edges", "arcs") and columns is None:
            columns = fields
            continue
        if section == "nodes":
            if len(fields) != len(columns):
                _refuse(path, number, f"node row {quoted(stripped)} has {len(fields)} values "
                                      f"for {len(columns)} columns")
            row = dict(zip(columns, fields))
            label = row.get("label", str(len(nodes)))
            if label in index_of:
                _refuse(path, number, f"node label {quoted(label)} is given twice")
            index_of[label] = len(nodes)
            nodes.append(Node(label, _lgf_coords(row, path, number)))
        elif section in ("edges", "arcs"):
            if len(fields) != len(columns) + 2:
                _refuse(path, number, f"edge row {quoted(stripped)} has {len(fields)} "
                                      f"values; expected 2 end nodes and {len(columns)} "
                                      "columns")
            row = dict(zip(columns, fields[2:]))
            ends = []
            for end in fields[:2]:
                if end not in index_of:
                    _refuse(path, number, f"end node {quoted(end)} is not a node label")
                ends.append(index_of[end])
            row_label = row.get("label", str(len(links) + self_loops))
            # An SRLG names its edges by label: a label given twice would name either.
            if row_label in line_of_edge_label:
                _refuse(path, number, f"edge label {quoted(row_label)} is given twice, first "
                                      f"at line {line_of_edge_label[row_label]}")
            line_of_edge_label[row_label] = number
            if ends[0] == ends[1]:
                self_loops += 1
                continue
            links.append(tuple(ends))
            link_of_label[row_label] = len(links)
            for srlg in re.split(r"[\s,]+", row.get("srlgs", row.get("srlg", "")).strip()):
                if srlg:
                    srlgs_by_id.setdefault(srlg, []).append(len(links))
        elif section in ("srlgs", "srlg"):
            srlg_rows.append((fields, number))
    if not nodes:
        _refuse(path, 0, "no @nodes section with rows; expected a LEMON graph file")
    srlgs = []
    for labels, number in srlg_rows:
        members = []
        for label in labels:
            if label in link_of_label:
                members.append(link_of_label[label])
            elif label in line_of_edge_label:
                _refuse(path, number, f"SRLG member {quoted(label)} is the self-loop of line "
                                      f"{line_of_edge_label[label]}, which is dropped; "
                                      "expected the label of an edge between two nodes")
            else:
                _refuse(path, number, f"SRLG member {quoted(label)} is not an edge label")
        srlgs.append((tuple(members), f"listed at line {number}"))
    for srlg, members in srlgs_by_id.items():
        srlgs.append((tuple(members), f"SRLG {srlg} of the edges' srlgs column"))
    return Topology(name, nodes, links, os.path.basename(path), self_loops, srlgs)


READERS = {
    "graphml": read_zoo_graphml,
    "gml": read_zoo_gml,
    "sndlib": read_sndlib_native,
    "sndlib-xml": read_sndlib_xml,
    "lgf": read_lgf,
}


def guess_format(path):
    """The reader for a file, by its name, or for .xml and .txt by its first bytes."""
    lower = str(path).lower()
    for ending, kind in ((".graphml", "graphml"), (".gml", "gml"), (".lgf", "lgf")):
        if lower.endswith(ending):
            return kind
    with open_bounded(path, mode="rb") as file:
        try:
            start = file.read(4096)
        except OSError as error:
            _refuse_io(path, "read", error)
    if b"<network" in start:
        return "sndlib-xml"
    if b"<graphml" in start:
        return "graphml"
    if b"NODES (" in start or b"?SNDlib" in start:
        return "sndlib"
    if b"@nodes" in start:
        return "lgf"
    _refuse(path, 0, "cannot tell the format from the name or the first bytes; give it with "
                     "--format")


def read_topology(path, kind=None):
    """A topology read by the reader of `kind` (a key of READERS), or by its guessed one."""
    return READERS[kind or guess_format(path)](path)
