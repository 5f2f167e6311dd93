#include "tests/analysis/subset_brute_force.hpp"

#include <algorithm>
#include <bit>
#include <map>

namespace varnak::brute_force {
namespace {

// Labels the component of every vertex by repeated relaxation over the up edges: plain
// enough to be obviously right.
std::vector<std::int32_t> label_pieces(std::int32_t vertex_count,
                                       const std::vector<EdgeEnds>& up_edges) {
  std::vector<std::int32_t> label(static_cast<std::size_t>(std::max(vertex_count, 0)) + 1);
  for (std::int32_t vertex = 0; vertex <= vertex_count; ++vertex) {
    label[static_cast<std::size_t>(vertex)] = vertex;
  }
  for (bool changed = true; changed;) {
    changed = false;
    for (const auto& [u, v] : up_edges) {
      std::int32_t& a = label[static_cast<std::size_t>(u)];
      std::int32_t& b = label[static_cast<std::size_t>(v)];
      if (a != b) {
        a = b = std::min(a, b);
        changed = true;
      }
    }
  }
  return label;
}

bool all_vertices_joined(std::int32_t vertex_count, const std::vector<EdgeEnds>& up_edges) {
  if (vertex_count <= 0) {
    return false;
  }
  const std::vector<std::int32_t> label = label_pieces(vertex_count, up_edges);
  for (std::int32_t vertex = 1; vertex <= vertex_count; ++vertex) {
    if (label[static_cast<std::size_t>(vertex)] != 1) {
      return false;
    }
  }
  return true;
}

std::vector<EdgeEnds> up_edges_with(NetworkInstance& instance, std::size_t subset) {
  std::map<std::int32_t, std::int32_t> counts = instance.edge_srlg_count;
  std::vector<EdgeEnds> up_edges;
  for (std::int32_t edge = 1; edge <= instance.edge_count; ++edge) {
    if (instance.edge_srlg_count[edge] == 0) {
      up_edges.push_back(instance.edges[edge]);
    }
  }
  for (std::int32_t srlg = 1; srlg <= instance.srlg_count; ++srlg) {
    if ((subset >> (srlg - 1) & 1) == 0) {
      continue;
    }
    for (const std::int32_t edge : instance.srlgs[srlg]) {
      if (counts[edge] <= 0) {
        continue;
      }
      if (--counts[edge] == 0) {
        up_edges.push_back(instance.edges[edge]);
      }
    }
  }
  return up_edges;
}

}  // namespace

std::vector<bool> connected_subsets(NetworkInstance instance) {
  std::vector<bool> connected(std::size_t{1} << instance.srlg_count);
  for (std::size_t subset = 0; subset < connected.size(); ++subset) {
    connected[subset] = all_vertices_joined(instance.vertex_count, up_edges_with(instance, subset));
  }
  return connected;
}

std::vector<std::int32_t> pieces_with(NetworkInstance instance, std::size_t subset) {
  return label_pieces(instance.vertex_count, up_edges_with(instance, subset));
}

std::vector<std::uint64_t> joined_terminal_pairs(NetworkInstance instance,
                                                 const std::vector<std::int32_t>& terminals) {
  std::vector<std::int32_t> counted = terminals;
  if (terminals.empty()) {
    for (std::int32_t vertex = 1; vertex <= instance.vertex_count; ++vertex) {
      counted.push_back(vertex);
    }
  }
  std::vector<std::uint64_t> pairs(std::size_t{1} << instance.srlg_count);
  for (std::size_t subset = 0; subset < pairs.size(); ++subset) {
    const std::vector<std::int32_t> label = pieces_with(instance, subset);
    for (std::size_t i = 0; i < counted.size(); ++i) {
      for (std::size_t j = i + 1; j < counted.size(); ++j) {
        pairs[subset] += label[static_cast<std::size_t>(counted[i])] ==
                         label[static_cast<std::size_t>(counted[j])];
      }
    }
  }
  return pairs;
}

SubsetCounts count_by_size(const std::vector<bool>& connected, std::int32_t srlg_count) {
  const std::size_t n = static_cast<std::size_t>(srlg_count);
  SubsetCounts counts{std::vector<std::uint64_t>(n, 0),
                      std::vector<std::vector<std::uint64_t>>(n, std::vector<std::uint64_t>(n, 0))};
  for (std::size_t subset = 0; subset < connected.size(); ++subset) {
    const int size = std::popcount(static_cast<std::uint64_t>(subset));
    if (!connected[subset] || size == 0) {
      continue;
    }
    ++counts.connected[static_cast<std::size_t>(size - 1)];
    for (std::size_t s = 0; s < n; ++s) {
      if ((subset >> s & 1) != 0) {
        ++counts.connected_with[s][static_cast<std::size_t>(size - 1)];
      }
    }
  }
  return counts;
}

double reliability_over_subsets(const std::vector<bool>& connected,
                                const std::vector<double>& up_probability, std::int32_t forced_srlg,
                                bool forced_up) {
  double sum = 0.0;
  for (std::size_t subset = 0; subset < connected.size(); ++subset) {
    double probability = 1.0;
    for (std::size_t s = 0; s < up_probability.size(); ++s) {
      const bool up = (subset >> s & 1) != 0;
      if (static_cast<std::int32_t>(s) + 1 == forced_srlg) {
        probability *= up == forced_up ? 1.0 : 0.0;
      } else {
        probability *= up ? up_probability[s] : 1.0 - up_probability[s];
      }
    }
    sum += connected[subset] ? probability : 0.0;
  }
  return sum;
}

double reliability_over_subsets(const std::vector<bool>& connected, std::int32_t srlg_count,
                                double p, std::int32_t forced_srlg, bool forced_up) {
  return reliability_over_subsets(
      connected, std::vector<double>(static_cast<std::size_t>(std::max(srlg_count, 0)), p),
      forced_srlg, forced_up);
}

}  // namespace varnak::brute_force
