#include "tests/fuzz/fuzz_checks.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string_view>
#include <vector>

#include "app/run_options.hpp"
#include "common/memory_budget.hpp"
#include "estimation/spectra_estimator.hpp"
#include "instance/instance_reader.hpp"
#include "instance/srlg_probabilities.hpp"
#include "instance/terminal_set.hpp"
#include "tests/support/reference_estimator.hpp"
#include "tests/support/spectra_accumulation.hpp"

namespace varnak::fuzz {
namespace {

// Beyond this ENUM the reader still accepts the file when its edge table fits in memory,
// but building one table entry per edge id takes longer than a fuzzing run should.
constexpr double kLargestCheapEdgeCount = 100000.0;
// A bound far below what the reader accepts: each map entry takes more than 32 bytes, so
// an ENUM above memory / 32 is refused by the reader before anything is built.
constexpr double kSmallestTableEntryBytes = 32.0;

// Result tables of SRLGNUM^2 doubles stay small below this; larger instances are loaded
// and checked but not estimated.
constexpr std::int32_t kLargestEstimatedSrlgCount = 256;
// The reference scans every vertex and every edge id per SRLG and sample.
constexpr std::int32_t kLargestReferenceVertexOrEdgeCount = 4096;
constexpr std::int32_t kLargestReferenceSrlgCount = 64;
constexpr std::int32_t kMostSamples = 20;

constexpr std::size_t kMostWords = 64;
constexpr std::size_t kQuotedOutputLimit = 400;

using Text = std::string_view;

// Shows output in a violation message: control bytes escaped, long texts cut.
std::string printable(Text text) {
  std::string shown;
  for (const char c : text.substr(0, kQuotedOutputLimit)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\n') {
      shown += "\\n";
    } else if (byte < 0x20 || byte >= 0x7f) {
      static const char kHex[] = "0123456789abcdef";
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 15];
    } else {
      shown += c;
    }
  }
  if (text.size() > kQuotedOutputLimit) {
    shown += "...";
  }
  return '"' + shown + '"';
}

std::uint64_t fnv1a(const std::uint8_t* data, std::size_t size) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (std::size_t i = 0; i < size; ++i) {
    hash = (hash ^ data[i]) * 1099511628211ULL;
  }
  return hash;
}

// The input bytes as a file that load_instance can open by path: one memory file, reused,
// or a temporary file where memory files are not available.
class InputFile {
 public:
  InputFile() {
    fd_ = memfd_create("varnak-fuzz-input", MFD_CLOEXEC);
    if (fd_ >= 0) {
      path_ = "/proc/self/fd/" + std::to_string(fd_);
      return;
    }
    std::string pattern =
        (std::filesystem::temp_directory_path() / "varnak-fuzz-input-XXXXXX").string();
    fd_ = mkstemp(pattern.data());
    path_ = pattern;
    remove_at_exit_ = fd_ >= 0;
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    if (remove_at_exit_) {
      ::unlink(path_.c_str());
    }
  }

  // Replaces the content with `data`; false when the file cannot be written.
  bool hold(const std::uint8_t* data, std::size_t size) {
    if (fd_ < 0 || ::ftruncate(fd_, 0) != 0) {
      return false;
    }
    std::size_t done = 0;
    while (done < size) {
      const ssize_t written = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
      if (written < 0 && errno == EINTR) {
        continue;
      }
      if (written <= 0) {
        return false;
      }
      done += static_cast<std::size_t>(written);
    }
    return true;
  }

  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
  bool remove_at_exit_ = false;
};

// True when some "ENUM:" line asks for an edge table that the reader would build (it fits
// in memory) but that is too large to build once per fuzzing input. Every occurrence of
// the keyword counts, wherever it stands, so no line that the reader takes for an ENUM
// line slips through.
bool asks_for_large_edge_table(Text text) {
  const double memory = static_cast<double>(physical_memory_bytes());
  constexpr Text kKeyword = "ENUM:";
  for (std::size_t at = text.find(kKeyword); at != Text::npos; at = text.find(kKeyword, at + 1)) {
    const std::size_t start = at + kKeyword.size();
    const std::size_t end = text.find('\n', start);
    // As the reader does: strtod on the field, which stops at ':', '\r' or a NUL byte.
    const std::string field(text.substr(start, end == Text::npos ? Text::npos : end - start));
    const double count = std::strtod(field.c_str(), nullptr);
    if (count > kLargestCheapEdgeCount && count * kSmallestTableEntryBytes <= memory) {
      return true;
    }
  }
  return false;
}

// Lines as the reader counts them: every line feed ends one, and text after the last
// line feed is one more.
std::uint64_t count_lines(Text text) {
  const auto feeds = static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n'));
  return feeds + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

// A refusal is one line: "Instance file line N: reason" with N a line of the file, or
// "Instance file: reason" when no single line is to blame.
std::string check_refusal_text(Text output, std::uint64_t line_count) {
  if (output.empty() || output.find('\n') != output.size() - 1) {
    return "a refusal must be exactly one line; got " + printable(output);
  }
  const Text line = output.substr(0, output.size() - 1);
  constexpr Text kWholeFile = "Instance file: ";
  constexpr Text kOneLine = "Instance file line ";
  if (line.substr(0, kWholeFile.size()) == kWholeFile) {
    return line.size() > kWholeFile.size() ? "" : "a refusal without a reason";
  }
  if (line.substr(0, kOneLine.size()) != kOneLine) {
    return "a refusal must start with \"Instance file\"; got " + printable(output);
  }
  const std::size_t digits_end = line.find(": ", kOneLine.size());
  if (digits_end == Text::npos || digits_end == kOneLine.size() || digits_end + 2 == line.size()) {
    return "a refusal without a line number or a reason: " + printable(output);
  }
  std::uint64_t number = 0;
  for (std::size_t i = kOneLine.size(); i < digits_end; ++i) {
    if (line[i] < '0' || line[i] > '9' || number > line_count) {
      return "a refusal with a malformed line number: " + printable(output);
    }
    number = number * 10 + static_cast<std::uint64_t>(line[i] - '0');
  }
  if (number < 1 || number > line_count) {
    return "a refusal names line " + std::to_string(number) + " of a file of " +
           std::to_string(line_count) + " lines: " + printable(output);
  }
  return "";
}

// What the estimator may rely on in an instance that the reader accepted.
std::string check_loaded_instance(const NetworkInstance& instance) {
  if (instance.vertex_count < 0 || instance.edge_count < 0 || instance.srlg_count < 1) {
    return "accepted counts VNUM " + std::to_string(instance.vertex_count) + ", ENUM " +
           std::to_string(instance.edge_count) + ", SRLGNUM " + std::to_string(instance.srlg_count);
  }
  for (const auto& [edge, ends] : instance.edges) {
    for (const std::int32_t end : {ends.first, ends.second}) {
      if (end < 1 || end > instance.vertex_count) {
        return "accepted edge " + std::to_string(edge) + " with end " + std::to_string(end) +
               " outside 1.." + std::to_string(instance.vertex_count);
      }
    }
  }
  std::map<std::int32_t, std::int64_t> listings;
  for (const auto& [srlg, members] : instance.srlgs) {
    for (const std::int32_t member : members) {
      ++listings[member];
    }
  }
  for (const auto& [edge, count] : listings) {
    const auto found = instance.edge_srlg_count.find(edge);
    if (found == instance.edge_srlg_count.end() || found->second != count) {
      return "edge " + std::to_string(edge) + " is listed " + std::to_string(count) +
             " times but its membership count is " +
             (found == instance.edge_srlg_count.end() ? std::string("missing")
                                                      : std::to_string(found->second));
    }
  }
  for (const auto& [edge, count] : instance.edge_srlg_count) {
    if (count != 0 && listings.find(edge) == listings.end()) {
      return "edge " + std::to_string(edge) + " has membership count " + std::to_string(count) +
             " but no SRLG lists it";
    }
  }
  // Only listed edges have a count: tables sized by ENUM would let a declared count cost
  // memory that the file does not hold.
  for (const auto& [edge, count] : instance.edge_srlg_count) {
    if (count == 0) {
      return "edge " + std::to_string(edge) + " has a membership count of 0 stored";
    }
  }
  return "";
}

Estimates zero_estimates(std::int32_t srlg_count) {
  const auto n = static_cast<std::size_t>(srlg_count);
  return {SpectraVector(n, 0.0), BimSpectraMatrix(n, std::vector<double>(n, 0.0))};
}

std::string describe_cell(std::size_t row, std::size_t column, double value) {
  std::ostringstream text;
  text.precision(17);
  text << "BIM row " << row << " column " << column << " = " << value;
  return text.str();
}

}  // namespace

// The invariants of any estimate: every value is 1/N added to 0 some k <= N times; the
// spectrum never falls; no BIM entry exceeds the spectrum entry of its column; with every
// SRLG up all rows agree; and column j of the BIM spectra sums to (j+1) times spectrum j,
// since each connected sample credits the j+1 SRLGs that are up.
std::string check_estimates(const Estimates& estimates, std::int32_t srlg_count,
                            std::int32_t samples) {
  const auto n = static_cast<std::size_t>(srlg_count);
  if (estimates.spectrum.size() != n || estimates.bim_spectra.size() != n) {
    return "the estimator resized its result tables";
  }
  std::vector<double> partial_sums(static_cast<std::size_t>(samples) + 1, 0.0);
  const double increment = 1.0 / samples;
  for (std::size_t k = 1; k < partial_sums.size(); ++k) {
    partial_sums[k] = partial_sums[k - 1] + increment;
  }
  const auto is_partial_sum = [&](double value) {
    return std::find(partial_sums.begin(), partial_sums.end(), value) != partial_sums.end();
  };
  const std::vector<double>& spectrum = estimates.spectrum;
  const auto describe_entry = [&](std::size_t j) {
    std::ostringstream text;
    text.precision(17);
    text << "spectrum entry " << j << " = " << spectrum[j];
    return text.str();
  };
  for (std::size_t j = 0; j < n; ++j) {
    if (!is_partial_sum(spectrum[j])) {
      return describe_entry(j) + " is not a count of samples times 1/" + std::to_string(samples);
    }
    if (j > 0 && spectrum[j] < spectrum[j - 1]) {
      return describe_entry(j) + " is below the entry before it";
    }
  }
  for (std::size_t row = 0; row < n; ++row) {
    if (estimates.bim_spectra[row].size() != n) {
      return "the estimator resized BIM row " + std::to_string(row);
    }
    for (std::size_t j = 0; j < n; ++j) {
      const double value = estimates.bim_spectra[row][j];
      if (!is_partial_sum(value)) {
        return describe_cell(row, j, value) + " is not a count of samples times 1/" +
               std::to_string(samples);
      }
      if (value > spectrum[j]) {
        return describe_cell(row, j, value) + " exceeds the spectrum entry of its column";
      }
    }
    if (estimates.bim_spectra[row][n - 1] != spectrum[n - 1]) {
      return describe_cell(row, n - 1, estimates.bim_spectra[row][n - 1]) +
             " differs from the last spectrum entry, with every SRLG up";
    }
  }
  for (std::size_t j = 0; j < n; ++j) {
    double column_sum = 0.0;
    for (std::size_t row = 0; row < n; ++row) {
      column_sum += estimates.bim_spectra[row][j];
    }
    const double expected = static_cast<double>(j + 1) * spectrum[j];
    if (std::fabs(column_sum - expected) > 1e-9 * static_cast<double>(j + 1)) {
      return "BIM column " + std::to_string(j) + " sums to " + std::to_string(column_sum) +
             ", not (j+1) times the spectrum entry, " + std::to_string(expected);
    }
  }
  return "";
}

namespace {

std::string first_difference(const Estimates& actual, const Estimates& expected, const char* what) {
  for (std::size_t j = 0; j < expected.spectrum.size(); ++j) {
    if (actual.spectrum[j] != expected.spectrum[j]) {
      return std::string(what) + " differs at spectrum entry " + std::to_string(j);
    }
  }
  for (std::size_t row = 0; row < expected.bim_spectra.size(); ++row) {
    for (std::size_t j = 0; j < expected.bim_spectra[row].size(); ++j) {
      if (actual.bim_spectra[row][j] != expected.bim_spectra[row][j]) {
        return std::string(what) + " differs at BIM row " + std::to_string(row) + " column " +
               std::to_string(j);
      }
    }
  }
  return "";
}

std::string check_estimation(const NetworkInstance& instance, std::uint64_t input_hash) {
  const std::int32_t samples = 1 + static_cast<std::int32_t>((input_hash >> 32) % kMostSamples);
  // A seed above 0, so that every input replays the same orders.
  const std::int32_t seed = 1 + static_cast<std::int32_t>(input_hash % 2147483646ULL);

  Estimates estimates = zero_estimates(instance.srlg_count);
  estimate_spectra(estimates.spectrum, estimates.bim_spectra, samples, seed, instance);
  std::string violation = check_estimates(estimates, instance.srlg_count, samples);
  if (!violation.empty()) {
    return violation + " (N " + std::to_string(samples) + ", seed " + std::to_string(seed) + ")";
  }

  Estimates threaded = zero_estimates(instance.srlg_count);
  estimate_spectra_threaded(threaded.spectrum, threaded.bim_spectra, samples, seed, instance, 2);
  violation = first_difference(threaded, estimates, "the estimate on two threads");
  if (violation.empty() && instance.vertex_count <= kLargestReferenceVertexOrEdgeCount &&
      instance.edge_count <= kLargestReferenceVertexOrEdgeCount &&
      instance.srlg_count <= kLargestReferenceSrlgCount) {
    Estimates reference = zero_estimates(instance.srlg_count);
    reference::estimate_spectra(reference.spectrum, reference.bim_spectra, samples, seed, instance);
    violation = first_difference(estimates, reference, "the estimate");
    if (!violation.empty()) {
      violation += " from the reference transcription";
    }
  }
  if (!violation.empty()) {
    return violation + " (N " + std::to_string(samples) + ", seed " + std::to_string(seed) + ")";
  }
  return "";
}

// The outputs that stop a run without a check message: the help text, and the options
// description that follows a command line the library rejects.
struct StopTexts {
  std::string help;
  std::string rejected;
};

const StopTexts& stop_texts() {
  static const StopTexts texts = [] {
    StopTexts made;
    const char* const bare[] = {"Varnak"};
    const char* const unknown[] = {"Varnak", "--an-option-that-does-not-exist"};
    RunOptions options;
    std::ostringstream help;
    read_run_options(1, bare, options, help);
    std::ostringstream rejected;
    RunOptions more_options;
    read_run_options(2, unknown, more_options, rejected);
    made.help = help.str();
    made.rejected = rejected.str();
    return made;
  }();
  return texts;
}

bool has_defaults(const RunOptions& options) {
  const RunOptions defaults;
  return options.graph_path == defaults.graph_path && options.sample_size == defaults.sample_size &&
         options.seed == defaults.seed && options.xml_requested == defaults.xml_requested &&
         options.output_path == defaults.output_path;
}

std::string check_run_options(int result, const RunOptions& options, Text output) {
  if (result == 0) {
    if (!output.empty()) {
      return "a command line that goes on printed " + printable(output);
    }
    if (options.sample_size < 1) {
      return "a run goes on with sample size " + std::to_string(options.sample_size);
    }
    if (options.seed < -1) {
      return "a run goes on with seed " + std::to_string(options.seed);
    }
    if (!options.xml_requested && !options.output_path.empty()) {
      return "an output path without a request for the XML file";
    }
    return "";
  }
  if (result != 1) {
    return "read_run_options returned " + std::to_string(result);
  }
  const StopTexts& texts = stop_texts();
  if (output == texts.help) {
    return "";
  }
  if (output == texts.rejected) {
    return has_defaults(options) ? "" : "a rejected command line changed the options";
  }
  static const char* const kMessages[] = {
      "The seed should be positive integer.\n",
      "No input sample size was specified\n",
      "The sample size should be positive integer.\n",
      "No input graph was specified\n",
  };
  for (const char* message : kMessages) {
    if (output == message) {
      return "";
    }
  }
  return "a stopped command line printed neither the help, the options nor one check "
         "message: " +
         printable(output);
}

}  // namespace

CheckResult check_instance_input(const std::uint8_t* data, std::size_t size) {
  CheckResult result;
  const Text text(reinterpret_cast<const char*>(data), size);
  if (asks_for_large_edge_table(text)) {
    return result;
  }
  static InputFile file;
  if (!file.hold(data, size)) {
    result.violation = "cannot write the input to " + file.path();
    return result;
  }
  NetworkInstance instance;
  std::ostringstream out;
  const int code = load_instance(file.path(), instance, out);
  const std::string output = out.str();
  if (code == kLoadFailed) {
    result.outcome = Outcome::kRefused;
    result.violation = check_refusal_text(output, count_lines(text));
    return result;
  }
  if (code != kLoadOk) {
    result.violation = "load_instance returned " + std::to_string(code) + " for a readable file";
    return result;
  }
  result.outcome = Outcome::kAccepted;
  if (!output.empty()) {
    result.violation = "an accepted instance printed " + printable(output);
    return result;
  }
  result.violation = check_loaded_instance(instance);
  if (result.violation.empty() && instance.srlg_count <= kLargestEstimatedSrlgCount) {
    result.violation = check_estimation(instance, fnv1a(data, size));
  }
  return result;
}

CheckResult check_command_line_input(const std::uint8_t* data, std::size_t size) {
  const Text text(reinterpret_cast<const char*>(data), size);
  // Words are cut at line feeds; a NUL byte in a word ends its argument string, as the
  // program would receive it.
  std::vector<std::string> words = {"Varnak"};
  std::size_t start = 0;
  while (start < text.size() && words.size() <= kMostWords) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    words.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  std::vector<const char*> argv;
  for (const std::string& word : words) {
    argv.push_back(word.c_str());
  }
  argv.push_back(nullptr);

  RunOptions options;
  std::ostringstream out;
  const int code = read_run_options(static_cast<int>(words.size()), argv.data(), options, out);
  CheckResult result;
  result.outcome = code == 0 ? Outcome::kAccepted : Outcome::kRefused;
  result.violation = check_run_options(code, options, out.str());
  return result;
}

// The SRLG count a probability input is read for: the number after a first line
// "# srlgs " (a comment to the reader), else as many as lines that start with a digit, so
// that complete files are common.
std::int32_t srlg_count_for(const std::string& text) {
  constexpr Text kGiven = "# srlgs ";
  if (text.compare(0, kGiven.size(), kGiven) == 0) {
    const long long given = std::strtoll(text.c_str() + kGiven.size(), nullptr, 10);
    return static_cast<std::int32_t>(std::clamp<long long>(given, 0, 2147483647));
  }
  std::int32_t count = 0;
  bool line_start = true;
  for (const char c : text) {
    if (line_start && c >= '0' && c <= '9' && count < 2147483647) {
      ++count;
    }
    line_start = c == '\n';
  }
  return std::max<std::int32_t>(count, 1);
}

CheckResult check_srlg_probabilities_input(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::int32_t srlg_count = srlg_count_for(text);
  std::istringstream in(text);
  std::vector<double> probabilities;
  ProbabilityRefusal refusal;
  const int code = read_srlg_probabilities(in, srlg_count, probabilities, refusal);
  CheckResult result;
  if (code == kProbabilitiesRefused) {
    result.outcome = Outcome::kRefused;
    constexpr Text kNoProbability = " has no probability";
    if (refusal.reason.empty() || refusal.reason.find('\n') != std::string::npos) {
      result.violation = "a refusal must be one line; got " + printable(refusal.reason);
    } else if (refusal.line > count_lines(text)) {
      result.violation = "a refusal names line " + std::to_string(refusal.line) + " of " +
                         std::to_string(count_lines(text)) + ": " + printable(refusal.reason);
    } else if (refusal.line == 0 && refusal.reason.find(kNoProbability) == std::string::npos) {
      result.violation =
          "only a missing SRLG is refused without a line; got " + printable(refusal.reason);
    }
    return result;
  }
  if (code != kProbabilitiesRead) {
    result.violation = "a string stream was unreadable (code " + std::to_string(code) + ")";
    return result;
  }
  result.outcome = Outcome::kAccepted;
  if (probabilities.size() != static_cast<std::size_t>(srlg_count)) {
    result.violation = std::to_string(probabilities.size()) + " probabilities read for " +
                       std::to_string(srlg_count) + " SRLGs";
    return result;
  }
  // Each probability in [0, 1], and the file written back with every digit reads back to
  // the same doubles.
  std::string written = "id,p\n";
  for (std::size_t s = 0; s < probabilities.size(); ++s) {
    if (!(probabilities[s] >= 0.0 && probabilities[s] <= 1.0)) {
      result.violation =
          "SRLG " + std::to_string(s + 1) + " read as " + std::to_string(probabilities[s]);
      return result;
    }
    char value[64];
    std::snprintf(value, sizeof value, "%.17g", probabilities[s]);
    written += std::to_string(s + 1) + "," + value + "\n";
  }
  std::istringstream again(written);
  std::vector<double> read_back;
  if (read_srlg_probabilities(again, srlg_count, read_back, refusal) != kProbabilitiesRead) {
    result.violation = "written back, the probabilities are refused: " + refusal.reason;
  } else if (read_back != probabilities) {
    result.violation = "written back and read again, the probabilities changed";
  }
  return result;
}

// What must hold of read_terminals' answer for `text` (a comma list, or "@" and a file's
// path) over `vertex_count` vertices, whose file or list has `line_count` lines.
std::string check_terminal_answer(int code, const std::vector<std::int32_t>& terminals,
                                  const std::string& failure, std::int32_t vertex_count,
                                  const std::string& path, std::uint64_t line_count) {
  if (code != 0) {
    if (failure.empty() || failure.find('\n') != std::string::npos) {
      return "a refusal must be one line; got " + printable(failure);
    }
    const std::string blamed = path + " line ";
    if (!path.empty() && failure.compare(0, blamed.size(), blamed) == 0 &&
        std::strtoull(failure.c_str() + blamed.size(), nullptr, 10) > line_count) {
      return "a refusal names a line past the file's " + std::to_string(line_count) + ": " +
             printable(failure);
    }
    return "";
  }
  if (!failure.empty()) {
    return "an accepted set left the message " + printable(failure);
  }
  if (terminals.size() < 2) {
    return "fewer than two terminals accepted";
  }
  std::vector<std::int32_t> sorted = terminals;
  std::sort(sorted.begin(), sorted.end());
  if (sorted.front() < 1 || sorted.back() > vertex_count ||
      std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
    return "accepted terminals outside 1.." + std::to_string(vertex_count) + " or repeated";
  }
  // Written back as a comma list, they read back the same, in the same order.
  std::string list;
  for (const std::int32_t vertex : terminals) {
    list += (list.empty() ? "" : ",") + std::to_string(vertex);
  }
  std::vector<std::int32_t> read_back;
  std::string again;
  if (read_terminals(list, vertex_count, read_back, again) != 0 || read_back != terminals) {
    return "the terminals written back as " + list + " read back otherwise: " + again;
  }
  return "";
}

CheckResult check_terminals_input(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::int32_t vertex_count = size % 2 == 0 ? 16 : 2147483647;
  // The file form reads the bytes from a scratch file, made once per process.
  static const std::string path = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "varnak-fuzz-XXXXXX").string();
    const int descriptor = mkstemp(pattern.data());
    if (descriptor >= 0) {
      close(descriptor);
    }
    return pattern;
  }();
  CheckResult result;
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!file.flush()) {
      result.violation = "the scratch file " + path + " could not be written";
      return result;
    }
  }
  std::vector<std::int32_t> terminals;
  std::string failure;
  const int from_file = read_terminals("@" + path, vertex_count, terminals, failure);
  result.outcome = from_file == 0 ? Outcome::kAccepted : Outcome::kRefused;
  result.violation =
      check_terminal_answer(from_file, terminals, failure, vertex_count, path, count_lines(text));
  if (!result.violation.empty() || text.find('\0') != std::string::npos) {
    return result;  // a command-line word ends at a NUL byte, so no list holds one
  }
  failure.clear();
  const int from_list = read_terminals(text, vertex_count, terminals, failure);
  result.violation = check_terminal_answer(from_list, terminals, failure, vertex_count, "", 0);
  if (!result.violation.empty()) {
    result.violation = "as a comma list: " + result.violation;
  }
  return result;
}

}  // namespace varnak::fuzz
