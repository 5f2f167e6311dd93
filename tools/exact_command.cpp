#include <cstdint>
#include <string>
#include <vector>

#include "analysis/exact_spectra.hpp"
#include "common/printable.hpp"
#include "tools/command_line.hpp"

namespace varnak {
namespace {

constexpr const char* kExactHelp =
    "Usage: varnak-tools exact --graph FILE [--terminals LIST] [--pairwise] [--format F]\n"
    "\n"
    "Computes the spectrum and the BIM spectra exactly. The first k SRLGs of a\n"
    "uniformly random order are a uniformly random k-subset, so spectrum entry k is\n"
    "the share of k-subsets of SRLGs whose coming up connects the network, and BIM\n"
    "entry (s, k) the share of those that also hold SRLG s. The subsets are\n"
    "enumerated depth first; a branch stops as soon as it connects (all its\n"
    "completions connect too and are counted with binomial coefficients) or once it\n"
    "can no longer connect. Edges come up by the estimator's rules. Instances with\n"
    "more than 30 SRLGs are refused: use estimate for those.\n"
    "\n"
    "With --terminals, connected means those vertices in one piece. --pairwise adds\n"
    "the share of terminal pairs (all vertex pairs without --terminals) connected,\n"
    "over the k-subsets; a subset that cannot connect still counts its pairs, so no\n"
    "branch is cut for that, and instances with more than 24 SRLGs are refused.\n";

}  // namespace

int run_exact_command(ToolsConsole& console, const std::vector<std::string>& args) {
  const std::string command = "exact";
  po::options_description options("Options");
  options.add_options()("graph", po::value<std::string>()->required(), "instance file (required)");
  add_terminal_options(options);
  add_format_option(options);
  po::variables_map given;
  if (const int code = parse_options(console, command, kExactHelp, options, args, given);
      code >= 0) {
    return code;
  }
  OutputFormat format = OutputFormat::kText;
  if (const int code = read_format(console, command, given, format); code >= 0) {
    return code;
  }
  const std::string graph = given["graph"].as<std::string>();
  const auto start = std::chrono::steady_clock::now();
  NetworkInstance instance;
  if (load_graph(console, command, graph, instance) != kExitSuccess) {
    return kExitFailure;
  }
  ExactOptions exact_options;
  if (const int code = read_terminal_options(console, command, given, instance,
                                             exact_options.terminals, exact_options.pairwise);
      code >= 0) {
    return code;
  }
  ExactReport report;
  report.run = exact_run_info(graph, instance, exact_options.terminals);
  std::string message;
  if (compute_exact_spectra(instance, report.exact, message, exact_options) != 0) {
    return failure(console, command, printable(graph) + ": " + message);
  }
  report.run.elapsed_seconds = seconds_since(start);
  write_exact_report(console.out, report, format);
  return kExitSuccess;
}

// The p values of --p (each a value or a comma list) or else of the grid.

}  // namespace varnak
