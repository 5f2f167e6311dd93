#pragma once

#include <ostream>

#include "instance/spectra.hpp"

namespace varnak {

// "Spectra:", the spectrum, "BIMSpectra:", one line per SRLG, "time_seconds:", the
// seconds: n + 5 lines for n SRLGs (n = spectrum.size()), numbers as the stream writes a
// double by default. Each line is written whole and then flushed, as std::endl does;
// `rows` is asked for one BIM row at a time, so the report needs room for one line only.
void print_console_report(std::ostream& out, const SpectraVector& spectrum,
                          const BimRowSource& rows, double elapsed_seconds);

void print_console_report(std::ostream& out, const SpectraVector& spectrum,
                          const BimSpectraMatrix& bim_spectra, double elapsed_seconds);

}  // namespace varnak
