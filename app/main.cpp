#include "app/run_driver.hpp"

int main(int argc, char** argv) {
  return varnak::run_varnak(argc, argv);
}
