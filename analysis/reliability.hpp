#pragma once

#include <cstdint>
#include <vector>

#include "analysis/confidence.hpp"
#include "analysis/cut_sets.hpp"
#include "analysis/exact_count.hpp"
#include "instance/spectra.hpp"

namespace varnak {

// Spectra seen as probabilities of connection given how many SRLGs are up.
struct SpectraSummary {
  std::int32_t srlg_count = 0;
  double none_up = 0.0;          // y_0: 1 when the free edges alone connect the network
  SpectraVector spectrum;        // entry k-1: y_k, connected with k random SRLGs up
  BimSpectraMatrix bim_spectra;  // row s-1, entry k-1: z_{s,k}, connected and s among them
  // Sampled spectra keep the counts they are made of (counts.sample_size > 0): every value
  // above is then count / N, and the intervals come from the counts. Exact spectra set
  // `exact`; spectra read from an XML file have neither, and so no intervals.
  SpectraCounts counts;
  bool exact = false;
  // Exact spectra keep the counts of connected subsets they are made of (entry k-1: of
  // size k; row s-1: those holding SRLG s), from which R(p) and the importances are the
  // doubles nearest to the exact values, and ties are told exactly. Empty otherwise.
  std::vector<ExactCount> exact_connected;
  std::vector<std::vector<ExactCount>> exact_connected_with;
};

// The summary of sampled counts: y_k = connected / N and z_{s,k} = connected_with / N, each
// one correctly rounded division, so in [0, 1] and exactly 0 or 1 where the counts say so.
SpectraSummary summary_of_counts(SpectraCounts counts, bool free_edges_connect);

// Whether figures from `summary` carry intervals: exact ones (a point) and sampled ones.
bool has_intervals(const SpectraSummary& summary);

// R(p): the probability that the network is connected when every SRLG is up
// independently with probability p, the sum over k of C(S,k) p^k (1-p)^(S-k) y_k.
double reliability(const SpectraSummary& summary, double p);

// The expected share of terminal pairs joined when every SRLG is up independently with
// probability p: the sum over k of C(S,k) p^k (1-p)^(S-k) pi_k, pi_k being the pairwise
// share with k SRLGs up (entry k-1 of `shares`) and pi_0 = `none_up`, as R(p) sums y_k.
double pairwise_reliability(double none_up, const SpectraVector& shares, double p);

// R(p) with its 95% interval, and 1 - R(p) summed on its own from the shares that do not
// connect, so that a value near 1e-6 keeps its digits.
//
// A sampled R(p) is the mean over the samples of a value that depends only on the
// position u at which the sample first connects (the sum of the weights of k > u); the
// differences of the spectrum counts are the histogram of u, so the sample variance is
// exact. Its share of 1 - R lies between 0 and its value for a sample that connects
// only with every SRLG up (whether the network then connects is the same for every
// order), and the interval is bounded_mean_interval's: the normal one where samples are
// plentiful, reaching toward the values no sample was drawn at where few or none carry
// R. O(S).
//
// With `exact_tail` (the failure shares of up to D failed SRLGs, from
// count_failure_shares), 1 - R(p) is the sum over d failed SRLGs of P(d failed) times the
// share of d-sets that disconnect: exact for d <= D, and from the spectrum (k = S - d up)
// only beyond. At high p nearly all of 1 - R lies at small d, so the sampled part, and
// with it the interval, shrinks to the little that is left; it keeps a width while any
// weight is sampled, even when every sample fell where the sampled part cannot vary.
struct ReliabilityPoint {
  double p = 0.0;
  double reliability = 0.0;
  double unreliability = 0.0;  // 1 - R(p)
  Interval interval;           // of R(p); [R, R] when exact, [0, 1] when unknown
};
ReliabilityPoint reliability_point(const SpectraSummary& summary, double p,
                                   const FailureShares* exact_tail = nullptr);

// R(p) with SRLG s held up and held down, and their difference, the Birnbaum importance.
struct SrlgImportance {
  std::int32_t srlg = 0;
  double importance = 0.0;
  double reliability_up = 0.0;
  double reliability_down = 0.0;
  Interval interval;      // 95% interval of the importance; [I, I] when exact
  bool resolved = false;  // set by rank_by_importance
  // Of exact figures: SRLGs whose importances are equal (or, each SRLG with its own p,
  // closer than the rounding's bound) share the rank of their group's first; 0 for an
  // SRLG that ties with none, and for sampled figures, which are ranked by intervals.
  std::int32_t tie_group = 0;
};

// P(connected | s up, k up) = z_{s,k} S / k and P(connected | s down, k up) =
// (y_k - z_{s,k}) S / (S - k); both are probabilities, so estimated values are held to
// [0, 1]. O(S) per SRLG once the weights are known.
//
// For sampled spectra, I_s is the mean of X - Y over the samples, X a value of
// max(u, position of s) (the BIM counts' differences are its histogram) and Y a value of
// u; their joint law is not counted, so the interval takes Var(X - Y) <= (sd X + sd Y)^2,
// which holds whatever it is.
std::vector<SrlgImportance> srlg_importances(const SpectraSummary& summary, double p);

// The importances, most important first; ties keep the lower SRLG id first. `top` of 0
// or less keeps all. A rank is resolved when the interval of its SRLG lies above the
// intervals of every SRLG ranked below it and below those of every SRLG ranked above, so
// that no value inside the intervals could reorder it; equal exact values are not.
// Spectra without intervals resolve nothing.
std::vector<SrlgImportance> rank_by_importance(const SpectraSummary& summary, double p,
                                               std::int32_t top);

// The same ranking of importances found otherwise (each SRLG with its own p, from the
// decision diagram); `with_intervals` when their intervals are known.
std::vector<SrlgImportance> rank_importances(std::vector<SrlgImportance> importances,
                                             bool with_intervals, std::int32_t top);

// The ranking of exact importances known within their intervals (a bound on rounding):
// SRLGs whose intervals meet, one after another, form a tie group.
std::vector<SrlgImportance> rank_bounded_importances(std::vector<SrlgImportance> importances,
                                                     std::int32_t top);

}  // namespace varnak
