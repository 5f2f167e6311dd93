// libFuzzer target: any bytes as an instance file, through the reader and, when they are
// accepted, a short estimation whose results are checked.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/fuzz_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const varnak::fuzz::CheckResult result = varnak::fuzz::check_instance_input(data, size);
  if (!result.violation.empty()) {
    std::fprintf(stderr, "instance input broke an invariant: %s\n", result.violation.c_str());
    std::abort();
  }
  return 0;
}
