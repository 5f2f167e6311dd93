#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/exact_spectra.hpp"
#include "instance/instance_reader.hpp"
#include "instance/network_instance.hpp"
#include "instance/spectra.hpp"
#include "output/result_formats.hpp"

// What the runs of every command share: exit codes, how a refusal names an option, the
// network a run reads, the sampling and terminal options, and what a front end lends a
// run. A run takes a request record as its front end gathered it, unchecked, and returns
// a report or a refusal: every range check and every "these options go together" rule is
// made here, once for the command line and for Python.
namespace varnak {

class ProcessGroup;

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // the input or the file system let the run down
inline constexpr int kExitUsage = 2;    // the request itself is wrong

// How a refusal names an option: as the command line spells it ("--max-N") or as the
// Python keyword ("max_n"), so that each front end's users read the names they typed.
enum class OptionSpelling { kCommandLine, kKeyword };

// `name` as the command line has it without its dashes ("max-N"), spelled for `spelling`:
// "--max-N", or lower case with '_' for '-', "max_n".
std::string option_name(OptionSpelling spelling, const std::string& name);

// What a front end lends a run: how to name options, the processes it runs among, a way
// to stop it, and ways to show progress. Every member may be left empty.
struct RunContext {
  OptionSpelling spelling = OptionSpelling::kCommandLine;
  ProcessGroup* processes = nullptr;  // none: this process alone; only rank 0 reports
  const std::atomic<bool>* stop_requested = nullptr;
  // Runs `work`, the sampling of `sample_size` samples, which advances `samples_done` as
  // it goes; a front end may draw a bar meanwhile. Empty: the work is run as it is.
  std::function<void(const std::function<void()>& work,
                     const std::atomic<std::int64_t>& samples_done, std::int64_t sample_size)>
      run_sampling;
  std::function<void(const DiagramProgress&)> diagram_progress;
  // Called once the diagram is done, so that its progress line can be cleared before
  // results are shown.
  std::function<void()> diagram_done;
};

// The network a run reads: the instance file at `path`, or an instance the caller holds
// already (`loaded`, such as one the Python package built from a NetworkX graph).
// Reports name it by `name`, or by the file's name; messages by its path, else `name`.
struct InstanceSource {
  std::string path;
  const NetworkInstance* loaded = nullptr;
  std::string name;
};

// --N, --seed and --threads as given; none: not given.
struct SamplingRequest {
  std::optional<std::int64_t> sample_size;
  std::optional<std::int64_t> seed;     // none: one is drawn and reported as drawn
  std::optional<std::int64_t> threads;  // none: the machine's cores
};

// --terminals, as text (a comma list of ids, or @FILE) or as ids already read, and
// --pairwise.
struct TerminalRequest {
  std::optional<std::string> text;
  std::optional<std::vector<std::int64_t>> ids;
  bool pairwise = false;
};

// --method and --max-memory of the exact computations, as given.
struct ExactRequestOptions {
  std::optional<std::string> method;      // auto, subsets or diagram; none: auto
  std::optional<std::string> max_memory;  // as --max-memory takes it ("1.5G")
};

// The sampling options checked: a sample size, a seed (drawn when none was given) and a
// thread count.
struct EstimateSettings {
  std::int32_t sample_size = 0;
  std::int32_t seed = 0;
  bool seed_drawn = false;
  int thread_count = 1;
  std::vector<std::int32_t> terminals;  // none: every vertex
  bool pairwise = false;
  bool critical = false;  // the counts of Birnbaum importance too (SpectraCounts::critical)
};

// Checks --N, --seed and --threads and draws a seed when none was given. Returns
// kExitSuccess or kExitUsage with `message`.
int check_sampling(const SamplingRequest& request, OptionSpelling spelling,
                   EstimateSettings& settings, std::string& message);

// Checks --method and --max-memory into `options`. Returns kExitSuccess or kExitUsage.
int check_exact_options(const ExactRequestOptions& request, OptionSpelling spelling,
                        ExactOptions& options, std::string& message);

// How an instance file that could not be read is reported: "cannot open instance file F:
// why", "F line L: reason" or "F: reason".
std::string instance_refusal_message(const std::string& path, int load_code,
                                     const InstanceRefusal& refusal);

// The instance of `source`: the one held, or the file read into `storage`. Returns
// kExitSuccess or kExitFailure with `message`.
int load_instance(const InstanceSource& source, NetworkInstance& storage,
                  const NetworkInstance*& instance, std::string& message);

// load_instance, then check_terminal_request: what every run that reads a graph does first.
int load_with_terminals(const InstanceSource& source, const TerminalRequest& terminal_request,
                        OptionSpelling spelling, NetworkInstance& storage,
                        const NetworkInstance*& instance, std::vector<std::int32_t>& terminals,
                        std::string& message);

// Thrown out of a computation that `context.stop_requested` stopped, whose results are to
// be thrown away (the Python module's Ctrl-C).
struct RunStopped : std::runtime_error {
  RunStopped() : std::runtime_error("stopped") {}
};

// An exact count as a run watches it: the diagram's progress on the front end's line, and
// a look at the stop flag between the diagram's levels and passes and every so often in a
// subset search, so that a long count ends soon after a stop.
void watch_exact_count(const RunContext& context, ExactOptions& options);

// The source as messages name it: its path made printable, else its name.
std::string shown_source(const InstanceSource& source);

// Checks the terminal ids of `request` against the instance. A list that names no
// terminal set is kExitUsage; a terminal file that cannot be read, or holds such a list,
// kExitFailure.
int check_terminal_request(const TerminalRequest& request, const NetworkInstance& instance,
                           OptionSpelling spelling, std::vector<std::int32_t>& terminals,
                           std::string& message);

// Runs the estimator under `context` (its bar, its processes, its stop) and returns its
// counts; `seconds` gets the time it took. Among MPI ranks, the ranks first learn whether
// all got this far (an exception names the rank that did not), whether all read the same
// instance and terminals as rank 0 (an exception names the rank that did not, and the
// source), and take rank 0's seed; rank 0 then gets the counts of the whole run.
SpectraCounts sample_counts(const RunContext& context, const InstanceSource& source,
                            const NetworkInstance& instance, EstimateSettings& settings,
                            double& seconds);

// The processes a run is shared among: its MPI ranks, or 1.
int process_count(const RunContext& context);

// Whether this process reports results: it runs alone, or is rank 0.
bool reports_results(const RunContext& context);

// The facts every report names, for spectra sampled from, or computed exactly for, the
// instance of `source`.
RunInfo sampled_run_info(const InstanceSource& source, const NetworkInstance& instance,
                         const EstimateSettings& settings, double elapsed_seconds);
RunInfo exact_run_info(const InstanceSource& source, const NetworkInstance& instance,
                       const std::vector<std::int32_t>& terminals = {});

// The last component of `path`, for reports.
std::string file_name_of(const std::string& path);

}  // namespace varnak
