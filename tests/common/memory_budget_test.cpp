#include "common/memory_budget.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varnak {
namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;

struct PolicyCase {
  std::string name;
  std::uint64_t given;
  std::uint64_t physical;
  std::optional<std::uint64_t> address_space_limit;
  std::uint64_t expected_bytes;
  MemoryBound expected_bound;
};

TEST(MemoryBudget, ARunMayUseTheGivenSizeElseTheSmallerOfMachineAndLimit) {
  const std::vector<PolicyCase> cases = {
      {"no limit: the machine", 0, 16 * kGiB, std::nullopt, 16 * kGiB, MemoryBound::kMachine},
      {"a limit below the machine", 0, 16 * kGiB, 1953125 * std::uint64_t{1024},
       1953125 * std::uint64_t{1024}, MemoryBound::kAddressSpaceLimit},
      {"a limit above the machine", 0, 16 * kGiB, 64 * kGiB, 16 * kGiB, MemoryBound::kMachine},
      {"a limit equal to the machine", 0, 16 * kGiB, 16 * kGiB, 16 * kGiB, MemoryBound::kMachine},
      {"given, below the machine and no limit", 512 * kMiB, 16 * kGiB, std::nullopt, 512 * kMiB,
       MemoryBound::kGiven},
      {"given, below a limit", 512 * kMiB, 16 * kGiB, 2 * kGiB, 512 * kMiB, MemoryBound::kGiven},
      {"given, above the machine and the limit", 32 * kGiB, 16 * kGiB, 2 * kGiB, 32 * kGiB,
       MemoryBound::kGiven},
  };
  for (const PolicyCase& test : cases) {
    SCOPED_TRACE(test.name);
    const MemoryLimit limit =
        memory_limit_from(test.given, test.physical, test.address_space_limit);
    EXPECT_EQ(limit.bytes, test.expected_bytes);
    EXPECT_EQ(limit.bound, test.expected_bound);
  }
}

TEST(MemoryBudget, ThisProcessFollowsThePolicyWithItsOwnFigures) {
  const MemoryLimit limit = run_memory_limit();
  const MemoryLimit expected =
      memory_limit_from(0, physical_memory_bytes(), address_space_limit_bytes());
  EXPECT_EQ(limit.bytes, expected.bytes);
  EXPECT_EQ(limit.bound, expected.bound);
  EXPECT_EQ(run_memory_limit(3 * kMiB).bytes, 3 * kMiB);
}

TEST(MemoryBudget, TheLimitIsNamedWithWhatSetsIt) {
  struct NamingCase {
    MemoryLimit limit;
    std::string expected;
  };
  const std::vector<NamingCase> cases = {
      {{3 * kGiB / 2, MemoryBound::kMachine}, "the 1.5 GiB of this machine"},
      {{1953125 * std::uint64_t{1024}, MemoryBound::kAddressSpaceLimit},
       "the address-space limit of 1.9 GiB"},
      {{512 * kMiB, MemoryBound::kGiven}, "the memory budget of 512.0 MiB"},
  };
  for (const NamingCase& test : cases) {
    EXPECT_EQ(describe_memory_limit(test.limit), test.expected);
  }
}

TEST(MemoryBudget, SizesReadAsWords) {
  const struct {
    double bytes;
    const char* expected;
  } cases[] = {
      {0, "0 bytes"},       {1, "1 byte"},     {2, "2 bytes"},
      {1023, "1023 bytes"}, {1024, "1.0 KiB"}, {1.5 * 1024 * 1024 * 1024, "1.5 GiB"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.expected);
    EXPECT_EQ(describe_bytes(test.bytes), test.expected);
  }
}

}  // namespace
}  // namespace varnak
