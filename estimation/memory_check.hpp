#pragma once

#include <cstdint>
#include <string>

namespace varnak {

// Bytes an estimate of `srlg_count` SRLGs holds at its peak: the result tables, the
// estimator's working arrays on `thread_count` threads and, when `xml_file` is set, the
// XML result document, which is built whole before it is written.
double estimate_memory_bytes(std::int64_t srlg_count, int thread_count, bool xml_file);

// The one check before an estimate allocates its tables, for every command that estimates.
// True when the need fits in this machine's physical memory; otherwise `message` says
// "N SRLGs need X for the result tables[ and the XML result file], more than the Y of this
// machine", so that a huge SRLGNUM ends in a message rather than in the allocator.
bool estimate_fits_in_memory(std::int64_t srlg_count, int thread_count, bool xml_file,
                             std::string& message);

}  // namespace varnak
