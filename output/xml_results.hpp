#pragma once

#include <cstdint>
#include <streambuf>
#include <string>

#include "instance/spectra.hpp"

namespace varnak {

// What a Varnak XML result file holds. Its <time_seconds> is checked but not kept: no
// command uses the elapsed time of the run that wrote the file.
struct XmlResults {
  std::int32_t srlg_count = 0;
  SpectraVector spectrum;
  BimSpectraMatrix bim_spectra;  // row s-1 from <bimspectra id="s">
};

// Reads a result file from `bytes` as they arrive: the root <VARNAK> (attribute version
// "1.0" optional) with <SRLGNUM>, an optional <time_seconds> and then <spectras>, which
// holds one <spectra> row and one <bimspectra id="s"> row for each s in 1..SRLGNUM, each
// row SRLGNUM comma-separated numbers from 0 to 1. White space between elements and
// values, comments, a byte-order mark, the declaration and rows in any order are allowed;
// any other element, attribute or text, and any element given twice, are refused.
//
// The values must be what a run can give, to within the file's six decimals (1e-6 per
// value, summed over the values of a sum): every row nondecreasing, each BIM value at most
// the spectrum value of its column, the last value of each BIM row equal to the last
// spectrum value, and BIM column j (from 0) adding up to j+1 times spectrum value j.
//
// Reading stops at the first fault, and so does it past twice the largest file Varnak
// writes for the SRLGNUM read plus 64 KiB for layout (64 KiB in all before SRLGNUM), at a
// row's text past twice the longest row it writes plus 64 KiB, and at an SRLGNUM whose
// rows would not fit in this machine's memory, so an endless device ends too. Time is
// linear in the bytes read; memory is the values read, never the text.
//
// Returns 0, or 1 with `failure` set to one line that names `file_name`, the line and the
// value at fault, control bytes shown as \xNN.
int read_xml_results(std::streambuf& bytes, const std::string& file_name, XmlResults& results,
                     std::string& failure);

// The same for a whole document held in `text`.
int parse_xml_results(const std::string& text, const std::string& file_name, XmlResults& results,
                      std::string& failure);

// The same for the file at `path`; a file that cannot be opened or read is a failure too.
int read_xml_results(const std::string& path, XmlResults& results, std::string& failure);

}  // namespace varnak
