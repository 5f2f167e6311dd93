#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "instance/network_instance.hpp"

// Failure analysis seen from the other end of the spectrum: every SRLG up but a few. One
// enumeration of the small sets of SRLGs that fail serves both the minimal cut sets and
// the exact share of the d-sets whose failure disconnects the network.
namespace varnak {

// Sets checked per second on one core, as measured on the 400-SRLG network of bench/ (10.5
// million sets in 0.7 s): the basis of the time a refusal quotes.
inline constexpr double kFailureSetsPerSecond = 1.5e7;

// More sets than this are refused, with an estimate of the work instead: about half a
// minute at the rate above.
inline constexpr double kMostFailureSetsChecked = 4e8;

// Sets of at most `max_size` of `srlg_count` SRLGs: the most the enumeration checks.
double failure_sets_to_check(std::int32_t srlg_count, std::int32_t max_size);

// Sets that an exact tail chosen automatically checks at most: about a tenth of a second
// at the rate above.
inline constexpr double kQuickTailSets = 2e6;

// The most failed SRLGs whose sets number at most kQuickTailSets: 2 for 400 SRLGs, all of
// them for a small network. What reliability's exact tail counts when no depth is asked.
std::int32_t quick_tail_depth(std::int32_t srlg_count);

// A minimal cut set: its SRLGs failing disconnects the network, and no smaller part of
// them does.
struct MinimalCutSet {
  std::vector<std::int32_t> srlgs;  // ascending ids
  // The vertices cut off from the rest, the rest being the largest piece left (of equal
  // pieces, the one with the lowest vertex); ascending. With terminals: the terminals cut
  // off from the piece that holds most of them.
  std::vector<std::int32_t> cut_off;
};

struct MinimalCutSets {
  std::int32_t srlg_count = 0;
  std::int32_t vertex_count = 0;
  std::int32_t max_size = 0;
  std::vector<MinimalCutSet> sets;           // by size, then by their ids in order
  std::vector<std::uint64_t> count_by_size;  // entry d: minimal cut sets of d SRLGs, d = 0..K
  std::uint64_t sets_checked = 0;
};

// Every minimal set of at most `max_size` SRLGs whose failure disconnects the network,
// edges coming up by the estimator's rules (compile_edge_rules). With `terminals` (vertex
// ids in 1..VNUM, checked by the caller), the sets whose failure separates the terminals;
// none: every vertex. Returns 0, or 1 with `failure` set when the network (the terminals)
// is not connected even with every SRLG up (then every set, the empty one included,
// disconnects it, and none is minimal but the empty one), or when more than
// kMostFailureSetsChecked sets would be checked.
int find_minimal_cut_sets(const NetworkInstance& instance, std::int32_t max_size,
                          MinimalCutSets& result, std::string& failure,
                          const std::vector<std::int32_t>& terminals = {});

// For d = 0..max_size: the number of d-sets of SRLGs whose failure (all others up)
// disconnects the network, and the number C(S, d) of all d-sets.
struct FailureShares {
  std::int32_t srlg_count = 0;
  std::vector<std::uint64_t> disconnecting;
  std::vector<std::uint64_t> sets;
  std::uint64_t sets_checked = 0;
};

// Counts exactly, by the enumeration above: a set that disconnects is not extended, its
// supersets by later SRLGs counted with binomials. A network that is not connected with
// every SRLG up gives disconnecting = sets. Returns 0, or 1 with `failure` set when more
// than kMostFailureSetsChecked sets would be checked.
int count_failure_shares(const NetworkInstance& instance, std::int32_t max_size,
                         FailureShares& result, std::string& failure);

}  // namespace varnak
