#include "instance/instance_reader.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/memory_budget.hpp"

namespace varnak {
namespace {

struct LoadResult {
  int code = -1;
  NetworkInstance instance;
  std::string output;
};

std::filesystem::path scratch_path(const std::string& tag) {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::filesystem::path(::testing::TempDir()) /
         (std::string("varnak_") + test->test_suite_name() + "_" + test->name() + "_" + tag);
}

// Writes `text` byte for byte, so CRLF endings and a missing last line feed reach the
// reader as written, then loads it and removes the file again.
LoadResult load_text(const std::string& text) {
  static int file_number = 0;
  const std::filesystem::path path = scratch_path(std::to_string(++file_number) + ".txt");
  {
    std::ofstream file(path, std::ios::binary);
    file << text;
  }
  LoadResult result;
  std::ostringstream out;
  result.code = load_instance(path.string(), result.instance, out);
  result.output = out.str();
  std::filesystem::remove(path);
  return result;
}

// The whole instance on one line, so a mismatch shows every table side by side.
std::string describe(const NetworkInstance& instance) {
  std::ostringstream text;
  text << "VNUM " << instance.vertex_count << ", ENUM " << instance.edge_count << ", SRLGNUM "
       << instance.srlg_count << "; edges";
  for (const auto& [edge, ends] : instance.edges) {
    text << ' ' << edge << ":(" << ends.first << ',' << ends.second << ')';
  }
  text << "; srlgs";
  for (const auto& [srlg, members] : instance.srlgs) {
    text << ' ' << srlg << ":[";
    for (std::size_t index = 0; index < members.size(); ++index) {
      text << (index == 0 ? "" : ",") << members[index];
    }
    text << ']';
  }
  text << "; counts";
  for (const auto& [edge, count] : instance.edge_srlg_count) {
    text << ' ' << edge << ':' << count;
  }
  return text.str();
}

TEST(SplitFields, CutsAtEveryDelimiterAndAppends) {
  struct Case {
    std::string text;
    char delimiter;
    std::vector<std::string> added;
  };
  const std::vector<Case> cases = {
      {"", ':', {}},
      {"VNUM 5", ':', {}},
      {"VNUM:5", ':', {"VNUM", "5"}},
      {":", ':', {"", ""}},
      {"a::b", ':', {"a", "", "b"}},
      {":a:", ':', {"", "a", ""}},
      {"1,2,", ',', {"1", "2", ""}},
      {" 1 , 2 ", ',', {" 1 ", " 2 "}},
      {"E:7:1,2", ',', {"E:7:1", "2"}},
      {"E:7:1,2", ':', {"E", "7", "1,2"}},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE("\"" + test_case.text + "\" at '" + test_case.delimiter + "'");
    std::vector<std::string> fields = {"kept"};
    split_fields(test_case.text, test_case.delimiter, 16, fields);
    std::vector<std::string> expected = {"kept"};
    expected.insert(expected.end(), test_case.added.begin(), test_case.added.end());
    EXPECT_EQ(fields, expected);
  }
}

// Only the leading pieces are kept: a line of millions of ':' costs no more than the line.
TEST(SplitFields, KeepsOnlyTheLeadingPieces) {
  std::vector<std::string> fields;
  split_fields("SRLG:1:2:3::", ':', 3, fields);
  EXPECT_EQ(fields, (std::vector<std::string>{"SRLG", "1", "2"}));
  fields.clear();
  split_fields("a:b", ':', 1, fields);
  EXPECT_EQ(fields, (std::vector<std::string>{"a"}));
}

// A ring of four vertices whose four edges form three overlapping SRLGs:
//
//   1 ---e1--- 2      SRLG 1 = {e1, e2}
//   |          |      SRLG 2 = {e2, e3}
//   e4         e2     SRLG 3 = {e3, e4}
//   |          |
//   4 ---e3--- 3
TEST(LoadInstance, ReadsTheRingExample) {
  const LoadResult result = load_text(
      "# ring of four vertices, three overlapping SRLGs\n"
      "VNUM:4\nENUM:4\nSRLGNUM:3\n"
      "E:1:1,2\nE:2:2,3\nE:3:3,4\nE:4:4,1\n"
      "SRLG:1:1,2\nSRLG:2:2,3\nSRLG:3:3,4\n");
  const NetworkInstance expected = {4,
                                    4,
                                    3,
                                    {{1, {1, 2}}, {2, {2, 3}}, {3, {3, 4}}, {4, {4, 1}}},
                                    {{1, {1, 2}}, {2, {2, 3}}, {3, {3, 4}}},
                                    {{1, 1}, {2, 2}, {3, 2}, {4, 1}}};
  EXPECT_EQ(result.code, kLoadOk);
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(describe(result.instance), describe(expected));
}

TEST(LoadInstance, StoresWhatTheLinesSay) {
  struct Case {
    std::string file;
    NetworkInstance expected;
  };
  const std::vector<Case> cases = {
      // Numbers are read like atof and truncated toward zero.
      {"VNUM:5.7\nENUM:0\nSRLGNUM:1\n", {5, 0, 1, {}, {}, {}}},
      {"VNUM: 8\nENUM:0\nSRLGNUM:1\n", {8, 0, 1, {}, {}, {}}},
      {"VNUM:\nENUM:0\nSRLGNUM:1\n", {0, 0, 1, {}, {}, {}}},
      {"VNUM:abc\nENUM:0\nSRLGNUM:1\n", {0, 0, 1, {}, {}, {}}},
      {"VNUM:12abc\nENUM:0\nSRLGNUM:1\n", {12, 0, 1, {}, {}, {}}},
      {"VNUM:1e3\nENUM:0\nSRLGNUM:1\n", {1000, 0, 1, {}, {}, {}}},
      {"VNUM:2147483647.5\nENUM:0\nSRLGNUM:1\n", {2147483647, 0, 1, {}, {}, {}}},
      {"VNUM:4\nENUM:0\nSRLGNUM:1\nE:-2147483648.5:1,2\n",
       {4, 0, 1, {{-2147483648, {1, 2}}}, {}, {}}},
      // Lines that are no keyword line leave the earlier VNUM in place.
      {"VNUM:2\nVNUM :5\nENUM:0\nSRLGNUM:1\n", {2, 0, 1, {}, {}, {}}},
      {"VNUM:2\nvnum:5\nENUM:0\nSRLGNUM:1\n", {2, 0, 1, {}, {}, {}}},
      {"VNUM:2\nVNUM 5\nENUM:0\nSRLGNUM:1\n", {2, 0, 1, {}, {}, {}}},
      {"VNUM:2\nVNUMX:5\nENUM:0\nSRLGNUM:1\n", {2, 0, 1, {}, {}, {}}},
      {"VNUM:2\n #VNUM:5\nENUM:0\nSRLGNUM:1\n", {2, 0, 1, {}, {}, {}}},
      {"# a comment: with a colon\n\nVNUM:2\n\r\n#VNUM:5\nplain text\nENUM:0\nSRLGNUM:1\n",
       {2, 0, 1, {}, {}, {}}},
      // Later count lines override earlier ones; extra fields are ignored.
      {"VNUM:-3\nVNUM:4\nENUM:0\nSRLGNUM:1\n", {4, 0, 1, {}, {}, {}}},
      {"VNUM:4\nENUM:2:9\nSRLGNUM:1\n", {4, 2, 1, {}, {}, {}}},
      // Member lists, counts derived from the final lists.
      {"VNUM:9\nENUM:5\nSRLGNUM:1\nSRLG:1:5\n", {9, 5, 1, {}, {{1, {5}}}, {{5, 1}}}},
      {"VNUM:9\nENUM:0\nSRLGNUM:1\nSRLG:1:\n", {9, 0, 1, {}, {{1, {}}}, {}}},
      {"VNUM:9\nENUM:0\nSRLGNUM:1\nSRLG:1:5,\n", {9, 0, 1, {}, {{1, {5, 0}}}, {{0, 1}, {5, 1}}}},
      {"VNUM:9\nENUM:0\nSRLGNUM:1\nSRLG:1:1,,2\n",
       {9, 0, 1, {}, {{1, {1, 0, 2}}}, {{0, 1}, {1, 1}, {2, 1}}}},
      {"VNUM:9\nENUM:0\nSRLGNUM:2\nSRLG:2:3,3\n", {9, 0, 2, {}, {{2, {3, 3}}}, {{3, 2}}}},
      {"VNUM:9\nENUM:0\nSRLGNUM:2\nSRLG:1:1,2\nSRLG:2:2\n",
       {9, 0, 2, {}, {{1, {1, 2}}, {2, {2}}}, {{1, 1}, {2, 2}}}},
      {"VNUM:9\nENUM:4\nSRLGNUM:1\nSRLG:1:1,2\nSRLG:1:3,4\n",
       {9, 4, 1, {}, {{1, {3, 4}}}, {{3, 1}, {4, 1}}}},
      {"VNUM:9\nSRLGNUM:1\nSRLG:1:1,2\nENUM:3\n", {9, 3, 1, {}, {{1, {1, 2}}}, {{1, 1}, {2, 1}}}},
      {"VNUM:9\nENUM:2\nSRLGNUM:1\nSRLG:4:99,98\n",
       {9, 2, 1, {}, {{4, {99, 98}}}, {{98, 1}, {99, 1}}}},
      {"VNUM:9\nENUM:0\nSRLGNUM:1\nSRLG:1:1,2:9\n", {9, 0, 1, {}, {{1, {1, 2}}}, {{1, 1}, {2, 1}}}},
      {"VNUM:9\nENUM:0\nSRLGNUM:1\nSRLG:1: 5, -2.5\n",
       {9, 0, 1, {}, {{1, {5, -2}}}, {{-2, 1}, {5, 1}}}},
      // End vertices, checked only against the final VNUM and the final E line.
      {"VNUM:9\nENUM:0\nSRLGNUM:1\nE:7:2,5,9\n", {9, 0, 1, {{7, {2, 5}}}, {}, {}}},
      {"VNUM:9\nENUM:0\nSRLGNUM:1\nE:7:2,5:x\n", {9, 0, 1, {{7, {2, 5}}}, {}, {}}},
      {"VNUM:9\nENUM:0\nSRLGNUM:1\nE:7: 2, 5\n", {9, 0, 1, {{7, {2, 5}}}, {}, {}}},
      {"VNUM:9\nENUM:0\nSRLGNUM:1\nE:7:1,2\nE:7:3,4\n", {9, 0, 1, {{7, {3, 4}}}, {}, {}}},
      {"VNUM:8\nENUM:0\nSRLGNUM:1\nE:4:1,9\nE:4:1,2\n", {8, 0, 1, {{4, {1, 2}}}, {}, {}}},
      {"VNUM:8\nENUM:0\nSRLGNUM:1\nE:4:1,9\nVNUM:9\n", {9, 0, 1, {{4, {1, 9}}}, {}, {}}},
      {"VNUM:2147483647\nENUM:1\nSRLGNUM:1\nE:1:1,2147483647\nSRLG:1:1\n",
       {2147483647, 1, 1, {{1, {1, 2147483647}}}, {{1, {1}}}, {{1, 1}}}},
      // Line ends: CRLF everywhere, and a last line without a line feed.
      {"VNUM:4\r\nENUM:2\r\nSRLGNUM:2\r\nE:1:1,2\r\nE:2:2,3\r\nSRLG:1:\r\nSRLG:2:2\r\n",
       {4, 2, 2, {{1, {1, 2}}, {2, {2, 3}}}, {{1, {}}, {2, {2}}}, {{2, 1}}}},
      {"VNUM:4\nENUM:0\nSRLGNUM:7", {4, 0, 7, {}, {}, {}}},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.file);
    const LoadResult result = load_text(test_case.file);
    EXPECT_EQ(result.code, kLoadOk);
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(describe(result.instance), describe(test_case.expected));
  }
}

TEST(LoadInstance, RefusesUnsoundFilesInOneLine) {
  struct Case {
    std::string file;
    std::string message;
  };
  const std::string header = "VNUM:8\nENUM:4\nSRLGNUM:2\n";
  const std::string range =
      " is not a 32-bit signed integer; expected a number from -2147483648 "
      "to 2147483647\n";
  const std::vector<Case> cases = {
      // Counts: present, not negative, at least one SRLG.
      {"ENUM:1\nSRLGNUM:1\n", "Instance file: no VNUM line; expected a line such as VNUM:4\n"},
      {"VNUM:1\nSRLGNUM:1\n", "Instance file: no ENUM line; expected a line such as ENUM:4\n"},
      {"VNUM:1\nENUM:1\n", "Instance file: no SRLGNUM line; expected a line such as SRLGNUM:3\n"},
      {"# comments only\n\n#VNUM:4\n",
       "Instance file: no VNUM line; expected a line such as VNUM:4\n"},
      {"\xEF\xBB\xBFVNUM:4\nENUM:1\nSRLGNUM:1\n",
       "Instance file: no VNUM line; expected a line such as VNUM:4 (the file begins with a "
       "byte-order mark, which hides the keyword of line 1)\n"},
      {"VNUM:4\rENUM:1\rSRLGNUM:1\r",
       "Instance file: no ENUM line; expected a line such as ENUM:4 (the file ends its lines "
       "with carriage returns only; end them with line feeds)\n"},
      {"VNUM:2\nENUM:1\nSRLGNUM:1\nE:1:\x1b[2J\r\x1b[31mfine\n",
       "Instance file line 4: E line \"E:1:\\x1b[2J\\x0d\\x1b[31mfine\" has no \",\" between its "
       "end "
       "vertices; expected a line such as E:1:1,2\n"},
      // C1 controls (CSI is U+009B) and bytes that are not UTF-8 are escaped too; other
      // UTF-8 passes as it is.
      {"VNUM:2\nENUM:1\nSRLGNUM:1\nE:1:\xC2\x9B"
       "2J G\xC3\x89"
       "ANT \xFF\xC3\n",
       "Instance file line 4: E line \"E:1:\\xc2\\x9b2J G\xC3\x89"
       "ANT \\xff\\xc3\" has no \",\" between "
       "its end vertices; expected a line such as E:1:1,2\n"},
      {"VNUM:-3\nENUM:1\nSRLGNUM:1\n",
       "Instance file line 1: VNUM -3 is negative; expected a count of 0 or more\n"},
      {"VNUM:1\nENUM:-2.5\nSRLGNUM:1\n",
       "Instance file line 2: ENUM -2 is negative; expected a count of 0 or more\n"},
      {"VNUM:1\nENUM:1\nSRLGNUM:-1\n",
       "Instance file line 3: SRLGNUM -1 is negative; expected a count of 0 or more\n"},
      {"VNUM:4\nENUM:1\nSRLGNUM:1\nVNUM:-1\n",
       "Instance file line 4: VNUM -1 is negative; expected a count of 0 or more\n"},
      {"VNUM:1\nENUM:1\nSRLGNUM:0\n",
       "Instance file line 3: SRLGNUM 0 leaves no SRLG to estimate; expected a count of 1 or "
       "more\n"},
      {"VNUM:1\nENUM:1\nSRLGNUM:abc\n",
       "Instance file line 3: SRLGNUM 0 leaves no SRLG to estimate; expected a count of 1 or "
       "more\n"},
      // Malformed E and SRLG lines.
      {header + "E:7\n",
       "Instance file line 4: E line \"E:7\" has no end vertices; expected a line such as "
       "E:1:1,2\n"},
      {header + "E:\n",
       "Instance file line 4: E line \"E:\" has no end vertices; expected a line such as "
       "E:1:1,2\n"},
      {header + "E:7:5\n",
       "Instance file line 4: E line \"E:7:5\" has no \",\" between its end vertices; expected a "
       "line such as E:1:1,2\n"},
      {header + "E:7:\n",
       "Instance file line 4: E line \"E:7:\" has no \",\" between its end vertices; expected a "
       "line such as E:1:1,2\n"},
      {"VNUM:8\r\nENUM:4\r\nSRLGNUM:2\r\nE:7\r\n",
       "Instance file line 4: E line \"E:7\" has no end vertices; expected a line such as "
       "E:1:1,2\n"},
      {header + "E:" + std::string(100, '7') + "\n",
       "Instance file line 4: E line \"E:" + std::string(58, '7') +
           "...\" has no end vertices; expected a line such as E:1:1,2\n"},
      {header + "SRLG:1\n",
       "Instance file line 4: SRLG line \"SRLG:1\" has no member list; expected a line such as "
       "SRLG:1:1,2\n"},
      // End vertices outside 1..VNUM.
      {header + "E:4:1,9\n", "Instance file line 4: end vertex 9 of edge 4 is outside 1..8\n"},
      {header + "E:4:0,1\n", "Instance file line 4: end vertex 0 of edge 4 is outside 1..8\n"},
      {header + "E:7:2,\n", "Instance file line 4: end vertex 0 of edge 7 is outside 1..8\n"},
      {header + "E:4:-1,2\n", "Instance file line 4: end vertex -1 of edge 4 is outside 1..8\n"},
      {header + "E:4:1,2\nE:4:1,9\n",
       "Instance file line 5: end vertex 9 of edge 4 is outside 1..8\n"},
      {header + "E:5:1,9\nE:4:1,10\n",
       "Instance file line 4: end vertex 9 of edge 5 is outside 1..8\n"},
      {"VNUM:9\nENUM:4\nSRLGNUM:2\nE:4:1,9\nVNUM:8\n",
       "Instance file line 4: end vertex 9 of edge 4 is outside 1..8\n"},
      {"VNUM:0\nENUM:1\nSRLGNUM:1\nE:1:1,1\n",
       "Instance file line 4: end vertex 1 of edge 1 is outside 1..0\n"},
      {"VNUM:2147483647\nENUM:1\nSRLGNUM:1\nE:1:-1,2\n",
       "Instance file line 4: end vertex -1 of edge 1 is outside 1..2147483647\n"},
      // Numbers no 32-bit signed integer can hold.
      {"VNUM:2147483648\nENUM:1\nSRLGNUM:1\n", "Instance file line 1: VNUM \"2147483648\"" + range},
      {"VNUM:1\nENUM: 1e10xyz\nSRLGNUM:1\n", "Instance file line 2: ENUM \"1e10\"" + range},
      {"VNUM:1\nENUM:1\nSRLGNUM:inf\n", "Instance file line 3: SRLGNUM \"inf\"" + range},
      {"VNUM:-infinity\nENUM:1\nSRLGNUM:1\n", "Instance file line 1: VNUM \"-infinity\"" + range},
      {header + "E:nan:1,2\n", "Instance file line 4: edge id \"nan\"" + range},
      {header + "E:1:1,-2147483649\n", "Instance file line 4: end vertex \"-2147483649\"" + range},
      {header + "SRLG:99999999999:1\n", "Instance file line 4: SRLG id \"99999999999\"" + range},
      {header + "SRLG:1:1,1e999\n", "Instance file line 4: SRLG member \"1e999\"" + range},
      {header + "SRLG:1:1e999\n", "Instance file line 4: SRLG member \"1e999\"" + range},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.file);
    const LoadResult result = load_text(test_case.file);
    EXPECT_EQ(result.code, kLoadFailed);
    EXPECT_EQ(result.output, test_case.message);
  }
}

// Tables follow the ids the file uses, not its declared counts: ENUM 2147483647 with two
// edges costs two edges.
TEST(LoadInstance, SizesTablesByTheIdsUsedNotByEnum) {
  const LoadResult result =
      load_text("VNUM:3\nENUM:2147483647\nSRLGNUM:1\nE:1:1,2\nE:2:2,3\nSRLG:1:1,\n");
  EXPECT_EQ(result.code, kLoadOk);
  EXPECT_EQ(result.instance.edge_srlg_count.size(), 2u);  // edge 1 and the trailing 0
  EXPECT_EQ(srlg_memberships(result.instance, 2), 0);
  EXPECT_EQ(srlg_memberships(result.instance, 1), 1);
}

TEST(LoadInstance, ReportsAPathThatCannotBeOpened) {
  const std::filesystem::path missing = scratch_path("missing.txt");
  std::filesystem::remove(missing);
  const std::vector<std::string> paths = {missing.string(), ::testing::TempDir()};
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    NetworkInstance instance;
    std::ostringstream out;
    EXPECT_EQ(load_instance(path, instance, out), kLoadCannotOpen);
    EXPECT_EQ(out.str(), "Error in openening file \n");
    EXPECT_EQ(describe(instance), describe(NetworkInstance{}));
  }
}

}  // namespace
}  // namespace varnak
