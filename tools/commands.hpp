#pragma once

#include <ostream>

#include "runs/run_request.hpp"

namespace varnak {

class ProcessGroup;

// Where a command writes: results to `out`, messages to `err`. The progress bar is drawn
// on `err` only when it is a terminal, never into a file or a pipe.
struct ToolsConsole {
  std::ostream& out;
  std::ostream& err;
  bool err_is_terminal = false;
  int err_columns = 80;  // the terminal's width, which the bar fits into
  // What `out` was given, named in the message when it could not be written.
  const char* out_holds = "results";
  // The MPI ranks this process runs among; none: it runs alone. Only rank 0 writes results.
  ProcessGroup* processes = nullptr;
};

// Runs `varnak-tools COMMAND [options]` (argv[0] is the program) and returns the exit code.
// Whatever the command, output that did not reach `out` is reported on `err`, exit code 1.
int run_tools(int argc, const char* const* argv, ToolsConsole console);

}  // namespace varnak
