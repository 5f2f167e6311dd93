#include "output/result_formats.hpp"

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
  const SpectraCounts counts{1, 10, {10}, {10}};
  EstimateReport estimate;
  estimate.run.instance_name = name;
  estimate.run.sampled = true;
  estimate.counts = counts;
  add_confidence(estimate);
  ExactReport exact;
  exact.run.instance_name = name;
  exact.exact.srlg_count = 1;
  exact.exact.connected_subsets = {1};
  exact.exact.connected_subsets_with = {{1}};
  exact.exact.subsets = {1};
  exact.exact.spectrum = {1.0};
  exact.exact.bim_spectra = {{1.0}};
  ReliabilityReport reliability;
  reliability.run.instance_name = name;
  reliability.run.method = "xml";
  reliability.curve = {{0.5, 0.5, 0.5, {0.0, 1.0}}};
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

TEST(EstimateReport, CsvHoldsTheRunTheCountsAndTheIntervals) {
  // N = 10 and counts 0, 8, 10: values from the counts, so exactly 0 and 1 at the ends.
  const SpectraCounts counts{3, 10, {0, 8, 10}, {0, 6, 10, 0, 8, 10, 0, 2, 10}};
  EstimateReport report;
  report.run.instance_name = "ring4.txt";
  report.run.method = "estimate";
  report.run.srlg_count = 3;
  report.run.sampled = true;
  report.run.sample_size = 10;
  report.run.seed = 77;
  report.run.seed_drawn = true;
  report.run.thread_count = 2;
  report.counts = counts;
  add_confidence(report);
  std::ostringstream csv;
  write_estimate_report(csv, report, OutputFormat::kCsv);
  std::istringstream lines(csv.str());
  std::string line;
  std::vector<std::string> comments;
  while (std::getline(lines, line) && line.rfind("# ", 0) == 0) {
    comments.push_back(line);
  }
  const std::vector<std::string> expected_comments = {"# command: estimate",
                                                      "# instance: ring4.txt",
                                                      "# method: estimate",
                                                      "# srlg_count: 3",
                                                      "# N: 10",
                                                      "# seed: 77",
                                                      "# seed_drawn: true",
                                                      "# threads: 2",
                                                      "# free_edges_connect: false",
                                                      "# confidence_level: 0.95"};
  EXPECT_EQ(comments, expected_comments);
  EXPECT_EQ(line, "series,srlg,k,value,connected,wilson_low,wilson_high,band_low,band_high");
  std::vector<std::string> rows;
  while (std::getline(lines, line)) {
    rows.push_back(line);
  }
  ASSERT_EQ(rows.size(), 3u + 9u);
  EXPECT_EQ(rows[0].substr(0, 20), "spectrum,,1,0,0,0,0.");
  EXPECT_EQ(rows[1].substr(0, 34), "spectrum,,2,0.80000000000000004,8,");
  EXPECT_EQ(rows[2].substr(0, 19), "spectrum,,3,1,10,0.");
  EXPECT_EQ(rows[3 + 1], "bim,1,2,0.59999999999999998,6,,,,");
}

// Whatever the counts, every estimate lies in [0, 1] inside its interval, and the ends
// are exact where the counts are 0 or N: a sum of 1/N would pass 1 for some N.
// One S = 1 network whose counts are set beyond 64 bits, as a diagram gives them for
// large S: every format keeps method "exact" and names how the values were found.
ExactReport exact_report_by(const std::string& exact_method) {
  ExactReport report;
  report.run.instance_name = "big.txt";
  report.run.method = "exact";
  report.run.srlg_count = 1;
  report.run.exact_method = exact_method;
  report.run.diagram.frontier_width = 3;
  report.run.diagram.most_remembered = 1;
  report.run.diagram.nodes = 12;
  const ExactCount big = ExactCount(1) << 70;
  report.exact.srlg_count = 1;
  report.exact.connected_subsets = {big};
  report.exact.connected_subsets_with = {{big}};
  report.exact.subsets = {big};
  report.exact.spectrum = {1.0};
  report.exact.bim_spectra = {{1.0}};
  return report;
}

TEST(ExactReport, NamesItsMethodAndKeepsBigCountsInEveryFormat) {
  struct Case {
    std::string exact_method;
    OutputFormat format;
    std::vector<std::string> expected;  // each found in the output
  };
  const std::string big = "1180591620717411303424";  // 2^70
  const std::vector<Case> cases = {
      {"diagram",
       OutputFormat::kText,
       {"Instance: big.txt (1 SRLGs)\nExact, by a decision diagram over the SRLGs (frontier "
        "width 3, 1 SRLGs remembered, 12 nodes), ",
        "  " + big + "  " + big + "\n"}},
      {"subsets", OutputFormat::kText, {"\nExact, by enumerating SRLG subsets, "}},
      {"diagram",
       OutputFormat::kCsv,
       {"# method: exact\n",
        "# confidence_level: 0.95\n# exact_method: diagram\n# frontier_width: 3\n"
        "# remembered_srlgs: 1\n# diagram_nodes: 12\nseries,srlg,k,value,connected,subsets\n",
        "spectrum,,1,1," + big + "," + big + "\n", "bim,1,1,1," + big + "," + big + "\n"}},
      {"subsets",
       OutputFormat::kCsv,
       {"# confidence_level: 0.95\n# exact_method: subsets\nseries,"}},
      {"diagram",
       OutputFormat::kJson,
       {"  \"method\": \"exact\",\n",
        "  \"exact_method\": \"diagram\",\n  \"frontier_width\": 3,\n  \"remembered_srlgs\": 1,\n  "
        "\"diagram_nodes\": 12,\n",
        "\"connected\": [" + big + "]", "\"subsets\": [" + big + "]",
        "\"connected_with\": [\n    [" + big + "]\n  ]"}},
      {"none",
       OutputFormat::kJson,
       {"  \"exact_method\": \"none\",\n  \"frontier_width\": null,\n  \"remembered_srlgs\": "
        "null,\n  \"diagram_nodes\": null,\n"}},
  };
  for (const Case& test_case : cases) {
    std::ostringstream out;
    write_exact_report(out, exact_report_by(test_case.exact_method), test_case.format);
    SCOPED_TRACE(out.str());
    for (const std::string& expected : test_case.expected) {
      EXPECT_NE(out.str().find(expected), std::string::npos) << expected;
    }
  }
}

TEST(EstimateReport, ValuesAndIntervalsComeFromTheCounts) {
  for (const std::int32_t n : {1, 3, 7, 10, 49, 1000003}) {
    for (const std::int64_t connected : {std::int64_t{0}, std::int64_t{1}, std::int64_t{n / 2},
                                         std::int64_t{n - 1}, std::int64_t{n}}) {
      SCOPED_TRACE(::testing::Message() << connected << " of " << n);
      const SpectraCounts counts{1, n, {connected}, {static_cast<std::int32_t>(connected)}};
      EstimateReport report;
      report.counts = counts;
      add_confidence(report);
      const double value = report.spectrum[0];
      EXPECT_EQ(value, static_cast<double>(connected) / n);
      EXPECT_LE(report.wilson[0].low, value);
      EXPECT_GE(report.wilson[0].high, value);
      EXPECT_GE(report.wilson[0].low, 0.0);
      EXPECT_LE(report.wilson[0].high, 1.0);
      EXPECT_EQ(report.wilson[0].low == 0.0, connected == 0);
      EXPECT_EQ(report.wilson[0].high == 1.0, connected == n);
    }
  }
}

}  // namespace
}  // namespace varnak
