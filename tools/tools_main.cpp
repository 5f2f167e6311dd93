#include <unistd.h>

#include <iostream>

#include "tools/commands.hpp"

int main(int argc, char** argv) {
  return varnak::run_tools(argc, argv, {std::cout, std::cerr, isatty(STDERR_FILENO) == 1});
}
