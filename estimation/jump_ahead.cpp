#include "estimation/jump_ahead.hpp"

#include <algorithm>

namespace varnak {
namespace {

constexpr int kStateWords = 312;
constexpr int kDegree = 19937;
constexpr int kPolynomialWords = (kDegree + 63) / 64;  // room for degrees 0..kDegree-1

using Polynomial = std::vector<std::uint64_t>;

// The 64 bits of `p` from bit `first` on, XORed with `bits`; `p` must have a word past them.
void xor_bits_at(Polynomial& p, std::size_t first, std::uint64_t bits) {
  const std::size_t word = first / 64;
  const unsigned shift = first % 64;
  p[word] ^= bits << shift;
  if (shift != 0) {
    p[word + 1] ^= bits >> (64 - shift);
  }
}

// The exponents below 19937 of the engine's characteristic polynomial, whose top term is
// x^19937: 285 terms, the next highest at 19626, which is what makes reducing by it cheap.
// Found by the Berlekamp-Massey algorithm from the lowest bits of 2 * 19937 outputs (the
// polynomial is irreducible, so any such bit sequence has it as its minimal polynomial);
// a wrong term would send every jump astray, which the jump tests would see.
constexpr int kLowerExponents[] = {
    0,     312,   468,   1092,  1248,  1716,  1872,  2028,  2496,  2652,  2808,  3120,  3276,
    3432,  3588,  3900,  4056,  4368,  4680,  4992,  5303,  5460,  5613,  5615,  5616,  6078,
    6084,  6234,  6237,  6240,  6388,  6390,  6396,  6543,  6544,  6546,  6552,  6702,  6855,
    6858,  6864,  7008,  7014,  7163,  7164,  7170,  7176,  7475,  7632,  7636,  7644,  7787,
    7788,  7791,  7792,  7938,  7956,  8093,  8094,  8099,  8103,  8112,  8250,  8256,  8268,
    8406,  8411,  8412,  8558,  8713,  8714,  8717,  8723,  8868,  8870,  8880,  9023,  9024,
    9026,  9035,  9036,  9048,  9182,  9333,  9335,  9338,  9347,  9360,  9494,  9650,  9798,
    9953,  9954,  9957,  9961,  9984,  10110, 10116, 10266, 10271, 10272, 10295, 10422, 10434,
    10578, 10581, 10583, 10589, 10590, 10605, 10607, 10734, 10746, 10890, 10902, 11046, 11054,
    11070, 11202, 11205, 11209, 11210, 11213, 11226, 11229, 11358, 11364, 11366, 11380, 11382,
    11514, 11519, 11520, 11522, 11535, 11536, 11538, 11670, 11678, 11694, 11826, 11829, 11831,
    11834, 11847, 11850, 11982, 11990, 12000, 12006, 12138, 12146, 12155, 12156, 12162, 12294,
    12450, 12453, 12457, 12467, 12606, 12612, 12624, 12628, 12762, 12767, 12768, 12779, 12780,
    12783, 12784, 12918, 12930, 13074, 13077, 13079, 13085, 13086, 13091, 13095, 13230, 13242,
    13248, 13386, 13398, 13403, 13404, 13542, 13550, 13698, 13701, 13705, 13706, 13709, 13715,
    13854, 13860, 13862, 13872, 14010, 14015, 14016, 14018, 14027, 14028, 14166, 14174, 14322,
    14325, 14327, 14330, 14339, 14478, 14486, 14634, 14642, 14790, 14946, 14949, 14953, 15102,
    15108, 15258, 15263, 15264, 15414, 15426, 15570, 15573, 15575, 15581, 15582, 15726, 15738,
    15882, 15894, 16038, 16046, 16194, 16197, 16201, 16202, 16205, 16350, 16356, 16358, 16506,
    16511, 16512, 16514, 16662, 16670, 16818, 16821, 16823, 16826, 16974, 16982, 17130, 17138,
    17286, 17442, 17445, 17449, 17598, 17604, 17754, 17759, 17760, 17910, 18066, 18069, 18071,
    18222, 18378, 18534, 18690, 18693, 18846, 19002, 19158, 19314, 19470, 19626};

// `p` (of any length) modulo the characteristic polynomial, in its first kPolynomialWords
// words. A word's worth of terms at degree 19937 or above goes at a time: x^(19937 + k)
// is the sum of x^(e + k) over the lower exponents e, all at least 311 below.
void reduce(Polynomial& p) {
  for (std::size_t word = p.size(); word-- > kDegree / 64;) {
    // In the word that holds degree 19937, only the terms from there on.
    const unsigned below = word == kDegree / 64 ? kDegree % 64 : 0;
    const std::uint64_t high = p[word] >> below << below;
    if (high == 0) {
      continue;
    }
    p[word] ^= high;
    const std::size_t first = word * 64 + below - kDegree;
    for (const int e : kLowerExponents) {
      xor_bits_at(p, first + static_cast<std::size_t>(e), high >> below);
    }
  }
  p.resize(kPolynomialWords);
}

// Squaring over GF(2) spreads the bits: bit i moves to bit 2i.
std::uint64_t spread(std::uint32_t half) {
  std::uint64_t x = half;
  x = (x | x << 16) & 0x0000FFFF0000FFFFULL;
  x = (x | x << 8) & 0x00FF00FF00FF00FFULL;
  x = (x | x << 4) & 0x0F0F0F0F0F0F0F0FULL;
  x = (x | x << 2) & 0x3333333333333333ULL;
  x = (x | x << 1) & 0x5555555555555555ULL;
  return x;
}

void square(Polynomial& p) {
  Polynomial squared(2 * kPolynomialWords + 1, 0);
  for (std::size_t w = 0; w < kPolynomialWords; ++w) {
    squared[2 * w] = spread(static_cast<std::uint32_t>(p[w]));
    squared[2 * w + 1] = spread(static_cast<std::uint32_t>(p[w] >> 32));
  }
  p = std::move(squared);
  reduce(p);
}

void times_x(Polynomial& p) {
  p.push_back(0);
  for (std::size_t w = p.size(); w-- > 1;) {
    p[w] = p[w] << 1 | p[w - 1] >> 63;
  }
  p[0] <<= 1;
  reduce(p);
}

// One step of the raw recurrence: x_{k+312} from x_k, x_{k+1} and x_{k+156}.
std::uint64_t next_word(std::uint64_t oldest, std::uint64_t second, std::uint64_t middle) {
  constexpr std::uint64_t kTwist = 0xB5026F5AA96619E9ULL;
  constexpr std::uint64_t kUpperBits = ~std::uint64_t{0} << 31;
  const std::uint64_t joined = (oldest & kUpperBits) | (second & ~kUpperBits);
  return middle ^ (joined >> 1) ^ ((0 - (joined & 1)) & kTwist);
}

}  // namespace

MtWindow seeded_window(std::uint64_t seed) {
  MtWindow window;
  window.words[0] = seed;
  for (int i = 1; i < kStateWords; ++i) {
    const std::uint64_t previous = window.words[static_cast<std::size_t>(i - 1)];
    window.words[static_cast<std::size_t>(i)] =
        6364136223846793005ULL * (previous ^ (previous >> 62)) + static_cast<std::uint64_t>(i);
  }
  return window;
}

JumpPolynomial jump_polynomial(std::uint64_t outputs) {
  Polynomial power(kPolynomialWords, 0);
  power[0] = 1;
  for (int bit = 63; bit >= 0; --bit) {
    square(power);
    if ((outputs >> bit & 1) != 0) {
      times_x(power);
    }
  }
  return {std::move(power)};
}

namespace {

// Horner's rule on windows, a few coefficients at a time: with A one engine step and
// g = sum of x^(kc) G_c(x) over chunks c of k coefficients, g(A) w is reached by
// acc <- A^k acc + G_c(A) w from the top chunk down, with G(A) w looked up in a table of
// all 2^k sums of A^j w (j < k). The accumulator is a ring of 312 words whose oldest word
// is at `head`, so that a step writes one word. About 19937 steps and 3,300 additions of
// 312 words, against 10,000 such additions one coefficient at a time. The one allocation,
// the table of 160 KB, is small beside that.
[[gnu::always_inline]] inline MtWindow jump_window(const MtWindow& from,
                                                   const JumpPolynomial& jump) {
  constexpr int kChunk = 6;
  constexpr int kTableSize = 1 << kChunk;
  using Words = std::array<std::uint64_t, kStateWords>;
  std::vector<Words> table(kTableSize);
  // table[1 << j]: A^j w, the window j steps on.
  table[1] = from.words;
  for (int j = 1; j < kChunk; ++j) {
    const Words& previous = table[static_cast<std::size_t>(1 << (j - 1))];
    Words& next = table[static_cast<std::size_t>(1 << j)];
    std::copy(previous.begin() + 1, previous.end(), next.begin());
    next[kStateWords - 1] = next_word(previous[0], previous[1], previous[156]);
  }
  table[0].fill(0);
  for (int v = 1; v < kTableSize; ++v) {
    const int lowest = v & -v;
    if (v != lowest) {
      const Words& a = table[static_cast<std::size_t>(lowest)];
      const Words& b = table[static_cast<std::size_t>(v - lowest)];
      Words& sum = table[static_cast<std::size_t>(v)];
      for (std::size_t k = 0; k < kStateWords; ++k) {
        sum[k] = a[k] ^ b[k];
      }
    }
  }

  Words ring{};
  std::size_t head = 0;
  const auto wrap = [](std::size_t index) {
    return index < kStateWords ? index : index - kStateWords;
  };
  const std::vector<std::uint64_t>& g = jump.coefficients;
  const std::size_t chunks = (g.size() * 64 + kChunk - 1) / kChunk;
  for (std::size_t chunk = chunks; chunk-- > 0;) {
    int value = 0;
    for (int j = kChunk - 1; j >= 0; --j) {
      const std::size_t i = chunk * kChunk + static_cast<std::size_t>(j);
      const std::size_t second = wrap(head + 1);
      ring[head] = next_word(ring[head], ring[second], ring[wrap(head + 156)]);
      head = second;
      if (i < g.size() * 64 && (g[i / 64] >> (i % 64) & 1) != 0) {
        value |= 1 << j;
      }
    }
    if (value != 0) {
      const Words& add = table[static_cast<std::size_t>(value)];
      const std::size_t tail = kStateWords - head;
      for (std::size_t k = 0; k < tail; ++k) {
        ring[head + k] ^= add[k];
      }
      for (std::size_t k = tail; k < kStateWords; ++k) {
        ring[k - tail] ^= add[k];
      }
    }
  }
  MtWindow result;
  std::rotate_copy(ring.begin(), ring.begin() + static_cast<std::ptrdiff_t>(head), ring.end(),
                   result.words.begin());
  return result;
}

// The additions are most of a jump: built for AVX2 as well, they take 4 words at a time
// instead of 2 (a jump 0.28 -> 0.16 ms here). Chosen at the call, not by the loader (an
// ifunc), which ThreadSanitizer builds cannot start with.
[[gnu::target("avx2")]] MtWindow jump_window_avx2(const MtWindow& from,
                                                  const JumpPolynomial& jump) {
  return jump_window(from, jump);
}

}  // namespace

MtWindow jumped(const MtWindow& from, const JumpPolynomial& jump) {
  static const bool has_avx2 = __builtin_cpu_supports("avx2");
  return has_avx2 ? jump_window_avx2(from, jump) : jump_window(from, jump);
}

}  // namespace varnak
