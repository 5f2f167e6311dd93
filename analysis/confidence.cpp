#include "analysis/confidence.hpp"

#include <algorithm>
#include <boost/math/special_functions/beta.hpp>
#include <cmath>

namespace varnak {
namespace {

constexpr double kTailShare = 0.025;  // each side of a two-sided 95% interval

// `count` successes and `rest` failures, both positive, whole or not.
Interval beta_quantiles(double count, double rest) {
  return {boost::math::ibeta_inv(count, rest + 1.0, kTailShare),
          boost::math::ibeta_inv(count + 1.0, rest, 1.0 - kTailShare)};
}

// The root of d^2 = z^2 (variance + d gap) / samples.
double score_reach(double variance, double gap, double samples) {
  const double z_squared = kNormalQuantile95 * kNormalQuantile95;
  const double linear = z_squared * gap / samples;
  return 0.5 * (linear + std::sqrt(linear * linear + 4.0 * z_squared * variance / samples));
}

}  // namespace

Interval clopper_pearson_interval(std::int64_t successes, std::int64_t trials) {
  if (trials <= 0) {
    return {0.0, 1.0};  // no trial says nothing
  }
  return share_interval(proportion_of(successes, trials), trials);
}

Interval share_interval(double share, std::int64_t samples) {
  if (samples <= 0 || !(share >= 0.0 && share <= 1.0)) {
    return {0.0, 1.0};
  }
  const double n = static_cast<double>(samples);
  // At an end the interval is one-sided, 2.5%^(1/n) from it, in logarithms so that a
  // large n keeps its digits.
  const double reach = std::log(kTailShare) / n;
  Interval interval = {0.0, 1.0};
  if (share == 0.0) {
    interval.high = -std::expm1(reach);
  } else if (share == 1.0) {
    interval.low = std::exp(reach);
  } else {
    // The failures as (1 - share) n rather than n - share n, which may round to 0 when n
    // is large; a share too small to count still gives a positive count.
    interval = beta_quantiles(std::max(share * n, 0x1p-900), (1.0 - share) * n);
  }
  interval.low = std::min(interval.low, share);
  interval.high = std::max(interval.high, share);
  return interval;
}

Interval bounded_mean_interval(double mean, double deviation, std::int64_t samples, double range) {
  if (!(range > 0.0)) {
    return {mean, mean};  // the values cannot vary
  }
  if (samples <= 0) {
    return {0.0, range};
  }
  const double n = static_cast<double>(samples);
  const double centre = std::clamp(mean, 0.0, range);
  const double variance = deviation * deviation;
  return {std::min(mean, std::max(0.0, centre - score_reach(variance, centre, n))),
          std::max(mean, std::min(range, centre + score_reach(variance, range - centre, n)))};
}

double proportion_of(std::int64_t successes, std::int64_t trials) {
  if (trials <= 0 || successes <= 0) {
    return 0.0;
  }
  if (successes >= trials) {
    return 1.0;
  }
  return static_cast<double>(successes) / static_cast<double>(trials);
}

double unseen_share(std::int64_t samples, double z) {
  if (samples <= 0) {
    return 1.0;
  }
  return z * z / (static_cast<double>(samples) + z * z);
}

double dkw_half_width(std::int64_t samples, double alpha) {
  if (samples <= 0) {
    return 1.0;
  }
  return std::sqrt(std::log(2.0 / alpha) / (2.0 * static_cast<double>(samples)));
}

Interval band_around(double value, double half_width) {
  return {std::max(0.0, value - half_width), std::min(1.0, value + half_width)};
}

}  // namespace varnak
