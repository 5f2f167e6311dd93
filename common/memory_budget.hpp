#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace varnak {

// Bytes of physical memory of this machine.
std::uint64_t physical_memory_bytes();

// The address-space limit of this process (RLIMIT_AS, `ulimit -v`) in bytes; none when
// unlimited.
std::optional<std::uint64_t> address_space_limit_bytes();

// What sets the memory a run may use.
enum class MemoryBound { kMachine, kAddressSpaceLimit, kGiven };

struct MemoryLimit {
  std::uint64_t bytes = 0;
  MemoryBound bound = MemoryBound::kMachine;
};

// The one memory policy of every command: a run may use what the user gave (`given`, not
// 0, as --max-memory), else the smaller of the machine's physical memory and the
// address-space limit, beyond which every allocation fails however much the machine has.
// The machine's figures are arguments, so that the policy can be tried on any machine.
MemoryLimit memory_limit_from(std::uint64_t given, std::uint64_t physical,
                              std::optional<std::uint64_t> address_space_limit);

// The policy for this process, on this machine.
MemoryLimit run_memory_limit(std::uint64_t given = 0);

// "the 23.5 GiB of this machine", "the address-space limit of 1.9 GiB", "the memory
// budget of 512.0 MiB": what a message that says "more than ..." ends with.
std::string describe_memory_limit(const MemoryLimit& limit);

// "1.5 GiB", "300 MiB", "12 KiB", "512 bytes": a size for a message.
std::string describe_bytes(double bytes);

// A size in bytes: a number, optionally with a fraction, then nothing or K, M, G or T
// (powers of 1024, optionally followed by "iB" or "B"). False for anything else or 0.
bool read_memory_size(const std::string& text, std::uint64_t& bytes);

}  // namespace varnak
