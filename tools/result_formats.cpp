#include "tools/result_formats.hpp"

#include <cmath>
#include <cstdio>

#include "common/printable.hpp"

namespace varnak {
namespace {

std::string format_double(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// Text is for people: six decimals line up in columns. CSV and JSON are for programs:
// every digit that the double has.
std::string fixed6(double value) {
  return format_double("%.6f", value);
}
std::string full(double value) {
  return format_double("%.17g", value);
}

std::string padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// Writes a JSON array of `count` items, `item(i)` giving each item's text.
template <typename Item>
void json_array(std::ostream& out, std::size_t count, Item item) {
  out << '[';
  for (std::size_t i = 0; i < count; ++i) {
    out << (i > 0 ? ", " : "") << item(i);
  }
  out << ']';
}

void json_numbers(std::ostream& out, const std::vector<double>& values) {
  json_array(out, values.size(), [&](std::size_t i) { return json_number(values[i]); });
}

void json_counts(std::ostream& out, const std::vector<std::uint64_t>& values) {
  json_array(out, values.size(), [&](std::size_t i) { return std::to_string(values[i]); });
}

template <typename Row>
void json_rows(std::ostream& out, const std::vector<Row>& rows,
               void (*write_row)(std::ostream&, const Row&)) {
  out << "[";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    out << (i > 0 ? ",\n    " : "\n    ");
    write_row(out, rows[i]);
  }
  out << (rows.empty() ? "]" : "\n  ]");
}

void text_bim_rows(std::ostream& out, const BimSpectraMatrix& bim_spectra) {
  const std::size_t n = bim_spectra.size();
  out << padded("srlg", 6);
  for (std::size_t k = 1; k <= n; ++k) {
    out << ' ' << padded("k=" + std::to_string(k), 8);
  }
  out << '\n';
  for (std::size_t s = 0; s < n; ++s) {
    out << padded(std::to_string(s + 1), 6);
    for (const double value : bim_spectra[s]) {
      out << ' ' << fixed6(value);
    }
    out << '\n';
  }
}

std::string interval_text(const Interval& interval) {
  std::string text = "[";
  text += fixed6(interval.low);
  text += ", ";
  text += fixed6(interval.high);
  text += ']';
  return text;
}

void write_estimate_text(std::ostream& out, const EstimateReport& report) {
  out << "Instance: " << printable(report.instance_name) << " (" << report.spectrum.size()
      << " SRLGs)\n";
  out << "Samples: " << report.sample_size << ", seed " << report.seed
      << (report.seed_drawn ? " (drawn at random)" : "") << ", " << report.thread_count
      << (report.thread_count == 1 ? " thread" : " threads") << ", "
      << format_double("%.3f", report.elapsed_seconds) << " s\n";
  out << "\nSpectrum: probability that the network is connected with k random SRLGs up\n";
  out << "with a 95% Wilson interval for each k and a 95% band (+-"
      << fixed6(report.band_half_width) << ") for all k at once\n";
  out << padded("k", 6) << "  " << padded("estimate", 8) << "  " << padded("Wilson 95%", 20) << "  "
      << padded("band 95%", 20) << '\n';
  for (std::size_t j = 0; j < report.spectrum.size(); ++j) {
    out << padded(std::to_string(j + 1), 6) << "  " << fixed6(report.spectrum[j]) << "  "
        << interval_text(report.wilson[j]) << "  "
        << interval_text(band_around(report.spectrum[j], report.band_half_width)) << '\n';
  }
  out << "\nBIM spectra: probability that the network is connected with k random SRLGs up\n"
         "and SRLG s among them\n";
  text_bim_rows(out, report.bim_spectra);
}

void write_estimate_csv(std::ostream& out, const EstimateReport& report) {
  out << "series,srlg,k,value,wilson_low,wilson_high,band_low,band_high\n";
  for (std::size_t j = 0; j < report.spectrum.size(); ++j) {
    const Interval band = band_around(report.spectrum[j], report.band_half_width);
    out << "spectrum,," << j + 1 << ',' << full(report.spectrum[j]) << ','
        << full(report.wilson[j].low) << ',' << full(report.wilson[j].high) << ',' << full(band.low)
        << ',' << full(band.high) << '\n';
  }
  for (std::size_t s = 0; s < report.bim_spectra.size(); ++s) {
    for (std::size_t j = 0; j < report.bim_spectra[s].size(); ++j) {
      out << "bim," << s + 1 << ',' << j + 1 << ',' << full(report.bim_spectra[s][j]) << ",,,,\n";
    }
  }
}

void write_matrix_json(std::ostream& out, const BimSpectraMatrix& matrix) {
  json_rows<SpectraVector>(out, matrix, json_numbers);
}

void write_estimate_json(std::ostream& out, const EstimateReport& report) {
  const std::size_t n = report.spectrum.size();
  out << "{\n";
  out << "  \"command\": \"estimate\",\n";
  out << "  \"instance\": " << json_string(report.instance_name) << ",\n";
  out << "  \"srlg_count\": " << n << ",\n";
  out << "  \"N\": " << report.sample_size << ",\n";
  out << "  \"seed\": " << report.seed << ",\n";
  out << "  \"seed_drawn\": " << (report.seed_drawn ? "true" : "false") << ",\n";
  out << "  \"threads\": " << report.thread_count << ",\n";
  out << "  \"elapsed_seconds\": " << json_number(report.elapsed_seconds) << ",\n";
  out << "  \"confidence_level\": " << json_number(1.0 - kBandAlpha) << ",\n";
  out << "  \"band_half_width\": " << json_number(report.band_half_width) << ",\n";
  out << "  \"spectrum\": ";
  json_numbers(out, report.spectrum);
  out << ",\n  \"wilson_low\": ";
  json_array(out, n, [&](std::size_t j) { return json_number(report.wilson[j].low); });
  out << ",\n  \"wilson_high\": ";
  json_array(out, n, [&](std::size_t j) { return json_number(report.wilson[j].high); });
  out << ",\n  \"band_low\": ";
  json_array(out, n, [&](std::size_t j) {
    return json_number(band_around(report.spectrum[j], report.band_half_width).low);
  });
  out << ",\n  \"band_high\": ";
  json_array(out, n, [&](std::size_t j) {
    return json_number(band_around(report.spectrum[j], report.band_half_width).high);
  });
  out << ",\n  \"bim_spectra\": ";
  write_matrix_json(out, report.bim_spectra);
  out << "\n}\n";
}

void write_exact_text(std::ostream& out, const ExactReport& report) {
  const ExactSpectra& exact = report.exact;
  out << "Instance: " << printable(report.instance_name) << " (" << exact.srlg_count << " SRLGs)\n";
  out << "Exact, by enumerating SRLG subsets, " << format_double("%.3f", report.elapsed_seconds)
      << " s\n";
  out << "Connected with no SRLG up: " << (exact.free_edges_connect ? "yes" : "no") << '\n';
  out << "\nSpectrum: share of the k-subsets of SRLGs whose coming up connects the network\n";
  out << padded("k", 6) << "  " << padded("value", 8) << "  " << padded("connected", 12) << "  "
      << padded("subsets", 12) << '\n';
  for (std::size_t j = 0; j < exact.spectrum.size(); ++j) {
    out << padded(std::to_string(j + 1), 6) << "  " << fixed6(exact.spectrum[j]) << "  "
        << padded(std::to_string(exact.connected_subsets[j]), 12) << "  "
        << padded(std::to_string(exact.subsets[j]), 12) << '\n';
  }
  out << "\nBIM spectra: share of the k-subsets that connect the network and hold SRLG s\n";
  text_bim_rows(out, exact.bim_spectra);
}

void write_exact_csv(std::ostream& out, const ExactReport& report) {
  const ExactSpectra& exact = report.exact;
  out << "series,srlg,k,value,connected_subsets,subsets\n";
  for (std::size_t j = 0; j < exact.spectrum.size(); ++j) {
    out << "spectrum,," << j + 1 << ',' << full(exact.spectrum[j]) << ','
        << exact.connected_subsets[j] << ',' << exact.subsets[j] << '\n';
  }
  for (std::size_t s = 0; s < exact.bim_spectra.size(); ++s) {
    for (std::size_t j = 0; j < exact.bim_spectra[s].size(); ++j) {
      out << "bim," << s + 1 << ',' << j + 1 << ',' << full(exact.bim_spectra[s][j]) << ','
          << exact.connected_subsets_with[s][j] << ',' << exact.subsets[j] << '\n';
    }
  }
}

void write_exact_json(std::ostream& out, const ExactReport& report) {
  const ExactSpectra& exact = report.exact;
  out << "{\n";
  out << "  \"command\": \"exact\",\n";
  out << "  \"instance\": " << json_string(report.instance_name) << ",\n";
  out << "  \"srlg_count\": " << exact.srlg_count << ",\n";
  out << "  \"elapsed_seconds\": " << json_number(report.elapsed_seconds) << ",\n";
  out << "  \"free_edges_connect\": " << (exact.free_edges_connect ? "true" : "false") << ",\n";
  out << "  \"spectrum\": ";
  json_numbers(out, exact.spectrum);
  out << ",\n  \"connected_subsets\": ";
  json_counts(out, exact.connected_subsets);
  out << ",\n  \"subsets\": ";
  json_counts(out, exact.subsets);
  out << ",\n  \"bim_spectra\": ";
  write_matrix_json(out, exact.bim_spectra);
  out << ",\n  \"connected_subsets_with\": ";
  json_rows<std::vector<std::uint64_t>>(out, exact.connected_subsets_with, json_counts);
  out << "\n}\n";
}

std::string describe_source(const ReliabilityReport& report) {
  if (report.source_kind == "xml") {
    return "from the XML result file " + printable(report.source_name);
  }
  if (report.source_kind == "exact") {
    return "from the exact spectra of " + printable(report.source_name);
  }
  return "from spectra of " + printable(report.source_name) + " estimated with N " +
         std::to_string(report.sample_size) + ", seed " + std::to_string(report.seed);
}

void write_reliability_text(std::ostream& out, const ReliabilityReport& report) {
  out << "Reliability " << describe_source(report) << " (" << report.srlg_count << " SRLGs)\n";
  out << "Connected with no SRLG up: " << (report.free_edges_connect ? "yes" : "no") << '\n';
  out << "\nR(p): probability that the network is connected when every SRLG is up\n"
         "independently with probability p\n";
  out << padded("p", 10) << "  " << padded("R(p)", 10) << '\n';
  for (const ReliabilityPoint& point : report.curve) {
    out << padded(fixed6(point.p), 10) << "  " << padded(fixed6(point.reliability), 10) << '\n';
  }
  if (!report.ranked) {
    return;
  }
  out << "\nSRLGs by Birnbaum importance at p = " << fixed6(report.rank_at.p)
      << ", where R(p) = " << fixed6(report.rank_at.reliability) << '\n';
  out << padded("rank", 6) << "  " << padded("srlg", 6) << "  " << padded("importance", 10) << "  "
      << padded("R(p|up)", 10) << "  " << padded("R(p|down)", 10) << '\n';
  for (std::size_t i = 0; i < report.ranking.size(); ++i) {
    const SrlgImportance& entry = report.ranking[i];
    out << padded(std::to_string(i + 1), 6) << "  " << padded(std::to_string(entry.srlg), 6) << "  "
        << padded(fixed6(entry.importance), 10) << "  " << padded(fixed6(entry.reliability_up), 10)
        << "  " << padded(fixed6(entry.reliability_down), 10) << '\n';
  }
}

void write_reliability_csv(std::ostream& out, const ReliabilityReport& report) {
  out << "series,p,rank,srlg,value,reliability_up,reliability_down\n";
  for (const ReliabilityPoint& point : report.curve) {
    out << "reliability," << full(point.p) << ",,," << full(point.reliability) << ",,\n";
  }
  if (!report.ranked) {
    return;
  }
  for (std::size_t i = 0; i < report.ranking.size(); ++i) {
    const SrlgImportance& entry = report.ranking[i];
    out << "importance," << full(report.rank_at.p) << ',' << i + 1 << ',' << entry.srlg << ','
        << full(entry.importance) << ',' << full(entry.reliability_up) << ','
        << full(entry.reliability_down) << '\n';
  }
}

void write_point_json(std::ostream& out, const ReliabilityPoint& point) {
  out << "{\"p\": " << json_number(point.p) << ", \"R\": " << json_number(point.reliability) << "}";
}

void write_reliability_json(std::ostream& out, const ReliabilityReport& report) {
  out << "{\n";
  out << "  \"command\": \"reliability\",\n";
  out << "  \"source\": " << json_string(report.source_name) << ",\n";
  out << "  \"source_kind\": " << json_string(report.source_kind) << ",\n";
  out << "  \"srlg_count\": " << report.srlg_count << ",\n";
  out << "  \"free_edges_connect\": " << (report.free_edges_connect ? "true" : "false") << ",\n";
  if (report.source_kind == "estimate") {
    out << "  \"N\": " << report.sample_size << ",\n";
    out << "  \"seed\": " << report.seed << ",\n";
    out << "  \"threads\": " << report.thread_count << ",\n";
  }
  out << "  \"reliability\": ";
  json_rows<ReliabilityPoint>(out, report.curve, write_point_json);
  if (report.ranked) {
    out << ",\n  \"importance\": {\"p\": " << json_number(report.rank_at.p)
        << ", \"R\": " << json_number(report.rank_at.reliability) << ", \"ranking\": ";
    json_array(out, report.ranking.size(), [&](std::size_t i) {
      const SrlgImportance& entry = report.ranking[i];
      return "{\"rank\": " + std::to_string(i + 1) + ", \"srlg\": " + std::to_string(entry.srlg) +
             ", \"importance\": " + json_number(entry.importance) +
             ", \"R_up\": " + json_number(entry.reliability_up) +
             ", \"R_down\": " + json_number(entry.reliability_down) + "}";
    });
    out << "}";
  }
  out << "\n}\n";
}

}  // namespace

bool parse_output_format(const std::string& name, OutputFormat& format) {
  if (name == "text") {
    format = OutputFormat::kText;
  } else if (name == "csv") {
    format = OutputFormat::kCsv;
  } else if (name == "json") {
    format = OutputFormat::kJson;
  } else {
    return false;
  }
  return true;
}

void add_confidence(EstimateReport& report) {
  report.wilson.clear();
  for (const double value : report.spectrum) {
    report.wilson.push_back(wilson_interval(value, report.sample_size));
  }
  report.band_half_width = dkw_half_width(report.sample_size);
}

void write_estimate_report(std::ostream& out, const EstimateReport& report, OutputFormat format) {
  switch (format) {
    case OutputFormat::kText:
      write_estimate_text(out, report);
      break;
    case OutputFormat::kCsv:
      write_estimate_csv(out, report);
      break;
    case OutputFormat::kJson:
      write_estimate_json(out, report);
      break;
  }
}

void write_exact_report(std::ostream& out, const ExactReport& report, OutputFormat format) {
  switch (format) {
    case OutputFormat::kText:
      write_exact_text(out, report);
      break;
    case OutputFormat::kCsv:
      write_exact_csv(out, report);
      break;
    case OutputFormat::kJson:
      write_exact_json(out, report);
      break;
  }
}

void write_reliability_report(std::ostream& out, const ReliabilityReport& report,
                              OutputFormat format) {
  switch (format) {
    case OutputFormat::kText:
      write_reliability_text(out, report);
      break;
    case OutputFormat::kCsv:
      write_reliability_csv(out, report);
      break;
    case OutputFormat::kJson:
      write_reliability_json(out, report);
      break;
  }
}

std::string json_string(const std::string& text) {
  std::string literal = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const char c = text[at];
    const std::size_t length = utf8_sequence_length(text, at);
    if (length == 0) {
      // Not UTF-8, so JSON cannot hold it: shown as the text \xNN, as messages show it.
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\\\x%02x", static_cast<unsigned char>(c));
      literal += escape;
      ++at;
      continue;
    }
    if (length > 1) {
      literal.append(text, at, length);
      at += length;
      continue;
    }
    ++at;
    switch (c) {
      case '"':
        literal += "\\\"";
        break;
      case '\\':
        literal += "\\\\";
        break;
      case '\n':
        literal += "\\n";
        break;
      case '\r':
        literal += "\\r";
        break;
      case '\t':
        literal += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
          literal += escape;
        } else {
          literal += c;
        }
    }
  }
  return literal + "\"";
}

std::string json_number(double value) {
  if (!std::isfinite(value)) {
    return "null";
  }
  return full(value);
}

}  // namespace varnak
