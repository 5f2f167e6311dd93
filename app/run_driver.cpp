#include "app/run_driver.hpp"

#include <chrono>
#include <cstdint>
#include <exception>
#include <iostream>
#include <new>
#include <string>

#include "app/console_report.hpp"
#include "app/run_options.hpp"
#include "estimation/memory_check.hpp"
#include "estimation/spectra_estimator.hpp"
#include "instance/instance_reader.hpp"
#include "output/xml_report.hpp"

namespace varnak {
namespace {

using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>;

std::int64_t now_in_ticks() {
  return std::chrono::duration_cast<Ticks>(ElapsedClock::now().time_since_epoch()).count();
}

// The run itself; run_varnak adds the check that `out` took everything written to it.
int run_to(int argc, const char* const* argv, std::ostream& out) {
  RunOptions options;
  NetworkInstance instance;
  const std::int64_t start_ticks = now_in_ticks();

  if (read_run_options(argc, argv, options, out) == 1) {
    return 1;
  }
  switch (load_instance(options.graph_path, instance, out)) {
    case kLoadOk:
      break;
    case kLoadCannotOpen:
      return 1;
    default:
      out << "Error loading file" << std::endl;
      return 1;
  }
  if (std::string message;
      !estimate_fits_in_memory({instance.srlg_count, options.sample_size, 1, 1}, false, message)) {
    out << "Not enough memory: " << message << std::endl;
    return 1;
  }

  try {
    // The counts are the run's state; the BIM doubles are made a row at a time as each
    // output is written, never held as a second table.
    const SpectraCounts counts = estimate_counts(options.sample_size, options.seed, instance);
    const double elapsed_seconds = static_cast<double>(now_in_ticks() - start_ticks) / 10000000.0;
    SpectraVector spectrum;
    spectrum_of(counts, spectrum);
    const BimRowSource rows = bim_rows_of(counts);

    std::string write_failure;
    const int written =
        options.xml_requested
            ? write_xml_report(options.output_path, spectrum, rows, elapsed_seconds, write_failure)
            : 0;
    // The report comes first and in full, so that a failed file loses no result.
    print_console_report(out, spectrum, rows, elapsed_seconds);
    if (written != 0) {
      out << write_failure << std::endl;
      // The one line that says the file is missing must be read somewhere.
      if (!out) {
        std::cerr << write_failure << std::endl;
      }
      return 1;
    }
  } catch (const std::bad_alloc&) {
    out << "Not enough memory to finish the estimation of " << instance.srlg_count << " SRLGs"
        << std::endl;
    return 1;
  } catch (const std::exception& error) {
    out << "Estimation failed: " << error.what() << std::endl;
    return 1;
  }
  return 0;
}

}  // namespace

int run_varnak(int argc, const char* const* argv, std::ostream& out) {
  const int code = run_to(argc, argv, out);
  // Whatever could not be written (a full disk, a closed pipe) is lost: say so where it
  // can still be read.
  if (!out.flush()) {
    std::cerr << "Error writing the report to standard output" << std::endl;
    return 1;
  }
  return code;
}

}  // namespace varnak
