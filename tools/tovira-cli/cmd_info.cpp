#include <cstdio>

#include "Commands.h"
#include "decoder/StreamProbe.h"

namespace tovira::cli {

int RunInfo(const Args& args) {
  if (args.empty()) {
    std::fprintf(stderr, "usage: tovira-cli info FILE...\n");
    return 2;
  }
  int failures = 0;
  for (const auto& path : args) {
    StreamSummary s;
    const ProbeStatus status = ProbeStream(path, s);
    if (status != ProbeStatus::Ok) {
      std::fprintf(stderr, "tovira-cli: %s: %s\n", path.c_str(),
                   status == ProbeStatus::CannotOpen ? "cannot open the file" : "no MPEG audio found");
      ++failures;
      continue;
    }
    const FrameHeader& h = s.header;
    std::printf("%s\n", path.c_str());
    std::printf("  MPEG %s Layer %s, %u kbit/s, %d Hz, %s, CRC %s\n", VersionName(h), LayerName(h),
                h.GetBitrate() / 1000, h.GetFrequency(), ModeName(h), h.protection ? "yes" : "no");
    std::printf("  frames %llu (estimated), duration %s\n", static_cast<unsigned long long>(s.estimatedFrames),
                FormatDuration(static_cast<double>(s.estimatedFrames) * h.GetMsPerFrame()).c_str());
    if (s.hasXing) {
      std::printf("  Xing:");
      if (s.xing.flags & kXingFrames) {
        std::printf(" frames %d (duration %s)", s.xing.frameCount, FormatDuration(s.DurationMs()).c_str());
      }
      if (s.xing.flags & kXingBytes) std::printf(", bytes %d", s.xing.byteCount);
      std::printf(", table of contents %s", (s.xing.flags & kXingToc) ? "yes" : "no");
      if (s.xing.flags & kXingScale) std::printf(", quality %d", s.xing.vbrScale);
      std::printf("\n");
    }
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace tovira::cli
