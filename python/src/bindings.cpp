// The Python module _varnak: plain functions over the library's records. NumPy arrays go
// out, plain Python values come in; everything else (names, result objects, NetworkX,
// JSON reports other than an estimate's) is the Python package's. Every figure is made
// here by the library's own functions, so that Python and varnak-tools agree to the bit.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "analysis/confidence.hpp"
#include "analysis/cut_sets.hpp"
#include "analysis/exact_spectra.hpp"
#include "analysis/reliability.hpp"
#include "common/machine_cores.hpp"
#include "common/memory_budget.hpp"
#include "common/printable.hpp"
#include "estimation/memory_check.hpp"
#include "estimation/spectra_estimator.hpp"
#include "instance/instance_reader.hpp"
#include "instance/network_instance.hpp"
#include "instance/terminal_set.hpp"
#include "output/xml_results.hpp"
#include "tools/command_line.hpp"
#include "output/estimate_results.hpp"
#include "output/result_formats.hpp"

namespace py = pybind11;

namespace varnak {
namespace {

// How often a long run looks for Ctrl-C while it works with the interpreter released.
constexpr auto kSignalPoll = std::chrono::milliseconds(50);

py::array_t<double> to_array(const std::vector<double>& values) {
  return py::array_t<double>(static_cast<py::ssize_t>(values.size()), values.data());
}

template <typename Integer>
py::array_t<Integer> to_array(const std::vector<Integer>& values, py::ssize_t rows,
                              py::ssize_t columns) {
  return py::array_t<Integer>({rows, columns}, values.data());
}

py::array_t<double> rows_to_array(const std::vector<std::vector<double>>& rows) {
  const auto count = static_cast<py::ssize_t>(rows.size());
  py::array_t<double> table({count, count});
  auto cells = table.mutable_unchecked<2>();
  for (py::ssize_t r = 0; r < count; ++r) {
    for (py::ssize_t c = 0; c < count; ++c) {
      cells(r, c) = rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
    }
  }
  return table;
}

std::vector<std::vector<double>> array_to_rows(
    const py::array_t<double, py::array::c_style | py::array::forcecast>& table,
    std::size_t count) {
  if (table.ndim() != 2 || static_cast<std::size_t>(table.shape(0)) != count ||
      static_cast<std::size_t>(table.shape(1)) != count) {
    throw py::value_error("bim_spectra must be a square table with one row per spectrum entry");
  }
  std::vector<std::vector<double>> rows(count, std::vector<double>(count));
  const auto cells = table.unchecked<2>();
  for (std::size_t r = 0; r < count; ++r) {
    for (std::size_t c = 0; c < count; ++c) {
      rows[r][c] = cells(static_cast<py::ssize_t>(r), static_cast<py::ssize_t>(c));
    }
  }
  return rows;
}

// Runs `work` on a thread of its own while this thread, without the interpreter lock, looks
// for signals every kSignalPoll. When a handler raises (Ctrl-C gives KeyboardInterrupt),
// `stop` is set so that work that watches it ends early, the thread is joined and the
// exception goes on to the caller. Work that cannot be stopped is waited for.
void run_interruptibly(const std::function<void()>& work, std::atomic<bool>& stop) {
  std::exception_ptr failure;
  bool finished = false;
  bool interrupted = false;
  std::mutex mutex;
  std::condition_variable done;
  {
    py::gil_scoped_release release;
    std::thread worker([&]() {
      try {
        work();
      } catch (...) {
        failure = std::current_exception();
      }
      const std::lock_guard<std::mutex> lock(mutex);
      finished = true;
      done.notify_one();
    });
    std::unique_lock<std::mutex> lock(mutex);
    while (!done.wait_for(lock, kSignalPoll, [&]() { return finished; })) {
      if (interrupted) {
        continue;
      }
      lock.unlock();
      {
        py::gil_scoped_acquire acquire;
        interrupted = PyErr_CheckSignals() != 0;
      }
      if (interrupted) {
        stop.store(true);
      }
      lock.lock();
    }
    lock.unlock();
    worker.join();
  }
  if (interrupted) {
    throw py::error_already_set();
  }
  if (failure) {
    std::rethrow_exception(failure);
  }
}

// Fills the membership counts from the final lists, as the reader does.
NetworkInstance make_instance(std::int32_t vertex_count, std::int32_t edge_count,
                              std::int32_t srlg_count, std::map<std::int32_t, EdgeEnds> edges,
                              std::map<std::int32_t, std::vector<std::int32_t>> srlgs) {
  NetworkInstance instance;
  instance.vertex_count = vertex_count;
  instance.edge_count = edge_count;
  instance.srlg_count = srlg_count;
  instance.edges = std::move(edges);
  instance.srlgs = std::move(srlgs);
  for (const auto& [srlg, members] : instance.srlgs) {
    for (const std::int32_t member : members) {
      ++instance.edge_srlg_count[member];
    }
  }
  return instance;
}

// The reader's verdict as a tuple (code, line, reason, instance): the package words it.
py::tuple read_instance_file(const std::string& path) {
  NetworkInstance instance;
  InstanceRefusal refusal;
  const int code = read_instance(path, instance, refusal);
  return py::make_tuple(code, refusal.line, refusal.reason, std::move(instance));
}

// The terminal ids checked against the instance, as varnak-tools checks --terminals; a
// refusal raises ValueError with its message.
std::vector<std::int32_t> checked_terminals(const NetworkInstance& instance,
                                            const std::vector<std::int64_t>& ids) {
  std::vector<std::int32_t> terminals;
  std::string failure;
  if (check_terminals(ids, instance.vertex_count, terminals, failure) != 0) {
    throw py::value_error(failure);
  }
  return terminals;
}

// Shares of pairs as doubles, and their exact sums as Python integers (they pass 2^64).
py::list wide_counts(const std::vector<WideCount>& counts) {
  py::list values;
  for (const WideCount count : counts) {
    values.append(py::int_(py::str(wide_count_text(count))));
  }
  return values;
}

py::dict estimate(const NetworkInstance& instance, std::int32_t sample_size, std::int32_t seed,
                  int thread_count, const std::vector<std::int32_t>& terminals, bool pairwise) {
  std::string message;
  if (!estimate_fits_in_memory(instance.srlg_count, thread_count, false, message)) {
    throw std::runtime_error(message);
  }
  std::atomic<bool> stop{false};
  SpectraCounts counts;
  const auto start = std::chrono::steady_clock::now();
  run_interruptibly(
      [&]() {
        CountingOptions options;
        options.thread_count = thread_count;
        options.stop_requested = &stop;
        options.terminals = terminals;
        options.pairwise = pairwise;
        counts = estimate_counts(sample_size, seed, instance, options);
      },
      stop);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto width = static_cast<py::ssize_t>(counts.srlg_count);
  py::dict result;
  result["connected"] = py::array_t<std::int64_t>(width, counts.connected.data());
  result["connected_with"] = to_array(counts.connected_with, width, width);
  result["elapsed_seconds"] = seconds;
  if (pairwise) {
    SpectraVector shares;
    pairwise_of(counts, shares);
    result["pairwise"] = to_array(shares);
    result["connected_pairs"] = wide_counts(counts.connected_pairs);
    result["terminal_pairs"] = counts.terminal_pairs;
  }
  return result;
}

// Spectra made from an estimate's counts, as varnak-tools makes them: every value
// count / N. The counts are checked only for their shape and range; a report read from a
// file is checked in full by read_estimate_file.
SpectraSummary spectra_of_counts(
    const py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>& connected,
    const py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>& connected_with,
    std::int32_t sample_size, bool free_edges_connect) {
  if (sample_size < 1) {
    throw py::value_error("N is " + std::to_string(sample_size) + "; expected 1 or more");
  }
  const py::ssize_t width = connected.ndim() == 1 ? connected.shape(0) : -1;
  if (width < 0 || connected_with.ndim() != 2 || connected_with.shape(0) != width ||
      connected_with.shape(1) != width) {
    throw py::value_error(
        "connected_with must be a square table with one row per entry of connected");
  }
  SpectraCounts counts;
  counts.srlg_count = static_cast<std::int32_t>(width);
  counts.sample_size = sample_size;
  counts.connected.assign(connected.data(), connected.data() + width);
  const std::int64_t* cells = connected_with.data();
  counts.connected_with.reserve(static_cast<std::size_t>(width * width));
  for (const std::int64_t count : counts.connected) {
    if (count < 0 || count > sample_size) {
      throw py::value_error("connected holds " + std::to_string(count) +
                            "; expected counts from 0 to N");
    }
  }
  for (py::ssize_t i = 0; i < width * width; ++i) {
    if (cells[i] < 0 || cells[i] > sample_size) {
      throw py::value_error("connected_with holds " + std::to_string(cells[i]) +
                            "; expected counts from 0 to N");
    }
    counts.connected_with.push_back(static_cast<std::int32_t>(cells[i]));
  }
  return summary_of_counts(std::move(counts), free_edges_connect);
}

// Spectra known by their values alone: exact, or read from an XML file (then without
// intervals).
SpectraSummary spectra_of_values(
    const std::vector<double>& spectrum,
    const py::array_t<double, py::array::c_style | py::array::forcecast>& bim_spectra,
    bool free_edges_connect, bool exact) {
  SpectraSummary summary;
  summary.srlg_count = static_cast<std::int32_t>(spectrum.size());
  summary.none_up = free_edges_connect ? 1.0 : 0.0;
  summary.spectrum = spectrum;
  summary.bim_spectra = array_to_rows(bim_spectra, spectrum.size());
  summary.exact = exact;
  return summary;
}

// What an estimate's report gives beside its counts, made by varnak-tools' own
// add_confidence: values count / N, Wilson intervals from the counts, the DKW band.
py::dict estimate_figures(const SpectraSummary& spectra) {
  if (spectra.counts.sample_size <= 0) {
    throw py::value_error("these spectra hold no sample counts");
  }
  EstimateReport report;
  report.counts = &spectra.counts;
  add_confidence(report);
  std::vector<double> wilson_low;
  std::vector<double> wilson_high;
  std::vector<double> band_low;
  std::vector<double> band_high;
  for (std::size_t j = 0; j < report.spectrum.size(); ++j) {
    const Interval band = band_around(report.spectrum[j], report.band_half_width);
    wilson_low.push_back(report.wilson[j].low);
    wilson_high.push_back(report.wilson[j].high);
    band_low.push_back(band.low);
    band_high.push_back(band.high);
  }
  py::dict figures;
  figures["spectrum"] = to_array(report.spectrum);
  figures["bim_spectra"] = rows_to_array(spectra.bim_spectra);
  figures["wilson_low"] = to_array(wilson_low);
  figures["wilson_high"] = to_array(wilson_high);
  figures["band_half_width"] = report.band_half_width;
  figures["band_low"] = to_array(band_low);
  figures["band_high"] = to_array(band_high);
  return figures;
}

// Exact counts outgrow 64 bits (C(243, 121) is about 10^72), so they become Python ints, in
// a NumPy array of objects that indexes and slices like the other results.
py::object counts_to_array(const std::vector<ExactCount>& counts) {
  py::list values;
  for (const ExactCount& count : counts) {
    values.append(py::int_(py::str(count.str())));
  }
  return py::module_::import("numpy").attr("array")(values, "object");
}

// "auto", "subsets" or "diagram", as varnak-tools exact --method takes them.
ExactMethod exact_method_named(const std::string& name) {
  if (name == "auto") {
    return ExactMethod::kAuto;
  }
  if (name == "subsets") {
    return ExactMethod::kSubsets;
  }
  if (name == "diagram") {
    return ExactMethod::kDiagram;
  }
  throw py::value_error("method is \"" + name + "\"; expected auto, subsets or diagram");
}

// Wilson intervals of shares over `trials` draws, as two arrays.
py::tuple wilson_intervals(const std::vector<double>& shares, std::int64_t trials) {
  std::vector<double> low;
  std::vector<double> high;
  for (const double value : shares) {
    const Interval interval = wilson_interval(value, trials);
    low.push_back(interval.low);
    high.push_back(interval.high);
  }
  return py::make_tuple(to_array(low), to_array(high));
}

// The exact spectra by `method`, the diagram's tables held to `memory_budget` bytes (0: half
// of this machine's memory, as in varnak-tools); terminals and pairwise as for estimate.
py::dict exact(const NetworkInstance& instance, const std::string& method,
               std::uint64_t memory_budget, const std::vector<std::int32_t>& terminals,
               bool pairwise) {
  ExactOptions options;
  options.method = exact_method_named(method);
  options.memory_budget = memory_budget;
  options.terminals = terminals;
  options.pairwise = pairwise;
  ExactSpectra spectra;
  std::string failure;
  int code = 0;
  std::atomic<bool> stop{false};  // neither method has a way to stop early: it is waited for
  const auto start = std::chrono::steady_clock::now();
  run_interruptibly([&]() { code = compute_exact_spectra(instance, options, spectra, failure); },
                    stop);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (code != 0) {
    throw std::runtime_error(failure);
  }
  const auto width = static_cast<py::ssize_t>(spectra.srlg_count);
  const py::object numpy = py::module_::import("numpy");
  py::object with = numpy.attr("empty")(py::make_tuple(width, width), "object");
  for (py::ssize_t s = 0; s < width; ++s) {
    with[py::int_(s)] =
        counts_to_array(spectra.connected_subsets_with[static_cast<std::size_t>(s)]);
  }
  py::dict result;
  result["free_edges_connect"] = spectra.free_edges_connect;
  result["exact_method"] = method_name(spectra.method);
  if (spectra.method == ExactMethod::kDiagram) {
    result["frontier_width"] = spectra.diagram.frontier_width;
    result["remembered_srlgs"] = spectra.diagram.most_remembered;
    result["diagram_nodes"] = spectra.diagram.nodes;
  }
  result["spectrum"] = to_array(spectra.spectrum);
  result["bim_spectra"] = rows_to_array(spectra.bim_spectra);
  result["connected"] = counts_to_array(spectra.connected_subsets);
  result["subsets"] = counts_to_array(spectra.subsets);
  result["connected_with"] = std::move(with);
  result["elapsed_seconds"] = seconds;
  if (pairwise) {
    result["pairwise"] = to_array(spectra.pairwise_shares);
    result["pairwise_none_up"] = spectra.pairwise_none_up;
    result["connected_pairs"] = wide_counts(spectra.connected_pairs);
    result["terminal_pairs"] = spectra.terminal_pairs;
  }
  return result;
}

py::array_t<double> pairwise_curve(double none_up, const std::vector<double>& shares,
                                   const std::vector<double>& p_values) {
  std::vector<double> curve;
  curve.reserve(p_values.size());
  for (const double p : p_values) {
    curve.push_back(pairwise_reliability(none_up, shares, p));
  }
  return to_array(curve);
}

// R(p) at each p as the columns of varnak-tools' points: p, R, R_low, R_high,
// unreliability. `exact_tail`, when given, counts the small failures exactly.
py::dict reliability_points(const SpectraSummary& spectra, const std::vector<double>& p_values,
                            const FailureShares* exact_tail) {
  std::vector<double> reliability;
  std::vector<double> low;
  std::vector<double> high;
  std::vector<double> unreliability;
  for (const double p : p_values) {
    const ReliabilityPoint point = reliability_point(spectra, p, exact_tail);
    reliability.push_back(point.reliability);
    low.push_back(point.interval.low);
    high.push_back(point.interval.high);
    unreliability.push_back(point.unreliability);
  }
  py::dict points;
  points["p"] = to_array(p_values);
  points["R"] = to_array(reliability);
  points["R_low"] = to_array(low);
  points["R_high"] = to_array(high);
  points["unreliability"] = to_array(unreliability);
  return points;
}

// Every SRLG, most important first, as the columns of varnak-tools' ranking.
py::dict importance_ranking(const SpectraSummary& spectra, double p) {
  const std::vector<SrlgImportance> ranking = rank_by_importance(spectra, p, 0);
  std::vector<std::int32_t> ids;
  std::vector<double> importance;
  std::vector<double> low;
  std::vector<double> high;
  std::vector<bool> resolved;
  std::vector<double> up;
  std::vector<double> down;
  for (const SrlgImportance& entry : ranking) {
    ids.push_back(entry.srlg);
    importance.push_back(entry.importance);
    low.push_back(entry.interval.low);
    high.push_back(entry.interval.high);
    resolved.push_back(entry.resolved);
    up.push_back(entry.reliability_up);
    down.push_back(entry.reliability_down);
  }
  const auto count = static_cast<py::ssize_t>(ranking.size());
  py::array_t<bool> resolved_column(count);
  for (py::ssize_t i = 0; i < count; ++i) {
    resolved_column.mutable_at(i) = resolved[static_cast<std::size_t>(i)];
  }
  py::dict columns;
  columns["srlg"] = py::array_t<std::int32_t>(count, ids.data());
  columns["importance"] = to_array(importance);
  columns["importance_low"] = to_array(low);
  columns["importance_high"] = to_array(high);
  columns["resolved"] = std::move(resolved_column);
  columns["R_up"] = to_array(up);
  columns["R_down"] = to_array(down);
  return columns;
}

FailureShares failure_shares(const NetworkInstance& instance, std::int32_t max_size) {
  FailureShares shares;
  std::string failure;
  int code = 0;
  std::atomic<bool> stop{false};  // the count has no way to stop early: it is waited for
  run_interruptibly([&]() { code = count_failure_shares(instance, max_size, shares, failure); },
                    stop);
  if (code != 0) {
    throw std::runtime_error(failure);
  }
  return shares;
}

py::dict minimal_cut_sets(const NetworkInstance& instance, std::int32_t max_size,
                          const std::vector<std::int32_t>& terminals) {
  MinimalCutSets cuts;
  std::string failure;
  int code = 0;
  std::atomic<bool> stop{false};  // the search has no way to stop early: it is waited for
  const auto start = std::chrono::steady_clock::now();
  run_interruptibly(
      [&]() { code = find_minimal_cut_sets(instance, max_size, cuts, failure, terminals); },
      stop);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (code != 0) {
    throw std::runtime_error(failure);
  }
  py::list sets;
  for (const MinimalCutSet& set : cuts.sets) {
    sets.append(py::make_tuple(set.srlgs, set.cut_off));
  }
  py::dict result;
  result["max_size"] = cuts.max_size;
  result["sets_checked"] = cuts.sets_checked;
  result["count_by_size"] = py::array_t<std::uint64_t>(
      static_cast<py::ssize_t>(cuts.count_by_size.size()), cuts.count_by_size.data());
  result["cut_sets"] = std::move(sets);
  result["elapsed_seconds"] = seconds;
  return result;
}

// A Varnak XML result file, checked as varnak-tools reliability --xml checks it.
py::tuple read_xml_file(const std::string& path) {
  XmlResults results;
  std::string failure;
  if (read_xml_results(path, results, failure) != 0) {
    throw std::runtime_error(failure);
  }
  return py::make_tuple(to_array(results.spectrum), rows_to_array(results.bim_spectra));
}

// An estimate's JSON or CSV report, read and checked by varnak-tools reliability --results'
// own reader, so that both refuse the same files with the same messages.
py::dict read_estimate_file(const std::string& path) {
  EstimateResults results;
  std::string failure;
  if (read_estimate_results(path, results, failure) != 0) {
    throw std::runtime_error(failure);
  }
  const RunInfo& run = results.run;
  py::dict report;
  report["instance"] =
      run.instance_name.empty() ? py::object(py::none()) : py::object(py::str(run.instance_name));
  report["srlg_count"] = run.srlg_count;
  report["N"] = run.sample_size;
  report["seed"] = run.seed;
  report["seed_drawn"] = run.seed_drawn;
  report["threads"] = run.thread_count;
  report["free_edges_connect"] = run.free_edges_connect;
  const auto width = static_cast<py::ssize_t>(results.counts.srlg_count);
  report["connected"] = py::array_t<std::int64_t>(width, results.counts.connected.data());
  report["connected_with"] = to_array(results.counts.connected_with, width, width);
  report["terminals"] = run.terminals;
  if (!results.counts.connected_pairs.empty()) {
    SpectraVector shares;
    pairwise_of(results.counts, shares);
    report["pairwise"] = to_array(shares);
    report["connected_pairs"] = wide_counts(results.counts.connected_pairs);
    report["terminal_pairs"] = results.counts.terminal_pairs;
    report["pairwise_none_up"] = results.pairwise_none_up;
  }
  return report;
}

}  // namespace
}  // namespace varnak

PYBIND11_MODULE(_varnak, module) {
  using namespace varnak;
  module.doc() = "Varnak's C++ library: instance files, estimator, exact spectra, reliability";

  py::class_<NetworkInstance>(module, "NetworkInstance")
      .def_readonly("vertex_count", &NetworkInstance::vertex_count)
      .def_readonly("edge_count", &NetworkInstance::edge_count)
      .def_readonly("srlg_count", &NetworkInstance::srlg_count)
      .def_readonly("edges", &NetworkInstance::edges)
      .def_readonly("srlgs", &NetworkInstance::srlgs);

  py::class_<SpectraSummary>(module, "Spectra",
                             "Spectra as the analysis reads them: from counts, exact, or values "
                             "alone")
      .def_readonly("srlg_count", &SpectraSummary::srlg_count)
      .def_property_readonly("has_intervals", &has_intervals);
  py::class_<FailureShares>(module, "FailureShares")
      .def_property_readonly("depth", [](const FailureShares& shares) {
        return static_cast<std::int32_t>(shares.disconnecting.size()) - 1;
      });

  module.attr("LOAD_OK") = kLoadOk;
  module.attr("LOAD_FAILED") = kLoadFailed;
  module.attr("LOAD_CANNOT_OPEN") = kLoadCannotOpen;
  module.attr("MAX_EXACT_SRLGS") = kMaxExactSrlgs;
  module.attr("CONFIDENCE_LEVEL") = 1.0 - kBandAlpha;
  module.attr("MAX_THREADS") = kMaxThreads;

  module.def("read_instance", &read_instance_file, py::arg("path"));
  module.def("make_instance", &make_instance, py::arg("vertex_count"), py::arg("edge_count"),
             py::arg("srlg_count"), py::arg("edges"), py::arg("srlgs"));
  module.def("printable", &printable, py::arg("text"));
  module.def("machine_cores", &machine_cores);
  module.def("free_edges_connect", &free_edges_connect, py::arg("instance"));
  module.def("check_terminals", &checked_terminals, py::arg("instance"), py::arg("ids"));
  module.def("free_edges_connect_terminals", &free_edges_connect_terminals, py::arg("instance"),
             py::arg("terminals"));
  module.def("free_pairs_share", &free_pairs_share, py::arg("instance"), py::arg("terminals"));
  module.def("estimate", &estimate, py::arg("instance"), py::arg("sample_size"), py::arg("seed"),
             py::arg("thread_count"), py::arg("terminals") = std::vector<std::int32_t>{},
             py::arg("pairwise") = false);
  module.def("spectra_of_counts", &spectra_of_counts, py::arg("connected"),
             py::arg("connected_with"), py::arg("sample_size"), py::arg("free_edges_connect"));
  module.def("spectra_of_values", &spectra_of_values, py::arg("spectrum"), py::arg("bim_spectra"),
             py::arg("free_edges_connect"), py::arg("exact"));
  module.def("estimate_figures", &estimate_figures, py::arg("spectra"));
  module.def("exact", &exact, py::arg("instance"), py::arg("method"), py::arg("memory_budget"),
             py::arg("terminals") = std::vector<std::int32_t>{}, py::arg("pairwise") = false);
  module.def("pairwise_curve", &pairwise_curve, py::arg("none_up"), py::arg("shares"),
             py::arg("p_values"));
  module.def("wilson_intervals", &wilson_intervals, py::arg("shares"), py::arg("trials"));
  module.def(
      "memory_size",
      [](const std::string& text) {
        std::uint64_t bytes = 0;
        if (!read_memory_size(text, bytes)) {
          throw py::value_error("max_memory is \"" + text +
                                "\"; expected a size in bytes, or with K, M, G or T (512M, 1.5G)");
        }
        return bytes;
      },
      py::arg("text"));
  module.def("reliability_points", &reliability_points, py::arg("spectra"), py::arg("p_values"),
             py::arg("exact_tail") = nullptr);
  module.def("importance_ranking", &importance_ranking, py::arg("spectra"), py::arg("p"));
  module.def("failure_shares", &failure_shares, py::arg("instance"), py::arg("max_size"));
  module.def("quick_tail_depth", &quick_tail_depth, py::arg("srlg_count"));
  module.def("minimal_cut_sets", &minimal_cut_sets, py::arg("instance"), py::arg("max_size"),
             py::arg("terminals"));
  module.def("read_xml_results", &read_xml_file, py::arg("path"));
  module.def("read_estimate_results", &read_estimate_file, py::arg("path"));
}
