#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "estimation/spectra_estimator.hpp"

// Varnak's outputs as they were written before they were streamed row by row: the
// console report by one stream insertion per number and std::endl per line, the XML
// document through a Boost.PropertyTree. The writers in app/ and output/ must give these
// bytes exactly.
namespace varnak::reference {

void print_console_report(std::ostream& out, const SpectraVector& spectrum,
                          const BimSpectraMatrix& bim_spectra, double elapsed_seconds);

std::string render_xml_report(const SpectraVector& spectrum, const BimSpectraMatrix& bim_spectra,
                              double elapsed_seconds);

// Results to write, named: estimates of generated networks (a few hundred SRLGs among
// them) and hand-made tables of awkward values (0, 1e-05, 2^200, values at rounding edges).
struct WriterCase {
  std::string name;
  SpectraVector spectrum;
  BimSpectraMatrix bim_spectra;
  double elapsed_seconds = 0.0;
};
std::vector<WriterCase> writer_cases();

}  // namespace varnak::reference
