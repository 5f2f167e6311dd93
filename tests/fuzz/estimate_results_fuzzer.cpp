// libFuzzer target: any bytes as the JSON or CSV report of varnak-tools estimate, as
// `reliability --results` reads it.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/fuzz_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const varnak::fuzz::CheckResult result = varnak::fuzz::check_estimate_results_input(data, size);
  if (!result.violation.empty()) {
    std::fprintf(stderr, "estimate report input broke an invariant: %s\n",
                 result.violation.c_str());
    std::abort();
  }
  return 0;
}
