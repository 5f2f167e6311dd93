#include "analysis/binomials.hpp"

#include <algorithm>
#include <cmath>

namespace varnak {

std::vector<ExactCount> binomial_row(std::int32_t n) {
  std::vector<ExactCount> row(static_cast<std::size_t>(std::max<std::int32_t>(n, 0)) + 1);
  row[0] = 1;
  for (std::size_t k = 1; k < row.size(); ++k) {
    row[k] = row[k - 1] * (static_cast<std::uint64_t>(n) - k + 1) / k;
  }
  return row;
}

std::vector<std::vector<std::uint64_t>> binomials(std::int32_t n) {
  std::vector<std::vector<std::uint64_t>> rows(static_cast<std::size_t>(n) + 1);
  for (std::size_t m = 0; m < rows.size(); ++m) {
    rows[m].assign(m + 1, 1);
    for (std::size_t k = 1; k < m; ++k) {
      rows[m][k] = rows[m - 1][k - 1] + rows[m - 1][k];
    }
  }
  return rows;
}

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

}  // namespace varnak
