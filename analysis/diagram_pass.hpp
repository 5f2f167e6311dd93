#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "analysis/srlg_diagram.hpp"

namespace varnak {

// A table whose bytes the meter granted, given back when it goes. Its values start
// undefined: the passes write every one they read, and the first touch of a page is all
// the clearing a fresh table would cost.
template <typename Value>
class MeteredTable {
 public:
  explicit MeteredTable(MemoryMeter& meter) : meter_(meter) {}
  MeteredTable(const MeteredTable&) = delete;
  MeteredTable& operator=(const MeteredTable&) = delete;
  ~MeteredTable() { meter_.release(granted_); }

  [[nodiscard]] bool allocate(std::size_t size) {
    const std::uint64_t bytes = std::max<std::size_t>(size, 1) * sizeof(Value);
    if (!meter_.grant(bytes)) {
      return false;
    }
    values_.reset(new Value[std::max<std::size_t>(size, 1)]);
    granted_ = bytes;
    return true;
  }
  Value* data() { return values_.get(); }
  Value& operator[](std::size_t i) { return values_[i]; }
  void swap(MeteredTable& other) {
    values_.swap(other.values_);
    std::swap(granted_, other.granted_);
  }

 private:
  MemoryMeter& meter_;
  std::uint64_t granted_ = 0;
  std::unique_ptr<Value[]> values_;
};

// The index of each level's first node among the nodes of all levels, and the node count.
inline std::vector<std::uint64_t> level_offsets(const SrlgDiagram& diagram) {
  std::vector<std::uint64_t> offsets(diagram.children.size() + 1, 0);
  for (std::size_t level = 0; level < diagram.children.size(); ++level) {
    offsets[level + 1] = offsets[level] + diagram.children[level].size() / 2;
  }
  return offsets;
}

// What the forward pass has summed over one level, by lane: over its nodes u, F(u) times
// the value from each child to the terminal, and F(u) weighted along each edge that
// reaches kToOne (the paths that connect at this level).
template <typename Value>
struct LevelSums {
  const Value* through_up;
  const Value* through_down;  // nullptr unless the semiring asks for it
  const Value* connected_here;
};

// The backward and the forward pass over a decision diagram, apart from what they sum.
// The sums are those of a commutative semiring, given by `Semiring`:
//   Value, add(a, b), mul(a, b), one(), with Value{} its zero;
//   lanes(): how many evaluations run side by side (Value by lane in every table);
//   at(level): the weights of that level's edges, whose down(lane, v) and up(lane, v)
//     give v carried along the down and the up edge;
//   terminal(level): by lane, the value of reaching kToOne from a node of `level`, which
//     stands for every value of the SRLGs still undecided;
//   kSumsDown: whether the forward pass also sums F(u) · B(down child).
// The backward pass gives each node u its value to the terminal, B(u) = down(B(down
// child)) + up(B(up child)); the forward pass each node its value from the root, F, and
// hands each level's sums to the caller. A child kToZero adds nothing: its terms are left
// out rather than added as zeros.
template <typename Semiring>
class DiagramPass {
 public:
  using Value = typename Semiring::Value;

  DiagramPass(const SrlgDiagram& diagram, MemoryMeter& meter)
      : diagram_(diagram),
        offsets_(level_offsets(diagram)),
        to_terminal_(meter),
        from_root_(meter),
        from_root_next_(meter) {}

  // Tables for up to `most_lanes` lanes: a value per node of all levels and two per node
  // of the largest level, for each lane.
  [[nodiscard]] bool allocate(std::size_t most_lanes) {
    return to_terminal_.allocate(offsets_.back() * most_lanes) &&
           from_root_.allocate(diagram_.largest_level * most_lanes) &&
           from_root_next_.allocate(diagram_.largest_level * most_lanes);
  }

  // B, level by level from the bottom. The semiring and the lanes are copied to locals:
  // the compiler would otherwise load them again after every store to a table of values.
  // O(nodes · lanes).
  void backward(const Semiring& semiring) {
    const Semiring ring = semiring;
    const std::size_t lanes = ring.lanes();
    for (std::size_t level = levels(); level-- > 0;) {
      const auto weights = ring.at(level);
      const Value* const to_one = ring.terminal(level);
      const std::vector<std::uint32_t>& children = diagram_.children[level];
      for (std::size_t node = 0; node < children.size() / 2; ++node) {
        Value* out = to_terminal_.data() + (offsets_[level] + node) * lanes;
        const Value* down = to_terminal(level, children[2 * node], to_one, lanes);
        const Value* up = to_terminal(level, children[2 * node + 1], to_one, lanes);
        if (up == nullptr) {
          for (std::size_t l = 0; l < lanes; ++l) {
            out[l] = down != nullptr ? weights.down(l, down[l]) : Value{};
          }
        } else if (down == nullptr) {
          for (std::size_t l = 0; l < lanes; ++l) {
            out[l] = weights.up(l, up[l]);
          }
        } else {
          for (std::size_t l = 0; l < lanes; ++l) {
            out[l] = ring.add(weights.down(l, down[l]), weights.up(l, up[l]));
          }
        }
      }
    }
  }

  // B(root) by lane, once backward has run.
  const Value* root() { return to_terminal_.data(); }

  // F from the top: F(root) = one, and each node adds F(u) carried along its edge to
  // the child's. Calls at_level(level, sums) after each level; the sums are valid until
  // it returns. Needs backward's values. O(nodes · lanes).
  template <typename AtLevel>
  void forward(const Semiring& semiring, AtLevel&& at_level) {
    const Semiring ring = semiring;
    const std::size_t lanes = ring.lanes();
    through_up_.resize(lanes);
    through_down_.resize(lanes);
    connected_here_.resize(lanes);
    for (std::size_t l = 0; l < lanes; ++l) {
      from_root_[l] = ring.one();
    }
    for (std::size_t level = 0; level < levels(); ++level) {
      const auto weights = ring.at(level);
      const Value* const to_one = ring.terminal(level);
      const std::vector<std::uint32_t>& children = diagram_.children[level];
      const std::size_t next_count =
          level + 1 < levels() ? diagram_.children[level + 1].size() / 2 : 0;
      std::fill(from_root_next_.data(), from_root_next_.data() + next_count * lanes, Value{});
      std::fill(through_up_.begin(), through_up_.end(), Value{});
      std::fill(through_down_.begin(), through_down_.end(), Value{});
      std::fill(connected_here_.begin(), connected_here_.end(), Value{});
      Value* through_up = through_up_.data();
      Value* through_down = through_down_.data();
      Value* connected_here = connected_here_.data();
      for (std::size_t node = 0; node < children.size() / 2; ++node) {
        const Value* from = from_root_.data() + node * lanes;
        const std::uint32_t down = children[2 * node];
        const std::uint32_t up = children[2 * node + 1];
        if (down != kToZero) {
          Value* to = down == kToOne ? connected_here : from_root_next_.data() + down * lanes;
          if constexpr (Semiring::kSumsDown) {
            const Value* beyond = to_terminal(level, down, to_one, lanes);
            for (std::size_t l = 0; l < lanes; ++l) {
              through_down[l] = ring.add(through_down[l], ring.mul(from[l], beyond[l]));
            }
          }
          for (std::size_t l = 0; l < lanes; ++l) {
            to[l] = ring.add(to[l], weights.down(l, from[l]));
          }
        }
        if (up != kToZero) {
          const Value* beyond = to_terminal(level, up, to_one, lanes);
          Value* to = up == kToOne ? connected_here : from_root_next_.data() + up * lanes;
          for (std::size_t l = 0; l < lanes; ++l) {
            through_up[l] = ring.add(through_up[l], ring.mul(from[l], beyond[l]));
            to[l] = ring.add(to[l], weights.up(l, from[l]));
          }
        }
      }
      const LevelSums<Value> sums{through_up, Semiring::kSumsDown ? through_down : nullptr,
                                  connected_here};
      at_level(level, sums);
      from_root_.swap(from_root_next_);
    }
  }

 private:
  std::size_t levels() const { return diagram_.children.size(); }

  // B of a child of a node of `level`, by lane: a node's from the table, `to_one` for
  // kToOne, nullptr for kToZero.
  const Value* to_terminal(std::size_t level, std::uint32_t child, const Value* to_one,
                           std::size_t lanes) {
    if (child == kToZero) {
      return nullptr;
    }
    if (child == kToOne) {
      return to_one;
    }
    return to_terminal_.data() + (offsets_[level + 1] + child) * lanes;
  }

  const SrlgDiagram& diagram_;
  const std::vector<std::uint64_t> offsets_;
  MeteredTable<Value> to_terminal_;  // by node (all levels) and lane
  MeteredTable<Value> from_root_;    // by node of the current level and lane
  MeteredTable<Value> from_root_next_;
  std::vector<Value> through_up_;  // by lane: the level's sums
  std::vector<Value> through_down_;
  std::vector<Value> connected_here_;
};

}  // namespace varnak
