#include "output/process_signals.hpp"

#include <unistd.h>

#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>

namespace varnak {
namespace {

// The handler may run on any thread, in the middle of any function: it reads only these
// two, and the flag is set only once the path is complete and cleared before it changes.
char temporary_path[PATH_MAX + 1];
std::atomic<bool> temporary_named{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the handler needs a signal-safe flag");

extern "C" void remove_temporary_and_end(int signal_number) {
  if (temporary_named.load()) {
    ::unlink(temporary_path);
  }
  // SA_RESETHAND has put the default action back, so the signal raised again ends the
  // process as it would have, and the parent sees the process killed by that signal.
  std::raise(signal_number);
}

}  // namespace

void prepare_process_signals() {
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    struct sigaction previous {};
    if (::sigaction(signal_number, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) {
      continue;
    }
    struct sigaction cleanup {};
    cleanup.sa_handler = remove_temporary_and_end;
    sigemptyset(&cleanup.sa_mask);
    cleanup.sa_flags = SA_RESETHAND;
    ::sigaction(signal_number, &cleanup, nullptr);
  }
}

void name_temporary_file(const std::string& path) {
  temporary_named.store(false);
  if (path.size() >= sizeof temporary_path) {
    return;
  }
  std::memcpy(temporary_path, path.c_str(), path.size() + 1);
  temporary_named.store(true);
}

void forget_temporary_file() {
  temporary_named.store(false);
}

}  // namespace varnak
