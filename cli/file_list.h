#pragma once

#include <filesystem>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace lintavel {

// The longest line a file list may have: far beyond any real path.
inline constexpr std::size_t kMaxFileListLine = 64 * 1024;

// The paths of the file list `name` ("-" for standard input: the descriptor
// `in_fd`, or `in` when it is -1), one a line ended by LF, CR LF or a lone CR. The
// list is opened by the side-file rule (a pipe waits for its writer) and read in
// pieces as they come, so a NUL byte, an empty line or an absurdly long line is
// refused at once, without reading on. A list that cannot be read, is a folder, a
// device or a socket, or has an empty line, a NUL byte or a line over
// kMaxFileListLine bytes, is said on `err` and gives nothing.
std::optional<std::vector<std::filesystem::path>> ReadFileList(const std::string& name,
                                                               std::istream& in, int in_fd,
                                                               std::ostream& err);

}  // namespace lintavel
