#include "instance/srlg_probabilities.hpp"

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <unordered_set>

#include "common/printable.hpp"

namespace varnak {

namespace {

// An "id,p" line is short; a longer one is refused before it is held whole, so that a
// device without line feeds (/dev/zero) ends the run instead of filling memory.
constexpr std::size_t kLongestLine = 64 * 1024;

// Lines beyond one a SRLG, comments and empty lines: a file of comments that never ends
// (a pipe from `yes '#'`) is refused after this many instead of read for ever.
constexpr std::uint64_t kMostOtherLines = std::uint64_t{1} << 24;

// The next line without its line feed, cut at kLongestLine + 1 bytes; false at the end.
bool next_line(std::istream& in, std::string& line) {
  line.clear();
  for (int c = in.get(); c != std::char_traits<char>::eof(); c = in.get()) {
    if (c == '\n') {
      return true;
    }
    line += static_cast<char>(c);
    if (line.size() > kLongestLine) {
      return true;
    }
  }
  return !line.empty();
}

struct Given {
  std::int32_t srlg;
  double probability;
};

}  // namespace

bool read_probability(const std::string& text, double& probability) {
  // Plain decimal numbers only: strtod would also skip white space before the number, but
  // not after it, and take hexadecimal floats, which no one writes for a probability.
  if (text.empty() || text.find_first_not_of("0123456789.eE+-") != std::string::npos) {
    return false;
  }
  char* end = nullptr;
  probability = std::strtod(text.c_str(), &end);
  return *end == '\0' && probability >= 0.0 && probability <= 1.0;
}

int read_srlg_probabilities(std::istream& in, std::int32_t srlg_count,
                            std::vector<double>& probabilities, ProbabilityRefusal& refusal) {
  const std::int32_t count = std::max<std::int32_t>(srlg_count, 0);
  const auto refuse = [&](std::uint64_t line, std::string reason) {
    refusal = {line, std::move(reason)};
    return kProbabilitiesRefused;
  };
  // Gathered as given, so that memory follows the file rather than srlg_count.
  std::vector<Given> given;
  std::unordered_set<std::int32_t> seen;
  std::string text;
  bool seen_a_line = false;  // the first, when it is "id,p", is a header
  for (std::uint64_t line = 1; next_line(in, text); ++line) {
    if (line > static_cast<std::uint64_t>(count) + kMostOtherLines) {
      return refuse(line, "more than " + std::to_string(line - 1) +
                              " lines, one for each SRLG and the rest comments; expected a "
                              "file that ends");
    }
    if (text.size() > kLongestLine) {
      return refuse(line, "the line is longer than 64 KiB; expected a line such as 1,0.9");
    }
    if (!text.empty() && text.back() == '\r') {
      text.pop_back();
    }
    // A byte-order mark before the first line says only that the file is UTF-8.
    if (line == 1 && text.starts_with("\xEF\xBB\xBF")) {
      text.erase(0, 3);
    }
    if (text.empty() || text[0] == '#') {
      continue;
    }
    const bool first = !seen_a_line;
    seen_a_line = true;
    if (first && text == "id,p") {
      continue;
    }
    const std::size_t comma = text.find(',');
    const std::string id_text = text.substr(0, comma);
    const std::string p_text = comma == std::string::npos ? "" : text.substr(comma + 1);
    char* end = nullptr;
    const long id = std::strtol(id_text.c_str(), &end, 10);
    if (comma == std::string::npos || id_text.empty() || *end != '\0' || id < 1 || id > count) {
      const std::string shown_text = printable(text);
      return refuse(line, "\"" + shown_text + "\" is not \"id,p\" with an SRLG id from 1 to " +
                              std::to_string(count));
    }
    double p = 0.0;
    if (!read_probability(p_text, p)) {
      return refuse(line, "probability \"" + printable(p_text) + "\" of SRLG " +
                              std::to_string(id) + " is not a number from 0 to 1");
    }
    if (!seen.insert(static_cast<std::int32_t>(id)).second) {
      return refuse(line, "SRLG " + std::to_string(id) + " is given a second time");
    }
    given.push_back({static_cast<std::int32_t>(id), p});
  }
  if (in.bad()) {
    return kProbabilitiesUnreadable;
  }
  // Each id is given at most once and lies in 1..count, so count lines mean every SRLG.
  if (given.size() < static_cast<std::size_t>(count)) {
    std::sort(given.begin(), given.end(),
              [](const Given& a, const Given& b) { return a.srlg < b.srlg; });
    std::int32_t missing = 1;
    while (static_cast<std::size_t>(missing) <= given.size() &&
           given[static_cast<std::size_t>(missing) - 1].srlg == missing) {
      ++missing;
    }
    return refuse(0, "SRLG " + std::to_string(missing) + " has no probability; expected a line \"" +
                         std::to_string(missing) + ",p\" for each SRLG 1.." +
                         std::to_string(count));
  }
  probabilities.assign(static_cast<std::size_t>(count), 0.0);
  for (const Given& entry : given) {
    probabilities[static_cast<std::size_t>(entry.srlg) - 1] = entry.probability;
  }
  return kProbabilitiesRead;
}

}  // namespace varnak
