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

}  // namespace tovira::cli
