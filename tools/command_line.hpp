#pragma once

#include <boost/program_options.hpp>
#include <functional>
#include <optional>
#include <ostream>

#include <string>
#include <vector>

#include "output/result_formats.hpp"
#include "runs/run_request.hpp"
#include "tools/commands.hpp"

// The layer every varnak-tools command shares: reading options into a run's request, and
// the exit codes with their messages. The rules on what the options may hold live with
// the runs.
namespace varnak {

namespace po = boost::program_options;

inline constexpr const char* kProgram = "varnak-tools";

// "varnak-tools COMMAND: message" and a pointer to the command's help; exit code 2.
int usage_error(ToolsConsole& console, const std::string& command, const std::string& message);

// "varnak-tools COMMAND: message" on standard error; exit code 1.
int failure(ToolsConsole& console, const std::string& command, const std::string& message);

// A run's refusal as the command line reports it: `code` 0 goes on (returns 0), 2 is a
// usage error, 1 a failure.
int report_refusal(ToolsConsole& console, const std::string& command, int code,
                   const std::string& message);

// Parses the options of one command. Returns -1 when the command goes on, or the exit
// code: 0 after --help, 2 after a command line that the option library rejects.
int parse_options(ToolsConsole& console, const std::string& command, const char* help,
                  po::options_description& options, const std::vector<std::string>& args,
                  po::variables_map& given);

// The value of an option when given on the command line (not by its default).
template <typename Value>
std::optional<Value> given_value(const po::variables_map& given, const char* name) {
  if (given.count(name) == 0 || given[name].defaulted()) {
    return std::nullopt;
  }
  return given[name].as<Value>();
}

// --method and --max-memory of the exact commands.
void add_exact_options(po::options_description& options);
ExactRequestOptions exact_request_options(const po::variables_map& given);

// --terminals, and --pairwise unless `with_pairwise` is false.
void add_terminal_options(po::options_description& options, bool with_pairwise = true);
TerminalRequest terminal_request(const po::variables_map& given);

// --N, --seed and --threads.
void add_estimate_options(po::options_description& options);
SamplingRequest sampling_request(const po::variables_map& given);

// What a run borrows from the console: MPI ranks, and on a terminal a bar for sampling
// and a line for the decision diagram.
RunContext run_context(ToolsConsole& console);

// --format, and --report FILE to write the report there instead of standard output.
struct ReportOptions {
  OutputFormat format = OutputFormat::kText;
  std::optional<std::string> path;
};
void add_report_options(po::options_description& options);
// Under mpirun the report must go to a file: mpirun passes standard output on without
// saying whether it arrived, so a report lost there would leave the job's exit code 0.
int read_report_options(ToolsConsole& console, const std::string& command,
                        const po::variables_map& given, ReportOptions& report);
// Has `write` put the report where the options say, on the process that reports (rank 0).
// Returns 0, or 1 after saying why the report file could not be written.
int write_report(ToolsConsole& console, const std::string& command, const ReportOptions& report,
                 const std::function<void(std::ostream&)>& write);

// The commands, each in a file of its own.
int run_estimate_command(ToolsConsole& console, const std::vector<std::string>& args);
int run_exact_command(ToolsConsole& console, const std::vector<std::string>& args);
int run_reliability_command(ToolsConsole& console, const std::vector<std::string>& args);
int run_cuts_command(ToolsConsole& console, const std::vector<std::string>& args);

}  // namespace varnak
