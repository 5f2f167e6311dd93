#include "estimation/memory_check.hpp"

#include "common/memory_budget.hpp"
#include "estimation/spectra_estimator.hpp"

namespace varnak {

double estimate_memory_bytes(std::int64_t srlg_count, int thread_count, bool doubles_held,
                             int process_count) {
  const double count = static_cast<double>(srlg_count);
  const double cells = count * count;
  // Beside the tables: the spectrum's counts and doubles, and a row of doubles being written.
  return static_cast<double>(estimator_scratch_bytes(srlg_count, thread_count, process_count)) +
         count * 24.0 + (doubles_held ? cells * 8.0 : 0.0);
}

bool estimate_fits_in_memory(std::int64_t srlg_count, int thread_count, int process_count,
                             bool doubles_held, std::string& message) {
  const double needed =
      estimate_memory_bytes(srlg_count, thread_count, doubles_held, process_count);
  // The whole limit, not a share: the need counts every large table. A need just below an
  // address-space limit can still fail in the allocator, which ends in "not enough memory".
  const MemoryLimit limit = run_memory_limit();
  if (needed <= static_cast<double>(limit.bytes)) {
    return true;
  }
  message = std::to_string(srlg_count) + " SRLGs need " + describe_bytes(needed) +
            " for the result tables, more than " + describe_memory_limit(limit);
  return false;
}

bool estimate_fits_in_memory(std::int64_t srlg_count, int thread_count, bool doubles_held,
                             std::string& message) {
  return estimate_fits_in_memory(srlg_count, thread_count, 1, doubles_held, message);
}

}  // namespace varnak
