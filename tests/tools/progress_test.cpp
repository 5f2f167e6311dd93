#include "tools/progress.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace varnak {
namespace {

TEST(Progress, RendersBarPercentAndTimeLeft) {
  struct Case {
    double fraction;
    double seconds_left;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {0.0, 30.0, "[..........]   0%  about 30 s left"},
      {0.45, 12.2, "[####......]  45%  about 13 s left"},
      {0.99, -1.0, "[#########.]  99%  longer than predicted"},
      {1.0, 0.0, "[##########] 100%  done"},
      {1.7, 0.0, "[##########] 100%  done"},
      {-0.2, 5.0, "[..........]   0%  about 5 s left"},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.fraction);
    EXPECT_EQ(render_progress(test_case.fraction, test_case.seconds_left, 10), test_case.expected);
  }
}

TEST(Progress, RunsTheWorkAndLeavesAClearedLine) {
  std::ostringstream terminal;
  bool ran = false;
  run_with_progress([&]() { ran = true; }, 10.0, terminal);
  EXPECT_TRUE(ran);
  const std::string drawn = terminal.str();
  EXPECT_NE(drawn.find("100%  done"), std::string::npos) << drawn;
  // Whatever was drawn is blanked out, so the results start on a clean line.
  ASSERT_FALSE(drawn.empty());
  EXPECT_EQ(drawn.back(), '\r');
  EXPECT_EQ(drawn.find('\n'), std::string::npos);
}

TEST(Progress, PassesOnWhatTheWorkThrows) {
  std::ostringstream terminal;
  EXPECT_THROW(run_with_progress([]() { throw std::runtime_error("out of luck"); }, 1.0, terminal),
               std::runtime_error);
}

}  // namespace
}  // namespace varnak
