#pragma once

#include <array>
#include <utility>

// The key names of the JSON reports and the CSV reports' run lines and series, in one
// place: the writers use them, and the Python package reads them from its module, so a
// renamed key is changed here alone.
namespace varnak::report_keys {

inline constexpr const char* kCommand = "command";
inline constexpr const char* kInstance = "instance";
inline constexpr const char* kMethod = "method";
inline constexpr const char* kResultsFile = "results_file";
inline constexpr const char* kSrlgCount = "srlg_count";
inline constexpr const char* kSampleSize = "N";
inline constexpr const char* kSeed = "seed";
inline constexpr const char* kSeedDrawn = "seed_drawn";
inline constexpr const char* kThreads = "threads";
inline constexpr const char* kTerminals = "terminals";
inline constexpr const char* kFreeEdgesConnect = "free_edges_connect";
inline constexpr const char* kElapsedSeconds = "elapsed_seconds";
inline constexpr const char* kConfidenceLevel = "confidence_level";
inline constexpr const char* kSpectrum = "spectrum";
inline constexpr const char* kBimSpectra = "bim_spectra";
inline constexpr const char* kConnected = "connected";
inline constexpr const char* kConnectedWith = "connected_with";
inline constexpr const char* kCritical = "critical";
inline constexpr const char* kBandHalfWidth = "band_half_width";
inline constexpr const char* kWilsonLow = "wilson_low";
inline constexpr const char* kWilsonHigh = "wilson_high";
inline constexpr const char* kBandLow = "band_low";
inline constexpr const char* kBandHigh = "band_high";
inline constexpr const char* kSubsets = "subsets";
inline constexpr const char* kExactMethod = "exact_method";
inline constexpr const char* kFrontierWidth = "frontier_width";
inline constexpr const char* kRememberedSrlgs = "remembered_srlgs";
inline constexpr const char* kDiagramNodes = "diagram_nodes";
inline constexpr const char* kSrlgProbabilities = "srlg_probabilities";
inline constexpr const char* kRelError = "rel_error";
inline constexpr const char* kStopReason = "stop_reason";
inline constexpr const char* kExactTailDepth = "exact_tail_depth";
inline constexpr const char* kReliability = "reliability";
inline constexpr const char* kImportance = "importance";
inline constexpr const char* kP = "p";
inline constexpr const char* kR = "R";
inline constexpr const char* kRLow = "R_low";
inline constexpr const char* kRHigh = "R_high";
inline constexpr const char* kUnreliability = "unreliability";
inline constexpr const char* kRanking = "ranking";
inline constexpr const char* kRank = "rank";
inline constexpr const char* kSrlg = "srlg";
inline constexpr const char* kImportanceLow = "importance_low";
inline constexpr const char* kImportanceHigh = "importance_high";
inline constexpr const char* kResolved = "resolved";
inline constexpr const char* kTieGroup = "tie_group";
inline constexpr const char* kRUp = "R_up";
inline constexpr const char* kRDown = "R_down";
inline constexpr const char* kMaxSize = "max_size";
inline constexpr const char* kSetsChecked = "sets_checked";
inline constexpr const char* kCountBySize = "count_by_size";
inline constexpr const char* kCutSets = "cut_sets";
inline constexpr const char* kSrlgs = "srlgs";
inline constexpr const char* kCutOff = "cut_off";
inline constexpr const char* kEstimateCommand = "estimate";
inline constexpr const char* kExactCommand = "exact";
inline constexpr const char* kReliabilityCommand = "reliability";
inline constexpr const char* kCutsCommand = "cuts";
inline constexpr const char* kMethodEstimate = "estimate";
inline constexpr const char* kMethodExact = "exact";
inline constexpr const char* kMethodXml = "xml";
inline constexpr const char* kPairwise = "pairwise";
inline constexpr const char* kPairwiseLow = "pairwise_low";
inline constexpr const char* kPairwiseHigh = "pairwise_high";
inline constexpr const char* kPairwiseNoneUp = "pairwise_none_up";
inline constexpr const char* kTerminalPairs = "terminal_pairs";
inline constexpr const char* kConnectedPairs = "connected_pairs";
inline constexpr const char* kShare = "share";  // of a pairwise point, beside its p

// Every key by the name the Python package gives it (names.SAMPLE_SIZE is "N").
inline constexpr std::array<std::pair<const char*, const char*>, 68> kByPythonName = {{
    {"COMMAND", kCommand},
    {"INSTANCE", kInstance},
    {"METHOD", kMethod},
    {"RESULTS_FILE", kResultsFile},
    {"SRLG_COUNT", kSrlgCount},
    {"SAMPLE_SIZE", kSampleSize},
    {"SEED", kSeed},
    {"SEED_DRAWN", kSeedDrawn},
    {"THREADS", kThreads},
    {"TERMINALS", kTerminals},
    {"FREE_EDGES_CONNECT", kFreeEdgesConnect},
    {"ELAPSED_SECONDS", kElapsedSeconds},
    {"CONFIDENCE_LEVEL", kConfidenceLevel},
    {"SPECTRUM", kSpectrum},
    {"BIM_SPECTRA", kBimSpectra},
    {"CONNECTED", kConnected},
    {"CONNECTED_WITH", kConnectedWith},
    {"CRITICAL", kCritical},
    {"BAND_HALF_WIDTH", kBandHalfWidth},
    {"WILSON_LOW", kWilsonLow},
    {"WILSON_HIGH", kWilsonHigh},
    {"BAND_LOW", kBandLow},
    {"BAND_HIGH", kBandHigh},
    {"SUBSETS", kSubsets},
    {"EXACT_METHOD", kExactMethod},
    {"FRONTIER_WIDTH", kFrontierWidth},
    {"REMEMBERED_SRLGS", kRememberedSrlgs},
    {"DIAGRAM_NODES", kDiagramNodes},
    {"SRLG_PROBABILITIES", kSrlgProbabilities},
    {"REL_ERROR", kRelError},
    {"STOP_REASON", kStopReason},
    {"EXACT_TAIL_DEPTH", kExactTailDepth},
    {"RELIABILITY", kReliability},
    {"IMPORTANCE", kImportance},
    {"P", kP},
    {"R", kR},
    {"R_LOW", kRLow},
    {"R_HIGH", kRHigh},
    {"UNRELIABILITY", kUnreliability},
    {"RANKING", kRanking},
    {"RANK", kRank},
    {"SRLG", kSrlg},
    {"IMPORTANCE_LOW", kImportanceLow},
    {"IMPORTANCE_HIGH", kImportanceHigh},
    {"RESOLVED", kResolved},
    {"TIE_GROUP", kTieGroup},
    {"R_UP", kRUp},
    {"R_DOWN", kRDown},
    {"MAX_SIZE", kMaxSize},
    {"SETS_CHECKED", kSetsChecked},
    {"COUNT_BY_SIZE", kCountBySize},
    {"CUT_SETS", kCutSets},
    {"SRLGS", kSrlgs},
    {"CUT_OFF", kCutOff},
    {"ESTIMATE_COMMAND", kEstimateCommand},
    {"EXACT_COMMAND", kExactCommand},
    {"RELIABILITY_COMMAND", kReliabilityCommand},
    {"CUTS_COMMAND", kCutsCommand},
    {"METHOD_ESTIMATE", kMethodEstimate},
    {"METHOD_EXACT", kMethodExact},
    {"METHOD_XML", kMethodXml},
    {"PAIRWISE", kPairwise},
    {"PAIRWISE_LOW", kPairwiseLow},
    {"PAIRWISE_HIGH", kPairwiseHigh},
    {"PAIRWISE_NONE_UP", kPairwiseNoneUp},
    {"TERMINAL_PAIRS", kTerminalPairs},
    {"CONNECTED_PAIRS", kConnectedPairs},
    {"SHARE", kShare},
}};

}  // namespace varnak::report_keys
