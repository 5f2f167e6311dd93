#pragma once

#include <string>

#include "instance/spectra.hpp"

namespace varnak {

// The XML document of one run's results, exactly as the result file holds it.
std::string render_xml_report(const SpectraVector& spectrum, const BimSpectraMatrix& bim_spectra,
                              double elapsed_seconds);

// Writes the document to `output_path`, row by row as `rows` hands the BIM rows out (n =
// spectrum.size() rows of n values), so that it is never held whole. Returns 0 on success;
// 1 when the file could not be written, with `failure` set to one line naming the path and
// the reason. A failed write never leaves a half-written file or destroys an existing one.
int write_xml_report(const std::string& output_path, const SpectraVector& spectrum,
                     const BimRowSource& rows, double elapsed_seconds, std::string& failure);

int write_xml_report(const std::string& output_path, const SpectraVector& spectrum,
                     const BimSpectraMatrix& bim_spectra, double elapsed_seconds,
                     std::string& failure);

}  // namespace varnak
