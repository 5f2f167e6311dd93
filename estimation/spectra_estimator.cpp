#include "estimation/spectra_estimator.hpp"

#include <algorithm>
#include <atomic>
#include <barrier>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <numeric>
#include <optional>
#include <span>
#include <thread>

#include <sys/mman.h>

#include "common/elapsed.hpp"
#include "common/invariant.hpp"
#include "estimation/counting_hooks.hpp"
#include "estimation/cut_space.hpp"
#include "estimation/jump_ahead.hpp"
#include "estimation/order_sampler.hpp"
#include "estimation/process_exchange.hpp"
#include "estimation/process_group.hpp"
#include "estimation/random_source.hpp"
#include "estimation/run_schedule.hpp"
#include "estimation/sampling_plan.hpp"
#include "estimation/terminal_search.hpp"
#include "instance/terminal_set.hpp"

namespace varnak {
namespace {

// Integer tallies of the samples, turned into the result doubles once at the end.
//
// A sample first UP at position p counts for spectrum entry j when j >= p, and for BIM
// cell (s, j) when j >= max(p, position of s). Kept as differences over positions: the
// sample adds 1 to first_up[p], which stands for +1 in every row from column p on, and
// for each SRLG s that comes up after p it moves that row's start from p to the
// position of s with -1 at p and +1 there. O(SRLGNUM - p) per sample.
//
// With pairwise connectivity, pair_gains[j] sums the terminal pairs that the SRLG at
// position j joined, so that the pairs joined by position j are the sum of entries 0..j.
struct SampleTallies {
  SampleTallies(std::int32_t srlg_count, bool pairwise, bool critical)
      : srlg_count(srlg_count),
        first_up(static_cast<std::size_t>(srlg_count), 0),
        late_starts(static_cast<std::size_t>(srlg_count) * static_cast<std::size_t>(srlg_count), 0),
        pair_gains(pairwise ? static_cast<std::size_t>(srlg_count) : 0, 0),
        connecting(critical ? late_starts.size() : 0, 0) {}

  void record(const std::int32_t* order, std::int32_t up_position) {
    record_with([order](std::int32_t position) { return order[position]; }, up_position);
  }

  // `srlg_at(position)` is asked for the first UP position and those after it.
  template <typename SrlgAt>
  void record_with(SrlgAt srlg_at, std::int32_t up_position) {
    ++first_up[up_position];
    // Locals, so that the counts written in the loop are not taken to change them.
    const std::int32_t count = srlg_count;
    const std::size_t width = static_cast<std::size_t>(count);
    if (!connecting.empty()) {
      ++connecting[static_cast<std::size_t>(up_position) * width +
                   static_cast<std::size_t>(srlg_at(up_position) - 1)];
    }
    std::int32_t* const cells = late_starts.data();
    std::int32_t* const up_row = cells + static_cast<std::size_t>(up_position) * width;
    for (std::int32_t position = up_position + 1; position < count; ++position) {
      const std::size_t srlg_index = static_cast<std::size_t>(srlg_at(position) - 1);
      --up_row[srlg_index];
      ++cells[static_cast<std::size_t>(position) * width + srlg_index];
    }
  }

  void add(const SampleTallies& other) {
    for (std::size_t i = 0; i < first_up.size(); ++i) {
      first_up[i] += other.first_up[i];
    }
    for (std::size_t i = 0; i < late_starts.size(); ++i) {
      late_starts[i] += other.late_starts[i];
    }
    for (std::size_t i = 0; i < pair_gains.size(); ++i) {
      pair_gains[i] += other.pair_gains[i];
    }
    for (std::size_t i = 0; i < connecting.size(); ++i) {
      connecting[i] += other.connecting[i];
    }
  }

  std::int32_t srlg_count;
  std::vector<std::int64_t> first_up;     // by position
  std::vector<std::int32_t> late_starts;  // [position][srlg id - 1]
  std::vector<WideCount> pair_gains;      // by position; empty unless pairwise
  // [position][srlg id - 1]: the samples that SRLG joined at that position, being the one
  // up there. Empty unless asked for.
  std::vector<std::int32_t> connecting;
};

// Swaps the square table's rows and columns in place, in tiles that stay in cache.
void transpose_square(std::vector<std::int32_t>& table, std::size_t width) {
  constexpr std::size_t kTile = 64;
  for (std::size_t row_tile = 0; row_tile < width; row_tile += kTile) {
    for (std::size_t column_tile = row_tile; column_tile < width; column_tile += kTile) {
      const std::size_t row_end = std::min(row_tile + kTile, width);
      const std::size_t column_end = std::min(column_tile + kTile, width);
      for (std::size_t row = row_tile; row < row_end; ++row) {
        for (std::size_t column = std::max(column_tile, row + 1); column < column_end; ++column) {
          std::swap(table[row * width + column], table[column * width + row]);
        }
      }
    }
  }
}

// The pairs that the free edges join count in every sample, at every position.
struct PairBase {
  std::uint64_t free_pairs = 0;
  std::uint64_t terminal_pairs = 0;
};

// The tallies' differences summed into counts, in place: O(S^2), no second table.
SpectraCounts counts_from_tallies(SampleTallies&& tallies, std::int32_t sample_size,
                                  const PairBase& base) {
  SpectraCounts counts;
  counts.srlg_count = tallies.srlg_count;
  counts.sample_size = sample_size;
  const std::size_t width = static_cast<std::size_t>(tallies.srlg_count);
  if (!tallies.pair_gains.empty()) {
    counts.terminal_pairs = base.terminal_pairs;
    counts.connected_pairs.resize(width);
    WideCount joined =
        static_cast<WideCount>(base.free_pairs) * static_cast<WideCount>(sample_size);
    for (std::size_t position = 0; position < width; ++position) {
      joined += tallies.pair_gains[position];
      counts.connected_pairs[position] = joined;
    }
  }
  counts.connected.resize(width);
  std::int64_t samples_up = 0;
  for (std::size_t position = 0; position < width; ++position) {
    samples_up += tallies.first_up[position];
    counts.connected[position] = samples_up;
  }
  // Row j becomes the counts of position j, then rows and columns swap so that each
  // SRLG's counts lie together, in the order a BIM row is written.
  std::vector<std::int32_t>& table = tallies.late_starts;
  for (std::size_t position = 0; position < width; ++position) {
    std::int32_t* row = &table[position * width];
    const std::int32_t* previous = position > 0 ? &table[(position - 1) * width] : nullptr;
    const std::int32_t first_up = static_cast<std::int32_t>(tallies.first_up[position]);
    for (std::size_t srlg_index = 0; srlg_index < width; ++srlg_index) {
      row[srlg_index] += first_up + (previous != nullptr ? previous[srlg_index] : 0);
    }
  }
  transpose_square(table, width);
  counts.connected_with = std::move(table);
  if (!tallies.connecting.empty()) {
    transpose_square(tallies.connecting, width);
    counts.critical = std::move(tallies.connecting);
  }
  return counts;
}

std::vector<std::int32_t> identity_order(std::int32_t srlg_count) {
  std::vector<std::int32_t> order(static_cast<std::size_t>(srlg_count));
  for (std::int32_t position = 0; position < srlg_count; ++position) {
    order[position] = position + 1;
  }
  return order;
}

// What both estimators sample with: the compiled instance and the search for each
// sample's first UP position. A terminal set, or pairwise connectivity, takes the
// terminal plan and its forward union-find walk instead of the plan and its searches.
struct Sampling {
  SamplingPlan plan;
  std::optional<CutSpacePlan> cut_space;
  bool backward = false;
  std::optional<TerminalPlan> terminals;
  bool pairwise = false;
};

// The two searches for the first UP position give the same answer. Searching forward
// costs about the same for every order; searching backward through the cut space costs
// little when the network connects late in the order and much when it connects early.
// A few pilot orders decide which one a run uses. For a terminal set the search walks
// each order forward with union-find on terminal counts (TerminalSearch).
class FirstUpSearch {
 public:
  FirstUpSearch(const SamplingPlan& plan, const std::optional<CutSpacePlan>& cut_space,
                bool backward)
      : always_up_(plan.always_up),
        backward_(backward && cut_space.has_value()),
        srlg_count_(plan.srlg_count) {
    if (always_up_) {
      return;
    }
    if (backward_) {
      backward_search_.emplace(*cut_space);
    } else {
      forward_search_.emplace(plan);
    }
  }

  explicit FirstUpSearch(const Sampling& sampling)
      : always_up_(!sampling.terminals.has_value() && sampling.plan.always_up),
        backward_(!sampling.terminals.has_value() && sampling.backward &&
                  sampling.cut_space.has_value()),
        srlg_count_(sampling.plan.srlg_count) {
    if (sampling.terminals.has_value()) {
      terminal_search_.emplace(*sampling.terminals);
    } else if (always_up_) {
      return;
    } else if (backward_) {
      backward_search_.emplace(*sampling.cut_space);
    } else {
      forward_search_.emplace(sampling.plan);
    }
  }

  std::int32_t first_up_position(const std::int32_t* order) {
    if (always_up_) {
      return 0;
    }
    return backward_ ? backward_search_->first_up_position(order)
                     : forward_search_->first_up_position(order);
  }

  // Whether the search goes from the start of each order, through the plan's listings,
  // which can be renamed.
  bool searches_forward() const { return forward_search_.has_value(); }

  // The sample whose order is start_order[relative[p]]. The search from the start reads
  // the relative positions themselves as ids, with the listings renamed to match
  // (`renamed`: each id s renamed to its position in `start_order`, plus one); the search
  // from the end composes the order as it reads it, from the last position back to the
  // first UP one, into `real_order`. The tallies read the composed order after the first UP
  // position. A terminal search takes the whole order from `real_order`.
  template <typename Position>
  void evaluate(const std::int32_t* start_order, const Position* relative,
                const RenamedListings& renamed, std::int32_t* real_order, SampleTallies& tallies) {
    if (terminal_search_.has_value() || always_up_) {
      for (std::int32_t position = 0; position < srlg_count_; ++position) {
        real_order[position] = start_order[relative[position]];
      }
      evaluate(real_order, tallies);
    } else if (backward_) {
      tallies.record(real_order,
                     backward_search_->first_up_position(start_order, relative, real_order));
    } else {
      tallies.record_with([=](std::int32_t position) { return start_order[relative[position]]; },
                          forward_search_->first_up_position(relative, renamed));
    }
  }

  // The sample of `order` recorded in `tallies`: its first UP position, when it has one,
  // and with a terminal plan the pairs each position joins when the tallies keep them.
  void evaluate(const std::int32_t* order, SampleTallies& tallies) {
    if (!terminal_search_.has_value()) {
      tallies.record(order, first_up_position(order));
      return;
    }
    WideCount* gains = tallies.pair_gains.empty() ? nullptr : tallies.pair_gains.data();
    const std::int32_t up_position = terminal_search_->follow(order, gains);
    if (up_position < srlg_count_) {
      tallies.record(order, up_position);
    }
  }

 private:
  bool always_up_;
  bool backward_;
  std::int32_t srlg_count_ = 0;
  std::optional<FirstUpFinder> forward_search_;
  std::optional<CutSpaceFinder> backward_search_;
  std::optional<TerminalSearch> terminal_search_;
};

// Signatures above this size would crowd the caches that the forward search lives in.
constexpr std::uint64_t kMostCutSpaceBytes = std::uint64_t{8} << 20;

std::optional<CutSpacePlan> cut_space_for(const SamplingPlan& plan) {
  if (plan.always_up) {
    return std::nullopt;
  }
  return build_cut_space_plan(plan, kMostCutSpaceBytes);
}

// The pilot orders come from a copy of the run's random source, so the run draws exactly
// what it would draw without them and the random device is read once per run.
bool backward_is_faster(const SamplingPlan& plan, const std::optional<CutSpacePlan>& cut_space,
                        RandomSource random) {
  if (plan.always_up || !cut_space.has_value()) {
    return false;
  }
  constexpr int kPilotOrders = 64;
  const OrderSampler sampler(plan.srlg_count);
  const std::size_t width = static_cast<std::size_t>(plan.srlg_count);
  std::vector<std::int32_t> order = identity_order(plan.srlg_count);
  std::vector<std::int32_t> orders;
  for (int pilot = 0; pilot < kPilotOrders; ++pilot) {
    sampler.reshuffle(random, order.data());
    orders.insert(orders.end(), order.begin(), order.end());
  }
  const auto time_search = [&](bool backward) {
    FirstUpSearch search(plan, cut_space, backward);
    const auto start = std::chrono::steady_clock::now();
    std::int64_t checksum = 0;
    for (int pilot = 0; pilot < kPilotOrders; ++pilot) {
      checksum += search.first_up_position(&orders[static_cast<std::size_t>(pilot) * width]);
    }
    return std::make_pair(std::chrono::steady_clock::now() - start, checksum);
  };
  time_search(false);  // warms the caches for both
  const auto [forward_time, forward_sum] = time_search(false);
  const auto [backward_time, backward_sum] = time_search(true);
  if (forward_sum != backward_sum) {
    broken_invariant("the forward and backward searches disagree on a pilot order");
  }
  return backward_time < forward_time;
}

// Nothing when no sample can add anything: no samples, no SRLGs, or a network that never
// connects, whatever the orders, and no pairs are asked for.
std::optional<Sampling> prepare_sampling(const NetworkInstance& instance, std::int32_t sample_size,
                                         const RandomSource& random,
                                         const CountingOptions& options) {
  if (sample_size <= 0 || instance.srlg_count <= 0) {
    return std::nullopt;
  }
  Sampling sampling;
  const bool terminal_set = !all_vertices_are_terminals(options.terminals, instance.vertex_count);
  if (terminal_set || options.pairwise) {
    sampling.pairwise = options.pairwise;
    sampling.terminals.emplace(build_terminal_plan(
        instance, terminal_set ? options.terminals : std::vector<std::int32_t>{}));
    sampling.plan.srlg_count = sampling.terminals->srlg_count;
    if (sampling.terminals->never_up && !options.pairwise) {
      return std::nullopt;
    }
    return sampling;
  }
  sampling.plan = build_sampling_plan(instance);
  if (sampling.plan.never_up) {
    return std::nullopt;
  }
  sampling.cut_space = cut_space_for(sampling.plan);
  sampling.backward = backward_is_faster(sampling.plan, sampling.cut_space, random);
  return sampling;
}

// The single-thread loop tells its progress every 1024 samples: a branch that is almost
// never taken, and far more often than a progress bar is redrawn.
constexpr std::int32_t kProgressMask = 1023;

bool stop_is_requested(const std::atomic<bool>* stop_requested) {
  return stop_requested != nullptr && stop_requested->load(std::memory_order_relaxed);
}

void report_progress(std::atomic<std::int64_t>* samples_done, std::int64_t samples) {
  if (samples_done != nullptr) {
    samples_done->store(samples, std::memory_order_relaxed);
  }
}

struct FreeLargeArray {
  void operator()(void* memory) const { std::free(memory); }
};
template <typename T>
using LargeArray = std::unique_ptr<T[], FreeLargeArray>;

constexpr std::uint64_t kHugePage = std::uint64_t{2} << 20;

// What an array of `bytes` takes: whole huge pages from one huge page on, else whole cache
// lines.
std::uint64_t allocated_bytes(std::uint64_t bytes) {
  const std::uint64_t unit = bytes >= kHugePage ? kHugePage : 64;
  return (bytes + unit - 1) / unit * unit;
}

// Megabytes written once a block: in huge pages where the system lends them on request,
// so that a run takes a few page faults rather than thousands, and the evaluation a few
// misses of the address cache. Without them the blocks cost two threads a tenth more time.
template <typename T>
LargeArray<T> large_array(std::size_t count) {
  const std::size_t bytes = allocated_bytes(count * sizeof(T));
  const bool huge = bytes >= kHugePage;
  void* memory = std::aligned_alloc(huge ? kHugePage : 64, bytes);
  if (memory == nullptr) {
    throw std::bad_alloc();
  }
#ifdef MADV_HUGEPAGE
  if (huge) {
    madvise(memory, bytes, MADV_HUGEPAGE);
  }
#endif
  return LargeArray<T>(static_cast<T*>(memory));
}

// Samples evaluated as one piece of work, taken from a shared counter.
constexpr std::int64_t kEvaluationChunk = 64;

// Positions fit in 16 bits up to this many SRLGs.
constexpr std::int32_t kMostNarrowSrlgs = 65536;

// Counts with no sample up anywhere: what a run gives when no sample can connect.
SpectraCounts zero_counts(std::int32_t srlg_count, std::int32_t sample_size) {
  const std::size_t width = static_cast<std::size_t>(std::max<std::int32_t>(srlg_count, 0));
  SpectraCounts counts;
  counts.srlg_count = std::max<std::int32_t>(srlg_count, 0);
  counts.sample_size = sample_size;
  counts.connected.assign(width, 0);
  counts.connected_with.assign(width * width, 0);
  return counts;
}

PairBase pair_base(const Sampling& sampling) {
  if (!sampling.terminals.has_value()) {
    return {};
  }
  return {sampling.terminals->free_pairs, sampling.terminals->pairs};
}

SpectraCounts count_on_one_thread(std::int32_t sample_size, const Sampling& sampling,
                                  RandomSource& random, const CountingOptions& options,
                                  const CountingHooks& hooks) {
  std::atomic<std::int64_t>* samples_done = options.samples_done;
  const SamplingPlan& plan = sampling.plan;
  const OrderSampler sampler(plan.srlg_count, hooks.draw_limit);
  std::vector<std::int32_t> order = identity_order(plan.srlg_count);
  FirstUpSearch finder(sampling);
  SampleTallies tallies(plan.srlg_count, sampling.pairwise, options.critical);
  for (std::int32_t sample = 0; sample < sample_size; ++sample) {
    sampler.reshuffle(random, order.data());
    finder.evaluate(order.data(), tallies);
    if ((sample & kProgressMask) == kProgressMask) {
      report_progress(samples_done, sample + 1);
      if (stop_is_requested(options.stop_requested)) {
        break;
      }
    }
  }
  report_progress(samples_done, sample_size);
  return counts_from_tallies(std::move(tallies), sample_size, pair_base(sampling));
}

using Clock = std::chrono::steady_clock;

std::int64_t nanoseconds_between(Clock::time_point start, Clock::time_point end) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count();
}

// A run in parallel: its samples split among the threads of every process. Sample t of the
// one-thread run draws from engine output t * (SRLGNUM - 1) + (draws rejected before it)
// on, and reshuffles the order that sample t - 1 left. So a block whose first sample is f
// starts at output f * (SRLGNUM - 1) plus the rejections of the blocks before it, and from
// the order that all blocks before it leave: the identity permuted by each block's net
// permutation in turn.
//
// Round by round, each worker (a thread of some process; the workers are numbered across
// processes in rank order) draws one block: it jumps its engine ahead to the block's
// start, counting the rejections of earlier rounds but none of this round's, and draws the
// block's orders from the identity, keeping them. The processes then exchange what each
// block drew (RoundExchange). A block drawn assuming fewer rejections before it than its
// round's earlier blocks made is drawn again, until every start is right; as a draw is
// rejected with probability below SRLGNUM / 2^64, that almost never happens. The blocks'
// start orders follow by composing the net permutations in turn (O(SRLGNUM) a block), and
// each process's threads evaluate its blocks' real orders in chunks taken from a shared
// counter. Integer tallies: their sum does not depend on who evaluated what.
//
// Double buffering: a worker draws its block of the next round into its other buffer
// before it takes chunks of this round, so that the threads pass one barrier a round,
// however long each takes to draw, the chunks evening it out. Processes cannot take each
// other's chunks, so across processes the blocks' sizes follow each process's measured
// throughput (run_schedule.hpp).
//
// The serial part runs in the barrier's completion function, by the last thread to arrive
// while the others wait: the exchange between processes, the start orders and the next
// round's shares. std::barrier calls std::terminate should it throw, so a failure there
// (an exchange that fails) is kept, ends the run at that barrier, and run() rethrows it
// once the threads have ended.
class ParallelRun {
 public:
  ParallelRun(std::int32_t sample_size, const Sampling& sampling, std::uint64_t engine_seed,
              const CountingOptions& options, const CountingHooks& hooks, ProcessGroup& processes)
      : sample_size_(sample_size),
        sampling_(sampling),
        srlg_count_(sampling.plan.srlg_count),
        width_(static_cast<std::size_t>(srlg_count_)),
        threads_(std::max(1, options.thread_count)),
        processes_(processes),
        exchange_(processes, threads_, srlg_count_),
        worker_count_(exchange_.worker_count()),
        schedule_(make_run_schedule(sample_size, srlg_count_, worker_count_,
                                    options.samples_per_block, processes.size() > 1)),
        stride_outputs_(static_cast<std::uint64_t>(schedule_.round_samples) *
                        static_cast<std::uint64_t>(srlg_count_ - 1)),
        seed_window_(seeded_window(engine_seed)),
        sampler_(srlg_count_, hooks.draw_limit),
        samples_done_(options.samples_done),
        stop_requested_(options.stop_requested),
        throughput_override_(hooks.worker_throughput),
        worker_fails_(hooks.worker_fails),
        next_start_order_(identity_order(srlg_count_)),
        composed_(width_),
        chunks_taken_(std::make_unique<SharedCounter[]>(static_cast<std::size_t>(threads_))),
        renamed_round_(
            std::make_unique<std::atomic<std::int64_t>[]>(static_cast<std::size_t>(threads_))),
        barrier_(threads_, BarrierCompletion{this}) {
    for (int thread = 0; thread < threads_; ++thread) {
      renamed_round_[static_cast<std::size_t>(thread)].store(-1);
    }
    split_by_throughput(samples_in_round(schedule_, sample_size_, 0), schedule_.capacity,
                        std::vector<std::int64_t>(static_cast<std::size_t>(worker_count_), 1),
                        shares_);
    throughputs_.assign(static_cast<std::size_t>(worker_count_), 0);  // none measured yet
    weights_.resize(throughputs_.size());
    count_blocks();
    workers_.reserve(static_cast<std::size_t>(threads_));
    const std::size_t entries = static_cast<std::size_t>(schedule_.capacity) * width_;
    for (int thread = 0; thread < threads_; ++thread) {
      Worker& worker = workers_.emplace_back(srlg_count_, sampling.pairwise, options.critical);
      worker.block_window = seed_window_;
      for (BlockBuffer& buffer : worker.buffers) {
        if (srlg_count_ <= kMostNarrowSrlgs) {
          buffer.narrow_orders = large_array<std::uint16_t>(entries);
        } else {
          buffer.wide_orders = large_array<std::uint32_t>(entries);
        }
      }
    }
  }

  SpectraCounts run(CountingStats& stats) {
    const Clock::time_point start = Clock::now();
    {
      std::vector<std::jthread> helpers;
      for (int thread = 1; thread < threads_; ++thread) {
        helpers.emplace_back([this, thread] { work(thread); });
      }
      work(0);
    }
    if (failure_) {
      std::rethrow_exception(failure_);
    }
    const Clock::time_point reduction_start = Clock::now();
    SampleTallies& sum = workers_[0].tallies;
    for (int thread = 1; thread < threads_; ++thread) {
      sum.add(workers_[static_cast<std::size_t>(thread)].tallies);
    }
    processes_.sum_into_first(std::span<std::int64_t>(sum.first_up));
    processes_.sum_into_first(std::span<std::int32_t>(sum.late_starts));
    processes_.sum_into_first(std::span<std::int32_t>(sum.connecting));
    sum_wide_into_first(processes_, sum.pair_gains);
    report_progress(samples_done_, sample_size_);
    SpectraCounts counts = counts_from_tallies(std::move(sum), sample_size_, pair_base(sampling_));
    serial_seconds_ += seconds_since(reduction_start);

    stats.blocks = static_cast<std::int32_t>(blocks_);
    stats.rejections = rejections_before_round_;
    stats.redrawn_blocks = redrawn_blocks_;
    stats.seconds = seconds_since(start);
    stats.serial_seconds = serial_seconds_;
    stats.jump_seconds = 0.0;
    for (const Worker& worker : workers_) {
      stats.jump_seconds += worker.jump_seconds;
    }
    return counts;
  }

 private:
  // A worker's block of one round, as drawn and as the exchange places it.
  struct BlockBuffer {
    explicit BlockBuffer(std::int32_t srlg_count)
        : net_permutation(static_cast<std::size_t>(srlg_count)),
          start_order(static_cast<std::size_t>(srlg_count)) {}

    std::int64_t samples = 0;            // none: the worker has no block this round
    std::int64_t rejections_before = 0;  // those of the earlier blocks, as drawn assuming
    std::int64_t rejections = 0;
    bool needs_redraw = false;  // drawn assuming too few rejections before it
    // Positions 0..SRLGNUM-1 as the block permutes them.
    std::vector<std::int32_t> net_permutation;
    // Each sample's order relative to the block's start, SRLGNUM positions: megabytes that
    // every block writes before they are read, so never cleared. Narrow when SRLGNUM allows.
    LargeArray<std::uint16_t> narrow_orders;
    LargeArray<std::uint32_t> wide_orders;
    std::vector<std::int32_t> start_order;
    RenamedListings renamed;  // for the search from the start: ids renamed as start_order
    std::optional<RandomSource> engine_after;  // where the block's draws left the engine
  };

  struct Worker {
    Worker(std::int32_t srlg_count, bool pairwise, bool critical)
        : buffers{BlockBuffer(srlg_count), BlockBuffer(srlg_count)},
          real_order(static_cast<std::size_t>(srlg_count)),
          new_id(static_cast<std::size_t>(srlg_count) + 1),
          tallies(srlg_count, pairwise, critical) {}

    BlockBuffer& buffer(std::int64_t round) { return buffers[round % 2]; }
    const BlockBuffer& buffer(std::int64_t round) const { return buffers[round % 2]; }

    MtWindow block_window;         // the engine at its latest block's start, were no draw rejected
    std::int64_t block_start = 0;  // that block's first sample
    // Jumps other than the stride, met when the shares of the rounds change; a few kept, as
    // shares that change tend to change back.
    struct KnownJump {
      std::uint64_t outputs = 0;
      JumpPolynomial polynomial;
    };
    std::vector<KnownJump> known_jumps;
    std::size_t oldest_known = 0;
    BlockBuffer buffers[2];  // double buffering: this round's block and the next one's
    std::vector<std::int32_t> real_order;
    std::vector<std::int32_t> new_id;
    SampleTallies tallies;
    double jump_seconds = 0.0;
    WorkTimes work_times;  // since the last barrier phase: the worker's throughput
  };

  // From the worker's window at the block's start, moved on by the rejections before it.
  void draw_block(const Worker& worker, BlockBuffer& buffer) {
    RandomSource random(worker.block_window);
    random.skip(static_cast<std::uint64_t>(buffer.rejections_before));
    draw_from(random, buffer);
  }

  void draw_from(RandomSource& random, BlockBuffer& buffer) {
    if (buffer.narrow_orders) {
      draw_orders(random, buffer, buffer.narrow_orders.get());
    } else {
      draw_orders(random, buffer, buffer.wide_orders.get());
    }
    buffer.engine_after = random;
  }

  // Each sample is drawn in its own place, from a copy of the sample before it, so that
  // no order is copied again; the last one is the block's net permutation.
  template <typename Position>
  void draw_orders(RandomSource& random, BlockBuffer& buffer, Position* orders) {
    buffer.rejections = 0;
    std::iota(orders, orders + width_, Position{0});
    const std::int64_t samples = buffer.samples;
    for (std::int64_t sample = 0; sample < samples; ++sample) {
      if (sample % kEvaluationChunk == 0 && stop_is_requested(stop_requested_)) {
        return;
      }
      Position* order = orders + static_cast<std::size_t>(sample) * width_;
      if (sample > 0) {
        std::copy_n(order - width_, width_, order);
      }
      buffer.rejections += static_cast<std::int64_t>(sampler_.reshuffle(random, order));
    }
    const Position* last = orders + static_cast<std::size_t>(samples - 1) * width_;
    std::copy_n(last, width_, buffer.net_permutation.begin());
  }

  // The worker's block of `round` drawn, its engine window jumped there first. The
  // rejections of every round before it are known by then. The first block of a round
  // starts where the last block of the round before ended, its start resolved: when that
  // block was drawn in this process, the engine goes on from there with no jump (and the
  // first block, never drawn from a wrong start, is never drawn again).
  void draw_block_of_round(Worker& worker, int worker_index, std::int64_t round) {
    BlockBuffer& buffer = worker.buffer(round);
    buffer.samples = shares_[static_cast<std::size_t>(worker_index)];
    if (buffer.samples == 0) {
      return;
    }
    buffer.rejections_before = rejections_before_round_;
    if (round > 0 && worker_index == 0 && worker_count_ == threads_) {
      int last = threads_ - 1;
      while (workers_[static_cast<std::size_t>(last)].buffer(round - 1).samples == 0) {
        --last;
      }
      RandomSource random =
          *workers_[static_cast<std::size_t>(last)].buffer(round - 1).engine_after;
      draw_from(random, buffer);
    } else {
      jump_to(worker, first_sample_of(schedule_, round, shares_, worker_index));
      draw_block(worker, buffer);
    }
  }

  // The worker's window moved on to `first_sample`, from its latest block's start (the
  // seed's window before its first block).
  void jump_to(Worker& worker, std::int64_t first_sample) {
    if (first_sample == worker.block_start) {
      return;
    }
    const Clock::time_point jump_start = Clock::now();
    const std::uint64_t outputs = static_cast<std::uint64_t>(first_sample - worker.block_start) *
                                  static_cast<std::uint64_t>(srlg_count_ - 1);
    worker.block_window = jumped(worker.block_window, jump_of(worker, outputs));
    worker.block_start = first_sample;
    worker.jump_seconds += seconds_since(jump_start);
  }

  // Making a polynomial costs a few jumps: the stride is made once, and a worker keeps the
  // last few others it made.
  const JumpPolynomial& jump_of(Worker& worker, std::uint64_t outputs) {
    constexpr std::size_t kKnownJumps = 4;
    if (outputs == stride_outputs_) {
      return stride_;
    }
    for (const Worker::KnownJump& known : worker.known_jumps) {
      if (known.outputs == outputs) {
        return known.polynomial;
      }
    }
    if (worker.known_jumps.size() < kKnownJumps) {
      worker.known_jumps.push_back({outputs, jump_polynomial(outputs)});
      return worker.known_jumps.back().polynomial;
    }
    Worker::KnownJump& replaced = worker.known_jumps[worker.oldest_known];
    worker.oldest_known = (worker.oldest_known + 1) % kKnownJumps;
    replaced = {outputs, jump_polynomial(outputs)};
    return replaced.polynomial;
  }

  // The processes exchange what their blocks of `round` drew; every process then finds the
  // same starts. Returns whether every block was drawn assuming the right rejections
  // before it; if not, the first wrong one, when local, is marked to be drawn again.
  bool exchange_and_check_starts(std::int64_t round) {
    for (int thread = 0; thread < threads_; ++thread) {
      const Worker& worker = workers_[static_cast<std::size_t>(thread)];
      const BlockBuffer& buffer = worker.buffer(round);
      if (buffer.samples > 0) {
        exchange_.set_report(thread,
                             {buffer.rejections, buffer.rejections_before, worker.work_times},
                             buffer.net_permutation);
      } else {
        exchange_.set_report(thread, {0, kNoBlock, worker.work_times}, {});
      }
    }
    exchange_.exchange();
    std::int64_t rejections_before = rejections_before_round_;
    for (int worker = 0; worker < worker_count_; ++worker) {
      const BlockReport report = exchange_.report_of(worker);
      if (report.rejections_before != kNoBlock && report.rejections_before != rejections_before) {
        if (exchange_.is_local(worker)) {
          BlockBuffer& wrong =
              workers_[static_cast<std::size_t>(worker - exchange_.first_local_worker())].buffer(
                  round);
          wrong.rejections_before = rejections_before;
          wrong.needs_redraw = true;
        }
        // Later blocks cannot be judged before this one is drawn again.
        return false;
      }
      rejections_before += report.rejections;
    }
    return true;
  }

  // Every block's start order of `round`, in turn, and the order the next round starts
  // from: a running composition of the blocks' net permutations.
  void compose_start_orders(std::int64_t round) {
    for (int worker = 0; worker < worker_count_; ++worker) {
      if (exchange_.is_local(worker)) {
        workers_[static_cast<std::size_t>(worker - exchange_.first_local_worker())]
            .buffer(round)
            .start_order = next_start_order_;
      }
      const std::span<const std::int64_t> permutation = exchange_.net_permutation_of(worker);
      for (std::size_t position = 0; position < width_; ++position) {
        composed_[position] = next_start_order_[static_cast<std::size_t>(permutation[position])];
      }
      next_start_order_.swap(composed_);
      rejections_before_round_ += exchange_.report_of(worker).rejections;
    }
  }

  // The serial part of `round`, in the barrier completion: its starts resolved. Only the
  // first wrong block is drawn again, by this thread; the exchange then judges the next.
  // Every process loops as often, as every one judges the same exchange.
  void resolve_round(std::int64_t round) {
    const Clock::time_point serial_start = Clock::now();
    // A block cut short by a stop is not worth exchanging.
    stopping_ = stop_is_requested(stop_requested_);
    while (!stopping_ && !exchange_and_check_starts(round)) {
      for (Worker& worker : workers_) {
        BlockBuffer& buffer = worker.buffer(round);
        if (buffer.needs_redraw) {
          buffer.needs_redraw = false;
          draw_block(worker, buffer);
          ++redrawn_blocks_;
        }
      }
      stopping_ = stop_is_requested(stop_requested_);
    }
    if (!stopping_) {
      compose_start_orders(round);
      if (round + 1 < schedule_.round_count) {
        plan_round(round + 1);
      }
      for (int thread = 0; thread < threads_; ++thread) {
        chunks_taken_[static_cast<std::size_t>(thread)].value.store(0);
      }
    }
    serial_seconds_ += seconds_since(serial_start);
  }

  // The shares of `round`, from the throughputs the workers drew and evaluated at since the
  // last barrier phase (run_schedule.hpp).
  void plan_round(std::int64_t round) {
    for (int worker = 0; worker < worker_count_; ++worker) {
      std::int64_t& throughput = throughputs_[static_cast<std::size_t>(worker)];
      const std::int64_t measured = throughput_of(exchange_.report_of(worker).work_times);
      if (throughput_override_ != nullptr) {
        throughput = std::clamp<std::int64_t>(throughput_override_(worker, round), kLeastThroughput,
                                              kMostThroughput);
      } else if (measured > 0) {
        throughput = smoothed_throughput(throughput, measured);
      }
    }
    process_mean_throughputs(throughputs_, exchange_.process_of_worker(), weights_);
    const std::int64_t total = samples_in_round(schedule_, sample_size_, round);
    split_by_throughput(total, schedule_.capacity, weights_, balanced_);
    if (should_rebalance(shares_, balanced_, weights_, total)) {
      shares_.swap(balanced_);
    }
    count_blocks();
  }

  void count_blocks() {
    blocks_ += std::count_if(shares_.begin(), shares_.end(), [](std::int64_t s) { return s > 0; });
  }

  // Samples first..end-1 of a block whose relative orders are `orders`, of `samples`. The
  // search from the end reads a sample's relative order from its last position back, often
  // only a few cache lines that the prefetcher, seeing no stream, would not fetch: those of
  // the next sample are asked for ahead.
  template <typename Position>
  void evaluate_samples(const BlockBuffer& owner, const Position* orders, std::int64_t first,
                        std::int64_t end, std::int64_t samples, Worker& mine,
                        FirstUpSearch& finder) {
    constexpr std::size_t kTailBytes = 256;
    for (std::int64_t sample = first; sample < end; ++sample) {
      const Position* order = orders + static_cast<std::size_t>(sample) * width_;
      if (sample + 1 < samples) {
        const char* next_end = reinterpret_cast<const char*>(order + 2 * width_);
        for (std::size_t back = 64; back <= kTailBytes; back += 64) {
          __builtin_prefetch(next_end - back);
        }
      }
      finder.evaluate(owner.start_order.data(), order, owner.renamed, mine.real_order.data(),
                      mine.tallies);
    }
  }

  // The chunks of this process's blocks of `round`, each block's taken from a counter of
  // its own: a thread first takes its own block's, whose orders it wrote itself (in its
  // own caches, on a machine whose cores do not share them all), then helps with the
  // others'. At most O(SRLGNUM) a sample beside the evaluation.
  std::int64_t evaluate_blocks(std::int64_t round, int thread, Worker& mine,
                               FirstUpSearch& finder) {
    std::int64_t evaluated = 0;
    for (int step = 0; step < threads_; ++step) {
      const int owner_thread = (thread + step) % threads_;
      const BlockBuffer& owner = workers_[static_cast<std::size_t>(owner_thread)].buffer(round);
      if (owner.samples == 0) {
        continue;
      }
      if (finder.searches_forward() && !wait_for_renamed(owner_thread, round)) {
        return evaluated;
      }
      const std::int64_t samples = owner.samples;
      std::atomic<std::int64_t>& next_chunk =
          chunks_taken_[static_cast<std::size_t>(owner_thread)].value;
      for (std::int64_t first = next_chunk.fetch_add(1) * kEvaluationChunk; first < samples;
           first = next_chunk.fetch_add(1) * kEvaluationChunk) {
        if (stopping_now()) {
          return evaluated;
        }
        const std::int64_t end = std::min(first + kEvaluationChunk, samples);
        if (owner.narrow_orders) {
          evaluate_samples(owner, owner.narrow_orders.get(), first, end, samples, mine, finder);
        } else {
          evaluate_samples(owner, owner.wide_orders.get(), first, end, samples, mine, finder);
        }
        evaluated += end - first;
      }
    }
    return evaluated;
  }

  // The worker's block of `round` gets the plan's listings renamed as its start order
  // names the SRLGs, which the threads searching its samples from the start wait for.
  void rename_listings_of(int thread, Worker& mine, std::int64_t round) {
    BlockBuffer& buffer = mine.buffer(round);
    if (buffer.samples > 0) {
      for (std::size_t k = 0; k < width_; ++k) {
        mine.new_id[static_cast<std::size_t>(buffer.start_order[k])] =
            static_cast<std::int32_t>(k) + 1;
      }
      rename_listings(sampling_.plan, mine.new_id, buffer.renamed);
    }
    renamed_round_[static_cast<std::size_t>(thread)].store(round, std::memory_order_release);
  }

  // False when a stop is requested meanwhile. The owner renames before it draws, so the
  // wait is short, and only ever met when a thread has drawn faster than the owner.
  bool wait_for_renamed(int owner_thread, std::int64_t round) const {
    while (renamed_round_[static_cast<std::size_t>(owner_thread)].load(std::memory_order_acquire) <
           round) {
      if (stopping_now()) {
        return false;
      }
      std::this_thread::yield();
    }
    return true;
  }

  void work(int thread) {
    Worker& mine = workers_[static_cast<std::size_t>(thread)];
    const int worker_index = exchange_.first_local_worker() + thread;
    std::optional<FirstUpSearch> finder;
    guarded([&] {
      finder.emplace(sampling_);
      // Needed from the second round on. Thread 0 makes it while the others make their
      // first jumps, which thread 0 of the first process does not.
      if (thread == 0 && schedule_.round_count > 1) {
        const Clock::time_point jump_start = Clock::now();
        stride_ = jump_polynomial(stride_outputs_);
        mine.jump_seconds += seconds_since(jump_start);
      }
      draw_block_of_round(mine, worker_index, 0);
    });
    barrier_.arrive_and_wait();
    for (std::int64_t round = 0; round < schedule_.round_count && !stopping_; ++round) {
      guarded([&] {
        if (worker_fails_ != nullptr) {
          worker_fails_(worker_index, round);
        }
        if (finder->searches_forward()) {
          rename_listings_of(thread, mine, round);
        }
        WorkTimes& times = mine.work_times;
        times = WorkTimes{};
        const Clock::time_point draw_start = Clock::now();
        if (round + 1 < schedule_.round_count) {
          draw_block_of_round(mine, worker_index, round + 1);
          times.drawn = mine.buffer(round + 1).samples;
        }
        const Clock::time_point evaluation_start = Clock::now();
        times.evaluated = evaluate_blocks(round, thread, mine, *finder);
        times.draw_nanoseconds = nanoseconds_between(draw_start, evaluation_start);
        times.evaluation_nanoseconds = nanoseconds_between(evaluation_start, Clock::now());
        // The first round also faults in the pages of the second buffer: it tells no
        // throughput.
        if (round == 0) {
          times = WorkTimes{};
        }
      });
      barrier_.arrive_and_wait();
    }
  }

  // A thread's work between two barriers. What it throws (memory that runs out for a jump's
  // table, say) is kept for run() to rethrow: an exception leaving a thread would end the
  // process, and one leaving thread 0 would leave the others waiting at the barrier. The
  // thread still arrives at every barrier, and the next completion ends the run there.
  template <typename Step>
  void guarded(Step&& step) {
    if (worker_failed_.load(std::memory_order_acquire)) {
      return;
    }
    try {
      step();
    } catch (...) {
      const std::lock_guard<std::mutex> lock(failure_mutex_);
      if (!failure_) {
        failure_ = std::current_exception();
      }
      worker_failed_.store(true, std::memory_order_release);
    }
  }

  bool stopping_now() const {
    return stop_is_requested(stop_requested_) || worker_failed_.load(std::memory_order_relaxed);
  }

  // The barrier completion function: the rounds evaluated so far told as progress, and the
  // next round's starts resolved. Phase p (from 0) resolves round p, the one drawn before
  // the threads arrived.
  void on_barrier_completion() noexcept {
    if (worker_failed_.load(std::memory_order_acquire)) {
      stopping_ = true;
      return;
    }
    try {
      if (completed_phases_ > 0) {
        report_progress(
            samples_done_,
            std::min<std::int64_t>(completed_phases_ * schedule_.round_samples, sample_size_));
      }
      if (completed_phases_ < schedule_.round_count) {
        resolve_round(completed_phases_);
      }
      ++completed_phases_;
    } catch (...) {
      const std::lock_guard<std::mutex> lock(failure_mutex_);
      failure_ = std::current_exception();
      stopping_ = true;
    }
  }

  struct BarrierCompletion {
    ParallelRun* run;
    void operator()() noexcept { run->on_barrier_completion(); }
  };

  std::int32_t sample_size_;
  const Sampling& sampling_;
  std::int32_t srlg_count_;
  std::size_t width_;
  int threads_;
  ProcessGroup& processes_;
  RoundExchange exchange_;
  int worker_count_;
  RunSchedule schedule_;
  std::uint64_t stride_outputs_;
  MtWindow seed_window_;
  JumpPolynomial stride_;  // from a worker's block to its next, the shares unchanged
  OrderSampler sampler_;
  std::atomic<std::int64_t>* samples_done_;
  const std::atomic<bool>* stop_requested_;
  std::int64_t (*throughput_override_)(int worker, std::int64_t round);
  void (*worker_fails_)(int worker, std::int64_t round);
  std::vector<std::int32_t> next_start_order_;  // of the next round to resolve
  std::vector<std::int32_t> composed_;
  std::vector<Worker> workers_;
  // Written only in the barrier completion; read by the threads after it.
  std::int64_t rejections_before_round_ = 0;  // of the rounds resolved so far
  std::int64_t redrawn_blocks_ = 0;
  std::int64_t blocks_ = 0;
  // By worker: the shares of the next round to draw, and the throughputs they follow.
  std::vector<std::int64_t> shares_;
  std::vector<std::int64_t> throughputs_;  // smoothed; 0 before measured
  std::vector<std::int64_t> weights_;
  std::vector<std::int64_t> balanced_;
  bool stopping_ = false;
  std::exception_ptr failure_;  // what the barrier completion or a thread threw first
  std::mutex failure_mutex_;
  std::atomic<bool> worker_failed_{false};
  double serial_seconds_ = 0.0;
  // On a cache line of its own: every thread may write it.
  struct alignas(64) SharedCounter {
    std::atomic<std::int64_t> value{0};
  };
  std::unique_ptr<SharedCounter[]> chunks_taken_;  // by thread: chunks of its block taken
  // By thread: the latest round whose block has its listings renamed.
  std::unique_ptr<std::atomic<std::int64_t>[]> renamed_round_;
  std::int64_t completed_phases_ = 0;
  std::barrier<BarrierCompletion> barrier_;
};

}  // namespace

SpectraCounts estimate_counts(std::int32_t sample_size, std::int32_t seed,
                              const NetworkInstance& instance, const CountingOptions& options) {
  return estimate_counts(sample_size, seed, instance, options, CountingHooks{});
}

SpectraCounts estimate_counts(std::int32_t sample_size, std::int32_t seed,
                              const NetworkInstance& instance, const CountingOptions& options,
                              const CountingHooks& hooks) {
  LoneProcess alone;
  ProcessGroup& processes = options.processes != nullptr ? *options.processes : alone;
  CountingStats ignored_stats;
  CountingStats& stats = options.stats != nullptr ? *options.stats : ignored_stats;
  const Clock::time_point start = Clock::now();
  RandomSource random(seed);
  const std::optional<Sampling> sampling = prepare_sampling(instance, sample_size, random, options);
  if (!sampling.has_value()) {
    report_progress(options.samples_done, sample_size);
    SpectraCounts counts = zero_counts(instance.srlg_count, sample_size);
    if (options.critical) {
      counts.critical.assign(counts.connected_with.size(), 0);
    }
    if (options.pairwise) {
      counts.connected_pairs.assign(counts.connected.size(), 0);
      const std::int64_t terminals =
          all_vertices_are_terminals(options.terminals, instance.vertex_count)
              ? std::max<std::int32_t>(instance.vertex_count, 0)
              : static_cast<std::int64_t>(options.terminals.size());
      counts.terminal_pairs = pairs_among(terminals);
    }
    return counts;
  }
  SpectraCounts counts;
  if (options.thread_count <= 1 && processes.size() == 1) {
    counts = count_on_one_thread(sample_size, *sampling, random, options, hooks);
    stats.blocks = 1;
    stats.seconds = seconds_since(start);
  } else {
    ParallelRun run(sample_size, *sampling, random.engine_seed(), options, hooks, processes);
    counts = run.run(stats);
  }
  // Connected before any SRLG is up, a sample owes its connection to none: the searches
  // still name a first position, whose SRLG joined nothing.
  const bool none_needed = sampling->terminals.has_value()
                               ? sampling->terminals->terminal_pieces <= 1
                               : sampling->plan.always_up;
  if (none_needed) {
    std::fill(counts.critical.begin(), counts.critical.end(), 0);
  }
  return counts;
}

RepeatedSums::RepeatedSums(std::int32_t sample_size)
    : increment_(sample_size > 0 ? 1.0 / sample_size : 0.0) {
  segments_.push_back({0, 0.0, 0.0});
  if (sample_size <= 0) {
    return;
  }
  // Within a binade every sum lies on one grid, so adding the increment moves by the same
  // step each time (a tie settles after one addition); only near the binade's top, where
  // the grid changes, are additions taken one at a time. A few segments per binade.
  const double x = increment_;
  std::int64_t count = 0;
  double sum = 0.0;
  while (count < sample_size) {
    const double next = sum + x;
    const double step = next - sum;
    int exponent = 0;
    std::frexp(next, &exponent);
    const double top = std::ldexp(1.0, exponent);
    const double grid = std::ldexp(1.0, exponent - 53);
    // From `next`, steps stay `step` while the exact sum plus the increment stays below
    // the top by a grid unit; two steps of margin cover the rounding of this bound.
    const double headroom = std::floor((top - grid - next - x) / step) - 2.0;
    const bool settled =
        next >= x && next + x - next == step && (next + x) + x - (next + x) == step;
    std::int64_t steps = settled && headroom > 0.0 ? static_cast<std::int64_t>(headroom) : 0;
    steps = std::min<std::int64_t>(steps, sample_size - count - 1);
    segments_.push_back({count + 1, next, step});
    count += 1 + steps;
    sum = next + static_cast<double>(steps) * step;
  }
}

double RepeatedSums::operator()(std::int64_t count) const {
  const auto after = std::upper_bound(
      segments_.begin(), segments_.end(), count,
      [](std::int64_t value, const Segment& segment) { return value < segment.first_count; });
  const Segment& segment = *(after - 1);
  return segment.first_sum + static_cast<double>(count - segment.first_count) * segment.step;
}

void spectrum_of(const SpectraCounts& counts, SpectraVector& spectrum) {
  const RepeatedSums sums(counts.sample_size);
  spectrum.resize(counts.connected.size());
  for (std::size_t position = 0; position < spectrum.size(); ++position) {
    spectrum[position] = sums(counts.connected[position]);
  }
}

void pairwise_of(const SpectraCounts& counts, SpectraVector& shares) {
  shares.resize(counts.connected_pairs.size());
  const WideCount all_pairs =
      static_cast<WideCount>(counts.terminal_pairs) * static_cast<WideCount>(counts.sample_size);
  for (std::size_t position = 0; position < shares.size(); ++position) {
    shares[position] =
        all_pairs == 0 ? 1.0 : wide_ratio(counts.connected_pairs[position], all_pairs);
  }
}

BimRowSource bim_rows_of(const SpectraCounts& counts) {
  return [&counts, sums = RepeatedSums(counts.sample_size)](std::size_t srlg_index,
                                                            SpectraVector& row) {
    const std::size_t width = static_cast<std::size_t>(counts.srlg_count);
    const std::int32_t* row_counts = &counts.connected_with[srlg_index * width];
    row.resize(width);
    for (std::size_t position = 0; position < width; ++position) {
      row[position] = sums(row_counts[position]);
    }
  };
}

double estimator_scratch_bytes(const EstimateShape& shape) {
  const std::int64_t srlg_count = shape.srlg_count;
  // In doubles: a hostile SRLG count's need stays beyond any memory instead of wrapping.
  const double table = (shape.critical ? 8.0 : 4.0) * static_cast<double>(srlg_count) *
                       static_cast<double>(srlg_count);
  const double threads = static_cast<double>(std::max(shape.thread_count, 1));
  const bool shared_out = shape.thread_count > 1 || shape.process_count > 1;
  if (srlg_count <= 0 || !shared_out) {
    return threads * table;
  }
  // The schedule the run will make, with every process of as many threads as this one.
  const int workers = std::max(shape.thread_count, 1) * std::max(shape.process_count, 1);
  const auto srlgs = static_cast<std::int32_t>(std::min<std::int64_t>(srlg_count, INT32_MAX));
  const RunSchedule schedule =
      make_run_schedule(std::max(shape.sample_size, 1), srlgs, workers, 0, shape.process_count > 1);
  const std::uint64_t bytes_per_entry = srlg_count <= kMostNarrowSrlgs ? 2 : 4;
  // Double buffering: two buffers of orders a thread, this round's block and the next one's.
  const double buffer =
      static_cast<double>(allocated_bytes(static_cast<std::uint64_t>(schedule.capacity) *
                                          static_cast<std::uint64_t>(srlgs) * bytes_per_entry));
  return threads * (table + 2.0 * buffer + static_cast<double>(kThreadBytes));
}

}  // namespace varnak
