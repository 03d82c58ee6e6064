#pragma once
// Collects a folder tree, then finds the names matching a pattern in every folder of it.
//
// Folders are listed subfolders first (depth first, each folder after its own subfolders), and
// names within a folder in natural order (numbers by value), ignoring case. Symbolic links to
// folders are followed, but a folder already collected is never entered again, so link cycles end.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <string_view>
#include <vector>

namespace tovira {

struct FoundEntry {
  std::string path;
  bool isFolder = false;
  uint32_t attributes = 0;  // st_mode bits of the entry (links followed)
  std::filesystem::file_time_type lastWrite{};
  uint64_t size = 0;  // bytes; 0 for folders
};

class FileFinder {
 public:
  virtual ~FileFinder() = default;

  // Starts a new search below `path` (forgets earlier folders and results). Always true.
  bool SetRoot(const std::string& path, bool recursive);
  // A flag that, once set, ends the folder walk of SetRoot early (the folders so far are kept), so
  // a scan of a huge tree can be abandoned at once. Null: never.
  void SetCancelFlag(const std::atomic<bool>* cancelled) { cancelled_ = cancelled; }
  // Appends the entries of every collected folder whose names match `pattern` ('*' and '?',
  // letters matched without regard to case). Always true.
  bool AddPattern(const std::string& pattern, bool includeFiles, bool includeFolders);

  const std::string& Root() const { return root_; }
  const std::vector<std::string>& Folders() const { return folders_; }
  const std::vector<FoundEntry>& Results() const { return results_; }
  std::vector<FoundEntry>::const_iterator begin() const { return results_.begin(); }
  std::vector<FoundEntry>::const_iterator end() const { return results_.end(); }

  // Trailing white space and separators removed; "/" stays "/".
  static std::string NormalizeFolder(std::string path);
  static bool MatchPattern(std::string_view pattern, std::string_view name);

 private:
  using FolderId = std::pair<uint64_t, uint64_t>;  // device, inode
  void CollectSubfolders(const std::string& folder, std::set<FolderId>& seen);

  const std::atomic<bool>* cancelled_ = nullptr;
  std::string root_;
  std::vector<std::string> folders_;
  std::vector<FoundEntry> results_;
};

}  // namespace tovira
