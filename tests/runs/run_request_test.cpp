#include "runs/run_request.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <vector>

#include "common/machine_cores.hpp"
#include "output/estimate_results.hpp"
#include "runs/estimate_run.hpp"
#include "runs/exact_run.hpp"
#include "runs/reliability_run.hpp"
#include "tests/support/instance_generator.hpp"

namespace varnak {
namespace {

TEST(OptionName, SpellsEachFrontEndsWay) {
  const struct {
    std::string name;
    std::string command_line;
    std::string keyword;
  } cases[] = {
      {"N", "--N", "n"},
      {"max-N", "--max-N", "max_n"},
      {"rel-error", "--rel-error", "rel_error"},
      {"srlg-p", "--srlg-p", "srlg_p"},
      {"seed", "--seed", "seed"},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.name);
    EXPECT_EQ(option_name(OptionSpelling::kCommandLine, entry.name), entry.command_line);
    EXPECT_EQ(option_name(OptionSpelling::kKeyword, entry.name), entry.keyword);
  }
}

TEST(CheckSampling, RefusesWhatNoRunCanTake) {
  const struct {
    SamplingRequest request;
    std::string message;  // empty: accepted
  } cases[] = {
      {{1, 1, 1}, ""},
      {{2147483647, 2147483647, kMaxThreads}, ""},
      {{std::nullopt, 1, 1}, "--N is 0; expected a sample size from 1 to 2147483647"},
      {{2147483648, 1, 1}, "--N is 2147483648; expected a sample size from 1 to 2147483647"},
      {{10, 0, 1}, "--seed is 0; expected a seed from 1 to 2147483647 (leave it out to draw one)"},
      {{10, 1, 0}, "--threads is 0; expected a count from 1 to " + std::to_string(kMaxThreads)},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.message);
    EstimateSettings settings;
    std::string message;
    const int code = check_sampling(entry.request, OptionSpelling::kCommandLine, settings, message);
    EXPECT_EQ(code, entry.message.empty() ? kExitSuccess : kExitUsage);
    EXPECT_EQ(message, entry.message);
  }
}

TEST(CheckSampling, DrawsASeedOnlyWhenNoneIsGiven) {
  EstimateSettings settings;
  std::string message;
  ASSERT_EQ(check_sampling({10, std::nullopt, 1}, OptionSpelling::kKeyword, settings, message),
            kExitSuccess);
  EXPECT_TRUE(settings.seed_drawn);
  EXPECT_GE(settings.seed, 1);
  ASSERT_EQ(check_sampling({10, 7, 1}, OptionSpelling::kKeyword, settings, message), kExitSuccess);
  EXPECT_FALSE(settings.seed_drawn);
  EXPECT_EQ(settings.seed, 7);
}

// Counts made by a real run, then spoiled one way each: a held result is checked as a
// report read from a file is.
TEST(CheckEstimateCounts, RefusesCountsThatNoRunCanGive) {
  const NetworkInstance instance =
      test_networks::make_ring_network(test_networks::small_shape(), 1);
  EstimateRequest request;
  request.instance.loaded = &instance;
  request.instance.name = "ring";
  request.sampling = {500, 3, 1};
  EstimateReport report;
  std::string message;
  ASSERT_EQ(run_estimate(request, RunContext{}, report, message), kExitSuccess) << message;
  const SpectraCounts counts = report.counts;
  const auto width = static_cast<std::size_t>(counts.srlg_count);
  ASSERT_EQ(check_estimate_counts(report.run, counts, message), 0) << message;

  const struct {
    const char* fault;
    void (*spoil)(SpectraCounts&, std::size_t width);
    const char* expected;
  } cases[] = {
      {"a falling spectrum",
       [](SpectraCounts& c, std::size_t w) { c.connected[w - 1] = c.connected[w - 2] - 1; },
       "no less than the one before"},
      {"a count above N", [](SpectraCounts& c, std::size_t) { c.connected[0] = c.sample_size + 1; },
       "expected at most N"},
      {"a BIM count above its spectrum count",
       [](SpectraCounts& c, std::size_t w) { c.connected_with[w - 2] = c.connected[w - 2] + 1; },
       "expected at most the spectrum's"},
      {"a negative count", [](SpectraCounts& c, std::size_t) { c.connected_with[0] = -1; },
       "below 0"},
      {"a table of the wrong size",
       [](SpectraCounts& c, std::size_t) { c.connected_with.pop_back(); },
       "expected srlg_count squared"},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.fault);
    SpectraCounts spoiled = counts;
    entry.spoil(spoiled, width);
    message.clear();
    EXPECT_EQ(check_estimate_counts(report.run, spoiled, message), 1);
    EXPECT_NE(message.find(entry.expected), std::string::npos) << message;
  }
}

// A held estimate goes through the same check before any figure is made of it.
TEST(RunReliability, RefusesHeldCountsThatFall) {
  HeldSpectra held;
  held.run.method = "estimate";
  held.run.sampled = true;
  held.run.srlg_count = 2;
  held.run.sample_size = 10;
  held.run.seed = 1;
  held.counts.srlg_count = 2;
  held.counts.sample_size = 10;
  held.counts.connected = {9, 3};
  held.counts.connected_with = {9, 3, 0, 3};
  ReliabilityRequest request;
  request.held = &held;
  ReliabilityReport report;
  std::string message;
  EXPECT_EQ(run_reliability(request, RunContext{}, report, message), kExitUsage);
  EXPECT_EQ(message,
            "connected count 2 is 3; expected at most N = 10 and no less than the one before");
}

// --rel-error's N is chosen by samples other than the ones reported, so the figure reported
// is as unbiased as a fixed-N run's: over many seeds the mean of 1 - R stays within four
// standard errors of the exact value. When the reported samples themselves decided the
// stop, it stood 2.4% of 1 - R high here, six of these standard errors.
TEST(RunReliability, RelativeErrorStopsWithoutBias) {
  const NetworkInstance instance =
      test_networks::make_ring_network(test_networks::small_shape(), 3);
  ReliabilityRequest exact_request;
  exact_request.graph = InstanceSource{"", &instance, "ring"};
  exact_request.exact = true;
  exact_request.p = std::vector<std::string>{"0.99"};
  ReliabilityReport exact;
  std::string message;
  ASSERT_EQ(run_reliability(exact_request, RunContext{}, exact, message), kExitSuccess) << message;
  const double truth = exact.curve.at(0).unreliability;
  ASSERT_GT(truth, 0.0);

  constexpr int kRuns = 1000;
  double sum = 0.0;
  double squares = 0.0;
  for (int seed = 1; seed <= kRuns; ++seed) {
    ReliabilityRequest request = exact_request;
    request.exact = false;
    request.sampling.sample_size = 20;
    request.sampling.seed = seed;
    request.sampling.threads = 1;
    request.rel_error = 0.3;
    request.max_sample_size = 10000000;
    ReliabilityReport report;
    ASSERT_EQ(run_reliability(request, RunContext{}, report, message), kExitSuccess) << message;
    const double unreliability = report.curve.at(0).unreliability / truth;
    sum += unreliability;
    squares += unreliability * unreliability;
  }
  const double mean = sum / kRuns;
  const double spread = std::sqrt(squares / kRuns - mean * mean);
  EXPECT_NEAR(mean, 1.0, 4.0 * spread / std::sqrt(kRuns));
}

// A stop asked for while the diagram is built ends the run between levels (the Python
// module's Ctrl-C); without one the same run completes.
TEST(RunExact, AStopEndsTheDiagramBetweenLevels) {
  const NetworkInstance instance =
      test_networks::make_ring_network(test_networks::small_shape(), 3);
  ExactRequest request;
  request.instance.loaded = &instance;
  request.options.method = "diagram";
  for (const bool stop : {false, true}) {
    SCOPED_TRACE(stop ? "stopped" : "not stopped");
    std::atomic<bool> stop_requested{stop};
    RunContext context;
    context.stop_requested = &stop_requested;
    ExactReport report;
    std::string message;
    if (stop) {
      EXPECT_THROW(run_exact(request, context, report, message), RunStopped);
    } else {
      EXPECT_EQ(run_exact(request, context, report, message), kExitSuccess) << message;
      EXPECT_EQ(report.run.exact_method, "diagram");
    }
  }
}

}  // namespace
}  // namespace varnak
