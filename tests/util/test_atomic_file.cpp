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
  size_t Entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {})); }
  fs::path dir_;
};

TEST_F(AtomicFileTest, CreatesAndReplacesWholeContent) {
  const fs::path file = dir_ / "list.m3u";
  ASSERT_TRUE(WriteFileAtomically(file, "first version, rather long\n"));
  EXPECT_EQ(Read(file), "first version, rather long\n");
  ASSERT_TRUE(WriteFileAtomically(file, "short"));
  EXPECT_EQ(Read(file), "short");
  ASSERT_TRUE(WriteFileAtomically(file, ""));
  EXPECT_EQ(Read(file), "");
  std::string big(3 << 20, 'x');
  big[12345] = '\0';
  ASSERT_TRUE(WriteFileAtomically(file, big));
  EXPECT_EQ(Read(file), big);
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(AtomicFileTest, KeepsPermissionsOfTheFileItReplaces) {
  const fs::path file = dir_ / "keep";
  ASSERT_TRUE(WriteFileAtomically(file, "a"));
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
  std::error_code ec;
  EXPECT_FALSE(WriteFileAtomically(dir_ / "missing" / "f", "x", &ec));
  EXPECT_TRUE(ec);

  const fs::path folder = dir_ / "folder";
  fs::create_directory(folder);
  ec.clear();
  EXPECT_FALSE(WriteFileAtomically(folder, "x", &ec));
  EXPECT_TRUE(ec);
  EXPECT_TRUE(fs::is_directory(folder));

  const fs::path plain = dir_ / "plain";
  ASSERT_TRUE(WriteFileAtomically(plain, "kept"));
  ec.clear();
  EXPECT_FALSE(WriteFileAtomically(plain / "below", "x", &ec));  // a file is no folder
  EXPECT_TRUE(ec);
  EXPECT_EQ(Read(plain), "kept");
  EXPECT_EQ(Entries(), 2u);
}

}  // namespace
}  // namespace tovira
