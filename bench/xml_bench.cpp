// Writing a Varnak XML result file against reading it back, for the same results: estimates
// of generated ring networks with `srlgs` SRLGs. bench/xml_read_write_ratio.py turns one run
// into the ratio of reading to writing for each size.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "estimation/spectra_estimator.hpp"
#include "output/xml_report.hpp"
#include "output/xml_results.hpp"
#include "tests/support/instance_generator.hpp"
#include "tests/support/spectra_accumulation.hpp"

namespace varnak {
namespace {

struct Results {
  SpectraVector spectrum;
  BimSpectraMatrix bim_spectra;
};

// A ring of twice as many vertices as SRLGs, each SRLG a duct over an arc, estimated from
// enough samples that most entries are distinct six-decimal numbers.
Results estimate_for(std::int32_t srlgs) {
  const test_networks::RingNetworkShape shape = {2 * srlgs, 4 * srlgs, srlgs, 0.0, 0.1, 6, 4};
  const NetworkInstance instance = test_networks::make_ring_network(shape, 1);
  const std::size_t n = static_cast<std::size_t>(srlgs);
  Results results{SpectraVector(n, 0.0), BimSpectraMatrix(n, SpectraVector(n, 0.0))};
  estimate_spectra(results.spectrum, results.bim_spectra, 3000, 1, instance);
  return results;
}

// One file per process and size, in the temporary directory, removed when the case ends.
std::string scratch_path(std::int64_t srlgs) {
  return (std::filesystem::temp_directory_path() /
          ("varnak-xml-bench-" + std::to_string(::getpid()) + "-" + std::to_string(srlgs) + ".xml"))
      .string();
}

void label(benchmark::State& state, const std::string& path) {
  const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(path));
  state.SetBytesProcessed(state.iterations() * bytes);
  state.counters["file_bytes"] = static_cast<double>(bytes);
  state.SetItemsProcessed(state.iterations() * state.range(0) * (state.range(0) + 1));
  state.SetLabel(std::to_string(state.range(0)) + " srlgs, " + std::to_string(bytes) + " bytes");
}

// What Varnak does with --outpath: write the document to the file, row by row.
void BM_XmlWrite(benchmark::State& state) {
  const Results results = estimate_for(static_cast<std::int32_t>(state.range(0)));
  const std::string path = scratch_path(state.range(0));
  for (auto _ : state) {
    std::string failure;
    if (write_xml_report(path, results.spectrum, results.bim_spectra, 1.5, failure) != 0) {
      state.SkipWithError(failure.c_str());
      break;
    }
  }
  label(state, path);
  std::filesystem::remove(path);
}

// What varnak-tools reliability --xml does with the same file: read and check it.
void BM_XmlRead(benchmark::State& state) {
  const Results results = estimate_for(static_cast<std::int32_t>(state.range(0)));
  const std::string path = scratch_path(state.range(0));
  std::string failure;
  if (write_xml_report(path, results.spectrum, results.bim_spectra, 1.5, failure) != 0) {
    state.SkipWithError(failure.c_str());
    return;
  }
  for (auto _ : state) {
    XmlResults read;
    if (read_xml_results(path, read, failure) != 0) {
      state.SkipWithError(failure.c_str());
      break;
    }
    benchmark::DoNotOptimize(read.bim_spectra.data());
  }
  label(state, path);
  std::filesystem::remove(path);
}

BENCHMARK(BM_XmlWrite)
    ->ArgName("srlgs")
    ->Arg(50)
    ->Arg(100)
    ->Arg(400)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_XmlRead)
    ->ArgName("srlgs")
    ->Arg(50)
    ->Arg(100)
    ->Arg(400)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace varnak

BENCHMARK_MAIN();
