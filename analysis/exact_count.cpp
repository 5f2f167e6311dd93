#include "analysis/exact_count.hpp"

#include <cmath>

namespace varnak {

double ratio(const ExactCount& count, const ExactCount& total) {
  if (count <= 0 || total <= 0) {
    return 0.0;
  }
  // A quotient of 55 or 56 bits, then one more bit that is set when anything was left
  // over: converting that integer to a double rounds as the exact quotient would.
  const long exponent = static_cast<long>(msb(count)) - static_cast<long>(msb(total));
  const long shift = 55 - exponent;
  ExactCount numerator = count;
  ExactCount denominator = total;
  if (shift >= 0) {
    numerator <<= static_cast<unsigned>(shift);
  } else {
    denominator <<= static_cast<unsigned>(-shift);
  }
  ExactCount quotient;
  ExactCount remainder;
  divide_qr(numerator, denominator, quotient, remainder);
  const std::uint64_t bits =
      (static_cast<std::uint64_t>(quotient) << 1) | (remainder != 0 ? 1u : 0u);
  return std::ldexp(static_cast<double>(bits), static_cast<int>(-shift - 1));
}

}  // namespace varnak
