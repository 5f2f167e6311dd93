#include "runs/exact_run.hpp"

#include <chrono>

#include "common/elapsed.hpp"

namespace varnak {

int run_exact(const ExactRequest& request, const RunContext& context, ExactReport& report,
              std::string& message) {
  ExactOptions options;
  if (const int code = check_exact_options(request.options, context.spelling, options, message);
      code != kExitSuccess) {
    return code;
  }
  const auto start = std::chrono::steady_clock::now();
  NetworkInstance storage;
  const NetworkInstance* instance = nullptr;
  options.pairwise = request.terminals.pairwise;
  if (const int code = load_with_terminals(request.instance, request.terminals, context.spelling,
                                           storage, instance, options.terminals, message);
      code != kExitSuccess) {
    return code;
  }
  report.run = exact_run_info(request.instance, *instance, options.terminals);
  watch_exact_count(context, options);
  const int computed = compute_exact_spectra(*instance, options, report.exact, message);
  if (context.diagram_done) {
    context.diagram_done();
  }
  if (computed != 0) {
    message = shown_source(request.instance) + ": " + message;
    return kExitFailure;
  }
  report.run.exact_method = method_name(report.exact.method);
  report.run.diagram = report.exact.diagram;
  report.run.elapsed_seconds = seconds_since(start);
  return kExitSuccess;
}

}  // namespace varnak
