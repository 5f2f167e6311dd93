// The Python module _varnak: plain functions over the library's records. NumPy arrays go
// out, plain Python values come in; everything else (names, result objects, NetworkX,
// files other than instance files) is the Python package's.
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
#include "analysis/exact_spectra.hpp"
#include "analysis/reliability.hpp"
#include "common/printable.hpp"
#include "estimation/memory_check.hpp"
#include "estimation/spectra_estimator.hpp"
#include "instance/instance_reader.hpp"
#include "instance/network_instance.hpp"
#include "instance/terminal_set.hpp"
#include "output/xml_results.hpp"

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

  SpectraVector spectrum;
  spectrum_of(counts, spectrum);
  const auto width = static_cast<py::ssize_t>(counts.srlg_count);
  py::array_t<double> bim_spectra({width, width});
  const BimRowSource rows = bim_rows_of(counts);
  SpectraVector row;
  auto cells = bim_spectra.mutable_unchecked<2>();
  for (py::ssize_t s = 0; s < width; ++s) {
    rows(static_cast<std::size_t>(s), row);
    for (py::ssize_t j = 0; j < width; ++j) {
      cells(s, j) = row[static_cast<std::size_t>(j)];
    }
  }
  py::dict result;
  result["spectrum"] = to_array(spectrum);
  result["bim_spectra"] = std::move(bim_spectra);
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

py::dict exact(const NetworkInstance& instance, const std::vector<std::int32_t>& terminals,
               bool pairwise) {
  ExactSpectra spectra;
  std::string failure;
  int code = 0;
  std::atomic<bool> stop{false};  // the enumeration has no way to stop early: it is waited for
  const auto start = std::chrono::steady_clock::now();
  run_interruptibly(
      [&]() {
        code = compute_exact_spectra(instance, spectra, failure, {terminals, pairwise});
      },
      stop);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (code != 0) {
    throw std::runtime_error(failure);
  }
  const auto width = static_cast<py::ssize_t>(spectra.srlg_count);
  py::array_t<std::uint64_t> with({width, width});
  auto cells = with.mutable_unchecked<2>();
  for (py::ssize_t s = 0; s < width; ++s) {
    for (py::ssize_t j = 0; j < width; ++j) {
      cells(s, j) =
          spectra.connected_subsets_with[static_cast<std::size_t>(s)][static_cast<std::size_t>(j)];
    }
  }
  py::dict result;
  result["free_edges_connect"] = spectra.free_edges_connect;
  result["spectrum"] = to_array(spectra.spectrum);
  result["bim_spectra"] = rows_to_array(spectra.bim_spectra);
  result["connected_subsets"] = py::array_t<std::uint64_t>(width, spectra.connected_subsets.data());
  result["subsets"] = py::array_t<std::uint64_t>(width, spectra.subsets.data());
  result["connected_subsets_with"] = std::move(with);
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

SpectraSummary summary_of(
    const std::vector<double>& spectrum,
    const py::array_t<double, py::array::c_style | py::array::forcecast>& bim_spectra,
    bool free_edges_connect) {
  SpectraSummary summary;
  summary.srlg_count = static_cast<std::int32_t>(spectrum.size());
  summary.none_up = free_edges_connect ? 1.0 : 0.0;
  summary.spectrum = spectrum;
  summary.bim_spectra = array_to_rows(bim_spectra, spectrum.size());
  return summary;
}

py::array_t<double> reliability_curve(
    const std::vector<double>& spectrum,
    const py::array_t<double, py::array::c_style | py::array::forcecast>& bim_spectra,
    bool free_edges_connect, const std::vector<double>& p_values) {
  const SpectraSummary summary = summary_of(spectrum, bim_spectra, free_edges_connect);
  std::vector<double> curve;
  curve.reserve(p_values.size());
  for (const double p : p_values) {
    curve.push_back(reliability(summary, p));
  }
  return to_array(curve);
}

// The SRLGs most important first, as four columns: ids, importance, R(p | up), R(p | down).
py::tuple importance_ranking(
    const std::vector<double>& spectrum,
    const py::array_t<double, py::array::c_style | py::array::forcecast>& bim_spectra,
    bool free_edges_connect, double p) {
  const SpectraSummary summary = summary_of(spectrum, bim_spectra, free_edges_connect);
  const std::vector<SrlgImportance> ranking = rank_by_importance(summary, p, 0);
  std::vector<std::int32_t> ids;
  std::vector<double> importance;
  std::vector<double> up;
  std::vector<double> down;
  for (const SrlgImportance& entry : ranking) {
    ids.push_back(entry.srlg);
    importance.push_back(entry.importance);
    up.push_back(entry.reliability_up);
    down.push_back(entry.reliability_down);
  }
  return py::make_tuple(py::array_t<std::int32_t>(static_cast<py::ssize_t>(ids.size()), ids.data()),
                        to_array(importance), to_array(up), to_array(down));
}

py::tuple wilson_intervals(const std::vector<double>& spectrum, std::int64_t trials) {
  std::vector<double> low;
  std::vector<double> high;
  for (const double value : spectrum) {
    const Interval interval = wilson_interval(value, trials);
    low.push_back(interval.low);
    high.push_back(interval.high);
  }
  return py::make_tuple(to_array(low), to_array(high));
}

py::tuple band(const std::vector<double>& spectrum, double half_width) {
  std::vector<double> low;
  std::vector<double> high;
  for (const double value : spectrum) {
    const Interval interval = band_around(value, half_width);
    low.push_back(interval.low);
    high.push_back(interval.high);
  }
  return py::make_tuple(to_array(low), to_array(high));
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

  module.attr("LOAD_OK") = kLoadOk;
  module.attr("LOAD_FAILED") = kLoadFailed;
  module.attr("LOAD_CANNOT_OPEN") = kLoadCannotOpen;
  module.attr("MAX_EXACT_SRLGS") = kMaxExactSrlgs;
  module.attr("CONFIDENCE_LEVEL") = 1.0 - kBandAlpha;

  module.def("read_instance", &read_instance_file, py::arg("path"));
  module.def("make_instance", &make_instance, py::arg("vertex_count"), py::arg("edge_count"),
             py::arg("srlg_count"), py::arg("edges"), py::arg("srlgs"));
  module.def("printable", &printable, py::arg("text"));
  module.def("free_edges_connect", &free_edges_connect, py::arg("instance"));
  module.def("check_terminals", &checked_terminals, py::arg("instance"), py::arg("ids"));
  module.def("free_edges_connect_terminals", &free_edges_connect_terminals, py::arg("instance"),
             py::arg("terminals"));
  module.def("free_pairs_share", &free_pairs_share, py::arg("instance"), py::arg("terminals"));
  module.def("estimate", &estimate, py::arg("instance"), py::arg("sample_size"), py::arg("seed"),
             py::arg("thread_count"), py::arg("terminals") = std::vector<std::int32_t>{},
             py::arg("pairwise") = false);
  module.def("exact", &exact, py::arg("instance"),
             py::arg("terminals") = std::vector<std::int32_t>{}, py::arg("pairwise") = false);
  module.def("pairwise_curve", &pairwise_curve, py::arg("none_up"), py::arg("shares"),
             py::arg("p_values"));
  module.def("reliability_curve", &reliability_curve, py::arg("spectrum"), py::arg("bim_spectra"),
             py::arg("free_edges_connect"), py::arg("p_values"));
  module.def("importance_ranking", &importance_ranking, py::arg("spectrum"), py::arg("bim_spectra"),
             py::arg("free_edges_connect"), py::arg("p"));
  module.def("wilson_intervals", &wilson_intervals, py::arg("spectrum"), py::arg("trials"));
  module.def(
      "dkw_half_width",
      [](std::int64_t samples, double alpha) { return dkw_half_width(samples, alpha); },
      py::arg("samples"), py::arg("alpha") = kBandAlpha);
  module.def("read_xml_results", &read_xml_file, py::arg("path"));
  module.def("band", &band, py::arg("spectrum"), py::arg("half_width"));
}
