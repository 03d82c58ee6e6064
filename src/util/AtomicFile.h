#pragma once
// Files the user keeps are replaced whole or not at all: the new content goes to a temporary file
// in the same folder, is flushed to the disk, and then takes the old file's place by a rename.

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace tovira {

// Replaces (or creates) `path` with `content`. An existing file keeps its permissions; a new one
// gets the usual ones (0666 less the umask). Only a regular file is replaced: a folder, FIFO,
// device or socket in its place is refused before anything is written (NotARegularFile). When
// `path` is a symbolic link, the file it points to is replaced and the link stays (links to a
// non-regular file are refused the same way): the user who linked the file meant that file, and
// writing through never touches anything the link does not already name. On failure the old file
// is untouched, no temporary file is left behind, and `ec` (when given) says why.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                         std::error_code* ec = nullptr);
// The same, with the failure in words for a message (WriteFailureReason).
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content, std::string* reason);

// The failure of a target that exists but is not a regular file.
std::error_code NotARegularFile();

// A write failure in lower-case words that finish "could not be saved: ...": "the disk is full",
// "the folder is read-only", "permission denied", "it is not a regular file", else the system's
// text for the error.
std::string WriteFailureReason(const std::error_code& ec);

}  // namespace tovira
