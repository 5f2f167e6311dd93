#pragma once

#include <string>
#include <string_view>

#include "estimation/spectra_estimator.hpp"
#include "output/result_formats.hpp"

namespace varnak {

// What `varnak-tools estimate --format json` or `--format csv` wrote: the run's facts and
// its integer counts, from which every figure is made again without loss. The run's time is
// the JSON report's, NaN when the report does not tell it (CSV).
struct EstimateResults {
  RunInfo run;
  SpectraCounts counts;           // with the pair counts when the run had --pairwise
  double pairwise_none_up = 0.0;  // the share of terminal pairs that the free edges join
};

// Reads an estimate's JSON or CSV report held in `text` (told apart by its first character
// that is not white space: `{` for JSON), `file_name` naming it in messages. The counts
// must be what a run can give: within 0..N, each row nondecreasing, each BIM count at most
// the spectrum count of its position, each BIM row ending on the last spectrum count, and
// BIM column j adding up to j+1 times spectrum count j. read_spectra_report reads the file.
//
// Returns 0, or 1 with `failure` set to one line naming the file, the line and the value
// at fault, control bytes shown as \xNN.
int parse_estimate_results(std::string_view text, const std::string& file_name,
                           EstimateResults& results, std::string& failure);

// The same checks on counts held already (the Python package's): `run` gives srlg_count,
// N, free_edges_connect and the terminals. Returns 0, or 1 with `failure` set to the
// reason, without a file or line.
int check_estimate_counts(const RunInfo& run, const SpectraCounts& counts, std::string& failure);

}  // namespace varnak
