#pragma once

#include <iostream>

namespace varnak {

// One whole run of Varnak: command line, instance, estimation, XML result file and
// console report. Returns the process exit code: 0 after a complete run, 1 otherwise.
int run_varnak(int argc, const char* const* argv, std::ostream& out = std::cout);

}  // namespace varnak
