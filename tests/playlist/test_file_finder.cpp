// The folder scan behind "Add Dir": order, patterns, links and unreadable entries.
#include "playlist/FileFinder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sys/stat.h>

#include "tags/TagFiles.h"

namespace tovira {
namespace {

using test::TempDir;
using test::WriteBytes;
namespace fs = std::filesystem;

// Paths relative to `root`.
std::vector<std::string> Relative(std::vector<std::string> paths, const fs::path& root) {
  for (auto& p : paths) p = fs::relative(p, root).string();
  return paths;
}

std::vector<std::string> Found(const FileFinder& f, const fs::path& root) {
  std::vector<std::string> paths;
  for (const auto& e : f) paths.push_back(e.path);
  return Relative(paths, root);
}

TEST(FileFinder, SubfoldersFirstThenEachPatternInTurn) {
  TempDir dir;
  const fs::path r = dir / "R";
  fs::create_directories(r / "A/A1");
  fs::create_directories(r / "b");
  for (const char* file : {"top.mp3", "top.m3u", "A/A1/deep.MP3", "A/list.M3U", "b/z.mp3", "b/Y.Mp3", "b/s.mp2", "b/s.mp1",
                           "b/s.wav", "b/s.mp3x", "b/mp3", "b/10 - x.mp3", "b/2 - x.mp3"})
    WriteBytes(r / file, "x");

  FileFinder f;
  EXPECT_TRUE(f.SetRoot(r.string() + "///  ", true));
  EXPECT_EQ(f.Root(), r.string());
  EXPECT_EQ(Relative(f.Folders(), r), (std::vector<std::string>{"A/A1", "A", "b", "."}));
  f.AddPattern("*.mp3", true, false);
  f.AddPattern("*.m3u", true, false);
  // Names in natural order: numbers by value, letters without regard to case.
  EXPECT_EQ(Found(f, r), (std::vector<std::string>{"A/A1/deep.MP3", "b/2 - x.mp3", "b/10 - x.mp3", "b/Y.Mp3", "b/z.mp3",
                                                   "top.mp3", "A/list.M3U", "top.m3u"}));
  const auto& first = *f.begin();
  EXPECT_FALSE(first.isFolder);
  EXPECT_EQ(first.size, 1u);
  EXPECT_TRUE(S_ISREG(first.attributes));
  EXPECT_EQ(first.lastWrite, fs::last_write_time(r / "A/A1/deep.MP3"));

  // A new search forgets the last one; without recursion it stays in the root.
  f.SetRoot(r.string(), false);
  f.AddPattern("*.mp3", true, false);
  EXPECT_EQ(Found(f, r), (std::vector<std::string>{"top.mp3"}));
  f.AddPattern("*", false, true);
  EXPECT_EQ(Found(f, r), (std::vector<std::string>{"top.mp3", "A", "b"}));
  EXPECT_TRUE(f.Results().back().isFolder);
  f.SetRoot((dir / "none").string(), true);
  f.AddPattern("*", true, true);
  EXPECT_TRUE(f.Results().empty());
  // A cancelled walk stops before entering a subfolder: a scan given up on a huge tree.
  const std::atomic<bool> cancelled{true};
  f.SetCancelFlag(&cancelled);
  f.SetRoot(r.string(), true);
  EXPECT_EQ(Relative(f.Folders(), r), (std::vector<std::string>{"."}));
}

TEST(FileFinder, LinkCyclesEndAndBrokenEntriesAreSkipped) {
  TempDir dir;
  const fs::path r = dir / "R";
  fs::create_directories(r / "a/b");
  WriteBytes(r / "a/b/song.mp3", "x");
  fs::create_directory_symlink(r, r / "a/b/up");        // back to the root
  fs::create_directory_symlink(r / "a", r / "a/b/again");  // to a folder on the way
  fs::create_directory_symlink(dir / "nowhere", r / "dangling");
  fs::create_symlink(dir / "nothing.mp3", r / "broken.mp3");
  ASSERT_EQ(::mkfifo((r / "pipe.mp3").c_str(), 0600), 0);
  FileFinder f;
  f.SetRoot(r.string(), true);
  EXPECT_EQ(Relative(f.Folders(), r), (std::vector<std::string>{"a/b", "a", "."}));
  f.AddPattern("*.mp3", true, false);
  // The FIFO is listed (reading it is the reader's business, and the reader refuses it).
  EXPECT_EQ(Found(f, r), (std::vector<std::string>{"a/b/song.mp3", "pipe.mp3"}));
}

TEST(FileFinder, PatternsAndFolderNames) {
  for (const auto& [pattern, name] : {std::pair{"*.mp3", "a.MP3"}, {"*.mp3", ".mp3"}, {"*.mp3", "a.b.mp3"}, {"a?c*", "ABCdef"},
                                      {"*", ""}, {"Ü*.mp3", "Über.mp3"}})
    EXPECT_TRUE(FileFinder::MatchPattern(pattern, name)) << pattern << " " << name;
  for (const auto& [pattern, name] : {std::pair{"*.mp3", "a.mp3.wav"}, {"*.mp3", "amp3"}, {"a?c", "ac"}})
    EXPECT_FALSE(FileFinder::MatchPattern(pattern, name)) << pattern << " " << name;
  for (const auto& [folder, normal] : {std::pair{"/", "/"}, {"///", "/"}, {"/music/ \t", "/music"}})
    EXPECT_EQ(FileFinder::NormalizeFolder(folder), normal);
  // Many stars against a long near-miss: must stay quick.
  EXPECT_FALSE(FileFinder::MatchPattern("*a*a*a*a*a*a*a*a*b", std::string(5000, 'a')));
}

}  // namespace
}  // namespace tovira
