#include "output/xml_report.hpp"
#include "output/xml_names.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/number_format.hpp"
#include "output/process_signals.hpp"

namespace varnak {
namespace {

// What one document holds; the BIM rows are asked for one at a time as they are written.
struct XmlDocument {
  const SpectraVector& spectrum;
  const BimRowSource& rows;
  double elapsed_seconds;
};

// Takes the next piece of the document; false when it could not be written, errno set.
using PieceSink = std::function<bool(std::string_view piece)>;

// Pieces of about this size go to the sink: few system calls, little memory.
constexpr std::size_t kPieceBytes = std::size_t{1} << 16;

// The row values: six decimals (printf "%f").
constexpr int kRowDecimals = 6;
// The time as Boost.PropertyTree put a double, which earlier files had: 17 significant
// digits, enough to give back the same double.
constexpr int kTimePrecision = 17;

void open_element(std::string& text, std::string_view name) {
  text += '<';
  text += name;
  text += '>';
}

void close_element(std::string& text, std::string_view name) {
  text += "</";
  text += name;
  text += '>';
}

void append_values(std::string& text, const std::vector<double>& values, std::size_t count) {
  for (std::size_t j = 0; j < count; ++j) {
    if (j > 0) {
      text += ',';
    }
    append_fixed(text, values[j], kRowDecimals);
  }
}

// The whole document, handed to `sink` in pieces as the rows are formatted, so that only one
// row of doubles and about one piece of text are held at a time. False when the sink failed.
bool produce_document(const XmlDocument& results, const PieceSink& sink) {
  namespace names = xml_names;
  const std::size_t n = results.spectrum.size();
  std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<";
  text += names::kRoot;
  text += ' ';
  text += names::kVersionAttribute;
  text += "=\"";
  text += names::kVersion;
  text += "\">";
  open_element(text, names::kSrlgCount);
  append_integer(text, static_cast<std::uint32_t>(n));
  close_element(text, names::kSrlgCount);
  open_element(text, names::kTimeSeconds);
  append_general(text, results.elapsed_seconds, kTimePrecision);
  close_element(text, names::kTimeSeconds);
  open_element(text, names::kRows);
  if (n == 0) {
    // An element without text, as Boost.PropertyTree wrote it in earlier files.
    text += '<';
    text += names::kSpectrumRow;
    text += "/>";
  } else {
    open_element(text, names::kSpectrumRow);
    append_values(text, results.spectrum, n);
    close_element(text, names::kSpectrumRow);
  }
  SpectraVector row;
  for (std::size_t i = 0; i < n; ++i) {
    results.rows(i, row);
    text += '<';
    text += names::kBimRow;
    text += ' ';
    text += names::kIdAttribute;
    text += "=\"";
    append_integer(text, static_cast<std::int32_t>(i + 1));
    text += "\">";
    append_values(text, row, n);
    close_element(text, names::kBimRow);
    if (text.size() >= kPieceBytes) {
      if (!sink(text)) {
        return false;
      }
      text.clear();
    }
  }
  close_element(text, names::kRows);
  close_element(text, names::kRoot);
  return sink(text);
}

int fail(const std::string& path, int error, std::string& failure) {
  failure = "Error writing output file " + path + ": " + std::strerror(error);
  return 1;
}

// Writes everything, resuming after short writes and signals; false with errno set.
bool write_all(int fd, std::string_view text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    done += static_cast<std::size_t>(written);
  }
  return true;
}

bool write_document(int fd, const XmlDocument& results) {
  return produce_document(results, [fd](std::string_view piece) { return write_all(fd, piece); });
}

// Devices and FIFOs cannot be replaced by renaming; they take the text directly.
int write_in_place(const std::string& path, const XmlDocument& results, std::string& failure) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) {
    return fail(path, errno, failure);
  }
  bool written = false;
  try {
    written = write_document(fd, results);
  } catch (...) {
    ::close(fd);
    throw;
  }
  if (!written) {
    const int error = errno;
    ::close(fd);
    return fail(path, error, failure);
  }
  if (::close(fd) != 0) {
    return fail(path, errno, failure);
  }
  return 0;
}

// Creates a fresh file next to `target`. The 0666 mode lets the kernel apply the umask and
// any default ACL just as for a file opened the usual way.
// Its name is short, so that a target whose name is near the length limit still gets one.
// It is named for the signal handler before it exists, so that no moment is left in which a
// signal would leave it behind; the caller forgets it once renamed or removed.
int create_temporary(const std::string& target, std::string& temporary) {
  const std::size_t slash = target.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = directory + ".varnak-" + std::to_string(::getpid()) + "-" +
                std::to_string(attempt) + ".tmp";
    name_temporary_file(temporary);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) {
      if (fd < 0) {
        forget_temporary_file();
      }
      return fd;
    }
  }
  forget_temporary_file();
  return -1;
}

// Readers of `target` see either the old file whole or the new one whole: the text goes to
// a temporary file that is renamed over the target only after every write and the close
// succeeded. `mode` < 0 keeps the creation mode; otherwise the new file takes that mode.
int replace_file(const std::string& path, const std::string& target, int mode,
                 const XmlDocument& results, std::string& failure) {
  std::string temporary;
  const int fd = create_temporary(target, temporary);
  if (fd < 0) {
    return fail(path, errno, failure);
  }
  int error = 0;
  if (mode >= 0 && ::fchmod(fd, static_cast<mode_t>(mode)) != 0) {
    error = errno;
  }
  // Running out of memory for a row leaves no temporary file behind either.
  try {
    if (error == 0 && !write_document(fd, results)) {
      error = errno;
    }
  } catch (...) {
    ::close(fd);
    ::unlink(temporary.c_str());
    forget_temporary_file();
    throw;
  }
  if (::close(fd) != 0 && error == 0) {
    error = errno;
  }
  if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) {
    error = errno;
  }
  if (error != 0) {
    ::unlink(temporary.c_str());
  }
  forget_temporary_file();
  return error != 0 ? fail(path, error, failure) : 0;
}

// The file that a missing path stands for: the path itself, or, when the path is a
// symbolic link to a file that does not exist yet, the end of the chain of links, so that
// the link stays a link and its target is created.
std::string dangling_link_target(std::string path) {
  constexpr int kMostLinksFollowed = 40;
  for (int followed = 0; followed < kMostLinksFollowed; ++followed) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      return path;
    }
    std::string target(static_cast<std::size_t>(PATH_MAX), '\0');
    const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
    if (length <= 0) {
      return path;
    }
    target.resize(static_cast<std::size_t>(length));
    const std::size_t slash = path.rfind('/');
    if (target.front() != '/' && slash != std::string::npos) {
      target = path.substr(0, slash + 1) + target;
    }
    path = target;
  }
  return path;
}

}  // namespace

std::string render_xml_report(const SpectraVector& spectrum, const BimSpectraMatrix& bim_spectra,
                              double elapsed_seconds) {
  const BimRowSource rows = rows_of(bim_spectra);
  std::string document;
  produce_document({spectrum, rows, elapsed_seconds}, [&document](std::string_view piece) {
    document += piece;
    return true;
  });
  return document;
}

int write_xml_report(const std::string& output_path, const SpectraVector& spectrum,
                     const BimRowSource& rows, double elapsed_seconds, std::string& failure) {
  const XmlDocument results{spectrum, rows, elapsed_seconds};
  if (output_path.empty()) {
    return fail(output_path, ENOENT, failure);
  }
  struct stat info {};
  if (::stat(output_path.c_str(), &info) != 0) {
    if (errno != ENOENT) {
      return fail(output_path, errno, failure);
    }
    return replace_file(output_path, dangling_link_target(output_path), -1, results, failure);
  }
  if (S_ISDIR(info.st_mode)) {
    return fail(output_path, EISDIR, failure);
  }
  // The file the console report goes to (--outpath /dev/stdout with the output redirected
  // to a file) takes the document through standard output itself: replacing it would
  // leave the report in a file no longer in any directory.
  struct stat standard_output {};
  if (::fstat(STDOUT_FILENO, &standard_output) == 0 && standard_output.st_dev == info.st_dev &&
      standard_output.st_ino == info.st_ino) {
    std::cout.flush();
    return write_document(STDOUT_FILENO, results) ? 0 : fail(output_path, errno, failure);
  }
  if (!S_ISREG(info.st_mode)) {
    return write_in_place(output_path, results, failure);
  }
  // A symbolic link stays a link: the file it points to is the one replaced.
  char* resolved = ::realpath(output_path.c_str(), nullptr);
  if (resolved == nullptr) {
    return fail(output_path, errno, failure);
  }
  const std::string target = resolved;
  std::free(resolved);
  // A file the user may not write stays as it is, although its directory would allow
  // renaming over it.
  const int probe = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
  if (probe < 0) {
    return fail(output_path, errno, failure);
  }
  ::close(probe);
  return replace_file(output_path, target, static_cast<int>(info.st_mode & 0777), results, failure);
}

int write_xml_report(const std::string& output_path, const SpectraVector& spectrum,
                     const BimSpectraMatrix& bim_spectra, double elapsed_seconds,
                     std::string& failure) {
  return write_xml_report(output_path, spectrum, rows_of(bim_spectra), elapsed_seconds, failure);
}

}  // namespace varnak
