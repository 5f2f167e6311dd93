// Terminal sets and pairwise connectivity, exact and estimated, against brute force and
// against the all-terminal results they must reduce to.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/cut_sets.hpp"
#include "analysis/exact_spectra.hpp"
#include "estimation/spectra_estimator.hpp"
#include "instance/terminal_plan.hpp"
#include "tests/analysis/grid_network.hpp"
#include "tests/analysis/subset_brute_force.hpp"
#include "tests/support/instance_generator.hpp"

namespace varnak {
namespace {

ExactSpectra exact_of(const NetworkInstance& instance,
                      const std::vector<std::int32_t>& terminals = {}, bool pairwise = false,
                      ExactMethod method = ExactMethod::kAuto) {
  ExactOptions options;
  options.terminals = terminals;
  options.pairwise = pairwise;
  options.method = method;
  ExactSpectra exact;
  std::string failure;
  EXPECT_EQ(compute_exact_spectra(instance, options, exact, failure), 0) << failure;
  return exact;
}

std::vector<ExactCount> as_counts(const std::vector<std::uint64_t>& values) {
  return {values.begin(), values.end()};
}

std::vector<std::vector<ExactCount>> as_counts(
    const std::vector<std::vector<std::uint64_t>>& rows) {
  std::vector<std::vector<ExactCount>> counts;
  for (const std::vector<std::uint64_t>& row : rows) {
    counts.push_back(as_counts(row));
  }
  return counts;
}

SpectraCounts counts_of(const NetworkInstance& instance, std::int32_t samples, std::int32_t seed,
                        const std::vector<std::int32_t>& terminals, bool pairwise, int threads = 1,
                        std::int32_t block = 0) {
  CountingOptions options;
  options.thread_count = threads;
  options.samples_per_block = block;
  options.terminals = terminals;
  options.pairwise = pairwise;
  return estimate_counts(samples, seed, instance, options);
}

// The terminal sets tried on a network of `vertices`: its two ends, every other vertex,
// and (empty) every vertex.
std::vector<std::vector<std::int32_t>> terminal_sets(std::int32_t vertices) {
  std::vector<std::vector<std::int32_t>> sets = {{}};
  if (vertices >= 2) {
    sets.push_back({1, vertices});
  }
  if (vertices >= 4) {
    std::vector<std::int32_t> alternate;
    for (std::int32_t v = 2; v <= vertices; v += 2) {
      alternate.push_back(v);
    }
    sets.push_back(alternate);
  }
  return sets;
}

// Exact terminal-set counts and pair sums against every subset played out.
void expect_agrees_with_brute_force(const NetworkInstance& instance,
                                    const std::vector<std::int32_t>& terminals) {
  const std::size_t n = static_cast<std::size_t>(instance.srlg_count);
  const std::vector<std::uint64_t> pairs = brute_force::joined_terminal_pairs(instance, terminals);
  std::vector<bool> connected;
  if (terminals.empty()) {
    connected = brute_force::connected_subsets(instance);
  } else {
    const std::uint64_t all = terminals.size() * (terminals.size() - 1) / 2;
    for (const std::uint64_t joined : pairs) {
      connected.push_back(joined == all);
    }
  }
  const brute_force::SubsetCounts expected =
      brute_force::count_by_size(connected, instance.srlg_count);
  std::vector<WideCount> pair_sums(n, 0);
  for (std::size_t subset = 1; subset < pairs.size(); ++subset) {
    pair_sums[static_cast<std::size_t>(std::popcount(subset)) - 1] += pairs[subset];
  }
  // The subset enumeration (auto, at these sizes) with and without pairs, and the decision
  // diagram, which carries the terminals in its states.
  struct Way {
    bool pairwise;
    ExactMethod method;
  };
  for (const Way way : {Way{false, ExactMethod::kAuto}, Way{true, ExactMethod::kAuto},
                        Way{false, ExactMethod::kDiagram}}) {
    const bool pairwise = way.pairwise;
    SCOPED_TRACE(pairwise                              ? "pairwise"
                 : way.method == ExactMethod::kDiagram ? "diagram"
                                                       : "terminals only");
    const ExactSpectra exact = exact_of(instance, terminals, pairwise, way.method);
    EXPECT_EQ(exact.connected_subsets, as_counts(expected.connected));
    EXPECT_EQ(exact.connected_subsets_with, as_counts(expected.connected_with));
    EXPECT_EQ(exact.free_edges_connect, connected[0]);
    EXPECT_EQ(free_edges_connect_terminals(instance, terminals), connected[0]);
    if (pairwise) {
      ASSERT_EQ(exact.connected_pairs.size(), n);
      for (std::size_t k = 0; k < n; ++k) {
        EXPECT_TRUE(exact.connected_pairs[k] == pair_sums[k])
            << "k " << k + 1 << ": " << wide_count_text(exact.connected_pairs[k]) << " against "
            << wide_count_text(pair_sums[k]);
      }
    }
  }
}

TEST(TerminalSpectra, ExactAgreesWithBruteForceOnAwkwardNetworks) {
  for (std::uint64_t seed = 1; seed <= 200; ++seed) {
    const NetworkInstance instance = test_networks::make_awkward_network(seed);
    for (const std::vector<std::int32_t>& terminals : terminal_sets(instance.vertex_count)) {
      SCOPED_TRACE(::testing::Message()
                   << "seed " << seed << ", " << terminals.size() << " terminals");
      expect_agrees_with_brute_force(instance, terminals);
    }
  }
}

TEST(TerminalSpectra, OwnProbabilitiesEqualTheDirectSum) {
  for (std::uint64_t seed = 1; seed <= 60; ++seed) {
    const NetworkInstance instance = test_networks::make_awkward_network(seed);
    for (const std::vector<std::int32_t>& terminals : terminal_sets(instance.vertex_count)) {
      if (terminals.empty()) {
        continue;  // every vertex: the diagram's own tests
      }
      SCOPED_TRACE(::testing::Message()
                   << "seed " << seed << ", " << terminals.size() << " terminals");
      const std::uint64_t all = terminals.size() * (terminals.size() - 1) / 2;
      std::vector<bool> connected;
      for (const std::uint64_t joined : brute_force::joined_terminal_pairs(instance, terminals)) {
        connected.push_back(joined == all);
      }
      std::vector<double> p;
      for (std::int32_t s = 1; s <= instance.srlg_count; ++s) {
        p.push_back(0.05 + 0.9 * ((s * 37 + static_cast<std::int32_t>(seed)) % 17) / 16.0);
      }
      ExactOptions options;
      options.terminals = terminals;
      SrlgReliability result;
      std::string failure;
      ASSERT_EQ(compute_srlg_reliability(instance, p, options, result, failure), 0) << failure;
      EXPECT_NEAR(result.reliability, brute_force::reliability_over_subsets(connected, p), 1e-12);
      ASSERT_EQ(result.importances.size(), p.size());
      for (std::int32_t s = 1; s <= instance.srlg_count; ++s) {
        const SrlgImportance& entry = result.importances[static_cast<std::size_t>(s) - 1];
        EXPECT_NEAR(entry.reliability_up,
                    brute_force::reliability_over_subsets(connected, p, s, true), 1e-12)
            << s;
        EXPECT_NEAR(entry.reliability_down,
                    brute_force::reliability_over_subsets(connected, p, s, false), 1e-12)
            << s;
      }
    }
  }
}

TEST(TerminalSpectra, ExactAgreesWithBruteForceOnRingNetworks) {
  const std::vector<test_networks::RingNetworkShape> shapes = {
      {8, 12, 6, 0.0, 0.3, 3, 1},
      {12, 20, 12, 0.1, 0.5, 4, 2},
      // More than 64 vertices: neighbour lists instead of masks.
      {70, 100, 10, 0.7, 0.3, 3, 2}};
  for (std::size_t shape = 0; shape < shapes.size(); ++shape) {
    for (std::uint64_t seed = 1; seed <= 2; ++seed) {
      const NetworkInstance instance = test_networks::make_ring_network(shapes[shape], seed);
      for (const std::vector<std::int32_t>& terminals : terminal_sets(instance.vertex_count)) {
        SCOPED_TRACE(::testing::Message() << "shape " << shape << " seed " << seed << ", "
                                          << terminals.size() << " terminals");
        expect_agrees_with_brute_force(instance, terminals);
      }
    }
  }
}

// With every vertex a terminal, given or not, and with pairs counted or not, the spectra
// are today's to the last bit: exact counts, and estimated counts on one thread and shared
// out.
TEST(TerminalSpectra, EveryVertexATerminalGivesTheAllTerminalResults) {
  std::vector<NetworkInstance> instances = {analysis_networks::grid_2x3(),
                                            analysis_networks::worked_ring()};
  for (std::uint64_t seed = 1; seed <= 3; ++seed) {
    instances.push_back(test_networks::make_ring_network({12, 20, 10, 0.1, 0.3, 3, 2}, seed));
    instances.push_back(test_networks::make_awkward_network(seed + 10));
  }
  for (std::size_t i = 0; i < instances.size(); ++i) {
    SCOPED_TRACE(::testing::Message() << "instance " << i);
    const NetworkInstance& instance = instances[i];
    std::vector<std::int32_t> every_vertex;
    for (std::int32_t v = instance.vertex_count; v >= 1; --v) {
      every_vertex.push_back(v);
    }
    const ExactSpectra today = exact_of(instance);
    for (const bool pairwise : {false, true}) {
      const ExactSpectra exact = exact_of(instance, every_vertex, pairwise);
      EXPECT_EQ(exact.connected_subsets, today.connected_subsets);
      EXPECT_EQ(exact.connected_subsets_with, today.connected_subsets_with);
      EXPECT_EQ(exact.spectrum, today.spectrum);
    }
    const SpectraCounts reference = counts_of(instance, 3000, 7, {}, false);
    struct Run {
      const char* name;
      bool pairwise;
      int threads;
      std::int32_t block;
    };
    for (const Run& run :
         {Run{"one thread", false, 1, 0}, Run{"pairwise", true, 1, 0},
          Run{"shared out", false, 3, 50}, Run{"pairwise shared out", true, 3, 50}}) {
      SCOPED_TRACE(run.name);
      const SpectraCounts counts =
          counts_of(instance, 3000, 7, every_vertex, run.pairwise, run.threads, run.block);
      EXPECT_EQ(counts.connected, reference.connected);
      EXPECT_EQ(counts.connected_with, reference.connected_with);
      EXPECT_EQ(counts.connected_pairs.size(), run.pairwise ? reference.connected.size() : 0u);
    }
  }
}

TEST(TerminalSpectra, SharedOutRunsCountWhatOneThreadCounts) {
  const NetworkInstance instance =
      test_networks::make_ring_network({40, 70, 20, 0.1, 0.3, 4, 2}, 5);
  const SpectraCounts one = counts_of(instance, 2000, 11, {3, 17, 29}, true);
  for (const auto& [threads, block] : {std::pair{2, 0}, std::pair{2, 37}, std::pair{3, 37}}) {
    SCOPED_TRACE(::testing::Message() << threads << " threads, blocks of " << block);
    const SpectraCounts shared = counts_of(instance, 2000, 11, {3, 17, 29}, true, threads, block);
    EXPECT_EQ(shared.connected, one.connected);
    EXPECT_EQ(shared.connected_with, one.connected_with);
    EXPECT_TRUE(shared.connected_pairs == one.connected_pairs);
  }
}

TEST(TerminalSpectra, EstimatesLieWithinAFewStandardErrorsOfExactValues) {
  struct Case {
    std::string name;
    NetworkInstance instance;
    std::vector<std::int32_t> terminals;
  };
  std::vector<Case> cases = {{"grid corners", analysis_networks::grid_2x3(), {1, 6}},
                             {"worked ring, every vertex", analysis_networks::worked_ring(), {}}};
  for (std::uint64_t seed = 1; seed <= 3; ++seed) {
    cases.push_back({"ring network " + std::to_string(seed),
                     test_networks::make_ring_network({12, 20, 10, 0.1, 0.3, 3, 2}, seed),
                     {1, 5, 9}});
  }
  constexpr std::int32_t kSamples = 20000;
  // A proportion's variance is p(1-p); a share of pairs in [0, 1] with mean m varies at
  // most m(1-m). Five standard errors, and room for the sums of 1/N to drift from k/N.
  const auto tolerance = [&](double p) { return 5 * std::sqrt(p * (1 - p) / kSamples) + 1e-9; };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    const ExactSpectra exact = exact_of(test_case.instance, test_case.terminals, true);
    const SpectraCounts counts =
        counts_of(test_case.instance, kSamples, 29, test_case.terminals, true, 2);
    SpectraVector spectrum;
    SpectraVector pairwise;
    spectrum_of(counts, spectrum);
    pairwise_of(counts, pairwise);
    const BimRowSource rows = bim_rows_of(counts);
    const std::size_t n = exact.spectrum.size();
    ASSERT_EQ(pairwise.size(), n);
    SpectraVector row;
    for (std::size_t s = 0; s < n; ++s) {
      rows(s, row);
      for (std::size_t j = 0; j < n; ++j) {
        EXPECT_NEAR(row[j], exact.bim_spectra[s][j], tolerance(exact.bim_spectra[s][j]))
            << "SRLG " << s + 1 << " k " << j + 1;
      }
    }
    for (std::size_t j = 0; j < n; ++j) {
      EXPECT_NEAR(spectrum[j], exact.spectrum[j], tolerance(exact.spectrum[j])) << "k " << j + 1;
      EXPECT_NEAR(pairwise[j], exact.pairwise_shares[j], tolerance(exact.pairwise_shares[j]))
          << "k " << j + 1;
      // Connected terminals have all their pairs joined.
      EXPECT_GE(pairwise[j], spectrum[j] - 1e-12);
    }
  }
}

//  1 ===free=== 2 ---e2--- 3 ---e3--- 4        SRLG 1 = {e2}, SRLG 2 = {e3}
//
//  5   6    isolated vertices
NetworkInstance chain_with_isolated_vertices() {
  NetworkInstance chain;
  chain.vertex_count = 6;
  chain.edge_count = 3;
  chain.srlg_count = 2;
  chain.edges = {{1, {1, 2}}, {2, {2, 3}}, {3, {3, 4}}};
  chain.srlgs = {{1, {2}}, {2, {3}}};
  chain.edge_srlg_count = {{1, 0}, {2, 1}, {3, 1}};
  return chain;
}

TEST(TerminalSpectra, WorkedCasesOnAChain) {
  struct Case {
    std::string name;
    std::vector<std::int32_t> terminals;
    bool free_edges_connect;
    std::vector<double> spectrum;
    std::vector<double> pairwise;  // k = 1, 2
    double pairwise_none_up;
  };
  const std::vector<Case> cases = {
      // Joined by the free edge alone: connected with no SRLG up.
      {"free edge", {1, 2}, true, {1.0, 1.0}, {1.0, 1.0}, 1.0},
      // SRLG 1 joins 2 and 3, so half the 1-subsets connect.
      {"one SRLG away", {1, 3}, false, {0.5, 1.0}, {0.5, 1.0}, 0.0},
      // Pairs (1,2) (1,4) (2,4): one joined by the free edge; k = 1 adds none.
      {"three terminals", {1, 2, 4}, false, {0.0, 1.0}, {1.0 / 3, 1.0}, 1.0 / 3},
      // Vertices 5 and 6 are left out: they do not matter.
      {"all but the isolated",
       {1, 2, 3, 4},
       false,
       {0.0, 1.0},
       {2.0 / 6 * 0.5 + 3.0 / 6 * 0.5, 1.0},
       1.0 / 6},
      // With every vertex, the isolated ones keep the network apart; pairs are 15.
      {"every vertex", {}, false, {0.0, 0.0}, {2.5 / 15, 6.0 / 15}, 1.0 / 15},
      {"an isolated terminal", {1, 5}, false, {0.0, 0.0}, {0.0, 0.0}, 0.0},
  };
  const NetworkInstance chain = chain_with_isolated_vertices();
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    const ExactSpectra exact = exact_of(chain, test_case.terminals, true);
    EXPECT_EQ(exact.free_edges_connect, test_case.free_edges_connect);
    for (std::size_t j = 0; j < 2; ++j) {
      EXPECT_DOUBLE_EQ(exact.spectrum[j], test_case.spectrum[j]) << "k " << j + 1;
      EXPECT_DOUBLE_EQ(exact.pairwise_shares[j], test_case.pairwise[j]) << "k " << j + 1;
    }
    EXPECT_DOUBLE_EQ(exact.pairwise_none_up, test_case.pairwise_none_up);
    // With two SRLGs the order (1, 2) or (2, 1) fixes everything at k = 2.
    const SpectraCounts counts = counts_of(chain, 1000, 3, test_case.terminals, true);
    EXPECT_EQ(counts.connected[1], test_case.spectrum[1] == 1.0 ? 1000 : 0);
    SpectraVector pairwise;
    pairwise_of(counts, pairwise);
    EXPECT_DOUBLE_EQ(pairwise[1], test_case.pairwise[1]);
  }
}

TEST(TerminalSpectra, IsolatedNonTerminalVerticesDoNotMatter) {
  NetworkInstance ring = analysis_networks::worked_ring();
  NetworkInstance padded = ring;
  padded.vertex_count = 9;  // vertices 5..9 touch no edge
  const std::vector<std::int32_t> ring_vertices = {1, 2, 3, 4};
  const ExactSpectra today = exact_of(ring);
  const ExactSpectra exact = exact_of(padded, ring_vertices, true);
  EXPECT_EQ(exact.connected_subsets, today.connected_subsets);
  EXPECT_EQ(exact.connected_subsets_with, today.connected_subsets_with);
  const SpectraCounts reference = counts_of(ring, 2000, 5, {}, false);
  const SpectraCounts counts = counts_of(padded, 2000, 5, ring_vertices, true, 2);
  EXPECT_EQ(counts.connected, reference.connected);
  EXPECT_EQ(counts.connected_with, reference.connected_with);
}

// C(2^31 - 1, 2) pairs a sample, times N, passes 2^64: the wide counts stay exact, and a
// vertex count that large costs nothing as no edge reaches most vertices.
TEST(TerminalSpectra, PairCountsBeyondSixtyFourBits) {
  NetworkInstance huge = analysis_networks::worked_ring();
  huge.vertex_count = 2147483647;
  const std::int32_t samples = 100;
  const SpectraCounts counts = counts_of(huge, samples, 1, {}, true);
  const std::uint64_t pairs = pairs_among(2147483647);
  EXPECT_EQ(pairs, std::uint64_t{2147483647} * 2147483646 / 2);
  EXPECT_EQ(counts.terminal_pairs, pairs);
  // The ring's four vertices end in one piece: 6 pairs a sample at the last position.
  EXPECT_TRUE(counts.connected_pairs.back() == WideCount{6} * samples);
  EXPECT_EQ(wide_count_text(WideCount{pairs} * samples), "230584300599246848100");
  ExactSpectra exact = exact_of(huge, {}, true);
  EXPECT_TRUE(exact.connected_pairs.back() == 6);
  EXPECT_EQ(exact.terminal_pairs, pairs);
}

// Minimal SRLG sets that separate the terminals, against every failed set played out.
TEST(TerminalCutSets, MatchBruteForceOverAllSmallSets) {
  std::vector<NetworkInstance> instances = {analysis_networks::grid_2x3(),
                                            analysis_networks::worked_ring()};
  for (std::uint64_t seed = 1; seed <= 4; ++seed) {
    instances.push_back(test_networks::make_ring_network({9, 16, 8, 0.15, 0.4, 3, 1}, seed));
  }
  for (std::uint64_t seed = 1; seed <= 60; ++seed) {
    instances.push_back(test_networks::make_awkward_network(seed));
  }
  int separable = 0;
  for (std::size_t i = 0; i < instances.size(); ++i) {
    const NetworkInstance& instance = instances[i];
    for (const std::vector<std::int32_t>& terminals : terminal_sets(instance.vertex_count)) {
      if (terminals.empty()) {
        continue;  // the all-terminal search has tests of its own
      }
      SCOPED_TRACE(::testing::Message()
                   << "instance " << i << ", " << terminals.size() << " terminals");
      const std::vector<std::uint64_t> pairs =
          brute_force::joined_terminal_pairs(instance, terminals);
      const std::uint64_t all_pairs = terminals.size() * (terminals.size() - 1) / 2;
      const std::size_t all = pairs.size() - 1;
      const auto cuts = [&](std::size_t failed) { return pairs[all ^ failed] != all_pairs; };
      for (const std::int32_t max_size : {1, 2, instance.srlg_count}) {
        MinimalCutSets result;
        std::string failure;
        const int code = find_minimal_cut_sets(instance, max_size, result, failure, terminals);
        if (cuts(0)) {
          EXPECT_EQ(code, 1);
          // Terminals that are every vertex are the network itself.
          const bool every_vertex =
              static_cast<std::int32_t>(terminals.size()) == instance.vertex_count;
          EXPECT_NE(failure.find(every_vertex ? "the network is not connected"
                                              : "the terminals are not connected"),
                    std::string::npos)
              << failure;
          continue;
        }
        ASSERT_EQ(code, 0) << failure;
        std::vector<std::size_t> expected;
        for (std::size_t failed = 1; failed <= all; ++failed) {
          bool minimal = std::popcount(failed) <= max_size && cuts(failed);
          for (std::size_t bit = 1; minimal && bit <= failed; bit <<= 1) {
            minimal = (failed & bit) == 0 || !cuts(failed ^ bit);
          }
          if (minimal) {
            expected.push_back(failed);
          }
        }
        std::vector<std::size_t> found;
        for (const MinimalCutSet& set : result.sets) {
          std::size_t failed = 0;
          for (const std::int32_t srlg : set.srlgs) {
            failed |= std::size_t{1} << (srlg - 1);
          }
          found.push_back(failed);
          // The terminals named as cut off really are apart from the others.
          EXPECT_FALSE(set.cut_off.empty());
          EXPECT_LT(set.cut_off.size(), terminals.size());
        }
        std::sort(expected.begin(), expected.end());
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, expected) << "max size " << max_size;
        separable += max_size == 1 && !expected.empty();
      }
    }
  }
  EXPECT_GT(separable, 10);  // enough instances with cut sets to test anything
}

TEST(TerminalCutSets, EveryVertexATerminalGivesTheAllTerminalSets) {
  const NetworkInstance grid = analysis_networks::grid_2x3();
  MinimalCutSets today;
  MinimalCutSets every_vertex;
  std::string failure;
  ASSERT_EQ(find_minimal_cut_sets(grid, 3, today, failure), 0) << failure;
  ASSERT_EQ(find_minimal_cut_sets(grid, 3, every_vertex, failure, {1, 2, 3, 4, 5, 6}), 0);
  ASSERT_EQ(every_vertex.sets.size(), today.sets.size());
  for (std::size_t i = 0; i < today.sets.size(); ++i) {
    EXPECT_EQ(every_vertex.sets[i].srlgs, today.sets[i].srlgs);
    EXPECT_EQ(every_vertex.sets[i].cut_off, today.sets[i].cut_off);
  }
}

}  // namespace
}  // namespace varnak
