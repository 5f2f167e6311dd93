#pragma once

#include <cstdint>
#include <vector>

#include "estimation/spectra_estimator.hpp"

namespace varnak {

// Spectra seen as probabilities of connection given how many SRLGs are up.
struct SpectraSummary {
  std::int32_t srlg_count = 0;
  double none_up = 0.0;          // y_0: 1 when the free edges alone connect the network
  SpectraVector spectrum;        // entry k-1: y_k, connected with k random SRLGs up
  BimSpectraMatrix bim_spectra;  // row s-1, entry k-1: z_{s,k}, connected and s among them
};

// C(n, k) p^k (1-p)^(n-k) for k = 0..n, for n into the thousands: neither the binomials
// nor the powers are formed on their own, as they would overflow and underflow.
std::vector<double> binomial_weights(std::int32_t n, double p);

// R(p): the probability that the network is connected when every SRLG is up
// independently with probability p, the sum over k of C(S,k) p^k (1-p)^(S-k) y_k.
double reliability(const SpectraSummary& summary, double p);

// The expected share of terminal pairs joined when every SRLG is up independently with
// probability p: the sum over k of C(S,k) p^k (1-p)^(S-k) pi_k, pi_k being the pairwise
// share with k SRLGs up (entry k-1 of `shares`) and pi_0 = `none_up`, as R(p) sums y_k.
double pairwise_reliability(double none_up, const SpectraVector& shares, double p);

// R(p) with SRLG s held up and held down, and their difference, the Birnbaum importance.
struct SrlgImportance {
  std::int32_t srlg = 0;
  double importance = 0.0;
  double reliability_up = 0.0;
  double reliability_down = 0.0;
};

// P(connected | s up, k up) = z_{s,k} S / k and P(connected | s down, k up) =
// (y_k - z_{s,k}) S / (S - k); both are probabilities, so estimated values are held to
// [0, 1]. O(S) per SRLG once the weights are known.
std::vector<SrlgImportance> srlg_importances(const SpectraSummary& summary, double p);

// The importances, most important first; ties keep the lower SRLG id first. `top` of 0
// or less keeps all.
std::vector<SrlgImportance> rank_by_importance(const SpectraSummary& summary, double p,
                                               std::int32_t top);

}  // namespace varnak
