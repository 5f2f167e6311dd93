#pragma once

#include <cstdint>
#include <vector>

#include "estimation/random_source.hpp"

namespace varnak {

// Reshuffles SRLG orders of one fixed length exactly as SrlgOrder::reshuffle does, draw
// for draw, but with the acceptance limit and the divisor of every step worked out once:
// position i always draws below i+1, in every sample.
class OrderSampler {
 public:
  explicit OrderSampler(std::int32_t srlg_count);
  ~OrderSampler();
  OrderSampler(const OrderSampler&);
  OrderSampler& operator=(const OrderSampler&);

  // Permutes ids[0..srlg_count-1] in place. O(SRLGNUM) draws, no allocation.
  void reshuffle(RandomSource& random, std::int32_t* ids) const;

 private:
  struct Step;
  std::int32_t srlg_count_;
  std::vector<Step> steps_;  // steps_[i] draws below i+1; steps_[0] is unused
};

}  // namespace varnak
