#pragma once

#include <cstdint>
#include <string>

namespace varnak {

// Bytes an estimate of `srlg_count` SRLGs holds at its peak: its integer counts (a table
// per thread while it samples) and, when `doubles_held` is set, the whole BIM table as
// doubles besides them, as a caller that keeps the results for its reports needs. Results
// written row by row from the counts need no more.
double estimate_memory_bytes(std::int64_t srlg_count, int thread_count, bool doubles_held);

// The one check before an estimate allocates its tables, for every command that estimates.
// True when the need fits in this machine's physical memory; otherwise `message` says
// "N SRLGs need X for the result tables, more than the Y of this machine", so that a huge
// SRLGNUM ends in a message rather than in the allocator.
bool estimate_fits_in_memory(std::int64_t srlg_count, int thread_count, bool doubles_held,
                             std::string& message);

}  // namespace varnak
