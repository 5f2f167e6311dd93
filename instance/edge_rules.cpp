#include "instance/edge_rules.hpp"

#include <algorithm>
#include <map>

namespace varnak {
namespace {

bool joins_two_vertices(const EdgeEnds& ends, std::int32_t vertex_count) {
  return ends.first != ends.second && is_vertex(ends.first, vertex_count) &&
         is_vertex(ends.second, vertex_count);
}

}  // namespace

EdgeRules compile_edge_rules(const NetworkInstance& instance) {
  EdgeRules rules;
  rules.srlg_count = std::max<std::int32_t>(instance.srlg_count, 0);
  rules.vertex_count = std::max<std::int32_t>(instance.vertex_count, 0);

  std::map<std::int32_t, std::vector<std::int32_t>> listings_of_edge;
  for (auto it = instance.srlgs.lower_bound(1);
       it != instance.srlgs.end() && it->first <= rules.srlg_count; ++it) {
    for (const std::int32_t edge : it->second) {
      if (srlg_memberships(instance, edge) > 0 &&
          joins_two_vertices(edge_ends(instance, edge), rules.vertex_count)) {
        listings_of_edge[edge].push_back(it->first);
      }
    }
  }
  std::erase_if(listings_of_edge, [&](const auto& entry) {
    return entry.second.size() < static_cast<std::size_t>(srlg_memberships(instance, entry.first));
  });

  std::map<std::int32_t, std::int32_t> index_of_edge;
  rules.edge_offsets.push_back(0);
  for (const auto& [edge, srlgs] : listings_of_edge) {
    index_of_edge.emplace(edge, static_cast<std::int32_t>(rules.ends.size()));
    rules.ends.push_back(edge_ends(instance, edge));
    rules.needed.push_back(srlg_memberships(instance, edge));
    rules.srlgs_of_edge.insert(rules.srlgs_of_edge.end(), srlgs.begin(), srlgs.end());
    rules.edge_offsets.push_back(static_cast<std::uint32_t>(rules.srlgs_of_edge.size()));
  }

  rules.srlg_offsets.assign(static_cast<std::size_t>(rules.srlg_count) + 1, 0);
  // A 64-bit count: with SRLGNUM 2^31-1, a 32-bit one would overflow past the last SRLG.
  for (std::int64_t srlg = 1; srlg <= rules.srlg_count; ++srlg) {
    const auto found = instance.srlgs.find(static_cast<std::int32_t>(srlg));
    if (found != instance.srlgs.end()) {
      for (const std::int32_t edge : found->second) {
        const auto index = index_of_edge.find(edge);
        if (index != index_of_edge.end()) {
          rules.edges_of_srlg.push_back(index->second);
        }
      }
    }
    rules.srlg_offsets[static_cast<std::size_t>(srlg)] =
        static_cast<std::uint32_t>(rules.edges_of_srlg.size());
  }

  rules.free_edges = free_edges_of(instance);
  return rules;
}

std::vector<EdgeEnds> free_edges_of(const NetworkInstance& instance) {
  const std::int32_t vertex_count = std::max<std::int32_t>(instance.vertex_count, 0);
  std::vector<EdgeEnds> free_edges;
  for (auto it = instance.edges.lower_bound(1);
       it != instance.edges.end() && it->first <= instance.edge_count; ++it) {
    if (srlg_memberships(instance, it->first) == 0 &&
        joins_two_vertices(it->second, vertex_count)) {
      free_edges.push_back(it->second);
    }
  }
  return free_edges;
}

bool too_few_edges_to_connect(const EdgeRules& rules) {
  const std::int64_t edges = static_cast<std::int64_t>(rules.ends.size() + rules.free_edges.size());
  return rules.vertex_count <= 0 || edges < static_cast<std::int64_t>(rules.vertex_count) - 1;
}

}  // namespace varnak
