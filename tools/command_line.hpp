#pragma once

#include <boost/program_options.hpp>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "estimation/spectra_estimator.hpp"
#include "instance/network_instance.hpp"
#include "instance/srlg_probabilities.hpp"
#include "tools/commands.hpp"
#include "output/result_formats.hpp"

// The layer every varnak-tools command shares: reading options, the exit codes with their
// messages, loading an instance and running the estimator.
namespace varnak {

namespace po = boost::program_options;

inline constexpr const char* kProgram = "varnak-tools";

// "varnak-tools COMMAND: message" and a pointer to the command's help; exit code 2.
int usage_error(ToolsConsole& console, const std::string& command, const std::string& message);

// "varnak-tools COMMAND: message" on standard error; exit code 1.
int failure(ToolsConsole& console, const std::string& command, const std::string& message);

// Parses the options of one command. Returns -1 when the command goes on, or the exit
// code: 0 after --help, 2 after a command line that the option library rejects.
int parse_options(ToolsConsole& console, const std::string& command, const char* help,
                  po::options_description& options, const std::vector<std::string>& args,
                  po::variables_map& given);

// --method and --max-memory of the exact commands.
struct ExactOptions;
void add_exact_options(po::options_description& options);
int read_exact_options(ToolsConsole& console, const std::string& command,
                       const po::variables_map& given, ExactOptions& options);

// Reads an instance file; a refusal is reported naming the file, its line and the value.
int load_graph(ToolsConsole& console, const std::string& command, const std::string& path,
               NetworkInstance& instance);

// The last component of `path`, for reports.
std::string file_name_of(const std::string& path);


struct EstimateSettings {
  std::int32_t sample_size = 0;
  std::int32_t seed = 0;
  bool seed_drawn = false;
  int thread_count = 1;
  std::vector<std::int32_t> terminals;  // none: every vertex
  bool pairwise = false;
};

// --terminals, and --pairwise unless `with_pairwise` is false.
void add_terminal_options(po::options_description& options, bool with_pairwise = true);

// Reads --terminals against the instance's vertices, and --pairwise. Returns -1 to go on,
// the usage exit code for a list that names no terminal set, or 1 for a terminal file
// that cannot be read or holds such a list.
int read_terminal_options(ToolsConsole& console, const std::string& command,
                          const po::variables_map& given, const NetworkInstance& instance,
                          std::vector<std::int32_t>& terminals, bool& pairwise);

// --N, --seed and --threads.
void add_estimate_options(po::options_description& options);

// Reads --N, --seed and --threads. Returns -1 to go on or the usage exit code.
int read_estimate_settings(ToolsConsole& console, const std::string& command,
                           const po::variables_map& given, EstimateSettings& settings);

// Runs the estimator, a bar drawn meanwhile on a terminal, and returns its counts;
// `seconds` gets the time it took. Among MPI ranks, the ranks first learn whether all
// got this far (an exception names the rank that did not) and take rank 0's seed; rank 0
// then gets the counts of the whole run.
SpectraCounts run_estimation(ToolsConsole& console, const NetworkInstance& instance,
                             EstimateSettings& settings, double& seconds);

// Whether this process writes results: it runs alone, or is rank 0.
bool writes_results(const ToolsConsole& console);

// The facts every report names, for spectra sampled from, or computed exactly for, the
// instance read from `graph_path`.
RunInfo sampled_run_info(const std::string& graph_path, const NetworkInstance& instance,
                         const EstimateSettings& settings, double elapsed_seconds);
RunInfo exact_run_info(const std::string& graph_path, const NetworkInstance& instance,
                       const std::vector<std::int32_t>& terminals = {});

void add_format_option(po::options_description& options);
int read_format(ToolsConsole& console, const std::string& command, const po::variables_map& given,
                OutputFormat& format);

// The commands, each in a file of its own.
int run_estimate_command(ToolsConsole& console, const std::vector<std::string>& args);
int run_exact_command(ToolsConsole& console, const std::vector<std::string>& args);
int run_reliability_command(ToolsConsole& console, const std::vector<std::string>& args);
int run_cuts_command(ToolsConsole& console, const std::vector<std::string>& args);

}  // namespace varnak
