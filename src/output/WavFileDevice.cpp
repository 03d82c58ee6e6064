#include "output/WavFileDevice.h"

#include <cerrno>
#include <algorithm>
#include <cstring>

namespace tovira {

namespace {
void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v & 0xFFFFu);
  Put16(p + 2, v >> 16);
}
// RIFF sizes are 32-bit; longer recordings keep the largest size that fits.
constexpr uint64_t kMaxData = 0xFFFFFFFFull - 36;
}  // namespace

WavFileDevice::~WavFileDevice() {
  Close();
  if (!file_) return;
  bool ok = !failed_;
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (ok) ok = std::rename(tempPath_.c_str(), path_.c_str()) == 0;
  if (!ok) std::remove(tempPath_.c_str());
}

bool WavFileDevice::Begin(const PcmFormat& format, std::string* error) {
  if (file_) {
    if (format == format_ && !failed_) return std::fseek(file_, 0, SEEK_END) == 0;
    if (error) *error = path_ + ": the next stream's PCM format differs from the file's";
    return false;
  }
  format_ = format;
  dataBytes_ = 0;
  failed_ = false;
  tempPath_ = path_ + ".part";
  file_ = std::fopen(tempPath_.c_str(), "wb");
  if (!file_) {
    if (error) *error = path_ + ": " + std::strerror(errno);
    return false;
  }
  if (!WriteHeader()) {
    if (error) *error = path_ + ": cannot write";
    std::fclose(file_);
    file_ = nullptr;
    std::remove(tempPath_.c_str());
    return false;
  }
  return true;
}

bool WavFileDevice::WriteHeader() {
  uint8_t h[44];
  const uint32_t data = static_cast<uint32_t>(std::min(dataBytes_, kMaxData));
  std::memcpy(h, "RIFF", 4);
  Put32(h + 4, 36 + data);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  Put32(h + 16, 16);
  Put16(h + 20, 1);  // PCM
  Put16(h + 22, static_cast<uint32_t>(format_.channels));
  Put32(h + 24, static_cast<uint32_t>(format_.sampleRate));
  Put32(h + 28, static_cast<uint32_t>(format_.BytesPerSecond()));
  Put16(h + 32, static_cast<uint32_t>(format_.BytesPerFrame()));
  Put16(h + 34, static_cast<uint32_t>(format_.bitsPerSample));
  std::memcpy(h + 36, "data", 4);
  Put32(h + 40, data);
  return std::fseek(file_, 0, SEEK_SET) == 0 && std::fwrite(h, 1, sizeof h, file_) == sizeof h;
}

void WavFileDevice::Consume(const uint8_t* data, size_t bytes) {
  if (!file_ || failed_) return;
  if (std::fwrite(data, 1, bytes, file_) != bytes) failed_ = true;
  dataBytes_ += bytes;
}

void WavFileDevice::End() {
  // Keep the header current, so the file is complete after every stream.
  if (!file_ || failed_) return;
  if (!WriteHeader() || std::fflush(file_) != 0) failed_ = true;
}

}  // namespace tovira
