#include "analysis/reliability.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

#include <boost/math/distributions/gamma.hpp>

#include "analysis/binomials.hpp"

namespace varnak {
namespace {

double clamp_probability(double value) {
  return std::clamp(value, 0.0, 1.0);
}

// y_k for k = 0..S.
double connected_given(const SpectraSummary& summary, std::int32_t k) {
  return k == 0 ? summary.none_up : summary.spectrum[static_cast<std::size_t>(k - 1)];
}

// 1 - y_k for k = 0..S, from the counts when there are some, so that a share of a few
// samples out of millions is not lost against 1.
double disconnected_given(const SpectraSummary& summary, std::int32_t k) {
  if (k == 0) {
    return 1.0 - summary.none_up;
  }
  const SpectraCounts& counts = summary.counts;
  if (counts.sample_size > 0) {
    const std::int64_t connected = counts.connected[static_cast<std::size_t>(k - 1)];
    return proportion_of(counts.sample_size - connected, counts.sample_size);
  }
  return 1.0 - summary.spectrum[static_cast<std::size_t>(k - 1)];
}

bool is_sampled(const SpectraSummary& summary) {
  return summary.counts.sample_size > 0;
}

// The histogram of a per-sample position, from counts of samples at or below each
// position: entry m for m = 0..S-1, entry S for the samples that never got there.
void histogram_of(const std::int64_t* at_or_below, std::size_t stride, std::int32_t srlg_count,
                  std::int64_t sample_size, std::vector<std::int64_t>& histogram) {
  histogram.assign(static_cast<std::size_t>(srlg_count) + 1, 0);
  std::int64_t previous = 0;
  for (std::int32_t m = 0; m < srlg_count; ++m) {
    const std::int64_t current = at_or_below[static_cast<std::size_t>(m) * stride];
    histogram[static_cast<std::size_t>(m)] = current - previous;
    previous = current;
  }
  histogram.back() = sample_size - previous;
}

// The sample standard deviation of `value` over samples distributed as `histogram`. One
// pass around the mean given, which the caller has already. O(S).
double sample_deviation(const std::vector<std::int64_t>& histogram,
                        const std::vector<double>& value, double mean, std::int64_t sample_size) {
  if (sample_size < 2) {
    return 0.0;
  }
  double squares = 0.0;
  for (std::size_t m = 0; m < histogram.size(); ++m) {
    if (histogram[m] != 0) {
      const double deviation = value[m] - mean;
      squares += static_cast<double>(histogram[m]) * deviation * deviation;
    }
  }
  return std::sqrt(squares / static_cast<double>(sample_size - 1));
}

double mean_over(const std::vector<std::int64_t>& histogram, const std::vector<double>& value,
                 std::int64_t sample_size) {
  double sum = 0.0;
  for (std::size_t m = 0; m < histogram.size(); ++m) {
    sum += static_cast<double>(histogram[m]) * value[m];
  }
  return sum / static_cast<double>(sample_size);
}

// `value` +- `half_width`, held to [low_end, high_end] and never leaving `value` out.
Interval around(double value, double half_width, double low_end, double high_end) {
  return {std::min(value, std::max(low_end, value - half_width)),
          std::max(value, std::min(high_end, value + half_width))};
}

bool has_exact_counts(const SpectraSummary& summary) {
  return summary.exact && !summary.exact_connected.empty();
}

// p and 1 - p as whole numbers over one power of two: every double in [0, 1] is one, so
// sums of products of them and subset counts are whole numbers over a power of two, and
// the double nearest to such a sum is found exactly.
struct DyadicChances {
  std::vector<ExactCount> up_powers;    // a^k for k = 0..n, p = a / 2^e
  std::vector<ExactCount> down_powers;  // b^k for k = 0..n, 1 - p = b / 2^e
  unsigned exponent = 0;                // e
};

DyadicChances dyadic_chances(double p, std::int32_t n) {
  DyadicChances chances;
  ExactCount up = 0;
  if (p > 0.0) {
    int power = 0;
    const double fraction = std::frexp(p, &power);
    auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    int exponent = 53 - power;
    while (exponent > 0 && (mantissa & 1u) == 0) {
      mantissa >>= 1;
      --exponent;
    }
    up = mantissa;
    chances.exponent = static_cast<unsigned>(exponent);
  }
  ExactCount down = 1;
  down <<= chances.exponent;
  down -= up;
  const auto count = static_cast<std::size_t>(std::max<std::int32_t>(n, 0)) + 1;
  chances.up_powers.assign(count, 1);
  chances.down_powers.assign(count, 1);
  for (std::size_t k = 1; k < count; ++k) {
    chances.up_powers[k] = chances.up_powers[k - 1] * up;
    chances.down_powers[k] = chances.down_powers[k - 1] * down;
  }
  return chances;
}

// 2^(e n): the whole of the n-fold product (p + 1 - p)^n over the same power of two.
ExactCount all_of(const DyadicChances& chances, std::int32_t n) {
  ExactCount whole = 1;
  whole <<= chances.exponent * static_cast<unsigned>(std::max<std::int32_t>(n, 0));
  return whole;
}

// R(p) times 2^(e n): the sum over k of a^k b^(n-k) times connected(k), the connected
// k-subsets, k = 1..n; the empty one connects when `none_up`.
template <typename Connected>
ExactCount exact_reliability_numerator(std::int32_t n, bool none_up, const DyadicChances& chances,
                                       Connected connected) {
  ExactCount sum = none_up ? chances.down_powers[static_cast<std::size_t>(n)] : 0;
  for (std::int32_t k = 1; k <= n; ++k) {
    sum += chances.up_powers[static_cast<std::size_t>(k)] *
           chances.down_powers[static_cast<std::size_t>(n - k)] * connected(k);
  }
  return sum;
}

// R(p) and 1 - R(p) as the doubles nearest to them, a point.
template <typename Connected>
ReliabilityPoint exact_point(std::int32_t n, bool none_up, double p, Connected connected) {
  const DyadicChances chances = dyadic_chances(p, n);
  const ExactCount whole = all_of(chances, n);
  const ExactCount sum = exact_reliability_numerator(n, none_up, chances, connected);
  ReliabilityPoint point;
  point.p = p;
  point.reliability = ratio(sum, whole);
  point.unreliability = ratio(whole - sum, whole);
  point.interval = {point.reliability, point.reliability};
  return point;
}

// For SRLG s with p for every SRLG, R(p | s up) and R(p | s down) times 2^(e (S-1)): with j
// others up, the j-sets of the others that connect with s (the (j+1)-subsets holding s)
// and without it (the j-subsets not holding s). Their difference is the importance's.
struct ExactImportance {
  ExactCount up;
  ExactCount down;
};

ExactImportance exact_importance(const SpectraSummary& summary, const DyadicChances& chances,
                                 std::size_t srlg_index) {
  const std::int32_t n = summary.srlg_count;
  const std::vector<ExactCount>& with_s = summary.exact_connected_with[srlg_index];
  ExactImportance sums{0, 0};
  for (std::int32_t j = 0; j < n; ++j) {
    const ExactCount weight = chances.up_powers[static_cast<std::size_t>(j)] *
                              chances.down_powers[static_cast<std::size_t>(n - 1 - j)];
    sums.up += weight * with_s[static_cast<std::size_t>(j)];
    const ExactCount connected_j = j == 0
                                       ? ExactCount(summary.none_up == 1.0 ? 1 : 0)
                                       : summary.exact_connected[static_cast<std::size_t>(j - 1)] -
                                             with_s[static_cast<std::size_t>(j - 1)];
    sums.down += weight * connected_j;
  }
  return sums;
}

}  // namespace

SpectraSummary summary_of_counts(SpectraCounts counts, bool free_edges_connect) {
  SpectraSummary summary;
  summary.srlg_count = counts.srlg_count;
  summary.none_up = free_edges_connect ? 1.0 : 0.0;
  const std::size_t width = static_cast<std::size_t>(counts.srlg_count);
  summary.spectrum.resize(width);
  for (std::size_t j = 0; j < width; ++j) {
    summary.spectrum[j] = proportion_of(counts.connected[j], counts.sample_size);
  }
  summary.bim_spectra.assign(width, SpectraVector(width));
  for (std::size_t s = 0; s < width; ++s) {
    for (std::size_t j = 0; j < width; ++j) {
      summary.bim_spectra[s][j] =
          proportion_of(counts.connected_with[s * width + j], counts.sample_size);
    }
  }
  summary.counts = std::move(counts);
  return summary;
}

bool has_intervals(const SpectraSummary& summary) {
  return summary.exact || is_sampled(summary);
}

double reliability(const SpectraSummary& summary, double p) {
  return reliability_point(summary, p).reliability;
}

ReliabilityPoint reliability_point(const SpectraSummary& summary, double p,
                                   const FailureShares* exact_tail) {
  const std::int32_t srlg_count = summary.srlg_count;
  if (has_exact_counts(summary)) {
    return exact_point(srlg_count, summary.none_up == 1.0, p, [&](std::int32_t k) {
      return summary.exact_connected[static_cast<std::size_t>(k - 1)];
    });
  }
  const std::vector<double> weights = binomial_weights(srlg_count, p);
  // k SRLGs up is S - k failed: from k = first_exact on, the failure shares are exact.
  const std::int32_t tail_depth =
      exact_tail == nullptr
          ? -1
          : std::min<std::int32_t>(srlg_count,
                                   static_cast<std::int32_t>(exact_tail->disconnecting.size()) - 1);
  const std::int32_t first_exact = srlg_count - tail_depth;
  if (exact_tail != nullptr && first_exact <= 1 && srlg_count > 0) {
    // Every k >= 1 counted exactly (k = 0 is y_0, which the instance tells): the exact
    // value, as the exact spectra give it.
    return exact_point(srlg_count, summary.none_up == 1.0, p, [&](std::int32_t k) {
      const std::size_t failed = static_cast<std::size_t>(srlg_count - k);
      return ExactCount(exact_tail->sets[failed] - exact_tail->disconnecting[failed]);
    });
  }
  ReliabilityPoint point;
  point.p = p;
  double connected = 0.0;
  double disconnected = 0.0;
  for (std::int32_t k = 0; k <= srlg_count; ++k) {
    const double weight = weights[static_cast<std::size_t>(k)];
    if (k >= first_exact) {
      const std::size_t failed = static_cast<std::size_t>(srlg_count - k);
      const std::uint64_t sets = exact_tail->sets[failed];
      const std::uint64_t cut = exact_tail->disconnecting[failed];
      connected += weight * (static_cast<double>(sets - cut) / static_cast<double>(sets));
      disconnected += weight * (static_cast<double>(cut) / static_cast<double>(sets));
    } else {
      connected += weight * connected_given(summary, k);
      disconnected += weight * disconnected_given(summary, k);
    }
  }
  // Weights that sum to 1 only up to rounding must not make "never" or "always" inexact.
  point.reliability = disconnected == 0.0 ? 1.0 : clamp_probability(connected);
  point.unreliability = connected == 0.0 ? 1.0 : clamp_probability(disconnected);
  point.interval = {point.reliability, point.reliability};
  if (summary.exact || summary.none_up == 1.0 || first_exact <= 1) {
    // Known exactly: from exact spectra, connected by the free edges whatever is up, or
    // every k >= 1 counted exactly (k = 0 is y_0, which the instance tells).
    return point;
  }
  if (!is_sampled(summary)) {
    point.interval = {0.0, 1.0};
    return point;
  }
  // Per sample first connected at u: the weight of the sampled k <= u (1 <= k <
  // first_exact) at which it is not connected, G(u); the sampled part of 1 - R is mean G.
  const SpectraCounts& counts = summary.counts;
  const std::int32_t sampled_end = exact_tail == nullptr ? srlg_count + 1 : first_exact;
  std::vector<double> not_connected(static_cast<std::size_t>(srlg_count) + 1);
  double running = 0.0;
  for (std::int32_t u = 0; u <= srlg_count; ++u) {
    not_connected[static_cast<std::size_t>(u)] = running;
    if (u + 1 < sampled_end && u < srlg_count) {
      running += weights[static_cast<std::size_t>(u) + 1];
    }
  }
  std::vector<std::int64_t> histogram;
  histogram_of(counts.connected.data(), 1, srlg_count, counts.sample_size, histogram);
  const double mean = mean_over(histogram, not_connected, counts.sample_size);
  const double deviation = sample_deviation(histogram, not_connected, mean, counts.sample_size);
  // Whether a sample connects with every SRLG up does not depend on its order: when none
  // did, R is 0 whatever p; when all did, no sample can have the value of never
  // connecting, and the sampled part is at most its value for connecting last.
  const std::int64_t connected_at_last = counts.connected.back();
  if (connected_at_last == 0) {
    return point;
  }
  const double most = connected_at_last == counts.sample_size
                          ? not_connected[static_cast<std::size_t>(srlg_count) - 1]
                          : running;
  // Whether or not the samples drawn differ, the interval reaches toward the values none
  // was drawn at.
  const Interval sampled = bounded_mean_interval(mean, deviation, counts.sample_size, most);
  point.interval = {std::max(0.0, point.reliability - (sampled.high - mean)),
                    std::min(1.0, point.reliability + (mean - sampled.low))};
  point.interval.low = std::min(point.interval.low, point.reliability);
  point.interval.high = std::max(point.interval.high, point.reliability);
  return point;
}

double pairwise_reliability(double none_up, const SpectraVector& shares, double p) {
  const std::vector<double> weights = binomial_weights(static_cast<std::int32_t>(shares.size()), p);
  double sum = weights[0] * none_up;
  for (std::size_t k = 1; k < weights.size(); ++k) {
    sum += weights[k] * shares[k - 1];
  }
  return sum;
}

namespace {

// Fay and Feuer's 95% interval for a weighted sum of counts: `sum` of the weights of the
// counted samples, `variance` its estimated variance, `heaviest` the largest weight a
// sample could carry. The low end is the gamma quantile with the sum's mean and variance,
// the high end that of the sum with one more sample at the heaviest weight, which keeps
// the coverage where few or no samples were counted.
Interval gamma_interval(double sum, double variance, double heaviest) {
  constexpr double kTail = 0.025;
  Interval interval{0.0, 0.0};
  if (sum > 0.0 && variance > 0.0) {
    const boost::math::gamma_distribution<double> low(sum * sum / variance, variance / sum);
    interval.low = boost::math::quantile(low, kTail);
  }
  const double high_sum = sum + heaviest;
  const double high_variance = variance + heaviest * heaviest;
  if (high_sum > 0.0) {
    const boost::math::gamma_distribution<double> high(high_sum * high_sum / high_variance,
                                                       high_variance / high_sum);
    interval.high = boost::math::quantile(boost::math::complement(high, kTail));
  }
  return interval;
}

// Birnbaum importance from the counts of the SRLG that connected each sample. Given that
// s came up at position j + 1 of a random order, the SRLGs before it are a uniformly
// random j-set of the others, and s is critical for that set (the network connects with s
// and not without it) exactly when the sample first connects at that position, with s.
// So I_s(p) = sum over j of b_j(p) S P(s connects the sample at position j), b_j the
// chance of j others up, and its estimate, the mean over the samples of
// V = S b_j [s connected the sample, at j], is unbiased and never negative: O(S) per SRLG.
//
// The interval is Fay and Feuer's gamma interval for a weighted sum of counts, made for
// counts that are mostly small, as these are where p is near 1 (a few samples carry the
// whole figure): its coverage holds at every count, down to none seen, where the upper
// end is what one sample at the heaviest weight would add.
std::vector<SrlgImportance> importances_from_critical_counts(const SpectraSummary& summary,
                                                             double p,
                                                             const std::vector<double>& others) {
  const SpectraCounts& counts = summary.counts;
  const std::size_t width = static_cast<std::size_t>(summary.srlg_count);
  const double n = static_cast<double>(counts.sample_size);
  const double total = static_cast<double>(summary.srlg_count);
  std::vector<double> weight(width);
  double heaviest = 0.0;
  for (std::size_t j = 0; j < width; ++j) {
    weight[j] = total * others[j] / n;
    heaviest = std::max(heaviest, weight[j]);
  }
  const double r = reliability(summary, p);
  std::vector<SrlgImportance> importances;
  importances.reserve(width);
  for (std::size_t s = 0; s < width; ++s) {
    const std::int32_t* critical = &counts.critical[s * width];
    double sum = 0.0;
    double squares = 0.0;
    for (std::size_t j = 0; j < width; ++j) {
      const double c = static_cast<double>(critical[j]);
      sum += weight[j] * c;
      squares += weight[j] * weight[j] * c;
    }
    // The counts share N samples: their sum's variance is below the one counts of their
    // own would have by sum^2 / N.
    const double variance = std::max(0.0, squares - sum * sum / n);
    const double importance = std::min(1.0, sum);
    SrlgImportance entry;
    entry.srlg = static_cast<std::int32_t>(s) + 1;
    entry.importance = importance;
    // R(p) = p R(p | s up) + (1 - p) R(p | s down), and I = R(p | s up) - R(p | s down).
    entry.reliability_up = clamp_probability(r + (1.0 - p) * importance);
    entry.reliability_down = clamp_probability(r - p * importance);
    entry.interval = gamma_interval(sum, variance, heaviest);
    entry.interval.low = std::min(entry.interval.low, importance);
    entry.interval.high = std::clamp(entry.interval.high, importance, 1.0);
    importances.push_back(entry);
  }
  return importances;
}

// Each SRLG's R(p | s up), R(p | s down) and importance as the doubles nearest to their
// exact values, and, when `numerators` is given, the importances times 2^(e (S-1)), whole
// numbers that tell ties exactly. O(S^2) products of whole numbers of about e S bits.
std::vector<SrlgImportance> exact_importances(const SpectraSummary& summary, double p,
                                              std::vector<ExactCount>* numerators) {
  const std::int32_t n = summary.srlg_count;
  const DyadicChances chances = dyadic_chances(p, n - 1);
  const ExactCount whole = all_of(chances, n - 1);
  std::vector<SrlgImportance> importances;
  importances.reserve(static_cast<std::size_t>(n));
  if (numerators != nullptr) {
    numerators->clear();
  }
  for (std::int32_t srlg = 1; srlg <= n; ++srlg) {
    const ExactImportance sums =
        exact_importance(summary, chances, static_cast<std::size_t>(srlg - 1));
    const ExactCount difference = sums.up - sums.down;
    SrlgImportance entry;
    entry.srlg = srlg;
    entry.importance = ratio(difference, whole);
    entry.reliability_up = ratio(sums.up, whole);
    entry.reliability_down = ratio(sums.down, whole);
    entry.interval = {entry.importance, entry.importance};
    importances.push_back(entry);
    if (numerators != nullptr) {
      numerators->push_back(difference);
    }
  }
  return importances;
}

}  // namespace

std::vector<SrlgImportance> srlg_importances(const SpectraSummary& summary, double p) {
  const std::int32_t srlg_count = summary.srlg_count;
  std::vector<SrlgImportance> importances;
  if (srlg_count <= 0) {
    return importances;
  }
  // With s fixed, the other S-1 SRLGs are up in number j with these weights; k = j + 1
  // are up in all when s is up, k = j when it is down.
  if (has_exact_counts(summary)) {
    return exact_importances(summary, p, nullptr);
  }
  const std::vector<double> others = binomial_weights(srlg_count - 1, p);
  if (is_sampled(summary) && !summary.counts.critical.empty()) {
    return importances_from_critical_counts(summary, p, others);
  }
  const double total = static_cast<double>(srlg_count);
  const std::size_t width = static_cast<std::size_t>(srlg_count);
  importances.reserve(width);
  for (std::int32_t srlg = 1; srlg <= srlg_count; ++srlg) {
    const SpectraVector& with_s = summary.bim_spectra[static_cast<std::size_t>(srlg - 1)];
    double up = 0.0;
    double down = 0.0;
    for (std::int32_t j = 0; j < srlg_count; ++j) {
      const double weight = others[static_cast<std::size_t>(j)];
      const std::int32_t k_up = j + 1;
      up += weight * with_s[static_cast<std::size_t>(k_up - 1)] * total / k_up;
      // No subset of size 0 holds s, so with s down and nothing else up only y_0 counts.
      const double connected_without_s =
          j == 0 ? summary.none_up
                 : (connected_given(summary, j) - with_s[static_cast<std::size_t>(j - 1)]) * total /
                       (total - j);
      down += weight * connected_without_s;
    }
    // Each sum is unbiased, the ratios in it scattering around values near 1, so they are
    // held to [0, 1] only once summed: held one by one, the ratios' clipping would bias
    // the importance upward.
    up = clamp_probability(up);
    down = clamp_probability(down);
    const double importance = std::max(0.0, up - down);
    importances.push_back({srlg, importance, up, down, {importance, importance}, false});
  }
  if (summary.exact || summary.none_up == 1.0) {
    return importances;
  }
  if (!is_sampled(summary)) {
    for (SrlgImportance& entry : importances) {
      entry.interval = {0.0, 1.0};
    }
    return importances;
  }

  // Per sample, with u its first connected position and v = max(u, position of s):
  // R(p | s up) is the mean of A(v) and R(p | s down) that of w'_0 y_0 + B(u) - B(v),
  //   A(m) = sum over k > m of others[k-1] S / k,
  //   B(m) = sum over m < j < S of b_j,   b_j = others[j] S / (S - j),
  // both 0 for a sample that never connects (m = S). So I_s is, up to a constant, the mean
  // of D = A(v) - C with C = B(u) - B(v) = sum of b_j over u < j <= v.
  //
  // The counts give the laws of u and of v but not their joint law, so sd D is bounded
  // two ways and the smaller bound kept:
  //   sd D <= sd (A + B)(v) + sd B(u), both from the histograms;
  //   sd D <= sd A(v) + sd C, where E[C] is known exactly from the indicator means
  //   e_j = P(u < j <= v) = (connected[j-1] - connected_with[s][j-1]) / N, and
  //   E[C^2] = sum over j, l of b_j b_l P(u < j, l <= v) <= sum b_j b_l min(e_j, e_l).
  // The second is the close one where C is large and rare (p near 1), the first where
  // A and B barely vary.
  std::vector<double> a(width + 1, 0.0);
  std::vector<double> a_plus_b(width + 1, 0.0);
  std::vector<double> b(width + 1, 0.0);
  std::vector<double> b_step(width, 0.0);  // b_j for j = 1..S-1
  double a_tail = 0.0;
  double b_tail = 0.0;
  for (std::int32_t m = srlg_count - 1; m >= 0; --m) {
    const std::int32_t k = m + 1;
    a_tail += others[static_cast<std::size_t>(k - 1)] * total / k;
    if (m + 1 <= srlg_count - 1) {
      b_step[static_cast<std::size_t>(m + 1)] =
          others[static_cast<std::size_t>(m + 1)] * total / (total - (m + 1));
      b_tail += b_step[static_cast<std::size_t>(m + 1)];
    }
    a[static_cast<std::size_t>(m)] = a_tail;
    b[static_cast<std::size_t>(m)] = b_tail;
    a_plus_b[static_cast<std::size_t>(m)] = a_tail + b_tail;
  }
  const SpectraCounts& counts = summary.counts;
  const std::int64_t sample_size = counts.sample_size;
  const double n = static_cast<double>(sample_size);
  std::vector<std::int64_t> histogram;
  histogram_of(counts.connected.data(), 1, srlg_count, sample_size, histogram);
  const double deviation_u =
      sample_deviation(histogram, b, mean_over(histogram, b, sample_size), sample_size);
  // Scratch made once: the histogram of v, the indicator means and their order.
  std::vector<std::int64_t> later;
  std::vector<std::int64_t> at_or_below(width);
  std::vector<double> share(width, 0.0);
  std::vector<std::size_t> by_share(width);
  for (SrlgImportance& entry : importances) {
    // connected_with counts of s are the samples with v <= j, as `connected`'s are u's.
    const std::size_t row = static_cast<std::size_t>(entry.srlg - 1) * width;
    for (std::size_t j = 0; j < width; ++j) {
      at_or_below[j] = counts.connected_with[row + j];
    }
    histogram_of(at_or_below.data(), 1, srlg_count, sample_size, later);
    const double spread_apart =
        deviation_u +
        sample_deviation(later, a_plus_b, mean_over(later, a_plus_b, sample_size), sample_size);

    double mean_c = 0.0;
    for (std::size_t j = 1; j < width; ++j) {
      share[j] = static_cast<double>(counts.connected[j - 1] - at_or_below[j - 1]) / n;
      mean_c += b_step[j] * share[j];
    }
    // sum over j, l of b_j b_l min(e_j, e_l), in order of e: O(S log S).
    for (std::size_t j = 0; j < width; ++j) {
      by_share[j] = j;
    }
    std::sort(by_share.begin() + 1, by_share.end(),
              [&](std::size_t x, std::size_t y) { return share[x] < share[y]; });
    double square_c = 0.0;
    double b_after = 0.0;
    for (std::size_t i = width; i-- > 1;) {
      const std::size_t j = by_share[i];
      square_c += share[j] * b_step[j] * (b_step[j] + 2.0 * b_after);
      b_after += b_step[j];
    }
    const double deviation_c = std::sqrt(std::max(0.0, square_c - mean_c * mean_c));
    const double spread_within =
        sample_deviation(later, a, mean_over(later, a, sample_size), sample_size) + deviation_c;

    const double spread = std::min(spread_apart, spread_within);
    const double half_width =
        spread > 0.0 ? kNormalQuantile95 * spread / std::sqrt(n) : unseen_share(sample_size);
    entry.interval = around(entry.importance, half_width, 0.0, 1.0);
  }
  return importances;
}

namespace {

// The first `top` ranks; all of them for `top` 0 or less.
void keep_top(std::vector<SrlgImportance>& ranked, std::int32_t top) {
  if (top > 0 && static_cast<std::size_t>(top) < ranked.size()) {
    ranked.resize(static_cast<std::size_t>(top));
  }
}

}  // namespace

std::vector<SrlgImportance> rank_by_importance(const SpectraSummary& summary, double p,
                                               std::int32_t top) {
  if (!has_exact_counts(summary)) {
    return rank_importances(srlg_importances(summary, p), has_intervals(summary), top);
  }
  // Ordered and told apart by the exact values: two SRLGs tie only when their importances
  // are equal, not when their doubles are, and two whose doubles differ by rounding alone
  // are not told apart by it.
  std::vector<ExactCount> numerators;
  const std::vector<SrlgImportance> importances = exact_importances(summary, p, &numerators);
  std::vector<std::size_t> order(importances.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return numerators[a] > numerators[b]; });
  std::vector<SrlgImportance> ranked;
  ranked.reserve(order.size());
  std::int32_t group = 0;
  for (std::size_t i = 0; i < order.size(); ++i) {
    SrlgImportance entry = importances[order[i]];
    const bool above = i == 0 || numerators[order[i - 1]] > numerators[order[i]];
    const bool below = i + 1 == order.size() || numerators[order[i]] > numerators[order[i + 1]];
    entry.resolved = above && below;
    if (above) {
      group = static_cast<std::int32_t>(i) + 1;
    }
    entry.tie_group = above && below ? 0 : group;
    ranked.push_back(entry);
  }
  keep_top(ranked, top);
  return ranked;
}

std::vector<SrlgImportance> rank_importances(std::vector<SrlgImportance> importances,
                                             bool with_intervals, std::int32_t top) {
  std::vector<SrlgImportance> ranked = std::move(importances);
  std::stable_sort(
      ranked.begin(), ranked.end(),
      [](const SrlgImportance& a, const SrlgImportance& b) { return a.importance > b.importance; });
  if (with_intervals) {
    // highest_below[i]: the highest interval end among ranks i+1, i+2, ...
    std::vector<double> highest_below(ranked.size() + 1, -1.0);
    for (std::size_t i = ranked.size(); i > 0; --i) {
      highest_below[i - 1] = std::max(highest_below[i], ranked[i - 1].interval.high);
    }
    double lowest_above = 2.0;
    for (std::size_t i = 0; i < ranked.size(); ++i) {
      SrlgImportance& entry = ranked[i];
      entry.resolved =
          entry.interval.low > highest_below[i + 1] && entry.interval.high < lowest_above;
      lowest_above = std::min(lowest_above, entry.interval.low);
    }
  }
  keep_top(ranked, top);
  return ranked;
}

std::vector<SrlgImportance> rank_bounded_importances(std::vector<SrlgImportance> importances,
                                                     std::int32_t top) {
  std::vector<SrlgImportance> ranked = rank_importances(std::move(importances), true, 0);
  for (std::size_t first = 0; first < ranked.size();) {
    std::size_t end = first + 1;
    while (end < ranked.size() && ranked[end].interval.high >= ranked[end - 1].interval.low) {
      ++end;
    }
    if (end - first > 1) {
      for (std::size_t i = first; i < end; ++i) {
        ranked[i].tie_group = static_cast<std::int32_t>(first) + 1;
      }
    }
    first = end;
  }
  keep_top(ranked, top);
  return ranked;
}

}  // namespace varnak
