#include "output/xml_results.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>
#include <vector>

namespace varnak {
namespace {

// The result file nests three deep; anything much deeper is not one, and a limit keeps
// a hostile file from exhausting the stack.
constexpr int kMaxDepth = 16;

// Quoted values are cut to this length so that a message stays one short line.
constexpr std::size_t kQuotedLimit = 40;

struct XmlElement {
  std::string name;
  std::size_t offset = 0;  // of its '<'
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string text;
  std::size_t text_offset = 0;  // of the first character of `text`
  std::vector<XmlElement> children;
};

std::string quote_value(const std::string& text) {
  if (text.size() <= kQuotedLimit) {
    return '"' + text + '"';
  }
  return '"' + text.substr(0, kQuotedLimit) + "...\"";
}

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool is_name_char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '-' || c == '.' ||
         c == ':';
}

// The subset of XML that result files use: elements, attributes in either quotes, text,
// comments and processing instructions. No entities, CDATA or document types.
class XmlScanner {
 public:
  explicit XmlScanner(const std::string& text) : text_(text) {}

  bool parse_document(XmlElement& root) {
    if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) {
      at_ = 3;  // a byte-order mark
    }
    if (!skip_misc()) {
      return false;
    }
    if (at_ >= text_.size() || text_[at_] != '<') {
      return fail(at_, "expected the root element <VARNAK>");
    }
    if (!parse_element(root, 0) || !skip_misc()) {
      return false;
    }
    if (at_ < text_.size()) {
      return fail(at_, "unexpected text after the root element's end tag");
    }
    return true;
  }

  const std::string& error() const { return error_; }
  std::size_t error_offset() const { return error_offset_; }

 private:
  bool fail(std::size_t offset, std::string message) {
    error_offset_ = std::min(offset, text_.size());
    error_ = std::move(message);
    return false;
  }

  bool starts_with(const char* prefix) const {
    return text_.compare(at_, std::strlen(prefix), prefix) == 0;
  }

  void skip_spaces() {
    while (at_ < text_.size() && is_space(text_[at_])) {
      ++at_;
    }
  }

  bool skip_past(const char* terminator, std::size_t opened_at, const char* what) {
    const std::size_t found = text_.find(terminator, at_);
    if (found == std::string::npos) {
      return fail(opened_at, std::string("unterminated ") + what);
    }
    at_ = found + std::strlen(terminator);
    return true;
  }

  // White space, comments and processing instructions (the declaration among them).
  bool skip_misc() {
    for (;;) {
      skip_spaces();
      const std::size_t start = at_;
      if (starts_with("<?")) {
        if (!skip_past("?>", start, "declaration")) {
          return false;
        }
      } else if (starts_with("<!--")) {
        if (!skip_past("-->", start, "comment")) {
          return false;
        }
      } else {
        return true;
      }
    }
  }

  bool read_name(std::string& name) {
    const std::size_t start = at_;
    while (at_ < text_.size() && is_name_char(text_[at_])) {
      ++at_;
    }
    name.assign(text_, start, at_ - start);
    return !name.empty();
  }

  bool parse_element(XmlElement& element, int depth) {
    if (depth > kMaxDepth) {
      return fail(at_, "elements nested too deep");
    }
    element.offset = at_;
    ++at_;  // '<'
    if (!read_name(element.name)) {
      return fail(element.offset, "expected an element name after '<'");
    }
    for (;;) {
      skip_spaces();
      if (starts_with("/>")) {
        at_ += 2;
        return true;
      }
      if (starts_with(">")) {
        ++at_;
        break;
      }
      std::pair<std::string, std::string> attribute;
      const std::size_t attribute_at = at_;
      if (!read_name(attribute.first)) {
        return fail(attribute_at,
                    "expected an attribute or the end of the <" + element.name + "> start tag");
      }
      skip_spaces();
      if (!starts_with("=")) {
        return fail(at_, "expected '=' after attribute " + attribute.first);
      }
      ++at_;
      skip_spaces();
      if (at_ >= text_.size() || (text_[at_] != '"' && text_[at_] != '\'')) {
        return fail(at_, "expected a quoted value for attribute " + attribute.first);
      }
      const char quote = text_[at_];
      const std::size_t value_start = ++at_;
      const std::size_t value_end = text_.find(quote, value_start);
      if (value_end == std::string::npos) {
        return fail(value_start - 1, "unterminated value of attribute " + attribute.first);
      }
      attribute.second.assign(text_, value_start, value_end - value_start);
      at_ = value_end + 1;
      element.attributes.push_back(std::move(attribute));
    }
    element.text_offset = at_;
    bool text_started = false;
    for (;;) {
      if (at_ >= text_.size()) {
        return fail(element.offset, "<" + element.name + "> has no end tag");
      }
      if (starts_with("</")) {
        const std::size_t end_tag_at = at_;
        at_ += 2;
        std::string name;
        read_name(name);
        skip_spaces();
        if (name != element.name || !starts_with(">")) {
          return fail(end_tag_at, "expected </" + element.name + ">");
        }
        ++at_;
        return true;
      }
      if (starts_with("<!--")) {
        if (!skip_past("-->", at_, "comment")) {
          return false;
        }
      } else if (text_[at_] == '<') {
        element.children.emplace_back();
        if (!parse_element(element.children.back(), depth + 1)) {
          return false;
        }
      } else {
        if (!text_started) {
          element.text_offset = at_;
          text_started = true;
        }
        element.text += text_[at_++];
      }
    }
  }

  const std::string& text_;
  std::size_t at_ = 0;
  std::string error_;
  std::size_t error_offset_ = 0;
};

// Turns offsets into "FILE line N: " prefixes.
class Locator {
 public:
  Locator(const std::string& text, const std::string& file_name)
      : text_(text), file_name_(file_name) {}

  std::string at(std::size_t offset) const {
    const auto end = text_.begin() + static_cast<std::ptrdiff_t>(std::min(offset, text_.size()));
    const auto line = std::count(text_.begin(), end, '\n') + 1;
    return file_name_ + " line " + std::to_string(line) + ": ";
  }

 private:
  const std::string& text_;
  const std::string& file_name_;
};

std::string trimmed(const std::string& text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && is_space(text[first])) {
    ++first;
  }
  while (last > first && is_space(text[last - 1])) {
    --last;
  }
  return text.substr(first, last - first);
}

bool read_count(const XmlElement& element, const Locator& locate, std::int32_t& count,
                std::string& failure) {
  const std::string value = trimmed(element.text);
  char* end = nullptr;
  errno = 0;
  const long long number = value.empty() ? -1 : std::strtoll(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || errno != 0 || number < 0 || number > 2147483647) {
    failure = locate.at(element.text_offset) + "<SRLGNUM> is " + quote_value(value) +
              "; expected a whole number from 0 to 2147483647";
    return false;
  }
  count = static_cast<std::int32_t>(number);
  return true;
}

bool read_seconds(const XmlElement& element, const Locator& locate, double& seconds,
                  std::string& failure) {
  const std::string value = trimmed(element.text);
  char* end = nullptr;
  const double number = std::strtod(value.c_str(), &end);
  if (value.empty() || *end != '\0' || !std::isfinite(number) || number < 0.0) {
    failure = locate.at(element.text_offset) + "<time_seconds> is " + quote_value(value) +
              "; expected a number of seconds";
    return false;
  }
  seconds = number;
  return true;
}

// A row of exactly `count` comma-separated probabilities.
bool read_row(const XmlElement& element, const std::string& label, std::int32_t count,
              const Locator& locate, SpectraVector& row, std::string& failure) {
  row.clear();
  const std::string& text = element.text;
  if (count == 0) {
    if (!trimmed(text).empty()) {
      failure = locate.at(element.text_offset) + label + " holds " + quote_value(trimmed(text)) +
                "; expected no values, as SRLGNUM is 0";
      return false;
    }
    return true;
  }
  std::size_t start = 0;
  for (std::int32_t index = 1;; ++index) {
    const std::size_t comma = text.find(',', start);
    const std::size_t stop = comma == std::string::npos ? text.size() : comma;
    const std::string value = trimmed(text.substr(start, stop - start));
    std::size_t value_start = start;  // where the value itself begins, for its line
    while (value_start < stop && is_space(text[value_start])) {
      ++value_start;
    }
    const std::string where = locate.at(element.text_offset + value_start);
    if (index > count) {
      failure = where + label + " has more than " + std::to_string(count) +
                " values (SRLGNUM); value " + std::to_string(index) + " is " + quote_value(value);
      return false;
    }
    char* end = nullptr;
    const double number = std::strtod(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !(number >= 0.0 && number <= 1.0)) {
      failure = where + label + " value " + std::to_string(index) + " of " + std::to_string(count) +
                " is " + quote_value(value) + "; expected a number from 0 to 1";
      return false;
    }
    row.push_back(number);
    if (comma == std::string::npos) {
      if (index < count) {
        failure = where + label + " has " + std::to_string(index) + " values; expected " +
                  std::to_string(count) + " (SRLGNUM)";
        return false;
      }
      return true;
    }
    start = comma + 1;
  }
}

bool read_spectras(const XmlElement& spectras, std::int32_t count, const Locator& locate,
                   XmlResults& results, std::string& failure) {
  const XmlElement* spectrum = nullptr;
  std::vector<const XmlElement*> rows;
  for (const XmlElement& child : spectras.children) {
    if (child.name == "spectra") {
      if (spectrum != nullptr) {
        failure = locate.at(child.offset) + "a second <spectra> row; expected one";
        return false;
      }
      spectrum = &child;
    } else if (child.name == "bimspectra") {
      rows.push_back(&child);
    } else {
      failure = locate.at(child.offset) + "unexpected element <" + child.name +
                "> in <spectras>; expected <spectra> and <bimspectra>";
      return false;
    }
  }
  if (spectrum == nullptr) {
    failure = locate.at(spectras.offset) + "<spectras> has no <spectra> row";
    return false;
  }
  if (!read_row(*spectrum, "<spectra>", count, locate, results.spectrum, failure)) {
    return false;
  }
  // Checked before the matrix is allocated, so a huge SRLGNUM costs nothing.
  if (rows.size() != static_cast<std::size_t>(count)) {
    failure = locate.at(spectras.offset) + "<spectras> has " + std::to_string(rows.size()) +
              " <bimspectra> rows; expected " + std::to_string(count) + " (SRLGNUM)";
    return false;
  }
  results.bim_spectra.assign(static_cast<std::size_t>(count), SpectraVector());
  std::vector<bool> seen(static_cast<std::size_t>(count), false);
  for (const XmlElement* row : rows) {
    std::string id_text;
    for (const auto& [name, value] : row->attributes) {
      if (name == "id") {
        id_text = value;
      }
    }
    char* end = nullptr;
    const long long id = id_text.empty() ? 0 : std::strtoll(id_text.c_str(), &end, 10);
    if (id_text.empty() || *end != '\0' || id < 1 || id > count) {
      failure = locate.at(row->offset) + "<bimspectra> id is " + quote_value(id_text) +
                "; expected a number from 1 to " + std::to_string(count) + " (SRLGNUM)";
      return false;
    }
    const std::size_t index = static_cast<std::size_t>(id - 1);
    if (seen[index]) {
      failure = locate.at(row->offset) + "a second <bimspectra> row with id " + id_text;
      return false;
    }
    seen[index] = true;
    const std::string label = "<bimspectra id=\"" + id_text + "\">";
    if (!read_row(*row, label, count, locate, results.bim_spectra[index], failure)) {
      return false;
    }
  }
  return true;
}

}  // namespace

int parse_xml_results(const std::string& text, const std::string& file_name, XmlResults& results,
                      std::string& failure) {
  const Locator locate(text, file_name);
  XmlScanner scanner(text);
  XmlElement root;
  if (!scanner.parse_document(root)) {
    failure = locate.at(scanner.error_offset()) + scanner.error();
    return 1;
  }
  if (root.name != "VARNAK") {
    failure = locate.at(root.offset) + "the root element is <" + root.name +
              ">; expected <VARNAK>, as Varnak writes it";
    return 1;
  }
  results = XmlResults{};
  const XmlElement* count = nullptr;
  const XmlElement* spectras = nullptr;
  for (const XmlElement& child : root.children) {
    if (child.name == "SRLGNUM" && count == nullptr) {
      count = &child;
    } else if (child.name == "spectras" && spectras == nullptr) {
      spectras = &child;
    } else if (child.name == "time_seconds") {
      if (!read_seconds(child, locate, results.time_seconds, failure)) {
        return 1;
      }
    } else {
      failure = locate.at(child.offset) + "unexpected element <" + child.name +
                "> in <VARNAK>; expected one each of <SRLGNUM>, <time_seconds> and <spectras>";
      return 1;
    }
  }
  if (count == nullptr) {
    failure = locate.at(root.offset) + "<VARNAK> has no <SRLGNUM>";
    return 1;
  }
  if (!read_count(*count, locate, results.srlg_count, failure)) {
    return 1;
  }
  if (spectras == nullptr) {
    failure = locate.at(root.offset) + "<VARNAK> has no <spectras>";
    return 1;
  }
  return read_spectras(*spectras, results.srlg_count, locate, results, failure) ? 0 : 1;
}

int read_xml_results(const std::string& path, XmlResults& results, std::string& failure) {
  // An ifstream opens a directory without complaint; only its reads fail.
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    failure = "cannot read XML result file " + path + ": it is a directory";
    return 1;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) {
    failure = "cannot open XML result file " + path + ": " + std::strerror(errno);
    return 1;
  }
  std::ostringstream contents;
  contents << file.rdbuf();
  if (file.bad()) {
    failure = "cannot read XML result file " + path;
    return 1;
  }
  return parse_xml_results(contents.str(), path, results, failure);
}

}  // namespace varnak
