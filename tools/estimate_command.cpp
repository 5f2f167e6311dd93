#include <cstdint>
#include <string>
#include <vector>

#include "analysis/exact_spectra.hpp"
#include "common/elapsed.hpp"
#include "common/printable.hpp"
#include "estimation/memory_check.hpp"
#include "output/xml_report.hpp"
#include "tools/command_line.hpp"

namespace varnak {
namespace {

constexpr const char* kEstimateHelp =
    "Usage: varnak-tools estimate --graph FILE --N SAMPLES [options]\n"
    "\n"
    "Estimates the spectrum and the BIM spectra as Varnak does: for the same instance,\n"
    "sample size and seed the values are the same doubles, whatever the thread count.\n"
    "Without --seed a seed is drawn at random and reported, so the run can be repeated.\n"
    "\n"
    "For every spectrum entry a 95% Wilson score interval is given, and a 95% band\n"
    "that holds for the whole spectrum at once: the spectrum is the distribution\n"
    "function of the position at which a sample first connects, so the\n"
    "Dvoretzky-Kiefer-Wolfowitz inequality gives the half-width sqrt(ln(2/0.05)/(2N)).\n"
    "\n"
    "With --terminals a sample counts as connected from the first position at which\n"
    "those vertices lie in one piece; the orders are the same. --pairwise adds, for\n"
    "each k, the expected share of terminal pairs (all vertex pairs without\n"
    "--terminals) that are connected, with a 95% Wilson interval. Either walks each\n"
    "sample forward with union-find, slower than the all-terminal searches.\n"
    "\n"
    "When standard error is a terminal, a bar shows the samples done and the time\n"
    "left at the pace so far.\n";

}  // namespace

int run_estimate_command(ToolsConsole& console, const std::vector<std::string>& args) {
  const std::string command = "estimate";
  po::options_description options("Options");
  options.add_options()("graph", po::value<std::string>()->required(), "instance file (required)");
  add_estimate_options(options);
  add_terminal_options(options);
  options.add_options()("outpath", po::value<std::string>(),
                        "also write Varnak's XML result file here");
  add_format_option(options);
  po::variables_map given;
  if (const int code = parse_options(console, command, kEstimateHelp, options, args, given);
      code >= 0) {
    return code;
  }
  EstimateSettings settings;
  OutputFormat format = OutputFormat::kText;
  if (const int code = read_estimate_settings(console, command, given, settings); code >= 0) {
    return code;
  }
  if (const int code = read_format(console, command, given, format); code >= 0) {
    return code;
  }

  const std::string graph = given["graph"].as<std::string>();
  const auto load_start = std::chrono::steady_clock::now();
  NetworkInstance instance;
  if (load_graph(console, command, graph, instance) != kExitSuccess) {
    return kExitFailure;
  }
  const double load_seconds = seconds_since(load_start);
  if (const int code = read_terminal_options(console, command, given, instance, settings.terminals,
                                             settings.pairwise);
      code >= 0) {
    return code;
  }
  std::string message;
  // The report writes its BIM rows from the counts, one at a time.
  if (!estimate_fits_in_memory(instance.srlg_count, settings.thread_count, false, message)) {
    return failure(console, command, printable(graph) + ": " + message);
  }

  double estimate_seconds = 0.0;
  const SpectraCounts counts = run_estimation(console, instance, settings, estimate_seconds);
  if (!writes_results(console)) {
    return kExitSuccess;
  }
  EstimateReport report;
  report.run = sampled_run_info(graph, instance, settings, load_seconds + estimate_seconds);
  report.counts = &counts;
  add_confidence(report);
  if (settings.pairwise) {
    report.pairwise_none_up = free_pairs_share(instance, settings.terminals);
  }

  // Varnak's file holds its own doubles, sums of 1/N, byte for byte; the reports hold
  // count / N.
  SpectraVector xml_spectrum;
  spectrum_of(counts, xml_spectrum);
  std::string write_failure;
  const int written =
      given.count("outpath") == 0
          ? 0
          : write_xml_report(given["outpath"].as<std::string>(), xml_spectrum, bim_rows_of(counts),
                             report.run.elapsed_seconds, write_failure);
  // The results come first and in full, so that a file that could not be written loses
  // nothing.
  write_estimate_report(console.out, report, format);
  console.out.flush();
  if (written != 0) {
    return failure(console, command, write_failure);
  }
  return kExitSuccess;
}

}  // namespace varnak
