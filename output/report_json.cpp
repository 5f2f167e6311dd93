#include "output/report_json.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <set>

#include "common/memory_budget.hpp"
#include "common/printable.hpp"

namespace varnak {

std::string report_failure(const std::string& file_name, const ReportFault& fault) {
  return printable(file_name) + (fault.line > 0 ? " line " + std::to_string(fault.line) : "") +
         ": " + fault.reason;
}

std::string shown(std::string_view text) {
  return quoted(std::string(text), 60);
}

bool read_integer(std::string_view text, std::int64_t& value) {
  if (text.empty()) {
    return false;
  }
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

bool read_number(std::string_view text, double& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size() &&
         std::isfinite(value);
}

std::string_view without_byte_order_mark(std::string_view text) {
  return text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text;
}

std::string shown(const JsonToken& token) {
  if (token.kind == JsonToken::Kind::kOther && token.text.empty()) {
    return "nothing (the report ends)";
  }
  return token.kind == JsonToken::Kind::kString ? "the string " + shown(token.text)
                                                : shown(token.text);
}

void JsonCursor::skip_space() {
  while (at_ < text_.size() &&
         (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) {
    line_ += text_[at_] == '\n' ? 1 : 0;
    ++at_;
  }
}

bool JsonCursor::at_end() {
  skip_space();
  return at_ >= text_.size();
}

char JsonCursor::peek() {
  skip_space();
  return at_ < text_.size() ? text_[at_] : '\0';
}

bool JsonCursor::take(char expected) {
  if (peek() != expected) {
    return false;
  }
  ++at_;
  return true;
}

std::string JsonCursor::here() const {
  return shown(text_.substr(std::min(at_, text_.size()), 20));
}

bool JsonCursor::string(std::string& value) {
  value.clear();
  if (!take('"')) {
    return false;
  }
  while (at_ < text_.size() && text_[at_] != '"') {
    char c = text_[at_++];
    if (c == '\n') {
      return false;
    }
    if (c == '\\') {
      if (at_ >= text_.size()) {
        return false;
      }
      const char escaped = text_[at_++];
      switch (escaped) {
        case 'n':
          c = '\n';
          break;
        case 't':
          c = '\t';
          break;
        case 'r':
          c = '\r';
          break;
        case 'b':
          c = '\b';
          break;
        case 'f':
          c = '\f';
          break;
        case 'u': {
          std::int64_t code = 0;
          if (at_ + 4 > text_.size()) {
            return false;
          }
          for (int i = 0; i < 4; ++i) {
            const char digit = text_[at_++];
            const int nibble = digit >= '0' && digit <= '9'   ? digit - '0'
                               : digit >= 'a' && digit <= 'f' ? digit - 'a' + 10
                               : digit >= 'A' && digit <= 'F' ? digit - 'A' + 10
                                                              : -1;
            if (nibble < 0) {
              return false;
            }
            code = code * 16 + nibble;
          }
          // Names only: anything past ASCII is kept as a placeholder.
          c = code < 0x80 ? static_cast<char>(code) : '?';
          break;
        }
        default:
          c = escaped;  // \" \\ \/
      }
    }
    value += c;
  }
  return take_raw('"');
}

JsonToken JsonCursor::scalar() {
  skip_space();
  JsonToken token;
  token.line = line_;
  const std::size_t start = at_;
  if (peek() == '"') {
    std::string ignored;
    if (string(ignored)) {
      token.kind = JsonToken::Kind::kString;
      token.text = text_.substr(start + 1, at_ - start - 2);
      return token;
    }
    at_ = start;
    line_ = token.line;
  } else {
    token.text = bare();
    if (!token.text.empty()) {
      return token;
    }
  }
  token.kind = JsonToken::Kind::kOther;
  token.text = text_.substr(std::min(at_, text_.size()), 20);
  return token;
}

bool JsonCursor::take_null() {
  skip_space();
  const std::size_t start = at_;
  if (bare() == "null") {
    return true;
  }
  at_ = start;
  return false;
}

std::string_view JsonCursor::bare() {
  skip_space();
  const std::size_t start = at_;
  while (at_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[at_])) != 0 ||
                                text_[at_] == '-' || text_[at_] == '+' || text_[at_] == '.')) {
    ++at_;
  }
  return text_.substr(start, at_ - start);
}

bool JsonCursor::skip_value(int depth) {
  if (depth > kMostDepth) {
    return false;
  }
  const char next = peek();
  if (next == '"') {
    std::string ignored;
    return string(ignored);
  }
  if (next == '[' || next == '{') {
    const char close = next == '[' ? ']' : '}';
    ++at_;
    if (take(close)) {
      return true;
    }
    do {
      if (close == '}') {
        std::string key;
        if (!string(key) || !take(':')) {
          return false;
        }
      }
      if (!skip_value(depth + 1)) {
        return false;
      }
    } while (take(','));
    return take(close);
  }
  return !bare().empty();
}

bool JsonCursor::take_raw(char expected) {
  if (at_ < text_.size() && text_[at_] == expected) {
    ++at_;
    return true;
  }
  return false;
}

bool json_integer(JsonCursor& json, std::int64_t low, std::int64_t high, const std::string& what,
                  std::int64_t& value, ReportFault& fault) {
  const JsonToken token = json.scalar();
  if (token.kind != JsonToken::Kind::kBare || !read_integer(token.text, value) || value < low ||
      value > high) {
    fault = {token.line, what + " is " + shown(token) + "; expected a whole number from " +
                             std::to_string(low) + " to " + std::to_string(high)};
    return false;
  }
  return true;
}

bool json_bool(JsonCursor& json, std::string_view key, bool& value, ReportFault& fault) {
  const JsonToken token = json.scalar();
  if (token.kind != JsonToken::Kind::kBare || (token.text != "true" && token.text != "false")) {
    std::string message = "\"";
    message += key;
    message += "\" is ";
    message += shown(token);
    message += "; expected true or false";
    fault = {token.line, std::move(message)};
    return false;
  }
  value = token.text == "true";
  return true;
}

bool json_seconds(JsonCursor& json, double& seconds, ReportFault& fault) {
  const JsonToken token = json.scalar();
  if (token.is_null()) {
    seconds = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  if (token.kind != JsonToken::Kind::kBare || !read_number(token.text, seconds) || seconds < 0.0) {
    fault = {token.line, "\"elapsed_seconds\" is " + shown(token) + "; expected seconds from 0 up"};
    return false;
  }
  return true;
}

bool json_tokens(JsonCursor& json, const std::string& what, std::vector<JsonToken>& tokens,
                 ReportFault& fault) {
  tokens.clear();
  if (!json.take('[')) {
    fault = {json.line(), what + " is " + json.here() + "; expected an array"};
    return false;
  }
  return json_items(json, what, fault, [&] {
    const JsonToken token = json.scalar();
    if (token.kind == JsonToken::Kind::kOther) {
      fault = {token.line, "value " + std::to_string(tokens.size() + 1) + " of " + what + " is " +
                               shown(token) + "; expected a number"};
      return false;
    }
    tokens.push_back(token);
    return true;
  });
}

bool json_token_rows(JsonCursor& json, const std::string& what,
                     std::vector<std::vector<JsonToken>>& rows, ReportFault& fault) {
  rows.clear();
  if (!json.take('[')) {
    fault = {json.line(), what + " is " + json.here() + "; expected an array of rows"};
    return false;
  }
  return json_items(json, what, fault, [&] {
    rows.emplace_back();
    return json_tokens(json, "row " + std::to_string(rows.size()) + " of " + what, rows.back(),
                       fault);
  });
}

int read_report_object(std::string_view text, const std::string& report,
                       const ReadKeyValue& read_value, ReportFault& fault) {
  JsonCursor json(text);
  if (!json.take('{')) {
    fault = {json.line(), "the report starts with " + json.here() + "; expected {"};
    return 1;
  }
  if (json.take('}')) {
    fault = {json.line(), "the report is an empty object; expected " + report};
    return 1;
  }
  std::set<std::string, std::less<>> seen_keys;
  do {
    std::string key;
    json.skip_space();
    const std::size_t key_line = json.line();
    if (!json.string(key) || !json.take(':')) {
      fault = {key_line, "expected a key in double quotes and ':' at " + json.here()};
      return 1;
    }
    if (!seen_keys.insert(key).second) {
      fault = {key_line, shown(key) + " is given twice; expected each key once"};
      return 1;
    }
    const KeyValue outcome = read_value(json, key, key_line);
    if (outcome == KeyValue::kRefused) {
      return 1;
    }
    if (outcome == KeyValue::kUnknown && !json.skip_value()) {
      fault = {key_line, "the value of " + shown(key) + " is not JSON (or is nested more than " +
                             std::to_string(JsonCursor::kMostDepth) + " deep) at " + json.here()};
      return 1;
    }
  } while (json.take(','));
  if (!json.take('}') || !json.at_end()) {
    fault = {json.line(),
             "the report goes on with " + json.here() + "; expected , or } and the end"};
    return 1;
  }
  return 0;
}

JsonToken report_command(std::string_view text) {
  JsonCursor json(without_byte_order_mark(text));
  const JsonToken none{JsonToken::Kind::kOther, {}, 0};
  if (!json.take('{') || json.take('}')) {
    return none;
  }
  do {
    std::string key;
    if (!json.string(key) || !json.take(':')) {
      return none;
    }
    if (key == "command") {
      return json.scalar();
    }
    if (!json.skip_value()) {
      return none;
    }
  } while (json.take(','));
  return none;
}

bool read_terminal_ids(const std::vector<JsonToken>& items, std::vector<std::int32_t>& terminals,
                       ReportFault& fault) {
  terminals.clear();
  for (const JsonToken& item : items) {
    std::int64_t id = 0;
    if (item.kind != JsonToken::Kind::kBare || !read_integer(item.text, id) || id < 1 ||
        id > std::numeric_limits<std::int32_t>::max()) {
      fault = {item.line, "terminal " + shown(item) + " is not a vertex id from 1 to 2147483647"};
      return false;
    }
    terminals.push_back(static_cast<std::int32_t>(id));
  }
  return true;
}

bool check_terminal_set(const std::vector<std::int32_t>& terminals, ReportFault& fault) {
  std::vector<std::int32_t> sorted = terminals;
  std::sort(sorted.begin(), sorted.end());
  if (!terminals.empty() &&
      (terminals.size() < 2 || std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end())) {
    fault = {0,
             "the terminals are fewer than two or repeat an id; expected the terminal set of "
             "the run"};
    return false;
  }
  return true;
}

int read_report_text(const std::string& path, const std::string& expected, std::string& text,
                     std::string& failure) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    failure = "cannot open result file " + printable(path);
    return 1;
  }
  constexpr std::size_t kHeadBytes = std::size_t{1} << 16;
  // A BIM cell's value and count, generously; an exact count of subsets of S SRLGs has up
  // to S log10(2) digits more.
  constexpr double kMostBytesPerCell = 96.0;
  constexpr double kDigitsPerSrlg = 0.30103;
  text.clear();
  double limit = static_cast<double>(kHeadBytes);
  bool limit_known = false;
  char block[1 << 16];
  while (file.read(block, sizeof block) || file.gcount() > 0) {
    text.append(block, static_cast<std::size_t>(file.gcount()));
    if (!limit_known && text.size() >= kHeadBytes) {
      const std::size_t first = text.find_first_not_of(" \t\r\n");
      const std::size_t key = text.find("srlg_count");
      std::int64_t srlg_count = 0;
      if (first == std::string::npos || (text[first] != '{' && text[first] != '#') ||
          key == std::string::npos || key > kHeadBytes) {
        failure = printable(path) + ": no srlg_count in its first 64 KiB; expected " + expected;
        return 1;
      }
      std::size_t digits = text.find_first_of("0123456789", key);
      const std::size_t end = text.find_first_not_of("0123456789", digits);
      if (digits == std::string::npos || digits > key + 16 ||
          !read_integer(std::string_view(text).substr(digits, end - digits), srlg_count)) {
        srlg_count = 0;
      }
      const double count = static_cast<double>(srlg_count);
      const double cells = count * (count + 1);
      limit = std::min(
          static_cast<double>(kHeadBytes) + cells * (kMostBytesPerCell + kDigitsPerSrlg * count),
          static_cast<double>(physical_memory_bytes()) / 2);
      limit_known = true;
    }
    if (static_cast<double>(text.size()) > limit) {
      failure = printable(path) + ": longer than " + describe_bytes(limit) +
                ", more than a report of its srlg_count can be; expected " + expected;
      return 1;
    }
  }
  if (file.bad()) {
    failure = "cannot read result file " + printable(path);
    return 1;
  }
  return 0;
}

}  // namespace varnak
