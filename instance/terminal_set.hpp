#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varnak {

// The terminals of a run: the vertices that must lie in one piece for the network to
// count as connected, and whose pairs the pairwise connectivity counts. No terminals
// means every vertex is one.
//
// Reads the text of --terminals: a comma list of vertex ids ("1,4,7"), or "@FILE" for a
// file with one id a line (empty lines and lines starting with '#' are passed over).
// Refuses ids outside 1..VNUM, ids given twice and fewer than two ids. Returns 0, or 1
// with `failure` set to one line that names the file line and the value at fault.
int read_terminals(const std::string& text, std::int32_t vertex_count,
                   std::vector<std::int32_t>& terminals, std::string& failure);

// The same checks on ids already read (from Python, say). Returns 0 or 1 with `failure`.
int check_terminals(const std::vector<std::int64_t>& ids, std::int32_t vertex_count,
                    std::vector<std::int32_t>& terminals, std::string& failure);

// Whether `terminals` name every vertex 1..VNUM, or none: then connectivity is
// all-terminal, and the estimator keeps its fast searches.
bool all_vertices_are_terminals(const std::vector<std::int32_t>& terminals,
                                std::int32_t vertex_count);

}  // namespace varnak
