#pragma once
// The decoder's only access to bytes: open, size, seek, read, close, with 64-bit sizes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tovira {

enum class SeekOrigin { Start, Current, End };

// What became of an open source's bytes since it was opened.
enum class SourceHealth { Intact, CutShort, Replaced };

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual bool Open() = 0;
  virtual uint64_t Size() const = 0;
  // Returns false, leaving the position unchanged, when the target lies before the start.
  virtual bool Seek(int64_t offset, SeekOrigin origin) = 0;
  virtual uint64_t Tell() const = 0;
  // Bytes read (0 at end of file), or -1 on a read failure.
  virtual int64_t Read(void* dst, size_t bytes) = 0;
  virtual void Close() = 0;
  // Asked only where reading stops (a short read, the end of the audio), never per frame:
  // CutShort when the bytes up to `end` are no longer all there, Replaced when what was opened
  // is no longer what the source's name stands for.
  virtual SourceHealth Health(uint64_t end) const { (void)end; return SourceHealth::Intact; }
};

class FileSource final : public ByteSource {
 public:
  explicit FileSource(std::string path) : path_(std::move(path)) {}
  ~FileSource() override { Close(); }
  // Only a regular file opens: a FIFO, a device or a directory is refused at once, never waited on.
  bool Open() override;
  // Why the last Open failed, for a message ("it is a directory", "No such file or directory").
  const std::string& ErrorText() const { return error_; }
  const std::string& Path() const { return path_; }
  uint64_t Size() const override { return size_; }
  bool Seek(int64_t offset, SeekOrigin origin) override;
  uint64_t Tell() const override { return pos_; }
  int64_t Read(void* dst, size_t bytes) override;
  void Close() override;
  // One fstat of the open file and one stat of its path.
  SourceHealth Health(uint64_t end) const override;

 private:
  std::string path_;
  std::string error_;
  int fd_ = -1;
  uint64_t device_ = 0;  // of the file opened, to tell whether the path still names it
  uint64_t inode_ = 0;
  uint64_t size_ = 0;
  uint64_t pos_ = 0;
};

// Bytes held in memory: used by the fuzzers and by tests that build streams frame by frame.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes.begin(), bytes.end()) {}
  bool Open() override { pos_ = 0; return true; }
  uint64_t Size() const override { return bytes_.size(); }
  bool Seek(int64_t offset, SeekOrigin origin) override;
  uint64_t Tell() const override { return pos_; }
  int64_t Read(void* dst, size_t bytes) override;
  void Close() override {}

 private:
  std::vector<uint8_t> bytes_;
  uint64_t pos_ = 0;
};

}  // namespace tovira
