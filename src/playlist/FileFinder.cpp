#include "playlist/FileFinder.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <system_error>

#include "playlist/PlaylistSort.h"

namespace tovira {

namespace {

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Natural order ("2 - x.mp3" before "10 - x.mp3"), ignoring case, then byte order so that the
// order is total.
bool NameLess(const std::string& a, const std::string& b) {
  if (const int natural = CompareNatural(a, b); natural != 0) return natural < 0;
  return a < b;
}

std::string Join(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

// The names in a folder, sorted; an unreadable folder gives none.
std::vector<std::string> ListNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, std::filesystem::directory_options::skip_permission_denied, ec);
  for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end(), NameLess);
  return names;
}

}  // namespace

std::string FileFinder::NormalizeFolder(std::string path) {
  while (!path.empty() && (path.back() == ' ' || (path.back() >= '\t' && path.back() <= '\r'))) path.pop_back();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool FileFinder::MatchPattern(std::string_view pattern, std::string_view name) {
  // Greedy match with one backtrack point: linear in practice, never exponential.
  size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool FileFinder::SetRoot(const std::string& path, bool recursive) {
  root_ = NormalizeFolder(path);
  folders_.clear();
  results_.clear();
  std::set<FolderId> seen;
  struct stat st {};
  if (::stat(root_.c_str(), &st) == 0) seen.insert({static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)});
  if (recursive) CollectSubfolders(root_, seen);
  folders_.push_back(root_);
  return true;
}

void FileFinder::CollectSubfolders(const std::string& folder, std::set<FolderId>& seen) {
  for (const auto& name : ListNames(folder)) {
    if (cancelled_ && cancelled_->load(std::memory_order_relaxed)) return;
    const std::string sub = Join(folder, name);
    struct stat st {};
    if (::stat(sub.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    const FolderId id{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    // A folder reached a second time (a link back up the tree, or two links to one place).
    if (!seen.insert(id).second) continue;
    CollectSubfolders(sub, seen);
    folders_.push_back(sub);
  }
}

bool FileFinder::AddPattern(const std::string& pattern, bool includeFiles, bool includeFolders) {
  for (const auto& folder : folders_) {
    if (folder.empty()) continue;
    const std::string base = NormalizeFolder(folder);
    for (const auto& name : ListNames(base)) {
      if (name == "." || name == ".." || !MatchPattern(pattern, name)) continue;
      const std::string full = Join(base, name);
      struct stat st {};
      if (::stat(full.c_str(), &st) != 0) continue;  // a dangling link names nothing
      const bool isFolder = S_ISDIR(st.st_mode);
      if (isFolder ? !includeFolders : !includeFiles) continue;
      FoundEntry e;
      e.path = full;
      e.isFolder = isFolder;
      e.attributes = static_cast<uint32_t>(st.st_mode);
      const auto sinceEpoch = std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec);
      e.lastWrite = std::chrono::file_clock::from_sys(
          std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(sinceEpoch)));
      e.size = isFolder ? 0 : static_cast<uint64_t>(st.st_size);
      results_.push_back(std::move(e));
    }
  }
  return true;
}

}  // namespace tovira
