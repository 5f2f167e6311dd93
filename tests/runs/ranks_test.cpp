#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "runs/estimate_run.hpp"
#include "tests/support/instance_generator.hpp"
#include "tests/support/thread_ranks.hpp"

namespace varnak {
namespace {

// What one rank of a two-rank job read, and how its run ended.
struct RankInput {
  const NetworkInstance* instance;
  std::optional<std::vector<std::int64_t>> terminals;
};

struct RankOutcome {
  int code = -1;
  std::string error;  // the exception's message, when the run threw
  EstimateReport report;
};

std::vector<RankOutcome> run_two_ranks(const RankInput (&inputs)[2]) {
  ThreadRanks ranks(2);
  std::vector<RankOutcome> outcomes(2);
  {
    std::vector<std::jthread> processes;
    for (int rank = 0; rank < 2; ++rank) {
      processes.emplace_back([&, rank]() {
        ThreadRanks::Rank group(ranks, rank);
        RunContext context;
        context.processes = &group;
        EstimateRequest request;
        request.instance.loaded = inputs[rank].instance;
        request.instance.name = "net.txt";
        request.sampling = {400, 5, 1};
        request.terminals.ids = inputs[rank].terminals;
        RankOutcome& outcome = outcomes[static_cast<std::size_t>(rank)];
        std::string message;
        try {
          outcome.code = run_estimate(request, context, outcome.report, message);
        } catch (const std::runtime_error& error) {
          outcome.error = error.what();
        }
      });
    }
  }
  return outcomes;
}

// Ranks that read different files at one path must not add up their samples: every rank
// refuses, naming the first rank that differs from rank 0.
TEST(SharedRuns, RanksThatReadDifferentInputsRefuse) {
  const NetworkInstance ring = test_networks::make_ring_network(test_networks::small_shape(), 1);
  const NetworkInstance other = test_networks::make_ring_network(test_networks::small_shape(), 2);
  const std::vector<std::int64_t> some = {1, 2, 3};
  const std::vector<std::int64_t> others = {1, 2, 4};
  const struct {
    const char* what;
    RankInput inputs[2];
    bool refused;
  } cases[] = {
      {"the same network", {{&ring, std::nullopt}, {&ring, std::nullopt}}, false},
      {"the same terminals", {{&ring, some}, {&ring, some}}, false},
      {"another network", {{&ring, std::nullopt}, {&other, std::nullopt}}, true},
      {"other terminals", {{&ring, some}, {&ring, others}}, true},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.what);
    const std::vector<RankOutcome> outcomes = run_two_ranks(entry.inputs);
    for (const RankOutcome& outcome : outcomes) {
      if (entry.refused) {
        EXPECT_EQ(outcome.error,
                  "rank 1 read another network or terminal set from net.txt than rank 0; every "
                  "rank must read the same files");
      } else {
        EXPECT_EQ(outcome.code, kExitSuccess) << outcome.error;
      }
    }
    if (!entry.refused) {
      EXPECT_EQ(outcomes[0].report.counts.sample_size, 400);
    }
  }
}

}  // namespace
}  // namespace varnak
