#include "decoder/ByteSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tovira {

namespace {
// Resolves a seek request to an absolute offset; false when it would land before the start.
bool Resolve(int64_t offset, SeekOrigin origin, uint64_t pos, uint64_t size, uint64_t& out) {
  int64_t base = 0;
  switch (origin) {
    case SeekOrigin::Start: base = 0; break;
    case SeekOrigin::Current: base = static_cast<int64_t>(pos); break;
    case SeekOrigin::End: base = static_cast<int64_t>(size); break;
  }
  if (offset < 0 && -offset > base) return false;
  out = static_cast<uint64_t>(base + offset);
  return true;
}
}  // namespace

bool FileSource::Open() {
  Close();
  error_.clear();
  // Non-blocking, so that opening a FIFO does not wait for a writer; it is refused just below.
  fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) {
    error_ = std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    error_ = std::strerror(errno);
    Close();
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error_ = S_ISDIR(st.st_mode)    ? "it is a directory"
             : S_ISFIFO(st.st_mode) ? "it is a pipe (FIFO), not a file"
             : S_ISSOCK(st.st_mode) ? "it is a socket, not a file"
                                    : "it is a device, not a file";
    Close();
    return false;
  }
  // Reads block as usual from here on.
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags >= 0) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
  size_ = static_cast<uint64_t>(st.st_size);
  device_ = static_cast<uint64_t>(st.st_dev);
  inode_ = static_cast<uint64_t>(st.st_ino);
  pos_ = 0;
  return true;
}

SourceHealth FileSource::Health(uint64_t end) const {
  if (fd_ < 0) return SourceHealth::Intact;
  struct stat now {};
  if (::fstat(fd_, &now) == 0 && static_cast<uint64_t>(now.st_size) < end) return SourceHealth::CutShort;
  // Removed, or renamed over: the open file still reads, but it is not the file of that name.
  struct stat named {};
  if (::stat(path_.c_str(), &named) != 0) {
    // A folder that cannot be searched any more says nothing about the file.
    return errno == ENOENT || errno == ENOTDIR ? SourceHealth::Replaced : SourceHealth::Intact;
  }
  const bool same = static_cast<uint64_t>(named.st_dev) == device_ && static_cast<uint64_t>(named.st_ino) == inode_;
  return same ? SourceHealth::Intact : SourceHealth::Replaced;
}

bool FileSource::Seek(int64_t offset, SeekOrigin origin) {
  if (fd_ < 0) return false;
  uint64_t target = 0;
  if (!Resolve(offset, origin, pos_, size_, target)) return false;
  if (::lseek(fd_, static_cast<off_t>(target), SEEK_SET) < 0) return false;
  pos_ = target;
  return true;
}

int64_t FileSource::Read(void* dst, size_t bytes) {
  if (fd_ < 0) return -1;
  size_t done = 0;
  auto* out = static_cast<uint8_t*>(dst);
  while (done < bytes) {
    ssize_t n = ::read(fd_, out + done, bytes - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  pos_ += done;
  return static_cast<int64_t>(done);
}

void FileSource::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool MemorySource::Seek(int64_t offset, SeekOrigin origin) {
  uint64_t target = 0;
  if (!Resolve(offset, origin, pos_, bytes_.size(), target)) return false;
  pos_ = target;
  return true;
}

int64_t MemorySource::Read(void* dst, size_t bytes) {
  if (pos_ >= bytes_.size()) return 0;
  size_t n = std::min<uint64_t>(bytes, bytes_.size() - pos_);
  std::memcpy(dst, bytes_.data() + pos_, n);
  pos_ += n;
  return static_cast<int64_t>(n);
}

}  // namespace tovira
