#pragma once

#include <QString>
#include <filesystem>

namespace lintavel::testing {

// A path as the window holds it.
inline QString Q(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

}  // namespace lintavel::testing
