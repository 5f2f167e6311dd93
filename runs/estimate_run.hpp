#pragma once

#include <optional>
#include <string>

#include "output/result_formats.hpp"
#include "runs/run_request.hpp"

namespace varnak {

// `varnak-tools estimate` and `varnak.estimate`: sampled spectra with their intervals.
struct EstimateRequest {
  InstanceSource instance;
  SamplingRequest sampling;
  TerminalRequest terminals;
  std::optional<std::string> outpath;  // also Varnak's XML result file here
};

// Samples the spectra of the request's instance into `report`. Returns kExitSuccess,
// kExitUsage for a request that cannot run, or kExitFailure with `message`. A result file
// that could not be written is a failure with the report still filled, so that the
// results can be shown all the same. Among MPI ranks only rank 0 fills the report.
int run_estimate(const EstimateRequest& request, const RunContext& context, EstimateReport& report,
                 std::string& message);

}  // namespace varnak
