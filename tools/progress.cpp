#include "tools/progress.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <future>
#include <thread>

namespace varnak {
namespace {

// Often enough to look alive, rarely enough to cost nothing beside the estimator.
constexpr std::chrono::milliseconds kRedrawInterval{200};

}  // namespace

std::string render_progress(double fraction, double seconds_left, int bar_width) {
  fraction = std::clamp(fraction, 0.0, 1.0);
  const int filled = static_cast<int>(std::floor(fraction * bar_width));
  std::string line = "[";
  line.append(static_cast<std::size_t>(filled), '#');
  line.append(static_cast<std::size_t>(bar_width - filled), '.');
  line += ']';
  char percent[16];
  std::snprintf(percent, sizeof percent, " %3d%%", static_cast<int>(std::floor(fraction * 100)));
  line += percent;
  if (fraction >= 1.0) {
    line += "  done";
  } else if (seconds_left < 0.0) {
    line += "  longer than predicted";
  } else {
    char left[48];
    std::snprintf(left, sizeof left, "  about %.0f s left", std::ceil(seconds_left));
    line += left;
  }
  return line;
}

void run_with_progress(const std::function<void()>& work, double predicted_seconds,
                       std::ostream& terminal) {
  std::packaged_task<void()> task(work);
  std::future<void> finished = task.get_future();
  std::thread worker(std::move(task));
  const auto start = std::chrono::steady_clock::now();
  std::size_t drawn_length = 0;
  const auto draw = [&](const std::string& line) {
    terminal << '\r' << line;
    if (line.size() < drawn_length) {
      terminal << std::string(drawn_length - line.size(), ' ');
    }
    drawn_length = std::max(drawn_length, line.size());
    terminal << std::flush;
  };
  while (finished.wait_for(kRedrawInterval) != std::future_status::ready) {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double fraction = std::min(elapsed / predicted_seconds, 0.99);
    const double left = elapsed < predicted_seconds ? predicted_seconds - elapsed : -1.0;
    draw(render_progress(fraction, left));
  }
  worker.join();
  draw(render_progress(1.0, 0.0));
  terminal << '\r' << std::string(drawn_length, ' ') << '\r' << std::flush;
  finished.get();
}

}  // namespace varnak
