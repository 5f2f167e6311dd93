#pragma once

#include <cstdint>
#include <string>

#include "estimation/spectra_estimator.hpp"

namespace varnak {

// What a Varnak XML result file holds.
struct XmlResults {
  std::int32_t srlg_count = 0;
  double time_seconds = 0.0;
  SpectraVector spectrum;
  BimSpectraMatrix bim_spectra;  // row s-1 from <bimspectra id="s">
};

// Reads the text of a result file: the root <VARNAK> with <SRLGNUM>, an optional
// <time_seconds> and <spectras>, which holds one <spectra> row and one <bimspectra> row
// for each id 1..SRLGNUM, every row SRLGNUM comma-separated numbers from 0 to 1. White
// space between elements, comments and the declaration are allowed. Returns 0, or 1
// with `failure` set to one line that names `file_name`, the line and the value at fault.
int parse_xml_results(const std::string& text, const std::string& file_name, XmlResults& results,
                      std::string& failure);

// The same for the file at `path`; a file that cannot be read is a failure too.
int read_xml_results(const std::string& path, XmlResults& results, std::string& failure);

}  // namespace varnak
