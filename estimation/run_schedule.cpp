#include "estimation/run_schedule.hpp"

#include <algorithm>
#include <numeric>
#include <utility>

namespace varnak {
namespace {

// The longest time any worker takes for its share, shares[r] / weights[r], as a fraction.
std::pair<std::int64_t, std::int64_t> longest_time(std::span<const std::int64_t> shares,
                                                   std::span<const std::int64_t> weights) {
  std::pair<std::int64_t, std::int64_t> longest{0, 1};
  for (std::size_t r = 0; r < shares.size(); ++r) {
    if (shares[r] * longest.second > longest.first * weights[r]) {
      longest = {shares[r], weights[r]};
    }
  }
  return longest;
}

}  // namespace

std::int64_t block_size_for(std::int32_t srlg_count) {
  return std::max<std::int64_t>(1, kOrderEntriesPerBlock / std::max<std::int32_t>(srlg_count, 1));
}

std::int64_t capacity_with_headroom(std::int64_t block_size) {
  return block_size + std::max<std::int64_t>(1, block_size / 4);
}

RunSchedule make_run_schedule(std::int32_t sample_size, std::int32_t srlg_count, int worker_count,
                              std::int32_t requested_block_size, bool balanced_across_processes) {
  RunSchedule schedule;
  if (requested_block_size > 0) {
    schedule.block_size = std::min<std::int64_t>(requested_block_size, sample_size);
    schedule.capacity = balanced_across_processes ? capacity_with_headroom(schedule.block_size)
                                                  : schedule.block_size;
  } else {
    // No larger than an even share of the samples, so that every worker has a block, however
    // few the SRLGs. Across processes a block is four fifths of a buffer.
    // A buffer holds no more than its worker can be given: the blocks are written in huge
    // pages, so a few samples in a buffer sized for a full block would still take 2 MB.
    const std::int64_t even_share = (sample_size - 1) / worker_count + 1;
    const std::int64_t full = block_size_for(srlg_count);
    schedule.block_size = std::min(
        balanced_across_processes ? std::max<std::int64_t>(1, full * 4 / 5) : full, even_share);
    schedule.capacity = balanced_across_processes
                            ? std::min(full, capacity_with_headroom(schedule.block_size))
                            : schedule.block_size;
  }
  schedule.round_samples = schedule.block_size * worker_count;
  schedule.round_count = (sample_size - 1) / schedule.round_samples + 1;
  return schedule;
}

std::int64_t samples_in_round(const RunSchedule& schedule, std::int32_t sample_size,
                              std::int64_t round) {
  return std::min(schedule.round_samples, sample_size - round * schedule.round_samples);
}

std::int64_t first_sample_of(const RunSchedule& schedule, std::int64_t round,
                             std::span<const std::int64_t> shares, int worker) {
  return std::accumulate(shares.begin(), shares.begin() + worker, round * schedule.round_samples);
}

std::int64_t throughput_of(const WorkTimes& times) {
  if (times.drawn <= 0 || times.evaluated <= 0) {
    return 0;
  }
  const std::int64_t scaled_nanoseconds_a_sample =
      (times.draw_nanoseconds << 8) / times.drawn +
      (times.evaluation_nanoseconds << 8) / times.evaluated;
  return std::clamp<std::int64_t>(
      (std::int64_t{1} << 32) / std::max<std::int64_t>(scaled_nanoseconds_a_sample, 1),
      kLeastThroughput, kMostThroughput);
}

std::int64_t smoothed_throughput(std::int64_t previous, std::int64_t measured) {
  return previous == 0 ? measured : (3 * previous + measured) / 4;
}

void process_mean_throughputs(std::span<const std::int64_t> throughputs,
                              std::span<const int> process_of_worker,
                              std::vector<std::int64_t>& weights) {
  const std::size_t workers = throughputs.size();
  weights.resize(workers);
  const auto mean = [&](std::size_t first, std::size_t end) {
    std::int64_t sum = 0;
    std::int64_t measured = 0;
    for (std::size_t worker = first; worker < end; ++worker) {
      sum += throughputs[worker];
      measured += throughputs[worker] > 0 ? 1 : 0;
    }
    return measured > 0 ? std::max<std::int64_t>(1, sum / measured) : 0;
  };
  const std::int64_t everyone = std::max<std::int64_t>(1, mean(0, workers));
  for (std::size_t first = 0; first < workers;) {
    std::size_t end = first + 1;
    while (end < workers && process_of_worker[end] == process_of_worker[first]) {
      ++end;
    }
    const std::int64_t process_mean = mean(first, end);
    std::fill(weights.begin() + static_cast<std::ptrdiff_t>(first),
              weights.begin() + static_cast<std::ptrdiff_t>(end),
              process_mean > 0 ? process_mean : everyone);
    first = end;
  }
}

void split_by_throughput(std::int64_t total, std::int64_t capacity,
                         std::span<const std::int64_t> throughputs,
                         std::vector<std::int64_t>& shares) {
  const std::size_t workers = throughputs.size();
  shares.assign(workers, -1);  // -1: not yet given
  const auto ungiven_throughput_sum = [&] {
    std::int64_t sum = 0;
    for (std::size_t r = 0; r < workers; ++r) {
      sum += shares[r] < 0 ? throughputs[r] : 0;
    }
    return sum;
  };
  std::int64_t left = total;
  // Those whose part would pass the capacity get the capacity; the others split the rest,
  // which can push another past it, hence the passes.
  for (bool capped = true; capped;) {
    capped = false;
    const std::int64_t throughput_sum = ungiven_throughput_sum();
    for (std::size_t r = 0; r < workers; ++r) {
      if (shares[r] < 0 && left * throughputs[r] / throughput_sum > capacity) {
        shares[r] = capacity;
        left -= capacity;
        capped = true;
      }
    }
  }
  const std::int64_t throughput_sum = ungiven_throughput_sum();
  std::int64_t given = 0;
  for (std::size_t r = 0; r < workers; ++r) {
    if (shares[r] < 0) {
      shares[r] = left * throughputs[r] / throughput_sum;
      given += shares[r];
    }
  }
  // What rounding down left over, fewer samples than workers, goes a sample each to those
  // with room, in turn.
  for (std::size_t r = 0; given < left; r = (r + 1) % workers) {
    if (shares[r] < capacity) {
      ++shares[r];
      ++given;
    }
  }
}

bool should_rebalance(std::span<const std::int64_t> current, std::span<const std::int64_t> balanced,
                      std::span<const std::int64_t> weights, std::int64_t total) {
  if (std::accumulate(current.begin(), current.end(), std::int64_t{0}) != total) {
    return true;
  }
  const auto [current_samples, current_weight] = longest_time(current, weights);
  const auto [balanced_samples, balanced_weight] = longest_time(balanced, weights);
  return 32 * current_samples * balanced_weight > 33 * balanced_samples * current_weight;
}

}  // namespace varnak
