#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "instance/network_instance.hpp"

// Failure analysis seen from the other end of the spectrum: every SRLG up but a few. One
// enumeration of the small sets of SRLGs that fail serves both the minimal cut sets and
// the exact share of the d-sets whose failure disconnects the network.
namespace varnak {

// Sets of more SRLGs than this many are refused: an estimate of the work is given instead.
// About a minute on one core of a 2020s machine at the rate measured in bench/.
inline constexpr double kMostFailureSetsChecked = 4e8;

// Sets of at most `max_size` of `srlg_count` SRLGs: the most the enumeration checks.
double failure_sets_to_check(std::int32_t srlg_count, std::int32_t max_size);

// A minimal cut set: its SRLGs failing disconnects the network, and no smaller part of
// them does.
struct MinimalCutSet {
  std::vector<std::int32_t> srlgs;  // ascending ids
  // The vertices cut off from the rest, the rest being the largest piece left (of equal
  // pieces, the one with the lowest vertex); ascending.
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
// edges coming up by the estimator's rules (compile_edge_rules). Returns 0, or 1 with
// `failure` set when the network is not connected even with every SRLG up (then every
// set, the empty one included, disconnects it, and none is minimal but the empty one),
// or when more than kMostFailureSetsChecked sets would be checked.
int find_minimal_cut_sets(const NetworkInstance& instance, std::int32_t max_size,
                          MinimalCutSets& result, std::string& failure);

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
