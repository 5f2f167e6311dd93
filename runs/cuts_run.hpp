#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "output/result_formats.hpp"
#include "runs/run_request.hpp"

namespace varnak {

// `varnak-tools cuts` and `varnak.cuts`: the minimal SRLG cut sets of at most max_size SRLGs.
struct CutsRequest {
  InstanceSource instance;
  std::optional<std::int64_t> max_size;
  TerminalRequest terminals;  // pairwise does not apply
};

// Returns kExitSuccess with `report` filled, or kExitUsage or kExitFailure with `message`.
int run_cuts(const CutsRequest& request, const RunContext& context, CutsReport& report,
             std::string& message);

}  // namespace varnak
