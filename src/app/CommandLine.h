#pragma once
// What the player takes from its command line and where it lives.

#include <string>
#include <vector>

namespace tovira {

// The files and playlists named on the command line (the arguments after the program name), in
// order. The player takes no options: every argument is one path. Double quotes around an
// argument (every leading and trailing `"`) are removed and arguments left empty are skipped; a
// `file://` URL of this machine, as a desktop may pass, becomes its local path with the
// %-escapes decoded; a relative path is made absolute against `workingDirectory`, lexically
// (symbolic links are not followed). Whether the files exist is left to whoever opens them.
std::vector<std::string> StartupFilesFromArguments(const std::vector<std::string>& arguments,
                                                   const std::string& workingDirectory);

// The folder of the running program, ending in a '/'.
std::string ProgramFolder();

}  // namespace tovira
