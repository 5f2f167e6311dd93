#include "output/xml_results.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

#include "common/memory_budget.hpp"
#include "common/printable.hpp"
#include "output/xml_names.hpp"

namespace varnak {
namespace {

namespace names = xml_names;

using LineNumber = std::uint64_t;

// Quoted values are cut to this length so that a message stays one short line.
constexpr std::size_t kQuotedLimit = 40;

// Names, attribute values and numbers longer than this are none of the file's: only this
// much of them is kept, enough to quote and to tell them apart from the real ones.
constexpr std::size_t kLongestKept = 64;

// What a person or another tool may add to a file (indentation, comments, spaces after the
// commas) beyond twice what Varnak writes, and all that may come before <SRLGNUM> ends.
constexpr std::uint64_t kLayoutAllowance = std::uint64_t{64} << 10;

// The file keeps six decimals, so each value it shows may be off by 5e-7; the estimate
// itself, a sum of 1/N added once per sample, strays by less than 2.5e-7 even at N = 2^31.
constexpr double kValueTolerance = 1e-6;

// What render_xml_report writes around the rows for any SRLGNUM: the declaration, the root,
// <SRLGNUM> of up to ten digits, <time_seconds> of up to 32 characters, <spectras> and the
// tags of <spectra> (200 bytes, rounded up); and around each BIM row its tags with an id of
// up to ten digits (41 bytes, rounded up). Every value is eight characters ("0.123456") and
// a comma.
constexpr double kLongestFixedPart = 256.0;
constexpr double kLongestBimRowTags = 48.0;
constexpr double kValueBytes = 9.0;

double longest_row_bytes(std::int32_t srlg_count) {
  return kValueBytes * srlg_count;
}

double largest_file_bytes(std::int32_t srlg_count) {
  const double row = longest_row_bytes(srlg_count);
  return kLongestFixedPart + row + srlg_count * (kLongestBimRowTags + row);
}

// Built by appending: GCC 12 warns falsely on "<" + name + ">" when optimising.
std::string tag(std::string_view name) {
  std::string text = "<";
  text += name;
  text += '>';
  return text;
}

std::string six_decimals(double value) {
  std::array<char, 64> text{};
  std::snprintf(text.data(), text.size(), "%.6f", value);
  return text.data();
}

bool is_space(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool is_name_char(int c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == '.' || c == ':';
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && is_space(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && is_space(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

// A whole number or a double that fills all of `text`; no white space, sign "+" or hex.
template <typename Number>
bool parse_number(std::string_view text, Number& number) {
  if (text.empty()) {
    return false;
  }
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, number);
  return error == std::errc() && stop == end;
}

// A row value as Varnak writes them, digits, a point and digits (fifteen digits at most),
// parsed as their integer over a power of ten: both are exact doubles and the division is
// correctly rounded, so the result is the double from_chars gives, at a fraction of the
// cost. Any other text goes to from_chars.
bool parse_row_value(std::string_view text, double& value) {
  constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                     1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  std::uint64_t digits = 0;
  std::size_t digit_count = 0;
  std::size_t point = text.size();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      digits = digits * 10 + static_cast<std::uint64_t>(c - '0');
      ++digit_count;
    } else if (c == '.' && point == text.size() && i > 0) {
      point = i;
    } else {
      return parse_number(text, value);
    }
  }
  if (digit_count > 15 || point == text.size() || point + 1 == text.size()) {
    return parse_number(text, value);
  }
  const double scale = kPowersOfTen[text.size() - point - 1];
  // Zeros and ones, the commonest values of a spectrum, without the division.
  value = digits == 0                            ? 0.0
          : static_cast<double>(digits) == scale ? 1.0
                                                 : static_cast<double>(digits) / scale;
  return true;
}

// The bytes of a file one at a time, with the line they are on (lines counted as the bytes
// pass, once each). They are taken from the stream a block at a time, so a byte costs a
// pointer step. Past `limit` bytes it shows the end of the file and `over_limit` says that
// more was there.
class ByteSource {
 public:
  static constexpr int kEnd = std::char_traits<char>::eof();

  explicit ByteSource(std::streambuf& bytes)
      : bytes_(bytes), block_(kBlockBytes), at_(block_.data()), end_(block_.data()) {}

  int peek() {
    if (at_ == end_ && !refill()) {
      return kEnd;
    }
    return static_cast<unsigned char>(*at_);
  }

  // Only after peek() gave a byte.
  int next() {
    const int c = static_cast<unsigned char>(*at_++);
    if (c == '\n') {
      ++line_;
    }
    return c;
  }

  bool next_is(int c) {
    if (peek() != c) {
      return false;
    }
    next();
    return true;
  }

  void skip_spaces() {
    while (is_space(peek())) {
      next();
    }
  }

  // The rest of the current block from the next byte on; empty at the end or the limit.
  std::string_view ahead() {
    if (peek() == kEnd) {
      return {};
    }
    return {at_, static_cast<std::size_t>(end_ - at_)};
  }

  // Passes over the first `count` bytes of ahead(), none of them a line feed.
  void skip(std::size_t count) { at_ += count; }

  LineNumber line() const { return line_; }
  std::uint64_t consumed() const {
    return block_start_ + static_cast<std::uint64_t>(at_ - block_.data());
  }
  std::uint64_t limit() const { return limit_; }
  bool over_limit() const { return over_limit_; }
  void set_limit(std::uint64_t limit) { limit_ = limit; }

 private:
  static constexpr std::size_t kBlockBytes = std::size_t{64} << 10;

  // Takes the next block, never reaching past the limit; false at the end of the file or
  // at the limit.
  bool refill() {
    block_start_ = consumed();
    at_ = end_ = block_.data();
    if (block_start_ >= limit_) {
      over_limit_ = over_limit_ || bytes_.sgetc() != kEnd;
      return false;
    }
    const std::uint64_t room = std::min<std::uint64_t>(kBlockBytes, limit_ - block_start_);
    end_ += bytes_.sgetn(block_.data(), static_cast<std::streamsize>(room));
    return at_ != end_;
  }

  std::streambuf& bytes_;
  std::vector<char> block_;
  const char* at_;
  const char* end_;
  std::uint64_t block_start_ = 0;  // bytes consumed before the block
  LineNumber line_ = 1;
  std::uint64_t limit_ = kLayoutAllowance;
  bool over_limit_ = false;
};

struct Attribute {
  std::string name;
  std::string value;  // at most kLongestKept + 1 bytes: a longer one is no real value
  LineNumber line = 0;
};

struct StartTag {
  std::string name;
  LineNumber line = 0;  // of its '<'
  bool empty = false;   // <name/>
  std::vector<Attribute> attributes;
};

// What the markup after a '<' in an element's content turned out to be.
enum class Markup { kComment, kEndTag, kChild };

// The row being read, as messages name it.
struct RowContext {
  std::string label;  // "<spectra>" or "<bimspectra id=\"3\">"
  bool is_spectrum = false;
};

class ResultsReader {
 public:
  ResultsReader(ByteSource& source, const std::string& file_name, XmlResults& results,
                std::string& failure)
      : source_(source), file_name_(printable(file_name)), results_(results), failure_(failure) {}

  bool read_document() {
    results_ = XmlResults{};
    if (source_.peek() == 0xEF) {  // a byte-order mark, EF BB BF
      source_.next();
      if (!source_.next_is(0xBB) || !source_.next_is(0xBF)) {
        return fail(source_.line(), "expected the root element " + tag(names::kRoot));
      }
    }
    LineNumber root_line = 0;
    if (!skip_misc(root_line)) {
      return false;
    }
    if (root_line == 0) {
      return fail(source_.line(), "expected the root element " + tag(names::kRoot));
    }
    StartTag root;
    if (!read_start_tag(root_line, root)) {
      return false;
    }
    if (root.name != names::kRoot) {
      return fail(root.line, "the root element is <" + root.name + ">; expected " +
                                 tag(names::kRoot) + ", as Varnak writes it");
    }
    LineNumber after_line = 0;
    if (!read_root(root) || !skip_misc(after_line)) {
      return false;
    }
    if (after_line != 0 || source_.peek() != ByteSource::kEnd) {
      return fail(after_line != 0 ? after_line : source_.line(),
                  "unexpected text after the root element's end tag");
    }
    if (source_.over_limit()) {
      return fail(source_.line(), limit_reason_);
    }
    return true;
  }

 private:
  // A fault; past the byte limit, the limit is the fault, whatever the parser saw there.
  bool fail(LineNumber line, const std::string& message) {
    if (source_.over_limit()) {
      failure_ = where(source_.line()) + limit_reason_;
    } else {
      failure_ = where(line) + message;
    }
    return false;
  }

  std::string where(LineNumber line) const {
    return file_name_ + " line " + std::to_string(line) + ": ";
  }

  void read_name(std::string& name) {
    name.clear();
    while (is_name_char(source_.peek())) {
      const char c = static_cast<char>(source_.next());
      if (name.size() < kLongestKept) {
        name += c;
      } else if (name.size() == kLongestKept) {
        name += "...";
      }
    }
  }

  // Skips up to and past `terminator` ("?>" or "-->"); false at the end.
  bool skip_past(std::string_view terminator) {
    std::array<char, 3> last{};  // the latest bytes, the newest at the back
    std::size_t seen = 0;
    for (;;) {
      const int c = source_.peek();
      if (c == ByteSource::kEnd) {
        return false;
      }
      source_.next();
      last = {last[1], last[2], static_cast<char>(c)};
      ++seen;
      if (seen >= terminator.size() &&
          std::string_view(last.data() + last.size() - terminator.size(), terminator.size()) ==
              terminator) {
        return true;
      }
    }
  }

  // After "<!": the rest of a comment.
  bool skip_comment(LineNumber opened_at) {
    if (!source_.next_is('-') || !source_.next_is('-')) {
      return fail(opened_at, "expected an element name after '<'");
    }
    return skip_past("-->") || fail(opened_at, "unterminated comment");
  }

  // White space, comments and processing instructions (the declaration among them) before
  // and after the root element. Stops before anything else; when that is an element, its
  // '<' is already read (the source cannot go back) and `element_line` is set to its line.
  bool skip_misc(LineNumber& element_line) {
    element_line = 0;
    for (;;) {
      source_.skip_spaces();
      if (source_.peek() != '<') {
        return true;
      }
      const LineNumber opened_at = source_.line();
      source_.next();
      if (source_.next_is('?')) {
        if (!skip_past("?>")) {
          return fail(opened_at, "unterminated declaration");
        }
      } else if (source_.next_is('!')) {
        if (!skip_comment(opened_at)) {
          return false;
        }
      } else {
        element_line = opened_at;
        return true;
      }
    }
  }

  // After the '<' and the name's first byte is next: the name and attributes, up to and
  // past '>' or "/>". Each attribute is checked as it is read.
  bool read_start_tag(LineNumber line, StartTag& start) {
    start.line = line;
    start.attributes.clear();
    read_name(start.name);
    if (start.name.empty()) {
      return fail(line, "expected an element name after '<'");
    }
    for (;;) {
      source_.skip_spaces();
      if (source_.next_is('>')) {
        start.empty = false;
        return true;
      }
      Attribute attribute;
      attribute.line = source_.line();
      if (source_.next_is('/')) {
        if (source_.next_is('>')) {
          start.empty = true;
          return true;
        }
      } else {
        read_name(attribute.name);
      }
      if (attribute.name.empty()) {
        return fail(attribute.line,
                    "expected an attribute or the end of the <" + start.name + "> start tag");
      }
      source_.skip_spaces();
      if (!source_.next_is('=')) {
        return fail(source_.line(), "expected '=' after attribute " + attribute.name);
      }
      source_.skip_spaces();
      const int quote = source_.peek();
      if (quote != '"' && quote != '\'') {
        return fail(source_.line(), "expected a quoted value for attribute " + attribute.name);
      }
      const LineNumber quote_line = source_.line();
      source_.next();
      for (;;) {
        const int c = source_.peek();
        if (c == ByteSource::kEnd) {
          return fail(quote_line, "unterminated value of attribute " + attribute.name);
        }
        source_.next();
        if (c == quote) {
          break;
        }
        if (attribute.value.size() <= kLongestKept) {
          attribute.value += static_cast<char>(c);
        }
      }
      if (!accept_attribute(start, attribute)) {
        return false;
      }
      start.attributes.push_back(std::move(attribute));
    }
  }

  bool accept_attribute(const StartTag& start, const Attribute& attribute) {
    for (const Attribute& earlier : start.attributes) {
      if (earlier.name == attribute.name) {
        return fail(attribute.line, "a second attribute " + attribute.name + " in the <" +
                                        start.name + "> start tag; expected one");
      }
    }
    std::string_view allowed;
    if (start.name == names::kRoot) {
      allowed = names::kVersionAttribute;
    } else if (start.name == names::kBimRow) {
      allowed = names::kIdAttribute;
    }
    if (attribute.name != allowed) {
      return fail(attribute.line,
                  "unexpected attribute " + attribute.name + " in <" + start.name + ">; expected " +
                      (allowed.empty() ? std::string("none") : "only " + std::string(allowed)));
    }
    if (allowed == names::kVersionAttribute && attribute.value != names::kVersion) {
      return fail(attribute.line, tag(names::kRoot) + " " + attribute.name + " is " +
                                      quoted(attribute.value, kQuotedLimit) + "; expected \"" +
                                      std::string(names::kVersion) +
                                      "\", the version Varnak writes");
    }
    return true;
  }

  // Inside an element, at a '<' (consumed): a comment, the end tag of `parent` (checked) or
  // the start of a child, whose name comes next.
  bool read_markup(const StartTag& parent, LineNumber lt_line, Markup& markup) {
    if (source_.peek() == '!') {
      source_.next();
      markup = Markup::kComment;
      return skip_comment(lt_line);
    }
    if (source_.peek() == '/') {
      source_.next();
      std::string name;
      read_name(name);
      source_.skip_spaces();
      if (name != parent.name || !source_.next_is('>')) {
        return fail(lt_line, "expected </" + parent.name + ">");
      }
      markup = Markup::kEndTag;
      return true;
    }
    markup = Markup::kChild;
    return true;
  }

  // The content of an element that holds only child elements: white space and comments
  // between them pass; `child` reads each child's start tag and content. Ends past the end
  // tag.
  template <typename ReadChild>
  bool read_children(const StartTag& parent, const std::string& expected, ReadChild child) {
    if (parent.empty) {
      return true;
    }
    for (;;) {
      source_.skip_spaces();
      const int c = source_.peek();
      if (c == ByteSource::kEnd) {
        return fail(parent.line, "<" + parent.name + "> has no end tag");
      }
      if (c != '<') {
        std::string text;
        const LineNumber line = source_.line();
        while (source_.peek() != ByteSource::kEnd && source_.peek() != '<' &&
               text.size() <= kQuotedLimit) {
          text += static_cast<char>(source_.next());
        }
        return fail(line, "unexpected text " + quoted(std::string(trimmed(text)), kQuotedLimit) +
                              " in <" + parent.name + ">; expected " + expected);
      }
      const LineNumber lt_line = source_.line();
      source_.next();
      Markup markup = Markup::kComment;
      if (!read_markup(parent, lt_line, markup)) {
        return false;
      }
      if (markup == Markup::kEndTag) {
        return true;
      }
      if (markup == Markup::kChild) {
        StartTag start;
        if (!read_start_tag(lt_line, start) || !child(start)) {
          return false;
        }
      }
    }
  }

  // The text of an element that holds no child elements, comments left out, into `text`
  // (at most `longest` bytes; a longer text is a fault). `first_line` is the line of the
  // first byte of text, or of the end of the start tag when there is none.
  bool read_leaf_text(const StartTag& start, std::uint64_t longest, const std::string& expected,
                      std::string& text, LineNumber& first_line) {
    text.clear();
    first_line = source_.line();
    if (start.empty) {
      return true;
    }
    const std::uint64_t opened_at = source_.consumed();
    for (;;) {
      const int c = source_.peek();
      if (c == ByteSource::kEnd) {
        return fail(start.line, "<" + start.name + "> has no end tag");
      }
      if (source_.consumed() - opened_at > longest) {
        return fail(source_.line(), tag(start.name) + " text is longer than " +
                                        describe_bytes(static_cast<double>(longest)) +
                                        "; expected " + expected);
      }
      if (c != '<') {
        if (text.empty()) {
          first_line = source_.line();
        }
        text += static_cast<char>(source_.next());
        continue;
      }
      const LineNumber lt_line = source_.line();
      source_.next();
      Markup markup = Markup::kComment;
      if (!read_markup(start, lt_line, markup)) {
        return false;
      }
      if (markup == Markup::kEndTag) {
        return true;
      }
      if (markup == Markup::kChild) {
        std::string name;
        read_name(name);
        return fail(lt_line, "unexpected element <" + name + "> in <" + start.name +
                                 ">; expected " + expected);
      }
    }
  }

  bool read_root(const StartTag& root) {
    LineNumber count_line = 0;
    LineNumber time_line = 0;
    LineNumber rows_line = 0;
    bool rows_before_count = false;
    const std::string expected = "one each of " + tag(names::kSrlgCount) + ", " +
                                 tag(names::kTimeSeconds) + " and " + tag(names::kRows);
    const auto once = [&](const StartTag& start, LineNumber& seen) {
      if (seen != 0) {
        return fail(start.line,
                    "a second " + tag(start.name) + " in " + tag(names::kRoot) + "; expected one");
      }
      seen = start.line;
      return true;
    };
    const bool read = read_children(root, "only " + expected, [&](const StartTag& start) {
      if (start.name == names::kSrlgCount) {
        return once(start, count_line) && read_count(start);
      }
      if (start.name == names::kTimeSeconds) {
        return once(start, time_line) && read_seconds(start);
      }
      if (start.name == names::kRows) {
        if (!once(start, rows_line)) {
          return false;
        }
        // The count comes first in every file Varnak writes; without it the rows cannot be
        // read, only passed over, and the file is refused at its end.
        rows_before_count = count_line == 0;
        return read_rows(start, !rows_before_count);
      }
      return fail(start.line, "unexpected element <" + start.name + "> in " + tag(names::kRoot) +
                                  "; expected " + expected);
    });
    if (!read) {
      return false;
    }
    if (count_line == 0) {
      return fail(root.line, tag(names::kRoot) + " has no " + tag(names::kSrlgCount));
    }
    if (rows_before_count) {
      return fail(count_line, tag(names::kSrlgCount) + " comes after " + tag(names::kRows) +
                                  "; expected it first, as Varnak writes it");
    }
    if (rows_line == 0) {
      return fail(root.line, tag(names::kRoot) + " has no " + tag(names::kRows));
    }
    return true;
  }

  bool read_count(const StartTag& start) {
    std::string text;
    LineNumber line = 0;
    if (!read_leaf_text(start, kLayoutAllowance, "a whole number", text, line)) {
      return false;
    }
    const std::string_view value = trimmed(text);
    std::int64_t count = -1;
    if (!parse_number(value, count) || count < 0 || count > 2147483647) {
      return fail(line, tag(names::kSrlgCount) + " is " + quoted(std::string(value), kQuotedLimit) +
                            "; expected a whole number from 0 to 2147483647");
    }
    const auto srlg_count = static_cast<std::int32_t>(count);
    const double n = static_cast<double>(srlg_count);
    // The rows are read into memory: refused here, before the first value, when they could
    // never fit.
    const double needed = 8.0 * n + n * (sizeof(SpectraVector) + 8.0 * n);
    const double available = static_cast<double>(physical_memory_bytes());
    if (needed > available) {
      return fail(line, tag(names::kSrlgCount) + " " + std::to_string(srlg_count) + " needs " +
                            describe_bytes(needed) +
                            " of memory for its spectrum and BIM rows, more than the " +
                            describe_bytes(available) + " of this machine");
    }
    results_.srlg_count = srlg_count;
    source_.set_limit(static_cast<std::uint64_t>(2.0 * largest_file_bytes(srlg_count)) +
                      kLayoutAllowance);
    limit_reason_ = "the file is longer than " +
                    describe_bytes(static_cast<double>(source_.limit())) +
                    ", the most read for SRLGNUM " + std::to_string(srlg_count) +
                    " (twice the largest file Varnak writes for it, and " +
                    describe_bytes(static_cast<double>(kLayoutAllowance)) + " for layout)";
    return true;
  }

  bool read_seconds(const StartTag& start) {
    std::string text;
    LineNumber line = 0;
    if (!read_leaf_text(start, kLayoutAllowance, "a number of seconds", text, line)) {
      return false;
    }
    const std::string_view value = trimmed(text);
    double seconds = 0.0;
    if (!parse_number(value, seconds) || !std::isfinite(seconds) || seconds < 0.0) {
      return fail(line, tag(names::kTimeSeconds) + " is " +
                            quoted(std::string(value), kQuotedLimit) +
                            "; expected a number of seconds");
    }
    return true;
  }

  // <spectras>: its rows are read and checked when the count is known, else only passed
  // over.
  bool read_rows(const StartTag& rows, bool count_known) {
    const std::string expected = tag(names::kSpectrumRow) + " and " + tag(names::kBimRow);
    const std::int32_t count = results_.srlg_count;
    LineNumber spectrum_line = 0;
    const bool read = read_children(rows, expected, [&](const StartTag& start) {
      if (start.name == names::kSpectrumRow) {
        if (spectrum_line != 0) {
          return fail(start.line, "a second " + tag(names::kSpectrumRow) + " row; expected one");
        }
        spectrum_line = start.line;
        if (!count_known) {
          return pass_over_row(start);
        }
        return read_row(start, {tag(names::kSpectrumRow), true}, results_.spectrum);
      }
      if (start.name == names::kBimRow) {
        if (!count_known) {
          return pass_over_row(start);
        }
        std::int32_t index = 0;
        if (!read_row_id(start, index)) {
          return false;
        }
        if (!read_row(start, {bim_row_label(index), false},
                      results_.bim_spectra[static_cast<std::size_t>(index)])) {
          return false;
        }
        bim_rows_read_.push_back(index);
        return true;
      }
      return fail(start.line, "unexpected element <" + start.name + "> in " + tag(names::kRows) +
                                  "; expected " + expected);
    });
    if (!read || !count_known) {
      return read;
    }
    if (spectrum_line == 0) {
      return fail(rows.line, tag(names::kRows) + " has no " + tag(names::kSpectrumRow) + " row");
    }
    if (bim_rows_read_.size() != static_cast<std::size_t>(count)) {
      return fail(rows.line, tag(names::kRows) + " has " + std::to_string(bim_rows_read_.size()) +
                                 " " + tag(names::kBimRow) + " rows; expected " +
                                 std::to_string(count) + " (SRLGNUM)");
    }
    return check_column_sums();
  }

  // The id of a <bimspectra> row, as its index 0..SRLGNUM-1, seen for the first time. The
  // table of rows is made at the first row: it costs SRLGNUM empty rows, no values.
  bool read_row_id(const StartTag& start, std::int32_t& index) {
    const std::int32_t count = results_.srlg_count;
    std::string id_text;  // id is the only attribute the start tag can hold
    for (const Attribute& attribute : start.attributes) {
      id_text = attribute.value;
    }
    std::int64_t id = 0;
    if (!parse_number(trimmed(id_text), id) || id < 1 || id > count) {
      return fail(start.line, tag(names::kBimRow) + " " + std::string(names::kIdAttribute) +
                                  " is " + quoted(id_text, kQuotedLimit) +
                                  "; expected a number from 1 to " + std::to_string(count) +
                                  " (SRLGNUM)");
    }
    if (seen_ids_.empty()) {
      seen_ids_.assign(static_cast<std::size_t>(count), false);
      results_.bim_spectra.assign(static_cast<std::size_t>(count), SpectraVector());
    }
    index = static_cast<std::int32_t>(id - 1);
    if (seen_ids_[static_cast<std::size_t>(index)]) {
      return fail(start.line,
                  "a second " + tag(names::kBimRow) + " row with id " + std::to_string(id));
    }
    seen_ids_[static_cast<std::size_t>(index)] = true;
    return true;
  }

  // A row before the count: its text and comments are passed over unread.
  bool pass_over_row(const StartTag& start) {
    std::string ignored;
    LineNumber line = 0;
    return read_leaf_text(start, kLayoutAllowance, "comma-separated values only", ignored, line);
  }

  // Reads the values of one row, exactly SRLGNUM of them, into `row`, checking each as it
  // comes. O(length of the text) when it is read before or after all the others; the
  // spectrum read after k BIM rows adds O(k) per value.
  bool read_row(const StartTag& start, const RowContext& context, SpectraVector& row) {
    const std::int32_t count = results_.srlg_count;
    row.clear();
    if (count == 0) {
      return read_empty_row(start, context);
    }
    row.reserve(static_cast<std::size_t>(count));
    const auto longest =
        static_cast<std::uint64_t>(2.0 * longest_row_bytes(count)) + kLayoutAllowance;
    const std::uint64_t opened_at = source_.consumed();
    std::array<char, kLongestKept + 1> token{};
    std::size_t token_size = 0;
    bool cut = false;
    bool started = false;
    bool space_inside = false;
    LineNumber token_line = source_.line();
    std::int32_t index = 1;
    const auto take_value = [&](bool last) {
      if (!started) {
        token_line = source_.line();
      }
      const std::string_view text(token.data(), token_size);
      if (!take(context, row, index, text, cut, token_line, last)) {
        return false;
      }
      token_size = 0;
      cut = false;
      started = false;
      space_inside = false;
      ++index;
      return true;
    };
    for (;;) {
      if (start.empty) {
        return take_value(true);
      }
      const int c = source_.peek();
      if (c == ByteSource::kEnd) {
        return fail(start.line, "<" + start.name + "> has no end tag");
      }
      if (source_.consumed() - opened_at > longest) {
        return fail(source_.line(), context.label + " text is longer than " +
                                        describe_bytes(static_cast<double>(longest)) +
                                        ", the most read for SRLGNUM " + std::to_string(count) +
                                        " (twice the longest row Varnak writes for it, and " +
                                        describe_bytes(static_cast<double>(kLayoutAllowance)) +
                                        " for layout)");
      }
      if (c == ',') {
        source_.next();
        if (!take_value(false)) {
          return false;
        }
      } else if (is_space(c)) {
        source_.next();
        space_inside = started;
      } else if (c != '<') {
        if (!started) {
          started = true;
          token_line = source_.line();
        }
        // A space inside a value makes it no number; one stands for them all in the quote.
        if (space_inside && token_size < token.size()) {
          token[token_size++] = ' ';
          space_inside = false;
        }
        // The value's bytes up to the next comma, space or tag, taken as one run.
        // It stops one byte past the row's allowance, so that the check above speaks.
        const std::string_view ahead = source_.ahead();
        const std::size_t scanned = static_cast<std::size_t>(
            std::min<std::uint64_t>(ahead.size(), longest - (source_.consumed() - opened_at) + 1));
        std::size_t length = 0;
        while (length < scanned && ahead[length] != ',' && ahead[length] != '<' &&
               !is_space(ahead[length])) {
          ++length;
        }
        const std::size_t kept = std::min(length, token.size() - token_size);
        std::copy_n(ahead.data(), kept, token.data() + token_size);
        token_size += kept;
        cut = cut || kept < length;
        source_.skip(length);
      } else {
        const LineNumber lt_line = source_.line();
        source_.next();
        Markup markup = Markup::kComment;
        if (!read_markup(start, lt_line, markup)) {
          return false;
        }
        if (markup == Markup::kEndTag) {
          return take_value(true);
        }
        if (markup == Markup::kChild) {
          std::string name;
          read_name(name);
          return fail(lt_line, "unexpected element <" + name + "> in " + context.label +
                                   "; expected comma-separated values only");
        }
      }
    }
  }

  // With SRLGNUM 0 a row holds nothing but white space and comments.
  bool read_empty_row(const StartTag& start, const RowContext& context) {
    std::string text;
    LineNumber line = 0;
    if (!read_leaf_text(start, kLayoutAllowance, "no values, as SRLGNUM is 0", text, line)) {
      return false;
    }
    const std::string_view value = trimmed(text);
    if (!value.empty()) {
      return fail(line, context.label + " holds " + quoted(std::string(value), kQuotedLimit) +
                            "; expected no values, as SRLGNUM is 0");
    }
    return true;
  }

  // "<spectra> value 2 of 3 is "0.8"": the value at fault, for a message.
  std::string said(const RowContext& context, std::int32_t index, std::string_view text) const {
    return context.label + " value " + std::to_string(index) + " of " +
           std::to_string(results_.srlg_count) + " is " + quoted(std::string(text), kQuotedLimit);
  }

  // Value `index` (from 1) of a row, whose text is `text` (`cut` when longer than kept):
  // parsed, then checked against the row so far and against the rows already read.
  bool take(const RowContext& context, SpectraVector& row, std::int32_t index,
            std::string_view text, bool cut, LineNumber line, bool last) {
    const std::int32_t count = results_.srlg_count;
    if (index > count) {
      return fail(line, context.label + " has more than " + std::to_string(count) +
                            " values (SRLGNUM); value " + std::to_string(index) + " is " +
                            quoted(std::string(text), kQuotedLimit));
    }
    double value = 0.0;
    if (cut || !parse_row_value(text, value) || !(value >= 0.0 && value <= 1.0)) {
      return fail(line, said(context, index, text) + "; expected a number from 0 to 1");
    }
    const auto column = static_cast<std::size_t>(index - 1);
    if (column > 0 && value < row[column - 1] - kValueTolerance) {
      return fail(line, said(context, index, text) + ", below value " + std::to_string(index - 1) +
                            ", " + six_decimals(row[column - 1]) +
                            "; expected values that never decrease, as a connected network "
                            "stays connected when more SRLGs come up");
    }
    row.push_back(value);
    if (context.is_spectrum) {
      spectrum_lines_.push_back(line);
      for (const std::int32_t bim_index : bim_rows_read_) {
        const double bim_value = results_.bim_spectra[static_cast<std::size_t>(bim_index)][column];
        const std::string fault = cross_row_fault(bim_value, value, column);
        if (!fault.empty()) {
          return fail(line, said(context, index, text) + ", but " + bim_row_label(bim_index) +
                                " value " + std::to_string(index) + " is " +
                                six_decimals(bim_value) + fault);
        }
      }
      spectrum_read_ = last;
    } else if (spectrum_read_) {
      const std::string fault = cross_row_fault(value, results_.spectrum[column], column);
      if (!fault.empty()) {
        return fail(line, said(context, index, text) + ", but " + tag(names::kSpectrumRow) +
                              " value " + std::to_string(index) + " is " +
                              six_decimals(results_.spectrum[column]) + fault);
      }
    }
    if (last && index < count) {
      return fail(line, context.label + " has " + std::to_string(index) + " values; expected " +
                            std::to_string(count) + " (SRLGNUM)");
    }
    return true;
  }

  // What is wrong with a BIM value beside the spectrum value of its column, as the end of a
  // message; empty when nothing is. A sample counted for an SRLG is counted in the spectrum
  // too, and with all SRLGs up every connected sample counts for every SRLG.
  std::string cross_row_fault(double bim_value, double spectrum_value, std::size_t column) const {
    if (bim_value > spectrum_value + kValueTolerance) {
      return "; expected each BIM value at most the spectrum value of its column, as every "
             "sample counted for an SRLG is counted in the spectrum";
    }
    if (column + 1 == static_cast<std::size_t>(results_.srlg_count) &&
        std::fabs(bim_value - spectrum_value) > kValueTolerance) {
      return "; expected the last BIM values equal to the last spectrum value, as with all "
             "SRLGs up every connected sample counts for every SRLG";
    }
    return {};
  }

  static std::string bim_row_label(std::int32_t index) {
    std::string label = "<";
    label += names::kBimRow;
    label += ' ';
    label += names::kIdAttribute;
    label += "=\"";
    label += std::to_string(index + 1);
    label += "\">";
    return label;
  }

  // Column j of the BIM rows adds up to j+1 times spectrum value j: a connected sample with
  // j+1 SRLGs up counts for each of them. O(SRLGNUM^2), once all rows are in.
  bool check_column_sums() {
    const auto count = static_cast<std::size_t>(results_.srlg_count);
    std::vector<double> sums(count, 0.0);
    for (const SpectraVector& row : results_.bim_spectra) {
      for (std::size_t column = 0; column < count; ++column) {
        sums[column] += row[column];
      }
    }
    for (std::size_t column = 0; column < count; ++column) {
      const double up = static_cast<double>(column + 1);
      const double expected = up * results_.spectrum[column];
      // Each of the SRLGNUM values added and each of the column+1 copies of the spectrum
      // value may be off by the tolerance of one value.
      const double tolerance = kValueTolerance * (static_cast<double>(count) + up);
      if (std::fabs(sums[column] - expected) > tolerance) {
        const std::string k = std::to_string(column + 1);
        return fail(spectrum_lines_[column],
                    tag(names::kSpectrumRow) + " value " + k + " of " + std::to_string(count) +
                        " is " + six_decimals(results_.spectrum[column]) + ", but the " +
                        tag(names::kBimRow) + " values " + k + " add up to " +
                        six_decimals(sums[column]) + "; expected " + k + " times it, " +
                        six_decimals(expected) + " (to within " + six_decimals(tolerance) +
                        "), as each connected sample counts once for each SRLG up, and value " + k +
                        " has " + k + " up");
      }
    }
    return true;
  }

  ByteSource& source_;
  const std::string file_name_;  // printable
  XmlResults& results_;
  std::string& failure_;
  std::string limit_reason_ =
      "the file holds more than " + describe_bytes(static_cast<double>(kLayoutAllowance)) +
      " before its " + tag(names::kSrlgCount) +
      " count; expected a Varnak result file, which gives the count in its first 100 bytes";
  bool spectrum_read_ = false;
  std::vector<LineNumber> spectrum_lines_;   // of each spectrum value, for the column sums
  std::vector<std::int32_t> bim_rows_read_;  // row indices, in the order read
  std::vector<bool> seen_ids_;
};

// The bytes of an open file, read in large blocks. A read error ends them as the end of
// the file does, and is kept to be reported instead of what the reader made of the end.
class FileBytes : public std::streambuf {
 public:
  explicit FileBytes(int descriptor) : descriptor_(descriptor), buffer_(std::size_t{1} << 16) {}
  int error() const { return error_; }

 protected:
  // What the buffer still holds, then the rest straight from the file into the caller's
  // memory: a reader that takes large blocks gets each byte copied once.
  std::streamsize xsgetn(char* destination, std::streamsize count) override {
    const std::streamsize buffered = std::min<std::streamsize>(egptr() - gptr(), count);
    std::copy_n(gptr(), buffered, destination);
    gbump(static_cast<int>(buffered));
    std::streamsize done = buffered;
    while (done < count) {
      const ssize_t got =
          ::read(descriptor_, destination + done, static_cast<std::size_t>(count - done));
      if (got > 0) {
        done += got;
      } else if (got == 0) {
        break;
      } else if (errno != EINTR) {
        error_ = errno;
        break;
      }
    }
    return done;
  }

  int_type underflow() override {
    for (;;) {
      const ssize_t got = ::read(descriptor_, buffer_.data(), buffer_.size());
      if (got > 0) {
        setg(buffer_.data(), buffer_.data(), buffer_.data() + got);
        return traits_type::to_int_type(buffer_[0]);
      }
      if (got == 0) {
        return traits_type::eof();
      }
      if (errno != EINTR) {
        error_ = errno;
        return traits_type::eof();
      }
    }
  }

 private:
  int descriptor_;
  int error_ = 0;
  std::vector<char> buffer_;
};

}  // namespace

int read_xml_results(std::streambuf& bytes, const std::string& file_name, XmlResults& results,
                     std::string& failure) {
  ByteSource source(bytes);
  ResultsReader reader(source, file_name, results, failure);
  return reader.read_document() ? 0 : 1;
}

int parse_xml_results(const std::string& text, const std::string& file_name, XmlResults& results,
                      std::string& failure) {
  std::stringbuf bytes(text, std::ios::in);
  return read_xml_results(bytes, file_name, results, failure);
}

int read_xml_results(const std::string& path, XmlResults& results, std::string& failure) {
  const std::string shown = printable(path);
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    failure = "cannot open XML result file " + shown + ": " + std::strerror(errno);
    return 1;
  }
  struct stat info {};
  if (::fstat(descriptor, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(descriptor);
    failure = "cannot read XML result file " + shown + ": it is a directory";
    return 1;
  }
  FileBytes bytes(descriptor);
  const int code = read_xml_results(bytes, path, results, failure);
  ::close(descriptor);
  if (bytes.error() != 0) {
    failure = "cannot read XML result file " + shown;
    return 1;
  }
  return code;
}

}  // namespace varnak
