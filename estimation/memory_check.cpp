#include "estimation/memory_check.hpp"

#include "common/memory_budget.hpp"
#include "estimation/spectra_estimator.hpp"

namespace varnak {

double estimate_memory_bytes(const EstimateShape& shape, bool doubles_held) {
  const double count = static_cast<double>(shape.srlg_count);
  const double cells = count * count;
  // Beside the tables: the spectrum's counts and doubles, and a row of doubles being written.
  return estimator_scratch_bytes(shape) + count * 24.0 + (doubles_held ? cells * 8.0 : 0.0);
}

bool estimate_fits_in_memory(const EstimateShape& shape, bool doubles_held, std::string& message) {
  const double needed = estimate_memory_bytes(shape, doubles_held);
  // The whole limit, not a share: the need counts every large table. A need just below an
  // address-space limit can still fail in the allocator, which ends in "not enough memory".
  const MemoryLimit limit = run_memory_limit();
  if (needed <= static_cast<double>(limit.bytes)) {
    return true;
  }
  message = std::to_string(shape.srlg_count) + " SRLGs";
  if (shape.thread_count > 1) {
    message += " on " + std::to_string(shape.thread_count) + " threads";
  }
  message += " need " + describe_bytes(needed) + " for the result tables";
  if (shape.thread_count > 1 || shape.process_count > 1) {
    message += " and the threads' orders";
  }
  message += ", more than " + describe_memory_limit(limit);
  return false;
}

}  // namespace varnak
