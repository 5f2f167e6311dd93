#include "output/spectra_report.hpp"

#include "output/exact_results.hpp"
#include "output/report_json.hpp"
#include "output/report_keys.hpp"

namespace varnak {

int parse_spectra_report(std::string_view text, const std::string& file_name, SpectraReport& report,
                         std::string& failure) {
  namespace key = report_keys;
  // A report that names no command is read as an estimate's, as the CSV reports are.
  const JsonToken command = report_command(text);
  const bool named = command.kind == JsonToken::Kind::kString;
  report.exact = named && command.text == key::kExactCommand;
  if (report.exact) {
    return parse_exact_results(text, file_name, report.exact_report, failure);
  }
  if (command.kind != JsonToken::Kind::kOther &&
      !(named && command.text == key::kEstimateCommand)) {
    failure = report_failure(file_name, {command.line, "\"command\" is " + shown(command) +
                                                           "; expected \"estimate\" or \"exact\", "
                                                           "a report that holds spectra"});
    return 1;
  }
  return parse_estimate_results(text, file_name, report.estimate, failure);
}

int read_spectra_report(const std::string& path, SpectraReport& report, std::string& failure) {
  std::string text;
  if (read_report_text(path, "a JSON or CSV report of varnak-tools estimate, or exact's JSON", text,
                       failure) != 0) {
    return 1;
  }
  return parse_spectra_report(text, path, report, failure);
}

}  // namespace varnak
