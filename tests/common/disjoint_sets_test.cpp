#include "common/disjoint_sets.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace varnak {
namespace {

TEST(DisjointSets, ConnectedMeansExactlyOneSet) {
  EXPECT_FALSE(DisjointSets(0).is_connected());
  EXPECT_TRUE(DisjointSets(1).is_connected());
  EXPECT_FALSE(DisjointSets(2).is_connected());
}

TEST(DisjointSets, JoinsOnlyWhatIsApart) {
  DisjointSets sets(4);
  EXPECT_FALSE(sets.unite(0, 0));  // an edge without an E line joins nothing
  EXPECT_FALSE(sets.unite(2, 2));
  EXPECT_TRUE(sets.unite(1, 2));
  EXPECT_FALSE(sets.unite(2, 1));
  EXPECT_TRUE(sets.unite(3, 4));
  EXPECT_EQ(sets.set_count(), 2);
  EXPECT_FALSE(sets.is_connected());
  EXPECT_TRUE(sets.unite(4, 1));
  EXPECT_TRUE(sets.is_connected());
}

TEST(DisjointSets, AnIsolatedVertexKeepsTheNetworkApart) {
  DisjointSets sets(5);
  for (std::int32_t vertex = 1; vertex < 4; ++vertex) {
    sets.unite(vertex, vertex + 1);
  }
  EXPECT_EQ(sets.set_count(), 2);
  EXPECT_FALSE(sets.is_connected());
}

TEST(DisjointSets, ResetAndCopyStartAfresh) {
  DisjointSets snapshot(3);
  snapshot.unite(1, 2);
  DisjointSets sets(3);
  sets.unite(2, 3);
  sets.unite(1, 3);
  ASSERT_TRUE(sets.is_connected());
  sets = snapshot;
  EXPECT_EQ(sets.set_count(), 2);
  EXPECT_FALSE(sets.unite(1, 2));
  EXPECT_TRUE(sets.unite(3, 1));
  sets.reset_all();
  EXPECT_EQ(sets.set_count(), 3);
  EXPECT_TRUE(sets.unite(1, 2));
}

}  // namespace
}  // namespace varnak
