#include "estimation/jump_ahead.hpp"

#include <gtest/gtest.h>

#include <boost/random/mersenne_twister.hpp>
#include <cstdint>

#include "estimation/random_source.hpp"

namespace varnak {
namespace {

// A jumped engine continues exactly where one that drew the outputs one by one does:
// jumps within the first block of 312 outputs, across its end, and far beyond.
TEST(JumpAhead, LandsWhereDrawingOutputsOneByOneLands) {
  for (const std::uint64_t outputs : {0ULL, 1ULL, 311ULL, 312ULL, 313ULL, 10000000ULL}) {
    SCOPED_TRACE(outputs);
    Mt19937_64 drawn(20261210);
    for (std::uint64_t i = 0; i < outputs; ++i) {
      drawn();
    }
    Mt19937_64 jumped_engine(jumped(seeded_window(20261210), jump_polynomial(outputs)));
    for (int i = 0; i < 700; ++i) {
      ASSERT_EQ(jumped_engine(), drawn()) << "output " << i << " after the jump";
    }
  }
}

// Far past anything one could draw here, checked against Boost's own jump; and two jumps
// in a row land where their sum does.
TEST(JumpAhead, LargeJumpsAgreeWithBoostAndAddUp) {
  constexpr std::uint64_t kFar = 987654321987ULL;
  boost::random::mt19937_64 boost_engine(5489);
  boost_engine.discard(kFar);
  Mt19937_64 ours(jumped(seeded_window(5489), jump_polynomial(kFar)));
  for (int i = 0; i < 700; ++i) {
    ASSERT_EQ(ours(), boost_engine()) << "output " << i;
  }
  const MtWindow twice =
      jumped(jumped(seeded_window(7), jump_polynomial(123456789)), jump_polynomial(987654321));
  Mt19937_64 in_two(twice);
  Mt19937_64 in_one(jumped(seeded_window(7), jump_polynomial(123456789 + 987654321)));
  for (int i = 0; i < 700; ++i) {
    ASSERT_EQ(in_two(), in_one()) << "output " << i;
  }
}

TEST(JumpAhead, SeededWindowStartsTheSameOutputsAsSeeding) {
  Mt19937_64 seeded(42);
  Mt19937_64 from_window(seeded_window(42));
  std::mt19937_64 standard(42);
  for (int i = 0; i < 700; ++i) {
    const std::uint64_t expected = standard();
    ASSERT_EQ(seeded(), expected);
    ASSERT_EQ(from_window(), expected);
  }
}

}  // namespace
}  // namespace varnak
