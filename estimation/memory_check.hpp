#pragma once

#include <cstdint>
#include <string>

#include "estimation/spectra_estimator.hpp"

namespace varnak {

// Bytes an estimate holds at its peak in one process: its integer counts (a table per
// thread while it samples), the threads' blocks of orders and own memory when the samples
// are shared out (among threads, or among the ranks of an MPI job) and, when
// `doubles_held` is set, the whole BIM table as doubles besides them, as a caller that
// keeps the results for its reports needs. Results written row by row from the counts need
// no more.
double estimate_memory_bytes(const EstimateShape& shape, bool doubles_held);

// The one check before an estimate allocates its tables, for every command that estimates.
// True when the need fits in the memory a run may use (run_memory_limit); otherwise
// `message` names both sizes, "N SRLGs need X for the result tables, more than the Y of
// this machine" (or "... the address-space limit of Y"; "N SRLGs on T threads need X for
// the result tables and the threads' orders" when shared out), so that a huge SRLGNUM or
// thread count ends in a message rather than in the allocator.
bool estimate_fits_in_memory(const EstimateShape& shape, bool doubles_held, std::string& message);

}  // namespace varnak
