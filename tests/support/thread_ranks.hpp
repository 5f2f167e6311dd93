#pragma once

#include <barrier>
#include <cstdint>
#include <span>
#include <vector>

#include "estimation/process_group.hpp"

namespace varnak {

// Processes played by threads of a test, meeting at a barrier: what the estimator needs of
// MPI ranks, without MPI. Each thread runs one Rank; every exchange is a collective call.
class ThreadRanks {
 public:
  explicit ThreadRanks(int size) : size_(size), barrier_(size), parts_(size), sums_(size) {}

  class Rank final : public ProcessGroup {
   public:
    Rank(ThreadRanks& ranks, int rank) : ranks_(ranks), rank_(rank) {}
    int rank() const override { return rank_; }
    int size() const override { return ranks_.size_; }
    void gather_all(std::span<const std::int64_t> mine, std::span<std::int64_t> all) override;
    void sum_into_first(std::span<std::int64_t> values) override;
    void sum_into_first(std::span<std::int32_t> values) override;
    int lowest_failing_rank(bool succeeded) override;
    std::int64_t first_value(std::int64_t mine) override;

   private:
    template <typename Integer>
    void sum(std::span<Integer> values);

    ThreadRanks& ranks_;
    int rank_;
  };

 private:
  int size_;
  std::barrier<> barrier_;
  std::vector<std::vector<std::int64_t>> parts_;
  std::vector<std::vector<std::int64_t>> sums_;
};

}  // namespace varnak
