#include "util/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "TempMount.h"

namespace tovira {
namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "tovira-atomic-XXXXXX").string();
    ASSERT_NE(::mkdtemp(templ.data()), nullptr);
    dir_ = templ;
  }
  void TearDown() override { fs::remove_all(dir_); }
  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Everything in the folder: a failed or finished write leaves no temporary file.
  long Entries() const { return std::distance(fs::directory_iterator(dir_), {}); }
  fs::path dir_;
};

TEST_F(AtomicFileTest, CreatesAndReplacesWholeContentKeepingPermissions) {
  const fs::path file = dir_ / "list.m3u";
  std::string big(3 << 20, 'x');
  big[12345] = '\0';
  for (const std::string& content : {std::string("first version, rather long\n"), std::string("short"), std::string(), big}) {
    ASSERT_TRUE(WriteFileAtomically(file, content));
    EXPECT_EQ(Read(file), content);
  }
  EXPECT_EQ(Entries(), 1);
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  ASSERT_TRUE(WriteFileAtomically(file, "b"));
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(AtomicFileTest, WritesThroughASymbolicLink) {
  const fs::path real = dir_ / "real.txt";
  const fs::path link = dir_ / "link.txt";
  ASSERT_TRUE(WriteFileAtomically(real, "old"));
  fs::create_symlink(real, link);
  ASSERT_TRUE(WriteFileAtomically(link, "new"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Read(real), "new");
}

TEST_F(AtomicFileTest, FailuresLeaveOldFileAndNoLitter) {
  const fs::path plain = dir_ / "plain";
  ASSERT_TRUE(WriteFileAtomically(plain, "kept"));
  fs::create_directory(dir_ / "folder");
  // No such folder; a folder in the way; a file is no folder.
  for (const fs::path& target : {dir_ / "missing" / "f", dir_ / "folder", plain / "below"}) {
    std::error_code ec;
    EXPECT_FALSE(WriteFileAtomically(target, "x", &ec)) << target;
    EXPECT_TRUE(ec) << target;
  }
  EXPECT_TRUE(fs::is_directory(dir_ / "folder"));
  EXPECT_EQ(Read(plain), "kept");
  EXPECT_EQ(Entries(), 2);
}

// The reasons a message gives, from real file systems: a read-only mount and a full one. The old
// file survives the full disk whole, and neither leaves a temporary file.
TEST_F(AtomicFileTest, FailuresOfTheDiskAreGivenInWords) {
  std::string reason;
  EXPECT_FALSE(WriteFileAtomically(dir_ / "missing" / "f", "x", &reason));
  EXPECT_EQ(reason, "no such file or directory");

  const test::TempMount readOnly(dir_ / "ro", true);
  if (!readOnly.Mounted()) GTEST_SKIP() << readOnly.Error();
  EXPECT_FALSE(WriteFileAtomically(dir_ / "ro" / "list.m3u", "x", &reason));
  EXPECT_EQ(reason, "the folder is read-only");

  const test::TempMount small(dir_ / "small", false);
  ASSERT_TRUE(small.Mounted()) << small.Error();
  const fs::path file = dir_ / "small" / "list.m3u";
  ASSERT_TRUE(WriteFileAtomically(file, "old list\n", &reason)) << reason;
  EXPECT_TRUE(reason.empty());
  ASSERT_TRUE(small.Fill());
  std::error_code ec;
  EXPECT_FALSE(WriteFileAtomically(file, std::string(8192, 'n'), &ec));
  EXPECT_EQ(ec, std::errc::no_space_on_device);
  EXPECT_EQ(WriteFailureReason(ec), "the disk is full");
  EXPECT_EQ(Read(file), "old list\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "small"), {}), 2) << "the list and the filler only";
  small.Free();
  EXPECT_TRUE(WriteFileAtomically(file, "new list\n"));
  EXPECT_EQ(Read(file), "new list\n");
}

// A FIFO (named or reached by a link) is never written into or replaced: a reader on the other end
// would get the list, and the user's pipe would be gone.
TEST_F(AtomicFileTest, RefusesWhatIsNoRegularFile) {
  const fs::path pipe = dir_ / "pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  fs::create_symlink(pipe, dir_ / "to-pipe");
  for (const fs::path& target : {pipe, dir_ / "to-pipe"}) {
    std::error_code ec;
    EXPECT_FALSE(WriteFileAtomically(target, "x", &ec)) << target;
    EXPECT_EQ(ec, NotARegularFile()) << target;
    EXPECT_EQ(WriteFailureReason(ec), "it is not a regular file");
  }
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(pipe)));
  EXPECT_TRUE(fs::is_symlink(dir_ / "to-pipe"));
  EXPECT_EQ(Entries(), 2);
}

}  // namespace
}  // namespace tovira
