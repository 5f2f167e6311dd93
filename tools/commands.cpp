#include "tools/commands.hpp"

#include <boost/program_options.hpp>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <new>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "estimation/spectra_estimator.hpp"
#include "instance/instance_reader.hpp"
#include "instance/memory_budget.hpp"
#include "output/xml_report.hpp"
#include "tools/exact_spectra.hpp"
#include "tools/progress.hpp"
#include "tools/reliability.hpp"
#include "tools/result_formats.hpp"
#include "tools/xml_results.hpp"

namespace varnak {
namespace {

namespace po = boost::program_options;

constexpr const char* kProgram = "varnak-tools";

// More threads than this is a typing error, not a machine.
constexpr int kMaxThreads = 1024;

// The estimate timed to foresee the whole run's length when a progress bar is drawn, and
// the shortest foreseen run worth a bar.
constexpr std::int32_t kCalibrationSamples = 1000;
constexpr double kShortestRunWithBar = 1.0;

constexpr std::int32_t kDefaultGridPoints = 11;
constexpr std::int32_t kDefaultTop = 10;

constexpr const char* kOverview =
    "Usage: varnak-tools COMMAND [options]\n"
    "\n"
    "Companion commands of Varnak for networks whose links fail in Shared Risk Link\n"
    "Groups (SRLGs). Results go to standard output, messages to standard error.\n"
    "\n"
    "Commands:\n"
    "  estimate     Monte Carlo spectra as Varnak computes them, on several threads,\n"
    "               with confidence intervals, as text, CSV or JSON\n"
    "  exact        the exact spectra, by enumerating SRLG subsets (up to 30 SRLGs)\n"
    "  reliability  R(p) when every SRLG is up with probability p, and the SRLGs\n"
    "               ranked by Birnbaum importance, from a graph or a Varnak XML file\n"
    "\n"
    "'varnak-tools COMMAND --help' explains a command.\n"
    "Exit codes: 0 success, 1 failure (input or files), 2 wrong command line.\n";

constexpr const char* kEstimateHelp =
    "Usage: varnak-tools estimate --graph FILE --N SAMPLES [options]\n"
    "\n"
    "Estimates the spectrum and the BIM spectra as Varnak does: for the same instance,\n"
    "sample size and seed the values are the same doubles, whatever the thread count.\n"
    "Without --seed a seed is drawn at random and reported, so the run can be repeated.\n"
    "\n"
    "For every spectrum entry a 95% Wilson score interval is given, and a 95% band\n"
    "that holds for the whole spectrum at once: the spectrum is the distribution\n"
    "function of the position at which a sample first connects, so the\n"
    "Dvoretzky-Kiefer-Wolfowitz inequality gives the half-width sqrt(ln(2/0.05)/(2N)).\n"
    "\n"
    "When standard error is a terminal, a bar shows the progress and the time left,\n"
    "foreseen from a short timed estimate of 1000 samples that is then discarded. The\n"
    "elapsed time reported covers loading and estimation, not that calibration.\n";

constexpr const char* kExactHelp =
    "Usage: varnak-tools exact --graph FILE [--format text|csv|json]\n"
    "\n"
    "Computes the spectrum and the BIM spectra exactly. The first k SRLGs of a\n"
    "uniformly random order are a uniformly random k-subset, so spectrum entry k is\n"
    "the share of k-subsets of SRLGs whose coming up connects the network, and BIM\n"
    "entry (s, k) the share of those that also hold SRLG s. The subsets are\n"
    "enumerated depth first; a branch stops as soon as it connects (all its\n"
    "completions connect too and are counted with binomial coefficients) or once it\n"
    "can no longer connect. Edges come up by the estimator's rules. Instances with\n"
    "more than 30 SRLGs are refused: use estimate for those.\n";

constexpr const char* kReliabilityHelp =
    "Usage: varnak-tools reliability (--xml FILE | --graph FILE (--exact | --N SAMPLES))\n"
    "                                [--p LIST]... [--grid POINTS] [--rank-at P] [options]\n"
    "\n"
    "With every SRLG up independently with probability p, the network is connected\n"
    "with probability\n"
    "  R(p) = sum over k = 0..S of C(S,k) p^k (1-p)^(S-k) y_k,\n"
    "y_k being the spectrum entry for k SRLGs up. y_0 is 1 when the edges in no SRLG\n"
    "connect the network by themselves, else 0. A graph tells this; a Varnak XML file\n"
    "does not (its spectrum starts at k = 1), so for --xml it is taken from\n"
    "--free-connected, 'no' by default.\n"
    "\n"
    "The Birnbaum importance of SRLG s is I_s(p) = R(p | s up) - R(p | s down), found\n"
    "from the BIM spectra z: P(connected | s up, k up) = z_{s,k} S / k and\n"
    "P(connected | s down, k up) = (y_k - z_{s,k}) S / (S - k). Estimated values are\n"
    "held to [0, 1]. Values from an XML file carry its six decimals only.\n"
    "\n"
    "R(p) is given at the --p values, or else on a grid of evenly spaced p from 0 to 1\n"
    "(11 points unless --grid says otherwise). --rank-at adds the SRLGs ranked by\n"
    "importance at that p.\n";

int usage_error(ToolsConsole& console, const std::string& command, const std::string& message) {
  console.err << kProgram << ' ' << command << ": " << message << "\nTry '" << kProgram << ' '
              << command << " --help'.\n";
  return kExitUsage;
}

int failure(ToolsConsole& console, const std::string& command, const std::string& message) {
  console.err << kProgram << ' ' << command << ": " << message << std::endl;
  return kExitFailure;
}

// Parses the options of one command. Returns -1 when the command goes on, or the exit
// code: 0 after --help, 2 after a command line that the option library rejects.
int parse_options(ToolsConsole& console, const std::string& command, const char* help,
                  po::options_description& options, const std::vector<std::string>& args,
                  po::variables_map& given) {
  options.add_options()("help,h", "explain this command");
  try {
    // No abbreviations: a shortened option would silently change meaning when another
    // option with the same start is added.
    const int style =
        po::command_line_style::default_style & ~po::command_line_style::allow_guessing;
    // An empty positional description makes any stray word an error instead of ignored.
    const po::positional_options_description no_positionals;
    po::store(po::command_line_parser(args)
                  .options(options)
                  .positional(no_positionals)
                  .style(style)
                  .run(),
              given);
    if (given.count("help") != 0) {
      console.out << help << '\n' << options;
      return kExitSuccess;
    }
    po::notify(given);
  } catch (const po::error& error) {
    return usage_error(console, command, error.what());
  }
  return -1;
}

bool read_probability(const std::string& text, double& probability) {
  if (text.empty()) {
    return false;
  }
  char* end = nullptr;
  probability = std::strtod(text.c_str(), &end);
  return *end == '\0' && probability >= 0.0 && probability <= 1.0;
}

// Reader messages start "Instance file line N: " or "Instance file: "; the file's own
// name takes the place of the words, so every message names file, line and value.
std::string with_file_name(const std::string& path, std::string message) {
  while (!message.empty() && message.back() == '\n') {
    message.pop_back();
  }
  const std::string with_line = "Instance file line ";
  const std::string without_line = "Instance file: ";
  if (message.compare(0, with_line.size(), with_line) == 0) {
    return path + " line " + message.substr(with_line.size());
  }
  if (message.compare(0, without_line.size(), without_line) == 0) {
    return path + ": " + message.substr(without_line.size());
  }
  return path + ": " + message;
}

std::string why_cannot_open(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::exists(path, error)) {
    return "no such file";
  }
  if (std::filesystem::is_directory(path, error)) {
    return "it is a directory";
  }
  return "it cannot be read";
}

int load_graph(ToolsConsole& console, const std::string& command, const std::string& path,
               NetworkInstance& instance) {
  std::ostringstream reader_messages;
  switch (load_instance(path, instance, reader_messages)) {
    case kLoadOk:
      return kExitSuccess;
    case kLoadCannotOpen:
      return failure(console, command,
                     "cannot open instance file " + path + ": " + why_cannot_open(path));
    default:
      if (reader_messages.str().empty()) {
        return failure(console, command, path + ": the instance could not be loaded");
      }
      return failure(console, command, with_file_name(path, reader_messages.str()));
  }
}

std::string file_name_of(const std::string& path) {
  const std::string name = std::filesystem::path(path).filename().string();
  return name.empty() ? path : name;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct EstimateSettings {
  std::int32_t sample_size = 0;
  std::int32_t seed = 0;
  bool seed_drawn = false;
  int thread_count = 1;
};

// Reads --N, --seed and --threads. Returns -1 to go on or the usage exit code.
int read_estimate_settings(ToolsConsole& console, const std::string& command,
                           const po::variables_map& given, EstimateSettings& settings) {
  settings.sample_size = given["N"].as<std::int32_t>();
  if (settings.sample_size < 1) {
    return usage_error(console, command,
                       "--N is " + std::to_string(settings.sample_size) +
                           "; expected a sample size from 1 to 2147483647");
  }
  settings.thread_count = given["threads"].as<int>();
  if (settings.thread_count < 1 || settings.thread_count > kMaxThreads) {
    return usage_error(console, command,
                       "--threads is " + std::to_string(settings.thread_count) +
                           "; expected a count from 1 to " + std::to_string(kMaxThreads));
  }
  if (given.count("seed") != 0) {
    settings.seed = given["seed"].as<std::int32_t>();
    if (settings.seed < 1) {
      return usage_error(console, command,
                         "--seed is " + std::to_string(settings.seed) +
                             "; expected a seed from 1 to 2147483647 (leave it out to draw one)");
    }
  } else {
    // Drawn here rather than inside the estimator so that it can be reported.
    std::random_device device;
    settings.seed = static_cast<std::int32_t>(1 + device() % 2147483647u);
    settings.seed_drawn = true;
  }
  return -1;
}

// The result tables and the estimator's scratch, checked before they are allocated so
// that a huge SRLGNUM ends in a message rather than in the allocator.
bool estimate_fits_in_memory(const NetworkInstance& instance, int thread_count,
                             std::string& message) {
  const double cells =
      static_cast<double>(instance.srlg_count) * static_cast<double>(instance.srlg_count);
  const double needed =
      cells * 8.0 + static_cast<double>(estimator_scratch_bytes(instance.srlg_count, thread_count));
  const double available = static_cast<double>(physical_memory_bytes());
  if (needed <= available) {
    return true;
  }
  message = std::to_string(instance.srlg_count) + " SRLGs need " + describe_bytes(needed) +
            " for the result tables, more than the " + describe_bytes(available) +
            " of this machine";
  return false;
}

BimSpectraMatrix zero_matrix(std::int32_t srlg_count) {
  const std::size_t n = static_cast<std::size_t>(srlg_count);
  return BimSpectraMatrix(n, SpectraVector(n, 0.0));
}

// Runs the estimator and returns the seconds it took, a bar drawn meanwhile on a terminal.
double run_estimation(ToolsConsole& console, const NetworkInstance& instance,
                      const EstimateSettings& settings, SpectraVector& spectrum,
                      BimSpectraMatrix& bim_spectra) {
  const auto estimate = [&]() {
    estimate_spectra_threaded(spectrum, bim_spectra, settings.sample_size, settings.seed, instance,
                              settings.thread_count);
  };
  if (console.err_is_terminal && settings.sample_size > kCalibrationSamples) {
    double predicted = 0.0;
    {
      SpectraVector scratch_spectrum(spectrum.size(), 0.0);
      BimSpectraMatrix scratch_bim = zero_matrix(instance.srlg_count);
      const auto start = std::chrono::steady_clock::now();
      estimate_spectra_threaded(scratch_spectrum, scratch_bim, kCalibrationSamples, settings.seed,
                                instance, settings.thread_count);
      predicted = seconds_since(start) * settings.sample_size / kCalibrationSamples;
    }
    if (predicted >= kShortestRunWithBar) {
      const auto start = std::chrono::steady_clock::now();
      run_with_progress(estimate, predicted, console.err);
      return seconds_since(start);
    }
  }
  const auto start = std::chrono::steady_clock::now();
  estimate();
  return seconds_since(start);
}

void add_estimate_options(po::options_description& options) {
  options.add_options()("N", po::value<std::int32_t>()->required(), "sample size (required)")(
      "seed", po::value<std::int32_t>(), "seed from 1 to 2147483647 (default: drawn and shown)")(
      "threads", po::value<int>()->default_value(1), "threads that evaluate samples");
}

void add_format_option(po::options_description& options) {
  options.add_options()("format", po::value<std::string>()->default_value("text"),
                        "text, csv or json");
}

int read_format(ToolsConsole& console, const std::string& command, const po::variables_map& given,
                OutputFormat& format) {
  const std::string name = given["format"].as<std::string>();
  if (!parse_output_format(name, format)) {
    return usage_error(console, command,
                       "--format is \"" + name + "\"; expected text, csv or json");
  }
  return -1;
}

int run_estimate_command(ToolsConsole& console, const std::vector<std::string>& args) {
  const std::string command = "estimate";
  po::options_description options("Options");
  options.add_options()("graph", po::value<std::string>()->required(), "instance file (required)");
  add_estimate_options(options);
  options.add_options()("outpath", po::value<std::string>(),
                        "also write Varnak's XML result file here");
  add_format_option(options);
  po::variables_map given;
  if (const int code = parse_options(console, command, kEstimateHelp, options, args, given);
      code >= 0) {
    return code;
  }
  EstimateSettings settings;
  OutputFormat format = OutputFormat::kText;
  if (const int code = read_estimate_settings(console, command, given, settings); code >= 0) {
    return code;
  }
  if (const int code = read_format(console, command, given, format); code >= 0) {
    return code;
  }

  const std::string graph = given["graph"].as<std::string>();
  const auto load_start = std::chrono::steady_clock::now();
  NetworkInstance instance;
  if (load_graph(console, command, graph, instance) != kExitSuccess) {
    return kExitFailure;
  }
  const double load_seconds = seconds_since(load_start);
  std::string message;
  if (!estimate_fits_in_memory(instance, settings.thread_count, message)) {
    return failure(console, command, graph + ": " + message);
  }

  EstimateReport report;
  report.instance_name = file_name_of(graph);
  report.sample_size = settings.sample_size;
  report.seed = settings.seed;
  report.seed_drawn = settings.seed_drawn;
  report.thread_count = settings.thread_count;
  report.spectrum.assign(static_cast<std::size_t>(instance.srlg_count), 0.0);
  report.bim_spectra = zero_matrix(instance.srlg_count);
  report.elapsed_seconds = load_seconds + run_estimation(console, instance, settings,
                                                         report.spectrum, report.bim_spectra);
  add_confidence(report);

  std::string write_failure;
  const int written =
      given.count("outpath") == 0
          ? 0
          : write_xml_report(given["outpath"].as<std::string>(), report.spectrum,
                             report.bim_spectra, report.elapsed_seconds, write_failure);
  // The results come first and in full, so that a file that could not be written loses
  // nothing.
  write_estimate_report(console.out, report, format);
  console.out.flush();
  if (written != 0) {
    return failure(console, command, write_failure);
  }
  return kExitSuccess;
}

int run_exact_command(ToolsConsole& console, const std::vector<std::string>& args) {
  const std::string command = "exact";
  po::options_description options("Options");
  options.add_options()("graph", po::value<std::string>()->required(), "instance file (required)");
  add_format_option(options);
  po::variables_map given;
  if (const int code = parse_options(console, command, kExactHelp, options, args, given);
      code >= 0) {
    return code;
  }
  OutputFormat format = OutputFormat::kText;
  if (const int code = read_format(console, command, given, format); code >= 0) {
    return code;
  }
  const std::string graph = given["graph"].as<std::string>();
  const auto start = std::chrono::steady_clock::now();
  NetworkInstance instance;
  if (load_graph(console, command, graph, instance) != kExitSuccess) {
    return kExitFailure;
  }
  ExactReport report;
  report.instance_name = file_name_of(graph);
  std::string message;
  if (compute_exact_spectra(instance, report.exact, message) != 0) {
    return failure(console, command, graph + ": " + message);
  }
  report.elapsed_seconds = seconds_since(start);
  write_exact_report(console.out, report, format);
  console.out.flush();
  return kExitSuccess;
}

// The p values of --p (each a value or a comma list) or else of the grid.
int read_p_values(ToolsConsole& console, const std::string& command, const po::variables_map& given,
                  std::vector<double>& p_values) {
  if (given.count("p") != 0 && given.count("grid") != 0) {
    return usage_error(console, command, "give --p or --grid, not both");
  }
  if (given.count("p") != 0) {
    for (const std::string& list : given["p"].as<std::vector<std::string>>()) {
      std::size_t start = 0;
      for (;;) {
        const std::size_t comma = list.find(',', start);
        const std::string text = list.substr(start, comma - start);
        double p = 0.0;
        if (!read_probability(text, p)) {
          return usage_error(console, command,
                             "--p value \"" + text +
                                 "\" is not a probability; expected a "
                                 "number from 0 to 1");
        }
        p_values.push_back(p);
        if (comma == std::string::npos) {
          break;
        }
        start = comma + 1;
      }
    }
    return -1;
  }
  const std::int32_t points =
      given.count("grid") != 0 ? given["grid"].as<std::int32_t>() : kDefaultGridPoints;
  if (points < 2 || points > 1000000) {
    return usage_error(
        console, command,
        "--grid is " + std::to_string(points) + "; expected a number of points from 2 to 1000000");
  }
  for (std::int32_t i = 0; i < points; ++i) {
    p_values.push_back(static_cast<double>(i) / (points - 1));
  }
  return -1;
}

// Where the spectra come from, as the command line says.
struct ReliabilitySource {
  std::string xml_path;
  std::string graph_path;
  bool exact = false;
  bool free_connected = false;
  EstimateSettings settings;
};

int read_reliability_source(ToolsConsole& console, const std::string& command,
                            const po::variables_map& given, ReliabilitySource& source) {
  const bool from_xml = given.count("xml") != 0;
  const bool from_graph = given.count("graph") != 0;
  const bool estimated = given.count("N") != 0;
  source.exact = given.count("exact") != 0;
  if (from_xml == from_graph) {
    return usage_error(console, command, "give either --xml or --graph");
  }
  if (from_xml) {
    source.xml_path = given["xml"].as<std::string>();
    if (source.exact || estimated || given.count("seed") != 0) {
      return usage_error(console, command,
                         "--exact, --N and --seed need --graph; an XML file holds its spectra");
    }
    const std::string free_connected = given["free-connected"].as<std::string>();
    if (free_connected != "yes" && free_connected != "no") {
      return usage_error(console, command,
                         "--free-connected is \"" + free_connected + "\"; expected yes or no");
    }
    source.free_connected = free_connected == "yes";
    return -1;
  }
  source.graph_path = given["graph"].as<std::string>();
  if (!given["free-connected"].defaulted()) {
    return usage_error(console, command,
                       "--free-connected goes with --xml only; a graph tells it by itself");
  }
  if (source.exact == estimated) {
    return usage_error(console, command, "with --graph give either --exact or --N");
  }
  if (source.exact) {
    if (given.count("seed") != 0) {
      return usage_error(console, command, "--seed goes with --N, not with --exact");
    }
    return -1;
  }
  return read_estimate_settings(console, command, given, source.settings);
}

int read_spectra(ToolsConsole& console, const std::string& command, const ReliabilitySource& source,
                 SpectraSummary& summary, ReliabilityReport& report) {
  if (!source.xml_path.empty()) {
    XmlResults results;
    std::string message;
    if (read_xml_results(source.xml_path, results, message) != 0) {
      return failure(console, command, message);
    }
    // With y_0 = 1 every subset connects, so the file's first entry must say 1 too.
    if (source.free_connected && results.srlg_count > 0 && results.spectrum[0] < 1.0 - 1e-6) {
      return failure(console, command,
                     source.xml_path + ": --free-connected yes, but <spectra> value 1 is " +
                         std::to_string(results.spectrum[0]) +
                         "; a network connected with no SRLG up is connected at every k");
    }
    summary = {results.srlg_count, source.free_connected ? 1.0 : 0.0, results.spectrum,
               results.bim_spectra};
    report.source_name = file_name_of(source.xml_path);
    report.source_kind = "xml";
    return kExitSuccess;
  }

  NetworkInstance instance;
  if (load_graph(console, command, source.graph_path, instance) != kExitSuccess) {
    return kExitFailure;
  }
  report.source_name = file_name_of(source.graph_path);
  summary.srlg_count = instance.srlg_count;
  summary.none_up = free_edges_connect(instance) ? 1.0 : 0.0;
  if (source.exact) {
    ExactSpectra exact;
    std::string message;
    if (compute_exact_spectra(instance, exact, message) != 0) {
      return failure(console, command, source.graph_path + ": " + message);
    }
    summary.spectrum = exact.spectrum;
    summary.bim_spectra = exact.bim_spectra;
    report.source_kind = "exact";
    return kExitSuccess;
  }
  std::string message;
  if (!estimate_fits_in_memory(instance, source.settings.thread_count, message)) {
    return failure(console, command, source.graph_path + ": " + message);
  }
  summary.spectrum.assign(static_cast<std::size_t>(instance.srlg_count), 0.0);
  summary.bim_spectra = zero_matrix(instance.srlg_count);
  run_estimation(console, instance, source.settings, summary.spectrum, summary.bim_spectra);
  report.source_kind = "estimate";
  report.sample_size = source.settings.sample_size;
  report.seed = source.settings.seed;
  report.thread_count = source.settings.thread_count;
  return kExitSuccess;
}

int run_reliability_command(ToolsConsole& console, const std::vector<std::string>& args) {
  const std::string command = "reliability";
  po::options_description options("Options");
  options.add_options()("xml", po::value<std::string>(), "a Varnak XML result file")(
      "free-connected", po::value<std::string>()->default_value("no"),
      "with --xml: yes when the edges in no SRLG connect the network alone")(
      "graph", po::value<std::string>(), "an instance file")(
      "exact", "with --graph: exact spectra (up to 30 SRLGs)")(
      "N", po::value<std::int32_t>(), "with --graph: estimate with this sample size")(
      "seed", po::value<std::int32_t>(), "with --N: seed (default: drawn and shown)")(
      "threads", po::value<int>()->default_value(1), "with --N: threads")(
      "p", po::value<std::vector<std::string>>()->composing(),
      "p values, repeatable or comma-separated")("grid", po::value<std::int32_t>(),
                                                 "R(p) at this many evenly spaced p from 0 to 1")(
      "rank-at", po::value<std::string>(), "rank the SRLGs by importance at this p")(
      "top", po::value<std::int32_t>()->default_value(kDefaultTop),
      "with --rank-at: SRLGs shown, 0 for all");
  add_format_option(options);
  po::variables_map given;
  if (const int code = parse_options(console, command, kReliabilityHelp, options, args, given);
      code >= 0) {
    return code;
  }
  ReliabilitySource source;
  std::vector<double> p_values;
  OutputFormat format = OutputFormat::kText;
  if (const int code = read_reliability_source(console, command, given, source); code >= 0) {
    return code;
  }
  if (const int code = read_p_values(console, command, given, p_values); code >= 0) {
    return code;
  }
  if (const int code = read_format(console, command, given, format); code >= 0) {
    return code;
  }
  ReliabilityReport report;
  report.ranked = given.count("rank-at") != 0;
  if (report.ranked) {
    const std::string text = given["rank-at"].as<std::string>();
    if (!read_probability(text, report.rank_at.p)) {
      return usage_error(console, command,
                         "--rank-at is \"" + text + "\"; expected a number from 0 to 1");
    }
  }
  const std::int32_t top = given["top"].as<std::int32_t>();
  if (top < 0) {
    return usage_error(console, command,
                       "--top is " + std::to_string(top) + "; expected 0 (all) or more");
  }

  SpectraSummary summary;
  if (read_spectra(console, command, source, summary, report) != kExitSuccess) {
    return kExitFailure;
  }
  report.srlg_count = summary.srlg_count;
  report.free_edges_connect = summary.none_up == 1.0;
  for (const double p : p_values) {
    report.curve.push_back({p, reliability(summary, p)});
  }
  if (report.ranked) {
    report.rank_at.reliability = reliability(summary, report.rank_at.p);
    report.ranking = rank_by_importance(summary, report.rank_at.p, top);
  }
  write_reliability_report(console.out, report, format);
  console.out.flush();
  return kExitSuccess;
}

struct Command {
  const char* name;
  int (*run)(ToolsConsole&, const std::vector<std::string>&);
};

constexpr Command kCommands[] = {
    {"estimate", run_estimate_command},
    {"exact", run_exact_command},
    {"reliability", run_reliability_command},
};

}  // namespace

int run_tools(int argc, const char* const* argv, ToolsConsole console) {
  if (argc < 2) {
    console.err << kOverview;
    return kExitUsage;
  }
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    console.out << kOverview;
    return kExitSuccess;
  }
  const std::vector<std::string> args(argv + 2, argv + argc);
  for (const Command& command : kCommands) {
    if (name == command.name) {
      try {
        return command.run(console, args);
      } catch (const std::bad_alloc&) {
        return failure(console, name, "not enough memory");
      } catch (const std::exception& error) {
        return failure(console, name, error.what());
      }
    }
  }
  console.err << kProgram << ": unknown command \"" << name
              << "\"; expected estimate, exact or reliability\nTry '" << kProgram << " --help'.\n";
  return kExitUsage;
}

}  // namespace varnak
