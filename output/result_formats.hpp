#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/confidence.hpp"
#include "analysis/cut_sets.hpp"
#include "analysis/exact_spectra.hpp"
#include "analysis/reliability.hpp"
#include "estimation/spectra_estimator.hpp"

namespace varnak {

enum class OutputFormat { kText, kCsv, kJson };

// "text", "csv" or "json"; false for anything else.
bool parse_output_format(const std::string& name, OutputFormat& format);

// What every report says about the run behind it, under the same names in every command
// and format: JSON keys, `# key: value` lines before a CSV header, the text's first lines.
struct RunInfo {
  std::string instance_name;  // the instance file's name; empty when unknown (an XML file)
  std::string method;         // "estimate", "exact" or "xml" (rounded values, no counts)
  std::string results_file;   // the result file read, when the spectra came from one
  std::int32_t srlg_count = 0;
  bool sampled = false;  // N, seed, seed_drawn and threads below are known
  std::int32_t sample_size = 0;
  std::int32_t seed = 0;
  bool seed_drawn = false;  // no --seed: drawn at random, shown so the run can be repeated
  int thread_count = 1;
  bool free_edges_connect = false;
  double elapsed_seconds = 0.0;
  // For exact values: "subsets", "diagram" or "none" (the answer needed neither), as
  // method_name gives them; empty for other values. `diagram` holds when it is "diagram".
  std::string exact_method;
  DiagramSummary diagram;
  // The vertices that must lie in one piece for the network to count as connected; none:
  // every vertex.
  std::vector<std::int32_t> terminals;
};

// One estimate, its counts and its uncertainty.
struct EstimateReport {
  RunInfo run;
  SpectraCounts counts;
  SpectraVector spectrum;        // connected / N
  std::vector<Interval> wilson;  // Clopper-Pearson, by spectrum entry
  double band_half_width = 0.0;  // the DKW band, the same for every entry
  // With pairwise connectivity only (counts->connected_pairs): the share of terminal pairs
  // connected, by entry, with its interval (share_interval: a share in [0, 1] with mean m
  // varies at most m(1-m), as a proportion does).
  SpectraVector pairwise;
  std::vector<Interval> pairwise_wilson;
  double pairwise_none_up = 0.0;  // the share the free edges join, with no SRLG up
};

// Fills the spectrum and the intervals of `report` from its counts.
void add_confidence(EstimateReport& report);

struct ExactReport {
  RunInfo run;
  ExactSpectra exact;
};

// A curve of R(p) and, at one p, the SRLGs ranked by importance.
struct ReliabilityReport {
  RunInfo run;
  std::vector<std::int64_t> connected;  // the spectrum counts, when sampled
  std::vector<ReliabilityPoint> curve;
  bool ranked = false;
  ReliabilityPoint rank_at;
  std::vector<SrlgImportance> ranking;
  bool has_intervals = false;  // false for rounded values read from an XML file
  // 1 - R(p) counted exactly for up to this many failed SRLGs; -1 when not asked for.
  std::int32_t exact_tail_depth = -1;
  std::uint64_t exact_tail_sets_checked = 0;
  double relative_error = 0.0;  // the --rel-error goal, 0 without one
  std::string stop_reason;      // why sampling stopped at N, with --rel-error
  // With --srlg-p: the file of each SRLG's own probability. The curve is then one point
  // and rank_at its R, both with p NaN, as there is no one p.
  std::string srlg_probabilities;
  // With --pairwise: the expected share of terminal pairs connected, by curve point.
  std::vector<double> pairwise;
};

// The minimal SRLG cut sets of one network.
struct CutsReport {
  RunInfo run;
  MinimalCutSets cuts;
};

void write_estimate_report(std::ostream& out, const EstimateReport& report, OutputFormat format);
void write_exact_report(std::ostream& out, const ExactReport& report, OutputFormat format);
void write_reliability_report(std::ostream& out, const ReliabilityReport& report,
                              OutputFormat format);
void write_cuts_report(std::ostream& out, const CutsReport& report, OutputFormat format);

// A JSON string literal: quotes, backslashes and control characters escaped, and UTF-8
// passed through as it is. A byte that is not UTF-8 (a file name may hold any) has no JSON
// form: it becomes the text \xNN, as messages show it, so the output stays valid JSON.
std::string json_string(const std::string& text);

// 17 significant digits, enough to give back the same double; null for NaN and infinities,
// which JSON cannot hold.
std::string json_number(double value);

}  // namespace varnak
