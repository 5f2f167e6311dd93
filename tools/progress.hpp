#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

namespace varnak {

// One line of a progress bar for `done` of `total` samples that fits in `columns`
// terminal columns, one column to spare so that the cursor never wraps to a new line:
// "[########............]  40%  about 12 s left". The time left is the time so far scaled
// by the samples still to do; `seconds_left` below 0 means not yet known (nothing done).
// A narrow terminal loses the time left first, then the bar.
std::string render_progress(std::int64_t done, std::int64_t total, double seconds_left,
                            int columns);

// Redraws a progress line in place on a terminal: each line starts with a carriage return
// and blanks out what the previous one left, so lines never stack.
class ProgressLine {
 public:
  ProgressLine(std::ostream& terminal, int columns) : terminal_(terminal), columns_(columns) {}

  void draw(std::int64_t done, std::int64_t total, double elapsed_seconds);
  // Blanks the line, so that what follows starts on a clean one.
  void clear();

 private:
  std::ostream& terminal_;
  int columns_;
  std::size_t drawn_length_ = 0;
};

// Runs `work` on a worker thread and, once it has run for `show_after_seconds`, redraws a
// bar on `terminal` driven by `samples_done`, the counter that the work advances, until
// the work returns; then the line is cleared. Exceptions from `work` reach the caller.
void run_with_progress(const std::function<void()>& work,
                       const std::atomic<std::int64_t>& samples_done, std::int64_t total,
                       std::ostream& terminal, int columns, double show_after_seconds = 0.5);

// The width of the terminal on file descriptor `fd`, or 80 when it cannot be told.
int terminal_columns(int fd);

}  // namespace varnak
