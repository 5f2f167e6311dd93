#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "analysis/cut_sets.hpp"
#include "analysis/exact_spectra.hpp"
#include "analysis/reliability.hpp"
#include "common/elapsed.hpp"
#include "common/machine_cores.hpp"
#include "common/printable.hpp"
#include "estimation/memory_check.hpp"
#include "estimation/process_group.hpp"
#include "output/xml_results.hpp"
#include "tools/command_line.hpp"
#include "output/estimate_results.hpp"

namespace varnak {
namespace {

constexpr const char* kReliabilityHelp =
    "Usage: varnak-tools reliability (--xml FILE | --results FILE |\n"
    "                                 --graph FILE (--exact | --N SAMPLES))\n"
    "                                [--p LIST]... [--grid POINTS] [--rank-at P] [options]\n"
    "\n"
    "With every SRLG up independently with probability p, the network is connected\n"
    "with probability\n"
    "  R(p) = sum over k = 0..S of C(S,k) p^k (1-p)^(S-k) y_k,\n"
    "y_k being the spectrum entry for k SRLGs up. y_0 is 1 when the edges in no SRLG\n"
    "connect the network by themselves, else 0. A graph tells this; a Varnak XML file\n"
    "does not (its spectrum starts at k = 1), so for --xml it is taken from\n"
    "--free-connected, 'no' by default.\n"
    "\n"
    "The Birnbaum importance of SRLG s is I_s(p) = R(p | s up) - R(p | s down), found\n"
    "from the BIM spectra z: P(connected | s up, k up) = z_{s,k} S / k and\n"
    "P(connected | s down, k up) = (y_k - z_{s,k}) S / (S - k). Estimated values are\n"
    "held to [0, 1]. Values from an XML file carry its six decimals only.\n"
    "\n"
    "R(p) is given at the --p values, or else on a grid of evenly spaced p from 0 to 1\n"
    "(11 points unless --grid says otherwise). --rank-at adds the SRLGs ranked by\n"
    "importance at that p.\n"
    "\n"
    "Estimated figures come with 95% intervals made from the sample counts: with --N,\n"
    "or from the JSON or CSV report of varnak-tools estimate (--results), which keeps\n"
    "them. A rank is resolved when the intervals keep its SRLG apart from all others.\n"
    "An XML file keeps no counts, so its figures have no intervals.\n"
    "\n"
    "With --graph, --terminals makes connected mean those vertices in one piece, and\n"
    "--pairwise adds the expected share of terminal pairs (all vertex pairs without\n"
    "--terminals) connected at each p, from the pairwise shares pi_k as R(p) comes\n"
    "from y_k: sum over k of C(S,k) p^k (1-p)^(S-k) pi_k.\n"
    "\n"
    "With --graph, --exact and --srlg-p FILE, each SRLG s is up with its own\n"
    "probability p_s, read from FILE's lines 'id,p' (one for every SRLG; empty lines and\n"
    "lines starting with # are passed over). R and every SRLG's importance are then\n"
    "computed exactly from the decision diagram over the SRLGs, without spectra, with\n"
    "--terminals if given; --pairwise is refused.\n";

constexpr std::int32_t kDefaultGridPoints = 11;
constexpr std::int32_t kDefaultTop = 10;

int read_p_values(ToolsConsole& console, const std::string& command, const po::variables_map& given,
                  std::vector<double>& p_values) {
  if (given.count("p") != 0 && given.count("grid") != 0) {
    return usage_error(console, command, "give --p or --grid, not both");
  }
  if (given.count("p") != 0) {
    for (const std::string& list : given["p"].as<std::vector<std::string>>()) {
      std::size_t start = 0;
      for (;;) {
        const std::size_t comma = list.find(',', start);
        const std::string text = list.substr(start, comma - start);
        double p = 0.0;
        if (!read_probability(text, p)) {
          return usage_error(console, command,
                             "--p value \"" + text +
                                 "\" is not a probability; expected a "
                                 "number from 0 to 1");
        }
        p_values.push_back(p);
        if (comma == std::string::npos) {
          break;
        }
        start = comma + 1;
      }
    }
    return -1;
  }
  const std::int32_t points =
      given.count("grid") != 0 ? given["grid"].as<std::int32_t>() : kDefaultGridPoints;
  if (points < 2 || points > 1000000) {
    return usage_error(
        console, command,
        "--grid is " + std::to_string(points) + "; expected a number of points from 2 to 1000000");
  }
  for (std::int32_t i = 0; i < points; ++i) {
    p_values.push_back(static_cast<double>(i) / (points - 1));
  }
  return -1;
}

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

// Reads --srlg-p's file: "id,p" lines, one for each SRLG 1..S.
int read_srlg_probabilities(ToolsConsole& console, const std::string& command,
                            const std::string& path, std::int32_t srlg_count,
                            std::vector<double>& probabilities) {
  std::ifstream file(path);
  if (!file) {
    return failure(console, command, "cannot open SRLG probability file " + printable(path));
  }
  ProbabilityRefusal refusal;
  switch (read_srlg_probabilities(file, srlg_count, probabilities, refusal)) {
    case kProbabilitiesRead:
      return kExitSuccess;
    case kProbabilitiesRefused:
      return failure(console, command,
                     printable(path) +
                         (refusal.line != 0 ? " line " + std::to_string(refusal.line) : "") + ": " +
                         refusal.reason);
    default:
      return failure(console, command, "error reading SRLG probability file " + printable(path));
  }
}

// R and the ranking when each SRLG has its own probability. The figures are exact, so
// each interval is a point, as for exact spectra.
int run_with_srlg_probabilities(ToolsConsole& console, const std::string& command,
                                const po::variables_map& given, const ExactOptions& options,
                                std::int32_t top, OutputFormat format) {
  if (given.count("p") != 0 || given.count("grid") != 0 || given.count("rank-at") != 0) {
    return usage_error(console, command,
                       "--srlg-p gives each SRLG its own p: leave out --p, --grid and --rank-at");
  }
  if (given.count("pairwise") != 0) {
    return usage_error(console, command,
                       "--srlg-p gives R and the importances, not connected pairs: leave out "
                       "--pairwise");
  }
  const std::string graph = given["graph"].as<std::string>();
  const std::string path = given["srlg-p"].as<std::string>();
  const auto start = std::chrono::steady_clock::now();
  NetworkInstance instance;
  if (load_graph(console, command, graph, instance) != kExitSuccess) {
    return kExitFailure;
  }
  ExactOptions with_terminals = options;
  bool pairwise = false;
  if (const int code = read_terminal_options(console, command, given, instance,
                                             with_terminals.terminals, pairwise);
      code >= 0) {
    return code;
  }
  std::vector<double> probabilities;
  if (read_srlg_probabilities(console, command, path, instance.srlg_count, probabilities) !=
      kExitSuccess) {
    return kExitFailure;
  }
  SrlgReliability exact;
  std::string message;
  if (compute_srlg_reliability(instance, probabilities, with_terminals, exact, message) != 0) {
    return failure(console, command, printable(graph) + ": " + message);
  }
  ReliabilityReport report;
  report.run = exact_run_info(graph, instance, with_terminals.terminals);
  report.run.exact_method = method_name(exact.method);
  report.run.diagram = exact.diagram;
  report.srlg_probabilities = file_name_of(path);
  report.has_intervals = true;
  ReliabilityPoint point;
  point.p = std::numeric_limits<double>::quiet_NaN();  // no one p
  point.reliability = exact.reliability;
  point.unreliability = 1.0 - exact.reliability;
  point.interval = {exact.reliability, exact.reliability};
  report.curve.push_back(point);
  report.ranked = true;
  report.rank_at = point;
  report.ranking = rank_importances(std::move(exact.importances), true, top);
  report.run.elapsed_seconds = seconds_since(start);
  write_reliability_report(console.out, report, format);
  return kExitSuccess;
}

// Where the spectra come from, as the command line says.
struct ReliabilitySource {
  std::string xml_path;
  std::string results_path;
  std::string graph_path;
  bool exact = false;
  bool free_connected = false;
  EstimateSettings settings;
  Precision precision;
  bool exact_tail_wanted = false;
  std::int32_t tail_depth = -1;  // failed SRLGs counted exactly; -1 for as many as is quick
  ExactOptions exact_options;    // --method and --max-memory, for --exact
};

// What the estimating branch gives besides the spectra.
struct SamplingOutcome {
  FailureShares exact_tail;  // with --tail-exact
  std::string stop_reason;   // with --rel-error
};

int read_reliability_source(ToolsConsole& console, const std::string& command,
                            const po::variables_map& given, ReliabilitySource& source) {
  const bool from_xml = given.count("xml") != 0;
  const bool from_results = given.count("results") != 0;
  const bool from_graph = given.count("graph") != 0;
  const bool estimated = given.count("N") != 0;
  source.exact = given.count("exact") != 0;
  if ((from_xml ? 1 : 0) + (from_results ? 1 : 0) + (from_graph ? 1 : 0) != 1) {
    return usage_error(console, command, "give one of --xml, --results and --graph");
  }
  if (from_xml || from_results) {
    if (source.exact || estimated || given.count("seed") != 0) {
      return usage_error(console, command,
                         "--exact, --N and --seed need --graph; a result file holds its spectra");
    }
    if (given.count("terminals") != 0 || given.count("pairwise") != 0) {
      return usage_error(console, command,
                         "--terminals and --pairwise need --graph; a result file holds its "
                         "spectra");
    }
  }
  if (from_results) {
    source.results_path = given["results"].as<std::string>();
    if (!given["free-connected"].defaulted()) {
      return usage_error(console, command,
                         "--free-connected goes with --xml only; an estimate's report tells it");
    }
    return -1;
  }
  if (from_xml) {
    source.xml_path = given["xml"].as<std::string>();
    const std::string free_connected = given["free-connected"].as<std::string>();
    if (free_connected != "yes" && free_connected != "no") {
      return usage_error(console, command,
                         "--free-connected is \"" + free_connected + "\"; expected yes or no");
    }
    source.free_connected = free_connected == "yes";
    return -1;
  }
  source.graph_path = given["graph"].as<std::string>();
  if (!given["free-connected"].defaulted()) {
    return usage_error(console, command,
                       "--free-connected goes with --xml only; a graph tells it by itself");
  }
  if (source.exact == estimated) {
    return usage_error(console, command, "with --graph give either --exact or --N");
  }
  if (source.exact) {
    if (given.count("seed") != 0) {
      return usage_error(console, command, "--seed goes with --N, not with --exact");
    }
    return -1;
  }
  return read_estimate_settings(console, command, given, source.settings);
}

// Why sampling stopped, for the report; empty without --rel-error.
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
int estimate_spectra_for(ToolsConsole& console, const std::string& command,
                         const ReliabilitySource& source, const NetworkInstance& instance,
                         SpectraSummary& summary, RunInfo& run, SamplingOutcome& outcome) {
  std::string message;
  // Importance reads every row at every p, so the rows are kept whole as doubles.
  if (!estimate_fits_in_memory(instance.srlg_count, source.settings.thread_count, true, message)) {
    return failure(console, command, printable(source.graph_path) + ": " + message);
  }
  const FailureShares* exact_tail = nullptr;
  if (source.exact_tail_wanted) {
    const std::int32_t depth =
        source.tail_depth < 0 ? quick_tail_depth(instance.srlg_count) : source.tail_depth;
    std::string tail_failure;
    if (count_failure_shares(instance, depth, outcome.exact_tail, tail_failure) != 0) {
      return failure(console, command, printable(source.graph_path) + ": " + tail_failure);
    }
    exact_tail = &outcome.exact_tail;
  }
  EstimateSettings settings = source.settings;
  double seconds = 0.0;
  for (;;) {
    double run_seconds = 0.0;
    SpectraCounts counts = run_estimation(console, instance, settings, run_seconds);
    seconds += run_seconds;
    summary = summary_of_counts(std::move(counts),
                                free_edges_connect_terminals(instance, settings.terminals));
    if (source.precision.relative_error <= 0.0) {
      break;
    }
    outcome.stop_reason = precision_reached(source.precision, summary, exact_tail);
    if (!outcome.stop_reason.empty()) {
      break;
    }
    if (settings.sample_size >= source.precision.max_sample_size) {
      outcome.stop_reason = "--max-N reached";
      break;
    }
    settings.sample_size = static_cast<std::int32_t>(std::min<std::int64_t>(
        2 * static_cast<std::int64_t>(settings.sample_size), source.precision.max_sample_size));
  }
  run = sampled_run_info(source.graph_path, instance, settings, seconds);
  return kExitSuccess;
}

// With --pairwise: the pairwise share with k SRLGs up, by entry k-1, and with none up.
struct PairwiseSpectrum {
  double none_up = 0.0;
  SpectraVector shares;
};

int read_spectra(ToolsConsole& console, const std::string& command, const po::variables_map& given,
                 ReliabilitySource& source, SpectraSummary& summary, PairwiseSpectrum& pairwise,
                 RunInfo& run, SamplingOutcome& outcome) {
  if (!source.results_path.empty()) {
    EstimateResults results;
    std::string message;
    if (read_estimate_results(source.results_path, results, message) != 0) {
      return failure(console, command, message);
    }
    run = results.run;
    run.results_file = file_name_of(source.results_path);
    // A report of --pairwise gives its pairwise curve, as the run itself would.
    source.settings.pairwise = !results.counts.connected_pairs.empty();
    pairwise.none_up = results.pairwise_none_up;
    summary = summary_of_counts(std::move(results.counts), run.free_edges_connect);
    pairwise_of(summary.counts, pairwise.shares);
    return kExitSuccess;
  }
  if (!source.xml_path.empty()) {
    XmlResults results;
    std::string message;
    if (read_xml_results(source.xml_path, results, message) != 0) {
      return failure(console, command, message);
    }
    // With y_0 = 1 every subset connects, so the file's first entry must say 1 too.
    if (source.free_connected && results.srlg_count > 0 && results.spectrum[0] < 1.0 - 1e-6) {
      return failure(console, command,
                     printable(source.xml_path) +
                         ": --free-connected yes, but <spectra> value 1 is " +
                         std::to_string(results.spectrum[0]) +
                         "; a network connected with no SRLG up is connected at every k");
    }
    summary.srlg_count = results.srlg_count;
    summary.none_up = source.free_connected ? 1.0 : 0.0;
    summary.spectrum = std::move(results.spectrum);
    summary.bim_spectra = std::move(results.bim_spectra);
    run.method = "xml";
    run.results_file = file_name_of(source.xml_path);
    run.srlg_count = results.srlg_count;
    run.free_edges_connect = source.free_connected;
    return kExitSuccess;
  }

  NetworkInstance instance;
  if (load_graph(console, command, source.graph_path, instance) != kExitSuccess) {
    return kExitFailure;
  }
  EstimateSettings& settings = source.settings;
  if (const int code = read_terminal_options(console, command, given, instance, settings.terminals,
                                             settings.pairwise);
      code >= 0) {
    return code;
  }
  if (settings.pairwise) {
    pairwise.none_up = free_pairs_share(instance, settings.terminals);
  }
  if (source.exact) {
    run = exact_run_info(source.graph_path, instance, settings.terminals);
    ExactSpectra exact;
    std::string message;
    ExactOptions exact_options = source.exact_options;
    exact_options.terminals = settings.terminals;
    exact_options.pairwise = settings.pairwise;
    if (compute_exact_spectra(instance, exact_options, exact, message) != 0) {
      return failure(console, command, printable(source.graph_path) + ": " + message);
    }
    run.exact_method = method_name(exact.method);
    run.diagram = exact.diagram;
    pairwise.shares = exact.pairwise_shares;
    summary.srlg_count = instance.srlg_count;
    summary.none_up = run.free_edges_connect ? 1.0 : 0.0;
    summary.spectrum = std::move(exact.spectrum);
    summary.bim_spectra = std::move(exact.bim_spectra);
    summary.exact = true;
    return kExitSuccess;
  }
  const int code = estimate_spectra_for(console, command, source, instance, summary, run, outcome);
  pairwise_of(summary.counts, pairwise.shares);
  return code;
}

// --tail-exact, --rel-error and --max-N, which refine an estimate made with --N.
int read_sampling_goals(ToolsConsole& console, const std::string& command,
                        const po::variables_map& given, const std::vector<double>& p_values,
                        const ReliabilityReport& report, std::int32_t top,
                        ReliabilitySource& source) {
  const bool estimated = given.count("N") != 0;
  for (const char* name : {"tail-exact", "rel-error", "max-N"}) {
    if (given.count(name) != 0 && !estimated) {
      return usage_error(console, command, std::string("--") + name + " goes with --graph and --N");
    }
  }
  if (given.count("tail-exact") != 0) {
    if (given.count("terminals") != 0) {
      return usage_error(console, command,
                         "--tail-exact counts the failures that cut any vertex off; it does not "
                         "go with --terminals");
    }
    const std::string text = given["tail-exact"].as<std::string>();
    std::int64_t depth = 0;
    source.exact_tail_wanted = true;
    if (text != "auto") {
      char* end = nullptr;
      depth = std::strtoll(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || depth < 1 || depth > 1000000) {
        return usage_error(console, command,
                           "--tail-exact is \"" + text +
                               "\"; expected auto or a number of failed SRLGs from 1 up");
      }
      source.tail_depth = static_cast<std::int32_t>(depth);
    }
  }
  if (given.count("rel-error") == 0) {
    if (given.count("max-N") != 0) {
      return usage_error(console, command, "--max-N goes with --rel-error");
    }
    return -1;
  }
  // Each rank would judge the precision from its own share of the counts.
  if (console.processes != nullptr && console.processes->size() > 1) {
    return usage_error(console, command, "--rel-error runs in one process; run it without mpirun");
  }
  Precision& precision = source.precision;
  precision.relative_error = given["rel-error"].as<double>();
  if (!(precision.relative_error > 0.0 && precision.relative_error < 1.0)) {
    return usage_error(console, command,
                       "--rel-error is " + std::to_string(precision.relative_error) +
                           "; expected a share of 1 - R(p) between 0 and 1");
  }
  if (given.count("max-N") == 0) {
    return usage_error(console, command, "--rel-error needs --max-N, the most samples to draw");
  }
  precision.max_sample_size = given["max-N"].as<std::int32_t>();
  if (precision.max_sample_size < source.settings.sample_size) {
    return usage_error(console, command,
                       "--max-N is " + std::to_string(precision.max_sample_size) +
                           "; expected at least --N, " +
                           std::to_string(source.settings.sample_size));
  }
  if (report.ranked) {
    precision.p = report.rank_at.p;
    precision.ranked = true;
    precision.rank_p = report.rank_at.p;
    precision.top = top;
  } else if (given.count("p") != 0 && p_values.size() == 1) {
    precision.p = p_values.front();
  } else {
    return usage_error(console, command,
                       "--rel-error needs the p to judge 1 - R(p) at: give --rank-at or one --p");
  }
  return -1;
}

}  // namespace

int run_reliability_command(ToolsConsole& console, const std::vector<std::string>& args) {
  const std::string command = "reliability";
  po::options_description options("Options");
  add_terminal_options(options);
  options.add_options()("xml", po::value<std::string>(), "a Varnak XML result file")(
      "results", po::value<std::string>(), "the JSON or CSV report of varnak-tools estimate")(
      "free-connected", po::value<std::string>()->default_value("no"),
      "with --xml: yes when the edges in no SRLG connect the network alone")(
      "graph", po::value<std::string>(), "an instance file")(
      "exact", "with --graph: exact spectra")("N", po::value<std::int32_t>(),
                                              "with --graph: estimate with this sample size")(
      "seed", po::value<std::int32_t>(), "with --N: seed (default: drawn and shown)")(
      "threads", po::value<int>()->default_value(machine_cores(), "the machine's cores"),
      "with --N: threads that share the samples")(
      "p", po::value<std::vector<std::string>>()->composing(),
      "p values, repeatable or comma-separated")("grid", po::value<std::int32_t>(),
                                                 "R(p) at this many evenly spaced p from 0 to 1")(
      "rank-at", po::value<std::string>(), "rank the SRLGs by importance at this p")(
      "top", po::value<std::int32_t>()->default_value(kDefaultTop),
      "with --rank-at or --srlg-p: SRLGs shown, 0 for all")(
      "tail-exact", po::value<std::string>()->implicit_value("auto"),
      "with --N: count the failures of up to this many SRLGs exactly (auto: as many as a "
      "fraction of a second allows)")(
      "rel-error", po::value<double>(),
      "with --N: double N until the 95% half-width of 1 - R(p) is at most this share of it, "
      "or the --top ranks are resolved; p is --rank-at's, or the one --p value")(
      "max-N", po::value<std::int32_t>(), "with --rel-error: the largest N tried (required)")(
      "srlg-p", po::value<std::string>(),
      "with --graph and --exact: file of 'id,p' lines, each SRLG's own probability");
  add_exact_options(options);
  add_format_option(options);
  po::variables_map given;
  if (const int code = parse_options(console, command, kReliabilityHelp, options, args, given);
      code >= 0) {
    return code;
  }
  ReliabilitySource source;
  std::vector<double> p_values;
  OutputFormat format = OutputFormat::kText;
  if (const int code = read_reliability_source(console, command, given, source); code >= 0) {
    return code;
  }
  if (const int code = read_exact_options(console, command, given, source.exact_options);
      code >= 0) {
    return code;
  }
  if (const int code = read_p_values(console, command, given, p_values); code >= 0) {
    return code;
  }
  if (const int code = read_format(console, command, given, format); code >= 0) {
    return code;
  }
  ReliabilityReport report;
  report.ranked = given.count("rank-at") != 0;
  if (report.ranked) {
    const std::string text = given["rank-at"].as<std::string>();
    if (!read_probability(text, report.rank_at.p)) {
      return usage_error(console, command,
                         "--rank-at is \"" + text + "\"; expected a number from 0 to 1");
    }
  }
  const std::int32_t top = given["top"].as<std::int32_t>();
  if (top < 0) {
    return usage_error(console, command,
                       "--top is " + std::to_string(top) + "; expected 0 (all) or more");
  }

  if (given.count("srlg-p") != 0) {
    if (!source.exact) {
      return usage_error(console, command, "--srlg-p goes with --graph and --exact");
    }
    return run_with_srlg_probabilities(console, command, given, source.exact_options, top, format);
  }
  if (const int code = read_sampling_goals(console, command, given, p_values, report, top, source);
      code >= 0) {
    return code;
  }

  const auto start = std::chrono::steady_clock::now();
  SpectraSummary summary;
  SamplingOutcome outcome;
  PairwiseSpectrum pairwise;
  if (const int code =
          read_spectra(console, command, given, source, summary, pairwise, report.run, outcome);
      code != kExitSuccess) {
    return code;
  }
  report.stop_reason = outcome.stop_reason;
  const FailureShares* tail = source.exact_tail_wanted ? &outcome.exact_tail : nullptr;
  if (tail != nullptr) {
    report.exact_tail_depth =
        static_cast<std::int32_t>(outcome.exact_tail.disconnecting.size()) - 1;
    report.exact_tail_sets_checked = outcome.exact_tail.sets_checked;
  }
  report.relative_error = source.precision.relative_error;
  report.has_intervals = has_intervals(summary);
  if (summary.counts.sample_size > 0) {
    report.connected = summary.counts.connected;
  }
  for (const double p : p_values) {
    report.curve.push_back(reliability_point(summary, p, tail));
    if (source.settings.pairwise) {
      report.pairwise.push_back(pairwise_reliability(pairwise.none_up, pairwise.shares, p));
    }
  }
  if (report.ranked) {
    report.rank_at = reliability_point(summary, report.rank_at.p, tail);
    report.ranking = rank_by_importance(summary, report.rank_at.p, top);
  }
  report.run.elapsed_seconds = seconds_since(start);
  write_reliability_report(console.out, report, format);
  return kExitSuccess;
}

}  // namespace varnak
