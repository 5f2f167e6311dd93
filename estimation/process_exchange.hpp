#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/wide_count.hpp"
#include "estimation/run_schedule.hpp"

namespace varnak {

class ProcessGroup;

// What the processes of a parallel run tell each other once a round: for every worker, what
// its block drew and how fast it worked. Workers are numbered across processes in rank
// order. Every process sends one record per thread, padded to as many records as the
// process with most threads, since an all-gather takes parts of one length; the records
// travel as 64-bit integers, laid out in process_exchange.cpp alone.

// In BlockReport::rejections_before: the worker had no block this round (past the last).
inline constexpr std::int64_t kNoBlock = -1;

struct BlockReport {
  std::int64_t rejections = 0;  // draws rejected while drawing the block
  // The rejections before the block that it was drawn assuming; kNoBlock when none.
  std::int64_t rejections_before = kNoBlock;
  WorkTimes work_times;  // since the last barrier phase
};

class RoundExchange {
 public:
  // Learns every process's thread count: a collective call, which every process makes.
  RoundExchange(ProcessGroup& processes, int thread_count, std::int32_t srlg_count);

  int worker_count() const { return static_cast<int>(record_of_worker_.size()); }
  int first_local_worker() const { return first_local_worker_; }
  bool is_local(int worker) const {
    return worker >= first_local_worker_ && worker < first_local_worker_ + thread_count_;
  }
  // By worker, in worker order.
  std::span<const int> process_of_worker() const { return process_of_worker_; }

  // This process's thread `thread` reports its block: what it drew and, by position, where
  // the block's net permutation takes each position. An empty permutation: no block, which
  // leaves the order as it is.
  void set_report(int thread, const BlockReport& report,
                  std::span<const std::int32_t> net_permutation);

  // The all-gather of every process's records; throws what the process group throws.
  void exchange();

  // After exchange(): every worker's report and net permutation, on every process.
  BlockReport report_of(int worker) const;
  std::span<const std::int64_t> net_permutation_of(int worker) const;

 private:
  const std::int64_t* received_record(int worker) const;

  ProcessGroup& processes_;
  int thread_count_;
  std::size_t record_length_;
  int first_local_worker_ = 0;
  std::vector<std::size_t> record_of_worker_;  // index among all records received
  std::vector<int> process_of_worker_;
  std::vector<std::int64_t> sent_;  // this process's records; those of absent threads stay 0
  std::vector<std::int64_t> received_;
};

// Sums wide counts element by element over the processes, into rank 0's, exactly: the
// process group sums 64-bit integers, so each goes as four 32-bit limbs, which stay below
// 2^63 summed over up to 2^31 processes.
void sum_wide_into_first(ProcessGroup& processes, std::vector<WideCount>& values);

}  // namespace varnak
