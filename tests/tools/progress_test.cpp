#include "tools/progress.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace varnak {
namespace {

TEST(Progress, RendersBarPercentAndTimeLeftWithinTheColumns) {
  struct Case {
    std::int64_t done;
    std::int64_t total;
    double seconds_left;
    int columns;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {0, 100, -1.0, 80, "[........................................]   0%"},
      {45, 100, 12.2, 80, "[##################......................]  45%  about 13 s left"},
      {100, 100, 0.0, 80, "[########################################] 100%  done"},
      {7, 0, 0.0, 80, "[########################################] 100%  done"},
      // Narrow terminals: the bar shrinks, then the time left goes, then the bar.
      {45, 100, 12.2, 40, "[######.........]  45%  about 13 s left"},
      {45, 100, 12.2, 30, "[#########.............]  45%"},
      {45, 100, 12.2, 18, "[####......]  45%"},
      {45, 100, 12.2, 17, "45%"},
      {45, 100, 12.2, 4, "45%"},
      {45, 100, 12.2, 3, ""},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(std::to_string(test_case.done) + " of " + std::to_string(test_case.total) +
                 " in " + std::to_string(test_case.columns) + " columns");
    const std::string line =
        render_progress(test_case.done, test_case.total, test_case.seconds_left, test_case.columns);
    EXPECT_EQ(line, test_case.expected);
    EXPECT_LT(line.size(), static_cast<std::size_t>(test_case.columns));
  }
}

// The time left follows the work done: half the samples in 10 s leave 10 s.
TEST(Progress, TimeLeftComesFromTheSamplesDone) {
  std::ostringstream terminal;
  ProgressLine line(terminal, 80);
  line.draw(0, 1000, 3.0);
  line.draw(500, 1000, 10.0);
  line.draw(900, 1000, 18.0);
  const std::string drawn = terminal.str();
  EXPECT_NE(drawn.find("  0%\r"), std::string::npos) << drawn;
  EXPECT_NE(drawn.find(" 50%  about 10 s left"), std::string::npos) << drawn;
  EXPECT_NE(drawn.find(" 90%  about 2 s left"), std::string::npos) << drawn;
}

// Every redraw starts at the line's beginning and blanks what a longer line left, so the
// lines never stack on the terminal.
TEST(Progress, RedrawsInPlaceAndClears) {
  std::ostringstream terminal;
  ProgressLine line(terminal, 80);
  line.draw(10, 100, 1.0);
  const std::size_t first_length = terminal.str().size() - 1;
  line.draw(0, 100, 1.0);
  line.clear();
  const std::string drawn = terminal.str();
  EXPECT_EQ(drawn.find('\n'), std::string::npos);
  const std::string second = drawn.substr(first_length + 1);
  ASSERT_EQ(second.front(), '\r');
  // "  0%" is shorter than "  10%  about 9 s left": the rest is blanked.
  EXPECT_NE(second.find("   0%      "), std::string::npos) << second;
  EXPECT_EQ(drawn.back(), '\r');
  EXPECT_EQ(drawn.substr(drawn.rfind('\r', drawn.size() - 2) + 1),
            std::string(first_length, ' ') + "\r");
}

TEST(Progress, ShortRunLeavesTheTerminalUntouched) {
  std::ostringstream terminal;
  const std::atomic<std::int64_t> done{0};
  bool ran = false;
  run_with_progress([&]() { ran = true; }, done, 100, terminal, 80, 3600.0);
  EXPECT_TRUE(ran);
  EXPECT_EQ(terminal.str(), "");
}

TEST(Progress, ShownRunEndsDoneOnAClearedLine) {
  std::ostringstream terminal;
  std::atomic<std::int64_t> done{0};
  run_with_progress([&]() { done = 100; }, done, 100, terminal, 80, 0.0);
  const std::string drawn = terminal.str();
  EXPECT_NE(drawn.find("100%  done"), std::string::npos) << drawn;
  ASSERT_FALSE(drawn.empty());
  EXPECT_EQ(drawn.back(), '\r');
  EXPECT_EQ(drawn.find('\n'), std::string::npos);
}

TEST(Progress, PassesOnWhatTheWorkThrows) {
  std::ostringstream terminal;
  const std::atomic<std::int64_t> done{0};
  EXPECT_THROW(run_with_progress([]() { throw std::runtime_error("out of luck"); }, done, 1,
                                 terminal, 80, 0.0),
               std::runtime_error);
}

}  // namespace
}  // namespace varnak
