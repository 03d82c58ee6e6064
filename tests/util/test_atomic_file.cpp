#include "util/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

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

}  // namespace
}  // namespace tovira
