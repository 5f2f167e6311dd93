#include "analysis/reliability.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/exact_spectra.hpp"
#include "tests/analysis/grid_network.hpp"
#include "tests/analysis/subset_brute_force.hpp"
#include "tests/support/instance_generator.hpp"

namespace varnak {
namespace {

SpectraSummary exact_summary(const NetworkInstance& instance) {
  ExactSpectra exact;
  std::string failure;
  EXPECT_EQ(compute_exact_spectra(instance, exact, failure), 0) << failure;
  SpectraSummary summary;
  summary.srlg_count = exact.srlg_count;
  summary.none_up = exact.free_edges_connect ? 1.0 : 0.0;
  summary.spectrum = exact.spectrum;
  summary.bim_spectra = exact.bim_spectra;
  summary.exact = true;
  return summary;
}

struct NamedInstance {
  std::string name;
  NetworkInstance instance;
};

// Small instances, among them one connected with no SRLG up, so that y_0 = 1 is used.
std::vector<NamedInstance> small_instances() {
  std::vector<NamedInstance> instances = {
      {"grid", analysis_networks::grid_2x3()},
      {"worked ring", analysis_networks::worked_ring()},
  };
  NetworkInstance free_connected = analysis_networks::worked_ring();
  free_connected.edges[5] = {2, 3};
  free_connected.edges[6] = {3, 4};
  free_connected.edge_count = 6;
  free_connected.edge_srlg_count[5] = 0;
  free_connected.edge_srlg_count[6] = 0;
  instances.push_back({"free edges connect", free_connected});
  for (std::uint64_t seed = 1; seed <= 3; ++seed) {
    instances.push_back({"ring network " + std::to_string(seed),
                         test_networks::make_ring_network({8, 13, 7, 0.1, 0.3, 3, 1}, seed)});
  }
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    instances.push_back(
        {"awkward network " + std::to_string(seed), test_networks::make_awkward_network(seed)});
  }
  return instances;
}

TEST(Reliability, GridAtOneHalf) {
  // Every subset has probability 1/128; 15 + 7 + 1 of them connect.
  EXPECT_NEAR(reliability(exact_summary(analysis_networks::grid_2x3()), 0.5), 23.0 / 128.0, 1e-15);
}

TEST(Reliability, EqualsTheSumOverSubsets) {
  for (const NamedInstance& named : small_instances()) {
    SCOPED_TRACE(named.name);
    const SpectraSummary summary = exact_summary(named.instance);
    const std::vector<bool> connected = brute_force::connected_subsets(named.instance);
    for (const double p : {0.0, 0.13, 0.5, 0.87, 1.0}) {
      SCOPED_TRACE(p);
      EXPECT_NEAR(reliability(summary, p),
                  brute_force::reliability_over_subsets(connected, summary.srlg_count, p), 1e-12);
    }
  }
}

TEST(Reliability, NonDecreasingFromItsEmptyToItsFullEnd) {
  for (const NamedInstance& named : small_instances()) {
    SCOPED_TRACE(named.name);
    const SpectraSummary summary = exact_summary(named.instance);
    EXPECT_EQ(reliability(summary, 0.0), summary.none_up);
    EXPECT_EQ(reliability(summary, 1.0), summary.spectrum.back());
    double previous = 0.0;
    for (int i = 0; i <= 100; ++i) {
      const double value = reliability(summary, i / 100.0);
      EXPECT_GE(value, previous - 1e-12) << "p = " << i / 100.0;
      EXPECT_LE(value, 1.0 + 1e-12);
      previous = value;
    }
  }
}

TEST(Reliability, ImportanceIsUpMinusDownOverSubsets) {
  for (const NamedInstance& named : small_instances()) {
    SCOPED_TRACE(named.name);
    const SpectraSummary summary = exact_summary(named.instance);
    const std::vector<bool> connected = brute_force::connected_subsets(named.instance);
    for (const double p : {0.0, 0.3, 0.9, 1.0}) {
      const std::vector<SrlgImportance> importances = srlg_importances(summary, p);
      ASSERT_EQ(importances.size(), static_cast<std::size_t>(summary.srlg_count));
      for (const SrlgImportance& entry : importances) {
        SCOPED_TRACE(::testing::Message() << "p " << p << " SRLG " << entry.srlg);
        const double up = brute_force::reliability_over_subsets(connected, summary.srlg_count, p,
                                                                entry.srlg, true);
        const double down = brute_force::reliability_over_subsets(connected, summary.srlg_count, p,
                                                                  entry.srlg, false);
        EXPECT_NEAR(entry.reliability_up, up, 1e-12);
        EXPECT_NEAR(entry.reliability_down, down, 1e-12);
        EXPECT_NEAR(entry.importance, up - down, 1e-12);
        // Conditioning on s and averaging gives R back.
        EXPECT_NEAR(p * entry.reliability_up + (1 - p) * entry.reliability_down,
                    reliability(summary, p), 1e-12);
      }
    }
  }
}

TEST(Reliability, RankingPutsTheMostImportantFirst) {
  // In the worked ring both edges at vertex 3 wait for SRLG 2, so every connected subset
  // holds it; SRLGs 1 and 3 are each in one of the two connected pairs, tie, and keep
  // their id order.
  const SpectraSummary summary = exact_summary(analysis_networks::worked_ring());
  const std::vector<SrlgImportance> ranked = rank_by_importance(summary, 0.5, 0);
  ASSERT_EQ(ranked.size(), 3u);
  EXPECT_EQ(ranked[0].srlg, 2);
  EXPECT_EQ(ranked[1].srlg, 1);
  EXPECT_EQ(ranked[2].srlg, 3);
  EXPECT_DOUBLE_EQ(ranked[1].importance, ranked[2].importance);
  EXPECT_EQ(rank_by_importance(summary, 0.5, 2).size(), 2u);
}

TEST(Reliability, EstimatedValuesStayProbabilities) {
  // Noise can make z S / k exceed 1: one sample up at k = 1 with s counted there.
  SpectraSummary noisy;
  noisy.srlg_count = 2;
  noisy.spectrum = {0.6, 1.0};
  noisy.bim_spectra = {{0.6, 1.0}, {0.0, 1.0}};
  for (const SrlgImportance& entry : srlg_importances(noisy, 0.5)) {
    SCOPED_TRACE(entry.srlg);
    EXPECT_LE(entry.reliability_up, 1.0);
    EXPECT_GE(entry.reliability_down, 0.0);
  }
}

TEST(BinomialWeights, SumToOneAndCentreOnTheMeanForLargeCounts) {
  struct Case {
    std::int32_t n;
    double p;
  };
  const std::vector<Case> cases = {{0, 0.5},    {1, 0.25},    {30, 0.5},   {2000, 0.9},
                                   {5000, 0.3}, {5000, 1e-4}, {4000, 0.0}, {4000, 1.0}};
  for (const Case& test_case : cases) {
    SCOPED_TRACE(::testing::Message() << "n " << test_case.n << " p " << test_case.p);
    const std::vector<double> weights = binomial_weights(test_case.n, test_case.p);
    ASSERT_EQ(weights.size(), static_cast<std::size_t>(test_case.n) + 1);
    double sum = 0.0;
    double mean = 0.0;
    for (std::size_t k = 0; k < weights.size(); ++k) {
      ASSERT_TRUE(std::isfinite(weights[k]));
      ASSERT_GE(weights[k], 0.0);
      sum += weights[k];
      mean += static_cast<double>(k) * weights[k];
    }
    EXPECT_NEAR(sum, 1.0, 1e-9);
    EXPECT_NEAR(mean, test_case.n * test_case.p, 1e-9 * (1 + test_case.n));
  }
}

TEST(BinomialWeights, MatchExactBinomialsForSmallCounts) {
  const auto choose = binomials(20);
  for (const double p : {0.1, 0.5, 0.77}) {
    const std::vector<double> weights = binomial_weights(20, p);
    for (int k = 0; k <= 20; ++k) {
      const double expected = static_cast<double>(choose[20][static_cast<std::size_t>(k)]) *
                              std::pow(p, k) * std::pow(1 - p, 20 - k);
      EXPECT_NEAR(weights[static_cast<std::size_t>(k)], expected, 1e-13 * (1 + expected))
          << "p " << p << " k " << k;
    }
  }
}

}  // namespace
}  // namespace varnak
