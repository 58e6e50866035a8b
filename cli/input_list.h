#pragma once

#include <filesystem>
#include <istream>
#include <optional>
#include <ostream>
#include <span>
#include <vector>

#include "cli/arguments.h"

namespace lintavel {

// The input files of the sources, in their order: a file as named, a file list's
// lines, a folder tree's files found as "Add All File(s) In Folder" finds them. A
// list that cannot be used, or a folder tree that is no folder, is said on `err`
// and gives nothing. What a folder tree's rules pass over is said on `err`. A list
// "-" is read from the descriptor `in_fd`, or from `in` when it is -1.
std::optional<std::vector<std::filesystem::path>> ResolveInputs(
    std::span<const InputSource> sources, const std::optional<std::string>& extension,
    std::istream& in, std::ostream& err, int in_fd = -1);

}  // namespace lintavel
