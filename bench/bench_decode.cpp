// Decode speed on one thread, as times real time (seconds of audio per second of decoding), for
// any MPEG audio file; with libavcodec alongside when it was found at configure time.
// Usage: tovira-bench-decode [--runs N] [--libav-decoder NAME] FILE...
// (NAME picks a libavcodec decoder by name, e.g. mp2float; by default the library chooses.)
// Both decoders read the file from memory; each figure is the best of N runs, timed as the CPU
// time of the decoding thread, so that other load on the machine disturbs it little.

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "decoder/ByteSource.h"
#include "decoder/MpegDecoder.h"
#include "decoder/PcmSink.h"
#include "decoder/StreamProbe.h"

#ifdef TOVIRA_BENCH_LIBAV
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}
#endif

namespace {

double ThreadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Counts the output and keeps a checksum, so the work cannot be optimised away.
class CountingSink final : public tovira::PcmSink {
 public:
  uint64_t values = 0;
  uint64_t checksum = 0;
  void WriteBlock(const int16_t* samples, size_t count) override {
    values += count;
    checksum += static_cast<uint16_t>(samples[count / 2]);
  }
};

struct Result {
  bool ok = false;
  double seconds = 0.0;         // best run
  uint64_t framesPerChannel = 0;  // samples per channel produced
  std::string name;
};

Result Best(int runs, const std::function<bool(uint64_t&)>& once) {
  Result r;
  r.seconds = 1e30;
  for (int i = 0; i < runs; ++i) {
    uint64_t samples = 0;
    const double t0 = ThreadSeconds();
    if (!once(samples)) return r;
    const double s = ThreadSeconds() - t0;
    r.seconds = std::min(r.seconds, s);
    r.framesPerChannel = samples;
  }
  r.ok = true;
  return r;
}

Result RunTovira(const std::vector<uint8_t>& bytes, int runs) {
  Result r = Best(runs, [&](uint64_t& samples) {
    CountingSink sink;
    std::string error;
    if (!tovira::MpegDecoder::DecodeSource(std::make_unique<tovira::MemorySource>(std::span<const uint8_t>(bytes)), sink, &error)) {
      std::fprintf(stderr, "  tovira: %s\n", error.c_str());
      return false;
    }
    samples = sink.values / 2;
    return true;
  });
  r.name = "tovira";
  return r;
}

#ifdef TOVIRA_BENCH_LIBAV
struct MemoryReader {
  const std::vector<uint8_t>* bytes;
  int64_t pos = 0;
};

int ReadPacket(void* opaque, uint8_t* buf, int size) {
  auto* m = static_cast<MemoryReader*>(opaque);
  const int64_t left = static_cast<int64_t>(m->bytes->size()) - m->pos;
  const int n = static_cast<int>(std::min<int64_t>(left, size));
  if (n <= 0) return AVERROR_EOF;
  std::memcpy(buf, m->bytes->data() + m->pos, static_cast<size_t>(n));
  m->pos += n;
  return n;
}

int64_t SeekPacket(void* opaque, int64_t offset, int whence) {
  auto* m = static_cast<MemoryReader*>(opaque);
  const auto size = static_cast<int64_t>(m->bytes->size());
  if (whence & AVSEEK_SIZE) return size;
  switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: m->pos = offset; break;
    case SEEK_CUR: m->pos += offset; break;
    case SEEK_END: m->pos = size + offset; break;
    default: return -1;
  }
  m->pos = std::clamp<int64_t>(m->pos, 0, size);
  return m->pos;
}

bool LibavOnce(const std::vector<uint8_t>& bytes, uint64_t& samples, std::string& decoderName, const std::string& forced) {
  MemoryReader reader{&bytes};
  const int bufSize = 65536;
  auto* buf = static_cast<uint8_t*>(av_malloc(bufSize));
  AVIOContext* io = avio_alloc_context(buf, bufSize, 0, &reader, ReadPacket, nullptr, SeekPacket);
  AVFormatContext* fmt = avformat_alloc_context();
  fmt->pb = io;
  bool ok = false;
  AVCodecContext* cc = nullptr;
  AVPacket* pkt = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  const AVCodec* codec = nullptr;
  int stream = -1;
  auto drain = [&]() {
    while (avcodec_receive_frame(cc, frame) == 0) samples += static_cast<uint64_t>(frame->nb_samples);
  };
  if (avformat_open_input(&fmt, nullptr, nullptr, nullptr) < 0) goto done;
  if (avformat_find_stream_info(fmt, nullptr) < 0) goto done;
  stream = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (stream < 0 || !codec) goto done;
  if (!forced.empty() && !(codec = avcodec_find_decoder_by_name(forced.c_str()))) goto done;
  cc = avcodec_alloc_context3(codec);
  if (!cc || avcodec_parameters_to_context(cc, fmt->streams[stream]->codecpar) < 0) goto done;
  cc->thread_count = 1;
  if (avcodec_open2(cc, codec, nullptr) < 0) goto done;
  decoderName = codec->name;
  while (av_read_frame(fmt, pkt) >= 0) {
    if (pkt->stream_index == stream && avcodec_send_packet(cc, pkt) == 0) drain();
    av_packet_unref(pkt);
  }
  avcodec_send_packet(cc, nullptr);
  drain();
  ok = true;
done:
  av_frame_free(&frame);
  av_packet_free(&pkt);
  avcodec_free_context(&cc);
  avformat_close_input(&fmt);
  if (io) {
    av_freep(&io->buffer);
    avio_context_free(&io);
  }
  return ok;
}

Result RunLibav(const std::vector<uint8_t>& bytes, int runs, const std::string& forced) {
  std::string name = forced;
  Result r = Best(runs, [&](uint64_t& samples) { return LibavOnce(bytes, samples, name, forced); });
  r.name = "libavcodec (" + name + ")";
  return r;
}
#endif

void Print(const Result& r, double audioSeconds) {
  if (!r.ok) {
    std::printf("  %-28s failed\n", r.name.c_str());
    return;
  }
  std::printf("  %-28s %9.4f s per decode  %8.1fx real time  (%llu samples/channel)\n", r.name.c_str(), r.seconds,
              audioSeconds / r.seconds, static_cast<unsigned long long>(r.framesPerChannel));
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 15;
  std::string libavDecoder;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--libav-decoder") == 0 && i + 1 < argc) {
      libavDecoder = argv[++i];
    } else {
      files.emplace_back(argv[i]);
    }
  }
#ifdef TOVIRA_BENCH_LIBAV
  av_log_set_level(AV_LOG_ERROR);
#endif
  if (files.empty()) {
    std::fprintf(stderr, "usage: tovira-bench-decode [--runs N] [--libav-decoder NAME] FILE...\n");
    return 2;
  }
  int failures = 0;
  for (const auto& path : files) {
    std::ifstream f(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    tovira::StreamSummary summary;
    if (bytes.empty() || tovira::ProbeStream(std::make_unique<tovira::MemorySource>(std::span<const uint8_t>(bytes)), summary) !=
                             tovira::ProbeStatus::Ok) {
      std::fprintf(stderr, "%s: not an MPEG audio file\n", path.c_str());
      ++failures;
      continue;
    }
    const int rate = summary.header.GetFrequency();
    std::printf("%s: MPEG %s Layer %s, %d Hz, %s, %zu bytes, %d runs, one thread\n", path.c_str(), tovira::VersionName(summary.header),
                tovira::LayerName(summary.header), rate, tovira::ModeName(summary.header), bytes.size(), runs);
    const Result ours = RunTovira(bytes, runs);
    const double audioSeconds = static_cast<double>(ours.framesPerChannel) / rate;
    Print(ours, audioSeconds);
    if (!ours.ok) ++failures;
#ifdef TOVIRA_BENCH_LIBAV
    const Result theirs = RunLibav(bytes, runs, libavDecoder);
    Print(theirs, audioSeconds);
    if (ours.ok && theirs.ok) {
      std::printf("  speed ratio tovira / libavcodec: %.2f\n", theirs.seconds / ours.seconds);
    }
#else
    std::printf("  (built without libavcodec: no comparison)\n");
#endif
  }
  return failures == 0 ? 0 : 1;
}
