#include "analysis/srlg_diagram.hpp"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <memory>

#include "common/memory_budget.hpp"

namespace varnak {

std::uint64_t default_memory_budget() {
  // Half the memory a run may use, so that a diagram too large ends with the budget's message
  // rather than an allocation that fails half-way.
  return run_memory_limit().bytes / 2;
}

bool MemoryMeter::grant(std::uint64_t bytes) {
  if (bytes > budget_ || in_use_ > budget_ - bytes) {
    return false;
  }
  in_use_ += bytes;
  peak_ = std::max(peak_, in_use_);
  return true;
}

namespace {

enum class Outcome { kNext, kZero, kOne };

// A state keeps the piece of each frontier vertex in one byte.
constexpr std::int32_t kWidestFrontier = 255;

// The state and its transition, kept apart from the engine that builds the levels, so
// that either can change without the other.
//
// A state of level L is |F_L| bytes, the piece of each frontier vertex (in ascending
// vertex order, pieces numbered by first appearance, so that equal partitions give equal
// bytes); with a terminal set, one bit for each frontier vertex: 1 when its piece holds a
// terminal; then one bit for each active SRLG (ascending id): 1 when it is up.
//
// Without a terminal set every vertex counts: a piece that closes (no frontier vertex left
// in it) leaves the network apart unless it is the last. With one, a closing piece without
// a terminal is dropped, and one with a terminal decides: connected when it holds them all.
class ConnectivityRules {
 public:
  ConnectivityRules(const DiagramNetwork& network, const FrontierPlan& plan)
      : network_(network),
        plan_(plan),
        piece_(static_cast<std::size_t>(network.vertex_count), -1),
        renumbered_(static_cast<std::size_t>(network.vertex_count) + 1, -1),
        holds_terminal_(static_cast<std::size_t>(network.vertex_count) + 1, 1),
        value_(static_cast<std::size_t>(network.srlg_count) + 1, 0),
        terminal_set_(!network.terminal.empty()) {
    live_.reserve(piece_.size());
  }

  std::size_t state_bytes(std::int32_t level) const {
    if (level >= plan_.level_count) {
      return 0;
    }
    return frontier_size(level) + flag_bytes(level) + (active_size(level) + 7) / 8;
  }

  // The child of `state` (of level `level`) when the level's SRLG is up or down: written
  // to `child` in the next level's layout when it is a node. O(w + a + edges taken · w).
  Outcome child(std::int32_t level, const std::uint8_t* state, bool up, std::uint8_t* child) {
    const std::size_t l = static_cast<std::size_t>(level);
    live_.clear();
    const std::size_t width = frontier_size(level);
    const std::uint8_t* flags = state + width;
    for (std::size_t i = 0; i < width; ++i) {
      const std::int32_t vertex = plan_.frontier[plan_.frontier_offsets[l] + i];
      piece_[static_cast<std::size_t>(vertex)] = state[i];
      live_.push_back(vertex);
      if (terminal_set_) {
        holds_terminal_[state[i]] = (flags[i / 8] >> (i % 8)) & 1;
      }
    }
    const std::uint8_t* bits = flags + flag_bytes(level);
    for (std::size_t i = 0; i < active_size(level); ++i) {
      value_[static_cast<std::size_t>(plan_.active[plan_.active_offsets[l] + i])] =
          (bits[i / 8] >> (i % 8)) & 1;
    }
    value_[static_cast<std::size_t>(plan_.srlg_of_level[l])] = up ? 1 : 0;

    std::int32_t next_piece = static_cast<std::int32_t>(width);
    const std::int32_t from = plan_.first_position_of_level[l];
    const std::int32_t to = plan_.first_position_of_level[l + 1];
    for (std::int32_t position = from; position < to; ++position) {
      const std::size_t edge =
          static_cast<std::size_t>(plan_.edge_order[static_cast<std::size_t>(position)]);
      const auto [u, v] = network_.ends[edge];
      for (const std::int32_t end : {u, v}) {
        if (plan_.first_position[static_cast<std::size_t>(end)] == position) {
          if (terminal_set_) {
            holds_terminal_[static_cast<std::size_t>(next_piece)] =
                network_.terminal[static_cast<std::size_t>(end)];
          }
          piece_[static_cast<std::size_t>(end)] = next_piece++;
          live_.push_back(end);
        }
      }
      if (edge_is_up(edge)) {
        join(piece_[static_cast<std::size_t>(u)], piece_[static_cast<std::size_t>(v)]);
      }
      for (const std::int32_t end : {u, v}) {
        const std::int32_t piece = piece_[static_cast<std::size_t>(end)];
        if (plan_.last_position[static_cast<std::size_t>(end)] == position && !leave(end) &&
            holds_terminal_[static_cast<std::size_t>(piece)] != 0) {
          // Its piece has no vertex left with edges to come: closed for good, with every
          // terminal only if none is met later and no other piece holds one.
          return position >= plan_.terminals_seen_position && pieces_with_terminals() == 0
                     ? Outcome::kOne
                     : Outcome::kZero;
        }
      }
      if (position >= plan_.terminals_seen_position && pieces_with_terminals() == 1) {
        return Outcome::kOne;
      }
    }
    if (level + 1 >= plan_.level_count) {
      // Every edge is taken and every vertex has left: the cases above decided.
      assert(false && "the last level's children are terminals");
      return Outcome::kZero;
    }
    encode(level + 1, child);
    return Outcome::kNext;
  }

 private:
  std::size_t frontier_size(std::int32_t level) const {
    const std::size_t l = static_cast<std::size_t>(level);
    return plan_.frontier_offsets[l + 1] - plan_.frontier_offsets[l];
  }
  std::size_t active_size(std::int32_t level) const {
    const std::size_t l = static_cast<std::size_t>(level);
    return plan_.active_offsets[l + 1] - plan_.active_offsets[l];
  }

  bool edge_is_up(std::size_t edge) const {
    std::int32_t listings_up = 0;
    for (std::uint32_t i = network_.listing_offsets[edge]; i < network_.listing_offsets[edge + 1];
         ++i) {
      listings_up +=
          value_[static_cast<std::size_t>(network_.listing_srlg[i])] * network_.listing_times[i];
    }
    return listings_up >= network_.needed[edge];
  }

  std::size_t flag_bytes(std::int32_t level) const {
    return terminal_set_ ? (frontier_size(level) + 7) / 8 : 0;
  }

  void join(std::int32_t kept, std::int32_t merged) {
    if (kept == merged) {
      return;
    }
    holds_terminal_[static_cast<std::size_t>(kept)] |=
        holds_terminal_[static_cast<std::size_t>(merged)];
    for (const std::int32_t vertex : live_) {
      std::int32_t& piece = piece_[static_cast<std::size_t>(vertex)];
      piece = piece == merged ? kept : piece;
    }
  }

  // Takes `vertex` off the frontier; false when no frontier vertex shares its piece.
  bool leave(std::int32_t vertex) {
    const auto found = std::find(live_.begin(), live_.end(), vertex);
    *found = live_.back();
    live_.pop_back();
    const std::int32_t piece = piece_[static_cast<std::size_t>(vertex)];
    return std::any_of(live_.begin(), live_.end(), [&](std::int32_t other) {
      return piece_[static_cast<std::size_t>(other)] == piece;
    });
  }

  // The pieces on the frontier that hold a terminal, counted up to two: all that matters.
  // Without a terminal set every piece holds one.
  int pieces_with_terminals() const {
    std::int32_t first = -1;
    for (const std::int32_t vertex : live_) {
      const std::int32_t piece = piece_[static_cast<std::size_t>(vertex)];
      if (holds_terminal_[static_cast<std::size_t>(piece)] != 0 && piece != first) {
        if (first >= 0) {
          return 2;
        }
        first = piece;
      }
    }
    return first >= 0 ? 1 : 0;
  }

  void encode(std::int32_t level, std::uint8_t* state) {
    const std::size_t l = static_cast<std::size_t>(level);
    const std::size_t width = frontier_size(level);
    assert(live_.size() == width);
    std::int32_t pieces = 0;
    for (std::size_t i = 0; i < width; ++i) {
      const std::int32_t vertex = plan_.frontier[plan_.frontier_offsets[l] + i];
      std::int32_t& number =
          renumbered_[static_cast<std::size_t>(piece_[static_cast<std::size_t>(vertex)])];
      if (number < 0) {
        number = pieces++;
      }
      state[i] = static_cast<std::uint8_t>(number);
    }
    for (std::size_t i = 0; i < width; ++i) {
      const std::int32_t vertex = plan_.frontier[plan_.frontier_offsets[l] + i];
      renumbered_[static_cast<std::size_t>(piece_[static_cast<std::size_t>(vertex)])] = -1;
    }
    std::uint8_t* flags = state + width;
    std::fill(flags, flags + flag_bytes(level), 0);
    if (terminal_set_) {
      for (std::size_t i = 0; i < width; ++i) {
        const std::int32_t vertex = plan_.frontier[plan_.frontier_offsets[l] + i];
        flags[i / 8] = static_cast<std::uint8_t>(
            flags[i / 8] |
            (holds_terminal_[static_cast<std::size_t>(piece_[static_cast<std::size_t>(vertex)])]
             << (i % 8)));
      }
    }
    std::uint8_t* bits = flags + flag_bytes(level);
    std::fill(bits, bits + (active_size(level) + 7) / 8, 0);
    for (std::size_t i = 0; i < active_size(level); ++i) {
      bits[i / 8] = static_cast<std::uint8_t>(
          bits[i / 8] |
          (value_[static_cast<std::size_t>(plan_.active[plan_.active_offsets[l] + i])] << (i % 8)));
    }
  }

  const DiagramNetwork& network_;
  const FrontierPlan& plan_;
  std::vector<std::int32_t> piece_;           // by vertex, valid on the frontier
  std::vector<std::int32_t> renumbered_;      // by piece number: its number in the encoding
  std::vector<std::uint8_t> holds_terminal_;  // by piece number; all 1 without a terminal set
  std::vector<std::uint8_t> value_;           // by SRLG id, valid for the decided ones
  std::vector<std::int32_t> live_;            // the frontier as the edges are taken
  bool terminal_set_;
};

std::uint64_t hash_bytes(const std::uint8_t* bytes, std::size_t size) {
  std::uint64_t hash = 0x9E3779B97F4A7C15ull ^ size;
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    hash = (hash ^ word) * 0xBF58476D1CE4E5B9ull;
    hash ^= hash >> 29;
  }
  std::uint64_t tail = 0;
  std::memcpy(&tail, bytes + i, size - i);
  hash = (hash ^ tail) * 0x94D049BB133111EBull;
  return hash ^ (hash >> 31);
}

// The states of one level, packed one after another in one byte array, with an open
// addressing hash set of their numbers. About state_bytes + 12 bytes per state at a load
// of at most a half (4 bytes of hash, 8 of table slots).
class LevelStates {
 public:
  LevelStates(std::size_t state_bytes, MemoryMeter& meter)
      : state_bytes_(state_bytes), meter_(meter) {}
  LevelStates(const LevelStates&) = delete;
  LevelStates& operator=(const LevelStates&) = delete;
  ~LevelStates() { meter_.release(granted_); }

  std::size_t size() const { return hashes_.size(); }
  const std::uint8_t* state(std::size_t id) const { return arena_.data() + id * state_bytes_; }

  static constexpr std::uint32_t kRefused = 0xFFFFFFFFu;

  // The number of the state equal to `bytes`, added if new; kRefused when the meter
  // refused the room. Expected O(state bytes).
  std::uint32_t intern(const std::uint8_t* bytes) {
    const std::uint64_t hash = hash_bytes(bytes, state_bytes_);
    const std::uint32_t tag = static_cast<std::uint32_t>(hash >> 32);
    if ((size() + 1) * 2 > slots_.size() && !grow_table()) {
      return kRefused;
    }
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
      const std::uint32_t entry = slots_[slot];
      if (entry == 0) {
        if (size() >= kMostNodesInALevel || !make_room()) {
          return kRefused;
        }
        const std::uint32_t id = static_cast<std::uint32_t>(size());
        arena_.insert(arena_.end(), bytes, bytes + state_bytes_);
        hashes_.push_back(tag);
        slots_[slot] = id + 1;
        return id;
      }
      if (hashes_[entry - 1] == tag && std::memcmp(state(entry - 1), bytes, state_bytes_) == 0) {
        return entry - 1;
      }
    }
  }

  std::uint64_t bytes() const { return granted_; }

 private:
  // Grows a table to `capacity`, counting old and new buffers while both are held.
  template <typename Table>
  bool reserve(Table& table, std::size_t capacity) {
    const std::uint64_t old_bytes = table.capacity() * sizeof(typename Table::value_type);
    const std::uint64_t new_bytes = capacity * sizeof(typename Table::value_type);
    if (!meter_.grant(new_bytes)) {
      return false;
    }
    table.reserve(capacity);
    meter_.release(old_bytes);
    granted_ += new_bytes - old_bytes;
    return true;
  }

  bool make_room() {
    if (hashes_.size() == hashes_.capacity() &&
        !reserve(hashes_, std::max<std::size_t>(1024, hashes_.capacity() * 2))) {
      return false;
    }
    if (arena_.size() + state_bytes_ > arena_.capacity() &&
        !reserve(arena_, std::max<std::size_t>(1024 * std::max<std::size_t>(state_bytes_, 1),
                                               arena_.capacity() * 2))) {
      return false;
    }
    return true;
  }

  bool grow_table() {
    const std::size_t capacity = std::max<std::size_t>(2048, slots_.size() * 2);
    const std::uint64_t new_bytes = capacity * sizeof(std::uint32_t);
    if (!meter_.grant(new_bytes)) {
      return false;
    }
    std::vector<std::uint32_t> slots(capacity, 0);
    const std::size_t mask = capacity - 1;
    for (std::uint32_t id = 0; id < size(); ++id) {
      std::size_t slot = hash_bytes(state(id), state_bytes_) & mask;
      while (slots[slot] != 0) {
        slot = (slot + 1) & mask;
      }
      slots[slot] = id + 1;
    }
    const std::uint64_t old_bytes = slots_.size() * sizeof(std::uint32_t);
    slots_.swap(slots);
    slots.clear();
    slots.shrink_to_fit();
    meter_.release(old_bytes);
    granted_ += new_bytes - old_bytes;
    return true;
  }

  std::size_t state_bytes_;
  MemoryMeter& meter_;
  std::uint64_t granted_ = 0;
  std::vector<std::uint8_t> arena_;
  std::vector<std::uint32_t> hashes_;  // by state: the high half of its hash
  std::vector<std::uint32_t> slots_;   // 0 empty, else a state's number + 1
};

std::string budget_message(const MemoryMeter& meter, std::int32_t level, std::int32_t levels,
                           std::uint64_t states, std::uint64_t nodes) {
  return "the decision diagram outgrew the memory budget of " +
         describe_bytes(static_cast<double>(meter.budget())) + " at level " +
         std::to_string(level + 1) + " of " + std::to_string(levels) + " (" +
         std::to_string(states) + " states in that level, " + std::to_string(nodes) +
         " nodes in all); use estimate for this network, or give more memory with --max-memory";
}

}  // namespace

int build_srlg_diagram(const DiagramNetwork& network, const FrontierPlan& plan,
                       const DiagramLimits& limits, MemoryMeter& meter, SrlgDiagram& diagram,
                       std::string& failure) {
  diagram = SrlgDiagram{};
  const std::int32_t levels = plan.level_count;
  if (plan.frontier_width > kWidestFrontier) {
    failure = "the narrowest edge order found leaves " + std::to_string(plan.frontier_width) +
              " vertices on the frontier, more than the " + std::to_string(kWidestFrontier) +
              " a decision diagram state can hold; use estimate for this network";
    return 1;
  }
  diagram.children.resize(static_cast<std::size_t>(levels));
  ConnectivityRules rules(network, plan);
  std::vector<std::uint8_t> scratch(static_cast<std::size_t>(network.vertex_count) +
                                    static_cast<std::size_t>(network.srlg_count) / 8 + 8);
  std::uint64_t children_bytes = 0;
  const auto give_back_children = [&]() { meter.release(children_bytes); };

  auto current = std::make_unique<LevelStates>(rules.state_bytes(0), meter);
  if (levels > 0 && current->intern(scratch.data()) == LevelStates::kRefused) {
    failure = budget_message(meter, 0, levels, 0, 0);
    give_back_children();
    return 1;
  }
  diagram.node_count = levels > 0 ? 1 : 0;
  diagram.largest_level = diagram.node_count;
  DiagramProgress progress{0, levels, diagram.node_count, diagram.node_count, meter.in_use()};
  for (std::int32_t level = 0; level < levels; ++level) {
    const std::size_t count = current->size();
    const std::uint64_t bytes = 2 * count * sizeof(std::uint32_t);
    if (!meter.grant(bytes)) {
      failure = budget_message(meter, level, levels, count, diagram.node_count);
      give_back_children();
      return 1;
    }
    children_bytes += bytes;
    std::vector<std::uint32_t>& children = diagram.children[static_cast<std::size_t>(level)];
    children.resize(2 * count);
    auto next = std::make_unique<LevelStates>(rules.state_bytes(level + 1), meter);
    for (std::size_t node = 0; node < count; ++node) {
      for (const bool up : {false, true}) {
        std::uint32_t target = kToZero;
        switch (rules.child(level, current->state(node), up, scratch.data())) {
          case Outcome::kZero:
            break;
          case Outcome::kOne:
            target = kToOne;
            break;
          case Outcome::kNext:
            target = next->intern(scratch.data());
            if (target == LevelStates::kRefused) {
              failure = budget_message(meter, level + 1, levels, next->size(),
                                       diagram.node_count + next->size());
              give_back_children();
              return 1;
            }
            break;
        }
        children[2 * node + (up ? 1 : 0)] = target;
      }
      if (limits.progress && (node & 0xFFFF) == 0xFFFF) {
        progress = {level + 1, levels, next->size(), diagram.node_count + next->size(),
                    meter.in_use()};
        limits.progress(progress);
      }
    }
    diagram.node_count += next->size();
    diagram.largest_level = std::max<std::uint64_t>(diagram.largest_level, next->size());
    current = std::move(next);
    if (limits.progress) {
      progress = {level + 1, levels, current->size(), diagram.node_count, meter.in_use()};
      limits.progress(progress);
    }
  }
  current.reset();
  diagram.peak_bytes = meter.peak();
  // The children stay, and stay counted by the meter, for the counting that follows.
  return 0;
}

}  // namespace varnak
