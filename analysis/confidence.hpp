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

// Half-width of the Dvoretzky-Kiefer-Wolfowitz band: with probability at least 1 - alpha
// the empirical distribution function of `samples` draws lies within it of the true one
// everywhere at once. The spectrum is such a function: entry j counts the samples whose
// first connected position is at most j.
double dkw_half_width(std::int64_t samples, double alpha = kBandAlpha);

// `value` widened by `half_width` on both sides, held to [0, 1].
Interval band_around(double value, double half_width);

}  // namespace varnak
