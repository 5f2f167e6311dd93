#pragma once

#include <chrono>
#include <iostream>

namespace varnak {

// The clock of the elapsed time: one that never goes back, so that setting the system
// clock during a run cannot give a negative or a wrong time.
using ElapsedClock = std::chrono::steady_clock;

// One whole run of Varnak: command line, instance, estimation, XML result file and
// console report. Returns the process exit code: 0 after a complete run, 1 otherwise.
// Output that `out` could not take is reported on standard error.
int run_varnak(int argc, const char* const* argv, std::ostream& out = std::cout);

}  // namespace varnak
