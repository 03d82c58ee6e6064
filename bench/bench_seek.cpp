// Seek figures: how long the frame index of a file takes to build and what it keeps in memory,
// and how far from the wanted time a seek lands in the sound, found in the whole decode.
// Usage: tovira-bench-seek [--runs N] [--index FILE]... [--accuracy FILE]...
//   --index     walks the whole file's frame index N times from a fresh stream (the file is in
//               the page cache after the first run; the best and the first are printed).
//   --accuracy  seeks to 10 %, 50 % and 90 % of the file and locates the sound that follows
//               in the file's uninterrupted decode; prints the error against the wanted time
//               and against the position the decoder reports, beside where a seek by average
//               frame length would have landed.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decoder/ByteSource.h"
#include "decoder/InputStream.h"
#include "decoder/MpegDecoder.h"
#include "decoder/PcmSink.h"
#include "decoder/StreamProbe.h"

namespace {

using Clock = std::chrono::steady_clock;
using tovira::FrameHeader;
using tovira::InputStream;
using tovira::MpegDecoder;
using tovira::PlaybackContext;

bool FirstFrame(InputStream& in) {
  in.OpenStream();
  int r = 0;
  for (int i = 0; i < 64 && (r = in.ReadFrame()) == 0; ++i) {
  }
  return r == 1;
}

int BenchIndex(const std::string& path, int runs) {
  double best = 1e30, first = 0;
  uint64_t frames = 0;
  size_t memory = 0;
  for (int run = 0; run < runs; ++run) {
    PlaybackContext ctx;
    ctx.inputFile = path;
    FrameHeader header;
    InputStream in(ctx, header);
    if (!FirstFrame(in)) {
      std::fprintf(stderr, "%s: no MPEG audio\n", path.c_str());
      return 1;
    }
    const auto t0 = Clock::now();
    // A seek past the end walks the index over the whole file and is then refused.
    const bool landed = in.SeekToTime(0xFFFFFFF0u);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    if (landed || !in.Index().Complete()) {
      std::fprintf(stderr, "%s: the index did not reach the end\n", path.c_str());
      return 1;
    }
    if (run == 0) first = ms;
    best = std::min(best, ms);
    frames = in.Index().FramesKnown();
    memory = in.Index().MemoryBytes();
  }
  tovira::StreamSummary s;
  tovira::ProbeStream(path, s);
  std::printf("%s\n  %llu frames, %.1f MB of audio, %.0f s\n", path.c_str(), static_cast<unsigned long long>(frames),
              static_cast<double>(s.AudioBytes()) / 1e6, static_cast<double>(frames) * s.header.GetMsPerFrame() / 1000);
  std::printf("  index build: %.1f ms best of %d runs (first run %.1f ms)\n", best, runs, first);
  std::printf("  index memory: %zu bytes (%.2f bytes per frame), plus a 64 KiB read buffer while walking\n", memory,
              static_cast<double>(memory) / static_cast<double>(frames));
  return 0;
}

// Where the first `n` values of `piece` occur in `whole` (in stereo samples), searched within
// `range` samples of `around`; -1 when nowhere.
long Locate(const std::vector<int16_t>& whole, const std::vector<int16_t>& piece, size_t n, long around, long range) {
  if (piece.size() < n) return -1;
  for (long d = 0; d <= range; ++d) {
    for (const long at : {around - d, around + d}) {
      if (at < 0 || static_cast<size_t>(2 * at) + n > whole.size()) continue;
      if (std::equal(piece.begin(), piece.begin() + static_cast<long>(n), whole.begin() + 2 * at)) return at;
    }
  }
  return -1;
}

int BenchAccuracy(const std::string& path) {
  tovira::VectorPcmSink whole;
  std::string error;
  if (!MpegDecoder::DecodeFile(path, whole, &error)) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  tovira::StreamSummary summary;
  tovira::ProbeStream(path, summary);
  std::printf("%s (%s, %.1f s decoded)\n", path.c_str(), summary.hasXing && !summary.xing.info ? "VBR" : "CBR?",
              static_cast<double>(whole.pcm.size()) / 2 / summary.header.GetFrequency());
  std::printf("  %-6s %10s %10s %14s %16s\n", "where", "wanted ms", "heard ms", "error ms", "reported - heard");
  for (const double fraction : {0.10, 0.50, 0.90}) {
    PlaybackContext ctx;
    ctx.inputFile = path;
    auto decoder = std::make_unique<MpegDecoder>(ctx);
    InputStream& in = decoder->Stream();
    if (!FirstFrame(in)) return 1;
    const FrameHeader& h = decoder->Header();
    const double rate = h.GetFrequency();
    const double totalMs = static_cast<double>(whole.pcm.size()) / 2 / rate * 1000;
    const auto wanted = static_cast<uint32_t>(totalMs * fraction);
    tovira::VectorPcmSink tail;
    decoder->Prepare(0);
    decoder->SetSink(&tail);
    if (!decoder->SeekToTime(wanted)) {
      std::printf("  %3.0f %%  seek refused\n", fraction * 100);
      continue;
    }
    const double reported = ctx.frameCounter.load() * h.GetMsPerFrame();
    for (int frames = 0; frames < 40; ++frames) {
      int r = 0;
      while ((r = in.ReadFrame()) == 0) {
      }
      if (r != 1) break;
      decoder->DecodeCurrentFrame();
    }
    decoder->FlushPcm();
    const long wantedSample = static_cast<long>(wanted * rate / 1000);
    const long at = Locate(whole.pcm, tail.pcm, 8192, wantedSample, static_cast<long>(rate * 30));
    if (at < 0) {
      std::printf("  %3.0f %%  %10u  sound not found within 30 s\n", fraction * 100, wanted);
      continue;
    }
    const double heard = at * 1000.0 / rate;
    std::printf("  %3.0f %%  %10u %10.1f %14.1f %16.1f\n", fraction * 100, wanted, heard, heard - wanted, reported - heard);
  }
  // The old way for comparison: a byte offset from the average frame length, resolved to the
  // frame that starts there with the index (a frame count per byte, no decoding needed).
  PlaybackContext ctx;
  ctx.inputFile = path;
  FrameHeader header;
  InputStream in(ctx, header);
  if (!FirstFrame(in) || in.SeekToTime(0xFFFFFFF0u) || !in.Index().Complete()) return 1;
  const uint64_t frames = in.Index().FramesKnown();
  const double average = static_cast<double>(summary.AudioBytes()) / static_cast<double>(frames);
  tovira::FileSource source(path);
  source.Open();
  std::vector<uint64_t> offsets;
  in.Index().Offsets(source, 0, frames - 1, offsets);
  std::printf("  by average frame length (%.1f bytes) the same seeks would have landed:\n", average);
  for (const double fraction : {0.10, 0.50, 0.90}) {
    const double totalMs = static_cast<double>(frames) * header.GetMsPerFrame();
    const uint64_t target = static_cast<uint64_t>(totalMs * fraction / header.GetMsPerFrame());
    const uint64_t byte = summary.firstFrameOffset + static_cast<uint64_t>(static_cast<double>(target) * average);
    const uint64_t landed = static_cast<uint64_t>(std::lower_bound(offsets.begin(), offsets.end(), byte) - offsets.begin());
    std::printf("  %3.0f %%  %+10.1f ms\n", fraction * 100,
                (static_cast<double>(landed) - static_cast<double>(target)) * header.GetMsPerFrame());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  int failures = 0;
  bool any = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--index") == 0 && i + 1 < argc) {
      failures += BenchIndex(argv[++i], runs);
      any = true;
    } else if (std::strcmp(argv[i], "--accuracy") == 0 && i + 1 < argc) {
      failures += BenchAccuracy(argv[++i]);
      any = true;
    } else {
      any = false;
      break;
    }
  }
  if (!any) {
    std::fprintf(stderr, "usage: tovira-bench-seek [--runs N] [--index FILE]... [--accuracy FILE]...\n");
    return 2;
  }
  return failures == 0 ? 0 : 1;
}
