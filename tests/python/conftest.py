"""Shared fixtures: the repository's example networks and the built executables.

ctest runs these tests with PYTHONPATH at the built package and VARNAK_BIN_DIR at the
folder that holds Varnak and varnak-tools.
"""

import os
import pathlib
import subprocess

import pytest

REPOSITORY = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = REPOSITORY / "examples"
TOOLS_DATA = REPOSITORY / "tests" / "data" / "tools"


def _executable(name):
    folder = os.environ.get("VARNAK_BIN_DIR")
    if not folder or not (pathlib.Path(folder) / name).exists():
        pytest.skip(f"{name} not built: set VARNAK_BIN_DIR to the build folder")
    return str(pathlib.Path(folder) / name)


@pytest.fixture(scope="session")
def varnak_tools():
    """Runs varnak-tools with the arguments; returns the completed process."""
    program = _executable("varnak-tools")

    def run(*args, check=True):
        return subprocess.run([program, *map(str, args)], capture_output=True, text=True,
                              check=check)
    return run


@pytest.fixture(scope="session")
def varnak_program():
    return _executable("Varnak")
