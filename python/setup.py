"""Installs the Python package varnak. The module _varnak is built by the project's CMake
files, from the same library as the executables, and copied into the package.

    python3 -m venv --system-site-packages ENV
    ENV/bin/pip install --no-build-isolation ./python

NumPy, NetworkX and matplotlib come from Debian (scripts/setup.sh installs them); they are
not declared here, so that pip never looks for them elsewhere.
"""

import os
import pathlib
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

SOURCES = pathlib.Path(__file__).resolve().parent.parent


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build_dir = pathlib.Path(self.build_temp).resolve() / "cmake"
        subprocess.run(["cmake", "-S", str(SOURCES), "-B", str(build_dir),
                        "-DCMAKE_BUILD_TYPE=Release", "-DVARNAK_BUILD_TESTS=OFF",
                        f"-DPython_EXECUTABLE={sys.executable}"], check=True)
        subprocess.run(["cmake", "--build", str(build_dir), "--target", "_varnak",
                        "--parallel", str(os.cpu_count() or 1)], check=True)
        built = next((build_dir / "python" / "varnak").glob("_varnak*.so"))
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(
    name="varnak",
    version="0.1.0",
    description="SRLG spectra, Birnbaum importance spectra and reliability of networks",
    license="See LICENSE in the sources",
    packages=["varnak"],
    ext_modules=[Extension("varnak._varnak", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    python_requires=">=3.9",
)
