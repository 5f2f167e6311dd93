#pragma once

#include <ostream>

#include "estimation/spectra_estimator.hpp"

namespace varnak {

// "Spectra:", the spectrum, "BIMSpectra:", one line per SRLG, "time_seconds:", the
// seconds: n + 5 lines for n SRLGs, numbers as the stream writes a double by default.
void print_console_report(std::ostream& out, const SpectraVector& spectrum,
                          const BimSpectraMatrix& bim_spectra, double elapsed_seconds);

}  // namespace varnak
