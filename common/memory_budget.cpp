#include "common/memory_budget.hpp"

#include <sys/resource.h>
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

std::optional<std::uint64_t> address_space_limit_bytes() {
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(limit.rlim_cur);
}

MemoryLimit memory_limit_from(std::uint64_t given, std::uint64_t physical,
                              std::optional<std::uint64_t> address_space_limit) {
  if (given != 0) {
    return {given, MemoryBound::kGiven};
  }
  if (address_space_limit.has_value() && *address_space_limit < physical) {
    return {*address_space_limit, MemoryBound::kAddressSpaceLimit};
  }
  return {physical, MemoryBound::kMachine};
}

MemoryLimit run_memory_limit(std::uint64_t given) {
  return memory_limit_from(given, physical_memory_bytes(), address_space_limit_bytes());
}

std::string describe_memory_limit(const MemoryLimit& limit) {
  const std::string size = describe_bytes(static_cast<double>(limit.bytes));
  switch (limit.bound) {
    case MemoryBound::kAddressSpaceLimit:
      return "the address-space limit of " + size;
    case MemoryBound::kGiven:
      return "the memory budget of " + size;
    case MemoryBound::kMachine:
      break;
  }
  return "the " + size + " of this machine";
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
    std::snprintf(text.data(), text.size(), bytes == 1.0 ? "%.0f byte" : "%.0f bytes", bytes);
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
