#pragma once
// A small tmpfs over a test's folder, to meet a full disk or a read-only folder for real: the tests
// run as root, whom permission bits do not stop. Mounting needs that right; without it Mounted()
// is false and the test skips with Error().

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace tovira::test {

class TempMount {
 public:
  TempMount(const std::filesystem::path& at, bool readOnly) : at_(at) {
    std::error_code ec;
    std::filesystem::create_directories(at_, ec);
    if (::mount("tmpfs", at_.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, "size=64k,mode=0755") == 0) {
      mounted_ = true;
    } else {
      error_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
    }
  }
  ~TempMount() {
    if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
  }
  TempMount(const TempMount&) = delete;
  TempMount& operator=(const TempMount&) = delete;

  bool Mounted() const { return mounted_; }
  const std::string& Error() const { return error_; }

  // Takes every free block with the file "filler"; true once a write met a full disk.
  bool Fill() const {
    const int fd = ::open((at_ / "filler").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const std::string block(4096, 'f');
    bool full = false;
    for (int i = 0; i < 1024 && !full; ++i) full = ::write(fd, block.data(), block.size()) < 0 && errno == ENOSPC;
    ::close(fd);
    return full;
  }
  void Free() const { std::filesystem::remove(at_ / "filler"); }

 private:
  std::filesystem::path at_;
  bool mounted_ = false;
  std::string error_;
};

}  // namespace tovira::test
