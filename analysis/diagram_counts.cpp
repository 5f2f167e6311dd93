#include "analysis/diagram_counts.hpp"

#include <algorithm>
#include <array>
#include <memory>

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

// A table whose bytes the meter granted, given back when it goes. Its values start
// undefined: the passes write every one they read, and the first touch of a page is all
// the clearing a fresh table would cost.
template <typename Value>
class MeteredTable {
 public:
  explicit MeteredTable(MemoryMeter& meter) : meter_(meter) {}
  MeteredTable(const MeteredTable&) = delete;
  MeteredTable& operator=(const MeteredTable&) = delete;
  ~MeteredTable() { meter_.release(granted_); }

  [[nodiscard]] bool allocate(std::size_t size) {
    const std::uint64_t bytes = std::max<std::size_t>(size, 1) * sizeof(Value);
    if (!meter_.grant(bytes)) {
      return false;
    }
    values_.reset(new Value[std::max<std::size_t>(size, 1)]);
    granted_ = bytes;
    return true;
  }
  Value* data() { return values_.get(); }
  Value& operator[](std::size_t i) { return values_[i]; }
  void swap(MeteredTable& other) {
    values_.swap(other.values_);
    std::swap(granted_, other.granted_);
  }

 private:
  MemoryMeter& meter_;
  std::uint64_t granted_ = 0;
  std::unique_ptr<Value[]> values_;
};

std::string counting_refused(const MemoryMeter& meter, const SrlgDiagram& diagram) {
  return "counting the decision diagram's " + std::to_string(diagram.node_count) +
         " nodes needs more than the memory budget of " +
         describe_bytes(static_cast<double>(meter.budget())) +
         "; use estimate for this network, or give more memory with --max-memory";
}

std::vector<std::uint64_t> level_offsets(const SrlgDiagram& diagram) {
  std::vector<std::uint64_t> offsets(diagram.children.size() + 1, 0);
  for (std::size_t level = 0; level < diagram.children.size(); ++level) {
    offsets[level + 1] = offsets[level] + diagram.children[level].size() / 2;
  }
  return offsets;
}

// One pass over the diagram for `lanes` evaluation points first_point, first_point + 1, ...
// modulo one prime. Writes the value of polynomial q (0: spectrum, s: SRLG s) at point
// first_point + l to values[q * points + first_point + l].
class EvaluationPass {
 public:
  EvaluationPass(const FrontierPlan& plan, const SrlgDiagram& diagram,
                 const std::vector<std::uint64_t>& offsets, std::int32_t srlg_count,
                 MemoryMeter& meter)
      : plan_(plan),
        diagram_(diagram),
        offsets_(offsets),
        srlg_count_(srlg_count),
        to_terminal_(meter),
        from_root_(meter),
        from_root_next_(meter),
        powers_(meter) {}

  // Tables for up to `most_lanes` points a pass.
  bool allocate(std::size_t most_lanes) {
    const std::size_t levels = diagram_.children.size();
    return to_terminal_.allocate(offsets_[levels] * most_lanes) &&
           from_root_.allocate(diagram_.largest_level * most_lanes) &&
           from_root_next_.allocate(diagram_.largest_level * most_lanes) &&
           powers_.allocate((static_cast<std::size_t>(srlg_count_) + 1) * most_lanes);
  }

  void run(const Montgomery& mod, std::size_t first_point, std::size_t lanes, std::size_t points,
           std::vector<std::uint64_t>& values) {
    mod_ = &mod;
    lanes_ = lanes;
    x_.resize(lanes_);
    for (std::size_t l = 0; l < lanes_; ++l) {
      x_[l] = mod_->to(first_point + l);
      powers_[l] = mod_->one;
    }
    const std::size_t most_power = static_cast<std::size_t>(srlg_count_);
    for (std::size_t e = 1; e <= most_power; ++e) {
      for (std::size_t l = 0; l < lanes_; ++l) {
        powers_[e * lanes_ + l] =
            mod_->mul(powers_[(e - 1) * lanes_ + l], mod_->add(x_[l], mod_->one));
      }
    }
    backward();
    forward(first_point, points, values);
  }

 private:
  std::size_t levels() const { return diagram_.children.size(); }

  // (1 + x)^e for every lane.
  const std::uint64_t* power(std::size_t e) { return powers_.data() + e * lanes_; }

  // The polynomial from a child of level `level` to the terminal: a node's from the
  // table, (1 + x)^(SRLGs still to decide) for kToOne, 0 for kToZero (nullptr).
  const std::uint64_t* to_terminal(std::size_t level, std::uint32_t child) {
    if (child == kToZero) {
      return nullptr;
    }
    if (child == kToOne) {
      return power(levels() - 1 - level);
    }
    return to_terminal_.data() + (offsets_[level + 1] + child) * lanes_;
  }

  // B(u) = B(down child) + x · B(up child), level by level from the bottom. The modulus,
  // the lanes and the points are copied to locals: the tables are of the same type, and
  // the compiler would otherwise load them again after every store. O(nodes · lanes).
  void backward() {
    const Montgomery mod = *mod_;
    const std::size_t lanes = lanes_;
    const std::uint64_t* x = x_.data();
    for (std::size_t level = levels(); level-- > 0;) {
      const std::vector<std::uint32_t>& children = diagram_.children[level];
      for (std::size_t node = 0; node < children.size() / 2; ++node) {
        std::uint64_t* out = to_terminal_.data() + (offsets_[level] + node) * lanes;
        const std::uint64_t* down = to_terminal(level, children[2 * node]);
        const std::uint64_t* up = to_terminal(level, children[2 * node + 1]);
        if (up == nullptr) {
          for (std::size_t l = 0; l < lanes; ++l) {
            out[l] = down != nullptr ? down[l] : 0;
          }
        } else if (down == nullptr) {
          for (std::size_t l = 0; l < lanes; ++l) {
            out[l] = mod.mul(x[l], up[l]);
          }
        } else {
          for (std::size_t l = 0; l < lanes; ++l) {
            out[l] = mod.add(down[l], mod.mul(x[l], up[l]));
          }
        }
      }
    }
  }

  // F(child) += F(u) for the down child and x · F(u) for the up child, from the top; at
  // each level the value of the SRLG it decides is gathered on the way. O(nodes · lanes).
  void forward(std::size_t first_point, std::size_t points, std::vector<std::uint64_t>& values) {
    const Montgomery mod = *mod_;
    const std::size_t lanes = lanes_;
    const std::uint64_t* x = x_.data();
    std::vector<std::uint64_t> gathered(lanes);
    std::vector<std::uint64_t> absorbed(lanes);  // connected at this level, weighted
    std::vector<std::uint64_t> earlier(lanes, 0);
    const std::size_t free_count = plan_.free_srlgs.size();
    for (std::size_t l = 0; l < lanes; ++l) {
      from_root_[l] = mod.one;
    }
    for (std::size_t level = 0; level < levels(); ++level) {
      const std::vector<std::uint32_t>& children = diagram_.children[level];
      const std::size_t next_count =
          level + 1 < levels() ? diagram_.children[level + 1].size() / 2 : 0;
      std::fill(from_root_next_.data(), from_root_next_.data() + next_count * lanes, 0);
      std::fill(gathered.begin(), gathered.end(), 0);
      std::fill(absorbed.begin(), absorbed.end(), 0);
      std::uint64_t* gather = gathered.data();
      std::uint64_t* absorb = absorbed.data();
      for (std::size_t node = 0; node < children.size() / 2; ++node) {
        const std::uint64_t* from = from_root_.data() + node * lanes;
        const std::uint32_t down = children[2 * node];
        const std::uint32_t up = children[2 * node + 1];
        if (down != kToZero) {
          std::uint64_t* to =
              down == kToOne ? absorb : from_root_next_.data() + std::size_t{down} * lanes;
          for (std::size_t l = 0; l < lanes; ++l) {
            to[l] = mod.add(to[l], from[l]);
          }
        }
        if (up == kToZero) {
          continue;
        }
        const std::uint64_t* beyond = to_terminal(level, up);
        std::uint64_t* to =
            up == kToOne ? absorb : from_root_next_.data() + std::size_t{up} * lanes;
        for (std::size_t l = 0; l < lanes; ++l) {
          const std::uint64_t weight = mod.mul(x[l], from[l]);
          gather[l] = mod.add(gather[l], mod.mul(weight, beyond[l]));
          to[l] = mod.add(to[l], weight);
        }
      }
      // Paths that connected at an earlier level i hold this SRLG up in x · (1 + x)^(the
      // other SRLGs still to decide) of their completions: `earlier` keeps that sum.
      const std::size_t srlg = static_cast<std::size_t>(plan_.srlg_of_level[level]);
      for (std::size_t l = 0; l < lanes_; ++l) {
        const std::uint64_t value = mod_->add(gathered[l], mod_->mul(x_[l], earlier[l]));
        values[srlg * points + first_point + l] = mod_->mul(value, power(free_count)[l]);
      }
      if (level + 2 <= levels()) {
        const std::uint64_t* weight = power(levels() - 2 - level);
        for (std::size_t l = 0; l < lanes_; ++l) {
          earlier[l] = mod_->add(earlier[l], mod_->mul(absorbed[l], weight[l]));
        }
      }
      from_root_.swap(from_root_next_);
    }
    // The whole polynomial is the root's; each SRLG that lists no edge is up in
    // x · (1 + x)^(free - 1) of it.
    for (std::size_t l = 0; l < lanes_; ++l) {
      const std::uint64_t root = to_terminal_[l];
      values[first_point + l] = mod_->mul(root, power(free_count)[l]);
      if (free_count > 0) {
        const std::uint64_t with_free = mod_->mul(mod_->mul(x_[l], root), power(free_count - 1)[l]);
        for (const std::int32_t srlg : plan_.free_srlgs) {
          values[static_cast<std::size_t>(srlg) * points + first_point + l] = with_free;
        }
      }
    }
  }

  const FrontierPlan& plan_;
  const SrlgDiagram& diagram_;
  const std::vector<std::uint64_t>& offsets_;
  const Montgomery* mod_ = nullptr;
  std::int32_t srlg_count_;
  std::size_t lanes_ = 0;
  std::vector<std::uint64_t> x_;             // the lanes' points, in Montgomery form
  MeteredTable<std::uint64_t> to_terminal_;  // by node (all levels) and lane
  MeteredTable<std::uint64_t> from_root_;    // by node of the current level and lane
  MeteredTable<std::uint64_t> from_root_next_;
  MeteredTable<std::uint64_t> powers_;  // (1 + x)^e by e and lane
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
  EvaluationPass pass(plan, diagram, offsets, srlg_count, meter);
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
  const std::vector<std::uint64_t> offsets = level_offsets(diagram);
  const std::size_t levels = diagram.children.size();
  MeteredTable<double> to_terminal(meter);
  MeteredTable<double> from_root(meter);
  MeteredTable<double> from_root_next(meter);
  if (!to_terminal.allocate(offsets[levels]) || !from_root.allocate(diagram.largest_level) ||
      !from_root_next.allocate(diagram.largest_level)) {
    failure = counting_refused(meter, diagram);
    return 1;
  }
  const auto beyond = [&](std::size_t level, std::uint32_t child) {
    return child == kToZero ? 0.0 : child == kToOne ? 1.0 : to_terminal[offsets[level + 1] + child];
  };
  for (std::size_t level = levels; level-- > 0;) {
    const double up = up_probability[static_cast<std::size_t>(plan.srlg_of_level[level])];
    const std::vector<std::uint32_t>& children = diagram.children[level];
    for (std::size_t node = 0; node < children.size() / 2; ++node) {
      to_terminal[offsets[level] + node] = (1.0 - up) * beyond(level, children[2 * node]) +
                                           up * beyond(level, children[2 * node + 1]);
    }
  }
  reliability = levels > 0 ? to_terminal[0] : 0.0;

  importances.clear();
  for (std::int32_t srlg = 1; srlg <= network.srlg_count; ++srlg) {
    SrlgImportance importance;
    importance.srlg = srlg;
    importance.reliability_up = reliability;
    importance.reliability_down = reliability;
    importances.push_back(importance);
  }
  double absorbed = 0.0;  // the chance of having connected before the current level
  from_root[0] = 1.0;
  for (std::size_t level = 0; level < levels; ++level) {
    const std::size_t srlg = static_cast<std::size_t>(plan.srlg_of_level[level]);
    const double up = up_probability[srlg];
    const std::vector<std::uint32_t>& children = diagram.children[level];
    const std::size_t next_count = level + 1 < levels ? diagram.children[level + 1].size() / 2 : 0;
    std::fill(from_root_next.data(), from_root_next.data() + next_count, 0.0);
    double when_up = 0.0;
    double when_down = 0.0;
    double absorbed_here = 0.0;
    for (std::size_t node = 0; node < children.size() / 2; ++node) {
      const double from = from_root[node];
      const std::uint32_t down_child = children[2 * node];
      const std::uint32_t up_child = children[2 * node + 1];
      when_down += from * beyond(level, down_child);
      when_up += from * beyond(level, up_child);
      if (down_child == kToOne) {
        absorbed_here += (1.0 - up) * from;
      } else if (down_child != kToZero) {
        from_root_next[down_child] += (1.0 - up) * from;
      }
      if (up_child == kToOne) {
        absorbed_here += up * from;
      } else if (up_child != kToZero) {
        from_root_next[up_child] += up * from;
      }
    }
    SrlgImportance& importance = importances[srlg - 1];
    importance.reliability_up = when_up + absorbed;
    importance.reliability_down = when_down + absorbed;
    importance.importance = when_up - when_down;
    absorbed += absorbed_here;
    from_root.swap(from_root_next);
  }
  return 0;
}

}  // namespace varnak
