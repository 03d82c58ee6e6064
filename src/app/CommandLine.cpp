#include "app/CommandLine.h"

#include <filesystem>
#include <system_error>

namespace tovira {

std::string StartupFileFromArguments(const std::vector<std::string>& arguments) {
  std::string text;
  for (const auto& arg : arguments) {
    if (!text.empty()) text += ' ';
    text += arg;
  }
  const size_t first = text.find_first_not_of('"');
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of('"');
  return text.substr(first, last - first + 1);
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
