#pragma once

#include <cstdint>
#include <string>

namespace varnak {

// Bytes of physical memory of this machine; the ceiling for what one run may allocate.
std::uint64_t physical_memory_bytes();

// "1.5 GiB", "300 MiB", "12 KiB", "512 bytes": a size for a message.
std::string describe_bytes(double bytes);

// A size in bytes: a number, optionally with a fraction, then nothing or K, M, G or T
// (powers of 1024, optionally followed by "iB" or "B"). False for anything else or 0.
bool read_memory_size(const std::string& text, std::uint64_t& bytes);

}  // namespace varnak
