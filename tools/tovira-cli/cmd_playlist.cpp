#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "Commands.h"
#include "playlist/FileFinder.h"
#include "playlist/PlaylistModel.h"

namespace tovira::cli {

namespace {

constexpr size_t kMaxColumnWidth = 32;

// Characters, not bytes, so UTF-8 texts line up.
size_t Width(std::string_view s) {
  size_t n = 0;
  for (const char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

std::string Fit(std::string_view s, size_t width) {
  if (Width(s) <= width) return std::string(s) + std::string(width - Width(s), ' ');
  std::string out;
  size_t n = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const bool starts = (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80;
    if (starts && ++n > width - 3) break;
    out.push_back(s[i]);
  }
  return out + "...";
}

// What the folder picker adds for a folder: its MP3 files, then its playlists, whole tree.
void AddFolder(const std::string& folder, std::vector<std::string>& paths) {
  FileFinder finder;
  finder.SetRoot(folder, true);
  finder.AddPattern("*.mp3", true, false);
  for (const auto& entry : finder) paths.push_back(entry.path);
  // Folder by folder, every kind of playlist of a folder together, as the picker has them.
  for (const auto& each : finder.Folders()) {
    FileFinder one;
    one.SetRoot(each, false);
    for (const char* pattern : kPlaylistPatterns) one.AddPattern(pattern, true, false);
    for (const auto& entry : one) paths.push_back(entry.path);
  }
}

}  // namespace

int RunPlaylist(const Args& args) {
  std::vector<std::string> inputs;
  std::string output;
  PlaylistOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--tag-encoding") {
      const auto named = i + 1 < args.size() ? TagEncodingFromName(args[i + 1]) : std::nullopt;
      if (!named) {
        std::fprintf(stderr, "tovira-cli: --tag-encoding takes a name such as auto, latin1, cp1251, cp1250\n");
        return 2;
      }
      options.tagEncoding = *named;
      ++i;
    } else if (args[i] == "-o" && i + 1 < args.size()) {
      output = args[++i];
    } else if (args[i] == "-o") {
      inputs.clear();
      break;
    } else {
      inputs.push_back(args[i]);
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "usage: tovira-cli playlist [--tag-encoding NAME] PATH... [-o OUT.m3u|OUT.pls|OUT.xspf]\n");
    return 2;
  }
  std::vector<std::string> paths;
  for (const auto& input : inputs) {
    std::error_code ec;
    if (std::filesystem::is_directory(input, ec)) {
      AddFolder(input, paths);
    } else {
      paths.push_back(input);
    }
  }

  PlaylistModel model(options);
  model.AddPaths(std::move(paths));
  // Rows taken in as they come: finished batches do not pile up until the end.
  while (!model.WaitForLoad(std::chrono::milliseconds(50))) model.DeliverBatches();
  model.DeliverBatches();

  std::array<size_t, kColumnCount> widths{};
  for (int c = 0; c < kColumnCount; ++c) widths[c] = Width(kColumnNames[c]);
  int unreadable = 0;
  for (const auto& row : model.Rows()) {
    for (int c = 0; c < kColumnCount; ++c) widths[c] = std::max(widths[c], std::min(Width(row.Text(c)), kMaxColumnWidth));
    unreadable += !row.available;
  }
  // Line by line: the table of a long list is never held whole.
  auto line = [&](auto textOf) {
    std::string l;
    for (int c = 0; c < kColumnCount; ++c) {
      if (c > 0) l += "  ";
      l += Fit(textOf(c), widths[c]);
    }
    while (!l.empty() && l.back() == ' ') l.pop_back();
    l += '\n';
    std::fwrite(l.data(), 1, l.size(), stdout);
  };
  line([](int c) { return std::string_view(kColumnNames[c]); });
  for (const auto& row : model.Rows()) line([&row](int c) { return row.Text(c); });
  std::fflush(stdout);
  std::fprintf(stderr, "%d rows, %d not readable as MPEG audio\n", model.RowCount(), unreadable);

  if (!output.empty() && !model.SavePlaylist(output)) {
    std::fprintf(stderr, "tovira-cli: cannot write %s\n", output.c_str());
    return 1;
  }
  return 0;
}

}  // namespace tovira::cli
