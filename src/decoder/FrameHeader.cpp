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
// Free format (index 0) uses the tables of the high rates whatever its bit rate.
constexpr int8_t kLayer2Selection[3][2][16] = {
    {{1, 2, 2, 2, 2, 2, 2, 0, 0, 0, 1, 1, 1, 1, 1, 0}, {1, 2, 2, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}},
    {{0, 2, 2, 2, 2, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {{1, 3, 3, 3, 3, 3, 3, 0, 0, 0, 1, 1, 1, 1, 1, 0}, {1, 3, 3, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}},
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

int32_t SlotBytes(int32_t layer) { return layer == 1 ? 4 : 1; }

int32_t SamplesPerFrameOf(int32_t lsf, int32_t layer) { return layer == 1 ? 384 : (layer == 3 && lsf ? 576 : 1152); }

// Whole frame length without padding at `kbps`, or -1.
int32_t UnpaddedLength(int32_t layer, int32_t rateIndex, int32_t kbps) {
  const int32_t fs = SampleRateForIndex(rateIndex);
  if (kbps <= 0 || fs == 0) return -1;
  switch (layer) {
    case 1: return kbps * 12000 / fs * 4;
    case 2: return kbps * 144000 / fs;
    case 3: return kbps * 144000 / (fs << (rateIndex >= 3 ? 1 : 0));
    default: return -1;
  }
}

// Body length (frame length less the 4 header bytes) for the given fields.
int32_t BodyLength(int32_t lsf, int32_t layer, int32_t rateIndex, int32_t bitrateIndex, int32_t padding) {
  const int32_t length = UnpaddedLength(layer, rateIndex, BitrateKbps(lsf, layer, bitrateIndex));
  return length < 0 ? -1 : length + padding * SlotBytes(layer) - 4;
}

// A header that can start a free-format stream: sync, a layer, a sampling rate, a version.
bool FreeFormatHeader(uint32_t h, const RawFields& f) {
  return (h & 0xFFE00000u) == 0xFFE00000u && ((h >> 19) & 3) != 1 && f.layer >= 1 && f.layer <= 3 &&
         f.rateIndex >= 0 && f.bitrateIndex == 0;
}

// Free-format frames longer or shorter than those at the highest or lowest bit rate of the table
// are refused; the highest is the limit decoders are held to.
int32_t FreeLengthLimit(const RawFields& f, bool highest) {
  return UnpaddedLength(f.layer, f.rateIndex, BitrateKbps(f.rateIndex >= 3 ? 1 : 0, f.layer, highest ? 14 : 1));
}

uint32_t FreeBitrate(int32_t layer, int32_t rateIndex, int32_t freeLength) {
  const int32_t fs = SampleRateForIndex(rateIndex);
  if (freeLength <= 0 || fs == 0 || layer < 1 || layer > 3) return 0;
  const int64_t bits = int64_t{freeLength} * 8 * fs;
  const int64_t samples = SamplesPerFrameOf(rateIndex >= 3 ? 1 : 0, layer);
  // Several whole kbit/s may give one length: a multiple of 8 (as the tables' rates are) is
  // taken first, else the lowest; a length that no whole rate gives is shown as it stands.
  const int32_t lowest = static_cast<int32_t>((bits + samples * 1000 - 1) / (samples * 1000));
  for (int32_t kbps = lowest; UnpaddedLength(layer, rateIndex, kbps) == freeLength; ++kbps) {
    if (kbps % 8 == 0) return static_cast<uint32_t>(kbps) * 1000u;
  }
  if (UnpaddedLength(layer, rateIndex, lowest) == freeLength) return static_cast<uint32_t>(lowest) * 1000u;
  return static_cast<uint32_t>(bits / samples);
}

uint32_t Load32(std::span<const uint8_t> b, size_t at) {
  return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3];
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

int32_t FrameLengthOf(uint32_t h, int32_t freeLength) {
  const RawFields f = Split(h);
  if (f.bitrateIndex != 0) return FrameLengthOf(h);
  if (freeLength <= 0 || f.layer < 1 || f.layer > 3 || f.rateIndex < 0) return 0;
  const int32_t length = freeLength + f.padding * SlotBytes(f.layer);
  return length - 4 > kMaxBodyLength ? 0 : length;
}

int32_t FreeFormatWindow(uint32_t h) {
  const RawFields f = Split(h);
  if (!FreeFormatHeader(h, f)) return 0;
  return kFreeFormatAgreeing * (FreeLengthLimit(f, true) + SlotBytes(f.layer)) + 4;
}

int32_t FindFreeFormatLength(std::span<const uint8_t> b, bool atEnd) {
  if (b.size() < 4) return 0;
  const uint32_t h = Load32(b, 0);
  const RawFields f = Split(h);
  if (!FreeFormatHeader(h, f)) return 0;
  const int32_t slot = SlotBytes(f.layer);
  const int32_t shortest = FreeLengthLimit(f, false);
  const int32_t longest = FreeLengthLimit(f, true);
  // Sync, version, layer, protection, bit-rate index and sampling rate, and one channel or two.
  auto sameStream = [&](uint32_t other) {
    return (other & 0xFFFFFC00u) == (h & 0xFFFFFC00u) && (((other >> 6) & 3) == 3) == (f.mode == 3);
  };
  auto padded = [&](uint32_t header) { return static_cast<int32_t>((header >> 9) & 1) * slot; };
  const size_t size = b.size();
  for (int32_t distance = shortest; distance <= longest + slot && static_cast<size_t>(distance) + 4 <= size;
       ++distance) {
    const int32_t length = distance - padded(h);
    if (length < shortest || length > longest || length % slot != 0) continue;
    if (!sameStream(Load32(b, static_cast<size_t>(distance)))) continue;
    size_t at = static_cast<size_t>(distance);
    int agreeing = 1;
    while (agreeing < kFreeFormatAgreeing) {
      const size_t next = at + static_cast<size_t>(length + padded(Load32(b, at)));
      if (next + 4 > size) {
        if (atEnd && next >= size) agreeing = kFreeFormatAgreeing;  // the last frame ends the audio
        break;
      }
      if (!sameStream(Load32(b, next))) break;
      at = next;
      ++agreeing;
    }
    if (agreeing >= kFreeFormatAgreeing) return length;
  }
  return 0;
}

uint32_t FreeFormatBitrate(uint32_t h, int32_t freeLength) {
  const RawFields f = Split(h);
  return FreeBitrate(f.layer, f.rateIndex, freeLength);
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
  if (bitrateIndex == 0 && freeLength <= 0) return false;

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
  const int32_t body = bitrateIndex == 0 ? freeLength + padding * SlotBytes(layer) - 4
                                         : BodyLength(lsf, layer, sampleRateIndex, bitrateIndex, padding);
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
  if (bitrateIndex == 0) return FreeBitrate(layer, sampleRateIndex, freeLength);
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
