#include <csignal>

#include "app/run_driver.hpp"

int main(int argc, char** argv) {
  // Past a file size limit a write should fail and be reported, not end the process
  // half-way through the result file.
  std::signal(SIGXFSZ, SIG_IGN);
  return varnak::run_varnak(argc, argv);
}
