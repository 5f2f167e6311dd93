#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace varnak {

// Results of reading an SRLG probability file.
inline constexpr int kProbabilitiesRead = 0;
inline constexpr int kProbabilitiesRefused = 1;
inline constexpr int kProbabilitiesUnreadable = 2;  // the stream failed while it was read

// Why a probability file was refused: the line to blame, counted from 1 (0 when the file
// as a whole is short of an SRLG), and the reason, one line without its line feed.
struct ProbabilityRefusal {
  std::uint64_t line = 0;
  std::string reason;
};

// A number from 0 to 1 that fills all of `text`.
bool read_probability(const std::string& text, double& probability);

// Reads each SRLG's own probability of being up from "id,p" lines, one for every SRLG
// 1..srlg_count; empty lines, lines that start with '#' and a first line "id,p" are passed
// over. On success `probabilities[s - 1]` is SRLG s's. Memory grows with the lines the file
// holds, never with srlg_count alone, so a huge SRLGNUM with a short file costs nothing.
int read_srlg_probabilities(std::istream& in, std::int32_t srlg_count,
                            std::vector<double>& probabilities, ProbabilityRefusal& refusal);

}  // namespace varnak
