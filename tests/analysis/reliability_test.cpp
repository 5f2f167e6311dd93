#include "analysis/reliability.hpp"

#include <gtest/gtest.h>

#include <boost/multiprecision/cpp_int.hpp>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/binomials.hpp"
#include "analysis/exact_spectra.hpp"
#include "estimation/spectra_estimator.hpp"
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

// Counts as a run that reports importance makes them: with the SRLG that connected each
// sample.
SpectraCounts counts_with_importance(std::int32_t samples, std::int32_t seed,
                                     const NetworkInstance& instance) {
  CountingOptions options;
  options.critical = true;
  return estimate_counts(samples, seed, instance, options);
}

// The mean of many estimates of each importance against its exact value, where p is near 1
// and a few samples carry each figure: within four standard errors of the mean, every
// estimate in [0, 1] and inside its interval, and the intervals missing at most one time
// in ten. The same sums from the BIM counts alone, held to [0, 1], put the mean of a small
// importance several standard errors high.
TEST(Reliability, ImportanceIsUnbiasedAndHeldToProbabilities) {
  const std::vector<NamedInstance> cases = {
      {"grid", analysis_networks::grid_2x3()},
      {"ring network", test_networks::make_ring_network({8, 13, 7, 0.1, 0.3, 3, 1}, 2)},
      {"free edges connect", small_instances()[2].instance},
  };
  constexpr int kRepetitions = 300;
  constexpr std::int32_t kSamples = 1000;
  for (const NamedInstance& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    const SpectraSummary exact = exact_summary(test_case.instance);
    for (const double p : {0.9, 0.99}) {
      SCOPED_TRACE(p);
      const std::vector<SrlgImportance> truth = srlg_importances(exact, p);
      const std::size_t width = truth.size();
      std::vector<double> sums(width, 0.0);
      std::vector<double> squares(width, 0.0);
      int misses = 0;
      for (int seed = 1; seed <= kRepetitions; ++seed) {
        const SpectraSummary estimate = summary_of_counts(
            counts_with_importance(kSamples, seed, test_case.instance), exact.none_up == 1.0);
        const std::vector<SrlgImportance> importances = srlg_importances(estimate, p);
        for (std::size_t s = 0; s < width; ++s) {
          const SrlgImportance& entry = importances[s];
          ASSERT_GE(entry.importance, 0.0);
          ASSERT_LE(entry.importance, 1.0);
          ASSERT_LE(entry.interval.low, entry.importance);
          ASSERT_GE(entry.interval.high, entry.importance);
          sums[s] += entry.importance;
          squares[s] += entry.importance * entry.importance;
          misses +=
              truth[s].importance < entry.interval.low || truth[s].importance > entry.interval.high;
        }
      }
      for (std::size_t s = 0; s < width; ++s) {
        const double mean = sums[s] / kRepetitions;
        const double spread = std::sqrt(std::max(0.0, squares[s] / kRepetitions - mean * mean));
        EXPECT_NEAR(mean, truth[s].importance, 4.0 * spread / std::sqrt(kRepetitions) + 1e-12)
            << "SRLG " << s + 1;
      }
      EXPECT_LE(misses, static_cast<int>(width) * kRepetitions / 10);
    }
  }
}

// Whether `value` is a double nearest to `exact`: no neighbour of it is nearer.
bool nearest_double(double value, const boost::multiprecision::cpp_rational& exact) {
  using boost::multiprecision::abs;
  using boost::multiprecision::cpp_rational;
  const cpp_rational distance = abs(cpp_rational(value) - exact);
  for (const double neighbour : {std::nextafter(value, -1.0), std::nextafter(value, 2.0)}) {
    if (abs(cpp_rational(neighbour) - exact) < distance) {
      return false;
    }
  }
  return true;
}

// Exact figures at one p for all are the doubles nearest to the exact sums, checked against
// rational arithmetic straight from the subset counts; summing rounded spectra instead
// left R and the importances a few units of the last place off.
TEST(Reliability, ExactFiguresAreTheNearestDoubles) {
  using boost::multiprecision::cpp_rational;
  const std::vector<NamedInstance> instances = small_instances();
  for (std::size_t i = 0; i < 8; ++i) {
    const NamedInstance& named = instances[i];
    SCOPED_TRACE(named.name);
    ExactSpectra exact;
    std::string failure;
    ASSERT_EQ(compute_exact_spectra(named.instance, exact, failure), 0) << failure;
    const ExactSpectra kept = exact;
    const SpectraSummary summary = summary_of_exact(std::move(exact));
    const std::int32_t n = kept.srlg_count;
    for (const double p : {1e-5, 0.1, 0.5, 0.9, 0.999, 0.9999}) {
      SCOPED_TRACE(p);
      const cpp_rational up(p);
      const cpp_rational down = 1 - up;
      const auto power = [](const cpp_rational& x, std::int32_t k) {
        cpp_rational result = 1;
        for (std::int32_t i = 0; i < k; ++i) {
          result *= x;
        }
        return result;
      };
      cpp_rational r = kept.free_edges_connect ? power(down, n) : cpp_rational(0);
      for (std::int32_t k = 1; k <= n; ++k) {
        r += power(up, k) * power(down, n - k) *
             cpp_rational(kept.connected_subsets[static_cast<std::size_t>(k - 1)]);
      }
      const ReliabilityPoint point = reliability_point(summary, p);
      EXPECT_TRUE(nearest_double(point.reliability, r)) << point.reliability;
      EXPECT_TRUE(nearest_double(point.unreliability, 1 - r)) << point.unreliability;
      const std::vector<SrlgImportance> importances = srlg_importances(summary, p);
      for (std::int32_t s = 0; s < n; ++s) {
        const std::vector<ExactCount>& with_s =
            kept.connected_subsets_with[static_cast<std::size_t>(s)];
        cpp_rational importance = 0;
        for (std::int32_t j = 0; j < n; ++j) {
          const cpp_rational without_s =
              j == 0 ? cpp_rational(kept.free_edges_connect ? 1 : 0)
                     : cpp_rational(kept.connected_subsets[static_cast<std::size_t>(j - 1)] -
                                    with_s[static_cast<std::size_t>(j - 1)]);
          importance += power(up, j) * power(down, n - 1 - j) *
                        (cpp_rational(with_s[static_cast<std::size_t>(j)]) - without_s);
        }
        EXPECT_TRUE(nearest_double(importances[static_cast<std::size_t>(s)].importance, importance))
            << "SRLG " << s + 1;
      }
    }
  }
}

// Equal exact importances are a tie and never resolved, whatever their doubles; distinct
// ones are ranked by their exact values. The grid's six outer SRLGs are alike.
TEST(Reliability, ExactTiesAreToldExactly) {
  ExactSpectra exact;
  std::string failure;
  ASSERT_EQ(compute_exact_spectra(analysis_networks::grid_2x3(), exact, failure), 0) << failure;
  const SpectraSummary summary = summary_of_exact(std::move(exact));
  for (const double p : {0.5, 0.9, 0.9999}) {
    SCOPED_TRACE(p);
    const std::vector<SrlgImportance> ranked = rank_by_importance(summary, p, 0);
    int resolved = 0;
    for (std::size_t i = 0; i < ranked.size(); ++i) {
      resolved += ranked[i].resolved;
      if (i > 0) {
        EXPECT_GE(ranked[i - 1].importance, ranked[i].importance);
      }
    }
    // One SRLG stands apart from a group of six that tie, all six in one group named by the
    // rank of its first.
    EXPECT_EQ(resolved, 1);
    const std::size_t first = ranked.front().resolved ? 1 : 0;
    for (std::size_t i = 0; i < ranked.size(); ++i) {
      EXPECT_EQ(ranked[i].tie_group, ranked[i].resolved ? 0 : static_cast<std::int32_t>(first) + 1)
          << "rank " << i + 1;
    }
  }
}

// Figures known within a bound on their rounding tie when their intervals meet, one after
// another; the ranks shown keep the groups found among all.
TEST(Reliability, BoundedFiguresTieWhereTheirIntervalsMeet) {
  const auto entry = [](std::int32_t srlg, double value) {
    SrlgImportance importance;
    importance.srlg = srlg;
    importance.importance = value;
    importance.interval = {value - 1e-12, value + 1e-12};
    return importance;
  };
  const std::vector<SrlgImportance> importances = {entry(1, 0.5),         entry(2, 0.5 + 1.5e-12),
                                                   entry(3, 0.5 + 3e-12), entry(4, 0.25),
                                                   entry(5, 0.1),         entry(6, 0.1)};
  struct Expected {
    std::int32_t srlg;
    std::int32_t tie_group;
    bool resolved;
  };
  // 1, 2 and 3 chain into one group though 1 and 3 are apart; 5 and 6 are equal.
  const std::vector<Expected> expected = {{3, 1, false}, {2, 1, false}, {1, 1, false},
                                          {4, 0, true},  {5, 5, false}, {6, 5, false}};
  const std::vector<SrlgImportance> ranked = rank_bounded_importances(importances, 0);
  ASSERT_EQ(ranked.size(), expected.size());
  for (std::size_t i = 0; i < ranked.size(); ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_EQ(ranked[i].srlg, expected[i].srlg);
    EXPECT_EQ(ranked[i].tie_group, expected[i].tie_group);
    EXPECT_EQ(ranked[i].resolved, expected[i].resolved);
  }
  const std::vector<SrlgImportance> top = rank_bounded_importances(importances, 2);
  ASSERT_EQ(top.size(), 2u);
  EXPECT_EQ(top[1].tie_group, 1);
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

// Repeated estimates of small networks against their exact values: the 95% intervals of
// R(p) should miss about one time in twenty, those of the importances (conservative by
// construction) less often, and a rank called resolved should be the exact rank. Fixed
// seeds make the counts the same on every run, so the bounds below cannot flake; they
// are loose enough to hold for other seeds too (a 95% interval missing more than 10% of
// 150 times has odds below 1e-3).
TEST(Reliability, IntervalsCoverTheExactValues) {
  struct Case {
    std::string name;
    NetworkInstance instance;
  };
  const std::vector<Case> cases = {
      {"grid", analysis_networks::grid_2x3()},
      {"worked ring", analysis_networks::worked_ring()},
      {"ring network", test_networks::make_ring_network({8, 13, 7, 0.1, 0.3, 3, 1}, 2)},
  };
  constexpr int kRepetitions = 150;
  constexpr std::int32_t kSamples = 400;
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    const SpectraSummary exact = exact_summary(test_case.instance);
    for (const double p : {0.5, 0.8, 0.95}) {
      SCOPED_TRACE(p);
      const ReliabilityPoint truth = reliability_point(exact, p);
      const std::vector<SrlgImportance> true_ranks = rank_by_importance(exact, p, 0);
      int reliability_misses = 0;
      int importance_misses = 0;
      int importance_checks = 0;
      int wrong_resolved_ranks = 0;
      for (int seed = 1; seed <= kRepetitions; ++seed) {
        const SpectraSummary estimate = summary_of_counts(
            counts_with_importance(kSamples, seed, test_case.instance), exact.none_up == 1.0);
        const ReliabilityPoint point = reliability_point(estimate, p);
        ASSERT_LE(point.interval.low, point.reliability);
        ASSERT_GE(point.interval.high, point.reliability);
        reliability_misses +=
            truth.reliability < point.interval.low || truth.reliability > point.interval.high;
        const std::vector<SrlgImportance> ranked = rank_by_importance(estimate, p, 0);
        for (std::size_t rank = 0; rank < ranked.size(); ++rank) {
          const SrlgImportance& entry = ranked[rank];
          const double true_value =
              srlg_importances(exact, p)[static_cast<std::size_t>(entry.srlg - 1)].importance;
          ++importance_checks;
          importance_misses += true_value < entry.interval.low || true_value > entry.interval.high;
          wrong_resolved_ranks += entry.resolved && true_ranks[rank].srlg != entry.srlg;
        }
      }
      EXPECT_LE(reliability_misses, kRepetitions / 10);
      EXPECT_LE(importance_misses, importance_checks / 20);
      EXPECT_LE(wrong_resolved_ranks, kRepetitions / 20);
    }
  }
}

// Three SRLGs that connect the network together: a sample first connects with one up,
// with two or with all three, and its share of 1 - R(p) is 0, w_1 or w_1 + w_2, three
// values whose spread and skew change with p. The probability that the interval holds
// the exact R(p), summed over every trinomial count, is at least 95% for each law on a
// grid that includes laws whose rare outcome carries R(p) and is seen by a fraction of a
// sample.
TEST(Reliability, IntervalHoldsItsLevelForEveryLawOfThreeOutcomes) {
  for (const std::int32_t samples : {1, 2, 3, 4, 6, 9, 14, 20, 30, 45}) {
    SCOPED_TRACE(samples);
    const double n = samples;
    std::vector<double> grid = {0.0, 0.02 / n, 0.1 / n, 0.18 / n, 0.5 / n, 1 / n, 3 / n};
    for (int step = 1; step < 16; ++step) {
      grid.push_back(step / 16.0);
    }
    std::erase_if(grid, [](double q) { return q >= 1.0; });
    for (const double p : {0.1, 0.5, 0.9}) {
      SCOPED_TRACE(p);
      // By the samples connected with one up and those first connected with two.
      std::vector<Interval> intervals;
      for (std::int32_t at_one = 0; at_one <= samples; ++at_one) {
        for (std::int32_t at_two = 0; at_one + at_two <= samples; ++at_two) {
          const SpectraSummary summary = summary_of_counts(
              {3, samples, {at_one, at_one + at_two, samples}, std::vector<std::int32_t>(9, 0)},
              false);
          intervals.push_back(reliability_point(summary, p).interval);
        }
      }
      double least = 1.0;
      for (const double first : grid) {
        for (const double second : grid) {
          const double last = 1.0 - first - second;
          if (last < 0.0) {
            continue;
          }
          SpectraSummary law;
          law.srlg_count = 3;
          law.spectrum = {first, first + second, 1.0};
          law.bim_spectra.assign(3, SpectraVector(3, 0.0));
          law.exact = true;
          const double truth = reliability_point(law, p).reliability;
          double covered = 0.0;
          std::size_t index = 0;
          for (std::int32_t at_one = 0; at_one <= samples; ++at_one) {
            for (std::int32_t at_two = 0; at_one + at_two <= samples; ++at_two, ++index) {
              const std::int32_t at_three = samples - at_one - at_two;
              const Interval& interval = intervals[index];
              const bool impossible = (at_one > 0 && first == 0.0) ||
                                      (at_two > 0 && second == 0.0) ||
                                      (at_three > 0 && last == 0.0);
              if (impossible || truth < interval.low || truth > interval.high) {
                continue;
              }
              covered += std::exp(std::lgamma(n + 1) - std::lgamma(at_one + 1.0) -
                                  std::lgamma(at_two + 1.0) - std::lgamma(at_three + 1.0) +
                                  (at_one > 0 ? at_one * std::log(first) : 0.0) +
                                  (at_two > 0 ? at_two * std::log(second) : 0.0) +
                                  (at_three > 0 ? at_three * std::log(last) : 0.0));
            }
          }
          least = std::min(least, covered);
        }
      }
      EXPECT_GE(least, 0.95 - 1e-9);
    }
  }
}

// Counts that say "always" or "never" give exactly 1 or 0, and no interval leaves its
// estimate out, even when every sample connected at the same position.
TEST(Reliability, SampledEndsAreExact) {
  struct Case {
    std::string name;
    SpectraCounts counts;
    bool free_edges_connect;
    double expected_at_half;  // R(1/2)
  };
  const std::vector<Case> cases = {
      {"never connected", {2, 50, {0, 0}, {0, 0, 0, 0}}, false, 0.0},
      {"free edges connect", {2, 50, {50, 50}, {25, 50, 25, 50}}, true, 1.0},
      {"always at the last position", {2, 50, {0, 50}, {0, 50, 0, 50}}, false, 0.25},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    const SpectraSummary summary =
        summary_of_counts(test_case.counts, test_case.free_edges_connect);
    for (const double p : {0.0, 0.5, 1.0}) {
      SCOPED_TRACE(p);
      const ReliabilityPoint point = reliability_point(summary, p);
      EXPECT_LE(point.interval.low, point.reliability);
      EXPECT_GE(point.interval.high, point.reliability);
      EXPECT_GE(point.interval.low, 0.0);
      EXPECT_LE(point.interval.high, 1.0);
      EXPECT_EQ(point.reliability + point.unreliability, 1.0);
    }
    EXPECT_EQ(reliability_point(summary, 0.5).reliability, test_case.expected_at_half);
  }
  // Every sample connected last, the worst the network allows: the spread is not seen,
  // yet the interval keeps a width toward the positions no sample was at.
  const SpectraSummary at_last = summary_of_counts(cases[2].counts, false);
  const ReliabilityPoint last = reliability_point(at_last, 0.5);
  EXPECT_EQ(last.interval.low, 0.25);
  EXPECT_GT(last.interval.high, 0.25);
  // Whether the network connects with every SRLG up is the same for every order: R(1)
  // is known from one sample, and a network that never connected has R = 0 at every p.
  const ReliabilityPoint all_up = reliability_point(at_last, 1.0);
  EXPECT_EQ(all_up.interval.low, 1.0);
  EXPECT_EQ(all_up.interval.high, 1.0);
  const ReliabilityPoint never = reliability_point(summary_of_counts(cases[0].counts, false), 0.5);
  EXPECT_EQ(never.interval.low, 0.0);
  EXPECT_EQ(never.interval.high, 0.0);
}

// 1 - R(p) as the sum over d failed SRLGs of P(d failed) times the exact share of d-sets
// that disconnect: with every d counted it is the exact value whatever the samples say,
// and with a few d counted it still equals the exact value when the rest is exact too.
TEST(Reliability, ExactTailGivesTheExactValue) {
  for (const NamedInstance& named : small_instances()) {
    SCOPED_TRACE(named.name);
    const SpectraSummary exact = exact_summary(named.instance);
    const std::int32_t srlg_count = exact.srlg_count;
    FailureShares all_failures;
    FailureShares few_failures;
    std::string failure;
    ASSERT_EQ(count_failure_shares(named.instance, srlg_count, all_failures, failure), 0);
    ASSERT_EQ(count_failure_shares(named.instance, 2, few_failures, failure), 0);
    // A poor estimate on purpose: the exact tail must not depend on it.
    const SpectraSummary sampled =
        summary_of_counts(estimate_counts(50, 9, named.instance), exact.none_up == 1.0);
    for (const double p : {0.3, 0.9, 0.999}) {
      SCOPED_TRACE(p);
      const ReliabilityPoint truth = reliability_point(exact, p);
      const ReliabilityPoint whole = reliability_point(sampled, p, &all_failures);
      EXPECT_NEAR(whole.reliability, truth.reliability, 1e-12);
      EXPECT_NEAR(whole.unreliability, truth.unreliability, 1e-12 * truth.unreliability + 1e-300);
      EXPECT_EQ(whole.interval.low, whole.reliability);
      EXPECT_EQ(whole.interval.high, whole.reliability);
      const ReliabilityPoint split = reliability_point(exact, p, &few_failures);
      EXPECT_NEAR(split.unreliability, truth.unreliability, 1e-12);
      const ReliabilityPoint mixed = reliability_point(sampled, p, &few_failures);
      EXPECT_LE(mixed.interval.low, mixed.reliability);
      EXPECT_GE(mixed.interval.high, mixed.reliability);
    }
  }
}

// With an exact tail only the positions before it are sampled; samples that all landed
// where the sampled part cannot vary still leave it unknown, by the allowance none seen
// gives (z^2 / N of its weight), on the side no sample could rule out.
TEST(Reliability, ExactTailKeepsTheUnseenAllowanceWhenTheSampledPartDoesNotVary) {
  const double z2 = kNormalQuantile95 * kNormalQuantile95;
  // Three SRLGs, one failed counted exactly: only k = 1 is sampled, its weight w_1.
  FailureShares shares;
  shares.srlg_count = 3;
  shares.sets = {1, 3};
  shares.disconnecting = {0, 1};
  struct Case {
    std::string name;
    std::vector<std::int64_t> connected;
    bool sampled_part_at_its_worst;  // no sample connected with one SRLG up
  };
  const std::vector<Case> cases = {
      {"none connected with one up", {0, 10, 40}, true},
      {"all connected with one up", {40, 40, 40}, false},
  };
  constexpr std::int32_t kSamples = 40;
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    const SpectraSummary summary = summary_of_counts(
        {3, kSamples, test_case.connected, std::vector<std::int32_t>(9, 0)}, false);
    for (const double p : {0.3, 0.9}) {
      SCOPED_TRACE(p);
      const double allowance = z2 * 3 * p * (1 - p) * (1 - p) / kSamples;
      const ReliabilityPoint point = reliability_point(summary, p, &shares);
      const double below = point.reliability - point.interval.low;
      const double above = point.interval.high - point.reliability;
      EXPECT_NEAR(test_case.sampled_part_at_its_worst ? above : below, allowance, 1e-12);
      EXPECT_EQ(test_case.sampled_part_at_its_worst ? below : above, 0.0);
    }
  }
}

// Small runs of 15-SRLG networks with the failures of up to 3 SRLGs counted exactly:
// in most runs every sample first connects where the sampled part of 1 - R(p) no longer
// varies, and an interval of no width there would miss the exact value nearly always.
// No interval may have zero width, and they miss about one time in twenty (the bound,
// 15% of 200, has odds far below 1e-6 for a 95% interval; fixed seeds repeat the runs).
TEST(Reliability, ExactTailIntervalsHaveAWidthAndCoverOverManySeeds) {
  struct Case {
    std::uint64_t network_seed;
    std::int32_t samples;
  };
  constexpr std::int32_t kDepth = 3;
  constexpr int kRepetitions = 200;
  for (const Case test_case : {Case{3, 10}, Case{2, 30}}) {
    SCOPED_TRACE(::testing::Message()
                 << "network " << test_case.network_seed << ", N " << test_case.samples);
    const NetworkInstance network =
        test_networks::make_ring_network(test_networks::small_shape(), test_case.network_seed);
    const SpectraSummary exact = exact_summary(network);
    FailureShares shares;
    std::string failure;
    ASSERT_EQ(count_failure_shares(network, kDepth, shares, failure), 0) << failure;
    const std::int32_t last_sampled = exact.srlg_count - kDepth - 1;
    for (const double p : {0.5, 0.9}) {
      SCOPED_TRACE(p);
      const double truth = reliability_point(exact, p).reliability;
      int misses = 0;
      int sampled_part_fixed = 0;
      for (int seed = 1; seed <= kRepetitions; ++seed) {
        const SpectraSummary sampled =
            summary_of_counts(estimate_counts(test_case.samples, seed, network), false);
        sampled_part_fixed +=
            sampled.counts.connected[static_cast<std::size_t>(last_sampled - 1)] == 0;
        const ReliabilityPoint point = reliability_point(sampled, p, &shares);
        ASSERT_LT(point.interval.low, point.interval.high) << "seed " << seed;
        misses += truth < point.interval.low || truth > point.interval.high;
      }
      EXPECT_GE(sampled_part_fixed, kRepetitions / 5);
      EXPECT_LE(misses, kRepetitions * 15 / 100);
    }
  }
}

// At high p the exact tail leaves only a sliver to sampling, so its interval is far
// narrower than the spectrum's alone, and still covers the exact value.
TEST(Reliability, ExactTailNarrowsTheIntervalAtHighAvailability) {
  const NetworkInstance ring = test_networks::make_ring_network({8, 13, 7, 0.1, 0.3, 3, 1}, 2);
  const SpectraSummary exact = exact_summary(ring);
  FailureShares shares;
  std::string failure;
  ASSERT_EQ(count_failure_shares(ring, 2, shares, failure), 0) << failure;
  int spectrum_misses = 0;
  int tail_misses = 0;
  double spectrum_width = 0.0;
  double tail_width = 0.0;
  constexpr int kRepetitions = 100;
  const double p = 0.95;
  const double truth = reliability_point(exact, p).reliability;
  for (int seed = 1; seed <= kRepetitions; ++seed) {
    const SpectraSummary sampled = summary_of_counts(estimate_counts(400, seed, ring), false);
    const ReliabilityPoint alone = reliability_point(sampled, p);
    const ReliabilityPoint with_tail = reliability_point(sampled, p, &shares);
    spectrum_misses += truth < alone.interval.low || truth > alone.interval.high;
    tail_misses += truth < with_tail.interval.low || truth > with_tail.interval.high;
    spectrum_width += alone.interval.high - alone.interval.low;
    tail_width += with_tail.interval.high - with_tail.interval.low;
  }
  EXPECT_LE(spectrum_misses, kRepetitions / 10);
  EXPECT_LE(tail_misses, kRepetitions / 10);
  EXPECT_LT(tail_width, spectrum_width / 5);
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
