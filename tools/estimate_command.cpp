#include <string>
#include <vector>

#include "runs/estimate_run.hpp"
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
    "For every spectrum entry a 95% Clopper-Pearson interval is given (the JSON and\n"
    "CSV keys wilson_low and wilson_high hold it), and a 95% band\n"
    "that holds for the whole spectrum at once: the spectrum is the distribution\n"
    "function of the position at which a sample first connects, so the\n"
    "Dvoretzky-Kiefer-Wolfowitz inequality gives the half-width sqrt(ln(2/0.05)/(2N)).\n"
    "\n"
    "With --terminals a sample counts as connected from the first position at which\n"
    "those vertices lie in one piece; the orders are the same. --pairwise adds, for\n"
    "each k, the expected share of terminal pairs (all vertex pairs without\n"
    "--terminals) that are connected, with a 95% Clopper-Pearson interval of the\n"
    "share. Either walks each\n"
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
  add_report_options(options);
  po::variables_map given;
  if (const int code = parse_options(console, command, kEstimateHelp, options, args, given);
      code >= 0) {
    return code;
  }
  ReportOptions report_options;
  if (const int code = read_report_options(console, command, given, report_options); code >= 0) {
    return code;
  }
  EstimateRequest request;
  request.instance.path = given["graph"].as<std::string>();
  request.sampling = sampling_request(given);
  request.terminals = terminal_request(given);
  request.outpath = given_value<std::string>(given, "outpath");
  EstimateReport report;
  std::string message;
  const int code = run_estimate(request, run_context(console), report, message);
  // The results come first and in full, so that a result file that could not be written
  // loses nothing. Only the process that reports (rank 0) has them.
  int written = kExitSuccess;
  if (report.counts.sample_size > 0) {
    written = write_report(console, command, report_options,
                           [&report, &report_options](std::ostream& out) {
                             write_estimate_report(out, report, report_options.format);
                           });
    console.out.flush();
  }
  const int refused = report_refusal(console, command, code, message);
  return refused != kExitSuccess ? refused : written;
}

}  // namespace varnak
