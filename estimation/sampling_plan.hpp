#pragma once

#include <cstdint>
#include <vector>

#include "common/disjoint_sets.hpp"
#include "instance/network_instance.hpp"

namespace varnak {

// The instance compiled for sampling. Vertices joined by free edges (edges in no SRLG,
// up in every sample) are merged into one vertex; edges that can never join two of these
// merged vertices are left out: edges without two distinct ends, edges whose membership
// count is 0 or less, and edges named by fewer listings of SRLGs 1..SRLGNUM than their
// count, since those never come up. What remains are the joining edges.
struct SamplingPlan {
  std::int32_t srlg_count = 0;
  std::int32_t vertex_count = 0;  // merged vertices, numbered 1..vertex_count

  // Joining edge e joins first_end[e] and second_end[e]. Edges 0..single_listing_edges-1
  // have one listing and come up with SRLG single_srlg[e]; every later edge comes up
  // once needed[e] of its listings, edge_srlgs[srlg_offsets[e]..srlg_offsets[e+1]), are
  // up: at the needed[e]-th smallest of their positions.
  std::vector<std::int32_t> first_end;
  std::vector<std::int32_t> second_end;
  std::int32_t single_listing_edges = 0;
  std::vector<std::int32_t> single_srlg;
  std::vector<std::int32_t> needed;
  std::vector<std::uint32_t> srlg_offsets;
  std::vector<std::int32_t> edge_srlgs;

  // The joining edges at each merged vertex v: incident_edges[incidence_offsets[v] ..
  // incidence_offsets[v+1]).
  std::vector<std::uint32_t> incidence_offsets;
  std::vector<std::int32_t> incident_edges;

  // The same lists grouped by the number of edges at the vertex: degree_groups[g] holds
  // that number and how many vertices have it, and their lists follow one another in
  // edges_by_degree. Loops over a group have one trip count, which the processor learns.
  struct DegreeGroup {
    std::uint32_t degree;
    std::uint32_t vertices;
  };
  std::vector<DegreeGroup> degree_groups;
  std::vector<std::int32_t> edges_by_degree;

  // A spanning tree of the joining edges: tree_order lists the merged vertices, each
  // after its parent; tree_edge[v] joins v to tree_parent[v]. Index 0 is unused.
  std::vector<std::int32_t> tree_order;
  std::vector<std::int32_t> tree_parent;
  std::vector<std::int32_t> tree_edge;
  std::vector<std::int32_t> non_tree_edges;

  bool never_up = false;   // even with every SRLG up the vertices are not one set
  bool always_up = false;  // the free edges alone connect all vertices
};

SamplingPlan build_sampling_plan(const NetworkInstance& instance);

// The plan's listings with every SRLG id s renamed to new_id[s]: an order of new ids is
// then searched as the order of the old ids it renames, with nothing composed per sample.
struct RenamedListings {
  std::vector<std::int32_t> single_srlg;
  std::vector<std::int32_t> edge_srlgs;
};

// O(joining edges + listings); `new_id` holds SRLGNUM + 1 entries, index 0 unused.
void rename_listings(const SamplingPlan& plan, const std::vector<std::int32_t>& new_id,
                     RenamedListings& renamed);

// Finds, for one SRLG order after another, the first position at which the SRLGs up so
// far connect all vertices. Owns its working arrays, allocated once; a sample allocates
// nothing.
class FirstUpFinder {
 public:
  explicit FirstUpFinder(const SamplingPlan& plan);

  // `order` holds the SRLG ids 1..SRLGNUM. The plan must be neither never_up nor
  // always_up. O(E + V + S) simple steps for the up positions of all joining edges and
  // the lower bound below, then union-find only between the pieces of the spanning tree
  // that the edges still down cut apart, typically few.
  std::int32_t first_up_position(const std::int32_t* order);

  // The same for an order of renamed ids, position p holding id positions[p] + 1, with
  // the listings renamed to match.
  std::int32_t first_up_position(const std::uint16_t* positions, const RenamedListings& renamed);
  std::int32_t first_up_position(const std::uint32_t* positions, const RenamedListings& renamed);

 private:
  // `srlg_at(position)` is asked for every position once, first to last.
  template <typename SrlgAt>
  std::int32_t search(SrlgAt srlg_at, const std::int32_t* single_srlg,
                      const std::int32_t* edge_srlgs);
  template <typename SrlgAt>
  void compute_up_positions(SrlgAt srlg_at, const std::int32_t* single_srlg,
                            const std::int32_t* edge_srlgs);
  // Joins two pieces; true when they were apart.
  bool join(std::int32_t u, std::int32_t v);

  const SamplingPlan& plan_;
  std::vector<std::int32_t> position_of_srlg_;
  std::vector<std::int32_t> up_position_;
  std::vector<std::int32_t> piece_;
  std::vector<std::int32_t> listing_positions_;
  std::vector<std::uint64_t> late_edges_;
  DisjointSets pieces_;  // only the pieces' top vertices take part
  std::int32_t piece_count_ = 0;
};

}  // namespace varnak
