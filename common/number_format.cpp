#include "common/number_format.hpp"

#include <charconv>
#include <limits>
#include <system_error>

#include "common/invariant.hpp"

namespace varnak {
namespace {

// Room for the longest text of any precision up to 17: "%.17f" of the largest double has
// 309 digits before the point; "%.17g" needs at most 24 characters.
constexpr int kMostPrecision = 17;
constexpr std::size_t kLongestText =
    1 + (std::numeric_limits<double>::max_exponent10 + 1) + 1 + kMostPrecision;

void append(std::string& out, double value, std::chars_format format, int precision) {
  if (precision < 0 || precision > kMostPrecision) {
    broken_invariant("append_general/append_fixed: precision outside 0..17");
  }
  char text[kLongestText];
  const std::to_chars_result result =
      std::to_chars(text, text + sizeof text, value, format, precision);
  if (result.ec != std::errc()) {
    broken_invariant("append_general/append_fixed: text longer than its buffer");
  }
  out.append(text, result.ptr);
}

}  // namespace

void append_general(std::string& out, double value, int precision) {
  append(out, value, std::chars_format::general, precision);
}

void append_fixed(std::string& out, double value, int precision) {
  append(out, value, std::chars_format::fixed, precision);
}

}  // namespace varnak
