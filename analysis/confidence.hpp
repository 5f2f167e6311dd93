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

// The 95% Clopper-Pearson interval for `successes` of `trials` independent trials: the
// proportions whose binomial tail beyond the count is at least 2.5% on either side, from
// beta quantiles. It covers the true proportion at least 95% of the time for every
// proportion and trial count, where Wilson's score interval falls to about 84% near
// counts of 0.2 and even its continuity-corrected form to 94.9%. It holds successes /
// trials, starts at exactly 0 when nothing succeeded and ends at exactly 1 when everything
// did.
Interval clopper_pearson_interval(std::int64_t successes, std::int64_t trials);

// The same with the count `share` * samples, for the mean `share` of per-sample values in
// [0, 1] (the share of terminal pairs joined, say) when only their sum is known: such a
// mean varies at most as a proportion with the same mean does, and the beta quantiles take
// a count that is not whole. It holds `share`, and is exactly 0 or 1 at an end where the
// share is.
Interval share_interval(double share, std::int64_t samples);

// A 95% interval for the mean of values in [0, `range`] from `samples` draws, their mean
// and sample standard deviation. A score interval: a trial mean mu is kept while the
// seen mean lies within z sd(mu) / sqrt(samples) of it, sd(mu)^2 being the seen variance
// plus what moving probability toward the far end of the range to make the mean mu would
// add, |mu - mean| times the distance from the mean to that end. So where rare large
// values carry the mean and none was drawn, the interval still reaches toward them
// (z^2 (range - mean) / samples when every draw was the same), and where draws are
// plentiful it is the normal interval. Never narrower than Wilson's for 0/1 values. It
// holds `mean` and stays inside [0, range].
Interval bounded_mean_interval(double mean, double deviation, std::int64_t samples, double range);

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
