#include "estimation/memory_check.hpp"

#include "common/memory_budget.hpp"
#include "estimation/spectra_estimator.hpp"

namespace varnak {

double estimate_memory_bytes(std::int64_t srlg_count, int thread_count, bool doubles_held) {
  const double count = static_cast<double>(srlg_count);
  const double cells = count * count;
  // Beside the tables: the spectrum's counts and doubles, and a row of doubles being written.
  return static_cast<double>(estimator_scratch_bytes(srlg_count, thread_count)) + count * 24.0 +
         (doubles_held ? cells * 8.0 : 0.0);
}

bool estimate_fits_in_memory(std::int64_t srlg_count, int thread_count, bool doubles_held,
                             std::string& message) {
  const double needed = estimate_memory_bytes(srlg_count, thread_count, doubles_held);
  const double available = static_cast<double>(physical_memory_bytes());
  if (needed <= available) {
    return true;
  }
  message = std::to_string(srlg_count) + " SRLGs need " + describe_bytes(needed) +
            " for the result tables, more than the " + describe_bytes(available) +
            " of this machine";
  return false;
}

}  // namespace varnak
