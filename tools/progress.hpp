#pragma once

#include <functional>
#include <ostream>
#include <string>

namespace varnak {

// One line of a progress bar, without the carriage return that redraws it:
// "[########............]  40%  about 12 s left". With `seconds_left` below 0 the time is
// unknown (the run takes longer than predicted) and shown as such.
std::string render_progress(double fraction, double seconds_left, int bar_width = 30);

// Runs `work` on a worker thread and, while it runs, redraws on `terminal` a bar that
// advances with the time elapsed against `predicted_seconds`. The estimator gives no
// sign of its own progress, so the bar never passes 99% before `work` returns; then it
// shows 100% and the line is cleared. Exceptions from `work` reach the caller.
void run_with_progress(const std::function<void()>& work, double predicted_seconds,
                       std::ostream& terminal);

}  // namespace varnak
