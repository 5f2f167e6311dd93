// Samples per second of the estimators and of drawing the orders alone, on generated
// ring networks of four sizes. bench/bench_ratios.py turns one run into the ratios.
#include <benchmark/benchmark.h>

#include <vector>

#include "estimation/order_sampler.hpp"
#include "estimation/random_source.hpp"
#include "estimation/spectra_estimator.hpp"
#include "tests/support/instance_generator.hpp"
#include "tests/support/reference_estimator.hpp"
#include "tests/support/spectra_accumulation.hpp"

namespace varnak {
namespace {

test_networks::RingNetworkShape shape_of(std::int64_t index) {
  switch (index) {
    case 0:
      return test_networks::small_shape();
    case 1:
      return test_networks::medium_shape();
    case 2:
      return test_networks::large_shape();
    default:
      return test_networks::dense_shape();
  }
}

void name_instance(benchmark::State& state, const test_networks::RingNetworkShape& shape) {
  state.SetLabel(std::to_string(shape.vertices) + " vertices, " + std::to_string(shape.edges) +
                 " edges, " + std::to_string(shape.srlgs) + " srlgs");
}

// Runs `estimate` for `samples` samples per iteration and reports samples per second.
template <typename Estimate>
void run_estimator(benchmark::State& state, std::int32_t samples, Estimate estimate) {
  const test_networks::RingNetworkShape shape = shape_of(state.range(0));
  const NetworkInstance instance = test_networks::make_ring_network(shape, 1);
  const std::size_t n = static_cast<std::size_t>(shape.srlgs);
  for (auto _ : state) {
    SpectraVector spectrum(n, 0.0);
    BimSpectraMatrix bim_spectra(n, std::vector<double>(n, 0.0));
    estimate(spectrum, bim_spectra, samples, instance);
    benchmark::DoNotOptimize(spectrum.data());
  }
  state.SetItemsProcessed(state.iterations() * samples);
  name_instance(state, shape);
}

void BM_Reference(benchmark::State& state) {
  run_estimator(state, 200, [](auto& spectrum, auto& bim, std::int32_t samples, auto& instance) {
    reference::estimate_spectra(spectrum, bim, samples, 1, instance);
  });
}

void BM_Fast(benchmark::State& state) {
  run_estimator(state, 20000, [](auto& spectrum, auto& bim, std::int32_t samples, auto& instance) {
    estimate_spectra(spectrum, bim, samples, 1, instance);
  });
}

void BM_FastTwoThreads(benchmark::State& state) {
  run_estimator(state, 20000, [](auto& spectrum, auto& bim, std::int32_t samples, auto& instance) {
    estimate_spectra_threaded(spectrum, bim, samples, 1, instance, 2);
  });
}

// The estimator shared out over range(1) threads, with the process's CPU time measured,
// and the share of the run in which one thread worked alone.
void BM_SharedOut(benchmark::State& state) {
  const test_networks::RingNetworkShape shape = shape_of(state.range(0));
  const NetworkInstance instance = test_networks::make_ring_network(shape, 1);
  // A million samples, as a run after tight intervals takes: what a run pays once (the
  // plans, the jump polynomials, fresh pages for the orders) weighs as much as there.
  constexpr std::int32_t kSamples = 1000000;
  CountingStats stats;
  CountingOptions options;
  options.thread_count = static_cast<int>(state.range(1));
  options.stats = &stats;
  double serial = 0.0;
  double whole = 0.0;
  double jumps = 0.0;
  for (auto _ : state) {
    const SpectraCounts counts = estimate_counts(kSamples, 1, instance, options);
    benchmark::DoNotOptimize(counts.connected.data());
    serial += stats.serial_seconds;
    whole += stats.seconds;
    jumps += stats.jump_seconds;
  }
  state.counters["serial_share"] = whole > 0.0 ? serial / whole : 0.0;
  state.counters["jump_share"] =
      whole > 0.0 ? jumps / whole / static_cast<double>(state.range(1)) : 0.0;
  state.SetItemsProcessed(state.iterations() * kSamples);
  name_instance(state, shape);
}

// Drawing the same orders and nothing else: the floor under any estimator.
void BM_OrdersAlone(benchmark::State& state) {
  const test_networks::RingNetworkShape shape = shape_of(state.range(0));
  constexpr std::int32_t kSamples = 20000;
  for (auto _ : state) {
    RandomSource random(1);
    SrlgOrder order;
    order.fill(shape.srlgs);
    for (std::int32_t sample = 0; sample < kSamples; ++sample) {
      order.reshuffle(random);
    }
    benchmark::DoNotOptimize(order.ids().data());
  }
  state.SetItemsProcessed(state.iterations() * kSamples);
  name_instance(state, shape);
}

void BM_OrdersAloneFast(benchmark::State& state) {
  const test_networks::RingNetworkShape shape = shape_of(state.range(0));
  constexpr std::int32_t kSamples = 20000;
  const OrderSampler sampler(shape.srlgs);
  for (auto _ : state) {
    RandomSource random(1);
    SrlgOrder order;
    order.fill(shape.srlgs);
    std::vector<std::int32_t> ids = order.ids();
    for (std::int32_t sample = 0; sample < kSamples; ++sample) {
      sampler.reshuffle(random, ids.data());
    }
    benchmark::DoNotOptimize(ids.data());
  }
  state.SetItemsProcessed(state.iterations() * kSamples);
  name_instance(state, shape);
}

BENCHMARK(BM_Reference)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fast)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FastTwoThreads)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SharedOut)
    ->ArgsProduct({{2, 3}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_OrdersAlone)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OrdersAloneFast)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varnak

BENCHMARK_MAIN();
