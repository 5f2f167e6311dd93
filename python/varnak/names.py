"""The key names of varnak-tools' JSON reports, in one place.

Result objects carry their arrays under these names, and the JSON reader looks them up
here, so a renamed key is changed in this file alone.
"""

COMMAND = "command"
INSTANCE = "instance"
SRLG_COUNT = "srlg_count"
SAMPLE_SIZE = "N"
SEED = "seed"
SEED_DRAWN = "seed_drawn"
THREADS = "threads"
ELAPSED_SECONDS = "elapsed_seconds"
CONFIDENCE_LEVEL = "confidence_level"
BAND_HALF_WIDTH = "band_half_width"
SPECTRUM = "spectrum"
WILSON_LOW = "wilson_low"
WILSON_HIGH = "wilson_high"
BAND_LOW = "band_low"
BAND_HIGH = "band_high"
BIM_SPECTRA = "bim_spectra"
FREE_EDGES_CONNECT = "free_edges_connect"
CONNECTED_SUBSETS = "connected_subsets"
SUBSETS = "subsets"
CONNECTED_SUBSETS_WITH = "connected_subsets_with"

# The reliability report.
SOURCE = "source"
SOURCE_KIND = "source_kind"
RELIABILITY = "reliability"
IMPORTANCE = "importance"
P = "p"
R = "R"
RANKING = "ranking"
RANK = "rank"
SRLG = "srlg"
R_UP = "R_up"
R_DOWN = "R_down"

# Values of COMMAND.
ESTIMATE_COMMAND = "estimate"
EXACT_COMMAND = "exact"
RELIABILITY_COMMAND = "reliability"

# Counts that only the Python results hold: the estimator's integer tallies.
CONNECTED = "connected"
CONNECTED_WITH = "connected_with"

# R(p) over the bounds of the 95% band of an estimate (Python results only).
RELIABILITY_LOW = "reliability_low"
RELIABILITY_HIGH = "reliability_high"
IMPORTANCE_LOW = "importance_low"
IMPORTANCE_HIGH = "importance_high"

# Terminal sets and pairwise connectivity.
TERMINALS = "terminals"
PAIRWISE = "pairwise"
PAIRWISE_LOW = "pairwise_low"
PAIRWISE_HIGH = "pairwise_high"
PAIRWISE_NONE_UP = "pairwise_none_up"
TERMINAL_PAIRS = "terminal_pairs"
CONNECTED_PAIRS = "connected_pairs"
