#pragma once

#include <algorithm>
#include <thread>

namespace varnak {

// More threads than this is a typing error, not a machine.
inline constexpr int kMaxThreads = 1024;

// The threads a run takes when none are asked for: the machine's cores, as the standard
// library counts them (1 when it cannot tell), and never more than kMaxThreads. varnak-tools
// and the Python package both start from it, so that the same call uses the same machine.
inline int machine_cores() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(std::min<unsigned>(cores, kMaxThreads));
}

}  // namespace varnak
