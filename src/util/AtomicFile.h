#pragma once
// Files the user keeps are replaced whole or not at all: the new content goes to a temporary file
// in the same folder, is flushed to the disk, and then takes the old file's place by a rename.

#include <filesystem>
#include <string_view>
#include <system_error>

namespace tovira {

// Replaces (or creates) `path` with `content`. An existing file keeps its permissions; a new one
// gets the usual ones (0666 less the umask). When `path` is a symbolic link, the file it points
// to is replaced and the link stays. On failure the old file is untouched, no temporary file is
// left behind, and `ec` (when given) says why.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                         std::error_code* ec = nullptr);

}  // namespace tovira
