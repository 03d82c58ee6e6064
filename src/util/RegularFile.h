#pragma once
// Reading a file the program opens for itself (a playlist, the settings, a help topic): only a
// regular file, or a link to one, is read.

#include <cstddef>
#include <optional>
#include <string>

namespace tovira {

// The whole file; nullopt when it is not a regular file, is larger than `maxBytes`, or cannot be
// read. A device is never opened and a FIFO never waited on.
std::optional<std::string> ReadRegularFile(const std::string& path, size_t maxBytes);
// At most the first `bytes` bytes of a regular file of any size, with the same care.
std::optional<std::string> ReadRegularFileHead(const std::string& path, size_t bytes);

}  // namespace tovira
