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

// "cannot open the file", with the probe's or the engine's reason where there is one.
inline std::string CannotOpenText(const std::string& why) {
  return why.empty() ? "cannot open the file" : "cannot open the file: " + why;
}

}  // namespace tovira::cli
