#pragma once

#include <string>

#include "output/result_formats.hpp"
#include "runs/run_request.hpp"

namespace varnak {

// `varnak-tools exact` and `varnak.exact`: the spectra as exact shares of SRLG subsets.
struct ExactRequest {
  InstanceSource instance;
  ExactRequestOptions options;
  TerminalRequest terminals;
};

// Returns kExitSuccess with `report` filled, or kExitUsage or kExitFailure with `message`.
int run_exact(const ExactRequest& request, const RunContext& context, ExactReport& report,
              std::string& message);

}  // namespace varnak
