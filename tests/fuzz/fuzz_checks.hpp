#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "estimation/spectra_estimator.hpp"

namespace varnak::fuzz {

// What a checked input turned out to be.
enum class Outcome {
  kSkipped,   // instance: an ENUM that the reader accepts but builds a huge edge table for;
              // tools: a word naming another folder, or a number that asks for a long run
  kAccepted,  // instance: loaded; command line: the run goes on
  kRefused,   // instance: refused with a message; command line: the run stops
};

struct CheckResult {
  Outcome outcome = Outcome::kSkipped;
  std::string violation;  // empty when every invariant held; else what went wrong
};

// The results of one estimation.
struct Estimates {
  SpectraVector spectrum;
  BimSpectraMatrix bim_spectra;
};

// Checks what must hold for any estimate over `srlg_count` SRLGs from `samples` samples;
// returns the first broken invariant, or an empty text.
std::string check_estimates(const Estimates& estimates, std::int32_t srlg_count,
                            std::int32_t samples);

// Loads `data` as an instance file and, when it is accepted and small enough, runs a short
// estimation (1 to 20 samples, a seed taken from the bytes) and checks the results against
// the invariants of a Monte Carlo spectrum, the threaded estimator and the plain reference
// transcription.
CheckResult check_instance_input(const std::uint8_t* data, std::size_t size);

// Splits `data` at line feeds into command-line words after the program name and reads
// them into run options; checks the result, the printed text and the options.
CheckResult check_command_line_input(const std::uint8_t* data, std::size_t size);

// Checks the CSV results of a varnak-tools command (after its "# key: value" lines): each
// probability column in [0, 1], an importance and its interval in [-1, 1]. Returns the
// first fault, or an empty text.
std::string check_csv_values(std::string_view csv);

// Reads `data` as a Varnak XML result file. A refusal must be one line naming the file and
// a line of the input; an accepted file must hold values in [0, 1], give R(p) and the
// importances in [0, 1], and read back to the same doubles once written as Varnak writes.
CheckResult check_xml_results_input(const std::uint8_t* data, std::size_t size);

// Reads `data` as the JSON or CSV report of varnak-tools estimate. A refusal must be one
// line naming the file and a line of the input; accepted counts must lie in 0..N and give
// probabilities, and the report written again in JSON and in CSV must read back to the same
// counts.
CheckResult check_estimate_results_input(const std::uint8_t* data, std::size_t size);

// Reads `data` as the JSON report of varnak-tools exact, and as a report that holds spectra.
// A refusal must be one line naming the file and a line of the input, and both readers
// must give the same outcome; an accepted report must hold shares in [0, 1] that are the
// quotients of its counts, give R(p) and the importances in [0, 1], and read back the same
// once written as exact writes it.
CheckResult check_exact_results_input(const std::uint8_t* data, std::size_t size);

// Reads `data` as an SRLG probability file ("id,p" lines) for as many SRLGs as lines that
// start with a digit, or for N SRLGs after a first line "# srlgs N". A refusal must be one line
// naming a line of the input, or naming the SRLG that is missing; an accepted file must give each
// SRLG a probability in [0, 1] that reads back the same once written with every digit.
CheckResult check_srlg_probabilities_input(const std::uint8_t* data, std::size_t size);

// Reads `data` as a terminal file (--terminals @FILE) and, when it holds no NUL byte, as
// the comma list of --terminals, over 16 vertices (inputs of even length) or 2^31-1 (odd).
// A refusal must be one line, naming a line of the file where it names one; accepted
// terminals must be at least two, distinct, in range, and read back the same once written
// as a comma list. The outcome is the file's.
CheckResult check_terminals_input(const std::uint8_t* data, std::size_t size);

// Splits `data` at line feeds into the words after `varnak-tools COMMAND` and runs the
// command in a scratch folder (made the working directory on the first call) that holds
// ring.txt, the four-vertex ring, ring.p, a probability for each of its SRLGs, and its
// results: ring.xml as Varnak writes them, ring.json
// and ring.csv as `estimate` reports them. (A fuzzer of this kind must be given its corpus
// and artifact folders as absolute paths.) Inputs with a word that names
// another folder, or a number above 64 (samples, threads, points), are passed over. A
// success must print results, CSV values in [0, 1], and leave only whole result files; a
// refusal must print nothing on the results stream, one message that names the command,
// and leave no file.
CheckResult check_tools_input(const char* command, const std::uint8_t* data, std::size_t size);

}  // namespace varnak::fuzz
