#include "common/invariant.hpp"

#include <cstdio>
#include <cstdlib>

namespace varnak {

void broken_invariant(const char* what) {
  std::fprintf(stderr, "Varnak internal error: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

}  // namespace varnak
