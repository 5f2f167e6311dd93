#include <string>
#include <vector>

#include "runs/exact_run.hpp"
#include "tools/command_line.hpp"

namespace varnak {
namespace {

constexpr const char* kExactHelp =
    "Usage: varnak-tools exact --graph FILE [--method auto|subsets|diagram]\n"
    "                          [--max-memory SIZE] [--terminals LIST] [--pairwise]\n"
    "                          [--format text|csv|json]\n"
    "\n"
    "Computes the spectrum and the BIM spectra exactly. The first k SRLGs of a\n"
    "uniformly random order are a uniformly random k-subset, so spectrum entry k is\n"
    "the share of k-subsets of SRLGs whose coming up connects the network, and BIM\n"
    "entry (s, k) the share of those that also hold SRLG s. Counts are exact integers\n"
    "of any size. Edges come up by the estimator's rules.\n"
    "\n"
    "Two methods: 'subsets' enumerates the SRLG subsets depth first (up to 30 SRLGs;\n"
    "a branch stops once it connects or can no longer connect); 'diagram' builds a\n"
    "decision diagram over the SRLGs edge by edge, whose size grows with the width\n"
    "of the network (the vertices and SRLGs it must remember between edges), not with\n"
    "2^S. 'auto' (the default) enumerates up to 16 SRLGs and builds the diagram above.\n"
    "A diagram that outgrows --max-memory (default: half of this machine's memory, or\n"
    "of the address-space limit if one is set; SIZE in bytes or with K, M, G or T) ends\n"
    "with a message: use estimate then.\n"
    "On a terminal a progress line shows the level and its states.\n"
    "\n"
    "With --terminals, connected means those vertices in one piece. --pairwise adds\n"
    "the share of terminal pairs (all vertex pairs without --terminals) connected,\n"
    "over the k-subsets; a subset that cannot connect still counts its pairs, so no\n"
    "branch is cut for that, and instances with more than 24 SRLGs are refused.\n"
    "--terminals takes either method (the diagram carries in its states which pieces\n"
    "hold a terminal); --pairwise takes the subset enumeration, and '--method diagram'\n"
    "is refused with it.\n";

}  // namespace

int run_exact_command(ToolsConsole& console, const std::vector<std::string>& args) {
  const std::string command = "exact";
  po::options_description options("Options");
  options.add_options()("graph", po::value<std::string>()->required(), "instance file (required)");
  add_exact_options(options);
  add_terminal_options(options);
  add_report_options(options);
  po::variables_map given;
  if (const int code = parse_options(console, command, kExactHelp, options, args, given);
      code >= 0) {
    return code;
  }
  ReportOptions report_options;
  if (const int code = read_report_options(console, command, given, report_options); code >= 0) {
    return code;
  }
  ExactRequest request;
  request.instance.path = given["graph"].as<std::string>();
  request.options = exact_request_options(given);
  request.terminals = terminal_request(given);
  ExactReport report;
  std::string message;
  if (const int code = run_exact(request, run_context(console), report, message);
      code != kExitSuccess) {
    return report_refusal(console, command, code, message);
  }
  return write_report(console, command, report_options,
                      [&report, &report_options](std::ostream& out) {
                        write_exact_report(out, report, report_options.format);
                      });
}

}  // namespace varnak
