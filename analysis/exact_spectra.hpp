#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "estimation/spectra_estimator.hpp"
#include "instance/network_instance.hpp"

namespace varnak {

// Above this many SRLGs the 2^S subsets take too long to enumerate even with pruning.
inline constexpr std::int32_t kMaxExactSrlgs = 30;

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
};

// Rows 0..n of Pascal's triangle: binomials(n)[m][k] = C(m, k), exact up to n = 62.
std::vector<std::vector<std::uint64_t>> binomials(std::int32_t n);

// Whether the edges that no SRLG names (ids 1..ENUM) connect all vertices by themselves.
bool free_edges_connect(const NetworkInstance& instance);

// Enumerates the SRLG subsets with the estimator's rules for when an edge is up. Returns 0,
// or 1 with `failure` set when the instance has more than kMaxExactSrlgs SRLGs.
int compute_exact_spectra(const NetworkInstance& instance, ExactSpectra& result,
                          std::string& failure);

}  // namespace varnak
