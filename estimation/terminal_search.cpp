#include "estimation/terminal_search.hpp"

#include <algorithm>
#include <numeric>
#include <utility>

namespace varnak {

TerminalSearch::TerminalSearch(const TerminalPlan& plan)
    : plan_(plan),
      parent_(static_cast<std::size_t>(plan.vertex_count)),
      size_(static_cast<std::size_t>(plan.vertex_count)),
      terminals_(static_cast<std::size_t>(plan.vertex_count)),
      missing_(plan.needed.size()) {}

std::int32_t TerminalSearch::find(std::int32_t vertex) {
  // Path halving: every other vertex on the way up skips to its grandparent.
  while (parent_[static_cast<std::size_t>(vertex)] != vertex) {
    std::int32_t& parent = parent_[static_cast<std::size_t>(vertex)];
    parent = parent_[static_cast<std::size_t>(parent)];
    vertex = parent;
  }
  return vertex;
}

std::int32_t TerminalSearch::follow(const std::int32_t* order, WideCount* pair_gains) {
  std::iota(parent_.begin(), parent_.end(), 0);
  std::fill(size_.begin(), size_.end(), 1);
  std::copy(plan_.terminal_weight.begin(), plan_.terminal_weight.end(), terminals_.begin());
  std::copy(plan_.needed.begin(), plan_.needed.end(), missing_.begin());
  std::int64_t pieces = plan_.terminal_pieces;
  if (pieces == 1) {
    return 0;
  }
  for (std::int32_t position = 0; position < plan_.srlg_count; ++position) {
    const std::int32_t srlg = order[position];
    const std::uint32_t end = plan_.srlg_offsets[static_cast<std::size_t>(srlg)];
    for (std::uint32_t i = plan_.srlg_offsets[static_cast<std::size_t>(srlg) - 1]; i < end; ++i) {
      const std::size_t edge = static_cast<std::size_t>(plan_.edges_of_srlg[i]);
      if (--missing_[edge] != 0) {
        continue;
      }
      std::int32_t u = find(plan_.first_end[edge]);
      std::int32_t v = find(plan_.second_end[edge]);
      if (u == v) {
        continue;
      }
      if (size_[static_cast<std::size_t>(u)] < size_[static_cast<std::size_t>(v)]) {
        std::swap(u, v);
      }
      const std::int64_t a = terminals_[static_cast<std::size_t>(u)];
      const std::int64_t b = terminals_[static_cast<std::size_t>(v)];
      parent_[static_cast<std::size_t>(v)] = u;
      size_[static_cast<std::size_t>(u)] += size_[static_cast<std::size_t>(v)];
      terminals_[static_cast<std::size_t>(u)] = a + b;
      if (a != 0 && b != 0) {
        --pieces;
        if (pair_gains != nullptr) {
          pair_gains[position] += static_cast<WideCount>(a) * static_cast<WideCount>(b);
        }
      }
    }
    if (pieces == 1) {
      return position;
    }
  }
  return plan_.srlg_count;
}

}  // namespace varnak
