#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/binomials.hpp"
#include "analysis/exact_spectra.hpp"
#include "analysis/reliability.hpp"
#include "tests/analysis/grid_network.hpp"
#include "tests/analysis/subset_brute_force.hpp"
#include "tests/support/instance_generator.hpp"

namespace varnak {
namespace {

ExactSpectra exact_by(const NetworkInstance& instance, ExactMethod method) {
  ExactSpectra exact;
  std::string failure;
  ExactOptions options;
  options.method = method;
  EXPECT_EQ(compute_exact_spectra(instance, options, exact, failure), 0) << failure;
  return exact;
}

// The worked ring with two more free edges, which connect it with no SRLG up.
//
//  1 ---e1--- 2      e2 is in SRLG 2, e5 = (2, 3) and e6 = (3, 4) in none
//  |          |
//  e4         e2
//  |          |
//  4 ---e3--- 3
NetworkInstance connected_by_free_edges() {
  NetworkInstance instance = analysis_networks::worked_ring();
  instance.edges[5] = {2, 3};
  instance.edges[6] = {3, 4};
  instance.edge_count = 6;
  instance.edge_srlg_count[5] = 0;
  instance.edge_srlg_count[6] = 0;
  return instance;
}

// Networks of up to 20 SRLGs whose counts the enumeration knows: SRLGs as ducts, spread
// over the whole ring (the frontier's worst case: every SRLG stays remembered), with and
// without free edges, dense chords, and the awkward inputs of a file.
std::vector<std::pair<std::string, NetworkInstance>> networks_to_compare() {
  NetworkInstance no_edges;
  no_edges.vertex_count = 3;
  no_edges.srlg_count = 2;
  NetworkInstance one_vertex = no_edges;
  one_vertex.vertex_count = 1;
  std::vector<std::pair<std::string, NetworkInstance>> networks = {
      {"connected by free edges", connected_by_free_edges()},
      {"no edges", no_edges},
      {"one vertex", one_vertex}};
  const std::vector<test_networks::RingNetworkShape> shapes = {
      {12, 20, 18, 0.0, 0.3, 3, 1},   // ducts
      {10, 18, 20, 0.0, 0.5, 4, 20},  // SRLGs spread across the ring
      {14, 22, 16, 0.3, 0.3, 3, 2},   // free edges
      {8, 20, 18, 0.1, 0.5, 4, 8},    // dense, spread
      {20, 20, 20, 0.0, 0.0, 1, 0},   // a bare ring
  };
  for (std::size_t shape = 0; shape < shapes.size(); ++shape) {
    for (std::uint64_t seed = 1; seed <= 3; ++seed) {
      networks.emplace_back("shape " + std::to_string(shape) + " seed " + std::to_string(seed),
                            test_networks::make_ring_network(shapes[shape], seed));
    }
  }
  for (std::uint64_t seed = 301; seed <= 340; ++seed) {
    networks.emplace_back("awkward " + std::to_string(seed),
                          test_networks::make_awkward_network(seed));
  }
  return networks;
}

TEST(SrlgDiagram, CountsEqualTheEnumerationsOnRandomNetworks) {
  for (const auto& [name, instance] : networks_to_compare()) {
    SCOPED_TRACE(name);
    const ExactSpectra subsets = exact_by(instance, ExactMethod::kSubsets);
    const ExactSpectra diagram = exact_by(instance, ExactMethod::kDiagram);
    EXPECT_EQ(diagram.free_edges_connect, subsets.free_edges_connect);
    EXPECT_EQ(diagram.connected_subsets, subsets.connected_subsets);
    EXPECT_EQ(diagram.connected_subsets_with, subsets.connected_subsets_with);
    EXPECT_EQ(diagram.spectrum, subsets.spectrum);
    EXPECT_EQ(diagram.bim_spectra, subsets.bim_spectra);
  }
}

// Counts beyond 64 bits, and SRLGs that list no edge (up or down, they change nothing).
TEST(SrlgDiagram, CountsBeyondSixtyFourBitsAreExact) {
  // Two vertices joined by 80 parallel edges, one SRLG each: connected when any is up.
  NetworkInstance parallel;
  parallel.vertex_count = 2;
  parallel.edge_count = 80;
  parallel.srlg_count = 80;
  for (std::int32_t i = 1; i <= 80; ++i) {
    parallel.edges[i] = {1, 2};
    parallel.srlgs[i] = {i};
    parallel.edge_srlg_count[i] = 1;
  }
  // One edge in SRLG 1; SRLGs 2..100 list nothing: connected when SRLG 1 is up.
  NetworkInstance mostly_free;
  mostly_free.vertex_count = 2;
  mostly_free.edge_count = 1;
  mostly_free.srlg_count = 100;
  mostly_free.edges[1] = {1, 2};
  mostly_free.srlgs[1] = {1};
  mostly_free.edge_srlg_count[1] = 1;

  const std::vector<ExactCount> c80 = binomial_row(80);
  const std::vector<ExactCount> c79 = binomial_row(79);
  const std::vector<ExactCount> c99 = binomial_row(99);
  const std::vector<ExactCount> c98 = binomial_row(98);
  const ExactSpectra all_parallel = exact_by(parallel, ExactMethod::kDiagram);
  const ExactSpectra free_ones = exact_by(mostly_free, ExactMethod::kDiagram);
  for (std::size_t k = 1; k <= 80; ++k) {
    SCOPED_TRACE("parallel, k = " + std::to_string(k));
    EXPECT_EQ(all_parallel.connected_subsets[k - 1], c80[k]);
    EXPECT_EQ(all_parallel.connected_subsets_with[79][k - 1], c79[k - 1]);
    EXPECT_EQ(all_parallel.spectrum[k - 1], 1.0);
  }
  for (std::size_t k = 1; k <= 100; ++k) {
    SCOPED_TRACE("mostly free, k = " + std::to_string(k));
    EXPECT_EQ(free_ones.connected_subsets[k - 1], c99[k - 1]);
    EXPECT_EQ(free_ones.connected_subsets_with[0][k - 1], c99[k - 1]);
    // SRLG 2 is up with SRLG 1 in C(98, k-2) of them.
    EXPECT_EQ(free_ones.connected_subsets_with[1][k - 1], k >= 2 ? c98[k - 2] : ExactCount(0));
    EXPECT_DOUBLE_EQ(free_ones.spectrum[k - 1], static_cast<double>(k) / 100.0);
  }
  EXPECT_GT(free_ones.connected_subsets[49], ExactCount(1) << 64);
}

TEST(SrlgDiagram, ARefusedBudgetEndsCleanlyWithAMessage) {
  const NetworkInstance instance =
      test_networks::make_ring_network({12, 20, 18, 0.0, 0.3, 3, 1}, 1);
  ExactOptions options;
  options.method = ExactMethod::kDiagram;
  for (const std::uint64_t budget : {std::uint64_t{1}, std::uint64_t{20000}}) {
    SCOPED_TRACE(budget);
    options.memory_budget = budget;
    ExactSpectra exact;
    std::string failure;
    EXPECT_EQ(compute_exact_spectra(instance, options, exact, failure), 1);
    EXPECT_NE(failure.find("memory budget"), std::string::npos) << failure;
    EXPECT_NE(failure.find("use estimate"), std::string::npos) << failure;
  }
  options.memory_budget = std::uint64_t{1} << 26;
  ExactSpectra exact;
  std::string failure;
  EXPECT_EQ(compute_exact_spectra(instance, options, exact, failure), 0) << failure;
  EXPECT_LE(exact.diagram.peak_bytes, options.memory_budget);
  EXPECT_GT(exact.diagram.nodes, 0u);
}

TEST(SrlgDiagram, OwnProbabilitiesEqualTheDirectSum) {
  std::vector<std::pair<std::string, NetworkInstance>> networks = {
      {"grid", analysis_networks::grid_2x3()},
      {"worked ring", analysis_networks::worked_ring()},
      {"connected by free edges", connected_by_free_edges()}};
  for (std::uint64_t seed = 1; seed <= 20; ++seed) {
    networks.emplace_back("awkward " + std::to_string(seed),
                          test_networks::make_awkward_network(seed));
  }
  networks.emplace_back("ring network",
                        test_networks::make_ring_network({10, 16, 12, 0.1, 0.3, 3, 2}, 5));
  for (const auto& [name, instance] : networks) {
    SCOPED_TRACE(name);
    const std::vector<bool> connected = brute_force::connected_subsets(instance);
    std::vector<double> p;
    for (std::int32_t s = 1; s <= instance.srlg_count; ++s) {
      p.push_back(0.05 + 0.9 * ((s * 37) % 17) / 16.0);
    }
    SrlgReliability result;
    std::string failure;
    ASSERT_EQ(compute_srlg_reliability(instance, p, ExactOptions{}, result, failure), 0) << failure;
    EXPECT_NEAR(result.reliability, brute_force::reliability_over_subsets(connected, p), 1e-12);
    ASSERT_EQ(result.importances.size(), p.size());
    for (std::int32_t s = 1; s <= instance.srlg_count; ++s) {
      const SrlgImportance& entry = result.importances[static_cast<std::size_t>(s) - 1];
      EXPECT_EQ(entry.srlg, s);
      const double up = brute_force::reliability_over_subsets(connected, p, s, true);
      const double down = brute_force::reliability_over_subsets(connected, p, s, false);
      EXPECT_NEAR(entry.reliability_up, up, 1e-12) << "SRLG " << s;
      EXPECT_NEAR(entry.reliability_down, down, 1e-12) << "SRLG " << s;
      EXPECT_NEAR(entry.importance, up - down, 1e-12) << "SRLG " << s;
      // Exact figures up to the passes' rounding: the interval holds the value summed over
      // the subsets, and is no wider than the bound on either side.
      EXPECT_LE(entry.interval.low, up - down) << "SRLG " << s;
      EXPECT_GE(entry.interval.high, up - down) << "SRLG " << s;
      EXPECT_LE(entry.interval.high - entry.interval.low, 2.0 * result.error_bound) << "SRLG " << s;
      EXPECT_LT(result.error_bound, 1e-11);
    }

    // With one p for all, the same as from the exact spectra.
    const ExactSpectra exact = exact_by(instance, ExactMethod::kAuto);
    SpectraSummary summary;
    summary.srlg_count = exact.srlg_count;
    summary.none_up = exact.free_edges_connect ? 1.0 : 0.0;
    summary.spectrum = exact.spectrum;
    summary.bim_spectra = exact.bim_spectra;
    summary.exact = true;
    const std::vector<double> same(p.size(), 0.7);
    ASSERT_EQ(compute_srlg_reliability(instance, same, ExactOptions{}, result, failure), 0);
    EXPECT_NEAR(result.reliability, reliability(summary, 0.7), 1e-12);
    const std::vector<SrlgImportance> from_spectra = srlg_importances(summary, 0.7);
    for (std::size_t s = 0; s < from_spectra.size(); ++s) {
      EXPECT_NEAR(result.importances[s].importance, from_spectra[s].importance, 1e-12);
    }
  }
}

// The grid with two more SRLGs that list no edge: up or down, they change nothing.
NetworkInstance grid_with_empty_srlgs() {
  NetworkInstance grid = analysis_networks::grid_2x3();
  grid.srlg_count = 9;
  return grid;
}

// Small networks of every kind the diagram meets: free edges, SRLGs that list no edge,
// SRLGs spread across the ring, and the awkward inputs of a file.
std::vector<std::pair<std::string, NetworkInstance>> small_networks() {
  std::vector<std::pair<std::string, NetworkInstance>> networks = {
      {"grid", analysis_networks::grid_2x3()},
      {"grid with empty SRLGs", grid_with_empty_srlgs()},
      {"worked ring", analysis_networks::worked_ring()},
      {"connected by free edges", connected_by_free_edges()},
      {"ring network", test_networks::make_ring_network({10, 16, 12, 0.1, 0.3, 3, 2}, 5)},
      {"spread ring network", test_networks::make_ring_network({8, 14, 12, 0.0, 0.5, 4, 12}, 3)}};
  for (std::uint64_t seed = 1; seed <= 20; ++seed) {
    networks.emplace_back("awkward " + std::to_string(seed),
                          test_networks::make_awkward_network(seed));
  }
  return networks;
}

TEST(SrlgDiagram, CountsEqualTheDirectSumOverSubsets) {
  for (const auto& [name, instance] : small_networks()) {
    SCOPED_TRACE(name);
    const brute_force::SubsetCounts expected =
        brute_force::count_by_size(brute_force::connected_subsets(instance), instance.srlg_count);
    const ExactSpectra diagram = exact_by(instance, ExactMethod::kDiagram);
    ASSERT_EQ(diagram.connected_subsets.size(), expected.connected.size());
    ASSERT_EQ(diagram.connected_subsets_with.size(), expected.connected_with.size());
    for (std::size_t k = 0; k < expected.connected.size(); ++k) {
      EXPECT_EQ(diagram.connected_subsets[k], ExactCount(expected.connected[k])) << "k " << k + 1;
      for (std::size_t s = 0; s < expected.connected_with.size(); ++s) {
        EXPECT_EQ(diagram.connected_subsets_with[s][k], ExactCount(expected.connected_with[s][k]))
            << "SRLG " << s + 1 << " k " << k + 1;
      }
    }
  }
}

// Chances at the ends: an SRLG always or never up (given as 0 or as -0), or nearly so.
TEST(SrlgDiagram, OwnProbabilitiesAtTheEndsEqualTheDirectSum) {
  struct Case {
    const char* name;
    std::vector<double> cycle;  // SRLG s gets cycle[(s - 1) mod size]
  };
  const std::vector<Case> cases = {{"never up", {0.0}},
                                   {"never up, as -0", {-0.0}},
                                   {"always up", {1.0}},
                                   {"mixed", {1.0, -0.0, 0.5, 0.0, 0.9}},
                                   {"nearly never and nearly always", {1e-300, 1.0 - 1e-16, 0.3}}};
  for (const auto& [name, instance] : small_networks()) {
    SCOPED_TRACE(name);
    const std::vector<bool> connected = brute_force::connected_subsets(instance);
    for (const Case& test_case : cases) {
      SCOPED_TRACE(test_case.name);
      std::vector<double> p;
      for (std::size_t s = 0; s < static_cast<std::size_t>(instance.srlg_count); ++s) {
        p.push_back(test_case.cycle[s % test_case.cycle.size()]);
      }
      SrlgReliability result;
      std::string failure;
      ASSERT_EQ(compute_srlg_reliability(instance, p, ExactOptions{}, result, failure), 0)
          << failure;
      EXPECT_NEAR(result.reliability, brute_force::reliability_over_subsets(connected, p), 1e-12);
      // Sums of chances: a 0 among them is +0, which no report can print as "-0".
      EXPECT_FALSE(std::signbit(result.reliability));
      ASSERT_EQ(result.importances.size(), p.size());
      for (std::int32_t s = 1; s <= instance.srlg_count; ++s) {
        const SrlgImportance& entry = result.importances[static_cast<std::size_t>(s) - 1];
        const double up = brute_force::reliability_over_subsets(connected, p, s, true);
        const double down = brute_force::reliability_over_subsets(connected, p, s, false);
        EXPECT_NEAR(entry.reliability_up, up, 1e-12) << "SRLG " << s;
        EXPECT_NEAR(entry.reliability_down, down, 1e-12) << "SRLG " << s;
        EXPECT_NEAR(entry.importance, up - down, 1e-12) << "SRLG " << s;
        EXPECT_FALSE(std::signbit(entry.reliability_up)) << "SRLG " << s;
        EXPECT_FALSE(std::signbit(entry.reliability_down)) << "SRLG " << s;
      }
    }
  }
}

TEST(ExactCount, RatiosAreRoundedToNearest) {
  struct Case {
    ExactCount count;
    ExactCount total;
    double expected;
  };
  const std::vector<Case> cases = {
      {1, 3, 1.0 / 3.0},
      {15, 21, 15.0 / 21.0},
      {0, 7, 0.0},
      {7, 7, 1.0},
      // Beyond 2^53 the quotient of the two doubles would round twice.
      {(ExactCount(1) << 60) + 1, ExactCount(1) << 61, 0.5},
      {(ExactCount(1) << 200) * 3, ExactCount(1) << 202, 0.75},
      // 1 + 2^-53 + 2^-80 lies just above the halfway point between 1 and 1 + 2^-52.
      {(ExactCount(1) << 80) + (ExactCount(1) << 27) + 1, ExactCount(1) << 80,
       1.0 + std::ldexp(1.0, -52)},
      {(ExactCount(1) << 80) + (ExactCount(1) << 27), ExactCount(1) << 80, 1.0},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.count.str() + " / " + test_case.total.str());
    EXPECT_EQ(ratio(test_case.count, test_case.total), test_case.expected);
  }
}

}  // namespace
}  // namespace varnak
