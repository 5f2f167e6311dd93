#include "analysis/binomials.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace varnak {
namespace {

TEST(Binomials, ExactRowsAgreeWithPascalsTriangle) {
  const auto triangle = binomials(62);
  for (std::int32_t n = 0; n <= 62; ++n) {
    const std::vector<ExactCount> row = binomial_row(n);
    const std::vector<std::uint64_t>& expected = triangle[static_cast<std::size_t>(n)];
    ASSERT_EQ(row.size(), expected.size()) << "n " << n;
    for (std::size_t k = 0; k < row.size(); ++k) {
      EXPECT_EQ(row[k], ExactCount(expected[k])) << "n " << n << " k " << k;
    }
  }
  // Beyond 64 bits: each row from the one above, and the whole row sums to 2^n.
  for (const std::int32_t n : {100, 243}) {
    const std::vector<ExactCount> row = binomial_row(n);
    const std::vector<ExactCount> above = binomial_row(n - 1);
    ExactCount sum = 0;
    for (std::size_t k = 0; k < row.size(); ++k) {
      const ExactCount left = k == 0 ? ExactCount(0) : above[k - 1];
      const ExactCount right = k < above.size() ? above[k] : ExactCount(0);
      EXPECT_EQ(row[k], left + right) << "n " << n << " k " << k;
      sum += row[k];
    }
    ExactCount all = 1;
    all <<= static_cast<unsigned>(n);
    EXPECT_EQ(sum, all) << "n " << n;
  }
}

TEST(Binomials, WeightsAgreeWithExactBinomialsBeyondSixtyFourBits) {
  struct Case {
    std::int32_t n;
    double p;
  };
  for (const Case& test_case : std::vector<Case>{{100, 0.5}, {200, 0.3}, {243, 0.95}}) {
    SCOPED_TRACE(::testing::Message() << "n " << test_case.n << " p " << test_case.p);
    const std::vector<double> weights = binomial_weights(test_case.n, test_case.p);
    const std::vector<ExactCount> choose = binomial_row(test_case.n);
    ASSERT_EQ(weights.size(), choose.size());
    for (std::size_t k = 0; k < weights.size(); ++k) {
      const double expected =
          static_cast<double>(choose[k]) * std::pow(test_case.p, static_cast<double>(k)) *
          std::pow(1.0 - test_case.p, static_cast<double>(weights.size() - 1 - k));
      if (expected > 1e-250) {
        EXPECT_NEAR(weights[k], expected, 1e-11 * expected) << "k " << k;
      }
    }
  }
}

}  // namespace
}  // namespace varnak
