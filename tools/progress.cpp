#include "tools/progress.hpp"

#include <sys/ioctl.h>

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

constexpr int kWidestBar = 40;
constexpr int kNarrowestBar = 10;

}  // namespace

std::string render_progress(std::int64_t done, std::int64_t total, double seconds_left,
                            int columns) {
  const double fraction =
      total <= 0 ? 1.0
                 : std::clamp(static_cast<double>(done) / static_cast<double>(total), 0.0, 1.0);
  char percent[16];
  std::snprintf(percent, sizeof percent, " %3d%%", static_cast<int>(std::floor(fraction * 100)));
  std::string time_text;
  if (fraction >= 1.0) {
    time_text = "  done";
  } else if (seconds_left >= 0.0) {
    char left[48];
    std::snprintf(left, sizeof left, "  about %.0f s left", std::ceil(seconds_left));
    time_text = left;
  }
  const int usable = columns - 1;
  const auto bar_room = [&](const std::string& suffix) {
    return std::min(kWidestBar, usable - 2 - static_cast<int>(suffix.size()));
  };
  std::string suffix = percent + time_text;
  if (bar_room(suffix) < kNarrowestBar) {
    suffix = percent;
  }
  const int bar_width = bar_room(suffix);
  if (bar_width < kNarrowestBar) {
    // No room for a bar: the percentage alone, without its leading spaces, if even that fits.
    const std::string alone = suffix.substr(suffix.find_first_not_of(' '));
    return static_cast<int>(alone.size()) <= usable ? alone : std::string();
  }
  const int filled = static_cast<int>(std::floor(fraction * bar_width));
  std::string line = "[";
  line.append(static_cast<std::size_t>(filled), '#');
  line.append(static_cast<std::size_t>(bar_width - filled), '.');
  line += ']';
  return line + suffix;
}

void ProgressLine::draw(std::int64_t done, std::int64_t total, double elapsed_seconds) {
  const double seconds_left =
      done > 0 ? elapsed_seconds * static_cast<double>(total - done) / static_cast<double>(done)
               : -1.0;
  const std::string line = render_progress(done, total, seconds_left, columns_);
  terminal_ << '\r' << line;
  if (line.size() < drawn_length_) {
    terminal_ << std::string(drawn_length_ - line.size(), ' ');
  }
  drawn_length_ = std::max(drawn_length_, line.size());
  terminal_ << std::flush;
}

void ProgressLine::clear() {
  terminal_ << '\r' << std::string(drawn_length_, ' ') << '\r' << std::flush;
  drawn_length_ = 0;
}

void run_with_progress(const std::function<void()>& work,
                       const std::atomic<std::int64_t>& samples_done, std::int64_t total,
                       std::ostream& terminal, int columns, double show_after_seconds) {
  std::packaged_task<void()> task(work);
  std::future<void> finished = task.get_future();
  std::thread worker(std::move(task));
  const auto start = std::chrono::steady_clock::now();
  ProgressLine line(terminal, columns);
  bool shown = false;
  const auto elapsed = [&]() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  // A short run finishes before the bar would appear and leaves the terminal untouched.
  do {
    if (shown || elapsed() >= show_after_seconds) {
      shown = true;
      line.draw(samples_done.load(std::memory_order_relaxed), total, elapsed());
    }
  } while (finished.wait_for(shown ? kRedrawInterval : std::chrono::milliseconds(10)) !=
           std::future_status::ready);
  worker.join();
  if (shown) {
    line.draw(total, total, elapsed());
    line.clear();
  }
  finished.get();
}

int terminal_columns(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    return size.ws_col;
  }
  return 80;
}

}  // namespace varnak
