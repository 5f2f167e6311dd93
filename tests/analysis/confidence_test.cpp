#include "analysis/confidence.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

namespace varnak {
namespace {

// Sums of a few thousand probabilities from logarithms lose a few units in 1e-13.
constexpr double kSumRounding = 1e-9;

// A uniform double in [0, 1) from the top 53 bits, the same on every standard library.
double uniform(std::mt19937_64& engine) {
  return static_cast<double>(engine() >> 11) * 0x1.0p-53;
}

double log_binomial_probability(std::int64_t trials, std::int64_t count, double p) {
  const double n = static_cast<double>(trials);
  const double k = static_cast<double>(count);
  double log = std::lgamma(n + 1) - std::lgamma(k + 1) - std::lgamma(n - k + 1);
  if (count > 0) {
    log += k * std::log(p);
  }
  if (count < trials) {
    log += (n - k) * std::log1p(-p);
  }
  return log;
}

// The probability that an interval made from a Binomial(trials, p) count holds p, summed
// over every count whose probability is not negligible (50 standard deviations and 50
// counts either side of the mean), `interval_of` called for those counts only.
double exact_coverage(std::int64_t trials, double p,
                      const std::function<Interval(std::int64_t)>& interval_of) {
  const double n = static_cast<double>(trials);
  const double reach = 50.0 * std::sqrt(n * p * (1 - p)) + 50.0;
  const auto first = static_cast<std::int64_t>(std::max(0.0, std::floor(n * p - reach)));
  const auto last = static_cast<std::int64_t>(std::min(n, std::ceil(n * p + reach)));
  double covered = 0.0;
  for (std::int64_t count = first; count <= last; ++count) {
    const Interval interval = interval_of(count);
    if (interval.low <= p && p <= interval.high) {
      covered += std::exp(log_binomial_probability(trials, count, p));
    }
  }
  return covered;
}

// Proportions at which the coverage of intervals from `trials` is least: just outside
// and just inside every interval end (where a count leaves or joins), c/N and 1 - c/N
// for small c (where Wilson's fails), and an even grid.
std::vector<double> probing_proportions(std::int64_t trials, const std::vector<Interval>& ends) {
  const double n = static_cast<double>(trials);
  std::vector<double> proportions;
  for (const Interval& interval : ends) {
    for (const double end : {interval.low, interval.high}) {
      for (const double step : {-1e-9, 1e-9}) {
        proportions.push_back(end * (1 + step) + step * 1e-9);
      }
    }
  }
  for (const double c : {0.001, 0.05, 0.1, 0.18, 0.3, 0.5, 1.0, 2.0, 3.0, 5.0, 10.0}) {
    proportions.push_back(c / n);
    proportions.push_back(1 - c / n);
  }
  for (int step = 1; step < 200; ++step) {
    proportions.push_back(step / 200.0);
  }
  std::erase_if(proportions, [](double p) { return !(p > 0.0 && p < 1.0); });
  return proportions;
}

// The level holds at every proportion and every count of trials, down to N = 1, and at
// N = 10^5 near the ends, where a normal or score interval fails. Every count's interval
// holds its estimate, and the ends are exactly 0 and 1 for counts of 0 and N.
TEST(ClopperPearsonInterval, CoversAtLeastNineteenTimesInTwentyForEveryProportion) {
  std::vector<std::int64_t> trial_counts;
  for (std::int64_t n = 1; n <= 60; ++n) {
    trial_counts.push_back(n);
  }
  trial_counts.insert(trial_counts.end(), {100, 1000, 100000});
  for (const std::int64_t trials : trial_counts) {
    SCOPED_TRACE(trials);
    const bool every_count = trials <= 1000;
    std::vector<Interval> intervals;
    for (std::int64_t count = 0; every_count && count <= trials; ++count) {
      const Interval interval = clopper_pearson_interval(count, trials);
      const double estimate = proportion_of(count, trials);
      ASSERT_LE(interval.low, estimate) << count;
      ASSERT_GE(interval.high, estimate) << count;
      ASSERT_LT(interval.low, interval.high) << count;
      intervals.push_back(interval);
    }
    EXPECT_EQ(clopper_pearson_interval(0, trials).low, 0.0);
    EXPECT_EQ(clopper_pearson_interval(trials, trials).high, 1.0);
    EXPECT_GT(clopper_pearson_interval(0, trials).high, 0.0);
    EXPECT_LT(clopper_pearson_interval(trials, trials).low, 1.0);
    const auto interval_of = [&](std::int64_t count) {
      return every_count ? intervals[static_cast<std::size_t>(count)]
                         : clopper_pearson_interval(count, trials);
    };
    std::vector<double> proportions = probing_proportions(trials, intervals);
    if (!every_count) {
      // Near the ends only: the middle is a normal proportion, and each count costs.
      const double end = 30.0 / static_cast<double>(trials);
      std::erase_if(proportions, [&](double p) { return p > end && p < 1 - end; });
    }
    double least = 1.0;
    double least_at = 0.0;
    for (const double p : proportions) {
      const double coverage = exact_coverage(trials, p, interval_of);
      if (coverage < least) {
        least = coverage;
        least_at = p;
      }
    }
    EXPECT_GE(least, 0.95 - kSumRounding) << "at p = " << least_at;
  }
}

TEST(ClopperPearsonInterval, KnownValues) {
  struct Case {
    std::int64_t successes;
    std::int64_t trials;
    double low;
    double high;
  };
  const std::vector<Case> cases = {
      {8, 10, 0.443905, 0.974789},  // the textbook example of 8 successes in 10
      {0, 10, 0.0, 1 - std::pow(0.025, 0.1)},
      {10, 10, std::pow(0.025, 0.1), 1.0},
      {1, 1000, 2.5317e-5, 5.5589e-3},
      {50, 100, 0.398321, 0.601679},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(::testing::Message() << test_case.successes << " of " << test_case.trials);
    const Interval interval = clopper_pearson_interval(test_case.successes, test_case.trials);
    EXPECT_NEAR(interval.low, test_case.low, 1e-6);
    EXPECT_NEAR(interval.high, test_case.high, 1e-6);
  }
  const Interval none = clopper_pearson_interval(0, 0);
  EXPECT_EQ(none.low, 0.0);
  EXPECT_EQ(none.high, 1.0);
}

// A share of terminal pairs: each sample joins none, one or all of the three pairs of
// three terminals, so its share is 0, 1/3 or 1, and the mean of N such shares is all the
// report keeps. Summed over every trinomial count, the interval holds the true mean at
// least 95% of the time for each law on a grid.
TEST(ShareInterval, CoversAMeanOfSharesOfPairsAtLeastNineteenTimesInTwenty) {
  for (const std::int64_t samples : {1, 2, 3, 5, 8, 13, 21, 34}) {
    SCOPED_TRACE(samples);
    const double n = static_cast<double>(samples);
    std::vector<double> grid = {0.0, 0.02 / n, 0.1 / n, 0.18 / n, 0.5 / n, 1 / n, 3 / n};
    for (int step = 1; step < 20; ++step) {
      grid.push_back(step / 20.0);
    }
    std::erase_if(grid, [](double q) { return q >= 1.0; });
    // By the samples that joined all pairs and those that joined one.
    std::vector<Interval> intervals;
    for (std::int64_t with_all = 0; with_all <= samples; ++with_all) {
      for (std::int64_t with_one = 0; with_all + with_one <= samples; ++with_one) {
        intervals.push_back(
            share_interval((static_cast<double>(with_all) + with_one / 3.0) / n, samples));
      }
    }
    double least = 1.0;
    for (const double all : grid) {
      for (const double one : grid) {
        const double none = 1.0 - all - one;
        if (none < 0.0) {
          continue;
        }
        const double truth = all + one / 3;
        double covered = 0.0;
        std::size_t index = 0;
        for (std::int64_t with_all = 0; with_all <= samples; ++with_all) {
          for (std::int64_t with_one = 0; with_all + with_one <= samples; ++with_one, ++index) {
            const std::int64_t with_none = samples - with_all - with_one;
            const bool impossible = (with_all > 0 && all == 0.0) || (with_one > 0 && one == 0.0) ||
                                    (with_none > 0 && none == 0.0);
            const Interval& interval = intervals[index];
            if (impossible || interval.low > truth || truth > interval.high) {
              continue;
            }
            covered += std::exp(std::lgamma(n + 1) - std::lgamma(with_all + 1.0) -
                                std::lgamma(with_one + 1.0) - std::lgamma(with_none + 1.0) +
                                (with_all > 0 ? with_all * std::log(all) : 0.0) +
                                (with_one > 0 ? with_one * std::log(one) : 0.0) +
                                (with_none > 0 ? with_none * std::log(none) : 0.0));
          }
        }
        least = std::min(least, covered);
      }
    }
    EXPECT_GE(least, 0.95 - kSumRounding);
  }
}

// No pair joined in any sample is exactly 0, and the interval starts there; a share too
// small to see next to 1 still leaves 0 out of neither; every interval holds its share.
TEST(ShareInterval, EndsAreExactAndTheShareIsInside) {
  for (const std::int64_t samples : {1LL, 7LL, 1000LL, 10000000000LL}) {
    SCOPED_TRACE(samples);
    const Interval nothing = share_interval(0.0, samples);
    EXPECT_EQ(nothing.low, 0.0);
    EXPECT_GT(nothing.high, 0.0);
    const Interval everything = share_interval(1.0, samples);
    EXPECT_EQ(everything.high, 1.0);
    EXPECT_LT(everything.low, 1.0);
    for (const double share : {1e-320, 1e-300, 1e-12, 0.25, 0.5, 1 - 0x1p-53}) {
      SCOPED_TRACE(share);
      const Interval interval = share_interval(share, samples);
      EXPECT_LE(interval.low, share);
      EXPECT_GE(interval.high, share);
      EXPECT_LT(interval.low, interval.high);
      EXPECT_GE(interval.low, 0.0);
      EXPECT_LE(interval.high, 1.0);
    }
  }
  // A whole count is the proportion's interval.
  const Interval whole = share_interval(0.8, 10);
  const Interval counted = clopper_pearson_interval(8, 10);
  EXPECT_DOUBLE_EQ(whole.low, counted.low);
  EXPECT_DOUBLE_EQ(whole.high, counted.high);
}

// For values 0 or 1 the interval of a bounded mean holds its level at every proportion
// and count, from the counts' own mean and sample deviation.
TEST(BoundedMeanInterval, CoversZeroOneValuesAtLeastNineteenTimesInTwenty) {
  std::vector<std::int64_t> trial_counts;
  for (std::int64_t n = 1; n <= 60; ++n) {
    trial_counts.push_back(n);
  }
  trial_counts.insert(trial_counts.end(), {100, 1000});
  for (const std::int64_t trials : trial_counts) {
    SCOPED_TRACE(trials);
    const double n = static_cast<double>(trials);
    std::vector<Interval> intervals;
    for (std::int64_t count = 0; count <= trials; ++count) {
      const double mean = proportion_of(count, trials);
      const double deviation =
          trials < 2 ? 0.0 : std::sqrt(static_cast<double>(count) * (n - count) / (n * (n - 1)));
      intervals.push_back(bounded_mean_interval(mean, deviation, trials, 1.0));
      ASSERT_LE(intervals.back().low, mean);
      ASSERT_GE(intervals.back().high, mean);
    }
    double least = 1.0;
    for (const double p : probing_proportions(trials, intervals)) {
      least = std::min(least, exact_coverage(trials, p, [&](std::int64_t count) {
                         return intervals[static_cast<std::size_t>(count)];
                       }));
    }
    EXPECT_GE(least, 0.95 - kSumRounding);
  }
}

// Samples that all drew one value still leave room toward the values none drew, and none
// beyond the range; plentiful varied samples give the normal interval within a hair.
TEST(BoundedMeanInterval, KeepsAWidthWhenSamplesAgreeAndIsNormalWhenPlentiful) {
  const double z2 = kNormalQuantile95 * kNormalQuantile95;
  struct Case {
    double mean;
    double low;
    double high;
  };
  // Range 2, 100 samples, all equal.
  const std::vector<Case> cases = {
      {0.0, 0.0, 2 * z2 / 100},
      {2.0, 2 - 2 * z2 / 100, 2.0},
      {0.5, 0.5 - 0.5 * z2 / 100, 0.5 + 1.5 * z2 / 100},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.mean);
    const Interval interval = bounded_mean_interval(test_case.mean, 0.0, 100, 2.0);
    EXPECT_NEAR(interval.low, test_case.low, 1e-15);
    EXPECT_NEAR(interval.high, test_case.high, 1e-15);
  }
  const Interval fixed = bounded_mean_interval(0.0, 0.0, 100, 0.0);
  EXPECT_EQ(fixed.low, fixed.high);
  const Interval plentiful = bounded_mean_interval(0.4, 0.3, 1000000, 1.0);
  const double normal = kNormalQuantile95 * 0.3 / 1000.0;
  EXPECT_NEAR(0.4 - plentiful.low, normal, normal * 0.005);
  EXPECT_NEAR(plentiful.high - 0.4, normal, normal * 0.005);
}

TEST(DkwBand, HoldsForAWholeDistributionFunctionAtOnce) {
  // Positions 0..4 at which a sample first connects, and their distribution function.
  // Sixteenths, so that the running sums are exact and the last is 1.
  const std::vector<double> probability = {1 / 16.0, 3 / 16.0, 6 / 16.0, 4 / 16.0, 2 / 16.0};
  std::vector<double> distribution;
  double running = 0.0;
  for (const double value : probability) {
    distribution.push_back(running += value);
  }
  std::mt19937_64 engine(5);
  constexpr int kRepetitions = 2000;
  constexpr std::int64_t kSamples = 150;
  const double half_width = dkw_half_width(kSamples);
  int covered = 0;
  for (int repetition = 0; repetition < kRepetitions; ++repetition) {
    std::vector<double> empirical(distribution.size(), 0.0);
    for (std::int64_t sample = 0; sample < kSamples; ++sample) {
      const double u = uniform(engine);
      std::size_t position = 0;
      while (position + 1 < distribution.size() && u >= distribution[position]) {
        ++position;
      }
      for (std::size_t j = position; j < empirical.size(); ++j) {
        empirical[j] += 1.0 / kSamples;
      }
    }
    bool inside = true;
    for (std::size_t j = 0; j < empirical.size(); ++j) {
      const Interval band = band_around(empirical[j], half_width);
      inside = inside && band.low <= distribution[j] && distribution[j] <= band.high;
    }
    covered += inside ? 1 : 0;
  }
  EXPECT_GE(covered, kRepetitions * 0.95);
}

TEST(DkwBand, ShrinksWithTheSquareRootOfTheSampleSize) {
  EXPECT_NEAR(dkw_half_width(400) / dkw_half_width(1600), 2.0, 1e-12);
  const Interval clipped = band_around(0.99, 0.05);
  EXPECT_DOUBLE_EQ(clipped.high, 1.0);
  EXPECT_DOUBLE_EQ(clipped.low, 0.94);
}

}  // namespace
}  // namespace varnak
