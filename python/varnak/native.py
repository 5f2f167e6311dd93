"""The C++ module, loaded when first needed: reading topologies and writing instance files
work without it, so scripts that only convert run from the sources unbuilt."""


def module():
    try:
        from . import _varnak
    except ImportError as error:
        raise ImportError("varnak's C++ module _varnak is not built here: install the package "
                          "(pip install --no-build-isolation ./python) or build it with "
                          "CMake") from error
    return _varnak
