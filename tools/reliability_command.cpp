#include <cstdint>
#include <string>
#include <vector>

#include "analysis/exact_spectra.hpp"
#include "analysis/reliability.hpp"
#include "common/printable.hpp"
#include "estimation/memory_check.hpp"
#include "output/xml_results.hpp"
#include "tools/command_line.hpp"

namespace varnak {
namespace {

constexpr const char* kReliabilityHelp =
    "Usage: varnak-tools reliability (--xml FILE | --graph FILE (--exact | --N SAMPLES))\n"
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
    "With --graph, --terminals makes connected mean those vertices in one piece, and\n"
    "--pairwise adds the expected share of terminal pairs (all vertex pairs without\n"
    "--terminals) connected at each p, from the pairwise shares pi_k as R(p) comes\n"
    "from y_k: sum over k of C(S,k) p^k (1-p)^(S-k) pi_k.\n";

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

// Where the spectra come from, as the command line says.
struct ReliabilitySource {
  std::string xml_path;
  std::string graph_path;
  bool exact = false;
  bool free_connected = false;
  EstimateSettings settings;
};

int read_reliability_source(ToolsConsole& console, const std::string& command,
                            const po::variables_map& given, ReliabilitySource& source) {
  const bool from_xml = given.count("xml") != 0;
  const bool from_graph = given.count("graph") != 0;
  const bool estimated = given.count("N") != 0;
  source.exact = given.count("exact") != 0;
  if (from_xml == from_graph) {
    return usage_error(console, command, "give either --xml or --graph");
  }
  if (from_xml) {
    source.xml_path = given["xml"].as<std::string>();
    if (source.exact || estimated || given.count("seed") != 0) {
      return usage_error(console, command,
                         "--exact, --N and --seed need --graph; an XML file holds its spectra");
    }
    if (given.count("terminals") != 0 || given.count("pairwise") != 0) {
      return usage_error(console, command,
                         "--terminals and --pairwise need --graph; a Varnak XML file holds "
                         "all-terminal spectra only");
    }
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

// With --pairwise: the pairwise share with k SRLGs up, by entry k-1, and with none up.
struct PairwiseSpectrum {
  double none_up = 0.0;
  SpectraVector shares;
};

int read_spectra(ToolsConsole& console, const std::string& command, const po::variables_map& given,
                 ReliabilitySource& source, SpectraSummary& summary, PairwiseSpectrum& pairwise,
                 ReliabilityReport& report) {
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
    summary = {results.srlg_count, source.free_connected ? 1.0 : 0.0, results.spectrum,
               results.bim_spectra};
    report.source_name = file_name_of(source.xml_path);
    report.source_kind = "xml";
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
  report.terminals = settings.terminals;
  report.pairwise = settings.pairwise;
  report.source_name = file_name_of(source.graph_path);
  summary.srlg_count = instance.srlg_count;
  summary.none_up = free_edges_connect_terminals(instance, settings.terminals) ? 1.0 : 0.0;
  if (settings.pairwise) {
    pairwise.none_up = free_pairs_share(instance, settings.terminals);
  }
  if (source.exact) {
    ExactSpectra exact;
    std::string message;
    if (compute_exact_spectra(instance, exact, message, {settings.terminals, settings.pairwise}) !=
        0) {
      return failure(console, command, printable(source.graph_path) + ": " + message);
    }
    summary.spectrum = exact.spectrum;
    summary.bim_spectra = exact.bim_spectra;
    pairwise.shares = exact.pairwise_shares;
    report.source_kind = "exact";
    return kExitSuccess;
  }
  std::string message;
  if (!estimate_fits_in_memory(instance.srlg_count, source.settings.thread_count, true, message)) {
    return failure(console, command, printable(source.graph_path) + ": " + message);
  }
  double seconds = 0.0;
  const SpectraCounts counts = run_estimation(console, instance, source.settings, seconds);
  spectrum_of(counts, summary.spectrum);
  pairwise_of(counts, pairwise.shares);
  // Importance reads every row at every p, so the rows are kept whole here.
  const BimRowSource rows = bim_rows_of(counts);
  summary.bim_spectra.resize(summary.spectrum.size());
  for (std::size_t srlg_index = 0; srlg_index < summary.bim_spectra.size(); ++srlg_index) {
    rows(srlg_index, summary.bim_spectra[srlg_index]);
  }
  report.source_kind = "estimate";
  report.sample_size = source.settings.sample_size;
  report.seed = source.settings.seed;
  report.thread_count = source.settings.thread_count;
  return kExitSuccess;
}

}  // namespace

int run_reliability_command(ToolsConsole& console, const std::vector<std::string>& args) {
  const std::string command = "reliability";
  po::options_description options("Options");
  add_terminal_options(options);
  options.add_options()("xml", po::value<std::string>(), "a Varnak XML result file")(
      "free-connected", po::value<std::string>()->default_value("no"),
      "with --xml: yes when the edges in no SRLG connect the network alone")(
      "graph", po::value<std::string>(), "an instance file")(
      "exact", "with --graph: exact spectra (up to 30 SRLGs)")(
      "N", po::value<std::int32_t>(), "with --graph: estimate with this sample size")(
      "seed", po::value<std::int32_t>(), "with --N: seed (default: drawn and shown)")(
      "threads", po::value<int>()->default_value(1), "with --N: threads")(
      "p", po::value<std::vector<std::string>>()->composing(),
      "p values, repeatable or comma-separated")("grid", po::value<std::int32_t>(),
                                                 "R(p) at this many evenly spaced p from 0 to 1")(
      "rank-at", po::value<std::string>(), "rank the SRLGs by importance at this p")(
      "top", po::value<std::int32_t>()->default_value(kDefaultTop),
      "with --rank-at: SRLGs shown, 0 for all");
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

  SpectraSummary summary;
  PairwiseSpectrum pairwise;
  if (const int code = read_spectra(console, command, given, source, summary, pairwise, report);
      code != kExitSuccess) {
    return code;
  }
  report.srlg_count = summary.srlg_count;
  report.free_edges_connect = summary.none_up == 1.0;
  for (const double p : p_values) {
    report.curve.push_back(
        {p, reliability(summary, p),
         report.pairwise ? pairwise_reliability(pairwise.none_up, pairwise.shares, p) : 0.0});
  }
  if (report.ranked) {
    report.rank_at.reliability = reliability(summary, report.rank_at.p);
    report.ranking = rank_by_importance(summary, report.rank_at.p, top);
  }
  write_reliability_report(console.out, report, format);
  return kExitSuccess;
}

}  // namespace varnak
