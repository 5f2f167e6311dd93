#include "instance/terminal_set.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace varnak {
namespace {

// A file of terminal ids in the test's scratch folder, removed when done.
class TerminalFile {
 public:
  explicit TerminalFile(const std::string& text)
      : path_(std::filesystem::path(::testing::TempDir()) /
              ("varnak_terminals_" + std::to_string(++count_) + ".txt")) {
    std::ofstream(path_, std::ios::binary) << text;
  }
  ~TerminalFile() { std::filesystem::remove(path_); }
  std::string path() const { return path_.string(); }

 private:
  static inline int count_ = 0;
  std::filesystem::path path_;
};

TEST(TerminalSet, ReadsListsAndFiles) {
  struct Case {
    std::string text;  // "@" alone is followed by the file's path
    std::string file;
    std::vector<std::int32_t> terminals;
  };
  const std::vector<Case> cases = {
      {"1,4", "", {1, 4}},
      {" 7 , 2,5 ", "", {7, 2, 5}},
      {"@", "3\n1\n", {3, 1}},
      {"@", "# data centres\n\n2\r\n 6 \n5", {2, 6, 5}},
      {"@", "\xEF\xBB\xBF" "4\n1\n", {4, 1}},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.text + test_case.file);
    const TerminalFile file(test_case.file);
    std::vector<std::int32_t> terminals;
    std::string failure;
    const std::string text = test_case.text == "@" ? "@" + file.path() : test_case.text;
    EXPECT_EQ(read_terminals(text, 7, terminals, failure), 0) << failure;
    EXPECT_EQ(terminals, test_case.terminals);
  }
}

TEST(TerminalSet, RefusesWhatNamesNoTerminalSet) {
  struct Case {
    std::string text;
    std::string file;
    std::string message;  // after the file's path for a file
  };
  const std::vector<Case> cases = {
      {"1,8", "", "--terminals: terminal 8 is outside 1..7; expected a vertex id of the instance"},
      {"0,2", "", "--terminals: terminal 0 is outside 1..7; expected a vertex id of the instance"},
      {"3,5,3", "", "--terminals: terminal 3 is given twice; expected each vertex at most once"},
      {"4", "", "--terminals: 1 terminal given; expected at least two vertex ids"},
      {"1,,2", "",
       "--terminals item \"\" is not a vertex id; expected a comma list of whole numbers from "
       "1..7 or @FILE"},
      {"1,2x", "",
       "--terminals item \"2x\" is not a vertex id; expected a comma list of whole numbers from "
       "1..7 or @FILE"},
      {"@", "1\n\n1\n", " line 3: terminal 1 is given twice; expected each vertex at most once"},
      {"@", "2\nNew York\n",
       " line 2: terminal \"New York\" is not a vertex id; expected a whole number from 1..7"},
      {"@", "# none\n", ": 0 terminals given; expected at least two vertex ids"},
      {"@", "1\n" + std::string(300, '2') + "\n",
       " line 2: the line is longer than 256 bytes; expected one vertex id a line"},
      // Comments without end, as a pipe from `yes '#'` gives them: refused once they pass
      // 2^24 lines beyond one a vertex.
      {"@",
       "1\n2\n" +
           [] {
             std::string comments;
             for (int line = 0; line < (1 << 24) + 10; ++line) {
               comments += "#\n";
             }
             return comments;
           }(),
       " line 16777224: more than 16777223 lines, one for each vertex and the rest comments; "
       "expected a file that ends"},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.text + test_case.file.substr(0, 20));
    const TerminalFile file(test_case.file);
    std::vector<std::int32_t> terminals;
    std::string failure;
    const bool from_file = test_case.text == "@";
    EXPECT_EQ(read_terminals(from_file ? "@" + file.path() : test_case.text, 7, terminals, failure),
              1);
    EXPECT_EQ(failure, (from_file ? file.path() : "") + test_case.message);
  }
  std::vector<std::int32_t> terminals;
  std::string failure;
  EXPECT_EQ(read_terminals("@/nonexistent/terminals.txt", 7, terminals, failure), 1);
  EXPECT_EQ(failure,
            "cannot open terminal file /nonexistent/terminals.txt: No such file or directory");
}

TEST(TerminalSet, ChecksIdsGivenAsNumbers) {
  std::vector<std::int32_t> terminals;
  std::string failure;
  EXPECT_EQ(check_terminals({2, 3}, 3, terminals, failure), 0);
  EXPECT_EQ(terminals, (std::vector<std::int32_t>{2, 3}));
  EXPECT_EQ(check_terminals({2, 4294967298}, 3, terminals, failure), 1);
  EXPECT_EQ(failure, "terminal 4294967298 is outside 1..3; expected a vertex id of the instance");
  EXPECT_TRUE(all_vertices_are_terminals({}, 3));
  EXPECT_TRUE(all_vertices_are_terminals({3, 1, 2}, 3));
  EXPECT_FALSE(all_vertices_are_terminals({3, 1}, 3));
}

}  // namespace
}  // namespace varnak
