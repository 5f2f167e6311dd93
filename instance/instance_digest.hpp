#pragma once

#include <cstdint>
#include <vector>

#include "instance/network_instance.hpp"

namespace varnak {

// A 64-bit digest of everything a run reads: the counts, every edge's ends, every SRLG's
// members and the terminal set. Processes that share one run compare theirs before they
// sample, so that ranks which read different files at one path refuse instead of mixing
// their samples. Not a cryptographic hash: it tells mistakes apart, not attacks.
// O(E + L + T) for E edges, L listings and T terminals.
std::uint64_t input_digest(const NetworkInstance& instance,
                           const std::vector<std::int32_t>& terminals, bool pairwise);

}  // namespace varnak
