#include "runs/cuts_run.hpp"

#include <chrono>

#include "common/elapsed.hpp"

namespace varnak {

int run_cuts(const CutsRequest& request, const RunContext& context, CutsReport& report,
             std::string& message) {
  const std::int64_t max_size = request.max_size.value_or(0);
  if (max_size < 1 || max_size > 2147483647) {
    message = option_name(context.spelling, "max-size") + " is " + std::to_string(max_size) +
              "; expected a number of SRLGs from 1 up";
    return kExitUsage;
  }
  const auto start = std::chrono::steady_clock::now();
  NetworkInstance storage;
  const NetworkInstance* instance = nullptr;
  std::vector<std::int32_t> terminals;
  if (const int code = load_with_terminals(request.instance, request.terminals, context.spelling,
                                           storage, instance, terminals, message);
      code != kExitSuccess) {
    return code;
  }
  report.run = exact_run_info(request.instance, *instance, terminals);
  if (find_minimal_cut_sets(*instance, static_cast<std::int32_t>(max_size), report.cuts, message,
                            terminals) != 0) {
    message = shown_source(request.instance) + ": " + message;
    return kExitFailure;
  }
  report.run.elapsed_seconds = seconds_since(start);
  return kExitSuccess;
}

}  // namespace varnak
