#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "common/wide_count.hpp"

// What a run gives: the spectra as doubles and the integer counts they are made of.
namespace varnak {

// Entry j: probability that the network is connected once the first j+1 SRLGs of a
// random order are up.
using SpectraVector = std::vector<double>;

// Row r belongs to the SRLG with id r+1, column j to position j: probability that the
// network is connected once the first j+1 SRLGs are up and SRLG r+1 is one of them.
using BimSpectraMatrix = std::vector<std::vector<double>>;

// The BIM rows handed out one at a time, so that a writer never needs the whole table as
// doubles: fills `row` with the SRLGNUM values of the SRLG with id srlg_index + 1.
using BimRowSource = std::function<void(std::size_t srlg_index, SpectraVector& row)>;

// The rows of a table already held whole.
inline BimRowSource rows_of(const BimSpectraMatrix& bim_spectra) {
  return
      [&bim_spectra](std::size_t srlg_index, SpectraVector& row) { row = bim_spectra[srlg_index]; };
}

// The integer state of a run, from which every result double is made: 4 bytes a BIM cell.
struct SpectraCounts {
  std::int32_t srlg_count = 0;
  std::int32_t sample_size = 0;
  // By position j: samples connected once the first j+1 SRLGs of their order are up.
  std::vector<std::int64_t> connected;
  // At [(s-1) * SRLGNUM + j]: those of them with SRLG s among the first j+1, so that each
  // SRLG's counts lie together, as its BIM row is written. A count never passes N.
  std::vector<std::int32_t> connected_with;
  // Only when pairwise connectivity was asked for: by position j, the terminal pairs
  // joined once the first j+1 SRLGs are up, summed over the samples (N samples of up to
  // C(T, 2) pairs each pass 2^64, hence the wide count); and C(T, 2), the pairs of a
  // sample, T being the number of terminals (every vertex when none were given).
  std::vector<WideCount> connected_pairs{};
  std::uint64_t terminal_pairs = 0;
  // Only when asked for: at [(s-1) * SRLGNUM + j], the samples whose first connected
  // position is j with SRLG s there, so that s joined them. SRLG s is critical for the
  // SRLGs before it exactly then, which makes these counts the Birnbaum importance's.
  std::vector<std::int32_t> critical{};
};

}  // namespace varnak
