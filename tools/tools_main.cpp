#include <unistd.h>

#include <iostream>
#include <sstream>
#include <streambuf>
#include <string>

#include "output/process_signals.hpp"
#include "tools/commands.hpp"
#include "tools/progress.hpp"

#ifdef VARNAK_WITH_MPI
#include "tools/mpi_ranks.hpp"

namespace {

// Takes whatever it is given and keeps nothing: the results of ranks other than 0.
class DiscardingBuffer final : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

// One rank of an MPI job. Every rank runs the command; rank 0 writes the results and the
// others keep their messages back. Every rank says once whether it failed, within the
// estimate when it gets that far, else here; the lowest rank that failed shows its
// message, so that a bad file on every machine is reported once.
int run_as_rank(int argc, char** argv) {
  varnak::MpiRanks ranks(&argc, &argv);
  const bool first = ranks.rank() == 0;
  DiscardingBuffer discard;
  std::ostream discarded(&discard);
  std::ostringstream held_messages;
  const bool err_is_terminal = first && isatty(STDERR_FILENO) == 1;
  varnak::ToolsConsole console{first ? std::cout : discarded, first ? std::cerr : held_messages,
                               err_is_terminal,
                               err_is_terminal ? varnak::terminal_columns(STDERR_FILENO) : 80};
  console.processes = &ranks;
  const int code = varnak::run_tools(argc, argv, console);
  // One write, so that the line stays whole beside the other ranks' output.
  const auto show_held_messages = [&] {
    if (!first) {
      std::cerr << ("rank " + std::to_string(ranks.rank()) + ": " + held_messages.str())
                << std::flush;
    }
  };
  if (!ranks.agreed()) {
    const int lowest_failing = ranks.lowest_failing_rank(code == varnak::kExitSuccess);
    if (lowest_failing == ranks.rank()) {
      show_held_messages();
    }
    return lowest_failing < 0 || code != varnak::kExitSuccess ? code : varnak::kExitFailure;
  }
  if (code != varnak::kExitSuccess && !ranks.some_rank_failed()) {
    // Failed after all ranks set out: the others may be waiting for this one in an
    // exchange, so the whole job ends here.
    show_held_messages();
    ranks.abort_job(code);
  }
  return code;
}

}  // namespace
#endif

int main(int argc, char** argv) {
  varnak::prepare_process_signals();
#ifdef VARNAK_WITH_MPI
  if (varnak::launched_by_mpirun()) {
    return run_as_rank(argc, argv);
  }
#endif
  const bool err_is_terminal = isatty(STDERR_FILENO) == 1;
  return varnak::run_tools(argc, argv,
                           {std::cout, std::cerr, err_is_terminal,
                            err_is_terminal ? varnak::terminal_columns(STDERR_FILENO) : 80});
}
