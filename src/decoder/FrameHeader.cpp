#include "decoder/FrameHeader.h"

namespace tovira {

namespace {

// kbit/s by [lsf][layer - 1][bit-rate index]; MPEG-2.5 uses the lsf rows.
constexpr int16_t kBitrates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
};

constexpr int32_t kSampleRates[9] = {44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000};

// Layer II allocation table by [sample-rate index][channels == 1][bit-rate index], MPEG-1 only.
constexpr int8_t kLayer2Selection[3][2][16] = {
    {{0, 2, 2, 2, 2, 2, 2, 0, 0, 0, 1, 1, 1, 1, 1, 0}, {0, 2, 2, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}},
    {{0, 2, 2, 2, 2, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {{0, 3, 3, 3, 3, 3, 3, 0, 0, 0, 1, 1, 1, 1, 1, 0}, {0, 3, 3, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}},
};

constexpr int32_t kLayer2Limits[5] = {27, 30, 8, 12, 30};

struct RawFields {
  int32_t lsf, mpeg25, layer, rateIndex, bitrateIndex, padding, mode;
};

RawFields Split(uint32_t h) {
  RawFields f{};
  if (h & (1u << 20)) {
    f.lsf = (h & (1u << 19)) ? 0 : 1;
    f.mpeg25 = 0;
  } else {
    f.lsf = 1;
    f.mpeg25 = 1;
  }
  f.layer = 4 - static_cast<int32_t>((h >> 17) & 3);
  int32_t field = static_cast<int32_t>((h >> 10) & 3);
  f.rateIndex = field == 3 ? -1 : field + (f.mpeg25 ? 6 : f.lsf * 3);
  f.bitrateIndex = static_cast<int32_t>((h >> 12) & 15);
  f.padding = static_cast<int32_t>((h >> 9) & 1);
  f.mode = static_cast<int32_t>((h >> 6) & 3);
  return f;
}

// Body length (frame length less the 4 header bytes) for the given fields.
int32_t BodyLength(int32_t lsf, int32_t layer, int32_t rateIndex, int32_t bitrateIndex, int32_t padding) {
  const int32_t br = BitrateKbps(lsf, layer, bitrateIndex);
  const int32_t fs = SampleRateForIndex(rateIndex);
  if (br == 0 || fs == 0) return -1;
  switch (layer) {
    case 1: return (br * 12000 / fs + padding) * 4 - 4;
    case 2: return br * 144000 / fs + padding - 4;
    case 3: return br * 144000 / (fs << lsf) + padding - 4;
    default: return -1;
  }
}

}  // namespace

int32_t SampleRateForIndex(int32_t index) {
  return (index >= 0 && index < 9) ? kSampleRates[index] : 0;
}

int32_t BitrateKbps(int32_t lsf, int32_t layer, int32_t index) {
  if (lsf < 0 || lsf > 1 || layer < 1 || layer > 3 || index < 0 || index > 15) return 0;
  return kBitrates[lsf][layer - 1][index];
}

int32_t FrameLengthOf(uint32_t h) {
  const RawFields f = Split(h);
  if (f.layer < 1 || f.layer > 3 || f.rateIndex < 0) return 0;
  const int32_t body = BodyLength(f.lsf, f.layer, f.rateIndex, f.bitrateIndex, f.padding);
  if (body < 0 || body > kMaxBodyLength) return 0;
  return body + 4;
}

bool FrameHeader::DecodeHeader(uint32_t h, bool layerLock) {
  const RawFields f = Split(h);
  if (!layerLock || previousHeader == 0) {
    layer = f.layer;
    dispatchLayer = layer;
    if (f.rateIndex < 0) return false;
    sampleRateIndex = f.rateIndex;
  }
  // The locked rate decides the version, so a stray header cannot mix MPEG-1 and MPEG-2 rules.
  lsf = sampleRateIndex >= 3 ? 1 : 0;
  mpeg25 = sampleRateIndex >= 6 ? 1 : 0;
  protection = (h & (1u << 16)) ? 0 : 1;
  bitrateIndex = f.bitrateIndex;
  padding = f.padding;
  privateBit = static_cast<int32_t>((h >> 8) & 1);
  mode = f.mode;
  modeExtension = static_cast<int32_t>((h >> 4) & 3);
  copyright = static_cast<int32_t>((h >> 3) & 1);
  original = static_cast<int32_t>((h >> 2) & 1);
  emphasis = static_cast<int32_t>(h & 3);
  channels = mode == 3 ? 1 : 2;

  previousHeader = h;
  if (bitrateIndex == 0) return false;

  switch (layer) {
    case 1:
      jointBound = mode == 1 ? 4 * modeExtension + 4 : 32;
      break;
    case 2:
      SelectLayer2Table();
      jointBound = mode == 1 ? 4 * modeExtension + 4 : subbandLimit;
      break;
    case 3:
      sideInfoLength = (lsf ? (channels == 1 ? 9 : 17) : (channels == 1 ? 17 : 32)) + (protection ? 2 : 0);
      break;
    default:
      return false;
  }
  const int32_t body = BodyLength(lsf, layer, sampleRateIndex, bitrateIndex, padding);
  if (body < 0 || body > kMaxBodyLength) return false;
  // A body too short for its own CRC word and side information cannot be decoded.
  if (layer == 3 && body < sideInfoLength) return false;
  bodyLength = body;
  return true;
}

void FrameHeader::SelectLayer2Table() {
  int32_t table = 4;
  if (!lsf && sampleRateIndex >= 0 && sampleRateIndex < 3 && bitrateIndex >= 0 && bitrateIndex < 16) {
    table = kLayer2Selection[sampleRateIndex][channels == 1 ? 1 : 0][bitrateIndex];
  }
  layer2Table = table;
  subbandLimit = kLayer2Limits[table];
}

uint32_t FrameHeader::GetBitrate() const {
  return static_cast<uint32_t>(BitrateKbps(sampleRateIndex >= 3 ? 1 : 0, layer, bitrateIndex)) * 1000u;
}

int32_t FrameHeader::GetFrequency() const { return SampleRateForIndex(sampleRateIndex); }

int32_t FrameHeader::SamplesPerFrame() const {
  if (layer == 1) return 384;
  if (layer == 3 && sampleRateIndex >= 3) return 576;
  return 1152;
}

uint64_t FrameHeader::GetFrameCount(uint64_t fileSize) const {
  const int64_t divisor = static_cast<int64_t>(bodyLength) + 5 - padding;
  if (divisor <= 0) return 0;
  return fileSize / static_cast<uint64_t>(divisor);
}

double FrameHeader::GetMsPerFrame() const {
  const int32_t fs = GetFrequency();
  if (fs == 0) return 0.0;
  // Rounded through single precision so that 1152 samples at 44.1 kHz give the familiar
  // 26.12244987487793 ms that stored positions were computed with.
  return static_cast<double>(static_cast<float>(SamplesPerFrame() * 1000.0 / fs));
}

double FrameHeader::GetDuration(uint64_t fileSize) const {
  return static_cast<double>(GetFrameCount(fileSize)) * GetMsPerFrame();
}

int64_t FrameHeader::GetPositionMs(uint64_t frameCounter) const {
  return static_cast<int64_t>(static_cast<double>(frameCounter) * GetMsPerFrame());
}

}  // namespace tovira
