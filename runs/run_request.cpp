#include "runs/run_request.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

#include "common/elapsed.hpp"
#include "common/machine_cores.hpp"
#include "common/memory_budget.hpp"
#include "common/printable.hpp"
#include "estimation/process_group.hpp"
#include "estimation/spectra_estimator.hpp"
#include "instance/instance_digest.hpp"
#include "instance/instance_reader.hpp"
#include "instance/terminal_set.hpp"

namespace varnak {
namespace {

constexpr std::int64_t kLargestInt32 = 2147483647;

std::string why_cannot_open(const std::string& path) {
  if (path.find('\0') != std::string::npos) {
    return "its name holds a NUL byte";
  }
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

std::string option_name(OptionSpelling spelling, const std::string& name) {
  if (spelling == OptionSpelling::kCommandLine) {
    return "--" + name;
  }
  std::string keyword;
  for (const char c : name) {
    keyword += c == '-' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return keyword;
}

int check_sampling(const SamplingRequest& request, OptionSpelling spelling,
                   EstimateSettings& settings, std::string& message) {
  const std::int64_t sample_size = request.sample_size.value_or(0);
  if (sample_size < 1 || sample_size > kLargestInt32) {
    message = option_name(spelling, "N") + " is " + std::to_string(sample_size) +
              "; expected a sample size from 1 to 2147483647";
    return kExitUsage;
  }
  settings.sample_size = static_cast<std::int32_t>(sample_size);
  const std::int64_t threads = request.threads.value_or(machine_cores());
  if (threads < 1 || threads > kMaxThreads) {
    message = option_name(spelling, "threads") + " is " + std::to_string(threads) +
              "; expected a count from 1 to " + std::to_string(kMaxThreads);
    return kExitUsage;
  }
  settings.thread_count = static_cast<int>(threads);
  if (request.seed) {
    if (*request.seed < 1 || *request.seed > kLargestInt32) {
      message = option_name(spelling, "seed") + " is " + std::to_string(*request.seed) +
                "; expected a seed from 1 to 2147483647 (leave it out to draw one)";
      return kExitUsage;
    }
    settings.seed = static_cast<std::int32_t>(*request.seed);
    settings.seed_drawn = false;
  } else {
    // Drawn here rather than inside the estimator so that it can be reported.
    std::random_device device;
    settings.seed = static_cast<std::int32_t>(1 + device() % 2147483647u);
    settings.seed_drawn = true;
  }
  return kExitSuccess;
}

int check_exact_options(const ExactRequestOptions& request, OptionSpelling spelling,
                        ExactOptions& options, std::string& message) {
  const std::string method = request.method.value_or("auto");
  if (method == "auto") {
    options.method = ExactMethod::kAuto;
  } else if (method == "subsets") {
    options.method = ExactMethod::kSubsets;
  } else if (method == "diagram") {
    options.method = ExactMethod::kDiagram;
  } else {
    message = option_name(spelling, "method") + " is \"" + method +
              "\"; expected auto, subsets or diagram";
    return kExitUsage;
  }
  if (request.max_memory && !read_memory_size(*request.max_memory, options.memory_budget)) {
    message = option_name(spelling, "max-memory") + " is \"" + *request.max_memory +
              "\"; expected a size in bytes, or with K, M, G or T (512M, 1.5G)";
    return kExitUsage;
  }
  return kExitSuccess;
}

std::string instance_refusal_message(const std::string& path, int load_code,
                                     const InstanceRefusal& refusal) {
  if (load_code == kLoadCannotOpen) {
    return "cannot open instance file " + printable(path) + ": " + why_cannot_open(path);
  }
  if (refusal.reason.empty()) {
    return printable(path) + ": not enough memory to read the instance";
  }
  if (refusal.line == 0) {
    return printable(path) + ": " + refusal.reason;
  }
  return printable(path) + " line " + std::to_string(refusal.line) + ": " + refusal.reason;
}

int load_instance(const InstanceSource& source, NetworkInstance& storage,
                  const NetworkInstance*& instance, std::string& message) {
  if (source.loaded != nullptr) {
    instance = source.loaded;
    return kExitSuccess;
  }
  InstanceRefusal refusal;
  const int code = read_instance(source.path, storage, refusal);
  if (code != kLoadOk) {
    message = instance_refusal_message(source.path, code, refusal);
    return kExitFailure;
  }
  instance = &storage;
  return kExitSuccess;
}

void watch_exact_count(const RunContext& context, ExactOptions& options) {
  if (context.stop_requested == nullptr) {
    options.progress = context.diagram_progress;
    return;
  }
  const auto check_stop = [&context] {
    if (context.stop_requested->load()) {
      throw RunStopped();
    }
  };
  options.checkpoint = check_stop;
  options.progress = [&context, check_stop](const DiagramProgress& progress) {
    check_stop();
    if (context.diagram_progress) {
      context.diagram_progress(progress);
    }
  };
}

std::string shown_source(const InstanceSource& source) {
  return source.path.empty() ? source.name : printable(source.path);
}

int check_terminal_request(const TerminalRequest& request, const NetworkInstance& instance,
                           OptionSpelling spelling, std::vector<std::int32_t>& terminals,
                           std::string& message) {
  terminals.clear();
  if (request.ids) {
    if (check_terminals(*request.ids, instance.vertex_count, terminals, message) != 0) {
      message = option_name(spelling, "terminals") + ": " + message;
      return kExitUsage;
    }
    return kExitSuccess;
  }
  if (!request.text) {
    return kExitSuccess;
  }
  const std::string& text = *request.text;
  if (read_terminals(text, instance.vertex_count, terminals, message) != 0) {
    return !text.empty() && text.front() == '@' ? kExitFailure : kExitUsage;
  }
  return kExitSuccess;
}

int load_with_terminals(const InstanceSource& source, const TerminalRequest& terminal_request,
                        OptionSpelling spelling, NetworkInstance& storage,
                        const NetworkInstance*& instance, std::vector<std::int32_t>& terminals,
                        std::string& message) {
  if (const int code = load_instance(source, storage, instance, message); code != kExitSuccess) {
    return code;
  }
  return check_terminal_request(terminal_request, *instance, spelling, terminals, message);
}

SpectraCounts sample_counts(const RunContext& context, const InstanceSource& source,
                            const NetworkInstance& instance, EstimateSettings& settings,
                            double& seconds) {
  if (context.processes != nullptr) {
    ProcessGroup& processes = *context.processes;
    const int lowest_failing = processes.lowest_failing_rank(true);
    if (lowest_failing >= 0) {
      throw std::runtime_error("rank " + std::to_string(lowest_failing) +
                               " could not start the estimate; its message says why");
    }
    // Ranks that read different contents at one path (a file changed meanwhile, another
    // machine's copy) would add up samples of different networks.
    const auto digest =
        static_cast<std::int64_t>(input_digest(instance, settings.terminals, settings.pairwise));
    const int lowest_different =
        processes.lowest_failing_rank(processes.first_value(digest) == digest);
    if (lowest_different >= 0) {
      throw std::runtime_error("rank " + std::to_string(lowest_different) + " read another " +
                               "network or terminal set from " + shown_source(source) +
                               " than rank 0; every rank must read the same files");
    }
    settings.seed = static_cast<std::int32_t>(context.processes->first_value(settings.seed));
  }
  std::atomic<std::int64_t> samples_done{0};
  SpectraCounts counts;
  CountingOptions options;
  options.thread_count = settings.thread_count;
  options.processes = context.processes;
  options.stop_requested = context.stop_requested;
  options.terminals = settings.terminals;
  options.pairwise = settings.pairwise;
  options.critical = settings.critical;
  options.samples_done = &samples_done;
  const auto estimate = [&]() {
    counts = estimate_counts(settings.sample_size, settings.seed, instance, options);
  };
  const auto start = std::chrono::steady_clock::now();
  if (context.run_sampling) {
    context.run_sampling(estimate, samples_done, settings.sample_size);
  } else {
    estimate();
  }
  seconds = seconds_since(start);
  return counts;
}

int process_count(const RunContext& context) {
  return context.processes == nullptr ? 1 : context.processes->size();
}

bool reports_results(const RunContext& context) {
  return context.processes == nullptr || context.processes->rank() == 0;
}

std::string file_name_of(const std::string& path) {
  const std::string name = std::filesystem::path(path).filename().string();
  return name.empty() ? path : name;
}

namespace {

std::string report_name(const InstanceSource& source) {
  return source.name.empty() && !source.path.empty() ? file_name_of(source.path) : source.name;
}

}  // namespace

RunInfo sampled_run_info(const InstanceSource& source, const NetworkInstance& instance,
                         const EstimateSettings& settings, double elapsed_seconds) {
  RunInfo run;
  run.instance_name = report_name(source);
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

RunInfo exact_run_info(const InstanceSource& source, const NetworkInstance& instance,
                       const std::vector<std::int32_t>& terminals) {
  RunInfo run;
  run.instance_name = report_name(source);
  run.method = "exact";
  run.srlg_count = instance.srlg_count;
  run.terminals = terminals;
  run.free_edges_connect = free_edges_connect_terminals(instance, terminals);
  return run;
}

}  // namespace varnak
