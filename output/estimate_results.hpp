#pragma once

#include <string>

#include "estimation/spectra_estimator.hpp"
#include "output/result_formats.hpp"

namespace varnak {

// What `varnak-tools estimate --format json` or `--format csv` wrote: the run's facts and
// its integer counts, from which every figure is made again without loss.
struct EstimateResults {
  RunInfo run;
  SpectraCounts counts;           // with the pair counts when the run had --pairwise
  double pairwise_none_up = 0.0;  // the share of terminal pairs that the free edges join
};

// Reads an estimate's JSON or CSV report (told apart by its first character that is not
// white space: `{` for JSON). The counts must be what a run can give: within 0..N, each
// row nondecreasing, each BIM count at most the spectrum count of its position, each BIM
// row ending on the last spectrum count, and BIM column j adding up to j+1 times spectrum
// count j. The file must name its srlg_count in its first 64 KiB and is read no further
// than a report of that count can run, so memory stays in proportion to the report and a
// device that never ends is refused after a little reading.
//
// Returns 0, or 1 with `failure` set to one line naming the file, the line and the value
// at fault, control bytes shown as \xNN.
int read_estimate_results(const std::string& path, EstimateResults& results, std::string& failure);

// The same for a report held in `text`, `file_name` naming it in messages.
int parse_estimate_results(const std::string& text, const std::string& file_name,
                           EstimateResults& results, std::string& failure);

// The same checks on counts held already (the Python package's): `run` gives srlg_count,
// N, free_edges_connect and the terminals. Returns 0, or 1 with `failure` set to the
// reason, without a file or line.
int check_estimate_counts(const RunInfo& run, const SpectraCounts& counts, std::string& failure);

}  // namespace varnak
