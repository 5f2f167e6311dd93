#include "tests/support/spectra_accumulation.hpp"

namespace varnak {
namespace {

// The double that adding `increment` to `start` `times` times in succession gives.
double add_repeatedly(double start, double increment, std::int64_t times) {
  for (std::int64_t i = 0; i < times; ++i) {
    start += increment;
  }
  return start;
}

}  // namespace

void estimate_spectra(SpectraVector& spectrum, BimSpectraMatrix& bim_spectra,
                      std::int32_t sample_size, std::int32_t seed, const NetworkInstance& instance,
                      std::atomic<std::int64_t>* samples_done) {
  estimate_spectra_threaded(spectrum, bim_spectra, sample_size, seed, instance, 1, samples_done);
}

void estimate_spectra_threaded(SpectraVector& spectrum, BimSpectraMatrix& bim_spectra,
                               std::int32_t sample_size, std::int32_t seed,
                               const NetworkInstance& instance, int thread_count,
                               std::atomic<std::int64_t>* samples_done) {
  const SpectraCounts counts =
      estimate_counts(sample_size, seed, instance, thread_count, samples_done);
  if (sample_size <= 0) {
    return;
  }
  const RepeatedSums sums(sample_size);
  const double increment = 1.0 / sample_size;
  // A cell that starts at zero gets the partial sum at once; any other is added to, one
  // addition per sample, as the samples would have added.
  const auto add_count = [&](double& cell, std::int64_t count) {
    if (count != 0) {
      cell = cell == 0.0 ? sums(count) : add_repeatedly(cell, increment, count);
    }
  };
  const std::size_t width = static_cast<std::size_t>(counts.srlg_count);
  for (std::size_t position = 0; position < width; ++position) {
    add_count(spectrum[position], counts.connected[position]);
  }
  for (std::size_t srlg_index = 0; srlg_index < width; ++srlg_index) {
    for (std::size_t position = 0; position < width; ++position) {
      add_count(bim_spectra[srlg_index][position],
                counts.connected_with[srlg_index * width + position]);
    }
  }
}

}  // namespace varnak
