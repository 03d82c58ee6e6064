// Decode speed on one thread, as times real time (seconds of audio per second of decoding), for
// any MPEG audio file; with libavcodec alongside when it was found at configure time.
// Usage: tovira-bench-decode [--runs N] [--libav-decoder NAME] [--json] FILE...
// Every libavcodec decoder for the file's layer is measured (e.g. mp3 and mp3float for Layer III)
// and our speed is given as a ratio to the fastest of them; --libav-decoder NAME measures that one
// only. All decoders read the file from memory; their runs take turns, and each figure is the best
// of N, timed as the CPU time of the decoding thread, so that other load on the machine disturbs
// it little. --json prints one JSON object for scripts instead of the table.

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
#include "decoder/Kernels.h"
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

// One decode of the whole file; false on failure. `samples` receives the samples per channel.
using DecodeOnce = std::function<bool(uint64_t& samples)>;

struct Contender {
  Result result;
  DecodeOnce once;
};

// Runs take turns across the contenders, so that a slow phase of the machine hits all of them.
void RunAll(std::vector<Contender>& all, int runs) {
  for (auto& c : all) {
    c.result.ok = true;
    c.result.seconds = 1e30;
  }
  for (int i = 0; i < runs; ++i) {
    for (auto& c : all) {
      if (!c.result.ok) continue;
      uint64_t samples = 0;
      const double t0 = ThreadSeconds();
      if (!c.once(samples)) {
        c.result.ok = false;
        continue;
      }
      c.result.seconds = std::min(c.result.seconds, ThreadSeconds() - t0);
      c.result.framesPerChannel = samples;
    }
  }
}

Contender Tovira(const std::vector<uint8_t>& bytes) {
  Contender c;
  c.result.name = std::string("tovira (") + tovira::KernelSetName(tovira::ChooseKernels()) + ")";
  c.once = [&bytes](uint64_t& samples) {
    CountingSink sink;
    std::string error;
    if (!tovira::MpegDecoder::DecodeSource(std::make_unique<tovira::MemorySource>(std::span<const uint8_t>(bytes)), sink, &error)) {
      std::fprintf(stderr, "  tovira: %s\n", error.c_str());
      return false;
    }
    samples = sink.values / 2;
    return true;
  };
  return c;
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

Contender Libav(const std::vector<uint8_t>& bytes, const std::string& name) {
  Contender c;
  c.result.name = "libavcodec " + name;
  c.once = [&bytes, name](uint64_t& samples) {
    std::string used;
    return LibavOnce(bytes, samples, used, name);
  };
  return c;
}

// libavcodec's decoders for a layer, by name, that this build of the library has.
std::vector<std::string> LibavDecoders(const char* layer) {
  std::vector<std::string> names;
  const std::string base = std::strcmp(layer, "I") == 0 ? "mp1" : std::strcmp(layer, "II") == 0 ? "mp2" : "mp3";
  for (const std::string& n : {base, base + "float"}) {
    if (avcodec_find_decoder_by_name(n.c_str())) names.push_back(n);
  }
  return names;
}
#endif

void Print(const Result& r, double audioSeconds, double oursSeconds) {
  if (!r.ok) {
    std::printf("  %-24s failed\n", r.name.c_str());
    return;
  }
  std::printf("  %-24s %9.4f s per decode  %8.1fx real time", r.name.c_str(), r.seconds, audioSeconds / r.seconds);
  if (oursSeconds > 0) std::printf("  tovira %.2fx as fast", r.seconds / oursSeconds);
  std::printf("\n");
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (const char ch : s) {
    if (ch == '"' || ch == '\\') out += '\\';
    if (static_cast<unsigned char>(ch) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", ch);
      out += buf;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 15;
  bool json = false;
  std::string libavDecoder;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--libav-decoder") == 0 && i + 1 < argc) {
      libavDecoder = argv[++i];
    } else if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else {
      files.emplace_back(argv[i]);
    }
  }
#ifdef TOVIRA_BENCH_LIBAV
  av_log_set_level(AV_LOG_ERROR);
#endif
  if (files.empty()) {
    std::fprintf(stderr, "usage: tovira-bench-decode [--runs N] [--libav-decoder NAME] [--json] FILE...\n");
    return 2;
  }
  int failures = 0;
  std::string jsonFiles;
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
    std::vector<Contender> all;
    all.push_back(Tovira(bytes));
#ifdef TOVIRA_BENCH_LIBAV
    const std::vector<std::string> names =
        libavDecoder.empty() ? LibavDecoders(tovira::LayerName(summary.header)) : std::vector<std::string>{libavDecoder};
    for (const auto& n : names) all.push_back(Libav(bytes, n));
#endif
    RunAll(all, runs);
    const Result& ours = all[0].result;
    if (!ours.ok) ++failures;
    const double audioSeconds = static_cast<double>(ours.framesPerChannel) / rate;
    const Result* best = nullptr;
    for (size_t i = 1; i < all.size(); ++i) {
      if (all[i].result.ok && (!best || all[i].result.seconds < best->seconds)) best = &all[i].result;
    }
    const double ratio = best && ours.ok ? best->seconds / ours.seconds : 0.0;
    if (json) {
      std::string d;
      for (const auto& c : all) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "{\"name\": %s, \"ok\": %s, \"seconds\": %.6f, \"times_real_time\": %.2f}",
                      JsonString(c.result.name).c_str(), c.result.ok ? "true" : "false", c.result.ok ? c.result.seconds : 0.0,
                      c.result.ok ? audioSeconds / c.result.seconds : 0.0);
        d += (d.empty() ? "" : ", ") + std::string(buf);
      }
      char head[400];
      std::snprintf(head, sizeof head,
                    "{\"file\": %s, \"version\": \"%s\", \"layer\": \"%s\", \"rate\": %d, \"runs\": %d, \"audio_seconds\": %.3f, ",
                    JsonString(path).c_str(), tovira::VersionName(summary.header), tovira::LayerName(summary.header), rate, runs,
                    audioSeconds);
      std::string entry = head;
      entry += "\"decoders\": [" + d + "], \"best_other\": " + (best ? JsonString(best->name) : std::string("null"));
      char tail[64];
      std::snprintf(tail, sizeof tail, ", \"ratio_to_best\": %.3f}", ratio);
      entry += tail;
      jsonFiles += (jsonFiles.empty() ? "" : ",\n  ") + entry;
      continue;
    }
    std::printf("%s: MPEG %s Layer %s, %d Hz, %s, %zu bytes, %.1f s of audio, best of %d runs, one thread\n", path.c_str(),
                tovira::VersionName(summary.header), tovira::LayerName(summary.header), rate, tovira::ModeName(summary.header),
                bytes.size(), audioSeconds, runs);
    for (const auto& c : all) Print(c.result, audioSeconds, &c.result == &ours ? 0.0 : ours.seconds);
    if (best) {
      std::printf("  tovira / fastest other (%s): %.2f\n", best->name.c_str(), ratio);
    } else {
#ifdef TOVIRA_BENCH_LIBAV
      std::printf("  (no libavcodec decoder for this layer: no comparison)\n");
#else
      std::printf("  (built without libavcodec: no comparison)\n");
#endif
    }
  }
  if (json) std::printf("{\"files\": [\n  %s\n]}\n", jsonFiles.c_str());
  return failures == 0 ? 0 : 1;
}
