#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/wide_count.hpp"
#include "estimation/spectra_estimator.hpp"
#include "instance/network_instance.hpp"

namespace varnak {

// Above this many SRLGs the 2^S subsets take too long to enumerate even with pruning.
inline constexpr std::int32_t kMaxExactSrlgs = 30;

// Pairwise connectivity cannot drop a branch that can no longer connect the terminals
// (its pairs still count), so it visits up to 2^S subsets: this many SRLGs take seconds.
inline constexpr std::int32_t kMaxExactPairwiseSrlgs = 24;

// What the enumeration counts beyond the all-terminal spectra.
struct ExactOptions {
  // The vertices that must be in one piece; none (or all of them): every vertex.
  std::vector<std::int32_t> terminals;
  bool pairwise = false;  // also the shares of terminal pairs joined
};

// The spectra as exact fractions of subsets. The first k SRLGs of a uniformly random
// order are a uniformly random k-subset, so the estimator's position k-1 is the share of
// k-subsets that connect the network.
struct ExactSpectra {
  std::int32_t srlg_count = 0;
  bool free_edges_connect = false;  // connected with no SRLG up
  // Entry k-1: k-subsets of SRLGs whose coming up connects the network.
  std::vector<std::uint64_t> connected_subsets;
  // Row s-1, entry k-1: those of them that contain SRLG s.
  std::vector<std::vector<std::uint64_t>> connected_subsets_with;
  std::vector<std::uint64_t> subsets;  // entry k-1: C(S, k)
  SpectraVector spectrum;              // connected_subsets / subsets
  BimSpectraMatrix bim_spectra;        // connected_subsets_with / subsets
  // With pairwise connectivity only: entry k-1 sums, over the k-subsets, the terminal
  // pairs their coming up joins; shares divide it by C(S, k) C(T, 2) (1 when there are
  // no pairs). none_up: the share the free edges join alone.
  bool pairwise = false;
  std::uint64_t terminal_pairs = 0;  // C(T, 2)
  std::vector<WideCount> connected_pairs;
  SpectraVector pairwise_shares;
  double pairwise_none_up = 0.0;
};

// Rows 0..n of Pascal's triangle: binomials(n)[m][k] = C(m, k), exact up to n = 62.
std::vector<std::vector<std::uint64_t>> binomials(std::int32_t n);

// Whether the edges that no SRLG names (ids 1..ENUM) connect all vertices by themselves.
bool free_edges_connect(const NetworkInstance& instance);

// Enumerates the SRLG subsets with the estimator's rules for when an edge is up. Returns 0,
// or 1 with `failure` set when the instance has more than kMaxExactSrlgs SRLGs (with
// pairwise connectivity, kMaxExactPairwiseSrlgs). Terminals are taken as given; the
// commands check them first (read_terminals).
int compute_exact_spectra(const NetworkInstance& instance, ExactSpectra& result,
                          std::string& failure, const ExactOptions& options = {});

// The share of terminal pairs (all vertex pairs when `terminals` is empty) that the free
// edges join alone: the pairwise share with no SRLG up. 1 when there are no pairs.
double free_pairs_share(const NetworkInstance& instance,
                        const std::vector<std::int32_t>& terminals);

// Whether the free edges alone put the terminals (none: every vertex) in one piece.
bool free_edges_connect_terminals(const NetworkInstance& instance,
                                  const std::vector<std::int32_t>& terminals);

}  // namespace varnak
