#include "util/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string>

namespace tovira {

namespace {

bool Fail(std::error_code* ec, int err) {
  if (ec) *ec = std::error_code(err, std::generic_category());
  return false;
}

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t n = ::write(fd, content.data(), content.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content, std::error_code* ec) {
  if (ec) ec->clear();
  std::filesystem::path target = path;
  std::error_code fsError;
  if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, fsError))) {
    target = std::filesystem::weakly_canonical(path, fsError);
    if (fsError) return Fail(ec, fsError.value());
  }
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";

  struct stat old {};
  const bool existed = ::stat(target.c_str(), &old) == 0;
  if (existed && S_ISDIR(old.st_mode)) return Fail(ec, EISDIR);

  // A unique name beside the target, so the rename never crosses file systems.
  std::random_device seed;
  std::mt19937_64 rng((static_cast<uint64_t>(seed()) << 32) ^ seed() ^ static_cast<uint64_t>(::getpid()));
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temp = target.string() + ".tmp-" + std::to_string(rng() % 1000000000ULL);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return Fail(ec, errno);
  }
  if (fd < 0) return Fail(ec, EEXIST);

  int err = 0;
  if (existed && ::fchmod(fd, old.st_mode & 07777) != 0) err = errno;
  if (err == 0 && !WriteAll(fd, content)) err = errno;
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::rename(temp.c_str(), target.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(temp.c_str());
    return Fail(ec, err);
  }
  // Make the rename itself durable.
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

}  // namespace tovira
