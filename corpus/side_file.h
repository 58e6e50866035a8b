#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace lintavel {

// The rule for every file the program opens besides its inputs (file lists, stop
// lists, and any word list to come): a regular file is read whole, whatever size
// the system reports for it; a folder, a device, a terminal or a socket is refused
// from its stat alone, never opened; a pipe is taken as `PipeRule` says.
enum class PipeRule {
  kRefuse,         // refused from its stat alone, as input files are (word lists)
  kWaitForWriter,  // opened as a pipe's reader opens one: waits for its writer,
                   // then read to its end (file lists, made by another program)
};

// The pieces in which side files are read, and the largest `take` is given.
inline constexpr std::size_t kSideFilePiece = 64 * 1024;

// Receives each piece of a side file in order; returns false to stop reading.
using SidePieceSink = std::function<bool(std::string_view)>;

// Why `path` cannot be read as a side file ("it is a folder", "No such file or
// directory", ...), or nothing when it can. A regular file is opened and closed to
// learn so; nothing else is opened.
std::optional<std::string> SideFileRefusal(const std::string& path, PipeRule pipes);

// Reads the side file `path` by the rule above, handing its bytes to `take` in
// pieces of at most kSideFilePiece. Returns why it could not be read, or nothing
// when it was read to its end or `take` stopped it.
std::optional<std::string> ReadSideFile(const std::string& path, PipeRule pipes,
                                        const SidePieceSink& take);

// Reads the open descriptor `fd` (standard input) to its end, handing each piece to
// `take` as soon as the system gives it, so that `take` can stop at once on a bad
// piece without waiting for more. Returns why it could not be read, or nothing.
std::optional<std::string> ReadSideDescriptor(int fd, const SidePieceSink& take);

}  // namespace lintavel
