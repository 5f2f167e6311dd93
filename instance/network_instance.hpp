#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace varnak {

// The two end vertices of an undirected edge, in the order the file gives them.
using EdgeEnds = std::pair<std::int32_t, std::int32_t>;

// One network as the instance file states it. Ids are the file's own, numbered from 1.
// The tables are read with find-or-insert semantics (operator[] on a mutable instance,
// or the lookup helpers below on a const one): an absent edge reads as (0, 0), which
// names no vertex and so joins nothing; an absent SRLG has no members; an absent count
// is 0.
struct NetworkInstance {
  std::int32_t vertex_count = 0;
  std::int32_t edge_count = 0;
  std::int32_t srlg_count = 0;
  std::map<std::int32_t, EdgeEnds> edges;
  std::map<std::int32_t, std::vector<std::int32_t>> srlgs;
  std::map<std::int32_t, std::int32_t> edge_srlg_count;
};

// Vertices are numbered 1..VNUM; 0, the end of an edge without an E line, is none.
inline bool is_vertex(std::int32_t end, std::int32_t vertex_count) {
  return end >= 1 && end <= vertex_count;
}

inline EdgeEnds edge_ends(const NetworkInstance& instance, std::int32_t edge) {
  const auto found = instance.edges.find(edge);
  return found == instance.edges.end() ? EdgeEnds{0, 0} : found->second;
}

inline std::int32_t srlg_memberships(const NetworkInstance& instance, std::int32_t edge) {
  const auto found = instance.edge_srlg_count.find(edge);
  return found == instance.edge_srlg_count.end() ? 0 : found->second;
}

}  // namespace varnak
