"""Every importer fuzzed: the fixture files damaged, their values replaced by hostile ones,
random bytes, and large files made to find the readers that are quadratic.

Each file is read in a worker process (bounded_reading) within SECONDS and within
MEMORY_BASE plus MEMORY_PER_BYTE for each byte of the file, room for a few copies of it.
The outcome must be a topology (or SRLGs) whose comments in a converted instance are
printable, or a VarnakError naming the file, and its line when it names one, in a message
without control characters; never another exception, and never the refusal of a reader
that ran out of memory.
"""

import os
import re
import tempfile

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from hypothesis.configuration import set_hypothesis_home_dir

from bounded_reading import NOT_PRINTABLE, OUT_OF_MEMORY, RING_NODES, BoundedReader
from test_properties import ENDS_CSV, LINK_CSV, damaged
from test_topology import FORMATS, billion_laughs, graphml, zoo_node

set_hypothesis_home_dir(os.path.join(tempfile.gettempdir(), "varnak-hypothesis"))

SECONDS = 10
MEMORY_BASE = 48 * 1024 * 1024
MEMORY_PER_BYTE = 4

FUZZ = settings(max_examples=100, deadline=None, database=None, derandomize=True,
                suppress_health_check=[HealthCheck.function_scoped_fixture,
                                       HealthCheck.too_slow])

KIND_OF = {"line.graphml": "graphml", "line.gml": "gml", "line.txt": "sndlib",
           "line.xml": "sndlib-xml", "line.lgf": "lgf"}
SEEDS = [(name, text, KIND_OF[name]) for name, text, _ in FORMATS] + [
    ("link.csv", LINK_CSV, "csv"), ("ends.csv", ENDS_CSV, "csv")]

# Values that have broken a reader somewhere: terminal commands, bytes that are not UTF-8,
# line ends that str.splitlines() knows and editors do not, numbers that float() takes to
# infinity or refuses, entity references, deep nesting and long tokens of every format.
HOSTILE = [
    b"\x1b]0;pwn\x07\x1b[2J\x1b[31m", "\u009b31m\u0085".encode(), b"\x00", b"\x7f",
    b"\xff\xfe\xc0\x80", b"\r", b"\x0c\x0b\x1c", "\u2028".encode(), "\ufeff".encode(),
    b"1e999", b"-1e999", b"nan", b"inf", b"9" * 5000, b"0x1p3", b"1_0",
    b"&amp;" * 2000, b"&lol;", b"&#27;", b"&#x9b;", b"&#0;", b"<!DOCTYPE x>", b"<![CDATA[\x1b]]>",
    b"x [ " * 3000, b"[" * 3000, b"]", b"<a>" * 3000 + b"</a>" * 3000, b"(" * 5000,
    b'"' + b"x" * 100_000 + b'"', b'"' + b'\\"' * 5000 + b'"', b"\\", b'"', b"@", b"@nodes",
    b"#", b",", b"?", b")", b"srlg,link", b"x" * 100_000,
]
WORD = re.compile(rb"[A-Za-z0-9.]+")


@st.composite
def hostile_copies(draw, text):
    """`text` damaged, or with one of its words (a label, an id, a number, a keyword)
    replaced by a hostile value, or with hostile values put in anywhere."""
    data = text.encode("utf-8")
    kind = draw(st.sampled_from(["damaged", "word", "inserted"]))
    if kind == "damaged":
        return draw(damaged(text))
    if kind == "word":
        words = list(WORD.finditer(data))
        word = words[draw(st.integers(0, len(words) - 1))]
        return data[:word.start()] + draw(st.sampled_from(HOSTILE)) + data[word.end():]
    for _ in range(draw(st.integers(1, 3))):
        at = draw(st.integers(0, len(data)))
        data = data[:at] + draw(st.sampled_from(HOSTILE)) + data[at:]
    return data


@pytest.fixture(scope="module")
def reader():
    bounded = BoundedReader()
    yield bounded
    bounded.close()


def read_within_bounds(reader, kind, path):
    """The outcome of reading `path`, checked as the module's docstring says."""
    data = path.read_bytes()
    outcome = reader.read(kind, path, SECONDS, MEMORY_BASE + MEMORY_PER_BYTE * len(data))
    assert outcome["outcome"] in ("value", "refusal"), outcome
    if outcome["outcome"] == "value":
        assert outcome.get("comments_printable", True), outcome
        return outcome
    message = outcome["message"]
    assert OUT_OF_MEMORY not in message
    assert not NOT_PRINTABLE.search(message), message
    assert outcome["path"] == str(path) and str(path) in message
    # Lines end as the readers end them: at "\r\n", "\r" or "\n", and at nothing else.
    assert 0 <= outcome["line"] <= len(re.split(rb"\r\n|\r|\n", data)), outcome
    if outcome["line"]:
        assert f"{path} line {outcome['line']}: " in message
    return outcome


@pytest.mark.parametrize("name, text, kind", SEEDS, ids=[seed[0] for seed in SEEDS])
def test_hostile_copies_of_a_fixture_are_read_or_refused_within_bounds(reader, tmp_path, name,
                                                                       text, kind):
    path = tmp_path / name

    @FUZZ
    @given(data=hostile_copies(text))
    def property_holds(data):
        path.write_bytes(data)
        read_within_bounds(reader, kind, path)

    property_holds()


@pytest.mark.parametrize("kind", ["graphml", "gml", "sndlib", "sndlib-xml", "lgf", "csv"])
def test_random_bytes_are_read_or_refused_within_bounds(reader, tmp_path, kind):
    path = tmp_path / "random"

    @settings(FUZZ, max_examples=40)
    @given(data=st.binary(max_size=400))
    def property_holds(data):
        path.write_bytes(data)
        read_within_bounds(reader, kind, path)

    property_holds()


def lgf_with_label(value):
    return f'@nodes\nlabel\n"{value}"\n'


def sndlib_with_node_line(line):
    return f"NODES (\n{line}\n)\nLINKS (\n)\n"


def deep_gml(depth):
    return "graph [ node [ id 0 " + "x [ " * depth + "]" * depth + " ] ]\n"


def unread_elements(count):
    """GraphML of one node and `count` elements that no reader looks at."""
    return graphml([zoo_node(0, "A")], []).replace("</graph>", "<a/>" * count + "</graph>")


def deep_xml(depth):
    return graphml([zoo_node(0, "A" + "<a>" * depth + "</a>" * depth)], [])


def srlgs_by_node_labels(rows):
    """SRLG CSV rows naming ring links by their ends, 100 SRLGs."""
    return "srlg,source,target\n" + "".join(
        f"r{row % 100},n{row % RING_NODES},n{(row + 1) % RING_NODES}\n" for row in range(rows))


# Large files, each once made a reader take minutes, gigabytes or a traceback; each is now
# read (None) or refused with the message given.
LARGE = [
    ("400,000 &amp; in character data", "graphml", graphml([zoo_node(0, "&amp;" * 400_000)], []),
     None),
    ("10 MB attribute", "graphml", '<graphml a="' + "x" * 10_000_000 + '"/>',
     "<graphml> holds no <graph>"),
    ("billion laughs in GraphML", "graphml", billion_laughs().replace("network", "graphml"),
     "line 2: <!DOCTYPE graphml> is not accepted"),
    ("billion laughs in SNDlib XML", "sndlib-xml", billion_laughs(),
     "line 2: <!DOCTYPE network> is not accepted"),
    ("a million elements no reader looks at", "graphml", unread_elements(1_000_000), None),
    ("XML 100,000 elements deep", "graphml", deep_xml(100_000), None),
    ("12 MB LGF quoted value", "lgf", lgf_with_label("x" * 12_000_000),
     "line 3: line longer than 1048576 characters"),
    ("1 MB LGF quoted value", "lgf", lgf_with_label("x" * 1_000_000), None),
    ("LGF quoted value of 500,000 escaped quotes", "lgf", lgf_with_label('\\"' * 500_000),
     None),
    ("SNDlib node line of a million parentheses", "sndlib",
     sndlib_with_node_line("(" * 1_000_000), "line 2: node line \"((((("),
    ("SNDlib link line of a million parentheses", "sndlib",
     sndlib_with_node_line("A ( 0 0 )").replace("LINKS (\n", "LINKS (\nL" + "(" * 1_000_000
                                                 + "\n"), "line 5: link line \"L((((("),
    ("GML 100,000 lists deep", "gml", deep_gml(100_000), None),
    ("SRLG CSV of 200,000 rows by node labels", "csv-ring", srlgs_by_node_labels(200_000),
     None),
]


@pytest.mark.parametrize("kind, text, refusal", [case[1:] for case in LARGE],
                         ids=[case[0] for case in LARGE])
def test_large_files_are_read_or_refused_within_bounds(reader, tmp_path, kind, text, refusal):
    path = tmp_path / "large"
    path.write_text(text)
    outcome = read_within_bounds(reader, kind, path)
    if refusal is None:
        assert outcome["outcome"] == "value", outcome
    else:
        assert outcome["outcome"] == "refusal" and refusal in outcome["message"], outcome
