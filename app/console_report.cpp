#include "app/console_report.hpp"

#include <vector>

namespace varnak {
namespace {

void print_row(std::ostream& out, const std::vector<double>& row) {
  for (std::size_t j = 0; j < row.size(); ++j) {
    if (j > 0) {
      out << ',';
    }
    out << row[j];
  }
  out << std::endl;
}

}  // namespace

void print_console_report(std::ostream& out, const SpectraVector& spectrum,
                          const BimSpectraMatrix& bim_spectra, double elapsed_seconds) {
  out << "Spectra:" << std::endl;
  print_row(out, spectrum);
  out << "BIMSpectra:" << std::endl;
  for (const std::vector<double>& row : bim_spectra) {
    print_row(out, row);
  }
  out << "time_seconds:" << std::endl;
  out << elapsed_seconds << std::endl;
}

}  // namespace varnak
