#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/CommandLine.h"

namespace tovira {
namespace {

TEST(CommandLine, OnePathWithoutItsQuotes) {
  EXPECT_EQ(StartupFileFromArguments({}), "");
  EXPECT_EQ(StartupFileFromArguments({"\"/music/My Song.mp3\""}), "/music/My Song.mp3");
  EXPECT_EQ(StartupFileFromArguments({"/music/My", "Song.mp3"}), "/music/My Song.mp3");
  EXPECT_EQ(StartupFileFromArguments({"\"\"\"a.mp3\"\""}), "a.mp3");
  EXPECT_EQ(StartupFileFromArguments({"\"\""}), "");
  // Two quoted files stay one path, with the quotes between them; opening it fails like any
  // other missing file.
  EXPECT_EQ(StartupFileFromArguments({"\"a.mp3\" \"b.mp3\""}), "a.mp3\" \"b.mp3");
  // Quotes inside a name are part of it.
  EXPECT_EQ(StartupFileFromArguments({"say \"hi\".mp3"}), "say \"hi\".mp3");
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
