#include "app/console_report.hpp"

#include <string>
#include <string_view>
#include <vector>

#include "common/number_format.hpp"

namespace varnak {
namespace {

// The stream's default for a double: six significant digits, as printf "%.6g".
constexpr int kConsolePrecision = 6;

// One write per line instead of one insertion per number: a stream insertion costs far more
// than the formatting itself. The flush keeps std::endl's promise that a line is out as soon
// as it is complete.
void put_line(std::ostream& out, std::string& line) {
  line += '\n';
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
  out.flush();
}

void put_text_line(std::ostream& out, std::string& line, std::string_view text) {
  line.assign(text);
  put_line(out, line);
}

void put_row(std::ostream& out, std::string& line, const std::vector<double>& row) {
  line.clear();
  for (std::size_t j = 0; j < row.size(); ++j) {
    if (j > 0) {
      line += ',';
    }
    append_general(line, row[j], kConsolePrecision);
  }
  put_line(out, line);
}

}  // namespace

void print_console_report(std::ostream& out, const SpectraVector& spectrum,
                          const BimRowSource& rows, double elapsed_seconds) {
  std::string line;
  put_text_line(out, line, "Spectra:");
  put_row(out, line, spectrum);
  put_text_line(out, line, "BIMSpectra:");
  SpectraVector row;
  for (std::size_t srlg_index = 0; srlg_index < spectrum.size(); ++srlg_index) {
    rows(srlg_index, row);
    put_row(out, line, row);
  }
  put_text_line(out, line, "time_seconds:");
  line.clear();
  append_general(line, elapsed_seconds, kConsolePrecision);
  put_line(out, line);
}

void print_console_report(std::ostream& out, const SpectraVector& spectrum,
                          const BimSpectraMatrix& bim_spectra, double elapsed_seconds) {
  print_console_report(out, spectrum, rows_of(bim_spectra), elapsed_seconds);
}

}  // namespace varnak
