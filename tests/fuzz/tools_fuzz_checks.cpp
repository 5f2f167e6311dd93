// The checks of the fuzz targets for the XML result reader and for varnak-tools' commands.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string_view>
#include <vector>

#include "analysis/exact_count.hpp"
#include "analysis/reliability.hpp"
#include "output/estimate_results.hpp"
#include "output/exact_results.hpp"
#include "output/result_formats.hpp"
#include "output/spectra_report.hpp"
#include "output/xml_report.hpp"
#include "output/xml_results.hpp"
#include "tests/fuzz/fuzz_checks.hpp"
#include "tools/commands.hpp"

namespace varnak::fuzz {
namespace {

namespace fs = std::filesystem;
using Text = std::string_view;

constexpr Text kXmlName = "fuzz.xml";
// Beyond this a number on a command line asks for more samples, threads, grid points or
// ranks than one fuzzing input should spend (the fixtures have three SRLGs).
constexpr std::uint64_t kLargestCommandNumber = 64;
constexpr std::size_t kMostWords = 64;
// The probabilities at which an accepted file's reliability and importances are checked.
constexpr double kProbabilities[] = {0.0, 1e-9, 0.25, 0.5, 0.9, 1.0 - 1e-9, 1.0};

// The four-vertex ring, 1-2-3-4-1, SRLG 1 = {e1}, SRLG 2 = {e2, e3}, SRLG 3 = {e3}, e4 free,
// and the XML file of ten of its samples.
constexpr Text kRing =
    "VNUM:4\nENUM:4\nSRLGNUM:3\nE:1:1,2\nE:2:2,3\nE:3:3,4\nE:4:1,4\nSRLG:1:1,\nSRLG:2:2,3\n"
    "SRLG:3:3,\n";
constexpr Text kRingXml =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<VARNAK version=\"1.0\"><SRLGNUM>3</SRLGNUM>"
    "<time_seconds>0.001</time_seconds><spectras><spectra>0.000000,0.800000,1.000000</spectra>"
    "<bimspectra id=\"1\">0.000000,0.600000,1.000000</bimspectra>"
    "<bimspectra id=\"2\">0.000000,0.800000,1.000000</bimspectra>"
    "<bimspectra id=\"3\">0.000000,0.200000,1.000000</bimspectra></spectras></VARNAK>\n";

struct Fixture {
  std::string name;
  std::string content;
};

// The ring's results as `estimate` reports them in JSON and CSV, for `reliability
// --results`: made once, by the command itself.
std::string ring_estimate_report(const char* format) {
  std::ostringstream out;
  std::ostringstream err;
  const char* const argv[] = {"varnak-tools", "estimate", "--graph",  "ring.txt",
                              "--N",          "10",       "--seed",   "1",
                              "--threads",    "1",        "--format", format};
  run_tools(static_cast<int>(std::size(argv)), argv, {out, err});
  return out.str();
}

// The lines a refusal may name: one per line feed, and one more for where the input ends,
// as the readers count them (a fault found at the end of a file that ends with a line feed
// lies on the line after it).
std::uint64_t count_lines(Text text) {
  return static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n')) + 1;
}

std::string shown_bytes(Text text) {
  std::string shown;
  for (const char c : text.substr(0, 300)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7f) {
      static const char kHex[] = "0123456789abcdef";
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 15];
    } else {
      shown += c;
    }
  }
  return '"' + shown + (text.size() > 300 ? "...\"" : "\"");
}

// A refusal of a reader: one line, "<name> line N: reason", N a line of the input, or
// "<name>: reason" where `whole_file` faults (a sum over many lines) may name none.
std::string check_refusal_line(Text failure, Text name, std::uint64_t line_count,
                               bool whole_file = false) {
  if (failure.empty() || failure.find('\n') != Text::npos) {
    return "a refusal must be one line; got " + shown_bytes(failure);
  }
  const std::string whole_file_head = std::string(name) + ": ";
  if (whole_file && failure.substr(0, whole_file_head.size()) == whole_file_head) {
    return failure.size() > whole_file_head.size() ? "" : "a refusal without a reason";
  }
  const std::string head = std::string(name) + " line ";
  if (failure.substr(0, head.size()) != head) {
    return "a refusal must name the file and a line; got " + shown_bytes(failure);
  }
  const std::size_t digits_end = failure.find(": ", head.size());
  if (digits_end == Text::npos || digits_end == head.size() || digits_end - head.size() > 19 ||
      digits_end + 2 == failure.size()) {
    return "a refusal without a line number or a reason: " + shown_bytes(failure);
  }
  std::uint64_t line = 0;
  for (std::size_t i = head.size(); i < digits_end; ++i) {
    if (failure[i] < '0' || failure[i] > '9') {
      return "a refusal with a malformed line number: " + shown_bytes(failure);
    }
    line = line * 10 + static_cast<std::uint64_t>(failure[i] - '0');
  }
  if (line < 1 || line > line_count) {
    return "a refusal names line " + std::to_string(line) + " of an input of " +
           std::to_string(line_count) + " lines: " + shown_bytes(failure);
  }
  return "";
}

bool is_probability(double value) {
  return std::isfinite(value) && value >= 0.0 && value <= 1.0;
}

std::string describe(const char* what, double value) {
  std::ostringstream text;
  text.precision(17);
  text << what << " = " << value;
  return text.str();
}

// What any accepted file must give: values and everything computed from them in [0, 1].
std::string check_accepted_results(const XmlResults& results) {
  const auto n = static_cast<std::size_t>(results.srlg_count);
  if (results.srlg_count < 1 || results.spectrum.size() != n || results.bim_spectra.size() != n) {
    return "accepted SRLGNUM " + std::to_string(results.srlg_count) + " with " +
           std::to_string(results.spectrum.size()) + " spectrum values and " +
           std::to_string(results.bim_spectra.size()) + " BIM rows";
  }
  for (std::size_t j = 0; j < n; ++j) {
    if (!is_probability(results.spectrum[j])) {
      return describe("accepted spectrum value", results.spectrum[j]);
    }
  }
  for (const auto& row : results.bim_spectra) {
    if (row.size() != n) {
      return "an accepted BIM row of " + std::to_string(row.size()) + " values";
    }
    for (const double value : row) {
      if (!is_probability(value)) {
        return describe("accepted BIM value", value);
      }
    }
  }
  SpectraSummary summary;
  summary.srlg_count = results.srlg_count;
  summary.spectrum = results.spectrum;
  summary.bim_spectra = results.bim_spectra;
  for (const double none_up : {0.0, 1.0}) {
    summary.none_up = none_up;
    for (const double p : kProbabilities) {
      const double r = reliability(summary, p);
      if (!is_probability(r)) {
        return describe("R(p) of an accepted file", r) + describe(" at p", p);
      }
      if (n > 2048) {
        continue;  // the importances cost S^2 per p; the values above are checked all the same
      }
      for (const SrlgImportance& importance : srlg_importances(summary, p)) {
        if (!is_probability(importance.reliability_up) ||
            !is_probability(importance.reliability_down) ||
            !(std::fabs(importance.importance) <= 1.0)) {
          return "SRLG " + std::to_string(importance.srlg) +
                 describe(": importance", importance.importance) +
                 describe(", R(p|up)", importance.reliability_up) +
                 describe(", R(p|down)", importance.reliability_down) + describe(" at p", p);
        }
      }
    }
  }
  return "";
}

// A value as the XML file keeps it: six decimals, so a value read with more digits comes
// back rounded, never otherwise changed.
double as_six_decimals(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", value);
  return std::strtod(text, nullptr);
}

std::string first_difference(const XmlResults& read_back, const XmlResults& first) {
  if (read_back.srlg_count != first.srlg_count) {
    return "SRLGNUM " + std::to_string(first.srlg_count) + " came back as " +
           std::to_string(read_back.srlg_count);
  }
  for (std::size_t j = 0; j < first.spectrum.size(); ++j) {
    if (read_back.spectrum[j] != as_six_decimals(first.spectrum[j])) {
      return describe("spectrum value", first.spectrum[j]) +
             describe(" came back as", read_back.spectrum[j]);
    }
  }
  for (std::size_t row = 0; row < first.bim_spectra.size(); ++row) {
    for (std::size_t j = 0; j < first.bim_spectra[row].size(); ++j) {
      if (read_back.bim_spectra[row][j] != as_six_decimals(first.bim_spectra[row][j])) {
        return "BIM row " + std::to_string(row + 1) +
               describe(" value", first.bim_spectra[row][j]) +
               describe(" came back as", read_back.bim_spectra[row][j]);
      }
    }
  }
  return "";
}

// The scratch folder that varnak-tools runs in while it is fuzzed: it holds the fixtures,
// and every file a command writes lands in it, since inputs that name other folders are
// passed over. It is made, and made the working directory, once per process.
class Scratch {
 public:
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "varnak-fuzz-tools-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
      root_ = pattern;
      std::error_code error;
      fs::current_path(root_, error);
      ready_ = !error;
    }
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  ~Scratch() {
    std::error_code error;
    if (!root_.empty()) {
      fs::remove_all(root_, error);
    }
  }

  // Back to the fixtures alone, as an input may have replaced or added files.
  bool reset() {
    if (!ready_) {
      return false;
    }
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(root_, error)) {
      fs::remove_all(entry.path(), error);
    }
    if (fixtures_.empty()) {
      fixtures_ = {{"ring.txt", std::string(kRing)},
                   {"ring.xml", std::string(kRingXml)},
                   {"ring.p", "id,p\n1,0.9\n2,0.5\n3,0.99\n"}};
      if (!write_fixtures()) {
        return false;
      }
      fixtures_.push_back({"ring.json", ring_estimate_report("json")});
      fixtures_.push_back({"ring.csv", ring_estimate_report("csv")});
    }
    return write_fixtures();
  }

 private:
  bool write_fixtures() const {
    for (const Fixture& fixture : fixtures_) {
      std::ofstream file(root_ / fixture.name, std::ios::binary);
      file.write(fixture.content.data(), static_cast<std::streamsize>(fixture.content.size()));
      if (!file.flush()) {
        return false;
      }
    }
    return true;
  }

 public:
  // The files an input left that are not the fixtures as they were: name and bytes.
  std::vector<std::pair<std::string, std::string>> changed_files() const {
    std::vector<std::pair<std::string, std::string>> changed;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(root_, error)) {
      const std::string name = entry.path().filename().string();
      std::string content;
      if (entry.is_regular_file()) {
        std::ifstream file(entry.path(), std::ios::binary);
        content.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
      }
      const bool unchanged = std::any_of(fixtures_.begin(), fixtures_.end(), [&](auto& f) {
        return name == f.name && content == f.content;
      });
      if (!unchanged) {
        changed.emplace_back(name, content);
      }
    }
    std::sort(changed.begin(), changed.end());
    return changed;
  }

 private:
  fs::path root_;
  bool ready_ = false;
  std::vector<Fixture> fixtures_;
};

// Inputs that would reach outside the scratch folder, or ask for a long run.
bool passed_over(const std::vector<std::string>& words) {
  for (const std::string& word : words) {
    if (word.find('/') != std::string::npos || word.find("..") != std::string::npos) {
      return true;
    }
    // Every run of digits that is not the fraction of a decimal number.
    for (std::size_t at = 0; at < word.size();) {
      if (word[at] < '0' || word[at] > '9') {
        ++at;
        continue;
      }
      const bool fraction = at > 0 && word[at - 1] == '.';
      std::uint64_t value = 0;
      std::size_t digits = 0;
      for (; at < word.size() && word[at] >= '0' && word[at] <= '9'; ++at, ++digits) {
        value = digits < 18 ? value * 10 + static_cast<std::uint64_t>(word[at] - '0') : value;
      }
      if (!fraction && (digits >= 18 || value > kLargestCommandNumber)) {
        return true;
      }
    }
  }
  return false;
}

std::vector<std::string> split_csv_line(Text line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = line.find(',', start);
    fields.emplace_back(line.substr(start, comma == Text::npos ? Text::npos : comma - start));
    if (comma == Text::npos) {
      return fields;
    }
    start = comma + 1;
  }
}

}  // namespace

// Every probability in CSV results lies in [0, 1], an importance in [-1, 1].
std::string check_csv_values(std::string_view csv) {
  static const std::vector<std::string> kProbabilityColumns = {"p",
                                                               "estimate",
                                                               "value",
                                                               "low",
                                                               "high",
                                                               "wilson_low",
                                                               "wilson_high",
                                                               "band_low",
                                                               "band_high",
                                                               "reliability",
                                                               "unreliability",
                                                               "reliability_up",
                                                               "reliability_down"};
  // An importance row's value and its interval are differences of two probabilities.
  static const std::vector<std::string> kDifferenceColumns = {"value", "low", "high"};
  std::vector<std::string> header;
  std::size_t start = 0;
  while (start < csv.size()) {
    const std::size_t end = std::min(csv.find('\n', start), csv.size());
    const Text line = csv.substr(start, end - start);
    start = end + 1;
    if (header.empty() && line.substr(0, 2) == "# ") {
      continue;  // what the run was, "# key: value", before the header
    }
    const std::vector<std::string> fields = split_csv_line(line);
    if (header.empty()) {
      header = fields;
      continue;
    }
    if (fields.size() != header.size()) {
      return "a CSV row of " + std::to_string(fields.size()) + " fields under a header of " +
             std::to_string(header.size());
    }
    const bool importance = fields[0] == "importance";
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (fields[i].empty() || std::find(kProbabilityColumns.begin(), kProbabilityColumns.end(),
                                         header[i]) == kProbabilityColumns.end()) {
        continue;
      }
      char* end_of_number = nullptr;
      const double value = std::strtod(fields[i].c_str(), &end_of_number);
      const bool difference =
          importance && std::find(kDifferenceColumns.begin(), kDifferenceColumns.end(),
                                  header[i]) != kDifferenceColumns.end();
      const bool in_range = difference ? std::fabs(value) <= 1.0 : is_probability(value);
      if (*end_of_number != '\0' || !in_range) {
        return "CSV column " + header[i] + " holds " + shown_bytes(fields[i]);
      }
    }
  }
  return header.empty() ? "CSV results without a header" : "";
}

CheckResult check_xml_results_input(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  XmlResults results;
  std::string failure;
  CheckResult result;
  if (parse_xml_results(text, std::string(kXmlName), results, failure) != 0) {
    result.outcome = Outcome::kRefused;
    result.violation = check_refusal_line(failure, kXmlName, count_lines(text));
    return result;
  }
  result.outcome = Outcome::kAccepted;
  if (!failure.empty()) {
    result.violation = "an accepted file left the message " + shown_bytes(failure);
    return result;
  }
  result.violation = check_accepted_results(results);
  if (!result.violation.empty()) {
    return result;
  }
  // What the file held, written as Varnak writes it, must read back to the same doubles
  // to the file's six decimals.
  const std::string written = render_xml_report(results.spectrum, results.bim_spectra, 0.5);
  XmlResults read_back;
  if (parse_xml_results(written, "written.xml", read_back, failure) != 0) {
    result.violation = "the values of an accepted file, written back, are refused: " + failure;
    return result;
  }
  result.violation = first_difference(read_back, results);
  if (!result.violation.empty()) {
    result.violation = "written back and read again, " + result.violation;
  }
  return result;
}

CheckResult check_estimate_results_input(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  constexpr Text kName = "fuzz.json";
  EstimateResults results;
  std::string failure;
  CheckResult result;
  if (parse_estimate_results(text, std::string(kName), results, failure) != 0) {
    result.outcome = Outcome::kRefused;
    result.violation = check_refusal_line(failure, kName, count_lines(text), true);
    return result;
  }
  result.outcome = Outcome::kAccepted;
  const SpectraCounts& counts = results.counts;
  const auto n = static_cast<std::size_t>(counts.srlg_count);
  if (counts.srlg_count < 1 || counts.sample_size < 1 || counts.connected.size() != n ||
      counts.connected_with.size() != n * n || results.run.srlg_count != counts.srlg_count) {
    result.violation = "accepted counts of SRLGNUM " + std::to_string(counts.srlg_count) + ", N " +
                       std::to_string(counts.sample_size) + " and sizes " +
                       std::to_string(counts.connected.size()) + ", " +
                       std::to_string(counts.connected_with.size());
    return result;
  }
  for (const std::int64_t count : counts.connected) {
    if (count < 0 || count > counts.sample_size) {
      result.violation = "an accepted spectrum count " + std::to_string(count) + " outside 0..N";
      return result;
    }
  }
  // The figures made from the counts are probabilities, and the counts written again in
  // either format read back the same.
  // (reliability takes count / N, not Varnak's sums of 1/N, which may pass 1 by an ulp).
  SpectraSummary summary = summary_of_counts(counts, results.run.free_edges_connect);
  XmlResults as_values;
  as_values.srlg_count = counts.srlg_count;
  as_values.spectrum = std::move(summary.spectrum);
  as_values.bim_spectra = std::move(summary.bim_spectra);
  result.violation = check_accepted_results(as_values);
  if (!counts.connected_pairs.empty()) {
    const WideCount most =
        static_cast<WideCount>(counts.terminal_pairs) * static_cast<WideCount>(counts.sample_size);
    for (const WideCount pairs : counts.connected_pairs) {
      if (pairs > most) {
        result.violation = "accepted connected pairs " + wide_count_text(pairs) + " above N C(T,2)";
        return result;
      }
    }
  }
  EstimateReport report;
  report.run = results.run;
  report.counts = counts;
  report.pairwise_none_up = results.pairwise_none_up;
  add_confidence(report);
  for (const OutputFormat format : {OutputFormat::kJson, OutputFormat::kCsv}) {
    if (!result.violation.empty()) {
      break;
    }
    std::ostringstream written;
    write_estimate_report(written, report, format);
    EstimateResults read_back;
    if (parse_estimate_results(written.str(), "written", read_back, failure) != 0) {
      result.violation = "the counts of an accepted report, written back, are refused: " + failure;
    } else if (read_back.counts.connected != counts.connected ||
               read_back.counts.connected_with != counts.connected_with ||
               read_back.counts.sample_size != counts.sample_size ||
               read_back.counts.connected_pairs != counts.connected_pairs ||
               read_back.counts.terminal_pairs != counts.terminal_pairs ||
               read_back.run.terminals != results.run.terminals ||
               read_back.pairwise_none_up != results.pairwise_none_up) {
      result.violation = std::string("the counts written back as ") +
                         (format == OutputFormat::kJson ? "JSON" : "CSV") + " read differently";
    }
  }
  return result;
}

CheckResult check_exact_results_input(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  constexpr Text kName = "fuzz.json";
  ExactReport report;
  std::string failure;
  CheckResult result;
  const bool refused = parse_exact_results(text, std::string(kName), report, failure) != 0;
  SpectraReport either;
  std::string either_failure;
  const bool either_refused =
      parse_spectra_report(text, std::string(kName), either, either_failure) != 0;
  if (either.exact && (either_refused != refused || either_failure != failure)) {
    return {refused ? Outcome::kRefused : Outcome::kAccepted,
            "the reader of either report decides otherwise: " + shown_bytes(either_failure)};
  }
  if (refused) {
    result.outcome = Outcome::kRefused;
    result.violation = check_refusal_line(failure, kName, count_lines(text), true);
    return result;
  }
  result.outcome = Outcome::kAccepted;
  const ExactSpectra& exact = report.exact;
  const auto n = static_cast<std::size_t>(exact.srlg_count);
  if (exact.srlg_count < 1 || report.run.srlg_count != exact.srlg_count ||
      exact.subsets.size() != n || exact.connected_subsets.size() != n ||
      exact.connected_subsets_with.size() != n) {
    result.violation = "accepted counts of sizes " + std::to_string(exact.subsets.size()) + ", " +
                       std::to_string(exact.connected_subsets.size()) + " for " +
                       std::to_string(exact.srlg_count) + " SRLGs";
    return result;
  }
  for (std::size_t j = 0; j < n; ++j) {
    if (exact.spectrum[j] != ratio(exact.connected_subsets[j], exact.subsets[j])) {
      result.violation =
          describe("an accepted spectrum value other than its counts' quotient", exact.spectrum[j]);
      return result;
    }
  }
  XmlResults as_values;
  as_values.srlg_count = exact.srlg_count;
  as_values.spectrum = exact.spectrum;
  as_values.bim_spectra = exact.bim_spectra;
  result.violation = check_accepted_results(as_values);
  if (!result.violation.empty()) {
    return result;
  }
  std::ostringstream written;
  write_exact_report(written, report, OutputFormat::kJson);
  ExactReport read_back;
  if (parse_exact_results(written.str(), "written", read_back, failure) != 0) {
    result.violation = "an accepted report, written back, is refused: " + failure;
  } else if (read_back.exact.connected_subsets != exact.connected_subsets ||
             read_back.exact.connected_subsets_with != exact.connected_subsets_with ||
             read_back.exact.spectrum != exact.spectrum ||
             read_back.exact.bim_spectra != exact.bim_spectra ||
             read_back.exact.connected_pairs != exact.connected_pairs ||
             read_back.exact.pairwise_shares != exact.pairwise_shares ||
             read_back.run.terminals != report.run.terminals ||
             read_back.run.exact_method != report.run.exact_method) {
    result.violation = "an accepted report, written back, reads differently";
  }
  return result;
}

CheckResult check_tools_input(const char* command, const std::uint8_t* data, std::size_t size) {
  const Text text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> words = {"varnak-tools", command};
  for (std::size_t start = 0; start < text.size() && words.size() <= kMostWords;) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    // As the program would receive it: a NUL byte ends the argument string.
    const std::string word(text.substr(start, end - start));
    words.emplace_back(word.c_str());
    start = end + 1;
  }
  CheckResult result;
  static Scratch scratch;
  if (passed_over(words)) {
    return result;
  }
  if (!scratch.reset()) {
    result.violation = "cannot prepare the scratch folder";
    return result;
  }
  std::vector<const char*> argv;
  for (const std::string& word : words) {
    argv.push_back(word.c_str());
  }
  argv.push_back(nullptr);
  std::ostringstream out;
  std::ostringstream err;
  const int code = run_tools(static_cast<int>(words.size()), argv.data(), {out, err});
  const std::string output = out.str();
  const std::string messages = err.str();
  const std::string prefix = std::string("varnak-tools ") + command + ": ";
  const auto changed = scratch.changed_files();
  result.outcome = code == kExitSuccess ? Outcome::kAccepted : Outcome::kRefused;

  if (code == kExitSuccess) {
    if (!messages.empty()) {
      result.violation = "a run that succeeded printed the message " + shown_bytes(messages);
    } else if (output.empty() || output.back() != '\n') {
      result.violation = "a run that succeeded printed " + shown_bytes(output);
    } else if (output.rfind("series,", 0) == 0 || output.find("\nseries,") != std::string::npos) {
      result.violation = check_csv_values(output);
    }
    // Every file written is a whole result file that reads back.
    for (const auto& [name, content] : changed) {
      XmlResults written;
      std::string failure;
      if (!result.violation.empty()) {
        break;
      }
      if (parse_xml_results(content, name, written, failure) != 0) {
        result.violation =
            "the file " + shown_bytes(name) + " that the run left is refused: " + failure;
      } else {
        result.violation = check_accepted_results(written);
      }
    }
    return result;
  }
  if (code != kExitFailure && code != kExitUsage) {
    result.violation = "exit code " + std::to_string(code);
  } else if (!output.empty() && messages.find("Error writing output file") == std::string::npos) {
    // Only a result file that could not be written comes after results printed in full.
    result.violation = "a refused run printed results: " + shown_bytes(output);
  } else if (messages.rfind(prefix, 0) != 0 || messages.back() != '\n') {
    result.violation = "a refusal must be a message that begins " + shown_bytes(prefix) + "; got " +
                       shown_bytes(messages);
  } else if (code == kExitFailure && messages.find('\n') != messages.size() - 1) {
    result.violation = "a failure must be one line; got " + shown_bytes(messages);
  } else if (!changed.empty()) {
    result.violation = "a refused run left the file " + shown_bytes(changed.front().first);
  }
  return result;
}

}  // namespace varnak::fuzz
