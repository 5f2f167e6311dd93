#include "instance/instance_reader.hpp"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "common/memory_budget.hpp"
#include "common/printable.hpp"

namespace varnak {
namespace {

// One std::map node: three links and a colour beside the key and value, as malloc
// rounds it up. Used to foresee the size of the edge count table before building it.
constexpr double kMapNodeBytes = 48.0;

// Longer lines are refused: no instance needs them, and reading on would fill memory.
constexpr std::size_t kLongestLine = std::size_t{256} << 20;

using LineNumber = std::uint64_t;
using Refusal = InstanceRefusal;

// The lines that set the values the instance holds at the end of the file. Later lines
// override earlier ones, so checks that can only be made once the file is read need to
// know which line to point at.
struct SourceLines {
  LineNumber vertex_count = 0;
  LineNumber edge_count = 0;
  LineNumber srlg_count = 0;
  std::map<std::int32_t, LineNumber> edges;
  // Hints for a file that seems to lack its count lines.
  bool first_line_has_byte_order_mark = false;
  bool saw_only_carriage_returns = false;
};

bool refuse(Refusal& refusal, LineNumber line, std::string reason) {
  refusal.line = line;
  refusal.reason = std::move(reason);
  return false;
}

// Reads `text` as atof does (leading white space skipped, the longest numeric prefix
// taken, 0 when there is none) and truncates toward zero. A value that does not truncate
// into the 32-bit signed range, an infinity or a NaN has no meaning as a count, id or
// end, so it is refused rather than wrapped: the message names `what` and the number
// text exactly as far as it was read.
bool read_number(const std::string& text, const char* what, LineNumber line, std::int32_t& value,
                 Refusal& refusal) {
  const char* const start = text.c_str();
  char* end = nullptr;  // strtod is atof with a report of how far it read
  const double number = std::strtod(start, &end);
  // Both bounds are open: everything strictly between them truncates into range
  // (2147483647.5 gives 2147483647), and a NaN fails both comparisons.
  if (number > -2147483649.0 && number < 2147483648.0) {
    value = static_cast<std::int32_t>(number);
    return true;
  }
  const char* first = start;
  while (first < end && std::isspace(static_cast<unsigned char>(*first)) != 0) {
    ++first;
  }
  return refuse(refusal, line,
                std::string(what) + ' ' +
                    quoted(std::string(first, static_cast<const char*>(end))) +
                    " is not a 32-bit signed integer; expected a number from -2147483648 to "
                    "2147483647");
}

bool read_count_line(const std::vector<std::string>& fields, LineNumber line, std::int32_t& count,
                     LineNumber& count_line, Refusal& refusal) {
  if (!read_number(fields[1], fields[0].c_str(), line, count, refusal)) {
    return false;
  }
  count_line = line;
  return true;
}

bool read_edge_line(const std::string& text, const std::vector<std::string>& fields,
                    LineNumber line, std::vector<std::string>& pieces, NetworkInstance& instance,
                    SourceLines& lines, Refusal& refusal) {
  if (fields.size() < 3) {
    return refuse(
        refusal, line,
        "E line " + quoted(text) + " has no end vertices; expected a line such as E:1:1,2");
  }
  pieces.clear();
  split_fields(fields[2], ',', 2, pieces);
  if (pieces.empty()) {
    return refuse(refusal, line,
                  "E line " + quoted(text) +
                      " has no \",\" between its end vertices; expected a line such as E:1:1,2");
  }
  std::int32_t id = 0;
  std::int32_t first_end = 0;
  std::int32_t second_end = 0;
  if (!read_number(fields[1], "edge id", line, id, refusal) ||
      !read_number(pieces[0], "end vertex", line, first_end, refusal) ||
      !read_number(pieces[1], "end vertex", line, second_end, refusal)) {
    return false;
  }
  instance.edges[id] = {first_end, second_end};
  lines.edges[id] = line;
  return true;
}

bool read_srlg_line(const std::string& text, const std::vector<std::string>& fields,
                    LineNumber line, std::vector<std::string>& pieces, NetworkInstance& instance,
                    Refusal& refusal) {
  if (fields.size() < 3) {
    return refuse(
        refusal, line,
        "SRLG line " + quoted(text) + " has no member list; expected a line such as SRLG:1:1,2");
  }
  std::int32_t id = 0;
  if (!read_number(fields[1], "SRLG id", line, id, refusal)) {
    return false;
  }
  // One member needs no comma; only an empty list has none. Members are read one piece
  // at a time, so a long list costs its numbers and not a string per member.
  const std::string& list = fields[2];
  std::vector<std::int32_t> members;
  std::string& piece = pieces.emplace_back();
  for (std::size_t start = 0; !list.empty() && start <= list.size();) {
    const std::size_t comma = std::min(list.find(',', start), list.size());
    piece.assign(list, start, comma - start);
    std::int32_t member = 0;
    if (!read_number(piece, "SRLG member", line, member, refusal)) {
      return false;
    }
    members.push_back(member);
    start = comma + 1;
  }
  instance.srlgs[id] = std::move(members);
  return true;
}

// Reads the next line, without its line feed, into `text`; false at the end of the file.
// A line longer than kLongestLine is cut there and `too_long` set, so that a file without
// line feeds (a device that never ends, say) cannot take all memory.
bool read_line(std::streambuf& file, std::string& text, bool& too_long) {
  text.clear();
  too_long = false;
  bool any = false;
  for (int byte = file.sbumpc(); byte != std::char_traits<char>::eof(); byte = file.sbumpc()) {
    any = true;
    if (byte == '\n') {
      return true;
    }
    if (text.size() == kLongestLine) {
      too_long = true;
      return true;
    }
    text.push_back(static_cast<char>(byte));
  }
  return any;
}

// Stores every recognised line; unknown and misspelt keyword lines pass without a word.
// A read error ends the loop like the end of the file does.
bool read_lines(std::istream& file, NetworkInstance& instance, SourceLines& lines,
                Refusal& refusal) {
  std::string text;
  std::vector<std::string> fields;
  std::vector<std::string> pieces;
  LineNumber line = 0;
  bool too_long = false;
  while (read_line(*file.rdbuf(), text, too_long)) {
    ++line;
    if (too_long) {
      return refuse(refusal, line,
                    "the line is longer than " + describe_bytes(kLongestLine) +
                        "; expected keyword lines such as E:1:1,2");
    }
    if (line == 1) {
      const std::string byte_order_mark = "\xEF\xBB\xBF";
      lines.first_line_has_byte_order_mark = text.starts_with(byte_order_mark + "VNUM:") ||
                                             text.starts_with(byte_order_mark + "ENUM:") ||
                                             text.starts_with(byte_order_mark + "SRLGNUM:");
      lines.saw_only_carriage_returns = text.find("\rVNUM:") != std::string::npos ||
                                        text.find("\rENUM:") != std::string::npos ||
                                        text.find("\rSRLGNUM:") != std::string::npos;
    }
    // A CRLF file leaves "\r" at the end of every line. Numbers stop before it anyway,
    // but "SRLG:1:\r" would read as the one member "\r" = 0 instead of an empty list.
    if (!text.empty() && text.back() == '\r') {
      text.pop_back();
    }
    if (text.empty() || text.front() == '#') {
      continue;
    }
    fields.clear();
    split_fields(text, ':', 3, fields);
    if (fields.empty()) {
      continue;
    }
    const std::string& keyword = fields[0];
    bool stored = true;
    if (keyword == "VNUM") {
      stored = read_count_line(fields, line, instance.vertex_count, lines.vertex_count, refusal);
    } else if (keyword == "ENUM") {
      stored = read_count_line(fields, line, instance.edge_count, lines.edge_count, refusal);
    } else if (keyword == "SRLGNUM") {
      stored = read_count_line(fields, line, instance.srlg_count, lines.srlg_count, refusal);
    } else if (keyword == "E") {
      stored = read_edge_line(text, fields, line, pieces, instance, lines, refusal);
    } else if (keyword == "SRLG") {
      stored = read_srlg_line(text, fields, line, pieces, instance, refusal);
    }
    if (!stored) {
      return false;
    }
  }
  return true;
}

bool check_count_present(LineNumber count_line, const SourceLines& lines, const char* keyword,
                         const char* example, Refusal& refusal) {
  if (count_line != 0) {
    return true;
  }
  std::string reason = std::string("no ") + keyword + " line; expected a line such as " + example;
  if (lines.saw_only_carriage_returns) {
    reason += " (the file ends its lines with carriage returns only; end them with line feeds)";
  } else if (lines.first_line_has_byte_order_mark) {
    reason += " (the file begins with a byte-order mark, which hides the keyword of line 1)";
  }
  return refuse(refusal, 0, reason);
}

bool check_count_not_negative(std::int32_t count, LineNumber count_line, const char* keyword,
                              Refusal& refusal) {
  if (count >= 0) {
    return true;
  }
  return refuse(refusal, count_line,
                std::string(keyword) + ' ' + std::to_string(count) +
                    " is negative; expected a count of 0 or more");
}

// With no SRLG there is no order to sample and the result tables would be empty.
bool check_some_srlg(std::int32_t srlg_count, LineNumber count_line, Refusal& refusal) {
  if (srlg_count != 0) {
    return true;
  }
  return refuse(refusal, count_line,
                "SRLGNUM 0 leaves no SRLG to estimate; expected a count of 1 or more");
}

// Ends are checked against the final VNUM, and only for edges that have an E line: an
// edge without one reads as (0, 0), which the estimator takes as joining nothing. When
// several E lines are at fault, the one nearest the top of the file is named.
bool check_edge_ends(const NetworkInstance& instance, const SourceLines& lines, Refusal& refusal) {
  LineNumber worst_line = 0;
  std::int32_t worst_edge = 0;
  std::int32_t worst_end = 0;
  for (const auto& [edge, ends] : instance.edges) {
    const auto source = lines.edges.find(edge);
    if (source == lines.edges.end()) {
      continue;
    }
    const bool first_bad = !is_vertex(ends.first, instance.vertex_count);
    if ((first_bad || !is_vertex(ends.second, instance.vertex_count)) &&
        (worst_line == 0 || source->second < worst_line)) {
      worst_line = source->second;
      worst_edge = edge;
      worst_end = first_bad ? ends.first : ends.second;
    }
  }
  if (worst_line == 0) {
    return true;
  }
  return refuse(refusal, worst_line,
                "end vertex " + std::to_string(worst_end) + " of edge " +
                    std::to_string(worst_edge) + " is outside 1.." +
                    std::to_string(instance.vertex_count));
}

// The count table gets one node per listed edge id: refused before it is built when the
// lists name more edges than this machine's memory holds nodes for.
bool check_edge_table_fits(const NetworkInstance& instance, Refusal& refusal) {
  std::uint64_t listings = 0;
  for (const auto& [srlg, members] : instance.srlgs) {
    listings += members.size();
  }
  const double needed = static_cast<double>(listings) * kMapNodeBytes;
  const std::uint64_t available = physical_memory_bytes();
  if (needed <= static_cast<double>(available)) {
    return true;
  }
  return refuse(refusal, 0,
                "the SRLG lines list " + std::to_string(listings) +
                    " members, whose edge table needs " + describe_bytes(needed) +
                    " of memory, more than the " + describe_bytes(static_cast<double>(available)) +
                    " of this machine");
}

bool check_instance(const NetworkInstance& instance, const SourceLines& lines, Refusal& refusal) {
  return check_count_present(lines.vertex_count, lines, "VNUM", "VNUM:4", refusal) &&
         check_count_present(lines.edge_count, lines, "ENUM", "ENUM:4", refusal) &&
         check_count_present(lines.srlg_count, lines, "SRLGNUM", "SRLGNUM:3", refusal) &&
         check_count_not_negative(instance.vertex_count, lines.vertex_count, "VNUM", refusal) &&
         check_count_not_negative(instance.edge_count, lines.edge_count, "ENUM", refusal) &&
         check_count_not_negative(instance.srlg_count, lines.srlg_count, "SRLGNUM", refusal) &&
         check_some_srlg(instance.srlg_count, lines.srlg_count, refusal) &&
         check_edge_ends(instance, lines, refusal) && check_edge_table_fits(instance, refusal);
}

// Built from the final member lists, so neither a late ENUM line nor a replaced SRLG
// list can leave counts that disagree with the lists.
bool derive_edge_srlg_count(NetworkInstance& instance, Refusal& refusal) {
  // Only listed edges get an entry; every other edge reads as 0 memberships, so a large
  // ENUM costs nothing.
  auto& counts = instance.edge_srlg_count;
  for (const auto& [srlg, members] : instance.srlgs) {
    for (const std::int32_t member : members) {
      std::int32_t& count = counts[member];
      if (count == std::numeric_limits<std::int32_t>::max()) {
        return refuse(refusal, 0,
                      "edge " + std::to_string(member) +
                          " is listed in SRLG lines more than 2147483647 times");
      }
      ++count;
    }
  }
  return true;
}

}  // namespace

void split_fields(const std::string& text, char delimiter, std::size_t limit,
                  std::vector<std::string>& fields) {
  std::size_t delimiter_at = text.find(delimiter);
  if (delimiter_at == std::string::npos || limit == 0) {
    return;
  }
  std::size_t start = 0;
  for (std::size_t added = 1; delimiter_at != std::string::npos && added < limit; ++added) {
    fields.emplace_back(text, start, delimiter_at - start);
    start = delimiter_at + 1;
    delimiter_at = text.find(delimiter, start);
  }
  fields.emplace_back(text, start,
                      delimiter_at == std::string::npos ? std::string::npos : delimiter_at - start);
}

int read_instance(const std::string& path, NetworkInstance& instance, InstanceRefusal& refusal) {
  refusal = InstanceRefusal{};
  try {
    // On POSIX an ifstream opens a directory without complaint and only its first read
    // fails, which would pass for an empty file.
    std::error_code error;
    const bool is_directory = std::filesystem::is_directory(path, error);
    // The system would open the name only up to a NUL byte: another file than the one named.
    const bool cut_short = path.find('\0') != std::string::npos;
    std::ifstream file;
    if (!is_directory && !cut_short) {
      file.open(path);
    }
    if (!file.is_open()) {
      refusal.code = kLoadCannotOpen;
      return kLoadCannotOpen;
    }
    SourceLines lines;
    if (read_lines(file, instance, lines, refusal) && check_instance(instance, lines, refusal) &&
        derive_edge_srlg_count(instance, refusal)) {
      return kLoadOk;
    }
  } catch (const std::exception&) {
    // Memory ran out: there is nothing more precise to say than that the file was not read.
    refusal.line = 0;
    refusal.reason.clear();
  }
  refusal.code = kLoadFailed;
  return kLoadFailed;
}

int load_instance(std::string path, NetworkInstance& instance, std::ostream& out) {
  InstanceRefusal refusal;
  const int code = read_instance(path, instance, refusal);
  if (code == kLoadCannotOpen) {
    out << "Error in openening file \n" << std::flush;
  } else if (code == kLoadFailed && refusal.reason.empty()) {
    out << "Instance file: not enough memory to read it" << std::endl;
  } else if (code == kLoadFailed) {
    if (refusal.line == 0) {
      out << "Instance file: " << refusal.reason << std::endl;
    } else {
      out << "Instance file line " << refusal.line << ": " << refusal.reason << std::endl;
    }
  }
  return code;
}

}  // namespace varnak
