#include "output/xml_report.hpp"
#include "output/xml_names.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>

#include "output/process_signals.hpp"

namespace varnak {
namespace {

namespace pt = boost::property_tree;

// Six decimals, as printf's "%f"; the buffer grows only for huge values.
void append_fixed(std::string& out, double value) {
  char buffer[64];
  const int length = std::snprintf(buffer, sizeof buffer, "%f", value);
  if (length < 0) {
    return;
  }
  if (static_cast<std::size_t>(length) < sizeof buffer) {
    out.append(buffer, static_cast<std::size_t>(length));
    return;
  }
  std::string large(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(large.data(), large.size(), "%f", value);
  large.resize(static_cast<std::size_t>(length));
  out += large;
}

std::string render_row(const std::vector<double>& values, std::size_t count) {
  std::string row;
  row.reserve(count * 9);
  for (std::size_t j = 0; j < count; ++j) {
    if (j > 0) {
      row += ',';
    }
    append_fixed(row, values[j]);
  }
  return row;
}

int fail(const std::string& path, int error, std::string& failure) {
  failure = "Error writing output file " + path + ": " + std::strerror(error);
  return 1;
}

// Writes everything, resuming after short writes and signals; false with errno set.
bool write_all(int fd, const std::string& text) {
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

// Devices and FIFOs cannot be replaced by renaming; they take the text directly.
int write_in_place(const std::string& path, const std::string& document, std::string& failure) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) {
    return fail(path, errno, failure);
  }
  if (!write_all(fd, document)) {
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
                 const std::string& document, std::string& failure) {
  std::string temporary;
  const int fd = create_temporary(target, temporary);
  if (fd < 0) {
    return fail(path, errno, failure);
  }
  int error = 0;
  if (mode >= 0 && ::fchmod(fd, static_cast<mode_t>(mode)) != 0) {
    error = errno;
  }
  if (error == 0 && !write_all(fd, document)) {
    error = errno;
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
  namespace names = xml_names;
  // Boost.PropertyTree keeps an element's attributes under the child <xmlattr>.
  const auto attribute = [](std::string_view name) { return "<xmlattr>." + std::string(name); };
  const std::size_t n = spectrum.size();
  pt::ptree tree;
  pt::ptree& root = tree.add_child(std::string(names::kRoot), pt::ptree());
  root.add(attribute(names::kVersionAttribute), std::string(names::kVersion));
  root.add(std::string(names::kSrlgCount), static_cast<std::uint32_t>(n));
  root.add(std::string(names::kTimeSeconds), elapsed_seconds);
  pt::ptree& spectras = root.add(std::string(names::kRows), "");
  spectras.add(std::string(names::kSpectrumRow), render_row(spectrum, n));
  for (std::size_t i = 0; i < n; ++i) {
    pt::ptree& row = spectras.add(std::string(names::kBimRow), render_row(bim_spectra[i], n));
    row.add(attribute(names::kIdAttribute), static_cast<std::int32_t>(i + 1));
  }
  std::ostringstream text;
  pt::xml_parser::write_xml(text, tree, pt::xml_writer_settings<std::string>(' ', 0, "utf-8"));
  return std::move(text).str();
}

int write_xml_report(const std::string& output_path, const SpectraVector& spectrum,
                     const BimSpectraMatrix& bim_spectra, double elapsed_seconds,
                     std::string& failure) {
  const std::string document = render_xml_report(spectrum, bim_spectra, elapsed_seconds);
  if (output_path.empty()) {
    return fail(output_path, ENOENT, failure);
  }
  struct stat info {};
  if (::stat(output_path.c_str(), &info) != 0) {
    if (errno != ENOENT) {
      return fail(output_path, errno, failure);
    }
    return replace_file(output_path, dangling_link_target(output_path), -1, document, failure);
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
    return write_all(STDOUT_FILENO, document) ? 0 : fail(output_path, errno, failure);
  }
  if (!S_ISREG(info.st_mode)) {
    return write_in_place(output_path, document, failure);
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
  return replace_file(output_path, target, static_cast<int>(info.st_mode & 0777), document,
                      failure);
}

}  // namespace varnak
