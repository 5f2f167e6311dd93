#pragma once

#include <cstdint>
#include <string>

namespace varnak {

// Bytes an estimate of `srlg_count` SRLGs holds at its peak in one process: its integer
// counts (a table per thread while it samples), the blocks of orders of its threads when
// the samples are shared out (among threads, or among `process_count` processes, as the
// ranks of an MPI job) and, when `doubles_held` is set, the whole BIM table as doubles
// besides them, as a caller that keeps the results for its reports needs. Results written
// row by row from the counts need no more.
double estimate_memory_bytes(std::int64_t srlg_count, int thread_count, bool doubles_held,
                             int process_count = 1);

// The one check before an estimate allocates its tables, for every command that estimates.
// True when the need fits in the memory a run may use (run_memory_limit); otherwise
// `message` names both sizes, "N SRLGs need X for the result tables, more than the Y of
// this machine" (or "... the address-space limit of Y"), so that a huge SRLGNUM ends in a
// message rather than in the allocator.
bool estimate_fits_in_memory(std::int64_t srlg_count, int thread_count, int process_count,
                             bool doubles_held, std::string& message);

// The same for an estimate that runs in this process alone.
bool estimate_fits_in_memory(std::int64_t srlg_count, int thread_count, bool doubles_held,
                             std::string& message);

}  // namespace varnak
