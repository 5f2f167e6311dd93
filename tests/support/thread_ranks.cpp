#include "tests/support/thread_ranks.hpp"

#include <algorithm>

namespace varnak {

void ThreadRanks::Rank::gather_all(std::span<const std::int64_t> mine,
                                   std::span<std::int64_t> all) {
  ranks_.parts_[static_cast<std::size_t>(rank_)].assign(mine.begin(), mine.end());
  ranks_.barrier_.arrive_and_wait();
  std::size_t at = 0;
  for (const std::vector<std::int64_t>& part : ranks_.parts_) {
    std::copy(part.begin(), part.end(), all.begin() + static_cast<std::ptrdiff_t>(at));
    at += part.size();
  }
  ranks_.barrier_.arrive_and_wait();
}

int ThreadRanks::Rank::lowest_failing_rank(bool succeeded) {
  std::vector<std::int64_t> all(static_cast<std::size_t>(ranks_.size_));
  const std::int64_t flag = succeeded ? 1 : 0;
  gather_all(std::span<const std::int64_t>(&flag, 1), all);
  const auto failed = std::find(all.begin(), all.end(), 0);
  return failed == all.end() ? -1 : static_cast<int>(failed - all.begin());
}

std::int64_t ThreadRanks::Rank::first_value(std::int64_t mine) {
  std::vector<std::int64_t> all(static_cast<std::size_t>(ranks_.size_));
  gather_all(std::span<const std::int64_t>(&mine, 1), all);
  return all[0];
}

template <typename Integer>
void ThreadRanks::Rank::sum(std::span<Integer> values) {
  ranks_.sums_[static_cast<std::size_t>(rank_)].assign(values.begin(), values.end());
  ranks_.barrier_.arrive_and_wait();
  if (rank_ == 0) {
    for (int other = 1; other < ranks_.size_; ++other) {
      const std::vector<std::int64_t>& part = ranks_.sums_[static_cast<std::size_t>(other)];
      for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = static_cast<Integer>(values[i] + part[i]);
      }
    }
  }
  ranks_.barrier_.arrive_and_wait();
}

void ThreadRanks::Rank::sum_into_first(std::span<std::int64_t> values) {
  sum(values);
}

void ThreadRanks::Rank::sum_into_first(std::span<std::int32_t> values) {
  sum(values);
}

}  // namespace varnak
