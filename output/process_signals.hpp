#pragma once

#include <string>

namespace varnak {

// The signal dispositions both executables share, set once at the start of main:
// - SIGXFSZ and SIGPIPE are ignored, so that a write past a file-size limit or into a pipe
//   whose reader has gone fails with an error that is reported, instead of ending the
//   process without a word;
// - SIGTERM, SIGINT and SIGHUP first remove the temporary file of a result file being
//   written, then end the process as the signal would have. A signal that the parent left
//   ignored stays ignored.
void prepare_process_signals();

// Names the temporary file that a signal is to remove, from before it is created until it
// has been renamed or removed. Only one is named at a time; a path longer than PATH_MAX
// (which no file can have) is not named.
void name_temporary_file(const std::string& path);
void forget_temporary_file();

}  // namespace varnak
