#pragma once

#include <cstdint>
#include <vector>

#include "instance/network_instance.hpp"

namespace varnak {

// The instance compiled for a terminal set, or for pairwise connectivity. Only vertices
// that some edge can reach take part; they are merged along the free edges (up in every
// sample), and each merged vertex carries the number of terminals it holds. A terminal
// that no edge reaches stays a piece of its own in every sample, so nothing is allocated
// for it: a huge VNUM costs nothing.
struct TerminalPlan {
  std::int32_t srlg_count = 0;
  std::int32_t vertex_count = 0;              // merged vertices, numbered 0..vertex_count-1
  std::vector<std::int64_t> terminal_weight;  // by merged vertex: terminals it holds

  // Joining edge e joins first_end[e] and second_end[e] once needed[e] of its listings
  // are up; SRLG s lists edges_of_srlg[srlg_offsets[s-1] .. srlg_offsets[s]).
  std::vector<std::int32_t> first_end;
  std::vector<std::int32_t> second_end;
  std::vector<std::int32_t> needed;
  std::vector<std::uint32_t> srlg_offsets;
  std::vector<std::int32_t> edges_of_srlg;

  std::int64_t terminal_count = 0;   // T
  std::int64_t terminal_pieces = 0;  // pieces holding a terminal before any SRLG is up
  std::uint64_t pairs = 0;           // C(T, 2)
  std::uint64_t free_pairs = 0;      // terminal pairs that the free edges join
  bool never_up = false;             // with every SRLG up the terminals are still apart
};

// C(count, 2): the pairs among `count` vertices, 0 below two.
std::uint64_t pairs_among(std::int64_t count);

// `terminals` are vertex ids; none means every vertex 1..VNUM is a terminal. Ids outside
// 1..VNUM and repeats are not refused here (the commands refuse them): such an id is a
// terminal that nothing reaches. O((E + T) log(E + T)).
TerminalPlan build_terminal_plan(const NetworkInstance& instance,
                                 const std::vector<std::int32_t>& terminals);

}  // namespace varnak
