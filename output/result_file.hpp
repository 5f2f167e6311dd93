#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

namespace varnak {

// Takes the next piece of a document; false when it could not be written, errno set.
using PieceSink = std::function<bool(std::string_view piece)>;
// Hands a whole document to the sink piece by piece; false as soon as the sink refuses one.
using DocumentProducer = std::function<bool(const PieceSink& sink)>;

// Pieces of about this size go to a sink: few system calls, little memory.
inline constexpr std::size_t kPieceBytes = std::size_t{1} << 16;

// Writes the document to `path`. Returns 0 on success; 1 when the file could not be
// written, with `failure` set to one line naming the path and the reason. A failed write
// never leaves a half-written file or destroys an existing one: a regular file is replaced
// through a temporary file renamed over it, a symbolic link stays a link, and a device or
// FIFO takes the text directly. The file standard output goes to takes the document
// through standard output, after what was written there.
int write_result_file(const std::string& path, const DocumentProducer& produce,
                      std::string& failure);

// The same for a document written to a stream, which passes it on in pieces as it comes.
int write_result_file(const std::string& path, const std::function<void(std::ostream&)>& write,
                      std::string& failure);

}  // namespace varnak
