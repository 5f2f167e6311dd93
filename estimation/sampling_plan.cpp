#include "estimation/sampling_plan.hpp"

#include <algorithm>
#include <map>

#include "common/disjoint_sets.hpp"
#include "common/invariant.hpp"
#include "instance/edge_rules.hpp"

namespace varnak {
namespace {

// Sorting these keys orders edges by up position.
std::uint64_t late_edge_key(std::int32_t up_position, std::int32_t edge) {
  return (static_cast<std::uint64_t>(up_position) << 32) | static_cast<std::uint32_t>(edge);
}

// Lays out a spanning tree of the joining edges, found breadth first from vertex 1.
// False when the edges do not reach every vertex.
bool build_spanning_tree(SamplingPlan& plan) {
  const std::size_t vertex_slots = static_cast<std::size_t>(plan.vertex_count) + 1;
  const std::size_t edge_count = plan.first_end.size();
  std::vector<std::uint32_t>& adjacency_offsets = plan.incidence_offsets;
  adjacency_offsets.assign(vertex_slots + 1, 0);
  for (std::size_t e = 0; e < edge_count; ++e) {
    ++adjacency_offsets[plan.first_end[e] + 1];
    ++adjacency_offsets[plan.second_end[e] + 1];
  }
  for (std::size_t v = 1; v < adjacency_offsets.size(); ++v) {
    adjacency_offsets[v] += adjacency_offsets[v - 1];
  }
  std::vector<std::int32_t>& incident_edges = plan.incident_edges;
  incident_edges.assign(2 * edge_count, 0);
  std::vector<std::uint32_t> next_slot(adjacency_offsets.begin(), adjacency_offsets.end() - 1);
  for (std::size_t e = 0; e < edge_count; ++e) {
    incident_edges[next_slot[plan.first_end[e]]++] = static_cast<std::int32_t>(e);
    incident_edges[next_slot[plan.second_end[e]]++] = static_cast<std::int32_t>(e);
  }

  std::map<std::uint32_t, std::vector<std::int32_t>> vertices_by_degree;
  for (std::int32_t vertex = 1; vertex <= plan.vertex_count; ++vertex) {
    vertices_by_degree[adjacency_offsets[vertex + 1] - adjacency_offsets[vertex]].push_back(vertex);
  }
  for (const auto& [degree, vertices] : vertices_by_degree) {
    plan.degree_groups.push_back({degree, static_cast<std::uint32_t>(vertices.size())});
    for (const std::int32_t vertex : vertices) {
      plan.edges_by_degree.insert(plan.edges_by_degree.end(),
                                  incident_edges.begin() + adjacency_offsets[vertex],
                                  incident_edges.begin() + adjacency_offsets[vertex + 1]);
    }
  }

  plan.tree_parent.assign(vertex_slots, 0);
  plan.tree_edge.assign(vertex_slots, -1);
  std::vector<bool> reached(vertex_slots, false);
  std::vector<bool> in_tree(edge_count, false);
  plan.tree_order.assign(1, 1);
  reached[1] = true;
  for (std::size_t next = 0; next < plan.tree_order.size(); ++next) {
    const std::int32_t vertex = plan.tree_order[next];
    for (std::uint32_t slot = adjacency_offsets[vertex]; slot < adjacency_offsets[vertex + 1];
         ++slot) {
      const std::int32_t e = incident_edges[slot];
      const std::int32_t other =
          plan.first_end[e] == vertex ? plan.second_end[e] : plan.first_end[e];
      if (!reached[other]) {
        reached[other] = true;
        in_tree[e] = true;
        plan.tree_parent[other] = vertex;
        plan.tree_edge[other] = e;
        plan.tree_order.push_back(other);
      }
    }
  }
  for (std::size_t e = 0; e < edge_count; ++e) {
    if (!in_tree[e]) {
      plan.non_tree_edges.push_back(static_cast<std::int32_t>(e));
    }
  }
  return plan.tree_order.size() == static_cast<std::size_t>(plan.vertex_count);
}

}  // namespace

SamplingPlan build_sampling_plan(const NetworkInstance& instance) {
  const EdgeRules rules = compile_edge_rules(instance);
  SamplingPlan plan;
  plan.srlg_count = rules.srlg_count;
  const std::int32_t vertex_count = rules.vertex_count;
  if (too_few_edges_to_connect(rules)) {
    plan.never_up = true;
    return plan;
  }

  DisjointSets free_sets(vertex_count);
  for (const EdgeEnds& ends : rules.free_edges) {
    free_sets.unite(ends.first, ends.second);
  }
  std::vector<std::int32_t> merged(static_cast<std::size_t>(vertex_count) + 1, 0);
  for (std::int32_t vertex = 1; vertex <= vertex_count; ++vertex) {
    std::int32_t& number = merged[free_sets.find(vertex)];
    if (number == 0) {
      number = ++plan.vertex_count;
    }
    merged[vertex] = number;
  }
  if (plan.vertex_count == 1) {
    plan.always_up = true;
    return plan;
  }

  std::vector<std::size_t> single_listing;
  std::vector<std::size_t> several_listings;
  for (std::size_t e = 0; e < rules.ends.size(); ++e) {
    if (merged[rules.ends[e].first] == merged[rules.ends[e].second]) {
      continue;
    }
    const std::uint32_t listings = rules.edge_offsets[e + 1] - rules.edge_offsets[e];
    (listings == 1 ? single_listing : several_listings).push_back(e);
  }
  const auto add_ends = [&](std::size_t e) {
    plan.first_end.push_back(merged[rules.ends[e].first]);
    plan.second_end.push_back(merged[rules.ends[e].second]);
  };
  plan.single_listing_edges = static_cast<std::int32_t>(single_listing.size());
  plan.srlg_offsets.push_back(0);
  for (const std::size_t e : single_listing) {
    add_ends(e);
    plan.single_srlg.push_back(rules.srlgs_of_edge[rules.edge_offsets[e]]);
  }
  for (const std::size_t e : several_listings) {
    add_ends(e);
    plan.needed.push_back(rules.needed[e]);
    plan.edge_srlgs.insert(plan.edge_srlgs.end(),
                           rules.srlgs_of_edge.begin() + rules.edge_offsets[e],
                           rules.srlgs_of_edge.begin() + rules.edge_offsets[e + 1]);
    plan.srlg_offsets.push_back(static_cast<std::uint32_t>(plan.edge_srlgs.size()));
  }

  plan.never_up = !build_spanning_tree(plan);
  return plan;
}

FirstUpFinder::FirstUpFinder(const SamplingPlan& plan)
    : plan_(plan),
      position_of_srlg_(static_cast<std::size_t>(plan.srlg_count) + 1, 0),
      up_position_(plan.first_end.size(), 0),
      piece_(static_cast<std::size_t>(plan.vertex_count) + 1, 0),
      late_edges_(plan.first_end.size() + 1, 0),
      pieces_(plan.vertex_count) {
  std::size_t longest_listing = 0;
  for (std::size_t e = 1; e < plan.srlg_offsets.size(); ++e) {
    longest_listing =
        std::max<std::size_t>(longest_listing, plan.srlg_offsets[e] - plan.srlg_offsets[e - 1]);
  }
  listing_positions_.resize(longest_listing);
}

template <typename SrlgAt>
void FirstUpFinder::compute_up_positions(SrlgAt srlg_at, const std::int32_t* single_srlg,
                                         const std::int32_t* edge_srlgs) {
  for (std::int32_t position = 0; position < plan_.srlg_count; ++position) {
    position_of_srlg_[srlg_at(position)] = position;
  }
  const std::size_t singles = static_cast<std::size_t>(plan_.single_listing_edges);
  for (std::size_t e = 0; e < singles; ++e) {
    up_position_[e] = position_of_srlg_[single_srlg[e]];
  }
  for (std::size_t e = singles; e < up_position_.size(); ++e) {
    const std::size_t index = e - singles;
    const std::int32_t* srlgs = edge_srlgs + plan_.srlg_offsets[index];
    const std::size_t listings = plan_.srlg_offsets[index + 1] - plan_.srlg_offsets[index];
    const std::int32_t needed = plan_.needed[index];
    if (listings == 2) {
      const std::int32_t a = position_of_srlg_[srlgs[0]];
      const std::int32_t b = position_of_srlg_[srlgs[1]];
      up_position_[e] = needed == 1 ? std::min(a, b) : std::max(a, b);
      continue;
    }
    for (std::size_t i = 0; i < listings; ++i) {
      listing_positions_[i] = position_of_srlg_[srlgs[i]];
    }
    const auto nth = listing_positions_.begin() + (needed - 1);
    std::nth_element(listing_positions_.begin(), nth, listing_positions_.begin() + listings);
    up_position_[e] = *nth;
  }
}

bool FirstUpFinder::join(std::int32_t u, std::int32_t v) {
  if (!pieces_.unite(u, v)) {
    return false;
  }
  --piece_count_;
  return true;
}

template <typename SrlgAt>
std::int32_t FirstUpFinder::search(SrlgAt srlg_at, const std::int32_t* single_srlg,
                                   const std::int32_t* edge_srlgs) {
  compute_up_positions(srlg_at, single_srlg, edge_srlgs);

  // Every vertex needs one of its edges up, so the network cannot be UP before the
  // latest of the vertices' earliest edges.
  std::int32_t bound = 0;
  const std::int32_t* incident = plan_.edges_by_degree.data();
  for (const SamplingPlan::DegreeGroup& group : plan_.degree_groups) {
    for (std::uint32_t vertex = 0; vertex < group.vertices; ++vertex) {
      std::int32_t earliest = plan_.srlg_count;
      for (std::uint32_t k = 0; k < group.degree; ++k) {
        earliest = std::min(earliest, up_position_[incident[k]]);
      }
      incident += group.degree;
      bound = std::max(bound, earliest);
    }
  }

  // The spanning tree falls apart at its edges still down at the bound; each piece is
  // named after its top vertex. Those edges come up later.
  // Branch-free on purpose: whether an edge is late follows no pattern the processor
  // could learn.
  std::size_t late_count = 0;
  const std::int32_t root = plan_.tree_order.front();
  piece_[root] = root;
  for (std::size_t i = 1; i < plan_.tree_order.size(); ++i) {
    const std::int32_t vertex = plan_.tree_order[i];
    const std::int32_t edge = plan_.tree_edge[vertex];
    const std::int32_t up = up_position_[edge];
    const bool late = up > bound;
    const std::int32_t parent = plan_.tree_parent[vertex];
    const std::int32_t late_mask = -static_cast<std::int32_t>(late);
    piece_[vertex] = vertex;  // read back just below when the vertex tops a new piece
    piece_[vertex] = piece_[parent ^ ((vertex ^ parent) & late_mask)];
    late_edges_[late_count] = late_edge_key(up, edge);
    late_count += late ? 1 : 0;
  }
  piece_count_ = static_cast<std::int32_t>(late_count) + 1;
  if (piece_count_ == 1) {
    return bound;
  }
  pieces_.reset_all();

  for (const std::int32_t edge : plan_.non_tree_edges) {
    const std::int32_t up = up_position_[edge];
    const bool late = up > bound;
    late_edges_[late_count] = late_edge_key(up, edge);
    late_count += late ? 1 : 0;
    // Most edges lie within one piece; only the others need the union-find.
    const std::int32_t first_piece = piece_[plan_.first_end[edge]];
    const std::int32_t second_piece = piece_[plan_.second_end[edge]];
    if ((!late & (first_piece != second_piece)) && join(first_piece, second_piece) &&
        piece_count_ == 1) {
      return bound;
    }
  }

  // Bring the late edges up in the order of their positions until one set remains.
  std::sort(late_edges_.begin(), late_edges_.begin() + static_cast<std::ptrdiff_t>(late_count));
  for (std::size_t i = 0; i < late_count; ++i) {
    const std::int32_t edge = static_cast<std::int32_t>(late_edges_[i] & 0xFFFFFFFFu);
    if (join(piece_[plan_.first_end[edge]], piece_[plan_.second_end[edge]]) && piece_count_ == 1) {
      return static_cast<std::int32_t>(late_edges_[i] >> 32);
    }
  }
  broken_invariant(
      "the forward search found no first UP position, yet every joining edge is up "
      "at the last position and they connect");
}

std::int32_t FirstUpFinder::first_up_position(const std::int32_t* order) {
  return search([order](std::int32_t position) { return order[position]; },
                plan_.single_srlg.data(), plan_.edge_srlgs.data());
}

std::int32_t FirstUpFinder::first_up_position(const std::uint16_t* positions,
                                              const RenamedListings& renamed) {
  return search([positions](std::int32_t position) { return positions[position] + 1; },
                renamed.single_srlg.data(), renamed.edge_srlgs.data());
}

std::int32_t FirstUpFinder::first_up_position(const std::uint32_t* positions,
                                              const RenamedListings& renamed) {
  return search(
      [positions](std::int32_t position) {
        return static_cast<std::int32_t>(positions[position]) + 1;
      },
      renamed.single_srlg.data(), renamed.edge_srlgs.data());
}

void rename_listings(const SamplingPlan& plan, const std::vector<std::int32_t>& new_id,
                     RenamedListings& renamed) {
  renamed.single_srlg.resize(plan.single_srlg.size());
  for (std::size_t e = 0; e < plan.single_srlg.size(); ++e) {
    renamed.single_srlg[e] = new_id[static_cast<std::size_t>(plan.single_srlg[e])];
  }
  renamed.edge_srlgs.resize(plan.edge_srlgs.size());
  for (std::size_t i = 0; i < plan.edge_srlgs.size(); ++i) {
    renamed.edge_srlgs[i] = new_id[static_cast<std::size_t>(plan.edge_srlgs[i])];
  }
}

}  // namespace varnak
