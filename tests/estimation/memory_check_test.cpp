#include "estimation/memory_check.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/memory_budget.hpp"

namespace varnak {
namespace {

// Samples enough that every thread's buffers hold a full block.
constexpr std::int32_t kMany = 100000000;

// An SRLG count whose counts fit the memory a run may use only when no table of doubles is
// held beside them (4 bytes a cell against 12), found from the policy's own figure so that
// the test holds on any machine and under any address-space limit.
std::int64_t count_that_fits_only_as_counts() {
  const double available = static_cast<double>(run_memory_limit().bytes);
  return static_cast<std::int64_t>(std::sqrt(available / 8.0));
}

TEST(MemoryCheck, DoublesHeldBesideTheCountsCount) {
  const std::int64_t count = count_that_fits_only_as_counts();
  std::string message;
  EXPECT_TRUE(estimate_fits_in_memory({count, kMany}, false, message)) << message;
  ASSERT_FALSE(estimate_fits_in_memory({count, kMany}, true, message));
  EXPECT_EQ(message, std::to_string(count) + " SRLGs need " +
                         describe_bytes(estimate_memory_bytes({count, kMany}, true)) +
                         " for the result tables, more than " +
                         describe_memory_limit(run_memory_limit()));
}

TEST(MemoryCheck, ThreadsAndTablesGrowTheNeed) {
  EXPECT_LT(estimate_memory_bytes({1000, kMany}, false),
            estimate_memory_bytes({1000, kMany, 4}, false));
  EXPECT_LT(estimate_memory_bytes({1000, kMany}, false),
            estimate_memory_bytes({1000, kMany}, true));
  EXPECT_DOUBLE_EQ(estimate_memory_bytes({0, kMany, 8}, true), 0.0);
  std::string message;
  EXPECT_FALSE(estimate_fits_in_memory({2147483647, kMany}, false, message));
  EXPECT_NE(message.find("for the result tables,"), std::string::npos) << message;
}

// A table a thread: SRLGs that fit one thread's counts may not fit a thousand threads'.
TEST(MemoryCheck, EachThreadsTableCounts) {
  const std::int64_t count = count_that_fits_only_as_counts();
  std::string message;
  EXPECT_TRUE(estimate_fits_in_memory({count, 1000}, false, message)) << message;
  ASSERT_FALSE(estimate_fits_in_memory({count, 1000, 1024}, false, message));
  EXPECT_EQ(message, std::to_string(count) + " SRLGs on 1024 threads need " +
                         describe_bytes(estimate_memory_bytes({count, 1000, 1024}, false)) +
                         " for the result tables and the threads' orders, more than " +
                         describe_memory_limit(run_memory_limit()));
}

// A rank of an MPI job that runs one thread shares its samples out as each thread of a
// process with several does: it holds a table and two stores of orders, as each of them.
TEST(MemoryCheck, AOneThreadRankHoldsItsOrdersAsAThreadOfManyDoes) {
  const double table = 1000.0 * 1000.0 * 4.0;
  const double lone = estimate_memory_bytes({1000, kMany}, false);
  const double one_thread_rank = estimate_memory_bytes({1000, kMany, 1, 4}, false);
  const double two_threads = estimate_memory_bytes({1000, kMany, 2}, false);
  EXPECT_GT(one_thread_rank, lone + 1024.0 * 1024.0);
  EXPECT_DOUBLE_EQ(one_thread_rank - lone, (two_threads - lone - table) / 2.0);
  EXPECT_DOUBLE_EQ(estimate_memory_bytes({1000, kMany, 2, 4}, false), two_threads);
  std::string message;
  ASSERT_FALSE(estimate_fits_in_memory({2147483647, kMany, 1, 4}, false, message));
  EXPECT_EQ(message.find("2147483647 SRLGs need " +
                         describe_bytes(estimate_memory_bytes({2147483647, kMany, 1, 4}, false))),
            0u)
      << message;
}

}  // namespace
}  // namespace varnak
