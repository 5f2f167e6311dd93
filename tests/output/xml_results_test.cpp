#include "output/xml_results.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/xml_report.hpp"

namespace varnak {
namespace {

TEST(XmlResults, ReadsWhatTheWriterWrites) {
  const SpectraVector spectrum = {0.0, 0.8, 0.9999999999999999};
  const BimSpectraMatrix bim = {{0.0, 0.6, 1.0}, {0.0, 0.8, 1.0}, {0.1234567, 0.2, 1.0}};
  XmlResults results;
  std::string failure;
  ASSERT_EQ(parse_xml_results(render_xml_report(spectrum, bim, 1.5), "run.xml", results, failure),
            0)
      << failure;
  EXPECT_EQ(results.srlg_count, 3);
  EXPECT_EQ(results.time_seconds, 1.5);
  // The file keeps six decimals.
  EXPECT_EQ(results.spectrum, (SpectraVector{0.0, 0.8, 1.0}));
  EXPECT_EQ(results.bim_spectra,
            (BimSpectraMatrix{{0.0, 0.6, 1.0}, {0.0, 0.8, 1.0}, {0.123457, 0.2, 1.0}}));
}

TEST(XmlResults, AcceptsLayoutThatChangesNothing) {
  const std::vector<std::string> documents = {
      // Pretty-printed, comments, rows out of order, single quotes, spaces in the rows.
      "<?xml version=\"1.0\"?>\n<!-- kept by hand -->\n<VARNAK version=\"1.0\">\n"
      "  <SRLGNUM> 2 </SRLGNUM>\n  <spectras>\n    <spectra>0.25, 1</spectra>\n"
      "    <bimspectra id='2'>0,1</bimspectra>\n"
      "    <bimspectra id=\"1\">0.25,1.000000</bimspectra>\n  </spectras>\n</VARNAK>\n",
      "\xEF\xBB\xBF<VARNAK><SRLGNUM>2</SRLGNUM><time_seconds>3</time_seconds><spectras>"
      "<spectra>0.25,1</spectra><bimspectra id=\"1\">0.25,1</bimspectra>"
      "<bimspectra id=\"2\">0,1</bimspectra></spectras></VARNAK>",
  };
  for (const std::string& document : documents) {
    SCOPED_TRACE(document);
    XmlResults results;
    std::string failure;
    ASSERT_EQ(parse_xml_results(document, "run.xml", results, failure), 0) << failure;
    EXPECT_EQ(results.spectrum, (SpectraVector{0.25, 1.0}));
    EXPECT_EQ(results.bim_spectra, (BimSpectraMatrix{{0.25, 1.0}, {0.0, 1.0}}));
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

std::string document(const std::string& count, const std::string& spectrum,
                     const std::string& rows) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<VARNAK version=\"1.0\"><SRLGNUM>" + count +
         "</SRLGNUM><time_seconds>0.5</time_seconds><spectras><spectra>" + spectrum + "</spectra>" +
         rows + "</spectras></VARNAK>";
}

const std::string kTwoRows =
    "<bimspectra id=\"1\">0.5,1</bimspectra><bimspectra id=\"2\">0,1</bimspectra>";

TEST(XmlResults, RefusalsNameFileLineAndValue) {
  struct Case {
    std::string name;
    std::string text;
    std::string expected;  // the whole message
  };
  const std::vector<Case> cases = {
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
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    XmlResults results;
    std::string failure;
    EXPECT_EQ(parse_xml_results(test_case.text, "run.xml", results, failure), 1);
    EXPECT_EQ(failure, test_case.expected);
  }
}

TEST(XmlResults, NamesAFileThatCannotBeRead) {
  XmlResults results;
  std::string failure;
  EXPECT_EQ(read_xml_results("/nonexistent/run.xml", results, failure), 1);
  EXPECT_NE(failure.find("/nonexistent/run.xml"), std::string::npos) << failure;
}

}  // namespace
}  // namespace varnak
