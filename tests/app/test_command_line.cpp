#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/CommandLine.h"

namespace tovira {
namespace {

TEST(CommandLine, EveryArgumentIsOneAbsolutePath) {
  using Paths = std::vector<std::string>;
  const struct {
    Paths arguments;
    const char* workingDirectory;
    Paths expected;
  } cases[] = {
      {{}, "/home/u", {}},
      {{"/music/a.mp3", "b.mp3", "/music/list.m3u"}, "/home/u", {"/music/a.mp3", "/home/u/b.mp3", "/music/list.m3u"}},
      // Quotes around an argument go, however many; quotes inside a name are part of it.
      {{"\"/music/My Song.mp3\"", "\"\"\"a.mp3\"\"", "say \"hi\".mp3"}, "/x",
       {"/music/My Song.mp3", "/x/a.mp3", "/x/say \"hi\".mp3"}},
      // Nothing left after the quotes: no file at all.
      {{"", "\"\"", "/a.mp3", "\""}, "/x", {"/a.mp3"}},
      {{"../b.mp2", "./songs//c.mp3", "d/."}, "/home/u/music", {"/home/u/b.mp2", "/home/u/music/songs/c.mp3", "/home/u/music/d"}},
      // A desktop's URLs are local paths, with their escapes decoded (the bytes of UTF-8 too).
      {{"file:///music/My%20Song.mp3", "FILE://localhost/a%2fb%25.mp3", "file:/M%C3%BCsik/x.mp3"}, "/x",
       {"/music/My Song.mp3", "/a/b%.mp3", "/M\xC3\xBCsik/x.mp3"}},
      // A '%' that starts no escape stays; another machine's file, or one with a NUL, stays a URL.
      {{"file:///100%/a%2.mp3", "file://server/music/a.mp3", "file:///a%00b.mp3"}, "/x",
       {"/100%/a%2.mp3", "file://server/music/a.mp3", "file:///a%00b.mp3"}},
      // A file whose name only begins like a URL is a file of the working folder.
      {{"file:a.mp3"}, "/x", {"/x/file:a.mp3"}},
  };
  for (const auto& c : cases) EXPECT_EQ(StartupFilesFromArguments(c.arguments, c.workingDirectory), c.expected);
}

TEST(CommandLine, ProgramFolderIsTheFolderOfTheRunningProgram) {
  const std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  char exe[4096] = {};
  const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::filesystem::path(folder) / std::filesystem::path(exe).filename(), std::filesystem::path(exe));
}

}  // namespace
}  // namespace tovira
