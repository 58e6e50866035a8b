#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "shell/error_report.h"

namespace lintavel::folders {

// The longest folder path (with its trailing separator) that a scan searches, less
// one, counted in UTF-16 code units as the window counts it.
inline constexpr std::size_t kMaxScanPath = 260;

// Why a scan passed over a file or folder that its pattern would have taken.
enum class PassedOver {
  kTilde,     // a file whose name begins with "~"
  kHidden,    // a file whose attribute word is exactly hidden + archive
  kLongPath,  // a folder whose path reaches kMaxScanPath
  kBadName,   // a folder whose name a folder path of the window cannot hold
};

// What one scan carries from folder to folder.
struct ScanContext {
  const std::atomic<bool>* cancel = nullptr;
  // The scan's own reports; the scan goes on after each.
  ReportSink report;
  // Every folder the scan has met, by device and inode: a link back to a folder
  // above, or to one met elsewhere, is not searched twice.
  std::set<std::pair<unsigned long long, unsigned long long>> known;
  // Gets the path of each file or folder passed over because IsCarriableName
  // refuses its name; without it they are passed over silently.
  std::function<void(const std::string&)> undecodable;
  // Gets each path passed over by the rules below, with the reason; without it they
  // are passed over silently.
  std::function<void(const std::string&, PassedOver)> passed_over;

  bool cancelled() const { return cancel != nullptr && cancel->load(); }
};

// Appends to `folder_list` (full paths, each ending in the separator) every folder
// below its entries that the scan qualifies, level by level: first the entries'
// sub-folders, then theirs. A folder whose sub-folders cannot be read (access
// denied, gone) is taken out of the list without a report.
void ScanSubFolders(std::vector<std::string>& folder_list, bool recurse, ScanContext& context);

// Calls on_row(path) for every file of every folder of `folder_list`, in order, whose
// name matches the wildcard `pattern`, does not begin with "~", passes FileExists and
// whose attribute word is not exactly hidden + archive; the path is folder +
// separator + name with doubled separators folded.
void ListFilesOfFolders(const std::vector<std::string>& folder_list, std::string_view pattern,
                        const ScanContext& context,
                        const std::function<void(const std::string&)>& on_row);

}  // namespace lintavel::folders
