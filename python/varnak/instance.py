"""varnak.Instance: a network instance, read from a file, built from NetworkX, written back."""

import operator
import os
import re

from . import native

INT32_MAX = 2147483647
INT32_MIN = -2147483648

# C0 controls, DEL, the C1 controls U+0080..U+009F, and the surrogates that stand for bytes
# that are not UTF-8 (os.fsdecode's surrogateescape) or that no UTF-8 text holds.
_NOT_PRINTABLE = re.compile("[\x00-\x1f\x7f-\x9f\ud800-\udfff]")


def _escaped(match):
    code = ord(match.group())
    if 0xDC80 <= code <= 0xDCFF:  # a byte that surrogateescape kept: shown as that byte
        return f"\\x{code - 0xDC00:02x}"
    return "".join(f"\\x{byte:02x}"
                   for byte in match.group().encode("utf-8", "surrogatepass"))


def printable(text):
    """`text` as it may be shown on a terminal or written into a comment, escaped as the C++
    code's printable() escapes the same bytes: a control character (C0, DEL, C1) becomes
    \\xNN for each of its UTF-8 bytes, and a byte that is not UTF-8 becomes \\xNN, so that a
    quoted file cannot move the cursor, clear the screen or change colours. Pure Python, so
    that converting topologies needs no C++ module."""
    return _NOT_PRINTABLE.sub(_escaped, os.fsdecode(text))


def quoted(text, limit=60):
    """`text` printable, in double quotes, cut after `limit` characters with "..." added, so
    that a refusal stays one short line even for a value a megabyte long."""
    text = str(text)
    return f"\"{printable(text[:limit])}{'...' if len(text) > limit else ''}\""


class VarnakError(Exception):
    """An input that Varnak refuses, with the message varnak-tools prints for it.

    `path` and `line` tell where, when a file and one of its lines are to blame (line 0
    when no single line is).
    """

    def __init__(self, message, path=None, line=0):
        super().__init__(message)
        self.path = path
        self.line = line


def _check_int32(value, what):
    if isinstance(value, bool):
        raise VarnakError(f"{what} {value!r} is not an integer")
    try:
        value = operator.index(value)  # Python and NumPy integers, nothing else
    except TypeError:
        raise VarnakError(f"{what} {value!r} is not an integer") from None
    if isinstance(value, bool):
        raise VarnakError(f"{what} {value!r} is not an integer")
    if not INT32_MIN <= value <= INT32_MAX:
        raise VarnakError(f"{what} {value} is not a 32-bit signed integer; "
                          f"expected a number from {INT32_MIN} to {INT32_MAX}")
    return value


class Instance:
    """Vertices 1..vertex_count, edges by id (id -> (u, v)) and SRLGs by id (id -> edge ids).

    An edge is up once every SRLG that lists it is up; an edge of id 1..edge_count that no
    SRLG lists is up from the start. Build one with Instance(...), Instance.read(path) or
    Instance.from_networkx(graph, ...); write it with write(path).
    """

    def __init__(self, vertex_count, edges, srlgs, edge_count=None, srlg_count=None,
                 comments=(), vertex_labels=None, srlg_labels=None, name=None):
        """edges: a sequence of (u, v) for edges 1, 2, ... or a mapping id -> (u, v);
        srlgs: a sequence of member lists for SRLGs 1, 2, ... or a mapping id -> members.
        The counts default to the largest edge and SRLG ids."""
        edges = dict(edges) if hasattr(edges, "items") else dict(enumerate(edges, start=1))
        srlgs = dict(srlgs) if hasattr(srlgs, "items") else dict(enumerate(srlgs, start=1))
        edges = {_check_int32(k, "edge id"): (_check_int32(u, "end vertex"),
                                              _check_int32(v, "end vertex"))
                 for k, (u, v) in edges.items()}
        srlgs = {_check_int32(k, "SRLG id"): [_check_int32(m, "SRLG member") for m in ms]
                 for k, ms in srlgs.items()}
        vertex_count = _check_int32(vertex_count, "VNUM")
        edge_count = _check_int32(max(edges, default=0) if edge_count is None else edge_count,
                                  "ENUM")
        srlg_count = _check_int32(max(srlgs, default=0) if srlg_count is None else srlg_count,
                                  "SRLGNUM")
        for keyword, count in (("VNUM", vertex_count), ("ENUM", edge_count),
                               ("SRLGNUM", srlg_count)):
            if count < 0:
                raise VarnakError(f"{keyword} {count} is negative; expected a count of 0 or more")
        if srlg_count == 0:
            raise VarnakError("SRLGNUM 0 leaves no SRLG to estimate; expected a count of 1 or more")
        for edge, (u, v) in sorted(edges.items()):
            for end in (u, v):
                if not 1 <= end <= vertex_count:
                    raise VarnakError(f"end vertex {end} of edge {edge} is outside "
                                      f"1..{vertex_count}")
        self._counts = (vertex_count, edge_count, srlg_count)
        self._edges = edges
        self._srlgs = srlgs
        self._native_instance = None
        self.path = None
        self._name = name
        self.comments = list(comments)
        self.vertex_labels = vertex_labels
        self.srlg_labels = srlg_labels

    @classmethod
    def read(cls, path):
        """Reads an instance file as Varnak does; a refusal raises VarnakError with the
        message varnak-tools gives ("FILE line N: reason")."""
        path = os.fspath(path)
        _varnak = native.module()
        code, line, message, read = _varnak.read_instance(path)
        if code != _varnak.LOAD_OK:
            raise VarnakError(message, path, line)
        instance = cls.__new__(cls)
        instance._native_instance = read
        instance._counts = (read.vertex_count, read.edge_count, read.srlg_count)
        instance._edges = dict(read.edges)
        instance._srlgs = dict(read.srlgs)
        instance.path = path
        instance._name = None
        instance.comments = []
        instance.vertex_labels = None
        instance.srlg_labels = None
        return instance

    @classmethod
    def from_networkx(cls, graph, srlgs=None, attribute=None, free_edges=True):
        """An instance from a NetworkX graph (a multigraph keeps parallel edges apart).

        Vertices are the graph's nodes in its order, numbered from 1; edges its edges in
        graph.edges order, numbered from 1. The SRLGs are given either as `srlgs`, a mapping
        from SRLG id to the edges it holds ((u, v) or, in a multigraph, (u, v, key)), or as
        `attribute`, the name of an edge attribute holding one SRLG id or a list of them;
        (u, v) in a multigraph names every edge between u and v.
        SRLGs are numbered 1..S in the order of their ids (sorted when the ids are numbers,
        else as first met); `srlg_labels` keeps the ids. With free_edges false, an edge in no
        SRLG is refused instead of being up from the start.
        """
        if (srlgs is None) == (attribute is None):
            raise ValueError("give either srlgs (SRLG id -> edges) or attribute (an edge "
                             "attribute naming SRLG ids)")
        vertex_of = {node: i for i, node in enumerate(graph.nodes, start=1)}
        multigraph = graph.is_multigraph()
        edge_list = list(graph.edges(keys=True, data=True) if multigraph
                         else graph.edges(data=True))
        edge_ends = {}
        edge_id_of = {}
        for number, edge in enumerate(edge_list, start=1):
            u, v = edge[0], edge[1]
            edge_ends[number] = (vertex_of[u], vertex_of[v])
            edge_id_of[(u, v, edge[2]) if multigraph else (u, v)] = number
        # (v, u) names the edge u-v too, unless a directed graph has an edge v-u of its own:
        # then it names that one, never both.
        for number, edge in enumerate(edge_list, start=1):
            u, v = edge[0], edge[1]
            edge_id_of.setdefault((v, u, edge[2]) if multigraph else (v, u), number)

        members_of = {}
        if srlgs is not None:
            for srlg, edges in srlgs.items():
                members = members_of.setdefault(srlg, [])
                for edge in edges:
                    edge = tuple(edge)
                    if multigraph and len(edge) == 2:
                        keys = graph[edge[0]][edge[1]] if graph.has_edge(*edge) else {}
                        numbers = [edge_id_of[edge + (k,)] for k in keys]
                    else:
                        numbers = [edge_id_of[edge]] if edge in edge_id_of else []
                    if not numbers:
                        raise VarnakError(f"SRLG {srlg!r} lists {edge!r}, which is not an edge "
                                          "of the graph")
                    members.extend(numbers)
        else:
            for number, edge in enumerate(edge_list, start=1):
                ids = edge[-1].get(attribute, ())
                if isinstance(ids, (str, int)) or not hasattr(ids, "__iter__"):
                    ids = [ids]
                for srlg in ids:
                    members_of.setdefault(srlg, []).append(number)
        ids = list(members_of)
        if all(isinstance(i, int) and not isinstance(i, bool) for i in ids):
            ids.sort()
        numbered = {n: members_of[i] for n, i in enumerate(ids, start=1)}
        if not free_edges:
            listed = {m for ms in numbered.values() for m in ms}
            unlisted = [n for n in edge_ends if n not in listed]
            if unlisted:
                u, v = edge_list[unlisted[0] - 1][:2]
                raise VarnakError(f"edge ({u!r}, {v!r}) is in no SRLG")
        labels = {n: i for n, i in enumerate(ids, start=1)}
        return cls(len(vertex_of), edge_ends, numbered, edge_count=len(edge_ends),
                   srlg_count=len(ids), vertex_labels=[str(node) for node in graph.nodes],
                   srlg_labels=labels)

    @property
    def _native(self):
        """The library's NetworkInstance, made when first asked for."""
        if self._native_instance is None:
            self._native_instance = native.module().make_instance(
                *self._counts, self._edges, self._srlgs)
        return self._native_instance

    @property
    def vertex_count(self):
        return self._counts[0]

    @property
    def edge_count(self):
        return self._counts[1]

    @property
    def srlg_count(self):
        return self._counts[2]

    @property
    def edges(self):
        """Edge id -> (u, v), a copy."""
        return dict(self._edges)

    @property
    def srlgs(self):
        """SRLG id -> list of member edge ids, a copy."""
        return {srlg: list(members) for srlg, members in self._srlgs.items()}

    @property
    def name(self):
        """For reports: the given name, else the file's name."""
        if self._name:
            return self._name
        return os.path.basename(self.path) if self.path else "instance"

    def free_edges_connect(self):
        """Whether the edges in no SRLG connect all vertices by themselves."""
        return native.module().free_edges_connect(self._native)

    def to_networkx(self):
        """A MultiGraph on vertices 1..VNUM; each edge has key `id` and attribute `srlgs`."""
        import networkx as nx
        graph = nx.MultiGraph()
        graph.add_nodes_from(range(1, self.vertex_count + 1))
        srlgs_of = {}
        for srlg, members in sorted(self.srlgs.items()):
            for member in members:
                srlgs_of.setdefault(member, []).append(srlg)
        for edge, (u, v) in sorted(self.edges.items()):
            if u and v:
                graph.add_edge(u, v, key=edge, id=edge, srlgs=srlgs_of.get(edge, []))
        return graph

    def to_text(self):
        """The instance file's text. A one-member list gets a trailing comma, so that older
        readers of the format, which need a ",", read it too."""
        lines = [f"# {line}" for comment in self.comments for line in comment.splitlines()]
        lines += [f"VNUM:{self.vertex_count}", f"ENUM:{self.edge_count}",
                  f"SRLGNUM:{self.srlg_count}"]
        lines += [f"E:{edge}:{u},{v}" for edge, (u, v) in sorted(self.edges.items())]
        for srlg, members in sorted(self.srlgs.items()):
            # The reader turns a trailing comma into member 0, so a list that ends in 0 is
            # written back in that form.
            if members and members[-1] == 0:
                members = members[:-1]
            listed = ",".join(map(str, members))
            lines.append(f"SRLG:{srlg}:{listed}," if len(members) == 1 else f"SRLG:{srlg}:{listed}")
        return "\n".join(lines) + "\n"

    def write(self, path):
        with open(path, "w", encoding="utf-8", newline="\n") as out:
            out.write(self.to_text())

    def __repr__(self):
        return (f"Instance({self.name}: {self.vertex_count} vertices, {self.edge_count} edges, "
                f"{self.srlg_count} SRLGs)")
