#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "common/wide_count.hpp"
#include "instance/network_instance.hpp"
#include "instance/spectra.hpp"

namespace varnak {

class ProcessGroup;

// What a run in parallel did, beside its counts.
struct CountingStats {
  std::int32_t blocks = 0;          // blocks of samples the run was cut into
  std::int64_t rejections = 0;      // draws rejected, over the whole run
  std::int64_t redrawn_blocks = 0;  // blocks drawn again once rejections before them were known
  double seconds = 0.0;             // the whole run, on this process
  double serial_seconds = 0.0;      // time in which only one thread of this process worked
  double jump_seconds = 0.0;        // jumping the engine ahead, summed over the threads
};

// How a run is split among threads and processes, and what it reports on the side.
struct CountingOptions {
  int thread_count = 1;
  // The processes sharing the run; none: this process alone. Rank 0 receives the counts
  // of the whole run, every other rank the counts of its own samples.
  ProcessGroup* processes = nullptr;
  // Advanced as samples are finished (every few hundred), so that another thread can show
  // how far the run has come; it ends at N.
  std::atomic<std::int64_t>* samples_done = nullptr;
  CountingStats* stats = nullptr;
  // Samples in a block; 0 lets the estimator choose. Any size gives the same counts.
  std::int32_t samples_per_block = 0;
  // Looked at every thousand or so samples: once it is true the run ends early, and its
  // counts, for fewer than N samples, are to be thrown away (a caller that was
  // interrupted, such as the Python module after Ctrl-C). For a process alone only: the
  // other ranks would wait for one that stopped.
  const std::atomic<bool>* stop_requested = nullptr;
  // The vertices that must be in one piece for a sample to be UP; none (or all of them):
  // every vertex, with the fast searches. Checked by the caller (read_terminals).
  std::vector<std::int32_t> terminals;
  // Also count the terminal pairs joined at each position (SpectraCounts::connected_pairs).
  // Each sample is then walked forward with union-find, even when every vertex is a
  // terminal; the spectra stay the same to the last bit.
  bool pairwise = false;
  // Also count, by SRLG and position, the samples that the SRLG joined: the one whose
  // coming up there connected them (SpectraCounts::critical). Birnbaum importance follows
  // from them without bias; a table as large as the BIM counts, so asked for only by
  // runs that report importance.
  bool critical = false;
};

// Runs N samples and returns their counts: the same counts for every number of threads
// and processes, equal to those of one thread drawing every order in turn. In parallel,
// the samples go in blocks, and the blocks in rounds of one block per thread: each thread
// jumps the engine ahead to its block and draws it from the identity, the orders the
// blocks start from follow by composing the blocks' net permutations in turn, and the
// threads then evaluate the orders that the blocks really hold. Tests reach further
// through counting_hooks.hpp.
SpectraCounts estimate_counts(std::int32_t sample_size, std::int32_t seed,
                              const NetworkInstance& instance, const CountingOptions& options);

inline SpectraCounts estimate_counts(std::int32_t sample_size, std::int32_t seed,
                                     const NetworkInstance& instance, int thread_count = 1,
                                     std::atomic<std::int64_t>* samples_done = nullptr) {
  CountingOptions options;
  options.thread_count = thread_count;
  options.samples_done = samples_done;
  return estimate_counts(sample_size, seed, instance, options);
}

// The double that adding 1.0/N to 0.0 `count` times in succession gives, for any count up
// to N, without the additions: the sums are kept as a few hundred segments of equal
// steps, and a count costs a binary search among them.
class RepeatedSums {
 public:
  explicit RepeatedSums(std::int32_t sample_size);
  double operator()(std::int64_t count) const;

 private:
  // Counts first_count, first_count + 1, ... up to the next segment's first_count give
  // first_sum, first_sum + step, ...: exact, as every sum of a segment lies in one binade.
  struct Segment {
    std::int64_t first_count;
    double first_sum;
    double step;
  };
  double increment_;
  std::vector<Segment> segments_;
};

// The spectrum that the counts stand for, and their BIM rows one at a time: the doubles
// that adding 1.0/N once per counted sample gives, with no second table. The rows read
// `counts`, which must outlive them.
void spectrum_of(const SpectraCounts& counts, SpectraVector& spectrum);
BimRowSource bim_rows_of(const SpectraCounts& counts);

// By position j: the expected share of terminal pairs joined once the first j+1 SRLGs of
// a random order are up, connected_pairs[j] / (N C(T, 2)), rounded once. 1 where there is
// no pair at all (fewer than two terminals), as no pair is apart. Empty when the counts
// hold no pairs.
void pairwise_of(const SpectraCounts& counts, SpectraVector& shares);

// What an estimate's memory depends on, beyond the instance.
struct EstimateShape {
  std::int64_t srlg_count = 0;
  std::int32_t sample_size = 0;
  int thread_count = 1;   // of this process
  int process_count = 1;  // the ranks of an MPI job
  bool critical = false;  // a second table of counts a thread (CountingOptions::critical)
};

// A thread's own memory when the samples are shared out, beyond its tables and orders: its
// stack as far as a run reaches into it, and the table of a jump of the engine.
inline constexpr std::uint64_t kThreadBytes = std::uint64_t{256} << 10;

// Bytes the estimator takes in one process beyond the instance: one integer table per
// thread, the first of which becomes the counts of the run, and, shared out among threads
// or processes, each thread's own memory and two buffers of orders, each as large as the
// thread's most samples in a round.
double estimator_scratch_bytes(const EstimateShape& shape);

}  // namespace varnak
