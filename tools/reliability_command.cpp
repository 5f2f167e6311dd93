#include <cstdint>
#include <string>
#include <vector>

#include "common/machine_cores.hpp"
#include "runs/reliability_run.hpp"
#include "tools/command_line.hpp"

namespace varnak {
namespace {

constexpr const char* kReliabilityHelp =
    "Usage: varnak-tools reliability (--xml FILE | --results FILE |\n"
    "                                 --graph FILE (--exact | --N SAMPLES))\n"
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
    "importance at that p.\n"
    "\n"
    "Estimated figures come with 95% intervals made from the sample counts: with --N,\n"
    "or from the JSON or CSV report of varnak-tools estimate (--results), which keeps\n"
    "them. A rank is resolved when the intervals keep its SRLG apart from all others.\n"
    "The JSON report of varnak-tools exact (--results) gives the exact figures.\n"
    "An XML file keeps no counts, so its figures have no intervals.\n"
    "\n"
    "With --graph, --terminals makes connected mean those vertices in one piece, and\n"
    "--pairwise adds the expected share of terminal pairs (all vertex pairs without\n"
    "--terminals) connected at each p, from the pairwise shares pi_k as R(p) comes\n"
    "from y_k: sum over k of C(S,k) p^k (1-p)^(S-k) pi_k.\n"
    "\n"
    "With --graph, --exact and --srlg-p FILE, each SRLG s is up with its own\n"
    "probability p_s, read from FILE's lines 'id,p' (one for every SRLG; empty lines and\n"
    "lines starting with # are passed over). R and every SRLG's importance are then\n"
    "computed exactly from the decision diagram over the SRLGs, without spectra, with\n"
    "--terminals if given; --pairwise is refused.\n";

}  // namespace

int run_reliability_command(ToolsConsole& console, const std::vector<std::string>& args) {
  const std::string command = "reliability";
  po::options_description options("Options");
  add_terminal_options(options);
  options.add_options()("xml", po::value<std::string>(), "a Varnak XML result file")(
      "results", po::value<std::string>(),
      "the JSON or CSV report of varnak-tools estimate, or exact's JSON report")(
      "free-connected", po::value<std::string>()->default_value("no"),
      "with --xml: yes when the edges in no SRLG connect the network alone")(
      "graph", po::value<std::string>(), "an instance file")(
      "exact", "with --graph: exact spectra")("N", po::value<std::int32_t>(),
                                              "with --graph: estimate with this sample size")(
      "seed", po::value<std::int32_t>(), "with --N: seed (default: drawn and shown)")(
      "threads", po::value<int>()->default_value(machine_cores(), "the machine's cores"),
      "with --N: threads that share the samples")(
      "p", po::value<std::vector<std::string>>()->composing(),
      "p values, repeatable or comma-separated")("grid", po::value<std::int32_t>(),
                                                 "R(p) at this many evenly spaced p from 0 to 1")(
      "rank-at", po::value<std::string>(), "rank the SRLGs by importance at this p")(
      "top", po::value<std::int32_t>()->default_value(kDefaultTop),
      "with --rank-at or --srlg-p: SRLGs shown, 0 for all")(
      "tail-exact", po::value<std::string>()->implicit_value("auto"),
      "with --N: count the failures of up to this many SRLGs exactly (auto: as many as a "
      "fraction of a second allows)")(
      "rel-error", po::value<double>(),
      "with --N: double N until the 95% half-width of 1 - R(p) is at most this share of it, "
      "or the --top ranks are resolved; p is --rank-at's, or the one --p value")(
      "max-N", po::value<std::int32_t>(), "with --rel-error: the largest N tried (required)")(
      "srlg-p", po::value<std::string>(),
      "with --graph and --exact: file of 'id,p' lines, each SRLG's own probability");
  add_exact_options(options);
  add_report_options(options);
  po::variables_map given;
  if (const int code = parse_options(console, command, kReliabilityHelp, options, args, given);
      code >= 0) {
    return code;
  }
  ReportOptions report_options;
  if (const int code = read_report_options(console, command, given, report_options); code >= 0) {
    return code;
  }
  ReliabilityRequest request;
  request.xml_path = given_value<std::string>(given, "xml");
  request.results_path = given_value<std::string>(given, "results");
  if (const auto graph = given_value<std::string>(given, "graph")) {
    request.graph = InstanceSource{*graph, nullptr, ""};
  }
  request.exact = given.count("exact") != 0;
  request.sampling = sampling_request(given);
  request.free_connected = given_value<std::string>(given, "free-connected");
  request.exact_options = exact_request_options(given);
  request.terminals = terminal_request(given);
  request.p = given_value<std::vector<std::string>>(given, "p");
  request.grid = given_value<std::int32_t>(given, "grid");
  request.rank_at = given_value<std::string>(given, "rank-at");
  request.top = given["top"].as<std::int32_t>();
  request.tail_exact = given_value<std::string>(given, "tail-exact");
  request.rel_error = given_value<double>(given, "rel-error");
  request.max_sample_size = given_value<std::int32_t>(given, "max-N");
  request.srlg_probabilities = given_value<std::string>(given, "srlg-p");
  ReliabilityReport report;
  std::string message;
  if (const int code = run_reliability(request, run_context(console), report, message);
      code != kExitSuccess) {
    return report_refusal(console, command, code, message);
  }
  return write_report(console, command, report_options,
                      [&report, &report_options](std::ostream& out) {
                        write_reliability_report(out, report, report_options.format);
                      });
}

}  // namespace varnak
