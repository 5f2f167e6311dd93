#include "runs/estimate_run.hpp"

#include <chrono>

#include "common/elapsed.hpp"
#include "estimation/memory_check.hpp"
#include "estimation/spectra_estimator.hpp"
#include "output/xml_report.hpp"

namespace varnak {

int run_estimate(const EstimateRequest& request, const RunContext& context, EstimateReport& report,
                 std::string& message) {
  EstimateSettings settings;
  if (const int code = check_sampling(request.sampling, context.spelling, settings, message);
      code != kExitSuccess) {
    return code;
  }
  const auto load_start = std::chrono::steady_clock::now();
  NetworkInstance storage;
  const NetworkInstance* instance = nullptr;
  settings.pairwise = request.terminals.pairwise;
  // The report keeps them, so that importance made from it later is unbiased.
  settings.critical = true;
  if (const int code = load_with_terminals(request.instance, request.terminals, context.spelling,
                                           storage, instance, settings.terminals, message);
      code != kExitSuccess) {
    return code;
  }
  const double load_seconds = seconds_since(load_start);
  // The report writes its BIM rows from the counts, one at a time.
  if (!estimate_fits_in_memory({instance->srlg_count, settings.sample_size, settings.thread_count,
                                process_count(context), settings.critical},
                               false, message)) {
    message = shown_source(request.instance) + ": " + message;
    return kExitFailure;
  }

  double estimate_seconds = 0.0;
  SpectraCounts counts =
      sample_counts(context, request.instance, *instance, settings, estimate_seconds);
  if (!reports_results(context)) {
    return kExitSuccess;
  }
  report.run =
      sampled_run_info(request.instance, *instance, settings, load_seconds + estimate_seconds);
  report.counts = std::move(counts);
  add_confidence(report);
  if (settings.pairwise) {
    report.pairwise_none_up = free_pairs_share(*instance, settings.terminals);
  }
  if (request.outpath) {
    // Varnak's file holds its own doubles, sums of 1/N, byte for byte; the reports hold
    // count / N.
    SpectraVector xml_spectrum;
    spectrum_of(report.counts, xml_spectrum);
    if (write_xml_report(*request.outpath, xml_spectrum, bim_rows_of(report.counts),
                         report.run.elapsed_seconds, message) != 0) {
      return kExitFailure;
    }
  }
  return kExitSuccess;
}

}  // namespace varnak
