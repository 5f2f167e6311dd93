#include "estimation/process_exchange.hpp"

#include <algorithm>

#include "estimation/process_group.hpp"

namespace varnak {
namespace {

// A record's layout: the report's fields, then the net permutation.
enum RecordField : std::size_t {
  kRejections,
  kRejectionsBefore,
  kDrawn,
  kDrawNanoseconds,
  kEvaluated,
  kEvaluationNanoseconds,
  kNetPermutation,
};

}  // namespace

RoundExchange::RoundExchange(ProcessGroup& processes, int thread_count, std::int32_t srlg_count)
    : processes_(processes),
      thread_count_(thread_count),
      record_length_(kNetPermutation + static_cast<std::size_t>(srlg_count)) {
  std::vector<std::int64_t> thread_counts(static_cast<std::size_t>(processes_.size()));
  const std::int64_t mine = thread_count_;
  processes_.gather_all(std::span<const std::int64_t>(&mine, 1), thread_counts);
  const std::size_t records_per_process =
      static_cast<std::size_t>(*std::max_element(thread_counts.begin(), thread_counts.end()));
  for (int rank = 0; rank < processes_.size(); ++rank) {
    if (rank == processes_.rank()) {
      first_local_worker_ = worker_count();
    }
    for (int thread = 0; thread < thread_counts[static_cast<std::size_t>(rank)]; ++thread) {
      record_of_worker_.push_back(static_cast<std::size_t>(rank) * records_per_process +
                                  static_cast<std::size_t>(thread));
      process_of_worker_.push_back(rank);
    }
  }
  received_.resize(static_cast<std::size_t>(processes_.size()) * records_per_process *
                   record_length_);
  sent_.assign(records_per_process * record_length_, 0);
}

void RoundExchange::set_report(int thread, const BlockReport& report,
                               std::span<const std::int32_t> net_permutation) {
  std::int64_t* record = &sent_[static_cast<std::size_t>(thread) * record_length_];
  record[kRejections] = report.rejections;
  record[kRejectionsBefore] = report.rejections_before;
  record[kDrawn] = report.work_times.drawn;
  record[kDrawNanoseconds] = report.work_times.draw_nanoseconds;
  record[kEvaluated] = report.work_times.evaluated;
  record[kEvaluationNanoseconds] = report.work_times.evaluation_nanoseconds;
  std::int64_t* permutation = record + kNetPermutation;
  const std::size_t width = record_length_ - kNetPermutation;
  for (std::size_t position = 0; position < width; ++position) {
    permutation[position] =
        net_permutation.empty() ? static_cast<std::int64_t>(position) : net_permutation[position];
  }
}

void RoundExchange::exchange() {
  processes_.gather_all(sent_, received_);
}

const std::int64_t* RoundExchange::received_record(int worker) const {
  return &received_[record_of_worker_[static_cast<std::size_t>(worker)] * record_length_];
}

BlockReport RoundExchange::report_of(int worker) const {
  const std::int64_t* record = received_record(worker);
  return {record[kRejections],
          record[kRejectionsBefore],
          {record[kDrawn], record[kDrawNanoseconds], record[kEvaluated],
           record[kEvaluationNanoseconds]}};
}

std::span<const std::int64_t> RoundExchange::net_permutation_of(int worker) const {
  return {received_record(worker) + kNetPermutation, record_length_ - kNetPermutation};
}

void sum_wide_into_first(ProcessGroup& processes, std::vector<WideCount>& values) {
  if (values.empty() || processes.size() == 1) {
    return;
  }
  constexpr int kLimbs = 4;
  std::vector<std::int64_t> limbs(values.size() * kLimbs);
  for (std::size_t i = 0; i < values.size(); ++i) {
    for (int limb = 0; limb < kLimbs; ++limb) {
      limbs[i * kLimbs + static_cast<std::size_t>(limb)] =
          static_cast<std::int64_t>((values[i] >> (32 * limb)) & 0xFFFFFFFFu);
    }
  }
  processes.sum_into_first(std::span<std::int64_t>(limbs));
  for (std::size_t i = 0; i < values.size(); ++i) {
    WideCount value = 0;
    for (int limb = kLimbs - 1; limb >= 0; --limb) {
      value = (value << 32) +
              static_cast<WideCount>(limbs[i * kLimbs + static_cast<std::size_t>(limb)]);
    }
    values[i] = value;
  }
}

}  // namespace varnak
