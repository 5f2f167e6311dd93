#include "estimation/spectra_estimator.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <new>
#include <numeric>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "estimation/counting_hooks.hpp"
#include "estimation/process_group.hpp"
#include "tests/support/instance_generator.hpp"
#include "tests/support/reference_estimator.hpp"
#include "tests/support/spectra_accumulation.hpp"
#include "tests/support/thread_ranks.hpp"

namespace varnak {
namespace {

struct Results {
  SpectraVector spectrum;
  BimSpectraMatrix bim_spectra;
};

Results zero_results(std::int32_t srlg_count) {
  const std::size_t n = srlg_count > 0 ? static_cast<std::size_t>(srlg_count) : 0;
  return {SpectraVector(n, 0.0), BimSpectraMatrix(n, std::vector<double>(n, 0.0))};
}

Results estimate(const NetworkInstance& instance, std::int32_t samples, std::int32_t seed,
                 int threads = 1) {
  Results results = zero_results(instance.srlg_count);
  estimate_spectra_threaded(results.spectrum, results.bim_spectra, samples, seed, instance,
                            threads);
  return results;
}

Results estimate_by_reference(const NetworkInstance& instance, std::int32_t samples,
                              std::int32_t seed) {
  Results results = zero_results(instance.srlg_count);
  reference::estimate_spectra(results.spectrum, results.bim_spectra, samples, seed, instance);
  return results;
}

// Exact equality of every double, with the first difference named.
void expect_identical(const Results& actual, const Results& expected) {
  ASSERT_EQ(actual.spectrum.size(), expected.spectrum.size());
  for (std::size_t j = 0; j < expected.spectrum.size(); ++j) {
    ASSERT_EQ(actual.spectrum[j], expected.spectrum[j]) << "spectrum entry " << j;
  }
  ASSERT_EQ(actual.bim_spectra.size(), expected.bim_spectra.size());
  for (std::size_t row = 0; row < expected.bim_spectra.size(); ++row) {
    for (std::size_t j = 0; j < expected.bim_spectra[row].size(); ++j) {
      ASSERT_EQ(actual.bim_spectra[row][j], expected.bim_spectra[row][j])
          << "BIM row " << row << " column " << j;
    }
  }
}

double add_repeatedly(double increment, int times) {
  double sum = 0.0;
  for (int i = 0; i < times; ++i) {
    sum += increment;
  }
  return sum;
}

using test_networks::worked_ring;

TEST(SpectraEstimator, WorkedRunComesOutToTheLastBit) {
  const Results expected = {{0, 0.7999999999999999, 0.9999999999999999},
                            {{0, 0.6, 0.9999999999999999},
                             {0, 0.7999999999999999, 0.9999999999999999},
                             {0, 0.2, 0.9999999999999999}}};
  for (const int threads : {1, 2}) {
    SCOPED_TRACE(threads);
    expect_identical(estimate(worked_ring(), 10, 1, threads), expected);
  }
  expect_identical(estimate_by_reference(worked_ring(), 10, 1), expected);
}

TEST(SpectraEstimator, AddsIntoWhatTheCallerPassed) {
  Results results = zero_results(3);
  results.spectrum[2] = 0.5;
  results.bim_spectra[0][1] = 0.25;
  Results expected = results;
  estimate_spectra(results.spectrum, results.bim_spectra, 10, 1, worked_ring());
  reference::estimate_spectra(expected.spectrum, expected.bim_spectra, 10, 1, worked_ring());
  expect_identical(results, expected);
}

TEST(SpectraEstimator, EdgeCases) {
  NetworkInstance one_srlg = worked_ring();
  one_srlg.srlg_count = 1;
  one_srlg.srlgs = {{1, {1, 2, 3}}};
  one_srlg.edge_srlg_count = {{1, 1}, {2, 1}, {3, 1}, {4, 0}};

  NetworkInstance one_vertex;
  one_vertex.vertex_count = 1;
  one_vertex.srlg_count = 3;

  NetworkInstance free_edges_connect = worked_ring();
  free_edges_connect.edges[5] = {2, 3};
  free_edges_connect.edges[6] = {3, 4};
  free_edges_connect.edge_count = 6;
  free_edges_connect.edge_srlg_count[5] = 0;
  free_edges_connect.edge_srlg_count[6] = 0;

  NetworkInstance never_connected = worked_ring();
  never_connected.vertex_count = 5;  // vertex 5 has no edge

  NetworkInstance no_vertices = worked_ring();
  no_vertices.vertex_count = 0;
  no_vertices.edges.clear();

  const double all_ten = add_repeatedly(0.1, 10);
  struct Case {
    std::string name;
    NetworkInstance instance;
    std::int32_t samples;
    SpectraVector spectrum;
  };
  const std::vector<Case> cases = {
      {"one SRLG", one_srlg, 10, {all_ten}},
      {"one vertex", one_vertex, 10, {all_ten, all_ten, all_ten}},
      {"free edges connect everything", free_edges_connect, 10, {all_ten, all_ten, all_ten}},
      {"never connected", never_connected, 10, {0, 0, 0}},
      {"no vertices", no_vertices, 10, {0, 0, 0}},
      {"no samples", worked_ring(), 0, {0, 0, 0}},
      {"negative sample size", worked_ring(), -5, {0, 0, 0}},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    const Results results = estimate(test_case.instance, test_case.samples, 3);
    EXPECT_EQ(results.spectrum, test_case.spectrum);
    expect_identical(results, estimate_by_reference(test_case.instance, test_case.samples, 3));
  }
}

TEST(SpectraEstimator, NoSrlgsLeavesEmptyResults) {
  NetworkInstance instance = worked_ring();
  instance.srlg_count = 0;
  const Results results = estimate(instance, 10, 1);
  EXPECT_TRUE(results.spectrum.empty());
  EXPECT_TRUE(results.bim_spectra.empty());
}

TEST(SpectraEstimator, ConnectedFromTheStartCountsEachSrlgFromItsPosition) {
  // With every sample UP at once, BIM cell (s, j) counts the samples whose first j+1
  // positions hold s; in the last column that is every sample.
  NetworkInstance instance;
  instance.vertex_count = 1;
  instance.srlg_count = 4;
  const Results results = estimate(instance, 1000, 9);
  const double all = add_repeatedly(1.0 / 1000, 1000);
  for (const auto& row : results.bim_spectra) {
    EXPECT_EQ(row.back(), all);
    EXPECT_NEAR(row.front(), 0.25, 0.05);
  }
}

TEST(SpectraEstimator, InvariantsHoldOnGeneratedNetworks) {
  for (std::uint64_t seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE(seed);
    const NetworkInstance instance =
        test_networks::make_ring_network({30, 45, 20, 0.1, 0.3, 3, 2}, seed);
    const Results results = estimate(instance, 500, static_cast<std::int32_t>(seed));
    const std::size_t n = results.spectrum.size();
    for (std::size_t j = 0; j < n; ++j) {
      if (j > 0) {
        EXPECT_LE(results.spectrum[j - 1], results.spectrum[j]) << "spectrum decreases at " << j;
      }
      double column_sum = 0.0;
      for (std::size_t row = 0; row < n; ++row) {
        EXPECT_LE(results.bim_spectra[row][j], results.spectrum[j]);
        EXPECT_GE(results.bim_spectra[row][j], 0.0);
        column_sum += results.bim_spectra[row][j];
      }
      EXPECT_NEAR(column_sum, static_cast<double>(j + 1) * results.spectrum[j], 1e-9);
    }
    for (std::size_t row = 0; row < n; ++row) {
      EXPECT_EQ(results.bim_spectra[row][n - 1], results.spectrum[n - 1]);
    }
  }
}

TEST(SpectraEstimator, AgreesWithTheReferenceOnAwkwardNetworks) {
  for (std::uint64_t seed = 1; seed <= 400; ++seed) {
    SCOPED_TRACE(seed);
    const NetworkInstance instance = test_networks::make_awkward_network(seed);
    const std::int32_t samples = static_cast<std::int32_t>(1 + seed % 37);
    const std::int32_t rng_seed = static_cast<std::int32_t>(seed);
    expect_identical(estimate(instance, samples, rng_seed),
                     estimate_by_reference(instance, samples, rng_seed));
  }
}

TEST(SpectraEstimator, AgreesWithTheReferenceOnRingNetworks) {
  const std::vector<test_networks::RingNetworkShape> shapes = {
      test_networks::small_shape(), {40, 70, 25, 0.3, 0.3, 4, 3}, {60, 60, 30, 0.0, 0.0, 2, 0}};
  for (std::size_t shape = 0; shape < shapes.size(); ++shape) {
    for (std::uint64_t seed = 1; seed <= 3; ++seed) {
      SCOPED_TRACE(::testing::Message() << "shape " << shape << " seed " << seed);
      const NetworkInstance instance = test_networks::make_ring_network(shapes[shape], seed);
      expect_identical(estimate(instance, 300, static_cast<std::int32_t>(seed)),
                       estimate_by_reference(instance, 300, static_cast<std::int32_t>(seed)));
    }
  }
}

TEST(SpectraEstimator, ThreadCountDoesNotChangeAnyResult) {
  const NetworkInstance instance =
      test_networks::make_ring_network({50, 90, 40, 0.1, 0.3, 3, 2}, 5);
  // Enough samples for several blocks of orders, and a count that leaves a short last one.
  const Results one = estimate(instance, 5003, 17, 1);
  for (const int threads : {2, 3, 8}) {
    SCOPED_TRACE(threads);
    expect_identical(estimate(instance, 5003, 17, threads), one);
  }
}

// The progress counter ends at N whatever the thread count, also when no sample can
// connect, and watching it changes no result.
TEST(SpectraEstimator, ProgressCounterEndsAtTheSampleSize) {
  const NetworkInstance ring = test_networks::make_ring_network({50, 90, 40, 0.1, 0.3, 3, 2}, 5);
  NetworkInstance never_connected = test_networks::worked_ring();
  never_connected.vertex_count = 40;
  for (const auto& [name, instance] :
       {std::pair{"ring", ring}, std::pair{"never connected", never_connected}}) {
    for (const int threads : {1, 2, 3}) {
      SCOPED_TRACE(std::string(name) + ", " + std::to_string(threads) + " threads");
      std::atomic<std::int64_t> samples_done{-1};
      Results watched = zero_results(instance.srlg_count);
      estimate_spectra_threaded(watched.spectrum, watched.bim_spectra, 5003, 17, instance, threads,
                                &samples_done);
      EXPECT_EQ(samples_done.load(), 5003);
      expect_identical(watched, estimate(instance, 5003, 17, threads));
    }
  }
}

void expect_same_counts(const SpectraCounts& actual, const SpectraCounts& expected) {
  ASSERT_EQ(actual.srlg_count, expected.srlg_count);
  ASSERT_EQ(actual.sample_size, expected.sample_size);
  EXPECT_EQ(actual.connected, expected.connected);
  EXPECT_EQ(actual.connected_with, expected.connected_with);
}

// Shared out in blocks of any size, over any number of threads, the counts are those of
// one thread drawing every order in turn: one, two and many SRLGs; fewer samples than
// blocks in a wave; a sample count that leaves a short last block; many waves.
TEST(SharedOutCounts, EqualOneThreadForEveryBlockSizeAndThreadCount) {
  struct Case {
    const char* name;
    NetworkInstance instance;
    std::int32_t samples;
  };
  NetworkInstance one_srlg = test_networks::worked_ring();
  one_srlg.srlg_count = 1;
  NetworkInstance two_srlgs = test_networks::worked_ring();
  two_srlgs.srlg_count = 2;
  const std::vector<Case> cases = {
      {"one SRLG", one_srlg, 50},
      {"two SRLGs", two_srlgs, 97},
      {"worked ring", test_networks::worked_ring(), 5},
      {"many SRLGs", test_networks::make_ring_network({50, 90, 40, 0.1, 0.3, 3, 2}, 5), 1001},
      {"awkward", test_networks::make_awkward_network(3), 400},
  };
  for (const Case& c : cases) {
    const SpectraCounts one = estimate_counts(c.samples, 17, c.instance, 1);
    for (const std::int32_t block : {1, 7, 64, 0}) {
      for (const int threads : {2, 3, 8}) {
        SCOPED_TRACE(::testing::Message()
                     << c.name << ", blocks of " << block << ", " << threads << " threads");
        CountingOptions options;
        options.thread_count = threads;
        options.samples_per_block = block;
        CountingStats stats;
        options.stats = &stats;
        expect_same_counts(estimate_counts(c.samples, 17, c.instance, options), one);
        EXPECT_EQ(stats.rejections, 0);
      }
    }
  }
}

// Draws are rejected with probability below SRLGNUM / 2^64, so a real run never meets one
// by chance. With the limit lowered, one draw in a hundred or one in ten is rejected, in
// blocks everywhere in their waves: each shifts the start of every later block, and the
// blocks drawn from the wrong start are drawn again. A sample count that leaves threads
// without a block in the last wave is among them.
TEST(SharedOutCounts, RejectedDrawsMoveTheLaterBlocks) {
  const NetworkInstance instance =
      test_networks::make_ring_network({30, 50, 25, 0.1, 0.3, 3, 2}, 3);
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  for (const auto& [limit, samples] :
       {std::pair{kMax / 100 * 99, 600}, std::pair{kMax / 10 * 9, 613}}) {
    CountingHooks hooks;
    hooks.draw_limit = limit;
    const CountingOptions sequential;
    const SpectraCounts one = estimate_counts(samples, 9, instance, sequential, hooks);
    const SpectraCounts unlimited = estimate_counts(samples, 9, instance, 1);
    EXPECT_NE(one.connected_with, unlimited.connected_with) << "the limit rejected nothing";
    for (const int threads : {2, 3, 8}) {
      SCOPED_TRACE(::testing::Message() << samples << " samples, " << threads << " threads");
      CountingOptions options = sequential;
      options.thread_count = threads;
      options.samples_per_block = 5;
      CountingStats stats;
      options.stats = &stats;
      expect_same_counts(estimate_counts(samples, 9, instance, options, hooks), one);
      EXPECT_GT(stats.rejections, 100);
      EXPECT_GT(stats.redrawn_blocks, 0);
    }
  }
}

// A worker whose thread fails (memory that runs out for a jump's table, say) ends the run
// with its exception, whichever the worker and the round: not with std::terminate, and not
// with the other threads waiting for it at a barrier or for its block's listings.
void worker_1_fails_first(int worker, std::int64_t) {
  if (worker == 1) {
    throw std::bad_alloc();
  }
}
void worker_0_fails_in_round_2(int worker, std::int64_t round) {
  if (worker == 0 && round == 2) {
    throw std::bad_alloc();
  }
}
void last_worker_fails_in_round_1(int worker, std::int64_t round) {
  if (worker == 2 && round == 1) {
    throw std::bad_alloc();
  }
}

TEST(SharedOutCounts, AWorkerThatFailsEndsTheRunWithItsException) {
  const NetworkInstance instance =
      test_networks::make_ring_network({30, 50, 25, 0.1, 0.3, 3, 2}, 3);
  CountingOptions all_terminal;
  all_terminal.thread_count = 3;
  all_terminal.samples_per_block = 5;
  CountingOptions terminals = all_terminal;  // searches forward, renaming each block first
  terminals.terminals = {1, 7, 12};
  for (const auto fails :
       {&worker_1_fails_first, &worker_0_fails_in_round_2, &last_worker_fails_in_round_1}) {
    for (const CountingOptions& options : {all_terminal, terminals}) {
      CountingHooks hooks;
      hooks.worker_fails = fails;
      EXPECT_THROW(estimate_counts(600, 9, instance, options, hooks), std::bad_alloc);
    }
  }
}

// Throughputs that change from round to round, one worker at a time far slower than the
// others: the ranks' shares of the rounds change with them, short of a block, up to a full
// buffer, none in a short last round.
std::int64_t changing_throughput(int worker, std::int64_t round) {
  return (worker + round) % 3 == 0 ? 1 : 100 + 37 * ((7 * worker + round) % 5);
}
constexpr decltype(&changing_throughput) kMeasuredThroughput = nullptr;

// Ranks with different thread counts, rejections included, the throughputs measured or
// changing from round to round: rank 0 ends with the counts of the one-thread run, the
// terminal pairs' wide counts too.
TEST(SharedOutCounts, RanksTogetherCountWhatOneThreadCounts) {
  const NetworkInstance instance =
      test_networks::make_ring_network({30, 50, 25, 0.1, 0.3, 3, 2}, 4);
  constexpr std::uint64_t kLimit = std::numeric_limits<std::uint64_t>::max() / 1000 * 999;
  const CountingOptions all_terminal;
  CountingOptions terminal_pairs = all_terminal;
  terminal_pairs.terminals = {2, 9, 17, 30};
  terminal_pairs.pairwise = true;
  for (const auto& [threads_per_rank, sequential, throughput] :
       {std::tuple{std::vector<int>{1, 1}, all_terminal, &changing_throughput},
        std::tuple{std::vector<int>{1, 1}, all_terminal, kMeasuredThroughput},
        std::tuple{std::vector<int>{2, 1, 3}, all_terminal, &changing_throughput},
        std::tuple{std::vector<int>{1, 1, 1, 1, 1}, all_terminal, &changing_throughput},
        std::tuple{std::vector<int>{2, 1, 3}, terminal_pairs, &changing_throughput},
        std::tuple{std::vector<int>{2, 1, 3}, terminal_pairs, kMeasuredThroughput}}) {
    SCOPED_TRACE(::testing::Message()
                 << threads_per_rank.size() << " ranks, " << sequential.terminals.size()
                 << " terminals, throughputs "
                 << (throughput == kMeasuredThroughput ? "measured" : "changing"));
    const CountingHooks hooks{kLimit, throughput};
    const SpectraCounts one = estimate_counts(503, 11, instance, sequential, hooks);
    const int size = static_cast<int>(threads_per_rank.size());
    ThreadRanks ranks(size);
    std::vector<SpectraCounts> counts(static_cast<std::size_t>(size));
    {
      std::vector<std::jthread> processes;
      for (int rank = 0; rank < size; ++rank) {
        // Each rank's options made here: a lambda cannot name a structured binding in
        // every compiler the project builds with.
        CountingOptions options = sequential;
        options.thread_count = threads_per_rank[static_cast<std::size_t>(rank)];
        options.samples_per_block = 6;
        processes.emplace_back([&, rank, options]() mutable {
          ThreadRanks::Rank group(ranks, rank);
          options.processes = &group;
          counts[static_cast<std::size_t>(rank)] =
              estimate_counts(503, 11, instance, options, hooks);
        });
      }
    }
    expect_same_counts(counts[0], one);
    EXPECT_EQ(counts[0].connected_pairs.size(), sequential.pairwise ? one.connected.size() : 0u);
    EXPECT_TRUE(counts[0].connected_pairs == one.connected_pairs);
  }
}

// A process group whose exchanges fail once `successes` of them have been made, as an MPI
// call that returns an error does.
class FailingExchange final : public ProcessGroup {
 public:
  explicit FailingExchange(int successes) : successes_(successes) {}
  int rank() const override { return 0; }
  int size() const override { return 1; }
  void gather_all(std::span<const std::int64_t> mine, std::span<std::int64_t> all) override {
    if (++calls_ > successes_) {
      throw std::runtime_error("the exchange failed");
    }
    std::copy(mine.begin(), mine.end(), all.begin());
  }
  void sum_into_first(std::span<std::int64_t>) override {}
  void sum_into_first(std::span<std::int32_t>) override {}
  int lowest_failing_rank(bool succeeded) override { return succeeded ? -1 : 0; }
  std::int64_t first_value(std::int64_t mine) override { return mine; }
  int calls() const { return calls_; }

 private:
  int successes_;
  int calls_ = 0;
};

// An exchange that fails reaches the caller as its exception, also when it fails in the
// barrier completion between rounds, where an exception would end the program; the run
// stops there, making no further exchange. The first exchange learns the thread counts,
// each later one resolves a round.
TEST(SharedOutCounts, AFailedExchangeEndsTheRunWithItsError) {
  const NetworkInstance instance =
      test_networks::make_ring_network({30, 50, 25, 0.1, 0.3, 3, 2}, 3);
  const std::vector<std::pair<const char*, int>> cases = {
      {"thread counts", 0}, {"first round", 1}, {"a later round", 4}};
  for (const auto& [name, successes] : cases) {
    for (const int threads : {2, 3}) {
      SCOPED_TRACE(::testing::Message() << name << ", " << threads << " threads");
      FailingExchange group(successes);
      CountingOptions options;
      options.thread_count = threads;
      options.samples_per_block = 5;
      options.processes = &group;
      try {
        estimate_counts(600, 9, instance, options);
        ADD_FAILURE() << "the run ended without the exchange's error";
      } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "the exchange failed");
      }
      EXPECT_EQ(group.calls(), successes + 1);
    }
  }
}

// Every count's double is the one that adding 1.0/N that many times gives: checked for
// every count up to N, and for the first fifty million counts of the largest N.
TEST(RepeatedSums, EqualRepeatedAdditionForEveryCount) {
  for (const std::int64_t sample_size :
       {std::int64_t{1}, std::int64_t{2}, std::int64_t{3}, std::int64_t{7}, std::int64_t{10},
        std::int64_t{1000}, std::int64_t{999983}, std::int64_t{1} << 20, std::int64_t{12345679},
        std::int64_t{2147483647}}) {
    SCOPED_TRACE(sample_size);
    const RepeatedSums sums(static_cast<std::int32_t>(sample_size));
    const double increment = 1.0 / static_cast<double>(sample_size);
    double sum = 0.0;
    std::int64_t mismatches = 0;
    const std::int64_t last = std::min<std::int64_t>(sample_size, 50000000);
    for (std::int64_t count = 0; count <= last; ++count) {
      if (sums(count) != sum && ++mismatches <= 5) {
        ADD_FAILURE() << "count " << count << ": " << sums(count) << " instead of " << sum;
      }
      sum += increment;
    }
    EXPECT_EQ(mismatches, 0);
  }
}

// The counts a run keeps give the doubles it used to add up, row by row.
TEST(SpectraEstimator, CountsGiveTheEstimatesRowByRow) {
  const NetworkInstance instance =
      test_networks::make_ring_network({30, 50, 25, 0.1, 0.3, 3, 2}, 3);
  for (const int threads : {1, 2}) {
    SCOPED_TRACE(threads);
    const SpectraCounts counts = estimate_counts(777, 5, instance, threads);
    ASSERT_EQ(counts.srlg_count, 25);
    const Results expected = estimate(instance, 777, 5, threads);
    Results from_counts;
    spectrum_of(counts, from_counts.spectrum);
    const BimRowSource rows = bim_rows_of(counts);
    from_counts.bim_spectra.resize(25);
    for (std::size_t srlg_index = 0; srlg_index < 25; ++srlg_index) {
      rows(srlg_index, from_counts.bim_spectra[srlg_index]);
    }
    expect_identical(from_counts, expected);
    expect_identical(from_counts, estimate_by_reference(instance, 777, 5));
  }
}

// A stop asked for ends the run within a progress step (1024 samples) or a block of
// samples; a stop that is never asked for changes nothing.
TEST(SpectraEstimator, StopsEarlyOnlyWhenAskedTo) {
  const NetworkInstance instance =
      test_networks::make_ring_network({30, 50, 25, 0.1, 0.3, 3, 2}, 3);
  constexpr std::int32_t kSamples = 200000;
  for (const int threads : {1, 2}) {
    SCOPED_TRACE(threads);
    const std::atomic<bool> stop{true};
    CountingOptions stopping;
    stopping.thread_count = threads;
    stopping.stop_requested = &stop;
    const SpectraCounts stopped = estimate_counts(kSamples, 5, instance, stopping);
    // With every SRLG up every sample connects: the last count is the samples run.
    EXPECT_LT(stopped.connected.back(), kSamples / 2);

    const std::atomic<bool> go_on{false};
    CountingOptions going_on = stopping;
    going_on.stop_requested = &go_on;
    const SpectraCounts full = estimate_counts(4000, 5, instance, going_on);
    const SpectraCounts plain = estimate_counts(4000, 5, instance, threads);
    ASSERT_EQ(plain.connected.back(), 4000);
    EXPECT_EQ(full.connected, plain.connected);
    EXPECT_EQ(full.connected_with, plain.connected_with);
  }
}

TEST(SpectraEstimator, ScratchGrowsWithTheSquareOfTheSrlgCount) {
  constexpr std::int32_t kMany = 100000000;
  const double table = 1000.0 * 1000.0 * 4.0;
  EXPECT_EQ(estimator_scratch_bytes({0, kMany}), 0.0);
  EXPECT_EQ(estimator_scratch_bytes({1000, kMany, 1}), table);
  // Shared out, each thread has a table, its own memory and a block of orders of some
  // megabytes.
  const double two_threads = estimator_scratch_bytes({1000, kMany, 2});
  EXPECT_GT(two_threads, 2.0 * table + 1024.0 * 1024.0);
  EXPECT_LT(two_threads, 2.0 * table + 64.0 * 1024.0 * 1024.0);
  // A hostile count's need, beyond 2^64 bytes, is not wrapped round to a small one.
  EXPECT_GT(estimator_scratch_bytes({2147483647, kMany, 2}), 0x1p64);
}

// A thread given a few samples holds buffers for a few samples, not for a full block: a
// thousand threads of a small run take a thousand times a thread's own memory and little
// more, where buffers of a full block written in huge pages would take 2 MB each.
TEST(SpectraEstimator, ScratchFollowsEachThreadsShareOfTheSamples) {
  const double tables = 1024.0 * 72.0 * 72.0 * 4.0;
  const double own = 1024.0 * static_cast<double>(kThreadBytes);
  const double small_run = estimator_scratch_bytes({72, 1000, 1024});
  EXPECT_GE(small_run, tables + own);
  EXPECT_LT(small_run, tables + own + 1024.0 * 4096.0);
  EXPECT_LT(estimator_scratch_bytes({72, 1000, 2}), estimator_scratch_bytes({72, 100000000, 2}));
  // Across processes a buffer keeps a quarter of headroom over its block: blocks of 2,500
  // samples either way here.
  EXPECT_GT(estimator_scratch_bytes({72, 10000, 2, 2}), estimator_scratch_bytes({72, 5000, 2}));
}

}  // namespace
}  // namespace varnak
