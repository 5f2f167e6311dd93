#include "output/estimate_results.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <set>
#include <vector>

#include "common/wide_count.hpp"
#include "instance/terminal_plan.hpp"
#include "output/report_json.hpp"

namespace varnak {
namespace {

// What the report names, gathered before the counts are checked.
struct Gathered {
  bool has_srlg_count = false;
  bool has_n = false;
  bool has_seed = false;
  std::vector<std::int64_t> connected;
  std::vector<std::vector<std::int64_t>> connected_with;
  bool has_connected = false;
  bool has_connected_with = false;
  // By SRLG, the samples it connected at each position; reports of runs that did not
  // count them have none.
  std::vector<std::vector<std::int64_t>> critical;
  bool has_critical = false;
  // Of --pairwise, when the report has it.
  std::vector<WideCount> connected_pairs;
  bool has_connected_pairs = false;
  std::uint64_t terminal_pairs = 0;
  bool has_terminal_pairs = false;
  bool has_pairwise_none_up = false;
};

// A share of pairs, as the report writes it: a number from 0 to 1.
bool read_share(std::string_view text, double& value) {
  return read_number(text, value) && value >= 0.0 && value <= 1.0;
}

bool json_counts(JsonCursor& json, const std::string& what, std::vector<std::int64_t>& values,
                 ReportFault& fault) {
  values.clear();
  if (!json.take('[')) {
    fault = {json.line(), what + " is not an array; expected [0, 1, ...]"};
    return false;
  }
  return json_items(json, what, fault, [&] {
    std::int64_t value = 0;
    if (!json_integer(json, 0, std::numeric_limits<std::int32_t>::max(),
                      "value " + std::to_string(values.size() + 1) + " of " + what, value, fault)) {
      return false;
    }
    values.push_back(value);
    return true;
  });
}

int parse_json(std::string_view text, EstimateResults& results, Gathered& gathered,
               ReportFault& fault) {
  RunInfo& run = results.run;
  const auto read_value = [&](JsonCursor& json, const std::string& key, std::size_t key_line) {
    std::int64_t number = 0;
    if (key == "command" || key == "method") {
      const JsonToken value = json.scalar();
      if (value.kind != JsonToken::Kind::kString || value.text != "estimate") {
        fault = {value.line, "\"" + key + "\" is " + shown(value) +
                                 "; expected \"estimate\", the report of varnak-tools estimate"};
        return KeyValue::kRefused;
      }
    } else if (key == "instance") {
      if (!json.take_null() && !json.string(run.instance_name)) {
        fault = {key_line, "\"instance\" is not a string"};
        return KeyValue::kRefused;
      }
    } else if (key == "srlg_count") {
      if (!json_integer(json, 1, std::numeric_limits<std::int32_t>::max(), "\"" + key + "\"",
                        number, fault)) {
        return KeyValue::kRefused;
      }
      run.srlg_count = static_cast<std::int32_t>(number);
      gathered.has_srlg_count = true;
    } else if (key == "N") {
      if (!json_integer(json, 1, std::numeric_limits<std::int32_t>::max(), "\"" + key + "\"",
                        number, fault)) {
        return KeyValue::kRefused;
      }
      run.sample_size = static_cast<std::int32_t>(number);
      gathered.has_n = true;
    } else if (key == "seed") {
      if (!json_integer(json, 1, std::numeric_limits<std::int32_t>::max(), "\"" + key + "\"",
                        number, fault)) {
        return KeyValue::kRefused;
      }
      run.seed = static_cast<std::int32_t>(number);
      gathered.has_seed = true;
    } else if (key == "threads") {
      if (!json_integer(json, 1, std::numeric_limits<std::int32_t>::max(), "\"" + key + "\"",
                        number, fault)) {
        return KeyValue::kRefused;
      }
      run.thread_count = static_cast<int>(number);
    } else if (key == "seed_drawn") {
      if (!json_bool(json, key, run.seed_drawn, fault)) {
        return KeyValue::kRefused;
      }
    } else if (key == "free_edges_connect") {
      if (!json_bool(json, key, run.free_edges_connect, fault)) {
        return KeyValue::kRefused;
      }
    } else if (key == "elapsed_seconds") {
      if (!json_seconds(json, run.elapsed_seconds, fault)) {
        return KeyValue::kRefused;
      }
    } else if (key == "terminals") {
      if (json.take_null()) {
        return KeyValue::kRead;
      }
      std::vector<JsonToken> items;
      if (!json_tokens(json, "\"terminals\"", items, fault) ||
          !read_terminal_ids(items, run.terminals, fault)) {
        return KeyValue::kRefused;
      }
    } else if (key == "connected_pairs" || key == "terminal_pairs" || key == "pairwise_none_up") {
      if (json.take_null()) {
        return KeyValue::kRead;
      }
      if (key == "terminal_pairs") {
        const JsonToken value = json.scalar();
        std::int64_t pairs = 0;
        if (value.kind != JsonToken::Kind::kBare || !read_integer(value.text, pairs) || pairs < 1) {
          fault = {value.line,
                   "\"terminal_pairs\" is " + shown(value) + "; expected a whole number from 1 up"};
          return KeyValue::kRefused;
        }
        gathered.terminal_pairs = static_cast<std::uint64_t>(pairs);
        gathered.has_terminal_pairs = true;
      } else if (key == "pairwise_none_up") {
        const JsonToken value = json.scalar();
        if (value.kind != JsonToken::Kind::kBare ||
            !read_share(value.text, results.pairwise_none_up)) {
          fault = {value.line,
                   "\"pairwise_none_up\" is " + shown(value) + "; expected a share from 0 to 1"};
          return KeyValue::kRefused;
        }
        gathered.has_pairwise_none_up = true;
      } else {
        std::vector<JsonToken> items;
        if (!json_tokens(json, "\"connected_pairs\"", items, fault)) {
          return KeyValue::kRefused;
        }
        gathered.has_connected_pairs = true;
        for (std::size_t i = 0; i < items.size(); ++i) {
          WideCount count = 0;
          if (items[i].kind != JsonToken::Kind::kBare || !read_wide_count(items[i].text, count)) {
            fault = {items[i].line, "value " + std::to_string(i + 1) +
                                        " of \"connected_pairs\" is " + shown(items[i]) +
                                        "; expected a whole number of pairs"};
            return KeyValue::kRefused;
          }
          gathered.connected_pairs.push_back(count);
        }
      }
    } else if (key == "connected") {
      if (!json_counts(json, "\"connected\"", gathered.connected, fault)) {
        return KeyValue::kRefused;
      }
      gathered.has_connected = true;
    } else if (key == "connected_with" || key == "critical") {
      const bool bim = key == "connected_with";
      std::vector<std::vector<std::int64_t>>& rows =
          bim ? gathered.connected_with : gathered.critical;
      if (!json.take('[')) {
        fault = {key_line, "\"" + key + "\" is not an array of rows"};
        return KeyValue::kRefused;
      }
      (bim ? gathered.has_connected_with : gathered.has_critical) = true;
      if (!json_items(json, key, fault, [&] {
            rows.emplace_back();
            return json_counts(json, "row " + std::to_string(rows.size()) + " of \"" + key + "\"",
                               rows.back(), fault);
          })) {
        return KeyValue::kRefused;
      }
    } else {
      return KeyValue::kUnknown;
    }
    return KeyValue::kRead;
  };
  return read_report_object(text, "estimate's JSON report", read_value, fault);
}

// Splits one CSV line at its commas; the report writes no quoted fields.
std::vector<std::string_view> csv_fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = line.find(',', start);
    fields.push_back(line.substr(start, comma - start));
    if (comma == std::string_view::npos) {
      return fields;
    }
    start = comma + 1;
  }
}

int parse_csv(std::string_view text, EstimateResults& results, Gathered& gathered,
              ReportFault& fault) {
  RunInfo& run = results.run;
  // A repeated run line would let its last value win unseen.
  std::set<std::string, std::less<>> seen_keys;
  std::size_t at = 0;
  std::size_t line_number = 0;
  const auto next_line = [&](std::string_view& line) {
    if (at >= text.size()) {
      return false;
    }
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) {
      end = text.size();
    }
    line = std::string_view(text).substr(at, end - at);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    at = end + 1;
    ++line_number;
    return true;
  };
  std::string_view line;
  // The facts, as `# key: value` lines before the header.
  for (;;) {
    if (!next_line(line)) {
      fault = {line_number,
               "the report ends before its header line; expected "
               "series,srlg,k,value,connected,..."};
      return 1;
    }
    if (line.empty() || line.front() != '#') {
      break;
    }
    const std::size_t colon = line.find(": ");
    if (colon == std::string_view::npos) {
      continue;  // a comment of someone else's
    }
    const std::string_view key = line.substr(2, colon - 2);
    const std::string_view value = line.substr(colon + 2);
    if (!seen_keys.emplace(key).second) {
      fault = {line_number, shown(key) + " is given twice; expected each run line once"};
      return 1;
    }
    std::int64_t number = 0;
    const auto integer = [&](std::int64_t low, std::int64_t& target) {
      if (!read_integer(value, number) || number < low ||
          number > std::numeric_limits<std::int32_t>::max()) {
        fault = {line_number, std::string(key) + " is " + shown(value) +
                                  "; expected a whole number from " + std::to_string(low) +
                                  " to 2147483647"};
        return false;
      }
      target = number;
      return true;
    };
    std::int64_t target = 0;
    if (key == "command" || key == "method") {
      if (value != "estimate") {
        fault = {line_number, std::string(key) + " is " + shown(value) +
                                  "; expected estimate, the report of varnak-tools estimate"};
        return 1;
      }
    } else if (key == "instance") {
      run.instance_name = std::string(value);
    } else if (key == "srlg_count") {
      if (!integer(1, target)) {
        return 1;
      }
      run.srlg_count = static_cast<std::int32_t>(target);
      gathered.has_srlg_count = true;
    } else if (key == "N") {
      if (!integer(1, target)) {
        return 1;
      }
      run.sample_size = static_cast<std::int32_t>(target);
      gathered.has_n = true;
    } else if (key == "seed") {
      if (!integer(1, target)) {
        return 1;
      }
      run.seed = static_cast<std::int32_t>(target);
      gathered.has_seed = true;
    } else if (key == "threads") {
      if (!integer(1, target)) {
        return 1;
      }
      run.thread_count = static_cast<int>(target);
    } else if (key == "seed_drawn" || key == "free_edges_connect") {
      if (value != "true" && value != "false") {
        fault = {line_number,
                 std::string(key) + " is " + shown(value) + "; expected true or false"};
        return 1;
      }
      (key == "seed_drawn" ? run.seed_drawn : run.free_edges_connect) = value == "true";
    } else if (key == "terminals") {
      std::vector<JsonToken> items;
      for (std::size_t start = 0; start <= value.size();) {
        const std::size_t space = std::min(value.find(' ', start), value.size());
        items.push_back({JsonToken::Kind::kBare, value.substr(start, space - start), line_number});
        start = space + 1;
      }
      if (!read_terminal_ids(items, run.terminals, fault)) {
        return 1;
      }
    } else if (key == "terminal_pairs") {
      if (!read_integer(value, number) || number < 1) {
        fault = {line_number,
                 "terminal_pairs is " + shown(value) + "; expected a whole number from 1 up"};
        return 1;
      }
      gathered.terminal_pairs = static_cast<std::uint64_t>(number);
      gathered.has_terminal_pairs = true;
    } else if (key == "pairwise_none_up") {
      if (!read_share(value, results.pairwise_none_up)) {
        fault = {line_number,
                 "pairwise_none_up is " + shown(value) + "; expected a share from 0 to 1"};
        return 1;
      }
      gathered.has_pairwise_none_up = true;
    }
  }
  if (!gathered.has_srlg_count || !gathered.has_n) {
    fault = {line_number, std::string("no # ") + (gathered.has_srlg_count ? "N" : "srlg_count") +
                              " line before the header; expected the report of varnak-tools "
                              "estimate --format csv"};
    return 1;
  }
  const std::vector<std::string_view> header = csv_fields(line);
  const auto column = [&](std::string_view name) {
    for (std::size_t i = 0; i < header.size(); ++i) {
      if (header[i] == name) {
        return static_cast<std::ptrdiff_t>(i);
      }
    }
    return std::ptrdiff_t{-1};
  };
  const std::ptrdiff_t series_column = column("series");
  const std::ptrdiff_t srlg_column = column("srlg");
  const std::ptrdiff_t k_column = column("k");
  const std::ptrdiff_t count_column = column("connected");
  if (series_column < 0 || srlg_column < 0 || k_column < 0 || count_column < 0) {
    fault = {line_number, "the header is " + shown(line) +
                              "; expected the columns series, srlg, k and connected"};
    return 1;
  }
  const std::size_t width = static_cast<std::size_t>(run.srlg_count);
  // Every cell is a line of ten bytes or more, so a file of fewer bytes than cells cannot
  // hold them; the tables allocated below stay in proportion to the file.
  const double cells = static_cast<double>(width) * static_cast<double>(width + 1);
  if (cells > static_cast<double>(text.size() - std::min(at, text.size()))) {
    fault = {0, "srlg_count " + std::to_string(width) + " needs " +
                    std::to_string(static_cast<std::uint64_t>(cells)) +
                    " rows, more than the rest of the file can hold"};
    return 1;
  }
  constexpr std::int64_t kUnset = -1;
  constexpr WideCount kUnsetPairs = ~WideCount{0};
  gathered.connected.assign(width, kUnset);
  gathered.connected_with.assign(width, std::vector<std::int64_t>(width, kUnset));
  gathered.has_connected = gathered.has_connected_with = true;
  const std::size_t columns = header.size();
  while (next_line(line)) {
    if (line.empty()) {
      continue;
    }
    const std::vector<std::string_view> fields = csv_fields(line);
    if (fields.size() != columns) {
      fault = {line_number, "the row " + shown(line) + " has " + std::to_string(fields.size()) +
                                " fields; expected " + std::to_string(columns)};
      return 1;
    }
    const std::string_view series = fields[static_cast<std::size_t>(series_column)];
    if (series == "pairwise") {
      // The connected pairs of --pairwise, summed over the samples, by k.
      std::int64_t k = 0;
      WideCount pairs = 0;
      const std::string_view k_text = fields[static_cast<std::size_t>(k_column)];
      const std::string_view pairs_text = fields[static_cast<std::size_t>(count_column)];
      if (!read_integer(k_text, k) || k < 1 || k > run.srlg_count) {
        fault = {line_number, "k is " + shown(k_text) + "; expected 1 to " + std::to_string(width)};
        return 1;
      }
      if (!read_wide_count(pairs_text, pairs)) {
        fault = {line_number,
                 "connected is " + shown(pairs_text) + "; expected a whole number of pairs"};
        return 1;
      }
      if (gathered.connected_pairs.empty()) {
        gathered.connected_pairs.assign(width, kUnsetPairs);
        gathered.has_connected_pairs = true;
      }
      WideCount& cell = gathered.connected_pairs[static_cast<std::size_t>(k - 1)];
      if (cell != kUnsetPairs) {
        fault = {line_number,
                 "a second pairwise row for k " + std::to_string(k) + "; expected each once"};
        return 1;
      }
      cell = pairs;
      continue;
    }
    const bool critical = series == "critical";
    const bool bim = series == "bim" || critical;
    if (!bim && series != "spectrum") {
      fault = {line_number, "series is " + shown(series) + "; expected spectrum, bim or critical"};
      return 1;
    }
    if (critical && !gathered.has_critical) {
      // Written only where not 0.
      gathered.critical.assign(width, std::vector<std::int64_t>(width, kUnset));
      gathered.has_critical = true;
    }
    std::int64_t k = 0;
    std::int64_t srlg = 0;
    std::int64_t count = 0;
    const std::string_view k_text = fields[static_cast<std::size_t>(k_column)];
    const std::string_view srlg_text = fields[static_cast<std::size_t>(srlg_column)];
    const std::string_view count_text = fields[static_cast<std::size_t>(count_column)];
    if (!read_integer(k_text, k) || k < 1 || k > run.srlg_count) {
      fault = {line_number, "k is " + shown(k_text) + "; expected 1 to " + std::to_string(width)};
      return 1;
    }
    if (bim ? !read_integer(srlg_text, srlg) || srlg < 1 || srlg > run.srlg_count
            : !srlg_text.empty()) {
      fault = {line_number,
               "srlg is " + shown(srlg_text) + "; expected " +
                   (bim ? "1 to " + std::to_string(width) : "nothing on a spectrum row")};
      return 1;
    }
    if (!read_integer(count_text, count) || count < 0 || count > run.sample_size) {
      fault = {line_number,
               "connected is " + shown(count_text) +
                   "; expected a count from 0 to N = " + std::to_string(run.sample_size)};
      return 1;
    }
    std::int64_t& cell =
        bim ? (critical ? gathered.critical : gathered.connected_with)[static_cast<std::size_t>(
                  srlg - 1)][static_cast<std::size_t>(k - 1)]
            : gathered.connected[static_cast<std::size_t>(k - 1)];
    if (cell != kUnset) {
      fault = {line_number, "a second " + std::string(series) + " row for " +
                                (bim ? "srlg " + std::to_string(srlg) + ", " : std::string()) +
                                "k " + std::to_string(k) + "; expected each once"};
      return 1;
    }
    cell = count;
  }
  for (std::size_t j = 0; j < width; ++j) {
    if (gathered.connected[j] == kUnset) {
      fault = {0, "no spectrum row for k " + std::to_string(j + 1)};
      return 1;
    }
    if (gathered.has_connected_pairs && gathered.connected_pairs[j] == kUnsetPairs) {
      fault = {0, "no pairwise row for k " + std::to_string(j + 1)};
      return 1;
    }
    for (std::size_t s = 0; s < width; ++s) {
      if (gathered.connected_with[s][j] == kUnset) {
        fault = {0,
                 "no bim row for srlg " + std::to_string(s + 1) + ", k " + std::to_string(j + 1)};
        return 1;
      }
    }
  }
  for (std::vector<std::int64_t>& row : gathered.critical) {
    std::replace(row.begin(), row.end(), kUnset, std::int64_t{0});
  }
  return 0;
}

// The terminals and the pair counts of --pairwise, which a report has together or not at
// all: each sample joins at most C(T, 2) pairs, all of them once it is connected, and a
// sample's joined pairs never fall as SRLGs come up.
int check_pairs(const RunInfo& run, const Gathered& gathered, ReportFault& fault) {
  if (!check_terminal_set(run.terminals, fault)) {
    return 1;
  }
  const bool any =
      gathered.has_connected_pairs || gathered.has_terminal_pairs || gathered.has_pairwise_none_up;
  if (!any) {
    return 0;
  }
  if (!gathered.has_connected_pairs || !gathered.has_terminal_pairs ||
      !gathered.has_pairwise_none_up) {
    fault = {0, std::string("no \"") +
                    (!gathered.has_connected_pairs  ? "connected_pairs"
                     : !gathered.has_terminal_pairs ? "terminal_pairs"
                                                    : "pairwise_none_up") +
                    "\" beside the other pairwise figures; expected all three of --pairwise"};
    return 1;
  }
  const std::int64_t terminal_count = static_cast<std::int64_t>(run.terminals.size());
  if (!run.terminals.empty() && gathered.terminal_pairs != pairs_among(terminal_count)) {
    fault = {0, "terminal_pairs is " + std::to_string(gathered.terminal_pairs) + ", but " +
                    std::to_string(terminal_count) + " terminals make " +
                    std::to_string(pairs_among(terminal_count)) + " pairs"};
    return 1;
  }
  const std::size_t width = static_cast<std::size_t>(run.srlg_count);
  if (gathered.connected_pairs.size() != width) {
    fault = {0, "\"connected_pairs\" holds " + std::to_string(gathered.connected_pairs.size()) +
                    " counts; expected srlg_count, " + std::to_string(width)};
    return 1;
  }
  const WideCount per_sample = gathered.terminal_pairs;
  const WideCount most = per_sample * static_cast<WideCount>(run.sample_size);
  for (std::size_t j = 0; j < width; ++j) {
    const WideCount pairs = gathered.connected_pairs[j];
    const WideCount joined_by_connected =
        per_sample * static_cast<WideCount>(gathered.connected[j]);
    if (pairs > most || pairs < joined_by_connected ||
        (j > 0 && pairs < gathered.connected_pairs[j - 1])) {
      fault = {0, "connected pairs count " + std::to_string(j + 1) + " is " +
                      wide_count_text(pairs) + "; expected from " +
                      wide_count_text(joined_by_connected) + " (the connected samples' pairs) to " +
                      wide_count_text(most) + " and no less than the one before"};
      return 1;
    }
  }
  return 0;
}

// Each sample that connects does so at one position, with the SRLG there, unless the free
// edges connected it before any SRLG: so, at each position, the SRLGs' counts add up to
// the samples that first connect there, or are all 0.
int check_critical(const RunInfo& run, const Gathered& gathered, ReportFault& fault) {
  if (!gathered.has_critical) {
    return 0;
  }
  const std::size_t width = static_cast<std::size_t>(run.srlg_count);
  if (gathered.critical.size() != width) {
    fault = {0, "srlg_count is " + std::to_string(width) + " but \"critical\" holds " +
                    std::to_string(gathered.critical.size()) + " rows"};
    return 1;
  }
  std::vector<std::int64_t> column_sums(width, 0);
  for (std::size_t s = 0; s < width; ++s) {
    const std::vector<std::int64_t>& row = gathered.critical[s];
    if (row.size() != width) {
      fault = {0, "critical row " + std::to_string(s + 1) + " holds " + std::to_string(row.size()) +
                      " counts; expected " + std::to_string(width)};
      return 1;
    }
    for (std::size_t j = 0; j < width; ++j) {
      column_sums[j] += row[j];
    }
  }
  for (std::size_t j = 0; j < width; ++j) {
    const std::int64_t first_here =
        run.free_edges_connect ? 0
                               : gathered.connected[j] - (j > 0 ? gathered.connected[j - 1] : 0);
    if (column_sums[j] != first_here) {
      fault = {0, "critical column " + std::to_string(j + 1) + " adds up to " +
                      std::to_string(column_sums[j]) + "; expected the " +
                      std::to_string(first_here) + " samples that first connect there"};
      return 1;
    }
  }
  return 0;
}

// The counts that no run can give are refused here, whatever format they came in.
int check_counts(EstimateResults& results, Gathered& gathered, ReportFault& fault) {
  const RunInfo& run = results.run;
  // The seed too: a report without one would be written again with seed 0, which no run
  // has and this reader refuses.
  if (!gathered.has_srlg_count || !gathered.has_n || !gathered.has_seed ||
      !gathered.has_connected || !gathered.has_connected_with) {
    fault = {0, std::string("no \"") +
                    (!gathered.has_srlg_count  ? "srlg_count"
                     : !gathered.has_n         ? "N"
                     : !gathered.has_seed      ? "seed"
                     : !gathered.has_connected ? "connected"
                                               : "connected_with") +
                    "\"; expected the report of varnak-tools estimate with its counts"};
    return 1;
  }
  const std::size_t width = static_cast<std::size_t>(run.srlg_count);
  if (gathered.connected.size() != width || gathered.connected_with.size() != width) {
    fault = {0, "srlg_count is " + std::to_string(width) + " but \"connected\" holds " +
                    std::to_string(gathered.connected.size()) + " counts and \"connected_with\" " +
                    std::to_string(gathered.connected_with.size()) + " rows"};
    return 1;
  }
  const std::int64_t n = run.sample_size;
  std::vector<std::int64_t> column_sums(width, 0);
  for (std::size_t j = 0; j < width; ++j) {
    const std::int64_t connected = gathered.connected[j];
    if (connected > n || (j > 0 && connected < gathered.connected[j - 1])) {
      fault = {0, "connected count " + std::to_string(j + 1) + " is " + std::to_string(connected) +
                      "; expected at most N = " + std::to_string(n) +
                      " and no less than the one before"};
      return 1;
    }
  }
  if (run.free_edges_connect && gathered.connected.front() != n) {
    fault = {0, "free_edges_connect is true, but only " +
                    std::to_string(gathered.connected.front()) + " of " + std::to_string(n) +
                    " samples are connected with one SRLG up"};
    return 1;
  }
  for (std::size_t s = 0; s < width; ++s) {
    const std::vector<std::int64_t>& row = gathered.connected_with[s];
    if (row.size() != width) {
      fault = {0, "connected_with row " + std::to_string(s + 1) + " holds " +
                      std::to_string(row.size()) + " counts; expected " + std::to_string(width)};
      return 1;
    }
    for (std::size_t j = 0; j < width; ++j) {
      if (row[j] > gathered.connected[j] || (j > 0 && row[j] < row[j - 1])) {
        fault = {0, "connected_with count (" + std::to_string(s + 1) + ", " +
                        std::to_string(j + 1) + ") is " + std::to_string(row[j]) +
                        "; expected at most the spectrum's " +
                        std::to_string(gathered.connected[j]) + " and no less than the one before"};
        return 1;
      }
      column_sums[j] += row[j];
    }
    if (row.back() != gathered.connected.back()) {
      fault = {0, "connected_with row " + std::to_string(s + 1) + " ends on " +
                      std::to_string(row.back()) +
                      "; with every SRLG up it must be the spectrum's " +
                      std::to_string(gathered.connected.back())};
      return 1;
    }
  }
  for (std::size_t j = 0; j < width; ++j) {
    // Each connected sample with j+1 SRLGs up counts once for each of them.
    if (column_sums[j] != static_cast<std::int64_t>(j + 1) * gathered.connected[j]) {
      fault = {0, "connected_with column " + std::to_string(j + 1) + " adds up to " +
                      std::to_string(column_sums[j]) + "; expected " + std::to_string(j + 1) +
                      " times " + std::to_string(gathered.connected[j])};
      return 1;
    }
  }
  if (check_pairs(run, gathered, fault) != 0 || check_critical(run, gathered, fault) != 0) {
    return 1;
  }
  SpectraCounts& counts = results.counts;
  counts.srlg_count = run.srlg_count;
  counts.sample_size = run.sample_size;
  counts.connected_pairs = std::move(gathered.connected_pairs);
  counts.terminal_pairs = gathered.has_connected_pairs ? gathered.terminal_pairs : 0;
  counts.connected = std::move(gathered.connected);
  counts.connected_with.resize(width * width);
  for (std::size_t s = 0; s < width; ++s) {
    for (std::size_t j = 0; j < width; ++j) {
      counts.connected_with[s * width + j] =
          static_cast<std::int32_t>(gathered.connected_with[s][j]);
    }
  }
  counts.critical.clear();
  if (gathered.has_critical) {
    counts.critical.resize(width * width);
    for (std::size_t s = 0; s < width; ++s) {
      for (std::size_t j = 0; j < width; ++j) {
        counts.critical[s * width + j] = static_cast<std::int32_t>(gathered.critical[s][j]);
      }
    }
  }
  return 0;
}

}  // namespace

int parse_estimate_results(std::string_view report, const std::string& file_name,
                           EstimateResults& results, std::string& failure) {
  const std::string_view text = without_byte_order_mark(report);
  results = {};
  results.run.method = "estimate";
  results.run.sampled = true;
  results.run.results_file = file_name;
  results.run.elapsed_seconds = std::numeric_limits<double>::quiet_NaN();
  Gathered gathered;
  ReportFault fault;
  std::size_t first = text.find_first_not_of(" \t\r\n");
  const bool json = first != std::string_view::npos && text[first] == '{';
  int code = 0;
  if (first != std::string_view::npos && text[first] == '<') {
    fault = {0,
             "this is an XML file; expected estimate's JSON or CSV report (read Varnak's XML "
             "result files with --xml)"};
    code = 1;
  } else {
    code = json ? parse_json(text, results, gathered, fault)
                : parse_csv(text, results, gathered, fault);
  }
  if (code == 0) {
    code = check_counts(results, gathered, fault);
  }
  if (code != 0) {
    failure = report_failure(file_name, fault);
  }
  return code;
}

int check_estimate_counts(const RunInfo& run, const SpectraCounts& counts, std::string& failure) {
  EstimateResults results;
  results.run = run;
  results.run.srlg_count = counts.srlg_count;
  results.run.sample_size = counts.sample_size;
  Gathered gathered;
  gathered.has_srlg_count = gathered.has_n = gathered.has_seed = true;
  gathered.has_connected = gathered.has_connected_with = true;
  gathered.connected = counts.connected;
  const auto width = static_cast<std::size_t>(std::max(counts.srlg_count, 0));
  if (counts.connected_with.size() != width * width) {
    failure = "connected_with holds " + std::to_string(counts.connected_with.size()) +
              " counts; expected srlg_count squared, " + std::to_string(width * width);
    return 1;
  }
  for (std::size_t s = 0; s < width; ++s) {
    gathered.connected_with.emplace_back(counts.connected_with.begin() + s * width,
                                         counts.connected_with.begin() + (s + 1) * width);
  }
  if (!counts.critical.empty()) {
    if (counts.critical.size() != width * width) {
      failure = "critical holds " + std::to_string(counts.critical.size()) +
                " counts; expected srlg_count squared, " + std::to_string(width * width);
      return 1;
    }
    gathered.has_critical = true;
    for (std::size_t s = 0; s < width; ++s) {
      gathered.critical.emplace_back(counts.critical.begin() + s * width,
                                     counts.critical.begin() + (s + 1) * width);
    }
  }
  const bool pairwise = !counts.connected_pairs.empty();
  gathered.connected_pairs = counts.connected_pairs;
  gathered.has_connected_pairs = gathered.has_terminal_pairs = gathered.has_pairwise_none_up =
      pairwise;
  gathered.terminal_pairs = counts.terminal_pairs;
  ReportFault fault;
  if (counts.sample_size < 1) {
    fault = {0, "N is " + std::to_string(counts.sample_size) + "; expected 1 or more"};
  } else if (std::any_of(counts.connected.begin(), counts.connected.end(),
                         [](std::int64_t count) { return count < 0; }) ||
             std::any_of(counts.connected_with.begin(), counts.connected_with.end(),
                         [](std::int32_t count) { return count < 0; }) ||
             std::any_of(counts.critical.begin(), counts.critical.end(),
                         [](std::int32_t count) { return count < 0; })) {
    fault = {0, "a count is below 0; expected counts from 0 to N"};
  } else if (check_counts(results, gathered, fault) == 0) {
    return 0;
  }
  failure = fault.reason;
  return 1;
}

}  // namespace varnak
