#include "util/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string>

namespace tovira {

namespace {

class AtomicFileCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "atomic file"; }
  std::string message(int) const override { return "it is not a regular file"; }
};

bool Fail(std::error_code* ec, std::error_code code) {
  if (ec) *ec = code;
  return false;
}

bool Fail(std::error_code* ec, int err) { return Fail(ec, std::error_code(err, std::generic_category())); }

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
  struct stat own {};
  if (::lstat(path.c_str(), &own) == 0) {
    if (S_ISLNK(own.st_mode)) {
      std::error_code fsError;
      target = std::filesystem::weakly_canonical(path, fsError);
      if (fsError) return Fail(ec, fsError);
    } else if (!S_ISREG(own.st_mode)) {
      return Fail(ec, NotARegularFile());
    }
  } else if (errno != ENOENT) {
    return Fail(ec, errno);
  }
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";

  // A rename would put the file in place of a FIFO or device the user set up, or fail on a folder.
  struct stat old {};
  const bool existed = ::stat(target.c_str(), &old) == 0;
  if (existed && !S_ISREG(old.st_mode)) return Fail(ec, NotARegularFile());

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

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content, std::string* reason) {
  std::error_code ec;
  const bool ok = WriteFileAtomically(path, content, &ec);
  if (reason) *reason = ok ? std::string() : WriteFailureReason(ec);
  return ok;
}

std::error_code NotARegularFile() {
  static const AtomicFileCategory category;
  return std::error_code(1, category);
}

std::string WriteFailureReason(const std::error_code& ec) {
  if (!ec) return {};
  if (ec.category() == std::generic_category() || ec.category() == std::system_category()) {
    switch (ec.value()) {
      case ENOSPC:
      case EDQUOT:
        return "the disk is full";
      case EROFS:
        return "the folder is read-only";
      case EACCES:
      case EPERM:
        return "permission denied";
      default:
        break;
    }
  }
  std::string text = ec.message();
  // ASCII only: a translated text's other bytes stay as they are.
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace tovira
