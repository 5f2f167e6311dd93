"""python3 -m varnak convert and scripts/zoo_to_instance.py on small Zoo fixtures."""

import os
import re
import resource
import subprocess
import sys

import pytest

import varnak
from varnak.__main__ import main
from conftest import REPOSITORY
from test_topology import LINE_GML, LINE_GRAPHML, LINE_LGF, graphml, zoo_node

LEGACY_SCRIPT = REPOSITORY / "scripts" / "zoo_to_instance.py"


def keyword_lines(text):
    return [line for line in text.splitlines() if not line.startswith("#")]


@pytest.fixture
def line_file(tmp_path):
    path = tmp_path / "Line.graphml"
    path.write_text(LINE_GRAPHML)
    return path


@pytest.mark.parametrize("arguments, srlg_lines", [
    ([], ["SRLG:1:1,", "SRLG:2:2,", "SRLG:3:3,", "SRLG:4:1,3", "SRLG:5:2,3"]),
    (["--srlgs", "node"], ["SRLG:1:1,3", "SRLG:2:1,2", "SRLG:3:2,3"]),
    (["--srlgs", "link,disk", "--radius", "50"],
     ["SRLG:1:1,", "SRLG:2:2,", "SRLG:3:3,", "SRLG:4:1,3", "SRLG:5:1,2,3", "SRLG:6:2,3"]),
])
def test_convert_writes_an_instance_varnak_reads(line_file, tmp_path, arguments, srlg_lines):
    output = tmp_path / "line.txt"
    assert main(["convert", str(line_file), *arguments, "-o", str(output)]) == 0
    text = output.read_text()
    assert [line for line in keyword_lines(text) if line.startswith("SRLG:")] == srlg_lines
    assert text.startswith("# Derived from the Internet Topology Zoo, Line (Line.graphml)")
    instance = varnak.Instance.read(output)
    assert (instance.vertex_count, instance.edge_count) == (3, 3)
    assert instance.srlg_count == len(srlg_lines)


def test_convert_takes_the_srlgs_of_an_lgf_file(tmp_path):
    path = tmp_path / "line.lgf"
    path.write_text(LINE_LGF)
    output = tmp_path / "line.txt"
    assert main(["convert", str(path), "--srlgs", "file", "-o", str(output)]) == 0
    assert keyword_lines(output.read_text())[-4:] == ["SRLG:1:1,3", "SRLG:2:2,", "SRLG:3:1,2",
                                                      "SRLG:4:2,"]


@pytest.fixture
def parts_file(tmp_path):
    #  A - B - C    D - E    F (isolated)
    path = tmp_path / "Parts.graphml"
    path.write_text(graphml([zoo_node(i, label) for i, label in enumerate("ABCDEF")],
                            [(0, 1), (3, 4), (1, 2)]))
    return path


@pytest.mark.parametrize("options, message", [
    ([], "the graph is not connected with all links up (3 components); keep its largest "
         "with --largest-component"),
    (["--drop-isolated"], "(2 components)"),
    (["--largest-component", "--srlgs", "disk"], "needs a radius"),
    (["--largest-component", "--srlgs", "link,tunnel"], "SRLG kind \"tunnel\" is unknown"),
])
def test_convert_refuses(parts_file, capsys, options, message):
    assert main(["convert", str(parts_file), *options]) == 1
    error = capsys.readouterr().err
    assert error.startswith("varnak convert: ") and message in error


def test_convert_keeps_the_largest_component(parts_file, capsys):
    assert main(["convert", str(parts_file), "--largest-component"]) == 0
    text = capsys.readouterr().out
    assert keyword_lines(text)[:5] == ["VNUM:3", "ENUM:2", "SRLGNUM:2", "E:1:1,2", "E:2:2,3"]
    assert "# largest component kept: 3 node(s) in 2 other component(s) left out." in text


def test_legacy_script_writes_what_convert_writes(line_file):
    legacy = subprocess.run([sys.executable, LEGACY_SCRIPT, line_file, "--sector", "30"],
                            capture_output=True, text=True, check=True).stdout
    assert "# Converted by scripts/zoo_to_instance.py --sector 30: vertices 1..3" in legacy
    instance = varnak.convert.convert(line_file, "link,duct", sector=30)
    assert keyword_lines(legacy) == keyword_lines(instance.to_text())
    assert legacy.splitlines()[-1] == "SRLG:5:2,3"


def test_legacy_script_refuses_a_disconnected_graph(parts_file):
    finished = subprocess.run([sys.executable, LEGACY_SCRIPT, parts_file], capture_output=True,
                              text=True)
    assert finished.returncode == 1
    assert finished.stderr == (f"error: {parts_file}: the graph is not connected with all "
                               "links up\n")


def test_shipped_abilene_graphml_gives_the_shipped_instance():
    examples = REPOSITORY / "examples"
    legacy = subprocess.run([sys.executable, LEGACY_SCRIPT, examples / "abilene.graphml",
                             "--sector", "60"], capture_output=True, text=True, check=True).stdout
    assert keyword_lines(legacy) == keyword_lines((examples / "abilene.txt").read_text())


@pytest.mark.parametrize("output_options, where", [(["-o", "/dev/full"], "/dev/full"),
                                                   ([], "standard output")])
def test_convert_reports_output_that_could_not_be_written(line_file, output_options, where):
    with open("/dev/full", "w") as full:
        finished = subprocess.run([sys.executable, "-m", "varnak", "convert", line_file,
                                   *output_options], stdout=full, stderr=subprocess.PIPE,
                                  text=True)
    assert finished.returncode == 1
    assert finished.stderr.startswith(f"varnak convert: {where}: No space left on device")
    assert "Traceback" not in finished.stderr and "Exception ignored" not in finished.stderr


# --- Names from a file are shown escaped: none may move the cursor of a terminal ---------

# What a terminal takes for a command, in UTF-8: C0 but the line end, DEL, and C1.
CONTROL_BYTES = re.compile(rb"[\x00-\x09\x0b-\x1f\x7f]|\xc2[\x80-\x9f]")


def test_convert_refuses_a_file_with_its_name_and_values_escaped(tmp_path):
    # The edge end would set the window title, clear the screen and turn the text red.
    path = tmp_path / "net\x1b[2J.gml"
    path.write_text('graph [\n node [ id 0 ]\n edge [ source "\x1b]0;pwn\x07\x1b[2J\x1b[31m" '
                    'target 0 ]\n]\n')
    finished = subprocess.run([sys.executable, "-m", "varnak", "convert", path],
                              capture_output=True)
    assert finished.returncode == 1
    assert finished.stderr == (
        f"varnak convert: {tmp_path}/net\\x1b[2J.gml line 3: edge end "
        "\"\\x1b]0;pwn\\x07\\x1b[2J\\x1b[31m\" is not the id of a node\n").encode()


@pytest.mark.parametrize("name, text, shown", [
    ("line.gml", LINE_GML.replace('"A"', '"A\x1b[2J"').replace('"Line"', '"Line\x07"'),
     ["Topology Zoo, Line\\x07 (line.gml)", "Vertices: 1 A\\x1b[2J, 2 B, 3 C",
      "SRLG 4: duct near A\\x1b[2J: links 1 A\\x1b[2J-B; 3 A\\x1b[2J-C"]),
    # XML takes no C0 control but a tab or a line end, but takes C1 ones, raw or as references.
    ("line.graphml", LINE_GRAPHML.replace(">B<", ">B&#x9b;31m<").replace(">C<", ">C\u0090<"),
     ["Vertices: 1 A, 2 B\\xc2\\x9b31m, 3 C\\xc2\\x90",
      "links 1 A-B\\xc2\\x9b31m; 3 A-C\\xc2\\x90"]),
])
def test_convert_writes_names_escaped_into_the_comments(tmp_path, name, text, shown):
    path = tmp_path / name
    path.write_text(text)
    output = tmp_path / "line.txt"
    assert main(["convert", str(path), "-o", str(output)]) == 0
    written = output.read_bytes()
    assert not CONTROL_BYTES.search(written)
    comments = [line[2:] for line in written.decode().splitlines() if line.startswith("# ")]
    for text in shown:
        assert any(text in comment for comment in comments), (text, comments)
    assert varnak.Instance.read(output).srlg_count == 5


# --- Devices and endless streams, with the address space bounded --------------------------

ADDRESS_SPACE = 1024 * 1024 * 1024
FAULT_SECONDS = 60
ENDLESS = "a stream of \"#\\n\" that never ends"


@pytest.fixture
def endless_stream(tmp_path):
    """A named pipe that a writer fills with "#\\n" for as long as anyone reads it."""
    path = tmp_path / "endless"
    os.mkfifo(path)
    writer = subprocess.Popen(
        [sys.executable, "-c", "import os, sys\nout = os.open(sys.argv[1], os.O_WRONLY)\n"
                               "while True:\n    os.write(out, b'#\\n' * 65536)\n", path],
        stderr=subprocess.DEVNULL)
    yield path
    writer.kill()
    writer.wait()


def bounded_address_space():
    resource.setrlimit(resource.RLIMIT_AS, (ADDRESS_SPACE, ADDRESS_SPACE))


SIZE = "the file is larger than 67108864 bytes"
NUL = "line 1: a NUL byte"
LONG = "line 1: line longer than 1048576 characters"
# (input, format or "csv", what the one line of refusal says, beside the input's name);
# /dev/urandom is refused where its random bytes happen to show they are no network file.
FAULTS = [("/dev/zero", kind, NUL) for kind in ("gml", "sndlib", "lgf")] + [
    ("/dev/zero", "graphml", SIZE), ("/dev/zero", "sndlib-xml", SIZE), ("/dev/zero", "csv", LONG),
] + [("/dev/urandom", kind, "a NUL byte") for kind in ("gml", "sndlib", "lgf")] + [
    ("/dev/urandom", "graphml", SIZE), ("/dev/urandom", "sndlib-xml", SIZE),
    ("/dev/urandom", "csv", ""),
] + [(ENDLESS, kind, SIZE) for kind in ("gml", "sndlib", "lgf", "graphml", "sndlib-xml")] + [
    (ENDLESS, "csv", "line 1: the header is \"#\""),
]


@pytest.mark.parametrize("source, kind, refusal", FAULTS,
                         ids=[f"{source} {kind}" for source, kind, _ in FAULTS])
def test_convert_refuses_devices_and_endless_streams_in_bounded_memory(
        request, line_file, source, kind, refusal):
    path = request.getfixturevalue("endless_stream") if source == ENDLESS else source
    arguments = (["--srlgs", "csv", "--csv", path] if kind == "csv" else ["--format", kind])
    finished = subprocess.run(
        [sys.executable, "-m", "varnak", "convert",
         line_file if kind == "csv" else path, *arguments],
        capture_output=True, text=True, errors="replace", timeout=FAULT_SECONDS,
        preexec_fn=bounded_address_space)
    assert finished.returncode == 1, finished.stderr
    assert finished.stderr.startswith(f"varnak convert: {path}"), finished.stderr
    assert finished.stderr.count("\n") == 1 and finished.stderr.endswith("\n")
    assert refusal in finished.stderr
