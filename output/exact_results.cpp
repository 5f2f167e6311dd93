#include "output/exact_results.hpp"

#include <algorithm>
#include <limits>
#include <set>
#include <vector>

#include "analysis/binomials.hpp"
#include "common/wide_count.hpp"
#include "instance/terminal_plan.hpp"
#include "output/report_json.hpp"
#include "output/report_keys.hpp"

namespace varnak {
namespace {

namespace key = report_keys;

using Tokens = std::vector<JsonToken>;
using TokenRows = std::vector<Tokens>;
using Counts = std::vector<ExactCount>;

// The report's values as written, gathered before any is checked: the checks need
// srlg_count and the counts, which may come in any order.
struct Gathered {
  std::set<std::string, std::less<>> given;  // the keys whose value is not null
  std::int64_t srlg_count = 0;
  Tokens spectrum;
  Tokens connected;
  Tokens subsets;
  TokenRows bim_spectra;
  TokenRows connected_with;
  JsonToken exact_method;
  JsonToken frontier_width;
  JsonToken remembered_srlgs;
  JsonToken diagram_nodes;
  Tokens pairwise;
  JsonToken pairwise_none_up;
  JsonToken terminal_pairs;
  Tokens connected_pairs;

  bool has(std::string_view name) const { return given.find(name) != given.end(); }
};

bool is_one_of(std::string_view name, std::initializer_list<const char*> names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

JsonToken* scalar_of(Gathered& gathered, std::string_view name) {
  return name == key::kExactMethod       ? &gathered.exact_method
         : name == key::kFrontierWidth   ? &gathered.frontier_width
         : name == key::kRememberedSrlgs ? &gathered.remembered_srlgs
         : name == key::kDiagramNodes    ? &gathered.diagram_nodes
         : name == key::kPairwiseNoneUp  ? &gathered.pairwise_none_up
         : name == key::kTerminalPairs   ? &gathered.terminal_pairs
                                         : nullptr;
}

Tokens* array_of(Gathered& gathered, std::string_view name) {
  return name == key::kSpectrum         ? &gathered.spectrum
         : name == key::kConnected      ? &gathered.connected
         : name == key::kSubsets        ? &gathered.subsets
         : name == key::kPairwise       ? &gathered.pairwise
         : name == key::kConnectedPairs ? &gathered.connected_pairs
                                        : nullptr;
}

TokenRows* table_of(Gathered& gathered, std::string_view name) {
  return name == key::kBimSpectra      ? &gathered.bim_spectra
         : name == key::kConnectedWith ? &gathered.connected_with
                                       : nullptr;
}

// One value of the report: `key` in its own right, or value j+1 of array `key`.
std::string quoted_key(const char* name) {
  std::string quoted = "\"";
  quoted += name;
  quoted += '"';
  return quoted;
}
std::string item_name(const char* name, std::size_t j) {
  return "value " + std::to_string(j + 1) + " of " + quoted_key(name);
}
std::string cell_name(const char* name, std::size_t s, std::size_t j) {
  return "value " + std::to_string(j + 1) + " of row " + std::to_string(s + 1) + " of " +
         quoted_key(name);
}

int parse_json(std::string_view text, ExactReport& report, Gathered& gathered, ReportFault& fault) {
  RunInfo& run = report.run;
  const auto read_value = [&](JsonCursor& json, const std::string& name, std::size_t key_line) {
    const std::string what = shown(name);
    const bool may_be_null = is_one_of(
        name, {key::kInstance, key::kResultsFile, key::kSampleSize, key::kSeed, key::kSeedDrawn,
               key::kThreads, key::kTerminals, key::kElapsedSeconds, key::kFrontierWidth,
               key::kRememberedSrlgs, key::kDiagramNodes, key::kPairwise, key::kPairwiseNoneUp,
               key::kTerminalPairs, key::kConnectedPairs});
    if (may_be_null && json.take_null()) {
      return KeyValue::kRead;
    }
    gathered.given.insert(name);
    std::int64_t number = 0;
    if (name == key::kCommand || name == key::kMethod) {
      const JsonToken value = json.scalar();
      if (value.kind != JsonToken::Kind::kString || value.text != key::kExactCommand) {
        fault = {value.line, what + " is " + shown(value) +
                                 "; expected \"exact\", the report of varnak-tools exact"};
        return KeyValue::kRefused;
      }
    } else if (name == key::kInstance || name == key::kResultsFile) {
      if (!json.string(name == key::kInstance ? run.instance_name : run.results_file)) {
        fault = {key_line, what + " is neither null nor a string"};
        return KeyValue::kRefused;
      }
    } else if (is_one_of(name, {key::kSampleSize, key::kSeed, key::kSeedDrawn, key::kThreads})) {
      const JsonToken value = json.scalar();
      fault = {value.line,
               what + " is " + shown(value) + "; expected null: exact takes no samples"};
      return KeyValue::kRefused;
    } else if (name == key::kSrlgCount) {
      if (!json_integer(json, 1, std::numeric_limits<std::int32_t>::max(), what, number, fault)) {
        return KeyValue::kRefused;
      }
      gathered.srlg_count = number;
    } else if (name == key::kFreeEdgesConnect) {
      if (!json_bool(json, name, run.free_edges_connect, fault)) {
        return KeyValue::kRefused;
      }
    } else if (name == key::kElapsedSeconds) {
      if (!json_seconds(json, run.elapsed_seconds, fault)) {
        return KeyValue::kRefused;
      }
    } else if (name == key::kTerminals) {
      Tokens items;
      if (!json_tokens(json, what, items, fault) ||
          !read_terminal_ids(items, run.terminals, fault)) {
        return KeyValue::kRefused;
      }
    } else if (JsonToken* scalar = scalar_of(gathered, name)) {
      *scalar = json.scalar();
      if (scalar->kind == JsonToken::Kind::kOther) {
        fault = {scalar->line, what + " is " + shown(*scalar) + "; expected a single value"};
        return KeyValue::kRefused;
      }
    } else if (Tokens* array = array_of(gathered, name)) {
      if (!json_tokens(json, what, *array, fault)) {
        return KeyValue::kRefused;
      }
    } else if (TokenRows* table = table_of(gathered, name)) {
      if (!json_token_rows(json, what, *table, fault)) {
        return KeyValue::kRefused;
      }
    } else {
      return KeyValue::kUnknown;
    }
    return KeyValue::kRead;
  };
  return read_report_object(text, "exact's JSON report", read_value, fault);
}

// A count as written: a whole number from `low` to `high`. A number of more digits than
// any count of the report can have is refused before it is converted, which would take
// time in proportion to the square of its length. `what()` names the value in a message,
// made only for one: a report holds S^2 values.
template <typename Name>
bool read_count(const JsonToken& token, const Name& what, const ExactCount& low,
                const ExactCount& high, std::size_t most_digits, ExactCount& value,
                ReportFault& fault) {
  std::string_view digits = token.text;
  bool fits =
      token.kind == JsonToken::Kind::kBare && !digits.empty() &&
      std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (fits) {
    // A leading zero would make the text octal to the conversion.
    digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size() - 1));
    fits = digits.size() <= most_digits;
  }
  if (fits) {
    value = ExactCount(std::string(digits));
    fits = low <= value && value <= high;
  }
  if (!fits) {
    fault = {
        token.line,
        what() + " is " + shown(token) + "; expected " +
            (low == high ? low.str() : "a whole number from " + low.str() + " to " + high.str())};
  }
  return fits;
}

// A share as written, which must be `expected`, the correctly rounded quotient of the
// counts that `because()` names.
template <typename Name, typename Because>
bool read_share(const JsonToken& token, const Name& what, double expected, const Because& because,
                double& value, ReportFault& fault) {
  if (token.kind != JsonToken::Kind::kBare || !read_number(token.text, value) || value < 0.0 ||
      value > 1.0) {
    fault = {token.line, what() + " is " + shown(token) + "; expected a share from 0 to 1"};
    return false;
  }
  if (value != expected) {
    fault = {token.line, what() + " is " + shown(token) + "; expected " + json_number(expected) +
                             ", " + because()};
    return false;
  }
  return true;
}

std::string quotient(const ExactCount& count, const ExactCount& total) {
  return count.str() + " / " + total.str();
}

int check_present(const Gathered& gathered, ReportFault& fault) {
  for (const char* name :
       {key::kCommand, key::kSrlgCount, key::kFreeEdgesConnect, key::kExactMethod, key::kSpectrum,
        key::kConnected, key::kSubsets, key::kBimSpectra, key::kConnectedWith}) {
    if (!gathered.has(name)) {
      fault = {0, "no " + quoted_key(name) + "; expected the JSON report of varnak-tools exact"};
      return 1;
    }
  }
  const std::size_t width = static_cast<std::size_t>(gathered.srlg_count);
  for (const auto& [name, array] : {std::pair{key::kSpectrum, &gathered.spectrum},
                                    std::pair{key::kConnected, &gathered.connected},
                                    std::pair{key::kSubsets, &gathered.subsets}}) {
    if (array->size() != width) {
      fault = {0, "srlg_count is " + std::to_string(width) + ", but " + quoted_key(name) +
                      " holds " + std::to_string(array->size()) +
                      " values; expected one for each k from 1 to srlg_count"};
      return 1;
    }
  }
  for (const auto& [name, table] : {std::pair{key::kBimSpectra, &gathered.bim_spectra},
                                    std::pair{key::kConnectedWith, &gathered.connected_with}}) {
    const auto short_row = std::find_if(table->begin(), table->end(),
                                        [&](const Tokens& row) { return row.size() != width; });
    if (table->size() != width || short_row != table->end()) {
      fault = {0, "srlg_count is " + std::to_string(width) + ", but " + quoted_key(name) +
                      " is not " + std::to_string(width) + " rows of " + std::to_string(width) +
                      " values; expected a row for each SRLG and a value for each k"};
      return 1;
    }
  }
  return 0;
}

// The spectrum: connected k-subsets among the C(S, k), a share that never falls as k grows,
// since adding an SRLG to a subset that connects leaves one that connects.
int read_spectrum(const Gathered& gathered, const Counts& choose, std::size_t most_digits,
                  ExactReport& report, ReportFault& fault) {
  ExactSpectra& exact = report.exact;
  const std::size_t width = choose.size() - 1;
  exact.subsets.resize(width);
  exact.connected_subsets.resize(width);
  exact.spectrum.resize(width);
  for (std::size_t j = 0; j < width; ++j) {
    const ExactCount& all = choose[j + 1];
    ExactCount& connected = exact.connected_subsets[j];
    if (!read_count(
            gathered.subsets[j], [&] { return item_name(key::kSubsets, j); }, all, all, most_digits,
            exact.subsets[j], fault) ||
        !read_count(
            gathered.connected[j], [&] { return item_name(key::kConnected, j); }, 0, all,
            most_digits, connected, fault) ||
        !read_share(
            gathered.spectrum[j], [&] { return item_name(key::kSpectrum, j); },
            ratio(connected, all),
            [&] { return "\"connected\" / \"subsets\" = " + quotient(connected, all); },
            exact.spectrum[j], fault)) {
      return 1;
    }
    if (j > 0 && connected * choose[j] < exact.connected_subsets[j - 1] * all) {
      fault = {gathered.connected[j].line,
               item_name(key::kConnected, j) + " is " + shown(gathered.connected[j]) +
                   ", a share " + quotient(connected, all) + " below the " +
                   quotient(exact.connected_subsets[j - 1], choose[j]) + " of k " +
                   std::to_string(j) + "; expected no smaller share as k grows"};
      return 1;
    }
  }
  if (report.run.free_edges_connect && exact.connected_subsets[0] != choose[1]) {
    fault = {gathered.connected[0].line,
             "\"free_edges_connect\" is true, but value 1 of \"connected\" is " +
                 shown(gathered.connected[0]) + "; expected every subset, " + choose[1].str() +
                 ", to connect"};
    return 1;
  }
  return 0;
}

// The BIM spectra: connected k-subsets that hold SRLG s, of the C(S-1, k-1) that do; those
// that connect without s are at most the C(S-1, k) without it, and each connected k-subset
// holds k SRLGs.
int read_bim_spectra(const Gathered& gathered, const Counts& choose, std::size_t most_digits,
                     ExactReport& report, ReportFault& fault) {
  ExactSpectra& exact = report.exact;
  const std::size_t width = choose.size() - 1;
  const Counts fewer = binomial_row(static_cast<std::int32_t>(width - 1));
  exact.connected_subsets_with.assign(width, Counts(width));
  exact.bim_spectra.assign(width, SpectraVector(width, 0.0));
  for (std::size_t j = 0; j < width; ++j) {
    const ExactCount& connected = exact.connected_subsets[j];
    const ExactCount without = j + 1 < width ? fewer[j + 1] : ExactCount(0);
    const ExactCount low = connected > without ? ExactCount(connected - without) : ExactCount(0);
    const ExactCount high = std::min(connected, fewer[j]);
    ExactCount column_sum = 0;
    for (std::size_t s = 0; s < width; ++s) {
      ExactCount& count = exact.connected_subsets_with[s][j];
      if (!read_count(
              gathered.connected_with[s][j], [&] { return cell_name(key::kConnectedWith, s, j); },
              low, high, most_digits, count, fault) ||
          !read_share(
              gathered.bim_spectra[s][j], [&] { return cell_name(key::kBimSpectra, s, j); },
              ratio(count, choose[j + 1]),
              [&] {
                return "\"connected_with\" / \"subsets\" = " + quotient(count, choose[j + 1]);
              },
              exact.bim_spectra[s][j], fault)) {
        return 1;
      }
      column_sum += count;
    }
    if (column_sum != connected * (j + 1)) {
      fault = {0, "column " + std::to_string(j + 1) + " of \"connected_with\" adds up to " +
                      column_sum.str() + "; expected " + std::to_string(j + 1) + " times " +
                      connected.str() + ", as each connected subset of " + std::to_string(j + 1) +
                      " holds " + std::to_string(j + 1) + " SRLGs"};
      return 1;
    }
  }
  return 0;
}

// How the counts were found: the diagram's figures go with "diagram" alone, and "none"
// means no subset connects or every one does.
int read_method(const Gathered& gathered, ExactReport& report, ReportFault& fault) {
  const JsonToken& method = gathered.exact_method;
  ExactSpectra& exact = report.exact;
  // A run reports the method that ran, never "auto", which stands here for any other value.
  const bool named = method.kind == JsonToken::Kind::kString;
  exact.method = !named                     ? ExactMethod::kAuto
                 : method.text == "subsets" ? ExactMethod::kSubsets
                 : method.text == "diagram" ? ExactMethod::kDiagram
                 : method.text == "none"    ? ExactMethod::kNone
                                            : ExactMethod::kAuto;
  if (exact.method == ExactMethod::kAuto) {
    fault = {method.line, "\"exact_method\" is " + shown(method) +
                              "; expected \"subsets\", \"diagram\" or \"none\""};
    return 1;
  }
  report.run.exact_method = method_name(exact.method);
  const bool diagram = exact.method == ExactMethod::kDiagram;
  const std::pair<const char*, const JsonToken*> figures[] = {
      {key::kFrontierWidth, &gathered.frontier_width},
      {key::kRememberedSrlgs, &gathered.remembered_srlgs},
      {key::kDiagramNodes, &gathered.diagram_nodes}};
  std::int64_t values[3] = {};
  for (std::size_t i = 0; i < 3; ++i) {
    const auto& [name, token] = figures[i];
    if (gathered.has(name) != diagram) {
      fault = {diagram ? method.line : token->line,
               "\"exact_method\" is " + shown(method.text) + (diagram ? " without " : " with ") +
                   quoted_key(name) + "; expected the diagram's figures with \"diagram\" alone"};
      return 1;
    }
    const std::int64_t most = i == 2 ? std::numeric_limits<std::int64_t>::max()
                                     : std::numeric_limits<std::int32_t>::max();
    if (diagram && (token->kind != JsonToken::Kind::kBare ||
                    !read_integer(token->text, values[i]) || values[i] < 0 || values[i] > most)) {
      fault = {token->line, quoted_key(name) + " is " + shown(*token) +
                                "; expected a whole number from 0 to " + std::to_string(most)};
      return 1;
    }
  }
  exact.diagram.frontier_width = static_cast<std::int32_t>(values[0]);
  exact.diagram.most_remembered = static_cast<std::int32_t>(values[1]);
  exact.diagram.nodes = static_cast<std::uint64_t>(values[2]);
  report.run.diagram = exact.diagram;
  const Counts& connected = exact.connected_subsets;
  if (exact.method == ExactMethod::kNone && connected.back() != 0 &&
      connected.front() != exact.subsets.front()) {
    fault = {method.line,
             "\"exact_method\" is \"none\", but some subsets connect and some do not; expected "
             "none to connect, or all"};
    return 1;
  }
  return 0;
}

// The pairwise figures of --pairwise: the terminal pairs that the k-subsets join, summed,
// all of them for a subset that connects the terminals.
int read_pairwise(const Gathered& gathered, ExactReport& report, ReportFault& fault) {
  ExactSpectra& exact = report.exact;
  const char* names[] = {key::kPairwise, key::kPairwiseNoneUp, key::kTerminalPairs,
                         key::kConnectedPairs};
  const auto given = std::count_if(std::begin(names), std::end(names),
                                   [&](const char* name) { return gathered.has(name); });
  if (given == 0) {
    return 0;
  }
  const std::size_t width = exact.subsets.size();
  for (const char* name : names) {
    if (!gathered.has(name)) {
      fault = {0, "no " + quoted_key(name) +
                      " beside the other pairwise figures; expected all four of --pairwise"};
      return 1;
    }
  }
  if (width > static_cast<std::size_t>(kMaxExactPairwiseSrlgs)) {
    fault = {0, "srlg_count is " + std::to_string(width) +
                    " with pairwise figures; exact pairwise connectivity handles at most " +
                    std::to_string(kMaxExactPairwiseSrlgs) + " SRLGs"};
    return 1;
  }
  const JsonToken& pairs_token = gathered.terminal_pairs;
  WideCount pairs = 0;
  if (pairs_token.kind != JsonToken::Kind::kBare || !read_wide_count(pairs_token.text, pairs) ||
      pairs > std::numeric_limits<std::uint64_t>::max()) {
    fault = {pairs_token.line, "\"terminal_pairs\" is " + shown(pairs_token) +
                                   "; expected a whole number from 0 to 18446744073709551615"};
    return 1;
  }
  const std::vector<std::int32_t>& terminals = report.run.terminals;
  const auto terminal_count = static_cast<std::int64_t>(terminals.size());
  if (!terminals.empty() && pairs != pairs_among(terminal_count)) {
    fault = {pairs_token.line, "\"terminal_pairs\" is " + shown(pairs_token) + ", but " +
                                   std::to_string(terminal_count) + " terminals make " +
                                   std::to_string(pairs_among(terminal_count)) + " pairs"};
    return 1;
  }
  if (gathered.pairwise.size() != width || gathered.connected_pairs.size() != width) {
    fault = {0, "srlg_count is " + std::to_string(width) + ", but \"pairwise\" holds " +
                    std::to_string(gathered.pairwise.size()) + " values and \"connected_pairs\" " +
                    std::to_string(gathered.connected_pairs.size()) +
                    "; expected one for each k from 1 to srlg_count"};
    return 1;
  }
  exact.pairwise = true;
  exact.terminal_pairs = static_cast<std::uint64_t>(pairs);
  exact.connected_pairs.resize(width);
  exact.pairwise_shares.resize(width);
  for (std::size_t j = 0; j < width; ++j) {
    // C(24, 12) C(2^31, 2) is below 2^84: these products fit.
    const WideCount all = static_cast<std::uint64_t>(exact.subsets[j]) * pairs;
    const WideCount least = static_cast<std::uint64_t>(exact.connected_subsets[j]) * pairs;
    const JsonToken& token = gathered.connected_pairs[j];
    WideCount& joined = exact.connected_pairs[j];
    if (token.kind != JsonToken::Kind::kBare || !read_wide_count(token.text, joined) ||
        joined < least || joined > all) {
      fault = {token.line, item_name(key::kConnectedPairs, j) + " is " + shown(token) +
                               "; expected a whole number from " + wide_count_text(least) +
                               " (the connected subsets' pairs) to " + wide_count_text(all)};
      return 1;
    }
    if (!read_share(
            gathered.pairwise[j], [&] { return item_name(key::kPairwise, j); },
            all == 0 ? 1.0 : wide_ratio(joined, all),
            [&] {
              return "\"connected_pairs\" / (\"subsets\" times \"terminal_pairs\") = " +
                     wide_count_text(joined) + " / " + wide_count_text(all);
            },
            exact.pairwise_shares[j], fault)) {
      return 1;
    }
  }
  // Free edges that connect the terminals join every pair.
  const JsonToken& none_up = gathered.pairwise_none_up;
  double& share = exact.pairwise_none_up;
  const bool all_joined = report.run.free_edges_connect;
  if (none_up.kind != JsonToken::Kind::kBare || !read_number(none_up.text, share) ||
      share < (all_joined ? 1.0 : 0.0) || share > 1.0) {
    fault = {none_up.line,
             "\"pairwise_none_up\" is " + shown(none_up) + "; expected " +
                 (all_joined ? "1, as the free edges connect" : "a share from 0 to 1")};
    return 1;
  }
  return 0;
}

int check_report(const Gathered& gathered, ExactReport& report, ReportFault& fault) {
  if (check_present(gathered, fault) != 0 || !check_terminal_set(report.run.terminals, fault)) {
    return 1;
  }
  const auto srlg_count = static_cast<std::int32_t>(gathered.srlg_count);
  const Counts choose = binomial_row(srlg_count);
  const std::size_t most_digits = std::max_element(choose.begin(), choose.end())->str().size();
  if (read_spectrum(gathered, choose, most_digits, report, fault) != 0 ||
      read_bim_spectra(gathered, choose, most_digits, report, fault) != 0 ||
      read_method(gathered, report, fault) != 0 || read_pairwise(gathered, report, fault) != 0) {
    return 1;
  }
  report.run.srlg_count = srlg_count;
  report.exact.srlg_count = srlg_count;
  report.exact.free_edges_connect = report.run.free_edges_connect;
  return 0;
}

}  // namespace

int parse_exact_results(std::string_view text, const std::string& file_name, ExactReport& report,
                        std::string& failure) {
  report = {};
  report.run.method = key::kMethodExact;
  report.run.elapsed_seconds = std::numeric_limits<double>::quiet_NaN();
  Gathered gathered;
  ReportFault fault;
  if (parse_json(without_byte_order_mark(text), report, gathered, fault) != 0 ||
      check_report(gathered, report, fault) != 0) {
    failure = report_failure(file_name, fault);
    return 1;
  }
  return 0;
}

}  // namespace varnak
