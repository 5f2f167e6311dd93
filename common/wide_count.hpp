#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

// A whole number of up to 128 bits (pair sums pass 2^64), digits only.
inline bool read_wide_count(std::string_view text, WideCount& value) {
  constexpr WideCount kMost = ~WideCount{0};
  if (text.empty() || text.size() > 39) {
    return false;
  }
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') {
      return false;
    }
    const auto digit = static_cast<WideCount>(c - '0');
    if (value > (kMost - digit) / 10) {
      return false;
    }
    value = value * 10 + digit;
  }
  return true;
}

}  // namespace varnak
