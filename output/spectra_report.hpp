#pragma once

#include <string>
#include <string_view>

#include "output/estimate_results.hpp"
#include "output/result_formats.hpp"

namespace varnak {

// A report that holds spectra, as `varnak-tools reliability --results` and
// varnak.read_result take it: estimate's JSON or CSV report, or exact's JSON report.
struct SpectraReport {
  bool exact = false;  // exact's report, in `exact_report`; else estimate's, in `estimate`
  EstimateResults estimate;
  ExactReport exact_report;
};

// Reads the report at `path`, told apart by its "command", with the checks of
// parse_estimate_results or parse_exact_results. The file must name its srlg_count in its
// first 64 KiB and is read no further than a report of that count can run, so memory stays
// in proportion to the report and a device that never ends is refused after a little
// reading.
//
// Returns 0, or 1 with `failure` set to one line naming the file, the line and the value
// at fault, control bytes shown as \xNN.
int read_spectra_report(const std::string& path, SpectraReport& report, std::string& failure);

// The same for a report held in `text`, `file_name` naming it in messages.
int parse_spectra_report(std::string_view text, const std::string& file_name, SpectraReport& report,
                         std::string& failure);

}  // namespace varnak
