// libFuzzer target: any bytes as command-line words (one per line) for the option reader.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/fuzz_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const varnak::fuzz::CheckResult result = varnak::fuzz::check_command_line_input(data, size);
  if (!result.violation.empty()) {
    std::fprintf(stderr, "command line input broke an invariant: %s\n", result.violation.c_str());
    std::abort();
  }
  return 0;
}
