// libFuzzer target: any bytes as the JSON report of varnak-tools exact, as
// `reliability --results` and varnak.read_result read it.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/fuzz_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const varnak::fuzz::CheckResult result = varnak::fuzz::check_exact_results_input(data, size);
  if (!result.violation.empty()) {
    std::fprintf(stderr, "exact report input broke an invariant: %s\n", result.violation.c_str());
    std::abort();
  }
  return 0;
}
