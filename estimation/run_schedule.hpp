#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace varnak {

// The schedule of a parallel run: how its samples are cut into blocks, one block per worker
// and round, and how each round's samples are split among the workers by their measured
// throughput. Pure integer rules over plain records: every process, given the same inputs,
// finds the same schedule, which keeps the runs' results identical for any thread and
// process count.

// Order entries in a block: enough work between two barrier phases that a jump of the
// engine (under a millisecond) costs under 1% of it.
inline constexpr std::int64_t kOrderEntriesPerBlock = std::int64_t{1} << 22;

// Samples in a block of `srlg_count` SRLGs, the run left to choose.
std::int64_t block_size_for(std::int32_t srlg_count);

// A worker's buffer holds a quarter more samples than its block when processes run at
// different speeds, so that the workers of a faster process can take over from a slower
// one (a busy machine of a cluster, a core shared with other work). The threads of one
// process need no such headroom: they split the evaluation of their blocks among them.
std::int64_t capacity_with_headroom(std::int64_t block_size);

struct RunSchedule {
  std::int64_t block_size = 0;     // a worker's samples in a round, all at one throughput
  std::int64_t capacity = 0;       // samples a buffer holds: a worker's most in a round
  std::int64_t round_samples = 0;  // in every round but maybe the last
  std::int64_t round_count = 0;
};

// `requested_block_size` 0 lets the run choose. `balanced_across_processes`: the run has
// more than one process, and splits its rounds by throughput.
RunSchedule make_run_schedule(std::int32_t sample_size, std::int32_t srlg_count, int worker_count,
                              std::int32_t requested_block_size, bool balanced_across_processes);

// The samples of `round`: round_samples, or what is left for the last round.
std::int64_t samples_in_round(const RunSchedule& schedule, std::int32_t sample_size,
                              std::int64_t round);

// The first sample of `worker`'s block in `round`: the round's first sample plus the
// exclusive prefix sum of the workers' shares before it.
std::int64_t first_sample_of(const RunSchedule& schedule, std::int64_t round,
                             std::span<const std::int64_t> shares, int worker);

// A worker's time spent drawing and evaluating since the last barrier phase.
struct WorkTimes {
  std::int64_t drawn = 0;
  std::int64_t draw_nanoseconds = 0;
  std::int64_t evaluated = 0;
  std::int64_t evaluation_nanoseconds = 0;
};

// Throughput bounds that keep shares times throughputs within 64 bits.
inline constexpr std::int64_t kLeastThroughput = 1;
inline constexpr std::int64_t kMostThroughput = std::int64_t{1} << 20;

// Samples, each both drawn and evaluated, per 2^24 nanoseconds, within the bounds; 0 unless
// the worker both drew and evaluated. Drawing and evaluating are timed apart, as a sample
// costs differently in each, and every sample of a share is both drawn and evaluated.
std::int64_t throughput_of(const WorkTimes& times);

// An exponential moving average (a quarter of the new measurement), so that one round's
// hiccup (an interrupt, a page fault) moves no share. `previous` 0: not measured before.
std::int64_t smoothed_throughput(std::int64_t previous, std::int64_t measured);

// Each worker's weight for the next split: its process's mean throughput, as the threads
// of a process split their evaluation among them (one process alone keeps even shares).
// A worker not yet measured counts as keeping its process's mean, or everyone's when none
// of its process is measured. `process_of_worker` numbers the processes in worker order.
void process_mean_throughputs(std::span<const std::int64_t> throughputs,
                              std::span<const int> process_of_worker,
                              std::vector<std::int64_t>& weights);

// `total` samples split among workers in proportion to their throughputs (1 to
// kMostThroughput), none above `capacity` (total is at most capacity times the workers):
// a round's shares. Rounded down, what is left given a sample at a time to those with room.
void split_by_throughput(std::int64_t total, std::int64_t capacity,
                         std::span<const std::int64_t> throughputs,
                         std::vector<std::int64_t>& shares);

// Whether to change from the `current` shares to the `balanced` ones: when the current ones
// do not give `total` samples, or when the balanced ones shorten the round by more than a
// thirty-second, as a worker that jumps by a new distance first makes its jump polynomial
// (a twentieth of a round or so).
bool should_rebalance(std::span<const std::int64_t> current, std::span<const std::int64_t> balanced,
                      std::span<const std::int64_t> weights, std::int64_t total);

}  // namespace varnak
