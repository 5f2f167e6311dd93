#include "app/run_options.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace varnak {
namespace {

// What the library renders for the options description: banner, caption line and one
// line per option, the descriptions starting in column 25 (24 characters before them).
const std::string kDescription =
    "\n"
    "******************************************************************** \n"
    "* Varnak package for Shared Risk Reliability and Sensitivity       * \n"
    "* Spectra estimation                                               * \n"
    "* Varnak developers                                                * \n"
    "* Documentation: README.md of the Varnak sources                   *\n"
    "********************************************************************\n"
    "Allowed options:\n"
    "  --help                produce help message\n"
    "  --graph arg           input graph instance file\n"
    "  --N arg               sample size\n"
    "  --seed arg            random number generator seed (default is none)\n"
    "  --outpath arg         output file (optional)\n";

const std::string kUsageLine =
    " (Usage example: Varnak --graph <path to grpah> --N <sample size> --seed <seed> --outpath "
    "<outpath for external output analysis>)\n";

const std::string kHelpOutput = kDescription + "\n" + kUsageLine;
const std::string kRejectedOutput = kDescription + "\n";

struct Outcome {
  int result = -1;
  std::string output;
  RunOptions options;
};

Outcome run(const std::vector<std::string>& arguments) {
  std::vector<const char*> argv = {"varnak"};
  for (const std::string& argument : arguments) {
    argv.push_back(argument.c_str());
  }
  Outcome outcome;
  std::ostringstream out;
  outcome.result =
      read_run_options(static_cast<int>(argv.size()), argv.data(), outcome.options, out);
  outcome.output = out.str();
  return outcome;
}

std::string joined(const std::vector<std::string>& arguments) {
  std::string text;
  for (const std::string& argument : arguments) {
    text += argument + " ";
  }
  return text;
}

void expect_options(const RunOptions& actual, const RunOptions& expected) {
  EXPECT_EQ(actual.graph_path, expected.graph_path);
  EXPECT_EQ(actual.sample_size, expected.sample_size);
  EXPECT_EQ(actual.seed, expected.seed);
  EXPECT_EQ(actual.xml_requested, expected.xml_requested);
  EXPECT_EQ(actual.output_path, expected.output_path);
}

TEST(ReadRunOptions, DescriptionLinesKeepTheirColumns) {
  // Guards the literal above against a slip in its padding, independently of the parser.
  std::istringstream lines(kDescription);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    SCOPED_TRACE(line);
    if (number >= 2 && number <= 7) {
      EXPECT_EQ(line.find_last_of('*'), 67u);
    }
    if (number >= 9) {
      EXPECT_EQ(line.find_first_not_of(' ', line.find("  ", 2)), 24u);
    }
  }
  EXPECT_EQ(number, 13);
}

// Every command line ends in one outcome: help, the options list for one that cannot be
// read (its fields left at their defaults), the first failed check's message, or the fields
// filled without a word.
TEST(ReadRunOptions, EachCommandLineGivesItsOutcome) {
  const std::string kSeed = "The seed should be positive integer.\n";
  const std::string kNoSampleSize = "No input sample size was specified\n";
  const std::string kSampleSize = "The sample size should be positive integer.\n";
  const std::string kNoGraph = "No input graph was specified\n";
  struct Case {
    std::vector<std::string> arguments;
    int result;
    std::string output;
    std::optional<RunOptions> options;  // checked when given
  };
  const std::vector<Case> cases = {
      // Help, asked for or with no option at all.
      {{}, 1, kHelpOutput, std::nullopt},
      {{"--help"}, 1, kHelpOutput, std::nullopt},
      {{"--he"}, 1, kHelpOutput, std::nullopt},
      {{"--help", "--seed", "-3"}, 1, kHelpOutput, std::nullopt},
      {{"--help", "--graph", "g.txt", "--N", "100"}, 1, kHelpOutput, std::nullopt},
      {{"--graph", "g.txt", "--N", "0", "--help"}, 1, kHelpOutput, std::nullopt},
      // A command line that cannot be read.
      {{"--N", "abc", "--help"}, 1, kRejectedOutput, RunOptions{}},
      {{"-N", "100", "--graph", "g.txt"}, 1, kRejectedOutput, RunOptions{}},
      {{"--N", "100", "--N", "200", "--graph", "g.txt"}, 1, kRejectedOutput, RunOptions{}},
      {{"--graph", "g.txt", "--N", "2147483648"}, 1, kRejectedOutput, RunOptions{}},
      {{"--graph", "g.txt", "--N", "-2147483649"}, 1, kRejectedOutput, RunOptions{}},
      {{"--graph", "g.txt", "--N", "100", "--seed", "99999999999"},
       1,
       kRejectedOutput,
       RunOptions{}},
      {{"--graph", "g.txt", "--N", "2.5"}, 1, kRejectedOutput, RunOptions{}},
      {{"--graph", "g.txt", "--N", "100", "--seed", "x"}, 1, kRejectedOutput, RunOptions{}},
      {{"--graph", "g.txt", "--N=abc"}, 1, kRejectedOutput, RunOptions{}},
      {{"--graph"}, 1, kRejectedOutput, RunOptions{}},
      {{"--N", "100", "--graph"}, 1, kRejectedOutput, RunOptions{}},
      {{"--help=yes"}, 1, kRejectedOutput, RunOptions{}},
      {{"--verbose", "--graph", "g.txt", "--N", "100"}, 1, kRejectedOutput, RunOptions{}},
      {{"--n", "100", "--graph", "g.txt"}, 1, kRejectedOutput, RunOptions{}},
      {{"-h"}, 1, kRejectedOutput, RunOptions{}},
      // A word that is neither an option nor an option's value, wherever it stands.
      {{"--graph", "g.txt", "--N", "10", "out.xml"}, 1, kRejectedOutput, RunOptions{}},
      {{"stray", "--graph", "h.txt", "--N", "7"}, 1, kRejectedOutput, RunOptions{}},
      {{"--graph", "g.txt", "stray", "--N", "7"}, 1, kRejectedOutput, RunOptions{}},
      {{"g.txt"}, 1, kRejectedOutput, RunOptions{}},
      {{"g.txt", "more.txt"}, 1, kRejectedOutput, RunOptions{}},
      {{"--help", "extra"}, 1, kRejectedOutput, RunOptions{}},
      // The first failed check, alone.
      {{"--graph", "g.txt", "--N", "100", "--seed", "-1"}, 1, kSeed, std::nullopt},
      {{"--graph", "g.txt", "--N", "100", "--seed", "-2147483648"}, 1, kSeed, std::nullopt},
      {{"--N", "100", "--seed", "-5"}, 1, kSeed, std::nullopt},
      {{"--seed", "-5"}, 1, kSeed, std::nullopt},
      {{"--N", "0", "--seed", "-1"}, 1, kSeed, std::nullopt},
      {{"--graph", "g.txt"}, 1, kNoSampleSize, std::nullopt},
      {{"--seed", "7"}, 1, kNoSampleSize, std::nullopt},
      {{"--graph", "g.txt", "--N", "0"}, 1, kSampleSize, std::nullopt},
      {{"--graph", "g.txt", "--N", "-10"}, 1, kSampleSize, std::nullopt},
      {{"--graph", "g.txt", "--N", "-2147483648"}, 1, kSampleSize, std::nullopt},
      {{"--N", "0"}, 1, kSampleSize, std::nullopt},
      {{"--N", "100"}, 1, kNoGraph, std::nullopt},
      {{"--N", "1", "--seed", "0"}, 1, kNoGraph, std::nullopt},
      {{"--N", "100", "--outpath", "out.xml"}, 1, kNoGraph, std::nullopt},
      // --outpath requests the XML file even when a later check fails.
      {{"--outpath", "out.xml"}, 1, kNoSampleSize, RunOptions{"", -1, -1, true, "out.xml"}},
      // Complete command lines.
      {{"--graph", "g.txt", "--N", "100"}, 0, "", RunOptions{"g.txt", 100, -1, false, ""}},
      {{"--N", "100", "--graph", "g.txt"}, 0, "", RunOptions{"g.txt", 100, -1, false, ""}},
      {{"--graph", "g.txt", "--N", "1", "--seed", "0"},
       0,
       "",
       RunOptions{"g.txt", 1, 0, false, ""}},
      {{"--graph=g.txt", "--N=100", "--seed=42"}, 0, "", RunOptions{"g.txt", 100, 42, false, ""}},
      {{"--graph", "g.txt", "--N", "100", "--outpath", "out.xml"},
       0,
       "",
       RunOptions{"g.txt", 100, -1, true, "out.xml"}},
      {{"--gr", "g.txt", "--N", "5", "--se", "3", "--out", "o.xml"},
       0,
       "",
       RunOptions{"g.txt", 5, 3, true, "o.xml"}},
      {{"--graph", "dir with spaces/g.txt", "--N", "2147483647", "--seed", "2147483647"},
       0,
       "",
       RunOptions{"dir with spaces/g.txt", 2147483647, 2147483647, false, ""}},
      {{"--graph", "g.txt", "--N", "+12", "--seed", "007"},
       0,
       "",
       RunOptions{"g.txt", 12, 7, false, ""}},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(joined(test_case.arguments));
    const Outcome outcome = run(test_case.arguments);
    EXPECT_EQ(outcome.result, test_case.result);
    EXPECT_EQ(outcome.output, test_case.output);
    if (test_case.options.has_value()) {
      expect_options(outcome.options, *test_case.options);
    }
  }
}

// Records how much text had been written each time the stream was flushed.
class FlushRecorder : public std::streambuf {
 public:
  const std::string& text() const { return text_; }
  const std::vector<std::size_t>& flush_points() const { return flush_points_; }

 protected:
  int_type overflow(int_type character) override {
    if (!traits_type::eq_int_type(character, traits_type::eof())) {
      text_ += traits_type::to_char_type(character);
    }
    return traits_type::not_eof(character);
  }
  std::streamsize xsputn(const char* data, std::streamsize count) override {
    text_.append(data, static_cast<std::size_t>(count));
    return count;
  }
  int sync() override {
    flush_points_.push_back(text_.size());
    return 0;
  }

 private:
  std::string text_;
  std::vector<std::size_t> flush_points_;
};

TEST(ReadRunOptions, EveryMessageLineIsFlushed) {
  struct Case {
    std::vector<std::string> arguments;
    std::vector<std::size_t> flush_points;
  };
  const std::vector<Case> cases = {
      {{}, {kDescription.size() + 1, kHelpOutput.size()}},
      {{"--seed", "-1"}, {37}},
      {{"--graph", "g.txt"}, {35}},
      {{"--graph", "g.txt", "--N", "0"}, {44}},
      {{"--N", "100"}, {29}},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(joined(test_case.arguments));
    std::vector<const char*> argv = {"varnak"};
    for (const std::string& argument : test_case.arguments) {
      argv.push_back(argument.c_str());
    }
    FlushRecorder recorder;
    std::ostream out(&recorder);
    RunOptions options;
    EXPECT_EQ(read_run_options(static_cast<int>(argv.size()), argv.data(), options, out), 1);
    EXPECT_EQ(recorder.flush_points(), test_case.flush_points);
    EXPECT_EQ(recorder.text().size(), test_case.flush_points.back());
  }
}

}  // namespace
}  // namespace varnak
