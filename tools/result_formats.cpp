#include "tools/result_formats.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string_view>

#include "common/number_format.hpp"
#include "common/printable.hpp"

namespace varnak {
namespace {

// Text gathered for `out` and handed over in pieces of about kPieceBytes: one stream
// insertion per number costs far more than formatting it.
struct Output {
  std::ostream& out;
  std::string text;
};

constexpr std::size_t kPieceBytes = std::size_t{1} << 16;

void hand_over(Output& output) {
  output.out.write(output.text.data(), static_cast<std::streamsize>(output.text.size()));
  output.text.clear();
}

// Called after each row, so that a table of any size needs about one piece of memory.
void hand_over_if_large(Output& output) {
  if (output.text.size() >= kPieceBytes) {
    hand_over(output);
  }
}

// Text is for people: six decimals line up in columns. CSV and JSON are for programs:
// every digit that the double has (17 significant digits).
void append_fixed6(std::string& text, double value) {
  append_fixed(text, value, 6);
}
void append_full(std::string& text, double value) {
  append_general(text, value, 17);
}

void append_json_number(std::string& text, double value) {
  if (!std::isfinite(value)) {
    text += "null";
    return;
  }
  append_full(text, value);
}

// `item`, right-aligned in `width` columns.
void append_padded(std::string& text, std::string_view item, std::size_t width) {
  if (item.size() < width) {
    text.append(width - item.size(), ' ');
  }
  text += item;
}

struct Column {
  std::string_view heading;
  std::size_t width;
};

// A table's heading line: each heading right-aligned in its column, two spaces between.
void append_headings(std::string& text, std::initializer_list<Column> columns) {
  const char* separator = "";
  for (const Column& column : columns) {
    text += separator;
    append_padded(text, column.heading, column.width);
    separator = "  ";
  }
  text += '\n';
}

// Pads what was appended since `start` on the left to `width` columns.
void pad_from(std::string& text, std::size_t start, std::size_t width) {
  const std::size_t length = text.size() - start;
  if (length < width) {
    text.insert(start, width - length, ' ');
  }
}

template <typename Integer>
void append_padded_integer(std::string& text, Integer value, std::size_t width) {
  const std::size_t start = text.size();
  append_integer(text, value);
  pad_from(text, start, width);
}

void append_padded_fixed6(std::string& text, double value, std::size_t width) {
  const std::size_t start = text.size();
  append_fixed6(text, value);
  pad_from(text, start, width);
}

// A JSON array of `count` items, `append_item(text, i)` writing each.
template <typename AppendItem>
void json_array(Output& output, std::size_t count, AppendItem append_item) {
  output.text += '[';
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) {
      output.text += ", ";
    }
    append_item(output.text, i);
  }
  output.text += ']';
}

void json_numbers(Output& output, const std::vector<double>& values) {
  json_array(output, values.size(),
             [&](std::string& text, std::size_t i) { append_json_number(text, values[i]); });
}

void json_counts(Output& output, const std::vector<std::uint64_t>& values) {
  json_array(output, values.size(),
             [&](std::string& text, std::size_t i) { append_integer(text, values[i]); });
}

template <typename Row>
void json_rows(Output& output, const std::vector<Row>& rows,
               void (*write_row)(Output&, const Row&)) {
  output.text += '[';
  for (std::size_t i = 0; i < rows.size(); ++i) {
    output.text += i > 0 ? ",\n    " : "\n    ";
    write_row(output, rows[i]);
    hand_over_if_large(output);
  }
  output.text += rows.empty() ? "]" : "\n  ]";
}

void text_bim_rows(Output& output, std::size_t n, const BimRowSource& rows) {
  std::string& text = output.text;
  SpectraVector row;
  append_padded(text, "srlg", 6);
  for (std::size_t k = 1; k <= n; ++k) {
    text += ' ';
    append_padded(text, "k=" + std::to_string(k), 8);
  }
  text += '\n';
  for (std::size_t s = 0; s < n; ++s) {
    rows(s, row);
    append_padded_integer(text, s + 1, 6);
    for (const double value : row) {
      text += ' ';
      append_fixed6(text, value);
    }
    text += '\n';
    hand_over_if_large(output);
  }
}

void append_interval(std::string& text, const Interval& interval) {
  text += '[';
  append_fixed6(text, interval.low);
  text += ", ";
  append_fixed6(text, interval.high);
  text += ']';
}

void append_seconds(std::string& text, double seconds) {
  append_fixed(text, seconds, 3);
  text += " s\n";
}

// "Terminals: 1, 5, 9" when a terminal set was given.
void append_terminals_text(std::string& text, const std::vector<std::int32_t>& terminals) {
  if (terminals.empty()) {
    return;
  }
  text += "Terminals: ";
  for (std::size_t i = 0; i < terminals.size(); ++i) {
    text += i > 0 ? ", " : "";
    append_integer(text, terminals[i]);
  }
  text += " (connected: these vertices in one piece)\n";
}

const char* pairs_named(const std::vector<std::int32_t>& terminals) {
  return terminals.empty() ? "vertex pairs" : "terminal pairs";
}

void json_terminals(std::string& text, const std::vector<std::int32_t>& terminals) {
  if (terminals.empty()) {
    return;
  }
  text += "  \"terminals\": [";
  for (std::size_t i = 0; i < terminals.size(); ++i) {
    text += i > 0 ? ", " : "";
    append_integer(text, terminals[i]);
  }
  text += "],\n";
}

void write_estimate_text(Output& output, const EstimateReport& report) {
  std::string& text = output.text;
  text += "Instance: ";
  text += printable(report.instance_name);
  text += " (";
  append_integer(text, report.spectrum.size());
  text += " SRLGs)\nSamples: ";
  append_integer(text, report.sample_size);
  text += ", seed ";
  append_integer(text, report.seed);
  text += report.seed_drawn ? " (drawn at random), " : ", ";
  append_integer(text, report.thread_count);
  text += report.thread_count == 1 ? " thread, " : " threads, ";
  append_seconds(text, report.elapsed_seconds);
  append_terminals_text(text, report.terminals);
  text += "\nSpectrum: probability that the network is connected with k random SRLGs up\n";
  text += "with a 95% Wilson interval for each k and a 95% band (+-";
  append_fixed6(text, report.band_half_width);
  text += ") for all k at once\n";
  append_headings(text, {{"k", 6}, {"estimate", 8}, {"Wilson 95%", 20}, {"band 95%", 20}});
  for (std::size_t j = 0; j < report.spectrum.size(); ++j) {
    append_padded_integer(text, j + 1, 6);
    text += "  ";
    append_fixed6(text, report.spectrum[j]);
    text += "  ";
    append_interval(text, report.wilson[j]);
    text += "  ";
    append_interval(text, band_around(report.spectrum[j], report.band_half_width));
    text += '\n';
    hand_over_if_large(output);
  }
  text +=
      "\nBIM spectra: probability that the network is connected with k random SRLGs up\n"
      "and SRLG s among them\n";
  text_bim_rows(output, report.spectrum.size(), report.bim_rows);
  if (report.pairwise.empty()) {
    return;
  }
  text += "\nPairwise: expected share of ";
  text += pairs_named(report.terminals);
  text += " connected with k random SRLGs up\nwith a 95% Wilson interval for each k\n";
  append_headings(text, {{"k", 6}, {"estimate", 8}, {"Wilson 95%", 20}});
  for (std::size_t j = 0; j < report.pairwise.size(); ++j) {
    append_padded_integer(text, j + 1, 6);
    text += "  ";
    append_fixed6(text, report.pairwise[j]);
    text += "  ";
    append_interval(text, report.pairwise_wilson[j]);
    text += '\n';
    hand_over_if_large(output);
  }
}

void write_estimate_csv(Output& output, const EstimateReport& report) {
  std::string& text = output.text;
  text += "series,srlg,k,value,wilson_low,wilson_high,band_low,band_high\n";
  for (std::size_t j = 0; j < report.spectrum.size(); ++j) {
    const Interval band = band_around(report.spectrum[j], report.band_half_width);
    text += "spectrum,,";
    append_integer(text, j + 1);
    for (const double value :
         {report.spectrum[j], report.wilson[j].low, report.wilson[j].high, band.low, band.high}) {
      text += ',';
      append_full(text, value);
    }
    text += '\n';
    hand_over_if_large(output);
  }
  for (std::size_t j = 0; j < report.pairwise.size(); ++j) {
    text += "pairwise,,";
    append_integer(text, j + 1);
    for (const double value :
         {report.pairwise[j], report.pairwise_wilson[j].low, report.pairwise_wilson[j].high}) {
      text += ',';
      append_full(text, value);
    }
    text += ",,\n";
    hand_over_if_large(output);
  }
  SpectraVector row;
  for (std::size_t s = 0; s < report.spectrum.size(); ++s) {
    report.bim_rows(s, row);
    for (std::size_t j = 0; j < row.size(); ++j) {
      text += "bim,";
      append_integer(text, s + 1);
      text += ',';
      append_integer(text, j + 1);
      text += ',';
      append_full(text, row[j]);
      text += ",,,,\n";
    }
    hand_over_if_large(output);
  }
}

void write_matrix_json(Output& output, std::size_t n, const BimRowSource& rows) {
  SpectraVector row;
  output.text += '[';
  for (std::size_t i = 0; i < n; ++i) {
    rows(i, row);
    output.text += i > 0 ? ",\n    " : "\n    ";
    json_numbers(output, row);
    hand_over_if_large(output);
  }
  output.text += n == 0 ? "]" : "\n  ]";
}

// "  "name": value,\n" for the scalar fields of a JSON report.
template <typename Integer>
void json_integer_field(std::string& text, std::string_view name, Integer value) {
  text += "  \"";
  text += name;
  text += "\": ";
  append_integer(text, value);
  text += ",\n";
}

void json_number_field(std::string& text, std::string_view name, double value) {
  text += "  \"";
  text += name;
  text += "\": ";
  append_json_number(text, value);
  text += ",\n";
}

void json_text_field(std::string& text, std::string_view name, std::string_view value) {
  text += "  \"";
  text += name;
  text += "\": ";
  text += value;
  text += ",\n";
}

void write_estimate_json(Output& output, const EstimateReport& report) {
  std::string& text = output.text;
  const std::size_t n = report.spectrum.size();
  text += "{\n";
  json_text_field(text, "command", "\"estimate\"");
  json_text_field(text, "instance", json_string(report.instance_name));
  json_integer_field(text, "srlg_count", n);
  json_integer_field(text, "N", report.sample_size);
  json_integer_field(text, "seed", report.seed);
  json_text_field(text, "seed_drawn", report.seed_drawn ? "true" : "false");
  json_integer_field(text, "threads", report.thread_count);
  json_number_field(text, "elapsed_seconds", report.elapsed_seconds);
  json_number_field(text, "confidence_level", 1.0 - kBandAlpha);
  json_number_field(text, "band_half_width", report.band_half_width);
  json_terminals(text, report.terminals);
  text += "  \"spectrum\": ";
  json_numbers(output, report.spectrum);
  output.text += ",\n  \"wilson_low\": ";
  json_array(output, n, [&](std::string& item, std::size_t j) {
    append_json_number(item, report.wilson[j].low);
  });
  output.text += ",\n  \"wilson_high\": ";
  json_array(output, n, [&](std::string& item, std::size_t j) {
    append_json_number(item, report.wilson[j].high);
  });
  output.text += ",\n  \"band_low\": ";
  json_array(output, n, [&](std::string& item, std::size_t j) {
    append_json_number(item, band_around(report.spectrum[j], report.band_half_width).low);
  });
  output.text += ",\n  \"band_high\": ";
  json_array(output, n, [&](std::string& item, std::size_t j) {
    append_json_number(item, band_around(report.spectrum[j], report.band_half_width).high);
  });
  output.text += ",\n  \"bim_spectra\": ";
  write_matrix_json(output, report.spectrum.size(), report.bim_rows);
  if (!report.pairwise.empty()) {
    output.text += ",\n  \"pairwise\": ";
    json_numbers(output, report.pairwise);
    output.text += ",\n  \"pairwise_low\": ";
    json_array(output, report.pairwise.size(), [&](std::string& item, std::size_t j) {
      append_json_number(item, report.pairwise_wilson[j].low);
    });
    output.text += ",\n  \"pairwise_high\": ";
    json_array(output, report.pairwise.size(), [&](std::string& item, std::size_t j) {
      append_json_number(item, report.pairwise_wilson[j].high);
    });
    output.text += ",\n  \"pairwise_none_up\": ";
    append_json_number(output.text, report.pairwise_none_up);
  }
  output.text += "\n}\n";
}

void write_exact_text(Output& output, const ExactReport& report) {
  std::string& text = output.text;
  const ExactSpectra& exact = report.exact;
  text += "Instance: ";
  text += printable(report.instance_name);
  text += " (";
  append_integer(text, exact.srlg_count);
  text += " SRLGs)\nExact, by enumerating SRLG subsets, ";
  append_seconds(text, report.elapsed_seconds);
  append_terminals_text(text, report.terminals);
  text += "Connected with no SRLG up: ";
  text += exact.free_edges_connect ? "yes" : "no";
  text += '\n';
  text += "\nSpectrum: share of the k-subsets of SRLGs whose coming up connects the network\n";
  append_headings(text, {{"k", 6}, {"value", 8}, {"connected", 12}, {"subsets", 12}});
  for (std::size_t j = 0; j < exact.spectrum.size(); ++j) {
    append_padded_integer(text, j + 1, 6);
    text += "  ";
    append_fixed6(text, exact.spectrum[j]);
    text += "  ";
    append_padded_integer(text, exact.connected_subsets[j], 12);
    text += "  ";
    append_padded_integer(text, exact.subsets[j], 12);
    text += '\n';
  }
  text += "\nBIM spectra: share of the k-subsets that connect the network and hold SRLG s\n";
  text_bim_rows(output, exact.bim_spectra.size(), rows_of(exact.bim_spectra));
  if (!exact.pairwise) {
    return;
  }
  text += "\nPairwise: share of the ";
  text += pairs_named(report.terminals);
  text += " connected, over the k-subsets of SRLGs (";
  append_fixed6(text, exact.pairwise_none_up);
  text += " with none up)\n";
  append_headings(text, {{"k", 6}, {"value", 8}, {"connected pairs", 24}, {"pairs", 24}});
  for (std::size_t j = 0; j < exact.pairwise_shares.size(); ++j) {
    append_padded_integer(text, j + 1, 6);
    text += "  ";
    append_fixed6(text, exact.pairwise_shares[j]);
    text += "  ";
    append_padded(text, wide_count_text(exact.connected_pairs[j]), 24);
    text += "  ";
    append_padded(
        text, wide_count_text(static_cast<WideCount>(exact.subsets[j]) * exact.terminal_pairs), 24);
    text += '\n';
  }
}

void write_exact_csv(Output& output, const ExactReport& report) {
  std::string& text = output.text;
  const ExactSpectra& exact = report.exact;
  text += "series,srlg,k,value,connected_subsets,subsets\n";
  for (std::size_t j = 0; j < exact.spectrum.size(); ++j) {
    text += "spectrum,,";
    append_integer(text, j + 1);
    text += ',';
    append_full(text, exact.spectrum[j]);
    text += ',';
    append_integer(text, exact.connected_subsets[j]);
    text += ',';
    append_integer(text, exact.subsets[j]);
    text += '\n';
  }
  for (std::size_t j = 0; j < exact.pairwise_shares.size(); ++j) {
    text += "pairwise,,";
    append_integer(text, j + 1);
    text += ',';
    append_full(text, exact.pairwise_shares[j]);
    text += ',';
    text += wide_count_text(exact.connected_pairs[j]);
    text += ',';
    text += wide_count_text(static_cast<WideCount>(exact.subsets[j]) * exact.terminal_pairs);
    text += '\n';
  }
  for (std::size_t s = 0; s < exact.bim_spectra.size(); ++s) {
    for (std::size_t j = 0; j < exact.bim_spectra[s].size(); ++j) {
      text += "bim,";
      append_integer(text, s + 1);
      text += ',';
      append_integer(text, j + 1);
      text += ',';
      append_full(text, exact.bim_spectra[s][j]);
      text += ',';
      append_integer(text, exact.connected_subsets_with[s][j]);
      text += ',';
      append_integer(text, exact.subsets[j]);
      text += '\n';
    }
    hand_over_if_large(output);
  }
}

void write_exact_json(Output& output, const ExactReport& report) {
  std::string& text = output.text;
  const ExactSpectra& exact = report.exact;
  text += "{\n";
  json_text_field(text, "command", "\"exact\"");
  json_text_field(text, "instance", json_string(report.instance_name));
  json_integer_field(text, "srlg_count", exact.srlg_count);
  json_number_field(text, "elapsed_seconds", report.elapsed_seconds);
  json_text_field(text, "free_edges_connect", exact.free_edges_connect ? "true" : "false");
  json_terminals(text, report.terminals);
  text += "  \"spectrum\": ";
  json_numbers(output, exact.spectrum);
  output.text += ",\n  \"connected_subsets\": ";
  json_counts(output, exact.connected_subsets);
  output.text += ",\n  \"subsets\": ";
  json_counts(output, exact.subsets);
  output.text += ",\n  \"bim_spectra\": ";
  write_matrix_json(output, exact.bim_spectra.size(), rows_of(exact.bim_spectra));
  output.text += ",\n  \"connected_subsets_with\": ";
  json_rows<std::vector<std::uint64_t>>(output, exact.connected_subsets_with, json_counts);
  if (exact.pairwise) {
    output.text += ",\n  \"pairwise\": ";
    json_numbers(output, exact.pairwise_shares);
    output.text += ",\n  \"pairwise_none_up\": ";
    append_json_number(output.text, exact.pairwise_none_up);
    output.text += ",\n  \"terminal_pairs\": ";
    append_integer(output.text, exact.terminal_pairs);
    // Whole numbers beyond 2^64 are still JSON numbers; Python reads them exactly.
    output.text += ",\n  \"connected_pairs\": ";
    json_array(output, exact.connected_pairs.size(), [&](std::string& item, std::size_t j) {
      item += wide_count_text(exact.connected_pairs[j]);
    });
  }
  output.text += "\n}\n";
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

void write_reliability_text(Output& output, const ReliabilityReport& report) {
  std::string& text = output.text;
  text += "Reliability ";
  text += describe_source(report);
  text += " (";
  append_integer(text, report.srlg_count);
  text += " SRLGs)\n";
  append_terminals_text(text, report.terminals);
  text += "Connected with no SRLG up: ";
  text += report.free_edges_connect ? "yes" : "no";
  text += '\n';
  text +=
      "\nR(p): probability that the network is connected when every SRLG is up\n"
      "independently with probability p\n";
  if (report.pairwise) {
    text += "pairwise: the expected share of ";
    text += pairs_named(report.terminals);
    text += " connected there\n";
    append_headings(text, {{"p", 10}, {"R(p)", 10}, {"pairwise", 10}});
  } else {
    append_headings(text, {{"p", 10}, {"R(p)", 10}});
  }
  for (const ReliabilityPoint& point : report.curve) {
    append_padded_fixed6(text, point.p, 10);
    text += "  ";
    append_padded_fixed6(text, point.reliability, 10);
    if (report.pairwise) {
      text += "  ";
      append_padded_fixed6(text, point.pairwise, 10);
    }
    text += '\n';
    hand_over_if_large(output);
  }
  if (!report.ranked) {
    return;
  }
  text += "\nSRLGs by Birnbaum importance at p = ";
  append_fixed6(text, report.rank_at.p);
  text += ", where R(p) = ";
  append_fixed6(text, report.rank_at.reliability);
  text += '\n';
  append_headings(
      text, {{"rank", 6}, {"srlg", 6}, {"importance", 10}, {"R(p|up)", 10}, {"R(p|down)", 10}});
  for (std::size_t i = 0; i < report.ranking.size(); ++i) {
    const SrlgImportance& entry = report.ranking[i];
    append_padded_integer(text, i + 1, 6);
    text += "  ";
    append_padded_integer(text, entry.srlg, 6);
    for (const double value : {entry.importance, entry.reliability_up, entry.reliability_down}) {
      text += "  ";
      append_padded_fixed6(text, value, 10);
    }
    text += '\n';
    hand_over_if_large(output);
  }
}

void write_reliability_csv(Output& output, const ReliabilityReport& report) {
  std::string& text = output.text;
  text += "series,p,rank,srlg,value,reliability_up,reliability_down\n";
  for (const ReliabilityPoint& point : report.curve) {
    text += "reliability,";
    append_full(text, point.p);
    text += ",,,";
    append_full(text, point.reliability);
    text += ",,\n";
    hand_over_if_large(output);
  }
  for (std::size_t i = 0; report.pairwise && i < report.curve.size(); ++i) {
    const ReliabilityPoint& point = report.curve[i];
    text += "pairwise,";
    append_full(text, point.p);
    text += ",,,";
    append_full(text, point.pairwise);
    text += ",,\n";
    hand_over_if_large(output);
  }
  if (!report.ranked) {
    return;
  }
  for (std::size_t i = 0; i < report.ranking.size(); ++i) {
    const SrlgImportance& entry = report.ranking[i];
    text += "importance,";
    append_full(text, report.rank_at.p);
    text += ',';
    append_integer(text, i + 1);
    text += ',';
    append_integer(text, entry.srlg);
    for (const double value : {entry.importance, entry.reliability_up, entry.reliability_down}) {
      text += ',';
      append_full(text, value);
    }
    text += '\n';
    hand_over_if_large(output);
  }
}

void write_point_json(Output& output, const ReliabilityPoint& point) {
  output.text += "{\"p\": ";
  append_json_number(output.text, point.p);
  output.text += ", \"R\": ";
  append_json_number(output.text, point.reliability);
  output.text += '}';
}

void write_pairwise_point_json(Output& output, const ReliabilityPoint& point) {
  output.text += "{\"p\": ";
  append_json_number(output.text, point.p);
  output.text += ", \"share\": ";
  append_json_number(output.text, point.pairwise);
  output.text += '}';
}

void write_reliability_json(Output& output, const ReliabilityReport& report) {
  std::string& text = output.text;
  text += "{\n";
  json_text_field(text, "command", "\"reliability\"");
  json_text_field(text, "source", json_string(report.source_name));
  json_text_field(text, "source_kind", json_string(report.source_kind));
  json_integer_field(text, "srlg_count", report.srlg_count);
  json_text_field(text, "free_edges_connect", report.free_edges_connect ? "true" : "false");
  json_terminals(text, report.terminals);
  if (report.source_kind == "estimate") {
    json_integer_field(text, "N", report.sample_size);
    json_integer_field(text, "seed", report.seed);
    json_integer_field(text, "threads", report.thread_count);
  }
  text += "  \"reliability\": ";
  json_rows<ReliabilityPoint>(output, report.curve, write_point_json);
  if (report.pairwise) {
    output.text += ",\n  \"pairwise\": ";
    json_rows<ReliabilityPoint>(output, report.curve, write_pairwise_point_json);
  }
  if (report.ranked) {
    output.text += ",\n  \"importance\": {\"p\": ";
    append_json_number(output.text, report.rank_at.p);
    output.text += ", \"R\": ";
    append_json_number(output.text, report.rank_at.reliability);
    output.text += ", \"ranking\": ";
    json_array(output, report.ranking.size(), [&](std::string& item, std::size_t i) {
      const SrlgImportance& entry = report.ranking[i];
      item += "{\"rank\": ";
      append_integer(item, i + 1);
      item += ", \"srlg\": ";
      append_integer(item, entry.srlg);
      item += ", \"importance\": ";
      append_json_number(item, entry.importance);
      item += ", \"R_up\": ";
      append_json_number(item, entry.reliability_up);
      item += ", \"R_down\": ";
      append_json_number(item, entry.reliability_down);
      item += '}';
    });
    output.text += '}';
  }
  output.text += "\n}\n";
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
  report.pairwise_wilson.clear();
  for (const double value : report.pairwise) {
    report.pairwise_wilson.push_back(wilson_interval(value, report.sample_size));
  }
}

void write_estimate_report(std::ostream& out, const EstimateReport& report, OutputFormat format) {
  Output output{out, {}};
  switch (format) {
    case OutputFormat::kText:
      write_estimate_text(output, report);
      break;
    case OutputFormat::kCsv:
      write_estimate_csv(output, report);
      break;
    case OutputFormat::kJson:
      write_estimate_json(output, report);
      break;
  }
  hand_over(output);
}

void write_exact_report(std::ostream& out, const ExactReport& report, OutputFormat format) {
  Output output{out, {}};
  switch (format) {
    case OutputFormat::kText:
      write_exact_text(output, report);
      break;
    case OutputFormat::kCsv:
      write_exact_csv(output, report);
      break;
    case OutputFormat::kJson:
      write_exact_json(output, report);
      break;
  }
  hand_over(output);
}

void write_reliability_report(std::ostream& out, const ReliabilityReport& report,
                              OutputFormat format) {
  Output output{out, {}};
  switch (format) {
    case OutputFormat::kText:
      write_reliability_text(output, report);
      break;
    case OutputFormat::kCsv:
      write_reliability_csv(output, report);
      break;
    case OutputFormat::kJson:
      write_reliability_json(output, report);
      break;
  }
  hand_over(output);
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
  std::string text;
  append_json_number(text, value);
  return text;
}

}  // namespace varnak
