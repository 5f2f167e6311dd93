"""The README's Python session runs as shown, in a scratch folder."""

import doctest
import re

from varnak.__main__ import main
from conftest import REPOSITORY

MARKER = "<!-- The session below is run by tests/python/test_readme.py. -->"


def test_readme_session_runs_as_shown(tmp_path, monkeypatch, capsys):
    readme = (REPOSITORY / "README.md").read_text()
    session = re.search(re.escape(MARKER) + r"\n```pycon\n(.*?)```", readme, re.S).group(1)
    monkeypatch.chdir(tmp_path)
    # The shell command that comes before the session in the README.
    assert main(["convert", str(REPOSITORY / "examples" / "abilene.graphml"), "--srlgs",
                 "link,disk", "--radius", "300", "-o", "abilene-disks.txt"]) == 0
    assert capsys.readouterr().err == "11 vertices, 14 edges, 24 SRLGs written to " \
                                      "abilene-disks.txt\n"
    test = doctest.DocTestParser().get_doctest(session, {}, "README session", "README.md", 0)
    runner = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE)
    report = []
    runner.run(test, out=report.append)
    assert runner.failures == 0, "".join(report)
    assert (tmp_path / "abilene-disks.png").read_bytes().startswith(b"\x89PNG")
