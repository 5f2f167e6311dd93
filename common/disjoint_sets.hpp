#pragma once

#include <boost/pending/disjoint_sets.hpp>

#include <cassert>
#include <cstdint>
#include <vector>

namespace varnak {

// The vertices 1..VNUM in disjoint sets: Boost's disjoint_sets (union by rank, full path
// compression) over two arrays indexed directly by vertex id, with a running count of
// sets so that the connectivity test costs O(1).
//
// Index 0 of both arrays is no vertex: it is its own parent with rank 0 and stays so,
// which makes unite(0, 0), the join of an edge without an E line, change nothing.
class DisjointSets {
 public:
  explicit DisjointSets(std::int32_t vertex_count)
      : vertex_count_(vertex_count > 0 ? vertex_count : 0),
        rank_(static_cast<std::size_t>(vertex_count_) + 1, 0),
        parent_(static_cast<std::size_t>(vertex_count_) + 1, 0) {
    reset_all();
  }

  DisjointSets(const DisjointSets& other) = default;
  DisjointSets& operator=(const DisjointSets& other) = default;

  // Every vertex in a set of its own. O(VNUM).
  void reset_all() {
    auto sets = view();
    for (std::int32_t vertex = 1; vertex <= vertex_count_; ++vertex) {
      sets.make_set(vertex);
    }
    set_count_ = vertex_count_;
  }

  // Joins the sets of u and v; true when they were two sets. Amortised O(alpha(VNUM)).
  bool unite(std::int32_t u, std::int32_t v) {
    assert(u >= 0 && u <= vertex_count_ && v >= 0 && v <= vertex_count_);
    auto sets = view();
    const std::int32_t root_u = sets.find_set(u);
    const std::int32_t root_v = sets.find_set(v);
    if (root_u == root_v) {
      return false;
    }
    sets.link(root_u, root_v);
    --set_count_;
    return true;
  }

  // The representative of the set of `vertex`.
  std::int32_t find(std::int32_t vertex) { return view().find_set(vertex); }

  // Exactly one set: no vertices at all is not connected.
  bool is_connected() const { return set_count_ == 1; }
  std::int32_t set_count() const { return set_count_; }

 private:
  boost::disjoint_sets<std::int32_t*, std::int32_t*> view() {
    return {rank_.data(), parent_.data()};
  }

  std::int32_t vertex_count_;
  std::int32_t set_count_ = 0;
  std::vector<std::int32_t> rank_;
  std::vector<std::int32_t> parent_;
};

}  // namespace varnak
