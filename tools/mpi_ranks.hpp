#pragma once

#include "estimation/process_group.hpp"

namespace varnak {

// Whether this process was started by mpirun: only then does varnak-tools start MPI. MPI
// itself cannot tell before MPI_Init, and starting MPI in every run to ask would slow and
// trouble the runs without mpirun, so the launch is read from the environment that Open
// MPI's launcher (and a PMIx launcher, such as Slurm's srun --mpi=pmix) gives its
// processes. Other launchers (MPICH's mpiexec, srun without PMIx) are not seen: under them
// each process runs alone.
bool launched_by_mpirun();

// The ranks of MPI_COMM_WORLD. Construction starts MPI (one thread at a time calls it) and
// destruction ends it. The estimator's exchanges come from one thread of each rank.
class MpiRanks final : public ProcessGroup {
 public:
  MpiRanks(int* argc, char*** argv);
  ~MpiRanks() override;
  MpiRanks(const MpiRanks&) = delete;
  MpiRanks& operator=(const MpiRanks&) = delete;

  int rank() const override { return rank_; }
  int size() const override { return size_; }
  void gather_all(std::span<const std::int64_t> mine, std::span<std::int64_t> all) override;
  void sum_into_first(std::span<std::int64_t> values) override;
  void sum_into_first(std::span<std::int32_t> values) override;
  int lowest_failing_rank(bool succeeded) override;
  std::int64_t first_value(std::int64_t mine) override;

  // Whether this rank has said whether it failed: every rank says so once in a run.
  bool agreed() const { return agreed_; }
  // Whether, when they said so, some rank had failed.
  bool some_rank_failed() const { return some_rank_failed_; }

  // Ends every rank of the job with `code`: for a rank that cannot meet the others.
  [[noreturn]] void abort_job(int code);

 private:
  int rank_ = 0;
  int size_ = 1;
  bool agreed_ = false;
  bool some_rank_failed_ = false;
};

}  // namespace varnak
