#include "tools/mpi_ranks.hpp"

#include <mpi.h>

#include <climits>
#include <cstdlib>
#include <stdexcept>

namespace varnak {
namespace {

// MPI counts in int: an exchange that would not fit is cut into pieces that do.
constexpr std::size_t kMostPerCall = std::size_t{1} << 30;

void check(int result, const char* what) {
  if (result != MPI_SUCCESS) {
    throw std::runtime_error(std::string("MPI could not ") + what);
  }
}

}  // namespace

bool launched_by_mpirun() {
  return std::getenv("OMPI_COMM_WORLD_SIZE") != nullptr || std::getenv("PMIX_RANK") != nullptr;
}

MpiRanks::MpiRanks(int* argc, char*** argv) {
  int provided = 0;
  check(MPI_Init_thread(argc, argv, MPI_THREAD_SERIALIZED, &provided), "start");
  if (provided < MPI_THREAD_SERIALIZED) {
    MPI_Finalize();
    throw std::runtime_error("MPI does not let the threads of a rank take turns calling it");
  }
  MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
  MPI_Comm_size(MPI_COMM_WORLD, &size_);
}

MpiRanks::~MpiRanks() {
  MPI_Finalize();
}

void MpiRanks::gather_all(std::span<const std::int64_t> mine, std::span<std::int64_t> all) {
  if (mine.size() > kMostPerCall / static_cast<std::size_t>(size_)) {
    throw std::runtime_error("an exchange between the ranks is too large for MPI");
  }
  check(MPI_Allgather(mine.data(), static_cast<int>(mine.size()), MPI_INT64_T, all.data(),
                      static_cast<int>(mine.size()), MPI_INT64_T, MPI_COMM_WORLD),
        "exchange the blocks' draws");
}

namespace {

template <typename Integer>
void sum_on_rank_0(std::span<Integer> values, MPI_Datatype type, int rank) {
  for (std::size_t first = 0; first < values.size(); first += kMostPerCall) {
    const int count = static_cast<int>(std::min(kMostPerCall, values.size() - first));
    void* send = rank == 0 ? MPI_IN_PLACE : static_cast<void*>(values.data() + first);
    check(MPI_Reduce(send, values.data() + first, count, type, MPI_SUM, 0, MPI_COMM_WORLD),
          "sum the counts");
  }
}

}  // namespace

void MpiRanks::sum_into_first(std::span<std::int64_t> values) {
  sum_on_rank_0(values, MPI_INT64_T, rank_);
}

void MpiRanks::sum_into_first(std::span<std::int32_t> values) {
  sum_on_rank_0(values, MPI_INT32_T, rank_);
}

int MpiRanks::lowest_failing_rank(bool succeeded) {
  agreed_ = true;
  const int mine = succeeded ? INT_MAX : rank_;
  int lowest = INT_MAX;
  check(MPI_Allreduce(&mine, &lowest, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD),
        "learn whether every rank succeeded");
  some_rank_failed_ = lowest != INT_MAX;
  return some_rank_failed_ ? lowest : -1;
}

std::int64_t MpiRanks::first_value(std::int64_t mine) {
  check(MPI_Bcast(&mine, 1, MPI_INT64_T, 0, MPI_COMM_WORLD), "share rank 0's value");
  return mine;
}

void MpiRanks::abort_job(int code) {
  MPI_Abort(MPI_COMM_WORLD, code);
  std::_Exit(code);
}

}  // namespace varnak
