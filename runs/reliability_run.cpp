#include "runs/reliability_run.hpp"

#include "analysis/binomials.hpp"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <utility>

#include "analysis/cut_sets.hpp"
#include "analysis/reliability.hpp"
#include "common/elapsed.hpp"
#include "common/printable.hpp"
#include "estimation/memory_check.hpp"
#include "estimation/process_group.hpp"
#include "estimation/spectra_estimator.hpp"
#include "instance/srlg_probabilities.hpp"
#include "output/estimate_results.hpp"
#include "output/spectra_report.hpp"
#include "output/xml_results.hpp"

namespace varnak {
namespace {

constexpr std::int32_t kDefaultGridPoints = 11;

// The options of one rule, as the request's spelling names them.
struct Words {
  OptionSpelling spelling;
  std::string operator()(const std::string& name) const { return option_name(spelling, name); }
  // What the sampling goals need: a graph and --N on the command line, an instance and n
  // from Python.
  std::string graph_and_n() const {
    return spelling == OptionSpelling::kCommandLine ? "--graph and --N" : "an instance and n";
  }
  std::string exact() const {
    return spelling == OptionSpelling::kCommandLine ? "--exact" : "exact spectra";
  }
  std::string graph_and_exact() const {
    return spelling == OptionSpelling::kCommandLine ? "--graph and --exact"
                                                    : "an instance's exact spectra: leave out n";
  }
};

// What --rel-error asks for: N doubles from --N up to --max-N until the 95% half-width of
// 1 - R(p) at `p` is at most `relative_error` times its value, or until the first `top`
// ranks at `rank_p` are resolved. Each try is a whole fixed-N run with the same seed, so
// the result is exactly the fixed-N run at the N where it stopped.
struct Precision {
  double relative_error = 0.0;  // 0: one run at --N
  std::int32_t max_sample_size = 0;
  double p = 0.0;
  bool ranked = false;
  double rank_p = 0.0;
  std::int32_t top = 0;  // 0: every rank
};

// The request's options, checked.
struct Plan {
  EstimateSettings settings;
  ExactOptions exact_options;
  std::vector<double> p_values;
  bool ranked = false;
  double rank_p = 0.0;
  std::int32_t top = 0;
  bool free_connected = false;
  Precision precision;
  bool exact_tail_wanted = false;
  std::int32_t tail_depth = -1;  // failed SRLGs counted exactly; -1 for as many as is quick
};

bool terminals_given(const ReliabilityRequest& request) {
  return request.terminals.text.has_value() || request.terminals.ids.has_value();
}

int check_p_values(const ReliabilityRequest& request, const Words& words,
                   std::vector<double>& p_values, std::string& message) {
  if (request.p && request.grid) {
    message = "give " + words("p") + " or " + words("grid") + ", not both";
    return kExitUsage;
  }
  if (request.p) {
    for (const std::string& list : *request.p) {
      std::size_t start = 0;
      for (;;) {
        const std::size_t comma = list.find(',', start);
        const std::string text = list.substr(start, comma - start);
        double p = 0.0;
        if (!read_probability(text, p)) {
          message = words("p") + " value \"" + text +
                    "\" is not a probability; expected a number from 0 to 1";
          return kExitUsage;
        }
        p_values.push_back(p);
        if (comma == std::string::npos) {
          break;
        }
        start = comma + 1;
      }
    }
    return kExitSuccess;
  }
  const std::int64_t points = request.grid.value_or(kDefaultGridPoints);
  if (points < 2 || points > 1000000) {
    message = words("grid") + " is " + std::to_string(points) +
              "; expected a number of points from 2 to 1000000";
    return kExitUsage;
  }
  for (std::int64_t i = 0; i < points; ++i) {
    p_values.push_back(static_cast<double>(i) / static_cast<double>(points - 1));
  }
  return kExitSuccess;
}

// Which source the request names, and the options that go with it.
int check_source(const ReliabilityRequest& request, const Words& words, Plan& plan,
                 std::string& message) {
  const bool estimated = request.sampling.sample_size.has_value();
  const int sources = (request.xml_path ? 1 : 0) + (request.results_path ? 1 : 0) +
                      (request.graph ? 1 : 0) + (request.held != nullptr ? 1 : 0);
  if (sources != 1) {
    message = "give one of --xml, --results and --graph";
    return kExitUsage;
  }
  if (request.held != nullptr) {
    // Only the Python package holds spectra, so these are worded for it.
    if (request.exact || estimated || request.sampling.seed || request.tail_exact ||
        request.exact_options.method || request.exact_options.max_memory) {
      message =
          "n, seed, tail_exact, method and max_memory go with an instance; a result holds its "
          "spectra";
      return kExitUsage;
    }
    if (terminals_given(request) || request.terminals.pairwise) {
      message =
          "terminals and pairwise go with an instance; these spectra were computed with their "
          "own";
      return kExitUsage;
    }
    if (request.free_connected && request.held->run.method != "xml") {
      message =
          "free_connected goes with spectra from an XML file only; these spectra tell it by "
          "themselves";
      return kExitUsage;
    }
    plan.free_connected = request.free_connected.value_or("no") == "yes";
    return kExitSuccess;
  }
  if (request.xml_path || request.results_path) {
    if (request.exact || estimated || request.sampling.seed) {
      message = "--exact, --N and --seed need --graph; a result file holds its spectra";
      return kExitUsage;
    }
    if (terminals_given(request) || request.terminals.pairwise) {
      message = "--terminals and --pairwise need --graph; a result file holds its spectra";
      return kExitUsage;
    }
  }
  if (request.results_path) {
    if (request.free_connected) {
      message = "--free-connected goes with --xml only; a report tells it";
      return kExitUsage;
    }
    return kExitSuccess;
  }
  if (request.xml_path) {
    const std::string free_connected = request.free_connected.value_or("no");
    if (free_connected != "yes" && free_connected != "no") {
      message = "--free-connected is \"" + free_connected + "\"; expected yes or no";
      return kExitUsage;
    }
    plan.free_connected = free_connected == "yes";
    return kExitSuccess;
  }
  if (request.free_connected) {
    message = words.spelling == OptionSpelling::kCommandLine
                  ? "--free-connected goes with --xml only; a graph tells it by itself"
                  : "free_connected goes with spectra from an XML file only; an instance "
                    "tells it by itself";
    return kExitUsage;
  }
  if (request.exact == estimated) {
    message = "with --graph give either --exact or --N";
    return kExitUsage;
  }
  if (request.exact) {
    if (request.sampling.seed) {
      message = words("seed") + " goes with " + words("N") + ", not with " + words.exact();
      return kExitUsage;
    }
    return kExitSuccess;
  }
  if (request.exact_options.method || request.exact_options.max_memory) {
    message = words("method") + " and " + words("max-memory") +
              " go with exact spectra: leave out " + words("N");
    return kExitUsage;
  }
  return check_sampling(request.sampling, words.spelling, plan.settings, message);
}

// --tail-exact, --rel-error and --max-N, which refine an estimate made with --N.
int check_sampling_goals(const ReliabilityRequest& request, const RunContext& context,
                         const Words& words, Plan& plan, std::string& message) {
  const bool estimated = request.graph && request.sampling.sample_size.has_value();
  const std::pair<bool, const char*> goals[] = {{request.tail_exact.has_value(), "tail-exact"},
                                                {request.rel_error.has_value(), "rel-error"},
                                                {request.max_sample_size.has_value(), "max-N"}};
  for (const auto& [given, name] : goals) {
    if (given && !estimated) {
      message = words(name) + " goes with " + words.graph_and_n();
      return kExitUsage;
    }
  }
  if (request.tail_exact) {
    if (terminals_given(request)) {
      message = words("tail-exact") +
                " counts the failures that cut any vertex off; it does not go with " +
                words("terminals");
      return kExitUsage;
    }
    const std::string& text = *request.tail_exact;
    plan.exact_tail_wanted = true;
    if (text != "auto") {
      char* end = nullptr;
      const long long depth = std::strtoll(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || depth < 1 || depth > 1000000) {
        message = words("tail-exact") + " is \"" + text +
                  "\"; expected auto or a number of failed SRLGs from 1 up";
        return kExitUsage;
      }
      plan.tail_depth = static_cast<std::int32_t>(depth);
    }
  }
  if (!request.rel_error) {
    if (request.max_sample_size) {
      message = words("max-N") + " goes with " + words("rel-error");
      return kExitUsage;
    }
    return kExitSuccess;
  }
  // Each rank would judge the precision from its own share of the counts.
  if (context.processes != nullptr && context.processes->size() > 1) {
    message = words("rel-error") + " runs in one process; run it without mpirun";
    return kExitUsage;
  }
  Precision& precision = plan.precision;
  precision.relative_error = *request.rel_error;
  if (!(precision.relative_error > 0.0 && precision.relative_error < 1.0)) {
    message = words("rel-error") + " is " + std::to_string(precision.relative_error) +
              "; expected a share of 1 - R(p) between 0 and 1";
    return kExitUsage;
  }
  if (!request.max_sample_size) {
    message = words("rel-error") + " needs " + words("max-N") + ", the most samples to draw";
    return kExitUsage;
  }
  if (*request.max_sample_size < plan.settings.sample_size ||
      *request.max_sample_size > 2147483647) {
    message = words("max-N") + " is " + std::to_string(*request.max_sample_size) +
              "; expected at least " + words("N") + ", " +
              std::to_string(plan.settings.sample_size);
    return kExitUsage;
  }
  precision.max_sample_size = static_cast<std::int32_t>(*request.max_sample_size);
  if (plan.ranked) {
    precision.p = plan.rank_p;
    precision.ranked = true;
    precision.rank_p = plan.rank_p;
    precision.top = plan.top;
  } else if (request.p && plan.p_values.size() == 1) {
    precision.p = plan.p_values.front();
  } else {
    message = words("rel-error") + " needs the p to judge 1 - R(p) at: give " + words("rank-at") +
              " or one " + words("p");
    return kExitUsage;
  }
  return kExitSuccess;
}

// Reads --srlg-p's file: "id,p" lines, one for each SRLG 1..S.
int read_probability_file(const std::string& path, std::int32_t srlg_count,
                          std::vector<double>& probabilities, std::string& message) {
  std::ifstream file(path);
  if (!file) {
    message = "cannot open SRLG probability file " + printable(path);
    return kExitFailure;
  }
  ProbabilityRefusal refusal;
  switch (read_srlg_probabilities(file, srlg_count, probabilities, refusal)) {
    case kProbabilitiesRead:
      return kExitSuccess;
    case kProbabilitiesRefused:
      message = printable(path) +
                (refusal.line != 0 ? " line " + std::to_string(refusal.line) : "") + ": " +
                refusal.reason;
      return kExitFailure;
    default:
      message = "error reading SRLG probability file " + printable(path);
      return kExitFailure;
  }
}

// R and the ranking when each SRLG has its own probability. The figures are exact, so
// each interval is a point, as for exact spectra.
int run_with_srlg_probabilities(const ReliabilityRequest& request, const RunContext& context,
                                const Words& words, Plan& plan, ReliabilityReport& report,
                                std::string& message) {
  if (request.p || request.grid || request.rank_at) {
    message = words("srlg-p") + " gives each SRLG its own p: leave out " + words("p") + ", " +
              words("grid") + " and " + words("rank-at");
    return kExitUsage;
  }
  if (request.terminals.pairwise) {
    message = words("srlg-p") + " gives R and the importances, not connected pairs: leave out " +
              words("pairwise");
    return kExitUsage;
  }
  const InstanceSource& source = *request.graph;
  const auto start = std::chrono::steady_clock::now();
  NetworkInstance storage;
  const NetworkInstance* instance = nullptr;
  ExactOptions options = plan.exact_options;
  if (const int code = load_with_terminals(source, request.terminals, context.spelling, storage,
                                           instance, options.terminals, message);
      code != kExitSuccess) {
    return code;
  }
  std::vector<double> probabilities;
  if (const int code = read_probability_file(*request.srlg_probabilities, instance->srlg_count,
                                             probabilities, message);
      code != kExitSuccess) {
    return code;
  }
  watch_exact_count(context, options);
  SrlgReliability exact;
  const int computed = compute_srlg_reliability(*instance, probabilities, options, exact, message);
  if (context.diagram_done) {
    context.diagram_done();
  }
  if (computed != 0) {
    message = shown_source(source) + ": " + message;
    return kExitFailure;
  }
  report.run = exact_run_info(source, *instance, options.terminals);
  report.run.exact_method = method_name(exact.method);
  report.run.diagram = exact.diagram;
  report.srlg_probabilities = file_name_of(*request.srlg_probabilities);
  report.has_intervals = true;
  ReliabilityPoint point;
  point.p = std::numeric_limits<double>::quiet_NaN();  // no one p
  point.reliability = exact.reliability;
  point.unreliability = 1.0 - exact.reliability;
  point.interval = {std::max(0.0, exact.reliability - exact.error_bound),
                    std::min(1.0, exact.reliability + exact.error_bound)};
  report.curve.push_back(point);
  report.ranked = true;
  report.rank_at = point;
  report.ranking = rank_bounded_importances(std::move(exact.importances), plan.top);
  report.run.elapsed_seconds = seconds_since(start);
  return kExitSuccess;
}

// What the estimating branch gives besides the spectra.
struct SamplingOutcome {
  FailureShares exact_tail;  // with --tail-exact
  std::string stop_reason;   // with --rel-error
};

// Why sampling stopped, for the report; empty without --rel-error.
// The seed of --rel-error's pilot samples: another stream than the run's, fixed by it.
std::int32_t pilot_seed(std::int32_t seed) {
  constexpr std::uint64_t kLargestSeed = 2147483647;
  return static_cast<std::int32_t>(1 + (static_cast<std::uint64_t>(seed) * 2654435761u + 12345u) %
                                           (kLargestSeed - 1));
}

std::string precision_reached(const Precision& precision, const SpectraSummary& summary,
                              const FailureShares* exact_tail) {
  const ReliabilityPoint point = reliability_point(summary, precision.p, exact_tail);
  const double half_width =
      std::max(point.reliability - point.interval.low, point.interval.high - point.reliability);
  if (half_width <= precision.relative_error * point.unreliability) {
    return "relative error reached";
  }
  if (precision.ranked) {
    const std::vector<SrlgImportance> ranking =
        rank_by_importance(summary, precision.rank_p, precision.top);
    if (std::all_of(ranking.begin(), ranking.end(),
                    [](const SrlgImportance& entry) { return entry.resolved; })) {
      return "ranks resolved";
    }
  }
  return "";
}

// The estimated spectra of `instance`: one run at --N, or with --rel-error runs of
// doubling N until the precision asked for is reached.
int estimate_spectra_for(const RunContext& context, const InstanceSource& source, const Plan& plan,
                         const NetworkInstance& instance, SpectraSummary& summary, RunInfo& run,
                         SamplingOutcome& outcome, std::string& message) {
  // Importance reads every row at every p, so the rows are kept whole as doubles.
  // With --rel-error the largest run is at --max-N.
  const std::int32_t most_samples =
      std::max(plan.settings.sample_size, plan.precision.max_sample_size);
  if (!estimate_fits_in_memory({instance.srlg_count, most_samples, plan.settings.thread_count,
                                process_count(context), plan.settings.critical},
                               true, message)) {
    message = shown_source(source) + ": " + message;
    return kExitFailure;
  }
  const FailureShares* exact_tail = nullptr;
  if (plan.exact_tail_wanted) {
    const std::int32_t depth =
        plan.tail_depth < 0 ? quick_tail_depth(instance.srlg_count) : plan.tail_depth;
    if (count_failure_shares(instance, depth, outcome.exact_tail, message) != 0) {
      message = shown_source(source) + ": " + message;
      return kExitFailure;
    }
    exact_tail = &outcome.exact_tail;
  }
  EstimateSettings settings = plan.settings;
  const bool free_connected = free_edges_connect_terminals(instance, settings.terminals);
  double seconds = 0.0;
  const auto sample = [&](EstimateSettings& run_settings) {
    double run_seconds = 0.0;
    SpectraCounts counts = sample_counts(context, source, instance, run_settings, run_seconds);
    seconds += run_seconds;
    return summary_of_counts(std::move(counts), free_connected);
  };
  if (plan.precision.relative_error > 0.0) {
    // The stop rule looks at a pilot stream of samples, never at the ones reported: a rule
    // that stops as soon as the reported samples look precise stops more often where they
    // understate 1 - R, which biased them by about 1% of 1 - R at E = 0.1. The pilot's
    // seed follows from the run's, so the run repeats, and the run reported is the
    // fixed-N run with the run's own seed at the N the pilot chose.
    EstimateSettings pilot = settings;
    pilot.seed = pilot_seed(settings.seed);
    for (;;) {
      const SpectraSummary pilot_summary = sample(pilot);
      outcome.stop_reason = precision_reached(plan.precision, pilot_summary, exact_tail);
      if (!outcome.stop_reason.empty()) {
        break;
      }
      if (pilot.sample_size >= plan.precision.max_sample_size) {
        outcome.stop_reason = "--max-N reached";
        break;
      }
      pilot.sample_size = static_cast<std::int32_t>(std::min<std::int64_t>(
          2 * static_cast<std::int64_t>(pilot.sample_size), plan.precision.max_sample_size));
    }
    settings.sample_size = pilot.sample_size;
  }
  summary = sample(settings);
  run = sampled_run_info(source, instance, settings, seconds);
  return kExitSuccess;
}

// With --pairwise: the pairwise share with k SRLGs up, by entry k-1, and with none up.
struct PairwiseSpectrum {
  bool wanted = false;
  double none_up = 0.0;
  SpectraVector shares;
};

// With y_0 = 1 every subset connects, so the first spectrum entry must say 1 too (to the
// six decimals of an XML file).
bool contradicts_free_connection(const SpectraVector& spectrum, bool free_connected) {
  return free_connected && !spectrum.empty() && spectrum[0] < 1.0 - 1e-6;
}

// Spectra from values alone: exact ones, or an XML file's six decimals.
void summary_of_values(SpectraVector spectrum, BimSpectraMatrix bim_spectra, bool free_connected,
                       bool exact, SpectraSummary& summary) {
  summary.srlg_count = static_cast<std::int32_t>(spectrum.size());
  summary.none_up = free_connected ? 1.0 : 0.0;
  summary.spectrum = std::move(spectrum);
  summary.bim_spectra = std::move(bim_spectra);
  summary.exact = exact;
}

// Held subset counts must be the ones the held spectra were made of: S counts and S rows
// of S, each spectrum value the nearest double to its count over C(S, k).
int check_held_counts(const HeldSpectra& held, std::string& message) {
  const std::size_t width = held.spectrum.size();
  bool square = held.exact_connected.size() == width && held.exact_connected_with.size() == width;
  for (const std::vector<ExactCount>& row : held.exact_connected_with) {
    square = square && row.size() == width;
  }
  if (!square) {
    message = "connected and connected_with must hold a count for each spectrum entry";
    return kExitUsage;
  }
  const std::vector<ExactCount> subsets = binomial_row(static_cast<std::int32_t>(width));
  for (std::size_t k = 1; k <= width; ++k) {
    const ExactCount& count = held.exact_connected[k - 1];
    if (count < 0 || count > subsets[k] || ratio(count, subsets[k]) != held.spectrum[k - 1]) {
      message = "connected count " + std::to_string(k) + " does not give spectrum value " +
                std::to_string(k) + "; expected the counts the spectra were made of";
      return kExitUsage;
    }
  }
  return kExitSuccess;
}

int held_spectra(const HeldSpectra& held, const Plan& plan, SpectraSummary& summary,
                 PairwiseSpectrum& pairwise, RunInfo& run, std::string& message) {
  run = held.run;
  pairwise.wanted = held.pairwise;
  pairwise.none_up = held.pairwise_none_up;
  if (held.run.method == "estimate") {
    if (check_estimate_counts(held.run, held.counts, message) != 0) {
      return kExitUsage;
    }
    summary = summary_of_counts(held.counts, held.run.free_edges_connect);
    pairwise_of(summary.counts, pairwise.shares);
    return kExitSuccess;
  }
  const std::size_t width = held.spectrum.size();
  if (held.bim_spectra.size() != width ||
      std::any_of(held.bim_spectra.begin(), held.bim_spectra.end(),
                  [&](const SpectraVector& row) { return row.size() != width; })) {
    message = "bim_spectra must be a square table with one row per spectrum entry";
    return kExitUsage;
  }
  const bool exact = held.run.method == "exact";
  const bool free_connected = exact ? held.run.free_edges_connect : plan.free_connected;
  if (!exact && contradicts_free_connection(held.spectrum, free_connected)) {
    message = "free_connected is true, but spectrum value 1 is " +
              std::to_string(held.spectrum[0]) +
              "; a network connected with no SRLG up is connected at every k";
    return kExitFailure;
  }
  run.free_edges_connect = free_connected;
  run.srlg_count = static_cast<std::int32_t>(width);
  summary_of_values(held.spectrum, held.bim_spectra, free_connected, exact, summary);
  if (exact && !held.exact_connected.empty()) {
    if (const int code = check_held_counts(held, message); code != kExitSuccess) {
      return code;
    }
    summary.exact_connected = held.exact_connected;
    summary.exact_connected_with = held.exact_connected_with;
  }
  pairwise.shares = held.pairwise_shares;
  return kExitSuccess;
}

int read_spectra(const ReliabilityRequest& request, const RunContext& context, Plan& plan,
                 SpectraSummary& summary, PairwiseSpectrum& pairwise, RunInfo& run,
                 SamplingOutcome& outcome, std::string& message) {
  if (request.held != nullptr) {
    return held_spectra(*request.held, plan, summary, pairwise, run, message);
  }
  if (request.results_path) {
    SpectraReport report;
    if (read_spectra_report(*request.results_path, report, message) != 0) {
      return kExitFailure;
    }
    if (report.exact) {
      ExactSpectra& exact = report.exact_report.exact;
      run = report.exact_report.run;
      run.results_file = file_name_of(*request.results_path);
      pairwise.wanted = exact.pairwise;
      pairwise.none_up = exact.pairwise_none_up;
      pairwise.shares = exact.pairwise_shares;
      exact.free_edges_connect = run.free_edges_connect;
      summary = summary_of_exact(std::move(exact));
      return kExitSuccess;
    }
    EstimateResults& results = report.estimate;
    run = results.run;
    run.results_file = file_name_of(*request.results_path);
    // A report of --pairwise gives its pairwise curve, as the run itself would.
    pairwise.wanted = !results.counts.connected_pairs.empty();
    pairwise.none_up = results.pairwise_none_up;
    summary = summary_of_counts(std::move(results.counts), run.free_edges_connect);
    pairwise_of(summary.counts, pairwise.shares);
    return kExitSuccess;
  }
  if (request.xml_path) {
    XmlResults results;
    if (read_xml_results(*request.xml_path, results, message) != 0) {
      return kExitFailure;
    }
    if (contradicts_free_connection(results.spectrum, plan.free_connected)) {
      message = printable(*request.xml_path) + ": --free-connected yes, but <spectra> value 1 is " +
                std::to_string(results.spectrum[0]) +
                "; a network connected with no SRLG up is connected at every k";
      return kExitFailure;
    }
    summary_of_values(std::move(results.spectrum), std::move(results.bim_spectra),
                      plan.free_connected, false, summary);
    run.method = "xml";
    run.results_file = file_name_of(*request.xml_path);
    run.srlg_count = results.srlg_count;
    run.free_edges_connect = plan.free_connected;
    return kExitSuccess;
  }

  const InstanceSource& source = *request.graph;
  NetworkInstance storage;
  const NetworkInstance* instance = nullptr;
  EstimateSettings& settings = plan.settings;
  settings.pairwise = request.terminals.pairwise;
  settings.critical = plan.ranked;
  if (const int code = load_with_terminals(source, request.terminals, context.spelling, storage,
                                           instance, settings.terminals, message);
      code != kExitSuccess) {
    return code;
  }
  pairwise.wanted = settings.pairwise;
  if (settings.pairwise) {
    pairwise.none_up = free_pairs_share(*instance, settings.terminals);
  }
  if (request.exact) {
    run = exact_run_info(source, *instance, settings.terminals);
    ExactSpectra exact;
    ExactOptions options = plan.exact_options;
    options.terminals = settings.terminals;
    options.pairwise = settings.pairwise;
    watch_exact_count(context, options);
    const int computed = compute_exact_spectra(*instance, options, exact, message);
    if (context.diagram_done) {
      context.diagram_done();
    }
    if (computed != 0) {
      message = shown_source(source) + ": " + message;
      return kExitFailure;
    }
    run.exact_method = method_name(exact.method);
    run.diagram = exact.diagram;
    pairwise.shares = exact.pairwise_shares;
    exact.free_edges_connect = run.free_edges_connect;
    exact.srlg_count = instance->srlg_count;
    summary = summary_of_exact(std::move(exact));
    return kExitSuccess;
  }
  const int code =
      estimate_spectra_for(context, source, plan, *instance, summary, run, outcome, message);
  pairwise_of(summary.counts, pairwise.shares);
  return code;
}

}  // namespace

int run_reliability(const ReliabilityRequest& request, const RunContext& context,
                    ReliabilityReport& report, std::string& message) {
  const Words words{context.spelling};
  Plan plan;
  if (const int code = check_source(request, words, plan, message); code != kExitSuccess) {
    return code;
  }
  if (const int code =
          check_exact_options(request.exact_options, context.spelling, plan.exact_options, message);
      code != kExitSuccess) {
    return code;
  }
  if (const int code = check_p_values(request, words, plan.p_values, message);
      code != kExitSuccess) {
    return code;
  }
  plan.ranked = request.rank_at.has_value();
  if (plan.ranked && !read_probability(*request.rank_at, plan.rank_p)) {
    message = words("rank-at") + " is \"" + *request.rank_at + "\"; expected a number from 0 to 1";
    return kExitUsage;
  }
  const std::int64_t top = request.top.value_or(kDefaultTop);
  if (top < 0 || top > 2147483647) {
    message = words("top") + " is " + std::to_string(top) + "; expected 0 (all) or more";
    return kExitUsage;
  }
  plan.top = static_cast<std::int32_t>(top);

  if (request.srlg_probabilities) {
    if (!request.exact) {
      message = words("srlg-p") + " goes with " + words.graph_and_exact();
      return kExitUsage;
    }
    return run_with_srlg_probabilities(request, context, words, plan, report, message);
  }
  if (const int code = check_sampling_goals(request, context, words, plan, message);
      code != kExitSuccess) {
    return code;
  }

  const auto start = std::chrono::steady_clock::now();
  SpectraSummary summary;
  SamplingOutcome outcome;
  PairwiseSpectrum pairwise;
  if (const int code =
          read_spectra(request, context, plan, summary, pairwise, report.run, outcome, message);
      code != kExitSuccess) {
    return code;
  }
  report.stop_reason = outcome.stop_reason;
  const FailureShares* tail = plan.exact_tail_wanted ? &outcome.exact_tail : nullptr;
  if (tail != nullptr) {
    report.exact_tail_depth =
        static_cast<std::int32_t>(outcome.exact_tail.disconnecting.size()) - 1;
    report.exact_tail_sets_checked = outcome.exact_tail.sets_checked;
  }
  report.relative_error = plan.precision.relative_error;
  report.has_intervals = has_intervals(summary);
  if (summary.counts.sample_size > 0) {
    report.connected = summary.counts.connected;
  }
  for (const double p : plan.p_values) {
    report.curve.push_back(reliability_point(summary, p, tail));
    if (pairwise.wanted) {
      report.pairwise.push_back(pairwise_reliability(pairwise.none_up, pairwise.shares, p));
    }
  }
  report.ranked = plan.ranked;
  if (plan.ranked) {
    report.rank_at = reliability_point(summary, plan.rank_p, tail);
    report.ranking = rank_by_importance(summary, plan.rank_p, plan.top);
  }
  report.run.elapsed_seconds = seconds_since(start);
  return kExitSuccess;
}

}  // namespace varnak
