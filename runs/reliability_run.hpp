#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "output/result_formats.hpp"
#include "runs/run_request.hpp"

namespace varnak {

// SRLGs a ranking shows unless told otherwise.
inline constexpr std::int32_t kDefaultTop = 10;

// Spectra that a caller holds already (the Python package's results), in place of a
// result file: sampled counts (run.method "estimate"), exact values ("exact") or values
// read from a Varnak XML file ("xml", without counts and so without intervals).
struct HeldSpectra {
  RunInfo run;
  SpectraCounts counts;  // "estimate": checked as a report's counts are
  SpectraVector spectrum;
  BimSpectraMatrix bim_spectra;
  // The pairwise shares by entry (exact ones; sampled ones come from the counts) and the
  // share with no SRLG up; `pairwise` says whether the spectra hold them.
  bool pairwise = false;
  SpectraVector pairwise_shares;
  double pairwise_none_up = 0.0;
  // Exact spectra's subset counts, when held (see SpectraSummary): R(p) and importance
  // from them are correctly rounded.
  std::vector<ExactCount> exact_connected;
  std::vector<std::vector<ExactCount>> exact_connected_with;
};

// `varnak-tools reliability` and `varnak.reliability`: R(p) on a curve and the SRLGs ranked
// by Birnbaum importance, from one source of spectra: an XML file, an estimate's or exact's
// report, held spectra, or a graph (exact, or sampled with --N).
struct ReliabilityRequest {
  std::optional<std::string> xml_path;
  std::optional<std::string> results_path;
  std::optional<InstanceSource> graph;
  const HeldSpectra* held = nullptr;
  bool exact = false;
  SamplingRequest sampling;                   // a sample size: estimated from the graph
  std::optional<std::string> free_connected;  // "yes" or "no", with an XML file
  ExactRequestOptions exact_options;
  TerminalRequest terminals;
  std::optional<std::vector<std::string>> p;  // p values, each item a comma list
  std::optional<std::int64_t> grid;
  std::optional<std::string> rank_at;
  std::optional<std::int64_t> top;        // none: kDefaultTop; 0: every SRLG
  std::optional<std::string> tail_exact;  // "auto" or a number of failed SRLGs
  std::optional<double> rel_error;
  std::optional<std::int64_t> max_sample_size;
  std::optional<std::string> srlg_probabilities;  // the file of each SRLG's own p
};

// Returns kExitSuccess with `report` filled, or kExitUsage or kExitFailure with `message`.
int run_reliability(const ReliabilityRequest& request, const RunContext& context,
                    ReliabilityReport& report, std::string& message);

}  // namespace varnak
