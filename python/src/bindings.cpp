// The Python module _varnak: the runs of varnak-tools' commands, called with the package's
// arguments gathered into the same requests, and their reports handed back as NumPy arrays.
// Every check, refusal and figure is the run layer's, so that Python and varnak-tools
// refuse the same things in the same words and agree to the bit; the package only
// converts its arguments and wraps the values in result objects.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
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
#include "output/estimate_results.hpp"
#include "output/report_keys.hpp"
#include "output/result_formats.hpp"
#include "output/spectra_report.hpp"
#include "output/xml_results.hpp"
#include "runs/cuts_run.hpp"
#include "runs/estimate_run.hpp"
#include "runs/exact_run.hpp"
#include "runs/reliability_run.hpp"

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

// The reader's verdict as a tuple (code, line, message, instance), the message worded as
// varnak-tools words it.
py::tuple read_instance_file(const std::string& path) {
  NetworkInstance instance;
  InstanceRefusal refusal;
  const int code = read_instance(path, instance, refusal);
  const std::string message =
      code == kLoadOk ? std::string() : instance_refusal_message(path, code, refusal);
  return py::make_tuple(code, refusal.line, message, std::move(instance));
}

// A varnak.VarnakError naming `path` and, when one is to blame, its `line`.
// A path or a name made from one, as Python names files: bytes that are not UTF-8 become
// the surrogates os.fsencode turns back into them, where py::str would raise.
py::object file_system_text(const std::string& text) {
  return py::reinterpret_steal<py::object>(
      PyUnicode_DecodeFSDefaultAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

[[noreturn]] void raise_varnak_error(const std::string& message, const std::string& path,
                                     std::size_t line = 0) {
  const py::object error_type = py::module_::import("varnak.instance").attr("VarnakError");
  const py::object error =
      error_type(message, path.empty() ? py::object(py::none()) : file_system_text(path), line);
  PyErr_SetObject(error_type.ptr(), error.ptr());
  throw py::error_already_set();
}

// A run's refusal as Python raises it: a request that cannot run is a ValueError, an input
// that lets the run down a varnak.VarnakError naming `path`.
[[noreturn]] void raise_refusal(int code, const std::string& message, const std::string& path) {
  if (code == kExitUsage) {
    throw py::value_error(message);
  }
  raise_varnak_error(message, path);
}

// The instance a run reads: the package's own (`instance`, built from a file at `path` or
// from NetworkX) named `name` in reports.
InstanceSource instance_source(const NetworkInstance& instance, const std::string& path,
                               const std::string& name) {
  return InstanceSource{path, &instance, name};
}

TerminalRequest terminal_request(const std::optional<std::vector<std::int64_t>>& terminals,
                                 bool pairwise) {
  TerminalRequest request;
  request.ids = terminals;
  request.pairwise = pairwise;
  return request;
}

// Runs `run` with the interpreter released, Ctrl-C stopping what can stop, and raises its
// refusal. `path` is the file a failure blames.
void run_for_python(const std::function<int(const RunContext&, std::string&)>& run,
                    const std::string& path) {
  std::atomic<bool> stop{false};
  RunContext context;
  context.spelling = OptionSpelling::kKeyword;
  context.stop_requested = &stop;
  std::string message;
  int code = kExitSuccess;
  run_interruptibly([&]() { code = run(context, message); }, stop);
  if (code != kExitSuccess) {
    raise_refusal(code, message, path);
  }
}

// Shares of pairs as doubles, and their exact sums as Python integers (they pass 2^64).
py::list wide_counts(const std::vector<WideCount>& counts) {
  py::list values;
  for (const WideCount count : counts) {
    values.append(py::int_(py::str(wide_count_text(count))));
  }
  return values;
}

py::object text_or_none(const std::string& text) {
  return text.empty() ? py::object(py::none()) : file_system_text(text);
}

// The facts of a run under the report's keys; those that do not apply are None.
py::dict run_fields(const RunInfo& run) {
  namespace key = report_keys;
  py::dict fields;
  fields[key::kInstance] = text_or_none(run.instance_name);
  fields[key::kMethod] = run.method;
  fields[key::kResultsFile] = text_or_none(run.results_file);
  fields[key::kSrlgCount] = run.srlg_count;
  for (const char* name : {key::kSampleSize, key::kSeed, key::kSeedDrawn, key::kThreads}) {
    fields[name] = py::none();
  }
  if (run.sampled) {
    fields[key::kSampleSize] = run.sample_size;
    fields[key::kSeed] = run.seed;
    fields[key::kSeedDrawn] = run.seed_drawn;
    fields[key::kThreads] = run.thread_count;
  }
  fields[key::kTerminals] = run.terminals;
  fields[key::kFreeEdgesConnect] = run.free_edges_connect;
  // NaN: a report read back that does not tell its time.
  fields[key::kElapsedSeconds] = std::isnan(run.elapsed_seconds)
                                     ? py::object(py::none())
                                     : py::object(py::float_(run.elapsed_seconds));
  fields[key::kExactMethod] = text_or_none(run.exact_method);
  for (const char* name : {key::kFrontierWidth, key::kRememberedSrlgs, key::kDiagramNodes}) {
    fields[name] = py::none();
  }
  if (run.exact_method == "diagram") {
    fields[key::kFrontierWidth] = run.diagram.frontier_width;
    fields[key::kRememberedSrlgs] = run.diagram.most_remembered;
    fields[key::kDiagramNodes] = run.diagram.nodes;
  }
  return fields;
}

// An estimate's counts and pair counts under the report's keys.
void add_counts(const SpectraCounts& counts, py::dict& values) {
  namespace key = report_keys;
  const auto width = static_cast<py::ssize_t>(counts.srlg_count);
  values[key::kConnected] = py::array_t<std::int64_t>(width, counts.connected.data());
  values[key::kConnectedWith] = to_array(counts.connected_with, width, width);
  if (!counts.critical.empty()) {
    values[key::kCritical] = to_array(counts.critical, width, width);
  }
  if (!counts.connected_pairs.empty()) {
    SpectraVector shares;
    pairwise_of(counts, shares);
    values[key::kPairwise] = to_array(shares);
    values[key::kConnectedPairs] = wide_counts(counts.connected_pairs);
    values[key::kTerminalPairs] = counts.terminal_pairs;
  }
}

py::dict estimate_from_python(const NetworkInstance& instance, const std::string& path,
                              const std::string& name, std::optional<std::int64_t> sample_size,
                              std::optional<std::int64_t> seed, std::optional<std::int64_t> threads,
                              const std::optional<std::vector<std::int64_t>>& terminals,
                              bool pairwise, const std::optional<std::string>& outpath) {
  EstimateRequest request;
  request.instance = instance_source(instance, path, name);
  request.sampling = {sample_size, seed, threads};
  request.terminals = terminal_request(terminals, pairwise);
  request.outpath = outpath;
  EstimateReport report;
  std::string unwritten;
  run_for_python(
      [&](const RunContext& context, std::string& message) {
        const int code = run_estimate(request, context, report, message);
        // A result file that could not be written loses nothing: the results are handed
        // back with the message.
        if (code == kExitFailure && report.counts.sample_size > 0) {
          unwritten = message;
          return kExitSuccess;
        }
        return code;
      },
      path);
  py::dict values = run_fields(report.run);
  add_counts(report.counts, values);
  if (pairwise) {
    values[report_keys::kPairwiseNoneUp] = report.pairwise_none_up;
  }
  values["unwritten"] = text_or_none(unwritten);
  return values;
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

// An exact report's run and spectra under the report's keys.
py::dict exact_values(const ExactReport& report) {
  namespace key = report_keys;
  const ExactSpectra& spectra = report.exact;
  const auto width = static_cast<py::ssize_t>(spectra.srlg_count);
  const py::object numpy = py::module_::import("numpy");
  py::object with = numpy.attr("empty")(py::make_tuple(width, width), "object");
  for (py::ssize_t s = 0; s < width; ++s) {
    with[py::int_(s)] =
        counts_to_array(spectra.connected_subsets_with[static_cast<std::size_t>(s)]);
  }
  py::dict values = run_fields(report.run);
  values[key::kSpectrum] = to_array(spectra.spectrum);
  values[key::kBimSpectra] = rows_to_array(spectra.bim_spectra);
  values[key::kConnected] = counts_to_array(spectra.connected_subsets);
  values[key::kSubsets] = counts_to_array(spectra.subsets);
  values[key::kConnectedWith] = std::move(with);
  if (spectra.pairwise) {
    values[key::kPairwise] = to_array(spectra.pairwise_shares);
    values[key::kPairwiseNoneUp] = spectra.pairwise_none_up;
    values[key::kConnectedPairs] = wide_counts(spectra.connected_pairs);
    values[key::kTerminalPairs] = spectra.terminal_pairs;
  }
  return values;
}

py::dict exact_from_python(const NetworkInstance& instance, const std::string& path,
                           const std::string& name, const std::optional<std::string>& method,
                           const std::optional<std::string>& max_memory,
                           const std::optional<std::vector<std::int64_t>>& terminals,
                           bool pairwise) {
  ExactRequest request;
  request.instance = instance_source(instance, path, name);
  request.options = {method, max_memory};
  request.terminals = terminal_request(terminals, pairwise);
  ExactReport report;
  run_for_python([&](const RunContext& context,
                     std::string& message) { return run_exact(request, context, report, message); },
                 path);
  return exact_values(report);
}

py::dict cuts_from_python(const NetworkInstance& instance, const std::string& path,
                          const std::string& name, std::optional<std::int64_t> max_size,
                          const std::optional<std::vector<std::int64_t>>& terminals) {
  namespace key = report_keys;
  CutsRequest request;
  request.instance = instance_source(instance, path, name);
  request.max_size = max_size;
  request.terminals = terminal_request(terminals, false);
  CutsReport report;
  run_for_python([&](const RunContext& context,
                     std::string& message) { return run_cuts(request, context, report, message); },
                 path);
  py::list sets;
  for (const MinimalCutSet& set : report.cuts.sets) {
    py::dict entry;
    entry[key::kSrlgs] = set.srlgs;
    entry[key::kCutOff] = set.cut_off;
    sets.append(std::move(entry));
  }
  py::dict values = run_fields(report.run);
  values[key::kMaxSize] = report.cuts.max_size;
  values[key::kSetsChecked] = report.cuts.sets_checked;
  values[key::kCountBySize] = py::array_t<std::uint64_t>(
      static_cast<py::ssize_t>(report.cuts.count_by_size.size()), report.cuts.count_by_size.data());
  values[key::kCutSets] = std::move(sets);
  return values;
}

// The facts of held spectra, as a result object of the package keeps them.
RunInfo held_run(const std::string& method, const std::string& instance_name,
                 const std::string& results_file, const std::vector<std::int32_t>& terminals,
                 bool free_edges_connect) {
  RunInfo run;
  run.method = method;
  run.instance_name = instance_name;
  run.results_file = results_file;
  run.terminals = terminals;
  run.free_edges_connect = free_edges_connect;
  return run;
}

// An estimate's counts, held for a reliability run; checked there as a report's counts are.
HeldSpectra held_estimate(
    const py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>& connected,
    const py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>& connected_with,
    std::int64_t sample_size, std::int64_t seed, bool seed_drawn, std::int64_t threads,
    bool free_edges_connect, const std::string& instance_name, const std::string& results_file,
    const std::vector<std::int32_t>& terminals, const std::vector<std::string>& connected_pairs,
    std::uint64_t terminal_pairs, double pairwise_none_up,
    const std::optional<py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>>&
        critical) {
  const py::ssize_t width = connected.ndim() == 1 ? connected.shape(0) : -1;
  if (width < 0 || connected_with.ndim() != 2 || connected_with.shape(0) != width ||
      connected_with.shape(1) != width) {
    throw py::value_error(
        "connected_with must be a square table with one row per entry of connected");
  }
  if (sample_size < 1 || sample_size > 2147483647) {
    throw py::value_error("N is " + std::to_string(sample_size) +
                          "; expected a sample size from 1 to 2147483647");
  }
  HeldSpectra held;
  held.run = held_run("estimate", instance_name, results_file, terminals, free_edges_connect);
  held.run.sampled = true;
  held.run.sample_size = static_cast<std::int32_t>(sample_size);
  held.run.seed = static_cast<std::int32_t>(seed);
  held.run.seed_drawn = seed_drawn;
  held.run.thread_count = static_cast<int>(threads);
  held.run.srlg_count = static_cast<std::int32_t>(width);
  SpectraCounts& counts = held.counts;
  counts.srlg_count = static_cast<std::int32_t>(width);
  counts.sample_size = static_cast<std::int32_t>(sample_size);
  counts.connected.assign(connected.data(), connected.data() + width);
  for (py::ssize_t i = 0; i < width * width; ++i) {
    const std::int64_t count = connected_with.data()[i];
    if (count < 0 || count > sample_size) {
      throw py::value_error("connected_with holds " + std::to_string(count) +
                            "; expected counts from 0 to N");
    }
    counts.connected_with.push_back(static_cast<std::int32_t>(count));
  }
  if (critical) {
    if (critical->ndim() != 2 || critical->shape(0) != width || critical->shape(1) != width) {
      throw py::value_error("critical must be a square table with one row per entry of connected");
    }
    for (py::ssize_t i = 0; i < width * width; ++i) {
      const std::int64_t count = critical->data()[i];
      if (count < 0 || count > sample_size) {
        throw py::value_error("critical holds " + std::to_string(count) +
                              "; expected counts from 0 to N");
      }
      counts.critical.push_back(static_cast<std::int32_t>(count));
    }
  }
  for (const std::string& text : connected_pairs) {
    WideCount count = 0;
    if (!read_wide_count(text, count)) {
      throw py::value_error("connected_pairs holds " + text + "; expected whole numbers");
    }
    counts.connected_pairs.push_back(count);
  }
  counts.terminal_pairs = connected_pairs.empty() ? 0 : terminal_pairs;
  held.pairwise = !connected_pairs.empty();
  held.pairwise_none_up = pairwise_none_up;
  return held;
}

// Spectra known by their values alone: exact ones, or an XML file's (method "xml"). Exact
// ones found by the decision diagram keep its figures, for the report.
HeldSpectra held_values(
    const std::string& method, const std::vector<double>& spectrum,
    const py::array_t<double, py::array::c_style | py::array::forcecast>& bim_spectra,
    bool free_edges_connect, const std::string& instance_name, const std::string& results_file,
    const std::vector<std::int32_t>& terminals, const std::optional<std::vector<double>>& pairwise,
    double pairwise_none_up, const std::string& exact_method, std::int32_t frontier_width,
    std::int32_t remembered_srlgs, std::uint64_t diagram_nodes,
    const std::optional<std::vector<std::string>>& connected,
    const std::optional<std::vector<std::vector<std::string>>>& connected_with) {
  HeldSpectra held;
  // Python's whole numbers of any size arrive as their decimal digits.
  const auto count_of = [](const std::string& digits) {
    if (digits.empty() || digits.size() > 4096 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      throw py::value_error("a subset count is \"" + printable(digits) +
                            "\"; expected a whole number");
    }
    return ExactCount(digits);
  };
  if (connected && connected_with) {
    for (const std::string& digits : *connected) {
      held.exact_connected.push_back(count_of(digits));
    }
    for (const std::vector<std::string>& row : *connected_with) {
      std::vector<ExactCount>& counts = held.exact_connected_with.emplace_back();
      for (const std::string& digits : row) {
        counts.push_back(count_of(digits));
      }
    }
  }
  held.run = held_run(method, instance_name, results_file, terminals, free_edges_connect);
  held.run.exact_method = exact_method;
  held.run.diagram.frontier_width = frontier_width;
  held.run.diagram.most_remembered = remembered_srlgs;
  held.run.diagram.nodes = diagram_nodes;
  held.spectrum = spectrum;
  held.bim_spectra = array_to_rows(bim_spectra, spectrum.size());
  held.pairwise = pairwise.has_value();
  held.pairwise_shares = pairwise.value_or(std::vector<double>{});
  held.pairwise_none_up = pairwise_none_up;
  return held;
}

// The points of a curve as columns: p, R, R_low, R_high, unreliability.
py::dict point_columns(const std::vector<ReliabilityPoint>& points) {
  namespace key = report_keys;
  std::vector<double> p;
  std::vector<double> reliability;
  std::vector<double> low;
  std::vector<double> high;
  std::vector<double> unreliability;
  for (const ReliabilityPoint& point : points) {
    p.push_back(point.p);
    reliability.push_back(point.reliability);
    low.push_back(point.interval.low);
    high.push_back(point.interval.high);
    unreliability.push_back(point.unreliability);
  }
  py::dict columns;
  columns[key::kP] = to_array(p);
  columns[key::kR] = to_array(reliability);
  columns[key::kRLow] = to_array(low);
  columns[key::kRHigh] = to_array(high);
  columns[key::kUnreliability] = to_array(unreliability);
  return columns;
}

// The ranking as columns, most important first.
py::dict ranking_columns(const std::vector<SrlgImportance>& ranking) {
  namespace key = report_keys;
  std::vector<std::int32_t> ranks;
  std::vector<std::int32_t> ids;
  std::vector<double> importance;
  std::vector<double> low;
  std::vector<double> high;
  std::vector<double> up;
  std::vector<double> down;
  const auto count = static_cast<py::ssize_t>(ranking.size());
  py::array_t<bool> resolved(count);
  py::list tie_groups;
  for (std::size_t i = 0; i < ranking.size(); ++i) {
    const SrlgImportance& entry = ranking[i];
    ranks.push_back(static_cast<std::int32_t>(i + 1));
    ids.push_back(entry.srlg);
    importance.push_back(entry.importance);
    low.push_back(entry.interval.low);
    high.push_back(entry.interval.high);
    resolved.mutable_at(static_cast<py::ssize_t>(i)) = entry.resolved;
    tie_groups.append(entry.tie_group > 0 ? py::object(py::int_(entry.tie_group))
                                          : py::object(py::none()));
    up.push_back(entry.reliability_up);
    down.push_back(entry.reliability_down);
  }
  py::dict columns;
  columns[key::kRank] = py::array_t<std::int32_t>(count, ranks.data());
  columns[key::kSrlg] = py::array_t<std::int32_t>(count, ids.data());
  columns[key::kImportance] = to_array(importance);
  columns[key::kImportanceLow] = to_array(low);
  columns[key::kImportanceHigh] = to_array(high);
  columns[key::kResolved] = std::move(resolved);
  // None where an SRLG ties with none, as JSON's null.
  columns[key::kTieGroup] = py::module_::import("numpy").attr("array")(tie_groups, "object");
  columns[key::kRUp] = to_array(up);
  columns[key::kRDown] = to_array(down);
  return columns;
}

// The source of a reliability run: an instance (with `instance`), a held result, or a
// Varnak XML file or an estimate's report at `path`.
py::dict reliability_from_python(
    const NetworkInstance* instance, const HeldSpectra* held, const std::string& path,
    const std::string& name, const std::string& file_kind, bool exact,
    std::optional<std::int64_t> sample_size, std::optional<std::int64_t> seed,
    std::optional<std::int64_t> threads, const std::optional<std::string>& free_connected,
    const std::optional<std::string>& method, const std::optional<std::string>& max_memory,
    const std::optional<std::vector<std::int64_t>>& terminals, bool pairwise,
    const std::optional<std::vector<std::string>>& p, std::optional<std::int64_t> grid,
    const std::optional<std::string>& rank_at, std::optional<std::int64_t> top,
    const std::optional<std::string>& tail_exact, std::optional<double> rel_error,
    std::optional<std::int64_t> max_sample_size,
    const std::optional<std::string>& srlg_probabilities) {
  namespace key = report_keys;
  ReliabilityRequest request;
  if (instance != nullptr) {
    request.graph = instance_source(*instance, path, name);
  } else if (held != nullptr) {
    request.held = held;
  } else if (file_kind == "xml") {
    request.xml_path = path;
  } else {
    request.results_path = path;
  }
  request.exact = exact;
  request.sampling = {sample_size, seed, threads};
  request.free_connected = free_connected;
  request.exact_options = {method, max_memory};
  request.terminals = terminal_request(terminals, pairwise);
  request.p = p;
  request.grid = grid;
  request.rank_at = rank_at;
  request.top = top;
  request.tail_exact = tail_exact;
  request.rel_error = rel_error;
  request.max_sample_size = max_sample_size;
  request.srlg_probabilities = srlg_probabilities;
  ReliabilityReport report;
  run_for_python(
      [&](const RunContext& context, std::string& message) {
        return run_reliability(request, context, report, message);
      },
      path);
  py::dict values = run_fields(report.run);
  values[key::kSrlgProbabilities] = text_or_none(report.srlg_probabilities);
  values[key::kRelError] =
      report.relative_error > 0.0 ? py::object(py::float_(report.relative_error)) : py::none();
  values[key::kStopReason] = text_or_none(report.stop_reason);
  values[key::kExactTailDepth] =
      report.exact_tail_depth >= 0 ? py::object(py::int_(report.exact_tail_depth)) : py::none();
  values[key::kConnected] =
      report.connected.empty()
          ? py::object(py::none())
          : py::object(py::array_t<std::int64_t>(static_cast<py::ssize_t>(report.connected.size()),
                                                 report.connected.data()));
  values["has_intervals"] = report.has_intervals;
  values[key::kReliability] = point_columns(report.curve);
  if (!report.pairwise.empty()) {
    values[key::kPairwise] = to_array(report.pairwise);
  }
  if (report.ranked) {
    py::dict ranking = point_columns({report.rank_at});
    for (auto item : ranking_columns(report.ranking)) {
      ranking[item.first] = item.second;
    }
    values[key::kImportance] = std::move(ranking);
  }
  return values;
}

// What an estimate's report gives beside its counts, made by varnak-tools' own
// add_confidence: values count / N, Wilson intervals from the counts, the DKW band. The
// counts are first checked as a report's counts are, so that counts no run can give are
// refused however they reach the package.
py::dict estimate_figures(const HeldSpectra& held) {
  std::string failure;
  if (check_estimate_counts(held.run, held.counts, failure) != 0) {
    throw py::value_error(failure);
  }
  EstimateReport report;
  report.counts = held.counts;
  add_confidence(report);
  const SpectraSummary spectra = summary_of_counts(held.counts, held.run.free_edges_connect);
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
  figures[report_keys::kSpectrum] = to_array(report.spectrum);
  figures[report_keys::kBimSpectra] = rows_to_array(spectra.bim_spectra);
  figures[report_keys::kWilsonLow] = to_array(wilson_low);
  figures[report_keys::kWilsonHigh] = to_array(wilson_high);
  figures[report_keys::kBandHalfWidth] = report.band_half_width;
  figures[report_keys::kBandLow] = to_array(band_low);
  figures[report_keys::kBandHigh] = to_array(band_high);
  if (!report.pairwise.empty()) {
    std::vector<double> pairwise_low;
    std::vector<double> pairwise_high;
    for (const Interval& interval : report.pairwise_wilson) {
      pairwise_low.push_back(interval.low);
      pairwise_high.push_back(interval.high);
    }
    figures[report_keys::kPairwise] = to_array(report.pairwise);
    figures[report_keys::kPairwiseLow] = to_array(pairwise_low);
    figures[report_keys::kPairwiseHigh] = to_array(pairwise_high);
  }
  return figures;
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

// An estimate's JSON or CSV report or an exact JSON report, read and checked by varnak-tools
// reliability --results' own reader, so that both refuse the same files with the same
// messages; a refusal is a VarnakError. "command" tells which report it was.
py::dict read_spectra_file(const std::string& path) {
  namespace key = report_keys;
  SpectraReport read;
  std::string failure;
  if (read_spectra_report(path, read, failure) != 0) {
    // The reader's message starts "FILE line N: " when a line is to blame.
    const std::string head = printable(path) + " line ";
    std::size_t line = 0;
    if (failure.starts_with(head)) {
      std::from_chars(failure.data() + head.size(), failure.data() + failure.size(), line);
    }
    raise_varnak_error(failure, path, line);
  }
  if (read.exact) {
    py::dict report = exact_values(read.exact_report);
    report[key::kCommand] = key::kExactCommand;
    return report;
  }
  const EstimateResults& results = read.estimate;
  py::dict report = run_fields(results.run);
  report[key::kCommand] = key::kEstimateCommand;
  add_counts(results.counts, report);
  if (!results.counts.connected_pairs.empty()) {
    report[key::kPairwiseNoneUp] = results.pairwise_none_up;
  }
  return report;
}

}  // namespace
}  // namespace varnak

PYBIND11_MODULE(_varnak, module) {
  using namespace varnak;
  module.doc() =
      "Varnak's C++ library: instance files and the runs of varnak-tools' commands, "
      "estimate, exact, reliability and cuts";

  py::class_<NetworkInstance>(module, "NetworkInstance")
      .def_readonly("vertex_count", &NetworkInstance::vertex_count)
      .def_readonly("edge_count", &NetworkInstance::edge_count)
      .def_readonly("srlg_count", &NetworkInstance::srlg_count)
      .def_readonly("edges", &NetworkInstance::edges)
      .def_readonly("srlgs", &NetworkInstance::srlgs);
  py::class_<HeldSpectra>(module, "HeldSpectra",
                          "A result's spectra, held for a reliability run or for figures");

  module.attr("LOAD_OK") = kLoadOk;
  module.attr("CONFIDENCE_LEVEL") = 1.0 - kBandAlpha;
  module.attr("MAX_EXACT_SRLGS") = kMaxExactSrlgs;
  py::dict keys;
  for (const auto& [python_name, key] : report_keys::kByPythonName) {
    keys[python_name] = key;
  }
  module.attr("REPORT_KEYS") = keys;

  module.def("read_instance", &read_instance_file, py::arg("path"));
  module.def("make_instance", &make_instance, py::arg("vertex_count"), py::arg("edge_count"),
             py::arg("srlg_count"), py::arg("edges"), py::arg("srlgs"));
  module.def("printable", &printable, py::arg("text"));
  module.def("free_edges_connect", &free_edges_connect, py::arg("instance"));
  module.def("estimate", &estimate_from_python, py::arg("instance"), py::arg("path"),
             py::arg("name"), py::arg("n"), py::arg("seed"), py::arg("threads"),
             py::arg("terminals"), py::arg("pairwise"), py::arg("outpath"));
  module.def("exact", &exact_from_python, py::arg("instance"), py::arg("path"), py::arg("name"),
             py::arg("method"), py::arg("max_memory"), py::arg("terminals"), py::arg("pairwise"));
  module.def("cuts", &cuts_from_python, py::arg("instance"), py::arg("path"), py::arg("name"),
             py::arg("max_size"), py::arg("terminals"));
  module.def("reliability", &reliability_from_python, py::arg("instance"), py::arg("held"),
             py::arg("path"), py::arg("name"), py::arg("file_kind"), py::arg("exact"), py::arg("n"),
             py::arg("seed"), py::arg("threads"), py::arg("free_connected"), py::arg("method"),
             py::arg("max_memory"), py::arg("terminals"), py::arg("pairwise"), py::arg("p"),
             py::arg("grid"), py::arg("rank_at"), py::arg("top"), py::arg("tail_exact"),
             py::arg("rel_error"), py::arg("max_n"), py::arg("srlg_p"));
  module.def("held_estimate", &held_estimate, py::arg("connected"), py::arg("connected_with"),
             py::arg("n"), py::arg("seed"), py::arg("seed_drawn"), py::arg("threads"),
             py::arg("free_edges_connect"), py::arg("instance"), py::arg("results_file"),
             py::arg("terminals"), py::arg("connected_pairs"), py::arg("terminal_pairs"),
             py::arg("pairwise_none_up"), py::arg("critical") = py::none());
  module.def("held_values", &held_values, py::arg("method"), py::arg("spectrum"),
             py::arg("bim_spectra"), py::arg("free_edges_connect"), py::arg("instance"),
             py::arg("results_file"), py::arg("terminals"), py::arg("pairwise"),
             py::arg("pairwise_none_up"), py::arg("exact_method"), py::arg("frontier_width") = 0,
             py::arg("remembered_srlgs") = 0, py::arg("diagram_nodes") = 0,
             py::arg("connected") = py::none(), py::arg("connected_with") = py::none());
  module.def("estimate_figures", &estimate_figures, py::arg("held"));
  module.def("read_xml_results", &read_xml_file, py::arg("path"));
  module.def("read_spectra_report", &read_spectra_file, py::arg("path"));
}
