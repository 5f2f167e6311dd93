#include "output/xml_results.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <streambuf>
#include <string>
#include <vector>

#include "estimation/spectra_estimator.hpp"
#include "output/xml_report.hpp"
#include "tests/support/instance_generator.hpp"
#include "tests/support/spectra_accumulation.hpp"

namespace varnak {
namespace {

namespace fs = std::filesystem;

std::string document(const std::string& count, const std::string& spectrum,
                     const std::string& rows) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<VARNAK version=\"1.0\"><SRLGNUM>" + count +
         "</SRLGNUM><time_seconds>0.5</time_seconds><spectras><spectra>" + spectrum + "</spectra>" +
         rows + "</spectras></VARNAK>";
}

std::string two_rows(const std::string& first, const std::string& second) {
  return "<bimspectra id=\"1\">" + first + "</bimspectra><bimspectra id=\"2\">" + second +
         "</bimspectra>";
}

// A consistent pair of rows for the spectrum 0.5,1: half the samples connect with one SRLG
// up, always with SRLG 1.
const std::string kTwoRows = two_rows("0.5,1", "0,1");

struct Refusal {
  std::string name;
  std::string text;
  std::string expected;  // the whole message
};

void expect_refusals(const std::vector<Refusal>& cases) {
  for (const Refusal& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    XmlResults results;
    std::string failure;
    EXPECT_EQ(parse_xml_results(test_case.text, "run.xml", results, failure), 1);
    EXPECT_EQ(failure, test_case.expected);
  }
}

struct Estimate {
  SpectraVector spectrum;
  BimSpectraMatrix bim_spectra;
};

Estimate estimate(const NetworkInstance& instance, std::int32_t samples, std::int32_t seed) {
  const auto n = static_cast<std::size_t>(instance.srlg_count);
  Estimate result{SpectraVector(n, 0.0), BimSpectraMatrix(n, SpectraVector(n, 0.0))};
  estimate_spectra(result.spectrum, result.bim_spectra, samples, seed, instance);
  return result;
}

TEST(XmlResults, ReadsWhatTheWriterWrites) {
  const SpectraVector spectrum = {0.1234567, 0.8, 0.9999999999999999};
  const BimSpectraMatrix bim = {{0.1234567, 0.6, 1.0}, {0.0, 0.8, 1.0}, {0.0, 0.2, 1.0}};
  XmlResults results;
  std::string failure;
  ASSERT_EQ(parse_xml_results(render_xml_report(spectrum, bim, 1.5), "run.xml", results, failure),
            0)
      << failure;
  EXPECT_EQ(results.srlg_count, 3);
  // The file keeps six decimals.
  EXPECT_EQ(results.spectrum, (SpectraVector{0.123457, 0.8, 1.0}));
  EXPECT_EQ(results.bim_spectra,
            (BimSpectraMatrix{{0.123457, 0.6, 1.0}, {0.0, 0.8, 1.0}, {0.0, 0.2, 1.0}}));
}

// Every file that Varnak writes from a real estimate reads back, with the values it wrote
// to six decimals: the checks of consistency leave room for the file's rounding.
TEST(XmlResults, EveryFileWrittenFromAnEstimateReadsBack) {
  std::vector<NetworkInstance> networks = {test_networks::worked_ring()};
  for (std::uint64_t seed = 1; seed <= 3; ++seed) {
    networks.push_back(test_networks::make_ring_network(test_networks::small_shape(), seed));
    networks.push_back(test_networks::make_ring_network({30, 45, 20, 0.1, 0.3, 3, 2}, seed));
  }
  networks.push_back(test_networks::make_ring_network(test_networks::medium_shape(), 1));
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    networks.push_back(test_networks::make_awkward_network(seed));
  }
  const std::vector<std::int32_t> sample_sizes = {1, 7, 3000};
  const std::vector<double> elapsed = {0.0, 3e-7, 12.3456789, 1e300};
  std::size_t values_above_zero = 0;
  for (std::size_t network = 0; network < networks.size(); ++network) {
    for (std::size_t size = 0; size < sample_sizes.size(); ++size) {
      SCOPED_TRACE("network " + std::to_string(network) + ", N " +
                   std::to_string(sample_sizes[size]));
      const Estimate written = estimate(networks[network], sample_sizes[size], 11);
      const std::string text = render_xml_report(written.spectrum, written.bim_spectra,
                                                 elapsed[(network + size) % elapsed.size()]);
      XmlResults read;
      std::string failure;
      ASSERT_EQ(parse_xml_results(text, "run.xml", read, failure), 0) << failure << "\n" << text;
      const std::size_t n = written.spectrum.size();
      ASSERT_EQ(read.srlg_count, static_cast<std::int32_t>(n));
      ASSERT_EQ(read.spectrum.size(), n);
      ASSERT_EQ(read.bim_spectra.size(), n);
      for (std::size_t j = 0; j < n; ++j) {
        EXPECT_NEAR(read.spectrum[j], written.spectrum[j], 5e-7 + 1e-12) << "entry " << j;
        values_above_zero += read.spectrum[j] > 0.0 ? 1 : 0;
        ASSERT_EQ(read.bim_spectra[j].size(), n);
        for (std::size_t k = 0; k < n; ++k) {
          EXPECT_NEAR(read.bim_spectra[j][k], written.bim_spectra[j][k], 5e-7 + 1e-12)
              << "row " << j + 1 << ", entry " << k;
          values_above_zero += read.bim_spectra[j][k] > 0.0 ? 1 : 0;
        }
      }
    }
  }
  EXPECT_GT(values_above_zero, 5000u);  // the networks do connect, so values are compared
}

// Each value reads as the double that strtod makes of its text, whichever way it is parsed.
TEST(XmlResults, ValuesReadAsTheirCorrectlyRoundedDoubles) {
  const std::vector<std::string> texts = {"0.000000",
                                          "1.000000",
                                          "0.5",
                                          "0.123456",
                                          "0.999999",
                                          "0.000001",
                                          "0.1",
                                          "0.3",
                                          "0.7",
                                          "00.25",
                                          "0.123456789012345",
                                          "0.1234567890123456",
                                          "0.3333333333333333",
                                          "0.30000000000000004",
                                          "1e-6",
                                          "0",
                                          "1",
                                          "0.0000000000000001",
                                          "0.999999999999999"};
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    const std::string file =
        "<VARNAK version=\"1.0\"><SRLGNUM>1</SRLGNUM><time_seconds>1</time_seconds><spectras>"
        "<spectra>" +
        text + "</spectra><bimspectra id=\"1\">" + text + "</bimspectra></spectras></VARNAK>";
    XmlResults results;
    std::string failure;
    ASSERT_EQ(parse_xml_results(file, "run.xml", results, failure), 0) << failure;
    const double expected = std::strtod(text.c_str(), nullptr);
    EXPECT_EQ(results.spectrum[0], expected);
    EXPECT_EQ(results.bim_spectra[0][0], expected);
  }
}

TEST(XmlResults, AcceptsLayoutThatChangesNothing) {
  const std::vector<std::string> documents = {
      // Pretty-printed, comments, rows out of order, single quotes, spaces in the rows.
      "<?xml version=\"1.0\"?>\n<!-- kept by hand -->\n<VARNAK version=\"1.0\">\n"
      "  <SRLGNUM> 2 </SRLGNUM>\n  <spectras>\n    <spectra>0.5, 1</spectra>\n"
      "    <bimspectra id='2'>0,1</bimspectra>\n"
      "    <bimspectra id=\"1\">0.5,1.000000</bimspectra>\n  </spectras>\n</VARNAK>\n",
      // A byte-order mark, no declaration or version, CR LF line ends.
      "\xEF\xBB\xBF<VARNAK>\r\n<SRLGNUM>2</SRLGNUM><time_seconds>3</time_seconds><spectras>"
      "<spectra>0.5,1</spectra>\r\n" +
          kTwoRows + "</spectras></VARNAK>",
      // The spectrum after the BIM rows, comments inside a row and between values.
      "<VARNAK><SRLGNUM>2</SRLGNUM><spectras>" + kTwoRows +
          "<spectra><!-- k=1 -->0.5,<!-- k=2 -->1</spectra></spectras></VARNAK>",
      // Off by less than 1e-6 per value, as the six decimals of another writer may be.
      document("2", "0.5,1", two_rows("0.5000009,1", "0,0.9999991")),
  };
  for (const std::string& text : documents) {
    SCOPED_TRACE(text);
    XmlResults results;
    std::string failure;
    ASSERT_EQ(parse_xml_results(text, "run.xml", results, failure), 0) << failure;
    ASSERT_EQ(results.spectrum.size(), 2u);
    EXPECT_EQ(results.spectrum[0], 0.5);
    ASSERT_EQ(results.bim_spectra.size(), 2u);
    EXPECT_NEAR(results.bim_spectra[0][0], 0.5, 1e-6);
    EXPECT_NEAR(results.bim_spectra[1][1], 1.0, 1e-6);
  }
}

TEST(XmlResults, NoSrlgs) {
  XmlResults results;
  std::string failure;
  ASSERT_EQ(parse_xml_results(render_xml_report({}, {}, 0.5), "run.xml", results, failure), 0)
      << failure;
  EXPECT_EQ(results.srlg_count, 0);
  EXPECT_TRUE(results.spectrum.empty());
  EXPECT_TRUE(results.bim_spectra.empty());
}

TEST(XmlResults, RefusalsNameFileLineAndValue) {
  expect_refusals({
      {"empty file", "", "run.xml line 1: expected the root element <VARNAK>"},
      {"other root", "<?xml version=\"1.0\"?>\n<results/>",
       "run.xml line 2: the root element is <results>; expected <VARNAK>, as Varnak writes it"},
      {"no SRLGNUM", "<VARNAK><spectras/></VARNAK>", "run.xml line 1: <VARNAK> has no <SRLGNUM>"},
      {"count not a number", document("two", "0.5,1", kTwoRows),
       "run.xml line 2: <SRLGNUM> is \"two\"; expected a whole number from 0 to 2147483647"},
      {"value not a number", document("2", "0.5,x1", kTwoRows),
       "run.xml line 2: <spectra> value 2 of 2 is \"x1\"; expected a number from 0 to 1"},
      {"value above 1", document("2", "0.5,1.5", kTwoRows),
       "run.xml line 2: <spectra> value 2 of 2 is \"1.5\"; expected a number from 0 to 1"},
      {"empty value", document("2", "0.5,", kTwoRows),
       "run.xml line 2: <spectra> value 2 of 2 is \"\"; expected a number from 0 to 1"},
      {"too few values", document("2", "0.5", kTwoRows),
       "run.xml line 2: <spectra> has 1 values; expected 2 (SRLGNUM)"},
      {"too many values", document("2", "0.5,1,1", kTwoRows),
       "run.xml line 2: <spectra> has more than 2 values (SRLGNUM); value 3 is \"1\""},
      {"row missing", document("2", "0.5,1", "<bimspectra id=\"1\">0.5,1</bimspectra>"),
       "run.xml line 2: <spectras> has 1 <bimspectra> rows; expected 2 (SRLGNUM)"},
      {"id repeated",
       document("2", "0.5,1",
                "<bimspectra id=\"1\">0.5,1</bimspectra><bimspectra id=\"1\">0,1</bimspectra>"),
       "run.xml line 2: a second <bimspectra> row with id 1"},
      {"id out of range",
       document("2", "0.5,1",
                "<bimspectra id=\"1\">0.5,1</bimspectra><bimspectra id=\"3\">0,1</bimspectra>"),
       "run.xml line 2: <bimspectra> id is \"3\"; expected a number from 1 to 2 (SRLGNUM)"},
      {"bad value on a later line",
       "<VARNAK>\n<SRLGNUM>2</SRLGNUM>\n<spectras>\n<spectra>0.5,1</spectra>\n"
       "<bimspectra id=\"1\">0.5,\n1</bimspectra>\n<bimspectra id=\"2\">0,\n-0.1</bimspectra>\n"
       "</spectras>\n</VARNAK>\n",
       "run.xml line 8: <bimspectra id=\"2\"> value 2 of 2 is \"-0.1\"; expected a number from 0 "
       "to 1"},
      {"unknown element", document("2", "0.5,1", kTwoRows + "<extra/>"),
       "run.xml line 2: unexpected element <extra> in <spectras>; expected <spectra> and "
       "<bimspectra>"},
      {"unclosed element", "<VARNAK>\n<SRLGNUM>2</SRLGNUM>\n<spectras>\n",
       "run.xml line 3: <spectras> has no end tag"},
      {"mismatched end tag", "<VARNAK><SRLGNUM>2</SRLGNUM>\n</VARNAK2>",
       "run.xml line 2: expected </VARNAK>"},
      {"text after the root", document("2", "0.5,1", kTwoRows) + "\nmore",
       "run.xml line 3: unexpected text after the root element's end tag"},
      {"time not a number", "<VARNAK><time_seconds>soon</time_seconds></VARNAK>",
       "run.xml line 1: <time_seconds> is \"soon\"; expected a number of seconds"},
  });
}

// Elements, attributes and text that no run writes are refused where they stand.
TEST(XmlResults, RefusesWhatVarnakNeverWrites) {
  const std::string count_and_rows =
      "<SRLGNUM>2</SRLGNUM><spectras><spectra>0.5,1</spectra>" + kTwoRows + "</spectras>";
  expect_refusals({
      {"SRLGNUM twice", "<VARNAK>" + count_and_rows + "<SRLGNUM>2</SRLGNUM></VARNAK>",
       "run.xml line 1: a second <SRLGNUM> in <VARNAK>; expected one"},
      {"time twice",
       "<VARNAK><time_seconds>1</time_seconds>\n<time_seconds>1</time_seconds></VARNAK>",
       "run.xml line 2: a second <time_seconds> in <VARNAK>; expected one"},
      {"rows twice", "<VARNAK>" + count_and_rows + "<spectras/></VARNAK>",
       "run.xml line 1: a second <spectras> in <VARNAK>; expected one"},
      {"spectrum twice", document("2", "0.5,1", kTwoRows + "<spectra>0.5,1</spectra>"),
       "run.xml line 2: a second <spectra> row; expected one"},
      {"attribute twice",
       document("2", "0.5,1", "<bimspectra id=\"1\" id=\"2\">0.5,1</bimspectra>"),
       "run.xml line 2: a second attribute id in the <bimspectra> start tag; expected one"},
      {"unknown attribute",
       "<VARNAK><SRLGNUM>2</SRLGNUM><spectras><spectra kind=\"x\">0.5,1</spectra></spectras>",
       "run.xml line 1: unexpected attribute kind in <spectra>; expected none"},
      {"other version", "<VARNAK version=\"2.0\"/>",
       "run.xml line 1: <VARNAK> version is \"2.0\"; expected \"1.0\", the version Varnak writes"},
      {"element inside a row", document("2", "0.5<x/>,1", kTwoRows),
       "run.xml line 2: unexpected element <x> in <spectra>; expected comma-separated values "
       "only"},
      {"element inside the count", "<VARNAK><SRLGNUM>2<b/></SRLGNUM></VARNAK>",
       "run.xml line 1: unexpected element <b> in <SRLGNUM>; expected a whole number"},
      {"NUL inside a value", document("2", std::string("0.5\0garbage,1", 13), kTwoRows),
       "run.xml line 2: <spectra> value 1 of 2 is \"0.5\\x00garbage\"; expected a number from 0 "
       "to 1"},
      {"space inside a value", document("2", "0. 5,1", kTwoRows),
       "run.xml line 2: <spectra> value 1 of 2 is \"0. 5\"; expected a number from 0 to 1"},
      {"sign before a value", document("2", "+0.5,1", kTwoRows),
       "run.xml line 2: <spectra> value 1 of 2 is \"+0.5\"; expected a number from 0 to 1"},
      {"value longer than any number", document("2", "0." + std::string(80, '5') + ",1", kTwoRows),
       "run.xml line 2: <spectra> value 1 of 2 is \"0." + std::string(38, '5') +
           "...\"; expected a number from 0 to 1"},
      {"text between elements", "<VARNAK>hello<SRLGNUM>2</SRLGNUM></VARNAK>",
       "run.xml line 1: unexpected text \"hello\" in <VARNAK>; expected only one each of "
       "<SRLGNUM>, <time_seconds> and <spectras>"},
      {"count after the rows",
       "<VARNAK><spectras><spectra>0.5,1</spectra></spectras>\n<SRLGNUM>2</SRLGNUM></VARNAK>",
       "run.xml line 2: <SRLGNUM> comes after <spectras>; expected it first, as Varnak writes it"},
      {"no rows", "<VARNAK><SRLGNUM>2</SRLGNUM></VARNAK>",
       "run.xml line 1: <VARNAK> has no <spectras>"},
      {"negative time", "<VARNAK><time_seconds>-1</time_seconds></VARNAK>",
       "run.xml line 1: <time_seconds> is \"-1\"; expected a number of seconds"},
      {"infinite time", "<VARNAK><time_seconds>inf</time_seconds></VARNAK>",
       "run.xml line 1: <time_seconds> is \"inf\"; expected a number of seconds"},
      {"values with no SRLG", "<VARNAK><SRLGNUM>0</SRLGNUM><spectras><spectra> 0, 1 </spectra>",
       "run.xml line 1: <spectra> holds \"0, 1\"; expected no values, as SRLGNUM is 0"},
      {"unterminated comment", "<VARNAK>\n<!-- <SRLGNUM>2</SRLGNUM>",
       "run.xml line 2: unterminated comment"},
  });
}

// Values that no run can give: what a run guarantees, checked to within the six decimals.
TEST(XmlResults, RefusesValuesThatNoRunGives) {
  expect_refusals({
      {"spectrum decreasing", document("2", "1,0.5", kTwoRows),
       "run.xml line 2: <spectra> value 2 of 2 is \"0.5\", below value 1, 1.000000; expected "
       "values that never decrease, as a connected network stays connected when more SRLGs "
       "come up"},
      {"BIM row decreasing", document("2", "0.5,1", two_rows("0.5,0.4", "0,1")),
       "run.xml line 2: <bimspectra id=\"1\"> value 2 of 2 is \"0.4\", below value 1, 0.500000; "
       "expected values that never decrease, as a connected network stays connected when more "
       "SRLGs come up"},
      {"BIM value above the spectrum", document("2", "0.2,1", two_rows("0.975,1", "0,1")),
       "run.xml line 2: <bimspectra id=\"1\"> value 1 of 2 is \"0.975\", but <spectra> value 1 "
       "is 0.200000; expected each BIM value at most the spectrum value of its column, as every "
       "sample counted for an SRLG is counted in the spectrum"},
      {"just above, past the rounding", document("2", "0.5,1", two_rows("0.5000011,1", "0,1")),
       "run.xml line 2: <bimspectra id=\"1\"> value 1 of 2 is \"0.5000011\", but <spectra> value "
       "1 is 0.500000; expected each BIM value at most the spectrum value of its column, as every "
       "sample counted for an SRLG is counted in the spectrum"},
      {"spectrum after the rows, below one",
       "<VARNAK><SRLGNUM>2</SRLGNUM><spectras>" + two_rows("0.975,1", "0,1") +
           "\n<spectra>0.2,1</spectra></spectras></VARNAK>",
       "run.xml line 2: <spectra> value 1 of 2 is \"0.2\", but <bimspectra id=\"1\"> value 1 is "
       "0.975000; expected each BIM value at most the spectrum value of its column, as every "
       "sample counted for an SRLG is counted in the spectrum"},
      {"last BIM value not the last spectrum value",
       document("2", "0.5,1", two_rows("0.5,0.9", "0,1")),
       "run.xml line 2: <bimspectra id=\"1\"> value 2 of 2 is \"0.9\", but <spectra> value 2 is "
       "1.000000; expected the last BIM values equal to the last spectrum value, as with all "
       "SRLGs up every connected sample counts for every SRLG"},
      {"BIM column not the spectrum times k", document("2", "0.5,1", two_rows("0.3,1", "0.1,1")),
       "run.xml line 2: <spectra> value 1 of 2 is 0.500000, but the <bimspectra> values 1 add up "
       "to 0.400000; expected 1 times it, 0.500000 (to within 0.000003), as each connected "
       "sample counts once for each SRLG up, and value 1 has 1 up"},
      {"column sum past the rounding of its values",
       "<VARNAK><SRLGNUM>2</SRLGNUM><spectras>\n<spectra>0.5,\n1</spectra>" +
           two_rows("0.5,1", "0.0000031,1") + "</spectras></VARNAK>",
       "run.xml line 2: <spectra> value 1 of 2 is 0.500000, but the <bimspectra> values 1 add up "
       "to 0.500003; expected 1 times it, 0.500000 (to within 0.000003), as each connected "
       "sample counts once for each SRLG up, and value 1 has 1 up"},
  });
}

// The text that Varnak writes for the SRLGNUM read, twice over with 64 KiB for layout, is
// all that is read: a file or row beyond it is refused at the line where it went past.
TEST(XmlResults, RefusesTextLongerThanVarnakWrites) {
  const std::string spaces(70000, ' ');
  expect_refusals({
      {"spaces before the count", "<VARNAK>" + spaces + "<SRLGNUM>2</SRLGNUM></VARNAK>",
       "run.xml line 1: the file holds more than 64.0 KiB before its <SRLGNUM> count; expected "
       "a Varnak result file, which gives the count in its first 100 bytes"},
      {"lines before the count", "<VARNAK>" + std::string(70000, '\n') + "<SRLGNUM>2</SRLGNUM>",
       "run.xml line 65529: the file holds more than 64.0 KiB before its <SRLGNUM> count; "
       "expected a Varnak result file, which gives the count in its first 100 bytes"},
      {"spaces inside a row", document("2", "0.5," + spaces + "1", kTwoRows),
       "run.xml line 2: <spectra> text is longer than 64.0 KiB, the most read for SRLGNUM 2 "
       "(twice the longest row Varnak writes for it, and 64.0 KiB for layout)"},
      {"comments after the rows", document("2", "0.5,1", kTwoRows + "<!--" + spaces + "-->"),
       "run.xml line 2: the file is longer than 64.8 KiB, the most read for SRLGNUM 2 (twice the "
       "largest file Varnak writes for it, and 64.0 KiB for layout)"},
      {"spaces inside the count", "<VARNAK><SRLGNUM>" + spaces + "2</SRLGNUM></VARNAK>",
       "run.xml line 1: the file holds more than 64.0 KiB before its <SRLGNUM> count; expected "
       "a Varnak result file, which gives the count in its first 100 bytes"},
  });
}

TEST(XmlResults, RefusesACountWhoseRowsCannotFitInMemory) {
  XmlResults results;
  std::string failure;
  EXPECT_EQ(parse_xml_results(document("2147483647", "", ""), "run.xml", results, failure), 1);
  EXPECT_TRUE(failure.starts_with("run.xml line 2: <SRLGNUM> 2147483647 needs 32768.0 PiB"))
      << failure;
  EXPECT_NE(failure.find("of memory for its spectrum and BIM rows, more than the "),
            std::string::npos)
      << failure;
}

// A source that never ends, as a device may: `prefix`, then `unit` over and over.
class EndlessBytes : public std::streambuf {
 public:
  EndlessBytes(std::string prefix, std::string unit)
      : prefix_(std::move(prefix)), unit_(std::move(unit)), block_(4096) {}
  std::uint64_t handed_out() const { return handed_out_; }

 protected:
  int_type underflow() override {
    for (char& byte : block_) {
      byte = handed_out_ < prefix_.size() ? prefix_[handed_out_]
                                          : unit_[(handed_out_ - prefix_.size()) % unit_.size()];
      ++handed_out_;
    }
    setg(block_.data(), block_.data(), block_.data() + block_.size());
    return traits_type::to_int_type(block_[0]);
  }

 private:
  std::string prefix_;
  std::string unit_;
  std::vector<char> block_;
  std::uint64_t handed_out_ = 0;
};

TEST(XmlResults, StopsReadingASourceThatNeverEnds) {
  struct Case {
    std::string name;
    std::string prefix;
    std::string unit;
    std::string expected;
  };
  const std::string before_count =
      "stream line 1: the file holds more than 64.0 KiB before its <SRLGNUM> count; expected a "
      "Varnak result file, which gives the count in its first 100 bytes";
  const std::string rows = "<VARNAK><SRLGNUM>2</SRLGNUM><spectras>";
  const std::vector<Case> cases = {
      {"zero bytes", "", std::string(1, '\0'), "stream line 1: expected the root element <VARNAK>"},
      {"spaces", "", " ", before_count},
      {"a comment", "<VARNAK><!--", "x", before_count},
      {"digits of one value", rows + "<spectra>0.", "5",
       "stream line 1: <spectra> text is longer than 64.0 KiB, the most read for SRLGNUM 2 (twice "
       "the longest row Varnak writes for it, and 64.0 KiB for layout)"},
      {"values", "<VARNAK><SRLGNUM>1000</SRLGNUM><spectras><spectra>", "1,",
       "stream line 1: <spectra> has more than 1000 values (SRLGNUM); value 1001 is \"1\""},
      {"comments between rows", rows, "<!---->",
       "stream line 1: the file is longer than 64.8 KiB, the most read for SRLGNUM 2 (twice the "
       "largest file Varnak writes for it, and 64.0 KiB for layout)"},
      {"unknown elements", rows, "<x/>",
       "stream line 1: unexpected element <x> in <spectras>; expected <spectra> and <bimspectra>"},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    EndlessBytes bytes(test_case.prefix, test_case.unit);
    XmlResults results;
    std::string failure;
    EXPECT_EQ(read_xml_results(bytes, "stream", results, failure), 1);
    EXPECT_EQ(failure, test_case.expected);
    // What was read: at most the limit for SRLGNUM 2 and one block beyond.
    EXPECT_LE(bytes.handed_out(), 66348u + 4096u);
  }
}

// Bytes from the file and its name reach the terminal only as \xNN when they are control
// bytes (C0, DEL, C1) or not UTF-8.
TEST(XmlResults, ShowsControlBytesAsEscapes) {
  struct Case {
    std::string name;
    std::string file_name;
    std::string text;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"file name", "run\x1b[31m.xml", "",
       "run\\x1b[31m.xml line 1: expected the root element <VARNAK>"},
      {"count", "run.xml", "<VARNAK><SRLGNUM>\x1b[2J</SRLGNUM></VARNAK>",
       "run.xml line 1: <SRLGNUM> is \"\\x1b[2J\"; expected a whole number from 0 to 2147483647"},
      {"value with a C1 control", "run.xml", document("2", "\xC2\x9B[31m,1", kTwoRows),
       "run.xml line 2: <spectra> value 1 of 2 is \"\\xc2\\x9b[31m\"; expected a number from 0 "
       "to 1"},
      {"value not UTF-8", "run.xml", document("2", "0.5\xFF,1", kTwoRows),
       "run.xml line 2: <spectra> value 1 of 2 is \"0.5\\xff\"; expected a number from 0 to 1"},
      {"id", "run.xml", document("2", "0.5,1", "<bimspectra id=\"\x07\">0.5,1</bimspectra>"),
       "run.xml line 2: <bimspectra> id is \"\\x07\"; expected a number from 1 to 2 (SRLGNUM)"},
      {"time", "run.xml", "<VARNAK><time_seconds>1\x7F</time_seconds></VARNAK>",
       "run.xml line 1: <time_seconds> is \"1\\x7f\"; expected a number of seconds"},
      {"version", "run.xml", "<VARNAK version=\"\xC2\x85\"/>",
       "run.xml line 1: <VARNAK> version is \"\\xc2\\x85\"; expected \"1.0\", the version Varnak "
       "writes"},
      {"text", "run.xml", "<VARNAK>\x1b]0;title\x07</VARNAK>",
       "run.xml line 1: unexpected text \"\\x1b]0;title\\x07\" in <VARNAK>; expected only one "
       "each of <SRLGNUM>, <time_seconds> and <spectras>"},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    XmlResults results;
    std::string failure;
    EXPECT_EQ(parse_xml_results(test_case.text, test_case.file_name, results, failure), 1);
    EXPECT_EQ(failure, test_case.expected);
  }
}

// A fresh directory for the test, removed with everything in it afterwards.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::string pattern = (fs::temp_directory_path() / "varnak-xml-read-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      ADD_FAILURE() << "mkdtemp failed for " << pattern;
    }
    path_ = pattern;
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

TEST(XmlResults, ReadsAFileAndNamesOneItCannotRead) {
  const ScratchDirectory directory;
  const std::string written = directory.file("run.xml");
  std::string failure;
  const Estimate ring = estimate(test_networks::worked_ring(), 1000, 3);
  ASSERT_EQ(write_xml_report(written, ring.spectrum, ring.bim_spectra, 0.25, failure), 0)
      << failure;
  XmlResults results;
  ASSERT_EQ(read_xml_results(written, results, failure), 0) << failure;
  EXPECT_EQ(results.srlg_count, 3);
  EXPECT_NEAR(results.spectrum[1], ring.spectrum[1], 5e-7 + 1e-12);

  const std::string folder = directory.file("");
  struct Case {
    std::string path;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {directory.file("absent.xml"), "cannot open XML result file " + directory.file("absent.xml") +
                                         ": No such file or directory"},
      {directory.file("absent\x1b[2J.xml"), "cannot open XML result file " +
                                                directory.file("absent\\x1b[2J.xml") +
                                                ": No such file or directory"},
      {folder, "cannot read XML result file " + folder + ": it is a directory"},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.path);
    EXPECT_EQ(read_xml_results(test_case.path, results, failure), 1);
    EXPECT_EQ(failure, test_case.expected);
  }
}

}  // namespace
}  // namespace varnak
