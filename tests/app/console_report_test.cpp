#include "app/console_report.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/reference_writers.hpp"

namespace varnak {
namespace {

// Keeps what was written and, at every flush, how much of it had been written by then.
class FlushRecorder : public std::stringbuf {
 public:
  const std::vector<std::size_t>& flush_points() const { return flush_points_; }

 protected:
  int sync() override {
    flush_points_.push_back(str().size());
    return 0;
  }

 private:
  std::vector<std::size_t> flush_points_;
};

struct Recorded {
  std::string text;
  std::vector<std::size_t> flush_points;
};

template <typename Print>
Recorded record(Print print) {
  FlushRecorder buffer;
  std::ostream out(&buffer);
  print(out);
  return {buffer.str(), buffer.flush_points()};
}

// The same bytes as the stream insertions and std::endl of before, flushed at the same
// places, whether the rows come from a table or from a row source.
TEST(ConsoleReport, SameBytesAndFlushesAsTheStreamPrinter) {
  for (const reference::WriterCase& test_case : reference::writer_cases()) {
    SCOPED_TRACE(test_case.name);
    const Recorded expected = record([&](std::ostream& out) {
      reference::print_console_report(out, test_case.spectrum, test_case.bim_spectra,
                                      test_case.elapsed_seconds);
    });
    const Recorded from_table = record([&](std::ostream& out) {
      print_console_report(out, test_case.spectrum, test_case.bim_spectra,
                           test_case.elapsed_seconds);
    });
    std::vector<std::size_t> rows_asked;
    const Recorded from_rows = record([&](std::ostream& out) {
      print_console_report(
          out, test_case.spectrum,
          [&](std::size_t srlg_index, SpectraVector& row) {
            rows_asked.push_back(srlg_index);
            row = test_case.bim_spectra[srlg_index];
          },
          test_case.elapsed_seconds);
    });
    EXPECT_EQ(expected.flush_points.size(), test_case.spectrum.size() + 5);
    EXPECT_EQ(from_table.text, expected.text);
    EXPECT_EQ(from_table.flush_points, expected.flush_points);
    EXPECT_EQ(from_rows.text, expected.text);
    EXPECT_EQ(from_rows.flush_points, expected.flush_points);
    // Each row once, in order: a source that computes rows is not asked twice.
    ASSERT_EQ(rows_asked.size(), test_case.spectrum.size());
    for (std::size_t i = 0; i < rows_asked.size(); ++i) {
      EXPECT_EQ(rows_asked[i], i);
    }
  }
}

}  // namespace
}  // namespace varnak
