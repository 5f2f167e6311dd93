#include "estimation/run_schedule.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

namespace varnak {
namespace {

TEST(RunSchedule, CapacityHasAQuarterOfHeadroom) {
  const std::vector<std::pair<std::int64_t, std::int64_t>> cases = {
      {1, 2}, {3, 4}, {4, 5}, {100, 125}, {33554, 41942}};
  for (const auto& [block_size, capacity] : cases) {
    EXPECT_EQ(capacity_with_headroom(block_size), capacity) << block_size;
  }
}

// Blocks of 2^22 order entries, no more than an even share of the samples; a requested
// size, no more than the samples; buffers no larger than a block, or with a quarter of
// headroom across processes; rounds enough for every sample, the last one maybe short.
TEST(RunSchedule, BlocksAndRoundsCoverEverySample) {
  struct Case {
    const char* name;
    std::int32_t samples;
    std::int32_t srlgs;
    int workers;
    std::int32_t requested;
    bool balanced;
    RunSchedule schedule;
  };
  const std::vector<Case> cases = {
      {"an even share", 1000, 100, 2, 0, false, {500, 500, 1000, 1}},
      {"an even share across processes", 1000, 100, 2, 0, true, {500, 625, 1000, 1}},
      {"a sample a worker", 1000, 72, 1024, 0, false, {1, 1, 1024, 1}},
      {"a full block", 10000000, 100, 2, 0, false, {41943, 41943, 83886, 120}},
      {"four fifths across processes", 10000000, 100, 2, 0, true, {33554, 41942, 67108, 150}},
      {"more SRLGs than a block's entries", 1000, 8388608, 3, 0, false, {1, 1, 3, 334}},
      {"requested", 1000, 100, 2, 7, false, {7, 7, 14, 72}},
      {"requested, across processes", 1000, 100, 2, 7, true, {7, 8, 14, 72}},
      {"requested beyond the samples", 1000, 100, 3, 5000, false, {1000, 1000, 3000, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunSchedule schedule =
        make_run_schedule(c.samples, c.srlgs, c.workers, c.requested, c.balanced);
    EXPECT_EQ(schedule.block_size, c.schedule.block_size);
    EXPECT_EQ(schedule.capacity, c.schedule.capacity);
    EXPECT_EQ(schedule.round_samples, c.schedule.round_samples);
    EXPECT_EQ(schedule.round_count, c.schedule.round_count);
  }
}

// Every round but the last holds round_samples; a worker's block starts after the blocks
// of the rounds before and of the workers before it in its round.
TEST(RunSchedule, RoundsAndBlocksStartWhereTheOnesBeforeEnd) {
  const RunSchedule schedule = {10, 12, 30, 4};
  const std::vector<std::int64_t> samples_by_round = {30, 30, 30, 10};
  for (std::int64_t round = 0; round < schedule.round_count; ++round) {
    EXPECT_EQ(samples_in_round(schedule, 100, round), samples_by_round[round]) << round;
  }
  const std::vector<std::int64_t> shares = {12, 8, 10};
  const std::vector<std::int64_t> first_samples = {60, 72, 80};
  for (int worker = 0; worker < 3; ++worker) {
    EXPECT_EQ(first_sample_of(schedule, 2, shares, worker), first_samples[worker]) << worker;
  }
}

// Samples per 2^24 nanoseconds, drawing and evaluating each timed by its own count, within
// the bounds; nothing from a worker that did not both draw and evaluate.
TEST(Throughput, CountsDrawingAndEvaluationApart) {
  struct Case {
    const char* name;
    WorkTimes times;
    std::int64_t throughput;
  };
  const std::vector<Case> cases = {
      {"nothing drawn", {0, 0, 100, 1000}, 0},
      {"nothing evaluated", {100, 1000, 0, 0}, 0},
      {"4096 ns each to draw and to evaluate", {1000, 4096000, 10, 40960}, 2048},
      {"1 ms to draw, no time to evaluate", {10, 10000000, 10, 0}, 16},
      {"faster than the bound", {1000, 1000, 1000, 1000}, kMostThroughput},
      {"slower than the bound", {1, std::int64_t{1} << 40, 1, 0}, kLeastThroughput},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(throughput_of(c.times), c.throughput) << c.name;
  }
  EXPECT_EQ(smoothed_throughput(0, 80), 80);
  EXPECT_EQ(smoothed_throughput(100, 20), 80);
  EXPECT_EQ(smoothed_throughput(100, 100), 100);
}

// Each worker weighs its process's mean throughput over the workers measured, everyone's
// when none of its process is measured, 1 when no one is.
TEST(Throughput, WorkersWeighTheirProcessMean) {
  struct Case {
    const char* name;
    std::vector<std::int64_t> throughputs;
    std::vector<int> process_of_worker;
    std::vector<std::int64_t> weights;
  };
  const std::vector<Case> cases = {
      {"one process", {100, 300, 0}, {0, 0, 0}, {200, 200, 200}},
      {"three processes", {100, 300, 0, 50, 0}, {0, 0, 1, 1, 2}, {200, 200, 50, 50, 150}},
      {"none measured", {0, 0, 0}, {0, 1, 1}, {1, 1, 1}},
      {"a thread each", {7, 9}, {0, 1}, {7, 9}},
  };
  std::vector<std::int64_t> weights;
  for (const Case& c : cases) {
    process_mean_throughputs(c.throughputs, c.process_of_worker, weights);
    EXPECT_EQ(weights, c.weights) << c.name;
  }
}

// Balanced shares replace the current ones when these miss the round's total, or when
// they shorten the round, the slowest worker's share over its weight, by more than 1/32.
TEST(Throughput, RebalancesOnlyWhenItShortensTheRound) {
  struct Case {
    const char* name;
    std::vector<std::int64_t> current;
    std::vector<std::int64_t> balanced;
    std::vector<std::int64_t> weights;
    std::int64_t total;
    bool rebalance;
  };
  const std::vector<Case> cases = {
      {"same shares", {10, 10}, {10, 10}, {1, 1}, 20, false},
      {"another total", {10, 10}, {11, 11}, {1, 1}, 22, true},
      {"twice as long", {20, 0}, {10, 10}, {1, 1}, 20, true},
      {"exactly 1/32 longer", {33, 31}, {32, 32}, {1, 1}, 64, false},
      {"more than 1/32 longer", {34, 30}, {32, 32}, {1, 1}, 64, true},
      {"slow worker overloaded", {10, 10}, {4, 16}, {1, 4}, 20, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(should_rebalance(c.current, c.balanced, c.weights, c.total), c.rebalance) << c.name;
  }
}

// A round's shares: in proportion to the throughputs, rounded down with what is left given
// a sample at a time; capped at a buffer's capacity, those capped leaving the rest to the
// others (in turns, when a cap makes another pass the cap).
TEST(SplitByThroughput, FollowsTheThroughputsWithinTheCapacity) {
  struct Case {
    std::int64_t total;
    std::int64_t capacity;
    std::vector<std::int64_t> throughputs;
    std::vector<std::int64_t> shares;
  };
  const std::vector<Case> cases = {
      {12, 5, {1, 1, 1}, {4, 4, 4}},
      {10, 5, {1, 1, 1}, {4, 3, 3}},
      {30, 20, {1, 2}, {10, 20}},
      {30, 12, {1, 1, 10}, {9, 9, 12}},
      {24, 10, {1, 100, 137}, {4, 10, 10}},
      {20, 10, {3, 5}, {10, 10}},
      {2, 5, {1, 1000, 1000}, {1, 1, 0}},
      {0, 5, {1, 2}, {0, 0}},
      {1, 1, {1}, {1}},
  };
  std::vector<std::int64_t> shares;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.total << " samples, capacity " << c.capacity);
    split_by_throughput(c.total, c.capacity, c.throughputs, shares);
    EXPECT_EQ(shares, c.shares);
  }
  // Many throughputs at once, up to the largest: every sample given, none past the
  // capacity, and a faster worker never a sample behind a slower one.
  std::uint64_t state = 1;
  for (int round = 0; round < 200; ++round) {
    std::vector<std::int64_t> paces(static_cast<std::size_t>(1 + round % 64));
    for (std::int64_t& pace : paces) {
      state = state * 6364136223846793005ULL + 1442695040888963407ULL;
      pace = 1 + static_cast<std::int64_t>(state >> 44);
    }
    const std::int64_t capacity = 1 + round * 1000003 % 2000000;
    const std::int64_t total = capacity * static_cast<std::int64_t>(paces.size()) * 4 / 5;
    split_by_throughput(total, capacity, paces, shares);
    EXPECT_EQ(std::accumulate(shares.begin(), shares.end(), std::int64_t{0}), total);
    for (std::size_t a = 0; a < paces.size(); ++a) {
      EXPECT_GE(shares[a], 0);
      EXPECT_LE(shares[a], capacity);
      for (std::size_t b = 0; b < paces.size(); ++b) {
        if (paces[a] > paces[b]) {
          EXPECT_GE(shares[a] + 1, shares[b]) << "paces " << paces[a] << " and " << paces[b];
        }
      }
    }
  }
}

}  // namespace
}  // namespace varnak
