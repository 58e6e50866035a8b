#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "engine/file_failure.h"

namespace lintavel {

// Reads the file at `path` as Windows-1252 text through the engine's file reader
// and returns its lines, without their terminators and with every tab removed. A
// failed open goes to `on_failure` and gives no lines; a failed read goes there too,
// keeps what was read before it, and leaves one empty line in place of the line
// that failed. The plain model that the engine's counts are checked against.
std::vector<std::u16string> ReadLinesAsCp1252(const std::filesystem::path& path,
                                              const FailureSink& on_failure);

}  // namespace lintavel
