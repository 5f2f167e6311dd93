#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/confidence.hpp"
#include "analysis/exact_spectra.hpp"
#include "analysis/reliability.hpp"
#include "estimation/spectra_estimator.hpp"

namespace varnak {

enum class OutputFormat { kText, kCsv, kJson };

// "text", "csv" or "json"; false for anything else.
bool parse_output_format(const std::string& name, OutputFormat& format);

// One estimate and its uncertainty.
struct EstimateReport {
  std::string instance_name;
  std::int32_t sample_size = 0;
  std::int32_t seed = 0;
  bool seed_drawn = false;  // no --seed: drawn at random, shown so the run can be repeated
  int thread_count = 1;
  double elapsed_seconds = 0.0;
  SpectraVector spectrum;
  BimRowSource bim_rows;  // spectrum.size() rows, asked for one at a time as they are written
  std::vector<Interval> wilson;         // by spectrum entry
  double band_half_width = 0.0;         // the DKW band, the same for every entry
  std::vector<std::int32_t> terminals;  // none: every vertex
  // With pairwise connectivity only: the share of terminal pairs connected, by entry, with
  // a Wilson interval. A share in [0, 1] with mean m varies at most m(1-m), as a
  // proportion does, so the proportion's interval is at least as wide as it needs to be.
  SpectraVector pairwise;
  std::vector<Interval> pairwise_wilson;
  double pairwise_none_up = 0.0;  // the share the free edges join, with no SRLG up
};

// Fills the intervals of `report` from its spectrum and sample size.
void add_confidence(EstimateReport& report);

struct ExactReport {
  std::string instance_name;
  double elapsed_seconds = 0.0;
  ExactSpectra exact;
  std::vector<std::int32_t> terminals;  // none: every vertex
};

struct ReliabilityPoint {
  double p = 0.0;
  double reliability = 0.0;
  double pairwise = 0.0;  // expected share of terminal pairs connected, when asked for
};

struct ReliabilityReport {
  std::string source_name;
  std::string source_kind;  // "xml", "exact" or "estimate"
  std::int32_t srlg_count = 0;
  bool free_edges_connect = false;
  std::int32_t sample_size = 0;  // for an estimate only
  std::int32_t seed = 0;
  int thread_count = 0;
  std::vector<std::int32_t> terminals;  // none: every vertex
  bool pairwise = false;
  std::vector<ReliabilityPoint> curve;
  bool ranked = false;
  ReliabilityPoint rank_at;
  std::vector<SrlgImportance> ranking;
};

void write_estimate_report(std::ostream& out, const EstimateReport& report, OutputFormat format);
void write_exact_report(std::ostream& out, const ExactReport& report, OutputFormat format);
void write_reliability_report(std::ostream& out, const ReliabilityReport& report,
                              OutputFormat format);

// A JSON string literal: quotes, backslashes and control characters escaped, and UTF-8
// passed through as it is. A byte that is not UTF-8 (a file name may hold any) has no JSON
// form: it becomes the text \xNN, as messages show it, so the output stays valid JSON.
std::string json_string(const std::string& text);

// 17 significant digits, enough to give back the same double; null for NaN and infinities,
// which JSON cannot hold.
std::string json_number(double value);

}  // namespace varnak
