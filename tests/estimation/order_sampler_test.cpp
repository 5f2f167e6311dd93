#include "estimation/order_sampler.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace varnak {
namespace {

TEST(OrderSampler, DrawsTheSameOrdersAsThePlainShuffle) {
  for (const std::int32_t count : {0, 1, 2, 3, 5, 64, 65, 400, 1000}) {
    SCOPED_TRACE(count);
    RandomSource plain_random(123);
    RandomSource fast_random(123);
    SrlgOrder plain;
    plain.fill(count);
    std::vector<std::int32_t> fast = plain.ids();
    const OrderSampler sampler(count);
    for (int sample = 0; sample < 50; ++sample) {
      plain.reshuffle(plain_random);
      sampler.reshuffle(fast_random, fast.data());
      ASSERT_EQ(fast, plain.ids()) << "sample " << sample;
    }
    EXPECT_EQ(fast_random.next_u64(), plain_random.next_u64());
  }
}

}  // namespace
}  // namespace varnak
