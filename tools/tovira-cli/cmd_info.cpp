#include <cstdio>

#include "Commands.h"
#include "decoder/StreamProbe.h"
#include "tags/ReplayGain.h"
#include "tags/TagInfo.h"

namespace tovira::cli {

namespace {

// "ReplayGain: track gain -6.20 dB (TXXX), track peak 0.500000 (RVA2), ..." or "ReplayGain: none".
void PrintReplayGain(const ReplayGainInfo& rg) {
  std::printf("  ReplayGain:");
  const char* sep = " ";
  auto show = [&](const char* name, const std::optional<ReplayGainValue>& v, bool gain) {
    if (!v) return;
    std::printf(gain ? "%s%s %+.2f dB (%s)" : "%s%s %.6f (%s)", sep, name, v->value, ReplayGainSourceName(v->source));
    sep = ", ";
  };
  show("track gain", rg.trackGain, true);
  show("track peak", rg.trackPeak, false);
  show("album gain", rg.albumGain, true);
  show("album peak", rg.albumPeak, false);
  std::printf("%s\n", rg.Empty() ? " none" : "");
}

// "  tags: ID3v2, APEv2 (8-bit texts as cp1251)", then one line for each text there is.
void PrintTags(const TagInfo& tags) {
  std::string which;
  for (const auto& [has, name] : {std::pair{tags.HasV2Tag(), "ID3v2"}, {tags.HasV1Tag(), "ID3v1"}, {tags.HasApeTag(), "APEv2"}}) {
    if (has) which += (which.empty() ? "" : ", ") + std::string(name);
  }
  if (which.empty()) {
    std::printf("  tags: none\n");
    return;
  }
  std::printf("  tags: %s (8-bit texts as %s)\n", which.c_str(), TagEncodingName(tags.TextEncoding()));
  const std::pair<const char*, const std::optional<std::string>*> texts[] = {
      {"title", tags.TitleIsFileName() ? nullptr : &tags.Title()},
      {"artist", &tags.Artist()},
      {"album", &tags.Album()},
      {"album artist", &tags.AlbumArtist()},
      {"year", &tags.Year()},
      {"genre", &tags.Genre()},
      {"track", &tags.Track()},
      {"comment", &tags.Comment()},
  };
  for (const auto& [name, text] : texts) {
    if (text != nullptr && *text && !(*text)->empty()) std::printf("  %s: %s\n", name, (*text)->c_str());
  }
}

}  // namespace

int RunInfo(const Args& all) {
  // --tag-encoding NAME: what tag texts stored as Latin-1 are read in (default: guessed).
  TagEncoding encoding = TagEncoding::Auto;
  Args args;
  for (size_t i = 0; i < all.size(); ++i) {
    if (all[i] != "--tag-encoding") {
      args.push_back(all[i]);
      continue;
    }
    const auto named = i + 1 < all.size() ? TagEncodingFromName(all[i + 1]) : std::nullopt;
    if (!named) {
      std::fprintf(stderr, "tovira-cli: --tag-encoding takes one of:");
      for (const auto& e : TagEncodingEntries()) std::fprintf(stderr, " %s", e.name);
      std::fprintf(stderr, "\n");
      return 2;
    }
    encoding = *named;
    ++i;
  }
  if (args.empty()) {
    std::fprintf(stderr, "usage: tovira-cli info [--tag-encoding NAME] FILE...\n");
    return 2;
  }
  int failures = 0;
  for (const auto& path : args) {
    StreamSummary s;
    std::string why;
    const ProbeStatus status = ProbeStream(path, s, &why);
    if (status != ProbeStatus::Ok) {
      if (status == ProbeStatus::CannotOpen) {
        std::fprintf(stderr, "tovira-cli: %s: %s\n", path.c_str(), CannotOpenText(why).c_str());
      } else {
        std::fprintf(stderr, "tovira-cli: %s: no MPEG audio found\n", path.c_str());
      }
      ++failures;
      continue;
    }
    const FrameHeader& h = s.header;
    std::printf("%s\n", path.c_str());
    std::printf("  MPEG %s Layer %s, %s%u kbit/s, %d Hz, %s, CRC %s\n", VersionName(h), LayerName(h),
                h.IsFreeFormat() ? "free format, " : "", h.GetBitrate() / 1000, h.GetFrequency(), ModeName(h),
                h.protection ? "yes" : "no");
    std::printf("  audio bytes %llu to %llu of %llu\n", static_cast<unsigned long long>(s.firstFrameOffset),
                static_cast<unsigned long long>(s.audioEnd), static_cast<unsigned long long>(s.fileSize));
    const bool counted = s.Frames() != s.estimatedFrames || (s.hasXing && (s.xing.flags & kXingFrames)) ||
                         (s.hasVbri && s.vbri.frameCount > 0);
    std::printf("  frames %llu (%s), duration %s\n", static_cast<unsigned long long>(s.Frames()),
                counted ? "counted by the encoder" : "estimated", FormatDuration(s.DurationMs()).c_str());
    if (s.hasXing) {
      std::printf("  %s:", s.xing.info ? "Info" : "Xing");
      if (s.xing.flags & kXingFrames) std::printf(" frames %d", s.xing.frameCount);
      if (s.xing.flags & kXingBytes) std::printf(", bytes %d", s.xing.byteCount);
      std::printf(", table of contents %s", (s.xing.flags & kXingToc) ? "yes" : "no");
      if (s.xing.flags & kXingScale) std::printf(", quality %d", s.xing.vbrScale);
      if (s.xing.encoderDelay >= 0) std::printf(", delay %d, padding %d", s.xing.encoderDelay, s.xing.encoderPadding);
      std::printf("\n");
    }
    if (s.hasVbri) std::printf("  VBRI: frames %u, bytes %u\n", s.vbri.frameCount, s.vbri.byteCount);
    TagInfo tags(encoding);
    const bool read = tags.ReadFile(path);
    if (read) PrintTags(tags);
    PrintReplayGain(read ? tags.ReplayGain() : ReplayGainInfo{});
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace tovira::cli
