#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace varnak {

// The raw words x_t .. x_{t+311} of the 64-bit Mersenne Twister once t outputs are drawn:
// all that fixes the outputs from t on (output t is x_{t+312} tempered). The lower 31 bits
// of the oldest word never reach an output.
struct MtWindow {
  std::array<std::uint64_t, 312> words{};
};

// The window before the first output of an engine seeded with `seed`.
MtWindow seeded_window(std::uint64_t seed);

// x^outputs modulo the engine's characteristic polynomial (degree 19937), bit i the
// coefficient of x^i: applied to a window it moves the window `outputs` outputs on
// (Haramoto, Matsumoto, Nishimura, Panneton and L'Ecuyer 2008). Making one takes a few
// milliseconds.
struct JumpPolynomial {
  std::vector<std::uint64_t> coefficients;
};

JumpPolynomial jump_polynomial(std::uint64_t outputs);

// The window `jump` stands for, ahead of `from`: O(19937) engine steps and about 3,300
// XORs of 312 words, a fraction of a millisecond.
MtWindow jumped(const MtWindow& from, const JumpPolynomial& jump);

}  // namespace varnak
