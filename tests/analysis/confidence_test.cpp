#include "analysis/confidence.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace varnak {
namespace {

// A uniform double in [0, 1) from the top 53 bits, the same on every standard library.
double uniform(std::mt19937_64& engine) {
  return static_cast<double>(engine() >> 11) * 0x1.0p-53;
}

TEST(WilsonInterval, KnownValuesAndEnds) {
  struct Case {
    double proportion;
    std::int64_t trials;
    double low;
    double high;
  };
  const double z2 = kNormalQuantile95 * kNormalQuantile95;
  const std::vector<Case> cases = {
      {0.8, 10, 0.4902, 0.9433},  // the textbook example of 8 successes in 10
      {0.5, 100, 0.4038, 0.5962},
      {0.0, 50, 0.0, z2 / (50 + z2)},  // no success: the interval still has width
      {1.0, 50, 50 / (50 + z2), 1.0},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(::testing::Message() << test_case.proportion << " of " << test_case.trials);
    const Interval interval = wilson_interval(test_case.proportion, test_case.trials);
    EXPECT_NEAR(interval.low, test_case.low, 1e-4);
    EXPECT_NEAR(interval.high, test_case.high, 1e-4);
  }
}

TEST(WilsonInterval, MirrorsAndNarrowsWithMoreTrials) {
  for (const double proportion : {0.0, 0.1, 0.37, 0.5}) {
    SCOPED_TRACE(proportion);
    const Interval interval = wilson_interval(proportion, 200);
    const Interval mirrored = wilson_interval(1 - proportion, 200);
    EXPECT_NEAR(interval.low, 1 - mirrored.high, 1e-12);
    EXPECT_NEAR(interval.high, 1 - mirrored.low, 1e-12);
    EXPECT_LE(interval.low, proportion);
    EXPECT_GE(interval.high, proportion);
    const Interval wider = wilson_interval(proportion, 50);
    EXPECT_LT(interval.high - interval.low, wider.high - wider.low);
  }
}

TEST(WilsonInterval, CoversTheTrueProportionAboutNineteenTimesInTwenty) {
  std::mt19937_64 engine(11);
  constexpr int kRepetitions = 4000;
  for (const double truth : {0.05, 0.3, 0.6}) {
    SCOPED_TRACE(truth);
    constexpr std::int64_t kTrials = 80;
    int covered = 0;
    for (int repetition = 0; repetition < kRepetitions; ++repetition) {
      int successes = 0;
      for (std::int64_t trial = 0; trial < kTrials; ++trial) {
        successes += uniform(engine) < truth ? 1 : 0;
      }
      const Interval interval = wilson_interval(static_cast<double>(successes) / kTrials, kTrials);
      covered += interval.low <= truth && truth <= interval.high ? 1 : 0;
    }
    // Wilson's coverage wavers around the nominal 95% with the proportion.
    EXPECT_GT(covered, kRepetitions * 0.92);
    EXPECT_LT(covered, kRepetitions * 0.99);
  }
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
