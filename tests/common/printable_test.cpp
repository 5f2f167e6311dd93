#include "common/printable.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnak {
namespace {

struct Case {
  std::string name;
  std::string text;
  std::string expected;
};

TEST(Printable, EscapesControlBytesAndBytesThatAreNotUtf8) {
  const std::vector<Case> cases = {
      {"plain ASCII", "ring4.txt: E:1:1,2", "ring4.txt: E:1:1,2"},
      {"empty", "", ""},
      {"C0 controls", std::string("a\0b\tc\nd\re", 9), "a\\x00b\\x09c\\x0ad\\x0de"},
      {"escape sequence", "\x1b[2J\x1b]0;title\x07", "\\x1b[2J\\x1b]0;title\\x07"},
      {"DEL", "a\x7F|b", "a\\x7f|b"},
      {"C1 controls, CSI among them", "\xC2\x80|\xC2\x9B[31m|\xC2\x9F",
       "\\xc2\\x80|\\xc2\\x9b[31m|\\xc2\\x9f"},
      {"no-break space, the first character past C1", "\xC2\xA0", "\xC2\xA0"},
      {"two, three and four bytes", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
       "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"highest code point", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
      {"stray continuation byte", "a\x80|b", "a\\x80|b"},
      {"bytes never in UTF-8", "\xC0\xC1\xF5\xFF", "\\xc0\\xc1\\xf5\\xff"},
      {"overlong forms", "\xC0\xAF|\xE0\x80\xAF|\xF0\x80\x80\xAF",
       "\\xc0\\xaf|\\xe0\\x80\\xaf|\\xf0\\x80\\x80\\xaf"},
      {"surrogate", "\xED\xA0\x80", "\\xed\\xa0\\x80"},
      {"past U+10FFFF", "\xF4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
      {"cut short by the end", "\xE2\x82", "\\xe2\\x82"},
      {"cut short by another character", "\xE2\x82z", "\\xe2\\x82z"},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    EXPECT_EQ(printable(test_case.text), test_case.expected);
  }
}

TEST(Quoted, QuotesAndCutsAfterTheLimit) {
  struct Cut {
    std::string name;
    std::string text;
    std::size_t limit;
    std::string expected;
  };
  const std::vector<Cut> cases = {
      {"short", "2147483648", 60, "\"2147483648\""},
      {"empty", "", 60, "\"\""},
      {"exactly the limit", "abcd", 4, "\"abcd\""},
      {"one past the limit", "abcde", 4, "\"abcd...\""},
      {"control bytes count as one byte each", "\x1b\x1b\x1b", 2, "\"\\x1b\\x1b...\""},
      {"a character cut by the limit is escaped", "ab\xC3\xA9", 3, "\"ab\\xc3...\""},
      {"a character just inside the limit", "ab\xC3\xA9", 4, "\"ab\xC3\xA9\""},
  };
  for (const Cut& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    EXPECT_EQ(quoted(test_case.text, test_case.limit), test_case.expected);
  }
  EXPECT_EQ(quoted(std::string(61, 'x')), "\"" + std::string(60, 'x') + "...\"");
}

TEST(Utf8SequenceLength, GivesTheLengthOfEachWellFormedSequence) {
  struct Length {
    std::string text;
    std::size_t at;
    std::size_t expected;
  };
  const std::vector<Length> cases = {
      {"a", 0, 1},
      {std::string(1, '\0'), 0, 1},
      {"\xC3\xA9", 0, 2},
      {"\xC3\xA9", 1, 0},
      {"x\xE2\x82\xAC", 1, 3},
      {"\xF0\x9F\x98\x80", 0, 4},
      {"\xF0\x9F\x98", 0, 0},
      {"\xED\xA0\x80", 0, 0},
      {"\xC1\xBF", 0, 0},
      {"\xFF", 0, 0},
  };
  for (const Length& test_case : cases) {
    SCOPED_TRACE(printable(test_case.text) + " at " + std::to_string(test_case.at));
    EXPECT_EQ(utf8_sequence_length(test_case.text, test_case.at), test_case.expected);
  }
}

}  // namespace
}  // namespace varnak
