#pragma once

#include <boost/multiprecision/cpp_int.hpp>

#include <cstdint>
#include <vector>

namespace varnak {

// A count of SRLG subsets, exact at any size: C(243, 121) is about 10^72.
using ExactCount = boost::multiprecision::cpp_int;

// Row n of Pascal's triangle, exactly: C(n, 0) .. C(n, n). O(n) big-integer steps.
std::vector<ExactCount> binomial_row(std::int32_t n);

// count / total as the double nearest to the exact quotient (ties to even), for
// 0 <= count and 0 < total; 0 when total is 0. For counts below 2^53 this is the
// quotient of the two doubles, as before the counts grew beyond 64 bits.
double ratio(const ExactCount& count, const ExactCount& total);

}  // namespace varnak
