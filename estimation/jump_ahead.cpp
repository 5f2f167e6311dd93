#include "estimation/jump_ahead.hpp"

#include <algorithm>
#include <bit>

#include "estimation/random_source.hpp"

namespace varnak {
namespace {

constexpr int kStateWords = 312;
constexpr int kDegree = 19937;
constexpr int kPolynomialWords = (kDegree + 63) / 64;  // room for degrees 0..kDegree-1

using Polynomial = std::vector<std::uint64_t>;

bool coefficient(const Polynomial& p, std::size_t i) {
  return (p[i / 64] >> (i % 64) & 1) != 0;
}
void flip(Polynomial& p, std::size_t i) {
  p[i / 64] ^= std::uint64_t{1} << (i % 64);
}

// The 64 bits of `p` from bit `first` on, XORed with `bits`; `p` must have a word past them.
void xor_bits_at(Polynomial& p, std::size_t first, std::uint64_t bits) {
  const std::size_t word = first / 64;
  const unsigned shift = first % 64;
  p[word] ^= bits << shift;
  if (shift != 0) {
    p[word + 1] ^= bits >> (64 - shift);
  }
}

// The exponents below 19937 of the characteristic polynomial, found once by the
// Berlekamp-Massey algorithm from the lowest bits of 2 * 19937 outputs: the polynomial is
// irreducible, so any such bit sequence has it as its minimal polynomial. It has 285
// terms, the next highest at 19626, which is what makes reducing by it cheap.
std::vector<int> lower_exponents() {
  constexpr int kLength = 2 * kDegree;
  Mt19937_64 engine;
  Polynomial reversed_bits(kLength / 64 + 2, 0);  // bit j: output bit of output kLength-1-j
  for (int i = 0; i < kLength; ++i) {
    if ((engine() & 1) != 0) {
      flip(reversed_bits, static_cast<std::size_t>(kLength - 1 - i));
    }
  }
  const auto bits_from = [&](std::size_t first) {
    const std::size_t word = first / 64;
    const unsigned shift = first % 64;
    std::uint64_t bits = reversed_bits[word] >> shift;
    if (shift != 0) {
      bits |= reversed_bits[word + 1] << (64 - shift);
    }
    return bits;
  };
  // connection[i]: coefficient of x^i in C(x), where output n is the sum over i >= 1 of
  // connection[i] times output n - i.
  const std::size_t words = kLength / 64 + 2;
  Polynomial connection(words, 0);
  Polynomial previous(words, 0);
  connection[0] = previous[0] = 1;
  int length = 0;
  int shift = 1;
  const auto add_shifted_previous = [&](Polynomial& into) {
    const std::size_t word_shift = static_cast<std::size_t>(shift) / 64;
    const unsigned bit_shift = static_cast<unsigned>(shift) % 64;
    for (std::size_t w = words; w-- > word_shift;) {
      std::uint64_t moved = previous[w - word_shift] << bit_shift;
      if (bit_shift != 0 && w > word_shift) {
        moved |= previous[w - word_shift - 1] >> (64 - bit_shift);
      }
      into[w] ^= moved;
    }
  };
  for (int n = 0; n < kLength; ++n) {
    std::uint64_t products = 0;
    const std::size_t first = static_cast<std::size_t>(kLength - 1 - n);
    const int terms = length + 1;
    for (int w = 0; w * 64 < terms; ++w) {
      std::uint64_t c = connection[static_cast<std::size_t>(w)];
      if (terms - w * 64 < 64) {
        c &= (std::uint64_t{1} << (terms - w * 64)) - 1;
      }
      products ^= c & bits_from(first + static_cast<std::size_t>(w) * 64);
    }
    if ((std::popcount(products) & 1) == 0) {
      ++shift;
      continue;
    }
    if (2 * length <= n) {
      Polynomial before = connection;
      add_shifted_previous(connection);
      length = n + 1 - length;
      previous = std::move(before);
      shift = 1;
    } else {
      add_shifted_previous(connection);
      ++shift;
    }
  }
  std::vector<int> exponents;
  for (int i = length; i >= 1; --i) {
    if (coefficient(connection, static_cast<std::size_t>(i))) {
      exponents.push_back(length - i);
    }
  }
  return exponents;
}

const std::vector<int>& characteristic_exponents() {
  static const std::vector<int> exponents = lower_exponents();
  return exponents;
}

// `p` (of any length) modulo the characteristic polynomial, in its first kPolynomialWords
// words. A word's worth of terms at degree 19937 or above goes at a time: x^(19937 + k)
// is the sum of x^(e + k) over the lower exponents e, all at least 311 below.
void reduce(Polynomial& p) {
  const std::vector<int>& exponents = characteristic_exponents();
  for (std::size_t word = p.size(); word-- > kDegree / 64;) {
    // In the word that holds degree 19937, only the terms from there on.
    const unsigned below = word == kDegree / 64 ? kDegree % 64 : 0;
    const std::uint64_t high = p[word] >> below << below;
    if (high == 0) {
      continue;
    }
    p[word] ^= high;
    const std::size_t first = word * 64 + below - kDegree;
    for (const int e : exponents) {
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

// Horner's rule on windows, a few coefficients at a time: with A one engine step and
// g = sum of x^(kc) G_c(x) over chunks c of k coefficients, g(A) w is reached by
// acc <- A^k acc + G_c(A) w from the top chunk down, with G(A) w looked up in a table of
// all 2^k sums of A^j w (j < k). The accumulator is a ring of 312 words whose oldest word
// is at `head`, so that a step writes one word. About 19937 steps and 3,300 additions of
// 312 words, against 10,000 such additions one coefficient at a time. The one allocation,
// the table of 160 KB, is small beside that.
MtWindow jumped(const MtWindow& from, const JumpPolynomial& jump) {
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

}  // namespace varnak
