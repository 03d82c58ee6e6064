// ReplayGain values from the tagged fixtures (mutagen wrote the tags, the fixture script patched
// the encoder's header), the choice of gain, and its settings.
#include "tags/ReplayGain.h"

#include <gtest/gtest.h>
#include <taglib/id3v2tag.h>
#include <taglib/relativevolumeframe.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <tuple>

#include "decoder/MpegDecoder.h"
#include "tags/ReplayGainTags.h"
#include "tags/TagFiles.h"
#include "tags/TagInfo.h"
#include "util/Settings.h"

namespace tovira {
namespace {

using test::Fixture;

// "-6.20 TXXX" per field, "-" when absent: one comparison shows all four values and sources.
std::string Describe(const ReplayGainInfo& rg) {
  std::string s;
  for (const auto* v : {&rg.trackGain, &rg.trackPeak, &rg.albumGain, &rg.albumPeak}) {
    char buf[64];
    if (*v) {
      std::snprintf(buf, sizeof buf, "%.2f %s|", (*v)->value, ReplayGainSourceName((*v)->source));
    } else {
      std::snprintf(buf, sizeof buf, "-|");
    }
    s += buf;
  }
  return s;
}

TEST(ReplayGain, EachSourceAndTheirPrecedenceValueByValue) {
  const std::pair<const char*, const char*> cases[] = {
      {"rg_txxx.mp3", "-6.20 TXXX|0.50 TXXX|-8.00 TXXX|0.60 TXXX|"},  // descriptions in three cases
      {"rg_rva2.mp3", "-3.50 RVA2|0.75 RVA2|-4.50 RVA2|0.80 RVA2|"},
      {"rg_ape.mp3", "2.00 APE|0.40 APE|-1.00 APE|-|"},
      {"rg_lame.mp3", "-7.00 LAME header|0.50 LAME header|-9.00 LAME header|-|"},
      // TXXX > RVA2 > APE > the header, each value on its own (all four state a track gain, RVA2,
      // APE and the header a track peak).
      {"rg_all.mp3", "-6.20 TXXX|0.75 RVA2|-9.00 LAME header|0.80 APE|"},
      // NaN, -75 dB and a negative peak are not believed; APE and the header's values stand in.
      {"rg_bad.mp3", "-7.00 LAME header|0.50 LAME header|-2.50 APE|-|"},
      {"l2_44k_192.mp2", "-|-|-|-|"},
  };
  for (const auto& [file, expected] : cases) {
    EXPECT_EQ(Describe(ReadReplayGain(Fixture(file).string())), expected) << file;
  }
  // The encoder's own analysis: a radio gain, and no peak unless it was asked to decode.
  const ReplayGainInfo own = ReadReplayGain(Fixture("l3_44k_128_js.mp3").string());
  ASSERT_TRUE(own.trackGain);
  EXPECT_EQ(own.trackGain->source, ReplayGainSource::LameHeader);
  EXPECT_FALSE(own.trackPeak || own.albumGain);
}

// The encoder measured its peak on its own decoded output: ours must find the same.
TEST(ReplayGain, HeaderPeakIsTheDecodedPeak) {
  const std::string file = Fixture("rg_lame_accurate.mp3").string();
  const ReplayGainInfo rg = ReadReplayGain(file);
  ASSERT_TRUE(rg.trackPeak);
  VectorPcmSink pcm;
  ASSERT_TRUE(MpegDecoder::DecodeFile(file, pcm));
  int peak = 0;
  for (const int16_t s : pcm.pcm) peak = std::max(peak, std::abs(static_cast<int>(s)));
  EXPECT_NEAR(rg.trackPeak->value, peak / 32768.0, 0.005);
}

// RVA2 frames TagLib holds as read: a peak shorter than its bit count, another channel than the
// master volume and another identification are all passed over.
TEST(ReplayGain, Rva2FramesWithoutUsableFields) {
  using Rva = TagLib::ID3v2::RelativeVolumeFrame;
  TagLib::ID3v2::Tag tag;
  auto add = [&](const char* id, Rva::ChannelType channel, short index, unsigned char bits, const char* peak, unsigned len) {
    auto* f = new Rva();
    f->setIdentification(id);
    f->setVolumeAdjustmentIndex(index, channel);
    Rva::PeakVolume p;
    p.bitsRepresentingPeak = bits;
    p.peakVolume = TagLib::ByteVector(peak, len);
    f->setPeakVolume(p, channel);
    tag.addFrame(f);
  };
  add("Track", Rva::MasterVolume, -1024, 16, "\x40", 1);  // -2 dB; a 16-bit peak of one byte
  add("album", Rva::FrontLeft, -512, 8, "\x40", 1);
  add("normalize", Rva::MasterVolume, 512, 8, "\x40", 1);
  add("ALBUM", Rva::MasterVolume, 256, 12, "\x04\x00", 2);  // +0.5 dB, peak 1024 / 2^11
  EXPECT_EQ(Describe(ReplayGainFromId3v2(&tag)), "-2.00 RVA2|-|0.50 RVA2|0.50 RVA2|");
}

TEST(ReplayGain, ParsesTheTextsTaggersWrite) {
  const std::pair<const char*, double> good[] = {
      {"-6.20 dB", -6.2}, {"+3.5dB", 3.5}, {" 1.2 ", 1.2}, {"-6,20 dB", -6.2}, {"0 DB", 0.0}, {"-60 dB", -60.0}};
  for (const auto& [text, db] : good) {
    const auto v = ParseReplayGainDb(text);
    ASSERT_TRUE(v) << text;
    EXPECT_DOUBLE_EQ(*v, db) << text;
  }
  for (const char* bad : {"", "dB", "nan dB", "inf", "-60.1 dB", "1e1", "+-3", "6.2 dBx", "6.2.1", "0x10"}) {
    EXPECT_FALSE(ParseReplayGainDb(bad)) << bad;
  }
  EXPECT_DOUBLE_EQ(ParseReplayGainPeak("0.988").value_or(0), 0.988);
  for (const char* bad : {"0", "-0.5", "65", "nan", "0.5 dB"}) EXPECT_FALSE(ParseReplayGainPeak(bad)) << bad;
}

ReplayGainInfo Info(std::optional<double> track, std::optional<double> trackPeak, std::optional<double> album,
                    std::optional<double> albumPeak) {
  ReplayGainInfo i;
  auto v = [](std::optional<double> x) {
    return x ? std::optional<ReplayGainValue>(ReplayGainValue{*x, ReplayGainSource::Txxx}) : std::nullopt;
  };
  i.trackGain = v(track), i.trackPeak = v(trackPeak), i.albumGain = v(album), i.albumPeak = v(albumPeak);
  return i;
}

double Db(double factor) { return 20.0 * std::log10(factor); }

TEST(ReplayGain, GainFromModeFallbacksPreampAndPeak) {
  const ReplayGainInfo full = Info(-6.0, 0.5, -8.0, 0.9);
  struct Case {
    ReplayGainMode mode;
    ReplayGainInfo info;
    double preamp, fallback;
    bool clip, continues;
    double db;
    ReplayGainUsed used;
  };
  using M = ReplayGainMode;
  using U = ReplayGainUsed;
  const Case cases[] = {
      {M::Off, full, 6, -6, true, true, 0.0, U::None},
      {M::Track, full, 0, 0, true, true, -6.0, U::Track},
      {M::Album, full, 0, 0, true, false, -8.0, U::Album},
      {M::Auto, full, 0, 0, true, false, -6.0, U::Track},
      {M::Auto, full, 0, 0, true, true, -8.0, U::Album},
      {M::Album, Info(-6.0, 0.5, {}, {}), 2, 0, true, false, -4.0, U::Track},  // no album gain; preamp added
      {M::Track, Info({}, {}, -3.0, {}), 0, 0, true, false, -3.0, U::Album},
      {M::Track, Info({}, 0.5, {}, {}), 5, -6, true, false, -6.0, U::Fallback},  // no preamp on the fallback
      // +10 dB on a 0.5 peak would clip: it stops at 1 / 0.5, unless prevention is off.
      {M::Track, Info(10.0, 0.5, {}, {}), 0, 0, true, false, Db(2.0), U::Track},
      {M::Track, Info(10.0, 0.5, {}, {}), 0, 0, false, false, 10.0, U::Track},
      // Album gain is limited by the album's peak, else by the track's.
      {M::Album, Info(0.0, 0.5, 6.0, 0.9), 0, 0, true, false, Db(1 / 0.9), U::Album},
      {M::Album, Info(0.0, 0.8, 6.0, {}), 0, 0, true, false, Db(1 / 0.8), U::Album},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << ReplayGainModeName(c.mode) << " " << Describe(c.info) << " expect " << c.db);
    const ReplayGainConfig config{c.mode, c.preamp, c.fallback, c.clip};
    const ReplayGainResult r = ComputeReplayGain(config, c.info, c.continues);
    EXPECT_NEAR(Db(r.factor), c.db, 1e-9);
    EXPECT_EQ(r.used, c.used);
  }
}

// Two albums that share a title but not an album artist, then a jump back: auto mode uses album
// gain only for a track that follows the row above it on the same album.
TEST(ReplayGain, AutoModeOverATwoAlbumSequence) {
  struct Row {
    AlbumKey key;
    double track, album;
  };
  const Row rows[] = {{{"Blue", "A"}, -5, -7}, {{"Blue", "A"}, -9, -7}, {{"Blue", "B"}, -4, -2},
                      {{"Blue", "B"}, -1, -2}, {{"Green", {}}, -3, -6}, {{"Green", {}}, -8, -6}};
  const int order[] = {0, 1, 2, 3, 4, 5, 0, 2, 3, 1};  // row 0 again, then 2 after 0: no longer in order
  const double expected[] = {-5, -7, -4, -2, -3, -6, -5, -4, -2, -9};
  const ReplayGainConfig config{ReplayGainMode::Auto, 0.0, 0.0, true};
  for (size_t i = 0; i < std::size(order); ++i) {
    const Row& row = rows[order[i]];
    const bool continues = i > 0 && ContinuesAlbum(order[i - 1] + 1 == order[i], rows[order[i - 1]].key, row.key);
    const auto r = ComputeReplayGain(config, Info(row.track, {}, row.album, {}), continues);
    EXPECT_NEAR(Db(r.factor), expected[i], 1e-9) << "step " << i;
  }
  EXPECT_FALSE(ContinuesAlbum(true, {"", {}}, {"", {}})) << "no album title: no album";
  EXPECT_FALSE(ContinuesAlbum(true, {{}, {}}, {{}, {}}));
}

TEST(ReplayGain, SettingsReadInRangeOrAsDefaults) {
  MapSettings s;
  ReplayGainConfig c = LoadReplayGainConfig(s);
  EXPECT_EQ(std::tuple(c.mode, c.preampDb, c.fallbackDb, c.preventClipping),
            std::tuple(ReplayGainMode::Off, 0.0, 0.0, true));
  s.WriteString(kReplayGainSection, "Mode", "Album");
  s.WriteString(kReplayGainSection, "Preamp", "-3.5");
  s.WriteString(kReplayGainSection, "Fallback", "-6");
  s.WriteInt(kReplayGainSection, "PreventClipping", 0);
  c = LoadReplayGainConfig(s);
  EXPECT_EQ(std::tuple(c.mode, c.preampDb, c.fallbackDb, c.preventClipping),
            std::tuple(ReplayGainMode::Album, -3.5, -6.0, false));
  s.WriteString(kReplayGainSection, "Mode", "loud");
  s.WriteString(kReplayGainSection, "Preamp", "12.5");
  s.WriteString(kReplayGainSection, "Fallback", "nan");
  c = LoadReplayGainConfig(s);
  EXPECT_EQ(std::tuple(c.mode, c.preampDb, c.fallbackDb), std::tuple(ReplayGainMode::Off, 0.0, 0.0));
  SaveReplayGainConfig(s, {ReplayGainMode::Auto, 2.5, -12.0, true});
  EXPECT_EQ(s.ReadString(kReplayGainSection, "Preamp", ""), "2.5");
  c = LoadReplayGainConfig(s);
  EXPECT_EQ(std::tuple(c.mode, c.preampDb, c.fallbackDb, c.preventClipping),
            std::tuple(ReplayGainMode::Auto, 2.5, -12.0, true));
}

}  // namespace
}  // namespace tovira
