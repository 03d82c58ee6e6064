// The folder scan behind "Add Dir": order, patterns, links and unreadable entries.
#include "playlist/FileFinder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tags/TagFiles.h"

namespace tovira {
namespace {

using test::TempDir;
using test::WriteBytes;
namespace fs = std::filesystem;

std::vector<std::string> Found(const FileFinder& f, const fs::path& root) {
  std::vector<std::string> names;
  for (const auto& e : f) names.push_back(fs::relative(e.path, root).string());
  return names;
}

std::vector<std::string> Folders(const FileFinder& f, const fs::path& root) {
  std::vector<std::string> names;
  for (const auto& p : f.Folders()) names.push_back(fs::relative(p, root).string());
  return names;
}

TEST(FileFinder, SubfoldersFirstThenEachPatternInTurn) {
  TempDir dir;
  const fs::path r = dir / "R";
  fs::create_directories(r / "A/A1");
  fs::create_directories(r / "b");
  WriteBytes(r / "top.mp3", "x");
  WriteBytes(r / "top.m3u", "x");
  WriteBytes(r / "A/A1/deep.MP3", "x");
  WriteBytes(r / "A/list.M3U", "x");
  WriteBytes(r / "b/z.mp3", "x");
  WriteBytes(r / "b/Y.Mp3", "x");
  for (const char* other : {"b/s.mp2", "b/s.mp1", "b/s.wav", "b/s.mp3x", "b/mp3"}) WriteBytes(r / other, "x");

  FileFinder f;
  EXPECT_TRUE(f.SetRoot(r.string() + "///  ", true));
  EXPECT_EQ(f.Root(), r.string());
  EXPECT_EQ(Folders(f, r), (std::vector<std::string>{"A/A1", "A", "b", "."}));
  f.AddPattern("*.mp3", true, false);
  f.AddPattern("*.m3u", true, false);
  EXPECT_EQ(Found(f, r), (std::vector<std::string>{"A/A1/deep.MP3", "b/Y.Mp3", "b/z.mp3", "top.mp3", "A/list.M3U",
                                                   "top.m3u"}));
  const auto& first = *f.begin();
  EXPECT_FALSE(first.isFolder);
  EXPECT_EQ(first.size, 1u);
  EXPECT_TRUE(S_ISREG(first.attributes));
  EXPECT_EQ(first.lastWrite, fs::last_write_time(r / "A/A1/deep.MP3"));
}

TEST(FileFinder, WithoutRecursionOnlyTheRoot) {
  TempDir dir;
  fs::create_directories(dir / "R/sub");
  WriteBytes(dir / "R/a.mp3", "x");
  WriteBytes(dir / "R/sub/b.mp3", "x");
  FileFinder f;
  f.SetRoot((dir / "R").string(), false);
  f.AddPattern("*.mp3", true, false);
  EXPECT_EQ(Found(f, dir / "R"), (std::vector<std::string>{"a.mp3"}));
  f.AddPattern("*", false, true);
  EXPECT_EQ(Found(f, dir / "R"), (std::vector<std::string>{"a.mp3", "sub"}));
  EXPECT_TRUE(f.Results().back().isFolder);
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
  EXPECT_EQ(Folders(f, r), (std::vector<std::string>{"a/b", "a", "."}));
  f.AddPattern("*.mp3", true, false);
  // The FIFO is listed (reading it is the reader's business, and the reader refuses it).
  EXPECT_EQ(Found(f, r), (std::vector<std::string>{"a/b/song.mp3", "pipe.mp3"}));
}

TEST(FileFinder, MissingRootFindsNothing) {
  TempDir dir;
  FileFinder f;
  f.SetRoot((dir / "none").string(), true);
  f.AddPattern("*.mp3", true, true);
  EXPECT_TRUE(f.Results().empty());
  EXPECT_EQ(FileFinder::NormalizeFolder("/"), "/");
  EXPECT_EQ(FileFinder::NormalizeFolder("///"), "/");
  EXPECT_EQ(FileFinder::NormalizeFolder("/music/ \t"), "/music");
}

TEST(FileFinder, Patterns) {
  EXPECT_TRUE(FileFinder::MatchPattern("*.mp3", "a.MP3"));
  EXPECT_TRUE(FileFinder::MatchPattern("*.mp3", ".mp3"));
  EXPECT_TRUE(FileFinder::MatchPattern("*.mp3", "a.b.mp3"));
  EXPECT_FALSE(FileFinder::MatchPattern("*.mp3", "a.mp3.wav"));
  EXPECT_FALSE(FileFinder::MatchPattern("*.mp3", "amp3"));
  EXPECT_TRUE(FileFinder::MatchPattern("a?c*", "ABCdef"));
  EXPECT_FALSE(FileFinder::MatchPattern("a?c", "ac"));
  EXPECT_TRUE(FileFinder::MatchPattern("*", ""));
  EXPECT_TRUE(FileFinder::MatchPattern("Ü*.mp3", "Über.mp3"));
  // Many stars against a long near-miss: must stay quick.
  EXPECT_FALSE(FileFinder::MatchPattern("*a*a*a*a*a*a*a*a*b", std::string(5000, 'a')));
}

}  // namespace
}  // namespace tovira
