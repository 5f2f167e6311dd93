#include "app/run_driver.hpp"

#include <gtest/gtest.h>

namespace varnak {
namespace {

// Elapsed times taken from the wall clock went negative when the clock was set back
// during a run; only a steady clock rules that out.
TEST(RunDriver, ElapsedTimeComesFromAClockThatNeverGoesBack) {
  EXPECT_TRUE(ElapsedClock::is_steady);
}

}  // namespace
}  // namespace varnak
