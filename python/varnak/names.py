"""The key names of varnak-tools' JSON reports, in one place.

Result objects carry their values under these names, and the JSON reader looks them up
here, so a renamed key is changed in this file alone.
"""

# What every report starts with, in this order (tools/README.md, "Result schema").
COMMAND = "command"
INSTANCE = "instance"
METHOD = "method"
RESULTS_FILE = "results_file"
SRLG_COUNT = "srlg_count"
SAMPLE_SIZE = "N"
SEED = "seed"
SEED_DRAWN = "seed_drawn"
THREADS = "threads"
TERMINALS = "terminals"
FREE_EDGES_CONNECT = "free_edges_connect"
ELAPSED_SECONDS = "elapsed_seconds"
CONFIDENCE_LEVEL = "confidence_level"
RUN_KEYS = (COMMAND, INSTANCE, METHOD, RESULTS_FILE, SRLG_COUNT, SAMPLE_SIZE, SEED, SEED_DRAWN,
            THREADS, TERMINALS, FREE_EDGES_CONNECT, ELAPSED_SECONDS, CONFIDENCE_LEVEL)

# The spectra: estimate and exact.
SPECTRUM = "spectrum"
BIM_SPECTRA = "bim_spectra"
CONNECTED = "connected"
CONNECTED_WITH = "connected_with"
BAND_HALF_WIDTH = "band_half_width"
WILSON_LOW = "wilson_low"
WILSON_HIGH = "wilson_high"
BAND_LOW = "band_low"
BAND_HIGH = "band_high"
SUBSETS = "subsets"

# How exact values were found (null for other values), and the decision diagram's size
# (null unless it was built).
EXACT_METHOD = "exact_method"
FRONTIER_WIDTH = "frontier_width"
REMEMBERED_SRLGS = "remembered_srlgs"
DIAGRAM_NODES = "diagram_nodes"
EXACT_KEYS = (EXACT_METHOD, FRONTIER_WIDTH, REMEMBERED_SRLGS, DIAGRAM_NODES)

# The reliability report. RELIABILITY holds the points of the curve and IMPORTANCE the
# point at the ranking's p with the ranking, each point with the keys below.
SRLG_PROBABILITIES = "srlg_probabilities"
REL_ERROR = "rel_error"
STOP_REASON = "stop_reason"
EXACT_TAIL_DEPTH = "exact_tail_depth"
RELIABILITY = "reliability"
IMPORTANCE = "importance"
P = "p"
R = "R"
R_LOW = "R_low"
R_HIGH = "R_high"
UNRELIABILITY = "unreliability"
RANKING = "ranking"
RANK = "rank"
SRLG = "srlg"
IMPORTANCE_LOW = "importance_low"
IMPORTANCE_HIGH = "importance_high"
RESOLVED = "resolved"
R_UP = "R_up"
R_DOWN = "R_down"

# The cuts report.
MAX_SIZE = "max_size"
SETS_CHECKED = "sets_checked"
COUNT_BY_SIZE = "count_by_size"
CUT_SETS = "cut_sets"
SRLGS = "srlgs"
CUT_OFF = "cut_off"

# Values of COMMAND.
ESTIMATE_COMMAND = "estimate"
EXACT_COMMAND = "exact"
RELIABILITY_COMMAND = "reliability"
CUTS_COMMAND = "cuts"

# Values of METHOD: sampled, exact (however found: EXACT_METHOD says), or read from a
# Varnak XML file (six decimals, no counts, so no intervals).
METHOD_ESTIMATE = "estimate"
METHOD_EXACT = "exact"
METHOD_XML = "xml"

# Terminal sets (TERMINALS, a run field, is null when every vertex must be connected) and
# pairwise connectivity.
PAIRWISE = "pairwise"
PAIRWISE_LOW = "pairwise_low"
PAIRWISE_HIGH = "pairwise_high"
PAIRWISE_NONE_UP = "pairwise_none_up"
TERMINAL_PAIRS = "terminal_pairs"
CONNECTED_PAIRS = "connected_pairs"
PAIRWISE_KEYS = (PAIRWISE, PAIRWISE_LOW, PAIRWISE_HIGH, PAIRWISE_NONE_UP, TERMINAL_PAIRS,
                 CONNECTED_PAIRS)
