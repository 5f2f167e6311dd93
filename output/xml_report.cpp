#include "output/xml_report.hpp"
#include "output/xml_names.hpp"

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/number_format.hpp"
#include "output/result_file.hpp"

namespace varnak {
namespace {

// What one document holds; the BIM rows are asked for one at a time as they are written.
struct XmlDocument {
  const SpectraVector& spectrum;
  const BimRowSource& rows;
  double elapsed_seconds;
};

// The row values: six decimals (printf "%f").
constexpr int kRowDecimals = 6;
// The time as Boost.PropertyTree put a double, which earlier files had: 17 significant
// digits, enough to give back the same double.
constexpr int kTimePrecision = 17;

void open_element(std::string& text, std::string_view name) {
  text += '<';
  text += name;
  text += '>';
}

void close_element(std::string& text, std::string_view name) {
  text += "</";
  text += name;
  text += '>';
}

void append_values(std::string& text, const std::vector<double>& values, std::size_t count) {
  for (std::size_t j = 0; j < count; ++j) {
    if (j > 0) {
      text += ',';
    }
    append_fixed(text, values[j], kRowDecimals);
  }
}

// The whole document, handed to `sink` in pieces as the rows are formatted, so that only one
// row of doubles and about one piece of text are held at a time. False when the sink failed.
bool produce_document(const XmlDocument& results, const PieceSink& sink) {
  namespace names = xml_names;
  const std::size_t n = results.spectrum.size();
  std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<";
  text += names::kRoot;
  text += ' ';
  text += names::kVersionAttribute;
  text += "=\"";
  text += names::kVersion;
  text += "\">";
  open_element(text, names::kSrlgCount);
  append_integer(text, static_cast<std::uint32_t>(n));
  close_element(text, names::kSrlgCount);
  open_element(text, names::kTimeSeconds);
  append_general(text, results.elapsed_seconds, kTimePrecision);
  close_element(text, names::kTimeSeconds);
  open_element(text, names::kRows);
  if (n == 0) {
    // An element without text, as Boost.PropertyTree wrote it in earlier files.
    text += '<';
    text += names::kSpectrumRow;
    text += "/>";
  } else {
    open_element(text, names::kSpectrumRow);
    append_values(text, results.spectrum, n);
    close_element(text, names::kSpectrumRow);
  }
  SpectraVector row;
  for (std::size_t i = 0; i < n; ++i) {
    results.rows(i, row);
    text += '<';
    text += names::kBimRow;
    text += ' ';
    text += names::kIdAttribute;
    text += "=\"";
    append_integer(text, static_cast<std::int32_t>(i + 1));
    text += "\">";
    append_values(text, row, n);
    close_element(text, names::kBimRow);
    if (text.size() >= kPieceBytes) {
      if (!sink(text)) {
        return false;
      }
      text.clear();
    }
  }
  close_element(text, names::kRows);
  close_element(text, names::kRoot);
  return sink(text);
}

}  // namespace

std::string render_xml_report(const SpectraVector& spectrum, const BimSpectraMatrix& bim_spectra,
                              double elapsed_seconds) {
  const BimRowSource rows = rows_of(bim_spectra);
  std::string document;
  produce_document({spectrum, rows, elapsed_seconds}, [&document](std::string_view piece) {
    document += piece;
    return true;
  });
  return document;
}

int write_xml_report(const std::string& output_path, const SpectraVector& spectrum,
                     const BimRowSource& rows, double elapsed_seconds, std::string& failure) {
  const XmlDocument results{spectrum, rows, elapsed_seconds};
  return write_result_file(
      output_path, [&results](const PieceSink& sink) { return produce_document(results, sink); },
      failure);
}

int write_xml_report(const std::string& output_path, const SpectraVector& spectrum,
                     const BimSpectraMatrix& bim_spectra, double elapsed_seconds,
                     std::string& failure) {
  return write_xml_report(output_path, spectrum, rows_of(bim_spectra), elapsed_seconds, failure);
}

}  // namespace varnak
