#pragma once

#include <cstdint>
#include <vector>

#include "instance/edge_rules.hpp"
#include "instance/terminal_plan.hpp"

namespace varnak {

// The network as the SRLG decision diagram sees it, compiled from the edge rules.
//
// The free edges (up from the start) are contracted: a vertex of this network is a piece
// of the graph of free edges, numbered from 0. An SRLG edge whose ends fall into one
// piece joins nothing and is left out. So every edge here joins two distinct vertices and
// waits for SRLGs; it is up once the listings of its SRLGs that are up reach `needed`.
struct DiagramNetwork {
  enum class Shape {
    kNeverConnected,   // no vertex, or even all possible edges leave the network in pieces
    kAlwaysConnected,  // one vertex, or the free edges connect it by themselves
    kNeedsDiagram,
  };
  Shape shape = Shape::kNeverConnected;
  std::int32_t srlg_count = 0;
  std::int32_t vertex_count = 0;                            // pieces of the free edges
  std::vector<std::pair<std::int32_t, std::int32_t>> ends;  // 0-based pieces, first != second
  std::vector<std::int32_t> needed;
  // Edge e is listed by the distinct SRLGs listing_srlg[listing_offsets[e] .. [e+1]), each
  // listing_times[i] times (an SRLG may list an edge more than once).
  std::vector<std::uint32_t> listing_offsets;
  std::vector<std::int32_t> listing_srlg;
  std::vector<std::int32_t> listing_times;
  // By vertex: 1 when it holds a terminal. Empty: every vertex is one (all-terminal).
  std::vector<std::uint8_t> terminal;
};

// O(L log L + V) for L listings, V = VNUM; only after the edges were counted against a
// spanning tree, so that a huge VNUM with few edges costs nothing.
DiagramNetwork compile_diagram_network(const EdgeRules& rules);

// The network for a terminal set: connected means every terminal in one piece. Only the
// piece that every SRLG up makes of the terminals is kept, since no other edge can join
// them. O(L log L + V) for L listings, V the vertices that edges reach.
DiagramNetwork compile_terminal_diagram_network(const TerminalPlan& plan);

// The order in which the diagram takes the edges, and what each level of it remembers.
//
// Level L decides SRLG srlg_of_level[L], at the first edge (in edge order) that lists it:
// edges are taken one after another, and an edge's undecided SRLGs are decided just
// before it, lowest id first. A state of level L is the partition into connected pieces of
// the frontier vertices (met by an edge already taken and by one still to take) and the
// values of the active SRLGs (decided, and listing an edge still to take).
struct FrontierPlan {
  std::vector<std::int32_t> edge_order;  // position -> edge
  std::int32_t level_count = 0;
  std::vector<std::int32_t> srlg_of_level;
  // The edges at positions [first_position_of_level[L], first_position_of_level[L+1]) are
  // taken between deciding level L and level L+1; the last entry is the edge count.
  std::vector<std::int32_t> first_position_of_level;
  std::vector<std::uint32_t> frontier_offsets;  // level L: frontier[offsets[L] .. [L+1])
  std::vector<std::int32_t> frontier;           // ascending vertex numbers
  std::vector<std::uint32_t> active_offsets;
  std::vector<std::int32_t> active;              // ascending SRLG ids
  std::vector<std::int32_t> first_position;      // by vertex: its first edge's position
  std::vector<std::int32_t> last_position;       // by vertex: its last edge's position
  std::vector<std::int32_t> srlg_last_position;  // by SRLG id (0 unused); -1 for no edge
  std::int32_t all_seen_position = 0;            // from here on every vertex has been met
  std::int32_t terminals_seen_position = 0;      // ... and every terminal (the same without)
  std::vector<std::int32_t> free_srlgs;          // SRLGs 1..S that list no edge here
  std::int32_t frontier_width = 0;               // most frontier vertices at one level
  std::int32_t most_active = 0;                  // most SRLGs remembered at one level
  double state_bits = 0.0;  // log2 of a rough bound on the states summed over the levels
};

// Lays out the levels for a given edge order (a permutation of the edges).
// O(levels · (V + S) + listings).
FrontierPlan make_frontier_plan(const DiagramNetwork& network,
                                const std::vector<std::int32_t>& edge_order);

// Chooses an edge order that keeps the frontier narrow: vertex orders grown greedily from
// several starting vertices, each next vertex the one that leaves the fewest vertices on
// the frontier, its edges to earlier vertices taken when it joins; the plan with the
// smallest bound on the states (frontier vertices and active SRLGs together) wins.
// About O(starts · V^2 · degree) with at most 64 starts.
FrontierPlan plan_narrow_frontier(const DiagramNetwork& network);

}  // namespace varnak
