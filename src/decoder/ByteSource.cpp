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
  pos_ = 0;
  return true;
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
