#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "estimation/jump_ahead.hpp"

namespace varnak {

// The 64-bit Mersenne Twister MT19937-64, output for output the same as
// std::mt19937_64. It twists and tempers a whole block of 312 outputs at a time in plain
// loops that the compiler vectorises; the standard library's engine tempers one output
// per call and takes several times as long per output.
class Mt19937_64 {
 public:
  static constexpr int kStateSize = 312;

  explicit Mt19937_64(std::uint64_t seed = 5489) { this->seed(seed); }
  // Continues from `window`: the next output is the one after the window's.
  explicit Mt19937_64(const MtWindow& window) { start_at(window); }

  void seed(std::uint64_t value) { start_at(seeded_window(value)); }
  void start_at(const MtWindow& window);

  std::uint64_t operator()() {
    if (next_ == kStateSize) {
      refill();
    }
    return tempered_[next_++];
  }

 private:
  void refill();

  std::uint64_t state_[kStateSize];
  std::uint64_t tempered_[kStateSize];
  int next_ = kStateSize;
};

// The run's only source of randomness: a 64-bit Mersenne Twister. Construction reads the
// random device once, also when a seed is given, and a seed above 0 then replaces that
// value, so a seed fixes every draw of the run.
class RandomSource {
 public:
  explicit RandomSource(std::int32_t seed);
  // Continues a run's stream from `start`, with no reading of the random device.
  explicit RandomSource(const MtWindow& start) : engine_(start) {}

  // The value the engine was seeded with: the seed above 0, else the device's.
  std::uint64_t engine_seed() const { return engine_seed_; }

  std::uint64_t next_u64() { return engine_(); }
  void skip(std::uint64_t outputs) {
    for (std::uint64_t i = 0; i < outputs; ++i) {
      engine_();
    }
  }

  // A value in 0..n-1 for n >= 2: draws until r < 2^64 - (2^64 mod n), then r mod n.
  // Written out rather than taken from a standard distribution, whose way of drawing
  // the standard leaves open, so that a seed gives the same orders everywhere.
  std::uint64_t draw_below(std::uint64_t n);

 private:
  Mt19937_64 engine_;
  std::uint64_t engine_seed_ = 0;
};

// The SRLG ids in the order they come up in the current sample; position j holds the
// SRLG that comes up (j+1)-th. Always a permutation of 1..size.
class SrlgOrder {
 public:
  void fill(std::int32_t count);

  // Fisher-Yates from the front: for i = 1..size-1, swap i with draw_below(i+1). Each
  // sample reshuffles what the previous one left; the order is never refilled.
  void reshuffle(RandomSource& random);

  std::int32_t operator[](std::size_t position) const { return ids_[position]; }
  std::size_t size() const { return ids_.size(); }
  const std::vector<std::int32_t>& ids() const { return ids_; }

 private:
  std::vector<std::int32_t> ids_;
};

}  // namespace varnak
