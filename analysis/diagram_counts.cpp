#include "analysis/diagram_counts.hpp"

#include <algorithm>
#include <array>

#include "analysis/diagram_pass.hpp"
#include "common/memory_budget.hpp"

namespace varnak {
namespace {

__extension__ using Wide = unsigned __int128;

std::uint64_t mul_mod(std::uint64_t a, std::uint64_t b, std::uint64_t p) {
  return static_cast<std::uint64_t>(static_cast<Wide>(a) * b % p);
}

std::uint64_t pow_mod(std::uint64_t base, std::uint64_t exponent, std::uint64_t p) {
  std::uint64_t result = 1 % p;
  for (base %= p; exponent != 0; exponent >>= 1) {
    if ((exponent & 1) != 0) {
      result = mul_mod(result, base, p);
    }
    base = mul_mod(base, base, p);
  }
  return result;
}

// Deterministic Miller-Rabin: these bases decide every number below 3.3 · 10^24.
bool is_prime(std::uint64_t n) {
  if (n < 2) {
    return false;
  }
  constexpr std::array<std::uint64_t, 12> kBases = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37};
  for (const std::uint64_t base : kBases) {
    if (n % base == 0) {
      return n == base;
    }
  }
  std::uint64_t odd = n - 1;
  int twos = 0;
  for (; (odd & 1) == 0; odd >>= 1) {
    ++twos;
  }
  for (const std::uint64_t base : kBases) {
    std::uint64_t x = pow_mod(base, odd, n);
    if (x == 1 || x == n - 1) {
      continue;
    }
    bool composite = true;
    for (int i = 1; i < twos && composite; ++i) {
      x = mul_mod(x, x, n);
      composite = x != n - 1;
    }
    if (composite) {
      return false;
    }
  }
  return true;
}

// The largest primes below 2^62, enough of them that their product exceeds 2^bits.
std::vector<std::uint64_t> primes_for(std::int32_t bits) {
  std::vector<std::uint64_t> primes;
  const std::size_t wanted = static_cast<std::size_t>(bits / 61 + 1);  // each above 2^61
  for (std::uint64_t candidate = (std::uint64_t{1} << 62) - 1; primes.size() < wanted;
       candidate -= 2) {
    if (is_prime(candidate)) {
      primes.push_back(candidate);
    }
  }
  return primes;
}

// Arithmetic modulo an odd p in (2^61, 2^62) in Montgomery form (a held as a · 2^64 mod
// p): a product costs three multiplications and no division.
struct Montgomery {
  explicit Montgomery(std::uint64_t modulus) : p(modulus) {
    std::uint64_t inverse = p;  // p · p = 1 mod 8; each step doubles the good bits
    for (int i = 0; i < 5; ++i) {
      inverse *= 2 - p * inverse;
    }
    negated_inverse = 0 - inverse;
    const std::uint64_t r = static_cast<std::uint64_t>((static_cast<Wide>(1) << 64) % p);
    r_squared = mul_mod(r, r, p);
    one = r;
  }

  std::uint64_t reduce(Wide t) const {
    const std::uint64_t m = static_cast<std::uint64_t>(t) * negated_inverse;
    const std::uint64_t u = static_cast<std::uint64_t>((t + static_cast<Wide>(m) * p) >> 64);
    return u >= p ? u - p : u;
  }
  std::uint64_t mul(std::uint64_t a, std::uint64_t b) const {
    return reduce(static_cast<Wide>(a) * b);
  }
  std::uint64_t add(std::uint64_t a, std::uint64_t b) const {
    const std::uint64_t sum = a + b;
    return sum >= p ? sum - p : sum;
  }
  std::uint64_t sub(std::uint64_t a, std::uint64_t b) const { return a >= b ? a - b : a + p - b; }
  std::uint64_t to(std::uint64_t a) const { return mul(a % p, r_squared); }
  std::uint64_t from(std::uint64_t a) const { return reduce(a); }
  std::uint64_t power(std::uint64_t base, std::uint64_t exponent) const {
    std::uint64_t result = one;
    for (; exponent != 0; exponent >>= 1) {
      if ((exponent & 1) != 0) {
        result = mul(result, base);
      }
      base = mul(base, base);
    }
    return result;
  }
  std::uint64_t inverse(std::uint64_t a) const { return power(a, p - 2); }

  std::uint64_t p;
  std::uint64_t negated_inverse;
  std::uint64_t r_squared;
  std::uint64_t one;
};

// Lagrange interpolation at the points 0..n-1: basis[j * n + k] is coefficient k of the
// polynomial that is 1 at j and 0 at the other points, in Montgomery form. O(n^2).
std::vector<std::uint64_t> lagrange_basis(const Montgomery& mod, std::size_t n) {
  // master = (x - 0)(x - 1)...(x - (n-1)), coefficients from x^0 to x^n.
  std::vector<std::uint64_t> master(n + 1, 0);
  master[0] = mod.one;
  for (std::size_t j = 0; j < n; ++j) {
    const std::uint64_t point = mod.to(j);
    for (std::size_t k = j + 1; k > 0; --k) {
      master[k] = mod.sub(master[k - 1], mod.mul(point, master[k]));
    }
    master[0] = mod.sub(0, mod.mul(point, master[0]));
  }
  std::vector<std::uint64_t> basis(n * n);
  std::vector<std::uint64_t> quotient(n);
  for (std::size_t j = 0; j < n; ++j) {
    const std::uint64_t point = mod.to(j);
    quotient[n - 1] = master[n];
    for (std::size_t k = n - 1; k > 0; --k) {
      quotient[k - 1] = mod.add(master[k], mod.mul(point, quotient[k]));
    }
    // The quotient's value at j: the product of (j - i) over the other points.
    std::uint64_t weight = mod.one;
    for (std::size_t i = 0; i < n; ++i) {
      if (i != j) {
        weight = mod.mul(weight, mod.sub(point, mod.to(i)));
      }
    }
    const std::uint64_t scale = mod.inverse(weight);
    for (std::size_t k = 0; k < n; ++k) {
      basis[j * n + k] = mod.mul(quotient[k], scale);
    }
  }
  return basis;
}

// Joins residues modulo the primes into the one integer below their product (Garner).
class RemainderJoiner {
 public:
  explicit RemainderJoiner(const std::vector<std::uint64_t>& primes) : primes_(primes) {
    const std::size_t count = primes.size();
    inverses_.assign(count * count, 0);
    for (std::size_t i = 0; i < count; ++i) {
      for (std::size_t h = 0; h < i; ++h) {
        inverses_[i * count + h] = pow_mod(primes[h] % primes[i], primes[i] - 2, primes[i]);
      }
    }
    digits_.resize(count);
  }

  ExactCount join(const std::uint64_t* residues) {
    const std::size_t count = primes_.size();
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint64_t p = primes_[i];
      std::uint64_t t = residues[i];
      for (std::size_t h = 0; h < i; ++h) {
        const std::uint64_t digit = digits_[h] % p;
        t = mul_mod(t >= digit ? t - digit : t + p - digit, inverses_[i * count + h], p);
      }
      digits_[i] = t;
    }
    ExactCount value = digits_[count - 1];
    for (std::size_t i = count - 1; i > 0; --i) {
      value *= primes_[i - 1];
      value += digits_[i - 1];
    }
    return value;
  }

 private:
  const std::vector<std::uint64_t>& primes_;
  std::vector<std::uint64_t> inverses_;  // [i][h]: primes[h]^-1 mod primes[i]
  std::vector<std::uint64_t> digits_;
};

std::string counting_refused(const MemoryMeter& meter, const SrlgDiagram& diagram) {
  return "counting the decision diagram's " + std::to_string(diagram.node_count) +
         " nodes needs more than the memory budget of " +
         describe_bytes(static_cast<double>(meter.budget())) +
         "; use estimate for this network, or give more memory with --max-memory";
}

// The polynomials' values at `lanes` points x modulo one prime, in Montgomery form: a
// down edge weighs 1 and an up edge x, so that a path to the terminal with u SRLGs up
// weighs x^u, and one that reaches it with e SRLGs undecided stands for (1 + x)^e
// completions.
struct ModularSemiring {
  using Value = std::uint64_t;
  static constexpr bool kSumsDown = false;

  std::size_t lanes() const { return lane_count; }
  Value one() const { return mod.one; }
  Value add(Value a, Value b) const { return mod.add(a, b); }
  Value mul(Value a, Value b) const { return mod.mul(a, b); }
  // Every level weighs its edges alike.
  const ModularSemiring& at(std::size_t) const { return *this; }
  Value down(std::size_t, Value v) const { return v; }
  Value up(std::size_t lane, Value v) const { return mod.mul(x[lane], v); }
  const Value* terminal(std::size_t level) const { return power(levels - 1 - level); }

  // (1 + x)^e for every lane.
  const Value* power(std::size_t e) const { return powers + e * lane_count; }

  Montgomery mod;
  std::size_t lane_count;
  std::size_t levels;
  const Value* x;       // by lane
  const Value* powers;  // (1 + x)^e by e and lane, e = 0..S
};

// One pass over the diagram for `lanes` evaluation points first_point, first_point + 1, ...
// modulo one prime. Writes the value of polynomial q (0: spectrum, s: SRLG s) at point
// first_point + l to values[q * points + first_point + l].
class EvaluationPass {
 public:
  EvaluationPass(const FrontierPlan& plan, const SrlgDiagram& diagram, std::int32_t srlg_count,
                 MemoryMeter& meter)
      : plan_(plan),
        diagram_(diagram),
        srlg_count_(srlg_count),
        walk_(diagram, meter),
        powers_(meter) {}

  // Tables for up to `most_lanes` points a pass.
  bool allocate(std::size_t most_lanes) {
    return walk_.allocate(most_lanes) &&
           powers_.allocate((static_cast<std::size_t>(srlg_count_) + 1) * most_lanes);
  }

  // One backward and one forward pass over the diagram. At the level that decides SRLG s,
  // its value is the sum over the level's nodes of F · x · B(up child), plus the paths that
  // connected at an earlier level i, which hold s up in x · (1 + x)^(the other SRLGs still
  // to decide) of their completions. O(nodes · lanes).
  void run(const Montgomery& mod, std::size_t first_point, std::size_t lanes, std::size_t points,
           std::vector<std::uint64_t>& values) {
    x_.resize(lanes);
    for (std::size_t l = 0; l < lanes; ++l) {
      x_[l] = mod.to(first_point + l);
      powers_[l] = mod.one;
    }
    for (std::size_t e = 1; e <= static_cast<std::size_t>(srlg_count_); ++e) {
      for (std::size_t l = 0; l < lanes; ++l) {
        powers_[e * lanes + l] = mod.mul(powers_[(e - 1) * lanes + l], mod.add(x_[l], mod.one));
      }
    }
    const std::size_t levels = diagram_.children.size();
    const ModularSemiring ring{mod, lanes, levels, x_.data(), powers_.data()};
    walk_.backward(ring);

    const std::size_t free_count = plan_.free_srlgs.size();
    const std::uint64_t* free_power = ring.power(free_count);
    std::vector<std::uint64_t> earlier(lanes, 0);  // connected before this level, weighted
    walk_.forward(ring, [&](std::size_t level, const LevelSums<std::uint64_t>& sums) {
      const std::size_t srlg = static_cast<std::size_t>(plan_.srlg_of_level[level]);
      for (std::size_t l = 0; l < lanes; ++l) {
        const std::uint64_t value = mod.mul(x_[l], mod.add(sums.through_up[l], earlier[l]));
        values[srlg * points + first_point + l] = mod.mul(value, free_power[l]);
      }
      if (level + 2 <= levels) {
        const std::uint64_t* weight = ring.power(levels - 2 - level);
        for (std::size_t l = 0; l < lanes; ++l) {
          earlier[l] = mod.add(earlier[l], mod.mul(sums.connected_here[l], weight[l]));
        }
      }
    });
    // The whole polynomial is the root's; each SRLG that lists no edge is up in
    // x · (1 + x)^(free - 1) of it.
    const std::uint64_t* root = walk_.root();
    for (std::size_t l = 0; l < lanes; ++l) {
      values[first_point + l] = mod.mul(root[l], free_power[l]);
      if (free_count > 0) {
        const std::uint64_t with_free =
            mod.mul(mod.mul(x_[l], root[l]), ring.power(free_count - 1)[l]);
        for (const std::int32_t srlg : plan_.free_srlgs) {
          values[static_cast<std::size_t>(srlg) * points + first_point + l] = with_free;
        }
      }
    }
  }

 private:
  const FrontierPlan& plan_;
  const SrlgDiagram& diagram_;
  std::int32_t srlg_count_;
  DiagramPass<ModularSemiring> walk_;
  std::vector<std::uint64_t> x_;  // the lanes' points, in Montgomery form
  MeteredTable<std::uint64_t> powers_;
};

// Probabilities in doubles, one lane: a level's down edge weighs 1 - p and its up edge p,
// p the probability that its SRLG is up, and a path that reaches the terminal early weighs
// 1 (its undecided SRLGs may be anything).
struct ProbabilitySemiring {
  using Value = double;
  static constexpr bool kSumsDown = true;
  static constexpr double kCertain = 1.0;

  struct Weights {
    double down(std::size_t, double v) const { return (1.0 - p) * v; }
    double up(std::size_t, double v) const { return p * v; }
    double p;
  };

  static constexpr std::size_t lanes() { return 1; }
  double one() const { return 1.0; }
  double add(double a, double b) const { return a + b; }
  double mul(double a, double b) const { return a * b; }
  // A p of -0 is taken as +0: the pass leaves out the term of a kToZero child, and
  // p · B(up) = -0 with nothing added to it would carry a negative zero up to R.
  Weights at(std::size_t level) const {
    return {(*up_probability)[static_cast<std::size_t>(plan->srlg_of_level[level])] + 0.0};
  }
  const double* terminal(std::size_t) const { return &kCertain; }

  const std::vector<double>* up_probability;  // by SRLG id
  const FrontierPlan* plan;
};

}  // namespace

int count_diagram_subsets(const DiagramNetwork& network, const FrontierPlan& plan,
                          const SrlgDiagram& diagram, MemoryMeter& meter,
                          const std::function<void(const DiagramProgress&)>& progress,
                          SubsetCountsBySize& counts, std::string& failure) {
  const std::int32_t srlg_count = network.srlg_count;
  const std::size_t points = static_cast<std::size_t>(srlg_count) + 1;
  const std::size_t polynomials = points;  // the spectrum, then SRLG 1..S
  const std::vector<std::uint64_t> primes = primes_for(srlg_count);
  const std::vector<std::uint64_t> offsets = level_offsets(diagram);

  // Held throughout: the values of one prime, its basis and the residues of all primes.
  MeteredTable<std::uint64_t> residues(meter);
  std::vector<std::uint64_t> values;
  std::vector<std::uint64_t> basis;
  if (!residues.allocate(primes.size() * polynomials * points) ||
      !meter.grant(2 * polynomials * points * sizeof(std::uint64_t))) {
    failure = counting_refused(meter, diagram);
    return 1;
  }
  const std::uint64_t held = 2 * polynomials * points * sizeof(std::uint64_t);
  // Points per pass: 8 bytes per node, per node of two levels and per power for each.
  // More than the budget allows is refused; more than kPassBytes buys nothing, as each pass
  // costs the same per point and a smaller table stays closer to the processor.
  constexpr std::uint64_t kPassBytes = std::uint64_t{1} << 30;
  const std::uint64_t per_lane = 8 * (offsets.back() + 2 * diagram.largest_level + points);
  const std::uint64_t room = std::min(meter.budget() - meter.in_use(), kPassBytes);
  const std::size_t lanes = static_cast<std::size_t>(
      std::min<std::uint64_t>(points, std::max<std::uint64_t>(room / per_lane, 1)));
  EvaluationPass pass(plan, diagram, srlg_count, meter);
  if (!pass.allocate(lanes)) {
    meter.release(held);
    failure = counting_refused(meter, diagram);
    return 1;
  }
  for (std::size_t q = 0; q < primes.size(); ++q) {
    const Montgomery mod(primes[q]);
    values.assign(polynomials * points, 0);
    const std::size_t passes_per_prime = (points + lanes - 1) / lanes;
    for (std::size_t first = 0; first < points; first += lanes) {
      if (progress) {
        DiagramProgress report;
        report.level = plan.level_count - 1;
        report.level_count = plan.level_count;
        report.nodes = diagram.node_count;
        report.bytes = meter.in_use();
        report.pass = static_cast<std::int32_t>(q * passes_per_prime + first / lanes + 1);
        report.passes = static_cast<std::int32_t>(primes.size() * passes_per_prime);
        progress(report);
      }
      pass.run(mod, first, std::min(lanes, points - first), points, values);
    }
    basis = lagrange_basis(mod, points);
    std::vector<std::uint64_t> coefficients(points);
    for (std::size_t poly = 0; poly < polynomials; ++poly) {
      std::fill(coefficients.begin(), coefficients.end(), 0);
      for (std::size_t j = 0; j < points; ++j) {
        const std::uint64_t value = values[poly * points + j];
        if (value == 0) {
          continue;
        }
        const std::uint64_t* row = basis.data() + j * points;
        for (std::size_t k = 0; k < points; ++k) {
          coefficients[k] = mod.add(coefficients[k], mod.mul(value, row[k]));
        }
      }
      for (std::size_t k = 0; k < points; ++k) {
        residues[(poly * points + k) * primes.size() + q] = mod.from(coefficients[k]);
      }
    }
  }
  meter.release(held);

  RemainderJoiner joiner(primes);
  counts.connected.resize(points);
  counts.connected_with.assign(static_cast<std::size_t>(srlg_count),
                               std::vector<ExactCount>(points));
  for (std::size_t poly = 0; poly < polynomials; ++poly) {
    std::vector<ExactCount>& row = poly == 0 ? counts.connected : counts.connected_with[poly - 1];
    for (std::size_t k = 0; k < points; ++k) {
      row[k] = joiner.join(&residues[(poly * points + k) * primes.size()]);
    }
  }
  return 0;
}

int diagram_reliability(const DiagramNetwork& network, const FrontierPlan& plan,
                        const SrlgDiagram& diagram, const std::vector<double>& up_probability,
                        MemoryMeter& meter, double& reliability,
                        std::vector<SrlgImportance>& importances, std::string& failure) {
  DiagramPass<ProbabilitySemiring> walk(diagram, meter);
  if (!walk.allocate(1)) {
    failure = counting_refused(meter, diagram);
    return 1;
  }
  const ProbabilitySemiring ring{&up_probability, &plan};
  walk.backward(ring);
  reliability = diagram.children.empty() ? 0.0 : walk.root()[0];

  importances.clear();
  for (std::int32_t srlg = 1; srlg <= network.srlg_count; ++srlg) {
    SrlgImportance importance;
    importance.srlg = srlg;
    importance.reliability_up = reliability;
    importance.reliability_down = reliability;
    importances.push_back(importance);
  }
  // With SRLG s held up (down), R is the paths through the up (down) edges of its level
  // and those that connected before it was decided.
  double earlier = 0.0;
  walk.forward(ring, [&](std::size_t level, const LevelSums<double>& sums) {
    SrlgImportance& importance =
        importances[static_cast<std::size_t>(plan.srlg_of_level[level]) - 1];
    importance.reliability_up = sums.through_up[0] + earlier;
    importance.reliability_down = sums.through_down[0] + earlier;
    importance.importance = sums.through_up[0] - sums.through_down[0];
    earlier += sums.connected_here[0];
  });
  return 0;
}

}  // namespace varnak
