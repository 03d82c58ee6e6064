#pragma once
// Decodes a compliance bitstream with MpegDecoder and compares it with its reference PCM: the
// reference is 16-bit little-endian, one channel for single-channel streams, and may run past
// the decoded length, so the comparison covers the common length only.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "decoder/MpegDecoder.h"
#include "decoder/PcmSink.h"
#include "decoder/StreamProbe.h"

namespace tovira::testing {

struct ConformanceFigures {
  bool decoded = false;
  std::string error;
  uint64_t damaged = 0;  // frames the decoder found damaged
  int channels = 0;              // of the stream, and so of the reference
  size_t decodedPerChannel = 0;  // samples per channel the decoder produced
  size_t referencePerChannel = 0;
  size_t expectedPerChannel = 0;  // estimated frame count times samples per frame
  size_t samplesPerFrame = 0;
  size_t compared = 0;  // values compared
  double psnr = 0.0;    // 10 log10(32767^2 / MSE); +infinity for identical output
  int maxDiff = 0;
};

inline std::ostream& operator<<(std::ostream& os, const ConformanceFigures& f) {
  return os << "decoded=" << f.decoded << " error='" << f.error << "' damaged=" << f.damaged << " channels=" << f.channels
            << " decoded/ch=" << f.decodedPerChannel << " reference/ch=" << f.referencePerChannel
            << " expected/ch=" << f.expectedPerChannel
            << " compared=" << f.compared << " psnr=" << f.psnr << " maxdiff=" << f.maxDiff;
}

inline std::vector<int16_t> ReadPcm16(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::vector<int16_t> out(bytes.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) {
    const auto lo = static_cast<uint8_t>(bytes[2 * i]);
    const auto hi = static_cast<uint8_t>(bytes[2 * i + 1]);
    out[i] = static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8)));
  }
  return out;
}

// bitPath: the stream; pcmPath: its reference output.
inline ConformanceFigures CompareWithReference(const std::string& bitPath, const std::string& pcmPath) {
  ConformanceFigures fig;
  StreamSummary summary;
  if (ProbeStream(bitPath, summary) != ProbeStatus::Ok) {
    fig.error = "cannot probe " + bitPath;
    return fig;
  }
  fig.channels = summary.header.channels == 1 ? 1 : 2;
  fig.samplesPerFrame = static_cast<size_t>(summary.header.SamplesPerFrame());
  fig.expectedPerChannel = static_cast<size_t>(summary.Frames()) * fig.samplesPerFrame;
  VectorPcmSink sink;
  fig.decoded = MpegDecoder::DecodeFile(bitPath, sink, &fig.error, &fig.damaged);
  const std::vector<int16_t> ref = ReadPcm16(pcmPath);
  fig.decodedPerChannel = sink.pcm.size() / 2;
  fig.referencePerChannel = ref.size() / static_cast<size_t>(fig.channels);
  const size_t frames = std::min(fig.decodedPerChannel, fig.referencePerChannel);
  double squares = 0.0;
  for (size_t n = 0; n < frames; ++n) {
    for (int c = 0; c < fig.channels; ++c) {
      const int d = sink.pcm[2 * n + static_cast<size_t>(c)] - ref[n * static_cast<size_t>(fig.channels) + static_cast<size_t>(c)];
      squares += static_cast<double>(d) * d;
      fig.maxDiff = std::max(fig.maxDiff, std::abs(d));
      ++fig.compared;
    }
  }
  if (fig.compared == 0) return fig;
  const double mse = squares / static_cast<double>(fig.compared);
  fig.psnr = mse == 0.0 ? std::numeric_limits<double>::infinity() : 10.0 * std::log10(32767.0 * 32767.0 / mse);
  return fig;
}

// The directory of the compliance streams, or "" when it is not there.
inline std::string ConformanceDir() {
  const std::string dir = TOVIRA_CONFORMANCE_DIR;
  return std::filesystem::is_directory(dir) ? dir : std::string();
}

// Test names from stream names ("l1-fl1" -> "l1_fl1"): gtest names allow no '-'.
inline std::string StreamTestName(const ::testing::TestParamInfo<const char*>& info) {
  std::string name = info.param;
  for (char& c : name) {
    if (c == '-') c = '_';
  }
  return name;
}

}  // namespace tovira::testing
