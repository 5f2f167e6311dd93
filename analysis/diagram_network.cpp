#include "analysis/diagram_network.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numeric>

#include "common/disjoint_sets.hpp"

namespace varnak {
namespace {

// log2(2^a + 2^b) without leaving the range of doubles.
double add_in_log2(double a, double b) {
  if (a == -std::numeric_limits<double>::infinity()) {
    return b;
  }
  const double high = std::max(a, b);
  return high + std::log2(1.0 + std::exp2(std::min(a, b) - high));
}

std::vector<std::vector<std::int32_t>> neighbours_of(const DiagramNetwork& network) {
  std::vector<std::vector<std::int32_t>> neighbours(static_cast<std::size_t>(network.vertex_count));
  for (const auto& [u, v] : network.ends) {
    neighbours[static_cast<std::size_t>(u)].push_back(v);
    neighbours[static_cast<std::size_t>(v)].push_back(u);
  }
  for (auto& list : neighbours) {
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
  }
  return neighbours;
}

// A vertex order grown from `start`: each next vertex is the one, among those next to the
// ones taken, after which the fewest taken vertices still have neighbours to come; ties go
// to the vertex with more taken neighbours, then to the lower number. O(V^2 · degree).
std::vector<std::int32_t> greedy_vertex_order(
    const std::vector<std::vector<std::int32_t>>& neighbours, std::int32_t start) {
  const std::size_t n = neighbours.size();
  std::vector<std::int32_t> untaken_neighbours(n);
  for (std::size_t v = 0; v < n; ++v) {
    untaken_neighbours[v] = static_cast<std::int32_t>(neighbours[v].size());
  }
  std::vector<char> taken(n, 0);
  std::vector<char> on_boundary(n, 0);  // untaken, next to a taken vertex
  std::vector<std::int32_t> boundary;
  std::vector<std::int32_t> order;
  order.reserve(n);
  const auto take = [&](std::int32_t v) {
    taken[static_cast<std::size_t>(v)] = 1;
    order.push_back(v);
    for (const std::int32_t w : neighbours[static_cast<std::size_t>(v)]) {
      --untaken_neighbours[static_cast<std::size_t>(w)];
      if (!taken[static_cast<std::size_t>(w)] && !on_boundary[static_cast<std::size_t>(w)]) {
        on_boundary[static_cast<std::size_t>(w)] = 1;
        boundary.push_back(w);
      }
    }
  };
  take(start);
  while (order.size() < n) {
    std::int32_t best = -1;
    std::size_t best_index = 0;
    std::int32_t best_change = std::numeric_limits<std::int32_t>::max();
    std::int32_t best_taken_neighbours = -1;
    for (std::size_t i = 0; i < boundary.size(); ++i) {
      const std::int32_t v = boundary[i];
      std::int32_t closed = 0;
      std::int32_t taken_neighbours = 0;
      for (const std::int32_t w : neighbours[static_cast<std::size_t>(v)]) {
        if (taken[static_cast<std::size_t>(w)]) {
          ++taken_neighbours;
          closed += untaken_neighbours[static_cast<std::size_t>(w)] == 1 ? 1 : 0;
        }
      }
      const std::int32_t opened = untaken_neighbours[static_cast<std::size_t>(v)] > 0 ? 1 : 0;
      const std::int32_t change = opened - closed;
      if (change < best_change ||
          (change == best_change && (taken_neighbours > best_taken_neighbours ||
                                     (taken_neighbours == best_taken_neighbours && v < best)))) {
        best = v;
        best_index = i;
        best_change = change;
        best_taken_neighbours = taken_neighbours;
      }
    }
    if (best < 0) {
      // Not reached for a connected network; kept so that any input ends.
      for (std::size_t v = 0; v < n; ++v) {
        if (!taken[v]) {
          best = static_cast<std::int32_t>(v);
          break;
        }
      }
    } else {
      boundary[best_index] = boundary.back();
      boundary.pop_back();
    }
    take(best);
  }
  return order;
}

// Edges in the order their later end joins; among the edges of one vertex, those to the
// earlier-taken vertices first, so that old vertices leave the frontier soon.
std::vector<std::int32_t> edge_order_of(const DiagramNetwork& network,
                                        const std::vector<std::int32_t>& vertex_order) {
  std::vector<std::int32_t> rank(vertex_order.size());
  for (std::size_t i = 0; i < vertex_order.size(); ++i) {
    rank[static_cast<std::size_t>(vertex_order[i])] = static_cast<std::int32_t>(i);
  }
  std::vector<std::int32_t> order(network.ends.size());
  std::iota(order.begin(), order.end(), 0);
  const auto key = [&](std::int32_t edge) {
    const auto& [u, v] = network.ends[static_cast<std::size_t>(edge)];
    const std::int32_t a = rank[static_cast<std::size_t>(u)];
    const std::int32_t b = rank[static_cast<std::size_t>(v)];
    return std::make_tuple(std::max(a, b), std::min(a, b), edge);
  };
  std::sort(order.begin(), order.end(),
            [&](std::int32_t x, std::int32_t y) { return key(x) < key(y); });
  return order;
}

// A start from which breadth-first search reaches its farthest vertex late: found by
// searching twice, from vertex 0 and then from the farthest vertex found.
std::int32_t far_vertex(const std::vector<std::vector<std::int32_t>>& neighbours,
                        std::int32_t from) {
  std::vector<std::int32_t> distance(neighbours.size(), -1);
  std::vector<std::int32_t> queue = {from};
  distance[static_cast<std::size_t>(from)] = 0;
  for (std::size_t next = 0; next < queue.size(); ++next) {
    for (const std::int32_t w : neighbours[static_cast<std::size_t>(queue[next])]) {
      if (distance[static_cast<std::size_t>(w)] < 0) {
        distance[static_cast<std::size_t>(w)] = distance[static_cast<std::size_t>(queue[next])] + 1;
        queue.push_back(w);
      }
    }
  }
  return queue.back();
}

}  // namespace

DiagramNetwork compile_diagram_network(const EdgeRules& rules) {
  DiagramNetwork network;
  network.srlg_count = rules.srlg_count;
  if (too_few_edges_to_connect(rules)) {
    network.shape = DiagramNetwork::Shape::kNeverConnected;
    return network;
  }
  DisjointSets pieces(rules.vertex_count);
  for (const EdgeEnds& ends : rules.free_edges) {
    pieces.unite(ends.first, ends.second);
  }
  if (pieces.is_connected()) {
    network.shape = DiagramNetwork::Shape::kAlwaysConnected;
    return network;
  }
  std::vector<std::int32_t> piece_of_root(static_cast<std::size_t>(rules.vertex_count) + 1, -1);
  const auto piece = [&](std::int32_t vertex) {
    std::int32_t& number = piece_of_root[static_cast<std::size_t>(pieces.find(vertex))];
    if (number < 0) {
      number = network.vertex_count++;
    }
    return number;
  };
  for (std::int32_t vertex = 1; vertex <= rules.vertex_count; ++vertex) {
    piece(vertex);
  }

  network.listing_offsets.push_back(0);
  DisjointSets possible = pieces;
  for (std::size_t edge = 0; edge < rules.ends.size(); ++edge) {
    const std::int32_t u = piece(rules.ends[edge].first);
    const std::int32_t v = piece(rules.ends[edge].second);
    if (u == v) {
      continue;
    }
    possible.unite(rules.ends[edge].first, rules.ends[edge].second);
    network.ends.emplace_back(u, v);
    network.needed.push_back(rules.needed[edge]);
    std::map<std::int32_t, std::int32_t> times;
    for (std::uint32_t i = rules.edge_offsets[edge]; i < rules.edge_offsets[edge + 1]; ++i) {
      ++times[rules.srlgs_of_edge[i]];
    }
    for (const auto& [srlg, count] : times) {
      network.listing_srlg.push_back(srlg);
      network.listing_times.push_back(count);
    }
    network.listing_offsets.push_back(static_cast<std::uint32_t>(network.listing_srlg.size()));
  }
  network.shape = possible.is_connected() ? DiagramNetwork::Shape::kNeedsDiagram
                                          : DiagramNetwork::Shape::kNeverConnected;
  return network;
}

DiagramNetwork compile_terminal_diagram_network(const TerminalPlan& plan) {
  DiagramNetwork network;
  network.srlg_count = plan.srlg_count;
  if (plan.terminal_pieces <= 1) {
    network.shape = DiagramNetwork::Shape::kAlwaysConnected;
    return network;
  }
  if (plan.never_up) {
    network.shape = DiagramNetwork::Shape::kNeverConnected;
    return network;
  }
  // The terminals lie in one piece with every SRLG up (never_up is false), and every
  // terminal is on an edge (else it would be a piece of its own for good).
  DisjointSets all_up(plan.vertex_count);
  for (std::size_t e = 0; e < plan.first_end.size(); ++e) {
    all_up.unite(plan.first_end[e] + 1, plan.second_end[e] + 1);
  }
  const auto weight = plan.terminal_weight.begin();
  const std::int32_t some_terminal = static_cast<std::int32_t>(
      std::find_if(weight, plan.terminal_weight.end(), [](std::int64_t w) { return w > 0; }) -
      weight);
  const std::int32_t kept_root = all_up.find(some_terminal + 1);
  std::vector<std::int32_t> renumbered(static_cast<std::size_t>(plan.vertex_count), -1);
  for (std::int32_t v = 0; v < plan.vertex_count; ++v) {
    if (all_up.find(v + 1) == kept_root) {
      renumbered[static_cast<std::size_t>(v)] = network.vertex_count++;
      network.terminal.push_back(plan.terminal_weight[static_cast<std::size_t>(v)] > 0 ? 1 : 0);
    }
  }

  // Each edge's listings, from the lists by SRLG; an SRLG may list an edge more than once.
  std::vector<std::pair<std::int32_t, std::int32_t>> listings;  // (edge, SRLG)
  for (std::int32_t srlg = 1; srlg <= plan.srlg_count; ++srlg) {
    for (std::uint32_t i = plan.srlg_offsets[static_cast<std::size_t>(srlg) - 1];
         i < plan.srlg_offsets[static_cast<std::size_t>(srlg)]; ++i) {
      listings.emplace_back(plan.edges_of_srlg[i], srlg);
    }
  }
  std::sort(listings.begin(), listings.end());
  network.listing_offsets.push_back(0);
  std::size_t next = 0;
  for (std::size_t e = 0; e < plan.first_end.size(); ++e) {
    const std::size_t first = next;
    while (next < listings.size() && listings[next].first == static_cast<std::int32_t>(e)) {
      ++next;
    }
    const std::int32_t u = renumbered[static_cast<std::size_t>(plan.first_end[e])];
    const std::int32_t v = renumbered[static_cast<std::size_t>(plan.second_end[e])];
    if (u < 0) {
      continue;  // both ends lie outside the terminals' piece
    }
    network.ends.emplace_back(u, v);
    network.needed.push_back(plan.needed[e]);
    for (std::size_t i = first; i < next;) {
      std::size_t j = i;
      while (j < next && listings[j].second == listings[i].second) {
        ++j;
      }
      network.listing_srlg.push_back(listings[i].second);
      network.listing_times.push_back(static_cast<std::int32_t>(j - i));
      i = j;
    }
    network.listing_offsets.push_back(static_cast<std::uint32_t>(network.listing_srlg.size()));
  }
  network.shape = DiagramNetwork::Shape::kNeedsDiagram;
  return network;
}

FrontierPlan make_frontier_plan(const DiagramNetwork& network,
                                const std::vector<std::int32_t>& edge_order) {
  FrontierPlan plan;
  plan.edge_order = edge_order;
  const std::size_t n = static_cast<std::size_t>(network.vertex_count);
  const std::size_t srlg_slots = static_cast<std::size_t>(network.srlg_count) + 1;
  const std::int32_t edge_count = static_cast<std::int32_t>(edge_order.size());

  plan.first_position.assign(n, -1);
  plan.last_position.assign(n, -1);
  plan.srlg_last_position.assign(srlg_slots, -1);
  std::vector<std::int32_t> level_of_srlg(srlg_slots, -1);
  for (std::int32_t position = 0; position < edge_count; ++position) {
    const std::size_t edge =
        static_cast<std::size_t>(edge_order[static_cast<std::size_t>(position)]);
    for (const std::int32_t end : {network.ends[edge].first, network.ends[edge].second}) {
      std::int32_t& first = plan.first_position[static_cast<std::size_t>(end)];
      first = first < 0 ? position : first;
      plan.last_position[static_cast<std::size_t>(end)] = position;
    }
    for (std::uint32_t i = network.listing_offsets[edge]; i < network.listing_offsets[edge + 1];
         ++i) {
      const std::int32_t srlg = network.listing_srlg[i];
      plan.srlg_last_position[static_cast<std::size_t>(srlg)] = position;
      if (level_of_srlg[static_cast<std::size_t>(srlg)] < 0) {
        level_of_srlg[static_cast<std::size_t>(srlg)] = plan.level_count++;
        plan.srlg_of_level.push_back(srlg);
        plan.first_position_of_level.push_back(position);
      }
    }
  }
  plan.first_position_of_level.push_back(edge_count);
  for (std::int32_t srlg = 1; srlg <= network.srlg_count; ++srlg) {
    if (level_of_srlg[static_cast<std::size_t>(srlg)] < 0) {
      plan.free_srlgs.push_back(srlg);
    }
  }
  plan.all_seen_position =
      n == 0 ? 0 : *std::max_element(plan.first_position.begin(), plan.first_position.end());
  plan.terminals_seen_position = network.terminal.empty() ? plan.all_seen_position : 0;
  for (std::size_t v = 0; v < network.terminal.size(); ++v) {
    if (network.terminal[v] != 0) {
      plan.terminals_seen_position = std::max(plan.terminals_seen_position, plan.first_position[v]);
    }
  }

  // Level L: frontier vertices met before its position and met again at or after it;
  // active SRLGs decided at a lower level that list an edge at or after it.
  plan.frontier_offsets.push_back(0);
  plan.active_offsets.push_back(0);
  double bits = -std::numeric_limits<double>::infinity();
  for (std::int32_t level = 0; level < plan.level_count; ++level) {
    const std::int32_t position = plan.first_position_of_level[static_cast<std::size_t>(level)];
    const std::size_t frontier_start = plan.frontier.size();
    for (std::size_t v = 0; v < n; ++v) {
      if (plan.first_position[v] < position && plan.last_position[v] >= position) {
        plan.frontier.push_back(static_cast<std::int32_t>(v));
      }
    }
    const std::size_t active_start = plan.active.size();
    for (std::int32_t earlier = 0; earlier < level; ++earlier) {
      const std::int32_t srlg = plan.srlg_of_level[static_cast<std::size_t>(earlier)];
      if (plan.srlg_last_position[static_cast<std::size_t>(srlg)] >= position) {
        plan.active.push_back(srlg);
      }
    }
    std::sort(plan.active.begin() + static_cast<std::ptrdiff_t>(active_start), plan.active.end());
    plan.frontier_offsets.push_back(static_cast<std::uint32_t>(plan.frontier.size()));
    plan.active_offsets.push_back(static_cast<std::uint32_t>(plan.active.size()));
    const std::int32_t width = static_cast<std::int32_t>(plan.frontier.size() - frontier_start);
    const std::int32_t remembered = static_cast<std::int32_t>(plan.active.size() - active_start);
    plan.frontier_width = std::max(plan.frontier_width, width);
    plan.most_active = std::max(plan.most_active, remembered);
    // A partition of w frontier vertices of a sparse network is about one of 4^w
    // (non-crossing partitions); each active SRLG doubles the states at most.
    bits = add_in_log2(bits, 2.0 * width + remembered);
  }
  plan.state_bits = plan.level_count == 0 ? 0.0 : bits;
  return plan;
}

FrontierPlan plan_narrow_frontier(const DiagramNetwork& network) {
  constexpr std::int32_t kMostStarts = 64;
  const auto neighbours = neighbours_of(network);
  const std::int32_t n = network.vertex_count;
  std::vector<std::int32_t> starts;
  if (n <= kMostStarts) {
    starts.resize(static_cast<std::size_t>(n));
    std::iota(starts.begin(), starts.end(), 0);
  } else {
    starts.push_back(far_vertex(neighbours, far_vertex(neighbours, 0)));
    for (std::int32_t i = 0; i + 1 < kMostStarts; ++i) {
      starts.push_back(
          static_cast<std::int32_t>(static_cast<std::int64_t>(i) * n / (kMostStarts - 1)));
    }
  }
  FrontierPlan best;
  bool found = false;
  for (const std::int32_t start : starts) {
    FrontierPlan plan =
        make_frontier_plan(network, edge_order_of(network, greedy_vertex_order(neighbours, start)));
    if (!found || plan.state_bits < best.state_bits) {
      best = std::move(plan);
      found = true;
    }
  }
  if (!found) {
    std::vector<std::int32_t> order(network.ends.size());
    std::iota(order.begin(), order.end(), 0);
    best = make_frontier_plan(network, order);
  }
  return best;
}

}  // namespace varnak
