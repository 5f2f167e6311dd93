#include "estimation/cut_space.hpp"

#include <algorithm>
#include <bit>

#include "common/invariant.hpp"

namespace varnak {

std::optional<CutSpacePlan> build_cut_space_plan(const SamplingPlan& plan,
                                                 std::uint64_t most_bytes) {
  const std::size_t edge_count = plan.first_end.size();
  const std::size_t cycle_count = plan.non_tree_edges.size();
  const std::size_t words = std::max<std::size_t>(1, (cycle_count + 63) / 64);
  if (static_cast<double>(edge_count) * static_cast<double>(words) * 8.0 >
      static_cast<double>(most_bytes)) {
    return std::nullopt;
  }
  CutSpacePlan cut_space;
  cut_space.srlg_count = plan.srlg_count;
  cut_space.words = static_cast<std::int32_t>(words);
  cut_space.signatures.assign(edge_count * words, 0);

  std::vector<std::int32_t> depth(plan.tree_parent.size(), 0);
  for (std::size_t i = 1; i < plan.tree_order.size(); ++i) {
    const std::int32_t vertex = plan.tree_order[i];
    depth[vertex] = depth[plan.tree_parent[vertex]] + 1;
  }
  for (std::size_t bit = 0; bit < cycle_count; ++bit) {
    const std::uint64_t mask = std::uint64_t{1} << (bit % 64);
    const std::int32_t cycle_edge = plan.non_tree_edges[bit];
    cut_space.signatures[static_cast<std::size_t>(cycle_edge) * words + bit / 64] |= mask;
    std::int32_t u = plan.first_end[cycle_edge];
    std::int32_t v = plan.second_end[cycle_edge];
    while (u != v) {
      if (depth[u] < depth[v]) {
        std::swap(u, v);
      }
      cut_space.signatures[static_cast<std::size_t>(plan.tree_edge[u]) * words + bit / 64] |= mask;
      u = plan.tree_parent[u];
    }
  }

  // The listings of each SRLG, from the plan's edges.
  std::vector<std::vector<std::pair<std::int32_t, std::int32_t>>> by_srlg(
      static_cast<std::size_t>(plan.srlg_count) + 1);
  const std::size_t singles = static_cast<std::size_t>(plan.single_listing_edges);
  for (std::size_t e = 0; e < singles; ++e) {
    by_srlg[plan.single_srlg[e]].emplace_back(static_cast<std::int32_t>(e), -1);
  }
  for (std::size_t e = singles; e < edge_count; ++e) {
    const std::size_t index = e - singles;
    const std::int32_t counter = static_cast<std::int32_t>(cut_space.needed.size());
    cut_space.needed.push_back(plan.needed[index]);
    cut_space.listings.push_back(
        static_cast<std::int32_t>(plan.srlg_offsets[index + 1] - plan.srlg_offsets[index]));
    for (std::uint32_t k = plan.srlg_offsets[index]; k < plan.srlg_offsets[index + 1]; ++k) {
      by_srlg[plan.edge_srlgs[k]].emplace_back(static_cast<std::int32_t>(e), counter);
    }
  }
  cut_space.listing_offsets.push_back(0);
  for (std::int32_t srlg = 1; srlg <= plan.srlg_count; ++srlg) {
    for (const auto& [edge, counter] : by_srlg[srlg]) {
      cut_space.listing_edges.push_back(edge);
      cut_space.listing_counters.push_back(counter);
    }
    cut_space.listing_offsets.push_back(static_cast<std::uint32_t>(cut_space.listing_edges.size()));
  }
  return cut_space;
}

CutSpaceFinder::CutSpaceFinder(const CutSpacePlan& plan)
    : plan_(plan),
      basis_(static_cast<std::size_t>(plan.words) * 64 * static_cast<std::size_t>(plan.words), 0),
      has_pivot_(static_cast<std::size_t>(plan.words) * 64, false),
      listings_up_(plan.listings),
      vector_(static_cast<std::size_t>(plan.words), 0) {
  pivots_used_.reserve(has_pivot_.size());
  counters_used_.reserve(plan.listings.size());
}

bool CutSpaceFinder::add_to_basis(std::int32_t edge) {
  const std::size_t words = static_cast<std::size_t>(plan_.words);
  std::copy_n(&plan_.signatures[static_cast<std::size_t>(edge) * words], words, vector_.begin());
  for (std::size_t word = 0; word < words;) {
    if (vector_[word] == 0) {
      ++word;
      continue;
    }
    const std::size_t pivot = word * 64 + static_cast<std::size_t>(std::countr_zero(vector_[word]));
    std::uint64_t* row = &basis_[pivot * words];
    if (!has_pivot_[pivot]) {
      std::copy(vector_.begin(), vector_.end(), row);
      has_pivot_[pivot] = true;
      pivots_used_.push_back(static_cast<std::int32_t>(pivot));
      return true;
    }
    // Rows are stored whole; the words below the pivot's are zero in both.
    for (std::size_t k = word; k < words; ++k) {
      vector_[k] ^= row[k];
    }
  }
  return false;
}

void CutSpaceFinder::clear() {
  for (const std::int32_t pivot : pivots_used_) {
    has_pivot_[static_cast<std::size_t>(pivot)] = false;
  }
  pivots_used_.clear();
  for (const std::int32_t counter : counters_used_) {
    listings_up_[static_cast<std::size_t>(counter)] =
        plan_.listings[static_cast<std::size_t>(counter)];
  }
  counters_used_.clear();
}

template <typename SrlgAt>
std::int32_t CutSpaceFinder::search(SrlgAt srlg_at) {
  for (std::int32_t position = plan_.srlg_count - 1; position >= 0; --position) {
    const std::int32_t srlg = srlg_at(position);
    const std::uint32_t end = plan_.listing_offsets[srlg];
    for (std::uint32_t index = plan_.listing_offsets[srlg - 1]; index < end; ++index) {
      const std::int32_t counter = plan_.listing_counters[index];
      if (counter >= 0) {
        std::int32_t& up = listings_up_[static_cast<std::size_t>(counter)];
        if (up == plan_.listings[static_cast<std::size_t>(counter)]) {
          counters_used_.push_back(counter);
        }
        // The edge goes down when its listings still up fall below those it needs.
        if (--up != plan_.needed[static_cast<std::size_t>(counter)] - 1) {
          continue;
        }
      }
      if (!add_to_basis(plan_.listing_edges[index])) {
        clear();
        return position;
      }
    }
  }
  broken_invariant(
      "the backward search found no first UP position, yet with every joining edge "
      "down the merged vertices are apart");
}

std::int32_t CutSpaceFinder::first_up_position(const std::int32_t* order) {
  return search([order](std::int32_t position) { return order[position]; });
}

std::int32_t CutSpaceFinder::first_up_position(const std::int32_t* start_order,
                                               const std::uint16_t* relative,
                                               std::int32_t* real_order) {
  return search([=](std::int32_t position) {
    return real_order[position] = start_order[relative[position]];
  });
}

std::int32_t CutSpaceFinder::first_up_position(const std::int32_t* start_order,
                                               const std::uint32_t* relative,
                                               std::int32_t* real_order) {
  return search([=](std::int32_t position) {
    return real_order[position] = start_order[relative[position]];
  });
}

}  // namespace varnak
