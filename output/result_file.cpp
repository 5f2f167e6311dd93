#include "output/result_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <ostream>
#include <streambuf>

#include "output/process_signals.hpp"

namespace varnak {
namespace {

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

bool write_document(int fd, const DocumentProducer& produce) {
  return produce([fd](std::string_view piece) { return write_all(fd, piece); });
}

// Devices and FIFOs cannot be replaced by renaming; they take the text directly.
int write_in_place(const std::string& path, const DocumentProducer& produce, std::string& failure) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) {
    return fail(path, errno, failure);
  }
  bool written = false;
  try {
    written = write_document(fd, produce);
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
                 const DocumentProducer& produce, std::string& failure) {
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
    if (error == 0 && !write_document(fd, produce)) {
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

// Passes what a stream writes on to a sink in pieces of kPieceBytes; after the sink has
// refused one, the stream fails and takes nothing more.
class PieceBuffer final : public std::streambuf {
 public:
  explicit PieceBuffer(const PieceSink& sink) : sink_(sink) {
    piece_.resize(kPieceBytes);
    setp(piece_.data(), piece_.data() + piece_.size());
  }

  bool failed() const { return failed_; }

 protected:
  int overflow(int c) override {
    if (!pass_on()) {
      return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      sputc(traits_type::to_char_type(c));
    }
    return traits_type::not_eof(c);
  }

  int sync() override { return pass_on() ? 0 : -1; }

 private:
  bool pass_on() {
    if (!failed_ && pptr() > pbase() &&
        !sink_(std::string_view(pbase(), static_cast<std::size_t>(pptr() - pbase())))) {
      failed_ = true;
    }
    setp(piece_.data(), piece_.data() + piece_.size());
    return !failed_;
  }

  const PieceSink& sink_;
  std::string piece_;
  bool failed_ = false;
};

}  // namespace

int write_result_file(const std::string& path, const DocumentProducer& produce,
                      std::string& failure) {
  if (path.empty()) {
    return fail(path, ENOENT, failure);
  }
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    if (errno != ENOENT) {
      return fail(path, errno, failure);
    }
    return replace_file(path, dangling_link_target(path), -1, produce, failure);
  }
  if (S_ISDIR(info.st_mode)) {
    return fail(path, EISDIR, failure);
  }
  // The file the console report goes to (--outpath /dev/stdout with the output redirected
  // to a file) takes the document through standard output itself: replacing it would
  // leave the report in a file no longer in any directory.
  struct stat standard_output {};
  if (::fstat(STDOUT_FILENO, &standard_output) == 0 && standard_output.st_dev == info.st_dev &&
      standard_output.st_ino == info.st_ino) {
    std::cout.flush();
    return write_document(STDOUT_FILENO, produce) ? 0 : fail(path, errno, failure);
  }
  if (!S_ISREG(info.st_mode)) {
    return write_in_place(path, produce, failure);
  }
  // A symbolic link stays a link: the file it points to is the one replaced.
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) {
    return fail(path, errno, failure);
  }
  const std::string target = resolved;
  std::free(resolved);
  // A file the user may not write stays as it is, although its directory would allow
  // renaming over it.
  const int probe = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
  if (probe < 0) {
    return fail(path, errno, failure);
  }
  ::close(probe);
  return replace_file(path, target, static_cast<int>(info.st_mode & 0777), produce, failure);
}

int write_result_file(const std::string& path, const std::function<void(std::ostream&)>& write,
                      std::string& failure) {
  return write_result_file(
      path,
      [&write](const PieceSink& sink) {
        PieceBuffer buffer(sink);
        std::ostream stream(&buffer);
        write(stream);
        stream.flush();
        return !buffer.failed() && stream.good();
      },
      failure);
}

}  // namespace varnak
