#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Commands.h"
#include "ReplayGainCli.h"
#include "decoder/DecoderError.h"
#include "decoder/MpegDecoder.h"
#include "decoder/PcmSink.h"
#include "decoder/StreamProbe.h"
#include "engine/Gapless.h"

namespace tovira::cli {

namespace {

bool EndsWithWav(const std::string& s) {
  if (s.size() < 4) return false;
  std::string tail = s.substr(s.size() - 4);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".wav";
}

void PutLe(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

std::vector<uint8_t> WavHeader(uint32_t rate, uint64_t dataBytes) {
  // A RIFF size cannot exceed 32 bits; longer output keeps the largest size that fits.
  const uint32_t data = dataBytes > 0xFFFFFFFFull - 36 ? 0xFFFFFFFFu - 36 : static_cast<uint32_t>(dataBytes);
  std::vector<uint8_t> h;
  h.insert(h.end(), {'R', 'I', 'F', 'F'});
  PutLe(h, 36 + data, 4);
  h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  PutLe(h, 16, 4);
  PutLe(h, 1, 2);  // PCM
  PutLe(h, 2, 2);  // channels
  PutLe(h, rate, 4);
  PutLe(h, rate * 4, 4);
  PutLe(h, 4, 2);
  PutLe(h, 16, 2);
  h.insert(h.end(), {'d', 'a', 't', 'a'});
  PutLe(h, data, 4);
  return h;
}

// Writes 16-bit little-endian samples to a stdio stream.
class FileSink final : public PcmSink {
 public:
  explicit FileSink(std::FILE* f) : f_(f) {}
  void WriteBlock(const int16_t* samples, size_t count) override {
    const void* data = samples;
    if constexpr (std::endian::native != std::endian::little) {
      swapped_.resize(count);
      for (size_t i = 0; i < count; ++i) {
        const auto u = static_cast<uint16_t>(samples[i]);
        swapped_[i] = static_cast<int16_t>(static_cast<uint16_t>((u >> 8) | (u << 8)));
      }
      data = swapped_.data();
    }
    if (std::fwrite(data, sizeof(int16_t), count, f_) != count) throw DecoderError(std::string("write failed: ") + std::strerror(errno));
    bytes_ += count * sizeof(int16_t);
  }
  uint64_t Bytes() const { return bytes_; }

 private:
  std::FILE* f_;
  uint64_t bytes_ = 0;
  std::vector<int16_t> swapped_;
};

// Passes on only the sound of the stream (engine/Gapless.h): what the player plays of it.
class SoundOnlySink final : public PcmSink {
 public:
  SoundOnlySink(PcmSink& out, const TrackTrim& trim) : out_(out) {
    // The whole decode includes the information frame's silence.
    window_.begin = (trim.infoFrame ? trim.samplesPerFrame : 0) + trim.start;
    window_.end = trim.audible == kToTheEnd ? kToTheEnd : window_.begin + trim.audible;
  }
  void WriteBlock(const int16_t* samples, size_t count) override {
    window_.Pass(samples, count, [&](const int16_t* v, size_t n) { out_.WriteBlock(v, n); });
  }

 private:
  PcmSink& out_;
  SampleWindow window_;
};

}  // namespace

int RunDecode(const Args& given) {
  // --replaygain may stand anywhere; the other two arguments are FILE and OUT.
  ReplayGainMode gainMode = ReplayGainMode::Off;
  Args args;
  bool badGainOption = false;
  for (size_t i = 0; i < given.size(); ++i) {
    const int taken = TakeReplayGainOption(given, i, gainMode);
    if (taken < 0) badGainOption = true;
    if (taken == 0) args.push_back(given[i]);
  }
  if (badGainOption || args.size() != 2) {
    std::fprintf(stderr, "usage: tovira-cli decode %s FILE OUT   (OUT ending in .wav: WAV; '-': standard output; else raw s16le stereo)\n", kReplayGainUsage);
    return 2;
  }
  const std::string& in = args[0];
  const std::string& out = args[1];
  StreamSummary summary;
  std::string why;
  const ProbeStatus status = ProbeStream(in, summary, &why);
  if (status != ProbeStatus::Ok) {
    std::fprintf(stderr, "tovira-cli: %s: %s\n", in.c_str(),
                 status == ProbeStatus::CannotOpen ? CannotOpenText(why).c_str() : "no MPEG audio found");
    return 1;
  }
  const bool toStdout = out == "-";
  const bool wav = !toStdout && EndsWithWav(out);
  // A file is written beside its final name and renamed into place only when complete.
  std::string temp;
  std::FILE* f = stdout;
  if (!toStdout) {
    temp = out + ".partXXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd >= 0) fchmod(fd, 0644);  // an ordinary file, not mkstemp's private one
    if (fd < 0 || !(f = fdopen(fd, "wb"))) {
      if (fd >= 0) close(fd);
      std::fprintf(stderr, "tovira-cli: %s: cannot create: %s\n", out.c_str(), std::strerror(errno));
      return 1;
    }
    temp.assign(name.data());
  }
  auto abandon = [&](const std::string& why) {
    std::fprintf(stderr, "tovira-cli: %s: %s\n", in.c_str(), why.c_str());
    if (!toStdout) {
      std::fclose(f);
      std::remove(temp.c_str());
    }
    return 1;
  };

  const uint32_t rate = static_cast<uint32_t>(summary.header.GetFrequency());
  if (wav) {
    const auto h = WavHeader(rate, 0);
    if (std::fwrite(h.data(), 1, h.size(), f) != h.size()) return abandon("cannot write " + out);
  }
  FileSink sink(f);
  SoundOnlySink sound(sink, TrimOf(summary));  // what the player plays of the stream
  std::string error;
  bool ok = false;
  uint64_t damaged = 0;
  try {
    ok = DecodeFileWithGain(in, sound, ReplayGainRun(gainMode).FactorFor(in, 0), &error, &damaged);
  } catch (const DecoderError& e) {
    error = e.what();
  }
  if (damaged != 0) {
    std::fprintf(stderr, "tovira-cli: %s: %llu damaged frame%s played as silence\n", in.c_str(),
                 static_cast<unsigned long long>(damaged), damaged == 1 ? "" : "s");
  }
  if (!ok) return abandon("cannot decode: " + (error.empty() ? std::string("unknown error") : error));
  if (wav) {
    const auto h = WavHeader(rate, sink.Bytes());
    if (std::fseek(f, 0, SEEK_SET) != 0 || std::fwrite(h.data(), 1, h.size(), f) != h.size()) return abandon("cannot write " + out);
  }
  if (std::fflush(f) != 0) return abandon("cannot write " + out);
  if (!toStdout) {
    const bool synced = fsync(fileno(f)) == 0;
    const bool closed = std::fclose(f) == 0;
    if (!synced || !closed || std::rename(temp.c_str(), out.c_str()) != 0) {
      std::remove(temp.c_str());
      std::fprintf(stderr, "tovira-cli: %s: cannot write: %s\n", out.c_str(), std::strerror(errno));
      return 1;
    }
  }
  return 0;
}

}  // namespace tovira::cli
