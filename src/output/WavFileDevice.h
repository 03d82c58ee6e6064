#pragma once
// Writes what would have been played into a RIFF/WAVE file, as fast as it is queued. Every
// open of the device appends to the same file (one file for a whole play list, as long as the
// format stays the same); the file is written under a temporary name and renamed into place when
// the device is destroyed.

#include <cstdio>
#include <string>

#include "output/PullThreadDevice.h"

namespace tovira {

class WavFileDevice : public PullThreadDevice {
 public:
  explicit WavFileDevice(std::string path) : PullThreadDevice(Pacing::Immediate), path_(std::move(path)) {}
  ~WavFileDevice() override;
  std::string Name() const override { return "wav:" + path_; }
  // Bytes written so far; read it while the device is closed.
  uint64_t DataBytes() const { return dataBytes_; }

 protected:
  bool Begin(const PcmFormat& format, std::string* error) override;
  void Consume(const uint8_t* data, size_t bytes) override;
  void End() override;

 private:
  bool WriteHeader();

  std::string path_;
  std::string tempPath_;
  PcmFormat format_;
  std::FILE* file_ = nullptr;
  uint64_t dataBytes_ = 0;
  bool failed_ = false;
};

}  // namespace tovira
