#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "instance/network_instance.hpp"

namespace varnak {

// Entry j: probability that the network is connected once the first j+1 SRLGs of a
// random order are up.
using SpectraVector = std::vector<double>;

// Row r belongs to the SRLG with id r+1, column j to position j: probability that the
// network is connected once the first j+1 SRLGs are up and SRLG r+1 is one of them.
using BimSpectraMatrix = std::vector<std::vector<double>>;

// The BIM rows handed out one at a time, so that a writer never needs the whole table as
// doubles: fills `row` with the SRLGNUM values of the SRLG with id srlg_index + 1.
using BimRowSource = std::function<void(std::size_t srlg_index, SpectraVector& row)>;

// The rows of a table already held whole.
inline BimRowSource rows_of(const BimSpectraMatrix& bim_spectra) {
  return [&bim_spectra](std::size_t srlg_index, SpectraVector& row) {
    row = bim_spectra[srlg_index];
  };
}

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

// Bytes the estimator needs beyond the result tables, for an instance with this many
// SRLGs: its integer count table and the scratch for turning counts into doubles.
std::uint64_t estimator_scratch_bytes(std::int64_t srlg_count, int thread_count = 1);

}  // namespace varnak
