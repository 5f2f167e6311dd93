#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "estimation/sampling_plan.hpp"

namespace varnak {

// The joining edges written in the cut space of the network, for a search that starts
// from the end of each order.
//
// Each edge gets a signature over GF(2), one bit per edge outside the spanning tree: an
// edge outside the tree has its own bit; a tree edge has the bits of the edges outside the
// tree whose cycle through the tree passes it. A set of edges holds a cut of the network
// exactly when the signatures of some of its edges add up to zero, so the edges still down
// leave the vertices connected exactly when their signatures are linearly independent.
//
// Bringing the SRLGs down from the last position backwards, the edges going down are
// added to a basis of signatures; the first one that depends on those before it marks the
// position at which the network first comes UP. Only the SRLGs after that position are
// visited, so when the network connects late in the order, little is done per sample.
struct CutSpacePlan {
  std::int32_t srlg_count = 0;
  std::int32_t words = 0;                 // 64-bit words per signature
  std::vector<std::uint64_t> signatures;  // edge e: words [e * words, (e + 1) * words)
  // SRLG id s lists listing_edges[listing_offsets[s-1] .. listing_offsets[s]). An edge
  // with counter -1 goes down with its only listing; any other goes down once fewer than
  // needed[counter] of its listings[counter] listings are still up.
  std::vector<std::uint32_t> listing_offsets;
  std::vector<std::int32_t> listing_edges;
  std::vector<std::int32_t> listing_counters;
  std::vector<std::int32_t> listings;
  std::vector<std::int32_t> needed;
};

// The plan, or nothing when the signatures would take more than `most_bytes`.
std::optional<CutSpacePlan> build_cut_space_plan(const SamplingPlan& plan,
                                                 std::uint64_t most_bytes);

// Finds the first UP position of one order after another from the end of the order.
// O(late listings · rank · words) per sample, with nothing allocated.
class CutSpaceFinder {
 public:
  explicit CutSpaceFinder(const CutSpacePlan& plan);

  std::int32_t first_up_position(const std::int32_t* order);

  // The same for the order start_order[relative[p]]: its SRLG ids are written to
  // `real_order` as the search reads them, so that from the first UP position to the end
  // `real_order` holds the order; the positions before it are never composed.
  std::int32_t first_up_position(const std::int32_t* start_order, const std::uint16_t* relative,
                                 std::int32_t* real_order);
  std::int32_t first_up_position(const std::int32_t* start_order, const std::uint32_t* relative,
                                 std::int32_t* real_order);

 private:
  // `srlg_at(position)` is asked from the last position back to the first UP one.
  template <typename SrlgAt>
  std::int32_t search(SrlgAt srlg_at);
  // Adds the signature of `edge` to the basis; false when it depends on the basis.
  bool add_to_basis(std::int32_t edge);
  void clear();

  const CutSpacePlan& plan_;
  std::vector<std::uint64_t> basis_;  // by pivot bit: the vector whose lowest bit it is
  std::vector<bool> has_pivot_;
  std::vector<std::int32_t> pivots_used_;
  std::vector<std::int32_t> listings_up_;
  std::vector<std::int32_t> counters_used_;
  std::vector<std::uint64_t> vector_;
};

}  // namespace varnak
