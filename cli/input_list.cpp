#include "cli/input_list.h"

#include <QFile>
#include <QString>
#include <fstream>
#include <iterator>
#include <system_error>

#include "window/file_system.h"
#include "window/folder_scan.h"

namespace lintavel {

namespace {

// The paths of a file list, one a line (LF or CR LF); false when it is not one.
bool ReadFileList(const std::string& name, std::istream& in, std::ostream& err,
                  std::vector<std::filesystem::path>& paths) {
  std::string text;
  if (name == "-") {
    text.assign(std::istreambuf_iterator<char>(in), {});
  } else {
    std::ifstream file(name, std::ios::binary);
    if (!file) {
      err << "lintavel-extract: cannot read the file list '" << name
          << "': " << std::generic_category().message(errno) << "\n";
      return false;
    }
    text.assign(std::istreambuf_iterator<char>(file), {});
  }
  const std::string shown = name == "-" ? "standard input" : "'" + name + "'";
  std::size_t line_number = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    ++line_number;
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty()) {
      err << "lintavel-extract: the file list " << shown << " has an empty line " << line_number
          << "\n";
      return false;
    }
    if (line.find('\0') != line.npos) {
      err << "lintavel-extract: line " << line_number << " of the file list " << shown
          << " holds a NUL byte\n";
      return false;
    }
    paths.emplace_back(line);
    start = end + 1;
  }
  return true;
}

// `raw` with every byte outside printable ASCII shown as \xHH.
std::string Escaped(const QByteArray& raw) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string shown;
  for (const char c : raw) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
      shown += c;
    } else {
      shown += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xf]};
    }
  }
  return shown;
}

void ListFolderTree(const std::string& folder, const std::string& extension, std::ostream& err,
                    std::vector<std::filesystem::path>& paths) {
  ScanContext context;
  context.report = [&err](const ApplicationError& error) {
    err << ComposeApplicationErrorMessage(error.description, error.location, error.line) << "\n";
  };
  // The scan carries names as text; one that is not valid UTF-8 could only be
  // listed under a path that does not exist, so it is skipped and said once.
  std::vector<QByteArray> skipped;
  context.undecodable = [&skipped](const QByteArray& path) { skipped.push_back(path); };
  QStringList folders = {QFile::decodeName(QByteArray::fromStdString(folder)) + PathSeparator()};
  GetSubDirectories2016(folders, true, context);
  ListFilesOfFolders(
      folders, QStringLiteral("*.") + QString::fromStdString(extension), context,
      [&paths](const QString& row) { paths.emplace_back(QFile::encodeName(row).toStdString()); });
  if (skipped.empty()) return;
  err << "lintavel-extract: skipped " << skipped.size()
      << (skipped.size() == 1 ? " name" : " names") << " that "
      << (skipped.size() == 1 ? "is" : "are") << " not valid UTF-8:";
  for (const QByteArray& path : skipped) err << " '" << Escaped(path) << "'";
  err << "\n";
}

}  // namespace

std::optional<std::vector<std::filesystem::path>> ResolveInputs(
    std::span<const InputSource> sources, const std::optional<std::string>& extension,
    std::istream& in, std::ostream& err) {
  std::vector<std::filesystem::path> paths;
  for (const InputSource& source : sources) {
    switch (source.kind) {
      case InputSource::Kind::kFile:
        paths.emplace_back(source.value);
        break;
      case InputSource::Kind::kFileList:
        if (!ReadFileList(source.value, in, err, paths)) return std::nullopt;
        break;
      case InputSource::Kind::kFolderTree:
        ListFolderTree(source.value, extension.value_or("*"), err, paths);
        break;
    }
  }
  return paths;
}

}  // namespace lintavel
