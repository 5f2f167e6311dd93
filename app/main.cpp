#include "app/run_driver.hpp"
#include "output/process_signals.hpp"

int main(int argc, char** argv) {
  varnak::prepare_process_signals();
  return varnak::run_varnak(argc, argv);
}
