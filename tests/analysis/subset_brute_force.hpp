#pragma once

#include <cstdint>
#include <vector>

#include "instance/network_instance.hpp"

namespace varnak::brute_force {

// For every subset of the SRLGs (bit s-1 of the index for SRLG s), whether the network
// is connected with exactly those SRLGs up. Each subset is played out from scratch by
// the estimator's rules read literally: find-or-insert lookups, the membership counts
// counted down listing by listing, a fresh labelling of the vertices. Slow on purpose;
// for up to about 16 SRLGs.
std::vector<bool> connected_subsets(NetworkInstance instance);

// For every subset, the pairs of terminals (of all vertices when `terminals` is empty)
// that lie in one piece with exactly those SRLGs up, by the same literal rules.
std::vector<std::uint64_t> joined_terminal_pairs(NetworkInstance instance,
                                                 const std::vector<std::int32_t>& terminals);

// With exactly the SRLGs of `subset` up: for each vertex v (index v, 1..VNUM), the lowest
// vertex of its piece of the network.
std::vector<std::int32_t> pieces_with(NetworkInstance instance, std::size_t subset);

// Connected subsets counted by size k (entry k-1), and those holding SRLG s (row s-1).
struct SubsetCounts {
  std::vector<std::uint64_t> connected;
  std::vector<std::vector<std::uint64_t>> connected_with;
};
SubsetCounts count_by_size(const std::vector<bool>& connected, std::int32_t srlg_count);

// The probability of connection when every SRLG is up independently with probability p,
// summed over the subsets directly; `forced_srlg` (1..S, or 0 for none) is held up or
// down instead.
double reliability_over_subsets(const std::vector<bool>& connected, std::int32_t srlg_count,
                                double p, std::int32_t forced_srlg = 0, bool forced_up = true);

// The same with SRLG s up with its own probability up_probability[s-1].
double reliability_over_subsets(const std::vector<bool>& connected,
                                const std::vector<double>& up_probability,
                                std::int32_t forced_srlg = 0, bool forced_up = true);

}  // namespace varnak::brute_force
