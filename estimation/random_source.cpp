#include "estimation/random_source.hpp"

#include <algorithm>
#include <limits>
#include <utility>

namespace varnak {
namespace {

constexpr int kShift = 156;
constexpr std::uint64_t kTwist = 0xB5026F5AA96619E9ULL;
constexpr std::uint64_t kUpperBits = ~std::uint64_t{0} << 31;
constexpr std::uint64_t kLowerBits = (std::uint64_t{1} << 31) - 1;

std::uint64_t twist(std::uint64_t word, std::uint64_t next_word, std::uint64_t shifted_word) {
  const std::uint64_t joined = (word & kUpperBits) | (next_word & kLowerBits);
  return shifted_word ^ (joined >> 1) ^ ((0 - (joined & 1)) & kTwist);
}

}  // namespace

void Mt19937_64::start_at(const MtWindow& window) {
  std::copy(window.words.begin(), window.words.end(), state_);
  next_ = kStateSize;
}

void Mt19937_64::refill() {
  int i = 0;
  for (; i < kStateSize - kShift; ++i) {
    state_[i] = twist(state_[i], state_[i + 1], state_[i + kShift]);
  }
  // From here the shifted word is one this refill has already replaced.
  for (; i < kStateSize - 1; ++i) {
    state_[i] = twist(state_[i], state_[i + 1], state_[i + kShift - kStateSize]);
  }
  state_[kStateSize - 1] = twist(state_[kStateSize - 1], state_[0], state_[kShift - 1]);
  for (int k = 0; k < kStateSize; ++k) {
    std::uint64_t y = state_[k];
    y ^= (y >> 29) & 0x5555555555555555ULL;
    y ^= (y << 17) & 0x71D67FFFEDA60000ULL;
    y ^= (y << 37) & 0xFFF7EEE000000000ULL;
    y ^= y >> 43;
    tempered_[k] = y;
  }
  next_ = 0;
}

RandomSource::RandomSource(std::int32_t seed) {
  std::random_device device;
  engine_seed_ = static_cast<std::uint64_t>(device());
  if (seed > 0) {
    engine_seed_ = static_cast<std::uint64_t>(seed);
  }
  engine_.seed(engine_seed_);
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
