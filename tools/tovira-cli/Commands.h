#pragma once
#include <string>
#include <vector>

namespace tovira::cli {

using Args = std::vector<std::string>;

// Each sub-command takes the arguments after its name and returns the process exit code.
int RunInfo(const Args& args);
int RunDecode(const Args& args);
int RunPlay(const Args& args);
int RunPlaylist(const Args& args);

// "cannot open the file: <reason>" from a probe's reason, which names the file itself.
inline std::string CannotOpenText(const std::string& path, std::string why) {
  const std::string prefix = "cannot open " + path + ": ";
  if (why.rfind(prefix, 0) == 0) why.erase(0, prefix.size());
  return why.empty() ? "cannot open the file" : "cannot open the file: " + why;
}

}  // namespace tovira::cli
