#include "estimation/random_source.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace varnak {
namespace {

TEST(RandomSource, EngineGivesTheStandardCheckValue) {
  std::mt19937_64 engine;  // default seed 5489, as a seeded source with 5489 uses
  RandomSource random(5489);
  std::uint64_t value = 0;
  for (int draw = 0; draw < 10000; ++draw) {
    value = random.next_u64();
    ASSERT_EQ(value, engine());
  }
  EXPECT_EQ(value, 9981545732273789042ULL);
}

TEST(RandomSource, BlockEngineMatchesTheStandardEngine) {
  for (const std::uint64_t seed : {0ULL, 1ULL, 42ULL, 4294967295ULL, 18446744073709551615ULL}) {
    SCOPED_TRACE(seed);
    Mt19937_64 engine(seed);
    std::mt19937_64 standard(seed);
    for (int draw = 0; draw < 5 * Mt19937_64::kStateSize + 7; ++draw) {
      ASSERT_EQ(engine(), standard()) << "draw " << draw;
    }
    engine.seed(seed + 1);  // reseeding starts a fresh block
    standard.seed(seed + 1);
    EXPECT_EQ(engine(), standard());
  }
}

TEST(RandomSource, SeedFixesTheOrders) {
  struct Case {
    std::int32_t seed;
    std::vector<std::vector<std::int32_t>> orders;
  };
  const std::vector<Case> cases = {
      {1, {{3, 5, 4, 2, 1}, {1, 3, 5, 4, 2}, {4, 5, 1, 2, 3}}},
      {42, {{2, 1, 5, 3, 4}, {3, 1, 5, 2, 4}}},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.seed);
    RandomSource random(test_case.seed);
    SrlgOrder order;
    order.fill(5);
    for (const auto& expected : test_case.orders) {
      order.reshuffle(random);
      EXPECT_EQ(order.ids(), expected);
    }
  }
}

TEST(RandomSource, ShortOrdersDrawNothing) {
  for (const std::int32_t count : {0, 1}) {
    RandomSource random(7);
    RandomSource untouched(7);
    SrlgOrder order;
    order.fill(count);
    order.reshuffle(random);
    EXPECT_EQ(order.size(), static_cast<std::size_t>(count));
    EXPECT_EQ(random.next_u64(), untouched.next_u64());
  }
}

TEST(RandomSource, PowersOfTwoNeverReject) {
  RandomSource random(3);
  RandomSource raw(3);
  for (std::uint64_t n = 2; n != 0 && n <= (std::uint64_t{1} << 63); n <<= 1) {
    EXPECT_EQ(random.draw_below(n), raw.next_u64() % n);
  }
}

TEST(RandomSource, RejectsDrawsAboveTheAcceptanceLimit) {
  // For n = 3 * 2^62 the limit is 2^64 - 2^62: about a quarter of all draws fall above
  // it and must be drawn again, consuming one engine output each.
  const std::uint64_t n = 3ULL << 62;
  RandomSource random(11);
  RandomSource raw(11);
  for (int draw = 0; draw < 200; ++draw) {
    std::uint64_t r = raw.next_u64();
    while (r >= n) {  // 2^64 mod n = 2^62, so the limit equals n here
      r = raw.next_u64();
    }
    ASSERT_EQ(random.draw_below(n), r % n);
  }
}

}  // namespace
}  // namespace varnak
