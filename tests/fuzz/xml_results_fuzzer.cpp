// libFuzzer target: any bytes as a Varnak XML result file for the result reader.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/fuzz_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const varnak::fuzz::CheckResult result = varnak::fuzz::check_xml_results_input(data, size);
  if (!result.violation.empty()) {
    std::fprintf(stderr, "XML result input broke an invariant: %s\n", result.violation.c_str());
    std::abort();
  }
  return 0;
}
