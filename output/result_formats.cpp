#include "output/result_formats.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string_view>

#include "common/number_format.hpp"
#include "common/printable.hpp"
#include "output/report_keys.hpp"

namespace varnak {
namespace {

namespace key = report_keys;

// `before`, then "key": , as every JSON key is written.
void append_key(std::string& text, std::string_view before, std::string_view key) {
  text += before;
  text += '"';
  text += key;
  text += "\": ";
}

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

// An exact count in decimal, however many digits it takes.
void append_count(std::string& text, const ExactCount& count) {
  text += count.str();
}

void json_counts(Output& output, const std::vector<ExactCount>& values) {
  json_array(output, values.size(),
             [&](std::string& text, std::size_t i) { append_count(text, values[i]); });
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

// Ids separated by `separator`: "15 16" in text and CSV, "15, 16" in JSON.
void append_ids(std::string& text, const std::vector<std::int32_t>& ids,
                std::string_view separator) {
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (i > 0) {
      text += separator;
    }
    append_integer(text, ids[i]);
  }
}

const char* yes_no(bool value) {
  return value ? "yes" : "no";
}

const char* json_bool(bool value) {
  return value ? "true" : "false";
}

// How exact values were found, for the text's second line.
std::string describe_exact_method(const RunInfo& run) {
  if (run.exact_method == "diagram") {
    return "by a decision diagram over the SRLGs (frontier width " +
           std::to_string(run.diagram.frontier_width) + ", " +
           std::to_string(run.diagram.most_remembered) + " SRLGs remembered, " +
           std::to_string(run.diagram.nodes) + " nodes)";
  }
  if (run.exact_method == "none") {
    return "without search (no subset connects, or every one does)";
  }
  return "by enumerating SRLG subsets";
}

// The text's opening lines: where the figures come from and how they were made.
void text_run_lines(std::string& text, const RunInfo& run) {
  text += "Instance: ";
  text += run.instance_name.empty() ? "unknown" : printable(run.instance_name);
  text += " (";
  append_integer(text, run.srlg_count);
  text += " SRLGs)\n";
  if (!run.results_file.empty()) {
    text += "Read from: ";
    text += printable(run.results_file);
    text += run.method == "xml" ? " (an XML result file: six decimals, no counts)\n" : "\n";
  }
  if (run.sampled) {
    text += "Samples: ";
    append_integer(text, run.sample_size);
    text += ", seed ";
    append_integer(text, run.seed);
    text += run.seed_drawn ? " (drawn at random), " : ", ";
    append_integer(text, run.thread_count);
    text += run.thread_count == 1 ? " thread, " : " threads, ";
    append_seconds(text, run.elapsed_seconds);
  } else if (run.method == "exact") {
    text += "Exact, ";
    text += describe_exact_method(run);
    text += ", ";
    append_seconds(text, run.elapsed_seconds);
  }
  if (!run.terminals.empty()) {
    text += "Terminals: ";
    append_ids(text, run.terminals, ", ");
    text += " (connected: these vertices in one piece)\n";
  }
  text += "Connected with no SRLG up: ";
  text += yes_no(run.free_edges_connect);
  text += '\n';
}

// "terminal pairs", or "vertex pairs" when every vertex is a terminal.
const char* pairs_named(const RunInfo& run) {
  return run.terminals.empty() ? "vertex pairs" : "terminal pairs";
}

// `# key: value` lines before a CSV header, so that pandas.read_csv(comment='#') reads
// the table and a program can still find the run's facts. Unknown values are left out.
void csv_run_lines(std::string& text, std::string_view command, const RunInfo& run) {
  const auto line = [&](std::string_view key, std::string_view value) {
    text += "# ";
    text += key;
    text += ": ";
    text += value;
    text += '\n';
  };
  const auto integer_line = [&](std::string_view key, std::int64_t value) {
    std::string digits;
    append_integer(digits, value);
    line(key, digits);
  };
  line(key::kCommand, command);
  if (!run.instance_name.empty()) {
    line(key::kInstance, printable(run.instance_name));
  }
  line(key::kMethod, run.method);
  if (!run.results_file.empty()) {
    line(key::kResultsFile, printable(run.results_file));
  }
  integer_line(key::kSrlgCount, run.srlg_count);
  if (run.sampled) {
    integer_line(key::kSampleSize, run.sample_size);
    integer_line(key::kSeed, run.seed);
    line(key::kSeedDrawn, json_bool(run.seed_drawn));
    integer_line(key::kThreads, run.thread_count);
  }
  if (!run.terminals.empty()) {
    std::string ids;
    append_ids(ids, run.terminals, " ");
    line(key::kTerminals, ids);
  }
  line(key::kFreeEdgesConnect, json_bool(run.free_edges_connect));
  line(key::kConfidenceLevel, "0.95");
  if (!run.exact_method.empty()) {
    line(key::kExactMethod, run.exact_method);
  }
  if (run.exact_method == "diagram") {
    integer_line(key::kFrontierWidth, run.diagram.frontier_width);
    integer_line(key::kRememberedSrlgs, run.diagram.most_remembered);
    integer_line(key::kDiagramNodes, static_cast<std::int64_t>(run.diagram.nodes));
  }
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

// The same keys in every command's JSON; null where a value does not apply.
void json_run_fields(std::string& text, std::string_view command, const RunInfo& run) {
  json_text_field(text, key::kCommand, json_string(std::string(command)));
  json_text_field(text, key::kInstance,
                  run.instance_name.empty() ? "null" : json_string(run.instance_name));
  json_text_field(text, key::kMethod, json_string(run.method));
  json_text_field(text, key::kResultsFile,
                  run.results_file.empty() ? "null" : json_string(run.results_file));
  json_integer_field(text, key::kSrlgCount, run.srlg_count);
  if (run.sampled) {
    json_integer_field(text, key::kSampleSize, run.sample_size);
    json_integer_field(text, key::kSeed, run.seed);
    json_text_field(text, key::kSeedDrawn, json_bool(run.seed_drawn));
    json_integer_field(text, key::kThreads, run.thread_count);
  } else {
    for (const char* name : {"N", "seed", "seed_drawn", "threads"}) {
      json_text_field(text, name, "null");
    }
  }
  if (run.terminals.empty()) {
    json_text_field(text, key::kTerminals, "null");
  } else {
    std::string ids = "[";
    append_ids(ids, run.terminals, ", ");
    json_text_field(text, key::kTerminals, ids + "]");
  }
  json_text_field(text, key::kFreeEdgesConnect, json_bool(run.free_edges_connect));
  json_number_field(text, key::kElapsedSeconds, run.elapsed_seconds);
  json_number_field(text, key::kConfidenceLevel, 1.0 - kBandAlpha);
}

// How exact values were found, after the run fields of the commands that compute them;
// null where a value does not apply.
void json_exact_fields(std::string& text, const RunInfo& run) {
  json_text_field(text, key::kExactMethod,
                  run.exact_method.empty() ? "null" : json_string(run.exact_method));
  if (run.exact_method == "diagram") {
    json_integer_field(text, key::kFrontierWidth, run.diagram.frontier_width);
    json_integer_field(text, key::kRememberedSrlgs, run.diagram.most_remembered);
    json_integer_field(text, key::kDiagramNodes, run.diagram.nodes);
  } else {
    for (const char* name : {"frontier_width", "remembered_srlgs", "diagram_nodes"}) {
      json_text_field(text, name, "null");
    }
  }
}

// One BIM row of `n` cells as values, from a row of counts over N or of doubles.
template <typename RowValue>
void text_bim_rows(Output& output, std::size_t n, RowValue row_value) {
  std::string& text = output.text;
  append_padded(text, "srlg", 6);
  for (std::size_t k = 1; k <= n; ++k) {
    text += ' ';
    append_padded(text, "k=" + std::to_string(k), 8);
  }
  text += '\n';
  for (std::size_t s = 0; s < n; ++s) {
    append_padded_integer(text, s + 1, 6);
    for (std::size_t j = 0; j < n; ++j) {
      text += ' ';
      append_fixed6(text, row_value(s, j));
    }
    text += '\n';
    hand_over_if_large(output);
  }
}

double bim_value(const SpectraCounts& counts, std::size_t srlg_index, std::size_t j) {
  const std::size_t width = static_cast<std::size_t>(counts.srlg_count);
  return proportion_of(counts.connected_with[srlg_index * width + j], counts.sample_size);
}

void write_estimate_text(Output& output, const EstimateReport& report) {
  std::string& text = output.text;
  const SpectraCounts& counts = report.counts;
  text_run_lines(text, report.run);
  text += "\nSpectrum: probability that the network is connected with k random SRLGs up\n";
  text += "with a 95% Clopper-Pearson interval for each k and a 95% band (+-";
  append_fixed6(text, report.band_half_width);
  text += ") for all k at once\n";
  append_headings(text, {{"k", 6},
                         {"estimate", 8},
                         {"connected", 10},
                         {"Clopper-Pearson 95%", 20},
                         {"band 95%", 20}});
  for (std::size_t j = 0; j < report.spectrum.size(); ++j) {
    append_padded_integer(text, j + 1, 6);
    text += "  ";
    append_fixed6(text, report.spectrum[j]);
    text += "  ";
    append_padded_integer(text, counts.connected[j], 10);
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
  text_bim_rows(output, report.spectrum.size(),
                [&](std::size_t s, std::size_t j) { return bim_value(counts, s, j); });
  if (report.pairwise.empty()) {
    return;
  }
  text += "\nPairwise: expected share of ";
  text += pairs_named(report.run);
  text += " connected with k random SRLGs up\nwith a 95% Clopper-Pearson interval for each k (";
  append_fixed6(text, report.pairwise_none_up);
  text += " with none up)\n";
  append_headings(text, {{"k", 6}, {"estimate", 8}, {"Clopper-Pearson 95%", 20}});
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
  const SpectraCounts& counts = report.counts;
  csv_run_lines(text, key::kEstimateCommand, report.run);
  // What the pairwise rows need to be read back: the pairs of a sample and the share the
  // free edges join.
  if (!counts.connected_pairs.empty()) {
    text += "# terminal_pairs: ";
    append_integer(text, counts.terminal_pairs);
    text += "\n# pairwise_none_up: ";
    append_full(text, report.pairwise_none_up);
    text += '\n';
  }
  text += "series,srlg,k,value,connected,wilson_low,wilson_high,band_low,band_high\n";
  for (std::size_t j = 0; j < report.spectrum.size(); ++j) {
    const Interval band = band_around(report.spectrum[j], report.band_half_width);
    text += "spectrum,,";
    append_integer(text, j + 1);
    text += ',';
    append_full(text, report.spectrum[j]);
    text += ',';
    append_integer(text, counts.connected[j]);
    for (const double value : {report.wilson[j].low, report.wilson[j].high, band.low, band.high}) {
      text += ',';
      append_full(text, value);
    }
    text += '\n';
    hand_over_if_large(output);
  }
  // The connected column of a pairwise row holds the connected pairs summed over the
  // samples: a whole number that may pass 2^64.
  for (std::size_t j = 0; j < report.pairwise.size(); ++j) {
    text += "pairwise,,";
    append_integer(text, j + 1);
    text += ',';
    append_full(text, report.pairwise[j]);
    text += ',';
    text += wide_count_text(counts.connected_pairs[j]);
    for (const double value : {report.pairwise_wilson[j].low, report.pairwise_wilson[j].high}) {
      text += ',';
      append_full(text, value);
    }
    text += ",,\n";
    hand_over_if_large(output);
  }
  const std::size_t width = report.spectrum.size();
  for (std::size_t s = 0; s < width; ++s) {
    for (std::size_t j = 0; j < width; ++j) {
      text += "bim,";
      append_integer(text, s + 1);
      text += ',';
      append_integer(text, j + 1);
      text += ',';
      append_full(text, bim_value(counts, s, j));
      text += ',';
      append_integer(text, counts.connected_with[s * width + j]);
      text += ",,,,\n";
    }
    hand_over_if_large(output);
  }
  // The samples each SRLG connected, where there are any: at most N rows.
  if (!counts.critical.empty()) {
    for (std::size_t s = 0; s < width; ++s) {
      for (std::size_t j = 0; j < width; ++j) {
        const std::int32_t count = counts.critical[s * width + j];
        if (count == 0) {
          continue;
        }
        text += "critical,";
        append_integer(text, s + 1);
        text += ',';
        append_integer(text, j + 1);
        text += ",,";
        append_integer(text, count);
        text += ",,,,\n";
      }
      hand_over_if_large(output);
    }
  }
}

// An S x S table as JSON rows, `cell(text, s, j)` writing each value.
template <typename Cell>
void json_matrix(Output& output, std::size_t n, Cell cell) {
  output.text += '[';
  for (std::size_t s = 0; s < n; ++s) {
    output.text += s > 0 ? ",\n    " : "\n    ";
    json_array(output, n, [&](std::string& text, std::size_t j) { cell(text, s, j); });
    hand_over_if_large(output);
  }
  output.text += n == 0 ? "]" : "\n  ]";
}

void write_estimate_json(Output& output, const EstimateReport& report) {
  std::string& text = output.text;
  const SpectraCounts& counts = report.counts;
  const std::size_t n = report.spectrum.size();
  text += "{\n";
  json_run_fields(text, key::kEstimateCommand, report.run);
  json_number_field(text, key::kBandHalfWidth, report.band_half_width);
  append_key(text, "  ", key::kSpectrum);
  json_numbers(output, report.spectrum);
  append_key(output.text, ",\n  ", key::kConnected);
  json_array(output, n,
             [&](std::string& item, std::size_t j) { append_integer(item, counts.connected[j]); });
  append_key(output.text, ",\n  ", key::kWilsonLow);
  json_array(output, n, [&](std::string& item, std::size_t j) {
    append_json_number(item, report.wilson[j].low);
  });
  append_key(output.text, ",\n  ", key::kWilsonHigh);
  json_array(output, n, [&](std::string& item, std::size_t j) {
    append_json_number(item, report.wilson[j].high);
  });
  append_key(output.text, ",\n  ", key::kBandLow);
  json_array(output, n, [&](std::string& item, std::size_t j) {
    append_json_number(item, band_around(report.spectrum[j], report.band_half_width).low);
  });
  append_key(output.text, ",\n  ", key::kBandHigh);
  json_array(output, n, [&](std::string& item, std::size_t j) {
    append_json_number(item, band_around(report.spectrum[j], report.band_half_width).high);
  });
  append_key(output.text, ",\n  ", key::kBimSpectra);
  json_matrix(output, n, [&](std::string& item, std::size_t s, std::size_t j) {
    append_json_number(item, bim_value(counts, s, j));
  });
  append_key(output.text, ",\n  ", key::kConnectedWith);
  json_matrix(output, n, [&](std::string& item, std::size_t s, std::size_t j) {
    append_integer(item, counts.connected_with[s * n + j]);
  });
  if (!counts.critical.empty()) {
    append_key(output.text, ",\n  ", key::kCritical);
    json_matrix(output, n, [&](std::string& item, std::size_t s, std::size_t j) {
      append_integer(item, counts.critical[s * n + j]);
    });
  }
  if (!report.pairwise.empty()) {
    append_key(output.text, ",\n  ", key::kPairwise);
    json_numbers(output, report.pairwise);
    append_key(output.text, ",\n  ", key::kPairwiseLow);
    json_array(output, n, [&](std::string& item, std::size_t j) {
      append_json_number(item, report.pairwise_wilson[j].low);
    });
    append_key(output.text, ",\n  ", key::kPairwiseHigh);
    json_array(output, n, [&](std::string& item, std::size_t j) {
      append_json_number(item, report.pairwise_wilson[j].high);
    });
    append_key(output.text, ",\n  ", key::kPairwiseNoneUp);
    append_json_number(output.text, report.pairwise_none_up);
    append_key(output.text, ",\n  ", key::kTerminalPairs);
    append_integer(output.text, counts.terminal_pairs);
    // Whole numbers beyond 2^64 are still JSON numbers; Python reads them exactly.
    append_key(output.text, ",\n  ", key::kConnectedPairs);
    json_array(output, n, [&](std::string& item, std::size_t j) {
      item += wide_count_text(counts.connected_pairs[j]);
    });
  }
  output.text += "\n}\n";
}

void write_exact_text(Output& output, const ExactReport& report) {
  std::string& text = output.text;
  const ExactSpectra& exact = report.exact;
  text_run_lines(text, report.run);
  // Counts outgrow 12 columns from about 40 SRLGs on: the columns widen to the longest.
  std::size_t width = 12;
  for (const ExactCount& count : exact.subsets) {
    width = std::max(width, count.str().size());
  }
  text += "\nSpectrum: share of the k-subsets of SRLGs whose coming up connects the network\n";
  append_headings(text, {{"k", 6}, {"value", 8}, {"connected", width}, {"subsets", width}});
  for (std::size_t j = 0; j < exact.spectrum.size(); ++j) {
    append_padded_integer(text, j + 1, 6);
    text += "  ";
    append_fixed6(text, exact.spectrum[j]);
    text += "  ";
    append_padded(text, exact.connected_subsets[j].str(), width);
    text += "  ";
    append_padded(text, exact.subsets[j].str(), width);
    text += '\n';
    hand_over_if_large(output);
  }
  text += "\nBIM spectra: share of the k-subsets that connect the network and hold SRLG s\n";
  text_bim_rows(output, exact.bim_spectra.size(),
                [&](std::size_t s, std::size_t j) { return exact.bim_spectra[s][j]; });
  if (!exact.pairwise) {
    return;
  }
  text += "\nPairwise: share of the ";
  text += pairs_named(report.run);
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
  csv_run_lines(text, key::kExactCommand, report.run);
  text += "series,srlg,k,value,connected,subsets\n";
  for (std::size_t j = 0; j < exact.spectrum.size(); ++j) {
    text += "spectrum,,";
    append_integer(text, j + 1);
    text += ',';
    append_full(text, exact.spectrum[j]);
    text += ',';
    append_count(text, exact.connected_subsets[j]);
    text += ',';
    append_count(text, exact.subsets[j]);
    text += '\n';
  }
  // A pairwise row holds the connected pairs over the k-subsets and all their pairs.
  for (std::size_t j = 0; j < exact.pairwise_shares.size(); ++j) {
    text += "pairwise,,";
    append_integer(text, j + 1);
    text += ',';
    append_full(text, exact.pairwise_shares[j]);
    text += ',';
    text += wide_count_text(exact.connected_pairs[j]);
    text += ',';
    append_count(text, exact.subsets[j] * exact.terminal_pairs);
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
      append_count(text, exact.connected_subsets_with[s][j]);
      text += ',';
      append_count(text, exact.subsets[j]);
      text += '\n';
    }
    hand_over_if_large(output);
  }
}

void write_exact_json(Output& output, const ExactReport& report) {
  std::string& text = output.text;
  const ExactSpectra& exact = report.exact;
  const std::size_t n = exact.bim_spectra.size();
  text += "{\n";
  json_run_fields(text, key::kExactCommand, report.run);
  json_exact_fields(text, report.run);
  append_key(text, "  ", key::kSpectrum);
  json_numbers(output, exact.spectrum);
  append_key(output.text, ",\n  ", key::kConnected);
  json_counts(output, exact.connected_subsets);
  append_key(output.text, ",\n  ", key::kSubsets);
  json_counts(output, exact.subsets);
  append_key(output.text, ",\n  ", key::kBimSpectra);
  json_matrix(output, n, [&](std::string& item, std::size_t s, std::size_t j) {
    append_json_number(item, exact.bim_spectra[s][j]);
  });
  append_key(output.text, ",\n  ", key::kConnectedWith);
  json_rows<std::vector<ExactCount>>(output, exact.connected_subsets_with, json_counts);
  if (exact.pairwise) {
    append_key(output.text, ",\n  ", key::kPairwise);
    json_numbers(output, exact.pairwise_shares);
    append_key(output.text, ",\n  ", key::kPairwiseNoneUp);
    append_json_number(output.text, exact.pairwise_none_up);
    append_key(output.text, ",\n  ", key::kTerminalPairs);
    append_integer(output.text, exact.terminal_pairs);
    append_key(output.text, ",\n  ", key::kConnectedPairs);
    json_array(output, exact.connected_pairs.size(), [&](std::string& item, std::size_t j) {
      item += wide_count_text(exact.connected_pairs[j]);
    });
  }
  output.text += "\n}\n";
}

void append_general6(std::string& text, double value) {
  append_general(text, value, 6);
}

void append_ranking_text(Output& output, const ReliabilityReport& report);

void write_reliability_text(Output& output, const ReliabilityReport& report) {
  std::string& text = output.text;
  text += "Reliability from ";
  text += !report.srlg_probabilities.empty() ? "the decision diagram, each SRLG up with its own "
                                               "probability\n"
          : report.run.method == "exact"     ? "the exact spectra\n"
          : report.run.method == "xml"       ? "the spectra of an XML result file\n"
                                             : "estimated spectra\n";
  text_run_lines(text, report.run);
  if (!report.connected.empty()) {
    text += "Connected samples by k: ";
    for (std::size_t j = 0; j < report.connected.size(); ++j) {
      text += j > 0 ? "," : "";
      append_integer(text, report.connected[j]);
    }
    text += '\n';
  }
  if (report.relative_error > 0.0) {
    text += "Sampling until the 95% half-width of 1 - R(p) is at most ";
    append_general6(text, report.relative_error);
    text += " of it: stopped at N = ";
    append_integer(text, report.run.sample_size);
    text += ", ";
    text += report.stop_reason;
    text += '\n';
  }
  if (report.exact_tail_depth >= 0) {
    text += "1 - R(p) counts the failures of up to ";
    append_integer(text, report.exact_tail_depth);
    text += " SRLGs exactly (";
    append_integer(text, report.exact_tail_sets_checked);
    text += " sets checked); only larger failures come from the samples\n";
  }
  if (!report.srlg_probabilities.empty()) {
    text +=
        "\nR: probability that the network is connected when each SRLG is up\n"
        "independently with its own probability, from ";
    text += printable(report.srlg_probabilities);
    text += "\n  R = ";
    append_fixed(text, report.rank_at.reliability, 9);
    text += "\n  1 - R = ";
    append_general6(text, report.rank_at.unreliability);
    text += "\n\nSRLGs by Birnbaum importance at these probabilities\n";
    append_ranking_text(output, report);
    return;
  }
  text +=
      "\nR(p): probability that the network is connected when every SRLG is up\n"
      "independently with probability p";
  text += report.has_intervals ? ", with its 95% interval\n" : "\n";
  const bool pairwise = !report.pairwise.empty();
  if (pairwise) {
    text += "pairwise: the expected share of ";
    text += pairs_named(report.run);
    text += " connected there\n";
  }
  if (report.has_intervals && pairwise) {
    append_headings(
        text, {{"p", 10}, {"R(p)", 10}, {"95% interval", 24}, {"1 - R(p)", 12}, {"pairwise", 10}});
  } else if (report.has_intervals) {
    append_headings(text, {{"p", 10}, {"R(p)", 10}, {"95% interval", 24}, {"1 - R(p)", 12}});
  } else if (pairwise) {
    append_headings(text, {{"p", 10}, {"R(p)", 10}, {"1 - R(p)", 12}, {"pairwise", 10}});
  } else {
    append_headings(text, {{"p", 10}, {"R(p)", 10}, {"1 - R(p)", 12}});
  }
  for (std::size_t i = 0; i < report.curve.size(); ++i) {
    const ReliabilityPoint& point = report.curve[i];
    append_padded_fixed6(text, point.p, 10);
    text += "  ";
    append_padded_fixed6(text, point.reliability, 10);
    if (report.has_intervals) {
      text += "  ";
      const std::size_t start = text.size();
      append_interval(text, point.interval);
      pad_from(text, start, 24);
    }
    text += "  ";
    const std::size_t start = text.size();
    append_general6(text, point.unreliability);
    pad_from(text, start, 12);
    if (pairwise) {
      text += "  ";
      append_padded_fixed6(text, report.pairwise[i], 10);
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
  append_ranking_text(output, report);
}

// The ranking's table, with intervals and whether each rank holds when they are known.
// "6 SRLGs tie at 0.190269 (ranks 1 to 6)" for each group of ties among the ranks shown; a
// group at the last rank shown may go on below it.
void append_tie_groups(std::string& text, const std::vector<SrlgImportance>& ranking) {
  for (std::size_t first = 0; first < ranking.size();) {
    std::size_t end = first + 1;
    while (end < ranking.size() && ranking[first].tie_group > 0 &&
           ranking[end].tie_group == ranking[first].tie_group) {
      ++end;
    }
    if (ranking[first].tie_group > 0) {
      const bool last_shown = end == ranking.size();
      append_integer(text, end - first);
      text += last_shown ? " SRLGs shown tie at " : " SRLGs tie at ";
      append_general6(text, ranking[first].importance);
      text += " (ranks ";
      append_integer(text, first + 1);
      text += " to ";
      append_integer(text, end);
      text += last_shown ? "; the tie may go on below)\n" : ")\n";
    }
    first = end;
  }
}

void append_ranking_text(Output& output, const ReliabilityReport& report) {
  std::string& text = output.text;
  if (!report.has_intervals) {
    text += "(values of six decimals without counts: no intervals, no rank is known to hold)\n";
    append_headings(
        text, {{"rank", 6}, {"srlg", 6}, {"importance", 10}, {"R(p|up)", 10}, {"R(p|down)", 10}});
  } else {
    text +=
        "\"resolved\": the 95% intervals keep this SRLG apart from every other, so its rank "
        "holds\n";
    append_headings(text, {{"rank", 6},
                           {"srlg", 6},
                           {"importance", 10},
                           {"95% interval", 20},
                           {"R(p|up)", 10},
                           {"R(p|down)", 10},
                           {"resolved", 8}});
  }
  for (std::size_t i = 0; i < report.ranking.size(); ++i) {
    const SrlgImportance& entry = report.ranking[i];
    append_padded_integer(text, i + 1, 6);
    text += "  ";
    append_padded_integer(text, entry.srlg, 6);
    text += "  ";
    append_padded_fixed6(text, entry.importance, 10);
    if (report.has_intervals) {
      text += "  ";
      append_interval(text, entry.interval);
    }
    for (const double value : {entry.reliability_up, entry.reliability_down}) {
      text += "  ";
      append_padded_fixed6(text, value, 10);
    }
    if (report.has_intervals) {
      text += "  ";
      append_padded(text, yes_no(entry.resolved), 8);
    }
    text += '\n';
    hand_over_if_large(output);
  }
  append_tie_groups(text, report.ranking);
}

// A p, or nothing when each SRLG has its own (NaN).
void append_p(std::string& text, double p) {
  if (!std::isnan(p)) {
    append_full(text, p);
  }
}

void append_csv_interval(std::string& text, const Interval& interval, bool known) {
  text += ',';
  if (known) {
    append_full(text, interval.low);
  }
  text += ',';
  if (known) {
    append_full(text, interval.high);
  }
}

void write_reliability_csv(Output& output, const ReliabilityReport& report) {
  std::string& text = output.text;
  csv_run_lines(text, key::kReliabilityCommand, report.run);
  if (!report.srlg_probabilities.empty()) {
    text += "# srlg_probabilities: ";
    text += printable(report.srlg_probabilities);
    text += '\n';
  }
  if (report.relative_error > 0.0) {
    text += "# rel_error: ";
    append_full(text, report.relative_error);
    text += "\n# stop_reason: ";
    text += report.stop_reason;
    text += '\n';
  }
  if (report.exact_tail_depth >= 0) {
    text += "# exact_tail_depth: ";
    append_integer(text, report.exact_tail_depth);
    text += '\n';
  }
  if (!report.connected.empty()) {
    text += "# connected: ";
    for (std::size_t j = 0; j < report.connected.size(); ++j) {
      text += j > 0 ? " " : "";
      append_integer(text, report.connected[j]);
    }
    text += '\n';
  }
  text +=
      "series,p,rank,srlg,value,low,high,unreliability,reliability_up,reliability_down,resolved,"
      "tie_group\n";
  for (const ReliabilityPoint& point : report.curve) {
    text += "reliability,";
    append_p(text, point.p);
    text += ",,,";
    append_full(text, point.reliability);
    append_csv_interval(text, point.interval, report.has_intervals);
    text += ',';
    append_full(text, point.unreliability);
    text += ",,,,\n";
    hand_over_if_large(output);
  }
  for (std::size_t i = 0; i < report.pairwise.size(); ++i) {
    text += "pairwise,";
    append_full(text, report.curve[i].p);
    text += ",,,";
    append_full(text, report.pairwise[i]);
    text += ",,,,,,,\n";
    hand_over_if_large(output);
  }
  if (!report.ranked) {
    return;
  }
  for (std::size_t i = 0; i < report.ranking.size(); ++i) {
    const SrlgImportance& entry = report.ranking[i];
    text += "importance,";
    append_p(text, report.rank_at.p);
    text += ',';
    append_integer(text, i + 1);
    text += ',';
    append_integer(text, entry.srlg);
    text += ',';
    append_full(text, entry.importance);
    append_csv_interval(text, entry.interval, report.has_intervals);
    text += ',';
    for (const double value : {entry.reliability_up, entry.reliability_down}) {
      text += ',';
      append_full(text, value);
    }
    text += ',';
    if (report.has_intervals) {
      text += json_bool(entry.resolved);
    }
    text += ',';
    if (entry.tie_group > 0) {
      append_integer(text, entry.tie_group);
    }
    text += '\n';
    hand_over_if_large(output);
  }
}

void append_json_interval(std::string& text, std::string_view low_key, std::string_view high_key,
                          const Interval& interval, bool known) {
  text += ", \"";
  text += low_key;
  text += "\": ";
  if (known) {
    append_json_number(text, interval.low);
  } else {
    text += "null";
  }
  text += ", \"";
  text += high_key;
  text += "\": ";
  if (known) {
    append_json_number(text, interval.high);
  } else {
    text += "null";
  }
}

void write_point_json(std::string& text, const ReliabilityPoint& point, bool known) {
  append_key(text, "{", key::kP);
  append_json_number(text, point.p);
  append_key(text, ", ", key::kR);
  append_json_number(text, point.reliability);
  append_json_interval(text, key::kRLow, key::kRHigh, point.interval, known);
  append_key(text, ", ", key::kUnreliability);
  append_json_number(text, point.unreliability);
  text += '}';
}

void write_reliability_json(Output& output, const ReliabilityReport& report) {
  std::string& text = output.text;
  text += "{\n";
  json_run_fields(text, key::kReliabilityCommand, report.run);
  json_exact_fields(text, report.run);
  json_text_field(
      text, key::kSrlgProbabilities,
      report.srlg_probabilities.empty() ? "null" : json_string(report.srlg_probabilities));
  if (report.relative_error > 0.0) {
    json_number_field(text, key::kRelError, report.relative_error);
    json_text_field(text, key::kStopReason, json_string(report.stop_reason));
  } else {
    json_text_field(text, key::kRelError, "null");
    json_text_field(text, key::kStopReason, "null");
  }
  if (report.exact_tail_depth >= 0) {
    json_integer_field(text, key::kExactTailDepth, report.exact_tail_depth);
  } else {
    json_text_field(text, key::kExactTailDepth, "null");
  }
  append_key(text, "  ", key::kConnected);
  if (report.connected.empty()) {
    text += "null";
  } else {
    json_array(output, report.connected.size(), [&](std::string& item, std::size_t j) {
      append_integer(item, report.connected[j]);
    });
  }
  append_key(output.text, ",\n  ", key::kReliability);
  output.text += '[';
  for (std::size_t i = 0; i < report.curve.size(); ++i) {
    output.text += i > 0 ? ",\n    " : "\n    ";
    write_point_json(output.text, report.curve[i], report.has_intervals);
    hand_over_if_large(output);
  }
  output.text += report.curve.empty() ? "]" : "\n  ]";
  if (!report.pairwise.empty()) {
    append_key(output.text, ",\n  ", key::kPairwise);
    output.text += '[';
    for (std::size_t i = 0; i < report.pairwise.size(); ++i) {
      output.text += i > 0 ? ",\n    " : "\n    ";
      append_key(output.text, "{", key::kP);
      append_json_number(output.text, report.curve[i].p);
      append_key(output.text, ", ", key::kShare);
      append_json_number(output.text, report.pairwise[i]);
      output.text += '}';
      hand_over_if_large(output);
    }
    output.text += "\n  ]";
  }
  if (report.ranked) {
    append_key(output.text, ",\n  ", key::kImportance);
    write_point_json(output.text, report.rank_at, report.has_intervals);
    output.text.pop_back();
    append_key(output.text, ", ", key::kRanking);
    json_array(output, report.ranking.size(), [&](std::string& item, std::size_t i) {
      const SrlgImportance& entry = report.ranking[i];
      append_key(item, "{", key::kRank);
      append_integer(item, i + 1);
      append_key(item, ", ", key::kSrlg);
      append_integer(item, entry.srlg);
      append_key(item, ", ", key::kImportance);
      append_json_number(item, entry.importance);
      append_json_interval(item, key::kImportanceLow, key::kImportanceHigh, entry.interval,
                           report.has_intervals);
      append_key(item, ", ", key::kResolved);
      item += report.has_intervals ? json_bool(entry.resolved) : "null";
      append_key(item, ", ", key::kTieGroup);
      if (entry.tie_group > 0) {
        append_integer(item, entry.tie_group);
      } else {
        item += "null";
      }
      append_key(item, ", ", key::kRUp);
      append_json_number(item, entry.reliability_up);
      append_key(item, ", ", key::kRDown);
      append_json_number(item, entry.reliability_down);
      item += '}';
    });
    output.text += '}';
  }
  output.text += "\n}\n";
}

void write_cuts_text(Output& output, const CutsReport& report) {
  std::string& text = output.text;
  const MinimalCutSets& cuts = report.cuts;
  text_run_lines(text, report.run);
  text += "\nMinimal cut sets: sets of at most ";
  append_integer(text, cuts.max_size);
  text += report.run.terminals.empty() ? " SRLGs whose failure disconnects the network"
                                       : " SRLGs whose failure separates the terminals";
  text += ", no part of which does (";
  append_integer(text, cuts.sets_checked);
  text += " sets checked)\n";
  append_headings(text, {{"size", 6}, {"sets", 10}});
  for (std::size_t size = 1; size < cuts.count_by_size.size(); ++size) {
    append_padded_integer(text, size, 6);
    text += "  ";
    append_padded_integer(text, cuts.count_by_size[size], 10);
    text += '\n';
  }
  if (cuts.sets.empty()) {
    return;
  }
  if (report.run.terminals.empty()) {
    text += "\nEach set, with the vertices it cuts off from the rest (the largest piece left)\n";
    text += "  size  srlgs  |  vertices cut off\n";
  } else {
    text += "\nEach set, with the terminals it cuts off from the piece that holds most of them\n";
    text += "  size  srlgs  |  terminals cut off\n";
  }
  for (const MinimalCutSet& set : cuts.sets) {
    append_padded_integer(text, set.srlgs.size(), 6);
    text += "  ";
    append_ids(text, set.srlgs, " ");
    text += "  |  ";
    append_ids(text, set.cut_off, " ");
    text += '\n';
    hand_over_if_large(output);
  }
}

void write_cuts_csv(Output& output, const CutsReport& report) {
  std::string& text = output.text;
  const MinimalCutSets& cuts = report.cuts;
  csv_run_lines(text, key::kCutsCommand, report.run);
  text += "# max_size: ";
  append_integer(text, cuts.max_size);
  text += "\n# sets_checked: ";
  append_integer(text, cuts.sets_checked);
  text += "\n# count_by_size: ";
  std::vector<std::int32_t> counts;
  for (std::size_t size = 1; size < cuts.count_by_size.size(); ++size) {
    text += size > 1 ? " " : "";
    append_integer(text, cuts.count_by_size[size]);
  }
  text += "\nsize,srlgs,cut_off\n";
  for (const MinimalCutSet& set : cuts.sets) {
    append_integer(text, set.srlgs.size());
    text += ',';
    append_ids(text, set.srlgs, " ");
    text += ',';
    append_ids(text, set.cut_off, " ");
    text += '\n';
    hand_over_if_large(output);
  }
}

void write_cuts_json(Output& output, const CutsReport& report) {
  std::string& text = output.text;
  const MinimalCutSets& cuts = report.cuts;
  text += "{\n";
  json_run_fields(text, key::kCutsCommand, report.run);
  json_integer_field(text, key::kMaxSize, cuts.max_size);
  json_integer_field(text, key::kSetsChecked, cuts.sets_checked);
  append_key(text, "  ", key::kCountBySize);
  json_counts(output, cuts.count_by_size);
  append_key(output.text, ",\n  ", key::kCutSets);
  output.text += '[';
  for (std::size_t i = 0; i < cuts.sets.size(); ++i) {
    append_key(output.text, i > 0 ? ",\n    {" : "\n    {", key::kSrlgs);
    output.text += '[';
    append_ids(output.text, cuts.sets[i].srlgs, ", ");
    append_key(output.text, "], ", key::kCutOff);
    output.text += '[';
    append_ids(output.text, cuts.sets[i].cut_off, ", ");
    output.text += "]}";
    hand_over_if_large(output);
  }
  output.text += cuts.sets.empty() ? "]\n}\n" : "\n  ]\n}\n";
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
  const SpectraCounts& counts = report.counts;
  report.spectrum.clear();
  report.wilson.clear();
  for (const std::int64_t connected : counts.connected) {
    report.spectrum.push_back(proportion_of(connected, counts.sample_size));
    report.wilson.push_back(clopper_pearson_interval(connected, counts.sample_size));
  }
  report.band_half_width = dkw_half_width(counts.sample_size);
  pairwise_of(counts, report.pairwise);
  report.pairwise_wilson.clear();
  for (const double share : report.pairwise) {
    report.pairwise_wilson.push_back(share_interval(share, counts.sample_size));
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

void write_cuts_report(std::ostream& out, const CutsReport& report, OutputFormat format) {
  Output output{out, {}};
  switch (format) {
    case OutputFormat::kText:
      write_cuts_text(output, report);
      break;
    case OutputFormat::kCsv:
      write_cuts_csv(output, report);
      break;
    case OutputFormat::kJson:
      write_cuts_json(output, report);
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
