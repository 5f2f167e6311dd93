#pragma once

#include <cstdint>

#include "estimation/spectra_estimator.hpp"
#include "instance/network_instance.hpp"

namespace varnak::reference {

// A plain, line-by-line transcription of the estimation procedure: ordered maps with
// find-or-insert lookups, a fresh copy of the membership counts per sample, a full scan
// of the vertices for every connectivity test and the recording loop as written. Slow
// on purpose; the product's estimator must agree with it to the last bit.
void estimate_spectra(SpectraVector& spectrum, BimSpectraMatrix& bim_spectra,
                      std::int32_t sample_size, std::int32_t seed, NetworkInstance instance);

}  // namespace varnak::reference
