#pragma once

#include <atomic>
#include <cstdint>

#include "estimation/spectra_estimator.hpp"
#include "instance/network_instance.hpp"
#include "instance/spectra.hpp"

namespace varnak {

// The estimator's counts added into tables of doubles the caller already holds, as the
// tests and benchmarks compare them with the reference estimator, which adds 1.0/N once
// per sample. Runs use the counts themselves (spectrum_of, bim_rows_of).

// Adds N samples' worth of estimates into `spectrum` (SRLGNUM entries) and
// `bim_spectra` (SRLGNUM rows of SRLGNUM entries). Every entry ends as the double made
// by adding 1.0/N to its starting value once per sample that counts for it, in sample
// order, so a seed above 0 fixes every result to the last bit. Ends of the instance's
// edges must lie in 1..VNUM, or be (0, 0).
//
// `samples_done`, when given, is advanced as samples are finished (every few hundred), so
// that another thread can show how far the run has come; it ends at N.
void estimate_spectra(SpectraVector& spectrum, BimSpectraMatrix& bim_spectra,
                      std::int32_t sample_size, std::int32_t seed, const NetworkInstance& instance,
                      std::atomic<std::int64_t>* samples_done = nullptr);

// The same estimate on `thread_count` threads; identical results for every count.
void estimate_spectra_threaded(SpectraVector& spectrum, BimSpectraMatrix& bim_spectra,
                               std::int32_t sample_size, std::int32_t seed,
                               const NetworkInstance& instance, int thread_count,
                               std::atomic<std::int64_t>* samples_done = nullptr);

}  // namespace varnak
