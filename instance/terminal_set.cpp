#include "instance/terminal_set.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <unordered_set>

#include "common/printable.hpp"

namespace varnak {
namespace {

// Longer lines than this hold no vertex id; refusing them keeps a device such as
// /dev/zero from being read without end.
constexpr std::size_t kLongestLine = 256;

std::string range_text(std::int32_t vertex_count) {
  return "1.." + std::to_string(vertex_count);
}

// One id: a whole decimal number, surrounding blanks allowed.
bool parse_id(const std::string& text, std::int64_t& id) {
  const char* start = text.c_str();
  while (*start == ' ' || *start == '\t') {
    ++start;
  }
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(start, &end, 10);
  if (end == start || errno == ERANGE) {
    return false;
  }
  while (*end == ' ' || *end == '\t') {
    ++end;
  }
  id = value;
  return *end == '\0';
}

// Adds one id, refusing what a terminal set cannot hold. `where` prefixes the message.
bool add_id(std::int64_t id, std::int32_t vertex_count, std::unordered_set<std::int32_t>& seen,
            std::vector<std::int32_t>& terminals, const std::string& where, std::string& failure) {
  if (id < 1 || id > vertex_count) {
    failure = where + "terminal " + std::to_string(id) + " is outside " + range_text(vertex_count) +
              "; expected a vertex id of the instance";
    return false;
  }
  const std::int32_t vertex = static_cast<std::int32_t>(id);
  if (!seen.insert(vertex).second) {
    failure = where + "terminal " + std::to_string(id) +
              " is given twice; expected each vertex at most once";
    return false;
  }
  terminals.push_back(vertex);
  return true;
}

bool enough(const std::vector<std::int32_t>& terminals, const std::string& where,
            std::string& failure) {
  if (terminals.size() >= 2) {
    return true;
  }
  failure = where + std::to_string(terminals.size()) +
            (terminals.size() == 1 ? " terminal" : " terminals") +
            " given; expected at least two vertex ids";
  return false;
}

// Lines beyond one a vertex, comments and empty lines: a file of comments that never ends
// (a pipe from `yes '#'`) is refused after this many instead of read for ever.
constexpr std::uint64_t kMostOtherLines = std::uint64_t{1} << 24;

int read_terminal_file(const std::string& path, std::int32_t vertex_count,
                       std::vector<std::int32_t>& terminals, std::string& failure) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    failure = "cannot open terminal file " + printable(path) + ": " + std::strerror(errno);
    return 1;
  }
  std::unordered_set<std::int32_t> seen;
  std::string line;
  std::uint64_t number = 0;
  for (;;) {
    line.clear();
    int c = 0;
    while ((c = file.get()) != EOF && c != '\n') {
      if (line.size() == kLongestLine) {
        failure = printable(path) + " line " + std::to_string(number + 1) +
                  ": the line is longer than " + std::to_string(kLongestLine) +
                  " bytes; expected one vertex id a line";
        return 1;
      }
      line.push_back(static_cast<char>(c));
    }
    if (c == EOF && line.empty()) {
      break;
    }
    ++number;
    if (number > static_cast<std::uint64_t>(std::max(vertex_count, 0)) + kMostOtherLines) {
      failure = printable(path) + " line " + std::to_string(number) + ": more than " +
                std::to_string(number - 1) +
                " lines, one for each vertex and the rest comments; expected a file that ends";
      return 1;
    }
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    // A byte-order mark before the first line says only that the file is UTF-8.
    if (number == 1 && line.starts_with("\xEF\xBB\xBF")) {
      line.erase(0, 3);
    }
    if (line.find_first_not_of(" \t") == std::string::npos || line.front() == '#') {
      continue;
    }
    const std::string where = printable(path) + " line " + std::to_string(number) + ": ";
    std::int64_t id = 0;
    if (!parse_id(line, id)) {
      failure = where + "terminal " + quoted(line, 60) +
                " is not a vertex id; expected a whole number from " + range_text(vertex_count);
      return 1;
    }
    if (!add_id(id, vertex_count, seen, terminals, where, failure)) {
      return 1;
    }
  }
  if (file.bad()) {
    failure = "cannot read terminal file " + printable(path);
    return 1;
  }
  return enough(terminals, printable(path) + ": ", failure) ? 0 : 1;
}

}  // namespace

int read_terminals(const std::string& text, std::int32_t vertex_count,
                   std::vector<std::int32_t>& terminals, std::string& failure) {
  terminals.clear();
  if (!text.empty() && text.front() == '@') {
    return read_terminal_file(text.substr(1), vertex_count, terminals, failure);
  }
  std::unordered_set<std::int32_t> seen;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma - start);
    std::int64_t id = 0;
    if (!parse_id(item, id)) {
      failure = "--terminals item " + quoted(item, 60) +
                " is not a vertex id; expected a comma list of whole numbers from " +
                range_text(vertex_count) + " or @FILE";
      return 1;
    }
    if (!add_id(id, vertex_count, seen, terminals, "--terminals: ", failure)) {
      return 1;
    }
    if (comma == std::string::npos) {
      break;
    }
    start = comma + 1;
  }
  return enough(terminals, "--terminals: ", failure) ? 0 : 1;
}

int check_terminals(const std::vector<std::int64_t>& ids, std::int32_t vertex_count,
                    std::vector<std::int32_t>& terminals, std::string& failure) {
  terminals.clear();
  std::unordered_set<std::int32_t> seen;
  for (const std::int64_t id : ids) {
    if (!add_id(id, vertex_count, seen, terminals, "", failure)) {
      return 1;
    }
  }
  return enough(terminals, "", failure) ? 0 : 1;
}

bool all_vertices_are_terminals(const std::vector<std::int32_t>& terminals,
                                std::int32_t vertex_count) {
  // The ids are distinct and within 1..VNUM once checked, so their number tells.
  return terminals.empty() || static_cast<std::int64_t>(terminals.size()) == vertex_count;
}

}  // namespace varnak
