#include "estimation/memory_check.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/memory_budget.hpp"

namespace varnak {
namespace {

// An SRLG count whose tables fit this machine only without the XML document, found from
// the machine's own memory so that the test holds on any machine.
std::int64_t count_that_fits_only_without_xml() {
  const double available = static_cast<double>(physical_memory_bytes());
  return static_cast<std::int64_t>(std::sqrt(available / 30.0));
}

TEST(MemoryCheck, TheXmlDocumentCountsWhenAFileIsWritten) {
  const std::int64_t count = count_that_fits_only_without_xml();
  std::string message;
  EXPECT_TRUE(estimate_fits_in_memory(count, 1, false, message)) << message;
  ASSERT_FALSE(estimate_fits_in_memory(count, 1, true, message));
  EXPECT_EQ(message.rfind(std::to_string(count) + " SRLGs need ", 0), 0u) << message;
  EXPECT_NE(message.find(" for the result tables and the XML result file, more than the " +
                         describe_bytes(static_cast<double>(physical_memory_bytes())) +
                         " of this machine"),
            std::string::npos)
      << message;
}

TEST(MemoryCheck, ThreadsAndTablesGrowTheNeed) {
  EXPECT_LT(estimate_memory_bytes(1000, 1, false), estimate_memory_bytes(1000, 4, false));
  EXPECT_LT(estimate_memory_bytes(1000, 1, false), estimate_memory_bytes(1000, 1, true));
  EXPECT_DOUBLE_EQ(estimate_memory_bytes(0, 8, true), 0.0);
  std::string message;
  EXPECT_FALSE(estimate_fits_in_memory(2147483647, 1, false, message));
  EXPECT_EQ(message.find("for the result tables,"), message.find("for the result tables"));
}

}  // namespace
}  // namespace varnak
