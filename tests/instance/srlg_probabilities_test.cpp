#include "instance/srlg_probabilities.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace varnak {
namespace {

struct Case {
  std::string text;
  std::int32_t srlg_count;
  int code;
  std::uint64_t line;                      // of the refusal
  std::string reason;                      // its start
  std::vector<double> probabilities = {};  // of a file that is read
};

TEST(SrlgProbabilities, ReadsEverySrlgOnceAndRefusesTheRestWithTheirLine) {
  const std::string long_line(64 * 1024 + 1, '1');
  const std::vector<Case> cases = {
      {"id,p\n2,0.5\n# a note\n\n1,1\r\n3,0\n", 3, kProbabilitiesRead, 0, "", {1.0, 0.5, 0.0}},
      {"1,0.25", 1, kProbabilitiesRead, 0, "", {0.25}},
      // "id,p" is a header on the first line only.
      {"1,0.5\nid,p\n", 1, kProbabilitiesRefused, 2, "\"id,p\" is not \"id,p\" with an SRLG id"},
      {"1,0.5\n3,0.5\n", 3, kProbabilitiesRefused, 0, "SRLG 2 has no probability"},
      {"1,0.5\n2,0.5\n", 3, kProbabilitiesRefused, 0, "SRLG 3 has no probability"},
      {"", 2, kProbabilitiesRefused, 0, "SRLG 1 has no probability"},
      // A huge SRLG count with a short file: refused at once, nothing held per SRLG.
      {"1,0.5\n2,0.5\n3,0.5\n", 2147483647, kProbabilitiesRefused, 0,
       "SRLG 4 has no probability; expected a line \"4,p\" for each SRLG 1..2147483647"},
      {"1,0.5\n2,0.5\n1,0.6\n", 2, kProbabilitiesRefused, 3, "SRLG 1 is given a second time"},
      {"1,0.5\n0,0.5\n", 2, kProbabilitiesRefused, 2, "\"0,0.5\" is not \"id,p\""},
      {"3,0.5\n", 2, kProbabilitiesRefused, 1,
       "\"3,0.5\" is not \"id,p\" with an SRLG id from 1 to 2"},
      {"1 ,0.5\n", 1, kProbabilitiesRefused, 1, "\"1 ,0.5\" is not \"id,p\""},
      {"1\n", 1, kProbabilitiesRefused, 1, "\"1\" is not \"id,p\""},
      {"1,1.5\n", 1, kProbabilitiesRefused, 1, "probability \"1.5\" of SRLG 1 is not a number"},
      {"1,nan\n", 1, kProbabilitiesRefused, 1, "probability \"nan\" of SRLG 1"},
      {"1,\n", 1, kProbabilitiesRefused, 1, "probability \"\" of SRLG 1"},
      // White space on either side is refused alike, and so are hexadecimal floats.
      {"1, 0.5\n", 1, kProbabilitiesRefused, 1, "probability \" 0.5\" of SRLG 1"},
      {"1,0.5 \n", 1, kProbabilitiesRefused, 1, "probability \"0.5 \" of SRLG 1"},
      {"1,0x1p-2\n", 1, kProbabilitiesRefused, 1, "probability \"0x1p-2\" of SRLG 1"},
      {"1,2.5e-1\n", 1, kProbabilitiesRead, 0, "", {0.25}},
      {"\xEF\xBB\xBFid,p\n1,0.5\n", 1, kProbabilitiesRead, 0, "", {0.5}},
      {"1,0.5\n" + long_line, 1, kProbabilitiesRefused, 2, "the line is longer than 64 KiB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 80));
    std::istringstream in(c.text);
    std::vector<double> probabilities;
    ProbabilityRefusal refusal;
    EXPECT_EQ(read_srlg_probabilities(in, c.srlg_count, probabilities, refusal), c.code);
    EXPECT_EQ(refusal.line, c.line);
    EXPECT_EQ(refusal.reason.substr(0, c.reason.size()), c.reason);
    if (c.code == kProbabilitiesRead) {
      EXPECT_EQ(probabilities, c.probabilities);
    }
  }
}

// Hands out "#\n" for ever, as a pipe from `yes '#'` does.
class EndlessComments final : public std::streambuf {
 public:
  EndlessComments() { setg(text_, text_, text_ + 2); }

 protected:
  int_type underflow() override {
    setg(text_, text_, text_ + 2);
    return traits_type::to_int_type(text_[0]);
  }

 private:
  char text_[2] = {'#', '\n'};
};

TEST(SrlgProbabilities, AFileOfCommentsThatNeverEndsIsRefused) {
  EndlessComments comments;
  std::istream in(&comments);
  std::vector<double> probabilities;
  ProbabilityRefusal refusal;
  EXPECT_EQ(read_srlg_probabilities(in, 3, probabilities, refusal), kProbabilitiesRefused);
  EXPECT_EQ(refusal.line, (std::uint64_t{1} << 24) + 4);
  EXPECT_NE(refusal.reason.find("expected a file that ends"), std::string::npos) << refusal.reason;
}

}  // namespace
}  // namespace varnak
