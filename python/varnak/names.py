"""The key names of varnak-tools' JSON reports, in one place: the C++ table the writers use,
read from the module, so a renamed key is changed there alone.

Result objects carry their values under these names: names.SAMPLE_SIZE is "N",
names.SPECTRUM "spectrum", names.ESTIMATE_COMMAND "estimate", and so on.
"""

from . import native

_KEYS = native.module().REPORT_KEYS
globals().update(_KEYS)


def _keys(*python_names):
    return tuple(_KEYS[name] for name in python_names)


# What every report starts with, in this order (tools/README.md, "Result schema").
RUN_KEYS = _keys("COMMAND", "INSTANCE", "METHOD", "RESULTS_FILE", "SRLG_COUNT", "SAMPLE_SIZE",
                 "SEED", "SEED_DRAWN", "THREADS", "TERMINALS", "FREE_EDGES_CONNECT",
                 "ELAPSED_SECONDS", "CONFIDENCE_LEVEL")
# How exact values were found, and the decision diagram's size.
EXACT_KEYS = _keys("EXACT_METHOD", "FRONTIER_WIDTH", "REMEMBERED_SRLGS", "DIAGRAM_NODES")
# Terminal sets and pairwise connectivity.
PAIRWISE_KEYS = _keys("PAIRWISE", "PAIRWISE_LOW", "PAIRWISE_HIGH", "PAIRWISE_NONE_UP",
                      "TERMINAL_PAIRS", "CONNECTED_PAIRS")
