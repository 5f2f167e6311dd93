#pragma once

#include <cstdint>
#include <vector>

#include "instance/network_instance.hpp"

namespace varnak {

// When each edge is up, compiled once from an instance for every method that brings SRLGs
// up: the estimator and the exact analysis read the same rules.
//
// An edge with m > 0 memberships comes up once m of its listings by SRLGs 1..SRLGNUM are
// up; a listing by an SRLG outside that range never comes up, so an edge listed by SRLGs
// 1..SRLGNUM fewer than m times never comes up and is left out. An edge with ids 1..ENUM
// in no SRLG is free: up from the start. An edge whose ends are not two distinct vertices
// of 1..VNUM (a self-loop, or (0, 0) for an id without an E line) joins nothing and is
// left out too.
struct EdgeRules {
  std::int32_t srlg_count = 0;    // SRLGNUM, at least 0
  std::int32_t vertex_count = 0;  // VNUM, at least 0

  // The edges that SRLGs bring up, by dense index in ascending edge id.
  std::vector<EdgeEnds> ends;
  std::vector<std::int32_t> needed;  // listings that must be up: the membership count
  // Edge e is listed by srlgs_of_edge[edge_offsets[e] .. edge_offsets[e+1]), once per
  // listing, at least needed[e] of them.
  std::vector<std::uint32_t> edge_offsets;
  std::vector<std::int32_t> srlgs_of_edge;
  // SRLG s lists the edges edges_of_srlg[srlg_offsets[s-1] .. srlg_offsets[s]).
  std::vector<std::uint32_t> srlg_offsets;
  std::vector<std::int32_t> edges_of_srlg;

  std::vector<EdgeEnds> free_edges;  // in ascending edge id
};

// O(L log E) for L listings; nothing is allocated per vertex, so a huge VNUM costs nothing.
EdgeRules compile_edge_rules(const NetworkInstance& instance);

// The edges that are up from the start (ids 1..ENUM, in no SRLG, joining two vertices), in
// ascending edge id: EdgeRules::free_edges without the tables per SRLG, which a huge
// SRLGNUM would make large. O(E).
std::vector<EdgeEnds> free_edges_of(const NetworkInstance& instance);

// Fewer edges than a spanning tree needs: the vertices are never all connected, whatever
// comes up. Decided before anything is allocated per vertex.
bool too_few_edges_to_connect(const EdgeRules& rules);

}  // namespace varnak
