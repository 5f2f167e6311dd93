#pragma once

#include <chrono>

namespace varnak {

// Seconds on the steady clock since `start`, as every report gives the time a run took.
inline double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace varnak
