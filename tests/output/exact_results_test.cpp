#include "output/exact_results.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/exact_spectra.hpp"
#include "output/spectra_report.hpp"
#include "tests/support/instance_generator.hpp"

namespace varnak {
namespace {

// The worked ring (tests/support): two of its edges e1, e2, e3 must be up, so of the
// 2-subsets of SRLGs {1, 2} and {2, 3} connect it, and every 3-subset does.
const std::string kRing =
    "{\n"
    "  \"command\": \"exact\",\n"
    "  \"instance\": \"ring.txt\",\n"
    "  \"method\": \"exact\",\n"
    "  \"results_file\": null,\n"
    "  \"srlg_count\": 3,\n"
    "  \"N\": null,\n"
    "  \"seed\": null,\n"
    "  \"seed_drawn\": null,\n"
    "  \"threads\": null,\n"
    "  \"terminals\": null,\n"
    "  \"free_edges_connect\": false,\n"
    "  \"elapsed_seconds\": 0.001,\n"
    "  \"confidence_level\": 0.95,\n"
    "  \"exact_method\": \"subsets\",\n"
    "  \"frontier_width\": null,\n"
    "  \"remembered_srlgs\": null,\n"
    "  \"diagram_nodes\": null,\n"
    "  \"spectrum\": [0, 0.66666666666666663, 1],\n"
    "  \"connected\": [0, 2, 1],\n"
    "  \"subsets\": [3, 3, 1],\n"
    "  \"bim_spectra\": [\n"
    "    [0, 0.33333333333333331, 1],\n"
    "    [0, 0.66666666666666663, 1],\n"
    "    [0, 0.33333333333333331, 1]\n"
    "  ],\n"
    "  \"connected_with\": [\n"
    "    [0, 1, 1],\n"
    "    [0, 2, 1],\n"
    "    [0, 1, 1]\n"
    "  ]\n"
    "}\n";

// The same ring with terminals 1 and 3, which the same subsets connect, and their one pair.
std::string ring_pairwise() {
  std::string text = kRing;
  text.replace(text.find("\"terminals\": null"), 17, "\"terminals\": [1, 3]");
  text.replace(text.rfind("\n}"), 2,
               ",\n  \"pairwise\": [0, 0.66666666666666663, 1],\n  \"pairwise_none_up\": 0,\n"
               "  \"terminal_pairs\": 1,\n  \"connected_pairs\": [0, 2, 1]\n}");
  return text;
}

// `text` with its first `from` made `to`; fails the test when there is none.
std::string changed(const std::string& text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? text : text.substr(0, at) + to + text.substr(at + from.size());
}

TEST(ExactResults, ReadsTheRing) {
  ExactReport report;
  std::string failure;
  ASSERT_EQ(parse_exact_results(kRing, "ring.json", report, failure), 0) << failure;
  const ExactSpectra& exact = report.exact;
  EXPECT_EQ(exact.srlg_count, 3);
  EXPECT_EQ(exact.connected_subsets, (std::vector<ExactCount>{0, 2, 1}));
  EXPECT_EQ(exact.subsets, (std::vector<ExactCount>{3, 3, 1}));
  EXPECT_EQ(exact.connected_subsets_with[1], (std::vector<ExactCount>{0, 2, 1}));
  EXPECT_EQ(exact.spectrum, (SpectraVector{0.0, 2.0 / 3.0, 1.0}));
  EXPECT_EQ(exact.bim_spectra[2], (SpectraVector{0.0, 1.0 / 3.0, 1.0}));
  EXPECT_EQ(exact.method, ExactMethod::kSubsets);
  EXPECT_FALSE(exact.pairwise);
  EXPECT_EQ(report.run.instance_name, "ring.txt");
  EXPECT_EQ(report.run.exact_method, "subsets");
  EXPECT_EQ(report.run.elapsed_seconds, 0.001);
  EXPECT_TRUE(report.run.terminals.empty());

  // A byte-order mark says only that the text is UTF-8; a time of null is not known.
  const std::string marked = "\xEF\xBB\xBF" + changed(kRing, "0.001", "null");
  ASSERT_EQ(parse_exact_results(marked, "ring.json", report, failure), 0) << failure;
  EXPECT_TRUE(std::isnan(report.run.elapsed_seconds));

  ASSERT_EQ(parse_exact_results(ring_pairwise(), "ring.json", report, failure), 0) << failure;
  EXPECT_TRUE(report.exact.pairwise);
  EXPECT_EQ(report.exact.terminal_pairs, 1u);
  EXPECT_EQ(report.exact.connected_pairs, (std::vector<WideCount>{0, 2, 1}));
  EXPECT_EQ(report.run.terminals, (std::vector<std::int32_t>{1, 3}));
}

// What exact computes and writes reads back to the very counts and doubles, counts beyond
// 64 bits included.
TEST(ExactResults, ReadsBackWhatExactWrites) {
  // A ring of 90 links, each its own SRLG: connected with at most one link down. C(90, 45)
  // is about 1.2e26.
  NetworkInstance long_ring;
  long_ring.vertex_count = long_ring.edge_count = long_ring.srlg_count = 90;
  for (std::int32_t i = 1; i <= 90; ++i) {
    long_ring.edges[i] = {i, i % 90 + 1};
    long_ring.srlgs[i] = {i};
    long_ring.edge_srlg_count[i] = 1;
  }
  struct Case {
    std::string name;
    NetworkInstance instance;
    ExactOptions options;
  };
  ExactOptions pairwise;
  pairwise.terminals = {1, 3};
  pairwise.pairwise = true;
  ExactOptions diagram;
  diagram.method = ExactMethod::kDiagram;
  const std::vector<Case> cases = {
      {"ring", test_networks::worked_ring(), {}},
      {"ring pairwise", test_networks::worked_ring(), pairwise},
      {"small ring network by the diagram",
       test_networks::make_ring_network(test_networks::small_shape(), 3), diagram},
      {"90 SRLGs", long_ring, diagram},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    ExactReport written;
    std::string failure;
    ASSERT_EQ(compute_exact_spectra(test_case.instance, test_case.options, written.exact, failure),
              0)
        << failure;
    written.run.method = "exact";
    written.run.srlg_count = written.exact.srlg_count;
    written.run.free_edges_connect = written.exact.free_edges_connect;
    written.run.terminals = test_case.options.terminals;
    written.run.exact_method = method_name(written.exact.method);
    written.run.diagram = written.exact.diagram;
    std::ostringstream text;
    write_exact_report(text, written, OutputFormat::kJson);
    ExactReport read;
    ASSERT_EQ(parse_exact_results(text.str(), "exact.json", read, failure), 0) << failure;
    EXPECT_EQ(read.exact.connected_subsets, written.exact.connected_subsets);
    EXPECT_EQ(read.exact.connected_subsets_with, written.exact.connected_subsets_with);
    EXPECT_EQ(read.exact.subsets, written.exact.subsets);
    EXPECT_EQ(read.exact.spectrum, written.exact.spectrum);
    EXPECT_EQ(read.exact.bim_spectra, written.exact.bim_spectra);
    EXPECT_EQ(read.exact.method, written.exact.method);
    EXPECT_EQ(read.exact.diagram.nodes, written.exact.diagram.nodes);
    EXPECT_EQ(read.exact.pairwise, written.exact.pairwise);
    EXPECT_EQ(read.exact.connected_pairs, written.exact.connected_pairs);
    EXPECT_EQ(read.exact.pairwise_shares, written.exact.pairwise_shares);
    EXPECT_EQ(read.run.terminals, written.run.terminals);
  }
}

struct Refusal {
  std::string name;
  std::string text;
  std::string message;  // a part of the message, after "ring.json"
};

TEST(ExactResults, RefusesWhatExactCannotWrite) {
  const std::string deep = std::string(3000, '[') + std::string(3000, ']');
  const std::vector<Refusal> cases = {
      // Shares outside [0, 1], or not the quotients of their counts.
      {"spectrum out of range", changed(kRing, "[0, 0.66666666666666663, 1]", "[5, -1, NaN]"),
       " line 19: value 1 of \"spectrum\" is \"5\"; expected a share from 0 to 1"},
      {"spectrum NaN", changed(kRing, "\"spectrum\": [0,", "\"spectrum\": [NaN,"),
       " line 19: value 1 of \"spectrum\" is \"NaN\"; expected a share from 0 to 1"},
      {"spectrum rounded", changed(kRing, "0.66666666666666663", "0.6667"),
       " line 19: value 2 of \"spectrum\" is \"0.6667\"; expected 0.66666666666666663, "
       "\"connected\" / \"subsets\" = 2 / 3"},
      {"BIM below 0", changed(kRing, "[0, 0.33333333333333331, 1]", "[0, -0.99, 1]"),
       " line 23: value 2 of row 1 of \"bim_spectra\" is \"-0.99\"; expected a share from 0 "
       "to 1"},
      {"BIM not its counts", changed(kRing, "[0, 0.33333333333333331, 1]", "[0, 0.5, 1]"),
       " line 23: value 2 of row 1 of \"bim_spectra\" is \"0.5\"; expected "
       "0.33333333333333331, \"connected_with\" / \"subsets\" = 1 / 3"},
      // Shapes that srlg_count does not give.
      {"two values for srlg_count 3",
       changed(kRing, "[0, 0.66666666666666663, 1]", "[0.66666666666666663, 1]"),
       ": srlg_count is 3, but \"spectrum\" holds 2 values; expected one for each k"},
      {"a short BIM row",
       changed(kRing, "    [0, 1, 1],\n    [0, 2, 1]", "    [0, 1],\n    [0, 2, 1]"),
       ": srlg_count is 3, but \"connected_with\" is not 3 rows of 3 values"},
      // Counts that no set of subsets has.
      {"subsets not C(S, k)", changed(kRing, "[3, 3, 1]", "[3, 4, 1]"),
       " line 21: value 2 of \"subsets\" is \"4\"; expected 3"},
      {"connected above the subsets", changed(kRing, "[0, 2, 1]", "[0, 4, 1]"),
       " line 20: value 2 of \"connected\" is \"4\"; expected a whole number from 0 to 3"},
      {"a negative count", changed(kRing, "[0, 2, 1]", "[-1, 2, 1]"),
       " line 20: value 1 of \"connected\" is \"-1\"; expected a whole number from 0 to 3"},
      {"a count in a string", changed(kRing, "[0, 2, 1]", "[0, \"2\", 1]"),
       " line 20: value 2 of \"connected\" is the string \"2\"; expected a whole number"},
      {"a fraction for a count", changed(kRing, "[0, 2, 1]", "[0, 2.0, 1]"),
       " line 20: value 2 of \"connected\" is \"2.0\"; expected a whole number"},
      {"a share that falls",
       changed(changed(kRing, "[0, 2, 1]", "[0, 2, 0]"), "0.66666666666666663, 1]",
               "0.66666666666666663, 0]"),
       " line 20: value 3 of \"connected\" is \"0\", a share 0 / 1 below the 2 / 3 of k 2; "
       "expected no smaller share as k grows"},
      {"free edges that connect, and subsets that do not",
       changed(kRing, "\"free_edges_connect\": false", "\"free_edges_connect\": true"),
       " line 20: \"free_edges_connect\" is true, but value 1 of \"connected\" is \"0\"; "
       "expected every subset, 3, to connect"},
      {"free_edges_connect not a boolean",
       changed(kRing, "\"free_edges_connect\": false", "\"free_edges_connect\": \"maybe\""),
       " line 12: \"free_edges_connect\" is the string \"maybe\"; expected true or false"},
      {"a BIM count below those without the SRLG",
       changed(kRing, "    [0, 1, 1],\n    [0, 2", "    [0, 0, 1],\n    [0, 2"),
       " line 28: value 2 of row 1 of \"connected_with\" is \"0\"; expected a whole number "
       "from 1 to 2"},
      {"a BIM column that does not add up",
       changed(changed(kRing, "    [0, 1, 1],\n    [0, 2", "    [0, 2, 1],\n    [0, 2"),
               "[0, 0.33333333333333331, 1],\n    [0, 0.666",
               "[0, 0.66666666666666663, 1],\n    [0, 0.666"),
       ": column 2 of \"connected_with\" adds up to 5; expected 2 times 2"},
      // How the counts were found.
      {"the diagram without its figures",
       changed(kRing, "\"exact_method\": \"subsets\"", "\"exact_method\": \"diagram\""),
       " line 15: \"exact_method\" is \"diagram\" without \"frontier_width\""},
      {"the diagram's figures without it",
       changed(kRing, "\"diagram_nodes\": null", "\"diagram_nodes\": 7"),
       " line 18: \"exact_method\" is \"subsets\" with \"diagram_nodes\""},
      {"no search, yet some subsets connect and some do not",
       changed(kRing, "\"exact_method\": \"subsets\"", "\"exact_method\": \"none\""),
       " line 15: \"exact_method\" is \"none\", but some subsets connect and some do not"},
      {"a method exact does not have",
       changed(kRing, "\"exact_method\": \"subsets\"", "\"exact_method\": \"guess\""),
       " line 15: \"exact_method\" is the string \"guess\"; expected \"subsets\", \"diagram\" "
       "or \"none\""},
      // What an exact report does not hold, or holds once.
      {"another command", changed(kRing, "\"command\": \"exact\"", "\"command\": \"estimate\""),
       " line 2: \"command\" is the string \"estimate\"; expected \"exact\""},
      {"samples", changed(kRing, "\"N\": null", "\"N\": 1000"),
       " line 7: \"N\" is \"1000\"; expected null: exact takes no samples"},
      {"a key twice", changed(kRing, "\"srlg_count\": 3,", "\"srlg_count\": 3, \"srlg_count\": 3,"),
       " line 6: \"srlg_count\" is given twice; expected each key once"},
      {"no subsets", changed(kRing, "  \"subsets\": [3, 3, 1],\n", ""),
       ": no \"subsets\"; expected the JSON report of varnak-tools exact"},
      {"a negative time", changed(kRing, "0.001", "-1"),
       " line 13: \"elapsed_seconds\" is \"-1\"; expected seconds from 0 up"},
      {"a terminal twice", changed(kRing, "\"terminals\": null", "\"terminals\": [2, 2]"),
       ": the terminals are fewer than two or repeat an id"},
      {"more after the report", kRing + "x", " line 33: the report goes on with \"x\""},
      // Nesting: refused at once where a value is expected, and past 64 deep elsewhere.
      {"a nested spectrum", changed(kRing, "[0, 0.66666666666666663, 1]", deep),
       " line 19: value 1 of \"spectrum\" is \"" + std::string(20, '[') + "\"; expected a number"},
      {"nested thousands deep", changed(kRing, "\"confidence_level\": 0.95", "\"x\": " + deep),
       " line 14: the value of \"x\" is not JSON (or is nested more than 64 deep)"},
      // Pairwise figures: all or none, and consistent with the terminals and the counts.
      {"pairwise alone",
       changed(kRing, "\"diagram_nodes\": null", "\"diagram_nodes\": null, \"terminal_pairs\": 1"),
       ": no \"pairwise\" beside the other pairwise figures; expected all four of --pairwise"},
      {"pairs that the terminals do not make",
       changed(ring_pairwise(), "\"terminals\": [1, 3]", "\"terminals\": [1, 3, 4]"),
       " line 34: \"terminal_pairs\" is \"1\", but 3 terminals make 3 pairs"},
      {"more pairs than the subsets have",
       changed(ring_pairwise(), "\"connected_pairs\": [0, 2, 1]", "\"connected_pairs\": [0, 4, 1]"),
       " line 35: value 2 of \"connected_pairs\" is \"4\"; expected a whole number from 2 (the "
       "connected subsets' pairs) to 3"},
      {"a pairwise share not its counts",
       changed(ring_pairwise(), "\"pairwise\": [0, 0.66666666666666663", "\"pairwise\": [0, 0.7"),
       " line 32: value 2 of \"pairwise\" is \"0.7\"; expected 0.66666666666666663, "
       "\"connected_pairs\" / (\"subsets\" times \"terminal_pairs\") = 2 / 3"},
  };
  for (const Refusal& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    ExactReport report;
    std::string failure;
    EXPECT_EQ(parse_exact_results(test_case.text, "ring.json", report, failure), 1);
    EXPECT_EQ(failure.rfind("ring.json" + test_case.message, 0), 0u) << failure;
  }
}

// One reader for both reports that hold spectra: the command tells which.
TEST(SpectraReport, TellsTheReportsApartByTheirCommand) {
  SpectraReport report;
  std::string failure;
  ASSERT_EQ(parse_spectra_report(kRing, "ring.json", report, failure), 0) << failure;
  EXPECT_TRUE(report.exact);
  EXPECT_EQ(report.exact_report.exact.connected_subsets[1], 2);

  const std::string estimate =
      "{\"command\": \"estimate\", \"srlg_count\": 1, \"N\": 2, \"seed\": 1, \"connected\": [2], "
      "\"connected_with\": [[2]], \"elapsed_seconds\": 0.5}";
  ASSERT_EQ(parse_spectra_report(estimate, "e.json", report, failure), 0) << failure;
  EXPECT_FALSE(report.exact);
  EXPECT_EQ(report.estimate.counts.connected, (std::vector<std::int64_t>{2}));
  EXPECT_EQ(report.estimate.run.elapsed_seconds, 0.5);

  const std::vector<Refusal> cases = {
      {"another command", changed(kRing, "\"exact\",\n  \"instance\"", "\"cuts\",\n  \"instance\""),
       " line 2: \"command\" is the string \"cuts\"; expected \"estimate\" or \"exact\""},
      {"an exact report with a flaw", changed(kRing, "[3, 3, 1]", "[3, 3, 2]"),
       " line 21: value 3 of \"subsets\" is \"2\"; expected 1"},
      {"a key twice, on a line of its own", "{\"command\": \"estimate\",\n\"N\": 2,\n\"N\": 3}",
       " line 3: \"N\" is given twice"},
      {"a number where a string is due: the estimate's reader tells",
       changed(estimate, "\"N\": 2", "\"N\": \"1000\""),
       " line 1: \"N\" is the string \"1000\"; expected a whole number from 1 to 2147483647"},
  };
  for (const Refusal& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    EXPECT_EQ(parse_spectra_report(test_case.text, "ring.json", report, failure), 1);
    EXPECT_EQ(failure.rfind("ring.json" + test_case.message, 0), 0u) << failure;
  }
}

}  // namespace
}  // namespace varnak
