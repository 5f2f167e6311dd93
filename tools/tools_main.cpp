#include <unistd.h>

#include <iostream>

#include "output/process_signals.hpp"
#include "tools/commands.hpp"

int main(int argc, char** argv) {
  varnak::prepare_process_signals();
  return varnak::run_tools(argc, argv, {std::cout, std::cerr, isatty(STDERR_FILENO) == 1});
}
