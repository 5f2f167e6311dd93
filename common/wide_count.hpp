#pragma once

#include <cstdint>
#include <string>

namespace varnak {

// Sums of connected vertex pairs over samples or subsets: a sample adds up to C(V, 2),
// near 2^61 for V = 2^31, and N samples or C(S, k) subsets of them pass 2^64 long before
// they pass 2^128. GCC and Clang both give this type; __extension__ keeps -Wpedantic quiet.
__extension__ using WideCount = unsigned __int128;

// In decimal, as a whole number.
inline std::string wide_count_text(WideCount value) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
    value /= 10;
  } while (value != 0);
  return digits;
}

// numerator / denominator, rounded once at the division as long double: both are exact up
// to 2^64 and carry the 64-bit long double's rounding beyond.
inline double wide_ratio(WideCount numerator, WideCount denominator) {
  if (denominator == 0) {
    return 0.0;
  }
  return static_cast<double>(static_cast<long double>(numerator) /
                             static_cast<long double>(denominator));
}

}  // namespace varnak
