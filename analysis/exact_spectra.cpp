#include "analysis/exact_spectra.hpp"

#include <algorithm>
#include <bit>
#include <limits>
#include <numeric>
#include <utility>

#include "analysis/binomials.hpp"
#include "analysis/diagram_counts.hpp"
#include "analysis/diagram_network.hpp"
#include "common/disjoint_sets.hpp"
#include "common/memory_budget.hpp"
#include "instance/edge_rules.hpp"
#include "instance/terminal_plan.hpp"
#include "instance/terminal_set.hpp"

namespace varnak {
namespace {

// Vertex sets whose unions can be taken back in reverse order: union by size without
// path compression, so every find is O(log V) and undoing a union is O(1). Each set
// counts its terminals (by default every vertex is one), so that the sets know how many
// pieces hold terminals and how many terminal pairs they join.
class UndoableSets {
 public:
  // `weights`: terminals at each vertex, index 0 unused; empty: one at each vertex.
  // `lone_pieces`: terminals that no edge reaches, each a piece for good.
  UndoableSets(std::int32_t vertex_count, const std::vector<std::int64_t>& weights,
               std::int64_t lone_pieces)
      : parent_(static_cast<std::size_t>(vertex_count) + 1),
        size_(static_cast<std::size_t>(vertex_count) + 1, 1),
        terminals_(weights.empty() ? std::vector<std::int64_t>(parent_.size(), 1) : weights),
        terminal_pieces_(lone_pieces) {
    std::iota(parent_.begin(), parent_.end(), 0);
    terminals_[0] = 0;
    // A vertex that holds several terminals (vertices merged along free edges) has their
    // pairs joined from the start.
    for (const std::int64_t weight : terminals_) {
      terminal_pieces_ += weight > 0 ? 1 : 0;
      joined_pairs_ +=
          static_cast<std::uint64_t>(weight) * static_cast<std::uint64_t>(weight - 1) / 2;
    }
  }

  void unite(std::int32_t u, std::int32_t v) {
    std::int32_t root_u = find(u);
    std::int32_t root_v = find(v);
    if (root_u == root_v) {
      return;
    }
    if (size_[root_u] < size_[root_v]) {
      std::swap(root_u, root_v);
    }
    parent_[root_v] = root_u;
    size_[root_u] += size_[root_v];
    count_join(terminals_[root_u], terminals_[root_v], -1);
    terminals_[root_u] += terminals_[root_v];
    joined_roots_.push_back(root_v);
  }

  std::size_t mark() const { return joined_roots_.size(); }

  // Takes back every union made since `mark`, newest first.
  void undo_to(std::size_t mark) {
    while (joined_roots_.size() > mark) {
      const std::int32_t root_v = joined_roots_.back();
      joined_roots_.pop_back();
      const std::int32_t root_u = parent_[root_v];
      size_[root_u] -= size_[root_v];
      terminals_[root_u] -= terminals_[root_v];
      count_join(terminals_[root_u], terminals_[root_v], +1);
      parent_[root_v] = root_v;
    }
  }

  // All terminals in one piece; with no terminals at all, never.
  bool is_connected() const { return terminal_pieces_ == 1; }
  std::uint64_t joined_pairs() const { return joined_pairs_; }

 private:
  std::int32_t find(std::int32_t vertex) const {
    while (parent_[vertex] != vertex) {
      vertex = parent_[vertex];
    }
    return vertex;
  }

  // A join of pieces with a and b terminals (change -1), or its undoing (+1).
  void count_join(std::int64_t a, std::int64_t b, std::int64_t change) {
    if (a > 0 && b > 0) {
      terminal_pieces_ += change;
      const std::uint64_t pairs = static_cast<std::uint64_t>(a) * static_cast<std::uint64_t>(b);
      joined_pairs_ = change < 0 ? joined_pairs_ + pairs : joined_pairs_ - pairs;
    }
  }

  std::vector<std::int32_t> parent_;
  std::vector<std::int32_t> size_;
  std::vector<std::int64_t> terminals_;
  std::int64_t terminal_pieces_;
  std::uint64_t joined_pairs_ = 0;
  std::vector<std::int32_t> joined_roots_;
};

// The graph of the free edges and of the edges that the SRLGs not yet ruled out can still
// bring up, with the one question the search asks of it: are two vertices joined? Up to
// 64 vertices each vertex keeps its neighbours as one bit mask, and a search is a few
// word operations per vertex reached; beyond that, neighbour lists are searched.
class PossibleGraph {
 public:
  explicit PossibleGraph(const EdgeRules& network)
      : vertex_count_(network.vertex_count),
        ends_(network.ends),
        use_masks_(network.vertex_count <= 64),
        present_(network.ends.size(), true) {
    const std::size_t slots = static_cast<std::size_t>(vertex_count_) + 1;
    if (use_masks_) {
      neighbour_masks_.assign(slots, 0);
      parallel_.assign(slots * slots, 0);
    } else {
      neighbours_.resize(slots);
      seen_.assign(slots, 0);
    }
    for (std::size_t edge = 0; edge < ends_.size(); ++edge) {
      add(ends_[edge], static_cast<std::int32_t>(edge));
    }
    for (const EdgeEnds& ends : network.free_edges) {
      add(ends, kFreeEdge);
    }
  }

  void drop(std::int32_t edge) {
    present_[static_cast<std::size_t>(edge)] = false;
    if (use_masks_) {
      change_parallel(ends_[static_cast<std::size_t>(edge)], -1);
    }
  }

  void restore(std::int32_t edge) {
    present_[static_cast<std::size_t>(edge)] = true;
    if (use_masks_) {
      change_parallel(ends_[static_cast<std::size_t>(edge)], +1);
    }
  }

  // Whether all vertices are in one piece. One search from vertex 1, O(V + E).
  bool connected() {
    if (vertex_count_ <= 0) {
      return false;
    }
    if (use_masks_) {
      const std::uint64_t all =
          vertex_count_ == 64 ? ~std::uint64_t{0} : bit(vertex_count_ + 1) - 1;
      return reached_by_masks(1, 0) == all;
    }
    joined_by_lists(1, 0);  // vertex 0 is nobody's neighbour: the search covers the piece
    return queue_.size() == static_cast<std::size_t>(vertex_count_);
  }

  // Whether every vertex of `targets` (at least one) lies in the piece of the first.
  bool targets_joined(const std::vector<std::int32_t>& targets) {
    if (use_masks_) {
      std::uint64_t wanted = 0;
      for (const std::int32_t target : targets) {
        wanted |= bit(target);
      }
      return (reached_by_masks(targets.front(), 0) & wanted) == wanted;
    }
    joined_by_lists(targets.front(), 0);
    for (const std::int32_t target : targets) {
      if (seen_[static_cast<std::size_t>(target)] != search_stamp_) {
        return false;
      }
    }
    return true;
  }

  // Breadth first from `from` until `to` turns up. O(V) word operations with masks,
  // O(V + E) with lists; usually far less, as the search stops at `to`.
  bool joined(std::int32_t from, std::int32_t to) {
    return use_masks_ ? joined_by_masks(from, to) : joined_by_lists(from, to);
  }

 private:
  static constexpr std::int32_t kFreeEdge = -1;

  static std::uint64_t bit(std::int32_t vertex) { return std::uint64_t{1} << (vertex - 1); }

  void add(const EdgeEnds& ends, std::int32_t edge) {
    if (use_masks_) {
      change_parallel(ends, +1);
    } else {
      neighbours_[static_cast<std::size_t>(ends.first)].push_back({ends.second, edge});
      neighbours_[static_cast<std::size_t>(ends.second)].push_back({ends.first, edge});
    }
  }

  // Keeps the mask bit of a pair set while any edge between the two is possible.
  void change_parallel(const EdgeEnds& ends, std::int32_t change) {
    const std::size_t slots = static_cast<std::size_t>(vertex_count_) + 1;
    const std::size_t u = static_cast<std::size_t>(ends.first);
    const std::size_t v = static_cast<std::size_t>(ends.second);
    std::int32_t& count = parallel_[std::min(u, v) * slots + std::max(u, v)];
    count += change;
    if (count == 0) {
      neighbour_masks_[u] &= ~bit(ends.second);
      neighbour_masks_[v] &= ~bit(ends.first);
    } else {
      neighbour_masks_[u] |= bit(ends.second);
      neighbour_masks_[v] |= bit(ends.first);
    }
  }

  bool joined_by_masks(std::int32_t from, std::int32_t to) const {
    return (reached_by_masks(from, bit(to)) & bit(to)) != 0;
  }

  // The vertices joined to `from`, as a mask; the search stops early once it reaches one
  // in `targets`.
  std::uint64_t reached_by_masks(std::int32_t from, std::uint64_t targets) const {
    std::uint64_t reached = bit(from);
    std::uint64_t frontier = reached;
    while (frontier != 0) {
      std::uint64_t next = 0;
      for (; frontier != 0; frontier &= frontier - 1) {
        next |= neighbour_masks_[static_cast<std::size_t>(std::countr_zero(frontier)) + 1];
      }
      next &= ~reached;
      reached |= next;
      if ((next & targets) != 0) {
        break;
      }
      frontier = next;
    }
    return reached;
  }

  bool joined_by_lists(std::int32_t from, std::int32_t to) {
    ++search_stamp_;
    queue_.clear();
    queue_.push_back(from);
    seen_[static_cast<std::size_t>(from)] = search_stamp_;
    for (std::size_t next = 0; next < queue_.size(); ++next) {
      for (const auto& [vertex, edge] : neighbours_[static_cast<std::size_t>(queue_[next])]) {
        if (seen_[static_cast<std::size_t>(vertex)] == search_stamp_ ||
            (edge != kFreeEdge && !present_[static_cast<std::size_t>(edge)])) {
          continue;
        }
        if (vertex == to) {
          return true;
        }
        seen_[static_cast<std::size_t>(vertex)] = search_stamp_;
        queue_.push_back(vertex);
      }
    }
    return false;
  }

  std::int32_t vertex_count_;
  const std::vector<EdgeEnds>& ends_;
  bool use_masks_;
  std::vector<bool> present_;  // by edge index
  // Masks: by vertex, bit v-1 for each neighbour v; by pair, the possible edges between.
  std::vector<std::uint64_t> neighbour_masks_;
  std::vector<std::int32_t> parallel_;
  // Lists: by vertex, (other end, edge index or kFreeEdge); a stamp per vertex per search.
  std::vector<std::vector<std::pair<std::int32_t, std::int32_t>>> neighbours_;
  std::vector<std::uint64_t> seen_;
  std::uint64_t search_stamp_ = 0;
  std::vector<std::int32_t> queue_;
};

// Depth-first search over the SRLGs in id order, deciding each in or out.
//
// A node is a decision on SRLGs 1..d with c of them in. Connectivity only grows as SRLGs
// come up, so once the chosen ones connect the network every one of the 2^(S-d)
// completions does: the node is recorded as (d, c) and its subtree is counted later with
// binomials instead of being walked. A node whose chosen and undecided SRLGs together
// cannot connect the network is dropped, as no completion of it connects.
//
// With terminals, "connect" means all terminals in one piece. With pairwise counting no
// branch is dropped for being unable to connect, since its pairs still count; every
// subset that does not connect is walked to its leaf, whose joined pairs are summed by
// subset size.
struct TerminalWeights {
  std::vector<std::int64_t> weights;  // by vertex, index 0 unused; empty: one each
  std::int64_t lone_pieces = 0;       // terminals that no edge reaches
  std::vector<std::int32_t> targets;  // vertices holding terminals; empty: every vertex
};

class SubsetSearch {
 public:
  SubsetSearch(const EdgeRules& network, const TerminalWeights& terminals, bool pairwise,
               const std::function<void()>& checkpoint)
      : network_(network),
        width_(static_cast<std::size_t>(network.srlg_count) + 1),
        terminals_(terminals),
        pairwise_(pairwise),
        sets_(network.vertex_count, terminals.weights, terminals.lone_pieces),
        possible_(network),
        missing_(network.needed),
        reachable_(network.needed.size(), 0),
        connected_nodes_(width_ * width_, 0),
        chosen_nodes_(static_cast<std::size_t>(network.srlg_count) * width_ * width_, 0),
        checkpoint_(checkpoint) {
    for (const EdgeEnds& ends : network.free_edges) {
      sets_.unite(ends.first, ends.second);
    }
    for (const std::int32_t edge : network.edges_of_srlg) {
      ++reachable_[static_cast<std::size_t>(edge)];
    }
    chosen_.reserve(width_);
    lost_edges_.reserve(network.needed.size());
    if (pairwise_) {
      leaf_pairs_.assign(width_, 0);
    }
  }

  void run() {
    if (!pairwise_ && !connectable()) {
      return;
    }
    if (sets_.is_connected()) {
      record(0);
      return;
    }
    descend(0);
  }

  // Nodes recorded connected, by (decided d, chosen c) at [d * width + c].
  const std::vector<std::uint64_t>& connected_nodes() const { return connected_nodes_; }
  // The same for the nodes whose chosen SRLGs include s, at [((s-1) * width + d) * width + c].
  const std::vector<std::uint64_t>& chosen_nodes() const { return chosen_nodes_; }
  // With pairwise counting, by subset size: the pairs joined, summed over the subsets
  // that do not connect.
  const std::vector<WideCount>& leaf_pairs() const { return leaf_pairs_; }

 private:
  // O(listings of the SRLG · log V) per node, plus a search of the possible graph for
  // each edge whose last chance goes when the SRLG is decided out.
  void descend(std::int32_t decided) {
    if (checkpoint_ && (++nodes_visited_ & kCheckpointMask) == 0) {
      checkpoint_();
    }
    if (decided == network_.srlg_count) {
      if (pairwise_) {
        leaf_pairs_[chosen_.size()] += sets_.joined_pairs();
      }
      return;
    }
    const std::int32_t srlg = decided + 1;
    const std::uint32_t first = network_.srlg_offsets[static_cast<std::size_t>(srlg) - 1];
    const std::uint32_t last = network_.srlg_offsets[static_cast<std::size_t>(srlg)];

    const std::size_t mark = sets_.mark();
    for (std::uint32_t i = first; i < last; ++i) {
      const std::size_t edge = static_cast<std::size_t>(network_.edges_of_srlg[i]);
      if (--missing_[edge] == 0) {
        sets_.unite(network_.ends[edge].first, network_.ends[edge].second);
      }
    }
    chosen_.push_back(srlg);
    if (sets_.is_connected()) {
      record(decided + 1);
    } else {
      descend(decided + 1);
    }
    chosen_.pop_back();
    for (std::uint32_t i = first; i < last; ++i) {
      ++missing_[static_cast<std::size_t>(network_.edges_of_srlg[i])];
    }
    sets_.undo_to(mark);

    const std::size_t lost_from = lost_edges_.size();
    for (std::uint32_t i = first; i < last; ++i) {
      const std::size_t edge = static_cast<std::size_t>(network_.edges_of_srlg[i]);
      if (--reachable_[edge] == network_.needed[edge] - 1) {
        lost_edges_.push_back(static_cast<std::int32_t>(edge));
        possible_.drop(static_cast<std::int32_t>(edge));
      }
    }
    if (pairwise_ || still_connectable_without(lost_from)) {
      descend(decided + 1);
    }
    lost_edges_.resize(lost_from);
    for (std::uint32_t i = first; i < last; ++i) {
      const std::size_t edge = static_cast<std::size_t>(network_.edges_of_srlg[i]);
      if (++reachable_[edge] == network_.needed[edge]) {
        possible_.restore(static_cast<std::int32_t>(edge));
      }
    }
  }

  // The possible graph (free edges and the edges that SRLGs not yet ruled out can bring
  // up) was connected before the edges from `lost_edges_[lost_from]` on dropped out of it.
  // It stays connected exactly when the ends of each lost edge are still joined: putting
  // back an edge between vertices already joined merges nothing.
  // With terminals, a lost edge whose ends are apart may still leave the terminals
  // together, and only a search from a terminal tells.
  bool still_connectable_without(std::size_t lost_from) {
    for (std::size_t i = lost_from; i < lost_edges_.size(); ++i) {
      const EdgeEnds& ends = network_.ends[static_cast<std::size_t>(lost_edges_[i])];
      if (!possible_.joined(ends.first, ends.second)) {
        return !terminals_.targets.empty() && possible_.targets_joined(terminals_.targets);
      }
    }
    return true;
  }

  bool connectable() {
    if (terminals_.lone_pieces > 0) {
      return false;
    }
    return terminals_.targets.empty() ? possible_.connected()
                                      : possible_.targets_joined(terminals_.targets);
  }

  void record(std::int32_t decided) {
    const std::size_t d = static_cast<std::size_t>(decided);
    const std::size_t c = chosen_.size();
    ++connected_nodes_[d * width_ + c];
    for (const std::int32_t srlg : chosen_) {
      ++chosen_nodes_[(static_cast<std::size_t>(srlg - 1) * width_ + d) * width_ + c];
    }
  }

  const EdgeRules& network_;
  std::size_t width_;
  const TerminalWeights terminals_;  // a copy: callers may pass a temporary
  bool pairwise_;
  UndoableSets sets_;
  PossibleGraph possible_;
  std::vector<std::int32_t> lost_edges_;  // a stack: each out-decision pushes, then pops
  std::vector<std::int32_t> missing_;     // by edge: listings by chosen SRLGs still needed
  std::vector<std::int32_t> reachable_;   // by edge: listings by SRLGs not ruled out
  std::vector<std::int32_t> chosen_;
  std::vector<std::uint64_t> connected_nodes_;
  std::vector<std::uint64_t> chosen_nodes_;
  std::vector<WideCount> leaf_pairs_;
  static constexpr std::uint64_t kCheckpointMask = 65535;
  const std::function<void()>& checkpoint_;
  std::uint64_t nodes_visited_ = 0;
};

bool free_edges_connect(std::int32_t vertex_count, const std::vector<EdgeEnds>& free_edges) {
  // Fewer free edges than a spanning tree needs: decided before allocating per vertex.
  if (vertex_count <= 0 || static_cast<std::int64_t>(free_edges.size()) < vertex_count - 1) {
    return false;
  }
  DisjointSets sets(vertex_count);
  for (const EdgeEnds& ends : free_edges) {
    sets.unite(ends.first, ends.second);
  }
  return sets.is_connected();
}

}  // namespace

// Only the free edges, never the tables per SRLG: the commands ask this before they check
// the SRLG count, which may be 2^31-1.
bool free_edges_connect(const NetworkInstance& instance) {
  return free_edges_connect(instance.vertex_count, free_edges_of(instance));
}

bool free_edges_connect_terminals(const NetworkInstance& instance,
                                  const std::vector<std::int32_t>& terminals) {
  if (all_vertices_are_terminals(terminals, instance.vertex_count)) {
    return free_edges_connect(instance);
  }
  return build_terminal_plan(instance, terminals).terminal_pieces == 1;
}

double free_pairs_share(const NetworkInstance& instance,
                        const std::vector<std::int32_t>& terminals) {
  const TerminalPlan plan = build_terminal_plan(instance, terminals);
  return plan.pairs == 0 ? 1.0 : wide_ratio(plan.free_pairs, plan.pairs);
}

const char* method_name(ExactMethod method) {
  switch (method) {
    case ExactMethod::kAuto:
      return "auto";
    case ExactMethod::kSubsets:
      return "subsets";
    case ExactMethod::kDiagram:
      return "diagram";
    case ExactMethod::kNone:
      break;
  }
  return "none";
}

namespace {

// The terminal plan's merged vertices, numbered from 1, as the rules the search reads;
// the free edges are merged already.
EdgeRules rules_of(const TerminalPlan& plan) {
  EdgeRules rules;
  rules.srlg_count = plan.srlg_count;
  rules.vertex_count = plan.vertex_count;
  for (std::size_t e = 0; e < plan.first_end.size(); ++e) {
    rules.ends.push_back({plan.first_end[e] + 1, plan.second_end[e] + 1});
  }
  rules.needed = plan.needed;
  rules.srlg_offsets = plan.srlg_offsets;
  rules.edges_of_srlg = plan.edges_of_srlg;
  return rules;
}

TerminalWeights weights_of(const TerminalPlan& plan) {
  TerminalWeights terminals;
  terminals.weights.assign(static_cast<std::size_t>(plan.vertex_count) + 1, 0);
  std::int64_t pieces = 0;
  for (std::int32_t v = 0; v < plan.vertex_count; ++v) {
    const std::int64_t weight = plan.terminal_weight[static_cast<std::size_t>(v)];
    terminals.weights[static_cast<std::size_t>(v) + 1] = weight;
    if (weight > 0) {
      terminals.targets.push_back(v + 1);
      ++pieces;
    }
  }
  terminals.lone_pieces = plan.terminal_pieces - pieces;
  return terminals;
}

// What the search found, by (decided, chosen) node and by subset size.
struct SearchCounts {
  std::vector<std::uint64_t> connected_nodes;
  std::vector<std::uint64_t> chosen_nodes;
  std::vector<WideCount> leaf_pairs;
};

void take_counts(const SubsetSearch& search, SearchCounts& counts) {
  counts.connected_nodes = search.connected_nodes();
  counts.chosen_nodes = search.chosen_nodes();
  counts.leaf_pairs = search.leaf_pairs();
}

// The network the decision diagram is built on: every vertex a terminal, or a terminal set's.
DiagramNetwork diagram_network_for(const NetworkInstance& instance, const EdgeRules& rules,
                                   const std::vector<std::int32_t>& terminals) {
  if (all_vertices_are_terminals(terminals, instance.vertex_count)) {
    return compile_diagram_network(rules);
  }
  return compile_terminal_diagram_network(build_terminal_plan(instance, terminals));
}

// The counts by size k = 0..S from the enumeration's recorded nodes. Entry 0 (the empty
// subset) is left at 0: `free_edges_connect` tells it. With terminals or pairwise
// connectivity, also sets result.free_edges_connect (the terminals in one piece with no
// SRLG up) and the pairwise fields.
void enumerate_subsets(const NetworkInstance& instance, const EdgeRules& rules,
                       const ExactOptions& options, SubsetCountsBySize& counts,
                       ExactSpectra& result) {
  const std::int32_t srlg_count = rules.srlg_count;
  const std::size_t n = static_cast<std::size_t>(srlg_count);
  const std::size_t width = n + 1;
  SearchCounts found{std::vector<std::uint64_t>(width * width, 0),
                     std::vector<std::uint64_t>(n * width * width, 0),
                     {}};
  std::uint64_t terminal_pairs = 0;
  std::uint64_t free_pairs = 0;
  const bool terminal_set = !all_vertices_are_terminals(options.terminals, instance.vertex_count);
  if (!terminal_set && !options.pairwise) {
    if (!too_few_edges_to_connect(rules)) {
      SubsetSearch search(rules, TerminalWeights{}, false, options.checkpoint);
      search.run();
      take_counts(search, found);
    }
  } else {
    const TerminalPlan plan = build_terminal_plan(
        instance, terminal_set ? options.terminals : std::vector<std::int32_t>{});
    const EdgeRules network = rules_of(plan);
    const TerminalWeights terminals = weights_of(plan);
    SubsetSearch search(network, terminals, options.pairwise, options.checkpoint);
    search.run();
    take_counts(search, found);
    result.free_edges_connect = plan.terminal_pieces == 1;
    terminal_pairs = plan.pairs;
    free_pairs = plan.free_pairs;
  }
  const std::vector<std::uint64_t>& connected_nodes = found.connected_nodes;
  const std::vector<std::uint64_t>& chosen_nodes = found.chosen_nodes;

  // A node (d, c) stands for all its completions: with r = S - d SRLGs undecided, C(r, t)
  // of them have size c + t; an SRLG it chose is in all of them, an undecided one in
  // C(r-1, t-1).
  const auto choose = binomials(srlg_count);
  const auto completions = [&](std::size_t r, std::int64_t t) -> std::uint64_t {
    return t < 0 || t > static_cast<std::int64_t>(r) ? 0 : choose[r][static_cast<std::size_t>(t)];
  };
  std::vector<std::uint64_t> connected(width, 0);
  std::vector<std::vector<std::uint64_t>> connected_with(n, std::vector<std::uint64_t>(width, 0));
  for (std::size_t d = 0; d <= n; ++d) {
    const std::size_t r = n - d;
    for (std::size_t c = 0; c <= d; ++c) {
      const std::uint64_t nodes = connected_nodes[d * width + c];
      for (std::size_t k = std::max<std::size_t>(c, 1); k <= c + r; ++k) {
        const std::int64_t t = static_cast<std::int64_t>(k - c);
        connected[k] += nodes * completions(r, t);
        for (std::size_t s = 0; s < n; ++s) {
          const std::uint64_t with_s =
              s < d ? chosen_nodes[(s * width + d) * width + c] * completions(r, t)
                    : nodes * completions(r - 1, t - 1);
          connected_with[s][k] += with_s;
        }
      }
    }
  }
  counts.connected.assign(connected.begin(), connected.end());
  counts.connected_with.resize(n);
  for (std::size_t s = 0; s < n; ++s) {
    counts.connected_with[s].assign(connected_with[s].begin(), connected_with[s].end());
  }

  if (options.pairwise) {
    result.pairwise = true;
    result.terminal_pairs = terminal_pairs;
    result.connected_pairs.assign(n, 0);
    for (std::size_t k = 1; k <= n; ++k) {
      WideCount pairs = found.leaf_pairs[k];
      for (std::size_t d = 0; d <= n; ++d) {
        for (std::size_t c = 0; c <= std::min(d, k); ++c) {
          pairs += static_cast<WideCount>(connected_nodes[d * width + c]) *
                   completions(n - d, static_cast<std::int64_t>(k - c)) * terminal_pairs;
        }
      }
      result.connected_pairs[k - 1] = pairs;
      const WideCount all = static_cast<WideCount>(choose[n][k]) * terminal_pairs;
      result.pairwise_shares.push_back(all == 0 ? 1.0 : wide_ratio(pairs, all));
    }
    result.pairwise_none_up = terminal_pairs == 0 ? 1.0 : wide_ratio(free_pairs, terminal_pairs);
  }
}
// Every subset connects (c = C(S, k), c_s = C(S-1, k-1)) or none does.
void trivial_counts(std::int32_t srlg_count, bool always, SubsetCountsBySize& counts) {
  const std::size_t n = static_cast<std::size_t>(srlg_count);
  counts.connected.assign(n + 1, ExactCount());
  counts.connected_with.assign(n, std::vector<ExactCount>(n + 1));
  if (!always) {
    return;
  }
  counts.connected = binomial_row(srlg_count);
  if (n > 0) {
    const std::vector<ExactCount> fewer = binomial_row(srlg_count - 1);
    for (std::size_t s = 0; s < n; ++s) {
      std::copy(fewer.begin(), fewer.end(), counts.connected_with[s].begin() + 1);
    }
  }
}

struct BuiltDiagram {
  FrontierPlan plan;
  SrlgDiagram diagram;
};

int build_for(const DiagramNetwork& network, const ExactOptions& options, MemoryMeter& meter,
              BuiltDiagram& built, DiagramSummary& summary, std::string& failure) {
  built.plan = plan_narrow_frontier(network);
  summary.frontier_width = built.plan.frontier_width;
  summary.most_remembered = built.plan.most_active;
  summary.levels = built.plan.level_count;
  DiagramLimits limits;
  limits.progress = options.progress;
  if (build_srlg_diagram(network, built.plan, limits, meter, built.diagram, failure) != 0) {
    return 1;
  }
  summary.nodes = built.diagram.node_count;
  summary.largest_level = built.diagram.largest_level;
  return 0;
}

std::uint64_t budget_of(const ExactOptions& options) {
  return options.memory_budget != 0 ? options.memory_budget : default_memory_budget();
}

// The results alone hold S x S BIM values, each a double and an exact count, whatever the
// method; counted before any work, so that a file's SRLGNUM cannot make a run allocate for
// minutes before it fails.
double result_table_bytes(std::int32_t srlg_count) {
  const double count = static_cast<double>(srlg_count);
  return count * count * static_cast<double>(sizeof(double) + sizeof(ExactCount));
}

}  // namespace

int compute_exact_spectra(const NetworkInstance& instance, const ExactOptions& options,
                          ExactSpectra& result, std::string& failure) {
  const std::int32_t srlg_count = std::max<std::int32_t>(instance.srlg_count, 0);
  const std::size_t n = static_cast<std::size_t>(srlg_count);
  const double needed = result_table_bytes(srlg_count);
  if (needed > static_cast<double>(budget_of(options))) {
    failure = std::to_string(srlg_count) + " SRLGs need " + describe_bytes(needed) +
              " for the exact result tables, more than the memory budget of " +
              describe_bytes(static_cast<double>(budget_of(options))) +
              "; use estimate for this network, or give more memory with --max-memory";
    return 1;
  }
  const EdgeRules rules = compile_edge_rules(instance);
  const DiagramNetwork network = diagram_network_for(instance, rules, options.terminals);
  if (options.pairwise && options.method == ExactMethod::kDiagram) {
    failure =
        "the decision diagram counts connected subsets, not connected pairs; pairwise "
        "connectivity needs the subset enumeration (method subsets or auto)";
    return 1;
  }
  const bool enumerate = options.pairwise || options.method == ExactMethod::kSubsets ||
                         (options.method == ExactMethod::kAuto && srlg_count <= kEnumerateUpTo &&
                          network.shape == DiagramNetwork::Shape::kNeedsDiagram);
  if (options.pairwise && srlg_count > kMaxExactPairwiseSrlgs) {
    failure = "exact pairwise connectivity handles at most " +
              std::to_string(kMaxExactPairwiseSrlgs) + " SRLGs; this instance has " +
              std::to_string(srlg_count) + " (use estimate instead)";
    return 1;
  }
  if (enumerate && srlg_count > kMaxExactSrlgs) {
    failure = "exact enumeration handles at most " + std::to_string(kMaxExactSrlgs) +
              " SRLGs; this instance has " + std::to_string(srlg_count) +
              (options.pairwise ? " (use estimate instead)"
                                : " (use the decision diagram, or estimate instead)");
    return 1;
  }

  result = ExactSpectra{};
  result.srlg_count = srlg_count;
  result.free_edges_connect = free_edges_connect_terminals(instance, options.terminals);
  SubsetCountsBySize counts;
  if (enumerate) {
    result.method = ExactMethod::kSubsets;
    enumerate_subsets(instance, rules, options, counts, result);
  } else if (network.shape != DiagramNetwork::Shape::kNeedsDiagram) {
    result.method = ExactMethod::kNone;
    trivial_counts(srlg_count, network.shape == DiagramNetwork::Shape::kAlwaysConnected, counts);
  } else {
    result.method = ExactMethod::kDiagram;
    MemoryMeter meter(budget_of(options));
    BuiltDiagram built;
    if (build_for(network, options, meter, built, result.diagram, failure) != 0 ||
        count_diagram_subsets(network, built.plan, built.diagram, meter, options.progress, counts,
                              failure) != 0) {
      return 1;
    }
    result.diagram.peak_bytes = meter.peak();
  }

  const std::vector<ExactCount> choose = binomial_row(srlg_count);
  result.connected_subsets.assign(counts.connected.begin() + 1, counts.connected.end());
  result.connected_subsets_with.resize(n);
  result.subsets.assign(choose.begin() + 1, choose.end());
  result.spectrum.resize(n);
  result.bim_spectra.assign(n, SpectraVector(n, 0.0));
  for (std::size_t k = 1; k <= n; ++k) {
    result.spectrum[k - 1] = ratio(counts.connected[k], choose[k]);
  }
  for (std::size_t s = 0; s < n; ++s) {
    const std::vector<ExactCount>& row = counts.connected_with[s];
    result.connected_subsets_with[s].assign(row.begin() + 1, row.end());
    for (std::size_t k = 1; k <= n; ++k) {
      result.bim_spectra[s][k - 1] = ratio(row[k], choose[k]);
    }
  }
  return 0;
}

int compute_exact_spectra(const NetworkInstance& instance, ExactSpectra& result,
                          std::string& failure) {
  return compute_exact_spectra(instance, ExactOptions{}, result, failure);
}

SpectraSummary summary_of_exact(ExactSpectra exact) {
  SpectraSummary summary;
  summary.srlg_count = exact.srlg_count;
  summary.none_up = exact.free_edges_connect ? 1.0 : 0.0;
  summary.spectrum = std::move(exact.spectrum);
  summary.bim_spectra = std::move(exact.bim_spectra);
  summary.exact = true;
  summary.exact_connected = std::move(exact.connected_subsets);
  summary.exact_connected_with = std::move(exact.connected_subsets_with);
  return summary;
}

int compute_srlg_reliability(const NetworkInstance& instance,
                             const std::vector<double>& up_probability, const ExactOptions& options,
                             SrlgReliability& result, std::string& failure) {
  const std::int32_t srlg_count = std::max<std::int32_t>(instance.srlg_count, 0);
  const DiagramNetwork network =
      diagram_network_for(instance, compile_edge_rules(instance), options.terminals);
  result = SrlgReliability{};
  if (network.shape != DiagramNetwork::Shape::kNeedsDiagram) {
    const double value = network.shape == DiagramNetwork::Shape::kAlwaysConnected ? 1.0 : 0.0;
    result.reliability = value;
    for (std::int32_t srlg = 1; srlg <= srlg_count; ++srlg) {
      SrlgImportance importance;
      importance.srlg = srlg;
      importance.reliability_up = value;
      importance.reliability_down = value;
      result.importances.push_back(importance);
    }
    return 0;
  }
  std::vector<double> by_id(static_cast<std::size_t>(srlg_count) + 1, 0.0);
  std::copy(up_probability.begin(), up_probability.end(), by_id.begin() + 1);
  MemoryMeter meter(budget_of(options));
  BuiltDiagram built;
  if (build_for(network, options, meter, built, result.diagram, failure) != 0 ||
      diagram_reliability(network, built.plan, built.diagram, by_id, meter, result.reliability,
                          result.importances, failure) != 0) {
    return 1;
  }
  result.method = ExactMethod::kDiagram;
  result.diagram.peak_bytes = meter.peak();
  // The passes sum products of probabilities in doubles, each level adding a product and a
  // sum to a node's value and the closing sums a few more, so each value in [0, 1] is off by
  // at most a few roundings a level; R with s up and with s down are both that close, and
  // the importance, their difference, twice that. The bound is generous by a wide margin.
  const double level_count = static_cast<double>(std::max<std::int32_t>(srlg_count, 1));
  result.error_bound = (16.0 * level_count + 128.0) * std::numeric_limits<double>::epsilon();
  for (SrlgImportance& importance : result.importances) {
    importance.interval = {std::max(0.0, importance.importance - result.error_bound),
                           std::min(1.0, importance.importance + result.error_bound)};
  }
  return 0;
}

}  // namespace varnak
