#include "tools/commands.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "estimation/spectra_estimator.hpp"
#include "instance/instance_reader.hpp"

namespace varnak {
namespace {

namespace fs = std::filesystem;

constexpr const char* kRingFile =
    "# Ring of four vertices; SRLG 1 = {e1}, SRLG 2 = {e2, e3}, SRLG 3 = {e3}; e4 free.\n"
    "VNUM:4\nENUM:4\nSRLGNUM:3\nE:1:1,2\nE:2:2,3\nE:3:3,4\nE:4:1,4\n"
    "SRLG:1:1,\nSRLG:2:2,3\nSRLG:3:3,\n";

std::vector<std::string> csv_fields(const std::string& line) {
  std::vector<std::string> fields(1);
  for (const char c : line) {
    if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

// A scratch folder of its own for each test, removed afterwards.
class CommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varnak-tools-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    ring_ = write("ring4.txt", kRingFile);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string write(const std::string& name, const std::string& text) {
    const fs::path path = folder_ / name;
    std::ofstream(path) << text;
    return path.string();
  }

  struct Run {
    int code;
    std::string out;
    std::string err;
  };

  Run run(std::vector<std::string> args) {
    std::ostringstream out;
    Run result = run_into(out, std::move(args));
    result.out = out.str();
    return result;
  }

  // Runs with standard output going to `out`; Run::out stays empty.
  Run run_into(std::ostream& out, std::vector<std::string> args) {
    args.insert(args.begin(), "varnak-tools");
    std::vector<const char*> argv;
    for (const std::string& arg : args) {
      argv.push_back(arg.c_str());
    }
    std::ostringstream err;
    const int code = run_tools(static_cast<int>(argv.size()), argv.data(), {out, err, false});
    return {code, "", err.str()};
  }

  fs::path folder_;
  std::string ring_;
};

TEST_F(CommandsTest, CommandLineMistakesAndFailuresEndWithTheirCodes) {
  const std::string missing = (folder_ / "absent.txt").string();
  const std::string bad_instance = write("bad.txt", "VNUM:4\nENUM:99999999999\nSRLGNUM:1\n");
  std::string many_srlgs = "VNUM:2\nENUM:1\nSRLGNUM:31\nE:1:1,2\nSRLG:1:1,\n";
  const std::string too_many = write("many.txt", many_srlgs);
  const std::string bad_xml = write("bad.xml", "<VARNAK>\n<SRLGNUM>x</SRLGNUM></VARNAK>");
  const std::string p_missing = write("p_missing.txt", "id,p\n1,0.5\n3,0.5\n");
  const std::string p_twice = write("p_twice.txt", "1,0.5\n2,0.5\n# note\n1,0.6\n3,0.5\n");
  const std::string p_bad_id = write("p_bad_id.txt", "1,0.5\n4,0.5\n");
  const std::string p_bad_p = write("p_bad_p.txt", "1,0.5\n\n2,1.5\n");
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string in_err;  // a piece of the message on standard error
  };
  const std::vector<Case> cases = {
      {{}, 2, "Usage: varnak-tools COMMAND"},
      {{"frobnicate"}, 2, "unknown command \"frobnicate\""},
      {{"--graph", ring_}, 2, "unknown command \"--graph\""},
      {{"estimate", "--graph", ring_, "--N", "10", "--bogus"}, 2, "unrecognised option '--bogus'"},
      {{"reliability", "--gr", ring_, "--exact"},
       2,
       "option '--gr' is ambiguous and matches '--graph', and '--grid'"},
      {{"reliability", "--xml", bad_xml, "--f", "csv"},
       2,
       "option '--f' is ambiguous and matches '--format', and '--free-connected'"},
      {{"estimate", "--N", "10"}, 2, "the option '--graph' is required but missing"},
      {{"estimate", "--graph", ring_, "--N", "0"}, 2, "--N is 0; expected a sample size"},
      {{"estimate", "--graph", ring_, "--N", "ten"}, 2, "('ten') for option '--N' is invalid"},
      {{"estimate", "--graph", ring_, "--N", "10", "--threads", "0"}, 2, "--threads is 0"},
      {{"estimate", "--graph", ring_, "--N", "10", "--seed", "0"}, 2, "--seed is 0"},
      {{"estimate", "--graph", ring_, "--N", "10", "--format", "xml"}, 2, "--format is \"xml\""},
      {{"exact", "--graph", ring_, "stray"}, 2, "too many positional options"},
      {{"reliability", "--graph", ring_}, 2, "either --exact or --N"},
      {{"reliability", "--graph", ring_, "--exact", "--N", "5"}, 2, "either --exact or --N"},
      {{"reliability", "--xml", bad_xml, "--graph", ring_}, 2, "either --xml or --graph"},
      {{"reliability", "--graph", ring_, "--exact", "--free-connected", "yes"},
       2,
       "--free-connected goes with --xml only"},
      {{"reliability", "--xml", bad_xml, "--free-connected", "maybe"},
       2,
       "--free-connected is \"maybe\""},
      {{"reliability", "--graph", ring_, "--exact", "--p", "0.5,1.5"},
       2,
       "--p value \"1.5\" is not a probability"},
      {{"reliability", "--graph", ring_, "--exact", "--p", "0.5", "--grid", "3"},
       2,
       "--p or --grid, not both"},
      {{"reliability", "--graph", ring_, "--exact", "--grid", "1"}, 2, "--grid is 1"},
      {{"reliability", "--graph", ring_, "--exact", "--rank-at", "2"}, 2, "--rank-at is \"2\""},
      {{"exact", "--graph", missing}, 1, "cannot open instance file " + missing + ": no such file"},
      {{"estimate", "--graph", folder_.string(), "--N", "5"}, 1, "it is a directory"},
      {{"exact", "--graph", bad_instance}, 1, bad_instance + " line 2: ENUM \"99999999999\""},
      {{"exact", "--graph", too_many, "--method", "subsets"},
       1,
       too_many + ": exact enumeration handles at most 30"},
      {{"exact", "--graph", ring_, "--method", "fast"}, 2, "--method is \"fast\""},
      {{"exact", "--graph", ring_, "--max-memory", "lots"}, 2, "--max-memory is \"lots\""},
      {{"exact", "--graph", ring_, "--max-memory", "0"}, 2, "--max-memory is \"0\""},
      {{"exact", "--graph", too_many, "--method", "diagram", "--max-memory", "1K"},
       1,
       too_many + ": the decision diagram outgrew the memory budget of 1.0 KiB at level 1 of 1"},
      {{"reliability", "--xml", bad_xml}, 1, bad_xml + " line 2: <SRLGNUM> is \"x\""},
      {{"reliability", "--graph", ring_, "--N", "5", "--srlg-p", p_missing},
       2,
       "--srlg-p goes with --graph and --exact"},
      {{"reliability", "--graph", ring_, "--exact", "--srlg-p", p_missing, "--p", "0.5"},
       2,
       "leave out --p, --grid and --rank-at"},
      {{"reliability", "--graph", ring_, "--exact", "--srlg-p", missing},
       1,
       "cannot open SRLG probability file " + missing},
      {{"reliability", "--graph", ring_, "--exact", "--srlg-p", p_missing},
       1,
       p_missing + ": SRLG 2 has no probability"},
      {{"reliability", "--graph", ring_, "--exact", "--srlg-p", p_twice},
       1,
       p_twice + " line 4: SRLG 1 is given a second time"},
      {{"reliability", "--graph", ring_, "--exact", "--srlg-p", p_bad_id},
       1,
       p_bad_id + " line 2: \"4,0.5\" is not \"id,p\" with an SRLG id from 1 to 3"},
      {{"reliability", "--graph", ring_, "--exact", "--srlg-p", p_bad_p},
       1,
       p_bad_p + " line 3: probability \"1.5\" of SRLG 2 is not a number from 0 to 1"},
      {{"reliability", "--xml", missing}, 1, "cannot open XML result file " + missing},
  };
  for (const Case& test_case : cases) {
    std::string joined;
    for (const std::string& arg : test_case.args) {
      joined += arg + ' ';
    }
    SCOPED_TRACE(joined);
    const Run result = run(test_case.args);
    EXPECT_EQ(result.code, test_case.code);
    EXPECT_NE(result.err.find(test_case.in_err), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty()) << result.out;
  }
}

// As in Varnak: an option may be shortened to any start of its name that no other option
// of the command shares.
TEST_F(CommandsTest, UnambiguousStartsOfOptionNamesStandForTheOptions) {
  struct Case {
    std::vector<std::string> shortened;
    std::vector<std::string> full;
  };
  const std::vector<Case> cases = {
      {{"exact", "--gr", ring_, "--form", "csv"}, {"exact", "--graph", ring_, "--format", "csv"}},
      {{"estimate", "--gra", ring_, "--N", "50", "--se", "3", "--thr", "2", "--fo", "csv"},
       {"estimate", "--graph", ring_, "--N", "50", "--seed", "3", "--threads", "2", "--format",
        "csv"}},
      {{"reliability", "--gra", ring_, "--ex", "--p", "0.5", "--rank", "0.5", "--fo", "csv"},
       {"reliability", "--graph", ring_, "--exact", "--p", "0.5", "--rank-at", "0.5", "--format",
        "csv"}},
  };
  for (const Case& test_case : cases) {
    std::string joined;
    for (const std::string& arg : test_case.shortened) {
      joined += arg + ' ';
    }
    SCOPED_TRACE(joined);
    const Run shortened = run(test_case.shortened);
    const Run full = run(test_case.full);
    ASSERT_EQ(full.code, 0) << full.err;
    EXPECT_EQ(shortened.code, 0);
    EXPECT_TRUE(shortened.err.empty()) << shortened.err;
    EXPECT_FALSE(shortened.out.empty());
    EXPECT_EQ(shortened.out, full.out);
  }
}

TEST_F(CommandsTest, HelpGoesToStandardOutput) {
  struct Case {
    std::vector<std::string> args;
    std::string in_out;
  };
  const std::vector<Case> cases = {
      {{"--help"}, "Commands:"},
      {{"help"}, "reliability"},
      {{"estimate", "--help"}, "Usage: varnak-tools estimate"},
      {{"exact", "-h"}, "Usage: varnak-tools exact"},
      {{"reliability", "--help"}, "--free-connected"},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.args.front());
    const Run result = run(test_case.args);
    EXPECT_EQ(result.code, 0);
    EXPECT_NE(result.out.find(test_case.in_out), std::string::npos) << result.out;
    EXPECT_TRUE(result.err.empty()) << result.err;
  }
}

// The spectrum values of a CSV report, in order.
std::vector<double> csv_spectrum(const std::string& csv) {
  std::istringstream lines(csv);
  std::string line;
  std::vector<double> values;
  while (std::getline(lines, line)) {
    if (line.rfind("spectrum,,", 0) == 0) {
      const std::size_t value_start = line.find(',', 10) + 1;
      values.push_back(std::strtod(line.c_str() + value_start, nullptr));
    }
  }
  return values;
}

TEST_F(CommandsTest, EstimateGivesTheEstimatorsDoublesOnEveryThreadCount) {
  NetworkInstance instance;
  std::ostringstream ignored;
  ASSERT_EQ(load_instance(ring_, instance, ignored), kLoadOk);
  SpectraVector spectrum(3, 0.0);
  BimSpectraMatrix bim(3, SpectraVector(3, 0.0));
  estimate_spectra(spectrum, bim, 2001, 7, instance);

  const Run one =
      run({"estimate", "--graph", ring_, "--N", "2001", "--seed", "7", "--format", "csv"});
  ASSERT_EQ(one.code, 0) << one.err;
  EXPECT_EQ(csv_spectrum(one.out), spectrum);
  for (const std::string threads : {"2", "3"}) {
    SCOPED_TRACE(threads);
    const Run many = run({"estimate", "--graph", ring_, "--N", "2001", "--seed", "7", "--threads",
                          threads, "--format", "csv"});
    ASSERT_EQ(many.code, 0) << many.err;
    EXPECT_EQ(many.out, one.out);
  }
}

// The line of a JSON report that starts with `key`, e.g. its "spectrum" array.
std::string json_line(const std::string& json, const std::string& key) {
  const std::size_t at = json.find("\n  \"" + key + "\": ");
  return at == std::string::npos ? "" : json.substr(at + 1, json.find('\n', at + 1) - at - 1);
}

TEST_F(CommandsTest, EstimateWithoutSeedReportsTheOneItDrew) {
  const Run drawn = run({"estimate", "--graph", ring_, "--N", "50", "--format", "json"});
  ASSERT_EQ(drawn.code, 0) << drawn.err;
  EXPECT_EQ(json_line(drawn.out, "seed_drawn"), "  \"seed_drawn\": true,");
  const std::string seed_line = json_line(drawn.out, "seed");  // `  "seed": 123,`
  const std::string seed = seed_line.substr(10, seed_line.size() - 11);
  const Run again =
      run({"estimate", "--graph", ring_, "--N", "50", "--seed", seed, "--format", "json"});
  ASSERT_EQ(again.code, 0) << again.err;
  EXPECT_EQ(json_line(again.out, "seed_drawn"), "  \"seed_drawn\": false,");
  EXPECT_EQ(json_line(again.out, "spectrum"), json_line(drawn.out, "spectrum"));
  const auto bim_part = [](const std::string& json) {
    return json.substr(json.find("\"bim_spectra\""));
  };
  EXPECT_EQ(bim_part(again.out), bim_part(drawn.out));
}

TEST_F(CommandsTest, XmlFileWrittenByEstimateFeedsReliability) {
  const std::string xml = (folder_ / "run.xml").string();
  const Run estimate = run({"estimate", "--graph", ring_, "--N", "4000", "--seed", "3", "--outpath",
                            xml, "--format", "csv"});
  ASSERT_EQ(estimate.code, 0) << estimate.err;
  // The ring's free edge e4 does not connect it alone, hence --free-connected no.
  const Run from_xml = run({"reliability", "--xml", xml, "--p", "0.25,0.5", "--p", "0.9",
                            "--rank-at", "0.5", "--format", "csv"});
  const Run from_graph = run({"reliability", "--graph", ring_, "--N", "4000", "--seed", "3", "--p",
                              "0.25,0.5,0.9", "--rank-at", "0.5", "--format", "csv"});
  ASSERT_EQ(from_xml.code, 0) << from_xml.err;
  ASSERT_EQ(from_graph.code, 0) << from_graph.err;
  std::istringstream xml_lines(from_xml.out);
  std::istringstream graph_lines(from_graph.out);
  std::string xml_line;
  std::string graph_line;
  int rows = 0;
  while (std::getline(xml_lines, xml_line) && std::getline(graph_lines, graph_line)) {
    ++rows;
    SCOPED_TRACE(graph_line + " | " + xml_line);
    // Same rows, fields and ranks; the values differ only by the file's six decimals.
    const std::vector<std::string> xml_fields = csv_fields(xml_line);
    const std::vector<std::string> graph_fields = csv_fields(graph_line);
    ASSERT_EQ(xml_fields.size(), graph_fields.size());
    for (std::size_t i = 0; i < graph_fields.size(); ++i) {
      char* end = nullptr;
      const double graph_value = std::strtod(graph_fields[i].c_str(), &end);
      if (graph_fields[i].empty() || *end != '\0' || i <= 3) {
        EXPECT_EQ(xml_fields[i], graph_fields[i]) << "field " << i;
      } else {
        EXPECT_NEAR(std::strtod(xml_fields[i].c_str(), nullptr), graph_value, 1e-5)
            << "field " << i;
      }
    }
  }
  EXPECT_FALSE(std::getline(xml_lines, xml_line)) << "more rows from the XML file";
  EXPECT_FALSE(std::getline(graph_lines, graph_line)) << "more rows from the graph";
  EXPECT_EQ(rows, 1 + 3 + 3);
}

TEST_F(CommandsTest, FreeConnectedMustAgreeWithTheFile) {
  const std::string xml = (folder_ / "run.xml").string();
  ASSERT_EQ(run({"estimate", "--graph", ring_, "--N", "100", "--seed", "3", "--outpath", xml}).code,
            0);
  const Run result = run({"reliability", "--xml", xml, "--free-connected", "yes"});
  EXPECT_EQ(result.code, 1);
  EXPECT_NE(result.err.find("--free-connected yes, but <spectra> value 1 is 0.000000"),
            std::string::npos)
      << result.err;
}

// Standard output on a disk that fills after `room` characters.
class FillingDisk : public std::streambuf {
 public:
  explicit FillingDisk(std::size_t room) : room_(room) {}

 protected:
  int_type overflow(int_type character) override {
    if (traits_type::eq_int_type(character, traits_type::eof())) {
      return traits_type::not_eof(character);
    }
    const char byte = traits_type::to_char_type(character);
    return xsputn(&byte, 1) == 1 ? character : traits_type::eof();
  }
  std::streamsize xsputn(const char*, std::streamsize count) override {
    const std::streamsize taken = std::min(count, static_cast<std::streamsize>(room_));
    room_ -= static_cast<std::size_t>(taken);
    return taken;
  }

 private:
  std::size_t room_;
};

TEST_F(CommandsTest, OutputThatDoesNotReachStandardOutputIsReported) {
  const std::string missing_folder = (folder_ / "no" / "run.xml").string();
  const std::string results_lost = "error writing the results to standard output\n";
  struct Case {
    std::vector<std::string> args;
    std::size_t room;
    int code;
    std::string err;  // all of standard error
  };
  const std::vector<Case> cases = {
      {{"exact", "--graph", ring_}, 0, 1, "varnak-tools exact: " + results_lost},
      {{"exact", "--graph", ring_, "--format", "csv"},
       100,
       1,
       "varnak-tools exact: " + results_lost},
      {{"estimate", "--graph", ring_, "--N", "10", "--seed", "1"},
       50,
       1,
       "varnak-tools estimate: " + results_lost},
      {{"reliability", "--graph", ring_, "--exact", "--format", "json"},
       10,
       1,
       "varnak-tools reliability: " + results_lost},
      {{"estimate", "--graph", ring_, "--N", "10", "--seed", "1", "--outpath", missing_folder},
       0,
       1,
       "varnak-tools estimate: Error writing output file " + missing_folder +
           ": No such file or directory\nvarnak-tools estimate: " + results_lost},
      {{"--help"}, 0, 1, "varnak-tools: error writing the help to standard output\n"},
      {{"exact", "--help"},
       30,
       1,
       "varnak-tools exact: error writing the help to standard output\n"},
      // Nothing was to be written: the failure is the command's own, and alone.
      {{"exact", "--graph", missing_folder},
       0,
       1,
       "varnak-tools exact: cannot open instance file " + missing_folder + ": no such file\n"},
      {{"exact", "--format", "csv"},
       0,
       2,
       "varnak-tools exact: the option '--graph' is required but missing\nTry 'varnak-tools "
       "exact --help'.\n"},
      // Room enough for everything: no complaint.
      {{"exact", "--graph", ring_, "--format", "csv"}, 1 << 20, 0, ""},
  };
  for (const Case& test_case : cases) {
    std::string joined;
    for (const std::string& arg : test_case.args) {
      joined += arg + ' ';
    }
    SCOPED_TRACE(joined + "with room for " + std::to_string(test_case.room));
    FillingDisk disk(test_case.room);
    std::ostream out(&disk);
    const Run result = run_into(out, test_case.args);
    EXPECT_EQ(result.code, test_case.code);
    EXPECT_EQ(result.err, test_case.err);
  }
}

TEST_F(CommandsTest, UnwritableXmlFileFailsAfterTheResults) {
  const Run result = run({"estimate", "--graph", ring_, "--N", "10", "--seed", "1", "--outpath",
                          (folder_ / "no" / "such" / "run.xml").string()});
  EXPECT_EQ(result.code, 1);
  EXPECT_NE(result.out.find("Spectrum"), std::string::npos);
  EXPECT_NE(result.err.find("run.xml"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace varnak
