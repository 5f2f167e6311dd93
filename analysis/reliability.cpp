#include "analysis/reliability.hpp"

#include <algorithm>
#include <cmath>

namespace varnak {
namespace {

double clamp_probability(double value) {
  return std::clamp(value, 0.0, 1.0);
}

// y_k for k = 0..S.
double connected_given(const SpectraSummary& summary, std::int32_t k) {
  return k == 0 ? summary.none_up : summary.spectrum[static_cast<std::size_t>(k - 1)];
}

}  // namespace

std::vector<double> binomial_weights(std::int32_t n, double p) {
  const std::size_t size = static_cast<std::size_t>(std::max<std::int32_t>(n, 0)) + 1;
  std::vector<double> weights(size, 0.0);
  if (p <= 0.0) {
    weights.front() = 1.0;
    return weights;
  }
  if (p >= 1.0) {
    weights.back() = 1.0;
    return weights;
  }
  // Outward from the mode by the ratio of neighbouring terms, then normalised: every
  // term is at most the mode's 1, so nothing overflows, far tails underflow harmlessly to
  // 0, and each term carries only the rounding of the steps from the mode to it.
  const double odds = p / (1.0 - p);
  const std::size_t last = size - 1;
  const std::size_t mode =
      std::min(last, static_cast<std::size_t>(std::floor((static_cast<double>(last) + 1.0) * p)));
  weights[mode] = 1.0;
  for (std::size_t k = mode; k < last; ++k) {
    weights[k + 1] =
        weights[k] * (static_cast<double>(last - k) / static_cast<double>(k + 1)) * odds;
  }
  for (std::size_t k = mode; k > 0; --k) {
    weights[k - 1] =
        weights[k] * (static_cast<double>(k) / static_cast<double>(last - k + 1)) / odds;
  }
  double sum = 0.0;
  for (const double weight : weights) {
    sum += weight;
  }
  for (double& weight : weights) {
    weight /= sum;
  }
  return weights;
}

double reliability(const SpectraSummary& summary, double p) {
  const std::vector<double> weights = binomial_weights(summary.srlg_count, p);
  double sum = 0.0;
  for (std::int32_t k = 0; k <= summary.srlg_count; ++k) {
    sum += weights[static_cast<std::size_t>(k)] * connected_given(summary, k);
  }
  return sum;
}

double pairwise_reliability(double none_up, const SpectraVector& shares, double p) {
  const std::vector<double> weights = binomial_weights(static_cast<std::int32_t>(shares.size()), p);
  double sum = weights[0] * none_up;
  for (std::size_t k = 1; k < weights.size(); ++k) {
    sum += weights[k] * shares[k - 1];
  }
  return sum;
}

std::vector<SrlgImportance> srlg_importances(const SpectraSummary& summary, double p) {
  const std::int32_t srlg_count = summary.srlg_count;
  std::vector<SrlgImportance> importances;
  if (srlg_count <= 0) {
    return importances;
  }
  // With s fixed, the other S-1 SRLGs are up in number j with these weights; k = j + 1
  // are up in all when s is up, k = j when it is down.
  const std::vector<double> others = binomial_weights(srlg_count - 1, p);
  const double total = static_cast<double>(srlg_count);
  importances.reserve(static_cast<std::size_t>(srlg_count));
  for (std::int32_t srlg = 1; srlg <= srlg_count; ++srlg) {
    const SpectraVector& with_s = summary.bim_spectra[static_cast<std::size_t>(srlg - 1)];
    double up = 0.0;
    double down = 0.0;
    for (std::int32_t j = 0; j < srlg_count; ++j) {
      const double weight = others[static_cast<std::size_t>(j)];
      const std::int32_t k_up = j + 1;
      up += weight * clamp_probability(with_s[static_cast<std::size_t>(k_up - 1)] * total / k_up);
      // No subset of size 0 holds s, so with s down and nothing else up only y_0 counts.
      const double connected_without_s =
          j == 0 ? summary.none_up
                 : (connected_given(summary, j) - with_s[static_cast<std::size_t>(j - 1)]) * total /
                       (total - j);
      down += weight * clamp_probability(connected_without_s);
    }
    importances.push_back({srlg, up - down, up, down});
  }
  return importances;
}

std::vector<SrlgImportance> rank_by_importance(const SpectraSummary& summary, double p,
                                               std::int32_t top) {
  std::vector<SrlgImportance> ranked = srlg_importances(summary, p);
  std::stable_sort(
      ranked.begin(), ranked.end(),
      [](const SrlgImportance& a, const SrlgImportance& b) { return a.importance > b.importance; });
  if (top > 0 && static_cast<std::size_t>(top) < ranked.size()) {
    ranked.resize(static_cast<std::size_t>(top));
  }
  return ranked;
}

}  // namespace varnak
