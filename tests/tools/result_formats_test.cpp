#include "tools/result_formats.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace varnak {
namespace {

TEST(JsonText, EscapesWhatJsonRequires) {
  struct Case {
    std::string text;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"ring4.txt", "\"ring4.txt\""},
      {"a \"b\" c", "\"a \\\"b\\\" c\""},
      {"C:\\nets\\x.txt", "\"C:\\\\nets\\\\x.txt\""},
      {"tab\there\nnew", "\"tab\\there\\nnew\""},
      {std::string("bell\x07", 5), "\"bell\\u0007\""},
      {"caf\xC3\xA9", "\"caf\xC3\xA9\""},
      // Valid UTF-8 stays as it is, C1 controls and four-byte characters included.
      {"\xC2\x9B\xF0\x9F\x98\x80", "\"\xC2\x9B\xF0\x9F\x98\x80\""},
      // A byte that is not UTF-8 becomes the text \xNN, its backslash escaped for JSON.
      {"bad\xFF_name.txt", "\"bad\\\\xff_name.txt\""},
      {"latin-1 caf\xE9", "\"latin-1 caf\\\\xe9\""},
      {"cut short \xC3\xA9\xC3", "\"cut short \xC3\xA9\\\\xc3\""},
      {"surrogate \xED\xA0\x80", "\"surrogate \\\\xed\\\\xa0\\\\x80\""},
      {"overlong \xC0\xAF", "\"overlong \\\\xc0\\\\xaf\""},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.text);
    EXPECT_EQ(json_string(test_case.text), test_case.expected);
  }
}

// File names reach the terminal in the text reports: control bytes and bytes that are not
// UTF-8 show as \xNN there.
TEST(TextReports, ShowTheFileNameWithControlBytesEscaped) {
  const std::string name = "run\x1b[2J\xC2\x9B[1m\xFF.txt";
  const std::string shown = "run\\x1b[2J\\xc2\\x9b[1m\\xff.txt";
  EstimateReport estimate;
  estimate.instance_name = name;
  estimate.sample_size = 10;
  estimate.spectrum = {1.0};
  const BimSpectraMatrix estimate_bim = {{1.0}};
  estimate.bim_rows = rows_of(estimate_bim);
  add_confidence(estimate);
  ExactReport exact;
  exact.instance_name = name;
  exact.exact.srlg_count = 1;
  exact.exact.connected_subsets = {1};
  exact.exact.connected_subsets_with = {{1}};
  exact.exact.subsets = {1};
  exact.exact.spectrum = {1.0};
  exact.exact.bim_spectra = {{1.0}};
  ReliabilityReport reliability;
  reliability.source_name = name;
  reliability.source_kind = "xml";
  reliability.curve = {{0.5, 0.5}};
  std::ostringstream from_estimate;
  std::ostringstream from_exact;
  std::ostringstream from_reliability;
  write_estimate_report(from_estimate, estimate, OutputFormat::kText);
  write_exact_report(from_exact, exact, OutputFormat::kText);
  write_reliability_report(from_reliability, reliability, OutputFormat::kText);
  for (const std::string& text : {from_estimate.str(), from_exact.str(), from_reliability.str()}) {
    SCOPED_TRACE(text);
    EXPECT_NE(text.find(shown), std::string::npos);
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
    EXPECT_EQ(text.find('\xFF'), std::string::npos);
  }
}

TEST(JsonNumber, GivesBackTheSameDouble) {
  for (const double value : {0.0, 1.0, 0.1, 1.0 / 3.0, 0.9999999999999999, 1e-300, 123456789.5}) {
    SCOPED_TRACE(value);
    EXPECT_EQ(std::strtod(json_number(value).c_str(), nullptr), value);
  }
  EXPECT_EQ(json_number(std::numeric_limits<double>::quiet_NaN()), "null");
  EXPECT_EQ(json_number(std::numeric_limits<double>::infinity()), "null");
}

TEST(OutputFormat, KnowsItsThreeNames) {
  struct Case {
    std::string name;
    bool known;
    OutputFormat format;
  };
  const std::vector<Case> cases = {{"text", true, OutputFormat::kText},
                                   {"csv", true, OutputFormat::kCsv},
                                   {"json", true, OutputFormat::kJson},
                                   {"JSON", false, OutputFormat::kText},
                                   {"", false, OutputFormat::kText}};
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    OutputFormat format = OutputFormat::kText;
    EXPECT_EQ(parse_output_format(test_case.name, format), test_case.known);
    EXPECT_EQ(format, test_case.format);
  }
}

TEST(EstimateReport, CsvHoldsEveryValueAndItsInterval) {
  EstimateReport report;
  report.instance_name = "ring4.txt";
  report.sample_size = 10;
  report.seed = 1;
  report.spectrum = {0.0, 0.7999999999999999, 0.9999999999999999};
  const BimSpectraMatrix bim_spectra = {{0, 0.6, 1}, {0, 0.8, 1}, {0, 0.2, 1}};
  report.bim_rows = rows_of(bim_spectra);
  add_confidence(report);
  std::ostringstream csv;
  write_estimate_report(csv, report, OutputFormat::kCsv);
  std::istringstream lines(csv.str());
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "series,srlg,k,value,wilson_low,wilson_high,band_low,band_high");
  std::vector<std::string> rows;
  while (std::getline(lines, line)) {
    rows.push_back(line);
  }
  ASSERT_EQ(rows.size(), 3u + 9u);
  EXPECT_EQ(rows[1].substr(0, 31), "spectrum,,2,0.79999999999999993");
  EXPECT_EQ(rows[3 + 1], "bim,1,2,0.59999999999999998,,,,");
}

}  // namespace
}  // namespace varnak
