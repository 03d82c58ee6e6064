#include "util/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace tovira {

namespace {

// The whole file when `head` is false (nothing when it is larger than `maxBytes`), else its first
// `maxBytes` bytes.
std::optional<std::string> Read(const std::string& path, size_t maxBytes, bool head) {
  if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
  // Only a regular file is opened: opening a device can have effects of its own, and a FIFO
  // would wait for a writer. A FIFO swapped in after the look opens without waiting (O_NONBLOCK)
  // and is refused by the fstat.
  struct stat before {};
  if (::stat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) return std::nullopt;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  std::optional<std::string> result;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (head || static_cast<uint64_t>(st.st_size) <= maxBytes)) {
    std::string text(static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(st.st_size), maxBytes)), '\0');
    size_t done = 0;
    bool failed = false;
    while (done < text.size()) {
      const ssize_t n = ::read(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        failed = true;
        break;
      }
      if (n == 0) break;  // the file shrank meanwhile
      done += static_cast<size_t>(n);
    }
    if (!failed) {
      text.resize(done);
      result = std::move(text);
    }
  }
  ::close(fd);
  return result;
}

}  // namespace

std::optional<std::string> ReadRegularFile(const std::string& path, size_t maxBytes) { return Read(path, maxBytes, false); }

std::optional<std::string> ReadRegularFileHead(const std::string& path, size_t bytes) { return Read(path, bytes, true); }

}  // namespace tovira
