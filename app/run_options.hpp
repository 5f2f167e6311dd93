#pragma once

#include <cstdint>
#include <iostream>
#include <string>

namespace varnak {

// The settings of one run, as the command line gives them.
struct RunOptions {
  std::string graph_path;
  std::int32_t sample_size = -1;
  std::int32_t seed = -1;  // 0 or less: no seed was given
  bool xml_requested = false;
  std::string output_path;
};

// Fills `options` from the command line. Returns 0 when the run goes on and 1 when it
// stops (help shown, command line rejected or a check failed); whatever is to be said
// has then been written to `out`.
int read_run_options(int argc, const char* const* argv, RunOptions& options,
                     std::ostream& out = std::cout);

}  // namespace varnak
