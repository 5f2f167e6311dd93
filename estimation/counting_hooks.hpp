#pragma once

#include <cstdint>
#include <limits>

#include "estimation/spectra_estimator.hpp"

namespace varnak {

// Hooks that only tests fill, to reach paths a real run meets too rarely to test: draws
// rejected (with probability below SRLGNUM / 2^64 in a real run) and workers whose
// throughput changes from round to round, or that fail in their own threads. Kept out of
// CountingOptions, so that the record a run is configured with holds nothing a run should set.
struct CountingHooks {
  // See OrderSampler: lower, it rejects draws often.
  std::uint64_t draw_limit = std::numeric_limits<std::uint64_t>::max();
  // A worker's throughput in `round` (any positive scale), in place of the one measured;
  // the round's shares follow from it. Any shares give the same counts.
  std::int64_t (*worker_throughput)(int worker, std::int64_t round) = nullptr;
  // Called by each worker in its own thread as it starts a round; throwing from it fails
  // that worker as memory that runs out in a thread would.
  void (*worker_fails)(int worker, std::int64_t round) = nullptr;
};

SpectraCounts estimate_counts(std::int32_t sample_size, std::int32_t seed,
                              const NetworkInstance& instance, const CountingOptions& options,
                              const CountingHooks& hooks);

}  // namespace varnak
