#include <cstdio>
#include <cstring>
#include <string>

#include "Commands.h"

namespace {

struct Command {
  const char* name;
  const char* usage;
  int (*run)(const tovira::cli::Args&);
};

constexpr Command kCommands[] = {
    {"info", "info [--tag-encoding NAME] FILE...  stream information and tags of MPEG audio files", tovira::cli::RunInfo},
    {"decode", "decode [--replaygain off|track|album|auto] FILE OUT  decode to 16-bit stereo PCM: WAV if OUT ends in .wav, '-' = stdout", tovira::cli::RunDecode},
    {"play", "play [--device pulse|sdl|null|wav:PATH] [--volume 0-100] [--start SECONDS] [--replaygain off|track|album|auto] FILE...  play files one after another, each from SECONDS", tovira::cli::RunPlay},
    {"playlist", "playlist [--tag-encoding NAME] PATH... [-o OUT.m3u|OUT.pls|OUT.xspf] files, playlists (M3U, PLS, XSPF) and folders as playlist rows", tovira::cli::RunPlaylist},
};

void PrintUsage(std::FILE* to) {
  std::fprintf(to, "usage: tovira-cli COMMAND [ARGS]\n\ncommands:\n");
  for (const auto& c : kCommands) std::fprintf(to, "  %s\n", c.usage);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintUsage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  const std::string name = argv[1];
  for (const auto& c : kCommands) {
    if (name == c.name) return c.run(tovira::cli::Args(argv + 2, argv + argc));
  }
  std::fprintf(stderr, "tovira-cli: unknown command '%s'\n", name.c_str());
  PrintUsage(stderr);
  return 2;
}
