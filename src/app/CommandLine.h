#pragma once
// What the player takes from its command line and where it lives.

#include <string>
#include <vector>

namespace tovira {

// The player takes one file and no options: the arguments after the program name form one
// path, joined by blanks, with every leading and trailing double quote removed.
std::string StartupFileFromArguments(const std::vector<std::string>& arguments);

// The folder of the running program, ending in a '/'.
std::string ProgramFolder();

}  // namespace tovira
