#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "common/disjoint_sets.hpp"
#include "estimation/cut_space.hpp"
#include "estimation/order_sampler.hpp"
#include "estimation/sampling_plan.hpp"
#include "tests/support/instance_generator.hpp"

namespace varnak {
namespace {

// The first UP position by brute force: bring the SRLGs up one by one and test the whole
// network after each, by the rule that an edge is up once all its listings are.
std::int32_t first_up_by_brute_force(const NetworkInstance& instance,
                                     const std::vector<std::int32_t>& order) {
  std::map<std::int32_t, std::int32_t> listings_up;
  for (std::size_t position = 0; position < order.size(); ++position) {
    for (const std::int32_t edge : instance.srlgs.count(order[position]) != 0
                                       ? instance.srlgs.at(order[position])
                                       : std::vector<std::int32_t>{}) {
      ++listings_up[edge];
    }
    DisjointSets sets(instance.vertex_count);
    for (const auto& [edge, ends] : instance.edges) {
      const std::int32_t memberships = srlg_memberships(instance, edge);
      const bool free = memberships == 0 && edge >= 1 && edge <= instance.edge_count;
      if (free || (memberships > 0 && listings_up[edge] >= memberships)) {
        sets.unite(ends.first, ends.second);
      }
    }
    if (sets.is_connected()) {
      return static_cast<std::int32_t>(position);
    }
  }
  return -1;
}

// Both searches, forward from the degree bound and backward through the cut space, give
// the first UP position of every order, whether it is given whole or as a start order
// permuted by relative positions of either width: the forward search reads the positions
// as ids with the listings renamed by the start order, the backward search composes the
// order from its first UP position to the end, which is what the tallies read.
TEST(FirstUpSearch, ForwardAndBackwardAgreeWithBruteForce) {
  std::vector<NetworkInstance> instances;
  for (std::uint64_t seed = 1; seed <= 300; ++seed) {
    instances.push_back(test_networks::make_awkward_network(seed));
  }
  for (std::uint64_t seed = 1; seed <= 3; ++seed) {
    instances.push_back(test_networks::make_ring_network({30, 50, 20, 0.2, 0.3, 4, 3}, seed));
    instances.push_back(test_networks::make_ring_network({12, 40, 30, 0.0, 0.5, 6, 5}, seed));
  }
  int searched = 0;
  for (std::size_t i = 0; i < instances.size(); ++i) {
    SCOPED_TRACE(i);
    const NetworkInstance& instance = instances[i];
    const SamplingPlan plan = build_sampling_plan(instance);
    if (plan.never_up || plan.always_up) {
      continue;
    }
    const std::optional<CutSpacePlan> cut_space = build_cut_space_plan(plan, 1 << 20);
    ASSERT_TRUE(cut_space.has_value());
    FirstUpFinder forward(plan);
    CutSpaceFinder backward(*cut_space);
    const OrderSampler sampler(instance.srlg_count);
    RandomSource random(static_cast<std::int32_t>(i + 1));
    const std::size_t width = static_cast<std::size_t>(instance.srlg_count);
    std::vector<std::int32_t> order(width);
    std::iota(order.begin(), order.end(), 1);
    std::vector<std::int32_t> start_order(width);
    std::vector<std::int32_t> position_in_start(width + 1);
    std::vector<std::uint16_t> narrow(width);
    std::vector<std::uint32_t> wide(width);
    std::vector<std::int32_t> composed(width);
    RenamedListings renamed;
    for (int sample = 0; sample < 20; ++sample) {
      start_order = order;
      sampler.reshuffle(random, order.data());
      const std::int32_t expected = first_up_by_brute_force(instance, order);
      ASSERT_EQ(forward.first_up_position(order.data()), expected) << "sample " << sample;
      ASSERT_EQ(backward.first_up_position(order.data()), expected) << "sample " << sample;

      for (std::size_t k = 0; k < width; ++k) {
        position_in_start[static_cast<std::size_t>(start_order[k])] = static_cast<std::int32_t>(k);
      }
      for (std::size_t p = 0; p < width; ++p) {
        wide[p] = static_cast<std::uint32_t>(position_in_start[static_cast<std::size_t>(order[p])]);
        narrow[p] = static_cast<std::uint16_t>(wide[p]);
      }
      std::vector<std::int32_t> new_id(width + 1, 0);
      for (std::size_t k = 0; k < width; ++k) {
        new_id[static_cast<std::size_t>(start_order[k])] = static_cast<std::int32_t>(k) + 1;
      }
      rename_listings(plan, new_id, renamed);
      ASSERT_EQ(forward.first_up_position(narrow.data(), renamed), expected);
      ASSERT_EQ(forward.first_up_position(wide.data(), renamed), expected);
      std::fill(composed.begin(), composed.end(), 0);
      ASSERT_EQ(backward.first_up_position(start_order.data(), narrow.data(), composed.data()),
                expected);
      ASSERT_TRUE(std::equal(order.begin() + expected, order.end(), composed.begin() + expected));
      std::fill(composed.begin(), composed.end(), 0);
      ASSERT_EQ(backward.first_up_position(start_order.data(), wide.data(), composed.data()),
                expected);
      ASSERT_TRUE(std::equal(order.begin() + expected, order.end(), composed.begin() + expected));
      ++searched;
    }
  }
  EXPECT_GT(searched, 500);  // the generators give enough networks that connect late
}

TEST(FirstUpSearch, CutSpaceStaysWithinItsMemory) {
  const SamplingPlan plan =
      build_sampling_plan(test_networks::make_ring_network(test_networks::large_shape(), 1));
  EXPECT_FALSE(build_cut_space_plan(plan, 1024).has_value());
  EXPECT_TRUE(build_cut_space_plan(plan, 1 << 24).has_value());
}

}  // namespace
}  // namespace varnak
