#include "tools/command_line.hpp"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "analysis/exact_spectra.hpp"
#include "common/elapsed.hpp"
#include "common/machine_cores.hpp"
#include "common/memory_budget.hpp"
#include "common/printable.hpp"
#include "estimation/process_group.hpp"
#include "instance/instance_reader.hpp"
#include "instance/terminal_set.hpp"
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

std::string why_cannot_open(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::exists(path, error)) {
    return "no such file";
  }
  if (std::filesystem::is_directory(path, error)) {
    return "it is a directory";
  }
  return "it cannot be read";
}

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

int load_graph(ToolsConsole& console, const std::string& command, const std::string& path,
               NetworkInstance& instance) {
  InstanceRefusal refusal;
  switch (read_instance(path, instance, refusal)) {
    case kLoadOk:
      return kExitSuccess;
    case kLoadCannotOpen:
      return failure(console, command,
                     "cannot open instance file " + printable(path) + ": " + why_cannot_open(path));
    default:
      if (refusal.reason.empty()) {
        return failure(console, command,
                       printable(path) + ": not enough memory to read the instance");
      }
      if (refusal.line == 0) {
        return failure(console, command, printable(path) + ": " + refusal.reason);
      }
      return failure(
          console, command,
          printable(path) + " line " + std::to_string(refusal.line) + ": " + refusal.reason);
  }
}

std::string file_name_of(const std::string& path) {
  const std::string name = std::filesystem::path(path).filename().string();
  return name.empty() ? path : name;
}

// Reads --N, --seed and --threads. Returns -1 to go on or the usage exit code.
int read_estimate_settings(ToolsConsole& console, const std::string& command,
                           const po::variables_map& given, EstimateSettings& settings) {
  settings.sample_size = given["N"].as<std::int32_t>();
  if (settings.sample_size < 1) {
    return usage_error(console, command,
                       "--N is " + std::to_string(settings.sample_size) +
                           "; expected a sample size from 1 to 2147483647");
  }
  settings.thread_count = given["threads"].as<int>();
  if (settings.thread_count < 1 || settings.thread_count > kMaxThreads) {
    return usage_error(console, command,
                       "--threads is " + std::to_string(settings.thread_count) +
                           "; expected a count from 1 to " + std::to_string(kMaxThreads));
  }
  if (given.count("seed") != 0) {
    settings.seed = given["seed"].as<std::int32_t>();
    if (settings.seed < 1) {
      return usage_error(console, command,
                         "--seed is " + std::to_string(settings.seed) +
                             "; expected a seed from 1 to 2147483647 (leave it out to draw one)");
    }
  } else {
    // Drawn here rather than inside the estimator so that it can be reported.
    std::random_device device;
    settings.seed = static_cast<std::int32_t>(1 + device() % 2147483647u);
    settings.seed_drawn = true;
  }
  return -1;
}

SpectraCounts run_estimation(ToolsConsole& console, const NetworkInstance& instance,
                             EstimateSettings& settings, double& seconds) {
  if (console.processes != nullptr) {
    const int lowest_failing = console.processes->lowest_failing_rank(true);
    if (lowest_failing >= 0) {
      throw std::runtime_error("rank " + std::to_string(lowest_failing) +
                               " could not start the estimate; its message says why");
    }
    settings.seed = static_cast<std::int32_t>(console.processes->first_value(settings.seed));
  }
  std::atomic<std::int64_t> samples_done{0};
  SpectraCounts counts;
  CountingOptions options;
  options.thread_count = settings.thread_count;
  options.processes = console.processes;
  options.terminals = settings.terminals;
  options.pairwise = settings.pairwise;
  options.samples_done = &samples_done;
  const auto estimate = [&]() {
    counts = estimate_counts(settings.sample_size, settings.seed, instance, options);
  };
  const auto start = std::chrono::steady_clock::now();
  if (console.err_is_terminal) {
    run_with_progress(estimate, samples_done, settings.sample_size, console.err,
                      console.err_columns);
  } else {
    estimate();
  }
  seconds = seconds_since(start);
  return counts;
}

bool writes_results(const ToolsConsole& console) {
  return console.processes == nullptr || console.processes->rank() == 0;
}

RunInfo sampled_run_info(const std::string& graph_path, const NetworkInstance& instance,
                         const EstimateSettings& settings, double elapsed_seconds) {
  RunInfo run;
  run.instance_name = file_name_of(graph_path);
  run.method = "estimate";
  run.srlg_count = instance.srlg_count;
  run.sampled = true;
  run.sample_size = settings.sample_size;
  run.seed = settings.seed;
  run.seed_drawn = settings.seed_drawn;
  run.thread_count = settings.thread_count;
  run.terminals = settings.terminals;
  run.free_edges_connect = free_edges_connect_terminals(instance, settings.terminals);
  run.elapsed_seconds = elapsed_seconds;
  return run;
}

RunInfo exact_run_info(const std::string& graph_path, const NetworkInstance& instance,
                       const std::vector<std::int32_t>& terminals) {
  RunInfo run;
  run.instance_name = file_name_of(graph_path);
  run.method = "exact";
  run.srlg_count = instance.srlg_count;
  run.terminals = terminals;
  run.free_edges_connect = free_edges_connect_terminals(instance, terminals);
  return run;
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

int read_terminal_options(ToolsConsole& console, const std::string& command,
                          const po::variables_map& given, const NetworkInstance& instance,
                          std::vector<std::int32_t>& terminals, bool& pairwise) {
  pairwise = given.count("pairwise") != 0;
  terminals.clear();
  if (given.count("terminals") == 0) {
    return -1;
  }
  const std::string text = given["terminals"].as<std::string>();
  std::string message;
  if (read_terminals(text, instance.vertex_count, terminals, message) != 0) {
    return !text.empty() && text.front() == '@' ? failure(console, command, message)
                                                : usage_error(console, command, message);
  }
  return -1;
}

void add_format_option(po::options_description& options) {
  options.add_options()("format", po::value<std::string>()->default_value("text"),
                        "text, csv or json");
}

int read_format(ToolsConsole& console, const std::string& command, const po::variables_map& given,
                OutputFormat& format) {
  const std::string name = given["format"].as<std::string>();
  if (!parse_output_format(name, format)) {
    return usage_error(console, command,
                       "--format is \"" + name + "\"; expected text, csv or json");
  }
  return -1;
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
