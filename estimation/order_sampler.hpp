#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "estimation/random_source.hpp"

namespace varnak {

// Reshuffles SRLG orders of one fixed length exactly as SrlgOrder::reshuffle does, draw
// for draw, but with the acceptance limit and the divisor of every step worked out once:
// position i always draws below i+1, in every sample.
class OrderSampler {
 public:
  // A `draw_limit` below the largest 64-bit value rejects the draws above it as well as
  // those each step rejects anyway; only tests lower it, to meet the rejections that a
  // real run almost never does.
  explicit OrderSampler(std::int32_t srlg_count,
                        std::uint64_t draw_limit = std::numeric_limits<std::uint64_t>::max());
  ~OrderSampler();
  OrderSampler(const OrderSampler&);
  OrderSampler& operator=(const OrderSampler&);

  // Permutes ids[0..srlg_count-1] in place and returns how many draws it rejected.
  // O(SRLGNUM) draws, no allocation.
  std::uint64_t reshuffle(RandomSource& random, std::int32_t* ids) const;
  // The same draws and swaps on 16- and 32-bit entries, for orders kept as positions.
  std::uint64_t reshuffle(RandomSource& random, std::uint16_t* ids) const;
  std::uint64_t reshuffle(RandomSource& random, std::uint32_t* ids) const;

 private:
  struct Step;
  template <typename Id>
  std::uint64_t reshuffle_any(RandomSource& random, Id* ids) const;
  std::int32_t srlg_count_;
  std::vector<Step> steps_;  // steps_[i] draws below i+1; steps_[0] is unused
};

}  // namespace varnak
