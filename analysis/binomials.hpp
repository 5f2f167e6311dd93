#pragma once

#include <cstdint>
#include <vector>

#include "analysis/exact_count.hpp"

namespace varnak {

// Row n of Pascal's triangle, exactly: C(n, 0) .. C(n, n). O(n) big-integer steps.
std::vector<ExactCount> binomial_row(std::int32_t n);

// Rows 0..n of Pascal's triangle: binomials(n)[m][k] = C(m, k), exact up to n = 62.
std::vector<std::vector<std::uint64_t>> binomials(std::int32_t n);

// C(n, k) p^k (1-p)^(n-k) for k = 0..n, for n into the thousands: neither the binomials
// nor the powers are formed on their own, as they would overflow and underflow.
std::vector<double> binomial_weights(std::int32_t n, double p);

}  // namespace varnak
