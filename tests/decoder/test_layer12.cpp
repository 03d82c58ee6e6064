// Layer I and II output is checked sample by sample against the compliance streams (every
// joint stereo bound of both layers is among them) and against encoded fixtures; here is what
// bad input does to it.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "Decode.h"
#include "Layer3TestBits.h"
#include "StreamBuilder.h"
#include "decoder/ByteSource.h"
#include "decoder/FrameHeader.h"
#include "decoder/MpegDecoder.h"
#include "decoder/PcmSink.h"
#include "decoder/generated/IsoTables.h"

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
              const test::HeaderFields fields{version == 0 ? test::Version::Mpeg1 : test::Version::Mpeg2, layer, br, rate, 0, mode, f};
              test::AppendFrame(stream, fields);
              const size_t body = static_cast<size_t>(FrameLengthOf(test::MakeHeader(fields))) - 4;
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

// At half rate only the lower 16 sub-bands can be heard: frames whose audio lies wholly above
// them (random scale factors and samples behind allocations from sub-band 16 on) are loud at
// full rate and silent at half rate.
TEST(Layer2, HalfRateHearsOnlyTheLowerSubbands) {
  std::mt19937 rng(7);
  const test::HeaderFields fields{test::Version::Mpeg1, 2, 10, 0, 0, 3, 0};  // 192 kbit/s mono 44.1 kHz
  const iso::Layer2Alloc& table = iso::kLayer2Alloc[1];                 // its table: 30 sub-bands
  std::vector<uint8_t> stream;
  for (int f = 0; f < 4; ++f) {
    test::BitWriter w;
    w.Put(test::MakeHeader(fields), 32);
    for (int sb = 0; sb < table.subbandLimit; ++sb) w.Put(sb < 16 ? 0 : 1, table.rows[sb][0].bits);
    std::vector<uint8_t> frame = w.Bytes();
    frame.resize(static_cast<size_t>(FrameLengthOf(test::MakeHeader(fields))));
    for (size_t i = static_cast<size_t>(w.Count()) / 8 + 1; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(rng());
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  auto decode = [&](int decimation) {
    PlaybackContext ctx;
    MpegDecoder dec(ctx);
    return test::DecodeFrames(dec, stream, decimation);
  };
  const std::vector<int16_t> full = decode(0), half = decode(1);
  ASSERT_EQ(full.size(), 4u * 2304u);
  ASSERT_EQ(half.size(), full.size() / 2);
  EXPECT_GT(std::count_if(full.begin(), full.end(), [](int16_t v) { return std::abs(v) > 100; }), 1000);
  EXPECT_TRUE(std::all_of(half.begin(), half.end(), [](int16_t v) { return v == 0; }));
}

}  // namespace
}  // namespace tovira
