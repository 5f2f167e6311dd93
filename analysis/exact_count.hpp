#pragma once

#include <boost/multiprecision/cpp_int.hpp>

namespace varnak {

// A count of SRLG subsets, exact at any size: C(243, 121) is about 10^72.
using ExactCount = boost::multiprecision::cpp_int;

// count / total as the double nearest to the exact quotient (ties to even), for
// 0 <= count and 0 < total; 0 when total is 0. For counts below 2^53 this is the
// quotient of the two doubles, as before the counts grew beyond 64 bits.
double ratio(const ExactCount& count, const ExactCount& total);

}  // namespace varnak
