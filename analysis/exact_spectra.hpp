#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "analysis/exact_count.hpp"
#include "analysis/reliability.hpp"
#include "analysis/srlg_diagram.hpp"
#include "common/wide_count.hpp"
#include "instance/network_instance.hpp"
#include "instance/spectra.hpp"

namespace varnak {

// Above this many SRLGs the 2^S subsets take too long to enumerate even with pruning; the
// decision diagram has no such limit.
inline constexpr std::int32_t kMaxExactSrlgs = 30;

// Up to this many SRLGs, enumerating the subsets is as fast as building a diagram or
// faster, whatever the network (see the README's performance section).
inline constexpr std::int32_t kEnumerateUpTo = 16;

enum class ExactMethod {
  kAuto,     // subsets up to kEnumerateUpTo SRLGs, else the diagram
  kSubsets,  // enumerate the SRLG subsets (up to kMaxExactSrlgs SRLGs)
  kDiagram,  // the decision diagram over the SRLGs
  kNone,     // the answer needed neither: nothing connects, or everything does
};

// "subsets", "diagram", "none" (and "auto").
const char* method_name(ExactMethod method);

// Pairwise connectivity cannot drop a branch that can no longer connect the terminals
// (its pairs still count), so it visits up to 2^S subsets: this many SRLGs take seconds.
inline constexpr std::int32_t kMaxExactPairwiseSrlgs = 24;

struct ExactOptions {
  ExactMethod method = ExactMethod::kAuto;
  // The vertices that must be in one piece; none (or all of them): every vertex. Terminals
  // and pairwise connectivity take the subset enumeration.
  std::vector<std::int32_t> terminals;
  bool pairwise = false;                                 // also the shares of terminal pairs joined
  std::uint64_t memory_budget = 0;                       // bytes; 0 for default_memory_budget()
  std::function<void(const DiagramProgress&)> progress;  // may be empty
  // Called every 65536 nodes of a subset search, which may take minutes; it may throw to
  // stop the count. May be empty.
  std::function<void()> checkpoint;
};

// What the diagram took, for reports.
struct DiagramSummary {
  std::int32_t frontier_width = 0;   // most frontier vertices at one level
  std::int32_t most_remembered = 0;  // most SRLG values a state holds
  std::int32_t levels = 0;           // SRLGs that list an edge
  std::uint64_t nodes = 0;
  std::uint64_t largest_level = 0;
  std::uint64_t peak_bytes = 0;  // the big tables at their largest, building and counting
};
// The spectra as exact fractions of subsets. The first k SRLGs of a uniformly random
// order are a uniformly random k-subset, so the estimator's position k-1 is the share of
// k-subsets that connect the network.
struct ExactSpectra {
  std::int32_t srlg_count = 0;
  bool free_edges_connect = false;  // connected with no SRLG up
  // Entry k-1: k-subsets of SRLGs whose coming up connects the network.
  std::vector<ExactCount> connected_subsets;
  // Row s-1, entry k-1: those of them that contain SRLG s.
  std::vector<std::vector<ExactCount>> connected_subsets_with;
  std::vector<ExactCount> subsets;  // entry k-1: C(S, k)
  SpectraVector spectrum;           // connected_subsets / subsets, correctly rounded
  BimSpectraMatrix bim_spectra;     // connected_subsets_with / subsets
  ExactMethod method = ExactMethod::kNone;
  DiagramSummary diagram;  // when method is kDiagram
  // With pairwise connectivity only: entry k-1 sums, over the k-subsets, the terminal
  // pairs their coming up joins; shares divide it by C(S, k) C(T, 2) (1 when there are
  // no pairs). none_up: the share the free edges join alone.
  bool pairwise = false;
  std::uint64_t terminal_pairs = 0;  // C(T, 2)
  std::vector<WideCount> connected_pairs;
  SpectraVector pairwise_shares;
  double pairwise_none_up = 0.0;
};

// Whether the edges that no SRLG names (ids 1..ENUM) connect all vertices by themselves.
bool free_edges_connect(const NetworkInstance& instance);

// The exact spectra with the estimator's rules for when an edge is up, by enumerating the
// SRLG subsets or by the decision diagram, as `options` ask. Returns 0, or 1 with
// `failure` set: more than kMaxExactSrlgs SRLGs to enumerate, or a diagram beyond the
// memory budget. Terminals are taken as given; the commands check them first
// (read_terminals). Terminals or pairwise connectivity refuse the diagram and allow at most
// kMaxExactPairwiseSrlgs SRLGs when pairwise.
int compute_exact_spectra(const NetworkInstance& instance, const ExactOptions& options,
                          ExactSpectra& result, std::string& failure);
// The same with the default options.
int compute_exact_spectra(const NetworkInstance& instance, ExactSpectra& result,
                          std::string& failure);

// The share of terminal pairs (all vertex pairs when `terminals` is empty) that the free
// edges join alone: the pairwise share with no SRLG up. 1 when there are no pairs.
double free_pairs_share(const NetworkInstance& instance,
                        const std::vector<std::int32_t>& terminals);

// Whether the free edges alone put the terminals (none: every vertex) in one piece.
bool free_edges_connect_terminals(const NetworkInstance& instance,
                                  const std::vector<std::int32_t>& terminals);

// R and each SRLG's Birnbaum importance when SRLG s is up independently with probability
// up_probability[s - 1], exactly (in doubles) from the decision diagram.
// The spectra as R(p) and importance take them, with the subset counts that make their
// figures correctly rounded.
SpectraSummary summary_of_exact(ExactSpectra exact);

struct SrlgReliability {
  double reliability = 0.0;
  // By SRLG id, 1 first; each interval the value within `error_bound`, so that two SRLGs
  // whose values lie closer than the rounding can tell apart are not ranked as resolved.
  std::vector<SrlgImportance> importances;
  // How far any figure above may stand from the exact one, rounding included.
  double error_bound = 0.0;
  ExactMethod method = ExactMethod::kNone;  // kDiagram when a diagram was built
  DiagramSummary diagram;                   // when method is kDiagram
};
int compute_srlg_reliability(const NetworkInstance& instance,
                             const std::vector<double>& up_probability, const ExactOptions& options,
                             SrlgReliability& result, std::string& failure);

}  // namespace varnak
