#include "analysis/exact_spectra.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "analysis/binomials.hpp"
#include "estimation/spectra_estimator.hpp"
#include "tests/analysis/grid_network.hpp"
#include "tests/analysis/subset_brute_force.hpp"
#include "tests/support/instance_generator.hpp"
#include "tests/support/spectra_accumulation.hpp"

namespace varnak {
namespace {

ExactSpectra exact_of(const NetworkInstance& instance, ExactMethod method = ExactMethod::kAuto) {
  ExactSpectra exact;
  std::string failure;
  ExactOptions options;
  options.method = method;
  EXPECT_EQ(compute_exact_spectra(instance, options, exact, failure), 0) << failure;
  return exact;
}

std::vector<ExactCount> as_counts(const std::vector<std::uint64_t>& values) {
  return {values.begin(), values.end()};
}

std::vector<std::vector<ExactCount>> as_counts(
    const std::vector<std::vector<std::uint64_t>>& rows) {
  std::vector<std::vector<ExactCount>> counts;
  for (const auto& row : rows) {
    counts.push_back(as_counts(row));
  }
  return counts;
}

// Both methods, so that every known answer checks the decision diagram and the enumeration.
constexpr ExactMethod kMethods[] = {ExactMethod::kSubsets, ExactMethod::kDiagram};

TEST(ExactSpectra, SmallNetworksWithKnownCounts) {
  NetworkInstance one_vertex;
  one_vertex.vertex_count = 1;
  one_vertex.srlg_count = 3;

  NetworkInstance no_vertices = analysis_networks::worked_ring();
  no_vertices.vertex_count = 0;

  // 1 ---e1--- 2 ---e2--- 3    SRLG 1 lists e1 twice: its count is 2, yet SRLG 1 alone
  // |                     |    brings it up. SRLG 2 = {e2, e3}. e3 is counted 3 but listed
  // +---------e3----------+    twice, so it never comes up.
  NetworkInstance listed_twice;
  listed_twice.vertex_count = 3;
  listed_twice.edge_count = 3;
  listed_twice.srlg_count = 2;
  listed_twice.edges = {{1, {1, 2}}, {2, {2, 3}}, {3, {1, 3}}};
  listed_twice.srlgs = {{1, {1, 1, 3}}, {2, {2, 3}}};
  listed_twice.edge_srlg_count = {{1, 2}, {2, 1}, {3, 3}};

  // SRLG 3 lies beyond SRLGNUM 2 and never comes up, so e2, which waits for it, stays
  // down. e3 is counted once but no SRLG lists it: never up. e4 is in no SRLG but has no
  // E line: up from the start, joining nothing.
  NetworkInstance beyond_srlgnum = listed_twice;
  beyond_srlgnum.edge_count = 4;
  beyond_srlgnum.srlgs = {{1, {1, 1}}, {2, {2}}, {3, {2}}};
  beyond_srlgnum.edge_srlg_count = {{1, 2}, {2, 2}, {3, 1}, {4, 0}};

  // VNUM 2^31-1 with four edges can never connect: answered without a table per vertex,
  // which would take tens of GB.
  NetworkInstance huge_vertex_count = analysis_networks::worked_ring();
  huge_vertex_count.vertex_count = 2147483647;

  struct Case {
    std::string name;
    NetworkInstance instance;
    bool free_edges_connect;
    std::vector<std::uint64_t> connected;
    std::vector<std::vector<std::uint64_t>> connected_with;
  };
  const std::vector<Case> cases = {
      // Of the 15 spanning trees, 6 avoid the middle rung e4 (the outer 6-cycle) and 4
      // avoid any other edge (its pendant ends are forced, a 4-cycle remains).
      {"2x3 grid",
       analysis_networks::grid_2x3(),
       false,
       {0, 0, 0, 0, 15, 7, 1},
       {{0, 0, 0, 0, 11, 6, 1},
        {0, 0, 0, 0, 11, 6, 1},
        {0, 0, 0, 0, 11, 6, 1},
        {0, 0, 0, 0, 9, 6, 1},
        {0, 0, 0, 0, 11, 6, 1},
        {0, 0, 0, 0, 11, 6, 1},
        {0, 0, 0, 0, 11, 6, 1}}},
      {"worked ring",
       analysis_networks::worked_ring(),
       false,
       {0, 2, 1},
       {{0, 1, 1}, {0, 2, 1}, {0, 1, 1}}},
      {"one vertex", one_vertex, true, {3, 3, 1}, {{1, 2, 1}, {1, 2, 1}, {1, 2, 1}}},
      {"no vertices", no_vertices, false, {0, 0, 0}, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
      {"edge listed twice", listed_twice, false, {0, 1}, {{0, 1}, {0, 1}}},
      {"SRLG beyond SRLGNUM", beyond_srlgnum, false, {0, 0}, {{0, 0}, {0, 0}}},
      {"VNUM 2^31-1", huge_vertex_count, false, {0, 0, 0}, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
  };
  for (const Case& test_case : cases) {
    for (const ExactMethod method : kMethods) {
      SCOPED_TRACE(test_case.name + " by " + method_name(method));
      const ExactSpectra exact = exact_of(test_case.instance, method);
      EXPECT_EQ(exact.free_edges_connect, test_case.free_edges_connect);
      EXPECT_EQ(exact.connected_subsets, as_counts(test_case.connected));
      EXPECT_EQ(exact.connected_subsets_with, as_counts(test_case.connected_with));
    }
  }
}

// The doubles are the counts over C(S, k); each connected k-subset holds k SRLGs, so a BIM
// column sums to k times the spectrum's count.
TEST(ExactSpectra, ValuesAreSharesOfSubsets) {
  struct Case {
    std::string name;
    NetworkInstance instance;
    std::vector<double> spectrum;
    std::vector<std::vector<double>> bim_spectra;
  };
  const std::vector<Case> cases = {
      {"2x3 grid",
       analysis_networks::grid_2x3(),
       {0, 0, 0, 0, 15.0 / 21.0, 1.0, 1.0},
       {{0, 0, 0, 0, 11.0 / 21.0, 6.0 / 7.0, 1.0},
        {0, 0, 0, 0, 11.0 / 21.0, 6.0 / 7.0, 1.0},
        {0, 0, 0, 0, 11.0 / 21.0, 6.0 / 7.0, 1.0},
        {0, 0, 0, 0, 9.0 / 21.0, 6.0 / 7.0, 1.0},
        {0, 0, 0, 0, 11.0 / 21.0, 6.0 / 7.0, 1.0},
        {0, 0, 0, 0, 11.0 / 21.0, 6.0 / 7.0, 1.0},
        {0, 0, 0, 0, 11.0 / 21.0, 6.0 / 7.0, 1.0}}},
      // k = 1: no single SRLG connects. k = 2: {1, 2} gives e1, e2 (e4 free); {2, 3} gives
      // e2, e3; {1, 3} leaves e3 waiting for SRLG 2 and vertex 3 cut off. k = 3: connected.
      {"worked ring",
       analysis_networks::worked_ring(),
       {0.0, 2.0 / 3.0, 1.0},
       {{0.0, 1.0 / 3.0, 1.0}, {0.0, 2.0 / 3.0, 1.0}, {0.0, 1.0 / 3.0, 1.0}}},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    const ExactSpectra exact = exact_of(test_case.instance, ExactMethod::kDiagram);
    const std::size_t n = test_case.spectrum.size();
    ASSERT_EQ(exact.spectrum.size(), n);
    for (std::size_t j = 0; j < n; ++j) {
      SCOPED_TRACE("k = " + std::to_string(j + 1));
      EXPECT_EQ(exact.subsets[j], binomials(static_cast<std::int32_t>(n))[n][j + 1]);
      EXPECT_DOUBLE_EQ(exact.spectrum[j], test_case.spectrum[j]);
      ExactCount column = 0;
      for (std::size_t s = 0; s < n; ++s) {
        EXPECT_DOUBLE_EQ(exact.bim_spectra[s][j], test_case.bim_spectra[s][j]) << "SRLG " << s + 1;
        column += exact.connected_subsets_with[s][j];
      }
      EXPECT_EQ(column, (j + 1) * exact.connected_subsets[j]);
    }
  }
}

void expect_agrees_with_brute_force(const NetworkInstance& instance) {
  const brute_force::SubsetCounts expected =
      brute_force::count_by_size(brute_force::connected_subsets(instance), instance.srlg_count);
  for (const ExactMethod method : kMethods) {
    SCOPED_TRACE(method_name(method));
    const ExactSpectra exact = exact_of(instance, method);
    EXPECT_EQ(exact.connected_subsets, as_counts(expected.connected));
    EXPECT_EQ(exact.connected_subsets_with, as_counts(expected.connected_with));
    EXPECT_EQ(exact.free_edges_connect, brute_force::connected_subsets(instance)[0]);
  }
}

TEST(ExactSpectra, AgreesWithBruteForceOnAwkwardNetworks) {
  for (std::uint64_t seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE(seed);
    expect_agrees_with_brute_force(test_networks::make_awkward_network(seed));
  }
}

TEST(ExactSpectra, AgreesWithBruteForceOnRingNetworks) {
  const std::vector<test_networks::RingNetworkShape> shapes = {
      {8, 12, 6, 0.0, 0.3, 3, 1},
      {10, 16, 10, 0.2, 0.3, 3, 2},
      {12, 20, 12, 0.1, 0.5, 4, 2},
      {6, 6, 6, 0.0, 0.0, 1, 0},
      // More than 64 vertices, where the search keeps neighbour lists instead of masks.
      {70, 100, 10, 0.7, 0.3, 3, 2}};
  for (std::size_t shape = 0; shape < shapes.size(); ++shape) {
    for (std::uint64_t seed = 1; seed <= 4; ++seed) {
      SCOPED_TRACE(::testing::Message() << "shape " << shape << " seed " << seed);
      const NetworkInstance instance = test_networks::make_ring_network(shapes[shape], seed);
      expect_agrees_with_brute_force(instance);
      const ExactSpectra exact = exact_of(instance, ExactMethod::kSubsets);
      // Neither always nor never connected, so that both kinds of pruning have work.
      EXPECT_GT(exact.spectrum.back(), 0.0);
      EXPECT_LT(exact.spectrum[exact.spectrum.size() / 2], 1.0);
    }
  }
}

TEST(ExactSpectra, EstimatesLieWithinAFewStandardErrors) {
  std::vector<std::pair<std::string, NetworkInstance>> instances = {
      {"grid", analysis_networks::grid_2x3()}, {"worked ring", analysis_networks::worked_ring()}};
  for (std::uint64_t seed = 1; seed <= 3; ++seed) {
    instances.emplace_back("ring network " + std::to_string(seed),
                           test_networks::make_ring_network({12, 20, 10, 0.1, 0.3, 3, 2}, seed));
    instances.emplace_back("awkward network " + std::to_string(seed),
                           test_networks::make_awkward_network(seed));
  }
  constexpr std::int32_t kSamples = 20000;
  for (const auto& [name, instance] : instances) {
    SCOPED_TRACE(name);
    const ExactSpectra exact = exact_of(instance);
    const std::size_t n = exact.spectrum.size();
    SpectraVector spectrum(n, 0.0);
    BimSpectraMatrix bim(n, SpectraVector(n, 0.0));
    estimate_spectra_threaded(spectrum, bim, kSamples, 29, instance, 2);
    // Five standard errors, and a little room for the sums of 1/N to drift from k/N.
    const auto tolerance = [&](double p) { return 5 * std::sqrt(p * (1 - p) / kSamples) + 1e-9; };
    for (std::size_t j = 0; j < n; ++j) {
      EXPECT_NEAR(spectrum[j], exact.spectrum[j], tolerance(exact.spectrum[j])) << "k " << j + 1;
      for (std::size_t s = 0; s < n; ++s) {
        EXPECT_NEAR(bim[s][j], exact.bim_spectra[s][j], tolerance(exact.bim_spectra[s][j]))
            << "SRLG " << s + 1 << " k " << j + 1;
      }
    }
  }
}

TEST(ExactSpectra, RefusesMoreSrlgsThanItCanEnumerate) {
  NetworkInstance instance = analysis_networks::worked_ring();
  instance.srlg_count = kMaxExactSrlgs + 1;
  ExactSpectra exact;
  std::string failure;
  ExactOptions options;
  options.method = ExactMethod::kSubsets;
  EXPECT_EQ(compute_exact_spectra(instance, options, exact, failure), 1);
  EXPECT_NE(failure.find(std::to_string(kMaxExactSrlgs + 1)), std::string::npos) << failure;
  // The diagram has no such limit: SRLGs 4..31 list no edge and double the counts.
  options.method = ExactMethod::kAuto;
  EXPECT_EQ(compute_exact_spectra(instance, options, exact, failure), 0) << failure;
  EXPECT_EQ(exact.method, ExactMethod::kDiagram);
}

NetworkInstance ring_of(std::int32_t n) {
  NetworkInstance ring;
  ring.vertex_count = n;
  ring.edge_count = n;
  ring.srlg_count = n;
  for (std::int32_t i = 1; i <= n; ++i) {
    ring.edges[i] = {i, i % n + 1};
    ring.srlgs[i] = {i};
    ring.edge_srlg_count[i] = 1;
  }
  return ring;
}

TEST(ExactSpectra, RingsOfAnySize) {
  // A ring of n edges, one SRLG each: connected exactly when at most one edge is down, so
  // 1 + n connected subsets, of sizes n and n-1.
  for (const auto& [n, method] :
       {std::pair{kMaxExactSrlgs, ExactMethod::kSubsets},
        std::pair{kMaxExactSrlgs, ExactMethod::kDiagram}, std::pair{300, ExactMethod::kDiagram}}) {
    SCOPED_TRACE(std::to_string(n) + " by " + method_name(method));
    const ExactSpectra exact = exact_of(ring_of(n), method);
    const std::size_t size = static_cast<std::size_t>(n);
    for (std::size_t k = 1; k <= size - 2; ++k) {
      ASSERT_EQ(exact.connected_subsets[k - 1], 0) << "k = " << k;
    }
    EXPECT_EQ(exact.connected_subsets[size - 2], n);
    EXPECT_EQ(exact.connected_subsets[size - 1], 1);
    EXPECT_EQ(exact.connected_subsets_with[0][size - 2], n - 1);
    EXPECT_EQ(exact.subsets[size / 2 - 1], binomial_row(n)[size / 2]);
    EXPECT_DOUBLE_EQ(exact.spectrum[size - 2], 1.0);
  }
}

TEST(ExactSpectra, BinomialsAreExactUpToSixtyTwo) {
  const auto rows = binomials(62);
  EXPECT_EQ(rows[30][15], 155117520u);
  EXPECT_EQ(rows[62][31], 465428353255261088u);
  for (std::size_t m = 1; m < rows.size(); ++m) {
    std::uint64_t sum = 0;
    for (const std::uint64_t value : rows[m]) {
      sum += value;
    }
    EXPECT_EQ(sum, std::uint64_t{1} << m) << "row " << m;
  }
}

}  // namespace
}  // namespace varnak
