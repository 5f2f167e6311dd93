// Replays every kept fuzzing input, the seed corpora and the inputs that once failed,
// through the same checks as the fuzz targets, in the ordinary build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_checks.hpp"

namespace varnak::fuzz {
namespace {

namespace fs = std::filesystem;

const fs::path kFuzzDirectory = VARNAK_FUZZ_DIRECTORY;

std::vector<fs::path> input_files(const fs::path& directory) {
  std::vector<fs::path> files;
  if (!fs::is_directory(directory)) {
    return files;
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
    if (entry.is_regular_file() && entry.path().filename().string().front() != '.') {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::uint8_t> bytes_of(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

using Check = CheckResult (*)(const std::uint8_t*, std::size_t);

// Runs every file of the kind's corpus and regressions directories through `check`;
// returns how many files ended in each outcome.
std::map<Outcome, int> replay(const std::string& kind, Check check) {
  std::map<Outcome, int> outcomes;
  for (const char* collection : {"corpus", "regressions"}) {
    for (const fs::path& file : input_files(kFuzzDirectory / collection / kind)) {
      SCOPED_TRACE(file.string());
      const std::vector<std::uint8_t> bytes = bytes_of(file);
      const CheckResult result = check(bytes.data(), bytes.size());
      EXPECT_EQ(result.violation, "");
      ++outcomes[result.outcome];
    }
  }
  return outcomes;
}

TEST(FuzzInputs, EveryKeptInstanceHoldsTheInvariants) {
  std::map<Outcome, int> outcomes = replay("instance", check_instance_input);
  // The corpus must reach both sides of the reader and the estimation, or the replay
  // would prove little.
  EXPECT_GE(outcomes[Outcome::kAccepted], 10);
  EXPECT_GE(outcomes[Outcome::kRefused], 10);
}

TEST(FuzzInputs, EveryKeptSrlgProbabilityFileHoldsTheInvariants) {
  std::map<Outcome, int> outcomes = replay("srlg_probabilities", check_srlg_probabilities_input);
  EXPECT_GE(outcomes[Outcome::kAccepted], 2);
  EXPECT_GE(outcomes[Outcome::kRefused], 2);
}

TEST(FuzzInputs, EveryKeptTerminalSetHoldsTheInvariants) {
  std::map<Outcome, int> outcomes = replay("terminals", check_terminals_input);
  EXPECT_GE(outcomes[Outcome::kAccepted], 2);
  EXPECT_GE(outcomes[Outcome::kRefused], 2);
}

TEST(FuzzInputs, EveryKeptCommandLineHoldsTheInvariants) {
  std::map<Outcome, int> outcomes = replay("command_line", check_command_line_input);
  EXPECT_GE(outcomes[Outcome::kAccepted], 3);
  EXPECT_GE(outcomes[Outcome::kRefused], 5);
}

TEST(FuzzInputs, EveryKeptXmlResultFileHoldsTheInvariants) {
  std::map<Outcome, int> outcomes = replay("xml_results", check_xml_results_input);
  EXPECT_GE(outcomes[Outcome::kAccepted], 5);
  EXPECT_GE(outcomes[Outcome::kRefused], 10);
}

CheckResult check_estimate_input(const std::uint8_t* data, std::size_t size) {
  return check_tools_input("estimate", data, size);
}
CheckResult check_exact_input(const std::uint8_t* data, std::size_t size) {
  return check_tools_input("exact", data, size);
}
CheckResult check_reliability_input(const std::uint8_t* data, std::size_t size) {
  return check_tools_input("reliability", data, size);
}
CheckResult check_cuts_input(const std::uint8_t* data, std::size_t size) {
  return check_tools_input("cuts", data, size);
}

TEST(FuzzInputs, EveryKeptEstimateReportHoldsTheInvariants) {
  std::map<Outcome, int> outcomes = replay("estimate_results", check_estimate_results_input);
  EXPECT_GE(outcomes[Outcome::kAccepted], 2);
  EXPECT_GE(outcomes[Outcome::kRefused], 5);
}

TEST(FuzzInputs, EveryKeptExactReportHoldsTheInvariants) {
  std::map<Outcome, int> outcomes = replay("exact_results", check_exact_results_input);
  EXPECT_GE(outcomes[Outcome::kAccepted], 2);
  EXPECT_GE(outcomes[Outcome::kRefused], 3);
}

TEST(FuzzInputs, EveryKeptToolsCommandLineHoldsTheInvariants) {
  const std::vector<std::pair<std::string, Check>> commands = {
      {"estimate", check_estimate_input},
      {"exact", check_exact_input},
      {"reliability", check_reliability_input},
      {"cuts", check_cuts_input}};
  for (const auto& [command, check] : commands) {
    SCOPED_TRACE(command);
    std::map<Outcome, int> outcomes = replay("tools_" + command, check);
    EXPECT_GE(outcomes[Outcome::kAccepted], 3);
    EXPECT_GE(outcomes[Outcome::kRefused], 3);
  }
}

// The checks themselves must be able to fail: inputs whose outcome is known, with the
// outcome the checks must report.
TEST(FuzzInputs, ChecksTellAcceptedFromRefusedInputs) {
  struct Case {
    std::string bytes;
    Check check;
    Outcome outcome;
  };
  const std::vector<Case> cases = {
      {"VNUM:2\nENUM:1\nSRLGNUM:1\nE:1:1,2\nSRLG:1:1\n", check_instance_input, Outcome::kAccepted},
      {"VNUM:2\nENUM:1\nSRLGNUM:0\n", check_instance_input, Outcome::kRefused},
      {"", check_instance_input, Outcome::kRefused},
      // An ENUM whose table is built but is slow to build: passed over.
      {"VNUM:2\nENUM:50000000\nSRLGNUM:1\n", check_instance_input, Outcome::kSkipped},
      // Beyond 32 bits: refused by the reader at once, so it is read.
      {"VNUM:2\nENUM:1e12\nSRLGNUM:1\n", check_instance_input, Outcome::kRefused},
      {"--graph\ng.txt\n--N\n5\n", check_command_line_input, Outcome::kAccepted},
      {"--graph\ng.txt\n--N\n5\n--N\n6\n", check_command_line_input, Outcome::kRefused},
      {"", check_command_line_input, Outcome::kRefused},
      {"<VARNAK><SRLGNUM>1</SRLGNUM><spectras><spectra>1</spectra><bimspectra id=\"1\">1"
       "</bimspectra></spectras></VARNAK>",
       check_xml_results_input, Outcome::kAccepted},
      // More decimals than the file keeps: written back rounded to six, and read as such.
      {"<VARNAK><SRLGNUM>2</SRLGNUM><spectras><spectra>0.60000022222222227,1</spectra>"
       "<bimspectra id=\"1\">0.3,1</bimspectra><bimspectra id=\"2\">0.30000022222222227,1"
       "</bimspectra></spectras></VARNAK>",
       check_xml_results_input, Outcome::kAccepted},
      {"<VARNAK><SRLGNUM>1</SRLGNUM>\n<spectras><spectra>2</spectra>", check_xml_results_input,
       Outcome::kRefused},
      {"3\n# a note\n\n 12 \r\n", check_terminals_input, Outcome::kAccepted},
      {"3\n17\n\n", check_terminals_input, Outcome::kRefused},  // even: 16 vertices
      {"3\n", check_terminals_input, Outcome::kRefused},
      {"1,0.5\n2,1\n", check_srlg_probabilities_input, Outcome::kAccepted},
      {"1,0.5\n1,1\n", check_srlg_probabilities_input, Outcome::kRefused},
      {"--graph\nring.txt\n--N\n4\n--seed\n1\n--format\ncsv\n", check_estimate_input,
       Outcome::kAccepted},
      {"--graph\nring.txt\n--N\n4\n--outpath\nr.xml\n", check_estimate_input, Outcome::kAccepted},
      {"--graph\nring.xml\n", check_exact_input, Outcome::kRefused},
      // Passed over: a number above the cap, and a path into another folder.
      {"--graph\nring.txt\n--N\n100000\n", check_estimate_input, Outcome::kSkipped},
      {"--xml\n/dev/zero\n", check_reliability_input, Outcome::kSkipped},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    const CheckResult result =
        c.check(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size());
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.violation, "");
  }
}

// And the estimate checks must catch each kind of wrong result: two SRLGs, four samples.
TEST(FuzzInputs, EstimateChecksCatchWrongResults) {
  struct Case {
    Estimates estimates;
    std::string complaint;  // part of the expected violation; empty for a right result
  };
  const std::vector<Case> cases = {
      {{{0.25, 1.0}, {{0.25, 1.0}, {0.0, 1.0}}}, ""},
      {{{0.0, 0.0}, {{0.0, 0.0}, {0.0, 0.0}}}, ""},
      {{{0.3, 1.0}, {{0.25, 1.0}, {0.0, 1.0}}}, "is not a count of samples times 1/4"},
      {{{1.0, 0.5}, {{1.0, 0.5}, {0.0, 0.5}}}, "is below the entry before it"},
      {{{0.25, 1.0}, {{0.5, 1.0}, {0.0, 1.0}}}, "exceeds the spectrum entry"},
      {{{0.25, 1.0}, {{0.25, 1.0}, {0.0, 0.75}}}, "differs from the last spectrum entry"},
      {{{0.5, 1.0}, {{0.25, 1.0}, {0.0, 1.0}}}, "BIM column 0 sums to"},
      {{{0.25}, {{0.25, 1.0}, {0.0, 1.0}}}, "resized"},
  };
  for (const Case& c : cases) {
    const std::string violation = check_estimates(c.estimates, 2, 4);
    SCOPED_TRACE(violation);
    if (c.complaint.empty()) {
      EXPECT_EQ(violation, "");
    } else {
      EXPECT_NE(violation.find(c.complaint), std::string::npos);
    }
  }
}

// The CSV checks must catch a value outside its range, and pass what the commands write.
TEST(FuzzInputs, CsvChecksCatchValuesOutsideTheirRange) {
  const std::string head = "# command: reliability\nseries,p,rank,srlg,value,low,high\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {head + "reliability,0.5,,,0.375,0.3,0.4\nimportance,0.5,1,2,-0.25,-0.5,0\n", ""},
      {head + "reliability,0.5,,,1.5,0.3,0.4\n", "CSV column value"},
      {head + "reliability,1.25,,,0.5,0.3,0.4\n", "CSV column p"},
      {head + "importance,0.5,1,2,0.25,-1.5,0\n", "CSV column low"},
      {head + "reliability,0.5,,,nan,0.3,0.4\n", "CSV column value"},
      {head + "reliability,0.5,,,0.5x,0.3,0.4\n", "CSV column value"},
      {head + "reliability,0.5\n", "a CSV row of 2 fields"},
  };
  for (const auto& [csv, complaint] : cases) {
    SCOPED_TRACE(csv);
    const std::string violation = check_csv_values(csv);
    if (complaint.empty()) {
      EXPECT_EQ(violation, "");
    } else {
      EXPECT_NE(violation.find(complaint), std::string::npos) << violation;
    }
  }
}

}  // namespace
}  // namespace varnak::fuzz
