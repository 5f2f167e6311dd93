// libFuzzer target: any bytes as the options (one word per line) of one varnak-tools
// command, VARNAK_FUZZ_COMMAND, run on small fixture files.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/fuzz_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const varnak::fuzz::CheckResult result =
      varnak::fuzz::check_tools_input(VARNAK_FUZZ_COMMAND, data, size);
  if (!result.violation.empty()) {
    std::fprintf(stderr, "varnak-tools %s input broke an invariant: %s\n", VARNAK_FUZZ_COMMAND,
                 result.violation.c_str());
    std::abort();
  }
  return 0;
}
