#include "tools/command_line.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "analysis/exact_spectra.hpp"
#include "common/machine_cores.hpp"
#include "common/memory_budget.hpp"
#include "estimation/process_group.hpp"
#include "output/result_file.hpp"
#include "tools/progress.hpp"

namespace varnak {
namespace {

constexpr const char* kOverview =
    "Usage: varnak-tools COMMAND [options]\n"
    "\n"
    "Companion commands of Varnak for networks whose links fail in Shared Risk Link\n"
    "Groups (SRLGs). Results go to standard output, messages to standard error.\n"
    "\n"
    "Commands:\n"
    "  estimate     Monte Carlo spectra as Varnak computes them, on several threads,\n"
    "               with confidence intervals, as text, CSV or JSON\n"
    "  exact        the exact spectra, by enumerating SRLG subsets or by a decision\n"
    "               diagram over the SRLGs\n"
    "  reliability  R(p) when every SRLG is up with probability p, and the SRLGs\n"
    "               ranked by Birnbaum importance, from a graph or a result file\n"
    "  cuts         the minimal sets of SRLGs whose failure disconnects the network\n"
    "\n"
    "'varnak-tools COMMAND --help' explains a command.\n"
    "Exit codes: 0 success, 1 failure (input or files), 2 wrong command line.\n";

}  // namespace

int usage_error(ToolsConsole& console, const std::string& command, const std::string& message) {
  console.err << kProgram << ' ' << command << ": " << message << "\nTry '" << kProgram << ' '
              << command << " --help'.\n";
  return kExitUsage;
}

int failure(ToolsConsole& console, const std::string& command, const std::string& message) {
  console.err << kProgram << ' ' << command << ": " << message << std::endl;
  return kExitFailure;
}

int report_refusal(ToolsConsole& console, const std::string& command, int code,
                   const std::string& message) {
  if (code == kExitSuccess) {
    return kExitSuccess;
  }
  return code == kExitUsage ? usage_error(console, command, message)
                            : failure(console, command, message);
}

// Parses the options of one command. Returns -1 when the command goes on, or the exit
// code: 0 after --help, 2 after a command line that the option library rejects.
namespace {

po::parsed_options parse_words(const po::options_description& options,
                               const std::vector<std::string>& args) {
  // The library's default style, as Varnak's: an unambiguous start of an option's name
  // stands for the option, an ambiguous one is refused. An empty positional description
  // makes any stray word an error instead of ignored.
  const po::positional_options_description no_positionals;
  return po::command_line_parser(args).options(options).positional(no_positionals).run();
}

// The option library makes its messages by replacing %name% placeholders until none is
// left, so a word that holds one ("--%canonical_option%") would make what() loop for ever.
// When a word holds a '%', the message is made again from the words with each '%' shown
// as \x25, as messages show the bytes they do not print as they are.
std::string option_error_message(const po::options_description& options,
                                 const std::vector<std::string>& args, const po::error& error) {
  if (std::none_of(args.begin(), args.end(),
                   [](const std::string& arg) { return arg.find('%') != std::string::npos; })) {
    return error.what();
  }
  std::vector<std::string> shown;
  for (const std::string& arg : args) {
    std::string escaped;
    for (const char c : arg) {
      escaped += c == '%' ? std::string("\\x25") : std::string(1, c);
    }
    shown.push_back(escaped);
  }
  try {
    po::variables_map unused;
    po::store(parse_words(options, shown), unused);
    po::notify(unused);
  } catch (const po::error& again) {
    return again.what();
  }
  return "the command line could not be read";
}

}  // namespace

int parse_options(ToolsConsole& console, const std::string& command, const char* help,
                  po::options_description& options, const std::vector<std::string>& args,
                  po::variables_map& given) {
  options.add_options()("help,h", "explain this command");
  try {
    po::store(parse_words(options, args), given);
    if (given.count("help") != 0) {
      console.out_holds = "help";
      console.out << help << '\n' << options;
      return kExitSuccess;
    }
    po::notify(given);
  } catch (const po::error& error) {
    return usage_error(console, command, option_error_message(options, args, error));
  }
  return -1;
}

void add_estimate_options(po::options_description& options) {
  options.add_options()("N", po::value<std::int32_t>()->required(), "sample size (required)")(
      "seed", po::value<std::int32_t>(), "seed from 1 to 2147483647 (default: drawn and shown)")(
      "threads", po::value<int>()->default_value(machine_cores(), "the machine's cores"),
      "threads that share the samples");
}

void add_terminal_options(po::options_description& options, bool with_pairwise) {
  options.add_options()("terminals", po::value<std::string>(),
                        "vertices that must be connected: a comma list of ids, or @FILE with "
                        "one id a line (default: every vertex)");
  if (with_pairwise) {
    options.add_options()("pairwise",
                          "also the share of terminal pairs (all vertex pairs without "
                          "--terminals) that are connected");
  }
}

SamplingRequest sampling_request(const po::variables_map& given) {
  SamplingRequest request;
  if (const auto sample_size = given_value<std::int32_t>(given, "N")) {
    request.sample_size = *sample_size;
  }
  if (const auto seed = given_value<std::int32_t>(given, "seed")) {
    request.seed = *seed;
  }
  if (const auto threads = given_value<int>(given, "threads")) {
    request.threads = *threads;
  }
  return request;
}

TerminalRequest terminal_request(const po::variables_map& given) {
  TerminalRequest request;
  request.text = given_value<std::string>(given, "terminals");
  request.pairwise = given.count("pairwise") != 0;
  return request;
}

void add_exact_options(po::options_description& options) {
  options.add_options()("method", po::value<std::string>()->default_value("auto"),
                        "auto, subsets or diagram")(
      "max-memory", po::value<std::string>(),
      "memory for the decision diagram (default: half of this machine's, or of the "
      "address-space limit)");
}

ExactRequestOptions exact_request_options(const po::variables_map& given) {
  return {given_value<std::string>(given, "method"), given_value<std::string>(given, "max-memory")};
}

namespace {

// Redraws "diagram level L of N: S states, M" (then "counting ...: pass P of Q") on a
// terminal, at most five times a second and only after the first half second, so that
// quick runs leave no trace.
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

  // Blanks the line once the diagram is done, so that what follows starts on a clean one.
  void clear() {
    if (drawn_ > 0) {
      console_.err << '\r' << std::string(drawn_, ' ') << '\r' << std::flush;
      drawn_ = 0;
    }
  }

 private:
  ToolsConsole& console_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_;
  std::size_t drawn_ = 0;
};

}  // namespace

RunContext run_context(ToolsConsole& console) {
  RunContext context;
  context.processes = console.processes;
  if (!console.err_is_terminal) {
    return context;
  }
  context.run_sampling = [&console](const std::function<void()>& work,
                                    const std::atomic<std::int64_t>& samples_done,
                                    std::int64_t sample_size) {
    run_with_progress(work, samples_done, sample_size, console.err, console.err_columns);
  };
  // The line is shared by the copies of the context.
  const auto line = std::make_shared<DiagramProgressLine>(console);
  context.diagram_progress = [line](const DiagramProgress& progress) { line->draw(progress); };
  context.diagram_done = [line]() { line->clear(); };
  return context;
}

void add_report_options(po::options_description& options) {
  options.add_options()("format", po::value<std::string>()->default_value("text"),
                        "text, csv or json")(
      "report", po::value<std::string>(),
      "write the report to this file instead of standard output (needed under mpirun)");
}

int read_report_options(ToolsConsole& console, const std::string& command,
                        const po::variables_map& given, ReportOptions& report) {
  const std::string name = given["format"].as<std::string>();
  if (!parse_output_format(name, report.format)) {
    return usage_error(console, command,
                       "--format is \"" + name + "\"; expected text, csv or json");
  }
  report.path = given_value<std::string>(given, "report");
  if (console.processes != nullptr && !report.path) {
    return usage_error(console, command,
                       "under mpirun give --report FILE: mpirun passes standard output on "
                       "without saying whether it arrived");
  }
  return -1;
}

int write_report(ToolsConsole& console, const std::string& command, const ReportOptions& report,
                 const std::function<void(std::ostream&)>& write) {
  if (console.processes != nullptr && console.processes->rank() != 0) {
    return kExitSuccess;
  }
  if (!report.path) {
    write(console.out);
    return kExitSuccess;
  }
  std::string message;
  if (write_result_file(*report.path, write, message) != 0) {
    return failure(console, command, message);
  }
  return kExitSuccess;
}

namespace {

struct Command {
  const char* name;
  int (*run)(ToolsConsole&, const std::vector<std::string>&);
};

constexpr Command kCommands[] = {
    {"estimate", run_estimate_command},
    {"exact", run_exact_command},
    {"reliability", run_reliability_command},
    {"cuts", run_cuts_command},
};

// A full disk or a closed pipe loses the results without a word unless someone looks:
// checked here once for every command, after it has written all it had. `who` is
// "varnak-tools" or "varnak-tools COMMAND".
int check_output_written(ToolsConsole& console, const std::string& who, int code) {
  if (console.out.flush()) {
    return code;
  }
  console.err << who << ": error writing the " << console.out_holds << " to standard output"
              << std::endl;
  return code == kExitSuccess ? kExitFailure : code;
}

int run_command(ToolsConsole& console, const Command& command,
                const std::vector<std::string>& args) {
  try {
    return command.run(console, args);
  } catch (const std::bad_alloc&) {
    return failure(console, command.name, "not enough memory");
  } catch (const std::exception& error) {
    return failure(console, command.name, error.what());
  }
}

}  // namespace

int run_tools(int argc, const char* const* argv, ToolsConsole console) {
  if (argc < 2) {
    console.err << kOverview;
    return kExitUsage;
  }
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    console.out_holds = "help";
    console.out << kOverview;
    return check_output_written(console, kProgram, kExitSuccess);
  }
  const std::vector<std::string> args(argv + 2, argv + argc);
  for (const Command& command : kCommands) {
    if (name == command.name) {
      return check_output_written(console, std::string(kProgram) + ' ' + name,
                                  run_command(console, command, args));
    }
  }
  console.err << kProgram << ": unknown command \"" << name
              << "\"; expected estimate, exact, reliability or cuts\nTry '" << kProgram
              << " --help'.\n";
  return kExitUsage;
}

}  // namespace varnak
