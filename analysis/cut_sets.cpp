#include "analysis/cut_sets.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <utility>

#include "common/disjoint_sets.hpp"
#include "instance/edge_rules.hpp"
#include "instance/terminal_set.hpp"

namespace varnak {
namespace {

// SplitMix64: the cut-space labels, the same on every platform.
std::uint64_t next_label(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

// The network as the enumeration sees it: the pieces that the free edges join are single
// nodes (1..node_count), and only the SRLG edges between two pieces matter; an SRLG edge
// inside one piece can never disconnect anything and is left out.
//
// Each edge carries a label in the cut space of the network with every SRLG up: a random
// word for an edge off a spanning tree, and for a tree edge the XOR of the words of the
// edges whose cycle through the tree runs over it. A set of edges whose failure
// disconnects the network holds a cut, and the labels of a cut XOR to 0; so when the
// labels of the failed edges are linearly independent, the network is surely still
// connected. Dependent labels are checked with a union-find, so every answer is exact.
//
// With terminals, only the piece that holds them with every SRLG up is kept: no edge
// outside it can join or part them, and on that piece the labels' argument holds as on a
// connected network. Vertices outside it belong to node 0, which no edge reaches.
struct FailureNetwork {
  std::int32_t vertex_count = 0;
  std::int32_t node_count = 0;
  bool connected_when_all_up = false;
  std::vector<std::int32_t> terminals;                      // vertex ids; none: every vertex
  std::vector<std::int32_t> terminal_nodes;                 // the distinct nodes that hold them
  std::vector<std::int32_t> node_of_vertex;                 // index v - 1
  std::vector<std::pair<std::int32_t, std::int32_t>> ends;  // by edge, nodes
  std::vector<std::uint64_t> labels;                        // by edge
  // SRLG s takes down edges_of_srlg[srlg_offsets[s-1] .. srlg_offsets[s]), once per listing.
  std::vector<std::uint32_t> srlg_offsets;
  std::vector<std::int32_t> edges_of_srlg;
};

void label_edges(FailureNetwork& network) {
  const std::size_t nodes = static_cast<std::size_t>(network.node_count) + 1;
  const std::size_t edge_count = network.ends.size();
  // Adjacency of the nodes, as offsets into one array of edge ids.
  std::vector<std::uint32_t> offsets(nodes + 1, 0);
  for (const auto& [a, b] : network.ends) {
    ++offsets[static_cast<std::size_t>(a) + 1];
    ++offsets[static_cast<std::size_t>(b) + 1];
  }
  for (std::size_t node = 1; node <= nodes; ++node) {
    offsets[node] += offsets[node - 1];
  }
  std::vector<std::int32_t> incident(offsets.back());
  std::vector<std::uint32_t> fill(offsets.begin(), offsets.end() - 1);
  for (std::size_t edge = 0; edge < edge_count; ++edge) {
    incident[fill[static_cast<std::size_t>(network.ends[edge].first)]++] =
        static_cast<std::int32_t>(edge);
    incident[fill[static_cast<std::size_t>(network.ends[edge].second)]++] =
        static_cast<std::int32_t>(edge);
  }
  // Breadth first from node 1: the tree, and the order to fold subtrees back in.
  std::vector<std::int32_t> parent_edge(nodes, -1);
  std::vector<bool> reached(nodes, false);
  std::vector<std::int32_t> order = {1};
  reached[1] = true;
  for (std::size_t next = 0; next < order.size(); ++next) {
    const std::int32_t node = order[next];
    for (std::uint32_t i = offsets[static_cast<std::size_t>(node)];
         i < offsets[static_cast<std::size_t>(node) + 1]; ++i) {
      const std::int32_t edge = incident[i];
      const auto& [a, b] = network.ends[static_cast<std::size_t>(edge)];
      const std::int32_t other = a == node ? b : a;
      if (!reached[static_cast<std::size_t>(other)]) {
        reached[static_cast<std::size_t>(other)] = true;
        parent_edge[static_cast<std::size_t>(other)] = edge;
        order.push_back(other);
      }
    }
  }
  std::vector<bool> in_tree(edge_count, false);
  for (const std::int32_t edge : parent_edge) {
    if (edge >= 0) {
      in_tree[static_cast<std::size_t>(edge)] = true;
    }
  }
  network.labels.assign(edge_count, 0);
  std::vector<std::uint64_t> below(nodes, 0);  // XOR of the off-tree words at each node
  std::uint64_t state = 0x5eed5eedULL;
  for (std::size_t edge = 0; edge < edge_count; ++edge) {
    if (!in_tree[edge]) {
      std::uint64_t label = 0;
      while (label == 0) {
        label = next_label(state);
      }
      network.labels[edge] = label;
      below[static_cast<std::size_t>(network.ends[edge].first)] ^= label;
      below[static_cast<std::size_t>(network.ends[edge].second)] ^= label;
    }
  }
  for (std::size_t i = order.size(); i-- > 1;) {
    const std::int32_t node = order[i];
    const std::int32_t edge = parent_edge[static_cast<std::size_t>(node)];
    const auto& [a, b] = network.ends[static_cast<std::size_t>(edge)];
    const std::int32_t parent = a == node ? b : a;
    network.labels[static_cast<std::size_t>(edge)] = below[static_cast<std::size_t>(node)];
    below[static_cast<std::size_t>(parent)] ^= below[static_cast<std::size_t>(node)];
  }
}

// Keeps the nodes of the piece that holds every terminal with all SRLGs up, numbered
// anew, and the edges among them; false when the terminals lie in several pieces.
bool keep_the_terminals_piece(FailureNetwork& network, DisjointSets& all_up) {
  const std::int32_t piece =
      all_up.find(network.node_of_vertex[static_cast<std::size_t>(network.terminals[0] - 1)]);
  for (const std::int32_t terminal : network.terminals) {
    if (all_up.find(network.node_of_vertex[static_cast<std::size_t>(terminal - 1)]) != piece) {
      return false;
    }
  }
  std::vector<std::int32_t> renumbered(static_cast<std::size_t>(network.node_count) + 1, 0);
  std::int32_t kept = 0;
  for (std::int32_t node = 1; node <= network.node_count; ++node) {
    if (all_up.find(node) == piece) {
      renumbered[static_cast<std::size_t>(node)] = ++kept;
    }
  }
  network.node_count = kept;
  for (std::int32_t& node : network.node_of_vertex) {
    node = renumbered[static_cast<std::size_t>(node)];
  }
  for (auto& [a, b] : network.ends) {
    // An edge's ends lie in one piece with every SRLG up: both kept or neither.
    a = renumbered[static_cast<std::size_t>(a)];
    b = renumbered[static_cast<std::size_t>(b)];
  }
  for (const std::int32_t terminal : network.terminals) {
    network.terminal_nodes.push_back(
        network.node_of_vertex[static_cast<std::size_t>(terminal - 1)]);
  }
  std::sort(network.terminal_nodes.begin(), network.terminal_nodes.end());
  network.terminal_nodes.erase(
      std::unique(network.terminal_nodes.begin(), network.terminal_nodes.end()),
      network.terminal_nodes.end());
  return true;
}

FailureNetwork build_failure_network(const NetworkInstance& instance,
                                     const std::vector<std::int32_t>& terminals) {
  const EdgeRules rules = compile_edge_rules(instance);
  FailureNetwork network;
  network.vertex_count = rules.vertex_count;
  network.terminals = terminals;
  network.srlg_offsets.assign(static_cast<std::size_t>(rules.srlg_count) + 1, 0);
  if (terminals.empty() && too_few_edges_to_connect(rules)) {
    return network;  // never connected; nothing per vertex is allocated
  }
  DisjointSets pieces(rules.vertex_count);
  for (const EdgeEnds& ends : rules.free_edges) {
    pieces.unite(ends.first, ends.second);
  }
  std::vector<std::int32_t> node_of_root(static_cast<std::size_t>(rules.vertex_count) + 1, 0);
  network.node_of_vertex.resize(static_cast<std::size_t>(rules.vertex_count));
  for (std::int32_t vertex = 1; vertex <= rules.vertex_count; ++vertex) {
    std::int32_t& node = node_of_root[static_cast<std::size_t>(pieces.find(vertex))];
    if (node == 0) {
      node = ++network.node_count;
    }
    network.node_of_vertex[static_cast<std::size_t>(vertex - 1)] = node;
  }
  // Edges between two pieces, by a dense index of their own.
  std::vector<std::int32_t> index_of_rule_edge(rules.ends.size(), -1);
  DisjointSets all_up(network.node_count);
  for (std::size_t edge = 0; edge < rules.ends.size(); ++edge) {
    const std::int32_t a =
        network.node_of_vertex[static_cast<std::size_t>(rules.ends[edge].first - 1)];
    const std::int32_t b =
        network.node_of_vertex[static_cast<std::size_t>(rules.ends[edge].second - 1)];
    if (a != b) {
      index_of_rule_edge[edge] = static_cast<std::int32_t>(network.ends.size());
      network.ends.emplace_back(a, b);
      all_up.unite(a, b);
    }
  }
  network.connected_when_all_up =
      network.terminals.empty() ? all_up.is_connected() : keep_the_terminals_piece(network, all_up);
  if (!network.connected_when_all_up) {
    return network;
  }
  // Edges outside the terminals' piece were renumbered to node 0 at both ends.
  for (std::size_t edge = 0; edge < index_of_rule_edge.size(); ++edge) {
    const std::int32_t index = index_of_rule_edge[edge];
    if (index >= 0 && network.ends[static_cast<std::size_t>(index)].first == 0) {
      index_of_rule_edge[edge] = -1;
    }
  }
  std::vector<std::int32_t> kept_index(network.ends.size(), -1);
  std::vector<std::pair<std::int32_t, std::int32_t>> kept_ends;
  for (std::size_t index = 0; index < network.ends.size(); ++index) {
    if (network.ends[index].first != 0) {
      kept_index[index] = static_cast<std::int32_t>(kept_ends.size());
      kept_ends.push_back(network.ends[index]);
    }
  }
  network.ends = std::move(kept_ends);
  for (std::int32_t& index : index_of_rule_edge) {
    index = index >= 0 ? kept_index[static_cast<std::size_t>(index)] : -1;
  }
  for (std::int32_t srlg = 1; srlg <= rules.srlg_count; ++srlg) {
    for (std::uint32_t i = rules.srlg_offsets[static_cast<std::size_t>(srlg - 1)];
         i < rules.srlg_offsets[static_cast<std::size_t>(srlg)]; ++i) {
      const std::int32_t edge =
          index_of_rule_edge[static_cast<std::size_t>(rules.edges_of_srlg[i])];
      if (edge >= 0) {
        network.edges_of_srlg.push_back(edge);
      }
    }
    network.srlg_offsets[static_cast<std::size_t>(srlg)] =
        static_cast<std::uint32_t>(network.edges_of_srlg.size());
  }
  label_edges(network);
  return network;
}

// A basis of the labels of the failed edges, one word per leading bit.
using LabelBasis = std::array<std::uint64_t, 64>;

// Adds `label` to the basis; false when it was already in their span. O(64).
bool add_label(LabelBasis& basis, std::uint64_t label) {
  while (label != 0) {
    const int bit = 63 - std::countl_zero(label);
    if (basis[static_cast<std::size_t>(bit)] == 0) {
      basis[static_cast<std::size_t>(bit)] = label;
      return true;
    }
    label ^= basis[static_cast<std::size_t>(bit)];
  }
  return false;
}

// Depth first over the sets of failed SRLGs in ascending ids, as far as `max_size`. A set
// that disconnects goes to `found(set)` and is not extended: its supersets disconnect
// too. The workspace is made once; a set costs O(listings of its last SRLG x 64) while the
// labels stay independent, plus O(V + E) for a union-find when they do not.
class FailureSearch {
 public:
  FailureSearch(const FailureNetwork& network, std::int32_t srlg_count, std::int32_t max_size)
      : network_(network),
        srlg_count_(srlg_count),
        max_size_(max_size),
        failed_listings_(network.ends.size(), 0),
        bases_(static_cast<std::size_t>(max_size) + 1, LabelBasis{}),
        sets_(network.node_count) {}

  template <typename Found>
  void run(Found&& found) {
    if (max_size_ > 0) {
      extend(1, found);
    }
  }

  std::uint64_t sets_checked() const { return sets_checked_; }
  const std::vector<std::int32_t>& chosen() const { return chosen_; }

  // Whether the network is connected with the chosen SRLGs but `skipped` failed (0: all).
  bool connected_without(std::int32_t skipped) {
    if (skipped != 0) {
      change(skipped, -1);
    }
    sets_.reset_all();
    for (std::size_t edge = 0; edge < network_.ends.size(); ++edge) {
      if (failed_listings_[edge] == 0) {
        sets_.unite(network_.ends[edge].first, network_.ends[edge].second);
      }
    }
    if (skipped != 0) {
      change(skipped, +1);
    }
    if (network_.terminal_nodes.empty()) {
      return sets_.is_connected();
    }
    const std::int32_t piece = sets_.find(network_.terminal_nodes.front());
    for (const std::int32_t node : network_.terminal_nodes) {
      if (sets_.find(node) != piece) {
        return false;
      }
    }
    return true;
  }

  // After connected_without(0) found the network cut: the vertices off its largest piece,
  // or the terminals off the piece that holds most of them.
  std::vector<std::int32_t> cut_off_vertices() {
    if (!network_.terminals.empty()) {
      return cut_off_terminals();
    }
    const std::size_t nodes = static_cast<std::size_t>(network_.node_count) + 1;
    std::vector<std::int32_t> piece_size(nodes, 0);
    for (const std::int32_t node : network_.node_of_vertex) {
      ++piece_size[static_cast<std::size_t>(sets_.find(node))];
    }
    std::int32_t rest = 0;
    for (const std::int32_t node : network_.node_of_vertex) {
      const std::int32_t root = sets_.find(node);
      if (rest == 0 ||
          piece_size[static_cast<std::size_t>(root)] > piece_size[static_cast<std::size_t>(rest)]) {
        rest = root;
      }
    }
    std::vector<std::int32_t> cut_off;
    for (std::int32_t vertex = 1; vertex <= network_.vertex_count; ++vertex) {
      if (sets_.find(network_.node_of_vertex[static_cast<std::size_t>(vertex - 1)]) != rest) {
        cut_off.push_back(vertex);
      }
    }
    return cut_off;
  }

 private:
  std::vector<std::int32_t> cut_off_terminals() {
    std::vector<std::int32_t> held(static_cast<std::size_t>(network_.node_count) + 1, 0);
    std::int32_t rest = 0;
    for (const std::int32_t terminal : network_.terminals) {
      const std::int32_t root =
          sets_.find(network_.node_of_vertex[static_cast<std::size_t>(terminal - 1)]);
      ++held[static_cast<std::size_t>(root)];
    }
    for (const std::int32_t terminal : network_.terminals) {
      const std::int32_t root =
          sets_.find(network_.node_of_vertex[static_cast<std::size_t>(terminal - 1)]);
      if (rest == 0 ||
          held[static_cast<std::size_t>(root)] > held[static_cast<std::size_t>(rest)]) {
        rest = root;
      }
    }
    std::vector<std::int32_t> cut_off;
    for (const std::int32_t terminal : network_.terminals) {
      if (sets_.find(network_.node_of_vertex[static_cast<std::size_t>(terminal - 1)]) != rest) {
        cut_off.push_back(terminal);
      }
    }
    std::sort(cut_off.begin(), cut_off.end());
    return cut_off;
  }

  // Fails (+1) or restores (-1) the listings of `srlg`.
  void change(std::int32_t srlg, std::int32_t step) {
    for (std::uint32_t i = network_.srlg_offsets[static_cast<std::size_t>(srlg - 1)];
         i < network_.srlg_offsets[static_cast<std::size_t>(srlg)]; ++i) {
      failed_listings_[static_cast<std::size_t>(network_.edges_of_srlg[i])] += step;
    }
  }

  template <typename Found>
  void extend(std::int32_t first_srlg, Found& found) {
    const std::size_t depth = chosen_.size();
    for (std::int32_t srlg = first_srlg; srlg <= srlg_count_; ++srlg) {
      ++sets_checked_;
      LabelBasis& basis = bases_[depth + 1];
      basis = bases_[depth];
      bool independent = true;
      for (std::uint32_t i = network_.srlg_offsets[static_cast<std::size_t>(srlg - 1)];
           i < network_.srlg_offsets[static_cast<std::size_t>(srlg)]; ++i) {
        const std::size_t edge = static_cast<std::size_t>(network_.edges_of_srlg[i]);
        if (failed_listings_[edge]++ == 0) {
          independent = add_label(basis, network_.labels[edge]) && independent;
        }
      }
      chosen_.push_back(srlg);
      if (!independent && !connected_without(0)) {
        found(*this);
      } else if (static_cast<std::int32_t>(depth) + 1 < max_size_) {
        extend(srlg + 1, found);
      }
      chosen_.pop_back();
      change(srlg, -1);
    }
  }

  const FailureNetwork& network_;
  std::int32_t srlg_count_;
  std::int32_t max_size_;
  std::vector<std::int32_t> failed_listings_;  // by edge: listings of failed SRLGs
  std::vector<LabelBasis> bases_;              // by depth
  std::vector<std::int32_t> chosen_;
  DisjointSets sets_;
  std::uint64_t sets_checked_ = 0;
};

std::string work_refusal(std::int32_t srlg_count, std::int32_t max_size, double sets) {
  char text[256];
  std::snprintf(text, sizeof text,
                "the sets of at most %d of the %d SRLGs number %.3g; checking them could take "
                "about %.0f s, and at most %.3g sets are checked",
                max_size, srlg_count, sets, sets / kFailureSetsPerSecond, kMostFailureSetsChecked);
  return text;
}

// C(n, k) exactly while it fits, as the refusal above keeps the counts far below 2^64.
std::uint64_t choose(std::int64_t n, std::int64_t k) {
  if (k < 0 || k > n) {
    return 0;
  }
  std::uint64_t value = 1;
  for (std::int64_t i = 1; i <= k; ++i) {
    value = value * static_cast<std::uint64_t>(n - k + i) / static_cast<std::uint64_t>(i);
  }
  return value;
}

}  // namespace

double failure_sets_to_check(std::int32_t srlg_count, std::int32_t max_size) {
  double total = 0.0;
  double term = 1.0;  // C(S, d), built up from d = 0
  for (std::int32_t d = 1; d <= std::min(max_size, srlg_count); ++d) {
    term = term * static_cast<double>(srlg_count - d + 1) / d;
    total += term;
  }
  return total;
}

std::int32_t quick_tail_depth(std::int32_t srlg_count) {
  std::int32_t depth = 0;
  while (depth < srlg_count && failure_sets_to_check(srlg_count, depth + 1) <= kQuickTailSets) {
    ++depth;
  }
  return depth;
}

int find_minimal_cut_sets(const NetworkInstance& instance, std::int32_t max_size,
                          MinimalCutSets& result, std::string& failure,
                          const std::vector<std::int32_t>& terminals) {
  result = {};
  result.srlg_count = std::max<std::int32_t>(instance.srlg_count, 0);
  result.vertex_count = std::max<std::int32_t>(instance.vertex_count, 0);
  result.max_size = std::min(std::max<std::int32_t>(max_size, 0), result.srlg_count);
  const double work = failure_sets_to_check(result.srlg_count, result.max_size);
  if (work > kMostFailureSetsChecked) {
    failure = work_refusal(result.srlg_count, result.max_size, work);
    return 1;
  }
  // Every vertex a terminal is the all-terminal search, and gives its sets exactly.
  const bool terminal_set = !all_vertices_are_terminals(terminals, instance.vertex_count);
  const FailureNetwork network =
      build_failure_network(instance, terminal_set ? terminals : std::vector<std::int32_t>{});
  if (!network.connected_when_all_up) {
    failure = std::string(terminal_set ? "the terminals are" : "the network is") +
              " not connected even with every SRLG up, so every set of SRLGs cuts it "
              "and only the empty set is minimal";
    return 1;
  }
  result.count_by_size.assign(static_cast<std::size_t>(result.max_size) + 1, 0);
  FailureSearch search(network, result.srlg_count, result.max_size);
  search.run([&](FailureSearch& found) {
    const std::vector<std::int32_t>& chosen = found.chosen();
    // The set without its last SRLG was connected, or it would not have been extended;
    // each other SRLG is left out in turn.
    for (std::size_t i = 0; i + 1 < chosen.size(); ++i) {
      if (!found.connected_without(chosen[i])) {
        return;
      }
    }
    found.connected_without(0);
    result.sets.push_back({chosen, found.cut_off_vertices()});
    ++result.count_by_size[chosen.size()];
  });
  std::stable_sort(result.sets.begin(), result.sets.end(),
                   [](const MinimalCutSet& a, const MinimalCutSet& b) {
                     return a.srlgs.size() < b.srlgs.size();
                   });
  result.sets_checked = search.sets_checked();
  return 0;
}

int count_failure_shares(const NetworkInstance& instance, std::int32_t max_size,
                         FailureShares& result, std::string& failure) {
  result = {};
  result.srlg_count = std::max<std::int32_t>(instance.srlg_count, 0);
  const std::int32_t srlg_count = result.srlg_count;
  const std::int32_t largest = std::min(std::max<std::int32_t>(max_size, 0), srlg_count);
  const double work = failure_sets_to_check(srlg_count, largest);
  if (work > kMostFailureSetsChecked) {
    failure = work_refusal(srlg_count, largest, work);
    return 1;
  }
  result.sets.resize(static_cast<std::size_t>(largest) + 1);
  for (std::int32_t d = 0; d <= largest; ++d) {
    result.sets[static_cast<std::size_t>(d)] = choose(srlg_count, d);
  }
  const FailureNetwork network = build_failure_network(instance, {});
  if (!network.connected_when_all_up) {
    result.disconnecting = result.sets;
    return 0;
  }
  result.disconnecting.assign(static_cast<std::size_t>(largest) + 1, 0);
  FailureSearch search(network, srlg_count, largest);
  search.run([&](FailureSearch& found) {
    // Every superset by SRLGs after the last one chosen disconnects too, and is reached
    // from no other disconnecting set: its first disconnecting prefix is this one.
    const std::int32_t size = static_cast<std::int32_t>(found.chosen().size());
    const std::int32_t later = srlg_count - found.chosen().back();
    for (std::int32_t more = 0; size + more <= largest; ++more) {
      result.disconnecting[static_cast<std::size_t>(size + more)] += choose(later, more);
    }
  });
  result.sets_checked = search.sets_checked();
  return 0;
}

}  // namespace varnak
