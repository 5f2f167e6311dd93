#include "analysis/confidence.hpp"

#include <algorithm>
#include <cmath>

namespace varnak {

Interval wilson_interval(double proportion, std::int64_t trials, double z) {
  if (trials <= 0) {
    return {0.0, 1.0};  // no trial says nothing
  }
  const double n = static_cast<double>(trials);
  const double p = std::clamp(proportion, 0.0, 1.0);
  const double z_squared = z * z;
  const double denominator = 1.0 + z_squared / n;
  const double centre = (p + z_squared / (2.0 * n)) / denominator;
  const double half_width =
      z / denominator * std::sqrt(p * (1.0 - p) / n + z_squared / (4.0 * n * n));
  return {std::max(0.0, centre - half_width), std::min(1.0, centre + half_width)};
}

Interval wilson_interval_of_counts(std::int64_t successes, std::int64_t trials, double z) {
  if (trials <= 0) {
    return {0.0, 1.0};
  }
  const double proportion = proportion_of(successes, trials);
  Interval interval = wilson_interval(proportion, trials, z);
  interval.low = successes <= 0 ? 0.0 : std::min(interval.low, proportion);
  interval.high = successes >= trials ? 1.0 : std::max(interval.high, proportion);
  return interval;
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
