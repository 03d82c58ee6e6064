// Layer I and II output is checked sample by sample against the compliance streams (every
// joint stereo bound of both layers is among them) and against encoded fixtures; here is what
// bad input does to it.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "StreamBuilder.h"
#include "decoder/ByteSource.h"
#include "decoder/FrameHeader.h"
#include "decoder/MpegDecoder.h"
#include "decoder/PcmSink.h"

namespace tovira {
namespace {

TEST(MpegDecoder, ReportsFilesWithoutAudio) {
  VectorPcmSink sink;
  std::string error;
  EXPECT_FALSE(MpegDecoder::DecodeFile("/nonexistent/file.mp2", sink, &error));
  EXPECT_FALSE(error.empty());
  error.clear();
  std::vector<uint8_t> text(5000, 'x');
  EXPECT_FALSE(MpegDecoder::DecodeSource(std::make_unique<MemorySource>(text), sink, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(sink.pcm.empty());
}

// Garbage behind valid Layer I/II headers of every bit rate, mode and extension never crashes
// or hangs, and every frame, decodable or not, comes out at its full length.
TEST(MpegDecoder, RandomBodiesGiveFullLengthFrames) {
  std::mt19937 rng(1234);
  VectorPcmSink sink;
  for (int version = 0; version < 2; ++version) {  // MPEG-1, then MPEG-2 lower rates
    for (int layer = 1; layer <= 2; ++layer) {
      for (int rate = 0; rate < 3; ++rate) {
        for (int br = 1; br < 15; ++br) {
          for (int mode = 0; mode < 4; ++mode) {
            std::vector<uint8_t> stream;
            for (int f = 0; f < 4; ++f) {
              const test::HeaderSpec spec{version == 0 ? test::Version::Mpeg1 : test::Version::Mpeg2, layer, br, rate, 0, mode, f};
              test::AppendFrame(stream, spec);
              const size_t body = static_cast<size_t>(FrameLengthOf(test::MakeHeader(spec))) - 4;
              ASSERT_GT(body, 0u);
              for (size_t i = stream.size() - body; i < stream.size(); ++i) stream[i] = static_cast<uint8_t>(rng());
            }
            sink.pcm.clear();
            std::string error;
            EXPECT_TRUE(MpegDecoder::DecodeSource(std::make_unique<MemorySource>(stream), sink, &error)) << error;
            EXPECT_EQ(sink.pcm.size(), 4u * 2u * (layer == 1 ? 384u : 1152u));
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace tovira
