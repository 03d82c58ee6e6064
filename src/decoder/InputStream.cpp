#include "decoder/InputStream.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "decoder/AudioSpan.h"
#include "decoder/DecoderError.h"
#include "decoder/MpegDecoder.h"

namespace tovira {

namespace {
constexpr uint32_t kSyncMask = 0xFFE00000u;
// Sync word, version, layer and sampling-rate field: what consecutive frames of one stream share.
constexpr uint32_t kStreamMask = 0xFFFE0C00u;
constexpr size_t kScanChunk = 4096;
}  // namespace

InputStream::InputStream(PlaybackContext& context, FrameHeader& header) : ctx_(context), header_(header) {
  buffer_ = buffers_[0].bytes.data();
  prevBuffer_ = buffer_;
}

void InputStream::SetSource(std::unique_ptr<ByteSource> source) {
  CloseStream();
  source_ = std::move(source);
  sourceFromClient_ = source_ != nullptr;
}

bool InputStream::OpenStream() {
  CloseStream();
  fileSize_ = 0;
  tagPresent_ = false;
  openFailure_.clear();
  if (!sourceFromClient_) source_ = std::make_unique<FileSource>(ctx_.inputFile);
  if (!source_ || !source_->Open()) {
    const auto* file = dynamic_cast<const FileSource*>(source_.get());
    const std::string name = file ? file->Path() : ctx_.inputFile;
    openFailure_ = file ? file->ErrorText() : std::string();
    throw DecoderError("cannot open " + name + (openFailure_.empty() ? "" : ": " + openFailure_));
  }
  fileSize_ = source_->Size();

  if (fileSize_ >= kTagBytes) {
    if (!source_->Seek(-kTagBytes, SeekOrigin::End) || source_->Read(tag_.data(), kTagBytes) != kTagBytes) {
      source_->Close();
      openFailure_ = "it cannot be read";
      throw DecoderError("cannot read " + ctx_.inputFile);
    }
    tagPresent_ = std::memcmp(tag_.data(), "TAG", 3) == 0;
  }
  audioEnd_ = FindAudioEnd(*source_, 0);
  if (!source_->Seek(0, SeekOrigin::Start)) {
    source_->Close();
    openFailure_ = "it cannot be read";
    throw DecoderError("cannot read " + ctx_.inputFile);
  }
  ResetFrameState();
  firstFrameSeen_ = false;
  firstFrameOffset_ = 0;
  firstFrameLength_ = 0;
  lastFrameEnd_ = 0;
  lastFrameLength_ = 0;
  index_.Reset(0, 0, 0, 0);
  header_.freeLength = 0;
  freeBits_ = 0;
  freeSearchesLeft_ = kMaxFreeFormatSearches;
  open_ = true;
  return true;
}

void InputStream::ResetFrameState() {
  bodyLength_ = 0;
  prevBodyLength_ = 0;
  mainValid_ = 0;
  prevMainValid_ = 0;
  toggle_ = 0;
  header_.previousHeader = 0;
  freshStart_ = true;
}

bool InputStream::IsValidHeader(uint32_t h) {
  if ((h & kSyncMask) != kSyncMask) return false;
  if (((h >> 17) & 3) == 0) return false;    // reserved layer
  if (((h >> 12) & 15) == 15) return false;  // forbidden bit rate
  if (((h >> 10) & 3) == 3) return false;    // reserved sampling rate
  // MPEG-2.5 exists only as Layers I-III at low rates; the version field 01 is reserved.
  if (((h >> 19) & 3) == 1) return false;
  return true;
}

bool InputStream::ReadCandidate() {
  if (source_->Tell() + 4 > audioEnd_) return false;
  uint8_t b[4];
  if (source_->Read(b, 4) != 4) return false;
  candidate_ = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
  return true;
}

int32_t InputStream::FreeLength(uint32_t h) {
  if (header_.freeLength > 0 && (h & kStreamMask) == freeBits_) return header_.freeLength;
  if (firstFrameSeen_ || freeSearchesLeft_ <= 0) return 0;
  const uint64_t here = source_->Tell();
  if (here < 4 || here - 4 >= audioEnd_) return 0;
  const uint64_t start = here - 4;
  std::vector<uint8_t> window(static_cast<size_t>(
      std::min<uint64_t>(static_cast<uint64_t>(FreeFormatWindow(h)), audioEnd_ - start)));
  int64_t got = -1;
  if (source_->Seek(static_cast<int64_t>(start), SeekOrigin::Start)) got = source_->Read(window.data(), window.size());
  if (!source_->Seek(static_cast<int64_t>(here), SeekOrigin::Start)) throw DecoderError("seek failed");
  if (got < 0) throw DecoderError("read failed");
  const size_t n = static_cast<size_t>(got);
  const int32_t length = FindFreeFormatLength({window.data(), n}, start + n >= audioEnd_);
  if (length == 0) {
    --freeSearchesLeft_;
    return 0;
  }
  header_.freeLength = length;
  freeBits_ = h & kStreamMask;
  return length;
}

bool InputStream::ConfirmedByNextFrame(uint32_t h) {
  // A free-format length just found was confirmed by the frames after this one.
  const bool freeUnknown = ((h >> 12) & 15) == 0 && (header_.freeLength == 0 || (h & kStreamMask) != freeBits_);
  if (freeUnknown) return FreeLength(h) > 0;
  const int32_t length = FrameLengthOf(h, header_.freeLength);
  if (length == 0) return false;
  const uint64_t here = source_->Tell();
  bool confirmed = false;
  uint8_t b[4];
  if (!source_->Seek(length - 4, SeekOrigin::Current)) return false;
  // Where the audio ends, the tags that follow are no frame.
  const int64_t n = source_->Tell() + 4 <= audioEnd_ ? source_->Read(b, 4) : 0;
  if (n < 4) {
    confirmed = n >= 0;  // the stream ends right after this frame
  } else {
    const uint32_t next = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
    confirmed = std::memcmp(b, "TAG", 3) == 0 || (IsValidHeader(next) && (next & kStreamMask) == (h & kStreamMask));
  }
  if (!source_->Seek(static_cast<int64_t>(here), SeekOrigin::Start)) throw DecoderError("seek failed");
  return confirmed;
}

int InputStream::ScanForHeader() {
  // Reads ahead in chunks, but behaves as the byte-by-byte shift of the candidate would.
  std::vector<uint8_t> chunk(kScanChunk);
  int remaining = kMaxScan;
  while (remaining > 0) {
    const uint64_t chunkStart = source_->Tell();
    if (chunkStart >= audioEnd_) return -2;
    const size_t want = static_cast<size_t>(
        std::min<uint64_t>({kScanChunk, static_cast<uint64_t>(remaining), audioEnd_ - chunkStart}));
    const int64_t got = source_->Read(chunk.data(), want);
    if (got < 0) throw DecoderError("read failed");
    if (got == 0) return -2;
    for (int64_t i = 0; i < got; ++i) {
      candidate_ = (candidate_ << 8) | chunk[static_cast<size_t>(i)];
      --remaining;
      if (!IsValidHeader(candidate_)) continue;
      const uint64_t afterHeader = chunkStart + static_cast<uint64_t>(i) + 1;
      if (!source_->Seek(static_cast<int64_t>(afterHeader), SeekOrigin::Start)) throw DecoderError("seek failed");
      if (ConfirmedByNextFrame(candidate_)) return 1;
      if (!source_->Seek(static_cast<int64_t>(chunkStart) + got, SeekOrigin::Start)) throw DecoderError("seek failed");
    }
  }
  return 0;
}

bool InputStream::SkipId3v2() {
  const uint64_t tagStart = source_->Tell() - 4;
  uint8_t b[6];
  if (source_->Read(b, 2) != 2) return false;
  if (source_->Read(b + 2, 4) != 4) return false;
  const uint64_t size = (uint64_t{b[2] & 0x7Fu} << 21) | (uint64_t{b[3] & 0x7Fu} << 14) |
                        (uint64_t{b[4] & 0x7Fu} << 7) | (b[5] & 0x7Fu);
  const uint64_t here = source_->Tell();
  // Relative to where the tag starts, so a tag in the middle of a stream is skipped forward.
  if (!source_->Seek(static_cast<int64_t>(tagStart + size + 6), SeekOrigin::Start)) {
    source_->Seek(static_cast<int64_t>(here), SeekOrigin::Start);
    return false;
  }
  return ReadCandidate();
}

int InputStream::ReadFrame() {
  const int r = NextFrame();
  if (r == -2) CheckAtEnd();
  return r;
}

void InputStream::CheckAtEnd() {
  if (!open_ || !source_) return;
  // A short read looks like the end of the audio; only the file itself tells them apart.
  switch (source_->Health(audioEnd_)) {
    case SourceHealth::CutShort: throw DecoderError(kCutShortMessage);
    case SourceHealth::Replaced: throw DecoderError(kReplacedMessage);
    case SourceHealth::Intact: break;
  }
  // Bytes overwritten in place hold no frame header: the scan runs through them to the end.
  // As long a stretch as two seconds of damaged frames is the same loss of the stream.
  const double msPerFrame = header_.GetMsPerFrame();
  if (!firstFrameSeen_ || lastFrameLength_ <= 0 || msPerFrame <= 0.0) return;
  const uint64_t reached = std::min(source_->Tell(), audioEnd_);
  const uint64_t rest = reached > lastFrameEnd_ ? reached - lastFrameEnd_ : 0;
  if (static_cast<double>(rest) >= lastFrameLength_ * (MpegDecoder::kLostStretchMs / msPerFrame)) {
    throw DecoderError(MpegDecoder::kLostStreamMessage);
  }
}

int InputStream::NextFrame() {
  if (!open_) return -2;
  if (!ReadCandidate()) return -2;
  if (candidate_ == header_.previousHeader && header_.previousHeader != 0) {
    header_.FormatChanged = 0;
  } else {
    header_.FormatChanged = 1;
    if (!IsValidHeader(candidate_)) {
      if ((candidate_ & 0xFFFFFF00u) == 0x49443300u && !SkipId3v2()) {
        throw DecoderError("damaged ID3v2 tag");
      }
      const int found = ScanForHeader();
      if (found != 1) return found;
    }
    if (((candidate_ >> 12) & 15) == 0 && FreeLength(candidate_) == 0) return 0;
    if (!header_.DecodeHeader(candidate_, ctx_.layerLock)) {
      return 0;
    }
  }
  const bool first = !firstFrameSeen_;
  if (first) {
    firstFrameSeen_ = true;
    firstFrameOffset_ = source_->Tell() - 4;
    if (!header_.IsFreeFormat()) header_.freeLength = 0;  // what a search in junk before it found
    index_.Reset(firstFrameOffset_, audioEnd_, candidate_, header_.freeLength);
  }

  prevBodyLength_ = bodyLength_;
  prevBuffer_ = buffer_;
  prevMainValid_ = freshStart_ ? 0 : mainValid_;
  freshStart_ = false;
  buffer_ = buffers_[toggle_].bytes.data();
  toggle_ ^= 1;
  bodyLength_ = header_.bodyLength;

  uint8_t* body = buffer_ + kReservoirBytes;
  const uint64_t pos = source_->Tell();
  const uint64_t room = pos < audioEnd_ ? audioEnd_ - pos : 0;
  const int64_t got = source_->Read(body, static_cast<size_t>(std::min<uint64_t>(bodyLength_, room)));
  if (got == 0 && bodyLength_ > 0) return -2;
  lastFrameEnd_ = source_->Tell();
  lastFrameLength_ = bodyLength_ + 4;
  const int32_t valid = got > 0 ? static_cast<int32_t>(got) : 0;
  if (valid < bodyLength_) std::memset(body + valid, 0, static_cast<size_t>(bodyLength_ - valid));
  if (first) {
    for (int i = 0; i < 4; ++i) firstFrame_[static_cast<size_t>(i)] = static_cast<uint8_t>(candidate_ >> (24 - 8 * i));
    std::memcpy(firstFrame_.data() + 4, body, static_cast<size_t>(valid));
    firstFrameLength_ = 4 + static_cast<size_t>(valid);
  }
  mainValid_ = std::max(0, bodyLength_ - (header_.layer == 3 ? header_.sideInfoLength : 0));
  bitPos_ = kBodyOffsetBits;
  return 1;
}

void InputStream::StepBack(unsigned backstep) {
  backstep = std::min(backstep, static_cast<unsigned>(kReservoirBytes - 1));
  const int32_t side = std::clamp(header_.sideInfoLength, 0, bodyLength_);
  const int32_t dest = kReservoirBytes + side - static_cast<int32_t>(backstep);
  const bool havePrevious = prevBuffer_ != buffer_;
  const int32_t copied = havePrevious ? std::min(static_cast<int32_t>(backstep), prevMainValid_) : 0;
  const int32_t missing = static_cast<int32_t>(backstep) - copied;
  std::memset(buffer_ + dest, 0, static_cast<size_t>(missing));
  if (copied > 0) {
    // The previous buffer keeps its own reservoir copy just before its main data, so its last
    // bytes are one contiguous run of main data however many frames they came from.
    std::memcpy(buffer_ + dest + missing, prevBuffer_ + kReservoirBytes + prevBodyLength_ - copied,
                static_cast<size_t>(copied));
  }
  mainValid_ = copied + bodyLength_ - side;
  bitPos_ = static_cast<uint32_t>(dest) * 8;
}

bool InputStream::Resynchronise(uint64_t offset, uint32_t frameCounter) {
  const uint64_t here = source_->Tell();
  if (!source_->Seek(static_cast<int64_t>(offset), SeekOrigin::Start)) {
    source_->Seek(static_cast<int64_t>(here), SeekOrigin::Start);
    return false;
  }
  ctx_.frameCounter = frameCounter;
  freshStart_ = true;
  lastFrameEnd_ = offset;
  int r = 0;
  do {
    r = ReadFrame();
  } while (r == 0);
  ctx_.frameCounter = ctx_.frameCounter + 1;
  return true;
}

bool InputStream::Reposition(uint64_t offset, uint64_t frameCounter) {
  if (!source_->Seek(static_cast<int64_t>(offset), SeekOrigin::Start)) return false;
  ctx_.frameCounter = static_cast<uint32_t>(frameCounter);
  freshStart_ = true;
  lastFrameEnd_ = offset;
  return true;
}

bool InputStream::SeekByAverage(uint32_t ms) {
  const double msPerFrame = header_.GetMsPerFrame();
  const uint64_t audioBytes = audioEnd_ > firstFrameOffset_ ? audioEnd_ - firstFrameOffset_ : 0;
  const uint64_t target = static_cast<uint64_t>(ms / msPerFrame);
  if (target > header_.GetFrameCount(audioBytes)) return false;
  const uint64_t frameBytes = static_cast<uint64_t>(std::max(1, header_.bodyLength + 5 - header_.padding));
  return Resynchronise(firstFrameOffset_ + target * frameBytes, static_cast<uint32_t>(target));
}

uint32_t InputStream::LeadFor(uint64_t frame, const std::vector<uint64_t>& offsets) const {
  // offsets[i] is the start of frame (frame + 1 - offsets.size() + i); the last one is `frame`.
  const uint64_t earliest = frame + 1 - offsets.size();
  if (frame == earliest) return 0;
  switch (header_.layer) {
    case 1: return static_cast<uint32_t>(std::min<uint64_t>(2, frame - earliest));  // 12 slots each
    case 2: return 1;
    default: break;
  }
  // Layer III: the frame before the wanted one gives the overlap; it decodes whole once the main
  // data of the frames before it hold a full reservoir.
  const int32_t side = (header_.lsf ? (header_.channels == 1 ? 9 : 17) : (header_.channels == 1 ? 17 : 32)) +
                       (header_.protection ? 2 : 0);
  uint64_t from = frame - 1;
  int64_t mainData = 0;
  while (from > earliest && mainData < InputStream::kReservoirBytes - 1) {
    --from;
    mainData += static_cast<int64_t>(offsets[from + 1 - earliest] - offsets[from - earliest]) - 4 - side;
  }
  return static_cast<uint32_t>(frame - from);
}

void InputStream::ExtendIndex(uint32_t frames) {
  if (!open_ || !firstFrameSeen_ || index_.Complete() || frames == 0) return;
  index_.Cover(*source_, index_.FramesKnown() + frames - 1);
}

bool InputStream::SeekToTime(uint32_t ms, uint32_t* leadFrames, const std::function<bool()>& stop) {
  if (leadFrames) *leadFrames = 0;
  if (!open_ || !firstFrameSeen_) return false;
  const double msPerFrame = header_.GetMsPerFrame();
  if (msPerFrame <= 0.0) return false;
  if (!index_.Usable()) return SeekByAverage(ms);
  const uint64_t target = static_cast<uint64_t>(ms / msPerFrame);
  if (target > UINT32_MAX || !index_.Cover(*source_, target, stop)) return false;
  const uint64_t earliest = target > kMaxLeadFrames ? target - kMaxLeadFrames : 0;
  std::vector<uint64_t> offsets;
  if (!index_.Offsets(*source_, earliest, target, offsets)) return false;
  const uint32_t lead = leadFrames ? LeadFor(target, offsets) : 0;
  if (!Reposition(offsets[offsets.size() - 1 - lead], target - lead)) return false;
  if (leadFrames) *leadFrames = lead;
  return true;
}

void InputStream::RewindStream() {
  if (!open_ || !source_->Seek(0, SeekOrigin::Start)) return;
  ResetFrameState();
  bitPos_ = 0;
  header_.sideInfoLength = 0;
  buffer_ = buffers_[0].bytes.data();
  prevBuffer_ = buffer_;
  ctx_.frameCounter = 0;
  lastFrameEnd_ = 0;
}

bool InputStream::CloseStream() {
  if (open_ && source_) source_->Close();
  open_ = false;
  return true;
}

const uint8_t* InputStream::GetTagBlock() {
  if (!tagPresent_) return nullptr;
  for (size_t at : {32, 62, 92, 97, 126}) tag_[at] = 0;
  return tag_.data();
}

}  // namespace tovira
