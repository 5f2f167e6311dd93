#pragma once

#include <iostream>
#include <string>
#include <vector>

#include "instance/network_instance.hpp"

namespace varnak {

// Results of load_instance.
inline constexpr int kLoadOk = 0;
inline constexpr int kLoadFailed = 1;      // the driver adds "Error loading file"
inline constexpr int kLoadCannotOpen = 2;  // "Error in openening file" was printed

// Appends to `fields` the pieces of `text` cut at every `delimiter`. A text without
// the delimiter gives no pieces; otherwise there is one piece more than delimiters,
// empty pieces included.
void split_fields(const std::string& text, char delimiter, std::vector<std::string>& fields);

// Reads the instance file at `path` into `instance`. A refusal is explained on `out`
// in one line that names the file line and the offending value.
int load_instance(std::string path, NetworkInstance& instance, std::ostream& out = std::cout);

}  // namespace varnak
