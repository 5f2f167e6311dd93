// libFuzzer target: any bytes as a terminal file, and as a --terminals comma list.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/fuzz_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const varnak::fuzz::CheckResult result = varnak::fuzz::check_terminals_input(data, size);
  if (!result.violation.empty()) {
    std::fprintf(stderr, "terminal input broke an invariant: %s\n", result.violation.c_str());
    std::abort();
  }
  return 0;
}
