#include "estimation/spectra_estimator.hpp"

#include <algorithm>
#include <atomic>
#include <barrier>
#include <chrono>
#include <cmath>
#include <numeric>
#include <optional>
#include <thread>

#include "common/invariant.hpp"
#include "estimation/cut_space.hpp"
#include "estimation/order_sampler.hpp"
#include "estimation/random_source.hpp"
#include "estimation/sampling_plan.hpp"

namespace varnak {
namespace {

// Integer tallies of the samples, turned into the result doubles once at the end.
//
// A sample first UP at position p counts for spectrum entry j when j >= p, and for BIM
// cell (s, j) when j >= max(p, position of s). Kept as differences over positions: the
// sample adds 1 to first_up[p], which stands for +1 in every row from column p on, and
// for each SRLG s that comes up after p it moves that row's start from p to the
// position of s with -1 at p and +1 there. O(SRLGNUM - p) per sample.
struct SampleTallies {
  explicit SampleTallies(std::int32_t srlg_count)
      : srlg_count(srlg_count),
        first_up(static_cast<std::size_t>(srlg_count), 0),
        late_starts(static_cast<std::size_t>(srlg_count) * static_cast<std::size_t>(srlg_count),
                    0) {}

  void record(const std::int32_t* order, std::int32_t up_position) {
    ++first_up[up_position];
    const std::size_t width = static_cast<std::size_t>(srlg_count);
    std::int32_t* up_row = &late_starts[static_cast<std::size_t>(up_position) * width];
    for (std::int32_t position = up_position + 1; position < srlg_count; ++position) {
      const std::size_t srlg_index = static_cast<std::size_t>(order[position] - 1);
      --up_row[srlg_index];
      ++late_starts[static_cast<std::size_t>(position) * width + srlg_index];
    }
  }

  void add(const SampleTallies& other) {
    for (std::size_t i = 0; i < first_up.size(); ++i) {
      first_up[i] += other.first_up[i];
    }
    for (std::size_t i = 0; i < late_starts.size(); ++i) {
      late_starts[i] += other.late_starts[i];
    }
  }

  std::int32_t srlg_count;
  std::vector<std::int64_t> first_up;     // by position
  std::vector<std::int32_t> late_starts;  // [position][srlg id - 1]
};

// The double that adding `increment` to `start` `times` times in succession gives.
double add_repeatedly(double start, double increment, std::int64_t times) {
  for (std::int64_t i = 0; i < times; ++i) {
    start += increment;
  }
  return start;
}

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

// The tallies' differences summed into counts, in place: O(S^2), no second table.
SpectraCounts counts_from_tallies(SampleTallies&& tallies, std::int32_t sample_size) {
  SpectraCounts counts;
  counts.srlg_count = tallies.srlg_count;
  counts.sample_size = sample_size;
  const std::size_t width = static_cast<std::size_t>(tallies.srlg_count);
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
  return counts;
}

std::vector<std::int32_t> identity_order(std::int32_t srlg_count) {
  std::vector<std::int32_t> order(static_cast<std::size_t>(srlg_count));
  for (std::int32_t position = 0; position < srlg_count; ++position) {
    order[position] = position + 1;
  }
  return order;
}

// The two searches for the first UP position give the same answer. Searching forward
// costs about the same for every order; searching backward through the cut space costs
// little when the network connects late in the order and much when it connects early.
// A few pilot orders decide which one a run uses.
class FirstUpSearch {
 public:
  FirstUpSearch(const SamplingPlan& plan, const std::optional<CutSpacePlan>& cut_space,
                bool backward)
      : always_up_(plan.always_up), backward_(backward && cut_space.has_value()) {
    if (always_up_) {
      return;
    }
    if (backward_) {
      backward_search_.emplace(*cut_space);
    } else {
      forward_search_.emplace(plan);
    }
  }

  std::int32_t first_up_position(const std::int32_t* order) {
    if (always_up_) {
      return 0;
    }
    return backward_ ? backward_search_->first_up_position(order)
                     : forward_search_->first_up_position(order);
  }

 private:
  bool always_up_;
  bool backward_;
  std::optional<FirstUpFinder> forward_search_;
  std::optional<CutSpaceFinder> backward_search_;
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

// What both estimators sample with: the compiled instance and the search for each
// sample's first UP position.
struct Sampling {
  SamplingPlan plan;
  std::optional<CutSpacePlan> cut_space;
  bool backward = false;
};

// Nothing when no sample can add anything: no samples, no SRLGs, or a network that never
// connects, whatever the orders.
std::optional<Sampling> prepare_sampling(const NetworkInstance& instance, std::int32_t sample_size,
                                         const RandomSource& random) {
  if (sample_size <= 0 || instance.srlg_count <= 0) {
    return std::nullopt;
  }
  Sampling sampling;
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

void report_progress(std::atomic<std::int64_t>* samples_done, std::int64_t samples) {
  if (samples_done != nullptr) {
    samples_done->store(samples, std::memory_order_relaxed);
  }
}

bool stop_is_requested(const std::atomic<bool>* stop_requested) {
  return stop_requested != nullptr && stop_requested->load(std::memory_order_relaxed);
}

// Samples drawn per block of the threaded estimator: enough to keep the threads busy
// between two meetings, few enough that two blocks of orders stay in cache.
std::int32_t block_size(std::int32_t srlg_count) {
  constexpr std::int32_t kOrderEntriesPerBlock = 1 << 16;
  return std::max<std::int32_t>(16, kOrderEntriesPerBlock / std::max<std::int32_t>(srlg_count, 1));
}

}  // namespace

namespace {

// Counts with no sample up anywhere: what a run gives when no sample can connect.
SpectraCounts zero_counts(std::int32_t srlg_count, std::int32_t sample_size) {
  const std::size_t width = static_cast<std::size_t>(std::max<std::int32_t>(srlg_count, 0));
  return {std::max<std::int32_t>(srlg_count, 0), sample_size, std::vector<std::int64_t>(width, 0),
          std::vector<std::int32_t>(width * width, 0)};
}

SpectraCounts count_on_one_thread(std::int32_t sample_size, const Sampling& sampling,
                                  RandomSource& random, std::atomic<std::int64_t>* samples_done,
                                  const std::atomic<bool>* stop_requested) {
  const SamplingPlan& plan = sampling.plan;
  const OrderSampler sampler(plan.srlg_count);
  std::vector<std::int32_t> order = identity_order(plan.srlg_count);
  FirstUpSearch finder(plan, sampling.cut_space, sampling.backward);
  SampleTallies tallies(plan.srlg_count);
  for (std::int32_t sample = 0; sample < sample_size; ++sample) {
    sampler.reshuffle(random, order.data());
    tallies.record(order.data(), finder.first_up_position(order.data()));
    if ((sample & kProgressMask) == kProgressMask) {
      report_progress(samples_done, sample + 1);
      if (stop_is_requested(stop_requested)) {
        break;
      }
    }
  }
  report_progress(samples_done, sample_size);
  return counts_from_tallies(std::move(tallies), sample_size);
}

// Drawing is sequential: every order continues the one before it. So one thread draws
// the orders of the next block while all threads, the drawing one once it is done,
// evaluate the current block in small chunks taken from a shared counter. Each thread
// tallies in integers of its own; the sums do not depend on who evaluated what, so the
// results equal those of one thread.
SpectraCounts count_on_threads(std::int32_t sample_size, const Sampling& sampling,
                               RandomSource& random, int thread_count,
                               std::atomic<std::int64_t>* samples_done,
                               const std::atomic<bool>* stop_requested) {
  const SamplingPlan& plan = sampling.plan;
  const std::size_t width = static_cast<std::size_t>(plan.srlg_count);
  const std::int32_t samples_per_block = block_size(plan.srlg_count);
  const std::int32_t block_count = (sample_size - 1) / samples_per_block + 1;
  const OrderSampler sampler(plan.srlg_count);
  std::vector<std::int32_t> order = identity_order(plan.srlg_count);
  std::vector<std::int32_t> blocks[2] = {
      std::vector<std::int32_t>(static_cast<std::size_t>(samples_per_block) * width),
      std::vector<std::int32_t>(static_cast<std::size_t>(samples_per_block) * width)};

  const auto samples_in = [&](std::int32_t block) {
    return std::min(samples_per_block, sample_size - block * samples_per_block);
  };
  const auto draw_block = [&](std::int32_t block) {
    std::int32_t* orders = blocks[block % 2].data();
    for (std::int32_t sample = 0; sample < samples_in(block); ++sample) {
      sampler.reshuffle(random, order.data());
      std::copy(order.begin(), order.end(), orders + static_cast<std::size_t>(sample) * width);
    }
  };

  // On a cache line of its own: every thread writes it, and the values beside it on the
  // stack are read in every chunk.
  struct alignas(64) SharedCounter {
    std::atomic<std::int32_t> value{0};
  };
  SharedCounter next_sample;
  std::int64_t blocks_finished = 0;
  // Read by every thread after each block; the barrier's completion, which alone writes it,
  // happens before any thread is let through, so all threads leave after the same block.
  bool stopping = false;
  std::barrier block_done(thread_count, [&]() noexcept {
    next_sample.value.store(0);
    stopping = stop_is_requested(stop_requested);
    ++blocks_finished;
    report_progress(samples_done,
                    std::min<std::int64_t>(blocks_finished * samples_per_block, sample_size));
  });
  std::vector<SampleTallies> tallies(static_cast<std::size_t>(thread_count),
                                     SampleTallies(plan.srlg_count));

  const auto run = [&](int thread) {
    constexpr std::int32_t kChunk = 8;
    FirstUpSearch finder(plan, sampling.cut_space, sampling.backward);
    SampleTallies& mine = tallies[static_cast<std::size_t>(thread)];
    for (std::int32_t block = 0; block < block_count; ++block) {
      if (thread == 0 && block + 1 < block_count) {
        draw_block(block + 1);
      }
      const std::int32_t* orders = blocks[block % 2].data();
      const std::int32_t count = samples_in(block);
      for (std::int32_t first = next_sample.value.fetch_add(kChunk); first < count;
           first = next_sample.value.fetch_add(kChunk)) {
        for (std::int32_t sample = first; sample < std::min(first + kChunk, count); ++sample) {
          const std::int32_t* sample_order = orders + static_cast<std::size_t>(sample) * width;
          mine.record(sample_order, finder.first_up_position(sample_order));
        }
      }
      block_done.arrive_and_wait();
      if (stopping) {
        return;
      }
    }
  };

  draw_block(0);
  {
    std::vector<std::jthread> helpers;
    for (int thread = 1; thread < thread_count; ++thread) {
      helpers.emplace_back(run, thread);
    }
    run(0);
  }
  for (int thread = 1; thread < thread_count; ++thread) {
    tallies[0].add(tallies[static_cast<std::size_t>(thread)]);
  }
  tallies.erase(tallies.begin() + 1, tallies.end());
  report_progress(samples_done, sample_size);
  return counts_from_tallies(std::move(tallies[0]), sample_size);
}

}  // namespace

SpectraCounts estimate_counts(std::int32_t sample_size, std::int32_t seed,
                              const NetworkInstance& instance, int thread_count,
                              std::atomic<std::int64_t>* samples_done,
                              const std::atomic<bool>* stop_requested) {
  RandomSource random(seed);
  const std::optional<Sampling> sampling = prepare_sampling(instance, sample_size, random);
  if (!sampling.has_value()) {
    report_progress(samples_done, sample_size);
    return zero_counts(instance.srlg_count, sample_size);
  }
  return thread_count <= 1
             ? count_on_one_thread(sample_size, *sampling, random, samples_done, stop_requested)
             : count_on_threads(sample_size, *sampling, random, thread_count, samples_done,
                                stop_requested);
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
    const double room = std::floor((top - grid - next - x) / step) - 2.0;
    const bool settled =
        next >= x && next + x - next == step && (next + x) + x - (next + x) == step;
    std::int64_t steps = settled && room > 0.0 ? static_cast<std::int64_t>(room) : 0;
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

void estimate_spectra(SpectraVector& spectrum, BimSpectraMatrix& bim_spectra,
                      std::int32_t sample_size, std::int32_t seed, const NetworkInstance& instance,
                      std::atomic<std::int64_t>* samples_done) {
  estimate_spectra_threaded(spectrum, bim_spectra, sample_size, seed, instance, 1, samples_done);
}

void estimate_spectra_threaded(SpectraVector& spectrum, BimSpectraMatrix& bim_spectra,
                               std::int32_t sample_size, std::int32_t seed,
                               const NetworkInstance& instance, int thread_count,
                               std::atomic<std::int64_t>* samples_done) {
  const SpectraCounts counts =
      estimate_counts(sample_size, seed, instance, thread_count, samples_done);
  if (sample_size <= 0) {
    return;
  }
  const RepeatedSums sums(sample_size);
  const double increment = 1.0 / sample_size;
  // A cell that starts at zero gets the partial sum at once; any other is added to, one
  // addition per sample, as the samples would have added.
  const auto add_count = [&](double& cell, std::int64_t count) {
    if (count != 0) {
      cell = cell == 0.0 ? sums(count) : add_repeatedly(cell, increment, count);
    }
  };
  const std::size_t width = static_cast<std::size_t>(counts.srlg_count);
  for (std::size_t position = 0; position < width; ++position) {
    add_count(spectrum[position], counts.connected[position]);
  }
  for (std::size_t srlg_index = 0; srlg_index < width; ++srlg_index) {
    for (std::size_t position = 0; position < width; ++position) {
      add_count(bim_spectra[srlg_index][position],
                counts.connected_with[srlg_index * width + position]);
    }
  }
}

std::uint64_t estimator_scratch_bytes(std::int64_t srlg_count, int thread_count) {
  const std::uint64_t cells =
      static_cast<std::uint64_t>(srlg_count) * static_cast<std::uint64_t>(srlg_count);
  return cells * 4 * static_cast<std::uint64_t>(std::max(thread_count, 1));
}

}  // namespace varnak
