#include <cstdint>
#include <string>
#include <vector>

#include "runs/cuts_run.hpp"
#include "tools/command_line.hpp"

namespace varnak {
namespace {

constexpr const char* kCutsHelp =
    "Usage: varnak-tools cuts --graph FILE --max-size K [--terminals LIST] [--format F]\n"
    "\n"
    "Lists every minimal SRLG cut set of at most K SRLGs: a set whose failure (every\n"
    "other SRLG up) disconnects the network while no smaller part of it does. Size 1\n"
    "gives the single points of failure, size 2 the dual failures. Each set comes with\n"
    "the vertices it cuts off from the rest, the rest being the largest piece left.\n"
    "Edges come up by the estimator's rules. The count is exact.\n"
    "\n"
    "The sets of at most K SRLGs are searched in order of their ids; a set that\n"
    "disconnects is not extended. A network that is not connected even with every\n"
    "SRLG up is refused, as is a K whose sets would take too long to check (the\n"
    "message gives their number).\n"
    "\n"
    "With --terminals, the sets whose failure separates those vertices, each with the\n"
    "terminals it cuts off from the piece that holds most of them.\n";

}  // namespace

int run_cuts_command(ToolsConsole& console, const std::vector<std::string>& args) {
  const std::string command = "cuts";
  po::options_description options("Options");
  options.add_options()("graph", po::value<std::string>()->required(), "instance file (required)")(
      "max-size", po::value<std::int32_t>()->required(),
      "largest number of SRLGs in a cut set (required)");
  add_terminal_options(options, false);
  add_report_options(options);
  po::variables_map given;
  if (const int code = parse_options(console, command, kCutsHelp, options, args, given);
      code >= 0) {
    return code;
  }
  ReportOptions report_options;
  if (const int code = read_report_options(console, command, given, report_options); code >= 0) {
    return code;
  }
  CutsRequest request;
  request.instance.path = given["graph"].as<std::string>();
  request.max_size = given["max-size"].as<std::int32_t>();
  request.terminals = terminal_request(given);
  CutsReport report;
  std::string message;
  if (const int code = run_cuts(request, run_context(console), report, message);
      code != kExitSuccess) {
    return report_refusal(console, command, code, message);
  }
  return write_report(console, command, report_options,
                      [&report, &report_options](std::ostream& out) {
                        write_cuts_report(out, report, report_options.format);
                      });
}

}  // namespace varnak
