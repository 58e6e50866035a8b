#include "cli/input_list.h"

#include <array>
#include <system_error>

#include "cli/file_list.h"
#include "folders/file_system.h"
#include "folders/folder_scan.h"

namespace lintavel {

namespace {

// `raw` with every byte outside printable ASCII shown as \xHH.
std::string Escaped(const std::string& raw) {
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

// Says what a scan passed over by its folder rules, a line per reason: how many and
// the first few paths, so that a scan that leaves files out never does so silently.
class PassedOverNotes {
 public:
  void Add(const std::string& path, folders::PassedOver why) {
    auto& paths = paths_[static_cast<std::size_t>(why)];
    ++counts_[static_cast<std::size_t>(why)];
    if (paths.size() < kShown) paths.push_back(path);
  }

  void Say(std::ostream& err) const {
    static constexpr const char* kWhy[] = {
        "file(s) whose names begin with ~",
        "hidden file(s) (names beginning with a dot) that this user may write",
        "folder(s) whose paths are 260 characters or longer",
        "folder(s) whose names hold a control character, a ? or a character cp1252 lacks",
    };
    for (std::size_t i = 0; i < counts_.size(); ++i) {
      if (counts_[i] == 0) continue;
      err << "lintavel-extract: --recursive passed over " << counts_[i] << ' ' << kWhy[i] << ":";
      for (const std::string& path : paths_[i]) err << " '" << Escaped(path) << "'";
      if (counts_[i] > paths_[i].size()) err << " and " << counts_[i] - paths_[i].size() << " more";
      err << "\n";
    }
  }

 private:
  static constexpr std::size_t kShown = 3;
  std::array<std::size_t, 4> counts_{};
  std::array<std::vector<std::string>, 4> paths_;
};

void ListFolderTree(const std::string& folder, const std::string& extension, std::ostream& err,
                    std::vector<std::filesystem::path>& paths) {
  folders::ScanContext context;
  context.report = [&err](const ApplicationError& error) {
    err << ComposeApplicationErrorMessage(error.description, error.location, error.line) << "\n";
  };
  // The scan follows the window, which carries names as text; one that is not
  // valid UTF-8 is skipped there, so it is skipped here too and said once.
  std::vector<std::string> skipped;
  context.undecodable = [&skipped](const std::string& path) { skipped.push_back(path); };
  PassedOverNotes passed_over;
  context.passed_over = [&passed_over](const std::string& path, folders::PassedOver why) {
    passed_over.Add(path, why);
  };
  std::vector<std::string> tree = {folder + folders::kSeparator};
  folders::ScanSubFolders(tree, true, context);
  folders::ListFilesOfFolders(tree, "*." + extension, context,
                              [&paths](const std::string& row) { paths.emplace_back(row); });
  passed_over.Say(err);
  if (skipped.empty()) return;
  err << "lintavel-extract: skipped " << skipped.size()
      << (skipped.size() == 1 ? " name" : " names") << " that "
      << (skipped.size() == 1 ? "is" : "are") << " not valid UTF-8:";
  for (const std::string& path : skipped) err << " '" << Escaped(path) << "'";
  err << "\n";
}

}  // namespace

std::optional<std::vector<std::filesystem::path>> ResolveInputs(
    std::span<const InputSource> sources, const std::optional<std::string>& extension,
    std::istream& in, std::ostream& err, int in_fd) {
  std::vector<std::filesystem::path> paths;
  for (const InputSource& source : sources) {
    switch (source.kind) {
      case InputSource::Kind::kFile:
        paths.emplace_back(source.value);
        break;
      case InputSource::Kind::kFileList:
        if (auto listed = ReadFileList(source.value, in, in_fd, err)) {
          paths.insert(paths.end(), listed->begin(), listed->end());
        } else {
          return std::nullopt;
        }
        break;
      case InputSource::Kind::kFolderTree:
        if (std::error_code error; !std::filesystem::is_directory(source.value, error)) {
          err << "lintavel-extract: --recursive needs a folder; '" << source.value << "' is "
              << (std::filesystem::exists(source.value, error) ? "not one" : "missing") << "\n";
          return std::nullopt;
        }
        ListFolderTree(source.value, extension.value_or("*"), err, paths);
        break;
    }
  }
  return paths;
}

}  // namespace lintavel
