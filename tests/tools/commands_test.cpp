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

// The rows of a CSV report, its `# key: value` lines left out.
std::string csv_table(const std::string& csv) {
  std::istringstream lines(csv);
  std::string line;
  std::string table;
  while (std::getline(lines, line)) {
    if (line.rfind("# ", 0) != 0) {
      table += line + '\n';
    }
  }
  return table;
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
  std::string on_one_edge = "VNUM:2\nENUM:1\nSRLGNUM:31\nE:1:1,2\n";
  for (int srlg = 1; srlg <= 31; ++srlg) {
    on_one_edge += "SRLG:" + std::to_string(srlg) + ":1\n";
  }
  const std::string one_edge_many_srlgs = write("one_edge.txt", on_one_edge);
  // Vertex 3 has no edge: cut off whatever is up.
  const std::string cut_from_start =
      write("apart.txt", "VNUM:3\nENUM:1\nSRLGNUM:1\nE:1:1,2\nSRLG:1:1\n");
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
      {{"reliability", "--xml", bad_xml, "--graph", ring_},
       2,
       "one of --xml, --results and --graph"},
      {{"reliability", "--p", "0.5"}, 2, "one of --xml, --results and --graph"},
      {{"reliability", "--results", bad_xml, "--N", "5"},
       2,
       "--exact, --N and --seed need --graph"},
      {{"reliability", "--results", bad_xml, "--free-connected", "yes"},
       2,
       "--free-connected goes with --xml only"},
      {{"reliability", "--results", bad_xml}, 1, "this is an XML file"},
      {{"reliability", "--results", missing}, 1, "cannot open result file " + missing},
      {{"reliability", "--graph", ring_, "--exact", "--tail-exact"},
       2,
       "--tail-exact goes with --graph and --N"},
      {{"reliability", "--graph", ring_, "--N", "9", "--tail-exact", "0"},
       2,
       "--tail-exact is \"0\""},
      {{"reliability", "--graph", ring_, "--N", "9", "--p", "0.9", "--rel-error", "0.1"},
       2,
       "--rel-error needs --max-N"},
      {{"reliability", "--graph", ring_, "--N", "9", "--p", "0.9", "--rel-error", "1.5", "--max-N",
        "99"},
       2,
       "--rel-error is 1.5"},
      {{"reliability", "--graph", ring_, "--N", "9", "--grid", "3", "--rel-error", "0.1", "--max-N",
        "99"},
       2,
       "give --rank-at or one --p"},
      {{"reliability", "--graph", ring_, "--N", "100", "--p", "0.9", "--rel-error", "0.1",
        "--max-N", "99"},
       2,
       "--max-N is 99; expected at least --N, 100"},
      {{"reliability", "--graph", ring_, "--N", "100", "--max-N", "200"},
       2,
       "--max-N goes with --rel-error"},
      {{"cuts", "--graph", ring_}, 2, "the option '--max-size' is required but missing"},
      {{"cuts", "--graph", ring_, "--max-size", "0"}, 2, "--max-size is 0"},
      {{"cuts", "--graph", cut_from_start, "--max-size", "1"},
       1,
       cut_from_start + ": the network is not connected even with every SRLG up"},
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
      // The 31 x 31 result tables alone are over the budget: refused before any work.
      {{"exact", "--graph", too_many, "--method", "diagram", "--max-memory", "1K"},
       1,
       too_many + ": 31 SRLGs need 37.5 KiB for the exact result tables, more than the memory "
                  "budget of 1.0 KiB"},
      {{"reliability", "--graph", too_many, "--exact", "--max-memory", "1K"},
       1,
       too_many + ": 31 SRLGs need 37.5 KiB for the exact result tables"},
      // The tables fit; the diagram of 31 SRLGs on one edge does not.
      {{"exact", "--graph", one_edge_many_srlgs, "--method", "diagram", "--max-memory", "38K"},
       1,
       one_edge_many_srlgs + ": the decision diagram outgrew the memory budget of 38.0 KiB at "
                             "level 12 of 31"},
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
    EXPECT_EQ(csv_table(shortened.out), csv_table(full.out));
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

TEST_F(CommandsTest, EstimateGivesTheEstimatorsCountsOnEveryThreadCount) {
  NetworkInstance instance;
  std::ostringstream ignored;
  ASSERT_EQ(load_instance(ring_, instance, ignored), kLoadOk);
  const SpectraCounts counts = estimate_counts(2001, 7, instance);
  SpectraVector spectrum;
  for (const std::int64_t connected : counts.connected) {
    spectrum.push_back(static_cast<double>(connected) / 2001);
  }

  const Run one = run({"estimate", "--graph", ring_, "--N", "2001", "--seed", "7", "--threads", "1",
                       "--format", "csv"});
  ASSERT_EQ(one.code, 0) << one.err;
  EXPECT_EQ(csv_spectrum(one.out), spectrum);
  EXPECT_NE(one.out.find("\n# threads: 1\n"), std::string::npos);
  for (const std::string threads : {"2", "3"}) {
    SCOPED_TRACE(threads);
    const Run many = run({"estimate", "--graph", ring_, "--N", "2001", "--seed", "7", "--threads",
                          threads, "--format", "csv"});
    ASSERT_EQ(many.code, 0) << many.err;
    EXPECT_EQ(csv_table(many.out), csv_table(one.out));
    EXPECT_NE(many.out.find("\n# threads: " + threads + "\n"), std::string::npos);
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
  std::istringstream xml_lines(csv_table(from_xml.out));
  std::istringstream graph_lines(csv_table(from_graph.out));
  std::string xml_line;
  std::string graph_line;
  int rows = 0;
  // series,p,rank,srlg,value,low,high,unreliability,reliability_up,reliability_down,resolved,
  // tie_group
  const std::vector<std::size_t> values = {4, 7, 8, 9};
  const std::vector<std::size_t> intervals = {5, 6, 10};
  while (std::getline(xml_lines, xml_line) && std::getline(graph_lines, graph_line)) {
    ++rows;
    SCOPED_TRACE(graph_line + " | " + xml_line);
    // Same rows; R differs only by the file's six decimals, and the file, without counts,
    // has no intervals.
    const std::vector<std::string> xml_fields = csv_fields(xml_line);
    const std::vector<std::string> graph_fields = csv_fields(graph_line);
    ASSERT_EQ(xml_fields.size(), 12u);
    ASSERT_EQ(graph_fields.size(), 12u);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(xml_fields[i], graph_fields[i]) << "field " << i;
    }
    // Importance from a file without the counts of the SRLG that connected each sample is
    // the BIM sums' estimate, another estimator than the run's: only its rows are compared.
    const bool importance = xml_fields[0] == "importance";
    for (const std::size_t i :
         rows == 1 || importance ? std::vector<std::size_t>{} : values) {
      EXPECT_EQ(xml_fields[i].empty(), graph_fields[i].empty()) << "field " << i;
      EXPECT_NEAR(std::strtod(xml_fields[i].c_str(), nullptr),
                  std::strtod(graph_fields[i].c_str(), nullptr), 1e-5)
          << "field " << i;
    }
    if (rows == 1) {
      EXPECT_EQ(xml_line, graph_line);  // the header
      continue;
    }
    for (const std::size_t i : intervals) {
      EXPECT_TRUE(xml_fields[i].empty()) << "field " << i;
    }
    EXPECT_FALSE(graph_fields[5].empty());
  }
  EXPECT_FALSE(std::getline(xml_lines, xml_line)) << "more rows from the XML file";
  EXPECT_FALSE(std::getline(graph_lines, graph_line)) << "more rows from the graph";
  EXPECT_EQ(rows, 1 + 3 + 3);
}

// The JSON and CSV reports keep the counts, so reliability made from them is the very
// figure that the same estimate made inside reliability gives, intervals and ranks alike.
// With a terminal set and pairs counted, the report keeps them too: the same terminals and
// the same pairwise curve.
TEST_F(CommandsTest, EstimateReportsFeedReliabilityWithoutLoss) {
  const std::vector<std::string> figures = {"--p", "0.3,0.9,0.999", "--rank-at",
                                            "0.9", "--format",      "csv"};
  for (const std::vector<std::string>& asked :
       {std::vector<std::string>{}, std::vector<std::string>{"--terminals", "1,3", "--pairwise"}}) {
    SCOPED_TRACE(asked.empty() ? "every vertex" : "terminals 1,3 and pairs");
    std::vector<std::string> direct_args = {"reliability", "--graph", ring_,       "--N", "3001",
                                            "--seed",      "4",       "--threads", "2"};
    direct_args.insert(direct_args.end(), asked.begin(), asked.end());
    direct_args.insert(direct_args.end(), figures.begin(), figures.end());
    const Run direct = run(direct_args);
    ASSERT_EQ(direct.code, 0) << direct.err;
    for (const std::string format : {"json", "csv"}) {
      SCOPED_TRACE(format);
      std::vector<std::string> estimate_args = {"estimate", "--graph", ring_,      "--N", "3001",
                                                "--seed",   "4",       "--format", format};
      estimate_args.insert(estimate_args.end(), asked.begin(), asked.end());
      const Run estimate = run(estimate_args);
      ASSERT_EQ(estimate.code, 0) << estimate.err;
      const std::string report = write("estimate." + format, estimate.out);
      std::vector<std::string> args = {"reliability", "--results", report};
      args.insert(args.end(), figures.begin(), figures.end());
      const Run from_report = run(args);
      ASSERT_EQ(from_report.code, 0) << from_report.err;
      EXPECT_EQ(csv_table(from_report.out), csv_table(direct.out));
      EXPECT_NE(from_report.out.find("\n# seed: 4\n# seed_drawn: false\n"), std::string::npos);
      EXPECT_NE(from_report.out.find("\n# results_file: estimate." + format + "\n"),
                std::string::npos);
      EXPECT_EQ(from_report.out.find("\n# terminals: 1 3\n") != std::string::npos, !asked.empty());
      EXPECT_EQ(from_report.out.find("\npairwise,") != std::string::npos, !asked.empty());
    }
  }
}

// An exact report holds the exact spectra: reliability from it is the exact run's, to the
// last digit, with terminals and the pairwise curve.
TEST_F(CommandsTest, ExactReportsFeedReliabilityWithoutLoss) {
  for (const std::vector<std::string>& asked :
       {std::vector<std::string>{}, std::vector<std::string>{"--terminals", "1,3", "--pairwise"}}) {
    SCOPED_TRACE(asked.empty() ? "every vertex" : "terminals 1,3 and pairs");
    std::vector<std::string> exact_args = {"exact", "--graph", ring_, "--format", "json"};
    exact_args.insert(exact_args.end(), asked.begin(), asked.end());
    const Run exact = run(exact_args);
    ASSERT_EQ(exact.code, 0) << exact.err;
    const std::vector<std::string> figures = {"--p", "0.3,0.9",  "--rank-at",
                                              "0.9", "--format", "csv"};
    std::vector<std::string> direct_args = {"reliability", "--graph", ring_, "--exact"};
    direct_args.insert(direct_args.end(), asked.begin(), asked.end());
    direct_args.insert(direct_args.end(), figures.begin(), figures.end());
    std::vector<std::string> report_args = {"reliability", "--results",
                                            write("exact.json", exact.out)};
    report_args.insert(report_args.end(), figures.begin(), figures.end());
    const Run direct = run(direct_args);
    const Run from_report = run(report_args);
    ASSERT_EQ(direct.code, 0) << direct.err;
    ASSERT_EQ(from_report.code, 0) << from_report.err;
    EXPECT_EQ(csv_table(from_report.out), csv_table(direct.out));
    EXPECT_NE(from_report.out.find("\n# results_file: exact.json\n"), std::string::npos);
    EXPECT_EQ(from_report.out.find("\npairwise,") != std::string::npos, !asked.empty());
  }
}

TEST_F(CommandsTest, ReportsThatNoEstimateWritesAreRefused) {
  const std::string json_head =
      "{\"command\": \"estimate\", \"srlg_count\": 2, \"N\": 10, \"seed\": 1,\n";
  const std::string csv_head =
      "# command: estimate\n# srlg_count: 2\n# N: 10\n"
      "series,srlg,k,value,connected,wilson_low,wilson_high,band_low,band_high\n";
  struct Case {
    std::string name;
    std::string text;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"a.json", json_head + "\"connected\": [4, 10], \"connected_with\": [[3, 10], [2, 10]]}",
       "a.json: connected_with column 1 adds up to 5; expected 1 times 4"},
      {"b.json", json_head + "\"connected\": [4, 11], \"connected_with\": [[2, 10], [2, 10]]}",
       "connected count 2 is 11; expected at most N = 10"},
      {"c.json", json_head + "\"connected\": [4, 10]}", "no \"connected_with\""},
      {"d.json", json_head + "\"connected\": [4, -1]}",
       "d.json line 2: value 2 of \"connected\" is \"-1\""},
      {"e.json", "{\"command\": \"cuts\"}",
       "e.json line 1: \"command\" is the string \"cuts\"; expected \"estimate\" or \"exact\""},
      {"f.json", json_head + "\"connected\": [4, 10], \"connected_with\": [[4, 10], [0, 10]]} x",
       "f.json line 2: the report goes on with \"x\""},
      {"g.csv", csv_head + "spectrum,,1,0.4,4,,,,\nspectrum,,2,1,10,,,,\nbim,1,1,0.4,4,,,,\n",
       "no bim row for srlg 2, k 1"},
      {"h.csv", csv_head + "spectrum,,3,0.4,4,,,,\n", "h.csv line 5: k is \"3\"; expected 1 to 2"},
      {"i.csv", csv_head + "spectrum,,1,0.4,4,,,,\nspectrum,,1,0.4,4,,,,\n",
       "i.csv line 6: a second spectrum row for k 1"},
      {"j.csv", "# command: estimate\n# N: 10\nseries,srlg,k\n", "no # srlg_count line"},
      {"k.csv", "# command: estimate\n# srlg_count: 100000\n# N: 10\nseries,srlg,k,connected\n",
       "srlg_count 100000 needs 10000100000 rows, more than the rest of the file can hold"},
      // Pairs counted with --pairwise: at most C(T, 2) a sample, all of them once connected.
      {"p1.json",
       json_head + "\"connected\": [4, 10], \"connected_with\": [[2, 10], [2, 10]], "
                   "\"terminals\": [1, 3], \"terminal_pairs\": 1, \"pairwise_none_up\": 0, "
                   "\"connected_pairs\": [4, 11]}",
       "connected pairs count 2 is 11; expected from 10 (the connected samples' pairs) to 10"},
      {"p2.json",
       json_head + "\"connected\": [4, 10], \"connected_with\": [[2, 10], [2, 10]], "
                   "\"terminals\": [1, 3, 4], \"terminal_pairs\": 1, \"pairwise_none_up\": 0, "
                   "\"connected_pairs\": [4, 10]}",
       "terminal_pairs is 1, but 3 terminals make 3 pairs"},
      {"p3.json",
       json_head + "\"connected\": [4, 10], \"connected_with\": [[2, 10], [2, 10]], "
                   "\"terminal_pairs\": 1, \"connected_pairs\": [4, 10]}",
       "no \"pairwise_none_up\" beside the other pairwise figures"},
      {"p4.json",
       json_head + "\"connected\": [4, 10], \"connected_with\": [[2, 10], [2, 10]], "
                   "\"terminals\": [1, 1]}",
       "the terminals are fewer than two or repeat an id"},
      {"p5.csv",
       "# command: estimate\n# srlg_count: 2\n# N: 10\n# terminal_pairs: 1\n"
       "# pairwise_none_up: 0\n"
       "series,srlg,k,value,connected,wilson_low,wilson_high,band_low,band_high\n"
       "pairwise,,1,0.4,4,,,,\npairwise,,1,0.4,4,,,,\n",
       "p5.csv line 8: a second pairwise row for k 1"},
      // The samples each SRLG connected add up, at each k, to those that first connect there.
      {"c1.json",
       json_head + "\"connected\": [4, 10], \"connected_with\": [[2, 10], [2, 10]], "
                   "\"critical\": [[2, 3], [2, 2]]}",
       "critical column 2 adds up to 5; expected the 6 samples that first connect there"},
      {"c2.csv",
       csv_head + "spectrum,,1,0.4,4,,,,\nspectrum,,2,1,10,,,,\nbim,1,1,0.2,2,,,,\n"
                  "bim,1,2,1,10,,,,\nbim,2,1,0.2,2,,,,\nbim,2,2,1,10,,,,\ncritical,1,1,,4,,,,\n"
                  "critical,1,1,,4,,,,\n",
       "c2.csv line 12: a second critical row for srlg 1, k 1"},
      // Reading stops early: what a device such as /dev/zero gives, and a report padded
      // far past what its SRLG count allows.
      {"zeros.json", std::string(70000, '\0'), "zeros.json: no srlg_count in its first 64 KiB"},
      {"padded.json", json_head + std::string(300000, ' '),
       "padded.json: longer than 64.6 KiB, more than a report of its srlg_count can be"},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    const Run result = run({"reliability", "--results", write(test_case.name, test_case.text)});
    EXPECT_EQ(result.code, 1);
    EXPECT_NE(result.err.find(test_case.message), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty());
  }
}

// A run that sampled until it was precise enough is the fixed-N run at the N it reports.
TEST_F(CommandsTest, RelativeErrorStopsAtAFixedNRun) {
  const Run until = run({"reliability", "--graph", ring_, "--N", "500", "--seed", "5", "--p", "0.9",
                         "--rel-error", "0.02", "--max-N", "1000000", "--format", "csv"});
  ASSERT_EQ(until.code, 0) << until.err;
  const std::size_t at = until.out.find("\n# N: ");
  ASSERT_NE(at, std::string::npos);
  const std::string n = until.out.substr(at + 6, until.out.find('\n', at + 1) - at - 6);
  EXPECT_GT(std::stoi(n), 500);
  EXPECT_NE(until.out.find("# stop_reason: relative error reached\n"), std::string::npos);
  const Run fixed = run(
      {"reliability", "--graph", ring_, "--N", n, "--seed", "5", "--p", "0.9", "--format", "csv"});
  ASSERT_EQ(fixed.code, 0) << fixed.err;
  EXPECT_EQ(csv_table(until.out), csv_table(fixed.out));
  // Half-width at most 2% of 1 - R: the row's value, low and unreliability.
  const std::string table = csv_table(until.out);
  const std::size_t row_start = table.find("\nreliability,") + 1;
  const std::vector<std::string> row =
      csv_fields(table.substr(row_start, table.find('\n', row_start) - row_start));
  const double reliability = std::stod(row[4]);
  EXPECT_LE(reliability - std::stod(row[5]), 0.02 * std::stod(row[7]));

  const Run capped = run({"reliability", "--graph", ring_, "--N", "500", "--seed", "5", "--p",
                          "0.9", "--rel-error", "0.001", "--max-N", "3000", "--format", "csv"});
  ASSERT_EQ(capped.code, 0) << capped.err;
  EXPECT_NE(capped.out.find("\n# N: 3000\n"), std::string::npos);
  EXPECT_NE(capped.out.find("# stop_reason: --max-N reached\n"), std::string::npos);
}

// With every failure size counted, 1 - R(p) is exact however few the samples.
TEST_F(CommandsTest, TailExactCountsTheSmallFailures) {
  const Run exact =
      run({"reliability", "--graph", ring_, "--exact", "--p", "0.99,0.5", "--format", "csv"});
  const Run tail = run({"reliability", "--graph", ring_, "--N", "20", "--seed", "1", "--p",
                        "0.99,0.5", "--tail-exact", "--format", "csv"});
  ASSERT_EQ(exact.code, 0) << exact.err;
  ASSERT_EQ(tail.code, 0) << tail.err;
  EXPECT_NE(tail.out.find("\n# exact_tail_depth: 3\n"), std::string::npos);
  std::istringstream tail_rows(csv_table(tail.out));
  std::istringstream exact_rows(csv_table(exact.out));
  std::string tail_row;
  std::string exact_row;
  std::getline(tail_rows, tail_row);  // the header
  std::getline(exact_rows, exact_row);
  int rows = 0;
  while (std::getline(tail_rows, tail_row) && std::getline(exact_rows, exact_row)) {
    ++rows;
    SCOPED_TRACE(tail_row);
    const std::vector<std::string> from_tail = csv_fields(tail_row);
    const std::vector<std::string> from_exact = csv_fields(exact_row);
    // R(p) and its point interval to the last digit; 1 - R summed apart, to its rounding.
    for (const std::size_t field : {1, 4, 5, 6}) {
      EXPECT_EQ(from_tail[field], from_exact[field]);
    }
    EXPECT_NEAR(std::stod(from_tail[7]), std::stod(from_exact[7]), 1e-15);
  }
  EXPECT_EQ(rows, 2);
}

TEST_F(CommandsTest, CutsListsTheMinimalCutSets) {
  // The ring: SRLG 2 alone isolates vertex 3; SRLGs 1 and 3 together leave {1, 4} and
  // {2, 3}, and the piece with vertex 1 is kept as the rest.
  const Run csv = run({"cuts", "--graph", ring_, "--max-size", "3", "--format", "csv"});
  ASSERT_EQ(csv.code, 0) << csv.err;
  EXPECT_EQ(csv_table(csv.out), "size,srlgs,cut_off\n1,2,3\n2,1 3,2 3\n");
  EXPECT_NE(csv.out.find("# count_by_size: 1 1 0\n"), std::string::npos);
  const Run json = run({"cuts", "--graph", ring_, "--max-size", "1", "--format", "json"});
  ASSERT_EQ(json.code, 0) << json.err;
  EXPECT_NE(json.out.find("\"count_by_size\": [0, 1],\n  \"cut_sets\": [\n    {\"srlgs\": [2], "
                          "\"cut_off\": [3]}\n  ]\n}\n"),
            std::string::npos)
      << json.out;
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
