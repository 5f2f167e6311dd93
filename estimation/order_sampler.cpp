#include "estimation/order_sampler.hpp"

#include <libdivide.h>

#include <limits>
#include <utility>

namespace varnak {

struct OrderSampler::Step {
  std::uint64_t bound = 0;
  // A draw r is accepted when r <= largest_accepted, that is r < 2^64 - (2^64 mod bound).
  std::uint64_t largest_accepted = 0;
  libdivide::libdivide_u64_branchfree_t divisor{};
};

OrderSampler::OrderSampler(std::int32_t srlg_count, std::uint64_t draw_limit)
    : srlg_count_(srlg_count > 0 ? srlg_count : 0),
      steps_(static_cast<std::size_t>(srlg_count_ > 1 ? srlg_count_ : 1)) {
  for (std::size_t i = 1; i < steps_.size(); ++i) {
    Step& step = steps_[i];
    step.bound = i + 1;
    const std::uint64_t excess = (0 - step.bound) % step.bound;  // 2^64 mod bound
    step.largest_accepted = std::numeric_limits<std::uint64_t>::max() - excess;
    if (draw_limit < step.largest_accepted) {
      step.largest_accepted = (draw_limit + 1) / step.bound * step.bound - 1;
    }
    step.divisor = libdivide::libdivide_u64_branchfree_gen(step.bound);
  }
}

OrderSampler::~OrderSampler() = default;
OrderSampler::OrderSampler(const OrderSampler&) = default;
OrderSampler& OrderSampler::operator=(const OrderSampler&) = default;

template <typename Id>
std::uint64_t OrderSampler::reshuffle_any(RandomSource& random, Id* ids) const {
  const std::size_t count = static_cast<std::size_t>(srlg_count_);
  std::uint64_t rejected = 0;
  for (std::size_t i = 1; i < count; ++i) {
    const Step& step = steps_[i];
    std::uint64_t r = random.next_u64();
    while (r > step.largest_accepted) {
      r = random.next_u64();
      ++rejected;
    }
    const std::uint64_t k =
        r - libdivide::libdivide_u64_branchfree_do(r, &step.divisor) * step.bound;
    std::swap(ids[i], ids[k]);
  }
  return rejected;
}

std::uint64_t OrderSampler::reshuffle(RandomSource& random, std::int32_t* ids) const {
  return reshuffle_any(random, ids);
}

std::uint64_t OrderSampler::reshuffle(RandomSource& random, std::uint16_t* ids) const {
  return reshuffle_any(random, ids);
}

std::uint64_t OrderSampler::reshuffle(RandomSource& random, std::uint32_t* ids) const {
  return reshuffle_any(random, ids);
}

}  // namespace varnak
