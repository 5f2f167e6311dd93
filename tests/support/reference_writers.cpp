#include "tests/support/reference_writers.hpp"

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <vector>

#include "output/xml_names.hpp"
#include "tests/support/instance_generator.hpp"
#include "tests/support/spectra_accumulation.hpp"

namespace varnak::reference {
namespace {

namespace pt = boost::property_tree;

void print_row(std::ostream& out, const std::vector<double>& row) {
  for (std::size_t j = 0; j < row.size(); ++j) {
    if (j > 0) {
      out << ',';
    }
    out << row[j];
  }
  out << std::endl;
}

// Six decimals, as printf's "%f"; the buffer grows only for huge values.
void append_fixed(std::string& out, double value) {
  char buffer[64];
  const int length = std::snprintf(buffer, sizeof buffer, "%f", value);
  if (length < 0) {
    return;
  }
  if (static_cast<std::size_t>(length) < sizeof buffer) {
    out.append(buffer, static_cast<std::size_t>(length));
    return;
  }
  std::string large(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(large.data(), large.size(), "%f", value);
  large.resize(static_cast<std::size_t>(length));
  out += large;
}

std::string render_row(const std::vector<double>& values, std::size_t count) {
  std::string row;
  for (std::size_t j = 0; j < count; ++j) {
    if (j > 0) {
      row += ',';
    }
    append_fixed(row, values[j]);
  }
  return row;
}

WriterCase estimated(std::string name, const NetworkInstance& instance, std::int32_t sample_size,
                     std::int32_t seed, double elapsed_seconds) {
  const std::size_t n = static_cast<std::size_t>(instance.srlg_count);
  WriterCase result{std::move(name), SpectraVector(n, 0.0),
                    BimSpectraMatrix(n, std::vector<double>(n, 0.0)), elapsed_seconds};
  estimate_spectra(result.spectrum, result.bim_spectra, sample_size, seed, instance);
  return result;
}

}  // namespace

std::vector<WriterCase> writer_cases() {
  const double edge = 0.1234565;
  return {
      estimated("worked ring, N 10", test_networks::worked_ring(), 10, 1, 0.0007718),
      estimated("ring of 300 SRLGs, N 997",
                test_networks::make_ring_network({300, 600, 300, 0.0, 0.1, 6, 40}, 5), 997, 5,
                12.3456789),
      estimated("ring of 40 SRLGs, N 99991",
                test_networks::make_ring_network({40, 70, 40, 0.1, 0.3, 4, 3}, 2), 99991, 2, 1e-7),
      {"awkward values",
       {0.0, 1e-05, std::ldexp(1.0, 200)},
       {{std::nextafter(edge, 0.0), edge, std::nextafter(edge, 1.0)},
        {1e-300, 0.9999995, 0.0000005},
        {1.0, 0.99999949999, 999999.5}},
       3e-7},
      {"one SRLG", {0.75}, {{0.5}}, 3.0},
      {"no SRLG", {}, {}, 0.5},
  };
}

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

std::string render_xml_report(const SpectraVector& spectrum, const BimSpectraMatrix& bim_spectra,
                              double elapsed_seconds) {
  namespace names = xml_names;
  // Boost.PropertyTree keeps an element's attributes under the child <xmlattr>.
  const auto attribute = [](std::string_view name) { return "<xmlattr>." + std::string(name); };
  const std::size_t n = spectrum.size();
  pt::ptree tree;
  pt::ptree& root = tree.add_child(std::string(names::kRoot), pt::ptree());
  root.add(attribute(names::kVersionAttribute), std::string(names::kVersion));
  root.add(std::string(names::kSrlgCount), static_cast<std::uint32_t>(n));
  root.add(std::string(names::kTimeSeconds), elapsed_seconds);
  pt::ptree& spectras = root.add(std::string(names::kRows), "");
  spectras.add(std::string(names::kSpectrumRow), render_row(spectrum, n));
  for (std::size_t i = 0; i < n; ++i) {
    pt::ptree& row = spectras.add(std::string(names::kBimRow), render_row(bim_spectra[i], n));
    row.add(attribute(names::kIdAttribute), static_cast<std::int32_t>(i + 1));
  }
  std::ostringstream text;
  pt::xml_parser::write_xml(text, tree, pt::xml_writer_settings<std::string>(' ', 0, "utf-8"));
  return std::move(text).str();
}

}  // namespace varnak::reference
