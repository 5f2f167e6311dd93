#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/exact_spectra.hpp"
#include "common/elapsed.hpp"
#include "common/memory_budget.hpp"
#include "common/printable.hpp"
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

// Redraws "diagram level L of N: S states, M" (then "counting ...: pass P of Q") on a terminal, at
// most five times a second and only after the first half second, so that quick runs leave no trace.
class DiagramProgressLine {
 public:
  explicit DiagramProgressLine(ToolsConsole& console)
      : console_(console), start_(std::chrono::steady_clock::now()), last_(start_) {}

  void draw(const DiagramProgress& progress) {
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < std::chrono::milliseconds(500) ||
        (drawn_ > 0 && now - last_ < std::chrono::milliseconds(200))) {
      return;
    }
    last_ = now;
    std::string line =
        progress.pass == 0
            ? "diagram level " + std::to_string(progress.level + 1) + " of " +
                  std::to_string(progress.level_count) + ": " + std::to_string(progress.states) +
                  " states, " + std::to_string(progress.nodes) + " nodes, "
            : "counting the diagram's " + std::to_string(progress.nodes) + " nodes: pass " +
                  std::to_string(progress.pass) + " of " + std::to_string(progress.passes) + ", ";
    line += describe_bytes(static_cast<double>(progress.bytes));
    const std::size_t room = static_cast<std::size_t>(std::max(console_.err_columns - 1, 1));
    line.resize(std::min(line.size(), room));
    const std::size_t length = line.size();
    if (length < drawn_) {
      line.append(drawn_ - length, ' ');
    }
    console_.err << '\r' << line << std::flush;
    drawn_ = std::max(drawn_, length);
  }

  void clear() {
    if (drawn_ > 0) {
      console_.err << '\r' << std::string(drawn_, ' ') << '\r' << std::flush;
    }
  }

 private:
  ToolsConsole& console_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_;
  std::size_t drawn_ = 0;
};

}  // namespace

int read_exact_options(ToolsConsole& console, const std::string& command,
                       const po::variables_map& given, ExactOptions& options) {
  const std::string method = given["method"].as<std::string>();
  if (method == "auto") {
    options.method = ExactMethod::kAuto;
  } else if (method == "subsets") {
    options.method = ExactMethod::kSubsets;
  } else if (method == "diagram") {
    options.method = ExactMethod::kDiagram;
  } else {
    return usage_error(console, command,
                       "--method is \"" + method + "\"; expected auto, subsets or diagram");
  }
  if (given.count("max-memory") != 0) {
    const std::string text = given["max-memory"].as<std::string>();
    if (!read_memory_size(text, options.memory_budget)) {
      return usage_error(console, command,
                         "--max-memory is \"" + text +
                             "\"; expected a size in bytes, or with K, M, G or T (512M, 1.5G)");
    }
  }
  return -1;
}

void add_exact_options(po::options_description& options) {
  options.add_options()("method", po::value<std::string>()->default_value("auto"),
                        "auto, subsets or diagram")(
      "max-memory", po::value<std::string>(),
      "memory for the decision diagram (default: half of this machine's)");
}

int run_exact_command(ToolsConsole& console, const std::vector<std::string>& args) {
  const std::string command = "exact";
  po::options_description options("Options");
  options.add_options()("graph", po::value<std::string>()->required(), "instance file (required)");
  add_exact_options(options);
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
  ExactOptions exact_options;
  if (const int code = read_exact_options(console, command, given, exact_options); code >= 0) {
    return code;
  }
  const std::string graph = given["graph"].as<std::string>();
  const auto start = std::chrono::steady_clock::now();
  NetworkInstance instance;
  if (load_graph(console, command, graph, instance) != kExitSuccess) {
    return kExitFailure;
  }
  if (const int code = read_terminal_options(console, command, given, instance,
                                             exact_options.terminals, exact_options.pairwise);
      code >= 0) {
    return code;
  }
  ExactReport report;
  report.run = exact_run_info(graph, instance, exact_options.terminals);
  std::string message;
  DiagramProgressLine line(console);
  if (console.err_is_terminal) {
    exact_options.progress = [&](const DiagramProgress& progress) { line.draw(progress); };
  }
  const int code = compute_exact_spectra(instance, exact_options, report.exact, message);
  line.clear();
  if (code != 0) {
    return failure(console, command, printable(graph) + ": " + message);
  }
  report.run.exact_method = method_name(report.exact.method);
  report.run.diagram = report.exact.diagram;
  report.run.elapsed_seconds = seconds_since(start);
  write_exact_report(console.out, report, format);
  return kExitSuccess;
}

}  // namespace varnak
