#include "common/memory_budget.hpp"

#include <unistd.h>

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace varnak {

std::uint64_t physical_memory_bytes() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) {
    return std::uint64_t{1} << 32;  // unknown: assume a small machine rather than none
  }
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size);
}

std::string describe_bytes(double bytes) {
  constexpr std::array<const char*, 6> kUnits = {"bytes", "KiB", "MiB", "GiB", "TiB", "PiB"};
  std::size_t unit = 0;
  while (bytes >= 1024.0 && unit + 1 < kUnits.size()) {
    bytes /= 1024.0;
    ++unit;
  }
  std::array<char, 64> text{};
  if (unit == 0) {
    std::snprintf(text.data(), text.size(), "%.0f bytes", bytes);
  } else {
    std::snprintf(text.data(), text.size(), "%.1f %s", bytes, kUnits[unit]);
  }
  return text.data();
}

bool read_memory_size(const std::string& text, std::uint64_t& bytes) {
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) {
    return false;
  }
  char* end = nullptr;
  const double number = std::strtod(text.c_str(), &end);
  const std::string unit = end;
  const std::vector<std::string> prefixes = {"", "K", "M", "G", "T"};
  for (std::size_t power = 0; power < prefixes.size(); ++power) {
    const std::string& prefix = prefixes[power];
    if (unit == prefix || (!prefix.empty() && (unit == prefix + "B" || unit == prefix + "iB"))) {
      const double value = number * std::pow(1024.0, static_cast<double>(power));
      if (!(value >= 1.0 && value < 1.8e19)) {
        return false;
      }
      bytes = static_cast<std::uint64_t>(value);
      return true;
    }
  }
  return false;
}

}  // namespace varnak
