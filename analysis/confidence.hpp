#pragma once

#include <cstdint>

namespace varnak {

// Two-sided 95%: the standard normal quantile 0.975.
inline constexpr double kNormalQuantile95 = 1.959963984540054;
inline constexpr double kBandAlpha = 0.05;

struct Interval {
  double low = 0.0;
  double high = 0.0;
};

// The Wilson score interval for a proportion seen in `trials` independent trials. Unlike
// the normal approximation it stays inside [0, 1] and does not shrink to a point when
// the proportion is 0 or 1, which the spectrum's ends usually are.
Interval wilson_interval(double proportion, std::int64_t trials, double z = kNormalQuantile95);

// The same for `successes` of `trials` counted: the estimate successes / trials lies inside
// it, and the interval starts at exactly 0 when nothing succeeded and ends at exactly 1 when
// everything did, which the formula's rounding alone does not promise.
Interval wilson_interval_of_counts(std::int64_t successes, std::int64_t trials,
                                   double z = kNormalQuantile95);

// successes / trials as one correctly rounded division: in [0, 1], and exactly 0 and 1 at
// the ends, unlike a sum of 1/N taken `successes` times.
double proportion_of(std::int64_t successes, std::int64_t trials);

// How far the mean of values in [0, 1] can stand from the seen one when every one of
// `samples` draws gave the same value: the other values may still have probability up to
// the Wilson bound for 0 successes, z^2 / (samples + z^2).
double unseen_share(std::int64_t samples, double z = kNormalQuantile95);

// Half-width of the Dvoretzky-Kiefer-Wolfowitz band: with probability at least 1 - alpha
// the empirical distribution function of `samples` draws lies within it of the true one
// everywhere at once. The spectrum is such a function: entry j counts the samples whose
// first connected position is at most j.
double dkw_half_width(std::int64_t samples, double alpha = kBandAlpha);

// `value` widened by `half_width` on both sides, held to [0, 1].
Interval band_around(double value, double half_width);

}  // namespace varnak
