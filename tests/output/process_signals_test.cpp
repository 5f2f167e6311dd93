#include "output/process_signals.hpp"

#include <fcntl.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace varnak {
namespace {

namespace fs = std::filesystem;

// What became of a child process, which set the signals up as the executables do and then
// met a signal while its temporary file existed.
struct Ending {
  bool killed = false;
  int signal_number = 0;
  int exit_code = -1;
  bool file_left = false;
};

Ending signal_while_writing(int signal_number, bool ignored_by_parent, bool still_named) {
  std::string pattern = (fs::temp_directory_path() / "varnak-signals-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp failed for " << pattern;
    return {};
  }
  const std::string temporary = pattern + "/.varnak-1-0.tmp";
  const pid_t child = ::fork();
  if (child == 0) {
    // Set either way, so that what the test runner itself ignores does not count.
    std::signal(signal_number, ignored_by_parent ? SIG_IGN : SIG_DFL);
    prepare_process_signals();
    name_temporary_file(temporary);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) {
      ::_exit(3);
    }
    ::close(fd);
    if (!still_named) {
      forget_temporary_file();
    }
    std::raise(signal_number);
    ::_exit(0);
  }
  Ending ending;
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) {
    ADD_FAILURE() << "no child process to watch";
  } else if (WIFSIGNALED(status)) {
    ending.killed = true;
    ending.signal_number = WTERMSIG(status);
  } else if (WIFEXITED(status)) {
    ending.exit_code = WEXITSTATUS(status);
  }
  ending.file_left = fs::exists(temporary);
  fs::remove_all(pattern);
  return ending;
}

TEST(ProcessSignals, EndingSignalsRemoveTheTemporaryFileAndStillEndTheProcess) {
  struct Case {
    int signal_number;
    bool ignored_by_parent;
    bool still_named;
    bool killed;
    bool file_left;
  };
  const Case cases[] = {
      {SIGTERM, false, true, true, false},
      {SIGINT, false, true, true, false},
      {SIGHUP, false, true, true, false},
      // Renamed or removed already: the handler leaves whatever is at that path alone.
      {SIGTERM, false, false, true, true},
      // Ignored by the parent (a job started with nohup or in the background): still ignored.
      {SIGINT, true, true, false, true},
      {SIGHUP, true, true, false, true},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(std::string(strsignal(test_case.signal_number)) +
                 (test_case.ignored_by_parent ? ", ignored by the parent" : "") +
                 (test_case.still_named ? "" : ", forgotten"));
    const Ending ending = signal_while_writing(test_case.signal_number, test_case.ignored_by_parent,
                                               test_case.still_named);
    EXPECT_EQ(ending.killed, test_case.killed);
    if (test_case.killed) {
      EXPECT_EQ(ending.signal_number, test_case.signal_number);
    } else {
      EXPECT_EQ(ending.exit_code, 0);
    }
    EXPECT_EQ(ending.file_left, test_case.file_left);
  }
}

TEST(ProcessSignals, WritesIntoAClosedPipeFailInsteadOfEndingTheProcess) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[0]);
  const pid_t child = ::fork();
  if (child == 0) {
    std::signal(SIGPIPE, SIG_DFL);
    prepare_process_signals();
    const bool failed = ::write(ends[1], "x", 1) < 0 && errno == EPIPE;
    ::_exit(failed ? 0 : 1);
  }
  ::close(ends[1]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace varnak
