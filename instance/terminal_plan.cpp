#include "instance/terminal_plan.hpp"

#include <algorithm>
#include <numeric>

#include "instance/edge_rules.hpp"

namespace varnak {
namespace {

// Union-find over dense ids for the build only.
struct BuildSets {
  explicit BuildSets(std::size_t count) : parent(count) {
    std::iota(parent.begin(), parent.end(), 0);
  }
  std::int32_t find(std::int32_t v) {
    while (parent[static_cast<std::size_t>(v)] != v) {
      parent[static_cast<std::size_t>(v)] =
          parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(v)])];
      v = parent[static_cast<std::size_t>(v)];
    }
    return v;
  }
  bool unite(std::int32_t u, std::int32_t v) {
    u = find(u);
    v = find(v);
    if (u == v) {
      return false;
    }
    parent[static_cast<std::size_t>(std::max(u, v))] = std::min(u, v);
    return true;
  }
  std::vector<std::int32_t> parent;
};

}  // namespace

std::uint64_t pairs_among(std::int64_t count) {
  const std::uint64_t n = static_cast<std::uint64_t>(std::max<std::int64_t>(count, 0));
  // Halve the even factor first, so that nothing passes 2^64 below n = 2^32.
  return n < 2 ? 0 : (n % 2 == 0 ? n / 2 * (n - 1) : (n - 1) / 2 * n);
}

TerminalPlan build_terminal_plan(const NetworkInstance& instance,
                                 const std::vector<std::int32_t>& terminals) {
  const EdgeRules rules = compile_edge_rules(instance);
  TerminalPlan plan;
  plan.srlg_count = rules.srlg_count;
  const bool all_terminals = terminals.empty();
  std::vector<std::int32_t> terminal_ids(terminals);
  std::sort(terminal_ids.begin(), terminal_ids.end());
  terminal_ids.erase(std::unique(terminal_ids.begin(), terminal_ids.end()), terminal_ids.end());
  plan.terminal_count =
      all_terminals ? rules.vertex_count : static_cast<std::int64_t>(terminal_ids.size());
  plan.pairs = pairs_among(plan.terminal_count);

  // The vertices that edges reach, numbered densely in id order.
  std::vector<std::int32_t> touched;
  for (const std::vector<EdgeEnds>* list : {&rules.ends, &rules.free_edges}) {
    for (const EdgeEnds& ends : *list) {
      touched.push_back(ends.first);
      touched.push_back(ends.second);
    }
  }
  std::sort(touched.begin(), touched.end());
  touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
  const auto dense = [&](std::int32_t vertex) {
    return static_cast<std::int32_t>(std::lower_bound(touched.begin(), touched.end(), vertex) -
                                     touched.begin());
  };
  const auto is_terminal = [&](std::int32_t vertex) {
    return all_terminals || std::binary_search(terminal_ids.begin(), terminal_ids.end(), vertex);
  };

  BuildSets free_sets(touched.size());
  for (const EdgeEnds& ends : rules.free_edges) {
    free_sets.unite(dense(ends.first), dense(ends.second));
  }
  std::vector<std::int32_t> merged(touched.size(), -1);
  std::int64_t touched_terminals = 0;
  for (std::size_t v = 0; v < touched.size(); ++v) {
    std::int32_t& number =
        merged[static_cast<std::size_t>(free_sets.find(static_cast<std::int32_t>(v)))];
    if (number < 0) {
      number = plan.vertex_count++;
      plan.terminal_weight.push_back(0);
    }
    merged[v] = number;
    if (is_terminal(touched[v])) {
      ++plan.terminal_weight[static_cast<std::size_t>(number)];
      ++touched_terminals;
    }
  }
  plan.terminal_pieces = plan.terminal_count - touched_terminals;
  for (const std::int64_t weight : plan.terminal_weight) {
    plan.terminal_pieces += weight > 0 ? 1 : 0;
    plan.free_pairs += pairs_among(weight);
  }

  // Edges within one merged vertex join nothing new and are left out.
  std::vector<std::int32_t> joining(rules.ends.size(), -1);
  for (std::size_t e = 0; e < rules.ends.size(); ++e) {
    const std::int32_t u = merged[static_cast<std::size_t>(dense(rules.ends[e].first))];
    const std::int32_t v = merged[static_cast<std::size_t>(dense(rules.ends[e].second))];
    if (u != v) {
      joining[e] = static_cast<std::int32_t>(plan.first_end.size());
      plan.first_end.push_back(u);
      plan.second_end.push_back(v);
      plan.needed.push_back(rules.needed[e]);
    }
  }
  plan.srlg_offsets.assign(static_cast<std::size_t>(plan.srlg_count) + 1, 0);
  for (std::int32_t srlg = 1; srlg <= plan.srlg_count; ++srlg) {
    for (std::uint32_t i = rules.srlg_offsets[static_cast<std::size_t>(srlg) - 1];
         i < rules.srlg_offsets[static_cast<std::size_t>(srlg)]; ++i) {
      const std::int32_t edge = joining[static_cast<std::size_t>(rules.edges_of_srlg[i])];
      if (edge >= 0) {
        plan.edges_of_srlg.push_back(edge);
      }
    }
    plan.srlg_offsets[static_cast<std::size_t>(srlg)] =
        static_cast<std::uint32_t>(plan.edges_of_srlg.size());
  }

  // Every joining edge comes up once all SRLGs are up.
  BuildSets all_up(static_cast<std::size_t>(plan.vertex_count));
  std::int64_t pieces = plan.terminal_pieces;
  std::vector<std::int64_t> weight = plan.terminal_weight;
  for (std::size_t e = 0; e < plan.first_end.size(); ++e) {
    const std::int32_t u = all_up.find(plan.first_end[e]);
    const std::int32_t v = all_up.find(plan.second_end[e]);
    if (u != v) {
      pieces -= weight[static_cast<std::size_t>(u)] > 0 && weight[static_cast<std::size_t>(v)] > 0;
      weight[static_cast<std::size_t>(std::min(u, v))] +=
          weight[static_cast<std::size_t>(std::max(u, v))];
      all_up.unite(u, v);
    }
  }
  plan.never_up = pieces != 1;
  return plan;
}

}  // namespace varnak
