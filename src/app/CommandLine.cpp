#include "app/CommandLine.h"

#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

namespace tovira {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Lower(text[i]) != prefix[i]) return false;
  return true;
}

// The local path of a file URL ("file:///p", "file://localhost/p" or "file:/p"); nothing for a
// file on another host, or an escape that would put a NUL into the path.
std::optional<std::string> LocalPathOfFileUrl(std::string_view url) {
  std::string_view rest = url.substr(5);  // after "file:"
  if (rest.starts_with("//")) {
    const size_t slash = rest.find('/', 2);
    if (slash == std::string_view::npos) return std::nullopt;
    const std::string_view host = rest.substr(2, slash - 2);
    if (!host.empty() && !(host.size() == 9 && StartsWithNoCase(host, "localhost"))) return std::nullopt;
    rest = rest.substr(slash);
  }
  std::string path;
  path.reserve(rest.size());
  for (size_t i = 0; i < rest.size(); ++i) {
    const int hi = rest[i] == '%' && i + 2 < rest.size() ? HexValue(rest[i + 1]) : -1;
    const int lo = hi >= 0 ? HexValue(rest[i + 2]) : -1;
    if (lo < 0) {
      path += rest[i];  // a '%' without two hex digits stands for itself
      continue;
    }
    if (hi == 0 && lo == 0) return std::nullopt;
    path += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return path;
}

}  // namespace

std::vector<std::string> StartupFilesFromArguments(const std::vector<std::string>& arguments,
                                                   const std::string& workingDirectory) {
  std::vector<std::string> files;
  for (const std::string& argument : arguments) {
    const size_t first = argument.find_first_not_of('"');
    if (first == std::string::npos) continue;  // empty, or nothing but quotes
    const size_t last = argument.find_last_not_of('"');
    std::string file = argument.substr(first, last - first + 1);
    if (StartsWithNoCase(file, "file:/")) {
      // Another machine's file stays as given: the report of what could not be opened names it.
      files.push_back(LocalPathOfFileUrl(file).value_or(file));
      continue;
    }
    if (file.front() != '/') {
      // The running instance that may get the path lives in another folder.
      std::string absolute = (std::filesystem::path(workingDirectory) / file).lexically_normal().string();
      if (absolute.size() > 1 && absolute.back() == '/') absolute.pop_back();
      file = std::move(absolute);
    }
    files.push_back(std::move(file));
  }
  return files;
}

std::string ProgramFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "./";
  std::string folder = exe.parent_path().string();
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace tovira
