#include "app/run_options.hpp"

#include <boost/program_options.hpp>

#include <exception>
#include <ostream>
#include <string>

namespace varnak {
namespace {

namespace po = boost::program_options;

// The banner is the caption of the options description, so it shows only with the help
// text and after a rejected command line; a normal run prints none. The closing asterisks
// sit in column 68; the trailing spaces after some of them are part of the known output.
std::string banner() {
  std::string text = "\n******************************************************************** \n";
  text += "* Varnak package for Shared Risk Reliability and Sensitivity       * \n";
  text += "* Spectra estimation                                               * \n";
  text += "* Varnak developers                                                * \n";
  text += "* Documentation: README.md of the Varnak sources                   *\n";
  text += "********************************************************************";
  text += "\nAllowed options";
  return text;
}

constexpr const char* kUsageExample =
    " (Usage example: Varnak --graph <path to grpah> --N <sample size> --seed <seed> "
    "--outpath <outpath for external output analysis>)";

// The library's default line length; half of it keeps the descriptions in one column.
constexpr unsigned kLineLength = 80;
constexpr unsigned kMinDescriptionLength = 40;

}  // namespace

int read_run_options(int argc, const char* const* argv, RunOptions& options, std::ostream& out) {
  po::options_description description(banner(), kLineLength, kMinDescriptionLength);
  description.add_options()("help", "produce help message")(
      "graph", po::value<std::string>(&options.graph_path), "input graph instance file")(
      "N", po::value<int>(&options.sample_size), "sample size")(
      "seed", po::value<int>(&options.seed), "random number generator seed (default is none)")(
      "outpath", po::value<std::string>(&options.output_path), "output file (optional)");

  try {
    po::variables_map given;
    // An empty positional description makes a stray word, such as a path whose --outpath
    // was forgotten, an error instead of a word silently passed over.
    const po::positional_options_description no_positionals;
    po::store(
        po::command_line_parser(argc, argv).options(description).positional(no_positionals).run(),
        given);
    // Values reach the fields only here, so a rejected command line leaves them untouched.
    po::notify(given);

    if (given.count("help") != 0 || given.empty()) {
      out << description << std::endl;
      out << kUsageExample << std::endl;
      return 1;
    }
    if (given.count("outpath") != 0) {
      options.xml_requested = true;
    }
    // A seed of 0 passes: like the default -1 it leaves the generator seeded at random.
    if (given.count("seed") != 0 && options.seed < 0) {
      out << "The seed should be positive integer." << std::endl;
      return 1;
    }
    if (given.count("N") == 0) {
      out << "No input sample size was specified" << std::endl;
      return 1;
    }
    // Every estimate is a count of connected samples times 1/N: without a sample there is none.
    if (options.sample_size < 1) {
      out << "The sample size should be positive integer." << std::endl;
      return 1;
    }
    if (given.count("graph") == 0) {
      out << "No input graph was specified" << std::endl;
      return 1;
    }
    return 0;
  } catch (const std::exception&) {
    // The library's own message is not shown; the description tells the user what is allowed.
    out << description << "\n";
    return 1;
  }
}

}  // namespace varnak
