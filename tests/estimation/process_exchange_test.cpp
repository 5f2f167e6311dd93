#include "estimation/process_exchange.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <thread>
#include <vector>

#include "estimation/process_group.hpp"
#include "tests/support/thread_ranks.hpp"

namespace varnak {
namespace {

// What thread `thread` of rank `rank` reports: different in every field of every worker,
// and no block for the last thread of rank 1.
BlockReport report_for(int rank, int thread) {
  const std::int64_t tag = 10 * rank + thread;
  if (rank == 1 && thread == 1) {
    return {0, kNoBlock, {tag, tag + 1, tag + 2, tag + 3}};
  }
  return {tag, 1000 + tag, {tag, tag + 1, tag + 2, tag + 3}};
}

// A rotation of the positions by rank + thread.
std::vector<std::int32_t> permutation_for(int rank, int thread, std::int32_t width) {
  std::vector<std::int32_t> permutation(static_cast<std::size_t>(width));
  for (std::int32_t position = 0; position < width; ++position) {
    permutation[static_cast<std::size_t>(position)] = (position + rank + thread) % width;
  }
  return permutation;
}

struct Seen {
  int worker_count = 0;
  int first_local_worker = 0;
  std::vector<int> process_of_worker;
  std::vector<BlockReport> reports;
  std::vector<std::vector<std::int64_t>> permutations;
};

// Ranks of different thread counts: every rank sees every worker's record, in rank order,
// as its owner set it; a worker with no block leaves the order as it is.
TEST(RoundExchange, EveryRankSeesEveryWorkersRecord) {
  const std::vector<int> threads_per_rank = {2, 2, 1, 3};
  constexpr std::int32_t kWidth = 5;
  const int size = static_cast<int>(threads_per_rank.size());
  ThreadRanks ranks(size);
  std::vector<Seen> seen(static_cast<std::size_t>(size));
  {
    std::vector<std::jthread> processes;
    for (int rank = 0; rank < size; ++rank) {
      processes.emplace_back([&, rank] {
        ThreadRanks::Rank group(ranks, rank);
        const int threads = threads_per_rank[static_cast<std::size_t>(rank)];
        RoundExchange exchange(group, threads, kWidth);
        for (int thread = 0; thread < threads; ++thread) {
          const BlockReport report = report_for(rank, thread);
          const std::vector<std::int32_t> permutation = report.rejections_before == kNoBlock
                                                            ? std::vector<std::int32_t>{}
                                                            : permutation_for(rank, thread, kWidth);
          exchange.set_report(thread, report, permutation);
        }
        exchange.exchange();
        Seen& mine = seen[static_cast<std::size_t>(rank)];
        mine.worker_count = exchange.worker_count();
        mine.first_local_worker = exchange.first_local_worker();
        mine.process_of_worker.assign(exchange.process_of_worker().begin(),
                                      exchange.process_of_worker().end());
        for (int worker = 0; worker < exchange.worker_count(); ++worker) {
          mine.reports.push_back(exchange.report_of(worker));
          const std::span<const std::int64_t> permutation = exchange.net_permutation_of(worker);
          mine.permutations.emplace_back(permutation.begin(), permutation.end());
        }
      });
    }
  }
  int first_worker = 0;
  for (int rank = 0; rank < size; ++rank) {
    SCOPED_TRACE(::testing::Message() << "seen by rank " << rank);
    const Seen& mine = seen[static_cast<std::size_t>(rank)];
    ASSERT_EQ(mine.worker_count, 8);
    EXPECT_EQ(mine.first_local_worker, first_worker);
    EXPECT_EQ(mine.process_of_worker, (std::vector<int>{0, 0, 1, 1, 2, 3, 3, 3}));
    first_worker += threads_per_rank[static_cast<std::size_t>(rank)];
    int worker = 0;
    for (int owner = 0; owner < size; ++owner) {
      for (int thread = 0; thread < threads_per_rank[static_cast<std::size_t>(owner)];
           ++thread, ++worker) {
        SCOPED_TRACE(::testing::Message() << "worker " << worker);
        const BlockReport expected = report_for(owner, thread);
        const BlockReport& report = mine.reports[static_cast<std::size_t>(worker)];
        EXPECT_EQ(report.rejections, expected.rejections);
        EXPECT_EQ(report.rejections_before, expected.rejections_before);
        EXPECT_EQ(report.work_times.drawn, expected.work_times.drawn);
        EXPECT_EQ(report.work_times.draw_nanoseconds, expected.work_times.draw_nanoseconds);
        EXPECT_EQ(report.work_times.evaluated, expected.work_times.evaluated);
        EXPECT_EQ(report.work_times.evaluation_nanoseconds,
                  expected.work_times.evaluation_nanoseconds);
        const std::vector<std::int32_t> permutation = expected.rejections_before == kNoBlock
                                                          ? permutation_for(0, 0, kWidth)
                                                          : permutation_for(owner, thread, kWidth);
        EXPECT_EQ(mine.permutations[static_cast<std::size_t>(worker)],
                  std::vector<std::int64_t>(permutation.begin(), permutation.end()));
      }
    }
  }
}

// Wide counts above 2^64 sum exactly into rank 0; the others keep their own.
TEST(RoundExchange, WideCountsSumExactly) {
  constexpr int kSize = 3;
  const auto own_values = [](int rank) {
    const WideCount high = WideCount{0xFFFFFFFFFFFFFFFFu} << 60;
    return std::vector<WideCount>{high + static_cast<WideCount>(rank), WideCount{7},
                                  WideCount{0xFFFFFFFFu} * static_cast<WideCount>(rank + 1)};
  };
  ThreadRanks ranks(kSize);
  std::vector<std::vector<WideCount>> values(kSize);
  {
    std::vector<std::jthread> processes;
    for (int rank = 0; rank < kSize; ++rank) {
      processes.emplace_back([&, rank] {
        ThreadRanks::Rank group(ranks, rank);
        values[static_cast<std::size_t>(rank)] = own_values(rank);
        sum_wide_into_first(group, values[static_cast<std::size_t>(rank)]);
      });
    }
  }
  std::vector<WideCount> sum(3, 0);
  for (int rank = 0; rank < kSize; ++rank) {
    for (std::size_t i = 0; i < sum.size(); ++i) {
      sum[i] += own_values(rank)[i];
    }
  }
  EXPECT_TRUE(values[0] == sum);
  EXPECT_TRUE(values[1] == own_values(1));
  EXPECT_TRUE(values[2] == own_values(2));
}

}  // namespace
}  // namespace varnak
