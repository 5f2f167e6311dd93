#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "analysis/diagram_network.hpp"

namespace varnak {

// Where the diagram's building stands: level `level` (0-based) of `level_count` is being
// made from the states of the level above, and has `states` so far.
struct DiagramProgress {
  std::int32_t level = 0;
  std::int32_t level_count = 0;
  std::uint64_t states = 0;
  std::uint64_t nodes = 0;  // in all levels made so far, this one included
  std::uint64_t bytes = 0;  // memory held now
  // Once built, the diagram is counted in passes over its nodes: pass `pass` of `passes`
  // (1-based) is running; 0 while building.
  std::int32_t pass = 0;
  std::int32_t passes = 0;
};

struct DiagramLimits {
  // Called often (every level, and every 65536 states within one); may be empty.
  std::function<void(const DiagramProgress&)> progress;
};

// The bytes the diagram's big tables may take: half the memory a run may use
// (run_memory_limit: the machine's memory or, when smaller, the address-space limit).
std::uint64_t default_memory_budget();

// Tracks the bytes of the big tables against the budget: a table grows only after its
// growth was granted, so that a diagram that outgrows the budget ends cleanly instead of
// crashing or swapping.
class MemoryMeter {
 public:
  explicit MemoryMeter(std::uint64_t budget) : budget_(budget) {}
  [[nodiscard]] bool grant(std::uint64_t bytes);
  void release(std::uint64_t bytes) { in_use_ -= bytes; }
  std::uint64_t in_use() const { return in_use_; }
  std::uint64_t peak() const { return peak_; }
  std::uint64_t budget() const { return budget_; }

 private:
  std::uint64_t budget_;
  std::uint64_t in_use_ = 0;
  std::uint64_t peak_ = 0;
};

// A child that is no node: the network can no longer connect, or it is connected whatever
// the SRLGs still to decide.
inline constexpr std::uint32_t kToZero = 0xFFFFFFFFu;
inline constexpr std::uint32_t kToOne = 0xFFFFFFFEu;
inline constexpr std::uint32_t kMostNodesInALevel = 0xFFFFFFF0u;

// The reduced, ordered decision diagram over the SRLGs that list an edge: level L decides
// SRLG plan.srlg_of_level[L]; level 0 has one node, the root. Each node has two children,
// SRLG down ([2u]) and up ([2u+1]), each a node of the next level or kToZero / kToOne.
// A path from the root to kToOne is a set of SRLG values that connects the network; the
// levels it skips hold SRLGs whose values no longer matter.
struct SrlgDiagram {
  std::vector<std::vector<std::uint32_t>> children;  // by level
  std::uint64_t node_count = 0;
  std::uint64_t largest_level = 0;
  std::uint64_t peak_bytes = 0;  // of the building, as the meter counted it
};

// Builds the diagram top down by frontier-based search: the states of each level are
// made from those of the level above and equal states are merged (one hash set per
// level, states packed into one byte array). A state of level L takes w + ceil(a / 8)
// bytes for w frontier vertices and a active SRLGs, and the build costs
// O(w + a + edges taken) per child, plus hashing those bytes. Returns 0, or 1 with
// `failure` set when the meter refuses to grow a table (the budget is too small).
int build_srlg_diagram(const DiagramNetwork& network, const FrontierPlan& plan,
                       const DiagramLimits& limits, MemoryMeter& meter, SrlgDiagram& diagram,
                       std::string& failure);

}  // namespace varnak
