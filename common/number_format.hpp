#pragma once

#include <charconv>
#include <cstddef>
#include <string>

// The texts of doubles in Varnak's outputs, written straight into a caller's buffer that
// is reused from row to row, so that printing a number allocates nothing. Each gives
// exactly the bytes of the printf conversion it names, in the "C" locale.
namespace varnak {

// printf "%.<precision>g", precision 0 to 17. With precision 6 this is also what
// std::ostream writes for a double by default (0.8, 1, 0.333333, 1e-05); with 17 it gives
// back the same double.
void append_general(std::string& out, double value, int precision);

// printf "%.<precision>f", precision 0 to 17; "%f" is precision 6.
void append_fixed(std::string& out, double value, int precision);

// A whole number in decimal, as printf "%d" writes it.
template <typename Integer>
void append_integer(std::string& out, Integer value) {
  char digits[24];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

}  // namespace varnak
