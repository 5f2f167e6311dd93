#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

namespace varnak {

// The processes that share one run (the ranks of an MPI job), as far as the estimator and
// the commands need them: a process's place among them and the exchanges they make. Each
// exchange is a collective call: every process of the group makes it, in the same order.
// An exchange that fails throws (MPI's error as a std::runtime_error), which the estimator
// carries out of its barrier completion to its caller.
class ProcessGroup {
 public:
  virtual ~ProcessGroup() = default;

  virtual int rank() const = 0;
  virtual int size() const = 0;

  // Every process gives `mine`, of the same length everywhere; `all` receives the parts of
  // all processes one after another in rank order.
  virtual void gather_all(std::span<const std::int64_t> mine, std::span<std::int64_t> all) = 0;

  // Sums `values` element by element over the processes, into rank 0's `values`. Integer
  // sums: the order they are taken in cannot change them.
  virtual void sum_into_first(std::span<std::int64_t> values) = 0;
  virtual void sum_into_first(std::span<std::int32_t> values) = 0;

  // The lowest rank of those that say they failed, or -1 when all succeeded: the one
  // whose message the user gets.
  virtual int lowest_failing_rank(bool succeeded) = 0;

  // Rank 0's value, on every process.
  virtual std::int64_t first_value(std::int64_t mine) = 0;
};

// A process that runs alone: every exchange returns its own part.
class LoneProcess final : public ProcessGroup {
 public:
  int rank() const override { return 0; }
  int size() const override { return 1; }
  void gather_all(std::span<const std::int64_t> mine, std::span<std::int64_t> all) override {
    std::copy(mine.begin(), mine.end(), all.begin());
  }
  void sum_into_first(std::span<std::int64_t>) override {}
  void sum_into_first(std::span<std::int32_t>) override {}
  int lowest_failing_rank(bool succeeded) override { return succeeded ? -1 : 0; }
  std::int64_t first_value(std::int64_t mine) override { return mine; }
};

}  // namespace varnak
