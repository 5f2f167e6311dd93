#pragma once

#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "instance/network_instance.hpp"

namespace varnak {

// Results of reading an instance file.
inline constexpr int kLoadOk = 0;
inline constexpr int kLoadFailed = 1;      // refused, or memory ran out while reading
inline constexpr int kLoadCannotOpen = 2;  // missing, unreadable or a directory

// Why a file was not read. Each executable words it its own way.
struct InstanceRefusal {
  int code = kLoadOk;
  std::uint64_t line = 0;  // the file line to blame, counted from 1; 0 when no one line is
  std::string reason;      // one line without its line feed; empty when memory ran out
};

// Appends to `fields` the first `limit` pieces of `text` cut at every delimiter; the rest
// of the text is dropped. A text without the delimiter gives no pieces; empty pieces count.
void split_fields(const std::string& text, char delimiter, std::size_t limit,
                  std::vector<std::string>& fields);

// Reads the instance file at `path` into `instance`, printing nothing. Returns the code,
// also kept in `refusal` with the line and reason of a refusal.
int read_instance(const std::string& path, NetworkInstance& instance, InstanceRefusal& refusal);

// read_instance in Varnak's words on `out`: "Error in openening file " for a file that
// cannot be opened, else "Instance file line N: reason" (or "Instance file: reason").
int load_instance(std::string path, NetworkInstance& instance, std::ostream& out = std::cout);

}  // namespace varnak
