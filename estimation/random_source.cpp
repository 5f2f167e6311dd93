#include "estimation/random_source.hpp"

#include <limits>
#include <utility>

namespace varnak {

RandomSource::RandomSource(std::int32_t seed) {
  std::random_device device;
  engine_.seed(static_cast<std::uint64_t>(device()));
  if (seed > 0) {
    engine_.seed(static_cast<std::uint64_t>(seed));
  }
}

std::uint64_t RandomSource::draw_below(std::uint64_t n) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  for (;;) {
    const std::uint64_t r = next_u64();
    if (r / n < kMax / n || kMax % n == n - 1) {
      return r % n;
    }
  }
}

void SrlgOrder::fill(std::int32_t count) {
  ids_.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
  for (std::size_t position = 0; position < ids_.size(); ++position) {
    ids_[position] = static_cast<std::int32_t>(position + 1);
  }
}

void SrlgOrder::reshuffle(RandomSource& random) {
  for (std::size_t i = 1; i < ids_.size(); ++i) {
    const std::size_t k = random.draw_below(i + 1);
    if (k != i) {
      std::swap(ids_[i], ids_[k]);
    }
  }
}

}  // namespace varnak
