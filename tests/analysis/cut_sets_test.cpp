#include "analysis/cut_sets.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <string>
#include <vector>

#include "tests/analysis/grid_network.hpp"
#include "tests/analysis/subset_brute_force.hpp"
#include "tests/support/instance_generator.hpp"

namespace varnak {
namespace {

struct NamedInstance {
  std::string name;
  NetworkInstance instance;
};

// Small instances with free edges, SRLGs that share edges, members listed twice, edges
// that never come up, and some networks that are not connected even with every SRLG up.
std::vector<NamedInstance> small_instances() {
  std::vector<NamedInstance> instances = {
      {"grid", analysis_networks::grid_2x3()},
      {"worked ring", analysis_networks::worked_ring()},
  };
  for (std::uint64_t seed = 1; seed <= 6; ++seed) {
    instances.push_back({"ring network " + std::to_string(seed),
                         test_networks::make_ring_network({9, 16, 8, 0.15, 0.4, 3, 1}, seed)});
  }
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    instances.push_back(
        {"awkward network " + std::to_string(seed), test_networks::make_awkward_network(seed)});
  }
  return instances;
}

// The failed SRLGs as a bit set (bit s-1 for SRLG s).
std::size_t failed_bits(const std::vector<std::int32_t>& srlgs) {
  std::size_t bits = 0;
  for (const std::int32_t srlg : srlgs) {
    bits |= std::size_t{1} << (srlg - 1);
  }
  return bits;
}

TEST(CutSets, MatchBruteForceOverAllSmallSets) {
  int connected_instances = 0;
  int refused_instances = 0;
  for (const NamedInstance& named : small_instances()) {
    SCOPED_TRACE(named.name);
    const std::int32_t srlg_count = named.instance.srlg_count;
    const std::vector<bool> connected = brute_force::connected_subsets(named.instance);
    const std::size_t all = connected.size() - 1;
    const auto cuts = [&](std::size_t failed) { return !connected[all ^ failed]; };
    for (const std::int32_t max_size : {1, 2, 3, srlg_count}) {
      SCOPED_TRACE(max_size);
      MinimalCutSets result;
      std::string failure;
      const int code = find_minimal_cut_sets(named.instance, max_size, result, failure);
      if (cuts(0)) {
        EXPECT_EQ(code, 1);
        EXPECT_NE(failure.find("not connected even with every SRLG up"), std::string::npos);
        refused_instances += max_size == 1;
        continue;
      }
      connected_instances += max_size == 1;
      ASSERT_EQ(code, 0) << failure;
      std::vector<std::size_t> expected;
      for (std::size_t failed = 1; failed <= all; ++failed) {
        if (std::popcount(failed) > max_size || !cuts(failed)) {
          continue;
        }
        bool minimal = true;
        for (std::size_t bit = 1; bit <= failed; bit <<= 1) {
          minimal = minimal && ((failed & bit) == 0 || !cuts(failed ^ bit));
        }
        if (minimal) {
          expected.push_back(failed);
        }
      }
      std::vector<std::size_t> found;
      std::vector<std::uint64_t> by_size(static_cast<std::size_t>(result.max_size) + 1, 0);
      std::size_t previous_size = 0;
      for (const MinimalCutSet& set : result.sets) {
        found.push_back(failed_bits(set.srlgs));
        EXPECT_GE(set.srlgs.size(), previous_size) << "sets are listed by size";
        previous_size = set.srlgs.size();
        ++by_size[set.srlgs.size()];
        // The cut-off vertices are exactly those outside the largest piece.
        const std::vector<std::int32_t> pieces =
            brute_force::pieces_with(named.instance, all ^ failed_bits(set.srlgs));
        std::vector<std::int32_t> piece_size(pieces.size(), 0);
        for (std::size_t vertex = 1; vertex < pieces.size(); ++vertex) {
          ++piece_size[static_cast<std::size_t>(pieces[vertex])];
        }
        std::int32_t rest = 0;
        for (std::size_t vertex = 1; vertex < pieces.size(); ++vertex) {
          if (rest == 0 || piece_size[static_cast<std::size_t>(pieces[vertex])] >
                               piece_size[static_cast<std::size_t>(rest)]) {
            rest = pieces[vertex];
          }
        }
        std::vector<std::int32_t> cut_off;
        for (std::size_t vertex = 1; vertex < pieces.size(); ++vertex) {
          if (pieces[vertex] != rest) {
            cut_off.push_back(static_cast<std::int32_t>(vertex));
          }
        }
        EXPECT_EQ(set.cut_off, cut_off);
        EXPECT_FALSE(set.cut_off.empty());
      }
      std::sort(found.begin(), found.end());
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(found, expected);
      EXPECT_EQ(result.count_by_size, by_size);
    }
  }
  // Both kinds were met, so neither branch above went untested.
  EXPECT_GE(connected_instances, 8);
  EXPECT_GE(refused_instances, 3);
}

TEST(FailureShares, MatchBruteForceOverAllSmallSets) {
  for (const NamedInstance& named : small_instances()) {
    SCOPED_TRACE(named.name);
    const std::int32_t srlg_count = named.instance.srlg_count;
    const std::vector<bool> connected = brute_force::connected_subsets(named.instance);
    const std::size_t all = connected.size() - 1;
    std::vector<std::uint64_t> disconnecting(static_cast<std::size_t>(srlg_count) + 1, 0);
    std::vector<std::uint64_t> sets(static_cast<std::size_t>(srlg_count) + 1, 0);
    for (std::size_t failed = 0; failed <= all; ++failed) {
      const std::size_t size = static_cast<std::size_t>(std::popcount(failed));
      ++sets[size];
      disconnecting[size] += connected[all ^ failed] ? 0 : 1;
    }
    for (const std::int32_t max_size : {0, 2, srlg_count}) {
      SCOPED_TRACE(max_size);
      FailureShares shares;
      std::string failure;
      ASSERT_EQ(count_failure_shares(named.instance, max_size, shares, failure), 0) << failure;
      const std::size_t kept = static_cast<std::size_t>(std::min(max_size, srlg_count)) + 1;
      EXPECT_EQ(shares.disconnecting,
                std::vector<std::uint64_t>(disconnecting.begin(), disconnecting.begin() + kept));
      EXPECT_EQ(shares.sets, std::vector<std::uint64_t>(sets.begin(), sets.begin() + kept));
    }
  }
}

TEST(CutSets, RefuseWorkBeyondTheLimitWithAnEstimate) {
  const NetworkInstance large = test_networks::make_ring_network(test_networks::large_shape(), 1);
  EXPECT_LT(failure_sets_to_check(400, 3), kMostFailureSetsChecked);
  EXPECT_GT(failure_sets_to_check(400, 4), kMostFailureSetsChecked);
  MinimalCutSets cuts;
  std::string failure;
  EXPECT_EQ(find_minimal_cut_sets(large, 4, cuts, failure), 1);
  EXPECT_NE(failure.find("the sets of at most 4 of the 400 SRLGs number 1.06e+09"),
            std::string::npos)
      << failure;
  FailureShares shares;
  EXPECT_EQ(count_failure_shares(large, 5, shares, failure), 1);
}

// 1 ---e1--- 2 ---e2--- 3 ---e3--- 4      SRLG 1 = {e1}, SRLG 2 = {e2, e3}
//
// A path: each SRLG alone cuts it, and neither pair is minimal.
TEST(CutSets, CutOffVerticesAreThoseOffTheLargestPiece) {
  NetworkInstance path;
  path.vertex_count = 4;
  path.edge_count = 3;
  path.srlg_count = 2;
  path.edges = {{1, {1, 2}}, {2, {2, 3}}, {3, {3, 4}}};
  path.srlgs = {{1, {1}}, {2, {2, 3}}};
  path.edge_srlg_count = {{1, 1}, {2, 1}, {3, 1}};
  MinimalCutSets cuts;
  std::string failure;
  ASSERT_EQ(find_minimal_cut_sets(path, 2, cuts, failure), 0) << failure;
  ASSERT_EQ(cuts.sets.size(), 2u);
  // SRLG 1 leaves {1} and {2, 3, 4}; SRLG 2 leaves {1, 2}, {3} and {4}.
  EXPECT_EQ(cuts.sets[0].srlgs, std::vector<std::int32_t>{1});
  EXPECT_EQ(cuts.sets[0].cut_off, std::vector<std::int32_t>{1});
  EXPECT_EQ(cuts.sets[1].srlgs, std::vector<std::int32_t>{2});
  EXPECT_EQ(cuts.sets[1].cut_off, (std::vector<std::int32_t>{3, 4}));
  EXPECT_EQ(cuts.count_by_size, (std::vector<std::uint64_t>{0, 2, 0}));
}

}  // namespace
}  // namespace varnak
