#include "estimation/memory_check.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/memory_budget.hpp"

namespace varnak {
namespace {

// An SRLG count whose counts fit this machine only when no table of doubles is held
// beside them (4 bytes a cell against 12), found from the machine's own memory so that the
// test holds on any machine.
std::int64_t count_that_fits_only_as_counts() {
  const double available = static_cast<double>(physical_memory_bytes());
  return static_cast<std::int64_t>(std::sqrt(available / 8.0));
}

TEST(MemoryCheck, DoublesHeldBesideTheCountsCount) {
  const std::int64_t count = count_that_fits_only_as_counts();
  std::string message;
  EXPECT_TRUE(estimate_fits_in_memory(count, 1, false, message)) << message;
  ASSERT_FALSE(estimate_fits_in_memory(count, 1, true, message));
  EXPECT_EQ(message, std::to_string(count) + " SRLGs need " +
                         describe_bytes(estimate_memory_bytes(count, 1, true)) +
                         " for the result tables, more than the " +
                         describe_bytes(static_cast<double>(physical_memory_bytes())) +
                         " of this machine");
}

TEST(MemoryCheck, ThreadsAndTablesGrowTheNeed) {
  EXPECT_LT(estimate_memory_bytes(1000, 1, false), estimate_memory_bytes(1000, 4, false));
  EXPECT_LT(estimate_memory_bytes(1000, 1, false), estimate_memory_bytes(1000, 1, true));
  EXPECT_DOUBLE_EQ(estimate_memory_bytes(0, 8, true), 0.0);
  std::string message;
  EXPECT_FALSE(estimate_fits_in_memory(2147483647, 1, false, message));
  EXPECT_NE(message.find("for the result tables,"), std::string::npos) << message;
}

}  // namespace
}  // namespace varnak
