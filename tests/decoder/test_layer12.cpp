#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "Layer3TestBits.h"
#include "decoder/ByteSource.h"
#include "decoder/MpegDecoder.h"
#include "decoder/PcmSink.h"
#include "decoder/Synthesis.h"
#include "decoder/generated/IsoTables.h"

namespace tovira {
namespace {

using test::BitWriter;

// The frame's bytes, padded to its length.
std::vector<uint8_t> Finish(const BitWriter& w, size_t frameBytes) {
  std::vector<uint8_t> bytes = w.Bytes(0);
  EXPECT_LE(bytes.size(), frameBytes) << "frame body too long for the chosen bit rate";
  bytes.resize(frameBytes, 0);
  return bytes;
}

// MPEG-1 header without CRC. layerBits: 3 = Layer I, 2 = Layer II.
void PutHeader(BitWriter& w, int layerBits, int bitrateIndex, int rateIndex, int mode, int modeExt) {
  w.Put(0xFFF, 12);
  w.Put(1, 1);  // MPEG-1
  w.Put(static_cast<uint32_t>(layerBits), 2);
  w.Put(1, 1);  // no CRC
  w.Put(static_cast<uint32_t>(bitrateIndex), 4);
  w.Put(static_cast<uint32_t>(rateIndex), 2);
  w.Put(0, 1);  // padding
  w.Put(0, 1);
  w.Put(static_cast<uint32_t>(mode), 2);
  w.Put(static_cast<uint32_t>(modeExt), 2);
  w.Put(0, 4);
}

// Requantised value of `code` in a quantiser of `steps` levels with scale-factor index `sf`,
// straight from the standard's definition.
float Value(int code, int steps, int sf) {
  return static_cast<float>((2.0 * code - (steps - 1)) / steps * std::exp2(1.0 - sf / 3.0));
}

using Frame = std::vector<std::array<float, 32>>;  // [slot][sub-band]

struct Expected {
  Frame ch[2];
};

std::vector<uint8_t> Repeat(const std::vector<uint8_t>& frame, int times) {
  std::vector<uint8_t> out;
  for (int i = 0; i < times; ++i) out.insert(out.end(), frame.begin(), frame.end());
  return out;
}

std::vector<int16_t> Decode(const std::vector<uint8_t>& bytes) {
  VectorPcmSink sink;
  std::string error;
  EXPECT_TRUE(MpegDecoder::DecodeSource(std::make_unique<MemorySource>(bytes), sink, &error)) << error;
  return sink.pcm;
}

// What the synthesis makes of the expected sub-band values, `times` frames in a row.
std::vector<int16_t> Synthesise(const Expected& e, bool stereo, int times, int decimation = 0) {
  Synthesis synth;
  synth.Init(Synthesis::kDefaultScale, decimation, 0);
  VectorPcmSink sink;
  synth.SetSink(&sink);
  const int slots = static_cast<int>(e.ch[0].size());
  for (int i = 0; i < times; ++i) {
    auto l = reinterpret_cast<const float (*)[32]>(e.ch[0].data());
    if (stereo) {
      synth.SynthStereo(l, reinterpret_cast<const float (*)[32]>(e.ch[1].data()), slots);
    } else {
      synth.SynthMonoToStereo(l, slots);
    }
  }
  synth.FlushPcm();
  return sink.pcm;
}

// Sample values may differ by one where single-precision products round differently.
void ExpectClose(const std::vector<int16_t>& got, const std::vector<int16_t>& want) {
  ASSERT_EQ(got.size(), want.size());
  int nonZero = 0;
  for (size_t i = 0; i < got.size(); ++i) {
    ASSERT_LE(std::abs(got[i] - want[i]), 1) << "value " << i;
    nonZero += want[i] != 0;
  }
  EXPECT_GT(nonZero, static_cast<int>(want.size() / 4)) << "the frames should carry a signal";
}

// A 384 kbit/s, 32 kHz Layer I frame (576 bytes) described by its allocations; codes follow a
// simple pattern. `bound` 32 with one channel is a single-channel frame.
struct Layer1Spec {
  int mode, modeExt, bound;
  int alloc[2][32] = {};
  int sf[2][32] = {};
};

std::vector<uint8_t> BuildLayer1(const Layer1Spec& s, Expected& e) {
  BitWriter w;
  PutHeader(w, 3, 12, 2, s.mode, s.modeExt);
  const int channels = s.mode == 3 ? 1 : 2;
  for (int sb = 0; sb < 32; ++sb) {
    for (int ch = 0; ch < (sb < s.bound ? channels : 1); ++ch) w.Put(static_cast<uint32_t>(s.alloc[ch][sb]), 4);
  }
  auto alloc = [&](int ch, int sb) { return s.alloc[sb < s.bound ? ch : 0][sb]; };
  for (int sb = 0; sb < 32; ++sb) {
    for (int ch = 0; ch < channels; ++ch) {
      if (alloc(ch, sb)) w.Put(static_cast<uint32_t>(s.sf[ch][sb]), 6);
    }
  }
  e.ch[0].assign(12, {});
  e.ch[1].assign(12, {});
  for (int slot = 0; slot < 12; ++slot) {
    for (int sb = 0; sb < 32; ++sb) {
      for (int ch = 0; ch < (sb < s.bound ? channels : 1); ++ch) {
        if (!alloc(ch, sb)) continue;
        const int bits = alloc(ch, sb) + 1, steps = (1 << bits) - 1;
        const int code = (slot * 5 + sb * 3 + ch * 11) % steps;
        w.Put(static_cast<uint32_t>(code), bits);
        // Above the bound one sample serves both channels, each with its own scale factor.
        for (int out = sb < s.bound ? ch : 0; out <= (sb < s.bound ? ch : channels - 1); ++out) {
          e.ch[out][slot][sb] = Value(code, steps, s.sf[out][sb]);
        }
      }
    }
  }
  return Finish(w, 576);
}

TEST(Layer1, SingleChannelReadsOnlyAllocatedScaleFactorsAndGivesIdenticalChannels) {
  Layer1Spec s{3, 0, 32};
  s.alloc[0][3] = 4, s.sf[0][3] = 5;     // 5-bit samples
  s.alloc[0][10] = 2, s.sf[0][10] = 20;  // 3-bit samples
  s.alloc[0][31] = 14, s.sf[0][31] = 9;  // 15-bit samples
  Expected e;
  const auto pcm = Decode(Repeat(BuildLayer1(s, e), 3));
  for (size_t i = 0; i < pcm.size(); i += 2) ASSERT_EQ(pcm[i], pcm[i + 1]);
  ExpectClose(pcm, Synthesise(e, false, 3));
}

TEST(Layer1, JointStereoSharesAllocationAndSamplesAboveTheBound) {
  Layer1Spec s{1, 0, 4};  // joint stereo, mode extension 0: bound 4
  s.alloc[0][2] = 3, s.alloc[1][1] = 5;
  s.alloc[0][7] = 5, s.alloc[0][20] = 2;  // shared above the bound
  s.sf[0][2] = 4, s.sf[1][1] = 8, s.sf[0][7] = 10, s.sf[1][7] = 30, s.sf[0][20] = 2, s.sf[1][20] = 12;
  Expected e;
  const auto frame = BuildLayer1(s, e);
  ExpectClose(Decode(Repeat(frame, 3)), Synthesise(e, true, 3));
}

// The forbidden allocation 15 makes a frame undecodable: it plays exactly as a frame without
// allocations would, and the frames around it are untouched.
TEST(Layer1, ForbiddenAllocationPlaysAsAnEmptyFrame) {
  Layer1Spec good{3, 0, 32};
  for (int sb = 0; sb < 8; ++sb) good.alloc[0][sb] = 4, good.sf[0][sb] = 12;
  Layer1Spec forbidden = good;
  forbidden.alloc[0][3] = 15;
  Expected e;
  auto decode = [&](const Layer1Spec& middle, uint64_t* damaged) {
    std::vector<uint8_t> bytes = BuildLayer1(good, e);
    const std::vector<uint8_t> m = BuildLayer1(middle, e);
    bytes.insert(bytes.end(), m.begin(), m.end());
    bytes = Repeat(bytes, 2);
    VectorPcmSink sink;
    EXPECT_TRUE(MpegDecoder::DecodeSource(std::make_unique<MemorySource>(bytes), sink, nullptr, damaged));
    return sink.pcm;
  };
  uint64_t damaged = 0, none = 0;
  const auto got = decode(forbidden, &damaged);
  const auto want = decode(Layer1Spec{3, 0, 32}, &none);
  EXPECT_EQ(damaged, 2u);
  EXPECT_EQ(none, 0u);
  ASSERT_EQ(got.size(), 4u * 2u * 384u);
  EXPECT_EQ(got, want);
}

// A Layer II frame described by its allocations; codes follow from a simple pattern, and
// `invalidGroupAt` puts an out-of-range grouped code into one granule.
struct Layer2Spec {
  int bitrateIndex, rateIndex, mode, modeExt;
  int table, sblimit, bound;
  int alloc[2][32] = {};
  int scfsi[2][32] = {};
  int invalidGranule = -1;
};

std::vector<uint8_t> BuildLayer2(const Layer2Spec& s, size_t frameBytes, Expected& e) {
  BitWriter w;
  PutHeader(w, 2, s.bitrateIndex, s.rateIndex, s.mode, s.modeExt);
  const iso::Layer2Alloc& t = iso::kLayer2Alloc[s.table];
  const int channels = s.mode == 3 ? 1 : 2;
  for (int sb = 0; sb < s.sblimit; ++sb) {
    const int nbal = t.rows[sb][0].bits;
    if (sb < s.bound) {
      for (int ch = 0; ch < channels; ++ch) w.Put(static_cast<uint32_t>(s.alloc[ch][sb]), nbal);
    } else {
      w.Put(static_cast<uint32_t>(s.alloc[0][sb]), nbal);
    }
  }
  int sf[2][32][3] = {};
  for (int sb = 0; sb < s.sblimit; ++sb) {
    for (int ch = 0; ch < channels; ++ch) {
      if (s.alloc[ch][sb]) w.Put(static_cast<uint32_t>(s.scfsi[ch][sb]), 2);
    }
  }
  for (int sb = 0; sb < s.sblimit; ++sb) {
    for (int ch = 0; ch < channels; ++ch) {
      if (!s.alloc[ch][sb]) continue;
      const int a = 3 + sb + 7 * ch, b = 10 + sb, c = 20 + ch;
      int* f = sf[ch][sb];
      switch (s.scfsi[ch][sb]) {
        case 0: f[0] = a, f[1] = b, f[2] = c; w.Put(a, 6), w.Put(b, 6), w.Put(c, 6); break;
        case 1: f[0] = f[1] = a, f[2] = b; w.Put(a, 6), w.Put(b, 6); break;
        case 2: f[0] = f[1] = f[2] = a; w.Put(a, 6); break;
        default: f[0] = a, f[1] = f[2] = b; w.Put(a, 6), w.Put(b, 6); break;
      }
    }
  }
  e.ch[0].assign(36, {});
  e.ch[1].assign(36, {});
  for (int gr = 0; gr < 12; ++gr) {
    for (int sb = 0; sb < s.sblimit; ++sb) {
      const int coded = sb < s.bound ? channels : 1;
      for (int ch = 0; ch < coded; ++ch) {
        const int av = s.alloc[ch][sb];
        if (!av) continue;
        const iso::Layer2Quant q = t.rows[sb][av];
        const int steps = q.d > 0 ? q.d : (1 << q.bits) - 1;
        int codes[3];
        for (int k = 0; k < 3; ++k) codes[k] = (gr * 3 + k + sb * 5 + ch) % steps;
        const bool invalid = gr == s.invalidGranule && q.d > 0;
        if (q.d > 0) {
          const int group = invalid ? (1 << q.bits) - 1 : codes[0] + steps * codes[1] + steps * steps * codes[2];
          w.Put(static_cast<uint32_t>(group), q.bits);
        } else {
          for (int k = 0; k < 3; ++k) w.Put(static_cast<uint32_t>(codes[k]), q.bits);
        }
        for (int k = 0; k < 3; ++k) {
          for (int out = 0; out < 2; ++out) {
            if (sb < s.bound ? out != ch : out >= channels) continue;
            e.ch[out][3 * gr + k][sb] = invalid ? 0.0f : Value(codes[k], steps, sf[out][sb][gr / 4]);
          }
        }
      }
    }
  }
  return Finish(w, frameBytes);
}

TEST(Layer2, ScaleFactorSelectionAndGroupedCodesAt48kStereo) {
  // 128 kbit/s at 48 kHz: table B.2a, 27 sub-bands, 384-byte frames.
  Layer2Spec s{8, 1, 0, 0, 0, 27, 27};
  s.alloc[0][0] = 1, s.scfsi[0][0] = 2;   // 3 steps, grouped; one scale factor for all blocks
  s.alloc[1][0] = 9, s.scfsi[1][0] = 0;   // ungrouped
  s.alloc[0][4] = 2, s.scfsi[0][4] = 1;   // 5 steps, grouped
  s.alloc[1][5] = 4, s.scfsi[1][5] = 3;   // 9 steps, grouped
  s.alloc[0][12] = 6, s.scfsi[0][12] = 0;
  s.alloc[1][26] = 3, s.scfsi[1][26] = 2;  // last coded sub-band
  s.invalidGranule = 5;                    // grouped codes beyond the last group: silence
  Expected e;
  const auto frame = BuildLayer2(s, 384, e);
  ExpectClose(Decode(Repeat(frame, 3)), Synthesise(e, true, 3));
}

TEST(Layer2, JointStereoBoundAboveTheSubbandLimitIsLimited) {
  // 64 kbit/s stereo at 48 kHz selects table B.2c with 8 sub-bands; mode extension 3 asks for a
  // bound of 16, which must act as 8: every coded sub-band has its own allocation per channel.
  Layer2Spec s{4, 1, 1, 3, 2, 8, 8};
  s.alloc[0][0] = 3, s.alloc[1][0] = 1;
  s.alloc[0][3] = 2, s.alloc[1][3] = 5;
  s.alloc[1][7] = 7;
  for (auto& ch : s.scfsi) {
    for (int sb = 0; sb < 8; ++sb) ch[sb] = sb % 4;
  }
  Expected e;
  const auto frame = BuildLayer2(s, 192, e);
  ExpectClose(Decode(Repeat(frame, 3)), Synthesise(e, true, 3));
}

TEST(Layer2, HalfRateSilencesTheUpperSubbands) {
  // Single channel, 192 kbit/s at 44.1 kHz: table B.2b, 30 sub-bands, 626-byte frames.
  Layer2Spec s{10, 0, 3, 0, 1, 30, 30};
  s.alloc[0][2] = 5, s.alloc[0][15] = 2, s.alloc[0][16] = 3, s.alloc[0][29] = 1;
  Expected e;
  const auto frame = BuildLayer2(s, 626, e);
  const auto bytes = Repeat(frame, 2);

  PlaybackContext ctx;
  MpegDecoder dec(ctx);
  dec.Stream().SetSource(std::make_unique<MemorySource>(bytes));
  ASSERT_TRUE(dec.Stream().OpenStream());
  VectorPcmSink sink;
  dec.SetSink(&sink);
  ASSERT_EQ(dec.Stream().ReadFrame(), 1);
  dec.Prepare(1);
  dec.DecodeCurrentFrame();
  ASSERT_EQ(dec.Stream().ReadFrame(), 1);
  dec.DecodeCurrentFrame();
  dec.FlushPcm();
  ASSERT_EQ(sink.pcm.size(), 2u * 1152u);  // two frames, 576 stereo samples each

  for (auto& slot : e.ch[0]) std::fill(slot.begin() + 16, slot.end(), 0.0f);
  ExpectClose(sink.pcm, Synthesise(e, false, 2, 1));
}

TEST(MpegDecoder, PrepareClearsWhatThePreviousTrackLeftInTheFilter) {
  Layer2Spec loud{10, 0, 3, 0, 1, 30, 30};
  for (int sb = 0; sb < 8; ++sb) loud.alloc[0][sb] = 6;
  Expected e;
  const auto frame = BuildLayer2(loud, 626, e);
  Layer2Spec quiet{10, 0, 3, 0, 1, 30, 30};
  const auto silent = BuildLayer2(quiet, 626, e);

  PlaybackContext ctx;
  MpegDecoder dec(ctx);
  VectorPcmSink sink;
  dec.SetSink(&sink);
  dec.Stream().SetSource(std::make_unique<MemorySource>(Repeat(frame, 2)));
  ASSERT_TRUE(dec.Stream().OpenStream());
  ASSERT_EQ(dec.Stream().ReadFrame(), 1);
  dec.Prepare(0);
  dec.DecodeCurrentFrame();  // leaves a tail in the filter history
  dec.Stream().SetSource(std::make_unique<MemorySource>(Repeat(silent, 2)));
  ASSERT_TRUE(dec.Stream().OpenStream());
  ASSERT_EQ(dec.Stream().ReadFrame(), 1);
  dec.Prepare(0);
  sink.pcm.clear();
  dec.DecodeCurrentFrame();
  dec.FlushPcm();
  ASSERT_EQ(sink.pcm.size(), 2304u);
  for (int16_t v : sink.pcm) ASSERT_EQ(v, 0);
}

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
    for (int layerBits = 2; layerBits <= 3; ++layerBits) {
      for (int rate = 0; rate < 3; ++rate) {
        for (int br = 1; br < 15; ++br) {
          for (int mode = 0; mode < 4; ++mode) {
            std::vector<uint8_t> stream;
            for (int f = 0; f < 4; ++f) {
              const uint32_t h = 0xFFE00000u | (version == 0 ? 1u << 19 : 0u) | (1u << 20) | (uint32_t(layerBits) << 17) | (1u << 16) |
                                 (uint32_t(br) << 12) | (uint32_t(rate) << 10) | (uint32_t(mode) << 6) | (uint32_t(f) << 4);
              const int32_t length = FrameLengthOf(h);
              ASSERT_GT(length, 4);
              const uint8_t head[4] = {uint8_t(h >> 24), uint8_t(h >> 16), uint8_t(h >> 8), uint8_t(h)};
              stream.insert(stream.end(), head, head + 4);
              for (int32_t i = 4; i < length; ++i) stream.push_back(static_cast<uint8_t>(rng()));
            }
            sink.pcm.clear();
            std::string error;
            EXPECT_TRUE(MpegDecoder::DecodeSource(std::make_unique<MemorySource>(stream), sink, &error)) << error;
            EXPECT_EQ(sink.pcm.size(), 4u * 2u * (layerBits == 3 ? 384u : 1152u));
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace tovira
