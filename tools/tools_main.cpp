#include <unistd.h>

#include <iostream>

#include "output/process_signals.hpp"
#include "tools/commands.hpp"
#include "tools/progress.hpp"

int main(int argc, char** argv) {
  varnak::prepare_process_signals();
  const bool err_is_terminal = isatty(STDERR_FILENO) == 1;
  return varnak::run_tools(argc, argv,
                           {std::cout, std::cerr, err_is_terminal,
                            err_is_terminal ? varnak::terminal_columns(STDERR_FILENO) : 80});
}
