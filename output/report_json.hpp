#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <string_view>
#include <vector>

// What the readers of varnak-tools' reports share: a small JSON reader of bounded depth
// that counts lines for messages, the way a fault becomes a message, and a file read no
// further than a report of its SRLG count can run.
namespace varnak {

// A fault found while reading: the line it is on and what is wrong.
struct ReportFault {
  std::size_t line = 0;  // 0 when no one line is to blame
  std::string reason;
};

// "FILE line N: reason", or "FILE: reason" when no one line is to blame, control bytes
// shown as \xNN.
std::string report_failure(const std::string& file_name, const ReportFault& fault);

// How a value looks in a message: in quotes, control bytes as \xNN, cut after 60 bytes.
std::string shown(std::string_view text);

// A whole number in decimal, all of `text`.
bool read_integer(std::string_view text, std::int64_t& value);

// A finite number, all of `text`.
bool read_number(std::string_view text, double& value);

// The text after a byte-order mark, which says only that the report is UTF-8.
std::string_view without_byte_order_mark(std::string_view text);

// One value where a number, a literal or a string stands, as written.
struct JsonToken {
  enum class Kind {
    kBare,    // a number, true, false or null: `text` is its bytes
    kString,  // `text` is the bytes between its quotes, escapes as written
    kOther,   // an array, an object or no value: `text` is the next few bytes
  };
  Kind kind = Kind::kBare;
  std::string_view text;
  std::size_t line = 0;

  bool is_null() const { return kind == Kind::kBare && text == "null"; }
};

// A token as a message shows it; a string says that it is one, as a number in quotes is
// easily taken for a number.
std::string shown(const JsonToken& token);

// Reads JSON a value at a time, counting lines. Values that a reader does not know are
// skipped at most kMostDepth deep, so a file of nothing but brackets cannot exhaust the
// stack.
class JsonCursor {
 public:
  static constexpr int kMostDepth = 64;

  explicit JsonCursor(std::string_view text) : text_(text) {}

  std::size_t line() const { return line_; }
  void skip_space();
  bool at_end();
  char peek();
  bool take(char expected);
  // The next few bytes, for a message.
  std::string here() const;
  // A string, its escapes undone; false when the next value is not a whole string.
  bool string(std::string& value);
  // A number, a literal or a string; a kOther token is not taken.
  JsonToken scalar();
  // Takes the next value when it is null.
  bool take_null();
  bool skip_value(int depth = 0);

 private:
  // The bytes of a number or a literal.
  std::string_view bare();
  bool take_raw(char expected);

  std::string_view text_;
  std::size_t at_ = 0;
  std::size_t line_ = 1;
};

// `what` names the value in a message: "\"N\"", "value 3 of \"connected\"".
bool json_integer(JsonCursor& json, std::int64_t low, std::int64_t high, const std::string& what,
                  std::int64_t& value, ReportFault& fault);

bool json_bool(JsonCursor& json, std::string_view key, bool& value, ReportFault& fault);

// A run's time: seconds from 0 up, or null, which JSON writes for a time it lacks and
// which reads as NaN.
bool json_seconds(JsonCursor& json, double& seconds, ReportFault& fault);

// The items of the array whose '[' was just taken, each read by `read_item`, which
// returns false once it has set the fault; then the closing ']'.
template <typename ReadItem>
bool json_items(JsonCursor& json, std::string_view key, ReportFault& fault, ReadItem read_item) {
  if (json.take(']')) {
    return true;
  }
  do {
    if (!read_item()) {
      return false;
    }
  } while (json.take(','));
  if (!json.take(']')) {
    // Built piece by piece: GCC 12 warns, wrongly, of overlapping copies in "..." + string.
    std::string message = "\"";
    message += key;
    message += "\" goes on with ";
    message += json.here();
    message += "; expected , or ]";
    fault = {json.line(), std::move(message)};
    return false;
  }
  return true;
}

// What a report's reader made of one key of its top object.
enum class KeyValue {
  kRead,     // its value is read
  kUnknown,  // not a key of the report: its value is passed over
  kRefused,  // its value is at fault, and the fault is set
};
using ReadKeyValue =
    std::function<KeyValue(JsonCursor& json, const std::string& key, std::size_t key_line)>;

// Reads the top object of a report, each key's value by `read_value`. A key given twice
// would let its last value win unseen, so it is refused; so are an empty object, a value
// passed over that is no JSON or is nested too deep, and anything after the object.
// `report` names what was expected in a message: "estimate's JSON report".
int read_report_object(std::string_view text, const std::string& report,
                       const ReadKeyValue& read_value, ReportFault& fault);

// An array of numbers, literals or strings, kept as written for checks that need the
// whole report; `what` names the array in messages.
bool json_tokens(JsonCursor& json, const std::string& what, std::vector<JsonToken>& tokens,
                 ReportFault& fault);

// An array of such arrays.
bool json_token_rows(JsonCursor& json, const std::string& what,
                     std::vector<std::vector<JsonToken>>& rows, ReportFault& fault);

// The value of the top object's "command" as written; a kOther token when the text is no
// JSON object or names no command before a value it cannot read.
JsonToken report_command(std::string_view text);

// Terminal ids: whole numbers from 1 to 2^31-1; a fault names the line of the id.
bool read_terminal_ids(const std::vector<JsonToken>& items, std::vector<std::int32_t>& terminals,
                       ReportFault& fault);

// Whether `terminals` can be a run's terminal set: none (every vertex), or two or more
// without a repeat; the fault blames no one line.
bool check_terminal_set(const std::vector<std::int32_t>& terminals, ReportFault& fault);

// The text of the report at `path`. The report names its SRLG count near its start, and
// its length follows from that count: reading stops there, so a device that never ends (or
// a huge file that is no report) is refused after a little reading, and memory stays in
// proportion to the report's own size. `expected` ends a refusal: "expected ...".
int read_report_text(const std::string& path, const std::string& expected, std::string& text,
                     std::string& failure);

}  // namespace varnak
