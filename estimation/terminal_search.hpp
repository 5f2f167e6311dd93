#pragma once

#include <cstdint>
#include <vector>

#include "common/wide_count.hpp"
#include "instance/terminal_plan.hpp"

namespace varnak {

// Brings the SRLGs of one order after another up, one at a time, on vertex sets with
// terminal counts. Owns its working arrays, allocated once; a sample allocates nothing.
class TerminalSearch {
 public:
  explicit TerminalSearch(const TerminalPlan& plan);

  // The first position at which all terminals lie in one piece, or SRLGNUM when they
  // never do. With `pair_gains` (SRLGNUM entries), adds at each position the terminal
  // pairs that its SRLG joins: a merge of pieces holding a and b terminals joins a*b. Once
  // the terminals are in one piece no merge joins more, so the walk stops there either
  // way. O(V + L α(V)) per order for V merged vertices and L listings.
  std::int32_t follow(const std::int32_t* order, WideCount* pair_gains);

 private:
  std::int32_t find(std::int32_t vertex);

  const TerminalPlan& plan_;
  std::vector<std::int32_t> parent_;
  std::vector<std::int32_t> size_;
  std::vector<std::int64_t> terminals_;  // by root: the terminals of its piece
  std::vector<std::int32_t> missing_;    // by edge: listings still to come up
};

}  // namespace varnak
